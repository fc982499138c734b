#!/usr/bin/python3
"""End to end: what another process reads of the running quenlo through the accessibility bus.

Run inside a private session bus (dbus-run-session), which starts the accessibility bus on demand.
Starts a private Xvfb, the real quenlo with a temporary words.mdb and settings and its accessibility
bridge on, and xterm; types words into xterm; then walks quenlo's whole accessibility tree and
checks what it announced meanwhile: neither holds the letters typed in xterm, while the walk does
reach the main window's visible controls.

Needs the Debian packages of e2e_completion.py plus dbus-daemon, at-spi2-core and gir1.2-atspi-2.0.

usage: dbus-run-session -- e2e_accessibility.py --quenlo PATH [--repeat N] [unittest options]
"""
import argparse
import os
import re
import shutil
import sys
import tempfile
import unittest

from e2e_completion import Desktop, Quenlo, XtermApp, wait_until

TYPED = "hunterkq"  # no stored word begins with it: no pop-up shows while it is typed
# What the main window's key display would read for a key: its character, a blank, its code.
KEY_DISPLAY = re.compile(r"^.? \d+$")
VISIBLE_NAMES = {"Add Word", "Remove Word", "Enable Quenlo", "Hit Shift Key to Complete word",
                 "Hit Tab Key to Complete word", "Word list", "Max words to display"}
OPTIONS = None


class Accessibility:
    """The accessibility bus as an assistive tool sees it, with every event quenlo announces."""

    def __init__(self):
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi, GLib
        self.atspi = Atspi
        self.context = GLib.MainContext.default()
        self.announced = []  # (pid, event type, text the event carried)
        self.listener = Atspi.EventListener.new(self._event)
        for kind in ("object:text-changed", "object:property-change", "object:state-changed",
                     "object:children-changed", "object:text-caret-moved", "focus:"):
            self.listener.register(kind)

    def _event(self, event):
        try:
            pid = event.source.get_process_id()
        except Exception:  # the source may be gone already
            pid = None
        data = event.any_data
        self.announced.append((pid, event.type, data if isinstance(data, str) else ""))

    def pump(self):
        while self.context.pending():
            self.context.iteration(False)

    def application(self, pid):
        self.pump()
        desktop = self.atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            try:
                if app is not None and app.get_process_id() == pid:
                    return app
            except Exception:  # an application that went away meanwhile
                continue
        return None

    def texts(self, node, depth=0):
        """Every (role, text) an assistive tool can read at node and below it."""
        if node is None or depth > 40:
            return []
        role = node.get_role_name()
        found = [(role, node.get_name() or ""), (role, node.get_description() or "")]
        interfaces = node.get_interfaces()
        if "Text" in interfaces:
            found.append((role, node.get_text(0, node.get_character_count()) or ""))
        if "Value" in interfaces:
            found.append((role, str(node.get_current_value())))
        for i in range(node.get_child_count()):
            found += self.texts(node.get_child_at_index(i), depth + 1)
        return found


class WhatOthersRead(unittest.TestCase):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        cls.workdir = tempfile.mkdtemp(prefix="quenlo-a11y-")
        cls.desktop = cls.quenlo = cls.xterm = None
        try:
            cls.desktop = Desktop(cls.workdir)
            env = cls.desktop.env
            env["DBUS_SESSION_BUS_ADDRESS"] = os.environ["DBUS_SESSION_BUS_ADDRESS"]
            env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
            env.pop("NO_AT_BRIDGE", None)
            os.environ["DISPLAY"] = env["DISPLAY"]
            cls.bus = Accessibility()  # listening before quenlo starts, so it announces to us
            cls.xterm = XtermApp(cls.desktop, cls.workdir, "a11y-xterm")
            cls.quenlo = Quenlo(cls.desktop, OPTIONS.quenlo, cls.workdir, "tab")
            wait_until(lambda: cls.bus.application(cls.quenlo.process.pid), "quenlo on the accessibility bus")
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        for part in (cls.quenlo, cls.xterm, cls.desktop):
            if part is not None:
                part.close()
        shutil.rmtree(cls.workdir, ignore_errors=True)

    def wait(self, condition, what):
        def pumped():
            self.bus.pump()
            return condition()
        return wait_until(pumped, what)

    def test_letters_typed_elsewhere_are_nowhere_in_the_tree_nor_announced(self):
        pid = self.quenlo.process.pid
        self.xterm.reset()
        self.bus.announced.clear()
        self.desktop.key(*TYPED)
        # A word end and a word with suggestions: once they show, quenlo has handled every key above.
        self.desktop.key("space", "h", "e", "l")
        self.wait(self.desktop.popup_shown, "the pop-up after typing hel")
        self.desktop.key("Escape")
        self.wait(self.desktop.popup_hidden, "Esc to hide the pop-up")
        wait_until(lambda: self.xterm.text().endswith(TYPED + " hel\x1b"), "the keys to reach xterm")

        app = self.bus.application(pid)
        self.assertIsNotNone(app)
        texts = self.bus.texts(app)
        self.bus.pump()
        names = {text for _, text in texts}
        self.assertTrue(VISIBLE_NAMES <= names, "the walk misses %s" % sorted(VISIBLE_NAMES - names))

        typed_letters = set(TYPED + "hel")
        read = []  # what an assistive tool reads in the tree that comes from the typing
        for role, text in texts:
            lower = text.lower()
            if TYPED in lower or lower == "hel" or text in typed_letters or KEY_DISPLAY.match(text):
                read.append("%s: %r" % (role, text))
        announced = ["%s: %r" % (kind, text) for source, kind, text in self.bus.announced
                     if source == pid and (TYPED[:3] in text.lower() or text in typed_letters)]
        self.assertEqual((read, announced), ([], []), "typed letters in quenlo's tree, in its events")


def main():
    global OPTIONS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quenlo", required=True)
    parser.add_argument("--repeat", type=int, default=1, help="run the whole suite this many times")
    OPTIONS, rest = parser.parse_known_args()
    if "DBUS_SESSION_BUS_ADDRESS" not in os.environ:
        print("run inside a private session bus: dbus-run-session -- " + sys.argv[0])
        return 1
    missing = [tool for tool in ("Xvfb", "xdotool", "xwininfo", "xterm", "sqlite3") if not shutil.which(tool)]
    if missing:
        print("missing programs: " + ", ".join(missing) + " (install xvfb xdotool x11-utils xterm sqlite3)")
        return 1
    failures = 0
    for _ in range(OPTIONS.repeat):
        program = unittest.main(argv=[sys.argv[0], *rest], exit=False, verbosity=2)
        failures += 0 if program.result.wasSuccessful() else 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
