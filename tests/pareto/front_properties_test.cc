// Properties every front of the library must have, whatever the problem:
// the order of the predictors changes nothing but the order of the
// weights; consecutive points are ordered in the impact ratio and in the
// quality, and none dominates another; the best weighting for a ratio at
// or below the reachable is the best-quality one, and no question throws.
// And the degenerate fronts: one predictor with weights of either sign,
// validities all zero.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

#include "fourfifths/fourfifths.h"
#include "pareto_test_support.h"
#include "scenario_support.h"

namespace fourfifths {
namespace {

using pareto_test::make;
using pareto_test::quality;
using pareto_test::random_scenario;
using pareto_test::random_source;

// Every combination of mode, signs and objective, on `count` scenarios.
template <typename Check>
void for_each_setting(int count, std::uint64_t seed, Check check) {
  for (const ratio_mode mode : {ratio_mode::overall, ratio_mode::majority}) {
    for (const weight_signs signs : {weight_signs::nonnegative, weight_signs::any}) {
      for (const pareto_objective objective :
           {pareto_objective::validity, pareto_objective::mean}) {
        for (int k = 0; k < count; ++k) {
          const std::uint64_t s = seed + static_cast<std::uint64_t>(k);
          random_source rnd(s ^ 0x5a5a);
          pareto_options o;
          o.mode = mode;
          o.signs = signs;
          o.objective = objective;
          o.ratio = rnd.uniform(0.05, 0.8);
          SCOPED_TRACE("seed " + std::to_string(s) +
                       (mode == ratio_mode::overall ? " overall" : " majority") +
                       (signs == weight_signs::any ? " any" : " nonnegative") +
                       (objective == pareto_objective::mean ? " mean" : " validity"));
          check(random_scenario(s, mode), o);
        }
      }
    }
  }
}

TEST(pareto_front_properties, ThePredictorsOrderChangesNothing) {
  for_each_setting(12, 500, [](const problem_spec& s, const pareto_options& o) {
    const int n = s.predictors;
    // Predictor j of the reordered problem is predictor order[j].
    std::vector<int> order(static_cast<std::size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    std::reverse(order.begin(), order.end());
    if (n > 2) std::swap(order[0], order[1]);
    problem_spec t = s;
    const auto at = [](int i) { return static_cast<std::size_t>(i); };
    const auto old_index = [&](int i) { return i < n ? order[at(i)] : i; };
    for (int i = 0; i <= n; ++i) {
      for (int j = 0; j <= n; ++j)
        t.correlations[at(i)][at(j)] = s.correlations[at(old_index(i))][at(old_index(j))];
    }
    for (int j = 0; j < n; ++j) t.predictor_effects[at(j)] = s.predictor_effects[at(order[at(j)])];
    const pareto_result a = find_pareto_front(make(s), o);
    const pareto_result b = find_pareto_front(make(t), o);
    ASSERT_TRUE(a.value && b.value);
    ASSERT_EQ(a.value->points.size(), b.value->points.size());
    EXPECT_EQ(a.value->stopped_at_parity, b.value->stopped_at_parity);
    for (std::size_t k = 0; k < a.value->points.size(); ++k) {
      const weighting_outcome& x = a.value->points[k];
      const weighting_outcome& y = b.value->points[k];
      EXPECT_NEAR(x.ratio_to_highest, y.ratio_to_highest, 1e-9) << "point " << k + 1;
      EXPECT_NEAR(quality(x, o.objective), quality(y, o.objective), 1e-9) << "point " << k + 1;
      for (int j = 0; j < n; ++j)
        EXPECT_NEAR(y.weights[at(j)], x.weights[at(order[at(j)])], 1e-7) << "point " << k + 1;
    }
    const min_ai_result c = best_weighting_for_min_ai(make(s), o, 0.6);
    const min_ai_result d = best_weighting_for_min_ai(make(t), o, 0.6);
    ASSERT_TRUE(c.value && d.value);
    EXPECT_EQ(c.status, d.status);
    EXPECT_NEAR(quality(*c.value, o.objective), quality(*d.value, o.objective), 1e-9);
  });
}

TEST(pareto_front_properties, ConsecutivePointsAreOrderedAndUndominated) {
  for_each_setting(25, 700, [](const problem_spec& s, const pareto_options& o) {
    const pareto_result r = find_pareto_front(make(s), o);
    ASSERT_TRUE(r.value.has_value()) << r.message;
    const std::vector<weighting_outcome>& points = r.value->points;
    ASSERT_FALSE(points.empty());
    ASSERT_LE(points.size(), static_cast<std::size_t>(o.points));
    for (std::size_t k = 0; k + 1 < points.size(); ++k) {
      const weighting_outcome& x = points[k];
      const weighting_outcome& y = points[k + 1];
      // Higher ratio, lower quality: each gives up one for the other.
      EXPECT_GT(y.ratio_to_highest, x.ratio_to_highest) << "point " << k + 1;
      EXPECT_LT(quality(y, o.objective), quality(x, o.objective) + 1e-12) << "point " << k + 1;
      EXPECT_NE(y.weights, x.weights) << "point " << k + 1;
    }
    // No point is beaten in both by another, beyond rounding.
    for (const weighting_outcome& x : points) {
      for (const weighting_outcome& y : points) {
        EXPECT_FALSE(y.ratio_to_highest > x.ratio_to_highest + 1e-12 &&
                     quality(y, o.objective) > quality(x, o.objective) + 1e-12);
      }
    }
    // The measure is the lower rate over the higher: never above 1, and 1
    // where the front stopped at parity.
    for (const weighting_outcome& x : points) {
      EXPECT_LE(x.ratio_to_highest, 1);
      EXPECT_EQ(x.ratio_to_highest, std::min(x.ai_ratio, x.sr_majority / x.sr_minority));
    }
    if (r.value->stopped_at_parity) {
      EXPECT_NEAR(points.back().ratio_to_highest, 1, 1e-9);
    }
  });
}

TEST(pareto_front_properties, ARatioAtOrBelowTheLowestReachableAsksForTheBest) {
  for_each_setting(10, 900, [](const problem_spec& s, const pareto_options& o) {
    const problem p = make(s);
    const pareto_result r = find_pareto_front(p, o);
    ASSERT_TRUE(r.value.has_value()) << r.message;
    const weighting_outcome& best = r.value->points.front();
    for (const double min_ai : {0.0, -1.0, 1e-300, std::numeric_limits<double>::denorm_min(),
                                -5e-324, best.ratio_to_highest * (1 - 1e-9)}) {
      min_ai_result m;
      EXPECT_NO_THROW(m = best_weighting_for_min_ai(p, o, min_ai)) << min_ai;
      ASSERT_TRUE(m.status == pareto_status::found) << min_ai << ": " << m.message;
      EXPECT_NEAR(quality(*m.value, o.objective), quality(best, o.objective), 1e-12) << min_ai;
    }
    for (const double bad :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
      min_ai_result m;
      EXPECT_NO_THROW(m = best_weighting_for_min_ai(p, o, bad));
      EXPECT_TRUE(m.status == pareto_status::bad_options);
      EXPECT_FALSE(m.value.has_value());
    }
    // Beyond reach: the highest ratio there is, said so.
    min_ai_result high;
    EXPECT_NO_THROW(high = best_weighting_for_min_ai(p, o, 1e6));
    EXPECT_TRUE(high.status == pareto_status::unreachable);
    ASSERT_TRUE(high.value.has_value());
  });
}

TEST(pareto_front_properties, OverallRatioAboveTheMajorityShare) {
  // R = 0.9 with 25 % minority applicants: even selecting every majority
  // applicant leaves (0.9 - 0.75) / 0.25 = 0.6 of the minority, so no
  // selection has a ratio below 0.6; asking for 0.3 asks for the best.
  problem_spec s = random_scenario(11, ratio_mode::overall);
  s.minority_share = 0.25;
  const problem p = make(s);
  for (const pareto_objective objective : {pareto_objective::validity, pareto_objective::mean}) {
    pareto_options o;
    o.ratio = 0.9;
    o.objective = objective;
    const pareto_result r = find_pareto_front(p, o);
    ASSERT_TRUE(r.value.has_value());
    EXPECT_GE(r.value->points.front().ratio_to_highest, 0.6);
    const min_ai_result m = best_weighting_for_min_ai(p, o, 0.3);
    ASSERT_TRUE(m.status == pareto_status::found) << m.message;
    EXPECT_NEAR(quality(*m.value, objective), quality(r.value->points.front(), objective), 1e-12);
  }
}

// One predictor and one criterion correlating `validity`.
problem_spec one_predictor(double d, double validity) {
  problem_spec s;
  s.predictors = 1;
  s.criteria = 1;
  s.mode = ratio_mode::majority;
  s.predictor_weights = {1};
  s.criterion_weights = {1};
  s.correlations = {{1, validity}, {validity, 1}};
  s.predictor_effects = {d};
  s.criterion_effects = {-0.5};
  s.minority_share = 0.2;
  return s;
}

TEST(pareto_front_properties, OnePredictorWithWeightsOfEitherSign) {
  // The weightings are +1 and -1 and nothing between: a front of two
  // points, the second beyond parity, which the front did not stop at.
  for (const double d : {-1.0, -0.3, 0.4}) {
    const problem p = make(one_predictor(d, 0.5));
    for (const pareto_objective objective : {pareto_objective::validity, pareto_objective::mean}) {
      pareto_options o;
      o.mode = ratio_mode::majority;
      o.ratio = 0.1;
      o.signs = weight_signs::any;
      o.objective = objective;
      const pareto_result r = find_pareto_front(p, o);
      ASSERT_TRUE(r.value.has_value()) << r.message;
      const std::vector<weighting_outcome>& points = r.value->points;
      SCOPED_TRACE(d);
      if (d < 0) {
        ASSERT_EQ(points.size(), 2u);
        EXPECT_EQ(points[0].weights, std::vector<double>{1});
        EXPECT_EQ(points[1].weights, std::vector<double>{-1});
        EXPECT_EQ(points[0].validity, 0.5);
        EXPECT_EQ(points[1].validity, -0.5);
        EXPECT_LT(points[0].ai_ratio, 1);
        EXPECT_GT(points[1].ai_ratio, 1);
        EXPECT_FALSE(r.value->stopped_at_parity);
      } else {
        // +1 already favours the minority group and has the better
        // validity: it is the whole front.
        ASSERT_EQ(points.size(), 1u);
        EXPECT_EQ(points[0].weights, std::vector<double>{1});
      }
    }
  }
}

// `n` predictors uncorrelated with the criterion, correlating 0.3 among
// themselves, with effect sizes from -0.9 to 0.5.
problem_spec no_validity(int n, double criterion_effect = -0.3) {
  problem_spec s;
  s.predictors = n;
  s.criteria = 1;
  s.mode = ratio_mode::overall;
  s.predictor_weights.assign(static_cast<std::size_t>(n), 1.0);
  s.criterion_weights = {1};
  const auto size = static_cast<std::size_t>(n) + 1;
  s.correlations.assign(size, std::vector<double>(size, 0.3));
  for (std::size_t i = 0; i < size; ++i) {
    s.correlations[i][i] = 1;
    s.correlations[i][size - 1] = s.correlations[size - 1][i] = i + 1 == size ? 1 : 0;
  }
  for (int j = 0; j < n; ++j) s.predictor_effects.push_back(-0.9 + 1.4 * j / (n - 1));
  s.criterion_effects = {criterion_effect};
  s.minority_share = 0.25;
  return s;
}

TEST(pareto_front_properties, ValiditiesAllZeroGiveOnePointAtParity) {
  // Every weighting has validity 0: the only front point is a weighting at
  // parity, not the one that favours the minority group most.
  for (const int n : {2, 5, 29}) {
    const problem p = make(no_validity(n));
    for (const weight_signs signs : {weight_signs::any, weight_signs::nonnegative}) {
      pareto_options o;
      o.ratio = 0.2;
      o.signs = signs;
      SCOPED_TRACE(std::to_string(n) + (signs == weight_signs::any ? " any" : " nonnegative"));
      const pareto_result r = find_pareto_front(p, o);
      ASSERT_TRUE(r.value.has_value()) << r.message;
      ASSERT_EQ(r.value->points.size(), 1u);
      const weighting_outcome& w = r.value->points.front();
      EXPECT_EQ(w.validity, 0);
      EXPECT_NEAR(w.composite_d, 0, 1e-12);
      EXPECT_NEAR(w.ai_ratio, 1, 1e-12);
      EXPECT_TRUE(r.value->stopped_at_parity);
      const min_ai_result m = best_weighting_for_min_ai(p, o, 0.5);
      ASSERT_TRUE(m.status == pareto_status::found);
      EXPECT_NEAR(m.value->ai_ratio, 1, 1e-12);
    }
  }
}

TEST(pareto_front_properties, MeansAllEqualGiveOnePointAtParity) {
  // Validities all zero and no criterion difference: the mean of those
  // selected is 0 for every weighting, and of all these ties the front is
  // the one at parity.
  for (const int n : {2, 6}) {
    const problem p = make(no_validity(n, 0));
    for (const weight_signs signs : {weight_signs::any, weight_signs::nonnegative}) {
      for (const ratio_mode mode : {ratio_mode::overall, ratio_mode::majority}) {
        pareto_options o;
        o.ratio = 0.3;
        o.mode = mode;
        o.signs = signs;
        o.objective = pareto_objective::mean;
        const pareto_result r = find_pareto_front(p, o);
        ASSERT_TRUE(r.value.has_value()) << r.message;
        ASSERT_EQ(r.value->points.size(), 1u);
        const weighting_outcome& w = r.value->points.front();
        EXPECT_EQ(*w.mean, 0);
        EXPECT_NEAR(w.ai_ratio, 1, 1e-12);
        EXPECT_TRUE(r.value->stopped_at_parity);
        const min_ai_result m = best_weighting_for_min_ai(p, o, 0);
        ASSERT_TRUE(m.status == pareto_status::found);
        EXPECT_NEAR(m.value->ai_ratio, 1, 1e-12);
      }
    }
  }
}

TEST(pareto_front_properties, ValiditiesAllZeroWithTheMean) {
  // With a criterion favouring the majority the mean falls as the
  // composite's effect rises: the front runs from the lowest effect any
  // weighting has, -sqrt(d'R^-1 d) with weights of any sign, to parity.
  const problem_spec s = no_validity(5);
  const problem p = make(s);
  std::vector<double> r(25), d = s.predictor_effects;
  for (std::size_t i = 0; i < 5; ++i) {
    for (std::size_t j = 0; j < 5; ++j) r[i * 5 + j] = s.correlations[i][j];
  }
  const std::vector<double> y = pareto_test::solve(r, 5, d);
  const double lowest = -std::sqrt(pareto_test::dot(d, y));
  for (const ratio_mode mode : {ratio_mode::overall, ratio_mode::majority}) {
    pareto_options o;
    o.ratio = 0.3;
    o.mode = mode;
    o.signs = weight_signs::any;
    o.objective = pareto_objective::mean;
    const pareto_result f = find_pareto_front(p, o);
    ASSERT_TRUE(f.value.has_value());
    const std::vector<weighting_outcome>& points = f.value->points;
    ASSERT_EQ(points.size(), 21u);
    EXPECT_NEAR(points.front().composite_d, lowest, 1e-12);
    EXPECT_NEAR(points.back().ai_ratio, 1, 1e-12);
    EXPECT_TRUE(f.value->stopped_at_parity);
  }
}

}  // namespace
}  // namespace fourfifths
