// JSON scenarios: every fault named by its path, syntax errors by line and
// column, unknown keys refused; the deck form; the forms written back.
#include "present/scenario.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace present {
namespace {

// A valid scenario with three predictors and one criterion, in which the
// test replaces one piece of text.
std::string valid(const std::string& from = "", const std::string& to = "") {
  std::string text = R"({
  "title": "three predictors",
  "mode": "overall",
  "quality": "criterion",
  "predictors": [
    {"name": "test", "d": -1, "weight": 0.5},
    {"name": "interview", "d": -0.4, "weight": 0.3},
    {"name": "biodata", "d": -0.1, "weight": 0.2}
  ],
  "criteria": [{"name": "performance", "d": -0.3, "weight": 1}],
  "correlations": [
    [1, 0.3, 0.2, 0.5],
    [0.3, 1, 0.25, 0.4],
    [0.2, 0.25, 1, 0.3],
    [0.5, 0.4, 0.3, 1]
  ],
  "minority_share": 0.25,
  "requested_ratios": [0.15, 0.4]
})";
  if (!from.empty()) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
  }
  return text;
}

std::vector<std::string> texts(const std::vector<fourfifths::fault>& faults) {
  std::vector<std::string> out;
  out.reserve(faults.size());
  for (const fourfifths::fault& f : faults) out.push_back(f.text());
  return out;
}

std::vector<std::string> errors_of(const std::string& text) {
  return texts(read_json_scenario(text).errors);
}

TEST(JsonScenario, AValidScenarioIsAProblem) {
  const loaded_scenario s = read_json_scenario(valid());
  ASSERT_TRUE(s.errors.empty()) << testing::PrintToString(texts(s.errors));
  ASSERT_TRUE(s.problem.has_value());
  EXPECT_EQ(s.value->title, "three predictors");
  EXPECT_EQ(s.value->predictor_names, (std::vector<std::string>{"test", "interview", "biodata"}));
  EXPECT_EQ(s.value->criterion_names, std::vector<std::string>{"performance"});
  const fourfifths::problem_spec& spec = s.problem->spec();
  EXPECT_EQ(spec.predictor_weights, (std::vector<double>{0.5, 0.3, 0.2}));
  EXPECT_EQ(spec.predictor_effects, (std::vector<double>{-1, -0.4, -0.1}));
  EXPECT_EQ(spec.correlations[3][1], 0.4);
  EXPECT_EQ(s.problem->mix()->minority, 0.25);
  EXPECT_EQ(spec.requested_ratios, (std::vector<double>{0.15, 0.4}));
}

TEST(JsonScenario, SyntaxErrorsGiveTheLineAndColumn) {
  const std::vector<std::string> e =
      errors_of("{\n  \"mode\": \"overall\",\n  \"predictors\": [\n}");
  ASSERT_EQ(e.size(), 1u);
  EXPECT_NE(e[0].find("line 4, column 1"), std::string::npos) << e[0];
  EXPECT_EQ(e[0].rfind("JSON parse error", 0), 0u) << e[0];
  EXPECT_EQ(errors_of("[1, 2]"), std::vector<std::string>{"the scenario must be a JSON object"});
  EXPECT_FALSE(errors_of("").empty());
}

TEST(JsonScenario, EveryFaultNamesItsPath) {
  EXPECT_EQ(errors_of(valid("\"d\": -0.1", "\"d\": \"low\"")),
            std::vector<std::string>{"predictors[2].d: must be a finite number"});
  EXPECT_EQ(errors_of(valid("[0.3, 1, 0.25, 0.4]", "[0.3, 1, 0.25, 0.41]")),
            std::vector<std::string>{"correlations: not symmetric at [1][3]"});
  EXPECT_EQ(errors_of(valid("\"minority_share\": 0.25", "\"minority_share\": 1.5")),
            std::vector<std::string>{"minority_share: must lie strictly between 0 and 1"});
  EXPECT_EQ(errors_of(valid("[0.2, 0.25, 1, 0.3]", "[0.2, 0.25, 1.5, 0.3]")),
            (std::vector<std::string>{
                "correlations[2][2]: must be 1 (a variable correlates 1 with itself)"}));
  // A number beyond the doubles stops the reading.
  const std::vector<std::string> overflow =
      errors_of(valid("\"weight\": 0.3", "\"weight\": 1e999"));
  ASSERT_EQ(overflow.size(), 1u);
  EXPECT_NE(overflow[0].find("number overflow parsing '1e999'"), std::string::npos) << overflow[0];
  EXPECT_EQ(errors_of(valid("\"mode\": \"overall\"", "\"mode\": \"all\"")),
            std::vector<std::string>{"mode: must be \"majority\" or \"overall\""});
  EXPECT_EQ(errors_of(valid("[0.15, 0.4]", "[0.15, null]")),
            std::vector<std::string>{"requested_ratios[1]: must be a finite number"});
  // Faults of the whole list of weights name the list.
  EXPECT_EQ(errors_of(valid("\"weight\": 1}", "\"weight\": 0}")),
            std::vector<std::string>{"criteria: the weights must not all be zero"});
}

TEST(JsonScenario, SeveralFaultsAreAllReported) {
  std::string text = valid("\"d\": -1,", "\"d\": true,");
  text.replace(text.find("\"minority_share\": 0.25"), 22, "\"minority_share\": 0");
  const std::vector<std::string> e = errors_of(text);
  EXPECT_EQ(e, (std::vector<std::string>{"predictors[0].d: must be a finite number"}))
      << "schema faults come first; the problem's checks run on a readable document";
  text = valid("\"minority_share\": 0.25", "\"minority_share\": 0, \"majority_per_minority\": -1");
  EXPECT_EQ(errors_of(text),
            (std::vector<std::string>{
                "minority_share: give either majority_per_minority or minority_share, not both",
                "majority_per_minority: must be a positive finite number",
                "minority_share: must lie strictly between 0 and 1"}));
}

TEST(JsonScenario, UnknownKeysAreErrors) {
  EXPECT_EQ(errors_of(valid("\"title\"", "\"titel\"")),
            std::vector<std::string>{"titel: unknown key (expected one of correlations, criteria, "
                                     "groups, id, majority_per_minority, minority_share, mode, "
                                     "predictors, quality, requested_ratios, title, weights)"});
  EXPECT_EQ(errors_of(valid("\"weight\": 0.5", "\"wieght\": 0.5")),
            (std::vector<std::string>{
                "predictors[0].wieght: unknown key (expected one of d, name, weight)",
                "predictors[0].weight: required (or give \"weights\": \"regression\")"}));
}

TEST(JsonScenario, RegressionWeightsTakeNoGivenWeights) {
  std::string text = valid("\"quality\": \"criterion\",",
                           "\"quality\": \"criterion\", \"weights\": \"regression\",");
  EXPECT_EQ(errors_of(text),
            (std::vector<std::string>{
                "predictors[0].weight: not allowed with \"weights\": \"regression\"",
                "predictors[1].weight: not allowed with \"weights\": \"regression\"",
                "predictors[2].weight: not allowed with \"weights\": \"regression\""}));
}

TEST(JsonScenario, DefaultsAndWhatTheyNeed) {
  // No mode: overall, which needs the applicant mix.
  std::string text = valid("\"mode\": \"overall\",\n", "");
  text.replace(text.find("\"minority_share\": 0.25,"), 23, "");
  EXPECT_EQ(errors_of(text),
            std::vector<std::string>{
                "minority_share: overall selection ratios need the applicant mix: give "
                "minority_share or majority_per_minority"});
  // Without criteria the quality is on the predictor composite.
  const loaded_scenario s = read_json_scenario(R"({"mode": "majority",
      "predictors": [{"d": -1, "weight": 1}], "correlations": [[1]]})");
  ASSERT_TRUE(s.problem.has_value()) << testing::PrintToString(texts(s.errors));
  EXPECT_EQ(s.problem->spec().quality, fourfifths::quality_basis::predictor);
  EXPECT_EQ(s.value->predictor_names, std::vector<std::string>{"P1"});
}

TEST(JsonScenario, APredictorBlockThatIsNotPositiveDefiniteIsAWarning) {
  // Predictors 1 and 2 correlate .9, 2 and 3 too, but 1 and 3 -.9.
  std::string text = valid();
  for (const auto& [from, to] :
       {std::pair<std::string, std::string>{"[1, 0.3, 0.2, 0.5]", "[1, 0.9, -0.9, 0.5]"},
        {"[0.3, 1, 0.25, 0.4]", "[0.9, 1, 0.9, 0.4]"},
        {"[0.2, 0.25, 1, 0.3]", "[-0.9, 0.9, 1, 0.3]"}}) {
    text.replace(text.find(from), from.size(), to);
  }
  const loaded_scenario s = read_json_scenario(text);
  EXPECT_TRUE(s.errors.empty()) << testing::PrintToString(texts(s.errors));
  EXPECT_EQ(
      texts(s.warnings),
      std::vector<std::string>{"correlations: the predictor block is not positive definite (not a "
                               "possible correlation matrix)"});
  EXPECT_TRUE(s.problem.has_value());
}

TEST(ScenarioForms, TheContentTellsTheForm) {
  EXPECT_EQ(form_of("  \n{\"mode\": 1}"), scenario_form::json);
  EXPECT_EQ(form_of("1 0 1 0 0 0\n"), scenario_form::deck);
  EXPECT_EQ(form_of(""), scenario_form::deck);
  const loaded_scenario deck = read_scenario("1 0 1 0 0 0\n3\n1\n1\n-1\n");
  ASSERT_TRUE(deck.problem.has_value());
  EXPECT_EQ(deck.value->form, scenario_form::deck);
  EXPECT_EQ(deck.value->predictor_names, std::vector<std::string>{"P1"});
  // A deck's failures are the program's own lines.
  EXPECT_EQ(texts(read_scenario("2 0 0 1 0 0\n").errors),
            (std::vector<std::string>{"Regression weights can not be computed because no",
                                      "criteria are specified"}));
}

TEST(ScenarioForms, JsonWrittenReadsBackTheSameScenario) {
  const loaded_scenario first = read_json_scenario(
      valid("\"title\": \"three predictors\"", "\"title\": \"a \\\"quoted\\\" title\""));
  ASSERT_TRUE(first.value.has_value());
  const loaded_scenario again = read_json_scenario(to_json(*first.value));
  ASSERT_TRUE(again.value.has_value()) << to_json(*first.value);
  EXPECT_EQ(again.value->title, "a \"quoted\" title");
  EXPECT_EQ(again.value->predictor_names, first.value->predictor_names);
  const fourfifths::problem_spec& a = first.value->spec;
  const fourfifths::problem_spec& b = again.value->spec;
  EXPECT_EQ(a.correlations, b.correlations);
  EXPECT_EQ(a.predictor_weights, b.predictor_weights);
  EXPECT_EQ(a.minority_share, b.minority_share);
  EXPECT_EQ(to_json(*again.value), to_json(*first.value));
}

TEST(ScenarioForms, ShortestRoundTripNumbers) {
  EXPECT_EQ(shortest(0.1), "0.1");
  EXPECT_EQ(shortest(1.0 / 3), "0.3333333333333333");
  EXPECT_EQ(shortest(1e-7), "1e-07");
  EXPECT_EQ(std::stod(shortest(0.1 + 0.2)), 0.1 + 0.2);
}

TEST(ScenarioForms, WhatADeckCannotHold) {
  scenario s = *read_json_scenario(valid()).value;
  s.spec.requested_ratios.assign(26, 0.5);
  EXPECT_EQ(texts(to_deck(s).errors),
            std::vector<std::string>{"requested_ratios: a deck holds at most 25 requested ratios"});
  s.spec.requested_ratios.assign(25, 0.5);
  EXPECT_TRUE(to_deck(s).errors.empty());
  s.spec.mode = fourfifths::ratio_mode::majority;
  const deck_text majority = to_deck(s);
  EXPECT_EQ(majority.warnings.size(), 1u);
  EXPECT_EQ(majority.text.substr(0, 14), "3 1 0 0 1 25  ");
}

}  // namespace
}  // namespace present
