// The selection outcome at one selection ratio: the cut score on the
// predictor composite, the group selection ratios, the adverse impact and
// the average quality of those selected; and the four-fifths minimum.
//
// Scale: on each composite the majority group has mean 0 and standard
// deviation 1; the minority group has standard deviation 1 and mean `dpc`
// (predictor composite) or `dcc` (criterion composite).
#ifndef FOURFIFTHS_ANALYSIS_SELECTION_H_
#define FOURFIFTHS_ANALYSIS_SELECTION_H_

#include "fourfifths/analysis.h"

namespace analysis {

/// The objective of the overall cut score: the overall selection ratio at
/// cut score x minus the target `sr`. Each evaluation keeps the group
/// ratios at x in `sra` and `sri`, where the caller finds them after the
/// zero finder has returned: those of its last evaluation.
struct fun {
  double sr = 0;    ///< the target overall ratio
  double dpc = 0;   ///< effect size of the predictor composite (the shift)
  double pa = 0;    ///< share of majority applicants
  double pmin = 0;  ///< share of minority applicants
  double sra = 0;   ///< majority selection ratio at the last point evaluated
  double sri = 0;   ///< minority selection ratio at the last point evaluated
  double operator()(double x);
};

/// The objective of the four-fifths rule: the adverse impact ratio at cut
/// score x minus 0.8, keeping the group ratios at x as `fun` does.
struct fun1 {
  double dpc = 0;
  double sra = 0;
  double sri = 0;
  double operator()(double x);
};

/// Upper-tail area of the standard normal, as one minus the lower tail.
double upper_tail(double z);
/// The normal density, with the constant 2.506628274631.
double density(double z);

/// The outcome of a call given what it cannot use: status
/// invalid_argument, every value NaN.
fourfifths::outcome invalid_outcome(double target);

/// The outcome at `target` of a model whose correlations are not positive
/// definite: no value.
fourfifths::outcome impossible_outcome(double target);

/// The classic cut score and outcome at the target ratio (overall or
/// majority, as the model's mode says).
fourfifths::outcome selout(const fourfifths::selection_model& model, double target);
/// The same, every cut score solved to full double precision, and solved
/// only where the group ratios give the target back.
fourfifths::outcome selout_precise(const fourfifths::selection_model& model, double target);

/// The classic four-fifths minimum: the zero finder on `fun1` over [-8, 8].
/// Compared with the highest rate, a minority that scores higher is the
/// group with the highest rate: `fun1` then runs on the minority's scale
/// with the majority as the lower group (the shift -dpc).
fourfifths::four_fifths_minimum srmax_search(
    const fourfifths::selection_model& model,
    fourfifths::four_fifths_comparison who =
        fourfifths::four_fifths_comparison::minority_to_majority);
/// The same, solved to full double precision over the whole range where
/// the tail areas are normal doubles: the smallest ratio whose own
/// outcome (selout_precise) passes the rule.
fourfifths::four_fifths_minimum srmax_search_precise(
    const fourfifths::selection_model& model,
    fourfifths::four_fifths_comparison who =
        fourfifths::four_fifths_comparison::minority_to_majority);

}  // namespace analysis

#endif  // FOURFIFTHS_ANALYSIS_SELECTION_H_
