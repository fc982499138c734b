#!/usr/bin/python3
"""End to end: what another process reads of the running quenlo through the accessibility bus.

Run inside a private session bus (dbus-run-session), which starts the accessibility bus on demand.
Starts a private Xvfb, the real quenlo with a temporary words.mdb and settings and its accessibility
bridge on, and xterm; types words into xterm; then walks quenlo's whole accessibility tree and
checks what it announced meanwhile: neither holds the letters typed in xterm, while the walk does
reach the main window's visible controls.

Needs the Debian packages of desktop.py with its accessibility bus.

usage: dbus-run-session -- e2e_accessibility.py --quenlo PATH [--repeat N] [unittest options]
"""
import os
import re
import sys

from desktop import Accessibility, QuenloCase, XtermApp, kept, main, start_desktop, wait_until

TYPED = "hunterkq"  # no stored word begins with it: no pop-up shows while it is typed
# What the main window's key display would read for a key: its character, a blank, its code.
KEY_DISPLAY = re.compile(r"^.? \d+$")
VISIBLE_NAMES = {"Add Word", "Remove Word", "Enable Quenlo", "Hit Shift Key to Complete word",
                 "Hit Tab Key to Complete word", "Word list", "Max words to display"}


class Announced(Accessibility):
    """The accessibility bus with every event an application announces on it."""

    def __init__(self):
        super().__init__()
        self.announced = []  # (pid, event type, text the event carried)
        self.listener = self.atspi.EventListener.new(self._event)
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


def setUpModule():
    desktop = QuenloCase.desktop = start_desktop("quenlo-a11y-")
    desktop.env["DBUS_SESSION_BUS_ADDRESS"] = os.environ["DBUS_SESSION_BUS_ADDRESS"]
    desktop.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
    desktop.env.pop("NO_AT_BRIDGE", None)
    os.environ["DISPLAY"] = desktop.env["DISPLAY"]


class WhatOthersRead(QuenloCase):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        cls.bus = Announced()  # listening before quenlo starts, so it announces to us
        cls.xterm = kept(XtermApp(cls.desktop, "a11y-xterm"))
        super().setUpClass()
        wait_until(lambda: cls.bus.application(cls.quenlo.process.pid), "quenlo on the accessibility bus")

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
        wait_until(lambda: self.xterm.bytes().endswith(TYPED + " hel\x1b"), "the keys to reach xterm")

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


if __name__ == "__main__":
    sys.exit(main(__doc__, ["xterm"], qtfield=False, session_bus=True))
