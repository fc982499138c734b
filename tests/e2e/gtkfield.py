#!/usr/bin/python3
"""A GTK application with two text fields, driven by the end-to-end test: it reports, on request,
what the fields hold, which one has the focus and which keys reached it.
  stdin "state"  -> one JSON line {"first": ..., "second": ..., "focus": ..., "keys": [...]}
  stdin "clear"  -> the fields and the key record emptied, focus on the first field
  stdin "second" -> focus on the second field
  stdin "password" -> focus on a third field, a password entry
  stdin "grab", "ungrab" -> takes the whole keyboard, as a password prompt or a screen locker does, or
                   lets it go; "grabbed" in the state tells whether it holds it
"""
import json
import sys

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402

keys = []
grabbed = False
window = Gtk.Window(title=sys.argv[1] if len(sys.argv) > 1 else "e2e-gtk")
box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL)
first = Gtk.Entry(name="first")
second = Gtk.Entry(name="second")
box.pack_start(first, False, False, 0)
box.pack_start(second, False, False, 0)
password = Gtk.Entry(name="password", visibility=False, input_purpose=Gtk.InputPurpose.PASSWORD)
box.pack_start(password, False, False, 0)
window.add(box)
window.set_default_size(400, 120)
window.move(300, 300)
seat = Gdk.Display.get_default().get_default_seat()


def on_key(_widget, event):
    keys.append(Gdk.keyval_name(event.keyval))
    return False


def on_command(channel, _condition):
    global grabbed
    line = channel.readline()
    if not line:
        Gtk.main_quit()
        return False
    command = line.strip()
    if command == "clear":
        first.set_text("")
        second.set_text("")
        password.set_text("")
        first.grab_focus()
        keys.clear()
    elif command == "second":
        second.grab_focus()
    elif command == "password":
        password.grab_focus()
    elif command == "grab":
        grabbed = seat.grab(window.get_window(), Gdk.SeatCapabilities.KEYBOARD, False, None, None, None) \
            == Gdk.GrabStatus.SUCCESS
    elif command == "ungrab":
        seat.ungrab()
        Gdk.Display.get_default().flush()
        grabbed = False
    focus = window.get_focus()
    state = {
        "first": first.get_text(),
        "second": second.get_text(),
        "password": password.get_text(),
        "focus": focus.get_name() if focus is not None else "",
        "keys": keys,
        "grabbed": grabbed,
    }
    sys.stdout.write(json.dumps(state) + "\n")
    sys.stdout.flush()
    return True


window.connect("key-press-event", on_key)
window.connect("destroy", Gtk.main_quit)
GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.IO_IN | GLib.IO_HUP, on_command)
window.show_all()
first.grab_focus()
Gtk.main()
