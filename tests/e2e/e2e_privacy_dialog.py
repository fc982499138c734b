#!/usr/bin/python3
"""Empties quenlo's exclusion list through its own window, driven over the accessibility bus:
Options > Excluded Applications…, then Remove while anything is listed, then OK. A process of its own,
so that it joins the suite's session bus of the moment.

usage: e2e_privacy_dialog.py QUENLO_PID
"""
import sys
import warnings

from desktop import Accessibility, wait_until


def press(accessible):
    with warnings.catch_warnings():
        # Deprecated in favour of a call that the installed version lacks.
        warnings.simplefilter("ignore", DeprecationWarning)
        names = [accessible.get_action_name(index) for index in range(accessible.get_n_actions())]
    wanted = [name for name in ("press", "click", "Press") if name in names]
    accessible.do_action(names.index(wanted[0]) if wanted else 0)


def main():
    bus = Accessibility()
    role = bus.atspi.Role

    def found(root, kind, name):
        return wait_until(lambda: bus.find(root, kind, name), name)

    application = wait_until(lambda: bus.application(int(sys.argv[1])), "quenlo on the accessibility bus")
    press(found(application, role.MENU_ITEM, "Excluded Applications\u2026"))
    dialog = found(application, role.DIALOG, "Excluded Applications")
    entries = found(dialog, role.LIST, "Excluded applications")
    remove = found(dialog, role.PUSH_BUTTON, "Remove")
    while entries.get_child_count() > 0:
        before = entries.get_child_count()
        press(remove)
        wait_until(lambda: entries.get_child_count() < before, "an entry to go")
    press(found(dialog, role.PUSH_BUTTON, "OK"))
    wait_until(lambda: bus.find(application, role.DIALOG, "Excluded Applications") is None, "the dialog to close")


if __name__ == "__main__":
    main()
