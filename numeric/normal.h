// The standard normal distribution: quantile (`ppnd`, Wichura's AS 241,
// PPND16), tail areas and density (`normp`, Hart et al. 5666 with a
// continued fraction in the tails) and one tail area (`alnorm`).
#ifndef FOURFIFTHS_NUMERIC_NORMAL_H_
#define FOURFIFTHS_NUMERIC_NORMAL_H_

namespace numeric {

/// The point below which the lower-tail probability `p` lies. `ifault` is
/// always written: 0, or 1 when `p` is not inside (0, 1) (the result is then 0).
double ppnd(double p, int& ifault);

/// At `z`: the lower-tail area `p`, the upper-tail area `q` and the density `pdf`.
void normp(double z, double& p, double& q, double& pdf);

/// The area above `x` when `upper`, else the area below it.
double alnorm(double x, bool upper);

}  // namespace numeric

#endif  // FOURFIFTHS_NUMERIC_NORMAL_H_
