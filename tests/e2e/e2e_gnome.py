#!/usr/bin/python3
"""End to end on GNOME: a headless gnome-shell 43 run as an unprivileged user with its own session bus,
set up as the README tells a user: Quenlo's IBus component where ibus-daemon finds it, Quenlo added
beside the US layout under the input sources and selected. ibus-daemon runs as systemd runs it on a
GNOME desktop, and starts the program for its engine once GNOME selects it. It completes words in
native Wayland fields: GTK through the shell's own input method, Qt through its IBus module; keys
come from mutter's virtual keyboard (its RemoteDesktop D-Bus interface).

Needs: gnome-shell, ibus, dbus-daemon, python3-gi, gir1.2-ibus-1.0, qt6-wayland, sqlite3, x11-utils.
Run as root it runs everything as nobody (setpriv, from util-linux); otherwise as the user who runs it.

usage: e2e_gnome.py --quenlo PATH --qtfield PATH [--repeat N] [unittest options]
       e2e_gnome.py --quenlo PATH --qtfield PATH --bench ROUNDS   (the latency benchmark)
"""
import argparse
import glob
import json
import os
import re
import shutil
import subprocess
import select
import sys
import tempfile
import time
import unittest

from desktop import (GTK_NAMES, OPTIONS, QT_NAMES, WAIT_SECONDS, Failed, Installed, QuenloCase, UserSession,
                     WORDS, WaylandField, install_quenlo, kept, main, read_text, wait_until)
from scenarios import TAB_ROWS, Scenarios, Table, with_rows

HERE = os.path.dirname(os.path.abspath(__file__))
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


class Gnome(UserSession):
    """A headless gnome-shell with Xwayland, its buses and ibus-daemon, as one unprivileged user."""
    name = "gnome"

    def __init__(self, workdir, folder, program):
        super().__init__(workdir, {"XDG_CACHE_HOME": os.path.join(workdir, "cache"),
                                   "WAYLAND_DISPLAY": "wayland-quenlo-e2e",
                                   "IBUS_COMPONENT_PATH": "/usr/share/ibus/component:" + os.path.join(workdir, "component")})
        self.helper = None
        self.folder = folder
        self.cgroup = user_unit_cgroup(os.geteuid() if self.uid is None else self.uid, os.path.basename(workdir))
        self.write_component(program)
        self.own(workdir)
        self.open()

    def start_bus(self, name):
        address = os.path.join(self.workdir, name)
        self.start(["dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=unix:path=" + address], name)
        wait_until(lambda: os.path.exists(address), "the %s to listen" % name)
        return "unix:path=" + address

    def start_session(self, runtime):
        """Starts GNOME, which starts the program of the component once it selects Quenlo."""
        # The shell asks logind on the system bus wherever /run/systemd/seats exists, and stops when it
        # cannot reach the bus at all; a bus of its own without logind answers at once.
        self.env["DBUS_SYSTEM_BUS_ADDRESS"] = self.start_bus("system-bus")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self.start_bus("session-bus")
        self.set_setting("org.gnome.desktop.interface", "enable-animations", "false")
        self.use_sources(LAYOUT_AND_QUENLO)
        self.set_setting("org.gnome.desktop.input-sources", "mru-sources", "[('ibus', 'quenlo'), ('xkb', 'us')]")
        systemd = self.start(["/usr/bin/python3", "-c", SYSTEMD], "systemd", stdout=subprocess.PIPE, text=True)
        if systemd.stdout.readline().strip() != "ready":
            raise Failed("the stand-in for systemd did not start")
        procs = self.cgroup and os.path.join(self.cgroup, "cgroup.procs")
        shell = self.start(["gnome-shell", "--wayland", "--headless", "--unsafe-mode", "--virtual-monitor", "1280x800",
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
        self.start(["ibus-daemon", "--panel", "disable"], "ibus")
        self.helper = self.start(["/usr/bin/python3", "-c", SESSION_HELPER], "helper", stdin=subprocess.PIPE,
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
        ready, _, _ = select.select([self.helper.stdout], [], [], 30)
        reply = json.loads(ready and self.helper.stdout.readline() or '{"error": "the session helper did not answer"}')
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

    def start_quenlo(self, completion_key, name):
        return Installed(os.path.join(self.folder, "words.mdb"))

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

    def has_focus(self, app):
        return self.ask({"eval": "(w => !!w && w.has_focus())(%s)" % (WINDOW_OF % app.process.pid)})

    def native_window(self, pid):
        found = self.ask({"eval": "(w => w ? [w.get_client_type() === 0, w.get_title()] : null)(%s)" % (WINDOW_OF % pid)})
        return found and tuple(found)


def start_gnome(prefix, words):
    """GNOME in a temporary folder, set up with the program on words; both gone when the suite's tests
    are over. A start that fails is made once more from scratch. Returns the session and the folder of
    what the user runs."""
    for attempt in (1, 2):
        workdir = tempfile.mkdtemp(prefix=prefix)
        os.chmod(workdir, 0o755)
        folder = os.path.join(workdir, "quenlo")
        program = install_quenlo(folder, os.path.join(workdir, "config"), words=words[:100])
        if words[100:]:  # more than a command line holds
            rows = "".join("INSERT INTO Words VALUES ('%s', NULL);\n" % word for word in words[100:])
            subprocess.run(["sqlite3", os.path.join(folder, "words.mdb")], input="BEGIN;\n%sCOMMIT;\n" % rows,
                           text=True, check=True)
        # The unprivileged user may not reach the build's folders: all it runs is copied.
        for helper in (OPTIONS.qtfield, os.path.join(HERE, "gtkfield.py")):
            shutil.copy(helper, folder)
        try:
            gnome = Gnome(workdir, folder, program)
        except Failed as failure:
            shutil.rmtree(workdir, ignore_errors=True)
            if attempt == 2:
                raise
            print("\n  GNOME did not start, starting it again: %s" % str(failure)[:2000], file=sys.stderr)
            continue
        unittest.addModuleCleanup(shutil.rmtree, workdir, ignore_errors=True)
        return kept(gnome), folder


def setUpModule():
    gnome, folder = start_gnome("quenlo-e2e-gnome-", WORDS)
    QuenloCase.desktop = gnome
    QuenloCase.apps = {
        # No input-method module named: GTK takes the shell's own input method.
        "gtk": WaylandField(gnome, "gtk", ["/usr/bin/python3", os.path.join(folder, "gtkfield.py")],
                            {"GDK_BACKEND": "wayland"}, GTK_NAMES),
        # Qt 6.4 lacks mutter's text-input protocol: Qt applications on GNOME use IBus's module.
        "qt": WaylandField(gnome, "qt", [os.path.join(folder, os.path.basename(OPTIONS.qtfield))],
                           {"QT_QPA_PLATFORM": "wayland", "QT_IM_MODULE": "ibus"}, QT_NAMES),
    }


@with_rows
class QuenloAlone(Table):
    """With Quenlo the only input source GNOME first tells the field the focus came to the purpose of the
    one it left, and its own a moment later."""
    rows = [row for row in TAB_ROWS if row.kind == "password"]

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.desktop.use_sources(QUENLO_ALONE)
        cls.addClassCleanup(cls.desktop.use_sources, LAYOUT_AND_QUENLO)


def numbered_letters(number, count):
    """As the other latency benchmarks name their words: word n begins with numbered_letters(n // 26, 3)."""
    return "".join(chr(ord("a") + number // 26 ** (count - 1 - i) % 26) for i in range(count))


def percentile(values, fraction):
    values = sorted(values)
    return values[min(int(fraction * (len(values) - 1) + 0.5), len(values) - 1)]


def bench(rounds):
    """Key -> text in a native Wayland GTK field through the shell's input method, on 100,000 words."""
    words = [numbered_letters(i, 4) + "ing" for i in range(100000)]
    gnome, folder = start_gnome("quenlo-bench-gnome-", words)
    field = WaylandField(gnome, "gtk", ["/usr/bin/python3", os.path.join(folder, "gtkfield.py")],
                         {"GDK_BACKEND": "wayland"}, GTK_NAMES)

    def text_at(done):
        """When the field's text came to satisfy done, asked as fast as it answers (about 1 ms a question)."""
        deadline = time.monotonic() + WAIT_SECONDS
        while time.monotonic() < deadline:
            text = field.text()
            if done(text):
                return time.monotonic_ns()
        raise Failed("the field holds %r" % field.text())
    letters, completions = [], []
    for round_number in range(3 + rounds):
        field.reset()
        prefix = numbered_letters(round_number * 7919 % (len(words) // 26), 3)
        pressed = gnome.press(list(prefix), 20)
        first = text_at(lambda text: text.startswith(prefix[0]))
        wait_until(gnome.popup_shown, "the pop-up")
        time.sleep(0.06)  # a user reads it before taking a word
        tab = gnome.press(["Tab"], 0)[0]
        completed = text_at(lambda text: text == prefix + "aing")
        if round_number >= 3:
            letters.append((first - pressed[0]) / 1e6)
            completions.append((completed - tab) / 1e6)
    print("latency on GNOME, %d rounds, %d words, native Wayland GTK field through the shell's input method"
          % (rounds, len(words)))
    for what, samples in (("first letter -> text in the field:", letters),
                          ("completion key -> word in the field:", completions)):
        print("  %-37s p50 %6.2f ms   p99 %6.2f ms" % (what, percentile(samples, 0.5), percentile(samples, 0.99)))


if __name__ == "__main__":
    if "--bench" in sys.argv:
        # The benchmark, run on demand (bench/ibus.cmake) rather than by CTest.
        parser = argparse.ArgumentParser(description="key -> text in the field on GNOME")
        for option in ("--quenlo", "--qtfield"):
            parser.add_argument(option, required=True)
        parser.add_argument("--bench", type=int, metavar="ROUNDS", required=True)
        vars(OPTIONS).update(vars(parser.parse_args()))
        try:
            bench(OPTIONS.bench)
        finally:
            unittest.doModuleCleanups()
        sys.exit(0)
    sys.exit(main(__doc__, ["gnome-shell", "ibus-daemon", "dbus-daemon", "gsettings", "setpriv"]))
