// The chart of observed counts: what each panel shows of the analysis, for
// one table, a few units as small panels and many units as dots. The
// values are worked by hand from the counts in each test; where the
// picture lands is checked through a renderer by check_chart_render.py.
#include "present/observed_chart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "present/observed_input.h"

namespace {

using present::figure;
using present::marker;
using present::panel;
using present::shape;

fourfifths::observed_analysis analysis_of(std::string_view text,
                                          const char* reference = nullptr) {
  const present::loaded_observed d = present::read_observed(text);
  for (const auto& f : d.errors) ADD_FAILURE() << f.text();
  if (!d.value) return {};
  fourfifths::observed_options options = d.value->options;
  if (reference) options.reference = reference;
  fourfifths::observed_result r = present::analyse(*d.value, options);
  EXPECT_TRUE(r.ok());
  return r.ok() ? *r.value : fourfifths::observed_analysis{};
}

const char* const two_groups = "group,applicants,selected\nmen,80,48\nwomen,60,24\n";

// The marker on a group's row (1 at the top), if any.
const marker* on_row(const panel& p, double row) {
  const auto m = std::find_if(p.markers.begin(), p.markers.end(),
                              [&](const marker& k) { return k.y == row; });
  return m == p.markers.end() ? nullptr : &*m;
}

TEST(ObservedChart, OneTableRatesAndRatiosByGroupDownTheSide) {
  const figure f = present::observed_figure(analysis_of(two_groups));
  ASSERT_EQ(f.panels.size(), 2U);
  const panel& rates = f.panels[0];
  EXPECT_EQ(rates.y.categories, (std::vector<std::string>{"men", "women"}));
  // Rates along x: men 48/80 = 0.6 on row 1 (the reference, a square),
  // women 24/60 = 0.4 on row 2 (below 0.8 * 0.6 = 0.48: a triangle).
  ASSERT_EQ(rates.markers.size(), 2U);
  EXPECT_EQ(rates.markers[0].x, 0.6);
  EXPECT_EQ(rates.markers[0].y, 1);
  EXPECT_EQ(rates.markers[0].form, shape::square);
  EXPECT_EQ(rates.markers[1].x, 0.4);
  EXPECT_EQ(rates.markers[1].y, 2);
  EXPECT_EQ(rates.markers[1].form, shape::triangle);
  ASSERT_EQ(rates.references.size(), 2U);
  EXPECT_EQ(rates.references[0].value, 0.6);
  EXPECT_DOUBLE_EQ(rates.references[1].value, 0.48);
  // Ratios: women 0.4 / 0.6 = 2/3, with an interval on the same row.
  const panel& ratios = f.panels[1];
  const marker* women = on_row(ratios, 2);
  ASSERT_NE(women, nullptr);
  EXPECT_DOUBLE_EQ(women->x, 2.0 / 3);
  ASSERT_EQ(ratios.lines.size(), 1U);
  EXPECT_EQ(ratios.lines[0].y[0], 2);
  EXPECT_EQ(ratios.lines[0].y[1], 2);
  EXPECT_LT(ratios.lines[0].x[0], 2.0 / 3);
  EXPECT_GT(ratios.lines[0].x[1], 2.0 / 3);
  // The axis reaches past parity: 1.05 of the highest of 1 and the
  // interval's end.
  EXPECT_DOUBLE_EQ(*ratios.x.max, 1.05 * std::max(1.0, ratios.lines[0].x[1]));
  EXPECT_EQ(f.title, "Selection by group");
  const std::string svg = present::render_svg(f);
  EXPECT_NE(svg.find("<title>women</title>"), std::string::npos);
}

TEST(ObservedChart, RatiosBeyondTheAxisAtItsEdgeWithTheirValue) {
  // The named reference a selected no one: b (5 of 10) has an infinite
  // ratio; c selected no one either, so its ratio is 0/0 and has no mark,
  // though its rate of 0 is a rate and is marked at 0.
  const figure f = present::observed_figure(
      analysis_of("group,applicants,selected\na,10,0\nb,10,5\nc,10,0\n", "a"));
  const panel& ratios = f.panels[1];
  const double edge = *ratios.x.max;
  const marker* b = on_row(ratios, 2);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->x, edge);
  EXPECT_EQ(b->label, "\u221E");
  EXPECT_EQ(b->form, shape::diamond);
  EXPECT_EQ(on_row(ratios, 3), nullptr);
  EXPECT_NE(ratios.note.find("beyond the axis"), std::string::npos);
  for (const marker& m : ratios.markers) EXPECT_TRUE(std::isfinite(m.x));
  const marker* c_rate = on_row(f.panels[0], 3);
  ASSERT_NE(c_rate, nullptr);
  EXPECT_EQ(c_rate->x, 0);
  // A finite ratio past the cap of 3: 9/10 against 1/10 is 9, written.
  const figure g = present::observed_figure(
      analysis_of("group,applicants,selected\na,10,1\nb,10,9\n", "a"));
  const marker* nine = on_row(g.panels[1], 2);
  ASSERT_NE(nine, nullptr);
  EXPECT_EQ(nine->label, "9");
  EXPECT_DOUBLE_EQ(nine->x, 3 * 1.05);
}

TEST(ObservedChart, NoApplicantsNoMarksAndNoNumbersForNames) {
  const figure f =
      present::observed_figure(analysis_of("group,applicants,selected\na,0,0\nb,0,0\n"));
  for (const panel& p : f.panels) {
    EXPECT_TRUE(p.markers.empty());
    EXPECT_FALSE(p.y.categories.empty());
  }
  EXPECT_EQ(f.panels[0].note, "no group has applicants");
  // Numbers down the side would read 0.5, 1.0, 1.5, 2.0; across, none passes 1.05.
  EXPECT_EQ(present::render_svg(f).find(">1.5<"), std::string::npos);
}

TEST(ObservedChart, NoRatioNoMark) {
  // Neither a nor b selected anyone: b's ratio is 0/0.
  const figure f =
      present::observed_figure(analysis_of("group,applicants,selected\na,10,0\nb,5,0\n"));
  const panel& ratios = f.panels[1];
  EXPECT_EQ(on_row(ratios, 2), nullptr);
  EXPECT_NE(ratios.note.find("no ratio"), std::string::npos);
}

// Counts for `units` units of groups a, b and c, the reference a in each
// (a selects half, b and c fewer).
std::string units_csv(int units) {
  std::string csv = "unit,group,applicants,selected\n";
  for (int u = 1; u <= units; ++u) {
    const std::string unit = "u" + std::to_string(u);
    csv += unit + ",a,20,10\n";
    csv += unit + ",b,20," + std::to_string(1 + u % 9) + "\n";
    csv += unit + ",c,10,3\n";
  }
  return csv;
}

TEST(ObservedChart, AFewUnitsOnePanelEachAllUnitsLast) {
  for (const int units : {2, 3, 12}) {
    SCOPED_TRACE(units);
    const fourfifths::observed_analysis a = analysis_of(units_csv(units));
    const figure f = present::observed_figure(a);
    ASSERT_EQ(f.panels.size(), static_cast<std::size_t>(units) + 1);
    for (int u = 0; u < units; ++u) {
      EXPECT_EQ(f.panels[static_cast<std::size_t>(u)].title, "u" + std::to_string(u + 1));
    }
    EXPECT_EQ(f.panels.back().title, "all units");
    for (const panel& p : f.panels) {
      EXPECT_EQ(p.y.categories, (std::vector<std::string>{"a", "b", "c"}));
      EXPECT_EQ(p.x.max, f.panels[0].x.max);  // one axis for all
      EXPECT_EQ(p.markers.size(), 3U);
    }
    // Unit 1: b selected 2 of 20 against a's 10 of 20, a ratio of 0.2.
    const marker* b = on_row(f.panels[0], 2);
    ASSERT_NE(b, nullptr);
    EXPECT_DOUBLE_EQ(b->x, 0.2);
    // No two panels in a column so narrow that a name has under 100 pixels.
    EXPECT_GE(f.width / f.columns, 300);
  }
}

TEST(ObservedChart, ManyUnitsAllTogetherAndEveryUnitAsADot) {
  const int units = static_cast<int>(present::small_multiples_max) + 1;
  const figure f = present::observed_figure(analysis_of(units_csv(units)));
  ASSERT_EQ(f.panels.size(), 3U);
  EXPECT_EQ(f.title, "Selection by group, the 13 units together");
  const panel& dots = f.panels[2];
  ASSERT_EQ(dots.lines.size(), 1U);
  // Every unit's row of every group: 3 groups in 13 units.
  EXPECT_EQ(dots.lines[0].x.size(), 3U * units);
  // The pooled ratios on the same axis, one mark per group.
  EXPECT_EQ(dots.x.max, f.panels[1].x.max);
  EXPECT_EQ(dots.markers.size(), 3U);
  // Unit 1's b: 2 / 10 = 0.2, on b's row.
  EXPECT_DOUBLE_EQ(dots.lines[0].x[1], 0.2);
  EXPECT_EQ(dots.lines[0].y[1], 2);
}

TEST(ObservedChart, OneUnitIsOneTableNamed) {
  const figure f = present::observed_figure(
      analysis_of("unit,group,applicants,selected\nnorth,a,10,5\nnorth,b,10,2\n"));
  ASSERT_EQ(f.panels.size(), 2U);
  EXPECT_EQ(f.title, "Selection by group, north");
  EXPECT_EQ(f.panels[0].markers.size(), 2U);
}

TEST(ObservedChart, TallEnoughForEveryName) {
  // 30 groups: rows of 20 pixels, so no label crowds the next.
  std::string csv = "group,applicants,selected\n";
  for (int g = 0; g < 30; ++g) csv += "g" + std::to_string(g) + ",10," + std::to_string(g % 10) + "\n";
  const figure f = present::observed_figure(analysis_of(csv));
  for (const auto& frame : present::layout(f)) {
    EXPECT_EQ(frame.y.label_every, 1U);
    EXPECT_GE(frame.plot.height / (frame.y.max - frame.y.min), 18);
  }
}

TEST(ObservedChart, StepsOnePanelEachTheBottomLineLast) {
  // a: 6 of 10 screened, then 3 of 6 hired; b: 5 of 10, then 4 of 5. The
  // bottom line: a 3 of 10, b 4 of 10, b the reference; a's ratio 0.75.
  const figure f = present::observed_figure(
      analysis_of("step,group,applicants,selected\none,a,10,6\none,b,10,5\n"
                  "two,a,6,3\ntwo,b,5,4\n"));
  ASSERT_EQ(f.panels.size(), 3U);
  EXPECT_EQ(f.panels[0].title, "one");
  EXPECT_EQ(f.panels[1].title, "two");
  const panel& bottom = f.panels[2];
  EXPECT_EQ(bottom.title, "bottom line");
  const marker* a = on_row(bottom, 1);
  ASSERT_NE(a, nullptr);
  EXPECT_DOUBLE_EQ(a->x, 0.75);
  const marker* b = on_row(bottom, 2);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->form, shape::square);
  // Step one: a 0.6 is the reference, b 0.5 / 0.6.
  const marker* one_b = on_row(f.panels[0], 2);
  ASSERT_NE(one_b, nullptr);
  EXPECT_DOUBLE_EQ(one_b->x, 0.5 / 0.6);
  EXPECT_EQ(f.title, "Impact ratio by group with its 95% interval, step by step");
}

}  // namespace
