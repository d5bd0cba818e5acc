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

}  // namespace

std::optional<sphere_search> sphere_search::make(int n, std::span<const double> r,
                                                 std::span<const std::vector<double>> forms,
                                                 bool nonnegative, sphere_cover cover) {
  const auto size = at(n);
  // Packed upper triangle, column by column, for dppfa: A = U'U.
  std::vector<double> packed;
  packed.reserve(size * (size + 1) / 2);
  for (std::size_t j = 0; j < size; ++j) {
    for (std::size_t i = 0; i <= j; ++i) packed.push_back(r[i * size + j]);
  }
  int info = 0;
  numeric::dppfa(packed, n, info);
  if (info != 0) return std::nullopt;
  sphere_search s;
  s.n_ = n;
  s.nonnegative_ = nonnegative;
  s.faces_ = nonnegative || cover != sphere_cover::cube;
  s.factor_.assign(size * size, 0.0);
  for (std::size_t j = 0; j < size; ++j) {
    for (std::size_t i = 0; i <= j; ++i) s.factor_[i * size + j] = packed[i + j * (j + 1) / 2];
  }
  // t = U^-T l: U' t = l, U' lower triangular, by forward substitution.
  const auto through = [&](std::span<const double> l) {
    std::vector<double> t(size);
    for (std::size_t i = 0; i < size; ++i) {
      double sum = l[i];
      for (std::size_t k = 0; k < i; ++k) sum -= s.factor_[k * size + i] * t[k];
      t[i] = sum / s.factor_[i * size + i];
    }
    return t;
  };
  s.r_.assign(r.begin(), r.end());
  for (const std::vector<double>& l : forms) {
    std::vector<double> t = through(l);
    double norm = 0;
    for (const double x : t) norm += x * x;
    s.norms_.push_back(std::sqrt(norm));
    if (nonnegative) {
      s.forms_.push_back(l);
    } else {
      s.forms_.push_back(std::move(t));
    }
  }
  s.dims_ = n;
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
  std::vector<double> packed;
  for (std::size_t j = 0; j < k; ++j) {
    for (std::size_t i = 0; i <= j; ++i) {
      double m = 0;
      for (std::size_t c = 0; c < size; ++c) m += forms_[i][c] * forms_[j][c];
      packed.push_back(m);
    }
  }
  int info = 0;
  numeric::dppfa(packed, static_cast<int>(k), info);
  if (info != 0) return;
  image_factor_.assign(k * k, 0.0);
  for (std::size_t j = 0; j < k; ++j) {
    for (std::size_t i = 0; i <= j; ++i) image_factor_[i * k + j] = packed[i + j * (j + 1) / 2];
  }
  // The null space's vector: of the unit vectors e_j, the one whose part
  // outside T's rows is longest, that part (e_j - T'M^-1 T e_j) normed.
  double longest = 0;
  for (std::size_t j = 0; j < size; ++j) {
    std::vector<double> q(k);
    for (std::size_t f = 0; f < k; ++f) q[f] = forms_[f][j];
    solve_image(q);
    std::vector<double> rest(size, 0.0);
    rest[j] = 1;
    for (std::size_t f = 0; f < k; ++f) {
      for (std::size_t c = 0; c < size; ++c) rest[c] -= forms_[f][c] * q[f];
    }
    double norm = 0;
    for (const double x : rest) norm += x * x;
    if (norm > longest) {
      longest = norm;
      null_ = std::move(rest);
    }
  }
  if (!(longest > 1e-12)) {
    image_factor_.clear();
    null_.clear();
    return;
  }
  for (double& x : null_) x /= std::sqrt(longest);
  dims_ = static_cast<int>(k);
}

// q = M^-1 q by the factor M = V'V: V'x = q forward, then V y = x back.
void sphere_search::solve_image(std::vector<double>& q) const {
  const std::size_t k = q.size();
  for (std::size_t i = 0; i < k; ++i) {
    double sum = q[i];
    for (std::size_t c = 0; c < i; ++c) sum -= image_factor_[c * k + i] * q[c];
    q[i] = sum / image_factor_[i * k + i];
  }
  for (std::size_t i = k; i-- > 0;) {
    double sum = q[i];
    for (std::size_t c = i + 1; c < k; ++c) sum -= image_factor_[i * k + c] * q[c];
    q[i] = sum / image_factor_[i * k + i];
  }
}

std::vector<sphere_search::box> sphere_search::faces() const {
  const auto size = at(n_);
  std::vector<box> out;
  if (!image_factor_.empty()) {
    out.push_back(box{std::vector<double>(at(dims_), -1.0), std::vector<double>(at(dims_), 1.0), 0, 0});
    return out;
  }
  if (!nonnegative_ && !faces_) {
    out.push_back(box{std::vector<double>(size, -1.0), std::vector<double>(size, 1.0), 0, 0});
    return out;
  }
  if (!nonnegative_) {
    for (std::size_t k = 0; k < size; ++k) {
      for (const double side : {1.0, -1.0}) {
        box b{std::vector<double>(size, -1.0), std::vector<double>(size, 1.0), 0, 0};
        b.lo[k] = b.hi[k] = side;
        out.push_back(std::move(b));
      }
    }
    return out;
  }
  for (std::size_t k = 0; k < size; ++k) {
    box b{std::vector<double>(size, 0.0), std::vector<double>(size, 1.0), 0, 0};
    b.lo[k] = 1;
    out.push_back(std::move(b));
  }
  return out;
}

namespace {

range product(range a, range b) {
  const double c[] = {a.lo * b.lo, a.lo * b.hi, a.hi * b.lo, a.hi * b.hi};
  return {*std::min_element(c, c + 4), *std::max_element(c, c + 4)};
}

range square(range a) {
  if (a.lo >= 0) return {a.lo * a.lo, a.hi * a.hi};
  if (a.hi <= 0) return {a.hi * a.hi, a.lo * a.lo};
  return {0, std::max(a.lo * a.lo, a.hi * a.hi)};
}

// Each form's interval sum over a box: its least and most, and the sum
// of its terms' sizes (for rounding's margin).
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

}  // namespace

bool sphere_search::ranges_of(const box& b, std::vector<range>& out) const {
  out.clear();
  if (!image_factor_.empty()) {
    // A box of z, y = V'z: it counts while it meets the ball |z| <= 1.
    const auto k = at(dims_);
    double least = 0;
    for (std::size_t j = 0; j < k; ++j) {
      if (b.lo[j] > 0) {
        least += b.lo[j] * b.lo[j];
      } else if (b.hi[j] < 0) {
        least += b.hi[j] * b.hi[j];
      }
    }
    if (least > 1 + margin) return false;
    std::vector<double> column(k);
    for (std::size_t f = 0; f < k; ++f) {
      for (std::size_t j = 0; j < k; ++j) column[j] = image_factor_[j * k + f];
      const form_sum s = sum_over(column, b.lo, b.hi);
      const double norm = norms_[f];
      const double slack = margin * (s.scale + norm);
      out.push_back({std::max(s.lo, -norm) - slack, std::min(s.hi, norm) + slack});
    }
    return true;
  }
  if (!nonnegative_ && !faces_) {
    // A box of u-space, where the forms are t.u on |u| = 1.
    double least = 0;
    double most = 0;
    for (std::size_t j = 0; j < at(n_); ++j) {
      const double lo = b.lo[j];
      const double hi = b.hi[j];
      if (lo > 0) {
        least += lo * lo;
      } else if (hi < 0) {
        least += hi * hi;
      }
      most += std::max(lo * lo, hi * hi);
    }
    if (least > 1 + margin || most < 1 - margin) return false;
    for (std::size_t f = 0; f < forms_.size(); ++f) {
      const form_sum s = sum_over(forms_[f], b.lo, b.hi);
      const double norm = norms_[f];
      const double slack = margin * (s.scale + norm);
      out.push_back({std::max(s.lo, -norm) - slack, std::min(s.hi, norm) + slack});
    }
    return true;
  }
  if (!nonnegative_) {
    // A box of a face of [-1, 1]^n in u, where the forms are t.u / |u|.
    range q{0, 0};
    for (std::size_t i = 0; i < at(n_); ++i) {
      const range sq = square({b.lo[i], b.hi[i]});
      q.lo += sq.lo;
      q.hi += sq.hi;
    }
    const double least = std::sqrt(q.lo) * (1 - margin);
    const double most = std::sqrt(q.hi) * (1 + margin);
    for (std::size_t f = 0; f < forms_.size(); ++f) {
      const form_sum s = sum_over(forms_[f], b.lo, b.hi);
      const double norm = norms_[f];
      range form{-norm, norm};
      form.lo = std::max(form.lo, s.lo >= 0 ? s.lo / most : s.lo / least);
      form.hi = std::min(form.hi, s.hi >= 0 ? s.hi / least : s.hi / most);
      const double slack = margin * (norm + s.scale / least);
      out.push_back({form.lo - slack, form.hi + slack});
    }
    return true;
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
  for (std::size_t f = 0; f < forms_.size(); ++f) {
    const form_sum s = sum_over(forms_[f], b.lo, b.hi);
    const double norm = norms_[f];
    range form{-norm, norm};
    if (least > 0) {
      // The sum's ends over |y| in [least, most].
      form.lo = std::max(form.lo, s.lo >= 0 ? s.lo / most : s.lo / least);
      form.hi = std::min(form.hi, s.hi >= 0 ? s.hi / least : s.hi / most);
    }
    const double slack = margin * (norm + (least > 0 ? s.scale / least : 0.0));
    out.push_back({form.lo - slack, form.hi + slack});
  }
  return true;
}

std::vector<double> sphere_search::weighting_at(const box& b) const {
  const auto size = at(n_);
  std::vector<double> y(at(dims_));
  for (std::size_t j = 0; j < y.size(); ++j) y[j] = b.lo[j] + (b.hi[j] - b.lo[j]) / 2;
  if (!image_factor_.empty()) {
    // z, drawn into the ball, to u = T'V^-1 z + sqrt(1 - |z|^2) n.
    double zz = 0;
    for (const double x : y) zz += x * x;
    if (zz > 1) {
      for (double& x : y) x /= std::sqrt(zz);
      zz = 1;
    }
    const auto k = at(dims_);
    for (std::size_t i = k; i-- > 0;) {
      double sum = y[i];
      for (std::size_t c = i + 1; c < k; ++c) sum -= image_factor_[i * k + c] * y[c];
      y[i] = sum / image_factor_[i * k + i];
    }
    std::vector<double> u(size, 0.0);
    const double rest = std::sqrt(std::max(0.0, 1 - zz));
    for (std::size_t c = 0; c < size; ++c) {
      for (std::size_t f = 0; f < k; ++f) u[c] += forms_[f][c] * y[f];
      u[c] += rest * null_[c];
    }
    y = std::move(u);
  }
  std::vector<double> w = y;
  if (!nonnegative_) {
    // w = U^-1 u, U upper triangular, by back substitution.
    for (std::size_t i = size; i-- > 0;) {
      double sum = y[i];
      for (std::size_t k = i + 1; k < size; ++k) sum -= factor_[i * size + k] * w[k];
      w[i] = sum / factor_[i * size + i];
    }
  }
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

sphere_search_result sphere_search::maximise(const bound_fn& bound, const value_fn& value,
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
  std::size_t queued = 0;
  const auto consider = [&](box b, double parent) {
    if (!ranges_of(b, ranges)) return;
    b.bound = std::min(parent, bound(ranges));
    if (b.bound == -inf) return;
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
    for (std::size_t j = 1; j < at(dims_); ++j) {
      if (b.hi[j] - b.lo[j] > b.hi[widest] - b.lo[widest]) widest = j;
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
