#include "recordio/reader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <limits>
#include <utility>

#include "recordio/termination.h"

namespace recordio {

namespace {

// An empty push-back slot (distinct from the deck's eof and read_error).
constexpr int none = -3;

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

list_reader::list_reader(session& s) : session_(s), pushed_back_(none), held_(none) {}

// ---------------------------------------------------------------------------
// The read

void list_reader::begin() {
  session_.last() = last_operation{.unit = unit_deck, .writing = false, .format = "list io"};
  copies_left_ = 0;
  terminated_ = false;
  if (at_end_) fatal_io(session_, io_error::end_of_file, "read start");
}

void list_reader::item(int& value) {
  if (const std::optional<double> v = next_value(item_kind::integer)) value = to_integer(*v);
}

void list_reader::item(double& value) {
  if (const std::optional<double> v = next_value(item_kind::real)) value = *v;
}

void list_reader::end() {
  int c = get();
  while (c != '\n' && c != deck_input::eof) c = get();
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
// newline folded into the line end. A read error of the deck is fatal.
int list_reader::next_from_deck() {
  const int c = held_ != none ? std::exchange(held_, none) : deck_byte();
  if (c == deck_input::read_error) fatal_io(session_, session_.deck().error_number(), "list in");
  if (c == '\r') {
    const int after = deck_byte();
    if (after == '\n') return '\n';
    held_ = after;
  }
  return c;
}

// The deck's next byte; once it has ended, it is not asked again.
int list_reader::deck_byte() {
  if (deck_done_) return deck_input::eof;
  const int c = session_.deck().get();
  if (c == deck_input::eof) deck_done_ = true;
  return c;
}

// ---------------------------------------------------------------------------
// One item

// The value of the next item, or nothing when the item stays unchanged (a
// null, or an item after the slash).
std::optional<double> list_reader::next_value(item_kind kind) {
  if (terminated_) return std::nullopt;
  if (at_end_) fatal_io(session_, io_error::end_of_file, "list in");
  if (copies_left_ == 0) {
    if (!find_value()) return std::nullopt;
    read_value(kind);
  }
  --copies_left_;
  after_value();
  if (value_is_null_) return std::nullopt;
  return value_;
}

// Skips to the start of a value. Returns false when the item is a null (a
// comma, used up) or the slash ends the read here.
bool list_reader::find_value() {
  for (;;) {
    const int c = get();
    if (is_blank(c) || c == '\n') continue;
    if (c == deck_input::eof) fatal_io(session_, io_error::end_of_file, "list in");
    if (c == '/') {
      terminated_ = true;
      return false;
    }
    if (c == ',') return false;
    unget(c);
    return true;
  }
}

// Reads a value, possibly with a repeat count, into the value in hand.
void list_reader::read_value(item_kind kind) {
  int c = get();
  mantissa m = scan_mantissa(c);
  copies_left_ = 1;
  // "r*" with nothing taken after the "*": a blank or a line end next makes
  // it a repeated null.
  bool bare_count = false;
  if (c == '*') {
    copies_left_ = repeat_count(m);
    c = get();
    m = scan_mantissa(c);
    bare_count = !m.has_sign;
  }
  if (c == '.') {
    if (kind == item_kind::integer) {
      fatal_io(session_, io_error::read_unexpected_character, "invalid integer");
    }
    bare_count = false;
    c = get();
    scan_fraction(m, c);
  }
  const long long exponent = scan_exponent_part(kind, m, c);
  unget(c);

  value_is_null_ = !m.seen_digit;
  if (m.seen_digit) {
    value_ = to_double(m, exponent);
  } else if (!(c == ',' || c == '/' || (bare_count && (is_blank(c) || c == '\n')))) {
    fatal_io(session_, io_error::incomprehensible_list_input, "invalid number");
  }
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
long long list_reader::scan_exponent_part(item_kind kind, const mantissa& m, int& c) {
  if (is_sign(c)) return scan_exponent(c);
  if (!is_exponent_letter(c) || !m.seen_digit) return 0;
  if (kind == item_kind::integer) {
    fatal_io(session_, io_error::read_unexpected_character, "invalid integer");
  }
  c = get();
  return scan_exponent(c);
}

// An exponent's optional sign and its digits, from `c` on. Leaves in `c` the
// character after them.
long long list_reader::scan_exponent(int& c) {
  bool negative = false;
  if (is_sign(c)) {
    negative = c == '-';
    c = get();
  }
  if (!is_digit(c)) fatal_io(session_, io_error::incomprehensible_list_input, "exponent field");
  long long exponent = 0;
  for (; is_digit(c); c = get()) {
    exponent = exponent * 10 + (c - '0');
    if (exponent > max_exponent) {
      fatal_io(session_, io_error::incomprehensible_list_input, "exponent field");
    }
  }
  return negative ? -exponent : exponent;
}

// The count of "r*" from the digits before the "*". A count beyond what a
// read can use is held at the largest value.
long long list_reader::repeat_count(const mantissa& m) {
  if (m.has_sign || m.digits.empty() || m.scale > 0) {
    fatal_io(session_, io_error::incomprehensible_list_input, "bad repetition count");
  }
  constexpr long long most = std::numeric_limits<long long>::max();
  long long count = 0;
  for (const char digit : m.digits) {
    const int d = digit - '0';
    if (count > (most - d) / 10) return most;
    count = count * 10 + d;
  }
  return count;
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

// An integer item: the value truncated toward zero, which must fit 32 bits.
int list_reader::to_integer(double v) {
  const double whole = std::trunc(v);
  if (!(whole >= std::numeric_limits<int>::min() && whole <= std::numeric_limits<int>::max())) {
    fatal_io(session_, io_error::incomprehensible_list_input, "integer overflow");
  }
  return static_cast<int>(whole);
}

}  // namespace recordio
