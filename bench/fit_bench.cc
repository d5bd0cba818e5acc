// fit on a million people's rows of six scores (four predictors, two
// criteria, three groups), as `fourfifths-explore fit` runs it: the CSV
// text read and checked, the incomplete rows left out, the estimate and the
// scenario; and the same from columns, as the Python and R faces hand them
// over. Times are of the process's CPU. The goal: a million rows of six
// variables in 1 second from CSV.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>
#include <vector>

#include "numeric/random_draws.h"
#include "present/fit.h"
#include "present/numbers.h"

namespace {

constexpr std::size_t rows = 1'000'000;
constexpr std::size_t variables = 6;
const char* const labels[] = {"majority", "Black", "Hispanic"};

struct sample {
  std::vector<int> group;
  std::vector<std::vector<double>> scores;
  std::string csv;
};

// Scores as a file has them: every number in shortest round-trip form
// (about 19 characters), one blank cell in a thousand.
const sample& million() {
  static const sample s = [] {
    sample out;
    numeric::random_draws z(numeric::stream_generator(2026, 0));
    out.scores.assign(variables, std::vector<double>(rows));
    out.csv = "group,p1,p2,p3,p4,c1,c2\n";
    for (std::size_t i = 0; i < rows; ++i) {
      const int k = i % 10 < 7 ? 0 : (i % 10 < 9 ? 1 : 2);
      out.group.push_back(k);
      out.csv += labels[k];
      for (std::size_t j = 0; j < variables; ++j) {
        const double x = z.normal() - 0.5 * k;
        out.scores[j][i] = x;
        out.csv += ',';
        if ((i * variables + j) % 1000 != 999) out.csv += present::shortest(x);
      }
      out.csv += '\n';
    }
    return out;
  }();
  return s;
}

present::fit_request request() {
  present::fit_request r;
  r.group = "group";
  r.predictors = {"p1", "p2", "p3", "p4"};
  r.criteria = {"c1", "c2"};
  return r;
}

void BM_FitMillionRowsCsv(benchmark::State& state) {
  const std::string& text = million().csv;
  for (auto _ : state) {
    const present::loaded_scenario s = present::fit_csv(text, request());
    if (!s.value) state.SkipWithError("the sample did not fit");
    benchmark::DoNotOptimize(s);
  }
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(BM_FitMillionRowsCsv)->Unit(benchmark::kSecond)->Iterations(3)->MeasureProcessCPUTime();

void BM_FitMillionRowsColumns(benchmark::State& state) {
  const sample& m = million();
  present::sample_columns columns;
  columns.labels.assign(std::begin(labels), std::end(labels));
  columns.group = m.group;
  for (const std::vector<double>& c : m.scores) columns.scores.emplace_back(c);
  for (auto _ : state) {
    const present::loaded_scenario s = present::fit_columns(columns, request());
    if (!s.value) state.SkipWithError("the sample did not fit");
    benchmark::DoNotOptimize(s);
  }
  state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_FitMillionRowsColumns)
    ->Unit(benchmark::kSecond)
    ->Iterations(3)
    ->MeasureProcessCPUTime();

}  // namespace
