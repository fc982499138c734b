#!/usr/bin/python3
"""Empties quenlo's exclusion list through its own window, driven over the accessibility bus:
Options > Excluded Applications…, then Remove while anything is listed, then OK.

usage: e2e_privacy_dialog.py QUENLO_PID
"""
import sys
import time
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

WAIT_SECONDS = 15


def wait_for(find, what):
    deadline = time.monotonic() + WAIT_SECONDS
    while True:
        found = find()
        if found is not None:
            return found
        if time.monotonic() > deadline:
            sys.exit("timed out waiting for " + what)
        time.sleep(0.1)


def program(pid):
    desktop = Atspi.get_desktop(0)
    for index in range(desktop.get_child_count()):
        application = desktop.get_child_at_index(index)
        if application is not None and application.get_process_id() == pid:
            return application
    return None


def find(root, role, name, depth=12):
    if root is None or depth == 0:
        return None
    try:
        if root.get_role() == role and root.get_name() == name:
            return root
        count = root.get_child_count()
    except gi.repository.GLib.Error:
        return None
    for index in range(count):
        found = find(root.get_child_at_index(index), role, name, depth - 1)
        if found is not None:
            return found
    return None


def press(accessible):
    with warnings.catch_warnings():
        # Deprecated in favour of a call that the installed version lacks.
        warnings.simplefilter("ignore", DeprecationWarning)
        names = [accessible.get_action_name(index) for index in range(accessible.get_n_actions())]
    for wanted in ("press", "click", "Press"):
        if wanted in names:
            accessible.do_action(names.index(wanted))
            return
    accessible.do_action(0)


def main():
    pid = int(sys.argv[1])
    application = wait_for(lambda: program(pid), "quenlo on the accessibility bus")
    item = wait_for(lambda: find(application, Atspi.Role.MENU_ITEM, "Excluded Applications\u2026"),
                    "the Excluded Applications menu item")
    press(item)
    dialog = wait_for(lambda: find(application, Atspi.Role.DIALOG, "Excluded Applications"), "the dialog")
    entries = wait_for(lambda: find(dialog, Atspi.Role.LIST, "Excluded applications"), "the list")
    remove = wait_for(lambda: find(dialog, Atspi.Role.PUSH_BUTTON, "Remove"), "the Remove button")
    while entries.get_child_count() > 0:
        before = entries.get_child_count()
        press(remove)
        wait_for(lambda: True if entries.get_child_count() < before else None, "an entry to go")
    press(wait_for(lambda: find(dialog, Atspi.Role.PUSH_BUTTON, "OK"), "the OK button"))
    wait_for(lambda: None if find(application, Atspi.Role.DIALOG, "Excluded Applications") else True,
             "the dialog to close")


if __name__ == "__main__":
    main()
