#include "analysis/classic_run.h"

#include <stdexcept>

#include "analysis/classic_deck.h"
#include "fourfifths/analysis.h"
#include "fourfifths/report.h"
#include "recordio/diagnostics.h"

namespace analysis {

fourfifths::classic_run run_classic(recordio::deck_input& deck) {
  using fourfifths::run_status;
  fourfifths::classic_run r;
  fourfifths::deck_result read = read_classic_deck(deck);
  if (!read.value) {
    r.status = run_status::failure;
    if (read.status == fourfifths::deck_status::rejected) {
      r.report = std::move(read.text);
    } else {
      r.diagnostics = std::move(read.text);
    }
    return r;
  }
  // A checked array or a template used against its item is a programming
  // fault: it ends the run with its report.
  try {
    r.report = fourfifths::classic_report(*read.value);
  } catch (const recordio::subscript_fault& fault) {
    r.diagnostics = fault.report();
    r.status = run_status::failure;
  } catch (const std::logic_error& fault) {
    r.diagnostics = std::string(fault.what()) + "\n";
    r.status = run_status::failure;
  }
  return r;
}

}  // namespace analysis

namespace fourfifths {

classic_run run_classic(std::string_view deck) {
  recordio::deck_input in(deck);
  return analysis::run_classic(in);
}

classic_run run_classic_from(int fd) {
  recordio::deck_input in(fd);
  return analysis::run_classic(in);
}

}  // namespace fourfifths
