// A population estimated from a validation sample: one row of scores per
// person (predictors, then criteria) and the person's group. The groups
// share one within-group correlation matrix, estimated by pooling the
// groups' own deviations from their means; each minority group's effect
// size on a variable is its mean less the reference group's mean, in
// pooled within-group standard deviations (as a problem's `d` is given).
//
//   S = sum over groups g, rows i of g: (x_i - mean_g)(x_i - mean_g)' / (N - G)
//   r_jk = S_jk / sqrt(S_jj S_kk),   d_gj = (mean_gj - mean_0j) / sqrt(S_jj)
//
// Sums are formed in two passes (the means first), which keeps them exact to
// a few units in the last place of the spread for data with large means.
#ifndef FOURFIFTHS_ESTIMATE_H_
#define FOURFIFTHS_ESTIMATE_H_

#include <cstdint>
#include <span>
#include <vector>

#include "fourfifths/result.h"

namespace fourfifths {

/// What a validation sample gives.
struct population_estimate {
  /// The pooled within-group correlations, variables x variables.
  std::vector<std::vector<double>> correlations;
  /// The pooled within-group standard deviations.
  std::vector<double> standard_deviations;
  /// Each group's means, the reference first.
  std::vector<std::vector<double>> means;
  /// The effect sizes of groups 1.., one list per group, one per variable.
  std::vector<std::vector<double>> effects;
  /// The rows of each group, the reference first.
  std::vector<std::int64_t> counts;
};

enum class estimate_status {
  estimated,
  invalid,  ///< `errors` says why: see estimate_population
};

using estimate_result = result<population_estimate, estimate_status>;

/// Estimates the population from `values` (row by row, `variables` to a
/// row) and `group` (one per row, 0 the reference group, up to `groups` -
/// 1). Faults: sizes that do not agree, a group number out of range, a
/// value that is not finite ("values", naming the row and variable, counted
/// from 0), a group without rows ("group"), fewer rows than groups + 2,
/// a variable that does not vary within the groups ("variables[j]").
estimate_result estimate_population(std::span<const double> values, std::span<const int> group,
                                    int groups, int variables);

/// The same from the groups' means and counts and the pooled scatter (the
/// sum over groups and rows of the deviations' outer products, row by row,
/// its lower triangle read): what a sample of normal scores is summed up
/// by. A variable without scatter is the fault "variables[j]".
estimate_result estimate_from_moments(std::vector<std::vector<double>> means,
                                      std::vector<std::int64_t> counts,
                                      std::span<const double> scatter);

}  // namespace fourfifths

#endif  // FOURFIFTHS_ESTIMATE_H_
