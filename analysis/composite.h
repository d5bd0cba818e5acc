// The predictor and criterion composites: regression-based weights, the
// report sections of the weights, effect sizes and correlation matrix, and
// the composites' correlation and effect sizes.
#ifndef FOURFIFTHS_ANALYSIS_COMPOSITE_H_
#define FOURFIFTHS_ANALYSIS_COMPOSITE_H_

#include "analysis/problem.h"
#include "recordio/session.h"

namespace analysis {

/// Standardized regression weights of the criterion composite on the
/// predictors, R^-1 v, into `wep`(1..np). `info` is the status of the
/// factorisation of the predictor block: 0, or the order of the first
/// leading minor that is not positive definite (the weights are then those
/// of the partial factor).
void regwei(const matrix& corin, const vector& wec, int np, int nc, vector& wep, int& info);

/// The composites' statistics, as the report and the selection use them.
struct composite_stats {
  double vp = 0;   ///< variance of the predictor composite
  double vc = 0;   ///< variance of the criterion composite (nc != 0)
  double cpc = 0;  ///< covariance of the two composites (nc != 0)
  double rpc = 0;  ///< correlation of the two composites (nc != 0)
  double dpc = 0;  ///< effect size of the predictor composite
  double dcc = 0;  ///< effect size of the criterion composite (nc != 0)
};

/// Computes the composites' variances, correlation and effect sizes, in the
/// order the report's figures depend on.
composite_stats composite_statistics(const problem& p);

/// Writes the weights (with the regression note, and the warning when
/// `info` != 0), the effect sizes and the correlation matrix.
void write_problem_sections(recordio::session& s, const problem& p, int info);

/// Writes the composite correlation and the composite effect sizes.
void write_composite_sections(recordio::session& s, const problem& p, const composite_stats& c);

}  // namespace analysis

#endif  // FOURFIFTHS_ANALYSIS_COMPOSITE_H_
