// Scenarios with several minority groups: the "groups" list read and
// checked with every fault named by its path, refused by faces that take
// one group, written back as JSON and refused as a deck; and their table,
// one row per ratio and group.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "present/group_table.h"
#include "present/scenario.h"

namespace present {
namespace {

// Two predictors and a criterion, three groups; the test replaces one
// piece of text.
std::string valid(const std::string& from = "", const std::string& to = "") {
  std::string text = R"({
  "title": "three groups",
  "mode": "overall",
  "predictors": [
    {"name": "test", "weight": 1},
    {"name": "interview", "weight": 1}
  ],
  "criteria": [{"name": "performance", "weight": 1}],
  "correlations": [[1, 0.3, 0.5], [0.3, 1, 0.4], [0.5, 0.4, 1]],
  "groups": [
    {"name": "B", "share": 0.15, "d": [-1, -0.2, -0.3]},
    {"name": "H", "share": 0.1, "d": [-0.7, -0.1, -0.2]},
    {"name": "A", "share": 0.05, "d": [0.2, 0.1, 0.1]}
  ]
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
  return texts(read_json_scenario(text, id_rule::optional, group_rule::accepted).errors);
}

TEST(GroupScenario, AValidScenarioIsAProblemWithGroups) {
  const loaded_scenario s = read_json_scenario(valid(), id_rule::optional, group_rule::accepted);
  ASSERT_TRUE(s.errors.empty()) << testing::PrintToString(texts(s.errors));
  ASSERT_TRUE(s.group_problem.has_value());
  EXPECT_FALSE(s.problem.has_value());
  const auto groups = s.group_problem->groups();
  ASSERT_EQ(groups.size(), 3u);
  EXPECT_EQ(groups[2].name, "A");
  EXPECT_EQ(groups[1].d, (std::vector<double>{-0.7, -0.1, -0.2}));
  EXPECT_NEAR(*s.group_problem->majority_share(), 0.7, 1e-15);
  EXPECT_TRUE(s.value->spec.predictor_effects.empty());
}

TEST(GroupScenario, FacesOfOneGroupRefuseItByName) {
  EXPECT_EQ(texts(read_json_scenario(valid()).errors),
            std::vector<std::string>{
                "groups: several minority groups are not analysed here: one minority group only"});
}

TEST(GroupScenario, EveryFaultIsNamedByItsPath) {
  EXPECT_EQ(errors_of(valid("{\"name\": \"test\", \"weight\": 1}",
                            "{\"name\": \"test\", \"d\": -1, \"weight\": 1}")),
            std::vector<std::string>{
                "predictors[0].d: not allowed with \"groups\": each group gives its effect sizes"});
  EXPECT_EQ(
      errors_of(valid("\"share\": 0.1,", "\"shar\": 0.1, \"share\": \"x\",")),
      (std::vector<std::string>{"groups[1].shar: unknown key (expected one of d, name, share)",
                                "groups[1].share: must be a finite number"}));
  EXPECT_EQ(errors_of(valid("[-0.7, -0.1, -0.2]", "[-0.7, -0.1]")),
            std::vector<std::string>{"groups[1].d: must hold 3 effect sizes, one per variable "
                                     "(predictors, then criteria)"});
  EXPECT_EQ(
      errors_of(valid("{\"name\": \"A\", \"share\": 0.05,", "{\"name\": \"B\", \"share\": 0.9,")),
      (std::vector<std::string>{"groups[2].name: repeats the name of an earlier group",
                                "groups: the shares must leave the majority a share: they "
                                "sum to 1 or more"}));
  EXPECT_EQ(
      errors_of(valid("\"mode\": \"overall\",", "\"mode\": \"overall\", \"minority_share\": 0.3,")),
      std::vector<std::string>{"minority_share: the groups' shares give the applicant mix"});
  EXPECT_EQ(errors_of(valid("\"name\": \"B\", \"share\": 0.15,", "\"share\": 0.15,")),
            std::vector<std::string>{"groups[0].name: required: the group's name"});
  // The variables' faults, as a scenario of one group gives them.
  EXPECT_EQ(errors_of(valid("[1, 0.3, 0.5], [0.3", "[1, 0.3, 0.5], [0.4")),
            std::vector<std::string>{"correlations: not symmetric at [0][1]"});
}

TEST(GroupScenario, MajorityModeMayLeaveTheSharesOut) {
  std::string text = valid("\"mode\": \"overall\"", "\"mode\": \"majority\"");
  for (const char* share : {"\"share\": 0.15, ", "\"share\": 0.1, ", "\"share\": 0.05, "}) {
    text.erase(text.find(share), std::string(share).size());
  }
  const loaded_scenario s = read_json_scenario(text, id_rule::optional, group_rule::accepted);
  ASSERT_TRUE(s.errors.empty()) << testing::PrintToString(texts(s.errors));
  const group_table t = make_group_table(*s.group_problem, std::vector<double>{0.2});
  EXPECT_FALSE(t.entries.front().result.sr.has_value());
  EXPECT_FALSE(t.entries.front().result.mean.has_value());
  // In overall mode they are needed.
  EXPECT_EQ(errors_of(valid("\"share\": 0.15, ", "")),
            std::vector<std::string>{
                "groups[0].share: required: every group gives its share, or none does"});
}

TEST(GroupScenario, WrittenBackAsJsonAndRefusedAsADeck) {
  const loaded_scenario s = read_json_scenario(valid(), id_rule::optional, group_rule::accepted);
  ASSERT_TRUE(s.value.has_value());
  const std::string text = to_json(*s.value);
  const loaded_scenario back = read_json_scenario(text, id_rule::optional, group_rule::accepted);
  ASSERT_TRUE(back.value.has_value()) << text;
  EXPECT_EQ(to_json(*back.value), text);
  ASSERT_EQ(back.value->groups.size(), 3u);
  EXPECT_EQ(back.value->groups[0].d, s.value->groups[0].d);
  EXPECT_EQ(back.value->groups[1].share, s.value->groups[1].share);
  EXPECT_EQ(text.find("\"d\": -1,"), std::string::npos);  // no effect sizes on the variables
  nlohmann::json j = *s.value;
  EXPECT_EQ(j, nlohmann::json::parse(text));
  const deck_text deck = to_deck(*s.value);
  ASSERT_EQ(deck.errors.size(), 1u);
  EXPECT_EQ(deck.errors[0].text(), "groups: a deck holds one minority group");
}

TEST(GroupTable, OneRowPerRatioAndGroupTheMajorityFirstThenTheMinimum) {
  const loaded_scenario s = read_json_scenario(valid(), id_rule::optional, group_rule::accepted);
  ASSERT_TRUE(s.group_problem.has_value());
  const group_table t = make_group_table(*s.group_problem, std::vector<double>{0.1, 0.5});
  ASSERT_EQ(t.entries.size(), 3u);
  EXPECT_EQ(t.entries[2].kind, fourfifths::entry_kind::minimum);
  EXPECT_EQ(t.minimum.lowest, "B");
  EXPECT_EQ(t.minimum.highest, "A");
  const std::string csv = group_table_csv(t);
  std::vector<std::string> lines;
  for (std::size_t at = 0, next; at < csv.size(); at = next + 1) {
    next = csv.find('\n', at);
    lines.push_back(csv.substr(at, next - at));
  }
  ASSERT_EQ(lines.size(), 1u + 3 * 4);
  EXPECT_EQ(lines[0],
            "kind,target,group,cut_score,sr,sr_group,ai_vs_majority,ratio_to_highest,"
            "passes_four_fifths,mean,mean_group,status");
  EXPECT_EQ(lines[1].substr(0, 24), "requested,0.1,majority,1");
  EXPECT_EQ(lines[4].substr(0, 16), "requested,0.1,A,");
  EXPECT_EQ(lines[9].substr(0, 8), "minimum,");
  // Without ratios: the built-in ones, the minimum after them.
  const group_table all = make_group_table(*s.group_problem, std::nullopt);
  ASSERT_EQ(all.entries.size(), fourfifths::builtin_ratios.size() + 1);
  EXPECT_EQ(all.entries.back().kind, fourfifths::entry_kind::minimum);
  // A ratio without a cut score: the target, the group and the status.
  const std::string failed =
      group_table_csv(make_group_table(*s.group_problem, std::vector<double>{1.5}));
  EXPECT_NE(failed.find("requested,1.5,B,,,,,,,,,no_cut_score\n"), std::string::npos) << failed;
}

}  // namespace
}  // namespace present
