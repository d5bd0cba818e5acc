// The precise normal functions against the 50-digit references of
// tests/numeric/data (mpmath): the tail area and the density to a few units
// in the last place over the whole range of the report's cut scores and
// beyond, and the quantile back to its probability.
#include "numeric/precise_normal.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <limits>
#include <span>

namespace {

using numeric::precise::density;
using numeric::precise::upper_quantile;
using numeric::precise::upper_tail;

struct ppnd_row {
  double p;      // argument
  double x;      // exact quantile of p
  double as241;  // AS 241 in exact arithmetic (not used here)
};

struct normp_row {
  double z;
  double p, q;                            // exact lower and upper areas
  double pdf;                             // exact density
  double p_approx, q_approx, pdf_approx;  // not used here
};

#include "data/normp_data.inc"
#include "data/ppnd_data.inc"

// Units in the last place between a double and a reference value (the
// reference rounded to a double is itself within half a unit).
double ulps(double got, double exact) {
  const double spacing = std::nextafter(std::fabs(exact), std::numeric_limits<double>::infinity()) -
                         std::fabs(exact);
  return std::fabs(got - exact) / spacing;
}

struct worst {
  double ulps = 0;
  double at = 0;
  void see(double u, double z) {
    if (!(u <= ulps)) {
      ulps = u;
      at = z;
    }
  }
};

void report(const char* what, const worst& w) {
  std::cout << "[ measured ] " << what << ": at most " << w.ulps << " ulps, at " << w.at << '\n';
  ::testing::Test::RecordProperty(what, std::to_string(w.ulps));
}

// Measured when the test was written: tail 2 ulps, density 3 ulps; the
// bounds are twice that.
TEST(PreciseNormal, TailAreaAndDensityToAFewUnitsInTheLastPlace) {
  worst tail, pdf;
  for (std::span<const normp_row> rows : {std::span<const normp_row>(normp_rational),
                                          std::span<const normp_row>(normp_fraction)}) {
    for (const normp_row& row : rows) {
      SCOPED_TRACE(row.z);
      tail.see(ulps(upper_tail(row.z), row.q), row.z);
      pdf.see(ulps(density(row.z), row.pdf), row.z);
    }
  }
  report("upper_tail", tail);
  report("density", pdf);
  EXPECT_LE(tail.ulps, 4.0);
  EXPECT_LE(pdf.ulps, 6.0);
}

TEST(PreciseNormal, LimitsBeyondTheRangeOfDoubles) {
  EXPECT_EQ(upper_tail(40), 0);
  EXPECT_EQ(upper_tail(-40), 1);
  EXPECT_EQ(upper_tail(0), 0.5);
  EXPECT_TRUE(std::isnan(upper_tail(std::numeric_limits<double>::quiet_NaN())));
  EXPECT_EQ(density(0), 0.3989422804014327);
}

// The quantile of the upper tail is minus the quantile of the lower one:
// Q(x) = q means Phi(-x) = q. Measured: at most 4 ulps, where the rounding
// of q itself moves x by that much; the bound is twice that.
TEST(PreciseNormal, QuantileToTheLastPlaceOrTwo) {
  worst w;
  for (std::span<const ppnd_row> rows :
       {std::span<const ppnd_row>(ppnd_central), std::span<const ppnd_row>(ppnd_intermediate),
        std::span<const ppnd_row>(ppnd_far)}) {
    for (const ppnd_row& row : rows) {
      SCOPED_TRACE(row.p);
      w.see(ulps(upper_quantile(row.p), -row.x), row.p);
    }
  }
  report("upper_quantile", w);
  EXPECT_LE(w.ulps, 8.0);
  EXPECT_TRUE(std::isnan(upper_quantile(0)));
  EXPECT_TRUE(std::isnan(upper_quantile(1)));
  EXPECT_TRUE(std::isnan(upper_quantile(-0.5)));
}

}  // namespace
