#include "present/frame.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "present/names.h"
#include "present/numbers.h"
#include "present/table.h"

namespace present {

std::string_view unit_of(std::string_view column) {
  struct entry {
    std::string_view name;
    bool prefix;
    std::string_view unit;
  };
  static constexpr entry units[] = {
      {"std_mean", true, "SD of all applicants"},
      {"cv_level", false, "ratio"},
      {"cv_validity", true, "correlation"},
      {"cv_mean", true, "SD"},
      {"cv_lowest_ratio", true, "ratio"},
      {"cv_unreachable", false, "count"},
      {"target", false, "proportion"},
      {"sr", true, "proportion"},
      {"rate", false, "proportion"},
      {"four_fifths_minimum", false, "proportion"},
      {"ai_ratio", false, "ratio"},
      {"ai_vs_majority", false, "ratio"},
      {"ratio_to_highest", true, "ratio"},
      {"lowest_ratio_to_highest", false, "ratio"},
      {"impact_ratio", false, "ratio"},
      {"ci_", true, "ratio"},
      {"mh_odds_ratio", false, "ratio"},
      {"mh_ci_", true, "ratio"},
      {"cut_score", false, "SD"},
      {"mean", true, "SD"},
      {"composite_d", false, "SD"},
      {"validity", false, "correlation"},
      {"bound", false, "correlation"},
      {"gap", false, "correlation"},
      {"applicants", false, "count"},
      {"selected", false, "count"},
      {"pool_selected", false, "count"},
      {"shortfall_", true, "count"},
      {"mh_units", false, "count"},
      {"p_", true, "probability"},
      {"z", false, "statistic"},
      {"mh_statistic", false, "statistic"},
  };
  for (const entry& e : units) {
    if (e.prefix ? column.starts_with(e.name) : column == e.name) return e.unit;
  }
  // The weights w1, w2, ...
  if (column.size() > 1 && column[0] == 'w' &&
      column.find_first_not_of("0123456789", 1) == std::string_view::npos) {
    return "weight";
  }
  return {};
}

frame_column& frame::add(std::string name, column_type type, std::string_view description) {
  frame_column& c = columns.emplace_back();
  c.name = std::move(name);
  c.type = type;
  c.unit = type == column_type::number || type == column_type::integer ? unit_of(c.name)
                                                                        : std::string_view();
  c.description = description;
  if (type == column_type::text) {
    c.texts.reserve(rows);
  } else {
    c.numbers.reserve(rows);
  }
  return c;
}

void push_number(frame_column& c, double v) {
  // One NaN, whatever its sign and payload: the one its text "NaN" reads as.
  c.numbers.push_back(std::isnan(v) ? std::numeric_limits<double>::quiet_NaN() : v);
  if (!c.missing.empty()) c.missing.push_back(0);
}

void push_missing(frame_column& c) {
  // The mask is made when the first field is missing.
  if (c.type == column_type::text) {
    if (c.missing.empty()) c.missing.assign(c.texts.size(), 0);
    c.texts.emplace_back();
  } else {
    if (c.missing.empty()) c.missing.assign(c.numbers.size(), 0);
    c.numbers.push_back(std::numeric_limits<double>::quiet_NaN());
  }
  c.missing.push_back(1);
}

void push_optional(frame_column& c, const std::optional<double>& v) {
  if (v) {
    push_number(c, *v);
  } else {
    push_missing(c);
  }
}

void push_flag(frame_column& c, bool v) { push_number(c, v ? 1 : 0); }

void push_text(frame_column& c, std::string_view v) {
  c.texts.emplace_back(v);
  if (!c.missing.empty()) c.missing.push_back(0);
}

frame stack_frames(std::span<const frame> parts, std::span<const std::string> ids) {
  frame out;
  for (const frame& part : parts) out.rows += part.rows;
  out.columns.reserve(1 + (parts.empty() ? 0 : parts.front().columns.size()));
  frame_column& id = out.add("id", column_type::text, "the scenario's id");
  for (std::size_t k = 0; k < parts.size(); ++k)
    id.texts.insert(id.texts.end(), parts[k].rows, ids[k]);
  if (parts.empty()) return out;
  for (std::size_t j = 0; j < parts.front().columns.size(); ++j) {
    const frame_column& first = parts.front().columns[j];
    frame_column& c = out.add(first.name, first.type, first.description);
    for (const frame& part : parts) {
      const frame_column& from = part.columns[j];
      for (std::size_t i = 0; i < part.rows; ++i) {
        if (from.is_missing(i)) {
          push_missing(c);
        } else if (from.type == column_type::text) {
          push_text(c, from.texts[i]);
        } else {
          push_number(c, from.numbers[i]);
        }
      }
    }
  }
  return out;
}

void append_frame_csv_rows(std::string& out, const frame& f) {
  for (std::size_t i = 0; i < f.rows; ++i) {
    for (std::size_t j = 0; j < f.columns.size(); ++j) {
      const frame_column& c = f.columns[j];
      if (j > 0) out += ',';
      if (c.type == column_type::text) {
        append_csv_field(out, c.texts[i]);
      } else if (c.is_missing(i)) {
        continue;
      } else if (c.type == column_type::boolean) {
        out += c.numbers[i] != 0 ? "true" : "false";
      } else if (c.type == column_type::integer) {
        out += std::to_string(static_cast<std::int64_t>(c.numbers[i]));
      } else {
        append_number(out, c.numbers[i]);
      }
    }
    out += '\n';
  }
}

std::string frame_csv(const frame& f) {
  std::string out;
  for (std::size_t j = 0; j < f.columns.size(); ++j) {
    if (j > 0) out += ',';
    append_csv_field(out, f.columns[j].name);
  }
  out += '\n';
  append_frame_csv_rows(out, f);
  return out;
}

namespace {

// One field of a column as a JSON value.
nlohmann::json field_json(const frame_column& c, std::size_t row) {
  if (c.is_missing(row)) return nullptr;
  if (c.type == column_type::text) return c.texts[row];
  const double v = c.numbers[row];
  if (!std::isfinite(v)) return nullptr;
  if (c.type == column_type::boolean) return v != 0;
  if (c.type == column_type::integer) return static_cast<std::int64_t>(v);
  return v;
}

}  // namespace

nlohmann::json frame_document(const frame& f) {
  nlohmann::json names = nlohmann::json::array();
  nlohmann::json types = nlohmann::json::array();
  nlohmann::json units = nlohmann::json::array();
  nlohmann::json descriptions = nlohmann::json::array();
  nlohmann::json columns = nlohmann::json::array();
  for (const frame_column& c : f.columns) {
    names.push_back(c.name);
    types.push_back(std::string(name_of(c.type)));
    units.push_back(std::string(c.unit));
    descriptions.push_back(std::string(c.description));
    nlohmann::json values = nlohmann::json::array();
    for (std::size_t i = 0; i < f.rows; ++i) values.push_back(field_json(c, i));
    columns.push_back(std::move(values));
  }
  return {{"names", std::move(names)},
          {"types", std::move(types)},
          {"units", std::move(units)},
          {"descriptions", std::move(descriptions)},
          {"columns", std::move(columns)}};
}

}  // namespace present

namespace present {

nlohmann::json frame_record(const frame& f, std::size_t row) {
  nlohmann::json j = nlohmann::json::object();
  for (const frame_column& c : f.columns) j[c.name] = field_json(c, row);
  return j;
}

nlohmann::json frame_records(const frame& f) {
  nlohmann::json rows = nlohmann::json::array();
  for (std::size_t i = 0; i < f.rows; ++i) rows.push_back(frame_record(f, i));
  return rows;
}

}  // namespace present
