"""What the end-to-end suites share: a desktop that starts, logs and stops its programs (here a private
Xvfb server and the X tools that look at it), the real quenlo beside a temporary words.mdb, text fields
that report what reached them, xterm, IBus, and the runner that starts a suite. Needs xvfb, xdotool,
x11-utils, xterm, sqlite3, python3-gi and gir1.2-gtk-3.0.
"""
import argparse
import contextlib
import json
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
# "hel" offers hello, helmet, help in that order; "zeb" zebra, zebu.
WORDS = ["hello", "help", "helmet", "world", "wonder", "zebra", "zebu", "zealot", "quorum"]
WAIT_SECONDS = 15
OPTIONS = argparse.Namespace()  # the suite's command line, filled in by main()
# Asked of IBus: without arguments whether it answers; with an engine's name whether it took it as the global
# engine (the ibus command line refuses engines registered at run time, the library does not); with --context
# the input context that has the focus, empty when none has.
IBUS_QUERY = """
import sys
import gi
gi.require_version("IBus", "1.0")
from gi.repository import IBus
bus = IBus.Bus()
if sys.argv[1:] == ["--context"]:
    print(bus.current_input_context() or "")
elif not bus.is_connected() or len(sys.argv) > 1 and not bus.set_global_engine(sys.argv[1]):
    sys.exit(1)
"""


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


def as_user(uid, command):
    return ["setpriv", "--reuid=%d" % uid, "--regid=%d" % uid, "--clear-groups", "--"] + command


def stop(process):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


@contextlib.contextmanager
def stopped(process):
    """process stopped (SIGSTOP), doing nothing, for the time of the block."""
    os.kill(process.pid, signal.SIGSTOP)
    try:
        yield
    finally:
        os.kill(process.pid, signal.SIGCONT)


def read_line(process, what, timeout=WAIT_SECONDS):
    """The next line process writes, without its end; fails when none comes in time."""
    if not select.select([process.stdout], [], [], timeout)[0]:
        raise Failed(what + " did not answer")
    return process.stdout.readline().rstrip("\n")


def read_text(path):
    try:
        with open(path) as text:
            return text.read()
    except FileNotFoundError:
        return ""


class Screen:
    """A desktop: what it runs, as its user (uid, when not this process's) in its work folder, all stopped
    with it; what it tells of the pop-up, and how it types (press)."""
    name = ""
    uid = None

    def __init__(self, workdir, env):
        self.workdir = workdir
        self.env = env
        self.processes = []

    def user_command(self, command):
        return command if self.uid is None else as_user(self.uid, command)

    def own(self, path):
        """Gives path and all below it to the desktop's user."""
        if self.uid is not None:
            for folder, _, files in os.walk(path):
                for name in [folder] + [os.path.join(folder, file) for file in files]:
                    os.chown(name, self.uid, self.uid)

    def launch(self, command, name, env=None, as_user=True, **options):
        """Starts command, its output in name.log unless options take it; stopped when the desktop closes."""
        log = open(os.path.join(self.workdir, name + ".log"), "a")
        process = subprocess.Popen(self.user_command(command) if as_user else command, env=env or self.env,
                                   **dict({"stdout": log, "stderr": log}, **options))
        self.processes.append((process, log))
        return process

    def close(self):
        for process, log in reversed(self.processes):
            stop(process)
            log.close()

    def key(self, *keys):
        self.press(keys, 30)

    def popup(self):
        """(mapped, x, y) of the suggestion pop-up, or None before it exists."""
        info = subprocess.run(self.user_command(["xwininfo", "-name", "Form2"]), env=self.env, capture_output=True,
                              text=True, timeout=WAIT_SECONDS)
        if info.returncode != 0:
            return None
        found = [int(re.search(r"Absolute upper-left %s:\s+(-?\d+)" % axis, info.stdout).group(1)) for axis in "XY"]
        return "Map State: IsViewable" in info.stdout, found[0], found[1]

    def popup_shown(self):
        state = self.popup()
        return state is not None and state[0]

    def popup_hidden(self):
        return not self.popup_shown()

    def reachable(self, path):
        """Where the desktop's user runs the helper program at path from."""
        return path

    def toolkit_env(self, toolkit):
        """The environment of a field of toolkit ("gtk" or "qt")."""
        return self.env

    def settle(self):
        """Waits, after a field took the focus, for what must follow before keys count there."""

    def start_ibus(self):
        """A private ibus-daemon, without the parts a test needs not (panel, emoji, settings)."""
        self.env["IBUS_ADDRESS"] = "unix:path=" + os.path.join(self.workdir, "ibus-socket")
        self.launch(["ibus-daemon", "--single", "--panel=disable", "--emoji-extension=disable", "--config=disable",
                     "--address=" + self.env["IBUS_ADDRESS"]], "ibus")

    def ask_ibus(self, *arguments):
        return subprocess.run(self.user_command(["/usr/bin/python3", "-c", IBUS_QUERY, *arguments]), env=self.env,
                              capture_output=True, text=True, timeout=WAIT_SECONDS)

    def select_engine(self):
        wait_until(lambda: self.ask_ibus("quenlo").returncode == 0, "IBus to take the quenlo engine")


class Desktop(Screen):
    """A private Xvfb server, the environment of the programs on it, and the X tools that look at it."""
    name = "x11"

    def __init__(self, workdir, env=None, uid=None):
        if env is None:
            runtime = os.path.join(workdir, "runtime")
            os.makedirs(runtime, mode=0o700)
            env = {name: value for name, value in os.environ.items()
                   if name not in ("WAYLAND_DISPLAY", "XAUTHORITY", "SESSION_MANAGER", "DBUS_SESSION_BUS_ADDRESS")}
            env.update({"HOME": workdir, "XDG_CONFIG_HOME": os.path.join(workdir, "config"),
                        "XDG_RUNTIME_DIR": runtime, "QT_QPA_PLATFORM": "xcb", "NO_AT_BRIDGE": "1",
                        "GSETTINGS_BACKEND": "memory", "LC_ALL": "C.UTF-8"})
        super().__init__(workdir, env)
        self.uid = uid
        self.server_log = os.path.join(workdir, "xvfb.log")
        # On a free display number; -noreset: a server resets when its last client leaves, and refuses the
        # next one meanwhile.
        read_end, write_end = os.pipe()
        self.server = self.launch(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x800x24", "-nolisten",
                                   "tcp", "-noreset"], "xvfb", as_user=False, pass_fds=[write_end])
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            self.close()
            raise Failed("Xvfb did not start:\n" + read_text(self.server_log)[-2000:])
        self.env["DISPLAY"] = ":" + number

    def run(self, *command):
        return subprocess.run(command, env=self.env, check=True, capture_output=True, text=True,
                              timeout=WAIT_SECONDS).stdout

    def press(self, keys, gap_ms):
        """Taps each key (an X keysym name; a capital letter with Shift), gap_ms apart."""
        self.run("xdotool", "key", "--delay", str(gap_ms),
                 *["shift+" + key.lower() if len(key) == 1 and key.isupper() else key for key in keys])

    def start_quenlo(self, completion_key, name, words):
        return Quenlo(self, name, completion_key, words=words)

    def windows(self, *query):
        result = subprocess.run(["xdotool", "search", *query], env=self.env, capture_output=True, text=True,
                                timeout=WAIT_SECONDS)
        return [int(line) for line in result.stdout.split()]

    def start(self, command, title=None, log=None, env=None, **options):
        """Starts a program and waits for its visible window: the one titled title, or else any of its
        pid. Its output goes to log.log in the work folder unless options take it. One that ends, or
        shows nothing in time, is started once more (a busy machine has been seen to lose one); the
        second failure reports its output and the server's. Returns the process and its window."""
        name = log or title or os.path.basename(command[0])
        query = ["--name", "^" + re.escape(title) + "$"] if title else None
        for attempt in (1, 2):
            process = self.launch(command, name, env, **options)

            def window():
                return process.poll() is not None or self.windows(
                    "--onlyvisible", *(query or ["--pid", str(process.pid)]))

            try:
                found = wait_until(window, "a window of " + name)
            except Failed:
                found = True
            if found is not True:
                return process, found[0]
            stop(process)
        raise Failed("%s showed no window (exit %s):\n%s\nXvfb (%s):\n%s" % (
            name, process.returncode, read_text(os.path.join(self.workdir, name + ".log"))[-4000:],
            "running" if self.server.poll() is None else "ended", read_text(self.server_log)[-2000:]))

    def focus(self, window):
        self.run("xdotool", "windowfocus", "--sync", str(window))

    def focused(self):
        return int(self.run("xdotool", "getwindowfocus", "-f").strip())

    def has_focus(self, app):
        return self.focused() == app.window


def install_quenlo(folder, config_home, completion_key="tab", more_settings="", words=WORDS):
    """Copies the real program into folder beside a temporary words.mdb of words, and writes its
    settings under config_home: default and custom words offered, completion with completion_key ("tab" or
    "shift"; "tab+digits" picks rows with the number keys too), and more_settings. Returns the program's
    path."""
    os.makedirs(folder)
    program = os.path.join(folder, "quenlo")
    shutil.copy(OPTIONS.quenlo, program)
    rows = ",".join("('%s', NULL)" % word for word in words)
    subprocess.run(["sqlite3", os.path.join(folder, "words.mdb")], check=True, encoding="utf-8", input=(
        "CREATE TABLE Words (Text1 TEXT COLLATE NOCASE, Type1 TEXT); INSERT INTO Words VALUES %s;" % rows))
    settings = os.path.join(config_home, "Quenlo")
    os.makedirs(settings, exist_ok=True)
    shift = completion_key == "shift"
    if completion_key.endswith("+digits"):
        # Into the one Options section, which more_settings may open.
        options = "[Options]\nPickWithNumberKeys=1\n"
        more_settings = options + more_settings.replace("[Options]\n", "", 1)
    with open(os.path.join(settings, "Quenlo.conf"), "w") as conf:
        conf.write("[Type]\nC5=1\nC4=1\nOpt1=%s\nOpt2=%s\n%s" % (shift, not shift, more_settings))
    return program


class Quenlo:
    """The real program, installed by install_quenlo into a folder of its own and started."""

    def __init__(self, desktop, name, completion_key="tab", more_settings="", words=WORDS, env=None):
        self.desktop = desktop
        self.folder = os.path.join(desktop.workdir, "quenlo-" + name)
        self.settings = os.path.join(desktop.env["XDG_CONFIG_HOME"], "Quenlo")
        self.program = install_quenlo(self.folder, desktop.env["XDG_CONFIG_HOME"], completion_key, more_settings,
                                      words)
        desktop.own(desktop.workdir)
        self.database = os.path.join(self.folder, "words.mdb")
        self.log_path = os.path.join(desktop.workdir, "quenlo-%s.log" % name)
        # The hook is started before the main window is shown.
        self.process, self.window = desktop.start([self.program], log="quenlo-" + name, env=env)

    def close(self):
        stop(self.process)


class FieldApp:
    """A GTK (gtkfield.py, or a copy of it at program) or Qt (qtfield) window with two text fields and a
    password field, asked on its stdin; names are what it calls the keys that reach it."""

    def __init__(self, desktop, toolkit, title, program=None):
        self.desktop = desktop
        self.names = GTK_NAMES if toolkit == "gtk" else QT_NAMES
        command = ["/usr/bin/python3", program or desktop.reachable(os.path.join(HERE, "gtkfield.py"))] \
            if toolkit == "gtk" else [desktop.reachable(OPTIONS.qtfield)]
        self.process, self.window = desktop.start(command + [title], title, env=desktop.toolkit_env(toolkit),
                                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)

    def ask(self, command):
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()
        return json.loads(read_line(self.process, "the text field application"))

    def reset(self):
        self.desktop.focus(self.window)
        # Return ends the word being typed without changing a text field.
        self.desktop.key("Return")
        wait_until(lambda: self.names["Return"] in self.keys(), "Return to reach the field")
        wait_until(self.desktop.popup_hidden, "the pop-up to hide")
        self.ask("clear")
        self.desktop.settle()

    def text(self):
        state = self.ask("state")
        return state["first"] + state["second"]

    def keys(self):
        return self.ask("state")["keys"]

    def focus_kept(self):
        return self.ask("state")["focus"] == "first"


QT_NAMES = {"Return": "Return", "Tab": "Tab", "Down": "Down", "Escape": "Esc"}
GTK_NAMES = {key: key for key in QT_NAMES}


class XtermApp:
    """xterm, as it comes, running a recorder in raw mode: every byte the terminal sends lands in a
    file. Its Shift+Insert pastes the primary selection, which the completion fills as well. As a
    field, it holds what it printed and was sent the other keys."""

    KEYS = {"\t": "Tab", "\x1b[B": "Down", "\x1b[A": "Up", "\x1b": "Escape", "\r": "Return"}
    names = {name: name for name in KEYS.values()}

    def __init__(self, desktop, title):
        self.desktop = desktop
        self.path = os.path.join(desktop.workdir, title + ".out")
        self.process, self.window = desktop.start(
            ["xterm", "-T", title, "-geometry", "60x8+300+500", "-e", "/usr/bin/python3",
             os.path.join(HERE, "ttyrecord.py"), self.path], title, stdout=subprocess.DEVNULL)
        wait_until(lambda: os.path.exists(self.path), "the recorder to start inside xterm")
        self.mark = 0

    def reset(self):
        self.desktop.focus(self.window)
        self.desktop.key("Return")
        wait_until(lambda: self.bytes().endswith("\r"), "Return to reach xterm")
        wait_until(self.desktop.popup_hidden, "the pop-up to hide")
        self.mark += len(self.bytes())

    def bytes(self):
        """What the terminal sent since the last reset."""
        with open(self.path, "rb") as output:
            output.seek(self.mark)
            return output.read().decode("latin-1")

    def split(self):
        """What it printed, and the names of the keys that print nothing."""
        parts = re.split(r"(\x1b\[[AB]|[\x00-\x1f])", self.bytes())
        return "".join(parts[::2]), [self.KEYS.get(part, part) for part in parts[1::2]]

    def text(self):
        return self.split()[0].encode("latin-1").decode("utf-8", "replace")

    def keys(self):
        return self.split()[1]

    def focus_kept(self):
        return self.desktop.focused() == self.window


class QuenloCase(unittest.TestCase):
    """Tests against one quenlo per class, completing with completion_key, in the suite's apps, which
    its setUpModule puts here with its desktop."""
    completion_key = "tab"
    words = WORDS
    desktop = None
    apps = {}

    @classmethod
    def setUpClass(cls):
        cls.quenlo = cls.desktop.start_quenlo(cls.completion_key, cls.__name__, cls.words)
        cls.addClassCleanup(cls.quenlo.close)

    def each_app(self, scenario):
        for name, app in self.apps.items():
            with self.subTest(app=name):
                app.reset()
                scenario(name, app)

    def wait_for(self, condition, failure):
        """Waits until condition holds; else fails the test with what failure() says."""
        try:
            wait_until(condition, "")
        except Failed:
            self.fail(failure())

    def wait_text(self, app, text):
        self.wait_for(lambda: app.text() == text, lambda: "the application holds %r, not %r" % (app.text(), text))


def kept(part):
    """part, closed when the suite's tests are over, however far its set-up got."""
    unittest.addModuleCleanup(part.close)
    return part


def start_desktop(prefix, kind=None):
    """A desktop (a Desktop, or of kind) in a temporary folder, both gone when the suite's tests are over."""
    workdir = tempfile.mkdtemp(prefix=prefix)
    unittest.addModuleCleanup(shutil.rmtree, workdir, ignore_errors=True)
    return kept((kind or Desktop)(workdir))


def main(description, programs, qtfield=True):
    """Runs the tests of the __main__ module once the programs they need are there."""
    parser = argparse.ArgumentParser(description=description.splitlines()[0])
    parser.add_argument("--quenlo", required=True)
    if qtfield:
        parser.add_argument("--qtfield", required=True)
    options, rest = parser.parse_known_args()
    vars(OPTIONS).update(vars(options))
    missing = [program for program in ("Xvfb", "xdotool", "xwininfo", "sqlite3", *programs)
               if not shutil.which(program)]
    if missing:
        print("missing programs: " + ", ".join(missing))
        return 1
    program = unittest.main(module="__main__", argv=[sys.argv[0], *rest], exit=False, verbosity=2)
    return 0 if program.result.wasSuccessful() else 1
