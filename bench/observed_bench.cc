// Observed data of a million rows (bench/observed_inputs.h) from the CSV
// text to the table, as `fourfifths-explore observed` makes it: read, the
// faults found in full, then the analysis handed row by row to the writer
// of a format (Fisher's test on every group against its unit's reference,
// Mantel-Haenszel across the units), its text thrown away as it comes.
// Times are of the process's CPU (user and system). The goals: a million
// rows of counts in 3 seconds in CSV, a million applicants' rows in half a
// second. The parts of the counts' cost follow: reading, the analysis
// collected whole, writing a collected analysis.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "observed_inputs.h"
#include "present/observed_input.h"
#include "present/observed_output.h"

namespace {

const std::string& counts_text() {
  static const std::string text = observed_inputs::counts_csv();
  return text;
}

const std::string& applicants_text() {
  static const std::string text = observed_inputs::applicants_csv();
  return text;
}

void report_rows(benchmark::State& state, std::size_t rows) {
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["rows_per_second"] =
      benchmark::Counter(static_cast<double>(rows) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}

// The whole path: text in, the table written as it is made.
std::size_t table_of(std::string_view text, present::table_format format) {
  const present::loaded_observed data = present::read_observed(text);
  std::size_t bytes = 0;
  const auto writer = present::make_observed_writer(
      format,
      [&](std::string_view piece) {
        bytes += piece.size();
        return true;
      },
      &data.value->counts);
  const auto faults = present::analyse(*data.value, data.value->options, *writer);
  if (faults.empty()) writer->finish();
  return bytes;
}

void BM_MillionCountsRows(benchmark::State& state) {
  const auto format = static_cast<present::table_format>(state.range(0));
  const std::string& text = counts_text();
  for (auto _ : state) benchmark::DoNotOptimize(table_of(text, format));
  report_rows(state, observed_inputs::units * observed_inputs::groups_per_unit);
}
BENCHMARK(BM_MillionCountsRows)
    ->ArgName("format")
    ->Arg(static_cast<int>(present::table_format::csv))
    ->Arg(static_cast<int>(present::table_format::json))
    ->Arg(static_cast<int>(present::table_format::text))
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->MeasureProcessCPUTime();

void BM_MillionApplicantRows(benchmark::State& state) {
  const std::string& text = applicants_text();
  for (auto _ : state) benchmark::DoNotOptimize(table_of(text, present::table_format::csv));
  report_rows(state, observed_inputs::applicants);
}
BENCHMARK(BM_MillionApplicantRows)->Unit(benchmark::kSecond)->Iterations(3)->MeasureProcessCPUTime();

void BM_ReadMillionRows(benchmark::State& state) {
  const std::string& text = counts_text();
  for (auto _ : state) benchmark::DoNotOptimize(present::read_observed(text));
  report_rows(state, observed_inputs::units * observed_inputs::groups_per_unit);
}
BENCHMARK(BM_ReadMillionRows)->Unit(benchmark::kSecond)->Iterations(1)->MeasureProcessCPUTime();

void BM_AnalyseMillionRows(benchmark::State& state) {
  const present::loaded_observed data = present::read_observed(counts_text());
  for (auto _ : state) {
    benchmark::DoNotOptimize(present::analyse(*data.value, data.value->options));
  }
  report_rows(state, observed_inputs::units * observed_inputs::groups_per_unit);
}
BENCHMARK(BM_AnalyseMillionRows)->Unit(benchmark::kSecond)->Iterations(1)->MeasureProcessCPUTime();

void BM_WriteMillionRows(benchmark::State& state) {
  const present::loaded_observed data = present::read_observed(counts_text());
  const fourfifths::observed_result r = present::analyse(*data.value, data.value->options);
  for (auto _ : state) benchmark::DoNotOptimize(present::observed_csv(*r.value));
  report_rows(state, observed_inputs::units * observed_inputs::groups_per_unit);
}
BENCHMARK(BM_WriteMillionRows)->Unit(benchmark::kSecond)->Iterations(1)->MeasureProcessCPUTime();

}  // namespace
