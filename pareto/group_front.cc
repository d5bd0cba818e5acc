// Pareto-optimal weights with several minority groups: quality (validity,
// or the mean criterion score of those selected) against the lowest ratio
// to the highest rate, L(w) = min_g sr_g / max_g sr_g over every group, the
// majority included.
//
// One minority group: the exact front of front.cc, read as it is.
//
// Several: an epsilon-constraint over levels A of L. At the selection
// ratio R, L depends on a weighting only through the groups' composite
// effect sizes e_g = d_g.w / sqrt(w'Rw), and validity is v = a.w /
// sqrt(w'Rw); on the sphere w'Rw = 1 both are linear in w.
//
// The bound. Every group's ratio to the highest rate is at least A, and
// the highest rate is at least the majority's, so every group's impact
// ratio sr_g / sr_0 is at least A. With x the cut score and sr_0 = Q(x),
//   e_g = x - Q^-1(sr_g) >= Q^-1(sr_0) - Q^-1(A sr_0) = phi(sr_0),
// and phi is non-increasing in sr_0 (its derivative has the sign of
// A phi(x1) - phi(x2) with A = Q(x2)/Q(x1), x1 < x2, which is not positive
// because the normal hazard rate phi/Q rises). Majority mode: sr_0 = R.
// Overall mode: R = p_0 sr_0 + sum p_g sr_g >= sr_0 (p_0 + (1 - p_0) A),
// so sr_0 <= s_hi = R / (p_0 + (1 - p_0) A) and e_g >= phi(s_hi) (no bound
// when s_hi >= 1). So every weighting with L >= A has e_g >= c(A) for all
// g, and the highest validity under those linear thresholds, found exactly
// on the sphere (sphere_lp.h: the global maximum over every support and
// active set), bounds the front's validity at A from above. With one
// group, c(A) is the one-group front's effect for the impact ratio A.
//
// The points. The best weighting at A is sought by sequential
// linearisation: at the current weighting each group's constraint
// log sr_g - log sr_t - log A >= 0, t the group with the highest rate and
// every group with at least 0.8 of its rate (so that the highest may change), is
// linearised in the effect sizes, through the cut score in overall mode,
// which makes it linear in w on the sphere; the exact sphere_lp maximiser
// of the quality under those constraints is the next weighting. A step
// whose end misses A is, from a weighting that reaches A, cut back by
// bisection to the farthest point on the way that does, or else its end is
// drawn, by bisection, towards the weighting of highest L met at A to the
// nearest point that reaches A; where neither is better than the best met,
// the step is solved again with its end within an angle of the weighting
// (w'R x >= cos angle on the sphere, a trust region) halved up to 20 times,
// and where that fails too a weighting that reaches A ends the search
// (without this the steps could cycle among a few weightings short of the
// level's best). A fixed point satisfies the true problem's optimality
// conditions. It starts from the point of the level before and from the
// bound's maximiser, and (where the bound does not prove what those find
// and what they find lies off the point before's branch, or they find
// nothing) the level is also followed up from the point before through eight
// levels, each searched with its steps kept within an angle of 0.2 of the
// last weighting, so that it stays on that point's branch (the full steps
// go to their model's best, which can lie on another branch of the level,
// a worse one); where none finds a weighting that reaches A (near
// the top of the last point's branch when the front bends the wrong way),
// from the last point through eight levels in equal steps up to A, each
// searched from the one before, and then from the far end; and where the
// front changes branch between two points (their composites correlate at
// most 0.99), the earlier level is searched again from the later point,
// going back from the far end; and from the top of every hill of L that
// the far end's climbs reached and that reaches the level (every branch
// of a level's weightings holds the top of a hill, so a branch that
// reaches the level only near its top is searched too). It keeps the
// best weighting it meets whose L is at least A (to 1e-12 relative). In
// majority mode, while no group's rate exceeds the majority's, the
// constraints are linear in e and the first step is exact: the point
// reaches the bound. Elsewhere the linearisation carries no curvature of
// the constraints and can stop short (on fronts that bend the wrong way,
// by up to 1e-2 of validity), so each point that does not meet its bound
// is polished by Newton's method on the level's optimality conditions with
// an active set (kkt_newton.h; `polished` below), which converges to the
// local best from where the linearisation ends. A point can still fall
// short of the bound (the bound is loose in overall mode); the gap is
// reported. The front is made monotone: a point worse than a later
// (higher-L) one is replaced by it.
//
// The far end, the highest L: L = 1 is every effect at 0, linear equations
// whose best weighting sphere_lp finds (and which it is then moved onto
// exactly). Otherwise the lowest of the linearised log ratios (against the
// highest group and the next) is maximised on the sphere at each step
// (sphere_lp::maximise_lowest), with a golden-section search for the best
// true L on the way; where that makes no progress (groups alike leave the
// step's maximiser a whole set), or ends short of the branch and bound's
// bound, a bisection on the level, and Newton's method on the tie of the
// lowest ratios at the top (`topped`). The branch and bound's boxes are
// bounded through the effects' ranges and, with non-negative weights,
// through each pair's log ratio's mean-value form as well
// (ratio_slopes.h). In majority mode the bound's
// thresholds are split over the highest composite mean
// (`split_thresholds`), and the weighting of the finest part they allow
// starts a climb.
//
// The mean objective has no bound here: its gradient in (v, e) (central
// differences, step 1e-6) linearises it too, and the search keeps the best
// mean met. Checked against dense random weightings and a local optimiser
// from many starts (tests/pareto/check_group_front.py: on 100 random
// problems of 2 to 4 groups, 10^6 weightings each and SLSQP, no weighting
// beats a point on both axes by more than 1e-16; no weighting exceeds a
// point's bound).
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <numeric>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "analysis/composite.h"
#include "analysis/precise_search.h"
#include "fourfifths/group_pareto.h"
#include "numeric/portable_math.h"
#include "numeric/precise_normal.h"
#include "pareto/front_options.h"
#include "pareto/kkt_newton.h"
#include "pareto/ratio_slopes.h"
#include "pareto/sphere_lp.h"
#include "pareto/sphere_search.h"

namespace fourfifths {

namespace {

namespace portable = numeric::portable;
namespace precise = numeric::precise;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double level_tolerance = 1e-12;  // relative, in L
constexpr double proof_tolerance = 1e-9;
constexpr int most_steps = 40;
// A level's search that has not reached its level after this many steps
// is given up: on the 400-problem wide draw every search that reached its
// level did so within 9 steps, and those that did not ran on to the 40
// (a fifth of a 6 x 4 front's time went on them).
constexpr int most_steps_short = 15;
// Groups whose rate is at least this share of the highest are constrained
// against it as if it were the highest.
constexpr double near_top = 0.8;
// A step that moves no weight (of a weighting with w'Rw = 1) by more than
// this ends a search: validity and the effects then move by less than
// 1e-11, and rounding keeps later steps from settling on one point.
constexpr double converged = 1e-7;
// The most halvings of a step's trusted angle.
constexpr int most_shrinks = 20;
// The polish: a pair this close to the level (in log ratio) starts in the
// active set; the most changes of the active set, Newton steps for each.
constexpr double near_active = 1e-6;
// Two weightings whose composites correlate above this are on one branch.
constexpr double same_branch = 0.99;
// Pairs whose log ratio is within this of the lowest start the far end's
// polish (those that turn out not to tie at the top leave it by their
// multipliers).
constexpr double near_tie = 0.02;
constexpr int most_rounds = 8;
constexpr int most_newton_steps = 12;
// The global searches' budgets (boxes split) and the gap at which they
// end: the far end's once, and each level's whose point the sphere's
// bound does not prove.
constexpr int most_far_splits = 20000;
constexpr int most_level_splits = 150;
// Overall mode's level searches for validity: only over boxes of at most
// this many dimensions (quality_bound).
constexpr int most_overall_level_dimensions = 2;
constexpr double global_tolerance = 1e-10;
// The most parts of the highest effect's range a level's split thresholds
// are asked for.
constexpr int most_threshold_parts = 400;

std::size_t at(int i) { return static_cast<std::size_t>(i); }

// The weights scaled as the one-group front scales them.
std::vector<double> scaled(std::span<const double> w) {
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

// Where a weighting stands at R, computed quickly for the search.
struct standing {
  bool solved = false;
  double v = 0;
  std::vector<double> e;   // per minority group
  double x = 0;            // cut score
  std::vector<double> sr;  // the majority first
  double lowest = 0;       // L
  int top = 0;             // the group with the highest rate (0: majority)
};

class group_setting {
 public:
  group_setting(const group_problem& p, const pareto_options& o) : p_(p), o_(o) {}

  std::optional<pareto::refusal> check() const {
    const problem_spec& s = p_.base().spec();
    if (auto refused =
            pareto::check_front_options(p_.base(), o_, p_.majority_share().has_value(), true)) {
      return refused;
    }
    if (p_.groups().size() > 1 && o_.signs == weight_signs::nonnegative &&
        s.predictors > most_group_front_predictors) {
      return std::pair{pareto_status::bad_options,
                       fault{"predictors",
                             "a front with several groups and non-negative "
                             "weights takes at most " +
                                 std::to_string(most_group_front_predictors) + " predictors"}};
    }
    return std::nullopt;
  }

  void prepare() {
    const problem& base = p_.base();
    const problem_spec& s = base.spec();
    np_ = s.predictors;
    const auto n = at(np_);
    r_.resize(n * n);
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = 0; j < n; ++j)
        r_[i * n + j] = base.correlation(static_cast<int>(i), static_cast<int>(j));
    }
    const std::span<const double> wc(s.criterion_weights.data(), at(s.criteria));
    const double vc = analysis::composite_variance(wc, [&](std::size_t k, std::size_t l) {
      return base.correlation(np_ + static_cast<int>(k), np_ + static_cast<int>(l));
    });
    a_.assign(n, 0);
    for (std::size_t j = 0; j < n; ++j) {
      double sum = 0;
      for (std::size_t k = 0; k < wc.size(); ++k)
        sum = base.correlation(static_cast<int>(j), np_ + static_cast<int>(k)) * wc[k] + sum;
      a_[j] = sum / std::sqrt(vc);
    }
    const std::vector<double> unit(n, 1.0);
    for (std::size_t g = 0; g < p_.groups().size(); ++g) {
      d_.push_back(p_.of_group(g).spec().predictor_effects);
      criterion_effect_.push_back(
          analysis::composite_statistics(p_.of_group(g), unit).criterion_effect);
      share_.push_back(p_.groups()[g].share.value_or(nan));
    }
    majority_share_ = p_.majority_share().value_or(nan);
    all_shares_.push_back(majority_share_);
    all_shares_.insert(all_shares_.end(), share_.begin(), share_.end());
    ratio_quantile_ = precise::upper_quantile(o_.ratio);
    if (o_.mode == ratio_mode::majority) majority_cut_ = ratio_quantile_;
  }

  int predictors() const { return np_; }
  int groups() const { return static_cast<int>(d_.size()); }
  std::span<const double> r() const { return r_; }
  std::span<const double> a() const { return a_; }
  std::span<const double> d(int g) const { return d_[at(g)]; }
  const pareto_options& options() const { return o_; }
  int evaluations() const { return evaluations_; }

  // a.w: the validity of a weighting on the sphere.
  double a_dot(std::span<const double> w) const {
    double v = 0;
    for (std::size_t j = 0; j < w.size(); ++j) v += a_[j] * w[j];
    return v;
  }

  // The correlation of the composites of two weightings, x'Ry /
  // sqrt(x'Rx y'Ry).
  double correlation(std::span<const double> x, std::span<const double> y) const {
    double xy = 0;
    const auto n = at(np_);
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = 0; j < n; ++j) xy += x[i] * r_[i * n + j] * y[j];
    }
    return xy / std::sqrt(norm2(x) * norm2(y));
  }

  double norm2(std::span<const double> w) const {
    double q = 0;
    const auto n = at(np_);
    for (std::size_t i = 0; i < n; ++i) {
      double row = 0;
      for (std::size_t j = 0; j < n; ++j) row += r_[i * n + j] * w[j];
      q += w[i] * row;
    }
    return q;
  }

  // The cut score for effects e, or NaN.
  double cut_score(std::span<const double> e) const {
    const double x = cut_score_from(e, last_cut_);
    if (std::isfinite(x)) last_cut_ = x;
    return x;
  }
  // (From `start`, which only saves steps.)
  double cut_score_from(std::span<const double> e, double start) const {
    if (o_.mode == ratio_mode::majority) return majority_cut_;
    double lo = 0;
    double hi = 0;
    for (const double x : e) {
      lo = std::min(lo, x);
      hi = std::max(hi, x);
    }
    // Every group's tail area at x lies between Q(x - lo) and Q(x - hi)
    // (lo and hi the lowest and highest mean, the majority's 0 among
    // them), and so does the applicants' mixture: the root lies between
    // lo + Q^-1(R) and hi + Q^-1(R) (widened by rounding's margin). The
    // search starts from `start` (by default the last cut score found,
    // which the search's nearby weightings share).
    lo += ratio_quantile_ - 1e-9;
    hi += ratio_quantile_ + 1e-9;
    // g at x, its slope, and its curvature (the density's slope is -z
    // phi(z)).
    struct at_x {
      double g;
      double slope;
      double curve;
    };
    const auto g = [&](double x) {
      precise::tail_and_density q = precise::upper_tail_and_density(x);
      at_x out{majority_share_ * q.tail, majority_share_ * q.density,
               majority_share_ * x * q.density};
      for (std::size_t k = 0; k < e.size(); ++k) {
        q = precise::upper_tail_and_density(x - e[k]);
        out.g = out.g + share_[k] * q.tail;
        out.slope = out.slope + share_[k] * q.density;
        out.curve = out.curve + share_[k] * (x - e[k]) * q.density;
      }
      out.g -= o_.ratio;
      out.slope = -out.slope;
      return out;
    };
    // Newton's method kept inside the bracket (bisection where a step
    // would leave it, and after 50 steps), ended once a step is within a
    // few ulps of x, or once Newton's own error model puts its end within
    // a hundredth of an ulp of the root: the error after a step of size s
    // is about |g''/(2g')| s^2 (Dahlquist and Bjorck, Numerical Methods,
    // 1974, 6.2), so the step that would only confirm it is not taken.
    // The library's analysis carries its roots to the last bit; the search
    // needs them to rounding level only.
    double x = std::clamp(std::isnan(start) ? ratio_quantile_ : start, lo, hi);
    for (int step = 0; step < 200; ++step) {
      const at_x here = g(x);
      const double gx = here.g;
      if (gx == 0) break;
      if (gx > 0) {
        lo = x;
      } else {
        hi = x;
      }
      const double dg = here.slope;
      const double d2g = here.curve;
      const double newton = x - gx / dg;
      const double moved = std::fabs(newton - x);
      const double ulp = 2.3e-16 * std::max(1.0, std::fabs(x));
      // A step within a few ulps ends the search even where rounding puts
      // its end on the far side of the bracket's end at x.
      if (moved <= 2 * ulp) break;
      const bool inside = step < 50 && newton > lo && newton < hi;
      x = inside ? newton : lo + (hi - lo) / 2;
      if (inside && std::fabs(d2g / (2 * dg)) * moved * moved <= ulp / 100) break;
      if (!(hi - lo > 2 * ulp)) break;
    }
    return x;
  }

  // A weighting's standing at the ratio. The last one is kept: a level's
  // step stands at the end of its correction and again, with the same
  // weights, at the start of the next step.
  standing stand(std::span<const double> w) {
    if (last_stood_.size() == w.size() && std::equal(w.begin(), w.end(), last_stood_.begin()))
      return last_standing_;
    standing s = stand_anew(w);
    last_stood_.assign(w.begin(), w.end());
    last_standing_ = s;
    return s;
  }
  standing stand_anew(std::span<const double> w) {
    ++evaluations_;
    standing s;
    double q = 0;
    const auto n = at(np_);
    for (std::size_t i = 0; i < n; ++i) {
      double row = 0;
      for (std::size_t j = 0; j < n; ++j) row += r_[i * n + j] * w[j];
      q += w[i] * row;
    }
    const double sigma = std::sqrt(q);
    s.v = dot(a_, w) / sigma;
    s.e.reserve(d_.size());
    for (const std::vector<double>& d : d_) s.e.push_back(dot(d, w) / sigma);
    // No composite (all weights 0, or too small to scale): no standing.
    if (!(sigma > 0) || !std::isfinite(s.v) ||
        !std::all_of(s.e.begin(), s.e.end(), [](double e) { return std::isfinite(e); })) {
      return s;
    }
    s.x = cut_score(s.e);
    if (std::isnan(s.x)) return s;
    s.sr.reserve(s.e.size() + 1);
    s.sr.push_back(precise::upper_tail(s.x));
    for (const double e : s.e) s.sr.push_back(precise::upper_tail(s.x - e));
    double low = inf;
    double high = 0;
    for (std::size_t k = 0; k < s.sr.size(); ++k) {
      low = std::min(low, s.sr[k]);
      if (s.sr[k] > high) {
        high = s.sr[k];
        s.top = static_cast<int>(k);
      }
    }
    s.lowest = low / high;
    s.solved = high > 0 && std::isfinite(s.lowest);
    return s;
  }

  // How the groups' log rates move with their effects at s: each group's
  // hazard phi(z_k) / sr_k (majority first), the slope of log sr_k in
  // -z_k, and dx/de_h, the cut score's slope in each minority effect
  // (overall mode: p_h phi(z_h) / sum_k p_k phi(z_k); 0 in majority mode).
  struct slopes_at {
    std::vector<double> hazard;
    std::vector<double> dx;
  };

  slopes_at slopes(const standing& s) const {
    const int groups_with_majority = groups() + 1;
    const auto z = [&](int k) { return s.x - (k == 0 ? 0.0 : s.e[at(k - 1)]); };
    slopes_at out;
    out.hazard.reserve(at(groups_with_majority));
    for (int k = 0; k < groups_with_majority; ++k) {
      const double rate = s.sr[at(k)];
      out.hazard.push_back(rate >= std::numeric_limits<double>::min()
                               ? precise::density(z(k)) / rate
                               : precise::upper_tail_mean(z(k)));
    }
    out.dx.assign(at(groups()), 0.0);
    if (o_.mode == ratio_mode::overall) {
      double total = majority_share_ * precise::density(z(0));
      for (int h = 1; h < groups_with_majority; ++h)
        total += share_[at(h - 1)] * precise::density(z(h));
      for (int h = 1; h < groups_with_majority; ++h)
        out.dx[at(h - 1)] = share_[at(h - 1)] * precise::density(z(h)) / total;
    }
    return out;
  }

  // The slope of log sr_k - log sr_t in each minority effect e_h.
  std::vector<double> pair_slope(const slopes_at& sl, int k, int t) const {
    std::vector<double> out(at(groups()));
    for (int h = 1; h <= groups(); ++h) {
      double grad = (sl.hazard[at(t)] - sl.hazard[at(k)]) * sl.dx[at(h - 1)];
      if (h == k) grad += sl.hazard[at(k)];
      if (h == t) grad -= sl.hazard[at(t)];
      out[at(h - 1)] = grad;
    }
    return out;
  }

  // The gradients in w (at any scale) at s, the standing of w, of the
  // quality and of each pair's log ratio log sr_k - log sr_t (pair
  // k (G + 1) + t): through v = a.w / sigma and e_h = d_h.w / sigma, whose
  // gradients are (a - v Rw / sigma) / sigma and (d_h - e_h Rw / sigma) /
  // sigma.
  std::vector<std::vector<double>> gradients(std::span<const double> w, const standing& s,
                                             std::span<const int> pairs) const {
    const auto n = at(np_);
    std::vector<double> rw(n, 0.0);
    double q = 0;
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = 0; j < n; ++j) rw[i] += r_[i * n + j] * w[j];
      q += w[i] * rw[i];
    }
    const double sigma = std::sqrt(q);
    const auto through = [&](std::span<const double> l, double value) {
      std::vector<double> g(n);
      for (std::size_t j = 0; j < n; ++j) g[j] = (l[j] - value * rw[j] / sigma) / sigma;
      return g;
    };
    std::vector<std::vector<double>> de;
    for (std::size_t h = 0; h < d_.size(); ++h) de.push_back(through(d_[h], s.e[h]));
    const auto in_w = [&](double along_v, std::span<const double> along_e) {
      std::vector<double> g(n, 0.0);
      if (along_v != 0) g = through(a_, s.v);
      for (std::size_t j = 0; j < n; ++j) g[j] *= along_v;
      for (std::size_t h = 0; h < de.size(); ++h) {
        for (std::size_t j = 0; j < n; ++j) g[j] += along_e[h] * de[h][j];
      }
      return g;
    };
    std::vector<std::vector<double>> out;
    if (o_.objective == pareto_objective::validity) {
      out.push_back(through(a_, s.v));
    } else {
      const auto [dv, dmean] = mean_slopes(s);
      out.push_back(in_w(dv, dmean));
    }
    const slopes_at sl = slopes(s);
    const auto g1 = at(groups() + 1);
    for (const int p : pairs) {
      const std::vector<double> along =
          pair_slope(sl, static_cast<int>(at(p) / g1), static_cast<int>(at(p) % g1));
      out.push_back(in_w(0, along));
    }
    return out;
  }

  // The constraints L >= A linearised at s, in w on the sphere.
  std::vector<pareto::linear_constraint> linearised(
      const standing& s, double level, bool both_tops = false,
      std::vector<std::pair<int, int>>* pairs = nullptr) const {
    const int groups_with_majority = groups() + 1;
    const slopes_at sl = slopes(s);
    // Each group against the highest and against every group whose rate
    // is at least near_top of the highest (with `both_tops`, at least the next
    // highest), so
    // that the highest may change: the linearised ratios against one group
    // alone promise a ratio of 1 and more past the point where another
    // group's rate overtakes it.
    std::vector<int> tops{s.top};
    int next = -1;
    for (int t = 0; t < groups_with_majority; ++t) {
      if (t == s.top) continue;
      if (s.sr[at(t)] >= near_top * s.sr[at(s.top)]) {
        tops.push_back(t);
      } else if (next < 0 || s.sr[at(t)] > s.sr[at(next)]) {
        next = t;
      }
    }
    if (both_tops && tops.size() == 1 && next >= 0) tops.push_back(next);
    std::vector<pareto::linear_constraint> out;
    for (const int top : tops) {
      for (int k = 0; k < groups_with_majority; ++k) {
        if (k == top) continue;
        const double value =
            portable::log(s.sr[at(k)]) - portable::log(s.sr[at(top)]) - portable::log(level);
        const std::vector<double> slope = pair_slope(sl, k, top);
        pareto::linear_constraint c;
        c.l.assign(at(np_), 0.0);
        double b = -value;
        for (int h = 1; h < groups_with_majority; ++h) {
          const std::vector<double>& d = d_[at(h - 1)];
          for (std::size_t j = 0; j < at(np_); ++j) c.l[j] += slope[at(h - 1)] * d[j];
          b += slope[at(h - 1)] * s.e[at(h - 1)];
        }
        c.b = b;
        out.push_back(std::move(c));
        if (pairs != nullptr) pairs->emplace_back(k, top);
      }
    }
    return out;
  }

  // The outer thresholds c(A) on every group's effect (minus infinity
  // when there is none).
  double threshold(double level) const {
    if (!(level > 0)) return -inf;
    double s0 = o_.ratio;
    if (o_.mode == ratio_mode::overall)
      s0 = o_.ratio / (majority_share_ + (1 - majority_share_) * level);
    if (!(s0 < 1)) return -inf;
    if (!(level * s0 < 1)) return inf;
    const double x_low = precise::upper_quantile(level * s0);
    if (std::isnan(x_low)) return -inf;
    return precise::upper_quantile(s0) - x_low;
  }

  // The highest rate group h (of share p_h) can have where every group
  // has at least `level` of the highest rate: majority mode, sr_h <= the
  // highest <= sr_0 / A = R / A; overall mode, R = sum p_k sr_k >= p_h sr_h
  // + (1 - p_h) A sr_h, so sr_h <= R / (p_h + (1 - p_h) A).
  double highest_rate(double share, double level) const {
    if (o_.mode == ratio_mode::majority) return o_.ratio / level;
    return o_.ratio / (share + (1 - share) * level);
  }

  // The outer thresholds on every group's effect: from below against the
  // majority (e_g >= c(A)), and from above, since the majority too needs
  // `level` of every group's rate: sr_0 >= A sr_h gives, as for c(A),
  // -e_h = x - e_h - x >= Q^-1(sr_h) - Q^-1(A sr_h) >= phi(s_h), s_h the
  // highest rate h can have. Both are necessary, so the highest validity
  // under them still bounds the front from above; the second matters where
  // a group may score above the majority.
  std::vector<pareto::linear_constraint> thresholds(double level) const {
    std::vector<pareto::linear_constraint> out;
    if (!(level > 0)) return out;
    const double c = threshold(level);
    if (c != -inf) {
      for (const std::vector<double>& d : d_) out.push_back({d, c});
    }
    if (c == inf) return out;
    for (std::size_t h = 0; h < d_.size(); ++h) {
      const double s = highest_rate(share_[h], level);
      if (!(s < 1)) continue;
      const double x_low = precise::upper_quantile(level * s);
      if (std::isnan(x_low)) continue;
      pareto::linear_constraint above{d_[h], precise::upper_quantile(s) - x_low};
      for (double& v : above.l) v = -v;
      out.push_back(std::move(above));
    }
    return out;
  }

  // Majority mode, the thresholds split over the highest effect. With x
  // the cut score (fixed), m the lowest composite mean and M the highest
  // (the majority's 0 among them), L = Q(x - m) / Q(x - M), so L >= A is
  // m >= h_A(M) = x - Q^-1(A Q(x - M)), h_A rising with M. Every weighting
  // whose L reaches A and whose M lies in [t_a, t_b] therefore has every
  // effect in [h_A(t_a), t_b], and h_A(t_a) <= 0 (the majority's own 0).
  // Over the whole range of M, [0, x - Q^-1(R / A)], these are the
  // thresholds above; split, they are tighter where groups score both
  // above and below the majority. None where h_A(t_a) > 0 (no weighting).
  std::optional<std::vector<pareto::linear_constraint>> split_thresholds(double level, double t_a,
                                                                         double t_b) const {
    const double x = majority_cut_;
    const double low = x - precise::upper_quantile(level * precise::upper_tail(x - t_a));
    if (!(low <= 0)) return std::nullopt;
    // A hair wider each way, for rounding: the set only grows.
    constexpr double hair = 1e-13;
    std::vector<pareto::linear_constraint> out;
    for (const std::vector<double>& d : d_) {
      out.push_back({d, low - hair});
      pareto::linear_constraint below{d, -t_b - hair};
      for (double& v : below.l) v = -v;
      out.push_back(std::move(below));
    }
    return out;
  }

  // The highest M a weighting reaching `level` can have in majority mode:
  // where the majority's rate is A of the highest, Q(x - M) = R / A
  // (infinity where R / A >= 1).
  double highest_effect(double level) const {
    const double top = o_.ratio / level;
    return top < 1 ? majority_cut_ - precise::upper_quantile(top) : inf;
  }

  // The cut scores at the low and the high ends of the effects' ranges:
  // the cut score rises with every effect, so these bound it over them.
  std::pair<double, double> cut_scores(std::span<const pareto::range> e) const {
    return {cut_score_at(e, &pareto::range::lo), cut_score_at(e, &pareto::range::hi)};
  }

  // The cut score at one end (`lo` or `hi`) of every effect's range.
  double cut_score_at(std::span<const pareto::range> e, double pareto::range::*end) const {
    if (o_.mode != ratio_mode::overall) return majority_cut_;
    std::vector<double> x;
    x.reserve(e.size());
    for (const pareto::range& r : e) x.push_back(r.*end);
    return cut_score(x);
  }

  // The same, near effects c whose cut score is x_c (the box's centre):
  // the cut score moves with each effect e_k by p_k phi(x - e_k) over the
  // applicants' density at x (the implicit function's slope), so the
  // sum of those moves from c starts the search within the square of the
  // box's width of the root (two steps where the last root found, at
  // another box's other end, took five).
  double cut_score_near(std::span<const pareto::range> e, double pareto::range::*end,
                        std::span<const double> c, double x_c) const {
    if (o_.mode != ratio_mode::overall) return majority_cut_;
    std::vector<double> x;
    x.reserve(e.size());
    for (const pareto::range& r : e) x.push_back(r.*end);
    double density = majority_share_ * precise::density(x_c);
    double moved = 0;
    for (std::size_t k = 0; k < e.size(); ++k) {
      const double part = share_[k] * precise::density(x_c - c[k]);
      density += part;
      moved += part * (x[k] - c[k]);
    }
    return cut_score_from(x, density > 0 ? x_c + moved / density : x_c);
  }

  // An upper bound of L over every weighting whose minority effects lie in
  // the ranges e_g in [lo_g, hi_g]. L = Q(x - m) / Q(x - M), m the least
  // mean and M the greatest (the majority's 0 among them), x the cut
  // score. The quotient f(x; a, b) = Q(x - a) / Q(x - b) rises with a and
  // falls with b, so L <= f(x; m_hi, M_lo); and for a <= b it falls with x
  // (its log's slope is h(x - b) - h(x - a) <= 0, the normal's hazard h
  // rising), so over x >= x_lo, the cut score at the ranges' low ends
  // (the cut score rises with every effect; fixed in majority mode), L <=
  // f(x_lo; m_hi, M_lo). Where m_hi > M_lo that quotient exceeds 1, the
  // bound L never passes. 1 where it cannot be formed.
  double lowest_upper(std::span<const pareto::range> e) const {
    return lowest_upper_from(e, cut_score_at(e, &pareto::range::lo));
  }
  // (x_lo given.)
  static double lowest_upper_from(std::span<const pareto::range> e, double x_lo) {
    double least = 0;     // m_hi
    double greatest = 0;  // M_lo
    for (const pareto::range& r : e) {
      least = std::min(least, r.hi);
      greatest = std::max(greatest, r.lo);
    }
    if (least > greatest) return 1;
    const double low = precise::upper_tail(x_lo - least);
    const double high = precise::upper_tail(x_lo - greatest);
    if (!(high > 0) || !(low >= 0)) return 1;
    return std::min(1.0, low / high * (1 + 1e-12));
  }

  // The same bound, closer on small boxes, from the box's slopes
  // (ratio_slopes.h): the lower of the two, the closer one not sought
  // where the other is at most `enough`.
  double lowest_upper_sloped(std::span<const pareto::range> e, const pareto::box_slopes& slopes,
                             double enough) const {
    if (slopes.empty() || slopes.centre.size() != e.size()) return lowest_upper(e);
    const double x_c = cut_score(slopes.centre);
    const double x_lo = cut_score_near(e, &pareto::range::lo, slopes.centre, x_c);
    const double plain = lowest_upper_from(e, x_lo);
    if (plain <= enough) return plain;
    const double x_hi = cut_score_near(e, &pareto::range::hi, slopes.centre, x_c);
    return std::min(plain, pareto::lowest_ratio_upper(e, slopes, all_shares_,
                                                      o_.mode == ratio_mode::overall, x_lo,
                                                      x_hi, x_c, enough));
  }

  // An upper bound of the mean of those selected over every weighting
  // whose validity lies in v and minority effects in e. The mean is the
  // average of the groups' means dcc_g + v h(z_g) (h(z) = phi(z) / Q(z),
  // the mean of a standard normal above z, which rises with z) weighted by
  // p_g Q(z_g), z_g = x - e_g; over the ranges each z_g lies in [x_lo -
  // e_hi, x_hi - e_lo], so each rate and each h in its range, and interval
  // arithmetic bounds the weighted sum and its total (R itself in overall
  // mode). No average exceeds its highest part, so the least of that and
  // the quotient's bound. Plus infinity where it cannot be formed.
  double mean_upper(pareto::range v, std::span<const pareto::range> e) const {
    const auto [x_lo, x_hi] = cut_scores(e);
    if (!(x_lo <= x_hi)) return inf;
    const auto hazard = [](double z) {
      const double rate = precise::upper_tail(z);
      return rate >= std::numeric_limits<double>::min() ? precise::density(z) / rate
                                                        : precise::upper_tail_mean(z);
    };
    using pareto::product;
    double highest_part = -inf;
    pareto::range sum{0, 0};
    pareto::range selected{0, 0};
    for (std::size_t g = 0; g <= e.size(); ++g) {
      const double z_lo = g == 0 ? x_lo : x_lo - e[g - 1].hi;
      const double z_hi = g == 0 ? x_hi : x_hi - e[g - 1].lo;
      const double share = g == 0 ? majority_share_ : share_[g - 1];
      const double dcc = g == 0 ? 0.0 : criterion_effect_[g - 1];
      const pareto::range rate{share * precise::upper_tail(z_hi), share * precise::upper_tail(z_lo)};
      pareto::range part = product(v, {hazard(z_lo), hazard(z_hi)});
      part.lo += dcc;
      part.hi += dcc;
      highest_part = std::max(highest_part, part.hi);
      const pareto::range weighted = product(rate, part);
      sum.lo += weighted.lo;
      sum.hi += weighted.hi;
      selected.lo += rate.lo;
      selected.hi += rate.hi;
    }
    if (o_.mode == ratio_mode::overall) selected = {o_.ratio, o_.ratio};
    double quotient = inf;
    if (selected.lo > 0) quotient = sum.hi >= 0 ? sum.hi / selected.lo : sum.hi / selected.hi;
    const double bound = std::min(highest_part, quotient);
    if (std::isnan(bound)) return inf;
    return bound + 1e-12 * (1 + std::fabs(bound));
  }

  // The mean of those selected at (v, e), or minus infinity unsolved.
  double mean_at(double v, std::span<const double> e) const {
    const double x = cut_score(e);
    if (std::isnan(x)) return -inf;
    const auto part = [&](double z, double dcc, double share) {
      const double rate = precise::upper_tail(z);
      const double tail = rate >= std::numeric_limits<double>::min() ? precise::density(z) / rate
                                                                     : precise::upper_tail_mean(z);
      return std::pair{share * rate, share * rate * (dcc + v * tail)};
    };
    auto [selected, sum] = part(x, 0, majority_share_);
    for (std::size_t g = 0; g < e.size(); ++g) {
      const auto [s, m] = part(x - e[g], criterion_effect_[g], share_[g]);
      selected += s;
      sum += m;
    }
    const double denominator = o_.mode == ratio_mode::overall ? o_.ratio : selected;
    return sum / denominator;
  }

  double quality(const standing& s) const {
    if (!s.solved) return -inf;
    return o_.objective == pareto_objective::validity ? s.v : mean_at(s.v, s.e);
  }

  // The mean's slopes in v and in each e_h at s, by central differences
  // (step 1e-6); a slope that cannot be formed is 0.
  std::pair<double, std::vector<double>> mean_slopes(const standing& s) const {
    constexpr double step = 1e-6;
    const double dv = (mean_at(s.v + step, s.e) - mean_at(s.v - step, s.e)) / (2 * step);
    std::vector<double> de(s.e.size(), 0.0);
    std::vector<double> e = s.e;
    for (std::size_t g = 0; g < e.size(); ++g) {
      e[g] = s.e[g] + step;
      const double up = mean_at(s.v, e);
      e[g] = s.e[g] - step;
      const double down = mean_at(s.v, e);
      e[g] = s.e[g];
      const double slope = (up - down) / (2 * step);
      if (std::isfinite(slope)) de[g] = slope;
    }
    return {dv, de};
  }

  // The objective's gradient in w on the sphere at s: a for validity, the
  // mean's gradient in (v, e) carried to w for the mean.
  std::vector<double> direction(const standing& s) const {
    if (o_.objective == pareto_objective::validity) return a_;
    const auto [dv, de] = mean_slopes(s);
    std::vector<double> out(at(np_), 0.0);
    for (std::size_t j = 0; j < at(np_); ++j) out[j] = dv * a_[j];
    for (std::size_t g = 0; g < de.size(); ++g) {
      if (de[g] == 0) continue;
      for (std::size_t j = 0; j < at(np_); ++j) out[j] += de[g] * d_[g][j];
    }
    return out;
  }

  // Everything about one weighting at R, by the library's analysis.
  group_weighting_outcome evaluate(std::span<const double> w) {
    ++evaluations_;
    group_weighting_outcome out;
    out.weights = scaled(w);
    group_model m;
    m.mode = o_.mode;
    m.quality = quality_basis::criterion;
    m.majority_share = p_.majority_share();
    for (std::size_t g = 0; g < p_.groups().size(); ++g) {
      const composite_statistics c = analysis::composite_statistics(p_.of_group(g), w);
      m.validity = c.validity;
      out.validity = c.validity;
      out.composite_d.push_back(c.predictor_effect);
      m.groups.push_back(
          {p_.groups()[g].name, p_.groups()[g].share, c.predictor_effect, criterion_effect_[g]});
    }
    fill(out, m);
    return out;
  }

  // The outcome, lowest ratio and minimum of a weighting whose model is m.
  void fill(group_weighting_outcome& out, const group_model& m) const {
    out.outcome = group_outcome_at(m, o_.ratio);
    out.lowest_ratio_to_highest = nan;
    if (out.outcome.solved()) {
      double low = inf;
      for (const group_rate& r : out.outcome.groups) low = std::min(low, r.ratio_to_highest);
      out.lowest_ratio_to_highest = low;
    }
    const group_minimum f = find_group_minimum(m);
    if (f.found) out.four_fifths_minimum = f.ratio;
    out.bound = nan;
    out.gap = nan;
  }

  const group_problem& problem_of() const { return p_; }

 private:
  static double dot(std::span<const double> x, std::span<const double> y) {
    double s = 0;
    for (std::size_t i = 0; i < x.size(); ++i) s += x[i] * y[i];
    return s;
  }

  const group_problem& p_;
  pareto_options o_;
  int np_ = 0;
  std::vector<double> r_, a_;
  std::vector<std::vector<double>> d_;
  std::vector<double> criterion_effect_, share_;
  double majority_share_ = nan;
  std::vector<double> all_shares_;  // the majority's, then share_
  double majority_cut_ = nan;
  double ratio_quantile_ = nan;
  mutable double last_cut_ = nan;
  std::vector<double> last_stood_;
  standing last_standing_;
  int evaluations_ = 0;
};

template <class T>
void refuse(search_result<T>& result, pareto_status status, fault f) {
  result.status = status;
  result.message = f.message;
  result.errors.push_back(std::move(f));
}

// A weighting found and its quality.
struct found {
  std::vector<double> w;
  double quality = -inf;
  double lowest = 0;
};

// The search of several groups.
class group_search {
 public:
  group_search(group_setting& s, const pareto::sphere_lp& lp) : s_(s), lp_(lp) {
    std::vector<std::vector<double>> forms;
    forms.emplace_back(s_.a().begin(), s_.a().end());
    for (int g = 0; g < s_.groups(); ++g) forms.emplace_back(s_.d(g).begin(), s_.d(g).end());
    const bool nonnegative = s_.options().signs == weight_signs::nonnegative;
    // The far end depends on the effects alone. Its search covers the
    // weightings by the effects' own values where there are fewer groups
    // than predictors (as many dimensions as groups), else by the faces of
    // a cube (one dimension fewer than the predictors: on the wide draw it
    // ends nearer the top); a level's by the cube itself, whose most
    // promising boxes, where weights of either sign are allowed, more often
    // lie on another branch of the level (each covers every weighting: the
    // choice moves no bound).
    boxes_ = pareto::sphere_search::make(s_.predictors(), s_.r(), forms, nonnegative);
    far_boxes_ = pareto::sphere_search::make(
        s_.predictors(), s_.r(), std::span<const std::vector<double>>(forms).subspan(1),
        nonnegative, pareto::sphere_cover::image);
  }

  // The highest L over the whole sphere by branch and bound
  // (sphere_search.h), its bound from lowest_upper over the boxes' effect
  // ranges: run once; its best weighting starts a climb on the far end's
  // hill, and its bound certifies the far end.
  const pareto::sphere_search_result& global_highest(double reached) {
    if (!highest_) {
      highest_.emplace();
      if (far_boxes_) {
        *highest_ = far_boxes_->maximise(
            [&](std::span<const pareto::range> r, const pareto::box_slopes& slopes) {
              // (The closer bound not sought where the box is set aside
              // anyway.)
              return s_.lowest_upper_sloped(r, slopes, reached + global_tolerance);
            },
            [&](std::span<const double> w) {
              const standing st = s_.stand(w);
              return st.solved ? st.lowest : -inf;
            },
            most_far_splits, global_tolerance, reached);
      }
    }
    return *highest_;
  }

  // The best quality whose L reaches `level`, over the whole sphere by
  // branch and bound: a box whose L is bounded below the level holds no
  // such weighting, and elsewhere the validity's range (or the mean's
  // bound, mean_upper) bounds it.
  pareto::sphere_search_result global_at(double level, double reached) {
    if (!boxes_) return {};
    const bool validity = s_.options().objective == pareto_objective::validity;
    // A box or weighting whose validity cannot pass `reached` is set aside
    // by it alone (whether or not it reaches the level, its quality bound
    // is that), before the costlier bound on L.
    return boxes_->maximise(
        [&](std::span<const pareto::range> r) {
          if (validity && r[0].hi <= reached + global_tolerance) return r[0].hi;
          if (s_.lowest_upper(r.subspan(1)) < level * (1 - level_tolerance)) return -inf;
          return validity ? r[0].hi : s_.mean_upper(r[0], r.subspan(1));
        },
        [&](std::span<const double> w) {
          if (validity) {
            if (!(s_.a_dot(w) > reached * std::sqrt(s_.norm2(w)))) return -inf;
          }
          const standing st = s_.stand(w);
          return st.solved && st.lowest >= level * (1 - level_tolerance) ? s_.quality(st) : -inf;
        },
        most_level_splits, global_tolerance, reached);
  }

  // A level no weighting's L exceeds, at least `reached` (which a
  // weighting reaches): the lower of the global search's bound and the
  // thresholds'. For the thresholds, to 1e-12: every weighting with L >= A meets the
  // bound's thresholds at A, so where no weighting of the sphere meets
  // them all no weighting reaches A or any level above it. That none does
  // is asked of the exact maximiser with an objective along no
  // constraint's direction: were the set met, the objective would have a
  // maximiser there, found among the maximiser's candidates. (Its opposite
  // adds nothing: the candidates are the points where the lines of each
  // support and set of active constraints meet the sphere, and the span
  // that gives each line is the same for an objective and its opposite.
  // The highest lowest slack is not asked: where a group's thresholds
  // from below and above balance, its maximisers form a whole set that
  // the candidates miss.) Bisected between
  // `reached` and 1; 1 when every effect can be 0 (L = 1). NaN where the
  // thresholds refuse a level that is reached, which only rounding could
  // do: then nothing is certified.
  double level_bound(double reached) {
    if (reached >= 1 - level_tolerance) return 1;
    const double near =
        thresholds_bound(reached, thresholds_ceiling(reached, proof_tolerance));
    if (near <= reached + proof_tolerance) return near;
    const double by_boxes = global_highest(reached).upper;
    // The boxes' bound, below a level reached by no more than rounding,
    // is that level; further below, it would be a fault, and is not used.
    if (!(by_boxes >= reached * (1 - level_tolerance))) return thresholds_bound(reached);
    const double boxes = std::max(by_boxes, reached);
    // (The thresholds' level sought below the boxes' bound only.)
    const double by_thresholds = thresholds_bound(
        reached, s_.options().mode == ratio_mode::overall ? std::min(1.0, boxes) : 1.0);
    return std::isnan(by_thresholds) ? boxes : std::min(by_thresholds, boxes);
  }

  // Majority mode: whether the thresholds split over the highest effect
  // M (split_thresholds) let a weighting reach `level`: the range of M,
  // [0, effect_reach()] cut at highest_effect(level), split in halves,
  // depth first, while some part's thresholds are met, down to parts of
  // 1e-13 (or 2^-60 of the range, or after most_threshold_parts parts:
  // then it is allowed, which the bound may always say). A part whose
  // thresholds are met at the finest split leaves its weighting as the
  // witness, a start for the far end's climbs.
  //
  // The parts are the same halves at every level, and a part's set only
  // shrinks as the level rises (h_A rises with A, the cut falls), so each
  // keeps the highest level at which it was met and the lowest at which it
  // was not: the bisection of thresholds_bound then asks the maximiser
  // only of the parts whose answer lies between the levels it has tried.
  template <class Met>
  bool split_allows(double level, const Met& met) {
    const double top = s_.highest_effect(level);
    if (!(top >= 0)) return false;
    const double reach = effect_reach();
    std::vector<split_part> open{{0, 0}};
    for (int count = 0; !open.empty(); ++count) {
      const split_part n = open.back();
      open.pop_back();
      const double t_a = std::ldexp(reach * static_cast<double>(n.index), -n.depth);
      if (t_a > top) continue;
      const double end = std::ldexp(reach * static_cast<double>(n.index + 1), -n.depth);
      const double t_b = std::min(end, top);
      split_known& known = split_known_[n];
      if (level >= known.refused_at) continue;
      std::optional<std::vector<pareto::linear_constraint>> t;
      if (level > known.met_at) {
        t = s_.split_thresholds(level, t_a, t_b);
        if (!t || !met(*t)) {
          known.refused_at = level;
          continue;
        }
        known.met_at = level;
      }
      if (t_b - t_a < 1e-13 || n.depth >= 60 || count >= most_threshold_parts) {
        if (!t) t = s_.split_thresholds(level, t_a, t_b);
        if (t) {
          if (auto w = lp_.maximise_lowest(*t)) witness_ = std::move(*w);
        }
        split_leaf_ = n;
        return true;
      }
      // The half toward the last part allowed first: near the level's
      // limit it is usually the way down again.
      split_part low{n.depth + 1, 2 * n.index}, high{n.depth + 1, 2 * n.index + 1};
      if (split_leaf_.depth > n.depth &&
          ((split_leaf_.index >> (split_leaf_.depth - n.depth - 1)) & 1U) != 0)
        std::swap(low, high);
      open.push_back(high);
      open.push_back(low);
    }
    return false;
  }

  // The highest composite mean any group can have, over the sphere.
  double effect_reach() {
    if (!effect_reach_) {
      effect_reach_ = 0;
      for (int g = 0; g < s_.groups(); ++g) {
        const std::span<const double> d = s_.d(g);
        if (const auto w = lp_.maximise(d, {})) {  // on the sphere: d.w is the effect
          const double e = std::inner_product(d.begin(), d.end(), w->begin(), 0.0);
          effect_reach_ = std::max(*effect_reach_, e);
        }
      }
    }
    return *effect_reach_;
  }

  // The least level, from `reached` up, at which the bound's thresholds
  // cannot all be met (see level_bound). The thresholds tighten as the
  // level rises, so that level is one number: found once, by bisection,
  // and kept (with the highest level known to be met) for later calls; or,
  // where they fail within half the proof's tolerance of the level
  // reached, that level plus the half, a bound no weighting passes either.
  //
  // Below `ceiling`, asked for, only: the lower of that level and
  // `ceiling`, found without the bisection's calls above the ceiling (a
  // caller that needs to know only whether the bound lies below a level,
  // or below a bound it has, asks no more).
  double thresholds_bound(double reached, double ceiling = 1) {
    const auto met = [&](const std::vector<pareto::linear_constraint>& t) {
      return lp_.feasible(t);
    };
    const auto allowed = [&](double level) {
      if (s_.options().mode == ratio_mode::majority && level > 0) return split_allows(level, met);
      return met(s_.thresholds(level));
    };
    if (!(reached >= 0)) return nan;
    if (thresholds_end_ && reached <= *thresholds_end_) return std::min(*thresholds_end_, ceiling);
    if (!(reached <= thresholds_met_)) {
      // (A level reached: the thresholds unsplit, which every part's
      // narrow, only guard against rounding here.)
      if (!met(s_.thresholds(reached))) return nan;
      thresholds_met_ = reached;
    }
    // Where the thresholds already fail just above the level reached (the
    // usual case where they prove the far end), that is the bound, found
    // without the bisection's forty calls.
    const double near = thresholds_met_ + proof_tolerance / 2;
    if (near < ceiling && !allowed(near)) {
      thresholds_end_ = near;
      return near;
    }
    double low = near < ceiling ? near : thresholds_met_, high = ceiling;
    if (!allowed(high)) {
      while (high - low > 1e-12) {
        const double mid = low + (high - low) / 2;
        if (mid <= low || mid >= high) break;
        (allowed(mid) ? low : high) = mid;
      }
    } else if (ceiling < 1) {
      return ceiling;
    }
    thresholds_end_ = high;
    return high;
  }

  // The ceiling up to which thresholds_bound need look, for a caller that
  // asks whether the bound lies within `margin` of `level`: in overall
  // mode twice the margin (the bisection's forty calls of the maximiser,
  // each with every group's thresholds, would find a level the caller
  // does not use); in majority mode all the way (the split thresholds'
  // bisection also leaves the far end's climbs their witness).
  double thresholds_ceiling(double level, double margin) const {
    if (s_.options().mode == ratio_mode::majority) return 1;
    return std::min(1.0, level + 2 * margin);
  }

  // The best weighting met whose L reaches `level`, starting from `start`.
  std::optional<found> at_level(double level, std::span<const double> start,
                                double reach = -1) {
    std::optional<found> best;
    std::vector<double> w(start.begin(), start.end());
    for (int step = 0; step < most_steps; ++step) {
      if (!best && step >= most_steps_short) break;
      const standing st = s_.stand(w);
      if (!st.solved) break;
      if (st.lowest >= level * (1 - level_tolerance)) {
        const double q = s_.quality(st);
        if (!best || q > best->quality) best = found{w, q, st.lowest};
        if (!roomiest_ || st.lowest > roomiest_->lowest) roomiest_ = found{w, q, st.lowest};
      }
      std::vector<std::pair<int, int>> pairs;
      std::vector<pareto::linear_constraint> constraints =
          level > 0 ? s_.linearised(st, level, false, &pairs)
                    : std::vector<pareto::linear_constraint>{};
      if (reach > -1) {
        // Each step within the angle whose cosine is `reach` (in R's
        // metric): a search that stays on the branch it starts on.
        constraints.push_back(within_angle(w, reach));
        pairs.emplace_back(-1, -1);
      }
      std::optional<std::vector<double>> next = lp_.maximise(s_.direction(st), constraints);
      if (!next) break;
      // Second-order corrections: where the step's end misses a ratio the
      // linear model promised, the model's constraint is moved by the miss
      // and the step solved again (as SQP methods correct for curvature),
      // keeping the exact maximiser's choice of support.
      for (int fix = 0; fix < 3 && level > 0; ++fix) {
        const standing there = s_.stand(*next);
        if (!there.solved || there.lowest >= level * (1 - level_tolerance)) break;
        for (std::size_t k = 0; k < constraints.size(); ++k) {
          const auto [low, high] = pairs[k];
          if (low < 0) continue;
          const double actual = portable::log(there.sr[at(low)]) -
                                portable::log(there.sr[at(high)]) - portable::log(level);
          double model = -constraints[k].b;
          for (std::size_t j = 0; j < next->size(); ++j) model += constraints[k].l[j] * (*next)[j];
          if (actual < model) constraints[k].b += model - actual;
        }
        std::optional<std::vector<double>> corrected = lp_.maximise(s_.direction(st), constraints);
        if (!corrected) break;
        next = std::move(corrected);
      }
      // A step whose end misses the level is cut back or drawn in (the
      // linearised constraints can promise a level far from where they
      // were taken).
      const bool reached = st.lowest >= level * (1 - level_tolerance);
      if (std::optional<found> kept = improved(w, reached, *next, level, best)) {
        best = kept;
        next = kept->w;
      } else if (const standing end = s_.stand(*next);
                 level > 0 && (!(end.solved && end.lowest >= level * (1 - level_tolerance)) ||
                               (reached && !(s_.quality(end) > s_.quality(st))))) {
        // Nothing better on the way: the linearisation is trusted too far.
        // The step is taken again within an angle of w (in the metric of
        // R) halved each time, as a trust region shrinks. None that helps:
        // from a w that reaches the level, w is as good as the model can
        // tell and the search ends; from one that does not, the full step
        // is taken.
        const std::vector<double> target = *next;
        if (reached) next = w;
        if (std::optional<found> kept = within_trust(
                w, reached, s_.direction(st), s_.linearised(st, level), target, level, best)) {
          best = kept;
          next = kept->w;
        }
      }
      double moved = 0;
      for (std::size_t j = 0; j < w.size(); ++j)
        moved = std::max(moved, std::fabs((*next)[j] - w[j]));
      w = *next;
      if (moved < converged) {
        const standing last = s_.stand(w);
        if (last.solved && last.lowest >= level * (1 - level_tolerance)) {
          const double q = s_.quality(last);
          if (!best || q > best->quality) best = found{w, q, last.lowest};
        }
        break;
      }
    }
    return best;
  }

  // Which end of a segment reaches the level.
  enum class end { first, second };

  // The farthest point on the segment from w (which reaches `level`) to
  // `target` that reaches it, scaled to w'Rw = 1; none when `target` itself
  // reaches it.
  std::optional<found> feasible_on_way(const std::vector<double>& w,
                                       const std::vector<double>& target, double level) {
    return crossing(w, target, end::first, level);
  }

  // The point of the segment (1 - t) a + t b nearest the end that misses
  // `level` among those that reach it, found from the end that reaches it
  // (`reaching`), scaled to w'Rw = 1; none when the other end reaches it
  // too, or no point off the reaching end does. The crossing is bracketed
  // and found by the Illinois method (regula falsi whose retained end's
  // value is halved when it is kept twice; Dowell and Jarratt, BIT 11,
  // 1971, superlinear), bisecting where a value is missing or a step
  // would leave the bracket's inner half; it ends once the bracket is
  // within 1e-15 or the reaching end is within 1e-14 of the level, in
  // about 8 evaluations where bisection alone takes 50.
  std::optional<found> crossing(const std::vector<double>& a, const std::vector<double>& b,
                                end reaching, double level) {
    const auto point = [&](double t) {
      std::vector<double> x(a.size());
      for (std::size_t j = 0; j < a.size(); ++j) x[j] = (1 - t) * a[j] + t * b[j];
      return x;
    };
    const double floor = level * (1 - level_tolerance);
    // Above or at 0 where the level is reached; NaN where unsolved.
    const auto excess = [&](const standing& st) { return st.solved ? st.lowest - floor : nan; };
    const bool first = reaching == end::first;
    const double missing_end = excess(s_.stand(first ? b : a));
    if (missing_end >= 0) return std::nullopt;
    double t_in = first ? 0.0 : 1.0;  // reaches the level
    double t_out = 1 - t_in;           // misses it
    double g_in = excess(s_.stand(first ? a : b));
    double g_out = missing_end;
    double reached_by = g_in;  // g_in before the Illinois halvings
    int moved = 0;             // which end the last step moved: +1 the missing, -1 the reaching
    for (int step = 0; step < 60 && std::fabs(t_out - t_in) > 1e-15; ++step) {
      if (reached_by >= 0 && reached_by <= 1e-14 * level) break;
      double t = t_in + (t_out - t_in) / 2;
      if (std::isfinite(g_in) && g_in >= 0 && std::isfinite(g_out) && g_out < 0) {
        const double secant = t_in + g_in / (g_in - g_out) * (t_out - t_in);
        if (std::fabs(secant - t_in) > 0 && std::fabs(t_out - secant) > 0) t = secant;
      }
      const double g = excess(s_.stand(point(t)));
      if (g >= 0) {
        t_in = t;
        g_in = reached_by = g;
        if (moved == -1) g_out /= 2;
        moved = -1;
      } else {
        t_out = t;
        g_out = g;
        if (moved == 1) g_in /= 2;
        moved = 1;
      }
    }
    if (t_in == (first ? 0.0 : 1.0)) return std::nullopt;
    std::vector<double> x = point(t_in);
    const double scale = 1 / std::sqrt(s_.norm2(x));
    for (double& v : x) v *= scale;
    const standing st = s_.stand(x);
    if (!(excess(st) >= 0)) return std::nullopt;
    return found{x, s_.quality(st), st.lowest};
  }

  // A better weighting than `best` that reaches `level` on the way of a
  // step from w to `target`: cut back along it from a w that reaches the
  // level (`reached`) or, where that is no better (from a weighting on the
  // level's boundary the chord leaves at once where the reachable set
  // bulges), the end drawn towards the weighting of highest L met at this
  // level, to the nearest point that reaches it, so that a step ending a
  // hair short is kept and the search does not leap off from there.
  std::optional<found> improved(const std::vector<double>& w, bool reached,
                                const std::vector<double>& target, double level,
                                const std::optional<found>& best) {
    // A point that does not move from w leaves the search where it is.
    const auto better = [&](const std::optional<found>& f) {
      if (!f || (best && !(f->quality > best->quality))) return false;
      double moved = 0;
      for (std::size_t j = 0; j < w.size(); ++j) moved = std::max(moved, std::fabs(f->w[j] - w[j]));
      return moved >= converged;
    };
    if (reached) {
      if (std::optional<found> kept = feasible_on_way(w, target, level); better(kept)) return kept;
    }
    if (roomiest_ && level > 0) {
      if (std::optional<found> kept = restored(target, roomiest_->w, level); better(kept))
        return kept;
    }
    return std::nullopt;
  }

  // The step from w (which reaches `level` when `reached`) solved again with its end
  // within an angle of w, w'R x >= cos(angle) |w| on the sphere, the
  // angle halved from the full step's until the end, or a point on its
  // way, is better than `best` and reaches the level.
  // Whether the relaxed maximiser's validity proves `f` the best at
  // `level` (validity only).
  bool proved(double level, const found& f) {
    if (s_.options().objective != pareto_objective::validity) return false;
    const std::optional<std::vector<double>> r = relaxed(level);
    return r && f.quality >= s_.a_dot(*r) - proof_tolerance;
  }

  // (R w / |w|).x >= reach: x within the angle of cosine `reach` of w
  // (x on the sphere).
  pareto::linear_constraint within_angle(const std::vector<double>& w, double reach) const {
    pareto::linear_constraint c{r_times(w), reach};
    const double size = std::sqrt(s_.norm2(w));
    for (double& x : c.l) x /= size;
    return c;
  }

  // R w.
  std::vector<double> r_times(const std::vector<double>& w) const {
    const auto r = s_.r();
    const std::size_t n = w.size();
    std::vector<double> out(n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = 0; j < n; ++j) out[i] += r[i * n + j] * w[j];
    }
    return out;
  }

  // A weighting that reaches `level`, from `from` (below it) through
  // levels in equal steps between, each searched from the last one's
  // weighting with its steps kept within an angle of 0.2 (cosine 0.98):
  // the level on the branch `from` is on.
  std::optional<found> followed(const found& from, double level) {
    constexpr int steps = 8;
    constexpr double reach = 0.98;
    found here = from;
    for (int k = 1; k <= steps; ++k) {
      const double sub = from.lowest + (level - from.lowest) * k / steps;
      roomiest_.reset();
      const std::optional<found> f = at_level(sub, here.w, reach);
      roomiest_.reset();
      if (!f) return std::nullopt;
      here = *f;
    }
    return here;
  }

  std::optional<found> within_trust(const std::vector<double>& w, bool reached,
                                    const std::vector<double>& c,
                                    std::vector<pareto::linear_constraint> constraints,
                                    const std::vector<double>& target, double level,
                                    const std::optional<found>& best) {
    const std::size_t n = w.size();
    pareto::linear_constraint trust{r_times(w), 0};
    const double size = std::sqrt(s_.norm2(w));
    double cosine = 0;
    for (std::size_t i = 0; i < n; ++i) cosine += trust.l[i] * target[i];
    for (double& x : trust.l) x /= size;
    // The cosine of the angle halved, cos(a/2) = sqrt((1 + cos a)/2), by
    // correctly rounded operations alone (the same bits on every build),
    // until the angle is below about 1e-8 and its cosine rounds to 1.
    double cos_angle = std::clamp(cosine / size, -1.0, 1.0);
    constraints.push_back(trust);
    for (int shrink = 0; shrink < most_shrinks && cos_angle < 1; ++shrink) {
      cos_angle = std::sqrt((1 + cos_angle) / 2);
      constraints.back().b = cos_angle;
      const std::optional<std::vector<double>> x = lp_.maximise(c, constraints);
      if (!x) break;
      const standing st = s_.stand(*x);
      if (st.solved && st.lowest >= level * (1 - level_tolerance)) {
        const double q = s_.quality(st);
        if (!best || q > best->quality) return found{*x, q, st.lowest};
      }
      if (std::optional<found> kept = improved(w, reached, *x, level, best)) return kept;
    }
    return std::nullopt;
  }

  // The point nearest `target` on the segment from it to `anchor` (which
  // reaches `level`) that reaches it, scaled to w'Rw = 1; none when
  // `target` itself reaches it.
  std::optional<found> restored(const std::vector<double>& target,
                                const std::vector<double>& anchor, double level) {
    return crossing(target, anchor, end::second, level);
  }

  // The bound's maximiser at `level` (none: no weighting reaches it).
  // (A level's start, its polish and its certificate ask for it in turn:
  // the last answer is kept.)
  std::optional<std::vector<double>> relaxed(double level) {
    if (relaxed_level_ && *relaxed_level_ == level) return relaxed_;
    const std::vector<pareto::linear_constraint> t = s_.thresholds(level);
    relaxed_ = lp_.maximise(s_.a(), t);
    relaxed_level_ = level;
    return relaxed_;
  }

  // The best weighting at `level` from every start, and from the relaxed
  // maximiser's unless the level has been searched from it already.
  std::optional<found> best_at(double level, const std::vector<std::vector<double>>& starts,
                               bool from_relaxed = true) {
    std::optional<found> best;
    std::vector<std::vector<double>> all = starts;
    if (const auto r = from_relaxed ? relaxed(level) : std::nullopt) all.push_back(*r);
    roomiest_.reset();
    for (const std::vector<double>& start : all) {
      const std::optional<found> f = at_level(level, start);
      if (f && (!best || f->quality > best->quality)) best = f;
    }
    roomiest_.reset();
    return best;
  }

  // The bound on the quality at `level`: for validity the relaxed
  // maximiser's (0 where every validity is 0) and, where that does not
  // prove `point` (and for the mean), the global search's, which may also
  // find a better weighting on another branch of the level: `point` then
  // becomes it, polished. NaN where neither certifies one. (Not for
  // validity in overall mode over boxes of more than two dimensions: there
  // the level's budget of splits leaves the relaxed bound's gap, a few
  // 1e-4, as it was, and without its restarts no point of the 400-problem
  // wide draw is beaten, while they took two thirds of such a front's
  // time. In two dimensions the boxes close the gap: most points are
  // proved.)
  double quality_bound(double level, found& point) {
    double bound = nan;
    const bool validity = s_.options().objective == pareto_objective::validity;
    // Where no predictor correlates with the criterion every weighting's
    // validity is 0: that is the bound, and every point meets it.
    if (validity && std::all_of(s_.a().begin(), s_.a().end(), [](double v) { return v == 0; }))
      return 0;
    if (const std::optional<std::vector<double>> r = validity ? relaxed(level) : std::nullopt) {
      bound = s_.a_dot(*r);
    }
    if ((validity && !(level > 0)) || point.quality >= bound - proof_tolerance) return bound;
    if (validity && s_.options().mode == ratio_mode::overall && boxes_ &&
        boxes_->dimensions() > most_overall_level_dimensions)
      return bound;
    const pareto::sphere_search_result g = global_at(level, point.quality);
    if (!g.best.empty() && g.value > point.quality) {
      found there{g.best, g.value, s_.stand(g.best).lowest};
      if (const std::optional<found> f = best_at(level, {g.best}, false);
          f && f->quality > there.quality)
        there = *f;
      there = finished(there, level);
      if (there.quality > point.quality) point = there;
    }
    // The boxes the search left most promising may hold another branch of
    // the level that no centre reached: the level searched from each (the
    // point was searched from the relaxed maximiser already).
    if (const std::optional<found> f = best_at(level, g.leads, false);
        f && f->quality > point.quality) {
      const found there = finished(*f, level);
      if (there.quality > point.quality) point = there;
    }
    if (g.upper < inf && g.upper >= point.quality - proof_tolerance)
      bound = std::isnan(bound) ? g.upper : std::min(bound, g.upper);
    return bound;
  }

  // A weighting that reaches `level`, from `from` (below it) through
  // levels in equal steps between, each searched from the last one's
  // weighting, so that every step stays near where it is linearised.
  std::optional<found> continued(const found& from, double level) {
    constexpr int steps = 8;
    found here = from;
    for (int k = 1; k <= steps; ++k) {
      const double sub = from.lowest + (level - from.lowest) * k / steps;
      roomiest_.reset();
      const std::optional<found> f = at_level(sub, here.w);
      roomiest_.reset();
      if (!f) return std::nullopt;
      here = *f;
    }
    return here;
  }

  // The weighting with the highest L met by sequential linearisation of
  // the groups' log ratios, the lowest of them maximised exactly on the
  // sphere at each step (sphere_lp::maximise_lowest), from a start; kept
  // among the hills' tops.
  found highest_from(std::span<const double> start) {
    found best{std::vector<double>(start.begin(), start.end()), -inf, -inf};
    std::vector<double> w = best.w;
    for (int step = 0; step < most_steps; ++step) {
      const standing st = s_.stand(w);
      if (!st.solved) break;
      const double q = s_.quality(st);
      if (st.lowest > best.lowest || (st.lowest == best.lowest && q > best.quality))
        best = found{w, q, st.lowest};
      const std::optional<std::vector<double>> target =
          lp_.maximise_lowest(s_.linearised(st, 1.0, true));
      if (!target) break;
      // The linearised ratios can promise more than they give (past the
      // point where another group's rate becomes the highest): the step is
      // the best true L on the way, by golden section.
      const std::vector<double> next = best_on_way(w, *target, st.lowest);
      double moved = 0;
      for (std::size_t j = 0; j < w.size(); ++j) moved = std::max(moved, std::fabs(next[j] - w[j]));
      w = next;
      if (moved < converged) break;
    }
    hill_top(best);
    return best;
  }

  // Bisection on the level between `from`'s L and `ceiling`, each level
  // searched from the last weighting that reached one; a level the bound
  // refuses is not searched. The first level tried is the one a step of
  // the bisection's resolution above `from`: where the climbs ended at a
  // top no level above it is reached, and each search that finds nothing
  // costs as much as a whole climb (on a 6 x 4 front, thirty of them made
  // half its time).
  found bisect(const found& from, double ceiling) {
    constexpr double resolution = 1e-11;
    found lo = from;
    double lo_level = from.lowest;
    double hi_level = std::min(1.0, ceiling);
    if (hi_level - lo_level > resolution) {
      const double step = lo_level + resolution;
      const std::optional<found> f = relaxed(step) ? best_at(step, {lo.w}) : std::nullopt;
      if (!f) return lo;
      lo = *f;
      lo_level = std::max(step, f->lowest);
    }
    while (hi_level - lo_level > resolution) {
      const double mid = lo_level + (hi_level - lo_level) / 2;
      const std::optional<found> f = relaxed(mid) ? best_at(mid, {lo.w}) : std::nullopt;
      if (f) {
        lo = *f;
        lo_level = std::max(mid, f->lowest);
      } else {
        hi_level = mid;
      }
    }
    return lo;
  }

  // The point of highest L on the segment from w (whose L is `here`) to
  // `target`, scaled to w'Rw = 1: `target` itself when it is no worse.
  std::vector<double> best_on_way(const std::vector<double>& w, const std::vector<double>& target,
                                  double here) {
    const auto point = [&](double t) {
      std::vector<double> x(w.size());
      for (std::size_t j = 0; j < w.size(); ++j) x[j] = (1 - t) * w[j] + t * target[j];
      return x;
    };
    const auto lowest = [&](double t) {
      const standing st = s_.stand(point(t));
      return st.solved ? st.lowest : -inf;
    };
    if (lowest(1) >= here) return target;
    constexpr double golden = 0.6180339887498949;
    double lo = 0;
    double hi = 1;
    double t1 = hi - golden * (hi - lo);
    double t2 = lo + golden * (hi - lo);
    double f1 = lowest(t1);
    double f2 = lowest(t2);
    for (int step = 0; step < 60 && hi - lo > 1e-15; ++step) {
      if (f1 < f2) {
        lo = t1;
        t1 = t2;
        f1 = f2;
        t2 = lo + golden * (hi - lo);
        f2 = lowest(t2);
      } else {
        hi = t2;
        t2 = t1;
        f2 = f1;
        t1 = hi - golden * (hi - lo);
        f1 = lowest(t1);
      }
    }
    const double t = f1 >= f2 ? t1 : t2;
    if (std::max(f1, f2) <= here) return w;
    std::vector<double> x = point(t);
    const double scale = 1 / std::sqrt(s_.norm2(x));
    for (double& v : x) v *= scale;
    return x;
  }

  // The maximiser meets the equations d_g.w = 0 only to its tolerance
  // (1e-11), which leaves L that far below 1: the weighting is moved onto
  // them exactly, by the least change of its non-zero weights (w - D
  // lambda, D'D lambda = D'w over those weights; zeros stay zero). Unchanged
  // where the effects on its support are dependent or a weight would change
  // sign.
  std::vector<double> on_parity(std::vector<double> w) const {
    std::vector<int> support;
    for (int j = 0; j < s_.predictors(); ++j) {
      if (w[at(j)] != 0) support.push_back(j);
    }
    const int g = s_.groups();
    std::vector<double> normal(at(g) * at(g), 0.0);
    std::vector<double> rhs(at(g), 0.0);
    for (int i = 0; i < g; ++i) {
      for (const int j : support) {
        rhs[at(i)] += s_.d(i)[at(j)] * w[at(j)];
        for (int k = 0; k < g; ++k) normal[at(i * g + k)] += s_.d(i)[at(j)] * s_.d(k)[at(j)];
      }
    }
    if (!pareto::gauss_solve(normal, rhs, g)) return w;
    std::vector<double> moved = w;
    for (const int j : support) {
      for (int i = 0; i < g; ++i) moved[at(j)] -= s_.d(i)[at(j)] * rhs[at(i)];
      if (std::signbit(moved[at(j)]) != std::signbit(w[at(j)])) return w;
    }
    return moved;
  }

  // Starts on other hills than the quality end's: each predictor alone
  // and, where weights may be negative, against it, and the unit weights,
  // those that stand highest first. (Stable: starts that stand equally
  // high keep their order, whatever the standard library's sort does with
  // ties.)
  std::vector<std::vector<double>> other_starts() {
    const int n = s_.predictors();
    const bool any_sign = s_.options().signs == weight_signs::any;
    std::vector<std::pair<double, std::vector<double>>> others;
    const auto consider = [&](std::vector<double> w) {
      const standing st = s_.stand(w);
      if (st.solved) others.emplace_back(st.lowest, std::move(w));
    };
    for (int j = 0; j < n; ++j) {
      for (const double sign : {1.0, -1.0}) {
        if (sign < 0 && !any_sign) continue;
        std::vector<double> alone(at(n), 0.0);
        alone[at(j)] = sign;
        consider(std::move(alone));
      }
    }
    consider(std::vector<double>(at(n), 1.0));
    std::stable_sort(others.begin(), others.end(),
                     [](const auto& x, const auto& y) { return x.first > y.first; });
    std::vector<std::vector<double>> starts;
    starts.reserve(others.size());
    for (auto& o : others) starts.push_back(std::move(o.second));
    return starts;
  }

  // The weighting with the highest L, from the quality end and from the
  // weighting with the highest lowest composite mean of any minority
  // group (exact on the sphere); then the best quality at that level.
  // Searched once and kept.
  found highest(const found& first) {
    if (!far_end_) far_end_ = climbed(first);
    return *far_end_;
  }

  found climbed(const found& first) {
    // A lowest ratio of 1 is every group's composite mean at the
    // majority's: the linear equations d_g.w = 0, whose best weighting is
    // found exactly.
    std::vector<pareto::linear_constraint> parity;
    for (int g = 0; g < s_.groups(); ++g) {
      const std::span<const double> d = s_.d(g);
      parity.push_back({std::vector<double>(d.begin(), d.end()), 0});
      parity.push_back({std::vector<double>(d.size()), 0});
      for (std::size_t j = 0; j < d.size(); ++j) parity.back().l[j] = -d[j];
    }
    // (Where every validity is 0 the objective tells no weighting from
    // another and the maximiser has no line to follow: other objectives,
    // the unit weights and each predictor either way, find the equations'
    // weightings then.)
    std::optional<std::vector<double>> even = lp_.maximise(s_.a(), parity);
    const auto size = at(s_.predictors());
    for (std::size_t j = 0; !even && j <= 2 * size; ++j) {
      std::vector<double> c(size, j == 2 * size ? 1.0 : 0.0);
      if (j < 2 * size) c[j / 2] = j % 2 == 0 ? 1.0 : -1.0;
      even = lp_.maximise(c, parity);
    }
    if (even) even = on_parity(*even);
    if (const auto& w = even) {
      const standing st = s_.stand(*w);
      if (st.solved && st.lowest >= 1 - level_tolerance) {
        found at_parity{*w, s_.quality(st), st.lowest};
        if (s_.options().objective == pareto_objective::mean) {
          if (const std::optional<found> f = best_at(st.lowest, {*w}); f) at_parity = *f;
        }
        return at_parity;
      }
    }
    std::vector<std::vector<double>> starts{first.w};
    std::vector<pareto::linear_constraint> effects;
    for (int g = 0; g < s_.groups(); ++g) {
      const std::span<const double> d = s_.d(g);
      effects.push_back({std::vector<double>(d.begin(), d.end()), 0});
    }
    if (const auto w = lp_.maximise_lowest(effects)) starts.push_back(*w);
    found best = first;
    const auto climb = [&](std::span<const double> start) {
      const found f = highest_from(start);
      if (f.lowest > best.lowest) best = f;
    };
    for (const std::vector<double>& start : starts) climb(start);
    const auto thresholds_prove = [&] {
      return thresholds_bound(best.lowest, thresholds_ceiling(best.lowest, proof_tolerance)) <=
             best.lowest + proof_tolerance;
    };
    // Where the thresholds do not prove the best climbed, the global
    // search: a weighting it finds above that, and the centres of the boxes
    // it left most promising, start more climbs (on the far end's own
    // hill, where the climbs above missed it).
    if (!thresholds_prove()) {
      const pareto::sphere_search_result& g = global_highest(best.lowest);
      std::vector<std::vector<double>> leads = g.leads;
      if (!g.best.empty()) leads.insert(leads.begin(), g.best);
      // The weighting the split thresholds left at the highest level they
      // allow (majority mode), near the top of the far end's hill.
      if (witness_) leads.insert(leads.begin(), *witness_);
      for (const std::vector<double>& lead : leads) climb(lead);
      // Where neither bound proves the best, more climbs start on other
      // hills, from each predictor alone and, where weights may be
      // negative, against it, and the unit weights, the highest first.
      // (Where one proves it, none can end more than the proof's tolerance
      // above it: on the 6-predictor, 4-group benchmark front they took a
      // fifth of its time.)
      if (!(g.upper <= best.lowest + proof_tolerance) && !thresholds_prove()) {
        for (std::vector<double>& start : other_starts()) climb(start);
      }
    }
    // Where the linearised ratios cannot tell a way up (groups alike make
    // the step's maximiser a whole set of weightings), a bisection on the
    // level, each level searched as the front's points are.
    // So too where the climbs end short of the global search's bound: at a
    // point where several ratios tie for the lowest the climb's steps
    // shrink before they reach the top, and the level search, polished by
    // Newton's method, carries it on.
    if (!(best.lowest > first.lowest) ||
        (highest_ && !(highest_->upper <= best.lowest + proof_tolerance))) {
      const found bisected = bisect(best, highest_ ? highest_->upper : 1.0);
      if (bisected.lowest > best.lowest) best = bisected;
    }
    // Where the search's bound still stands above it, the top is polished
    // by Newton's method; so too where only the thresholds' bound is
    // within the proof's tolerance (a climb ends up to 1e-9 short of the
    // top that the bound allows).
    if ((highest_ && !(highest_->upper <= best.lowest + proof_tolerance)) ||
        !(thresholds_bound(best.lowest, thresholds_ceiling(best.lowest, 1e-12)) <=
          best.lowest + 1e-12)) {
      const found top = topped(best);
      if (top.lowest > best.lowest) best = top;
    }
    if (const std::optional<found> better = best_at(best.lowest, {best.w});
        better && better->quality > best.quality) {
      best = *better;
    }
    return best;
  }

  // `f` bettered, where the bound does not prove it, by the level
  // searched from the top of every hill that reaches it on another branch.
  // Every branch of a level's weightings (a connected part of those whose
  // L reaches it) holds a top of L, so the level is searched on every
  // branch whose top a climb of the far end's search found, a branch that
  // exists only near its top included (the searches from the front's
  // points, on other branches, do not reach it).
  void from_tops(std::optional<found>& f, double level) {
    for (const found& top : tops_) {
      if (!(top.lowest >= level * (1 - level_tolerance))) continue;
      if (f && (proved(level, *f) || s_.correlation(f->w, top.w) > same_branch)) continue;
      if (const std::optional<found> there = best_at(level, {top.w}, false);
          there && (!f || there->quality > f->quality))
        f = there;
    }
  }

  // The top of L polished. There the lowest pairs' log ratios tie, and L
  // near `from` is highest where one of them, f_0, is highest with the
  // others held equal to it: Newton's method on those conditions
  // (kkt_newton.h, constraints f_i - f_0 = 0). Its multipliers are the
  // max-min's: L is at a top where mu_i = lambda_i and mu_0 = 1 - sum
  // lambda_i are all at least 0, so a pair whose mu is below 0 leaves
  // (f_0's place taken by the pair of highest mu), a pair that falls below
  // the tie joins, and a weight that reaches 0 is fixed there, as in the
  // level's polish. Only a weighting of higher L is kept.
  found topped(const found& from) {
    const bool nonnegative = s_.options().signs == weight_signs::nonnegative;
    std::vector<double> w = from.w;
    std::vector<bool> free(w.size(), true);
    if (nonnegative) {
      for (std::size_t j = 0; j < w.size(); ++j) {
        if (!(w[j] > 0)) {
          free[j] = false;
          w[j] = 0;
        }
      }
    }
    const measured start = measure(w, from.lowest);
    if (!start.ok) return from;
    // The nearest pairs first, each while it is independent of those
    // taken (pairs (k, t), (k, u), (j, t) fix (j, u)) and the free weights
    // leave it a direction.
    std::vector<int> near;
    for (std::size_t p = 0; p < start.c.size(); ++p) {
      if (is_pair(p) && start.c[p] <= near_tie) near.push_back(static_cast<int>(p));
    }
    std::stable_sort(near.begin(), near.end(),
                     [&](int x, int y) { return start.c[at(x)] < start.c[at(y)]; });
    std::vector<int> pairs;  // pairs[0] is f_0
    for (const int p : near) {
      if (joins(pairs, p, free)) pairs.push_back(p);
    }
    found best = from;
    for (int round = 0; round < most_rounds && !pairs.empty(); ++round) {
      const pareto::kkt_end end = tie_newton(w, free, pairs);
      if (!end.ok) break;
      w = end.w;
      const standing st = s_.stand(w);
      if (!st.solved) break;
      const bool rose = st.lowest > best.lowest;
      if (rose) best = found{w, s_.quality(st), st.lowest};
      if (end.stopped_at >= 0) {
        free[at(end.stopped_at)] = false;
        w[at(end.stopped_at)] = 0;
        continue;
      }
      // A pair whose log ratio fell below the tie's joins it, and where
      // L fell with it (the steps rose along the tie past where another
      // pair crossed it), the search goes on from the best weighting met.
      const measured there = measure(w, 1);
      if (!there.ok) break;
      const double tie = there.c[at(pairs[0])];
      int worst = -1;
      for (std::size_t p = 0; p < there.c.size(); ++p) {
        if (!is_pair(p) ||
            std::find(pairs.begin(), pairs.end(), static_cast<int>(p)) != pairs.end())
          continue;
        if (there.c[p] < tie - level_tolerance && (worst < 0 || there.c[p] < there.c[at(worst)]))
          worst = static_cast<int>(p);
      }
      if (worst >= 0) {
        if (!joins(pairs, worst, free)) break;
        pairs.push_back(worst);
        if (!rose) w = best.w;
        continue;
      }
      std::vector<double> mu{1};
      for (const double l : end.lambda) {
        mu.push_back(l);
        mu[0] -= l;
      }
      const auto lowest_mu = std::min_element(mu.begin(), mu.end());
      if (!(*lowest_mu < -1e-10)) break;
      const auto leaving = lowest_mu - mu.begin();
      if (leaving == 0) {
        const auto highest_mu = std::max_element(mu.begin() + 1, mu.end()) - mu.begin();
        std::swap(pairs[0], pairs[at(static_cast<int>(highest_mu))]);
        std::swap(mu[0], mu[at(static_cast<int>(highest_mu))]);
        pairs.erase(pairs.begin() + highest_mu);
      } else {
        pairs.erase(pairs.begin() + leaving);
      }
    }
    return best;
  }

  // The polish: the sequential linearisation finds where the front is, but
  // it carries no curvature of the constraints and crawls where fewer of
  // them are active than the sphere has directions. From its point,
  // Newton's method on the level's optimality conditions (kkt_newton.h)
  // with the active pairs' log ratios log sr_k - log sr_t - log A as the
  // equations, their gradients exact (gradients above). The active set
  // then changes as an active-set method's does (Nocedal & Wright, section
  // 16.5): a weight that reaches 0 is fixed at 0, a pair that falls below
  // the level is added, one with a negative multiplier is dropped, and a
  // weight at 0 whose increase would raise the Lagrangian is freed. A
  // weighting is kept only when it reaches the level and is better than
  // the search's, so the polish can only improve a point.
  // The point at `level` polished, unless its validity already meets the
  // bound there.
  found finished(const found& f, double level) {
    if (s_.options().objective == pareto_objective::validity) {
      if (const std::optional<std::vector<double>> r = relaxed(level)) {
        const double bound = s_.a_dot(*r);
        if (f.quality >= bound - proof_tolerance) return f;
      }
    }
    std::optional<found> p = polished(f, level);
    return p ? *p : f;
  }

  std::optional<found> polished(const found& from, double level) {
    const bool constrained = level > 0;
    const bool nonnegative = s_.options().signs == weight_signs::nonnegative;
    const std::size_t n = from.w.size();
    std::vector<double> w = from.w;
    std::vector<bool> free(n, true);
    if (nonnegative) {
      for (std::size_t j = 0; j < n; ++j) {
        if (!(w[j] > 0)) {
          free[j] = false;
          w[j] = 0;
        }
      }
    }
    const measured start = measure(w, level);
    if (!start.ok) return std::nullopt;
    // The pairs near the level start in the active set, nearest first, each
    // where it is independent of those before and leaves the sphere a
    // direction (several groups tied at the top make more pairs near the
    // level than independent equations: Newton's system would be singular).
    std::vector<int> pairs;
    if (constrained) {
      std::vector<int> near;
      for (std::size_t p = 0; p < start.c.size(); ++p) {
        if (is_pair(p) && start.c[p] <= near_active) near.push_back(static_cast<int>(p));
      }
      std::stable_sort(near.begin(), near.end(),
                       [&](int x, int y) { return start.c[at(x)] < start.c[at(y)]; });
      for (const int p : near) {
        if (joins(pairs, p, free, false)) pairs.push_back(p);
      }
    }
    std::optional<found> best;
    double best_quality = from.quality;
    for (int round = 0; round < most_rounds; ++round) {
      const pareto::kkt_end end = newton(w, free, pairs, level);
      if (!end.ok) break;
      w = end.w;
      const measured there = measure(w, level);
      if (!there.ok) break;
      if (there.lowest >= level * (1 - level_tolerance) && there.q > best_quality) {
        best_quality = there.q;
        best = found{w, there.q, there.lowest};
      }
      if (end.stopped_at >= 0) {
        free[at(end.stopped_at)] = false;
        w[at(end.stopped_at)] = 0;
        continue;
      }
      // The pair furthest below the level joins the active set.
      int worst = -1;
      for (std::size_t p = 0; constrained && p < there.c.size(); ++p) {
        if (!is_pair(p) ||
            std::find(pairs.begin(), pairs.end(), static_cast<int>(p)) != pairs.end())
          continue;
        if (there.c[p] < -level_tolerance && (worst < 0 || there.c[p] < there.c[at(worst)]))
          worst = static_cast<int>(p);
      }
      if (worst >= 0 && joins(pairs, worst, free, false)) {
        pairs.push_back(worst);
        continue;
      }
      // The pair with the most negative multiplier leaves it.
      int drop = -1;
      for (std::size_t i = 0; i < end.lambda.size(); ++i) {
        if (end.lambda[i] < -1e-10 && (drop < 0 || end.lambda[i] < end.lambda[at(drop)]))
          drop = static_cast<int>(i);
      }
      if (drop >= 0) {
        pairs.erase(pairs.begin() + drop);
        continue;
      }
      // A weight at 0 that would raise the Lagrangian is freed.
      if (nonnegative) {
        const int j = rising_weight(w, free, pairs, end.lambda, level);
        if (j >= 0) {
          free[at(j)] = true;
          continue;
        }
      }
      break;
    }
    return best;
  }

 private:
  // A weighting's quality and every pair's log ratio above the level,
  // c[k (G + 1) + t] = log sr_k - log sr_t - log A (the majority is 0).
  struct measured {
    bool ok = false;
    double q = -inf;
    double lowest = 0;
    std::vector<double> c;
  };

  std::optional<pareto::sphere_search> boxes_;
  std::optional<pareto::sphere_search> far_boxes_;
  double thresholds_met_ = -1;            // the highest level the thresholds are known to allow
  std::optional<double> thresholds_end_;  // where they stop allowing it (thresholds_bound)
  std::optional<pareto::sphere_search_result> highest_;
  // The ends of the far end's climbs, one per branch (composites
  // correlating above same_branch are one): from_tops.
  std::vector<found> tops_;
  std::optional<found> far_end_;  // highest's, searched once
  std::optional<double> effect_reach_;
  // The halves of split_allows: the part [i, i + 1] * reach / 2^depth.
  struct split_part {
    int depth;
    std::uint64_t index;
    bool operator<(const split_part& o) const {
      return depth != o.depth ? depth < o.depth : index < o.index;
    }
  };
  struct split_known {
    double met_at = -inf;     // the highest level at which it was met
    double refused_at = inf;  // the lowest at which it was not
  };
  std::map<split_part, split_known> split_known_;
  split_part split_leaf_{0, 0};  // the last part split_allows allowed
  // The weighting of the finest part of split thresholds last met.
  std::optional<std::vector<double>> witness_;

  // Keeps a climb's end among the tops: a higher one on the same branch
  // replaces it.
  void hill_top(const found& f) {
    const auto same = std::find_if(tops_.begin(), tops_.end(), [&](const found& t) {
      return s_.correlation(t.w, f.w) > same_branch;
    });
    if (same == tops_.end()) {
      tops_.push_back(f);
    } else if (f.lowest > same->lowest) {
      *same = f;
    }
  }

  measured measure(std::span<const double> w, double level) {
    measured out;
    const standing st = s_.stand(w);
    if (!st.solved) return out;
    const std::size_t g = st.sr.size();
    const double log_level = level > 0 ? portable::log(level) : 0;
    out.c.assign(g * g, 0.0);
    for (std::size_t k = 0; k < g; ++k) {
      if (!(st.sr[k] > 0)) return out;
      for (std::size_t t = 0; t < g; ++t) {
        if (t != k)
          out.c[k * g + t] = portable::log(st.sr[k]) - portable::log(st.sr[t]) - log_level;
      }
    }
    out.q = s_.quality(st);
    out.lowest = st.lowest;
    out.ok = std::isfinite(out.q);
    return out;
  }

  bool is_pair(std::size_t p) const {
    const auto g = at(s_.groups() + 1);
    return p / g != p % g;
  }

  // The quality and the active pairs' values at w, or none.
  std::optional<std::vector<double>> values(std::span<const double> w,
                                            const std::vector<int>& pairs, double level) {
    const measured m = measure(w, level);
    if (!m.ok) return std::nullopt;
    std::vector<double> out{m.q};
    for (const int p : pairs) out.push_back(m.c[at(p)]);
    return out;
  }

  // The quality and the active pairs' values at w with their gradients
  // in w, or none.
  std::optional<pareto::values_and_gradients> derivatives(std::span<const double> w,
                                                          const std::vector<int>& pairs,
                                                          double level) {
    const standing st = s_.stand(w);
    if (!st.solved) return std::nullopt;
    const double q = s_.quality(st);
    if (!std::isfinite(q)) return std::nullopt;
    const auto g = at(s_.groups() + 1);
    const double log_level = level > 0 ? portable::log(level) : 0;
    std::vector<double> f{q};
    for (const int p : pairs) {
      const double low = st.sr[at(p) / g];
      const double high = st.sr[at(p) % g];
      if (!(low > 0 && high > 0)) return std::nullopt;
      f.push_back(portable::log(low) - portable::log(high) - log_level);
    }
    return pareto::values_and_gradients{std::move(f), s_.gradients(w, st, pairs)};
  }

  // Newton's steps on the level's optimality conditions with the free
  // weights and the active pairs fixed (kkt_newton.h).
  pareto::kkt_end newton(const std::vector<double>& w, const std::vector<bool>& free,
                         const std::vector<int>& pairs, double level) {
    pareto::kkt_problem k;
    k.r = s_.r();
    k.free = free;
    k.nonnegative = s_.options().signs == weight_signs::nonnegative;
    k.constraints = pairs.size();
    k.values = [&](std::span<const double> x) { return values(x, pairs, level); };
    k.derivatives = [&](std::span<const double> x) { return derivatives(x, pairs, level); };
    return pareto::kkt_newton(k, w, most_newton_steps);
  }

  // Whether pair p may join `pairs`: its log ratio is not a sum of theirs
  // (e_k - e_t independent of their vectors, by elimination), and the free
  // weights leave a direction for every equation (the sphere takes one).
  // At the top one pair is the objective and the others equations on it
  // (`objective_pair`); at a level every pair is an equation.
  bool joins(const std::vector<int>& pairs, int p, const std::vector<bool>& free,
             bool objective_pair = true) const {
    const auto g = at(s_.groups() + 1);
    const auto directions = static_cast<std::size_t>(std::count(free.begin(), free.end(), true));
    if (pairs.size() + (objective_pair ? 1 : 2) > directions) return false;
    std::vector<std::vector<double>> rows;
    rows.reserve(pairs.size() + 1);
    for (const int q : pairs) rows.push_back(difference(q));
    rows.push_back(difference(p));
    for (std::size_t r = 0, column = 0; r < rows.size() && column < g; ++column) {
      std::size_t pivot = r;
      for (std::size_t i = r; i < rows.size(); ++i) {
        if (std::fabs(rows[i][column]) > std::fabs(rows[pivot][column])) pivot = i;
      }
      if (std::fabs(rows[pivot][column]) < 0.5) continue;  // entries are 0 or +-1 before scaling
      std::swap(rows[r], rows[pivot]);
      for (std::size_t i = r + 1; i < rows.size(); ++i) {
        const double f = rows[i][column] / rows[r][column];
        for (std::size_t c = 0; c < g; ++c) rows[i][c] -= f * rows[r][c];
      }
      ++r;
      if (r == rows.size()) return true;
    }
    return false;
  }

  // e_k - e_t for pair k (G + 1) + t.
  std::vector<double> difference(int p) const {
    const auto g = at(s_.groups() + 1);
    std::vector<double> e(g, 0.0);
    e[at(p) / g] = 1;
    e[at(p) % g] = -1;
    return e;
  }

  // Newton's steps on the top's conditions: f_0 = pairs[0]'s log ratio
  // the objective, f_i - f_0 = 0 the equations.
  pareto::kkt_end tie_newton(const std::vector<double>& w, const std::vector<bool>& free,
                             const std::vector<int>& pairs) {
    pareto::kkt_problem k;
    k.r = s_.r();
    k.free = free;
    k.nonnegative = s_.options().signs == weight_signs::nonnegative;
    k.constraints = pairs.size() - 1;
    k.values = [&](std::span<const double> x) -> std::optional<std::vector<double>> {
      const measured m = measure(x, 0);
      if (!m.ok) return std::nullopt;
      std::vector<double> out{m.c[at(pairs[0])]};
      for (std::size_t i = 1; i < pairs.size(); ++i) out.push_back(m.c[at(pairs[i])] - out[0]);
      return out;
    };
    k.derivatives = [&](std::span<const double> x) -> std::optional<pareto::values_and_gradients> {
      const std::optional<pareto::values_and_gradients> f = derivatives(x, pairs, 0);
      if (!f) return std::nullopt;
      pareto::values_and_gradients out;
      out.values.push_back(f->values[1]);
      out.gradients.push_back(f->gradients[1]);
      for (std::size_t i = 2; i < f->values.size(); ++i) {
        out.values.push_back(f->values[i] - f->values[1]);
        std::vector<double> g = f->gradients[i];
        for (std::size_t j = 0; j < g.size(); ++j) g[j] -= f->gradients[1][j];
        out.gradients.push_back(std::move(g));
      }
      return out;
    };
    return pareto::kkt_newton(k, w, most_newton_steps);
  }

  // The weight at 0 whose increase raises the Lagrangian q + lambda'c the
  // most (by central differences), or -1.
  int rising_weight(const std::vector<double>& w, const std::vector<bool>& free,
                    const std::vector<int>& pairs, const std::vector<double>& lambda,
                    double level) {
    constexpr double h = 1e-5;
    const auto lagrangian = [&](const std::vector<double>& x) {
      const std::optional<std::vector<double>> f = values(x, pairs, level);
      if (!f) return nan;
      double sum = (*f)[0];
      for (std::size_t p = 0; p < pairs.size() && p < lambda.size(); ++p)
        sum += lambda[p] * (*f)[p + 1];
      return sum;
    };
    int best = -1;
    double steepest = 1e-8;
    for (std::size_t j = 0; j < w.size(); ++j) {
      if (free[j]) continue;
      std::vector<double> up = w;
      std::vector<double> down = w;
      up[j] = h;
      down[j] = -h;
      const double slope = (lagrangian(up) - lagrangian(down)) / (2 * h);
      if (slope > steepest) {
        steepest = slope;
        best = static_cast<int>(j);
      }
    }
    return best;
  }

  group_setting& s_;
  pareto::sphere_lp_searcher lp_;
  // The weighting of highest L met while best_at searches one level.
  std::optional<found> roomiest_;
  // The last level the bound was asked for, and its maximiser.
  std::optional<double> relaxed_level_;
  std::optional<std::vector<double>> relaxed_;
};

pareto::sign_constraint signs_of(weight_signs s) {
  return s == weight_signs::any ? pareto::sign_constraint::any
                                : pareto::sign_constraint::nonnegative;
}

// The one-group problem of a group problem with one group, with its share
// as the applicant mix.
std::optional<problem> one_group_problem(const group_problem& p) {
  problem_spec s = p.of_group(0).spec();
  s.minority_share = p.groups()[0].share;
  problem_result built = make_problem(std::move(s));
  if (!built.value) return std::nullopt;
  return std::move(*built.value);
}

// A one-group outcome carried to the groups' form.
group_weighting_outcome from_one_group(const group_setting& s, const group_problem& p,
                                       const weighting_outcome& w) {
  group_weighting_outcome out;
  out.weights = w.weights;
  out.validity = w.validity;
  out.composite_d = {w.composite_d};
  group_model m;
  m.mode = s.options().mode;
  m.quality = quality_basis::criterion;
  m.validity = w.validity;
  m.majority_share = p.majority_share();
  const std::vector<double> unit(at(s.predictors()), 1.0);
  m.groups.push_back({p.groups()[0].name, p.groups()[0].share, w.composite_d,
                      analysis::composite_statistics(p.of_group(0), unit).criterion_effect});
  s.fill(out, m);
  return out;
}

template <class T, class U>
void copy_status(search_result<T>& to, const search_result<U>& from) {
  to.status = from.status;
  to.errors = from.errors;
  to.warnings = from.warnings;
  to.message = from.message;
  to.evaluations = from.evaluations;
  to.stretches = from.stretches;
}

// Marks a point of quality `quality` with its bound.
void certify(group_weighting_outcome& w, double bound, double quality) {
  if (std::isnan(bound)) return;
  // A bound below the weighting's own quality bounds nothing: the point
  // carries none, and no proof.
  if (bound < quality - proof_tolerance) return;
  w.bound = bound;
  w.gap = std::max(0.0, bound - quality);
  w.proved_optimal = w.gap <= proof_tolerance;
}

group_pareto_result one_group_front(group_setting& s, const group_problem& p,
                                    const pareto_options& o) {
  group_pareto_result result;
  const std::optional<problem> one = one_group_problem(p);
  if (!one) {
    refuse(result, pareto_status::bad_options, fault{"groups", "the group's problem is not valid"});
    return result;
  }
  const pareto_result r = find_pareto_front(*one, o);
  copy_status(result, r);
  if (!r.value) return result;
  group_pareto_front front;
  front.options = o;
  for (const weighting_outcome& w : r.value->points) {
    group_weighting_outcome g = from_one_group(s, p, w);
    if (o.objective == pareto_objective::validity) certify(g, w.validity, w.validity);
    if (o.objective == pareto_objective::mean) g.proved_optimal = true;
    front.points.push_back(std::move(g));
  }
  front.unit = from_one_group(s, p, r.value->unit);
  front.regression = from_one_group(s, p, r.value->regression);
  if (r.value->given) front.given = from_one_group(s, p, *r.value->given);
  front.proved_optimal = true;
  if (!front.points.empty()) {
    front.highest_level_bound = front.points.back().lowest_ratio_to_highest;
  }
  result.value = std::move(front);
  return result;
}

template <class T>
std::optional<pareto::sphere_lp> start(group_setting& s, search_result<T>& result) {
  if (auto refusal = s.check()) {
    refuse(result, refusal->first, std::move(refusal->second));
    return std::nullopt;
  }
  s.prepare();
  try {
    return pareto::sphere_lp(s.predictors(), s.r(), signs_of(s.options().signs));
  } catch (const std::invalid_argument& e) {
    refuse(result, pareto_status::not_positive_definite,
           fault{"correlations",
                 std::string("the predictors' correlations do not allow a front: ") + e.what()});
    return std::nullopt;
  }
}

// The regression weights: the unconstrained best validity; where no
// predictor correlates with the criterion, every weighting is as good and
// the unit weights stand for them (as for one group).
std::vector<double> regression_weights(const group_setting& s) {
  const pareto::sphere_lp any(s.predictors(), s.r(), pareto::sign_constraint::any);
  if (std::optional<std::vector<double>> w = any.maximise(s.a(), {})) return *std::move(w);
  return std::vector<double>(at(s.predictors()), 1.0);
}

// The weighting of the highest validity under the signs; where every
// weighting has the same (no predictor correlates with the criterion), the
// first predictor alone, from which the front's far end is searched.
std::vector<double> top_weighting(const pareto::sphere_lp& lp, const group_setting& s) {
  if (std::optional<std::vector<double>> w = lp.maximise(s.a(), {})) return *std::move(w);
  std::vector<double> first(at(s.predictors()), 0.0);
  first[0] = 1;
  return first;
}

}  // namespace

namespace {

// The best weighting found at each level in `levels` (rising, the first 0:
// the quality end), each searched from the point before; a level beyond
// the far end's gets the far end. With `bounds`, each level's bound too,
// its point searched over the whole sphere where the bound does not prove
// it; otherwise NaN.
std::vector<found> points_at(group_setting& s, group_search& search, const found& first,
                             const found& last, std::span<const double> levels,
                             std::vector<double>* bounds) {
  std::vector<found> points{search.finished(first, 0)};
  for (std::size_t k = 1; k < levels.size(); ++k) {
    const double level = levels[k];
    if (!(level < last.lowest)) {
      points.push_back(search.finished(last, last.lowest));
      continue;
    }
    std::optional<found> f = search.best_at(level, {points.back().w});
    // The linearisation's steps go to its model's best, which can lie on
    // another branch: the level is also followed up from the point
    // before in small steps that stay on its branch.
    // (Not where the bound proves the point found, nor where that point
    // is on the point before's branch: the steps would stay where it is.)
    if (const std::optional<found> on =
            f && (search.proved(level, *f) || s.correlation(f->w, points.back().w) > same_branch)
                ? std::nullopt
                : search.followed(points.back(), level);
        on && (!f || on->quality > f->quality)) {
      f = on;
      if (const std::optional<found> b = search.best_at(level, {on->w}, false);
          b && b->quality > f->quality)
        f = b;
    }
    // Near the top of the last point's branch (a front that bends the
    // wrong way) the steps from the point overshoot a level the branch
    // still reaches: the level approached from the point in small steps.
    if (!f) {
      if (const std::optional<found> near = search.continued(points.back(), level))
        f = search.best_at(level, {near->w});
    }
    // The far end reaches every level: a search from it where the
    // others found nothing.
    if (!f) f = search.best_at(level, {last.w});
    // The level searched from the top of every other hill that reaches
    // it: a branch that exists only near its top.
    search.from_tops(f, level);
    points.push_back(f ? search.finished(*f, level) : last);
  }
  // Where the front changes branch between two points, the later branch
  // may be the better at the earlier level too (it reaches it): the
  // earlier level searched again from the later point, going back.
  for (std::size_t k = points.size() - 1; k-- > 1;) {
    if (s.correlation(points[k].w, points[k + 1].w) > same_branch) continue;
    if (const std::optional<found> f = search.best_at(levels[k], {points[k + 1].w}, false);
        f && f->quality > points[k].quality) {
      const found there = search.finished(*f, levels[k]);
      if (there.quality > points[k].quality) points[k] = there;
    }
  }
  if (bounds != nullptr) {
    bounds->assign(points.size(), nan);
    for (std::size_t k = 0; k < points.size(); ++k)
      (*bounds)[k] = search.quality_bound(levels[k], points[k]);
  }
  // Whatever reaches a higher level reaches a lower one: a point no better
  // than one further on is that one (a front of one quality is one point).
  for (std::size_t k = points.size() - 1; k-- > 0;) {
    if (points[k + 1].quality >= points[k].quality) points[k] = points[k + 1];
  }
  return points;
}

// The search's start: the quality end and the far end, or why there are
// none (in `result`).
template <class R>
std::optional<std::pair<found, found>> ends(group_setting& s, group_search& search,
                                            const pareto::sphere_lp& lp, R& result) {
  // The quality end: the best of all weightings (validity: exact).
  const std::vector<double> top_validity = top_weighting(lp, s);
  std::optional<found> first = search.at_level(0, top_validity);
  if (!first) {
    refuse(result, pareto_status::bad_options,
           fault{"ratio", "no weighting has a cut score at this selection ratio"});
    return std::nullopt;
  }
  const found last = search.highest(*first);
  return std::pair{*first, last};
}

}  // namespace

group_pareto_result find_group_pareto_front(const group_problem& p, const pareto_options& options) {
  group_pareto_result result;
  group_setting s(p, options);
  if (p.groups().size() == 1) {
    if (auto refusal = s.check()) {
      refuse(result, refusal->first, std::move(refusal->second));
      return result;
    }
    s.prepare();
    return one_group_front(s, p, options);
  }
  const std::optional<pareto::sphere_lp> lp = start(s, result);
  if (!lp) return result;
  group_search search(s, *lp);
  const std::optional<std::pair<found, found>> e = ends(s, search, *lp, result);
  if (!e) return result;
  const auto& [first, last] = *e;
  const int n = options.points;
  std::vector<double> levels{0};
  if (last.lowest > first.lowest) {
    for (int k = 1; k < n - 1; ++k)
      levels.push_back(first.lowest + (last.lowest - first.lowest) * k / (n - 1));
    levels.push_back(last.lowest);
  }
  std::vector<double> bounds;
  const std::vector<found> points = points_at(s, search, first, last, levels, &bounds);
  group_pareto_front front;
  front.options = options;
  front.proved_optimal = true;
  std::vector<std::vector<double>> listed;
  double reached = -inf;
  for (std::size_t k = 0; k < points.size(); ++k) {
    // Each weighting once, however often the levels reach it; and none
    // that an earlier point beats (qualities fall from point to point, so
    // one that reaches no higher than an earlier one is beaten by it).
    if (std::find(listed.begin(), listed.end(), points[k].w) != listed.end()) continue;
    if (k > 0 && points[k].lowest <= reached) continue;
    reached = std::max(reached, points[k].lowest);
    listed.push_back(points[k].w);
    group_weighting_outcome w = s.evaluate(points[k].w);
    certify(w, bounds[k], points[k].quality);
    front.proved_optimal = front.proved_optimal && w.proved_optimal;
    front.points.push_back(std::move(w));
  }
  front.unit = s.evaluate(std::vector<double>(at(s.predictors()), 1.0));
  front.regression = s.evaluate(regression_weights(s));
  if (!p.base().spec().regression_weights)
    front.given = s.evaluate(p.base().spec().predictor_weights);
  result.status = pareto_status::found;
  const int proved = static_cast<int>(
      std::count_if(front.points.begin(), front.points.end(),
                    [](const group_weighting_outcome& w) { return w.proved_optimal; }));
  front.highest_level_bound = search.level_bound(front.points.back().lowest_ratio_to_highest);
  result.message = "searched by sequential linearisation on the exact sphere maximiser, " +
                   std::to_string(front.points.size()) + " points, " + std::to_string(proved) +
                   " proved optimal";
  result.evaluations = s.evaluations();
  result.value = std::move(front);
  return result;
}

group_levels_result best_group_weightings_at_levels(const group_problem& p,
                                                    const pareto_options& options,
                                                    std::span<const double> levels) {
  group_levels_result result;
  for (std::size_t k = 0; k < levels.size(); ++k) {
    if (!std::isfinite(levels[k]) || (k > 0 && levels[k] < levels[k - 1])) {
      refuse(result, pareto_status::bad_options,
             fault{"levels", "must be finite numbers that do not fall"});
      return result;
    }
  }
  std::vector<group_weighting_outcome> answers;
  if (p.groups().size() == 1) {
    for (const double level : levels) {
      group_min_ai_result r = best_group_weighting_for_min_ai(p, options, level);
      if (!r.value) {
        result.status = r.status;
        result.errors = std::move(r.errors);
        return result;
      }
      answers.push_back(std::move(*r.value));
    }
  } else {
    group_setting s(p, options);
    const std::optional<pareto::sphere_lp> lp = start(s, result);
    if (!lp) return result;
    group_search search(s, *lp);
    const std::optional<std::pair<found, found>> e = ends(s, search, *lp, result);
    if (!e) return result;
    std::vector<double> asked{0};
    asked.insert(asked.end(), levels.begin(), levels.end());
    const std::vector<found> points = points_at(s, search, e->first, e->second, asked, nullptr);
    for (std::size_t k = 1; k < points.size(); ++k) {
      group_weighting_outcome w = s.evaluate(points[k].w);
      w.bound = nan;
      w.gap = nan;
      answers.push_back(std::move(w));
    }
    result.evaluations = s.evaluations();
  }
  result.status = pareto_status::found;
  result.value = std::move(answers);
  return result;
}

namespace {

// The weighting on the way from `w` to `clear` (which reaches `level`)
// nearest `w` that reaches it: where `w` meets the level only to the
// search's tolerance, the least move that makes it reach the level
// exactly. The ratios need not rise steadily on the way, so the first
// reaching step of a doubling one is found, then bisected back.
group_weighting_outcome lifted(group_setting& s, const std::vector<double>& w,
                               const std::vector<double>& clear, double level) {
  const auto on_way = [&](double t) {
    std::vector<double> u(w.size());
    for (std::size_t j = 0; j < w.size(); ++j) u[j] = (1 - t) * w[j] + t * clear[j];
    return s.evaluate(u);
  };
  double low = 0, high = 1e-12;
  group_weighting_outcome reached = on_way(high);
  while (!(reached.lowest_ratio_to_highest >= level) && high < 1) {
    low = high;
    high = std::min(1.0, 2 * high);
    reached = on_way(high);
  }
  for (int k = 0; k < 60 && high - low > 1e-15 * high; ++k) {
    const double mid = (low + high) / 2;
    group_weighting_outcome there = on_way(mid);
    if (there.lowest_ratio_to_highest >= level) {
      high = mid;
      reached = std::move(there);
    } else {
      low = mid;
    }
  }
  return reached;
}

}  // namespace

group_min_ai_result best_group_weighting_for_min_ai(const group_problem& p,
                                                    const pareto_options& options, double min_ai) {
  group_min_ai_result result;
  group_setting s(p, options);
  if (!std::isfinite(min_ai)) {
    refuse(result, pareto_status::bad_options,
           fault{"min_ai", "the impact ratio must be a number"});
    return result;
  }
  if (p.groups().size() == 1) {
    if (auto refusal = s.check()) {
      refuse(result, refusal->first, std::move(refusal->second));
      return result;
    }
    s.prepare();
    const std::optional<problem> one = one_group_problem(p);
    if (!one) {
      refuse(result, pareto_status::bad_options,
             fault{"groups", "the group's problem is not valid"});
      return result;
    }
    const min_ai_result r = best_weighting_for_min_ai(*one, options, min_ai);
    copy_status(result, r);
    if (r.value) {
      group_weighting_outcome g = from_one_group(s, p, *r.value);
      if (r.status == pareto_status::found) {
        if (options.objective == pareto_objective::validity)
          certify(g, r.value->validity, r.value->validity);
        g.proved_optimal = true;
      }
      result.value = std::move(g);
    }
    return result;
  }
  const std::optional<pareto::sphere_lp> lp = start(s, result);
  if (!lp) return result;
  group_search search(s, *lp);
  const std::vector<double> top_validity = top_weighting(*lp, s);
  std::optional<found> first = search.at_level(0, top_validity);
  if (!first) {
    refuse(result, pareto_status::bad_options,
           fault{"ratio", "no weighting has a cut score at this selection ratio"});
    return result;
  }
  std::optional<found> best;
  double level = min_ai;
  if (first->lowest >= min_ai) {
    best = first;
    level = 0;
  } else {
    // Levels up to the ratio walked from the quality end as the front's
    // points are found (each from the last, where the branch the walk is
    // on may end and another overtake it), and the ratio searched from
    // every weighting the walk found: the best of them.
    constexpr int walk = 10;
    std::vector<std::vector<double>> starts{first->w};
    found at = *first;
    // Each step, and the ratio, also followed up on the walk's branch, as
    // the front's levels are.
    const auto on_branch = [&](std::optional<found>& f, const found& from, double level) {
      if (f && search.proved(level, *f)) return;
      if (const std::optional<found> on = search.followed(from, level);
          on && (!f || on->quality > f->quality))
        f = on;
    };
    for (int k = 1; k < walk; ++k) {
      const double step = first->lowest + (min_ai - first->lowest) * k / walk;
      std::optional<found> f = search.best_at(step, {at.w});
      on_branch(f, at, step);
      if (!f) f = search.continued(at, step);
      if (!f) break;
      at = *f;
      starts.push_back(at.w);
    }
    best = search.best_at(min_ai, starts);
    on_branch(best, at, min_ai);
    // The ratio searched from the top of every hill that reaches it too
    // (a branch that exists only near its top, beyond the walk's), unless
    // the bound proves the answer: the far end's climbs find the tops.
    if (!best || !search.proved(min_ai, *best)) {
      search.highest(*first);
      search.from_tops(best, min_ai);
    }
    if (!best) {
      const found last = search.highest(*first);
      if (last.lowest >= min_ai * (1 - level_tolerance)) {
        best = search.best_at(min_ai, {last.w});
        if (!best) best = last;
      } else {
        result.status = pareto_status::unreachable;
        result.value = s.evaluate(last.w);
        result.highest_level_bound = search.level_bound(result.value->lowest_ratio_to_highest);
        result.evaluations = s.evaluations();
        result.message = "no weighting found reaches the ratio; the highest found is written";
        return result;
      }
    }
  }
  best = search.finished(*best, level);
  const double bound = search.quality_bound(level, *best);
  group_weighting_outcome w = s.evaluate(best->w);
  // The search meets a level to a relative 1e-12; the answer must reach
  // the ratio asked for itself, or say that it cannot.
  if (!(w.lowest_ratio_to_highest >= min_ai) && level > 0) {
    // Asked again a little higher, the search meets the ratio itself.
    const double higher = min_ai * (1 + 1e-10);
    if (const std::optional<found> again = search.best_at(higher, {best->w})) {
      group_weighting_outcome there = s.evaluate(search.finished(*again, higher).w);
      if (there.lowest_ratio_to_highest >= min_ai) w = std::move(there);
    }
  }
  if (!(w.lowest_ratio_to_highest >= min_ai)) {
    const found last = search.highest(*first);
    const group_weighting_outcome far = s.evaluate(last.w);
    if (!(far.lowest_ratio_to_highest >= min_ai)) {
      result.status = pareto_status::unreachable;
      result.value = far;
      result.highest_level_bound = search.level_bound(far.lowest_ratio_to_highest);
      result.evaluations = s.evaluations();
      result.message = "no weighting found reaches the ratio; the highest found is written";
      return result;
    }
    w = lifted(s, best->w, last.w, min_ai);
  }
  certify(w, bound, s.quality(s.stand(w.weights)));
  result.status = pareto_status::found;
  result.value = std::move(w);
  result.evaluations = s.evaluations();
  result.message = "searched by sequential linearisation on the exact sphere maximiser";
  return result;
}

}  // namespace fourfifths
