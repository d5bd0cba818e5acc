#include "analysis/composite.h"

#include <array>
#include <cmath>

#include "numeric/packed.h"
#include "recordio/writer.h"

namespace analysis {

namespace {

using recordio::label_regwei;

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

composite_stats composite_statistics(const problem& p) {
  const vector& wep = p.wep;
  const vector& wec = p.wec;
  const matrix& corin = p.corin;
  const int np = p.np;
  const int nc = p.nc;
  composite_stats c;

  double dpc = 0;
  for (int i = 1; i <= np; ++i) dpc = wep(i) * p.difp(i) + dpc;
  double dcc = 0;
  for (int k = 1; k <= nc; ++k) dcc = wec(k) * p.difc(k) + dcc;

  // The variances read the upper triangles without their diagonals, and
  // take each diagonal entry as 1.
  for (int i = 1; i <= np; ++i) {
    c.vp = c.vp + wep(i) * wep(i);
    for (int j = i + 1; j <= np; ++j) c.vp = c.vp + 2 * wep(i) * wep(j) * corin(i, j);
  }
  for (int k = 1; k <= nc; ++k) {
    c.vc = c.vc + wec(k) * wec(k);
    for (int l = k + 1; l <= nc; ++l) c.vc = c.vc + 2 * wec(k) * wec(l) * corin(np + k, np + l);
  }

  c.dpc = dpc / std::sqrt(c.vp);
  if (nc == 0) return c;

  c.dcc = dcc / std::sqrt(c.vc);
  vector coh{"coh", recordio::label_main};
  for (int k = 1; k <= nc; ++k) {
    coh(k) = 0;
    for (int i = 1; i <= np; ++i) coh(k) = wep(i) * corin(i, np + k) + coh(k);
    c.cpc = c.cpc + coh(k) * wec(k);
  }
  c.rpc = c.cpc / std::sqrt(c.vp * c.vc);
  return c;
}

namespace {

// One template per block of ten values a line, chosen by the number of
// predictors.
constexpr recordio::layout weights_10{
    "('Predictor weights (from predictor one to the last):',/,5X,10F9.5)"};
constexpr recordio::layout weights_20{
    "('Predictor weights (from predictor one to the last):',/,5X,10F9.5,/,5X,10F9.5)"};
constexpr recordio::layout weights_30{
    "('Predictor weights (from predictor one to the last):',/,5X,10F9.5,/,5X,10F9.5,/,5X,"
    "10F9.5)"};
constexpr recordio::layout regression_note{"(7X,'(Regression based weights!)')"};
constexpr recordio::layout not_positive_definite{
    "(7X,'(Warning: predictor correlations not positive definite!)')"};
constexpr recordio::layout criterion_weights{
    "('Criterion weights (from criterion one to the last):',/,5X,10F7.3)"};
constexpr recordio::layout effects_10{
    "('Effect sizes (i.e., standardized',' difference between the',/,'minority and the "
    "majority',' group) of the predictors',/,5X,10F7.3)"};
constexpr recordio::layout effects_20{
    "('Effect sizes (i.e., standardized',' difference between the',/,'minority and the "
    "majority',' group) of the predictors',/,5X,10F7.3,/,5X,10F7.3)"};
constexpr recordio::layout effects_30{
    "('Effect sizes (i.e., standardized',' difference between the',/,'minority and the "
    "majority',' group) of the predictors',/,5X,10F7.3,/,5X,10F7.3,/,5X,10F7.3)"};
constexpr recordio::layout criterion_effects{
    "('Effect sizes (i.e., standardized',' difference between the',/,'minority and the "
    "majority',' group) of the criteria',/,5X,10F7.3)"};
constexpr recordio::layout matrix_heading{
    "('Correlation matrix of the predictors (first',I2,' rows',' and columns)',/,'and the "
    "criteria (final',I2,' rows and',' columns',')')"};
constexpr recordio::layout matrix_row{"('   Row ',I2,1X,30F5.2)"};
constexpr recordio::layout composite_correlation{
    "(/,'Correlation between weighted predictor and weighted',/,'criterion combinations:',"
    "F7.3,/,'Squared correlation:',F7.3)"};
constexpr recordio::layout predictor_composite_effect{"(/,'Effect size predictor composite',F7.3)"};
constexpr recordio::layout criterion_composite_effect{"('Effect size criterion composite',F7.3)"};

// Writes `values` with the template for their count: up to 10, 20 or 30
// values, ten to a line.
template <std::size_t A, std::size_t B, std::size_t C>
void write_ten_a_line(recordio::session& s, std::span<const double> values,
                      const recordio::layout<A>& up_to_10, const recordio::layout<B>& up_to_20,
                      const recordio::layout<C>& up_to_30) {
  if (values.size() <= 10) {
    recordio::write(s, up_to_10, values);
  } else if (values.size() <= 20) {
    recordio::write(s, up_to_20, values);
  } else {
    recordio::write(s, up_to_30, values);
  }
}

}  // namespace

void write_problem_sections(recordio::session& s, const problem& p, int info) {
  const int np = p.np;
  const int nc = p.nc;
  write_ten_a_line(s, p.wep.slice(1, np), weights_10, weights_20, weights_30);
  if (p.ireg == 1) {
    recordio::write(s, regression_note);
    if (info != 0) recordio::write(s, not_positive_definite);
  }
  if (nc != 0) recordio::write(s, criterion_weights, p.wec.slice(1, nc));
  write_ten_a_line(s, p.difp.slice(1, np), effects_10, effects_20, effects_30);
  if (nc != 0) recordio::write(s, criterion_effects, p.difc.slice(1, nc));

  recordio::write(s, matrix_heading, np, nc);
  for (int i = 1; i <= p.nv; ++i) recordio::write(s, matrix_row, i, p.corin.row(i, p.nv));
}

void write_composite_sections(recordio::session& s, const problem& p, const composite_stats& c) {
  if (p.nc != 0) recordio::write(s, composite_correlation, c.rpc, c.rpc * c.rpc);
  recordio::write(s, predictor_composite_effect, c.dpc);
  if (p.nc != 0) recordio::write(s, criterion_composite_effect, c.dcc);
}

}  // namespace analysis
