// Writes the sample figures that check_chart_render.py renders and checks:
// for each, NAME.svg and NAME.json, the data positions that the picture
// must show (reference lines and marker points, in data units, as given to
// the chart writer), so that the check can compare them with the pixels.
//
// The curves come from the two-group selection model with closed forms of
// the normal distribution from <cmath>: they only need to look like the
// program's charts, not to match its report.
//
// Usage: chart_samples OUTPUT_DIRECTORY
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "present/chart.h"
#include "present/observed_chart.h"
#include "present/observed_input.h"

namespace {

using present::figure;
using present::marker;
using present::panel;
using present::reference_line;
using present::series;

double upper_tail(double z) { return 0.5 * std::erfc(z / std::numbers::sqrt2); }
double density(double z) { return std::exp(-z * z / 2) / std::sqrt(2 * std::numbers::pi); }

// The root of a decreasing function f on [lo, hi] by bisection.
template <typename F>
double solve_decreasing(F f, double lo, double hi) {
  for (int i = 0; i < 200; ++i) {
    const double mid = lo / 2 + hi / 2;
    (f(mid) > 0 ? lo : hi) = mid;
  }
  return lo / 2 + hi / 2;
}

// Top-down selection of an overall share `sr` from two groups; the minority
// (a share `p` of applicants) is `d` standard deviations lower on the
// predictor composite and `dc` on the criterion, which correlates `r` with it.
struct outcome {
  double sra, sri, ai, mean, mean_a, mean_i;
};

outcome select(double sr, double p = 0.25, double d = -1.0, double dc = -0.5, double r = 0.5) {
  const double x = solve_decreasing(
      [&](double c) { return (1 - p) * upper_tail(c) + p * upper_tail(c - d) - sr; }, -10, 10);
  outcome o{};
  o.sra = upper_tail(x);
  o.sri = upper_tail(x - d);
  o.ai = o.sri / o.sra;
  o.mean_a = r * density(x) / o.sra;
  o.mean_i = dc + r * density(x - d) / o.sri;
  o.mean = ((1 - p) * o.sra * o.mean_a + p * o.sri * o.mean_i) / sr;
  return o;
}

std::string number(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

std::string json_string(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + '"';
}

// The positions the check looks for, as JSON.
struct expectations {
  std::vector<std::string> checks;
  std::vector<std::string> names;  // the groups, whole, on an axis of categories
  void line(int panel, const reference_line& r) {
    const bool h = r.dir == reference_line::orientation::horizontal;
    checks.push_back("{\"panel\": " + std::to_string(panel) + ", \"kind\": \"" +
                     (h ? "horizontal" : "vertical") + "\", \"value\": " + number(r.value) + "}");
  }
  void point(int panel, const marker& m) {
    checks.push_back("{\"panel\": " + std::to_string(panel) +
                     ", \"kind\": \"marker\", \"label\": " + json_string(m.label) +
                     ", \"x\": " + number(m.x) + ", \"y\": " + number(m.y) + "}");
  }
  std::string json(const figure& f) const {
    std::string out = "{\"width\": " + std::to_string(f.width) +
                      ", \"height\": " + std::to_string(f.height) + ", \"names\": [";
    for (std::size_t i = 0; i < names.size(); ++i) out += (i ? ", " : "") + json_string(names[i]);
    out += "], \"checks\": [\n";
    for (std::size_t i = 0; i < checks.size(); ++i) {
      out += "  " + checks[i] + (i + 1 < checks.size() ? ",\n" : "\n");
    }
    return out + "]}\n";
  }
};

struct sample {
  std::string name;
  figure fig;
  expectations expect;
};

// The plot subcommand's figure: impact ratio, group selection rates and the
// mean criterion of those selected, against the overall selection ratio.
sample plot_sample() {
  sample s{"plot", {}, {}};
  std::vector<double> sr, ai, sra, sri, m, ma, mi;
  for (int k = 1; k <= 99; ++k) {
    const double x = k / 100.0;
    const outcome o = select(x);
    sr.push_back(x);
    ai.push_back(o.ai);
    sra.push_back(o.sra);
    sri.push_back(o.sri);
    m.push_back(o.mean);
    ma.push_back(o.mean_a);
    mi.push_back(o.mean_i);
  }
  const double minimum = solve_decreasing([](double x) { return 0.8 - select(x).ai; }, 1e-6, 0.999);

  figure& f = s.fig;
  f.title = "Selection outcomes against the overall selection ratio";
  f.columns = 3;
  const present::axis ratio{"Selection ratio", 0.0, 1.0};
  const reference_line at_minimum{reference_line::orientation::vertical, minimum, ""};
  constexpr int blue = 0, vermillion = 1, black = 6;

  panel impact;
  impact.title = "Adverse impact";
  impact.x = ratio;
  impact.y = {"Impact ratio (minority / majority)", 0.0, 1.2};
  impact.lines.push_back({.label = "Impact ratio", .x = sr, .y = ai, .colour = blue});
  impact.references.push_back({reference_line::orientation::horizontal, 0.8, "four-fifths"});
  impact.references.push_back(at_minimum);
  char text[64];
  std::snprintf(text, sizeof text, "minimum %.3f", minimum);
  impact.markers.push_back({minimum, 0.8, text, present::shape::circle, black});
  s.expect.line(0, impact.references[0]);
  s.expect.line(0, at_minimum);
  s.expect.point(0, impact.markers[0]);

  panel rates;
  rates.title = "Selection rates";
  rates.x = ratio;
  rates.y = {"Share selected", 0.0, 1.0};
  rates.lines.push_back(
      {.label = "Majority", .x = sr, .y = sra, .colour = blue, .pattern = present::dash::solid});
  rates.lines.push_back({.label = "Minority",
                         .x = sr,
                         .y = sri,
                         .colour = vermillion,
                         .pattern = present::dash::dashed});
  const reference_line labelled_minimum{reference_line::orientation::vertical, minimum, "minimum"};
  rates.references.push_back(labelled_minimum);

  panel means;
  means.title = "Quality of those selected";
  means.x = ratio;
  means.y = {"Mean criterion score (SD)", {}, {}};
  means.lines.push_back(
      {.label = "Overall", .x = sr, .y = m, .colour = black, .pattern = present::dash::dash_dot});
  means.lines.push_back(
      {.label = "Majority", .x = sr, .y = ma, .colour = blue, .pattern = present::dash::solid});
  means.lines.push_back({.label = "Minority",
                         .x = sr,
                         .y = mi,
                         .colour = vermillion,
                         .pattern = present::dash::dashed});
  means.references.push_back(labelled_minimum);

  f.panels = {impact, rates, means};
  return s;
}

// The pareto subcommand's figure: validity against impact ratio for the
// weights of two predictors, with three weightings marked on it.
sample pareto_sample() {
  sample s{"pareto", {}, {}};
  constexpr double r1 = 0.5, r2 = 0.3, r12 = 0.2, d1 = -1.0, d2 = -0.1, sra = 0.3;
  const double cut = solve_decreasing([](double x) { return upper_tail(x) - sra; }, -10, 10);
  const auto at = [&](double w1, double w2) {
    const double sd = std::sqrt(w1 * w1 + w2 * w2 + 2 * w1 * w2 * r12);
    const double validity = (w1 * r1 + w2 * r2) / sd;
    const double dpc = (w1 * d1 + w2 * d2) / sd;
    return std::pair{upper_tail(cut - dpc) / sra, validity};
  };
  // Regression weights R^-1 v for the 2 x 2 predictor block.
  const double b1 = (r1 - r12 * r2) / (1 - r12 * r12), b2 = (r2 - r12 * r1) / (1 - r12 * r12);
  const double t_regression = std::atan2(b2, b1);
  std::vector<double> x, y;
  for (int k = 0; k <= 60; ++k) {
    const double t = t_regression + (std::numbers::pi / 2 - t_regression) * k / 60;
    const auto [ai, v] = at(std::cos(t), std::sin(t));
    x.push_back(ai);
    y.push_back(v);
  }
  figure& f = s.fig;
  f.title = "Validity and adverse impact of predictor weightings";
  panel p;
  p.x = {"Impact ratio at a majority selection ratio of 0.30", {}, {}};
  p.y = {"Validity of the composite", {}, {}};
  p.lines.push_back({.label = "Pareto front", .x = x, .y = y, .colour = 0});
  p.references.push_back({reference_line::orientation::vertical, 0.8, "four-fifths"});
  const auto [ua, uv] = at(1, 1);
  const auto [ra, rv] = at(b1, b2);
  const auto [ga, gv] = at(1, 3);
  p.markers.push_back({ua, uv, "unit weights", present::shape::circle, 1});
  p.markers.push_back({ra, rv, "regression weights", present::shape::square, 6});
  p.markers.push_back({ga, gv, "given weights", present::shape::diamond, 2});
  f.panels = {p};
  s.expect.line(0, p.references[0]);
  for (const auto& m : p.markers) s.expect.point(0, m);
  return s;
}

// What papers rarely show but the writer must survive: gaps, an empty
// series, an empty panel, markup in the text and negative values.
sample edge_sample() {
  sample s{"edge", {}, {}};
  const double nan = std::nan("");
  const double inf = HUGE_VAL;
  figure& f = s.fig;
  f.title = "Edge cases: <gaps> & \"quotes\"";
  f.columns = 2;
  panel gaps;
  gaps.title = "A & B < C";
  gaps.x = {"x", {}, {}};
  gaps.y = {"y", {}, {}};
  gaps.lines.push_back(
      {.label = "with gaps", .x = {0, 1, 2, 3, 4, 5, 6, 7}, .y = {1, 2, nan, 2.5, 3, inf, 2, 1}});
  gaps.lines.push_back({.label = "empty"});
  gaps.lines.push_back({.label = "points",
                        .x = {0, 2, 4, 6},
                        .y = {0.5, 1, 1.5, 1},
                        .style = present::mark::points});
  panel negative;
  negative.title = "Negative values";
  negative.x = {"Standardized difference", {}, {}};
  negative.y = {"Change", {}, {}};
  negative.lines.push_back({.x = {-3, -2, -1, 0, 1}, .y = {-2.2, -1.1, 0.3, -0.4, -1.7}});
  negative.references.push_back({reference_line::orientation::horizontal, -0.5, "threshold"});
  negative.markers.push_back({-1.5, -1.2, "low", present::shape::triangle, 3});
  panel clipped;
  clipped.title = "Clipped to fixed axes";
  clipped.x = {"x", 0.0, 1.0};
  clipped.y = {"y", 0.0, 1.0};
  clipped.lines.push_back({.label = "beyond the axes",
                           .x = {-0.2, 0.2, 0.5, 0.8, 1.2},
                           .y = {0.5, 0.9, 1.3, 0.4, 0.1},
                           .style = present::mark::line_and_points});
  panel empty;
  empty.title = "No data";
  f.panels = {gaps, negative, clipped, empty};
  s.expect.line(1, negative.references[0]);
  s.expect.point(1, negative.markers[0]);
  return s;
}

// The observed chart, from counts made up by formula (no two groups alike),
// for `groups` groups with names of about `length` bytes in `units` units.
// With `infinite`, the named reference "g1" selects no one, so the others'
// impact ratios are infinite.
struct observed_case {
  const char* name;
  int groups, length, units;
  bool infinite = false;
  bool markup = false;
};

std::string group_name(const observed_case& c, int g) {
  if (c.markup) {
    static const char* const names[] = {"<script>alert(1)</script>", "A & B", "\"quoted\"",
                                        "it's", "=SUM(A1)", "caf\u00e9 \u2013 \u00fcber"};
    return names[g % 6];
  }
  std::string name = "g" + std::to_string(g);
  if (c.length <= 2) return c.length == 1 && g < 26 ? std::string(1, static_cast<char>('a' + g)) : name;
  // Long names that differ only at their start, with a character beyond
  // ASCII where a cut might fall.
  name += " applicants of the regional caf\u00e9 office and its outer branches";
  while (static_cast<int>(name.size()) < c.length) name += " x";
  return name.substr(0, static_cast<std::size_t>(c.length));
}

sample observed_sample(const observed_case& c) {
  std::string csv = c.units > 0 ? "unit,group,applicants,selected\n" : "group,applicants,selected\n";
  for (int u = 0; u < std::max(c.units, 1); ++u) {
    for (int g = 0; g < c.groups; ++g) {
      const int applicants = 40 + (7 * g + 11 * u) % 50;
      int selected = (applicants * (3 + (5 * g + 3 * u) % 7)) / 20;
      if (c.infinite && g == 1) selected = 0;
      std::string quoted = "\"";
      for (const char ch : group_name(c, g)) quoted += ch == '"' ? std::string("\"\"") : std::string(1, ch);
      quoted += '"';
      if (c.units > 0) csv += "unit " + std::to_string(u + 1) + ",";
      csv += quoted + "," + std::to_string(applicants) + "," + std::to_string(selected) + "\n";
    }
  }
  present::loaded_observed data = present::read_observed(csv);
  if (!data.value) {
    for (const auto& f : data.errors) std::cerr << c.name << ": " << f.text() << "\n";
    std::exit(1);
  }
  fourfifths::observed_options options = data.value->options;
  if (c.infinite) options.reference = group_name(c, 1);
  const fourfifths::observed_result r = present::analyse(*data.value, options);
  if (!r.ok()) std::exit(1);
  sample s{c.name, present::observed_figure(*r.value), {}};
  for (int g = 0; g < c.groups; ++g) s.expect.names.push_back(group_name(c, g));
  for (std::size_t k = 0; k < s.fig.panels.size(); ++k) {
    // A line at 0 lies on the axis, which hides it.
    for (const auto& ref : s.fig.panels[k].references) {
      if (ref.value > 0) s.expect.line(static_cast<int>(k), ref);
    }
    for (const auto& m : s.fig.panels[k].markers) {
      if (!m.label.empty()) s.expect.point(static_cast<int>(k), m);
    }
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: chart_samples OUTPUT_DIRECTORY\n";
    return 2;
  }
  const std::string dir = argv[1];
  std::vector<sample> samples = {plot_sample(), pareto_sample(), edge_sample()};
  // Groups from 2 to 30, names of 1 and 80 bytes, 1 to 20 units, an
  // infinite ratio, and names a browser would read as markup.
  for (const observed_case& c : {observed_case{"observed_2", 2, 1, 0},
                                 observed_case{"observed_5_units_1", 5, 2, 1},
                                 observed_case{"observed_12", 12, 80, 0},
                                 observed_case{"observed_30_long", 30, 80, 0},
                                 observed_case{"observed_units_3", 5, 1, 3},
                                 observed_case{"observed_units_12", 12, 2, 12},
                                 observed_case{"observed_units_20", 5, 1, 20},
                                 observed_case{"observed_infinite", 4, 1, 0, true},
                                 observed_case{"observed_markup", 6, 0, 3, false, true}}) {
    samples.push_back(observed_sample(c));
  }
  for (const sample& s : samples) {
    std::ofstream svg(dir + "/" + s.name + ".svg", std::ios::binary);
    svg << present::render_svg(s.fig);
    std::ofstream json(dir + "/" + s.name + ".json", std::ios::binary);
    json << s.expect.json(s.fig);
    if (!svg || !json) {
      std::cerr << "chart_samples: cannot write " << dir << "/" << s.name << "\n";
      return 1;
    }
  }
  return 0;
}
