// The front of validity against composite effect size.
//
// Why the search is complete. Scale w so that w'Rw = 1 and write
// u = R^{1/2} w: u runs over the unit sphere within a convex cone K (the
// image of w >= 0, or everything), and (v, e) = M u for a 2 x n matrix M.
// A front point lies in the relative interior of one face F of K, the set
// of weightings with a given support; within F the map is smooth.
//  * If (a_j, d_j), j in F, span the plane and |F| >= 3, the image of the
//    sphere in F is a filled ellipse, covered from inside near each of its
//    boundary points; a front point is such a point (elsewhere the map is
//    open) and its outward normal c is >= 0 (otherwise a point just inside
//    gains in both). If some predictor outside F could raise c.(v, e) to
//    first order, a small step into it would gain in both; so the point
//    satisfies the KKT conditions of max c.u over the sphere within K, with
//    value c.p > 0. A ratio of a positive linear form to a norm is
//    pseudoconcave there, so it is the global maximiser (Mangasarian,
//    Nonlinear Programming, 1969): a point of the traced stretch for that c.
//  * |F| = 2: the image is a curve, the pair's curve.
//  * |F| = 1: a single predictor, an end of some pair's curve.
//  * (a_j, d_j), j in F, collinear with the origin (|F| >= 3): the image is
//    a segment of that line, spanned by one path between the extreme
//    weightings of the group.
// Every candidate is a feasible weighting, so the best candidate with
// effect >= e is exactly the best weighting with effect >= e. The traced
// stretch for s in [0, 1] covers the front where the mixes (1-s)v + s e have
// a positive maximum; where it covers the whole front no other candidate is
// needed.
//
// Measured accuracy (tests/pareto and checks beside them): validity at a
// given effect agrees with a dense two-predictor scan refined by bisection
// to 4e-15, with the closed form of the unconstrained front to 9e-15 (away
// from the impact end, where the front turns vertical and the closed form
// itself loses half its digits); the ends of the published four-predictor
// example agree with mpmath to 1e-16. No random weighting (10^6 a problem,
// 3 to 6 predictors; 2 x 10^4 a problem for 600 problems of 2 to 30
// predictors, including near-singular correlation matrices) beat the front
// by more than 1e-9.
#include "pareto/frontier.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <string>

#include "pareto/box_qp.h"

namespace pareto {

namespace {

using detail::curve;

// Effects closer than this are one effect when stretches are joined, and a
// request this far above the impact end still gets it.
constexpr double effect_tolerance = 1e-12;

std::size_t at(int i) { return static_cast<std::size_t>(i); }

double dot(std::span<const double> x, std::span<const double> y) {
  double s = 0;
  for (std::size_t i = 0; i < x.size(); ++i) s += x[i] * y[i];
  return s;
}

// x'Ry for a row-major n*n matrix.
double form(std::span<const double> r, int n, std::span<const double> x,
            std::span<const double> y) {
  double s = 0;
  for (std::size_t i = 0; i < at(n); ++i) {
    if (x[i] == 0) continue;
    double row = 0;
    for (std::size_t j = 0; j < at(n); ++j) row += r[i * at(n) + j] * y[j];
    s += x[i] * row;
  }
  return s;
}

double validity_at(const curve& c, double t) {
  return (c.a0 + c.a1 * t) / std::sqrt(c.q0 + t * (2 * c.q1 + t * c.q2));
}

double effect_at(const curve& c, double t) {
  return (c.d0 + c.d1 * t) / std::sqrt(c.q0 + t * (2 * c.q1 + t * c.q2));
}

// The interior turning point of X(t)/sqrt(Q(t)) with X = x0 + x1 t: the
// derivative's sign is that of (x1 q0 - x0 q1) + (x1 q1 - x0 q2) t, linear,
// so there is at most one.
std::optional<double> turning_point(const curve& c, double x0, double x1) {
  const double k0 = x1 * c.q0 - x0 * c.q1;
  const double k1 = x1 * c.q1 - x0 * c.q2;
  if (k1 == 0) return std::nullopt;
  const double t = -k0 / k1;
  if (!(t > c.t_lo && t < c.t_hi)) return std::nullopt;
  return t;
}

// The best point so far of a search: highest validity, then highest effect.
struct candidate {
  const curve* on = nullptr;
  double t = 0;
  double validity = -std::numeric_limits<double>::infinity();
  double effect = -std::numeric_limits<double>::infinity();

  void offer(const curve& c, double tt, double v, double e) {
    if (v > validity || (v == validity && e > effect)) {
      on = &c;
      t = tt;
      validity = v;
      effect = e;
    }
  }
};

// Offers the highest-validity point of `c` whose effect is at least e (less
// a rounding allowance of 1e-12): an end of the curve or a crossing of e
// (at most two: D(t)^2 = e^2 Q(t) is a quadratic). The best weighting with
// effect >= e is a front point; were it inside a curve with effect above e,
// validity would have a turning point there, and such a point is not on
// the front: along a traced stretch validity falls throughout, on a pair
// a step into a predictor that raises validity would gain in both (and
// if none does, the point is the quality end), and a group's path stays
// within the extremes of its segment, which are its ends.
void best_on(const curve& c, double e, candidate& best) {
  const double floor = e - effect_tolerance * std::max(1.0, std::abs(e));
  const auto try_point = [&](double t) {
    const double et = effect_at(c, t);
    if (et >= floor) best.offer(c, t, validity_at(c, t), et);
  };
  try_point(c.t_lo);
  if (c.t_hi == c.t_lo) return;
  try_point(c.t_hi);
  // Crossings: D(t)^2 = e^2 Q(t) with D(t) of the sign of e.
  const double e2 = e * e;
  const double qa = c.d1 * c.d1 - e2 * c.q2;
  const double qb = c.d0 * c.d1 - e2 * c.q1;
  const double qc = c.d0 * c.d0 - e2 * c.q0;
  double disc = qb * qb - qa * qc;
  if (disc < 0) {
    // A tangency rounded to a small negative value is a double root.
    if (disc < -1e-12 * (qb * qb + std::abs(qa * qc))) return;
    disc = 0;
  }
  const double qq = -(qb + std::copysign(std::sqrt(disc), qb));
  const double span = c.t_hi - c.t_lo;
  const auto try_root = [&](double t) {
    const double slack = 1e-12 * (std::abs(t) + span);
    if (!(t >= c.t_lo - slack && t <= c.t_hi + slack)) return;
    t = std::clamp(t, c.t_lo, c.t_hi);
    const double dt = c.d0 + c.d1 * t;
    if (e != 0 && (dt > 0) != (e > 0)) return;  // the root of the other sign
    try_point(t);
  };
  if (qa != 0) try_root(qq / qa);
  if (qq != 0) try_root(qc / qq);
}

void check_inputs(int n, std::span<const double> r, std::span<const double> a,
                  std::span<const double> d) {
  if (n < 1) throw std::invalid_argument("pareto: at least one predictor is needed");
  const std::size_t size = at(n);
  if (r.size() != size * size || a.size() != size || d.size() != size)
    throw std::invalid_argument("pareto: r must have n*n entries, a and d n each");
  const auto finite = [](double x) { return std::isfinite(x); };
  if (!std::all_of(r.begin(), r.end(), finite) || !std::all_of(a.begin(), a.end(), finite) ||
      !std::all_of(d.begin(), d.end(), finite))
    throw std::invalid_argument("pareto: every input must be finite");
  for (std::size_t i = 0; i < size; ++i) {
    if (!(r[i * size + i] > 0))
      throw std::invalid_argument("pareto: r is not positive definite (diagonal " +
                                  std::to_string(i + 1) + ")");
  }
  for (std::size_t i = 0; i < size; ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      const double scale = std::sqrt(r[i * size + i] * r[j * size + j]);
      if (std::abs(r[i * size + j] - r[j * size + i]) > 1e-10 * scale)
        throw std::invalid_argument("pareto: r is not symmetric");
    }
  }
}

}  // namespace

frontier::frontier(int n, std::span<const double> r, std::span<const double> a,
                   std::span<const double> d, sign_constraint signs)
    : n_(n), signs_(signs) {
  check_inputs(n, r, a, d);
  const std::size_t size = at(n);
  r_.assign(r.begin(), r.end());
  a_.assign(a.begin(), a.end());
  d_.assign(d.begin(), d.end());
  for (std::size_t i = 0; i < size; ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      const double mean = 0.5 * (r_[i * size + j] + r_[j * size + i]);
      r_[i * size + j] = mean;
      r_[j * size + i] = mean;
    }
  }
  // Unit variances: w~ = D w with D = diag(sqrt r_jj) leaves v and e as
  // they are; for a correlation matrix every factor is exactly 1.
  unscale_.resize(size);
  for (std::size_t j = 0; j < size; ++j) unscale_[j] = 1 / std::sqrt(r_[j * size + j]);
  rs_.resize(size * size);
  as_.resize(size);
  ds_.resize(size);
  for (std::size_t i = 0; i < size; ++i) {
    as_[i] = a_[i] * unscale_[i];
    ds_[i] = d_[i] * unscale_[i];
    for (std::size_t j = 0; j < size; ++j)
      rs_[i * size + j] = i == j ? 1.0 : r_[i * size + j] * unscale_[i] * unscale_[j];
  }
  std::vector<int> all(size);
  std::iota(all.begin(), all.end(), 0);
  detail::cholesky whole;
  if (!whole.factor(rs_, n, all)) throw std::invalid_argument("pareto: r is not positive definite");
  if (signs == sign_constraint::nonnegative) {
    build_nonnegative();
  } else {
    build_any();
  }
}

weighting frontier::make_weighting(std::span<const double> scaled_w) const {
  const std::size_t size = at(n_);
  weighting out;
  out.weights.resize(size);
  double sum = 0;
  double absolute = 0;
  for (std::size_t j = 0; j < size; ++j) {
    double w = scaled_w[j] * unscale_[j];
    if (signs_ == sign_constraint::nonnegative) w = std::max(w, 0.0);  // rounding only
    out.weights[j] = w;
    sum += w;
    absolute += std::abs(w);
  }
  const double divisor = sum > 0 && sum >= 1e-9 * absolute ? sum : absolute;
  for (double& w : out.weights) w /= divisor;
  const double norm = std::sqrt(form(r_, n_, out.weights, out.weights));
  out.validity = dot(a_, out.weights) / norm;
  out.effect = dot(d_, out.weights) / norm;
  return out;
}

weighting frontier::from_curve(const curve& c, double t) const {
  const std::size_t size = at(n_);
  std::vector<double> w(size, 0.0);
  if (c.first >= 0) {
    w[at(c.first)] = 1 - t;
    w[at(c.second)] = t;
  } else {
    const std::span<const double> p(pool_.data() + c.stored, size);
    const std::span<const double> q(pool_.data() + c.stored + size, size);
    for (std::size_t j = 0; j < size; ++j) w[j] = p[j] + t * q[j];
  }
  return make_weighting(w);
}

frontier::curve frontier::add_stored(std::span<const double> p, std::span<const double> q,
                                     double t_lo, double t_hi) {
  curve c;
  c.stored = pool_.size();
  pool_.insert(pool_.end(), p.begin(), p.end());
  pool_.insert(pool_.end(), q.begin(), q.end());
  c.t_lo = t_lo;
  c.t_hi = t_hi;
  c.a0 = dot(as_, p);
  c.a1 = dot(as_, q);
  c.d0 = dot(ds_, p);
  c.d1 = dot(ds_, q);
  c.q0 = form(rs_, n_, p, p);
  c.q1 = form(rs_, n_, p, q);
  c.q2 = form(rs_, n_, q, q);
  // A stretch along which the weights only change scale (it runs into
  // w = 0) is one point: keep the end away from zero.
  if (c.q2 == 0 || c.q0 * c.q2 - c.q1 * c.q1 <= 1e-13 * c.q0 * c.q2) {
    const auto q_at = [&](double t) { return c.q0 + t * (2 * c.q1 + t * c.q2); };
    const double t = q_at(t_lo) >= q_at(t_hi) ? t_lo : t_hi;
    c.t_lo = t;
    c.t_hi = t;
  }
  finish_curve(c);
  return c;
}

void frontier::add_arc(std::span<const double> from, std::span<const double> to,
                       std::vector<curve>& out) {
  const std::size_t size = at(n_);
  const double n_from = std::sqrt(form(rs_, n_, from, from));
  const double n_to = std::sqrt(form(rs_, n_, to, to));
  std::vector<double> u(size), v(size), q(size);
  for (std::size_t j = 0; j < size; ++j) {
    u[j] = n_from > 0 ? from[j] / n_from : 0.0;
    v[j] = n_to > 0 ? to[j] / n_to : 0.0;
  }
  if (n_from == 0 || n_to == 0) {
    // One end is w = 0: the weights kept their direction, a single point.
    out.push_back(add_stored(n_from > 0 ? u : v, q, 0, 0));
    return;
  }
  const double cosine = std::clamp(form(rs_, n_, u, v), -1.0, 1.0);
  if (cosine >= 0) {
    for (std::size_t j = 0; j < size; ++j) q[j] = v[j] - u[j];
    out.push_back(add_stored(u, q, 0, 1));
    return;
  }
  // Wider than a right angle: through the middle direction, so that no
  // chord passes near w = 0, where validity and effect lose their digits.
  std::vector<double> normal(size), middle(size);
  for (std::size_t j = 0; j < size; ++j) normal[j] = v[j] - cosine * u[j];
  const double n_normal = std::sqrt(form(rs_, n_, normal, normal));
  const double half = 0.5 * std::acos(cosine);
  for (std::size_t j = 0; j < size; ++j)
    middle[j] = std::cos(half) * u[j] + std::sin(half) * normal[j] / n_normal;
  for (std::size_t j = 0; j < size; ++j) q[j] = middle[j] - u[j];
  out.push_back(add_stored(u, q, 0, 1));
  for (std::size_t j = 0; j < size; ++j) q[j] = v[j] - middle[j];
  out.push_back(add_stored(middle, q, 0, 1));
}

void frontier::finish_curve(curve& c) const {
  c.effect_lo = effect_at(c, c.t_lo);
  c.effect_hi = effect_at(c, c.t_hi);
  c.validity_max = std::max(validity_at(c, c.t_lo), validity_at(c, c.t_hi));
  if (const auto t = turning_point(c, c.a0, c.a1))
    c.validity_max = std::max(c.validity_max, validity_at(c, *t));
  c.effect_max = std::max(c.effect_lo, c.effect_hi);
  if (const auto t = turning_point(c, c.d0, c.d1))
    c.effect_max = std::max(c.effect_max, effect_at(c, *t));
}

namespace {

// The problem scaled to unit variances, and the pieces of its traced
// stretch: on [s_from, s_to] the predictors in `active` carry
// w(s) = x + s z, the rest zero.
struct problem {
  int n;
  std::span<const double> r, a, d;
};

struct traced_piece {
  double s_from, s_to;
  std::vector<int> active;
  std::vector<double> x, z;  // full length n
};

// The critical line: the solutions w(s) of
//   min 1/2 w'Rw - c(s).w,  w >= 0,  c(s) = a + s (d - a),  s in [0, 1],
// piece by piece. Between breakpoints the free set S is fixed and
// w_S(s) = R_SS^-1 c_S(s) is affine in s; a piece ends where a free weight
// reaches 0 or the multiplier c_k - (Rw)_k of a zero weight reaches 0. At
// each breakpoint the free set for the next piece is read off the
// derivative QP (free where w > 0, >= 0 where both the weight and its
// multiplier vanish, fixed at 0 elsewhere), so several simultaneous events
// are resolved exactly rather than one at a time.
std::vector<traced_piece> trace(const problem& pr) {
  const std::size_t size = at(pr.n);
  std::vector<double> b(size);
  for (std::size_t j = 0; j < size; ++j) b[j] = pr.d[j] - pr.a[j];
  std::vector<int> all(size);
  std::iota(all.begin(), all.end(), 0);
  const std::vector<char> all_bounded(size, 1);
  std::vector<double> w = detail::solve_box_qp(pr.r, pr.n, all, pr.a, all_bounded).z;
  // The sizes of the terms that make up each weight (|x_j| + s |z_j| on a
  // piece): a weight or multiplier is zero when it is small against the
  // terms it was computed from, not against its own size.
  std::vector<double> w_terms(size);
  for (std::size_t j = 0; j < size; ++j) w_terms[j] = std::abs(w[j]);

  std::vector<traced_piece> pieces;
  detail::cholesky chol;
  double s = 0;
  const std::size_t limit = 1000 + 100 * size;
  for (std::size_t step = 0;; ++step) {
    if (step > limit) throw std::runtime_error("pareto: the trace of the front did not end");
    // Classify at s: positive weights, degenerate ones, strictly held at 0.
    const double w_scale = *std::max_element(w_terms.begin(), w_terms.end());
    std::vector<int> positive, degenerate;
    std::vector<char> in_degenerate(size, 0);
    for (std::size_t k = 0; k < size; ++k) {
      if (w[k] > 1e-12 * w_scale) {
        positive.push_back(static_cast<int>(k));
        continue;
      }
      const double c = pr.a[k] + s * b[k];
      double g = c;
      double g_size = std::abs(pr.a[k]) + s * std::abs(b[k]);
      for (std::size_t i = 0; i < size; ++i) {
        g -= pr.r[k * size + i] * w[i];
        g_size += std::abs(pr.r[k * size + i]) * w_terms[i];
      }
      if (g >= -1e-12 * g_size) {
        degenerate.push_back(static_cast<int>(k));
        in_degenerate[k] = 1;
      }
    }
    std::vector<int> joint = positive;
    joint.insert(joint.end(), degenerate.begin(), degenerate.end());
    std::vector<char> bounded(joint.size(), 0);
    std::vector<double> q(joint.size());
    for (std::size_t i = 0; i < joint.size(); ++i) {
      bounded[i] = i >= positive.size() ? 1 : 0;
      q[i] = b[at(joint[i])];
    }
    const detail::box_qp_solution derivative = detail::solve_box_qp(pr.r, pr.n, joint, q, bounded);
    std::vector<int> active = positive;
    for (std::size_t i = positive.size(); i < joint.size(); ++i) {
      if (derivative.free[i] != 0 && derivative.z[i] > 0) active.push_back(joint[i]);
    }
    std::sort(active.begin(), active.end());

    // The piece: x_S and z_S from one factorisation.
    std::vector<double> xs(active.size()), zs(active.size());
    for (std::size_t i = 0; i < active.size(); ++i) {
      xs[i] = pr.a[at(active[i])];
      zs[i] = b[at(active[i])];
    }
    if (!chol.factor(pr.r, pr.n, active))
      throw std::runtime_error("pareto: a principal submatrix is not positive definite");
    chol.solve(xs);
    chol.solve(zs);
    traced_piece current{s, 1, active, std::vector<double>(size, 0.0),
                         std::vector<double>(size, 0.0)};
    for (std::size_t i = 0; i < active.size(); ++i) {
      current.x[at(active[i])] = xs[i];
      current.z[at(active[i])] = zs[i];
    }

    // The next event. Events of the degenerate variables at s itself were
    // settled by the derivative QP.
    double next = 1;
    std::ptrdiff_t leaving = -1;
    const double settled = s + 1e-12;
    std::vector<char> in_active(size, 0);
    for (const int j : active) in_active[at(j)] = 1;
    for (std::size_t j = 0; j < size; ++j) {
      double root = 0;
      if (in_active[j] != 0) {
        if (!(current.z[j] < 0)) continue;
        root = -current.x[j] / current.z[j];
      } else {
        double gamma = pr.a[j];
        double eta = b[j];
        for (std::size_t i = 0; i < size; ++i) {
          gamma -= pr.r[j * size + i] * current.x[i];
          eta -= pr.r[j * size + i] * current.z[i];
        }
        if (!(eta > 0)) continue;
        root = -gamma / eta;
      }
      if (in_degenerate[j] != 0 && root <= settled) continue;
      root = std::max(root, s);
      if (root < next) {
        next = root;
        leaving = in_active[j] != 0 ? static_cast<std::ptrdiff_t>(j) : -1;
      }
    }
    current.s_to = next;
    if (!active.empty() && next > s) pieces.push_back(current);
    if (next >= 1) break;
    for (std::size_t j = 0; j < size; ++j) {
      w[j] = std::max(0.0, current.x[j] + next * current.z[j]);
      w_terms[j] = std::abs(current.x[j]) + next * std::abs(current.z[j]);
    }
    if (leaving >= 0) w[static_cast<std::size_t>(leaving)] = 0;
    s = next;
  }
  return pieces;
}

// The weighting w >= 0 supported on `on` with the highest c.w/sqrt(w'Rw)
// (R with unit diagonal); among ties, the highest c2.w/sqrt(w'Rw) if c2 is
// given. A positive maximum is the QP solution; otherwise every weight with
// a negative c_j only lowers the ratio, and when all are negative the
// best is a single predictor, since sqrt(w'Rw) < sum w_j for any mix.
std::vector<double> best_ratio(const problem& pr, std::span<const double> c,
                               std::span<const double> c2, std::span<const int> on) {
  const std::size_t size = at(pr.n);
  std::vector<double> w(size, 0.0);
  double top = -std::numeric_limits<double>::infinity();
  double magnitude = 0;
  for (const int j : on) {
    top = std::max(top, c[at(j)]);
    magnitude = std::max(magnitude, std::abs(c[at(j)]));
  }
  if (top > 0) {
    std::vector<double> q;
    for (const int j : on) q.push_back(c[at(j)] / magnitude);
    const std::vector<char> bounded(on.size(), 1);
    const detail::box_qp_solution sol = detail::solve_box_qp(pr.r, pr.n, on, q, bounded);
    for (std::size_t i = 0; i < on.size(); ++i) w[at(on[i])] = sol.z[i];
    return w;
  }
  std::vector<int> tied;
  for (const int j : on) {
    if (c[at(j)] == top) tied.push_back(j);
  }
  if (top == 0 && !c2.empty() && tied.size() > 1) return best_ratio(pr, c2, {}, tied);
  int pick = tied.front();
  if (!c2.empty()) {
    for (const int j : tied) {
      if (c2[at(j)] > c2[at(pick)]) pick = j;
    }
  }
  w[at(pick)] = 1;
  return w;
}

}  // namespace

void frontier::build_nonnegative() {
  const std::size_t size = at(n_);
  const problem pr{n_, rs_, as_, ds_};
  const std::vector<traced_piece> traced = trace(pr);
  for (const traced_piece& tp : traced) {
    // The piece's ends; an end where the weights run into 0 (to rounding)
    // is left to the other, since the direction is then constant.
    std::vector<double> from(size), to(size);
    double x_size = 0;
    double z_size = 0;
    for (std::size_t j = 0; j < size; ++j) {
      from[j] = tp.x[j] + tp.s_from * tp.z[j];
      to[j] = tp.x[j] + tp.s_to * tp.z[j];
      x_size = std::max(x_size, std::abs(tp.x[j]));
      z_size = std::max(z_size, std::abs(tp.z[j]));
    }
    const auto vanishes = [&](const std::vector<double>& w, double s) {
      const double largest = std::abs(*std::max_element(
          w.begin(), w.end(), [](double l, double r) { return std::abs(l) < std::abs(r); }));
      return largest <= 1e-12 * (x_size + s * z_size);
    };
    if (vanishes(from, tp.s_from)) std::fill(from.begin(), from.end(), 0.0);
    if (vanishes(to, tp.s_to)) std::fill(to.begin(), to.end(), 0.0);
    const std::size_t first = traced_.size();
    add_arc(from, to, traced_);
    piece p;
    p.predictors = tp.active;
    p.validity_from = validity_at(traced_[first], traced_[first].t_lo);
    p.effect_from = traced_[first].effect_lo;
    p.validity_to = validity_at(traced_.back(), traced_.back().t_hi);
    p.effect_to = traced_.back().effect_hi;
    pieces_.push_back(p);
  }
  std::vector<int> all(size);
  std::iota(all.begin(), all.end(), 0);
  // The ends: a positive best validity (effect) is the traced stretch's
  // start (end); otherwise the best single predictor or zero-valued group.
  const bool positive_validity = *std::max_element(as_.begin(), as_.end()) > 0;
  const bool positive_effect = *std::max_element(ds_.begin(), ds_.end()) > 0;
  if (positive_validity && !traced.empty() && traced.front().s_from == 0) {
    quality_ = from_curve(traced_.front(), traced_.front().t_lo);
  } else {
    quality_ = make_weighting(best_ratio(pr, as_, ds_, all));
  }
  if (positive_effect && !traced.empty() && traced.back().s_to == 1) {
    impact_ = from_curve(traced_.back(), traced_.back().t_hi);
  } else {
    impact_ = make_weighting(best_ratio(pr, ds_, as_, all));
  }

  // Where the traced stretches leave the front uncovered, if anywhere.
  const double e0 = quality_.effect;
  const double e1 = impact_.effect;
  std::optional<double> gap;
  double covered = e0;
  for (curve& c : traced_) {
    c.joined = c.effect_lo <= covered + effect_tolerance;
    if (!c.joined && !gap) gap = covered;
    covered = std::max(covered, c.effect_hi);
  }
  if (!gap && covered < e1 - effect_tolerance) gap = covered;
  concave_ = !gap;
  if (concave_) return;

  // Pairs that reach above the uncovered part with a validity above the
  // impact end's.
  const double v1 = impact_.validity;
  for (int i = 0; i < n_; ++i) {
    for (int j = i + 1; j < n_; ++j) {
      curve c;
      c.first = i;
      c.second = j;
      c.t_lo = 0;
      c.t_hi = 1;
      c.a0 = as_[at(i)];
      c.a1 = as_[at(j)] - as_[at(i)];
      c.d0 = ds_[at(i)];
      c.d1 = ds_[at(j)] - ds_[at(i)];
      const double rij = rs_[at(i) * size + at(j)];
      c.q0 = 1;
      c.q1 = rij - 1;
      c.q2 = 2 - 2 * rij;
      finish_curve(c);
      if (c.effect_max > *gap && c.validity_max > v1) others_.push_back(c);
    }
  }

  // Groups of three or more predictors whose (a_j, d_j) lie on one line
  // through the origin (those at the origin join every group).
  std::vector<int> zero;
  std::vector<int> rest;
  for (int j = 0; j < n_; ++j) {
    (as_[at(j)] == 0 && ds_[at(j)] == 0 ? zero : rest).push_back(j);
  }
  std::vector<char> grouped(size, 0);
  for (const int lead : rest) {
    if (grouped[at(lead)] != 0) continue;
    const double len = std::hypot(as_[at(lead)], ds_[at(lead)]);
    const double ux = as_[at(lead)] / len;
    const double uy = ds_[at(lead)] / len;
    std::vector<int> members = zero;
    std::vector<double> sigma(size, 0.0);
    std::vector<double> minus(size, 0.0);
    for (const int k : rest) {
      const double x = as_[at(k)];
      const double y = ds_[at(k)];
      if (std::abs(ux * y - uy * x) > 1e-12 * std::hypot(x, y)) continue;
      grouped[at(k)] = 1;
      members.push_back(k);
      sigma[at(k)] = ux * x + uy * y;
      minus[at(k)] = -sigma[at(k)];
    }
    if (members.size() < 3) continue;
    std::sort(members.begin(), members.end());
    const std::vector<double> high = best_ratio(pr, sigma, {}, members);
    const std::vector<double> low = best_ratio(pr, minus, {}, members);
    std::vector<curve> arc;
    add_arc(low, high, arc);
    for (const curve& c : arc) {
      if (c.effect_max > *gap && c.validity_max > v1) others_.push_back(c);
    }
  }
}

void frontier::build_any() {
  const std::size_t size = at(n_);
  std::vector<int> all(size);
  std::iota(all.begin(), all.end(), 0);
  detail::cholesky whole;
  whole.factor(rs_, n_, all);
  std::vector<double> x = as_;
  std::vector<double> y = ds_;
  whole.solve(x);
  whole.solve(y);
  const double gaa = dot(as_, x);
  const double gad = dot(as_, y);
  const double gdd = dot(ds_, y);
  const auto nonzero = [](double v) { return v != 0; };
  const bool has_a = std::any_of(as_.begin(), as_.end(), nonzero);
  const bool has_d = std::any_of(ds_.begin(), ds_.end(), nonzero);
  // One piece: the directions between two weightings.
  const auto record = [&](std::span<const double> from, std::span<const double> to) {
    const std::size_t first = traced_.size();
    add_arc(from, to, traced_);
    piece p;
    for (int j = 0; j < n_; ++j) {
      if (from[at(j)] != 0 || to[at(j)] != 0) p.predictors.push_back(j);
    }
    p.validity_from = validity_at(traced_[first], traced_[first].t_lo);
    p.effect_from = traced_[first].effect_lo;
    p.validity_to = validity_at(traced_.back(), traced_.back().t_hi);
    p.effect_to = traced_.back().effect_hi;
    pieces_.push_back(p);
  };

  if (!has_a && !has_d) {
    std::vector<double> first(size, 0.0);
    first[0] = 1;
    quality_ = impact_ = make_weighting(first);
    return;
  }
  if (!has_a || !has_d) {
    // One objective is zero for every weighting: the best of the other.
    quality_ = impact_ = make_weighting(has_a ? x : y);
    return;
  }
  if (gaa * gdd - gad * gad > 1e-12 * gaa * gdd) {
    // The upper-right arc of the ellipse: w = R^-1((1-s) a + s d).
    record(x, y);
    quality_ = from_curve(traced_.front(), traced_.front().t_lo);
    impact_ = from_curve(traced_.back(), traced_.back().t_hi);
    return;
  }
  // d proportional to a: the image is a segment of a line through 0.
  if (gad > 0) {
    quality_ = impact_ = make_weighting(x);
    return;
  }
  std::vector<double> minus_x(size);
  for (std::size_t j = 0; j < size; ++j) minus_x[j] = -x[j];
  quality_ = make_weighting(x);
  impact_ = make_weighting(minus_x);
  if (n_ == 1) {
    concave_ = false;  // two points only
    return;
  }
  // Through a weighting z with a.z = 0 = x'Rz: x to z, then z to -x.
  std::size_t big = 0;
  for (std::size_t j = 1; j < size; ++j) {
    if (std::abs(as_[j]) > std::abs(as_[big])) big = j;
  }
  const std::size_t other = big == 0 ? 1 : 0;
  std::vector<double> z(size, 0.0);
  z[other] = as_[big];
  z[big] = -as_[other];
  record(x, z);
  record(z, minus_x);
}

weighting frontier::at_effect(double e) const {
  if (std::isnan(e)) throw std::out_of_range("pareto: the requested effect is not a number");
  if (e <= quality_.effect) return quality_;
  if (e >= impact_.effect) {
    if (e <= impact_.effect + effect_tolerance) return impact_;
    throw std::out_of_range("pareto: no weighting reaches the requested effect");
  }
  // On a traced stretch: the front point there.
  for (const curve& c : traced_) {
    if (e > c.effect_hi) continue;
    if (e < c.effect_lo) {
      if (c.joined && e >= c.effect_lo - effect_tolerance) return from_curve(c, c.t_lo);
      break;  // in a gap
    }
    candidate best;
    best_on(c, e, best);
    if (best.on != nullptr) return from_curve(c, best.t);
    break;  // not expected: search everything
  }
  // Elsewhere: the best of every candidate with effect >= e.
  candidate best;
  for (const std::vector<curve>* set : {&traced_, &others_}) {
    for (const curve& c : *set) {
      if (c.effect_max < e || c.validity_max < best.validity) continue;
      best_on(c, e, best);
    }
  }
  if (best.on == nullptr || impact_.validity > best.validity ||
      (impact_.validity == best.validity && impact_.effect >= best.effect))
    return impact_;
  return from_curve(*best.on, best.t);
}

}  // namespace pareto
