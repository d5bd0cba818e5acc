// The pieces of Fisher's test: Loader's deviance and Stirling error against
// 40-digit values (mpmath), and the test on tables too large for the
// reference files, where the count's probability differs from the mode's
// by less than the tolerance, or the tails run to millions of terms.
#include "observed/hypergeometric.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "numeric/precise_normal.h"

namespace {

using observed::bd0;
using observed::fisher_two_sided;
using observed::stirling_error;

TEST(Deviance, AgainstFortyDigits) {
  // x log(x/m) + m - x, mpmath at 40 digits, rounded once.
  struct {
    double x, m, want;
  } const cases[] = {
      {1000000, 1001000, 0.4996669164668332},  // near the mean: the series
      {7, 7.5, 0.01704989959133984},
      {3, 2.75, 0.011034130968889298},
      {10, 30, 9.013877113318904},  // far: the logarithm
      {1, 0.5, 0.19314718055994531},
      {10000000000, 5000000000, 1931471805.5994532},
      {1e15, 1e15 + 3e7, 0.4499999910000002},  // the difference would cancel
      {0, 4.5, 4.5},
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(bd0(c.x, c.m, c.x - c.m), c.want, 4 * 0x1p-52 * c.want) << c.x << " " << c.m;
  }
}

TEST(StirlingError, AgainstFortyDigitsAtEachBranch) {
  // log n! - log(sqrt(2 pi n) (n/e)^n), mpmath at 40 digits.
  struct {
    double n, want;
  } const cases[] = {
      {16, 0.0052076559196096404},   {17, 0.004901395948434738},   {35, 0.002380887608234112},
      {36, 0.002314755290514684},    {80, 0.0010416612415616192},  {81, 0.0010288013577107774},
      {500, 0.00016666664444446984}, {501, 0.0001663339765799327}, {1e9, 8.333333333333333e-11},
  };
  // What counts is the absolute error: the error is added to the
  // logarithm of a probability. The series is cut where the next term
  // falls below about 1e-16.
  for (const auto& c : cases) EXPECT_NEAR(stirling_error(c.n), c.want, 1.2e-16) << c.n;
}

// A symmetric table of 2 * 4e11 applicants, half of them selected: the
// group's count has variance n K (N - K)(N - n) / (N^2 (N - 1)), about 5e10.
constexpr std::int64_t half = 400000000000;

TEST(FisherOnHugeTables, WithinTheToleranceOfTheModeEverythingCounts) {
  // 80 from the mode the probability is exp(-80^2 / (2 * 5e10)), within
  // 1e-7 of the mode's, so every table is as probable as the observed one:
  // p = 1. The walk from the count to the mode is too long to take.
  EXPECT_EQ(fisher_two_sided(half / 2 + 80, half, half / 2 - 80, half), 1.0);
  EXPECT_EQ(fisher_two_sided(half / 2 - 80, half, half / 2 + 80, half), 1.0);
}

TEST(FisherOnHugeTables, TheTailsOfMillionsOfTermsMatchTheNormalLimit) {
  // With no skewness and an excess kurtosis of about -1/(2 var), the normal
  // approximation with continuity correction is good to about 1e-9 here:
  // the counts at least k from the mean have p = 2 Q((k - 1/2) / sd). At
  // k = 2000 the counts 1 and 2 nearer the mean are within the tolerance
  // of 1e-7 (exp((k^2 - (k - 2)^2) / (2 var)) = 1 + 8e-8), and count too.
  const double N = 2.0 * half;
  const double var = half * 0.5 * 0.5 * 0.5 * N / (N - 1);  // n K (N-K) (N-n) / (N^2 (N-1))
  for (const auto& [k, within] : {std::pair{2000, 2}, {200000, 0}, {1000000, 0}}) {
    const double want = 2 * numeric::precise::upper_tail((k - within - 0.5) / std::sqrt(var));
    const double p = fisher_two_sided(half / 2 - k, half, half / 2 + k, half);
    EXPECT_NEAR(p, want, 1e-8 * want) << k;
  }
}

TEST(FisherOnHugeTables, AnEmptyMarginGivesOne) {
  EXPECT_EQ(fisher_two_sided(0, 10, 0, 20), 1.0);
  EXPECT_EQ(fisher_two_sided(10, 10, 20, 20), 1.0);
  EXPECT_EQ(fisher_two_sided(0, 0, 5, 20), 1.0);
}

}  // namespace

TEST(FisherOnSmallTables, ExactFractions) {
  // Python's fractions: the weights C(n1, y) C(n2, n - y) no greater than
  // the observed one's, over C(N, n), rounded once. Mirror-image tables
  // (2 of 10 against 8 of 10) are exactly as probable and count.
  struct {
    std::int64_t a, n1, c, n2;
    double want;  // the fraction, rounded to the nearest double
  } const cases[] = {
      {0, 1, 19, 19, 0.05},                   // 1/20
      {2, 10, 8, 10, 0.023014137565221155},   // 1063/46189
      {1, 6, 5, 6, 0.08008658008658008},      // 37/462
      {7, 50, 20, 50, 0.006251136873704209},  // 584923118/93570678393
      {0, 3, 17, 17, 0.0008771929824561404},  // 1/1140
      {12, 16, 7, 7, 0.2727272727272727},     // 3/11
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fisher_two_sided(c.a, c.n1, c.c, c.n2), c.want) << c.a << "/" << c.n1;
    EXPECT_EQ(fisher_two_sided(c.c, c.n2, c.a, c.n1), c.want) << c.a << "/" << c.n1;
  }
  // A fraction whose terms exceed 2^53, 19468999943017912367 /
  // 1424738003974896546180: two roundings and a division.
  EXPECT_NEAR(fisher_two_sided(30, 60, 10, 40), 0.013664968498559788, 2 * 0x1p-52 * 0.0137);
}
