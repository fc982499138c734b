#!/usr/bin/python3
"""End to end, under dbus-run-session, which starts the accessibility bus: the real quenlo on a private
Xvfb server never watches a password, in password fields (GTK and Qt, and fields that tell their role
late), at a password prompt in xterm, under a held keyboard, in an excluded application, nor in anything
it wrote; and what it shows and announces on the accessibility bus holds no letter typed elsewhere.
Needs gdbus, at-spi2-core and gir1.2-atspi-2.0 beside desktop.py's packages.
"""
import os
import re
import shutil
import subprocess
import sys
import time
import unittest

from desktop import HERE, QT_NAMES, WAIT_SECONDS, FieldApp, Quenlo, main, read_text, start_desktop, wait_until

PASSWORD = "helqzj"  # begins like hello, help and helmet
SECRET_PARTS = [PASSWORD, "qzj"]
# How long a pop-up that should not come is given to come anyway.
QUIET_SECONDS = 0.8
# A field that answers the question of its role this late, and the AT-SPI roles it answers.
LATE_ANSWER_MS = 500
PASSWORD_ROLE, TEXT_ROLE = 40, 61
# Typed in another application: no stored word begins with it, so no pop-up shows meanwhile.
TYPED = "hunterkq"
# What the main window's key display would read for a key: its character, a blank, its code.
KEY_DISPLAY = re.compile(r"^.? \d+$")
# Runs in xterm: asks for a name, then for a password as sudo does (echo off, a whole line read),
# and logs each step in the file it is given.
PROMPTS = """import getpass, sys
def log(line):
    with open(sys.argv[1], "a") as out:
        out.write(line + "\\n")
while True:
    log("name")
    log("got " + input("name: "))
    log("password")
    getpass.getpass()
"""


class Accessibility:
    """The accessibility bus as an assistive tool sees it, and once listen() is called every event an
    application announces on it. Made once DISPLAY and the session bus of the desktop are in this
    process's environment."""

    def __init__(self):
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi, GLib
        self.atspi = Atspi
        self.context = GLib.MainContext.default()
        self.announced = []  # (pid, event type, text the event carried)

    def listen(self):
        self.listener = self.atspi.EventListener.new(self.heard)
        for kind in ("object:text-changed", "object:property-change", "object:state-changed",
                     "object:children-changed", "object:text-caret-moved", "focus:"):
            self.listener.register(kind)

    def heard(self, event):
        try:
            pid = event.source.get_process_id()
        except Exception:  # the source may be gone already
            pid = None
        data = event.any_data
        self.announced.append((pid, event.type, data if isinstance(data, str) else ""))

    def pump(self):
        while self.context.pending():
            self.context.iteration(False)

    def application(self, pid):
        self.pump()
        desktop = self.atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            try:
                if app is not None and app.get_process_id() == pid:
                    return app
            except Exception:  # an application that went away meanwhile
                continue
        return None

    def texts(self, node, depth=0):
        """Every (role, text) an assistive tool can read at node and below it."""
        if node is None or depth > 40:
            return []
        role = node.get_role_name()
        found = [(role, node.get_name() or ""), (role, node.get_description() or "")]
        interfaces = node.get_interfaces()
        if "Text" in interfaces:
            found.append((role, node.get_text(0, node.get_character_count()) or ""))
        if "Value" in interfaces:
            found.append((role, str(node.get_current_value())))
        for i in range(node.get_child_count()):
            found += self.texts(node.get_child_at_index(i), depth + 1)
        return found


def accessibility_enabled(env):
    result = subprocess.run(["gdbus", "call", "--session", "-d", "org.a11y.Bus", "-o", "/org/a11y/bus", "-m",
                             "org.freedesktop.DBus.Properties.Get", "org.a11y.Status", "IsEnabled"],
                            env=env, capture_output=True, text=True, timeout=WAIT_SECONDS)
    return "true" in result.stdout


class WatchedQuenlo(Quenlo):
    """quenlo excluding the given applications, its own window open to the accessibility bus."""

    def __init__(self, desktop, excluded):
        entries = ",".join('{\\"id\\":\\"%s\\",\\"name\\":\\"%s\\"}' % (name, name) for name in excluded)
        # Qt joins the accessibility bus only when told at start. Learning new words is on: what it
        # keeps must hold no password either.
        super().__init__(desktop, "privacy", "tab",
                         "\n[Options]\nLearnNewWords=1\n[Privacy]\nExcludedApplications=\"[%s]\"\n" % entries,
                         env=dict(desktop.env, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1"))
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


def setUpModule():
    desktop = Privacy.desktop = start_desktop("quenlo-privacy-")
    desktop.env["DBUS_SESSION_BUS_ADDRESS"] = os.environ["DBUS_SESSION_BUS_ADDRESS"]
    desktop.env.pop("NO_AT_BRIDGE", None)
    os.environ["DISPLAY"] = desktop.env["DISPLAY"]
    Privacy.bus = Accessibility()
    Privacy.bus.listen()  # before quenlo starts, so that it announces to the suite
    Privacy.quenlo = WatchedQuenlo(desktop, ["excluded.py"])
    # Qt applications look at the desktop's accessibility switch when they start; quenlo turns it on.
    wait_until(lambda: accessibility_enabled(desktop.env), "quenlo to switch assistive technologies on")
    # Copies of the GTK field, each under a name of its own (applications are told apart by it): one stands
    # for a password prompt, one for the excluded application.
    copies = {}
    for name in ("grabber", "excluded"):
        copies[name] = os.path.join(desktop.workdir, name + ".py")
        shutil.copy(os.path.join(HERE, "gtkfield.py"), copies[name])
    Privacy.grabber = FieldApp(desktop, "gtk", "e2e-grabber", copies["grabber"])
    Privacy.excluded = FieldApp(desktop, "gtk", "e2e-gtk-excluded", copies["excluded"])
    Privacy.apps = {toolkit: FieldApp(desktop, toolkit, "e2e-%s-password" % toolkit) for toolkit in ("gtk", "qt")}
    Privacy.late = {name: desktop.start(["/usr/bin/python3", os.path.join(HERE, "slowaccessible.py"), "e2e-" + name,
                                         str(role), str(LATE_ANSWER_MS)], "e2e-" + name,
                                        env=dict(desktop.env, NO_AT_BRIDGE="1"))[1]
                    for name, role in (("late-password", PASSWORD_ROLE), ("late-text", TEXT_ROLE))}
    log = Privacy.prompts = os.path.join(desktop.workdir, "prompts.log")
    Privacy.xterm = desktop.start(["xterm", "-T", "e2e-prompts", "-geometry", "60x8+300+500", "-e", "/usr/bin/python3",
                                   "-c", PROMPTS, log], "e2e-prompts")[1]


class Privacy(unittest.TestCase):
    def stays_hidden(self, what, deadline=None):
        """The pop-up stays hidden until deadline (time.monotonic()), QUIET_SECONDS from now unless told."""
        deadline = deadline or time.monotonic() + QUIET_SECONDS
        while time.monotonic() < deadline:
            self.assertTrue(self.desktop.popup_hidden(), what)
            time.sleep(0.05)

    def type(self, app, text):
        self.desktop.key(*text)
        last = text[-1].upper() if app.names is QT_NAMES else text[-1]
        wait_until(lambda: app.keys() and app.keys()[-1] == last, "the last letter to reach the application")

    def completes(self, text):
        """hel brings the pop-up and Tab makes it hello, at the end of what text() tells."""
        self.desktop.key("h", "e", "l")
        wait_until(self.desktop.popup_shown, "the pop-up after hel")
        self.desktop.key("Tab")
        wait_until(lambda: text().endswith("hello"), "hello in the field")

    def in_field(self, app, field, reset=True):
        """The focus in app's field "second" (an ordinary one) or "password", and completion running or paused
        there."""
        if reset:
            app.reset()
        app.ask(field)
        wait_until(lambda: app.ask("state")["focus"] == field, "the focus in the %s field" % field)
        wait_until(self.quenlo.paused if field == "password" else self.quenlo.running,
                   "completion to pause in a password field and run in another")

    def completes_in_ordinary_field(self, app):
        self.in_field(app, "second", reset=False)
        self.completes(lambda: app.ask("state")["second"])

    def test_password_field_shows_nothing_and_passes_tab(self):
        for name, app in self.apps.items():
            with self.subTest(app=name):
                self.in_field(app, "password")
                self.type(app, PASSWORD)
                self.stays_hidden("no pop-up while a password is typed")
                self.desktop.key("Tab")
                wait_until(lambda: app.ask("state")["focus"] != "password", "Tab to move the focus on")
                self.assertIn(app.names["Tab"], app.keys())
                self.assertEqual(app.ask("state")["password"], PASSWORD)
                self.assertTrue(self.desktop.popup_hidden())

    def test_password_letters_are_not_kept_for_the_next_field(self):
        for name, app in self.apps.items():
            with self.subTest(app=name):
                self.in_field(app, "password")
                self.type(app, "hel")
                # Moved by the application, not by a key: nothing ends the word but the pause.
                self.in_field(app, "second", reset=False)
                self.type(app, "p")
                self.stays_hidden("hel from the password field must not make help")
                self.desktop.key("Return")
                self.completes_in_ordinary_field(app)

    def test_keys_typed_before_a_late_role_answer(self):
        # Typed at once after the focus moves, the answer still half a second away: nothing is offered before
        # it, then the answer decides. (Whether the word typed meanwhile is offered depends on quenlo having
        # seen the focus move before the keys came; the program suite (tst_quenloprogram) proves that it is.)
        for name, answered_password in (("late-password", True), ("late-text", False)):
            with self.subTest(field=name):
                self.desktop.focus(self.excluded.window)
                # The field is asked once the focus has come to it, and answers no sooner than that late.
                unanswered_until = time.monotonic() + 0.8 * LATE_ANSWER_MS / 1000
                self.desktop.focus(self.late[name])
                self.desktop.key("h", "e", "l")
                self.stays_hidden("no pop-up before the field has told its role", unanswered_until)
                wait_until(self.quenlo.paused if answered_password else self.quenlo.running, "the answer to count")
                self.desktop.key("Return", "h", "e", "l")
                if answered_password:
                    self.stays_hidden("no pop-up in the field that answered password")
                else:
                    wait_until(self.desktop.popup_shown, "the pop-up once the field answered text")
                    self.desktop.key("Escape")

    def test_terminal_password_prompt(self):
        log = self.prompts

        def at(prompt):
            return lambda: read_text(log).splitlines()[-1:] == [prompt]

        self.desktop.focus(self.xterm)
        wait_until(at("name"), "the name prompt")
        self.desktop.key("h", "e", "l")
        wait_until(self.desktop.popup_shown, "the pop-up at the name prompt")
        self.desktop.key("Tab", "Return")
        wait_until(at("password"), "the password prompt")
        # Echo went off while xterm had the focus.
        wait_until(self.quenlo.paused, "completion to pause at the password prompt")
        self.desktop.key(*PASSWORD)
        self.stays_hidden("no pop-up at the password prompt")
        # Focused again at the prompt, typed at once.
        self.desktop.focus(self.excluded.window)
        self.desktop.focus(self.xterm)
        self.desktop.key("h", "e", "l")
        self.stays_hidden("no pop-up at the password prompt focused again")
        self.desktop.key("Return")
        wait_until(at("name"), "the name prompt again")
        wait_until(self.quenlo.running, "completion to resume at the name prompt")
        self.assertIn("got hello", read_text(log).splitlines())

    def test_held_keyboard_pauses_until_released(self):
        app = self.apps["qt"]
        self.in_field(app, "second")
        grabber = self.grabber
        self.assertTrue(grabber.ask("grab")["grabbed"])
        try:
            wait_until(self.quenlo.paused, "completion to pause while another client holds the keyboard")
            self.desktop.key("h", "e", "l")
            self.stays_hidden("no pop-up while the keyboard is held")
        finally:
            grabber.ask("ungrab")
        wait_until(self.quenlo.running, "completion to resume when the keyboard is let go")
        self.desktop.key("Return")
        self.completes_in_ordinary_field(app)

    def test_excluded_application_and_no_other(self):
        app = self.excluded
        app.reset()
        wait_until(self.quenlo.paused, "completion to pause in the excluded application")
        self.type(app, "hel")
        self.stays_hidden("no pop-up in an excluded application")
        # A field of another application completes again.
        self.in_field(self.apps["gtk"], "second")
        self.completes(lambda: self.apps["gtk"].ask("state")["second"])

    def test_letters_typed_elsewhere_are_nowhere_in_the_tree_nor_announced(self):
        bus, pid, app = self.bus, self.quenlo.process.pid, self.apps["qt"]
        self.in_field(app, "second")
        bus.pump()
        bus.announced.clear()
        # A word end and a word with suggestions: once they show, quenlo has handled every key before.
        self.desktop.key(*TYPED, "space", "h", "e", "l")
        wait_until(self.desktop.popup_shown, "the pop-up after typing hel")
        self.desktop.key("Escape")
        wait_until(self.desktop.popup_hidden, "Esc to hide the pop-up")
        wait_until(lambda: app.ask("state")["second"] == TYPED + " hel", "the keys to reach the field")
        texts = bus.texts(bus.application(pid))
        bus.pump()
        # Else the walk proves nothing: it has to reach the window's controls.
        self.assertIn("push button", {role for role, _ in texts}, "the walk reached none of quenlo's buttons")
        typed_letters = set(TYPED + "hel")
        read = ["%s: %r" % (role, text) for role, text in texts if TYPED in text.lower() or text.lower() == "hel"
                or text in typed_letters or KEY_DISPLAY.match(text)]
        announced = ["%s: %r" % (kind, text) for source, kind, text in bus.announced
                     if source == pid and (TYPED[:3] in text.lower() or text in typed_letters)]
        self.assertEqual((read, announced), ([], []), "typed letters in quenlo's tree, in its events")

    def test_z_nothing_written_holds_the_password(self):
        # After the other tests (unittest runs them by name): the program ends, flushing what it keeps.
        self.quenlo.close()
        scanned = []
        for top in (self.quenlo.folder, self.quenlo.settings, os.path.join(self.desktop.workdir, ".cache"),
                    os.path.join(self.desktop.workdir, "runtime"), self.quenlo.log_path):
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


if __name__ == "__main__":
    sys.exit(main(__doc__, ["gdbus", "xterm"]))
