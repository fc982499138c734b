#!/usr/bin/python3
"""End to end on KDE Plasma's compositor: a headless kwin_wayland with Xwayland and its own session
bus, run as an unprivileged user. IBus is KWin's input method, started by KWin from the desktop entry
kwinrc names (what System Settings > Virtual Keyboard writes), so ibus-daemon and the engine it starts,
the real quenlo --ibus, inherit KWin's environment: QT_QPA_PLATFORM=wayland and a WAYLAND_SOCKET
meant for the input method. Native Wayland GTK and Qt fields reach the input method through the
compositor's text-input protocols; the keys come through KWin's fake-input protocol. It runs the
scenarios, and checks what the engine inherits from KWin.

kwin_wayland carries a file capability (cap_sys_resource) that a container without it cannot grant,
and exec then fails even for root; the suite runs a copy of the same program without it, which only
loses KWin's raised resource limits.

Needs, beside what e2e_sway.py needs: kwin-wayland, ibus-wayland. Run as root it runs everything as
nobody (setpriv, from util-linux); otherwise as the user who runs it.

usage: e2e_kwin.py --quenlo PATH --qtfield PATH [--repeat N] [unittest options]
"""
import glob
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import e2e_sway
from desktop import (GTK_NAMES, OPTIONS, QT_NAMES, Failed, Installed, QuenloCase, UserSession, WaylandField,
                     install_quenlo, kept, main, wait_until)
from scenarios import Scenarios, ShiftScenarios  # noqa: F401 (the suite's tests)

HERE = os.path.dirname(os.path.abspath(__file__))
KWIN = "/usr/bin/kwin_wayland"
IBUS_WAYLAND = "/usr/libexec/ibus-wayland"
# The README's entry, with the parts of IBus that a test needs not (panel, emoji, settings) left out.
INPUT_METHOD = ('sh -c "ibus-daemon --replace --xim --panel=disable --emoji-extension=disable --config=disable & '
                'until ibus list-engine >/dev/null 2>&1; do sleep 0.1; done; exec %s"' % IBUS_WAYLAND)
# Linux key codes of the US layout KWin starts with.
KEY_CODES = dict(zip("qwertyuiop", range(16, 26)), **dict(zip("asdfghjkl", range(30, 39))),
                 **dict(zip("zxcvbnm", range(44, 51))),
                 Escape=1, BackSpace=14, Tab=15, Return=28, space=57, Up=103, Down=108)

# A fake-input client: each line of stdin a gap in milliseconds and the codes to press and release that
# far apart (20 ms at least: keys that come faster have been seen to leave the session with no key
# reaching a field again), then "ok". KWin offers
# the protocol only to a program whose desktop entry asks for it.
FAKE_INPUT = r'''
import os, socket, struct, sys, time
wayland = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
wayland.connect(os.path.join(os.environ["XDG_RUNTIME_DIR"], os.environ["WAYLAND_DISPLAY"]))
received = b""
def send(target, opcode, *arguments):
    body = b""
    for argument in arguments:
        if isinstance(argument, str):
            text = argument.encode() + b"\0"
            body += struct.pack("=I", len(text)) + text + bytes(-len(text) % 4)
        else:
            body += struct.pack("=I", argument)
    wayland.sendall(struct.pack("=II", target, (8 + len(body)) << 16 | opcode) + body)
def roundtrip(callback, globals_=None):
    global received
    send(1, 0, callback)  # wl_display.sync
    while True:
        while len(received) < 8 or len(received) < struct.unpack_from("=I", received, 4)[0] >> 16:
            more = wayland.recv(4096)
            if not more:
                sys.exit("KWin closed the connection")
            received += more
        target, word = struct.unpack_from("=II", received)
        body, received = received[8:word >> 16], received[word >> 16:]
        if target == 1 and word & 0xffff == 0:
            sys.exit("KWin refused a request")
        if target == 2 and globals_ is not None:
            name, length = struct.unpack_from("=II", body)
            globals_[body[8:7 + length].decode()] = name
        if target == callback:
            return
send(1, 1, 2)  # wl_display.get_registry
offered = {}
roundtrip(3, offered)
if "org_kde_kwin_fake_input" not in offered:
    sys.exit("KWin offers no fake input to this program")
send(2, 0, offered["org_kde_kwin_fake_input"], "org_kde_kwin_fake_input", 4, 4)  # bind, as 4
send(4, 0, "quenlo tests", "types the test's keys")  # authenticate
callback = 5
roundtrip(callback)
print("ok", flush=True)
for line in sys.stdin:
    gap, *codes = map(int, line.split())
    for code in codes:
        for state in (1, 0):
            send(4, 10, code, state)  # keyboard_key
            callback += 1
            roundtrip(callback)
        time.sleep(max(gap, 20) / 1000)
    print("ok", flush=True)
'''

CURRENT_CONTEXT = """
import gi
gi.require_version("IBus", "1.0")
from gi.repository import IBus
print(IBus.Bus().current_input_context() or "")
"""

# Asks KWin about its windows through its scripting interface: what print() writes lands in its log.
WINDOWS_SCRIPT = """
var found = [];
workspace.clientList().forEach(function (w) {
    if (%(focus)d && w.pid === %(focus)d)
        workspace.activeClient = w;
    found.push({pid: w.pid, caption: w.caption, x11: w.windowId > 0, x: w.x, y: w.y});
});
var active = workspace.activeClient ? workspace.activeClient.pid : 0;
print("%(marker)s " + JSON.stringify({windows: found, active: active}));
"""


class KWin(UserSession):
    """A headless kwin_wayland with Xwayland, its session bus and IBus as its input method, all as one
    unprivileged user."""
    name = "kwin"

    def __init__(self, workdir):
        super().__init__(workdir, {"XDG_SESSION_TYPE": "wayland", "NO_AT_BRIDGE": "1",
                                   "XDG_DATA_DIRS": os.path.join(workdir, "data") + ":/usr/share",
                                   "XDG_CACHE_HOME": os.path.join(workdir, "cache")})
        self.queries = 0
        self.open()

    def start_session(self, runtime):
        self.env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + os.path.join(self.workdir, "bus")
        self.start(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                    "--address=" + self.env["DBUS_SESSION_BUS_ADDRESS"]], "dbus")
        applications = os.path.join(self.env["XDG_DATA_HOME"], "applications")
        os.makedirs(applications)
        with open(os.path.join(applications, "ibus-wayland.desktop"), "w") as entry:
            entry.write("[Desktop Entry]\nType=Application\nName=IBus Wayland\nExec=%s\nNoDisplay=true\n"
                        "X-KDE-Wayland-VirtualKeyboard=true\n" % INPUT_METHOD)
        # KWin takes the first desktop entry whose program is the client's, and Python has its own: the
        # keyboard runs a copy of Python that only its entry names.
        self.keys_python = os.path.join(self.workdir, "keys-python")
        shutil.copy(os.path.realpath("/usr/bin/python3"), self.keys_python)
        with open(os.path.join(applications, "quenlo-test-keys.desktop"), "w") as entry:
            entry.write("[Desktop Entry]\nType=Application\nName=Test keys\nExec=%s\nNoDisplay=true\n"
                        "X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n" % self.keys_python)
        os.makedirs(self.env["XDG_CONFIG_HOME"], exist_ok=True)
        with open(os.path.join(self.env["XDG_CONFIG_HOME"], "kwinrc"), "w") as config:
            config.write("[Wayland]\nInputMethod[$e]=%s\n" % os.path.join(applications, "ibus-wayland.desktop"))
        # The engine's component, as the package installs it, for the daemon KWin starts.
        self.env["IBUS_COMPONENT_PATH"] = os.path.join(self.workdir, "component") + ":/usr/share/ibus/component"
        kwin = os.path.join(self.workdir, "kwin_wayland")
        shutil.copy(KWIN, kwin)  # the copy has no file capability
        self.log = os.path.join(self.workdir, "kwin.log")
        self.start([kwin, "--virtual", "--xwayland", "--socket", "wayland-quenlo", "--width", "1280",
                    "--height", "800"], "kwin")
        self.env["WAYLAND_DISPLAY"] = "wayland-quenlo"
        wait_until(lambda: os.path.exists(os.path.join(runtime, "wayland-quenlo")), "KWin's Wayland socket")

    def start_input(self):
        """After the input method: the keyboard, whose device lives as long as it, and X's display."""
        ibus = wait_until(lambda: self.process_of(IBUS_WAYLAND), "KWin to start IBus as its input method")
        self.env["DISPLAY"] = self.environment_of(ibus)["DISPLAY"]
        self.keyboard = self.start([self.keys_python, "-c", FAKE_INPUT], "keyboard", stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, text=True)
        self.answer(self.keyboard)

    def answer(self, process):
        line = process.stdout.readline()
        if line.strip() != "ok":
            raise Failed("the fake-input keyboard failed (see keyboard.log)")

    def process_of(self, executable):
        """The pid of this session's process running executable, if there is one."""
        for status in glob.glob("/proc/[0-9]*/cmdline"):
            pid = int(status.split("/")[2])
            try:
                with open(status, "rb") as text:
                    if (text.read().split(b"\0")[0].decode(errors="replace") == executable and
                            self.environment_of(pid).get("XDG_RUNTIME_DIR") == self.env["XDG_RUNTIME_DIR"]):
                        return pid
            except OSError:
                continue
        return None

    def environment_of(self, pid):
        with open("/proc/%d/environ" % pid, "rb") as text:
            return dict(entry.decode(errors="replace").partition("=")[::2] for entry in text.read().split(b"\0")
                        if b"=" in entry)

    def press(self, keys, gap_ms):
        self.keyboard.stdin.write(" ".join(str(code) for code in [gap_ms] + [KEY_CODES[key] for key in keys]) + "\n")
        self.keyboard.stdin.flush()
        self.answer(self.keyboard)

    def start_quenlo(self, completion_key, name):
        return Installed(os.path.join(self.workdir, "quenlo", "words.mdb"))

    def query(self, focus=0):
        """KWin's windows and the active one's pid; with focus, that process's window is activated first."""
        self.queries += 1
        marker = "quenlo-query-%d" % self.queries
        script = os.path.join(self.workdir, marker + ".js")
        with open(script, "w") as text:
            text.write(WINDOWS_SCRIPT % {"focus": focus, "marker": marker})
        os.chmod(script, 0o644)
        loaded = self.run("dbus-send", "--session", "--print-reply=literal", "--dest=org.kde.KWin", "/Scripting",
                          "org.kde.kwin.Scripting.loadScript", "string:" + script, "string:" + marker)
        number = loaded.stdout.split()[-1] if loaded.returncode == 0 else ""
        if not number.isdigit() or self.run("dbus-send", "--session", "--print-reply", "--dest=org.kde.KWin",
                                            "/" + number, "org.kde.kwin.Script.run").returncode != 0:
            raise Failed("KWin did not run a script: " + loaded.stderr)

        def reported():
            with open(self.log, errors="replace") as log:
                for line in log:
                    if line.startswith("js: " + marker + " "):
                        return json.loads(line[len(marker) + 5:])
            return None
        try:
            return wait_until(reported, "KWin's answer to " + marker)
        finally:
            self.run("dbus-send", "--session", "--dest=org.kde.KWin", "/Scripting",
                     "org.kde.kwin.Scripting.unloadScript", "string:" + marker)

    def input_context(self):
        """The IBus input context that has the focus; empty when none has."""
        return self.run("/usr/bin/python3", "-c", CURRENT_CONTEXT).stdout.strip()

    def focus(self, pid):
        if self.query()["active"] == pid:
            return
        before = self.input_context()
        self.query(focus=pid)
        wait_until(lambda: self.query()["active"] == pid, "KWin to activate the window of process %d" % pid)
        # ibus-wayland makes an IBus input context for each field that takes the focus, and passes the
        # keys that come before it is made straight to the field.
        wait_until(lambda: self.input_context() not in ("", before), "IBus's input context of the window")

    def settle(self):
        # A field that took the focus within its window has its input context made after it.
        wait_until(self.input_context, "an IBus input context with the focus")

    def has_focus(self, app):
        return self.query()["active"] == app.process.pid

    def window(self, pid):
        """KWin's record of the window of that process, if it has one."""
        return next((window for window in self.query()["windows"] if window["pid"] == pid), None)

    def native_window(self, pid):
        window = self.window(pid)
        return window and (not window["x11"], window)


def setUpModule():
    workdir = tempfile.mkdtemp(prefix="quenlo-e2e-kwin-")
    unittest.addModuleCleanup(shutil.rmtree, workdir, ignore_errors=True)
    os.chmod(workdir, 0o755)
    kwin = QuenloCase.desktop = kept(KWin(workdir))
    folder = os.path.join(workdir, "quenlo")
    program = install_quenlo(folder, kwin.env["XDG_CONFIG_HOME"])
    for helper in (OPTIONS.qtfield, os.path.join(HERE, "gtkfield.py")):
        shutil.copy(helper, folder)
    kwin.write_component(program)
    kwin.own(workdir)
    kwin.start_input()
    # Chosen as a user chooses it in IBus: IBus starts the program, from KWin's environment.
    wait_until(lambda: kwin.run("/usr/bin/python3", "-c", e2e_sway.SELECT_ENGINE).returncode == 0,
               "IBus to take the quenlo engine")
    engine = wait_until(lambda: kwin.process_of(program), "IBus to start quenlo --ibus")
    KWinEngine.inherited = kwin.environment_of(engine)
    KWinEngine.engine = engine
    wait_until(lambda: kwin.window(engine), "quenlo's main window")
    # Through the compositor's text-input protocols, as on Plasma: no input-method module is named.
    QuenloCase.apps = {
        "gtk": WaylandField(kwin, "gtk", ["/usr/bin/python3", os.path.join(folder, "gtkfield.py")],
                            {"GDK_BACKEND": "wayland"}, GTK_NAMES),
        "qt": WaylandField(kwin, "qt", [os.path.join(folder, os.path.basename(OPTIONS.qtfield))],
                           {"QT_QPA_PLATFORM": "wayland"}, QT_NAMES),
    }


class KWinEngine(unittest.TestCase):
    def test_engine_inherits_kwin_environment_and_uses_xwayland(self):
        # What makes KWin differ: without both the route through Xwayland would not be tested.
        self.assertEqual(self.inherited.get("QT_QPA_PLATFORM"), "wayland")
        self.assertIn("WAYLAND_SOCKET", self.inherited)
        self.assertTrue(QuenloCase.desktop.window(self.engine)["x11"])


if __name__ == "__main__":
    sys.exit(main(__doc__, ["kwin_wayland", IBUS_WAYLAND, "Xwayland", "ibus-daemon", "dbus-daemon", "dbus-send",
                            "setpriv"]))
