#!/usr/bin/env python3
"""fourfifths-explore batch as a child process: exit statuses and error
rows, JSON Lines, the classic method's rows against `table`'s, standard
output that fails or closes, a run interrupted by a signal, the progress
line on a terminal only, the GNU parallel recipe, memory that does not
grow with the input, and memory bounded by the limits whatever a line or a
file asks for.

  check_batch.py EXPLORE SOURCE_DIR CASE

CASE is one of: statuses, jsonl, same_as_table, output, interrupt, progress,
parallel, memory, memory_bounds. Exit status 0 when the case passes, 1 when it fails, 77 when it
cannot run here (GNU parallel missing).
"""
import csv
import io
import json
import os
import pty
import random
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)


def run(explore, args, stdin=b"", **kwargs):
    return subprocess.run([explore] + args, input=stdin, capture_output=True, timeout=120, **kwargs)


TYPICAL = ('{"id": %s, "mode": "overall", "quality": "criterion", "predictors": ['
           '{"name": "P1", "d": %.4f, "weight": 0.5}, {"name": "P2", "d": %.4f, "weight": 0.3}, '
           '{"name": "P3", "d": -0.1, "weight": 0.2}], "criteria": [{"name": "C1", "d": -0.3, '
           '"weight": 1}], "correlations": [[1, 0.3, 0.2, 0.5], [0.3, 1, 0.25, 0.4], '
           '[0.2, 0.25, 1, 0.3], [0.5, 0.4, 0.3, 1]], "majority_per_minority": 2, '
           '"requested_ratios": [0.15, 0.4]}')


def typical_lines(count, seed=1):
    """Typical scenarios with varied effect sizes, ids s0000000.. in order."""
    rng = random.Random(seed)
    return [TYPICAL % (f'"s{i:07d}"', -1 + rng.uniform(-0.5, 0.5), -0.4 + rng.uniform(-0.3, 0.3))
            for i in range(count)]


def csv_rows(data):
    return list(csv.reader(io.StringIO(data.decode())))


def statuses(explore, source):
    header = b"id,kind,target,"
    good = "\n".join(typical_lines(3)).encode() + b"\n"
    p = run(explore, ["batch"], good)
    expect(p.returncode == 0, f"all good: status {p.returncode}, want 0")
    expect(p.stderr == b"", f"all good: {p.stderr!r}")
    rows = csv_rows(p.stdout)
    expect(rows[0][0] == "id" and len(rows) == 1 + 3 * 24, f"all good: {len(rows)} rows")
    expect([r[0] for r in rows[1:]] == ["s0000000"] * 24 + ["s0000001"] * 24 + ["s0000002"] * 24,
           "all good: the rows are not in input order")

    lines = typical_lines(2)
    mixed = "\n".join([lines[0], "", "this is not JSON", '{"mode": "overall"}',
                       "2 1 1 0 1 0", '{"id": "x,1", "predictors": []}', "   ", lines[1]])
    p = run(explore, ["batch"], mixed.encode())
    expect(p.returncode == 3, f"bad lines: status {p.returncode}, want 3")
    expect(b"4 of 6 lines could not be analysed" in p.stderr, f"bad lines: {p.stderr!r}")
    rows = csv_rows(p.stdout)
    errors = [r for r in rows[1:] if r[-1].startswith("error: ")]
    expect([r[0] for r in errors] == ["line 3", "line 4", "line 5", "x,1"],
           f"bad lines: error rows {[r[0] for r in errors]}")
    expect(all(all(f == "" for f in r[1:-1]) for r in errors), "bad lines: numbers in an error row")
    expect(len(rows) == 1 + 4 + 2 * 24 and rows[-1][0] == "s0000001",
           "bad lines: the good lines' rows are missing or out of order")

    p = run(explore, ["batch"], b"")
    expect(p.returncode == 0 and p.stdout.startswith(header) and p.stdout.count(b"\n") == 1,
           f"empty input: {p.returncode} {p.stdout!r}")
    p = run(explore, ["batch", "--no-header", "--ratios", "0.5,0.25"], good)
    rows = csv_rows(p.stdout)
    expect(p.returncode == 0 and len(rows) == 6 and rows[0][:3] == ["s0000000", "requested", "0.5"],
           "--no-header --ratios")
    p = run(explore, ["batch", "--grid", "0.1:0.9:0.1", "--threads", "1"], good)
    expect(p.returncode == 0 and len(csv_rows(p.stdout)) == 1 + 3 * 9, "--grid")

    for args, message in ((["--threads", "0"], "--threads"), (["--format", "xml"], "--format"),
                          (["--method", "exact"], "--method"), (["--ratios", "0.1,x"], "--ratios"),
                          (["--ratios", "0.1", "--grid", "0.1:0.2:0.1"], "excludes"),
                          (["extra"], "extra")):
        p = run(explore, ["batch"] + args, good)
        expect(p.returncode == 2 and p.stdout == b"" and message.encode() in p.stderr,
               f"batch {' '.join(args)}: {p.returncode} {p.stderr!r}")
    p = run(explore, ["batch", "--help"])
    expect(p.returncode == 0 and b"Exit status" in p.stdout and b" 3 " in p.stdout, "batch --help")


def jsonl(explore, source):
    lines = typical_lines(3)
    text = "\n".join([lines[0], "[]", lines[1], lines[2]]) + "\n"
    p = run(explore, ["batch", "--format", "jsonl", "--threads", "2"], text.encode())
    expect(p.returncode == 3, f"jsonl: status {p.returncode}")
    out = p.stdout.decode().split("\n")
    expect(out[-1] == "" and len(out) == 5, f"jsonl: {len(out) - 1} lines, want 4")
    objects = [json.loads(line) for line in out[:-1]]
    expect([o["id"] for o in objects] == ["s0000000", "line 2", "s0000001", "s0000002"], "jsonl ids")
    expect(all(len(o["rows"]) == 24 and o["method"] == "precise" for o in objects if "rows" in o),
           "jsonl: a table without its 24 rows")
    expect("not a JSON scenario" in objects[1].get("error", ""), f"jsonl error: {objects[1]}")


def same_as_table(explore, source):
    """Each example scenario, on one line with an id, gives the rows of
    `table` for the same scenario, with either method."""
    examples = os.path.join(source, "examples")
    names = sorted(f for f in os.listdir(examples) if f.endswith(".json"))
    expect(names, "no JSON examples")
    lines = []
    for name in list(names):
        with open(os.path.join(examples, name)) as f:
            scenario = json.load(f)
        # Several minority groups have their own layout (check_group_table.py).
        if "groups" in scenario:
            names.remove(name)
            continue
        scenario["id"] = name
        lines.append(json.dumps(scenario))
    text = ("\n".join(lines) + "\n").encode()
    for method in ("classic", "precise"):
        for extra in ([], ["--ratios", "0.05,0.5,0.999"]):
            p = run(explore, ["batch", "--method", method, "--threads", "3"] + extra, text)
            expect(p.returncode == 0, f"{method}: status {p.returncode} {p.stderr!r}")
            rows = csv_rows(p.stdout)[1:]
            for name in names:
                t = run(explore, ["table", os.path.join(examples, name), "--method", method] + extra)
                want = csv_rows(t.stdout)[1:]
                got = [r[1:] for r in rows if r[0] == name]
                expect(got == want and want, f"{name} {method} {extra}: not the rows of table")


def output(explore, source):
    text = ("\n".join(typical_lines(2000)) + "\n").encode()
    with open("/dev/full", "wb") as full:
        p = subprocess.run([explore, "batch"], input=text, stdout=full, stderr=subprocess.PIPE,
                           timeout=120)
    expect(p.returncode == 2 and b"cannot write standard output: No space left on device"
           in p.stderr, f"/dev/full: {p.returncode} {p.stderr!r}")

    # A reader that stops early: the run ends at once, as any filter's does.
    for ignore in (False, True):
        def child_setup():
            if ignore:
                signal.signal(signal.SIGPIPE, signal.SIG_IGN)
        with tempfile.TemporaryFile() as source_file:
            source_file.write(text)
            source_file.seek(0)
            child = subprocess.Popen([explore, "batch"], stdin=source_file, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, preexec_fn=child_setup)
            child.stdout.readline()
            child.stdout.close()
            err = child.stderr.read()
            status = child.wait(timeout=120)
        if ignore:
            expect(status == 2 and b"cannot write standard output: Broken pipe" in err,
                   f"closed output, SIGPIPE ignored: {status} {err!r}")
        else:
            expect(status == -signal.SIGPIPE and err == b"",
                   f"closed output: {status} {err!r}, want the end by SIGPIPE")


def interrupt(explore, source):
    """SIGINT, SIGTERM or SIGHUP in the middle of a run whose output goes
    through a pipe to a slow reader, so that the rows are being written when
    the signal comes: what the reader gets is the start of the whole output,
    ending with a whole row, and the run ends by that signal."""
    text = ("\n".join(typical_lines(3000)) + "\n").encode()
    whole = run(explore, ["batch", "--threads", "2"], text)
    expect(whole.returncode == 0, f"interrupt: the whole run failed: {whole.returncode}")
    signals = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)
    for attempt in range(12):
        sig = signals[attempt % 3]
        with tempfile.TemporaryFile() as source_file:
            source_file.write(text)
            source_file.seek(0)
            child = subprocess.Popen([explore, "batch", "--threads", "2"], stdin=source_file,
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            got = bytearray()
            start = time.monotonic()
            sent = False
            while True:
                piece = os.read(child.stdout.fileno(), 4096)
                if not piece:
                    break
                got += piece
                time.sleep(0.0005)
                if not sent and time.monotonic() - start > 0.1 + 0.03 * attempt:
                    child.send_signal(sig)
                    sent = True
            child.stdout.close()
            status = child.wait(timeout=60)
        name = signal.Signals(sig).name
        expect(status == -sig, f"interrupt by {name}: status {status}, want the end by the signal")
        expect(len(got) < len(whole.stdout), f"interrupt by {name}: the run was not interrupted")
        expect(got.endswith(b"\n") and whole.stdout.startswith(bytes(got)),
               f"interrupt by {name} (attempt {attempt}): the output ends inside a row: "
               f"{bytes(got[-60:])!r}")

    # A signal ignored when the run begins stays ignored (nohup).
    def ignore_hangup():
        signal.signal(signal.SIGHUP, signal.SIG_IGN)
    child = subprocess.Popen([explore, "batch"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, preexec_fn=ignore_hangup)
    child.stdin.write(text[:text.index(b"\n") + 1])
    child.stdin.flush()
    time.sleep(0.3)
    child.send_signal(signal.SIGHUP)
    time.sleep(0.1)
    child.stdin.close()
    lines = child.stdout.read().count(b"\n")
    expect(child.wait(timeout=60) == 0 and lines == 1 + 24,
           f"SIGHUP ignored before the run: status {child.returncode}, {lines} lines")


def progress(explore, source):
    """On a terminal the progress line is drawn and cleared at the end; on
    anything else standard error stays empty. The lines come slowly, so
    that the run lasts long enough for a redraw."""
    lines = typical_lines(60)

    def slow_run(stderr):
        child = subprocess.Popen([explore, "batch"], stdin=subprocess.PIPE,
                                 stdout=subprocess.DEVNULL, stderr=stderr)
        for i in range(0, len(lines), 10):
            child.stdin.write(("\n".join(lines[i:i + 10]) + "\n").encode())
            child.stdin.flush()
            time.sleep(0.15)
        child.stdin.close()
        return child

    primary, secondary = pty.openpty()
    child = slow_run(secondary)
    os.close(secondary)
    shown = b""
    while True:
        ready, _, _ = select.select([primary], [], [], 60)
        if not ready:
            break
        try:
            chunk = os.read(primary, 4096)
        except OSError:  # the terminal closes with the child
            break
        if not chunk:
            break
        shown += chunk
    os.close(primary)
    expect(child.wait(timeout=60) == 0, "progress: the run failed")
    expect(b"\rbatch: " in shown and b" scenarios, " in shown and b"/s" in shown,
           f"progress on a terminal: {shown!r}")
    expect(shown.endswith(b"\r\x1b[K"), f"progress: the line is not cleared at the end: {shown!r}")

    with tempfile.TemporaryFile() as err:
        child = slow_run(err)
        expect(child.wait(timeout=60) == 0, "progress: the run failed")
        err.seek(0)
        expect(err.read() == b"", "progress drawn on standard error that is not a terminal")


def parallel(explore, source):
    if shutil.which("parallel") is None:
        print("GNU parallel is not installed")
        sys.exit(77)
    lines = typical_lines(3000, seed=7)
    # Some bad lines too, with ids: their error rows must come out the same.
    # (A line without an id is named by its number, which counts the lines
    # of its own piece.)
    lines[17] = '{"id": "bad17"}'
    lines[1234] = '{"id": "bad1234", "predictors": 1}'
    text = ("\n".join(lines) + "\n").encode()
    one = run(explore, ["batch", "--no-header"], text)
    split = subprocess.run(["parallel", "--pipe", "-N", "1000", explore, "batch", "--no-header"],
                           input=text, capture_output=True, timeout=300)
    expect(one.returncode == 3, f"one run: status {one.returncode}")
    expect(split.returncode == 2, f"parallel: status {split.returncode}, want 2 (two jobs with 3)")

    def by_id(data):
        # Stable: each scenario's rows keep their order.
        return sorted(data.decode().splitlines(), key=lambda row: next(csv.reader([row]))[0])

    a, b = by_id(one.stdout), by_id(split.stdout)
    expect(len(a) == 2998 * 24 + 2, f"one run: {len(a)} rows")
    expect(a == b, "parallel --pipe -N 1000: not the rows of one run")
    # With --keep-order the pieces come back in input order: no sort needed,
    # and a header written once before them gives the whole table.
    kept = subprocess.run(["parallel", "--pipe", "-N", "1000", "--keep-order", explore, "batch",
                           "--no-header"], input=text, capture_output=True, timeout=300)
    header = run(explore, ["batch"], b"")
    expect(header.returncode == 0 and header.stdout.startswith(b"id,kind,")
           and header.stdout.count(b"\n") == 1, "batch < /dev/null: not the header alone")
    expect(kept.stdout == one.stdout, "parallel --pipe -N 1000 --keep-order: not the rows of one run")


def memory(explore, source):
    """Peak memory of a run over 20,000 and over 200,000 lines: the same,
    within a small allowance, and small."""
    line = ('{"id": "m%07d", "title": "' + "x" * 200 + '", "mode": "majority", '
            '"predictors": [{"d": %.3f, "weight": 1}], "correlations": [[1]]}\n')

    def peak_kib(count):
        """The child's own high-water mark (VmHWM, read while it runs) and
        its peak as getrusage gives it. The latter counts the memory of the
        process it was started from as well, so this script never holds
        the input whole."""
        with tempfile.TemporaryFile() as source_file:
            for start in range(0, count, 1000):
                source_file.write("".join(line % (i, -0.5 - (i % 1000) / 1000)
                                          for i in range(start, start + 1000)).encode())
            source_file.seek(0)
            with open(os.devnull, "wb") as sink:
                child = subprocess.Popen([explore, "batch", "--ratios", "0.5", "--threads", "2"],
                                         stdin=source_file, stdout=sink)
            high_water = 0
            while True:
                pid, status, usage = os.wait4(child.pid, os.WNOHANG)
                if pid != 0:
                    break
                try:
                    with open(f"/proc/{child.pid}/status") as f:
                        for field in f:
                            if field.startswith("VmHWM:"):
                                high_water = max(high_water, int(field.split()[1]))
                except OSError:
                    pass
                time.sleep(0.02)
        expect(os.waitstatus_to_exitcode(status) == 0, f"{count} lines: the run failed")
        return high_water, usage.ru_maxrss  # KiB on Linux

    (small, small_usage), (large, large_usage) = peak_kib(20_000), peak_kib(200_000)
    print(f"peak resident memory over 20,000 lines: {small} KiB (getrusage {small_usage} KiB); "
          f"over 200,000: {large} KiB (getrusage {large_usage} KiB)")
    # Had the input been read ahead or the output held back, the larger run
    # would hold some 60 MB more.
    expect(0 < large <= small + 8 * 1024, f"memory grows with the input: {small} -> {large} KiB")
    expect(large_usage <= small_usage + 8 * 1024,
           f"memory grows with the input (getrusage): {small_usage} -> {large_usage} KiB")
    expect(large_usage <= 64 * 1024, f"{large_usage} KiB for 200,000 lines")


def child_peak_kib(argv, source_file, sink=None):
    """A child's peak resident memory (its VmHWM, read while it runs) and its
    exit status. The input is a file, so that this script holds none of it."""
    with open(os.devnull, "wb") as devnull:
        child = subprocess.Popen(argv, stdin=source_file, stdout=sink or devnull,
                                 stderr=subprocess.DEVNULL)
    high_water = 0
    while True:
        pid, status, _ = os.wait4(child.pid, os.WNOHANG)
        if pid != 0:
            break
        try:
            with open(f"/proc/{child.pid}/status") as f:
                for field in f:
                    if field.startswith("VmHWM:"):
                        high_water = max(high_water, int(field.split()[1]))
        except OSError:
            pass
        time.sleep(0.01)
    return high_water, os.waitstatus_to_exitcode(status)


def memory_bounds(explore, source):
    """Memory bounded by the limits, not by what a line or a file asks for:
    lines of 240,000 requested ratios (under the 1 MiB line limit), tens of
    thousands of rows per line from --grid in CSV and JSON Lines, and a
    scenario file of a million predictors."""
    line = ('{"id": "r%d", "predictors": [{"d": -1, "weight": 1}], "correlations": [[1]], '
            '"minority_share": 0.3, "requested_ratios": [' + ",".join(["0.5"] * 240000) + ']}\n')
    assert len(line) < 1 << 20
    with tempfile.TemporaryFile() as source_file:
        for i in range(8):
            source_file.write((line % i).encode())
        source_file.seek(0)
        with tempfile.TemporaryFile() as out:
            peak, status = child_peak_kib([explore, "batch", "--threads", "2"], source_file, out)
            out.seek(0)
            rows = csv_rows(out.read())
        print(f"8 lines of 240,000 requested ratios: peak {peak} KiB")
        expect(status == 3 and len(rows) == 9 and all("requested_ratios" in r[-1] for r in rows[1:]),
               f"240,000 requested ratios: status {status}, {len(rows)} rows")
        expect(peak <= 48 * 1024, f"240,000 requested ratios: {peak} KiB")

    for fmt, lines in (("csv", 100), ("jsonl", 30)):
        with tempfile.TemporaryFile() as source_file:
            source_file.write(("\n".join(typical_lines(lines)) + "\n").encode())
            source_file.seek(0)
            peak, status = child_peak_kib([explore, "batch", "--threads", "2", "--format", fmt,
                                           "--grid", "0.00005:0.99995:0.00005"], source_file)
        print(f"{lines} lines of 20,000 rows each, {fmt}: peak {peak} KiB")
        expect(status == 0, f"--grid, {fmt}: status {status}")
        # Had the chunk's rows been held whole, 100 lines' rows (660 MB in
        # CSV, 30 lines' 450 MB as JSON trees) would be in memory at once.
        expect(peak <= 96 * 1024, f"--grid, {fmt}: {peak} KiB")

    with tempfile.NamedTemporaryFile(suffix=".json") as scenario:
        scenario.write(b'{"predictors": [' + b", ".join([b'{"d": -1, "weight": 1}'] * 1000000) +
                       b'], "correlations": [[1]], "minority_share": 0.3}')
        scenario.flush()
        size_kib = os.path.getsize(scenario.name) // 1024
        with open(os.devnull, "rb") as nothing:
            peak, status = child_peak_kib([explore, "table", scenario.name], nothing)
        print(f"a scenario of a million predictors ({size_kib} KiB): peak {peak} KiB")
        expect(status == 2, f"a million predictors: status {status}")
        # The text itself is read whole; nothing of the size of its values.
        expect(peak <= 2 * size_kib + 16 * 1024, f"a million predictors: {peak} KiB")


def main():
    explore, source, case = sys.argv[1:4]
    cases = {f.__name__: f for f in (statuses, jsonl, same_as_table, output, interrupt, progress,
                                     parallel, memory, memory_bounds)}
    cases[case](explore, source)
    for f in failures:
        print(f)
    print(f"{case}: {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
