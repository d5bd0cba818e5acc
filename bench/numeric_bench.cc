// Time per call of the normal-distribution routines, and of one zero-finder
// solve of the kind the analysis makes: a smooth monotone objective on
// [-8, 8] with the tolerances 1e-4 (relative) and 1e-6 (absolute).
#include <benchmark/benchmark.h>

#include <array>
#include <cstddef>

#include "numeric/dfzero.h"
#include "numeric/normal.h"

namespace {

// Arguments spread over every region, so that no branch predictor or cache
// sees only one path.
template <std::size_t N>
constexpr std::array<double, N> spread(double low, double high) {
  std::array<double, N> out{};
  for (std::size_t i = 0; i < N; ++i)
    out[i] = low + (high - low) * (static_cast<double>(i) + 0.5) / N;
  return out;
}

void bm_ppnd_central(benchmark::State& state) {
  constexpr auto ps = spread<64>(0.08, 0.92);
  std::size_t i = 0;
  for (auto _ : state) {
    int ifault;
    benchmark::DoNotOptimize(numeric::ppnd(ps[i++ % ps.size()], ifault));
  }
}
BENCHMARK(bm_ppnd_central);

void bm_ppnd_tails(benchmark::State& state) {
  static constexpr std::array<double, 8> ps = {1e-3,  0.05,  0.97,   1e-8,
                                               1e-12, 1e-20, 1e-100, 1 - 1e-15};
  std::size_t i = 0;
  for (auto _ : state) {
    int ifault;
    benchmark::DoNotOptimize(numeric::ppnd(ps[i++ % ps.size()], ifault));
  }
}
BENCHMARK(bm_ppnd_tails);

// normp over points spread through one of its two branches.
template <std::size_t N>
void run_normp(benchmark::State& state, const std::array<double, N>& zs) {
  std::size_t i = 0;
  for (auto _ : state) {
    double p, q, pdf;
    numeric::normp(zs[i++ % zs.size()], p, q, pdf);
    benchmark::DoNotOptimize(p);
    benchmark::DoNotOptimize(q);
    benchmark::DoNotOptimize(pdf);
  }
}

void bm_normp_rational(benchmark::State& state) {
  constexpr auto zs = spread<64>(-7, 7);
  run_normp(state, zs);
}
BENCHMARK(bm_normp_rational);

void bm_normp_fraction(benchmark::State& state) {
  constexpr auto zs = spread<64>(7.1, 37);
  run_normp(state, zs);
}
BENCHMARK(bm_normp_fraction);

// The upper tail minus a target, like the analysis's cut-score objectives.
double target = 0.3;
long evaluations = 0;
double upper_tail_minus_target(double x) {
  ++evaluations;
  return 1 - numeric::alnorm(x, false) - target;
}

void bm_dfzero_solve(benchmark::State& state) {
  constexpr auto targets = spread<16>(0.01, 0.99);
  std::size_t i = 0;
  evaluations = 0;
  for (auto _ : state) {
    target = targets[i++ % targets.size()];
    double b = -8;
    double c = 8;
    int iflag;
    numeric::dfzero(upper_tail_minus_target, b, c, -8, 1e-4, 1e-6, iflag);
    benchmark::DoNotOptimize(b);
    benchmark::DoNotOptimize(iflag);
  }
  state.counters["evaluations"] =
      benchmark::Counter(static_cast<double>(evaluations), benchmark::Counter::kAvgIterations);
}
BENCHMARK(bm_dfzero_solve);

}  // namespace
