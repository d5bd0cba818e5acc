// The engine's way into a problem: building one from a spec that has been
// checked (or read from a deck), without the checks of make_problem.
#ifndef FOURFIFTHS_ANALYSIS_PROBLEM_ACCESS_H_
#define FOURFIFTHS_ANALYSIS_PROBLEM_ACCESS_H_

#include <optional>
#include <utility>

#include "fourfifths/problem.h"

namespace fourfifths {

struct problem_access {
  /// The problem of a spec whose lists have the lengths its counts say.
  static problem make(problem_spec spec, std::optional<applicant_mix> mix) {
    problem p;
    const int nv = spec.predictors + spec.criteria;
    p.flat_.reserve(static_cast<std::size_t>(nv) * static_cast<std::size_t>(nv));
    for (const std::vector<double>& row : spec.correlations) {
      p.flat_.insert(p.flat_.end(), row.begin(), row.end());
    }
    p.spec_ = std::move(spec);
    p.mix_ = mix;
    return p;
  }
};

}  // namespace fourfifths

#endif  // FOURFIFTHS_ANALYSIS_PROBLEM_ACCESS_H_
