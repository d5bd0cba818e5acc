// The predictor and criterion composites: regression-based weights, and the
// composites' variances, correlation and effect sizes.
#ifndef FOURFIFTHS_ANALYSIS_COMPOSITE_H_
#define FOURFIFTHS_ANALYSIS_COMPOSITE_H_

#include <cstddef>
#include <span>

#include "analysis/classic_arrays.h"
#include "fourfifths/analysis.h"
#include "fourfifths/problem.h"

namespace analysis {

/// Standardized regression weights of the criterion composite on the
/// predictors, R^-1 v, into `wep`(1..np). `info` is the status of the
/// factorisation of the predictor block: 0, or the order of the first
/// leading minor that is not positive definite (the weights are then those
/// of the partial factor).
void regwei(const matrix& corin, const vector& wec, int np, int nc, vector& wep, int& info);

/// The weights of the problem: the given ones, or regwei's.
fourfifths::predictor_weighting weighting(const fourfifths::problem& p);

/// The variance of the composite sum of w[i] x_i of unit-variance variables
/// whose correlations are r(i, j): the sum in the analysis's order, each
/// diagonal term w[i]^2, then the upper triangle's terms to its right.
template <class Correlation>
double composite_variance(std::span<const double> w, Correlation r) {
  double v = 0;
  for (std::size_t i = 0; i < w.size(); ++i) {
    v = v + w[i] * w[i];
    for (std::size_t j = i + 1; j < w.size(); ++j) v = v + 2 * w[i] * w[j] * r(i, j);
  }
  return v;
}

/// The composites' variances, correlation and effect sizes under the
/// predictor weights `wep`, each sum formed in index order.
fourfifths::composite_statistics composite_statistics(const fourfifths::problem& p,
                                                      std::span<const double> wep);

}  // namespace analysis

#endif  // FOURFIFTHS_ANALYSIS_COMPOSITE_H_
