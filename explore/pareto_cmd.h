// The pareto subcommand: the Pareto-optimal predictor weightings of a
// scenario at one selection ratio, as a table and a chart; or the single
// best weighting whose impact ratio reaches a given value. What it writes
// is made in pareto_output.h.
#ifndef FOURFIFTHS_EXPLORE_PARETO_CMD_H_
#define FOURFIFTHS_EXPLORE_PARETO_CMD_H_

#include <optional>
#include <string>
#include <vector>

#include "fourfifths/pareto.h"
#include "present/names.h"
#include "present/calibration_output.h"
#include "present/pareto_output.h"
#include "present/scenario.h"

namespace explore {

struct pareto_command_options {
  std::string scenario;
  fourfifths::pareto_options front;
  std::optional<double> min_ai;
  present::table_format format = present::table_format::csv;
  std::string output = "-";
  std::string plot;  ///< the chart's file, when asked for
  /// --calibration-n and what goes with it: the front's points in new
  /// applicants when the weights come from calibration samples.
  std::optional<present::calibration_request> calibration;
};

/// Exit status 0; 2 for bad input or a question the scenario cannot answer;
/// 3 when no weighting reaches the impact ratio of --min-ai (the weighting
/// with the highest ratio reachable is written instead).
int run_pareto(const pareto_command_options& o);

}  // namespace explore

#endif  // FOURFIFTHS_EXPLORE_PARETO_CMD_H_
