// The library's Pareto front: the exact front of validity against the
// composite effect size (frontier.h), carried to the impact ratio and the
// quality of those selected at one selection ratio.
//
// At a fixed selection ratio R both objectives depend on a weighting only
// through its composite effect size e and its validity v: the impact ratio
// rises with e, and the impact ratio A of a point has a closed form
// inverse: with Q the upper normal tail, the majority's ratio is R
// (majority mode) or R / (pa + pmin A) (overall mode), and then
//   e = Q^-1(sr_majority) - Q^-1(A sr_majority).
// The four-fifths rule protects every group, so the front's measure is the
// lower group's rate over the higher's: the impact ratio A while the
// minority is selected less often (e < 0), 1 / A once it is selected more
// (e > 0). The measure is 1 at parity and falls on either side of it, so
// the weightings that reach a level L have effects in the interval
// [e(L), e(1 / L)], and the front ends at the best weighting at parity or,
// where no weighting reaches it, nearest it; among weightings of equal
// quality the one nearest parity is taken. Where the quality end lies
// below parity and the front does not jump over it (every problem whose
// minority scores lower on the best composite), the intervals' upper ends
// bind nowhere and the points are read from the front as below; otherwise
// each level's best is searched over its interval on the whole upper edge
// (front_on_edge).
//
// Validity: along the front of validity against effect, validity falls as
// the effect rises, so the front's points are read from it directly.
//
// The mean criterion score of those selected, M, is exact too. At a fixed
// e it rises with v (it is linear in v with a positive slope, N/S below),
// so the best weighting with an impact ratio of at least A, that is with
// e >= e(A), has the highest validity at its own effect: it lies on the
// upper edge of the reachable (e, v), not only on the validity front. M
// can rise as e falls, below the quality end's effect as well as above it
// (fewer minority applicants selected can raise the mean when the
// criterion favours the majority), so the whole edge is searched, from the
// lowest reachable effect to the highest. The edge is a finite set of
// explicit curves (frontier.h), and the best point on them is found by a
// branch and bound whose bounds come from enclosures of M's derivatives
// (mean_quality below; frontier::best_on_edge): no weighting beats the
// answer by more than 1e-12 in M, and a maximum inside a curve is then
// placed by the root of dM/dt. The front's first point is the best of all;
// the point for each impact ratio asked for is the best with e >= e(A),
// found from the impact end down as the better of the point before and
// the best between the two effects.
#include <algorithm>
#include <array>
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
#include "pareto/front_options.h"
#include "pareto/frontier.h"
#include "pareto/mean_quality.h"

namespace fourfifths {

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// What is fixed for one problem and one selection ratio.
class front_setting {
 public:
  front_setting(const problem& p, const pareto_options& o) : p_(p), o_(o) {}

  // Checks the options against the problem: nothing when they suit, else
  // the status and the fault.
  std::optional<pareto::refusal> check() const {
    return pareto::check_front_options(p_, o_, p_.mix().has_value(), false);
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
  applicant_mix mix() const { return *p_.mix(); }
  double criterion_effect() const { return criterion_effect_; }

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
  // closed form: minus infinity where every selection at R reaches it (a
  // ratio of 0 or less, or one that the majority group alone cannot fill
  // R below), plus infinity where none does (the minority group would need
  // a selection ratio of 1 or more).
  double effect_for_ai(double ai) const {
    constexpr double inf = std::numeric_limits<double>::infinity();
    if (!(ai > 0)) return -inf;
    double sra = o_.ratio;
    if (o_.mode == ratio_mode::overall)
      sra = o_.ratio / (p_.mix()->majority + p_.mix()->minority * ai);
    if (!(sra < 1)) return -inf;
    if (!(ai * sra < 1)) return inf;
    const double x = numeric::precise::upper_quantile(sra);
    const double x_minority = numeric::precise::upper_quantile(ai * sra);
    // A minority ratio too small for a quantile (subnormal): no composite
    // effect a weighting can have is that far below the majority's.
    if (std::isnan(x_minority)) return -inf;
    return x - x_minority;
  }

  // The outcome at R of a weighting with effect e and validity v.
  outcome at(double e, double v) const {
    return outcome_at(model(e, v, criterion_effect_), o_.ratio, method::precise);
  }

  // The lower group's rate over the higher's at R for a weighting with
  // effect e: the front's measure.
  double level(double e) const { return at(e, 0).ratio_to_highest(); }

  // The effects of the weightings whose measure at R is at least `l`, in
  // (0, 1]: from e(l) to e(1 / l), each in closed form.
  std::pair<double, double> effects_for_level(double l) const {
    return {effect_for_ai(l), effect_for_ai(1 / l)};
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
    out.ratio_to_highest = o.ratio_to_highest();
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
                                              std::string& error,
                                              pareto::upper_edge edge = pareto::upper_edge::skip) {
  try {
    return pareto::frontier(s.predictors(), s.r(), s.a(), s.d(), signs_of(signs), edge);
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
  // The mean is searched over the whole upper edge; validity needs the
  // front only.
  std::optional<pareto::frontier> f =
      make_frontier(s, signs, error,
                    s.options().objective == pareto_objective::mean ? pareto::upper_edge::build
                                                                    : pareto::upper_edge::skip);
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

using pareto::interval;

// Validity as the edge search's quality.
class validity_quality final : public pareto::edge_objective {
 public:
  double value(double v, double /*e*/) const override { return v; }
  std::array<double, 2> slopes(double /*v*/, double /*e*/) const override { return {1, 0}; }
  std::array<interval, 2> slopes(interval /*v*/, interval /*e*/) const override {
    return {interval{1, 1}, interval{0, 0}};
  }
};

// The mean objective of a setting.
pareto::mean_quality mean_of(const front_setting& s) {
  return {s.options().mode, s.options().ratio, s.mix(), s.criterion_effect()};
}

constexpr double infinity = std::numeric_limits<double>::infinity();

// An effect this close to 0 is parity.
constexpr double parity_tolerance = 1e-9;

// With validity as the quality, the best weighting `w` with effect >= e is
// read from the front, where validity ties only at the top: when the top
// validity is reached by weightings of several effects (a best validity of
// 0 or below), an answer beyond parity goes to the tied weighting nearest
// parity.
pareto::weighting nearest_parity(const front_setting& s, const pareto::frontier& f,
                                 pareto::weighting w, double e, int& evaluations) {
  if (w.effect > parity_tolerance && w.validity <= 0) {
    // The same inputs built `f`, so they build the frontier with its edge.
    const std::optional<pareto::frontier> edged =
        f.has_edge() ? std::nullopt
                     : std::optional<pareto::frontier>(std::in_place, s.predictors(), s.r(), s.a(),
                                                       s.d(), f.signs(), pareto::upper_edge::build);
    const std::optional<pareto::edge_best> b =
        (edged ? *edged : f).best_on_edge(validity_quality{}, std::max(e, 0.0), infinity);
    if (b) {
      evaluations += b->evaluations;
      if (b->at.validity >= w.validity) w = b->at;
    }
  }
  return w;
}

// The frontier with its upper edge: `f` itself when it has one, else one
// built anew from the same inputs.
// Calls `f` with the edge objective of the options: validity, or the mean
// of those selected.
template <class F>
auto with_objective(const front_setting& s, pareto_objective objective, F f) {
  if (objective == pareto_objective::validity) return f(validity_quality{});
  return f(mean_of(s));
}

const pareto::frontier& with_edge(const front_setting& s, const pareto::frontier& f,
                                  std::optional<pareto::frontier>& storage) {
  if (f.has_edge()) return f;
  storage.emplace(s.predictors(), s.r(), s.a(), s.d(), f.signs(), pareto::upper_edge::build);
  return *storage;
}

// The effect at which the measure is highest among the reachable ones:
// parity where it lies on the edge, else the end nearest it.
double best_level_effect(const pareto::frontier& edged) {
  return std::clamp(0.0, edged.low_end().effect, edged.impact_end().effect);
}

// The front read from the whole upper edge: the best of all first, then at
// each level l_k spread evenly up to the highest reachable, the best whose
// effect lies in [e(l_k), e(1 / l_k)], found from the highest level down
// as the best of the level above and of the two stretches between their
// intervals. Exact wherever best_on_edge is (1e-12 in quality).
std::vector<pareto::weighting> front_on_edge(const front_setting& s, const pareto::frontier& edged,
                                             const pareto::edge_objective& q, int n,
                                             int& searched) {
  const pareto::edge_best top = *edged.best_on_edge(q, -infinity, infinity);
  searched += top.evaluations;
  // The highest level's weightings: those at e_best, the interval's
  // rounding aside; where no weighting has that effect (one predictor of
  // either sign reaches two effects and nothing between), the end of the
  // higher level.
  double e_best = best_level_effect(edged);
  std::optional<pareto::edge_best> inner = edged.best_on_edge(q, e_best, e_best);
  if (inner) {
    searched += inner->evaluations;
  } else {
    const pareto::weighting& low = edged.low_end();
    const pareto::weighting& high = edged.impact_end();
    const pareto::weighting& end = s.level(low.effect) > s.level(high.effect) ? low : high;
    inner = pareto::edge_best{end, q.value(end.validity, end.effect), 0};
    e_best = end.effect;
  }
  const double level_first = s.level(top.at.effect);
  const double level_last = s.level(e_best);
  if (!(level_last > level_first)) return {top.at};
  pareto::edge_best right = *inner;
  const double e_low = edged.low_end().effect;
  const double e_high = edged.impact_end().effect;
  std::vector<std::pair<double, double>> spans(static_cast<std::size_t>(n));
  for (int k = 1; k < n - 1; ++k) {
    const double l = level_first + (level_last - level_first) * k / (n - 1);
    const auto [lo, hi] = s.effects_for_level(l);
    spans[static_cast<std::size_t>(k)] = {std::clamp(lo, e_low, e_best),
                                          std::clamp(hi, e_best, e_high)};
  }
  spans.back() = {e_best, e_best};
  std::vector<pareto::weighting> points(static_cast<std::size_t>(n));
  points.front() = top.at;
  points.back() = right.at;
  for (int k = n - 2; k >= 1; --k) {
    const auto at = static_cast<std::size_t>(k);
    const std::pair<double, double> stretches[] = {{spans[at].first, spans[at + 1].first},
                                                   {spans[at + 1].second, spans[at].second}};
    for (const auto& [from, to] : stretches) {
      if (!(from < to)) continue;
      if (const std::optional<pareto::edge_best> here = edged.best_on_edge(q, from, to)) {
        searched += here->evaluations;
        if (here->quality > right.quality) right = *here;
      }
    }
    points[at] = right.at;
  }
  return points;
}

// Drops points equal to the one before: the front jumps there, and the
// targets in the jump all meet its far side.
void drop_repeats(std::vector<pareto::weighting>& points) {
  const auto same = [](const pareto::weighting& x, const pareto::weighting& y) {
    return x.weights == y.weights;
  };
  points.erase(std::unique(points.begin(), points.end(), same), points.end());
}

}  // namespace

pareto_result find_pareto_front(const problem& p, const pareto_options& options) {
  pareto_result result;
  front_setting s(p, options);
  std::optional<pareto::frontier> f = start(s, options.signs, result);
  if (!f) return result;

  pareto_front front;
  front.options = options;
  int searched = 0;
  const pareto::weighting& impact = f->impact_end();
  // Weightings beyond parity (a composite effect above 0, an impact ratio
  // above 1 at every selection ratio) count as parity: the front ends at
  // the best of them, which is at parity itself wherever the front passes
  // through it.
  const bool beyond = impact.effect > 0;
  std::vector<pareto::weighting> points;
  if (options.objective == pareto_objective::validity) {
    const double e_start = f->quality_end().effect;
    const pareto::weighting first =
        nearest_parity(s, *f, f->at_effect(e_start), -infinity, searched);
    const double e_end = beyond ? std::max(0.0, first.effect) : impact.effect;
    const pareto::weighting last = nearest_parity(
        s, *f, e_end >= impact.effect ? impact : f->at_effect(e_end), e_end, searched);
    const double ai_first = s.at(first.effect, first.validity).ai_ratio;
    const double ai_last = s.at(last.effect, last.validity).ai_ratio;
    points.push_back(first);
    if (ai_last > ai_first) {
      const int n = options.points;
      for (int k = 1; k < n - 1; ++k) {
        const double ai = ai_first + (ai_last - ai_first) * k / (n - 1);
        const double e = std::clamp(s.effect_for_ai(ai), first.effect, last.effect);
        points.push_back(f->at_effect(e));
      }
      points.push_back(last);
    }
  } else {
    // The best of every weighting, then the best beyond the effect of each
    // impact ratio asked for, from the impact end down: the best beyond e_k
    // is the better of the best beyond e_(k+1) and the best in between.
    const pareto::mean_quality mean = mean_of(s);
    // The edge holds the ends, so every search over a range that meets
    // [lowest effect, highest effect] has an answer.
    const pareto::edge_best top = *f->best_on_edge(mean, -infinity, infinity);
    searched += top.evaluations;
    const pareto::weighting first = top.at;
    points.push_back(first);
    if (first.effect < -parity_tolerance || !beyond) {
      pareto::edge_best last{impact, mean.value(impact.validity, impact.effect), 0};
      if (beyond) {
        last = *f->best_on_edge(mean, 0, infinity);
        searched += last.evaluations;
      }
      const double ai_first = s.at(first.effect, first.validity).ai_ratio;
      const double ai_last = s.at(last.at.effect, last.at.validity).ai_ratio;
      if (ai_last > ai_first) {
        const int n = options.points;
        std::vector<double> targets(static_cast<std::size_t>(n));
        targets.front() = first.effect;
        targets.back() = last.at.effect;
        for (int k = 1; k < n - 1; ++k) {
          const double ai = ai_first + (ai_last - ai_first) * k / (n - 1);
          targets[static_cast<std::size_t>(k)] =
              std::clamp(s.effect_for_ai(ai), first.effect, last.at.effect);
        }
        std::vector<pareto::weighting> between(static_cast<std::size_t>(n - 2));
        pareto::edge_best right = last;
        for (int k = n - 2; k >= 1; --k) {
          const auto at = static_cast<std::size_t>(k);
          const std::optional<pareto::edge_best> here =
              f->best_on_edge(mean, targets[at], targets[at + 1]);
          if (here) {
            searched += here->evaluations;
            if (here->quality > right.quality) right = *here;
          }
          between[at - 1] = right.at;
        }
        points.insert(points.end(), between.begin(), between.end());
        points.push_back(last.at);
      }
    }
  }
  // A front that starts or ends beyond parity has weightings whose measure
  // is the majority's rate over the minority's: searched on the edge.
  if (points.front().effect > parity_tolerance || points.back().effect > parity_tolerance) {
    std::optional<pareto::frontier> storage;
    const pareto::frontier& edged = with_edge(s, *f, storage);
    points = with_objective(s, options.objective, [&](const pareto::edge_objective& q) {
      return front_on_edge(s, edged, q, options.points, searched);
    });
  }
  drop_repeats(points);
  front.stopped_at_parity = beyond && std::abs(points.back().effect) <= parity_tolerance;
  for (const pareto::weighting& w : points) front.points.push_back(s.evaluate(w.weights));

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
  result.evaluations = s.evaluations() + searched;
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
  // Reached when the highest-impact weighting meets the ratio, to the
  // rounding of the effect (a ratio above 1 is no level of the measure:
  // the search on the edge below says so).
  if (min_ai <= 1 && e_needed > impact.effect + 1e-12 * std::max(1.0, std::abs(impact.effect))) {
    result.status = pareto_status::unreachable;
    result.value = s.evaluate(impact.weights);
    result.evaluations = s.evaluations();
    result.message =
        "no weighting reaches the impact ratio; the highest reachable is the "
        "front's impact end";
    return result;
  }
  int searched = 0;
  pareto::weighting best = impact;
  if (options.objective == pareto_objective::validity) {
    const double e = std::min(std::max(e_needed, f->quality_end().effect), impact.effect);
    best = nearest_parity(s, *f, f->at_effect(e), e_needed, searched);
  } else if (const std::optional<pareto::edge_best> b =
                 f->best_on_edge(mean_of(s), e_needed, infinity)) {
    // The edge holds the impact end, so a reachable ratio always has an
    // answer.
    searched = b->evaluations;
    best = b->at;
  }
  // An answer beyond parity, or a ratio asked for above 1, meets the
  // interval's upper end: the weightings that reach min_ai are those of
  // [e(min_ai), e(1 / min_ai)], searched on the edge.
  if (best.effect > parity_tolerance || min_ai > 1) {
    std::optional<pareto::frontier> storage;
    const pareto::frontier& edged = with_edge(s, *f, storage);
    const double e_best = best_level_effect(edged);
    const auto [lo, hi] = min_ai > 0 ? s.effects_for_level(min_ai) : std::pair{-infinity, infinity};
    const double from = std::min(lo, e_best);
    const double to = std::max(hi, e_best);
    // The best weighting that reaches min_ai, or, when none does, the one
    // nearest to it.
    const auto [b, nearest] =
        with_objective(s, options.objective, [&](const pareto::edge_objective& q) {
          const std::optional<pareto::edge_best> found = min_ai > 1 || s.level(e_best) < min_ai
                                                             ? std::nullopt
                                                             : edged.best_on_edge(q, from, to);
          return std::pair{found, found ? std::nullopt : edged.best_on_edge(q, e_best, e_best)};
        });
    if (!b) {
      result.status = pareto_status::unreachable;
      result.value = s.evaluate(nearest ? nearest->at.weights : impact.weights);
      result.evaluations = s.evaluations() + searched;
      result.message =
          "no weighting reaches the impact ratio; the highest reachable is the "
          "front's impact end";
      return result;
    }
    searched += b->evaluations;
    best = b->at;
  }
  result.status = pareto_status::found;
  result.value = s.evaluate(best.weights);
  result.evaluations = s.evaluations() + searched;
  result.message = how_found(*f, 1);
  return result;
}

}  // namespace fourfifths
