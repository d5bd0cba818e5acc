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
using numeric::precise::upper_tail_mean;

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
  const double spacing =
      std::nextafter(std::fabs(exact), std::numeric_limits<double>::infinity()) - std::fabs(exact);
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
  for (std::span<const normp_row> rows :
       {std::span<const normp_row>(normp_rational), std::span<const normp_row>(normp_fraction)}) {
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

// Both from one exponential: the density's own bits, and the tail area's
// within the same bound of the reference (measured: as upper_tail's, and
// the same double at all but a few of the references' points).
TEST(PreciseNormal, TailAndDensityTogetherAsEachAlone) {
  worst tail;
  int differ = 0;
  int points = 0;
  for (std::span<const normp_row> rows :
       {std::span<const normp_row>(normp_rational), std::span<const normp_row>(normp_fraction)}) {
    for (const normp_row& row : rows) {
      SCOPED_TRACE(row.z);
      const numeric::precise::tail_and_density both = numeric::precise::upper_tail_and_density(row.z);
      EXPECT_EQ(both.density, density(row.z));
      tail.see(ulps(both.tail, row.q), row.z);
      differ += both.tail != upper_tail(row.z) ? 1 : 0;
      ++points;
    }
  }
  report("upper_tail_and_density", tail);
  std::cout << "[ measured ] tail differs from upper_tail at " << differ << " of " << points
            << " points\n";
  EXPECT_LE(tail.ulps, 4.0);
  EXPECT_LE(differ, points / 20);
  // Where the tail area underflows before the density does (z near 38.5)
  // and beyond.
  for (int i = 0; i <= 5000; ++i) {
    const double z = 36 + i * 1e-3;
    const numeric::precise::tail_and_density both = numeric::precise::upper_tail_and_density(z);
    EXPECT_EQ(both.tail, upper_tail(z)) << z;
    EXPECT_EQ(both.density, density(z)) << z;
  }
  for (const double z : {-41.0, 41.0, 1e300, -std::numeric_limits<double>::infinity()}) {
    const numeric::precise::tail_and_density both = numeric::precise::upper_tail_and_density(z);
    EXPECT_EQ(both.tail, upper_tail(z)) << z;
    EXPECT_EQ(both.density, 0) << z;
  }
  EXPECT_TRUE(std::isnan(
      numeric::precise::upper_tail_and_density(std::numeric_limits<double>::quiet_NaN()).tail));
}

TEST(PreciseNormal, LimitsBeyondTheRangeOfDoubles) {
  EXPECT_EQ(upper_tail(40), 0);
  EXPECT_EQ(upper_tail(-40), 1);
  EXPECT_EQ(upper_tail(0), 0.5);
  EXPECT_TRUE(std::isnan(upper_tail(std::numeric_limits<double>::quiet_NaN())));
  EXPECT_EQ(density(0), 0.3989422804014327);
  // Far beyond, to the largest doubles, without overflow in the splits.
  for (const double z : {41.0, 1e20, 1e300, std::numeric_limits<double>::max(),
                         std::numeric_limits<double>::infinity()}) {
    SCOPED_TRACE(z);
    EXPECT_EQ(upper_tail(z), 0);
    EXPECT_EQ(upper_tail(-z), 1);
    EXPECT_EQ(density(z), 0);
    EXPECT_EQ(density(-z), 0);
  }
}

// The mean of the normal above z, phi(z)/Q(z), against mpmath at 50
// digits (rounded to 20), on both sides of 37, where the tail area leaves
// the normal doubles and the continued fraction takes over.
TEST(PreciseNormal, MeanAboveTheCutScoreWhereTheTailUnderflows) {
  struct row {
    double z, mean;
  };
  constexpr row rows[] = {
      {36.5, 36.527356284475012415}, {37, 37.026987686126990096},   {37.25, 37.276807081607793803},
      {38, 38.026279466575868988},   {39.5, 39.525284107407583049}, {45, 45.022200328343595225},
      {100, 100.00999800099926071},  {1000, 1000.00099999800001},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.z);
    EXPECT_LE(ulps(upper_tail_mean(r.z), r.mean), 4.0);
  }
  // Where the tail area is 0 in doubles the mean is still there.
  EXPECT_EQ(upper_tail(45), 0);
  EXPECT_NEAR(upper_tail_mean(1e300), 1e300, 1e284);
  // The whole distribution's mean far below, and half-normal's at 0.
  EXPECT_EQ(upper_tail_mean(-40), 0);
  EXPECT_NEAR(upper_tail_mean(0), 0.79788456080286535588, 2e-16);
  EXPECT_TRUE(std::isnan(upper_tail_mean(std::numeric_limits<double>::quiet_NaN())));
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
