// Helpers of the tests of the library's front (fourfifths/pareto.h):
// seeded random scenarios and the impact ratio and quality of any
// weighting, as the analysis computes them.
#ifndef FOURFIFTHS_TESTS_PARETO_SCENARIO_SUPPORT_H_
#define FOURFIFTHS_TESTS_PARETO_SCENARIO_SUPPORT_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "analysis/composite.h"
#include "fourfifths/fourfifths.h"
#include "pareto_test_support.h"

namespace pareto_test {

// A random scenario: a correlation matrix of 2 to 7 predictors and one
// criterion from two or three common factors (with communalities of 0.95
// to 0.999 in one scenario of four), validities of either sign, effect
// sizes all negative or of mixed sign, a criterion effect in (-0.6, 0.3)
// and a minority share in (0.1, 0.5).
inline fourfifths::problem_spec random_scenario(std::uint64_t seed, fourfifths::ratio_mode mode) {
  random_source rnd(seed);
  const int n = 2 + rnd.below(6);
  const bool strong = rnd.below(4) == 0;
  const int factors = 2 + rnd.below(2);
  const auto size = static_cast<std::size_t>(n) + 1;
  std::vector<std::vector<double>> loading(size,
                                           std::vector<double>(static_cast<std::size_t>(factors)));
  for (auto& row : loading) {
    double sum = 0;
    for (double& l : row) {
      l = rnd.uniform(-0.8, 0.8);
      sum += l * l;
    }
    const double cap = strong ? rnd.uniform(0.95, 0.999) : rnd.uniform(0.3, 0.9);
    if (sum > cap || strong) {
      for (double& l : row) l *= std::sqrt(cap / sum);
    }
  }
  fourfifths::problem_spec s;
  s.predictors = n;
  s.criteria = 1;
  s.mode = mode;
  s.regression_weights = true;
  s.criterion_weights = {1};
  s.correlations.assign(size, std::vector<double>(size, 1.0));
  for (std::size_t i = 0; i < size; ++i) {
    for (std::size_t j = 0; j < size; ++j) {
      if (i == j) continue;
      double c = 0;
      for (std::size_t k = 0; k < loading[i].size(); ++k) c += loading[i][k] * loading[j][k];
      s.correlations[i][j] = c;
    }
  }
  const bool mixed = rnd.below(2) == 0;
  for (int j = 0; j < n; ++j)
    s.predictor_effects.push_back(mixed ? rnd.uniform(-1.0, 0.5) : rnd.uniform(-1.1, -0.02));
  s.criterion_effects = {rnd.uniform(-0.6, 0.3)};
  s.minority_share = rnd.uniform(0.1, 0.5);
  return s;
}

inline fourfifths::problem make(const fourfifths::problem_spec& s) {
  fourfifths::problem_result built = fourfifths::make_problem(s);
  EXPECT_TRUE(built.value.has_value()) << (built.errors.empty() ? "" : built.errors[0].text());
  return *built.value;
}

// The outcome at R of a weighting, and its validity, as the analysis
// computes them for any weighting.
inline std::pair<fourfifths::outcome, double> outcome_of(const fourfifths::problem& p,
                                                         std::span<const double> w,
                                                         const fourfifths::pareto_options& o) {
  const fourfifths::composite_statistics c = analysis::composite_statistics(p, w);
  const fourfifths::selection_model m{.mode = o.mode,
                                      .quality = fourfifths::quality_basis::criterion,
                                      .mix = p.mix(),
                                      .predictor_effect = c.predictor_effect,
                                      .validity = c.validity,
                                      .criterion_effect = c.criterion_effect};
  return {fourfifths::outcome_at(m, o.ratio, fourfifths::method::precise), c.validity};
}

// The lower group's rate over the higher's (the four-fifths rule's measure)
// and the mean of a weighting at R (-1e300 for both where no cut score
// gives R).
inline std::pair<double, double> evaluate_mean(const fourfifths::problem& p,
                                               std::span<const double> w,
                                               const fourfifths::pareto_options& o) {
  const fourfifths::outcome x = outcome_of(p, w, o).first;
  if (!x.solved() || !x.mean) return {-1e300, -1e300};
  return {std::min(x.sr_minority / x.sr_majority, x.sr_majority / x.sr_minority), *x.mean};
}

// The quality the options measure of a front's point.
inline double quality(const fourfifths::weighting_outcome& w, fourfifths::pareto_objective q) {
  return q == fourfifths::pareto_objective::validity ? w.validity : w.mean.value_or(-1e300);
}

}  // namespace pareto_test

#endif  // FOURFIFTHS_TESTS_PARETO_SCENARIO_SUPPORT_H_
