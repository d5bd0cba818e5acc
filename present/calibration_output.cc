#include "present/calibration_output.h"

#include <cmath>
#include <cstdio>
#include <span>
#include <string>
#include <nlohmann/json.hpp>

#include "present/numbers.h"

namespace present {

namespace {

using fourfifths::cross_validated_point;
using fourfifths::spread;

// A spread's four columns: name, name_se, name_q05, name_q95.
void append_spread_columns(frame& f, std::span<const cross_validated_point> points,
                           const std::string& name, std::string_view what,
                           const spread* (*of)(const cross_validated_point&)) {
  frame_column& mean = f.add(name, column_type::number, what);
  frame_column& se = f.add(name + "_se", column_type::number, "its Monte Carlo standard error");
  frame_column& q05 = f.add(name + "_q05", column_type::number, "its 5 % quantile");
  frame_column& q95 = f.add(name + "_q95", column_type::number, "its 95 % quantile");
  for (const cross_validated_point& p : points) {
    if (const spread* s = of(p)) {
      push_number(mean, s->mean);
      push_number(se, s->standard_error);
      push_number(q05, s->q05);
      push_number(q95, s->q95);
    } else {
      for (frame_column* c : {&mean, &se, &q05, &q95}) push_missing(*c);
    }
  }
}

nlohmann::json spread_document(const spread& s) {
  return {{"mean", s.mean}, {"standard_error", s.standard_error}, {"q05", s.q05}, {"q95", s.q95}};
}

nlohmann::json point_document(const cross_validated_point& p, const char* below) {
  nlohmann::json point = {{"level", p.level},
                          {"validity", spread_document(p.validity)},
                          {"lowest_ratio", spread_document(p.lowest_ratio)},
                          {below, p.below_level},
                          {"unreachable", p.unreachable}};
  if (p.mean) point["mean"] = spread_document(*p.mean);
  return point;
}

// The spreads of a list of points: validity, mean, lowest ratio.
void append_spreads(frame& f, std::span<const cross_validated_point> points) {
  append_spread_columns(f, points, "cv_validity",
                        "the mean validity in new applicants of the weights found in "
                        "calibration samples",
                        [](const cross_validated_point& p) -> const spread* { return &p.validity; });
  append_spread_columns(
      f, points, "cv_mean", "the mean criterion score of those selected among new applicants",
      [](const cross_validated_point& p) -> const spread* { return p.mean ? &*p.mean : nullptr; });
  append_spread_columns(f, points, "cv_lowest_ratio",
                        "the lowest ratio to the highest rate among new applicants",
                        [](const cross_validated_point& p) -> const spread* {
                          return &p.lowest_ratio;
                        });
}

std::string fixed(double x, int digits) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", digits, x);
  return buffer;
}

}  // namespace

void append_calibration_columns(frame& f, const fourfifths::cross_validation& cv) {
  // The columns below are referred to while others are added.
  f.columns.reserve(f.columns.size() + 16);
  frame_column& level = f.add("cv_level", column_type::number,
                              "the lowest ratio to the highest rate asked for in each "
                              "calibration sample (0: the highest quality)");
  for (const cross_validated_point& p : cv.points) push_number(level, p.level);
  append_spreads(f, cv.points);
  frame_column& below =
      f.add("p_below_level", column_type::number,
            "the share of calibration samples whose weights fall below cv_level in new applicants");
  frame_column& unreachable = f.add("cv_unreachable", column_type::integer,
                                    "calibration samples in which no weighting reached cv_level");
  for (const cross_validated_point& p : cv.points) {
    push_number(below, p.below_level);
    push_number(unreachable, p.unreachable);
  }
}

nlohmann::json calibration_document(const fourfifths::cross_validation& cv,
                                    const calibration_request& r,
                                    const std::vector<fourfifths::shrunken_weighting>* formula) {
  nlohmann::json points = nlohmann::json::array();
  for (std::size_t k = 0; k < cv.points.size(); ++k) {
    nlohmann::json point = point_document(cv.points[k], "p_below_level");
    if (formula != nullptr && k < formula->size()) {
      const fourfifths::shrunken_weighting& w = (*formula)[k];
      point["formula"] = {{"validity", w.validity},
                          {"composite_d", w.composite_d},
                          {"ratio_to_highest", w.solved ? nlohmann::json(w.ratio_to_highest)
                                                        : nlohmann::json(nullptr)}};
    }
    points.push_back(std::move(point));
  }
  return {{"calibration_n", r.calibration_n}, {"counts", cv.counts},
          {"replications", cv.replications},  {"failed", cv.failed},
          {"seed", r.seed},                   {"points", std::move(points)}};
}

std::string calibration_text(const fourfifths::cross_validation& cv,
                             const calibration_request& r,
                             const std::vector<fourfifths::shrunken_weighting>* formula) {
  std::string out = "\nIn new applicants, with weights from " + std::to_string(cv.replications) +
                    " calibration samples of " + std::to_string(r.calibration_n) +
                    " (mean, and 5 % to 95 % of samples):\n";
  for (std::size_t k = 0; k < cv.points.size(); ++k) {
    const cross_validated_point& p = cv.points[k];
    out += std::to_string(k + 1) + ". validity " + fixed(p.validity.mean, 3) + " (" +
           fixed(p.validity.q05, 3) + " to " + fixed(p.validity.q95, 3) +
           "), lowest ratio to the highest rate " + fixed(p.lowest_ratio.mean, 3) + " (" +
           fixed(p.lowest_ratio.q05, 3) + " to " + fixed(p.lowest_ratio.q95, 3) + ")";
    if (p.level > 0) {
      out += ", below the " + fixed(p.level, 3) + " asked for in " +
             fixed(100 * p.below_level, 1) + " %";
    }
    if (formula != nullptr && k < formula->size() && (*formula)[k].solved) {
      out += "; the published formula: validity " + fixed((*formula)[k].validity, 3) +
             ", ratio " + fixed((*formula)[k].ratio_to_highest, 3);
    }
    out += "\n";
  }
  if (cv.failed > 0) {
    out += std::to_string(cv.failed) + " samples allowed no front and are left out.\n";
  }
  return out;
}

void append_formula_columns(frame& f, const std::vector<fourfifths::shrunken_weighting>* s) {
  f.columns.reserve(f.columns.size() + 3);
  frame_column& validity = f.add("formula_validity", column_type::number,
                                 "the validity in new applicants by the published shrinkage "
                                 "formula (Song, Tang, Newman & Wee, 2023)");
  frame_column& d = f.add("formula_composite_d", column_type::number,
                          "the composite's effect size its shrunken group correlation implies");
  frame_column& ratio = f.add("formula_ratio_to_highest", column_type::number,
                              "the lower rate over the higher at that effect size (exact normal "
                              "model)");
  for (std::size_t k = 0; k < f.rows; ++k) {
    if (s != nullptr && k < s->size()) {
      const fourfifths::shrunken_weighting& w = (*s)[k];
      push_number(validity, w.validity);
      push_number(d, w.composite_d);
      if (w.solved) {
        push_number(ratio, w.ratio_to_highest);
      } else {
        push_missing(ratio);
      }
    } else {
      push_missing(validity);
      push_missing(d);
      push_missing(ratio);
    }
  }
}

void append_calibration_series(figure& chart, const fourfifths::cross_validation& cv,
                               const calibration_request& r, bool validity) {
  if (chart.panels.empty()) return;
  const std::string samples = "calibration samples of " + std::to_string(r.calibration_n);
  series means{.label = "in new applicants, weights from " + samples + " (mean)",
               .style = mark::line_and_points,
               .colour = 2,
               .pattern = dash::dashed,
               .point = shape::diamond};
  // One segment a point, apart from the next by a gap.
  series band{.label = "5 % to 95 % of " + samples + ": lowest ratio",
              .style = mark::line,
              .colour = 2,
              .pattern = dash::solid};
  const double gap = std::nan("");
  for (const fourfifths::cross_validated_point& p : cv.points) {
    const std::optional<fourfifths::spread>& quality =
        validity ? std::optional<fourfifths::spread>(p.validity) : p.mean;
    const double y = quality ? quality->mean : gap;
    means.x.push_back(p.lowest_ratio.mean);
    means.y.push_back(y);
    band.x.insert(band.x.end(), {p.lowest_ratio.q05, p.lowest_ratio.q95, gap});
    band.y.insert(band.y.end(), {y, y, gap});
  }
  chart.panels.front().lines.push_back(std::move(band));
  chart.panels.front().lines.push_back(std::move(means));
}

frame draws_frame(const fourfifths::cross_validation& cv) {
  frame f;
  f.columns.reserve(7);
  f.rows = cv.draws.size();
  frame_column& replication =
      f.add("replication", column_type::integer, "the calibration sample's stream of the seed");
  frame_column& point = f.add("point", column_type::integer, "the point of the front, from 1");
  frame_column& level = f.add("cv_level", column_type::number,
                              "the lowest ratio to the highest rate asked for in the sample");
  frame_column& validity = f.add("cv_validity", column_type::number,
                                 "the validity in new applicants of the sample's weights");
  frame_column& mean = f.add("cv_mean", column_type::number,
                             "the mean criterion score of those selected among new applicants");
  frame_column& lowest = f.add("cv_lowest_ratio", column_type::number,
                               "the lowest ratio to the highest rate among new applicants");
  frame_column& reached = f.add("reached", column_type::boolean,
                                "the sample's weighting reaches the level in the sample");
  for (const fourfifths::cross_validation_draw& d : cv.draws) {
    push_number(replication, static_cast<double>(d.replication));
    push_number(point, static_cast<double>(d.level + 1));
    push_number(level, cv.points[d.level].level);
    push_number(validity, d.validity);
    push_number(mean, d.mean);
    push_number(lowest, d.lowest_ratio);
    push_flag(reached, d.reached);
  }
  return f;
}

void append_robust_columns(frame& f, const fourfifths::robust_level& r) {
  f.columns.reserve(f.columns.size() + 20);
  push_flag(f.add("robust_found", column_type::boolean,
                  "some level asked of calibration samples keeps 95 % of them at min_ai"),
            r.found);
  push_number(f.add("cv_level", column_type::number,
                    "the level to ask for in a calibration sample"),
              r.chosen.level);
  const cross_validated_point chosen[] = {r.chosen};
  append_spreads(f, chosen);
  push_number(f.add("p_below_min_ai", column_type::number,
                    "the share of calibration samples whose weights at cv_level fall below "
                    "min_ai in new applicants"),
              r.chosen.below_level);
  push_number(f.add("as_asked_validity", column_type::number,
                    "the mean validity in new applicants when min_ai itself is asked of "
                    "calibration samples"),
              r.as_asked.validity.mean);
  push_number(f.add("as_asked_lowest_ratio_q05", column_type::number,
                    "the 5 % quantile of the lowest ratio in new applicants when min_ai itself "
                    "is asked"),
              r.as_asked.lowest_ratio.q05);
  push_number(f.add("p_as_asked_below_min_ai", column_type::number,
                    "the share of calibration samples whose weights at min_ai fall below it in "
                    "new applicants"),
              r.as_asked.below_level);
}

nlohmann::json robust_document(const fourfifths::robust_level& r, const calibration_request& c) {
  return {{"min_ai", r.min_ai},
          {"found", r.found},
          {"calibration_n", c.calibration_n},
          {"counts", r.counts},
          {"replications", r.replications},
          {"failed", r.failed},
          {"seed", c.seed},
          {"chosen", point_document(r.chosen, "p_below_min_ai")},
          {"as_asked", point_document(r.as_asked, "p_below_min_ai")}};
}

std::string robust_text(const fourfifths::robust_level& r, const calibration_request& c) {
  const auto describe = [&r](const cross_validated_point& p) {
    return "validity " + fixed(p.validity.mean, 3) + " (" + fixed(p.validity.q05, 3) + " to " +
           fixed(p.validity.q95, 3) + "), lowest ratio to the highest rate " +
           fixed(p.lowest_ratio.mean, 3) + " (5 % of samples below " +
           fixed(p.lowest_ratio.q05, 3) + "), below " + fixed(r.min_ai, 3) + " in " +
           fixed(100 * p.below_level, 1) + " % of samples";
  };
  std::string out = "\nWith weights from " + std::to_string(r.replications) +
                    " calibration samples of " + std::to_string(c.calibration_n) +
                    ", in new applicants:\n";
  out += "- asking for " + fixed(r.min_ai, 3) + " itself: " + describe(r.as_asked) + "\n";
  if (r.found) {
    out += "- asking for " + fixed(r.chosen.level, 3) + " keeps 95 % of samples at " +
           fixed(r.min_ai, 3) + " or above, with the highest expected quality: " +
           describe(r.chosen) + "\n";
  } else {
    out += "- no level keeps 95 % of samples at " + fixed(r.min_ai, 3) + "; the best, " +
           fixed(r.chosen.level, 3) + ": " + describe(r.chosen) + "\n";
  }
  return out;
}

}  // namespace present
