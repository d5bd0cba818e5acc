// The predictor and criterion composites: regression-based weights, and the
// composites' variances, correlation and effect sizes.
#ifndef FOURFIFTHS_ANALYSIS_COMPOSITE_H_
#define FOURFIFTHS_ANALYSIS_COMPOSITE_H_

#include <cstddef>
#include <span>
#include <vector>

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

/// How the composites' sums take the weights: as given (the classic
/// report's arithmetic), or each weight vector first scaled by the power of
/// two that brings its largest magnitude into [1, 2). The scaling is exact:
/// every product and sum of the scaled weights is the unscaled one times a
/// power of two, and every ratio and correlation formed from them is the
/// same double, wherever the unscaled sums neither overflow nor underflow.
/// Where they would, the scaled sums keep the weights' ratios alone.
enum class weight_scale { as_given, unit };

/// The weights scaled as `scale` says (a copy).
std::vector<double> scaled_weights(std::span<const double> w, weight_scale scale);

/// The weights of the problem: the given ones (as given, whatever the
/// scale), or regwei's from the criterion weights scaled as `scale` says.
fourfifths::predictor_weighting weighting(const fourfifths::problem& p,
                                          weight_scale scale = weight_scale::as_given);

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
/// predictor weights `wep` and the problem's criterion weights, scaled as
/// `scale` says, each sum formed in index order.
fourfifths::composite_statistics composite_statistics(const fourfifths::problem& p,
                                                      std::span<const double> wep,
                                                      weight_scale scale = weight_scale::as_given);

}  // namespace analysis

#endif  // FOURFIFTHS_ANALYSIS_COMPOSITE_H_
