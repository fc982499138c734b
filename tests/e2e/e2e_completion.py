#!/usr/bin/python3
"""End to end: the real quenlo on a private Xvfb server completes words in real applications.

Starts Xvfb, the built quenlo (copied beside a temporary words.mdb, with temporary settings), xterm,
a GTK text field and a Qt text field; types into them with xdotool, or with XTest directly where the
time between keys matters, and reads back what each holds. Under faults (a locked or slow word
database, a stopped program) it measures how long each key took from its XTest press to xterm.

Needs the Debian packages xvfb, xdotool, x11-utils (xwininfo), xterm, sqlite3, python3-gi and
gir1.2-gtk-3.0; it installs nothing itself.

usage: e2e_completion.py --quenlo PATH --qtfield PATH [--repeat N] [unittest options]
"""
import argparse
import ctypes
import json
import os
import random
import re
import select
import shutil
import signal
import sqlite3
import struct
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
WORDS = ["hello", "help", "helmet", "world", "wonder", "zebra"]  # "hel" offers hello, helmet, help in that order
# No key may wait longer than this under a fault (from its XTest press to its byte in xterm).
KEY_WAIT_BOUND_MS = 200
# Typing bursts: prefix and the word it completes to, then two letters that start no lookup.
BURSTS = 50
BURST_WORDS = [("hel", "hello"), ("wor", "world"), ("won", "wonder"), ("zeb", "zebra")]
BURST_TAILS = ["xy", "qj", "kv", "xq", "jk"]
WAIT_SECONDS = 15


class Failed(Exception):
    pass


def wait_until(condition, what, timeout=WAIT_SECONDS):
    """Polls condition until it returns something true; fails with what when it never does."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failed("timed out waiting for " + what)
        time.sleep(0.02)


class Desktop:
    """A private Xvfb server and the X tools that look at it."""

    def __init__(self, workdir):
        runtime = os.path.join(workdir, "runtime")
        os.makedirs(runtime, mode=0o700)
        self.env = dict(os.environ)
        for name in ("WAYLAND_DISPLAY", "XAUTHORITY", "SESSION_MANAGER", "DBUS_SESSION_BUS_ADDRESS"):
            self.env.pop(name, None)
        self.env.update({
            "HOME": workdir,
            "XDG_CONFIG_HOME": os.path.join(workdir, "config"),
            "XDG_RUNTIME_DIR": runtime,
            "QT_QPA_PLATFORM": "xcb",
            "NO_AT_BRIDGE": "1",
            "GSETTINGS_BACKEND": "memory",
            "LC_ALL": "C.UTF-8",
        })
        self.server_log = os.path.join(workdir, "xvfb.log")
        read_end, write_end = os.pipe()
        # -noreset: a server resets when its last client leaves, and refuses the next one meanwhile.
        with open(self.server_log, "w") as log:
            self.server = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x800x24", "-nolisten", "tcp", "-noreset"],
                pass_fds=[write_end], stdout=log, stderr=subprocess.STDOUT)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            with open(self.server_log, errors="replace") as log:
                raise Failed("Xvfb did not start:\n" + log.read()[-2000:])
        self.env["DISPLAY"] = ":" + number

    def close(self):
        self.server.terminate()
        self.server.wait()

    def run(self, *command):
        return subprocess.run(command, env=self.env, check=True, capture_output=True, text=True,
                              timeout=WAIT_SECONDS).stdout

    def key(self, *keys):
        self.run("xdotool", "key", "--delay", "30", *keys)

    def windows(self, *query):
        result = subprocess.run(["xdotool", "search", *query], env=self.env, capture_output=True, text=True,
                                timeout=WAIT_SECONDS)
        return [int(line) for line in result.stdout.split()]

    def launch(self, command, title, **popen_options):
        """Starts an application and waits for its visible window titled title. One that ends, or
        shows nothing in time, is started once more (a busy machine has been seen to lose one);
        the second failure reports what the application said on stderr."""
        errors = os.path.join(self.env["HOME"], title + ".err")
        for attempt in (1, 2):
            with open(errors, "w") as stderr:
                process = subprocess.Popen(command, env=self.env, stderr=stderr, **popen_options)

            def window():
                if process.poll() is not None:
                    return -1
                return self.windows("--onlyvisible", "--name", "^" + re.escape(title) + "$")

            try:
                found = wait_until(window, "a window named " + title)
            except Failed:
                found = -1
            if found != -1:
                return process, found[0]
            if process.poll() is None:
                process.kill()
            process.wait()
        with open(errors) as stderr:
            raise Failed("%s showed no window (exit %s): %s" % (title, process.returncode, stderr.read().strip()))

    def start(self, command, log_path, env=None):
        """Starts a program whose window shows under its own pid, its output going to log_path.
        Like launch(), one that ends at start is started once more; the second failure reports
        its output and the server's."""
        for attempt in (1, 2):
            log = open(log_path, "w")
            process = subprocess.Popen(command, env=env or self.env, stdout=log, stderr=subprocess.STDOUT)
            found = wait_until(lambda: process.poll() is not None or self.windows("--onlyvisible", "--pid",
                                                                                  str(process.pid)),
                               "the window of " + os.path.basename(command[0]))
            if process.poll() is None:
                return process, found[0], log
            log.close()
        with open(log_path, errors="replace") as output, open(self.server_log, errors="replace") as server:
            raise Failed("%s ended at start with status %d:\n%s\nXvfb (%s):\n%s" % (
                command[0], process.returncode, output.read()[-4000:],
                "running" if self.server.poll() is None else "ended", server.read()[-2000:]))

    def focus(self, window):
        self.run("xdotool", "windowfocus", "--sync", str(window))

    def focused(self):
        return int(self.run("xdotool", "getwindowfocus", "-f").strip())

    def popup(self):
        """(mapped, x, y) of the suggestion pop-up, or None before it exists."""
        result = subprocess.run(["xwininfo", "-name", "Form2"], env=self.env, capture_output=True, text=True,
                                timeout=WAIT_SECONDS)
        if result.returncode != 0:
            return None
        info = result.stdout
        mapped = "Map State: IsViewable" in info
        x = int(re.search(r"Absolute upper-left X:\s+(-?\d+)", info).group(1))
        y = int(re.search(r"Absolute upper-left Y:\s+(-?\d+)", info).group(1))
        return mapped, x, y

    def popup_shown(self):
        state = self.popup()
        return state is not None and state[0]

    def popup_hidden(self):
        return not self.popup_shown()


def install_quenlo(desktop, binary, folder, completion_key, more_settings="", words=WORDS):
    """Copies the real program into a folder of its own beside a temporary words.mdb of words, and
    writes its settings: default and custom words offered, the given completion key, and
    more_settings. Returns the program's path."""
    os.makedirs(folder)
    program = os.path.join(folder, "quenlo")
    shutil.copy(binary, program)
    rows = ",".join("('%s', NULL)" % word for word in words)
    subprocess.run(["sqlite3", os.path.join(folder, "words.mdb"),
                    "CREATE TABLE Words (Text1 TEXT COLLATE NOCASE, Type1 TEXT);"
                    "INSERT INTO Words VALUES %s;" % rows], check=True)
    settings = os.path.join(desktop.env["XDG_CONFIG_HOME"], "Quenlo")
    os.makedirs(settings, exist_ok=True)
    shift = completion_key == "shift"
    with open(os.path.join(settings, "Quenlo.conf"), "w") as conf:
        conf.write("[Type]\nC5=1\nC4=1\nOpt1=%s\nOpt2=%s\n%s" % (shift, not shift, more_settings))
    return program


class Quenlo:
    """The real program, run from a folder of its own beside a temporary words.mdb."""

    def __init__(self, desktop, binary, workdir, completion_key, name=None):
        self.desktop = desktop
        name = name or completion_key
        folder = os.path.join(workdir, "quenlo-" + name)
        program = install_quenlo(desktop, binary, folder, completion_key)
        self.database = os.path.join(folder, "words.mdb")
        # The hook is started before the main window is shown.
        self.process, _, self.log = desktop.start([program], os.path.join(workdir, "quenlo-%s.log" % name))

    def close(self):
        self.process.terminate()
        self.process.wait()
        self.log.close()


class FieldApp:
    """A GTK or Qt window with two text fields that answers 'state' and 'clear' on its stdin."""

    def __init__(self, desktop, command, title, names):
        self.desktop = desktop
        self.names = names
        self.process, self.window = desktop.launch(command + [title], title, stdin=subprocess.PIPE,
                                                   stdout=subprocess.PIPE, text=True)

    def close(self):
        self.process.stdin.close()
        try:
            self.process.wait(timeout=WAIT_SECONDS)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()

    def ask(self, command):
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()
        ready, _, _ = select.select([self.process.stdout], [], [], WAIT_SECONDS)
        if not ready:
            raise Failed("the text field application did not answer")
        return json.loads(self.process.stdout.readline())

    def reset(self):
        self.desktop.focus(self.window)
        # Return ends the word being typed without changing a text field.
        self.desktop.key("Return")
        wait_until(lambda: self.names["Return"] in self.ask("state")["keys"], "Return to reach the field")
        wait_until(self.desktop.popup_hidden, "the pop-up to hide")
        self.ask("clear")

    def text(self):
        state = self.ask("state")
        return state["first"] + state["second"]

    def keys(self):
        return self.ask("state")["keys"]

    def focus_kept(self):
        return self.ask("state")["focus"] == "first"

    def focus_moved_on(self):
        return self.ask("state")["focus"] == "second"


class XtermApp:
    """xterm, as it comes, running a recorder in raw mode: every byte the terminal sends lands in a
    file with the time it arrived. Its Shift+Insert pastes the primary selection, which the
    completion fills as well."""

    RECORD = struct.Struct("<Qc")

    def __init__(self, desktop, workdir, title):
        self.desktop = desktop
        self.path = os.path.join(workdir, "xterm.out")
        self.process, self.window = desktop.launch(
            ["xterm", "-T", title, "-geometry", "60x8+300+500", "-e", "/usr/bin/python3",
             os.path.join(HERE, "ttyrecord.py"), self.path], title, stdout=subprocess.DEVNULL)
        wait_until(lambda: os.path.exists(self.path), "the recorder to start inside xterm")
        self.mark = 0

    def close(self):
        self.process.terminate()
        self.process.wait()

    def arrivals(self):
        """(monotonic nanoseconds, byte) of every byte since the last reset."""
        with open(self.path, "rb") as output:
            output.seek(self.mark * self.RECORD.size)
            records = output.read()
        whole = len(records) - len(records) % self.RECORD.size
        return [(time_ns, byte[0]) for time_ns, byte in self.RECORD.iter_unpack(records[:whole])]

    def data(self):
        return bytes(byte for _, byte in self.arrivals())

    def reset(self):
        self.desktop.focus(self.window)
        self.desktop.key("Return")
        wait_until(lambda: self.data().endswith(b"\r"), "Return to reach xterm")
        wait_until(self.desktop.popup_hidden, "the pop-up to hide")
        self.mark += len(self.arrivals())

    def text(self):
        return self.data().decode("latin-1")

    def focus_kept(self):
        return self.desktop.focused() == self.window


class Typist:
    """Types through XTest on a connection of its own, with the gaps between keys chosen by the test,
    and notes when each key was sent."""

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
        """Taps each key (an X keysym name), waiting gaps_ms[i] before key i; returns the monotonic
        nanoseconds at which each press was sent."""
        sent = []
        for key, gap in zip(keys, gaps_ms):
            if gap:
                time.sleep(gap / 1000)
            code = self.x11.XKeysymToKeycode(self.display, self.x11.XStringToKeysym(key.encode()))
            sent.append(time.monotonic_ns())
            self.xtst.XTestFakeKeyEvent(self.display, code, 1, 0)
            self.xtst.XTestFakeKeyEvent(self.display, code, 0, 0)
            self.x11.XFlush(self.display)
        return sent


def key_waits_ms(sent, keys, arrivals):
    """How long each key that xterm turns into one byte took to arrive: letters and a Tab that was
    let through. Matched in order; bytes in between (a pasted completion) are skipped."""
    waits = []
    position = 0
    for when, key in zip(sent, keys):
        byte = {"Tab": 9, "space": 32}.get(key, ord(key) if len(key) == 1 else None)
        if byte is None:
            continue
        for index in range(position, len(arrivals)):
            if arrivals[index][1] == byte:
                waits.append((arrivals[index][0] - when) / 1e6)
                position = index + 1
                break
    return waits


def random_gaps(rng, count):
    return [rng.uniform(0, 10) for _ in range(count)]


QT_NAMES = {"Return": "Return", "Tab": "Tab", "Down": "Down", "Escape": "Esc", "Shift": "Shift", "Space": "Space",
            "Insert": "Ins"}
GTK_NAMES = {"Return": "Return", "Tab": "Tab", "Down": "Down", "Escape": "Escape", "Shift": "Shift_L",
             "Space": "space", "Insert": "Insert"}
# What xterm sends for the keys that are not characters (cursor keys in normal mode).
XTERM_BYTES = {"Tab": b"\t", "Down": b"\x1b[B", "Up": b"\x1b[A", "Escape": b"\x1b"}

OPTIONS = None
STATE = {}


def setUpModule():
    workdir = tempfile.mkdtemp(prefix="quenlo-e2e-")
    STATE["workdir"] = workdir
    apps = STATE["apps"] = {}
    try:
        desktop = STATE["desktop"] = Desktop(workdir)
        apps["xterm"] = XtermApp(desktop, workdir, "e2e-xterm")
        apps["gtk"] = FieldApp(desktop, ["/usr/bin/python3", os.path.join(HERE, "gtkfield.py")], "e2e-gtk",
                               GTK_NAMES)
        apps["qt"] = FieldApp(desktop, [OPTIONS.qtfield], "e2e-qt", QT_NAMES)
        STATE["typist"] = Typist(desktop.env["DISPLAY"])
    except BaseException:
        # unittest skips tearDownModule when this fails: nothing started may outlive the test.
        tearDownModule()
        raise


def tearDownModule():
    typist = STATE.pop("typist", None)
    if typist:
        typist.close()
    for app in STATE.get("apps", {}).values():
        app.close()
    if "desktop" in STATE:
        STATE["desktop"].close()
    shutil.rmtree(STATE["workdir"], ignore_errors=True)


class CompletionCase(unittest.TestCase):
    completion_key = None
    quenlo = None

    @classmethod
    def setUpClass(cls):
        cls.desktop = STATE["desktop"]
        cls.quenlo = Quenlo(cls.desktop, OPTIONS.quenlo, STATE["workdir"], cls.completion_key, cls.__name__)

    @classmethod
    def tearDownClass(cls):
        if cls.quenlo:
            cls.quenlo.close()

    def each_app(self, scenario):
        for name, app in STATE["apps"].items():
            with self.subTest(app=name):
                app.reset()
                scenario(name, app)

    def type_hel(self, app):
        before = app.desktop.focused()
        self.desktop.key("h", "e", "l")
        wait_until(self.desktop.popup_shown, "the pop-up after typing hel")
        mapped, x, y = self.desktop.popup()
        self.assertEqual((x, y), (0, 0), "the pop-up sits at the top-left corner")
        self.assertEqual(self.desktop.focused(), before, "the pop-up never takes the focus")

    def type_bursts(self, app, completion_key, passed):
        """Bursts of prefix, completion key, two letters and a space, 0-10 ms between keys: every
        byte arrives in order, each completion key completed (the rest of the word) or passed
        (passed), never both. Every fifth burst waits for the pop-up before its completion key, so
        that completions happen however slow the machine. Returns how many were completed."""
        rng = random.Random(9)
        keys = []
        pattern = ""
        for number in range(BURSTS):
            prefix, word = BURST_WORDS[number % len(BURST_WORDS)]
            tail = rng.choice(BURST_TAILS)
            pattern += "%s(%s|%s)%s " % (prefix, word[len(prefix):], re.escape(passed), tail)
            if number % 5 == 4:
                keys += prefix
                STATE["typist"].type(keys, random_gaps(rng, len(keys)))
                wait_until(self.desktop.popup_shown, "the pop-up for " + prefix)
                keys = []
            else:
                keys += prefix
            keys += [completion_key, *tail, "space"]
        STATE["typist"].type(keys, random_gaps(rng, len(keys)))
        try:
            wait_until(lambda: app.text().count(" ") >= BURSTS, "every burst to arrive")
        except Failed:
            self.fail("after the bursts the application holds %r" % app.text())
        wait_until(self.desktop.popup_hidden, "the pop-up to hide")
        match = re.fullmatch(pattern, app.text())
        self.assertIsNotNone(match, "out of order, lost or doubled: %r" % app.text())
        completed = sum(1 for outcome in match.groups() if outcome != passed)
        print("\n  %d of %d bursts completed, the rest passed the completion key" % (completed, BURSTS),
              file=sys.stderr)
        return completed

    def wait_text(self, app, text):
        try:
            wait_until(lambda: app.text() == text, repr(text))
        except Failed:
            self.fail("the application holds %r, not %r" % (app.text(), text))


class TabCompletion(CompletionCase):
    completion_key = "tab"

    def test_tab_completes_the_first_suggestion_and_is_swallowed(self):
        def scenario(name, app):
            self.type_hel(app)
            self.desktop.key("Tab")
            self.wait_text(app, "hello")
            self.assertTrue(app.focus_kept(), "the focus stays in the field")
            if name != "xterm":
                self.assertNotIn(app.names["Tab"], app.keys())
            wait_until(self.desktop.popup_hidden, "the pop-up to hide after completing")
        self.each_app(scenario)

    def test_down_then_tab_inserts_the_second_suggestion(self):
        def scenario(name, app):
            self.type_hel(app)
            self.desktop.key("Down", "Tab")
            self.wait_text(app, "helmet")
            if name != "xterm":
                self.assertNotIn(app.names["Down"], app.keys())
        self.each_app(scenario)

    def test_down_on_the_last_row_reaches_the_application(self):
        def scenario(name, app):
            self.type_hel(app)
            self.desktop.key("Down", "Down", "Down", "Tab")
            if name == "xterm":
                self.wait_text(app, "hel" + XTERM_BYTES["Down"].decode() + "p")
            else:
                # A GTK entry moves the focus on Down; the rest of the word follows it.
                self.wait_text(app, "help")
                self.assertEqual(app.keys().count(app.names["Down"]), 1)
        self.each_app(scenario)

    def test_escape_hides_the_popup_and_reaches_the_application(self):
        def scenario(name, app):
            self.type_hel(app)
            self.desktop.key("Escape")
            wait_until(self.desktop.popup_hidden, "Esc to hide the pop-up")
            if name == "xterm":
                self.wait_text(app, "hel\x1b")
            else:
                wait_until(lambda: app.names["Escape"] in app.keys(), "Esc to reach the application")
                self.assertEqual(app.text(), "hel")
        self.each_app(scenario)

    def test_space_ends_the_word(self):
        def scenario(name, app):
            self.type_hel(app)
            self.desktop.key("space")
            wait_until(self.desktop.popup_hidden, "Space to hide the pop-up")
            self.wait_text(app, "hel ")
            # The pop-up is gone: Tab is the application's again.
            self.desktop.key("Tab")
            if name == "xterm":
                self.wait_text(app, "hel \t")
            else:
                wait_until(app.focus_moved_on, "Tab to move the focus to the second field")
                self.assertIn(app.names["Tab"], app.keys())
        self.each_app(scenario)

    def test_shift_for_a_capital_still_shifts_while_the_popup_is_up(self):
        def scenario(name, app):
            self.type_hel(app)
            self.desktop.key("shift+a")
            self.wait_text(app, "helA")
            wait_until(self.desktop.popup_hidden, "the pop-up to hide: no word begins with hela")
        self.each_app(scenario)

    def test_a_word_begun_in_capitals_is_completed_in_capitals(self):
        def scenario(name, app):
            self.desktop.key("shift+h", "shift+e", "shift+l")
            wait_until(self.desktop.popup_shown, "the pop-up after typing HEL")
            self.desktop.key("Tab")
            self.wait_text(app, "HELLO")
        self.each_app(scenario)

    def test_nothing_is_swallowed_while_the_popup_is_hidden(self):
        keys = ["z", "z", "z", "shift+w", "space", "q", "Tab", "Down", "Up", "Escape"]

        def scenario(name, app):
            self.desktop.key(*keys)
            if name == "xterm":
                self.wait_text(app, "zzzW q\t\x1b[B\x1b[A\x1b")
            else:
                wait_until(lambda: app.names["Escape"] in app.keys(), "the last key")
                qt = name == "qt"
                expected = ["Z", "Z", "Z", "Shift", "W", "Space", "Q", "Tab", "Down", "Up", "Esc"] if qt else \
                    ["z", "z", "z", "Shift_L", "W", "space", "q", "Tab", "Down", "Up", "Escape"]
                self.assertEqual(app.keys(), expected)
                self.assertEqual(app.ask("state")["first"], "zzzW q")
            self.assertTrue(self.desktop.popup_hidden())
        self.each_app(scenario)


class KeyboardUnderFaults(CompletionCase):
    """Fast typing, a locked or slow word database and a stopped program, in xterm, with Tab as the
    completion key: no key is lost, reordered or held past the bound, and no key is both
    completed and passed."""
    completion_key = "tab"

    def setUp(self):
        self.app = STATE["apps"]["xterm"]
        self.app.reset()
        self.rng = random.Random(self._testMethodName)

    def type_and_wait(self, keys, last):
        sent = STATE["typist"].type(keys, random_gaps(self.rng, len(keys)))
        try:
            wait_until(lambda: self.app.text().endswith(last), repr(last) + " to arrive")
        except Failed:
            self.fail("xterm holds %r" % self.app.text())
        return key_waits_ms(sent, keys, self.app.arrivals())

    def assert_no_key_waited_long(self, waits, fault):
        print("\n  %s: worst key wait %.1f ms over %d keys" % (fault, max(waits), len(waits)), file=sys.stderr)
        self.assertLess(max(waits), KEY_WAIT_BOUND_MS, "a key waited too long with " + fault)

    def test_bursts_keep_every_byte_in_order(self):
        self.type_bursts(self.app, "Tab", "\t")

    def test_down_before_the_completion_key_in_the_same_burst(self):
        self.type_hel(self.app)
        self.type_and_wait(["Down", "Tab", "x", "y"], "xy")
        wait_until(self.desktop.popup_hidden, "the pop-up to hide")
        down = XTERM_BYTES["Down"].decode()
        # Down swallowed moves to helmet; a key the hook had to let through is passed, never acted on.
        self.assertIn(self.app.text(), {"helmetxy", "hel\txy", "hel" + down + "loxy", "hel" + down + "\txy"})

    def test_locked_database_freezes_no_key(self):
        self.type_hel(self.app)
        lock = sqlite3.connect(self.quenlo.database, isolation_level=None, timeout=0)
        try:
            lock.execute("BEGIN EXCLUSIVE")
            waits = self.type_and_wait(["m", "Tab", "x", "y"], "xy")
            wait_until(self.desktop.popup_hidden, "the pop-up to hide")
        finally:
            lock.close()
        self.assert_no_key_waited_long(waits, "words.mdb locked by another process")
        # The lookup for helm found the database locked: no rows, no pop-up, Tab passed.
        self.assertEqual(self.app.text(), "helm\txy")

    def test_slow_lookup_freezes_no_key(self):
        self.type_hel(self.app)
        database = sqlite3.connect(self.quenlo.database, isolation_level=None)
        # Every lookup from here on counts to a million first.
        database.executescript(
            "ALTER TABLE Words RENAME TO FastWords;"
            "CREATE VIEW Words AS SELECT Text1, Type1 FROM FastWords WHERE (WITH RECURSIVE c(x) AS "
            "(SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 1000000) SELECT count(*) FROM c) > 0;")
        try:
            waits = self.type_and_wait(["m", "Tab", "x", "y"], "xy")
            wait_until(self.desktop.popup_hidden, "the slow lookup to end and Tab to hide the pop-up",
                       timeout=60)
            # Anything Tab pasted comes before a key typed after it.
            self.type_and_wait(["period"], ".")
        finally:
            database.executescript("DROP VIEW Words; ALTER TABLE FastWords RENAME TO Words;")
            database.close()
        self.assert_no_key_waited_long(waits, "a slow lookup")
        self.assertIn(self.app.text(), {"helm\txy.", "helmetxy."})

    def test_stopped_program_completes_only_a_held_tab(self):
        self.type_hel(self.app)
        os.kill(self.quenlo.process.pid, signal.SIGSTOP)
        try:
            STATE["typist"].type(["Tab", "x", "y"], [0, 5, 5])
            # The keys are typed while the program is stopped (the keyboard waits on its grab).
            time.sleep(0.3)
        finally:
            os.kill(self.quenlo.process.pid, signal.SIGCONT)
        wait_until(lambda: self.app.text().endswith("xy"), "the keys typed while stopped")
        wait_until(self.desktop.popup_hidden, "the pop-up to hide")
        self.type_and_wait(["period"], ".")
        self.assertIn(self.app.text(), {"helloxy.", "hel\txy."})


class ShiftCompletion(CompletionCase):
    completion_key = "shift"

    def test_shift_completes_and_is_swallowed(self):
        def scenario(name, app):
            self.type_hel(app)
            self.desktop.key("shift")
            self.wait_text(app, "hello")
            if name != "xterm":
                # The paste brings a Shift of its own when the user's is let go by then; the user's
                # own Shift never arrives.
                shift, insert = app.names["Shift"], app.names["Insert"]
                self.assertIn(app.keys()[3:], ([insert], [shift, insert]))
            self.assertTrue(app.focus_kept())
        self.each_app(scenario)

    def test_bursts_keep_every_character_in_order_in_gtk(self):
        app = STATE["apps"]["gtk"]
        app.reset()
        self.type_bursts(app, "Shift_L", "")

    def test_tab_is_an_ordinary_key(self):
        def scenario(name, app):
            self.type_hel(app)
            self.desktop.key("Tab")
            if name == "xterm":
                self.wait_text(app, "hel\t")
            else:
                wait_until(app.focus_moved_on, "Tab to move the focus to the second field")
            wait_until(self.desktop.popup_hidden, "Tab to end the word and hide the pop-up")
        self.each_app(scenario)


def main():
    global OPTIONS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quenlo", required=True)
    parser.add_argument("--qtfield", required=True)
    parser.add_argument("--repeat", type=int, default=1, help="run the whole suite this many times")
    OPTIONS, rest = parser.parse_known_args()
    missing = [tool for tool in ("Xvfb", "xdotool", "xwininfo", "xterm", "sqlite3") if not shutil.which(tool)]
    if missing:
        print("missing programs: " + ", ".join(missing) + " (install xvfb xdotool x11-utils xterm sqlite3)")
        return 1
    gtk = subprocess.run(["/usr/bin/python3", "-c", "import gi; gi.require_version('Gtk', '3.0'); "
                          "gi.require_version('Gdk', '3.0'); from gi.repository import Gdk, Gtk"],
                         capture_output=True)
    if gtk.returncode != 0:
        print("GTK 3 for /usr/bin/python3 is missing (install python3-gi gir1.2-gtk-3.0)")
        return 1
    failures = 0
    for _ in range(OPTIONS.repeat):
        program = unittest.main(argv=[sys.argv[0], *rest], exit=False, verbosity=2)
        failures += 0 if program.result.wasSuccessful() else 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
