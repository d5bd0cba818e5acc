#!/usr/bin/env python3
"""Whole-process cost of one run, side by side with the floor.

Runs the program on a deck many times, and the floor program (a static copy
of standard input to standard output) on the report that the program writes,
as many times; prints wall time and CPU time per run and their ratios to the
floor, and, when valgrind is there, the instructions of one run of each.

  startup_bench.py PROGRAM FLOOR DECK [RUNS]

bench/typical.deck is the typical problem: three predictors, one criterion,
overall mode, quality on the criterion composite, two requested ratios.
glibc's start-up reads the environment, so a large environment adds some
thousands of instructions to both programs alike; `env -i` leaves it out.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time


def cost(argv, input_path, runs):
    """Mean wall and CPU (user + system) seconds per run. posix_spawn keeps
    the cost of this script's own process out of the child's figures."""
    cpu = 0.0
    start = time.perf_counter()
    sink = os.open(os.devnull, os.O_WRONLY)
    try:
        for _ in range(runs):
            source = os.open(input_path, os.O_RDONLY)
            pid = os.posix_spawn(argv[0], argv, os.environ,
                                 file_actions=[(os.POSIX_SPAWN_DUP2, source, 0),
                                               (os.POSIX_SPAWN_DUP2, sink, 1)])
            os.close(source)
            _, status, usage = os.wait4(pid, 0)
            if os.waitstatus_to_exitcode(status) != 0:
                sys.exit(f"{argv[0]} failed")
            cpu += usage.ru_utime + usage.ru_stime
    finally:
        os.close(sink)
    wall = time.perf_counter() - start
    return wall / runs, cpu / runs


def instructions(argv, input_path):
    if shutil.which("valgrind") is None:
        return None
    with tempfile.TemporaryDirectory() as scratch, open(input_path, "rb") as source:
        out = os.path.join(scratch, "callgrind.out")
        p = subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}"] + argv,
                           stdin=source, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        m = re.search(rb"Collected : (\d+)", p.stderr)
        return int(m.group(1)) if m else None


def main():
    program, floor, deck = sys.argv[1:4]
    runs = int(sys.argv[4]) if len(sys.argv) > 4 else 2000
    with tempfile.NamedTemporaryFile(suffix=".out") as report:
        subprocess.run([program], stdin=open(deck, "rb"), stdout=report, check=True)
        report.flush()
        # Interleave the two, so that a busy machine weighs on both alike.
        totals = {"program": [0.0, 0.0], "floor": [0.0, 0.0]}
        rounds = 10
        for _ in range(rounds):
            for name, argv, source in (("program", [program], deck), ("floor", [floor], report.name)):
                wall, cpu = cost(argv, source, runs // rounds)
                totals[name][0] += wall / rounds
                totals[name][1] += cpu / rounds
        program_ir = instructions([program], deck)
        floor_ir = instructions([floor], report.name)
    (pw, pc), (fw, fc) = totals["program"], totals["floor"]
    print(f"runs: {runs} of each")
    print(f"{'':12}{'wall us':>10}{'cpu us':>10}{'instructions':>14}")
    print(f"{'fourfifths':12}{pw * 1e6:10.1f}{pc * 1e6:10.1f}{program_ir or 0:14,}")
    print(f"{'floor':12}{fw * 1e6:10.1f}{fc * 1e6:10.1f}{floor_ir or 0:14,}")
    print(f"ratio to the floor: wall {pw / fw:.2f}, cpu {pc / fc:.2f}", end="")
    if program_ir and floor_ir:
        print(f", instructions {program_ir / floor_ir:.2f}")
    else:
        print()


if __name__ == "__main__":
    main()
