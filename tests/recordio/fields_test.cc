// Field rendering: integers, fixed and exponent notation, characters,
// asterisks on overflow, signs, rounding and values that are not finite.
#include "recordio/fields.h"

#include <gtest/gtest.h>

#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace recordio {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
const double not_a_number = std::numeric_limits<double>::quiet_NaN();
const double negative_nan = std::copysign(not_a_number, -1.0);

// ---------------------------------------------------------------------------
// Field rendering. Each field is appended after a marker that must stay.

std::string after_marker(std::string_view field) {
  std::string text = "<";
  text += field;
  return text;
}

struct integer_case {
  int width;
  int value;
  std::string_view expected;
};

TEST(RenderInteger, RightJustifiedOrAsterisks) {
  const integer_case cases[] = {
      {3, 7, "  7"},
      {3, -5, " -5"},
      {3, 1000, "***"},
      {2, 25, "25"},
      {2, -10, "**"},
      {3, 0, "  0"},
      {2, 10, "10"},
      {2, 99, "99"},
      {2, 100, "**"},
      {2, -9, "-9"},
      {1, -1, "*"},
      {1, 0, "0"},
      {10, 4, "         4"},
      {10, INT_MAX, "2147483647"},
      {11, INT_MIN, "-2147483648"},
      {10, INT_MIN, "**********"},
  };
  for (const integer_case& c : cases) {
    SCOPED_TRACE(testing::Message() << "I" << c.width << " of " << c.value);
    std::string out = "<";
    render_integer(out, c.width, c.value);
    EXPECT_EQ(out, after_marker(c.expected));
  }
}

struct real_case {
  int width;
  int digits;
  double value;
  std::string_view expected;
};

TEST(RenderFixed, Examples) {
  const real_case cases[] = {
      {7, 3, 0.5, "  0.500"},      {7, 3, -0.5, " -0.500"},      {7, 3, -0.0004, "  0.000"},
      {7, 3, 123.4567, "123.457"}, {7, 3, -123.4567, "*******"}, {7, 3, 1234.5, "*******"},
      {5, 2, 1.0, " 1.00"},        {5, 2, -0.35, "-0.35"},       {9, 5, 0.12345, "  0.12345"},
      {9, 5, 1.0, "  1.00000"},    {9, 5, -0.0004, " -0.00040"}, {6, 3, 1234.5, "******"},
      {5, 3, -0.123, "-.123"},     {4, 3, 0.5, ".500"},          {6, 3, -0.123, "-0.123"},
  };
  for (const real_case& c : cases) {
    SCOPED_TRACE(testing::Message() << "F" << c.width << "." << c.digits << " of " << c.value);
    std::string out = "<";
    render_fixed(out, c.width, c.digits, c.value);
    EXPECT_EQ(out, after_marker(c.expected));
  }
}

TEST(RenderFixed, SignsRoundingAndRoom) {
  const real_case cases[] = {
      // Negative zero and negatives that round to zero are unsigned.
      {7, 3, -0.0, "  0.000"},
      {7, 3, -0.00049, "  0.000"},
      {7, 3, -0.0006, " -0.001"},
      {2, 0, -0.4, "0."},
      // Exact fit and the edges of the field.
      {7, 3, -12.3456, "-12.346"},
      {7, 3, 999.9994, "999.999"},
      {7, 3, 999.9996, "*******"},
      {7, 3, -99.9994, "-99.999"},
      {7, 3, -99.9996, "*******"},
      {7, 3, 1e300, "*******"},
      // The leading zero gives way only when that makes the value fit exactly.
      {4, 3, -0.0004, ".000"},
      {5, 3, -0.5, "-.500"},
      {4, 3, -0.5, "****"},
      {3, 3, 0.5, "***"},
      {1, 0, 0.4, "."},
      // No decimals: the point stays.
      {7, 0, 3.0, "     3."},
      {4, 0, -3.0, " -3."},
      {3, 0, -3.0, "-3."},
      // Halfway cases on the exact binary value round to even.
      {5, 2, 0.125, " 0.12"},
      {5, 2, 0.375, " 0.38"},
      {5, 2, 0.625, " 0.62"},
      {5, 2, 0.875, " 0.88"},
      {5, 2, -0.125, "-0.12"},
      {5, 2, -0.375, "-0.38"},
      {5, 2, -0.625, "-0.62"},
      {5, 2, -0.875, "-0.88"},
      {7, 3, 0.0625, "  0.062"},
      {3, 0, 2.5, " 2."},
      {3, 0, 3.5, " 4."},
      {2, 0, 0.5, "0."},
      // Decimal-looking ties that are not ties in binary.
      {5, 2, 0.145, " 0.14"},
      {5, 2, 1.005, " 1.00"},
      {5, 2, 2.675, " 2.67"},
      // Non-finite values: the conversion's text, placed by the same rules.
      {7, 3, inf, "    inf"},
      {7, 3, -inf, "   -inf"},
      {7, 3, not_a_number, "    nan"},
      {7, 3, negative_nan, "    nan"},
      {3, 1, inf, "inf"},
      {3, 1, -inf, "***"},
      {4, 0, -inf, "-inf"},
      {2, 0, not_a_number, "**"},
  };
  for (const real_case& c : cases) {
    SCOPED_TRACE(testing::Message() << "F" << c.width << "." << c.digits << " of " << c.value);
    std::string out = "<";
    render_fixed(out, c.width, c.digits, c.value);
    EXPECT_EQ(out, after_marker(c.expected));
  }
}

TEST(RenderFixed, ManyDecimals) {
  std::string out;
  render_fixed(out, 100, 90, -0.5);
  EXPECT_EQ(out, std::string(7, ' ') + "-0.5" + std::string(89, '0'));
  out.clear();
  // 2^70 is exact in binary: 1180591620717411303424.
  render_fixed(out, 30, 2, 1180591620717411303424.0);
  EXPECT_EQ(out, "     1180591620717411303424.00");
}

TEST(RenderExponent, Examples) {
  const real_case cases[] = {
      {13, 4, 1234.5678, "   0.1235E+04"},
      {13, 4, 0.0, "   0.0000E+00"},
      {13, 4, -0.000123456, "  -0.1235E-03"},
      {13, 4, 1.5e-120, "   0.1500-119"},
      {13, 4, 5e-101, "   0.5000-100"},
      {9, 4, 1.0, ".1000E+01"},
      // The "ERROR ZERO" line's fields.
      {13, 4, 7.999, "   0.7999E+01"},
      {13, 4, 8.0, "   0.8000E+01"},
      {13, 4, 6.661e-16, "   0.6661E-15"},
      {13, 4, -7.989, "  -0.7989E+01"},
      {13, 4, not_a_number, "          NAN"},
  };
  for (const real_case& c : cases) {
    SCOPED_TRACE(testing::Message() << "D" << c.width << "." << c.digits << " of " << c.value);
    std::string out = "<";
    render_exponent(out, c.width, c.digits, c.value);
    EXPECT_EQ(out, after_marker(c.expected));
  }
}

TEST(RenderExponent, RoomExponentsAndRounding) {
  const real_case cases[] = {
      {13, 4, -0.0, "   0.0000E+00"},
      {13, 4, 0.5, "   0.5000E+00"},
      {13, 4, 1.0, "   0.1000E+01"},
      {8, 1, 1.0, " 0.1E+01"},
      // No room for the leading zero, then no room at all.
      {10, 4, -1.0, "-.1000E+01"},
      {9, 4, -1.0, "*********"},
      {8, 4, 1.0, "********"},
      // Rounding carries into the exponent.
      {13, 4, 9.99996, "   0.1000E+02"},
      // Two exponent digits up to 99, then three without the letter.
      {13, 4, 9.9994e98, "   0.9999E+99"},
      {13, 4, 9.9996e98, "   0.1000+100"},
      {13, 4, 1e-100, "   0.1000E-99"},
      {13, 4, 9.9994e-101, "   0.9999-100"},
      {13, 4, -9.9994e-101, "  -0.9999-100"},
      {13, 4, std::numeric_limits<double>::max(), "   0.1798+309"},
      {13, 4, std::numeric_limits<double>::denorm_min(), "   0.4941-323"},
      // Halfway cases round to even.
      {13, 1, 2.5, "      0.2E+01"},
      {13, 1, 3.5, "      0.4E+01"},
      {13, 2, 0.125, "     0.12E+00"},
      {13, 2, 0.375, "     0.38E+00"},
      {13, 2, -0.625, "    -0.62E+00"},
      // Non-finite values: the text right-justified, NaN never signed.
      {13, 4, negative_nan, "          NAN"},
      {13, 4, inf, "          INF"},
      {13, 4, -inf, "         -INF"},
      {4, 1, -inf, "-INF"},
      {3, 1, -inf, "***"},
      {3, 4, not_a_number, "NAN"},
      {2, 1, not_a_number, "**"},
  };
  for (const real_case& c : cases) {
    SCOPED_TRACE(testing::Message() << "D" << c.width << "." << c.digits << " of " << c.value);
    std::string out = "<";
    render_exponent(out, c.width, c.digits, c.value);
    EXPECT_EQ(out, after_marker(c.expected));
  }
}

struct characters_case {
  int width;  // 0 for a plain A
  std::string_view value;
  std::string_view expected;
};

TEST(RenderCharacters, PaddedOnTheLeftOrCut) {
  const characters_case cases[] = {
      {3, "No ", "No "}, {3, "Yes", "Yes"}, {5, "Yes", "  Yes"}, {2, "Yes", "Ye"},
      {0, "Yes", "Yes"}, {0, "No ", "No "}, {0, "", ""},         {3, "", "   "},
  };
  for (const characters_case& c : cases) {
    SCOPED_TRACE(testing::Message() << "A" << c.width << " of '" << c.value << "'");
    std::string out = "<";
    render_characters(out, c.width, c.value);
    EXPECT_EQ(out, after_marker(c.expected));
  }
}

}  // namespace
}  // namespace recordio
