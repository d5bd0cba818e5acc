// The classic report's texts that come before any analysis: the messages
// of a deck whose header fails its check.
#ifndef FOURFIFTHS_ANALYSIS_CLASSIC_REPORT_H_
#define FOURFIFTHS_ANALYSIS_CLASSIC_REPORT_H_

#include <string>

#include "analysis/classic_deck.h"

namespace analysis {

/// The messages of the failing tests, in order, each written once.
std::string check_messages(const check_result& checked);

}  // namespace analysis

#endif  // FOURFIFTHS_ANALYSIS_CLASSIC_REPORT_H_
