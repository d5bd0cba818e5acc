#include "cblas.h"

#include <cstddef>

// The reference BLAS (netlib, as Debian's libblas3 ships it) unrolls the
// level-1 loops by four or five, but adds each product to the running sum
// one at a time, left to right, after first doing the few left over at the
// start: so a plain loop from the first entry to the last does the same
// arithmetic in the same order, with the same roundings. DTPSV is written
// here as the reference writes it, branch by branch. Both are compiled
// without fused multiply-adds (-ffp-contract=off; WebAssembly has none).
// The native test tests/web/sequential_blas_test.cc checks every
// routine bit for bit against the system's reference BLAS.
//
// Increments follow the reference routines: a negative increment walks the
// vector from its far end (DDOT, DAXPY, DTPSV); DSCAL does nothing for
// incx <= 0. Arguments that the reference CBLAS refuses with an error
// message do nothing here.

namespace {

// A vector of n entries with increment inc, seen one-based as the
// reference routines see it: entry 1 is at the far end for a negative
// increment.
template <typename T>
class strided {
 public:
  strided(T* data, int n, int inc)
      : data_(data + (inc >= 0 ? 0 : static_cast<std::ptrdiff_t>(1 - n) * inc)), inc_(inc) {}
  T& operator()(int i) const { return data_[static_cast<std::ptrdiff_t>(i - 1) * inc_]; }

 private:
  T* data_;
  std::ptrdiff_t inc_;
};

// A packed triangle seen one-based: ap(k) is position k.
class packed {
 public:
  explicit packed(const double* data) : data_(data) {}
  double operator()(int k) const { return data_[k - 1]; }

 private:
  const double* data_;
};

// DTPSV's four cases, column-major, as the reference loops them. An entry
// of x that is zero is skipped in the no-transpose cases, as there (so a
// zero on the diagonal does not turn it into a NaN).
void solve_upper(const packed& ap, const strided<double>& x, int n, bool unit) {
  int kk = n * (n + 1) / 2;
  for (int j = n; j >= 1; --j) {
    if (x(j) != 0) {
      if (!unit) x(j) = x(j) / ap(kk);
      const double temp = x(j);
      int k = kk - 1;
      for (int i = j - 1; i >= 1; --i, --k) x(i) = x(i) - temp * ap(k);
    }
    kk = kk - j;
  }
}

void solve_lower(const packed& ap, const strided<double>& x, int n, bool unit) {
  int kk = 1;
  for (int j = 1; j <= n; ++j) {
    if (x(j) != 0) {
      if (!unit) x(j) = x(j) / ap(kk);
      const double temp = x(j);
      int k = kk + 1;
      for (int i = j + 1; i <= n; ++i, ++k) x(i) = x(i) - temp * ap(k);
    }
    kk = kk + (n - j + 1);
  }
}

void solve_upper_transposed(const packed& ap, const strided<double>& x, int n, bool unit) {
  int kk = 1;
  for (int j = 1; j <= n; ++j) {
    double temp = x(j);
    int k = kk;
    for (int i = 1; i <= j - 1; ++i, ++k) temp = temp - ap(k) * x(i);
    if (!unit) temp = temp / ap(kk + j - 1);
    x(j) = temp;
    kk = kk + j;
  }
}

void solve_lower_transposed(const packed& ap, const strided<double>& x, int n, bool unit) {
  int kk = n * (n + 1) / 2;
  for (int j = n; j >= 1; --j) {
    double temp = x(j);
    int k = kk;
    for (int i = n; i >= j + 1; --i, --k) temp = temp - ap(k) * x(i);
    if (!unit) temp = temp / ap(kk - n + j);
    x(j) = temp;
    kk = kk - (n - j + 1);
  }
}

}  // namespace

extern "C" {

double cblas_ddot(int n, const double* x, int incx, const double* y, int incy) {
  double sum = 0;
  if (n <= 0) return sum;
  const strided<const double> xs(x, n, incx);
  const strided<const double> ys(y, n, incy);
  for (int i = 1; i <= n; ++i) sum = sum + xs(i) * ys(i);
  return sum;
}

void cblas_daxpy(int n, double alpha, const double* x, int incx, double* y, int incy) {
  // The reference DAXPY returns at once for alpha = 0, so an infinite or
  // NaN x leaves y as it was.
  if (n <= 0 || alpha == 0) return;
  const strided<const double> xs(x, n, incx);
  const strided<double> ys(y, n, incy);
  for (int i = 1; i <= n; ++i) ys(i) = ys(i) + alpha * xs(i);
}

void cblas_dscal(int n, double alpha, double* x, int incx) {
  if (n <= 0 || incx <= 0) return;
  const strided<double> xs(x, n, incx);
  for (int i = 1; i <= n; ++i) xs(i) = alpha * xs(i);
}

void cblas_dtpsv(CBLAS_LAYOUT layout, CBLAS_UPLO uplo, CBLAS_TRANSPOSE trans, CBLAS_DIAG diag,
                 int n, const double* ap, double* x, int incx) {
  if (n <= 0 || incx == 0) return;
  bool upper = uplo == CblasUpper;
  bool transposed = trans != CblasNoTrans;
  // A triangle packed by rows is the other triangle of its transpose packed
  // by columns, as the reference CBLAS passes it on.
  if (layout == CblasRowMajor) {
    upper = !upper;
    transposed = !transposed;
  }
  const packed a(ap);
  const strided<double> xs(x, n, incx);
  const bool unit = diag == CblasUnit;
  if (upper) {
    transposed ? solve_upper_transposed(a, xs, n, unit) : solve_upper(a, xs, n, unit);
  } else {
    transposed ? solve_lower_transposed(a, xs, n, unit) : solve_lower(a, xs, n, unit);
  }
}

}  // extern "C"
