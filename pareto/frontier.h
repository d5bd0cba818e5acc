// The exact Pareto front of predictor weightings: validity of the predictor
// composite against its effect size (minority minus majority mean), with
// non-negative weights or weights of any sign.
//
// For a weighting w of n predictors with correlation matrix R, predictor
// validities a and predictor effect sizes d:
//   validity v(w) = a.w / sqrt(w'Rw),   effect e(w) = d.w / sqrt(w'Rw).
// The front runs from the quality end (highest validity; among ties the
// highest effect) to the impact end (highest effect; among ties the highest
// validity). Between them, at_effect(e) gives the highest-validity weighting
// whose effect is at least e.
//
// Method (see frontier.cc for the argument): with u = R^{1/2}w the pairs
// (v, e) are the image of the unit sphere within the feasible cone under a
// linear map to the plane.
//  * Where the front is concave it is the set of maximisers of
//    (1-s) v + s e, s in [0, 1]; with w >= 0 these are the solutions of the
//    parametric QP  min 1/2 w'Rw - ((1-s) a + s d).w,  w >= 0, which are
//    piecewise affine in s. They are traced exactly, piece by piece, by the
//    critical line method (Markowitz, "The optimization of a quadratic
//    function subject to linear constraints", Naval Research Logistics
//    Quarterly 3, 1956; Best, "An algorithm for the solution of the
//    parametric quadratic programming problem", 1996), with the active set
//    at each breakpoint from the derivative QP, so degenerate breakpoints
//    are exact too. Without sign constraints it is one piece in closed form,
//    w = R^-1((1-s) a + s d).
//  * Where no mix (1-s) v + s e is positive (typically every effect size is
//    negative and the predictor with the smallest group difference is not
//    the one with the best ratio a_j/|d_j|) the front need not be concave,
//    nor even connected. Every front point there lies on a pair of
//    predictors (a weighting with two non-zero weights), on a single
//    predictor, or on a group of predictors whose (a_j, d_j) are collinear
//    with the origin; all of these are searched in closed form. The result
//    is exact, not a local optimum.
// Cost: the trace factorises one principal submatrix per piece (O(n^3)
// each, about n pieces); a front that is not concave adds the n(n-1)/2
// pairs, of which those that can matter are kept. at_effect is one closed
// form on the traced stretch, or one pass over the kept pairs elsewhere.
//
// The upper edge: for a quality that depends on (v, e) and rises with v at
// a fixed e but not necessarily with e (the mean criterion score of those
// selected), the best weighting under a bound on e has the highest
// validity at its own effect, which need not be a front point. The edge,
// the highest validity at each effect from the lowest reachable (low_end)
// to the highest, is kept as curves: the traced stretch, the same traced
// for the effect's negative, and where neither reaches, pairs, single
// predictors and collinear groups (the argument of frontier.cc holds for
// an outward normal of either sign in e); without sign constraints the
// upper half of the ellipse. best_on_edge searches it.
//
// Degenerate inputs: d = 0 (or a = 0) makes the front one point, the best
// validity (effect); d proportional to a with a negative factor makes it
// a stretch of the line e = factor * v (with w >= 0 it comes from the
// collinear group, so concave() is false), with a positive factor one
// point.
// When every weighting ties (a = d = 0) both ends are the first predictor
// alone. With any sign and n = 1 the front is w = 1 and w = -1, two points
// and nothing between (concave() is false). Ends with negative validity or
// effect are ordinary front points.
#ifndef FOURFIFTHS_PARETO_FRONTIER_H_
#define FOURFIFTHS_PARETO_FRONTIER_H_

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace pareto {

namespace detail {

/// One curve of candidate front points: w(t) = p + t q for t in [t_lo,
/// t_hi], in the problem scaled to unit variances. Its validity and effect
/// follow from seven numbers: A(t) = a.w, D(t) = d.w and Q(t) = w'Rw.
struct curve {
  double t_lo = 0, t_hi = 0;
  double a0 = 0, a1 = 0, d0 = 0, d1 = 0;  // A = a0 + a1 t, D = d0 + d1 t
  double q0 = 0, q1 = 0, q2 = 0;          // Q = q0 + 2 q1 t + q2 t^2
  double effect_lo = 0, effect_hi = 0;    // the effects at t_lo and t_hi
  double validity_max = 0, effect_max = 0, effect_min = 0;
  bool joined = true;  // a traced piece that starts where the one before ends
  int first = -1;      // a pair of predictors: p = unit(first), q = unit(second) - p
  int second = -1;
  std::size_t stored = 0;  // otherwise p and q at pool offsets stored and stored + n
};

/// A curve of the upper edge, used where the effect lies in [from, to].
struct edge_curve {
  curve path;
  double from = 0, to = 0;
};

}  // namespace detail

/// A closed interval [lo, hi] of reals: an enclosure of the values a
/// quantity takes over a stretch.
struct interval {
  double lo = 0, hi = 0;
};

namespace detail {

/// On a curve, X(t)/sqrt(Q(t)) with X = x0 + x1 t (validity: a0, a1;
/// effect: d0, d1): its range over [t1, t2], its derivative at t, and an
/// enclosure of the derivative over [t1, t2], for the edge search's bounds.
[[nodiscard]] interval ratio_range(const curve& c, double x0, double x1, double t1, double t2);
[[nodiscard]] double ratio_slope(const curve& c, double x0, double x1, double t);
[[nodiscard]] interval ratio_slope_range(const curve& c, double x0, double x1, double t1,
                                         double t2);

}  // namespace detail

/// Which weightings are allowed.
enum class sign_constraint {
  nonnegative,  ///< every weight >= 0 (the usual case)
  any,          ///< weights of any sign
};

/// One weighting of the predictors and where it lies.
struct weighting {
  /// Scaled to sum 1 when the sum is positive (at least 1e-9 of the sum of
  /// the absolute weights); otherwise to a sum of absolute values of 1 with
  /// the signs kept. With w >= 0 the sum is always 1.
  std::vector<double> weights;
  double validity = 0;  ///< a.w / sqrt(w'Rw)
  double effect = 0;    ///< d.w / sqrt(w'Rw)
};

/// Whether a frontier keeps the upper edge (best_on_edge) as well as the
/// front. Without sign constraints the edge costs nothing more; with
/// non-negative weights it costs a second trace and, where the traces leave
/// stretches of effect uncovered, the pairs of predictors.
enum class upper_edge { skip, build };

/// A stretch of the front on which one set of predictors carries weight and
/// the weights move linearly with the trade-off parameter (concave stretch).
struct piece {
  std::vector<int> predictors;  ///< zero-based, ascending
  double validity_from = 0;     ///< at the quality-end side of the stretch
  double effect_from = 0;
  double validity_to = 0;  ///< at the impact-end side
  double effect_to = 0;
};

/// A quality that depends on a weighting only through its validity v and
/// effect e and rises with v at every fixed e (the mean criterion score of
/// those selected at a fixed selection ratio is one), with what the edge
/// search needs to bound it.
class edge_objective {
 public:
  edge_objective() = default;
  edge_objective(const edge_objective&) = default;
  edge_objective& operator=(const edge_objective&) = default;
  virtual ~edge_objective() = default;

  /// The quality at (v, e); minus infinity where it is not defined.
  [[nodiscard]] virtual double value(double v, double e) const = 0;
  /// Its partial derivatives {d/dv, d/de} at (v, e).
  [[nodiscard]] virtual std::array<double, 2> slopes(double v, double e) const = 0;
  /// Enclosures of the partial derivatives over the box v in `v`, e in
  /// `e`: every value they take there lies within (bounds that are not
  /// finite say that none are known).
  [[nodiscard]] virtual std::array<interval, 2> slopes(interval v, interval e) const = 0;
};

/// The best weighting of an edge search and its quality.
struct edge_best {
  weighting at;
  double quality = 0;
  int evaluations = 0;  ///< qualities evaluated by the search
};

/// The front of one problem, computed once; queries are cheap.
class frontier {
 public:
  /// `r`: n*n row-major, symmetric (to 1e-10) and positive definite; a
  /// correlation matrix, though any covariance matrix is accepted (it is
  /// reduced to its correlation matrix with a and d scaled alike). `a`, `d`:
  /// n entries each. Throws std::invalid_argument for n < 1, wrong lengths,
  /// values that are not finite, an asymmetric or not positive-definite r.
  frontier(int n, std::span<const double> r, std::span<const double> a, std::span<const double> d,
           sign_constraint signs = sign_constraint::nonnegative,
           upper_edge edge = upper_edge::skip);

  /// The highest-validity weighting (ties: the highest effect).
  [[nodiscard]] const weighting& quality_end() const { return quality_; }
  /// The highest-effect weighting (ties: the highest validity).
  [[nodiscard]] const weighting& impact_end() const { return impact_; }

  /// The highest-validity weighting whose effect is at least `e` (less a
  /// rounding allowance of 1e-12 max(1, |e|)). Where the front is continuous
  /// its effect is e to rounding; where the front jumps (possible only when
  /// concave() is false) it is the front point just above the jump. Below
  /// the quality end's effect: the quality end. Above the impact end's
  /// effect by more than 1e-12 (or a NaN): throws std::out_of_range; up to
  /// that, the impact end.
  [[nodiscard]] weighting at_effect(double e) const;

  /// The lowest-effect weighting (ties: the highest validity): the other
  /// end of the upper edge (kept with the edge only; otherwise the quality
  /// end with non-negative weights).
  [[nodiscard]] const weighting& low_end() const { return low_; }
  /// Whether best_on_edge can be asked.
  [[nodiscard]] bool has_edge() const { return has_edge_; }

  /// The weighting of highest quality `q` whose effect lies in [from, to]
  /// (less a rounding allowance of 1e-12 max(1, |from|) below), or none
  /// when no weighting has such an effect. Among qualities that tie
  /// exactly, the one whose effect is nearest 0 from below, else the
  /// smallest above 0: a group difference favouring the minority group is
  /// no better than none. Exact to a quality of 1e-12 max(1, |quality|)
  /// (see frontier.cc); infinite limits are allowed. Throws
  /// std::logic_error when the frontier was built without its edge.
  [[nodiscard]] std::optional<edge_best> best_on_edge(const edge_objective& q, double from,
                                                      double to) const;

  /// True when the concave stretches (pieces) cover the whole front, so that
  /// every front point maximises a non-negative mix of validity and effect.
  [[nodiscard]] bool concave() const { return concave_; }
  /// The concave stretches in order from the quality end.
  [[nodiscard]] std::span<const piece> pieces() const { return pieces_; }
  [[nodiscard]] int size() const { return n_; }
  [[nodiscard]] sign_constraint signs() const { return signs_; }

 private:
  using curve = detail::curve;

  void build_nonnegative();
  void build_any();
  [[nodiscard]] weighting make_weighting(std::span<const double> scaled_w) const;
  [[nodiscard]] weighting from_curve(const curve& c, double t) const;
  curve add_stored(std::span<const double> p, std::span<const double> q, double t_lo, double t_hi);
  void add_arc(std::span<const double> from, std::span<const double> to, std::vector<curve>& out);
  void finish_curve(curve& c) const;
  void add_traced(std::span<const double> x, std::span<const double> z, double s_from, double s_to,
                  std::vector<curve>& out);
  [[nodiscard]] curve pair_curve(int i, int j) const;
  [[nodiscard]] std::vector<curve> group_arcs();
  void build_edge_nonnegative();
  void add_edge(std::span<const double> from, std::span<const double> to);

  int n_;
  sign_constraint signs_;
  std::vector<double> r_, a_, d_;     // as given (r symmetrised)
  std::vector<double> unscale_;       // 1 / sqrt(r_jj)
  std::vector<double> rs_, as_, ds_;  // scaled to unit variances
  weighting quality_, impact_, low_;
  bool concave_ = true;
  bool has_edge_ = false;
  std::vector<piece> pieces_;
  std::vector<curve> traced_;  // the pieces, one or two curves each
  std::vector<curve> others_;  // pairs and collinear groups, where the front is not concave
  std::vector<detail::edge_curve> edge_;  // the upper edge at every reachable effect
  std::vector<double> pool_;
};

}  // namespace pareto

#endif  // FOURFIFTHS_PARETO_FRONTIER_H_
