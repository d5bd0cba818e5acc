// The standard normal distribution: quantile (`ppnd`, Wichura's AS 241,
// PPND16), tail areas and density (`normp`, Hart et al. 5666 with a
// continued fraction in the tails) and one tail area (`alnorm`).
//
// Pure functions of their arguments: no state, no allocation, no messages.
#ifndef FOURFIFTHS_NUMERIC_NORMAL_H_
#define FOURFIFTHS_NUMERIC_NORMAL_H_

namespace numeric {

/// The point below which the lower-tail probability `p` lies. `ifault` is
/// always written: 0, or 1 when `p` <= 0 or `p` >= 1 (the result is then 0).
double ppnd(double p, int& ifault) noexcept;

/// ppnd with the logarithm of portable_math.h: the same bits on every
/// build, for the precise method's quantiles (ppnd keeps the C library's).
double ppnd_portable(double p, int& ifault) noexcept;

/// At `z`: the lower-tail area `p`, the upper-tail area `q` and the density
/// `pdf`, all three written on every call. Beyond |z| > 37 the exact limits.
void normp(double z, double& p, double& q, double& pdf) noexcept;

/// The area above `x` when `upper`, else the area below it.
double alnorm(double x, bool upper) noexcept;

}  // namespace numeric

#endif  // FOURFIFTHS_NUMERIC_NORMAL_H_
