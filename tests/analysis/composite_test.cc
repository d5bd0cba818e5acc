// Composite weights, validity and effect sizes, against values worked out
// by hand from the selection model.
#include "analysis/composite.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <vector>

#include "analysis/problem_access.h"

namespace analysis {
namespace {

// The driver's arrays for regwei: the matrix rows given, the criterion
// weights given.
struct arrays {
  matrix corin{"corin[subscript-1-of-2]", "corin[subscript-2-of-2]", label_main};
  vector wec{"wec", label_main};
  vector wep{"wep", label_main};

  arrays(std::initializer_list<std::initializer_list<double>> rows,
         std::initializer_list<double> criterion_weights) {
    int i = 0;
    for (const auto& row : rows) {
      ++i;
      int j = 0;
      for (double r : row) corin(i, ++j) = r;
    }
    int k = 0;
    for (double w : criterion_weights) wec(++k) = w;
  }
};

// A problem as the deck gives it, the matrix unchecked.
fourfifths::problem deck_problem(int np, int nc, std::vector<std::vector<double>> rows,
                                 std::vector<double> wep, std::vector<double> wec,
                                 std::vector<double> difp, std::vector<double> difc) {
  fourfifths::problem_spec spec;
  spec.predictors = np;
  spec.criteria = nc;
  spec.correlations = std::move(rows);
  spec.predictor_weights = std::move(wep);
  spec.criterion_weights = std::move(wec);
  spec.predictor_effects = std::move(difp);
  spec.criterion_effects = std::move(difc);
  spec.mode = fourfifths::ratio_mode::majority;
  return fourfifths::problem_access::make(std::move(spec), {});
}

TEST(Regwei, TwoPredictorsGiveTheStandardizedRegressionWeights) {
  arrays a({{1, .3, .5}, {.3, 1, .4}, {.5, .4, 1}}, {1});
  int info = -1;
  regwei(a.corin, a.wec, 2, 1, a.wep, info);
  EXPECT_EQ(info, 0);
  // R^-1 v = [.5 - .3*.4, .4 - .3*.5] / (1 - .09)
  EXPECT_NEAR(a.wep(1), 0.38 / 0.91, 1e-15);
  EXPECT_NEAR(a.wep(2), 0.25 / 0.91, 1e-15);

  const fourfifths::composite_statistics c = composite_statistics(
      deck_problem(2, 1, {{1, .3, .5}, {.3, 1, .4}, {.5, .4, 1}}, {}, {1}, {-1, -.5}, {-.5}),
      a.wep.slice(1, 2));
  // The composite correlation is then the multiple correlation.
  EXPECT_NEAR(c.validity, std::sqrt(0.38 / 0.91 * .5 + 0.25 / 0.91 * .4), 1e-14);
  EXPECT_NEAR(c.validity, 0.565, 5e-4);
  EXPECT_NEAR(c.validity * c.validity, 0.319, 5e-4);
  EXPECT_NEAR(c.predictor_effect, -0.983, 5e-4);
  EXPECT_NEAR(c.criterion_effect, -0.5, 1e-15);
}

TEST(Regwei, OnePredictorWeightIsItsValidity) {
  arrays a({{1, .37}, {.37, 1}}, {2.5});
  int info = -1;
  regwei(a.corin, a.wec, 1, 1, a.wep, info);
  EXPECT_EQ(info, 0);
  EXPECT_NEAR(a.wep(1), .37, 1e-15);
}

TEST(Regwei, SingularPredictorBlockStillGivesWeightsAndReportsTheMinor) {
  arrays a({{1, 1, .5}, {1, 1, .5}, {.5, .5, 1}}, {1});
  int info = 0;
  regwei(a.corin, a.wec, 2, 1, a.wep, info);
  EXPECT_EQ(info, 2);
  EXPECT_NEAR(a.wep(1), 0.5, 1e-12);
  EXPECT_NEAR(a.wep(2), 0.0, 1e-12);
}

TEST(Regwei, ReadsThePredictorBlockFromItsLowerTriangle) {
  // Only the lower triangle and diagonal of the predictor block are read:
  // garbage above the diagonal must not change the weights.
  arrays a({{1, 99, .5}, {.3, 1, .4}, {.5, .4, 1}}, {1});
  int info = -1;
  regwei(a.corin, a.wec, 2, 1, a.wep, info);
  EXPECT_NEAR(a.wep(1), 0.38 / 0.91, 1e-15);
  EXPECT_NEAR(a.wep(2), 0.25 / 0.91, 1e-15);
}

TEST(Weighting, RegressionWeightsOfAProblemComeFromRegwei) {
  fourfifths::problem p =
      deck_problem(2, 1, {{1, 99, .5}, {.3, 1, .4}, {.5, .4, 1}}, {}, {1}, {0, 0}, {0});
  fourfifths::problem_spec spec = p.spec();
  spec.regression_weights = true;
  const fourfifths::predictor_weighting w = weighting(fourfifths::problem_access::make(spec, {}));
  EXPECT_TRUE(w.regression);
  EXPECT_EQ(w.factorisation_info, 0);
  ASSERT_EQ(w.weights.size(), 2u);
  EXPECT_NEAR(w.weights[0], 0.38 / 0.91, 1e-15);
}

TEST(CompositeStatistics, UncorrelatedPredictorsAddTheirVariances) {
  const std::vector<double> wep{1, 1};
  const fourfifths::composite_statistics c =
      composite_statistics(deck_problem(2, 0, {{1, 0}, {0, 1}}, wep, {}, {.5, .5}, {}), wep);
  EXPECT_EQ(c.predictor_variance, 2);
  EXPECT_NEAR(c.predictor_effect, 1 / std::sqrt(2.0), 1e-15);
  EXPECT_FALSE(c.has_criteria);
}

TEST(CompositeStatistics, VariancesTakeTheDiagonalAsOneAndReadTheUpperTriangle) {
  const std::vector<double> wep{1, 2};
  const fourfifths::composite_statistics c = composite_statistics(
      deck_problem(2, 2, {{7, .2, 0, 0}, {-5, 7, 0, 0}, {0, 0, 7, .5}, {0, 0, -3, 7}}, wep, {1, 1},
                   {0, 0}, {0, 0}),
      wep);
  EXPECT_NEAR(c.predictor_variance, 1 + 4 + 2 * 1 * 2 * .2, 1e-15);
  EXPECT_NEAR(c.criterion_variance, 1 + 1 + 2 * .5, 1e-15);
}

TEST(CompositeStatistics, ZeroWeightsGiveNonFiniteValuesWithoutStopping) {
  const std::vector<double> wep{0};
  const fourfifths::composite_statistics c =
      composite_statistics(deck_problem(1, 0, {{1}}, wep, {}, {-1}, {}), wep);
  EXPECT_TRUE(std::isnan(c.predictor_effect));
}

}  // namespace
}  // namespace analysis
