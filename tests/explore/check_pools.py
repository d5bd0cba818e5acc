#!/usr/bin/env python3
"""table --applicants as a user meets it: the pool columns after the
table's own and only when asked for, the same chances in every group's
row, majority mode through the overall ratio, the simulation's seed, and
bad values of each option refused with status 2, nothing on standard
output and a message naming the option.

  check_pools.py EXPLORE SOURCE_DIR
"""
import csv
import io
import json
import os
import subprocess
import sys

failures = []

POOL_COLUMNS = ["pool_selected", "p_fail_four_fifths", "p_fail_four_fifths_se", "p_fisher",
                "p_fisher_se", "p_z", "p_z_se", "p_group_absent", "p_group_absent_se",
                "pool_method"]


def run(explore, args, stdin=b""):
    return subprocess.run([explore] + args, input=stdin, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE)


def expect(condition, what):
    if not condition:
        failures.append(what)


def expect_failure(explore, args, message, stdin=b""):
    p = run(explore, args, stdin)
    what = " ".join(args)
    expect(p.returncode == 2, f"{what}: status {p.returncode}, want 2")
    expect(p.stdout == b"", f"{what}: wrote to standard output")
    expect(message in p.stderr.decode(), f"{what}: {message!r} not in {p.stderr.decode()!r}")


def table(explore, args, stdin=b""):
    p = run(explore, ["table"] + args, stdin)
    expect(p.returncode == 0, f"table {' '.join(args)}: status {p.returncode}: {p.stderr!r}")
    text = p.stdout.decode()
    return text.splitlines()[0].split(",") if text else [], list(csv.DictReader(io.StringIO(text)))


def main():
    explore, source = sys.argv[1:3]
    examples = os.path.join(source, "examples")
    one = os.path.join(examples, "overall_given_weights.json")
    three = os.path.join(examples, "three_groups.json")
    majority = os.path.join(examples, "majority_criterion.json")

    # The columns come after the table's own, and only with --applicants.
    plain, _ = table(explore, [one, "--ratios", "0.1,0.5"])
    header, rows = table(explore, [one, "--ratios", "0.1,0.5", "--applicants", "50"])
    expect(header == plain + POOL_COLUMNS, f"columns: {header}")
    expect([r["pool_selected"] for r in rows] == ["5", "25"], "round(R M) selected")
    for r in rows:
        expect(r["pool_method"] == "exact" and r["p_fail_four_fifths_se"] == "", "exact, no error")
        for c in ("p_fail_four_fifths", "p_fisher", "p_z", "p_group_absent"):
            expect(0 <= float(r[c]) <= 1, f"{c} = {r[c]}")
    # Half of 5 applicants is rounded up; one applicant selects all or none.
    _, rows = table(explore, [one, "--ratios", "0.5", "--applicants", "5"])
    expect(rows[0]["pool_selected"] == "3", "half rounded up")
    _, rows = table(explore, [one, "--ratios", "0.3,0.7", "--applicants", "1"])
    expect([r["pool_selected"] for r in rows] == ["0", "1"], "M = 1")
    expect(all(float(r["p_fail_four_fifths"]) == 0 and float(r["p_group_absent"]) == 1
               for r in rows), "M = 1: one group, never failing")

    # Majority mode: the pool selects round(sr M), sr the overall ratio.
    with open(majority) as f:
        scenario = json.load(f)
    scenario["minority_share"] = 0.25
    _, rows = table(explore, ["-", "--ratios", "0.3", "--applicants", "40"],
                    json.dumps(scenario).encode())
    expect(rows and rows[0]["pool_selected"] == str(int(float(rows[0]["sr"]) * 40 + 0.5)),
           f"majority mode: {rows[0] if rows else None}")
    expect_failure(explore, ["table", majority, "--applicants", "40"], "--applicants")
    expect_failure(explore, ["table", majority, "--applicants", "40"], "shares")

    # Several groups: simulated, the same chances in every group's row, the
    # seed deciding the pools.
    args = [three, "--ratios", "0.1", "--applicants", "100", "--replications", "300"]
    header, rows = table(explore, args)
    # The ratio's four groups, then the minimum's.
    expect(len(rows) == 8 and len({tuple(r[c] for c in POOL_COLUMNS) for r in rows[:4]}) == 1,
           "every group's row has the entry's chances")
    expect(rows[0]["pool_method"] == "simulated" and rows[0]["p_z_se"] != "", "simulated")
    expect(run(explore, ["table"] + args).stdout == run(explore, ["table"] + args).stdout,
           "the same seed, the same pools")
    expect(run(explore, ["table"] + args).stdout !=
           run(explore, ["table"] + args + ["--seed", "2"]).stdout, "another seed, other pools")

    # The other formats.
    p = run(explore, ["table", one, "--ratios", "0.2", "--applicants", "30", "--format", "json"])
    document = json.loads(p.stdout)
    expect(document.get("pool") == {"applicants": 30, "alpha": 0.05}, f"json: {document.get('pool')}")
    expect("p_fisher" in document["rows"][0], "json rows")
    p = run(explore, ["table", one, "--ratios", "0.2", "--applicants", "30", "--format", "text"])
    lines = p.stdout.decode().splitlines()
    expect(lines[0].endswith("p_fail p_fisher      p_z p_absent") and
           lines[-1] == "pools of 30 applicants: exact chances", f"text: {lines}")
    p = run(explore, ["table", three, "--ratios", "0.2", "--applicants", "30",
                      "--replications", "50", "--format", "text"])
    expect(p.stdout.decode().splitlines()[-1].startswith(
        "pools of 30 applicants: simulated, 50 pools (seed 1), standard errors at most "),
        "text: simulated")

    # Bad values, each named.
    for value in ("0", "-5", "1.5", "1e3", "abc", "", "1000001", "99999999999999999999"):
        expect_failure(explore, ["table", one, "--applicants", value], "--applicants")
    for value in ("1", "0", "x"):
        expect_failure(explore, ["table", one, "--applicants", "10", "--replications", value],
                       "--replications")
    expect_failure(explore, ["table", one, "--replications", "100"], "--applicants")
    expect_failure(explore, ["table", one, "--seed", "3"], "--applicants")
    expect_failure(explore, ["table", one, "--applicants", "10", "--seed", "-1"], "--seed")
    for value in ("0", "1", "nan", "inf", "-0.1"):
        expect_failure(explore, ["table", one, "--applicants", "10", "--alpha", value], "--alpha")
    # A simulation that would run for hours is refused before it starts.
    expect_failure(explore, ["table", three, "--applicants", "1000000", "--replications",
                             "100000"], "--replications")

    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
