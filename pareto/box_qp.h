// Small dense solvers behind the front: Cholesky solves on principal
// submatrices of a correlation matrix, and an exact active-set method for a
// strictly convex quadratic programme with sign bounds.
#ifndef FOURFIFTHS_PARETO_BOX_QP_H_
#define FOURFIFTHS_PARETO_BOX_QP_H_

#include <span>
#include <vector>

namespace pareto::detail {

/// The Cholesky factor of R[idx, idx] for a row-major n*n matrix R, from
/// numeric::dppfa, and solves with it (two packed triangular BLAS solves).
class cholesky {
 public:
  /// False when R[idx, idx] is not positive definite.
  bool factor(std::span<const double> r, int n, std::span<const int> idx);
  /// Overwrites b (length of idx) with R[idx, idx]^-1 b.
  void solve(std::span<double> b) const;

 private:
  std::vector<double> packed_;
  int order_ = 0;
};

/// The minimiser z of 1/2 z'Hz - q'z with H = R[idx, idx] (positive
/// definite), subject to z_j >= 0 for every j with bounded[j] != 0, and
/// whether each variable ended in the free set (bounded ones outside it are
/// exactly 0).
struct box_qp_solution {
  std::vector<double> z;
  std::vector<char> free;
};

/// Lawson and Hanson's active-set scheme for non-negative least squares
/// (Solving Least Squares Problems, 1974, ch. 23), run on the quadratic
/// form itself: the objective falls strictly from one free set to the next,
/// so it ends after finitely many steps at the exact KKT point. A variable
/// whose entry would not move it off its bound is held out until the next
/// step (the usual guard against a stall). Throws std::runtime_error if it
/// has not ended after 50 (n + 1) steps, which would be an internal fault.
box_qp_solution solve_box_qp(std::span<const double> r, int n, std::span<const int> idx,
                             std::span<const double> q, std::span<const char> bounded);

}  // namespace pareto::detail

#endif  // FOURFIFTHS_PARETO_BOX_QP_H_
