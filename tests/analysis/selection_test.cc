// Selection outcomes, the four-fifths minimum and the result tables,
// against the values the selection model gives at the report's three
// decimals.
#include "analysis/selection.h"

#include <gtest/gtest.h>

#include <string>

#include "analysis/driver.h"
#include "analysis/tables.h"
#include "recordio/session.h"

namespace analysis {
namespace {

constexpr double report_digit = 5e-4;  // half a unit of the third decimal

class Selection : public testing::Test {
 protected:
  void SetUp() override { block = objective_block{}; }
  recordio::session s{""};
};

TEST_F(Selection, MajorityModeOnThePredictorComposite) {
  block.dpc = -1;
  const selection_model model{.iosr = 0, .icrit = 0};
  outcome out;
  ASSERT_TRUE(selout(s, model, 0.5, out));
  EXPECT_EQ(out.xcut, 0);
  EXPECT_NEAR(out.sra, 0.500, report_digit);
  EXPECT_NEAR(out.sri, 0.159, report_digit);
  EXPECT_NEAR(out.ai, 0.317, report_digit);
  EXPECT_NEAR(out.ma, 0.798, report_digit);
  EXPECT_NEAR(out.mi, 0.525, report_digit);
  EXPECT_NEAR(out.dif, 0.273, report_digit);
  EXPECT_EQ(s.report().text(), "");
}

TEST_F(Selection, MajorityModeOnTheCriterionComposite) {
  block.dpc = -1;
  const selection_model model{.iosr = 0, .icrit = 1, .rpc = 0.5, .dcc = -0.5};
  outcome out;
  ASSERT_TRUE(selout(s, model, 0.5, out));
  EXPECT_NEAR(out.sra, 0.500, report_digit);
  EXPECT_NEAR(out.sri, 0.159, report_digit);
  EXPECT_NEAR(out.ai, 0.317, report_digit);
  EXPECT_NEAR(out.ma, 0.399, report_digit);
  EXPECT_NEAR(out.mi, 0.263, report_digit);
  EXPECT_NEAR(out.dif, 0.136, report_digit);
}

TEST_F(Selection, OverallModeWithEqualGroups) {
  block.dpc = -1;
  block.ratio = 1;
  const selection_model model{.iosr = 1, .icrit = 0, .pa = 0.5, .pmin = 0.5};
  outcome out;
  ASSERT_TRUE(selout(s, model, 0.5, out));
  EXPECT_NEAR(out.xcut, -0.5, 1e-3);
  const double want[] = {0.691, 0.309, 0.446, 0.396, 0.509, 0.141,
                         0.368, 0.801, 0.903, 0.573, 0.329};
  const double got[] = {out.sra, out.sri, out.ai,  out.m,   out.ma,  out.mi,
                        out.dif, out.sm,  out.sma, out.smi, out.sdif};
  for (int i = 0; i < 11; ++i) EXPECT_NEAR(got[i], want[i], report_digit) << "value " << i;
}

TEST_F(Selection, NoAdverseImpactWithoutAGroupDifference) {
  block.dpc = 0;
  for (double target : {0.1, 0.3, 0.7}) {
    outcome out;
    ASSERT_TRUE(selout(s, {.iosr = 0}, target, out));
    EXPECT_EQ(out.ai, 1);
  }
}

TEST_F(Selection, ExactZeroOfTheObjectiveIsACutScore) {
  // With no group difference and equal groups, the first bisection lands
  // exactly on the cut score 0.
  block.dpc = 0;
  block.ratio = 1;
  outcome out;
  ASSERT_TRUE(selout(s, {.iosr = 1, .pa = 0.5, .pmin = 0.5}, 0.5, out));
  EXPECT_EQ(out.xcut, 0);
  EXPECT_EQ(out.sra, 0.5);
  EXPECT_EQ(out.ai, 1);
  EXPECT_EQ(s.report().text(), "");
}

TEST_F(Selection, OverallRatiosOutsideTheOpenIntervalHaveNoCutScore) {
  block.dpc = -1;
  block.ratio = 1;
  outcome out;
  EXPECT_FALSE(selout(s, {.iosr = 1, .pa = 0.5, .pmin = 0.5}, 1.0, out));
  EXPECT_FALSE(selout(s, {.iosr = 1, .pa = 0.5, .pmin = 0.5}, 0.0, out));
  const std::string text(s.report().text());
  const std::size_t fields = std::size_t{4} * 13;  // four D13.4 fields
  const std::size_t line_length = std::string("ERROR ZERO   4").size() + fields + 1;
  ASSERT_EQ(text.size(), 2 * line_length);
  EXPECT_EQ(text.substr(0, 14), "ERROR ZERO   4");
  EXPECT_EQ(text.substr(67, 14), "ERROR ZERO   4");
}

TEST_F(Selection, MajorityRatiosOutsideTheOpenIntervalAreReported) {
  block.dpc = -1;
  outcome out;
  EXPECT_FALSE(selout(s, {.iosr = 0}, 1.5, out));
  EXPECT_FALSE(selout(s, {.iosr = 0}, 0.0, out));
  EXPECT_EQ(s.report().text(),
            "ERROR PPND   1   0.1500E+01\n"
            "ERROR PPND   1   0.0000E+00\n");
}

TEST_F(Selection, CutScoreBelowTheBracketIsAFailedSolve) {
  block.dpc = -1.5;
  block.ratio = 1;
  outcome out;
  EXPECT_FALSE(selout(s, {.iosr = 1, .pa = 0.5, .pmin = 0.5}, sr1.back(), out));
  EXPECT_EQ(std::string(s.report().text()).substr(0, 14), "ERROR ZERO   4");
}

TEST_F(Selection, LastBuiltInRatioIsReachedWithinTheBracket) {
  block.dpc = -1;
  block.ratio = 1;
  outcome out;
  ASSERT_TRUE(selout(s, {.iosr = 1, .pa = 0.5, .pmin = 0.5}, sr1.back(), out));
  EXPECT_NEAR(out.xcut, -7.6, 0.1);
  EXPECT_NEAR(out.sra, 1, report_digit);
  EXPECT_NEAR(out.sri, 1, report_digit);
}

TEST_F(Selection, FourFifthsMinimumInOverallMode) {
  block.dpc = -1;
  block.ratio = 1;
  problem p;
  p.iosr = 1;
  p.pa = 0.5;
  p.pmin = 0.5;
  const std::optional<double> srmax = srmax_search(s, p);
  ASSERT_TRUE(srmax.has_value());
  EXPECT_NEAR(*srmax, 0.862, report_digit);
  EXPECT_EQ(s.report().text(),
            "\n"
            "Minimum overall selection ratio without AI 4/5th rule is   0.862\n"
            "with selection ratio majority and minority group equal\n"
            "to   0.958  0.766 , respectively\n");
  // Re-solved as a table entry, the minimum has the adverse impact ratio 0.8.
  outcome out;
  ASSERT_TRUE(selout(s, {.iosr = 1, .pa = 0.5, .pmin = 0.5}, *srmax, out));
  EXPECT_NEAR(out.ai, 0.8, report_digit);
}

TEST_F(Selection, FourFifthsMinimumDoesNotDependOnTheApplicantMix) {
  block.dpc = -1;
  problem p;  // majority mode
  const std::optional<double> srmax = srmax_search(s, p);
  ASSERT_TRUE(srmax.has_value());
  EXPECT_NEAR(*srmax, 0.958, report_digit);
  EXPECT_EQ(s.report().text(),
            "\n"
            "Minimal majority selection ratio without AI 4/5th rule is   0.958\n"
            "with corresponding selection ratio minority group equal\n"
            "to   0.766\n");
}

TEST_F(Selection, NoFourFifthsMinimumWhenTheMinorityDoesNotScoreLower) {
  for (double dpc : {0.0, 0.5}) {
    recordio::session fresh{""};
    block.dpc = dpc;
    EXPECT_FALSE(srmax_search(fresh, problem{}).has_value());
    EXPECT_EQ(fresh.report().text(), "\nError in srmax \n");
  }
}

}  // namespace
}  // namespace analysis
