// The explorer's subcommands. Each returns the process's exit status: 0
// for success, 2 for bad input or a failed run, 3 where the subcommand
// documents it (batch: some scenarios could not be analysed).
#ifndef FOURFIFTHS_EXPLORE_COMMANDS_H_
#define FOURFIFTHS_EXPLORE_COMMANDS_H_

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "explore/batch.h"
#include "fourfifths/finite_pool.h"
#include "fourfifths/problem.h"
#include "present/output.h"
#include "present/scenario.h"
#include "present/table.h"

namespace explore {

using present::loaded_scenario;
using present::scenario_form;
using present::table_format;

inline constexpr int exit_success = 0;
inline constexpr int exit_failure = 2;
inline constexpr int exit_partial = 3;

/// Writes "fourfifths-explore: <text>" and a newline to standard error.
void complain(std::string_view text);

/// Reads and checks the scenario named `path` ("-" for standard input),
/// with one minority group or several ("groups"). Errors and warnings go
/// to standard error, prefixed with the path. Returns nothing when the
/// scenario cannot be used.
std::optional<loaded_scenario> load(const std::string& path);

/// Writes the command's result, or says why it could not.
int deliver(const std::string& path, std::string_view text);
/// Writes the command's results all or none, or says why it could not.
int deliver(std::span<const present::output> outputs);

struct convert_options {
  std::string scenario;
  scenario_form to = scenario_form::json;
  std::string output = "-";
};
int run_convert(const convert_options& o);

struct table_options {
  std::string scenario;
  fourfifths::method method = fourfifths::method::precise;
  std::optional<std::vector<double>> ratios;  ///< from --ratios or --grid
  table_format format = table_format::csv;
  std::string output = "-";
  /// From --applicants, --replications, --seed and --alpha.
  std::optional<fourfifths::pool_options> pool;
};
int run_table(const table_options& o);

struct plot_options {
  std::string scenario;
  fourfifths::method method = fourfifths::method::precise;
  std::string output;  ///< required; "-" for standard output
};
/// Writes the scenario's figure as SVG (see plot.h).
int run_plot(const plot_options& o);

/// batch: JSON Lines on standard input, the table on standard output, the
/// progress on standard error when it is a terminal (and standard output is
/// not). 0 when every line was analysed, 3 when some gave error rows, 2 when
/// standard input could not be read or standard output written (said on
/// standard error).
int run_batch_command(const batch_options& o);

/// The CPUs this process may run on (at least 1).
unsigned available_cpus();

}  // namespace explore

#endif  // FOURFIFTHS_EXPLORE_COMMANDS_H_
