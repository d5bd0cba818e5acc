// The exact sphere maximiser against answers found without it. Without
// constraints the best a.w on w'Rw = 1 is sqrt(a'R^-1 a) at R^-1 a scaled
// (Cauchy-Schwarz in R's inner product); one binding constraint d.w >= t
// leaves the ellipse's section d.w = t, whose best has a closed form too;
// two-predictor problems are worked by hand in the comments; the rest come
// from scipy (SLSQP from 400 random starts, the best then polished by
// solving its active set's optimality equations with mpmath at 30 digits:
// tests/pareto/data/sphere_lp_reference.py prints them).
#include "pareto/sphere_lp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <numbers>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "pareto_test_support.h"

namespace {

using pareto::linear_constraint;
using pareto::sign_constraint;
using pareto::sphere_lp;
using pareto_test::at;
using pareto_test::dot;

double quadratic(std::span<const double> r, std::span<const double> w) {
  const std::size_t n = w.size();
  double q = 0;
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j) q += w[i] * r[i * n + j] * w[j];
  }
  return q;
}

// x' R^-1 y by the tests' own elimination.
double through(const std::vector<double>& r, const std::vector<double>& x,
               const std::vector<double>& y) {
  return dot(x, pareto_test::solve(r, static_cast<int>(x.size()), y));
}

// The answer's checks shared by every case: on the sphere, meeting every
// constraint (and the signs), with the value and weights expected.
void expect_answer(const std::vector<double>& r, std::span<const double> c,
                   std::span<const linear_constraint> constraints, bool nonnegative,
                   const std::optional<std::vector<double>>& w, double value,
                   const std::vector<double>& weights, double tol) {
  ASSERT_TRUE(w.has_value());
  ASSERT_EQ(w->size(), weights.size());
  EXPECT_NEAR(quadratic(r, *w), 1, 1e-12);
  for (const linear_constraint& k : constraints) EXPECT_GE(dot(k.l, *w), k.b - 1e-10);
  if (nonnegative) {
    for (const double x : *w) EXPECT_GE(x, 0);
  }
  if (!c.empty()) {
    EXPECT_NEAR(dot(c, *w), value, tol);
  }
  for (std::size_t j = 0; j < weights.size(); ++j) EXPECT_NEAR((*w)[j], weights[j], 1e-9) << j;
}

TEST(SphereLp, WithoutConstraintsTheBestLiesAlongRInverseA) {
  for (int seed = 1; seed <= 18; ++seed) {
    const int n = 1 + seed % 6;
    const pareto_test::problem p = pareto_test::random_problem(n, static_cast<std::uint64_t>(seed),
                                                               pareto_test::effects::mixed);
    // Validities of either sign, so that the best has weights of both.
    std::vector<double> a = p.a;
    for (std::size_t j = 0; j < a.size(); j += 2) a[j] = -a[j] / 2;
    const double top = std::sqrt(through(p.r, a, a));
    std::vector<double> expected = pareto_test::solve(p.r, n, a);
    for (double& x : expected) x /= top;
    const sphere_lp lp(n, p.r, sign_constraint::any);
    EXPECT_EQ(lp.size(), n);
    expect_answer(p.r, a, {}, false, lp.maximise(a, {}), top, expected, 1e-12);
  }
}

TEST(SphereLp, OneBindingConstraintGivesTheEllipsesSection) {
  // On d.w = t the sphere leaves an ellipse; writing x.y for x'R^-1 y, its
  // best a.w is
  //   t (a.d) / (d.d) + sqrt(1 - t^2 / (d.d)) sqrt(a.a - (a.d)^2 / (d.d)),
  // and a threshold above sqrt(d.d), the most d.w has, leaves nothing.
  for (int seed = 1; seed <= 18; ++seed) {
    const int n = 2 + seed % 5;
    const pareto_test::problem p = pareto_test::random_problem(n, static_cast<std::uint64_t>(seed),
                                                               pareto_test::effects::negative);
    const double aa = through(p.r, p.a, p.a);
    const double ad = through(p.r, p.a, p.d);
    const double dd = through(p.r, p.d, p.d);
    const double free_best = ad / std::sqrt(aa);  // d.w at the unconstrained best
    const sphere_lp lp(n, p.r, sign_constraint::any);
    for (const double share : {0.2, 0.5, 0.9}) {
      const double t = free_best + share * (std::sqrt(dd) - free_best);
      const linear_constraint c{p.d, t};
      const double value = t * ad / dd + std::sqrt(1 - t * t / dd) * std::sqrt(aa - ad * ad / dd);
      const std::optional<std::vector<double>> w = lp.maximise(p.a, std::span(&c, 1));
      ASSERT_TRUE(w.has_value()) << seed;
      // Where a and d are nearly parallel (seed 11: (a.d)^2 / (a.a d.d) =
      // 1 - 2.3e-7) the section is thin and the point's rounding larger.
      EXPECT_NEAR(quadratic(p.r, *w), 1, 1e-9) << seed << " " << share;
      EXPECT_NEAR(dot(p.d, *w), t, 1e-10) << seed;
      EXPECT_NEAR(dot(p.a, *w), value, 1e-10) << seed << " " << share;
      // Alone, the constraint's lowest slack is highest along R^-1 d.
      const std::optional<std::vector<double>> most = lp.maximise_lowest(std::span(&c, 1));
      ASSERT_TRUE(most.has_value());
      EXPECT_NEAR(lp.lowest_slack(*most, std::span(&c, 1)), std::sqrt(dd) - t, 1e-12) << seed;
    }
    const linear_constraint beyond{p.d, std::sqrt(dd) * (1 + 1e-6)};
    EXPECT_FALSE(lp.maximise(p.a, std::span(&beyond, 1)).has_value()) << seed;
  }
}

// An objective that is a combination of the active constraints' forms
// (c = -(2 l_1 + l_2)) is the same all along their line: the best is
// wherever that line meets the sphere, though no point there is a
// stationary point with the sphere's multiplier non-zero. Worked by hand:
// with w_1 <= 0.4 and w_2 <= 0.3, 2 w_1 + w_2 <= 1.1, met on the line
// w_1 = 0.4, w_2 = 0.3, which meets w'Rw = 1 where
// w_3^2 + 2 (0.2 * 0.4 + 0.1 * 0.3) w_3 + 0.4^2 + 0.3^2 + 2 * 0.3 * 0.12 - 1 = 0,
// w_3 = (-0.22 +- sqrt(0.22^2 + 4 * 0.678)) / 2. (With R = I and
// c = (1, 1, 0) under w_1, w_2 <= 0.5 the same: 1 at (0.5, 0.5, +-sqrt(0.5)).)
TEST(SphereLp, AnObjectiveAlongTheActiveConstraintsMeetsTheirLine) {
  struct worked {
    std::vector<double> r, c;
    double first, second, value;
  };
  const std::vector<worked> cases{
      {{1, 0.3, 0.2, 0.3, 1, 0.1, 0.2, 0.1, 1}, {2, 1, 0}, 0.4, 0.3, 1.1},
      {{1, 0, 0, 0, 1, 0, 0, 0, 1}, {1, 1, 0}, 0.5, 0.5, 1},
      // Nearly tangent: the line meets the sphere at w_3 = +-0.0242.
      {{1, 0, 0, 0, 1, 0, 0, 0, 1}, {1, 1, 0}, 0.7069, 0.7069, 1.4138},
  };
  for (const worked& k : cases) {
    const std::vector<linear_constraint> limits{{{-1, 0, 0}, -k.first}, {{0, -1, 0}, -k.second}};
    const sphere_lp lp(3, k.r, sign_constraint::any);
    const std::optional<std::vector<double>> w = lp.maximise(k.c, limits);
    ASSERT_TRUE(w.has_value()) << k.value;
    EXPECT_NEAR(quadratic(k.r, *w), 1, 1e-12);
    EXPECT_NEAR(dot(k.c, *w), k.value, 1e-12);
    EXPECT_NEAR((*w)[0], k.first, 1e-12);
    EXPECT_NEAR((*w)[1], k.second, 1e-12);
    const double half = k.r[2] * k.first + k.r[5] * k.second;
    const double rest = k.first * k.first + k.second * k.second + 2 * k.r[1] * k.first * k.second - 1;
    const double root = std::sqrt(half * half - rest);
    EXPECT_TRUE(std::fabs((*w)[2] - (-half + root)) < 1e-12 ||
                std::fabs((*w)[2] - (-half - root)) < 1e-12)
        << (*w)[2];
  }
}

// The same with a line of general direction: u_1 = (1, 2, 2) / 3 and
// u_2 = (2, -1, 2) / 3 (R = I), u_1.w <= 0.3, u_2.w <= 0.4, c = u_1 + u_2:
// c.w <= 0.7, met on the line u_1.w = 0.3, u_2.w = 0.4, whose point nearest
// the origin has |w|^2 = (81 / 65)(0.3^2 + 0.4^2 - 2 (4 / 9) 0.3 * 0.4) =
// 0.179 < 1 (u_1.u_2 = 4 / 9): it meets the sphere.
TEST(SphereLp, AnObjectiveAlongTwoConstraintsMeetsTheirLineInAnyDirection) {
  const std::vector<double> r{1, 0, 0, 0, 1, 0, 0, 0, 1};
  const std::vector<linear_constraint> limits{{{-1.0 / 3, -2.0 / 3, -2.0 / 3}, -0.3},
                                              {{-2.0 / 3, 1.0 / 3, -2.0 / 3}, -0.4}};
  const std::vector<double> c{1, 1.0 / 3, 4.0 / 3};
  const sphere_lp lp(3, r, sign_constraint::any);
  const std::optional<std::vector<double>> w = lp.maximise(c, limits);
  ASSERT_TRUE(w.has_value());
  EXPECT_NEAR(quadratic(r, *w), 1, 1e-12);
  EXPECT_NEAR(dot(c, *w), 0.7, 1e-12);
  EXPECT_NEAR(dot(limits[0].l, *w), -0.3, 1e-12);
  EXPECT_NEAR(dot(limits[1].l, *w), -0.4, 1e-12);
}

// The same with fewer active constraints than the line needs: the best
// of c = -l under l.w >= b is -b, met wherever l.w = b on the sphere, a
// set of more than two points. Worked by hand: w_1 <= 0.5 and w_1 <= 0.8
// with c = e_1 (R = I, four weights), and 2 w_1 + w_2 <= 1 with
// c = (2, 1, 0) (R correlated); every plane passes within the sphere (the
// first two at distances 0.5 and 0.8; the third at 1 / sqrt(l'R^-1 l) < 1,
// l'R^-1 l = 4.36).
TEST(SphereLp, AnObjectiveAlongOneActiveConstraintMeetsItsPlane) {
  struct worked {
    int n;
    std::vector<double> r, c, l;
    double b;
  };
  const std::vector<worked> cases{
      {4, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, {1, 0, 0, 0}, {-1, 0, 0, 0}, -0.5},
      {4, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, {1, 0, 0, 0}, {-1, 0, 0, 0}, -0.8},
      {3, {1, 0.3, 0.2, 0.3, 1, 0.1, 0.2, 0.1, 1}, {2, 1, 0}, {-2, -1, 0}, -1},
  };
  for (const worked& k : cases) {
    const linear_constraint limit{k.l, k.b};
    const sphere_lp lp(k.n, k.r, sign_constraint::any);
    const std::optional<std::vector<double>> w = lp.maximise(k.c, std::span(&limit, 1));
    ASSERT_TRUE(w.has_value()) << k.n;
    EXPECT_NEAR(quadratic(k.r, *w), 1, 1e-12);
    EXPECT_NEAR(dot(k.c, *w), -k.b, 1e-12);
  }
}

// Planes that are almost one: w_1 <= 0.5 with w_1 +- 1e-3 w_2 <= 0.5
// (R = I, c = e_1). The best is 0.5, met only where w_1 = 0.5 and w_2 = 0,
// with w_3^2 + w_4^2 = 0.75: the direction that carries the set's point
// nearest the origin, (0.5, 0, 0, 0), onto the sphere must leave the tilted
// planes' values as they are too (e_3 or e_4), however small their tilt;
// along e_2 one of them is missed either way.
TEST(SphereLp, AnObjectiveAlongPlanesAlmostAlikeKeepsToTheirMeeting) {
  const std::vector<double> r{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  const std::vector<double> c{1, 0, 0, 0};
  for (const double tilt : {1e-3, 1e-6}) {
    const std::vector<linear_constraint> planes{
        {{-1, 0, 0, 0}, -0.5}, {{-1, -tilt, 0, 0}, -0.5}, {{-1, tilt, 0, 0}, -0.5}};
    const sphere_lp lp(4, r, sign_constraint::any);
    const std::optional<std::vector<double>> w = lp.maximise(c, planes);
    ASSERT_TRUE(w.has_value()) << tilt;
    EXPECT_NEAR(quadratic(r, *w), 1, 1e-12);
    EXPECT_NEAR(dot(c, *w), 0.5, 1e-12);
    EXPECT_NEAR((*w)[1], 0, 1e-10);
    EXPECT_NEAR((*w)[2] * (*w)[2] + (*w)[3] * (*w)[3], 0.75, 1e-12);
  }
}

TEST(SphereLp, NonNegativeWeightsStopAtAFace) {
  // R = [1 .8; .8 1], a = (1, .797): R^-1 a = (1 - .8 * .797, .797 - .8) /
  // .36 = (1.00667, -.00833), so the free best has a slightly negative
  // second weight, and a'R^-1 a = (1 - 1.6 * .797 + .797^2) / .36 =
  // .360009 / .36. With non-negative weights a.w / sqrt(w'Rw) falls from
  // the free best along the ellipse, so the best is the face w = (1, 0),
  // value 1.
  const std::vector<double> r{1, 0.8, 0.8, 1};
  const std::vector<double> a{1, 0.797};
  const double free_value = std::sqrt(0.360009 / 0.36);
  const sphere_lp any(2, r, sign_constraint::any);
  const sphere_lp nonnegative(2, r, sign_constraint::nonnegative);
  EXPECT_NEAR(dot(a, *any.maximise(a, {})), free_value, 1e-13);
  expect_answer(r, a, {}, true, nonnegative.maximise(a, {}), 1, {1, 0}, 1e-15);
  // w0 - w1 >= .95 holds at (1, 0). Both weights positive, it binds at
  // w1 = (-3.42 + sqrt(3.42^2 + 4 * 3.6 * .0975)) / 7.2 = .02771 (from
  // (w1 + .95)^2 + 1.6 w1 (w1 + .95) + w1^2 = 1), w0 = .97771, where
  // a.w = .99980: within a tenth of the face's 1, which must still win.
  const linear_constraint gap{{1, -1}, 0.95};
  expect_answer(r, a, std::span(&gap, 1), true, nonnegative.maximise(a, std::span(&gap, 1)), 1,
                {1, 0}, 1e-15);
  // The free best meets it (w0 - w1 = 1.015 / 1.0000125 there) and
  // stays the answer with free signs.
  EXPECT_NEAR(dot(a, *any.maximise(a, std::span(&gap, 1))), free_value, 1e-13);
  // The best with one weight only, where the other's direction would
  // lower the value: a = (.5, -.2) and non-negative weights give (1, 0).
  const std::vector<double> b{0.5, -0.2};
  expect_answer(r, b, {}, true, nonnegative.maximise(b, {}), 0.5, {1, 0}, 1e-15);
}

// The problems of tests/pareto/data/sphere_lp_reference.py.
const std::vector<double> r3{1, .3, .2, .3, 1, .4, .2, .4, 1};
const std::vector<double> a3{.40, .30, .25};
const std::vector<linear_constraint> three{
    {{-.5, .2, .8}, .3}, {{.6, -.9, .1}, .05}, {{-.3, .7, -.2}, -.25}};
const std::vector<linear_constraint> two{{{-.5, .2, .8}, .3}, {{.6, -.9, .1}, -.2}};
const std::vector<double> r4{1, .5, .3, .1, .5, 1, .4, .2, .3, .4, 1, .6, .1, .2, .6, 1};
const std::vector<double> a4{.35, .20, .30, -.10};
const std::vector<linear_constraint> four{
    {{-.4, .3, .6, -.2}, .35}, {{.5, -.8, .2, .3}, .1}, {{.1, .2, -.7, .5}, -.3}};
const std::vector<double> b4{.35, .20, .30, -.30};
const std::vector<linear_constraint> four_two{{{-.4, .3, .6, -.2}, .3}, {{.5, -.8, .2, .3}, 0}};

TEST(SphereLp, SeveralConstraintsMeetTheOutsideOptimiser) {
  for (const auto signs : {sign_constraint::any, sign_constraint::nonnegative}) {
    const bool nonnegative = signs == sign_constraint::nonnegative;
    // Two of the three constraints bind, both weights sets alike.
    expect_answer(r3, a3, three, nonnegative, sphere_lp(3, r3, signs).maximise(a3, three),
                  0.42610053529242818724,
                  {0.46198027184445929, 0.31736424875346406, 0.58439660771442099}, 1e-12);
    // All three bind: the line of the span is cut by three equations.
    const sphere_lp lp4(4, r4, signs);
    expect_answer(
        r4, a4, four, nonnegative, lp4.maximise(a4, four), 0.29642121818223701834,
        {0.19923553644360874, 0.23683346276504447, 0.6616502414655695, 0.19172984565705772}, 1e-12);
    // Free signs leave both constraints slack at sqrt(b'R^-1 b); the
    // non-negative best has one binding and the last weight at 0.
    if (nonnegative) {
      expect_answer(r4, b4, four_two, true, lp4.maximise(b4, four_two), 0.38557642554395098499,
                    {0.42336029621139538, 0.054565252553670662, 0.75495757119742828, 0}, 1e-12);
    } else {
      expect_answer(
          r4, b4, four_two, false, lp4.maximise(b4, four_two), 0.70432622642593430236,
          {0.34445626608316527, -0.069470171310890445, 0.9660695697920706, -1.026132322071278},
          1e-12);
    }
  }
}

TEST(SphereLp, TheHighestLowestSlackMeetsTheOutsideOptimiser) {
  struct reference {
    sign_constraint signs;
    double value;
    std::vector<double> w;
  };
  for (const reference& c :
       {reference{sign_constraint::any,
                  0.59059253524052936576,
                  {-0.29033203346809391, -0.50985236811683825, 1.0592462401623125}},
        reference{sign_constraint::nonnegative,
                  0.38860590332490722235,
                  {0.15476251382534915, 0, 0.95748395029697718}}}) {
    const sphere_lp lp(3, r3, c.signs);
    const std::optional<std::vector<double>> w = lp.maximise_lowest(two);
    expect_answer(r3, {}, {}, c.signs == sign_constraint::nonnegative, w, 0, c.w, 0);
    EXPECT_NEAR(lp.lowest_slack(*w, two), c.value, 1e-12);
  }
  for (const reference& c :
       {reference{
            sign_constraint::any,
            0.056952338959767030904,
            {-0.41628359800399548, -0.1063820732891071, 0.62592614722530048, 0.51601083295139664}},
        reference{sign_constraint::nonnegative,
                  0.029853080660950343366,
                  {0, 0.14168165979076083, 0.68111025689012923, 0.35658785705177724}}}) {
    const sphere_lp lp(4, r4, c.signs);
    const std::optional<std::vector<double>> w = lp.maximise_lowest(four);
    expect_answer(r4, {}, {}, c.signs == sign_constraint::nonnegative, w, 0, c.w, 0);
    EXPECT_NEAR(lp.lowest_slack(*w, four), c.value, 1e-12);
  }
}

TEST(SphereLp, TheLowestSlackOfTwoAxes) {
  // R = I, slacks w0 - .2 and w1: the highest lowest has them equal,
  // w0 = w1 + .2 on the circle: 2 w1^2 + .4 w1 - .96 = 0, w1 = (-.4 +
  // sqrt(.16 + 7.68)) / 4 = .6, w0 = .8. A third constraint slack there
  // (w0 + w1 >= 0) changes nothing; none at all leaves nothing to do.
  const std::vector<double> r{1, 0, 0, 1};
  const std::vector<linear_constraint> axes{{{1, 0}, .2}, {{0, 1}, 0}, {{1, 1}, 0}};
  for (const auto signs : {sign_constraint::any, sign_constraint::nonnegative}) {
    const sphere_lp lp(2, r, signs);
    const std::optional<std::vector<double>> w = lp.maximise_lowest(axes);
    expect_answer(r, {}, {}, false, w, 0, {.8, .6}, 0);
    EXPECT_NEAR(lp.lowest_slack(*w, axes), .6, 1e-15);
    EXPECT_FALSE(lp.maximise_lowest({}).has_value());
  }
  // lowest_slack is the least of l.w - b: at (.8, .6) .6, .6 and 1.4.
  const sphere_lp lp(2, r, sign_constraint::any);
  const std::vector<double> w{.8, .6};
  EXPECT_NEAR(lp.lowest_slack(w, axes), .6, 1e-15);
  EXPECT_EQ(lp.lowest_slack(w, {}), std::numeric_limits<double>::infinity());
}

TEST(SphereLp, ConstraintsThatNoWeightingMeetsLeaveNone) {
  // On the unit circle w0 >= .8 and w1 >= .8 cannot both hold (.64 + .64
  // > 1), each alone can.
  const std::vector<double> r{1, 0, 0, 1};
  const std::vector<linear_constraint> apart{{{1, 0}, .8}, {{0, 1}, .8}};
  const std::vector<double> c{1, 1};
  for (const auto signs : {sign_constraint::any, sign_constraint::nonnegative}) {
    const sphere_lp lp(2, r, signs);
    EXPECT_FALSE(lp.maximise(c, apart).has_value());
    EXPECT_TRUE(lp.maximise(c, std::span(apart).subspan(0, 1)).has_value());
    EXPECT_FALSE(lp.feasible(apart));
    EXPECT_TRUE(lp.feasible(std::span(apart).subspan(0, 1)));
    EXPECT_TRUE(lp.feasible({}));
  }
  // With non-negative weights w0 - w1 >= 1.0001 is out of reach (at most
  // 1, at (1, 0)); free signs reach sqrt(2).
  const linear_constraint split{{1, -1}, 1.0001};
  EXPECT_FALSE(
      sphere_lp(2, r, sign_constraint::nonnegative).maximise(c, std::span(&split, 1)).has_value());
  EXPECT_TRUE(sphere_lp(2, r, sign_constraint::any).maximise(c, std::span(&split, 1)).has_value());
  EXPECT_FALSE(sphere_lp(2, r, sign_constraint::nonnegative).feasible(std::span(&split, 1)));
  EXPECT_TRUE(sphere_lp(2, r, sign_constraint::any).feasible(std::span(&split, 1)));
}

// Random problems of two and three predictors against a dense cover of the
// sphere: every ray of a fine lattice of directions (a circle's angles; a
// Fibonacci lattice of the sphere) scaled onto w'Rw = 1. No point of the
// cover that meets the constraints (and the signs) may beat the answer,
// and where there is none, no point of the cover may meet them with room
// to spare. Objectives and constraints of either sign, thresholds around
// a random weighting's values (some out of reach), so that the best lies
// on every kind of face, edge and vertex, or nowhere.
TEST(SphereLp, NoWeightingOfADenseCoverBeatsTheMaximiser) {
  constexpr int directions = 60000;
  int answered = 0;
  int refused = 0;
  for (const int n : {2, 3}) {
    std::vector<std::vector<double>> cover;
    for (int i = 0; i < directions; ++i) {
      if (n == 2) {
        const double t = 2 * std::numbers::pi * i / directions;
        cover.push_back({std::cos(t), std::sin(t)});
      } else {
        const double z = 1 - (2 * i + 1.0) / directions;
        const double rho = std::sqrt(1 - z * z);
        const double t = std::numbers::pi * (3 - std::sqrt(5.0)) * i;
        cover.push_back({rho * std::cos(t), rho * std::sin(t), z});
      }
    }
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
      const pareto_test::problem p =
          pareto_test::random_problem(n, 100 + seed, pareto_test::effects::mixed);
      pareto_test::random_source rnd(7000 + 10 * static_cast<std::uint64_t>(n) + seed);
      for (const auto signs : {sign_constraint::any, sign_constraint::nonnegative}) {
        const bool nonnegative = signs == sign_constraint::nonnegative;
        std::vector<double> c(at(n));
        for (double& x : c) x = rnd.uniform(-1, 1);
        std::vector<double> w0(at(n));
        for (double& x : w0) x = nonnegative ? rnd.uniform() : rnd.uniform(-1, 1);
        const double scale = 1 / std::sqrt(quadratic(p.r, w0));
        for (double& x : w0) x *= scale;
        std::vector<linear_constraint> constraints(at(1 + rnd.below(3)));
        for (linear_constraint& k : constraints) {
          k.l.resize(at(n));
          for (double& x : k.l) x = rnd.uniform(-1, 1);
          k.b = dot(k.l, w0) - rnd.uniform(-0.05, 0.3);
        }
        const std::optional<std::vector<double>> w =
            sphere_lp(n, p.r, signs).maximise(c, constraints);
        const double value = w ? dot(c, *w) : -std::numeric_limits<double>::infinity();
        if (w) {
          ++answered;
          EXPECT_NEAR(quadratic(p.r, *w), 1, 1e-12);
          for (const linear_constraint& k : constraints) EXPECT_GE(dot(k.l, *w), k.b - 1e-10);
        } else {
          ++refused;
        }
        double best_met = -std::numeric_limits<double>::infinity();
        double roomiest = -std::numeric_limits<double>::infinity();
        for (const std::vector<double>& u : cover) {
          if (nonnegative && std::any_of(u.begin(), u.end(), [](double x) { return x < 0; }))
            continue;
          const double size = std::sqrt(quadratic(p.r, u));
          std::vector<double> x = u;
          for (double& y : x) y /= size;
          double slack = std::numeric_limits<double>::infinity();
          for (const linear_constraint& k : constraints) slack = std::min(slack, dot(k.l, x) - k.b);
          roomiest = std::max(roomiest, slack);
          if (slack >= 0) best_met = std::max(best_met, dot(c, x));
        }
        EXPECT_LE(best_met, value + 1e-12) << "n " << n << " seed " << seed << " nonnegative "
                                            << nonnegative;
        // And the highest lowest slack (the far end's search asks it).
        const sphere_lp lp(n, p.r, signs);
        const std::optional<std::vector<double>> top = lp.maximise_lowest(constraints);
        ASSERT_TRUE(top.has_value());
        EXPECT_NEAR(quadratic(p.r, *top), 1, 1e-12);
        EXPECT_LE(roomiest, lp.lowest_slack(*top, constraints) + 1e-12)
            << "n " << n << " seed " << seed << " nonnegative " << nonnegative;
        if (!w) {
          EXPECT_LT(roomiest, 1e-9) << "n " << n << " seed " << seed;
        }
        // Whether any weighting meets them, asked alone, agrees.
        EXPECT_EQ(lp.feasible(constraints), w.has_value()) << "n " << n << " seed " << seed;
      }
    }
  }
  // The draw reaches both outcomes.
  EXPECT_GT(answered, 100);
  EXPECT_GT(refused, 5);
}

// A searcher keeps one work space from call to call (and visits the last
// maximiser's support first): a run of calls of every kind, with more and
// fewer constraints in turn, answers each as a fresh maximiser does.
TEST(SphereLp, ASearcherThatKeepsItsWorkSpaceAnswersAsAFreshOne) {
  int compared = 0;
  for (const int n : {2, 4, 6}) {
    const pareto_test::problem p =
        pareto_test::random_problem(n, 500 + static_cast<std::uint64_t>(n), pareto_test::effects::mixed);
    for (const auto signs : {sign_constraint::any, sign_constraint::nonnegative}) {
      const sphere_lp lp(n, p.r, signs);
      pareto::sphere_lp_searcher searcher(lp);
      pareto_test::random_source rnd(9100 + static_cast<std::uint64_t>(n));
      for (int call = 0; call < 60; ++call) {
        std::vector<double> c(at(n));
        for (double& x : c) x = rnd.uniform(-1, 1);
        std::vector<linear_constraint> constraints(at(static_cast<int>(rnd.below(5))));
        for (linear_constraint& k : constraints) {
          k.l.resize(at(n));
          for (double& x : k.l) x = rnd.uniform(-1, 1);
          k.b = rnd.uniform(-0.6, 0.4);
        }
        const std::string where = "n " + std::to_string(n) + " call " + std::to_string(call);
        switch (call % 3) {
          case 0: {
            const auto kept = searcher.maximise(c, constraints);
            const auto fresh = lp.maximise(c, constraints);
            ASSERT_EQ(kept.has_value(), fresh.has_value()) << where;
            if (fresh) {
              EXPECT_NEAR(dot(c, *kept), dot(c, *fresh), 1e-12) << where;
            }
            break;
          }
          case 1: {
            const auto kept = searcher.maximise_lowest(constraints);
            const auto fresh = lp.maximise_lowest(constraints);
            ASSERT_EQ(kept.has_value(), fresh.has_value()) << where;
            if (fresh) {
              EXPECT_NEAR(lp.lowest_slack(*kept, constraints), lp.lowest_slack(*fresh, constraints),
                          1e-12)
                  << where;
            }
            break;
          }
          default:
            EXPECT_EQ(searcher.feasible(constraints), lp.feasible(constraints)) << where;
        }
        ++compared;
      }
    }
  }
  EXPECT_EQ(compared, 360);
}

TEST(SphereLp, RefusesWhatIsNotACorrelationMatrixOfItsSize) {
  const std::vector<double> identity{1, 0, 0, 1};
  EXPECT_THROW(sphere_lp(0, {}, sign_constraint::any), std::invalid_argument);
  EXPECT_THROW(sphere_lp(3, identity, sign_constraint::any), std::invalid_argument);
  for (const auto signs : {sign_constraint::any, sign_constraint::nonnegative}) {
    const std::vector<double> singular{1, 1, 1, 1};
    EXPECT_THROW(sphere_lp(2, singular, signs), std::invalid_argument);
    // Positive definite on every pair, not on the three.
    const std::vector<double> indefinite{1, .9, .9, .9, 1, -.9, .9, -.9, 1};
    EXPECT_THROW(sphere_lp(3, indefinite, signs), std::invalid_argument);
  }
  // Every support of 21 non-negative weights would be 2^21 factorisations.
  std::vector<double> big(std::size_t{21} * 21, 0.0);
  for (std::size_t j = 0; j < 21; ++j) big[j * 21 + j] = 1;
  EXPECT_THROW(sphere_lp(21, big, sign_constraint::nonnegative), std::invalid_argument);
  EXPECT_NO_THROW(sphere_lp(21, big, sign_constraint::any));
}

TEST(GaussSolve, SolvesWithRowExchangesAndRefusesDependentRows) {
  // A zero first pivot: [0 2 1; 1 1 1; 2 1 3] x = (-1, 2, 9) has x = (1,
  // -2, 3) (0 - 4 + 3, 1 - 2 + 3, 2 - 2 + 9).
  std::vector<double> a{0, 2, 1, 1, 1, 1, 2, 1, 3};
  std::vector<double> b{-1, 2, 9};
  ASSERT_TRUE(pareto::gauss_solve(a, b, 3));
  EXPECT_NEAR(b[0], 1, 1e-15);
  EXPECT_NEAR(b[1], -2, 1e-15);
  EXPECT_NEAR(b[2], 3, 1e-15);
  // A row a million times smaller than the other is no dependence: the
  // second pivot, 2e-6 - 4e-6 / 3 = 6.7e-7, is far above 1e-13 of the
  // largest entry. x = (1, 1).
  a = {1e-6, 2e-6, 3, 4};
  b = {3e-6, 7};
  ASSERT_TRUE(pareto::gauss_solve(a, b, 2));
  EXPECT_NEAR(b[0], 1, 1e-9);
  EXPECT_NEAR(b[1], 1, 1e-9);
  // Dependent rows, and nothing at all.
  a = {1, 2, 2, 4};
  b = {1, 2};
  EXPECT_FALSE(pareto::gauss_solve(a, b, 2));
  a = {0, 0, 0, 0};
  EXPECT_FALSE(pareto::gauss_solve(a, b, 2));
}

}  // namespace
