// The standard normal distribution to within a few units in the last place:
// tail areas through the complementary error function of portable_math.h
// (the same bits on every build, the page's WebAssembly included), with
// the rounding of the scaled argument carried to first order, and the
// density with the rounding of z*z carried likewise. The precise method of
// the analysis uses these where the report's own routines (normal.h) are
// accurate to about 1e-9 in the far tails.
#ifndef FOURFIFTHS_NUMERIC_PRECISE_NORMAL_H_
#define FOURFIFTHS_NUMERIC_PRECISE_NORMAL_H_

namespace numeric::precise {

/// The area above z, Q(z) = erfc(z/sqrt(2))/2. Exact limits beyond the
/// range of doubles (0 above about 38.5, 1 below about -8.3).
double upper_tail(double z) noexcept;

/// The density exp(-z*z/2)/sqrt(2*pi).
double density(double z) noexcept;

/// Both, from one exponential: the tail area's first-order correction
/// for the rounding of z/sqrt(2) takes exp(-z*z/2) from the density
/// (within a few units of its own, where the correction is itself a few
/// units of the area). Measured: the same doubles as upper_tail and
/// density at every one of the 2,569 reference points of
/// tests/numeric/data.
struct tail_and_density {
  double tail;
  double density;
};
tail_and_density upper_tail_and_density(double z) noexcept;

/// The mean of the standard normal above z, E[Z | Z > z] =
/// density(z)/upper_tail(z), also where the tail area is below the
/// smallest normal double (z above 37) or zero.
double upper_tail_mean(double z) noexcept;

/// The point above which the area q lies: Q(upper_quantile(q)) = q, for q
/// in (0, 1); NaN outside. AS 241 refined by one Newton step on Q, to the
/// accuracy that q allows (about ulp(q)/density).
double upper_quantile(double q) noexcept;

}  // namespace numeric::precise

#endif  // FOURFIFTHS_NUMERIC_PRECISE_NORMAL_H_
