// The options of a front checked against its problem, once for one group
// and for several: what each front refuses before it searches, with the
// status and the fault its result carries.
#ifndef FOURFIFTHS_PARETO_FRONT_OPTIONS_H_
#define FOURFIFTHS_PARETO_FRONT_OPTIONS_H_

#include <optional>
#include <utility>

#include "fourfifths/pareto.h"
#include "fourfifths/problem.h"

namespace pareto {

using refusal = std::pair<fourfifths::pareto_status, fourfifths::fault>;

/// Nothing when the options suit a problem of spec `s`, else the first
/// refusal: no criterion, a correlation matrix that is not positive
/// definite (a front would describe no population), a ratio outside (0, 1),
/// points outside [2, most_front_points], or an overall ratio or the mean
/// objective without the applicants' shares (`has_mix`; the words name
/// what gives them, which `several_groups` tells).
std::optional<refusal> check_front_options(const fourfifths::problem& p,
                                           const fourfifths::pareto_options& o, bool has_mix,
                                           bool several_groups);

}  // namespace pareto

#endif  // FOURFIFTHS_PARETO_FRONT_OPTIONS_H_
