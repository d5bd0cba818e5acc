// The chart of observed counts: what each panel shows of the analysis.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "present/observed_chart.h"
#include "present/observed_input.h"

namespace {

fourfifths::observed_analysis analysis_of(std::string_view text) {
  const present::loaded_observed d = present::read_observed(text);
  for (const auto& f : d.errors) ADD_FAILURE() << f.text();
  if (!d.value) return {};
  fourfifths::observed_result r = present::analyse(*d.value, d.value->options);
  EXPECT_TRUE(r.ok());
  return r.ok() ? *r.value : fourfifths::observed_analysis{};
}

const char* const two_groups = "group,applicants,selected\nmen,80,48\nwomen,60,24\n";

TEST(ObservedChart, ChartMarksEveryGroupAndTheBand) {
  const present::figure f = present::observed_figure(analysis_of(two_groups));
  ASSERT_EQ(f.panels.size(), 2U);
  const present::panel& rates = f.panels[0];
  ASSERT_EQ(rates.markers.size(), 2U);
  EXPECT_EQ(rates.markers[1].label, "women");
  EXPECT_EQ(rates.markers[1].y, 0.4);
  ASSERT_EQ(rates.references.size(), 2U);
  EXPECT_EQ(rates.references[0].value, 0.6);
  EXPECT_DOUBLE_EQ(rates.references[1].value, 0.48);
  const present::panel& ratios = f.panels[1];
  ASSERT_EQ(ratios.lines.size(), 1U);  // women's interval
  EXPECT_EQ(ratios.lines[0].y.size(), 3U);
  const std::string svg = present::render_svg(f);
  EXPECT_NE(svg.find("women"), std::string::npos);
}

TEST(ObservedChart, WithStepsTheBottomLine) {
  // a: 6 of 10 screened, then 3 of 6 hired; b: 5 of 10, then 4 of 5. The
  // bottom line: a 3 of 10, b 4 of 10, b the reference.
  const present::figure f = present::observed_figure(
      analysis_of("step,group,applicants,selected\none,a,10,6\none,b,10,5\n"
                  "two,a,6,3\ntwo,b,5,4\n"));
  const present::panel& rates = f.panels[0];
  ASSERT_EQ(rates.markers.size(), 2U);
  EXPECT_EQ(rates.markers[0].y, 0.3);
  EXPECT_EQ(rates.markers[1].y, 0.4);
  ASSERT_EQ(rates.references.size(), 2U);
  EXPECT_EQ(rates.references[0].value, 0.4);
  EXPECT_EQ(f.title, "Selection by group, the bottom line of 2 steps");
}

}  // namespace
