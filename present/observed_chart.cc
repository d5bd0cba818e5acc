#include "present/observed_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace present {

namespace {

using fourfifths::comparison;
using fourfifths::comparison_status;
using fourfifths::observed_analysis;

std::string percent(double confidence) {
  char text[64];
  std::snprintf(text, sizeof text, "%g%%", 100 * confidence);
  return text;
}

}  // namespace

namespace {

constexpr double gap = std::numeric_limits<double>::quiet_NaN();
constexpr int blue = 0, vermillion = 1, black = 6;  // palette indices

// The rows the chart shows: with several units, those of all units
// together; with several steps, the bottom line; otherwise all.
std::vector<const comparison*> charted(const observed_analysis& a) {
  std::vector<const comparison*> rows;
  const bool pooled = a.units.size() > 1;
  const bool bottom_line = a.steps.size() > 1;
  for (const comparison& r : a.rows) {
    if (pooled && !r.unit.empty()) continue;
    if (bottom_line && !r.step.empty()) continue;
    if (r.status == comparison_status::no_applicants) continue;
    rows.push_back(&r);
  }
  return rows;
}

}  // namespace

figure observed_figure(const observed_analysis& a) {
  const std::vector<const comparison*> rows = charted(a);
  const double count = static_cast<double>(rows.size());
  // One tick per group, named: one axis unit of room on each side.
  axis groups{.title = "Group", .min = 0.0, .max = count + 1};
  for (const comparison* c : rows) groups.categories.push_back(c->group);

  panel rates;
  rates.title = "Selection rates";
  rates.x = groups;
  rates.y = {.title = "Selection rate", .min = 0.0};
  panel ratios;
  ratios.title = "Impact ratio with its " + percent(1 - a.options.alpha) + " interval";
  ratios.x = groups;
  ratios.y = {.title = "Impact ratio (group rate / reference rate)", .min = 0.0};
  series intervals{.label = "interval", .style = mark::line, .colour = blue};
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const comparison& r = *rows[k];
    const double x = static_cast<double>(k) + 1;
    const bool reference = r.status == comparison_status::reference;
    const bool fails = r.passes_four_fifths == false;
    const shape form = reference ? shape::square : fails ? shape::triangle : shape::circle;
    const int colour = reference ? black : fails ? vermillion : blue;
    rates.markers.push_back(
        {.x = x, .y = r.rate.value_or(0), .label = r.group, .form = form, .colour = colour});
    if (r.impact_ratio && std::isfinite(*r.impact_ratio)) {
      ratios.markers.push_back(
          {.x = x, .y = *r.impact_ratio, .label = r.group, .form = form, .colour = colour});
    }
    if (r.ci_low && r.ci_high && std::isfinite(*r.ci_high)) {
      intervals.x.insert(intervals.x.end(), {x, x, x});
      intervals.y.insert(intervals.y.end(), {*r.ci_low, *r.ci_high, gap});
    }
  }
  // The reference's rate and four fifths of it: a group below the lower
  // line fails the rule. With a named reference in several units the
  // rates differ by unit, and only the rows of all units are charted.
  const auto reference = std::find_if(rows.begin(), rows.end(), [](const comparison* r) {
    return r->status == comparison_status::reference;
  });
  if (reference != rows.end() && (*reference)->rate) {
    const double rate = *(*reference)->rate;
    rates.references.push_back({.value = rate, .label = "reference rate"});
    rates.references.push_back({.value = 0.8 * rate, .label = "four fifths of it"});
  }
  // Room above parity and the highest interval, so that no mark sits on
  // the frame.
  double top = 1;
  for (const comparison* r : rows) {
    for (const auto& v : {r->impact_ratio, r->ci_high}) {
      if (v && std::isfinite(*v)) top = std::max(top, *v);
    }
  }
  ratios.y.max = 1.05 * top;
  ratios.references.push_back({.value = 1, .label = "parity"});
  ratios.references.push_back({.value = 0.8, .label = "four-fifths"});
  rates.legend = false;
  if (!intervals.x.empty()) ratios.lines.push_back(std::move(intervals));
  ratios.legend = false;
  rates.note = rows.empty() ? "no group has applicants"
                            : "square: the reference; circle: passes; triangle: fails four-fifths";

  figure f;
  f.width = 900;
  f.height = 440;
  f.columns = 2;
  f.title = a.steps.size() > 1
                ? "Selection by group, the bottom line of " + std::to_string(a.steps.size()) +
                      " steps"
            : a.units.size() > 1
                ? "Selection by group, the " + std::to_string(a.units.size()) + " units together"
            : a.units.size() == 1 ? "Selection by group, " + a.units[0]
                                  : std::string("Selection by group");
  f.panels.push_back(std::move(rates));
  f.panels.push_back(std::move(ratios));
  return f;
}

}  // namespace present
