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

frame points_frame(const scenario& s, const std::vector<weighting_outcome>& points,
                   const std::vector<std::string>& labels) {
  front_columns c(points.size(), labels, s.spec.predictors, 0);
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

}  // namespace

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

}  // namespace

frame points_frame(const scenario& s, const std::vector<group_weighting_outcome>& points,
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

// --- What a front of one group and of several differ in ----------------------

namespace {

// The terms of a front by the type of its points: how a point is written,
// and the measure of adverse impact it is placed by.
template <class Point>
struct terms;

template <>
struct terms<weighting_outcome> {
  static constexpr const char* front_heading = "Pareto front at ";
  static constexpr const char* measure = "an impact ratio";
  static constexpr const char* reaches = "reaches";
  static constexpr const char* highest = "reachable";
  static constexpr const char* validity_title =
      "Validity and adverse impact of predictor weightings";
  static constexpr const char* mean_title =
      "Quality of those selected and adverse impact of predictor weightings";

  static bool solved(const weighting_outcome& w) { return w.solved; }
  static std::optional<double> mean(const weighting_outcome& w) { return w.mean; }
  // The rule's measure: the lower rate over the higher.
  static double rule_measure(const weighting_outcome& w) { return w.ratio_to_highest; }
  // Where a weighting selects the minority more often than the majority,
  // the chart is placed by the rule's measure; else by the impact ratio,
  // which is the same number.
  static bool beyond_parity(const weighting_outcome& w) { return w.solved && w.ai_ratio > 1; }
  static double across(const weighting_outcome& w, bool either_way) {
    return either_way ? w.ratio_to_highest : w.ai_ratio;
  }
  static const char* across_title(bool either_way) {
    return either_way ? "Lower group's rate / higher group's rate at "
                      : "Impact ratio (minority / majority) at ";
  }
  static nlohmann::json json(const scenario& s, const weighting_outcome& w) {
    return weighting_json(w, s.predictor_names);
  }
  static std::string text(const scenario& s, const weighting_outcome& w) {
    return point_text(w, s.predictor_names);
  }
  static void describe(nlohmann::json& j, const fourfifths::pareto_front& front) {
    j["stopped_at_parity"] = front.stopped_at_parity;
  }
  static std::string closing(const fourfifths::pareto_front& /*front*/) { return {}; }
};

template <>
struct terms<group_weighting_outcome> {
  static constexpr const char* front_heading = "Pareto front with several groups at ";
  static constexpr const char* measure = "a lowest ratio to the highest rate";
  static constexpr const char* reaches = "found reaches";
  static constexpr const char* highest = "found";
  static constexpr const char* validity_title = "Validity and adverse impact over several groups";
  static constexpr const char* mean_title =
      "Quality of those selected and adverse impact over several groups";

  static bool solved(const group_weighting_outcome& w) { return w.outcome.solved(); }
  static std::optional<double> mean(const group_weighting_outcome& w) { return w.outcome.mean; }
  static double rule_measure(const group_weighting_outcome& w) { return w.lowest_ratio_to_highest; }
  static bool beyond_parity(const group_weighting_outcome& /*w*/) { return false; }
  static double across(const group_weighting_outcome& w, bool /*either_way*/) {
    return w.lowest_ratio_to_highest;
  }
  static const char* across_title(bool /*either_way*/) {
    return "Lowest ratio to the highest rate (every group) at ";
  }
  static nlohmann::json json(const scenario& s, const group_weighting_outcome& w) {
    return group_weighting_json(s, w);
  }
  static std::string text(const scenario& s, const group_weighting_outcome& w) {
    return group_point_text(s, w);
  }
  static void describe(nlohmann::json& j, const fourfifths::group_pareto_front& front) {
    j["proved_optimal"] = front.proved_optimal;
    j["highest_level_bound"] = json_number(std::isfinite(front.highest_level_bound)
                                               ? std::optional(front.highest_level_bound)
                                               : std::nullopt);
  }
  // How far the far end is from the highest level any weighting reaches.
  static std::string closing(const fourfifths::group_pareto_front& front) {
    if (front.points.empty()) return {};
    const double bound = front.highest_level_bound;
    if (!std::isfinite(bound)) return "The highest lowest ratio any weighting reaches is not certified.\n";
    const double gap = bound - front.points.back().lowest_ratio_to_highest;
    if (gap <= 1e-9) {
      return "No weighting reaches a higher lowest ratio than the last point's: its far end is "
             "proved.\n";
    }
    char within[32];
    std::snprintf(within, sizeof within, "%.1e", gap);
    return "No weighting reaches a lowest ratio above " + fixed4(bound, "-") +
           "; the last point is within " + within + " of it.\n";
  }
};

template <class Point>
bool reached(const fourfifths::search_result<Point>& answer) {
  return answer.status == fourfifths::pareto_status::found;
}

template <class Front>
nlohmann::json document_of(const scenario& s, const Front& front) {
  using T = terms<std::remove_cvref_t<decltype(front.unit)>>;
  const fourfifths::pareto_options& o = front.options;
  nlohmann::json list = nlohmann::json::array();
  for (const auto& w : front.points) list.push_back(T::json(s, w));
  nlohmann::json j = {{"ratio", o.ratio},
                      {"mode", name_of(o.mode)},
                      {"objective", name_of(o.objective)},
                      {"predictors", s.predictor_names},
                      {"points", list},
                      {"unit", T::json(s, front.unit)},
                      {"regression", T::json(s, front.regression)}};
  T::describe(j, front);
  if (front.given) j["given"] = T::json(s, *front.given);
  return j;
}

template <class Front>
std::string text_of(const scenario& s, const Front& front) {
  using T = terms<std::remove_cvref_t<decltype(front.unit)>>;
  std::string out =
      T::front_heading + ratio_description(front.options) + ", from the highest quality:\n";
  for (std::size_t k = 0; k < front.points.size(); ++k) {
    out += std::to_string(k + 1) + ". " + T::text(s, front.points[k]);
  }
  return out + T::closing(front);
}

template <class Front, class Point>
figure figure_of(const scenario& s, const Front& front, const Point* answer) {
  using T = terms<Point>;
  const bool validity = front.options.objective == pareto_objective::validity;
  auto quality = [&](const Point& w) {
    return validity ? w.validity : T::mean(w).value_or(std::nan(""));
  };
  const bool either_way = std::any_of(front.points.begin(), front.points.end(), T::beyond_parity) ||
                          T::beyond_parity(front.unit) || T::beyond_parity(front.regression) ||
                          (front.given && T::beyond_parity(*front.given)) ||
                          (answer != nullptr && T::beyond_parity(*answer));
  series line{.label = "Pareto front", .style = mark::line_and_points, .colour = 0};
  for (const Point& w : front.points) {
    line.x.push_back(T::across(w, either_way));
    line.y.push_back(quality(w));
  }
  panel p;
  p.title = s.title;
  p.x.title = T::across_title(either_way) + ratio_description(front.options);
  p.y.title = validity ? "Validity of the predictor composite"
                       : "Mean criterion score of those selected (SD)";
  p.lines.push_back(std::move(line));
  p.references.push_back(
      {.dir = reference_line::orientation::vertical, .value = 0.8, .label = "four-fifths"});
  auto mark_at = [&](const Point& w, const char* label, shape form, int colour) {
    if (T::solved(w) && std::isfinite(quality(w))) {
      p.markers.push_back({.x = T::across(w, either_way),
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
  f.title = validity ? T::validity_title : T::mean_title;
  f.panels.push_back(std::move(p));
  return f;
}

template <class Point>
nlohmann::json answer_document(const scenario& s, double min_ai,
                               const fourfifths::search_result<Point>& answer) {
  nlohmann::json j = {{"min_ai", min_ai},
                      {"reached", reached(answer)},
                      {"weighting", terms<Point>::json(s, *answer.value)}};
  // Where the level is not reached: the level no weighting exceeds, when
  // one is certified.
  if (!reached(answer) && std::isfinite(answer.highest_level_bound)) {
    j["highest_level_bound"] = answer.highest_level_bound;
  }
  return j;
}

template <class Point>
std::string answer_output(const scenario& s, const fourfifths::pareto_options& o, double min_ai,
                          const fourfifths::search_result<Point>& answer, table_format format) {
  using T = terms<Point>;
  switch (format) {
    case table_format::csv:
      return frame_csv(min_ai_frame(s, answer));
    case table_format::json:
      return answer_document(s, min_ai, answer).dump(2) + "\n";
    case table_format::text:
      return (reached(answer)
                  ? std::string("The best weighting with ") + T::measure + " of at least "
                  : std::string("No weighting ") + T::reaches + " " + T::measure + " of ") +
             fixed4(min_ai, "-") + " at " + ratio_description(o) +
             (reached(answer) ? ":\n  " : std::string("; the highest ") + T::highest + ":\n  ") +
             T::text(s, *answer.value);
  }
  return {};
}

template <class Point>
std::string unreachable_of(const fourfifths::pareto_options& o, double min_ai,
                           const fourfifths::search_result<Point>& answer) {
  using T = terms<Point>;
  char line[240];
  std::snprintf(line, sizeof line,
                "no weighting %s %s of %g at %s; the highest %s is %.4f, with the weighting "
                "written",
                T::reaches, T::measure, min_ai, ratio_description(o).c_str(), T::highest,
                T::rule_measure(*answer.value));
  std::string out = line;
  const double bound = answer.highest_level_bound;
  if (std::isfinite(bound)) {
    std::snprintf(line, sizeof line,
                  bound < min_ai ? "; no weighting reaches more than %.4f"
                                 : "; the bound on every weighting is %.4f, so one the search "
                                   "missed may reach %g",
                  bound, min_ai);
    out += line;
  }
  return out;
}

}  // namespace

namespace {

template <class Front>
std::string output_of(const scenario& s, const Front& front, table_format format) {
  switch (format) {
    case table_format::csv:
      return frame_csv(front_frame(s, front));
    case table_format::json:
      return document_of(s, front).dump(2) + "\n";
    case table_format::text:
      return text_of(s, front);
  }
  return {};
}

}  // namespace

frame front_frame(const scenario& s, const fourfifths::pareto_front& front) {
  return points_frame(s, front.points, {});
}
frame front_frame(const scenario& s, const fourfifths::group_pareto_front& front) {
  return points_frame(s, front.points, {});
}
frame min_ai_frame(const scenario& s, const fourfifths::min_ai_result& answer) {
  return points_frame(s, {*answer.value}, {reached(answer) ? "best" : "highest"});
}
frame min_ai_frame(const scenario& s, const fourfifths::group_min_ai_result& answer) {
  return points_frame(s, {*answer.value}, {reached(answer) ? "best" : "highest"});
}

nlohmann::json front_document(const scenario& s, const fourfifths::pareto_front& front) {
  return document_of(s, front);
}
nlohmann::json front_document(const scenario& s, const fourfifths::group_pareto_front& front) {
  return document_of(s, front);
}

std::string front_output(const scenario& s, const fourfifths::pareto_front& front,
                         table_format format) {
  return output_of(s, front, format);
}
std::string front_output(const scenario& s, const fourfifths::group_pareto_front& front,
                         table_format format) {
  return output_of(s, front, format);
}

figure front_figure(const scenario& s, const fourfifths::pareto_front& front,
                    const weighting_outcome* answer) {
  return figure_of(s, front, answer);
}
figure front_figure(const scenario& s, const fourfifths::group_pareto_front& front,
                    const group_weighting_outcome* answer) {
  return figure_of(s, front, answer);
}

nlohmann::json min_ai_document(const scenario& s, double min_ai,
                               const fourfifths::min_ai_result& answer) {
  return answer_document(s, min_ai, answer);
}
nlohmann::json min_ai_document(const scenario& s, double min_ai,
                               const fourfifths::group_min_ai_result& answer) {
  return answer_document(s, min_ai, answer);
}

std::string min_ai_output(const scenario& s, const fourfifths::pareto_options& o, double min_ai,
                          const fourfifths::min_ai_result& answer, table_format format) {
  return answer_output(s, o, min_ai, answer, format);
}
std::string min_ai_output(const scenario& s, const fourfifths::pareto_options& o, double min_ai,
                          const fourfifths::group_min_ai_result& answer, table_format format) {
  return answer_output(s, o, min_ai, answer, format);
}

std::string unreachable_message(const fourfifths::pareto_options& o, double min_ai,
                                const fourfifths::min_ai_result& answer) {
  return unreachable_of(o, min_ai, answer);
}
std::string unreachable_message(const fourfifths::pareto_options& o, double min_ai,
                                const fourfifths::group_min_ai_result& answer) {
  return unreachable_of(o, min_ai, answer);
}

}  // namespace present
