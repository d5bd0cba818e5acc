#!/usr/bin/env python3
"""A run that ends in failure costs no more than a complete report.

  failure_cost.py PROGRAM TYPICAL_DECK

Counts the instructions of whole runs with valgrind's callgrind, which
counts the same for the same program and input whatever else the machine
does, in an empty environment: the typical deck's complete report, then
a rejected deck, empty input, a deck that ends too early and a deck with
an unreadable value. Each failure must cost at most 1.2 times the report.
Exits 77 (skipped) without valgrind.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

LIMIT = 1.2


def instructions(program, deck_bytes, scratch):
    deck = os.path.join(scratch, "deck")
    with open(deck, "wb") as f:
        f.write(deck_bytes)
    out = os.path.join(scratch, "callgrind.out")
    with open(deck, "rb") as source:
        p = subprocess.run(
            ["env", "-i", "valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", program],
            stdin=source, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    m = re.search(rb"Collected : (\d+)", p.stderr)
    if not m:
        sys.exit(f"no instruction count from valgrind:\n{p.stderr.decode(errors='replace')}")
    return int(m.group(1))


def main():
    program, typical = sys.argv[1:3]
    if shutil.which("valgrind") is None:
        print("valgrind is not installed")
        return 77
    with open(typical, "rb") as f:
        typical_deck = f.read()
    failures = {
        "rejected deck": b"0 0 1 0 0 0\n3\n",
        "empty input": b"",
        "deck that ends too early": b"2 1 1 0 0 0\n1\n1 1\n",
        "unreadable value": b"2 1 1 0 0 0\nx\n",
    }
    with tempfile.TemporaryDirectory() as scratch:
        report = instructions(program, typical_deck, scratch)
        print(f"complete report: {report:,} instructions")
        worst = 0.0
        for name, deck in failures.items():
            cost = instructions(program, deck, scratch)
            ratio = cost / report
            worst = max(worst, ratio)
            print(f"{name}: {cost:,} instructions, {ratio:.2f} times the report")
    if worst > LIMIT:
        print(f"a failure costs {worst:.2f} times a complete report, more than {LIMIT}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
