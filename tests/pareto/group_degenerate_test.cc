// Fronts of several groups on problems at the edge of what they take, and
// the level their far end is bounded by:
// predictors that do not correlate with the criterion, validities that are
// all negative, a least ratio met only to the search's tolerance. Each is
// checked against this file's own model of the groups' rates (normal tails,
// the overall cut score by bisection), which shares no code with the
// library.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "fourfifths/group_pareto.h"
#include "fourfifths/pareto.h"
#include "pareto/sphere_lp.h"
#include "pareto_test_support.h"

namespace {

using fourfifths::minority_group;
using fourfifths::pareto_objective;
using fourfifths::pareto_options;
using fourfifths::ratio_mode;
using fourfifths::weight_signs;

double upper_tail(double z) { return 0.5 * std::erfc(z / std::sqrt(2.0)); }

// The lowest of every group's rate over the highest, for composite effects
// `e` (each group's mean minus the majority's, in the majority's standard
// deviations) at the selection ratio.
double lowest_ratio(const std::vector<double>& e, const std::vector<double>& shares, double ratio,
                    ratio_mode mode) {
  double majority = 1;
  for (const double s : shares) majority -= s;
  const auto selected = [&](double x) {
    if (mode == ratio_mode::majority) return upper_tail(x);
    double sum = majority * upper_tail(x);
    for (std::size_t g = 0; g < e.size(); ++g) sum += shares[g] * upper_tail(x - e[g]);
    return sum;
  };
  double low = -40, high = 40;  // selected(low) > ratio > selected(high)
  for (int k = 0; k < 200; ++k) {
    const double mid = (low + high) / 2;
    (selected(mid) > ratio ? low : high) = mid;
  }
  double lowest = upper_tail(low), highest = lowest;
  for (const double eg : e) {
    lowest = std::min(lowest, upper_tail(low - eg));
    highest = std::max(highest, upper_tail(low - eg));
  }
  return lowest / highest;
}

fourfifths::group_problem problem_of(std::vector<std::vector<double>> correlations,
                                     std::vector<minority_group> groups) {
  fourfifths::group_problem_spec spec;
  const int n = static_cast<int>(correlations.size()) - 1;
  spec.base.predictors = n;
  spec.base.criteria = 1;
  spec.base.predictor_weights.assign(static_cast<std::size_t>(n), 1.0);
  spec.base.criterion_weights = {1};
  spec.base.correlations = std::move(correlations);
  spec.groups = std::move(groups);
  fourfifths::group_problem_result built = fourfifths::make_group_problem(std::move(spec));
  EXPECT_TRUE(built.value.has_value());
  return std::move(*built.value);
}

// One predictor that does not correlate with the criterion: a single
// weighting (or two, turned either way), whose validity is 0 and whose
// lowest ratio the model gives.
TEST(GroupFrontEdges, APredictorOfNoValidityGivesItsOneWeighting) {
  const fourfifths::group_problem p =
      problem_of({{1, 0}, {0, 1}}, {{"G1", 0.2, {-1, 0}}, {"G2", 0.1, {-0.5, 0}}});
  for (const ratio_mode mode : {ratio_mode::overall, ratio_mode::majority}) {
    for (const weight_signs signs : {weight_signs::nonnegative, weight_signs::any}) {
      for (const pareto_objective objective :
           {pareto_objective::validity, pareto_objective::mean}) {
        pareto_options o;
        o.ratio = 0.2;
        o.mode = mode;
        o.signs = signs;
        o.objective = objective;
        const std::string name = std::string(mode == ratio_mode::overall ? "overall" : "majority") +
                                 (signs == weight_signs::any ? ", any sign" : "") +
                                 (objective == pareto_objective::mean ? ", mean" : "");
        // Weights of any sign may also turn the predictor round.
        double expected = lowest_ratio({-1, -0.5}, {0.2, 0.1}, 0.2, mode);
        if (signs == weight_signs::any) {
          expected = std::max(expected, lowest_ratio({1, 0.5}, {0.2, 0.1}, 0.2, mode));
        }
        const fourfifths::group_pareto_result front = fourfifths::find_group_pareto_front(p, o);
        ASSERT_TRUE(front.value.has_value()) << name;
        ASSERT_EQ(front.value->points.size(), 1U) << name;
        const fourfifths::group_weighting_outcome& w = front.value->points.front();
        EXPECT_EQ(w.validity, 0) << name;
        EXPECT_NEAR(w.lowest_ratio_to_highest, expected, 1e-12) << name;
        EXPECT_FALSE(std::isnan(w.lowest_ratio_to_highest)) << name;

        const fourfifths::group_min_ai_result reached =
            fourfifths::best_group_weighting_for_min_ai(p, o, expected - 0.01);
        ASSERT_TRUE(reached.value.has_value()) << name;
        EXPECT_EQ(reached.status, fourfifths::pareto_status::found) << name;
        const fourfifths::group_min_ai_result beyond =
            fourfifths::best_group_weighting_for_min_ai(p, o, 0.8);
        ASSERT_TRUE(beyond.value.has_value()) << name;
        EXPECT_EQ(beyond.status, fourfifths::pareto_status::unreachable) << name;
        EXPECT_NEAR(beyond.value->lowest_ratio_to_highest, expected, 1e-12) << name;
      }
    }
  }
}

// Three predictors none of which correlates with the criterion: every
// weighting has validity 0, so the front is the one weighting of the
// highest lowest ratio, and no pair of its points is listed; its validity
// is every weighting's, so it is the best at its level, with the bound 0.
TEST(GroupFrontEdges, NoValidityAnywhereIsOnePointAtTheFarEnd) {
  const fourfifths::group_problem p =
      problem_of({{1, 0.2, 0.1, 0}, {0.2, 1, 0.3, 0}, {0.1, 0.3, 1, 0}, {0, 0, 0, 1}},
                 {{"G1", 0.2, {-1, 0.2, -0.3, 0}}, {"G2", 0.1, {-0.5, -0.4, 0.1, 0}}});
  pareto_options o;
  o.ratio = 0.2;
  const fourfifths::group_pareto_result front = fourfifths::find_group_pareto_front(p, o);
  ASSERT_TRUE(front.value.has_value());
  ASSERT_EQ(front.value->points.size(), 1U);
  EXPECT_EQ(front.value->points.front().validity, 0);
  EXPECT_EQ(front.value->points.front().bound, 0);
  EXPECT_TRUE(front.value->points.front().proved_optimal);
  // No weighting among many does better than the point's lowest ratio.
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> u(0, 1);
  const std::vector<std::vector<double>> d = {{-1, 0.2, -0.3}, {-0.5, -0.4, 0.1}};
  const std::vector<std::vector<double>> r = {{1, 0.2, 0.1}, {0.2, 1, 0.3}, {0.1, 0.3, 1}};
  double best = 0;
  for (int k = 0; k < 20000; ++k) {
    const std::vector<double> w = {u(rng), u(rng), u(rng)};
    double q = 0;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) q += w[i] * r[i][j] * w[j];
    }
    std::vector<double> e;
    e.reserve(d.size());
    for (const std::vector<double>& dg : d)
      e.push_back((dg[0] * w[0] + dg[1] * w[1] + dg[2] * w[2]) / std::sqrt(q));
    best = std::max(best, lowest_ratio(e, {0.2, 0.1}, 0.2, ratio_mode::overall));
  }
  EXPECT_GE(front.value->points.front().lowest_ratio_to_highest, best - 1e-9);
}

// The answer to a least ratio reaches that ratio itself, not only to the
// search's tolerance, at levels across the reachable range.
TEST(GroupFrontEdges, TheBestAtALeastRatioReachesItExactly) {
  const fourfifths::group_problem p = problem_of({{1.00, 0.24, 0.00, 0.19, 0.30},
                                                  {0.24, 1.00, 0.12, 0.16, 0.30},
                                                  {0.00, 0.12, 1.00, 0.51, 0.18},
                                                  {0.19, 0.16, 0.51, 1.00, 0.28},
                                                  {0.30, 0.30, 0.18, 0.28, 1.00}},
                                                 {{"G1", 0.15, {-1.0, -0.23, -0.09, -0.33, -0.4}},
                                                  {"G2", 0.10, {-0.7, -0.1, -0.3, -0.1, -0.2}},
                                                  {"G3", 0.05, {-0.3, -0.5, 0.1, -0.2, -0.1}}});
  for (const weight_signs signs : {weight_signs::nonnegative, weight_signs::any}) {
    for (const double level : {0.45, 0.6, 0.7, 0.8, 0.85, 0.9}) {
      pareto_options o;
      o.ratio = 0.3;
      o.signs = signs;
      const fourfifths::group_min_ai_result r =
          fourfifths::best_group_weighting_for_min_ai(p, o, level);
      ASSERT_TRUE(r.value.has_value()) << level;
      if (r.status == fourfifths::pareto_status::found) {
        EXPECT_GE(r.value->lowest_ratio_to_highest, level) << level;
      }
    }
  }
}

// Where every validity is negative, no weighting that reaches a point's
// lowest ratio has a validity above the point's bound, and a point is
// proved optimal only where its bound meets its validity.
TEST(GroupFrontEdges, BoundsHoldWhereEveryValidityIsNegative) {
  const std::vector<std::vector<double>> r = {{1, 0.3, 0.1}, {0.3, 1, 0.2}, {0.1, 0.2, 1}};
  const std::vector<double> a = {-0.2, -0.1, -0.05};
  const std::vector<std::vector<double>> d = {{-0.6, -0.1, 0.2}, {-0.2, -0.5, -0.1}};
  const std::vector<double> shares = {0.15, 0.1};
  const fourfifths::group_problem p = problem_of(
      {{1, 0.3, 0.1, -0.2}, {0.3, 1, 0.2, -0.1}, {0.1, 0.2, 1, -0.05}, {-0.2, -0.1, -0.05, 1}},
      {{"G1", 0.15, {-0.6, -0.1, 0.2, -0.3}}, {"G2", 0.1, {-0.2, -0.5, -0.1, -0.2}}});
  for (const int points : {3, 11}) {
    pareto_options o;
    o.ratio = 0.25;
    o.points = points;
    const fourfifths::group_pareto_result front = fourfifths::find_group_pareto_front(p, o);
    ASSERT_TRUE(front.value.has_value());
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> u(0, 1);
    std::vector<std::pair<double, double>> sample;  // (lowest ratio, validity)
    for (int k = 0; k < 20000; ++k) {
      std::vector<double> w = {u(rng), u(rng), u(rng)};
      w[static_cast<std::size_t>(k % 3)] *= k % 2;  // faces too
      double q = 0;
      for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) q += w[i] * r[i][j] * w[j];
      }
      if (q <= 0) continue;
      std::vector<double> e;
      e.reserve(d.size());
      for (const std::vector<double>& dg : d)
        e.push_back((dg[0] * w[0] + dg[1] * w[1] + dg[2] * w[2]) / std::sqrt(q));
      sample.emplace_back(lowest_ratio(e, shares, 0.25, ratio_mode::overall),
                          (a[0] * w[0] + a[1] * w[1] + a[2] * w[2]) / std::sqrt(q));
    }
    for (const fourfifths::group_weighting_outcome& w : front.value->points) {
      if (w.proved_optimal) {
        EXPECT_LE(std::fabs(w.bound - w.validity), 1e-9) << points;
      }
      if (std::isnan(w.bound)) continue;
      EXPECT_GE(w.bound, w.validity - 1e-9) << points;
      for (const auto& [lowest, validity] : sample) {
        if (lowest >= w.lowest_ratio_to_highest) {
          EXPECT_LE(validity, w.bound + 1e-9) << points << " at " << w.lowest_ratio_to_highest;
        }
      }
    }
  }
}

// Equations that only the origin meets (a group below the majority on
// every predictor at parity, the weights non-negative; or as many
// independent equations as predictors) have no weighting, rather than a
// weighting of zeros, which once read as every group at the same rate.
TEST(GroupFrontEdges, EquationsThatOnlyTheOriginMeetsHaveNoWeighting) {
  struct equations {
    std::vector<double> r;
    std::vector<std::vector<double>> d;
  };
  const equations cases[] = {
      {{1, -0.095, -0.011, -0.048, -0.095, 1, 0.029, -0.013, -0.011, 0.029, 1, -0.205, -0.048,
        -0.013, -0.205, 1},
       {{-0.251, -0.982, -0.404, -0.305},
        {-0.409, -0.037, -0.131, 0.152},
        {-0.09, -0.56, -1.067, -1.018},
        {-0.831, 0.182, -1.043, -0.303}}},
      {{1, 0.2, 0.1, 0.2, 1, 0.3, 0.1, 0.3, 1},
       {{-1, 0.2, -0.3}, {-0.5, -0.4, 0.1}, {0.3, -0.2, -0.6}}},
  };
  for (const equations& c : cases) {
    const int n = static_cast<int>(c.d.front().size());
    std::vector<pareto::linear_constraint> equal;
    for (const std::vector<double>& row : c.d) {
      equal.push_back({row, 0});
      std::vector<double> minus = row;
      for (double& x : minus) x = -x;
      equal.push_back({minus, 0});
    }
    std::vector<double> objective(static_cast<std::size_t>(n), 0.1);
    for (const pareto::sign_constraint signs :
         {pareto::sign_constraint::nonnegative, pareto::sign_constraint::any}) {
      const pareto::sphere_lp lp(n, c.r, signs);
      EXPECT_FALSE(lp.maximise(objective, equal).has_value()) << n;
      // The best lowest slack is a weighting of the sphere, whatever it
      // misses.
      const std::optional<std::vector<double>> w = lp.maximise_lowest(equal);
      ASSERT_TRUE(w.has_value());
      double q = 0;
      for (std::size_t i = 0; i < w->size(); ++i) {
        for (std::size_t j = 0; j < w->size(); ++j) q += (*w)[i] * c.r[i * w->size() + j] * (*w)[j];
      }
      EXPECT_NEAR(q, 1, 1e-9) << n;
    }
  }
}

// The highest lowest ratio of two-predictor weightings w = (cos t, sin t),
// t over [from, to): a dense sweep, then golden sections about the best.
double highest_over_angle(const std::vector<std::vector<double>>& r,
                          const std::vector<minority_group>& groups, double ratio, ratio_mode mode,
                          double from, double to) {
  std::vector<double> shares;
  shares.reserve(groups.size());
  for (const minority_group& g : groups) shares.push_back(*g.share);
  const auto lowest_at = [&](double t) {
    const double w0 = std::cos(t), w1 = std::sin(t);
    const double sd = std::sqrt(w0 * w0 + w1 * w1 + 2 * r[0][1] * w0 * w1);
    std::vector<double> e;
    e.reserve(groups.size());
    for (const minority_group& g : groups) e.push_back((g.d[0] * w0 + g.d[1] * w1) / sd);
    return lowest_ratio(e, shares, ratio, mode);
  };
  constexpr int steps = 20000;
  const double step = (to - from) / steps;
  double best_t = from, best = -1;
  for (int k = 0; k < steps; ++k) {
    const double t = from + step * k;
    if (const double v = lowest_at(t); v > best) best = v, best_t = t;
  }
  double a = std::max(from, best_t - step), b = std::min(to, best_t + step);
  const double golden = (std::sqrt(5.0) - 1) / 2;
  for (int k = 0; k < 100; ++k) {
    const double c = b - golden * (b - a), d = a + golden * (b - a);
    (lowest_at(c) > lowest_at(d) ? b : a) = (lowest_at(c) > lowest_at(d) ? d : c);
  }
  return std::max(best, lowest_at((a + b) / 2));
}

// The mean criterion score of those selected and the lowest ratio at the
// angle t of two predictors, in this file's model: each group's selected
// have mean dcc_g + v phi(z_g) / Q(z_g), z_g = x - e_g, weighted by their
// share of those selected.
std::pair<double, double> mean_and_lowest(const std::vector<std::vector<double>>& r,
                                          const std::vector<minority_group>& groups, double ratio,
                                          ratio_mode mode, double t) {
  const double w0 = std::cos(t), w1 = std::sin(t);
  const double sd = std::sqrt(w0 * w0 + w1 * w1 + 2 * r[0][1] * w0 * w1);
  const double v = (r[0][2] * w0 + r[1][2] * w1) / sd;
  std::vector<double> e, shares;
  double majority = 1;
  for (const minority_group& g : groups) {
    e.push_back((g.d[0] * w0 + g.d[1] * w1) / sd);
    shares.push_back(*g.share);
    majority -= *g.share;
  }
  const auto selected = [&](double x) {
    if (mode == ratio_mode::majority) return upper_tail(x);
    double sum = majority * upper_tail(x);
    for (std::size_t g = 0; g < e.size(); ++g) sum += shares[g] * upper_tail(x - e[g]);
    return sum;
  };
  double low = -40, high = 40;
  for (int k = 0; k < 200; ++k) {
    const double mid = (low + high) / 2;
    (selected(mid) > ratio ? low : high) = mid;
  }
  const auto density = [](double z) { return std::exp(-z * z / 2) / std::sqrt(2 * std::acos(-1.0)); };
  double count = majority * upper_tail(low);
  double sum = majority * v * density(low);
  for (std::size_t g = 0; g < e.size(); ++g) {
    const double z = low - e[g];
    count += shares[g] * upper_tail(z);
    sum += shares[g] * (upper_tail(z) * groups[g].d[2] + v * density(z));
  }
  return {sum / count, lowest_ratio(e, shares, ratio, mode)};
}

TEST(GroupMeanBound, NoWeightingBeatsAPointsBoundOnTheMean) {
  // Two predictors of either sign, both modes: every weighting is an angle;
  // none whose lowest ratio reaches a point's may have a higher mean than
  // the point's bound, and where a point is proved its mean is the best.
  std::mt19937 random(9122026);
  std::uniform_real_distribution<double> effect(-1.0, 0.6), share(0.03, 0.25), corr(-0.2, 0.6);
  int bounded = 0;
  for (int k = 0; k < 12; ++k) {
    const double r01 = corr(random), r02 = corr(random), r12 = corr(random);
    const std::vector<std::vector<double>> r = {{1, r01, r02}, {r01, 1, r12}, {r02, r12, 1}};
    std::vector<minority_group> groups;
    groups.reserve(3);
    for (int g = 0; g < 2 + k % 2; ++g) {
      groups.push_back(
          {"G" + std::to_string(g), share(random), {effect(random), effect(random), effect(random)}});
    }
    pareto_options o;
    o.ratio = k % 4 < 2 ? 0.15 : 0.4;
    o.mode = k % 3 == 0 ? ratio_mode::majority : ratio_mode::overall;
    o.signs = weight_signs::any;
    o.objective = fourfifths::pareto_objective::mean;
    o.points = 5;
    const fourfifths::group_pareto_result front =
        fourfifths::find_group_pareto_front(problem_of(r, groups), o);
    if (!front.value) continue;
    std::vector<std::pair<double, double>> sweep;
    constexpr int steps = 20000;
    sweep.reserve(steps);
    for (int s = 0; s < steps; ++s)
      sweep.push_back(mean_and_lowest(r, groups, o.ratio, o.mode, 2 * std::acos(-1.0) * s / steps));
    for (const auto& point : front.value->points) {
      if (std::isnan(point.bound)) continue;
      ++bounded;
      double best = -1e300;
      for (const auto& [mean, lowest] : sweep) {
        if (lowest >= point.lowest_ratio_to_highest) best = std::max(best, mean);
      }
      EXPECT_LE(best, point.bound + 1e-9) << k;
    }
  }
  EXPECT_GE(bounded, 12);
}

TEST(GroupFarEnd, ProvedWhereEveryGroupStaysBelowTheMajority) {
  // Majority mode, every effect negative and the weights non-negative: no
  // group can pass the majority, so the groups' thresholds against it are
  // the whole condition and the level bound is the far end itself.
  const std::vector<std::vector<double>> r = {{1, 0.3, 0.5}, {0.3, 1, 0.4}, {0.5, 0.4, 1}};
  const std::vector<minority_group> groups = {{"G1", 0.15, {-1, -0.2, -0.3}},
                                              {"G2", 0.1, {-0.3, -0.7, -0.2}}};
  const fourfifths::group_problem p = problem_of(r, groups);
  pareto_options o;
  o.ratio = 0.2;
  o.mode = ratio_mode::majority;
  o.points = 5;
  const double highest = highest_over_angle(r, groups, o.ratio, o.mode, 0, std::acos(-1.0) / 2);
  const fourfifths::group_pareto_result front = fourfifths::find_group_pareto_front(p, o);
  ASSERT_TRUE(front.value.has_value());
  EXPECT_NEAR(front.value->points.back().lowest_ratio_to_highest, highest, 1e-9);
  EXPECT_NEAR(front.value->highest_level_bound, highest, 1e-8);
  EXPECT_GE(front.value->highest_level_bound, highest - 1e-12);
  // Asked for more than that, the answer says no weighting reaches it,
  // and gives the bound that proves it.
  const fourfifths::group_min_ai_result beyond =
      fourfifths::best_group_weighting_for_min_ai(p, o, highest + 0.01);
  EXPECT_EQ(beyond.status, fourfifths::pareto_status::unreachable);
  EXPECT_LT(beyond.highest_level_bound, highest + 0.01);
  EXPECT_GE(beyond.highest_level_bound, highest - 1e-12);
}

TEST(GroupFarEnd, ProvedWhereEveryGroupStaysAboveTheMajority) {
  // The mirror image: every effect positive, so every group is selected
  // more often than the majority, and the majority's rate against the
  // highest is the whole condition: the thresholds from above make the
  // bound the far end.
  const std::vector<std::vector<double>> r = {{1, 0.3, 0.5}, {0.3, 1, 0.4}, {0.5, 0.4, 1}};
  const std::vector<minority_group> groups = {{"G1", 0.15, {0.9, 0.2, 0.3}},
                                              {"G2", 0.1, {0.3, 0.8, 0.2}}};
  const fourfifths::group_problem p = problem_of(r, groups);
  pareto_options o;
  o.ratio = 0.2;
  o.mode = ratio_mode::majority;
  o.points = 5;
  const double highest = highest_over_angle(r, groups, o.ratio, o.mode, 0, std::acos(-1.0) / 2);
  const fourfifths::group_pareto_result front = fourfifths::find_group_pareto_front(p, o);
  ASSERT_TRUE(front.value.has_value());
  EXPECT_NEAR(front.value->points.back().lowest_ratio_to_highest, highest, 1e-9);
  EXPECT_NEAR(front.value->highest_level_bound, highest, 1e-8);
}

// Six predictors, four groups, overall mode, non-negative weights (the
// larger benchmark front): at the far end ratios tie along a ridge where
// the lowest ratio falls slowly, and a bound from the boxes' ranges of the
// groups' means alone left a gap of 1.9e-3 after 20,000 splits; the
// pairs' mean-value forms prove it. SLSQP on the checker's model from the
// best of 10^6 random weightings reaches 0.7030527288540418.
TEST(GroupFarEnd, ARidgeOfTiedRatiosIsProvedWithNonNegativeWeights) {
  const std::vector<std::vector<double>> r = {{1.00, 0.31, 0.00, 0.37, 0.02, 0.38, 0.51},
                                              {0.31, 1.00, 0.12, 0.16, 0.09, 0.30, 0.48},
                                              {0.00, 0.12, 1.00, 0.51, 0.70, 0.10, 0.22},
                                              {0.37, 0.16, 0.51, 1.00, 0.33, 0.25, 0.32},
                                              {0.02, 0.09, 0.70, 0.33, 1.00, 0.05, 0.34},
                                              {0.38, 0.30, 0.10, 0.25, 0.05, 1.00, 0.33},
                                              {0.51, 0.48, 0.22, 0.32, 0.34, 0.33, 1.00}};
  const std::vector<minority_group> groups = {
      {"G1", 0.12, {-1.00, -0.23, -0.09, -0.33, -0.05, -0.52, -0.40}},
      {"G2", 0.10, {-0.70, -0.10, -0.30, -0.10, 0.00, -0.35, -0.30}},
      {"G3", 0.06, {-0.30, -0.50, 0.10, -0.20, 0.15, -0.10, -0.20}},
      {"G4", 0.04, {0.20, -0.40, -0.25, 0.10, -0.30, -0.15, -0.05}}};
  pareto_options o;
  o.ratio = 0.10;
  o.mode = ratio_mode::overall;
  o.signs = weight_signs::nonnegative;
  o.points = 2;
  const fourfifths::group_pareto_result front =
      fourfifths::find_group_pareto_front(problem_of(r, groups), o);
  ASSERT_TRUE(front.value.has_value());
  const double far = front.value->points.back().lowest_ratio_to_highest;
  EXPECT_NEAR(far, 0.7030527288540418, 1e-9);
  EXPECT_GE(front.value->highest_level_bound, far);
  EXPECT_LE(front.value->highest_level_bound, far + 1e-9);
}

// The far end alone (two points) in majority mode with non-negative
// weights.
fourfifths::group_pareto_result far_end_front(const std::vector<std::vector<double>>& r,
                                              const std::vector<minority_group>& groups,
                                              double ratio) {
  pareto_options o;
  o.ratio = ratio;
  o.mode = ratio_mode::majority;
  o.signs = weight_signs::nonnegative;
  o.points = 2;
  return fourfifths::find_group_pareto_front(problem_of(r, groups), o);
}

// Eight predictors, five groups (wide problem 73): at the top one group
// scores above the majority and two tie at the lowest, where the
// thresholds on each group's mean against the majority allowed levels up
// to 0.660; split over the highest mean, they prove the far end. SLSQP
// on the checker's model from the best of 2e5 random weightings reaches
// 0.451099719722652.
TEST(GroupFarEnd, ProvedWhereOneGroupScoresAboveTheMajorityAndTwoTieBelow) {
  const std::vector<std::vector<double>> r = {
      {1.0, -0.03, 0.28, -0.253, 0.05, 0.024, -0.216, -0.03, 0.028},
      {-0.03, 1.0, -0.227, -0.056, 0.216, -0.885, 0.645, 0.999, 0.092},
      {0.28, -0.227, 1.0, -0.303, -0.276, 0.224, -0.499, -0.2268, 0.503},
      {-0.253, -0.056, -0.303, 1.0, 0.161, 0.063, 0.24, -0.0559, 0.081},
      {0.05, 0.216, -0.276, 0.161, 1.0, -0.216, 0.389, 0.2158, 0.159},
      {0.024, -0.885, 0.224, 0.063, -0.216, 1.0, -0.649, -0.8841, 0.261},
      {-0.216, 0.645, -0.499, 0.24, 0.389, -0.649, 1.0, 0.6444, -0.128},
      {-0.03, 0.999, -0.2268, -0.0559, 0.2158, -0.8841, 0.6444, 1.0, 0.0919},
      {0.028, 0.092, 0.503, 0.081, 0.159, 0.261, -0.128, 0.0919, 1.0}};
  const std::vector<minority_group> groups = {
      {"G1", 0.001, {-0.542, 0.001, -0.534, -0.079, -0.642, -0.149, -0.296, -0.715, 0.213}},
      {"G2", 0.001, {-0.526, -0.315, -1.062, -0.961, -1.126, 0.153, -1.011, -0.363, 0.056}},
      {"G3", 0.0072, {-0.155, 0.414, -1.185, -0.637, 0.391, -1.015, -1.034, -1.14, 0.284}},
      {"G4", 0.033, {0.405, 0.281, -0.912, -0.632, -0.417, -0.494, -1.041, 0.397, -0.608}},
      {"G5", 0.0017, {0.08, 0.578, 0.537, 0.572, 0.58, 0.7, 0.144, 0.447, 0.612}}};
  const fourfifths::group_pareto_result front = far_end_front(r, groups, 0.388);
  ASSERT_TRUE(front.value.has_value());
  const double far = front.value->points.back().lowest_ratio_to_highest;
  EXPECT_NEAR(far, 0.451099719722652, 1e-9);
  EXPECT_GE(front.value->highest_level_bound, far);
  EXPECT_LE(front.value->highest_level_bound, far + 1e-9);
}

// Eight predictors, five groups (wide problem 89): at the top one group
// scores above the majority and three tie at the lowest, a hill none of
// the climbs' starts lies on (they all end at 0.36619, where two groups
// tie at the top). The split thresholds' finest part leads to it. SLSQP
// on the checker's model from the best of 10^6 random weightings reaches
// 0.379148207740103. (Some 25 s: not under the sanitizers.)
TEST(GroupFarEnd, TheSplitThresholdsLeadToAHillNoStartLiesOn) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "25 s in the release build";
#endif
  const std::vector<std::vector<double>> r = {
      {1.0, 0.212, -0.664, -0.407, -0.459, 0.554, -0.339, 0.629, -0.105},
      {0.212, 1.0, -0.358, -0.141, 0.312, -0.049, 0.174, 0.135, -0.25},
      {-0.664, -0.358, 1.0, 0.428, 0.354, -0.517, 0.277, -0.639, -0.289},
      {-0.407, -0.141, 0.428, 1.0, 0.29, -0.354, 0.215, -0.404, -0.091},
      {-0.459, 0.312, 0.354, 0.29, 1.0, -0.622, 0.515, -0.527, -0.178},
      {0.554, -0.049, -0.517, -0.354, -0.622, 1.0, -0.433, 0.587, -0.177},
      {-0.339, 0.174, 0.277, 0.215, 0.515, -0.433, 1.0, -0.381, -0.173},
      {0.629, 0.135, -0.639, -0.404, -0.527, 0.587, -0.381, 1.0, -0.018},
      {-0.105, -0.25, -0.289, -0.091, -0.178, -0.177, -0.173, -0.018, 1.0}};
  const std::vector<minority_group> groups = {
      {"G1", 0.0562, {-0.388, -1.192, -1.192, -0.036, 0.263, -1.061, 0.423, -0.928, 0.058}},
      {"G2", 0.0079, {-1.056, -1.098, -0.66, -0.683, -1.194, -0.782, -0.481, 0.354, -0.712}},
      {"G3", 0.0878, {0.053, 0.116, -0.064, 0.286, -1.078, -0.225, -0.199, -0.384, 0.267}},
      {"G4", 0.0421, {-0.026, -0.161, 0.473, 0.247, -0.089, -0.564, 0.182, 0.188, 0.102}},
      {"G5", 0.0245, {0.4, -0.96, -0.411, 0.458, 0.243, 0.26, -0.433, -0.572, 0.36}}};
  const fourfifths::group_pareto_result front = far_end_front(r, groups, 0.258);
  ASSERT_TRUE(front.value.has_value());
  const double far = front.value->points.back().lowest_ratio_to_highest;
  EXPECT_NEAR(far, 0.379148207740103, 1e-9);
  EXPECT_LE(front.value->highest_level_bound, far + 1e-9);
}

TEST(GroupFarEnd, TheLevelBoundIsNeverBelowAWeightingsLowestRatio) {
  // Two predictors of either sign, groups above and below the majority,
  // both modes: every weighting is an angle, and the sweep's best lowest
  // ratio may not exceed the bound.
  std::mt19937 random(20261209);
  std::uniform_real_distribution<double> effect(-1.2, 0.8), share(0.02, 0.3), corr(-0.3, 0.7);
  int checked = 0;
  for (int k = 0; k < 24; ++k) {
    const double r01 = corr(random), r02 = corr(random), r12 = corr(random);
    const std::vector<std::vector<double>> r = {{1, r01, r02}, {r01, 1, r12}, {r02, r12, 1}};
    std::vector<minority_group> groups;
    groups.reserve(3);
    for (int g = 0; g < 2 + k % 2; ++g) {
      groups.push_back(
          {"G" + std::to_string(g), share(random), {effect(random), effect(random), effect(random)}});
    }
    fourfifths::group_problem_spec spec;
    spec.base.predictors = 2;
    spec.base.criteria = 1;
    spec.base.predictor_weights = {1, 1};
    spec.base.criterion_weights = {1};
    spec.base.correlations = r;
    spec.groups = groups;
    const fourfifths::group_problem_result built = fourfifths::make_group_problem(std::move(spec));
    ASSERT_TRUE(built.value.has_value()) << k;
    pareto_options o;
    o.ratio = k % 4 < 2 ? 0.1 : 0.3;
    o.mode = k % 3 == 0 ? ratio_mode::majority : ratio_mode::overall;
    o.signs = weight_signs::any;
    o.points = 5;
    const fourfifths::group_pareto_result front = fourfifths::find_group_pareto_front(*built.value, o);
    if (!front.value) continue;  // refused: correlations that are not positive definite
    const double bound = front.value->highest_level_bound;
    if (std::isnan(bound)) continue;
    const double highest = highest_over_angle(r, groups, o.ratio, o.mode, 0, 2 * std::acos(-1.0));
    const double far = front.value->points.back().lowest_ratio_to_highest;
    EXPECT_GE(bound, highest - 1e-12) << k;
    EXPECT_GE(bound, far - 1e-12) << k;
    // The search over every weighting finds the sweep's hill, and on a
    // circle of weightings its boxes close on the top.
    EXPECT_GE(far, highest - 1e-9) << k;
    EXPECT_LE(bound, highest + 1e-6) << k;
    ++checked;
  }
  EXPECT_GE(checked, 12);
}

// Equal rates, where the effects leave room for them (seven predictors,
// five groups: the weightings with every composite effect 0 are a plane),
// are the far end, with the validity of the regression on what the effects
// leave: sqrt(a'R^-1 a - b'M^-1 b), b = D'R^-1 a, M = D'R^-1 D (D the
// groups' effects, a column each), worked here by this file's own
// elimination. Two predictors correlated 0.999 leave the equations met
// only to about 1e-11 by the solver; the front's last point meets them to
// rounding.
TEST(GroupFarEnd, EqualRatesAreMetExactlyWithTheBestValidityLeft) {
  const std::vector<std::vector<double>> r = {
       {1.0, 0.026, 0.023, 0.001, -0.015, -0.02, 0.999, 0.223},
       {0.026, 1.0, -0.012, 0.098, -0.227, -0.077, 0.026, 0.349},
       {0.023, -0.012, 1.0, -0.056, 0.101, 0.004, 0.023, 0.632},
       {0.001, 0.098, -0.056, 1.0, -0.268, -0.065, 0.001, 0.621},
       {-0.015, -0.227, 0.101, -0.268, 1.0, 0.152, -0.015, 0.002},
       {-0.02, -0.077, 0.004, -0.065, 0.152, 1.0, -0.02, 0.036},
       {0.999, 0.026, 0.023, 0.001, -0.015, -0.02, 1.0, 0.2228},
       {0.223, 0.349, 0.632, 0.621, 0.002, 0.036, 0.2228, 1.0}};
  const std::vector<minority_group> groups = {
       {"G1", 0.0286, {0.047, -0.908, -0.203, 0.24, -0.884, 0.138, 0.14, -0.621}},
       {"G2", 0.0034, {0.393, 0.361, -0.179, 0.065, -0.279, -0.328, 0.217, 0.366}},
       {"G3", 0.013, {-0.691, 0.237, -0.128, 0.418, -0.43, -0.424, -0.494, -0.714}},
       {"G4", 0.0087, {-0.985, 0.048, -1.165, -0.568, -0.399, -0.969, -0.727, 0.289}},
       {"G5", 0.0027, {0.298, 0.08, -1.105, -0.534, -0.533, -0.121, -0.594, -0.036}}};
  const int n = 7;
  std::vector<double> rpp;  // the predictors' block, row-major
  for (int i = 0; i < n; ++i)
    rpp.insert(rpp.end(), r[static_cast<std::size_t>(i)].begin(),
               r[static_cast<std::size_t>(i)].begin() + n);
  const auto solve = [&](const std::vector<double>& x) { return pareto_test::solve(rpp, n, x); };
  std::vector<double> a(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) a[static_cast<std::size_t>(i)] = r[static_cast<std::size_t>(i)][7];
  std::vector<std::vector<double>> d;
  d.reserve(groups.size());
  for (const minority_group& g : groups) d.emplace_back(g.d.begin(), g.d.begin() + n);
  const std::vector<double> ra = solve(a);
  const auto count = d.size();
  std::vector<double> m(count * count), b(count);
  for (std::size_t g = 0; g < count; ++g) {
    const std::vector<double> rd = solve(d[g]);
    b[g] = pareto_test::dot(rd, a);
    for (std::size_t h = 0; h < count; ++h) m[g * count + h] = pareto_test::dot(rd, d[h]);
  }
  const std::vector<double> y = pareto_test::solve(m, static_cast<int>(count), b);
  const double best = std::sqrt(pareto_test::dot(a, ra) - pareto_test::dot(b, y));
  pareto_options o;
  o.ratio = 0.39;
  o.mode = ratio_mode::overall;
  o.signs = weight_signs::any;
  o.points = 11;
  const fourfifths::group_pareto_result front =
      fourfifths::find_group_pareto_front(problem_of(r, groups), o);
  ASSERT_TRUE(front.value.has_value());
  const auto& far = front.value->points.back();
  EXPECT_GE(far.lowest_ratio_to_highest, 1 - 1e-15);
  EXPECT_NEAR(far.validity, best, 1e-9);
}

// Far ends where several groups tie for the lowest ratio at the top (five
// groups, five predictors: four directions on the sphere), against the
// best scipy's SLSQP reached maximising the lowest ratio from the 12
// highest of 200,000 random weightings (the wide draw's problems 331 and
// 126; in the second, a fourth group joins the tie only at the top).
TEST(GroupFarEnd, TheTopOfATieOfSeveralRatiosIsReached) {
  struct tie {
    std::vector<std::vector<double>> r;
    std::vector<minority_group> groups;
    ratio_mode mode;
    double ratio, reached;
  };
  const std::vector<tie> ties{
      {{
        {1.0, 0.551, 0.282, -0.006, 0.1, -0.23},
        {0.551, 1.0, 0.45, -0.209, 0.555, -0.122},
        {0.282, 0.45, 1.0, 0.086, 0.176, -0.096},
        {-0.006, -0.209, 0.086, 1.0, -0.469, -0.27},
        {0.1, 0.555, 0.176, -0.469, 1.0, -0.254},
        {-0.23, -0.122, -0.096, -0.27, -0.254, 1.0}},
       {
        {"G1", 0.0089, {-1.099, -0.888, -0.082, -0.5, 0.115, -0.991}},
        {"G2", 0.0545, {0.191, 0.108, -0.948, -0.577, -0.346, -0.543}},
        {"G3", 0.04, {0.246, -1.102, -0.93, -0.195, 0.3, 0.274}},
        {"G4", 0.0011, {-0.587, 0.345, 0.274, -0.49, -0.368, -0.814}},
        {"G5", 0.0453, {-0.851, -1.005, -0.606, -0.664, 0.094, -0.957}}},
       ratio_mode::majority, 0.527, 0.9906670422734872},
      {{
        {1.0, -0.017, -0.009, 0.024, -0.017, 0.13},
        {-0.017, 1.0, 0.153, -0.412, 0.999, -0.232},
        {-0.009, 0.153, 1.0, -0.215, 0.1528, 0.037},
        {0.024, -0.412, -0.215, 1.0, -0.4116, -0.277},
        {-0.017, 0.999, 0.1528, -0.4116, 1.0, -0.2318},
        {0.13, -0.232, 0.037, -0.277, -0.2318, 1.0}},
       {
        {"G1", 0.0182, {0.267, -0.376, -0.837, -1.179, -1.103, -0.134}},
        {"G2", 0.0059, {-0.771, -0.714, -1.182, 0.072, -0.095, 0.278}},
        {"G3", 0.0041, {-0.996, 0.004, -0.425, -0.276, 0.24, -1.166}},
        {"G4", 0.009, {-0.854, -0.282, -0.994, 0.103, -0.417, -0.644}},
        {"G5", 0.0035, {-0.563, -0.994, 0.39, -0.722, -0.102, 0.404}}},
       ratio_mode::overall, 0.37, 0.7558091382426182}};
  for (const tie& t : ties) {
    pareto_options o;
    o.ratio = t.ratio;
    o.mode = t.mode;
    o.signs = weight_signs::any;
    o.points = 2;
    const fourfifths::group_pareto_result front =
        fourfifths::find_group_pareto_front(problem_of(t.r, t.groups), o);
    ASSERT_TRUE(front.value.has_value());
    const double far = front.value->points.back().lowest_ratio_to_highest;
    EXPECT_GE(far, t.reached - 1e-11) << t.ratio;
    EXPECT_GE(front.value->highest_level_bound, far - 1e-12) << t.ratio;
  }
}

// A level with two branches (the wide draw's problem 328: five groups,
// four predictors, validities at most 0, non-negative weights, overall
// mode): at a lowest ratio of 0.5577455195394498 the best validity scipy's
// SLSQP reaches, from 60 random starts, is -0.07448086374403325, on the
// branch of the points below it; the search from them once went to the
// other branch's -0.0747374. The front's point there and --min-ai's answer
// both reach it.
TEST(GroupFront, ALevelOnTwoBranchesTakesTheBetter) {
  const std::vector<std::vector<double>> r = {
      {1.0, -0.429, 0.009, -0.249, -0.075},
      {-0.429, 1.0, -0.356, 0.049, -0.117},
      {0.009, -0.356, 1.0, 0.6, -0.029},
      {-0.249, 0.049, 0.6, 1.0, -0.078},
      {-0.075, -0.117, -0.029, -0.078, 1.0}};
  const std::vector<minority_group> groups = {
      {"G1", 0.0021, {0.215, -0.306, -0.813, 0.142, -1.008}},
      {"G2", 0.0034, {0.02, -0.794, -0.404, -0.349, -0.672}},
      {"G3", 0.0018, {0.122, -0.468, -0.403, 0.497, -1.011}},
      {"G4", 0.0119, {-1.083, -0.653, 0.298, 0.466, -1.148}},
      {"G5", 0.0527, {-0.005, 0.208, -0.615, 0.039, 0.209}}};
  constexpr double level = 0.5577455195394498;
  constexpr double best = -0.07448086374403325;
  pareto_options o;
  o.ratio = 0.307;
  o.mode = ratio_mode::overall;
  o.signs = weight_signs::nonnegative;
  o.points = 11;
  const fourfifths::group_problem p = problem_of(r, groups);
  const fourfifths::group_pareto_result front = fourfifths::find_group_pareto_front(p, o);
  ASSERT_TRUE(front.value.has_value());
  int there = 0;
  for (const auto& point : front.value->points) {
    if (std::fabs(point.lowest_ratio_to_highest - level) > 1e-9) continue;
    EXPECT_GE(point.validity, best - 1e-9);
    ++there;
  }
  EXPECT_EQ(there, 1);
  const fourfifths::group_min_ai_result answer =
      fourfifths::best_group_weighting_for_min_ai(p, o, level);
  ASSERT_TRUE(answer.value.has_value());
  EXPECT_GE(answer.value->lowest_ratio_to_highest, level);
  EXPECT_GE(answer.value->validity, best - 1e-9);
}

// A branch that reaches the level only near its top: on P2 and P4 alone,
// between lowest ratios of 0.5751 and 0.5758. A dense scan of the
// weightings on those two (2e6 of them, the checker's model) reaches
// 0.57522 with a mean of 0.0306086 and 0.5755304 (the 31st level of 32)
// with 0.0303379; the branch of the front's points below ends at 0.5751,
// and the next one above has a mean of -0.153 there. The answer and the
// front's point both reach the level on the short branch.
TEST(GroupFront, ABranchThatOnlyItsTopReachesIsSearched) {
  const std::vector<std::vector<double>> r = {
      {1.0, 0.325, -0.612, 0.471, -0.893, -0.222},
      {0.325, 1.0, -0.565, 0.284, -0.274, -0.034},
      {-0.612, -0.565, 1.0, -0.623, 0.531, 0.145},
      {0.471, 0.284, -0.623, 1.0, -0.401, 0.365},
      {-0.893, -0.274, 0.531, -0.401, 1.0, 0.353},
      {-0.222, -0.034, 0.145, 0.365, 0.353, 1.0}};
  const std::vector<minority_group> groups = {
      {"G1", 0.0065, {0.109, 0.135, -1.058, 0.023, -1.02, 0.041}},
      {"G2", 0.0065, {0.109, 0.135, -1.058, 0.023, -1.02, 0.041}},
      {"G3", 0.0952, {-0.351, -0.736, -0.41, -0.132, -1.131, -0.594}},
      {"G4", 0.0215, {-0.651, -0.423, -0.21, -0.768, 0.223, -0.28}}};
  constexpr double level = 0.57522;
  constexpr double reached = 0.0306086;
  pareto_options o;
  o.ratio = 0.627;
  o.mode = ratio_mode::overall;
  o.signs = weight_signs::nonnegative;
  o.objective = pareto_objective::mean;
  const fourfifths::group_problem p = problem_of(r, groups);
  const fourfifths::group_min_ai_result answer =
      fourfifths::best_group_weighting_for_min_ai(p, o, level);
  ASSERT_TRUE(answer.value.has_value());
  EXPECT_GE(answer.value->lowest_ratio_to_highest, level);
  ASSERT_TRUE(answer.value->outcome.mean.has_value());
  EXPECT_GE(*answer.value->outcome.mean, reached);
  EXPECT_FALSE(answer.value->proved_optimal);
  o.points = 32;
  const fourfifths::group_pareto_result front = fourfifths::find_group_pareto_front(p, o);
  ASSERT_TRUE(front.value.has_value());
  ASSERT_EQ(front.value->points.size(), 32U);
  const fourfifths::group_weighting_outcome& point = front.value->points[30];
  EXPECT_GE(point.lowest_ratio_to_highest, 0.57553);
  ASSERT_TRUE(point.outcome.mean.has_value());
  EXPECT_GE(*point.outcome.mean, 0.0303379);
}

}  // namespace
