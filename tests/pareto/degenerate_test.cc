// Degenerate inputs: effect sizes or validities all zero, effect sizes
// proportional to validities, negative validities, a single predictor,
// identical predictors (simultaneous breakpoints), collinear groups, a
// covariance matrix for a correlation matrix, and inputs that are refused.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

#include "pareto/frontier.h"
#include "pareto_test_support.h"

namespace {

using pareto_test::problem;

constexpr auto any = pareto::sign_constraint::any;

const std::vector<double> r3 = {1, 0.3, 0.2, 0.3, 1, 0.1, 0.2, 0.1, 1};
const std::vector<double> r4 = {1,   0.3, 0.2, 0.1,  //
                                0.3, 1,   0.4, 0.2,  //
                                0.2, 0.4, 1,   0.3,  //
                                0.1, 0.2, 0.3, 1};

// The brute-force check of the random-problem tests, on a given problem.
void expect_front_unbeaten(const problem& p,
                           pareto::sign_constraint s = pareto::sign_constraint::nonnegative) {
  const pareto::frontier f = pareto_test::make_front(p, s);
  const pareto_test::front_sample front = pareto_test::sample_front(f, 201);
  for (std::size_t k = 0; k < front.points.size(); ++k) {
    pareto_test::expect_consistent(p, front.points[k], s == pareto::sign_constraint::nonnegative);
    EXPECT_GE(front.points[k].effect, front.asked[k] - 1e-12);
  }
  pareto_test::expect_mutually_undominated(front.points, 1e-12);
  pareto_test::random_source rnd(77);
  EXPECT_EQ(pareto_test::count_beating(p, front, pareto_test::brute_force_count / 4, 1e-6,
                                       [&] {
                                         if (s == pareto::sign_constraint::nonnegative)
                                           return pareto_test::random_weighting(p.n, rnd);
                                         std::vector<double> w(pareto_test::at(p.n));
                                         for (double& v : w) v = rnd.normal();
                                         return w;
                                       }),
            0);
}

TEST(pareto_degenerate, EffectSizesAllZero) {
  const problem p{3, r3, {0.3, 0.25, 0.2}, {0, 0, 0}};
  const std::vector<double> x = pareto_test::solve(p.r, 3, p.a);
  ASSERT_GT(std::min({x[0], x[1], x[2]}), 0);
  for (const auto s : {pareto::sign_constraint::nonnegative, any}) {
    const pareto::frontier f = pareto_test::make_front(p, s);
    EXPECT_EQ(f.quality_end().effect, 0);
    EXPECT_EQ(f.impact_end().effect, 0);
    EXPECT_NEAR(f.quality_end().validity, std::sqrt(pareto_test::dot(p.a, x)), 1e-14);
    EXPECT_NEAR(f.impact_end().validity, f.quality_end().validity, 1e-14);
    EXPECT_EQ(f.at_effect(0).weights, f.quality_end().weights);
    EXPECT_NO_THROW((void)f.at_effect(1e-13));
    EXPECT_THROW((void)f.at_effect(1e-3), std::out_of_range);
  }
}

TEST(pareto_degenerate, ValiditiesAllZero) {
  const problem p{3, r3, {0, 0, 0}, {0.3, 0.25, 0.2}};
  const std::vector<double> y = pareto_test::solve(p.r, 3, p.d);
  ASSERT_GT(std::min({y[0], y[1], y[2]}), 0);
  for (const auto s : {pareto::sign_constraint::nonnegative, any}) {
    const pareto::frontier f = pareto_test::make_front(p, s);
    EXPECT_EQ(f.quality_end().validity, 0);
    EXPECT_NEAR(f.quality_end().effect, std::sqrt(pareto_test::dot(p.d, y)), 1e-14);
    EXPECT_NEAR(f.impact_end().effect, f.quality_end().effect, 1e-14);
  }
}

TEST(pareto_degenerate, EverythingZero) {
  const problem p{3, r3, {0, 0, 0}, {0, 0, 0}};
  for (const auto s : {pareto::sign_constraint::nonnegative, any}) {
    const pareto::frontier f = pareto_test::make_front(p, s);
    EXPECT_EQ(f.quality_end().weights, (std::vector<double>{1, 0, 0}));
    EXPECT_EQ(f.at_effect(0).validity, 0);
  }
}

TEST(pareto_degenerate, EffectSizesProportionalToValidities) {
  // d = -2a: every weighting lies on the line e = -2v, and the front is the
  // whole stretch of it that can be reached.
  const std::vector<double> a = {0.3, 0.25, 0.2, 0.35};
  const problem p{4, r4, a, {-0.6, -0.5, -0.4, -0.7}};
  const pareto::frontier f = pareto_test::make_front(p);
  const std::vector<double> x = pareto_test::solve(p.r, 4, p.a);
  ASSERT_GT(std::min({x[0], x[1], x[2], x[3]}), 0);
  EXPECT_NEAR(f.quality_end().validity, std::sqrt(pareto_test::dot(p.a, x)), 1e-14);
  // The smallest group difference: the third predictor alone.
  EXPECT_EQ(f.impact_end().weights, (std::vector<double>{0, 0, 1, 0}));
  for (const auto& w : pareto_test::sample_front(f, 101).points) {
    EXPECT_NEAR(w.validity, -w.effect / 2, 1e-15);
  }
  expect_front_unbeaten(p);

  const pareto::frontier g = pareto_test::make_front(p, any);
  EXPECT_NEAR(g.impact_end().effect, -g.quality_end().effect, 1e-14);
  for (const auto& w : pareto_test::sample_front(g, 101).points) {
    EXPECT_NEAR(w.validity, -w.effect / 2, 1e-15);
  }
  expect_front_unbeaten(p, any);

  // d = 2a: both aims agree; the front is one point.
  const problem same{4, r4, a, {0.6, 0.5, 0.4, 0.7}};
  for (const auto s : {pareto::sign_constraint::nonnegative, any}) {
    const pareto::frontier h = pareto_test::make_front(same, s);
    EXPECT_NEAR(h.impact_end().effect, h.quality_end().effect, 1e-14);
    EXPECT_NEAR(h.impact_end().validity, h.quality_end().validity, 1e-14);
  }
}

TEST(pareto_degenerate, ThreeCollinearPredictorsAndOneOther) {
  // (a_j, d_j) of the first three on the line d = -2a: a group whose image
  // is a segment of that line.
  const problem p{4, r4, {0.3, 0.1, 0.2, 0.25}, {-0.6, -0.2, -0.4, -0.1}};
  expect_front_unbeaten(p);
  const problem q{4, r4, {0.3, 0.1, 0.2, 0.05}, {-0.6, -0.2, -0.4, -0.3}};
  expect_front_unbeaten(q);
}

TEST(pareto_degenerate, APredictorWithNeitherValidityNorDifference) {
  // a_0 = d_0 = 0: its multiplier vanishes together with the last weight
  // of the trace, a double event that once stalled the trace.
  problem p = pareto_test::random_problem(4, 9988, pareto_test::effects::negative);
  p.a[0] = 0;
  p.d[0] = 0;
  expect_front_unbeaten(p);
}

TEST(pareto_degenerate, HalfThePredictorsCollinear) {
  // Every other predictor on the line d = -2a, among twelve: simultaneous
  // events along the trace.
  problem p = pareto_test::random_problem(12, 9880, pareto_test::effects::negative);
  for (std::size_t j = 0; j < p.a.size(); j += 2) p.d[j] = -2 * p.a[j];
  expect_front_unbeaten(p);
}

TEST(pareto_degenerate, NegativeValidityAtTheImpactEnd) {
  const problem p{3, r3, {0.3, 0.2, -0.1}, {-0.8, -0.3, 0.4}};
  const pareto::frontier f = pareto_test::make_front(p);
  EXPECT_LT(f.impact_end().validity, 0);
  expect_front_unbeaten(p);
}

TEST(pareto_degenerate, EveryValidityNegative) {
  // The highest validity is -0.1, from the first or the third predictor
  // alone; the tie goes to the higher effect, the first's.
  const problem p{3, r3, {-0.1, -0.3, -0.1}, {-0.2, 0.1, -0.5}};
  const pareto::frontier f = pareto_test::make_front(p);
  EXPECT_EQ(f.quality_end().weights, (std::vector<double>{1, 0, 0}));
  EXPECT_EQ(f.quality_end().validity, -0.1);
  expect_front_unbeaten(p);
}

TEST(pareto_degenerate, SinglePredictor) {
  const problem p{1, {1}, {0.3}, {-0.5}};
  const pareto::frontier f = pareto_test::make_front(p);
  EXPECT_EQ(f.quality_end().weights, (std::vector<double>{1}));
  EXPECT_EQ(f.impact_end().effect, -0.5);
  EXPECT_EQ(f.at_effect(-0.5).validity, 0.3);
  EXPECT_EQ(f.at_effect(-7).validity, 0.3);
  EXPECT_THROW((void)f.at_effect(-0.4), std::out_of_range);

  // Any sign: w = 1 or w = -1, two points and nothing between.
  const pareto::frontier g = pareto_test::make_front(p, any);
  EXPECT_FALSE(g.concave());
  EXPECT_EQ(g.quality_end().weights, (std::vector<double>{1}));
  EXPECT_EQ(g.impact_end().weights, (std::vector<double>{-1}));
  EXPECT_EQ(g.impact_end().validity, -0.3);
  EXPECT_EQ(g.impact_end().effect, 0.5);
  EXPECT_EQ(g.at_effect(0).weights, (std::vector<double>{-1}));
}

TEST(pareto_degenerate, IdenticalPredictorsShareTheirWeight) {
  // The first two predictors are interchangeable, so the best weighting
  // gives them equal weights and their breakpoints coincide.
  const problem p{4,
                  {1, 0.6, 0.2, 0.1, 0.6, 1, 0.2, 0.1, 0.2, 0.2, 1, 0.3, 0.1, 0.1, 0.3, 1},
                  {0.3, 0.3, 0.2, 0.25},
                  {-0.7, -0.7, -0.2, -0.4}};
  const pareto::frontier f = pareto_test::make_front(p);
  for (const auto& w : pareto_test::sample_front(f, 101).points)
    EXPECT_NEAR(w.weights[0], w.weights[1], 1e-12);
  expect_front_unbeaten(p);
}

TEST(pareto_degenerate, CovarianceMatrixGivesTheSameFront) {
  // Predictors on scales with standard deviations 2, 0.5, 3: covariances
  // and raw validities and differences scale alike, and each weight by the
  // reciprocal of its standard deviation.
  const problem p{3, r3, {0.3, 0.25, 0.2}, {-0.8, -0.2, -0.4}};
  const std::vector<double> sd = {2, 0.5, 3};
  problem raw = p;
  for (int i = 0; i < 3; ++i) {
    raw.a[pareto_test::at(i)] *= sd[pareto_test::at(i)];
    raw.d[pareto_test::at(i)] *= sd[pareto_test::at(i)];
    for (int j = 0; j < 3; ++j)
      raw.r[pareto_test::at(3 * i + j)] *= sd[pareto_test::at(i)] * sd[pareto_test::at(j)];
  }
  const pareto::frontier f = pareto_test::make_front(p);
  const pareto::frontier g = pareto_test::make_front(raw);
  const auto front = pareto_test::sample_front(f, 21);
  for (std::size_t k = 0; k < front.points.size(); ++k) {
    const pareto::weighting w = g.at_effect(front.asked[k]);
    EXPECT_NEAR(w.validity, front.points[k].validity, 1e-13);
    EXPECT_NEAR(w.effect, front.points[k].effect, 1e-13);
    std::vector<double> back(3);
    double sum = 0;
    for (std::size_t j = 0; j < 3; ++j) sum += back[j] = w.weights[j] * sd[j];
    for (std::size_t j = 0; j < 3; ++j)
      EXPECT_NEAR(back[j] / sum, front.points[k].weights[j], 1e-12);
  }
}

TEST(pareto_degenerate, RefusedInputs) {
  const std::vector<double> a = {0.3, 0.2};
  const std::vector<double> d = {-0.5, -0.1};
  const auto build = [](int n, const std::vector<double>& r, const std::vector<double>& va,
                        const std::vector<double>& vd) { return pareto::frontier(n, r, va, vd); };
  EXPECT_THROW(build(0, {}, {}, {}), std::invalid_argument);
  EXPECT_THROW(build(2, {1, 0.2, 0.2}, a, d), std::invalid_argument);
  EXPECT_THROW(build(2, {1, 0.2, 0.2, 1}, {0.3}, d), std::invalid_argument);
  EXPECT_THROW(build(2, {1, 0.2, 0.2, 1}, {0.3, NAN}, d), std::invalid_argument);
  EXPECT_THROW(build(2, {1, 0.2, 0.2, 1}, a, {-0.5, INFINITY}), std::invalid_argument);
  EXPECT_THROW(build(2, {1, 0.2, 0.3, 1}, a, d), std::invalid_argument);  // asymmetric
  EXPECT_THROW(build(2, {1, 1.2, 1.2, 1}, a, d), std::invalid_argument);  // indefinite
  EXPECT_THROW(build(2, {1, 1, 1, 1}, a, d), std::invalid_argument);      // singular
  EXPECT_THROW(build(2, {0, 0, 0, 1}, a, d), std::invalid_argument);      // zero variance
  EXPECT_THROW(build(3, {1, 0.9, 0.9, 0.9, 1, -0.9, 0.9, -0.9, 1}, {0.3, 0.2, 0.1}, {-1, 0, 0}),
               std::invalid_argument);  // correlations that no variables can have
  const pareto::frontier f = build(2, {1, 0.2, 0.2, 1}, a, d);
  EXPECT_THROW((void)f.at_effect(std::numeric_limits<double>::quiet_NaN()), std::out_of_range);
  EXPECT_THROW((void)f.at_effect(f.impact_end().effect + 1e-9), std::out_of_range);
  EXPECT_NO_THROW((void)f.at_effect(f.impact_end().effect + 1e-13));
}

}  // namespace
