// A bracketing zero finder (Dekker's secant and bisection scheme as arranged
// by Shampine and Watts) and its table of machine constants.
#ifndef FOURFIFTHS_NUMERIC_DFZERO_H_
#define FOURFIFTHS_NUMERIC_DFZERO_H_

namespace numeric {

/// Machine constant i (1..5) of IEEE double precision: the smallest normal
/// magnitude, the largest finite magnitude, 2^-53, 2^-52, log10(2). Any
/// other i is an internal fault that ends the run (exit status 2).
double d1mach(int i);

/// Searches [b, c] for a zero of `f`, starting from `r` when it lies
/// strictly inside. On return `b` is the end with the smaller |f| and `c`
/// the other end; `iflag` is the status 1..5. At most 500 evaluations of f.
/// Not noexcept: whatever `f` throws (a run end) passes through.
void dfzero(double (*f)(double), double& b, double& c, double r, double re, double ae, int& iflag);

}  // namespace numeric

#endif  // FOURFIFTHS_NUMERIC_DFZERO_H_
