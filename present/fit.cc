#include "present/fit.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <limits>
#include <unordered_map>
#include <utility>

#include "fourfifths/estimate.h"
#include "present/csv_records.h"
#include "present/name_rules.h"
#include "present/options.h"

namespace present {

namespace {

using fourfifths::fault;

// Where a value of the sample stands, for a fault: the row (from 0) and
// the column (0 the group, then the scores in the request's order).
using locator = std::function<std::string(std::size_t row, std::size_t column)>;

std::string in_quotes(std::string_view text) { return "\"" + std::string(text) + "\""; }

// Faults are listed up to the scenario's limit, then counted.
struct fault_list {
  std::vector<fault> list;
  std::size_t more = 0;
  bool full() const { return list.size() >= most_faults; }
  void add(std::string path, std::string message) {
    if (full()) {
      ++more;
    } else {
      list.push_back({std::move(path), std::move(message)});
    }
  }
  bool stopped = false;  // reading stopped at the limit: the rest is not counted
  std::vector<fault> take() {
    if (more > 0) list.push_back({"", "and " + std::to_string(more) + " more faults"});
    if (stopped) list.push_back({"", "and more faults, not listed"});
    return std::move(list);
  }
};

loaded_scenario failed(std::vector<fault> errors) {
  loaded_scenario out;
  out.status = scenario_status::invalid;
  out.errors = std::move(errors);
  return out;
}

// The request's own faults: no predictor, a column named twice.
void check_request(const fit_request& r, fault_list& f) {
  if (r.group.empty()) f.add("group", "name the column of the groups");
  if (r.predictors.empty()) f.add("predictors", "name at least one predictor column");
  std::vector<std::string_view> seen{r.group};
  for (const auto* list : {&r.predictors, &r.criteria}) {
    const char* key = list == &r.predictors ? "predictors" : "criteria";
    for (const std::string& name : *list) {
      if (name.empty()) {
        f.add(key, "a column name is empty");
        continue;
      }
      for (const std::string_view other : seen) {
        if (other == name) f.add(key, "the column " + in_quotes(name) + " is named twice");
      }
      seen.push_back(name);
    }
  }
}

// The rows of each label among the complete rows, and the rows left out.
struct tally {
  std::vector<std::int64_t> complete;  // per label
  std::int64_t dropped = 0;
};

tally count_rows(const sample_columns& s, const locator& where, fault_list& f) {
  tally t;
  t.complete.assign(s.labels.size(), 0);
  const std::size_t rows = s.group.size();
  for (std::size_t i = 0; i < rows; ++i) {
    const int g = s.group[i];
    bool complete = g >= 0;
    if (g >= static_cast<int>(s.labels.size())) {
      f.add(where(i, 0), "names no group of the list");
      continue;
    }
    for (std::size_t j = 0; j < s.scores.size(); ++j) {
      const double x = s.scores[j][i];
      if (std::isnan(x)) {
        complete = false;
      } else if (!std::isfinite(x)) {
        // As the text of a file would be refused.
        f.add(where(i, j + 1), std::string("must be a number, not ") + (x > 0 ? "\"inf\"" : "\"-inf\""));
      }
    }
    if (complete) {
      ++t.complete[static_cast<std::size_t>(g)];
    } else {
      ++t.dropped;
    }
  }
  return t;
}

// The reference group: the one named, or the one with the most complete
// rows (the first of equals).
std::optional<std::size_t> reference_of(const sample_columns& s, const fit_request& r,
                                        const tally& t, fault_list& f,
                                        std::vector<fault>& warnings) {
  if (r.reference) {
    for (std::size_t k = 0; k < s.labels.size(); ++k) {
      if (s.labels[k] != *r.reference) continue;
      if (t.complete[k] == 0) {
        f.add("reference", "the group " + in_quotes(*r.reference) + " has no complete rows");
        return std::nullopt;
      }
      return k;
    }
    f.add("reference", "no row of the column " + in_quotes(r.group) + " names the group " +
                           in_quotes(*r.reference));
    return std::nullopt;
  }
  std::size_t best = 0;
  for (std::size_t k = 1; k < s.labels.size(); ++k) {
    if (t.complete[k] > t.complete[best]) best = k;
  }
  if (s.labels.empty() || t.complete[best] == 0) return std::nullopt;
  warnings.push_back({"", "the reference group is " + in_quotes(s.labels[best]) +
                              ", the largest (" + std::to_string(t.complete[best]) +
                              " complete rows); name a reference to choose another"});
  return best;
}

// The scenario of an estimate: regression weights on the criteria (each
// weighted 1), or unit weights on the predictors without criteria.
scenario scenario_of(const fit_request& r, const fourfifths::population_estimate& e,
                     const std::vector<std::string>& names) {
  scenario s;
  const auto p = r.predictors.size();
  fourfifths::problem_spec& spec = s.spec;
  spec.predictors = static_cast<int>(p);
  spec.criteria = static_cast<int>(r.criteria.size());
  spec.mode = fourfifths::ratio_mode::overall;
  s.predictor_names = r.predictors;
  s.criterion_names = r.criteria;
  spec.criterion_weights.assign(r.criteria.size(), 1.0);
  if (r.criteria.empty()) {
    spec.quality = fourfifths::quality_basis::predictor;
    spec.predictor_weights.assign(p, 1.0);
  } else {
    spec.quality = fourfifths::quality_basis::criterion;
    spec.regression_weights = true;
  }
  spec.correlations = e.correlations;
  std::int64_t total = 0;
  for (const std::int64_t n : e.counts) total += n;
  const auto share = [&](std::size_t g) {
    return static_cast<double>(e.counts[g]) / static_cast<double>(total);
  };
  if (e.effects.size() == 1) {
    const std::vector<double>& d = e.effects[0];
    spec.predictor_effects.assign(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(p));
    spec.criterion_effects.assign(d.begin() + static_cast<std::ptrdiff_t>(p), d.end());
    spec.minority_share = share(1);
  } else {
    for (std::size_t g = 1; g < e.counts.size(); ++g) {
      s.groups.push_back({names[g], share(g), e.effects[g - 1]});
    }
  }
  calibration_sample& c = s.calibration.emplace();
  c.n = total;
  c.missing = "listwise";
  for (std::size_t g = 0; g < e.counts.size(); ++g) c.groups.push_back({names[g], e.counts[g]});
  return s;
}

loaded_scenario fit_sample(const sample_columns& s, const fit_request& r, const locator& where) {
  fault_list f;
  check_request(r, f);
  const std::size_t v = r.predictors.size() + r.criteria.size();
  if (s.scores.size() != v) {
    f.add("", "the sample has " + std::to_string(s.scores.size()) + " score columns, the request " +
                  std::to_string(v));
  }
  for (const std::span<const double> column : s.scores) {
    if (column.size() != s.group.size()) {
      f.add("", "the score columns must have as many rows as the group column");
      break;
    }
  }
  if (!f.list.empty()) return failed(f.take());
  for (const auto& label : s.labels) {
    if (auto fault = name_fault(label)) f.add("group " + in_quotes(label), *fault);
  }
  const tally t = count_rows(s, where, f);
  std::vector<fault> warnings;
  if (t.dropped > 0) {
    warnings.push_back({"", std::to_string(t.dropped) + (t.dropped == 1 ? " row" : " rows") +
                                " with a missing value left out (listwise)"});
  }
  if (!f.list.empty()) return failed(f.take());
  const std::optional<std::size_t> ref = reference_of(s, r, t, f, warnings);
  if (!ref) {
    if (f.list.empty()) f.add("", "no complete rows: every row misses a value");
    return failed(f.take());
  }
  // The groups of the estimate: the reference, then the others with
  // complete rows in the order met.
  std::vector<int> code(s.labels.size(), -1);
  std::vector<std::string> names{s.labels[*ref]};
  code[*ref] = 0;
  for (std::size_t k = 0; k < s.labels.size(); ++k) {
    if (k == *ref) continue;
    if (t.complete[k] == 0) {
      warnings.push_back({"", "the group " + in_quotes(s.labels[k]) +
                                  " has no complete rows: it is left out"});
      continue;
    }
    code[k] = static_cast<int>(names.size());
    names.push_back(s.labels[k]);
  }
  for (std::size_t k = 0; k < s.labels.size(); ++k) {
    if (t.complete[k] == 1) {
      f.add("group " + in_quotes(s.labels[k]),
            "has 1 complete row: a group's mean and share need at least 2");
    }
  }
  if (names.size() < 2) {
    f.add(r.group, "the complete rows have one group only, " + in_quotes(names[0]) +
                       ": a scenario compares groups");
  }
  if (!f.list.empty()) return failed(f.take());

  // The complete rows, row by row, for the estimate.
  std::int64_t kept = 0;
  for (const std::int64_t n : t.complete) kept += n;
  std::vector<double> values;
  values.reserve(static_cast<std::size_t>(kept) * v);
  std::vector<int> groups;
  groups.reserve(static_cast<std::size_t>(kept));
  for (std::size_t i = 0; i < s.group.size(); ++i) {
    if (s.group[i] < 0) continue;
    bool complete = true;
    for (const std::span<const double> column : s.scores) complete = complete && !std::isnan(column[i]);
    if (!complete) continue;
    groups.push_back(code[static_cast<std::size_t>(s.group[i])]);
    for (const std::span<const double> column : s.scores) values.push_back(column[i]);
  }
  const fourfifths::estimate_result e = fourfifths::estimate_population(
      values, groups, static_cast<int>(names.size()), static_cast<int>(v));
  if (!e.value) {
    for (const fault& x : e.errors) {
      // "variables[j]": the column by its name.
      if (x.path.rfind("variables[", 0) == 0) {
        const std::size_t j = std::stoul(x.path.substr(10));
        const std::string& name =
            j < r.predictors.size() ? r.predictors[j] : r.criteria[j - r.predictors.size()];
        f.add("column " + in_quotes(name), x.message);
      } else {
        f.add(x.path, x.message);
      }
    }
    return failed(f.take());
  }
  scenario fitted = scenario_of(r, *e.value, names);
  fitted.calibration->dropped = t.dropped;
  loaded_scenario out = check_scenario(std::move(fitted));
  warnings.insert(warnings.end(), out.warnings.begin(), out.warnings.end());
  out.warnings = std::move(warnings);
  return out;
}

// --- CSV ---------------------------------------------------------------------

std::string place(int line, std::size_t column, std::string_view name) {
  std::string out = "line " + std::to_string(line);
  if (column > 0) out += ", column " + std::to_string(column);
  if (!name.empty()) out.append(" (").append(name).append(")");
  return out;
}

// A score: blank is missing (NaN); otherwise a finite decimal number (words
// such as "inf" and "nan", and hexadecimal, are not numbers of a sample).
std::optional<double> score(std::string_view text, std::string& error) {
  if (text.empty()) return std::numeric_limits<double>::quiet_NaN();
  if (!present::decimal(text)) {
    error = "must be a number, not " + in_quotes(text);
    return std::nullopt;
  }
  // The grammar is checked, so strtod (in the C locale) reads exactly this
  // text, correctly rounded; only an overflow gives an infinity.
  const std::string copy(text);
  const double x = std::strtod(copy.c_str(), nullptr);
  if (!std::isfinite(x)) {
    error = "is beyond the range of numbers: " + in_quotes(text);
    return std::nullopt;
  }
  return x;
}

// The columns of the request in a header, each its place from 0.
struct header {
  std::size_t fields = 0;
  std::vector<std::size_t> at;  // the group, then the scores
};

std::optional<header> read_header(const std::vector<std::string>& fields, int line,
                                  const fit_request& r, fault_list& f) {
  header h;
  h.fields = fields.size();
  std::vector<std::string_view> wanted{r.group};
  for (const auto* list : {&r.predictors, &r.criteria}) {
    for (const std::string& name : *list) wanted.push_back(name);
  }
  for (const std::string_view name : wanted) {
    std::optional<std::size_t> found;
    for (std::size_t k = 0; k < fields.size(); ++k) {
      if (fields[k] != name) continue;
      if (found) {
        f.add(place(line, k + 1, ""), "the column " + in_quotes(name) + " appears twice");
      } else {
        found = k;
      }
    }
    if (!found) {
      std::string columns;
      for (const std::string& c : fields) (columns += columns.empty() ? "" : ", ") += c;
      f.add(place(line, 0, ""), "no column " + in_quotes(name) + " in the header (it has " +
                                    columns + ")");
    }
    h.at.push_back(found.value_or(0));
  }
  if (!f.list.empty()) return std::nullopt;
  return h;
}

}  // namespace

loaded_scenario fit_columns(const sample_columns& sample, const fit_request& request) {
  std::vector<std::string> columns{request.group};
  columns.insert(columns.end(), request.predictors.begin(), request.predictors.end());
  columns.insert(columns.end(), request.criteria.begin(), request.criteria.end());
  return fit_sample(sample, request, [&](std::size_t row, std::size_t column) {
    const std::size_t at = column < sample.positions.size()
                               ? static_cast<std::size_t>(sample.positions[column])
                               : column + 1;
    return place(static_cast<int>(row) + 2, at, column < columns.size() ? columns[column] : "");
  });
}

loaded_scenario fit_csv(std::string_view text, const fit_request& request) {
  fault_list f;
  check_request(request, f);
  if (!f.list.empty()) return failed(f.take());
  csv_records input(text);
  std::vector<std::string> fields;
  int line = 0;
  std::optional<std::string> bad;
  if (!input.next(fields, line, bad)) return failed({{"", "no header line: the input is empty"}});
  if (bad) return failed({{place(line, 0, ""), *bad}});
  const std::optional<header> h = read_header(fields, line, request, f);
  if (!h) return failed(f.take());
  const std::vector<std::string> names = [&] {
    std::vector<std::string> out;
    for (const std::size_t k : h->at) out.push_back(fields[k]);
    return out;
  }();

  // About a row a line: room made once.
  const auto guess = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  const std::size_t v = h->at.size() - 1;
  std::vector<std::vector<double>> scores(v);
  for (std::vector<double>& column : scores) column.reserve(guess);
  std::vector<int> group;
  group.reserve(guess);
  std::vector<int> lines;
  lines.reserve(guess);
  std::vector<std::string> labels;
  std::unordered_map<std::string, int> label_of;
  std::string error;
  while (input.next(fields, line, bad)) {
    if (f.full()) {
      f.stopped = true;
      break;
    }
    if (bad) {
      f.add(place(line, 0, ""), *bad);
      continue;
    }
    if (fields.size() != h->fields) {
      f.add(place(line, 0, ""), std::to_string(fields.size()) +
                                    (fields.size() == 1 ? " field" : " fields") +
                                    " where the header has " + std::to_string(h->fields));
      continue;
    }
    const std::string& label = fields[h->at[0]];
    int g = -1;
    if (!label.empty()) {
      const auto [it, added] = label_of.try_emplace(label, static_cast<int>(labels.size()));
      if (added) {
        if (auto fault = name_fault(label)) f.add(place(line, h->at[0] + 1, names[0]), *fault);
        labels.push_back(label);
      }
      g = it->second;
    }
    group.push_back(g);
    lines.push_back(line);
    for (std::size_t j = 0; j < v; ++j) {
      const std::size_t k = h->at[j + 1];
      const std::optional<double> x = score(fields[k], error);
      if (!x) f.add(place(line, k + 1, names[j + 1]), error);
      scores[j].push_back(x.value_or(0));
    }
  }
  if (!f.list.empty()) return failed(f.take());
  if (group.empty()) return failed({{"", "no rows after the header"}});
  sample_columns sample;
  sample.labels = std::move(labels);
  sample.group = group;
  for (const std::vector<double>& column : scores) sample.scores.emplace_back(column);
  return fit_sample(sample, request, [&](std::size_t row, std::size_t column) {
    return place(lines[row], h->at[column] + 1, names[column]);
  });
}

}  // namespace present
