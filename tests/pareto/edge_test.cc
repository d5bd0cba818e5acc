// The upper edge of the reachable (effect, validity) and its search
// (frontier::best_on_edge): the highest validity at each effect, below the
// quality end's effect as well as above it, and the best point of a
// quality that rises with validity but not with the effect. Checked
// against a dense scan of two predictors' weightings refined by
// bisection, against random weightings of 3 to 8 predictors (the best of
// each stretch of effect asked of the edge at exactly its effect), and, for
// a quality with several maxima along the edge, against random weightings
// climbed from the best of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <numbers>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "pareto/frontier.h"
#include "pareto_test_support.h"

namespace {

using pareto::interval;
using pareto_test::effects;
using pareto_test::problem;

constexpr auto any = pareto::sign_constraint::any;
constexpr auto nonnegative = pareto::sign_constraint::nonnegative;
constexpr double infinity = std::numeric_limits<double>::infinity();

class validity_quality final : public pareto::edge_objective {
 public:
  double value(double v, double /*e*/) const override { return v; }
  std::array<double, 2> slopes(double /*v*/, double /*e*/) const override { return {1, 0}; }
  std::array<interval, 2> slopes(interval /*v*/, interval /*e*/) const override {
    return {interval{1, 1}, interval{0, 0}};
  }
};

// The range of sin over [lo, hi]: its ends and the peaks and troughs
// between.
interval sin_range(double lo, double hi) {
  constexpr double pi = std::numbers::pi;
  if (hi - lo >= 2 * pi) return {-1, 1};
  interval out{std::min(std::sin(lo), std::sin(hi)), std::max(std::sin(lo), std::sin(hi))};
  const double peak = pi / 2 + 2 * pi * std::ceil((lo - pi / 2) / (2 * pi));
  if (peak <= hi) out.hi = 1;
  const double trough = -pi / 2 + 2 * pi * std::ceil((lo + pi / 2) / (2 * pi));
  if (trough <= hi) out.lo = -1;
  return out;
}

interval times(interval x, interval y) {
  const std::array<double, 4> p = {x.lo * y.lo, x.lo * y.hi, x.hi * y.lo, x.hi * y.hi};
  return {*std::min_element(p.begin(), p.end()), *std::max_element(p.begin(), p.end())};
}

// q(v, e) = v (1.2 + sin 4e) + 0.3 cos 5e: rises with v everywhere, and
// along the edge has several maxima.
class wavy_quality final : public pareto::edge_objective {
 public:
  double value(double v, double e) const override {
    return v * (1.2 + std::sin(4 * e)) + 0.3 * std::cos(5 * e);
  }
  std::array<double, 2> slopes(double v, double e) const override {
    return {1.2 + std::sin(4 * e), 4 * v * std::cos(4 * e) - 1.5 * std::sin(5 * e)};
  }
  std::array<interval, 2> slopes(interval v, interval e) const override {
    const interval s4 = sin_range(4 * e.lo, 4 * e.hi);
    const interval c4 = sin_range(4 * e.lo + std::numbers::pi / 2, 4 * e.hi + std::numbers::pi / 2);
    const interval s5 = sin_range(5 * e.lo, 5 * e.hi);
    const interval vc = times(v, c4);
    return {interval{1.2 + s4.lo, 1.2 + s4.hi},
            interval{4 * vc.lo - 1.5 * s5.hi, 4 * vc.hi - 1.5 * s5.lo}};
  }
};

// Two predictors: the highest validity at exactly effect e over the
// directions w = (cos phi, sin phi), phi in [0, pi/2] (or all of them for
// any sign), from a dense scan whose crossings of e are refined by
// bisection.
std::optional<double> scanned_edge(const problem& p, bool any_sign, double e) {
  const double top = any_sign ? 2 * std::numbers::pi : std::numbers::pi / 2;
  constexpr int steps = 20000;
  const auto at = [&](double phi) {
    const std::vector<double> w = {std::cos(phi), std::sin(phi)};
    return pareto_test::evaluate(p, w);
  };
  std::optional<double> best;
  double phi0 = 0;
  double miss0 = at(0).second - e;
  for (int k = 1; k <= steps; ++k) {
    const double phi1 = top * k / steps;
    const double miss1 = at(phi1).second - e;
    if (miss0 == 0) best = std::max(best.value_or(-infinity), at(phi0).first);
    if ((miss0 < 0) != (miss1 < 0) && miss1 != 0) {
      double lo = phi0;
      double hi = phi1;
      for (int b = 0; b < 80; ++b) {
        const double mid = lo + (hi - lo) / 2;
        if ((at(mid).second - e < 0) == (miss0 < 0)) {
          lo = mid;
        } else {
          hi = mid;
        }
      }
      best = std::max(best.value_or(-infinity), at(lo + (hi - lo) / 2).first);
    }
    phi0 = phi1;
    miss0 = miss1;
  }
  if (!any_sign && miss0 == 0) best = std::max(best.value_or(-infinity), at(phi0).first);
  return best;
}

TEST(pareto_edge, TwoPredictorsAgainstAScan) {
  const std::vector<problem> problems = {
      {2, {1, 0.3, 0.3, 1}, {0.4, 0.2}, {-0.9, -0.1}},   // concave front
      {2, {1, -0.4, -0.4, 1}, {0.3, 0.35}, {-0.2, -1}},  // negative correlation
      {2, {1, 0.6, 0.6, 1}, {0.5, 0.1}, {-1, 0.4}},      // effects of either sign
      {2, {1, 0.2, 0.2, 1}, {0.3, -0.1}, {-0.6, 0.2}},   // validity negative at one end
  };
  for (std::size_t k = 0; k < problems.size(); ++k) {
    for (const auto signs : {nonnegative, any}) {
      const problem& p = problems[k];
      const pareto::frontier f = pareto_test::make_front(p, signs);
      const double lo = f.low_end().effect;
      const double hi = f.impact_end().effect;
      EXPECT_LE(lo, f.quality_end().effect);
      // Inside: at the ends the effect is extreme, where the edge turns
      // vertical and a rounding of the effect moves the validity by its
      // square root.
      for (int i = 1; i < 60; ++i) {
        const double e = lo + (hi - lo) * i / 60;
        SCOPED_TRACE("problem " + std::to_string(k) + (signs == any ? " any" : "") + " e " +
                     std::to_string(e));
        const std::optional<double> want = scanned_edge(p, signs == any, e);
        const std::optional<pareto::edge_best> got = f.best_on_edge(validity_quality{}, e, e);
        ASSERT_EQ(got.has_value(), want.has_value());
        if (!want) continue;
        EXPECT_NEAR(got->at.validity, *want, 1e-12);
        EXPECT_NEAR(got->at.effect, e, 1e-12);
        pareto_test::expect_consistent(p, got->at, signs == nonnegative);
      }
    }
  }
}

// A random weighting: non-negative on a random support, or normal.
std::vector<double> draw(const problem& p, bool any_sign, pareto_test::random_source& rnd) {
  if (!any_sign) return pareto_test::random_weighting(p.n, rnd);
  std::vector<double> w(static_cast<std::size_t>(p.n));
  for (double& x : w) x = rnd.normal();
  return w;
}

// The non-negative weighting that maximises c.w / sqrt(w'Rw) when some
// c_j > 0: the minimiser of 1/2 w'Rw - c.w over w >= 0, which is the free
// minimiser R_SS^-1 c_S of one support S, the feasible one with the lowest
// objective; found by trying every support.
std::vector<double> support_point(const problem& p, const std::vector<double>& c) {
  const int n = p.n;
  std::vector<double> best;
  double best_value = infinity;
  for (unsigned mask = 1; mask < (1U << static_cast<unsigned>(n)); ++mask) {
    std::vector<int> on;
    for (int j = 0; j < n; ++j) {
      if ((mask >> static_cast<unsigned>(j) & 1U) != 0) on.push_back(j);
    }
    const auto m = static_cast<int>(on.size());
    std::vector<double> sub(static_cast<std::size_t>(m * m));
    std::vector<double> rhs(static_cast<std::size_t>(m));
    for (int i = 0; i < m; ++i) {
      rhs[static_cast<std::size_t>(i)] =
          c[static_cast<std::size_t>(on[static_cast<std::size_t>(i)])];
      for (int j = 0; j < m; ++j) {
        const auto row = static_cast<std::size_t>(on[static_cast<std::size_t>(i)]);
        const auto column = static_cast<std::size_t>(on[static_cast<std::size_t>(j)]);
        sub[static_cast<std::size_t>(i) * static_cast<std::size_t>(m) +
            static_cast<std::size_t>(j)] = p.r[row * static_cast<std::size_t>(n) + column];
      }
    }
    const std::vector<double> y = pareto_test::solve(sub, m, rhs);
    if (std::any_of(y.begin(), y.end(), [](double x) { return x < 0; })) continue;
    std::vector<double> w(static_cast<std::size_t>(n), 0.0);
    for (int i = 0; i < m; ++i)
      w[static_cast<std::size_t>(on[static_cast<std::size_t>(i)])] = y[static_cast<std::size_t>(i)];
    const double value = 0.5 * pareto_test::quadratic(p, w) - pareto_test::dot(c, w);
    if (value < best_value) {
      best_value = value;
      best = w;
    }
  }
  return best;
}

TEST(pareto_edge, EveryPointOfTheConvexHullIsOnTheEdge) {
  // For every direction c = (cos t, sin t) of (validity, effect) with
  // cos t > 0, the weighting farthest in that direction, found by trying
  // every support, is on the upper edge: the edge's validity at its
  // effect is its own. Directions of either sign in the effect, so the
  // edge below the quality end's effect is checked as well as above.
  for (std::uint64_t seed = 1; seed <= 30; ++seed) {
    const int n = 3 + static_cast<int>(seed % 6);
    const problem p = pareto_test::random_problem(
        n, 400 + seed, seed % 2 == 0 ? effects::negative : effects::mixed,
        seed % 3 == 0 ? pareto_test::communality::high : pareto_test::communality::moderate);
    const pareto::frontier f = pareto_test::make_front(p);
    int checked = 0;
    for (int k = 1; k < 60; ++k) {
      const double angle = std::numbers::pi * (k / 60.0 - 0.5);
      std::vector<double> c(static_cast<std::size_t>(n));
      for (std::size_t j = 0; j < c.size(); ++j)
        c[j] = std::cos(angle) * p.a[j] + std::sin(angle) * p.d[j];
      if (*std::max_element(c.begin(), c.end()) <= 0) continue;
      const std::vector<double> w = support_point(p, c);
      const auto [v, e] = pareto_test::evaluate(p, w);
      const std::optional<pareto::edge_best> edge = f.best_on_edge(validity_quality{}, e, e);
      ASSERT_TRUE(edge.has_value()) << "seed " << seed << " direction " << k;
      EXPECT_NEAR(edge->at.validity, v, 1e-11) << "seed " << seed << " direction " << k;
      ++checked;
    }
    EXPECT_GT(checked, 20) << "seed " << seed;
  }
}

TEST(pareto_edge, NoWeightingAboveTheEdge) {
  // The highest-validity draw of each of 200 stretches of effect, against
  // the edge at exactly its effect; the low end against every draw.
  for (std::uint64_t seed = 1; seed <= 60; ++seed) {
    const int n = 3 + static_cast<int>(seed % 6);
    const bool any_sign = seed % 3 == 0;
    const problem p = pareto_test::random_problem(
        n, 300 + seed, seed % 2 == 0 ? effects::negative : effects::mixed,
        seed % 4 == 1 ? pareto_test::communality::high : pareto_test::communality::moderate);
    const pareto::frontier f = pareto_test::make_front(p, any_sign ? any : nonnegative);
    const double lo = f.low_end().effect;
    const double hi = f.impact_end().effect;
    constexpr int bins = 200;
    std::vector<std::vector<double>> best(bins);
    std::vector<double> best_v(bins, -infinity);
    pareto_test::random_source rnd(seed);
    for (int k = 0; k < 20000; ++k) {
      const std::vector<double> w = draw(p, any_sign, rnd);
      const auto [v, e] = pareto_test::evaluate(p, w);
      EXPECT_GE(e, lo - 1e-12) << "seed " << seed;
      const int bin = std::clamp(static_cast<int>((e - lo) / (hi - lo) * bins), 0, bins - 1);
      if (v > best_v[static_cast<std::size_t>(bin)]) {
        best_v[static_cast<std::size_t>(bin)] = v;
        best[static_cast<std::size_t>(bin)] = w;
      }
    }
    for (int b = 0; b < bins; ++b) {
      if (best[static_cast<std::size_t>(b)].empty()) continue;
      const auto [v, e] = pareto_test::evaluate(p, best[static_cast<std::size_t>(b)]);
      const std::optional<pareto::edge_best> edge = f.best_on_edge(validity_quality{}, e, e);
      ASSERT_TRUE(edge.has_value()) << "seed " << seed << " e " << e;
      EXPECT_GE(edge->at.validity, v - 1e-9) << "seed " << seed << " e " << e;
      EXPECT_NEAR(edge->at.effect, e, 1e-9) << "seed " << seed;
    }
  }
}

TEST(pareto_edge, AQualityWithSeveralMaxima) {
  // No random weighting with effect in the window, nor one climbed to from
  // the best of them, has a quality above the search's answer.
  const wavy_quality q;
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    const int n = 2 + static_cast<int>(seed % 6);
    const bool any_sign = seed % 2 == 0;
    const problem p = pareto_test::random_problem(
        n, 600 + seed, seed % 3 == 0 ? effects::negative : effects::mixed,
        seed % 5 == 0 ? pareto_test::communality::high : pareto_test::communality::moderate);
    const pareto::frontier f = pareto_test::make_front(p, any_sign ? any : nonnegative);
    const double lo = f.low_end().effect;
    const double hi = f.impact_end().effect;
    const std::vector<std::array<double, 2>> windows = {
        {-infinity, infinity},
        {lo + 0.3 * (hi - lo), infinity},
        {lo + 0.2 * (hi - lo), lo + 0.6 * (hi - lo)}};
    pareto_test::random_source rnd(seed);
    for (const auto& window : windows) {
      // Named copies: a lambda below captures them, which clang 14 does not
      // allow of structured bindings.
      const double from = window[0];
      const double to = window[1];
      SCOPED_TRACE("seed " + std::to_string(seed) + " window " + std::to_string(from) + " " +
                   std::to_string(to));
      const std::optional<pareto::edge_best> best = f.best_on_edge(q, from, to);
      ASSERT_TRUE(best.has_value());
      EXPECT_GE(best->at.effect, from - 1e-12);
      EXPECT_LE(best->at.effect, to + 1e-12);
      EXPECT_NEAR(best->quality, q.value(best->at.validity, best->at.effect), 1e-12);
      const auto quality_in = [&](const std::vector<double>& w) {
        const auto [v, e] = pareto_test::evaluate(p, w);
        return e >= from && e <= to ? q.value(v, e) : -infinity;
      };
      std::vector<double> top;
      double top_quality = -infinity;
      for (int k = 0; k < 20000; ++k) {
        const std::vector<double> w = draw(p, any_sign, rnd);
        const double x = quality_in(w);
        EXPECT_LE(x, best->quality + 1e-9);
        if (x > top_quality) {
          top_quality = x;
          top = w;
        }
      }
      // A random climb from the best draw, with a shrinking step.
      if (top.empty()) continue;
      double step = 0.1;
      for (int k = 0; k < 3000; ++k, step *= 0.998) {
        std::vector<double> w = top;
        for (double& x : w) {
          x += step * rnd.normal();
          if (!any_sign) x = std::abs(x);
        }
        const double x = quality_in(w);
        if (x > top_quality) {
          top_quality = x;
          top = w;
        }
      }
      EXPECT_LE(top_quality, best->quality + 1e-9);
    }
  }
}

// q(v, e) = v - 3 (e - peak)^2 where e >= start, undefined (minus
// infinity) below: the search must look into stretches whose bound it
// cannot know.
class partial_quality final : public pareto::edge_objective {
 public:
  partial_quality(double start, double peak) : start_(start), peak_(peak) {}
  double value(double v, double e) const override {
    return e >= start_ ? v - 3 * (e - peak_) * (e - peak_) : -infinity;
  }
  std::array<double, 2> slopes(double /*v*/, double e) const override {
    return {1, -6 * (e - peak_)};
  }
  std::array<interval, 2> slopes(interval /*v*/, interval e) const override {
    return {interval{1, 1}, interval{-6 * (e.hi - peak_), -6 * (e.lo - peak_)}};
  }

 private:
  double start_, peak_;
};

TEST(pareto_edge, AQualityUndefinedOnPartOfTheEdge) {
  for (std::uint64_t seed = 1; seed <= 20; ++seed) {
    const int n = 2 + static_cast<int>(seed % 5);
    const bool any_sign = seed % 2 == 0;
    const problem p = pareto_test::random_problem(n, 900 + seed, effects::mixed);
    const pareto::frontier f = pareto_test::make_front(p, any_sign ? any : nonnegative);
    const double lo = f.low_end().effect;
    const double hi = f.impact_end().effect;
    const partial_quality q(lo + 0.4 * (hi - lo), lo + 0.6 * (hi - lo));
    const std::optional<pareto::edge_best> best = f.best_on_edge(q, -infinity, infinity);
    ASSERT_TRUE(best.has_value());
    ASSERT_TRUE(std::isfinite(best->quality)) << "seed " << seed;
    pareto_test::random_source rnd(seed);
    for (int k = 0; k < 20000; ++k) {
      const auto [v, e] = pareto_test::evaluate(p, draw(p, any_sign, rnd));
      EXPECT_LE(q.value(v, e), best->quality + 1e-9) << "seed " << seed;
    }
  }
}

TEST(pareto_edge, EmptyWindowsAndEnds) {
  const problem p = pareto_test::random_problem(4, 77, effects::mixed);
  // Asked of a frontier built without it, the edge is a fault of the
  // caller; without sign constraints it is always there.
  EXPECT_THROW((void)pareto::frontier(p.n, p.r, p.a, p.d).best_on_edge(validity_quality{}, 0, 1),
               std::logic_error);
  EXPECT_TRUE(pareto::frontier(p.n, p.r, p.a, p.d, any).has_edge());
  for (const auto signs : {nonnegative, any}) {
    const pareto::frontier f = pareto_test::make_front(p, signs);
    const double lo = f.low_end().effect;
    const double hi = f.impact_end().effect;
    EXPECT_FALSE(f.best_on_edge(validity_quality{}, hi + 1e-6, infinity).has_value());
    EXPECT_FALSE(f.best_on_edge(validity_quality{}, -infinity, lo - 1e-6).has_value());
    // The whole edge's best validity is the quality end's.
    const std::optional<pareto::edge_best> top =
        f.best_on_edge(validity_quality{}, -infinity, infinity);
    ASSERT_TRUE(top.has_value());
    EXPECT_NEAR(top->at.validity, f.quality_end().validity, 1e-12);
    // At the ends of the edge: the low end and the impact end, or a
    // weighting as good within the rounding allowance of the effect.
    for (const pareto::weighting* end : {&f.low_end(), &f.impact_end()}) {
      const std::optional<pareto::edge_best> at =
          f.best_on_edge(validity_quality{}, end->effect, end->effect);
      ASSERT_TRUE(at.has_value());
      EXPECT_GE(at->at.validity, end->validity - 1e-12);
      EXPECT_NEAR(at->at.effect, end->effect, 1e-12);
    }
  }
}

}  // namespace
