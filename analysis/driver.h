// The driver: reads one problem deck, checks its header, and writes the
// report, section by section.
#ifndef FOURFIFTHS_ANALYSIS_DRIVER_H_
#define FOURFIFTHS_ANALYSIS_DRIVER_H_

#include <string>
#include <string_view>

#include "recordio/session.h"

namespace analysis {

/// The whole run on a session. Returns at the normal stop; every other end
/// leaves as a `recordio::run_end` (see `recordio::run_to_end`).
void driver(recordio::session& s);

/// Validates the deck's header, writing one message for each failing test;
/// returns `ierr`: 0 when the header is acceptable, 1 when it is not.
/// `nv` is np + nc, formed without overflow. `nsr` is not examined.
int check(recordio::session& s, int np, int nc, long long nv, int iosr, int ireg, int icrit,
          int nsr, double ratio);

/// A whole run in memory, for tests, the fuzz target and the benchmarks.
struct run_result {
  std::string report;       ///< standard output
  std::string diagnostics;  ///< standard error
  int status = 0;           ///< exit status
};
run_result run_in_memory(std::string_view deck);

}  // namespace analysis

#endif  // FOURFIFTHS_ANALYSIS_DRIVER_H_
