#!/usr/bin/python3
"""Stands for a password prompt or a screen locker: a small GTK window that takes the whole keyboard.
  stdin "grab"   -> grabs the keyboard for its window; answers "grabbed" or the failure
  stdin "ungrab" -> lets it go; answers "ungrabbed"
"""
import sys

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402

window = Gtk.Window(title=sys.argv[1] if len(sys.argv) > 1 else "e2e-grabber")
window.set_default_size(120, 40)
window.move(900, 20)
window.set_accept_focus(False)
seat = Gdk.Display.get_default().get_default_seat()


def answer(text):
    sys.stdout.write(text + "\n")
    sys.stdout.flush()


def on_command(channel, _condition):
    line = channel.readline()
    if not line:
        Gtk.main_quit()
        return False
    command = line.strip()
    if command == "grab":
        status = seat.grab(window.get_window(), Gdk.SeatCapabilities.KEYBOARD, False, None, None, None)
        answer("grabbed" if status == Gdk.GrabStatus.SUCCESS else "failed " + str(status))
    elif command == "ungrab":
        seat.ungrab()
        Gdk.Display.get_default().flush()
        answer("ungrabbed")
    return True


GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.IO_IN | GLib.IO_HUP, on_command)
window.show_all()
Gtk.main()
