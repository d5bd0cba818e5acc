#!/usr/bin/env python3
"""The front's cross-validation against a plain simulation of whole samples.

  check_cross_validation.py EXPLORE WORK_DIR

For seven populations (one group lower and one higher than the majority,
a tiny share, validities of both signs and zero, strongly correlated
predictors, a sample of 12, three groups), the program's Monte Carlo (`pareto
--calibration-n N --replications K`) is set beside one written here from
the definitions, with NumPy: draw N applicants as rows (each group its
count, normal scores with the group's means and the common correlation
matrix), pool the within-group correlations, take the regression weights
of the sample (the front's first point with weights of either sign), and
evaluate them in the population (validity, and the lowest ratio to the
highest rate from the normal model with SciPy's root finder). Checked:
- the mean validity and lowest ratio at the validity end (and, with one
  group, at parity, the far end with weights of either sign) agree within
  3 combined Monte Carlo standard errors, and the program's 5 % and 95 %
  quantiles of validity cut the plain simulation where they should;
- for N >= 100, the mean squared cross-validated validity lies within
  0.01 of Browne's (1975) formula for the expected squared
  cross-validity, rho_c^2 = ((N' - p - 3) rho^4 + rho^2) / ((N' - 2p - 2)
  rho^2 + p), N' = N - G + 1 for the pooled within-group estimates of G
  groups (its error is of order 1/N^2);
- calibration samples of 10^7 give back the population front: each
  point's validity within 1e-3 and its lowest ratio within 2e-3 of the
  level asked for (the far end, where the front is steepest and a
  sample's weights at parity are at parity only for the sample, 2e-2 and
  5e-3);
- the same seed gives the same numbers with 1 and 2 threads, and the
  numbers depend on the seed;
- bad calibration options are refused with exit status 2 and a message.
"""
import csv
import io
import json
import os
import subprocess
import sys

import numpy as np
from scipy import optimize, stats

failures = []


def fail(what):
    failures.append(what)
    print("FAIL", what)


def run(explore, args):
    p = subprocess.run([explore] + args, capture_output=True, text=True)
    return p.returncode, p.stdout, p.stderr


def scenario(r, d_groups, shares, names=None):
    """A scenario of len(r) - 1 predictors and one criterion; one group is
    written with the variables' "d", several with "groups"."""
    v = len(r)
    doc = {
        "title": "cross-validation check",
        "mode": "overall",
        "quality": "criterion",
        "weights": "regression",
        "predictors": [{"name": f"x{j + 1}"} for j in range(v - 1)],
        "criteria": [{"name": "y", "weight": 1}],
        "correlations": [[float(x) for x in row] for row in r],
    }
    if len(d_groups) == 1:
        for j in range(v - 1):
            doc["predictors"][j]["d"] = float(d_groups[0][j])
        doc["criteria"][0]["d"] = float(d_groups[0][v - 1])
        doc["minority_share"] = shares[0]
    else:
        doc["groups"] = [{"name": (names or [f"g{g + 1}" for g in range(len(d_groups))])[g],
                          "share": shares[g], "d": [float(x) for x in d_groups[g]]}
                         for g in range(len(d_groups))]
    return doc


def lowest_ratio(b, rxx, deltas, shares, ratio):
    """The lowest ratio to the highest rate of the composite b'x at an
    overall selection ratio, every group's scores normal with the
    composite's effect size as its mean."""
    sd = np.sqrt(b @ rxx @ b)
    means = [0.0] + [float(b @ d / sd) for d in deltas]
    weights = [1 - sum(shares)] + list(shares)

    def excess(c):
        return sum(w * stats.norm.sf(c - m) for w, m in zip(weights, means)) - ratio

    cut = optimize.brentq(excess, -40, 40, xtol=1e-14, rtol=1e-15)
    rates = [stats.norm.sf(cut - m) for m in means]
    return min(rates) / max(rates)


def simulate(r, d_groups, counts, ratio, k, seed):
    """Validity and lowest ratio, in the population, of the regression
    weights of k samples drawn as rows; with one group, also of the
    weights of the highest validity at parity in each sample (the sample's
    composite effect 0): the far end of a front of either sign."""
    rng = np.random.default_rng(seed)
    r = np.asarray(r)
    v = len(r)
    p = v - 1
    chol = np.linalg.cholesky(r)
    means = [np.zeros(v)] + [np.asarray(d) for d in d_groups]
    shares = [c / sum(counts) for c in counts[1:]]
    rxx, rxy = r[:p, :p], r[:p, p]
    deltas = [np.asarray(d)[:p] for d in d_groups]
    validity, lowest, parity_validity, parity_lowest = [], [], [], []
    for _ in range(k):
        scatter = np.zeros((v, v))
        group_means = []
        for g, n in enumerate(counts):
            x = rng.standard_normal((n, v)) @ chol.T + means[g]
            group_means.append(x.mean(axis=0))
            dev = x - group_means[-1]
            scatter += dev.T @ dev
        sd = np.sqrt(np.diag(scatter / (sum(counts) - len(counts))))
        rs = scatter / np.outer(sd, sd) / (sum(counts) - len(counts))
        b = np.linalg.solve(rs[:p, :p], rs[:p, p])
        validity.append(b @ rxy / np.sqrt(b @ rxx @ b))
        lowest.append(lowest_ratio(b, rxx, deltas, shares, ratio))
        if len(d_groups) == 1:
            d = (group_means[1] - group_means[0])[:p] / sd[:p]
            inv_r, inv_d = np.linalg.solve(rs[:p, :p], rs[:p, p]), np.linalg.solve(rs[:p, :p], d)
            w = inv_r - (d @ inv_r) / (d @ inv_d) * inv_d
            parity_validity.append(w @ rxy / np.sqrt(w @ rxx @ w))
            parity_lowest.append(lowest_ratio(w, rxx, deltas, shares, ratio))
    return (np.asarray(validity), np.asarray(lowest), np.asarray(parity_validity),
            np.asarray(parity_lowest))


def front(explore, path, ratio, n, k, extra=()):
    code, out, err = run(explore, ["pareto", path, "--ratio", str(ratio), "--weights", "any",
                                   "--calibration-n", str(n), "--replications", str(k),
                                   "--format", "json", *extra])
    if code != 0:
        fail(f"{path}: exit {code}: {err}")
        return None
    return json.loads(out)


def random_correlations(rng, v, strength):
    """A correlation matrix of two common factors with loadings in
    (-strength, strength), strength <= 0.7: positive definite."""
    loadings = rng.uniform(-strength, strength, (v, 2))
    c = loadings @ loadings.T
    np.fill_diagonal(c, 1)
    return c


def problems():
    rng = np.random.default_rng(20261211)
    published = [[1, 0.24, 0, 0.19, 0.3], [0.24, 1, 0.12, 0.16, 0.3], [0, 0.12, 1, 0.51, 0.18],
                 [0.19, 0.16, 0.51, 1, 0.28], [0.3, 0.3, 0.18, 0.28, 1]]
    yield "published, minority lower", published, [[-1, -0.23, -0.09, -0.33, -0.21]], [0.25], 100
    yield "published, minority higher", published, [[1, 0.23, 0.09, 0.33, 0.21]], [0.25], 150
    r = random_correlations(rng, 4, 0.7)
    r[3, :3] = r[:3, 3] = [0.3, -0.2, 0.0]  # validities of both signs and zero
    if np.linalg.eigvalsh(r).min() <= 0:
        raise SystemExit("the drawn matrix is not positive definite")
    yield "validities of both signs, tiny share", r, [[-0.5, 0.4, -0.2, -0.1]], [0.04], 400
    strong = np.array([[1, 0.95, 0.3, 0.35], [0.95, 1, 0.3, 0.3], [0.3, 0.3, 1, 0.25],
                       [0.35, 0.3, 0.25, 1]])
    yield "strongly correlated predictors, small sample", strong, [[-0.8, -0.7, 0.1, -0.3]], \
        [0.3], 40
    yield "three groups, one above the majority", published, \
        [[-1, -0.23, -0.09, -0.33, -0.21], [-0.72, -0.17, 0.08, -0.08, 0],
         [0.4, 0.1, 0, 0.1, 0.1]], [0.15, 0.15, 0.05], 300
    yield "a very small sample", \
        [[1, 0.3, 0.2, 0.35], [0.3, 1, 0.1, 0.3], [0.2, 0.1, 1, 0.25], [0.35, 0.3, 0.25, 1]], \
        [[-0.6, -0.2, 0.1, -0.3]], [0.4], 12
    yield "two groups, zero validity of the first predictor", \
        [[1, 0.4, 0.0], [0.4, 1, 0.35], [0.0, 0.35, 1]], [[-0.9, -0.2, -0.3], [-0.3, 0.2, 0]], \
        [0.2, 0.1], 120


def browne(rho2, n, p):
    return ((n - p - 3) * rho2 ** 2 + rho2) / ((n - 2 * p - 2) * rho2 + p)


def main():
    explore, work = sys.argv[1], sys.argv[2]
    os.makedirs(work, exist_ok=True)
    ratio = 0.2
    k_program, k_here = 1000, 2000
    for number, (name, r, d_groups, shares, n) in enumerate(problems()):
        path = os.path.join(work, f"problem{number}.json")
        with open(path, "w") as f:
            json.dump(scenario(r, d_groups, shares), f)
        doc = front(explore, path, ratio, n, k_program)
        if doc is None:
            continue
        cal = doc["calibration"]
        first = cal["points"][0]
        validity, lowest, parity_validity, parity_lowest = simulate(
            r, d_groups, cal["counts"], ratio, k_here, 1000 + number)
        compared = [("validity", first["validity"], validity),
                    ("lowest ratio", first["lowest_ratio"], lowest)]
        if len(d_groups) == 1 and doc["stopped_at_parity"]:
            last = cal["points"][-1]
            compared += [("validity at parity", last["validity"], parity_validity),
                         ("lowest ratio at parity", last["lowest_ratio"], parity_lowest)]
        # The quantiles: the share of the plain simulation below each lies
        # within 4 standard errors of its probability.
        for q, p in (("q05", 0.05), ("q95", 0.95)):
            below = np.mean(validity < first["validity"][q])
            if abs(below - p) > 4 * np.sqrt(p * (1 - p) * (1 / len(validity) + 1 / k_program)):
                fail(f"{name}: {below:.4f} of the plain simulation lies below the program's "
                     f"validity {q}")
        for what, program, here in compared:
            se = np.hypot(program["standard_error"], here.std(ddof=1) / np.sqrt(len(here)))
            gap = abs(program["mean"] - here.mean())
            print(f"{name}: {what} {program['mean']:.5f} against {here.mean():.5f} "
                  f"({gap / se:.2f} standard errors)")
            if gap > 3 * se:
                fail(f"{name}: mean {what} {program['mean']} against {here.mean()}, "
                     f"{gap / se:.1f} standard errors apart")
        if n >= 100:
            r = np.asarray(r)
            p = len(r) - 1
            rho2 = r[:p, p] @ np.linalg.solve(r[:p, :p], r[:p, p])
            m, se = first["validity"]["mean"], first["validity"]["standard_error"]
            k = cal["replications"]
            squares = m * m + se * se * (k - 1)
            expected = browne(rho2, n - len(d_groups), p)
            print(f"{name}: mean squared validity {squares:.5f}, Browne {expected:.5f}")
            if abs(squares - expected) > 0.01:
                fail(f"{name}: mean squared validity {squares} against Browne's {expected}")

        # A sample of ten million is the population.
        doc = front(explore, path, ratio, 10_000_000, 3)
        if doc is not None:
            points, cv = doc["points"], doc["calibration"]["points"]
            for i, (pt, c) in enumerate(zip(points, cv)):
                far = i == len(points) - 1
                limit = 2e-2 if far else 1e-3
                if abs(pt["validity"] - c["validity"]["mean"]) > limit:
                    fail(f"{name}: N = 10^7, point {i + 1}: validity {c['validity']['mean']} "
                         f"against the front's {pt['validity']}")
                if i > 0 and abs(c["lowest_ratio"]["mean"] - c["level"]) > (5e-3 if far else 2e-3):
                    fail(f"{name}: N = 10^7, point {i + 1}: lowest ratio "
                         f"{c['lowest_ratio']['mean']} against the level {c['level']}")

    # The robust choice: its 5 % quantile reaches the least ratio; with
    # samples of ten million it is the least ratio itself, to a step of its
    # grid of 21 levels; with small samples, asking for the least ratio
    # itself misses it about half the time.
    path = os.path.join(work, "problem0.json")
    for n, k in ((10_000_000, 3), (150, 400)):
        code, out, err = run(explore, ["pareto", path, "--ratio", "0.2", "--min-ai", "0.5",
                                       "--calibration-n", str(n), "--replications", str(k),
                                       "--format", "json"])
        if code != 0:
            fail(f"robust choice, N = {n}: exit {code}: {err}")
            continue
        robust = json.loads(out)["robust"]
        chosen, asked = robust["chosen"], robust["as_asked"]
        if not robust["found"] or chosen["lowest_ratio"]["q05"] < 0.5:
            fail(f"robust choice, N = {n}: {chosen}")
        # The share below 0.5 agrees with the quantiles on either side.
        for point in (chosen, asked):
            q05, q95 = point["lowest_ratio"]["q05"], point["lowest_ratio"]["q95"]
            share = point["p_below_min_ai"]
            if (q05 >= 0.5 and share > 0.05 + 1e-12) or (q05 < 0.5 and share < 0.05 - 1e-12) or \
                    (q95 < 0.5 and share < 0.95 - 1e-12):
                fail(f"robust choice, N = {n}: {share} below 0.5 with quantiles {q05}, {q95}")
        front_doc = front(explore, path, 0.2, 10_000_000, 1)
        highest = front_doc["points"][-1]["ai_ratio"] if front_doc else 1
        if n > 1000 and chosen["level"] > 0.5 + (highest - 0.5) / 20 + 1e-9:
            fail(f"robust choice, N = {n}: level {chosen['level']} for 0.5")
        if n < 1000 and not 0.3 < asked["p_below_min_ai"] < 0.7:
            fail(f"robust choice, N = {n}: asking for 0.5 misses it in "
                 f"{asked['p_below_min_ai']} of samples")

    # The threads change nothing; the seed does.
    path = os.path.join(work, "problem4.json")
    outs = []
    for args in (["--threads", "1"], ["--threads", "2"], ["--threads", "2", "--seed", "7"]):
        code, out, err = run(explore, ["pareto", path, "--ratio", "0.3", "--calibration-n", "80",
                                       "--replications", "16", *args])
        outs.append(out if code == 0 else f"exit {code}: {err}")
    if outs[0] != outs[1]:
        fail("the numbers differ between 1 and 2 threads")
    if outs[1] == outs[2]:
        fail("seeds 1 and 7 give the same numbers")
    code1, one1, _ = run(explore, ["pareto", path, "--ratio", "0.3", "--calibration-n", "80",
                                   "--replications", "1", "--seed", "99"])
    code2, one2, _ = run(explore, ["pareto", path, "--ratio", "0.3", "--calibration-n", "80",
                                   "--replications", "1", "--seed", "99", "--threads", "2"])
    if code1 != 0 or one1 != one2:
        fail("one replication with a fixed seed is not reproducible")

    # Bad options: exit 2 and a message that names the option.
    bad = [
        (["--calibration-n", "0"], "calibration-n"),
        (["--calibration-n", "5"], "sample of 5"),
        (["--calibration-n", "x"], "calibration-n"),
        (["--calibration-n", "100", "--replications", "0"], "replications"),
        (["--replications", "10"], "calibration-n"),
        (["--calibration-n", "100", "--threads", "0"], "threads"),
        (["--calibration-n", "100", "--seed", "-1"], "seed"),
    ]
    for args, word in bad:
        code, out, err = run(explore, ["pareto", path, "--ratio", "0.3", *args])
        if code != 2 or out or word not in err:
            fail(f"{args}: exit {code}, output {out[:40]!r}, message {err.strip()!r}")
    majority = os.path.join(work, "no_shares.json")
    doc = scenario([[1, 0.3], [0.3, 1]], [[-0.5, -0.2]], [0.2])
    del doc["minority_share"]
    doc["mode"] = "majority"
    with open(majority, "w") as f:
        json.dump(doc, f)
    code, out, err = run(explore, ["pareto", majority, "--ratio", "0.3", "--majority",
                                   "--calibration-n", "100"])
    if code != 2 or "share" not in err:
        fail(f"a scenario without shares: exit {code}, message {err.strip()!r}")

    if failures:
        print(f"{len(failures)} failures")
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
