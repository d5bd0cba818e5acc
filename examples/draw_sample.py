#!/usr/bin/python3
"""Draws a validation sample from a JSON scenario, as CSV on standard output.

Each person is a row: an id, the group ("majority" or a minority group's
name) and a score on every predictor and criterion, drawn from the normal
distribution the scenario describes (its correlation matrix within every
group, each minority group's mean shifted by its effect sizes, groups in
the scenario's shares). `fourfifths-explore fit` on the sample recovers the
scenario to within the sampling error.

    python3 examples/draw_sample.py examples/three_groups.json --rows 20000 --seed 7 > sample.csv

With --missing P each score is left blank with probability P. Needs numpy
only; the draws are numpy's (PCG64) and the same for a seed everywhere.
"""
import argparse
import csv
import json
import sys

import numpy as np


def groups_of(scenario):
    """The minority groups as (name, share, effect sizes)."""
    if "groups" in scenario:
        return [(g["name"], g["share"], g["d"]) for g in scenario["groups"]]
    variables = scenario["predictors"] + scenario.get("criteria", [])
    share = scenario.get("minority_share")
    if share is None:
        share = 1 / (1 + scenario["majority_per_minority"])
    return [("minority", share, [v["d"] for v in variables])]


def draw(scenario, rows, rng, missing=0.0):
    """The group of each row and its scores (NaN where left blank)."""
    r = np.asarray(scenario["correlations"], dtype=float)
    minorities = groups_of(scenario)
    names = ["majority"] + [g[0] for g in minorities]
    shares = [1 - sum(g[1] for g in minorities)] + [g[1] for g in minorities]
    means = np.vstack([np.zeros(len(r))] + [np.asarray(g[2], dtype=float) for g in minorities])
    group = rng.choice(len(names), size=rows, p=shares)
    scores = rng.standard_normal((rows, len(r))) @ np.linalg.cholesky(r).T + means[group]
    if missing > 0:
        scores[rng.random(scores.shape) < missing] = np.nan
    return [names[k] for k in group], scores


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("scenario", help="a JSON scenario")
    parser.add_argument("--rows", type=int, default=10000, help="people to draw (10000)")
    parser.add_argument("--seed", type=int, default=1, help="the seed of the draws (1)")
    parser.add_argument("--missing", type=float, default=0.0,
                        help="the chance that a score is left blank (0)")
    args = parser.parse_args()
    with open(args.scenario, encoding="utf-8") as f:
        scenario = json.load(f)
    groups, scores = draw(scenario, args.rows, np.random.default_rng(args.seed), args.missing)
    names = [v["name"] for v in scenario["predictors"] + scenario.get("criteria", [])]
    out = csv.writer(sys.stdout, lineterminator="\n")
    out.writerow(["id", "group"] + names)
    for i, (g, row) in enumerate(zip(groups, scores), start=1):
        out.writerow([i, g] + ["" if np.isnan(x) else repr(float(x)) for x in row])


if __name__ == "__main__":
    main()
