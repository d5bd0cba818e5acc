#include "pareto/ratio_slopes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "numeric/portable_math.h"
#include "numeric/precise_normal.h"

namespace pareto {

namespace {

namespace precise = numeric::precise;

// The normal's hazard phi(z)/Q(z), which rises with z (the mean above z
// where Q underflows), and phi(z).
struct hazard_at {
  double hazard;
  double density;
};
hazard_at hazard(double z) {
  const precise::tail_and_density q = precise::upper_tail_and_density(z);
  return {q.tail >= std::numeric_limits<double>::min() ? q.density / q.tail
                                                       : precise::upper_tail_mean(z),
          q.density};
}

// Rounding's share, as a relative margin: far above the few units in the
// last place of each part, far below any gap the search closes.
constexpr double margin = 1e-12;

// A pair's psi over the box, to first order about the centre: psi(y) <=
// top + slope . u for every y = c + u h (|u_j| <= 1), slope the middle of
// its gradient's range (times h) and top psi(c) plus the range's reach
// beyond the middle.
struct linear_part {
  double top = 0;
  std::vector<double> slope;
};

// The sets of `size` members (bit masks) in turn: the first, and the next
// of the same size (Gosper's).
constexpr std::uint32_t first_of(std::size_t size) { return (std::uint32_t{1} << size) - 1; }
constexpr std::uint32_t next_of(std::uint32_t set) {
  const std::uint32_t low = set & (~set + 1);
  const std::uint32_t ripple = set + low;
  return (((ripple ^ set) >> 2) / low) | ripple;
}

// The most pairs joined: on the 6-predictor, 4-group far end, two leave
// 4,081 splits, three 2,892, four 2,523 and six 2,494.
constexpr std::size_t most_joined = 4;

// A bound of min_k psi_k over the box from the pairs' linear parts
// together: for any lambda >= 0 with sum 1, min_k psi_k <= sum_k lambda_k
// psi_k <= sum_k lambda_k top_k + sum_j |sum_k lambda_k slope_kj| (the
// Lagrangian dual of max_u min_k (top_k + slope_k . u); Boyd and
// Vandenberghe, Convex Optimization, 2004, 5.2). Each pair alone (lambda a
// unit vector) gives its own bound, which grows with the box's width
// where pairs tie at the top with slopes of opposite sign; a mix that
// cancels their slopes brings back the second order. The dual is
// piecewise linear in lambda, so its minimum over the simplex lies where
// the weights of a set S of pairs sum to 1 and cancel the slopes on |S| -
// 1 coordinates (the slopes' null vector, by its cofactors): each such mix
// with no negative weight is tried, smaller sets first, until one reaches
// `enough` (any mix is a bound: the search for the best need not be
// exhaustive). The least of their values; plus infinity where there are
// fewer than two pairs.
double joined(std::span<const linear_part> parts, double enough) {
  double least = std::numeric_limits<double>::infinity();
  const std::size_t count = parts.size();
  if (count < 2) return least;
  const std::size_t dims = parts.front().slope.size();
  std::vector<std::size_t> moving;
  for (std::size_t j = 0; j < dims; ++j) {
    if (std::any_of(parts.begin(), parts.end(),
                    [j](const linear_part& p) { return p.slope[j] != 0; }))
      moving.push_back(j);
  }
  if (moving.size() >= 32) return least;
  const bool aiming = enough > -std::numeric_limits<double>::infinity();
  std::array<std::size_t, most_joined> chosen{};
  std::array<std::size_t, most_joined> cancelled{};
  std::array<double, most_joined> lambda{};
  const auto value = [&](std::size_t size) {
    double v = 0;
    double scale = 1;
    for (std::size_t i = 0; i < size; ++i) {
      v += lambda[i] * parts[chosen[i]].top;
      scale += lambda[i] * std::fabs(parts[chosen[i]].top);
    }
    for (std::size_t j = 0; j < dims; ++j) {
      double s = 0;
      for (std::size_t i = 0; i < size; ++i) {
        s += lambda[i] * parts[chosen[i]].slope[j];
        scale += lambda[i] * std::fabs(parts[chosen[i]].slope[j]);
      }
      v += std::fabs(s);
    }
    return v + margin * scale;
  };
  // The mix of the pairs `chosen` that cancels the slopes `cancelled`: the
  // null vector of those slopes (size - 1 rows of size), by its cofactors,
  // scaled to sum 1; none where its entries differ in sign or vanish.
  const auto mix = [&](std::size_t size) {
    const auto m = [&](std::size_t row, std::size_t i) {
      return parts[chosen[i]].slope[cancelled[row]];
    };
    const auto det2 = [&](std::size_t r0, std::size_t r1, std::size_t i, std::size_t k) {
      return m(r0, i) * m(r1, k) - m(r0, k) * m(r1, i);
    };
    switch (size) {
      case 2:
        lambda[0] = m(0, 1);
        lambda[1] = -m(0, 0);
        break;
      case 3:
        lambda[0] = det2(0, 1, 1, 2);
        lambda[1] = -det2(0, 1, 0, 2);
        lambda[2] = det2(0, 1, 0, 1);
        break;
      default: {  // 4: each entry the minor without its column, by its first row
        for (std::size_t i = 0; i < 4; ++i) {
          std::array<std::size_t, 3> c{};
          std::size_t n = 0;
          for (std::size_t k = 0; k < 4; ++k) {
            if (k != i) c[n++] = k;
          }
          const double minor = m(0, c[0]) * det2(1, 2, c[1], c[2]) -
                               m(0, c[1]) * det2(1, 2, c[0], c[2]) +
                               m(0, c[2]) * det2(1, 2, c[0], c[1]);
          lambda[i] = (i % 2 == 0 ? 1.0 : -1.0) * minor;
        }
        break;
      }
    }
    double total = 0;
    for (std::size_t i = 0; i < size; ++i) total += lambda[i];
    if (!(std::fabs(total) > 0)) return;
    for (std::size_t i = 0; i < size; ++i) {
      lambda[i] /= total;
      if (!(lambda[i] >= 0)) return;
    }
    least = std::min(least, value(size));
  };
  for (std::size_t size = 2; size <= std::min(count, moving.size() + 1); ++size) {
    for (std::uint32_t set = first_of(size); set < (std::uint32_t{1} << count);
         set = next_of(set)) {
      std::size_t c = 0;
      double lowest_top = std::numeric_limits<double>::infinity();
      for (std::size_t k = 0; k < count; ++k) {
        if ((set >> k) & 1U) {
          chosen[c++] = k;
          lowest_top = std::min(lowest_top, parts[k].top);
        }
      }
      // A mix is no lower than its lowest top.
      if (lowest_top >= least || (aiming && lowest_top > enough)) continue;
      for (std::uint32_t coords = first_of(size - 1); coords < (std::uint32_t{1} << moving.size());
           coords = next_of(coords)) {
        std::size_t e = 0;
        for (std::size_t j = 0; j < moving.size(); ++j) {
          if ((coords >> j) & 1U) cancelled[e++] = moving[j];
        }
        mix(size);
        if (least <= enough) return least;
      }
    }
  }
  return least;
}

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
                          double x_hi, double x_c, double enough) {
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
    const hazard_at at_lo = hazard(z.lo);
    const hazard_at at_hi = hazard(z.hi);
    const double d_lo = at_lo.density;
    const double d_hi = at_hi.density;
    eta[m] = {at_lo.hazard, at_hi.hazard};
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
  std::vector<linear_part> parts;
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
    linear_part part;
    part.slope.assign(dims, 0.0);
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
      // The slope's middle, and what the range leaves beyond it.
      const double middle = slope.lo + (slope.hi - slope.lo) / 2;
      part.slope[j] = middle * slopes.half[j];
      part.top += std::max(slope.hi - middle, middle - slope.lo) * slopes.half[j];
    }
    const double rounding =
        margin * (1 + std::fabs(log_rate[g]) + std::fabs(log_rate[h]) + spread + size);
    lowest = std::min(lowest, psi + spread + rounding);
    part.top += psi + rounding;
    if (parts.size() < most_joined) parts.push_back(std::move(part));
  }
  // Joined only where a mix could lower the bound, and reach `enough` if
  // one is given: none goes below the primal's value at the centre (u =
  // 0), min_k top_k (weak duality).
  const double target =
      enough > 0 ? numeric::portable::log(enough) : -std::numeric_limits<double>::infinity();
  const auto by_top = [](const linear_part& x, const linear_part& y) { return x.top < y.top; };
  if (parts.size() >= 2 && lowest > target) {
    const double least_top = std::min_element(parts.begin(), parts.end(), by_top)->top;
    if (least_top < lowest && (enough <= 0 || least_top <= target))
      lowest = std::min(lowest, joined(parts, target));
  }
  return std::min(1.0, numeric::portable::exp(lowest) * (1 + margin));
}

}  // namespace pareto
