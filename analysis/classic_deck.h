// The classic deck: eight free-form reads into the driver's checked arrays,
// with the check of the header between the second read and the third.
#ifndef FOURFIFTHS_ANALYSIS_CLASSIC_DECK_H_
#define FOURFIFTHS_ANALYSIS_CLASSIC_DECK_H_

#include <array>
#include <cstddef>

#include "fourfifths/problem.h"
#include "recordio/deck_input.h"

namespace analysis {

/// The tests of the deck's header, in the order they run and report.
enum class check_test : std::size_t {
  too_many,                    ///< np > 30, nc > 10 or np + nc > 30
  no_criteria_for_regression,  ///< ireg = 1 and nc <= 0
  no_criteria_for_quality,     ///< icrit = 1 and nc <= 0
  bad_counts,                  ///< np < 1 or nc < 0
  bad_regression_flag,         ///< ireg neither 0 nor 1
  bad_ratio,                   ///< overall mode and a ratio that is not positive and finite
};
inline constexpr std::size_t check_test_count = 6;

/// Which tests failed.
struct check_result {
  std::array<bool, check_test_count> failed{};
  /// ierr: 0 when the header is acceptable, 1 when it is not.
  int ierr() const;
};

/// Validates the deck's header. `nv` is np + nc, formed without overflow.
/// `nsr` is not examined.
check_result check(int np, int nc, long long nv, int iosr, int ireg, int icrit, int nsr,
                   double ratio);

/// Reads the deck and builds the problem, or says why not, as the classic
/// program does. Reads only as far as the deck's reads need.
fourfifths::deck_result read_classic_deck(recordio::deck_input& in);

}  // namespace analysis

#endif  // FOURFIFTHS_ANALYSIS_CLASSIC_DECK_H_
