#include "web/compat/charconv.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <system_error>
#include <vector>

// The shortest digits come from {fmt}'s Dragonbox (Debian's libfmt-dev,
// header only; J. Jeon, "Dragonbox: A New Floating-Point Binary-to-Decimal
// Conversion Algorithm", 2020): the shortest digits that read back to the
// same double and, of those, the nearest. With a precision, the C
// library's printf rounds the exact binary value, ties to even (musl's, as
// glibc's, converts exactly). Only the choice between fixed and scientific
// notation is made here. {fmt}'s formatting functions are not used: they
// would bring the whole of its formatting into the page's module.
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

// printf's conversion of `value` with `precision` digits ("%.*f", "%.*e").
std::to_chars_result print(char* first, char* last, const char* pattern, double value,
                           int precision) {
  // Room for a sign, 309 digits before the point, the point, the digits
  // after it, an exponent, and the NUL that snprintf ends its text with.
  std::vector<char> text(static_cast<std::size_t>(precision) + 320);
  const int written = std::snprintf(text.data(), text.size(), pattern, precision, value);
  const auto size = static_cast<std::size_t>(last - first);
  if (written < 0 || static_cast<std::size_t>(written) > size) {
    return {last, std::errc::value_too_large};
  }
  return {std::copy_n(text.data(), written, first), std::errc{}};
}

// A decimal number 0.d1d2...dk x 10^point, d1 not 0 (no digits for zero).
struct decimal {
  bool negative = false;
  std::string_view digits;
  int point = 0;
};

}  // namespace

std::to_chars_result shortest(char* first, char* last, double value) {
  if (std::isnan(value)) return copy(first, last, std::signbit(value) ? "-nan" : "nan");
  if (std::isinf(value)) return copy(first, last, value < 0 ? "-inf" : "inf");

  // Dragonbox's digits as an integer and its power of ten.
  decimal d;
  d.negative = std::signbit(value);
  std::array<char, 24> digits{};
  std::size_t count = 0;
  if (value != 0) {
    const auto dragon = fmt::detail::dragonbox::to_decimal(std::fabs(value));
    std::uint64_t significand = dragon.significand;
    int exponent = dragon.exponent;
    while (significand % 10 == 0) {  // trailing zeros of an integer
      significand /= 10;
      ++exponent;
    }
    for (std::uint64_t rest = significand; rest > 0; rest /= 10) {
      digits[count++] = static_cast<char>('0' + rest % 10);
    }
    std::reverse(digits.begin(), digits.begin() + static_cast<std::ptrdiff_t>(count));
    d.point = static_cast<int>(count) + exponent;
  }
  d.digits = std::string_view(digits.data(), count);

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
  return print(first, last, "%.*f", value, precision < 0 ? default_precision : precision);
}

std::to_chars_result scientific(char* first, char* last, double value, int precision) {
  return print(first, last, "%.*e", value, precision < 0 ? default_precision : precision);
}

}  // namespace fourfifths::web::charconv
