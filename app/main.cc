// The process entry: connects the standard streams, installs the signal
// handlers and runs the driver once.
#include "analysis/driver.h"
#include "recordio/session.h"
#include "recordio/termination.h"

int main() {
  recordio::install_signal_handlers();
  recordio::session streams;
  return recordio::run_to_end(streams, analysis::driver);
}
