// The observed subcommand: observed hiring data (counts per group, or one
// applicant per row, optionally per unit or per step of one process) as
// the tidy table of every
// group's rate against the reference with the four-fifths rule and its
// statistics, and the chart of the rates. What it writes is made in
// present/observed_output.h and present/observed_chart.h.
#ifndef FOURFIFTHS_EXPLORE_OBSERVED_CMD_H_
#define FOURFIFTHS_EXPLORE_OBSERVED_CMD_H_

#include <optional>
#include <string>
#include <vector>

#include "present/names.h"

namespace explore {

struct observed_command_options {
  std::string data;                      ///< the file, or "-" for standard input
  std::optional<std::string> reference;  ///< --reference, over a JSON document's
  std::optional<double> alpha;           ///< --alpha, over a JSON document's
  /// --steps a,b,c: the order of the steps, over a JSON document's
  std::optional<std::vector<std::string>> steps;
  present::table_format format = present::table_format::csv;
  std::string output = "-";
  std::string plot;  ///< the chart's file, when asked for
};

/// Exit status 0, or 2 for data that cannot be read or analysed (said on
/// standard error, nothing written) or output that cannot be written.
int run_observed(const observed_command_options& o);

}  // namespace explore

#endif  // FOURFIFTHS_EXPLORE_OBSERVED_CMD_H_
