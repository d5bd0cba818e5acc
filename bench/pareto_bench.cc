// Time of the Pareto front as the report uses it: building the front and
// asking for 21 effects evenly spaced between its ends, for the published
// four-predictor example and for random problems of 10 and 30 predictors
// (effect sizes all negative, the usual case, or of mixed sign); and one
// at_effect call alone on a built front. Then the library's whole answer
// (fourfifths::find_pareto_front: the front carried to the impact ratio at
// an overall selection ratio of 0.10, every point with its outcome and its
// four-fifths minimum, and the marks) and its --min-ai answer, with
// validity and with the mean of those selected as quality.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <stdexcept>
#include <vector>

#include "fourfifths/fourfifths.h"
#include "pareto/frontier.h"

namespace {

struct problem {
  int n = 0;
  std::vector<double> r, a, d;
};

problem published_example() {
  return {4,
          {1.00, 0.24, 0.00, 0.19, 0.24, 1.00, 0.12, 0.16, 0.00, 0.12, 1.00, 0.51, 0.19, 0.16, 0.51,
           1.00},
          {0.30, 0.30, 0.18, 0.28},
          {-1.00, -0.23, -0.09, -0.33}};
}

// A correlation matrix from three common factors, validities in (0.05,
// 0.5), effect sizes in (-1.1, -0.02) or (-1, 0.5).
problem random_problem(int n, std::uint64_t seed, bool mixed) {
  std::mt19937_64 engine(seed);
  const auto uniform = [&](double lo, double hi) {
    return lo + (hi - lo) * static_cast<double>(engine() >> 11) * 0x1p-53;
  };
  constexpr int factors = 3;
  const auto size = static_cast<std::size_t>(n);
  std::vector<double> loading(size * factors);
  for (std::size_t i = 0; i < size; ++i) {
    double sum = 0;
    for (std::size_t k = 0; k < factors; ++k) {
      loading[i * factors + k] = uniform(-0.8, 0.8);
      sum += loading[i * factors + k] * loading[i * factors + k];
    }
    const double cap = uniform(0.3, 0.9);
    if (sum > cap) {
      for (std::size_t k = 0; k < factors; ++k) loading[i * factors + k] *= std::sqrt(cap / sum);
    }
  }
  problem p;
  p.n = n;
  p.r.resize(size * size);
  for (std::size_t i = 0; i < size; ++i) {
    for (std::size_t j = 0; j < size; ++j) {
      double s = 0;
      for (std::size_t k = 0; k < factors; ++k)
        s += loading[i * factors + k] * loading[j * factors + k];
      p.r[i * size + j] = i == j ? 1.0 : s;
    }
  }
  for (std::size_t j = 0; j < size; ++j) {
    p.a.push_back(uniform(0.05, 0.5));
    p.d.push_back(mixed ? uniform(-1.0, 0.5) : uniform(-1.1, -0.02));
  }
  return p;
}

void run_front(benchmark::State& state, const problem& p) {
  for (auto _ : state) {
    const pareto::frontier f(p.n, p.r, p.a, p.d);
    const double e0 = f.quality_end().effect;
    const double e1 = f.impact_end().effect;
    for (int k = 0; k <= 20; ++k) {
      const double e = k == 20 ? e1 : e0 + (e1 - e0) * k / 20;
      benchmark::DoNotOptimize(f.at_effect(e));
    }
  }
  const pareto::frontier f(p.n, p.r, p.a, p.d);
  state.counters["pieces"] = static_cast<double>(f.pieces().size());
  state.counters["concave"] = f.concave() ? 1 : 0;
}

void run_single(benchmark::State& state, const problem& p) {
  const pareto::frontier f(p.n, p.r, p.a, p.d);
  // Effects spread over the front, so that no one branch is always taken.
  std::vector<double> effects;
  effects.reserve(16);
  for (int k = 0; k < 16; ++k) {
    effects.push_back(f.quality_end().effect +
                      (f.impact_end().effect - f.quality_end().effect) * (k + 0.5) / 16);
  }
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(f.at_effect(effects[i++ % effects.size()]));
}

void bm_front_published_4(benchmark::State& state) { run_front(state, published_example()); }
BENCHMARK(bm_front_published_4)->Unit(benchmark::kMicrosecond);

void bm_front_random_10(benchmark::State& state) {
  run_front(state, random_problem(10, 10, state.range(0) != 0));
}
BENCHMARK(bm_front_random_10)->Arg(0)->Arg(1)->ArgName("mixed")->Unit(benchmark::kMicrosecond);

void bm_front_random_30(benchmark::State& state) {
  run_front(state, random_problem(30, 30, state.range(0) != 0));
}
BENCHMARK(bm_front_random_30)->Arg(0)->Arg(1)->ArgName("mixed")->Unit(benchmark::kMicrosecond);

// Seed 1 gives a front that is not concave: the stretch near the impact end
// comes from the pairs of predictors.
void bm_front_random_30_not_concave(benchmark::State& state) {
  run_front(state, random_problem(30, 1, false));
}
BENCHMARK(bm_front_random_30_not_concave)->Unit(benchmark::kMicrosecond);

void bm_at_effect_published_4(benchmark::State& state) { run_single(state, published_example()); }
BENCHMARK(bm_at_effect_published_4);

void bm_at_effect_random_30(benchmark::State& state) {
  run_single(state, random_problem(30, 30, state.range(0) != 0));
}
BENCHMARK(bm_at_effect_random_30)->Arg(0)->Arg(1)->ArgName("mixed");

void bm_at_effect_random_30_not_concave(benchmark::State& state) {
  run_single(state, random_problem(30, 1, false));
}
BENCHMARK(bm_at_effect_random_30_not_concave);

}  // namespace

namespace {

// The problem of the library for a frontier problem: one criterion whose
// correlations with the predictors are the validities, three majority
// applicants per minority applicant, effect size -0.21 on the criterion.
fourfifths::problem library_problem(const problem& f) {
  fourfifths::problem_spec s;
  s.predictors = f.n;
  s.criteria = 1;
  s.regression_weights = true;
  s.criterion_weights = {1};
  const auto n = static_cast<std::size_t>(f.n);
  s.correlations.assign(n + 1, std::vector<double>(n + 1, 0.0));
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j) s.correlations[i][j] = f.r[i * n + j];
    s.correlations[i][n] = s.correlations[n][i] = f.a[i];
  }
  s.correlations[n][n] = 1;
  s.predictor_effects = f.d;
  s.criterion_effects = {-0.21};
  s.majority_per_minority = 3;
  fourfifths::problem_result built = fourfifths::make_problem(s);
  if (!built.value) throw std::invalid_argument(built.errors.front().text());
  return *built.value;
}

void run_library_front(
    benchmark::State& state, const problem& f,
    fourfifths::pareto_objective objective = fourfifths::pareto_objective::validity) {
  const fourfifths::problem p = library_problem(f);
  fourfifths::pareto_options o;
  o.ratio = 0.10;
  o.objective = objective;
  for (auto _ : state) {
    fourfifths::pareto_result r = fourfifths::find_pareto_front(p, o);
    benchmark::DoNotOptimize(r);
    if (!r.value) state.SkipWithError(r.message.c_str());
  }
}

void bm_library_front_published_4(benchmark::State& state) {
  run_library_front(state, published_example());
}
BENCHMARK(bm_library_front_published_4)->Unit(benchmark::kMicrosecond);

void bm_library_front_random_10(benchmark::State& state) {
  run_library_front(state, random_problem(10, 10, false));
}
BENCHMARK(bm_library_front_random_10)->Unit(benchmark::kMicrosecond);

// A problem holds at most 30 variables: 29 predictors and the criterion.
void bm_library_front_random_29(benchmark::State& state) {
  run_library_front(state, random_problem(29, 30, false));
}
BENCHMARK(bm_library_front_random_29)->Unit(benchmark::kMicrosecond);

// The mean of those selected as quality: the whole upper edge searched by
// branch and bound, once for the best of all and once between each two
// ratios asked for.
void bm_library_mean_front_published_4(benchmark::State& state) {
  run_library_front(state, published_example(), fourfifths::pareto_objective::mean);
}
BENCHMARK(bm_library_mean_front_published_4)->Unit(benchmark::kMicrosecond);

void bm_library_mean_front_random_29(benchmark::State& state) {
  run_library_front(state, random_problem(29, 30, false), fourfifths::pareto_objective::mean);
}
BENCHMARK(bm_library_mean_front_random_29)->Unit(benchmark::kMicrosecond);

void bm_library_min_ai_published_4(benchmark::State& state) {
  const fourfifths::problem p = library_problem(published_example());
  fourfifths::pareto_options o;
  o.ratio = 0.10;
  for (auto _ : state) {
    fourfifths::min_ai_result r = fourfifths::best_weighting_for_min_ai(p, o, 0.8);
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(bm_library_min_ai_published_4)->Unit(benchmark::kMicrosecond);

}  // namespace

namespace {

// Three minority groups on the published example's predictors: the first
// group the example's own, two others with other profiles; the criterion
// as library_problem's.
fourfifths::group_problem three_group_problem(fourfifths::ratio_mode mode) {
  const problem f = published_example();
  fourfifths::group_problem_spec spec;
  fourfifths::problem_spec& s = spec.base;
  s.predictors = 4;
  s.criteria = 1;
  s.regression_weights = true;
  s.criterion_weights = {1};
  s.mode = mode;
  s.correlations.assign(5, std::vector<double>(5, 0.0));
  for (std::size_t i = 0; i < 4; ++i) {
    for (std::size_t j = 0; j < 4; ++j) s.correlations[i][j] = f.r[i * 4 + j];
    s.correlations[i][4] = s.correlations[4][i] = f.a[i];
  }
  s.correlations[4][4] = 1;
  spec.groups = {{"G1", 0.15, {-1.00, -0.23, -0.09, -0.33, -0.21}},
                 {"G2", 0.10, {-0.70, -0.10, -0.30, -0.10, -0.20}},
                 {"G3", 0.05, {-0.30, -0.50, 0.10, -0.20, -0.10}}};
  fourfifths::group_problem_result built = fourfifths::make_group_problem(spec);
  if (!built.value) throw std::invalid_argument(built.errors.front().text());
  return *built.value;
}

// Six predictors (cognitive ability, structured interview, conscientiousness,
// biodata, integrity, work sample; a made-up but positive definite matrix,
// least eigenvalue 0.23) and four minority groups of other profiles, one
// scoring above the majority on two predictors.
fourfifths::group_problem four_group_problem(fourfifths::ratio_mode mode) {
  fourfifths::group_problem_spec spec;
  fourfifths::problem_spec& s = spec.base;
  s.predictors = 6;
  s.criteria = 1;
  s.regression_weights = true;
  s.criterion_weights = {1};
  s.mode = mode;
  s.correlations = {{1.00, 0.31, 0.00, 0.37, 0.02, 0.38, 0.51},
                    {0.31, 1.00, 0.12, 0.16, 0.09, 0.30, 0.48},
                    {0.00, 0.12, 1.00, 0.51, 0.70, 0.10, 0.22},
                    {0.37, 0.16, 0.51, 1.00, 0.33, 0.25, 0.32},
                    {0.02, 0.09, 0.70, 0.33, 1.00, 0.05, 0.34},
                    {0.38, 0.30, 0.10, 0.25, 0.05, 1.00, 0.33},
                    {0.51, 0.48, 0.22, 0.32, 0.34, 0.33, 1.00}};
  spec.groups = {{"G1", 0.12, {-1.00, -0.23, -0.09, -0.33, -0.05, -0.52, -0.40}},
                 {"G2", 0.10, {-0.70, -0.10, -0.30, -0.10, 0.00, -0.35, -0.30}},
                 {"G3", 0.06, {-0.30, -0.50, 0.10, -0.20, 0.15, -0.10, -0.20}},
                 {"G4", 0.04, {0.20, -0.40, -0.25, 0.10, -0.30, -0.15, -0.05}}};
  fourfifths::group_problem_result built = fourfifths::make_group_problem(spec);
  if (!built.value) throw std::invalid_argument(built.errors.front().text());
  return *built.value;
}

// A 21-point front of validity against the lowest ratio to the highest
// rate at a selection ratio of 0.10, overall or majority (the first
// argument) and with non-negative weights or any signs (the second).
void run_group_front(benchmark::State& state, fourfifths::group_problem (*make)(fourfifths::ratio_mode)) {
  const auto mode =
      state.range(0) == 0 ? fourfifths::ratio_mode::overall : fourfifths::ratio_mode::majority;
  const fourfifths::group_problem p = make(mode);
  fourfifths::pareto_options o;
  o.ratio = 0.10;
  o.mode = mode;
  o.points = 21;
  o.signs =
      state.range(1) == 0 ? fourfifths::weight_signs::nonnegative : fourfifths::weight_signs::any;
  int proved = 0;
  int points = 0;
  double far_gap = 0;
  double worst_gap = 0;
  for (auto _ : state) {
    fourfifths::group_pareto_result r = fourfifths::find_group_pareto_front(p, o);
    if (!r.value) {
      state.SkipWithError(r.message.c_str());
      break;
    }
    points = static_cast<int>(r.value->points.size());
    proved = 0;
    worst_gap = 0;
    for (const auto& w : r.value->points) {
      proved += w.proved_optimal ? 1 : 0;
      // (A point without a bound counts as infinitely far from one.)
      if (std::isnan(w.gap)) {
        worst_gap = std::numeric_limits<double>::infinity();
      } else {
        worst_gap = std::max(worst_gap, w.gap);
      }
    }
    far_gap = r.value->highest_level_bound - r.value->points.back().lowest_ratio_to_highest;
    benchmark::DoNotOptimize(r);
  }
  state.counters["points"] = points;
  state.counters["proved"] = proved;
  state.counters["far_gap"] = far_gap;
  state.counters["worst_gap"] = worst_gap;
}

void bm_group_front_4_predictors_3_groups(benchmark::State& state) {
  run_group_front(state, three_group_problem);
}
void bm_group_front_6_predictors_4_groups(benchmark::State& state) {
  run_group_front(state, four_group_problem);
}
BENCHMARK(bm_group_front_4_predictors_3_groups)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"majority", "any"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(bm_group_front_6_predictors_4_groups)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"majority", "any"})
    ->Unit(benchmark::kMillisecond);

// Monte Carlo cross-validation of a 21-point front: 1,000 calibration
// samples of 200 applicants, at the population front's levels, on 1 and 2
// threads (goals: one group at most 1 s and three groups at most 10 s on
// one core; 2 threads at least 1.8 times as fast). Real time, so that the
// threads' gain shows.
void run_cross_validation(benchmark::State& state, const fourfifths::group_problem& p) {
  fourfifths::pareto_options o;
  o.ratio = 0.15;
  const fourfifths::group_pareto_result front = fourfifths::find_group_pareto_front(p, o);
  if (!front.value) throw std::invalid_argument("no front");
  std::vector<double> levels;
  for (const auto& w : front.value->points)
    levels.push_back(levels.empty() ? 0.0 : w.lowest_ratio_to_highest);
  const fourfifths::calibration_options c{.calibration_n = 200,
                                          .replications = 1000,
                                          .seed = 1,
                                          .threads = static_cast<unsigned>(state.range(0))};
  for (auto _ : state) {
    const fourfifths::cross_validation_result r = fourfifths::cross_validate(p, o, levels, c);
    if (!r.value) throw std::invalid_argument("no cross-validation");
    benchmark::DoNotOptimize(r);
  }
}

void bm_cross_validation_4_predictors_1_group(benchmark::State& state) {
  fourfifths::group_problem_spec spec;
  const fourfifths::group_problem three = three_group_problem(fourfifths::ratio_mode::overall);
  spec.base = three.base().spec();
  spec.base.predictor_effects.clear();
  spec.base.criterion_effects.clear();
  spec.groups = {three.groups()[0]};
  spec.groups[0].share = 0.25;
  fourfifths::group_problem_result built = fourfifths::make_group_problem(spec);
  if (!built.value) throw std::invalid_argument(built.errors.front().text());
  run_cross_validation(state, *built.value);
}
void bm_cross_validation_4_predictors_3_groups(benchmark::State& state) {
  run_cross_validation(state, three_group_problem(fourfifths::ratio_mode::overall));
}
BENCHMARK(bm_cross_validation_4_predictors_1_group)
    ->Arg(1)
    ->Arg(2)
    ->ArgName("threads")
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(bm_cross_validation_4_predictors_3_groups)
    ->Arg(1)
    ->Arg(2)
    ->ArgName("threads")
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
