#include "present/observed_output.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <memory>
#include <optional>
#include <span>
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
    {"significant_mh",
     [](const comparison& r) {
       return across(r, [](const auto& m) { return maybe(m.significant); });
     },
     column_type::boolean, "whether p_mh is below alpha"},
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

namespace {

// The rows as a frame, into `f` (empty); with steps, their column after
// the unit's.
void fill_frame(frame& f, std::span<const comparison> rows, bool steps) {
  f.rows = rows.size();
  f.columns.reserve(std::size(columns) + 1);
  for (const column& c : columns) {
    frame_column& out = f.add(c.name, c.type, c.description);
    for (const comparison& r : rows) push(out, c.value(r));
    if (!steps || std::string_view(c.name) != "unit") continue;
    frame_column& step =
        f.add("step", column_type::text, "the step of the process (empty for the bottom line)");
    for (const comparison& r : rows) push(step, std::string_view(r.step));
  }
}

}  // namespace

frame observed_frame(const observed_analysis& a) {
  frame f;
  fill_frame(f, a.rows, !a.steps.empty());
  return f;
}

namespace {

// What every writer shares: its text gathered into pieces of some size
// before they go out, and whether the output has failed.
class writer_base : public observed_writer {
 public:
  explicit writer_base(text_sink out) : out_(std::move(out)) {}

 protected:
  std::string& text() { return text_; }
  // Sends the text gathered once there is enough of it (or all of it).
  bool send(bool all = false) {
    if (failed_) return false;
    if (text_.size() < piece && !all) return true;
    if (!text_.empty() && !out_(text_)) failed_ = true;
    text_.clear();
    return !failed_;
  }

 private:
  static constexpr std::size_t piece = std::size_t{1} << 16;
  text_sink out_;
  std::string text_;
  bool failed_ = false;
};

// Rows gathered into frames of a few hundred, each written whole.
class frame_writer : public writer_base {
 public:
  using writer_base::writer_base;
  bool row(const comparison& r) override {
    rows_.push_back(r);
    return rows_.size() < batch || flush_rows();
  }

 protected:
  bool steps_ = false;  // whether the rows have a step column
  // Writes the rows gathered, as a frame.
  virtual void write(frame& f) = 0;
  bool flush_rows() {
    if (rows_.empty()) return send();
    frame f;
    fill_frame(f, rows_, steps_);
    rows_.clear();
    write(f);
    return send();
  }

 private:
  static constexpr std::size_t batch = 256;
  std::vector<comparison> rows_;
};

class csv_table_writer final : public frame_writer {
 public:
  using frame_writer::frame_writer;
  bool start(const fourfifths::observed_options&, std::span<const std::string>,
             std::span<const std::string> steps) override {
    steps_ = !steps.empty();
    frame head;
    fill_frame(head, {}, steps_);
    text() = frame_csv(head);
    return send();
  }
  bool finish() override { return flush_rows() && send(true); }

 private:
  void write(frame& f) override { append_frame_csv_rows(text(), f); }
};

// Names are the user's bytes: any that are not UTF-8 are written as
// U+FFFD rather than refused.
std::string dumped(const nlohmann::json& j, int indent) {
  return j.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

// The document as observed_document has it, written as nlohmann::json
// writes an object with an indent of 2: its keys in order (alpha,
// confidence, reference, rows, steps when there are steps, units), each
// row an object two levels in.
class json_table_writer final : public frame_writer {
 public:
  using frame_writer::frame_writer;
  bool start(const fourfifths::observed_options& options, std::span<const std::string> units,
             std::span<const std::string> steps) override {
    // Kept to be written after the rows, as the keys' order has it.
    units_.assign(units.begin(), units.end());
    steps_ = !steps.empty();
    step_names_.assign(steps.begin(), steps.end());
    std::string& out = text();
    out += "{\n  \"alpha\": " + dumped(options.alpha, -1) + ",\n";
    out += "  \"confidence\": " + dumped(1 - options.alpha, -1) + ",\n";
    out += "  \"reference\": " +
           dumped(options.reference ? nlohmann::json(*options.reference) : nlohmann::json(nullptr),
                  -1) +
           ",\n";
    out += "  \"rows\": [";
    return send();
  }
  bool finish() override {
    if (!flush_rows()) return false;
    std::string& out = text();
    out += rows_written_ ? "\n  ],\n" : "],\n";
    if (steps_ && !names("steps", step_names_)) return false;
    if (!names("units", units_)) return false;
    out.resize(out.size() - 2);  // the last ",\n"
    out += "\n}\n";
    return send(true);
  }

 private:
  void write(frame& f) override {
    std::string& out = text();
    for (std::size_t i = 0; i < f.rows; ++i) {
      out += rows_written_++ ? ",\n    " : "\n    ";
      // The record at an indent of 2, every line after its first moved
      // four spaces in (a string in JSON holds no line break).
      const std::string record = dumped(frame_record(f, i), 2);
      for (const char c : record) {
        out += c;
        if (c == '\n') out += "    ";
      }
    }
  }
  // An array of names, key and all, and ",\n" after it.
  bool names(const char* key, std::span<const std::string> list) {
    std::string& out = text();
    out.append("  \"").append(key).append("\": [");
    for (std::size_t k = 0; k < list.size(); ++k) {
      out += k > 0 ? ",\n    " : "\n    ";
      out += dumped(list[k], -1);
      if (!send()) return false;
    }
    out += list.empty() ? "],\n" : "\n  ],\n";
    return true;
  }
  std::vector<std::string> units_, step_names_;
  std::size_t rows_written_ = 0;
};

}  // namespace

std::optional<std::string> pooling_warning(const comparison& row) {
  if (!row.across_units || !row.across_units->pooling_reverses) return std::nullopt;
  const fourfifths::mantel_haenszel& m = *row.across_units;
  const std::string units = std::to_string(m.units) + " units where both applied";
  const std::string said =
      m.units_lower == 0 ? "below \"" + row.reference + "\"'s, though in none of the " + units +
                               " is it below"
                         : "at or above \"" + row.reference + "\"'s, though in every one of the " +
                               units + " it is below";
  return "group \"" + row.group + "\": all units together put its rate " + said +
         ": pooling the units reverses them (Simpson's paradox); read the Mantel-Haenszel "
         "result, which compares within units";
}

bool warning_sink::row(const comparison& r) {
  if (auto w = pooling_warning(r)) warnings_.push_back(std::move(*w));
  return next_.row(r);
}

std::string observed_csv(const observed_analysis& a) { return observed_output(a, table_format::csv); }

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
  return observed_output(a, table_format::json);
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

// The rows of the text table kept before any is written: a table no longer
// is aligned on its widest entries. A longer one is written as it comes,
// its columns as wide as the widest of these rows and of what any row can
// hold (text_widths).
constexpr std::size_t rows_aligned_whole = 4096;

// Columns of text, each as wide as its widest entry; numbers to the right.
// Rows are kept until there are more than `kept`; from then on each is
// written at once, the widths then no less than `least`.
class text_table {
 public:
  text_table(const std::vector<std::pair<std::string, bool>>& head, std::size_t kept,
             std::vector<std::size_t> least)
      : kept_(kept), least_(std::move(least)) {
    for (const auto& [title, right] : head) {
      right_.push_back(right);
      widths_.push_back(title.size());
      titles_.push_back(title);
    }
  }
  // Adds a row, and appends to `out` whatever can be written now.
  void add(std::vector<std::string> row, std::string& out) {
    if (streaming_) {
      line(out, row);
      return;
    }
    for (std::size_t k = 0; k < row.size(); ++k) widths_[k] = std::max(widths_[k], row[k].size());
    rows_.push_back(std::move(row));
    if (rows_.size() <= kept_) return;
    streaming_ = true;
    for (std::size_t k = 0; k < widths_.size() && k < least_.size(); ++k) {
      widths_[k] = std::max(widths_[k], least_[k]);
    }
    finish(out);
  }
  // Appends what is left to `out`.
  void finish(std::string& out) {
    if (!titles_.empty()) line(out, titles_);
    titles_.clear();
    for (const auto& row : rows_) line(out, row);
    rows_.clear();
  }

 private:
  void line(std::string& out, const std::vector<std::string>& row) const {
    const std::size_t from = out.size();
    for (std::size_t k = 0; k < row.size(); ++k) {
      if (k > 0) out += "  ";
      const std::size_t pad = widths_[k] > row[k].size() ? widths_[k] - row[k].size() : 0;
      if (right_[k]) out.append(pad, ' ');
      out += row[k];
      if (!right_[k]) out.append(pad, ' ');
    }
    while (out.size() > from && out.back() == ' ') out.pop_back();
    out += '\n';
  }
  std::vector<std::string> titles_;
  std::vector<bool> right_;
  std::vector<std::size_t> widths_;
  std::vector<std::vector<std::string>> rows_;
  std::size_t kept_;
  std::vector<std::size_t> least_;
  bool streaming_ = false;
};

std::size_t digits(std::int64_t n) { return std::to_string(n).size(); }

// The widest entry each column of the text table can have, from the counts
// alone: the names, and the largest count (an entry's or a group's total),
// which bounds every count, shortfall and impact ratio (a/n1 over c/n2
// with c >= 1 is at most n2); z is at most the root of all the applicants.
// The interval has no such bound (and only the status comes after it).
std::vector<std::size_t> text_widths(const fourfifths::counts_table& counts, bool units,
                                     std::span<const std::string> steps) {
  std::size_t unit = 5, step = 13, group = 0;  // "(all)", "(bottom line)"
  for (const std::string& name : counts.units().names()) unit = std::max(unit, name.size());
  for (const std::string& name : steps) step = std::max(step, name.size());
  for (const std::string& name : counts.groups().names()) group = std::max(group, name.size());
  std::vector<std::int64_t> totals(counts.groups().size(), 0);
  std::int64_t largest = 0, all = 0;
  for (const fourfifths::counts_table::entry& e : counts.entries()) {
    largest = std::max(largest, e.applicants);
    totals[e.group] += e.applicants;
    all += e.applicants;
  }
  for (const std::int64_t t : totals) largest = std::max(largest, t);
  const std::size_t count = digits(largest);
  const auto root = static_cast<std::int64_t>(std::sqrt(static_cast<double>(all))) + 1;
  std::vector<std::size_t> widths = {
      group,      count,      count, 6, count + 5, 3, count, count + 3,
      3,          3,          digits(root) + 5,  9, 9, 0, 0};
  if (units) widths.insert(widths.begin(), unit);
  if (!steps.empty()) widths.insert(widths.begin(), step);
  return widths;
}

// The text table: what the reference, the level and the intervals are,
// the rows, and the Mantel-Haenszel results in words.
class text_table_writer final : public writer_base {
 public:
  text_table_writer(text_sink out, const fourfifths::counts_table* counts)
      : writer_base(std::move(out)), counts_(counts) {}

  bool start(const fourfifths::observed_options& options, std::span<const std::string> units,
             std::span<const std::string> steps) override {
    options_ = options;
    units_ = !units.empty();
    steps_ = !steps.empty();
    std::string& out = text();
    if (steps_) {
      std::string order;
      for (const std::string& s : steps) order += (order.empty() ? "" : ", ") + s;
      out += "Steps: " + order + (steps.size() > 1
                                      ? "; each among those who reached it, then the bottom line "
                                        "(selected at the last step of applicants at the first).\n"
                                      : ".\n");
    }
    out += options.reference ? "Reference: " + *options.reference + ".\n"
                             : std::string("Reference: the group with the highest selection rate") +
                                   (units_   ? " in each unit"
                                    : steps_ ? " at each step and in the bottom line"
                                             : "") +
                                   ".\n";
    out += "Tests at alpha " + formatted("%g", options.alpha) + "; " +
           percent(1 - options.alpha) +
           " intervals of the impact ratio by the log method (0.5 added to each count where a "
           "group selected no one).\n\n";
    std::vector<std::pair<std::string, bool>> head = {
        {"group", false}, {"applicants", true}, {"selected", true}, {"rate", true},
        {"ratio", true},  {"4/5", false},       {"short", true},    {"pool", true},
        {"flip", false},  {"reverse", false},   {"z", true},        {"p_z", true},
        {"p_fisher", true}, {"interval", false}, {"status", false}};
    if (units_) head.insert(head.begin(), {"unit", false});
    if (steps_) head.insert(head.begin(), {"step", false});
    table_.emplace(head, counts_ ? rows_aligned_whole : SIZE_MAX,
                   counts_ ? text_widths(*counts_, units_, steps) : std::vector<std::size_t>());
    return send();
  }

  bool row(const comparison& r) override {
    std::vector<std::string> cells = {
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
    if (units_) cells.insert(cells.begin(), r.unit.empty() ? "(all)" : r.unit);
    if (steps_) cells.insert(cells.begin(), r.step.empty() ? "(bottom line)" : r.step);
    table_->add(std::move(cells), text());
    if (r.across_units) across_.push_back(across_line(r));
    return send();
  }

  bool finish() override {
    std::string& out = text();
    table_->finish(out);
    if (!across_.empty()) {
      out +=
          "\nAcross units (Mantel-Haenszel, the odds of selection of each group over the "
          "reference's):\n";
    }
    for (const std::string& line : across_) {
      out += line;
      if (!send()) return false;
    }
    return send(true);
  }

 private:
  std::string across_line(const comparison& r) const {
    const fourfifths::mantel_haenszel& m = *r.across_units;
    std::string out = "  " + r.group + " against " + r.reference + ": ";
    if (m.status == fourfifths::mh_status::no_shared_unit) {
      return out + "no unit where both have applicants\n";
    }
    out += "odds ratio " + fixed4(m.odds_ratio);
    if (m.ci_low && m.ci_high) {
      out += " " + percent(1 - options_.alpha) + " " + interval_text(m.ci_low, m.ci_high);
    }
    out += ", chi-square " + (m.statistic ? formatted("%.3f", *m.statistic) : std::string("-")) +
           ", p " + p_text(m.p) + ", " + std::to_string(m.units) +
           (m.units == 1 ? " unit" : " units") +
           (m.status == fourfifths::mh_status::no_variation
                ? " (no test: in each everyone or no one was selected)\n"
                : "\n");
    return out;
  }

  const fourfifths::counts_table* counts_;
  fourfifths::observed_options options_;
  bool units_ = false, steps_ = false;
  std::optional<text_table> table_;
  std::vector<std::string> across_;
};

}  // namespace

std::string observed_text(const observed_analysis& a) {
  return observed_output(a, table_format::text);
}

std::unique_ptr<observed_writer> make_observed_writer(table_format format, text_sink out,
                                                      const fourfifths::counts_table* counts) {
  switch (format) {
    case table_format::csv:
      return std::make_unique<csv_table_writer>(std::move(out));
    case table_format::json:
      return std::make_unique<json_table_writer>(std::move(out));
    case table_format::text:
      return std::make_unique<text_table_writer>(std::move(out), counts);
  }
  return nullptr;
}

void replay(const observed_analysis& a, fourfifths::observed_sink& sink) {
  if (!sink.start(a.options, a.units, a.steps)) return;
  for (const comparison& r : a.rows) {
    if (!sink.row(r)) return;
  }
}

std::string observed_output(const observed_analysis& a, table_format format) {
  std::string out;
  const std::unique_ptr<observed_writer> w =
      make_observed_writer(format, [&](std::string_view text) {
        out.append(text);
        return true;
      });
  replay(a, *w);
  w->finish();
  return out;
}

}  // namespace present
