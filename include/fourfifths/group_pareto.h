// Pareto-optimal predictor weights with several minority groups: for one
// selection ratio, the weightings for which no other weighting gives both
// a higher lowest ratio to the highest rate (the four-fifths rule's
// comparison, taken over every group, the majority included) and a higher
// quality of those selected.
//
// With one minority group the front is the exact one of pareto.h. With
// several, every point comes with an upper bound on the quality any
// weighting can have at its level of the lowest ratio (validity only; see
// pareto/group_front.cc for the argument), and is proved optimal where it
// reaches that bound.
#ifndef FOURFIFTHS_GROUP_PARETO_H_
#define FOURFIFTHS_GROUP_PARETO_H_

#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "fourfifths/groups.h"
#include "fourfifths/pareto.h"

namespace fourfifths {

/// One weighting and what it gives, for every group, at the selection
/// ratio R (precise method).
struct group_weighting_outcome {
  /// Scaled as weighting_outcome's: to sum 1 when the sum is positive,
  /// else to a sum of absolute values of 1, signs kept.
  std::vector<double> weights;
  double validity = 0;  ///< of the predictor composite with the criterion composite
  /// The composite effect size of each minority group, in the groups' order.
  std::vector<double> composite_d;
  /// The outcome at R: the rates, impact ratios, ratios to the highest rate
  /// and means of every group, the majority first.
  group_outcome outcome;
  /// The lowest of the groups' ratios to the highest rate (NaN unsolved).
  double lowest_ratio_to_highest = 0;
  /// The smallest selection ratio at which every group's rate is at least
  /// 0.8 of the highest; none when no ratio the method resolves passes.
  std::optional<double> four_fifths_minimum;
  /// No weighting whose lowest ratio reaches the level this point was
  /// asked for has a quality above this (NaN where no bound is certified:
  /// the marks, and a level where neither bound holds the point).
  double bound = 0;
  /// The point's quality is within 1e-9 of `bound`: no weighting at its
  /// level does better.
  bool proved_optimal = false;
  /// `bound` less the point's quality (NaN without a bound; below 0 only
  /// by rounding).
  double gap = 0;
};

struct group_pareto_front {
  pareto_options options;
  /// From the highest-quality end to the highest-lowest-ratio end, spread
  /// evenly in the lowest ratio to the highest rate: each point the best
  /// weighting found whose lowest ratio is at least the one asked for.
  /// Repeated points are listed once.
  std::vector<group_weighting_outcome> points;
  group_weighting_outcome unit;                  ///< equal weights, to mark
  group_weighting_outcome regression;            ///< the regression weights (any sign), to mark
  std::optional<group_weighting_outcome> given;  ///< the problem's own weights, to mark
  /// Every point is proved optimal (always so with one minority group).
  bool proved_optimal = false;
  /// No weighting has a lowest ratio to the highest rate above this level:
  /// the far end (the last point) is proved where it is within 1e-9 of it.
  /// With one minority group the far end itself (exact); with several, the
  /// lower of two certain bounds: a level at which the necessary thresholds
  /// on the groups' effects cannot all be met, and the bound of a branch
  /// and bound over every weighting. NaN where none is certified.
  double highest_level_bound = std::numeric_limits<double>::quiet_NaN();
};

/// The front, or why there is none (as find_pareto_front; overall mode and
/// the mean objective need every group's share). With non-negative weights
/// and several groups at most `most_group_front_predictors` predictors.
using group_pareto_result = search_result<group_pareto_front>;
group_pareto_result find_group_pareto_front(const group_problem& p, const pareto_options& options);

/// The most predictors a front with several groups and non-negative
/// weights takes: its method visits every subset of them.
inline constexpr int most_group_front_predictors = 12;

/// The weighting of highest quality whose lowest ratio to the highest rate
/// at R is at least `min_ai` (status `found`); when none is found, status
/// `unreachable` and the weighting with the highest lowest ratio; a
/// `min_ai` that is not a finite number, `bad_options`.
using group_min_ai_result = search_result<group_weighting_outcome>;
group_min_ai_result best_group_weighting_for_min_ai(const group_problem& p,
                                                    const pareto_options& options, double min_ai);

/// The best weighting found at each of `levels` (rising; 0 asks for the
/// highest quality), one per level, repeats kept: as the front finds its
/// points, each searched from the one before, but at these levels and
/// without the searches of the bounds (`bound` is NaN, nothing is proved).
/// A level beyond the highest found gets the far end, whose lowest ratio
/// falls short of it. With one minority group each is
/// best_weighting_for_min_ai's exact answer. For cross-validation, which
/// asks a sample's front for the levels of the population's.
using group_levels_result = search_result<std::vector<group_weighting_outcome>>;
group_levels_result best_group_weightings_at_levels(const group_problem& p,
                                                    const pareto_options& options,
                                                    std::span<const double> levels);

}  // namespace fourfifths

#endif  // FOURFIFTHS_GROUP_PARETO_H_
