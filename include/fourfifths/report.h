// The classic report: the fixed-layout text that the classic program
// writes for a problem.
#ifndef FOURFIFTHS_REPORT_H_
#define FOURFIFTHS_REPORT_H_

#include <string>

#include "fourfifths/analysis.h"
#include "fourfifths/problem.h"

namespace fourfifths {

/// The report of a classic analysis of the problem, byte for byte as the
/// classic program writes it. `analysis` must come from `analyse(p,
/// method::classic)` (a precise analysis renders too, with its numbers;
/// entries of status invalid_argument print no row).
std::string classic_report(const problem& p, const analysis_result& analysis);
/// The same, analysing the problem with the classic method.
std::string classic_report(const problem& p);

}  // namespace fourfifths

#endif  // FOURFIFTHS_REPORT_H_
