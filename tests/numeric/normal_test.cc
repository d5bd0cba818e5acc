// Tests of ppnd, normp and alnorm: the documented values, the domain and
// the limits, and the accuracy over the whole range against 50-digit
// references (tests/numeric/data, written by make_normal_data.py).
#include "numeric/normal.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <limits>
#include <span>
#include <sstream>
#include <string>
#include <utility>

namespace {

using numeric::alnorm;
using numeric::normp;
using numeric::ppnd;

constexpr double inf = std::numeric_limits<double>::infinity();

struct ppnd_row {
  double p;      // argument
  double x;      // exact quantile of p
  double as241;  // AS 241 in exact arithmetic
};

struct normp_row {
  double z;                               // argument
  double p, q;                            // exact lower and upper areas
  double pdf;                             // exact density
  double p_approx, q_approx, pdf_approx;  // Hart 5666 / the continued
                                          // fraction in exact arithmetic
};

#include "data/normp_data.inc"
#include "data/ppnd_data.inc"

// Units in the last place between two doubles (0 when equal, huge when one
// is NaN or the signs differ and they are not both zero).
std::uint64_t ulps(double a, double b) {
  if (a == b) return 0;
  if (std::isnan(a) || std::isnan(b) || std::signbit(a) != std::signbit(b)) {
    return std::numeric_limits<std::uint64_t>::max();
  }
  const auto ia = std::bit_cast<std::uint64_t>(std::fabs(a));
  const auto ib = std::bit_cast<std::uint64_t>(std::fabs(b));
  return ia > ib ? ia - ib : ib - ia;
}

double relative_error(double got, double want) { return std::fabs(got - want) / std::fabs(want); }

std::string describe(const char* what, double error, const char* arg, double x) {
  std::ostringstream text;
  text.precision(3);
  text << what << ' ' << error;
  text.precision(17);
  text << " at " << arg << " = " << x;
  return text.str();
}

// Prints a measurement into the test output and the XML report.
void report(const std::string& key, const std::string& text) {
  std::cout << "[ measured ] " << key << ": " << text << '\n';
  ::testing::Test::RecordProperty(key, text);
}

// ---------------------------------------------------------------------------
// ppnd

TEST(Ppnd, CentreIsExactlyZero) {
  int ifault = -1;
  const double x = ppnd(0.5, ifault);
  EXPECT_EQ(ifault, 0);
  EXPECT_EQ(x, 0.0);
  EXPECT_FALSE(std::signbit(x));
}

TEST(Ppnd, KnownQuantilesInEachRegion) {
  // References: AS 241 in 50-digit arithmetic (mpmath); they agree with the
  // exact quantiles to 15 digits.
  struct {
    double p, x;
  } const cases[] = {
      {0.975, 1.95996398454005366939},    // central
      {0.025, -1.95996398454005402557},   // central
      {0.9, 1.28155156554460054003},      // central
      {1e-5, -4.26489079392282433995},    // intermediate tail
      {1e-20, -9.26234008979840726402},   // far tail
      {1e-300, -37.0470962993611988762},  // far tail, the end of the range
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "p = " << c.p);
    int ifault = -1;
    const double x = ppnd(c.p, ifault);
    EXPECT_EQ(ifault, 0);
    EXPECT_LE(ulps(x, c.x), 4u) << "got " << x;
  }
}

TEST(Ppnd, ProbabilityOutsideOpenIntervalIsFault) {
  for (const double p : {0.0, -0.0, 1.0, -0.1, 1.5, inf, -inf, 1e300}) {
    SCOPED_TRACE(p);
    int ifault = -1;
    EXPECT_EQ(ppnd(p, ifault), 0.0);
    EXPECT_EQ(ifault, 1);
    // ifault is written on every call, so a good call clears it again.
    ppnd(0.3, ifault);
    EXPECT_EQ(ifault, 0);
  }
}

TEST(Ppnd, SmallestAndLargestProbabilitiesBelowOne) {
  // The extreme doubles inside (0, 1) still have finite quantiles.
  int ifault = -1;
  EXPECT_TRUE(std::isfinite(ppnd(std::nextafter(1.0, 0.0), ifault)));
  EXPECT_EQ(ifault, 0);
  EXPECT_TRUE(std::isfinite(ppnd(std::numeric_limits<double>::denorm_min(), ifault)));
  EXPECT_EQ(ifault, 0);
}

// ---------------------------------------------------------------------------
// normp and alnorm

TEST(Normp, AtZeroHalvesExactly) {
  for (const double z : {0.0, -0.0}) {
    SCOPED_TRACE(z);
    double p = -1, q = -1, pdf = -1;
    normp(z, p, q, pdf);
    EXPECT_EQ(p, 0.5);
    EXPECT_EQ(q, 0.5);
    // 1 / 2.506628274631001, correctly rounded (mpmath); the divisor is one
    // ulp above the double nearest sqrt(2 pi).
    EXPECT_EQ(pdf, 0.39894228040143257809);
  }
}

TEST(Normp, KnownValues) {
  // References: the approximation in 50-digit arithmetic (mpmath), from the
  // double z*z.
  struct {
    double z, p, q, pdf;
  } const cases[] = {
      {1.0, 0.841344746068542956358, 0.158655253931457043642, 0.241970724519143289236},
      {-1.0, 0.158655253931457043642, 0.841344746068542956358, 0.241970724519143289236},
      // The last point of the rational approximation region in this list,
      // and the first of the continued fraction.
      {7.0, 0.999999999998720187453, 1.27981254725389980951e-12, 9.13472040836459105657e-12},
      {7.071, 0.999999999999230894305, 7.69105695356608620078e-13, 5.54314529660672316273e-12},
      // The last point before the fixed limits, still computed.
      {37.0, 1.0, 5.72557122252404903650e-300, 2.12000655152460509624e-298},
      {-37.0, 5.72557122252404903650e-300, 1.0, 2.12000655152460509624e-298},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "z = " << c.z);
    double p = -1, q = -1, pdf = -1;
    normp(c.z, p, q, pdf);
    EXPECT_LE(ulps(p, c.p), 4u) << "p = " << p;
    EXPECT_LE(ulps(q, c.q), 4u) << "q = " << q;
    EXPECT_LE(ulps(pdf, c.pdf), 4u) << "pdf = " << pdf;
  }
}

TEST(Normp, BeyondThirtySevenGivesExactLimits) {
  for (const double z : {std::nextafter(37.0, inf), 37.5, 40.0, 1e300, inf}) {
    SCOPED_TRACE(z);
    double p = -1, q = -1, pdf = -1;
    normp(z, p, q, pdf);
    EXPECT_EQ(p, 1.0);
    EXPECT_EQ(q, 0.0);
    EXPECT_EQ(pdf, 0.0);
    normp(-z, p, q, pdf);
    EXPECT_EQ(p, 0.0);
    EXPECT_EQ(q, 1.0);
    EXPECT_EQ(pdf, 0.0);
  }
}

TEST(Alnorm, SelectsTheTail) {
  EXPECT_LE(ulps(alnorm(1.0, true), 0.158655253931457043642), 4u);
  EXPECT_LE(ulps(alnorm(1.0, false), 0.841344746068542956358), 4u);
  EXPECT_LE(ulps(alnorm(-1.0, true), 0.841344746068542956358), 4u);
  EXPECT_LE(ulps(alnorm(-1.0, false), 0.158655253931457043642), 4u);
  EXPECT_EQ(alnorm(-40.0, true), 1.0);
  EXPECT_EQ(alnorm(-40.0, false), 0.0);
  EXPECT_EQ(alnorm(40.0, true), 0.0);
  EXPECT_EQ(alnorm(40.0, false), 1.0);
}

TEST(Alnorm, InvertsPpndOverTheCentralRegion) {
  // alnorm(ppnd(s), false) = s to about 1e-15 for s in (0.075, 0.925).
  // Measured: 2.22e-16 at most; the bound is twice that.
  constexpr int steps = 100000;
  double worst = 0;
  double worst_s = 0;
  for (int k = 1; k < steps; ++k) {
    const double s = 0.075 + 0.85 * k / steps;
    int ifault = -1;
    const double back = alnorm(ppnd(s, ifault), false);
    ASSERT_EQ(ifault, 0);
    const double diff = std::fabs(back - s);
    if (!(diff <= worst)) {
      worst = diff;
      worst_s = s;
    }
  }
  report("round_trip_max_abs", describe("max |alnorm(ppnd(s)) - s|", worst, "s", worst_s));
  SCOPED_TRACE(describe("worst", worst, "s", worst_s));
  EXPECT_LE(worst, 2 * 2.22e-16);
}

// ---------------------------------------------------------------------------
// Accuracy over the whole range
//
// Two measures per quantity and region: the relative error against the
// exact function (the error of the published approximation plus rounding),
// and the distance in ulps from the published approximation evaluated in
// exact arithmetic (the rounding of the double evaluation alone; a wrong
// constant or branch shows here first). The bounds are twice the largest
// values measured when these tests were written; every run prints its
// measurements.

struct bound {
  double relative;     // against the exact function
  std::uint64_t ulps;  // against the approximation in exact arithmetic
};

// Both measures of one result over a table.
class accuracy {
 public:
  accuracy(std::string key, const char* arg_name) : key_(std::move(key)), arg_name_(arg_name) {}

  void see(double got, double exact, double approx, double arg) {
    const double rel = relative_error(got, exact);
    if (!(rel <= rel_) || !seen_) {
      rel_ = rel;
      rel_arg_ = arg;
    }
    const std::uint64_t dist = ulps(got, approx);
    if (dist > ulps_ || !seen_) {
      ulps_ = dist;
      ulps_arg_ = arg;
    }
    seen_ = true;
  }

  void report_and_check(bound limit) const {
    ASSERT_TRUE(seen_);
    report(key_ + "_max_rel", describe("max relative error", rel_, arg_name_, rel_arg_));
    report(key_ + "_max_ulps", describe("max ulps from the approximation",
                                        static_cast<double>(ulps_), arg_name_, ulps_arg_));
    {
      SCOPED_TRACE(describe((key_ + ": worst relative error").c_str(), rel_, arg_name_, rel_arg_));
      EXPECT_LE(rel_, limit.relative);
    }
    {
      SCOPED_TRACE(describe((key_ + ": worst ulps").c_str(), static_cast<double>(ulps_), arg_name_,
                            ulps_arg_));
      EXPECT_LE(ulps_, limit.ulps);
    }
  }

 private:
  std::string key_;
  const char* arg_name_;
  bool seen_ = false;
  double rel_ = 0, rel_arg_ = 0;
  std::uint64_t ulps_ = 0;
  double ulps_arg_ = 0;
};

void check_ppnd_region(const char* name, std::span<const ppnd_row> rows, bound limit) {
  accuracy x(std::string("ppnd_") + name, "p");
  for (const ppnd_row& row : rows) {
    int ifault = -1;
    const double got = ppnd(row.p, ifault);
    ASSERT_EQ(ifault, 0) << "p = " << row.p;
    x.see(got, row.x, row.as241, row.p);
  }
  x.report_and_check(limit);
}

// The bounds are twice what was measured when the tables were made.
constexpr double twice(double measured) { return 2 * measured; }
constexpr std::uint64_t twice_ulps(std::uint64_t measured) { return 2 * measured; }

// Measured: central 4.98e-16 and 3 ulps, intermediate 4.63e-16 and 3 ulps,
// far 7.46e-16 and 5 ulps.
TEST(PpndAccuracy, CentralRegion) {
  check_ppnd_region("central", ppnd_central, {twice(4.98e-16), twice_ulps(3)});
}
TEST(PpndAccuracy, IntermediateTail) {
  check_ppnd_region("intermediate", ppnd_intermediate, {twice(4.63e-16), twice_ulps(3)});
}
TEST(PpndAccuracy, FarTail) {
  check_ppnd_region("far", ppnd_far, {twice(7.46e-16), twice_ulps(5)});
}

struct normp_bounds {
  bound tail;        // the smaller area, computed directly
  bound complement;  // the larger area, 1 - tail
  bound pdf;         // the density
};

void check_normp_branch(const char* name, std::span<const normp_row> rows, normp_bounds limit) {
  const std::string key = std::string("normp_") + name;
  accuracy tail(key + "_tail", "z");
  accuracy complement(key + "_complement", "z");
  accuracy pdf(key + "_pdf", "z");
  for (const normp_row& row : rows) {
    double p = -1, q = -1, d = -1;
    normp(row.z, p, q, d);
    if (row.z < 0) {  // the lower area is the smaller one
      tail.see(p, row.p, row.p_approx, row.z);
      complement.see(q, row.q, row.q_approx, row.z);
    } else {
      tail.see(q, row.q, row.q_approx, row.z);
      complement.see(p, row.p, row.p_approx, row.z);
    }
    pdf.see(d, row.pdf, row.pdf_approx, row.z);
  }
  tail.report_and_check(limit.tail);
  complement.report_and_check(limit.complement);
  pdf.report_and_check(limit.pdf);
}

// Measured, rational branch: tail 2.89e-9 and 4 ulps, complement 3.87e-16
// and 1 ulp, density 1.98e-15 and 1 ulp.
TEST(NormpAccuracy, RationalBranch) {
  check_normp_branch("rational", normp_rational,
                     {.tail = {twice(2.89e-9), twice_ulps(4)},
                      .complement = {twice(3.87e-16), twice_ulps(1)},
                      .pdf = {twice(1.98e-15), twice_ulps(1)}});
}

// Measured, continued fraction: tail 8.91e-9 and 2 ulps, density 5.44e-14
// and 1 ulp. The complement 1 - t (t < 8e-13) came out as the double
// nearest the exact value in every row; its bound is one ulp below 1.
TEST(NormpAccuracy, ContinuedFractionBranch) {
  check_normp_branch("fraction", normp_fraction,
                     {.tail = {twice(8.91e-9), twice_ulps(2)},
                      .complement = {0x1p-53, 1},
                      .pdf = {twice(5.44e-14), twice_ulps(1)}});
}

}  // namespace
