// The classic program as a value: a deck in, the report, the diagnostics and
// the exit status out. The program itself is a thin main over this.
#ifndef FOURFIFTHS_CLASSIC_H_
#define FOURFIFTHS_CLASSIC_H_

#include <string>
#include <string_view>

namespace fourfifths {

/// The exit statuses of a classic run.
enum class run_status : int {
  normal = 0,       ///< the report is complete
  interrupted = 1,  ///< a signal ended the run (set by the program, never here)
  failure = 2,      ///< a refused deck, an unreadable one, or a fault of the run
};

/// One classic run.
struct classic_run {
  std::string report;       ///< standard output
  std::string diagnostics;  ///< standard error
  run_status status = run_status::normal;
};

/// Reads the deck, analyses it with the classic method and renders the
/// report. A deck whose header fails its check gives its messages as the
/// report and the failure status; a deck that cannot be read, or asks for
/// more ratios than the table holds, gives the diagnostics and the failure
/// status.
classic_run run_classic(std::string_view deck);

/// The same, reading the deck from the descriptor `fd` lazily, only as far
/// as its reads need (a deck typed at a terminal, or arriving through a pipe
/// that stays open, is answered as soon as it is complete). A read
/// interrupted by a signal is tried again; a failed read is the reader's
/// failure. The descriptor is neither closed nor written.
classic_run run_classic_from(int fd);

}  // namespace fourfifths

#endif  // FOURFIFTHS_CLASSIC_H_
