#!/usr/bin/python3
"""End to end: the real quenlo on a private Xvfb server runs the scenarios, keyboard layouts too, in
xterm, a GTK and a Qt field. What the keyboard hook alone does is tested here too: bursts typed through
XTest, and keys typed while the program is stopped. A slow or locked lookup holding keys, and a late
answer changing nothing, are the hook suite's (tst_x11keyboardhook) and the locked database scenario's.
Started again, the program hands over to the running one and brings its window to the front.
"""
import ctypes
import random
import re
import subprocess
import sys
import time

from desktop import WAIT_SECONDS, Failed, FieldApp, QuenloCase, XtermApp, kept, main, start_desktop, stopped, wait_until
from scenarios import LayoutScenarios, NumberScenarios, Scenarios, ShiftScenarios  # noqa: F401 (the suite's tests)

# Typing bursts: prefix and the word it completes to, then two letters that start no lookup.
BURSTS = 50
BURST_WORDS = [("hel", "hello"), ("wor", "world"), ("won", "wonder"), ("zeb", "zebra")]
BURST_TAILS = ["xy", "qj", "kv", "xq", "jk"]
TYPIST = None


class Typist:
    """Types through XTest on a connection of its own, with the gaps between keys chosen by the test.
    (Bursts through xdotool come out capitalised after a swallowed Shift.)"""

    def __init__(self, display):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XStringToKeysym.restype = ctypes.c_ulong
        self.x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        self.x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XFlush.argtypes = [ctypes.c_void_p]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.display = self.x11.XOpenDisplay(display.encode())
        if not self.display:
            raise Failed("cannot open the display for typing")

    def close(self):
        self.x11.XCloseDisplay(self.display)

    def type(self, keys, gaps_ms):
        """Taps each key (an X keysym name), waiting gaps_ms[i] before key i."""
        for key, gap in zip(keys, gaps_ms):
            if gap:
                time.sleep(gap / 1000)
            code = self.x11.XKeysymToKeycode(self.display, self.x11.XStringToKeysym(key.encode()))
            self.xtst.XTestFakeKeyEvent(self.display, code, 1, 0)
            self.xtst.XTestFakeKeyEvent(self.display, code, 0, 0)
            self.x11.XFlush(self.display)


def random_gaps(rng, count):
    return [rng.uniform(0, 10) for _ in range(count)]


def setUpModule():
    global TYPIST
    desktop = QuenloCase.desktop = start_desktop("quenlo-e2e-")
    QuenloCase.apps = {"xterm": XtermApp(desktop, "e2e-xterm"), "gtk": FieldApp(desktop, "gtk", "e2e-gtk"),
                       "qt": FieldApp(desktop, "qt", "e2e-qt")}
    TYPIST = kept(Typist(desktop.env["DISPLAY"]))


class CompletionCase(QuenloCase):
    def type_hel(self, app):
        self.desktop.key("h", "e", "l")
        wait_until(self.desktop.popup_shown, "the pop-up after typing hel")

    def type_bursts(self, app, completion_key, passed):
        """Bursts of prefix, completion key, two letters and a space, 0-10 ms between keys: every
        byte arrives in order, each completion key completed (the rest of the word) or passed
        (passed), never both. Every fifth burst waits for the pop-up before its completion key, so
        that completions happen however slow the machine."""
        rng = random.Random(9)
        keys = []
        pattern = ""
        for number in range(BURSTS):
            prefix, word = BURST_WORDS[number % len(BURST_WORDS)]
            tail = rng.choice(BURST_TAILS)
            pattern += "%s(%s|%s)%s " % (prefix, word[len(prefix):], re.escape(passed), tail)
            keys += prefix
            if number % 5 == 4:
                TYPIST.type(keys, random_gaps(rng, len(keys)))
                wait_until(self.desktop.popup_shown, "the pop-up for " + prefix)
                keys = []
            keys += [completion_key, *tail, "space"]
        TYPIST.type(keys, random_gaps(rng, len(keys)))
        text = app.bytes if isinstance(app, XtermApp) else app.text
        self.wait_for(lambda: text().count(" ") >= BURSTS, lambda: "after the bursts the application holds %r" % text())
        wait_until(self.desktop.popup_hidden, "the pop-up to hide")
        match = re.fullmatch(pattern, text())
        self.assertIsNotNone(match, "out of order, lost or doubled: %r" % text())
        # Passing every key would prove nothing: the bursts that waited for the pop-up are there to complete.
        self.assertGreater(sum(1 for outcome in match.groups() if outcome != passed), 0, "no burst completed")


class KeyboardUnderFaults(CompletionCase):
    """Fast typing and a stopped program, in xterm, with Tab as the completion key: no key is lost or
    reordered, and no key is both completed and passed."""

    def setUp(self):
        self.app = self.apps["xterm"]
        self.app.reset()

    def test_bursts_keep_every_byte_in_order(self):
        self.type_bursts(self.app, "Tab", "\t")

    def test_stopped_program_completes_only_a_held_tab(self):
        self.type_hel(self.app)
        with stopped(self.quenlo.process):
            TYPIST.type(["Tab", "x", "y"], [0, 5, 5])
            # The keys are typed while the program is stopped (the keyboard waits on its grab).
            time.sleep(0.3)
        wait_until(lambda: self.app.bytes().endswith("xy"), "the keys typed while stopped")
        wait_until(self.desktop.popup_hidden, "the pop-up to hide")
        # Anything Tab pasted comes before a key typed after it.
        TYPIST.type(["period"], [0])
        self.wait_for(lambda: self.app.bytes().endswith("."), lambda: "xterm holds %r" % self.app.bytes())
        self.assertIn(self.app.bytes(), {"helloxy.", "hel\txy."})


class ShiftCompletion(CompletionCase):
    completion_key = "shift"

    def test_bursts_keep_every_character_in_order_in_gtk(self):
        app = self.apps["gtk"]
        app.reset()
        self.type_bursts(app, "Shift_L", "")


class SecondStart(QuenloCase):
    def test_a_second_start_hands_over_and_ends(self):
        """Started again, quenlo brings the running one's window to the front and ends; --minimized
        leaves the focus where it was. One quenlo window stays, and the first keeps running."""
        xterm = self.apps["xterm"]
        for options, comes_forward in ((["--minimized"], False), ([], True)):
            with self.subTest(options=options):
                self.desktop.focus(xterm.window)
                second = subprocess.run([self.quenlo.program, *options], env=self.desktop.env, capture_output=True,
                                        text=True, timeout=WAIT_SECONDS)
                self.assertEqual(second.returncode, 0, second.stderr)
                self.assertIsNone(self.quenlo.process.poll(), "the first quenlo ended")
                expected = self.quenlo.window if comes_forward else xterm.window
                self.wait_for(lambda: self.desktop.focused() == expected,
                              lambda: "the focus is on %s, not on %s" % (self.desktop.focused(), expected))
        self.assertEqual(self.desktop.windows("--onlyvisible", "--name", "^Quenlo Word Complete"),
                         [self.quenlo.window])


if __name__ == "__main__":
    sys.exit(main(__doc__, ["xterm", "setxkbmap"]))
