// One typical batch line (three predictors, one criterion, overall mode,
// the built-in ratios and two requested ones) from its JSON text to its
// rows, as a batch's worker handles it (keeping its memory from one line to
// the next), and what that cost is made of: reading the scenario, the
// analysis, writing the rows, a number in shortest form.
// bench/batch_bench.py times whole runs.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "explore/batch.h"
#include "present/numbers.h"
#include "present/scenario.h"
#include "present/table.h"

namespace {

const std::string typical_line =
    R"({"id": "s0000001", "mode": "overall", "quality": "criterion", "predictors": [{"name": "P1", "d": -1.0312, "weight": 0.5}, {"name": "P2", "d": -0.4123, "weight": 0.3}, {"name": "P3", "d": -0.1432, "weight": 0.2}], "criteria": [{"name": "C1", "d": -0.3123, "weight": 1}], "correlations": [[1, 0.3, 0.2, 0.5], [0.3, 1, 0.25, 0.4], [0.2, 0.25, 1, 0.3], [0.5, 0.4, 0.3, 1]], "majority_per_minority": 2, "requested_ratios": [0.15, 0.4]})";

void BM_BatchLine(benchmark::State& state, explore::batch_format format, fourfifths::method m) {
  explore::batch_options o;
  o.format = format;
  o.method = m;
  std::string out;
  explore::line_context context;
  for (auto _ : state) {
    out.clear();
    benchmark::DoNotOptimize(explore::batch_line(typical_line, 1, o, out, context));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * typical_line.size()));
}
BENCHMARK_CAPTURE(BM_BatchLine, csv_precise, explore::batch_format::csv,
                  fourfifths::method::precise)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_BatchLine, csv_classic, explore::batch_format::csv,
                  fourfifths::method::classic)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_BatchLine, jsonl_precise, explore::batch_format::jsonl,
                  fourfifths::method::precise)
    ->Unit(benchmark::kMicrosecond);

void BM_ReadScenario(benchmark::State& state) {
  present::scenario_reader reader;
  for (auto _ : state) {
    present::loaded_scenario s = reader.read(typical_line, present::id_rule::required);
    benchmark::DoNotOptimize(s);
  }
}
BENCHMARK(BM_ReadScenario)->Unit(benchmark::kMicrosecond);

void BM_Table(benchmark::State& state) {
  const present::loaded_scenario s = present::read_json_scenario(typical_line);
  for (auto _ : state) {
    present::table t = present::make_table(*s.problem, fourfifths::method::precise, std::nullopt);
    benchmark::DoNotOptimize(t);
  }
}
BENCHMARK(BM_Table)->Unit(benchmark::kMicrosecond);

void BM_CsvRows(benchmark::State& state) {
  const present::loaded_scenario s = present::read_json_scenario(typical_line);
  const present::table t =
      present::make_table(*s.problem, fourfifths::method::precise, std::nullopt);
  const std::string id = "s0000001";
  std::string out;
  present::csv_writer writer;
  for (auto _ : state) {
    out.clear();
    writer.append(out, t, &id);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_CsvRows)->Unit(benchmark::kMicrosecond);

// The numbers of the typical table's rows, each in shortest form: with the
// library's std::to_chars, and with present::write_shortest.
std::vector<double> table_numbers() {
  const present::loaded_scenario s = present::read_json_scenario(typical_line);
  const present::table t =
      present::make_table(*s.problem, fourfifths::method::precise, std::nullopt);
  std::vector<double> values;
  for (const present::table_row& row : t.rows) {
    const fourfifths::outcome& o = row.result;
    for (const double v : {o.sr_majority, o.sr_minority, o.ai_ratio, o.cut_score, o.mean_majority,
                           o.mean_minority, o.mean_difference}) {
      values.push_back(v);
    }
  }
  return values;
}

void BM_ToChars(benchmark::State& state) {
  const std::vector<double> values = table_numbers();
  char text[64];
  for (auto _ : state) {
    for (const double v : values) benchmark::DoNotOptimize(std::to_chars(text, text + 64, v).ptr);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * values.size()));
}
BENCHMARK(BM_ToChars);

void BM_WriteShortest(benchmark::State& state) {
  const std::vector<double> values = table_numbers();
  char text[present::shortest_size];
  for (auto _ : state) {
    for (const double v : values) benchmark::DoNotOptimize(present::write_shortest(text, v));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * values.size()));
}
BENCHMARK(BM_WriteShortest);

}  // namespace
