// A global search over the weightings of the sphere w'Rw = 1 (w >= 0 when
// the weights must be non-negative) for an objective that depends on a
// weighting through a few linear forms l.w, which on the sphere are the
// composite's standardised values (its validity for l = a, a group's
// effect size for l = d_g).
//
// Method: branch and bound (Horst and Tuy, Global Optimization, 3rd ed.,
// 1996, ch. IV, the prototype procedure with best-first selection).
// - Any signs: with R = U'U (Cholesky), u = U w runs over the unit sphere
//   of R^n and each form is t.u with t = U^-T l. The search starts from
//   the cube [-1, 1]^n of u-space; a box counts while it meets the sphere
//   (the least |u|^2 over it is at most 1 and the most at least 1). Over
//   a box each form lies in its interval sum of min/max t_j u_j, cut to
//   [-|t|, |t|] (the sphere's own bound). Or, asked for, from the 2n faces
//   u_k = +-1 of that cube, which every ray of u-space meets: on a face a
//   form is t.u / |u|, |u|^2 (a sum of squares) lies in its interval sum,
//   and the form in the quotient's interval, cut to [-|t|, |t|]. Or, where
//   there are fewer forms (k) than weights, from the forms' own values:
//   y = T u (T's rows the t) over the sphere fills the solid ellipsoid
//   y'(TT')^-1 y <= 1, which y = V'z (TT' = V'V) maps from the ball |z|
//   <= 1; the search runs over the boxes of z that meet the ball, k
//   dimensions, each form's range its row's interval sum, and a box's
//   weighting is T'V^-1 z plus the part of the unit sphere outside T's
//   rows that |z| leaves.
// - Non-negative weights: every non-negative ray meets one of the n faces
//   w_k = 1 of the cube [0, 1]^n and no other ray does, so the search runs
//   over those faces, boxes of one dimension fewer than the weights that
//   hold no weighting outside the signs. On a face a form is l.w /
//   sqrt(w'Rw): over a box the numerator lies in its interval sum and
//   w'Rw in the interval sum of its terms, so the form lies in their
//   quotient's interval, cut to [-|t|, |t|].
// The caller turns those intervals into an upper bound of its objective
// over the box. The box with the highest bound is split across its widest
// side; each new box's centre, carried to the sphere, gives the caller's
// value there (not asked of a box whose bound cannot beat the best by
// more than the tolerance: it is set aside at once). The search ends when
// no box can beat the best value by more than the tolerance, or after the
// most splits it is given: then the highest bound still open is what it
// proves.
//
// The bounds converge with the boxes (a form's interval shrinks with the
// box's width), so the gap closes, but near a smooth maximum slowly: the
// search is run with a budget and its gap is reported, never hidden.
#ifndef FOURFIFTHS_PARETO_SPHERE_SEARCH_H_
#define FOURFIFTHS_PARETO_SPHERE_SEARCH_H_

#include <algorithm>
#include <cstddef>
#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace pareto {

/// [lo, hi].
struct range {
  double lo = 0;
  double hi = 0;
};

/// The product of two ranges (interval arithmetic).
inline range product(range a, range b) {
  const double c[] = {a.lo * b.lo, a.lo * b.hi, a.hi * b.lo, a.hi * b.hi};
  return {*std::min_element(c, c + 4), *std::max_element(c, c + 4)};
}

struct sphere_search_result {
  /// The weighting of the best value met (w'Rw = 1), empty where no
  /// weighting met had a value above minus infinity.
  std::vector<double> best;
  double value = -std::numeric_limits<double>::infinity();
  /// No weighting of the sphere (with the signs) has a value above this.
  double upper = std::numeric_limits<double>::infinity();
  /// The weightings at the centres of the open boxes of highest bound (at
  /// most four, the highest first): where the search ends before its
  /// bound meets its best, where a local search should look next.
  std::vector<std::vector<double>> leads;
  int splits = 0;
};

/// A box's first-order view of the forms, where the search can give it
/// (over the faces of non-negative weights; empty elsewhere): each form's
/// value at the box's centre (on the sphere), the ranges of its gradient
/// over the box in the box's coordinates, and the box's half-widths in
/// them. Every weighting of the box then has form f(c) + g.(y - c) for
/// some g in those ranges (the mean-value theorem), y its coordinates: a
/// bound built on that overestimates by the width squared, where one built
/// on the ranges alone does by the width.
struct box_slopes {
  std::vector<double> centre;
  std::vector<std::vector<range>> gradient;  // [form][coordinate]
  std::vector<double> half;
  [[nodiscard]] bool empty() const { return centre.empty(); }
};

/// How the search covers the weightings of either sign: by the cube of
/// u-space, whose boxes must meet the sphere; by the cube's faces, one
/// dimension fewer; or, where there are fewer forms than weights, by the
/// forms' own values, which fill an ellipsoid of as many dimensions as
/// there are forms (faces where the forms are dependent). Non-negative
/// weightings are always covered by the faces of their own cube.
enum class sphere_cover { cube, faces, image };

class sphere_search {
 public:
  /// `r`: n*n row-major; `forms`: the linear forms the objective is
  /// bounded through. None where R is not positive definite.
  static std::optional<sphere_search> make(int n, std::span<const double> r,
                                           std::span<const std::vector<double>> forms,
                                           bool nonnegative,
                                           sphere_cover cover = sphere_cover::cube);

  /// An upper bound of the objective over every weighting whose forms lie
  /// in the given ranges (minus infinity: none of them counts).
  using bound_fn = std::function<double(std::span<const range>)>;
  /// The same, also given the box's slopes where the search has them.
  using sloped_bound_fn = std::function<double(std::span<const range>, const box_slopes&)>;
  /// The objective at a weighting (any positive scale; minus infinity:
  /// it does not count).
  using value_fn = std::function<double(std::span<const double>)>;

  /// The same, the bound given each box's slopes as well.
  [[nodiscard]] sphere_search_result maximise(
      const sloped_bound_fn& bound, const value_fn& value, int most_splits, double tolerance,
      double reached = -std::numeric_limits<double>::infinity()) const;

  /// The best value found and a value nothing on the sphere exceeds, by
  /// at most `most_splits` splits, ending sooner once the two are within
  /// `tolerance`. `reached`, a value some weighting is known to have,
  /// sets aside from the start every box that cannot beat it (the result's
  /// `best` is then empty unless the search found better).
  [[nodiscard]] sphere_search_result maximise(
      const bound_fn& bound, const value_fn& value, int most_splits, double tolerance,
      double reached = -std::numeric_limits<double>::infinity()) const;

  /// The forms' ranges over one box of the search's coordinates (over
  /// non-negative weights, the weights themselves on a face of their cube:
  /// one of them fixed at 1), with the box's slopes where the geometry
  /// gives them; none where the box misses the sphere. What the search's
  /// bound is given for that box.
  [[nodiscard]] std::optional<std::pair<std::vector<range>, box_slopes>> forms_over(
      std::span<const double> lo, std::span<const double> hi) const;

  /// The dimensions of the boxes searched.
  [[nodiscard]] int dimensions() const { return dims_; }

 private:
  sphere_search() = default;
  struct box {
    std::vector<double> lo, hi;
    double bound = 0;
    std::size_t order = 0;  // when it was queued: of equal bounds, the first comes first
    int split = -1;         // the coordinate to halve, where the slopes chose one
  };
  // The forms' ranges over a box, or false where it misses the sphere;
  // with `slopes`, the box's slopes too where the geometry gives them.
  bool ranges_of(const box& b, std::vector<range>& out, box_slopes* slopes = nullptr) const;
  // The weighting at a box's centre, carried to the sphere.
  std::vector<double> weighting_at(const box& b) const;
  // The search's first boxes.
  std::vector<box> faces() const;
  // Covers the forms' ellipsoid instead, where it can (see sphere_cover).
  void to_image();

  // What the boxes are boxes of: the cube of u; the faces of that cube;
  // the ball of z, y = V'z the forms' values; the faces of w's own cube
  // [0, 1]^n (non-negative weights).
  enum class geometry { cube, faces, image, weight_faces };

  int n_ = 0;
  int dims_ = 0;  // a box's dimensions
  geometry geometry_ = geometry::cube;
  std::vector<double> factor_;              // U, upper, row-major n*n: R = U'U
  std::vector<double> r_;                   // R, row-major n*n
  std::vector<std::vector<double>> forms_;  // f: U^-T l (u-space) or l (weight faces)
  std::vector<double> norms_;               // |t| = sqrt(l'R^-1 l)
  std::vector<double> image_factor_;        // V, upper, k*k: TT' = V'V (image)
  std::vector<double> null_;                // a unit vector of u with T u = 0 (image)
};

}  // namespace pareto

#endif  // FOURFIFTHS_PARETO_SPHERE_SEARCH_H_
