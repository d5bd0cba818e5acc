// The WebAssembly build's stand-ins for std::to_chars of a double
// (web/compat/charconv.cc, the digits from {fmt}) must write what
// libstdc++'s std::to_chars writes, byte for byte: the page's tables, its
// JSON and the classic report's fields are written through them. Here both
// write the same values, natively.
#include "web/compat/charconv.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using fourfifths::web::charconv::fixed;
using fourfifths::web::charconv::scientific;
using fourfifths::web::charconv::shortest;

// Room for any fixed form of a double with up to 400 decimals.
constexpr std::size_t room = 800;

template <typename Write>
std::string written(Write write) {
  std::array<char, room> buffer{};
  const std::to_chars_result r = write(buffer.data(), buffer.data() + buffer.size());
  if (r.ec != std::errc{}) return "<error>";
  return {buffer.data(), r.ptr};
}

std::string reference_shortest(double v) {
  return written([&](char* f, char* l) { return std::to_chars(f, l, v); });
}
std::string ours_shortest(double v) {
  return written([&](char* f, char* l) { return shortest(f, l, v); });
}
std::string reference(double v, std::chars_format format, int precision) {
  return written([&](char* f, char* l) { return std::to_chars(f, l, v, format, precision); });
}
std::string ours(double v, std::chars_format format, int precision) {
  return written([&](char* f, char* l) {
    return format == std::chars_format::fixed ? fixed(f, l, v, precision)
                                              : scientific(f, l, v, precision);
  });
}

// Values where the notation or the digits change: zeros, the ends of the
// range, every power of ten and of two with its neighbours, small and large
// integers.
std::vector<double> landmarks() {
  constexpr double inf = std::numeric_limits<double>::infinity();
  std::vector<double> v = {0.0,
                           -0.0,
                           inf,
                           -inf,
                           std::numeric_limits<double>::denorm_min(),
                           std::numeric_limits<double>::min(),
                           std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::epsilon(),
                           0.1,
                           0.2,
                           0.3,
                           1.0 / 3,
                           2.0 / 3,
                           9007199254740992.0,
                           9007199254740993.0,
                           123456789012345680000.0};
  auto with_neighbours = [&](double x) {
    for (const double y : {x, std::nextafter(x, 0.0), std::nextafter(x, inf)}) {
      v.push_back(y);
      v.push_back(-y);
    }
  };
  for (int e = -323; e <= 308; ++e)
    with_neighbours(std::strtod(("1e" + std::to_string(e)).c_str(), nullptr));
  for (int e = -1074; e <= 1023; ++e) with_neighbours(std::ldexp(1.0, e));
  for (int i = 0; i <= 2000; ++i) v.push_back(i);
  for (int i = 1; i <= 2000; ++i) v.push_back(i * 1000.0);
  return v;
}

TEST(Charconv, ShortestAsLibstdcxxAtLandmarks) {
  int compared = 0;
  for (const double v : landmarks()) {
    ASSERT_EQ(ours_shortest(v), reference_shortest(v))
        << "bits " << std::bit_cast<std::uint64_t>(v);
    ++compared;
  }
  EXPECT_GT(compared, 16000);
}

TEST(Charconv, ShortestAsLibstdcxxOnRandomDoubles) {
  std::mt19937_64 rng(42);
  std::uniform_int_distribution<int> digits(1, 17);
  std::uniform_int_distribution<int> exponent(-30, 30);
  for (int i = 0; i < 200000; ++i) {
    // Any bit pattern (NaN included), and decimals of few digits, which
    // the scenario files are full of.
    const double any = std::bit_cast<double>(rng());
    ASSERT_EQ(ours_shortest(any), reference_shortest(any))
        << "bits " << std::bit_cast<std::uint64_t>(any);
    const std::string decimal = std::to_string(rng() % 100000000000000000ULL)
                                    .substr(0, static_cast<std::size_t>(digits(rng))) +
                                "e" + std::to_string(exponent(rng));
    const double short_one = std::strtod(decimal.c_str(), nullptr);
    ASSERT_EQ(ours_shortest(short_one), reference_shortest(short_one)) << decimal;
  }
}

// Too little room is an error, as for std::to_chars.
TEST(Charconv, TooLittleRoom) {
  std::array<char, 4> small{};
  EXPECT_EQ(shortest(small.data(), small.data() + small.size(), 0.12345).ec,
            std::errc::value_too_large);
  EXPECT_EQ(fixed(small.data(), small.data() + small.size(), 12345.0, 0).ec,
            std::errc::value_too_large);
  EXPECT_EQ(scientific(small.data(), small.data() + small.size(), 1.5, 3).ec,
            std::errc::value_too_large);
  const std::to_chars_result fits = shortest(small.data(), small.data() + small.size(), 0.25);
  EXPECT_EQ(fits.ec, std::errc{});
  EXPECT_EQ(std::string(small.data(), fits.ptr), "0.25");
}

// Fixed and scientific notation with a precision round the exact binary
// value, ties to even: the halves k/2^m are the ties.
TEST(Charconv, PrecisionFormsAsLibstdcxx) {
  std::mt19937_64 rng(1979);
  std::uniform_real_distribution<double> mantissa(-1, 1);
  std::uniform_int_distribution<int> exponent(-40, 40);
  // Every third landmark, to keep the test short under the sanitizers.
  std::vector<double> values;
  const std::vector<double> all = landmarks();
  for (std::size_t i = 0; i < all.size(); i += 3) values.push_back(all[i]);
  for (int i = 0; i < 6000; ++i) values.push_back(std::ldexp(mantissa(rng), exponent(rng)));
  for (int m = 1; m <= 12; ++m) {
    for (int k = -40; k <= 40; ++k) values.push_back(std::ldexp(k, -m));
  }
  int compared = 0;
  for (const double v : values) {
    for (const auto format : {std::chars_format::fixed, std::chars_format::scientific}) {
      // The fixed form of a huge or tiny value with many decimals is long;
      // the report's fields ask for up to nine.
      const int top = std::fabs(v) > 1e30 || std::fabs(v) < 1e-30 ? 4 : 25;
      for (int precision = 0; precision <= top; ++precision) {
        ASSERT_EQ(ours(v, format, precision), reference(v, format, precision))
            << "bits " << std::bit_cast<std::uint64_t>(v) << ", precision " << precision;
        ++compared;
      }
    }
  }
  // The smallest values to the last decimal they have.
  for (const double v : {std::numeric_limits<double>::denorm_min(), 1e-300, 2.5e-320}) {
    EXPECT_EQ(ours(v, std::chars_format::fixed, 330), reference(v, std::chars_format::fixed, 330));
  }
  EXPECT_GT(compared, 400000);
}

}  // namespace
