// The bounds behind the edge search, against sampling: validity and
// effect along a curve and their derivatives over a stretch, and the mean
// of those selected with its partial derivatives over a box of (v, e).
// The derivatives themselves against central differences of the values;
// the mean's value against the analysis's outcome.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "fourfifths/fourfifths.h"
#include "pareto/frontier.h"
#include "pareto/mean_quality.h"
#include "pareto_test_support.h"

namespace {

using pareto::interval;
using pareto_test::random_source;

// A chord w(t) = p + t q, t in [0, 1], between two random directions of
// a random problem, with its seven numbers.
pareto::detail::curve random_curve(random_source& rnd, const pareto_test::problem& p) {
  const auto size = static_cast<std::size_t>(p.n);
  std::vector<double> from(size), to(size), step(size);
  for (std::size_t j = 0; j < size; ++j) {
    from[j] = rnd.normal();
    to[j] = rnd.normal();
    step[j] = to[j] - from[j];
  }
  const auto form = [&](const std::vector<double>& x, const std::vector<double>& y) {
    double s = 0;
    for (std::size_t i = 0; i < size; ++i) {
      for (std::size_t j = 0; j < size; ++j) s += x[i] * p.r[i * size + j] * y[j];
    }
    return s;
  };
  pareto::detail::curve c;
  c.t_lo = 0;
  c.t_hi = 1;
  c.a0 = pareto_test::dot(p.a, from);
  c.a1 = pareto_test::dot(p.a, step);
  c.d0 = pareto_test::dot(p.d, from);
  c.d1 = pareto_test::dot(p.d, step);
  c.q0 = form(from, from);
  c.q1 = form(from, step);
  c.q2 = form(step, step);
  return c;
}

double ratio_at(const pareto::detail::curve& c, double x0, double x1, double t) {
  return (x0 + x1 * t) / std::sqrt(c.q0 + t * (2 * c.q1 + t * c.q2));
}

bool within(double x, interval range, double slack) {
  return x >= range.lo - slack && x <= range.hi + slack;
}

TEST(pareto_enclosures, AlongACurve) {
  int turning = 0;
  for (std::uint64_t seed = 1; seed <= 300; ++seed) {
    random_source rnd(seed);
    const pareto_test::problem p =
        pareto_test::random_problem(2 + rnd.below(5), seed, pareto_test::effects::mixed);
    const pareto::detail::curve c = random_curve(rnd, p);
    double t1 = rnd.uniform();
    double t2 = rnd.uniform();
    if (t1 > t2) std::swap(t1, t2);
    for (const auto& [x0, x1] : {std::array{c.a0, c.a1}, std::array{c.d0, c.d1}}) {
      const interval range = pareto::detail::ratio_range(c, x0, x1, t1, t2);
      const interval slope = pareto::detail::ratio_slope_range(c, x0, x1, t1, t2);
      double lo = 1e300;
      double hi = -1e300;
      for (int k = 0; k <= 400; ++k) {
        const double t = t1 + (t2 - t1) * k / 400;
        const double y = ratio_at(c, x0, x1, t);
        lo = std::min(lo, y);
        hi = std::max(hi, y);
        EXPECT_TRUE(within(y, range, 1e-13)) << "seed " << seed << " t " << t;
        const double dy = pareto::detail::ratio_slope(c, x0, x1, t);
        EXPECT_TRUE(within(dy, slope, 1e-12)) << "seed " << seed << " t " << t;
        const double h = 1e-6;
        EXPECT_NEAR(dy, (ratio_at(c, x0, x1, t + h) - ratio_at(c, x0, x1, t - h)) / (2 * h),
                    1e-6 * (1 + std::abs(dy)));
      }
      // The range is the values' own, not wider (to the resolution of the
      // sampling).
      EXPECT_NEAR(range.lo, lo, 1e-2 * (hi - lo) + 1e-12);
      EXPECT_NEAR(range.hi, hi, 1e-2 * (hi - lo) + 1e-12);
      if (range.hi > std::max(ratio_at(c, x0, x1, t1), ratio_at(c, x0, x1, t2)) + 1e-9 ||
          range.lo < std::min(ratio_at(c, x0, x1, t1), ratio_at(c, x0, x1, t2)) - 1e-9)
        ++turning;
    }
  }
  EXPECT_GT(turning, 10);  // stretches with a turning point inside were met
}

// The mean's settings: mode, R, minority share and criterion effect.
struct mean_setting {
  fourfifths::ratio_mode mode;
  double ratio, share, dcc;
};

mean_setting random_setting(random_source& rnd) {
  return {rnd.below(2) == 0 ? fourfifths::ratio_mode::overall : fourfifths::ratio_mode::majority,
          rnd.uniform(0.02, 0.9), rnd.uniform(0.05, 0.6), rnd.uniform(-0.8, 0.5)};
}

pareto::mean_quality mean_of(const mean_setting& s) {
  return {s.mode, s.ratio, fourfifths::applicant_mix::from_minority_share(s.share), s.dcc};
}

TEST(pareto_enclosures, TheMeanAndItsSlopes) {
  for (std::uint64_t seed = 1; seed <= 400; ++seed) {
    random_source rnd(seed);
    const mean_setting s = random_setting(rnd);
    const pareto::mean_quality q = mean_of(s);
    const double v = rnd.uniform(-0.6, 0.9);
    const double e = rnd.uniform(-2, 1.5);
    SCOPED_TRACE("seed " + std::to_string(seed));
    // The value is the analysis's.
    const fourfifths::selection_model m{
        .mode = s.mode,
        .quality = fourfifths::quality_basis::criterion,
        .mix = fourfifths::applicant_mix::from_minority_share(s.share),
        .predictor_effect = e,
        .validity = v,
        .criterion_effect = s.dcc};
    const fourfifths::outcome o = fourfifths::outcome_at(m, s.ratio, fourfifths::method::precise);
    ASSERT_TRUE(o.solved() && o.mean);
    EXPECT_EQ(q.value(v, e), *o.mean);
    // The slopes against central differences.
    const std::array<double, 2> g = q.slopes(v, e);
    const double h = 1e-5;
    const double dv = (q.value(v + h, e) - q.value(v - h, e)) / (2 * h);
    const double de = (q.value(v, e + h) - q.value(v, e - h)) / (2 * h);
    EXPECT_NEAR(g[0], dv, 1e-7 * (1 + std::abs(dv)));
    EXPECT_NEAR(g[1], de, 1e-7 * (1 + std::abs(de)));
    EXPECT_GT(g[0], 0);
  }
}

TEST(pareto_enclosures, TheMeansSlopesOverABox) {
  for (std::uint64_t seed = 1; seed <= 300; ++seed) {
    random_source rnd(seed + 1000);
    const mean_setting s = random_setting(rnd);
    const pareto::mean_quality q = mean_of(s);
    // Boxes from narrow to wide, some across e = 0 and across the
    // minority's cut score at 0, where the density peaks.
    const double width = std::pow(10.0, rnd.uniform(-4, 0.3));
    const interval v{rnd.uniform(-0.6, 0.8), 0};
    const interval box_v{v.lo, v.lo + width * rnd.uniform(0.1, 1)};
    const double e0 = rnd.uniform(-2.2, 1.2);
    const interval box_e{e0, e0 + width};
    const std::array<interval, 2> g = q.slopes(box_v, box_e);
    SCOPED_TRACE("seed " + std::to_string(seed));
    for (int i = 0; i <= 12; ++i) {
      for (int j = 0; j <= 12; ++j) {
        const double vv = box_v.lo + (box_v.hi - box_v.lo) * i / 12;
        const double ee = box_e.lo + (box_e.hi - box_e.lo) * j / 12;
        const std::array<double, 2> at = q.slopes(vv, ee);
        EXPECT_TRUE(within(at[0], g[0], 1e-12 * (1 + std::abs(at[0]))))
            << at[0] << " not in [" << g[0].lo << ", " << g[0].hi << "]";
        EXPECT_TRUE(within(at[1], g[1], 1e-12 * (1 + std::abs(at[1]))))
            << at[1] << " not in [" << g[1].lo << ", " << g[1].hi << "]";
      }
    }
    // Narrow boxes have narrow enclosures: the bound tightens as the
    // search halves its stretches.
    if (width < 1e-3) {
      EXPECT_LT(g[0].hi - g[0].lo, 1e-2);
      EXPECT_LT(g[1].hi - g[1].lo, 1e-2);
    }
  }
}

}  // namespace
