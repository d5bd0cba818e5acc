#include "recordio/layout.h"

#include <string>

namespace recordio {

void layout_error(const char*) {}

// ---------------------------------------------------------------------------
// The compact notation of a parsed template.

namespace {

void append_number(std::string& out, int value) { out += std::to_string(value); }

void append_repeat(std::string& out, int repeat) {
  if (repeat != 1) append_number(out, repeat);
}

void append_field(std::string& out, const step& s, char letter) {
  append_repeat(out, s.repeat);
  out += letter;
  if (s.kind == step_kind::characters && s.width == 0) return;
  append_number(out, s.width);
  if (s.kind == step_kind::fixed || s.kind == step_kind::exponent) {
    out += '.';
    append_number(out, s.digits);
  }
}

void append_step(std::string& out, const step& s, std::string_view text) {
  switch (s.kind) {
    case step_kind::text:
      out += '\'';
      out += text.substr(static_cast<std::size_t>(s.text_begin),
                         static_cast<std::size_t>(s.text_length));
      out += '\'';
      break;
    case step_kind::move:
      append_number(out, s.width);
      out += 'X';
      break;
    case step_kind::slash:
      out += '/';
      break;
    case step_kind::integer:
      append_field(out, s, 'I');
      break;
    case step_kind::fixed:
      append_field(out, s, 'F');
      break;
    case step_kind::exponent:
      append_field(out, s, 'D');
      break;
    case step_kind::characters:
      append_field(out, s, 'A');
      break;
    case step_kind::group_open:
      append_repeat(out, s.repeat);
      out += '(';
      break;
    case step_kind::group_close:
      out += ')';
      break;
  }
}

}  // namespace

std::string serialize(std::span<const step> steps, std::string_view text) {
  std::string out;
  for (const step& s : steps) {
    out += '[';
    append_step(out, s, text);
    out += ']';
  }
  return out;
}

}  // namespace recordio
