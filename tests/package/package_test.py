#!/usr/bin/python3
"""The Debian package: built by CPack from the build folder, unpacked into a temporary root, checked
against the install layout and the desktop's validators, then run as a normal user on a private
Xvfb (its own uid and HOME): the per-user word database, Add Word, Run Minimized, Start with the
session, completion in another application's field, and the tray icon with a StatusNotifierItem host
(an XEmbed tray is Qt's own fallback: the same program code again).

Needs dpkg-dev, devscripts (hardening-check), desktop-file-utils, appstream, lintian, xvfb, xdotool, x11-utils, sqlite3, dbus,
python3-gi and root (for the unused uid); installs nothing.

usage: package_test.py --build-dir DIR --app-id ID
"""
import argparse
import configparser
import functools
import json
import os
import pwd
import re
import shlex
import shutil
import sqlite3
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import desktop as e2e  # noqa: E402
from desktop import Failed  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
WAIT_SECONDS = 30
wait_until = functools.partial(e2e.wait_until, timeout=WAIT_SECONDS)
TITLE = "^Quenlo Word Complete 4.1 - "
ICON_SIZES = (16, 32, 48, 64, 128)
USER_WORD = "qzxuserword"


BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=%s</listen>
  <auth>ANONYMOUS</auth>
  <allow_anonymous/>
  <policy context="default">
    <allow user="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""


def run(*command, **options):
    options.setdefault("timeout", 300)
    result = subprocess.run(command, capture_output=True, text=True, **options)
    if result.returncode != 0:
        raise Failed("%s failed (%d):\n%s%s" % (" ".join(command), result.returncode, result.stdout, result.stderr))
    return result.stdout


def read_bytes(path):
    with open(path, "rb") as file:
        return file.read()


def unused_uid():
    """One past the highest regular uid taken: no account, no files of its own."""
    return max(entry.pw_uid for entry in pwd.getpwall() if entry.pw_uid < 60000) + 1


def desktop_entry(path):
    """The [Desktop Entry] group of a desktop file."""
    parser = configparser.ConfigParser(interpolation=None, strict=False)
    parser.optionxform = str
    parser.read(path, encoding="utf-8")
    return dict(parser["Desktop Entry"])


def exec_arguments(exec_line):
    """An Exec= value split the way a session does: string escapes, then the quoting rules."""
    return [argument.replace("%%", "%") for argument in shlex.split(exec_line.replace("\\s", " "))]


class Package:
    """The .deb built from the build folder and unpacked."""

    def __init__(self, build_dir, workdir, app_id):
        self.app_id = app_id
        output = os.path.join(workdir, "package")
        run("cpack", "-G", "DEB", "-B", output, cwd=build_dir, timeout=600)
        debs = [name for name in os.listdir(output) if re.fullmatch(r"quenlo_.*\.deb", name)]
        if len(debs) != 1:
            raise Failed("expected one quenlo_*.deb in %s, found %s" % (output, os.listdir(output)))
        self.deb = os.path.join(output, debs[0])
        self.root = os.path.join(workdir, "root")
        run("dpkg-deb", "-x", self.deb, self.root)
        os.chmod(self.root, 0o755)
        self.files = set()
        for folder, _dirs, names in os.walk(self.root):
            for name in names:
                self.files.add(os.path.relpath(os.path.join(folder, name), self.root))
        self.program = self.path("usr/bin/quenlo")
        self.default_words = self.path("usr/share/quenlo/words.mdb")

    def path(self, relative):
        return os.path.join(self.root, relative)


def check_layout(package):
    """What the install layout promises; lintian checks the copyright, changelog, manual page, file modes and
    owners, icon sizes and control fields."""
    app = package.app_id
    required = {
        "usr/bin/quenlo", "usr/share/quenlo/words.mdb", "usr/share/quenlo/quenlo-help.html",
        "usr/share/applications/%s.desktop" % app, "usr/share/metainfo/%s.metainfo.xml" % app,
        "usr/share/icons/hicolor/scalable/apps/%s.svg" % app,
    } | {"usr/share/icons/hicolor/%dx%d/apps/%s.png" % (s, s, app) for s in ICON_SIZES}
    missing = sorted(required - package.files)
    if missing:
        raise Failed("the package lacks " + ", ".join(missing))
    extra_programs = sorted(f for f in package.files if f.startswith("usr/bin/") and f != "usr/bin/quenlo")
    if extra_programs:
        raise Failed("the package ships programs that are no part of it: " + ", ".join(extra_programs))
    databases = sorted(f for f in package.files if f.endswith(".mdb"))
    if databases != ["usr/share/quenlo/words.mdb"]:
        raise Failed("word databases in the package: %s" % databases)
    # The program is unpacked, not installed: what it needs to run must be declared.
    depends = run("dpkg-deb", "-f", package.deb, "Depends")
    for library in ("libqt6widgets6", "libsqlite3-0", "libxtst6"):
        if library not in depends:
            raise Failed("Depends lacks %s: %s" % (library, depends))


def check_validators(package):
    """The desktop's validators and lintian find nothing. The program sees every key of the desktop: it is
    built as PIE with the stack protector, fortified calls and full RELRO (control-flow protection is left
    to the distribution's own flags)."""
    app = package.app_id
    run("desktop-file-validate", package.path("usr/share/applications/%s.desktop" % app))
    run("appstreamcli", "validate", "--no-net", "--explain", package.path("usr/share/metainfo/%s.metainfo.xml" % app))
    run("lintian", "--fail-on", "error,warning", package.deb, timeout=600)
    run("hardening-check", "--nocfprotection", package.program)


class Desktop(e2e.Desktop):
    """A private Xvfb server; programs on it run as an unprivileged user with its own HOME."""

    def __init__(self, workdir, uid):
        self.home = os.path.join(workdir, "home")
        self.config = os.path.join(workdir, "home", "elsewhere-config")
        runtime = os.path.join(self.home, "runtime")
        for folder in (self.home, self.config, runtime):
            os.makedirs(folder, mode=0o700, exist_ok=True)
            os.chown(folder, uid, uid)
        super().__init__(workdir, {
            "PATH": "/usr/bin:/bin", "HOME": self.home, "USER": "quenlotest", "XDG_CONFIG_HOME": self.config,
            "XDG_RUNTIME_DIR": runtime, "QT_QPA_PLATFORM": "xcb", "NO_AT_BRIDGE": "1", "LC_ALL": "C.UTF-8"}, uid)

    def start_quenlo(self, package, env=None):
        """The unpacked program, started as the test user; its output goes to quenlo.log."""
        return self.launch([package.program], "quenlo", env)

    def main_window(self, visible=True):
        query = ("--onlyvisible",) if visible else ()
        return wait_until(lambda: self.windows(*query, "--name", TITLE), "the quenlo main window")[0]

    def keys(self, window, *keys):
        self.focus(window)
        self.run("xdotool", "key", "--delay", "50", *keys)

    def options_menu(self, window, pid, key):
        """Opens the Options menu and, once it is on the screen, presses key in it."""
        before = set(self.windows("--onlyvisible", "--pid", str(pid)))
        self.keys(window, "alt+o")
        wait_until(lambda: set(self.windows("--onlyvisible", "--pid", str(pid))) - before, "the Options menu")
        self.run("xdotool", "key", key)


def alive(quenlo):
    if quenlo.poll() is not None:
        raise Failed("quenlo ended with status %d" % quenlo.returncode)
    return True


def words_in(database, word):
    connection = sqlite3.connect("file:%s?mode=ro" % database, uri=True)
    try:
        return connection.execute("select count(*) from Words where Text1 = ? and Type1 = '1'", (word,)).fetchone()[0]
    finally:
        connection.close()


def settings_value(desktop, key):
    path = os.path.join(desktop.config, "Quenlo", "Quenlo.conf")
    if not os.path.exists(path):
        return None
    match = re.search(r"^%s=(.*)$" % re.escape(key), open(path).read(), re.M)
    return match.group(1) if match else None


def check_first_and_second_start(desktop, package):
    default_before = read_bytes(package.default_words)
    user_words = os.path.join(desktop.home, ".local", "share", "Quenlo", "words.mdb")
    quenlo = desktop.start_quenlo(package)
    window = desktop.main_window()
    alive(quenlo)
    wait_until(lambda: os.path.exists(user_words), "the user's word database")
    if os.stat(user_words).st_uid != desktop.uid:
        raise Failed("the user's word database does not belong to the user")
    # Text7 takes the focus first; Tab moves on to Add Word, space presses it.
    desktop.keys(window, *USER_WORD, "Tab", "space")
    wait_until(lambda: words_in(user_words, USER_WORD) == 1, "the added word in the user's database")

    # Run Minimized, then Start with the session, through the Options menu.
    desktop.options_menu(window, quenlo.pid, "Return")
    wait_until(lambda: settings_value(desktop, "RunMinimized") == "1", "Run Minimized in the settings store")
    autostart = os.path.join(desktop.config, "autostart", package.app_id + ".desktop")
    desktop.options_menu(window, quenlo.pid, "s")
    wait_until(lambda: os.path.exists(autostart), "the autostart entry")
    run("desktop-file-validate", autostart)
    entry = desktop_entry(autostart)
    if exec_arguments(entry["Exec"]) != [package.program] or entry.get("Hidden", "false") != "false":
        raise Failed("the session would not start the program: %s" % entry)
    alive(quenlo)
    inode = os.stat(user_words).st_ino
    e2e.stop(quenlo)

    # The second start keeps the user's words and comes up minimized: no tray on a bare Xvfb.
    quenlo = desktop.start_quenlo(package)
    window = desktop.main_window(visible=False)
    # Without a window manager the window stays mapped; it asks for being minimized.
    wait_until(lambda: "_NET_WM_STATE_HIDDEN" in desktop.run("xprop", "-id", str(window), "_NET_WM_STATE"),
               "a minimized main window")
    if os.stat(user_words).st_ino != inode or words_in(user_words, USER_WORD) != 1:
        raise Failed("the second start did not keep the user's database")
    desktop.options_menu(window, quenlo.pid, "s")
    wait_until(lambda: not os.path.exists(autostart), "the autostart entry to go")
    # The installed program completes, from the user's words, in another application's field.
    field = e2e.FieldApp(desktop, "gtk", "package-field")
    field.reset()
    desktop.key(*USER_WORD[:4])
    wait_until(lambda: field.text() == USER_WORD[:4], "the letters in the field")
    wait_until(desktop.popup_shown, "the pop-up over the field")
    desktop.key("Tab")
    wait_until(lambda: field.text() == USER_WORD, "the user's word completed in the field")
    alive(quenlo)
    e2e.stop(quenlo)
    if read_bytes(package.default_words) != default_before or words_in(package.default_words, USER_WORD):
        raise Failed("the installed default words changed")


def check_status_notifier(desktop, package):
    """Run Minimized is on: the program starts hidden, its icon registers, Activate shows the window."""
    # The bus runs as root and lets anonymous clients in: the test user has no password entry,
    # which a bus needs for its usual authentication.
    socket = os.path.join(desktop.env["XDG_RUNTIME_DIR"], "bus")
    config = os.path.join(os.path.dirname(desktop.home), "bus.conf")
    with open(config, "w") as file:
        file.write(BUS_CONFIG % socket)
    desktop.launch(["dbus-daemon", "--config-file=" + config, "--nofork", "--nosyslog"], "bus", as_user=False)
    wait_until(lambda: os.path.exists(socket), "the private session bus")
    bus_address = "unix:path=" + socket
    env = dict(desktop.env, DBUS_SESSION_BUS_ADDRESS=bus_address)
    watcher = desktop.launch(["/usr/bin/python3", os.path.join(HERE, "snwatcher.py")], "snwatcher", env,
                             stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    if e2e.read_line(watcher, "the fake StatusNotifierWatcher", WAIT_SECONDS) != "ready":
        raise Failed("the fake StatusNotifierWatcher did not start")
    quenlo = desktop.start_quenlo(package, env)
    item = json.loads(e2e.read_line(watcher, "no tray icon registered: the StatusNotifierWatcher", WAIT_SECONDS))
    if item["Title"] != "Quenlo" or "Quenlo 4.1 - " not in (item["ToolTipTitle"] or "") or not item["HasIcon"]:
        raise Failed("the tray icon's title or tooltip: %s" % item)
    if desktop.windows("--onlyvisible", "--name", TITLE):
        raise Failed("Run Minimized with a tray still showed the main window")
    watcher.stdin.write("activate\n")
    watcher.stdin.flush()
    answer = e2e.read_line(watcher, "Activate on the tray icon", WAIT_SECONDS)
    if answer != "activated":
        raise Failed("Activate on the tray icon: %r" % answer)
    desktop.main_window()
    alive(quenlo)
    e2e.stop(quenlo)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--app-id", required=True)
    arguments = parser.parse_args()
    if os.geteuid() != 0:
        print("needs root to run the program as an unused uid; skipped")
        return 77
    workdir = tempfile.mkdtemp(prefix="quenlo-package-")
    os.chmod(workdir, 0o755)
    desktop = None
    try:
        package = Package(arguments.build_dir, workdir, arguments.app_id)
        check_layout(package)
        check_validators(package)
        desktop = Desktop(workdir, unused_uid())
        check_first_and_second_start(desktop, package)
        check_status_notifier(desktop, package)
    except Failed as failure:
        print("FAILED: %s" % failure, flush=True)
        if desktop:
            log = os.path.join(workdir, "quenlo.log")
            if os.path.exists(log):
                print("quenlo's output:\n" + open(log).read())
        return 1
    finally:
        if desktop:
            desktop.close()
        shutil.rmtree(workdir, ignore_errors=True)
    print("package checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
