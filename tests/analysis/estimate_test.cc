// A population estimated from a sample: the pooled within-group
// correlations, standard deviations and effect sizes against numpy's, the
// estimate unchanged by a shift of the data (the two passes), and every
// fault of the sample named by its path.
#include "fourfifths/estimate.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

using fourfifths::estimate_population;
using fourfifths::estimate_status;

// Three groups, three variables. The expectations are numpy's (1.24):
//
//   import numpy as np
//   g = np.array([0, 0, 0, 0, 1, 1, 1, 2, 2]); x = <the values below>
//   dev = np.vstack([x[g == k] - x[g == k].mean(axis=0) for k in range(3)])
//   S = dev.T @ dev / (len(x) - 3); sd = np.sqrt(np.diag(S))
//   R = S / np.outer(sd, sd)
//   means = np.array([x[g == k].mean(axis=0) for k in range(3)])
//   d = (means[1:] - means[0]) / sd
const std::vector<double> values = {
    1.0, 2.0, 0.5,  //
    2.0, 3.5, 1.0,  //
    3.0, 3.0, 2.5,  //
    4.0, 6.0, 2.0,  //
    0.5, 1.0, 1.5,  //
    1.5, 1.0, 0.0,  //
    2.5, 3.0, 1.0,  //
    3.0, 4.0, 3.0,  //
    5.0, 4.5, 2.0,  //
};
const std::vector<int> groups = {0, 0, 0, 0, 1, 1, 1, 2, 2};

const std::vector<std::vector<double>> numpy_r = {
    {1.0, 0.811666297106415, 0.2449489742783178},
    {0.811666297106415, 1.0, 0.33738613055211564},
    {0.2449489742783178, 0.33738613055211564, 1.0}};
const std::vector<double> numpy_sd = {1.224744871391589, 1.3831827227248195, 0.8333333333333334};
const std::vector<std::vector<double>> numpy_d = {
    {-0.8164965809277261, -1.415816797852628, -0.7999999999999999},
    {1.2247448713915892, 0.4518564248465834, 1.2}};

void expect_near_all(const std::vector<double>& got, const std::vector<double>& want,
                     double tolerance, const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (std::size_t j = 0; j < want.size(); ++j) {
    EXPECT_NEAR(got[j], want[j], tolerance) << what << "[" << j << "]";
  }
}

TEST(EstimatePopulation, AgreesWithNumpyOnASmallSample) {
  const auto e = estimate_population(values, groups, 3, 3);
  ASSERT_EQ(e.status, estimate_status::estimated);
  ASSERT_TRUE(e.value);
  ASSERT_EQ(e.value->correlations.size(), 3u);
  for (std::size_t j = 0; j < 3; ++j) {
    expect_near_all(e.value->correlations[j], numpy_r[j], 1e-14, "r" + std::to_string(j));
  }
  expect_near_all(e.value->standard_deviations, numpy_sd, 1e-14, "sd");
  ASSERT_EQ(e.value->effects.size(), 2u);
  expect_near_all(e.value->effects[0], numpy_d[0], 1e-14, "d1");
  expect_near_all(e.value->effects[1], numpy_d[1], 1e-14, "d2");
  EXPECT_EQ(e.value->counts, (std::vector<std::int64_t>{4, 3, 2}));
  // The reference group's means: 10/4, 14.5/4, 6/4.
  expect_near_all(e.value->means[0], {2.5, 3.625, 1.5}, 1e-15, "mean0");
}

TEST(EstimatePopulation, IsUnchangedByALargeShiftOfTheData) {
  // One pass over raw sums would lose the spread to cancellation here.
  std::vector<double> shifted = values;
  for (double& x : shifted) x += 1e8;
  const auto e = estimate_population(shifted, groups, 3, 3);
  ASSERT_TRUE(e.value);
  for (std::size_t j = 0; j < 3; ++j) {
    expect_near_all(e.value->correlations[j], numpy_r[j], 1e-8, "r" + std::to_string(j));
  }
  expect_near_all(e.value->effects[0], numpy_d[0], 1e-8, "d1");
}

TEST(EstimatePopulation, NamesEveryFaultOfTheSample) {
  struct bad {
    std::vector<double> values;
    std::vector<int> groups;
    int group_count, variables;
    std::string path;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<bad> cases = {
      {{1, 2, 3}, {0, 1}, 2, 2, "values"},                       // sizes disagree
      {{1, 2, 3, 4, 5, 6}, {0, 2, 1}, 2, 2, "group[1]"},        // out of range
      {{1, 2, 3, 4, 5, 6}, {0, -1, 1}, 2, 2, "group[1]"},       // negative
      {{1, 2, inf, 4, 5, 6}, {0, 1, 1}, 2, 2, "values[1][0]"},  // not finite
      {{1, 2, 3, nan, 5, 6}, {0, 1, 1}, 2, 2, "values[1][1]"},
      {{1, 2, 3, 4, 5, 6, 7, 8}, {0, 0, 0, 0}, 2, 2, "group"},    // group 1 has no rows
      {{1, 2, 3}, {0, 1, 1}, 2, 1, "values"},                     // fewer rows than groups + 2
      {{1, 2, 1, 3, 1, 4, 1, 5}, {0, 0, 1, 1}, 2, 2, "variables[0]"},  // no spread
      {{1}, {0}, 0, 1, "groups"},
      {{}, {}, 1, 0, "variables"},
  };
  for (const bad& c : cases) {
    const auto e = estimate_population(c.values, c.groups, c.group_count, c.variables);
    EXPECT_EQ(e.status, estimate_status::invalid) << c.path;
    EXPECT_FALSE(e.value) << c.path;
    ASSERT_FALSE(e.errors.empty()) << c.path;
    EXPECT_EQ(e.errors[0].path, c.path);
  }
}

TEST(EstimatePopulation, KeepsCorrelationsOfCollinearColumnsWithinOne) {
  // The second column is three times the first: r = 1 exactly, not 1 + ulp.
  const std::vector<double> v = {0.1, 0.3, 0.7, 2.1, 0.2, 0.6, 1.3, 3.9, 0.9, 2.7, 0.4, 1.2};
  const auto e = estimate_population(v, std::vector<int>{0, 0, 0, 1, 1, 1}, 2, 2);
  ASSERT_TRUE(e.value);
  EXPECT_LE(e.value->correlations[0][1], 1.0);
  EXPECT_NEAR(e.value->correlations[0][1], 1.0, 1e-15);
}

}  // namespace
