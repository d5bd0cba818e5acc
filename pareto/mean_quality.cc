// The mean criterion score of those selected, M(v, e), as the analysis
// computes it (precise method): with the cut score x on the majority's
// scale, z = x - e the minority's, Q the upper normal tail and phi the
// density,
//   M = (v N + pmin dcc Q(z)) / S,  N = pa phi(x) + pmin phi(z),
// S the overall ratio: R itself in overall mode, pa Q(x) + pmin Q(z) with
// x = Q^-1(R) in majority mode. Its partial derivatives:
//   dM/dv = N / S > 0;
//   majority mode (dz/de = -1, dQ(z)/de = phi(z), dphi(z)/de = z phi(z)):
//     dM/de = pmin phi(z) (v z + dcc - M) / S;
//   overall mode, where x moves with e along pa Q(x) + pmin Q(z) = R, so
//   that dx/de = pmin phi(z) / N and dz/de = -pa phi(x) / N:
//     dM/de = pa pmin phi(x) phi(z) (dcc - v e) / (N R).
// Over a box of (v, e) they are enclosed term by term by interval
// arithmetic: Q is monotone, phi unimodal, and x rises and z falls with e,
// so the cut scores at the box's two effects bound them. The enclosures
// are rounded to nearest; the edge search's tolerance (1e-12 of the
// quality) is far above what that rounding leaves out.
#include "pareto/mean_quality.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "fourfifths/analysis.h"
#include "numeric/precise_normal.h"

namespace pareto {

namespace {

using numeric::precise::density;
using numeric::precise::upper_tail;

// The extremes of the normal density over [lo, hi]: it rises to 0 and
// falls beyond.
interval density_range(double lo, double hi) {
  const double a = density(lo);
  const double b = density(hi);
  const double top = lo <= 0 && hi >= 0 ? density(0) : std::max(a, b);
  return {std::min(a, b), top};
}

interval scaled(interval x, double by) {
  return by >= 0 ? interval{x.lo * by, x.hi * by} : interval{x.hi * by, x.lo * by};
}

interval plus(interval x, interval y) { return {x.lo + y.lo, x.hi + y.hi}; }

interval times(interval x, interval y) {
  const double p[] = {x.lo * y.lo, x.lo * y.hi, x.hi * y.lo, x.hi * y.hi};
  return {std::min({p[0], p[1], p[2], p[3]}), std::max({p[0], p[1], p[2], p[3]})};
}

// 1 / x for x > 0.
interval reciprocal(interval x) { return {1 / x.hi, 1 / x.lo}; }

}  // namespace

mean_quality::mean_quality(fourfifths::ratio_mode mode, double ratio, fourfifths::applicant_mix mix,
                           double criterion_effect)
    : mode_(mode),
      ratio_(ratio),
      mix_(mix),
      dcc_(criterion_effect),
      cut_(numeric::precise::upper_quantile(ratio)) {}

double mean_quality::value(double v, double e) const {
  const fourfifths::selection_model m{.mode = mode_,
                                      .quality = fourfifths::quality_basis::criterion,
                                      .mix = mix_,
                                      .predictor_effect = e,
                                      .validity = v,
                                      .criterion_effect = dcc_};
  const fourfifths::outcome o = fourfifths::outcome_at(m, ratio_, fourfifths::method::precise);
  return o.solved() && o.mean ? *o.mean : -std::numeric_limits<double>::infinity();
}

// The cut score on the majority's scale at effect e (NaN where none).
double mean_quality::cut(double e) const {
  if (mode_ == fourfifths::ratio_mode::majority) return cut_;
  const fourfifths::selection_model m{.mode = mode_,
                                      .quality = fourfifths::quality_basis::criterion,
                                      .mix = mix_,
                                      .predictor_effect = e,
                                      .validity = 0,
                                      .criterion_effect = dcc_};
  const fourfifths::outcome o = fourfifths::outcome_at(m, ratio_, fourfifths::method::precise);
  return o.solved() ? o.cut_score : std::numeric_limits<double>::quiet_NaN();
}

std::array<double, 2> mean_quality::slopes(double v, double e) const {
  const double pa = mix_.majority;
  const double pmin = mix_.minority;
  const double x = cut(e);
  const double z = x - e;
  const double phi_x = density(x);
  const double phi_z = density(z);
  const double n = pa * phi_x + pmin * phi_z;
  if (mode_ == fourfifths::ratio_mode::overall)
    return {n / ratio_, pa * pmin * phi_x * phi_z * (dcc_ - v * e) / (n * ratio_)};
  const double q_z = upper_tail(z);
  const double sr = pa * upper_tail(x) + pmin * q_z;
  const double m = (v * n + pmin * dcc_ * q_z) / sr;
  return {n / sr, pmin * phi_z * (v * z + dcc_ - m) / sr};
}

std::array<interval, 2> mean_quality::slopes(interval v, interval e) const {
  const double pa = mix_.majority;
  const double pmin = mix_.minority;
  const bool overall = mode_ == fourfifths::ratio_mode::overall;
  const interval x = overall ? interval{cut(e.lo), cut(e.hi)} : interval{cut_, cut_};
  // z = x - e falls with e: its extremes are at the box's two effects.
  const interval z{std::min(x.lo - e.lo, x.hi - e.hi), std::max(x.lo - e.lo, x.hi - e.hi)};
  const interval phi_x = density_range(x.lo, x.hi);
  const interval phi_z = density_range(z.lo, z.hi);
  const interval n = plus(scaled(phi_x, pa), scaled(phi_z, pmin));
  if (overall) {
    const interval lean = plus(interval{dcc_, dcc_}, scaled(times(v, e), -1));
    return {scaled(n, 1 / ratio_),
            scaled(times(times(times(phi_x, phi_z), lean), reciprocal(n)), pa * pmin / ratio_)};
  }
  const interval q_z{upper_tail(z.hi), upper_tail(z.lo)};
  const double q_x = pa * upper_tail(cut_);
  const interval per_sr = reciprocal(plus(interval{q_x, q_x}, scaled(q_z, pmin)));
  const interval m = times(plus(times(v, n), scaled(q_z, pmin * dcc_)), per_sr);
  const interval lean = plus(plus(times(v, z), interval{dcc_, dcc_}), scaled(m, -1));
  return {times(n, per_sr), times(scaled(times(phi_z, lean), pmin), per_sr)};
}

}  // namespace pareto
