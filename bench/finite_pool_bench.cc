// Finite pools: one exact row at each pool size up to the largest computed
// exactly, and a simulated row of several groups per 10,000 pools, so that
// the guide's "under a second of CPU for a table at 2,000 applicants" and
// the simulation's cost per score can be read off.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "fourfifths/finite_pool.h"

namespace {

void BM_ExactRow(benchmark::State& state) {
  const fourfifths::pool_population pop{{{"majority", 0.75, 0}, {"minority", 0.25, -1}}};
  const double ratios[] = {0.5};
  const fourfifths::pool_options o{.applicants = state.range(0)};
  for (auto _ : state) benchmark::DoNotOptimize(fourfifths::finite_pool_at(pop, ratios, o));
}
BENCHMARK(BM_ExactRow)->Arg(20)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond);

void BM_SimulatedRows(benchmark::State& state) {
  const fourfifths::pool_population pop{
      {{"majority", 0.65, 0}, {"B", 0.15, -1}, {"H", 0.15, -0.72}, {"A", 0.05, 0}}};
  const std::vector<double> ratios = {0.1, 0.3, 0.5, 0.7, 0.9};
  const fourfifths::pool_options o{.applicants = state.range(0), .replications = 10000};
  for (auto _ : state) benchmark::DoNotOptimize(fourfifths::finite_pool_at(pop, ratios, o));
  state.counters["scores/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * static_cast<double>(state.range(0)) * 10000,
      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SimulatedRows)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
