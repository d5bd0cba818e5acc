#!/usr/bin/env python3
"""The explorer's -o (and pareto's --plot) on every kind of destination:
a regular file is replaced whole and keeps its mode, a symbolic link's
target is written, hard links stay linked, a device or a FIFO is written in
place, a failure leaves the old file and no temporary file, and several
outputs of one command are written all or none.

  check_output_files.py EXPLORE ROOT
"""
import os
import resource
import signal
import stat
import subprocess
import sys
import tempfile
import threading

EXPLORE, ROOT = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
SCENARIO = os.path.join(ROOT, "examples", "regression_weights.json")
failures = []
passed = 0


def check(ok, what):
    global passed
    if ok:
        passed += 1
    else:
        failures.append(what)


def run(args, cwd, preexec=None):
    return subprocess.run([EXPLORE] + args, cwd=cwd, capture_output=True, preexec_fn=preexec)


def table(output, cwd, preexec=None):
    return run(["table", SCENARIO, "-o", output], cwd, preexec)


def expected_table():
    return subprocess.run([EXPLORE, "table", SCENARIO], capture_output=True, check=True).stdout


def read(path):
    with open(path, "rb") as f:
        return f.read()


def litter(directory, keep):
    return sorted(set(os.listdir(directory)) - set(keep))


WANT = expected_table()

with tempfile.TemporaryDirectory() as d:
    # A file's mode stays; its content is the new table.
    path = os.path.join(d, "p.csv")
    with open(path, "w") as f:
        f.write("old\n")
    os.chmod(path, 0o600)
    p = table("p.csv", d)
    check(p.returncode == 0 and read(path) == WANT, f"regular file: {p.returncode} {p.stderr!r}")
    check(stat.S_IMODE(os.stat(path).st_mode) == 0o600, "regular file: mode 0600 not kept")

    # A new file: 0666 less the umask.
    old_mask = os.umask(0o022)
    try:
        p = table("new.csv", d)
    finally:
        os.umask(old_mask)
    check(p.returncode == 0 and stat.S_IMODE(os.stat(os.path.join(d, "new.csv")).st_mode) == 0o644,
          "new file: not 0644 under umask 022")

    # A symbolic link: its target is written, the link stays a link.
    os.symlink("target.csv", os.path.join(d, "link.csv"))
    p = table("link.csv", d)
    check(p.returncode == 0 and os.path.islink(os.path.join(d, "link.csv"))
          and read(os.path.join(d, "target.csv")) == WANT, "symbolic link: target not written")

    # Hard links: both names still show one file, with the new content.
    os.link(path, os.path.join(d, "hard.csv"))
    with open(path, "w") as f:
        f.write("old\n")
    p = table("hard.csv", d)
    check(p.returncode == 0 and read(path) == WANT
          and os.stat(path).st_ino == os.stat(os.path.join(d, "hard.csv")).st_ino,
          "hard link: broken or not written")

    # A FIFO is written in place: its reader gets the table.
    fifo = os.path.join(d, "fifo")
    os.mkfifo(fifo)
    got = {}
    reader = threading.Thread(target=lambda: got.update(data=read(fifo)))
    reader.start()
    p = table("fifo", d)
    if not stat.S_ISFIFO(os.stat(fifo).st_mode) or reader.is_alive():
        # Replaced, or never opened: let the reader go.
        try:
            os.close(os.open(fifo, os.O_WRONLY | os.O_NONBLOCK))
        except OSError:
            pass
    reader.join(10)
    check(p.returncode == 0 and got.get("data") == WANT and stat.S_ISFIFO(os.stat(fifo).st_mode),
          "FIFO: replaced or not written")

    # A device stays a device (a private null device, where one may be made).
    if os.geteuid() == 0:
        null = os.path.join(d, "null")
        os.mknod(null, 0o666 | stat.S_IFCHR, os.makedev(1, 3))
        p = table("null", d)
        check(p.returncode == 0 and stat.S_ISCHR(os.stat(null).st_mode), "device: replaced")
        os.unlink(null)

    # A full device says so, with the real cause. As root a program that
    # replaced its destination would replace the machine's /dev/full: a
    # private full device stands in for it.
    full = "/dev/full"
    if os.geteuid() == 0:
        full = os.path.join(d, "full")
        os.mknod(full, 0o666 | stat.S_IFCHR, os.makedev(1, 7))
    if os.path.exists(full):
        p = table(full, d)
        check(p.returncode == 2 and b"No space left on device" in p.stderr
              and stat.S_ISCHR(os.stat(full).st_mode), f"full device: {p.stderr!r}")
        if full != "/dev/full":
            os.unlink(full)

    # A directory is refused, and nothing is left beside it.
    os.mkdir(os.path.join(d, "dir"))
    before = os.listdir(d)
    p = table("dir", d)
    check(p.returncode == 2 and b"Is a directory" in p.stderr and litter(d, before) == []
          and os.listdir(os.path.join(d, "dir")) == [], f"directory: {p.stderr!r}")

    # A write that fails part way (the file-size limit, with its signal
    # ignored) leaves the old file as it was and no temporary file: a file
    # with other names (p.csv and hard.csv), and one without.
    def limit():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))

    for linked in (True, False):
        if not linked:
            os.unlink(os.path.join(d, "hard.csv"))
        with open(path, "w") as f:
            f.write("old\n")
        before = os.listdir(d)
        p = table("p.csv", d, limit)
        check(p.returncode == 2 and read(path) == b"old\n" and litter(d, before) == []
              and b"File too large" in p.stderr,
              f"file-size limit (linked {linked}): {p.returncode} {read(path)[:20]!r} "
              f"{litter(d, before)} {p.stderr!r}")

with tempfile.TemporaryDirectory() as d:
    base = ["pareto", SCENARIO, "--ratio", "0.3"]
    # All outputs or none: the chart is not left when the table fails.
    p = run(base + ["--plot", "f.svg", "-o", "missing/dir/x.csv"], d)
    check(p.returncode == 2 and os.listdir(d) == [], f"pareto, failed -o: {os.listdir(d)}")
    # Two outputs to one place are refused before anything is written.
    p = run(base + ["--plot", "-", "-o", "-"], d)
    check(p.returncode == 2 and p.stdout == b"", "pareto, both on standard output")
    p = run(base + ["--plot", "x", "-o", "x"], d)
    check(p.returncode == 2 and os.listdir(d) == [], "pareto, both into x")
    os.symlink("y", os.path.join(d, "to_y"))
    p = run(base + ["--plot", "to_y", "-o", "y"], d)
    check(p.returncode == 2 and os.listdir(d) == ["to_y"], "pareto, a link and its target")
    p = run(base + ["--plot", "f.svg", "-o", "t.csv"], d)
    check(p.returncode == 0 and sorted(os.listdir(d)) == ["f.svg", "t.csv", "to_y"]
          and b"<svg" in read(os.path.join(d, "f.svg")), f"pareto, both written: {os.listdir(d)}")

for f in failures:
    print("FAIL:", f)
print(f"{passed} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
