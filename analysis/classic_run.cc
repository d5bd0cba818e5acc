#include "analysis/classic_run.h"

#include <stdexcept>

#include "analysis/classic_deck.h"
#include "fourfifths/analysis.h"
#include "fourfifths/report.h"
#include "recordio/diagnostics.h"

namespace analysis {

run_result run_classic(recordio::deck_input& deck) {
  run_result r;
  fourfifths::deck_result read = read_classic_deck(deck);
  if (read.error) {
    r.status = status_failure;
    if (read.error->kind == fourfifths::deck_failure::rejected) {
      r.report = std::move(read.error->text);
    } else {
      r.diagnostics = std::move(read.error->text);
    }
    return r;
  }
  // A checked array or a template used against its item is a programming
  // fault: it ends the run with its report.
  try {
    r.report = fourfifths::classic_report(*read.value);
  } catch (const recordio::subscript_fault& fault) {
    r.diagnostics = fault.report();
    r.status = status_failure;
  } catch (const std::logic_error& fault) {
    r.diagnostics = std::string(fault.what()) + "\n";
    r.status = status_failure;
  }
  return r;
}

run_result run_classic(std::string_view deck) {
  recordio::deck_input in(deck);
  return run_classic(in);
}

}  // namespace analysis
