// The chances of finite pools as a table's last columns: only when asked
// for, after the table's own (which stay as they were), drawn from the
// scenario's shares and composite effect whichever form it is written in,
// the same in every group's row, and empty where a row has no cut score.
#include "present/pool_columns.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "fourfifths/finite_pool.h"
#include "present/study.h"

namespace present {
namespace {

// One predictor of effect `d` and a criterion, the minority a quarter of
// the applicants (the composite's effect is `d`), as one group or "groups".
std::string one_predictor(double d, bool as_groups, const std::string& mode = "overall") {
  const std::string effect = std::to_string(d);
  const std::string common = R"({"mode": ")" + mode + R"(", "quality": "criterion",
    "weights": "regression", "correlations": [[1, 0.5], [0.5, 1]], )";
  if (as_groups) {
    return common + R"("predictors": [{"name": "test"}],
      "criteria": [{"name": "performance", "weight": 1}],
      "groups": [{"name": "minority", "share": 0.25, "d": [)" +
           effect + ", 0]}]}";
  }
  return common + R"("predictors": [{"name": "test", "d": )" + effect + R"(}],
    "criteria": [{"name": "performance", "d": 0, "weight": 1}], "majority_per_minority": 3})";
}

study study_of(const std::string& text) {
  loaded_scenario s = read_scenario(text, group_rule::accepted);
  EXPECT_TRUE(s.errors.empty()) << (s.errors.empty() ? "" : s.errors.front().text());
  return study(std::move(s));
}

const frame_column* column(const frame& f, const std::string& name) {
  for (const frame_column& c : f.columns) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

constexpr const char* pool_names[] = {
    "pool_selected", "p_fail_four_fifths", "p_fail_four_fifths_se", "p_fisher", "p_fisher_se",
    "p_z",           "p_z_se",             "p_group_absent",        "p_group_absent_se",
    "pool_method"};

TEST(PoolColumns, ComeLastAndOnlyWhenAskedFor) {
  const study s = study_of(one_predictor(-1, false));
  const std::vector<double> ratios = {0.1, 0.5};
  const frame plain = s.table(fourfifths::method::precise, ratios).columns();
  const frame with = s.table(fourfifths::method::precise, ratios,
                             {fourfifths::pool_options{.applicants = 40}})
                         .columns();
  ASSERT_EQ(with.columns.size(), plain.columns.size() + std::size(pool_names));
  for (std::size_t i = 0; i < plain.columns.size(); ++i) {
    EXPECT_EQ(with.columns[i].name, plain.columns[i].name);
    EXPECT_EQ(with.columns[i].numbers, plain.columns[i].numbers) << plain.columns[i].name;
  }
  for (std::size_t i = 0; i < std::size(pool_names); ++i) {
    EXPECT_EQ(with.columns[plain.columns.size() + i].name, pool_names[i]);
  }
  EXPECT_EQ(column(with, "p_fisher")->unit, "probability");
  EXPECT_EQ(column(with, "p_z_se")->unit, "probability");
  EXPECT_EQ(column(with, "pool_selected")->unit, "count");
  EXPECT_EQ(column(with, "pool_selected")->numbers, (std::vector<double>{4, 20}));
}

// The population is the scenario's: a quarter minority whose composite
// mean is d, below the majority's or above it, in either form.
TEST(PoolColumns, DrawFromTheScenariosSharesAndEffectInBothForms) {
  for (const double d : {-0.9, 0.6}) {
    const fourfifths::pool_population population{
        {{"majority", 0.75, 0}, {"minority", 0.25, d}}};
    const double ratios[] = {0.2};
    const auto want = fourfifths::finite_pool_at(population, ratios, {.applicants = 30});
    ASSERT_TRUE(want.ok());
    for (const bool as_groups : {false, true}) {
      SCOPED_TRACE(testing::Message() << "d " << d << (as_groups ? " as groups" : ""));
      const study s = study_of(one_predictor(d, as_groups));
      const frame f = s.table(fourfifths::method::precise, std::vector<double>{0.2},
                              {fourfifths::pool_options{.applicants = 30}})
                          .columns();
      // A group table has a row per group, each with the entry's chances,
      // and then the minimum's rows.
      ASSERT_EQ(f.rows, as_groups ? 4U : 1U);
      for (std::size_t row = 0; row < (as_groups ? 2U : 1U); ++row) {
        EXPECT_NEAR(column(f, "p_fail_four_fifths")->numbers[row], want->front().fail_four_fifths,
                    1e-13);
        EXPECT_NEAR(column(f, "p_fisher")->numbers[row], want->front().fisher, 1e-13);
        EXPECT_NEAR(column(f, "p_z")->numbers[row], want->front().z, 1e-13);
        EXPECT_TRUE(column(f, "p_z_se")->is_missing(row));
        EXPECT_EQ(column(f, "pool_method")->texts[row], "exact");
      }
    }
  }
}

TEST(PoolColumns, ARowWithoutACutScoreHasNoChances) {
  const study s = study_of(one_predictor(-1, false));
  const frame f = s.table(fourfifths::method::classic, std::vector<double>{0.3, 1.5},
                          {fourfifths::pool_options{.applicants = 20}})
                      .columns();
  ASSERT_EQ(f.rows, 2U);
  EXPECT_FALSE(column(f, "p_fail_four_fifths")->is_missing(0));
  EXPECT_TRUE(column(f, "p_fail_four_fifths")->is_missing(1));
  EXPECT_TRUE(column(f, "pool_selected")->is_missing(1));
  EXPECT_TRUE(column(f, "pool_method")->is_missing(1));
}

TEST(PoolColumns, MajorityModeSelectsAtTheOverallRatio) {
  const study s = study_of(one_predictor(-1, false, "majority"));
  const frame f = s.table(fourfifths::method::precise, std::vector<double>{0.3},
                          {fourfifths::pool_options{.applicants = 40}})
                      .columns();
  const double sr = column(f, "sr")->numbers[0];
  // Below the majority's 0.3: the minority is selected less.
  EXPECT_LT(sr, 0.3);
  EXPECT_EQ(column(f, "pool_selected")->numbers[0], std::floor(sr * 40 + 0.5));
}

TEST(PoolColumns, FaultsNameTheOptionOrTheScenario) {
  const study s = study_of(one_predictor(-1, false));
  EXPECT_FALSE(s.pool_fault({.applicants = 40}));
  EXPECT_EQ(s.pool_fault({.applicants = 0})->path, "applicants");
  const study grouped = study_of(
      R"({"mode": "majority", "predictors": [{"name": "test", "weight": 1}],
          "correlations": [[1]], "weights": "given", "groups": [{"name": "B", "d": [-1]}, {"name": "H", "d": [-0.5]}]})");
  EXPECT_EQ(grouped.pool_fault({.applicants = 40})->path, "scenario");
  EXPECT_EQ(
      study_of(one_predictor(-1, true)).pool_fault({.applicants = 5000, .replications = 1000000})
          ->path,
      "replications");
}

}  // namespace
}  // namespace present
