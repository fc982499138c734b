#!/usr/bin/python3
"""End to end: a completion on X11 leaves the user's clipboard as it was. After completions in xterm
and a GTK field, every target another application (selectionowner) offered on CLIPBOARD (texts, HTML,
an image sent in INCR pieces) and PRIMARY comes back byte for byte; an empty clipboard stays empty; a
copy made while the completion's text is on the clipboard stays; and a clipboard manager finds the
history hint on that text whenever it looks before the restore, and never keeps it.
"""
import contextlib
import json
import os
import random
import struct
import subprocess
import sys
import threading
import time
import zlib

from desktop import (HERE, WAIT_SECONDS, Failed, FieldApp, QuenloCase, XtermApp, main, read_line, start_desktop,
                     stopped, wait_until)

SELECTIONS = ("CLIPBOARD", "PRIMARY")
HINT = "x-kde-passwordManagerHint"
MARK = "QUENLO_TEST_MARK"  # a selection no application uses
WORDS = [("hel", "hello"), ("wor", "world"), ("won", "wonder"), ("zeb", "zebra")]
SELECTION_OWNER = ["/usr/bin/python3", os.path.join(HERE, "selectionowner.py")]
RESTORE_BOUND_SECONDS = 3  # longer than any bound after which what was never fetched comes back
# Well within the bound after which what the application has not fetched comes back.
HOLD_SECONDS = 0.4


def png(width, height, seed):
    """A real PNG of noise, which compresses to about its raw size."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rng = random.Random(seed)
    rows = b"".join(b"\0" + rng.randbytes(width * 3) for _ in range(height))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")


LINK = "https://example.org/important"
# Each target different, so that one served for another shows.
COPIED = {
    "CLIPBOARD": {"text/plain": (LINK + "\n").encode(), "UTF8_STRING": (LINK + " – tête-à-tête ✓").encode(),
                  "text/html": ('<meta charset="utf-8"><a href="%s">important ✓</a>' % LINK).encode(),
                  "image/png": png(300, 300, 1)},  # 270 kB: sent in INCR pieces
    "PRIMARY": {"UTF8_STRING": "selected words, ü".encode()},
}
LATER_COPY = {"text/plain": b"copied later", "UTF8_STRING": "copied later ✓".encode()}

# What both selections hold before the completions, how many completions in each application, and a
# copy made while the completion's text is on the clipboard, which must stay.
CASES = [
    ("copied", COPIED, 20, None),
    ("empty", {}, 1, None),
    ("copy after the completion", COPIED, 1, LATER_COPY),
]


class Selections:
    """selectionowner on the desktop, owning as another application, reading both selections, and
    watching owner changes as a clipboard manager."""

    def __init__(self, desktop):
        self.desktop = desktop
        pipes = {"stdout": subprocess.PIPE, "text": True}
        self.owner = desktop.launch(SELECTION_OWNER + ["serve"], "owner", stdin=subprocess.PIPE, **pipes)
        self.manager = desktop.launch(SELECTION_OWNER + ["watch", *SELECTIONS, MARK], "manager", **pipes)
        self.seen = []  # the manager's lines, split
        read_line(self.manager, "selectionowner")
        threading.Thread(target=lambda: self.seen.extend(line.split() for line in self.manager.stdout),
                         daemon=True).start()

    def own(self, selection, targets):
        """selection owned by another application with targets, or by none without."""
        files = []
        for number, (target, data) in enumerate(targets.items()):
            path = os.path.join(self.desktop.workdir, "%s-%d" % (selection, number))
            with open(path, "wb") as file:
                file.write(data)
            files += [target, path]
        self.owner.stdin.write(" ".join(["own" if targets else "clear", selection, *files]) + "\n")
        self.owner.stdin.flush()
        if read_line(self.owner, "selectionowner") != "ok":
            raise Failed("could not take " + selection)

    def read(self):
        """{selection: (owner, {target: (type, format, bytes)})} for both selections; nothing when the
        reader, a GTK program of its own, did not finish in time on a busy machine (the caller polls)."""
        try:
            output = subprocess.run(SELECTION_OWNER + ["dump", *SELECTIONS], env=self.desktop.env, check=True,
                                    capture_output=True, timeout=WAIT_SECONDS).stdout
        except subprocess.TimeoutExpired:
            return {}
        return {selection: (owner, {target: (kind, format_, bytes.fromhex(data))
                                    for target, (kind, format_, data) in targets.items()})
                for selection, (owner, targets) in json.loads(output).items()}

    def caught_up(self):
        """The number of the manager's lines once it has looked at every owner change so far: a
        change of a selection of the test's own comes after them."""
        marks = self.seen.count([MARK, "none"])
        self.own(MARK, {})
        wait_until(lambda: self.seen.count([MARK, "none"]) > marks, "the manager to catch up")
        return max(number for number, line in enumerate(self.seen) if line[0] == MARK) + 1

    def found(self, since, selection):
        """What the manager found on each owner change of selection since line number since."""
        return [line[2:] or line[1:] for line in self.seen[since:] if line[0] == selection]

    def kept_texts(self, since):
        """The texts the manager would have put in its history since line number since."""
        return [bytes.fromhex(line[3]).decode(errors="replace") for line in self.seen[since:]
                if line[2:3] == ["text"] and len(line) > 3]


def as_served(content):
    """What a reader gets of content as selectionowner serves it."""
    return {selection: {target: (target, 8, data) for target, data in content.get(selection, {}).items()}
            for selection in SELECTIONS}


def differences(expected, found):
    """How found falls short of expected: a selection without an owner stays so, every target listed before
    comes back with the same type, format and bytes, and nothing is left marked for history tools."""
    faults = []
    for selection, targets in expected.items():
        owner, now = found.get(selection, (None, None))
        if now is None:
            faults.append("%s not read yet" % selection)
            continue
        if not targets and owner:
            faults.append("%s owned by 0x%x instead of none" % (selection, owner))
        if HINT in now and HINT not in targets:
            faults.append("%s still marked for history tools to skip" % selection)
        for target, served in targets.items():
            got = now.get(target)
            if got != served:
                faults.append("%s %s: %s instead of %s/%d, %d bytes" % (
                    selection, target, "missing" if got is None else "%s/%d, %d bytes" % (got[0], got[1], len(got[2])),
                    served[0], served[1], len(served[2])))
    return faults


def setUpModule():
    desktop = QuenloCase.desktop = start_desktop("quenlo-e2e-clipboard-")
    ClipboardKept.selections = Selections(desktop)
    QuenloCase.apps = {"xterm": XtermApp(desktop, "e2e-clip-xterm"), "gtk": FieldApp(desktop, "gtk", "e2e-clip-gtk")}


class ClipboardKept(QuenloCase):
    selections = None

    def settled(self, expected):
        """Waits until both selections hold what expected says."""
        found = {}

        def matches():
            found.update(self.selections.read())
            return not differences(expected, found)
        self.wait_for(matches, lambda: "; ".join(differences(expected, found)))

    def test_completions_leave_both_selections_as_they_were(self):
        for case, content, completions, later_copy in CASES:
            def scenario(name, app):
                for selection in SELECTIONS:
                    self.selections.own(selection, content.get(selection, {}))
                before = as_served(content)
                self.settled(before)
                marked = set()  # the selections on which the manager found the hint
                for number in range(completions):
                    prefix, word = WORDS[number % len(WORDS)]
                    app.reset()
                    since = self.selections.caught_up()
                    self.desktop.key(*prefix)
                    wait_until(self.desktop.popup_shown, "the pop-up for " + prefix)
                    if later_copy:
                        self.copy_while_pasting(app, since, later_copy)
                    else:
                        marked.update(self.complete(app, word, word[len(prefix):], since, number % 2 == 0))
                        self.settled(before)
                if not later_copy:
                    self.assertEqual(marked, set(SELECTIONS), "the manager never found the hint on some")

            with self.subTest(case=case):
                self.each_app(scenario)

    def complete(self, app, word, fragment, since, held_for_manager):
        """Tab over the pop-up; the selections on which the manager found the hint. Held for the
        manager, the application waits a little until the manager has looked at both selections, so
        that it finds the fragment unless the machine is very slow; else the restore may well come
        first. Either way the manager never keeps the fragment."""
        marked = set()
        if held_for_manager:
            with stopped(app.process):
                self.desktop.key("Tab")
                with contextlib.suppress(Failed):
                    wait_until(lambda: all(self.selections.found(since, selection) for selection in SELECTIONS),
                               "", timeout=HOLD_SECONDS)
            for selection in SELECTIONS:
                finding = (self.selections.found(since, selection) or [[]])[0]
                if finding[:1] == ["hint"]:
                    self.assertEqual(finding, ["hint", "secret"], "what the manager found on " + selection)
                    marked.add(selection)
        else:
            self.desktop.key("Tab")
        self.wait_text(app, word)
        self.assertNotIn(fragment, self.selections.kept_texts(since))
        return marked

    def copy_while_pasting(self, app, since, copy):
        """Tab, and a copy made as soon as the completion's text is on CLIPBOARD, while the application
        is stopped so that it fetches nothing meanwhile: the copy stays, PRIMARY comes back."""
        with stopped(app.process):
            self.desktop.key("Tab")
            pressed = time.monotonic()
            self.wait_for(lambda: self.selections.found(since, "CLIPBOARD"),
                          lambda: "no fragment on CLIPBOARD; the manager saw %s" % self.selections.seen[since:])
            self.selections.own("CLIPBOARD", copy)
        expected = as_served({"CLIPBOARD": copy, "PRIMARY": COPIED["PRIMARY"]})
        self.settled(expected)
        # Past the bound, nothing is restored over the copy.
        time.sleep(max(0, pressed + RESTORE_BOUND_SECONDS - time.monotonic()))
        self.settled(expected)


if __name__ == "__main__":
    sys.exit(main(__doc__, ["xterm"], qtfield=False))
