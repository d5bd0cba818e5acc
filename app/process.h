// The classic program as a process: its signal handling and the delivery of
// the report and the diagnostics to their descriptors. The one process-wide
// state of the program lives here, for the signal handlers.
#ifndef FOURFIFTHS_APP_PROCESS_H_
#define FOURFIFTHS_APP_PROCESS_H_

#include "fourfifths/classic.h"

namespace process {

/// Installs the handlers for the floating-point exception, abort, interrupt
/// and termination signals. An interrupt signal that is ignored at start-up
/// stays ignored. Until the report is being delivered, a signal ends the
/// run at once with its line on standard error (nothing of the report has
/// been written then).
void install_signal_handlers();

/// Delivers the run's diagnostics to standard error and its report to
/// standard output, and returns the exit status. A signal that arrives while
/// the report is being delivered is taken when the write it interrupted has
/// returned: its line goes to standard error, the rest of the report (only
/// what has not been delivered yet) to standard output, and the run ends
/// with the signal's status. A report that cannot be written in full adds
/// "report write: <reason>" to standard error and the failure status.
int deliver(const fourfifths::classic_run& run);

}  // namespace process

#endif  // FOURFIFTHS_APP_PROCESS_H_
