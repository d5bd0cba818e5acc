#!/usr/bin/env python3
"""fourfifths-explore as a user meets it: help, version, exit statuses,
bad input of each kind with its message on standard error and nothing on
standard output, standard input as "-", files written whole or not at all,
and the bundled JSON examples against the classic reports of their decks.

  check_command_line.py EXPLORE SOURCE_DIR
"""
import csv
import io
import os
import subprocess
import sys
import tempfile

failures = []


def run(explore, args, stdin=b"", stdout=subprocess.PIPE):
    return subprocess.run([explore] + args, input=stdin, stdout=stdout, stderr=subprocess.PIPE)


def expect(condition, what):
    if not condition:
        failures.append(what)


def expect_failure(explore, args, message, stdin=b"", status=2):
    p = run(explore, args, stdin)
    what = " ".join(args)
    expect(p.returncode == status, f"{what}: status {p.returncode}, want {status}")
    expect(p.stdout == b"", f"{what}: wrote to standard output")
    expect(message in p.stderr.decode(), f"{what}: {message!r} not in {p.stderr.decode()!r}")


def main():
    explore, source = sys.argv[1:3]
    examples = os.path.join(source, "examples")
    json_example = os.path.join(examples, "regression_weights.json")
    deck_example = os.path.join(examples, "regression_weights.deck")

    # Help and version.
    p = run(explore, ["--version"])
    expect(p.returncode == 0 and p.stdout.decode().startswith("fourfifths-explore 1."),
           f"--version: {p.stdout!r}")
    p = run(explore, ["--help"])
    expect(p.returncode == 0 and b"convert" in p.stdout and b"table" in p.stdout, "--help")
    for command in ("convert", "table"):
        p = run(explore, [command, "--help"])
        expect(p.returncode == 0 and b"SCENARIO" in p.stdout, f"{command} --help")
    expect_failure(explore, [], "A subcommand is required")
    expect_failure(explore, ["table", json_example, "--frobnicate"], "--frobnicate")
    expect_failure(explore, ["table", json_example, "--method", "exact"], "--method")
    expect_failure(explore, ["convert", json_example], "--to is required")

    # Numbers on the command line are decimal, as in scenarios.
    def front_points(args):
        p = run(explore, ["pareto", json_example, "--ratio", "0.3", "--format", "csv"] + args)
        return p.returncode, p.stdout.count(b"\n") - 1
    expect(front_points(["--points", "010"]) == (0, 10), "--points 010 is ten points")
    expect(front_points(["--points", "08"]) == (0, 8), "--points 08 is eight points")
    expect_failure(explore, ["pareto", json_example, "--ratio", "abc"], "'abc' is not a decimal number")
    expect_failure(explore, ["pareto", json_example, "--ratio", "0x0.2"], "'0x0.2' is not a decimal number")
    expect_failure(explore, ["pareto", json_example, "--ratio", "0.3", "--min-ai", "inf"],
                   "'inf' is not a decimal number")
    expect_failure(explore, ["batch", "--threads", "1.5"], "'1.5' is not a whole number")
    expect_failure(explore, ["table", json_example, "--ratios", ""], "--ratios: the list is empty")
    expect_failure(explore, ["tabel", json_example], "unknown subcommand 'tabel'")
    # An endless input ends at the longest scenario there can be.
    expect_failure(explore, ["table", "/dev/zero"], "/dev/zero: longer than 16 MiB")
    # convert's refusals name the scenario, as every other message does.
    many = '{"mode": "majority", "predictors": [{"d": -1, "weight": 1}], "correlations": [[1]], '\
           '"requested_ratios": [' + ", ".join(["0.5"] * 26) + ']}'
    expect_failure(explore, ["convert", "-", "--to", "deck"],
                   "standard input: requested_ratios: a deck holds at most 25 requested ratios",
                   stdin=many.encode())
    mix = '{"mode": "majority", "predictors": [{"d": -1, "weight": 1}], "correlations": [[1]], '\
          '"minority_share": 0.2}'
    p = run(explore, ["convert", "-", "--to", "deck"], stdin=mix.encode())
    expect(p.returncode == 0 and b"standard input: warning: the deck form has no applicant mix" in p.stderr,
           f"convert's warning: {p.stderr!r}")
    # Help and the version are data: a failed write is a failed run.
    for args in (["--help"], ["--version"], ["table", "--help"]):
        with open("/dev/full", "wb") as full:
            p = run(explore, args, stdout=full)
        expect(p.returncode == 2 and b"No space left on device" in p.stderr,
               f"{args} into /dev/full: {p.returncode} {p.stderr!r}")

    # Bad input of each kind.
    expect_failure(explore, ["table", "no/such/file.json"],
                   "cannot read no/such/file.json: No such file or directory")
    expect_failure(explore, ["table", "-"], "standard input: JSON parse error at line 3, column 1",
                   stdin=b'{\n  "mode": "overall",\n')
    expect_failure(explore, ["table", "-"], "standard input: predictors[0].d: must be a finite number",
                   stdin=b'{"mode": "majority", "predictors": [{"d": "x", "weight": 1}], "correlations": [[1]]}')
    expect_failure(explore, ["table", "-"], "standard input: colour: unknown key",
                   stdin=b'{"colour": 1, "predictors": [{"d": 1, "weight": 1}], "correlations": [[1]]}')
    expect_failure(explore, ["table", "-"],
                   "standard input: Regression weights can not be computed because no",
                   stdin=b"2 0 0 1 0 0\n")
    expect_failure(explore, ["table", "-"], "standard input: list in: end of file",
                   stdin=b"2 1 1 0 0 0\n1\n")
    expect_failure(explore, ["table", json_example, "--ratios", "0.1,x"],
                   "--ratios: 'x' is not a number")
    expect_failure(explore, ["table", json_example, "--grid", "0.9:0.1:0.1"],
                   "--grid: the grid needs FROM <= TO and a positive STEP")
    expect_failure(explore, ["table", json_example, "--ratios", "0.1", "--grid", "0.1:0.2:0.1"],
                   "excludes")

    # A predictor block that is not positive definite is a warning only.
    p = run(explore, ["table", "-"], stdin=b'{"mode": "majority", "predictors": ['
            b'{"d": -1, "weight": 1}, {"d": -0.5, "weight": 1}, {"d": 0, "weight": 1}],'
            b'"correlations": [[1, 0.9, -0.9], [0.9, 1, 0.9], [-0.9, 0.9, 1]]}')
    expect(p.returncode == 0 and p.stdout.startswith(b"kind,target,"), "not positive definite: no table")
    expect(b"warning: correlations: the predictor block is not positive definite" in p.stderr,
           f"not positive definite: {p.stderr!r}")

    # Standard input, lists and grids of ratios.
    with open(json_example, "rb") as f:
        p = run(explore, ["table", "-", "--grid", "0.05:0.95:0.05"], stdin=f.read())
    rows = list(csv.DictReader(io.StringIO(p.stdout.decode())))
    expect(len(rows) == 19 and rows[-1]["target"] == "0.95" and rows[0]["kind"] == "requested",
           f"--grid: {len(rows)} rows, last {rows[-1]['target'] if rows else None}")
    p = run(explore, ["table", json_example, "--ratios", "0.3,1.5", "--method", "classic"])
    rows = list(csv.DictReader(io.StringIO(p.stdout.decode())))
    expect([r["status"] for r in rows] == ["solved", "no_cut_score"], "--ratios 0.3,1.5")
    expect(rows[1]["target"] == "1.5" and rows[1]["sr_majority"] == "", "a failed row keeps only its target")

    # The same scenario as JSON and as a deck gives the same table.
    expect(run(explore, ["table", json_example]).stdout == run(explore, ["table", deck_example]).stdout,
           "the JSON example and its deck give different tables")
    for fmt in ("json", "text"):
        p = run(explore, ["table", json_example, "--format", fmt])
        expect(p.returncode == 0 and p.stdout, f"--format {fmt}")

    # The bundled JSON examples give the classic reports of their decks (those
    # that have a deck with its expected report beside them).
    for name in sorted(f[:-5] for f in os.listdir(examples)
                       if f.endswith(".json") and os.path.exists(os.path.join(examples, f[:-5] + ".out"))):
        deck = run(explore, ["convert", os.path.join(examples, name + ".json"), "--to", "deck"])
        program = os.path.join(os.path.dirname(os.path.dirname(explore)), "app", "fourfifths")
        report = subprocess.run([program], input=deck.stdout, capture_output=True)
        with open(os.path.join(examples, name + ".out"), "rb") as f:
            expect(report.stdout == f.read(), f"examples/{name}.json: not the report of its deck")

    # Files are written whole or not at all.
    with tempfile.TemporaryDirectory() as scratch:
        target = os.path.join(scratch, "table.csv")
        p = run(explore, ["table", json_example, "-o", target])
        expect(p.returncode == 0 and p.stdout == b"" and os.path.getsize(target) > 0, "-o FILE")
        with open(target, "rb") as f:
            before = f.read()
        p = run(explore, ["table", "-", "-o", target], stdin=b"{")
        expect(p.returncode == 2, "-o FILE with bad input")
        with open(target, "rb") as f:
            expect(f.read() == before, "a failed run changed the output file")
        expect(os.listdir(scratch) == ["table.csv"], f"left behind: {os.listdir(scratch)}")
        expect_failure(explore, ["table", json_example, "-o", os.path.join(scratch, "no", "t.csv")],
                       "cannot write")
    with open("/dev/full", "wb") as full:
        p = run(explore, ["table", json_example], stdout=full)
    expect(p.returncode == 2 and b"cannot write standard output: No space left on device" in p.stderr,
           f"/dev/full: {p.returncode} {p.stderr!r}")

    for f in failures:
        print(f)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
