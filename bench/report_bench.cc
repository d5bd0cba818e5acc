// One whole report for a typical deck (three predictors, one criterion,
// overall mode, two requested ratios), run in-process on a deck in memory.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>

#include "fourfifths/classic.h"

namespace {

// bench/typical.deck, read once before timing.
std::string typical_deck() {
  std::ifstream in(FOURFIFTHS_SOURCE_DIR "/bench/typical.deck", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void BM_WholeReport(benchmark::State& state) {
  const std::string deck = typical_deck();
  for (auto _ : state) {
    fourfifths::classic_run r = fourfifths::run_classic(deck);
    benchmark::DoNotOptimize(r);
    if (r.status != fourfifths::run_status::normal)
      state.SkipWithError("the typical deck did not run");
  }
}
BENCHMARK(BM_WholeReport)->Unit(benchmark::kMicrosecond);

}  // namespace
