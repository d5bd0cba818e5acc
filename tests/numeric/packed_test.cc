// Tests of dppfa and dppdi on packed upper triangles: small cases worked by
// hand, the failed factorisation, and matrices with known inverses and
// determinants.
#include "numeric/packed.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <vector>

namespace {

using numeric::dppdi;
using numeric::dppfa;

constexpr double sentinel = -12345.0;

// One-based position of element (i, j), i <= j, in the packed triangle.
constexpr std::size_t pos(int i, int j) {
  const auto column = static_cast<std::size_t>(j);
  return column * (column - 1) / 2 + static_cast<std::size_t>(i);
}

// Packs the upper triangle of a symmetric matrix given as a(i, j), one-based.
template <typename F>
std::vector<double> pack(int n, F a) {
  std::vector<double> ap;
  for (int j = 1; j <= n; ++j) {
    for (int i = 1; i <= j; ++i) ap.push_back(a(i, j));
  }
  return ap;
}

TEST(Dppfa, TwoByTwoFactor) {
  // A = [[4, 2], [2, 3]] = R'R with R = [[2, 1], [0, sqrt 2]].
  std::array<double, 3> ap = {4, 2, 3};
  int info = -1;
  dppfa(ap, 2, info);
  EXPECT_EQ(info, 0);
  EXPECT_EQ(ap[0], 2.0);
  EXPECT_EQ(ap[1], 1.0);
  EXPECT_EQ(ap[2], 1.4142135623730951);  // sqrt 2, correctly rounded
}

TEST(Dppfa, OneByOneFactor) {
  std::array<double, 1> ap = {0.05};
  int info = -1;
  dppfa(ap, 1, info);
  EXPECT_EQ(info, 0);
  EXPECT_EQ(ap[0], 0.22360679774997896);  // sqrt(0.05), correctly rounded (mpmath)
}

TEST(Dppfa, IdentityIsItsOwnFactor) {
  constexpr int n = 4;
  std::vector<double> ap = pack(n, [](int i, int j) { return i == j ? 1.0 : 0.0; });
  const std::vector<double> identity = ap;
  int info = -1;
  dppfa(ap, n, info);
  EXPECT_EQ(info, 0);
  EXPECT_EQ(ap, identity);
}

TEST(Dppfa, OrderZeroChangesNothing) {
  std::array<double, 1> ap = {sentinel};
  int info = -1;
  dppfa(ap, 0, info);
  EXPECT_EQ(info, 0);
  EXPECT_EQ(ap[0], sentinel);
}

TEST(Dppfa, FailedMinorStopsWithItsOrder) {
  // The matrix of ones: the second leading minor is singular.
  std::array<double, 3> ones = {1, 1, 1};
  int info = -1;
  dppfa(ones, 2, info);
  EXPECT_EQ(info, 2);
  EXPECT_EQ(ones, (std::array<double, 3>{1, 1, 1}));

  // First column not positive: nothing is changed.
  std::array<double, 3> negative = {-1, 0, 1};
  dppfa(negative, 2, info);
  EXPECT_EQ(info, 1);
  EXPECT_EQ(negative, (std::array<double, 3>{-1, 0, 1}));

  // Column 2 fails: it keeps its new off-diagonal value (2/2 = 1) and its old
  // diagonal (1), column 1 is factorised, column 3 is untouched.
  std::array<double, 6> partial = {4, 2, 1, 0.5, 0.25, 9};
  dppfa(partial, 3, info);
  EXPECT_EQ(info, 2);
  EXPECT_EQ(partial, (std::array<double, 6>{2, 1, 1, 0.5, 0.25, 9}));

  // A NaN does not satisfy s <= 0, so the factorisation goes on.
  std::array<double, 1> nan = {std::nan("")};
  dppfa(nan, 1, info);
  EXPECT_EQ(info, 0);
}

TEST(Dppdi, TwoByTwoDeterminantAndInverse) {
  std::array<double, 3> ap = {4, 2, 3};
  int info = -1;
  dppfa(ap, 2, info);
  ASSERT_EQ(info, 0);
  std::array<double, 2> det = {sentinel, sentinel};
  dppdi(ap, 2, det, 11);
  // det A = 8 = 8 * 10^0; inverse [[3, -2], [-2, 4]] / 8.
  EXPECT_DOUBLE_EQ(det[0], 8.0);
  EXPECT_EQ(det[1], 0.0);
  EXPECT_DOUBLE_EQ(ap[0], 0.375);
  EXPECT_DOUBLE_EQ(ap[1], -0.25);
  EXPECT_DOUBLE_EQ(ap[2], 0.5);
}

TEST(Dppdi, OneByOneDeterminantAndInverse) {
  std::array<double, 1> ap = {0.05};
  int info = -1;
  dppfa(ap, 1, info);
  std::array<double, 2> det = {sentinel, sentinel};
  dppdi(ap, 1, det, 11);
  EXPECT_DOUBLE_EQ(det[0], 5.0);  // 0.05 = 5 * 10^-2
  EXPECT_EQ(det[1], -2.0);
  EXPECT_DOUBLE_EQ(ap[0], 20.0);
}

TEST(Dppdi, IdentityIsItsOwnInverse) {
  constexpr int n = 5;
  std::vector<double> ap = pack(n, [](int i, int j) { return i == j ? 1.0 : 0.0; });
  const std::vector<double> identity = ap;
  int info = -1;
  dppfa(ap, n, info);
  std::array<double, 2> det = {sentinel, sentinel};
  dppdi(ap, n, det, 11);
  EXPECT_EQ(ap, identity);
  EXPECT_EQ(det[0], 1.0);
  EXPECT_EQ(det[1], 0.0);
}

TEST(Dppdi, OrderZero) {
  std::array<double, 1> ap = {sentinel};
  std::array<double, 2> det = {sentinel, sentinel};
  dppdi(ap, 0, det, 11);
  EXPECT_EQ(ap[0], sentinel);
  EXPECT_EQ(det[0], 1.0);
  EXPECT_EQ(det[1], 0.0);
}

TEST(Dppdi, JobDigitsSelectTheParts) {
  const std::array<double, 3> factor = {2, 1, 1.4142135623730951};

  // 10: the determinant only, the factor stays.
  std::array<double, 3> ap = factor;
  std::array<double, 2> det = {sentinel, sentinel};
  dppdi(ap, 2, det, 10);
  EXPECT_EQ(ap, factor);
  EXPECT_DOUBLE_EQ(det[0], 8.0);

  // 1: the inverse only, det is not written.
  det = {sentinel, sentinel};
  dppdi(ap, 2, det, 1);
  EXPECT_EQ(det[0], sentinel);
  EXPECT_EQ(det[1], sentinel);
  EXPECT_DOUBLE_EQ(ap[0], 0.375);

  // 0: nothing.
  ap = factor;
  dppdi(ap, 2, det, 0);
  EXPECT_EQ(ap, factor);
  EXPECT_EQ(det[0], sentinel);
}

TEST(Dppdi, AfterFailedFactorisation) {
  // The matrix of ones stops dppfa at order 2; the inverse steps then make
  // 2, -1, 1 of the partial factor.
  std::array<double, 3> ap = {1, 1, 1};
  int info = -1;
  dppfa(ap, 2, info);
  ASSERT_EQ(info, 2);
  std::array<double, 2> det{};
  dppdi(ap, 2, det, 1);
  EXPECT_EQ(ap, (std::array<double, 3>{2, -1, 1}));
}

TEST(Dppdi, DeterminantOfZeroFactor) {
  // A zero on the diagonal of R: det[0] = 0 and the scaling stops there.
  std::array<double, 3> ap = {0, 5, 3};
  std::array<double, 2> det = {sentinel, sentinel};
  dppdi(ap, 2, det, 10);
  EXPECT_EQ(det[0], 0.0);
  EXPECT_EQ(det[1], 0.0);
}

TEST(Dppdi, HilbertMatrixOfOrderFive) {
  // The Hilbert matrix h(i, j) = 1/(i + j - 1) has an integer inverse and
  // the determinant 1/266716800000 = 3.7492951325150871636e-12. Its
  // condition number (about 4.8e5) bounds the accuracy.
  constexpr int n = 5;
  std::vector<double> ap = pack(n, [](int i, int j) { return 1.0 / (i + j - 1); });
  int info = -1;
  dppfa(ap, n, info);
  ASSERT_EQ(info, 0);
  std::array<double, 2> det{};
  dppdi(ap, n, det, 11);
  EXPECT_NEAR(det[0], 3.7492951325150871636, 3.75e-9);
  EXPECT_EQ(det[1], -12.0);

  constexpr double inverse[n][n] = {
      {25, -300, 1050, -1400, 630},          {-300, 4800, -18900, 26880, -12600},
      {1050, -18900, 79380, -117600, 56700}, {-1400, 26880, -117600, 179200, -88200},
      {630, -12600, 56700, -88200, 44100},
  };
  for (int j = 1; j <= n; ++j) {
    for (int i = 1; i <= j; ++i) {
      SCOPED_TRACE(::testing::Message() << "element (" << i << ", " << j << ")");
      const double want = inverse[i - 1][j - 1];
      EXPECT_NEAR(ap[pos(i, j) - 1], want, 1e-9 * std::fabs(want));
    }
  }
}

TEST(Dppdi, EquicorrelationMatrixOfOrderThirty) {
  // Unit diagonal and correlation 0.5 everywhere else, at the largest order
  // the analysis admits: det = 0.5^29 * 15.5 = 2.8870999813079834e-08 and the
  // inverse has 60/31 on the diagonal and -2/31 off it.
  constexpr int n = 30;
  std::vector<double> ap = pack(n, [](int i, int j) { return i == j ? 1.0 : 0.5; });
  int info = -1;
  dppfa(ap, n, info);
  ASSERT_EQ(info, 0);
  std::array<double, 2> det{};
  dppdi(ap, n, det, 11);
  EXPECT_NEAR(det[0], 2.8870999813079833984, 1e-13);
  EXPECT_EQ(det[1], -8.0);
  for (int j = 1; j <= n; ++j) {
    for (int i = 1; i <= j; ++i) {
      SCOPED_TRACE(::testing::Message() << "element (" << i << ", " << j << ")");
      const double want = i == j ? 1.9354838709677419355 : -0.064516129032258064516;
      EXPECT_NEAR(ap[pos(i, j) - 1], want, 1e-14);
    }
  }
}

}  // namespace
