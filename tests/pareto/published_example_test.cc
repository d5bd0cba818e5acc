// The four-predictor example of the 2007 literature on predictor weightings
// that trade validity against adverse impact (cognitive ability,
// structured interview, conscientiousness, biodata). The expected ends are
// from data/four_predictor_ends.py (mpmath, 40 digits).
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "pareto/frontier.h"
#include "pareto_test_support.h"

namespace {

const pareto_test::problem example{4,
                                   {1.00, 0.24, 0.00, 0.19,  //
                                    0.24, 1.00, 0.12, 0.16,  //
                                    0.00, 0.12, 1.00, 0.51,  //
                                    0.19, 0.16, 0.51, 1.00},
                                   {0.30, 0.30, 0.18, 0.28},
                                   {-1.00, -0.23, -0.09, -0.33}};

TEST(pareto_published_example, QualityEndIsTheRegressionWeighting) {
  const pareto::frontier f = pareto_test::make_front(example);
  constexpr std::array<double, 4> weights = {0.3246402844535178, 0.31871877910968881,
                                             0.10133048102942554, 0.25531045540736785};
  const pareto::weighting& q = f.quality_end();
  for (std::size_t j = 0; j < weights.size(); ++j) EXPECT_NEAR(q.weights[j], weights[j], 1e-14);
  EXPECT_NEAR(q.validity, 0.43432659193369765, 1e-15);
  EXPECT_NEAR(q.effect, -0.75474574659305286, 1e-15);
}

TEST(pareto_published_example, ImpactEndIsTheThirdPredictorAlone) {
  const pareto::frontier f = pareto_test::make_front(example);
  const pareto::weighting& i = f.impact_end();
  EXPECT_EQ(i.weights, (std::vector<double>{0, 0, 1, 0}));
  EXPECT_NEAR(i.validity, 0.18, 1e-15);
  EXPECT_NEAR(i.effect, -0.09, 1e-15);
}

TEST(pareto_published_example, NoRandomWeightingBeatsTheFront) {
  const pareto::frontier f = pareto_test::make_front(example);
  const pareto_test::front_sample front = pareto_test::sample_front(f, 401);
  for (const auto& w : front.points) pareto_test::expect_consistent(example, w, true);
  pareto_test::expect_mutually_undominated(front.points, 1e-12);
  pareto_test::random_source rnd(2007);
  EXPECT_EQ(pareto_test::count_beating(example, front, pareto_test::brute_force_count, 1e-6,
                                       [&] { return pareto_test::random_weighting(4, rnd); }),
            0);
}

TEST(pareto_published_example, TwentyOnePointsRunFromEndToEnd) {
  // The caller's use: 21 evenly spaced effects. Validity falls and effect
  // rises along them, and each point has the effect asked for.
  const pareto::frontier f = pareto_test::make_front(example);
  const pareto_test::front_sample front = pareto_test::sample_front(f, 21);
  for (std::size_t k = 0; k < front.points.size(); ++k) {
    EXPECT_NEAR(front.points[k].effect, front.asked[k], 1e-12);
    if (k > 0) {
      EXPECT_LT(front.points[k].validity, front.points[k - 1].validity);
    }
  }
}

}  // namespace
