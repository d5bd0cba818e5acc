// One run of the classic program, without the process: the deck in, the
// report and the diagnostics out as text, and the exit status.
#ifndef FOURFIFTHS_ANALYSIS_CLASSIC_RUN_H_
#define FOURFIFTHS_ANALYSIS_CLASSIC_RUN_H_

#include <string>
#include <string_view>

#include "recordio/deck_input.h"

namespace analysis {

/// Exit statuses of a run.
inline constexpr int status_normal = 0;
inline constexpr int status_interrupted = 1;
inline constexpr int status_failure = 2;

struct run_result {
  std::string report;       ///< standard output
  std::string diagnostics;  ///< standard error
  int status = status_normal;
};

/// Reads the deck, analyses it with the classic method and renders the
/// report. A deck whose header fails its check gives its messages as the
/// report and the failure status; a deck that cannot be read, or asks for
/// more ratios than the table holds, gives the diagnostics and the failure
/// status.
run_result run_classic(recordio::deck_input& deck);
/// The same on a deck in memory (tests, the fuzz target, the benchmarks).
run_result run_classic(std::string_view deck);

}  // namespace analysis

#endif  // FOURFIFTHS_ANALYSIS_CLASSIC_RUN_H_
