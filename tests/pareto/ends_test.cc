// The ends of the front with non-negative weights: the quality end is the
// regression weighting R^-1 a whenever that is non-negative, and otherwise
// no weighting has a higher validity; the impact end is R^-1 d when that is
// non-negative, the predictor with the smallest group difference when
// every effect size is negative, and no weighting reaches a higher effect.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "pareto/frontier.h"
#include "pareto_test_support.h"

namespace {

using pareto_test::effects;
using pareto_test::problem;

bool nonnegative(const std::vector<double>& x) {
  return std::all_of(x.begin(), x.end(), [](double v) { return v >= 0; });
}

void expect_weights(const std::vector<double>& got, std::vector<double> want) {
  double sum = 0;
  for (const double w : want) sum += w;
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t j = 0; j < want.size(); ++j) EXPECT_NEAR(got[j], want[j] / sum, 1e-9);
}

// Highest validity and effect over random weightings.
std::pair<double, double> scan_maxima(const problem& p, std::uint64_t seed) {
  pareto_test::random_source rnd(seed);
  double v_max = -std::numeric_limits<double>::infinity();
  double e_max = -std::numeric_limits<double>::infinity();
  for (int k = 0; k < pareto_test::brute_force_count / 10; ++k) {
    const auto [v, e] = pareto_test::evaluate(p, pareto_test::random_weighting(p.n, rnd));
    v_max = std::max(v_max, v);
    e_max = std::max(e_max, e);
  }
  return {v_max, e_max};
}

TEST(pareto_ends, AgainstRegressionWeightsAndScans) {
  int regression = 0;
  int clipped = 0;
  int single = 0;
  int mixed = 0;
  for (std::uint64_t seed = 1; seed <= 24; ++seed) {
    const int n = 3 + static_cast<int>(seed % 4);
    // Effect sizes all negative, of mixed sign, or all positive.
    problem p = pareto_test::random_problem(n, 100 + seed,
                                            seed % 3 == 1 ? effects::negative : effects::mixed);
    if (seed % 3 == 0) {
      for (double& d : p.d) d = std::abs(d) + 0.05;
    }
    const pareto::frontier f = pareto_test::make_front(p);
    const auto [v_max, e_max] = scan_maxima(p, seed);
    const std::vector<double> x = pareto_test::solve(p.r, n, p.a);
    if (nonnegative(x)) {
      ++regression;
      expect_weights(f.quality_end().weights, x);
      EXPECT_NEAR(f.quality_end().validity, std::sqrt(pareto_test::dot(p.a, x)), 1e-9);
    } else {
      ++clipped;
      EXPECT_LT(f.quality_end().validity, std::sqrt(pareto_test::dot(p.a, x)));
    }
    EXPECT_GE(f.quality_end().validity, v_max - 1e-12);

    const std::vector<double> y = pareto_test::solve(p.r, n, p.d);
    if (std::all_of(p.d.begin(), p.d.end(), [](double v) { return v < 0; })) {
      ++single;
      const auto best = std::max_element(p.d.begin(), p.d.end()) - p.d.begin();
      std::vector<double> unit(static_cast<std::size_t>(n), 0.0);
      unit[static_cast<std::size_t>(best)] = 1;
      EXPECT_EQ(f.impact_end().weights, unit);
    } else if (nonnegative(y)) {
      ++mixed;
      expect_weights(f.impact_end().weights, y);
      EXPECT_NEAR(f.impact_end().effect, std::sqrt(pareto_test::dot(p.d, y)), 1e-9);
    }
    EXPECT_GE(f.impact_end().effect, e_max - 1e-12);
  }
  // Every branch above was taken.
  EXPECT_GT(regression, 0);
  EXPECT_GT(clipped, 0);
  EXPECT_GT(single, 0);
  EXPECT_GT(mixed, 0);
}

}  // namespace
