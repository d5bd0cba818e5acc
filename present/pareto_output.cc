#include "present/pareto_output.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string_view>

#include "present/names.h"
#include "present/numbers.h"
#include "present/table.h"

namespace present {

namespace {

bool reached(const fourfifths::min_ai_result& answer);

using fourfifths::pareto_objective;
using fourfifths::weighting_outcome;

nlohmann::json weighting_json(const weighting_outcome& w, const std::vector<std::string>& names) {
  // Keyed by the predictors' names. Two predictors named alike would be one
  // entry: a name already taken, by an earlier predictor, is followed by
  // the predictor's place ("test (predictor 2)"), after every name given
  // has its own entry.
  nlohmann::json weights = nlohmann::json::object();
  std::vector<std::size_t> named_alike;
  for (std::size_t j = 0; j < w.weights.size(); ++j) {
    if (weights.contains(names[j])) {
      named_alike.push_back(j);
    } else {
      weights[names[j]] = w.weights[j];
    }
  }
  for (const std::size_t j : named_alike) {
    const std::string place = " (predictor " + std::to_string(j + 1) + ")";
    std::string key = names[j] + place;
    while (weights.contains(key)) key += place;
    weights[key] = w.weights[j];
  }
  return {{"ai_ratio", json_number(w.ai_ratio)},
          {"ratio_to_highest", json_number(w.ratio_to_highest)},
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

namespace {

// The columns a front of one group and of several share, then the
// weights: the point (numbered from 1, or a label), and the numbers of
// each point, missing where a point has none.
struct front_columns {
  frame f;
  std::vector<std::size_t> numbers;  // the shared numeric columns
  std::vector<std::size_t> weights;

  front_columns(std::size_t rows, const std::vector<std::string>& labels, int predictors,
                std::size_t more) {
    f.rows = rows;
    f.columns.reserve(10 + static_cast<std::size_t>(predictors) + more);
    const bool numbered = labels.empty();
    frame_column& point = f.add("point", numbered ? column_type::integer : column_type::text,
                                "the point, from the highest quality, or the answer's label");
    for (std::size_t k = 0; k < rows; ++k) {
      if (numbered) {
        push_number(point, static_cast<double>(k + 1));
      } else {
        push_text(point, labels[k]);
      }
    }
    static constexpr std::array<std::pair<const char*, const char*>, 9> shared{{
        {"ai_ratio", "the impact ratio at R: the minority's rate / the majority's"},
        {"validity", "the correlation of the composite with the criterion composite"},
        {"mean", "the mean quality of those selected (with the applicant mix)"},
        {"mean_majority", "the mean quality of the majority selected"},
        {"mean_minority", "the mean quality of the minority selected"},
        {"sr_majority", "the majority's selection rate at R"},
        {"sr_minority", "the minority's selection rate at R"},
        {"composite_d", "the composite's effect size, minority minus majority"},
        {"four_fifths_minimum", "the weighting's four-fifths minimum selection ratio"},
    }};
    for (const auto& [name, description] : shared) {
      numbers.push_back(f.columns.size());
      f.add(name, column_type::number, description);
    }
    for (int j = 1; j <= predictors; ++j) {
      weights.push_back(f.columns.size());
      f.add("w" + std::to_string(j), column_type::number, "the weight of a predictor");
    }
  }

  void push(std::size_t column, const std::optional<double>& v) {
    push_optional(f.columns[column], v);
  }
  void push_row(std::span<const std::optional<double>> values, std::span<const double> w) {
    for (std::size_t i = 0; i < numbers.size(); ++i) push(numbers[i], values[i]);
    for (std::size_t j = 0; j < weights.size(); ++j) push_number(f.columns[weights[j]], w[j]);
  }
};

}  // namespace

frame front_frame(const std::vector<weighting_outcome>& points, int predictors,
                  const std::vector<std::string>& labels) {
  front_columns c(points.size(), labels, predictors, 0);
  for (const weighting_outcome& w : points) {
    auto outcome_value = [&](double v) {
      return w.solved ? std::optional<double>(v) : std::nullopt;
    };
    const std::array<std::optional<double>, 9> values{outcome_value(w.ai_ratio),
                                                      std::optional<double>(w.validity),
                                                      w.mean,
                                                      outcome_value(w.mean_majority),
                                                      outcome_value(w.mean_minority),
                                                      outcome_value(w.sr_majority),
                                                      outcome_value(w.sr_minority),
                                                      std::optional<double>(w.composite_d),
                                                      w.four_fifths_minimum};
    c.push_row(values, w.weights);
  }
  return std::move(c.f);
}

std::string front_csv(const std::vector<weighting_outcome>& points, int predictors,
                      const std::vector<std::string>& labels) {
  return frame_csv(front_frame(points, predictors, labels));
}

std::string front_csv(const std::vector<weighting_outcome>& points, int predictors) {
  return front_csv(points, predictors, {});
}

frame min_ai_frame(const scenario& s, const fourfifths::min_ai_result& answer) {
  return front_frame({*answer.value}, s.spec.predictors, {reached(answer) ? "best" : "highest"});
}

std::string front_json(const scenario& s, const fourfifths::pareto_front& front) {
  return front_document(s, front).dump(2) + "\n";
}

nlohmann::json front_document(const scenario& s, const fourfifths::pareto_front& front) {
  const std::vector<std::string>& names = s.predictor_names;
  const fourfifths::pareto_options& o = front.options;
  nlohmann::json list = nlohmann::json::array();
  for (const weighting_outcome& w : front.points) list.push_back(weighting_json(w, names));
  nlohmann::json j = {{"ratio", o.ratio},
                      {"mode", name_of(o.mode)},
                      {"objective", name_of(o.objective)},
                      {"predictors", names},
                      {"stopped_at_parity", front.stopped_at_parity},
                      {"points", list},
                      {"unit", weighting_json(front.unit, names)},
                      {"regression", weighting_json(front.regression, names)}};
  if (front.given) j["given"] = weighting_json(*front.given, names);
  return j;
}

std::string min_ai_json(const scenario& s, double min_ai, const fourfifths::min_ai_result& answer) {
  return min_ai_document(s, min_ai, answer).dump(2) + "\n";
}

nlohmann::json min_ai_document(const scenario& s, double min_ai,
                               const fourfifths::min_ai_result& answer) {
  return {{"min_ai", min_ai},
          {"reached", reached(answer)},
          {"weighting", weighting_json(*answer.value, s.predictor_names)}};
}

figure front_figure(const scenario& s, const fourfifths::pareto_front& front,
                    const weighting_outcome* answer) {
  const bool validity = front.options.objective == pareto_objective::validity;
  auto quality = [&](const weighting_outcome& w) {
    return validity ? w.validity : w.mean.value_or(std::nan(""));
  };
  // Where a weighting selects the minority more often than the majority,
  // the axis is the lower rate over the higher, the rule's measure; else it
  // is the impact ratio, which is the same number.
  const auto beyond_parity = [](const weighting_outcome& w) { return w.solved && w.ai_ratio > 1; };
  const bool either_way = std::any_of(front.points.begin(), front.points.end(), beyond_parity) ||
                          beyond_parity(front.unit) || beyond_parity(front.regression) ||
                          (front.given && beyond_parity(*front.given)) ||
                          (answer != nullptr && beyond_parity(*answer));
  const auto across = [&](const weighting_outcome& w) {
    return either_way ? w.ratio_to_highest : w.ai_ratio;
  };
  series line{.label = "Pareto front", .style = mark::line_and_points, .colour = 0};
  for (const weighting_outcome& w : front.points) {
    line.x.push_back(across(w));
    line.y.push_back(quality(w));
  }
  panel p;
  p.title = s.title;
  p.x.title = (either_way ? "Lower group's rate / higher group's rate at "
                          : "Impact ratio (minority / majority) at ") +
              ratio_description(front.options);
  p.y.title = validity ? "Validity of the predictor composite"
                       : "Mean criterion score of those selected (SD)";
  p.lines.push_back(std::move(line));
  p.references.push_back(
      {.dir = reference_line::orientation::vertical, .value = 0.8, .label = "four-fifths"});
  auto mark_at = [&](const weighting_outcome& w, const char* label, shape form, int colour) {
    if (w.solved && std::isfinite(quality(w))) {
      p.markers.push_back(
          {.x = across(w), .y = quality(w), .label = label, .form = form, .colour = colour});
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

namespace {

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
  // A weighting that selects the minority more often says what the rule
  // reads: the majority's rate against the minority's.
  const std::string majority_side =
      w.solved && w.ai_ratio > 1
          ? " (the majority's rate " + fixed4(w.ratio_to_highest, "-") + " of the minority's)"
          : "";
  return "impact ratio " + fixed4(w.ai_ratio, "-") + majority_side + ", validity " +
         fixed4(w.validity, "-") + ", mean " + fixed4(w.mean, "-") + ", selection rates " +
         fixed4(w.sr_majority, "-") + " and " + fixed4(w.sr_minority, "-") +
         ", four-fifths minimum " + fixed4(w.four_fifths_minimum, "none") +
         "\n  weights: " + weights_text(w, names) + "\n";
}

bool reached(const fourfifths::min_ai_result& answer) {
  return answer.status == fourfifths::pareto_status::found;
}

}  // namespace

std::string front_text(const scenario& s, const fourfifths::pareto_front& front) {
  std::string out =
      "Pareto front at " + ratio_description(front.options) + ", from the highest quality:\n";
  for (std::size_t k = 0; k < front.points.size(); ++k) {
    out += std::to_string(k + 1) + ". " + point_text(front.points[k], s.predictor_names);
  }
  return out;
}

std::string front_output(const scenario& s, const fourfifths::pareto_front& front,
                         table_format format) {
  switch (format) {
    case table_format::csv:
      return front_csv(front.points, s.spec.predictors);
    case table_format::json:
      return front_json(s, front);
    case table_format::text:
      return front_text(s, front);
  }
  return {};
}

std::string unreachable_message(const fourfifths::pareto_options& o, double min_ai,
                                const fourfifths::min_ai_result& answer) {
  char line[200];
  std::snprintf(line, sizeof line,
                "no weighting reaches an impact ratio of %g at %s; the highest reachable is "
                "%.4f, with the weighting written",
                min_ai, ratio_description(o).c_str(), answer.value->ratio_to_highest);
  return line;
}

std::string min_ai_output(const scenario& s, const fourfifths::pareto_options& o, double min_ai,
                          const fourfifths::min_ai_result& answer, table_format format) {
  const weighting_outcome& best = *answer.value;
  switch (format) {
    case table_format::csv:
      return frame_csv(min_ai_frame(s, answer));
    case table_format::json:
      return min_ai_json(s, min_ai, answer);
    case table_format::text:
      return std::string(reached(answer) ? "The best weighting with an impact ratio of at least "
                                         : "No weighting reaches an impact ratio of ") +
             fixed4(min_ai, "-") + " at " + ratio_description(o) +
             (reached(answer) ? ":\n  " : "; the highest reachable:\n  ") +
             point_text(best, s.predictor_names);
  }
  return {};
}

}  // namespace present

namespace present {

namespace {

using fourfifths::group_weighting_outcome;

// The minority group with the lowest rate (1-based in the outcome's
// groups, the majority being 0), or 0 unsolved.
std::size_t lowest_minority(const group_weighting_outcome& w) {
  const std::vector<fourfifths::group_rate>& g = w.outcome.groups;
  if (!w.outcome.solved() || g.size() < 2) return 0;
  std::size_t low = 1;
  for (std::size_t k = 2; k < g.size(); ++k) {
    if (g[k].sr < g[low].sr) low = k;
  }
  return low;
}

nlohmann::json group_weighting_json(const scenario& s, const group_weighting_outcome& w) {
  nlohmann::json groups = nlohmann::json::array();
  const bool solved = w.outcome.solved();
  for (std::size_t k = 0; k < w.outcome.groups.size(); ++k) {
    const fourfifths::group_rate& r = w.outcome.groups[k];
    nlohmann::json g = {
        {"name", r.name},
        {"sr", json_number(solved ? std::optional(r.sr) : std::nullopt)},
        {"ai_vs_majority", json_number(solved ? std::optional(r.ai_vs_majority) : std::nullopt)},
        {"ratio_to_highest",
         json_number(solved ? std::optional(r.ratio_to_highest) : std::nullopt)},
        {"mean", json_number(solved ? std::optional(r.mean) : std::nullopt)}};
    if (k > 0) g["composite_d"] = json_number(w.composite_d[k - 1]);
    groups.push_back(std::move(g));
  }
  weighting_outcome one;
  one.weights = w.weights;
  nlohmann::json weights = weighting_json(one, s.predictor_names)["weights"];
  return {{"validity", json_number(w.validity)},
          {"mean", json_number(solved ? w.outcome.mean : std::nullopt)},
          {"lowest_ratio_to_highest",
           json_number(solved ? std::optional(w.lowest_ratio_to_highest) : std::nullopt)},
          {"groups", groups},
          {"four_fifths_minimum", json_number(w.four_fifths_minimum)},
          {"bound", json_number(std::isnan(w.bound) ? std::nullopt : std::optional(w.bound))},
          {"gap", json_number(std::isnan(w.gap) ? std::nullopt : std::optional(w.gap))},
          {"proved_optimal", w.proved_optimal},
          {"weights", weights},
          {"weight_list", w.weights}};
}

std::string group_point_text(const scenario& s, const group_weighting_outcome& w) {
  std::string out = "lowest ratio to the highest rate " + fixed4(w.lowest_ratio_to_highest, "-") +
                    ", validity " + fixed4(w.validity, "-") + ", mean " +
                    fixed4(w.outcome.solved() ? w.outcome.mean : std::nullopt, "-") +
                    ", four-fifths minimum " + fixed4(w.four_fifths_minimum, "none");
  if (!std::isnan(w.bound)) {
    out +=
        w.proved_optimal ? ", proved optimal" : ", within " + fixed4(w.gap, "-") + " of the bound";
  }
  out += "\n  ratios to the highest rate:";
  for (std::size_t k = 0; k < w.outcome.groups.size(); ++k) {
    out += (k == 0 ? " " : ", ") + w.outcome.groups[k].name + " " +
           fixed4(w.outcome.solved() ? std::optional(w.outcome.groups[k].ratio_to_highest)
                                     : std::nullopt,
                  "-");
  }
  weighting_outcome one;
  one.weights = w.weights;
  return out + "\n  weights: " + weights_text(one, s.predictor_names) + "\n";
}

bool group_reached(const fourfifths::group_min_ai_result& answer) {
  return answer.status == fourfifths::pareto_status::found;
}

}  // namespace

frame group_front_frame(const scenario& s, const std::vector<group_weighting_outcome>& points,
                        const std::vector<std::string>& labels) {
  front_columns c(points.size(), labels, s.spec.predictors, s.groups.size() + 2);
  const std::size_t lowest = c.f.columns.size();
  c.f.add("lowest_ratio_to_highest", column_type::number,
          "the lowest of every group's rate / the highest rate");
  c.f.add("ratio_to_highest_" + std::string(fourfifths::majority_group_name), column_type::number,
          "the majority's rate / the highest rate");
  for (const fourfifths::minority_group& g : s.groups) {
    c.f.add("ratio_to_highest_" + g.name, column_type::number,
            "the group's rate / the highest rate");
  }
  for (const group_weighting_outcome& w : points) {
    const bool solved = w.outcome.solved();
    const std::size_t low = lowest_minority(w);
    const auto value = [&](double v) { return solved ? std::optional<double>(v) : std::nullopt; };
    const std::vector<fourfifths::group_rate>& g = w.outcome.groups;
    const std::array<std::optional<double>, 9> values{
        low != 0 ? value(g[low].ai_vs_majority) : std::nullopt,
        std::optional<double>(w.validity),
        solved ? w.outcome.mean : std::nullopt,
        value(g.front().mean),
        low != 0 ? value(g[low].mean) : std::nullopt,
        value(g.front().sr),
        low != 0 ? value(g[low].sr) : std::nullopt,
        low != 0 ? std::optional<double>(w.composite_d[low - 1]) : std::nullopt,
        w.four_fifths_minimum};
    c.push_row(values, w.weights);
    c.push(lowest, value(w.lowest_ratio_to_highest));
    for (std::size_t k = 0; k < s.groups.size() + 1; ++k) {
      c.push(lowest + 1 + k, k < g.size() ? value(g[k].ratio_to_highest) : std::nullopt);
    }
  }
  return std::move(c.f);
}

std::string group_front_csv(const scenario& s, const std::vector<group_weighting_outcome>& points,
                            const std::vector<std::string>& labels) {
  return frame_csv(group_front_frame(s, points, labels));
}

frame group_front_frame(const scenario& s, const fourfifths::group_pareto_front& front) {
  return group_front_frame(s, front.points, {});
}

frame group_min_ai_frame(const scenario& s, const fourfifths::group_min_ai_result& answer) {
  return group_front_frame(s, {*answer.value}, {group_reached(answer) ? "best" : "highest"});
}

nlohmann::json group_front_document(const scenario& s,
                                    const fourfifths::group_pareto_front& front) {
  const fourfifths::pareto_options& o = front.options;
  nlohmann::json list = nlohmann::json::array();
  for (const group_weighting_outcome& w : front.points) list.push_back(group_weighting_json(s, w));
  nlohmann::json j = {{"ratio", o.ratio},
                      {"mode", name_of(o.mode)},
                      {"objective", name_of(o.objective)},
                      {"predictors", s.predictor_names},
                      {"proved_optimal", front.proved_optimal},
                      {"points", list},
                      {"unit", group_weighting_json(s, front.unit)},
                      {"regression", group_weighting_json(s, front.regression)}};
  if (front.given) j["given"] = group_weighting_json(s, *front.given);
  return j;
}

std::string group_front_output(const scenario& s, const fourfifths::group_pareto_front& front,
                               table_format format) {
  switch (format) {
    case table_format::csv:
      return frame_csv(group_front_frame(s, front));
    case table_format::json:
      return group_front_document(s, front).dump(2) + "\n";
    case table_format::text: {
      std::string out = "Pareto front with several groups at " + ratio_description(front.options) +
                        ", from the highest quality:\n";
      for (std::size_t k = 0; k < front.points.size(); ++k)
        out += std::to_string(k + 1) + ". " + group_point_text(s, front.points[k]);
      return out;
    }
  }
  return {};
}

figure group_front_figure(const scenario& s, const fourfifths::group_pareto_front& front,
                          const group_weighting_outcome* answer) {
  const bool validity = front.options.objective == pareto_objective::validity;
  auto quality = [&](const group_weighting_outcome& w) {
    return validity ? w.validity : w.outcome.mean.value_or(std::nan(""));
  };
  series line{.label = "Pareto front", .style = mark::line_and_points, .colour = 0};
  for (const group_weighting_outcome& w : front.points) {
    line.x.push_back(w.lowest_ratio_to_highest);
    line.y.push_back(quality(w));
  }
  panel p;
  p.title = s.title;
  p.x.title =
      "Lowest ratio to the highest rate (every group) at " + ratio_description(front.options);
  p.y.title = validity ? "Validity of the predictor composite"
                       : "Mean criterion score of those selected (SD)";
  p.lines.push_back(std::move(line));
  p.references.push_back(
      {.dir = reference_line::orientation::vertical, .value = 0.8, .label = "four-fifths"});
  auto mark_at = [&](const group_weighting_outcome& w, const char* label, shape form, int colour) {
    if (w.outcome.solved() && std::isfinite(quality(w))) {
      p.markers.push_back({.x = w.lowest_ratio_to_highest,
                           .y = quality(w),
                           .label = label,
                           .form = form,
                           .colour = colour});
    }
  };
  mark_at(front.regression, "regression weights", shape::square, 6);
  mark_at(front.unit, "unit weights", shape::circle, 1);
  if (front.given) mark_at(*front.given, "given weights", shape::diamond, 2);
  if (answer != nullptr) mark_at(*answer, "best at the minimum ratio", shape::triangle, 3);
  figure f;
  f.title = validity ? "Validity and adverse impact over several groups"
                     : "Quality of those selected and adverse impact over several groups";
  f.panels.push_back(std::move(p));
  return f;
}

nlohmann::json group_min_ai_document(const scenario& s, double min_ai,
                                    const fourfifths::group_min_ai_result& answer) {
  return {{"min_ai", min_ai},
          {"reached", group_reached(answer)},
          {"weighting", group_weighting_json(s, *answer.value)}};
}

std::string group_unreachable_message(const fourfifths::pareto_options& o, double min_ai,
                                      const fourfifths::group_min_ai_result& answer) {
  char line[240];
  std::snprintf(line, sizeof line,
                "no weighting found reaches a lowest ratio to the highest rate of %g at %s; the "
                "highest found is %.4f, with the weighting written",
                min_ai, ratio_description(o).c_str(), answer.value->lowest_ratio_to_highest);
  return line;
}

std::string group_min_ai_output(const scenario& s, const fourfifths::pareto_options& o,
                                double min_ai, const fourfifths::group_min_ai_result& answer,
                                table_format format) {
  const group_weighting_outcome& best = *answer.value;
  switch (format) {
    case table_format::csv:
      return frame_csv(group_min_ai_frame(s, answer));
    case table_format::json:
      return group_min_ai_document(s, min_ai, answer).dump(2) + "\n";
    case table_format::text:
      return std::string(
                 group_reached(answer)
                     ? "The best weighting with a lowest ratio to the highest rate of "
                       "at least "
                     : "No weighting found reaches a lowest ratio to the highest rate of ") +
             fixed4(min_ai, "-") + " at " + ratio_description(o) +
             (group_reached(answer) ? ":\n  " : "; the highest found:\n  ") +
             group_point_text(s, best);
  }
  return {};
}

}  // namespace present
