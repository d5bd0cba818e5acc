#include "analysis/selection.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "analysis/precise_search.h"
#include "numeric/dfzero.h"
#include "numeric/normal.h"
#include "numeric/precise_normal.h"

namespace analysis {

namespace {

namespace precise = numeric::precise;

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

// The classic arithmetic of the outcome values: the density over the
// group's ratio, whatever the ratio (0/0 where a group's ratio underflows).
struct classic_values {
  static double density(double z) { return analysis::density(z); }
  // The mean of the group above the cut score, scaled by `slope`: phi(z)
  // slope / rate.
  static double tail_mean(double z, double rate, double slope) {
    return (density(z) * slope) / rate;
  }
  static double tail_mean(double z, double rate) { return density(z) / rate; }
  static double spread(double pa_pmin, double e) { return std::sqrt(1 + pa_pmin * (e * e)); }
};

// The precise arithmetic: the same expressions wherever the group's ratio
// is a normal double, and the mean above the cut score from the tail's own
// asymptotics where it is not (a group of whom almost no one, or in
// doubles no one, is selected still has a mean above the cut score).
struct precise_values {
  static double density(double z) { return precise::density(z); }
  static double tail_mean(double z, double rate, double slope) {
    if (rate >= std::numeric_limits<double>::min()) return (density(z) * slope) / rate;
    return precise::upper_tail_mean(z) * slope;
  }
  static double tail_mean(double z, double rate) {
    if (rate >= std::numeric_limits<double>::min()) return density(z) / rate;
    return precise::upper_tail_mean(z);
  }
  // sqrt(1 + pa pmin e^2) without the square overflowing.
  static double spread(double pa_pmin, double e) {
    constexpr double large = 1e150;
    if (std::fabs(e) < large) return std::sqrt(1 + pa_pmin * (e * e));
    return std::sqrt(pa_pmin) * std::fabs(e);
  }
};

// The outcome values once the cut score and the group ratios are known,
// in the order the report's figures depend on. `sr` is the overall ratio
// the overall mean divides by: the target in overall mode, the mixture of
// the group ratios in majority mode; `Values` the method's arithmetic.
template <typename Values>
void outcome_values(const selection_model& model, outcome& out, double sr) {
  const bool on_criterion = model.quality == quality_basis::criterion;
  const double dpc = model.predictor_effect;
  const double rpc = model.validity;
  const double dcc = model.criterion_effect;
  const double xcut = out.cut_score;
  out.ai_ratio = out.sr_minority / out.sr_majority;
  out.mean_majority = on_criterion ? Values::tail_mean(xcut, out.sr_majority, rpc)
                                   : Values::tail_mean(xcut, out.sr_majority);
  out.mean_minority = on_criterion ? Values::tail_mean(xcut - dpc, out.sr_minority, rpc) + dcc
                                   : Values::tail_mean(xcut - dpc, out.sr_minority) + dpc;
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
  const double spread = Values::spread(pa * pmin, e);
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

outcome invalid_outcome(double target) {
  return failed(target, outcome_status::invalid_argument, 0);
}

outcome impossible_outcome(double target) {
  return failed(target, outcome_status::not_positive_definite, 0);
}

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
  outcome_values<classic_values>(model, out, sr);
  return out;
}

four_fifths_minimum srmax_search(const selection_model& model,
                                 fourfifths::four_fifths_comparison who) {
  four_fifths_minimum result;
  // With the minority above the majority and every group compared with the
  // highest rate, the minority is the reference: the search runs on its
  // scale, where the majority lies -dpc away.
  const bool mirrored =
      who == fourfifths::four_fifths_comparison::to_highest && model.predictor_effect > 0;
  fun1 f{.dpc = mirrored ? -model.predictor_effect : model.predictor_effect};
  double b = 0;
  double c = 0;
  result.code = solve_cut_score(f, b, c);
  if (!solved(result.code)) return result;
  // The group ratios are those of the last evaluation of fun1.
  const double sr_majority = mirrored ? f.sri : f.sra;
  const double sr_minority = mirrored ? f.sra : f.sri;
  result.found = true;
  result.status = outcome_status::solved;
  result.cut_score = mirrored ? b + model.predictor_effect : b;
  result.sr_majority = sr_majority;
  result.sr_minority = sr_minority;
  result.ratio =
      model.mode == ratio_mode::overall ? mixture(model, sr_majority, sr_minority) : sr_majority;
  return result;
}

// ---------------------------------------------------------------------------
// The precise method.

namespace {

// Cut scores beyond this bound select no one and everyone to the last bit:
// the tail areas of 40 standard deviations are below the smallest double.
constexpr double precise_bound = 40;

// Whether the group ratios of an outcome give its target back: the
// overall ratio that the mix forms from them, or the majority's ratio.
bool reproduces_target(const selection_model& model, const outcome& out) {
  const double formed = model.mode == ratio_mode::overall
                            ? mixture(model, out.sr_majority, out.sr_minority)
                            : out.sr_majority;
  return std::fabs(formed - out.target) <= fourfifths::precise_target_tolerance * out.target;
}

// The overall mode's cut score: the root of the overall ratio less the
// target, or NaN. Each group's tail area changes only within 40 of its own
// mean, so the root lies within 40 of 0 or of d; when the two windows lie
// apart the function is constant between them, and the one window whose
// ends change its sign holds the root: the bracket is never wider than 160,
// whatever d.
double overall_cut_score(const selection_model& model, double target) {
  const double d = model.predictor_effect;
  const double pa = model.mix->majority;
  const double pmin = model.mix->minority;
  auto g = [&](double x) {
    return pa * precise::upper_tail(x) + pmin * precise::upper_tail(x - d) - target;
  };
  auto dg = [&](double x) { return -(pa * precise::density(x) + pmin * precise::density(x - d)); };
  double lo = -precise_bound + std::min(d, 0.0);
  double hi = precise_bound + std::max(d, 0.0);
  if (std::fabs(d) > 2 * precise_bound) {
    const double lower_window_end = std::min(d, 0.0) + precise_bound;
    if (g(lower_window_end) <= 0) {
      hi = lower_window_end;
    } else {
      lo = std::max(d, 0.0) - precise_bound;
    }
  }
  if (!(g(lo) > 0 && g(hi) <= 0)) return nan;
  // The majority group's cut score is a close first guess.
  const double guess = std::clamp(precise::upper_quantile(target), lo, hi);
  return decreasing_root(g, dg, lo, hi, guess);
}

}  // namespace

outcome selout_precise(const selection_model& model, double target) {
  const double d = model.predictor_effect;
  const bool overall = model.mode == ratio_mode::overall;
  const outcome_status no_cut =
      overall ? outcome_status::no_cut_score : outcome_status::quantile_fault;
  outcome out;
  out.target = target;
  double sr = target;
  if (!(target >= fourfifths::smallest_precise_ratio && target < 1) || !std::isfinite(d)) {
    return failed(target, no_cut, overall ? 4 : 1);
  }
  if (overall) {
    out.cut_score = overall_cut_score(model, target);
    if (std::isnan(out.cut_score)) return failed(target, no_cut, 4);
    out.code = 1;
  } else {
    out.cut_score = precise::upper_quantile(target);
    if (std::isnan(out.cut_score)) return failed(target, no_cut, 1);
  }
  out.sr_majority = precise::upper_tail(out.cut_score);
  out.sr_minority = precise::upper_tail(out.cut_score - d);
  // Where d is so large that the cut score and the cut score less d cannot
  // both be held to the digits the ratios need, the ratios found miss the
  // target: that is no cut score.
  if (!reproduces_target(model, out)) return failed(target, no_cut, 5);
  if (!overall && model.mix) sr = mixture(model, out.sr_majority, out.sr_minority);
  outcome_values<precise_values>(model, out, sr);
  return out;
}

namespace {

// The smallest ratio (to the last bit) whose precise outcome passes the
// four-fifths rule, searched from `start`, a ratio near it; its outcome.
std::optional<outcome> smallest_passing(const selection_model& model, double start,
                                        fourfifths::four_fifths_comparison who) {
  const bool to_highest = who == fourfifths::four_fifths_comparison::to_highest;
  const std::optional<double> ratio = smallest_passing_ratio(start, [&](double r) {
    const outcome o = selout_precise(model, r);
    return o.solved() && (to_highest ? o.ratio_to_highest() : o.ai_ratio) >= four_fifths;
  });
  if (!ratio) return std::nullopt;
  return selout_precise(model, *ratio);
}

}  // namespace

four_fifths_minimum srmax_search_precise(const selection_model& model,
                                         fourfifths::four_fifths_comparison who) {
  four_fifths_minimum result;
  result.code = 4;  // no sign change: the lower rate never falls to 0.8 of the higher
  const double dpc = model.predictor_effect;
  // The search runs on the scale of the group with the higher mean, where
  // the other lies d below it: the minority while it scores lower; the
  // majority, -dpc below the minority, once the minority scores higher and
  // the rule compares every group with the highest rate. Compared with the
  // majority alone, a minority at or above it is never below 0.8 of it.
  const bool mirrored = who == fourfifths::four_fifths_comparison::to_highest && dpc > 0;
  const double d = mirrored ? -dpc : dpc;
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
  // At the root the lower group's ratio is 0.8 times the higher's, so at
  // most 0.8: x - d lies above -0.85, where g(d - 1) > 0 for every d. Up to
  // 37 the tail areas are normal doubles, so the logarithms are finite.
  const double lo = d - 1;
  const double hi = std::min(37.0, d + 37);
  if (!(g(lo) > 0 && g(hi) < 0)) return result;
  const double x = decreasing_root(g, dg, lo, hi, std::clamp(0.0, lo, hi));
  // The groups' rates at the root, the majority's first.
  const double higher = precise::upper_tail(x);
  const double lower = precise::upper_tail(x - d);
  const double sr_majority = mirrored ? lower : higher;
  const double sr_minority = mirrored ? higher : lower;
  const double start =
      model.mode == ratio_mode::overall ? mixture(model, sr_majority, sr_minority) : sr_majority;
  // The ratio of the root, rounded, may fall on either side of the rule:
  // the minimum is the first ratio whose own outcome passes.
  const std::optional<outcome> at = smallest_passing(model, start, who);
  if (!at) {
    result.code = 5;  // no ratio the method resolves passes
    return result;
  }
  result.found = true;
  result.status = outcome_status::solved;
  result.code = 1;
  result.ratio = at->target;
  result.cut_score = at->cut_score;
  result.sr_majority = at->sr_majority;
  result.sr_minority = at->sr_minority;
  return result;
}

}  // namespace analysis
