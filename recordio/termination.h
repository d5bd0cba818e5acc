// How a run ends: the normal stop, the failure stop, the four-line report of
// a fatal input/output error, the subscript report, and the signal handlers.
//
// Every end other than the normal stop travels back to the entry point as a
// `run_end`, from however deep it was decided; `run_to_end` turns it into the
// run's exit status. Nothing else in the program throws.
#ifndef FOURFIFTHS_RECORDIO_TERMINATION_H_
#define FOURFIFTHS_RECORDIO_TERMINATION_H_

#include <string_view>

#include "recordio/session.h"

namespace recordio {

/// Thrown by the stops; caught only by `run_to_end`.
struct run_end {
  int status;
};

/// Error numbers of the fatal input/output report. Values 0..99 are the
/// operating system's errno values.
enum class io_error : int {
  end_of_file = -1,
  error_in_format = 100,
  incomprehensible_list_input = 112,
  read_unexpected_character = 115,
};

/// Runs `driver` on the session and returns the exit status: 0 when it
/// returns, the status of a `run_end` otherwise. Standard output is flushed
/// however the run ends; a report that could not be written in full ends
/// the run with a diagnostic and the failure status.
int run_to_end(session& s, void (*driver)(session&));

/// The failure stop: flush standard error, standard output, standard error,
/// and end the run with the failure status.
[[noreturn]] void failure_stop(session& s);

/// The fatal input/output report (four lines on standard error), then the
/// failure stop. `number` is an errno value or an `io_error`.
[[noreturn]] void fatal_io(session& s, int number, std::string_view context);
[[noreturn]] inline void fatal_io(session& s, io_error number, std::string_view context) {
  fatal_io(s, static_cast<int>(number), context);
}

/// The subscript report (two lines on standard error), then the failure
/// stop. `name` is the variable as printed, `offset` the zero-based element
/// offset, `label` the routine label, `line` the source line of the access.
/// Reports through the active session.
[[noreturn]] void subscript_out_of_range(std::string_view name, long long offset,
                                         std::string_view label, unsigned line);

/// An internal fault: the given line on standard error, then the failure
/// stop. Reports through the active session.
[[noreturn]] void internal_fault(std::string_view line);

/// Installs the handlers for the floating-point exception, abort, interrupt
/// and termination signals. An interrupt signal that is ignored at start-up
/// stays ignored.
void install_signal_handlers();

}  // namespace recordio

#endif  // FOURFIFTHS_RECORDIO_TERMINATION_H_
