// Tests of dfzero and d1mach: each status with its end points and its exact
// number of evaluations, the start-up cases, the tolerances, and the
// machine constants.
#include "numeric/dfzero.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

using numeric::d1mach;
using numeric::dfzero;

// Every objective records its arguments, so the tests can count the
// evaluations and see where they were made.
std::vector<double> calls;

double record(double x) {
  calls.push_back(x);
  return x;
}

double x_minus_1(double x) { return record(x) - 1; }
double x_minus_5(double x) { return record(x) - 5; }
double identity(double x) { return record(x); }
double cos_minus_x(double x) { return std::cos(record(x)) - x; }
double square_plus_1(double x) { return record(x) * x + 1; }
double pole_at_1(double x) { return 1 / (record(x) - 1); }
double cube(double x) { return record(x) * x * x; }
double not_a_number(double x) {
  record(x);
  return std::numeric_limits<double>::quiet_NaN();
}

constexpr double eps = 2.220446049250313e-16;       // 2^-52
constexpr double dottie = 0.739085133215160641655;  // cos x = x (mpmath)

struct result {
  double b, c;
  int iflag;
  std::size_t nfev;
};

result solve(double (*f)(double), double b, double c, double r, double re, double ae) {
  calls.clear();
  int iflag = -1;
  dfzero(f, b, c, r, re, ae, iflag);
  return {b, c, iflag, calls.size()};
}

// On every return the last evaluation was at one of the two ends.
void expect_last_evaluation_at_an_end(const result& res) {
  ASSERT_FALSE(calls.empty());
  const double last = calls.back();
  EXPECT_TRUE(last == res.b || last == res.c ||
              (std::isnan(last) && (std::isnan(res.b) || std::isnan(res.c))))
      << "last evaluation at " << last << ", b = " << res.b << ", c = " << res.c;
}

// For statuses 1, 3 and 4 the interval has collapsed to the tolerance.
void expect_collapsed(const result& res, double rtol, double atol) {
  EXPECT_LE(std::fabs(res.c - res.b), 2 * (rtol * std::fabs(res.b) + atol));
}

// --- the documented cases ---------------------------------------------------

TEST(Dfzero, SecantLandsOnLinearZero) {
  // r at an end: the search starts from c = 8; the ends are swapped and the
  // secant step lands exactly on 1.
  const result res = solve(x_minus_1, -8, 8, -8, 1e-4, 1e-6);
  EXPECT_EQ(res.iflag, 2);
  EXPECT_EQ(res.b, 1.0);
  EXPECT_EQ(res.c, -8.0);
  EXPECT_EQ(res.nfev, 3u);
  EXPECT_EQ(calls[0], 8.0);  // f(z) first, then f(b)
  EXPECT_EQ(calls[1], -8.0);
}

TEST(Dfzero, ReversedEndsWorkTheSame) {
  // b > c: z = c = -8 brackets at once, and the same secant step follows.
  const result res = solve(x_minus_1, 8, -8, 8, 1e-4, 1e-6);
  EXPECT_EQ(res.iflag, 2);
  EXPECT_EQ(res.b, 1.0);
  EXPECT_EQ(res.c, -8.0);
  EXPECT_EQ(res.nfev, 3u);
}

TEST(Dfzero, ZeroAtTheStart) {
  // r outside [b, c]: z = c = 1. f(b) = f(0) = 0 is found by the two
  // start-up evaluations.
  const result res = solve(identity, 0, 1, 5, 1e-4, 1e-6);
  EXPECT_EQ(res.iflag, 2);
  EXPECT_EQ(res.b, 0.0);
  EXPECT_EQ(res.c, 1.0);
  EXPECT_EQ(res.nfev, 2u);
  EXPECT_EQ(calls[0], 1.0);
}

TEST(Dfzero, ZeroAtTheGuess) {
  // r = 0 strictly inside: f(z) = 0 counts as positive against f(b) = -1,
  // so [b, z] is the bracket; the interchange puts b on the zero.
  const result res = solve(identity, -1, 1, 0, 1e-4, 1e-6);
  EXPECT_EQ(res.iflag, 2);
  EXPECT_EQ(res.b, 0.0);
  EXPECT_EQ(res.c, -1.0);
  EXPECT_EQ(res.nfev, 2u);
  EXPECT_EQ(calls[0], 0.0);
  EXPECT_EQ(calls[1], -1.0);
}

TEST(Dfzero, BracketBetweenGuessAndC) {
  // f(z) and f(b) agree in sign, so f(c) is the third start-up evaluation
  // and [z, c] the bracket; the secant from 2 and 10 lands on 5.
  const result res = solve(x_minus_5, 0, 10, 2, 1e-4, 1e-6);
  EXPECT_EQ((std::vector<double>{calls.begin(), calls.begin() + 3}),
            (std::vector<double>{2, 0, 10}));
  EXPECT_EQ(res.iflag, 2);
  EXPECT_EQ(res.b, 5.0);
  EXPECT_EQ(res.c, 2.0);
  EXPECT_EQ(res.nfev, 4u);
}

TEST(Dfzero, ConvergesToFullPrecision) {
  // re = ae = 0: the relative tolerance 2^-51 is in force.
  const result res = solve(cos_minus_x, 0, 1, 0.5, 0, 0);
  EXPECT_EQ(res.iflag, 1);
  EXPECT_NEAR(res.b, dottie, 2 * 2 * eps * dottie);
  expect_collapsed(res, 2 * eps, 0);
  EXPECT_NE(std::signbit(std::cos(res.b) - res.b), std::signbit(std::cos(res.c) - res.c));
  // "About 9" evaluations: superlinear convergence from a bracket of width 1.
  EXPECT_GE(res.nfev, 8u);
  EXPECT_LE(res.nfev, 10u);
  expect_last_evaluation_at_an_end(res);

  // b > c gives the same zero.
  const result reversed = solve(cos_minus_x, 1, 0, 0.5, 0, 0);
  EXPECT_EQ(reversed.iflag, 1);
  EXPECT_NEAR(reversed.b, dottie, 2 * 2 * eps * dottie);
}

TEST(Dfzero, NoSignChange) {
  const result res = solve(square_plus_1, -8, 8, -8, 1e-4, 1e-6);
  EXPECT_EQ(res.iflag, 4);
  EXPECT_LT(std::fabs(res.b), 1e-3);
  expect_collapsed(res, 1e-4, 1e-6);
  expect_last_evaluation_at_an_end(res);
}

TEST(Dfzero, SignChangeAtAPole) {
  const result res = solve(pole_at_1, 0, 3.3, 0, 1e-4, 1e-6);
  EXPECT_EQ(res.iflag, 3);
  expect_collapsed(res, 1e-4, 1e-6);
  // The pole lies between the two ends.
  EXPECT_LE(std::fmin(res.b, res.c), 1.0);
  EXPECT_GE(std::fmax(res.b, res.c), 1.0);
  expect_last_evaluation_at_an_end(res);
}

TEST(Dfzero, GivesUpAfterFiveHundredEvaluations) {
  // A bracket around 0 can never meet a purely relative tolerance.
  const result res = solve(cube, -1, 2, -1, 0, 0);
  EXPECT_EQ(res.iflag, 5);
  EXPECT_EQ(res.nfev, 500u);
  EXPECT_LE(std::fabs(res.b), std::fabs(res.c));
  expect_last_evaluation_at_an_end(res);
}

TEST(Dfzero, NaNEverywhereUsesAllEvaluations) {
  const result res = solve(not_a_number, -8, 8, -8, 1e-4, 1e-6);
  EXPECT_EQ(res.iflag, 5);
  EXPECT_EQ(res.nfev, 500u);
}

TEST(Dfzero, EmptyIntervalEndsAtOnce) {
  // b = c: z = c, width 0, f(b) = f(c): status 4 after the two start-up
  // evaluations ...
  const result res = solve(x_minus_1, 3, 3, 0, 1e-4, 1e-6);
  EXPECT_EQ(res.iflag, 4);
  EXPECT_EQ(res.b, 3.0);
  EXPECT_EQ(res.c, 3.0);
  EXPECT_EQ(res.nfev, 2u);

  // ... even on an exact zero: the collapse test comes before the zero test.
  const result at_zero = solve(x_minus_1, 1, 1, 0, 1e-4, 1e-6);
  EXPECT_EQ(at_zero.iflag, 4);
  EXPECT_EQ(at_zero.b, 1.0);
  EXPECT_EQ(at_zero.nfev, 2u);
}

TEST(Dfzero, ToleranceFloors) {
  const result reference = solve(cos_minus_x, 0, 1, 0.5, 0, 0);
  const std::vector<double> reference_calls = calls;

  // A negative ae counts as 0.
  const result negative_ae = solve(cos_minus_x, 0, 1, 0.5, 0, -1);
  EXPECT_EQ(calls, reference_calls);
  EXPECT_EQ(negative_ae.b, reference.b);
  EXPECT_EQ(negative_ae.c, reference.c);
  EXPECT_EQ(negative_ae.iflag, reference.iflag);

  // An re below 2^-51, zero included, is raised to 2^-51.
  for (const double re : {0.0, 1e-20, -1.0, 4.440892098500626e-16}) {
    SCOPED_TRACE(re);
    const result raised = solve(cos_minus_x, 0, 1, 0.5, re, 0);
    EXPECT_EQ(calls, reference_calls);
    EXPECT_EQ(raised.b, reference.b);
    EXPECT_EQ(raised.iflag, reference.iflag);
  }

  // A larger re is used as given: fewer steps, a wider final interval.
  const result loose = solve(cos_minus_x, 0, 1, 0.5, 1e-4, 0);
  EXPECT_EQ(loose.iflag, 1);
  expect_collapsed(loose, 1e-4, 0);
  EXPECT_NEAR(loose.b, dottie, 2e-4);
  EXPECT_LE(loose.nfev, reference.nfev);
}

TEST(Dfzero, StaysInsideTheStartingInterval) {
  for (const auto f : {cos_minus_x, square_plus_1, pole_at_1, cube}) {
    solve(f, -0.25, 3.3, 0.5, 1e-4, 1e-6);
    for (const double x : calls) {
      EXPECT_GE(x, -0.25);
      EXPECT_LE(x, 3.3);
    }
  }
}

// --- d1mach -------------------------------------------------------------------

// d1mach is evaluated while the program compiles; an index outside 1..5
// does not compile (tests/numeric/compile_fail/d1mach_out_of_bounds.cc).
static_assert(d1mach(1) == std::numeric_limits<double>::min());
static_assert(d1mach(2) == std::numeric_limits<double>::max());
static_assert(d1mach(4) == 2.220446049250313e-16);

TEST(D1mach, IeeeDoubleConstants) {
  EXPECT_EQ(d1mach(1), std::ldexp(1.0, -1022));
  EXPECT_EQ(d1mach(3), std::ldexp(1.0, -53));
  EXPECT_EQ(d1mach(4), std::ldexp(1.0, -52));
  // log10(2) = 0.30102999566398119521..., nearest double (mpmath).
  EXPECT_EQ(d1mach(5), 0x1.34413509f79ffp-2);
}

// The objective may be an object that keeps state of its own: dfzero takes
// it by reference, so what it kept of the last evaluation is the caller's.
TEST(Dfzero, CallableObjectKeepsItsLastEvaluation) {
  struct shifted {
    double shift;
    double last = 0;
    int count = 0;
    double operator()(double x) {
      last = x;
      ++count;
      return x * x * x + x - shift;
    }
  } f{0.3};
  double b = -8;
  double c = 8;
  int iflag = 0;
  dfzero(f, b, c, -8, 1e-4, 1e-6, iflag);
  EXPECT_EQ(iflag, 1);
  EXPECT_NEAR(b * b * b + b, 0.3, 1e-4);
  EXPECT_TRUE(f.last == b || f.last == c);
  EXPECT_GT(f.count, 2);
}

}  // namespace
