#!/usr/bin/python3
"""A window with a text field that tells the accessibility bus of its focus at once, as a toolkit
does, but answers the question of its role only after a delay: a busy application, for the privacy
suite. Run with NO_AT_BRIDGE=1, so that GTK's own bridge stays off the bus.

usage: slowaccessible.py TITLE ROLE DELAY_MS   (ROLE: the AT-SPI role number; 40 is password text)
"""
import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import Gio, GLib, Gtk  # noqa: E402

title, role, delay = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
PATH = "/org/a11y/atspi/accessible/field"
INTERFACE = Gio.DBusNodeInfo.new_for_xml(
    '<node><interface name="org.a11y.atspi.Accessible"><method name="GetRole">'
    '<arg type="u" direction="out"/></method></interface></node>').interfaces[0]

session = Gio.bus_get_sync(Gio.BusType.SESSION)
address = session.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", None,
                            GLib.VariantType("(s)"), Gio.DBusCallFlags.NONE, -1, None).unpack()[0]
bus = Gio.DBusConnection.new_for_address_sync(
    address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION,
    None, None)


def answer_late(_connection, _sender, _path, _interface, _method, _parameters, invocation):
    GLib.timeout_add(delay, lambda: invocation.return_value(GLib.Variant("(u)", (role,))) and False)


def tell_focus(gained):
    bus.emit_signal(None, PATH, "org.a11y.atspi.Event.Object", "StateChanged",
                    GLib.Variant("(siiva{sv})", ("focused", int(gained), 0, GLib.Variant("i", 0), {})))
    return False


bus.register_object(PATH, INTERFACE, answer_late, None, None)
window = Gtk.Window(title=title)
window.add(Gtk.Entry())
window.set_default_size(300, 60)
window.connect("focus-in-event", lambda *_: tell_focus(True))
window.connect("focus-out-event", lambda *_: tell_focus(False))
window.connect("destroy", Gtk.main_quit)
window.show_all()
Gtk.main()
