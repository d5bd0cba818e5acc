// The fit subcommand: a validation sample (CSV, one row per person) in, the
// scenario it estimates out as JSON (see present/fit.h).
#ifndef FOURFIFTHS_EXPLORE_FIT_CMD_H_
#define FOURFIFTHS_EXPLORE_FIT_CMD_H_

#include <string>

#include "present/fit.h"

namespace explore {

struct fit_command_options {
  std::string data;  ///< the file, or "-" for standard input
  present::fit_request request;
  std::string output = "-";
};

/// Exit status 0, or 2 for data that cannot be read or fitted (said on
/// standard error, nothing written) or output that cannot be written.
int run_fit(const fit_command_options& o);

}  // namespace explore

#endif  // FOURFIFTHS_EXPLORE_FIT_CMD_H_
