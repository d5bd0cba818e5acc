// Finite applicant pools: how often a real pool of M applicants, selected
// top-down, fails the four-fifths rule or shows a significant difference
// by chance, where the population it is drawn from is known.
//
// The model: each of the M applicants belongs to a group with the
// probability of the group's share (the group counts of a pool are
// multinomial), and has a predictor composite score that is normal, with
// the group's mean and a standard deviation of 1 (the within-group
// standard deviation, common to every group). The round(R M) applicants
// with the highest scores are selected (R M rounded half up).
//
// In each pool the groups with applicants are compared; a group with no
// applicants has no rate and is left out (its probability is reported
// apart, as `group_absent`), so a pool with a single group present neither
// fails nor differs. The pool fails the four-fifths rule when some group's
// rate is below 0.8 of the highest rate (decided in whole numbers). The
// tests compare every other group with the group of the highest rate (the
// first of the groups' order among equal rates), as observed data are
// compared by default: the two-sided pooled z test and Fisher's exact
// test, each significant when its p value is certainly below alpha (as in
// the analysis of observed data; at 0.05 the z test rejects when |z| >
// 1.95996...). The pool is significant when any comparison is.
//
//   fourfifths::pool_population pop{{{"majority", 0.8, 0}, {"minority", 0.2, -1}}};
//   fourfifths::pool_options o{.applicants = 50};
//   auto r = fourfifths::finite_pool_at(pop, std::vector<double>{0.3}, o);
//   // r->front().fail_four_fifths: the chance that a pool of 50 fails the rule
#ifndef FOURFIFTHS_FINITE_POOL_H_
#define FOURFIFTHS_FINITE_POOL_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fourfifths/result.h"

namespace fourfifths {

/// One group of the population applicants are drawn from.
struct pool_group {
  std::string name;
  double share = 0;  ///< the chance that an applicant belongs to it, in (0, 1]
  double mean = 0;   ///< the composite's mean, in within-group standard deviations
};

/// The population: every group, the majority first; the shares sum to 1.
struct pool_population {
  std::vector<pool_group> groups;
};

/// The largest pool whose probabilities are computed exactly (one minority
/// group); larger pools, and pools of several minority groups, are
/// simulated.
inline constexpr std::int64_t max_exact_applicants = 2000;
/// The largest difference of the two groups' means computed exactly: the
/// quadrature is measured to 3e-14 up to it, and loses digits beyond 15,
/// where the groups barely overlap. Larger differences are simulated.
inline constexpr double max_exact_mean_difference = 10;
/// The largest pool accepted.
inline constexpr std::int64_t max_pool_applicants = 1'000'000;
/// The most scores a simulation draws (applicants times replications):
/// about two minutes of one core (bench/finite_pool_bench measures some
/// 10 million scores a second).
inline constexpr std::int64_t max_pool_scores = 1'000'000'000;

struct pool_options {
  std::int64_t applicants = 0;       ///< M, at least 1
  std::int64_t replications = 10000;  ///< the pools simulated, when simulated; at least 2
  std::uint64_t seed = 1;            ///< of the simulation's generator
  double alpha = 0.05;               ///< the level of the tests, in (0, 1)
};

enum class pool_method {
  exact,      ///< computed (order statistics and quadrature)
  simulated,  ///< from `replications` simulated pools, with standard errors
};

/// The chances, over pools of M applicants, at one selection ratio.
struct pool_probabilities {
  double ratio = 0;           ///< the overall selection ratio R asked for
  std::int64_t selected = 0;  ///< round(R M)
  pool_method method = pool_method::exact;
  double fail_four_fifths = 0;  ///< some group's rate is below 0.8 of the highest
  double fisher = 0;            ///< Fisher's exact test is significant
  double z = 0;                 ///< the z test is significant
  double group_absent = 0;      ///< some group has no applicants
  /// Simulated: the Monte Carlo standard errors, sqrt(p (1 - p) / K).
  std::optional<double> fail_four_fifths_se, fisher_se, z_se, group_absent_se;
  /// Exact: the sum of the probabilities of every pool outcome the
  /// computation found: 1 within 3e-14 where measured, a check on the
  /// quadrature.
  std::optional<double> mass;
};

enum class pool_status {
  computed,
  invalid,  ///< faults of the population, the ratios or the options, each with its path
};

using pool_result = result<std::vector<pool_probabilities>, pool_status>;

/// The faults of a population and options, each naming its field: fewer
/// than two groups; a share not finite or outside (0, 1]; shares not
/// summing to 1 (within 1e-9); a mean not finite; applicants outside [1,
/// max_pool_applicants]; replications below 2; applicants times
/// replications above max_pool_scores when the pool is simulated; alpha
/// outside (0, 1).
std::vector<fault> check_pool(const pool_population& population, const pool_options& options);

/// The chances at each overall selection ratio (each in [0, 1]), in
/// order: exact for two groups up to max_exact_applicants and
/// max_exact_mean_difference, simulated otherwise, every ratio from the same simulated pools. The simulation
/// draws from the engine's portable generator (a Mersenne Twister seeded
/// from `seed`, normal scores by Marsaglia's polar method), made to give
/// the same numbers on every build (no test compares two builds).
pool_result finite_pool_at(const pool_population& population, std::span<const double> ratios,
                           const pool_options& options);

}  // namespace fourfifths

#endif  // FOURFIFTHS_FINITE_POOL_H_
