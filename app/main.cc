// The classic program: one deck on standard input, one report on standard
// output. It takes no arguments.
#include "analysis/classic_run.h"
#include "app/process.h"
#include "recordio/deck_input.h"

int main() {
  process::install_signal_handlers();
  recordio::deck_input deck(0);
  return process::deliver(analysis::run_classic(deck));
}
