// The problem data that the driver owns for the whole run, as the deck gives
// it, in fixed-capacity checked arrays.
#ifndef FOURFIFTHS_ANALYSIS_PROBLEM_H_
#define FOURFIFTHS_ANALYSIS_PROBLEM_H_

#include "recordio/checked_array.h"

namespace analysis {

/// Up to 30 predictors and 30 variables in all pass the deck's check, so
/// every array holds 30 entries and the correlation matrix 30 by 30.
inline constexpr int capacity = 30;
/// The requested selection ratios: a 26th is a subscript fault.
inline constexpr int requested_capacity = 25;

using vector = recordio::fixed_array<double, capacity>;
using matrix = recordio::fixed_matrix<double, capacity, capacity>;

/// The deck, read by read. Predictors come first (1..np), then the criteria
/// (np+1..nv), in the rows and columns of `corin`.
struct problem {
  int np = 0;       ///< number of predictors
  int nc = 0;       ///< number of criteria (0 allowed)
  int iosr = 0;     ///< 1: overall selection ratios; else majority-group ratios
  int ireg = 0;     ///< 0: weights from the deck; 1: regression-based weights
  int icrit = 0;    ///< 1: quality on the criterion composite; else the predictor composite
  int nsr = 0;      ///< number of requested selection ratios (0 or less: none)
  int nv = 0;       ///< np + nc, the order of the correlation matrix
  double pa = 0;    ///< proportion of majority applicants (overall mode)
  double pmin = 0;  ///< proportion of minority applicants (overall mode)

  vector wep{"wep", recordio::label_main};  ///< predictor weights
  vector wec{"wec", recordio::label_main};  ///< criterion weights
  matrix corin{"corin[subscript-1-of-2]", "corin[subscript-2-of-2]", recordio::label_main};
  vector difp{"difp", recordio::label_main};  ///< predictor effect sizes
  vector difc{"difc", recordio::label_main};  ///< criterion effect sizes
  recordio::fixed_array<double, requested_capacity> rsr{"rsr", recordio::label_main};

  /// The number of requested ratios as the table counts them.
  int requested() const { return nsr > 0 ? nsr : 0; }
};

}  // namespace analysis

#endif  // FOURFIFTHS_ANALYSIS_PROBLEM_H_
