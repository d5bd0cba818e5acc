// The precise method against the exact outcomes of the conformance decks,
// computed in 50-digit arithmetic by an independent model
// (tests/golden/precise/README.md gives the columns and the tolerance).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "fourfifths/analysis.h"
#include "fourfifths/problem.h"

namespace {

const std::string root = FOURFIFTHS_SOURCE_DIR "/tests/golden";

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The fields of a line, its line end (a newline, or a carriage return and
// a newline) left out.
std::vector<std::string> split(std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, ',')) fields.push_back(field);
  if (!line.empty() && line.back() == ',') fields.emplace_back();
  return fields;
}

struct row {
  std::string deck;
  std::string kind;
  int index = 0;
  std::map<std::string, std::optional<double>> values;
};

std::vector<row> expected_rows() {
  std::istringstream in(slurp(root + "/precise/valid.csv"));
  std::string line;
  std::getline(in, line);
  const std::vector<std::string> header = split(line);
  std::vector<row> rows;
  while (std::getline(in, line)) {
    const std::vector<std::string> f = split(line);
    row r{f[0], f[1], std::atoi(f[2].c_str()), {}};
    for (std::size_t i = 3; i < header.size(); ++i) {
      r.values[header[i]] = i < f.size() && !f[i].empty()
                                ? std::optional<double>(std::strtod(f[i].c_str(), nullptr))
                                : std::nullopt;
    }
    rows.push_back(std::move(r));
  }
  return rows;
}

// The tolerance of the file: relative for the selection ratios and the
// impact ratio, relative to max(1, |value|) for the others.
bool relative_column(const std::string& column) {
  return column == "target" || column == "sr" || column == "sr_majority" ||
         column == "sr_minority" || column == "ai_ratio";
}

double scaled_error(const std::string& column, double got, double want) {
  const double scale = relative_column(column) ? std::fabs(want) : std::max(1.0, std::fabs(want));
  return std::fabs(got - want) / scale;
}

std::map<std::string, std::optional<double>> values_of(const fourfifths::table_entry& e) {
  const fourfifths::outcome& o = e.result;
  return {{"target", o.target},
          {"cut_score", o.cut_score},
          {"sr", o.sr},
          {"sr_majority", o.sr_majority},
          {"sr_minority", o.sr_minority},
          {"ai_ratio", o.ai_ratio},
          {"mean", o.mean},
          {"mean_majority", o.mean_majority},
          {"mean_minority", o.mean_minority},
          {"mean_difference", o.mean_difference},
          {"std_mean", o.std_mean},
          {"std_mean_majority", o.std_mean_majority},
          {"std_mean_minority", o.std_mean_minority},
          {"std_mean_difference", o.std_mean_difference}};
}

// The analysis whose entries the 50-digit outcomes hold: the formulas'
// values at every entry. Where the deck's correlations are not positive
// definite the analysis gives no values (each entry says why), and the
// formulas' are those of the same model taken as possible.
fourfifths::analysis_result formulas_of(const fourfifths::problem& p) {
  using fourfifths::method;
  fourfifths::analysis_result a = fourfifths::analyse(p, method::precise);
  if (fourfifths::correlations_positive_definite(p)) return a;
  for (const fourfifths::table_entry& e : a.entries) {
    EXPECT_EQ(e.result.status, fourfifths::outcome_status::not_positive_definite);
  }
  fourfifths::selection_model model = fourfifths::model_of(p);
  EXPECT_FALSE(model.possible);
  model.possible = true;
  a.entries.clear();
  int index = 0;
  for (const double r : fourfifths::builtin_ratios) {
    a.entries.push_back({fourfifths::entry_kind::builtin, ++index,
                         fourfifths::outcome_at(model, r, method::precise)});
  }
  ++index;
  const fourfifths::four_fifths_minimum m =
      fourfifths::find_four_fifths_minimum(model, method::precise);
  if (m.found) {
    a.entries.push_back({fourfifths::entry_kind::minimum, index,
                         fourfifths::outcome_at(model, m.ratio, method::precise)});
  }
  for (const double r : p.spec().requested_ratios) {
    a.entries.push_back({fourfifths::entry_kind::requested, ++index,
                         fourfifths::outcome_at(model, r, method::precise)});
  }
  return a;
}

TEST(PreciseMethod, EveryEntryOfTheHighPrecisionOutcomes) {
  constexpr double tolerance = 1e-12;
  const std::vector<row> rows = expected_rows();
  ASSERT_GT(rows.size(), 7000u);
  std::map<std::string, fourfifths::analysis_result> analyses;
  std::map<std::string, std::pair<double, std::string>> worst;  // by column
  int checked = 0;
  for (const row& r : rows) {
    SCOPED_TRACE(r.deck + " " + r.kind + " " + std::to_string(r.index));
    auto found = analyses.find(r.deck);
    if (found == analyses.end()) {
      const fourfifths::deck_result d =
          fourfifths::read_deck(slurp(root + "/conformance/valid/" + r.deck + ".deck"));
      ASSERT_TRUE(d.value.has_value());
      found = analyses.emplace(r.deck, formulas_of(*d.value)).first;
    }
    const std::vector<fourfifths::table_entry>& entries = found->second.entries;
    const auto entry = std::find_if(entries.begin(), entries.end(),
                                    [&](const auto& e) { return e.index == r.index; });
    ASSERT_NE(entry, entries.end());
    ASSERT_TRUE(entry->result.solved());
    const auto got = values_of(*entry);
    for (const auto& [column, want] : r.values) {
      SCOPED_TRACE(column);
      const std::optional<double> value = got.at(column);
      if (!want) {
        if (column != "sr" && column != "mean" && column.rfind("std_", 0) != 0) ADD_FAILURE();
        continue;
      }
      ASSERT_TRUE(value.has_value());
      const double error = scaled_error(column, *value, *want);
      auto& w = worst[column];
      if (!(error <= w.first)) w = {error, r.deck + " " + r.kind + " " + std::to_string(r.index)};
      EXPECT_LE(error, tolerance) << "got " << *value << ", want " << *want;
      ++checked;
    }
  }
  for (const auto& [column, w] : worst) {
    std::ostringstream text;
    text << w.first << " at " << w.second;
    std::cout << "[ measured ] " << column << ": largest error " << text.str() << '\n';
    RecordProperty(column, text.str());
  }
  std::cout << "[ measured ] " << checked << " values checked\n";
}

}  // namespace
