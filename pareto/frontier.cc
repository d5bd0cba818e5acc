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
using detail::ratio_range;
using detail::ratio_slope;
using detail::ratio_slope_range;

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

// Interval arithmetic for the enclosures of the edge search, rounded to
// nearest: the search's tolerance is far above the rounding it ignores.
interval sum(interval x, interval y) { return {x.lo + y.lo, x.hi + y.hi}; }

interval product(interval x, interval y) {
  const std::array<double, 4> p = {x.lo * y.lo, x.lo * y.hi, x.hi * y.lo, x.hi * y.hi};
  return {*std::min_element(p.begin(), p.end()), *std::max_element(p.begin(), p.end())};
}

double quadratic_at(const curve& c, double t) { return c.q0 + t * (2 * c.q1 + t * c.q2); }

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

// The points of `c` where e(t)^2 = e^2 (a rounding allowance of 1e-12
// for tangencies and ends), of either sign: at most two, since
// D(t)^2 = e^2 Q(t) is a quadratic. With `signed_only`, those where D(t)
// has the sign of e.
std::vector<double> crossings(const curve& c, double e, bool signed_only = true) {
  std::vector<double> out;
  if (c.t_hi == c.t_lo) return out;
  const double e2 = e * e;
  const double qa = c.d1 * c.d1 - e2 * c.q2;
  const double qb = c.d0 * c.d1 - e2 * c.q1;
  const double qc = c.d0 * c.d0 - e2 * c.q0;
  // For e = 0 the root D(t) = 0 is double: a discriminant rounded above 0
  // would move it by the square root of the rounding.
  double disc = e == 0 ? 0 : qb * qb - qa * qc;
  if (disc < 0) {
    // A tangency rounded to a small negative value is a double root.
    if (disc < -1e-12 * (qb * qb + std::abs(qa * qc))) return out;
    disc = 0;
  }
  const double qq = -(qb + std::copysign(std::sqrt(disc), qb));
  const double span = c.t_hi - c.t_lo;
  const auto try_root = [&](double t) {
    const double slack = 1e-12 * (std::abs(t) + span);
    if (!(t >= c.t_lo - slack && t <= c.t_hi + slack)) return;
    t = std::clamp(t, c.t_lo, c.t_hi);
    const double dt = c.d0 + c.d1 * t;
    if (signed_only && e != 0 && (dt > 0) != (e > 0)) return;  // the root of the other sign
    out.push_back(t);
  };
  if (qa != 0) try_root(qq / qa);
  if (qq != 0) try_root(qc / qq);
  return out;
}

// Offers the highest-validity point of `c` whose effect is at least e (less
// a rounding allowance of 1e-12): an end of the curve or a crossing of e.
// The best weighting with effect >= e is a front point; were it inside a
// curve with effect above e, validity would have a turning point there,
// and such a point is not on the front: along a traced stretch validity
// falls throughout, on a pair a step into a predictor that raises validity
// would gain in both (and if none does, the point is the quality end), and
// a group's path stays within the extremes of its segment, which are its
// ends.
void best_on(const curve& c, double e, candidate& best) {
  const double floor = e - effect_tolerance * std::max(1.0, std::abs(e));
  const auto try_point = [&](double t) {
    const double et = effect_at(c, t);
    if (et >= floor) best.offer(c, t, validity_at(c, t), et);
  };
  try_point(c.t_lo);
  if (c.t_hi == c.t_lo) return;
  try_point(c.t_hi);
  for (const double t : crossings(c, e)) try_point(t);
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

// The range of X(t)/sqrt(Q(t)), X = x0 + x1 t, over [t1, t2]: its ends and
// its one turning point (turning_point).
interval detail::ratio_range(const curve& c, double x0, double x1, double t1, double t2) {
  const auto f = [&](double t) { return (x0 + x1 * t) / std::sqrt(quadratic_at(c, t)); };
  interval out{std::min(f(t1), f(t2)), std::max(f(t1), f(t2))};
  const double k0 = x1 * c.q0 - x0 * c.q1;
  const double k1 = x1 * c.q1 - x0 * c.q2;
  if (k1 != 0) {
    const double t = -k0 / k1;
    if (t > t1 && t < t2) out = {std::min(out.lo, f(t)), std::max(out.hi, f(t))};
  }
  return out;
}

// d/dt X(t)/sqrt(Q(t)) = (k0 + k1 t) / Q(t)^(3/2), at t and enclosed over
// [t1, t2]: the numerator is linear, Q a convex quadratic.
double detail::ratio_slope(const curve& c, double x0, double x1, double t) {
  const double k = (x1 * c.q0 - x0 * c.q1) + (x1 * c.q1 - x0 * c.q2) * t;
  const double q = quadratic_at(c, t);
  return k / (q * std::sqrt(q));
}

interval detail::ratio_slope_range(const curve& c, double x0, double x1, double t1, double t2) {
  const double k0 = x1 * c.q0 - x0 * c.q1;
  const double k1 = x1 * c.q1 - x0 * c.q2;
  const interval k{std::min(k0 + k1 * t1, k0 + k1 * t2), std::max(k0 + k1 * t1, k0 + k1 * t2)};
  double q_lo = std::min(quadratic_at(c, t1), quadratic_at(c, t2));
  const double q_hi = std::max(quadratic_at(c, t1), quadratic_at(c, t2));
  if (c.q2 > 0) {
    const double vertex = -c.q1 / c.q2;
    if (vertex > t1 && vertex < t2) q_lo = std::min(q_lo, quadratic_at(c, vertex));
  }
  return product(k, {1 / (q_hi * std::sqrt(q_hi)), 1 / (q_lo * std::sqrt(q_lo))});
}

frontier::frontier(int n, std::span<const double> r, std::span<const double> a,
                   std::span<const double> d, sign_constraint signs, upper_edge edge)
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
    low_ = quality_;
    if (edge == upper_edge::build) {
      build_edge_nonnegative();
      has_edge_ = true;
    }
  } else {
    build_any();
    has_edge_ = true;
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
  c.effect_min = std::min(c.effect_lo, c.effect_hi);
  if (const auto t = turning_point(c, c.d0, c.d1)) {
    c.effect_max = std::max(c.effect_max, effect_at(c, *t));
    c.effect_min = std::min(c.effect_min, effect_at(c, *t));
  }
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

void frontier::add_traced(std::span<const double> x, std::span<const double> z, double s_from,
                          double s_to, std::vector<curve>& out) {
  // The piece's ends; an end where the weights run into 0 (to rounding)
  // is left to the other, since the direction is then constant.
  const std::size_t size = at(n_);
  std::vector<double> from(size), to(size);
  double x_size = 0;
  double z_size = 0;
  for (std::size_t j = 0; j < size; ++j) {
    from[j] = x[j] + s_from * z[j];
    to[j] = x[j] + s_to * z[j];
    x_size = std::max(x_size, std::abs(x[j]));
    z_size = std::max(z_size, std::abs(z[j]));
  }
  const auto vanishes = [&](const std::vector<double>& w, double s) {
    const double largest = std::abs(*std::max_element(
        w.begin(), w.end(), [](double l, double r) { return std::abs(l) < std::abs(r); }));
    return largest <= 1e-12 * (x_size + s * z_size);
  };
  if (vanishes(from, s_from)) std::fill(from.begin(), from.end(), 0.0);
  if (vanishes(to, s_to)) std::fill(to.begin(), to.end(), 0.0);
  add_arc(from, to, out);
}

frontier::curve frontier::pair_curve(int i, int j) const {
  curve c;
  c.first = i;
  c.second = j;
  c.t_lo = 0;
  c.t_hi = 1;
  c.a0 = as_[at(i)];
  c.a1 = as_[at(j)] - as_[at(i)];
  c.d0 = ds_[at(i)];
  c.d1 = ds_[at(j)] - ds_[at(i)];
  const double rij = rs_[at(i) * at(n_) + at(j)];
  c.q0 = 1;
  c.q1 = rij - 1;
  c.q2 = 2 - 2 * rij;
  finish_curve(c);
  return c;
}

std::vector<frontier::curve> frontier::group_arcs() {
  // Groups of three or more predictors whose (a_j, d_j) lie on one line
  // through the origin (those at the origin join every group): the path
  // between the group's two extreme weightings.
  const std::size_t size = at(n_);
  const problem pr{n_, rs_, as_, ds_};
  std::vector<curve> out;
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
    add_arc(low, high, out);
  }
  return out;
}

void frontier::build_nonnegative() {
  const std::size_t size = at(n_);
  const problem pr{n_, rs_, as_, ds_};
  const std::vector<traced_piece> traced = trace(pr);
  for (const traced_piece& tp : traced) {
    const std::size_t first = traced_.size();
    add_traced(tp.x, tp.z, tp.s_from, tp.s_to, traced_);
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

  // Pairs and groups that reach above the uncovered part with a validity
  // above the impact end's.
  const double v1 = impact_.validity;
  for (int i = 0; i < n_; ++i) {
    for (int j = i + 1; j < n_; ++j) {
      const curve c = pair_curve(i, j);
      if (c.effect_max > *gap && c.validity_max > v1) others_.push_back(c);
    }
  }
  for (const curve& c : group_arcs()) {
    if (c.effect_max > *gap && c.validity_max > v1) others_.push_back(c);
  }
}

// The upper edge with non-negative weights. Its points are those of the
// proof at the top of this file with an outward normal of any sign in the
// effect: the traced stretch of validity against effect, the same traced
// against the effect's negative (from the quality end down to the lowest
// effect), and where neither reaches, pairs, single predictors and
// collinear groups.
void frontier::build_edge_nonnegative() {
  const std::size_t size = at(n_);
  std::vector<double> minus_d(size);
  for (std::size_t j = 0; j < size; ++j) minus_d[j] = -ds_[j];
  const problem down{n_, rs_, as_, minus_d};
  const std::vector<traced_piece> traced = trace(down);
  std::vector<curve> lower;
  for (const traced_piece& tp : traced) add_traced(tp.x, tp.z, tp.s_from, tp.s_to, lower);
  std::vector<int> all(size);
  std::iota(all.begin(), all.end(), 0);
  if (*std::max_element(minus_d.begin(), minus_d.end()) > 0 && !traced.empty() &&
      traced.back().s_to == 1) {
    low_ = from_curve(lower.back(), lower.back().t_hi);
  } else {
    low_ = make_weighting(best_ratio(down, minus_d, as_, all));
  }

  constexpr double inf = std::numeric_limits<double>::infinity();
  for (const std::vector<curve>* set : {&traced_, &lower}) {
    for (const curve& c : *set) edge_.push_back({c, -inf, inf});
  }
  for (const weighting* w : {&quality_, &impact_, &low_}) {
    std::vector<double> scaled(size);
    for (std::size_t j = 0; j < size; ++j) scaled[j] = w->weights[j] / unscale_[j];
    add_edge(scaled, scaled);
  }

  // The stretches of effect that no traced point reaches (the ends are
  // points of the edge, so every stretch lies between two points).
  std::vector<std::array<double, 2>> covered;
  for (const detail::edge_curve& c : edge_)
    covered.push_back({c.path.effect_min, c.path.effect_max});
  std::sort(covered.begin(), covered.end());
  std::vector<std::array<double, 2>> gaps;
  double reach = low_.effect;
  for (const auto& [lo, hi] : covered) {
    if (lo > reach + effect_tolerance) gaps.push_back({reach, lo});
    reach = std::max(reach, hi);
  }
  if (gaps.empty()) return;
  std::vector<curve> candidates = group_arcs();
  for (int i = 0; i < n_; ++i) {
    for (int j = i + 1; j < n_; ++j) candidates.push_back(pair_curve(i, j));
  }
  for (const curve& c : candidates) {
    for (const auto& [lo, hi] : gaps) {
      if (c.effect_max >= lo && c.effect_min <= hi) edge_.push_back({c, lo, hi});
    }
  }
}

void frontier::add_edge(std::span<const double> from, std::span<const double> to) {
  std::vector<curve> arc;
  add_arc(from, to, arc);
  constexpr double inf = std::numeric_limits<double>::infinity();
  for (const curve& c : arc) edge_.push_back({c, -inf, inf});
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

  std::vector<double> minus_x(size), minus_y(size);
  for (std::size_t j = 0; j < size; ++j) {
    minus_x[j] = -x[j];
    minus_y[j] = -y[j];
  }
  // A weighting with c.z = 0 for a non-zero c: two predictors' weights
  // traded against each other.
  const auto orthogonal = [&](std::span<const double> c) {
    std::size_t big = 0;
    for (std::size_t j = 1; j < size; ++j) {
      if (std::abs(c[j]) > std::abs(c[big])) big = j;
    }
    const std::size_t other = big == 0 ? 1 : 0;
    std::vector<double> z(size, 0.0);
    z[other] = c[big];
    z[big] = -c[other];
    return z;
  };

  if (!has_a && !has_d) {
    std::vector<double> first(size, 0.0);
    first[0] = 1;
    quality_ = impact_ = low_ = make_weighting(first);
    add_edge(first, first);
    return;
  }
  if (!has_a) {
    // Validity is zero for every weighting: the best effect, and an edge
    // along validity 0 from the lowest effect to the highest (two points
    // for one predictor).
    quality_ = impact_ = make_weighting(y);
    low_ = make_weighting(minus_y);
    if (n_ == 1) {
      add_edge(minus_y, minus_y);
      add_edge(y, y);
      return;
    }
    const std::vector<double> z = orthogonal(ds_);
    add_edge(minus_y, z);
    add_edge(z, y);
    return;
  }
  if (!has_d) {
    // The effect is zero for every weighting: the best validity.
    quality_ = impact_ = low_ = make_weighting(x);
    add_edge(x, x);
    return;
  }
  if (gaa * gdd - gad * gad > 1e-12 * gaa * gdd) {
    // The upper-right arc of the ellipse: w = R^-1((1-s) a + s d); the
    // upper-left one, from the quality end to -R^-1 d, completes the edge.
    record(x, y);
    quality_ = from_curve(traced_.front(), traced_.front().t_lo);
    impact_ = from_curve(traced_.back(), traced_.back().t_hi);
    low_ = make_weighting(minus_y);
    constexpr double inf = std::numeric_limits<double>::infinity();
    for (const curve& c : traced_) edge_.push_back({c, -inf, inf});
    add_edge(x, minus_y);
    return;
  }
  // d proportional to a: the image is a segment of a line through 0, and
  // each effect on it has one validity, so the whole segment is the edge.
  if (gad > 0) {
    quality_ = impact_ = make_weighting(x);
    low_ = make_weighting(minus_x);
    if (n_ == 1) {
      add_edge(minus_x, minus_x);
      add_edge(x, x);
      return;
    }
    const std::vector<double> z = orthogonal(as_);
    add_edge(minus_x, z);
    add_edge(z, x);
    return;
  }
  quality_ = low_ = make_weighting(x);
  impact_ = make_weighting(minus_x);
  if (n_ == 1) {
    concave_ = false;  // two points only
    add_edge(x, x);
    add_edge(minus_x, minus_x);
    return;
  }
  // Through a weighting z with a.z = 0 = x'Rz: x to z, then z to -x.
  const std::vector<double> z = orthogonal(as_);
  record(x, z);
  record(z, minus_x);
  constexpr double inf = std::numeric_limits<double>::infinity();
  for (const curve& c : traced_) edge_.push_back({c, -inf, inf});
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

namespace {

// The crossings of the effect e to the last digits: the quadratic's roots
// of either sign refined by Newton's method on e(t) - e, kept where they
// reach e. Near a double root (e near 0, or near the curve's highest
// effect) the quadratic alone keeps only half the digits, and may put the
// root on the wrong side of D(t) = 0. Steps that leave the curve or do not
// bring e(t) closer are not taken.
std::vector<double> exact_crossings(const curve& c, double e) {
  std::vector<double> out;
  for (double t : crossings(c, e, false)) {
    double miss = std::abs(effect_at(c, t) - e);
    for (int step = 0; step < 8 && miss > 0; ++step) {
      const double slope = ratio_slope(c, c.d0, c.d1, t);
      if (!(slope != 0)) break;
      const double next = std::clamp(t - (effect_at(c, t) - e) / slope, c.t_lo, c.t_hi);
      const double next_miss = std::abs(effect_at(c, next) - e);
      if (!(next_miss < miss)) break;
      t = next;
      miss = next_miss;
    }
    if (miss <= effect_tolerance * std::max(1.0, std::abs(e))) out.push_back(t);
  }
  return out;
}

// The parts of [t_lo, t_hi] where the effect lies in [lo, hi], as closed
// intervals (a single point where the curve only touches the range): cut
// where the effect crosses lo and hi, with a rounding allowance of
// 1e-12 max(1, |limit|) in what counts as inside.
std::vector<std::array<double, 2>> effect_window(const curve& c, double lo, double hi) {
  std::vector<std::array<double, 2>> out;
  const auto slack = [](double limit) {
    return std::isfinite(limit) ? effect_tolerance * std::max(1.0, std::abs(limit)) : 0.0;
  };
  const double floor = lo - slack(lo);
  const double ceiling = hi + slack(hi);
  const auto inside = [&](double t) {
    const double e = effect_at(c, t);
    return e >= floor && e <= ceiling;
  };
  if (c.t_hi == c.t_lo) {
    if (inside(c.t_lo)) out.push_back({c.t_lo, c.t_lo});
    return out;
  }
  std::vector<double> cuts = {c.t_lo, c.t_hi};
  for (const double level : {lo, hi}) {
    if (!std::isfinite(level)) continue;
    for (const double t : exact_crossings(c, level)) cuts.push_back(t);
  }
  if (const auto t = turning_point(c, c.d0, c.d1)) cuts.push_back(*t);
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
  for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
    if (!inside(cuts[k] + (cuts[k + 1] - cuts[k]) / 2)) continue;
    if (!out.empty() && out.back()[1] == cuts[k]) {
      out.back()[1] = cuts[k + 1];
    } else {
      out.push_back({cuts[k], cuts[k + 1]});
    }
  }
  // Points where the curve only touches the range.
  for (const double t : cuts) {
    const bool covered =
        std::any_of(out.begin(), out.end(), [&](const auto& w) { return t >= w[0] && t <= w[1]; });
    if (!covered && inside(t)) out.push_back({t, t});
  }
  return out;
}

// Which of two effects is preferred among equal qualities: the one nearer
// 0 from below, else the smaller above 0.
bool nearer_parity(double e, double than) {
  const double below = std::min(e, 0.0);
  const double below_than = std::min(than, 0.0);
  if (below != below_than) return below > below_than;
  return std::max(e, 0.0) < std::max(than, 0.0);
}

// A point of the edge search: where it is, what it gives, the domain it
// belongs to and the width of the stretch it was found in.
struct edge_point {
  const curve* on = nullptr;
  double t = 0;
  double validity = 0;
  double effect = 0;
  double quality = -std::numeric_limits<double>::infinity();
  double lo = 0, hi = 0;
  double width = 0;

  bool better_than(const edge_point& other) const {
    if (on == nullptr) return false;
    if (other.on == nullptr) return true;
    if (quality != other.quality) return quality > other.quality;
    return nearer_parity(effect, other.effect);
  }
};

// A stretch [t1, t2] of one curve still to be searched, with the qualities
// at its ends and an upper bound of the quality within.
struct stretch {
  edge_point left, right;
  double bound = 0;
  int depth = 0;
  bool operator<(const stretch& other) const { return bound < other.bound; }
};

// Qualities this close to the best are ties for the search; a stretch
// with no quality at either end (where the quality is not defined) is
// given up after this many halvings; and this many evaluations end a
// search (never reached in the tests).
double search_tolerance(double best) { return 1e-12 * std::max(1.0, std::abs(best)); }
constexpr int unbounded_depth = 12;
constexpr int most_evaluations = 2'000'000;

class edge_search {
 public:
  explicit edge_search(const edge_objective& q) : q_(q) {}

  edge_point point(const curve& c, double t, double lo, double hi, double width) {
    edge_point p{&c, t, validity_at(c, t), effect_at(c, t), 0, lo, hi, width};
    ++evaluations_;
    p.quality = q_.value(p.validity, p.effect);
    if (std::isnan(p.quality)) p.quality = -std::numeric_limits<double>::infinity();
    if (p.better_than(best_)) best_ = p;
    return p;
  }

  // The bound of the quality over a stretch by the mean-value theorem: the
  // quality m(t) lies below both lines m(t1) + D+ (t - t1) and
  // m(t2) - D- (t2 - t), [D-, D+] enclosing dm/dt = q_v v' + q_e e' over
  // the stretch. Its excess over the true maximum falls as the square of
  // the stretch's width.
  double bound(const edge_point& l, const edge_point& r) {
    const curve& c = *l.on;
    const double t1 = l.t;
    const double t2 = r.t;
    if (!std::isfinite(l.quality) || !std::isfinite(r.quality))
      return std::numeric_limits<double>::infinity();
    const interval v = ratio_range(c, c.a0, c.a1, t1, t2);
    const interval e = ratio_range(c, c.d0, c.d1, t1, t2);
    ++evaluations_;
    const std::array<interval, 2> g = q_.slopes(v, e);
    const interval slope = sum(product(g[0], ratio_slope_range(c, c.a0, c.a1, t1, t2)),
                               product(g[1], ratio_slope_range(c, c.d0, c.d1, t1, t2)));
    if (!std::isfinite(slope.lo) || !std::isfinite(slope.hi))
      return std::numeric_limits<double>::infinity();
    const double h = t2 - t1;
    if (slope.hi <= 0) return l.quality;
    if (slope.lo >= 0) return r.quality;
    const double s =
        std::clamp((r.quality - l.quality - slope.lo * h) / (slope.hi - slope.lo), 0.0, h);
    return std::max(
        {l.quality, r.quality, std::min(l.quality + slope.hi * s, r.quality - slope.lo * (h - s))});
  }

  void push(const edge_point& l, const edge_point& r, int depth) {
    const double b = bound(l, r);
    // A stretch with a quality at one end is halved towards the edge of
    // the part where the quality is defined, one half a step; one without
    // a quality at either end only so many times.
    if (!std::isfinite(b) && !std::isfinite(l.quality) && !std::isfinite(r.quality) &&
        depth > unbounded_depth)
      return;
    if (b <= threshold()) return;
    queue_.push_back({l, r, b, depth});
    std::push_heap(queue_.begin(), queue_.end());
  }

  // A domain [lo, hi] of one curve: its ends, and the point of effect 0,
  // where ties are settled, as first points.
  void add(const curve& c, double lo, double hi) {
    std::vector<double> cuts = {lo, hi};
    for (const double t : exact_crossings(c, 0)) {
      if (t > lo && t < hi) cuts.push_back(t);
    }
    std::sort(cuts.begin(), cuts.end());
    std::vector<edge_point> points;
    points.reserve(cuts.size());
    for (const double t : cuts) points.push_back(point(c, t, lo, hi, hi - lo));
    for (std::size_t k = 0; k + 1 < points.size(); ++k) {
      if (points[k + 1].t > points[k].t) push(points[k], points[k + 1], 0);
    }
  }

  // Best first: the stretch with the highest bound is halved until no
  // bound exceeds the best quality found by more than the tolerance.
  void run() {
    while (!queue_.empty() && evaluations_ < most_evaluations) {
      std::pop_heap(queue_.begin(), queue_.end());
      const stretch s = queue_.back();
      queue_.pop_back();
      if (s.bound <= threshold()) break;
      const double t1 = s.left.t;
      const double t2 = s.right.t;
      const double mid = t1 + (t2 - t1) / 2;
      if (!(mid > t1 && mid < t2)) continue;
      const edge_point m = point(*s.left.on, mid, s.left.lo, s.left.hi, (t2 - t1) / 2);
      push(s.left, m, s.depth + 1);
      push(m, s.right, s.depth + 1);
    }
    queue_.clear();
  }

  // The best point, moved to the root of dm/dt next to it: the maximum
  // located to the last digits rather than to the square root of the
  // rounding, as the quality's values alone would place it.
  void polish() {
    if (best_.on == nullptr || best_.lo == best_.hi || !std::isfinite(best_.quality)) return;
    const curve& c = *best_.on;
    const auto slope = [&](double t) {
      const std::array<double, 2> g = q_.slopes(validity_at(c, t), effect_at(c, t));
      return g[0] * ratio_slope(c, c.a0, c.a1, t) + g[1] * ratio_slope(c, c.d0, c.d1, t);
    };
    const double t0 = best_.t;
    const double g0 = slope(t0);
    if (g0 == 0 || !std::isfinite(g0)) return;
    const double end = g0 > 0 ? best_.hi : best_.lo;
    if (end == t0) return;  // a maximum at the end of its domain
    // A bracket [near, far] of the sign change, widening from the best point.
    double near = t0;
    double far = t0;
    double step = std::max(best_.width, 1e-9 * (best_.hi - best_.lo));
    for (;;) {
      far = g0 > 0 ? std::min(t0 + step, end) : std::max(t0 - step, end);
      const double g = slope(far);
      if (!(g * g0 > 0) || far == end) break;
      near = far;
      step *= 2;
    }
    double t = far;
    if (slope(far) * g0 <= 0) {
      for (int k = 0; k < 200; ++k) {
        const double mid = near + (far - near) / 2;
        if (mid == near || mid == far) break;
        if (slope(mid) * g0 > 0) {
          near = mid;
        } else {
          far = mid;
        }
      }
      t = near + (far - near) / 2;
    }
    const edge_point p = point(c, t, best_.lo, best_.hi, 0);
    // The root is the maximum; its quality may round below the grid
    // point's.
    if (p.quality >= best_.quality - search_tolerance(best_.quality) * 1e-3) best_ = p;
  }

  [[nodiscard]] const edge_point& best() const { return best_; }
  [[nodiscard]] int evaluations() const { return evaluations_; }

 private:
  double threshold() const {
    return best_.on == nullptr ? -std::numeric_limits<double>::infinity()
                               : best_.quality + search_tolerance(best_.quality);
  }

  const edge_objective& q_;
  edge_point best_;
  std::vector<stretch> queue_;
  int evaluations_ = 0;
};

}  // namespace

// The edge search. The best weighting with effect in [from, to] for a
// quality that rises with validity at a fixed effect lies on the upper edge
// (the highest validity at each effect), and every point of the edge lies
// on one of the curves of edge_ (see build_edge_nonnegative and
// build_any), each a chord w(t) = p + t q on which v(t) and e(t) are
// ratios of a linear function to the square root of a quadratic. On each
// curve the part with effect in range is searched by branch and bound: a
// stretch is halved while the bound of the mean-value theorem, from
// enclosures of the quality's partial derivatives over the stretch's box
// of (v, e) and of v'(t) and e'(t) (closed forms), exceeds the best quality
// found by more than 1e-12 max(1, |best|). So no weighting with effect in
// range has a quality above the answer's by more than that (up to the
// accuracy of the quality's own values). The answer is then moved to the
// nearby root of the quality's derivative along its curve, which places a
// maximum inside a curve to the last digits.
std::optional<edge_best> frontier::best_on_edge(const edge_objective& q, double from,
                                                double to) const {
  if (!has_edge_) throw std::logic_error("pareto: the frontier was built without its upper edge");
  const double allowance =
      std::isfinite(from) ? effect_tolerance * std::max(1.0, std::abs(from)) : 0.0;
  edge_search search(q);
  for (const detail::edge_curve& ec : edge_) {
    const curve& c = ec.path;
    const double l = std::max(from, ec.from);
    const double h = std::min(to, ec.to);
    if (c.effect_max < l - allowance || c.effect_min > h + allowance) continue;
    for (const auto& [t1, t2] : effect_window(c, l, h)) search.add(c, t1, t2);
  }
  search.run();
  search.polish();
  const edge_point& best = search.best();
  if (best.on == nullptr) return std::nullopt;
  return edge_best{from_curve(*best.on, best.t), best.quality, search.evaluations()};
}

}  // namespace pareto
