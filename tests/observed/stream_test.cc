// The analysis handed row by row to a sink: names held once, the rows the
// same as those collected whole, a sink that stops the analysis, and no
// row at all while the counts have a fault.
#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "fourfifths/observed.h"

namespace {

using fourfifths::comparison;
using fourfifths::counts_table;
using fourfifths::name_table;

TEST(NameTable, NumbersNamesInTheOrderTheyFirstCome) {
  name_table t;
  EXPECT_EQ(t.intern("women"), 0U);
  EXPECT_EQ(t.intern("men"), 1U);
  EXPECT_EQ(t.intern("women"), 0U);
  EXPECT_EQ(t.intern("Women"), 2U);  // case matters: two names
  EXPECT_EQ(t.size(), 3U);
  EXPECT_EQ(t[1], "men");
  EXPECT_EQ(t.find("men"), 1U);
  EXPECT_FALSE(t.find("older").has_value());
  EXPECT_EQ(t.names(), (std::vector<std::string>{"women", "men", "Women"}));
}

TEST(CountsTable, HoldsEachNameOnceAndSpellsEntriesOut) {
  counts_table c;
  c.add("men", 80, 48, "clerk");
  c.add("women", 60, 24, "clerk");
  const std::size_t k = c.add("men", 10, 1, "driver");
  c.add_to(k, 5, 2);
  EXPECT_EQ(c.size(), 3U);
  EXPECT_EQ(c.groups().size(), 2U);
  EXPECT_EQ(c.units().size(), 2U);
  EXPECT_EQ(c.entries()[2].group, c.entries()[0].group);
  const fourfifths::group_counts e = c[2];
  EXPECT_EQ(e.group, "men");
  EXPECT_EQ(e.unit, "driver");
  EXPECT_EQ(e.applicants, 15);
  EXPECT_EQ(e.selected, 3);
  EXPECT_EQ(e.step, "");
}

// Keeps what it is given, and stops after `most` rows when told to.
class recorder final : public fourfifths::observed_sink {
 public:
  explicit recorder(std::size_t most = SIZE_MAX) : most_(most) {}
  bool start(const fourfifths::observed_options& options, std::span<const std::string> units,
             std::span<const std::string> steps) override {
    ++starts;
    alpha = options.alpha;
    this->units.assign(units.begin(), units.end());
    this->steps.assign(steps.begin(), steps.end());
    return true;
  }
  bool row(const comparison& r) override {
    rows.push_back(r);
    return rows.size() < most_;
  }
  int starts = 0;
  double alpha = 0;
  std::vector<std::string> units, steps;
  std::vector<comparison> rows;

 private:
  std::size_t most_;
};

counts_table three_units() {
  counts_table c;
  for (const auto& [unit, group, n, s] :
       std::vector<std::tuple<const char*, const char*, int, int>>{{"a", "men", 50, 30},
                                                                   {"a", "women", 40, 12},
                                                                   {"b", "women", 20, 9},
                                                                   {"b", "men", 25, 10},
                                                                   {"c", "men", 7, 7},
                                                                   {"c", "older", 9, 2}}) {
    c.add(group, n, s, unit);
  }
  return c;
}

// Every value the table writes, to compare two rows bit for bit.
void expect_same(const comparison& x, const comparison& y) {
  EXPECT_EQ(x.unit, y.unit);
  EXPECT_EQ(x.group, y.group);
  EXPECT_EQ(x.reference, y.reference);
  EXPECT_EQ(x.applicants, y.applicants);
  EXPECT_EQ(x.selected, y.selected);
  EXPECT_EQ(x.impact_ratio, y.impact_ratio);
  EXPECT_EQ(x.p_fisher, y.p_fisher);
  EXPECT_EQ(x.z, y.z);
  EXPECT_EQ(x.ci_high, y.ci_high);
  EXPECT_EQ(x.status, y.status);
  EXPECT_EQ(x.across_units.has_value(), y.across_units.has_value());
  if (x.across_units && y.across_units) {
    EXPECT_EQ(x.across_units->p, y.across_units->p);
  }
}

TEST(ObservedSink, GetsTheRowsOfTheWholeAnalysisInItsOrder) {
  const counts_table c = three_units();
  recorder r;
  EXPECT_TRUE(fourfifths::analyse_observed(c, {.alpha = 0.1}, r).empty());
  const fourfifths::observed_result whole = fourfifths::analyse_observed(c, {.alpha = 0.1});
  ASSERT_TRUE(whole.ok());
  EXPECT_EQ(r.starts, 1);
  EXPECT_EQ(r.alpha, 0.1);
  EXPECT_EQ(r.units, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_TRUE(r.steps.empty());
  // Six cells in three units, then the three groups across them.
  ASSERT_EQ(r.rows.size(), 9U);
  ASSERT_EQ(whole->rows.size(), r.rows.size());
  for (std::size_t k = 0; k < r.rows.size(); ++k) expect_same(r.rows[k], whole->rows[k]);
  // Each unit's groups in the order the groups first appear in the data.
  EXPECT_EQ(r.rows[2].unit, "b");
  EXPECT_EQ(r.rows[2].group, "men");
  EXPECT_EQ(r.rows[6].unit, "");
}

TEST(ObservedSink, StopsWhenTheSinkSaysSo) {
  recorder r(4);
  EXPECT_TRUE(fourfifths::analyse_observed(three_units(), {}, r).empty());
  EXPECT_EQ(r.rows.size(), 4U);
}

TEST(ObservedSink, GetsNothingWhileTheCountsHaveAFault) {
  counts_table c = three_units();
  c.add("older", 3, 4, "c");  // the last entry: more selected than applicants
  recorder r;
  const std::vector<fourfifths::fault> faults = fourfifths::analyse_observed(c, {}, r);
  // Only the first fault: "older" twice in unit "c" is looked for once
  // every entry is sound.
  ASSERT_EQ(faults.size(), 1U);
  EXPECT_EQ(faults[0].path, "counts[6].selected");
  EXPECT_EQ(r.starts, 0);
  EXPECT_TRUE(r.rows.empty());
  // A group given twice, found once the entries are sound.
  c = three_units();
  c.add("older", 3, 1, "c");
  const std::vector<fourfifths::fault> twice = fourfifths::analyse_observed(c, {}, r);
  ASSERT_EQ(twice.size(), 1U);
  EXPECT_EQ(twice[0].path, "counts[6].group");
  EXPECT_EQ(r.starts, 0);
  EXPECT_TRUE(r.rows.empty());
}

TEST(ObservedSink, GetsTheStepsInTheirOrder) {
  counts_table c;
  c.add("men", 100, 60, "", "screen");
  c.add("women", 80, 40, "", "screen");
  c.add("men", 60, 30, "", "test");
  c.add("women", 40, 10, "", "test");
  recorder r;
  EXPECT_TRUE(fourfifths::analyse_observed(c, {.steps = {"screen", "test"}}, r).empty());
  EXPECT_EQ(r.steps, (std::vector<std::string>{"screen", "test"}));
  EXPECT_TRUE(r.units.empty());
  // Two groups at two steps, then the bottom line: women 10/80 against
  // men 30/100, an impact ratio of (10/80)/(30/100) = 5/12.
  ASSERT_EQ(r.rows.size(), 6U);
  EXPECT_EQ(r.rows[4].step, "");
  EXPECT_EQ(r.rows[5].group, "women");
  EXPECT_DOUBLE_EQ(*r.rows[5].impact_ratio, 5.0 / 12.0);
}

}  // namespace
