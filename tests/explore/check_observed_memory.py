#!/usr/bin/env python3
"""The peak memory of fourfifths-explore observed on a million rows of
counts (250,000 units of four groups), in each format, to standard output
and to a file: each run is a child process whose peak resident set the
kernel reports (wait4's ru_maxrss). A table is written as the analysis
makes it, so the peak is the counts held once, not the table; the test
fails above LIMIT_MB. It prints every figure. Not a timed test.

  check_observed_memory.py EXPLORE MAKE_OBSERVED WORKDIR
"""
import os
import sys

LIMIT_MB = 150


def run(command, stdout_path):
    out = os.open(stdout_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    err = os.open(stdout_path + ".err", os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    pid = os.posix_spawn(command[0], command, os.environ,
                         file_actions=[(os.POSIX_SPAWN_DUP2, out, 1), (os.POSIX_SPAWN_DUP2, err, 2)])
    os.close(out)
    os.close(err)
    _, status, usage = os.wait4(pid, 0)
    return os.waitstatus_to_exitcode(status), usage.ru_maxrss / 1024, usage.ru_utime + usage.ru_stime


def lines(path):
    with open(path, "rb") as f:
        return sum(chunk.count(b"\n") for chunk in iter(lambda: f.read(1 << 20), b""))


def main():
    explore, make, work = sys.argv[1:4]
    os.makedirs(work, exist_ok=True)
    data = os.path.join(work, "counts.csv")
    if os.spawnv(os.P_WAIT, make, [make, "counts", data]) != 0:
        print("could not make the counts")
        return 1
    failures = []
    runs = [(fmt, [explore, "observed", data, "--format", fmt], "-") for fmt in ("csv", "json", "text")]
    table = os.path.join(work, "table.csv")
    runs.append(("csv -o", [explore, "observed", data, "-o", table], table))
    for name, command, target in runs:
        stdout = os.path.join(work, "stdout." + name.split()[0])
        status, peak, cpu = run(command, stdout)
        written = target if target != "-" else stdout
        print(f"{name:7} peak {peak:6.1f} MB  cpu {cpu:5.2f} s  status {status}")
        if status != 0:
            failures.append(f"{name}: status {status}")
        if peak > LIMIT_MB:
            failures.append(f"{name}: peak {peak:.1f} MB above {LIMIT_MB} MB")
        if name.startswith("csv") and lines(written) != 1000000 + 4 + 1:
            failures.append(f"{name}: {lines(written)} lines, not a header and 1,000,004 rows")
        os.remove(written)
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
