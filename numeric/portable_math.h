// exp, log and erfc computed by this program's own code, so that they give
// the same bits on every build: the C libraries' versions differ in their
// last bits (glibc natively, musl in the page's WebAssembly, and glibc
// itself by processor, where it picks fused multiply-add variants at run
// time). The search for the front of several groups follows its steps
// through comparisons of values formed from these functions, and a last
// bit one way or the other can send two builds down paths that end 1e-7
// apart; with these, the page finds the native program's front bit for
// bit (only IEEE arithmetic and correctly rounded operations are used,
// with -ffp-contract=off).
//
// The methods are the Sun fdlibm routines' (e_exp.c, e_log.c, s_erf.c;
// Copyright (C) 1993 by Sun Microsystems, Inc. All rights reserved.
// Developed at SunSoft, a Sun Microsystems, Inc. business. Permission to
// use, copy, modify, and distribute this software is freely granted,
// provided that this notice is preserved.), with their coefficients:
// each within 1 unit in the last place (tests/numeric/portable_math_test
// against 50-digit references).
#ifndef FOURFIFTHS_NUMERIC_PORTABLE_MATH_H_
#define FOURFIFTHS_NUMERIC_PORTABLE_MATH_H_

namespace numeric::portable {

/// e^x; +inf above about 709.78, 0 below about -745.13, NaN for NaN.
double exp(double x) noexcept;

/// The natural logarithm; -inf at 0, NaN below 0 and for NaN, +inf at +inf.
double log(double x) noexcept;

/// The complementary error function 1 - erf(x); 0 above 28 (to the
/// smallest doubles), 2 below -6 (to rounding), NaN for NaN.
double erfc(double x) noexcept;

}  // namespace numeric::portable

#endif  // FOURFIFTHS_NUMERIC_PORTABLE_MATH_H_
