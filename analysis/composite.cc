#include "analysis/composite.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <vector>

#include "numeric/packed.h"

namespace analysis {

namespace {

// regwei's own arrays, as large as the driver's.
constexpr int packed_capacity = capacity * (capacity + 1) / 2;

struct regwei_arrays {
  matrix pv1{"pv1[subscript-1-of-2]", "pv1[subscript-2-of-2]", label_regwei};
  matrix cc{"cc[subscript-1-of-2]", "cc[subscript-2-of-2]", label_regwei};
  vector pv2{"pv2", label_regwei};
  matrix rcp2{"rcp2[subscript-1-of-2]", "rcp2[subscript-2-of-2]", label_regwei};
  recordio::fixed_array<double, packed_capacity> rhp{"rhp", label_regwei};
  matrix rcp2i{"rcp2i[subscript-1-of-2]", "rcp2i[subscript-2-of-2]", label_regwei};
};

}  // namespace

/// regwei: the weights are R^-1 v, with R the predictor block (read from the
/// diagonal and lower triangle) and v(j) the correlation of predictor j with
/// the criterion composite (whose variance reads the criterion block from
/// the diagonal and upper triangle). `wc` is `wec` and `bes` is `wep`.
void regwei(const matrix& corin, const vector& wc, int np, int nc, vector& bes, int& info) {
  regwei_arrays a;
  auto& [pv1, cc, pv2, rcp2, rhp, rcp2i] = a;

  // 1. Predictor-criterion correlations and the criterion block.
  for (int i = 1; i <= nc; ++i) {
    for (int j = 1; j <= np; ++j) pv1(i, j) = corin(j, np + i);
    for (int l = 1; l <= nc; ++l) cc(i, l) = corin(np + i, np + l);
  }

  // 2. Variance of the criterion composite.
  double vcr = 0;
  for (int k = 1; k <= nc; ++k) {
    vcr = vcr + wc(k) * wc(k) * cc(k, k);
    for (int l = k + 1; l <= nc; ++l) vcr = vcr + 2 * wc(k) * wc(l) * cc(k, l);
  }

  // 3. Correlation of each predictor with the criterion composite, and the
  //    predictor block.
  for (int j = 1; j <= np; ++j) {
    pv2(j) = 0;
    for (int i = 1; i <= nc; ++i) pv2(j) = pv1(i, j) * wc(i) + pv2(j);
    pv2(j) = pv2(j) / std::sqrt(vcr);
    for (int m = 1; m <= np; ++m) rcp2(j, m) = corin(j, m);
  }

  // 4. Pack: element (i, j), i <= j, of the packed matrix is rcp2(j, i).
  int next = 0;
  for (int j = 1; j <= np; ++j) {
    for (int i = 1; i <= j; ++i) rhp(++next) = rcp2(j, i);
  }

  // 5. Factorise and invert in place (job 1: the inverse only).
  const int order = np * (np + 1) / 2;
  std::array<double, 2> det{};
  numeric::dppfa(rhp.first(order), np, info);
  numeric::dppdi(rhp.first(order), np, det, 1);

  // 6. Unpack in the same order, then mirror the lower triangle.
  next = 0;
  for (int j = 1; j <= np; ++j) {
    for (int i = 1; i <= j; ++i) rcp2i(j, i) = rhp(++next);
  }
  for (int j = 1; j <= np - 1; ++j) {
    for (int l = j + 1; l <= np; ++l) rcp2i(j, l) = rcp2i(l, j);
  }

  // 7. The weights.
  for (int j = 1; j <= np; ++j) {
    bes(j) = 0;
    for (int m = 1; m <= np; ++m) bes(j) = rcp2i(j, m) * pv2(m) + bes(j);
  }
}

namespace {

// The power of two that `scaled_weights` divides by, as its exponent.
int scale_exponent(std::span<const double> w, weight_scale scale) {
  if (scale == weight_scale::as_given) return 0;
  double largest = 0;
  for (const double x : w) largest = std::max(largest, std::fabs(x));
  if (!(largest > 0) || !std::isfinite(largest)) return 0;
  return std::ilogb(largest);
}

}  // namespace

std::vector<double> scaled_weights(std::span<const double> w, weight_scale scale) {
  std::vector<double> out(w.begin(), w.end());
  const int exponent = scale_exponent(w, scale);
  for (double& x : out) x = std::ldexp(x, -exponent);
  return out;
}

fourfifths::predictor_weighting weighting(const fourfifths::problem& p, weight_scale scale) {
  const fourfifths::problem_spec& spec = p.spec();
  fourfifths::predictor_weighting w;
  if (!spec.regression_weights) {
    w.weights = spec.predictor_weights;
    return w;
  }
  // regwei works on the classic arrays, as the deck fills them.
  const int np = spec.predictors;
  const int nc = spec.criteria;
  const int nv = np + nc;
  matrix corin{"corin[subscript-1-of-2]", "corin[subscript-2-of-2]", label_main};
  vector wec{"wec", label_main};
  vector wep{"wep", label_main};
  for (int i = 1; i <= nv; ++i) {
    for (int j = 1; j <= nv; ++j) corin(i, j) = p.correlation(i - 1, j - 1);
  }
  const std::vector<double> criterion_weights = scaled_weights(spec.criterion_weights, scale);
  for (int k = 1; k <= nc; ++k) wec(k) = criterion_weights[static_cast<std::size_t>(k - 1)];
  regwei(corin, wec, np, nc, wep, w.factorisation_info);
  const std::span<const double> computed = wep.slice(1, np);
  w.weights.assign(computed.begin(), computed.end());
  w.regression = true;
  return w;
}

fourfifths::composite_statistics composite_statistics(const fourfifths::problem& p,
                                                      std::span<const double> given_wep,
                                                      weight_scale scale) {
  const fourfifths::problem_spec& spec = p.spec();
  const std::vector<double> scaled_wep = scaled_weights(given_wep, scale);
  const std::vector<double> scaled_wec = scaled_weights(spec.criterion_weights, scale);
  const std::span<const double> wep = scaled_wep;
  const std::span<const double> wec = scaled_wec;
  const std::span<const double> difp = spec.predictor_effects;
  const std::span<const double> difc = spec.criterion_effects;
  const auto np = static_cast<std::size_t>(spec.predictors);
  const auto nc = static_cast<std::size_t>(spec.criteria);
  // The correlation of variables i and j, 0-based: predictors first.
  auto corin = [&p](std::size_t i, std::size_t j) {
    return p.correlation(static_cast<int>(i), static_cast<int>(j));
  };
  fourfifths::composite_statistics c;
  double& vp = c.predictor_variance;
  double& vc = c.criterion_variance;
  double& cpc = c.covariance;

  double dpc = 0;
  for (std::size_t i = 0; i < np; ++i) dpc = wep[i] * difp[i] + dpc;
  double dcc = 0;
  for (std::size_t k = 0; k < nc; ++k) dcc = wec[k] * difc[k] + dcc;

  // The variances read the upper triangles without their diagonals, and
  // take each diagonal entry as 1.
  vp = composite_variance(wep.first(np), corin);
  vc = composite_variance(wec.first(nc),
                          [&](std::size_t k, std::size_t l) { return corin(np + k, np + l); });

  c.predictor_effect = dpc / std::sqrt(vp);
  if (nc == 0) {
    vp = std::ldexp(vp, 2 * scale_exponent(given_wep, scale));
    return c;
  }

  c.has_criteria = true;
  c.criterion_effect = dcc / std::sqrt(vc);
  // coh(k): the covariance of the predictor composite with criterion k.
  for (std::size_t k = 0; k < nc; ++k) {
    double coh = 0;
    for (std::size_t i = 0; i < np; ++i) coh = wep[i] * corin(i, np + k) + coh;
    cpc = cpc + coh * wec[k];
  }
  c.validity = cpc / std::sqrt(vp * vc);
  // The variances and the covariance are those of the composites of the
  // weights as given.
  const int ep = scale_exponent(given_wep, scale);
  const int ec = scale_exponent(spec.criterion_weights, scale);
  vp = std::ldexp(vp, 2 * ep);
  vc = std::ldexp(vc, 2 * ec);
  cpc = std::ldexp(cpc, ep + ec);
  return c;
}

}  // namespace analysis
