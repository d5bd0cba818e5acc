// Newton's method on a level's optimality conditions, on problems whose
// answer is known: the best a.w on the unit sphere where b.w / |w| = t has
// the closed form t (a.b) + sqrt(1 - t^2) |a - (a.b) b| (b of unit length),
// and under a general R the exact sphere maximiser of sphere_lp.h (an
// enumeration that shares no code with it) gives the answer for a
// constraint that binds. Weights held at 0 leave the same closed form on
// the others; the order of convergence is read from the errors after one
// and two steps from a point of the surface near the answer.
#include "pareto/kkt_newton.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "pareto/sphere_lp.h"
#include "pareto_test_support.h"

namespace {

using pareto_test::dot;

// x.w / sqrt(w'Rw) and its gradient (x - value Rw / sigma) / sigma.
struct on_sphere {
  double value;
  std::vector<double> gradient;
};

on_sphere standardised(std::span<const double> r, std::span<const double> x,
                       std::span<const double> w) {
  const std::size_t n = w.size();
  std::vector<double> rw(n, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j) rw[i] += r[i * n + j] * w[j];
  }
  const double sigma = std::sqrt(dot(w, rw));
  on_sphere out{dot(x, w) / sigma, std::vector<double>(n)};
  for (std::size_t j = 0; j < n; ++j) out.gradient[j] = (x[j] - out.value * rw[j] / sigma) / sigma;
  return out;
}

// q = a.w / sigma subject to (b.w / sigma)^3 = t^3: the same surface as
// b.w / sigma = t, curved, so that Newton's step must carry its curvature.
pareto::kkt_problem cubed(std::span<const double> r, const std::vector<double>& a,
                          const std::vector<double>& b, double t) {
  pareto::kkt_problem p;
  p.r = r;
  p.free.assign(a.size(), true);
  p.constraints = 1;
  p.values = [=](std::span<const double> w) -> std::optional<std::vector<double>> {
    const double s = standardised(r, b, w).value;
    return std::vector<double>{standardised(r, a, w).value, s * s * s - t * t * t};
  };
  p.derivatives = [=](std::span<const double> w) -> std::optional<pareto::values_and_gradients> {
    const on_sphere q = standardised(r, a, w);
    on_sphere s = standardised(r, b, w);
    std::vector<double> g = s.gradient;
    for (double& x : g) x *= 3 * s.value * s.value;
    return pareto::values_and_gradients{{q.value, s.value * s.value * s.value - t * t * t},
                                        {q.gradient, g}};
  };
  return p;
}

TEST(KktNewton, ReachesTheClosedFormOnTheUnitSphere) {
  const std::vector<double> r = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  const std::vector<double> a = {0.6, 0.3, 0.2};
  const double norm = std::sqrt(0.25 + 0.49 + 0.04);
  const std::vector<double> b = {0.5 / norm, -0.7 / norm, 0.2 / norm};
  const double ab = dot(a, b);
  double perp = 0;
  for (std::size_t j = 0; j < 3; ++j) perp += (a[j] - ab * b[j]) * (a[j] - ab * b[j]);
  perp = std::sqrt(perp);
  // Levels above the unconstrained best's b.w / |w|, so that the
  // constraint binds, from starts near b and far from it.
  for (const double t : {0.3, 0.6, 0.9}) {
    for (const std::vector<double>& start :
         {std::vector<double>{0.5, -0.6, 0.3}, std::vector<double>{0.7, 0.1, 0.1}}) {
      const pareto::kkt_end end = pareto::kkt_newton(cubed(r, a, b, t), start, 20);
      ASSERT_TRUE(end.ok) << t;
      EXPECT_NEAR(dot(end.w, end.w), 1, 1e-14);
      EXPECT_NEAR(dot(a, end.w), t * ab + std::sqrt(1 - t * t) * perp, 1e-12) << t;
      EXPECT_NEAR(dot(b, end.w), t, 1e-12) << t;
      ASSERT_EQ(end.lambda.size(), 1U);
      EXPECT_GT(end.lambda[0], 0) << t;  // the level holds the maximum back
    }
  }
}

TEST(KktNewton, MeetsTheExactSphereMaximiserUnderCorrelatedWeights) {
  for (int seed = 1; seed <= 12; ++seed) {
    const int n = 3 + seed % 3;
    const pareto_test::problem p = pareto_test::random_problem(n, static_cast<std::uint64_t>(seed),
                                                               pareto_test::effects::negative);
    const pareto::sphere_lp lp(n, p.r, pareto::sign_constraint::any);
    const std::vector<double> top = *lp.maximise(p.a, {});
    // A level halfway between the best weighting's effect and the highest
    // effect any weighting has: the constraint binds.
    std::vector<double> minus_d = p.d;
    for (double& x : minus_d) x = -x;
    const std::vector<double> highest = *lp.maximise(minus_d, {});
    const double t = (dot(p.d, top) + dot(p.d, highest)) / 2;
    const pareto::linear_constraint c{minus_d, -t};
    const std::vector<double> exact = *lp.maximise(p.a, std::span(&c, 1));
    const pareto::kkt_end end = pareto::kkt_newton(cubed(p.r, p.a, p.d, t), top, 30);
    ASSERT_TRUE(end.ok) << seed;
    EXPECT_NEAR(dot(p.a, end.w), dot(p.a, exact), 1e-11) << seed;
    EXPECT_NEAR(dot(p.d, end.w), t, 1e-11) << seed;
  }
}

TEST(KktNewton, AWeightThatReachesZeroEndsTheSteps) {
  // The best a.w on the unit sphere with every weight free is a / |a|,
  // which has a negative weight: from the positive orthant the steps stop
  // where that weight reaches 0.
  const std::vector<double> r = {1, 0, 0, 1};
  pareto::kkt_problem p;
  p.r = r;
  p.free = {true, true};
  p.nonnegative = true;
  const std::vector<double> a = {1, -0.5};
  p.values = [&](std::span<const double> w) -> std::optional<std::vector<double>> {
    return std::vector<double>{standardised(r, a, w).value};
  };
  p.derivatives = [&](std::span<const double> w) -> std::optional<pareto::values_and_gradients> {
    const on_sphere q = standardised(r, a, w);
    return pareto::values_and_gradients{{q.value}, {q.gradient}};
  };
  const pareto::kkt_end end = pareto::kkt_newton(p, {0.3, 0.7}, 20);
  ASSERT_TRUE(end.ok);
  EXPECT_EQ(end.stopped_at, 1);
  EXPECT_EQ(end.w[1], 0);
  EXPECT_NEAR(end.w[0], 1, 1e-15);
}

// q = a.w / |w| subject to b.w / |w| = t on R = I, without the cube: the
// plain level.
pareto::kkt_problem level(std::span<const double> r, const std::vector<double>& a,
                          const std::vector<double>& b, double t, std::vector<bool> free) {
  pareto::kkt_problem p;
  p.r = r;
  p.free = std::move(free);
  p.constraints = 1;
  p.values = [=](std::span<const double> w) -> std::optional<std::vector<double>> {
    return std::vector<double>{standardised(r, a, w).value, standardised(r, b, w).value - t};
  };
  p.derivatives = [=](std::span<const double> w) -> std::optional<pareto::values_and_gradients> {
    const on_sphere q = standardised(r, a, w);
    const on_sphere s = standardised(r, b, w);
    return pareto::values_and_gradients{{q.value, s.value - t}, {q.gradient, s.gradient}};
  };
  return p;
}

// The best a.w on the unit sphere of the weights `on` (the others 0) where
// b.w = t: with a and b cut to those weights, b' = b / |b| and s = t / |b|,
// it is s b' + sqrt(1 - s^2) (a - (a.b') b') / |a - (a.b') b'|.
std::vector<double> closed_form(std::vector<double> a, std::vector<double> b, double t,
                                const std::vector<bool>& on) {
  for (std::size_t j = 0; j < a.size(); ++j) {
    if (!on[j]) a[j] = b[j] = 0;
  }
  const double nb = std::sqrt(dot(b, b));
  for (double& x : b) x /= nb;
  const double s = t / nb;
  const double ab = dot(a, b);
  std::vector<double> perp(a.size());
  for (std::size_t j = 0; j < a.size(); ++j) perp[j] = a[j] - ab * b[j];
  const double np = std::sqrt(dot(perp, perp));
  std::vector<double> w(a.size());
  for (std::size_t j = 0; j < a.size(); ++j) w[j] = s * b[j] + std::sqrt(1 - s * s) * perp[j] / np;
  return w;
}

double distance(const std::vector<double>& x, const std::vector<double>& y) {
  double s = 0;
  for (std::size_t j = 0; j < x.size(); ++j) s += (x[j] - y[j]) * (x[j] - y[j]);
  return std::sqrt(s);
}

TEST(KktNewton, AWeightThatReachesZeroStopsTheClimbWhereItCrosses) {
  // Three weights on R = I and q = a.w / |w| with a = (1, .5, -.6): the
  // free best a / |a| has a negative third weight, so from inside the
  // orthant the climb crosses w3 = 0 and ends there, higher than it
  // started, with the other weights still positive, and no weighting it
  // tried on the way (the ends of its steps, where q is asked for) left
  // the orthant.
  const std::vector<double> r = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  const std::vector<double> a = {1, 0.5, -0.6};
  double least = 0;
  pareto::kkt_problem p;
  p.r = r;
  p.free = {true, true, true};
  p.nonnegative = true;
  p.values = [&](std::span<const double> w) -> std::optional<std::vector<double>> {
    for (const double x : w) least = std::min(least, x);
    return std::vector<double>{standardised(r, a, w).value};
  };
  p.derivatives = [&](std::span<const double> w) -> std::optional<pareto::values_and_gradients> {
    const on_sphere q = standardised(r, a, w);
    return pareto::values_and_gradients{{q.value}, {q.gradient}};
  };
  for (const std::vector<double>& start :
       {std::vector<double>{0.4, 0.3, 0.2}, std::vector<double>{0.2, 0.6, 0.1},
        std::vector<double>{0.7, 0.1, 0.05}}) {
    least = 0;
    const pareto::kkt_end end = pareto::kkt_newton(p, start, 20);
    ASSERT_TRUE(end.ok);
    EXPECT_EQ(end.stopped_at, 2);
    EXPECT_EQ(end.w[2], 0);
    EXPECT_GT(end.w[0], 0);
    EXPECT_GT(end.w[1], 0);
    EXPECT_NEAR(dot(end.w, end.w), 1, 1e-14);
    EXPECT_GT(dot(a, end.w), standardised(r, a, start).value);
    EXPECT_EQ(least, 0);
  }
}

TEST(KktNewton, AClimbStaysNearItsStart) {
  // q = cos(5 theta), theta the angle of w = (cos theta, sin theta): a
  // maximum every 2 pi / 5 and a minimum halfway between. From theta =
  // 0.5, past the middle of the slope between the minimum at pi / 5 and
  // the maximum at 0, the Hessian is positive and the shifted Newton step
  // long; bounded steps keep the climb on its own slope, to theta = 0,
  // rather than across the minimum at -pi / 5 to the maximum at -2 pi / 5
  // (a local search started at a lead refines that lead).
  const std::vector<double> r = {1, 0, 0, 1};
  pareto::kkt_problem p;
  p.r = r;
  p.free = {true, true};
  p.values = [](std::span<const double> w) -> std::optional<std::vector<double>> {
    return std::vector<double>{std::cos(5 * std::atan2(w[1], w[0]))};
  };
  p.derivatives = [](std::span<const double> w) -> std::optional<pareto::values_and_gradients> {
    const double theta = std::atan2(w[1], w[0]);
    const double slope = -5 * std::sin(5 * theta) / (w[0] * w[0] + w[1] * w[1]);
    return pareto::values_and_gradients{{std::cos(5 * theta)}, {{-w[1] * slope, w[0] * slope}}};
  };
  for (const double start : {0.5, -0.5, 0.6}) {
    const pareto::kkt_end end = pareto::kkt_newton(p, {std::cos(start), std::sin(start)}, 30);
    ASSERT_TRUE(end.ok);
    EXPECT_NEAR(end.w[0], 1, 1e-12) << start;
    EXPECT_NEAR(end.w[1], 0, 1e-8) << start;
  }
}

TEST(KktNewton, AWeightHeldAtZeroStaysThere) {
  // Four weights, the second held: the answer is the closed form on the
  // other three, which the best over all four (where the second is
  // large) is not.
  const std::vector<double> r = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  const std::vector<double> a = {0.3, 0.8, 0.2, 0.1};
  const std::vector<double> b = {0.6, 0.1, -0.5, 0.4};
  const std::vector<bool> free = {true, false, true, true};
  const double t = 0.5;
  const std::vector<double> expected = closed_form(a, b, t, free);
  const pareto::kkt_end end = pareto::kkt_newton(level(r, a, b, t, free), {0.6, 0, 0.2, 0.5}, 30);
  ASSERT_TRUE(end.ok);
  EXPECT_EQ(end.w[1], 0);
  EXPECT_LT(distance(end.w, expected), 1e-12);
  EXPECT_EQ(end.stopped_at, -1);
  // Every weight held leaves no direction to move in.
  EXPECT_FALSE(
      pareto::kkt_newton(level(r, a, b, t, std::vector<bool>(4, false)), {1, 0, 0, 0}, 5).ok);
}

TEST(KktNewton, ConvergesQuadraticallyAndFollowsTheSurface) {
  // Newton's method with the Lagrangian's exact Hessian: from about 6e-4
  // off the answer along the surface, one step leaves less than 1e-8 (the
  // start's error squared is 4e-7; a Hessian off by 1e-4 of itself, or a
  // step in a basis that is not R-orthonormal, would leave some 1e-7), two
  // leave rounding. At t = .02 the cubed level's multiplier is large
  // (about 1 / (3 t^2) times the objective's slope), so its curvature
  // weighs most in the Hessian.
  const std::vector<double> r = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  const std::vector<double> a = {0.6, 0.3, 0.2};
  const std::vector<double> b = {0.5, -0.7, 0.2};
  const std::vector<bool> free(3, true);
  for (const double t : {0.02, 0.3, 0.7}) {
    const std::vector<double> answer = closed_form(a, b, t, free);
    // A point of the surface b.w / |w| = t near the answer: the answer
    // turned by 1e-3 about b's direction keeps b.w and |w|.
    const double nb = std::sqrt(dot(b, b));
    std::vector<double> axis = b;
    for (double& x : axis) x /= nb;
    const double angle = 1e-3;
    const std::vector<double> cross = {axis[1] * answer[2] - axis[2] * answer[1],
                                       axis[2] * answer[0] - axis[0] * answer[2],
                                       axis[0] * answer[1] - axis[1] * answer[0]};
    const double along = dot(axis, answer);
    std::vector<double> start(3);
    for (std::size_t j = 0; j < 3; ++j) {
      start[j] = answer[j] * std::cos(angle) + cross[j] * std::sin(angle) +
                 axis[j] * along * (1 - std::cos(angle));
    }
    ASSERT_GT(distance(start, answer), 5e-4);
    for (const auto& [steps, within] : {std::pair{1, 1e-8}, std::pair{2, 1e-13}}) {
      for (const pareto::kkt_problem& p : {level(r, a, b, t, free), cubed(r, a, b, t)}) {
        const pareto::kkt_end end = pareto::kkt_newton(p, start, steps);
        ASSERT_TRUE(end.ok);
        EXPECT_LT(distance(end.w, answer), within) << t << " " << steps;
        // Each step ends on the surface, not merely near it.
        EXPECT_NEAR(dot(b, end.w), t, 1e-13) << t << " " << steps;
      }
    }
  }
}

// The level b.w / |w| = t written as (b.w / |w| - t)(2 + e.w / |w|): the
// same surface (the second factor lies in [2 - |e|, 2 + |e|], above 0),
// with the same closed-form answer, but a curvature that ties the
// surface's normal to its tangent plane (the Hessian's term
// grad(b.w/|w|) grad(e.w/|w|)' + its transpose), as a level on a
// nonlinear function of several effects does.
pareto::kkt_problem tied_level(std::span<const double> r, const std::vector<double>& a,
                               const std::vector<double>& b, const std::vector<double>& e,
                               double t) {
  pareto::kkt_problem p;
  p.r = r;
  p.free.assign(a.size(), true);
  p.constraints = 1;
  p.values = [=](std::span<const double> w) -> std::optional<std::vector<double>> {
    return std::vector<double>{standardised(r, a, w).value, (standardised(r, b, w).value - t) *
                                                                (2 + standardised(r, e, w).value)};
  };
  p.derivatives = [=](std::span<const double> w) -> std::optional<pareto::values_and_gradients> {
    const on_sphere q = standardised(r, a, w);
    const on_sphere s = standardised(r, b, w);
    const on_sphere f = standardised(r, e, w);
    std::vector<double> g(w.size());
    for (std::size_t j = 0; j < w.size(); ++j)
      g[j] = s.gradient[j] * (2 + f.value) + (s.value - t) * f.gradient[j];
    return pareto::values_and_gradients{{q.value, (s.value - t) * (2 + f.value)}, {q.gradient, g}};
  };
  return p;
}

TEST(KktNewton, ConvergesQuadraticallyFromOffTheSurface) {
  // From a start 1e-4 off the answer and off the surface (b.w / |w| is not
  // t there), Newton's step aims at c = 0 as well as at the stationary
  // point: one step leaves less than 1e-8 (the start's error squared),
  // two leave rounding. Where the curvature ties the normal to the
  // tangent plane, a step that missed c = 0 on the way would carry its
  // error into the tangent plane, where the corrections back onto c = 0
  // (along the normal) cannot remove it: an error of the order of the
  // start's after one step.
  const std::vector<double> r = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  const std::vector<double> a = {0.6, 0.3, 0.2};
  const std::vector<double> b = {0.5, -0.7, 0.2};
  const std::vector<double> e = {0.1, 0.5, -0.6};
  const std::vector<bool> free(3, true);
  for (const double t : {0.02, 0.3, 0.7}) {
    const std::vector<double> answer = closed_form(a, b, t, free);
    // (.3, -.5, .8) / |.|, a direction across the surface and along it.
    const std::vector<double> off = {0.3, -0.5, 0.8};
    const double size = std::sqrt(dot(off, off));
    std::vector<double> start = answer;
    for (std::size_t j = 0; j < 3; ++j) start[j] += 1e-4 * off[j] / size;
    ASSERT_GT(std::fabs(dot(b, start) / std::sqrt(dot(start, start)) - t), 1e-5);
    for (const auto& [steps, within] : {std::pair{1, 1e-8}, std::pair{2, 1e-14}}) {
      for (const pareto::kkt_problem& p : {level(r, a, b, t, free), tied_level(r, a, b, e, t)}) {
        const pareto::kkt_end end = pareto::kkt_newton(p, start, steps);
        ASSERT_TRUE(end.ok);
        EXPECT_LT(distance(end.w, answer), within) << t << " " << steps;
        EXPECT_NEAR(dot(b, end.w), t, 1e-13) << t << " " << steps;
      }
    }
  }
}

TEST(KktNewton, EachStepClimbsOrHalvesTheDistanceFromTheSurface) {
  // On the circle w = (cos theta, sin theta), q = cos(theta - .5) (a.w /
  // |w| with a = (cos .5, sin .5)) subject to c = tanh(10 theta) = 0: a
  // steep, saturating level, whose only point is theta = 0, where q =
  // cos .5. From a start off it, Newton's step aims at c = 0 but its
  // linearisation overshoots, and so do the corrections along the start's
  // gradient: some ends lower q without coming much nearer c = 0. From
  // theta = .1, Newton's step is -tanh(1) / (10 sech^2(1)) = -.181 in the
  // tangent (theta moves by its arctangent), and three corrections of
  // -c / (10 sech^2(1)) leave it at -.026: theta = .074, |c| = .63 against
  // the start's .76, and q = cos .426 below cos .4. A step is taken only
  // where it climbs without leaving c = 0 further behind, or halves |c|:
  // read from the weighting after each number of steps, every step does
  // one or the other, from starts within Newton's reach of tanh's root
  // (|10 theta| <= 1; it converges from |x| < 1.09), and the steps end at
  // theta = 0.
  const std::vector<double> r = {1, 0, 0, 1};
  const std::vector<double> a = {std::cos(0.5), std::sin(0.5)};
  const auto angle = [](std::span<const double> w) { return std::atan2(w[1], w[0]); };
  pareto::kkt_problem p;
  p.r = r;
  p.free = {true, true};
  p.constraints = 1;
  p.values = [&](std::span<const double> w) -> std::optional<std::vector<double>> {
    return std::vector<double>{standardised(r, a, w).value, std::tanh(10 * angle(w))};
  };
  p.derivatives = [&](std::span<const double> w) -> std::optional<pareto::values_and_gradients> {
    const on_sphere q = standardised(r, a, w);
    const double c = std::tanh(10 * angle(w));
    // dc/dtheta times dtheta/dw = (-w2, w1) / |w|^2.
    const double slope = 10 * (1 - c * c) / (w[0] * w[0] + w[1] * w[1]);
    return pareto::values_and_gradients{{q.value, c}, {q.gradient, {-w[1] * slope, w[0] * slope}}};
  };
  for (int hundredths = -10; hundredths <= 10; ++hundredths) {
    const double start = hundredths / 100.0;
    std::vector<double> before = {std::cos(start), std::sin(start)};
    for (int steps = 1; steps <= 12; ++steps) {
      const pareto::kkt_end end = pareto::kkt_newton(p, {std::cos(start), std::sin(start)}, steps);
      ASSERT_TRUE(end.ok) << start << " " << steps;
      const double q0 = dot(a, before);
      const double q1 = dot(a, end.w);
      const double v0 = std::fabs(std::tanh(10 * angle(before)));
      const double v1 = std::fabs(std::tanh(10 * angle(end.w)));
      // Rounding's share: 1e-14 in q, 1e-12 (the steps' own floor) in c.
      const bool climbs = q1 >= q0 - 1e-14 && v1 <= std::max(v0, 1e-12);
      EXPECT_TRUE(climbs || v1 <= v0 / 2) << start << " " << steps << ": q " << q0 << " to " << q1
                                          << ", |c| " << v0 << " to " << v1;
      before = end.w;
    }
    EXPECT_NEAR(before[0], 1, 1e-15) << start;
    EXPECT_NEAR(before[1], 0, 1e-15) << start;
  }
}

TEST(KktNewton, MoreLevelsThanDirectionsCannotBeFollowed) {
  // Two weights leave one direction on the circle: two levels cannot both
  // be followed.
  const std::vector<double> r = {1, 0, 0, 1};
  pareto::kkt_problem p = level(r, {1, 0.5}, {0.5, -1}, 0.2, {true, true});
  p.constraints = 2;
  const auto values = p.values;
  const auto derivatives = p.derivatives;
  p.values = [values](std::span<const double> w) -> std::optional<std::vector<double>> {
    std::vector<double> v = *values(w);
    v.push_back(v[1]);
    return v;
  };
  p.derivatives =
      [derivatives](std::span<const double> w) -> std::optional<pareto::values_and_gradients> {
    pareto::values_and_gradients v = *derivatives(w);
    v.values.push_back(v.values[1]);
    v.gradients.push_back(v.gradients[1]);
    return v;
  };
  EXPECT_FALSE(pareto::kkt_newton(p, {0.8, 0.6}, 10).ok);
}

TEST(AscentShift, MakesTheHessianNegativeOnTheNullSpaceOnly) {
  // diag(1, -2): positive along the first axis.
  const std::vector<double> h = {1, 0, 0, -2};
  EXPECT_GT(pareto::ascent_shift(h, {}, 2), 1);
  // With the first axis's direction held by a constraint, the null space
  // is the second axis, where h is already negative.
  const std::vector<std::vector<double>> j = {{1, 0}};
  EXPECT_EQ(pareto::ascent_shift(h, j, 2), 0);
}

}  // namespace
