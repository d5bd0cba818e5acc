// The engine on the typical deck (three predictors, one criterion, overall
// mode, two requested ratios): the analysis alone with each method, and one
// outcome at one ratio. The whole report in memory is report_bench.
// The same analysis of the deck's variables with 1 to 4 minority groups
// (the built-in ratios, the four-fifths minimum and the requested ratios,
// by the precise method): the goal is at most twice the one-group cost at
// 4 groups.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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

// The deck's variables with `groups` minority groups: the deck's effect
// sizes scaled by 1, 0.7, 0.4 and -0.2, shares of 0.1 each.
fourfifths::group_problem with_groups(int groups) {
  const fourfifths::problem one = typical();
  fourfifths::group_problem_spec spec;
  spec.base = one.spec();
  std::vector<double> d = spec.base.predictor_effects;
  d.insert(d.end(), spec.base.criterion_effects.begin(), spec.base.criterion_effects.end());
  spec.base.predictor_effects.clear();
  spec.base.criterion_effects.clear();
  spec.base.minority_share.reset();
  spec.base.majority_per_minority.reset();
  constexpr double scales[] = {1, 0.7, 0.4, -0.2};
  for (int g = 0; g < groups; ++g) {
    fourfifths::minority_group group{"G" + std::to_string(g + 1), 0.1, d};
    for (double& x : group.d) x *= scales[g];
    spec.groups.push_back(std::move(group));
  }
  return *fourfifths::make_group_problem(std::move(spec)).value;
}

void BM_GroupAnalysis(benchmark::State& state) {
  const fourfifths::group_problem p = with_groups(static_cast<int>(state.range(0)));
  const fourfifths::problem_spec& spec = p.base().spec();
  std::vector<double> ratios(fourfifths::builtin_ratios.begin(), fourfifths::builtin_ratios.end());
  ratios.insert(ratios.end(), spec.requested_ratios.begin(), spec.requested_ratios.end());
  for (auto _ : state) {
    const fourfifths::group_model model = fourfifths::group_model_of(p);
    fourfifths::group_minimum minimum = fourfifths::find_group_minimum(model);
    benchmark::DoNotOptimize(minimum);
    for (const double r : ratios) {
      fourfifths::group_outcome o = fourfifths::group_outcome_at(model, r);
      benchmark::DoNotOptimize(o);
    }
  }
}
BENCHMARK(BM_GroupAnalysis)->DenseRange(1, 4)->Unit(benchmark::kMicrosecond);

}  // namespace
