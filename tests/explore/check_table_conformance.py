#!/usr/bin/env python3
"""`fourfifths-explore table` over the conformance suite.

  check_table_conformance.py EXPLORE GOLDEN_DIR [--every N]

For every deck of GOLDEN_DIR/conformance (valid/ and edge/) with a complete
report (status 0):
- classic method: every number of the table, written as the report writes
  it (seven columns, three decimals), equals the number in the expected
  report of the independent model (the .out beside the deck), entry by
  entry: rows for solved entries, "ERROR ZERO" or "ERROR PPND" for the
  others, the minimum's entry where the report has one; where the minority
  scores higher the report has none, and the table's minimum is the one
  that protects the majority (its rate 0.8 of the minority's);
- precise method (the default): every value agrees with the 50-digit
  outcomes of GOLDEN_DIR/precise/valid.csv within its tolerance, 1e-12
  (relative for the selection and impact ratios, relative to max(1, |v|)
  for the others).
A deck whose correlations are not positive definite (the warning says so)
is no population: both methods give every row the status
not_positive_definite with no number but its target, and no minimum; the
report prints what its formulas give, which the golden tests hold.
A deck that the program rejects or cannot read must make the explorer fail
with status 2, writing nothing on standard output.

--every N takes every Nth deck of each folder (by name) only: the
sanitizer builds, many times slower, look at a sample for memory faults.
"""
import csv
import io
import math
import os
import re
import subprocess
import sys

NUMBER = re.compile(r"-?\d*\.\d{3}|\*{7}|-?nan|-?inf|NAN|INF")


def f73(v):
    """A double as the report writes it in a field of seven columns with
    three decimals: rounded exactly, no sign when it rounds to zero, the
    leading zero given up in a field one column short, else asterisks."""
    if math.isnan(v):
        return "nan"
    if math.isinf(v):
        return "-inf" if v < 0 else "inf"
    text = "%.3f" % abs(v)
    negative = v < 0 and text.strip("0.") != ""
    needed = len(text) + (1 if negative else 0)
    if needed > 7:
        if text[0] == "0" and needed - 1 == 7:
            text = text[1:]
        else:
            return "*******"
    return ("-" if negative else "") + text


def report_entries(report):
    """The table's entries in order: ('row', [numbers as text]) or
    ('error', line)."""
    lines = report.split("\n")
    start = None
    for i, line in enumerate(lines):
        if line.startswith("     SR     SRA") or line.startswith("    SRA     SRI"):
            start = i
            break
    if start is None:
        return None, None
    overall = lines[start].startswith("     SR")
    i = start + (2 if overall else 2)  # the titles, then the empty line or second title
    entries = []
    while i < len(lines):
        line = lines[i]
        if not line or line.startswith("Details for"):
            i += 1
            continue
        if line.startswith("ERROR"):
            entries.append(("error", line))
            i += 1
            continue
        fields = [line[k:k + 7] for k in range(0, len(line), 8)]
        if overall:
            second = lines[i + 1]
            fields += [second[k:k + 7] for k in range(3, len(second), 8)]
            i += 2
        else:
            i += 1
        entries.append(("row", [f.strip() for f in fields]))
    return overall, entries


def run(explore, args):
    return subprocess.run([explore] + args, capture_output=True)


# The decks whose table has a minimum that protects the majority.
with_majority_minimum = []


def check_classic(explore, deck, report, problems):
    overall, entries = report_entries(report)
    p = run(explore, ["table", deck, "--method", "classic"])
    if p.returncode != 0:
        problems.append(f"{deck}: status {p.returncode}: {p.stderr.decode()}")
        return 0
    rows = list(csv.DictReader(io.StringIO(p.stdout.decode())))
    minimum = [r for r in rows if r["kind"] == "minimum"]
    if len(rows) == len(entries) + 1 and minimum:
        # The report compares the minority with the majority alone, and has
        # no minimum where the minority scores higher; the table compares
        # every group with the highest rate, so its minimum protects the
        # majority: there the majority's rate is 0.8 of the minority's.
        m = minimum[0]
        ratio = float(m["sr_majority"]) / float(m["sr_minority"])
        if not (float(m["sr_minority"]) > float(m["sr_majority"]) and abs(ratio - 0.8) <= 5e-4
                and float(m["ratio_to_highest"]) == min(float(m["ai_ratio"]), ratio)
                and m["passes_four_fifths"] == "true"):
            problems.append(f"{deck}: a minimum the report has not, and not the majority's: {m}")
        rows.remove(m)
        with_majority_minimum.append(deck)
    if len(rows) != len(entries):
        problems.append(f"{deck}: {len(rows)} rows, the report has {len(entries)} entries")
        return 0
    columns = (["target", "sr_majority", "sr_minority", "ai_ratio", "mean", "mean_majority",
                "mean_minority", "mean_difference", "std_mean", "std_mean_majority",
                "std_mean_minority", "std_mean_difference"] if overall else
               ["sr_majority", "sr_minority", "ai_ratio", "mean_majority", "mean_minority",
                "mean_difference"])
    compared = 0
    for n, (row, (what, entry)) in enumerate(zip(rows, entries), 1):
        if what == "error":
            if row["status"] == "solved":
                problems.append(f"{deck} entry {n}: solved, the report has '{entry}'")
            elif not entry.startswith("ERROR ZERO" if row["status"] == "no_cut_score" else "ERROR PPND"):
                problems.append(f"{deck} entry {n}: status {row['status']}, the report has '{entry}'")
            continue
        if row["status"] != "solved":
            problems.append(f"{deck} entry {n}: {row['status']}, the report has a row")
            continue
        got = [f73(float(row[c])) for c in columns]
        if got != entry:
            problems.append(f"{deck} entry {n}: {got} != {entry}")
        compared += len(got)
    return compared


def load_precise(path):
    by_deck = {}
    with open(path, newline="") as f:
        for row in csv.DictReader(f):
            by_deck.setdefault(row["deck"], []).append(row)
    return by_deck


RELATIVE = {"target", "sr", "sr_majority", "sr_minority", "ai_ratio"}
PRECISE_COLUMNS = ["target", "cut_score", "sr", "sr_majority", "sr_minority", "ai_ratio", "mean",
                   "mean_majority", "mean_minority", "mean_difference", "std_mean",
                   "std_mean_majority", "std_mean_minority", "std_mean_difference"]


def check_precise(explore, deck, expected, problems):
    p = run(explore, ["table", deck])
    if p.returncode != 0:
        problems.append(f"{deck} precise: status {p.returncode}")
        return 0, 0.0
    rows = list(csv.DictReader(io.StringIO(p.stdout.decode())))
    # The report's order: 21 built-in ratios, the minimum, the requested ones.
    by_index = {}
    index = 0
    for row in rows:
        if row["kind"] == "builtin":
            index += 1
            by_index[index] = row
        elif row["kind"] == "minimum":
            by_index[22] = row
        else:
            index = max(index, 22) + 1
            by_index[index] = row
    compared, worst = 0, 0.0
    for want in expected:
        got = by_index.get(int(want["index"]))
        if got is None:
            problems.append(f"{deck} precise: no row {want['index']}")
            continue
        for c in PRECISE_COLUMNS:
            if want[c] == "":
                continue
            if got[c] == "":
                problems.append(f"{deck} precise row {want['index']}: no {c}")
                continue
            w, g = float(want[c]), float(got[c])
            scale = abs(w) if c in RELATIVE else max(1.0, abs(w))
            error = abs(g - w) / scale
            worst = max(worst, error)
            if not error <= 1e-12:
                problems.append(f"{deck} precise row {want['index']} {c}: {g} != {w}")
            compared += 1
    return compared, worst


impossible = []


def check_impossible(explore, deck, problems):
    """Whether the deck's correlations are not positive definite; if so, that
    no row of either method has a number but its target."""
    p = run(explore, ["table", deck])
    if b"not positive definite" not in p.stderr:
        return False
    impossible.append(deck)
    for method in ("precise", "classic"):
        p = run(explore, ["table", deck, "--method", method])
        rows = list(csv.DictReader(io.StringIO(p.stdout.decode())))
        if p.returncode != 0 or not rows:
            problems.append(f"{deck} {method}: status {p.returncode}, {len(rows)} rows")
        for row in rows:
            filled = [c for c, v in row.items() if v and c not in ("kind", "target", "status")]
            if row["status"] != "not_positive_definite" or filled or row["kind"] == "minimum":
                problems.append(f"{deck} {method}: an impossible matrix gave {row}")
    return True


def main():
    explore, golden = sys.argv[1:3]
    every = int(sys.argv[4]) if len(sys.argv) == 5 and sys.argv[3] == "--every" else 1
    precise = load_precise(os.path.join(golden, "precise", "valid.csv"))
    problems = []
    decks = classic_values = precise_values = 0
    worst = 0.0
    for folder in ("valid", "edge", "invalid"):
        root = os.path.join(golden, "conformance", folder)
        for name in sorted(f[:-5] for f in os.listdir(root) if f.endswith(".deck"))[::every]:
            deck = os.path.join(root, name + ".deck")
            status = int(open(os.path.join(root, name + ".status")).read())
            if status != 0:
                p = run(explore, ["table", deck])
                if p.returncode != 2 or p.stdout:
                    problems.append(f"{deck}: a rejected deck gave status {p.returncode}")
                continue
            decks += 1
            if check_impossible(explore, deck, problems):
                continue
            report = open(os.path.join(root, name + ".out")).read()
            classic_values += check_classic(explore, deck, report, problems)
            if folder == "valid" and name in precise:
                n, w = check_precise(explore, deck, precise[name], problems)
                precise_values += n
                worst = max(worst, w)
    print(f"{decks} decks; classic: {classic_values} numbers equal the report's; "
          f"precise: {precise_values} values, largest error {worst:.3g}; "
          f"{len(with_majority_minimum)} with a minimum that protects the majority; "
          f"{len(impossible)} whose correlations are not positive definite, without numbers")
    for p in problems[:20]:
        print(p)
    if problems:
        print(f"{len(problems)} problems")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
