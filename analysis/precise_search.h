// The searches of the precise method: a root of a decreasing function to
// full double precision, and the smallest selection ratio (to the last
// bit) at which a verdict holds. One group's analysis and the analysis of
// several groups share them.
#ifndef FOURFIFTHS_ANALYSIS_PRECISE_SEARCH_H_
#define FOURFIFTHS_ANALYSIS_PRECISE_SEARCH_H_

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>

#include "fourfifths/analysis.h"

namespace analysis {

/// A root of a decreasing function g in (lo, hi), g(lo) > 0 > g(hi), to
/// full double precision: Newton's method with the derivative dg, each
/// step kept inside the bracket that the signs of g maintain, and a
/// bisection wherever Newton's step would leave it. It ends when a step no
/// longer moves x (g is then at the level of its own rounding) or the
/// bracket holds no double between its ends. Newton's steps on a tail area
/// far from its root are about 1/x long (Q/phi), too short to cross a wide
/// bracket: after 50 steps only bisection is used, which from a bracket of
/// width 160 reaches the last bit of x in about 64. At most 200 steps.
template <typename G, typename DG>
double decreasing_root(G g, DG dg, double lo, double hi, double x) {
  constexpr int newton_steps = 50;
  for (int step = 0; step < 200; ++step) {
    const double gx = g(x);
    if (gx == 0) return x;
    if (gx > 0) {
      lo = x;
    } else {
      hi = x;
    }
    if (std::nextafter(lo, hi) >= hi) return std::fabs(g(lo)) < std::fabs(g(hi)) ? lo : hi;
    double next = x - gx / dg(x);
    if (step >= newton_steps || !(next > lo && next < hi)) next = lo + (hi - lo) / 2;
    if (next == x) return x;
    x = next;
  }
  return x;
}

/// The smallest ratio (to the last bit) in [smallest_precise_ratio, 1) at
/// which `passes` holds, for a verdict that, once it holds, holds at every
/// larger ratio; searched from `start`, a ratio near it: outward in steps
/// that double until the verdict changes, then by halves between the last
/// ratio that fails and the first that passes. Positive doubles are
/// ordered as their bit patterns, which the search counts in. Empty when
/// no ratio below 1 passes or `start` lies outside the range.
template <typename Passes>
std::optional<double> smallest_passing_ratio(double start, Passes passes_at) {
  using bits = std::uint64_t;
  const bits lowest = std::bit_cast<bits>(fourfifths::smallest_precise_ratio);
  const bits highest = std::bit_cast<bits>(std::nextafter(1.0, 0.0));
  auto passes = [&](bits k) { return passes_at(std::bit_cast<double>(k)); };
  if (!(start >= fourfifths::smallest_precise_ratio && start < 1)) return std::nullopt;
  bits fail = 0;
  bits pass = 0;
  bits step = 1;
  const bits k = std::bit_cast<bits>(start);
  if (passes(k)) {
    pass = k;
    fail = lowest - 1;  // below the range: taken as failing, never tried
    while (pass > lowest) {
      const bits next = pass - std::min(step, pass - lowest);
      if (!passes(next)) {
        fail = next;
        break;
      }
      pass = next;
      step *= 2;
    }
  } else {
    fail = k;
    while (true) {
      if (fail == highest) return std::nullopt;
      const bits next = fail + std::min(step, highest - fail);
      if (passes(next)) {
        pass = next;
        break;
      }
      fail = next;
      step *= 2;
    }
  }
  while (pass - fail > 1) {
    const bits mid = fail + (pass - fail) / 2;
    if (passes(mid)) {
      pass = mid;
    } else {
      fail = mid;
    }
  }
  return std::bit_cast<double>(pass);
}

}  // namespace analysis

#endif  // FOURFIFTHS_ANALYSIS_PRECISE_SEARCH_H_
