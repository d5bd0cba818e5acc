// Composite weights, validity and effect sizes, against values worked out
// by hand from the selection model.
#include "analysis/composite.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>

#include "analysis/driver.h"
#include "analysis/problem.h"

namespace analysis {
namespace {

// A problem with the given counts and the rows of its correlation matrix.
problem make_problem(int np, int nc, std::initializer_list<std::initializer_list<double>> rows) {
  problem p;
  p.np = np;
  p.nc = nc;
  p.nv = np + nc;
  int i = 0;
  for (const auto& row : rows) {
    ++i;
    int j = 0;
    for (double r : row) p.corin(i, ++j) = r;
  }
  return p;
}

TEST(Regwei, TwoPredictorsGiveTheStandardizedRegressionWeights) {
  problem p = make_problem(2, 1, {{1, .3, .5}, {.3, 1, .4}, {.5, .4, 1}});
  p.wec(1) = 1;
  int info = -1;
  regwei(p.corin, p.wec, p.np, p.nc, p.wep, info);
  EXPECT_EQ(info, 0);
  // R^-1 v = [.5 - .3*.4, .4 - .3*.5] / (1 - .09)
  EXPECT_NEAR(p.wep(1), 0.38 / 0.91, 1e-15);
  EXPECT_NEAR(p.wep(2), 0.25 / 0.91, 1e-15);

  p.difp(1) = -1;
  p.difp(2) = -.5;
  p.difc(1) = -.5;
  const composite_stats c = composite_statistics(p);
  // The composite correlation is then the multiple correlation.
  EXPECT_NEAR(c.rpc, std::sqrt(0.38 / 0.91 * .5 + 0.25 / 0.91 * .4), 1e-14);
  EXPECT_NEAR(c.rpc, 0.565, 5e-4);
  EXPECT_NEAR(c.rpc * c.rpc, 0.319, 5e-4);
  EXPECT_NEAR(c.dpc, -0.983, 5e-4);
  EXPECT_NEAR(c.dcc, -0.5, 1e-15);
}

TEST(Regwei, OnePredictorWeightIsItsValidity) {
  problem p = make_problem(1, 1, {{1, .37}, {.37, 1}});
  p.wec(1) = 2.5;
  int info = -1;
  regwei(p.corin, p.wec, p.np, p.nc, p.wep, info);
  EXPECT_EQ(info, 0);
  EXPECT_NEAR(p.wep(1), .37, 1e-15);
}

TEST(Regwei, SingularPredictorBlockStillGivesWeightsAndReportsTheMinor) {
  problem p = make_problem(2, 1, {{1, 1, .5}, {1, 1, .5}, {.5, .5, 1}});
  p.wec(1) = 1;
  int info = 0;
  regwei(p.corin, p.wec, p.np, p.nc, p.wep, info);
  EXPECT_EQ(info, 2);
  EXPECT_NEAR(p.wep(1), 0.5, 1e-12);
  EXPECT_NEAR(p.wep(2), 0.0, 1e-12);
}

TEST(Regwei, ReadsThePredictorBlockFromItsLowerTriangle) {
  // Only the lower triangle and diagonal of the predictor block are read:
  // garbage above the diagonal must not change the weights.
  problem p = make_problem(2, 1, {{1, 99, .5}, {.3, 1, .4}, {.5, .4, 1}});
  p.wec(1) = 1;
  int info = -1;
  regwei(p.corin, p.wec, p.np, p.nc, p.wep, info);
  EXPECT_NEAR(p.wep(1), 0.38 / 0.91, 1e-15);
  EXPECT_NEAR(p.wep(2), 0.25 / 0.91, 1e-15);
}

TEST(CompositeStatistics, UncorrelatedPredictorsAddTheirVariances) {
  problem p = make_problem(2, 0, {{1, 0}, {0, 1}});
  p.wep(1) = 1;
  p.wep(2) = 1;
  p.difp(1) = .5;
  p.difp(2) = .5;
  const composite_stats c = composite_statistics(p);
  EXPECT_EQ(c.vp, 2);
  EXPECT_NEAR(c.dpc, 1 / std::sqrt(2.0), 1e-15);
}

TEST(CompositeStatistics, VariancesTakeTheDiagonalAsOneAndReadTheUpperTriangle) {
  problem p = make_problem(2, 2, {{7, .2, 0, 0}, {-5, 7, 0, 0}, {0, 0, 7, .5}, {0, 0, -3, 7}});
  p.wep(1) = 1;
  p.wep(2) = 2;
  p.wec(1) = 1;
  p.wec(2) = 1;
  const composite_stats c = composite_statistics(p);
  EXPECT_NEAR(c.vp, 1 + 4 + 2 * 1 * 2 * .2, 1e-15);
  EXPECT_NEAR(c.vc, 1 + 1 + 2 * .5, 1e-15);
}

TEST(CompositeStatistics, ZeroWeightsGiveNonFiniteValuesWithoutStopping) {
  problem p = make_problem(1, 0, {{1}});
  p.difp(1) = -1;
  const composite_stats c = composite_statistics(p);
  EXPECT_TRUE(std::isnan(c.dpc));
}

}  // namespace
}  // namespace analysis
