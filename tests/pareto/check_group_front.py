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
  lowest ratio at or above the point's;
- no weighting found has a lowest ratio above the front's
  highest_level_bound, which is not below the far end.
Prints the worst margin found (positive: a weighting beat a point by it).
Exit 0 when every check passes.

  check_group_front.py EXPLORE WORK_DIR --wide [--problems N] [--weightings M] [--seed S] [--save DIR]

The wide draw (120 problems, 10^5 weightings each by default): 2 to 5
groups, 2 to 8 predictors, both modes, both sign settings and both
objectives (validity; the mean criterion score of those selected), with
validities from -0.3 to 0.7, all at most 0 or all 0, shares down to 0.001,
groups above the majority on every variable, two predictors correlated
0.999, identical groups and no differences at all. A problem fails when
- the explorer crashes (a signal), hangs (120 s) or refuses the scenario;
- a point has a NaN, infinite or null number;
- two points have the same weights;
- a weighting (random, SLSQP, another point) beats a point on both axes by
  more than 1e-9 (those beating one by more than 1e-6 among the random
  weightings are counted too);
- a weighting at or above a point's lowest ratio has a validity above the
  point's bound by more than 1e-9, or a point proved optimal is more than
  1e-9 from its bound;
- the last point's lowest ratio is more than 1e-9 below the highest found
  (the best random weightings, then SLSQP maximising the lowest ratio);
- a weighting found has a lowest ratio above the front's
  highest_level_bound (counted: far ends within 1e-9 of that bound);
- `--min-ai A`, for A = 0.8 and A = that highest minus 0.01, exits 0 with
  a lowest ratio below A (by any amount), or exits 3 though a weighting
  reaching A was found, or its answer's quality is more than 1e-6 below
  that of a weighting found reaching A.
--save writes each failing problem's scenario and its failing commands.
"""
import argparse
import json
import math
import os
import shutil
import subprocess
import sys
import time

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
        return self.bracketed_cut(e, 14, 4, False)

    def bracketed_cut(self, e, bisections, newtons, guarded):
        """The cut scores by `bisections` halvings of the bracket, then
        `newtons` Newton steps (kept in the bracket, and only where finite,
        when `guarded`)."""
        if not self.overall:
            return np.full(e.shape[0], self.z)
        lo = np.minimum(e.min(axis=1), 0) + self.z - 1e-9
        hi = np.maximum(e.max(axis=1), 0) + self.z + 1e-9

        def f(x):
            return self.p0 * q(x) + (self.shares * q(x[:, None] - e)).sum(axis=1) - self.ratio

        for _ in range(bisections):
            mid = (lo + hi) / 2
            above = f(mid) > 0
            lo = np.where(above, mid, lo)
            hi = np.where(above, hi, mid)
        x = (lo + hi) / 2
        for _ in range(newtons):
            dens = self.p0 * np.exp(-x * x / 2) + (self.shares * np.exp(-(x[:, None] - e) ** 2 / 2)).sum(axis=1)
            step = f(x) / (dens / np.sqrt(2 * np.pi))
            x = np.where(np.isfinite(step), np.clip(x + step, lo, hi), x) if guarded else x + step
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


def check_problem(explore, work, index, weightings, starts, report, seed=1000):
    rng = np.random.default_rng(seed + index)
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
    # The level no weighting exceeds: above every weighting's lowest ratio.
    level_bound = front.get("highest_level_bound")
    highest_found = -np.inf
    best_near = {}
    chunk = 200000
    done = 0
    while done < weightings:
        count = min(chunk, weightings - done)
        w = random_weightings(rng, count, p["n"], p["signs"])
        v, low, _ = m.evaluate(w)
        highest_found = max(highest_found, float(np.nanmax(low)))
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
            highest_found = max(highest_found, float(low[0]))
            worst = max(worst, float(min(v[0] - pv[k], low[0] - pl[k])))
            if bounds[k] is not None and low[0] >= pl[k] + 1e-9:
                worst_bound = max(worst_bound, float(v[0] - bounds[k]))
    if worst > TOLERANCE:
        faults.append("a weighting beats a point on both axes by %.3g" % worst)
    if worst_bound > 1e-9:
        faults.append("a weighting exceeds a point's bound by %.3g" % worst_bound)
    if level_bound is not None and highest_found > level_bound + 1e-9:
        faults.append("a weighting's lowest ratio %.12g exceeds the front's highest_level_bound %.12g"
                      % (highest_found, level_bound))
    if level_bound is not None and level_bound < pl.max() - 1e-12:
        faults.append("the highest_level_bound %.12g is below the far end %.12g" % (level_bound, pl.max()))
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


# ---------------------------------------------------------------------------
# The wide draw (--wide): harder problems and stricter criteria.
#
# Every problem's explorer runs (the front and two --min-ai answers) are
# judged by this file's model alone; each failure has a kind, and --save
# writes the scenario of every failing problem with its commands.

WIDE_SPECIALS = ["plain", "validities at most 0", "validities 0", "shares of 0.001", "one group above",
                 "two predictors correlated 0.999", "identical groups", "no differences",
                 "every group above", "mixed"]
WIDE_KINDS = ["crash", "hang", "refused", "nan", "numbers", "duplicate", "beaten", "bound", "false proof",
              "short far end", "level bound", "min-ai", "min-ai beaten"]
BEAT = 1e-9          # a point beaten on both axes by more than this fails
BEAT_LOOSE = 1e-6    # counted too: the random-weighting tolerance of the default run
ABOVE_LEVEL = 1e-8   # SLSQP seeks weightings this far above a point's lowest ratio


def positive_definite(r, floor):
    return bool(np.all(np.isfinite(r))) and float(np.linalg.eigvalsh(r).min()) > floor


def wide_correlations(rng, n, special):
    """Predictors' block from one to three common factors, validities drawn
    on their own from -0.3 to 0.7 (or at most 0, or 0); drawn again until
    the whole matrix is positive definite."""
    duplicate = special in ("two predictors correlated 0.999", "mixed") and n >= 2
    base = n - 1 if duplicate else n
    while True:
        factors = int(rng.integers(1, 4))
        loading = rng.uniform(-0.8, 0.8, size=(base, factors))
        for i in range(base):
            s = np.sum(loading[i] ** 2)
            if s > 0.9:
                loading[i] *= np.sqrt(0.9 / s)
        block = np.round(loading @ loading.T, 3)
        np.fill_diagonal(block, 1.0)
        for _ in range(200):
            if special == "validities 0":
                a = np.zeros(base)
            elif special == "validities at most 0":
                a = np.round(rng.uniform(-0.3, 0.0, size=base), 3)
            else:
                a = np.round(rng.uniform(-0.3, 0.7, size=base), 3)
            r = np.ones((base + 1, base + 1))
            r[:base, :base] = block
            r[:base, base] = r[base, :base] = a
            if positive_definite(r, 1e-6):
                break
        else:
            continue
        if not duplicate:
            return r, None
        # A near copy of predictor j: 0.999 times its correlations with the
        # others (the criterion among them), 0.999 with it.
        j = int(rng.integers(0, base))
        full = np.ones((n + 1, n + 1))
        keep = list(range(base)) + [base]  # predictors, then the criterion
        index = list(range(base)) + [n]
        full[np.ix_(index, index)] = r[np.ix_(keep, keep)]
        copy = np.round(0.999 * full[j], 4)
        copy[j] = 0.999
        copy[base] = 1.0
        full[base] = full[:, base] = copy
        if positive_definite(full, 1e-9):
            return full, (j, base)


def wide_problem(rng, index):
    combo = index % 8
    mode = "overall" if combo % 2 == 0 else "majority"
    signs = "nonnegative" if (combo // 2) % 2 == 0 else "any"
    objective = "validity" if combo < 4 else "mean"
    special = WIDE_SPECIALS[(index // 8) % len(WIDE_SPECIALS)]
    groups = int(rng.integers(2, 6))
    n = int(rng.integers(2, 9))
    m = n + 1
    r, pair = wide_correlations(rng, n, special)
    # Shares from 0.001 up, log-uniform, at most 0.6 of the pool for all
    # minority groups together.
    shares = np.exp(rng.uniform(np.log(0.001), np.log(0.6 / groups), size=groups))
    if special in ("shares of 0.001", "mixed"):
        shares[0] = 0.001
        if groups > 2:
            shares[1] = 0.001
    ds = [np.round(rng.uniform(-1.2, 0.5, size=m), 3) for _ in range(groups)]
    if special in ("one group above", "mixed"):
        ds[-1] = np.round(rng.uniform(0.05, 0.8, size=m), 3)
    if special == "every group above":
        ds = [np.round(rng.uniform(0.05, 0.8, size=m), 3) for _ in range(groups)]
    if special == "identical groups":
        ds[1] = ds[0].copy()
        shares[1] = shares[0]
    if special == "no differences":
        ds = [np.zeros(m) for _ in range(groups)]
    if pair is not None and rng.random() < 0.5:
        # The near copy's effects close to its original's.
        for d in ds:
            d[pair[1]] = round(0.999 * d[pair[0]] + float(rng.uniform(-0.02, 0.02)), 3)
    ratio = float(np.round(rng.uniform(0.01, 0.7), 3))
    return {
        "n": n, "groups": groups, "mode": mode, "signs": signs, "objective": objective, "special": special,
        "r": r, "shares": np.round(shares, 4), "d": ds, "ratio": ratio,
    }


class wide_model(model):
    """The model with the mean criterion score of those selected, and cut
    scores to full precision for extreme effects."""

    def __init__(self, p):
        super().__init__(p)
        self.c = np.array([d[p["n"]] for d in p["d"]])  # each group's criterion effect
        self.mean = p["objective"] == "mean"

    def cut(self, e):
        return self.bracketed_cut(e, 30, 6, True)

    def outcomes(self, w):
        """Validity, mean criterion score of those selected and each
        group's selection rate (majority first) of rows w."""
        w = np.atleast_2d(w)
        sigma = np.sqrt(np.einsum("ij,jk,ik->i", w, self.rpp, w))
        v = (w @ self.a) / sigma
        e = (w @ self.dp.T) / sigma[:, None]
        x = self.cut(e)
        t = x[:, None] - e
        sr = np.concatenate([q(x)[:, None], q(t)], axis=1)
        phi0 = np.exp(-x * x / 2) / SQRT_2PI
        phi = np.exp(-t * t / 2) / SQRT_2PI
        total = self.p0 * sr[:, 0] + (self.shares * sr[:, 1:]).sum(axis=1)
        top = self.p0 * v * phi0 + (self.shares * (self.c * sr[:, 1:] + v[:, None] * phi)).sum(axis=1)
        return v, top / total, sr

    def judge(self, w):
        """Quality (the objective), lowest ratio, validity, mean, ratios."""
        v, mean, sr = self.outcomes(w)
        ratios = sr / sr.max(axis=1, keepdims=True)
        return (mean if self.mean else v), ratios.min(axis=1), v, mean, ratios


class batched:
    """Values and forward-difference Jacobians of a function of rows, the
    n + 1 rows of one Jacobian in one vectorised call, the last one kept
    so that the objective and the constraints share it."""

    def __init__(self, fun):
        self.fun = fun
        self.key = None

    def __call__(self, x):
        x = np.asarray(x, dtype=float)
        key = x.tobytes()
        if key != self.key:
            h = 1e-7 * max(1.0, float(np.abs(x).max()))
            rows = np.vstack([x, x + h * np.eye(len(x))])
            out = np.atleast_2d(self.fun(rows))  # rows x outputs
            self.key = key
            self.value = out[0]
            self.jac = (out[1:] - out[0]).T / h  # outputs x variables
        return self.value, self.jac


def wide_normalise(w, signs):
    w = np.array(w, dtype=float)
    if signs == "nonnegative":
        w = np.maximum(w, 0)
        s = w.sum()
    else:
        s = np.sqrt(w @ w)
    return w / s if s > 0 else None


def wide_slsqp(m, p, start, level):
    """The highest quality whose every group has at least `level` times
    every other group's rate (rates compared pairwise: smooth)."""
    n = p["n"]
    g = p["groups"] + 1
    pairs = [(i, j) for i in range(g) for j in range(g) if i != j]

    def rows(w):
        v, mean, sr = m.outcomes(w)
        quality = mean if m.mean else v
        gaps = np.stack([sr[:, i] - level * sr[:, j] for i, j in pairs], axis=1)
        return np.concatenate([quality[:, None], gaps], axis=1)

    f = batched(rows)
    if p["signs"] == "nonnegative":
        bounds = [(0, None)] * n
        norm = {"type": "eq", "fun": lambda x: np.sum(x) - 1, "jac": lambda x: np.ones(n)}
    else:
        bounds = None
        norm = {"type": "eq", "fun": lambda x: x @ x - 1, "jac": lambda x: 2 * x}
    res = optimize.minimize(
        lambda x: -f(x)[0][0], start, jac=lambda x: -f(x)[1][0], method="SLSQP", bounds=bounds,
        constraints=[{"type": "ineq", "fun": lambda x: f(x)[0][1:], "jac": lambda x: f(x)[1][1:]}, norm],
        options={"maxiter": 100, "ftol": 1e-14})
    return res.x


def wide_far_slsqp(m, p, start):
    """The highest lowest ratio: maximise t over (w, t) with every group's
    rate at least t times every other's."""
    n = p["n"]
    g = p["groups"] + 1
    pairs = [(i, j) for i in range(g) for j in range(g) if i != j]

    def rows(y):
        _, _, sr = m.outcomes(y[:, :n])
        t = y[:, n]
        return np.stack([sr[:, i] - t * sr[:, j] for i, j in pairs], axis=1)

    f = batched(rows)
    _, low, _, _, _ = m.judge(start)
    y0 = np.append(start, max(float(low[0]), 0.0))
    if p["signs"] == "nonnegative":
        bounds = [(0, None)] * n + [(0, 1)]
        norm = {"type": "eq", "fun": lambda y: np.sum(y[:n]) - 1,
                "jac": lambda y: np.append(np.ones(n), 0.0)}
    else:
        bounds = [(None, None)] * n + [(0, 1)]
        norm = {"type": "eq", "fun": lambda y: y[:n] @ y[:n] - 1,
                "jac": lambda y: np.append(2 * y[:n], 0.0)}
    unit = np.zeros(n + 1)
    unit[n] = 1
    res = optimize.minimize(
        lambda y: -y[n], y0, jac=lambda y: -unit, method="SLSQP", bounds=bounds,
        constraints=[{"type": "ineq", "fun": lambda y: f(y)[0], "jac": lambda y: f(y)[1]}, norm],
        options={"maxiter": 200, "ftol": 1e-15})
    return res.x[:n]


def bad_number(value, where=""):
    """Where value holds a NaN, infinite or missing (null) number, or None.
    A point's bound and gap may be null, and so may its four-fifths
    minimum where the groups' composite means (the majority's 0 among
    them) lie within 0.01 of each other: the lowest and the highest rate
    then stay within 0.8 of each other down to a selection ratio below the
    smallest double (Q(x - d) / Q(x) is near exp(-d x), and Q(38.5) is
    below it)."""
    if isinstance(value, dict):
        means = [0.0] + [g.get("composite_d") or 0.0 for g in value.get("groups", [])]
        level = "groups" in value and max(means) - min(means) < 0.01
        for k, v in value.items():
            if k in ("bound", "gap") or (k == "four_fifths_minimum" and level and v is None):
                continue
            found = bad_number(v, where + "." + k)
            if found:
                return found
        return None
    if isinstance(value, list):
        for k, v in enumerate(value):
            found = bad_number(v, "%s[%d]" % (where, k))
            if found:
                return found
        return None
    if value is None or (isinstance(value, float) and not math.isfinite(value)):
        return "%s is %s" % (where.lstrip("."), "null" if value is None else value)
    return None


def wide_command(explore, path, p, extra):
    args = [explore, "pareto", path, "--ratio", repr(p["ratio"]), "--weights", p["signs"],
            "--objective", p["objective"]]
    if p["mode"] == "majority":
        args.append("--majority")
    return args + extra + ["--format", "json"]


def wide_run(args, faults, what, stats):
    """Runs the explorer; a signal, a hang or an unexpected status is a fault."""
    begun = time.monotonic()
    try:
        out = subprocess.run(args, capture_output=True, text=True, timeout=120)
    except subprocess.TimeoutExpired:
        faults.append(("hang", what + ": no answer in 120 s", args))
        return None
    finally:
        stats["explorer"] += time.monotonic() - begun
    if out.returncode < 0 or out.returncode >= 128:
        faults.append(("crash", "%s: status %d %s" % (what, out.returncode, out.stderr.strip()[:200]), args))
        return None
    return out


def check_wide_problem(explore, work, index, seed, weightings, starts):
    rng = np.random.default_rng([seed, index])
    p = wide_problem(rng, index)
    path = os.path.join(work, "wide_%d.json" % index)
    with open(path, "w") as f:
        json.dump(scenario_json(p), f)
    m = wide_model(p)
    n = p["n"]
    faults = []  # (kind, text, command)
    stats = {"points": 0, "proved": 0, "margin": -np.inf, "random_margin": -np.inf, "excess": -np.inf,
             "bound": -np.inf, "short": -np.inf, "best_low": None, "explorer": 0.0, "far_proved": 0}

    # Brute force first: it is needed whatever the explorer does.
    w = random_weightings(rng, weightings, n, p["signs"])
    quality, low, _, _, _ = m.judge(w)
    good = np.isfinite(quality) & np.isfinite(low)
    w, quality, low = w[good], quality[good], low[good]
    found = [(w, quality, low)]  # every weighting judged, SLSQP's added below

    # The highest lowest ratio: the best random weightings, then SLSQP.
    order = np.argsort(-low)
    tops = [w[order[0]]]
    for j in order[1:200]:
        if len(tops) >= 5:
            break
        if all(np.abs(w[j] / np.abs(w[j]).sum() - t / np.abs(t).sum()).max() > 1e-3 for t in tops):
            tops.append(w[j])

    front_args = wide_command(explore, path, p, ["--points", "11"])
    out = wide_run(front_args, faults, "front", stats)
    points = []
    level_bound = None
    if out is not None and out.returncode != 0:
        faults.append(("refused", "front: status %d %s" % (out.returncode, out.stderr.strip()[:200]), front_args))
    elif out is not None:
        try:
            front_doc = json.loads(out.stdout)
            points = front_doc["points"]
            level_bound = front_doc.get("highest_level_bound")
        except (ValueError, KeyError) as error:
            faults.append(("refused", "front: unreadable output (%s)" % error, front_args))
    for k, pt in enumerate(points):
        if bad_number(pt):
            faults.append(("nan", "point %d: %s" % (k + 1, bad_number(pt)), front_args))
    points = [pt for pt in points if not bad_number(pt)]
    stats["points"] = len(points)
    stats["proved"] = sum(1 for pt in points if pt.get("proved_optimal"))
    key = "mean" if p["objective"] == "mean" else "validity"
    pq = np.array([pt[key] for pt in points])
    pl = np.array([pt["lowest_ratio_to_highest"] for pt in points])
    pw = [np.array(pt["weight_list"], dtype=float) for pt in points]
    bounds = [pt.get("bound") for pt in points]

    # Each point's numbers, from its weights.
    for k, pt in enumerate(points):
        qk, lk, vk, mk, rk = m.judge(pw[k])
        listed = np.array([g["ratio_to_highest"] for g in pt["groups"]])
        if abs(vk[0] - pt["validity"]) > 1e-9 or abs(mk[0] - pt["mean"]) > 1e-9 \
                or abs(lk[0] - pt["lowest_ratio_to_highest"]) > 1e-9 or np.max(np.abs(rk[0] - listed)) > 1e-9:
            faults.append(("numbers", "point %d: its numbers differ from its weights' (validity %.12g, mean "
                           "%.12g, lowest ratio %.12g)" % (k + 1, vk[0], mk[0], lk[0]), front_args))
        if p["signs"] == "nonnegative" and min(pt["weight_list"]) < 0:
            faults.append(("numbers", "point %d: a negative weight" % (k + 1), front_args))
    # No point listed twice.
    for k in range(len(points)):
        for j in range(k):
            if len(pw[j]) == len(pw[k]) and np.max(np.abs(pw[j] - pw[k])) <= 1e-12:
                faults.append(("duplicate", "points %d and %d have the same weights" % (j + 1, k + 1),
                               front_args))
    # False proofs.
    for k, pt in enumerate(points):
        if pt.get("proved_optimal") and (bounds[k] is None or abs(bounds[k] - pq[k]) > 1e-9):
            faults.append(("false proof", "point %d is proved optimal %s" % (
                k + 1, "without a bound" if bounds[k] is None else "%.3g from its bound" % (bounds[k] - pq[k])),
                front_args))

    # SLSQP from each point's level (the best random weighting above it,
    # the point itself and random starts).
    extra_w = []
    for k in range(len(points)):
        level = pl[k] + ABOVE_LEVEL
        if level >= 1:
            continue
        reach = low >= level
        first = [pw[k]]
        if reach.any():
            first.insert(0, w[int(np.argmax(np.where(reach, quality, -np.inf)))])
        for start in first + list(random_weightings(rng, max(0, starts - len(first)), n, p["signs"])):
            start = wide_normalise(start, p["signs"])
            if start is None:
                continue
            try:
                x = wide_slsqp(m, p, start, level)
            except (ValueError, FloatingPointError, np.linalg.LinAlgError):
                continue
            x = wide_normalise(x, p["signs"])
            if x is None:
                continue
            extra_w.append(x)
    # SLSQP for the far end, from the best random weightings and the
    # front's last point.
    far_starts = tops + ([pw[-1]] if points else [])
    for start in far_starts:
        start = wide_normalise(start, p["signs"])
        if start is None:
            continue
        try:
            x = wide_far_slsqp(m, p, start)
        except (ValueError, FloatingPointError, np.linalg.LinAlgError):
            continue
        x = wide_normalise(x, p["signs"])
        if x is not None:
            extra_w.append(x)
    if extra_w:
        xw = np.array(extra_w)
        xq, xl, _, _, _ = m.judge(xw)
        ok = np.isfinite(xq) & np.isfinite(xl)
        found.append((xw[ok], xq[ok], xl[ok]))
    best_low = max(float(fl.max()) for _, _, fl in found if len(fl))
    stats["best_low"] = best_low

    # Beaten points, bounds, from every weighting judged and from the other points.
    for source, (fw, fq, fl) in enumerate(found):
        for k in range(len(points)):
            margin = np.minimum(fq - pq[k], fl - pl[k])
            worst = float(margin.max()) if len(margin) else -np.inf
            stats["margin"] = max(stats["margin"], worst)
            if source == 0:
                stats["random_margin"] = max(stats["random_margin"], worst)
            above = fl >= pl[k] + ABOVE_LEVEL
            if above.any():
                stats["excess"] = max(stats["excess"], float((fq[above] - pq[k]).max()))
            at = fl >= pl[k]
            if bounds[k] is not None and at.any():
                stats["bound"] = max(stats["bound"], float((fq[at] - bounds[k]).max()))
    for k in range(len(points)):
        for j in range(len(points)):
            if j != k:
                stats["margin"] = max(stats["margin"], float(min(pq[j] - pq[k], pl[j] - pl[k])))
    if stats["margin"] > BEAT:
        faults.append(("beaten", "a weighting beats a point on both axes by %.3g (random weightings: %.3g; "
                       "quality above a point at its level: %.3g)" % (
                           stats["margin"], stats["random_margin"], stats["excess"]), front_args))
    if stats["bound"] > 1e-9:
        faults.append(("bound", "a weighting exceeds a point's bound by %.3g" % stats["bound"], front_args))
    if level_bound is not None and best_low > level_bound + 1e-9:
        faults.append(("level bound", "a weighting's lowest ratio %.12g exceeds the front's "
                       "highest_level_bound %.12g" % (best_low, level_bound), front_args))
    if level_bound is not None and points and level_bound - float(pl[-1]) <= 1e-9:
        stats["far_proved"] = 1
    if points:
        stats["short"] = best_low - float(pl[-1])
        if stats["short"] > 1e-9:
            faults.append(("short far end", "the last point's lowest ratio %.12g is %.3g short of %.12g" % (
                pl[-1], stats["short"], best_low), front_args))

    # --min-ai at 0.8 and just below the highest lowest ratio found.
    for level in sorted({0.8, round(best_low - 0.01, 6)}):
        if level <= 0:
            continue
        args = wide_command(explore, path, p, ["--min-ai", repr(level)])
        out = wide_run(args, faults, "--min-ai %r" % level, stats)
        if out is None:
            continue
        reachable = best_low >= level
        if out.returncode == 3:
            if reachable:
                faults.append(("min-ai", "--min-ai %r: status 3, but a weighting reaches %.12g" % (
                    level, best_low), args))
            continue
        if out.returncode != 0:
            faults.append(("min-ai", "--min-ai %r: status %d %s" % (level, out.returncode,
                                                                     out.stderr.strip()[:200]), args))
            continue
        try:
            answer = json.loads(out.stdout)
            got = answer["weighting"]
        except (ValueError, KeyError) as error:
            faults.append(("min-ai", "--min-ai %r: unreadable output (%s)" % (level, error), args))
            continue
        if bad_number(got):
            faults.append(("nan", "--min-ai %r: %s" % (level, bad_number(got)), args))
            continue
        aq, al, _, _, _ = m.judge(np.array(got["weight_list"], dtype=float))
        if not answer.get("reached") or got["lowest_ratio_to_highest"] < level or al[0] < level - 1e-12:
            faults.append(("min-ai", "--min-ai %r: status 0 with a lowest ratio of %.17g (by its weights %.17g), "
                           "reached %s" % (level, got["lowest_ratio_to_highest"], al[0], answer.get("reached")),
                           args))
            continue
        better = max((float(fq[fl >= level].max()) for _, fq, fl in found if (fl >= level).any()),
                     default=-np.inf)
        better = max([better] + [float(pq[k]) for k in range(len(points)) if pl[k] >= level])
        if better - aq[0] > BEAT_LOOSE:
            faults.append(("min-ai beaten", "--min-ai %r: a weighting reaching it has a quality %.3g higher" % (
                level, better - aq[0]), args))
    return p, faults, stats


def save_failure(save, work, index, p, faults):
    os.makedirs(save, exist_ok=True)
    name = "wide_%d" % index
    with open(os.path.join(work, name + ".json")) as f:
        scenario = f.read()
    with open(os.path.join(save, name + ".json"), "w") as f:
        f.write(scenario)
    with open(os.path.join(save, name + ".txt"), "w") as f:
        f.write("%d groups, %d predictors, %s, %s weights, %s, %s\n" % (
            p["groups"], p["n"], p["mode"], p["signs"], p["objective"], p["special"]))
        for kind, text, args in faults:
            command = " ".join([os.path.basename(args[0])] + [name + ".json" if a.endswith(".json") else a
                                                              for a in args[1:]])
            f.write("%s: %s\n  %s\n" % (kind, text, command))


def main_wide(args):
    counts = {kind: 0 for kind in WIDE_KINDS}
    loose = 0
    worst = {"margin": -np.inf, "bound": -np.inf, "short": -np.inf, "excess": -np.inf}
    failed = 0
    far_proved = 0
    indices = args.only if args.only else range(args.problems)
    started = time.monotonic()
    for index in indices:
        begun = time.monotonic()
        p, faults, stats = check_wide_problem(args.explore, args.work, index, args.seed, args.weightings,
                                              args.starts)
        kinds = sorted({kind for kind, _, _ in faults}, key=WIDE_KINDS.index)
        for kind in kinds:
            counts[kind] += 1
        loose += stats["random_margin"] > BEAT_LOOSE
        for k in worst:
            worst[k] = max(worst[k], stats[k])
        if faults and args.save:
            save_failure(args.save, args.work, index, p, faults)
        failed += bool(faults)
        far_proved += stats["far_proved"]
        print("problem %3d: %d groups, %d predictors, %-8s %-11s %-8s %-31s %2d points, %2d proved, "
              "margin %.3g, far end short %.3g, %.1f s (explorer %.1f s)%s" % (
                  index, p["groups"], p["n"], p["mode"], p["signs"], p["objective"], p["special"],
                  stats["points"], stats["proved"], stats["margin"], stats["short"], time.monotonic() - begun, stats["explorer"],
                  "".join("\n    FAIL %s: %s" % (kind, text) for kind, text, _ in faults)), flush=True)
    total = len(indices)
    print("%d problems of the wide draw, %d weightings each, %.1f s a problem; %d failed" % (
        total, args.weightings, (time.monotonic() - started) / max(total, 1), failed))
    print("problems failing, by kind: " + ", ".join("%s %d" % (k, counts[k]) for k in WIDE_KINDS))
    print("far ends proved (within 1e-9 of the front's highest_level_bound): %d of %d" % (far_proved, total))
    print("beaten by more than %g: %d problems; by more than %g among random weightings: %d" % (
        BEAT, counts["beaten"], BEAT_LOOSE, loose))
    print("worst: margin %.3g, quality above a point at its level %.3g, above a bound %.3g, far end short %.3g" % (
        worst["margin"], worst["excess"], worst["bound"], worst["short"]))
    return 1 if failed else 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("explore")
    parser.add_argument("work")
    parser.add_argument("--problems", type=int, default=None, help="100; 120 with --wide")
    parser.add_argument("--weightings", type=int, default=None, help="10^6; 10^5 with --wide")
    parser.add_argument("--starts", type=int, default=4)
    parser.add_argument("--seed", type=int, default=1000)
    parser.add_argument("--only", type=int, nargs="*", help="these problems' indices alone")
    parser.add_argument("--wide", action="store_true",
                        help="the wide draw: 2 to 5 groups, 2 to 8 predictors, both objectives, edge cases")
    parser.add_argument("--save", help="write each failing problem's scenario and commands here")
    args = parser.parse_args()
    if args.problems is None:
        args.problems = 120 if args.wide else 100
    if args.weightings is None:
        args.weightings = 100000 if args.wide else 1000000
    os.makedirs(args.work, exist_ok=True)
    np.seterr(all="ignore")
    if args.wide:
        return main_wide(args)
    report = []
    failed = 0
    for index in (args.only if args.only else range(args.problems)):
        faults = check_problem(args.explore, args.work, index, args.weightings, args.starts, report, args.seed)
        row = report[-1]
        print("problem %3d: %d groups, %d predictors, %-8s %-11s %2d points, %2d proved, "
              "worst margin %.3g, above bound %.3g%s" % (
                  row[0], row[1], row[2], row[3], row[4], row[5], row[6], row[7], row[8],
                  "" if not faults else "  FAIL: " + "; ".join(faults)), flush=True)
        if faults and args.save:
            os.makedirs(args.save, exist_ok=True)
            shutil.copy(os.path.join(args.work, "group_front_%d.json" % index), args.save)
            with open(os.path.join(args.save, "group_front_%d.txt" % index), "w") as f:
                f.write("\n".join(faults) + "\n")
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
