// A study: one scenario of G >= 1 minority groups and what every face asks
// of it. It is built once from a scenario read without errors and chooses,
// once for each verb, between the engine's one-group analysis (exact front,
// the classic method too) and its analysis of several groups; a face calls
// its verbs and never asks how many groups there are to know what to call.
// Every verb returns a value that gives its answer as a frame of typed
// columns, as a JSON document, and as text in each of the formats.
#ifndef FOURFIFTHS_PRESENT_STUDY_H_
#define FOURFIFTHS_PRESENT_STUDY_H_

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "fourfifths/group_pareto.h"
#include "fourfifths/pareto.h"
#include "present/calibration_output.h"
#include "present/chart.h"
#include "present/frame.h"
#include "present/group_table.h"
#include "present/names.h"
#include "present/scenario.h"
#include "present/table.h"

namespace present {

/// What a table is asked for beyond its method and ratios.
struct table_request {
  /// Pools of `pool->applicants` drawn from the scenario: the chances that
  /// a pool fails the four-fifths rule or differs significantly, at every
  /// row (see pool_columns.h).
  std::optional<fourfifths::pool_options> pool;
};

/// The table of a study at selection ratios (see table and group_table).
class study_table {
 public:
  explicit study_table(std::variant<table, group_table> t) : t_(std::move(t)) {}
  /// The rows as typed columns: table_frame's or group_table_frame's.
  frame columns() const;
  /// The table as a JSON value: the method, the four-fifths minimum, the rows.
  nlohmann::json document() const;
  /// The table in a format (JSON laid out for reading).
  std::string output(table_format format) const;
  /// Whether the four-fifths minimum was found, and its ratio.
  std::optional<double> minimum_ratio() const;

 private:
  std::variant<table, group_table> t_;
};

/// The best weighting at a least impact ratio (the lowest ratio to the
/// highest rate over every group), or why there is none.
class study_best {
 public:
  using result = std::variant<fourfifths::min_ai_result, fourfifths::group_min_ai_result>;
  study_best(const scenario& s, const fourfifths::pareto_options& o, double level, result r)
      : s_(&s), options_(o), level_(level), r_(std::move(r)) {}

  bool found() const;
  /// Whether the weighting reaches the level (else it is the highest found).
  bool reached() const;
  const std::vector<fourfifths::fault>& errors() const;
  const std::vector<fourfifths::fault>& warnings() const;
  /// What to say when the weighting does not reach the level.
  std::string unreachable_message() const;
  /// One row, labelled "best" or "highest" (and the robust choice's
  /// columns, append_robust_columns).
  frame columns() const;
  /// {"min_ai", "reached", "weighting"} (and "robust").
  nlohmann::json document() const;
  std::string output(table_format format) const;
  const result& value() const { return r_; }
  /// The level to ask of a calibration sample, when a calibration was
  /// asked for (choose_robust_level).
  const std::optional<fourfifths::robust_result>& robust() const { return robust_; }

 private:
  friend class study;
  const scenario* s_;
  fourfifths::pareto_options options_;
  double level_;
  result r_;
  std::optional<calibration_request> request_;
  std::optional<fourfifths::robust_result> robust_;
};

/// The front of quality against adverse impact at a selection ratio, or why
/// there is none.
class study_front {
 public:
  using result = std::variant<fourfifths::pareto_result, fourfifths::group_pareto_result>;
  study_front(const scenario& s, result r) : s_(&s), r_(std::move(r)) {}

  /// Whether the front and, when asked for, its calibration were found.
  bool found() const;
  const std::vector<fourfifths::fault>& errors() const;
  const std::vector<fourfifths::fault>& warnings() const;
  /// The points, numbered from 1 from the highest quality.
  frame columns() const;
  nlohmann::json document() const;
  std::string output(table_format format) const;
  /// The chart, with the answer to a least ratio marked when one is given
  /// (a found one of the same study).
  figure chart(const study_best* answer) const;
  /// Every calibration sample's values (draws_frame), when the calibration
  /// asked to keep them.
  frame draw_columns() const;
  /// The front's points in new applicants, when a calibration was asked for.
  const std::optional<fourfifths::cross_validation_result>& calibration() const {
    return calibration_;
  }

 private:
  friend class study;
  const scenario* s_;
  result r_;
  std::optional<calibration_request> request_;
  std::optional<fourfifths::cross_validation_result> calibration_;
  /// The published formula's shrinkage, where it applies.
  std::optional<std::vector<fourfifths::shrunken_weighting>> formula_;
};

class study {
 public:
  /// A scenario read without errors: its value and its problem (of one
  /// minority group or of several); std::invalid_argument for any other.
  explicit study(loaded_scenario s);

  const scenario& names() const { return *s_.value; }
  const loaded_scenario& loaded() const { return s_; }
  /// Whether the scenario gives its minority groups as "groups" (one or
  /// more): they are then analysed by the precise method only.
  bool grouped() const { return s_.group_problem.has_value(); }

  /// Why a method cannot analyse the study, if it cannot.
  std::optional<fourfifths::fault> method_fault(fourfifths::method m) const;
  /// The table: at `ratios`, or at the built-in ratios, the minimum and the
  /// scenario's requested ratios. The method must be one method_fault allows.
  study_table table(fourfifths::method m, const std::optional<std::vector<double>>& ratios) const;
  /// The same with the chances of finite pools, which pool_fault must allow.
  study_table table(fourfifths::method m, const std::optional<std::vector<double>>& ratios,
                    const table_request& request) const;
  /// Why pools of these options cannot be drawn from the study, if they
  /// cannot (its path "applicants", "replications" or "scenario").
  std::optional<fourfifths::fault> pool_fault(const fourfifths::pool_options& o) const;
  /// The chart across selection ratios, under the scenario's title.
  figure chart(fourfifths::method m) const;
  /// The front at the options' ratio; with a calibration request, also what
  /// each point's level gives in new applicants when the weights come from
  /// calibration samples (cross_validation.h).
  study_front front(const fourfifths::pareto_options& o,
                    const std::optional<calibration_request>& calibration = std::nullopt) const;
  /// The best weighting under which every group reaches `level` of the
  /// highest rate; with a calibration request, also the level to ask of a
  /// calibration sample so that 95 % of samples reach `level` in new
  /// applicants.
  study_best best(const fourfifths::pareto_options& o, double level,
                  const std::optional<calibration_request>& calibration = std::nullopt) const;

 private:
  loaded_scenario s_;
};

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_STUDY_H_
