// The draws' distributions, by their moments and by a Kolmogorov-Smirnov
// distance against the normal and chi-square distribution functions
// (closed forms below), and their reproducibility.
#include "numeric/random_draws.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int draws_count = 200'000;
// The Kolmogorov-Smirnov distance that a sample of this size exceeds with
// probability about 1e-4 (1.95 / sqrt(n)).
const double ks_limit = 1.95 / std::sqrt(static_cast<double>(draws_count));

template <class Cdf>
double ks_distance(std::vector<double> x, Cdf cdf) {
  std::sort(x.begin(), x.end());
  const auto n = static_cast<double>(x.size());
  double d = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double f = cdf(x[i]);
    d = std::max({d, f - static_cast<double>(i) / n, static_cast<double>(i + 1) / n - f});
  }
  return d;
}

TEST(RandomDraws, NormalHasTheStandardDistribution) {
  numeric::random_draws g(numeric::stream_generator(1, 0));
  std::vector<double> x(draws_count);
  for (double& v : x) v = g.normal();
  EXPECT_LT(ks_distance(x, [](double z) { return 0.5 * std::erfc(-z / std::sqrt(2.0)); }),
            ks_limit);
}

// Chi-square with 2 degrees of freedom is exponential with mean 2; with 4,
// 1 - (1 + x/2) e^(-x/2). Shapes 1 and 2 are the edge and a common case of
// the gamma method.
TEST(RandomDraws, ChiSquareHasItsDistribution) {
  numeric::random_draws g(numeric::stream_generator(2, 0));
  for (const double dof : {2.0, 4.0}) {
    std::vector<double> x(draws_count);
    for (double& v : x) v = g.chi_square(dof);
    const auto cdf = [dof](double t) {
      return dof == 2 ? 1 - std::exp(-t / 2) : 1 - (1 + t / 2) * std::exp(-t / 2);
    };
    EXPECT_LT(ks_distance(x, cdf), ks_limit) << dof;
  }
  // Many degrees of freedom: mean k and variance 2k, within 5 standard errors.
  const double k = 997;
  double sum = 0, squares = 0;
  for (int i = 0; i < draws_count; ++i) {
    const double v = g.chi_square(k);
    sum += v;
    squares += v * v;
  }
  const double mean = sum / draws_count;
  const double variance = squares / draws_count - mean * mean;
  EXPECT_NEAR(mean, k, 5 * std::sqrt(2 * k / draws_count));
  EXPECT_NEAR(variance, 2 * k, 5 * 2 * k * std::sqrt(2.0 / draws_count) * 1.1);
}

TEST(RandomDraws, UniformsStayInsideTheOpenInterval) {
  numeric::random_draws g(numeric::stream_generator(3, 0));
  for (int i = 0; i < draws_count; ++i) {
    const double u = g.uniform();
    ASSERT_GT(u, 0.0);
    ASSERT_LT(u, 1.0);
  }
}

TEST(RandomDraws, StreamsRepeatAndDiffer) {
  numeric::random_draws a(numeric::stream_generator(5, 7));
  numeric::random_draws b(numeric::stream_generator(5, 7));
  numeric::random_draws c(numeric::stream_generator(5, 8));
  numeric::random_draws d(numeric::stream_generator(6, 7));
  int same_c = 0, same_d = 0;
  for (int i = 0; i < 100; ++i) {
    const double x = a.normal();
    ASSERT_EQ(x, b.normal());
    same_c += x == c.normal();
    same_d += x == d.normal();
  }
  EXPECT_EQ(same_c, 0);
  EXPECT_EQ(same_d, 0);
}

}  // namespace
