#include "explore/pareto_cmd.h"

#include <cmath>
#include <cstdio>
#include <string_view>

#include "explore/commands.h"
#include "explore/pareto_output.h"

namespace explore {

namespace {

using fourfifths::weighting_outcome;

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

int run_pareto(const pareto_command_options& o) {
  const std::optional<loaded_scenario> s = load(o.scenario);
  if (!s) return exit_failure;
  const std::vector<std::string>& names = s->value->predictor_names;
  const int n = s->value->spec.predictors;

  // The front is the answer, or with --min-ai only the chart's.
  fourfifths::pareto_result front;
  if (!o.min_ai || !o.plot.empty()) {
    front = fourfifths::find_pareto_front(*s->problem, o.front);
    if (!front.front) {
      complain(front.error);
      return exit_failure;
    }
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
                    *o.min_ai, ratio_description(o.front).c_str(), best.ai_ratio);
      complain(line);
      status = exit_partial;
    }
    switch (o.format) {
      case table_format::csv:
        out = front_csv({best}, n, {answer->reached ? "best" : "highest"});
        break;
      case table_format::json:
        out = min_ai_json(*s->value, *o.min_ai, *answer);
        break;
      case table_format::text:
        out = std::string(answer->reached ? "The best weighting with an impact ratio of at least "
                                          : "No weighting reaches an impact ratio of ") +
              fixed4(*o.min_ai, "-") + " at " + ratio_description(o.front) +
              (answer->reached ? ":\n  " : "; the highest reachable:\n  ") +
              point_text(best, names);
        break;
    }
  } else {
    const std::vector<weighting_outcome>& points = front.front->points;
    switch (o.format) {
      case table_format::csv:
        out = front_csv(points, n);
        break;
      case table_format::json: {
        out = front_json(*s->value, *front.front);
        break;
      }
      case table_format::text: {
        out = "Pareto front at " + ratio_description(o.front) + ", from the highest quality:\n";
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
