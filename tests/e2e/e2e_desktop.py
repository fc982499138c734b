#!/usr/bin/python3
"""End to end on a Wayland desktop run headless as an unprivileged user (nobody when run as root), with
Xwayland and a session bus of its own, where the real quenlo is an IBus engine: the scenarios run in
native Wayland GTK and Qt fields. Each desktop brings only how it starts, how quenlo gets chosen, how
keys are sent and the focus moved:
  sway   quenlo picks the IBus route by itself, as the engine of a private ibus-daemon; keys from wtype.
  kwin   IBus is KWin's input method, started from the desktop entry kwinrc names, so quenlo --ibus
         inherits KWin's environment; keys through KWin's fake input.
  gnome  gnome-shell 43 set up as the README tells a user, ibus-daemon run as systemd runs it; keys from
         mutter's virtual keyboard.
Needs xwayland, qt6-wayland, ibus, ibus-gtk3, python3-gi, gir1.2-ibus-1.0, and sway and wtype, or
kwin-wayland and ibus-wayland, or gnome-shell.
"""
import argparse
import glob
import json
import os
import pwd
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import types
import unittest

from desktop import (HERE, OPTIONS, WAIT_SECONDS, WORDS, Failed, FieldApp, Quenlo, QuenloCase, Screen,
                     install_quenlo, kept, main, read_line, read_text, wait_until)
from scenarios import TAB_ROWS, Scenarios, ShiftScenarios, Table, with_rows  # noqa: F401 (the suite's tests)

# The component the package installs, from its template.
COMPONENT = os.path.join(HERE, "..", "..", "platform", "ibus", "quenlo.xml.in")


class Session(Screen):
    """A desktop session's programs, all run as one user (ibus-daemon runs only as a user with an
    account) in a work folder of its own, beside quenlo and its IBus component as the package installs them."""
    programs = ()  # what it needs beside what every desktop needs
    im_modules = {}  # the input-method module each toolkit's fields are told to use
    tests = ()  # test classes of its own

    def __init__(self, workdir, env):
        self.folder = os.path.join(workdir, "quenlo")
        self.program = os.path.join(self.folder, "quenlo")
        self.uid = pwd.getpwnam("nobody").pw_uid if os.geteuid() == 0 else None
        if self.uid is not None and not os.path.exists("/tmp/.X11-unix"):
            # As the system makes it: one that Xwayland made as the user is refused by the next desktop.
            os.mkdir("/tmp/.X11-unix")
            os.chmod("/tmp/.X11-unix", 0o1777)
        runtime = os.path.join(workdir, "runtime")
        os.makedirs(runtime, mode=0o700)
        self.marker = ("XDG_RUNTIME_DIR=" + runtime).encode()
        super().__init__(workdir, dict({
            "PATH": "/usr/bin:/bin", "HOME": workdir, "XDG_RUNTIME_DIR": runtime, "LC_ALL": "C.UTF-8",
            "XDG_CONFIG_HOME": os.path.join(workdir, "config"), "XDG_DATA_HOME": os.path.join(workdir, "data"),
            "XDG_CACHE_HOME": os.path.join(workdir, "cache"),
        }, **env))
        self.write_component()
        self.own(workdir)
        # What started is stopped if a later part fails.
        try:
            self.start_session(runtime)
        except BaseException:
            self.close()
            raise

    def start(self, command, title=None, log=None, env=None, **options):
        """Starts a program and waits for its window; returns the process and its pid, which stands for
        the window."""
        name = log or title or os.path.basename(command[0])
        process = self.launch(command, name, env, **options)
        wait_until(lambda: self.window(process.pid), "a window of " + name)
        return process, process.pid

    def run(self, *command):
        return subprocess.run(self.user_command(list(command)), env=self.env, capture_output=True, text=True,
                              timeout=WAIT_SECONDS)

    def start_bus(self, name):
        """A dbus-daemon of the session's at workdir/name: its address."""
        address = os.path.join(self.workdir, name)
        self.launch(["dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=unix:path=" + address], name)
        wait_until(lambda: os.path.exists(address), "the %s to listen" % name)
        return "unix:path=" + address

    def close(self):
        super().close()
        # What the session's programs started (Xwayland, IBus's helpers, bus-activated services) goes too,
        # also after a start that failed half-way.
        for signal_number in (signal.SIGTERM, signal.SIGKILL):
            for pid in self.running():
                try:
                    os.kill(pid, signal_number)
                except ProcessLookupError:
                    pass
            try:
                wait_until(lambda: not self.running(), "the session's processes to end", timeout=5)
                return
            except Failed:
                continue

    def running(self):
        """{pid: (program, environment)} of the processes that run in this session: those with its runtime
        folder."""
        found = {}
        for folder in glob.glob("/proc/[0-9]*"):
            try:
                with open(folder + "/environ", "rb") as text:
                    environ = text.read().split(b"\0")
                with open(folder + "/cmdline", "rb") as text:
                    program = text.read().split(b"\0")[0].decode(errors="replace")
            except OSError:
                continue
            if self.marker in environ:
                found[int(folder[len("/proc/"):])] = (program, dict(
                    entry.decode(errors="replace").partition("=")[::2] for entry in environ if b"=" in entry))
        return found

    def write_component(self):
        """quenlo's IBus component in the session's component folder; its output goes to a log of its own."""
        launcher = os.path.join(self.workdir, "quenlo-ibus")
        with open(launcher, "w") as script:
            script.write('#!/bin/sh\nexec "%s" "$@" >>"%s" 2>&1\n' % (self.program,
                                                                       os.path.join(self.workdir, "quenlo.log")))
        os.chmod(launcher, 0o755)
        os.makedirs(os.path.join(self.workdir, "component"))
        component = read_text(COMPONENT).replace("@CMAKE_INSTALL_FULL_BINDIR@/quenlo", launcher)
        with open(os.path.join(self.workdir, "component", "quenlo.xml"), "w") as xml:
            xml.write(re.sub(r"@\w+@", "e2e", component))

    def reachable(self, path):
        # The unprivileged user may not reach the build's folders: start_session copied its helpers.
        return os.path.join(self.folder, os.path.basename(path))

    def toolkit_env(self, toolkit):
        env = dict(self.env, **({"GDK_BACKEND": "wayland"} if toolkit == "gtk" else {"QT_QPA_PLATFORM": "wayland"}))
        if toolkit in self.im_modules:
            env[toolkit.upper() + "_IM_MODULE"] = self.im_modules[toolkit]
        return env

    def start_quenlo(self, completion_key, name, words):
        """IBus started quenlo, with the one completion key and words of the session; it ends with the session."""
        return types.SimpleNamespace(database=os.path.join(self.folder, "words.mdb"), close=lambda: None)

    def window(self, pid):
        """(pid, native Wayland, focused) of the window of that process, None before it has one; from
        windows(), which tells that of every window."""
        return next((window for window in self.windows() if window[0] == pid), None)

    def has_focus(self, app):
        return (self.window(app.process.pid) or (0, 0, False))[2]


class WaylandField(FieldApp):
    """gtkfield.py or qtfield as a native Wayland client of the session: through Xwayland it would prove
    nothing the X11 tests do not."""

    def __init__(self, session, toolkit):
        super().__init__(session, toolkit, "e2e-" + toolkit)
        if not session.window(self.process.pid)[1]:
            raise Failed("the %s field is no native Wayland window" % toolkit)


def start_session(kind, prefix, words=WORDS):
    """A session of kind in a temporary folder with quenlo on words, both gone when the suite's tests are
    over. A start that fails is made once more from scratch."""
    for attempt in (1, 2):
        workdir = tempfile.mkdtemp(prefix=prefix)
        os.chmod(workdir, 0o755)
        folder = os.path.join(workdir, "quenlo")
        install_quenlo(folder, os.path.join(workdir, "config"), words=words)
        for helper in (OPTIONS.qtfield, os.path.join(HERE, "gtkfield.py")):
            shutil.copy(helper, folder)
        try:
            session = kind(workdir)
        except Failed as failure:
            shutil.rmtree(workdir, ignore_errors=True)
            if attempt == 2:
                raise
            print("\n  %s did not start, starting it again: %s" % (kind.name, str(failure)[:2000]), file=sys.stderr)
            continue
        unittest.addModuleCleanup(shutil.rmtree, workdir, ignore_errors=True)
        return kept(session)


class Sway(Session):
    """A headless sway with Xwayland, its session bus and ibus-daemon; quenlo is started by the suite."""
    name = "sway"
    programs = ("sway", "wtype")
    im_modules = {"gtk": "ibus", "qt": "ibus"}
    # A virtual keyboard that types at once after it is made loses its first key while the compositor
    # takes its key map.
    KEYMAP_SETTLE_MS = "300"

    def __init__(self, workdir):
        # No component of the system's: a quenlo installed there would be the engine IBus chooses, not the
        # one the suite starts.
        os.makedirs(os.path.join(workdir, "no-components"))
        super().__init__(workdir, {"WLR_BACKENDS": "headless", "WLR_LIBINPUT_NO_DEVICES": "1",
                                   "WLR_RENDERER": "pixman",
                                   "IBUS_COMPONENT_PATH": os.path.join(workdir, "no-components")})

    def start_session(self, runtime):
        config = os.path.join(self.workdir, "sway.conf")
        with open(config, "w") as text:
            text.write("xwayland enable\noutput HEADLESS-1 resolution 1280x800\n")
        self.launch(["sway", "-c", config], "sway")
        sockets = lambda: [path for path in glob.glob(os.path.join(runtime, "wayland-*")) if "." not in path]
        self.env["WAYLAND_DISPLAY"] = os.path.basename(wait_until(sockets, "sway's Wayland socket")[0])
        self.env["SWAYSOCK"] = wait_until(lambda: glob.glob(os.path.join(runtime, "sway-ipc.*.sock")),
                                          "sway's command socket")[0]
        # A seat without a keyboard gains one for each wtype and loses it again, and clients then take
        # their windows for inactive; one that waits a day before typing stands for the real keyboard.
        self.launch(["wtype", "-s", "86400000"], "keyboard")
        # Xwayland's display is known to sway alone: a command it starts writes it down.
        display_file = os.path.join(self.workdir, "display")
        self.run("swaymsg", "exec", "echo $DISPLAY > " + display_file)
        self.env["DISPLAY"] = wait_until(lambda: read_text(display_file).strip(), "Xwayland's display")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self.start_bus("bus")
        self.start_ibus()

    def start_quenlo(self, completion_key, name, words):
        # Nothing chooses the route: on a Wayland session the program takes IBus by itself.
        quenlo = Quenlo(self, name, completion_key, words=words)
        self.select_engine()
        return quenlo

    def press(self, keys, gap_ms):
        # wtype types each text argument gap_ms a key, and a blank between two of them.
        arguments, text = ["-s", self.KEYMAP_SETTLE_MS] + (["-d", str(gap_ms)] if gap_ms else []), ""
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

    def windows(self):
        found, nodes = [], [json.loads(self.run("swaymsg", "-r", "-t", "get_tree").stdout)]
        while nodes:
            node = nodes.pop()
            if node.get("pid"):
                found.append((node["pid"], node.get("shell") == "xdg_shell", node.get("focused")))
            nodes += node.get("nodes", []) + node.get("floating_nodes", [])
        return found


# A fake-input client: each line of stdin a gap in milliseconds and the Linux key codes to press and
# release that far apart (20 ms at least: keys that come faster have been seen to leave the session with
# no key reaching a field again), then "ok". KWin offers the protocol only to a program whose desktop
# entry asks for it.
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

# Asks KWin about its windows through its scripting interface: what print() writes lands in its log.
WINDOWS_SCRIPT = """
var found = [];
workspace.clientList().forEach(function (w) {
    if (%(focus)d && w.pid === %(focus)d)
        workspace.activeClient = w;
    found.push({pid: w.pid, x11: w.windowId > 0});
});
var active = workspace.activeClient ? workspace.activeClient.pid : 0;
print("%(marker)s " + JSON.stringify({windows: found, active: active}));
"""


class KWin(Session):
    """A headless kwin_wayland with Xwayland, its session bus and IBus as its input method."""
    name = "kwin"
    programs = ("kwin_wayland", "/usr/libexec/ibus-wayland", "dbus-send")
    # Linux key codes of the US layout KWin starts with.
    KEY_CODES = dict(zip("qwertyuiop", range(16, 26)), **dict(zip("asdfghjkl", range(30, 39))),
                     **dict(zip("zxcvbnm", range(44, 51))),
                     Escape=1, BackSpace=14, Tab=15, Return=28, space=57, Up=103, Down=108)
    # The README's entry, with the parts of IBus that a test needs not (panel, emoji, settings) left out.
    INPUT_METHOD = ('sh -c "ibus-daemon --replace --xim --panel=disable --emoji-extension=disable --config=disable '
                    '& until ibus list-engine >/dev/null 2>&1; do sleep 0.1; done; exec /usr/libexec/ibus-wayland"')

    def __init__(self, workdir):
        self.queries = 0
        super().__init__(workdir, {"XDG_SESSION_TYPE": "wayland", "NO_AT_BRIDGE": "1",
                                   "XDG_DATA_DIRS": os.path.join(workdir, "data") + ":/usr/share",
                                   "IBUS_COMPONENT_PATH": os.path.join(workdir, "component")
                                   + ":/usr/share/ibus/component"})

    def start_session(self, runtime):
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self.start_bus("bus")
        applications = os.path.join(self.env["XDG_DATA_HOME"], "applications")
        os.makedirs(applications)
        with open(os.path.join(applications, "ibus-wayland.desktop"), "w") as entry:
            entry.write("[Desktop Entry]\nType=Application\nName=IBus Wayland\nExec=%s\nNoDisplay=true\n"
                        "X-KDE-Wayland-VirtualKeyboard=true\n" % self.INPUT_METHOD)
        # KWin takes the first desktop entry whose program is the client's, and Python has its own: the
        # keyboard runs a copy of Python that only its entry names.
        keys_python = os.path.join(self.workdir, "keys-python")
        shutil.copy(os.path.realpath("/usr/bin/python3"), keys_python)
        with open(os.path.join(applications, "quenlo-test-keys.desktop"), "w") as entry:
            entry.write("[Desktop Entry]\nType=Application\nName=Test keys\nExec=%s\nNoDisplay=true\n"
                        "X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n" % keys_python)
        os.makedirs(self.env["XDG_CONFIG_HOME"], exist_ok=True)
        with open(os.path.join(self.env["XDG_CONFIG_HOME"], "kwinrc"), "w") as config:
            config.write("[Wayland]\nInputMethod[$e]=%s\n" % os.path.join(applications, "ibus-wayland.desktop"))
        kwin = os.path.join(self.workdir, "kwin_wayland")
        # Its file capability (cap_sys_resource) fails exec, even for root, where a container cannot grant
        # it; the copy has none and only loses KWin's raised resource limits.
        shutil.copy("/usr/bin/kwin_wayland", kwin)
        self.own(self.workdir)
        self.log = os.path.join(self.workdir, "kwin.log")
        self.launch([kwin, "--virtual", "--xwayland", "--socket", "wayland-quenlo", "--width", "1280",
                    "--height", "800"], "kwin")
        self.env["WAYLAND_DISPLAY"] = "wayland-quenlo"
        wait_until(lambda: os.path.exists(os.path.join(runtime, "wayland-quenlo")), "KWin's Wayland socket")
        # After the input method: the keyboard, whose device lives as long as it, and X's display.
        ibus = wait_until(lambda: self.process_of("/usr/libexec/ibus-wayland"),
                          "KWin to start IBus as its input method")
        self.env["DISPLAY"] = self.running()[ibus][1]["DISPLAY"]
        self.keyboard = self.launch([keys_python, "-c", FAKE_INPUT], "keyboard", stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, text=True)
        self.answered()
        # Chosen as a user chooses it in IBus: IBus starts the program, from KWin's environment.
        self.select_engine()
        self.engine = wait_until(lambda: self.process_of(self.program), "IBus to start quenlo --ibus")
        self.inherited = self.running()[self.engine][1]
        wait_until(lambda: self.window(self.engine), "quenlo's main window")

    def answered(self):
        if read_line(self.keyboard, "the fake-input keyboard") != "ok":
            raise Failed("the fake-input keyboard failed (see keyboard.log)")

    def process_of(self, executable):
        """The pid of this session's process running executable, if there is one."""
        return next((pid for pid, (program, _) in self.running().items() if program == executable), None)

    def press(self, keys, gap_ms):
        self.keyboard.stdin.write(" ".join(str(code) for code in [gap_ms] + [self.KEY_CODES[key] for key in keys])
                                  + "\n")
        self.keyboard.stdin.flush()
        self.answered()

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
        return self.ask_ibus("--context").stdout.strip()

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

    def windows(self):
        found = self.query()
        return [(window["pid"], not window["x11"], window["pid"] == found["active"]) for window in found["windows"]]


class KWinEngine(unittest.TestCase):
    def test_engine_inherits_kwin_environment_and_uses_xwayland(self):
        # What makes KWin differ: without both the route through Xwayland would not be tested.
        kwin = QuenloCase.desktop
        self.assertEqual(kwin.inherited.get("QT_QPA_PLATFORM"), "wayland")
        self.assertIn("WAYLAND_SOCKET", kwin.inherited)
        self.assertFalse(kwin.window(kwin.engine)[1])


KWin.tests = (KWinEngine,)

LAYOUT_AND_QUENLO = "[('xkb', 'us'), ('ibus', 'quenlo')]"
QUENLO_ALONE = "[('ibus', 'quenlo')]"
KEYSYMS = {"Tab": 0xff09, "Return": 0xff0d, "Escape": 0xff1b, "Down": 0xff54, "Up": 0xff52, "BackSpace": 0xff08,
           "Shift_L": 0xffe1, "space": 0x20}

# Inside the session, one line of JSON in, one out: mutter's virtual keyboard, the shell's Eval (the
# shell runs in unsafe mode) and IBus's global engine.
SESSION_HELPER = """
import json, sys, time
import gi
gi.require_version("IBus", "1.0")
from gi.repository import Gio, GLib, IBus
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
keyboard = None
def call(dest, path, interface, method, args=None, reply=None):
    return bus.call_sync(dest, path, interface, method, args, reply and GLib.VariantType(reply),
                         Gio.DBusCallFlags.NONE, 10000, None)
def press(keysym, pressed):
    global keyboard
    if keyboard is None:
        path = call("org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop",
                    "org.gnome.Mutter.RemoteDesktop", "CreateSession", reply="(o)").unpack()[0]
        call("org.gnome.Mutter.RemoteDesktop", path, "org.gnome.Mutter.RemoteDesktop.Session", "Start")
        keyboard = path
    call("org.gnome.Mutter.RemoteDesktop", keyboard, "org.gnome.Mutter.RemoteDesktop.Session",
         "NotifyKeyboardKeysym", GLib.Variant("(ub)", (keysym, pressed)))
def answer(command):
    if "eval" in command:
        ok, value = call("org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell", "Eval",
                         GLib.Variant("(s)", (command["eval"],)), "(bs)").unpack()
        return json.loads(value) if ok and value else None
    if "keys" in command:
        pressed = []
        for keysym in command["keys"]:
            pressed.append(time.monotonic_ns())
            press(keysym, True)
            press(keysym, False)
            time.sleep(command["gap"])
        return pressed
    ibus = IBus.Bus()
    engine = ibus.get_global_engine() if ibus.is_connected() else None
    return engine.get_name() if engine else None
for line in sys.stdin:
    try:
        reply = {"value": answer(json.loads(line))}
    except GLib.Error as error:
        reply = {"error": error.message}
    print(json.dumps(reply), flush=True)
"""

# systemd's user manager as far as GNOME asks it: the unit that runs ibus-daemon is there, and the units
# it starts with Xwayland start at once. The shell then leaves IBus to systemd instead of forking
# ibus-daemon itself (twice, the second time replacing the first); that fork runs a callback in the
# child that at times hangs the child, and the shell with it, for good.
SYSTEMD = """
import gi
from gi.repository import Gio, GLib
XML = ('<node><interface name="org.freedesktop.systemd1.Manager"><method name="GetUnit"><arg type="s" direction="in"/>'
       '<arg type="o" direction="out"/></method><method name="StartUnit"><arg type="s" direction="in"/>'
       '<arg type="s" direction="in"/><arg type="o" direction="out"/></method><method name="StopUnit">'
       '<arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="o" direction="out"/></method>'
       '<signal name="JobRemoved"><arg type="u"/><arg type="o"/><arg type="s"/><arg type="s"/></signal>'
       '</interface></node>')
jobs = [0]
def call(connection, _sender, path, interface, method, arguments, invocation):
    unit = arguments.unpack()[0]
    if method == "GetUnit" and unit != "org.freedesktop.IBus.session.GNOME.service":
        return invocation.return_dbus_error("org.freedesktop.systemd1.NoSuchUnit", "no such unit")
    jobs[0] += 1
    job = "/org/freedesktop/systemd1/job/%d" % jobs[0]
    invocation.return_value(GLib.Variant("(o)", (job,)))
    if method != "GetUnit":  # done once the caller knows its job
        GLib.idle_add(lambda: connection.emit_signal(None, path, interface, "JobRemoved",
                                                     GLib.Variant("(uoss)", (jobs[0], job, unit, "done"))) and False)
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
bus.register_object("/org/freedesktop/systemd1", Gio.DBusNodeInfo.new_for_xml(XML).interfaces[0], call)
Gio.bus_own_name_on_connection(bus, "org.freedesktop.systemd1", 0, lambda *_: print("ready", flush=True))
GLib.MainLoop().run()
"""

WINDOW_OF = "global.get_window_actors().map(a => a.meta_window).find(w => w.get_pid() === %d)"


def user_unit_cgroup(uid, name):
    """A cgroup where systemd would put a unit of uid's user manager: the shell asks systemd about IBus
    only when it runs in one. None where no cgroup may be made (not root)."""
    with open("/proc/self/mounts") as mounts:
        roots = [line.split()[1] for line in mounts if line.split()[2] == "cgroup2"]
    path = roots and os.path.join(roots[0], "user.slice/user-%d.slice/user@%d.service/app.slice/%s.service"
                                  % (uid, uid, name))
    try:
        os.makedirs(path)
        return path
    except (OSError, TypeError):
        return None


class Gnome(Session):
    """A headless gnome-shell with Xwayland, its buses and ibus-daemon."""
    name = "gnome"
    programs = ("gnome-shell", "gsettings")
    # Qt 6.4 lacks mutter's text-input protocol: Qt applications on GNOME use IBus's module. GTK takes
    # the shell's own input method.
    im_modules = {"qt": "ibus"}
    helper = None
    cgroup = None

    def __init__(self, workdir):
        # The suite's component first: one that an installed quenlo left in the system's folder would win.
        super().__init__(workdir, {"WAYLAND_DISPLAY": "wayland-quenlo-e2e", "IBUS_COMPONENT_PATH":
                                   os.path.join(workdir, "component") + ":/usr/share/ibus/component"})

    def start_session(self, runtime):
        """Starts GNOME, which starts the program of the component once it selects Quenlo."""
        self.cgroup = user_unit_cgroup(os.geteuid() if self.uid is None else self.uid, os.path.basename(self.workdir))
        # The shell asks logind on the system bus wherever /run/systemd/seats exists, and stops when it
        # cannot reach the bus at all; a bus of its own without logind answers at once.
        self.env["DBUS_SYSTEM_BUS_ADDRESS"] = self.start_bus("system-bus")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self.start_bus("session-bus")
        self.set_setting("org.gnome.desktop.interface", "enable-animations", "false")
        self.use_sources(LAYOUT_AND_QUENLO)
        self.set_setting("org.gnome.desktop.input-sources", "mru-sources", "[('ibus', 'quenlo'), ('xkb', 'us')]")
        systemd = self.launch(["/usr/bin/python3", "-c", SYSTEMD], "systemd", stdout=subprocess.PIPE, text=True)
        if systemd.stdout.readline().strip() != "ready":
            raise Failed("the stand-in for systemd did not start")
        procs = self.cgroup and os.path.join(self.cgroup, "cgroup.procs")
        shell = self.launch(["gnome-shell", "--wayland", "--headless", "--unsafe-mode", "--virtual-monitor", "1280x800",
                            "--wayland-display", self.env["WAYLAND_DISPLAY"]], "gnome-shell",
                           preexec_fn=procs and (lambda: open(procs, "w").write(str(os.getpid()))))
        log = os.path.join(self.workdir, "gnome-shell.log")

        def display():
            if shell.poll() is not None:
                raise Failed("gnome-shell ended:\n" + read_text(log)[-3000:])
            found = re.search(r"Using public X11 display (:\d+)", read_text(log))
            return found and found.group(1)
        self.env["DISPLAY"] = wait_until(display, "Xwayland's display", timeout=60)
        self.env["XAUTHORITY"] = wait_until(
            lambda: glob.glob(os.path.join(runtime, ".mutter-Xwaylandauth.*")), "Xwayland's key")[0]
        # Xwayland starts when its first client comes: that is not to be the program, whose engine GNOME
        # gives 4 s to start.
        wait_until(lambda: self.run("xwininfo", "-root").returncode == 0, "Xwayland to answer", timeout=60)
        # As systemd starts it: once the shell has set up the session's environment, which the program
        # takes from it.
        self.launch(["ibus-daemon", "--panel", "disable"], "ibus")
        self.helper = self.launch(["/usr/bin/python3", "-c", SESSION_HELPER], "helper", stdin=subprocess.PIPE,
                                 stdout=subprocess.PIPE, text=True)
        try:
            wait_until(lambda: self.ask({"eval": "!Main.layoutManager._startingUp"}), "the shell", timeout=60)
        except Failed:
            raise Failed("gnome-shell did not start:\n" + read_text(log)[-3000:])
        # A session starts in the overview.
        self.ask({"eval": "Main.overview.hide()"})
        # A new virtual keyboard loses its first key while the compositor takes its key map: one is made
        # before anything is typed.
        self.press(["Shift_L"], 0)
        self.use_sources(LAYOUT_AND_QUENLO)

    def close(self):
        super().close()
        if self.cgroup:
            os.rmdir(self.cgroup)

    def ask(self, command):
        self.helper.stdin.write(json.dumps(command) + "\n")
        self.helper.stdin.flush()
        reply = json.loads(read_line(self.helper, "the session helper", 30))
        if "error" in reply and "eval" not in command:
            raise Failed("%s: %s" % (command, reply["error"]))
        return reply.get("value")

    def set_setting(self, schema, key, value):
        result = self.run("gsettings", "set", schema, key, value)
        if result.returncode != 0:
            raise Failed("gsettings set %s %s: %s" % (schema, key, result.stderr))

    def use_sources(self, sources):
        """Sets the input sources, as Settings does, and selects Quenlo among them, as the user does."""
        self.set_setting("org.gnome.desktop.input-sources", "sources", sources)
        if self.helper:
            select_quenlo = ("(s => s ? (s.activate(true), true) : false)(Object.values(imports.ui.status.keyboard"
                             ".getInputSourceManager().inputSources).find(s => s.id === 'quenlo' && "
                             "Object.keys(imports.ui.status.keyboard.getInputSourceManager().inputSources).length"
                             " === %d))" % sources.count("("))

            def selected():
                if not self.ask({"eval": select_quenlo}):
                    return False
                try:
                    self.wait_for_engine(10)
                    return True
                except Failed:  # GNOME gives the program 4 s to start and does not ask again: the user would
                    return False
            wait_until(selected, "GNOME to select the quenlo engine", timeout=60)

    def wait_for_engine(self, timeout=30):
        """Until GNOME has Quenlo's engine selected again: it leaves it for the layout in password fields."""
        wait_until(lambda: self.ask({}) == "quenlo", "GNOME to select the quenlo engine", timeout=timeout)

    def settle(self):
        self.wait_for_engine()

    def press(self, keys, gap_ms):
        """Taps each key, gap_ms apart; returns when each was pressed (time.monotonic_ns)."""
        return self.ask({"keys": [KEYSYMS.get(key, ord(key[0])) for key in keys], "gap": gap_ms / 1000})

    def focus(self, pid):
        # A window mapped a moment ago may still take the focus from the one activated: it has to keep it.
        activate = "(w => w && (w.has_focus() || w.activate(global.display.get_current_time_roundtrip()) || w.has_focus()))"
        kept_since = []

        def kept():
            if not self.ask({"eval": "%s(%s)" % (activate, WINDOW_OF % pid)}):
                kept_since.clear()
            elif not kept_since:
                kept_since.append(time.monotonic())
            return kept_since and time.monotonic() - kept_since[0] > 0.5
        wait_until(kept, "the focus on process %d" % pid)

    def windows(self):
        return [tuple(window) for window in self.ask({"eval": "global.get_window_actors().map(a => a.meta_window)"
                                                              ".map(w => [w.get_pid(), w.get_client_type() === 0, "
                                                              "w.has_focus()])"}) or []]


@with_rows
class QuenloAlone(Table):
    """With Quenlo the only input source GNOME first tells the field the focus came to the purpose of the
    one it left, and its own a moment later."""
    rows = [row.also_skipped({"gnome/gtk": "GNOME at times tells the engine the password field's purpose once "
                                           "more after the focus came back to this field, and this field's never "
                                           "(1 run in 5 to 15): its keys stay private"})
            for row in TAB_ROWS if row.kind == "password"]

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.desktop.use_sources(QUENLO_ALONE)
        cls.addClassCleanup(cls.desktop.use_sources, LAYOUT_AND_QUENLO)


Gnome.tests = (QuenloAlone,)
DESKTOPS = {kind.name: kind for kind in (Sway, KWin, Gnome)}
# Only the chosen desktop's own tests are the suite's.
del KWinEngine, QuenloAlone


def setUpModule():
    session = QuenloCase.desktop = start_session(DESKTOPS[OPTIONS.desktop], "quenlo-e2e-%s-" % OPTIONS.desktop)
    QuenloCase.apps = {toolkit: WaylandField(session, toolkit) for toolkit in ("gtk", "qt")}


if __name__ == "__main__":
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--desktop", choices=DESKTOPS, required=True)
    chosen, sys.argv[1:] = parser.parse_known_args()
    OPTIONS.desktop = chosen.desktop
    kind = DESKTOPS[chosen.desktop]
    globals().update({test.__name__: test for test in kind.tests})
    sys.exit(main(__doc__, ["Xwayland", "ibus-daemon", "dbus-daemon", "setpriv", *kind.programs]))
