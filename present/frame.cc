#include "present/frame.h"

#include <cmath>
#include <limits>

#include "present/numbers.h"
#include "present/table.h"

namespace present {

frame_column& frame::add(std::string name, column_type type, std::string_view description) {
  frame_column& c = columns.emplace_back();
  c.name = std::move(name);
  c.type = type;
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
  if (c.missing.empty()) c.missing.assign(c.numbers.size(), 0);
  c.numbers.push_back(std::numeric_limits<double>::quiet_NaN());
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

void push_text(frame_column& c, std::string_view v) { c.texts.emplace_back(v); }

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

}  // namespace present
