#include "present/numbers.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

// The shortest digits come from {fmt}'s Dragonbox (Debian's libfmt-dev,
// used header only; J. Jeon, "Dragonbox: A New Floating-Point
// Binary-to-Decimal Conversion Algorithm", 2020): the fewest digits that
// read back to the same double and, of those, the nearest, as
// std::to_chars finds them with Ryu, in half the time (a table of a
// batch's writes 384 numbers per scenario). Only the layout is made here,
// with std::to_chars's rule: fixed or scientific, whichever is shorter,
// fixed on a tie. tests/present/numbers_test.cc compares every case with
// std::to_chars.
#ifndef FMT_HEADER_ONLY
#define FMT_HEADER_ONLY
#endif
#include <fmt/format.h>

namespace present {

namespace {

// "00" to "99", two digits at a time.
constexpr char digit_pairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

constexpr std::uint64_t powers_of_10[] = {1,
                                          10,
                                          100,
                                          1000,
                                          10000,
                                          100000,
                                          1000000,
                                          10000000,
                                          100000000,
                                          1000000000,
                                          10000000000,
                                          100000000000,
                                          1000000000000,
                                          10000000000000,
                                          100000000000000,
                                          1000000000000000,
                                          10000000000000000,
                                          100000000000000000,
                                          1000000000000000000,
                                          10000000000000000000U};

// The digits of v > 0: from its bits times log10(2) (1233 / 4096), less
// one when v is below that power of ten.
int digit_count(std::uint64_t v) {
  const int t = (64 - std::countl_zero(v)) * 1233 >> 12;
  return t + (v >= powers_of_10[t] ? 1 : 0);
}

void write_pair(char* out, std::uint32_t v) { std::memcpy(out, digit_pairs + 2 * v, 2); }

// The `count` digits of v < 10^9, in 32 bits.
void write_small(char* out, std::uint32_t v, int count) {
  char* p = out + count;
  while (v >= 100) {
    p -= 2;
    write_pair(p, v % 100);
    v /= 100;
  }
  if (v >= 10) {
    write_pair(p - 2, v);
  } else {
    p[-1] = static_cast<char>('0' + v);
  }
}

// The `count` digits of v (at most 17): the last eight in 32 bits.
void write_digits(char* out, std::uint64_t v, int count) {
  if (count <= 9) {
    write_small(out, static_cast<std::uint32_t>(v), count);
    return;
  }
  const auto high = static_cast<std::uint32_t>(v / 100000000);
  auto low = static_cast<std::uint32_t>(v % 100000000);
  write_small(out, high, count - 8);
  char* p = out + count;
  for (int i = 0; i < 4; ++i) {
    p -= 2;
    write_pair(p, low % 100);
    low /= 100;
  }
}

char* library_form(char* out, double value) {
  return std::to_chars(out, out + shortest_size, value).ptr;
}

}  // namespace

char* write_shortest(char* out, double value) {
  if (!std::isfinite(value) || value == 0) return library_form(out, value);
  const fmt::detail::dragonbox::decimal_fp<double> decimal =
      fmt::detail::dragonbox::to_decimal(value);
  std::uint64_t significand = decimal.significand;
  int exponent = decimal.exponent;
  while (significand % 10 == 0) {
    significand /= 10;
    ++exponent;
  }
  // value = 0.d1...dn x 10^point
  const int n = digit_count(significand);
  const int point = n + exponent;
  const int x = point - 1;  // the exponent of d1.d2...dn
  const int magnitude = x < 0 ? -x : x;
  const int scientific_length = n + (n > 1 ? 1 : 0) + 2 + (magnitude >= 100 ? 3 : 2);
  const int fixed_length = point >= n ? point : (point > 0 ? n + 1 : 2 - point + n);
  const bool fixed = fixed_length <= scientific_length;
  // An integer longer than its shortest digits is written whole, as
  // printf's %.0f writes it: the library's own way.
  if (fixed && point > n) return library_form(out, value);

  if (value < 0) *out++ = '-';
  if (!fixed) {
    char digits[20];
    write_digits(digits, significand, n);
    *out++ = digits[0];
    if (n > 1) {
      *out++ = '.';
      std::memcpy(out, digits + 1, static_cast<std::size_t>(n - 1));
      out += n - 1;
    }
    *out++ = 'e';
    *out++ = x < 0 ? '-' : '+';
    if (magnitude >= 100) {
      *out++ = static_cast<char>('0' + magnitude / 100);
    }
    const auto pair = static_cast<std::size_t>(magnitude % 100) * 2;
    *out++ = digit_pairs[pair];
    *out++ = digit_pairs[pair + 1];
    return out;
  }
  if (point <= 0) {
    *out++ = '0';
    *out++ = '.';
    std::memset(out, '0', static_cast<std::size_t>(-point));
    out += -point;
    write_digits(out, significand, n);
    return out + n;
  }
  if (point == n) {
    write_digits(out, significand, n);
    return out + n;
  }
  // d1...dp.dp+1...dn: the digits, then the integer part moved one place
  // to the left to open the decimal point.
  write_digits(out + 1, significand, n);
  std::memmove(out, out + 1, static_cast<std::size_t>(point));
  out[point] = '.';
  return out + n + 1;
}

std::string shortest(double value) {
  char buffer[shortest_size];
  return {buffer, write_shortest(buffer, value)};
}

void append_number(std::string& out, double v) {
  if (std::isnan(v)) {
    out += "NaN";
    return;
  }
  char buffer[shortest_size];
  out.append(buffer, write_shortest(buffer, v));
}

}  // namespace present
