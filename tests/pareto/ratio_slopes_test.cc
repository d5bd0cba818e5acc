// The box slopes of the non-negative weightings' search and the lowest
// ratio's bound built on them, against points drawn inside each box: the
// forms and their gradients from their own formulas, the selection rates
// from the cut score found by bisection with std::erfc (the test's own
// model, not the library's).
#include "pareto/ratio_slopes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

#include "pareto/sphere_search.h"
#include "pareto_test_support.h"

namespace {

using pareto::range;
using pareto_test::at;
using pareto_test::random_source;

double upper_tail(double z) { return std::erfc(z / std::sqrt(2.0)) / 2; }

// A correlation matrix from random unit vectors (a Gram matrix).
std::vector<double> random_correlations(random_source& rnd, int n) {
  std::vector<std::vector<double>> v(at(n), std::vector<double>(at(n) + 2));
  for (auto& row : v) {
    double norm = 0;
    for (double& x : row) {
      x = rnd.normal();
      norm += x * x;
    }
    for (double& x : row) x /= std::sqrt(norm);
  }
  std::vector<double> r(at(n) * at(n));
  for (std::size_t i = 0; i < at(n); ++i) {
    for (std::size_t j = 0; j < at(n); ++j) {
      double s = 0;
      for (std::size_t k = 0; k < v[i].size(); ++k) s += v[i][k] * v[j][k];
      r[i * at(n) + j] = s;
    }
  }
  return r;
}

struct box {
  std::vector<double> lo, hi;
};

// A box on the face w_k = 1 of [0, 1]^n, its sides' widths from 1e-4 to 1.
box random_box(random_source& rnd, int n) {
  box b{std::vector<double>(at(n)), std::vector<double>(at(n))};
  const auto fixed = at(rnd.below(n));
  const double width = std::pow(10.0, rnd.uniform(-4, 0));
  for (std::size_t j = 0; j < at(n); ++j) {
    if (j == fixed) {
      b.lo[j] = b.hi[j] = 1;
      continue;
    }
    const double w = width * rnd.uniform(0.5, 1);
    b.lo[j] = rnd.uniform(0, 1 - w);
    b.hi[j] = b.lo[j] + w;
  }
  return b;
}

std::vector<double> inside(random_source& rnd, const box& b) {
  std::vector<double> w(b.lo.size());
  for (std::size_t j = 0; j < w.size(); ++j) {
    // The corners too, where a range's end is met.
    const double u = rnd.below(4) == 0 ? static_cast<double>(rnd.below(2)) : rnd.uniform();
    w[j] = b.lo[j] + u * (b.hi[j] - b.lo[j]);
  }
  return w;
}

struct form_value {
  double value;
  std::vector<double> gradient;
};

// l.w / sqrt(w'Rw) and its gradient l/s - (l.w) Rw / s^3.
form_value form_at(const std::vector<double>& r, const std::vector<double>& l,
                   const std::vector<double>& w) {
  const std::size_t n = w.size();
  std::vector<double> rw(n, 0.0);
  double q = 0;
  double lw = 0;
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j) rw[i] += r[i * n + j] * w[j];
    q += w[i] * rw[i];
    lw += l[i] * w[i];
  }
  const double s = std::sqrt(q);
  form_value f{lw / s, std::vector<double>(n)};
  for (std::size_t j = 0; j < n; ++j) f.gradient[j] = l[j] / s - lw * rw[j] / (q * s);
  return f;
}

TEST(RatioSlopes, TheFormsSlopesHoldEveryWeightingOfTheirBox) {
  // Every form's value at a point of the box lies in its range and in its
  // mean-value form f(c) + [g].(w - c), and its gradient there in the
  // gradient's ranges.
  random_source rnd(20261211);
  int checked = 0;
  int sloped = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const int n = 2 + rnd.below(5);
    const std::vector<double> r = random_correlations(rnd, n);
    std::vector<std::vector<double>> forms(at(1 + rnd.below(3)), std::vector<double>(at(n)));
    for (auto& l : forms) {
      for (double& x : l) x = rnd.uniform(-1.2, 0.6);
    }
    const auto search = pareto::sphere_search::make(n, r, forms, true);
    ASSERT_TRUE(search.has_value());
    const box b = random_box(rnd, n);
    const auto over = search->forms_over(b.lo, b.hi);
    ASSERT_TRUE(over.has_value());
    const auto& [ranges, slopes] = *over;
    // (None where the interval sum of w'Rw reaches 0: wide boxes with
    // negative correlations.)
    if (slopes.empty()) continue;
    ++sloped;
    std::vector<double> centre(at(n));
    for (std::size_t j = 0; j < at(n); ++j) centre[j] = (b.lo[j] + b.hi[j]) / 2;
    for (int k = 0; k < 50; ++k) {
      const std::vector<double> w = inside(rnd, b);
      for (std::size_t f = 0; f < forms.size(); ++f) {
        const form_value v = form_at(r, forms[f], w);
        const double slack = 1e-13 * (1 + std::fabs(v.value));
        EXPECT_GE(v.value, ranges[f].lo - slack) << trial;
        EXPECT_LE(v.value, ranges[f].hi + slack) << trial;
        range change{slopes.centre[f], slopes.centre[f]};
        for (std::size_t j = 0; j < at(n); ++j) {
          const range g = slopes.gradient[f][j];
          EXPECT_GE(v.gradient[j], g.lo - 1e-13) << trial << " " << j;
          EXPECT_LE(v.gradient[j], g.hi + 1e-13) << trial << " " << j;
          const double step = w[j] - centre[j];
          change.lo += std::min(g.lo * step, g.hi * step);
          change.hi += std::max(g.lo * step, g.hi * step);
        }
        EXPECT_GE(v.value, change.lo - slack) << trial;
        EXPECT_LE(v.value, change.hi + slack) << trial;
        ++checked;
      }
    }
    EXPECT_NEAR(slopes.centre[0], form_at(r, forms[0], centre).value, 1e-13);
  }
  EXPECT_GT(sloped, 200);
  EXPECT_GT(checked, 20000);
}

// The test's model of several groups: shares (the majority's first) and
// the cut score, the mix's or fixed.
struct model {
  std::vector<double> shares;
  bool overall = true;
  double ratio = 0.2;

  double cut(std::span<const double> e) const {
    const auto selected = [&](double x) {
      double s = shares[0] * upper_tail(x);
      for (std::size_t m = 1; m < shares.size(); ++m) s += shares[m] * upper_tail(x - e[m - 1]);
      return s;
    };
    double lo = -40;
    double hi = 40;
    for (int step = 0; step < 200; ++step) {
      const double mid = (lo + hi) / 2;
      (overall ? selected(mid) : upper_tail(mid)) > ratio ? lo = mid : hi = mid;
    }
    return (lo + hi) / 2;
  }

  double lowest_ratio(std::span<const double> e) const {
    const double x = cut(e);
    double least = upper_tail(x);
    double most = least;
    for (const double v : e) {
      least = std::min(least, upper_tail(x - v));
      most = std::max(most, upper_tail(x - v));
    }
    return least / most;
  }
};

TEST(RatioSlopes, NoWeightingOfTheBoxHasALowestRatioAboveTheBound) {
  // One to four groups of random shares and effects (either sign, groups
  // above the majority among them), the cut the mix's or fixed, boxes of
  // every size: every point drawn inside stays at or below the bound, and
  // a small box's bound lies near the lowest ratio at its centre.
  random_source rnd(1211);
  int points = 0;
  int small = 0;
  for (int trial = 0; trial < 400; ++trial) {
    const int n = 2 + rnd.below(5);
    const int groups = 1 + rnd.below(4);
    const std::vector<double> r = random_correlations(rnd, n);
    std::vector<std::vector<double>> d(at(groups), std::vector<double>(at(n)));
    for (auto& l : d) {
      for (double& x : l) x = rnd.uniform(-1.2, 0.5);
    }
    model m;
    m.overall = rnd.below(2) == 0;
    m.ratio = rnd.uniform(0.05, 0.9);
    m.shares.assign(at(groups) + 1, 0.0);
    double total = 0;
    for (double& p : m.shares) total += p = rnd.uniform(0.001, 1);
    for (double& p : m.shares) p /= total;
    const auto search = pareto::sphere_search::make(n, r, d, true);
    ASSERT_TRUE(search.has_value());
    const box b = random_box(rnd, n);
    const auto over = search->forms_over(b.lo, b.hi);
    ASSERT_TRUE(over.has_value());
    const auto& [ranges, slopes] = *over;
    std::vector<double> low(at(groups)), high(at(groups));
    for (std::size_t g = 0; g < at(groups); ++g) {
      low[g] = ranges[g].lo;
      high[g] = ranges[g].hi;
    }
    // (Without slopes the bound is 1, and there is no centre to cut at.)
    const double bound = pareto::lowest_ratio_upper(
        ranges, slopes, m.shares, m.overall, m.cut(low), m.cut(high),
        slopes.empty() ? std::nan("") : m.cut(slopes.centre));
    const auto effects_at = [&](const std::vector<double>& w) {
      std::vector<double> e;
      e.reserve(d.size());
      for (const auto& l : d) e.push_back(form_at(r, l, w).value);
      return e;
    };
    for (int k = 0; k < 100; ++k) {
      const double lowest = m.lowest_ratio(effects_at(inside(rnd, b)));
      EXPECT_LE(lowest, bound + 1e-12) << trial;
      ++points;
    }
    double width = 0;
    for (std::size_t j = 0; j < at(n); ++j) width = std::max(width, b.hi[j] - b.lo[j]);
    if (width < 1e-3) {
      std::vector<double> centre(at(n));
      for (std::size_t j = 0; j < at(n); ++j) centre[j] = (b.lo[j] + b.hi[j]) / 2;
      EXPECT_LE(bound, m.lowest_ratio(effects_at(centre)) + 0.05) << trial;
      ++small;
    }
  }
  EXPECT_GT(points, 30000);
  EXPECT_GT(small, 50);
}

TEST(RatioSlopes, PairsThatTieWithOppositeSlopesAreBoundedToSecondOrder) {
  // Two groups whose means cross at the box's centre (e1 = -0.55 + u + 0.2
  // v, e2 = -0.55 - u + 0.3 v over |u|, |v| <= h, the cut fixed at 1, the
  // majority's rate the highest): the lowest ratio has a ridge along u =
  // v / 20, where the lower mean is -0.55 + 0.25 v, and its top over the
  // box is Q(1.55 - 0.25 h) / Q(1). Each pair alone is bounded only to the
  // first order in h (its slope in u is +-1: an excess of about 7.7e-3 at
  // h = 1e-2, 7.6e-4 at 1e-3); mixed so that their slopes in u cancel, the
  // excess falls with h squared.
  for (const double h : {1e-2, 1e-3, 1e-4}) {
    const std::vector<range> effects{{-0.55 - 1.2 * h, -0.55 + 1.2 * h},
                                     {-0.55 - 1.3 * h, -0.55 + 1.3 * h}};
    pareto::box_slopes slopes;
    slopes.centre = {-0.55, -0.55};
    slopes.gradient = {{{1, 1}, {0.2, 0.2}}, {{-1, -1}, {0.3, 0.3}}};
    slopes.half = {h, h};
    const std::vector<double> shares{0.6, 0.2, 0.2};
    const double bound = pareto::lowest_ratio_upper(effects, slopes, shares, false, 1, 1, 1);
    const double top = upper_tail(1.55 - 0.25 * h) / upper_tail(1);
    EXPECT_GE(bound, top) << h;
    EXPECT_LE(bound - top, 5 * h * h) << h;
  }
}

TEST(RatioSlopes, ThreePairsThatMeetAtAPeakAreBoundedToSecondOrder) {
  // Three groups whose means rise from the centre in directions 120
  // degrees apart (e_k = -0.55 + cos(a_k) u + sin(a_k) v), so that the
  // lowest falls away from the centre in every direction: a cone whose top
  // over the box is its centre's, Q(1.55) / Q(1). Cancelling the slopes in
  // both coordinates takes all three pairs (two pairs can cancel one).
  constexpr double third = 2.0943951023931957;  // 2 pi / 3
  for (const double h : {1e-2, 1e-3}) {
    std::vector<range> effects;
    pareto::box_slopes slopes;
    for (int k = 0; k < 3; ++k) {
      const double c = std::cos(k * third);
      const double s = std::sin(k * third);
      const double reach = (std::fabs(c) + std::fabs(s)) * h;
      effects.push_back({-0.55 - reach, -0.55 + reach});
      slopes.centre.push_back(-0.55);
      slopes.gradient.push_back({{c, c}, {s, s}});
    }
    slopes.half = {h, h};
    const std::vector<double> shares{0.4, 0.2, 0.2, 0.2};
    const double bound = pareto::lowest_ratio_upper(effects, slopes, shares, false, 1, 1, 1);
    const double top = upper_tail(1.55) / upper_tail(1);
    EXPECT_GE(bound, top) << h;
    EXPECT_LE(bound - top, 5 * h * h) << h;
  }
}

TEST(RatioSlopes, WithoutSlopesOrACutTheBoundIsOne) {
  const std::vector<range> effects{{-0.5, -0.4}};
  const std::vector<double> shares{0.8, 0.2};
  EXPECT_EQ(pareto::lowest_ratio_upper(effects, {}, shares, true, 0.8, 0.9, 0.85), 1);
  pareto::box_slopes slopes;
  slopes.centre = {-0.45};
  slopes.gradient = {{{-0.1, 0.1}, {-0.1, 0.1}}};
  slopes.half = {0.01, 0};
  EXPECT_EQ(pareto::lowest_ratio_upper(effects, slopes, shares, true, 0.8, 0.9, std::nan("")), 1);
  EXPECT_EQ(pareto::lowest_ratio_upper(effects, slopes, shares, true, 0.9, 0.8, 0.85), 1);
  // With them, a ratio below 1 (the group's mean is below the majority's).
  EXPECT_LT(pareto::lowest_ratio_upper(effects, slopes, shares, true, 0.8, 0.9, 0.85), 1);
}

}  // namespace
