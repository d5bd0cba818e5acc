// Time of the Pareto front as the report uses it: building the front and
// asking for 21 effects evenly spaced between its ends, for the published
// four-predictor example and for random problems of 10 and 30 predictors
// (effect sizes all negative, the usual case, or of mixed sign); and one
// at_effect call alone on a built front.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

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
