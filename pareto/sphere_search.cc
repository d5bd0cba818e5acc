#include "pareto/sphere_search.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

#include "numeric/packed.h"

namespace pareto {

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

std::size_t at(int i) { return static_cast<std::size_t>(i); }

// Rounding's share of a sum of n products, as a relative margin: the
// ranges are widened by it so that a box is never cut for rounding alone.
constexpr double margin = 1e-12;

// The upper Cholesky factor U (row-major, k*k) of the symmetric positive
// definite a (row-major): a = U'U, by dppfa; none where a is not.
std::optional<std::vector<double>> upper_factor(std::span<const double> a, std::size_t k) {
  // Packed upper triangle, column by column, for dppfa.
  std::vector<double> packed;
  packed.reserve(k * (k + 1) / 2);
  for (std::size_t j = 0; j < k; ++j) {
    for (std::size_t i = 0; i <= j; ++i) packed.push_back(a[i * k + j]);
  }
  int info = 0;
  numeric::dppfa(packed, static_cast<int>(k), info);
  if (info != 0) return std::nullopt;
  std::vector<double> u(k * k, 0.0);
  for (std::size_t j = 0; j < k; ++j) {
    for (std::size_t i = 0; i <= j; ++i) u[i * k + j] = packed[i + j * (j + 1) / 2];
  }
  return u;
}

// x = U'^-1 x (U' lower triangular), by forward substitution.
void forward(const std::vector<double>& u, std::span<double> x) {
  const std::size_t k = x.size();
  for (std::size_t i = 0; i < k; ++i) {
    double sum = x[i];
    for (std::size_t c = 0; c < i; ++c) sum -= u[c * k + i] * x[c];
    x[i] = sum / u[i * k + i];
  }
}

// x = U^-1 x (U upper triangular), by back substitution.
void back(const std::vector<double>& u, std::span<double> x) {
  const std::size_t k = x.size();
  for (std::size_t i = k; i-- > 0;) {
    double sum = x[i];
    for (std::size_t c = i + 1; c < k; ++c) sum -= u[i * k + c] * x[c];
    x[i] = sum / u[i * k + i];
  }
}

range square(range a) {
  if (a.lo >= 0) return {a.lo * a.lo, a.hi * a.hi};
  if (a.hi <= 0) return {a.hi * a.hi, a.lo * a.lo};
  return {0, std::max(a.lo * a.lo, a.hi * a.hi)};
}

// A form's interval sum over a box: its least and most, and the sum of
// its terms' sizes (for rounding's margin).
struct form_sum {
  double lo = 0;
  double hi = 0;
  double scale = 0;
};

form_sum sum_over(std::span<const double> t, const std::vector<double>& lo,
                  const std::vector<double>& hi) {
  form_sum s;
  for (std::size_t j = 0; j < t.size(); ++j) {
    const double a = t[j] * lo[j];
    const double c = t[j] * hi[j];
    s.lo += std::min(a, c);
    s.hi += std::max(a, c);
    s.scale += std::max(std::fabs(a), std::fabs(c));
  }
  return s;
}

// The least of |y|^2 over a box.
double least_square(const std::vector<double>& lo, const std::vector<double>& hi) {
  double least = 0;
  for (std::size_t j = 0; j < lo.size(); ++j) {
    if (lo[j] > 0) {
      least += lo[j] * lo[j];
    } else if (hi[j] < 0) {
      least += hi[j] * hi[j];
    }
  }
  return least;
}

// A linear form's range where the point itself lies in the box: its
// interval sum, cut to the highest |form| anywhere, [-norm, norm].
range linear(const form_sum& s, double norm) {
  const double slack = margin * (s.scale + norm);
  return {std::max(s.lo, -norm) - slack, std::min(s.hi, norm) + slack};
}

// A form's range where the point is the box's point over its norm, which
// lies in [least, most] (least 0: unknown): the sum's ends over it, cut to
// [-norm, norm].
range quotient(const form_sum& s, double norm, double least, double most) {
  range form{-norm, norm};
  if (least > 0) {
    form.lo = std::max(form.lo, s.lo >= 0 ? s.lo / most : s.lo / least);
    form.hi = std::min(form.hi, s.hi >= 0 ? s.hi / least : s.hi / most);
  }
  const double slack = margin * (norm + (least > 0 ? s.scale / least : 0.0));
  return {form.lo - slack, form.hi + slack};
}

// A form f(w) = l.w / sqrt(w'Rw) over a box of w that holds no zero
// weighting, by the mean-value form about the box's centre c (Moore,
// Kearfott and Cloud, Introduction to Interval Analysis, 2009, 6.4):
// f(w) = f(c) + g(xi).(w - c) for some xi in the box, g = l/s - (l.w)
// Rw/s^3 its gradient (s = sqrt(w'Rw)), which interval arithmetic
// encloses over the box (`gradient`) from the ranges of l.w, of each
// (Rw)_j and of 1/s. Its overestimate shrinks with the box's width
// squared, where the quotient of intervals' does so with the width (its
// numerator and denominator move together and are bounded apart): near
// the far end's top, where the boxes are small, it is the narrower.
// `rw`: the ranges of (Rw)_j; `inverse`: of 1/s; `cube`: of 1/s^3.
range mean_value(std::span<const double> l, const form_sum& sum, std::span<const form_sum> rw,
                 range inverse, range cube, std::span<const double> half, double centre_value,
                 double centre_scale, std::vector<range>& gradient) {
  double spread = 0;
  const range numerator{sum.lo, sum.hi};
  gradient.assign(l.size(), range{0, 0});
  for (std::size_t j = 0; j < l.size(); ++j) {
    const range own = product({l[j], l[j]}, inverse);
    const range other = product(product(numerator, {rw[j].lo, rw[j].hi}), cube);
    gradient[j] = {own.lo - other.hi, own.hi - other.lo};
    // (Rounding's share, as everywhere here, by the margin.)
    const double slack = margin * (std::fabs(own.lo) + std::fabs(own.hi) + std::fabs(other.lo) +
                                   std::fabs(other.hi));
    gradient[j].lo -= slack;
    gradient[j].hi += slack;
    spread += std::max(std::fabs(gradient[j].lo), std::fabs(gradient[j].hi)) * half[j];
  }
  const double slack = margin * (spread + std::fabs(centre_value) + centre_scale);
  return {centre_value - spread - slack, centre_value + spread + slack};
}

}  // namespace

std::optional<sphere_search> sphere_search::make(int n, std::span<const double> r,
                                                 std::span<const std::vector<double>> forms,
                                                 bool nonnegative, sphere_cover cover) {
  const auto size = at(n);
  std::optional<std::vector<double>> factor = upper_factor(r, size);
  if (!factor) return std::nullopt;
  sphere_search s;
  s.n_ = n;
  s.dims_ = n;
  s.factor_ = std::move(*factor);
  s.r_.assign(r.begin(), r.end());
  s.geometry_ = nonnegative                  ? geometry::weight_faces
                : cover == sphere_cover::cube ? geometry::cube
                                              : geometry::faces;
  for (const std::vector<double>& l : forms) {
    // t = U^-T l.
    std::vector<double> t = l;
    forward(s.factor_, t);
    double norm = 0;
    for (const double x : t) norm += x * x;
    s.norms_.push_back(std::sqrt(norm));
    if (nonnegative) {
      s.forms_.push_back(l);
    } else {
      s.forms_.push_back(std::move(t));
    }
  }
  if (!nonnegative && cover == sphere_cover::image && forms.size() < size) s.to_image();
  return s;
}

// The image of the sphere |u| = 1 under y = T u (T's rows the forms t,
// k < n of them) is the solid ellipsoid y'M^-1 y <= 1, M = T T': a point
// y = V'z (M = V'V) with |z| <= 1 is reached by u0 = T'V^-1 z, of norm |z|,
// plus a unit vector of T's null space scaled to make up the rest. Left
// as it is where M is singular (the forms dependent).
void sphere_search::to_image() {
  const std::size_t k = forms_.size();
  const auto size = at(n_);
  std::vector<double> m(k * k);
  for (std::size_t i = 0; i < k; ++i) {
    for (std::size_t j = 0; j < k; ++j) {
      double sum = 0;
      for (std::size_t c = 0; c < size; ++c) sum += forms_[i][c] * forms_[j][c];
      m[i * k + j] = sum;
    }
  }
  std::optional<std::vector<double>> factor = upper_factor(m, k);
  if (!factor) return;
  // The null space's vector: of the unit vectors e_j, the one whose part
  // outside T's rows is longest, that part (e_j - T'M^-1 T e_j) normed.
  double longest = 0;
  std::vector<double> null;
  for (std::size_t j = 0; j < size; ++j) {
    std::vector<double> q(k);
    for (std::size_t f = 0; f < k; ++f) q[f] = forms_[f][j];
    forward(*factor, q);
    back(*factor, q);
    std::vector<double> rest(size, 0.0);
    rest[j] = 1;
    for (std::size_t f = 0; f < k; ++f) {
      for (std::size_t c = 0; c < size; ++c) rest[c] -= forms_[f][c] * q[f];
    }
    double norm = 0;
    for (const double x : rest) norm += x * x;
    if (norm > longest) {
      longest = norm;
      null = std::move(rest);
    }
  }
  if (!(longest > 1e-12)) return;
  for (double& x : null) x /= std::sqrt(longest);
  image_factor_ = std::move(*factor);
  null_ = std::move(null);
  dims_ = static_cast<int>(k);
  geometry_ = geometry::image;
}

std::vector<sphere_search::box> sphere_search::faces() const {
  const auto dims = at(dims_);
  const auto whole = [&](double low) {
    return box{std::vector<double>(dims, low), std::vector<double>(dims, 1.0), 0, 0};
  };
  std::vector<box> out;
  switch (geometry_) {
    case geometry::cube:
    case geometry::image:
      out.push_back(whole(-1));
      break;
    case geometry::faces:
      for (std::size_t k = 0; k < dims; ++k) {
        for (const double side : {1.0, -1.0}) {
          box b = whole(-1);
          b.lo[k] = b.hi[k] = side;
          out.push_back(std::move(b));
        }
      }
      break;
    case geometry::weight_faces:
      for (std::size_t k = 0; k < dims; ++k) {
        box b = whole(0);
        b.lo[k] = 1;
        out.push_back(std::move(b));
      }
      break;
  }
  return out;
}

bool sphere_search::ranges_of(const box& b, std::vector<range>& out, box_slopes* slopes) const {
  out.clear();
  if (slopes != nullptr) slopes->centre.clear();
  switch (geometry_) {
    case geometry::image: {
      // A box of z, y = V'z: it counts while it meets the ball |z| <= 1;
      // each form is its row of V'.
      const auto k = at(dims_);
      if (least_square(b.lo, b.hi) > 1 + margin) return false;
      std::vector<double> column(k);
      for (std::size_t f = 0; f < k; ++f) {
        for (std::size_t j = 0; j < k; ++j) column[j] = image_factor_[j * k + f];
        out.push_back(linear(sum_over(column, b.lo, b.hi), norms_[f]));
      }
      return true;
    }
    case geometry::cube: {
      // A box of u-space, where the forms are t.u on |u| = 1: it counts
      // while it meets the sphere.
      double most = 0;
      for (std::size_t j = 0; j < b.lo.size(); ++j) most += std::max(b.lo[j] * b.lo[j], b.hi[j] * b.hi[j]);
      if (least_square(b.lo, b.hi) > 1 + margin || most < 1 - margin) return false;
      for (std::size_t f = 0; f < forms_.size(); ++f)
        out.push_back(linear(sum_over(forms_[f], b.lo, b.hi), norms_[f]));
      return true;
    }
    case geometry::faces: {
      // A box of a face of [-1, 1]^n in u, where the forms are t.u / |u|.
      range q{0, 0};
      for (std::size_t i = 0; i < b.lo.size(); ++i) {
        const range sq = square({b.lo[i], b.hi[i]});
        q.lo += sq.lo;
        q.hi += sq.hi;
      }
      const double least = std::sqrt(q.lo) * (1 - margin);
      const double most = std::sqrt(q.hi) * (1 + margin);
      for (std::size_t f = 0; f < forms_.size(); ++f)
        out.push_back(quotient(sum_over(forms_[f], b.lo, b.hi), norms_[f], least, most));
      return true;
    }
    case geometry::weight_faces:
      break;
  }
  // A box of a face of [0, 1]^n in w, where the forms are l.w / sqrt(w'Rw).
  const auto size = at(n_);
  range q{0, 0};
  for (std::size_t i = 0; i < size; ++i) {
    const range s = square({b.lo[i], b.hi[i]});
    q.lo += r_[i * size + i] * s.lo;
    q.hi += r_[i * size + i] * s.hi;
    for (std::size_t j = i + 1; j < size; ++j) {
      const range p = product({b.lo[i], b.hi[i]}, {b.lo[j], b.hi[j]});
      const double g = 2 * r_[i * size + j];
      q.lo += std::min(g * p.lo, g * p.hi);
      q.hi += std::max(g * p.lo, g * p.hi);
    }
  }
  // Rounding's share of the norm's sum, as the margin bounds it, widens
  // it: where R is near singular its terms cancel, and the least norm
  // must not be rounded up.
  double terms = 0;
  for (std::size_t i = 0; i < size; ++i) {
    for (std::size_t j = 0; j < size; ++j) terms += std::fabs(r_[i * size + j]) * b.hi[i] * b.hi[j];
  }
  const double rounding = margin * terms;
  const double least = q.lo - rounding > 0 ? std::sqrt(q.lo - rounding) : 0.0;
  const double most = std::sqrt(std::max(q.hi + rounding, 0.0));
  // The mean-value form's parts (least > 0: the box holds no zero
  // weighting): the centre, its norm, the half-widths, and the ranges of
  // Rw, 1/s and 1/s^3.
  std::vector<double> centre(size);
  std::vector<double> half(size);
  std::vector<form_sum> rw;
  double centre_norm = 0;
  if (least > 0) {
    for (std::size_t j = 0; j < size; ++j) {
      half[j] = (b.hi[j] - b.lo[j]) / 2;
      centre[j] = b.lo[j] + half[j];
    }
    double cc = 0;
    for (std::size_t i = 0; i < size; ++i) {
      rw.push_back(sum_over(std::span<const double>(r_).subspan(i * size, size), b.lo, b.hi));
      double row = 0;
      for (std::size_t j = 0; j < size; ++j) row += r_[i * size + j] * centre[j];
      cc += centre[i] * row;
    }
    centre_norm = std::sqrt(cc);
  }
  const bool sloped = least > 0 && centre_norm > 0;
  if (slopes != nullptr && sloped) {
    slopes->half = half;
    slopes->gradient.resize(forms_.size());
  }
  const range inverse{1 / most, 1 / least};
  const range cube{inverse.lo * inverse.lo * inverse.lo, inverse.hi * inverse.hi * inverse.hi};
  std::vector<range> gradient;
  for (std::size_t f = 0; f < forms_.size(); ++f) {
    const form_sum sum = sum_over(forms_[f], b.lo, b.hi);
    range form = quotient(sum, norms_[f], least, most);
    if (sloped) {
      double at_centre = 0;
      double scale = 0;
      for (std::size_t j = 0; j < size; ++j) {
        at_centre += forms_[f][j] * centre[j];
        scale += std::fabs(forms_[f][j] * centre[j]);
      }
      const double value = at_centre / centre_norm;
      const range narrow = mean_value(forms_[f], sum, rw, inverse, cube, half, value,
                                      scale / centre_norm, gradient);
      // Both hold the form's values; their common part, unless rounding
      // has left none.
      if (narrow.lo <= form.hi && narrow.hi >= form.lo) {
        form.lo = std::max(form.lo, narrow.lo);
        form.hi = std::min(form.hi, narrow.hi);
      }
      if (slopes != nullptr) {
        slopes->centre.push_back(value);
        slopes->gradient[f] = gradient;
      }
    }
    out.push_back(form);
  }
  return true;
}

std::optional<std::pair<std::vector<range>, box_slopes>> sphere_search::forms_over(
    std::span<const double> lo, std::span<const double> hi) const {
  if (lo.size() != at(dims_) || hi.size() != at(dims_)) return std::nullopt;
  box b;
  b.lo.assign(lo.begin(), lo.end());
  b.hi.assign(hi.begin(), hi.end());
  std::pair<std::vector<range>, box_slopes> out;
  if (!ranges_of(b, out.first, &out.second)) return std::nullopt;
  return out;
}

std::vector<double> sphere_search::weighting_at(const box& b) const {
  const auto size = at(n_);
  std::vector<double> y(at(dims_));
  for (std::size_t j = 0; j < y.size(); ++j) y[j] = b.lo[j] + (b.hi[j] - b.lo[j]) / 2;
  if (geometry_ == geometry::image) {
    // z, drawn into the ball, to u = T'V^-1 z + sqrt(1 - |z|^2) n.
    double zz = 0;
    for (const double x : y) zz += x * x;
    if (zz > 1) {
      for (double& x : y) x /= std::sqrt(zz);
      zz = 1;
    }
    back(image_factor_, y);
    std::vector<double> u(size, 0.0);
    const double rest = std::sqrt(std::max(0.0, 1 - zz));
    for (std::size_t c = 0; c < size; ++c) {
      for (std::size_t f = 0; f < y.size(); ++f) u[c] += forms_[f][c] * y[f];
      u[c] += rest * null_[c];
    }
    y = std::move(u);
  }
  // w = U^-1 u, except on the faces of w's own cube.
  std::vector<double> w = std::move(y);
  if (geometry_ != geometry::weight_faces) back(factor_, w);
  // To the sphere: w'Rw = |Uw|^2.
  double q = 0;
  for (std::size_t i = 0; i < size; ++i) {
    double row = 0;
    for (std::size_t k = i; k < size; ++k) row += factor_[i * size + k] * w[k];
    q += row * row;
  }
  if (!(q > 0)) return {};
  const double scale = 1 / std::sqrt(q);
  for (double& x : w) x *= scale;
  return w;
}

namespace {

// The coordinate along which a box's forms move most (the largest smear:
// the half-width times the sum of the forms' largest slopes along it), or
// -1 without slopes.
int most_smeared(const box_slopes& slopes) {
  int chosen = -1;
  if (slopes.empty()) return chosen;
  double most = 0;
  for (std::size_t j = 0; j < slopes.half.size(); ++j) {
    double smear = 0;
    for (const std::vector<range>& g : slopes.gradient)
      smear += std::max(std::fabs(g[j].lo), std::fabs(g[j].hi));
    smear *= slopes.half[j];
    if (smear > most) {
      most = smear;
      chosen = static_cast<int>(j);
    }
  }
  return chosen;
}

}  // namespace

sphere_search_result sphere_search::maximise(const bound_fn& bound, const value_fn& value,
                                             int most_splits, double tolerance,
                                             double reached) const {
  return maximise([&](std::span<const range> r, const box_slopes&) { return bound(r); }, value,
                  most_splits, tolerance, reached);
}

sphere_search_result sphere_search::maximise(const sloped_bound_fn& bound, const value_fn& value,
                                             int most_splits, double tolerance,
                                             double reached) const {
  sphere_search_result result;
  result.value = reached;
  // Boxes of equal bounds (a box's parts often keep its bound) are taken
  // in the order they were queued, not in whatever order the standard
  // library's heap leaves them: libstdc++ and libc++ (the page's) differ,
  // and the split limit can end the search in between.
  const auto by_bound = [](const box& x, const box& y) {
    return x.bound < y.bound || (x.bound == y.bound && x.order > y.order);
  };
  // A heap kept by hand, so that the box taken is moved out, not copied.
  std::vector<box> open;
  const auto take = [&] {
    std::pop_heap(open.begin(), open.end(), by_bound);
    box b = std::move(open.back());
    open.pop_back();
    return b;
  };
  // What the boxes set aside (within the tolerance of the best value when
  // they were) could still hold.
  double set_aside = -inf;
  std::vector<range> ranges;
  box_slopes slopes;
  std::size_t queued = 0;
  const auto consider = [&](box b, double parent) {
    if (!ranges_of(b, ranges, &slopes)) return;
    b.bound = std::min(parent, bound(ranges, slopes));
    if (b.bound == -inf) return;
    // A box that cannot beat the best by more than the tolerance is set
    // aside unvalued: its centre's value is at most its bound.
    if (b.bound <= result.value + tolerance) {
      set_aside = std::max(set_aside, b.bound);
      return;
    }
    if (const std::vector<double> w = weighting_at(b); !w.empty()) {
      const double v = value(w);
      if (v > result.value) {
        result.value = v;
        result.best = w;
      }
    }
    if (b.bound <= result.value + tolerance) {
      set_aside = std::max(set_aside, b.bound);
      return;
    }
    b.split = most_smeared(slopes);
    b.order = queued++;
    open.push_back(std::move(b));
    std::push_heap(open.begin(), open.end(), by_bound);
  };
  for (box& face : faces()) consider(std::move(face), inf);
  while (!open.empty() && result.splits < most_splits) {
    if (open.front().bound <= result.value + tolerance) break;
    box b = take();
    ++result.splits;
    std::size_t widest = 0;
    if (b.split >= 0) {
      widest = static_cast<std::size_t>(b.split);
    } else {
      for (std::size_t j = 1; j < at(dims_); ++j) {
        if (b.hi[j] - b.lo[j] > b.hi[widest] - b.lo[widest]) widest = j;
      }
    }
    // A box that is a single ray (one weight): its bound is its value's.
    if (!(b.hi[widest] > b.lo[widest])) {
      set_aside = std::max(set_aside, b.bound);
      continue;
    }
    const double middle = b.lo[widest] + (b.hi[widest] - b.lo[widest]) / 2;
    box left = b;
    left.hi[widest] = middle;
    box right = std::move(b);
    right.lo[widest] = middle;
    const double parent = right.bound;
    consider(std::move(left), parent);
    consider(std::move(right), parent);
  }
  result.upper = std::max({result.value, set_aside, open.empty() ? -inf : open.front().bound});
  constexpr std::size_t most_leads = 4;
  while (!open.empty() && result.leads.size() < most_leads) {
    if (std::vector<double> w = weighting_at(take()); !w.empty()) result.leads.push_back(std::move(w));
  }
  return result;
}

}  // namespace pareto
