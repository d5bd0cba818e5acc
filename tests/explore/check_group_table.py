#!/usr/bin/env python3
"""`fourfifths-explore table` for scenarios with several minority groups.

  check_group_table.py EXPLORE DATA_DIR WORK_DIR [--every N]

Every problem of DATA_DIR (cases.jsonl, truth.csv: 50-digit outcomes of an
independent model, README.md there) is written as a scenario with
"groups" and tabled at the eight ratios of truth.csv in CSV: one row per
ratio and group, the majority first, then the rows of kind "minimum";
every value agrees with the 50-digit ones within 1e-12 (relative for
rates and ratios, relative to max(1, |v|) for cut scores and means). The
same scenario written back by `convert --to json` tables the same bytes,
and a group order turned round changes no group's numbers.

`batch --groups` gives every scenario's table rows after its id, the same
bytes as `table`; a scenario of one minority group there is the group
"minority"; without --groups a scenario with "groups" is an error row in
CSV and its own layout in JSON Lines. `plot` draws each such scenario.

--every N takes every Nth problem only (the sanitizer builds, many times
slower, look at a sample for memory faults).
"""
import csv
import io
import json
import os
import subprocess
import sys

RATIOS = ["0.01", "0.05", "0.1", "0.2", "0.3", "0.5", "0.7", "0.9"]
COLUMNS = ["kind", "target", "group", "cut_score", "sr", "sr_group", "ai_vs_majority",
           "ratio_to_highest", "passes_four_fifths", "mean", "mean_group", "status"]
TOLERANCE = 1e-12
SMALLEST = 2.2250738585072014e-308


def scenario(case):
    np_, nc = case["predictors"], case["criteria"]
    regression = case["predictor_weights"] == "regression"
    doc = {"id": case["id"], "mode": case["mode"], "quality": case["quality"]}
    if regression:
        doc["weights"] = "regression"
    doc["predictors"] = []
    for i in range(np_):
        p = {"name": "P%d" % (i + 1)}
        if not regression:
            p["weight"] = case["predictor_weights"][i]
        doc["predictors"].append(p)
    doc["criteria"] = [{"name": "C%d" % (k + 1), "weight": case["criterion_weights"][k]}
                       for k in range(nc)]
    doc["correlations"] = case["correlations"]
    doc["groups"] = [{"name": g["name"], "share": g["share"], "d": g["d"]}
                     for g in case["groups"]]
    return doc


def run(explore, path, *args):
    r = subprocess.run([explore, "table", path, "--ratios", ",".join(RATIOS), "--format", "csv",
                        *args], capture_output=True)
    if r.returncode != 0:
        raise AssertionError("%s: status %d: %s" % (path, r.returncode, r.stderr.decode()))
    return r.stdout.decode()


def close(got, want, relative):
    if relative and abs(want) < 1e-300:
        return abs(got - want) <= 1e-300
    scale = abs(want) if relative else max(1.0, abs(want))
    return abs(got - want) <= TOLERANCE * scale


def main():
    explore, data, work = sys.argv[1:4]
    every = int(sys.argv[5]) if len(sys.argv) == 6 and sys.argv[4] == "--every" else 1
    os.makedirs(work, exist_ok=True)
    truth = {}
    with open(os.path.join(data, "truth.csv"), newline="") as f:
        for row in csv.DictReader(f):
            truth.setdefault(row["case"], []).append(row)
    failures = []
    largest = 0.0
    with open(os.path.join(data, "cases.jsonl")) as f:
        cases = [json.loads(line) for line in f if line.strip()][::every]
    for case in cases:
        cid = case["id"]
        path = os.path.join(work, cid + ".json")
        with open(path, "w") as out:
            json.dump(scenario(case), out)
        text = run(explore, path)
        reader = csv.DictReader(io.StringIO(text))
        if reader.fieldnames != COLUMNS:
            failures.append("%s: columns %s" % (cid, reader.fieldnames))
            continue
        rows = list(reader)
        expected = truth[cid]
        # The minimum below the doubles has no rows.
        expected = [e for e in expected if not e["ratio"].startswith("minimum:")
                    or float(e["ratio"][8:]) >= SMALLEST]
        if len(rows) != len(expected):
            failures.append("%s: %d rows, expected %d" % (cid, len(rows), len(expected)))
            continue
        for got, want in zip(rows, expected):
            at = "%s %s %s" % (cid, want["ratio"][:20], want["group"])
            minimum = want["ratio"].startswith("minimum:")
            if got["kind"] != ("minimum" if minimum else "requested") or got["status"] != "solved" \
                    or got["group"] != want["group"]:
                failures.append("%s: row %s" % (at, got))
                continue
            target = want["ratio"][8:] if minimum else want["ratio"]
            pairs = [("target", target, True), ("cut_score", want["cut_score"], False),
                     ("sr", want["overall_sr"], True), ("sr_group", want["sr"], True),
                     ("ai_vs_majority", want["ai_vs_majority"], True),
                     ("ratio_to_highest", want["ratio_to_highest"], True),
                     ("mean", want["overall_mean"], False), ("mean_group", want["mean"], False)]
            for column, expected_text, relative in pairs:
                g, w = float(got[column]), float(expected_text)
                if not close(g, w, relative):
                    failures.append("%s %s: %r against %s" % (at, column, g, expected_text))
                elif abs(w) >= 1e-300:
                    largest = max(largest, abs(g - w) / (abs(w) if relative else max(1, abs(w))))
            # At the minimum the rule holds by construction (the expected
            # verdict sits on 0.8 to the last of its digits).
            verdict = "true" if minimum else want["passes_four_fifths"]
            if got["passes_four_fifths"] != verdict:
                failures.append("%s passes: %s against %s" % (at, got["passes_four_fifths"],
                                                               verdict))
        # Written back by convert, the scenario tables the same bytes.
        back = subprocess.run([explore, "convert", path, "--to", "json", "-o",
                               path + ".back.json"], capture_output=True)
        if back.returncode != 0 or run(explore, path + ".back.json") != text:
            failures.append("%s: convert --to json does not give the same table" % cid)
        # The groups in another order: every group's rows as before.
        if len(case["groups"]) > 1:
            turned = dict(case, groups=list(reversed(case["groups"])))
            turned_path = os.path.join(work, cid + ".turned.json")
            with open(turned_path, "w") as out:
                json.dump(scenario(turned), out)
            def by_group(t):
                return {(r["kind"], round(float(r["target"]), 12), r["group"]): float(r["sr_group"])
                        for r in csv.DictReader(io.StringIO(t))}
            before, after = by_group(text), by_group(run(explore, turned_path))
            if before.keys() != after.keys() or any(
                    not close(after[k], v, True) for k, v in before.items()):
                failures.append("%s: the order of the groups changes the table" % cid)
    failures += check_batch(explore, work, cases)
    print("%d scenarios, largest error %.3g" % (len(cases), largest))
    for f in failures[:40]:
        print("FAIL", f)
    return 1 if failures else 0


def check_batch(explore, work, cases):
    failures = []
    chosen = cases[:12]
    lines = [json.dumps(scenario(c)) for c in chosen]
    # A scenario of one minority group, and the same written with "groups".
    one = {"id": "one", "mode": "overall", "predictors": [{"name": "P1", "d": -0.8, "weight": 1},
           {"name": "P2", "d": -0.2, "weight": 1}], "criteria": [{"name": "C", "d": -0.3,
           "weight": 1}], "correlations": [[1, 0.3, 0.5], [0.3, 1, 0.4], [0.5, 0.4, 1]],
           "minority_share": 0.25}
    as_group = dict(one, id="as_group", predictors=[{"name": "P1", "weight": 1},
                    {"name": "P2", "weight": 1}], criteria=[{"name": "C", "weight": 1}],
                    groups=[{"name": "minority", "share": 0.25, "d": [-0.8, -0.2, -0.3]}])
    del as_group["minority_share"]
    lines += [json.dumps(one), json.dumps(as_group)]
    stdin = ("\n".join(lines) + "\n").encode()
    ratios = ",".join(RATIOS)
    r = subprocess.run([explore, "batch", "--groups", "--ratios", ratios, "--threads", "2"],
                       input=stdin, capture_output=True)
    if r.returncode != 0:
        return ["batch --groups: status %d: %s" % (r.returncode, r.stderr.decode())]
    text = r.stdout.decode()
    header, _, body = text.partition("\n")
    if header.split(",") != ["id"] + COLUMNS:
        failures.append("batch --groups header: %s" % header)
    rows = {}
    for line in body.splitlines():
        rows.setdefault(line.split(",", 1)[0], []).append(line.split(",", 1)[1])
    for c in chosen:
        path = os.path.join(work, c["id"] + ".json")
        table_rows = run(explore, path).splitlines()[1:]
        if rows.get(c["id"]) != table_rows:
            failures.append("batch --groups: %s differs from its table" % c["id"])
    if rows.get("one") is None or rows.get("one") != rows.get("as_group"):
        failures.append("batch --groups: one group is not the group \"minority\"")
    # Without --groups: an error row in CSV, exit 3; its own layout in JSON Lines.
    r = subprocess.run([explore, "batch", "--ratios", "0.5"], input=stdin, capture_output=True)
    errors = [l for l in r.stdout.decode().splitlines() if "error: several minority groups" in l]
    if r.returncode != 3 or len(errors) != len(chosen) + 1:
        failures.append("batch without --groups: status %d, %d error rows"
                        % (r.returncode, len(errors)))
    r = subprocess.run([explore, "batch", "--format", "jsonl", "--ratios", "0.5"], input=stdin,
                       capture_output=True)
    docs = [json.loads(l) for l in r.stdout.decode().splitlines()]
    grouped = [d for d in docs if d["rows"] and "group" in d["rows"][0]]
    if r.returncode != 0 or len(grouped) != len(chosen) + 1:
        failures.append("batch --format jsonl: status %d, %d documents with groups"
                        % (r.returncode, len(grouped)))
    # The plot of a scenario with groups: an SVG with each group's name.
    c = chosen[0]
    r = subprocess.run([explore, "plot", os.path.join(work, c["id"] + ".json"), "-o", "-"],
                       capture_output=True)
    svg = r.stdout.decode()
    if r.returncode != 0 or not svg.startswith("<svg") and "<svg" not in svg[:200] or any(
            ">%s<" % g["name"] not in svg for g in c["groups"]):
        failures.append("plot of %s: status %d" % (c["id"], r.returncode))
    return failures


if __name__ == "__main__":
    sys.exit(main())
