#include "recordio/fields.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

namespace recordio {

namespace {

/// The text of one decimal conversion, kept on the stack unless it is long.
class conversion {
 public:
  template <typename... Format>
  conversion(std::size_t room, Format... format) {
    char* first = local_.data();
    if (room > local_.size()) {
      heap_.resize(room);
      first = heap_.data();
    }
    const std::to_chars_result r = std::to_chars(first, first + room, format...);
    text_ = std::string_view(first, static_cast<std::size_t>(r.ptr - first));
  }
  conversion(const conversion&) = delete;
  conversion& operator=(const conversion&) = delete;

  std::string_view text() const { return text_; }

 private:
  std::array<char, 400> local_;
  std::string heap_;
  std::string_view text_;
};

std::size_t to_size(int n) { return static_cast<std::size_t>(n); }

__extension__ using uint128 = unsigned __int128;

/// Fixed notation of a finite magnitude below 1e9 with 1 to 9 decimals,
/// exactly as the C conversion rounds it: to the nearest, ties to even, on
/// the exact binary value. The magnitude is m * 2^e with an integer m below
/// 2^53, so magnitude * 10^digits is the 128-bit integer m * 10^digits
/// shifted right by -e, and the shifted-out bits decide the rounding.
constexpr double fast_fixed_limit = 1e9;
constexpr int fast_fixed_digits = 9;
constexpr std::array<std::uint64_t, fast_fixed_digits + 1> powers_of_ten = {
    1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

/// The magnitude times 10^digits, rounded to an integer.
std::uint64_t exact_scaled(double magnitude, int digits) {
  const auto bits = std::bit_cast<std::uint64_t>(magnitude);
  const int biased = static_cast<int>(bits >> 52);
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  const std::uint64_t m = biased == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
  const int shift = biased == 0 ? 1074 : 1075 - biased;  // -e, at least 23 below 1e9

  if (digits <= 3 && shift < 64) {
    // The report's usual fields: m * 10^digits stays below 2^63.
    const std::uint64_t scaled = m * powers_of_ten[to_size(digits)];
    std::uint64_t q = scaled >> shift;
    const std::uint64_t rest = scaled & ((std::uint64_t{1} << shift) - 1);
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    if (rest > half || (rest == half && (q & 1) != 0)) ++q;
    return q;
  }
  const uint128 scaled = uint128{m} * powers_of_ten[to_size(digits)];  // below 2^83
  if (shift >= 84) return 0;  // below half a unit of the last decimal
  std::uint64_t q = static_cast<std::uint64_t>(scaled >> shift);
  const uint128 rest = scaled & ((uint128{1} << shift) - 1);
  const uint128 half = uint128{1} << (shift - 1);
  if (rest > half || (rest == half && (q & 1) != 0)) ++q;
  return q;
}

/// The text of q / 10^digits with at least one digit before the point, in
/// `out` (at most 20 characters); returns its length.
std::size_t scaled_text(std::uint64_t q, int digits, char* out) {
  char reversed[24];
  char* p = reversed;
  for (int n = 1; n <= digits + 1 || q != 0; ++n) {
    *p++ = static_cast<char>('0' + q % 10);
    q /= 10;
    if (n == digits) *p++ = '.';
  }
  std::reverse_copy(reversed, p, out);
  return static_cast<std::size_t>(p - reversed);
}

/// Writes q / 10^digits backwards, ending just before `end`: `digits`
/// decimals, the point, and the integer digits (at least one). Returns
/// where the text starts.
char* write_backwards(char* end, std::uint64_t q, int digits) {
  for (int i = 0; i < digits; ++i, q /= 10) *--end = static_cast<char>('0' + q % 10);
  *--end = '.';
  do {
    *--end = static_cast<char>('0' + q % 10);
    q /= 10;
  } while (q != 0);
  return end;
}

/// The number of characters of q / 10^digits: its digits (at least one
/// before the point) and the point.
int scaled_length(std::uint64_t q, int digits) {
  int count = 1;
  for (std::uint64_t bound = 10; count < 19 && q >= bound; bound *= 10) ++count;
  return (count > digits ? count : digits + 1) + 1;
}

void fill(char* field, int width, char c) { std::fill_n(field, width, c); }

/// Blanks, the sign if any, then `text` and `tail`, together `width` columns
/// (which the caller has checked they fit).
void right_justify(char* field, int width, bool sign, std::string_view text,
                   std::string_view tail = {}) {
  const std::size_t used = text.size() + tail.size() + (sign ? 1 : 0);
  char* p = std::fill_n(field, to_size(width) - used, ' ');
  if (sign) *p++ = '-';
  p = std::copy(text.begin(), text.end(), p);
  std::copy(tail.begin(), tail.end(), p);
}

bool only_zero_digits(std::string_view text) {
  for (char c : text) {
    if (c != '0' && c != '.') return false;
  }
  return true;
}

/// What the exponent conversion gives for a non-finite magnitude.
std::string_view non_finite_exponent_text(double magnitude) {
  return std::isnan(magnitude) ? "NAN" : "INF";
}

/// The exponent conversion of a nonzero finite magnitude to d significant
/// digits: D1.D2...Dd x 10^p. Writes the d digits to `digits_out`.
int significant_digits(double magnitude, int digits, char* digits_out) {
  // "D.DDDe+ppp", or "De+ppp" for one digit.
  const conversion c(to_size(digits) + 16, magnitude, std::chars_format::scientific, digits - 1);
  const std::string_view text = c.text();
  const std::size_t e = text.find('e');
  *digits_out++ = text[0];
  if (digits > 1) std::copy_n(text.data() + 2, digits - 1, digits_out);
  int exponent = 0;
  for (std::size_t i = e + 2; i < text.size(); ++i) exponent = exponent * 10 + (text[i] - '0');
  return text[e + 1] == '-' ? -exponent : exponent;
}

/// The written exponent: "E" and a sign and two digits, or, from 100 up, a
/// sign and three digits without the letter. Always four characters.
void exponent_text(int exponent, char* out) {
  const int magnitude = std::abs(exponent);
  if (magnitude <= 99) *out++ = 'E';
  *out++ = exponent < 0 ? '-' : '+';
  if (magnitude >= 100) *out++ = static_cast<char>('0' + magnitude / 100);
  *out++ = static_cast<char>('0' + magnitude / 10 % 10);
  *out = static_cast<char>('0' + magnitude % 10);
}

/// Places the converted magnitude `text` of `value` in the field.
void place_fixed(char* field, int width, int digits, double value, std::string_view text) {
  const bool finite = std::isfinite(value);
  // The point is always written, also with no decimals.
  const std::string_view point = finite && digits == 0 ? "." : "";
  // A value that rounds to zero is written unsigned; NaN never has a sign.
  const bool sign = value < 0 && !(finite && only_zero_digits(text));
  const std::size_t needed = text.size() + point.size() + (sign ? 1 : 0);
  if (needed > to_size(width)) {
    if (text[0] != '0' || needed - 1 != to_size(width)) return fill(field, width, '*');
    text.remove_prefix(1);  // the leading zero gives way in a field one column short
  }
  right_justify(field, width, sign, text, point);
}

}  // namespace

void integer_field(char* field, int width, int value) {
  std::array<char, 16> buffer{};
  const std::to_chars_result r = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  const std::string_view text(buffer.data(), static_cast<std::size_t>(r.ptr - buffer.data()));
  if (text.size() > to_size(width)) return fill(field, width, '*');
  right_justify(field, width, false, text);
}

void fixed_field(char* field, int width, int digits, double value) {
  const double magnitude = std::fabs(value);
  if (std::isfinite(magnitude) && magnitude < fast_fixed_limit && digits >= 1 &&
      digits <= fast_fixed_digits) {
    std::uint64_t q = exact_scaled(magnitude, digits);
    // A value that rounds to zero is written unsigned.
    const bool sign = value < 0 && q != 0;
    const int needed = scaled_length(q, digits) + (sign ? 1 : 0);
    if (needed > width) {
      char text[24];
      const std::size_t length = scaled_text(q, digits, text);
      return place_fixed(field, width, digits, value, {text, length});
    }
    // The usual case: digits from the right end of the field, then the
    // point, the integer digits, the sign and the blanks.
    char* p = field + width;
    p = write_backwards(p, q, digits);
    if (sign) *--p = '-';
    std::memset(field, ' ', static_cast<std::size_t>(p - field));
    return;
  }
  // Room for 309 integer digits, the point and the decimals. A non-finite
  // magnitude converts to "inf" or "nan", placed like any other text.
  const conversion c(to_size(digits) + 320, magnitude, std::chars_format::fixed, digits);
  place_fixed(field, width, digits, value, c.text());
}

void exponent_field(char* field, int width, int digits, double value) {
  const double magnitude = std::fabs(value);
  const bool sign = value < 0;  // false for -0.0 and for every NaN
  if (!std::isfinite(magnitude)) {
    const std::string_view text = non_finite_exponent_text(magnitude);
    if (text.size() + (sign ? 1 : 0) > to_size(width)) return fill(field, width, '*');
    return right_justify(field, width, sign, text);
  }
  // Columns besides the digits: the point, the letter, the exponent's sign
  // and two digits, and the value's sign.
  const int room = width - (digits + 5 + (sign ? 1 : 0));
  if (room < 0) return fill(field, width, '*');
  char* p = field;
  if (room > 0) p = std::fill_n(p, room - 1, ' ');
  if (sign) *p++ = '-';
  if (room > 0) *p++ = '0';
  *p++ = '.';
  int exponent = 0;
  if (magnitude == 0) {
    std::fill_n(p, digits, '0');
  } else {
    exponent = significant_digits(magnitude, digits, p) + 1;  // 0.D1D2...Dd x 10^(p+1)
  }
  exponent_text(exponent, p + digits);
}

int character_width(int width, std::string_view value) {
  return width == 0 ? static_cast<int>(value.size()) : width;
}

void character_field(char* field, int width, std::string_view value) {
  if (to_size(width) >= value.size()) return right_justify(field, width, false, value);
  std::copy_n(value.begin(), width, field);
}

namespace {

/// Appends a field of `width` columns to `out` and fills it with `render`.
template <typename Render>
void append_field(std::string& out, int width, Render render) {
  const std::size_t at = out.size();
  out.resize(at + to_size(width));
  render(out.data() + at);
}

}  // namespace

void render_integer(std::string& out, int width, int value) {
  append_field(out, width, [&](char* field) { integer_field(field, width, value); });
}

void render_fixed(std::string& out, int width, int digits, double value) {
  append_field(out, width, [&](char* field) { fixed_field(field, width, digits, value); });
}

void render_exponent(std::string& out, int width, int digits, double value) {
  append_field(out, width, [&](char* field) { exponent_field(field, width, digits, value); });
}

void render_characters(std::string& out, int width, std::string_view value) {
  const int w = character_width(width, value);
  append_field(out, w, [&](char* field) { character_field(field, w, value); });
}

}  // namespace recordio
