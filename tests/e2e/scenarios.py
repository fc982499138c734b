"""The scenarios every desktop runs: what is typed into a text field and what it must hold after,
written once. A desktop's suite is an adapter: it starts the session, quenlo and a field of each
toolkit it supports (QuenloCase.desktop and .apps), and its desktop object sends keys (press), tells
whether the pop-up shows and where, and which window has the focus. A row says on which desktops
(or desktop/toolkit) it cannot run, and why.
"""
import copy
import sqlite3
import unittest

from desktop import Failed, QuenloCase, wait_until

# Typed a millisecond apart, as an auto-typer would: the completions must land in order.
BURST = "fox zeb\t jumps zea\t over quo\t the zeb\t dog quo\t end"
BURST_TEXT = "fox zebra jumps zealot over quorum the zebra dog quorum end"
BURSTS = 8
HOOK = "the hook lets a completion key pass when the program is late: e2e_completion's own bursts prove " \
       "the order in xterm"
# Seen there (GNOME and KWin hold such a Tab until the word is looked up).
PASSED = "a Tab 1 ms behind its word may come before the engine has looked the word up, and is let through: " \
         "the focus moves on, and the text is no longer in one field"
# The key moves the focus on and KWin destroys the input context; Debian 12's ibus-wayland sends a key whose
# answer comes back later (its release) through that context, and KWin drops it ("invalid method 10").
KWIN_TAB = "Debian 12's ibus-wayland: a key that moves the focus makes it use a destroyed input context at " \
           "times, and KWin disconnects it: no key reaches any field after it"
SESSION_KEY = "IBus starts quenlo there, with the one completion key of the session"
SHIFT_SKIPS = {"kwin": SESSION_KEY, "gnome": SESSION_KEY}


class Row:
    def __init__(self, name, typed="zeb", keys=(), text=None, reaches=(), swallowed=(), gap_ms=30, kind="keys",
                 popup=True, skip=None, layout=None, presses=None):
        self.name, self.typed, self.keys, self.text = name, typed, list(keys), text
        self.reaches, self.swallowed, self.gap_ms, self.kind, self.popup = reaches, swallowed, gap_ms, kind, popup
        self.skip, self.layout, self.presses = skip or {}, layout, presses or list(typed)

    def skipped(self, desktop, app=None):
        return self.skip.get("%s/%s" % (desktop, app)) or self.skip.get(desktop)

    def also_skipped(self, skip):
        """A copy of the row, skipped where skip says as well."""
        row = copy.copy(self)
        row.skip = dict(self.skip, **skip)
        return row


TAB_ROWS = [
    Row("tab_completes_and_is_swallowed", keys=["Tab"], text="zebra", swallowed=["Tab"]),
    Row("down_then_tab_takes_the_second_word", keys=["Down", "Tab"], text="zebu", swallowed=["Down", "Tab"]),
    # Down on the last row is the field's (a GTK entry moves the focus on: the rest follows it).
    Row("down_on_the_last_row_reaches_the_field", keys=["Down", "Down", "Tab"], text="zebu", reaches=["Down"],
        skip={"kwin": KWIN_TAB}),
    Row("escape_hides_the_popup_and_reaches_the_field", keys=["Escape"], text="zeb", reaches=["Escape"]),
    # The keys behind a completion wait for it: exactly once, in order.
    Row("letters_typed_at_once_behind_a_completion_follow_it", keys=["Tab", "x", "y"], text="zebraxy",
        swallowed=["Tab"], gap_ms=0),
    Row("a_capital_is_typed_over_the_popup", keys=["A"], text="zebA",
        skip={"kwin": "its fake keyboard types no Shift"}),
    Row("capitals_complete_in_capitals", typed="ZEB", keys=["Tab"], text="ZEBRA", swallowed=["Tab"],
        skip={"kwin": "its fake keyboard types no Shift"}),
    Row("space_ends_the_word_and_tab_is_the_fields_again", keys=["space", "Tab"], text="zeb ", reaches=["Tab"],
        skip={"kwin": KWIN_TAB}),
    Row("no_key_is_swallowed_without_a_popup", typed="qq", keys=["Tab", "Down", "Escape"], text="qq",
        reaches=["Tab", "Down", "Escape"], popup=False, skip={"kwin": KWIN_TAB}),
    Row("password_field_offers_nothing_and_completion_comes_back", kind="password",
        skip={"x11": "fields tell their role over the accessibility bus: e2e_privacy proves it",
              "kwin/gtk": "Debian 12's ibus-wayland loses the keys typed into a GTK password field"}),
    Row("bursts_keep_the_order_typed", kind="burst",
        skip={"x11": HOOK, "ibus/gtk": PASSED, "sway": PASSED, "kwin": "its fake keyboard types 20 ms apart at best"}),
    Row("a_locked_word_database_holds_no_key", kind="locked", skip={"kwin": KWIN_TAB}),
    Row("popup_at_the_corner_takes_no_focus", kind="corner"),
]
NUMBER_ROWS = [
    # The digit is swallowed: the field holds no "2".
    Row("a_digit_picks_its_row", keys=["2"], text="zebu"),
    # Typed, it is no part of the word: Tab still completes zeb.
    Row("a_digit_beyond_the_list_is_typed", keys=["3", "Tab"], text="zeb3ra", swallowed=["Tab"]),
]
# Typed by keysym in a layout (setxkbmap arguments): what the field shows, then Tab completes. A layout's own
# letter, ß, a dead key, the compose key and Cyrillic letters; Greek's dead keys are the compose table's
# (tst_keymapping).
LAYOUT_WORDS = ["berlin", "überall", "Straßenbahn", "éclair", "привет", "schnee", "schule"]
DE = ["-layout", "de"]
# A row with a pop-up costs the IBus suite some 17 s: there the German rows stand for a layout's letter
# and a dead key.
ON_X11 = {"ibus": "the engine takes these as the German rows' letter and dead key"}


def layout_row(name, layout, presses, typed, text, skip=ON_X11):
    return Row(name, typed, ["Tab"], text, layout=layout, presses=presses, swallowed=["Tab"], skip=skip)


LAYOUT_ROWS = [
    # Without the ü the buffer would hold "ber" and Tab would insert "lin".
    layout_row("german_umlaut", DE, ["udiaeresis", "b", "e", "r"], "über", "überall", skip={}),
    layout_row("german_sharp_s", DE, ["S", "t", "r", "a", "ssharp"], "Straß", "Straßenbahn"),
    layout_row("dead_acute", DE, ["dead_acute", "e", "c", "l"], "écl", "éclair", skip={}),
    layout_row("compose_key", ["-layout", "us", "-option", "compose:ralt"], ["Multi_key", "apostrophe", "e", "c", "l"],
               "écl", "éclair"),
    layout_row("cyrillic", ["-layout", "ru"], ["Cyrillic_pe", "Cyrillic_er", "Cyrillic_i"], "при", "привет"),
    # No word begins so: no pop-up, and Tab is the field's.
    Row("letters_the_list_lacks", "schö", ["Tab"], "schö", layout=DE, presses=["s", "c", "h", "odiaeresis"],
        reaches=["Tab"], popup=False),
]
SHIFT_ROWS = [
    Row("shift_completes", keys=["Shift_L"], text="zebra", skip=SHIFT_SKIPS),
    Row("tab_is_an_ordinary_key_with_shift_completing", keys=["Tab"], text="zeb", reaches=["Tab"], skip=SHIFT_SKIPS),
]


class Table(QuenloCase):
    """Runs rows on the desktop of the suite, in each of its fields, with quenlo completing with
    completion_key."""
    rows = []

    @classmethod
    def setUpClass(cls):
        if all(row.skipped(cls.desktop.name) for row in cls.rows):
            raise unittest.SkipTest(cls.rows[0].skipped(cls.desktop.name))
        super().setUpClass()
        if any(row.layout for row in cls.rows):
            cls.addClassCleanup(cls.desktop.run, "setxkbmap", "-layout", "us", "-option", "")

    def run_row(self, row):
        for name, app in self.apps.items():
            with self.subTest(app=name):
                reason = row.skipped(self.desktop.name, name)
                if reason:
                    self.skipTest(reason)
                app.reset()
                getattr(self, "run_" + row.kind)(row, app)

    def offer(self, app, typed, popup=True, presses=None):
        """Types typed (by presses) and waits for it and the pop-up. Keys that come before the field's input
        context reaches the engine (or, on GNOME, before it tells the field's purpose again) pass untouched:
        another try starts over, three in all."""
        for attempt in range(3):
            self.desktop.press(presses or list(typed), 30)
            try:
                wait_until(lambda: app.text() == typed, "%r in the field" % typed)
                if popup:
                    wait_until(self.desktop.popup_shown, "the pop-up after " + typed, timeout=8)
                return
            except Failed:
                if attempt == 2:
                    self.fail("after typing %r three times the field holds %r and the pop-up is %s" % (
                        typed, app.text(), "up" if self.desktop.popup_shown() else "down"))
                app.reset()

    def run_keys(self, row, app):
        if row.layout:
            self.desktop.run("setxkbmap", "-option", "", *row.layout)
        self.offer(app, row.typed, row.popup, row.presses)
        self.desktop.press(row.keys, row.gap_ms)
        self.wait_text(app, row.text)
        wait_until(self.desktop.popup_hidden, "the pop-up to hide")
        for key in row.reaches:
            self.wait_for(lambda: app.names[key] in app.keys(), lambda: "%s never reached the field" % key)
        for key in row.swallowed:
            self.assertNotIn(app.names[key], app.keys())
        if not row.reaches:
            self.assertTrue(app.focus_kept(), "the focus stays in the field")

    def run_password(self, row, app):
        app.ask("password")
        self.wait_for(lambda: app.ask("state")["focus"] == "password", lambda: "the password field has no focus")
        self.desktop.press(list("zeb"), 30)
        self.wait_for(lambda: app.ask("state")["password"] == "zeb",
                      lambda: "the password field holds %r" % app.ask("state")["password"])
        self.assertFalse(self.desktop.popup_shown(), "a pop-up over a password field")
        # No word was seen there: Tab is the field's.
        self.desktop.press(["Tab"], 0)
        self.wait_for(lambda: app.names["Tab"] in app.keys(), lambda: "Tab never reached the password field")
        self.assertEqual(app.ask("state")["password"], "zeb")
        app.reset()
        self.run_keys(TAB_ROWS[0], app)

    def run_burst(self, row, app):
        wrong = []
        for _ in range(BURSTS):
            app.reset()
            self.desktop.press(["Tab" if char == "\t" else "space" if char == " " else char for char in BURST], 1)
            try:
                wait_until(lambda: app.text() == BURST_TEXT, "the burst")
            except Failed:
                wrong.append(app.text())
        self.assertEqual(wrong, [], "bursts lost, doubled or reordered")

    def run_locked(self, row, app):
        self.offer(app, "zeb")
        # Another program holds words.mdb: the lookup for the next letter finds nothing in time.
        lock = sqlite3.connect(self.quenlo.database, isolation_level=None, timeout=5)
        try:
            lock.execute("BEGIN EXCLUSIVE")
            self.desktop.press(["r", "Tab"], 30)
            self.wait_for(lambda: app.names["Tab"] in app.keys(), lambda: "Tab waited for the word database")
        finally:
            lock.close()
        wait_until(self.desktop.popup_hidden, "the pop-up to hide")
        # The Tab passed is never completed later.
        self.desktop.press(["q"], 0)
        self.wait_text(app, "zebrq")
        self.assertEqual(app.keys().count(app.names["Tab"]), 1)

    def run_corner(self, row, app):
        self.offer(app, "zeb")
        self.assertEqual(self.desktop.popup()[1:], (0, 0), "the pop-up sits at the top-left corner")
        self.assertTrue(self.desktop.has_focus(app), "the pop-up took the focus")
        self.desktop.press(["Escape"], 0)


def with_rows(table):
    """table with a test for each of its rows."""
    for each in table.rows:
        setattr(table, "test_" + each.name, lambda self, row=each: self.run_row(row))
    return table


def suite_table(name, rows, **settings):
    """A Table of rows, with settings (completion_key, words) of its own; counted as the running suite's own
    tests, so that they run inside its module set-up."""
    return with_rows(type(name, (Table,), dict(settings, rows=rows, __module__="__main__")))


Scenarios = suite_table("Scenarios", TAB_ROWS)
NumberScenarios = suite_table("NumberScenarios", NUMBER_ROWS, completion_key="tab+digits")
LayoutScenarios = suite_table("LayoutScenarios", LAYOUT_ROWS, words=LAYOUT_WORDS)
ShiftScenarios = suite_table("ShiftScenarios", SHIFT_ROWS, completion_key="shift")
