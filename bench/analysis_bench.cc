// The engine on the typical deck (three predictors, one criterion, overall
// mode, two requested ratios): the analysis alone with each method, and one
// outcome at one ratio. The whole report in memory is report_bench.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>

#include "fourfifths/fourfifths.h"

namespace {

fourfifths::problem typical() {
  std::ifstream in(FOURFIFTHS_SOURCE_DIR "/bench/typical.deck", std::ios::binary);
  const std::string deck{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return *fourfifths::read_deck(deck).value;
}

void BM_Analysis(benchmark::State& state, fourfifths::method m) {
  const fourfifths::problem p = typical();
  for (auto _ : state) {
    fourfifths::analysis_result a = fourfifths::analyse(p, m);
    benchmark::DoNotOptimize(a);
  }
}
BENCHMARK_CAPTURE(BM_Analysis, classic, fourfifths::method::classic)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Analysis, precise, fourfifths::method::precise)->Unit(benchmark::kMicrosecond);

void BM_OneOutcome(benchmark::State& state, fourfifths::method m) {
  const fourfifths::selection_model model = fourfifths::model_of(typical());
  for (auto _ : state) {
    fourfifths::outcome o = fourfifths::outcome_at(model, 0.3, m);
    benchmark::DoNotOptimize(o);
  }
}
BENCHMARK_CAPTURE(BM_OneOutcome, classic, fourfifths::method::classic);
BENCHMARK_CAPTURE(BM_OneOutcome, precise, fourfifths::method::precise);

void BM_FourFifthsMinimum(benchmark::State& state, fourfifths::method m) {
  const fourfifths::selection_model model = fourfifths::model_of(typical());
  for (auto _ : state) {
    fourfifths::four_fifths_minimum f = fourfifths::find_four_fifths_minimum(model, m);
    benchmark::DoNotOptimize(f);
  }
}
BENCHMARK_CAPTURE(BM_FourFifthsMinimum, classic, fourfifths::method::classic);
BENCHMARK_CAPTURE(BM_FourFifthsMinimum, precise, fourfifths::method::precise);

}  // namespace
