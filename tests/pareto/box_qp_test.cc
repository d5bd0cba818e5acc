// The sign-bounded QP against enumeration: the minimiser is the free
// minimiser on one of the 2^k sets of variables off their bounds, so the
// feasible one with the lowest objective is it.
#include "pareto/box_qp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "pareto_test_support.h"

namespace {

using pareto_test::at;

double objective(const std::vector<double>& h, int k, const std::vector<double>& q,
                 const std::vector<double>& z) {
  double s = 0;
  for (int i = 0; i < k; ++i) {
    for (int j = 0; j < k; ++j) s += 0.5 * z[at(i)] * h[at(i) * at(k) + at(j)] * z[at(j)];
    s -= q[at(i)] * z[at(i)];
  }
  return s;
}

// The best feasible free minimiser over every set of bounded variables.
std::vector<double> enumerate(const std::vector<double>& h, int k, const std::vector<double>& q,
                              const std::vector<char>& bounded) {
  std::vector<double> best;
  double best_value = std::numeric_limits<double>::infinity();
  for (unsigned mask = 0; mask < (1U << static_cast<unsigned>(k)); ++mask) {
    std::vector<int> on;
    for (int j = 0; j < k; ++j) {
      if (bounded[at(j)] == 0 || (mask >> static_cast<unsigned>(j) & 1U) != 0) on.push_back(j);
    }
    const int m = static_cast<int>(on.size());
    std::vector<double> sub(at(m) * at(m));
    std::vector<double> rhs(at(m));
    for (int i = 0; i < m; ++i) {
      rhs[at(i)] = q[at(on[at(i)])];
      for (int j = 0; j < m; ++j)
        sub[at(i) * at(m) + at(j)] = h[at(on[at(i)]) * at(k) + at(on[at(j)])];
    }
    const std::vector<double> y = m > 0 ? pareto_test::solve(sub, m, rhs) : std::vector<double>{};
    std::vector<double> z(at(k), 0.0);
    bool feasible = true;
    for (int i = 0; i < m; ++i) {
      z[at(on[at(i)])] = y[at(i)];
      if (bounded[at(on[at(i)])] != 0 && y[at(i)] < 0) feasible = false;
    }
    if (feasible && objective(h, k, q, z) < best_value) {
      best_value = objective(h, k, q, z);
      best = z;
    }
  }
  return best;
}

// A random QP on a random subset of a random problem's predictors, some of
// them unbounded, against enumeration.
void expect_enumerated(const pareto_test::problem& p, pareto_test::random_source& rnd,
                       std::uint64_t seed) {
  const int n = p.n;
  std::vector<int> idx;
  for (int j = 0; j < n; ++j) {
    if (rnd.uniform() < 0.8) idx.push_back(j);
  }
  const int k = static_cast<int>(idx.size());
  std::vector<double> q(at(k));
  std::vector<char> bounded(at(k));
  std::vector<double> h(at(k) * at(k));
  for (int i = 0; i < k; ++i) {
    q[at(i)] = rnd.uniform(-1, 1);
    bounded[at(i)] = rnd.uniform() < 0.8 ? 1 : 0;
    for (int j = 0; j < k; ++j)
      h[at(i) * at(k) + at(j)] = p.r[at(idx[at(i)]) * at(n) + at(idx[at(j)])];
  }
  const pareto::detail::box_qp_solution got = pareto::detail::solve_box_qp(p.r, n, idx, q, bounded);
  const std::vector<double> want = enumerate(h, k, q, bounded);
  ASSERT_EQ(got.z.size(), want.size());
  for (int j = 0; j < k; ++j) {
    EXPECT_NEAR(got.z[at(j)], want[at(j)], 1e-12 * std::max(1.0, std::abs(want[at(j)])))
        << "seed " << seed << " variable " << j;
    if (bounded[at(j)] != 0 && got.free[at(j)] == 0) {
      EXPECT_EQ(got.z[at(j)], 0.0);
    }
  }
}

TEST(pareto_box_qp, AgreesWithEnumeration) {
  for (std::uint64_t seed = 1; seed <= 200; ++seed) {
    pareto_test::random_source rnd(seed);
    const int n = 2 + rnd.below(5);
    expect_enumerated(pareto_test::random_problem(n, seed, pareto_test::effects::mixed), rnd, seed);
  }
}

TEST(pareto_box_qp, StronglyCorrelatedAgreesWithEnumeration) {
  // Communalities of 0.95 to 0.999 and 3 to 8 predictors: entering one
  // variable drives others below their bounds, so the step must stop at
  // the first bound it meets.
  for (std::uint64_t seed = 1; seed <= 300; ++seed) {
    pareto_test::random_source rnd(seed + 7000);
    const int n = 3 + rnd.below(6);
    expect_enumerated(pareto_test::random_problem(n, seed + 7000, pareto_test::effects::mixed,
                                                  pareto_test::communality::high),
                      rnd, seed);
  }
}

TEST(pareto_box_qp, AStepBlockedByABound) {
  // All three bounded, q = (1, 0.5, 1). From z = 0 the first and third
  // enter; the second's free solution with them is negative, so it stays
  // at 0. By hand: the first and third solve [[1, .5], [.5, 1]] z = (1, 1),
  // z = 2/3 each, and the second's multiplier 0.5 - 0.8 * 2/3 is negative.
  const std::vector<double> r = {1, 0, 0.5, 0, 1, 0.8, 0.5, 0.8, 1};
  const std::vector<int> idx = {0, 1, 2};
  const std::vector<double> q = {1, 0.5, 1};
  const std::vector<char> bounded = {1, 1, 1};
  const pareto::detail::box_qp_solution got = pareto::detail::solve_box_qp(r, 3, idx, q, bounded);
  EXPECT_NEAR(got.z[0], 2.0 / 3, 1e-15);
  EXPECT_EQ(got.z[1], 0.0);
  EXPECT_NEAR(got.z[2], 2.0 / 3, 1e-15);
  EXPECT_EQ(got.free, (std::vector<char>{1, 0, 1}));
}

TEST(pareto_box_qp, CholeskySolvesAPrincipalSubmatrix) {
  // R[{0, 2}, {0, 2}] = [[4, 2], [2, 3]]: the solution of [[4,2],[2,3]] x =
  // (8, 7) is (1.25, 1.5).
  const std::vector<double> r = {4, 9, 2, 9, 9, 9, 2, 9, 3};
  pareto::detail::cholesky c;
  ASSERT_TRUE(c.factor(r, 3, std::vector<int>{0, 2}));
  std::vector<double> b = {8, 7};
  c.solve(b);
  EXPECT_NEAR(b[0], 1.25, 1e-15);
  EXPECT_NEAR(b[1], 1.5, 1e-15);
  EXPECT_FALSE(c.factor(r, 3, std::vector<int>{0, 1}));  // [[4, 9], [9, 9]]
}

}  // namespace
