// The sphere's branch and bound against answers known without it: the
// highest value of a linear form on the sphere w'Rw = 1 is sqrt(a'R^-1 a)
// (Cauchy-Schwarz in R's inner product); with two predictors every
// weighting is an angle, swept densely; on a quarter circle a linear
// form's best is at an end.
#include "pareto/sphere_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <span>
#include <vector>

#include "pareto_test_support.h"

namespace {

using pareto::range;
using pareto::sphere_search;
using pareto_test::at;

constexpr double inf = std::numeric_limits<double>::infinity();

double dot(std::span<const double> x, std::span<const double> y) {
  double s = 0;
  for (std::size_t j = 0; j < x.size(); ++j) s += x[j] * y[j];
  return s;
}

double quadratic(const std::vector<double>& r, std::span<const double> w) {
  const std::size_t n = w.size();
  double q = 0;
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j) q += w[i] * r[i * n + j] * w[j];
  }
  return q;
}

// x = A^-1 b by Gaussian elimination on copies (the test's own solve).
std::vector<double> solve(std::vector<double> e, std::vector<double> x) {
  const std::size_t m = x.size();
  for (std::size_t c = 0; c < m; ++c) {
    for (std::size_t i = c + 1; i < m; ++i) {
      const double f = e[i * m + c] / e[c * m + c];
      for (std::size_t j = c; j < m; ++j) e[i * m + j] -= f * e[c * m + j];
      x[i] -= f * x[c];
    }
  }
  for (std::size_t i = m; i-- > 0;) {
    for (std::size_t j = i + 1; j < m; ++j) x[i] -= e[i * m + j] * x[j];
    x[i] /= e[i * m + i];
  }
  return x;
}

// sqrt(a'R^-1 a).
double highest_linear(const std::vector<double>& r, const std::vector<double>& a) {
  return std::sqrt(dot(a, solve(r, a)));
}

// The search's highest of sign * l.w / sqrt(w'Rw), bounded through the
// ranges of form `f` (the form of l): their high ends, or minus their low
// ends for sign -1.
pareto::sphere_search_result highest_found(const sphere_search& search,
                                           const std::vector<double>& r,
                                           const std::vector<double>& l, std::size_t f,
                                           double sign, int splits) {
  return search.maximise(
      [&](std::span<const range> ranges) { return sign > 0 ? ranges[f].hi : -ranges[f].lo; },
      [&](std::span<const double> w) { return sign * dot(l, w) / std::sqrt(quadratic(r, w)); },
      splits, 1e-10);
}

// A random correlation matrix: a Gram matrix of unit vectors.
std::vector<double> random_correlations(std::mt19937& random, int n) {
  std::normal_distribution<double> z;
  std::vector<std::vector<double>> v(at(n), std::vector<double>(at(n) + 1));
  for (auto& row : v) {
    double norm = 0;
    for (double& x : row) {
      x = z(random);
      norm += x * x;
    }
    for (double& x : row) x /= std::sqrt(norm);
  }
  std::vector<double> r(at(n) * at(n));
  for (std::size_t i = 0; i < at(n); ++i) {
    for (std::size_t j = 0; j < at(n); ++j) r[i * at(n) + j] = dot(v[i], v[j]);
  }
  return r;
}

TEST(SphereSearch, ALinearFormsMaximumLiesBetweenTheValueAndTheBound) {
  std::mt19937 random(20261209);
  std::uniform_real_distribution<double> coefficient(-0.6, 0.7);
  for (int n = 2; n <= 5; ++n) {
    for (int k = 0; k < 6; ++k) {
      const std::vector<double> r = random_correlations(random, n);
      std::vector<double> a(at(n));
      for (double& x : a) x = coefficient(random);
      // A second form beside it, which the image cover's ellipsoid carries
      // too (where there are fewer forms than weights).
      std::vector<double> b(at(n));
      for (double& x : b) x = coefficient(random);
      const std::vector<std::vector<double>> forms{a, b};
      const double truth = highest_linear(r, a);
      for (const pareto::sphere_cover cover :
           {pareto::sphere_cover::cube, pareto::sphere_cover::faces, pareto::sphere_cover::image}) {
        const auto search = sphere_search::make(n, r, forms, false, cover);
        ASSERT_TRUE(search.has_value());
        // Both ends of the form's ranges: its highest, and minus its least
        // (the same, -a's highest being a's).
        for (const double sign : {1.0, -1.0}) {
          const pareto::sphere_search_result found = highest_found(*search, r, a, 0, sign, 4000);
          EXPECT_LE(found.value, truth + 1e-12) << n << " " << k;
          EXPECT_GE(found.upper, truth - 1e-12) << n << " " << k;
          // Its weighting is on the sphere and has the value it reports.
          ASSERT_FALSE(found.best.empty());
          EXPECT_NEAR(quadratic(r, found.best), 1, 1e-12);
          EXPECT_NEAR(sign * dot(a, found.best), found.value, 1e-12);
          // A smooth maximum is approached, not hit: in two and three
          // dimensions the budget comes within 1e-3 of it (in more, the
          // boxes near it are too many: the climb after the search
          // finishes there).
          if (n <= 3) {
            EXPECT_GT(found.value, truth - 1e-3) << n << " " << k;
          }
        }
        // The second form's ranges bound it as well.
        const pareto::sphere_search_result second = highest_found(*search, r, b, 1, 1, 4000);
        EXPECT_LE(second.value, highest_linear(r, b) + 1e-12) << n << " " << k;
        EXPECT_GE(second.upper, highest_linear(r, b) - 1e-12) << n << " " << k;
      }
    }
  }
}

TEST(SphereSearch, SignsKeepEveryWeightAtOrAboveZero) {
  // Two predictors, the form's best direction outside the quadrant: the
  // best non-negative weighting is found on the sweep of angles in [0,
  // pi/2], and the search neither reports more nor bounds less.
  std::mt19937 random(7);
  std::uniform_real_distribution<double> coefficient(-1, 1), corr(-0.5, 0.8);
  for (int k = 0; k < 20; ++k) {
    const double rho = corr(random);
    const std::vector<double> r{1, rho, rho, 1};
    const std::vector<double> a{coefficient(random), coefficient(random)};
    double truth = -inf;
    for (int step = 0; step <= 200000; ++step) {
      const double angle = std::acos(-1.0) / 2 * step / 200000;
      const std::vector<double> w{std::cos(angle), std::sin(angle)};
      truth = std::max(truth, dot(a, w) / std::sqrt(quadratic(r, w)));
    }
    const std::vector<std::vector<double>> forms{a};
    const auto search = sphere_search::make(2, r, forms, true);
    ASSERT_TRUE(search.has_value());
    const pareto::sphere_search_result found = search->maximise(
        [](std::span<const range> f) { return f[0].hi; },
        [&](std::span<const double> w) { return dot(a, w) / std::sqrt(quadratic(r, w)); }, 4000,
        1e-10);
    ASSERT_FALSE(found.best.empty());
    EXPECT_GE(found.best[0], 0);
    EXPECT_GE(found.best[1], 0);
    EXPECT_LE(found.value, truth + 1e-9) << k;
    EXPECT_GE(found.upper, truth - 1e-12) << k;
    EXPECT_GT(found.value, truth - 1e-4) << k;
  }
}

// The highest a.w / sqrt(w'Rw) over w >= 0, by its active sets: at the
// maximiser the positive weights S are R_SS^-1 a_S (up to scale, the
// unconstrained maximiser on S), so the answer is the highest
// sqrt(a_S' R_SS^-1 a_S) over the sets S whose solution is positive (and
// the best single weight where no form is positive anywhere).
double highest_nonnegative(const std::vector<double>& r, const std::vector<double>& a) {
  const std::size_t n = a.size();
  double best = -inf;
  for (std::size_t set = 1; set < (std::size_t{1} << n); ++set) {
    std::vector<std::size_t> in;
    for (std::size_t j = 0; j < n; ++j) {
      if ((set >> j) & 1U) in.push_back(j);
    }
    const std::size_t m = in.size();
    std::vector<double> sub(m * m), b(m);
    for (std::size_t i = 0; i < m; ++i) {
      b[i] = a[in[i]];
      for (std::size_t j = 0; j < m; ++j) sub[i * m + j] = r[in[i] * n + in[j]];
    }
    // x = R_SS^-1 a_S.
    const std::vector<double> x = solve(sub, b);
    if (m == 1) best = std::max(best, b[0]);  // a single weight, whatever its sign
    if (std::all_of(x.begin(), x.end(), [](double v) { return v > 0; }))
      best = std::max(best, std::sqrt(dot(b, x)));
  }
  return best;
}

TEST(SphereSearch, NonNegativeWeightingsInSeveralDimensions) {
  // Up to six predictors, forms of both signs: the search over the faces
  // of the cube of non-negative weights neither reports more than the
  // active sets' answer nor bounds less, keeps every weight at or above
  // 0, and comes within 1e-3 of it in up to three dimensions.
  std::mt19937 random(20261210);
  std::uniform_real_distribution<double> coefficient(-0.4, 0.7);
  for (int n = 2; n <= 6; ++n) {
    for (int k = 0; k < 5; ++k) {
      const std::vector<double> r = random_correlations(random, n);
      std::vector<double> a(at(n));
      for (double& x : a) x = coefficient(random);
      const std::vector<std::vector<double>> forms{a};
      const auto search = sphere_search::make(n, r, forms, true);
      ASSERT_TRUE(search.has_value());
      const pareto::sphere_search_result found = highest_found(*search, r, a, 0, 1, 6000);
      const double truth = highest_nonnegative(r, a);
      EXPECT_LE(found.value, truth + 1e-12) << n << " " << k;
      EXPECT_GE(found.upper, truth - 1e-12) << n << " " << k;
      ASSERT_FALSE(found.best.empty());
      for (const double w : found.best) EXPECT_GE(w, 0) << n << " " << k;
      for (const std::vector<double>& lead : found.leads) {
        for (const double w : lead) EXPECT_GE(w, 0) << n << " " << k;
      }
      if (n <= 3) {
        EXPECT_GT(found.value, truth - 1e-3) << n << " " << k;
      }
      // The ranges' low ends bound the form from below: the least of a.w is
      // minus the highest of -a.w.
      const pareto::sphere_search_result least = highest_found(*search, r, a, 0, -1, 6000);
      const std::vector<double> minus_a = [&] {
        std::vector<double> m = a;
        for (double& x : m) x = -x;
        return m;
      }();
      const double least_truth = highest_nonnegative(r, minus_a);
      EXPECT_LE(least.value, least_truth + 1e-12) << n << " " << k;
      EXPECT_GE(least.upper, least_truth - 1e-12) << n << " " << k;
    }
  }
}

TEST(SphereSearch, TheSlopesOfNonNegativeWeightingsBoundEveryFormOverItsBox) {
  // A bound from the slopes alone, the form at the box's centre plus its
  // gradient's largest size times each half-width: were a gradient's range
  // too narrow, some box holding the maximiser would be bounded below it
  // and the search's bound would end below the active sets' answer. Every
  // centre lies in its form's range. Being first order, it also closes
  // where the ranges alone leave a gap.
  std::mt19937 random(20261211);
  std::uniform_real_distribution<double> coefficient(-0.4, 0.7);
  for (int n = 2; n <= 6; ++n) {
    for (int k = 0; k < 6; ++k) {
      const std::vector<double> r = random_correlations(random, n);
      std::vector<double> a(at(n));
      for (double& x : a) x = coefficient(random);
      const std::vector<std::vector<double>> forms{a};
      const auto search = sphere_search::make(n, r, forms, true);
      ASSERT_TRUE(search.has_value());
      for (const double sign : {1.0, -1.0}) {
        int sloped = 0;
        const auto bound = [&](std::span<const range> ranges, const pareto::box_slopes& slopes) {
          if (slopes.empty()) return sign > 0 ? ranges[0].hi : -ranges[0].lo;
          ++sloped;
          EXPECT_GE(slopes.centre[0], ranges[0].lo);
          EXPECT_LE(slopes.centre[0], ranges[0].hi);
          double spread = 0;
          for (std::size_t j = 0; j < slopes.half.size(); ++j) {
            const range g = slopes.gradient[0][j];
            EXPECT_LE(g.lo, g.hi);
            spread += std::max(std::fabs(g.lo), std::fabs(g.hi)) * slopes.half[j];
          }
          return sign * slopes.centre[0] + spread;
        };
        const pareto::sphere_search_result found = search->maximise(
            bound,
            [&](std::span<const double> w) { return sign * dot(a, w) / std::sqrt(quadratic(r, w)); },
            20000, 1e-10);
        std::vector<double> signed_a = a;
        for (double& x : signed_a) x *= sign;
        const double truth = highest_nonnegative(r, signed_a);
        EXPECT_GT(sloped, 0);
        EXPECT_LE(found.value, truth + 1e-12) << n << " " << k << " " << sign;
        EXPECT_GE(found.upper, truth - 1e-12) << n << " " << k << " " << sign;
        if (n <= 4) {
          EXPECT_LE(found.upper - found.value, 1e-9) << n << " " << k << " " << sign;
        }
      }
    }
  }
}

TEST(SphereSearch, AMaximumInsideTheFormsRangeIsReached) {
  // -(a.w)^2 - (b.w)^2 is highest, 0, where both forms vanish, which four
  // predictors allow: a point inside the forms' ellipsoid, not on its
  // edge, which every cover must reach (the image cover through the part
  // of the weighting outside the forms).
  std::mt19937 random(99);
  std::uniform_real_distribution<double> coefficient(-0.6, 0.7);
  const std::vector<double> r = random_correlations(random, 4);
  std::vector<double> a(4), b(4);
  for (double& x : a) x = coefficient(random);
  for (double& x : b) x = coefficient(random);
  const std::vector<std::vector<double>> forms{a, b};
  const auto nearest_square = [](range f) {
    if (f.lo <= 0 && f.hi >= 0) return 0.0;
    return std::min(f.lo * f.lo, f.hi * f.hi);
  };
  for (const pareto::sphere_cover cover :
       {pareto::sphere_cover::cube, pareto::sphere_cover::faces, pareto::sphere_cover::image}) {
    const auto search = sphere_search::make(4, r, forms, false, cover);
    ASSERT_TRUE(search.has_value());
    const pareto::sphere_search_result found = search->maximise(
        [&](std::span<const range> f) { return -nearest_square(f[0]) - nearest_square(f[1]); },
        [&](std::span<const double> w) {
          const double q = std::sqrt(quadratic(r, w));
          const double x = dot(a, w) / q;
          const double y = dot(b, w) / q;
          return -x * x - y * y;
        },
        2000, 1e-12);
    EXPECT_LE(found.value, 0);
    EXPECT_GE(found.upper, 0);
    EXPECT_GT(found.value, -1e-4) << static_cast<int>(cover);
  }
}

TEST(SphereSearch, AKinkedMaximumIsProved) {
  // min(w1, w2) on the sphere of R = I: the best is w1 = w2 = 1/sqrt(2), a
  // kink, where the bound meets the value to the tolerance.
  const std::vector<double> r{1, 0, 0, 1};
  const std::vector<std::vector<double>> forms{{1, 0}, {0, 1}};
  const auto search = sphere_search::make(2, r, forms, false);
  ASSERT_TRUE(search.has_value());
  const pareto::sphere_search_result found = search->maximise(
      [](std::span<const range> f) { return std::min(f[0].hi, f[1].hi); },
      [](std::span<const double> w) { return std::min(w[0], w[1]); }, 20000, 1e-10);
  EXPECT_NEAR(found.value, std::sqrt(0.5), 1e-9);
  EXPECT_LE(found.upper - found.value, 1e-9);
  EXPECT_LT(found.splits, 20000);
}

TEST(SphereSearch, NothingCountsNowhere) {
  // An objective that never counts leaves no weighting and a bound of
  // minus infinity where every box is cut, or the open boxes' bound.
  const std::vector<double> r{1, 0.2, 0.2, 1};
  const std::vector<std::vector<double>> forms{{1, 0}};
  const auto search = sphere_search::make(2, r, forms, false);
  ASSERT_TRUE(search.has_value());
  const pareto::sphere_search_result none =
      search->maximise([](std::span<const range>) { return -inf; },
                       [](std::span<const double>) { return -inf; }, 100, 1e-10);
  EXPECT_TRUE(none.best.empty());
  EXPECT_EQ(none.upper, -inf);
}

// a.w / sqrt(w'Rw), any scale.
pareto::sphere_search::value_fn linear_value(const std::vector<double>& r,
                                             const std::vector<double>& a) {
  return [&r, &a](std::span<const double> w) { return dot(a, w) / std::sqrt(quadratic(r, w)); };
}

TEST(SphereSearch, ABudgetOrATolerancePutsTheBoundAboveTheMaximumStill) {
  // Stopped early, by the splits allowed or by a wide tolerance, the
  // search still bounds the maximum from above, however it covers the
  // sphere: the open boxes' bounds and those of the boxes set aside within
  // the tolerance count.
  std::mt19937 random(99);
  std::uniform_real_distribution<double> coefficient(-0.6, 0.7);
  for (int n = 2; n <= 4; ++n) {
    for (int k = 0; k < 4; ++k) {
      const std::vector<double> r = random_correlations(random, n);
      std::vector<double> a(at(n));
      for (double& x : a) x = coefficient(random);
      const std::vector<std::vector<double>> forms{a};
      const double truth = highest_linear(r, a);
      const auto bound = [](std::span<const range> f) { return f[0].hi; };
      for (const pareto::sphere_cover cover :
           {pareto::sphere_cover::cube, pareto::sphere_cover::faces, pareto::sphere_cover::image}) {
        const auto search = sphere_search::make(n, r, forms, false, cover);
        ASSERT_TRUE(search.has_value());
        for (const int splits : {0, 3, 40}) {
          const pareto::sphere_search_result early =
              search->maximise(bound, linear_value(r, a), splits, 1e-10);
          EXPECT_LE(early.splits, splits);
          EXPECT_GE(early.upper, truth - 1e-12) << n << " " << k << " " << splits;
          EXPECT_LE(early.value, truth + 1e-12);
          // The open boxes' centres, the highest first, at most four, on
          // the sphere.
          EXPECT_LE(early.leads.size(), 4U);
          if (splits == 40 && cover == pareto::sphere_cover::cube) {
            EXPECT_EQ(early.leads.size(), 4U);
          }
          for (const std::vector<double>& w : early.leads) EXPECT_NEAR(quadratic(r, w), 1, 1e-12);
        }
        for (const double tolerance : {0.05, 0.3}) {
          const pareto::sphere_search_result loose =
              search->maximise(bound, linear_value(r, a), 100000, tolerance);
          EXPECT_GE(loose.upper, truth - 1e-12) << n << " " << k << " " << tolerance;
          EXPECT_LE(loose.upper - loose.value, tolerance) << n << " " << k << " " << tolerance;
          EXPECT_LT(loose.splits, 100000);
        }
      }
    }
  }
}

TEST(SphereSearch, TheSearchEndsAtTheSplitThatMeetsTheTolerance) {
  // Once the highest open bound is within the tolerance of the best value
  // the search ends: with one split fewer than it took, the gap is still
  // wider than the tolerance.
  std::mt19937 random(5);
  std::uniform_real_distribution<double> coefficient(-0.6, 0.7);
  for (int n = 2; n <= 3; ++n) {
    for (int k = 0; k < 4; ++k) {
      const std::vector<double> r = random_correlations(random, n);
      std::vector<double> a(at(n));
      for (double& x : a) x = coefficient(random);
      const std::vector<std::vector<double>> forms{a};
      const auto search = sphere_search::make(n, r, forms, false);
      ASSERT_TRUE(search.has_value());
      const auto bound = [](std::span<const range> f) { return f[0].hi; };
      for (const double tolerance : {1e-2, 1e-4}) {
        const pareto::sphere_search_result done =
            search->maximise(bound, linear_value(r, a), 1000000, tolerance);
        ASSERT_LT(done.splits, 1000000);
        ASSERT_GT(done.splits, 0);
        EXPECT_LE(done.upper - done.value, tolerance);
        const pareto::sphere_search_result short_of =
            search->maximise(bound, linear_value(r, a), done.splits - 1, tolerance);
        EXPECT_EQ(short_of.splits, done.splits - 1);
        EXPECT_GT(short_of.upper - short_of.value, tolerance) << n << " " << k << " " << tolerance;
      }
    }
  }
}

TEST(SphereSearch, ANegativeMaximumIsFound) {
  // Every validity negative with non-negative weights on R = I: a.w on
  // the quarter circle is highest at its end nearer the less negative
  // validity, w = (1, 0), a.w = -0.3.
  const std::vector<double> r{1, 0, 0, 1};
  const std::vector<double> a{-0.3, -0.5};
  const std::vector<std::vector<double>> forms{a};
  const auto search = sphere_search::make(2, r, forms, true);
  ASSERT_TRUE(search.has_value());
  const pareto::sphere_search_result found = search->maximise(
      [](std::span<const range> f) { return f[0].hi; }, linear_value(r, a), 20000, 1e-9);
  ASSERT_FALSE(found.best.empty());
  EXPECT_NEAR(found.value, -0.3, 1e-6);
  EXPECT_LE(found.value, -0.3);
  EXPECT_GE(found.upper, -0.3);
  EXPECT_LE(found.upper - found.value, 1e-9);
}

TEST(SphereSearch, ABoundNeverLoosensBelowItsParents) {
  // A valid bound that is looser on narrow ranges than on wide ones (the
  // form's highest value plus 1/2 / (1 + 10 width)): what a box proves
  // holds for its parts, so the bound reported stays the first box's. The
  // first box, [-1, 1]^2 in u, gives the form the range [-|t|, |t|] with
  // |t| = sqrt(a'R^-1 a), width 2 sqrt(a'R^-1 a).
  const std::vector<double> r{1, 0.3, 0.3, 1};
  const std::vector<double> a{0.4, 0.2};
  const std::vector<std::vector<double>> forms{a};
  const auto search = sphere_search::make(2, r, forms, false);
  ASSERT_TRUE(search.has_value());
  const double truth = highest_linear(r, a);
  const pareto::sphere_search_result found = search->maximise(
      [truth](std::span<const range> f) { return truth + 0.5 / (1 + 10 * (f[0].hi - f[0].lo)); },
      linear_value(r, a), 50, 1e-10);
  EXPECT_EQ(found.splits, 50);
  EXPECT_NEAR(found.upper, truth + 0.5 / (1 + 20 * truth), 1e-9);
}

TEST(SphereSearch, AValueAlreadyReachedSetsBoxesAside) {
  // With the maximum (rounded up) given as reached, no box can beat it by
  // more than the tolerance once its bound is tight: the search returns
  // no weighting of its own, and its bound still holds.
  const std::vector<double> r{1, 0.3, 0.3, 1};
  const std::vector<double> a{0.4, 0.2};
  const std::vector<std::vector<double>> forms{a};
  const auto search = sphere_search::make(2, r, forms, false);
  ASSERT_TRUE(search.has_value());
  const double truth = highest_linear(r, a);
  const pareto::sphere_search_result found =
      search->maximise([](std::span<const range> f) { return f[0].hi; }, linear_value(r, a), 20000,
                       1e-6, truth + 1e-13);
  EXPECT_TRUE(found.best.empty());
  EXPECT_EQ(found.value, truth + 1e-13);
  EXPECT_GE(found.upper, truth);
  EXPECT_LE(found.upper, truth + 1e-6);
}

TEST(SphereSearch, ABoxSetAsideIsNeitherSplitNorALead) {
  // However the sphere is covered, the first boxes give the form at most
  // |t| = sqrt(a'R^-1 a) (each form's range is cut to [-|t|, |t|]), widened
  // by rounding's margin alone: with that maximum given as reached, every
  // one of them is within the tolerance of it and set aside at once. None
  // is split, and none is left open to be a lead for a local search:
  // nothing can beat what is reached.
  const std::vector<double> r{1, 0.3, -0.2, 0.3, 1, 0.4, -0.2, 0.4, 1};
  const std::vector<double> a{0.4, 0.2, -0.3};
  const std::vector<std::vector<double>> forms{a};
  const double truth = highest_linear(r, a);
  for (const pareto::sphere_cover cover :
       {pareto::sphere_cover::cube, pareto::sphere_cover::faces, pareto::sphere_cover::image}) {
    const auto search = sphere_search::make(3, r, forms, false, cover);
    ASSERT_TRUE(search.has_value());
    const pareto::sphere_search_result found = search->maximise(
        [](std::span<const range> f) { return f[0].hi; }, linear_value(r, a), 20000, 1e-6, truth);
    EXPECT_EQ(found.splits, 0) << static_cast<int>(cover);
    EXPECT_TRUE(found.leads.empty()) << static_cast<int>(cover);
    EXPECT_TRUE(found.best.empty()) << static_cast<int>(cover);
    EXPECT_GE(found.upper, truth);
    EXPECT_LE(found.upper, truth + 1e-6);
  }
}

TEST(SphereSearch, AValueThatCannotBeFormedLeavesTheBoundStanding) {
  // The values are samples; the upper rests on the bounds. Where no value
  // can be formed (minus infinity everywhere), the upper is still at least
  // the highest a.w / sqrt(w'Rw) that the form's ranges bound, with any
  // number of weights: one weight's boxes on the faces are single rays,
  // which cannot be split and keep their bounds. With one weight of
  // variance 2.25 and a = .6 the sphere is w = +-1/1.5: the highest is
  // .6/1.5 = .4 (weights of either sign) and, for a = -.6 and w >= 0,
  // -.4.
  const auto nothing = [](std::span<const double>) { return -inf; };
  const auto highest = [](std::span<const range> f) { return f[0].hi; };
  const std::vector<double> variance{2.25};
  for (const double a : {0.6, -0.6}) {
    const std::vector<std::vector<double>> forms{{a}};
    for (const pareto::sphere_cover cover :
         {pareto::sphere_cover::cube, pareto::sphere_cover::faces, pareto::sphere_cover::image}) {
      const auto search = sphere_search::make(1, variance, forms, false, cover);
      ASSERT_TRUE(search.has_value());
      const pareto::sphere_search_result found = search->maximise(highest, nothing, 50, 1e-10);
      EXPECT_TRUE(found.best.empty());
      EXPECT_GE(found.upper, 0.4) << a << " " << static_cast<int>(cover);
    }
    const auto search = sphere_search::make(1, variance, forms, true);
    ASSERT_TRUE(search.has_value());
    const pareto::sphere_search_result found = search->maximise(highest, nothing, 50, 1e-10);
    EXPECT_TRUE(found.best.empty());
    EXPECT_GE(found.upper, a / 1.5) << a;
  }
  // Several weights: the boxes left open after the budget hold it.
  std::mt19937 random(31);
  std::uniform_real_distribution<double> coefficient(-0.6, 0.7);
  for (int n = 2; n <= 4; ++n) {
    const std::vector<double> r = random_correlations(random, n);
    std::vector<double> a(at(n));
    for (double& x : a) x = coefficient(random);
    const std::vector<std::vector<double>> forms{a};
    for (const pareto::sphere_cover cover :
         {pareto::sphere_cover::cube, pareto::sphere_cover::faces, pareto::sphere_cover::image}) {
      const auto search = sphere_search::make(n, r, forms, false, cover);
      ASSERT_TRUE(search.has_value());
      const pareto::sphere_search_result found = search->maximise(highest, nothing, 50, 1e-10);
      EXPECT_TRUE(found.best.empty());
      EXPECT_GE(found.upper, highest_linear(r, a) - 1e-12) << n << " " << static_cast<int>(cover);
    }
    const auto search = sphere_search::make(n, r, forms, true);
    ASSERT_TRUE(search.has_value());
    const pareto::sphere_search_result found = search->maximise(highest, nothing, 50, 1e-10);
    EXPECT_GE(found.upper, highest_nonnegative(r, a) - 1e-12) << n;
  }
}

TEST(SphereSearch, ACorrelationMatrixThatIsNotPositiveDefiniteIsRefused) {
  const std::vector<double> singular{1, 1, 1, 1};
  const std::vector<std::vector<double>> forms{{1, 0}};
  EXPECT_FALSE(sphere_search::make(2, singular, forms, false).has_value());
  const std::vector<double> indefinite{1, 0.9, 0.9, 0.9, 1, -0.9, 0.9, -0.9, 1};
  EXPECT_FALSE(sphere_search::make(3, indefinite, forms, false).has_value());
}

}  // namespace
