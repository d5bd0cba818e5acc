// The portable exp, log and erfc against 50-digit references (mpmath,
// tests/numeric/data/portable_math_data.inc) over each routine's branches,
// and their values at the ends of their ranges.
#include "numeric/portable_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <limits>
#include <span>

namespace {

struct reference {
  double x;
  double value;  // the exact value, rounded to 17 digits
};

#include "data/portable_math_data.inc"

constexpr double inf = std::numeric_limits<double>::infinity();

// Units in the last place of the reference between it and a double.
double ulps(double got, double exact) {
  const double spacing = std::nextafter(std::fabs(exact), inf) - std::fabs(exact);
  return std::fabs(got - exact) / spacing;
}

// The largest error over the rows, printed.
double worst(const char* what, std::span<const reference> rows, double (*f)(double) noexcept) {
  double most = 0;
  double at = 0;
  for (const reference& r : rows) {
    const double u = ulps(f(r.x), r.value);
    if (!(u <= most)) {
      most = u;
      at = r.x;
    }
  }
  std::cout << "[ measured ] " << what << ": at most " << most
            << " ulps (of a reference rounded to a double), at " << at << '\n';
  return most;
}

// Within one unit in the last place of the true value, so within one and a
// half of the reference rounded to a double; erfc within two (its
// exponentials' errors add), two and a half.
TEST(PortableMath, ExpWithinAUnitInTheLastPlace) {
  EXPECT_LE(worst("exp", exp_rows, numeric::portable::exp), 1.5);
}

TEST(PortableMath, LogWithinAUnitInTheLastPlace) {
  EXPECT_LE(worst("log", log_rows, numeric::portable::log), 1.5);
}

TEST(PortableMath, ErfcWithinTwoUnitsInTheLastPlace) {
  EXPECT_LE(worst("erfc", erfc_rows, numeric::portable::erfc), 2.5);
}

TEST(PortableMath, TheEndsOfTheRanges) {
  using numeric::portable::erfc;
  using numeric::portable::exp;
  using numeric::portable::log;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(exp(0.0), 1.0);
  EXPECT_EQ(exp(-0.0), 1.0);
  EXPECT_EQ(exp(710.0), inf);
  EXPECT_EQ(exp(inf), inf);
  EXPECT_EQ(exp(-746.0), 0.0);
  EXPECT_EQ(exp(-inf), 0.0);
  EXPECT_GT(exp(-745.0), 0.0);  // 5e-324, the smallest subnormal
  EXPECT_TRUE(std::isnan(exp(nan)));
  EXPECT_EQ(log(1.0), 0.0);
  // cppcheck-suppress wrongmathcall ; the portable log, whose edge is tested
  EXPECT_EQ(log(0.0), -inf);
  // cppcheck-suppress wrongmathcall ; the portable log, whose edge is tested
  EXPECT_EQ(log(-0.0), -inf);
  EXPECT_EQ(log(inf), inf);
  // cppcheck-suppress wrongmathcall ; the portable log, whose edge is tested
  EXPECT_TRUE(std::isnan(log(-1.0)));
  EXPECT_TRUE(std::isnan(log(-inf)));
  EXPECT_TRUE(std::isnan(log(nan)));
  // log 2^k = k ln 2, with k ln2_hi exact.
  EXPECT_EQ(log(0x1p-1074), -1074 * 0.6931471805599453);
  EXPECT_EQ(erfc(0.0), 1.0);
  EXPECT_EQ(erfc(inf), 0.0);
  EXPECT_EQ(erfc(-inf), 2.0);
  EXPECT_EQ(erfc(28.0), 0.0);
  EXPECT_EQ(erfc(-7.0), 2.0);
  EXPECT_GT(erfc(27.0), 0.0);  // 5e-319, subnormal
  EXPECT_TRUE(std::isnan(erfc(nan)));
}

}  // namespace
