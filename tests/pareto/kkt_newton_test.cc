// Newton's method on a level's optimality conditions, on problems whose
// answer is known: the best a.w on the unit sphere where b.w / |w| = t has
// the closed form t (a.b) + sqrt(1 - t^2) |a - (a.b) b| (b of unit length),
// and under a general R the exact sphere maximiser of sphere_lp.h (an
// enumeration that shares no code with it) gives the answer for a
// constraint that binds.
#include "pareto/kkt_newton.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <optional>
#include <span>
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
