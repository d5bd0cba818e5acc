// The best weighting for a linear objective under linear constraints on the
// composite's standardised values, exactly:
//   maximise c.w  subject to  w'Rw = 1,  l_k.w >= b_k (k = 1..K),
//   and w >= 0 when the weights must be non-negative.
// With w'Rw = 1, l.w is the composite's standardised value for l (its
// validity for l = a, a group's effect size for l = d_g), so this is the
// highest validity whose effect sizes pass given thresholds.
//
// Method (the set is not convex: the sphere): a maximiser w with support P
// (its non-zero weights) and active constraints S satisfies, under linearly
// independent active gradients, the stationarity condition
//   c_P + sum_{k in S} lambda_k l_{k,P} = mu (R w)_P,
// so w_P lies in the span of R_PP^-1 c_P and R_PP^-1 l_{k,P} (k in S),
// |S| + 1 vectors. The |S| active equations cut a line from that span
// (|S| + 1 >= |P| is impossible unless |S| = |P| - 1, when the span is all
// of R^P), and the line meets the ellipsoid w'Rw = 1 in at most two
// points; mu may take either sign, so both are kept. Every support (all
// predictors without sign constraints) and every set of at most |P| - 1
// active constraints is visited, each candidate checked against every
// constraint and the signs, and the best kept: the global maximum, not a
// local one. A point where the active gradients are dependent is reached
// from an independent subset of them (the equations it satisfies define
// the same line). Where mu = 0 (c a combination of the active l: c.w is
// then the same all over the set where they hold) w need not lie in that
// span, and where the span gives no point the set's own points are
// candidates: with |P| - 1 equations the two where their line meets the
// sphere; with fewer (weights of either sign) their point nearest the
// origin, carried onto the sphere along a direction that leaves every l.w
// and c.w as they are. Candidates within 1e-11 of a constraint count as
// meeting it. Cost: 2^n supports (non-negative weights) times the subsets of the
// constraints, each an (|S|+1)-square system. The enumeration ends at the
// first candidate that is also the maximum over the ball w'Rw <= 1 (a
// convex problem, whose optimality conditions its multipliers show), as
// most of the fronts' calls do.
#ifndef FOURFIFTHS_PARETO_SPHERE_LP_H_
#define FOURFIFTHS_PARETO_SPHERE_LP_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "pareto/frontier.h"

namespace pareto {

/// l.w >= b.
struct linear_constraint {
  std::vector<double> l;
  double b = 0;
};

/// The best point of the sphere w'Rw = 1 for one R, any objective and
/// constraints; the factorisations are made once.
class sphere_lp {
 public:
  /// `r`: n*n, symmetric positive definite; throws std::invalid_argument
  /// otherwise (or for more than 20 predictors with non-negative weights).
  sphere_lp(int n, std::span<const double> r, sign_constraint signs);

  /// The vectors a search works in. Kept by a caller from one search to
  /// the next (sphere_lp_searcher), they need no new memory after the
  /// first few: a front makes thousands of searches of one R.
  struct workspace {
    std::vector<double> v;       // the vectors on P, column j at [j * m_p]
    std::vector<double> solved;  // R_PP^-1 times each
    std::vector<double> gram;    // all vectors' Gram matrix through R_PP^-1
    std::vector<double> w;
    // Each set of active constraints'.
    std::vector<int> index;
    std::vector<double> z, alpha0, minor, a, rhs;
    // The sets of active constraints to visit, and those whose supersets
    // cannot do better.
    std::vector<std::uint32_t> sets, dead;
    // The lines' of |P| - 1 equations, the flat sets' and their direction.
    std::vector<double> line_a, line_b, line_d, line_minor, line_w;
    std::vector<int> rows;
    std::vector<double> flat_a, flat_y, flat_b, flat_w;
    std::vector<double> basis, direction, outside;
    // The generation's: its constraints so far (the first of `working`),
    // which of the caller's have joined, and an objective of its own.
    std::vector<linear_constraint> working;
    std::vector<char> taken;
    std::vector<double> ahead;
    // The support of the last maximiser found, visited first.
    std::size_t support = 0;
  };

  /// The maximiser (w'Rw = 1), or none when no weighting meets every
  /// constraint.
  [[nodiscard]] std::optional<std::vector<double>> maximise(
      std::span<const double> c, std::span<const linear_constraint> constraints) const;
  [[nodiscard]] std::optional<std::vector<double>> maximise(
      std::span<const double> c, std::span<const linear_constraint> constraints,
      workspace& ws) const;

  /// Whether some weighting (w'Rw = 1) meets every constraint: as
  /// maximise(...).has_value(), for less.
  [[nodiscard]] bool feasible(std::span<const linear_constraint> constraints) const;
  [[nodiscard]] bool feasible(std::span<const linear_constraint> constraints,
                              workspace& ws) const;

  /// The weighting (w'Rw = 1) with the highest lowest slack,
  /// min_k (l_k.w - b_k), found the same way; none without constraints.
  [[nodiscard]] std::optional<std::vector<double>> maximise_lowest(
      std::span<const linear_constraint> constraints) const;
  [[nodiscard]] std::optional<std::vector<double>> maximise_lowest(
      std::span<const linear_constraint> constraints, workspace& ws) const;

  /// min_k (l_k.w - b_k).
  [[nodiscard]] double lowest_slack(std::span<const double> w,
                                    std::span<const linear_constraint> constraints) const;

  [[nodiscard]] int size() const { return n_; }

 private:
  [[nodiscard]] std::optional<std::vector<double>> generated(
      std::span<const double> c, std::span<const linear_constraint> constraints, bool first,
      workspace& ws) const;
  static void join(const linear_constraint& k, std::size_t& count, workspace& ws);
  [[nodiscard]] std::optional<std::vector<double>> search(std::span<const double> c,
                                                          std::span<const linear_constraint> constraints,
                                                          bool lowest, bool first,
                                                          workspace& ws) const;
  struct support {
    std::vector<int> members;
    std::vector<double> chol;  // lower Cholesky factor of R_PP, row-major
  };
  int n_;
  sign_constraint signs_;
  std::vector<double> r_;
  std::vector<support> supports_;
};

/// A sphere_lp and a work space of its own: the same searches, for a
/// caller that makes many (one thread at a time; each its own).
class sphere_lp_searcher {
 public:
  explicit sphere_lp_searcher(const sphere_lp& lp);

  [[nodiscard]] std::optional<std::vector<double>> maximise(
      std::span<const double> c, std::span<const linear_constraint> constraints) {
    return lp_->maximise(c, constraints, work_);
  }
  [[nodiscard]] bool feasible(std::span<const linear_constraint> constraints) {
    return lp_->feasible(constraints, work_);
  }
  [[nodiscard]] std::optional<std::vector<double>> maximise_lowest(
      std::span<const linear_constraint> constraints) {
    return lp_->maximise_lowest(constraints, work_);
  }

 private:
  const sphere_lp* lp_;
  sphere_lp::workspace work_;
};

/// Solves the m*m system a x = b (row-major; x into b, both overwritten) by
/// Gaussian elimination with partial pivoting; false when a pivot falls
/// below 1e-13 of the largest entry (dependent equations).
bool gauss_solve(std::span<double> a, std::span<double> b, int m);

}  // namespace pareto

#endif  // FOURFIFTHS_PARETO_SPHERE_LP_H_
