// Pareto output: a weighting's weights keyed by its predictors' names keep
// one entry per predictor, whatever the names; a front's far end is called
// proved only where its level bound meets it.
#include "present/pareto_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "fourfifths/group_pareto.h"
#include "fourfifths/pareto.h"
#include "present/scenario.h"

namespace present {
namespace {

// The bundled three-group example.
loaded_scenario three_group_example() {
  std::ifstream in(std::filesystem::path(FOURFIFTHS_SOURCE_DIR) / "examples/three_groups.json");
  const std::string text{std::istreambuf_iterator<char>(in), {}};
  return read_json_scenario(text, id_rule::optional, group_rule::accepted);
}

TEST(ParetoOutput, PredictorsNamedAlikeKeepTheirOwnWeights) {
  const loaded_scenario s = read_json_scenario(R"json({"mode": "overall",
    "predictors": [{"name": "test", "d": -1, "weight": 0.5}, {"name": "test", "d": -0.2, "weight": 0.3},
                   {"name": "test (predictor 2)", "d": -0.5, "weight": 0.2}],
    "criteria": [{"name": "performance", "d": -0.3, "weight": 1}],
    "correlations": [[1, 0.3, 0.2, 0.5], [0.3, 1, 0.25, 0.4], [0.2, 0.25, 1, 0.3], [0.5, 0.4, 0.3, 1]],
    "minority_share": 0.25})json");
  ASSERT_TRUE(s.problem.has_value());
  fourfifths::pareto_options o;
  o.ratio = 0.3;
  o.points = 3;
  const fourfifths::pareto_result front = fourfifths::find_pareto_front(*s.problem, o);
  ASSERT_TRUE(front.value.has_value());
  const nlohmann::json doc = front_document(*s.value, *front.value);
  for (const char* key : {"unit", "regression", "given"}) {
    const nlohmann::json& w = doc[key];
    ASSERT_EQ(w["weights"].size(), 3U) << w["weights"];
    // Every weight of the list is there, each once.
    std::vector<double> listed = w["weight_list"].get<std::vector<double>>();
    std::vector<double> keyed;
    for (const auto& [name, weight] : w["weights"].items()) keyed.push_back(weight.get<double>());
    std::sort(listed.begin(), listed.end());
    std::sort(keyed.begin(), keyed.end());
    EXPECT_EQ(keyed, listed) << key;
    EXPECT_EQ(w["weights"]["test"], w["weight_list"][0]);
    EXPECT_EQ(w["weights"]["test (predictor 2)"], w["weight_list"][2]);
  }
}

TEST(ParetoOutput, AFarEndIsCalledProvedOnlyWhereItsBoundMeetsIt) {
  // The three-group example at an overall ratio of 0.2: the far end, 0.7877
  // (conscientiousness alone; a million random weightings and SLSQP find
  // no higher), which the bound over every weighting meets.
  const loaded_scenario s = three_group_example();
  ASSERT_TRUE(s.group_problem.has_value());
  fourfifths::pareto_options o;
  o.ratio = 0.2;
  o.points = 5;
  const fourfifths::group_pareto_result front = fourfifths::find_group_pareto_front(*s.group_problem, o);
  ASSERT_TRUE(front.value.has_value());
  const double far = front.value->points.back().lowest_ratio_to_highest;
  EXPECT_NEAR(far, 0.7877450181593776, 1e-9);
  EXPECT_GE(front.value->highest_level_bound, far);
  EXPECT_LE(front.value->highest_level_bound, far + 1e-9);
  std::string out = front_output(*s.value, *front.value, table_format::text);
  EXPECT_NE(out.find("its far end is proved.\n"), std::string::npos) << out;
  // A bound a millionth above the far end: the text says how far, not
  // that it is proved.
  fourfifths::group_pareto_front short_of_it = *front.value;
  short_of_it.highest_level_bound = far + 1e-6;
  out = front_output(*s.value, short_of_it, table_format::text);
  EXPECT_EQ(out.find("proved.\n"), std::string::npos) << out;
  EXPECT_NE(out.find("; the last point is within 1.0e-06 of it.\n"), std::string::npos) << out;
}

TEST(ParetoOutput, TheThreeGroupExamplesFarEndIsProvedInMajorityMode) {
  // The three-group example at a majority ratio of 0.1, non-negative
  // weights: the far end is conscientiousness alone, 0.7415050548610249
  // (Nelder-Mead on the brute-force checker's model from a million random
  // weightings' best), and the bound meets it within the proof's 1e-9.
  const loaded_scenario s = three_group_example();
  ASSERT_TRUE(s.group_problem.has_value());
  fourfifths::pareto_options o;
  o.ratio = 0.1;
  o.mode = fourfifths::ratio_mode::majority;
  o.signs = fourfifths::weight_signs::nonnegative;
  o.points = 3;
  const fourfifths::group_pareto_result front = fourfifths::find_group_pareto_front(*s.group_problem, o);
  ASSERT_TRUE(front.value.has_value());
  const double far = front.value->points.back().lowest_ratio_to_highest;
  EXPECT_NEAR(far, 0.7415050548610249, 1e-9);
  EXPECT_GE(front.value->highest_level_bound, far);
  EXPECT_LE(front.value->highest_level_bound - far, 1e-9);
}

TEST(ParetoOutput, TheThreeGroupExampleIsProvedShortOfFourFifths) {
  // The three-group example at an overall ratio of 0.1: a million random
  // weightings and SLSQP from the best of them reach a lowest ratio of
  // 0.7415 at most (conscientiousness alone). The bound over every
  // weighting lies below 0.8, so the rule is proved out of reach, and a
  // --min-ai of 0.8 says so with it.
  const loaded_scenario s = three_group_example();
  ASSERT_TRUE(s.group_problem.has_value());
  fourfifths::pareto_options o;
  o.ratio = 0.1;
  o.points = 5;
  const fourfifths::group_pareto_result front = fourfifths::find_group_pareto_front(*s.group_problem, o);
  ASSERT_TRUE(front.value.has_value());
  EXPECT_NEAR(front.value->points.back().lowest_ratio_to_highest, 0.7415, 5e-5);
  EXPECT_GE(front.value->highest_level_bound, 0.7415 - 5e-5);
  EXPECT_LT(front.value->highest_level_bound, 0.8);
  const fourfifths::group_min_ai_result answer =
      fourfifths::best_group_weighting_for_min_ai(*s.group_problem, o, 0.8);
  EXPECT_EQ(answer.status, fourfifths::pareto_status::unreachable);
  EXPECT_LT(answer.highest_level_bound, 0.8);
}

}  // namespace
}  // namespace present
