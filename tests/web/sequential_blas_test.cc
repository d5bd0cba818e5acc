// The WebAssembly build replaces the system BLAS by plain sequential loops
// (web/blas/cblas.cc). Their results must be the reference BLAS's bit for
// bit, or the page would not give the program's numbers: here both run on
// the same random vectors and triangles, and the engine's packed
// factorisation and inverse run through each on random positive-definite
// matrices.
//
// The loops and a second copy of numeric/packed.cc are compiled with their
// functions renamed (sequential_names.h), so that the system's cblas_ddot
// and the engine's numeric::dppfa stay what they are in this program.
#include <cblas.h>
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "numeric/packed.h"

extern "C" {
double sequential_ddot(int n, const double* x, int incx, const double* y, int incy);
void sequential_daxpy(int n, double alpha, const double* x, int incx, double* y, int incy);
void sequential_dscal(int n, double alpha, double* x, int incx);
// The enumerations are the system header's; the replacement's have the
// same values.
void sequential_dtpsv(CBLAS_LAYOUT layout, CBLAS_UPLO uplo, CBLAS_TRANSPOSE trans, CBLAS_DIAG diag,
                      int n, const double* ap, double* x, int incx);
}

namespace numeric {
void sequential_dppfa(std::span<double> ap, int n, int& info) noexcept;
void sequential_dppdi(std::span<double> ap, int n, std::span<double, 2> det, int job) noexcept;
}  // namespace numeric

namespace {

constexpr int longest = 40;

// Equal bits, so that 0 and -0 differ; any NaN equals any other, as which
// of two NaN operands a sum passes on (its sign and payload) depends on the
// order in which the compiler put the operands, and WebAssembly leaves it
// open.
bool same_bits(double a, double b) {
  if (std::isnan(a) && std::isnan(b)) return true;
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

::testing::AssertionResult same_bits(const std::vector<double>& got,
                                     const std::vector<double>& want) {
  if (got.size() != want.size()) return ::testing::AssertionFailure() << "sizes differ";
  for (std::size_t i = 0; i < got.size(); ++i) {
    if (!same_bits(got[i], want[i])) {
      return ::testing::AssertionFailure()
             << "entry " << i << ": " << got[i] << " against the reference's " << want[i];
    }
  }
  return ::testing::AssertionSuccess();
}

// Entries of mixed signs and magnitudes, so that sums cancel and their
// roundings depend on the order of the additions.
std::vector<double> random_vector(std::mt19937_64& rng, std::size_t size) {
  std::uniform_real_distribution<double> mantissa(-1, 1);
  std::uniform_int_distribution<int> exponent(-30, 30);
  std::vector<double> v(size);
  for (double& e : v) e = std::ldexp(mantissa(rng), exponent(rng));
  return v;
}

// The strides the tests use: the engine's (1), and others for the loops'
// own sake, a negative one walking from the far end.
constexpr std::array<int, 4> strides = {1, 2, 3, -2};

std::size_t span_of(int n, int inc) {
  return n <= 0 ? 0 : static_cast<std::size_t>(1 + (n - 1) * std::abs(inc));
}

TEST(SequentialBlas, DotProductsAreTheReferencesBitForBit) {
  std::mt19937_64 rng(20261208);
  for (int round = 0; round < 20; ++round) {
    for (int n = 0; n <= longest; ++n) {
      for (const int incx : strides) {
        for (const int incy : {1, incx}) {
          const std::vector<double> x =
              random_vector(rng, std::max<std::size_t>(1, span_of(n, incx)));
          const std::vector<double> y =
              random_vector(rng, std::max<std::size_t>(1, span_of(n, incy)));
          const double want = cblas_ddot(n, x.data(), incx, y.data(), incy);
          const double got = sequential_ddot(n, x.data(), incx, y.data(), incy);
          ASSERT_TRUE(same_bits(got, want)) << "n " << n << ", increments " << incx << " and "
                                            << incy << ": " << got << " against " << want;
        }
      }
    }
  }
}

TEST(SequentialBlas, AxpyAndScalAreTheReferencesBitForBit) {
  std::mt19937_64 rng(7);
  for (int round = 0; round < 20; ++round) {
    for (int n = 0; n <= longest; ++n) {
      for (const int inc : strides) {
        const std::vector<double> x = random_vector(rng, std::max<std::size_t>(1, span_of(n, inc)));
        const std::vector<double> y = random_vector(rng, std::max<std::size_t>(1, span_of(n, inc)));
        const double alpha = random_vector(rng, 1)[0];

        std::vector<double> want = y;
        std::vector<double> got = y;
        cblas_daxpy(n, alpha, x.data(), inc, want.data(), inc);
        sequential_daxpy(n, alpha, x.data(), inc, got.data(), inc);
        ASSERT_TRUE(same_bits(got, want)) << "daxpy, n " << n << ", increment " << inc;

        want = x;
        got = x;
        cblas_dscal(n, alpha, want.data(), inc);
        sequential_dscal(n, alpha, got.data(), inc);
        ASSERT_TRUE(same_bits(got, want)) << "dscal, n " << n << ", increment " << inc;
      }
    }
  }
}

// Zeros of both signs, infinities and NaN, with the multipliers where the
// reference routines take shortcuts (alpha 0 in daxpy) or where signs of
// zero and NaN come through.
TEST(SequentialBlas, SpecialValuesAsTheReference) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<double> x = {0.0, -0.0, inf, -inf, 1.0, -1.0, nan, 2.5};
  const std::vector<double> y = {-0.0, -0.0, 1.0, 3.0, -1.0, inf, 0.0, -2.5};
  const int n = static_cast<int>(x.size());
  for (const double alpha : {0.0, -0.0, 1.0, -1.0, inf, nan, 0.5}) {
    std::vector<double> want = y;
    std::vector<double> got = y;
    cblas_daxpy(n, alpha, x.data(), 1, want.data(), 1);
    sequential_daxpy(n, alpha, x.data(), 1, got.data(), 1);
    EXPECT_TRUE(same_bits(got, want)) << "daxpy, alpha " << alpha;

    want = x;
    got = x;
    cblas_dscal(n, alpha, want.data(), 1);
    sequential_dscal(n, alpha, got.data(), 1);
    EXPECT_TRUE(same_bits(got, want)) << "dscal, alpha " << alpha;
  }
  for (int m = 0; m <= n; ++m) {
    EXPECT_TRUE(same_bits(sequential_ddot(m, x.data(), 1, y.data(), 1),
                          cblas_ddot(m, x.data(), 1, y.data(), 1)))
        << "ddot of the first " << m;
  }
  // Nothing happens for a count that is not positive.
  std::vector<double> untouched = y;
  sequential_daxpy(-3, 2.0, x.data(), 1, untouched.data(), 1);
  sequential_dscal(0, 2.0, untouched.data(), 1);
  EXPECT_TRUE(same_bits(untouched, y));
  EXPECT_TRUE(same_bits(sequential_ddot(-1, x.data(), 1, y.data(), 1), 0.0));
}

// Packed triangles with a diagonal away from zero, so that the solutions
// stay finite, and right-hand sides with some zero entries, which the
// reference skips in the no-transpose cases.
TEST(SequentialBlas, TriangularSolvesAreTheReferencesBitForBit) {
  std::mt19937_64 rng(1956);
  std::uniform_real_distribution<double> off_diagonal(-0.5, 0.5);
  std::uniform_real_distribution<double> diagonal(0.5, 2);
  std::bernoulli_distribution zero(0.2);
  int compared = 0;
  for (int n = 0; n <= longest; ++n) {
    std::vector<double> ap(static_cast<std::size_t>(std::max(1, n * (n + 1) / 2)));
    for (double& e : ap) e = off_diagonal(rng);
    for (const CBLAS_LAYOUT layout : {CblasColMajor, CblasRowMajor}) {
      for (const CBLAS_UPLO uplo : {CblasUpper, CblasLower}) {
        // Put the diagonal where this layout and triangle keep it.
        std::vector<double> a = ap;
        const bool upper_columns = (uplo == CblasUpper) == (layout == CblasColMajor);
        for (int j = 1, k = 0; j <= n; ++j) {
          const int length = upper_columns ? j : n - j + 1;
          a[static_cast<std::size_t>(upper_columns ? k + length - 1 : k)] = diagonal(rng);
          k += length;
        }
        for (const CBLAS_TRANSPOSE trans : {CblasNoTrans, CblasTrans}) {
          for (const CBLAS_DIAG diag : {CblasNonUnit, CblasUnit}) {
            for (const int inc : {1, 2, -1}) {
              std::vector<double> x = random_vector(rng, std::max<std::size_t>(1, span_of(n, inc)));
              for (double& e : x) {
                if (zero(rng)) e = 0;
              }
              std::vector<double> want = x;
              std::vector<double> got = x;
              cblas_dtpsv(layout, uplo, trans, diag, n, a.data(), want.data(), inc);
              sequential_dtpsv(layout, uplo, trans, diag, n, a.data(), got.data(), inc);
              ASSERT_TRUE(same_bits(got, want))
                  << "n " << n << ", layout " << layout << ", uplo " << uplo << ", trans " << trans
                  << ", diag " << diag << ", increment " << inc;
              ++compared;
            }
          }
        }
      }
    }
  }
  EXPECT_EQ(compared, 41 * 2 * 2 * 2 * 2 * 3);
}

// A zero on the diagonal: the reference leaves a zero entry of x alone
// instead of dividing it by zero.
TEST(SequentialBlas, TriangularSolveSkipsZeroEntriesAsTheReference) {
  const std::vector<double> ap = {0.0, 0.5, 2.0};  // upper, by columns: [[0, .5], [., 2]]
  for (const CBLAS_TRANSPOSE trans : {CblasNoTrans, CblasTrans}) {
    for (const std::vector<double>& x :
         {std::vector<double>{0.0, 0.0}, std::vector<double>{0.0, 4.0},
          std::vector<double>{1.0, 0.0}}) {
      std::vector<double> want = x;
      std::vector<double> got = x;
      cblas_dtpsv(CblasColMajor, CblasUpper, trans, CblasNonUnit, 2, ap.data(), want.data(), 1);
      sequential_dtpsv(CblasColMajor, CblasUpper, trans, CblasNonUnit, 2, ap.data(), got.data(), 1);
      EXPECT_TRUE(same_bits(got, want)) << "trans " << trans << ", x " << x[0] << ", " << x[1];
    }
  }
}

// A random correlation-like matrix of order n, positive definite: B'B for a
// random B with more rows than columns, scaled to a unit diagonal, packed
// by columns (upper triangle).
std::vector<double> random_packed_positive_definite(std::mt19937_64& rng, int n) {
  std::normal_distribution<double> normal;
  const int rows = n + 3;
  std::vector<double> b(static_cast<std::size_t>(rows) * n);
  for (double& e : b) e = normal(rng);
  auto gram = [&](int i, int j) {
    double s = 0;
    for (int r = 0; r < rows; ++r)
      s += b[static_cast<std::size_t>(r) * n + i] * b[static_cast<std::size_t>(r) * n + j];
    return s;
  };
  std::vector<double> ap;
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i <= j; ++i) ap.push_back(gram(i, j) / std::sqrt(gram(i, i) * gram(j, j)));
  }
  return ap;
}

TEST(SequentialBlas, PackedInverseThroughEitherIsTheSame) {
  std::mt19937_64 rng(2007);
  int compared = 0;
  for (int round = 0; round < 5; ++round) {
    for (int n = 1; n <= 30; ++n) {
      const std::vector<double> a = random_packed_positive_definite(rng, n);
      std::vector<double> want = a;
      std::vector<double> got = a;
      int want_info = -1;
      int got_info = -1;
      numeric::dppfa(want, n, want_info);
      numeric::sequential_dppfa(got, n, got_info);
      ASSERT_EQ(want_info, 0) << "order " << n;
      ASSERT_EQ(got_info, want_info);
      ASSERT_TRUE(same_bits(got, want)) << "the factor of order " << n;

      std::array<double, 2> want_det{};
      std::array<double, 2> got_det{};
      numeric::dppdi(want, n, want_det, 11);
      numeric::sequential_dppdi(got, n, got_det, 11);
      ASSERT_TRUE(same_bits(got, want)) << "the inverse of order " << n;
      ASSERT_TRUE(same_bits(got_det[0], want_det[0]) && same_bits(got_det[1], want_det[1]))
          << "the determinant of order " << n;
      ++compared;
    }
  }
  EXPECT_EQ(compared, 150);
}

// A matrix that is not positive definite stops both at the same minor,
// with the same partial factor, and the inverse of what is left agrees too.
TEST(SequentialBlas, FailedFactorisationThroughEitherIsTheSame) {
  std::mt19937_64 rng(11);
  for (int n = 2; n <= 30; ++n) {
    std::vector<double> a = random_packed_positive_definite(rng, n);
    // The last variable correlates with the others as the first does, and
    // with the first just above 1: the last leading minor is negative.
    for (int i = 0; i < n - 1; ++i) {
      const std::size_t first_column = static_cast<std::size_t>(i);
      a[static_cast<std::size_t>(n - 1) * n / 2 + static_cast<std::size_t>(i)] =
          i == 0 ? 1.0000001 : a[first_column * (first_column + 1) / 2];
    }
    std::vector<double> want = a;
    std::vector<double> got = a;
    int want_info = -1;
    int got_info = -1;
    numeric::dppfa(want, n, want_info);
    numeric::sequential_dppfa(got, n, got_info);
    ASSERT_NE(want_info, 0) << "order " << n;
    ASSERT_EQ(got_info, want_info) << "order " << n;
    ASSERT_TRUE(same_bits(got, want)) << "the partial factor of order " << n;
    std::array<double, 2> want_det{};
    std::array<double, 2> got_det{};
    numeric::dppdi(want, n, want_det, 11);
    numeric::sequential_dppdi(got, n, got_det, 11);
    ASSERT_TRUE(same_bits(got, want)) << "order " << n;
  }
}

}  // namespace
