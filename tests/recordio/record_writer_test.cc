// Whole write operations: records, pending moves, groups, reversion, items
// that run out, and the report's own templates.
#include "recordio/record_writer.h"

#include <gtest/gtest.h>

#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace recordio {
namespace {

const double not_a_number = std::numeric_limits<double>::quiet_NaN();

// A template that the compiler has parsed.
constexpr layout zero_line{"('ERROR ZERO ',I3,4D13.4)"};

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
    std::string s;
    write(s, l, std::span<const double>(c.items));
    EXPECT_EQ(s, c.expected);
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
constexpr layout predictor_weights_grouped{
    "('Predictor weights (from predictor one to the last):',/,(5X,10F9.5))"};
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
  std::string s;
  write(s, problem_echo, 1, 7, "No ", std::string_view("Yes"), std::string("No "));
  EXPECT_EQ(s,
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
  std::string s;
  write(s, ratio_line, 1234.5);
  write(s, criterion_weights, std::vector<double>{1.5, 1, 1, 1, 1, 1.9, 1.4});
  write(s, no_criteria);
  write(s, matrix_heading, 2, 1);
  write(s, predictor_effect, -1.15);
  write(s, srmax_error);
  write(s, majority_titles);
  write(s, overall_titles);
  write(s, machine_constant, 7);
  EXPECT_EQ(s,
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
    std::string s;
    write(s, predictor_weights);
    EXPECT_EQ(s, heading + "\n");
  }
  {
    std::string s;
    write(s, predictor_weights, std::array<double, 3>{0.08506, 1.0, -0.0004});
    EXPECT_EQ(s, heading + "       0.08506  1.00000 -0.00040\n");
  }
  const std::vector<double> twelve{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  const std::string ten =
      "       1.00000  2.00000  3.00000  4.00000  5.00000"
      "  6.00000  7.00000  8.00000  9.00000 10.00000\n";
  {
    // A group directly inside the template is where it starts over: each
    // further line of values without the heading.
    std::string s;
    write(s, predictor_weights_grouped, twelve);
    EXPECT_EQ(s, heading + ten + "      11.00000 12.00000\n");
  }
  {
    std::string s;
    write(s, predictor_weights_grouped);
    EXPECT_EQ(s, heading + "\n");
  }
  {
    // Past its ten fields the short template starts over, heading and all.
    std::string s;
    write(s, predictor_weights, twelve);
    EXPECT_EQ(s, heading + ten + heading + "      11.00000 12.00000\n");
  }
}

TEST(WriteOperation, MatrixRows) {
  std::string s;
  write(s, matrix_row, 1, std::vector<double>{1.00, 0.00, 0.16, 0.07, 0.17, -0.05, 0.14, -0.15});
  write(s, matrix_row, 10, 0.5);
  write(s, matrix_row, 3, std::vector<double>{0.125, 0.375, 0.625, 0.875, -0.125, -0.875});
  EXPECT_EQ(s,
            "   Row  1  1.00 0.00 0.16 0.07 0.17-0.05 0.14-0.15\n"
            "   Row 10  0.50\n"
            "   Row  3  0.12 0.38 0.62 0.88-0.12-0.88\n");
}

TEST(WriteOperation, MatrixRowRevertsToItsStart) {
  std::string s;
  const std::vector<double> thirty(30, 0.25);
  write(s, matrix_row, 1, thirty, 2, 0.5);
  std::string first = "   Row  1 ";
  for (int i = 0; i < 30; ++i) first += " 0.25";
  EXPECT_EQ(s, first + "\n   Row  2  0.50\n");
}

TEST(WriteOperation, ErrorZeroLines) {
  std::string s;
  write(s, zero_line, 4, 7.999, 8.0, 6.661e-16, 0.0);
  write(s, zero_line, 4, -7.989, -7.99, 1.0, 0.0);
  write(s, zero_line, 5, not_a_number, not_a_number, not_a_number, not_a_number);
  EXPECT_EQ(s,
            "ERROR ZERO   4   0.7999E+01   0.8000E+01   0.6661E-15   0.0000E+00\n"
            "ERROR ZERO   4  -0.7989E+01  -0.7990E+01   0.1000E+01   0.0000E+00\n"
            "ERROR ZERO   5          NAN          NAN          NAN          NAN\n");
}

TEST(WriteOperation, RecordWriterStepByStep) {
  std::string s;
  record_writer w(s, zero_line);
  w.put(4);
  w.put(1.0);
  EXPECT_EQ(s, "ERROR ZERO   4   0.1000E+01") << "the record ends with the operation";
  w.finish();
  w.finish();
  EXPECT_EQ(s, "ERROR ZERO   4   0.1000E+01\n");
}

TEST(WriteOperation, AnItemThatDoesNotSuitItsFieldIsAFault) {
  std::string s;
  EXPECT_THROW(write(s, matrix_row, 1.5), std::logic_error);
}

}  // namespace
}  // namespace recordio
