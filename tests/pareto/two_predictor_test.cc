// Two predictors: the feasible weightings are one quarter circle of
// directions, so a dense scan of it, refined by bisection where it crosses
// a given effect, gives the best validity at that effect independently of
// the library. Cases with a concave front, a front that jumps, a negative
// correlation, and validity turning negative towards the impact end.
#include <gtest/gtest.h>

#include <cmath>
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
struct scan {
  explicit scan(const problem& p) : p_(p) {
    for (int i = 0; i <= scan_points; ++i) {
      phi_.push_back(i == scan_points ? phi_end : phi_end * i / scan_points);
      const auto [v, e] = at(phi_.back());
      v_.push_back(v);
      e_.push_back(e);
    }
  }

  [[nodiscard]] std::pair<double, double> at(double phi) const {
    // The ends exactly: one predictor alone.
    const bool last = phi == phi_end;
    const std::vector<double> w = {last ? 0.0 : std::cos(phi), last ? 1.0 : std::sin(phi)};
    return pareto_test::evaluate(p_, w);
  }

  // The highest validity with effect >= e: the best scan point that
  // qualifies, and every crossing of e located by bisection.
  [[nodiscard]] double best_validity(double e) const {
    double best = -std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < phi_.size(); ++i) {
      if (e_[i] >= e) best = std::max(best, v_[i]);
      if (i + 1 < phi_.size() && (e_[i] - e) * (e_[i + 1] - e) < 0) {
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

  [[nodiscard]] bool dominated(double v, double e, double tol) const {
    for (std::size_t i = 0; i < phi_.size(); ++i) {
      if (v_[i] > v + tol && e_[i] > e + tol) return true;
    }
    return false;
  }

 private:
  const problem& p_;
  std::vector<double> phi_, v_, e_;
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
