// fourfifths: adverse impact and the quality of those selected, for a
// selection top-down on a weighted predictor composite.
//
//   #include <fourfifths/fourfifths.h>
//
//   fourfifths::problem_spec spec;
//   spec.predictors = 2;
//   spec.criteria = 1;
//   spec.predictor_weights = {1, 1};
//   spec.criterion_weights = {1};
//   spec.correlations = {{1, .3, .5}, {.3, 1, .4}, {.5, .4, 1}};
//   spec.predictor_effects = {-1, -.5};
//   spec.criterion_effects = {-.5};
//   spec.minority_share = 0.25;
//   fourfifths::problem_result built = fourfifths::make_problem(spec);
//   if (!built.value) { for (const auto& f : built.errors) report(f.text()); }
//   fourfifths::outcome o = fourfifths::outcome_at(*built.value, 0.3,
//                                                  fourfifths::method::precise);
//   // o.ai_ratio, o.mean, ...
//
// Everything is a value: problems, outcomes, analyses. Nothing is kept
// between calls and nothing is written anywhere, so any number of analyses
// may run at once in different threads.
#ifndef FOURFIFTHS_FOURFIFTHS_H_
#define FOURFIFTHS_FOURFIFTHS_H_

#include "fourfifths/analysis.h"
#include "fourfifths/cross_validation.h"
#include "fourfifths/estimate.h"
#include "fourfifths/finite_pool.h"
#include "fourfifths/group_pareto.h"
#include "fourfifths/groups.h"
#include "fourfifths/observed.h"
#include "fourfifths/pareto.h"
#include "fourfifths/problem.h"
#include "fourfifths/report.h"
#include "fourfifths/shrinkage.h"
#include "fourfifths/version.h"

#endif  // FOURFIFTHS_FOURFIFTHS_H_
