// The library's answers for observed counts on hand-made cases: the rule
// decided exactly, the shortfalls, the one-person rule, every edge with its
// status, the order of units and groups, and the faults with their paths.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "fourfifths/observed.h"

namespace {

using fourfifths::analyse_observed;
using fourfifths::comparison;
using fourfifths::comparison_status;
using fourfifths::group_counts;
using fourfifths::observed_options;

std::vector<comparison> rows_of(const std::vector<group_counts>& counts,
                                const observed_options& options = {}) {
  const fourfifths::observed_result r = analyse_observed(counts, options);
  EXPECT_TRUE(r.ok());
  for (const fourfifths::fault& f : r.errors) ADD_FAILURE() << f.text();
  return r.ok() ? r->rows : std::vector<comparison>{};
}

// The one fault of some counts, as "path: message".
std::string fault_of(const std::vector<group_counts>& counts,
                     const observed_options& options = {}) {
  const fourfifths::observed_result r = analyse_observed(counts, options);
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.status, fourfifths::observed_status::invalid);
  EXPECT_EQ(r.errors.size(), 1U);
  return r.errors.empty() ? "" : r.errors[0].text();
}

TEST(FourFifths, TheTextbookCase) {
  // 60% of 80 men and 40% of 60 women selected: the women's ratio is 2/3.
  const auto rows = rows_of({{"men", 80, 48}, {"women", 60, 24}});
  ASSERT_EQ(rows.size(), 2U);
  const comparison& men = rows[0];
  EXPECT_EQ(men.status, comparison_status::reference);
  EXPECT_EQ(men.reference, "men");
  EXPECT_EQ(men.impact_ratio, 1.0);
  EXPECT_EQ(men.passes_four_fifths, true);
  EXPECT_FALSE(men.z || men.p_z || men.p_fisher || men.ci_low || men.one_person_flip);

  const comparison& women = rows[1];
  EXPECT_EQ(women.status, comparison_status::compared);
  EXPECT_EQ(women.reference, "men");
  EXPECT_EQ(women.rate, 0.4);
  EXPECT_DOUBLE_EQ(*women.impact_ratio, 2.0 / 3);
  EXPECT_EQ(women.passes_four_fifths, false);
  // 29/60 >= 0.8 * 0.6 > 28/60.
  EXPECT_EQ(women.shortfall_four_fifths, 5);
  // At the pool's rate of 72/140 the 60 women would have 30 6/7 selections.
  EXPECT_DOUBLE_EQ(*women.shortfall_pool, 48.0 / 7);
  // 25/60 against 47/80 still fails.
  EXPECT_EQ(women.one_person_flip, false);
  EXPECT_TRUE(women.z && *women.z < 0);
  EXPECT_TRUE(women.significant_z && women.significant_fisher);
}

TEST(FourFifths, ExactlyFourFifthsPasses) {
  // 0.4 against 0.5 is exactly 0.8 (no rounding may fail it), and 0.4 in
  // thirds: 4/15 against 1/3.
  EXPECT_EQ(rows_of({{"a", 20, 10}, {"b", 20, 8}})[1].passes_four_fifths, true);
  EXPECT_EQ(rows_of({{"a", 3, 1}, {"b", 15, 4}})[1].passes_four_fifths, true);
  EXPECT_EQ(rows_of({{"a", 3, 1}, {"b", 1500000000001, 399999999999}})[1].passes_four_fifths,
            false);
}

TEST(FourFifths, APValueOfExactlyAlphaIsNotSignificant) {
  // 0 of 1 against 19 of 19: the only table as improbable is the observed
  // one, 1 in C(20, 19) = 20, so p is 1/20 exactly.
  const auto rows = rows_of({{"A", 19, 19}, {"B", 1, 0}});
  EXPECT_EQ(rows[1].p_fisher, 0.05);
  EXPECT_EQ(rows[1].significant_fisher, false);
  EXPECT_EQ(rows_of({{"A", 19, 19}, {"B", 1, 0}}, {.alpha = 0.0500001})[1].significant_fisher,
            true);
}

TEST(FourFifths, FishersExampleFromTheLiterature) {
  // scipy.stats.fisher_exact's documented example [[8, 2], [1, 5]]: p = 5/143
  // exactly (by exact arithmetic; scipy prints 0.0349...).
  const auto rows = rows_of({{"ref", 6, 1}, {"g", 10, 8}}, {.reference = "ref"});
  EXPECT_NEAR(*rows[1].p_fisher, 5.0 / 143, 1e-16);
}

TEST(OnePerson, FailingByOneSelection) {
  // 7/20 against 9/20 fails; 8/20 against 8/20 would not.
  const auto rows = rows_of({{"ref", 20, 9}, {"g", 20, 7}});
  EXPECT_EQ(rows[1].passes_four_fifths, false);
  EXPECT_EQ(rows[1].one_person_flip, true);
  EXPECT_EQ(rows[1].shortfall_four_fifths, 1);
}

TEST(OnePerson, PassingByOneSelection) {
  // 8/20 against 10/20 passes at exactly 0.8; 7/20 against 11/20 fails.
  EXPECT_EQ(rows_of({{"ref", 20, 10}, {"g", 20, 8}})[1].one_person_flip, true);
  // 90/200 against 100/200: 89 against 101 still passes.
  EXPECT_EQ(rows_of({{"ref", 200, 100}, {"g", 200, 90}})[1].one_person_flip, false);
}

TEST(OnePerson, TheHighestRateIsTakenAnew) {
  // C fails against A (0.36 < 0.8 * 0.5). One selection moved from A to C
  // gives 0.37 against A's 0.45, enough; but B's 0.49 is now the highest
  // rate, and 0.37 < 0.8 * 0.49.
  const std::vector<group_counts> counts = {{"A", 20, 10}, {"B", 100, 49}, {"C", 100, 36}};
  const auto highest = rows_of(counts);
  EXPECT_EQ(highest[2].reference, "A");
  EXPECT_EQ(highest[2].passes_four_fifths, false);
  EXPECT_EQ(highest[2].one_person_flip, false);
  // With A named, A stays the reference.
  EXPECT_EQ(rows_of(counts, {.reference = "A"})[2].one_person_flip, true);
}

TEST(OnePerson, NoMoveWithoutSomeoneToMove) {
  // Neither selected anyone: the rule is not judged (0/0), and neither
  // has a selection to move; its rate is not below, so nothing to reverse
  // either.
  const comparison none = rows_of({{"a", 10, 0}, {"b", 5, 0}})[1];
  EXPECT_FALSE(none.one_person_flip);
  EXPECT_FALSE(none.one_person_reversal);
  EXPECT_EQ(none.note, fourfifths::one_person_note::group_selected_no_one);
  // Both selected everyone: the reference cannot take one more.
  const comparison all = rows_of({{"a", 10, 10}, {"b", 5, 5}})[1];
  EXPECT_FALSE(all.one_person_flip);
  EXPECT_EQ(all.note, fourfifths::one_person_note::reference_selected_everyone);
  // 9 of 10 against 10 of 10 passes, and the reference has no one left to
  // take; but one job to the group instead (10 of 10 against 9 of 10)
  // reverses the difference.
  const comparison most = rows_of({{"a", 10, 10}, {"b", 10, 9}})[1];
  EXPECT_FALSE(most.one_person_flip);
  EXPECT_EQ(most.one_person_reversal, true);
  EXPECT_EQ(most.note, fourfifths::one_person_note::reference_selected_everyone);
}

TEST(OnePerson, TheRuleOfTheQuestionsAndAnswers) {
  // 12 of 16 against 7 of 7 fails (0.75); 13 of 16 against 6 of 7 passes
  // (0.8125 >= 0.8 * 0.857), so the verdict flips, but 13/16 is still
  // below 6/7: the impact is not reversed.
  const comparison close = rows_of({{"ref", 7, 7}, {"g", 16, 12}})[1];
  EXPECT_EQ(close.passes_four_fifths, false);
  EXPECT_EQ(close.one_person_flip, true);
  EXPECT_EQ(close.one_person_reversal, false);
  EXPECT_EQ(close.note, fourfifths::one_person_note::none);
  // 1 of 5 against 3 of 10: 2 of 5 against 2 of 10 is higher.
  EXPECT_EQ(rows_of({{"ref", 10, 3}, {"g", 5, 1}})[1].one_person_reversal, true);
  // 1 of 4 against 3 of 4: 2 of 4 against 2 of 4, equal, no longer lower.
  EXPECT_EQ(rows_of({{"ref", 4, 3}, {"g", 4, 1}})[1].one_person_reversal, true);
  // 10 of 100 against 30 of 100: 11 against 29 stays far below.
  EXPECT_EQ(rows_of({{"ref", 100, 30}, {"g", 100, 10}})[1].one_person_reversal, false);
  // Equal rates: nothing to reverse, and the note says so.
  const comparison equal = rows_of({{"ref", 8, 4}, {"g", 4, 2}})[1];
  EXPECT_FALSE(equal.one_person_reversal);
  EXPECT_EQ(equal.one_person_flip, true);  // 1 of 4 against 5 of 8 fails
  EXPECT_EQ(equal.note, fourfifths::one_person_note::rate_not_lower);
  // A named reference below the group: not lower either.
  EXPECT_FALSE(rows_of({{"ref", 10, 2}, {"g", 10, 5}}, {.reference = "ref"})[1].one_person_reversal);
}

TEST(OnePerson, MoreTablesWorkedByHand) {
  // 3 of 10 against 4 of 10 fails (0.75); one job moved: 4/10 against
  // 3/10, the group now higher. Both rules say one person decides it.
  const comparison small = rows_of({{"ref", 10, 4}, {"g", 10, 3}})[1];
  EXPECT_EQ(small.one_person_flip, true);
  EXPECT_EQ(small.one_person_reversal, true);
  // 45 of 100 against 50 of 100 passes (0.9); one job moved: 46/100 against
  // 49/100, still below: not reversed. Moved the other way (44 against 51,
  // 0.863) it still passes: no flip either.
  const comparison near = rows_of({{"ref", 100, 50}, {"g", 100, 45}})[1];
  EXPECT_EQ(near.one_person_reversal, false);
  EXPECT_EQ(near.one_person_flip, false);
  // 0 of 5 against 2 of 5: one job moved gives 1/5 against 1/5, equal, so
  // no longer below.
  EXPECT_EQ(rows_of({{"ref", 5, 2}, {"g", 5, 0}})[1].one_person_reversal, true);
  // Groups of different sizes: 5 of 20 (0.25) against 9 of 30 (0.3); moved:
  // 6/20 = 0.3 against 8/30 = 0.2667, higher.
  EXPECT_EQ(rows_of({{"ref", 30, 9}, {"g", 20, 5}})[1].one_person_reversal, true);
  // 50 of 200 (0.25) against 30 of 100 (0.3); moved: 51/200 = 0.255 against
  // 29/100 = 0.29, still below. The move is the same one person, however
  // large the group: the Questions and Answers count people, not rates.
  EXPECT_EQ(rows_of({{"ref", 100, 30}, {"g", 200, 50}})[1].one_person_reversal, false);
}

TEST(Edges, NoApplicantsInAGroup) {
  const auto rows = rows_of({{"a", 10, 5}, {"b", 0, 0}});
  const comparison& b = rows[1];
  EXPECT_EQ(b.status, comparison_status::no_applicants);
  EXPECT_EQ(b.reference, "a");
  EXPECT_FALSE(b.rate || b.impact_ratio || b.passes_four_fifths || b.shortfall_four_fifths ||
               b.shortfall_pool || b.one_person_flip || b.z || b.p_z || b.p_fisher || b.ci_low);
}

TEST(Edges, NoSelectionsAtAll) {
  // Every rate 0: the first group is the reference; the ratio is 0/0.
  const auto rows = rows_of({{"a", 10, 0}, {"b", 5, 0}});
  EXPECT_EQ(rows[0].status, comparison_status::reference);
  const comparison& b = rows[1];
  EXPECT_EQ(b.status, comparison_status::no_selections);
  EXPECT_FALSE(b.impact_ratio || b.z || b.ci_low || b.ci_high);
  // No ratio, no verdict: 0 of 5 against 0 of 10 tells nothing of how b
  // fares, so the rule is not said to hold (nor to fail), and nothing is
  // short of it.
  EXPECT_FALSE(b.passes_four_fifths);
  EXPECT_FALSE(b.shortfall_four_fifths);
  EXPECT_FALSE(b.one_person_flip || b.one_person_reversal);
  EXPECT_EQ(b.shortfall_pool, 0.0);
  EXPECT_EQ(b.p_z, 1.0);
  EXPECT_EQ(b.p_fisher, 1.0);
  EXPECT_EQ(b.significant_z, false);
}

TEST(Edges, EveryoneSelected) {
  const comparison b = rows_of({{"a", 10, 10}, {"b", 5, 5}})[1];
  EXPECT_EQ(b.status, comparison_status::all_selected);
  EXPECT_EQ(b.impact_ratio, 1.0);
  EXPECT_EQ(b.passes_four_fifths, true);
  EXPECT_FALSE(b.z);
  EXPECT_EQ(b.p_z, 1.0);
  EXPECT_EQ(b.p_fisher, 1.0);
  EXPECT_EQ(b.ci_low, 1.0);
  EXPECT_EQ(b.ci_high, 1.0);
}

TEST(Edges, ReferenceRateZero) {
  // Only a named reference can have a lower rate than the group.
  const comparison b = rows_of({{"a", 10, 0}, {"b", 10, 3}}, {.reference = "a"})[1];
  EXPECT_EQ(b.status, comparison_status::reference_rate_zero);
  EXPECT_EQ(b.impact_ratio, std::numeric_limits<double>::infinity());
  EXPECT_EQ(b.passes_four_fifths, true);
  EXPECT_EQ(b.shortfall_four_fifths, 0);
  EXPECT_TRUE(b.z && *b.z > 0);
  // statsmodels' confint_proportions_2indep(3, 10, 0, 10, compare="ratio",
  // method="log-adjusted"): 0.5 added to each count.
  EXPECT_NEAR(*b.ci_low, 0.41019384946016324, 1e-15);
  EXPECT_NEAR(*b.ci_high, 119.4557160339839, 1e-12);
}

TEST(Edges, GroupRateZero) {
  const comparison b = rows_of({{"a", 10, 5}, {"b", 10, 0}})[1];
  EXPECT_EQ(b.status, comparison_status::group_rate_zero);
  EXPECT_EQ(b.impact_ratio, 0.0);
  EXPECT_EQ(b.passes_four_fifths, false);
  EXPECT_EQ(b.shortfall_four_fifths, 4);  // 4/10 = 0.8 * 5/10
  // statsmodels, as above, for (0, 10, 5, 10).
  EXPECT_NEAR(*b.ci_low, 0.005720512780349341, 1e-17);
  EXPECT_NEAR(*b.ci_high, 1.4447066420875405, 1e-15);
}

TEST(Edges, NamedReferenceMissingFromAUnit) {
  const auto rows =
      rows_of({{"A", 10, 5, "u1"}, {"B", 10, 3, "u1"}, {"B", 8, 2, "u2"}}, {.reference = "A"});
  ASSERT_EQ(rows.size(), 5U);  // two units, then both groups together
  const comparison& b2 = rows[2];
  EXPECT_EQ(b2.unit, "u2");
  EXPECT_EQ(b2.status, comparison_status::no_reference);
  EXPECT_EQ(b2.reference, "A");
  EXPECT_EQ(b2.rate, 0.25);
  EXPECT_FALSE(b2.impact_ratio || b2.passes_four_fifths || b2.p_fisher);
}

TEST(Edges, AReferenceOfItsOwn) {
  // One group: it is its own reference.
  const auto rows = rows_of({{"only", 7, 3}});
  ASSERT_EQ(rows.size(), 1U);
  EXPECT_EQ(rows[0].status, comparison_status::reference);
}

TEST(Units, OrderAndTheRowsOfAllUnits) {
  // Groups in the order they first appear anywhere, units likewise.
  const auto rows = rows_of({{"B", 10, 4, "2021"},
                             {"A", 10, 6, "2021"},
                             {"A", 20, 10, "2022"},
                             {"C", 5, 1, "2022"},
                             {"B", 30, 12, "2022"}});
  ASSERT_EQ(rows.size(), 8U);
  const char* expected[][2] = {{"2021", "B"}, {"2021", "A"}, {"2022", "B"}, {"2022", "A"},
                               {"2022", "C"}, {"", "B"},     {"", "A"},     {"", "C"}};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].unit, expected[i][0]) << i;
    EXPECT_EQ(rows[i].group, expected[i][1]) << i;
  }
  // All units together: A has 16 of 30, B 16 of 40, C 1 of 5.
  EXPECT_EQ(rows[6].status, comparison_status::reference);
  EXPECT_EQ(rows[5].applicants, 40);
  EXPECT_EQ(rows[5].selected, 16);
  EXPECT_DOUBLE_EQ(*rows[5].impact_ratio, 0.4 / (16.0 / 30));
  // B meets A in both units, C in one.
  EXPECT_EQ(rows[5].across_units->units, 2);
  EXPECT_EQ(rows[7].across_units->units, 1);
  EXPECT_FALSE(rows[6].across_units);
  for (std::size_t i = 0; i < 5; ++i) EXPECT_FALSE(rows[i].across_units);
}

TEST(Units, MantelHaenszelSeesThroughPooling) {
  // Simpson's paradox: in each unit the group's rate is the reference's,
  // but the group applies mostly where selection is hard, so the pooled
  // rates differ. The common odds ratio is 1 and its test finds nothing.
  const auto rows = rows_of({{"ref", 100, 80, "easy"},
                             {"g", 10, 8, "easy"},
                             {"ref", 10, 1, "hard"},
                             {"g", 100, 10, "hard"}},
                            {.reference = "ref"});
  const comparison& pooled = rows[5];
  EXPECT_EQ(pooled.unit, "");
  EXPECT_EQ(pooled.passes_four_fifths, false);  // 18/110 against 81/110
  EXPECT_EQ(pooled.significant_fisher, true);
  ASSERT_TRUE(pooled.across_units);
  EXPECT_DOUBLE_EQ(*pooled.across_units->odds_ratio, 1.0);
  EXPECT_EQ(pooled.across_units->statistic, 0.0);
  EXPECT_EQ(pooled.across_units->p, 1.0);
  EXPECT_LT(*pooled.across_units->ci_low, 1.0);
  EXPECT_GT(*pooled.across_units->ci_high, 1.0);
}

TEST(Units, TheRowsOfAllUnitsPoolOnlyWhereTheGroupsMeet) {
  // A applies everywhere but unit 3, B only in unit 1, C only in unit 2,
  // D only in unit 3. By the totals A (10 of 20) is the reference.
  const auto rows = rows_of({{"A", 10, 8, "1"},
                             {"B", 10, 4, "1"},
                             {"A", 10, 2, "2"},
                             {"C", 10, 2, "2"},
                             {"D", 5, 1, "3"}});
  ASSERT_EQ(rows.size(), 9U);
  const comparison& b = rows[6];
  const comparison& c = rows[7];
  const comparison& d = rows[8];
  EXPECT_EQ(rows[5].status, comparison_status::reference);
  EXPECT_EQ(rows[5].selected, 10);
  // B against A's 8 of 10 in unit 1: 0.5, not 0.4 / 0.5.
  EXPECT_EQ(b.impact_ratio, 0.5);
  EXPECT_EQ(b.across_units->units, 1);
  // C against A's 2 of 10 in unit 2: equal rates (pooling A's unit 1 would
  // give 0.4 and fail C).
  EXPECT_EQ(c.impact_ratio, 1.0);
  EXPECT_EQ(c.passes_four_fifths, true);
  EXPECT_EQ(c.applicants, 10);
  // D never meets A: its own counts and rate, nothing compared.
  EXPECT_EQ(d.status, comparison_status::no_shared_unit);
  EXPECT_EQ(d.applicants, 5);
  EXPECT_EQ(d.rate, 0.2);
  EXPECT_EQ(d.reference, "A");
  EXPECT_FALSE(d.impact_ratio || d.passes_four_fifths || d.p_fisher || d.one_person_flip);
  ASSERT_TRUE(d.across_units);
  EXPECT_EQ(d.across_units->units, 0);
  EXPECT_FALSE(d.across_units->p);
  EXPECT_EQ(d.across_units->status, fourfifths::mh_status::no_shared_unit);
}

TEST(Units, NoMantelHaenszelPValueWithoutATest) {
  // In unit 1 everyone is selected, in unit 2 no one: no table varies, the
  // statistic has no variance, and there is no p value (not 1).
  const auto rows = rows_of(
      {{"A", 5, 5, "1"}, {"B", 5, 5, "1"}, {"A", 4, 0, "2"}, {"B", 3, 0, "2"}});
  const comparison& pooled = rows[4];  // A: 5 of 9 below B's 5 of 8
  ASSERT_TRUE(pooled.across_units);
  EXPECT_EQ(pooled.across_units->units, 2);
  EXPECT_FALSE(pooled.across_units->statistic);
  EXPECT_FALSE(pooled.across_units->p);
  EXPECT_EQ(pooled.across_units->status, fourfifths::mh_status::no_variation);
}

// One process of three steps, worked by hand. Men: 100 screened, 60
// passed; 60 tested, 48 passed; 48 interviewed, 24 hired. Women: 80, 56;
// 56, 28; 28, 21.
std::vector<group_counts> three_steps() {
  return {{.group = "men", .applicants = 100, .selected = 60, .step = "screen"},
          {.group = "women", .applicants = 80, .selected = 56, .step = "screen"},
          {.group = "men", .applicants = 60, .selected = 48, .step = "test"},
          {.group = "women", .applicants = 56, .selected = 28, .step = "test"},
          {.group = "men", .applicants = 48, .selected = 24, .step = "interview"},
          {.group = "women", .applicants = 28, .selected = 21, .step = "interview"}};
}

TEST(Steps, EachStepAndTheBottomLine) {
  const fourfifths::observed_result r = analyse_observed(three_steps());
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r->steps, (std::vector<std::string>{"screen", "test", "interview"}));
  EXPECT_TRUE(r->units.empty());
  const auto& rows = r->rows;
  ASSERT_EQ(rows.size(), 8U);
  const std::vector<std::string> steps = {"screen", "screen", "test", "test",
                                          "interview", "interview", "", ""};
  for (std::size_t k = 0; k < rows.size(); ++k) {
    EXPECT_EQ(rows[k].step, steps[k]) << k;
    EXPECT_EQ(rows[k].group, k % 2 == 0 ? "men" : "women") << k;
    EXPECT_TRUE(rows[k].unit.empty()) << k;
  }
  // Screen: 0.6 against 0.7, 6/7 passes. Test: 0.5 against 0.8, 5/8
  // fails. Interview: 0.5 against 0.75, 2/3 fails.
  EXPECT_EQ(rows[0].reference, "women");
  EXPECT_NEAR(*rows[0].impact_ratio, 6.0 / 7, 1e-15);
  EXPECT_EQ(rows[0].passes_four_fifths, true);
  EXPECT_EQ(rows[3].reference, "men");
  EXPECT_NEAR(*rows[3].impact_ratio, 5.0 / 8, 1e-15);
  EXPECT_EQ(rows[3].passes_four_fifths, false);
  // Fisher on [[28, 28], [48, 12]]: 447770088640782494 /
  // 517654598193615358139 by exact arithmetic (scipy: 0.00086499780008388).
  EXPECT_NEAR(*rows[3].p_fisher, 0.0008649978000838807, 1e-12 * 0.00086);
  EXPECT_EQ(rows[3].significant_fisher, true);
  EXPECT_EQ(rows[4].passes_four_fifths, false);
  EXPECT_NEAR(*rows[4].impact_ratio, 2.0 / 3, 1e-15);
  // The bottom line: men 24 of 100, women 21 of 80; the women's 0.2625 is
  // the higher, and the men's 0.24 is 32/35 of it: the process passes
  // though two of its steps do not.
  const comparison& men = rows[6];
  const comparison& women = rows[7];
  EXPECT_EQ(men.applicants, 100);
  EXPECT_EQ(men.selected, 24);
  EXPECT_EQ(women.applicants, 80);
  EXPECT_EQ(women.selected, 21);
  EXPECT_EQ(women.status, comparison_status::reference);
  EXPECT_NEAR(*men.impact_ratio, 32.0 / 35, 1e-15);
  EXPECT_EQ(men.passes_four_fifths, true);
  // Fisher on [[24, 76], [21, 59]]: 0.7327385785278523 (exact fractions
  // and scipy alike).
  EXPECT_NEAR(*men.p_fisher, 0.7327385785278523, 1e-12);
}

TEST(Steps, EveryStepPassesAndTheBottomLineFails) {
  // Ratios of 0.86, 0.87 and 0.89 at the steps compound to 2/3: men 100,
  // 50 of 100, 40 of 50, 30 of 40; women 100, 43 of 100, 30 of 43, 20 of
  // 30. Given in the order interview, test, screen and ordered by name.
  const std::vector<group_counts> counts = {
      {.group = "men", .applicants = 40, .selected = 30, .step = "interview"},
      {.group = "women", .applicants = 30, .selected = 20, .step = "interview"},
      {.group = "men", .applicants = 50, .selected = 40, .step = "test"},
      {.group = "women", .applicants = 43, .selected = 30, .step = "test"},
      {.group = "men", .applicants = 100, .selected = 50, .step = "screen"},
      {.group = "women", .applicants = 100, .selected = 43, .step = "screen"}};
  const auto rows = rows_of(counts, {.steps = {"screen", "test", "interview"}});
  ASSERT_EQ(rows.size(), 8U);
  for (std::size_t k = 1; k < 6; k += 2) {
    EXPECT_EQ(rows[k].passes_four_fifths, true) << rows[k].step;
  }
  EXPECT_EQ(rows[0].step, "screen");
  EXPECT_EQ(rows[7].selected, 20);
  EXPECT_EQ(rows[7].applicants, 100);
  EXPECT_NEAR(*rows[7].impact_ratio, 2.0 / 3, 1e-15);
  EXPECT_EQ(rows[7].passes_four_fifths, false);
  // Without the order, the data's: interview first, and then 50 men reach
  // the test where only 30 passed the interview; each group fails twice.
  const fourfifths::observed_result unordered = analyse_observed(counts);
  ASSERT_EQ(unordered.errors.size(), 4U);
  EXPECT_EQ(unordered.errors[0].text(),
            "counts[2].applicants: 50 of \"men\" reached step \"test\", more than the 30 "
            "selected at step \"interview\" (counts[0])");
}

TEST(Steps, ZeroSurvivors) {
  // No one passes the test; the interview, named but absent from the
  // data, has no applicants, and the bottom line selected no one.
  const std::vector<group_counts> counts = {
      {.group = "a", .applicants = 10, .selected = 4, .step = "screen"},
      {.group = "b", .applicants = 5, .selected = 0, .step = "screen"},
      {.group = "a", .applicants = 4, .selected = 0, .step = "test"}};
  const fourfifths::observed_result r =
      analyse_observed(counts, {.steps = {"screen", "test", "interview"}});
  ASSERT_TRUE(r.ok());
  const auto& rows = r->rows;
  ASSERT_EQ(rows.size(), 8U);
  EXPECT_EQ(rows[1].status, comparison_status::group_rate_zero);
  EXPECT_EQ(rows[2].status, comparison_status::reference);  // 0 of 4, the only rate
  EXPECT_EQ(rows[3].status, comparison_status::no_applicants);
  EXPECT_EQ(rows[3].step, "test");
  for (std::size_t k = 4; k < 6; ++k) {
    EXPECT_EQ(rows[k].step, "interview");
    EXPECT_EQ(rows[k].status, comparison_status::no_applicants);
    EXPECT_EQ(rows[k].applicants, 0);
  }
  EXPECT_EQ(rows[6].applicants, 10);
  EXPECT_EQ(rows[6].selected, 0);
  EXPECT_EQ(rows[7].applicants, 5);
  EXPECT_EQ(rows[7].status, comparison_status::no_selections);
  EXPECT_EQ(rows[7].p_fisher, 1.0);
  EXPECT_EQ(rows[7].significant_fisher, false);
  EXPECT_FALSE(rows[7].passes_four_fifths);  // the bottom line of no selections: not judged
}

TEST(Steps, OneStepHasNoBottomLine) {
  const auto rows = rows_of({{.group = "a", .applicants = 3, .selected = 1, .step = "s"},
                             {.group = "b", .applicants = 3, .selected = 2, .step = "s"}});
  ASSERT_EQ(rows.size(), 2U);
  EXPECT_EQ(rows[0].step, "s");
  EXPECT_EQ(rows[1].step, "s");
}

TEST(Steps, Faults) {
  const group_counts a1{.group = "a", .applicants = 3, .selected = 1, .step = "one"};
  const group_counts a2{.group = "a", .applicants = 1, .selected = 1, .step = "two"};
  // Withdrawals are allowed: the 1 who passed need not go on. A row at
  // each step, and the bottom line.
  EXPECT_EQ(rows_of({a1, {.group = "a", .applicants = 0, .selected = 0, .step = "two"}}).size(),
            3U);
  EXPECT_EQ(fault_of({a1, {.group = "a", .applicants = 2, .selected = 0, .step = "two"}}),
            "counts[1].applicants: 2 of \"a\" reached step \"two\", more than the 1 selected "
            "at step \"one\" (counts[0])");
  EXPECT_EQ(fault_of({a1, a2, {.group = "b", .applicants = 1, .selected = 0, .step = "two"}}),
            "counts[2].applicants: 1 of \"b\" reached step \"two\", more than the 0 selected at "
            "step \"one\" (none given there)");
  EXPECT_EQ(fault_of({a1, {.group = "a", .applicants = 1, .selected = 1, .unit = "u", .step = "two"}}),
            "counts: units and steps are not analysed together: give the steps of one process, "
            "or analyse each unit's steps apart");
  EXPECT_EQ(fault_of({a1, {.group = "b", .applicants = 1, .selected = 0}}),
            "counts[1].step: is missing");
  EXPECT_EQ(fault_of({a1, a2}, {.steps = {"one"}}),
            "counts[1].step: \"two\" is not among the steps given (one)");
  EXPECT_EQ(fault_of({a1, a2}, {.steps = {"one", "two", "one"}}),
            "steps: \"one\" is given twice");
  EXPECT_EQ(fault_of({a1, a1}), "counts[1].group: \"a\" is given twice at step \"one\" (first as counts[0])");
  EXPECT_EQ(fault_of({{.group = "a", .applicants = 3, .selected = 1}}, {.steps = {"one"}}),
            "counts[0].step: is missing");
  // 5000 steps of a group each would be 25 million rows, one for every
  // group at every step: refused, not laid out.
  std::vector<group_counts> spread;
  spread.reserve(5000);
  for (int k = 0; k < 5000; ++k) {
    spread.push_back({.group = "g" + std::to_string(k), .applicants = 1, .selected = 0,
                      .step = "s" + std::to_string(k)});
  }
  EXPECT_EQ(fault_of(spread),
            "counts: 5000 steps of 5000 groups: more than the 16777216 rows of an analysis of "
            "steps, one for every group at every step");
}

TEST(Faults, EachNamesItsPlace) {
  EXPECT_EQ(fault_of({{"a", -1, 0}}), "counts[0].applicants: must not be negative");
  EXPECT_EQ(fault_of({{"a", 5, 0}, {"b", 3, 5}}),
            "counts[1].selected: more selected (5) than applicants (3)");
  EXPECT_EQ(fault_of({{"a", 5, -2}}), "counts[0].selected: must not be negative");
  EXPECT_EQ(fault_of({{"", 5, 2}}), "counts[0].group: is missing");
  EXPECT_EQ(fault_of({{"a", fourfifths::max_count + 1, 0}}),
            "counts[0].applicants: must be at most 9007199254740991");
  EXPECT_EQ(fault_of({{"a", 5, 2, "u"}, {"b", 5, 2, "v"}, {"a", 4, 1, "u"}}),
            "counts[2].group: \"a\" is given twice in unit \"u\" (first as counts[0])");
  EXPECT_EQ(fault_of({{"a", 5, 2}, {"a", 4, 1}}),
            "counts[1].group: \"a\" is given twice (first as counts[0])");
  EXPECT_EQ(fault_of({{"a", 5, 2, "u"}, {"b", 5, 2}}), "counts[1].unit: is missing");
  EXPECT_EQ(fault_of({}), "counts: no groups");
  EXPECT_EQ(fault_of({{"a", fourfifths::max_count, 0}, {"b", 1, 0}}),
            "counts: the applicants of all groups together exceed 9007199254740991");
  EXPECT_EQ(fault_of({{"a", fourfifths::max_count, 0, "u"}, {"b", 1, 0, "v"}}),
            "counts: the applicants of all units together exceed 9007199254740991");
}

TEST(Faults, Options) {
  const std::vector<group_counts> counts = {{"a", 5, 2}, {"b", 5, 1}};
  EXPECT_EQ(fault_of(counts, {.reference = "c"}), "reference: no group \"c\" in the counts");
  for (const double alpha : {0.0, 1.0, -0.1, std::nan("")}) {
    EXPECT_EQ(fault_of(counts, {.alpha = alpha}), "alpha: must lie strictly between 0 and 1");
  }
}

TEST(Faults, AllAreReported) {
  const fourfifths::observed_result r =
      analyse_observed(std::vector<group_counts>{{"", -1, 0}, {"b", 3, 4}}, {.alpha = 2});
  EXPECT_EQ(r.errors.size(), 4U);  // group, applicants, selected, alpha
}

TEST(Alpha, SetsTheLevelOfTheIntervalAndTheVerdicts) {
  // 30/100 against 45/100: p about 0.04 by either test.
  const std::vector<group_counts> counts = {{"ref", 100, 45}, {"g", 100, 30}};
  const comparison at5 = rows_of(counts, {.alpha = 0.05})[1];
  const comparison at1 = rows_of(counts, {.alpha = 0.01})[1];
  EXPECT_EQ(at5.p_fisher, at1.p_fisher);
  EXPECT_LT(*at1.ci_low, *at5.ci_low);
  EXPECT_GT(*at1.ci_high, *at5.ci_high);
  EXPECT_EQ(at5.significant_z, true);
  EXPECT_EQ(at1.significant_z, false);
}

TEST(Pooling, UnitsThatPooledSayTheOppositeAreMarked) {
  // Unit 1: A 80 of 100 (0.8), B 18 of 20 (0.9). Unit 2: A 2 of 20 (0.1),
  // B 12 of 100 (0.12). B's rate is higher in both units, but pooled it is
  // 30/120 = 0.25 against A's 82/120 = 0.683: Simpson's paradox.
  const std::vector<group_counts> counts = {
      {"A", 100, 80, "u1"}, {"B", 20, 18, "u1"}, {"A", 20, 2, "u2"}, {"B", 100, 12, "u2"}};
  const auto rows = rows_of(counts);
  ASSERT_EQ(rows.size(), 6U);
  const comparison& b = rows[5];
  ASSERT_EQ(b.reference, "A");
  ASSERT_TRUE(b.across_units.has_value());
  EXPECT_EQ(b.across_units->units, 2);
  EXPECT_EQ(b.across_units->units_lower, 0);
  EXPECT_TRUE(b.across_units->pooling_reverses);
  // The reverse, with A named: B below A in both units (0.8 < 0.9, 0.1 <
  // 0.15) but pooled 81/110 against 24/110, above.
  const std::vector<group_counts> other = {
      {"A", 10, 9, "u1"}, {"B", 100, 80, "u1"}, {"A", 100, 15, "u2"}, {"B", 10, 1, "u2"}};
  const comparison reversed = rows_of(other, {.reference = "A"})[5];
  EXPECT_EQ(reversed.across_units->units_lower, 2);
  EXPECT_TRUE(reversed.across_units->pooling_reverses);
  // Units that agree with the pool, and units that disagree among
  // themselves, are not marked: B below in unit 1 (0.5 < 0.6), above in
  // unit 2 (0.3 > 0.2), above pooled (8/20 = 0.4 > 10/30).
  const std::vector<group_counts> mixed = {
      {"A", 10, 6, "u1"}, {"B", 10, 5, "u1"}, {"A", 20, 4, "u2"}, {"B", 10, 3, "u2"}};
  const comparison m = rows_of(mixed, {.reference = "A"})[5];
  EXPECT_EQ(m.across_units->units_lower, 1);
  EXPECT_FALSE(m.across_units->pooling_reverses);
  const std::vector<group_counts> agree = {
      {"A", 10, 6, "u1"}, {"B", 10, 3, "u1"}, {"A", 10, 6, "u2"}, {"B", 10, 2, "u2"}};
  EXPECT_FALSE(rows_of(agree)[5].across_units->pooling_reverses);
  // One shared unit is the pool itself: nothing to reverse.
  const std::vector<group_counts> one = {
      {"A", 10, 8, "u1"}, {"B", 10, 1, "u1"}, {"C", 10, 5, "u2"}, {"B", 10, 9, "u2"}};
  const auto few = rows_of(one, {.reference = "A"});
  EXPECT_FALSE(few.back().across_units && few.back().across_units->pooling_reverses);
}

}  // namespace
