#!/usr/bin/env python3
"""`fourfifths-explore pareto` as a user meets it.

  check_pareto.py EXPLORE SOURCE_DIR OUTPUT_DIR

On the published four-predictor example (examples/published_four_predictors.json,
overall selection ratio 0.10):
- the CSV has the columns named in the issue and 21 points, from the
  highest-quality end: the first point is the regression weighting (the
  classic report of the same scenario prints its weights and its validity
  0.434), the last is all weight on the third predictor, the points are
  spread evenly in the impact ratio;
- --min-ai 0.8 gives one weighting with an impact ratio of at least 0.8;
  a ratio out of reach exits 3, says so, and gives the highest reachable;
- the JSON carries the predictors' names;
- --plot draws the front: rendered by rsvg-convert, the four-fifths line
  and the unit and regression weightings sit where the axes say (the
  renderer checks of check_chart_render.py);
- questions the scenario cannot answer exit 2 with a message.
"""
import csv
import io
import json
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "present"))
import check_chart_render as chart  # noqa: E402

failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)


def run(explore, args, stdin=b""):
    return subprocess.run([explore] + args, input=stdin, capture_output=True)


def main():
    explore, source, out_dir = sys.argv[1:4]
    os.makedirs(out_dir, exist_ok=True)
    example = os.path.join(source, "examples", "published_four_predictors.json")
    base = ["pareto", example, "--ratio", "0.1"]

    p = run(explore, base)
    expect(p.returncode == 0 and p.stderr == b"", f"front: status {p.returncode} {p.stderr!r}")
    rows = list(csv.DictReader(io.StringIO(p.stdout.decode())))
    header = p.stdout.decode().split("\n")[0].split(",")
    expect(header == ["point", "ai_ratio", "validity", "mean", "mean_majority", "mean_minority",
                      "sr_majority", "sr_minority", "composite_d", "four_fifths_minimum",
                      "w1", "w2", "w3", "w4"], f"header {header}")
    expect(len(rows) == 21, f"{len(rows)} points")

    # The regression weights and the validity as the classic report prints
    # them for the same scenario.
    deck = run(explore, ["convert", example, "--to", "deck"]).stdout
    program = os.path.join(os.path.dirname(os.path.dirname(explore)), "app", "fourfifths")
    report = subprocess.run([program], input=deck, capture_output=True).stdout.decode()
    printed = [float(v) for v in report.split("Predictor weights (from predictor one to the last):\n")[1]
               .split("\n")[0].split()]
    regression = [w / sum(printed) for w in printed]
    first = [float(rows[0][f"w{j}"]) for j in range(1, 5)]
    expect(all(abs(a - b) < 1e-4 for a, b in zip(first, regression)),
           f"the quality end {first} is not the regression weighting {regression}")
    validity = float(re.search(r"criterion combinations:\s+([0-9.]+)", report).group(1))
    expect(abs(float(rows[0]["validity"]) - validity) < 5e-4, "the quality end's validity")
    expect([float(rows[-1][f"w{j}"]) for j in range(1, 5)] == [0, 0, 1, 0],
           f"the impact end {[rows[-1][f'w{j}'] for j in range(1, 5)]}")
    ai = [float(r["ai_ratio"]) for r in rows]
    steps = [b - a for a, b in zip(ai, ai[1:])]
    expect(max(steps) - min(steps) < 1e-9, "points not evenly spread in the impact ratio")
    expect(all(float(a["validity"]) > float(b["validity"]) for a, b in zip(rows, rows[1:])),
           "validity does not fall along the front")

    # The practitioner's question.
    p = run(explore, base + ["--min-ai", "0.8"])
    best = list(csv.DictReader(io.StringIO(p.stdout.decode())))
    expect(p.returncode == 0 and len(best) == 1 and best[0]["point"] == "best"
           and float(best[0]["ai_ratio"]) >= 0.8 - 1e-12, f"--min-ai 0.8: {p.returncode} {best}")
    p = run(explore, base + ["--min-ai", "0.95"])
    highest = list(csv.DictReader(io.StringIO(p.stdout.decode())))
    expect(p.returncode == 3 and b"no weighting reaches an impact ratio of 0.95" in p.stderr
           and highest and highest[0]["point"] == "highest"
           and abs(float(highest[0]["ai_ratio"]) - ai[-1]) < 1e-12,
           f"--min-ai 0.95: {p.returncode} {p.stderr!r}")

    # Names in JSON; a deck works as well.
    p = run(explore, base + ["--format", "json"])
    doc = json.loads(p.stdout)
    expect(doc["predictors"][0] == "cognitive ability" and len(doc["points"]) == 21
           and "cognitive ability" in doc["points"][0]["weights"], "JSON names")
    p = run(explore, ["pareto", "-", "--ratio", "0.1"], stdin=deck)
    expect(p.returncode == 0 and len(p.stdout.decode().strip().split("\n")) == 22, "from a deck")

    # Questions the scenario cannot answer.
    majority = json.loads(open(example).read())
    majority["mode"] = "majority"
    del majority["majority_per_minority"]
    text = json.dumps(majority).encode()
    p = run(explore, ["pareto", "-", "--ratio", "0.1"], stdin=text)
    expect(p.returncode == 2 and p.stdout == b"" and b"needs the applicant mix" in p.stderr,
           "an overall ratio without a mix")
    p = run(explore, ["pareto", "-", "--ratio", "0.1", "--majority"], stdin=text)
    expect(p.returncode == 0, "a majority ratio without a mix")
    p = run(explore, ["pareto", "-", "--ratio", "0.1", "--majority", "--objective", "mean"], stdin=text)
    expect(p.returncode == 2 and b"mean objective needs the applicant mix" in p.stderr,
           "the mean objective without a mix")
    p = run(explore, base[:2] + ["--ratio", "1.5"])
    expect(p.returncode == 2 and p.stdout == b"", "--ratio 1.5")

    # The chart.
    svg = os.path.join(out_dir, "front.svg")
    p = run(explore, base + ["--plot", svg, "--format", "json"])
    marks = json.loads(p.stdout)
    if shutil.which("rsvg-convert") is None:
        print("rsvg-convert is not installed: the chart is not rendered")
    else:
        png = os.path.join(out_dir, "front.png")
        r = subprocess.run(["rsvg-convert", "-w", "800", "-h", "500", svg, "-o", png],
                           capture_output=True)
        expect(r.returncode == 0 and r.stderr == b"", f"rsvg-convert: {r.stderr!r}")
        checks = [{"panel": 0, "kind": "vertical", "value": 0.8}]
        for label, key in (("unit weights", "unit"), ("regression weights", "regression")):
            checks.append({"panel": 0, "kind": "marker", "label": label,
                           "x": marks[key]["ai_ratio"], "y": marks[key]["validity"]})
        try:
            chart.check_figure(svg, png, {"width": 800, "height": 500, "checks": checks})
        except chart.CheckFailed as e:
            failures.append(f"chart: {e}")

    for f in failures:
        print(f)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
