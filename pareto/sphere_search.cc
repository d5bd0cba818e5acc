#include "pareto/sphere_search.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <queue>
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
                                                 bool nonnegative) {
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
  for (const std::vector<double>& l : forms) s.forms_.push_back(through(l));
  if (nonnegative) {
    for (std::size_t j = 0; j < size; ++j) {
      std::vector<double> e(size, 0.0);
      e[j] = 1;
      s.signs_.push_back(through(e));
    }
  }
  return s;
}

bool sphere_search::ranges_of(const box& b, std::vector<range>& out) const {
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
  const auto of = [&](std::span<const double> t) {
    double lo = 0;
    double hi = 0;
    double size = 0;
    double norm = 0;
    for (std::size_t j = 0; j < t.size(); ++j) {
      const double a = t[j] * b.lo[j];
      const double c = t[j] * b.hi[j];
      lo += std::min(a, c);
      hi += std::max(a, c);
      size += std::max(std::fabs(a), std::fabs(c));
      norm += t[j] * t[j];
    }
    norm = std::sqrt(norm);
    const double slack = margin * (size + norm);
    return range{std::max(lo, -norm) - slack, std::min(hi, norm) + slack};
  };
  for (const std::vector<double>& t : signs_) {
    if (of(t).hi < 0) return false;
  }
  out.clear();
  for (const std::vector<double>& t : forms_) out.push_back(of(t));
  return true;
}

std::vector<double> sphere_search::weighting_at(const box& b) const {
  const auto size = at(n_);
  std::vector<double> u(size);
  double norm = 0;
  for (std::size_t j = 0; j < size; ++j) {
    u[j] = b.lo[j] + (b.hi[j] - b.lo[j]) / 2;
    norm += u[j] * u[j];
  }
  if (!(norm > 0)) return {};
  // w = U^-1 u, U upper triangular, by back substitution.
  std::vector<double> w(size);
  for (std::size_t i = size; i-- > 0;) {
    double sum = u[i];
    for (std::size_t k = i + 1; k < size; ++k) sum -= factor_[i * size + k] * w[k];
    w[i] = sum / factor_[i * size + i];
  }
  if (nonnegative_) {
    bool any = false;
    for (double& x : w) {
      x = std::max(x, 0.0);
      any = any || x > 0;
    }
    if (!any) return {};
  }
  // To the sphere: w'Rw = |Uw|^2.
  double q = 0;
  for (std::size_t i = 0; i < size; ++i) {
    double row = 0;
    for (std::size_t k = i; k < size; ++k) row += factor_[i * size + k] * w[k];
    q += row * row;
  }
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
  std::priority_queue<box, std::vector<box>, decltype(by_bound)> open(by_bound);
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
    open.push(std::move(b));
  };
  consider(box{std::vector<double>(at(n_), -1.0), std::vector<double>(at(n_), 1.0), inf}, inf);
  while (!open.empty() && result.splits < most_splits) {
    if (open.top().bound <= result.value + tolerance) break;
    box b = open.top();
    open.pop();
    ++result.splits;
    std::size_t widest = 0;
    for (std::size_t j = 1; j < at(n_); ++j) {
      if (b.hi[j] - b.lo[j] > b.hi[widest] - b.lo[widest]) widest = j;
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
  result.upper = std::max({result.value, set_aside, open.empty() ? -inf : open.top().bound});
  constexpr std::size_t most_leads = 4;
  while (!open.empty() && result.leads.size() < most_leads) {
    if (std::vector<double> w = weighting_at(open.top()); !w.empty())
      result.leads.push_back(std::move(w));
    open.pop();
  }
  return result;
}

}  // namespace pareto
