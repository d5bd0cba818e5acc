#include "present/study.h"

#include <stdexcept>
#include <type_traits>
#include <utility>

#include "fourfifths/analysis.h"
#include "present/arguments.h"
#include "present/pareto_output.h"
#include "present/plot.h"

namespace present {

namespace {

// One lambda per alternative of a variant.
template <class... F>
struct overloaded : F... {
  using F::operator()...;
};
// Spelt out for compilers without the deduction of aggregates' arguments
// (the page's).
template <class... F>
overloaded(F...) -> overloaded<F...>;

// Whether a search found its answer, and its errors or its warnings,
// whichever search the study made.
template <class Search>
bool found_in(const Search& search) {
  return std::visit([](const auto& r) { return r.value.has_value(); }, search);
}

template <class Search>
const std::vector<fourfifths::fault>& faults_of(const Search& search, bool errors) {
  return std::visit(
      [errors](const auto& r) -> const std::vector<fourfifths::fault>& {
        return errors ? r.errors : r.warnings;
      },
      search);
}

}  // namespace

// --- The table ----------------------------------------------------------------

frame study_table::columns() const {
  return std::visit(overloaded{[](const table& t) { return table_frame(t); },
                               [](const group_table& t) { return group_table_frame(t); }},
                    t_);
}

nlohmann::json study_table::document() const {
  return std::visit(overloaded{[](const table& t) { return table_document(t); },
                               [](const group_table& t) { return group_table_document(t); }},
                    t_);
}

std::string study_table::output(table_format format) const {
  switch (format) {
    case table_format::csv:
      return frame_csv(columns());
    case table_format::json:
      return std::visit(overloaded{[](const table& t) { return table_json(t, nullptr, false); },
                                   [](const group_table& t) { return group_table_json(t); }},
                        t_);
    case table_format::text:
      return std::visit(overloaded{[](const table& t) { return table_text(t); },
                                   [](const group_table& t) { return group_table_text(t); }},
                        t_);
  }
  return {};
}

std::optional<double> study_table::minimum_ratio() const {
  return std::visit(overloaded{[](const table& t) {
                                 return t.minimum.found && t.at_minimum
                                            ? std::optional<double>(t.at_minimum->target)
                                            : std::nullopt;
                               },
                               [](const group_table& t) {
                                 return t.minimum.found ? std::optional<double>(t.minimum.ratio)
                                                        : std::nullopt;
                               }},
                    t_);
}

// --- The best weighting at a least ratio ----------------------------------------

bool study_best::found() const {
  return found_in(r_) && (!robust_ || robust_->value.has_value());
}

bool study_best::reached() const {
  return std::visit(
      [](const auto& r) { return r.value && r.status == fourfifths::pareto_status::found; }, r_);
}

const std::vector<fourfifths::fault>& study_best::errors() const {
  if (found_in(r_) && robust_ && !robust_->value) return robust_->errors;
  return faults_of(r_, true);
}

const std::vector<fourfifths::fault>& study_best::warnings() const { return faults_of(r_, false); }

std::string study_best::unreachable_message() const {
  return std::visit(
      [&](const auto& r) { return present::unreachable_message(options_, level_, r); }, r_);
}

frame study_best::columns() const {
  frame f = std::visit([&](const auto& r) { return min_ai_frame(*s_, r); }, r_);
  if (robust_ && robust_->value) append_robust_columns(f, *robust_->value);
  return f;
}

nlohmann::json study_best::document() const {
  nlohmann::json doc =
      std::visit([&](const auto& r) { return min_ai_document(*s_, level_, r); }, r_);
  if (robust_ && robust_->value) doc["robust"] = robust_document(*robust_->value, *request_);
  return doc;
}

std::string study_best::output(table_format format) const {
  if (!robust_ || !robust_->value) {
    return std::visit(
        [&](const auto& r) { return min_ai_output(*s_, options_, level_, r, format); }, r_);
  }
  switch (format) {
    case table_format::csv:
      return frame_csv(columns());
    case table_format::json:
      return document().dump(2) + "\n";
    case table_format::text:
      break;
  }
  return std::visit([&](const auto& r) { return min_ai_output(*s_, options_, level_, r, format); },
                    r_) +
         robust_text(*robust_->value, *request_);
}

// --- The front ------------------------------------------------------------------

bool study_front::found() const {
  return found_in(r_) && (!calibration_ || calibration_->value.has_value());
}

const std::vector<fourfifths::fault>& study_front::errors() const {
  if (found_in(r_) && calibration_ && !calibration_->value) return calibration_->errors;
  return faults_of(r_, true);
}

const std::vector<fourfifths::fault>& study_front::warnings() const { return faults_of(r_, false); }

frame study_front::columns() const {
  frame f = std::visit([&](const auto& r) { return front_frame(*s_, *r.value); }, r_);
  if (calibration_ && calibration_->value) {
    append_calibration_columns(f, *calibration_->value);
    append_formula_columns(f, formula_ ? &*formula_ : nullptr);
  }
  return f;
}

frame study_front::draw_columns() const {
  if (calibration_ && calibration_->value) return draws_frame(*calibration_->value);
  return {};
}

nlohmann::json study_front::document() const {
  nlohmann::json doc =
      std::visit([&](const auto& r) { return front_document(*s_, *r.value); }, r_);
  if (calibration_ && calibration_->value) {
    doc["calibration"] =
        calibration_document(*calibration_->value, *request_, formula_ ? &*formula_ : nullptr);
  }
  return doc;
}

std::string study_front::output(table_format format) const {
  if (!calibration_) {
    return std::visit([&](const auto& r) { return front_output(*s_, *r.value, format); }, r_);
  }
  switch (format) {
    case table_format::csv:
      return frame_csv(columns());
    case table_format::json:
      return document().dump(2) + "\n";
    case table_format::text:
      break;
  }
  return std::visit([&](const auto& r) { return front_output(*s_, *r.value, format); }, r_) +
         calibration_text(*calibration_->value, *request_, formula_ ? &*formula_ : nullptr);
}

figure study_front::chart(const study_best* answer) const {
  figure chart = std::visit(
      [&](const auto& r) {
        // The answer's weighting, when it is of the same kind as the front's.
        using point = std::remove_cvref_t<decltype(r.value->unit)>;
        const auto* best = answer == nullptr
                               ? nullptr
                               : std::get_if<fourfifths::search_result<point>>(&answer->value());
        return front_figure(*s_, *r.value,
                            best != nullptr && best->value ? &*best->value : nullptr);
      },
      r_);
  if (calibration_ && calibration_->value) {
    const bool validity = std::visit(
        [](const auto& r) {
          return r.value->options.objective == fourfifths::pareto_objective::validity;
        },
        r_);
    append_calibration_series(chart, *calibration_->value, *request_, validity);
  }
  return chart;
}

// --- The study ------------------------------------------------------------------

study::study(loaded_scenario s) : s_(std::move(s)) {
  if (!s_.value || !s_.errors.empty() || s_.problem.has_value() == s_.group_problem.has_value()) {
    throw std::invalid_argument("a study is made of a scenario read without errors");
  }
}

std::optional<fourfifths::fault> study::method_fault(fourfifths::method m) const {
  return present::method_fault(m, grouped());
}

study_table study::table(fourfifths::method m,
                         const std::optional<std::vector<double>>& ratios) const {
  return table(m, ratios, {});
}

study_table study::table(fourfifths::method m, const std::optional<std::vector<double>>& ratios,
                         const table_request& request) const {
  auto population = [&] {
    auto p = grouped() ? pool_population_of(*s_.group_problem) : pool_population_of(*s_.problem);
    if (!p) throw std::invalid_argument("pools: the scenario gives no shares of the applicants");
    return *p;
  };
  if (grouped()) {
    group_table t = make_group_table(*s_.group_problem, ratios);
    if (request.pool) add_pool_chances(t, population(), *request.pool);
    return study_table(std::move(t));
  }
  present::table t = make_table(*s_.problem, m, ratios);
  if (request.pool) add_pool_chances(t, population(), *request.pool);
  return study_table(std::move(t));
}

std::optional<fourfifths::fault> study::pool_fault(const fourfifths::pool_options& o) const {
  return present::pool_fault(
      grouped() ? pool_population_of(*s_.group_problem) : pool_population_of(*s_.problem), o);
}

figure study::chart(fourfifths::method m) const {
  if (grouped()) return group_plot_figure(*s_.group_problem, names().title);
  return plot_figure(fourfifths::model_of(*s_.problem), m, names().title);
}

namespace {

// The scenario's population as a problem of groups: the study's own, or
// its one-group problem written as one group; on `result` the faults when
// that cannot be written. Calls `f` with it and keeps what it gives.
template <class R, class F>
void on_population(const loaded_scenario& s, std::optional<R>& result, F f) {
  if (s.group_problem) {
    result = f(*s.group_problem);
  } else if (const fourfifths::group_problem_result p = as_group_problem(*s.problem); p.value) {
    result = f(*p.value);
  } else {
    result.emplace();
    result->status = fourfifths::pareto_status::bad_options;
    result->errors = p.errors;
  }
}

// The level of each point of a front: 0 for the first (the highest
// quality, whatever its ratio), then each point's own lowest ratio to the
// highest rate.
std::vector<double> levels_of(const study_front::result& r) {
  std::vector<double> levels;
  std::visit(
      [&](const auto& front) {
        for (const auto& p : front.value->points) {
          if constexpr (std::is_same_v<std::remove_cvref_t<decltype(p)>,
                                       fourfifths::weighting_outcome>) {
            levels.push_back(levels.empty() ? 0.0 : p.ratio_to_highest);
          } else {
            levels.push_back(levels.empty() ? 0.0 : p.lowest_ratio_to_highest);
          }
        }
      },
      r);
  return levels;
}

}  // namespace

study_front study::front(const fourfifths::pareto_options& o,
                         const std::optional<calibration_request>& calibration) const {
  study_front f = grouped()
                      ? study_front{names(), fourfifths::find_group_pareto_front(*s_.group_problem, o)}
                      : study_front{names(), fourfifths::find_pareto_front(*s_.problem, o)};
  if (!calibration || !f.found()) return f;
  const std::vector<double> levels = levels_of(f.r_);
  f.request_ = calibration;
  if (!grouped()) {
    const fourfifths::pareto_front& front = *std::get<fourfifths::pareto_result>(f.r_).value;
    if (fourfifths::shrunken_front_result formula = fourfifths::shrink_front(
            *s_.problem, front, static_cast<double>(calibration->calibration_n));
        formula.value) {
      f.formula_ = std::move(*formula.value);
    }
  }
  on_population(s_, f.calibration_, [&](const fourfifths::group_problem& p) {
    return fourfifths::cross_validate(p, o, levels, *calibration);
  });
  return f;
}

study_best study::best(const fourfifths::pareto_options& o, double level,
                       const std::optional<calibration_request>& calibration) const {
  study_best b = grouped() ? study_best{names(), o, level,
                                        fourfifths::best_group_weighting_for_min_ai(
                                            *s_.group_problem, o, level)}
                           : study_best{names(), o, level,
                                        fourfifths::best_weighting_for_min_ai(*s_.problem, o,
                                                                              level)};
  if (!calibration || !b.found()) return b;
  b.request_ = calibration;
  on_population(s_, b.robust_, [&](const fourfifths::group_problem& p) {
    return fourfifths::choose_robust_level(p, o, level, *calibration);
  });
  return b;
}

}  // namespace present
