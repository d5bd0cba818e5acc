// One whole report for a typical deck (three predictors, one criterion,
// overall mode, two requested ratios), run in-process on a deck in memory.
#include <benchmark/benchmark.h>

#include <string_view>

#include "analysis/driver.h"

namespace {

constexpr std::string_view typical_deck =
    "3 1 1 0 1 2\n"
    "2\n"
    ".5 .3 .2\n"
    "1\n"
    "1 .3 .2 .5\n"
    ".3 1 .25 .4\n"
    ".2 .25 1 .3\n"
    ".5 .4 .3 1\n"
    "-1 -.4 -.1\n"
    "-.3\n"
    ".15 .4\n";

void BM_WholeReport(benchmark::State& state) {
  for (auto _ : state) {
    analysis::run_result r = analysis::run_in_memory(typical_deck);
    benchmark::DoNotOptimize(r);
    if (r.status != 0) state.SkipWithError("the typical deck did not run");
  }
}
BENCHMARK(BM_WholeReport)->Unit(benchmark::kMicrosecond);

}  // namespace
