// Cholesky factorisation and inverse of a symmetric positive-definite matrix
// held as its packed upper triangle, column by column: element (i, j), i <= j,
// at one-based position j(j-1)/2 + i.
#ifndef FOURFIFTHS_NUMERIC_PACKED_H_
#define FOURFIFTHS_NUMERIC_PACKED_H_

#include <cstddef>
#include <span>
#include <vector>

namespace numeric {

/// Factorises `ap` (order `n`, at least n(n+1)/2 entries) in place into R
/// with A = R'R. `info` = 0 on success, or the order of the first leading
/// minor that is not positive definite.
void dppfa(std::span<double> ap, int n, int& info) noexcept;

/// From the factor of `dppfa`: the determinant det[0]*10^det[1] when
/// job/10 != 0, the inverse in place when job%10 != 0.
void dppdi(std::span<double> ap, int n, std::span<double, 2> det, int job) noexcept;

/// Whether the symmetric matrix of order `n` whose upper triangle
/// `entry(i, j)`, 0 <= i <= j < n, gives is positive definite: the test of
/// `dppfa`, on a packed copy.
template <class Entry>
bool positive_definite(int n, Entry entry) {
  std::vector<double> packed;
  packed.reserve(static_cast<std::size_t>(n) * static_cast<std::size_t>(n + 1) / 2);
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i <= j; ++i) packed.push_back(entry(i, j));
  }
  int info = 0;
  dppfa(packed, n, info);
  return info == 0;
}

}  // namespace numeric

#endif  // FOURFIFTHS_NUMERIC_PACKED_H_
