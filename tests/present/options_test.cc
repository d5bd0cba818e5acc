// What every face shares besides scenarios: the names of the closed sets,
// numbers and options read from text, the keys a document may have.
#include "present/options.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "present/names.h"
#include "present/scenario.h"

namespace present {
namespace {

template <class E>
void expect_names_round_trip() {
  for (const named<E>& n : names_of<E>::table) {
    EXPECT_EQ(value_of<E>(n.name), n.value) << n.name;
    EXPECT_EQ(name_of(n.value), n.name);
    // Names are exact: another case is another word.
    std::string upper(n.name);
    upper[0] = static_cast<char>(upper[0] - 'a' + 'A');
    EXPECT_FALSE(value_of<E>(upper).has_value()) << upper;
  }
  EXPECT_FALSE(value_of<E>("").has_value());
}

TEST(Names, EverySetReadsBackItsOwnNames) {
  expect_names_round_trip<fourfifths::method>();
  expect_names_round_trip<fourfifths::ratio_mode>();
  expect_names_round_trip<fourfifths::quality_basis>();
  expect_names_round_trip<fourfifths::pareto_objective>();
  expect_names_round_trip<fourfifths::weight_signs>();
  expect_names_round_trip<fourfifths::entry_kind>();
  expect_names_round_trip<fourfifths::outcome_status>();
  expect_names_round_trip<scenario_form>();
  expect_names_round_trip<table_format>();
  expect_names_round_trip<batch_format>();
}

TEST(Names, ListsAndMapsFollowTheTable) {
  EXPECT_EQ(names_list<fourfifths::method>(), "precise|classic");
  EXPECT_EQ(names_list<table_format>(", "), "csv, json, text");
  EXPECT_EQ(names_map<fourfifths::weight_signs>().size(), 2u);
  // The status a table writes for a ratio outside (0, 1) in majority mode.
  EXPECT_EQ(name_of(fourfifths::outcome_status::quantile_fault), "ratio_outside_0_1");
}

TEST(Numbers, OnlyDecimalNumbersAreRead) {
  struct row {
    const char* text;
    std::optional<double> want;
  };
  const row rows[] = {
      {"0.25", 0.25}, {" 1e-3 ", 1e-3}, {".5", 0.5},     {"5.", 5.0},
      {"-2", -2.0},   {"+2", 2.0},      {"1E+2", 100.0}, {"0x0.2", std::nullopt},
      {"inf", {}},    {"nan", {}},      {"1e400", {}},   {"", {}},
      {"1e", {}},     {".", {}},        {"0.1,0.2", {}}, {"1 2", {}},
      {"--1", {}},    {"abc", {}},      {"0.1x", {}},    {"0.1\t", {}},
  };
  for (const row& r : rows) EXPECT_EQ(parse_number(r.text), r.want) << "'" << r.text << "'";
  // Correctly rounded, as the JSON reader reads the same text.
  EXPECT_EQ(parse_number("0.1"), 0.1);
  EXPECT_EQ(parse_number("2.2250738585072014e-308"), 2.2250738585072014e-308);
}

TEST(Numbers, WholeNumbersAreDecimalEvenWithLeadingZeros) {
  EXPECT_EQ(parse_whole("010"), 10);
  EXPECT_EQ(parse_whole("08"), 8);
  EXPECT_EQ(parse_whole(" 21 "), 21);
  for (const char* bad : {"", "-1", "+1", "1.0", "1e3", "0x10", "99999999999999999999"}) {
    EXPECT_FALSE(parse_whole(bad).has_value()) << bad;
  }
}

TEST(RatioLists, ListsAndGrids) {
  std::string error;
  EXPECT_EQ(parse_ratio_list("0.1, 0.2,0.3", error), (std::vector<double>{0.1, 0.2, 0.3}));
  EXPECT_FALSE(parse_ratio_list("", error).has_value());
  EXPECT_EQ(error, "the list is empty: give one or more ratios, as 0.1,0.2");
  EXPECT_FALSE(parse_ratio_list("0.1,,0.2", error).has_value());
  EXPECT_EQ(error, "'' is not a number");
  const auto grid = parse_ratio_grid("0.05:0.95:0.05", error);
  ASSERT_TRUE(grid.has_value());
  EXPECT_EQ(grid->size(), 19u);
  EXPECT_EQ(grid->back(), 0.95);
  EXPECT_FALSE(parse_ratio_grid("0:1:0", error).has_value());
  EXPECT_FALSE(parse_ratio_grid("0:1e9:1e-9", error).has_value());
}

TEST(ParetoOptions, ARequestIsReadAsTheCommandLineReadsIt) {
  fourfifths::pareto_options o;
  const nlohmann::json request = {
      {"ratio", 0.3}, {"points", 7}, {"objective", "mean"}, {"signs", "any"}};
  EXPECT_TRUE(read_pareto_options(request, fourfifths::ratio_mode::majority, o).empty());
  EXPECT_EQ(o.ratio, 0.3);
  EXPECT_EQ(o.points, 7);
  EXPECT_EQ(o.mode, fourfifths::ratio_mode::majority);
  EXPECT_EQ(o.objective, fourfifths::pareto_objective::mean);
  EXPECT_EQ(o.signs, fourfifths::weight_signs::any);

  // A word that is not a name is refused, not taken for the default.
  fourfifths::pareto_options bad;
  const auto faults = read_pareto_options({{"ratio", "0.3"}, {"objective", "Mean"}, {"signs", 1}},
                                          fourfifths::ratio_mode::overall, bad);
  ASSERT_EQ(faults.size(), 3u);
  EXPECT_EQ(faults[0].text(), "ratio: must be a number");
  EXPECT_EQ(faults[1].text(), "objective: must be one of validity, mean");
  EXPECT_EQ(faults[2].text(), "signs: must be one of nonnegative, any");
  // Points out of range are left for the library to refuse.
  fourfifths::pareto_options many;
  EXPECT_TRUE(
      read_pareto_options({{"points", 1e6}}, fourfifths::ratio_mode::overall, many).empty());
  EXPECT_EQ(many.points, 0);
}

TEST(UnknownKeys, AreTheKeysReadingRefuses) {
  const nlohmann::json doc = {
      {"titel", "x"},
      {"predictors", {{{"d", -1}, {"wieght", 1}}, {{"d", 0}, {"weight", 1}}}},
      {"criteria", {{{"d", 0}, {"weight", 1}, {"w", 2}}}},
      {"correlations", {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}},
      {"mode", "majority"}};
  std::vector<std::string> got;
  for (const fourfifths::fault& f : unknown_keys(doc)) got.push_back(f.path);
  EXPECT_EQ(got, (std::vector<std::string>{"titel", "predictors[0].wieght", "criteria[0].w"}));
  // Reading the document names the same keys among its faults.
  const loaded_scenario read = read_json_document(doc);
  EXPECT_EQ(read.status, scenario_status::invalid);
  for (const std::string& path : got) {
    EXPECT_TRUE(std::any_of(read.errors.begin(), read.errors.end(),
                            [&](const fourfifths::fault& f) { return f.path == path; }))
        << path;
  }
  EXPECT_TRUE(unknown_keys(nlohmann::json::array()).empty());
}

TEST(ScenarioValue, TheJsonValueHoldsWhatTheTextHolds) {
  const loaded_scenario read = read_scenario(
      R"({"title": "t", "mode": "majority", "predictors": [{"name": "a", "d": -1, "weight": 2}],
          "correlations": [[1]], "requested_ratios": [0.2]})");
  ASSERT_TRUE(read.value.has_value());
  const nlohmann::json value = *read.value;
  EXPECT_EQ(value, nlohmann::json::parse(to_json(*read.value)));
}

}  // namespace
}  // namespace present
