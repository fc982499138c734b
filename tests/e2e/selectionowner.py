#!/usr/bin/python3
"""Another X client for the clipboard end-to-end test, a GTK program as the user's applications are, in
one of three roles:
  selectionowner.py serve   owns selections with the targets it is told on stdin, serving large ones in
                            INCR chunks as GTK does; each command is answered "ok":
                              own SELECTION [TARGET FILE]...   owns SELECTION with these targets
                              clear SELECTION                  leaves SELECTION without an owner
  selectionowner.py dump SELECTION...
                            one JSON line: {NAME: [OWNER, {TARGET: [TYPE, FORMAT, HEX]}]}, its TARGETS
                            and what each data target holds
  selectionowner.py watch SELECTION...
                            a stand-in clipboard manager: on every owner change of these selections
                            reads TARGETS, and prints "NAME OWNER hint VALUE" when the
                            x-kde-passwordManagerHint target is there, else "NAME OWNER text HEX" of the
                            text it would keep; "NAME none" when the selection lost its owner, "NAME
                            OWNER gone" when it changed again while being read
"""
import ctypes
import json
import sys

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
gi.require_version("GdkX11", "3.0")
from gi.repository import Gdk, GdkX11, GLib, Gtk  # noqa: E402

HINT = "x-kde-passwordManagerHint"
# Asked for by no application as data, some with side effects.
SKIPPED = {"TARGETS", "MULTIPLE", "TIMESTAMP", "DELETE", "SAVE_TARGETS", "INSERT_SELECTION", "INSERT_PROPERTY"}


def atom(name):
    return Gdk.Atom.intern(name, False)


def targets(board):
    found, listed = board.wait_for_targets()
    return [target.name() for target in listed] if found else []


def read(board, target):
    """(type, format, bytes) of what the owner answers for target."""
    data = board.wait_for_contents(atom(target))
    if data is None or data.get_length() < 0:
        return "refused", 0, b""
    return data.get_data_type().name(), data.get_format(), data.get_data() or b""


def dump(selections):
    # GDK tells only its own windows as owners.
    xlib = ctypes.CDLL("libX11.so.6")
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    xlib.XInternAtom.restype = xlib.XGetSelectionOwner.restype = ctypes.c_ulong
    xlib.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    display = xlib.XOpenDisplay(None)
    found = {}
    for name in selections:
        board = Gtk.Clipboard.get(atom(name))
        contents = {target: read(board, target) for target in targets(board) if target not in SKIPPED}
        found[name] = [xlib.XGetSelectionOwner(display, xlib.XInternAtom(display, name.encode(), 0)),
                       {target: [kind, format_, data.hex()] for target, (kind, format_, data) in contents.items()}]
    print(json.dumps(found))


def watch(selections):
    changes = []  # seen, not yet looked at: a change that comes during a read waits its turn

    def changed(board, event):
        if event.reason == Gdk.OwnerChange.NEW_OWNER:
            changes.append((event.selection.name(), event.owner and event.owner.get_xid()))
            if len(changes) == 1:
                while changes:
                    look(*changes[0])
                    changes.pop(0)

    def look(name, owner):
        if not owner:
            print("%s none" % name, flush=True)
            return
        board = Gtk.Clipboard.get(atom(name))
        listed = targets(board)
        if HINT in listed:
            kind, _, value = read(board, HINT)
            print("%s 0x%x %s" % (name, owner, "gone" if kind == "refused" else "hint " + value.decode()), flush=True)
        else:
            print("%s 0x%x text %s" % (name, owner, read(board, "UTF8_STRING")[2].hex()), flush=True)

    for name in selections:
        Gtk.Clipboard.get(atom(name)).connect("owner-change", changed)
    print("watching", flush=True)
    Gtk.main()


def serve():
    owner = Gtk.Invisible()
    owner.add_events(Gdk.EventMask.PROPERTY_CHANGE_MASK)
    owner.realize()
    owned = {}  # selection -> {target: bytes}

    def answer(_widget, data, _info, _time):
        content = owned.get(data.get_selection().name(), {}).get(data.get_target().name())
        if content is not None:
            data.set(data.get_target(), 8, content)

    def command(channel, _condition):
        line = channel.readline()
        if not line:
            Gtk.main_quit()
            return False
        verb, name, *files = line.split()
        selection = atom(name)
        # A server time for owning, as ICCCM asks instead of CurrentTime.
        now = GdkX11.x11_get_server_time(owner.get_window())
        owned.pop(name, None)
        Gtk.selection_clear_targets(owner, selection)
        if verb == "clear":
            Gtk.selection_owner_set(None, selection, now)
            print("ok", flush=True)
            return True
        owned[name] = {}
        for target, path in zip(files[::2], files[1::2]):
            with open(path, "rb") as file:
                owned[name][target] = file.read()
            Gtk.selection_add_target(owner, selection, atom(target), 0)
        print("ok" if Gtk.selection_owner_set(owner, selection, now) else "not owned", flush=True)
        return True

    owner.connect("selection-get", answer)
    GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.IO_IN | GLib.IO_HUP, command)
    Gtk.main()


if __name__ == "__main__":
    roles = {"serve": lambda: serve(), "dump": lambda: dump(sys.argv[2:]), "watch": lambda: watch(sys.argv[2:])}
    if len(sys.argv) < 2 or sys.argv[1] not in roles:
        sys.exit("usage: selectionowner.py serve | dump SELECTION... | watch SELECTION...")
    roles[sys.argv[1]]()
