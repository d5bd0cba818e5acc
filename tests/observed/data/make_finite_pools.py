#!/usr/bin/python3
"""The chances that a finite pool of applicants fails the four-fifths rule
or shows a significant difference, from methods of their own: Debian's
python3-scipy, python3-numpy and python3-statsmodels.

  /usr/bin/python3 tests/observed/data/make_finite_pools.py [FOLDER] [POOLS]

writes finite_pools.csv into FOLDER (default: the folder of this script,
beside which it is kept), one problem and ratio a line:

  kind        "integral": tiny pools (M = 6 and 9), every pool outcome's
              probability by the textbook order-statistic integral: the
              minority's applicants m are binomial(M, p); given m, the
              probability that x of the k selected are the minority's is
              the integral over the k-th highest score t of
                m f1(t) C(m-1, x-1) S1^(x-1) F1^(m-x) C(n, k-x) S0^(k-x) F0^(n-k+x)
              + n f0(t) C(n-1, k-x-1) S0^(k-x-1) F0^(n-k+x) C(m, x) S1^x F1^(m-x)
              (n = M - m; f, S, F the groups' densities, upper and lower
              areas), by scipy.integrate.quad to 1e-13; and the verdicts
              summed over (m, x).
              "simulated": POOLS pools (default 10^6) drawn by numpy
              (group by its share, a normal score, the k highest
              selected), the share of the pools with each verdict and its
              standard error sqrt(p (1 - p) / POOLS).
  M, share, d, ratio, k      the pool's size, the minority's share and mean
              (the majority's is 0), the selection ratio and round(R M)
  fail, fisher, z, absent    the chances: some group below 0.8 of the
              highest rate; Fisher's test (scipy.stats.fisher_exact,
              two-sided) with p < alpha; the pooled z test
              (statsmodels proportions_ztest) with p < alpha; a group
              without applicants (such a pool neither fails nor differs)
  fail_se, fisher_se, z_se, absent_se   the standard errors (simulated)

alpha is 0.05. Made with scipy 1.10.1, statsmodels 0.13.5 and numpy
1.24.2; 10^6 pools take about a minute of one core.
"""
import csv
import math
import os
import sys
from functools import lru_cache

import numpy as np
from scipy import integrate, special, stats
from statsmodels.stats.proportion import proportions_ztest

ALPHA = 0.05


def upper(t):
    """The standard normal's area above t (scipy.special.ndtr)."""
    return special.ndtr(-t)


def density(t):
    return math.exp(-0.5 * t * t) / math.sqrt(2 * math.pi)


def selected_of(ratio, M):
    return math.floor(ratio * M + 0.5)


@lru_cache(maxsize=None)
def verdicts(x, m, k, M):
    """(fails, fisher, z, absent) of a pool: m minority applicants, x of
    them among the k selected, of M."""
    n = M - m
    if m == 0 or n == 0:
        return (False, False, False, True)
    a, c = x, k - x  # minority's and majority's selected
    # The lower rate against the higher, in whole numbers.
    if a * n >= c * m:
        fails = 5 * c * m < 4 * a * n
    else:
        fails = 5 * a * n < 4 * c * m
    p_fisher = stats.fisher_exact([[a, m - a], [c, n - c]])[1]
    if a + c == 0 or a + c == M:
        p_z = 1.0
    else:
        p_z = proportions_ztest([a, c], [m, n])[1]
    return (fails, p_fisher < ALPHA, p_z < ALPHA, False)


def integral(M, share, d, ratio):
    k = selected_of(ratio, M)
    totals = [0.0] * 4
    mass = 0.0
    for m in range(M + 1):
        pm = stats.binom.pmf(m, M, share)
        n = M - m
        for x in range(max(0, k - n), min(k, m) + 1):
            if k == 0 or k == M:
                px = 1.0
            else:
                def f(t):
                    s0, s1 = upper(t), upper(t - d)
                    f0, f1 = upper(-t), upper(d - t)
                    g0, g1 = density(t), density(t - d)
                    v = 0.0
                    if x >= 1 and k - x <= n:
                        v += (m * g1 * math.comb(m - 1, x - 1) * s1 ** (x - 1) * f1 ** (m - x)
                              * math.comb(n, k - x) * s0 ** (k - x) * f0 ** (n - k + x))
                    if k - x >= 1 and x <= m:
                        v += (n * g0 * math.comb(n - 1, k - x - 1) * s0 ** (k - x - 1)
                              * f0 ** (n - k + x) * math.comb(m, x) * s1 ** x * f1 ** (m - x))
                    return v
                px = integrate.quad(f, -np.inf, np.inf, epsabs=1e-14, epsrel=1e-13, limit=200)[0]
            p = pm * px
            mass += p
            for i, v in enumerate(verdicts(x, m, k, M)):
                if v:
                    totals[i] += p
    return k, totals, mass


def simulated(M, share, d, ratios, pools, seed):
    rng = np.random.default_rng(seed)
    ks = [selected_of(r, M) for r in ratios]
    counts = [dict() for _ in ks]
    chunk = 100_000
    done = 0
    while done < pools:
        n = min(chunk, pools - done)
        minority = rng.random((n, M)) < share
        scores = rng.standard_normal((n, M)) + d * minority
        order = np.argsort(-scores, axis=1)
        ranked = np.take_along_axis(minority, order, axis=1)
        above = np.concatenate([np.zeros((n, 1), dtype=np.int64),
                                np.cumsum(ranked, axis=1)], axis=1)
        m = minority.sum(axis=1)
        for i, k in enumerate(ks):
            keys, tallies = np.unique(np.stack([above[:, k], m], axis=1), axis=0,
                                      return_counts=True)
            for (x, mm), c in zip(keys, tallies):
                counts[i][(int(x), int(mm))] = counts[i].get((int(x), int(mm)), 0) + int(c)
        done += n
    out = []
    for k, table in zip(ks, counts):
        hits = [0] * 4
        for (x, m), c in table.items():
            for j, v in enumerate(verdicts(x, m, k, M)):
                if v:
                    hits[j] += c
        ps = [h / pools for h in hits]
        ses = [math.sqrt(p * (1 - p) / pools) for p in ps]
        out.append((k, ps, ses))
    return out


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    pools = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    rows = []
    # Tiny pools, every outcome: the minority lower, higher, a tiny share.
    for M, share, d in [(6, 0.3, -1.0), (6, 0.4, 0.7), (6, 0.05, -2.0), (9, 0.25, -0.5)]:
        for ratio in (0.1, 0.34, 0.5, 0.7, 0.9):
            k, totals, mass = integral(M, share, d, ratio)
            rows.append(["integral", M, share, d, ratio, k] + totals + [""] * 4)
            print(f"integral M={M} p={share} d={d} R={ratio}: mass - 1 = {mass - 1:.2e}",
                  file=sys.stderr)
    # Larger pools against 10^6 simulated ones.
    problems = [(40, 0.25, -0.8, (0.1, 0.3, 0.6)), (40, 0.3, 0.5, (0.2, 0.5, 0.85)),
                (100, 0.03, -1.0, (0.1, 0.5)), (25, 0.5, -0.3, (0.05, 0.96))]
    for seed, (M, share, d, ratios) in enumerate(problems, 1):
        for ratio, (k, ps, ses) in zip(ratios, simulated(M, share, d, ratios, pools, seed)):
            rows.append(["simulated", M, share, d, ratio, k] + ps + ses)
            print(f"simulated M={M} p={share} d={d} R={ratio}: {ps}", file=sys.stderr)
    with open(os.path.join(folder, "finite_pools.csv"), "w", newline="") as f:
        f.write(f"# scipy {__import__('scipy').__version__}, numpy {np.__version__}, "
                f"{pools} pools a simulated problem\n")
        w = csv.writer(f, lineterminator="\n")
        w.writerow(["kind", "M", "share", "d", "ratio", "k", "fail", "fisher", "z", "absent",
                    "fail_se", "fisher_se", "z_se", "absent_se"])
        for r in rows:
            w.writerow([repr(v) if isinstance(v, float) else v for v in r])


if __name__ == "__main__":
    main()
