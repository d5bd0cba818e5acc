#include "explore/pareto_cmd.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string_view>

#include "explore/commands.h"

namespace explore {

namespace {

using fourfifths::pareto_objective;
using fourfifths::weighting_outcome;

void append_number(std::string& out, double v) {
  if (std::isnan(v)) {
    out += "NaN";
    return;
  }
  char buffer[32];
  const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, v);
  out.append(buffer, static_cast<std::size_t>(r.ptr - buffer));
}

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

nlohmann::json number_or_null(const std::optional<double>& v) {
  if (!v || !std::isfinite(*v)) return nullptr;
  return *v;
}

nlohmann::json weighting_json(const weighting_outcome& w, const std::vector<std::string>& names) {
  nlohmann::json weights = nlohmann::json::object();
  for (std::size_t j = 0; j < w.weights.size(); ++j) weights[names[j]] = w.weights[j];
  return {
      {"ai_ratio", number_or_null(w.ai_ratio)},
      {"validity", number_or_null(w.validity)},
      {"mean", number_or_null(w.mean)},
      {"mean_majority", number_or_null(w.solved ? std::optional(w.mean_majority) : std::nullopt)},
      {"mean_minority", number_or_null(w.solved ? std::optional(w.mean_minority) : std::nullopt)},
      {"sr_majority", number_or_null(w.sr_majority)},
      {"sr_minority", number_or_null(w.sr_minority)},
      {"composite_d", number_or_null(w.composite_d)},
      {"four_fifths_minimum", number_or_null(w.four_fifths_minimum)},
      {"weights", weights},
      {"weight_list", w.weights}};
}

std::string describe(const fourfifths::pareto_options& o) {
  char text[160];
  std::snprintf(text, sizeof text, "%s selection ratio of %g",
                o.mode == fourfifths::ratio_mode::overall ? "an overall" : "a majority group's",
                o.ratio);
  return text;
}

std::string weights_text(const weighting_outcome& w, const std::vector<std::string>& names) {
  std::string out;
  char number[32];
  for (std::size_t j = 0; j < w.weights.size(); ++j) {
    std::snprintf(number, sizeof number, "%.4f", w.weights[j]);
    out += (j == 0 ? "" : ", ") + names[j] + " " + number;
  }
  return out;
}

std::string fixed4(const std::optional<double>& v, const char* missing) {
  if (!v || std::isnan(*v)) return missing;
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", *v);
  return text;
}

std::string point_text(const weighting_outcome& w, const std::vector<std::string>& names) {
  return "impact ratio " + fixed4(w.ai_ratio, "-") + ", validity " + fixed4(w.validity, "-") +
         ", mean " + fixed4(w.mean, "-") + ", selection rates " + fixed4(w.sr_majority, "-") +
         " and " + fixed4(w.sr_minority, "-") + ", four-fifths minimum " +
         fixed4(w.four_fifths_minimum, "none") + "\n  weights: " + weights_text(w, names) + "\n";
}

}  // namespace

std::string front_csv(const std::vector<weighting_outcome>& points, int predictors,
                      const std::vector<std::string>& labels) {
  std::string out = header(predictors);
  for (std::size_t k = 0; k < points.size(); ++k) append_row(out, labels[k], points[k]);
  return out;
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
  p.title = s.title.empty() ? std::string() : s.title;
  p.x.title = "Impact ratio (minority / majority) at " + describe(front.options);
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

int run_pareto(const pareto_command_options& o) {
  const std::optional<loaded_scenario> s = load(o.scenario);
  if (!s) return exit_failure;
  const std::vector<std::string>& names = s->value->predictor_names;
  const int n = s->value->spec.predictors;

  const fourfifths::pareto_result front = fourfifths::find_pareto_front(*s->problem, o.front);
  if (!front.front) {
    complain(front.error);
    return exit_failure;
  }
  std::optional<fourfifths::min_ai_result> answer;
  if (o.min_ai) {
    answer = fourfifths::best_weighting_for_min_ai(*s->problem, o.front, *o.min_ai);
    if (!answer->error.empty()) {
      complain(answer->error);
      return exit_failure;
    }
  }

  // The chart first: a table written before a failed chart would be half
  // the result.
  if (!o.plot.empty()) {
    const figure f = front_figure(*s->value, *front.front, answer ? &*answer->best : nullptr);
    const int status = deliver(o.plot, render_svg(f));
    if (status != exit_success) return status;
  }

  std::string out;
  int status = exit_success;
  if (answer) {
    const weighting_outcome& best = *answer->best;
    if (!answer->reached) {
      char line[200];
      std::snprintf(line, sizeof line,
                    "no weighting reaches an impact ratio of %g at %s; the highest reachable is "
                    "%.4f, with the weighting written",
                    *o.min_ai, describe(o.front).c_str(), best.ai_ratio);
      complain(line);
      status = exit_partial;
    }
    switch (o.format) {
      case table_format::csv:
        out = front_csv({best}, n, {answer->reached ? "best" : "highest"});
        break;
      case table_format::json:
        out = nlohmann::json({{"min_ai", *o.min_ai},
                              {"reached", answer->reached},
                              {"weighting", weighting_json(best, names)}})
                  .dump(2) +
              "\n";
        break;
      case table_format::text:
        out = std::string(answer->reached ? "The best weighting with an impact ratio of at least "
                                          : "No weighting reaches an impact ratio of ") +
              fixed4(*o.min_ai, "-") + " at " + describe(o.front) +
              (answer->reached ? ":\n  " : "; the highest reachable:\n  ") +
              point_text(best, names);
        break;
    }
  } else {
    const std::vector<weighting_outcome>& points = front.front->points;
    switch (o.format) {
      case table_format::csv: {
        std::vector<std::string> labels;
        for (std::size_t k = 1; k <= points.size(); ++k) labels.push_back(std::to_string(k));
        out = front_csv(points, n, labels);
        break;
      }
      case table_format::json: {
        nlohmann::json list = nlohmann::json::array();
        for (const weighting_outcome& w : points) list.push_back(weighting_json(w, names));
        nlohmann::json j = {
            {"ratio", o.front.ratio},
            {"mode", o.front.mode == fourfifths::ratio_mode::overall ? "overall" : "majority"},
            {"objective", o.front.objective == pareto_objective::validity ? "validity" : "mean"},
            {"predictors", names},
            {"stopped_at_parity", front.front->stopped_at_parity},
            {"points", list},
            {"unit", weighting_json(front.front->unit, names)},
            {"regression", weighting_json(front.front->regression, names)}};
        if (front.front->given) j["given"] = weighting_json(*front.front->given, names);
        out = j.dump(2) + "\n";
        break;
      }
      case table_format::text: {
        out = "Pareto front at " + describe(o.front) + ", from the highest quality:\n";
        for (std::size_t k = 0; k < points.size(); ++k) {
          out += std::to_string(k + 1) + ". " + point_text(points[k], names);
        }
        break;
      }
    }
  }
  const int written = deliver(o.output, out);
  return written != exit_success ? written : status;
}

}  // namespace explore
