// The shrinkage of a Pareto front as published: what a front computed from
// a calibration sample of N applicants is expected to give in new
// applicants. Song, Tang, Newman & Wee (2023), "Adverse impact reduction
// and job performance optimization via Pareto-optimal weighting: a
// shrinkage formula and regularization technique using machine learning",
// Journal of Applied Psychology 108(9), 1461-1485.
//
// The two ends of the front are shrunk by the Claudy-Browne formula: the
// validity of the validity end, and the group correlation of the impact
// end; every other point moves linearly between them, by its place between
// the ends in validity and in group correlation. The group correlation is
// the point-biserial correlation of the composite with a group dummy that
// is 0 for the minority and 1 for the majority (positive where the
// majority scores higher), as the publication has it.
//
// The formula is an approximation of what a calibration sample's front
// gives in the population; the impact ratio of a shrunken point is then
// exact for the shrunken group correlation (the precise method's normal
// model), where the publication converts with a closed-form approximation
// of the normal tail.
#ifndef FOURFIFTHS_SHRINKAGE_H_
#define FOURFIFTHS_SHRINKAGE_H_

#include <cstddef>
#include <span>
#include <vector>

#include "fourfifths/pareto.h"
#include "fourfifths/problem.h"
#include "fourfifths/result.h"

namespace fourfifths {

/// The population R² that a sample R² of `r2` from `n` cases and `p`
/// predictors estimates, by Browne's formula on Claudy's estimate:
///   R²_C = 1 - (n - 4)/(n - p - 1) (1 - r2) (1 + 2 (1 - r2)/(n - p + 1)),  at least 0;
///   ρ⁴  = R²_C² - 2 p (1 - R²_C)² / ((n - 1)(n - p + 1)),                  at least 0;
///   R²_B = ((n - p - 3) ρ⁴ + R²_C) / ((n - 2p - 2) R²_C + p).
/// p need not be a whole number (the front's ends use p + 70/(n + p)).
/// NaN, never a number, where the inputs lie outside the formula's domain:
/// a non-finite input, r2 outside [0, 1], p below 1, or n <= 2p + 3 (at
/// n <= 2p + 2 the denominator can vanish or change sign; the published
/// tables stop at n > 2p + 3).
double claudy_browne(double r2, double n, double p);

/// How many weights count as non-zero: those whose size exceeds 1e-9 of
/// the largest size (a front's weights are doubles from a search, which
/// leaves a weight at its bound as a tiny remainder, not an exact 0).
/// Negative weights count. 0 for an empty or all-zero weighting.
int count_nonzero_weights(std::span<const double> weights);

/// A front's calibration values, one entry a point, and its two ends.
struct shrinkage_input {
  std::vector<double> validities;  ///< calibration validity of each point
  /// Calibration group correlation of each point (dummy 0 minority, 1 majority).
  std::vector<double> group_correlations;
  /// Index of the validity end (the point of highest validity), whose
  /// validity shrinks, and of the impact end, whose group correlation
  /// shrinks. Given, not searched for: a front may list its ends either
  /// way round (the publication lists the impact end first, this library
  /// the validity end first).
  std::size_t validity_end = 0;
  std::size_t impact_end = 0;
  /// The number of non-zero weights at each end (count_nonzero_weights);
  /// below 3, the formula takes p + 70/(N + p) predictors.
  int validity_end_predictors = 0;
  int impact_end_predictors = 0;
  double calibration_n = 0;  ///< N, the calibration sample's size
};

/// One point, shrunken.
struct shrunken_correlations {
  double validity = 0;           ///< shrunken validity
  double group_correlation = 0;  ///< shrunken group correlation (dummy 1 for the majority)
  /// The point's place between the ends: 0 at the validity end, 1 where
  /// the validity is that of the impact end.
  double w_perf = 0;
  /// 0 at the impact end, 1 where the group correlation is that of the
  /// validity end.
  double w_race = 0;
};

/// How a shrinkage ended.
enum class shrinkage_status {
  shrunk,        ///< the value holds every point
  bad_input,     ///< a field is out of range: `errors` names each
  needs_mix,     ///< shrink_front: the problem gives no applicant mix
  not_validity,  ///< shrink_front: the front's quality is not validity
};

/// The published shrinkage of a front's validities and group correlations:
/// with V and G the ends' shrunken values (V = sign(v) √R²_B(v²) at the
/// validity end, G = g - (√R²_B(g²) - |g|) at the impact end, each with its
/// end's p), w_perf = (v - v_validity_end)/(v_impact_end - v_validity_end),
/// validity = w_perf (v_impact_end - V) + V, and likewise for the group
/// correlation with w_race. The validity end's validity and the impact
/// end's group correlation are the only values shrunk by the formula
/// itself: the validity of the impact end and the group correlation of the
/// validity end keep their calibration values.
///
/// bad_input (each fault naming its field) for lists of different lengths
/// or empty, an end outside them, a validity or group correlation that is
/// not finite or lies outside [-1, 1], a count of predictors below 1, an N
/// that is not finite or for which an end's R²_B is NaN (N <= 2p + 3), or
/// two different ends with the same validity or the same group
/// correlation (no place between them). Where both ends are one point,
/// both of its values are shrunk (w_perf = w_race = 0).
///
/// A shrunken group correlation can leave [-1, 1] (the impact end's
/// formula moves a positive correlation away from 0 by its shrinkage); it
/// is returned as the formula gives it.
using shrinkage_result = result<std::vector<shrunken_correlations>, shrinkage_status>;
shrinkage_result shrink_correlations(const shrinkage_input& input);

/// One point of a front, shrunken, and what it gives at the front's
/// selection ratio.
struct shrunken_weighting {
  double validity = 0;           ///< shrunken validity
  double group_correlation = 0;  ///< shrunken group correlation (dummy 1 for the majority)
  /// The composite effect size the shrunken group correlation implies
  /// (minority minus majority, as weighting_outcome's composite_d):
  /// -r / √((1 - r²) s (1 - s)) with s the minority share. NaN where the
  /// shrunken correlation lies outside (-1, 1).
  double composite_d = 0;
  double w_perf = 0;
  double w_race = 0;
  /// A cut score gives the front's ratio at that effect size (precise
  /// method); otherwise the ratios below are NaN.
  bool solved = true;
  double ai_ratio = 0;          ///< minority rate / majority rate
  double ratio_to_highest = 0;  ///< the lower group's rate over the higher's
};

/// The published shrinkage of a front found by find_pareto_front for
/// calibration samples of `calibration_n` applicants, in the front's order:
/// its first point is the validity end, its last the impact end. A point's
/// calibration group correlation comes from its composite_d and the
/// problem's minority share s (r = -d √(s(1-s)) / √(1 + d² s(1-s))), its
/// ends' predictors from count_nonzero_weights; the impact ratio of each
/// shrunken point is the precise method's at the front's selection ratio
/// and mode. Status needs_mix without an applicant mix (the group
/// correlation needs the share), not_validity for a front of the mean
/// objective (the formula shrinks validity, and that front's first point
/// need not be its highest validity), bad_input as shrink_correlations (an
/// empty front, an N too small for the ends' predictors).
using shrunken_front_result = result<std::vector<shrunken_weighting>, shrinkage_status>;
shrunken_front_result shrink_front(const problem& p, const pareto_front& front,
                                   double calibration_n);

}  // namespace fourfifths

#endif  // FOURFIFTHS_SHRINKAGE_H_
