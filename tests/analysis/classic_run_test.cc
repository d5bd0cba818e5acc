// The classic run in memory: the deck's check, the echo, and the decisions
// on decks the report cannot serve as they stand.
#include <gtest/gtest.h>

#include <string>

#include "fourfifths/classic.h"

namespace fourfifths {
namespace {

using run_result = classic_run;

int status(const run_result& r) { return static_cast<int>(r.status); }

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(Check, EachFailingTestWritesItsMessageOnceInOrder) {
  struct row {
    const char* deck;
    const char* messages;
  };
  const row rows[] = {
      {"31 11 0 0 0 0\n", "Too many predictors and criteria\n"},
      {"21 10 0 0 0 0\n", "Too many predictors and criteria\n"},
      {"5 11 0 0 0 0\n", "Too many predictors and criteria\n"},
      {"2 0 0 1 1 0\n",
       "Regression weights can not be computed because no\ncriteria are specified\n"
       "Average criterion quality can not be computed because\nno criteria are specified\n"},
      {"31 0 0 1 1 0\n",
       "Too many predictors and criteria\n"
       "Regression weights can not be computed because no\ncriteria are specified\n"
       "Average criterion quality can not be computed because\nno criteria are specified\n"},
      {"0 1 0 0 0 0\n",
       "Number of predictors must be positive and number of\ncriteria can not be negative\n"},
      {"2 -1 0 0 0 0\n",
       "Number of predictors must be positive and number of\ncriteria can not be negative\n"},
      {"2 1 0 2 0 0\n",
       "Regression weight flag must be 0 (weights given) or 1\n(regression based weights)\n"},
      {"2 1 1 0 0 0\n0\n",
       "Ratio number of majority vs number of minority applicants\nmust be positive\n"},
      {"2 1 1 0 0 0\n1e999\n",
       "Ratio number of majority vs number of minority applicants\nmust be positive\n"},
      // Outside overall mode the ratio is neither read nor checked.
      {"2 1 0 3 0 0\n",
       "Regression weight flag must be 0 (weights given) or 1\n(regression based weights)\n"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.deck);
    const run_result got = run_classic(r.deck);
    EXPECT_EQ(got.report, r.messages);
    EXPECT_EQ(got.diagnostics, "");
    EXPECT_EQ(status(got), 2);
  }
}

TEST(Check, HugeCountsDoNotOverflowTheirSum) {
  const run_result got = run_classic("2147483647 2147483647 0 0 0 0\n");
  EXPECT_EQ(got.report, "Too many predictors and criteria\n");
  EXPECT_EQ(status(got), 2);
}

TEST(Driver, EchoesTheProblemAfterTheBanner) {
  const run_result got = run_classic("1 0 1 0 0 0\n4\n1\n1\n-1\n");
  ASSERT_EQ(status(got), 0);
  const std::string echo =
      "\n"
      "Problem specification\n"
      "\n"
      "Number of predictors:  1\n"
      "Number of criteria:  0\n"
      "Computation for overall selection ratio: Yes\n"
      "Use regression based weights: No \n"
      "Expected scores on (composite) criterion: No \n"
      "Ratio number of majority vs number of minority applicants: 4.000\n"
      "Predictor weights (from predictor one to the last):\n";
  EXPECT_NE(got.report.find(echo), std::string::npos);
  EXPECT_EQ(got.report.substr(0, 70),
            "Computing adverse impact and average quality of the selected subjects\n");
}

TEST(Driver, NegativeRequestCountMeansNoRequestedRatios) {
  const run_result got = run_classic("1 0 1 0 0 -3\n1\n1\n1\n-1\n");
  ASSERT_EQ(status(got), 0);
  EXPECT_EQ(count(got.report, "Details for requested"), 0);
  EXPECT_EQ(count(got.report, "Details for minimum possible overall SR without AI"), 1);
}

TEST(Driver, RequestedRatiosFollowTheirHeadingInDeckOrder) {
  const run_result got = run_classic("1 0 0 0 0 2\n1\n1\n-1\n.3 .1\n");
  ASSERT_EQ(status(got), 0);
  const size_t heading = got.report.find("Details for requested majority selection ratios\n");
  ASSERT_NE(heading, std::string::npos);
  const std::string rest = got.report.substr(heading);
  EXPECT_EQ(count(rest, "\n"), 3);
  EXPECT_NE(rest.find("\n  0.300 "), std::string::npos);
  EXPECT_LT(rest.find("\n  0.300 "), rest.find("\n  0.100 "));
}

TEST(Driver, WithoutAFourFifthsMinimumThereIsNoEntry22) {
  const run_result got = run_classic("1 0 0 0 0 0\n1\n1\n0\n");
  ASSERT_EQ(status(got), 0);
  EXPECT_EQ(count(got.report, "Error in srmax \n"), 1);
  EXPECT_EQ(count(got.report, "Details for minimum possible"), 0);
  // The table ends with the last built-in ratio.
  EXPECT_EQ(got.report.substr(got.report.size() - 48),
            "  1.000   1.000   1.000   0.000   0.000   0.000\n");
}

TEST(Driver, FailedFactorisationIsReportedBesideTheWeights) {
  const run_result got = run_classic("2 1 0 1 1 0\n1\n1 1 .5\n1 1 .5\n.5 .5 1\n-1 -1\n-.5\n");
  ASSERT_EQ(status(got), 0);
  EXPECT_NE(got.report.find("Predictor weights (from predictor one to the last):\n"
                            "       0.50000  0.00000\n"
                            "       (Regression based weights!)\n"
                            "       (Warning: predictor correlations not positive definite!)\n"
                            "Criterion weights"),
            std::string::npos);
}

}  // namespace
}  // namespace fourfifths
