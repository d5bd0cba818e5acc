#include "present/observed_input.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "present/csv_records.h"
#include "present/json_reader.h"
#include "present/name_rules.h"

namespace present {

namespace {

using fourfifths::fault;
using fourfifths::group_counts;
using json = nlohmann::json;

// ---------------------------------------------------------------------------
// CSV.

// The columns a file may have, by name.
enum class column { group, applicants, selected, unit, step };
constexpr std::array<std::pair<std::string_view, column>, 5> column_names = {
    {{"group", column::group},
     {"applicants", column::applicants},
     {"selected", column::selected},
     {"unit", column::unit},
     {"step", column::step}}};

std::string_view name_of(column c) {
  for (const auto& [name, value] : column_names) {
    if (value == c) return name;
  }
  return {};
}

std::string place(int line, int col, std::string_view name) {
  std::string out = "line " + std::to_string(line);
  if (col > 0) out += ", column " + std::to_string(col);
  if (!name.empty()) out.append(" (").append(name).append(")");
  return out;
}

std::string in_quotes(std::string_view text) { return "\"" + std::string(text) + "\""; }

// A file with a fault on every line says enough after a few.
constexpr std::size_t most_faults = 20;

std::string lowered(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// A count: a whole number written in decimal digits (a sign allowed, so
// that the library can say a negative count is one).
std::optional<std::int64_t> whole_number(std::string_view text, std::string& error) {
  std::int64_t v = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, v);
  if (ec == std::errc::result_out_of_range) {
    error = "must be at most " + std::to_string(fourfifths::max_count);
    return std::nullopt;
  }
  if (text.empty() || ec != std::errc{} || ptr != end) {
    error = text.empty() ? "is missing" : "must be a whole number, not " + in_quotes(text);
    return std::nullopt;
  }
  return v;
}

// An applicant's outcome: 0/1 or yes/no, in any case.
std::optional<bool> selection(std::string_view text) {
  const std::string t = lowered(text);
  if (t == "1" || t == "yes") return true;
  if (t == "0" || t == "no") return false;
  return std::nullopt;
}

// The header: which column is which. Faults go to `errors`.
struct header {
  std::array<int, 5> at{};  // 1-based column of each of column_names, 0 when absent
  std::size_t fields = 0;
  int& of(column c) { return at[static_cast<std::size_t>(c)]; }
  int of(column c) const { return at[static_cast<std::size_t>(c)]; }
};

header read_header(const std::vector<std::string>& fields, int line, std::vector<fault>& errors) {
  header h;
  h.fields = fields.size();
  for (std::size_t k = 0; k < fields.size(); ++k) {
    const int col = static_cast<int>(k) + 1;
    const std::string name = lowered(fields[k]);
    bool known = false;
    for (const auto& [n, c] : column_names) {
      if (name != n) continue;
      known = true;
      if (h.of(c) != 0) {
        errors.push_back({place(line, col, ""), "the column " + in_quotes(n) + " appears twice"});
      } else {
        h.of(c) = col;
      }
    }
    if (!known) {
      errors.push_back({place(line, col, ""),
                        "unknown column " + in_quotes(fields[k]) +
                            "; the columns are group, applicants (for counts), selected, unit and "
                            "step"});
    }
  }
  for (const column c : {column::group, column::selected}) {
    if (h.of(c) == 0) {
      errors.push_back(
          {place(line, 0, ""), "no " + in_quotes(name_of(c)) + " column in the header"});
    }
  }
  return h;
}

// The text of a row's field in a column (which it has).
const std::string& field_of(const std::vector<std::string>& fields, const header& h, column c) {
  return fields[static_cast<std::size_t>(h.of(c) - 1)];
}

}  // namespace

namespace {

// Names that differ only in case or in spaces around them are two groups
// (or units, or steps) to the analysis, and most likely one to whoever wrote them.
void warn_of_case(const fourfifths::counts_table& counts, std::vector<std::string>& warnings) {
  for (const auto& [table, what] : {std::pair{&counts.groups(), "groups"},
                                    std::pair{&counts.units(), "units"},
                                    std::pair{&counts.steps(), "steps"}}) {
    const std::vector<std::string_view> names(table->names().begin(), table->names().end());
    for (std::string& w : look_alike_names(names, what)) warnings.push_back(std::move(w));
  }
}

}  // namespace

loaded_observed read_observed_csv(std::string_view text) {
  loaded_observed out;
  std::vector<fault>& errors = out.errors;
  csv_records input(text);
  int number = 0;
  std::vector<std::string> fields;
  std::optional<std::string> bad;
  // The header: the first record.
  if (!input.next(fields, number, bad)) {
    errors.push_back({"", "no header line: the input is empty"});
    return out;
  }
  if (bad) {
    errors.push_back({place(number, 0, ""), *bad});
    return out;
  }
  const header h = read_header(fields, number, errors);
  if (!errors.empty()) return out;

  observed_data data;
  data.form = h.of(column::applicants) != 0 ? observed_form::counts : observed_form::applicants;
  data.group_column = h.of(column::group);
  data.applicants_column = h.of(column::applicants);
  data.selected_column = h.of(column::selected);
  data.unit_column = h.of(column::unit);
  data.step_column = h.of(column::step);
  const bool per_applicant = data.form == observed_form::applicants;
  // Applicants are counted into one entry per unit, step and group: with
  // steps, per the last step each reached (see analyse).
  // The entries are found by the numbers of their names.
  std::unordered_map<std::string, std::size_t> entry_of;
  fourfifths::name_table names;
  std::string key;
  if (!per_applicant) {
    // About a row a line: room made once, not grown by doubling.
    const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    data.counts.reserve(lines);
    data.lines.reserve(lines);
  }
  bool any_row = false;
  while (input.next(fields, number, bad)) {
    any_row = true;
    if (errors.size() >= most_faults) {
      errors.push_back({"", "and more faults, not listed"});
      break;
    }
    if (bad) {
      errors.push_back({place(number, 0, ""), *bad});
      continue;
    }
    if (fields.size() != h.fields) {
      errors.push_back({place(number, 0, ""), std::to_string(fields.size()) +
                                                  (fields.size() == 1 ? " field" : " fields") +
                                                  " where the header has " +
                                                  std::to_string(h.fields)});
      continue;
    }
    bool row_ok = true;
    auto missing = [&](column c) {
      if (!field_of(fields, h, c).empty()) return false;
      errors.push_back({place(number, h.of(c), name_of(c)), "is missing"});
      row_ok = false;
      return true;
    };
    auto named = [&](column c) {
      if (missing(c)) return;
      if (auto fault = name_fault(field_of(fields, h, c))) {
        errors.push_back({place(number, h.of(c), name_of(c)), std::move(*fault)});
        row_ok = false;
      }
    };
    named(column::group);
    if (h.of(column::unit) != 0) named(column::unit);
    if (h.of(column::step) != 0) named(column::step);
    auto count = [&](column c) -> std::int64_t {
      std::string error;
      const auto v = whole_number(field_of(fields, h, c), error);
      if (!v) {
        errors.push_back({place(number, h.of(c), name_of(c)), error});
        row_ok = false;
      }
      return v.value_or(0);
    };
    std::int64_t applicants = 1, selected = 0;
    if (per_applicant) {
      const std::string& s = field_of(fields, h, column::selected);
      const std::optional<bool> chosen = selection(s);
      if (!chosen) {
        errors.push_back({place(number, h.of(column::selected), "selected"),
                          "must be 0, 1, yes or no, not " + in_quotes(s)});
        row_ok = false;
      }
      selected = chosen.value_or(false) ? 1 : 0;
    } else {
      applicants = count(column::applicants);
      selected = count(column::selected);
    }
    if (!row_ok || !errors.empty()) continue;
    const std::string& group = field_of(fields, h, column::group);
    auto optional_field = [&](column c) {
      return h.of(c) != 0 ? std::string_view(field_of(fields, h, c)) : std::string_view();
    };
    const std::string_view unit = optional_field(column::unit);
    const std::string_view step = optional_field(column::step);
    if (per_applicant) {
      // Unit, step and group by number, kept apart by a byte no number holds.
      key.clear();
      for (const std::string_view name : {unit, step, std::string_view(group)}) {
        key.append(std::to_string(names.intern(name))).append(1, ',');
      }
      const auto [it, added] = entry_of.try_emplace(key, data.counts.size());
      if (!added) {
        data.counts.add_to(it->second, 1, selected);
        continue;
      }
    }
    data.counts.add(group, applicants, selected, unit, step);
    data.lines.push_back(number);
  }
  if (!any_row && errors.empty()) errors.push_back({"", "no rows after the header"});
  if (errors.empty()) {
    warn_of_case(data.counts, out.warnings);
    out.value = std::move(data);
  }
  return out;
}

// ---------------------------------------------------------------------------
// JSON.

namespace {

// "[json.exception.parse_error.101] parse error at line 3, column 5: ..."
// without the library's bracketed tag.
std::string syntax_message(const json::exception& e) {
  std::string what = e.what();
  const std::size_t tag = what.find("] ");
  if (tag != std::string::npos) what = what.substr(tag + 2);
  return "JSON " + what;
}

// A count in JSON: a whole number (written as one, or as a number with no
// fraction, 1e3 for instance).
std::optional<std::int64_t> json_count(const json& v, const std::string& path,
                                       std::vector<fault>& errors) {
  if (v.is_number_integer()) {
    if (v.is_number_unsigned() &&
        v.get<std::uint64_t>() > static_cast<std::uint64_t>(fourfifths::max_count)) {
      errors.push_back({path, "must be at most " + std::to_string(fourfifths::max_count)});
      return std::nullopt;
    }
    return v.get<std::int64_t>();
  }
  if (v.is_number_float()) {
    const double x = v.get<double>();
    if (std::isfinite(x) && x == std::floor(x) && std::fabs(x) <= 0x1p62) {
      return static_cast<std::int64_t>(x);
    }
    if (std::isfinite(x) && x == std::floor(x)) {
      errors.push_back({path, "must be at most " + std::to_string(fourfifths::max_count)});
      return std::nullopt;
    }
  }
  errors.push_back({path, "must be a whole number"});
  return std::nullopt;
}

std::optional<std::string> json_text(const json& v, const std::string& path,
                                     std::vector<fault>& errors) {
  if (v.is_string()) {
    std::string text = v.get<std::string>();
    if (auto fault = name_fault(text)) {
      errors.push_back({path, std::move(*fault)});
      return std::nullopt;
    }
    return text;
  }
  errors.push_back({path, "must be a string"});
  return std::nullopt;
}

}  // namespace

loaded_observed read_observed_document(const json& doc) {
  loaded_observed out;
  std::vector<fault>& errors = out.errors;
  if (!doc.is_object()) {
    errors.push_back({"", "the document must be a JSON object"});
    return out;
  }
  observed_data data;
  data.form = observed_form::json;
  for (const auto& [key, value] : doc.items()) {
    if (key == "reference") {
      if (auto name = json_text(value, key, errors)) data.options.reference = std::move(*name);
    } else if (key == "alpha") {
      if (value.is_number()) {
        data.options.alpha = value.get<double>();
      } else {
        errors.push_back({key, "must be a number"});
      }
    } else if (key == "steps") {
      if (!value.is_array()) {
        errors.push_back({key, "must be an array of names"});
        continue;
      }
      for (std::size_t i = 0; i < value.size(); ++i) {
        const std::string path = "steps[" + std::to_string(i) + "]";
        if (auto name = json_text(value[i], path, errors)) data.options.steps.push_back(*name);
      }
    } else if (key != "counts") {
      errors.push_back({key, "unknown key"});
    }
  }
  const auto counts = doc.find("counts");
  if (counts == doc.end()) {
    errors.push_back({"counts", "is missing"});
  } else if (!counts->is_array()) {
    errors.push_back({"counts", "must be an array"});
  } else {
    for (std::size_t i = 0; i < counts->size(); ++i) {
      const json& entry = (*counts)[i];
      const std::string at = "counts[" + std::to_string(i) + "]";
      if (!entry.is_object()) {
        errors.push_back({at, "must be an object"});
        continue;
      }
      group_counts e;
      for (const auto& [key, value] : entry.items()) {
        std::string path = at;
        path.append(".").append(key);
        if (key == "group") {
          e.group = json_text(value, path, errors).value_or("");
        } else if (key == "unit") {
          e.unit = json_text(value, path, errors).value_or("");
        } else if (key == "step") {
          e.step = json_text(value, path, errors).value_or("");
        } else if (key == "applicants") {
          e.applicants = json_count(value, path, errors).value_or(0);
        } else if (key == "selected") {
          e.selected = json_count(value, path, errors).value_or(0);
        } else {
          errors.push_back({path, "unknown key"});
        }
      }
      for (const char* required : {"group", "applicants", "selected"}) {
        if (!entry.contains(required)) errors.push_back({at + "." + required, "is missing"});
      }
      data.counts.add(e.group, e.applicants, e.selected, e.unit, e.step);
    }
  }
  if (errors.empty()) {
    warn_of_case(data.counts, out.warnings);
    out.value = std::move(data);
  }
  return out;
}

loaded_observed read_observed_json(std::string_view text) {
  json doc;
  try {
    doc = json::parse(text);
  } catch (const json::exception& e) {
    loaded_observed out;
    out.errors.push_back({"", syntax_message(e)});
    return out;
  }
  return read_observed_document(doc);
}

loaded_observed read_observed(std::string_view text) {
  for (const char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
    return c == '{' ? read_observed_json(text) : read_observed_csv(text);
  }
  return read_observed_csv(text);
}

// ---------------------------------------------------------------------------
// The library's faults, placed.

namespace {

// "counts[12]" at `text[from]`: the index, and where the text after it
// starts; nothing when it is not there.
std::optional<std::pair<std::size_t, std::size_t>> entry_at(const std::string& text,
                                                            std::size_t from) {
  constexpr std::string_view prefix = "counts[";
  if (text.compare(from, prefix.size(), prefix) != 0) return std::nullopt;
  std::size_t index = 0;
  const char* begin = text.data() + from + prefix.size();
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(begin, end, index);
  if (ec != std::errc{} || ptr == end || *ptr != ']') return std::nullopt;
  return std::pair{index, static_cast<std::size_t>(ptr - text.data()) + 1};
}

// A fault of the library about CSV data: "counts[3].selected" becomes
// "line 5, column 3 (selected)", and "counts[0]" in its message "line 2".
fault placed(const fault& f, const observed_data& d) {
  fault out = f;
  if (const auto at = entry_at(f.path, 0); at && at->first < d.lines.size()) {
    const int line = d.lines[at->first];
    const std::string field = at->second < f.path.size() ? f.path.substr(at->second + 1) : "";
    int col = 0;
    if (field == "group") col = d.group_column;
    if (field == "applicants") col = d.applicants_column;
    if (field == "selected") col = d.selected_column;
    if (field == "unit") col = d.unit_column;
    if (field == "step") col = d.step_column;
    out.path = place(line, col, field);
  } else if (f.path == "counts") {
    out.path.clear();
  }
  for (std::size_t k = out.message.find("counts["); k != std::string::npos;
       k = out.message.find("counts[", k + 1)) {
    const auto at = entry_at(out.message, k);
    if (!at || at->first >= d.lines.size()) continue;
    out.message.replace(k, at->second - k, "line " + std::to_string(d.lines[at->first]));
  }
  return out;
}

}  // namespace

namespace {

// Applicants by the last step each reached, as counts step by step: one
// who reached step k of the order was an applicant at steps 1 to k and
// passed steps 1 to k - 1, and step k too when selected. Every group gets
// an entry at every step; each entry keeps the line of the applicants it
// counts (or of the group's first). A step the data have and `order` lacks
// is a fault, at the first line that names it.
std::optional<observed_data> reached_steps(const observed_data& data,
                                           const std::vector<std::string>& order,
                                           std::vector<fault>& errors) {
  std::unordered_map<std::string, std::size_t> step_index;
  for (std::size_t s = 0; s < order.size(); ++s) step_index.try_emplace(order[s], s);
  std::unordered_map<std::string, std::size_t> group_index;
  std::vector<std::string> groups;
  std::vector<int> group_line;
  for (std::size_t i = 0; i < data.counts.size(); ++i) {
    const std::string& group = data.counts.groups()[data.counts.entries()[i].group];
    if (group_index.try_emplace(group, groups.size()).second) {
      groups.push_back(group);
      group_line.push_back(data.lines[i]);
    }
  }
  // Per group and step: those whose last step it is, those of them who
  // passed it, and the line they were first met on.
  struct tally {
    std::int64_t last = 0, passed = 0;
    int line = 0;
  };
  if (static_cast<double>(groups.size()) * static_cast<double>(order.size()) >
      static_cast<double>(fourfifths::max_step_rows)) {
    errors.push_back({"", std::to_string(order.size()) + " steps of " +
                              std::to_string(groups.size()) + " groups: more than the " +
                              std::to_string(fourfifths::max_step_rows) +
                              " rows of an analysis of steps, one for every group at every step"});
    return std::nullopt;
  }
  std::vector<tally> tallies(groups.size() * order.size());
  std::unordered_set<std::string> told;
  for (std::size_t i = 0; i < data.counts.size(); ++i) {
    const group_counts e = data.counts[i];
    const auto s = step_index.find(e.step);
    if (s == step_index.end()) {
      if (!told.insert(e.step).second) continue;
      if (errors.size() >= most_faults) {
        errors.push_back({"", "and more steps not given, not listed"});
        break;
      }
      std::string names;
      for (const std::string& step : order) names += (names.empty() ? "" : ", ") + step;
      errors.push_back({place(data.lines[i], data.step_column, "step"),
                        in_quotes(e.step) + " is not among the steps given (" + names + ")"});
      continue;
    }
    tally& t = tallies[group_index[e.group] * order.size() + s->second];
    t.last += e.applicants;
    t.passed += e.selected;
    t.line = data.lines[i];
  }
  if (!errors.empty()) return std::nullopt;
  observed_data out = data;
  out.counts = {};
  out.lines.clear();
  for (std::size_t s = 0; s < order.size(); ++s) {
    for (std::size_t g = 0; g < groups.size(); ++g) {
      std::int64_t applicants = 0, selected = 0;
      for (std::size_t later = s; later < order.size(); ++later) {
        const tally& t = tallies[g * order.size() + later];
        applicants += t.last;
        selected += later == s ? t.passed : t.last;
      }
      const int line = tallies[g * order.size() + s].line;
      out.counts.add(groups[g], applicants, selected, "", order[s]);
      out.lines.push_back(line != 0 ? line : group_line[g]);
    }
  }
  return out;
}

}  // namespace

namespace {

// The data as the library takes them: applicants with steps counted step
// by step first, in the order of the options' steps (by default the order
// the data first name them).
struct prepared {
  const observed_data* data = nullptr;
  fourfifths::observed_options options;
  std::optional<observed_data> counted;
  std::vector<fault> errors;
};

prepared prepare(const observed_data& data, const fourfifths::observed_options& options) {
  prepared p{&data, options, std::nullopt, {}};
  const auto& steps = data.counts.steps();
  const bool applicant_steps =
      data.form == observed_form::applicants &&
      (steps.size() > 1 || (steps.size() == 1 && !steps[0].empty()));
  if (!applicant_steps) return p;
  if (p.options.steps.empty()) p.options.steps = steps.names();
  p.counted = reached_steps(data, p.options.steps, p.errors);
  if (p.counted) p.data = &*p.counted;
  return p;
}

// The library's faults placed in the file.
void place_all(std::vector<fault>& errors, const prepared& p) {
  if (p.data->form == observed_form::json) return;
  for (fault& f : errors) f = placed(f, *p.data);
}

}  // namespace

std::vector<fault> analyse(const observed_data& data, const fourfifths::observed_options& options,
                           fourfifths::observed_sink& sink) {
  prepared p = prepare(data, options);
  if (!p.errors.empty()) return std::move(p.errors);
  std::vector<fault> errors = fourfifths::analyse_observed(p.data->counts, p.options, sink);
  place_all(errors, p);
  return errors;
}

fourfifths::observed_result analyse(const observed_data& data,
                                    const fourfifths::observed_options& options) {
  prepared p = prepare(data, options);
  if (!p.errors.empty()) {
    fourfifths::observed_result r;
    r.errors = std::move(p.errors);
    r.status = fourfifths::observed_status::invalid;
    return r;
  }
  fourfifths::observed_result r = fourfifths::analyse_observed(p.data->counts, p.options);
  place_all(r.errors, p);
  return r;
}

}  // namespace present
