// Builds a problem in code (two predictors, one criterion, regression
// weights, three majority applicants for every minority applicant),
// analyses it and prints a few numbers.
#include <fourfifths/fourfifths.h>

#include <cstdio>

int main() {
  fourfifths::problem_spec spec;
  spec.predictors = 2;
  spec.criteria = 1;
  spec.mode = fourfifths::ratio_mode::overall;
  spec.quality = fourfifths::quality_basis::criterion;
  spec.regression_weights = true;
  spec.criterion_weights = {1.0};
  spec.correlations = {{1, .3, .5}, {.3, 1, .4}, {.5, .4, 1}};
  spec.predictor_effects = {-1, -.5};
  spec.criterion_effects = {-.5};
  spec.majority_per_minority = 1.0;

  const fourfifths::problem_result built = fourfifths::make_problem(spec);
  if (!built.value) {
    for (const fourfifths::fault& f : built.errors) std::fprintf(stderr, "%s\n", f.text().c_str());
    return 2;
  }
  const fourfifths::problem& problem = *built.value;

  const fourfifths::composite_statistics c = fourfifths::composites_of(problem);
  std::printf("fourfifths %s\n", fourfifths::version_string);
  std::printf("validity %.3f, composite effect size %.3f\n", c.validity, c.predictor_effect);

  const fourfifths::four_fifths_minimum m = fourfifths::find_four_fifths_minimum(problem);
  if (m.found) std::printf("four-fifths minimum: %.3f\n", m.ratio);

  const fourfifths::outcome o = fourfifths::outcome_at(problem, 0.3, fourfifths::method::precise);
  std::printf("at 0.300: impact ratio %.3f, mean quality %.3f\n", o.ai_ratio, *o.mean);
  return 0;
}
