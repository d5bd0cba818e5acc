#include "present/plot.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <utility>

namespace present {

namespace {

// The selection ratios the plot evaluates: k / 200 for k = 1..199, that is
// 0.005 to 0.995 in steps of 0.005; overall or majority-group ratios as the
// mode says. The four-fifths minimum is added in its place when found.
std::vector<double> plot_ratios() {
  std::vector<double> ratios;
  ratios.reserve(199);
  for (int k = 1; k <= 199; ++k) ratios.push_back(k / 200.0);
  return ratios;
}

using fourfifths::four_fifths_minimum;
using fourfifths::outcome;
using fourfifths::quality_basis;
using fourfifths::ratio_mode;
using fourfifths::selection_model;

constexpr double four_fifths = 0.8;
constexpr double gap = std::numeric_limits<double>::quiet_NaN();

constexpr int blue = 0, vermillion = 1, black = 6;  // palette indices

// The curves of the three panels, one value per ratio; NaN where the
// outcome has no cut score (or no overall value), which the chart writer
// draws as a gap.
struct curves {
  std::vector<double> x, impact, rate_majority, rate_minority;
  std::vector<double> mean, mean_majority, mean_minority;

  void add(double ratio, const outcome& o) {
    x.push_back(ratio);
    const bool ok = o.solved();
    impact.push_back(ok ? o.ai_ratio : gap);
    rate_majority.push_back(ok ? o.sr_majority : gap);
    rate_minority.push_back(ok ? o.sr_minority : gap);
    mean.push_back(ok ? o.mean.value_or(gap) : gap);
    mean_majority.push_back(ok ? o.mean_majority : gap);
    mean_minority.push_back(ok ? o.mean_minority : gap);
  }
};

// The ratios in order, with the minimum among them when it lies inside the
// plotted range, so that the impact curve passes through its marker (a
// minimum of one group or of several).
template <class Minimum>
std::vector<double> ratios_with(const Minimum& minimum) {
  std::vector<double> ratios = plot_ratios();
  if (minimum.found && minimum.ratio > 0 && minimum.ratio < 1) {
    const auto at = std::lower_bound(ratios.begin(), ratios.end(), minimum.ratio);
    if (at == ratios.end() || *at != minimum.ratio) ratios.insert(at, minimum.ratio);
  }
  return ratios;
}

// The minimum's label: three decimals as the classic report prints it, or
// two significant digits for a ratio that three decimals would show as 0.
std::string minimum_label(double ratio) {
  char text[48];
  std::snprintf(text, sizeof text, ratio >= 0.01 ? "minimum %.3f" : "minimum %.2g", ratio);
  return text;
}

// The title cut to the figure's width, with an ellipsis. Bold type is about
// a tenth wider than the regular widths that `text_width` estimates. The
// longest start of the title that fits beside the ellipsis is found in one
// pass, its width summed as it grows (a title of any length costs its
// length once); it ends before a code point's first byte (or is empty).
std::string fit_title(std::string_view title, double width) {
  constexpr double size = 16, bold = 1.12;
  if (text_width(title, size) * bold <= width) return std::string(title);
  const std::string_view ellipsis = "\u2026";
  const double ellipsis_width = text_width(ellipsis, size);
  std::size_t keep = 0;
  double em = 0;  // text_width(title.substr(0, end)) / size, summed byte by byte
  for (std::size_t end = 0; end < title.size();) {
    em += text_width(title.substr(end, 1), 1);
    ++end;
    // The next code point's first byte, or the title's end.
    while (end < title.size() && (static_cast<unsigned char>(title[end]) & 0xC0) == 0x80) {
      em += text_width(title.substr(end, 1), 1);
      ++end;
    }
    if (end == title.size() || (em * size + ellipsis_width) * bold > width) break;
    keep = end;
  }
  title = title.substr(0, keep);
  while (!title.empty() && title.back() == ' ') title.remove_suffix(1);
  return std::string(title) + std::string(ellipsis);
}

// The ratio across every panel: overall or the majority group's, as the mode
// says.
axis ratio_axis(bool overall) {
  return {overall ? "Overall selection ratio" : "Majority-group selection ratio", 0.0, 1.0};
}

// The figure of three panels side by side under the title (or, without
// one, what is plotted against the mode's ratio), the minimum's vertical
// line repeated in the two later panels (of one group or of several).
template <class Minimum>
figure three_panels(std::string_view title, std::string_view what, bool overall,
                    std::vector<panel> panels, const Minimum& minimum) {
  figure f;
  f.columns = 3;
  const std::string against = overall ? " against the overall selection ratio"
                                      : " against the majority group's selection ratio";
  f.title =
      fit_title(title.empty() ? std::string(what) + against : std::string(title), f.width - 20.0);
  f.panels = std::move(panels);
  if (minimum.found) {
    const reference_line at_minimum{reference_line::orientation::vertical, minimum.ratio,
                                    "minimum"};
    f.panels[1].references.push_back(at_minimum);
    f.panels[2].references.push_back(at_minimum);
  }
  return f;
}

// The quality panel's axis title.
std::string quality_title(quality_basis quality) {
  return quality == quality_basis::criterion ? "Mean criterion composite (majority-group SD)"
                                             : "Mean predictor composite (majority-group SD)";
}

// The four-fifths line, and the minimum (of one group or of several) as a
// labelled point with its vertical line, or a note that there is none.
template <class Minimum>
void mark_four_fifths(panel& p, const Minimum& minimum) {
  p.references.push_back({reference_line::orientation::horizontal, four_fifths, "four-fifths"});
  if (minimum.found) {
    p.references.push_back({reference_line::orientation::vertical, minimum.ratio, ""});
    p.markers.push_back(
        {minimum.ratio, four_fifths, minimum_label(minimum.ratio), shape::circle, black});
  } else {
    p.note = "no four-fifths minimum found";
  }
}

panel impact_panel(const curves& c, const axis& ratio, const four_fifths_minimum& minimum) {
  panel p;
  p.title = "Adverse impact";
  p.x = ratio;
  // Up to 1.2 when the impact ratio stays below, so that the four-fifths
  // line sits in the upper part; beyond, the data decide.
  double highest = 0;
  for (const double v : c.impact) {
    if (std::isfinite(v)) highest = std::max(highest, v);
  }
  p.y = {"Impact ratio (minority / majority)", 0.0,
         highest <= 1.2 ? std::optional<double>(1.2) : std::nullopt};
  p.lines.push_back({.label = "Impact ratio", .x = c.x, .y = c.impact, .colour = blue});
  mark_four_fifths(p, minimum);
  return p;
}

panel rates_panel(const curves& c, const axis& ratio) {
  panel p;
  p.title = "Selection rates";
  p.x = ratio;
  p.y = {"Share of the group selected", 0.0, 1.0};
  p.lines.push_back({.label = "Majority",
                     .x = c.x,
                     .y = c.rate_majority,
                     .colour = blue,
                     .pattern = dash::solid});
  p.lines.push_back({.label = "Minority",
                     .x = c.x,
                     .y = c.rate_minority,
                     .colour = vermillion,
                     .pattern = dash::dashed});
  return p;
}

panel quality_panel(const curves& c, const axis& ratio, const selection_model& model) {
  panel p;
  p.title = "Quality of those selected";
  p.x = ratio;
  p.y = {quality_title(model.quality), {}, {}};
  // The overall mean needs the applicant mix; without it there is no line
  // rather than a line of gaps in the legend.
  if (model.mix) {
    p.lines.push_back(
        {.label = "Overall", .x = c.x, .y = c.mean, .colour = black, .pattern = dash::dash_dot});
  }
  p.lines.push_back({.label = "Majority",
                     .x = c.x,
                     .y = c.mean_majority,
                     .colour = blue,
                     .pattern = dash::solid});
  p.lines.push_back({.label = "Minority",
                     .x = c.x,
                     .y = c.mean_minority,
                     .colour = vermillion,
                     .pattern = dash::dashed});
  return p;
}

}  // namespace

figure plot_figure(const selection_model& model, fourfifths::method m, std::string_view title) {
  const four_fifths_minimum minimum = fourfifths::find_four_fifths_minimum(model, m);
  curves c;
  for (const double r : ratios_with(minimum)) c.add(r, fourfifths::outcome_at(model, r, m));

  const bool overall = model.mode == ratio_mode::overall;
  const axis ratio = ratio_axis(overall);
  return three_panels(
      title, "Selection outcomes", overall,
      {impact_panel(c, ratio, minimum), rates_panel(c, ratio), quality_panel(c, ratio, model)},
      minimum);
}

std::string plot_svg(const scenario& s, const fourfifths::problem& p, fourfifths::method m) {
  return render_svg(plot_figure(fourfifths::model_of(p), m, s.title));
}

namespace {

using fourfifths::group_minimum;
using fourfifths::group_outcome;

// The curves of a problem with several groups, one per group (the majority
// first), one value per ratio; NaN where there is no cut score.
struct group_curves {
  std::vector<std::string> names;
  std::vector<double> x, sr, mean;
  std::vector<std::vector<double>> to_highest, rate, group_mean;

  explicit group_curves(const fourfifths::group_model& model)
      : to_highest(model.groups.size() + 1),
        rate(model.groups.size() + 1),
        group_mean(model.groups.size() + 1) {
    names.emplace_back(fourfifths::majority_group_name);
    for (const fourfifths::group_effect& g : model.groups) names.push_back(g.name);
  }

  void add(double ratio, const group_outcome& o) {
    x.push_back(ratio);
    const bool ok = o.solved();
    sr.push_back(ok ? o.sr.value_or(gap) : gap);
    mean.push_back(ok ? o.mean.value_or(gap) : gap);
    for (std::size_t g = 0; g < names.size(); ++g) {
      to_highest[g].push_back(ok ? o.groups[g].ratio_to_highest : gap);
      rate[g].push_back(ok ? o.groups[g].sr : gap);
      group_mean[g].push_back(ok ? o.groups[g].mean : gap);
    }
  }
};

// Group g's colour and pattern: the majority blue and solid as in the
// one-group figure, the minority groups the palette's next colours (black
// is the overall line's; yellow is too faint on white), the patterns
// cycling so that greyscale tells them apart too.
series group_series(const group_curves& c, std::size_t g, const std::vector<double>& y) {
  constexpr std::array<int, 6> colours = {0, 1, 2, 3, 4, 5};
  constexpr std::array<dash, 4> patterns = {dash::solid, dash::dashed, dash::dotted,
                                            dash::dash_dot};
  const std::size_t colour = g == 0 ? 0 : 1 + (g - 1) % (colours.size() - 1);
  return {.label = c.names[g],
          .x = c.x,
          .y = y,
          .colour = colours[colour],
          .pattern = patterns[g % patterns.size()]};
}

panel rule_panel(const group_curves& c, const axis& ratio, const group_minimum& minimum) {
  panel p;
  p.title = "Four-fifths rule";
  p.x = ratio;
  // A little above 1, so that the highest group's line stays clear of the frame.
  p.y = {"Rate / highest group's rate", 0.0, 1.05};
  for (std::size_t g = 0; g < c.names.size(); ++g) {
    p.lines.push_back(group_series(c, g, c.to_highest[g]));
  }
  mark_four_fifths(p, minimum);
  return p;
}

panel group_rates_panel(const group_curves& c, const axis& ratio, bool overall_line) {
  panel p;
  p.title = "Selection rates";
  p.x = ratio;
  p.y = {"Share of the group selected", 0.0, 1.0};
  if (overall_line) {
    p.lines.push_back(
        {.label = "Overall", .x = c.x, .y = c.sr, .colour = black, .pattern = dash::dash_dot});
  }
  for (std::size_t g = 0; g < c.names.size(); ++g) p.lines.push_back(group_series(c, g, c.rate[g]));
  return p;
}

panel group_quality_panel(const group_curves& c, const axis& ratio,
                          const fourfifths::group_model& model) {
  panel p;
  p.title = "Quality of those selected";
  p.x = ratio;
  p.y = {quality_title(model.quality), {}, {}};
  if (model.majority_share) {
    p.lines.push_back(
        {.label = "Overall", .x = c.x, .y = c.mean, .colour = black, .pattern = dash::dash_dot});
  }
  for (std::size_t g = 0; g < c.names.size(); ++g) {
    p.lines.push_back(group_series(c, g, c.group_mean[g]));
  }
  return p;
}

}  // namespace

figure group_plot_figure(const fourfifths::group_problem& problem, std::string_view title) {
  const fourfifths::group_model model = fourfifths::group_model_of(problem);
  const group_minimum minimum = fourfifths::find_group_minimum(model);
  group_curves c(model);
  for (const double r : ratios_with(minimum)) c.add(r, fourfifths::group_outcome_at(model, r));

  const bool overall = model.mode == ratio_mode::overall;
  const axis ratio = ratio_axis(overall);
  // In overall mode the overall rate is the x axis itself.
  const bool overall_line = !overall && model.majority_share.has_value();
  return three_panels(title, "Every group's outcomes", overall,
                      {rule_panel(c, ratio, minimum), group_rates_panel(c, ratio, overall_line),
                       group_quality_panel(c, ratio, model)},
                      minimum);
}

std::string plot_svg(const scenario& s, const fourfifths::group_problem& p) {
  return render_svg(group_plot_figure(p, s.title));
}

}  // namespace present
