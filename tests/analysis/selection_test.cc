// Selection outcomes and the four-fifths minimum, against the values the
// selection model gives at the report's three decimals; and the precise
// method against the classic one.
#include "analysis/selection.h"

#include <gtest/gtest.h>

#include <cmath>

#include "fourfifths/analysis.h"

namespace analysis {
namespace {

using fourfifths::applicant_mix;
using fourfifths::builtin_ratios;
using fourfifths::outcome;
using fourfifths::outcome_status;
using fourfifths::quality_basis;
using fourfifths::ratio_mode;
using fourfifths::selection_model;

constexpr double report_digit = 5e-4;  // half a unit of the third decimal

selection_model majority(double dpc, quality_basis q = quality_basis::predictor) {
  return {.mode = ratio_mode::majority, .quality = q, .mix = {}, .predictor_effect = dpc};
}

selection_model overall(double dpc, double ratio = 1) {
  return {.mode = ratio_mode::overall,
          .quality = quality_basis::predictor,
          .mix = applicant_mix::from_ratio(ratio),
          .predictor_effect = dpc};
}

TEST(Selection, MajorityModeOnThePredictorComposite) {
  const outcome out = selout(majority(-1), 0.5);
  ASSERT_TRUE(out.solved());
  EXPECT_EQ(out.cut_score, 0);
  EXPECT_NEAR(out.sr_majority, 0.500, report_digit);
  EXPECT_NEAR(out.sr_minority, 0.159, report_digit);
  EXPECT_NEAR(out.ai_ratio, 0.317, report_digit);
  EXPECT_NEAR(out.mean_majority, 0.798, report_digit);
  EXPECT_NEAR(out.mean_minority, 0.525, report_digit);
  EXPECT_NEAR(out.mean_difference, 0.273, report_digit);
  // No applicant mix: no overall values.
  EXPECT_FALSE(out.sr.has_value());
  EXPECT_FALSE(out.mean.has_value());
}

TEST(Selection, MajorityModeOnTheCriterionComposite) {
  selection_model model = majority(-1, quality_basis::criterion);
  model.validity = 0.5;
  model.criterion_effect = -0.5;
  const outcome out = selout(model, 0.5);
  EXPECT_NEAR(out.sr_majority, 0.500, report_digit);
  EXPECT_NEAR(out.sr_minority, 0.159, report_digit);
  EXPECT_NEAR(out.ai_ratio, 0.317, report_digit);
  EXPECT_NEAR(out.mean_majority, 0.399, report_digit);
  EXPECT_NEAR(out.mean_minority, 0.263, report_digit);
  EXPECT_NEAR(out.mean_difference, 0.136, report_digit);
}

TEST(Selection, MajorityModeWithAnApplicantMixAddsTheOverallValues) {
  selection_model model = majority(-1);
  model.mix = applicant_mix::from_ratio(1);
  const outcome out = selout(model, 0.5);
  // SR = (0.5 + 0.1587)/2, and M the mean of both groups' selected.
  ASSERT_TRUE(out.sr.has_value());
  EXPECT_NEAR(*out.sr, 0.5 * 0.5 + 0.5 * 0.158655253931457, 1e-9);
  ASSERT_TRUE(out.mean.has_value());
  const double m =
      (0.5 * out.sr_majority * out.mean_majority + 0.5 * out.sr_minority * out.mean_minority) /
      *out.sr;
  EXPECT_NEAR(*out.mean, m, 1e-15);
}

TEST(Selection, OverallModeWithEqualGroups) {
  const outcome out = selout(overall(-1), 0.5);
  ASSERT_TRUE(out.solved());
  EXPECT_NEAR(out.cut_score, -0.5, 1e-3);
  const double want[] = {0.691, 0.309, 0.446, 0.396, 0.509, 0.141,
                         0.368, 0.801, 0.903, 0.573, 0.329};
  const double got[] = {out.sr_majority,
                        out.sr_minority,
                        out.ai_ratio,
                        *out.mean,
                        out.mean_majority,
                        out.mean_minority,
                        out.mean_difference,
                        *out.std_mean,
                        *out.std_mean_majority,
                        *out.std_mean_minority,
                        *out.std_mean_difference};
  for (int i = 0; i < 11; ++i) EXPECT_NEAR(got[i], want[i], report_digit) << "value " << i;
  EXPECT_EQ(*out.sr, 0.5) << "the overall ratio of an entry is its target";
}

TEST(Selection, NoAdverseImpactWithoutAGroupDifference) {
  for (double target : {0.1, 0.3, 0.7}) {
    const outcome out = selout(majority(0), target);
    ASSERT_TRUE(out.solved());
    EXPECT_EQ(out.ai_ratio, 1);
  }
}

TEST(Selection, ExactZeroOfTheObjectiveIsACutScore) {
  // With no group difference and equal groups, the first bisection lands
  // exactly on the cut score 0.
  const outcome out = selout(overall(0), 0.5);
  ASSERT_TRUE(out.solved());
  EXPECT_EQ(out.code, 2);
  EXPECT_EQ(out.cut_score, 0);
  EXPECT_EQ(out.sr_majority, 0.5);
  EXPECT_EQ(out.ai_ratio, 1);
}

TEST(Selection, OverallRatiosOutsideTheOpenIntervalHaveNoCutScore) {
  for (double target : {1.0, 0.0}) {
    const outcome out = selout(overall(-1), target);
    EXPECT_EQ(out.status, outcome_status::no_cut_score);
    EXPECT_EQ(out.code, 4);
    // The zero finder's ends and its last group ratios are kept for the report.
    EXPECT_TRUE(std::isfinite(out.search_low) && std::isfinite(out.search_high));
    EXPECT_TRUE(std::isfinite(out.sr_majority) && std::isfinite(out.sr_minority));
    EXPECT_TRUE(std::isnan(out.ai_ratio));
    EXPECT_FALSE(out.passes_four_fifths());
  }
}

TEST(Selection, MajorityRatiosOutsideTheOpenIntervalAreAQuantileFault) {
  for (double target : {1.5, 0.0}) {
    const outcome out = selout(majority(-1), target);
    EXPECT_EQ(out.status, outcome_status::quantile_fault);
    EXPECT_EQ(out.code, 1);
    EXPECT_EQ(out.target, target);
  }
}

TEST(Selection, CutScoreBelowTheBracketIsAFailedSolve) {
  const outcome out = selout(overall(-1.5), builtin_ratios.back());
  EXPECT_EQ(out.status, outcome_status::no_cut_score);
  EXPECT_EQ(out.code, 4);
}

TEST(Selection, LastBuiltInRatioIsReachedWithinTheBracket) {
  const outcome out = selout(overall(-1), builtin_ratios.back());
  ASSERT_TRUE(out.solved());
  EXPECT_NEAR(out.cut_score, -7.6, 0.1);
  EXPECT_NEAR(out.sr_majority, 1, report_digit);
  EXPECT_NEAR(out.sr_minority, 1, report_digit);
}

TEST(FourFifths, MinimumInOverallMode) {
  const fourfifths::four_fifths_minimum m = srmax_search(overall(-1));
  ASSERT_TRUE(m.found);
  EXPECT_NEAR(m.cut_score, -1.727, 1e-3);
  EXPECT_NEAR(m.ratio, 0.862, report_digit);
  EXPECT_NEAR(m.sr_majority, 0.958, report_digit);
  EXPECT_NEAR(m.sr_minority, 0.766, report_digit);
  // Re-solved as a table entry, the minimum has the adverse impact ratio 0.8.
  EXPECT_NEAR(selout(overall(-1), m.ratio).ai_ratio, 0.8, report_digit);
}

TEST(FourFifths, CutScoreDoesNotDependOnTheApplicantMix) {
  const fourfifths::four_fifths_minimum m = srmax_search(majority(-1));
  ASSERT_TRUE(m.found);
  EXPECT_NEAR(m.ratio, 0.958, report_digit);
  EXPECT_EQ(m.ratio, m.sr_majority);
  EXPECT_EQ(srmax_search(overall(-1, 3)).cut_score, m.cut_score);
}

TEST(FourFifths, NoMinimumWhenTheMinorityDoesNotScoreLower) {
  for (double dpc : {0.0, 0.5}) {
    EXPECT_FALSE(srmax_search(majority(dpc)).found);
    EXPECT_FALSE(srmax_search_precise(majority(dpc)).found);
  }
}

// Compared with the highest rate, a minority one standard deviation above
// the majority protects the majority: its rate is 0.8 of the minority's
// where Q(x) / Q(x - 1) = 0.8 (mpmath, 40 digits): x = -0.72676931990298,
// the majority's rate 0.76631635979127, the minority's 0.95789544973909; in
// overall mode with equal shares the mirror image of a minority one below
// it, at the overall ratio 0.86210590476518.
TEST(FourFifths, AMinorityAboveTheMajorityProtectsTheMajority) {
  using fourfifths::four_fifths_comparison;
  const auto highest = four_fifths_comparison::to_highest;
  for (const auto& m :
       {srmax_search_precise(majority(1), highest), srmax_search(majority(1), highest)}) {
    ASSERT_TRUE(m.found);
    constexpr double tolerance = 1e-3;  // the classic zero finder's
    EXPECT_NEAR(m.cut_score, -0.72676931990298, tolerance);
    EXPECT_NEAR(m.ratio, 0.76631635979127, tolerance);
    EXPECT_EQ(m.ratio, m.sr_majority);
    EXPECT_NEAR(m.sr_minority, 0.95789544973909, tolerance);
  }
  const auto precise = srmax_search_precise(majority(1), highest);
  EXPECT_NEAR(precise.cut_score, -0.72676931990298, 1e-13);
  EXPECT_NEAR(precise.sr_majority / precise.sr_minority, 0.8, 1e-15);
  const auto above = srmax_search_precise(overall(1), highest);
  const auto below = srmax_search_precise(overall(-1), highest);
  ASSERT_TRUE(above.found && below.found);
  EXPECT_NEAR(above.ratio, 0.86210590476518, 1e-13);
  EXPECT_NEAR(above.ratio, below.ratio, 1e-15);
  // The minimum's own outcome passes; one ulp less fails.
  const outcome at = selout_precise(majority(1), precise.ratio);
  EXPECT_TRUE(at.passes_four_fifths());
  EXPECT_NEAR(at.ratio_to_highest(), 0.8, 1e-15);
  EXPECT_FALSE(
      selout_precise(majority(1), std::nextafter(precise.ratio, 0.0)).passes_four_fifths());
  // Below the majority the comparison changes nothing, to the bit.
  for (const double dpc : {-0.3, -1.0, -2.5}) {
    const auto a = srmax_search_precise(overall(dpc), highest);
    const auto b = srmax_search_precise(overall(dpc));
    EXPECT_EQ(a.ratio, b.ratio);
    EXPECT_EQ(a.cut_score, b.cut_score);
    const auto c = srmax_search(overall(dpc), highest);
    const auto d = srmax_search(overall(dpc));
    EXPECT_EQ(c.ratio, d.ratio);
  }
}

// The precise method: cut scores to the last bits. Its group ratios reach
// the target exactly where the classic method stops at its tolerance.
TEST(Precise, OverallCutScoreReachesTheTarget) {
  for (double dpc : {-2.0, -1.0, -0.2, 0.0, 0.7}) {
    for (double ratio : {0.25, 1.0, 9.0}) {
      for (double target : {1e-6, 0.01, 0.3, 0.5, 0.95, builtin_ratios.back()}) {
        SCOPED_TRACE(testing::Message()
                     << "dpc " << dpc << " ratio " << ratio << " target " << target);
        const selection_model model = overall(dpc, ratio);
        const outcome out = selout_precise(model, target);
        ASSERT_TRUE(out.solved());
        const double sr =
            model.mix->majority * out.sr_majority + model.mix->minority * out.sr_minority;
        EXPECT_NEAR(sr / target, 1, 4e-16 * (1 + std::fabs(out.cut_score)));
      }
    }
  }
}

TEST(Precise, AgreesWithTheClassicMethodToItsTolerance) {
  for (double target : {0.05, 0.3, 0.8}) {
    const outcome classic = selout(overall(-1, 3), target);
    const outcome precise = selout_precise(overall(-1, 3), target);
    EXPECT_NEAR(precise.cut_score, classic.cut_score, 1e-4 * std::fabs(classic.cut_score) + 1e-6);
    EXPECT_NEAR(precise.ai_ratio, classic.ai_ratio, 1e-4);
  }
}

TEST(Precise, FourFifthsMinimumHasTheImpactRatioExactly) {
  for (double dpc : {-3.0, -1.0, -0.3, -0.05, -0.01}) {
    SCOPED_TRACE(dpc);
    const fourfifths::four_fifths_minimum m = srmax_search_precise(overall(dpc));
    ASSERT_TRUE(m.found);
    EXPECT_NEAR(m.sr_minority / m.sr_majority, 0.8, 4e-15);
  }
  // AI = 0.8 at a cut score near 0.223/|dpc| + |dpc|/2 for a small
  // difference: beyond the classic bracket at 8, within the precise range.
  EXPECT_FALSE(srmax_search(overall(-0.01)).found);
  EXPECT_GT(srmax_search_precise(overall(-0.01)).cut_score, 8);
}

TEST(Precise, RatiosOutsideTheOpenIntervalHaveNoCutScore) {
  EXPECT_EQ(selout_precise(overall(-1), 1.0).status, outcome_status::no_cut_score);
  EXPECT_EQ(selout_precise(overall(-1), 0.0).status, outcome_status::no_cut_score);
  EXPECT_EQ(selout_precise(majority(-1), 1.0).status, outcome_status::quantile_fault);
  EXPECT_EQ(selout_precise(majority(-1), -0.5).status, outcome_status::quantile_fault);
}

}  // namespace
}  // namespace analysis
