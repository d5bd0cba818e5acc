// A million groups' rows of observed counts (the counts form, 250,000 units
// of four groups; applicants from 1 to 5,000 spread evenly on a log scale,
// rates from 2% to 60%) from the CSV text to the CSV table, and what that
// cost is made of: reading, the analysis (with Fisher's test on every
// group against its unit's reference, and Mantel-Haenszel across the
// units), writing. The goal is the whole under 5 seconds; the process
// (fourfifths-explore observed FILE -o OUT) adds the file's reading and
// writing.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include "present/observed_input.h"
#include "present/observed_output.h"

namespace {

constexpr std::size_t units = 250000;
constexpr std::size_t groups_per_unit = 4;

// The counts as a file gives them, the same on every run.
const std::string& million_rows() {
  static const std::string text = [] {
    std::mt19937_64 random(20261208);
    std::uniform_real_distribution<double> unit_interval(0, 1);
    std::string out = "unit,group,applicants,selected\n";
    out.reserve(40 * units * groups_per_unit);
    const char* names[groups_per_unit] = {"men", "women", "older", "younger"};
    for (std::size_t u = 0; u < units; ++u) {
      const double base = 0.02 + 0.58 * unit_interval(random);
      for (const char* name : names) {
        const auto applicants =
            static_cast<std::int64_t>(std::exp(std::log(5000.0) * unit_interval(random))) + 1;
        const double rate = std::min(1.0, base * (0.5 + unit_interval(random)));
        const auto selected =
            static_cast<std::int64_t>(std::floor(rate * static_cast<double>(applicants)));
        out += "j" + std::to_string(u) + "," + name + "," + std::to_string(applicants) + "," +
               std::to_string(selected) + "\n";
      }
    }
    return out;
  }();
  return text;
}

void report_rows(benchmark::State& state) {
  const auto rows = static_cast<double>(units * groups_per_unit);
  state.counters["rows"] = rows;
  state.counters["rows_per_second"] = benchmark::Counter(
      rows * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_ReadMillionRows(benchmark::State& state) {
  const std::string& text = million_rows();
  for (auto _ : state) benchmark::DoNotOptimize(present::read_observed(text));
  report_rows(state);
}
BENCHMARK(BM_ReadMillionRows)->Unit(benchmark::kSecond)->Iterations(1);

void BM_AnalyseMillionRows(benchmark::State& state) {
  const present::loaded_observed data = present::read_observed(million_rows());
  for (auto _ : state) {
    benchmark::DoNotOptimize(present::analyse(*data.value, data.value->options));
  }
  report_rows(state);
}
BENCHMARK(BM_AnalyseMillionRows)->Unit(benchmark::kSecond)->Iterations(1);

void BM_WriteMillionRows(benchmark::State& state) {
  const present::loaded_observed data = present::read_observed(million_rows());
  const fourfifths::observed_result r = present::analyse(*data.value, data.value->options);
  for (auto _ : state) benchmark::DoNotOptimize(present::observed_csv(*r.value));
  report_rows(state);
}
BENCHMARK(BM_WriteMillionRows)->Unit(benchmark::kSecond)->Iterations(1);

// The whole: text in, table out.
void BM_MillionRows(benchmark::State& state) {
  const std::string& text = million_rows();
  for (auto _ : state) {
    const present::loaded_observed data = present::read_observed(text);
    const fourfifths::observed_result r = present::analyse(*data.value, data.value->options);
    benchmark::DoNotOptimize(present::observed_csv(*r.value));
  }
  report_rows(state);
}
BENCHMARK(BM_MillionRows)->Unit(benchmark::kSecond)->Iterations(3);

}  // namespace
