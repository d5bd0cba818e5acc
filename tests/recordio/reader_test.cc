// The free-form reader: values, separators, nulls, repeats, the slash, line
// skipping, the end of the input, and every fatal diagnostic.
//
// Each case runs a deck through a sequence of reads. A read is written as a
// string of item kinds, 'i' for an integer and 'd' for a double item; every
// item starts out as `kept`, so an item that a null or the slash leaves
// alone shows up as `kept`.
#include "recordio/reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace recordio {
namespace {

constexpr int kept = 77;
constexpr double inf = std::numeric_limits<double>::infinity();

using reads = std::vector<std::string>;
using values = std::vector<double>;

struct outcome {
  values got;  // the items filled before any failure
  bool failed = false;
  std::string errors;  // the fatal report
};

bool read_items(list_reader& reader, const std::string& kinds, values& got) {
  for (const char kind : kinds) {
    if (kind == 'i') {
      int v = kept;
      if (!reader.item(v)) return false;
      got.push_back(v);
    } else {
      double v = kept;
      if (!reader.item(v)) return false;
      got.push_back(v);
    }
  }
  return true;
}

outcome run_reads(std::string_view deck, const reads& sequence) {
  deck_input in{deck};
  list_reader reader{in};
  outcome out;
  for (const std::string& kinds : sequence) {
    if (!reader.begin() || !read_items(reader, kinds, out.got) || !reader.end()) {
      out.failed = true;
      break;
    }
  }
  EXPECT_EQ(out.failed, reader.fault().has_value());
  if (reader.fault()) out.errors = reader.fault()->report();
  return out;
}

// The whole diagnostic of a failed read, given its first line.
std::string fatal_report(std::string_view first_line) {
  return std::string(first_line) +
         "\n"
         "apparent state: unit 5 (unnamed)\n"
         "last format: list io\n"
         "lately reading sequential formatted external IO\n";
}

struct value_case {
  const char* name;
  std::string_view deck;
  reads sequence;
  values expected;
};

void check_values(const std::vector<value_case>& cases) {
  for (const value_case& c : cases) {
    SCOPED_TRACE(c.name);
    const outcome out = run_reads(c.deck, c.sequence);
    EXPECT_FALSE(out.failed) << out.errors;
    EXPECT_EQ(out.errors, "");
    EXPECT_EQ(out.got, c.expected);
  }
}

struct error_case {
  const char* name;
  std::string_view deck;
  reads sequence;
  const char* first_line;
};

void check_errors(const std::vector<error_case>& cases) {
  for (const error_case& c : cases) {
    SCOPED_TRACE(c.name);
    const outcome out = run_reads(c.deck, c.sequence);
    EXPECT_TRUE(out.failed);
    EXPECT_EQ(out.errors, fatal_report(c.first_line));
  }
}

// ---------------------------------------------------------------------------
// Values

TEST(ReaderValues, SeparatorsAndNulls) {
  check_values({
      {"comma", "1,2\n", {"dd"}, {1, 2}},
      {"blank", "1 2\n", {"dd"}, {1, 2}},
      {"line end", "1\n2\n", {"dd"}, {1, 2}},
      {"tab", "1\t2\n", {"dd"}, {1, 2}},
      {"blanks around a comma", "1 \t, 2\n", {"dd"}, {1, 2}},
      {"null between commas", "1,,3\n", {"ddd"}, {1, kept, 3}},
      {"two nulls", "1,,,4\n", {"dddd"}, {1, kept, kept, 4}},
      {"comma at line start", ",1\n", {"dd"}, {kept, 1}},
      {"comma at line start of a later line", "1,\n,3\n", {"ddd"}, {1, kept, 3}},
      {"comma at line end is a separator", "1,\n2\n", {"dd"}, {1, 2}},
      {"comma at line end before blank lines", "1,\n\n  \n2\n", {"dd"}, {1, 2}},
      {"comma blank comma", ", ,5\n", {"ddd"}, {kept, kept, 5}},
      {"nulls in integer items", "1,,3\n", {"iii"}, {1, kept, 3}},
      {"blank lines before a value", "\n\n \t\n1\n", {"i"}, {1}},
      {"values over several lines", "1\n\n2 3\n", {"ddd"}, {1, 2, 3}},
      // No digit before a comma: the value is a null.
      {"sign before a comma", "-,5\n", {"dd"}, {kept, 5}},
      {"point before a comma", ".,5\n", {"dd"}, {kept, 5}},
  });
}

TEST(ReaderValues, RepeatCounts) {
  check_values({
      {"repeated value", "3*0.5\n", {"ddd"}, {0.5, 0.5, 0.5}},
      {"repeated null before a blank", "2* \n", {"dd"}, {kept, kept}},
      {"repeated null before a line end", "1 2*\n3\n", {"dddd"}, {1, kept, kept, 3}},
      {"repeated null before a comma", "2*,5\n", {"ddd"}, {kept, kept, 5}},
      {"repeated null, blank, comma", "3* ,5\n", {"dddd"}, {kept, kept, kept, 5}},
      {"comma after a repeated value", "3*0.5,7\n", {"dddd"}, {0.5, 0.5, 0.5, 7}},
      {"comma after a repeat, then a null", "2*1,,3\n", {"dddd"}, {1, 1, kept, 3}},
      {"comma after a repeated null", "1 2*,\n", {"ddd"}, {1, kept, kept}},
      {"value after a repeat", "2*5 6\n", {"ddd"}, {5, 5, 6}},
      {"signed value", "2*-1.5\n", {"dd"}, {-1.5, -1.5}},
      {"leading zeros of a count", "0003*1\n", {"iii"}, {1, 1, 1}},
      {"forty digits of count",
       "0000000000000000000000000000000000000000000003*.5\n",
       {"ddd"},
       {0.5, 0.5, 0.5}},
      {"count of forty significant digits",
       "1000000000000000000000000000000000000000*5\n",
       {"dd"},
       {5, 5}},
      {"a second star is not a count", "2*3*4\n", {"dd"}, {3, 3}},
      {"repeat then slash", "2*1/\n", {"ddd"}, {1, 1, kept}},
      {"repeated null then slash", "2*/\n", {"ddd"}, {kept, kept, kept}},
      {"repeat of a double into an integer", "2*2.5\n", {"di"}, {2.5, 2}},
      {"repeat of an integer into a double", "2*7\n", {"id"}, {7, 7}},
      {"repeat of a negative value into an integer", "2*-1.5\n", {"di"}, {-1.5, -1}},
      {"repeat ends with the read", "3*4\n5\n", {"dd", "d"}, {4, 4, 5}},
      {"repeated null ends with the read", "3*\n5\n", {"d", "d"}, {kept, 5}},
      {"longer repeat than items", "10*1\n2\n", {"iii", "i"}, {1, 1, 1, 2}},
  });
}

TEST(ReaderValues, SlashAndLineSkipping) {
  check_values({
      {"slash ends the read", "1 2 / 9\n", {"dddd"}, {1, 2, kept, kept}},
      {"slash right after a number", "5/7\n", {"dd"}, {5, kept}},
      {"slash first", "/\n", {"ii"}, {kept, kept}},
      {"next read after a slash", "1 / 2\n3\n", {"ddd", "d"}, {1, kept, kept, 3}},
      {"text after a slash", "/ x y\n4\n", {"d", "d"}, {kept, 4}},
      {"extra words", "4 5 extra words\n", {"ii"}, {4, 5}},
      {"extra words, next read", "4 5 extra words\n6\n", {"ii", "i"}, {4, 5, 6}},
      {"rest of the last line", "1\n2 3 4\n5\n", {"dd", "d"}, {1, 2, 5}},
      {"bad text after the last value", "1 x\n2\n", {"d", "d"}, {1, 2}},
      {"stray star after the last value", "1 *\n2\n", {"d", "d"}, {1, 2}},
  });
}

TEST(ReaderValues, NumberForms) {
  check_values({
      {"12", "12\n", {"d"}, {12}},
      {"-3", "-3\n", {"d"}, {-3}},
      {"+5", "+5\n", {"d"}, {5}},
      {"0.5", "0.5\n", {"d"}, {0.5}},
      {".5", ".5\n", {"d"}, {0.5}},
      {"5.", "5.\n", {"d"}, {5}},
      {"-.5", "-.5\n", {"d"}, {-0.5}},
      {"1.5E-3", "1.5E-3\n", {"d"}, {1.5e-3}},
      {"2d4", "2d4\n", {"d"}, {2e4}},
      {"1.5-3", "1.5-3\n", {"d"}, {1.5e-3}},
      {"1.5+3", "1.5+3\n", {"d"}, {1.5e3}},
      {"1d+2", "1d+2\n", {"d"}, {100}},
      {"1e-2", "1e-2\n", {"d"}, {0.01}},
      {"0.25D0", "0.25D0\n", {"d"}, {0.25}},
      {"2.5e-1", "2.5e-1\n", {"d"}, {0.25}},
      {".25", ".25\n", {"d"}, {0.25}},
      {"25-2", "25-2\n", {"d"}, {0.25}},
      {"-12345e-7", "-12345e-7\n", {"d"}, {-0.0012345}},
      {"leading zeros in the exponent", "1E000000000002\n", {"d"}, {100}},
      {"largest exponent", "1E99999999\n", {"d"}, {inf}},
      {"largest negative exponent", "1E-99999999\n", {"d"}, {0}},
      {"zero with the largest exponent", "0E99999999\n", {"d"}, {0}},
      {"zeros", "00.000\n", {"d"}, {0}},
      {".0", ".0\n", {"d"}, {0}},
      {"100", "100\n", {"d"}, {100}},
      {"10.050", "10.050\n", {"d"}, {10.05}},
      {"fraction zeros before the digits", "0.000125\n", {"d"}, {0.000125}},
  });
}

TEST(ReaderValues, MinusZeroAndLeadingZeros) {
  const outcome out = run_reads("-0 007 -0.0\n", {"did"});
  ASSERT_FALSE(out.failed) << out.errors;
  EXPECT_EQ(out.got, (values{0, 7, 0}));
  // Only zeros make zero itself.
  EXPECT_FALSE(std::signbit(out.got[0]));
  EXPECT_FALSE(std::signbit(out.got[2]));
}

TEST(ReaderValues, IntegerItems) {
  check_values({
      {"sign starts an exponent", "1+2\n", {"i"}, {100}},
      {"negative exponent truncates", "5-1\n", {"i"}, {0}},
      {"toward zero, positive", "15-1\n", {"i"}, {1}},
      {"toward zero, negative", "-15-1\n", {"i"}, {-1}},
      {"toward zero, small negative", "-5-1\n", {"i"}, {0}},
      {"limits", "-2147483648 2147483647\n", {"ii"}, {-2147483648.0, 2147483647}},
      {"just below the upper limit", "21474836479-1\n", {"i"}, {2147483647}},
      {"just above the lower limit", "-21474836489-1\n", {"i"}, {-2147483648.0}},
      {"leading zeros", "001 -0 003\n", {"iii"}, {1, 0, 3}},
      {"exponent sign with zero", "1+0\n", {"i"}, {1}},
  });
}

// Digits past the fortieth significant one are not stored: before the
// point they only raise the exponent, after it they are dropped. Both decks
// are built so that the dropped digit would change the rounding.
TEST(ReaderValues, LongMantissas) {
  // 9007199254741005 * 2^80 is a midpoint between two doubles of forty
  // significant digits (then one zero); the even neighbour below is
  // 4503599627370502 * 2^81. Plus one, all 41 digits would round up.
  const double below = std::ldexp(4503599627370502.0, 81);
  // 1 + 2^-53 is the midpoint above 1; the first forty digits of this deck
  // lie below it, all 41 above.
  check_values({
      {"41 digits before the point", "10889035741470046546863642427995853946881\n", {"d"}, {below}},
      {"41 digits with a point", "1.0000000000000001110223024625156540423632\n", {"d"}, {1.0}},
      {"leading zeros are not significant",
       "000000000000000000000000000000000000000000001.5\n",
       {"d"},
       {1.5}},
      {"fraction zeros before the first digit",
       "0.00000000000000000000000000000000000000000000000000000000000012345\n",
       {"d"},
       {1.2345e-61}},
      {"many digits, then an exponent",
       "123456789012345678901234567890123456789012345678901234567890E-59\n",
       {"d"},
       {1.23456789012345678901234567890123456789}},
      {"dropped digits after the point",
       "0.50000000000000000000000000000000000000000000000000000001\n",
       {"d"},
       {0.5}},
  });
}

// Every decimal the reader converts must come out as the C library's own
// conversion of the same text gives it, whichever way the reader takes.
TEST(ReaderValues, ConversionAgreesWithTheLibrary) {
  std::mt19937_64 random(8122026);
  std::uniform_int_distribution<int> length(1, 19);
  std::uniform_int_distribution<int> digit(0, 9);
  std::uniform_int_distribution<int> exponent(-30, 30);
  std::uniform_int_distribution<int> point_at(0, 20);
  for (int i = 0; i < 20000; ++i) {
    std::string text = (i % 2 == 0) ? "-" : "";
    const int n = length(random);
    const int point = point_at(random);
    for (int k = 0; k < n; ++k) {
      if (k == point) text += '.';
      text += static_cast<char>('0' + digit(random));
    }
    if (i % 3 != 0) {
      text += 'e';
      text += std::to_string(exponent(random));
    }
    SCOPED_TRACE(text);
    const std::string deck = text + '\n';
    deck_input in{deck};
    list_reader reader{in};
    double got = kept;
    reader.begin();
    reader.item(got);
    reader.end();
    const double want = std::strtod(text.c_str(), nullptr);
    // -0 and the like read as 0: a value with only zero digits has no sign.
    if (want == 0) {
      EXPECT_EQ(got, 0);
    } else {
      EXPECT_EQ(got, want);
    }
  }
}

TEST(ReaderValues, CarriageReturns) {
  check_values({
      {"CR LF line ends", "1 2\r\n3\r\n", {"dd", "d"}, {1, 2, 3}},
      {"comma before CR LF", "1,\r\n2\r\n", {"dd"}, {1, 2}},
      {"comma at the start after CR LF", "1\r\n,2\r\n", {"ddd"}, {1, kept, 2}},
      {"repeated null before CR LF", "2*\r\n5\r\n", {"ddd"}, {kept, kept, 5}},
      {"number before CR LF", "0.5\r\n", {"d"}, {0.5}},
      {"blank CR LF lines", "\r\n\r\n7\r\n", {"i"}, {7}},
      {"lone CR ends a number, line skipped", "1\r2\n", {"d"}, {1}},
      {"lone CR then CR LF", "1\r\r\n5\n", {"d", "d"}, {1, 5}},
      {"slash then CR LF", "1 /\r\n2\r\n", {"dd", "d"}, {1, kept, 2}},
  });
}

TEST(ReaderValues, InputEndingWithoutFinalNewline) {
  check_values({
      {"last value", "5", {"d"}, {5}},
      {"two values", "1 2", {"dd"}, {1, 2}},
      {"repeat needs only one item", "2*5", {"d"}, {5}},
      {"slash before the end", "1 /", {"ddd"}, {1, kept, kept}},
      {"lone CR at the end", "5\r", {"d"}, {5}},
      {"previous lines", "1\n2", {"d", "d"}, {1, 2}},
  });
}

// ---------------------------------------------------------------------------
// Failures

TEST(ReaderErrors, EndOfFile) {
  check_errors({
      {"empty deck", "", {"i"}, "list in: end of file"},
      {"only blank lines", "\n \n\t\n", {"i"}, "list in: end of file"},
      {"too few values", "1\n", {"ii"}, "list in: end of file"},
      {"too few values, with a final comma", "1,", {"dd"}, "list in: end of file"},
      {"read after the last line", "1\n", {"i", "i"}, "list in: end of file"},
      {"read after a line without newline", "1", {"i", "i"}, "read start: end of file"},
      {"skip reached the end", "1 extra", {"i", "i"}, "read start: end of file"},
      {"slash line without newline", "1 /", {"dd", "d"}, "read start: end of file"},
      {"lone CR at the end, then a read", "5\r", {"d", "d"}, "read start: end of file"},
      // The end of the input comes before a repeat still pending.
      {"repeat at the very end", "2*5", {"ii"}, "list in: end of file"},
      {"repeat and a blank at the very end", "2*5 ", {"ii"}, "list in: end of file"},
  });
}

TEST(ReaderErrors, BadRepetitionCount) {
  const char* bad = "bad repetition count: incomprehensible list input";
  check_errors({
      {"stray star", "*1\n", {"d"}, bad},
      {"stray star and blank", "* 1\n", {"d"}, bad},
      {"zero count", "0*1\n", {"d"}, bad},
      {"zeros count", "00*5\n", {"i"}, bad},
      {"minus", "-2*1\n", {"d"}, bad},
      {"plus", "+2*1\n", {"d"}, bad},
      {"sign only", "-*1\n", {"d"}, bad},
      {"41 significant digits", "10000000000000000000000000000000000000000*5\n", {"d"}, bad},
      {"star after a repeated value", "2*3*4\n", {"ddd"}, bad},
      {"after a value", "1 *\n", {"dd"}, bad},
  });
}

TEST(ReaderErrors, InvalidInteger) {
  const char* bad = "invalid integer: read unexpected character";
  check_errors({
      {"2.5", "2.5\n", {"i"}, bad},
      {"5.", "5.\n", {"i"}, bad},
      {".5", ".5\n", {"i"}, bad},
      {"lone point", ".\n", {"i"}, bad},
      {"1E2", "1E2\n", {"i"}, bad},
      {"1d0", "1d0\n", {"i"}, bad},
      {"-3e1", "-3e1\n", {"i"}, bad},
      {"letter without exponent digits", "1E\n", {"i"}, bad},
      {"repeated", "2*1.5\n", {"ii"}, bad},
      {"repeated with a letter", "2*1e1\n", {"ii"}, bad},
      {"second item", "1 2.5\n", {"ii"}, bad},
  });
}

TEST(ReaderErrors, ExponentField) {
  const char* bad = "exponent field: incomprehensible list input";
  check_errors({
      {"letter at line end", "1.5E\n", {"d"}, bad},
      {"letter at the end of the input", "1.5E", {"d"}, bad},
      {"sign then blank", "1.5- 2\n", {"d"}, bad},
      {"letter and sign", "1E+\n", {"d"}, bad},
      {"letter then a letter", "1dx\n", {"d"}, bad},
      {"letter then comma", "1e,2\n", {"dd"}, bad},
      {"too large", "1E123456789\n", {"d"}, bad},
      {"just too large", "1E100000000\n", {"d"}, bad},
      {"too large negative", "1E-100000000\n", {"d"}, bad},
      {"sign exponent too large", "1-100000000\n", {"d"}, bad},
      {"integer, sign then blank", "1+ 2\n", {"i"}, bad},
      {"integer, too large", "1+100000000\n", {"i"}, bad},
      {"repeated", "2*1E\n", {"dd"}, bad},
  });
}

TEST(ReaderErrors, InvalidNumber) {
  const char* bad = "invalid number: incomprehensible list input";
  check_errors({
      {"letter", "x\n", {"d"}, bad},
      {"letter in an integer item", "x\n", {"i"}, bad},
      {"second value", "1 x\n", {"dd"}, bad},
      {"lone sign", "- 1\n", {"d"}, bad},
      {"sign at line end", "+\n", {"d"}, bad},
      {"lone point", ". 1\n", {"d"}, bad},
      {"exponent letter first", "E5\n", {"d"}, bad},
      {"exponent letter first in an integer item", "E5\n", {"i"}, bad},
      {"exponent letter first, then a blank", "E 5\n", {"d"}, bad},
      {"exponent letter first, then a comma", "e,5\n", {"dd"}, bad},
      {"point and letter", ".E5\n", {"d"}, bad},
      {"sign and letter", "-d2\n", {"d"}, bad},
      {"second star", "2**\n", {"dd"}, bad},
      {"letter after count", "2*x\n", {"dd"}, bad},
      {"lone sign after count", "2*- 1\n", {"dd"}, bad},
      {"lone point after count", "2*. 1\n", {"dd"}, bad},
      // Only a blank or a line end after "r*" makes a repeated null.
      {"count at the end of the input", "3*", {"d"}, bad},
      {"CR is an ordinary character", "1\r2\n", {"dd"}, bad},
      {"CR where a value starts", "\r5\n", {"d"}, bad},
      {"CR after a count", "2*\rx\n", {"dd"}, bad},
  });
}

TEST(ReaderErrors, IntegerOverflow) {
  const char* bad = "integer overflow: incomprehensible list input";
  check_errors({
      {"above", "2147483648\n", {"i"}, bad},
      {"below", "-2147483649\n", {"i"}, bad},
      {"through the exponent", "1+10\n", {"i"}, bad},
      {"infinite", "1+99999999\n", {"i"}, bad},
      {"many digits", "99999999999999999999999999999999999999999999\n", {"i"}, bad},
      {"repeated", "2*3000000000\n", {"ii"}, bad},
      {"repeated from a double item", "2*3e9\n", {"di"}, bad},
  });
}

// ---------------------------------------------------------------------------
// State

TEST(ReaderState, FailedItemIsNotAssigned) {
  struct failing {
    const char* name;
    std::string_view deck;
    char kind;
  };
  for (const failing& c :
       {failing{"invalid number", "x\n", 'd'}, failing{"invalid integer", "2.5\n", 'i'},
        failing{"exponent field", "1E\n", 'd'}, failing{"integer overflow", "2147483648\n", 'i'},
        failing{"end of file", "\n", 'd'}}) {
    SCOPED_TRACE(c.name);
    deck_input in{c.deck};
    list_reader reader{in};
    int i = 3;
    double d = 3;
    ASSERT_TRUE(reader.begin());
    if (c.kind == 'i') {
      EXPECT_FALSE(reader.item(i));
    } else {
      EXPECT_FALSE(reader.item(d));
    }
    EXPECT_EQ(i, 3);
    EXPECT_EQ(d, 3);
    // Once failed, the reader stays failed.
    EXPECT_FALSE(reader.item(d));
    EXPECT_FALSE(reader.end());
    EXPECT_FALSE(reader.begin());
  }
}

TEST(ReaderState, ReadErrorOfTheInput) {
  // Reading a directory fails with EISDIR.
  const int directory = ::open("/", O_RDONLY | O_DIRECTORY);
  ASSERT_GE(directory, 0);
  deck_input in{directory};
  list_reader reader{in};
  ASSERT_TRUE(reader.begin());
  int v = kept;
  EXPECT_FALSE(reader.item(v));
  ::close(directory);
  ASSERT_TRUE(reader.fault().has_value());
  EXPECT_EQ(reader.fault()->report(),
            fatal_report(std::string("list in: ") + std::strerror(EISDIR)));
  EXPECT_EQ(v, kept);
}

// ---------------------------------------------------------------------------
// Decks of the conformance suite, read with the reads the driver makes for
// them ("6i 1d 2d": six integers, then one double, then two doubles).

std::string deck_file(const std::string& name, const char* extension) {
  std::ifstream in(
      std::string(FOURFIFTHS_SOURCE_DIR) + "/tests/golden/conformance/edge/" + name + extension,
      std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

reads layout(std::string_view text) {
  reads sequence;
  std::istringstream in{std::string(text)};
  int count = 0;
  char kind = 0;
  while (in >> count >> kind) sequence.emplace_back(static_cast<std::size_t>(count), kind);
  return sequence;
}

TEST(ReaderConformanceDecks, Values) {
  struct deck_case {
    const char* name;
    const char* reads;
    values expected;
  };
  const std::vector<deck_case> cases = {
      {"blank_lines", "6i 1d 1d 1d 1d", {1, 0, 1, 0, 0, 0, 1, 1, 1, -1}},
      {"comma_eol", "6i 1d 2d 1d 3d 3d 3d 2d 1d", {2,  1,  1,  0, 0,  0,  1,  1, 1,  1,   1,
                                                   .3, .5, .3, 1, .4, .5, .4, 1, -1, -.5, -.5}},
      {"separators", "6i 1d 2d 1d 3d 3d 3d 2d 1d", {2,  1,  1,  0, 0,  0,  1,  1, 1,  1,   1,
                                                    .3, .5, .3, 1, .4, .5, .4, 1, -1, -.5, -.5}},
      {"row_split", "6i 1d 2d 1d 3d 3d 3d 2d 1d", {2,  1,  1,  0, 0,  0,  1,  1, 1,  1,   1,
                                                   .3, .5, .3, 1, .4, .5, .4, 1, -1, -.5, -.5}},
      {"nulls", "6i 1d 2d 1d 3d 3d 3d 2d 1d", {2,    1,  1,    0, 0,  0,  1,  1, kept, 1,   1,
                                               kept, .5, kept, 1, .4, .5, .4, 1, -1,   -.5, -.5}},
      {"repeat", "6i 3d 3d 3d 3d 3d", {3,    0, 0, 0, 0, 0, .5, .5,  .5,  1,  kept,
                                       kept, 0, 1, 0, 0, 0, 1,  -.5, -.5, -.5}},
      {"repeat_nulls_comma",
       "6i 2d 1d 3d 3d 3d 2d 1d 2d",
       {2, 1, 0, 0, 0, 2, 1, 1, 1, 1, kept, kept, 0, 1, .4, 0, .4, 1, -.5, -.5, -.5, .5, .5}},
      {"slash",
       "6i 4d 4d 4d 4d 4d 4d",
       {4,  0, 0,    0,    0,  0,                  // header
        1,  2, kept, kept, 1,  .3,  kept, kept,    // weights, row 1
        .3, 1, kept, kept, 0,  0,   1,    0,       // rows 2 and 3
        0,  0, 0,    1,    -1, -.5, kept, kept}},  // row 4, effect sizes
      // The driver's variables start at zero: "1 0 1 /" means one
      // predictor, overall mode, deck weights, no requested ratios.
      {"slash_header", "6i 1d 1d 1d 1d", {1, 0, 1, kept, kept, kept, 2, 1, 1, -1}},
      {"tabs", "6i 1d 1d 1d 1d 1d", {1, 0, 1, 0, 0, 1, 2, 1, 1, -1, .3}},
      {"minus0_007", "6i", {1, 0, 0, 0, 0, 3}},
      {"int_limits", "6i", {1, 0, 0, 0, 0, -2147483648.0}},
      {"int_sign_exponent", "6i", {1, 0, 1, 0, 0, 1}},
      {"int_sign_exponent_100", "6i", {100, 0, 0, 0, 0, 0}},
      {"real_forms", "6i 3d 3d 3d 3d 3d 3d", {3,   0, 0,    0,    0,    3,   .25, .25,
                                              .25, 1, .25,  .25,  .25,  1,   .25, .25,
                                              .25, 1, -.25, -.25, -.25, .25, .25, .25}},
      {"long_mantissa",
       "6i 1d 1d 1d 1d 1d",
       {1, 0, 1, 0, 0, 1, 1, 1.23456789012345678901234567890123456789, 1, -1, .5}},
      {"long_repeat_count", "6i 1d 1d 1d 1d 3d", {1, 0, 1, 0, 0, 3, 1, 1, 1, -1, .5, .5, .5}},
      {"extra_words", "6i 2d 2d 2d 2d", {2, 0, 0, 0, 0, 0, 4, 5, 1, .3, .3, 1, -1, -.5}},
      {"extra_values", "6i 1d 2d 1d 3d 3d 3d 2d 1d", {2,  1,  1,  0, 0,  0,  1,  1, 1,  1,   1,
                                                      .3, .5, .3, 1, .4, .5, .4, 1, -1, -.5, -.5}},
      {"no_final_newline_ok", "6i 1d 1d 1d 1d", {1, 0, 1, 0, 0, 0, 1, 1, 1, -1}},
  };
  for (const deck_case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string deck = deck_file(c.name, ".deck");
    ASSERT_FALSE(deck.empty());
    const outcome out = run_reads(deck, layout(c.reads));
    EXPECT_FALSE(out.failed) << out.errors;
    EXPECT_EQ(out.got, c.expected);
  }
}

TEST(ReaderConformanceDecks, Failures) {
  struct deck_case {
    const char* name;
    const char* reads;  // up to the read that fails
  };
  const std::vector<deck_case> cases = {
      {"empty", "6i"},
      {"eof_four_lines", "6i 1d 2d 1d"},
      {"eof_with_newline", "6i 1d 2d 2d 2d 2d"},
      {"no_final_newline_bad", "6i 1d 1d 1d 1d"},
      {"letter", "6i 1d 2d"},
      {"stray_star", "6i 1d 2d"},
      {"bad_repeat_signed", "6i 1d 2d"},
      {"bad_repeat_zero", "6i 1d 2d"},
      {"lone_point", "6i 1d 1d"},
      {"lone_sign", "6i 1d 1d"},
      {"exponent_long", "6i 1d 1d"},
      {"exponent_missing", "6i 1d 1d"},
      {"exponent_sign_missing", "6i 1d 1d"},
      {"int_exponent", "6i"},
      {"int_point", "6i"},
      {"int_overflow", "6i"},
      {"int_overflow_negative", "6i"},
  };
  for (const deck_case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string expected = deck_file(c.name, ".err");
    ASSERT_FALSE(expected.empty());
    const outcome out = run_reads(deck_file(c.name, ".deck"), layout(c.reads));
    EXPECT_TRUE(out.failed);
    EXPECT_EQ(out.errors, expected);
  }
}

}  // namespace
}  // namespace recordio
