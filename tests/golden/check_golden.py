#!/usr/bin/env python3
"""Runs the built program on every NAME.deck of a folder (recursively) and
compares standard output, standard error and the exit status with NAME.out,
NAME.err and NAME.status beside it, byte for byte.

The line number in "Subscript out of range on file line N" names a line of
the program's own source and is not compared.

  check_golden.py PROGRAM FOLDER
"""
import os
import re
import subprocess
import sys

LINE_NO = re.compile(rb"^(Subscript out of range on file line )\d+", re.M)


def mask(text):
    return LINE_NO.sub(rb"\1N", text)


def first_difference(what, got, want):
    g, w = got.split(b"\n"), want.split(b"\n")
    for i in range(max(len(g), len(w))):
        a = g[i] if i < len(g) else b"<missing>"
        b = w[i] if i < len(w) else b"<missing>"
        if a != b:
            return f"{what} line {i + 1}:\n    got:  {a!r}\n    want: {b!r}"
    return f"{what}: differs"


def main():
    program, folder = sys.argv[1], sys.argv[2]
    decks = sorted(os.path.join(d, f) for d, _, fs in os.walk(folder) for f in fs if f.endswith(".deck"))
    failed = 0
    for deck in decks:
        base = deck[:-5]
        with open(deck, "rb") as f:
            data = f.read()
        p = subprocess.run([program], input=data, capture_output=True, timeout=30)
        problems = []
        want_out = open(base + ".out", "rb").read()
        want_err = open(base + ".err", "rb").read()
        want_status = int(open(base + ".status").read().strip())
        if p.stdout != want_out:
            problems.append(first_difference("stdout", p.stdout, want_out))
        if mask(p.stderr) != mask(want_err):
            problems.append(first_difference("stderr", mask(p.stderr), mask(want_err)))
        if p.returncode != want_status:
            problems.append(f"exit status: got {p.returncode}, want {want_status}")
        if problems:
            failed += 1
            print(f"FAIL {os.path.relpath(deck, folder)}")
            for line in problems:
                print("  " + line)
    print(f"{len(decks) - failed} passed, {failed} failed")
    return 1 if failed or not decks else 0


if __name__ == "__main__":
    sys.exit(main())
