// An upper bound of the lowest ratio of selection rates over a box of
// weightings, from the box's slopes (sphere_search.h): the bound of the
// far end's global search where the search gives them.
//
// The groups (the majority first, its composite mean 0; group m's mean
// e_m, the composite's effect) are selected above a cut score x: rate r_m
// = Q(x - e_m), and L = min_m r_m / max_m r_m = min over the pairs (g, h)
// of exp(psi), psi = log Q(z_g) - log Q(z_h), z_m = x - e_m. Each pair's
// psi is bounded over the box by its mean-value form about the box's
// centre (Moore, Kearfott and Cloud, Introduction to Interval Analysis,
// 2009, 6.4), its gradient in the effects enclosed by interval arithmetic
// and carried to the box's coordinates through the effects' own gradient
// ranges. Its excess shrinks with the box's width squared, where a bound
// from the effects' ranges alone does so with the width: along a ridge
// where ratios tie and L falls slowly away from its top, boxes that the
// ranges cannot set aside this can (the search crawled there).
#ifndef FOURFIFTHS_PARETO_RATIO_SLOPES_H_
#define FOURFIFTHS_PARETO_RATIO_SLOPES_H_

#include <span>

#include "pareto/sphere_search.h"

namespace pareto {

/// `shares`: the majority's, then each group's (as many as `effects`);
/// `cut_moves`: the cut score is the mix's (overall mode) rather than
/// fixed; `x_lo`, `x_hi`: the cut score at every effect's low and high end
/// (the cut score rises with every effect, so these bound it over the
/// box; equal where it is fixed); `x_c`: at the effects of the box's
/// centre (slopes.centre); `enough`: a bound at or below it serves as
/// well as any lower one, and one above it as well as any other above it,
/// so the closer parts of the bound are sought only where they may reach
/// it (0: the closest this method gives). 1 where it cannot be formed (L
/// never passes 1).
[[nodiscard]] double lowest_ratio_upper(std::span<const range> effects, const box_slopes& slopes,
                                        std::span<const double> shares, bool cut_moves,
                                        double x_lo, double x_hi, double x_c, double enough = 0);

}  // namespace pareto

#endif  // FOURFIFTHS_PARETO_RATIO_SLOPES_H_
