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

  /// The maximiser (w'Rw = 1), or none when no weighting meets every
  /// constraint.
  [[nodiscard]] std::optional<std::vector<double>> maximise(
      std::span<const double> c, std::span<const linear_constraint> constraints) const;

  /// Whether some weighting (w'Rw = 1) meets every constraint: as
  /// maximise(...).has_value(), for less.
  [[nodiscard]] bool feasible(std::span<const linear_constraint> constraints) const;

  /// The weighting (w'Rw = 1) with the highest lowest slack,
  /// min_k (l_k.w - b_k), found the same way; none without constraints.
  [[nodiscard]] std::optional<std::vector<double>> maximise_lowest(
      std::span<const linear_constraint> constraints) const;

  /// min_k (l_k.w - b_k).
  [[nodiscard]] double lowest_slack(std::span<const double> w,
                                    std::span<const linear_constraint> constraints) const;

  [[nodiscard]] int size() const { return n_; }

 private:
  [[nodiscard]] std::optional<std::vector<double>> generated(
      std::span<const double> c, std::span<const linear_constraint> constraints, bool first) const;
  [[nodiscard]] std::optional<std::vector<double>> search(std::span<const double> c,
                                                          std::span<const linear_constraint> constraints,
                                                          bool lowest, bool first = false) const;
  struct support {
    std::vector<int> members;
    std::vector<double> chol;  // lower Cholesky factor of R_PP, row-major
  };
  int n_;
  sign_constraint signs_;
  std::vector<double> r_;
  std::vector<support> supports_;
};

/// Solves the m*m system a x = b (row-major; x into b, both overwritten) by
/// Gaussian elimination with partial pivoting; false when a pivot falls
/// below 1e-13 of the largest entry (dependent equations).
bool gauss_solve(std::span<double> a, std::span<double> b, int m);

}  // namespace pareto

#endif  // FOURFIFTHS_PARETO_SPHERE_LP_H_
