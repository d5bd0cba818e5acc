// The classic report's texts that come before any analysis (the messages
// of a deck whose header fails its check), and the analysis it prints.
#ifndef FOURFIFTHS_ANALYSIS_CLASSIC_REPORT_H_
#define FOURFIFTHS_ANALYSIS_CLASSIC_REPORT_H_

#include <string>

#include "analysis/classic_deck.h"
#include "fourfifths/analysis.h"
#include "fourfifths/problem.h"

namespace analysis {

/// The messages of the failing tests, in order, each written once.
std::string check_messages(const check_result& checked);

/// The classic analysis that the report prints: the composites formed from
/// the weights as given, and every entry by the classic routines, whatever
/// the deck holds (a composite without variance included). The report's
/// minimum compares the minority with the majority alone.
fourfifths::analysis_result classic_analysis(
    const fourfifths::problem& p, fourfifths::four_fifths_comparison who =
                                      fourfifths::four_fifths_comparison::minority_to_majority);

}  // namespace analysis

#endif  // FOURFIFTHS_ANALYSIS_CLASSIC_REPORT_H_
