#include "pareto/front_options.h"

#include <string>

namespace pareto {

using fourfifths::fault;
using fourfifths::pareto_objective;
using fourfifths::pareto_status;
using fourfifths::ratio_mode;

std::optional<refusal> check_front_options(const fourfifths::problem& p,
                                           const fourfifths::pareto_options& o, bool has_mix,
                                           bool several_groups) {
  const std::string mix =
      several_groups ? "every group's share" : "minority_share or majority_per_minority";
  if (p.spec().criteria < 1) {
    return refusal{pareto_status::no_criterion,
                   fault{"criteria",
                         "the front needs a criterion: validity and the mean are measured on "
                         "the criterion composite"}};
  }
  if (!fourfifths::correlations_positive_definite(p)) {
    return refusal{pareto_status::not_positive_definite,
                   fault{"correlations",
                         "the correlations are not positive definite (not a possible "
                         "correlation matrix): a front would describe no population"}};
  }
  if (!(o.ratio > 0 && o.ratio < 1)) {
    return refusal{pareto_status::bad_options,
                   fault{"ratio", "the selection ratio must lie strictly between 0 and 1"}};
  }
  if (o.points < fourfifths::fewest_front_points || o.points > fourfifths::most_front_points) {
    return refusal{pareto_status::bad_options,
                   fault{"points", "the number of points must lie between " +
                                       std::to_string(fourfifths::fewest_front_points) + " and " +
                                       std::to_string(fourfifths::most_front_points)}};
  }
  if (o.mode == ratio_mode::overall && !has_mix) {
    return refusal{pareto_status::needs_mix,
                   fault{"mode", "an overall selection ratio needs the applicant mix (" + mix +
                                     "); a majority group's ratio does not"}};
  }
  if (o.objective == pareto_objective::mean && !has_mix) {
    return refusal{pareto_status::needs_mix,
                   fault{"objective", "the mean objective needs the applicant mix (" + mix + ")"}};
  }
  return std::nullopt;
}

}  // namespace pareto
