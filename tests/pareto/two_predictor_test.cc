// Two predictors: the feasible weightings are one quarter circle of
// directions, so a dense scan of it, refined by bisection where it crosses
// a given effect, gives the best validity at that effect independently of
// the library. Cases with a concave front, a front that jumps, a negative
// correlation, and validity turning negative towards the impact end.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numbers>
#include <vector>

#include "pareto/frontier.h"
#include "pareto_test_support.h"

namespace {

using pareto_test::problem;

constexpr int scan_points = 100'000;
constexpr double phi_end = std::numbers::pi / 2;

// (validity, effect) along w = (cos phi, sin phi), phi in [0, pi/2].
class scan {
 public:
  explicit scan(const problem& p) : p_(p) {
    for (int i = 0; i <= scan_points; ++i) {
      phi_.push_back(i == scan_points ? phi_end : phi_end * i / scan_points);
      const auto [v, e] = at(phi_.back());
      v_.push_back(v);
      e_.push_back(e);
    }
    // The scan sorted by effect, with the best validity at or above each.
    order_.resize(phi_.size());
    for (std::size_t i = 0; i < order_.size(); ++i) order_[i] = i;
    std::sort(order_.begin(), order_.end(), [&](auto l, auto r) { return e_[l] < e_[r]; });
    best_above_.resize(order_.size());
    double best = -std::numeric_limits<double>::infinity();
    for (std::size_t k = order_.size(); k-- > 0;)
      best_above_[k] = best = std::max(best, v_[order_[k]]);
    // The range of effects in each block of scan steps, to find crossings
    // without visiting every step.
    for (std::size_t i = 0; i + 1 < phi_.size(); i += block) {
      const std::size_t last = std::min(i + block, phi_.size() - 1);
      const auto [lo, hi] = std::minmax_element(e_.begin() + static_cast<std::ptrdiff_t>(i),
                                                e_.begin() + static_cast<std::ptrdiff_t>(last) + 1);
      block_lo_.push_back(*lo);
      block_hi_.push_back(*hi);
    }
  }

  [[nodiscard]] std::pair<double, double> at(double phi) const {
    // The ends exactly: one predictor alone.
    const bool last = phi == phi_end;
    const std::array<double, 2> w = {last ? 0.0 : std::cos(phi), last ? 1.0 : std::sin(phi)};
    return pareto_test::evaluate(p_, w);
  }

  // The highest validity with effect >= e: the best scan point that
  // qualifies, and every crossing of e located by bisection.
  [[nodiscard]] double best_validity(double e) const {
    double best = best_at_or_above(e);
    for (std::size_t b = 0; b < block_lo_.size(); ++b) {
      if (e < block_lo_[b] || e > block_hi_[b]) continue;
      const std::size_t end = std::min((b + 1) * block, phi_.size() - 1);
      for (std::size_t i = b * block; i < end; ++i) {
        if ((e_[i] - e) * (e_[i + 1] - e) >= 0) continue;
        double lo = phi_[i];
        double hi = phi_[i + 1];
        const bool rising = e_[i + 1] > e_[i];
        for (int k = 0; k < 80; ++k) {
          const double mid = 0.5 * (lo + hi);
          ((at(mid).second >= e) == rising ? hi : lo) = mid;
        }
        best = std::max(best, at(rising ? hi : lo).first);
      }
    }
    return best;
  }

  // Whether some scan point beats (v, e) by more than tol in both.
  [[nodiscard]] bool dominated(double v, double e, double tol) const {
    const auto k = static_cast<std::size_t>(
        std::upper_bound(order_.begin(), order_.end(), e + tol,
                         [&](double x, std::size_t i) { return x < e_[i]; }) -
        order_.begin());
    return k < order_.size() && best_above_[k] > v + tol;
  }

 private:
  static constexpr std::size_t block = 256;

  [[nodiscard]] double best_at_or_above(double e) const {
    const auto k = static_cast<std::size_t>(
        std::lower_bound(order_.begin(), order_.end(), e,
                         [&](std::size_t i, double x) { return e_[i] < x; }) -
        order_.begin());
    return k < order_.size() ? best_above_[k] : -std::numeric_limits<double>::infinity();
  }

  const problem& p_;
  std::vector<double> phi_, v_, e_;
  std::vector<std::size_t> order_;
  std::vector<double> best_above_;
  std::vector<double> block_lo_, block_hi_;
};

problem two(double r12, std::vector<double> a, std::vector<double> d) {
  return {2, {1, r12, r12, 1}, std::move(a), std::move(d)};
}

void check_against_scan(const problem& p, bool expect_concave) {
  const pareto::frontier f = pareto_test::make_front(p);
  EXPECT_EQ(f.concave(), expect_concave);
  const scan s(p);
  const double e0 = f.quality_end().effect;
  const double e1 = f.impact_end().effect;
  // The ends against the scan's extremes.
  double v_max = -std::numeric_limits<double>::infinity();
  double e_max = -std::numeric_limits<double>::infinity();
  for (int i = 0; i <= scan_points; ++i) {
    const auto [v, e] = s.at(i == scan_points ? phi_end : phi_end * i / scan_points);
    v_max = std::max(v_max, v);
    e_max = std::max(e_max, e);
  }
  EXPECT_GE(f.quality_end().validity, v_max - 1e-15);
  EXPECT_GE(f.impact_end().effect, e_max - 1e-15);
  constexpr int count = 201;
  for (int k = 0; k < count; ++k) {
    const double e = k + 1 == count ? e1 : e0 + (e1 - e0) * k / (count - 1);
    const pareto::weighting w = f.at_effect(e);
    pareto_test::expect_consistent(p, w, true);
    EXPECT_GE(w.effect, e - 1e-12) << "at e = " << e;
    EXPECT_NEAR(w.validity, s.best_validity(e), 1e-9) << "at e = " << e;
    EXPECT_FALSE(s.dominated(w.validity, w.effect, 1e-12)) << "at e = " << e;
  }
}

TEST(pareto_two_predictors, ConcaveFrontWithMixedEffects) {
  check_against_scan(two(0.3, {0.5, 0.2}, {-1.0, 0.1}), true);
}

TEST(pareto_two_predictors, ConcaveFrontWithNegativeCorrelation) {
  check_against_scan(two(-0.4, {0.3, 0.25}, {-0.8, -0.2}), true);
}

TEST(pareto_two_predictors, FrontThatJumps) {
  // The better trade-off (a/|d| = 2) is the first predictor, the smaller
  // group difference the second: the traced stretch ends at the first
  // predictor alone, and the rest of the front is the pair's curve, which
  // does not connect to it at a single effect.
  const problem p = two(0.0, {1.0, 0.1}, {-0.5, -0.1});
  check_against_scan(p, false);
  // Worked by hand: e = -0.5 is reached by (1, 0) with validity 1 and again
  // at cos phi = 12/13, sin phi = 5/13 with validity 25/26; just above -0.5
  // only the latter branch qualifies (the slopes there are of order 1).
  const pareto::frontier f = pareto_test::make_front(p);
  EXPECT_NEAR(f.at_effect(-0.5).validity, 1.0, 1e-15);
  EXPECT_NEAR(f.at_effect(-0.5 - 1e-9).validity, 1.0, 1e-8);
  const pareto::weighting above = f.at_effect(-0.5 + 1e-9);
  EXPECT_NEAR(above.validity, 25.0 / 26.0, 1e-8);
  EXPECT_NEAR(above.weights[0] / above.weights[1], 12.0 / 5.0, 1e-7);
}

TEST(pareto_two_predictors, StrongCorrelationAndTinyEffectSize) {
  // The second predictor has both the smaller group difference and the
  // better ratio a/|d|, so the traced stretch reaches it.
  check_against_scan(two(0.6, {0.4, 0.1}, {-0.9, -0.05}), true);
}

TEST(pareto_two_predictors, CorrelatedPairWithAJump) {
  // Ratios a/|d| of 1.25 and 1: the traced stretch ends at the first
  // predictor alone, the impact end is the second.
  check_against_scan(two(0.5, {0.5, 0.1}, {-0.4, -0.1}), false);
}

TEST(pareto_two_predictors, ValidityTurnsNegativeTowardsTheImpactEnd) {
  // For s in [0.375, 0.4] no mix (1-s) v + s e is positive anywhere
  // (both 0.6 a + 0.4 d <= 0 componentwise), so the pair's curve carries
  // the middle of the front.
  const problem p = two(0.2, {0.3, -0.2}, {-0.5, 0.3});
  check_against_scan(p, false);
  const pareto::frontier f = pareto_test::make_front(p);
  EXPECT_LT(f.impact_end().validity, 0.0);
}

}  // namespace
