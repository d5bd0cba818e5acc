#include "explore/pareto_output.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

#include "explore/table.h"

namespace explore {

namespace {

using fourfifths::pareto_objective;
using fourfifths::weighting_outcome;

void append_optional(std::string& out, const std::optional<double>& v) {
  if (v) append_number(out, *v);
}

// Without a cut score at R a weighting has its composites but no outcome.
void append_row(std::string& out, std::string_view label, const weighting_outcome& w) {
  auto outcome_value = [&](double v) { return w.solved ? std::optional<double>(v) : std::nullopt; };
  out += label;
  for (const std::optional<double> v :
       {outcome_value(w.ai_ratio), std::optional<double>(w.validity), w.mean,
        outcome_value(w.mean_majority), outcome_value(w.mean_minority),
        outcome_value(w.sr_majority), outcome_value(w.sr_minority),
        std::optional<double>(w.composite_d), w.four_fifths_minimum}) {
    out += ',';
    append_optional(out, v);
  }
  for (const double x : w.weights) {
    out += ',';
    append_number(out, x);
  }
  out += '\n';
}

std::string header(int predictors) {
  std::string out =
      "point,ai_ratio,validity,mean,mean_majority,mean_minority,sr_majority,sr_minority,"
      "composite_d,four_fifths_minimum";
  for (int j = 1; j <= predictors; ++j) out += ",w" + std::to_string(j);
  return out + "\n";
}

nlohmann::json weighting_json(const weighting_outcome& w, const std::vector<std::string>& names) {
  nlohmann::json weights = nlohmann::json::object();
  for (std::size_t j = 0; j < w.weights.size(); ++j) weights[names[j]] = w.weights[j];
  return {{"ai_ratio", json_number(w.ai_ratio)},
          {"validity", json_number(w.validity)},
          {"mean", json_number(w.mean)},
          {"mean_majority", json_number(w.solved ? std::optional(w.mean_majority) : std::nullopt)},
          {"mean_minority", json_number(w.solved ? std::optional(w.mean_minority) : std::nullopt)},
          {"sr_majority", json_number(w.sr_majority)},
          {"sr_minority", json_number(w.sr_minority)},
          {"composite_d", json_number(w.composite_d)},
          {"four_fifths_minimum", json_number(w.four_fifths_minimum)},
          {"weights", weights},
          {"weight_list", w.weights}};
}

}  // namespace

std::string ratio_description(const fourfifths::pareto_options& o) {
  char text[160];
  std::snprintf(text, sizeof text, "%s selection ratio of %g",
                o.mode == fourfifths::ratio_mode::overall ? "an overall" : "a majority group's",
                o.ratio);
  return text;
}

std::string front_csv(const std::vector<weighting_outcome>& points, int predictors,
                      const std::vector<std::string>& labels) {
  std::string out = header(predictors);
  for (std::size_t k = 0; k < points.size(); ++k) append_row(out, labels[k], points[k]);
  return out;
}

std::string front_csv(const std::vector<weighting_outcome>& points, int predictors) {
  std::vector<std::string> labels;
  for (std::size_t k = 1; k <= points.size(); ++k) labels.push_back(std::to_string(k));
  return front_csv(points, predictors, labels);
}

std::string front_json(const scenario& s, const fourfifths::pareto_front& front) {
  const std::vector<std::string>& names = s.predictor_names;
  const fourfifths::pareto_options& o = front.options;
  nlohmann::json list = nlohmann::json::array();
  for (const weighting_outcome& w : front.points) list.push_back(weighting_json(w, names));
  nlohmann::json j = {
      {"ratio", o.ratio},
      {"mode", o.mode == fourfifths::ratio_mode::overall ? "overall" : "majority"},
      {"objective", o.objective == pareto_objective::validity ? "validity" : "mean"},
      {"predictors", names},
      {"stopped_at_parity", front.stopped_at_parity},
      {"points", list},
      {"unit", weighting_json(front.unit, names)},
      {"regression", weighting_json(front.regression, names)}};
  if (front.given) j["given"] = weighting_json(*front.given, names);
  return j.dump(2) + "\n";
}

std::string min_ai_json(const scenario& s, double min_ai, const fourfifths::min_ai_result& answer) {
  return nlohmann::json({{"min_ai", min_ai},
                         {"reached", answer.reached},
                         {"weighting", weighting_json(*answer.best, s.predictor_names)}})
             .dump(2) +
         "\n";
}

figure front_figure(const scenario& s, const fourfifths::pareto_front& front,
                    const weighting_outcome* answer) {
  const bool validity = front.options.objective == pareto_objective::validity;
  auto quality = [&](const weighting_outcome& w) {
    return validity ? w.validity : w.mean.value_or(std::nan(""));
  };
  series line{.label = "Pareto front", .style = mark::line_and_points, .colour = 0};
  for (const weighting_outcome& w : front.points) {
    line.x.push_back(w.ai_ratio);
    line.y.push_back(quality(w));
  }
  panel p;
  p.title = s.title;
  p.x.title = "Impact ratio (minority / majority) at " + ratio_description(front.options);
  p.y.title = validity ? "Validity of the predictor composite"
                       : "Mean criterion score of those selected (SD)";
  p.lines.push_back(std::move(line));
  p.references.push_back(
      {.dir = reference_line::orientation::vertical, .value = 0.8, .label = "four-fifths"});
  auto mark_at = [&](const weighting_outcome& w, const char* label, shape form, int colour) {
    if (w.solved && std::isfinite(quality(w))) {
      p.markers.push_back(
          {.x = w.ai_ratio, .y = quality(w), .label = label, .form = form, .colour = colour});
    }
  };
  mark_at(front.regression, "regression weights", shape::square, 6);
  mark_at(front.unit, "unit weights", shape::circle, 1);
  if (front.given) mark_at(*front.given, "given weights", shape::diamond, 2);
  if (answer != nullptr) mark_at(*answer, "best at the minimum ratio", shape::triangle, 3);
  figure f;
  f.title = validity ? "Validity and adverse impact of predictor weightings"
                     : "Quality of those selected and adverse impact of predictor weightings";
  f.panels.push_back(std::move(p));
  return f;
}

}  // namespace explore
