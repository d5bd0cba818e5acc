#!/usr/bin/env python3
"""Scenarios per second: fourfifths-explore batch against the classic
program run once per deck.

Generates N typical scenarios (three predictors, one criterion, overall
mode, the built-in ratios and two requested ones, as bench/typical.deck,
with varied effect sizes and ids) as JSON Lines, and times one
`fourfifths-explore batch` run over them with the precise method, every
core, standard output to /dev/null. Then writes M decks of the same kind
and times the classic program on them, one process per deck, as many at
once as there are cores. Prints wall and CPU time and scenarios per second
of each; the ratio of the two programs' scenarios per CPU-second, counting
only their own CPU (the kernel's accounting of each child: not this
script's cost of starting them), which should be at least 15 (the goal is
20); and whether the batch would finish 1,000,000 scenarios within 60
seconds of wall time.

  batch_bench.py EXPLORE FOURFIFTHS [--scenarios N] [--decks M] [--threads T]

EXPLORE and FOURFIFTHS are the built programs, for instance
build/release/explore/fourfifths-explore and build/release/app/fourfifths.
"""
import argparse
import os
import random
import subprocess
import sys
import tempfile
import time

JSON_LINE = ('{"id": "s%07d", "mode": "overall", "quality": "criterion", "predictors": ['
             '{"name": "P1", "d": %.4f, "weight": 0.5}, {"name": "P2", "d": %.4f, "weight": 0.3}, '
             '{"name": "P3", "d": %.4f, "weight": 0.2}], "criteria": [{"name": "C1", "d": %.4f, '
             '"weight": 1}], "correlations": [[1, 0.3, 0.2, 0.5], [0.3, 1, 0.25, 0.4], '
             '[0.2, 0.25, 1, 0.3], [0.5, 0.4, 0.3, 1]], "majority_per_minority": 2, '
             '"requested_ratios": [0.15, 0.4]}\n')

# bench/typical.deck with its effect sizes filled in.
DECK = """3 1 1 0 1 2
2
.5 .3 .2
1
1 .3 .2 .5
.3 1 .25 .4
.2 .25 1 .3
.5 .4 .3 1
%.4f %.4f %.4f
%.4f
.15 .4
"""


def effects(rng):
    """Effect sizes around the typical deck's (-1, -0.4, -0.1; -0.3)."""
    return (-1 + rng.uniform(-0.5, 0.5), -0.4 + rng.uniform(-0.3, 0.3),
            -0.1 + rng.uniform(-0.1, 0.1), -0.3 + rng.uniform(-0.2, 0.2))


def write_scenarios(path, count):
    rng = random.Random(20261208)
    with open(path, "w") as f:
        for start in range(0, count, 10000):
            f.write("".join(JSON_LINE % ((i,) + effects(rng))
                            for i in range(start, min(count, start + 10000))))


def spawn(argv, stdin_path, stdout_fd):
    source = os.open(stdin_path, os.O_RDONLY)
    try:
        return os.posix_spawn(argv[0], argv, os.environ,
                              file_actions=[(os.POSIX_SPAWN_DUP2, source, 0),
                                            (os.POSIX_SPAWN_DUP2, stdout_fd, 1)])
    finally:
        os.close(source)


def finished(pid):
    """Waits for the child; its exit status and CPU seconds."""
    _, status, usage = os.wait4(pid, 0)
    return os.waitstatus_to_exitcode(status), usage.ru_utime + usage.ru_stime


def time_batch(explore, path, threads):
    argv = [explore, "batch", "--method", "precise"]
    if threads:
        argv += ["--threads", str(threads)]
    sink = os.open(os.devnull, os.O_WRONLY)
    start = time.perf_counter()
    pid = spawn(argv, path, sink)
    status, cpu = finished(pid)
    wall = time.perf_counter() - start
    os.close(sink)
    if status != 0:
        sys.exit(f"batch ended with status {status}")
    return wall, cpu


def time_classic(program, decks, parallel):
    """One process per deck, `parallel` at a time."""
    sink = os.open(os.devnull, os.O_WRONLY)
    cpu = 0.0
    running = set()
    start = time.perf_counter()
    for deck in decks:
        if len(running) == parallel:
            pid, status, usage = os.wait4(-1, 0)
            running.discard(pid)
            if os.waitstatus_to_exitcode(status) != 0:
                sys.exit(f"{program} failed")
            cpu += usage.ru_utime + usage.ru_stime
        running.add(spawn([program], deck, sink))
    for pid in running:
        status, used = finished(pid)
        if status != 0:
            sys.exit(f"{program} failed")
        cpu += used
    wall = time.perf_counter() - start
    os.close(sink)
    return wall, cpu


def check_rows(explore, path, lines):
    """The first lines give their 24 rows each, in order: the run that is
    timed writes to /dev/null, so its output is checked on a sample."""
    with open(path, "rb") as f:
        sample = b"".join(f.readline() for _ in range(lines))
    p = subprocess.run([explore, "batch"], input=sample, capture_output=True, check=False)
    rows = p.stdout.decode().splitlines()[1:]
    if p.returncode != 0 or len(rows) != 24 * lines or not rows[-1].startswith(f"s{lines - 1:07d},"):
        sys.exit(f"batch gave {len(rows)} rows for {lines} scenarios (status {p.returncode})")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("explore")
    parser.add_argument("fourfifths")
    parser.add_argument("--scenarios", type=int, default=1_000_000)
    parser.add_argument("--decks", type=int, default=3000)
    parser.add_argument("--threads", type=int, default=0, help="default: batch's own (every core)")
    args = parser.parse_args()
    cores = len(os.sched_getaffinity(0))

    with tempfile.TemporaryDirectory() as scratch:
        scenarios = os.path.join(scratch, "scenarios.jsonl")
        t = time.perf_counter()
        write_scenarios(scenarios, args.scenarios)
        size = os.path.getsize(scenarios)
        print(f"{args.scenarios:,} scenarios, {size / 1e6:,.0f} MB of JSON Lines "
              f"(written in {time.perf_counter() - t:.1f} s); {cores} cores")
        check_rows(args.explore, scenarios, min(args.scenarios, 1000))
        batch_wall, batch_cpu = time_batch(args.explore, scenarios, args.threads)
        os.unlink(scenarios)

        rng = random.Random(1)
        decks = []
        for i in range(args.decks):
            deck = os.path.join(scratch, f"d{i}.deck")
            with open(deck, "w") as f:
                f.write(DECK % effects(rng))
            decks.append(deck)
        classic_wall, classic_cpu = time_classic(args.fourfifths, decks, cores)

    batch_rate = args.scenarios / batch_wall
    classic_rate = args.decks / classic_wall
    print(f"{'':42}{'wall s':>9}{'cpu s':>9}{'cpu us/scenario':>17}{'scenarios/s':>13}")
    print(f"{'batch, precise, ' + (str(args.threads) if args.threads else 'every core'):42}"
          f"{batch_wall:9.2f}{batch_cpu:9.2f}{batch_cpu / args.scenarios * 1e6:17.1f}"
          f"{batch_rate:13,.0f}")
    print(f"{f'classic, one process a deck, {cores} at once':42}"
          f"{classic_wall:9.2f}{classic_cpu:9.2f}{classic_cpu / args.decks * 1e6:17.1f}"
          f"{classic_rate:13,.0f}")
    ratio = (args.scenarios / batch_cpu) / (args.decks / classic_cpu)
    print(f"scenarios per CPU-second, batch against the classic program: {ratio:.1f} "
          f"(target: at least 15, goal 20) {'met' if ratio >= 15 else 'NOT MET'}")
    print(f"ratio of the wall-time rates: {batch_rate / classic_rate:.1f}")
    million = 1_000_000 / batch_rate
    print(f"1,000,000 scenarios with the precise method: {million:.1f} s at this rate "
          f"(target: under 60 s) {'met' if million < 60 else 'NOT MET'}"
          + ("" if args.scenarios == 1_000_000 else f" (measured over {args.scenarios:,})"))


if __name__ == "__main__":
    main()
