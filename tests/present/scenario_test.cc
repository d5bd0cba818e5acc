// JSON scenarios: every fault named by its path, syntax errors by line and
// column, unknown keys refused; the deck form; the forms written back.
#include "present/scenario.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
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
            std::vector<std::string>{"titel: unknown key (expected one of calibration, calibration_n, correlations, criteria, "
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

// "0.5,0.5,..." n times.
std::string ratio_list(std::size_t n) {
  std::string list;
  for (std::size_t i = 0; i < n; ++i) list += std::string(i == 0 ? "" : ",") + "0.5";
  return list;
}

// A NUL byte used to end the text: whatever came after it was ignored.
TEST(JsonScenario, ANulByteIsRefusedWhereverItIs) {
  for (const std::string& text :
       {valid() + std::string(1, '\0') + "garbage", valid() + std::string(1, '\0'),
        valid("\"mode\": ", std::string("\"mode\":") + '\0' + " ")}) {
    const loaded_scenario s = read_json_scenario(text);
    EXPECT_EQ(s.status, scenario_status::syntax_error);
    ASSERT_EQ(s.errors.size(), 1U);
    EXPECT_NE(s.errors[0].message.find("NUL byte"), std::string::npos) << s.errors[0].message;
    EXPECT_EQ(s.errors[0].message.rfind("JSON parse error at line ", 0), 0U);
  }
  const std::vector<std::string> e = errors_of(std::string("{\n\n  \0}", 6));
  EXPECT_EQ(e,
            std::vector<std::string>{
                "JSON parse error at line 3, column 3: a NUL byte, which JSON text cannot hold"});
}

TEST(JsonScenario, ANumberBeyondTheDoublesIsPlaced) {
  EXPECT_EQ(errors_of("{\"predictors\": [\n  {\"d\": -1e400}]}"),
            std::vector<std::string>{
                "JSON parse error at line 2, column 14: number overflow parsing '-1e400'"});
}

TEST(JsonScenario, KeysGivenTwiceAreErrors) {
  EXPECT_EQ(
      errors_of(valid("\"mode\": \"overall\",", "\"mode\": \"overall\", \"mode\": \"majority\",")),
      std::vector<std::string>{"mode: given more than once"});
  EXPECT_EQ(errors_of(valid("\"d\": -0.4,", "\"d\": -0.4, \"d\": 0, \"zz\": 1, \"d\": 0,")),
            (std::vector<std::string>{
                "predictors[1].d: given more than once",
                "predictors[1].zz: unknown key (expected one of d, name, weight)"}));
}

TEST(JsonScenario, AByteOrderMarkMayBeginTheText) {
  const std::string text = "\xEF\xBB\xBF" + valid();
  EXPECT_EQ(form_of(text), scenario_form::json);
  const loaded_scenario s = read_scenario(text);
  EXPECT_TRUE(s.problem.has_value()) << testing::PrintToString(texts(s.errors));
  EXPECT_EQ(form_of("\xEF\xBB\xBF"
                    "1 0 1 0 0 0\n"),
            scenario_form::deck);
}

// Messages may quote the text they could not read; bytes that are not
// UTF-8 are written so that no terminal or page gets them raw.
TEST(JsonScenario, BytesThatAreNotUtf8AreWrittenAsCodes) {
  for (const char* text : {"{\"title\": \"caf\xe9\"}", "{\"title\": \"\xff\xfe\"}", "\xc3{}",
                           "{\"a\": \xed\xa0\x80}"}) {
    const std::vector<std::string> e = errors_of(text);
    ASSERT_EQ(e.size(), 1U) << text;
    EXPECT_NE(e[0].find("<0x"), std::string::npos) << e[0];
    for (std::size_t i = 0; i < e[0].size(); ++i) {
      const auto c = static_cast<unsigned char>(e[0][i]);
      if (c < 0x80) continue;
      const std::size_t length = utf8_length(std::string_view(e[0]).substr(i));
      ASSERT_GT(length, 0U) << e[0];
      i += length - 1;
    }
  }
}

TEST(JsonScenario, ALongListOfFaultsIsCut) {
  std::string text = R"({"predictors": [)";
  for (int i = 0; i < 300; ++i)
    text += std::string(i == 0 ? "" : ", ") + R"({"d": "x", "wieght": 1})";
  text += "]}";
  const std::vector<std::string> e = errors_of(text);
  ASSERT_EQ(e.size(), most_faults + 1);
  EXPECT_EQ(e[0], "predictors[0].wieght: unknown key (expected one of d, name, weight)");
  // 300 predictors with three faults each, and the missing matrix.
  EXPECT_EQ(e.back(), "and " + std::to_string(901 - most_faults) + " more faults");
}

// Lists beyond the limits stop the reading where they pass them, before
// anything of their size is built.
TEST(JsonScenario, LimitsAreCheckedAsTheTextIsRead) {
  const loaded_scenario most =
      read_json_scenario(valid("[0.15, 0.4]", "[" + ratio_list(most_requested_ratios) + "]"));
  ASSERT_TRUE(most.problem.has_value()) << testing::PrintToString(texts(most.errors));
  EXPECT_EQ(most.problem->spec().requested_ratios.size(), most_requested_ratios);
  EXPECT_EQ(errors_of(valid("[0.15, 0.4]", "[" + ratio_list(240000) + "]")),
            std::vector<std::string>{
                "requested_ratios: more than 1000 items: no list of a scenario holds more"});

  std::string many = R"({"predictors": [)";
  for (int i = 0; i < 1000000; ++i) many += R"({"d": -1, "weight": 1},)";
  many += "]}";
  EXPECT_EQ(errors_of(many),
            std::vector<std::string>{
                "predictors: more than 1000 items: no list of a scenario holds more"});
  const std::string deep = R"({"title": )" + std::string(100000, '[');
  std::string path = "title";
  for (int i = 0; i < 62; ++i) path += "[0]";  // the 64th container, in the object
  EXPECT_EQ(errors_of(deep),
            std::vector<std::string>{
                path + ": nested more than 64 deep: a scenario's values lie at most 3 deep"});
}

TEST(ScenarioForms, ATextLongerThanAnyScenarioIsRefused) {
  std::string text = valid();
  text.append(most_scenario_bytes - text.size(), ' ');
  EXPECT_TRUE(read_scenario(text).problem.has_value());
  text += ' ';
  EXPECT_EQ(texts(read_scenario(text).errors),
            std::vector<std::string>{"longer than 16 MiB: no scenario is that long"});
  EXPECT_EQ(texts(read_scenario(std::string(most_scenario_bytes + 1, '1')).errors).size(), 1U);
}

// The page hands its documents over parsed; they are checked by the same
// code, with the same messages, as texts are.
TEST(JsonScenario, ParsedDocumentsAreCheckedAsTextsAre) {
  for (const std::string& text :
       {valid(), valid("\"d\": -0.1", "\"d\": \"low\""), valid("\"title\"", "\"titel\""),
        valid("\"weight\": 0.5", "\"wieght\": 0.5, \"a\": 1"),
        valid("[0.15, 0.4]", "[" + ratio_list(1001) + "]"),
        std::string(R"({"id": 12, "predictors": [], "mode": "x", "b": 1, "a": 2})"),
        std::string(R"([1, 2])")}) {
    SCOPED_TRACE(text.substr(0, 200));
    const loaded_scenario from_text = read_json_scenario(text, id_rule::required);
    const loaded_scenario from_value =
        read_json_document(nlohmann::json::parse(text), id_rule::required);
    EXPECT_EQ(texts(from_value.errors), texts(from_text.errors));
    EXPECT_EQ(texts(from_value.warnings), texts(from_text.warnings));
    EXPECT_EQ(from_value.status, from_text.status);
    EXPECT_EQ(from_value.problem.has_value(), from_text.problem.has_value());
  }
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

// A deck reads its values line by line; a comment follows the values of its
// line. A line break in a title or a name must not start a line of its own,
// which the next read would take for its values.
TEST(ScenarioForms, ADecksCommentsStayOnTheirLines) {
  scenario s = *read_json_scenario(valid()).value;
  const scenario plain = s;
  s.title = std::string("Study A\n0.5\r\n2\r3\t\\ \x01\x7f", 21) + std::string(1, '\0') + "!";
  s.predictor_names[1] = "inter\nview\n-7";
  s.criterion_names[0] = "0.5\n0.5\n0.5";
  const deck_text deck = to_deck(s);
  ASSERT_TRUE(deck.errors.empty());
  const std::string plain_deck = to_deck(plain).text;
  EXPECT_EQ(std::count(deck.text.begin(), deck.text.end(), '\n'),
            std::count(plain_deck.begin(), plain_deck.end(), '\n'));
  EXPECT_EQ(deck.text.find('\r'), std::string::npos);
  EXPECT_NE(deck.text.find("Study A\\n0.5\\r\\n2\\r3\\t\\\\ \\u0001\\u007f\\u0000!: "),
            std::string::npos)
      << deck.text;
  const loaded_scenario back = read_deck_scenario(deck.text);
  ASSERT_TRUE(back.problem.has_value()) << testing::PrintToString(texts(back.errors));
  const loaded_scenario want = read_deck_scenario(plain_deck);
  EXPECT_EQ(back.value->spec.predictor_effects, want.value->spec.predictor_effects);
  EXPECT_EQ(back.value->spec.correlations, want.value->spec.correlations);
  EXPECT_EQ(back.value->spec.requested_ratios, want.value->spec.requested_ratios);
}

// The deck's mix is the number of majority applicants per minority
// applicant: a minority share of 0.2 is 4 of them (not 0.25).
TEST(ScenarioForms, TheDecksMixIsMajorityApplicantsPerMinorityApplicant) {
  scenario s =
      *read_json_scenario(valid("\"minority_share\": 0.25", "\"minority_share\": 0.2")).value;
  const std::string text = to_deck(s).text;
  const std::size_t second = text.find('\n') + 1;
  EXPECT_EQ(text.substr(second, text.find(' ', second) - second), "4") << text;
  const loaded_scenario back = read_deck_scenario(text);
  ASSERT_TRUE(back.problem.has_value());
  EXPECT_DOUBLE_EQ(back.problem->mix()->minority, 0.2);
  EXPECT_EQ(back.value->spec.majority_per_minority, 4);
}

}  // namespace
}  // namespace present
