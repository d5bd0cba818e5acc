#include "web/compat/charconv.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <string_view>
#include <system_error>
#include <utility>

// The digits come from {fmt} (Debian's libfmt-dev, header only): its
// shortest form is Dragonbox's (J. Jeon, "Dragonbox: A New Floating-Point
// Binary-to-Decimal Conversion Algorithm", 2020), the shortest digits that
// read back to the same double and, of those, the nearest; with a
// precision it rounds the exact binary value, ties to even, as printf does.
// Only the choice between fixed and scientific notation is made here.
#define FMT_HEADER_ONLY
#include <fmt/format.h>

namespace fourfifths::web::charconv {

namespace {

// printf's default precision, which a negative one stands for.
constexpr int default_precision = 6;

std::to_chars_result copy(char* first, char* last, std::string_view text) {
  if (text.size() > static_cast<std::size_t>(last - first)) {
    return {last, std::errc::value_too_large};
  }
  return {std::copy(text.begin(), text.end(), first), std::errc{}};
}

template <typename... Args>
std::to_chars_result format(char* first, char* last, fmt::format_string<Args...> pattern,
                            Args&&... args) {
  const auto size = static_cast<std::size_t>(last - first);
  const auto r = fmt::format_to_n(first, size, pattern, std::forward<Args>(args)...);
  if (r.size > size) return {last, std::errc::value_too_large};
  return {r.out, std::errc{}};
}

// A decimal number 0.d1d2...dk x 10^point, d1 not 0 (no digits for zero).
struct decimal {
  bool negative = false;
  std::string_view digits;
  int point = 0;
};

}  // namespace

std::to_chars_result shortest(char* first, char* last, double value) {
  // {fmt}'s "{}" is the shortest round-trip digits, laid out its own way
  // ("1e-07", "123456", "0.001", "1.5e+300"); infinities and NaN are
  // written as std::to_chars writes them.
  std::array<char, 40> text{};
  const auto end = fmt::format_to_n(text.data(), text.size(), "{}", value).out;
  const std::string_view written(text.data(), static_cast<std::size_t>(end - text.data()));
  if (!std::isfinite(value)) return copy(first, last, written);

  std::array<char, 24> digits{};
  std::size_t count = 0;
  decimal d;
  d.negative = written.front() == '-';
  int before_point = 0;
  bool seen_point = false;
  std::size_t i = d.negative ? 1 : 0;
  for (; i < written.size() && written[i] != 'e'; ++i) {
    const char c = written[i];
    if (c == '.') {
      seen_point = true;
      continue;
    }
    if (count == 0 && c == '0') {  // leading zeros
      if (seen_point) --before_point;
      continue;
    }
    digits[count++] = c;
    if (!seen_point) ++before_point;
  }
  int exponent = 0;
  if (i < written.size()) {
    const char* e = written.data() + i + 1;
    if (*e == '+') ++e;
    std::from_chars(e, written.data() + written.size(), exponent);
  }
  while (count > 0 && digits[count - 1] == '0') --count;  // trailing zeros of an integer
  d.digits = std::string_view(digits.data(), count);
  d.point = before_point + exponent;

  std::array<char, 400> out{};
  std::size_t n = 0;
  auto put = [&](char c) { out[n++] = c; };
  if (d.negative) put('-');
  if (d.digits.empty()) {
    put('0');
    return copy(first, last, std::string_view(out.data(), n));
  }
  const int k = static_cast<int>(d.digits.size());
  const int x = d.point - 1;  // the exponent of d1.d2...dk
  const int magnitude = x < 0 ? -x : x;
  const int exponent_digits = magnitude >= 100 ? 3 : 2;
  const int scientific_length = k + (k > 1 ? 1 : 0) + 2 + exponent_digits;
  const int fixed_length = d.point >= k ? d.point : (d.point > 0 ? k + 1 : 2 - d.point + k);

  if (fixed_length <= scientific_length) {
    if (d.point > k) {
      // An integer longer than its shortest digits is written whole, as
      // printf's %.0f writes it (123456789012345683968, not ...680000).
      return fixed(first, last, value, 0);
    }
    if (d.point == k) {
      for (const char c : d.digits) put(c);
    } else if (d.point > 0) {
      for (int j = 0; j < k; ++j) {
        if (j == d.point) put('.');
        put(d.digits[static_cast<std::size_t>(j)]);
      }
    } else {
      put('0');
      put('.');
      for (int z = 0; z < -d.point; ++z) put('0');
      for (const char c : d.digits) put(c);
    }
  } else {
    put(d.digits[0]);
    if (k > 1) {
      put('.');
      for (const char c : d.digits.substr(1)) put(c);
    }
    put('e');
    put(x < 0 ? '-' : '+');
    if (exponent_digits == 3) put(static_cast<char>('0' + magnitude / 100));
    put(static_cast<char>('0' + magnitude / 10 % 10));
    put(static_cast<char>('0' + magnitude % 10));
  }
  return copy(first, last, std::string_view(out.data(), n));
}

std::to_chars_result fixed(char* first, char* last, double value, int precision) {
  return format(first, last, "{:.{}f}", value, precision < 0 ? default_precision : precision);
}

std::to_chars_result scientific(char* first, char* last, double value, int precision) {
  return format(first, last, "{:.{}e}", value, precision < 0 ? default_precision : precision);
}

}  // namespace fourfifths::web::charconv
