// The classic program: one deck on standard input, one report on standard
// output. It takes no arguments.
#include "app/process.h"
#include "fourfifths/classic.h"

int main() {
  process::install_signal_handlers();
  return process::deliver(fourfifths::run_classic_from(0));
}
