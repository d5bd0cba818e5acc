// What a front's weights give in new applicants when they are computed
// from a calibration sample instead of the population: Monte Carlo
// cross-validation. K times, a calibration sample of N applicants is drawn
// from the population (each group's count fixed by its share, scores
// normal with the groups' means and the common correlation matrix), the
// correlations and effect sizes are estimated from it as from validation
// data (estimate.h), the best weighting at each level asked for is found
// from those estimates, and that weighting is evaluated in the population
// exactly. The spread over the K samples is what a practitioner with a
// validation study of N people should expect.
//
// Replication k draws from its own stream of the seed, so the answer is
// the same for every number of threads.
#ifndef FOURFIFTHS_CROSS_VALIDATION_H_
#define FOURFIFTHS_CROSS_VALIDATION_H_

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "fourfifths/group_pareto.h"
#include "fourfifths/groups.h"
#include "fourfifths/pareto.h"

namespace fourfifths {

/// The largest calibration sample and the most replications a run takes:
/// far beyond any validation study, and a bound on the time a run can ask
/// for (each replication draws N applicants).
inline constexpr std::int64_t most_calibration_n = 10'000'000;
inline constexpr int most_replications = 1'000'000;

struct calibration_options {
  /// Applicants in each calibration sample; each group gets its share of
  /// them, rounded by largest remainders, and needs at least 2.
  std::int64_t calibration_n = 0;
  int replications = 1000;
  std::uint64_t seed = 1;
  /// Worker threads (at least 1); the answer does not depend on it.
  unsigned threads = 1;
  /// The stream of the first replication: replications first_replication
  /// to first_replication + replications - 1 are drawn, so that runs of
  /// consecutive ranges together draw what one run of all of them draws.
  std::uint64_t first_replication = 0;
  /// Keep every replication's values (cross_validation::draws).
  bool keep_draws = false;
};

/// A quantity over the replications: its mean and the mean's Monte Carlo
/// standard error, and its 5 % and 95 % quantiles (linear interpolation
/// between order statistics, as R's type 7 and NumPy's default).
struct spread {
  double mean = 0;
  double standard_error = 0;
  double q05 = 0;
  double q95 = 0;
};

/// A level asked for in every calibration sample, and what the weightings
/// found there give in the population.
struct cross_validated_point {
  /// The lowest ratio to the highest rate asked for in each sample (0: the
  /// highest quality, whatever its ratio).
  double level = 0;
  spread validity;
  /// The mean criterion score of those selected (needs every share).
  std::optional<spread> mean;
  /// The lowest ratio to the highest rate among new applicants.
  spread lowest_ratio;
  /// The share of replications whose lowest ratio among new applicants is
  /// below `level`.
  double below_level = 0;
  /// Replications whose sample reached no weighting at the level: their
  /// weighting is the one nearest to it.
  int unreachable = 0;
};

/// What one replication's weighting at one level gives in the population
/// (NaN where its sample allowed no front).
struct cross_validation_draw {
  std::uint64_t replication = 0;
  std::size_t level = 0;  ///< the place of its level in the levels asked for
  double validity = 0;
  double mean = 0;  ///< NaN without every share
  double lowest_ratio = 0;
  /// The sample's weighting reaches the level in the sample.
  bool reached = false;
};

struct cross_validation {
  /// With keep_draws: every replication's values, replication by
  /// replication, each at every level.
  std::vector<cross_validation_draw> draws;
  /// Each calibration sample's applicants per group, the majority first.
  std::vector<std::int64_t> counts;
  /// Replications summarised: those whose sample allowed a front (see
  /// failed).
  int replications = 0;
  /// Samples that allowed no front (a sample correlation matrix that is not
  /// positive definite, as with fewer applicants than variables).
  int failed = 0;
  std::vector<cross_validated_point> points;
};

/// The cross-validation of the best weightings at `levels`, or why there
/// is none: the faults of the options (as find_group_pareto_front's), a
/// calibration size out of 1..most_calibration_n or too small to give each
/// group 2 applicants, replications out of 1..most_replications, threads
/// of 0, a population without every group's share, a correlation matrix
/// (predictors and criteria) that is not positive definite, or no
/// replication that allowed a front.
using cross_validation_result = search_result<cross_validation>;
cross_validation_result cross_validate(const group_problem& population,
                                       const pareto_options& options,
                                       std::span<const double> levels,
                                       const calibration_options& calibration);

/// The levels a robust choice tries, evenly from min_ai to the highest
/// level the population's front reaches.
inline constexpr int robust_levels = 21;

/// The level to ask for in a calibration sample so that the weights found
/// there keep new applicants at `min_ai` or above in 95 % of samples.
struct robust_level {
  double min_ai = 0;
  /// Some level's 5 % quantile of the lowest ratio reaches min_ai.
  bool found = false;
  /// min_ai itself asked for: what the population's answer becomes when
  /// its level is asked of a sample (`below_level`: the share of samples
  /// below min_ai).
  cross_validated_point as_asked;
  /// Of the levels tried whose 5 % quantile reaches min_ai, the one of
  /// highest expected quality (where none does, the one of highest 5 %
  /// quantile); `below_level` is the share of samples below min_ai.
  cross_validated_point chosen;
  std::vector<std::int64_t> counts;
  int replications = 0;
  int failed = 0;
};

/// The robust level, or why there is none (as cross_validate; min_ai must
/// lie in (0, 1]). Status `unreachable` where no level's 5 % quantile
/// reaches min_ai. The same samples serve every level tried.
using robust_result = search_result<robust_level>;
robust_result choose_robust_level(const group_problem& population, const pareto_options& options,
                                  double min_ai, const calibration_options& calibration);

/// Each group's applicants in a sample of n: shares times n, rounded by
/// largest remainders (ties to the earlier group), the majority first.
std::vector<std::int64_t> calibration_counts(const group_problem& population, std::int64_t n);

}  // namespace fourfifths

#endif  // FOURFIFTHS_CROSS_VALIDATION_H_
