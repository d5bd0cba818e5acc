// The front with the mean criterion score of those selected as quality,
// against dense brute force and a local optimiser: in each of the four
// settings (overall or majority selection ratio, weights non-negative or of
// any sign), 100 seeded random problems of 2 to 7 predictors, among them
// strongly correlated ones, with random selection ratios, applicant mixes
// and criterion effects. The qualities are the analysis's own (public
// composites and outcome), not the front's. No weighting may beat a front
// point by more than 1e-6 in both the impact ratio and the mean, neither a
// random one nor one climbed to by Nelder and Mead's simplex search from
// the front point itself and from the random weighting that came nearest;
// the answer to "at least A" must agree with the front.
//
// FOURFIFTHS_PARETO_SCALE=k (an integer) multiplies the problems and the
// weightings drawn, for a longer run than CTest's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <numbers>
#include <ostream>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "analysis/composite.h"
#include "fourfifths/fourfifths.h"
#include "pareto_test_support.h"
#include "scenario_support.h"

namespace fourfifths {
namespace {

using pareto_test::evaluate_mean;
using pareto_test::make;
using pareto_test::random_scenario;
using pareto_test::random_source;

// Violations below this are rounding; the check asks for none above it.
constexpr double allowed = 1e-6;

int scale() {
  const char* s = std::getenv("FOURFIFTHS_PARETO_SCALE");
  const int k = s != nullptr ? std::atoi(s) : 1;
  return std::max(k, 1);
}

// How far (ai, m) beats the front point f in both: min(ai - f.ai, m - f.m).
double margin(double ai, double m, const weighting_outcome& f) {
  return std::min(ai - f.ratio_to_highest, m - *f.mean);
}

// Nelder and Mead's simplex search for a maximum of g from x0 (steps of
// `step` to start), to `iterations` steps: reflection, expansion,
// contraction and shrinking with the usual coefficients.
std::vector<double> nelder_mead(const std::function<double(const std::vector<double>&)>& g,
                                const std::vector<double>& x0, double step, int iterations) {
  const std::size_t n = x0.size();
  std::vector<std::vector<double>> x(n + 1, x0);
  std::vector<double> value(n + 1);
  for (std::size_t i = 0; i < n; ++i) x[i + 1][i] += step;
  for (std::size_t i = 0; i <= n; ++i) value[i] = g(x[i]);
  std::vector<std::size_t> order(n + 1);
  const auto point = [&](const std::vector<double>& c, const std::vector<double>& w, double t) {
    std::vector<double> out(n);
    for (std::size_t j = 0; j < n; ++j) out[j] = c[j] + t * (w[j] - c[j]);
    return out;
  };
  for (int it = 0; it < iterations; ++it) {
    for (std::size_t i = 0; i <= n; ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](auto l, auto r) { return value[l] > value[r]; });
    const std::size_t worst = order[n];
    std::vector<double> centre(n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = 0; j < n; ++j) centre[j] += x[order[i]][j] / static_cast<double>(n);
    }
    const std::vector<double> reflected = point(centre, x[worst], -1);
    const double fr = g(reflected);
    if (fr > value[order[0]]) {
      const std::vector<double> expanded = point(centre, x[worst], -2);
      const double fe = g(expanded);
      x[worst] = fe > fr ? expanded : reflected;
      value[worst] = std::max(fe, fr);
    } else if (fr > value[order[n - 1]]) {
      x[worst] = reflected;
      value[worst] = fr;
    } else {
      const std::vector<double> contracted = point(centre, x[worst], 0.5);
      const double fc = g(contracted);
      if (fc > value[worst]) {
        x[worst] = contracted;
        value[worst] = fc;
      } else {
        for (std::size_t i = 1; i <= n; ++i) {
          x[order[i]] = point(x[order[0]], x[order[i]], 0.5);
          value[order[i]] = g(x[order[i]]);
        }
      }
    }
  }
  return x[static_cast<std::size_t>(std::max_element(value.begin(), value.end()) - value.begin())];
}

struct tally {
  int problems = 0;
  long long weightings = 0;
  double worst = -std::numeric_limits<double>::infinity();
};

// Checks one problem; adds to the tally.
void check_problem(const problem& p, const pareto_options& o, int draws, std::uint64_t seed,
                   tally& t) {
  const pareto_result r = find_pareto_front(p, o);
  ASSERT_TRUE(r.value.has_value()) << r.message;
  const std::vector<weighting_outcome>& front = r.value->points;
  ASSERT_FALSE(front.empty());
  for (const weighting_outcome& f : front) ASSERT_TRUE(f.mean.has_value());
  ++t.problems;
  const int n = p.spec().predictors;
  const bool any = o.signs == weight_signs::any;

  // The front's points are what the analysis makes of their weights, and
  // none beats another.
  for (const weighting_outcome& f : front) {
    const auto [ai, m] = evaluate_mean(p, f.weights, o);
    EXPECT_NEAR(ai, f.ratio_to_highest, 1e-12 * std::max(1.0, ai));
    EXPECT_NEAR(m, *f.mean, 1e-12);
    for (const weighting_outcome& g : front)
      EXPECT_LE(margin(g.ratio_to_highest, *g.mean, f), 1e-12);
  }

  // What a weighting must not beat: each point in both axes, and the
  // first point, the best of all, in the mean alone (a point with no
  // impact ratio to beat).
  std::vector<weighting_outcome> targets = {front.front()};
  targets.front().ratio_to_highest = -std::numeric_limits<double>::infinity();
  targets.insert(targets.end(), front.begin(), front.end());

  // The largest margin of a weighting over any target, and the target.
  const auto worst_margin = [&](double ai, double m) {
    double best = -std::numeric_limits<double>::infinity();
    std::size_t at = 0;
    for (std::size_t k = 0; k < targets.size(); ++k) {
      const double g = margin(ai, m, targets[k]);
      if (g > best) {
        best = g;
        at = k;
      }
    }
    return std::pair{best, at};
  };

  // The impact ratios the points answer: spread evenly from the first
  // point's to the last's. The best weighting whose ratio is at least a
  // ratio asked for is the point of highest mean among those whose ratio is
  // at least it; no weighting with that ratio may have a higher mean.
  std::vector<double> asked(static_cast<std::size_t>(o.points));
  for (std::size_t j = 0; j < asked.size(); ++j) {
    asked[j] = front.front().ratio_to_highest +
               (front.back().ratio_to_highest - front.front().ratio_to_highest) *
                   static_cast<double>(j) / static_cast<double>(asked.size() - 1);
  }
  const auto short_of_answer = [&](double ai, double m) {
    const auto above = std::upper_bound(asked.begin(), asked.end(), ai);
    const double ratio = above == asked.begin() ? -1 : *(above - 1);
    double answer = -std::numeric_limits<double>::infinity();
    for (const weighting_outcome& f : front) {
      if (f.ratio_to_highest >= ratio * (1 - 1e-12) - 1e-12) answer = std::max(answer, *f.mean);
    }
    return m - answer;
  };

  random_source rnd(seed);
  std::vector<double> best_margin(targets.size(), -std::numeric_limits<double>::infinity());
  std::vector<std::vector<double>> best_draw(targets.size());
  // The draw of the highest mean in each of eight stretches of the impact
  // ratio, from 0 to 1.
  constexpr int bins = 8;
  std::vector<double> bin_mean(bins, -std::numeric_limits<double>::infinity());
  std::vector<double> bin_ai(bins, 0);
  for (int k = 0; k < draws; ++k) {
    std::vector<double> w(static_cast<std::size_t>(n));
    if (any) {
      for (double& x : w) x = rnd.normal();
    } else {
      w = pareto_test::random_weighting(n, rnd);
    }
    const auto [ai, m] = evaluate_mean(p, w, o);
    ++t.weightings;
    const auto [g, at] = worst_margin(ai, m);
    t.worst = std::max(t.worst, g);
    const double short_by = short_of_answer(ai, m);
    t.worst = std::max(t.worst, short_by);
    EXPECT_LE(short_by, allowed) << "a weighting with impact ratio " << ai << " and mean " << m;
    if (g > best_margin[at]) {
      best_margin[at] = g;
      best_draw[at] = w;
    }
    const auto bin = static_cast<std::size_t>(std::clamp(static_cast<int>(ai * bins), 0, bins - 1));
    if (m > bin_mean[bin]) {
      bin_mean[bin] = m;
      bin_ai[bin] = ai;
    }
  }

  // Local search for a weighting that beats target k, from the target
  // itself and from the draw that came nearest; non-negative weights as
  // squares.
  const auto climb = [&](std::size_t k, const std::vector<double>& from) {
    std::vector<double> u = from;
    if (!any) {
      for (double& x : u) x = std::sqrt(std::max(x, 0.0));
    }
    const auto weights = [&](const std::vector<double>& v) {
      std::vector<double> w = v;
      if (!any) {
        for (double& x : w) x *= x;
      }
      return w;
    };
    const auto g = [&](const std::vector<double>& v) {
      const std::vector<double> w = weights(v);
      if (std::all_of(w.begin(), w.end(), [](double x) { return x == 0; }))
        return -std::numeric_limits<double>::infinity();
      const auto [ai, m] = evaluate_mean(p, w, o);
      ++t.weightings;
      return margin(ai, m, targets[k]);
    };
    double norm = 0;
    for (const double x : u) norm += x * x;
    const std::vector<double> top = nelder_mead(g, u, 0.05 * std::sqrt(norm), 40 * n);
    const double reached = g(top);
    t.worst = std::max(t.worst, reached);
    return reached;
  };
  for (std::size_t k = 0; k < targets.size(); k += std::max<std::size_t>(1, targets.size() / 5)) {
    EXPECT_LE(climb(k, targets[k].weights), allowed) << "from target " << k;
    if (!best_draw[k].empty()) {
      EXPECT_LE(climb(k, best_draw[k]), allowed) << "from the draw nearest target " << k;
    }
  }
  EXPECT_LE(t.worst, allowed);

  // No draw has a higher mean than the best weighting for its own impact
  // ratio: the front has no hole that a ratio asked for could fall into.
  for (int b = 0; b < bins; ++b) {
    if (!std::isfinite(bin_mean[static_cast<std::size_t>(b)])) continue;
    const double ai = bin_ai[static_cast<std::size_t>(b)];
    const min_ai_result m = best_weighting_for_min_ai(p, o, ai);
    ASSERT_TRUE(m.status == pareto_status::found) << m.message;
    EXPECT_GE(m.value->ratio_to_highest, ai - 1e-12 * std::max(1.0, ai));
    const double short_by = bin_mean[static_cast<std::size_t>(b)] - *m.value->mean;
    t.worst = std::max(t.worst, short_by);
    EXPECT_LE(short_by, allowed) << "at an impact ratio of " << ai;
  }

  // The best weighting for a ratio asked for agrees with the front: at a
  // point's own ratio the same mean, below the first point's the first.
  for (const std::size_t k : {std::size_t{0}, front.size() / 2, front.size() - 1}) {
    const min_ai_result m = best_weighting_for_min_ai(p, o, front[k].ratio_to_highest);
    ASSERT_TRUE(m.status == pareto_status::found) << m.message;
    EXPECT_NEAR(*m.value->mean, *front[k].mean, 1e-9);
    EXPECT_GE(m.value->ratio_to_highest, front[k].ratio_to_highest * (1 - 1e-12) - 1e-12);
  }
  const min_ai_result all = best_weighting_for_min_ai(p, o, 0);
  ASSERT_TRUE(all.status == pareto_status::found) << all.message;
  EXPECT_NEAR(*all.value->mean, *front.front().mean, 1e-12);
}

struct setting {
  ratio_mode mode;
  weight_signs signs;
  std::uint64_t seed;
};

std::string name_of(const testing::TestParamInfo<setting>& info) {
  return std::string(info.param.mode == ratio_mode::overall ? "Overall" : "Majority") +
         (info.param.signs == weight_signs::any ? "AnySign" : "NonNegative");
}

// Printed by name rather than as bytes.
void PrintTo(const setting& c, std::ostream* os) { *os << name_of({c, 0}); }

class pareto_mean_front : public testing::TestWithParam<setting> {};

TEST_P(pareto_mean_front, NoWeightingBeatsTheFront) {
  const setting& c = GetParam();
  tally t;
  const int problems = 100 * scale();
  for (int k = 0; k < problems; ++k) {
    const std::uint64_t seed = c.seed + static_cast<std::uint64_t>(k);
    const problem_spec s = random_scenario(seed, c.mode);
    random_source rnd(seed ^ 0xabcdef);
    pareto_options o;
    o.mode = c.mode;
    o.signs = c.signs;
    o.objective = pareto_objective::mean;
    o.ratio = rnd.uniform(0.05, 0.8);
    SCOPED_TRACE("seed " + std::to_string(seed) + ", ratio " + std::to_string(o.ratio));
    check_problem(make(s), o, 1500 * scale(), seed, t);
    if (HasFatalFailure()) return;
  }
  std::printf("%d problems, %lld weightings, worst margin over the front %.3g\n", t.problems,
              t.weightings, t.worst);
  EXPECT_EQ(t.problems, problems);
}

INSTANTIATE_TEST_SUITE_P(
    Seeded, pareto_mean_front,
    testing::Values(setting{ratio_mode::overall, weight_signs::nonnegative, 1000},
                    setting{ratio_mode::majority, weight_signs::nonnegative, 2000},
                    setting{ratio_mode::overall, weight_signs::any, 3000},
                    setting{ratio_mode::majority, weight_signs::any, 4000}),
    name_of);

// Two predictors correlating r, with validities a1, a2 and effect sizes
// d1, d2; a criterion effect of -0.4 and a quarter minority applicants.
problem_spec two_predictors(double r, double a1, double a2, double d1, double d2, ratio_mode mode) {
  problem_spec s;
  s.predictors = 2;
  s.criteria = 1;
  s.mode = mode;
  s.regression_weights = true;
  s.criterion_weights = {1};
  s.correlations = {{1, r, a1}, {r, 1, a2}, {a1, a2, 1}};
  s.predictor_effects = {d1, d2};
  s.criterion_effects = {-0.4};
  s.minority_share = 0.25;
  return s;
}

TEST(pareto_mean_front_precision, TheBestWeightingIsPlacedToTheLastDigits) {
  // Two predictors with weights of any sign: the directions w = (cos phi,
  // sin phi) are every weighting. The mean along them, from the analysis,
  // scanned densely; its maximum placed by bisection on a central
  // difference of the mean. The front's first point must be that
  // weighting, in its effect size and weights to 1e-8, not only near it
  // in the mean (where 1e-6 off in the effect is 1e-12 in the mean).
  struct two_case {
    double r, a1, a2, d1, d2;
  };
  for (const two_case& c :
       {two_case{0.3, 0.4, 0.25, -1.0, -0.2}, two_case{-0.2, 0.3, 0.35, -0.3, -0.9},
        two_case{0.5, 0.45, 0.2, -0.8, 0.3}}) {
    for (const ratio_mode mode : {ratio_mode::overall, ratio_mode::majority}) {
      const problem p = make(two_predictors(c.r, c.a1, c.a2, c.d1, c.d2, mode));
      pareto_options o;
      o.mode = mode;
      o.ratio = 0.3;
      o.signs = weight_signs::any;
      o.objective = pareto_objective::mean;
      const auto mean_at = [&](double phi) {
        const std::vector<double> w = {std::cos(phi), std::sin(phi)};
        return evaluate_mean(p, w, o).second;
      };
      constexpr int steps = 20000;
      double best_phi = 0;
      for (int k = 1; k < steps; ++k) {
        const double phi = 2 * std::numbers::pi * k / steps;
        if (mean_at(phi) > mean_at(best_phi)) best_phi = phi;
      }
      const double h = 1e-5;
      const auto slope = [&](double phi) {
        return (mean_at(phi + h) - mean_at(phi - h)) / (2 * h);
      };
      double lo = best_phi - 2 * std::numbers::pi / steps;
      double hi = best_phi + 2 * std::numbers::pi / steps;
      ASSERT_GT(slope(lo), 0);
      ASSERT_LT(slope(hi), 0);
      for (int k = 0; k < 60; ++k) {
        const double mid = lo + (hi - lo) / 2;
        (slope(mid) > 0 ? lo : hi) = mid;
      }
      const double phi = lo + (hi - lo) / 2;
      const std::vector<double> w = {std::cos(phi), std::sin(phi)};
      const composite_statistics want = analysis::composite_statistics(p, w);
      const weighting_outcome got = find_pareto_front(p, o).value->points.front();
      SCOPED_TRACE(mode == ratio_mode::overall ? "overall" : "majority");
      EXPECT_NEAR(got.composite_d, want.predictor_effect, 1e-8);
      EXPECT_NEAR(got.validity, want.validity, 1e-8);
      EXPECT_NEAR(*got.mean, mean_at(phi), 1e-14);
      // The same weights, scaled as the front scales them.
      const double sum = w[0] + w[1];
      const double by =
          sum > 1e-9 * (std::abs(w[0]) + std::abs(w[1])) ? sum : std::abs(w[0]) + std::abs(w[1]);
      EXPECT_NEAR(got.weights[0], w[0] / by, 1e-8);
      EXPECT_NEAR(got.weights[1], w[1] / by, 1e-8);
    }
  }
}

}  // namespace
}  // namespace fourfifths
