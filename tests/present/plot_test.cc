// Tests of the plot subcommand's figure: which outcome goes into which
// curve, where the four-fifths minimum is marked, the overall line only with
// the applicant mix, gaps where no cut score exists, and the wording that
// changes with the mode and the quality basis. Where the picture lands on
// screen is checked by check_plot_render.py, through a real renderer.
//
// The expected values come from the two-group model worked out in 40-digit
// arithmetic (python3 with mpmath): a cut score c on the predictor
// composite selects Q(c) of the majority and Q(c - d) of the minority, and
// the mean criterion composite of those selected is r phi(c) / Q(c) in the
// majority and dc + r phi(c - d) / Q(c - d) in the minority.
#include "present/plot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fourfifths/groups.h"

namespace {

using fourfifths::applicant_mix;
using fourfifths::method;
using fourfifths::quality_basis;
using fourfifths::ratio_mode;
using fourfifths::selection_model;
using present::figure;
using present::panel;
using present::reference_line;
using present::series;

// The minority scores one SD lower on the predictor composite and half an
// SD lower on the criterion composite, which correlates .5 with it; half the
// applicants belong to each group.
selection_model overall_model() {
  return {.mode = ratio_mode::overall,
          .quality = quality_basis::criterion,
          .mix = applicant_mix::from_minority_share(0.5),
          .predictor_effect = -1,
          .validity = 0.5,
          .criterion_effect = -0.5};
}

selection_model majority_model(std::optional<applicant_mix> mix) {
  selection_model m = overall_model();
  m.mode = ratio_mode::majority;
  m.mix = mix;
  return m;
}

const series* find_series(const panel& p, std::string_view label) {
  for (const series& s : p.lines) {
    if (s.label == label) return &s;
  }
  return nullptr;
}

std::vector<std::string> labels(const panel& p) {
  std::vector<std::string> out;
  for (const series& s : p.lines) out.push_back(s.label);
  return out;
}

// The value of the series at the point whose x is within 1e-12 of `x`.
std::optional<double> value_at(const series& s, double x) {
  for (std::size_t i = 0; i < s.x.size(); ++i) {
    if (std::abs(s.x[i] - x) < 1e-12) return s.y[i];
  }
  return std::nullopt;
}

std::vector<double> verticals(const panel& p) {
  std::vector<double> out;
  for (const reference_line& r : p.references) {
    if (r.dir == reference_line::orientation::vertical) out.push_back(r.value);
  }
  return out;
}

// Every curve of the figure in one list.
std::vector<const series*> all_series(const figure& f) {
  std::vector<const series*> out;
  for (const panel& p : f.panels) {
    for (const series& s : p.lines) out.push_back(&s);
  }
  return out;
}

constexpr double tight = 1e-12;

TEST(PlotFigure, EachCurveIsItsOutcome) {
  const figure f = present::plot_figure(overall_model(), method::precise);
  ASSERT_EQ(f.panels.size(), 3u);
  const panel& impact = f.panels[0];
  const panel& rates = f.panels[1];
  const panel& quality = f.panels[2];
  ASSERT_EQ(labels(impact), (std::vector<std::string>{"Impact ratio"}));
  ASSERT_EQ(labels(rates), (std::vector<std::string>{"Majority", "Minority"}));
  ASSERT_EQ(labels(quality), (std::vector<std::string>{"Overall", "Majority", "Minority"}));
  // At an overall selection ratio of 0.3 (cut score 0.0932410833695028).
  const struct {
    const series* s;
    double want;
  } cases[] = {
      {find_series(impact, "Impact ratio"), 0.29629944560930965993},
      {find_series(rates, "Majority"), 0.46285601836231393037},
      {find_series(rates, "Minority"), 0.13714398163768606963},
      {find_series(quality, "Overall"), 0.39961730790792441076},
      {find_series(quality, "Majority"), 0.42908793049825849109},
      {find_series(quality, "Minority"), 0.30015501384344938696},
  };
  for (const auto& c : cases) {
    const std::optional<double> got = value_at(*c.s, 0.3);
    ASSERT_TRUE(got) << c.s->label;
    EXPECT_NEAR(*got, c.want, tight) << c.s->label;
  }
  // The ratios run from 0.005 to 0.995 on an axis from 0 to 1, in order.
  for (const series* s : all_series(f)) {
    ASSERT_FALSE(s->x.empty());
    EXPECT_DOUBLE_EQ(s->x.front(), 0.005);
    EXPECT_DOUBLE_EQ(s->x.back(), 0.995);
    EXPECT_TRUE(std::is_sorted(s->x.begin(), s->x.end()));
    EXPECT_GE(s->x.size(), 199u);
  }
  for (const panel& p : f.panels) {
    EXPECT_EQ(p.x.min, 0.0);
    EXPECT_EQ(p.x.max, 1.0);
  }
}

TEST(PlotFigure, XIsTheRatioOfTheMode) {
  // Overall mode: the groups' rates, weighted by the mix, make up x.
  const figure overall = present::plot_figure(overall_model(), method::precise);
  const series& a = *find_series(overall.panels[1], "Majority");
  const series& i = *find_series(overall.panels[1], "Minority");
  for (std::size_t k = 0; k < a.x.size(); ++k) {
    EXPECT_NEAR(0.5 * a.y[k] + 0.5 * i.y[k], a.x[k], tight) << a.x[k];
  }
  // Majority mode: x is the majority group's own rate.
  const figure majority = present::plot_figure(majority_model(std::nullopt), method::precise);
  const series& ma = *find_series(majority.panels[1], "Majority");
  for (std::size_t k = 0; k < ma.x.size(); ++k) EXPECT_NEAR(ma.y[k], ma.x[k], tight);
  const std::optional<double> minority =
      value_at(*find_series(majority.panels[1], "Minority"), 0.3);
  ASSERT_TRUE(minority);
  EXPECT_NEAR(*minority, 0.063704346057167952578, tight);
  EXPECT_NE(overall.panels[0].x.title, majority.panels[0].x.title);
  EXPECT_NE(majority.panels[0].x.title.find("Majority"), std::string::npos);
  EXPECT_NE(majority.title.find("majority"), std::string::npos);
}

TEST(PlotFigure, MinimumIsMarkedWhereTheImpactRatioIsFourFifths) {
  // Q(c + 1) / Q(c) = 0.8 at c = -1.7267693199029829: an overall ratio of
  // 0.86210590476518421508 (the classic report of the same problem prints
  // 0.862), a majority ratio of 0.95789544973909357231 (0.958).
  const struct {
    selection_model model;
    double ratio;
    const char* label;
  } cases[] = {
      {overall_model(), 0.86210590476518421508, "minimum 0.862"},
      {majority_model(std::nullopt), 0.95789544973909357231, "minimum 0.958"},
  };
  for (const auto& c : cases) {
    const figure f = present::plot_figure(c.model, method::precise);
    const panel& impact = f.panels[0];
    ASSERT_EQ(impact.markers.size(), 1u);
    EXPECT_NEAR(impact.markers[0].x, c.ratio, tight);
    EXPECT_EQ(impact.markers[0].y, 0.8);
    EXPECT_EQ(impact.markers[0].label, c.label);
    EXPECT_TRUE(impact.note.empty());
    ASSERT_FALSE(impact.references.empty());
    EXPECT_EQ(impact.references[0].dir, reference_line::orientation::horizontal);
    EXPECT_EQ(impact.references[0].value, 0.8);
    // The vertical line at the minimum in every panel.
    for (const panel& p : f.panels) {
      const std::vector<double> v = verticals(p);
      ASSERT_EQ(v.size(), 1u) << p.title;
      EXPECT_NEAR(v[0], c.ratio, tight) << p.title;
    }
    // The impact curve passes through the marker.
    const std::optional<double> at = value_at(impact.lines[0], impact.markers[0].x);
    ASSERT_TRUE(at);
    EXPECT_NEAR(*at, 0.8, 1e-12);
  }
}

TEST(PlotFigure, NoMinimumIsSaidAndNotDrawn) {
  // No group difference: the impact ratio is 1 at every ratio. Ten SD of
  // difference with the classic search on cut scores in [-8, 8]: the point
  // lies at c = -10.84.
  selection_model equal = overall_model();
  equal.predictor_effect = 0;
  selection_model far = overall_model();
  far.predictor_effect = -10;
  const struct {
    selection_model model;
    method m;
  } cases[] = {{equal, method::precise}, {equal, method::classic}, {far, method::classic}};
  for (const auto& c : cases) {
    const figure f = present::plot_figure(c.model, c.m);
    EXPECT_TRUE(f.panels[0].markers.empty());
    EXPECT_NE(f.panels[0].note.find("no four-fifths minimum"), std::string::npos);
    for (const panel& p : f.panels) EXPECT_TRUE(verticals(p).empty()) << p.title;
    ASSERT_EQ(f.panels[0].references.size(), 1u);  // the four-fifths line stays
    EXPECT_EQ(f.panels[0].references[0].value, 0.8);
  }
}

TEST(PlotFigure, NoCutScoreLeavesAGapInEveryCurve) {
  // Ten SD apart in equal numbers, the classic search for a cut score in
  // [-8, 8] reaches overall ratios up to 0.5 Q(-8) + 0.5 Q(2) = 0.511375
  // only: above it every curve has a gap. Below it the rates, the impact
  // ratio and the majority's mean are there; the minority's mean (and with
  // it the overall one) is a ratio of tail areas below 1e-30, which the
  // classic arithmetic need not give.
  selection_model far = overall_model();
  far.predictor_effect = -10;
  far.quality = quality_basis::predictor;
  const figure f = present::plot_figure(far, method::classic);
  const std::vector<const series*> there = {&f.panels[0].lines[0], &f.panels[1].lines[0],
                                            &f.panels[1].lines[1],
                                            find_series(f.panels[2], "Majority")};
  for (const series* s : all_series(f)) {
    const bool expected = std::find(there.begin(), there.end(), s) != there.end();
    for (std::size_t k = 0; k < s->x.size(); ++k) {
      if (s->x[k] <= 0.505 && expected) {
        EXPECT_TRUE(std::isfinite(s->y[k])) << s->label << " at " << s->x[k];
      } else if (s->x[k] >= 0.52) {
        EXPECT_TRUE(std::isnan(s->y[k])) << s->label << " at " << s->x[k];
      }
    }
  }
  // The precise search reaches them all.
  const figure precise = present::plot_figure(far, method::precise);
  for (const series* s : all_series(precise)) {
    for (std::size_t k = 0; k < s->x.size(); ++k) {
      EXPECT_FALSE(std::isnan(s->y[k])) << s->label << " at " << s->x[k];
    }
  }
}

TEST(PlotFigure, OverallQualityOnlyWithTheApplicantMix) {
  const figure without = present::plot_figure(majority_model(std::nullopt), method::precise);
  EXPECT_EQ(labels(without.panels[2]), (std::vector<std::string>{"Majority", "Minority"}));

  // Three majority applicants to each minority applicant: at a majority
  // ratio of 0.3 the overall ratio is 0.24092608651429198814 and the mean
  // criterion composite of all selected 0.57289312384682619528.
  const figure with =
      present::plot_figure(majority_model(applicant_mix::from_ratio(3)), method::precise);
  EXPECT_EQ(labels(with.panels[2]), (std::vector<std::string>{"Overall", "Majority", "Minority"}));
  const std::optional<double> mean = value_at(*find_series(with.panels[2], "Overall"), 0.3);
  ASSERT_TRUE(mean);
  EXPECT_NEAR(*mean, 0.57289312384682619528, tight);
}

TEST(PlotFigure, WordsFollowTheModeAndQuality) {
  selection_model predictor = overall_model();
  predictor.quality = quality_basis::predictor;
  const figure c = present::plot_figure(overall_model(), method::precise);
  const figure p = present::plot_figure(predictor, method::precise);
  EXPECT_NE(c.panels[2].y.title.find("criterion"), std::string::npos);
  EXPECT_NE(p.panels[2].y.title.find("predictor"), std::string::npos);
  for (const figure* f : {&c, &p}) {
    EXPECT_NE(f->panels[2].y.title.find("majority-group SD"), std::string::npos);
    EXPECT_NE(f->title.find("overall selection ratio"), std::string::npos);
    for (const panel& q : f->panels) {
      EXPECT_FALSE(q.title.empty());
      EXPECT_EQ(q.x.title, "Overall selection ratio");
      EXPECT_FALSE(q.y.title.empty());
    }
  }
}

TEST(PlotFigure, TitleIsTheScenarioTitleCutToTheWidth) {
  EXPECT_EQ(
      present::plot_figure(overall_model(), method::precise, "Cognitive test plus interview").title,
      "Cognitive test plus interview");
  // A title too long for the figure keeps its start and ends in an
  // ellipsis; a cut never splits a UTF-8 sequence.
  std::string longer;
  for (int k = 0; k < 20; ++k) longer += "Pr\u00FCfung ";
  const std::string cut = present::plot_figure(overall_model(), method::precise, longer).title;
  ASSERT_GE(cut.size(), 3u);
  EXPECT_EQ(cut.substr(cut.size() - 3), "\u2026");
  EXPECT_EQ(longer.compare(0, cut.size() - 3, cut, 0, cut.size() - 3), 0);
  EXPECT_LT(present::text_width(cut, 16), 780);
  EXPECT_GT(present::text_width(cut, 16), 600);
  EXPECT_EQ(present::escape_xml(cut), cut);  // well-formed UTF-8, nothing replaced
}

// The cut as the width estimate defines it, one code point at a time from
// the end, each step measuring the whole rest again: slow, plainly right.
std::string cut_by_hand(std::string_view title) {
  constexpr double size = 16, bold = 1.12, room = 780;
  if (present::text_width(title, size) * bold <= room) return std::string(title);
  while (!title.empty() &&
         (present::text_width(title, size) + present::text_width("\u2026", size)) * bold > room) {
    while (!title.empty() && (static_cast<unsigned char>(title.back()) & 0xC0) == 0x80) {
      title.remove_suffix(1);
    }
    if (!title.empty()) title.remove_suffix(1);
  }
  while (!title.empty() && title.back() == ' ') title.remove_suffix(1);
  return std::string(title) + "\u2026";
}

TEST(PlotFigure, LongTitlesAreCutAsTheirStartAlone) {
  const auto title_of = [](const std::string& t) {
    return present::plot_figure(overall_model(), method::precise, t).title;
  };
  // Titles just too long, of two-byte, three-byte and one-byte characters,
  // with a space where the cut falls and with stray continuation bytes.
  std::vector<std::string> titles;
  std::string accents;
  for (int k = 0; k < 60; ++k) accents += "\u00E9t\u00E9 ";
  titles.push_back(accents);
  std::string arrows;
  for (int k = 0; k < 120; ++k) arrows += "\u2192a";
  titles.push_back(arrows);
  std::string words;
  for (int k = 0; k < 40; ++k) words += "Word ";
  titles.push_back(words);
  std::string stray = "\x80\x80";
  for (int k = 0; k < 100; ++k) stray += "mW\xBF";
  titles.push_back(stray);
  titles.push_back("\xA0" + std::string(300, 'i'));
  for (const std::string& t : titles) EXPECT_EQ(title_of(t), cut_by_hand(t)) << t;
  // A title of a million characters (which a cut one character at a time
  // would take hours over) comes out as its first thousand do.
  std::string huge;
  while (huge.size() < 1'000'000) huge += "Pr\u00FCfung mit langem Titel ";
  EXPECT_EQ(title_of(huge), title_of(huge.substr(0, 1000)));
  EXPECT_EQ(title_of(huge), cut_by_hand(huge.substr(0, 1000)));
}

TEST(PlotFigure, ImpactAxisHoldsRatiosAboveOne) {
  // The minority one SD higher: the impact ratio is above 1 everywhere and
  // reaches Q(c - 1) / Q(c) at the smallest ratio, far above 1.2.
  selection_model higher = overall_model();
  higher.predictor_effect = 1;
  const figure f = present::plot_figure(higher, method::precise);
  const series& impact = f.panels[0].lines[0];
  const double top = *std::max_element(impact.y.begin(), impact.y.end());
  EXPECT_GT(top, 5);
  EXPECT_GE(present::layout(f)[0].y.max, top);
  // The usual case keeps the axis at 0 to 1.2.
  const auto usual = present::layout(present::plot_figure(overall_model(), method::precise))[0];
  EXPECT_EQ(usual.y.min, 0);
  EXPECT_EQ(usual.y.max, 1.2);
}

// --- Several minority groups ---------------------------------------------

// Two predictors and a criterion; the groups as given.
fourfifths::group_problem group_problem_of(ratio_mode mode,
                                           std::vector<fourfifths::minority_group> groups) {
  fourfifths::group_problem_spec spec;
  spec.base.predictors = 2;
  spec.base.criteria = 1;
  spec.base.mode = mode;
  spec.base.quality = quality_basis::criterion;
  spec.base.predictor_weights = {1, 1};
  spec.base.criterion_weights = {1};
  spec.base.correlations = {{1, 0.3, 0.5}, {0.3, 1, 0.4}, {0.5, 0.4, 1}};
  spec.groups = std::move(groups);
  fourfifths::group_problem_result built = fourfifths::make_group_problem(std::move(spec));
  EXPECT_TRUE(built.value.has_value());
  return *std::move(built.value);
}

fourfifths::group_problem three_groups(ratio_mode mode = ratio_mode::overall) {
  return group_problem_of(mode, {{"B", 0.15, {-1, -0.2, -0.3}},
                                 {"H", 0.1, {-0.7, -0.1, -0.2}},
                                 {"A", 0.05, {0.2, 0.1, 0.1}}});
}

TEST(GroupPlotFigure, OneGroupBelowTheMajorityDrawsTheOneGroupCurves) {
  // The same problem as one minority group (the precise method) must give
  // the same rates, means and impact ratio, point by point.
  const fourfifths::group_problem grouped =
      group_problem_of(ratio_mode::overall, {{"minority", 0.25, {-0.8, -0.3, -0.4}}});
  const figure g = present::group_plot_figure(grouped);
  fourfifths::problem_spec one = grouped.base().spec();
  one.predictor_effects = {-0.8, -0.3};
  one.criterion_effects = {-0.4};
  one.minority_share = 0.25;
  const fourfifths::problem_result p = fourfifths::make_problem(one);
  ASSERT_TRUE(p.value.has_value());
  const figure f = present::plot_figure(fourfifths::model_of(*p.value), method::precise);
  const auto same = [](const series* a, const series* b) {
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(a->x.size(), b->x.size());
    for (std::size_t i = 0; i < a->x.size(); ++i) {
      EXPECT_EQ(a->x[i], b->x[i]);
      EXPECT_NEAR(a->y[i], b->y[i], tight) << a->label << " at " << a->x[i];
    }
  };
  same(find_series(g.panels[0], "minority"), find_series(f.panels[0], "Impact ratio"));
  same(find_series(g.panels[1], "majority"), find_series(f.panels[1], "Majority"));
  same(find_series(g.panels[1], "minority"), find_series(f.panels[1], "Minority"));
  same(find_series(g.panels[2], "minority"), find_series(f.panels[2], "Minority"));
  same(find_series(g.panels[2], "Overall"), find_series(f.panels[2], "Overall"));
}

TEST(GroupPlotFigure, EveryGroupHasItsOwnCurveColourAndPattern) {
  const figure f = present::group_plot_figure(three_groups());
  ASSERT_EQ(f.panels.size(), 3u);
  const std::vector<std::string> groups = {"majority", "B", "H", "A"};
  EXPECT_EQ(labels(f.panels[0]), groups);
  EXPECT_EQ(labels(f.panels[1]), groups);  // overall mode: the x axis is the overall rate
  std::vector<std::string> quality = {"Overall"};
  quality.insert(quality.end(), groups.begin(), groups.end());
  EXPECT_EQ(labels(f.panels[2]), quality);
  for (const panel& p : f.panels) {
    for (std::size_t i = 0; i < p.lines.size(); ++i) {
      for (std::size_t j = 0; j < i; ++j) {
        EXPECT_NE(p.lines[i].colour, p.lines[j].colour) << p.title;
      }
    }
  }
  // Majority mode with shares draws the overall ratio among the rates.
  const figure m = present::group_plot_figure(three_groups(ratio_mode::majority));
  EXPECT_NE(find_series(m.panels[1], "Overall"), nullptr);
}

TEST(GroupPlotFigure, TheMinimumIsWhereTheLowestGroupReachesFourFifths) {
  const figure f = present::group_plot_figure(three_groups());
  const panel& rule = f.panels[0];
  ASSERT_EQ(rule.markers.size(), 1u);
  const double at = rule.markers[0].x;
  // Every group's ratio to the highest at the minimum; the lowest is 0.8.
  double lowest = 2;
  for (const series& s : rule.lines) lowest = std::min(lowest, value_at(s, at).value_or(2));
  EXPECT_NEAR(lowest, 0.8, 1e-9);
  EXPECT_EQ(verticals(f.panels[1]), std::vector<double>{at});
  // At every ratio some group is the highest: its line is at 1 there.
  for (std::size_t i = 0; i < rule.lines[0].x.size(); ++i) {
    double highest = 0;
    for (const series& s : rule.lines) highest = std::max(highest, s.y[i]);
    EXPECT_EQ(highest, 1) << "at " << rule.lines[0].x[i];
  }
}

TEST(GroupPlotFigure, NoMinimumWhenEveryGroupScoresAlike) {
  const figure f = present::group_plot_figure(
      group_problem_of(ratio_mode::overall, {{"B", 0.2, {0, 0, 0}}, {"H", 0.1, {0, 0, 0}}}));
  EXPECT_TRUE(f.panels[0].markers.empty());
  EXPECT_EQ(f.panels[0].note, "no four-fifths minimum found");
}

}  // namespace
