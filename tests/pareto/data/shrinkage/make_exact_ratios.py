#!/usr/bin/env python3
"""The exact impact ratios of the published shrinkage example.

    python3 tests/pareto/data/shrinkage/make_exact_ratios.py

writes exact_ratios.csv beside this script and prints how far the
package's closed-form ratios (AIratio_cal, AIratio_adj of
shrinkage_example.csv) lie from the exact ones. Run it once after changing
the example and commit the table; the tests do not run Python.

For every row of shrinkage_example.csv and both of its group correlations
(Rrace_cal, Rrace_adj, read as the doubles the tests read), in 50-digit
arithmetic (mpmath), from the model alone:
- the correlation is with a dummy 1 for the majority, so the composite's
  effect size, minority minus majority, is d = -r / sqrt((1 - r^2) s (1 - s))
  with s = 1/6 the minority share;
- within each group the composite is normal with unit variance; the cut
  score x on the majority's scale solves (1 - s) Q(x) + s Q(x - d) = R at
  the overall selection ratio R = 0.15 (the double nearest it);
- the impact ratio is Q(x - d) / Q(x), the ratio to the highest rate the
  lower rate over the higher.
"""

import csv
import pathlib

import mpmath

mpmath.mp.dps = 50

HERE = pathlib.Path(__file__).resolve().parent
SHARE = mpmath.mpf(1.0 / 6.0)  # the publication's 1/6, as a double holds it
RATIO = mpmath.mpf(0.15)


def upper_tail(z):
    return mpmath.erfc(z / mpmath.sqrt(2)) / 2


def ratios(r):
    r = mpmath.mpf(r)
    spread = SHARE * (1 - SHARE)
    d = -r / mpmath.sqrt((1 - r * r) * spread)

    def overall(x):
        return (1 - SHARE) * upper_tail(x) + SHARE * upper_tail(x - d) - RATIO

    # The overall rate falls with x: bracket the root, then bisect and polish.
    lo, hi = mpmath.mpf(-40), mpmath.mpf(40)
    for _ in range(200):
        mid = (lo + hi) / 2
        if overall(mid) > 0:
            lo = mid
        else:
            hi = mid
    x = mpmath.findroot(overall, (lo + hi) / 2)
    majority = upper_tail(x)
    minority = upper_tail(x - d)
    ai = minority / majority
    return d, ai, min(minority, majority) / max(minority, majority)


def main():
    rows = list(csv.DictReader(open(HERE / "shrinkage_example.csv", newline="")))
    out = []
    worst = {"cal": (0, 0), "adj": (0, 0)}
    for row in rows:
        entry = {"calibration_n": row["calibration_n"], "point": row["point"]}
        for which in ("cal", "adj"):
            r = float(row["Rrace_" + which])
            d, ai, to_highest = ratios(r)
            entry["d_" + which] = mpmath.nstr(d, 25)
            entry["ai_" + which] = mpmath.nstr(ai, 25)
            entry["to_highest_" + which] = mpmath.nstr(to_highest, 25)
            package = mpmath.mpf(float(row["AIratio_" + which]))
            absolute = abs(package - ai)
            relative = absolute / ai
            worst[which] = (max(worst[which][0], absolute), max(worst[which][1], relative))
        out.append(entry)
    with open(HERE / "exact_ratios.csv", "w", newline="") as f:
        writer = csv.DictWriter(f, fieldnames=list(out[0]), lineterminator="\n")
        writer.writeheader()
        writer.writerows(out)
    for which in ("cal", "adj"):
        absolute, relative = worst[which]
        print(f"AIratio_{which}: the package's closed form against the exact ratio: "
              f"largest absolute difference {mpmath.nstr(absolute, 3)}, "
              f"largest relative {mpmath.nstr(relative, 3)}")


if __name__ == "__main__":
    main()
