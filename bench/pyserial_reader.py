#!/usr/bin/env python3
"""Reads one flood of frame lines with pyserial's readline and reports what arrived.

Usage: pyserial_reader.py PORT COUNT LENGTHS_FILE

LENGTHS_FILE holds the expected length of each line (without CR LF), one per line. The script
prints "READY" once the port is open, then, after COUNT lines or a 2 s silence, one line:
"RESULT <lines> <good> <first_ns> <last_ns>" with monotonic-clock nanoseconds of the first and
last arrival.
"""
import sys
import time

import serial


def marker(index):
    return 560 + index % 1000


def main():
    port, count, lengths_file = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    with open(lengths_file) as f:
        lengths = [int(x) for x in f.read().split()]
    link = serial.Serial(port, 38400, timeout=2)
    print("READY", flush=True)
    lines = good = 0
    first = last = 0
    while lines < count:
        line = link.readline()
        if not line:
            break
        now = time.monotonic_ns()
        if lines == 0:
            first = now
        last = now
        body = line.rstrip(b"\r\n")
        if (lines < len(lengths) and len(body) == lengths[lines]
                and body.rsplit(b",", 1)[-1] == str(marker(lines)).encode()):
            good += 1
        lines += 1
    link.close()
    print(f"RESULT {lines} {good} {first} {last}", flush=True)


if __name__ == "__main__":
    main()
