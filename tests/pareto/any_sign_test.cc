// Weights of any sign: the front is the upper-right arc of the ellipse
// {p : p' G^-1 p <= 1}, G the Gram matrix of a and d under R^-1, so at
// effect e the best validity is (B e + sqrt(Delta (D - e^2))) / D with
// A = a'R^-1 a, B = a'R^-1 d, D = d'R^-1 d, Delta = AD - B^2, from e = B/sqrt(A)
// (the regression weighting) to e = sqrt(D) (R^-1 d). Checked against that
// closed form worked out here and against random directions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "pareto/frontier.h"
#include "pareto_test_support.h"

namespace {

using pareto_test::effects;
using pareto_test::problem;

constexpr auto any = pareto::sign_constraint::any;

TEST(pareto_any_sign, ClosedFormAndRandomDirections) {
  for (std::uint64_t seed = 1; seed <= 8; ++seed) {
    const int n = 2 + static_cast<int>(seed % 5);
    const problem p = pareto_test::random_problem(
        n, 500 + seed, seed % 2 == 0 ? effects::negative : effects::mixed);
    const pareto::frontier f = pareto_test::make_front(p, any);
    EXPECT_TRUE(f.concave());
    const std::vector<double> x = pareto_test::solve(p.r, n, p.a);
    const std::vector<double> y = pareto_test::solve(p.r, n, p.d);
    const double ga = pareto_test::dot(p.a, x);
    const double gb = pareto_test::dot(p.a, y);
    const double gd = pareto_test::dot(p.d, y);
    const double delta = ga * gd - gb * gb;
    EXPECT_NEAR(f.quality_end().validity, std::sqrt(ga), 1e-12);
    EXPECT_NEAR(f.quality_end().effect, gb / std::sqrt(ga), 1e-12);
    EXPECT_NEAR(f.impact_end().validity, gb / std::sqrt(gd), 1e-12);
    EXPECT_NEAR(f.impact_end().effect, std::sqrt(gd), 1e-12);

    const pareto_test::front_sample front = pareto_test::sample_front(f, 201);
    for (std::size_t k = 0; k < front.points.size(); ++k) {
      const pareto::weighting& w = front.points[k];
      pareto_test::expect_consistent(p, w, false);
      EXPECT_NEAR(w.effect, front.asked[k], 1e-12);
      const double e = w.effect;
      // Away from the impact end, where the arc turns vertical.
      if (k + 1 < front.points.size()) {
        EXPECT_NEAR(w.validity, (gb * e + std::sqrt(delta * (gd - e * e))) / gd, 1e-12)
            << "seed " << seed << " at e = " << e;
      }
    }
    pareto_test::expect_mutually_undominated(front.points, 1e-12);
    pareto_test::random_source rnd(seed);
    EXPECT_EQ(pareto_test::count_beating(p, front, pareto_test::brute_force_count / 4, 1e-6,
                                         [&] {
                                           std::vector<double> w(static_cast<std::size_t>(n));
                                           for (double& v : w) v = rnd.normal();
                                           return w;
                                         }),
              0);
  }
}

TEST(pareto_any_sign, WeightsWhoseSumIsNotPositiveKeepTheirSigns) {
  // R^-1 d for these inputs sums to a negative number: the impact end is
  // scaled to absolute sum 1 with the signs as they are.
  const problem p{2, {1, 0.5, 0.5, 1}, {0.3, 0.2}, {-0.6, -0.1}};
  const pareto::frontier f = pareto_test::make_front(p, any);
  const std::vector<double> y = pareto_test::solve(p.r, 2, p.d);
  ASSERT_LT(y[0] + y[1], 0);
  const double total = std::abs(y[0]) + std::abs(y[1]);
  EXPECT_NEAR(f.impact_end().weights[0], y[0] / total, 1e-14);
  EXPECT_NEAR(f.impact_end().weights[1], y[1] / total, 1e-14);
  EXPECT_NEAR(f.impact_end().effect, std::sqrt(pareto_test::dot(p.d, y)), 1e-14);
}

}  // namespace
