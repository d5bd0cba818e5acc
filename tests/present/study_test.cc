// A study answers the same for one applicant pool however the scenario
// writes it: one minority group with the variables' "d", or "groups" with
// one group. Each test runs on both forms.
#include "present/study.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

namespace present {
namespace {

// One predictor of effect `d` and a criterion, the minority a quarter of
// the applicants: the composite's effect is `d`.
std::string one_predictor(double d, bool as_groups) {
  const std::string effect = std::to_string(d);
  const std::string common = R"("mode": "overall", "quality": "criterion", "weights": "regression",
    "correlations": [[1, 0.5], [0.5, 1]], )";
  if (as_groups) {
    return "{" + common + R"("predictors": [{"name": "test"}],
      "criteria": [{"name": "performance", "weight": 1}],
      "groups": [{"name": "minority", "share": 0.25, "d": [)" +
           effect + ", 0]}]}";
  }
  return "{" + common + R"("predictors": [{"name": "test", "d": )" + effect + R"(}],
    "criteria": [{"name": "performance", "d": 0, "weight": 1}], "majority_per_minority": 3})";
}

// Two predictors and a criterion, the minority a quarter of the applicants,
// written with the variables' "d" or as "groups" of one group.
std::string one_group_text(double d) {
  return R"({"mode": "overall", "quality": "criterion", "weights": "regression",
    "predictors": [{"name": "test", "d": )" +
         std::to_string(d) + R"(}, {"name": "interview", "d": 0}],
    "criteria": [{"name": "performance", "d": 0, "weight": 1}],
    "correlations": [[1, 0.3, 0.5], [0.3, 1, 0.4], [0.5, 0.4, 1]],
    "majority_per_minority": 3})";
}

std::string groups_text(double d) {
  return R"({"mode": "overall", "quality": "criterion", "weights": "regression",
    "predictors": [{"name": "test"}, {"name": "interview"}],
    "criteria": [{"name": "performance", "weight": 1}],
    "correlations": [[1, 0.3, 0.5], [0.3, 1, 0.4], [0.5, 0.4, 1]],
    "groups": [{"name": "minority", "share": 0.25, "d": [)" +
         std::to_string(d) + R"(, 0, 0]}]})";
}

study study_of(const std::string& text) {
  loaded_scenario s = read_scenario(text, group_rule::accepted);
  EXPECT_TRUE(s.errors.empty()) << (s.errors.empty() ? "" : s.errors.front().text());
  return study(std::move(s));
}

double upper_tail(double x) { return 0.5 * std::erfc(x / std::sqrt(2.0)); }

// The four-fifths minimum of a predictor composite whose effect is `d` in a
// pool of a quarter minority, by bisection on the cut score: the smallest
// overall ratio at which the lower rate is at least 0.8 of the higher.
double minimum_by_bisection(double d) {
  const auto passes = [d](double cut) {
    const double majority = upper_tail(cut), minority = upper_tail(cut - d);
    return std::min(majority, minority) >= 0.8 * std::max(majority, minority);
  };
  double low = -10, high = 10;  // passes at low (all selected), fails at high
  for (int k = 0; k < 200; ++k) {
    const double mid = (low + high) / 2;
    (passes(mid) ? low : high) = mid;
  }
  return 0.75 * upper_tail(low) + 0.25 * upper_tail(low - d);
}

TEST(Study, TheMinimumProtectsWhicheverGroupScoresLowerInBothForms) {
  for (const double d : {-0.6, 0.6}) {
    const double expected = minimum_by_bisection(d);
    for (const std::string& text : {one_predictor(d, false), one_predictor(d, true)}) {
      const study s = study_of(text);
      const std::optional<double> found =
          s.table(fourfifths::method::precise, std::nullopt).minimum_ratio();
      ASSERT_TRUE(found.has_value()) << text;
      EXPECT_NEAR(*found, expected, 1e-9) << "d " << d << (s.grouped() ? " as groups" : "");
    }
  }
}

TEST(Study, OnlyThePreciseMethodServesAScenarioWithGroups) {
  EXPECT_FALSE(study_of(one_group_text(-0.6)).method_fault(fourfifths::method::classic));
  const study grouped = study_of(groups_text(-0.6));
  EXPECT_FALSE(grouped.method_fault(fourfifths::method::precise));
  EXPECT_TRUE(grouped.method_fault(fourfifths::method::classic));
}

// The front, the answer to a least ratio and the chart that marks it, in
// both forms: the same weightings and the answer drawn on the front's chart.
TEST(Study, TheFrontAndItsAnswerAreTheSameInBothForms) {
  fourfifths::pareto_options o;
  o.ratio = 0.2;
  o.points = 9;
  std::vector<std::vector<double>> validities;
  for (const std::string& text : {one_group_text(-0.8), groups_text(-0.8)}) {
    const study s = study_of(text);
    const study_front front = s.front(o);
    ASSERT_TRUE(front.found()) << text;
    const frame f = front.columns();
    const auto column = [&f](const std::string& name) {
      for (const frame_column& c : f.columns) {
        if (c.name == name) return c.numbers;
      }
      ADD_FAILURE() << "no column " << name;
      return std::vector<double>{};
    };
    validities.push_back(column("validity"));
    const study_best best = s.best(o, 0.8);
    ASSERT_TRUE(best.found());
    EXPECT_EQ(best.columns().rows, 1U);
    EXPECT_EQ(best.document()["reached"], best.reached());
    if (!best.reached()) {
      EXPECT_FALSE(best.unreachable_message().empty());
    }
    const figure chart = front.chart(&best);
    ASSERT_EQ(chart.panels.size(), 1U);
    int marked = 0;
    for (const marker& m : chart.panels.front().markers) {
      marked += m.label == "best at the minimum ratio" ? 1 : 0;
    }
    EXPECT_EQ(marked, 1) << text;
    EXPECT_EQ(front.output(table_format::csv), frame_csv(f));
  }
  ASSERT_EQ(validities.size(), 2U);
  ASSERT_EQ(validities[0].size(), validities[1].size());
  for (std::size_t k = 0; k < validities[0].size(); ++k) {
    EXPECT_NEAR(validities[0][k], validities[1][k], 1e-9) << "point " << k + 1;
  }
}

TEST(Study, IsMadeOnlyOfAScenarioReadWithoutErrors) {
  EXPECT_THROW(study(read_scenario("{}", group_rule::accepted)), std::invalid_argument);
}

// Every number a study's frames hold says what it measures: a column
// added without a unit of its own is caught here.
TEST(Study, EveryNumberColumnHasAUnit) {
  fourfifths::pareto_options o;
  o.ratio = 0.2;
  o.points = 3;
  for (const std::string& text : {one_group_text(-0.8), groups_text(-0.8)}) {
    const study s = study_of(text);
    const study_front front = s.front(o);
    ASSERT_TRUE(front.found());
    for (const frame& f : {s.table(fourfifths::method::precise, std::nullopt).columns(),
                           front.columns(), s.best(o, 0.8).columns()}) {
      for (const frame_column& c : f.columns) {
        const bool numeric = c.type == column_type::number || c.type == column_type::integer;
        if (numeric && c.name != "point") {
          EXPECT_FALSE(c.unit.empty()) << c.name;
        } else {
          EXPECT_TRUE(c.unit.empty()) << c.name;
        }
        EXPECT_FALSE(c.description.empty()) << c.name;
      }
    }
  }
}

// A front that cannot be found says why, in both forms.
TEST(Study, AFrontAtAnImpossibleRatioSaysWhy) {
  fourfifths::pareto_options o;
  o.ratio = 1.5;
  for (const std::string& text : {one_group_text(-0.8), groups_text(-0.8)}) {
    const study_front front = study_of(text).front(o);
    EXPECT_FALSE(front.found());
    EXPECT_FALSE(front.errors().empty());
  }
}

}  // namespace
}  // namespace present
