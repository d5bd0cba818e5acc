// A bracketing zero finder (Dekker's secant and bisection scheme as arranged
// by Shampine and Watts) and its table of machine constants.
//
// The objective is any callable of one double that returns a double: a
// function, a lambda, or a small object that keeps what it needs (and what
// it leaves behind for its caller) in its own members. dfzero owns no state
// between calls.
#ifndef FOURFIFTHS_NUMERIC_DFZERO_H_
#define FOURFIFTHS_NUMERIC_DFZERO_H_

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>

namespace numeric {

namespace detail {

// Machine constants of IEEE double precision, in the order of the PORT
// library's D1MACH (Fox, Hall, Schryer, ACM TOMS 4 (1978) 104-126).
using limits = std::numeric_limits<double>;
inline constexpr std::array<double, 5> dmach = {
    limits::min(),          // 1: 2^-1022, the smallest positive normal magnitude
    limits::max(),          // 2: the largest finite magnitude
    limits::epsilon() / 2,  // 3: 2^-53, the smallest relative spacing
    limits::epsilon(),      // 4: 2^-52, the largest relative spacing (epsilon)
    0x1.34413509f79ffp-2,   // 5: log10(2), 0.3010299956639812
};
static_assert(limits::is_iec559 && limits::radix == 2 && limits::digits == 53);
static_assert(dmach[0] == 2.2250738585072014e-308 && dmach[1] == 1.7976931348623157e+308);
static_assert(dmach[2] == 1.1102230246251565e-16 && dmach[3] == 2.220446049250313e-16);
static_assert(dmach[4] == 0.3010299956639812);

// The largest number of evaluations of f in one search, start-up included.
inline constexpr int maxfev = 500;

// The sign of x for the bracket tests: +1 for x >= 0 (either zero), -1
// otherwise, NaN included.
constexpr int sgn(double x) { return x >= 0 ? 1 : -1; }

}  // namespace detail

/// d1mach: machine constant i (1..5, one-based) of IEEE double precision:
/// the smallest normal magnitude, the largest finite magnitude, 2^-53,
/// 2^-52 and log10(2). Evaluated while the program compiles: an index
/// outside 1..5 does not compile.
consteval double d1mach(int i) {
  if (i < 1 || i > static_cast<int>(detail::dmach.size())) {
    throw "d1mach: i out of bounds";  // not a constant expression: a compile error
  }
  return detail::dmach[static_cast<std::size_t>(i - 1)];
}

/// dfzero: a zero of f in [b, c] by Dekker's combination of the secant rule
/// and bisection, as arranged by Shampine and Watts (ZEROIN / SLATEC DFZERO).
///
///   f      in      the objective, called with a copy of the abscissa; taken
///                  by reference, so that what it keeps of its last
///                  evaluation is there for the caller after the search
///   b      in/out  one end of the interval / the approximation to the zero,
///                  the end with the smaller |f|
///   c      in/out  the other end (either order) / the other end of the final
///                  interval
///   r      in      first guess, used only when strictly between b and c;
///                  otherwise the search starts from c
///   re     in      relative tolerance, raised to 2*d1mach(4) = 2^-51
///   ae     in      absolute tolerance, a negative value counts as 0
///   iflag  out     1  |c - b| <= 2*(rtol*|b| + atol) with a sign change and
///                     |f(b)| no larger than at the start: b is a zero
///                  2  f(b) = 0 exactly before the interval collapsed
///                  3  collapsed on a sign change where |f| grew: a pole
///                  4  collapsed without a sign change: a near-zero of |f|
///                  5  500 evaluations used; b and c are the current ends
///
/// A value of f that is exactly 0 counts as positive, a NaN as negative;
/// max and min are those of std::max and std::min, so a NaN r fails both end
/// tests and becomes the starting point. The tests run in the order
/// collapse, exact zero, evaluation limit. The last point at which f was
/// evaluated is always b or c on return.
/// References: L. F. Shampine and H. A. Watts, "ZEROIN, a root-solving code",
/// SC-TM-70-631, Sandia Laboratories (1970); T. J. Dekker, "Finding a zero
/// by means of successive linear interpolation", in Constructive Aspects of
/// the Fundamental Theorem of Algebra (Wiley, 1969).
template <typename F>
void dfzero(F& f, double& b, double& c, double r, double re, double ae, int& iflag) {
  using detail::sgn;
  // Start-up: the starting point z, the tolerances and the first values.
  double z = r;
  if (r <= std::min(b, c) || r >= std::max(b, c)) z = c;
  const double rtol = std::max(re, 2 * d1mach(4));
  const double atol = std::max(ae, 0.0);
  int nsince = 0;

  double fz = f(z);
  double fc = fz;
  double fb = f(b);
  int nfev = 2;

  // Look for a bracket: [b, z], or [z, c], or none (the search goes on).
  if (sgn(fz) != sgn(fb)) {
    c = z;
  } else if (z != c) {
    fc = f(c);
    nfev = 3;
    if (sgn(fz) != sgn(fc)) {
      b = z;
      fb = fz;
    }
  }

  double a = c;
  double fa = fc;
  double width = std::fabs(b - c);
  const double fmax = std::max(std::fabs(fb), std::fabs(fc));

  for (;;) {
    // Interchange, so that b is the end with the smaller |f|.
    if (std::fabs(fc) < std::fabs(fb)) {
      a = b;
      fa = fb;
      b = c;
      fb = fc;
      c = a;
      fc = fa;
    }

    const double cmb = 0.5 * (c - b);
    const double tol = rtol * std::fabs(b) + atol;

    // Convergence tests, in this order.
    if (std::fabs(cmb) <= tol) {
      if (sgn(fb) == sgn(fc)) {
        iflag = 4;
      } else if (std::fabs(fb) > fmax) {
        iflag = 3;
      } else {
        iflag = 1;
      }
      return;
    }
    if (fb == 0) {
      iflag = 2;
      return;
    }
    if (nfev >= detail::maxfev) {
      iflag = 5;
      return;
    }

    // Secant quantities, normalised to p >= 0.
    double p = (b - a) * fb;
    double q = fa - fb;
    if (p < 0) {
      p = -p;
      q = -q;
    }
    a = b;
    fa = fb;

    // Progress check: after four steps the interval must have shrunk by a
    // factor of eight, or the step is a bisection.
    bool bisected = false;
    nsince = nsince + 1;
    if (nsince >= 4) {
      if (8 * std::fabs(cmb) >= width) {
        b = b + cmb;
        bisected = true;
      } else {
        nsince = 0;
        width = std::fabs(cmb);
      }
    }

    if (!bisected) {
      if (p <= std::fabs(q) * tol) {
        // Too small a step: move by the tolerance toward c.
        b = cmb >= 0 ? b + tol : b - tol;
      } else if (p >= cmb * q) {
        // The secant point is not inside (b, b + cmb): bisection.
        b = b + cmb;
      } else {
        // Secant.
        b = b + p / q;
      }
    }

    fb = f(b);
    nfev = nfev + 1;

    // Keep the sign change between b and c.
    if (sgn(fb) == sgn(fc)) {
      c = a;
      fc = fa;
    }
  }
}

}  // namespace numeric

#endif  // FOURFIFTHS_NUMERIC_DFZERO_H_
