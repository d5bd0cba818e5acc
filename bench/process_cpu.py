#!/usr/bin/env python3
"""CPU time of a whole process, averaged over many runs.

  process_cpu.py [--runs N] [--stdin FILE] -- COMMAND [ARGS...]

Starts COMMAND N times (default 200) with standard output and standard
error thrown away, and prints the mean user + system CPU time and wall time
of one run, from the kernel's accounting of the child. For instance the
whole pareto subcommand on the published example:

  bench/process_cpu.py -- build/release/explore/fourfifths-explore pareto \\
      examples/published_four_predictors.json --ratio 0.1
"""
import argparse
import os
import sys
import time


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--runs", type=int, default=200)
    ap.add_argument("--stdin")
    ap.add_argument("command", nargs=argparse.REMAINDER)
    args = ap.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        ap.error("no command")
    sink = os.open(os.devnull, os.O_WRONLY)
    cpu = 0.0
    failed = 0
    start = time.perf_counter()
    for _ in range(args.runs):
        actions = [(os.POSIX_SPAWN_DUP2, sink, 1), (os.POSIX_SPAWN_DUP2, sink, 2)]
        source = os.open(args.stdin or os.devnull, os.O_RDONLY)
        actions.append((os.POSIX_SPAWN_DUP2, source, 0))
        pid = os.posix_spawnp(command[0], command, os.environ, file_actions=actions)
        os.close(source)
        _, status, usage = os.wait4(pid, 0)
        failed += os.waitstatus_to_exitcode(status) != 0
        cpu += usage.ru_utime + usage.ru_stime
    wall = time.perf_counter() - start
    print(f"{' '.join(command)}")
    print(f"runs: {args.runs}, failed: {failed}")
    print(f"cpu per run: {cpu / args.runs * 1e3:.3f} ms, wall per run: {wall / args.runs * 1e3:.3f} ms")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
