// Layout templates: the parsed steps, the reversion point, groups and
// their partners, the limits, and templates rejected at compile time.
#include "recordio/layout.h"

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

}  // namespace
}  // namespace recordio
