// Turns an IBus key press (keyval and hardware key code) into the Windows virtual-key code the engine
// expects. Pure, like the X11 mapping whose keysym table it shares: IBus keyvals are X keysyms.
#pragma once

// The virtual-key code of a press. keyval is what the layout and the held modifiers made of the key
// (Shift+1 gives "exclam", NumLock picks the keypad digit), keyCode the evdev code of its position.
// Letters and digits come from the keyval; other characters from the key's position on a US layout,
// as Windows reports the unshifted key; keys that type nothing from the keyval. KeyCode::Unknown when
// neither tells.
int virtualKeyForIBus(unsigned keyval, unsigned keyCode);
