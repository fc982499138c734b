#!/usr/bin/python3
"""End to end: words typed in German, French, Russian and Greek keyboard layouts, with dead keys and a
compose key, complete to the right word in xterm and a GTK field.

Starts Xvfb, the built quenlo beside a words.mdb of its own, xterm and a GTK text field; each row sets
its layout with setxkbmap while quenlo runs and types its keys by keysym.

usage: e2e_languages.py --quenlo PATH [unittest options]
"""
import sys

from desktop import FieldApp, Quenlo, QuenloCase, XtermApp, kept, main, start_desktop, wait_until

# "berlin" is what a buffer without the ü would offer for "über" (and Tab would insert "lin").
WORDS = ["berlin", "überall", "Straßenbahn", "éclair", "привет", "λόγος", "schnee", "schule"]
# Layout (setxkbmap arguments), keys, what the field holds after Tab: the completed word, or for a
# word the list does not hold, the letters typed (no pop-up, so Tab reaches the field).
ROWS = [
    ("German umlaut", ["-layout", "de"], ["udiaeresis", "b", "e", "r"], "überall"),
    ("German sharp s", ["-layout", "de"], ["S", "t", "r", "a", "ssharp"], "Straßenbahn"),
    ("AZERTY é key", ["-layout", "fr"], ["eacute", "c", "l"], "éclair"),
    ("dead acute", ["-layout", "de"], ["dead_acute", "e", "c", "l"], "éclair"),
    ("compose key", ["-layout", "us", "-option", "compose:ralt"], ["Multi_key", "apostrophe", "e", "c", "l"],
     "éclair"),
    ("Cyrillic", ["-layout", "ru"], ["Cyrillic_pe", "Cyrillic_er", "Cyrillic_i"], "привет"),
    ("Greek, ending in final sigma", ["-layout", "gr"],
     ["Greek_lamda", "dead_acute", "Greek_omicron", "Greek_gamma"], "λόγος"),
    ("letters the list lacks", ["-layout", "de"], ["s", "c", "h", "odiaeresis"], None),
]


def setUpModule():
    desktop = QuenloCase.desktop = start_desktop("quenlo-e2e-languages-")
    QuenloCase.apps = {"xterm": kept(XtermApp(desktop, "e2e-xterm")), "gtk": kept(FieldApp.gtk(desktop, "e2e-gtk"))}


def shown(app):
    """The text the application holds; xterm's bytes are UTF-8."""
    text = app.text()
    return text.encode("latin-1").decode("utf-8", "replace") if isinstance(app, XtermApp) else text


class Languages(QuenloCase):
    @classmethod
    def setUpClass(cls):
        cls.quenlo = Quenlo(cls.desktop, "languages", words=WORDS)
        cls.addClassCleanup(cls.quenlo.close)

    @classmethod
    def tearDownClass(cls):
        cls.desktop.run("setxkbmap", "-layout", "us", "-option", "")

    def test_words_complete_in_each_layout(self):
        for name, layout, keys, completed in ROWS:
            self.desktop.run("setxkbmap", "-option", "", *layout)
            for app_name, app in self.apps.items():
                with self.subTest(row=name, app=app_name):
                    app.reset()
                    self.desktop.key(*keys)
                    if completed:
                        wait_until(self.desktop.popup_shown, "the pop-up")
                    self.desktop.key("Tab")
                    expected = completed or "sch\u00f6"
                    if not completed:
                        self.wait_for(lambda: "Tab" in app.keys(), lambda: "Tab never reached %s" % app_name)
                        self.assertTrue(self.desktop.popup_hidden(), "a pop-up for letters the list lacks")
                    self.wait_for(lambda: shown(app) == expected,
                                  lambda: "the application holds %r, not %r" % (shown(app), expected))


if __name__ == "__main__":
    sys.exit(main(__doc__, ["xterm", "setxkbmap"], qtfield=False))
