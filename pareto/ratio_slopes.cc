#include "pareto/ratio_slopes.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

#include "numeric/portable_math.h"
#include "numeric/precise_normal.h"

namespace pareto {

namespace {

namespace precise = numeric::precise;

// The normal's hazard phi(z)/Q(z), which rises with z (the mean above z
// where Q underflows), from phi(z) = `density`.
double hazard(double z, double density) {
  const double rate = precise::upper_tail(z);
  return rate >= std::numeric_limits<double>::min() ? density / rate
                                                    : precise::upper_tail_mean(z);
}

// Rounding's share, as a relative margin: far above the few units in the
// last place of each part, far below any gap the search closes.
constexpr double margin = 1e-12;

}  // namespace

// With z_m = x - e_m and eta the hazard, d log Q(z)/dz = -eta(z), and the
// cut score's slope in effect k is chi_k = p_k phi(z_k) / sum_m p_m
// phi(z_m) (0 where it is fixed), so
//   d psi / d e_k = -eta(z_g) (chi_k - [g = k]) + eta(z_h) (chi_k - [h = k]).
// Over the box z_m lies in [x_lo - e_m,hi, x_hi - e_m,lo]; eta in its
// values at the ends (it rises); p phi between the ends' least and, where
// the range holds 0, phi(0); chi_k = a / (a + b) rises with a = p_k phi_k
// and falls with b, the others' sum. Then psi(y) <= psi(c) + sum_j
// max |d psi / d y_j| h_j, the gradient in the box's coordinates y the sum
// over k of d psi / d e_k times e_k's own gradient range.
double lowest_ratio_upper(std::span<const range> effects, const box_slopes& slopes,
                          std::span<const double> shares, bool cut_moves, double x_lo,
                          double x_hi, double x_c) {
  const std::size_t groups = effects.size();
  if (slopes.empty() || slopes.centre.size() != groups || slopes.gradient.size() != groups ||
      shares.size() != groups + 1 || !(x_lo <= x_hi) || !std::isfinite(x_c))
    return 1;
  std::vector<range> eta(groups + 1);
  std::vector<range> weight(groups + 1);
  std::vector<double> log_rate(groups + 1);
  for (std::size_t m = 0; m <= groups; ++m) {
    const range z = m == 0 ? range{x_lo, x_hi}
                           : range{x_lo - effects[m - 1].hi, x_hi - effects[m - 1].lo};
    const double d_lo = precise::density(z.lo);
    const double d_hi = precise::density(z.hi);
    eta[m] = {hazard(z.lo, d_lo), hazard(z.hi, d_hi)};
    const double top = z.lo <= 0 && z.hi >= 0 ? precise::density(0) : std::max(d_lo, d_hi);
    weight[m] = {shares[m] * std::min(d_lo, d_hi), shares[m] * top};
    const double rate = precise::upper_tail(x_c - (m == 0 ? 0.0 : slopes.centre[m - 1]));
    if (!(rate > 0) || !std::isfinite(eta[m].lo) || !std::isfinite(eta[m].hi) ||
        !(weight[m].lo >= 0))
      return 1;
    log_rate[m] = numeric::portable::log(rate);
  }
  std::vector<range> chi(groups + 1, range{0, 0});
  if (cut_moves) {
    double all_lo = 0;
    double all_hi = 0;
    for (const range& w : weight) {
      all_lo += w.lo;
      all_hi += w.hi;
    }
    for (std::size_t k = 1; k <= groups; ++k) {
      const double rest_lo = std::max(0.0, all_lo - weight[k].lo) * (1 - margin);
      const double rest_hi = (all_hi - weight[k].hi) * (1 + margin);
      const double low = weight[k].lo + rest_hi;
      const double high = weight[k].hi + rest_lo;
      chi[k] = {low > 0 ? weight[k].lo / low * (1 - margin) : 0.0,
                high > 0 ? std::min(1.0, weight[k].hi / high * (1 + margin)) : 1.0};
    }
  }
  // The pairs by psi at the centre, the lowest first: one whose psi there
  // is no lower than the least bound so far (or than 0: L <= 1 anyway)
  // cannot lower it, nor can any after it.
  std::vector<std::pair<double, std::pair<std::size_t, std::size_t>>> pairs;
  for (std::size_t g = 0; g <= groups; ++g) {
    for (std::size_t h = 0; h <= groups; ++h) {
      if (g != h && log_rate[g] < log_rate[h]) pairs.push_back({log_rate[g] - log_rate[h], {g, h}});
    }
  }
  std::sort(pairs.begin(), pairs.end());
  const std::size_t dims = slopes.half.size();
  double lowest = 0;
  std::vector<range> by_effect(groups + 1);
  for (const auto& [psi, pair] : pairs) {
    if (!(psi < lowest)) break;
    const auto [g, h] = pair;
    for (std::size_t k = 1; k <= groups; ++k) {
      const double own = g == k ? 1.0 : 0.0;
      const double other = h == k ? 1.0 : 0.0;
      const range a = product(eta[g], {chi[k].lo - own, chi[k].hi - own});
      const range b = product(eta[h], {chi[k].lo - other, chi[k].hi - other});
      by_effect[k] = {b.lo - a.hi, b.hi - a.lo};
    }
    double spread = 0;
    double size = 0;
    for (std::size_t j = 0; j < dims; ++j) {
      if (!(slopes.half[j] > 0)) continue;
      range slope{0, 0};
      for (std::size_t k = 1; k <= groups; ++k) {
        const range t = product(by_effect[k], slopes.gradient[k - 1][j]);
        slope.lo += t.lo;
        slope.hi += t.hi;
        size += std::fabs(t.lo) + std::fabs(t.hi);
      }
      spread += std::max(std::fabs(slope.lo), std::fabs(slope.hi)) * slopes.half[j];
    }
    const double high =
        psi + spread +
        margin * (1 + std::fabs(log_rate[g]) + std::fabs(log_rate[h]) + spread + size);
    lowest = std::min(lowest, high);
  }
  return std::min(1.0, numeric::portable::exp(lowest) * (1 + margin));
}

}  // namespace pareto
