#include "present/observed_chart.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace present {

namespace {

using fourfifths::comparison;
using fourfifths::comparison_status;
using fourfifths::observed_analysis;

constexpr double gap = std::numeric_limits<double>::quiet_NaN();
constexpr int blue = 0, vermillion = 1, sky = 5, black = 6;  // palette indices

// Pixels per group: a tick label (12 pixels) and a little air, so that the
// names of neighbouring groups never touch.
constexpr double row_height = 20;
// A panel's title, its axis and the axis title, around its rows.
constexpr double panel_frame_height = 100;
// The highest impact ratio the axis shows; a ratio beyond it (infinite when
// the reference selected no one) is marked at the axis's end, its value
// written beside it.
constexpr double ratio_cap = 3;

std::string formatted(const char* format, double v) {
  char text[64];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

std::string percent(double confidence) { return formatted("%g%%", 100 * confidence); }

// A ratio as written beside a mark at the axis's end.
std::string ratio_text(double v) { return std::isinf(v) ? "\u221E" : formatted("%.3g", v); }

// The groups, each once, in the order they first appear among `rows`.
std::vector<std::string> groups_of(const std::vector<const comparison*>& rows) {
  std::vector<std::string> out;
  for (const comparison* r : rows) {
    if (std::find(out.begin(), out.end(), r->group) == out.end()) out.push_back(r->group);
  }
  return out;
}

// The data's tables: their units, or the steps of one process (never both).
const std::vector<std::string>& tables(const observed_analysis& a) {
  return a.steps.empty() ? a.units : a.steps;
}

// The table of a row: its unit or its step; empty in the rows of all units
// together or of the bottom line.
std::string_view table_of(const observed_analysis& a, const comparison& r) {
  return a.steps.empty() ? r.unit : r.step;
}

// The rows of one table: a unit's or a step's (by name), or those of all
// units together or of the bottom line (the empty name); rows of groups
// without applicants left out, as they have no rate.
std::vector<const comparison*> rows_of(const observed_analysis& a, std::string_view table) {
  std::vector<const comparison*> rows;
  for (const comparison& r : a.rows) {
    if (table_of(a, r) == table && r.status != comparison_status::no_applicants) {
      rows.push_back(&r);
    }
  }
  return rows;
}

// The row of each group on an axis of the groups, 1 at the top.
double row_of(const std::vector<std::string>& groups, const std::string& group) {
  const auto at = std::find(groups.begin(), groups.end(), group);
  return static_cast<double>(at - groups.begin()) + 1;
}

// The groups down the vertical axis, with a row and a half free below the last for
// the panel's note and the reference lines' labels.
axis group_axis(const std::vector<std::string>& groups, double label_room) {
  axis y{.min = 0.5, .max = static_cast<double>(groups.size()) + 2};
  y.categories = groups;
  // No group with applicants: still an axis of (no) names, never numbers.
  if (y.categories.empty()) y.categories = {""};
  y.label_room = label_room;
  return y;
}

struct look {
  shape form = shape::circle;
  int colour = blue;
};

// The reference a black square, a group that fails the rule a vermillion
// triangle, one that passes a blue circle: told apart in greyscale too. (A
// ratio beyond the axis is a black diamond, apart from its interval.)
look look_of(const comparison& r) {
  if (r.status == comparison_status::reference) return {shape::square, black};
  if (r.passes_four_fifths == false) return {shape::triangle, vermillion};
  return {shape::circle, blue};
}

constexpr std::string_view key = "\u25A0 reference  \u25CF passes  \u25B2 fails 4/5";

// The highest finite ratio or interval end shown, at least parity and at
// most the cap.
double ratio_top(const std::vector<const comparison*>& rows) {
  double top = 1;
  for (const comparison* r : rows) {
    for (const auto& v : {r->impact_ratio, r->ci_high}) {
      if (v && std::isfinite(*v)) top = std::max(top, std::min(*v, ratio_cap));
    }
  }
  return top;
}

// The rates of one table against the reference's rate and four fifths of
// it: a group left of the lower line fails the rule.
panel rates_panel(const std::vector<const comparison*>& rows,
                  const std::vector<std::string>& groups, double label_room) {
  panel p;
  p.title = "Selection rates";
  p.x = {.title = "Selection rate", .min = 0.0};
  p.y = group_axis(groups, label_room);
  p.legend = false;
  for (const comparison* r : rows) {
    if (!r->rate) continue;  // no rate is no point, never a zero
    const look l = look_of(*r);
    p.markers.push_back(
        {.x = *r->rate, .y = row_of(groups, r->group), .form = l.form, .colour = l.colour});
  }
  // With a named reference in several units the rates differ by unit, and
  // only the rows of all units are charted.
  const auto reference = std::find_if(rows.begin(), rows.end(), [](const comparison* r) {
    return r->status == comparison_status::reference;
  });
  if (reference != rows.end() && (*reference)->rate) {
    const double rate = *(*reference)->rate;
    using orientation = reference_line::orientation;
    p.references.push_back(
        {.dir = orientation::vertical, .value = rate, .label = "reference rate"});
    p.references.push_back(
        {.dir = orientation::vertical, .value = 0.8 * rate, .label = "four fifths of it"});
  }
  p.note = rows.empty() ? "no group has applicants" : std::string(key);
  return p;
}

// The impact ratios of one table with their intervals, against parity and
// 0.8, on an axis from 0 to `top`.
panel ratios_panel(const std::vector<const comparison*>& rows,
                   const std::vector<std::string>& groups, double label_room, double top,
                   std::string title, std::string axis_title) {
  panel p;
  p.title = std::move(title);
  p.x = {.title = std::move(axis_title), .min = 0.0, .max = top};
  p.y = group_axis(groups, label_room);
  p.legend = false;
  series intervals{.label = "interval", .style = mark::line, .colour = blue};
  bool beyond = false, missing = false;
  for (const comparison* r : rows) {
    const double y = row_of(groups, r->group);
    const look l = look_of(*r);
    if (!r->impact_ratio || std::isnan(*r->impact_ratio)) {
      missing = true;  // 0/0: no mark at all
    } else if (*r->impact_ratio > top) {
      beyond = true;
      p.markers.push_back({.x = top,
                           .y = y,
                           .label = ratio_text(*r->impact_ratio),
                           .form = shape::diamond,
                           .colour = black});
    } else {
      p.markers.push_back({.x = *r->impact_ratio, .y = y, .form = l.form, .colour = l.colour});
    }
    if (r->ci_low && r->ci_high && std::isfinite(*r->ci_low)) {
      // An end beyond the axis is drawn to its edge.
      intervals.x.insert(intervals.x.end(), {*r->ci_low, std::min(*r->ci_high, top), gap});
      intervals.y.insert(intervals.y.end(), {y, y, gap});
    }
  }
  p.references.push_back(
      {.dir = reference_line::orientation::vertical, .value = 1, .label = "parity"});
  p.references.push_back(
      {.dir = reference_line::orientation::vertical, .value = 0.8, .label = "four-fifths"});
  if (!intervals.x.empty()) p.lines.push_back(std::move(intervals));
  if (beyond) {
    p.note = "\u25C6 at the edge: beyond the axis, value written";
  } else if (missing) {
    p.note = "no mark: no ratio (no one selected in either group)";
  }
  return p;
}

// Every unit's impact ratio of each group as a small dot, and the ratio of
// all units together as the group's mark: for more units than small panels
// could show legibly.
panel units_panel(const observed_analysis& a, const std::vector<std::string>& groups,
                  double label_room, double top) {
  panel p;
  p.title = "Impact ratio in each of the " + std::to_string(tables(a).size()) +
            (a.steps.empty() ? " units" : " steps");
  p.x = {.title = "Impact ratio (group rate / reference rate)", .min = 0.0, .max = top};
  p.y = group_axis(groups, label_room);
  p.legend = false;
  series dots{.label = "unit", .style = mark::points, .colour = sky};
  std::size_t beyond = 0;
  for (const comparison& r : a.rows) {
    if (table_of(a, r).empty() || !r.impact_ratio || std::isnan(*r.impact_ratio)) continue;
    if (std::find(groups.begin(), groups.end(), r.group) == groups.end()) continue;
    beyond += *r.impact_ratio > top ? 1 : 0;
    dots.x.push_back(std::min(*r.impact_ratio, top));
    dots.y.push_back(row_of(groups, r.group));
  }
  for (const comparison* r : rows_of(a, "")) {
    if (!r->impact_ratio || std::isnan(*r->impact_ratio)) continue;
    const look l = look_of(*r);
    const bool over = *r->impact_ratio > top;
    p.markers.push_back({.x = std::min(*r->impact_ratio, top),
                         .y = row_of(groups, r->group),
                         .label = over ? ratio_text(*r->impact_ratio) : std::string(),
                         .form = over ? shape::diamond : l.form,
                         .colour = over ? black : l.colour});
  }
  if (!dots.x.empty()) p.lines.push_back(std::move(dots));
  p.references.push_back(
      {.dir = reference_line::orientation::vertical, .value = 1, .label = "parity"});
  p.references.push_back(
      {.dir = reference_line::orientation::vertical, .value = 0.8, .label = "four-fifths"});
  p.note = std::string(a.steps.empty() ? "dots: units; mark: all units"
                                       : "dots: steps; mark: bottom line") +
           (beyond > 0 ? "; " + std::to_string(beyond) + " beyond the axis at its edge"
                       : std::string());
  return p;
}

double height_for(std::size_t groups, std::size_t panel_rows) {
  return (panel_frame_height + (static_cast<double>(groups) + 1) * row_height) *
             static_cast<double>(panel_rows) +
         50;
}

}  // namespace

figure observed_figure(const observed_analysis& a) {
  // Units and steps alike: one panel each, or dots; all units together or
  // the bottom line (from the first step to the last) as the pooled table.
  const std::size_t units = tables(a).size();
  const bool steps = !a.steps.empty();
  const std::string pooled = steps ? "bottom line" : "all units";
  const std::string interval = "with its " + percent(1 - a.options.alpha) + " interval";
  figure f;

  if (units >= 2 && units <= small_multiples_max) {
    // One panel of impact ratios per unit, all units together last, on one
    // axis so that the panels compare at a glance.
    std::vector<std::string> names = tables(a);
    names.emplace_back();
    const std::vector<std::string> groups = groups_of(rows_of(a, ""));
    double top = 1;
    for (const std::string& u : names) top = std::max(top, ratio_top(rows_of(a, u)));
    top *= 1.05;
    const std::size_t columns = names.size() <= 4 ? 2 : names.size() <= 9 ? 3 : 4;
    const std::size_t panel_rows = (names.size() + columns - 1) / columns;
    f.columns = static_cast<int>(columns);
    f.width = static_cast<int>(columns) * (columns == 2 ? 420 : 340);
    f.height = static_cast<int>(height_for(groups.size(), panel_rows));
    f.title = "Impact ratio by group " + interval + (steps ? ", step by step" : ", unit by unit");
    for (const std::string& u : names) {
      f.panels.push_back(ratios_panel(rows_of(a, u), groups, 110, top,
                                      u.empty() ? pooled : u, "Impact ratio"));
    }
    // The shapes' key once, in the last panel, unless it has more to say.
    if (f.panels.back().note.empty()) f.panels.back().note = key;
    return f;
  }

  // One table (no units or one), or all units together beside every unit's
  // ratio as a dot.
  const std::string_view table = units == 1 ? std::string_view(tables(a)[0]) : std::string_view();
  const std::vector<const comparison*> rows = rows_of(a, table);
  const std::vector<std::string> groups = groups_of(rows);
  // With the units' dots beside it, the pooled ratios share their axis.
  double top = ratio_top(rows);
  if (units > small_multiples_max) {
    for (const comparison& r : a.rows) {
      if (r.impact_ratio && std::isfinite(*r.impact_ratio)) {
        top = std::max(top, std::min(*r.impact_ratio, ratio_cap));
      }
    }
  }
  top *= 1.05;
  f.panels.push_back(rates_panel(rows, groups, 180));
  f.panels.push_back(ratios_panel(rows, groups, 180, top, "Impact ratio " + interval,
                                  "Impact ratio (group rate / reference rate)"));
  f.columns = 2;
  f.width = 960;
  if (units > small_multiples_max) {
    f.panels.push_back(units_panel(a, groups, 180, top));
    f.columns = 3;
    f.width = 1380;
  }
  f.height = std::max(360, static_cast<int>(height_for(groups.size(), 1)));
  f.title = units > 1 && steps ? "Selection by group, the bottom line of " +
                                     std::to_string(units) + " steps"
            : units > 1          ? "Selection by group, the " + std::to_string(units) +
                                       " units together"
            : units == 1         ? "Selection by group, " + tables(a)[0]
                                 : std::string("Selection by group");
  return f;
}

}  // namespace present
