#!/usr/bin/python3
"""Pareto fronts with several minority groups against dense brute force.

  check_group_front.py EXPLORE WORK_DIR [--problems N] [--weightings M] [--starts S]

For N random problems (2 to 4 groups, 2 to 5 predictors, overall and
majority ratios, non-negative and any-sign weights, fixed seeds) the
explorer's front (`pareto --format json`) is checked with this file's own
model, which shares no code with the program:
- every point's validity, lowest ratio to the highest rate and each group's
  ratio agree with the weights it lists (to 1e-9);
- no weighting among M random ones (vectorised numpy; the overall cut score
  by bisection then Newton on the mixture) beats a point on both axes by
  more than 1e-6;
- nor does scipy's SLSQP, maximising validity subject to a lowest ratio
  just above the point's, from S starts (random ones and the best random
  weightings near that level);
- no weighting found has a validity above the point's certified bound at a
  lowest ratio at or above the point's.
Prints the worst margin found (positive: a weighting beat a point by it).
Exit 0 when every check passes.
"""
import argparse
import json
import math
import os
import subprocess
import sys

import numpy as np
from scipy import optimize, special

TOLERANCE = 1e-6


def q(z):
    return special.ndtr(-z)


SQRT_2PI = math.sqrt(2 * math.pi)


def q1(z):
    """The upper tail area of one number."""
    return 0.5 * math.erfc(z / math.sqrt(2))


def random_problem(rng, index):
    groups = 2 + index % 3
    n = 2 + (index // 3) % 4
    mode = "overall" if index % 2 == 0 else "majority"
    signs = "nonnegative" if (index // 2) % 2 == 0 else "any"
    # A correlation matrix of the predictors and one criterion from two
    # common factors.
    m = n + 1
    loading = rng.uniform(-0.7, 0.7, size=(m, 2))
    loading[-1] = np.abs(loading[-1])
    for i in range(m):
        s = np.sum(loading[i] ** 2)
        if s > 0.85:
            loading[i] *= np.sqrt(0.85 / s)
    r = loading @ loading.T
    np.fill_diagonal(r, 1.0)
    r = np.round(r, 3)
    shares = rng.uniform(0.03, 0.5 / groups, size=groups)
    ds = []
    for _ in range(groups):
        d = rng.uniform(-1.1, 0.25, size=m)
        ds.append(np.round(d, 3))
    ratio = float(np.round(rng.uniform(0.05, 0.5), 3))
    return {
        "n": n, "groups": groups, "mode": mode, "signs": signs, "r": r,
        "shares": np.round(shares, 3), "d": ds, "ratio": ratio,
    }


def scenario_json(p):
    n = p["n"]
    return {
        "title": "random",
        "mode": p["mode"],
        "quality": "criterion",
        "predictors": [{"name": "P%d" % (j + 1), "weight": 1} for j in range(n)],
        "criteria": [{"name": "C", "weight": 1}],
        "correlations": p["r"].tolist(),
        "groups": [{"name": "G%d" % (g + 1), "share": float(p["shares"][g]), "d": p["d"][g].tolist()}
                   for g in range(p["groups"])],
    }


class model:
    def __init__(self, p):
        n = p["n"]
        self.n = n
        self.rpp = p["r"][:n, :n]
        self.a = p["r"][:n, n]  # one criterion of unit weight
        self.dp = np.array([d[:n] for d in p["d"]])  # groups x n
        self.shares = np.array(p["shares"], dtype=float)
        self.p0 = 1 - self.shares.sum()
        self.ratio = p["ratio"]
        self.overall = p["mode"] == "overall"
        self.z = float(special.ndtri(1 - self.ratio))  # Q^-1(R)

    def cut(self, e):
        """Cut scores for rows of effects e (k x G).

        Every group's tail area at x lies between those of the lowest and
        the highest mean (the majority's 0 among them), so the root lies
        within Q^-1(R) of both: bisection in that bracket, then Newton."""
        if not self.overall:
            return np.full(e.shape[0], self.z)
        lo = np.minimum(e.min(axis=1), 0) + self.z - 1e-9
        hi = np.maximum(e.max(axis=1), 0) + self.z + 1e-9

        def f(x):
            return self.p0 * q(x) + (self.shares * q(x[:, None] - e)).sum(axis=1) - self.ratio

        for _ in range(14):
            mid = (lo + hi) / 2
            above = f(mid) > 0
            lo = np.where(above, mid, lo)
            hi = np.where(above, hi, mid)
        x = (lo + hi) / 2
        for _ in range(4):
            dens = self.p0 * np.exp(-x * x / 2) + (self.shares * np.exp(-(x[:, None] - e) ** 2 / 2)).sum(axis=1)
            x = x + f(x) / (dens / np.sqrt(2 * np.pi))
        return x

    def cut_one(self, e):
        """The cut score for one row of effects, in scalar arithmetic:
        Newton's method kept inside the bracket of cut()."""
        lo = min(min(e), 0.0) + self.z - 1e-9
        hi = max(max(e), 0.0) + self.z + 1e-9
        shares = [float(s) for s in self.shares]
        x = min(max(self.z, lo), hi)
        for _ in range(100):
            g = self.p0 * q1(x) + sum(s * q1(x - ei) for s, ei in zip(shares, e)) - self.ratio
            if g == 0:
                return x
            if g > 0:
                lo = x
            else:
                hi = x
            dens = (self.p0 * math.exp(-x * x / 2)
                    + sum(s * math.exp(-(x - ei) ** 2 / 2) for s, ei in zip(shares, e))) / SQRT_2PI
            step = g / dens if dens > 0 else math.inf
            if abs(step) <= 1e-15 * max(1.0, abs(x)):
                return x + step
            nxt = x + step
            x = nxt if lo < nxt < hi else (lo + hi) / 2
            if hi - lo <= 1e-15 * max(1.0, abs(x)):
                return x
        return x

    def scalar(self, w):
        """Validity and lowest ratio of one weighting (for the optimiser)."""
        sigma = np.sqrt(w @ self.rpp @ w)
        v = (w @ self.a) / sigma
        e = [float(x) for x in (self.dp @ w) / sigma]
        x = self.cut_one(e) if self.overall else self.z
        sr = [q1(x)] + [q1(x - ei) for ei in e]
        return v, min(sr) / max(sr)

    def evaluate(self, w):
        """Validity, lowest ratio and each group's ratio (majority first) of rows w."""
        w = np.atleast_2d(w)
        sigma = np.sqrt(np.einsum("ij,jk,ik->i", w, self.rpp, w))
        v = (w @ self.a) / sigma
        e = (w @ self.dp.T) / sigma[:, None]
        x = self.cut(e)
        sr = np.concatenate([q(x)[:, None], q(x[:, None] - e)], axis=1)
        ratios = sr / sr.max(axis=1, keepdims=True)
        return v, ratios.min(axis=1), ratios


def random_weightings(rng, count, n, signs):
    if signs == "nonnegative":
        w = rng.exponential(size=(count, n))
    else:
        w = rng.normal(size=(count, n))
    # A third with some weights set to 0: optima lie on faces.
    k = count // 3
    mask = rng.random(size=(k, n)) < 0.4
    w[:k][mask] = 0
    w[:k][w[:k].sum(axis=1) == 0, 0] = 1
    return w


def run_front(explore, path, p):
    args = [explore, "pareto", path, "--ratio", str(p["ratio"]), "--points", "11", "--format", "json",
            "--weights", p["signs"]]
    if p["mode"] == "majority":
        args.append("--majority")
    out = subprocess.run(args, capture_output=True, text=True)
    if out.returncode != 0:
        raise RuntimeError("explorer failed: " + out.stderr)
    return json.loads(out.stdout)


def check_problem(explore, work, index, weightings, starts, report):
    rng = np.random.default_rng(1000 + index)
    p = random_problem(rng, index)
    path = os.path.join(work, "group_front_%d.json" % index)
    with open(path, "w") as f:
        json.dump(scenario_json(p), f)
    front = run_front(explore, path, p)
    m = model(p)
    faults = []
    points = front["points"]
    pv = np.array([pt["validity"] for pt in points])
    pl = np.array([pt["lowest_ratio_to_highest"] for pt in points])
    bounds = [pt["bound"] for pt in points]
    # The points' own numbers.
    for k, pt in enumerate(points):
        v, low, ratios = m.evaluate(np.array(pt["weight_list"]))
        listed = np.array([g["ratio_to_highest"] for g in pt["groups"]])
        if abs(v[0] - pt["validity"]) > 1e-9 or abs(low[0] - pt["lowest_ratio_to_highest"]) > 1e-9 \
                or np.max(np.abs(ratios[0] - listed)) > 1e-9:
            faults.append("point %d: its numbers differ from its weights' (%g, %g)" % (k + 1, v[0], low[0]))
        if p["signs"] == "nonnegative" and min(pt["weight_list"]) < 0:
            faults.append("point %d: a negative weight" % (k + 1))
    worst = -np.inf
    worst_bound = -np.inf
    best_near = {}
    chunk = 200000
    done = 0
    while done < weightings:
        count = min(chunk, weightings - done)
        w = random_weightings(rng, count, p["n"], p["signs"])
        v, low, _ = m.evaluate(w)
        for k in range(len(points)):
            margin = np.minimum(v - pv[k], low - pl[k])
            worst = max(worst, float(margin.max()))
            reach = low >= pl[k] + 1e-9
            if bounds[k] is not None and reach.any():
                worst_bound = max(worst_bound, float((v[reach] - bounds[k]).max()))
            # The best random weighting above the point's level starts SLSQP.
            if reach.any():
                j = int(np.argmax(np.where(reach, v, -np.inf)))
                if k not in best_near or v[j] > best_near[k][0]:
                    best_near[k] = (float(v[j]), w[j].copy())
        done += count
    # SLSQP: the best validity with a lowest ratio above each point's.
    bounds_w = [(0, None)] * p["n"] if p["signs"] == "nonnegative" else None
    for k in range(len(points)):
        level = pl[k] + TOLERANCE
        if level >= 1:
            continue
        first = [best_near[k][1]] if k in best_near else []
        others = list(random_weightings(rng, starts, p["n"], p["signs"])[: max(0, starts - len(first))])
        for start in first + others:
            start = np.array(start, dtype=float)
            start /= np.abs(start).sum()
            try:
                res = optimize.minimize(
                    lambda x: -m.scalar(x)[0], start, method="SLSQP", bounds=bounds_w,
                    constraints=[{"type": "ineq", "fun": lambda x: m.scalar(x)[1] - level},
                                 {"type": "eq", "fun": lambda x: np.abs(x).sum() - 1}],
                    options={"maxiter": 100, "ftol": 1e-12})
            except (ValueError, FloatingPointError):
                continue
            x = res.x
            if p["signs"] == "nonnegative":
                x = np.maximum(x, 0)
            if not np.any(x):
                continue
            v, low, _ = m.evaluate(x)
            if not np.isfinite(v[0]) or not np.isfinite(low[0]):
                continue
            worst = max(worst, float(min(v[0] - pv[k], low[0] - pl[k])))
            if bounds[k] is not None and low[0] >= pl[k] + 1e-9:
                worst_bound = max(worst_bound, float(v[0] - bounds[k]))
    if worst > TOLERANCE:
        faults.append("a weighting beats a point on both axes by %.3g" % worst)
    if worst_bound > 1e-9:
        faults.append("a weighting exceeds a point's bound by %.3g" % worst_bound)
    proved = sum(1 for pt in points if pt["proved_optimal"])
    report.append((index, p["groups"], p["n"], p["mode"], p["signs"], len(points), proved, worst,
                   worst_bound, faults))
    return faults


def check_outputs(explore, work):
    """The CSV's columns and --min-ai on problem 0's scenario."""
    rng = np.random.default_rng(1000)
    p = random_problem(rng, 0)
    path = os.path.join(work, "group_front_0.json")
    with open(path, "w") as f:
        json.dump(scenario_json(p), f)
    faults = []
    args = [explore, "pareto", path, "--ratio", str(p["ratio"]), "--weights", p["signs"]]
    csv = subprocess.run(args + ["--format", "csv"], capture_output=True, text=True)
    header = csv.stdout.splitlines()[0].split(",")
    expected = (["point", "ai_ratio", "validity", "mean", "mean_majority", "mean_minority", "sr_majority",
                 "sr_minority", "composite_d", "four_fifths_minimum"]
                + ["w%d" % (j + 1) for j in range(p["n"])]
                + ["lowest_ratio_to_highest", "ratio_to_highest_majority"]
                + ["ratio_to_highest_G%d" % (g + 1) for g in range(p["groups"])])
    if header != expected:
        faults.append("CSV columns %s" % header)
    front = run_front(explore, path, p)
    points = front["points"]
    mid = points[len(points) // 2]
    level = mid["lowest_ratio_to_highest"]
    out = subprocess.run(args + ["--min-ai", repr(level), "--format", "json"], capture_output=True, text=True)
    answer = json.loads(out.stdout)
    got = answer["weighting"]
    if out.returncode != 0 or not answer["reached"] or got["lowest_ratio_to_highest"] < level * (1 - 1e-12) \
            or got["validity"] < mid["validity"] - 1e-9:
        faults.append("--min-ai %r: %s" % (level, out.stdout))
    return faults


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("explore")
    parser.add_argument("work")
    parser.add_argument("--problems", type=int, default=100)
    parser.add_argument("--weightings", type=int, default=1000000)
    parser.add_argument("--starts", type=int, default=4)
    parser.add_argument("--only", type=int, nargs="*", help="these problems' indices alone")
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    np.seterr(all="ignore")
    report = []
    failed = 0
    for index in (args.only if args.only else range(args.problems)):
        faults = check_problem(args.explore, args.work, index, args.weightings, args.starts, report)
        row = report[-1]
        print("problem %3d: %d groups, %d predictors, %-8s %-11s %2d points, %2d proved, "
              "worst margin %.3g, above bound %.3g%s" % (
                  row[0], row[1], row[2], row[3], row[4], row[5], row[6], row[7], row[8],
                  "" if not faults else "  FAIL: " + "; ".join(faults)), flush=True)
        failed += bool(faults)
    output_faults = check_outputs(args.explore, args.work)
    for f in output_faults:
        print("FAIL: " + f)
    failed += bool(output_faults)
    worst = max(r[7] for r in report)
    print("%d problems, %d weightings each, worst margin %.3g, %d points of %d proved optimal; %d failed" % (
        len(report), args.weightings, worst, sum(r[6] for r in report), sum(r[5] for r in report), failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
