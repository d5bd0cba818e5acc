// The pareto subcommand: the Pareto-optimal predictor weightings of a
// scenario at one selection ratio, as a table and a chart; or the single
// best weighting whose impact ratio reaches a given value.
#ifndef FOURFIFTHS_EXPLORE_PARETO_CMD_H_
#define FOURFIFTHS_EXPLORE_PARETO_CMD_H_

#include <optional>
#include <string>
#include <vector>

#include "explore/chart.h"
#include "explore/scenario.h"
#include "explore/table.h"
#include "fourfifths/pareto.h"

namespace explore {

struct pareto_command_options {
  std::string scenario;
  fourfifths::pareto_options front;
  std::optional<double> min_ai;
  table_format format = table_format::csv;
  std::string output = "-";
  std::string plot;  ///< the chart's file, when asked for
};

/// Exit status 0; 2 for bad input or a question the scenario cannot answer;
/// 3 when no weighting reaches the impact ratio of --min-ai (the weighting
/// with the highest ratio reachable is written instead).
int run_pareto(const pareto_command_options& o);

/// The front's rows (CSV): point, ai_ratio, validity, mean, mean_majority,
/// mean_minority, sr_majority, sr_minority, composite_d,
/// four_fifths_minimum, w1..wN.
std::string front_csv(const std::vector<fourfifths::weighting_outcome>& points, int predictors,
                      const std::vector<std::string>& labels);

/// The chart of the front: impact ratio across, quality up, the
/// four-fifths line, and the unit, regression and given weightings (and
/// the answer to --min-ai) marked.
figure front_figure(const scenario& s, const fourfifths::pareto_front& front,
                    const fourfifths::weighting_outcome* answer);

}  // namespace explore

#endif  // FOURFIFTHS_EXPLORE_PARETO_CMD_H_
