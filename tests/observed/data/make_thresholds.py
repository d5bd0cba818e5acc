#!/usr/bin/python3
"""Tables whose p values lie at the level of the test, for the decisions of
significance: exact rational arithmetic (Python's fractions) for Fisher's
test, 60-digit arithmetic (mpmath) for the z test.

  /usr/bin/python3 tests/observed/data/make_thresholds.py [FOLDER]

writes thresholds.csv into FOLDER (default: the folder of this script,
beside which it is kept), one decision a line: the test (fisher or z), the
group's a selected of n1 applicants, the reference's c of n2, the level
alpha, and whether p is below it; and thresholds_mh.csv, the same for the
Mantel-Haenszel test (its p value from the exact statistic in 60 digits)
of sets of units, each "a b c d" (the group's selected and rejected, the
reference's selected and rejected), joined by ";". Each table comes three times: alpha the
double nearest p (not below: a p equal to the level, or nearer it than
the computation can tell, is not significant), alpha a relative 1e-8
above p (below) and 1e-8 under it (not below). Fisher's p values here have
no tie that the 1e-7 tolerance of the library and R would decide otherwise
than exact arithmetic (tables where the two differ are left out).
"""
import csv
import math
import os
import random
import sys
from fractions import Fraction

import mpmath

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_expectations import (exact_mh, exact_z, precise_fisher, rational_fisher,  # noqa: E402
                               two_sided)

mpmath.mp.dps = 60


def decisions(test, a, n1, c, n2, p):
    """p as a Fraction or an mpmath number."""
    near = float(p)
    up = float(mpmath.mpf(p.numerator) / p.denominator * (1 + mpmath.mpf("1e-8"))
               if isinstance(p, Fraction) else p * (1 + mpmath.mpf("1e-8")))
    down = float(mpmath.mpf(p.numerator) / p.denominator * (1 - mpmath.mpf("1e-8"))
                 if isinstance(p, Fraction) else p * (1 - mpmath.mpf("1e-8")))
    return [(test, a, n1, c, n2, repr(near), 0), (test, a, n1, c, n2, repr(up), 1),
            (test, a, n1, c, n2, repr(down), 0)]


def main(folder):
    rng = random.Random(20261209)
    rows = []
    # Hand-worked: 0 of 1 against 19 of 19 (N = 20) and 0 of 1 against 199
    # of 199 (N = 200): only the observed table is as improbable, 1 in
    # C(20, 19) = 20 and 1 in C(200, 199) = 200, so p is 1/20 and 1/200,
    # at the levels 0.05 and 0.005 exactly.
    rows.append(("fisher", 0, 1, 19, 19, "0.05", 0))
    rows.append(("fisher", 0, 1, 199, 199, "0.005", 0))
    fisher = 0
    while fisher < 60:
        n1 = rng.randint(2, 1500) if fisher % 2 else rng.randint(2, 60)
        n2 = rng.randint(2, 1500) if fisher % 2 else rng.randint(2, 40)
        a, c = rng.randint(0, n1), rng.randint(0, n2)
        if a + c in (0, n1 + n2):
            continue
        p = rational_fisher(a, n1, c, n2)
        if not Fraction(1, 10**12) < p < 1:
            continue
        tolerant = precise_fisher(a, n1, c, n2)
        exact = mpmath.mpf(p.numerator) / p.denominator
        if abs(tolerant - exact) > exact * mpmath.mpf("1e-30"):
            continue
        rows += decisions("fisher", a, n1, c, n2, p)
        fisher += 1
    z = 0
    while z < 60:
        n1 = max(2, int(10 ** rng.uniform(0.5, 7)))
        n2 = max(2, int(10 ** rng.uniform(0.5, 7)))
        a, c = rng.randint(0, n1), rng.randint(0, n2)
        statistic = exact_z(a, n1, c, n2)
        if statistic is None:
            continue
        p = two_sided(statistic)
        if not mpmath.mpf("1e-250") < p < mpmath.mpf("0.999"):
            continue
        rows += decisions("z", a, n1, c, n2, p)
        z += 1
    strata = []
    while len(strata) < 3 * 60:
        tables = []
        for _ in range(rng.randint(2, 8)):
            n1, n2 = rng.randint(1, 300), rng.randint(1, 300)
            tables.append((rng.randint(0, n1), rng.randint(0, n2), n1, n2))
        tables = [(a, n1 - a, c, n2 - c) for a, c, n1, n2 in tables]
        statistic = exact_mh(tables, 0.05)[3]
        if statistic is None:
            continue
        p = two_sided(mpmath.sqrt(mpmath.mpf(statistic.numerator) / statistic.denominator))
        if not mpmath.mpf("1e-250") < p < mpmath.mpf("0.999"):
            continue
        text = ";".join(" ".join(str(v) for v in t) for t in tables)
        strata += [(text, alpha, significant)
                   for _, _, _, _, _, alpha, significant in decisions("mh", 0, 0, 0, 0, p)]
    with open(os.path.join(folder, "thresholds_mh.csv"), "w", newline="") as f:
        f.write("# mpmath %s, exact fractions: tests/observed/data/make_thresholds.py\n" % mpmath.__version__)
        w = csv.writer(f, lineterminator="\n")
        w.writerow(["strata", "alpha", "significant"])
        w.writerows(strata)
    with open(os.path.join(folder, "thresholds.csv"), "w", newline="") as f:
        f.write("# mpmath %s, exact fractions: tests/observed/data/make_thresholds.py\n" % mpmath.__version__)
        w = csv.writer(f, lineterminator="\n")
        w.writerow(["test", "a", "n1", "c", "n2", "alpha", "significant"])
        w.writerows(rows)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__)))
