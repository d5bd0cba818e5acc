#!/usr/bin/python3
"""The expectations of the observed-data statistics, from independent
implementations: Debian's python3-scipy and python3-statsmodels, with exact
rational arithmetic (Python's integers and fractions) where a library's own
formula loses digits to cancellation.

  /usr/bin/python3 tests/observed/data/make_expectations.py [FOLDER]

writes, into FOLDER (default: the folder of this script, beside which the
files are kept), pairs.csv (a group against a reference; 1500 random tables, 100
far in the tails and a few corners) and strata.csv (several
units for the Mantel-Haenszel analysis), and prints how far the libraries
are from the exact values where those are known. Made with scipy 1.10.1,
statsmodels 0.13.5 and numpy 1.24.2 (the versions are written into the
files' first line).

pairs.csv, one table a line: the group's a selected of n1 applicants, the
reference's c of n2, the level alpha, then
  ratio      (a/n1)/(c/n2), exact, rounded once
  z          statsmodels.stats.proportion.proportions_ztest([a, c], [n1, n2])
             (pooled standard error), empty when no one or everyone was
             selected
  z_exact    the same statistic exactly (fractions; the square root in 60
             digits), for the p value below
  p_z        2 * scipy.stats.norm.sf(|z_exact|)
  p_fisher   scipy.stats.fisher_exact([[a, n1 - a], [c, n2 - c]]), two-sided
  p_fisher_exact  the same by exact rational arithmetic, for tables of up
             to 3000 applicants (empty above), with ties decided exactly
  ci_low, ci_high  statsmodels.stats.proportion.confint_proportions_2indep(
             a, n1, c, n2, compare="ratio", alpha=alpha), method "log", or
             "log-adjusted" (0.5 added to both counts of each group) when a
             or c is 0; empty when both are

strata.csv, one set of units a line: alpha, the tables as "a b c d" joined
by ";" (the group's selected and rejected, the reference's selected and
rejected), then from statsmodels.stats.contingency_tables.StratifiedTable:
  odds_ratio          oddsratio_pooled
  or_low, or_high     oddsratio_pooled_confint(alpha)
  statistic           test_null_odds(correction=False).statistic
  statistic_exact     the same exactly (fractions)
  p                   scipy.stats.chi2.sf(statistic_exact, 1)
  p_statsmodels       test_null_odds(correction=False).pvalue (1 - cdf, so
                      nothing below about 1e-16), for the record
"""
import csv
import math
import os
import random
import sys
import warnings
from fractions import Fraction

import mpmath
import numpy as np
import scipy
import scipy.stats
import statsmodels
from statsmodels.stats.contingency_tables import StratifiedTable
from statsmodels.stats.proportion import confint_proportions_2indep, proportions_ztest

mpmath.mp.dps = 60
warnings.simplefilter("ignore")


def number(x):
    """Shortest round-trip text of a double; empty for none, NaN or an infinity."""
    if x is None:
        return ""
    x = float(x)
    if not math.isfinite(x):
        return ""
    return repr(x)


def exact_z(a, n1, c, n2):
    """(a n2 - c n1) sqrt(N / (n1 n2 s f)), exact up to the square root."""
    N, s = n1 + n2, a + c
    if s == 0 or s == N:
        return None
    square = Fraction((a * n2 - c * n1) ** 2 * N, n1 * n2 * s * (N - s))
    root = mpmath.sqrt(mpmath.mpf(square.numerator) / square.denominator)
    return root if a * n2 >= c * n1 else -root


def two_sided(z):
    """The two-sided normal p value of an mpmath number."""
    return mpmath.erfc(abs(z) / mpmath.sqrt(2))


def quantile(alpha):
    """The upper alpha/2 point of the standard normal."""
    return mpmath.sqrt(2) * mpmath.erfinv(1 - mpmath.mpf(alpha))


def log_pmf(y, K, n, N):
    g = mpmath.loggamma
    return (g(K + 1) - g(y + 1) - g(K - y + 1) + g(N - K + 1) - g(n - y + 1) - g(N - K - n + y + 1)
            - g(N + 1) + g(n + 1) + g(N - n + 1))


def ratio_up(y, K, n, N):
    """P(y + 1) / P(y), exactly."""
    return mpmath.mpf(K - y) * (n - y) / (mpmath.mpf(y + 1) * (N - K - n + y + 1))


def rational_fisher(a, n1, c, n2):
    """Every table's probability as a fraction; ties decided exactly."""
    N, n = n1 + n2, a + c
    lo, hi = max(0, n - n2), min(n1, n)
    weights = [math.comb(n1, y) * math.comb(n2, n - y) for y in range(lo, hi + 1)]
    observed = weights[a - lo]
    return Fraction(sum(w for w in weights if w <= observed), math.comb(N, n))


def precise_fisher(a, n1, c, n2):
    """The sum of every probability no greater than the observed one's
    (times 1 + 1e-7), in 40-digit arithmetic: the whole support by its
    exact ratios when it is narrow, else the two tails, each summed outwards
    until its terms fall below 1e-45 of it, the far one from the first
    count found by bisection."""
    N, n = n1 + n2, a + c
    lo, hi = max(0, n - n2), min(n1, n)
    if lo == hi:
        return mpmath.mpf(1)
    cut = log_pmf(a, n1, n, N) + mpmath.log1p(mpmath.mpf("1e-7"))
    if hi - lo <= 20000:
        term = mpmath.exp(log_pmf(lo, n1, n, N))
        limit = mpmath.exp(cut)
        total = mpmath.mpf(0)
        for y in range(lo, hi + 1):
            if term <= limit:
                total += term
            if y < hi:
                term *= ratio_up(y, n1, n, N)
        return total
    mode = (n + 1) * (n1 + 1) // (N + 2)
    if log_pmf(mode, n1, n, N) <= cut:
        return mpmath.mpf(1)

    def tail(start, step):
        term = mpmath.exp(log_pmf(start, n1, n, N))
        total, y = term, start
        while lo < y + step <= hi if step > 0 else lo <= y + step < hi:
            term = term * ratio_up(y, n1, n, N) if step > 0 else term / ratio_up(y - 1, n1, n, N)
            y += step
            total += term
            if term < total * mpmath.mpf("1e-45"):
                break
        return total

    def first_improbable(begin, end):
        """The first y from begin to end (a monotone run) with P(y) <= cut."""
        step = 1 if end > begin else -1
        if log_pmf(begin, n1, n, N) <= cut:
            return begin
        bad, good = begin, end  # bad: probable; good: improbable
        while abs(good - bad) > 1:
            mid = (bad + good) // 2
            if log_pmf(mid, n1, n, N) <= cut:
                good = mid
            else:
                bad = mid
        return good

    away = -1 if a < mode else 1
    total = tail(first_improbable(mode + away, a), away)
    far = hi if away < 0 else lo
    if log_pmf(far, n1, n, N) <= cut:
        total += tail(first_improbable(mode - away, far), -away)
    return min(total, mpmath.mpf(1))


def exact_interval(a, n1, c, n2, alpha):
    """The log-method interval of the impact ratio in 60 digits, with 0.5
    added to both counts of each group when a or c is 0."""
    if a == 0 and c == 0:
        return None, None
    add = mpmath.mpf("0.5") if a == 0 or c == 0 else 0
    a_, n1_, c_, n2_ = a + add, n1 + add, c + add, n2 + add
    ratio = (a_ / n1_) / (c_ / n2_)
    width = quantile(alpha) * mpmath.sqrt((n1 - a) / (a_ * n1_) + (n2 - c) / (c_ * n2_))
    return ratio * mpmath.exp(-width), ratio * mpmath.exp(width)


def draw_size(rng):
    """Tiny to large: log-uniform up to 10^8, with small ones often."""
    if rng.random() < 0.25:
        return rng.randint(1, 12)
    return max(1, int(10 ** rng.uniform(0, 8)))


def draw_rate(rng):
    kind = rng.random()
    if kind < 0.15:
        return rng.choice([0.0, 1.0])
    if kind < 0.3:
        return 10 ** rng.uniform(-6, -1)
    if kind < 0.4:
        return 1 - 10 ** rng.uniform(-6, -1)
    return rng.random()


def draw_pair(rng, np_rng):
    n1 = draw_size(rng)
    n2 = n1 if rng.random() < 0.15 else draw_size(rng)  # equal sizes: exact ties
    p2 = draw_rate(rng)
    # The group's rate near the reference's half the time.
    p1 = p2 * rng.uniform(0.5, 1.1) if rng.random() < 0.5 else draw_rate(rng)
    p1 = min(max(p1, 0.0), 1.0)
    return int(np_rng.binomial(n1, p1)), n1, int(np_rng.binomial(n2, p2)), n2


def draw_far_tail(rng):
    """A table whose z is near the end of the doubles' range (p about 1e-200
    to 1e-320), where the tails' relative accuracy is tested."""
    while True:
        n1, n2 = int(10 ** rng.uniform(3, 7)), int(10 ** rng.uniform(3, 7))
        p2 = rng.uniform(0.2, 0.8)
        p1 = p2 - rng.uniform(30, 38.5) * math.sqrt(p2 * (1 - p2) * (1 / n1 + 1 / n2))
        if 0 <= p1 <= 1:
            return round(p1 * n1), n1, round(p2 * n2), n2


def pair_row(a, n1, c, n2, alpha):
    N, s = n1 + n2, a + c
    ratio = Fraction(a * n2, c * n1) if c > 0 else None
    z = zx = p_z = p_zx = None
    if 0 < s < N:
        z = proportions_ztest([a, c], [n1, n2])[0]
        zx = exact_z(a, n1, c, n2)
        p_z = 2 * scipy.stats.norm.sf(abs(float(zx)))
        p_zx = two_sided(zx)
    p_fisher = scipy.stats.fisher_exact([[a, n1 - a], [c, n2 - c]]).pvalue
    p_fisher_exact = rational_fisher(a, n1, c, n2) if N <= 3000 else precise_fisher(a, n1, c, n2)
    low = high = None
    if a > 0 or c > 0:
        method = "log-adjusted" if a == 0 or c == 0 else "log"
        low, high = confint_proportions_2indep(a, n1, c, n2, method=method, compare="ratio",
                                               alpha=alpha)
    low_exact, high_exact = exact_interval(a, n1, c, n2, alpha)
    return [a, n1, c, n2, alpha, number(ratio), number(z), number(zx), number(p_z),
            number(p_zx), number(p_fisher), number(p_fisher_exact), number(low),
            number(low_exact), number(high), number(high_exact)]


def exact_mh(tables, alpha):
    """The odds ratio, its interval and the statistic in exact or 60-digit
    arithmetic, by the formulas statsmodels uses."""
    R = sum(Fraction(a * d, a + b + c + d) for a, b, c, d in tables)
    S = sum(Fraction(b * c, a + b + c + d) for a, b, c, d in tables)
    deviation = sum(Fraction(a * d - b * c, a + b + c + d) for a, b, c, d in tables)
    variance = sum(Fraction((a + b) * (c + d) * (a + c) * (b + d),
                            (a + b + c + d) ** 2 * (a + b + c + d - 1)) for a, b, c, d in tables)
    odds = low = high = statistic = None
    if S > 0:
        odds = R / S
    if R > 0 and S > 0:
        P = [Fraction(a + d, a + b + c + d) for a, b, c, d in tables]
        Q = [Fraction(b + c, a + b + c + d) for a, b, c, d in tables]
        r = [Fraction(a * d, a + b + c + d) for a, b, c, d in tables]
        s_ = [Fraction(b * c, a + b + c + d) for a, b, c, d in tables]
        log_variance = (sum(p * x for p, x in zip(P, r)) / (R * R)
                        + sum(p * y + q * x for p, q, x, y in zip(P, Q, r, s_)) / (R * S)
                        + sum(q * y for q, y in zip(Q, s_)) / (S * S)) / 2
        width = quantile(alpha) * mpmath.sqrt(mpmath.mpf(log_variance.numerator)
                                              / log_variance.denominator)
        o = mpmath.mpf(odds.numerator) / odds.denominator
        low, high = o * mpmath.exp(-width), o * mpmath.exp(width)
    if variance > 0:
        statistic = deviation * deviation / variance
    return odds, low, high, statistic


def strata_row(tables, alpha):
    t = StratifiedTable(np.array([[[a, b], [c, d]] for a, b, c, d in tables],
                                 dtype=np.float64).transpose(1, 2, 0))
    low, high = t.oddsratio_pooled_confint(alpha=alpha)
    test = t.test_null_odds(correction=False)
    odds_x, low_x, high_x, statistic = exact_mh(tables, alpha)
    p = p_x = None
    if statistic is not None:
        p = scipy.stats.chi2.sf(float(statistic), 1)
        root = mpmath.sqrt(mpmath.mpf(statistic.numerator) / statistic.denominator)
        p_x = two_sided(root)
    return [alpha, ";".join(" ".join(str(v) for v in tab) for tab in tables),
            number(t.oddsratio_pooled), number(odds_x), number(low), number(low_x), number(high),
            number(high_x), number(test.statistic), number(statistic), number(test.pvalue),
            number(p), number(p_x)]


def draw_strata(rng, np_rng):
    units = rng.randint(2, 12)
    base = draw_rate(rng)
    effect = rng.choice([1.0, 1.0, rng.uniform(0.3, 1.2)])
    tables = []
    for _ in range(units):
        n1, n2 = draw_size(rng), draw_size(rng)
        if rng.random() < 0.5:  # modest units are what the analysis is for
            n1, n2 = min(n1, rng.randint(1, 400)), min(n2, rng.randint(1, 400))
        p2 = min(1.0, max(0.0, base * rng.uniform(0.5, 1.5)))
        p1 = min(1.0, p2 * effect)
        a, c = int(np_rng.binomial(n1, p1)), int(np_rng.binomial(n2, p2))
        tables.append((a, n1 - a, c, n2 - c))
    return tables


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(out, exist_ok=True)
    rng = random.Random(20261208)
    np_rng = np.random.default_rng(20261208)
    versions = (f"# scipy {scipy.__version__}, statsmodels {statsmodels.__version__}, "
                f"numpy {np.__version__}: tests/observed/data/make_expectations.py\n")
    alphas = [0.05, 0.05, 0.01, 0.1, 0.2]

    pairs = [draw_pair(rng, np_rng) for _ in range(1500)]
    pairs += [draw_far_tail(rng) for _ in range(100)]
    # Hand-picked corners: ties by symmetry, the extremes of tiny tables.
    pairs += [(3, 10, 7, 10), (5, 10, 5, 10), (0, 1, 1, 1), (1, 1, 0, 1), (0, 5, 5, 5),
              (5, 5, 0, 5), (2, 4, 2, 4), (50, 100, 50, 100), (0, 100000000, 99999999, 100000000),
              (1, 2, 1, 2), (20, 40, 30, 40), (12, 12, 11, 12)]
    columns = ["a", "n1", "c", "n2", "alpha", "ratio", "z", "z_exact", "p_z", "p_z_exact",
               "p_fisher", "p_fisher_exact", "ci_low", "ci_low_exact", "ci_high",
               "ci_high_exact"]
    worst = {}
    with open(os.path.join(out, "pairs.csv"), "w", newline="") as f:
        f.write(versions)
        w = csv.writer(f, lineterminator="\n")
        w.writerow(columns)
        for a, n1, c, n2 in pairs:
            row = pair_row(a, n1, c, n2, rng.choice(alphas))
            w.writerow(row)
            compare(worst, columns, row, [("z", 6, 7), ("p_z", 8, 9), ("p_fisher", 10, 11),
                                          ("ci_low", 12, 13), ("ci_high", 14, 15)])
    report(f"{len(pairs)} pairs", worst)

    columns = ["alpha", "tables", "odds_ratio", "odds_ratio_exact", "or_low", "or_low_exact",
               "or_high", "or_high_exact", "statistic", "statistic_exact", "p_statsmodels", "p",
               "p_exact"]
    worst = {}
    with open(os.path.join(out, "strata.csv"), "w", newline="") as f:
        f.write(versions)
        w = csv.writer(f, lineterminator="\n")
        w.writerow(columns)
        for _ in range(400):
            row = strata_row(draw_strata(rng, np_rng), rng.choice(alphas))
            w.writerow(row)
            compare(worst, columns, row, [("odds_ratio", 2, 3), ("or_low", 4, 5),
                                          ("or_high", 6, 7), ("statistic", 8, 9),
                                          ("p_statsmodels", 10, 12), ("p", 11, 12)])
    report("400 sets of units", worst)


def compare(worst, columns, row, pairs):
    """Notes the library's largest relative difference from the exact value;
    p values only where both are at least 1e-300."""
    for name, library, exact in pairs:
        if not row[library] or not row[exact]:
            continue
        x, y = float(row[library]), float(row[exact])
        if y == 0 or (name.startswith("p") and min(x, y) < 1e-300):
            continue
        d = abs(x - y) / abs(y)
        if d >= worst.get(name, (0, None))[0]:
            worst[name] = (d, row[:5] if len(row) > 13 else row[1][:50])


def report(what, worst):
    print(f"{what}: the libraries' largest relative differences from exact arithmetic")
    for name, (d, where) in sorted(worst.items()):
        print(f"  {name:14} {d:.3g}  at {where}")


if __name__ == "__main__":
    main()
