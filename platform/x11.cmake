# X11 keyboard hook and keystroke injection.
