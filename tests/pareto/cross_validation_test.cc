// The cross-validation's calibration samples and the faults it refuses;
// its numbers are checked against a plain simulation of whole samples in
// check_cross_validation.py.
#include "fourfifths/cross_validation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using fourfifths::calibration_options;
using fourfifths::group_problem;
using fourfifths::pareto_options;

// The published four predictors and one criterion, with three groups.
fourfifths::group_problem_spec three_groups(bool shares = true) {
  fourfifths::group_problem_spec spec;
  spec.base.predictors = 4;
  spec.base.criteria = 1;
  spec.base.regression_weights = true;
  spec.base.criterion_weights = {1};
  spec.base.correlations = {{1, 0.24, 0, 0.19, 0.3},
                            {0.24, 1, 0.12, 0.16, 0.3},
                            {0, 0.12, 1, 0.51, 0.18},
                            {0.19, 0.16, 0.51, 1, 0.28},
                            {0.3, 0.3, 0.18, 0.28, 1}};
  spec.groups = {{"B", 0.15, {-1, -0.23, -0.09, -0.33, -0.21}},
                 {"H", 0.15, {-0.72, -0.17, 0.08, -0.08, 0}},
                 {"A", 0.05, {0, 0, 0, 0, 0}}};
  if (!shares) {
    spec.base.mode = fourfifths::ratio_mode::majority;
    for (auto& g : spec.groups) g.share.reset();
  }
  return spec;
}

group_problem built(fourfifths::group_problem_spec spec) {
  auto r = fourfifths::make_group_problem(std::move(spec));
  EXPECT_TRUE(r.ok());
  return std::move(*r.value);
}

// Shares times 30: 19.5, 4.5, 4.5 and 1.5; the three halves go to the
// earlier groups. Times 37: 24.05, 5.55, 5.55 and 1.85; the two left go to
// the largest remainders, 0.85 and the first 0.55 (by hand).
TEST(CalibrationCounts, LargestRemaindersTiesToTheEarlierGroup) {
  const group_problem p = built(three_groups());
  EXPECT_EQ(fourfifths::calibration_counts(p, 30), (std::vector<std::int64_t>{20, 5, 4, 1}));
  EXPECT_EQ(fourfifths::calibration_counts(p, 37), (std::vector<std::int64_t>{24, 6, 5, 2}));
  EXPECT_EQ(fourfifths::calibration_counts(p, 1000),
            (std::vector<std::int64_t>{650, 150, 150, 50}));
}

std::vector<std::string> paths_of(const fourfifths::cross_validation_result& r) {
  std::vector<std::string> paths;
  for (const auto& f : r.errors) paths.push_back(f.path);
  return paths;
}

TEST(CrossValidate, RefusesWhatItCannotDraw) {
  const group_problem p = built(three_groups());
  const pareto_options o{.ratio = 0.2, .points = 5};
  const std::vector<double> levels{0, 0.5};
  const auto with = [&](calibration_options c) { return fourfifths::cross_validate(p, o, levels, c); };
  EXPECT_EQ(paths_of(with({.calibration_n = 0})), std::vector<std::string>{"calibration_n"});
  // 39 gives the fourth group 1.95 -> 1 or 2 applicants; 30 gives it 1.
  EXPECT_EQ(paths_of(with({.calibration_n = 30})), std::vector<std::string>{"calibration_n"});
  EXPECT_EQ(paths_of(with({.calibration_n = 100, .replications = 0})),
            std::vector<std::string>{"replications"});
  EXPECT_EQ(paths_of(with({.calibration_n = 100, .threads = 0})),
            std::vector<std::string>{"threads"});
  const std::vector<double> nan_level{0, std::numeric_limits<double>::quiet_NaN()};
  EXPECT_EQ(paths_of(fourfifths::cross_validate(p, o, nan_level, {.calibration_n = 100})),
            std::vector<std::string>{"levels[1]"});

  const group_problem no_shares = built(three_groups(false));
  const pareto_options majority{.ratio = 0.2, .mode = fourfifths::ratio_mode::majority};
  EXPECT_EQ(paths_of(fourfifths::cross_validate(no_shares, majority, levels, {.calibration_n = 100})),
            std::vector<std::string>{"groups"});
}

// Predictors that are fine on their own and a criterion that no data
// could give: no sample can be drawn.
TEST(CrossValidate, RefusesCorrelationsOfNoPopulation) {
  fourfifths::group_problem_spec spec = three_groups();
  spec.base.correlations = {{1, 0.5, 0, 0, 0.95},
                            {0.5, 1, 0, 0, -0.95},
                            {0, 0, 1, 0, 0},
                            {0, 0, 0, 1, 0},
                            {0.95, -0.95, 0, 0, 1}};
  const group_problem p = built(std::move(spec));
  const std::vector<double> levels{0};
  const auto r = fourfifths::cross_validate(p, {.ratio = 0.2}, levels, {.calibration_n = 100});
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(paths_of(r), std::vector<std::string>{"correlations"});
}

// One replication's quantiles are its values, and it has no standard
// error; its sample holds each group's share of the applicants.
TEST(CrossValidate, SummariesOfOneReplicationAreItsValues) {
  const group_problem p = built(three_groups());
  const std::vector<double> levels{0, 0.5};
  const auto r = fourfifths::cross_validate(p, {.ratio = 0.2, .points = 5}, levels,
                                            {.calibration_n = 1000, .replications = 1});
  ASSERT_TRUE(r.ok());
  ASSERT_EQ(r->points.size(), 2U);
  for (const auto& point : r->points) {
    EXPECT_EQ(point.validity.q05, point.validity.mean);
    EXPECT_EQ(point.validity.q95, point.validity.mean);
    EXPECT_TRUE(std::isnan(point.validity.standard_error));
  }
  EXPECT_EQ(r->replications, 1);
  EXPECT_EQ(r->counts, (std::vector<std::int64_t>{650, 150, 150, 50}));
}

}  // namespace

namespace {

// Replications run in any order on any thread: the numbers are the same
// to the bit for 1 and 4 threads. Run under ThreadSanitizer in CI.
TEST(CrossValidateConcurrency, ThreadsGiveTheSameNumbers) {
  for (const bool several : {false, true}) {
    fourfifths::group_problem_spec spec = three_groups();
    if (!several) spec.groups.resize(1);
    const group_problem p = built(std::move(spec));
    const std::vector<double> levels{0, 0.3, 0.45};
    const pareto_options o{.ratio = 0.2, .points = 3};
    const auto run = [&](unsigned threads) {
      return fourfifths::cross_validate(
          p, o, levels, {.calibration_n = 120, .replications = 9, .seed = 4, .threads = threads});
    };
    const auto one = run(1);
    const auto four = run(4);
    ASSERT_TRUE(one.ok() && four.ok());
    for (std::size_t k = 0; k < levels.size(); ++k) {
      const auto& a = one->points[k];
      const auto& b = four->points[k];
      EXPECT_EQ(a.validity.mean, b.validity.mean) << several << k;
      EXPECT_EQ(a.validity.q05, b.validity.q05) << several << k;
      EXPECT_EQ(a.lowest_ratio.mean, b.lowest_ratio.mean) << several << k;
      EXPECT_EQ(a.below_level, b.below_level) << several << k;
    }
  }
}

}  // namespace
