// The smallest selection ratio without adverse impact under the four-fifths
// rule, and the result table: the built-in ratios, that minimum, and the
// ratios the deck requests.
#ifndef FOURFIFTHS_ANALYSIS_TABLES_H_
#define FOURFIFTHS_ANALYSIS_TABLES_H_

#include <array>
#include <optional>

#include "analysis/problem.h"
#include "analysis/selection.h"
#include "recordio/session.h"

namespace analysis {

/// The built-in selection ratios. The last is just below 1, where the cut
/// score is still finite; the report shows it as 1.000.
inline constexpr std::array<double, 21> sr1 = {0.01, 0.05, 0.10, 0.15, 0.20, 0.25, 0.30,
                                               0.35, 0.40, 0.45, 0.50, 0.55, 0.60, 0.65,
                                               0.70, 0.75, 0.80, 0.85, 0.90, 0.95, 0.99999999999};

/// Solves for the cut score where the adverse impact ratio is 0.8 and writes
/// its section. Returns `srmax`, the selection ratio there (overall or
/// majority, as the mode says), or nothing when the search fails.
std::optional<double> srmax_search(recordio::session& s, const problem& p);

/// Writes the table header and one entry per ratio: the 21 built-in ratios,
/// `srmax` when there is one, then the requested ratios.
void write_result_tables(recordio::session& s, const problem& p, const selection_model& model,
                         std::optional<double> srmax);

}  // namespace analysis

#endif  // FOURFIFTHS_ANALYSIS_TABLES_H_
