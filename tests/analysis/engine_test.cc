// The library's entry points: problems built in code with every fault
// named, problems read from decks with the program's own messages, and
// analyses as values.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "fourfifths/fourfifths.h"

namespace fourfifths {
namespace {

std::string example(const std::string& name) {
  std::ifstream in(std::string(FOURFIFTHS_SOURCE_DIR) + "/examples/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// examples/regression_weights.deck, built in code.
problem_spec regression_example() {
  problem_spec s;
  s.predictors = 2;
  s.criteria = 1;
  s.mode = ratio_mode::overall;
  s.quality = quality_basis::criterion;
  s.regression_weights = true;
  s.criterion_weights = {1.0};
  s.correlations = {{1, .3, .5}, {.3, 1, .4}, {.5, .4, 1}};
  s.predictor_effects = {-1, -.5};
  s.criterion_effects = {-.5};
  s.majority_per_minority = 1.0;
  s.requested_ratios = {.1, .3};
  return s;
}

std::vector<std::string> texts(const std::vector<fault>& faults) {
  std::vector<std::string> out;
  out.reserve(faults.size());
  for (const fault& f : faults) out.push_back(f.text());
  return out;
}

TEST(MakeProblem, AProblemBuiltInCodeGivesTheReportOfItsDeck) {
  const problem_result built = make_problem(regression_example());
  ASSERT_TRUE(built.value.has_value()) << testing::PrintToString(texts(built.errors));
  EXPECT_TRUE(built.errors.empty());
  EXPECT_TRUE(built.warnings.empty());
  EXPECT_EQ(classic_report(*built.value), example("regression_weights.out"));
}

TEST(MakeProblem, TheMinorityShareIsTheSameMixAsItsRatio) {
  problem_spec s = regression_example();
  s.majority_per_minority.reset();
  s.minority_share = 0.25;  // three majority applicants per minority applicant
  const problem_result built = make_problem(s);
  ASSERT_TRUE(built.value.has_value());
  EXPECT_EQ(built.value->mix()->minority, 0.25);
  EXPECT_EQ(built.value->mix()->majority, 0.75);
  const applicant_mix from_ratio = applicant_mix::from_ratio(3);
  EXPECT_EQ(from_ratio.majority, 0.75);
  EXPECT_EQ(from_ratio.minority, 0.25);
}

TEST(MakeProblem, EveryFaultIsReportedWithItsField) {
  problem_spec s;
  s.predictors = 2;
  s.criteria = 1;
  s.predictor_weights = {1, NAN};
  s.criterion_weights = {1, 2};
  s.correlations = {{1, .3, .5}, {.31, 1, 1.4}, {2, .4, 0.9}};
  s.predictor_effects = {-1};
  s.criterion_effects = {INFINITY};
  s.minority_share = 1.5;
  s.majority_per_minority = -2;
  s.requested_ratios = {0.2, NAN};
  const problem_result built = make_problem(s);
  EXPECT_FALSE(built.value.has_value());
  EXPECT_EQ(texts(built.errors),
            (std::vector<std::string>{
                "predictor_weights[1]: must be a finite number",
                "criterion_weights: must have 1 entry, one per criterion",
                "correlations[1][2]: must lie in [-1, 1]",
                "correlations[2][0]: must lie in [-1, 1]",
                "correlations[2][2]: must be 1 (a variable correlates 1 with itself)",
                "correlations: not symmetric at [0][1]",
                "correlations: not symmetric at [0][2]",
                "correlations: not symmetric at [1][2]",
                "predictor_effects: must have 2 entries, one per predictor",
                "criterion_effects[0]: must be a finite number",
                "minority_share: give either majority_per_minority or minority_share, not both",
                "majority_per_minority: must be a positive finite number",
                "minority_share: must lie strictly between 0 and 1",
                "requested_ratios[1]: must be a finite number",
            }));
}

TEST(MakeProblem, CountsAndWhatTheyAllow) {
  problem_spec s;
  s.predictors = 0;
  s.criteria = 11;
  EXPECT_EQ(texts(make_problem(s).errors), (std::vector<std::string>{
                                               "predictors: must lie between 1 and 30",
                                               "criteria: must lie between 0 and 10",
                                           }));
  s.predictors = 25;
  s.criteria = 6;
  EXPECT_EQ(texts(make_problem(s).errors),
            (std::vector<std::string>{
                "criteria: predictors and criteria together must be at most 30, not 31"}));
  s.predictors = 2;
  s.criteria = 0;
  s.regression_weights = true;
  s.quality = quality_basis::criterion;
  EXPECT_EQ(texts(make_problem(s).errors),
            (std::vector<std::string>{
                "regression_weights: regression weights need at least one criterion",
                "quality: quality on the criterion composite needs at least one criterion",
            }));
}

// A spec of `np` uncorrelated predictors and `nc` criteria, all weighted 1.
problem_spec uncorrelated(int np, int nc) {
  problem_spec s;
  s.predictors = np;
  s.criteria = nc;
  s.mode = ratio_mode::majority;
  s.quality = nc > 0 ? quality_basis::criterion : quality_basis::predictor;
  const auto nv = static_cast<std::size_t>(np) + static_cast<std::size_t>(nc);
  s.correlations.assign(nv, std::vector<double>(nv, 0.0));
  for (std::size_t i = 0; i < nv; ++i) s.correlations[i][i] = 1;
  s.predictor_weights.assign(static_cast<std::size_t>(np), 1.0);
  s.criterion_weights.assign(static_cast<std::size_t>(nc), 1.0);
  s.predictor_effects.assign(static_cast<std::size_t>(np), -0.5);
  s.criterion_effects.assign(static_cast<std::size_t>(nc), -0.5);
  return s;
}

TEST(MakeProblem, CountsAtTheirBounds) {
  // Thirty variables are allowed, in every split the counts allow.
  for (const auto& [np, nc] : {std::pair{29, 1}, std::pair{30, 0}, std::pair{20, 10}}) {
    SCOPED_TRACE(np);
    const problem_result built = make_problem(uncorrelated(np, nc));
    EXPECT_TRUE(built.value.has_value()) << testing::PrintToString(texts(built.errors));
  }
  // One more is refused, and the message says how many were given.
  EXPECT_EQ(texts(make_problem(uncorrelated(21, 10)).errors),
            (std::vector<std::string>{
                "criteria: predictors and criteria together must be at most 30, not 31"}));
  EXPECT_EQ(texts(make_problem(uncorrelated(31, 0)).errors),
            (std::vector<std::string>{"predictors: must lie between 1 and 30"}));
  // Counts far out of range are refused without their sum being formed.
  for (const int np : {std::numeric_limits<int>::max(), std::numeric_limits<int>::min(), -1}) {
    problem_spec s;
    s.predictors = np;
    s.criteria = 10;
    EXPECT_EQ(texts(make_problem(s).errors),
              (std::vector<std::string>{"predictors: must lie between 1 and 30"}));
  }
  problem_spec s;
  s.predictors = 2;
  s.criteria = std::numeric_limits<int>::max();
  EXPECT_EQ(texts(make_problem(s).errors),
            (std::vector<std::string>{"criteria: must lie between 0 and 10"}));
}

TEST(MakeProblem, TheMinorityShareLiesStrictlyBetweenNoneAndAll) {
  problem_spec s = regression_example();
  s.majority_per_minority.reset();
  for (const double share : {0.0, 1.0, 1.5, -0.25, static_cast<double>(NAN)}) {
    SCOPED_TRACE(share);
    s.minority_share = share;
    EXPECT_EQ(texts(make_problem(s).errors),
              (std::vector<std::string>{"minority_share: must lie strictly between 0 and 1"}));
  }
  s.minority_share = std::nextafter(1.0, 0.0);
  EXPECT_TRUE(make_problem(s).value.has_value());
}

TEST(MakeProblem, EffectSizesWithinTheirBound) {
  problem_spec s = regression_example();
  s.predictor_effects = {-max_effect_size, max_effect_size};
  s.criterion_effects = {-max_effect_size};
  EXPECT_TRUE(make_problem(s).value.has_value());
  s.predictor_effects = {-40, 1e300};
  s.criterion_effects = {std::nextafter(max_effect_size, 31.0)};
  EXPECT_EQ(texts(make_problem(s).errors),
            (std::vector<std::string>{
                "predictor_effects[0]: must lie between -30 and 30 (standard deviations)",
                "predictor_effects[1]: must lie between -30 and 30 (standard deviations)",
                "criterion_effects[0]: must lie between -30 and 30 (standard deviations)",
            }));
}

TEST(MakeProblem, AWholeMatrixThatIsNotPositiveDefiniteIsAWarning) {
  // The predictor block is a correlation matrix; with the criterion it is
  // not (its determinant is 1 - .99^2 - .6^2 - .4^2 + 2 .99 .6 .4 < 0).
  problem_spec s = regression_example();
  s.correlations = {{1, .99, .6}, {.99, 1, .4}, {.6, .4, 1}};
  const problem_result built = make_problem(s);
  ASSERT_TRUE(built.value.has_value());
  ASSERT_EQ(built.warnings.size(), 1u);
  EXPECT_EQ(built.warnings[0].path, "correlations");
  EXPECT_NE(built.warnings[0].message.find("with the criteria is not positive definite"),
            std::string::npos);
  EXPECT_FALSE(correlations_positive_definite(*built.value));
  EXPECT_TRUE(predictor_block_positive_definite(*built.value));
  // The validity the warning speaks of lies outside [-1, 1].
  EXPECT_GT(composites_of(*built.value).validity, 1);
  // A deck with the same matrix: the same warning, the report unchanged.
  const deck_result d = read_deck("2 1 1 1 1 0\n1\n1\n1 .99 .6\n.99 1 .4\n.6 .4 1\n-1 -.5\n-.5\n");
  ASSERT_TRUE(d.value.has_value()) << d.text;
  ASSERT_EQ(d.warnings.size(), 1u);
  EXPECT_EQ(d.warnings[0].text(), built.warnings[0].text());
  // A matrix that is a correlation matrix has no warning.
  EXPECT_TRUE(make_problem(regression_example()).warnings.empty());
  EXPECT_TRUE(read_deck(example("regression_weights.deck")).warnings.empty());
}

TEST(Analyse, CorrelationsThatAreNotPositiveDefiniteGiveNoNumbers) {
  // The matrix above: a validity above 1 and outcomes of no population.
  problem_spec s = regression_example();
  s.correlations = {{1, .99, .6}, {.99, 1, .4}, {.6, .4, 1}};
  const problem p = *make_problem(s).value;
  for (const method m : {method::precise, method::classic}) {
    const selection_model model = model_of(p);
    EXPECT_FALSE(model.possible);
    const outcome o = outcome_at(model, 0.3, m);
    EXPECT_EQ(o.status, outcome_status::not_positive_definite);
    EXPECT_FALSE(o.solved());
    EXPECT_FALSE(o.passes_four_fifths());
    EXPECT_EQ(find_four_fifths_minimum(model, m).status, outcome_status::not_positive_definite);
    EXPECT_FALSE(find_four_fifths_minimum(model, m).found);
    const analysis_result a = analyse(p, m);
    ASSERT_FALSE(a.entries.empty());
    for (const table_entry& e : a.entries) {
      EXPECT_EQ(e.result.status, outcome_status::not_positive_definite);
    }
    EXPECT_EQ(a.minimum.status, outcome_status::not_positive_definite);
  }
  // A ratio that is not a number stays the caller's fault.
  EXPECT_EQ(outcome_at(p, std::nan(""), method::precise).status, outcome_status::invalid_argument);
  // A possible matrix is analysed as ever.
  const problem q = *make_problem(regression_example()).value;
  EXPECT_TRUE(model_of(q).possible);
  EXPECT_EQ(outcome_at(q, 0.3, method::precise).status, outcome_status::solved);
}

TEST(MakeProblem, OverallModeNeedsTheApplicantMix) {
  problem_spec s = regression_example();
  s.majority_per_minority.reset();
  EXPECT_EQ(texts(make_problem(s).errors),
            (std::vector<std::string>{"minority_share: overall selection ratios need the "
                                      "applicant mix: give minority_share or "
                                      "majority_per_minority"}));
  s.mode = ratio_mode::majority;
  EXPECT_TRUE(make_problem(s).value.has_value());
}

TEST(MakeProblem, WeightsThatMakeNoComposite) {
  problem_spec s = regression_example();
  s.regression_weights = false;
  s.predictor_weights = {0, 0};
  EXPECT_EQ(texts(make_problem(s).errors),
            (std::vector<std::string>{"predictor_weights: must not all be zero"}));
  // Two predictors that correlate 1, weighted against each other.
  s.predictor_weights = {1, -1};
  s.correlations = {{1, 1, .5}, {1, 1, .5}, {.5, .5, 1}};
  const problem_result built = make_problem(s);
  EXPECT_EQ(texts(built.errors),
            (std::vector<std::string>{"predictor_weights: make a composite without variance "
                                      "under these correlations"}));
  EXPECT_EQ(texts(built.warnings),
            (std::vector<std::string>{"correlations: the predictor block is not positive "
                                      "definite (not a possible correlation matrix)"}));
}

TEST(MakeProblem, APredictorBlockThatIsNotPositiveDefiniteIsAWarning) {
  problem_spec s = regression_example();
  s.correlations = {{1, 1, .5}, {1, 1, .5}, {.5, .5, 1}};
  const problem_result built = make_problem(s);
  ASSERT_TRUE(built.value.has_value());
  ASSERT_EQ(built.warnings.size(), 1u);
  EXPECT_EQ(built.warnings[0].path, "correlations");
  // The regression weights are those of the partial factorisation, and the
  // analysis says so.
  const predictor_weighting w = weighting_of(*built.value);
  EXPECT_TRUE(w.regression);
  EXPECT_EQ(w.factorisation_info, 2);
}

TEST(ReadDeck, FailuresCarryTheProgramsMessages) {
  const deck_result rejected = read_deck("2 0 0 1 0 0\n");
  ASSERT_FALSE(rejected.value.has_value());
  EXPECT_EQ(rejected.status, deck_status::rejected);
  EXPECT_EQ(rejected.text,
            "Regression weights can not be computed because no\ncriteria are specified\n");

  const deck_result unreadable = read_deck("2 1 1 0 0 0\n1\n1 x\n");
  ASSERT_FALSE(unreadable.value.has_value());
  EXPECT_EQ(unreadable.status, deck_status::unreadable);
  EXPECT_EQ(unreadable.text,
            "invalid number: incomprehensible list input\n"
            "apparent state: unit 5 (unnamed)\n"
            "last format: list io\n"
            "lately reading sequential formatted external IO\n");

  const deck_result empty = read_deck("");
  ASSERT_FALSE(empty.value.has_value());
  EXPECT_EQ(empty.text.substr(0, 21), "list in: end of file\n");

  // The 26th element is asked for before its value is read.
  std::string many = "1 0 1 0 0 26\n1\n1\n1\n-1\n";
  for (int i = 0; i < 25; ++i) many += "0.5 ";
  const deck_result too_many = read_deck(many);
  ASSERT_FALSE(too_many.value.has_value());
  EXPECT_EQ(too_many.status, deck_status::too_many_ratios);
  EXPECT_NE(too_many.text.find("Attempt to access the 26-th element of variable rsr.\n"),
            std::string::npos);
}

TEST(ReadDeck, TheDeckBecomesAProblem) {
  const deck_result d = read_deck(example("majority_criterion.deck"));
  ASSERT_TRUE(d.value.has_value());
  const problem_spec& s = d.value->spec();
  EXPECT_EQ(s.predictors, 1);
  EXPECT_EQ(s.criteria, 1);
  EXPECT_EQ(s.mode, ratio_mode::majority);
  EXPECT_EQ(s.quality, quality_basis::criterion);
  EXPECT_FALSE(d.value->mix().has_value());
  EXPECT_EQ(s.correlations, (std::vector<std::vector<double>>{{1, .5}, {.5, 1}}));
  EXPECT_EQ(s.predictor_effects, std::vector<double>{-1});
  EXPECT_EQ(classic_report(*d.value), example("majority_criterion.out"));
}

TEST(Analysis, EntriesInReportOrderWithTheirKinds) {
  const problem p = *make_problem(regression_example()).value;
  const analysis_result a = analyse(p);
  ASSERT_EQ(a.entries.size(), 21u + 1 + 2);
  EXPECT_EQ(a.entries[0].kind, entry_kind::builtin);
  EXPECT_EQ(a.entries[0].result.target, 0.01);
  EXPECT_EQ(a.entries[21].kind, entry_kind::minimum);
  EXPECT_EQ(a.entries[21].index, 22);
  EXPECT_EQ(a.entries[21].result.target, a.minimum.ratio);
  EXPECT_NEAR(a.entries[21].result.ai_ratio, 0.8, 5e-4);
  EXPECT_EQ(a.entries[22].kind, entry_kind::requested);
  EXPECT_EQ(a.entries[23].result.target, .3);
  // The same outcomes one at a time.
  const outcome one = outcome_at(p, .3);
  EXPECT_EQ(one.ai_ratio, a.entries[23].result.ai_ratio);
  const std::vector<double> ratios{.1, .3};
  const std::vector<outcome> two = outcomes_at(p, ratios, method::precise);
  ASSERT_EQ(two.size(), 2u);
  EXPECT_NEAR(two[1].ai_ratio, one.ai_ratio, 1e-4);
  EXPECT_EQ(find_four_fifths_minimum(p).ratio, a.minimum.ratio);
  EXPECT_EQ(composites_of(p).validity, a.composites.validity);
}

TEST(Analysis, VersionIsTheProjects) {
  EXPECT_EQ(std::string(version_string), std::to_string(version_major) + "." +
                                             std::to_string(version_minor) + "." +
                                             std::to_string(version_patch));
  EXPECT_GE(version_major * 100 + version_minor, 101);
}

}  // namespace
}  // namespace fourfifths
