#!/usr/bin/python3
"""Reference answers of sphere_lp_test.cc, found without the library.

maximise c.w (or the lowest slack min_k l_k.w - b_k) subject to w'Rw = 1,
l_k.w >= b_k and, where asked, w >= 0: scipy's SLSQP from 400 random
starts, the best kept; its active constraints and zero weights then fix the
optimality equations (stationarity of the Lagrangian, the sphere, the
active constraints as equations, the zero weights), solved by mpmath's
findroot at 30 digits from SLSQP's point. Run with Debian's python3-scipy
and python3-mpmath: /usr/bin/python3 tests/pareto/data/sphere_lp_reference.py
"""
import mpmath as mp
import numpy as np
from scipy.optimize import minimize

mp.mp.dps = 30


def slsqp(r, c, cons, nonneg, lowest, starts=400, seed=1):
    n = len(r)
    r = np.array(r, float)
    rng = np.random.default_rng(seed)
    best = None
    for _ in range(starts):
        w0 = rng.normal(size=n)
        if nonneg:
            w0 = abs(w0)
        w0 /= np.sqrt(w0 @ r @ w0)
        sphere = {'type': 'eq', 'fun': lambda x: x[:n] @ r @ x[:n] - 1}
        if lowest:
            x0 = np.append(w0, min(np.dot(l, w0) - b for l, b in cons))
            f = lambda x: -x[-1]
            cs = [sphere] + [{'type': 'ineq', 'fun': (lambda x, l=l, b=b: np.dot(l, x[:n]) - b - x[-1])}
                             for l, b in cons]
            bounds = [(0, None)] * n + [(None, None)] if nonneg else None
        else:
            x0 = w0
            f = lambda x: -np.dot(c, x)
            cs = [sphere] + [{'type': 'ineq', 'fun': (lambda x, l=l, b=b: np.dot(l, x) - b)} for l, b in cons]
            bounds = [(0, None)] * n if nonneg else None
        out = minimize(f, x0, method='SLSQP', constraints=cs, bounds=bounds,
                       options={'ftol': 1e-15, 'maxiter': 1000})
        if not out.success:
            continue
        w = out.x[:n]
        s = out.x[-1] if lowest else 0.0
        if abs(w @ r @ w - 1) > 1e-8 or (nonneg and min(w) < -1e-9):
            continue
        if any(np.dot(l, w) - b - s < -1e-8 for l, b in cons):
            continue
        if best is None or -out.fun > best[0] + 1e-12:
            best = (-out.fun, out.x)
    return best


def polish(r, c, cons, nonneg, lowest, x, tol=1e-7):
    n = len(r)
    w = x[:n]
    s = x[-1] if lowest else 0.0
    active = [k for k, (l, b) in enumerate(cons) if abs(np.dot(l, w) - b - s) < tol]
    zero = [j for j in range(n) if nonneg and abs(w[j]) < tol]
    # Starting multipliers by least squares on the stationarity equations.
    cols = [np.array(cons[k][0], float) for k in active] + [np.eye(n)[j] for j in zero]
    cols.append(2 * np.array(r, float) @ w)
    a = np.array(cols).T
    if lowest:
        a = np.vstack([a, [1.0] * len(active) + [0.0] * (len(zero) + 1)])
        mult = np.linalg.lstsq(a, np.append(np.zeros(n), 1.0), rcond=None)[0]
    else:
        mult = np.linalg.lstsq(a, -np.array(c, float), rcond=None)[0]
    rm = mp.matrix(r)

    def equations(*v):
        v = list(v)
        ww = v[:n]
        i = n
        sv = 0
        if lowest:
            sv = v[i]
            i += 1
        lam = v[i:i + len(active)]
        i += len(active)
        nu = v[i:i + len(zero)]
        i += len(zero)
        mu = v[i]
        eq = []
        for row in range(n):
            e = mp.mpf(0) if lowest else mp.mpf(c[row])
            e += sum(lam[q] * mp.mpf(cons[k][0][row]) for q, k in enumerate(active))
            e += sum(nu[q] for q, j in enumerate(zero) if j == row)
            e += 2 * mu * sum(rm[row, col] * ww[col] for col in range(n))
            eq.append(e)
        eq.append(sum(ww[i] * rm[i, j] * ww[j] for i in range(n) for j in range(n)) - 1)
        for k in active:
            eq.append(sum(mp.mpf(cons[k][0][j]) * ww[j] for j in range(n)) - mp.mpf(cons[k][1]) - sv)
        eq.extend(ww[j] for j in zero)
        if lowest:
            eq.append(sum(lam) - 1)
        return eq

    start = list(w) + ([s] if lowest else []) + list(mult)
    sol = mp.findroot(equations, [mp.mpf(float(t)) for t in start], tol=mp.mpf(10) ** -25, maxsteps=100)
    ww = [sol[i] for i in range(n)]
    value = sol[n] if lowest else sum(mp.mpf(c[j]) * ww[j] for j in range(n))
    return value, ww, active, zero


def show(name, r, c, cons, nonneg, lowest=False):
    best = slsqp(r, c, cons, nonneg, lowest)
    value, w, active, zero = polish(r, c, cons, nonneg, lowest, best[1])
    print(f'{name}: {mp.nstr(value, 20)} at {{{", ".join(mp.nstr(x, 17) for x in w)}}}'
          f' (SLSQP {best[0]!r}; active {active}, zero weights {zero})')


R3 = [[1, .3, .2], [.3, 1, .4], [.2, .4, 1]]
A3 = [.40, .30, .25]
THREE = [([-.5, .2, .8], .3), ([.6, -.9, .1], .05), ([-.3, .7, -.2], -.25)]
TWO = [([-.5, .2, .8], .3), ([.6, -.9, .1], -.2)]
R4 = [[1, .5, .3, .1], [.5, 1, .4, .2], [.3, .4, 1, .6], [.1, .2, .6, 1]]
A4 = [.35, .20, .30, -.10]
FOUR = [([-.4, .3, .6, -.2], .35), ([.5, -.8, .2, .3], .1), ([.1, .2, -.7, .5], -.3)]
B4 = [.35, .20, .30, -.30]
FOUR_TWO = [([-.4, .3, .6, -.2], .3), ([.5, -.8, .2, .3], 0)]

if __name__ == '__main__':
    for nonneg in (False, True):
        signs = 'non-negative' if nonneg else 'any sign'
        show(f'three predictors, three constraints, {signs}', R3, A3, THREE, nonneg)
        show(f'four predictors, three constraints, {signs}', R4, A4, FOUR, nonneg)
        show(f'four predictors, two constraints, {signs}', R4, B4, FOUR_TWO, nonneg)
        show(f'lowest slack, three predictors, two constraints, {signs}', R3, None, TWO, nonneg, True)
        show(f'lowest slack, four predictors, three constraints, {signs}', R4, None, FOUR, nonneg, True)
