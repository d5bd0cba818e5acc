// Three to six predictors, seeded random problems: no random feasible
// weighting beats a point of the front in both validity and effect, the
// answer at an effect is the best weighting with at least that effect, the
// front points do not dominate one another, and every reported point is
// feasible with the validity and effect of its weights.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "pareto/frontier.h"
#include "pareto_test_support.h"

namespace {

using pareto_test::effects;
using pareto_test::problem;

struct random_case {
  int n;
  std::uint64_t seed;
  effects style;
};

std::string name_of(const testing::TestParamInfo<random_case>& info) {
  return std::to_string(info.param.n) + "_predictors_" +
         (info.param.style == effects::negative ? "negative" : "mixed") + "_seed_" +
         std::to_string(info.param.seed);
}

void check_front(const problem& p) {
  const pareto::frontier f = pareto_test::make_front(p);
  const pareto_test::front_sample front = pareto_test::sample_front(f, 401);
  for (std::size_t k = 0; k < front.points.size(); ++k) {
    pareto_test::expect_consistent(p, front.points[k], true);
    EXPECT_GE(front.points[k].effect, front.asked[k] - 1e-12);
  }
  pareto_test::expect_mutually_undominated(front.points, 1e-12);
  pareto_test::random_source rnd(0x5eed + static_cast<std::uint64_t>(p.n));
  const int beating =
      pareto_test::count_beating(p, front, pareto_test::brute_force_count, 1e-6,
                                 [&] { return pareto_test::random_weighting(p.n, rnd); });
  EXPECT_EQ(beating, 0);
}

// Printed by name rather than as bytes.
void PrintTo(const random_case& c, std::ostream* os) { *os << name_of({c, 0}); }

class pareto_random_problems : public testing::TestWithParam<random_case> {};

TEST_P(pareto_random_problems, NoRandomWeightingBeatsTheFront) {
  const random_case& c = GetParam();
  check_front(pareto_test::random_problem(c.n, c.seed, c.style));
}

INSTANTIATE_TEST_SUITE_P(
    Seeded, pareto_random_problems,
    testing::Values(random_case{3, 11, effects::negative}, random_case{3, 12, effects::mixed},
                    random_case{4, 13, effects::negative}, random_case{4, 14, effects::mixed},
                    random_case{5, 15, effects::negative}, random_case{5, 16, effects::mixed},
                    random_case{6, 17, effects::negative}, random_case{6, 18, effects::mixed}),
    name_of);

TEST(pareto_random_problems, SomeFrontsAreNotConcave) {
  // The set above must exercise the search beyond the traced stretch.
  int not_concave = 0;
  for (const auto& c :
       {random_case{3, 11, effects::negative}, random_case{4, 13, effects::negative},
        random_case{5, 15, effects::negative}, random_case{6, 17, effects::negative}}) {
    if (!pareto_test::make_front(pareto_test::random_problem(c.n, c.seed, c.style)).concave())
      ++not_concave;
  }
  EXPECT_GT(not_concave, 0);
}

TEST(pareto_random_problems, FourPredictorsWhoseBestTradeOffIsNotTheSmallestDifference) {
  // a/|d| is highest for the third predictor, but the fourth has the
  // smallest group difference: the front is traced to the third predictor
  // and continues on pairs and groups.
  const problem p{4,
                  {1, 0.3, 0.2, 0.1, 0.3, 1, 0.4, 0.2, 0.2, 0.4, 1, 0.3, 0.1, 0.2, 0.3, 1},
                  {0.45, 0.35, 0.3, 0.05},
                  {-0.9, -0.4, -0.1, -0.05}};
  EXPECT_FALSE(pareto_test::make_front(p).concave());
  check_front(p);
}

TEST(pareto_random_problems, APredictorLeftOutAtTheQualityEndEntersLater) {
  // The third predictor's regression weight is negative (it mostly repeats
  // the first one with less validity), so the quality end leaves it out;
  // its positive effect size makes the impact end use it.
  const problem p{3, {1, 0.2, 0.7, 0.2, 1, 0.1, 0.7, 0.1, 1}, {0.4, 0.3, 0.1}, {-1, -0.3, 0.2}};
  ASSERT_LT(pareto_test::solve(p.r, 3, p.a)[2], 0);
  const pareto::frontier f = pareto_test::make_front(p);
  EXPECT_EQ(f.quality_end().weights[2], 0);
  EXPECT_GT(f.impact_end().weights[2], 0);
  check_front(p);
}

TEST(pareto_random_problems, ManyMoreWithFewerDraws) {
  // A wider net for rarer paths (predictors entering the front, several
  // stretches, jumps): 3 to 8 predictors, 20,000 draws each.
  for (std::uint64_t seed = 1; seed <= 48; ++seed) {
    const int n = 3 + static_cast<int>(seed % 6);
    const problem p = pareto_test::random_problem(
        n, 9000 + seed, seed % 2 == 0 ? effects::negative : effects::mixed);
    const pareto::frontier f = pareto_test::make_front(p);
    const pareto_test::front_sample front = pareto_test::sample_front(f, 101);
    for (std::size_t k = 0; k < front.points.size(); ++k) {
      pareto_test::expect_consistent(p, front.points[k], true);
      EXPECT_GE(front.points[k].effect, front.asked[k] - 1e-12);
    }
    pareto_test::expect_mutually_undominated(front.points, 1e-12);
    pareto_test::random_source rnd(seed);
    EXPECT_EQ(pareto_test::count_beating(p, front, pareto_test::brute_force_count / 50, 1e-6,
                                         [&] { return pareto_test::random_weighting(p.n, rnd); }),
              0)
        << "seed " << seed;
  }
}

TEST(pareto_random_problems, StronglyCorrelatedPredictors) {
  // Communalities of 0.95 to 0.999, 3 to 8 predictors: the quadratic
  // programmes of the trace meet bounds that block their steps.
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    const int n = 3 + static_cast<int>(seed % 6);
    const problem p = pareto_test::random_problem(
        n, 8000 + seed, seed % 2 == 0 ? effects::negative : effects::mixed,
        pareto_test::communality::high);
    const pareto::frontier f = pareto_test::make_front(p);
    const pareto_test::front_sample front = pareto_test::sample_front(f, 101);
    for (std::size_t k = 0; k < front.points.size(); ++k) {
      pareto_test::expect_consistent(p, front.points[k], true);
      EXPECT_GE(front.points[k].effect, front.asked[k] - 1e-12);
    }
    pareto_test::expect_mutually_undominated(front.points, 1e-12);
    pareto_test::random_source rnd(seed);
    EXPECT_EQ(pareto_test::count_beating(p, front, pareto_test::brute_force_count / 50, 1e-6,
                                         [&] { return pareto_test::random_weighting(p.n, rnd); }),
              0)
        << "seed " << seed;
  }
}

}  // namespace
