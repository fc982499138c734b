#!/usr/bin/python3
"""End to end through IBus, under dbus-run-session: the real quenlo, as the engine of a private
ibus-daemon on Xvfb, runs the scenarios in GTK and Qt fields that use IBus's input-method module, and
publishes its suggestions as IBus's lookup table. Needs ibus, ibus-gtk3 and setxkbmap beside desktop.py's.
"""
import json
import os
import subprocess
import sys

from desktop import Desktop, FieldApp, Quenlo, QuenloCase, main, start_desktop, wait_until
from scenarios import LayoutScenarios, NumberScenarios, Scenarios, ShiftScenarios  # noqa: F401 (the suite's tests)


# An input context that draws the lookup table itself, as a desktop's IBus panel does: it types zeb, Down and
# Esc, each once the table shows the state before, and prints what it was shown (words, cursor, visibility and
# the labels the engine gave).
LOOKUP_CLIENT = """
import json
import sys
import time
import gi
gi.require_version("IBus", "1.0")
from gi.repository import GLib, IBus
bus = IBus.Bus()
context = bus.create_input_context("e2e-lookup")
context.set_capabilities(IBus.Capabilite.FOCUS | IBus.Capabilite.LOOKUP_TABLE)
seen = []
context.connect("update-lookup-table", lambda _c, table, visible: seen.append(
    [[table.get_candidate(i).get_text() for i in range(table.get_number_of_candidates())],
     table.get_cursor_pos(), visible,
     [label.get_text() for label in map(table.get_label, range(table.get_number_of_candidates())) if label]]))
context.connect("hide-lookup-table", lambda _c: seen.append("hidden"))
def until(condition):
    deadline = time.monotonic() + 10
    while not condition():
        if time.monotonic() > deadline:
            print(json.dumps(seen))
            sys.exit(1)
        GLib.MainContext.default().iteration(False)
        time.sleep(0.005)
def engine():
    desc = context.get_engine()
    return desc is not None and desc.get_name() == "quenlo"
context.focus_in()
until(engine)
def tap(keyval):
    context.process_key_event(keyval, 0, 0)
    context.process_key_event(keyval, 0, IBus.ModifierType.RELEASE_MASK)
for keyval in (IBus.KEY_z, IBus.KEY_e, IBus.KEY_b):
    tap(keyval)
until(lambda: seen and seen[-1] != "hidden")
tap(IBus.KEY_Down)
until(lambda: seen and seen[-1] != "hidden" and seen[-1][1] == 1)
tap(IBus.KEY_Escape)
until(lambda: seen and seen[-1] == "hidden")
context.focus_out()
print(json.dumps(seen))
"""


class IBusDesktop(Desktop):
    """Xvfb with a private ibus-daemon on the suite's session bus, its fields using IBus's module."""
    name = "ibus"

    def __init__(self, workdir):
        super().__init__(workdir)
        self.env.update({"DBUS_SESSION_BUS_ADDRESS": os.environ["DBUS_SESSION_BUS_ADDRESS"],
                         # No component of the system's: an installed quenlo's would compete with this one.
                         "IBUS_COMPONENT_PATH": workdir, "GTK_IM_MODULE": "ibus", "QT_IM_MODULE": "ibus"})
        self.start_ibus()
        wait_until(lambda: self.ask_ibus().returncode == 0, "ibus-daemon to answer")

    def start_quenlo(self, completion_key, name, words):
        # Its own windows stay off the input method it serves.
        env = {key: value for key, value in self.env.items() if key not in ("QT_IM_MODULE", "GTK_IM_MODULE")}
        quenlo = Quenlo(self, name, completion_key, "[Options]\nInputMethod=IBus\n", words, env)
        # The engine is offered once quenlo is up; choosing it is the user's one step.
        self.select_engine()
        return quenlo


def setUpModule():
    desktop = QuenloCase.desktop = start_desktop("quenlo-e2e-ibus-", IBusDesktop)
    QuenloCase.apps = {"gtk": FieldApp(desktop, "gtk", "e2e-gtk"), "qt": FieldApp(desktop, "qt", "e2e-qt")}


class LookupTable(QuenloCase):
    # Blank: a panel would number rows without labels itself, though no digit picks them.
    labels = [" ", " "]

    def test_suggestions_are_published_as_the_lookup_table(self):
        result = subprocess.run(["/usr/bin/python3", "-c", LOOKUP_CLIENT], env=self.desktop.env,
                                capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 0, "the lookup table went through " + result.stdout + result.stderr)
        shown = [entry for entry in json.loads(result.stdout) if entry != "hidden"]
        self.assertEqual(shown[0], [["zebra", "zebu"], 0, True, self.labels])
        self.assertEqual(shown[-1], [["zebra", "zebu"], 1, True, self.labels])
        wait_until(self.desktop.popup_hidden, "Esc to hide Form2 too")


class NumberedLookupTable(LookupTable):
    """With the number keys picking rows, the rows carry their digits as labels."""
    completion_key = "tab+digits"
    labels = ["1", "2"]


if __name__ == "__main__":
    sys.exit(main(__doc__, ["ibus", "ibus-daemon", "setxkbmap"]))
