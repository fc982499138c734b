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
import shutil
import sys
import tempfile
import unittest

from desktop import (GTK_NAMES, OPTIONS, QT_NAMES, Failed, QuenloCase, UserSession, WaylandField, install_quenlo,
                     kept, main, read_text, wait_until)

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


class Sway(UserSession):
    """A headless sway with Xwayland, its session bus and ibus-daemon, all as one unprivileged user."""

    def __init__(self, workdir):
        super().__init__(workdir, {"WLR_BACKENDS": "headless", "WLR_LIBINPUT_NO_DEVICES": "1",
                                   "WLR_RENDERER": "pixman"})
        self.open()

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

    def wtype(self, *arguments):
        if self.run("wtype", "-s", KEYMAP_SETTLE_MS, *arguments).returncode != 0:
            raise Failed("wtype %s failed" % " ".join(arguments))

    def type(self, text):
        self.wtype(text)

    def key(self, *keys):
        self.wtype(*[argument for key in keys for argument in ("-k", key)])

    def focus(self, pid):
        if self.run("swaymsg", "[pid=%d] focus" % pid).returncode != 0:
            raise Failed("sway did not focus the window of process %d" % pid)

    def native_window(self, pid):
        """Whether the window of that process is a native Wayland one, and sway's record of it; None
        before it has one."""
        nodes = [json.loads(self.run("swaymsg", "-r", "-t", "get_tree").stdout)]
        while nodes:
            node = nodes.pop()
            if node.get("pid") == pid:
                return node.get("shell") == "xdg_shell", node
            nodes += node.get("nodes", []) + node.get("floating_nodes", [])
        return None


def setUpModule():
    workdir = tempfile.mkdtemp(prefix="quenlo-e2e-sway-")
    unittest.addModuleCleanup(shutil.rmtree, workdir, ignore_errors=True)
    os.chmod(workdir, 0o755)
    sway = WaylandCompletion.desktop = kept(Sway(workdir))
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
    WaylandCompletion.apps = {
        "gtk": WaylandField(sway, "gtk", ["/usr/bin/python3", os.path.join(folder, "gtkfield.py")],
                            {"GDK_BACKEND": "wayland", "GTK_IM_MODULE": "ibus"}, GTK_NAMES),
        "qt": WaylandField(sway, "qt", [os.path.join(folder, os.path.basename(OPTIONS.qtfield))],
                           {"QT_QPA_PLATFORM": "wayland", "QT_IM_MODULE": "ibus"}, QT_NAMES),
    }


class WaylandCompletion(QuenloCase):
    @classmethod
    def setUpClass(cls):
        pass  # quenlo comes with the session: on Wayland it must choose its route by itself

    def type_zeb(self, app):
        self.desktop.type("zeb")
        self.wait_text(app, "zeb")
        wait_until(self.desktop.popup_shown, "the pop-up over Xwayland")

    def test_tab_commits_the_rest_and_is_swallowed(self):
        def scenario(_name, app):
            self.type_zeb(app)
            self.desktop.key("Tab")
            self.wait_text(app, "zebra")
            self.assertNotIn(app.names["Tab"], app.keys())
            self.assertTrue(app.focus_kept())
        self.each_app(scenario)

    def test_down_then_tab_commits_the_second_word(self):
        def scenario(_name, app):
            self.type_zeb(app)
            self.desktop.key("Down", "Tab")
            self.wait_text(app, "zebu")
        self.each_app(scenario)

    def test_escape_hides_the_popup(self):
        def scenario(_name, app):
            self.type_zeb(app)
            self.desktop.key("Escape")
            wait_until(self.desktop.popup_hidden, "the pop-up to hide on Esc")
            self.assertEqual(app.text(), "zeb")
        self.each_app(scenario)

    def test_password_field_gets_nothing(self):
        def scenario(_name, app):
            self.type_in_password_field(app, "zeb")
            # Tab is no completion key there: it reaches the field.
            self.desktop.key("Tab")
            self.wait_for(lambda: app.names["Tab"] in app.keys(), lambda: "Tab never reached the password field")
            self.assertEqual(app.ask("state")["password"], "zeb")
        self.each_app(scenario)


if __name__ == "__main__":
    sys.exit(main(__doc__, ["sway", "wtype", "Xwayland", "ibus-daemon", "dbus-daemon", "setpriv"]))
