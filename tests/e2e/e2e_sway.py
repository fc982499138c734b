#!/usr/bin/python3
"""End to end on a Wayland desktop: a headless sway run as an unprivileged user, with the real quenlo
started as on a Wayland session (it picks the IBus route by itself and shows its pop-up through
Xwayland) as the engine of a private ibus-daemon. The scenarios run in native Wayland GTK and Qt
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

from desktop import (GTK_NAMES, OPTIONS, QT_NAMES, Failed, Installed, QuenloCase, UserSession, WaylandField,
                     install_quenlo, kept, main, read_text, stop, wait_until)
from scenarios import Scenarios, ShiftScenarios  # noqa: F401 (the suite's tests)

HERE = os.path.dirname(os.path.abspath(__file__))
# A virtual keyboard that types at once after it is made loses its first key while the compositor
# takes its key map.
KEYMAP_SETTLE_MS = "300"

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
    name = "sway"

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

    def start_quenlo(self, completion_key, name):
        # Nothing chooses the route: on a Wayland session the program takes IBus by itself.
        folder = os.path.join(self.workdir, "quenlo-" + name)
        program = install_quenlo(folder, self.env["XDG_CONFIG_HOME"], completion_key)
        self.own(self.workdir)
        quenlo = Installed(os.path.join(folder, "words.mdb"))
        process = self.start([program], "quenlo-" + name)
        quenlo.close = lambda: stop(process)
        wait_until(lambda: self.run("/usr/bin/python3", "-c", SELECT_ENGINE).returncode == 0,
                   "IBus to take the quenlo engine")
        return quenlo

    def press(self, keys, gap_ms):
        # wtype types each text argument gap_ms a key, and a blank between two of them.
        arguments, text = ["-s", KEYMAP_SETTLE_MS] + (["-d", str(gap_ms)] if gap_ms else []), ""
        for key in list(keys) + [None]:
            if key is not None and (len(key) == 1 or key == "space"):
                text += " " if key == "space" else key
                continue
            arguments += [text] if text else []
            text = ""
            arguments += (["-s", str(gap_ms)] if gap_ms else []) + (["-k", key] if key else [])
        typed = self.run("wtype", *arguments)
        if typed.returncode != 0:
            raise Failed("wtype %s failed: %s" % (" ".join(arguments), typed.stderr))

    def focus(self, pid):
        if self.run("swaymsg", "[pid=%d] focus" % pid).returncode != 0:
            raise Failed("sway did not focus the window of process %d" % pid)

    def node(self, found):
        """The first of sway's windows that found accepts, or None."""
        nodes = [json.loads(self.run("swaymsg", "-r", "-t", "get_tree").stdout)]
        while nodes:
            node = nodes.pop()
            if found(node):
                return node
            nodes += node.get("nodes", []) + node.get("floating_nodes", [])
        return None

    def has_focus(self, app):
        return self.node(lambda node: node.get("focused")).get("pid") == app.process.pid

    def native_window(self, pid):
        """Whether the window of that process is a native Wayland one, and sway's record of it; None
        before it has one."""
        node = self.node(lambda node: node.get("pid") == pid)
        return node and (node.get("shell") == "xdg_shell", node)


def setUpModule():
    workdir = tempfile.mkdtemp(prefix="quenlo-e2e-sway-")
    unittest.addModuleCleanup(shutil.rmtree, workdir, ignore_errors=True)
    os.chmod(workdir, 0o755)
    sway = QuenloCase.desktop = kept(Sway(workdir))
    # The unprivileged user may not reach the build's folders: all it runs is copied.
    for helper in (OPTIONS.qtfield, os.path.join(HERE, "gtkfield.py")):
        shutil.copy(helper, workdir)
    QuenloCase.apps = {
        "gtk": WaylandField(sway, "gtk", ["/usr/bin/python3", os.path.join(workdir, "gtkfield.py")],
                            {"GDK_BACKEND": "wayland", "GTK_IM_MODULE": "ibus"}, GTK_NAMES),
        "qt": WaylandField(sway, "qt", [os.path.join(workdir, os.path.basename(OPTIONS.qtfield))],
                           {"QT_QPA_PLATFORM": "wayland", "QT_IM_MODULE": "ibus"}, QT_NAMES),
    }


if __name__ == "__main__":
    sys.exit(main(__doc__, ["sway", "wtype", "Xwayland", "ibus-daemon", "dbus-daemon", "setpriv"]))
