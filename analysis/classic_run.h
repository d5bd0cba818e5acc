// One run of the classic program, without the process: the deck in, the
// report and the diagnostics out as text, and the exit status
// (include/fourfifths/classic.h is the public face of it).
#ifndef FOURFIFTHS_ANALYSIS_CLASSIC_RUN_H_
#define FOURFIFTHS_ANALYSIS_CLASSIC_RUN_H_

#include "fourfifths/classic.h"
#include "recordio/deck_input.h"

namespace analysis {

/// Reads the deck from the input and runs it.
fourfifths::classic_run run_classic(recordio::deck_input& deck);

}  // namespace analysis

#endif  // FOURFIFTHS_ANALYSIS_CLASSIC_RUN_H_
