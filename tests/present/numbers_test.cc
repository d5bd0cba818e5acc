// Shortest numbers: write_shortest writes what std::to_chars writes, over
// every kind of double (random bit patterns, every power of two and of
// ten, the edges of fixed and scientific notation, subnormal numbers).
#include "present/numbers.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace present {
namespace {

std::string library(double v) {
  char text[64];
  return {text, std::to_chars(text, text + sizeof text, v).ptr};
}

std::string ours(double v) {
  char text[shortest_size];
  return {text, write_shortest(text, v)};
}

// Counts the values written otherwise than the library writes them,
// reporting the first few.
int mismatches(const std::vector<double>& values) {
  int bad = 0;
  for (const double v : values) {
    if (ours(v) != library(v) && ++bad <= 5) {
      ADD_FAILURE() << std::hexfloat << v << ": " << ours(v) << ", want " << library(v);
    }
  }
  return bad;
}

TEST(ShortestNumbers, AsTheLibraryWritesThemOnRandomBits) {
  std::mt19937_64 random(20260501);
  std::vector<double> values;
  for (int i = 0; i < 1000000; ++i) {
    const double v = std::bit_cast<double>(random());
    if (!std::isnan(v)) values.push_back(v);
  }
  EXPECT_EQ(mismatches(values), 0);
}

TEST(ShortestNumbers, AsTheLibraryWritesThemWhereTheirFormChanges) {
  std::vector<double> values;
  // Powers of two, with their neighbours.
  for (int e = -1074; e <= 1023; ++e) {
    const double v = std::ldexp(1.0, e);
    for (const double x :
         {v, std::nextafter(v, 0.0), std::nextafter(v, std::numeric_limits<double>::infinity())}) {
      values.push_back(x);
      values.push_back(-x);
    }
  }
  // Powers of ten and decimal numbers of every length, where fixed and
  // scientific notation trade places (1e16, 123456789012345680000, 1e-5).
  std::mt19937_64 random(7);
  for (int e = -330; e <= 310; ++e) {
    values.push_back(std::pow(10.0, e));
    for (int digits = 1; digits <= 17; ++digits) {
      const auto mantissa =
          static_cast<double>(random() % static_cast<std::uint64_t>(std::pow(10.0, digits)));
      values.push_back(mantissa * std::pow(10.0, e - digits));
    }
  }
  // Integers, and what a table writes: ratios and means of a few digits.
  for (int i = 0; i < 100000; ++i) {
    values.push_back(static_cast<double>(random() >> (random() % 64)));
    values.push_back(static_cast<double>(static_cast<int>(random() % 200001) - 100000) / 1000);
  }
  const double special[] = {0.0,
                            -0.0,
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::max(),
                            std::numeric_limits<double>::min(),
                            std::numeric_limits<double>::denorm_min(),
                            std::numeric_limits<double>::epsilon(),
                            9007199254740993.0,
                            0.1 + 0.2,
                            1e21,
                            1e22,
                            1e23,
                            5e-324,
                            0.99999999999};
  values.insert(values.end(), std::begin(special), std::end(special));
  EXPECT_EQ(mismatches(values), 0);
}

TEST(ShortestNumbers, FitTheirBufferAndNaNIsNamedForCsv) {
  EXPECT_EQ(ours(-2.2250738585072014e-308), "-2.2250738585072014e-308");
  EXPECT_LE(ours(-2.2250738585072014e-308).size(), shortest_size);
  EXPECT_EQ(ours(-1.2345678901234567e-100), "-1.2345678901234567e-100");
  EXPECT_EQ(shortest(1e-7), "1e-07");
  EXPECT_EQ(shortest(std::nan("")), "nan");
  std::string out = "x=";
  append_number(out, std::nan(""));
  append_number(out, 0.25);
  EXPECT_EQ(out, "x=NaN0.25");
}

}  // namespace
}  // namespace present
