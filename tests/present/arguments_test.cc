// The packages' arguments, checked once for Python and R: what each kind of
// value gives, with the words both languages show.
#include "present/arguments.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace present {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

std::vector<std::string> texts(const std::vector<fourfifths::fault>& faults) {
  std::vector<std::string> out;
  out.reserve(faults.size());
  for (const fourfifths::fault& f : faults) out.push_back(f.text());
  return out;
}

TEST(RatioArguments, ATableTakesOneToAHundredThousandFiniteRatios) {
  EXPECT_TRUE(check_ratios(std::vector<double>{0.1, 0.5, 0.9}).empty());
  // Outside (0, 1) is a row with its status, not a fault of the argument.
  EXPECT_TRUE(check_ratios(std::vector<double>{-1, 0, 1, 2}).empty());
  EXPECT_TRUE(check_ratios(std::vector<double>(100000, 0.3)).empty());
  EXPECT_EQ(texts(check_ratios(std::vector<double>(100001, 0.3))),
            std::vector<std::string>{"ratios: more than 100000 ratios"});
  EXPECT_EQ(texts(check_ratios({})),
            std::vector<std::string>{"ratios: the list is empty: give one or more ratios"});
}

TEST(RatioArguments, EachRatioThatIsNotFiniteIsNamedByItsPlaceInWords) {
  EXPECT_EQ(texts(check_ratios(std::vector<double>{0.1, nan})),
            std::vector<std::string>{"ratios: the 2nd ratio must be a finite number"});
  std::vector<double> ratios(200, 0.2);
  for (const std::size_t place : {1, 3, 11, 12, 13, 21, 22, 23, 101, 111, 112}) {
    ratios[place - 1] = place % 2 == 0 ? -inf : inf;
  }
  EXPECT_EQ(texts(check_ratios(ratios)),
            (std::vector<std::string>{"ratios: the 1st ratio must be a finite number",
                                      "ratios: the 3rd ratio must be a finite number",
                                      "ratios: the 11th ratio must be a finite number",
                                      "ratios: the 12th ratio must be a finite number",
                                      "ratios: the 13th ratio must be a finite number",
                                      "ratios: the 21st ratio must be a finite number",
                                      "ratios: the 22nd ratio must be a finite number",
                                      "ratios: the 23rd ratio must be a finite number",
                                      "ratios: the 101st ratio must be a finite number",
                                      "ratios: the 111th ratio must be a finite number",
                                      "ratios: the 112th ratio must be a finite number"}));
  // Twenty are named, and the rest counted.
  const std::vector<std::string> many = texts(check_ratios(std::vector<double>(50, nan)));
  ASSERT_EQ(many.size(), 21u);
  EXPECT_EQ(many[19], "ratios: the 20th ratio must be a finite number");
  EXPECT_EQ(many[20], "ratios: and 30 more that are not finite");
}

TEST(ScalarArguments, ANumberIsAnyNumberAndNothingElse) {
  std::vector<fourfifths::fault> faults;
  EXPECT_EQ(number_argument("ratio", 0.25, faults), 0.25);
  EXPECT_EQ(number_argument("ratio", 1, faults), 1.0);
  // Its range is the library's to check.
  EXPECT_EQ(number_argument("ratio", 7.5, faults), 7.5);
  EXPECT_TRUE(std::isnan(*number_argument("ratio", nan, faults)));
  EXPECT_TRUE(faults.empty());
  // None or NA (null), text, a truth value, a list: each a fault by its name.
  for (const nlohmann::json& bad : {nlohmann::json(nullptr), nlohmann::json("0.1"),
                                    nlohmann::json(true), nlohmann::json::array({0.1, 0.2})}) {
    std::vector<fourfifths::fault> f;
    EXPECT_FALSE(number_argument("sr", bad, f).has_value()) << bad;
    EXPECT_EQ(texts(f), std::vector<std::string>{"sr: must be a number"}) << bad;
  }
}

TEST(ScalarArguments, PointsAreAWholeNumberHoweverGiven) {
  std::vector<fourfifths::fault> faults;
  EXPECT_EQ(points_argument("points", 21, faults), 21);
  EXPECT_EQ(points_argument("points", 21.0, faults), 21);
  // Out of range, for the library to say so: itself, or 0 beyond an int.
  EXPECT_EQ(points_argument("points", 1, faults), 1);
  EXPECT_EQ(points_argument("points", -3, faults), -3);
  EXPECT_EQ(points_argument("points", 1e12, faults), 0);
  EXPECT_EQ(points_argument("points", -1e12, faults), 0);
  EXPECT_EQ(points_argument("points", 5000000000LL, faults), 0);
  EXPECT_EQ(points_argument("points", 18446744073709551615ULL, faults), 0);
  EXPECT_TRUE(faults.empty());
  for (const nlohmann::json& bad :
       {nlohmann::json(2.5), nlohmann::json(nan), nlohmann::json(inf), nlohmann::json(nullptr),
        nlohmann::json("21"), nlohmann::json(false), nlohmann::json::array({21})}) {
    std::vector<fourfifths::fault> f;
    EXPECT_FALSE(points_argument("points", bad, f).has_value()) << bad;
    EXPECT_EQ(texts(f), std::vector<std::string>{"points: must be a whole number"}) << bad;
  }
}

TEST(ScalarArguments, NamesAreTheSetsOwnWithNoDefaultForAMissingOne) {
  std::vector<fourfifths::fault> faults;
  EXPECT_EQ(name_argument<fourfifths::pareto_objective>("objective", "mean", faults),
            fourfifths::pareto_objective::mean);
  EXPECT_EQ(name_argument<fourfifths::weight_signs>("weights", "any", faults),
            fourfifths::weight_signs::any);
  EXPECT_TRUE(faults.empty());
  for (const nlohmann::json& bad :
       {nlohmann::json(nullptr), nlohmann::json("Mean"), nlohmann::json(""), nlohmann::json(1)}) {
    std::vector<fourfifths::fault> f;
    EXPECT_FALSE(name_argument<fourfifths::pareto_objective>("objective", bad, f).has_value());
    EXPECT_EQ(texts(f), std::vector<std::string>{"objective: must be one of validity, mean"});
  }
  std::vector<fourfifths::fault> f;
  EXPECT_FALSE(name_argument<fourfifths::weight_signs>("signs", nullptr, f).has_value());
  EXPECT_EQ(texts(f), std::vector<std::string>{"signs: must be one of nonnegative, any"});
}

TEST(ScalarArguments, SeveralGroupsTakeThePreciseMethodOnly) {
  std::vector<fourfifths::fault> faults;
  EXPECT_EQ(method_argument("classic", false, faults), fourfifths::method::classic);
  EXPECT_EQ(method_argument("precise", true, faults), fourfifths::method::precise);
  EXPECT_TRUE(faults.empty());
  EXPECT_FALSE(method_argument("classic", true, faults).has_value());
  EXPECT_FALSE(method_argument(nullptr, false, faults).has_value());
  EXPECT_EQ(texts(faults),
            (std::vector<std::string>{
                "method: several minority groups are analysed by the precise method only",
                "method: must be one of precise, classic"}));
}

}  // namespace
}  // namespace present
