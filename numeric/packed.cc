#include "numeric/packed.h"

#include <cblas.h>

#include <cmath>
#include <cstddef>

namespace numeric {

namespace {

// The packed array seen one-based, so that the loops read like LINPACK's:
// ap(k) is position k, and ap.from(k) the stretch that starts there, for
// the BLAS calls. The view is cut to n(n+1)/2 entries, so the checked
// builds catch any position beyond the triangle.
class one_based {
 public:
  one_based(std::span<double> storage, int n)
      : v_(storage.first(n > 0 ? static_cast<std::size_t>(n) * (n + 1) / 2 : 0)) {}

  double& operator()(int k) const { return v_[static_cast<std::size_t>(k - 1)]; }
  double* from(int k) const { return v_.subspan(static_cast<std::size_t>(k - 1)).data(); }

 private:
  std::span<double> v_;
};

}  // namespace

// dppfa: Cholesky factorisation of a packed symmetric positive-definite
// matrix, column by column (LINPACK DPPFA).
//
//   ap    in   upper triangle of A by columns, A(i,j) at ap(i + j(j-1)/2),
//              one-based, at least n(n+1)/2 entries
//         out  R with A = R'R in the same positions when info = 0;
//              otherwise columns 1..info-1 of R, column info with its new
//              off-diagonal values and its old diagonal, the rest untouched
//   n     in   order of A
//   info  out  0, or the order j of the first leading minor that is not
//              positive definite (the test is s <= 0, so a NaN goes on)
//
// Reference: Dongarra, Bunch, Moler, Stewart, LINPACK Users' Guide (SIAM,
// 1979), DPPFA. The dot products are the system BLAS ddot.
void dppfa(std::span<double> packed, int n, int& info) noexcept {
  const one_based ap(packed, n);
  int jj = 0;
  for (int j = 1; j <= n; ++j) {
    info = j;
    double s = 0;
    int kj = jj;
    int kk = 0;
    for (int k = 1; k <= j - 1; ++k) {
      kj = kj + 1;
      double t = ap(kj) - cblas_ddot(k - 1, ap.from(kk + 1), 1, ap.from(jj + 1), 1);
      kk = kk + k;
      t = t / ap(kk);
      ap(kj) = t;
      s = s + t * t;
    }
    jj = jj + j;
    s = ap(jj) - s;
    if (s <= 0) return;
    ap(jj) = std::sqrt(s);
  }
  info = 0;
}

// dppdi: determinant and inverse from the factor of dppfa (LINPACK DPPDI).
//
//   ap   in   R from dppfa, packed as above (one-based)
//        out  upper triangle of inv(A) when job%10 != 0, else unchanged
//   n    in   order
//   det  out  when job/10 != 0: det(A) = det[0] * 10^det[1], with
//             1 <= det[0] < 10 or det[0] = 0; else untouched
//   job  in   11: both, 01: inverse only, 10: determinant only
//
// No status: it divides by whatever diagonal it is given, so after a failed
// dppfa the result is what these steps make of the partial factor. A
// determinant that overflows leaves the scaling loop at once (LINPACK would
// divide an infinity by ten for ever).
// Reference: LINPACK Users' Guide (1979), DPPDI. The vector operations are
// the system BLAS dscal and daxpy.
void dppdi(std::span<double> packed, int n, std::span<double, 2> det, int job) noexcept {
  const one_based ap(packed, n);

  // Determinant: the product of the squared diagonal of R, kept scaled.
  if (job / 10 != 0) {
    constexpr double ten = 10;
    det[0] = 1;
    det[1] = 0;
    int ii = 0;
    for (int i = 1; i <= n; ++i) {
      ii = ii + i;
      det[0] = ap(ii) * ap(ii) * det[0];
      if (det[0] == 0 || std::isinf(det[0])) break;
      while (det[0] < 1) {
        det[0] = ten * det[0];
        det[1] = det[1] - 1;
      }
      while (det[0] >= ten) {
        det[0] = det[0] / ten;
        det[1] = det[1] + 1;
      }
    }
  }

  if (job % 10 == 0) return;

  // inv(R) in place.
  int kk = 0;
  for (int k = 1; k <= n; ++k) {
    const int k1 = kk + 1;
    kk = kk + k;
    ap(kk) = 1 / ap(kk);
    double t = -ap(kk);
    cblas_dscal(k - 1, t, ap.from(k1), 1);
    int j1 = kk + 1;
    int kj = kk + k;
    for (int j = k + 1; j <= n; ++j) {
      t = ap(kj);
      ap(kj) = 0;
      cblas_daxpy(k, t, ap.from(k1), 1, ap.from(j1), 1);
      j1 = j1 + j;
      kj = kj + j;
    }
  }

  // inv(R) * inv(R)' in place.
  int jj = 0;
  for (int j = 1; j <= n; ++j) {
    const int j1 = jj + 1;
    jj = jj + j;
    int k1 = 1;
    int kj = j1;
    for (int k = 1; k <= j - 1; ++k) {
      const double t = ap(kj);
      cblas_daxpy(k, t, ap.from(j1), 1, ap.from(k1), 1);
      k1 = k1 + k;
      kj = kj + 1;
    }
    const double t = ap(jj);
    cblas_dscal(j, t, ap.from(j1), 1);
  }
}

}  // namespace numeric
