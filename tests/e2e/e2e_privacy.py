#!/usr/bin/python3
"""End to end: the real quenlo on a private Xvfb server never watches a password.

Password fields (GTK and Qt, told through the accessibility bus), a client that grabs the keyboard,
an excluded application, and a scan of everything the program wrote for the password typed.
Reuses the desktop and application helpers of e2e_completion.py; adds a D-Bus session bus, on which
the accessibility bus starts.

Needs, beyond e2e_completion.py's packages: dbus-daemon, at-spi2-core, libglib2.0-bin (gdbus) and
gir1.2-atspi-2.0.

usage: e2e_privacy.py --quenlo PATH --qtfield PATH [--repeat N] [unittest options]
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import e2e_completion as e2e  # noqa: E402
from e2e_completion import Failed, wait_until  # noqa: E402

PASSWORD = "helqzj"  # begins like hello, help and helmet
SECRET_PARTS = [PASSWORD, "qzj"]
# How long a pop-up that should not come is given to come anyway.
QUIET_SECONDS = 0.8

OPTIONS = None
STATE = {}


class SessionBus:
    """A private D-Bus session bus: the accessibility bus is started through it on demand."""

    def __init__(self, env):
        self.process = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                                        env=env, stdout=subprocess.PIPE, text=True)
        self.address = self.process.stdout.readline().strip()
        if not self.address:
            raise Failed("dbus-daemon did not start")

    def close(self):
        self.process.terminate()
        self.process.wait()
        self.process.stdout.close()


def accessibility_enabled(env):
    result = subprocess.run(["gdbus", "call", "--session", "-d", "org.a11y.Bus", "-o", "/org/a11y/bus", "-m",
                             "org.freedesktop.DBus.Properties.Get", "org.a11y.Status", "IsEnabled"],
                            env=env, capture_output=True, text=True, timeout=e2e.WAIT_SECONDS)
    return "true" in result.stdout


class Quenlo:
    """The real program, in a folder of its own beside a temporary words.mdb, with settings that
    exclude the given applications."""

    def __init__(self, desktop, binary, workdir, excluded):
        self.desktop = desktop
        self.folder = os.path.join(workdir, "quenlo")
        entries = ",".join('{\\"id\\":\\"%s\\",\\"name\\":\\"%s\\"}' % (name, name) for name in excluded)
        program = self.program = e2e.install_quenlo(desktop, binary, self.folder, "tab",
                                                    "\n[Privacy]\nExcludedApplications=\"[%s]\"\n" % entries)
        self.settings = os.path.join(desktop.env["XDG_CONFIG_HOME"], "Quenlo")
        # Its own window is driven over the accessibility bus, which Qt joins only when told at start.
        env = dict(desktop.env, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        self.log_path = os.path.join(workdir, "quenlo.log")
        self.process, self.window, self.log = desktop.start([program], self.log_path, env)
        self.height = self.window_height()

    def window_height(self):
        info = self.desktop.run("xwininfo", "-id", str(self.window))
        return int(re.search(r"Height:\s+(\d+)", info).group(1))

    def paused(self):
        """The main window grows by its status line while completion is paused (nothing else is
        shown there in this test)."""
        return self.window_height() > self.height

    def running(self):
        return not self.paused()

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait()
        self.log.close()


def setUpModule():
    workdir = tempfile.mkdtemp(prefix="quenlo-privacy-")
    STATE["workdir"] = workdir
    apps = STATE["apps"] = {}
    try:
        desktop = STATE["desktop"] = e2e.Desktop(workdir)
        bus = STATE["bus"] = SessionBus(desktop.env)
        desktop.env["DBUS_SESSION_BUS_ADDRESS"] = bus.address
        desktop.env.pop("NO_AT_BRIDGE", None)
        STATE["quenlo"] = Quenlo(desktop, OPTIONS.quenlo, workdir, ["gtkfield.py"])
        # Qt applications look at the desktop's accessibility switch when they start; quenlo turns it on.
        wait_until(lambda: accessibility_enabled(desktop.env), "quenlo to switch assistive technologies on")
        python = "/usr/bin/python3"
        grabber = subprocess.Popen([python, os.path.join(HERE, "keyboardgrabber.py"), "e2e-grabber"],
                                   env=desktop.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        STATE["grabber"] = grabber
        wait_until(lambda: desktop.windows("--onlyvisible", "--name", "^e2e-grabber$"), "the grabbing client")
        apps["gtk"] = e2e.FieldApp(desktop, [python, os.path.join(HERE, "gtkfield.py"), "--password-first"],
                                   "e2e-gtk-password", e2e.GTK_NAMES)
        apps["qt"] = e2e.FieldApp(desktop, [OPTIONS.qtfield, "--password-first"], "e2e-qt-password", e2e.QT_NAMES)
        STATE["excluded"] = e2e.FieldApp(desktop, [python, os.path.join(HERE, "gtkfield.py")], "e2e-gtk-excluded",
                                         e2e.GTK_NAMES)
    except BaseException:
        tearDownModule()
        raise


def tearDownModule():
    apps = list(STATE.get("apps", {}).values())
    if "excluded" in STATE:
        apps.append(STATE["excluded"])
    for app in apps:
        app.close()
    if "grabber" in STATE:
        STATE["grabber"].stdin.close()
        STATE["grabber"].wait()
        STATE["grabber"].stdout.close()
    if "quenlo" in STATE:
        STATE["quenlo"].close()
    for name in ("bus", "desktop"):
        if name in STATE:
            STATE[name].close()
    shutil.rmtree(STATE["workdir"], ignore_errors=True)


class Privacy(unittest.TestCase):
    def setUp(self):
        self.desktop = STATE["desktop"]
        self.quenlo = STATE["quenlo"]

    def stays_hidden(self, what):
        deadline = time.monotonic() + QUIET_SECONDS
        while time.monotonic() < deadline:
            self.assertTrue(self.desktop.popup_hidden(), what)
            time.sleep(0.05)

    def type(self, app, text):
        self.desktop.key(*text)
        last = text[-1].upper() if app.names is e2e.QT_NAMES else text[-1]
        wait_until(lambda: app.keys() and app.keys()[-1] == last, "the last letter to reach the application")

    def completes_in_ordinary_field(self, app):
        app.ask("second")
        wait_until(self.quenlo.running, "completion to resume in the ordinary field")
        self.desktop.key("h", "e", "l")
        wait_until(self.desktop.popup_shown, "the pop-up in the ordinary field")
        self.desktop.key("Tab")
        wait_until(lambda: app.ask("state")["second"].endswith("hello"), "hello in the ordinary field")

    def in_password_field(self, app):
        app.reset()
        wait_until(lambda: app.ask("state")["focus"] == "first", "the focus in the password field")
        wait_until(self.quenlo.paused, "completion to pause in the password field")

    def test_password_field_shows_nothing_and_passes_tab(self):
        for name, app in STATE["apps"].items():
            with self.subTest(app=name):
                self.in_password_field(app)
                self.type(app, PASSWORD)
                self.stays_hidden("no pop-up while a password is typed")
                self.desktop.key("Tab")
                wait_until(app.focus_moved_on, "Tab to reach the application and move the focus")
                self.assertIn(app.names["Tab"], app.keys())
                self.assertEqual(app.ask("state")["first"], PASSWORD)
                self.assertTrue(self.desktop.popup_hidden())

    def test_password_letters_are_not_kept_for_the_next_field(self):
        for name, app in STATE["apps"].items():
            with self.subTest(app=name):
                self.in_password_field(app)
                self.type(app, "hel")
                # Moved by the application, not by a key: nothing ends the word but the pause.
                app.ask("second")
                wait_until(self.quenlo.running, "completion to resume in the ordinary field")
                self.type(app, "p")
                self.stays_hidden("hel from the password field must not make help")
                self.desktop.key("Return")
                self.completes_in_ordinary_field(app)

    def test_held_keyboard_pauses_until_released(self):
        app = STATE["apps"]["qt"]
        app.reset()
        app.ask("second")
        wait_until(self.quenlo.running, "completion in the ordinary field")
        grabber = STATE["grabber"]
        grabber.stdin.write("grab\n")
        grabber.stdin.flush()
        self.assertEqual(grabber.stdout.readline().strip(), "grabbed")
        try:
            wait_until(self.quenlo.paused, "completion to pause while another client holds the keyboard")
            self.desktop.key("h", "e", "l")
            self.stays_hidden("no pop-up while the keyboard is held")
        finally:
            grabber.stdin.write("ungrab\n")
            grabber.stdin.flush()
            self.assertEqual(grabber.stdout.readline().strip(), "ungrabbed")
        wait_until(self.quenlo.running, "completion to resume when the keyboard is let go")
        self.desktop.key("Return")
        self.completes_in_ordinary_field(app)

    def test_excluded_application_until_removed(self):
        app = STATE["excluded"]
        app.reset()
        wait_until(self.quenlo.paused, "completion to pause in the excluded application")
        self.type(app, "hel")
        self.stays_hidden("no pop-up in an excluded application")
        remove_exclusions(self.desktop, self.quenlo)
        app.reset()
        wait_until(self.quenlo.running, "completion to resume once the application is no longer excluded")
        self.desktop.key("h", "e", "l")
        wait_until(self.desktop.popup_shown, "the pop-up in the application no longer excluded")
        self.desktop.key("Tab")
        wait_until(lambda: app.text() == "hello", "hello in the application no longer excluded")

    def test_z_nothing_written_holds_the_password(self):
        # After the other tests (unittest runs them by name): the program ends, flushing what it keeps.
        self.quenlo.close()
        scanned = []
        for top in (self.quenlo.folder, self.quenlo.settings, os.path.join(STATE["workdir"], ".cache"),
                    os.path.join(STATE["workdir"], "runtime"), self.quenlo.log_path):
            paths = [top] if os.path.isfile(top) else [os.path.join(folder, name) for folder, _, names in
                                                       os.walk(top) for name in names]
            for path in paths:
                # The program's own copy is not written by it (a debug build may hold any letters).
                if not os.path.isfile(path) or os.path.islink(path) or path == self.quenlo.program:
                    continue
                with open(path, "rb") as data:
                    content = data.read().lower()
                scanned.append(path)
                for part in SECRET_PARTS:
                    self.assertFalse(part.encode() in content, "%s holds the password" % path)
        self.assertTrue(any(path.endswith("words.mdb") for path in scanned))
        self.assertTrue(any(path.endswith("Quenlo.conf") for path in scanned))


def remove_exclusions(desktop, quenlo):
    """Options > Excluded Applications…, Remove, OK: through the accessibility bus, as a user of
    assistive technologies would."""
    script = os.path.join(HERE, "e2e_privacy_dialog.py")
    subprocess.run(["/usr/bin/python3", script, str(quenlo.process.pid)], env=desktop.env, check=True,
                   timeout=60)


def main():
    global OPTIONS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quenlo", required=True)
    parser.add_argument("--qtfield", required=True)
    parser.add_argument("--repeat", type=int, default=1, help="run the whole suite this many times")
    OPTIONS, rest = parser.parse_known_args()
    missing = [tool for tool in ("Xvfb", "xdotool", "xwininfo", "sqlite3", "dbus-daemon", "gdbus")
               if not shutil.which(tool)]
    if missing:
        print("missing programs: " + ", ".join(missing))
        return 1
    failures = 0
    for _ in range(OPTIONS.repeat):
        program = unittest.main(argv=[sys.argv[0], *rest], exit=False, verbosity=2)
        failures += 0 if program.result.wasSuccessful() else 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
