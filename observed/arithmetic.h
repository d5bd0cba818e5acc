// The arithmetic of counts: whole numbers twice as wide as a count, so that
// the products of two counts (each at most 2^53 - 1) and their differences
// are exact, and sums that keep the bits of their small terms.
#ifndef FOURFIFTHS_OBSERVED_ARITHMETIC_H_
#define FOURFIFTHS_OBSERVED_ARITHMETIC_H_

#include <cmath>

namespace observed {

// GCC and Clang have 128-bit integers on every target the engine builds
// for, WebAssembly included; __extension__ keeps -Wpedantic quiet.
__extension__ using int128 = __int128;

/// The nearest double (the conversion rounds to nearest).
inline double to_double(int128 v) noexcept { return static_cast<double>(v); }

/// Neumaier's compensated sum (A. Neumaier, "Rundungsfehleranalyse einiger
/// Verfahren zur Summation endlicher Summen", ZAMM 54 (1974) 39-51): the
/// error of the sum is about one rounding, whatever the number and sizes
/// of the terms, unless they cancel.
struct compensated_sum {
  double sum = 0;
  double carry = 0;
  void add(double x) noexcept {
    const double t = sum + x;
    carry += std::fabs(sum) >= std::fabs(x) ? (sum - t) + x : (x - t) + sum;
    sum = t;
  }
  double value() const noexcept { return sum + carry; }
};

/// Whether a p value computed within a relative `error` of its true value
/// is certainly below the level `alpha`, the double nearest the level meant
/// (0.05 stands for 1/20, which lies half a unit below it). A p value equal
/// to the level, or too close to it to tell, is not below it.
///
/// Why this is sound, with u = 2^-53 the unit roundoff and error >= 2u: the
/// true p is at most p (1 + 2 error); each of the two products below is
/// rounded once (a factor 1 + u at most); the level meant is at least
/// alpha (1 - u). So p (1 + 4 error) < alpha (1 - 2^-50) gives true p <=
/// p (1 + 2 error) (1 + u) < alpha (1 - 2^-50) (1 + u)^2 < alpha (1 - u),
/// which is at most the level meant. The 2^-1060 covers the absolute error
/// of p values below the normal doubles, where the relative one grows. An
/// error above 1/4 (terms that cancel) bounds nothing used here: no p
/// value with it is certainly below anything.
constexpr bool certainly_below(double p, double error, double alpha) noexcept {
  return error <= 0.25 && p * (1 + 4 * error) + 0x1p-1060 < alpha * (1 - 0x1p-50);
}

}  // namespace observed

#endif  // FOURFIFTHS_OBSERVED_ARITHMETIC_H_
