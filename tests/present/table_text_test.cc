// The aligned text table keeps every digit of a number, however long.
#include <gtest/gtest.h>

#include <string>

#include "present/table.h"

namespace present {
namespace {

TEST(TableText, ALongNumberKeepsEveryDigitAndWidensItsField) {
  table t;
  fourfifths::outcome o;
  o.target = 0.3;
  o.sr_majority = 0.25;
  o.sr_minority = 0.5;
  o.ai_ratio = 2;
  o.cut_score = -1e300;  // 301 digits before the point
  o.mean = 1.5;
  o.mean_majority = 1.25;
  o.mean_minority = 2;
  t.rows.push_back({fourfifths::entry_kind::requested, o});
  const std::string text = table_text(t);
  char expected[400];
  std::snprintf(expected, sizeof expected, "%.4f", -1e300);
  EXPECT_NE(text.find(std::string(" ") + expected + " "), std::string::npos) << text;
  // The majority is selected at half the minority's rate: below four fifths
  // of the highest, it fails the rule.
  EXPECT_NE(text.find("   0.2500   0.5000   2.0000   0.5000       no "), std::string::npos) << text;
  EXPECT_NE(text.find("four-fifths minimum selection ratio: none\n"), std::string::npos);
}

}  // namespace
}  // namespace present
