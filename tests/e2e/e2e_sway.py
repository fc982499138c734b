#!/usr/bin/python3
"""End to end on a Wayland desktop: a headless sway run as an unprivileged user, with the real quenlo
started as on a Wayland session (it picks the IBus route by itself and shows its pop-up through
Xwayland) as the engine of a private ibus-daemon. It completes words in native Wayland GTK and Qt
fields; the keys come from wtype through the compositor's virtual keyboard.

Needs: sway, wtype, xwayland, qt6-wayland, ibus, ibus-gtk3, dbus-daemon, sqlite3, x11-utils. Run as root it
runs everything as nobody (setpriv, from util-linux); otherwise as the user who runs it.

usage: e2e_sway.py --quenlo PATH --qtfield PATH [--repeat N] [unittest options]
"""
import glob
import json
import os
import pwd
import shutil
import subprocess
import sys
import tempfile
import unittest

from desktop import OPTIONS, WAIT_SECONDS, Failed, as_user, install_quenlo, kept, main, stop, wait_until

HERE = os.path.dirname(os.path.abspath(__file__))
# A virtual keyboard that types at once after it is made loses its first key while the compositor
# takes its key map.
KEYMAP_SETTLE_MS = "300"
WORDS = ["zebra", "zebu", "zealot", "hello"]  # "zeb" offers zebra, zebu in that order

SELECT_ENGINE = """
import sys
import gi
gi.require_version("IBus", "1.0")
from gi.repository import IBus
bus = IBus.Bus()
sys.exit(0 if bus.is_connected() and bus.set_global_engine("quenlo") else 1)
"""


def read_text(path):
    try:
        with open(path) as text:
            return text.read()
    except FileNotFoundError:
        return ""


class Sway:
    """A headless sway with Xwayland, its session bus and ibus-daemon, all as one unprivileged user."""

    def __init__(self, workdir):
        self.workdir = workdir
        # ibus-daemon runs only as a user with an account.
        self.uid = pwd.getpwnam("nobody").pw_uid if os.geteuid() == 0 else None
        runtime = os.path.join(workdir, "runtime")
        os.makedirs(runtime, mode=0o700)
        if self.uid is not None:
            for folder in (workdir, runtime):
                os.chown(folder, self.uid, self.uid)
        self.processes = []
        self.env = {
            "PATH": "/usr/bin:/bin", "HOME": workdir, "XDG_RUNTIME_DIR": runtime, "LC_ALL": "C.UTF-8",
            "XDG_CONFIG_HOME": os.path.join(workdir, "config"), "XDG_DATA_HOME": os.path.join(workdir, "data"),
            "WLR_BACKENDS": "headless", "WLR_LIBINPUT_NO_DEVICES": "1", "WLR_RENDERER": "pixman",
        }
        try:
            self.start_session(runtime)
        except BaseException:
            self.close()
            raise

    def start_session(self, runtime):
        config = os.path.join(self.workdir, "sway.conf")
        with open(config, "w") as text:
            text.write("xwayland enable\noutput HEADLESS-1 resolution 1280x800\n")
        self.start(["sway", "-c", config], "sway")
        sockets = lambda: [path for path in glob.glob(os.path.join(runtime, "wayland-*")) if "." not in path]
        self.env["WAYLAND_DISPLAY"] = os.path.basename(wait_until(sockets, "sway's Wayland socket")[0])
        self.env["SWAYSOCK"] = wait_until(lambda: glob.glob(os.path.join(runtime, "sway-ipc.*.sock")),
                                          "sway's command socket")[0]
        # A seat without a keyboard gains one for each wtype and loses it again, and clients then take
        # their windows for inactive; one that waits a day before typing stands for the real keyboard.
        self.start(["wtype", "-s", "86400000"], "keyboard")
        # Xwayland's display is known to sway alone: a command it starts writes it down.
        display_file = os.path.join(self.workdir, "display")
        self.run("swaymsg", "exec", "echo $DISPLAY > " + display_file)
        self.env["DISPLAY"] = wait_until(lambda: read_text(display_file).strip(), "Xwayland's display")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + os.path.join(self.workdir, "bus")
        self.start(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                    "--address=" + self.env["DBUS_SESSION_BUS_ADDRESS"]], "dbus")
        self.env["IBUS_ADDRESS"] = "unix:path=" + os.path.join(self.workdir, "ibus")
        self.start(["ibus-daemon", "--single", "--panel=disable", "--emoji-extension=disable", "--config=disable",
                    "--address=" + self.env["IBUS_ADDRESS"]], "ibus")

    def user_command(self, command):
        if self.uid is None:
            return command
        return as_user(self.uid, command)

    def start(self, command, name, env=None, **options):
        log = open(os.path.join(self.workdir, name + ".log"), "a")
        options.setdefault("stdout", log)
        process = subprocess.Popen(self.user_command(command), env=env or self.env, stderr=log, **options)
        self.processes.append((process, log))
        return process

    def run(self, *command):
        return subprocess.run(self.user_command(list(command)), env=self.env, capture_output=True, text=True,
                              timeout=WAIT_SECONDS)

    def close(self):
        for process, log in reversed(self.processes):
            stop(process)
            log.close()

    def type(self, *arguments):
        """wtype's arguments: text, or -k KEY for one key."""
        if self.run("wtype", "-s", KEYMAP_SETTLE_MS, *arguments).returncode != 0:
            raise Failed("wtype %s failed" % " ".join(arguments))

    def window(self, pid):
        """sway's record of the window of that process, if it has one."""
        nodes = [json.loads(self.run("swaymsg", "-r", "-t", "get_tree").stdout)]
        while nodes:
            node = nodes.pop()
            if node.get("pid") == pid:
                return node
            nodes += node.get("nodes", []) + node.get("floating_nodes", [])
        return None

    def popup_shown(self):
        return "IsViewable" in self.run("xwininfo", "-name", "Form2").stdout

    def own(self, path):
        if self.uid is not None:
            for folder, _, files in os.walk(path):
                for name in [folder] + [os.path.join(folder, file) for file in files]:
                    os.chown(name, self.uid, self.uid)


class Field:
    """A native Wayland client with text fields that answers 'state', 'clear' and 'password' on its stdin
    (gtkfield.py, qtfield), using the IBus input-method module."""

    def __init__(self, sway, name, command, env):
        self.sway = sway
        self.process = sway.start(command + ["--password", "e2e-sway-" + name], name, env=dict(sway.env, **env),
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        wait_until(lambda: self.ask("state")["focus"] == "first", "the %s field to have the focus" % name)
        # Through Xwayland it would prove nothing the X11 tests do not.
        window = wait_until(lambda: sway.window(self.process.pid), "the %s field's window" % name)
        if window.get("shell") != "xdg_shell":
            raise Failed("the %s field is no native Wayland window: %r" % (name, window))

    def ask(self, command):
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()
        line = self.process.stdout.readline()
        if not line:
            raise Failed("the text field application ended")
        return json.loads(line)

    def reset(self):
        """Gives the window the focus, ends the word before with Return, and empties the fields."""
        if self.sway.run("swaymsg", "[pid=%d] focus" % self.process.pid).returncode != 0:
            raise Failed("sway did not focus the field's window")
        self.sway.type("-k", "Return")
        wait_until(lambda: "Return" in self.ask("state")["keys"], "Return to reach the field")
        wait_until(lambda: not self.sway.popup_shown(), "the pop-up to hide")
        self.ask("clear")


def setUpModule():
    workdir = tempfile.mkdtemp(prefix="quenlo-e2e-sway-")
    unittest.addModuleCleanup(shutil.rmtree, workdir, ignore_errors=True)
    os.chmod(workdir, 0o755)
    sway = STATE["sway"] = kept(Sway(workdir))
    # Nothing chooses the route: on a Wayland session the program takes IBus by itself.
    folder = os.path.join(workdir, "quenlo")
    program = install_quenlo(folder, sway.env["XDG_CONFIG_HOME"], words=WORDS)
    # The unprivileged user may not reach the build's folders: all it runs is copied.
    for helper in (OPTIONS.qtfield, os.path.join(HERE, "gtkfield.py")):
        shutil.copy(helper, folder)
    sway.own(workdir)
    sway.start([program], "quenlo")
    wait_until(lambda: sway.run("/usr/bin/python3", "-c", SELECT_ENGINE).returncode == 0,
               "IBus to take the quenlo engine")
    STATE["apps"] = {
        "gtk": Field(sway, "gtk", ["/usr/bin/python3", os.path.join(folder, "gtkfield.py")],
                     {"GDK_BACKEND": "wayland", "GTK_IM_MODULE": "ibus"}),
        "qt": Field(sway, "qt", [os.path.join(folder, os.path.basename(OPTIONS.qtfield))],
                    {"QT_QPA_PLATFORM": "wayland", "QT_IM_MODULE": "ibus"}),
    }


STATE = {}


class WaylandCompletion(unittest.TestCase):
    def each_app(self, scenario):
        for name, app in STATE["apps"].items():
            with self.subTest(app=name):
                app.reset()
                scenario(app)

    def type_zeb(self, app):
        STATE["sway"].type("zeb")
        self.wait_state(app, lambda state: state["first"] == "zeb", "zeb in the field")
        wait_until(STATE["sway"].popup_shown, "the pop-up over Xwayland")

    def wait_state(self, app, wanted, what):
        try:
            return wait_until(lambda: (lambda state: state if wanted(state) else None)(app.ask("state")), what)
        except Failed:
            self.fail("no %s; the field shows %r" % (what, app.ask("state")))

    def test_tab_commits_the_rest_and_is_swallowed(self):
        def scenario(app):
            self.type_zeb(app)
            STATE["sway"].type("-k", "Tab")
            state = self.wait_state(app, lambda state: state["first"] == "zebra", "zebra")
            self.assertNotIn("Tab", state["keys"])
            self.assertEqual(state["focus"], "first")
        self.each_app(scenario)

    def test_down_then_tab_commits_the_second_word(self):
        def scenario(app):
            self.type_zeb(app)
            STATE["sway"].type("-k", "Down", "-k", "Tab")
            self.wait_state(app, lambda state: state["first"] == "zebu", "zebu")
        self.each_app(scenario)

    def test_escape_hides_the_popup(self):
        def scenario(app):
            self.type_zeb(app)
            STATE["sway"].type("-k", "Escape")
            wait_until(lambda: not STATE["sway"].popup_shown(), "the pop-up to hide on Esc")
            self.assertEqual(app.ask("state")["first"], "zeb")
        self.each_app(scenario)

    def test_password_field_gets_nothing(self):
        def scenario(app):
            app.ask("password")
            STATE["sway"].type("zeb")
            self.wait_state(app, lambda state: state["password"] == "zeb", "zeb in the password field")
            self.assertFalse(STATE["sway"].popup_shown())
            # Tab is no completion key there: it reaches the field.
            STATE["sway"].type("-k", "Tab")
            state = self.wait_state(app, lambda state: "Tab" in state["keys"], "Tab in the field")
            self.assertEqual(state["password"], "zeb")
        self.each_app(scenario)


if __name__ == "__main__":
    sys.exit(main(__doc__, ["sway", "wtype", "Xwayland", "ibus-daemon", "dbus-daemon", "setpriv"]))
