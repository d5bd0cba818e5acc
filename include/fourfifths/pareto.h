// Pareto-optimal predictor weights: for one selection ratio, the weightings
// of the predictors for which no other weighting gives both a higher
// adverse-impact ratio and a higher quality of those selected.
#ifndef FOURFIFTHS_PARETO_H_
#define FOURFIFTHS_PARETO_H_

#include <optional>
#include <string>
#include <vector>

#include "fourfifths/analysis.h"
#include "fourfifths/problem.h"

namespace fourfifths {

/// What quality is: the validity of the predictor composite (its
/// correlation with the criterion composite), or the mean criterion score
/// of those selected (the report's M, which needs the applicant mix).
enum class pareto_objective { validity, mean };

/// Which weightings are allowed.
enum class weight_signs { nonnegative, any };

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
  /// evenly in the impact ratio. The impact end stops at parity (ratio 1)
  /// when weightings can go beyond it. One point when the highest-quality
  /// weighting already has the highest ratio the front allows.
  std::vector<weighting_outcome> points;
  weighting_outcome unit;                       ///< equal weights, to mark
  weighting_outcome regression;                 ///< the regression weights (any sign), to mark
  std::optional<weighting_outcome> given;       ///< the problem's own weights, to mark
  bool stopped_at_parity = false;               ///< the impact end is the weighting with ratio 1
};

/// The front, or why there is none (in `error`): no criterion, an overall
/// ratio or the mean objective without an applicant mix, a ratio outside
/// (0, 1), a predictor block that is not positive definite, a count of
/// points outside 2..10000.
struct pareto_result {
  std::optional<pareto_front> front;
  std::string error;
};
pareto_result find_pareto_front(const problem& p, const pareto_options& options);

/// The single weighting with the highest quality whose impact ratio at R is
/// at least `min_ai`; when none reaches it, `reached` is false and `best`
/// is the weighting with the highest ratio reachable.
struct min_ai_result {
  bool reached = false;
  std::optional<weighting_outcome> best;
  std::string error;  ///< as for the front
};
min_ai_result best_weighting_for_min_ai(const problem& p, const pareto_options& options,
                                        double min_ai);

}  // namespace fourfifths

#endif  // FOURFIFTHS_PARETO_H_
