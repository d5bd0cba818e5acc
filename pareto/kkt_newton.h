// Newton's method on the optimality conditions of
//   maximise q(w)  subject to  c_i(w) = 0 (i = 1..a),  w'Rw = 1,
//   w_j = 0 off a free set of weights (and w_j >= 0 on it for
//   non-negative weights),
// for q and c_i that do not change with w's scale: the local phase of SQP
// (Nocedal & Wright, Numerical Optimization, 2nd ed., 2006, sections 18.1
// and 16.5), in coordinates y of the sphere's tangent plane at w (an
// R-orthonormal basis of the free weights' span, R-orthogonal to w).
//
// Each step solves the Newton-KKT system
//   [H J'; J 0] [dy; lambda] = [-grad q; -c]
// with H the Lagrangian's Hessian q + lambda'c, taken by central
// differences of the caller's exact gradients (step 1e-5: errors near
// 1e-10, enough for Newton's step to settle to 1e-12), shifted by -tau I
// until it is negative definite on the null space of J (the modified
// Newton method, section 3.4), so that the step climbs towards a maximum
// rather than to any stationary point. The step's end is carried back onto
// c = 0 by least-norm corrections -J'(JJ')^-1 c and taken where it climbs
// and stays as near c = 0 as w was, or halves the distance from it;
// otherwise the step is halved (a feasible-path method: it follows the
// surface c = 0 and cannot leave for another of its branches). A step
// shorter than 1e-10 (near the end, or halved that far) is taken as the
// corrections leave it: far from c = 0, where they overshoot, that end may
// neither climb nor come nearer. A free weight that would turn negative
// ends the steps there.
#ifndef FOURFIFTHS_PARETO_KKT_NEWTON_H_
#define FOURFIFTHS_PARETO_KKT_NEWTON_H_

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace pareto {

/// q then c_1..c_a at a weighting (any scale), or none where they cannot be
/// formed.
using kkt_values = std::function<std::optional<std::vector<double>>(std::span<const double>)>;

/// The values and their gradients in w, a row each.
struct values_and_gradients {
  std::vector<double> values;
  std::vector<std::vector<double>> gradients;
};
using kkt_derivatives = std::function<std::optional<values_and_gradients>(std::span<const double>)>;

struct kkt_problem {
  std::span<const double> r;  // n*n, positive definite
  std::vector<bool> free;     // the weights that may move
  bool nonnegative = false;
  std::size_t constraints = 0;  // a
  kkt_values values;
  kkt_derivatives derivatives;
};

struct kkt_end {
  bool ok = false;
  std::vector<double> w;       // w'Rw = 1
  std::vector<double> lambda;  // one per constraint
  int stopped_at = -1;         // a free weight that reached 0 on the way
};

/// At most `most_steps` Newton steps from w; not ok where a model or a
/// system cannot be formed (or a exceeds the free directions).
[[nodiscard]] kkt_end kkt_newton(const kkt_problem& p, std::vector<double> w, int most_steps);

/// The least tau >= 0 (0, or 1e-3 of the matrix's size doubled until it is
/// enough) that makes h - tau I (m*m) negative definite on the null space
/// of the rows j (each of size m), tried by Cholesky factorisation.
[[nodiscard]] double ascent_shift(std::span<const double> h, std::span<const std::vector<double>> j,
                                  std::size_t m);

}  // namespace pareto

#endif  // FOURFIFTHS_PARETO_KKT_NEWTON_H_
