#!/usr/bin/python3
"""A minimal org.kde.StatusNotifierWatcher on the session bus, standing in for a desktop's tray host.

Prints one JSON line per registered item with the item's Title, tooltip title and whether it has an icon, as read
back from it; reads commands from stdin: "activate" calls the last item's Activate(0, 0).
Prints "ready" once the watcher's name is owned.
"""
import json
import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

WATCHER_XML = """
<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
    <signal name="StatusNotifierHostRegistered"/>
  </interface>
</node>
"""

items = []  # (bus name, object path)


def say(message):
    print(json.dumps(message) if not isinstance(message, str) else message, flush=True)


def report_item(connection, name, path):
    """Reads the item's properties without blocking: the item may be asking the watcher meanwhile."""

    def done(source, result):
        try:
            say(describe(name, path, source.call_finish(result).unpack()[0]))
        except GLib.Error as error:
            say({"service": name, "error": error.message})

    connection.call(name, path, "org.freedesktop.DBus.Properties", "GetAll",
                    GLib.Variant("(s)", ("org.kde.StatusNotifierItem",)), GLib.VariantType("(a{sv})"),
                    Gio.DBusCallFlags.NONE, 10000, None, done)


def describe(name, path, properties):
    tooltip = properties.get("ToolTip")
    return {"service": name, "path": path, "Title": properties.get("Title"),
            "ToolTipTitle": tooltip[2] if tooltip else None,
            "HasIcon": bool(properties.get("IconName") or properties.get("IconPixmap"))}


def on_call(connection, sender, _path, _interface, method, parameters, invocation):
    if method == "RegisterStatusNotifierItem":
        service = parameters.unpack()[0]
        # An item may name itself by its object path alone; its bus name is then the sender's.
        name, path = (sender, service) if service.startswith("/") else (service, "/StatusNotifierItem")
        items.append((name, path))
        invocation.return_value(None)
        report_item(connection, name, path)
    else:
        invocation.return_value(None)


def on_get(_connection, _sender, _path, _interface, name):
    if name == "RegisteredStatusNotifierItems":
        return GLib.Variant("as", [n + p for n, p in items])
    if name == "IsStatusNotifierHostRegistered":
        return GLib.Variant("b", True)
    return GLib.Variant("i", 0)


def activated(source, result):
    try:
        source.call_finish(result)
        say("activated")
    except GLib.Error as error:
        say("activate failed: " + error.message)


def on_stdin(channel, _condition):
    line = channel.readline()
    if not line:
        loop.quit()
        return False
    if line.strip() == "activate" and items:
        name, path = items[-1]
        bus.call(name, path, "org.kde.StatusNotifierItem", "Activate", GLib.Variant("(ii)", (0, 0)), None,
                 Gio.DBusCallFlags.NONE, 10000, None, activated)
    return True


bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
interface = Gio.DBusNodeInfo.new_for_xml(WATCHER_XML).interfaces[0]
bus.register_object("/StatusNotifierWatcher", interface, on_call, on_get, None)
loop = GLib.MainLoop()
Gio.bus_own_name_on_connection(bus, "org.kde.StatusNotifierWatcher", Gio.BusNameOwnerFlags.NONE,
                               lambda *_: say("ready"), lambda *_: (say("name lost"), loop.quit()))
GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP,
                  on_stdin)
loop.run()
