// Pareto-optimal predictor weights: for one selection ratio, the weightings
// of the predictors for which no other weighting gives both a higher
// adverse-impact ratio and a higher quality of those selected.
#ifndef FOURFIFTHS_PARETO_H_
#define FOURFIFTHS_PARETO_H_

#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "fourfifths/analysis.h"
#include "fourfifths/problem.h"
#include "fourfifths/result.h"

namespace fourfifths {

/// What quality is: the validity of the predictor composite (its
/// correlation with the criterion composite), or the mean criterion score
/// of those selected (the report's M, which needs the applicant mix).
enum class pareto_objective { validity, mean };

/// Which weightings are allowed.
enum class weight_signs { nonnegative, any };

/// The fewest and the most points a front may have.
inline constexpr int fewest_front_points = 2;
inline constexpr int most_front_points = 10000;

struct pareto_options {
  double ratio = 0.1;  ///< the selection ratio R
  /// What R is: the overall selection ratio (needs the applicant mix) or
  /// the majority group's.
  ratio_mode mode = ratio_mode::overall;
  int points = 21;  ///< points of the front, both ends included (2 to 10000)
  pareto_objective objective = pareto_objective::validity;
  weight_signs signs = weight_signs::nonnegative;
};

/// One weighting and what it gives at the selection ratio R (precise
/// method). Quality is measured on the criterion composite.
struct weighting_outcome {
  /// Scaled to sum 1 when the sum is positive, as the literature reports
  /// weights; otherwise to a sum of absolute values of 1, signs kept.
  std::vector<double> weights;
  double validity = 0;     ///< correlation of the predictor composite with the criterion composite
  double composite_d = 0;  ///< effect size of the predictor composite (minority minus majority)
  bool solved = true;      ///< a cut score gives R (otherwise the values below are NaN)
  double ai_ratio = 0;
  /// The lower group's rate over the higher's: the impact ratio while the
  /// minority is selected less often, its inverse once it is selected more.
  /// The front's measure, as the four-fifths rule compares the groups.
  double ratio_to_highest = 0;
  double sr_majority = 0;
  double sr_minority = 0;
  std::optional<double> mean;  ///< mean criterion score of those selected (needs the mix)
  double mean_majority = 0;
  double mean_minority = 0;
  /// The smallest selection ratio (in R's mode) at which this weighting
  /// meets the four-fifths rule; none when it never falls below 0.8.
  std::optional<double> four_fifths_minimum;
};

struct pareto_front {
  pareto_options options;
  /// From the highest-quality end to the highest-impact-ratio end, spread
  /// evenly in the impact ratio: each point is the best weighting whose
  /// ratio is at least the one asked for. Ratios above 1 count as 1 (a
  /// selection that favours the minority group is no better than parity),
  /// so when weightings can go beyond parity the impact end is the best of
  /// those at or beyond it: the weighting with ratio 1 where the front
  /// passes through parity, else the far side of the front's jump over it.
  /// Among weightings of equal quality the one nearest parity is taken.
  /// Where the front jumps, the ratios asked for within the jump all meet
  /// its far side, which is listed once, so a front can have fewer points
  /// than asked for: one point when the highest-quality weighting already
  /// has the highest ratio the front allows.
  std::vector<weighting_outcome> points;
  weighting_outcome unit;                  ///< equal weights, to mark
  weighting_outcome regression;            ///< the regression weights (any sign), to mark
  std::optional<weighting_outcome> given;  ///< the problem's own weights, to mark
  /// Weightings go beyond parity and the impact end is the weighting with
  /// ratio 1 (composite effect 0 to 1e-9).
  bool stopped_at_parity = false;
};

/// How a search for a front or a best weighting ended.
enum class pareto_status {
  found,                  ///< the answer is in the value
  unreachable,            ///< best_weighting_for_min_ai: no weighting reaches the ratio asked for;
                          ///< the value is the weighting with the highest ratio reachable
  no_criterion,           ///< the problem has no criterion to measure quality on
  bad_options,            ///< a ratio outside (0, 1), points outside 2..10000, a ratio asked for
                          ///< that is not a number
  needs_mix,              ///< an overall ratio or the mean objective without an applicant mix
  not_positive_definite,  ///< the predictors' correlations allow no front
};

/// What a search for a front or a best weighting hands back, after
/// scipy.optimize's result: the answer (`value`) or the faults that kept it
/// from being found (each naming the option or field), how the search ended
/// (`status`, `message`), and how the answer was reached.
template <class T>
struct search_result : result<T, pareto_status> {
  /// Why the search ended, in words ("the front's 3 concave stretches, 21
  /// points" when found).
  std::string message;
  /// Weightings evaluated at the ratio (a cut score solved for each).
  int evaluations = 0;
  /// The concave stretches of the exact front of validity against the
  /// composite's effect size that the answer was read from.
  int stretches = 0;
  /// Where a level was not reached: no weighting reaches a level of the
  /// rule's measure above this (NaN where none is certified).
  double highest_level_bound = std::numeric_limits<double>::quiet_NaN();
};

/// The front, or why there is none: no criterion, an overall ratio or the
/// mean objective without an applicant mix, a ratio outside (0, 1), a
/// predictor block that is not positive definite, a count of points outside
/// 2..10000.
using pareto_result = search_result<pareto_front>;
pareto_result find_pareto_front(const problem& p, const pareto_options& options);

/// The single weighting with the highest quality whose impact ratio at R is
/// at least `min_ai` (status `found`); a ratio of 0 or below, or below the
/// lowest any selection at R can have, asks for the highest-quality
/// weighting. When none reaches it, status `unreachable` and the weighting
/// with the highest ratio reachable; a `min_ai` that is not a finite
/// number, status `bad_options`. Among equal qualities, the one nearest
/// parity.
using min_ai_result = search_result<weighting_outcome>;
min_ai_result best_weighting_for_min_ai(const problem& p, const pareto_options& options,
                                        double min_ai);

}  // namespace fourfifths

#endif  // FOURFIFTHS_PARETO_H_
