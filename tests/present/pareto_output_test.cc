// Pareto output: a weighting's weights keyed by its predictors' names keep
// one entry per predictor, whatever the names.
#include "present/pareto_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "fourfifths/pareto.h"
#include "present/scenario.h"

namespace present {
namespace {

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

}  // namespace
}  // namespace present
