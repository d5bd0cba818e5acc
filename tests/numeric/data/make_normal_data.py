#!/usr/bin/env python3
"""Writes the reference tables of the normal-distribution tests.

    python3 tests/numeric/data/make_normal_data.py

writes ppnd_data.inc and normp_data.inc beside this script. Run it once after
changing the grids below and commit the tables; the tests do not run Python.

Every argument x is a double, printed so that it reads back as exactly that
double, and every reference is computed in 50-digit arithmetic (mpmath) from
that exact double. Each row carries two kinds of reference:

  * the true value of the standard normal function, which measures the
    accuracy of the approximation;
  * the value that the published approximation itself takes in exact
    arithmetic (AS 241 for the quantile, Hart et al. 5666 with its continued
    fraction for the tail areas and the density; only the rounding of the
    square z*z is carried over from double arithmetic). The double routine
    must stay within a few units in the last place of it, so a mistyped
    constant or a wrong branch shows up even where it is smaller than the
    approximation error.

The region of each row (which formula applies) is decided with the same
double-precision tests as the routine; Python floats are IEEE doubles and
math.log is the C library's log.
"""

import math
import pathlib
import random

import mpmath as mp

mp.mp.dps = 50
HERE = pathlib.Path(__file__).resolve().parent

# --- AS 241 (Wichura 1988, PPND16), coefficients indexed by power ----------

SPLIT1 = 0.425
SPLIT2 = 5.0
CONST1 = 0.180625
CONST2 = 1.6

A = [3.3871328727963665, 133.14166789178438, 1971.5909503065513,
     13731.69376550946, 45921.95393154987, 67265.7709270087,
     33430.57558358813, 2509.0809287301227]
B = [1.0, 42.31333070160091, 687.1870074920579, 5394.196021424751,
     21213.794301586597, 39307.89580009271, 28729.085735721943,
     5226.495278852854]
C = [1.4234371107496835, 4.630337846156546, 5.769497221460691,
     3.6478483247632045, 1.2704582524523684, 0.2417807251774506,
     0.022723844989269184, 0.0007745450142783414]
D = [1.0, 2.053191626637759, 1.6763848301838038, 0.6897673349851,
     0.14810397642748008, 0.015198666563616457, 0.0005475938084995345,
     1.0507500716444169e-09]
E = [6.657904643501103, 5.463784911164114, 1.7848265399172913,
     0.29656057182850487, 0.026532189526576124, 0.0012426609473880784,
     2.7115555687434876e-05, 2.0103343992922881e-07]
F = [1.0, 0.599832206555888, 0.1369298809227358, 0.014875361290850615,
     0.0007868691311456133, 1.8463183175100548e-05, 1.421511758316446e-07,
     2.0442631033899397e-15]

# --- Hart et al. 5666 and the tail continued fraction ------------------------

HART_P = [220.2068679123761, 221.2135961699311, 112.0792914978709,
          33.912866078383, 6.37396220353165, 0.7003830644436881,
          0.03526249659989109]
HART_Q = [440.4137358247522, 793.8265125199484, 637.3336333788311,
          296.5642487796737, 86.78073220294608, 16.06417757920695,
          1.755667163182642, 0.08838834764831845]
CUTOFF = 7.071
ROOT2PI = 2.506628274631001


def poly(coefficients, x):
    """sum of c_k x^k in 50-digit arithmetic."""
    return mp.fsum(mp.mpf(c) * x**k for k, c in enumerate(coefficients))


# --- references ---------------------------------------------------------------

def true_quantile(p):
    """The exact quantile of the double p, by bisection on mpmath's ncdf."""
    p = mp.mpf(p)
    if p > 0.5:
        return -lower_quantile(1 - p)
    return lower_quantile(p)


def lower_quantile(p):
    lo, hi = mp.mpf(-40), mp.mpf(0)
    for _ in range(220):
        mid = (lo + hi) / 2
        if mp.ncdf(mid) < p:
            lo = mid
        else:
            hi = mid
    return (lo + hi) / 2


def ppnd_region(p):
    q = p - 0.5
    if abs(q) <= SPLIT1:
        return "central"
    r = p if q < 0 else 1.0 - p
    return "intermediate" if math.sqrt(-math.log(r)) <= SPLIT2 else "far"


def as241_exact(p):
    region = ppnd_region(p)
    q = mp.mpf(p) - mp.mpf(0.5)
    if region == "central":
        r = mp.mpf(CONST1) - q * q
        return q * poly(A, r) / poly(B, r)
    r = mp.mpf(p) if q < 0 else 1 - mp.mpf(p)
    r = mp.sqrt(-mp.log(r))
    if region == "intermediate":
        r = r - mp.mpf(CONST2)
        v = poly(C, r) / poly(D, r)
    else:
        r = r - mp.mpf(SPLIT2)
        v = poly(E, r) / poly(F, r)
    return -v if q < 0 else v


def normp_region(z):
    return "rational" if abs(z) < CUTOFF else "fraction"


def hart_exact(z):
    """(p, q, pdf) of the approximation in exact arithmetic.

    The square a*a is the one rounding that is modelled: it is the first
    operation of the routine, and its error, up to a*a/2 * 2^-53 relative in
    exp(-a*a/2), would otherwise hide everything else in the far tail.
    """
    a = mp.mpf(abs(z))
    e = mp.exp(-mp.mpf(abs(z) * abs(z)) / 2)
    pdf = e / mp.mpf(ROOT2PI)
    if normp_region(z) == "rational":
        t = e * poly(HART_P, a) / poly(HART_Q, a)
    else:
        cf = a + mp.mpf("0.65")
        for k in (4, 3, 2, 1):
            cf = a + k / cf
        t = pdf / cf
    return (t, 1 - t, pdf) if z < 0 else (1 - t, t, pdf)


# --- grids -----------------------------------------------------------------------

def neighbours(x, count):
    out = []
    for direction in (-math.inf, math.inf):
        y = x
        for _ in range(count):
            y = math.nextafter(y, direction)
            out.append(y)
    return out


def ppnd_grid():
    rng = random.Random(241)
    ps = set()
    # Central region: a dyadic grid, random points, the borders and points
    # close to 0.5 where the quantile is small.
    ps.update(k / 512 for k in range(39, 474))
    ps.update(rng.uniform(0.075, 0.925) for _ in range(300))
    for border in (0.075, 0.925):
        ps.add(border)
        ps.update(neighbours(border, 3))
    for k in range(8, 53, 2):
        ps.update((0.5 - 2.0**-k, 0.5 + 2.0**-k))
    # Tails: log-spaced lower tails down to 1e-300, upper tails up to
    # 1 - 2^-53, random log-uniform points, and the border exp(-25) between
    # the intermediate and the far tail on both sides.
    for k in range(9, 89):
        ps.add(10.0 ** (-k / 8))
    for k in range(22, 601):
        ps.add(10.0 ** (-k / 2))
    for k in range(9, 129):
        ps.add(1.0 - 10.0 ** (-k / 8))
    ps.update(10.0 ** -rng.uniform(1.125, 300.0) for _ in range(300))
    ps.update(1.0 - 10.0 ** -rng.uniform(1.125, 15.9) for _ in range(100))
    border = math.exp(-25.0)
    ps.add(border)
    ps.update(neighbours(border, 3))
    upper = 1.0 - border
    ps.add(upper)
    ps.update(neighbours(upper, 3))
    ps.update((1e-300, 1.0 - 1e-16, 2.0**-53, 1.0 - 2.0**-53))
    ps.discard(0.5)
    return sorted(p for p in ps if 1e-300 <= p < 1.0)


def normp_grid():
    rng = random.Random(5666)
    zs = set(k / 64 for k in range(-8 * 64, 8 * 64 + 1))
    zs.update(k / 16 for k in range(-37 * 16, 37 * 16 + 1))
    zs.update(rng.uniform(-CUTOFF, CUTOFF) for _ in range(300))
    zs.update(rng.uniform(-37.0, 37.0) for _ in range(300))
    for border in (CUTOFF, -CUTOFF):
        zs.add(border)
        zs.update(neighbours(border, 3))
    zs.update((math.nextafter(37.0, 0.0), math.nextafter(-37.0, 0.0)))
    return sorted(zs)


# --- output ---------------------------------------------------------------------

def fmt(value):
    """A reference with 21 significant digits."""
    return mp.nstr(mp.mpf(value), 21, min_fixed=1, max_fixed=0, strip_zeros=False)


def arg(x):
    """A double argument, printed so that it reads back exactly."""
    return repr(float(x))


HEADER = """\
// Generated by tests/numeric/data/make_normal_data.py (mpmath {version},
// 50 digits); do not edit, run the script instead.
"""


def write_ppnd():
    rows = {"central": [], "intermediate": [], "far": []}
    for p in ppnd_grid():
        rows[ppnd_region(p)].append(
            f"    {{{arg(p)}, {fmt(true_quantile(p))}, {fmt(as241_exact(p))}}},")
    text = [HEADER.format(version=mp.__version__),
            "// Rows {p, the exact quantile of p, AS 241 in exact arithmetic}, by the",
            "// region of AS 241 that serves p.", ""]
    for region, lines in rows.items():
        text.append(f"constexpr ppnd_row ppnd_{region}[] = {{")
        text.extend(lines)
        text.append("};")
        text.append("")
    (HERE / "ppnd_data.inc").write_text("\n".join(text))
    return {k: len(v) for k, v in rows.items()}


def write_normp():
    rows = {"rational": [], "fraction": []}
    for z in normp_grid():
        zz = mp.mpf(z)
        p_approx, q_approx, pdf_approx = hart_exact(z)
        rows[normp_region(z)].append(
            f"    {{{arg(z)}, {fmt(mp.ncdf(zz))}, {fmt(mp.ncdf(-zz))}, {fmt(mp.npdf(zz))},\n"
            f"     {fmt(p_approx)}, {fmt(q_approx)}, {fmt(pdf_approx)}}},")
    text = [HEADER.format(version=mp.__version__),
            "// Rows {z, lower area, upper area, density, and the same three of",
            "// Hart 5666 / the continued fraction in exact arithmetic from the",
            "// double z*z}, by the branch that serves z (|z| < 7.071 rational,",
            "// 7.071 <= |z| <= 37 fraction).", ""]
    for region, lines in rows.items():
        text.append(f"constexpr normp_row normp_{region}[] = {{")
        text.extend(lines)
        text.append("};")
        text.append("")
    (HERE / "normp_data.inc").write_text("\n".join(text))
    return {k: len(v) for k, v in rows.items()}


if __name__ == "__main__":
    print("ppnd rows:", write_ppnd())
    print("normp rows:", write_normp())
