#include "recordio/writer.h"

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

#include "recordio/session.h"
#include "recordio/termination.h"

namespace recordio {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
const double not_a_number = std::numeric_limits<double>::quiet_NaN();
const double negative_nan = std::copysign(not_a_number, -1.0);

// ---------------------------------------------------------------------------
// Parsing, checked while the tests compile.

template <std::size_t N = 64>
constexpr parse_result parsed(std::string_view text) {
  std::array<step, N> steps{};
  return parse_layout(text, steps);
}

template <std::size_t N = 64>
constexpr step parsed_step(std::string_view text, int index) {
  std::array<step, N> steps{};
  parse_layout(text, steps);
  return steps[static_cast<std::size_t>(index)];
}

constexpr bool parses(std::string_view text) { return parsed(text).status == layout_status::ok; }

static_assert(parses("(I3)"));
static_assert(parsed("(I3,F7.3,2X)").count == 3);
static_assert(parsed("()").count == 0);

// The reversion point: the last group directly inside the outer parentheses,
// else the start.
static_assert(parsed("(6(F7.3,1X))").reversion == 0);
static_assert(parsed("(3X,8(F7.3,1X))").reversion == 1);
static_assert(parsed("('   Row ',I2,1X,30F5.2)").reversion == 0);
static_assert(parsed("(I2,10F9.5)").reversion == 0);
static_assert(parsed("(I2,3(I1),2(F5.1),I4)").reversion == 4);
static_assert(parsed("(I2,2(I1,3(F5.1)),I4)").reversion == 1);
static_assert(parsed("(I2,2(I1,3(F5.1)))").reversion == 1);

// Groups know their partners.
static_assert(parsed_step("(2(I1,3(F5.1)),'x')", 0).partner == 5);
static_assert(parsed_step("(2(I1,3(F5.1)),'x')", 5).partner == 0);
static_assert(parsed_step("(2(I1,3(F5.1)),'x')", 2).partner == 4);
static_assert(parsed_step("(2(I1,3(F5.1)),'x')", 4).partner == 2);
static_assert(parsed_step("(2(I1,3(F5.1)),'x')", 2).repeat == 3);

// Quoted text is located in the template, its quotes still doubled.
static_assert(parsed_step("(I1,'it''s')", 1).text_begin == 5);
static_assert(parsed_step("(I1,'it''s')", 1).text_length == 5);

// The template ends at its matching ")", also when it does not parse.
static_assert(parsed("(I3) junk").length == 4);
static_assert(parsed("('a)b',I2)x").length == 10);
static_assert(parsed("(I3,Q4) junk").length == 7);
static_assert(parsed("(I3,Q4").length == 6);

// A template that the compiler has parsed.
constexpr layout zero_line{"('ERROR ZERO ',I3,4D13.4)"};
static_assert(layout_view(zero_line).text == "('ERROR ZERO ',I3,4D13.4)");
static_assert(layout_view(zero_line).steps.size() == 3);
static_assert(layout_view(zero_line).steps[2].kind == step_kind::exponent);
static_assert(layout_view(zero_line).steps[2].repeat == 4);
static_assert(layout_view(zero_line).steps[2].width == 13);
static_assert(layout_view(zero_line).steps[2].digits == 4);

struct notation_case {
  std::string_view text;
  std::string_view notation;
};

TEST(ParseLayout, StepsInCompactNotation) {
  const notation_case cases[] = {
      {"(I3,F7.3,2X)", "[I3][F7.3][2X]"},
      {"(6(F7.3,1X))", "[6(][F7.3][1X][)]"},
      {"('   Row ',I2,1X,30F5.2)", "['   Row '][I2][1X][30F5.2]"},
      {"('ERROR ZERO ',I3,4D13.4)", "['ERROR ZERO '][I3][4D13.4]"},
      {"(/,'Error in srmax ')", "[/]['Error in srmax ']"},
      {"( 1 0F 9 . 5 , 2 X )", "[10F9.5][2X]"},
      {"(' a  b ',A3,A)", "[' a  b '][A3][A]"},
      {"('it''s','''')", "['it''s']['''']"},
      {"('')", "['']"},
      {"(i3,f7.3,d13.4,a3,2x)", "[I3][F7.3][D13.4][A3][2X]"},
      {"(/'x'//'y'/)", "[/]['x'][/][/]['y'][/]"},
      {"()", ""},
      {"(2(I1,3(F5.1)),'x')", "[2(][I1][3(][F5.1][)][)]['x']"},
      {"((I1))", "[(][I1][)]"},
      {"(F7.0,1I2,1(A))", "[F7.0][I2][(][A][)]"},
      {"(32767X,D9.1)", "[32767X][D9.1]"},
      {"(I3) ignored (", "[I3]"},
      {"  (I3)", "[I3]"},
  };
  for (const notation_case& c : cases) {
    SCOPED_TRACE(c.text);
    std::array<step, max_steps> steps{};
    const parse_result r = parse_layout(c.text, steps);
    ASSERT_EQ(r.status, layout_status::ok);
    EXPECT_EQ(
        serialize(std::span<const step>(steps.data(), static_cast<std::size_t>(r.count)), c.text),
        c.notation);
  }
}

TEST(ParseLayout, RejectsWhatIsNotATemplate) {
  const std::string_view cases[] = {
      "",         "I3",       " I3)",     ")",       "(I3",     "(()",    "(2(I3)",  "(I3,)",
      "(,I3)",    "(I3,,I4)", "(I3 I4)",  "(I3'a')", "('a'I3)", "(Q3)",   "(E9.2)",  "(F7)",
      "(F7.)",    "(F.3)",    "(F7.3.1)", "(I3.2)",  "(D9.0)",  "(I0)",   "(A0)",    "(F0.0)",
      "(0X)",     "(X)",      "(0I3)",    "(0(I3))", "(3)",     "('abc)", "(2'ab')", "(2/)",
      "(32768X)", "(I99999)", "(-2X)",    "(I3,/,)",
  };
  for (std::string_view text : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(parsed(text).status, layout_status::error_in_format);
  }
}

std::string repeated_moves(int n) {
  std::string text = "(";
  for (int i = 0; i < n; ++i) text += i == 0 ? "1X" : ",1X";
  return text + ")";
}

TEST(ParseLayout, AtMostThreeHundredSteps) {
  EXPECT_EQ(parsed<max_steps>(repeated_moves(300)).status, layout_status::ok);
  EXPECT_EQ(parsed<max_steps>(repeated_moves(300)).count, 300);
  EXPECT_EQ(parsed<max_steps + 10>(repeated_moves(301)).status, layout_status::too_complicated);
  // A group is two steps.
  std::string grouped = "(";
  grouped += repeated_moves(299);
  grouped += ")";
  EXPECT_EQ(parsed<max_steps>(grouped).status, layout_status::too_complicated);
  // Nor more than the caller's room.
  EXPECT_EQ(parsed<2>("(I1,I2,I3)").status, layout_status::too_complicated);
}

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

// ---------------------------------------------------------------------------
// Whole write operations.

/// A template parsed at run time, for tables of templates.
class runtime_layout {
 public:
  explicit runtime_layout(std::string_view text) : text_(text) {
    result_ = parse_layout(text_, steps_);
  }
  bool ok() const { return result_.status == layout_status::ok; }
  operator layout_view() const {
    return {std::string_view(text_).substr(0, static_cast<std::size_t>(result_.length)),
            std::span<const step>(steps_.data(), static_cast<std::size_t>(result_.count)),
            result_.reversion};
  }

 private:
  std::string text_;
  std::array<step, max_steps> steps_{};
  parse_result result_;
};

struct operation_case {
  std::string_view text;
  std::vector<double> items;
  std::string_view expected;
};

TEST(WriteOperation, RecordsOfRealItems) {
  const operation_case cases[] = {
      // Lines of repeated fields: no trailing blank, continuation in column 1.
      {"(6(F7.3,1X))",
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14},
       "  1.000   2.000   3.000   4.000   5.000   6.000\n"
       "  7.000   8.000   9.000  10.000  11.000  12.000\n"
       " 13.000  14.000\n"},
      {"(6(F7.3,1X))",
       {0.01, 0.0, 0.025, 2.665, 2.579, 0.086},
       "  0.010   0.000   0.025   2.665   2.579   0.086\n"},
      {"(3X,8(F7.3,1X))",
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
       "     1.000   2.000   3.000   4.000   5.000   6.000   7.000   8.000\n"
       "  9.000  10.000\n"},
      {"(9(F7.3,1X))",
       {1, 2, 3, 4, 5, 6, 7, 8, 9},
       "  1.000   2.000   3.000   4.000   5.000   6.000   7.000   8.000   9.000\n"},
      {"(9(F7.3,1X))",
       {1, 2, 3, 4, 5, 6, 7, 8},
       "  1.000   2.000   3.000   4.000   5.000   6.000   7.000   8.000\n"},
      // Templates that start or end with "/".
      {"(/,'x')", {}, "\nx\n"},
      {"('x',/)", {}, "x\n\n"},
      {"(/)", {}, "\n\n"},
      {"(/,F5.1)", {1}, "\n  1.0\n"},
      {"(F5.1,/)", {1}, "  1.0\n\n"},
      {"(F5.1,/)", {1, 2}, "  1.0\n\n  2.0\n\n"},
      // Every operation writes at least one line.
      {"()", {}, "\n"},
      {"(F5.1)", {}, "\n"},
      {"(2X)", {}, "\n"},
      // Items that run out: the text before the first unserved field is
      // written, nothing after it.
      {"('a',F4.1,'b',F4.1,'c')", {1}, "a 1.0b\n"},
      {"('a',F4.1,'b',F4.1,'c')", {}, "a\n"},
      {"('a',F4.1,'b',F4.1,'c')", {1, 2}, "a 1.0b 2.0c\n"},
      // Moves are written only before text or a field.
      {"('a',3X,/,'b',2X)", {}, "a\nb\n"},
      {"(2X,3X,'a',1X)", {}, "     a\n"},
      {"(2X,F4.1,3X)", {1}, "   1.0\n"},
      {"(2X,F4.1,3X)", {1, 2}, "   1.0\n   2.0\n"},
      {"(F4.1,3X,/,F4.1)", {1, 2}, " 1.0\n 2.0\n"},
      // A doubled quote writes one.
      {"('it''s',F4.1,'''')", {1}, "it's 1.0'\n"},
      // Reversion to the last outer group, with its full repeat count.
      {"(F2.0,2(F3.0),'|')", {1, 2, 3, 4, 5, 6}, "1. 2. 3.|\n 4. 5.|\n 6.\n"},
      {"(F2.0,2(F3.0),'|')", {1, 2, 3, 4, 5}, "1. 2. 3.|\n 4. 5.|\n"},
      {"('h',2(F2.0,2(F3.0)),'|')", {1, 2, 3, 4, 5, 6, 7}, "h1. 2. 3.4. 5. 6.|\n7.\n"},
      {"(2(F2.0,2('-')),'|')", {1, 2}, "1.--2.--|\n"},
      {"(2(F2.0,2('-')),'|')", {1}, "1.--\n"},
      // Reversion to the start.
      {"('<',F2.0,'>')", {1, 2, 3}, "<1.>\n<2.>\n<3.>\n"},
      {"(2F3.0)", {1, 2, 3, 4, 5}, " 1. 2.\n 3. 4.\n 5.\n"},
      // No field from the reversion point on: the items are not written.
      {"('abc')", {1}, "abc\n"},
      {"('abc')", {1, 2, 3}, "abc\n"},
      {"(/)", {1}, "\n\n"},
      {"(F4.1,('x'))", {1, 2, 3}, " 1.0x\nx\n"},
      {"(F4.1,2('x'),/)", {1, 2}, " 1.0xx\n\nxx\n\n"},
  };
  for (const operation_case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.text << " with " << c.items.size() << " items");
    const runtime_layout l(c.text);
    ASSERT_TRUE(l.ok());
    session s{""};
    write(s, l, std::span<const double>(c.items));
    EXPECT_EQ(s.report().text(), c.expected);
    EXPECT_EQ(s.errors().text(), "");
  }
}

// The report's own templates.
constexpr layout problem_echo{
    "(/,'Problem specification',/,/,'Number of predictors:',I3,/,'Number of criteria:',I3,/,"
    "'Computation for overall selection ratio: ',A3,/,'Use regression based weights: ',A3,/,"
    "'Expected scores on (composite) criterion: ',A3)"};
constexpr layout ratio_line{
    "('Ratio number of majority vs number of minority ','applicants:',F6.3)"};
constexpr layout predictor_weights{
    "('Predictor weights (from predictor one to the last):',/,5X,10F9.5)"};
constexpr layout predictor_weights_20{
    "('Predictor weights (from predictor one to the last):',/,5X,10F9.5,/,5X,10F9.5)"};
constexpr layout criterion_weights{
    "('Criterion weights (from criterion one to the last):',/,5X,10F7.3)"};
constexpr layout no_criteria{
    "('Regression weights can not be computed because no',/,'criteria are specified')"};
constexpr layout matrix_row{"('   Row ',I2,1X,30F5.2)"};
constexpr layout matrix_heading{
    "('Correlation matrix of the predictors (first',I2,' rows',' and columns)',/,"
    "'and the criteria (final',I2,' rows and',' columns',')')"};
constexpr layout predictor_effect{"(/,'Effect size predictor composite',F7.3)"};
constexpr layout srmax_error{"(/,'Error in srmax ')"};
constexpr layout majority_titles{"(4X,'SRA',5X,'SRI',6X,'AI',6X,'MA',6X,'MI',/)"};
constexpr layout overall_titles{
    "(5X,'SR',5X,'SRA',5X,'SRI',6X,'AI',7X,'M',6X,'MA',6X,'MI',5X,'DIF',/,"
    "8X,'SM',5X,'SMA',5X,'SMI',4X,'SDIF')"};
constexpr layout machine_constant{"(' D1MACH - I OUT OF BOUNDS',I10)"};

TEST(WriteOperation, ProblemEcho) {
  session s{""};
  write(s, problem_echo, 1, 7, "No ", std::string_view("Yes"), std::string("No "));
  EXPECT_EQ(s.report().text(),
            "\n"
            "Problem specification\n"
            "\n"
            "Number of predictors:  1\n"
            "Number of criteria:  7\n"
            "Computation for overall selection ratio: No \n"
            "Use regression based weights: Yes\n"
            "Expected scores on (composite) criterion: No \n");
}

TEST(WriteOperation, SectionsOfTheReport) {
  session s{""};
  write(s, ratio_line, 1234.5);
  write(s, criterion_weights, std::vector<double>{1.5, 1, 1, 1, 1, 1.9, 1.4});
  write(s, no_criteria);
  write(s, matrix_heading, 2, 1);
  write(s, predictor_effect, -1.15);
  write(s, srmax_error);
  write(s, majority_titles);
  write(s, overall_titles);
  write(s, machine_constant, 7);
  EXPECT_EQ(s.report().text(),
            "Ratio number of majority vs number of minority applicants:******\n"
            "Criterion weights (from criterion one to the last):\n"
            "       1.500  1.000  1.000  1.000  1.000  1.900  1.400\n"
            "Regression weights can not be computed because no\n"
            "criteria are specified\n"
            "Correlation matrix of the predictors (first 2 rows and columns)\n"
            "and the criteria (final 1 rows and columns)\n"
            "\n"
            "Effect size predictor composite -1.150\n"
            "\n"
            "Error in srmax \n"
            "    SRA     SRI      AI      MA      MI\n"
            "\n"
            "     SR     SRA     SRI      AI       M      MA      MI     DIF\n"
            "        SM     SMA     SMI    SDIF\n"
            " D1MACH - I OUT OF BOUNDS         7\n");
}

TEST(WriteOperation, PredictorWeights) {
  const std::string heading = "Predictor weights (from predictor one to the last):\n";
  {
    session s{""};
    write(s, predictor_weights);
    EXPECT_EQ(s.report().text(), heading + "\n");
  }
  {
    session s{""};
    write(s, predictor_weights, std::array<double, 3>{0.08506, 1.0, -0.0004});
    EXPECT_EQ(s.report().text(), heading + "       0.08506  1.00000 -0.00040\n");
  }
  const std::vector<double> twelve{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  const std::string ten =
      "       1.00000  2.00000  3.00000  4.00000  5.00000"
      "  6.00000  7.00000  8.00000  9.00000 10.00000\n";
  {
    session s{""};
    write(s, predictor_weights_20, twelve);
    EXPECT_EQ(s.report().text(), heading + ten + "      11.00000 12.00000\n");
  }
  {
    // Past its ten fields the short template starts over, heading and all.
    session s{""};
    write(s, predictor_weights, twelve);
    EXPECT_EQ(s.report().text(), heading + ten + heading + "      11.00000 12.00000\n");
  }
}

TEST(WriteOperation, MatrixRows) {
  session s{""};
  write(s, matrix_row, 1, std::vector<double>{1.00, 0.00, 0.16, 0.07, 0.17, -0.05, 0.14, -0.15});
  write(s, matrix_row, 10, 0.5);
  write(s, matrix_row, 3, std::vector<double>{0.125, 0.375, 0.625, 0.875, -0.125, -0.875});
  EXPECT_EQ(s.report().text(),
            "   Row  1  1.00 0.00 0.16 0.07 0.17-0.05 0.14-0.15\n"
            "   Row 10  0.50\n"
            "   Row  3  0.12 0.38 0.62 0.88-0.12-0.88\n");
}

TEST(WriteOperation, MatrixRowRevertsToItsStart) {
  session s{""};
  const std::vector<double> thirty(30, 0.25);
  write(s, matrix_row, 1, thirty, 2, 0.5);
  std::string first = "   Row  1 ";
  for (int i = 0; i < 30; ++i) first += " 0.25";
  EXPECT_EQ(s.report().text(), first + "\n   Row  2  0.50\n");
}

TEST(WriteOperation, ErrorZeroLines) {
  session s{""};
  write(s, zero_line, 4, 7.999, 8.0, 6.661e-16, 0.0);
  write(s, zero_line, 4, -7.989, -7.99, 1.0, 0.0);
  write(s, zero_line, 5, not_a_number, not_a_number, not_a_number, not_a_number);
  EXPECT_EQ(s.report().text(),
            "ERROR ZERO   4   0.7999E+01   0.8000E+01   0.6661E-15   0.0000E+00\n"
            "ERROR ZERO   4  -0.7989E+01  -0.7990E+01   0.1000E+01   0.0000E+00\n"
            "ERROR ZERO   5          NAN          NAN          NAN          NAN\n");
}

TEST(WriteOperation, RecordWriterStepByStep) {
  session s{""};
  record_writer w(s, zero_line);
  w.put(4);
  w.put(1.0);
  EXPECT_EQ(s.report().text(), "") << "a record goes out only when it ends";
  w.finish();
  w.finish();
  EXPECT_EQ(s.report().text(), "ERROR ZERO   4   0.1000E+01\n");
}

TEST(WriteOperation, RemembersTheOperationForTheFatalReport) {
  session s{""};
  const runtime_layout l("(I3) and then some");
  write(s, l, 5);
  EXPECT_EQ(s.last().unit, unit_report);
  EXPECT_TRUE(s.last().writing);
  EXPECT_EQ(s.last().format, "(I3)");
  EXPECT_EQ(s.report().text(), "  5\n");
}

TEST(WriteOperation, AnItemThatDoesNotSuitItsFieldIsAFault) {
  session s{""};
  try {
    write(s, matrix_row, 1.5);
    FAIL() << "no run_end";
  } catch (const run_end& end) {
    EXPECT_EQ(end.status, status_failure);
  }
  EXPECT_NE(s.errors().text(), "");
  EXPECT_EQ(s.report().text(), "");
}

// ---------------------------------------------------------------------------
// Templates known only at run time.

TEST(WriteRuntime, WritesLikeACompiledTemplate) {
  session s{""};
  const std::vector<double> items{1.5, -0.25, 3};
  write_runtime(s, "(2F6.2) extra", items);
  EXPECT_EQ(s.report().text(), "  1.50 -0.25\n  3.00\n");
  EXPECT_EQ(s.errors().text(), "");
}

TEST(WriteRuntime, UnparsableTemplateIsAFatalError) {
  const struct {
    std::string_view text;
    std::string_view shown;
  } cases[] = {
      {"(I3,Q4) rest", "(I3,Q4)"},
      {"(F7.3", "(F7.3"},
      {"F7.3)", "F7.3)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    session s{""};
    try {
      write_runtime(s, c.text, {});
      ADD_FAILURE() << "no run_end";
    } catch (const run_end& end) {
      EXPECT_EQ(end.status, status_failure);
    }
    EXPECT_EQ(s.errors().text(),
              "startio: error in format\n"
              "apparent state: unit 6 (unnamed)\n"
              "last format: " +
                  std::string(c.shown) +
                  "\n"
                  "lately writing sequential formatted external IO\n");
    EXPECT_EQ(s.report().text(), "");
  }
}

TEST(WriteRuntime, TemplateOfMoreThanThreeHundredStepsIsTooComplicated) {
  const std::string text = repeated_moves(301);
  session s{""};
  try {
    write_runtime(s, text, {});
    FAIL() << "no run_end";
  } catch (const run_end& end) {
    EXPECT_EQ(end.status, status_failure);
  }
  EXPECT_EQ(s.errors().text(), "format too complicated:\n" + text + "\n");
  EXPECT_EQ(s.report().text(), "");
}

TEST(WriteRuntime, ThreeHundredStepsAreFine) {
  std::string text = repeated_moves(299);
  text.insert(text.size() - 1, ",F4.1");
  session s{""};
  const double item = 1;
  write_runtime(s, text, std::span<const double>(&item, 1));
  EXPECT_EQ(s.report().text(), std::string(299, ' ') + " 1.0\n");
  EXPECT_EQ(s.errors().text(), "");
}

}  // namespace
}  // namespace recordio

// The fixed conversion of the report's fields must round exactly as the
// library's own fixed conversion does, ties and near-ties included.
TEST(WriterFixedRounding, AgreesWithTheLibraryConversion) {
  std::mt19937_64 random(20261208);
  std::uniform_int_distribution<int> decimals(1, 9);
  std::uniform_real_distribution<double> exponent(-30, 9);
  std::vector<double> values;
  values.reserve(200000 + 4096 + 16);
  for (int i = 0; i < 200000; ++i) values.push_back(std::pow(10.0, exponent(random)));
  for (int k = 0; k < 4096; ++k) values.push_back(k / 1024.0);  // exact ties at few decimals
  for (double v : {0.0, 5e-324, 2.2250738585072014e-308, 0.0005, 0.00050000000000000001,
                   999999999.99999988, 0.125, 0.375, 2.675, 1.005, 0.145}) {
    values.push_back(v);
  }
  int checked = 0;
  for (double v : values) {
    const int d = decimals(random);
    for (int digits : {d, 2, 3, 5}) {
      char expected[400];
      const auto r =
          std::to_chars(expected, expected + sizeof expected, v, std::chars_format::fixed, digits);
      const std::string want(expected, r.ptr);
      std::string got;
      recordio::render_fixed(got, 60, digits, v);
      got.erase(0, got.find_first_not_of(' '));
      ASSERT_EQ(got, want) << "value " << std::hexfloat << v << " with " << digits << " decimals";
      ++checked;
    }
  }
  EXPECT_GT(checked, 800000);
}
