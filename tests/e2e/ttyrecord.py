#!/usr/bin/python3
"""Runs inside xterm for the end-to-end test: puts the terminal in raw mode and records every byte
the terminal sends, each with the time it arrived, as 9-byte records (CLOCK_MONOTONIC nanoseconds as
8 bytes little-endian, then the byte).
usage: ttyrecord.py OUTPUT
"""
import os
import struct
import sys
import time
import tty

tty.setraw(sys.stdin.fileno())
with open(sys.argv[1], "wb", buffering=0) as output:
    while True:
        data = os.read(sys.stdin.fileno(), 4096)
        if not data:
            break
        now = time.monotonic_ns()
        output.write(b"".join(struct.pack("<Qc", now, bytes([byte])) for byte in data))
