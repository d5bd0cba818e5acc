// The library's Pareto front: the exact front of validity against the
// composite effect size (frontier.h), carried to the impact ratio and the
// quality of those selected at one selection ratio.
//
// At a fixed selection ratio R both objectives depend on a weighting only
// through its composite effect size e and its validity v: the impact ratio
// rises with e, and at a fixed e the mean criterion score of those selected
// rises with v (it is linear in it). So every Pareto-optimal weighting lies
// on the validity front v*(e), and the impact ratio A of a point has a
// closed form inverse: with Q the upper normal tail, the majority's ratio
// is R (majority mode) or R / (pa + pmin A) (overall mode), and then
//   e = Q^-1(sr_majority) - Q^-1(A sr_majority).
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "analysis/composite.h"
#include "fourfifths/analysis.h"
#include "fourfifths/pareto.h"
#include "numeric/precise_normal.h"
#include "pareto/frontier.h"

namespace fourfifths {

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr int most_points = 10000;

// What is fixed for one problem and one selection ratio.
class front_setting {
 public:
  front_setting(const problem& p, const pareto_options& o) : p_(p), o_(o) {}

  // Checks the options against the problem: nothing when they suit, else
  // the status and the fault.
  std::optional<std::pair<pareto_status, fault>> check() const {
    const problem_spec& s = p_.spec();
    if (s.criteria < 1) {
      return std::pair{pareto_status::no_criterion,
                       fault{"criteria",
                             "the front needs a criterion: validity and the mean are measured on "
                             "the criterion composite"}};
    }
    if (!(o_.ratio > 0 && o_.ratio < 1)) {
      return std::pair{pareto_status::bad_options,
                       fault{"ratio", "the selection ratio must lie strictly between 0 and 1"}};
    }
    if (o_.points < 2 || o_.points > most_points) {
      return std::pair{pareto_status::bad_options,
                       fault{"points", "the number of points must lie between 2 and " +
                                           std::to_string(most_points)}};
    }
    if (o_.mode == ratio_mode::overall && !p_.mix()) {
      return std::pair{pareto_status::needs_mix,
                       fault{"mode",
                             "an overall selection ratio needs the applicant mix (minority_share "
                             "or majority_per_minority); a majority group's ratio does not"}};
    }
    if (o_.objective == pareto_objective::mean && !p_.mix()) {
      return std::pair{pareto_status::needs_mix,
                       fault{"objective",
                             "the mean objective needs the applicant mix (minority_share or "
                             "majority_per_minority)"}};
    }
    return std::nullopt;
  }

  // Weightings evaluated so far.
  int evaluations() const { return evaluations_; }

  // The predictor block, the predictors' validities and effect sizes, and
  // the criterion composite's effect size.
  void prepare() {
    const problem_spec& s = p_.spec();
    np_ = s.predictors;
    const auto n = static_cast<std::size_t>(np_);
    r_.resize(n * n);
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = 0; j < n; ++j) {
        r_[i * n + j] = p_.correlation(static_cast<int>(i), static_cast<int>(j));
      }
    }
    // The validity of predictor j alone: its covariance with the criterion
    // composite over the composite's standard deviation, whose variance is
    // formed as the analysis forms it.
    const std::span<const double> wc(s.criterion_weights.data(),
                                     static_cast<std::size_t>(s.criteria));
    const double vc = analysis::composite_variance(wc, [&](std::size_t k, std::size_t l) {
      return p_.correlation(np_ + static_cast<int>(k), np_ + static_cast<int>(l));
    });
    a_.assign(n, 0);
    for (std::size_t j = 0; j < n; ++j) {
      double sum = 0;
      for (std::size_t k = 0; k < wc.size(); ++k)
        sum = p_.correlation(static_cast<int>(j), np_ + static_cast<int>(k)) * wc[k] + sum;
      a_[j] = sum / std::sqrt(vc);
    }
    d_ = s.predictor_effects;
    criterion_effect_ = composites(std::vector<double>(n, 1.0)).criterion_effect;
  }

  int predictors() const { return np_; }
  std::span<const double> r() const { return r_; }
  std::span<const double> a() const { return a_; }
  std::span<const double> d() const { return d_; }
  const pareto_options& options() const { return o_; }

  // The selection model of a weighting with effect size e and validity v.
  selection_model model(double e, double v, double criterion_effect) const {
    return {.mode = o_.mode,
            .quality = quality_basis::criterion,
            .mix = p_.mix(),
            .predictor_effect = e,
            .validity = v,
            .criterion_effect = criterion_effect};
  }

  // The composites of a weighting, as the analysis computes them.
  composite_statistics composites(std::span<const double> w) const {
    return analysis::composite_statistics(p_, w);
  }

  // The composite effect size at which the impact ratio at R is `ai`, in
  // closed form; minus infinity where no selection reaches it at R.
  double effect_for_ai(double ai) const {
    double sra = o_.ratio;
    if (o_.mode == ratio_mode::overall)
      sra = o_.ratio / (p_.mix()->majority + p_.mix()->minority * ai);
    if (!(sra < 1)) return -std::numeric_limits<double>::infinity();
    const double x = numeric::precise::upper_quantile(sra);
    const double x_minority = numeric::precise::upper_quantile(ai * sra);
    return x - x_minority;
  }

  // The outcome at R of a weighting with effect e and validity v.
  outcome at(double e, double v) const {
    return outcome_at(model(e, v, criterion_effect_), o_.ratio, method::precise);
  }

  // The quality the objective measures.
  double quality(double v, const outcome& o) const {
    if (o_.objective == pareto_objective::validity) return v;
    return o.solved() && o.mean ? *o.mean : -std::numeric_limits<double>::infinity();
  }

  // Everything about one weighting at R.
  weighting_outcome evaluate(std::span<const double> w) {
    ++evaluations_;
    weighting_outcome out;
    out.weights = scaled(w);
    const composite_statistics c = composites(w);
    out.validity = c.validity;
    out.composite_d = c.predictor_effect;
    const selection_model m = model(c.predictor_effect, c.validity, c.criterion_effect);
    const outcome o = outcome_at(m, o_.ratio, method::precise);
    out.solved = o.solved();
    out.ai_ratio = o.ai_ratio;
    out.sr_majority = o.solved() ? o.sr_majority : nan;
    out.sr_minority = o.solved() ? o.sr_minority : nan;
    out.mean = o.solved() ? o.mean : std::nullopt;
    out.mean_majority = o.mean_majority;
    out.mean_minority = o.mean_minority;
    const four_fifths_minimum f = find_four_fifths_minimum(m, method::precise);
    if (f.found) out.four_fifths_minimum = f.ratio;
    return out;
  }

  // Weights scaled to sum 1 when the sum is positive, else to a sum of
  // absolute values of 1.
  static std::vector<double> scaled(std::span<const double> w) {
    double sum = 0;
    double absolute = 0;
    for (const double x : w) {
      sum += x;
      absolute += std::fabs(x);
    }
    const double by = sum > 1e-9 * absolute ? sum : absolute;
    std::vector<double> out(w.begin(), w.end());
    if (by > 0) {
      for (double& x : out) x /= by;
    }
    return out;
  }

 private:
  const problem& p_;
  pareto_options o_;
  int np_ = 0;
  std::vector<double> r_, a_, d_;
  double criterion_effect_ = nan;
  int evaluations_ = 0;
};

pareto::sign_constraint signs_of(weight_signs s) {
  return s == weight_signs::any ? pareto::sign_constraint::any
                                : pareto::sign_constraint::nonnegative;
}

// The front of validity against effect, or why there is none.
std::optional<pareto::frontier> make_frontier(const front_setting& s, weight_signs signs,
                                              std::string& error) {
  try {
    return pareto::frontier(s.predictors(), s.r(), s.a(), s.d(), signs_of(signs));
  } catch (const std::invalid_argument& e) {
    error = std::string("the predictors' correlations do not allow a front: ") + e.what();
    return std::nullopt;
  }
}

// A search that ends before it starts: the status, the fault and its
// message.
template <class T>
bool refused(search_result<T>& result, pareto_status status, fault f) {
  result.status = status;
  result.message = f.message;
  result.errors.push_back(std::move(f));
  return true;
}

// Checks and prepares the setting, and builds the frontier; false, with
// the result filled in, when there is none.
template <class T>
std::optional<pareto::frontier> start(front_setting& s, weight_signs signs,
                                      search_result<T>& result) {
  if (auto refusal = s.check()) {
    refused(result, refusal->first, std::move(refusal->second));
    return std::nullopt;
  }
  s.prepare();
  std::string error;
  std::optional<pareto::frontier> f = make_frontier(s, signs, error);
  if (!f) refused(result, pareto_status::not_positive_definite, fault{"correlations", error});
  return f;
}

// How the answer was reached, in words.
std::string how_found(const pareto::frontier& f, int points) {
  const auto stretches = f.pieces().size();
  return "read from the exact front of validity against effect size (" + std::to_string(stretches) +
         (stretches == 1 ? " concave stretch" : " concave stretches") +
         (f.concave() ? "" : ", with jumps") + "), " + std::to_string(points) +
         (points == 1 ? " point" : " points");
}

// The effect in [lo, hi] where the quality along the front is highest: a
// scan, then a golden-section search around the best point of the scan.
// Along the front the validity falls as the effect rises, so for the
// validity objective this is `lo`; the mean rises with the validity and
// with the effect, and is searched.
double best_effect(const front_setting& s, const pareto::frontier& f, double lo, double hi) {
  if (s.options().objective == pareto_objective::validity || !(hi > lo)) return lo;
  auto quality = [&](double e) {
    const pareto::weighting w = f.at_effect(e);
    return s.quality(w.validity, s.at(w.effect, w.validity));
  };
  constexpr int scan = 48;
  int best = 0;
  double best_quality = -std::numeric_limits<double>::infinity();
  double quality_lo = best_quality;
  for (int k = 0; k <= scan; ++k) {
    const double q = quality(lo + (hi - lo) * k / scan);
    if (k == 0) quality_lo = q;
    if (q > best_quality) {
      best_quality = q;
      best = k;
    }
  }
  double a = lo + (hi - lo) * std::max(best - 1, 0) / scan;
  double b = lo + (hi - lo) * std::min(best + 1, scan) / scan;
  const double golden = (std::sqrt(5.0) - 1) / 2;
  double x1 = b - golden * (b - a);
  double x2 = a + golden * (b - a);
  double q1 = quality(x1);
  double q2 = quality(x2);
  for (int step = 0; step < 60 && b - a > 1e-13 * (1 + std::fabs(a)); ++step) {
    if (q1 >= q2) {
      b = x2;
      x2 = x1;
      q2 = q1;
      x1 = b - golden * (b - a);
      q1 = quality(x1);
    } else {
      a = x1;
      x1 = x2;
      q1 = q2;
      x2 = a + golden * (b - a);
      q2 = quality(x2);
    }
  }
  const double found = q1 >= q2 ? x1 : x2;
  // The ends of the interval are candidates too.
  if (quality_lo >= std::max(q1, q2)) return lo;
  if (quality(hi) > std::max(q1, q2)) return hi;
  return found;
}

}  // namespace

pareto_result find_pareto_front(const problem& p, const pareto_options& options) {
  pareto_result result;
  front_setting s(p, options);
  std::optional<pareto::frontier> f = start(s, options.signs, result);
  if (!f) return result;

  pareto_front front;
  front.options = options;
  // The impact end stops at parity: a composite effect of 0 is an impact
  // ratio of 1 at every selection ratio.
  double e_end = f->impact_end().effect;
  if (e_end > 0) {
    e_end = std::max(0.0, f->quality_end().effect);
    front.stopped_at_parity = f->quality_end().effect < 0;
  }
  const double e_start = best_effect(s, *f, f->quality_end().effect, e_end);
  const pareto::weighting first = f->at_effect(e_start);
  const pareto::weighting last =
      e_end >= f->impact_end().effect ? f->impact_end() : f->at_effect(e_end);
  const double ai_first = s.at(first.effect, first.validity).ai_ratio;
  const double ai_last = s.at(last.effect, last.validity).ai_ratio;
  front.points.push_back(s.evaluate(first.weights));
  if (ai_last > ai_first) {
    const int n = options.points;
    for (int k = 1; k < n - 1; ++k) {
      const double ai = ai_first + (ai_last - ai_first) * k / (n - 1);
      const double e = std::clamp(s.effect_for_ai(ai), first.effect, last.effect);
      front.points.push_back(s.evaluate(f->at_effect(e).weights));
    }
    front.points.push_back(s.evaluate(last.weights));
  }

  const std::vector<double> unit(static_cast<std::size_t>(s.predictors()), 1.0);
  front.unit = s.evaluate(unit);
  // The regression weights: the quality end of the front without sign
  // constraints.
  std::optional<pareto::frontier> any;
  if (options.signs != weight_signs::any) {
    std::string ignored;
    any = make_frontier(s, weight_signs::any, ignored);
  }
  const pareto::frontier* unconstrained = options.signs == weight_signs::any ? &*f
                                          : any                              ? &*any
                                                                             : nullptr;
  front.regression = s.evaluate(unconstrained ? unconstrained->quality_end().weights : unit);
  if (!p.spec().regression_weights) front.given = s.evaluate(p.spec().predictor_weights);
  result.status = pareto_status::found;
  result.message = how_found(*f, static_cast<int>(front.points.size()));
  result.evaluations = s.evaluations();
  result.stretches = static_cast<int>(f->pieces().size());
  result.value = std::move(front);
  return result;
}

min_ai_result best_weighting_for_min_ai(const problem& p, const pareto_options& options,
                                        double min_ai) {
  min_ai_result result;
  front_setting s(p, options);
  if (!std::isfinite(min_ai)) {
    refused(result, pareto_status::bad_options,
            fault{"min_ai", "the impact ratio must be a number"});
    return result;
  }
  std::optional<pareto::frontier> f = start(s, options.signs, result);
  if (!f) return result;
  result.stretches = static_cast<int>(f->pieces().size());
  const pareto::weighting& impact = f->impact_end();
  const double e_needed = s.effect_for_ai(min_ai);
  // Reached when the highest-impact weighting meets the ratio.
  if (!(s.at(impact.effect, impact.validity).ai_ratio >= min_ai) || e_needed > impact.effect) {
    result.status = pareto_status::unreachable;
    result.value = s.evaluate(impact.weights);
    result.evaluations = s.evaluations();
    result.message =
        "no weighting reaches the impact ratio; the highest reachable is the "
        "front's impact end";
    return result;
  }
  const double lo = std::max(e_needed, f->quality_end().effect);
  const double e = best_effect(s, *f, std::min(lo, impact.effect), impact.effect);
  result.status = pareto_status::found;
  result.value = s.evaluate(f->at_effect(e).weights);
  result.evaluations = s.evaluations();
  result.message = how_found(*f, 1);
  return result;
}

}  // namespace fourfifths
