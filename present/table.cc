#include "present/table.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string_view>

#include "present/frame.h"

namespace present {

namespace {

using fourfifths::outcome;

// The numeric columns, in order, and how to read each from an outcome.
struct column {
  const char* name;
  std::optional<double> (*value)(const outcome&);
  const char* description = "";
};

constexpr column columns[] = {
    {"target", [](const outcome& o) -> std::optional<double> { return o.target; },
     "the selection ratio asked for (overall, or the majority's in majority mode)"},
    {"sr", [](const outcome& o) { return o.sr; },
     "the overall selection ratio (with the applicant mix)"},
    {"sr_majority", [](const outcome& o) -> std::optional<double> { return o.sr_majority; },
     "the majority's selection rate"},
    {"sr_minority", [](const outcome& o) -> std::optional<double> { return o.sr_minority; },
     "the minority's selection rate"},
    {"ai_ratio", [](const outcome& o) -> std::optional<double> { return o.ai_ratio; },
     "the impact ratio: the minority's rate / the majority's"},
    {"ratio_to_highest",
     [](const outcome& o) -> std::optional<double> { return o.ratio_to_highest(); },
     "the lower group's rate / the higher group's"},
    {"passes_four_fifths", nullptr, "every group's rate is at least 0.8 of the highest"},
    {"cut_score", [](const outcome& o) -> std::optional<double> { return o.cut_score; },
     "the cut score on the predictor composite (majority standard deviations)"},
    {"mean", [](const outcome& o) { return o.mean; },
     "the mean quality of those selected (with the applicant mix)"},
    {"mean_majority", [](const outcome& o) -> std::optional<double> { return o.mean_majority; },
     "the mean quality of the majority selected"},
    {"mean_minority", [](const outcome& o) -> std::optional<double> { return o.mean_minority; },
     "the mean quality of the minority selected"},
    {"mean_difference", [](const outcome& o) -> std::optional<double> { return o.mean_difference; },
     "mean_majority - mean_minority"},
    {"std_mean", [](const outcome& o) { return o.std_mean; },
     "mean, standardized over all applicants"},
    {"std_mean_majority", [](const outcome& o) { return o.std_mean_majority; },
     "mean_majority, standardized over all applicants"},
    {"std_mean_minority", [](const outcome& o) { return o.std_mean_minority; },
     "mean_minority, standardized over all applicants"},
    {"std_mean_difference", [](const outcome& o) { return o.std_mean_difference; },
     "mean_difference, standardized over all applicants"},
};

// The names of the kinds and statuses as the table writes them.
std::string_view kind_name(fourfifths::entry_kind kind) { return name_of(kind); }
std::string_view status_name(fourfifths::outcome_status status) { return name_of(status); }

// Whether two outcomes give the same CSV fields, bit for bit.
bool same_fields(const outcome& a, const outcome& b) {
  if (a.status != b.status) return false;
  for (const column& c : columns) {
    if (c.value == nullptr) continue;
    const std::optional<double> x = c.value(a);
    const std::optional<double> y = c.value(b);
    if (x.has_value() != y.has_value()) return false;
    if (x && std::bit_cast<std::uint64_t>(*x) != std::bit_cast<std::uint64_t>(*y)) return false;
  }
  return true;
}

}  // namespace

const char* csv_writer::target_text(double target, std::size_t& size) {
  const auto bits = std::bit_cast<std::uint64_t>(target);
  memo& m = targets_[(bits ^ bits >> 29) % targets_.size()];
  if (m.size == 0 || m.bits != bits) {
    m.bits = bits;
    m.size = static_cast<std::uint8_t>(number_text(m.text, target) - m.text);
  }
  size = m.size;
  return m.text;
}

char* csv_writer::number_text(char* out, double v) {
  if (std::isnan(v)) {
    constexpr std::string_view nan = "NaN";
    return std::copy(nan.begin(), nan.end(), out);
  }
  return write_shortest(out, v);
}

// The fields after the kind, up to the status, into `line`: the columns'
// values in order, written directly rather than through the table of
// columns (whose calls cost more than some of the numbers).
char* csv_writer::fields(char* line, const outcome& o) {
  static_assert(std::size(columns) == 16, "fields() writes the columns in this order");
  char* p = line;
  std::size_t target_size = 0;
  const char* target = target_text(o.target, target_size);
  auto put_text = [&](std::string_view text) {
    std::memcpy(p, text.data(), text.size());
    p += text.size();
  };
  // A number with the target's bits (the overall ratio in overall mode,
  // the majority's in majority mode) is the target's text.
  auto put = [&](double v) {
    *p++ = ',';
    if (std::bit_cast<std::uint64_t>(v) == std::bit_cast<std::uint64_t>(o.target)) {
      put_text({target, target_size});
    } else {
      p = number_text(p, v);
    }
  };
  auto put_optional = [&](const std::optional<double>& v) {
    if (v) {
      put(*v);
    } else {
      *p++ = ',';
    }
  };
  *p++ = ',';
  put_text({target, target_size});
  if (!o.solved()) {
    // Only the target: fourteen numbers and the verdict are empty.
    put_text(",,,,,,,,,,,,,,,");
  } else {
    put_optional(o.sr);
    put(o.sr_majority);
    put(o.sr_minority);
    put(o.ai_ratio);
    put(o.ratio_to_highest());
    *p++ = ',';
    put_text(o.passes_four_fifths() ? "true" : "false");
    put(o.cut_score);
    put_optional(o.mean);
    put(o.mean_majority);
    put(o.mean_minority);
    put(o.mean_difference);
    put_optional(o.std_mean);
    put_optional(o.std_mean_majority);
    put_optional(o.std_mean_minority);
    put_optional(o.std_mean_difference);
  }
  *p++ = ',';
  put_text(status_name(o.status));
  *p++ = '\n';
  return p;
}

void csv_writer::append(std::string& out, const table& t, const std::string* id) {
  std::string id_field;
  if (id != nullptr) {
    append_csv_field(id_field, *id);
    id_field += ',';
  }
  // Where each row's fields after its kind lie in `out`: a requested ratio
  // that is also a built-in one has the same fields, written once.
  spans_.clear();
  for (const table_row& row : t.rows) {
    out += id_field;
    out += kind_name(row.kind);
    const std::size_t from = out.size();
    bool copied = false;
    // Only the built-in rows, which come first, are looked at, and only
    // one with the same target is compared whole.
    for (std::size_t j = 0; j < spans_.size() && row.kind == fourfifths::entry_kind::requested &&
                            t.rows[j].kind == fourfifths::entry_kind::builtin;
         ++j) {
      const outcome& earlier = t.rows[j].result;
      if (std::bit_cast<std::uint64_t>(earlier.target) ==
              std::bit_cast<std::uint64_t>(row.result.target) &&
          same_fields(earlier, row.result)) {
        const auto [at, size] = spans_[j];
        out.reserve(out.size() + size);
        out.append(out, at, size);
        copied = true;
        break;
      }
    }
    if (!copied) {
      char line[std::size(columns) * (shortest_size + 1) + 32];
      out.append(line, fields(line, row.result));
    }
    spans_.emplace_back(from, out.size() - from);
  }
}

namespace {

// Whether a text is a decimal number and nothing else ("-3", "+0.5",
// "-1e-3"): a spreadsheet reads such a cell as a number, never as a
// formula. Infinities and NaN are words, not numbers, here.
bool is_plain_number(std::string_view text) {
  std::size_t i = 0;
  const auto sign = [&] {
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  };
  const auto digits = [&] {
    const std::size_t from = i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
    return i - from;
  };
  sign();
  std::size_t mantissa = digits();
  if (i < text.size() && text[i] == '.') {
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    sign();
    if (digits() == 0) return false;
  }
  return i == text.size();
}

}  // namespace

// A CSV field, quoted when it must be. A spreadsheet opening CSV runs a
// cell that starts with =, +, -, @, a tab or a carriage return as a
// formula, so such a text gets a single quote before it (OWASP's advice
// against CSV injection), which the spreadsheet shows as text and a reader
// of the file sees at once. Every text of every CSV the project writes
// passes here (names, ids, headers, messages); numbers do not, so a
// negative number stays a number, and so does a text that is a number as
// it stands (an id such as -3 written as it was given).
void append_csv_field(std::string& out, std::string_view text) {
  const bool formula = !text.empty() &&
                       std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos &&
                       !is_plain_number(text);
  if (text.find_first_of(",\"\n\r") == std::string_view::npos) {
    if (formula) out += '\'';
    out += text;
    return;
  }
  out += '"';
  if (formula) out += '\'';
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

nlohmann::json json_number(std::optional<double> v) {
  if (!v || !std::isfinite(*v)) return nullptr;
  return *v;
}

table make_table(const fourfifths::problem& p, fourfifths::method m,
                 const std::optional<std::vector<double>>& ratios) {
  table t;
  t.method = m;
  if (ratios) {
    const fourfifths::selection_model model = fourfifths::model_of(p);
    t.minimum = fourfifths::find_four_fifths_minimum(model, m);
    if (t.minimum.found) t.at_minimum = fourfifths::outcome_at(model, t.minimum.ratio, m);
    t.rows.reserve(ratios->size());
    for (const double r : *ratios) {
      t.rows.push_back({fourfifths::entry_kind::requested, fourfifths::outcome_at(model, r, m)});
    }
    return t;
  }
  // The report's entries, as the analysis gives them (it judges the
  // classic minimum with its allowance, and takes a requested ratio that is
  // a built-in one from that row).
  const fourfifths::analysis_result a = fourfifths::analyse(p, m);
  t.minimum = a.minimum;
  t.rows.reserve(a.entries.size());
  for (const fourfifths::table_entry& e : a.entries) {
    if (e.kind == fourfifths::entry_kind::minimum) t.at_minimum = e.result;
    t.rows.push_back({e.kind, e.result});
  }
  return t;
}

std::string csv_header(bool with_id) {
  std::string out = with_id ? "id,kind" : "kind";
  for (const column& c : columns) {
    out += ',';
    out += c.name;
  }
  return out + ",status\n";
}

frame table_frame(const table& t) {
  frame f;
  f.columns.reserve(std::size(columns) + 2);
  f.rows = t.rows.size();
  frame_column& kind = f.add("kind", column_type::text,
                             "the row: builtin, minimum (the four-fifths minimum) or requested");
  for (const table_row& row : t.rows) push_text(kind, kind_name(row.kind));
  for (const column& c : columns) {
    const bool verdict = c.value == nullptr;
    frame_column& out =
        f.add(c.name, verdict ? column_type::boolean : column_type::number, c.description);
    const bool target = c.value == columns[0].value;
    for (const table_row& row : t.rows) {
      const outcome& o = row.result;
      // Without a cut score a row keeps only its target.
      const bool has = o.solved() || target;
      if (verdict && has) {
        push_flag(out, o.passes_four_fifths());
      } else {
        push_optional(out, verdict || !has ? std::nullopt : c.value(o));
      }
    }
  }
  frame_column& status =
      f.add("status", column_type::text, "solved, or why the row has no numbers");
  for (const table_row& row : t.rows) push_text(status, status_name(row.result.status));
  if (t.pools) append_pool_columns(f, *t.pools);
  return f;
}

void add_pool_chances(table& t, const fourfifths::pool_population& population,
                      const fourfifths::pool_options& o) {
  std::vector<std::optional<double>> ratios;
  for (const table_row& row : t.rows) {
    ratios.push_back(row.result.solved() ? row.result.sr : std::nullopt);
  }
  t.pools = pool_chances_at(population, ratios, o);
}

std::string table_csv(const table& t) { return frame_csv(table_frame(t)); }

void append_csv(std::string& out, const table& t, const std::string* id) {
  csv_writer().append(out, t, id);
}

void append_csv_error(std::string& out, const std::string& id, const std::string& message) {
  append_csv_field(out, id);
  out += ',';  // no kind
  for (std::size_t i = 0; i < std::size(columns); ++i) out += ',';
  out += ',';
  append_csv_field(out, "error: " + message);
  out += '\n';
}

namespace {

std::string dumped(const nlohmann::json& j, int indent = -1) {
  return j.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

nlohmann::json minimum_json(const table& t) {
  if (!t.at_minimum) return nullptr;
  // The minimum row's own values, under the CSV's names: "sr" is the
  // overall ratio, which majority mode does not have; the ratio as the
  // mode says is the target.
  const outcome& o = *t.at_minimum;
  const bool ok = o.solved();
  return {{"target", json_number(o.target)},
          {"sr", ok ? json_number(o.sr) : nullptr},
          {"sr_majority", ok ? json_number(o.sr_majority) : nullptr},
          {"sr_minority", ok ? json_number(o.sr_minority) : nullptr},
          {"cut_score", ok ? json_number(o.cut_score) : nullptr}};
}

}  // namespace

std::string table_json(const table& t, const std::string* id, bool compact) {
  if (compact) {
    std::string out;
    append_json_line(out, t, id);
    return out;
  }
  return dumped(table_document(t, id), 2) + "\n";
}

void append_json_line(std::string& out, const table& t, const std::string* id) {
  // The document's keys in the order nlohmann::json writes them (its
  // objects are sorted), each row made and written on its own, so that a
  // table of many rows is never a tree of them all.
  out += "{\"four_fifths_minimum\":";
  out += dumped(minimum_json(t));
  if (id != nullptr) {
    out += ",\"id\":";
    out += dumped(*id);
  }
  out += ",\"method\":";
  out += dumped(name_of(t.method));
  if (t.pools) {
    out += ",\"pool\":";
    out += dumped(pool_document(*t.pools));
  }
  out += ",\"rows\":[";
  const frame f = table_frame(t);
  for (std::size_t i = 0; i < f.rows; ++i) {
    if (i > 0) out += ',';
    out += dumped(frame_record(f, i));
  }
  out += "]}\n";
}

void to_json(nlohmann::json& j, const table& t) { j = table_document(t, nullptr); }

nlohmann::json table_document(const table& t, const std::string* id) {
  nlohmann::json j = nlohmann::json::object();
  if (id != nullptr) j["id"] = *id;
  j["method"] = name_of(t.method);
  j["four_fifths_minimum"] = minimum_json(t);
  if (t.pools) j["pool"] = pool_document(*t.pools);
  j["rows"] = frame_records(table_frame(t));
  return j;
}

std::string error_json(const std::string& id, const std::string& message) {
  // A message may quote the bytes of a line that is not UTF-8 (the JSON
  // reader's "last read"): they are written as U+FFFD, not refused.
  return nlohmann::json({{"id", id}, {"error", message}})
             .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) +
         "\n";
}

namespace {

// A text in a field of `width` columns, to the right or the left; a longer
// text keeps every character and widens its field.
std::string right(std::string_view text, std::size_t width) {
  std::string out(width > text.size() ? width - text.size() : 0, ' ');
  return out.append(text);
}

std::string left(std::string_view text, std::size_t width) {
  std::string out(text);
  return out.append(width > text.size() ? width - text.size() : 0, ' ');
}

// A number with four decimals, however many digits it has before them.
std::string fixed4(double v) {
  const int size = std::snprintf(nullptr, 0, "%.4f", v);
  std::string text(static_cast<std::size_t>(size), '\0');
  std::snprintf(text.data(), text.size() + 1, "%.4f", v);
  return text;
}

}  // namespace

std::string table_text(const table& t) {
  auto cell = [](std::optional<double> v) {
    if (!v) return std::string("-");
    if (std::isnan(*v)) return std::string("NaN");  // as CSV writes it, whatever its sign
    return fixed4(*v);
  };
  auto line = [](const std::array<std::string, 12>& f) {
    constexpr std::array<std::size_t, 11> widths = {10, 8, 8, 8, 8, 8, 8, 9, 8, 8, 8};
    std::string out = left(f[0], widths[0]);
    for (std::size_t i = 1; i < widths.size(); ++i) out.append(" ").append(right(f[i], widths[i]));
    return out.append("  ").append(f[11]).append("\n");
  };
  // The pools' chances, when asked for, after the status.
  auto with_pool = [&](std::string text, std::size_t i) {
    if (!t.pools) return text;
    text.pop_back();
    const std::string cells =
        i == t.rows.size() ? pool_text_header() : pool_text_cells(t.pools->rows[i]);
    return text.append(cells).append("\n");
  };
  std::string out = with_pool(line({"kind", "target", "sr_maj", "sr_min", "ai", "to_high",
                                    "passes", "cut", "mean", "mean_maj", "mean_min",
                                    left("status", t.pools ? 12 : 0)}),
                              t.rows.size());
  for (std::size_t i = 0; i < t.rows.size(); ++i) {
    const table_row& row = t.rows[i];
    const outcome& o = row.result;
    const bool ok = o.solved();
    auto solved_cell = [&](std::optional<double> v) { return ok ? cell(v) : std::string("-"); };
    std::string last =
        line({std::string(kind_name(row.kind)), cell(o.target), solved_cell(o.sr_majority),
              solved_cell(o.sr_minority), solved_cell(o.ai_ratio),
              solved_cell(o.ratio_to_highest()), ok ? (o.passes_four_fifths() ? "yes" : "no") : "-",
              solved_cell(o.cut_score), solved_cell(o.mean), solved_cell(o.mean_majority),
              solved_cell(o.mean_minority), left(status_name(o.status), t.pools ? 12 : 0)});
    out += with_pool(std::move(last), i);
  }
  out += "four-fifths minimum selection ratio: ";
  out += t.minimum.found ? fixed4(t.minimum.ratio) : std::string("none");
  out += '\n';
  if (t.pools) out += pool_text_footer(*t.pools);
  return out;
}

}  // namespace present
