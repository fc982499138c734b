#!/usr/bin/python3
"""Key -> text in a native Wayland GTK field through GNOME's own input method, on 100,000 words: the
real quenlo in the GNOME end-to-end suite's headless session.

usage: gnomelatency.py --quenlo PATH --qtfield PATH [--rounds N]
"""
import argparse
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from desktop import OPTIONS, WAIT_SECONDS, Failed, wait_until  # noqa: E402
from e2e_desktop import Gnome, WaylandField, start_session  # noqa: E402


def numbered_letters(number, count):
    """As the other latency benchmarks name their words: word n begins with numbered_letters(n // 26, 3)."""
    return "".join(chr(ord("a") + number // 26 ** (count - 1 - i) % 26) for i in range(count))


def percentile(values, fraction):
    values = sorted(values)
    return values[min(int(fraction * (len(values) - 1) + 0.5), len(values) - 1)]


def bench(rounds):
    words = [numbered_letters(i, 4) + "ing" for i in range(100000)]
    gnome = start_session(Gnome, "quenlo-bench-gnome-", words)
    field = WaylandField(gnome, "gtk")

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
    parser = argparse.ArgumentParser(description="key -> text in the field on GNOME")
    for option in ("--quenlo", "--qtfield"):
        parser.add_argument(option, required=True)
    parser.add_argument("--rounds", type=int, default=200)
    vars(OPTIONS).update(vars(parser.parse_args()))
    try:
        bench(OPTIONS.rounds)
    finally:
        unittest.doModuleCleanups()
