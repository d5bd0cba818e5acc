#include "recordio/reader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <limits>
#include <utility>

namespace recordio {

namespace {

// Significant digits kept of a mantissa; the rest only move the exponent.
constexpr std::size_t max_digits = 40;
// The largest exponent that may be written after the mantissa.
constexpr long long max_exponent = 99999999;
// Beyond this power of ten, forty digits are already infinite or zero as a
// double; the exponent handed to the conversion is held within it.
constexpr long long conversion_exponent_limit = 1000;

bool is_blank(int c) { return c == ' ' || c == '\t'; }
bool is_digit(int c) { return c >= '0' && c <= '9'; }
bool is_sign(int c) { return c == '+' || c == '-'; }
bool is_exponent_letter(int c) { return c == 'E' || c == 'e' || c == 'D' || c == 'd'; }

}  // namespace

std::string read_fault::report() const { return fatal_report(number, context); }

bool list_reader::fail(int number, std::string_view context) {
  if (!fault_) fault_ = read_fault{number, context};
  return false;
}

bool list_reader::fail(io_error number, std::string_view context) {
  return fail(static_cast<int>(number), context);
}

// ---------------------------------------------------------------------------
// The read

bool list_reader::begin() {
  if (fault_) return false;
  copies_left_ = 0;
  terminated_ = false;
  if (at_end_) return fail(io_error::end_of_file, "read start");
  return true;
}

bool list_reader::item(int& value) {
  const item_value v = next_value(item_kind::integer);
  if (!v.ok) return false;
  if (!v.present) return true;
  // The value truncated toward zero, which must fit 32 bits.
  const double whole = std::trunc(v.value);
  if (!(whole >= std::numeric_limits<int>::min() && whole <= std::numeric_limits<int>::max())) {
    return fail(io_error::incomprehensible_list_input, "integer overflow");
  }
  value = static_cast<int>(whole);
  return true;
}

bool list_reader::item(double& value) {
  const item_value v = next_value(item_kind::real);
  if (v.ok && v.present) value = v.value;
  return v.ok;
}

bool list_reader::end() {
  if (fault_) return false;
  int c = get();
  while (c != '\n' && c != deck_input::eof && c != deck_input::read_error) c = get();
  return !fault_;
}

// ---------------------------------------------------------------------------
// Characters

// The next character: the pushed-back one, or the next of the deck. Meeting
// the end of the input is remembered for the checks of later items and reads.
int list_reader::get() {
  const int c = pushed_back_ != none ? std::exchange(pushed_back_, none) : next_from_deck();
  if (c == deck_input::eof) at_end_ = true;
  return c;
}

void list_reader::unget(int c) { pushed_back_ = c; }

// The next character of the deck, with a carriage return directly before a
// newline folded into the line end. A read error of the deck is fatal: it
// is recorded, and `read_error` then stops the value being scanned.
int list_reader::next_from_deck() {
  const int c = held_ != none ? std::exchange(held_, none) : deck_byte();
  if (c == deck_input::read_error) {
    fail(in_.error_number(), "list in");
    return c;
  }
  if (c == '\r') {
    const int after = deck_byte();
    if (after == '\n') return '\n';
    held_ = after;
  }
  return c;
}

// The deck's next byte; once it has ended or failed, it is not asked again.
int list_reader::deck_byte() {
  if (deck_done_) return fault_ ? deck_input::read_error : deck_input::eof;
  const int c = in_.get();
  if (c == deck_input::eof || c == deck_input::read_error) deck_done_ = true;
  return c;
}

// ---------------------------------------------------------------------------
// One item

// The value of the next item: nothing when the item stays unchanged (a
// null, or an item after the slash).
list_reader::item_value list_reader::next_value(item_kind kind) {
  if (fault_) return {.ok = false};
  if (terminated_) return {};
  if (at_end_) {
    fail(io_error::end_of_file, "list in");
    return {.ok = false};
  }
  if (copies_left_ == 0) {
    bool found = false;
    if (!find_value(found)) return {.ok = false};
    if (!found) return {};
    if (!read_value(kind)) return {.ok = false};
  }
  --copies_left_;
  after_value();
  if (fault_) return {.ok = false};
  if (value_is_null_) return {};
  return {.ok = true, .present = true, .value = value_};
}

// Skips to the start of a value. `found` is false when the item is a null
// (a comma, used up) or the slash ends the read here.
bool list_reader::find_value(bool& found) {
  for (;;) {
    const int c = get();
    if (is_blank(c) || c == '\n') continue;
    if (c == deck_input::eof) return fail(io_error::end_of_file, "list in");
    if (c == deck_input::read_error) return false;
    if (c == '/') {
      terminated_ = true;
      found = false;
      return true;
    }
    found = c != ',';
    if (found) unget(c);
    return true;
  }
}

// Reads a value, possibly with a repeat count, into the value in hand.
bool list_reader::read_value(item_kind kind) {
  int c = get();
  mantissa m = scan_mantissa(c);
  copies_left_ = 1;
  // "r*" with nothing taken after the "*": a blank or a line end next makes
  // it a repeated null.
  bool bare_count = false;
  if (c == '*') {
    if (!repeat_count(m, copies_left_)) return false;
    c = get();
    m = scan_mantissa(c);
    bare_count = !m.has_sign;
  }
  if (c == '.') {
    if (kind == item_kind::integer) {
      return fail(io_error::read_unexpected_character, "invalid integer");
    }
    bare_count = false;
    c = get();
    scan_fraction(m, c);
  }
  long long exponent = 0;
  if (!scan_exponent_part(kind, m, c, exponent)) return false;
  unget(c);
  if (fault_) return false;  // the deck failed while the value was scanned

  value_is_null_ = !m.seen_digit;
  if (m.seen_digit) {
    value_ = to_double(m, exponent);
  } else if (!(c == ',' || c == '/' || (bare_count && (is_blank(c) || c == '\n')))) {
    return fail(io_error::incomprehensible_list_input, "invalid number");
  }
  return true;
}

// An optional sign and the digits before a point or a "*", from `c` on.
// Leaves in `c` the character after them.
list_reader::mantissa list_reader::scan_mantissa(int& c) {
  mantissa m;
  if (is_sign(c)) {
    m.has_sign = true;
    m.negative = c == '-';
    c = get();
  }
  for (; c == '0'; c = get()) m.seen_digit = true;
  for (; is_digit(c); c = get()) {
    m.seen_digit = true;
    if (m.digits.size() < max_digits) {
      m.digits += static_cast<char>(c);
    } else {
      ++m.scale;
    }
  }
  return m;
}

// The digits after the point, from `c` on. Leaves in `c` the character after
// them.
void list_reader::scan_fraction(mantissa& m, int& c) {
  for (; is_digit(c); c = get()) {
    m.seen_digit = true;
    if (m.digits.empty() && c == '0') {
      --m.scale;
    } else if (m.digits.size() < max_digits) {
      m.digits += static_cast<char>(c);
      --m.scale;
    }
  }
}

// The exponent after a mantissa, if `c` starts one: a sign, or an exponent
// letter after at least one digit. Leaves in `c` the character after it.
bool list_reader::scan_exponent_part(item_kind kind, const mantissa& m, int& c,
                                     long long& exponent) {
  exponent = 0;
  if (is_sign(c)) return scan_exponent(c, exponent);
  if (!is_exponent_letter(c) || !m.seen_digit) return true;
  if (kind == item_kind::integer) {
    return fail(io_error::read_unexpected_character, "invalid integer");
  }
  c = get();
  return scan_exponent(c, exponent);
}

// An exponent's optional sign and its digits, from `c` on. Leaves in `c` the
// character after them.
bool list_reader::scan_exponent(int& c, long long& exponent) {
  bool negative = false;
  if (is_sign(c)) {
    negative = c == '-';
    c = get();
  }
  if (!is_digit(c)) return fail(io_error::incomprehensible_list_input, "exponent field");
  exponent = 0;
  for (; is_digit(c); c = get()) {
    exponent = exponent * 10 + (c - '0');
    if (exponent > max_exponent) {
      return fail(io_error::incomprehensible_list_input, "exponent field");
    }
  }
  if (negative) exponent = -exponent;
  return true;
}

// The count of "r*" from the digits before the "*". A count beyond what a
// read can use is held at the largest value.
bool list_reader::repeat_count(const mantissa& m, long long& count) {
  if (m.has_sign || m.digits.empty() || m.scale > 0) {
    return fail(io_error::incomprehensible_list_input, "bad repetition count");
  }
  constexpr long long most = std::numeric_limits<long long>::max();
  count = 0;
  for (const char digit : m.digits) {
    const int d = digit - '0';
    if (count > (most - d) / 10) {
      count = most;
      return true;
    }
    count = count * 10 + d;
  }
  return true;
}

// Blanks after a value are skipped and a comma after it is its separator,
// used up once the last copy of a repeat has been served. Anything else is
// left for the next item.
void list_reader::after_value() {
  int c = get();
  while (is_blank(c)) c = get();
  if (c == ',' && copies_left_ == 0) return;
  unget(c);
}

// The digits with their sign and power of ten, by the C library's decimal
// conversion. Only zeros make 0.
namespace {

constexpr std::array<double, 23> exact_powers_of_ten = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

}  // namespace

double list_reader::to_double(mantissa m, long long exponent) {
  if (m.digits.empty()) return 0.0;
  while (m.digits.back() == '0') {
    m.digits.pop_back();
    ++m.scale;
  }
  const long long power =
      std::clamp(m.scale + exponent, -conversion_exponent_limit, conversion_exponent_limit);
  // Up to 15 digits make an exact double, and so does a power of ten up to
  // 10^22: one multiplication or division then rounds exactly as the full
  // conversion does, which the deck's usual values never need.
  if (m.digits.size() <= 15 && power >= -22 && power <= 22) {
    double value = 0;
    for (char c : m.digits) value = value * 10 + (c - '0');
    const double scale = exact_powers_of_ten[static_cast<std::size_t>(power < 0 ? -power : power)];
    value = power < 0 ? value / scale : value * scale;
    return m.negative ? -value : value;
  }
  std::string text = m.negative ? "-" : "";
  text += m.digits;
  text += 'e';
  text += std::to_string(power);
  return std::strtod(text.c_str(), nullptr);
}

}  // namespace recordio
