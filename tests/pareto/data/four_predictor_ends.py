#!/usr/bin/env python3
"""Independent values for the four-predictor example of the 2007 literature
(cognitive ability, structured interview, conscientiousness, biodata):
the regression weighting R^-1 a scaled to sum 1, with its validity and
composite effect size, and the third predictor alone. 40 digits with
mpmath; printed to 17 significant digits for tests/pareto/published_example_test.cc.
"""
from mpmath import mp, matrix, lu_solve, sqrt, nstr

mp.dps = 40
R = matrix([[1, '0.24', 0, '0.19'],
            ['0.24', 1, '0.12', '0.16'],
            [0, '0.12', 1, '0.51'],
            ['0.19', '0.16', '0.51', 1]])
a = matrix(['0.30', '0.30', '0.18', '0.28'])
d = matrix(['-1.00', '-0.23', '-0.09', '-0.33'])


def ends(w):
    norm = sqrt((w.T * R * w)[0])
    return (a.T * w)[0] / norm, (d.T * w)[0] / norm


x = lu_solve(R, a)
assert all(v > 0 for v in x), "the regression weights are not all positive"
w = x / sum(x)
v, e = ends(w)
print("quality end (regression weights, sum 1):")
print("  weights  ", ", ".join(nstr(t, 17) for t in w))
print("  validity ", nstr(v, 17))
print("  effect   ", nstr(e, 17))
# With every effect size negative, sqrt(w'Rw) < sum(w) for any mix of two
# or more predictors, so d.w / sqrt(w'Rw) < max_j d_j: the impact end is
# the predictor with the smallest group difference.
third = matrix([0, 0, 1, 0])
v, e = ends(third)
print("impact end (third predictor alone):")
print("  validity ", nstr(v, 17))
print("  effect   ", nstr(e, 17))
