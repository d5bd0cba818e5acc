#include "present/observed_output.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

#include "present/numbers.h"
#include "present/observed_names.h"
#include "present/table.h"

namespace present {

namespace {

using fourfifths::comparison;
using fourfifths::comparison_status;
using fourfifths::observed_analysis;

// One cell of the table: empty, text, a count, a number or a flag.
using cell = std::variant<std::monostate, std::string_view, std::int64_t, double, bool>;

template <class T>
cell maybe(const std::optional<T>& v) {
  if (!v) return std::monostate{};
  return *v;
}

// Across units, a value of the Mantel-Haenszel analysis.
template <class F>
cell across(const comparison& r, F value) {
  if (!r.across_units) return std::monostate{};
  return value(*r.across_units);
}

struct column {
  const char* name;
  cell (*value)(const comparison&);
  column_type type;
  const char* description;
};

constexpr column columns[] = {
    {"unit", [](const comparison& r) -> cell { return std::string_view(r.unit); },
     column_type::text, "the unit (empty for a table of one unit; \"(all)\" pooled)"},
    {"group", [](const comparison& r) -> cell { return std::string_view(r.group); },
     column_type::text, "the group"},
    {"applicants", [](const comparison& r) -> cell { return r.applicants; }, column_type::integer,
     "the group's applicants"},
    {"selected", [](const comparison& r) -> cell { return r.selected; }, column_type::integer,
     "the group's applicants selected"},
    {"rate", [](const comparison& r) { return maybe(r.rate); }, column_type::number,
     "selected / applicants"},
    {"reference", [](const comparison& r) -> cell { return std::string_view(r.reference); },
     column_type::text, "the group compared with"},
    {"impact_ratio", [](const comparison& r) { return maybe(r.impact_ratio); }, column_type::number,
     "the rate / the reference's rate"},
    {"passes_four_fifths", [](const comparison& r) { return maybe(r.passes_four_fifths); },
     column_type::boolean, "whether the impact ratio is at least 0.8"},
    {"shortfall_four_fifths", [](const comparison& r) { return maybe(r.shortfall_four_fifths); },
     column_type::integer, "the selections short of four fifths of the reference's rate"},
    {"shortfall_pool", [](const comparison& r) { return maybe(r.shortfall_pool); },
     column_type::number, "the selections short of the pooled rate"},
    {"one_person_flip", [](const comparison& r) { return maybe(r.one_person_flip); },
     column_type::boolean, "whether one person selected otherwise changes the verdict"},
    {"one_person_reversal", [](const comparison& r) { return maybe(r.one_person_reversal); },
     column_type::boolean,
     "whether one more of the group and one fewer of the reference selected leaves the group's "
     "rate no longer below the reference's"},
    {"one_person_note",
     [](const comparison& r) -> cell { return std::string_view(name_of(r.note)); },
     column_type::text, "why a one-person answer is missing"},
    {"z", [](const comparison& r) { return maybe(r.z); }, column_type::number,
     "the two-proportion z statistic"},
    {"p_z", [](const comparison& r) { return maybe(r.p_z); }, column_type::number,
     "the z test's two-sided p value"},
    {"p_fisher", [](const comparison& r) { return maybe(r.p_fisher); }, column_type::number,
     "Fisher's exact test's two-sided p value"},
    {"ci_low", [](const comparison& r) { return maybe(r.ci_low); }, column_type::number,
     "the impact ratio's interval, low end"},
    {"ci_high", [](const comparison& r) { return maybe(r.ci_high); }, column_type::number,
     "the impact ratio's interval, high end"},
    {"significant_z", [](const comparison& r) { return maybe(r.significant_z); },
     column_type::boolean, "whether p_z is below alpha"},
    {"significant_fisher", [](const comparison& r) { return maybe(r.significant_fisher); },
     column_type::boolean, "whether p_fisher is below alpha"},
    {"mh_units",
     [](const comparison& r) {
       return across(r, [](const auto& m) -> cell { return std::int64_t{m.units}; });
     },
     column_type::integer, "the units the Mantel-Haenszel test pools"},
    {"mh_odds_ratio",
     [](const comparison& r) {
       return across(r, [](const auto& m) { return maybe(m.odds_ratio); });
     },
     column_type::number, "the Mantel-Haenszel common odds ratio"},
    {"mh_ci_low",
     [](const comparison& r) { return across(r, [](const auto& m) { return maybe(m.ci_low); }); },
     column_type::number, "its interval, low end"},
    {"mh_ci_high",
     [](const comparison& r) { return across(r, [](const auto& m) { return maybe(m.ci_high); }); },
     column_type::number, "its interval, high end"},
    {"mh_statistic",
     [](const comparison& r) {
       return across(r, [](const auto& m) { return maybe(m.statistic); });
     },
     column_type::number, "the Cochran-Mantel-Haenszel statistic"},
    {"p_mh", [](const comparison& r) { return across(r, [](const auto& m) { return maybe(m.p); }); },
     column_type::number, "its p value"},
    {"mh_status",
     [](const comparison& r) {
       return across(r, [](const auto& m) -> cell { return std::string_view(name_of(m.status)); });
     },
     column_type::text, "whether the Mantel-Haenszel test was made, and why not"},
    {"status", [](const comparison& r) -> cell { return name_of(r.status); }, column_type::text,
     "how the comparison ended"},
};

void push(frame_column& out, const cell& c) {
  if (const auto* t = std::get_if<std::string_view>(&c)) {
    // An empty name (the unit of a table of one unit) is missing, as in JSON.
    if (t->empty()) {
      push_missing(out);
    } else {
      push_text(out, *t);
    }
  } else if (const auto* n = std::get_if<std::int64_t>(&c)) {
    push_number(out, static_cast<double>(*n));  // counts are below 2^53
  } else if (const auto* x = std::get_if<double>(&c)) {
    push_number(out, *x);
  } else if (const auto* b = std::get_if<bool>(&c)) {
    push_flag(out, *b);
  } else {
    push_missing(out);
  }
}

}  // namespace

frame observed_frame(const observed_analysis& a) {
  frame f;
  f.rows = a.rows.size();
  f.columns.reserve(std::size(columns) + 1);
  for (const column& c : columns) {
    frame_column& out = f.add(c.name, c.type, c.description);
    for (const comparison& r : a.rows) push(out, c.value(r));
    if (a.steps.empty() || std::string_view(c.name) != "unit") continue;
    frame_column& steps =
        f.add("step", column_type::text, "the step of the process (empty for the bottom line)");
    for (const comparison& r : a.rows) push(steps, std::string_view(r.step));
  }
  return f;
}

std::string observed_csv(const observed_analysis& a) {
  return frame_csv(observed_frame(a));
}

nlohmann::json observed_document(const observed_analysis& a) {
  nlohmann::json rows = frame_records(observed_frame(a));
  nlohmann::json doc = {
      {"alpha", a.options.alpha},
      {"confidence", 1 - a.options.alpha},
      {"reference",
       a.options.reference ? nlohmann::json(*a.options.reference) : nlohmann::json(nullptr)},
      {"units", a.units}};
  if (!a.steps.empty()) doc["steps"] = a.steps;
  doc["rows"] = std::move(rows);
  return doc;
}

std::string observed_json(const observed_analysis& a) {
  // Names are the user's bytes: any that are not UTF-8 are written as
  // U+FFFD rather than refused.
  return observed_document(a).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

// ---------------------------------------------------------------------------
// Text.

namespace {

std::string formatted(const char* format, double v) {
  char text[64];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

std::string fixed4(const std::optional<double>& v) {
  if (!v) return "-";
  if (std::isinf(*v)) return "inf";
  return formatted("%.4f", *v);
}

// A p value: four significant digits, small ones in exponent form.
std::string p_text(const std::optional<double>& v) {
  if (!v) return "-";
  return formatted(*v >= 1e-4 ? "%.4f" : "%.3g", *v);
}

std::string yes_no(const std::optional<bool>& v) {
  if (!v) return "-";
  return *v ? "yes" : "no";
}

std::string interval_text(const std::optional<double>& low, const std::optional<double>& high) {
  if (!low || !high) return "-";
  return "[" + fixed4(low) + ", " + fixed4(high) + "]";
}

std::string percent(double confidence) { return formatted("%g%%", 100 * confidence); }

// Columns of text, each as wide as its widest entry; numbers to the right.
class text_table {
 public:
  explicit text_table(const std::vector<std::pair<std::string, bool>>& head) {
    for (const auto& [title, right] : head) {
      right_.push_back(right);
      widths_.push_back(title.size());
      titles_.push_back(title);
    }
  }
  void add(std::vector<std::string> row) {
    for (std::size_t k = 0; k < row.size(); ++k) widths_[k] = std::max(widths_[k], row[k].size());
    rows_.push_back(std::move(row));
  }
  std::string text() const {
    std::string out;
    line(out, titles_);
    for (const auto& row : rows_) line(out, row);
    return out;
  }

 private:
  void line(std::string& out, const std::vector<std::string>& row) const {
    std::string text;
    for (std::size_t k = 0; k < row.size(); ++k) {
      if (k > 0) text += "  ";
      const std::string pad(widths_[k] - row[k].size(), ' ');
      text += right_[k] ? pad + row[k] : row[k] + pad;
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out += text + "\n";
  }
  std::vector<std::string> titles_;
  std::vector<bool> right_;
  std::vector<std::size_t> widths_;
  std::vector<std::vector<std::string>> rows_;
};

}  // namespace

std::string observed_text(const observed_analysis& a) {
  const bool units = !a.units.empty();
  const bool steps = !a.steps.empty();
  std::string out;
  if (steps) {
    std::string order;
    for (const std::string& s : a.steps) order += (order.empty() ? "" : ", ") + s;
    out += "Steps: " + order + (a.steps.size() > 1
                                     ? "; each among those who reached it, then the bottom line "
                                       "(selected at the last step of applicants at the first).\n"
                                     : ".\n");
  }
  out += a.options.reference ? "Reference: " + *a.options.reference + ".\n"
                             : std::string("Reference: the group with the highest selection rate") +
                                   (units   ? " in each unit"
                                    : steps ? " at each step and in the bottom line"
                                            : "") +
                                   ".\n";
  out += "Tests at alpha " + formatted("%g", a.options.alpha) + "; " +
         percent(1 - a.options.alpha) +
         " intervals of the impact ratio by the log method (0.5 added to each count where a "
         "group selected no one).\n\n";
  std::vector<std::pair<std::string, bool>> head = {
      {"group", false},    {"applicants", true}, {"selected", true}, {"rate", true},
      {"ratio", true},     {"4/5", false},       {"short", true},    {"pool", true},
      {"flip", false},     {"reverse", false},   {"z", true},          {"p_z", true},      {"p_fisher", true},
      {"interval", false}, {"status", false}};
  if (units) head.insert(head.begin(), {"unit", false});
  if (steps) head.insert(head.begin(), {"step", false});
  text_table t(head);
  for (const comparison& r : a.rows) {
    std::vector<std::string> row = {
        r.group,
        std::to_string(r.applicants),
        std::to_string(r.selected),
        fixed4(r.rate),
        fixed4(r.impact_ratio),
        yes_no(r.passes_four_fifths),
        r.shortfall_four_fifths ? std::to_string(*r.shortfall_four_fifths) : "-",
        r.shortfall_pool ? formatted("%.1f", *r.shortfall_pool) : "-",
        yes_no(r.one_person_flip),
        yes_no(r.one_person_reversal),
        r.z ? formatted("%.3f", *r.z) : "-",
        p_text(r.p_z),
        p_text(r.p_fisher),
        interval_text(r.ci_low, r.ci_high),
        std::string(name_of(r.status)) +
            (r.note == fourfifths::one_person_note::none ? "" : ", " + std::string(name_of(r.note)))};
    if (units) row.insert(row.begin(), r.unit.empty() ? "(all)" : r.unit);
    if (steps) row.insert(row.begin(), r.step.empty() ? "(bottom line)" : r.step);
    t.add(std::move(row));
  }
  out += t.text();
  bool heading = false;
  for (const comparison& r : a.rows) {
    if (!r.across_units) continue;
    if (!heading) {
      out +=
          "\nAcross units (Mantel-Haenszel, the odds of selection of each group over the "
          "reference's):\n";
      heading = true;
    }
    const fourfifths::mantel_haenszel& m = *r.across_units;
    out += "  " + r.group + " against " + r.reference + ": ";
    if (m.status == fourfifths::mh_status::no_shared_unit) {
      out += "no unit where both have applicants\n";
      continue;
    }
    out += "odds ratio " + fixed4(m.odds_ratio);
    if (m.ci_low && m.ci_high) {
      out += " " + percent(1 - a.options.alpha) + " " + interval_text(m.ci_low, m.ci_high);
    }
    out += ", chi-square " + (m.statistic ? formatted("%.3f", *m.statistic) : std::string("-")) +
           ", p " + p_text(m.p) + ", " + std::to_string(m.units) +
           (m.units == 1 ? " unit" : " units") +
           (m.status == fourfifths::mh_status::no_variation
                ? " (no test: in each everyone or no one was selected)\n"
                : "\n");
  }
  return out;
}

std::string observed_output(const observed_analysis& a, table_format format) {
  switch (format) {
    case table_format::csv:
      return observed_csv(a);
    case table_format::json:
      return observed_json(a);
    case table_format::text:
      return observed_text(a);
  }
  return {};
}

}  // namespace present
