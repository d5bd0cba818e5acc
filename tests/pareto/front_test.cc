// The library's Pareto-optimal weights at a selection ratio: the front in
// the impact ratio and the quality of those selected, checked against a
// brute-force search over random weightings evaluated by the engine, its
// ends, the spacing of its points, the answer to "at least A", and the
// questions it refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "analysis/composite.h"
#include "fourfifths/fourfifths.h"
#include "pareto_test_support.h"

namespace fourfifths {
namespace {

using pareto_test::effects;
using pareto_test::random_source;

// The published four-predictor example (examples/published_four_predictors.json).
problem_spec published() {
  problem_spec s;
  s.predictors = 4;
  s.criteria = 1;
  s.regression_weights = true;
  s.criterion_weights = {1};
  s.correlations = {{1, .24, 0, .19, .30},
                    {.24, 1, .12, .16, .30},
                    {0, .12, 1, .51, .18},
                    {.19, .16, .51, 1, .28},
                    {.30, .30, .18, .28, 1}};
  s.predictor_effects = {-1.00, -0.23, -0.09, -0.33};
  s.criterion_effects = {-0.21};
  s.majority_per_minority = 3;
  return s;
}

// A random problem of the frontier's tests, with one criterion.
problem_spec random_spec(int n, std::uint64_t seed, effects style) {
  const pareto_test::problem r = pareto_test::random_problem(n, seed, style);
  problem_spec s;
  s.predictors = n;
  s.criteria = 1;
  s.predictor_weights.assign(static_cast<std::size_t>(n), 1.0);
  s.criterion_weights = {1};
  const auto size = static_cast<std::size_t>(n);
  s.correlations.assign(size + 1, std::vector<double>(size + 1, 0.0));
  for (std::size_t i = 0; i < size; ++i) {
    for (std::size_t j = 0; j < size; ++j) s.correlations[i][j] = r.r[i * size + j];
    s.correlations[i][size] = s.correlations[size][i] = r.a[i];
  }
  s.correlations[size][size] = 1;
  s.predictor_effects = r.d;
  s.criterion_effects = {-0.2};
  s.minority_share = 0.25;
  // Validities that no population has (the whole matrix not positive
  // definite) shrink until it has them: a front refuses such a matrix.
  while (!correlations_positive_definite(*make_problem(s).value)) {
    for (std::size_t i = 0; i < size; ++i) {
      s.correlations[i][size] = s.correlations[size][i] = 0.8 * s.correlations[i][size];
    }
  }
  return s;
}

problem make(const problem_spec& s) {
  problem_result built = make_problem(s);
  EXPECT_TRUE(built.value.has_value()) << (built.errors.empty() ? "" : built.errors[0].text());
  return *built.value;
}

double quality(const weighting_outcome& w, pareto_objective objective) {
  return objective == pareto_objective::validity ? w.validity : w.mean.value_or(-1e300);
}

// The impact ratio and the quality of a weighting at R, as the engine
// computes them for any weighting.
std::pair<double, double> evaluate(const problem& p, std::span<const double> w,
                                   const pareto_options& o) {
  const composite_statistics c = analysis::composite_statistics(p, w);
  const selection_model m{.mode = o.mode,
                          .quality = quality_basis::criterion,
                          .mix = p.mix(),
                          .predictor_effect = c.predictor_effect,
                          .validity = c.validity,
                          .criterion_effect = c.criterion_effect};
  const outcome x = outcome_at(m, o.ratio, method::precise);
  const double q = o.objective == pareto_objective::validity ? c.validity : x.mean.value_or(-1e300);
  return {x.ai_ratio, q};
}

// None of `draws` random weightings beats a front point in both the impact
// ratio and the quality by more than 1e-6, and no front point beats
// another.
void expect_no_better_weighting(const problem& p, const pareto_options& o, int draws,
                                std::uint64_t seed) {
  const pareto_result r = find_pareto_front(p, o);
  ASSERT_TRUE(r.value.has_value()) << r.message;
  const std::vector<weighting_outcome>& front = r.value->points;
  for (const weighting_outcome& f : front) {
    for (const weighting_outcome& g : front) {
      EXPECT_FALSE(g.ai_ratio > f.ai_ratio + 1e-9 &&
                   quality(g, o.objective) > quality(f, o.objective) + 1e-9);
    }
  }
  random_source rnd(seed);
  const int n = p.spec().predictors;
  std::vector<double> w(static_cast<std::size_t>(n));
  int beaten = 0;
  for (int k = 0; k < draws; ++k) {
    // Random supports, so that faces and edges are drawn too.
    for (double& x : w) x = rnd.uniform() < 0.3 ? 0 : -std::log(1 - rnd.uniform());
    if (o.signs == weight_signs::any) {
      for (double& x : w) x = rnd.normal();
    }
    if (std::all_of(w.begin(), w.end(), [](double x) { return x == 0; })) continue;
    const auto [ai, q] = evaluate(p, w, o);
    for (const weighting_outcome& f : front) {
      if (ai > f.ai_ratio + 1e-6 && q > quality(f, o.objective) + 1e-6) ++beaten;
    }
  }
  EXPECT_EQ(beaten, 0);
}

TEST(ParetoFront, PublishedExampleEnds) {
  const problem p = make(published());
  pareto_options o;
  o.ratio = 0.10;
  const pareto_result r = find_pareto_front(p, o);
  ASSERT_TRUE(r.value.has_value()) << r.message;
  const std::vector<weighting_outcome>& points = r.value->points;
  ASSERT_EQ(points.size(), 21u);
  // The quality end is the regression weighting; the impact end the third
  // predictor alone (tests/pareto/data/four_predictor_ends.py, mpmath).
  const std::vector<double> regression{0.32464028, 0.31871878, 0.10133048, 0.25531046};
  for (std::size_t j = 0; j < 4; ++j) EXPECT_NEAR(points.front().weights[j], regression[j], 5e-9);
  EXPECT_NEAR(points.front().validity, 0.43432659193369765, 1e-12);
  EXPECT_NEAR(points.front().composite_d, -0.75474574659305286, 1e-12);
  EXPECT_EQ(points.back().weights, (std::vector<double>{0, 0, 1, 0}));
  EXPECT_NEAR(points.back().validity, 0.18, 1e-15);
  EXPECT_NEAR(points.back().composite_d, -0.09, 1e-15);
  EXPECT_FALSE(r.value->stopped_at_parity);
  // The marks: the regression weights are the quality end here; the
  // problem gives no weights of its own.
  EXPECT_NEAR(r.value->regression.validity, points.front().validity, 1e-12);
  EXPECT_FALSE(r.value->given.has_value());
  EXPECT_NEAR(r.value->unit.weights[0], 0.25, 1e-15);
}

TEST(ParetoFront, CorrelationsOfNoPopulationHaveNoFront) {
  // The criterion's validities .3 are raised until the whole matrix is no
  // correlation matrix; the predictor block still is one.
  problem_spec s = published();
  for (std::size_t i = 0; i < 4; ++i) s.correlations[i][4] = s.correlations[4][i] = 0.9;
  const problem p = make(s);
  ASSERT_FALSE(correlations_positive_definite(p));
  ASSERT_TRUE(predictor_block_positive_definite(p));
  pareto_options o;
  const pareto_result r = find_pareto_front(p, o);
  EXPECT_FALSE(r.value.has_value());
  EXPECT_EQ(r.status, pareto_status::not_positive_definite);
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0].path, "correlations");
  EXPECT_EQ(best_weighting_for_min_ai(p, o, 0.8).status, pareto_status::not_positive_definite);
}

TEST(ParetoFront, TwoToTenThousandPoints) {
  const problem p = make(published());
  pareto_options o;
  for (const int points : {2, 10000}) {
    o.points = points;
    const pareto_result r = find_pareto_front(p, o);
    ASSERT_TRUE(r.value.has_value()) << points;
    EXPECT_EQ(r.value->points.size(), static_cast<std::size_t>(points));
  }
  for (const int points : {1, 10001}) {
    o.points = points;
    const pareto_result r = find_pareto_front(p, o);
    EXPECT_EQ(r.status, pareto_status::bad_options) << points;
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].text(), "points: the number of points must lie between 2 and 10000");
  }
}

TEST(ParetoFront, PointsAreSpreadEvenlyInTheImpactRatio) {
  const problem p = make(published());
  pareto_options o;
  o.ratio = 0.10;
  o.points = 11;
  const std::vector<weighting_outcome> points = find_pareto_front(p, o).value->points;
  ASSERT_EQ(points.size(), 11u);
  const double step = (points.back().ai_ratio - points.front().ai_ratio) / 10;
  for (std::size_t k = 0; k < points.size(); ++k) {
    EXPECT_NEAR(points[k].ai_ratio, points.front().ai_ratio + step * static_cast<double>(k), 1e-12);
    // Each point's own impact ratio at R, and its four-fifths minimum.
    EXPECT_EQ(points[k].sr_minority / points[k].sr_majority, points[k].ai_ratio);
    ASSERT_TRUE(points[k].four_fifths_minimum.has_value());
    EXPECT_GT(*points[k].four_fifths_minimum, 0);
    if (k > 0) {
      EXPECT_LT(points[k].validity, points[k - 1].validity);
    }
  }
}

TEST(ParetoFront, NoRandomWeightingDoesBetter) {
  pareto_options o;
  o.ratio = 0.10;
  expect_no_better_weighting(make(published()), o, 200000, 7);
  o.objective = pareto_objective::mean;
  expect_no_better_weighting(make(published()), o, 200000, 8);
  for (int n = 3; n <= 6; ++n) {
    SCOPED_TRACE(n);
    const effects style = n % 2 == 0 ? effects::negative : effects::mixed;
    pareto_options q;
    q.ratio = 0.2;
    q.mode = n % 2 == 0 ? ratio_mode::overall : ratio_mode::majority;
    q.objective = n >= 5 ? pareto_objective::mean : pareto_objective::validity;
    expect_no_better_weighting(make(random_spec(n, 100 + static_cast<std::uint64_t>(n), style)), q,
                               50000, 200 + static_cast<std::uint64_t>(n));
  }
}

TEST(ParetoFront, WeightsOfAnySign) {
  pareto_options o;
  o.ratio = 0.3;
  o.signs = weight_signs::any;
  expect_no_better_weighting(make(random_spec(4, 9, effects::negative)), o, 50000, 10);
}

TEST(ParetoFront, StopsAtParity) {
  // A predictor on which the minority group scores higher: weightings can
  // favour the minority group, and the front stops where they do not.
  problem_spec s = published();
  s.predictor_effects[2] = 0.3;
  pareto_options o;
  o.ratio = 0.2;
  const pareto_result r = find_pareto_front(make(s), o);
  ASSERT_TRUE(r.value.has_value()) << r.message;
  EXPECT_TRUE(r.value->stopped_at_parity);
  EXPECT_NEAR(r.value->points.back().ai_ratio, 1, 1e-12);
  EXPECT_NEAR(r.value->points.back().composite_d, 0, 1e-12);
}

TEST(MinimumImpactRatio, AgreesWithTheFront) {
  const problem p = make(published());
  for (const pareto_objective objective : {pareto_objective::validity, pareto_objective::mean}) {
    pareto_options o;
    o.ratio = 0.10;
    o.objective = objective;
    const std::vector<weighting_outcome> points = find_pareto_front(p, o).value->points;
    for (const std::size_t k : {std::size_t{3}, std::size_t{10}, std::size_t{17}}) {
      const min_ai_result m = best_weighting_for_min_ai(p, o, points[k].ai_ratio);
      ASSERT_TRUE((m.status == pareto_status::found));
      EXPECT_NEAR(quality(*m.value, objective), quality(points[k], objective), 1e-9);
      EXPECT_GE(m.value->ai_ratio, points[k].ai_ratio - 1e-12);
    }
    // A ratio the quality end already meets: the quality end.
    const min_ai_result low = best_weighting_for_min_ai(p, o, 0.01);
    ASSERT_TRUE((low.status == pareto_status::found));
    EXPECT_NEAR(quality(*low.value, objective), quality(points.front(), objective), 1e-9);
  }
}

TEST(MinimumImpactRatio, OutOfReachSaysSoAndGivesTheHighest) {
  const problem p = make(published());
  pareto_options o;
  o.ratio = 0.10;
  const double highest = find_pareto_front(p, o).value->points.back().ai_ratio;
  const min_ai_result m = best_weighting_for_min_ai(p, o, highest + 0.01);
  EXPECT_FALSE((m.status == pareto_status::found));
  ASSERT_TRUE(m.value.has_value());
  EXPECT_EQ(m.value->weights, (std::vector<double>{0, 0, 1, 0}));
  EXPECT_EQ(m.value->ai_ratio, highest);
}

TEST(ParetoFront, QuestionsItRefuses) {
  pareto_options o;
  problem_spec none = published();
  none.criteria = 0;
  none.regression_weights = false;
  none.predictor_weights = {1, 1, 1, 1};
  none.criterion_weights.clear();
  none.criterion_effects.clear();
  none.quality = quality_basis::predictor;
  for (auto& row : none.correlations) row.pop_back();
  none.correlations.pop_back();
  EXPECT_NE(find_pareto_front(make(none), o).message.find("needs a criterion"), std::string::npos);

  problem_spec majority = published();
  majority.mode = ratio_mode::majority;
  majority.majority_per_minority.reset();
  const problem no_mix = make(majority);
  EXPECT_NE(find_pareto_front(no_mix, o).message.find("needs the applicant mix"),
            std::string::npos);
  o.mode = ratio_mode::majority;
  EXPECT_TRUE(find_pareto_front(no_mix, o).value.has_value());
  o.objective = pareto_objective::mean;
  EXPECT_NE(find_pareto_front(no_mix, o).message.find("mean objective needs the applicant mix"),
            std::string::npos);
  o = {};
  o.ratio = 1;
  EXPECT_NE(find_pareto_front(make(published()), o).message.find("strictly between 0 and 1"),
            std::string::npos);
  o.ratio = 0.1;
  o.points = 1;
  EXPECT_NE(find_pareto_front(make(published()), o).message.find("points"), std::string::npos);
}

}  // namespace
}  // namespace fourfifths
