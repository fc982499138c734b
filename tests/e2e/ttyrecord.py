#!/usr/bin/python3
"""Runs inside xterm for the end-to-end test: puts the terminal in raw mode and records every byte the
terminal sends, as it comes.
usage: ttyrecord.py OUTPUT
"""
import os
import sys
import tty

tty.setraw(sys.stdin.fileno())
with open(sys.argv[1], "wb", buffering=0) as output:
    while True:
        data = os.read(sys.stdin.fileno(), 4096)
        if not data:
            break
        output.write(data)
