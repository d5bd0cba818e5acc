#include "analysis/selection.h"

#include <cmath>
#include <limits>

#include "numeric/dfzero.h"
#include "numeric/normal.h"
#include "numeric/precise_normal.h"

namespace analysis {

namespace {

using fourfifths::four_fifths_minimum;
using fourfifths::outcome;
using fourfifths::outcome_status;
using fourfifths::quality_basis;
using fourfifths::ratio_mode;
using fourfifths::selection_model;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// The bracket, the first guess and the tolerances of every classic
// cut-score solve.
constexpr double bracket_low = -8;
constexpr double bracket_high = 8;
constexpr double relative_tolerance = 1e-4;
constexpr double absolute_tolerance = 1e-6;

// The four-fifths rule.
constexpr double four_fifths = 0.8;

// Runs the zero finder on `objective` over the bracket [-8, 8], starting
// from -8; `b` and `c` come back as the final ends. Returns the status.
template <typename Objective>
int solve_cut_score(Objective& objective, double& b, double& c) {
  b = bracket_low;
  c = bracket_high;
  int iflag = 0;
  numeric::dfzero(objective, b, c, bracket_low, relative_tolerance, absolute_tolerance, iflag);
  return iflag;
}

// Whether a solve's status gives a cut score: 1, a converged bracket, or
// 2, an exact zero.
bool solved(int iflag) { return iflag == 1 || iflag == 2; }

// An outcome without a cut score: no numbers but the group ratios of the
// last evaluation, which the report's error line shows.
outcome failed(double target, outcome_status status, int code) {
  outcome out;
  out.target = target;
  out.status = status;
  out.code = code;
  out.cut_score = out.ai_ratio = nan;
  out.mean_majority = out.mean_minority = out.mean_difference = nan;
  out.search_low = out.search_high = nan;
  out.sr_majority = out.sr_minority = nan;
  return out;
}

// The outcome values once the cut score and the group ratios are known,
// in the order the report's figures depend on. `sr` is the overall ratio
// the overall mean divides by: the target in overall mode, the mixture of
// the group ratios in majority mode; `phi` the density of the method.
template <typename Density>
void outcome_values(const selection_model& model, outcome& out, double sr, Density phi) {
  const bool on_criterion = model.quality == quality_basis::criterion;
  const double dpc = model.predictor_effect;
  const double rpc = model.validity;
  const double dcc = model.criterion_effect;
  const double xcut = out.cut_score;
  out.ai_ratio = out.sr_minority / out.sr_majority;
  out.mean_majority =
      on_criterion ? (phi(xcut) * rpc) / out.sr_majority : phi(xcut) / out.sr_majority;
  out.mean_minority = on_criterion ? (phi(xcut - dpc) * rpc) / out.sr_minority + dcc
                                   : phi(xcut - dpc) / out.sr_minority + dpc;
  out.mean_difference = out.mean_majority - out.mean_minority;
  if (!model.mix) return;

  // The overall mean divides by the overall ratio held for the entry (the
  // target in overall mode), not by the mixture of the group ratios.
  const double pa = model.mix->majority;
  const double pmin = model.mix->minority;
  out.sr = sr;
  const double m =
      (pa * out.sr_majority * out.mean_majority + pmin * out.sr_minority * out.mean_minority) / sr;
  const double e = on_criterion ? dcc : dpc;
  const double spread = std::sqrt(1 + (pa * pmin) * (e * e));
  out.mean = m;
  out.std_mean = (m - pmin * e) / spread;
  out.std_mean_majority = (out.mean_majority - pmin * e) / spread;
  out.std_mean_minority = (out.mean_minority - pmin * e) / spread;
  out.std_mean_difference = *out.std_mean_majority - *out.std_mean_minority;
}

// The overall ratio of the group ratios under the applicant mix.
double mixture(const selection_model& model, double sra, double sri) {
  return model.mix->majority * sra + model.mix->minority * sri;
}

}  // namespace

double upper_tail(double z) { return 1 - numeric::alnorm(z, false); }

// The report's own density constant, 2.506628274631, is not root2pi of the
// normal routines (2.506628274631001): the report's quality values have
// always been computed with this one, and changing it would move their last
// bits. The precise method uses the exact density instead.
double density(double z) { return std::exp(-((z * z) * 0.5)) / 2.506628274631; }

double fun::operator()(double x) {
  sra = upper_tail(x);
  sri = upper_tail(x - dpc);
  return pa * sra + pmin * sri - sr;
}

double fun1::operator()(double x) {
  sra = upper_tail(x);
  sri = upper_tail(x - dpc);
  return sri / sra - four_fifths;
}

outcome selout(const selection_model& model, double target) {
  const double dpc = model.predictor_effect;
  outcome out;
  out.target = target;
  double sr = target;
  if (model.mode == ratio_mode::overall) {
    // The cut score is the zero of `fun` in [-8, 8]. The group ratios are
    // those of the last evaluation, at one end of the final bracket.
    fun f{.sr = target, .dpc = dpc, .pa = model.mix->majority, .pmin = model.mix->minority};
    double b = 0;
    double c = 0;
    const int iflag = solve_cut_score(f, b, c);
    if (!solved(iflag)) {
      out = failed(target, outcome_status::no_cut_score, iflag);
      out.search_low = b;
      out.search_high = c;
      out.sr_majority = f.sra;
      out.sr_minority = f.sri;
      return out;
    }
    out.code = iflag;
    out.cut_score = b;
    out.sr_majority = f.sra;
    out.sr_minority = f.sri;
  } else {
    // The cut score is the normal quantile of 1 - target; a majority ratio
    // outside (0, 1) has none.
    int ifault = 0;
    out.cut_score = numeric::ppnd(1 - target, ifault);
    if (ifault != 0) return failed(target, outcome_status::quantile_fault, ifault);
    out.sr_majority = upper_tail(out.cut_score);
    out.sr_minority = upper_tail(out.cut_score - dpc);
    if (model.mix) sr = mixture(model, out.sr_majority, out.sr_minority);
  }
  outcome_values(model, out, sr, density);
  return out;
}

four_fifths_minimum srmax_search(const selection_model& model) {
  four_fifths_minimum result;
  fun1 f{.dpc = model.predictor_effect};
  double b = 0;
  double c = 0;
  result.code = solve_cut_score(f, b, c);
  if (!solved(result.code)) return result;
  // The group ratios are those of the last evaluation of fun1.
  result.found = true;
  result.cut_score = b;
  result.sr_majority = f.sra;
  result.sr_minority = f.sri;
  result.ratio = model.mode == ratio_mode::overall ? mixture(model, f.sra, f.sri) : f.sra;
  return result;
}

// ---------------------------------------------------------------------------
// The precise method.

namespace {

namespace precise = numeric::precise;

// A root of a decreasing function g in (lo, hi), g(lo) > 0 > g(hi), to full
// double precision: Newton's method with the derivative dg, each step kept
// inside the bracket that the signs of g maintain, and a bisection wherever
// Newton's step would leave it. It ends when a step no longer moves x (g is
// then at the level of its own rounding) or the bracket holds no double
// between its ends. At most 200 steps: bisection alone from a bracket of
// width 80 reaches the last bit of x in about 60.
template <typename G, typename DG>
double decreasing_root(G g, DG dg, double lo, double hi, double x) {
  for (int step = 0; step < 200; ++step) {
    const double gx = g(x);
    if (gx == 0) return x;
    if (gx > 0) {
      lo = x;
    } else {
      hi = x;
    }
    if (std::nextafter(lo, hi) >= hi) return std::fabs(g(lo)) < std::fabs(g(hi)) ? lo : hi;
    double next = x - gx / dg(x);
    if (!(next > lo && next < hi)) next = lo + (hi - lo) / 2;
    if (next == x) return x;
    x = next;
  }
  return x;
}

// Cut scores beyond this bound select no one and everyone to the last bit:
// the tail areas of 40 standard deviations are below the smallest double.
constexpr double precise_bound = 40;

}  // namespace

outcome selout_precise(const selection_model& model, double target) {
  const double d = model.predictor_effect;
  outcome out;
  out.target = target;
  double sr = target;
  if (model.mode == ratio_mode::overall) {
    if (!(target > 0 && target < 1) || !std::isfinite(d)) {
      return failed(target, outcome_status::no_cut_score, 4);
    }
    const double pa = model.mix->majority;
    const double pmin = model.mix->minority;
    auto g = [&](double x) {
      return pa * precise::upper_tail(x) + pmin * precise::upper_tail(x - d) - target;
    };
    auto dg = [&](double x) {
      return -(pa * precise::density(x) + pmin * precise::density(x - d));
    };
    const double lo = -precise_bound + std::min(d, 0.0);
    const double hi = precise_bound + std::max(d, 0.0);
    if (!(g(lo) > 0 && g(hi) < 0)) return failed(target, outcome_status::no_cut_score, 4);
    // The majority group's cut score is a close first guess.
    const double guess = std::clamp(precise::upper_quantile(target), lo, hi);
    out.cut_score = decreasing_root(g, dg, lo, hi, guess);
    out.code = 1;
  } else {
    out.cut_score = precise::upper_quantile(target);
    if (std::isnan(out.cut_score)) return failed(target, outcome_status::quantile_fault, 1);
  }
  out.sr_majority = precise::upper_tail(out.cut_score);
  out.sr_minority = precise::upper_tail(out.cut_score - d);
  if (model.mode == ratio_mode::majority && model.mix) {
    sr = mixture(model, out.sr_majority, out.sr_minority);
  }
  outcome_values(model, out, sr, precise::density);
  return out;
}

four_fifths_minimum srmax_search_precise(const selection_model& model) {
  four_fifths_minimum result;
  result.code = 4;  // no sign change: the impact ratio never reaches 0.8
  const double d = model.predictor_effect;
  // With d >= 0 the impact ratio is at least 1 at every cut score.
  if (!(d < 0)) return result;
  // log Q(x - d) - log Q(x) - log 0.8 falls as x rises (the normal hazard
  // rate rises), from -log 0.8 far below to minus infinity.
  const double log_four_fifths = std::log(four_fifths);
  auto g = [&](double x) {
    return std::log(precise::upper_tail(x - d)) - std::log(precise::upper_tail(x)) -
           log_four_fifths;
  };
  auto dg = [&](double x) {
    return precise::density(x) / precise::upper_tail(x) -
           precise::density(x - d) / precise::upper_tail(x - d);
  };
  // Up to 37 the tail areas are normal doubles, so the logarithms are finite.
  constexpr double lo = -37;
  constexpr double hi = 37;
  if (!(g(lo) > 0 && g(hi) < 0)) return result;
  const double x = decreasing_root(g, dg, lo, hi, 0.0);
  result.found = true;
  result.code = 1;
  result.cut_score = x;
  result.sr_majority = precise::upper_tail(x);
  result.sr_minority = precise::upper_tail(x - d);
  result.ratio = model.mode == ratio_mode::overall
                     ? mixture(model, result.sr_majority, result.sr_minority)
                     : result.sr_majority;
  return result;
}

}  // namespace analysis
