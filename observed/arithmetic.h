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

}  // namespace observed

#endif  // FOURFIFTHS_OBSERVED_ARITHMETIC_H_
