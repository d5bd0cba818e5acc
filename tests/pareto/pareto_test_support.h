// Helpers of the front tests, independent of the library: seeded random
// problems, plain Gaussian elimination, validity and effect of a weighting,
// random weightings, and the dominance checks.
#ifndef FOURFIFTHS_TESTS_PARETO_PARETO_TEST_SUPPORT_H_
#define FOURFIFTHS_TESTS_PARETO_PARETO_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <random>
#include <span>
#include <utility>
#include <vector>

#include "pareto/frontier.h"

namespace pareto_test {

// Fewer brute-force weightings in the sanitizer build, where each costs
// some twenty times as much; the release build runs the full count.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr int brute_force_count = 100'000;
#else
inline constexpr int brute_force_count = 1'000'000;
#endif

struct problem {
  int n = 0;
  std::vector<double> r, a, d;
};

inline std::size_t at(int i) { return static_cast<std::size_t>(i); }

// Uniform and normal variates from the raw 64-bit engine, so that the same
// seed gives the same numbers with every standard library.
class random_source {
 public:
  explicit random_source(std::uint64_t seed) : engine_(seed) {}
  double uniform() { return static_cast<double>(engine_() >> 11) * 0x1p-53; }
  double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
  double normal() {
    const double u = 1 - uniform();  // (0, 1]
    return std::sqrt(-2 * std::log(u)) * std::cos(2 * std::numbers::pi * uniform());
  }
  int below(int k) { return static_cast<int>(engine_() % static_cast<std::uint64_t>(k)); }

 private:
  std::mt19937_64 engine_;
};

enum class effects { negative, mixed };

// How much of each predictor's variance the common factors explain.
enum class communality {
  moderate,  ///< 0.3 to 0.9 at most
  high,      ///< 0.95 to 0.999 exactly: strongly correlated predictors
};

// A correlation matrix from two or three common factors with loadings of
// either sign, validities in (0.05, 0.5) and effect sizes all negative or
// of mixed sign.
inline problem random_problem(int n, std::uint64_t seed, effects style,
                              communality shared = communality::moderate) {
  random_source rnd(seed);
  problem p;
  p.n = n;
  const int factors = 2 + rnd.below(2);
  std::vector<double> loading(at(n) * at(factors));
  for (int i = 0; i < n; ++i) {
    double sum = 0;
    for (int k = 0; k < factors; ++k) {
      double& l = loading[at(i) * at(factors) + at(k)];
      l = rnd.uniform(-0.8, 0.8);
      sum += l * l;
    }
    const double cap =
        shared == communality::high ? rnd.uniform(0.95, 0.999) : rnd.uniform(0.3, 0.9);
    if (sum > cap || shared == communality::high) {
      for (int k = 0; k < factors; ++k)
        loading[at(i) * at(factors) + at(k)] *= std::sqrt(cap / sum);
    }
  }
  p.r.assign(at(n) * at(n), 0.0);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      double s = 0;
      for (int k = 0; k < factors; ++k)
        s += loading[at(i) * at(factors) + at(k)] * loading[at(j) * at(factors) + at(k)];
      p.r[at(i) * at(n) + at(j)] = i == j ? 1.0 : s;
    }
  }
  for (int j = 0; j < n; ++j) {
    p.a.push_back(rnd.uniform(0.05, 0.5));
    p.d.push_back(style == effects::negative ? rnd.uniform(-1.1, -0.02) : rnd.uniform(-1.0, 0.5));
  }
  return p;
}

// The frontier of a problem, with its upper edge.
inline pareto::frontier make_front(
    const problem& p, pareto::sign_constraint s = pareto::sign_constraint::nonnegative) {
  return {p.n, p.r, p.a, p.d, s, pareto::upper_edge::build};
}

// Solves M x = b by Gaussian elimination with partial pivoting.
inline std::vector<double> solve(std::vector<double> m, int n, std::vector<double> b) {
  for (int k = 0; k < n; ++k) {
    int pivot = k;
    for (int i = k + 1; i < n; ++i) {
      if (std::abs(m[at(i) * at(n) + at(k)]) > std::abs(m[at(pivot) * at(n) + at(k)])) pivot = i;
    }
    for (int j = 0; j < n; ++j) std::swap(m[at(k) * at(n) + at(j)], m[at(pivot) * at(n) + at(j)]);
    std::swap(b[at(k)], b[at(pivot)]);
    for (int i = k + 1; i < n; ++i) {
      const double f = m[at(i) * at(n) + at(k)] / m[at(k) * at(n) + at(k)];
      for (int j = k; j < n; ++j) m[at(i) * at(n) + at(j)] -= f * m[at(k) * at(n) + at(j)];
      b[at(i)] -= f * b[at(k)];
    }
  }
  std::vector<double> x(at(n));
  for (int i = n - 1; i >= 0; --i) {
    double s = b[at(i)];
    for (int j = i + 1; j < n; ++j) s -= m[at(i) * at(n) + at(j)] * x[at(j)];
    x[at(i)] = s / m[at(i) * at(n) + at(i)];
  }
  return x;
}

inline double dot(std::span<const double> x, std::span<const double> y) {
  double s = 0;
  for (std::size_t i = 0; i < x.size(); ++i) s += x[i] * y[i];
  return s;
}

inline double quadratic(const problem& p, std::span<const double> w) {
  double s = 0;
  for (int i = 0; i < p.n; ++i) {
    for (int j = 0; j < p.n; ++j) s += w[at(i)] * p.r[at(i) * at(p.n) + at(j)] * w[at(j)];
  }
  return s;
}

// (validity, effect) of a weighting.
inline std::pair<double, double> evaluate(const problem& p, std::span<const double> w) {
  const double norm = std::sqrt(quadratic(p, w));
  return {dot(p.a, w) / norm, dot(p.d, w) / norm};
}

// A random non-negative weighting on a random support of 1 to n
// predictors; heavy-tailed weights put many of them near the faces, where
// the front often lies.
inline std::vector<double> random_weighting(int n, random_source& rnd) {
  std::vector<double> w(at(n), 0.0);
  const int support = 1 + rnd.below(n);
  std::vector<int> order(at(n));
  for (int i = 0; i < n; ++i) order[at(i)] = i;
  for (int i = 0; i < support; ++i) std::swap(order[at(i)], order[at(i + rnd.below(n - i))]);
  const double power = rnd.uniform() < 0.5 ? 1.0 : 3.0;
  for (int i = 0; i < support; ++i)
    w[at(order[at(i)])] = std::pow(-std::log(1 - rnd.uniform()), power);
  return w;
}

// The front at `count` effects evenly spaced from end to end (both ends
// included), in order, with the effects asked for.
struct front_sample {
  std::vector<double> asked;
  std::vector<pareto::weighting> points;
};

inline front_sample sample_front(const pareto::frontier& f, int count) {
  front_sample out;
  const double e0 = f.quality_end().effect;
  const double e1 = f.impact_end().effect;
  for (int k = 0; k < count; ++k) {
    const double e = k + 1 == count ? e1 : e0 + (e1 - e0) * k / (count - 1);
    out.asked.push_back(e);
    out.points.push_back(f.at_effect(e));
  }
  return out;
}

// Every reported weighting is feasible and its validity and effect are
// those of its weights.
inline void expect_consistent(const problem& p, const pareto::weighting& w, bool nonnegative) {
  ASSERT_EQ(w.weights.size(), at(p.n));
  double sum = 0;
  for (const double x : w.weights) {
    if (nonnegative) {
      EXPECT_GE(x, 0.0);
    }
    sum += x;
  }
  if (nonnegative) {
    EXPECT_NEAR(sum, 1.0, 1e-12);
  }
  const auto [v, e] = evaluate(p, w.weights);
  EXPECT_NEAR(w.validity, v, 1e-12);
  EXPECT_NEAR(w.effect, e, 1e-12);
}

// No two front points dominate each other by more than `tol`.
inline void expect_mutually_undominated(const std::vector<pareto::weighting>& front, double tol) {
  for (std::size_t i = 0; i < front.size(); ++i) {
    for (std::size_t j = 0; j < front.size(); ++j) {
      const bool dominates =
          front[i].validity >= front[j].validity - 1e-15 &&
          front[i].effect >= front[j].effect - 1e-15 &&
          (front[i].validity > front[j].validity + tol || front[i].effect > front[j].effect + tol);
      ASSERT_FALSE(dominates) << "point " << i << " dominates point " << j;
    }
  }
}

// Counts the weightings from `draw` that show the front short of the best:
//  * beating a front point by more than `tol` in both validity and effect
//    (the front is sorted by effect with validity falling, so the point to
//    test is the last one whose effect lies more than tol below);
//  * or having effect >= an effect asked for and a validity more than tol
//    above the answer (the answer must be the best such weighting; the
//    tightest test is at the largest effect asked for below the weighting's).
template <typename Draw>
int count_beating(const problem& p, const front_sample& front, int count, double tol, Draw draw) {
  std::vector<double> effects;
  for (const auto& w : front.points) effects.push_back(w.effect);
  int beating = 0;
  for (int k = 0; k < count; ++k) {
    const std::vector<double> w = draw();
    const auto [v, e] = evaluate(p, w);
    const auto it = std::lower_bound(effects.begin(), effects.end(), e - tol);
    if (it != effects.begin()) {
      const auto& f = front.points[static_cast<std::size_t>(it - effects.begin()) - 1];
      if (v > f.validity + tol) ++beating;
    }
    const auto asked = std::upper_bound(front.asked.begin(), front.asked.end(), e);
    if (asked != front.asked.begin()) {
      const auto& f = front.points[static_cast<std::size_t>(asked - front.asked.begin()) - 1];
      if (v > f.validity + tol) ++beating;
    }
  }
  return beating;
}

}  // namespace pareto_test

#endif  // FOURFIFTHS_TESTS_PARETO_PARETO_TEST_SUPPORT_H_
