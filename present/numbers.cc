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

// Eight digits of v < 10^8, as the bytes of a word (the first digit in the
// lowest byte), so that they are stored at once: v / 10^6 as a fixed-point
// number with 48 bits of fraction, whose integer part is the first two
// digits and whose fraction times 100 gives the next two, and so on. The
// scale is rounded up, and its error, times 10^6 by the last pair, stays
// below a tenth of a unit (every v was checked).
std::uint64_t eight_digits(std::uint32_t v) {
  static_assert(std::endian::native == std::endian::little, "digits are stored a word at a time");
  constexpr std::uint64_t scale = 281474977;  // 2^48 / 10^6, rounded up
  constexpr std::uint64_t fraction = (std::uint64_t{1} << 48) - 1;
  std::uint64_t y = v * scale;
  std::uint64_t word = 0;
  for (int i = 0; i < 4; ++i) {
    std::uint16_t pair = 0;
    std::memcpy(&pair, digit_pairs + 2 * (y >> 48), 2);
    word |= std::uint64_t{pair} << (16 * i);
    y = (y & fraction) * 100;
  }
  return word;
}

void store(char* out, std::uint64_t word) { std::memcpy(out, &word, 8); }

// The `count` digits of v < 10^17 (a double's shortest digits) at `out`,
// which has room for 17 or more: up to 8 bytes past the digits may be
// overwritten. Each word is stored whole and never read back, which the
// processor would have to wait for.
void write_digits(char* out, std::uint64_t v, int count) {
  constexpr std::uint64_t e8 = 100000000;
  if (count <= 8) {
    store(out, eight_digits(static_cast<std::uint32_t>(v)) >> (8 * (8 - count)));
  } else if (count <= 16) {
    const int zeros = 16 - count;  // leading zeros of the sixteen digits
    store(out, eight_digits(static_cast<std::uint32_t>(v / e8)) >> (8 * zeros));
    store(out + 8 - zeros, eight_digits(static_cast<std::uint32_t>(v % e8)));
  } else {
    out[0] = static_cast<char>('0' + v / (e8 * e8));
    const std::uint64_t rest = v % (e8 * e8);
    store(out + 1, eight_digits(static_cast<std::uint32_t>(rest / e8)));
    store(out + 9, eight_digits(static_cast<std::uint32_t>(rest % e8)));
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
    // d1.d2...dn: the digits one place on, the first moved back before
    // the point.
    write_digits(out + 1, significand, n);
    out[0] = out[1];
    if (n > 1) {
      out[1] = '.';
      out += n + 1;
    } else {
      out += 1;
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
    // At most four zeros after the point (a fifth makes scientific
    // notation as short): a word of zeros covers them.
    *out++ = '0';
    *out++ = '.';
    store(out, 0x3030303030303030);
    out += -point;
    write_digits(out, significand, n);
    return out + n;
  }
  if (point == n) {
    write_digits(out, significand, n);
    return out + n;
  }
  // d1...dp.dp+1...dn: the digits one place on, the integer part moved
  // back a byte at a time (short, and read from the word just stored).
  write_digits(out + 1, significand, n);
  for (int i = 0; i < point; ++i) out[i] = out[i + 1];
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
