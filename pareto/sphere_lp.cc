#include "pareto/sphere_lp.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <utility>

namespace pareto {

namespace {

constexpr int most_supported = 20;
constexpr double constraint_tolerance = 1e-11;

std::size_t at(int i) { return static_cast<std::size_t>(i); }

// The lower Cholesky factor of the m*m matrix `a` (row-major), in place;
// false when it is not positive definite.
bool cholesky(std::vector<double>& a, int m) {
  for (int j = 0; j < m; ++j) {
    double s = a[at(j * m + j)];
    for (int k = 0; k < j; ++k) s -= a[at(j * m + k)] * a[at(j * m + k)];
    if (!(s > 0)) return false;
    const double root = std::sqrt(s);
    a[at(j * m + j)] = root;
    for (int i = j + 1; i < m; ++i) {
      double t = a[at(i * m + j)];
      for (int k = 0; k < j; ++k) t -= a[at(i * m + k)] * a[at(j * m + k)];
      a[at(i * m + j)] = t / root;
    }
    for (int i = 0; i < j; ++i) a[at(i * m + j)] = 0;
  }
  return true;
}

// Solves L L' x = b in place.
void cholesky_solve(const std::vector<double>& l, int m, std::span<double> x) {
  for (int i = 0; i < m; ++i) {
    double s = x[at(i)];
    for (int k = 0; k < i; ++k) s -= l[at(i * m + k)] * x[at(k)];
    x[at(i)] = s / l[at(i * m + i)];
  }
  for (int i = m - 1; i >= 0; --i) {
    double s = x[at(i)];
    for (int k = i + 1; k < m; ++k) s -= l[at(k * m + i)] * x[at(k)];
    x[at(i)] = s / l[at(i * m + i)];
  }
}

// The determinant of the k*k matrix `a` (row-major, overwritten).
double determinant(std::span<double> a, int k) {
  double det = 1;
  for (int j = 0; j < k; ++j) {
    int pivot = j;
    for (int i = j + 1; i < k; ++i) {
      if (std::fabs(a[at(i * k + j)]) > std::fabs(a[at(pivot * k + j)])) pivot = i;
    }
    if (a[at(pivot * k + j)] == 0) return 0;
    if (pivot != j) {
      for (int c = 0; c < k; ++c) std::swap(a[at(j * k + c)], a[at(pivot * k + c)]);
      det = -det;
    }
    det *= a[at(j * k + j)];
    for (int i = j + 1; i < k; ++i) {
      const double f = a[at(i * k + j)] / a[at(j * k + j)];
      for (int c = j; c < k; ++c) a[at(i * k + c)] -= f * a[at(j * k + c)];
    }
  }
  return det;
}

// A direction of the support's weights R-orthogonal to every R^-1 v_k
// (that is, orthogonal to every v_k: columns of `v`, m_p entries each),
// scaled to u'R_PP u = 1 (`chol` its Cholesky factor), into `best`;
// empty where the v_k span all of them (`basis` and `x` work space). The
// rows are made orthonormal (Gram-Schmidt, twice, a row whose remainder
// is below 1e-10 of its length dependent), and of the unit vectors' parts
// outside them the longest is taken.
void orthogonal_direction(std::span<const double> v, int vectors, int m_p,
                          const std::vector<double>& chol, std::vector<double>& basis, std::vector<double>& x,
                          std::vector<double>& best) {
  best.clear();
  basis.clear();
  const auto size = at(m_p);
  // The rows made orthonormal so far, each m_p entries of `basis`, and x
  // made orthogonal to them (twice).
  const auto orthogonalise = [&] {
    for (int pass = 0; pass < 2; ++pass) {
      for (std::size_t e = 0; e < basis.size(); e += size) {
        double dot = 0;
        for (std::size_t i = 0; i < size; ++i) dot += basis[e + i] * x[i];
        for (std::size_t i = 0; i < size; ++i) x[i] -= dot * basis[e + i];
      }
    }
  };
  for (std::size_t k = 0; k < at(vectors); ++k) {
    x.assign(v.begin() + static_cast<std::ptrdiff_t>(k * size),
             v.begin() + static_cast<std::ptrdiff_t>((k + 1) * size));
    double length = 0;
    for (const double y : x) length += y * y;
    orthogonalise();
    double rest = 0;
    for (const double y : x) rest += y * y;
    if (!(rest > 1e-20 * length)) continue;
    for (double& y : x) y /= std::sqrt(rest);
    basis.insert(basis.end(), x.begin(), x.end());
  }
  if (basis.size() >= size * size) return;
  double longest = 0;
  for (std::size_t j = 0; j < size; ++j) {
    x.assign(size, 0.0);
    x[j] = 1;
    orthogonalise();
    double rest = 0;
    for (const double y : x) rest += y * y;
    if (rest > longest) {
      longest = rest;
      best.assign(x.begin(), x.end());
    }
  }
  if (!(longest > 1e-12)) {
    best.clear();
    return;
  }
  // u'R u = |L'u|^2 with R = L L'.
  double norm = 0;
  for (int i = 0; i < m_p; ++i) {
    double s = 0;
    for (int k = i; k < m_p; ++k) s += chol[at(k * m_p + i)] * best[at(k)];
    norm += s * s;
  }
  for (double& y : best) y /= std::sqrt(norm);
}

// The null vector of the rows x (rows + 1) matrix entry(i, k), by its
// cofactors, into `out` (`minor` the work space), scaled to a largest entry
// of 1: cofactors can be tiny, and a tiny vector makes a line's parameter
// huge and its points differences of large terms. False where every
// cofactor is 0 (dependent rows).
template <class Entry>
bool null_vector(const Entry& entry, int rows, std::vector<double>& minor, std::vector<double>& out) {
  const int columns = rows + 1;
  out.assign(at(columns), 0.0);
  minor.resize(at(rows) * at(rows));
  for (int col = 0; col < columns; ++col) {
    for (int i = 0; i < rows; ++i) {
      int cc = 0;
      for (int k = 0; k < columns; ++k) {
        if (k == col) continue;
        minor[at(i * rows + cc)] = entry(i, k);
        ++cc;
      }
    }
    out[at(col)] = ((col % 2) == 0 ? 1.0 : -1.0) * determinant(minor, rows);
  }
  double largest = 0;
  for (const double x : out) largest = std::max(largest, std::fabs(x));
  if (!(largest > 0)) return false;
  for (double& x : out) x /= largest;
  return true;
}

}  // namespace

// Solves the m*m system a x = b (row-major, both overwritten) by Gaussian
// elimination with partial pivoting; false when a pivot falls below 1e-13
// of the largest entry (dependent equations).
bool gauss_solve(std::span<double> a, std::span<double> b, int m) {
  double scale = 0;
  for (const double v : a) scale = std::max(scale, std::fabs(v));
  if (!(scale > 0)) return false;
  for (int j = 0; j < m; ++j) {
    int pivot = j;
    for (int i = j + 1; i < m; ++i) {
      if (std::fabs(a[at(i * m + j)]) > std::fabs(a[at(pivot * m + j)])) pivot = i;
    }
    if (!(std::fabs(a[at(pivot * m + j)]) > 1e-13 * scale)) return false;
    if (pivot != j) {
      for (int k = 0; k < m; ++k) std::swap(a[at(j * m + k)], a[at(pivot * m + k)]);
      std::swap(b[at(j)], b[at(pivot)]);
    }
    for (int i = j + 1; i < m; ++i) {
      const double f = a[at(i * m + j)] / a[at(j * m + j)];
      for (int k = j; k < m; ++k) a[at(i * m + k)] -= f * a[at(j * m + k)];
      b[at(i)] -= f * b[at(j)];
    }
  }
  for (int i = m - 1; i >= 0; --i) {
    double s = b[at(i)];
    for (int k = i + 1; k < m; ++k) s -= a[at(i * m + k)] * b[at(k)];
    b[at(i)] = s / a[at(i * m + i)];
  }
  return true;
}

sphere_lp::sphere_lp(int n, std::span<const double> r, sign_constraint signs)
    : n_(n), signs_(signs), r_(r.begin(), r.end()) {
  if (n < 1 || r.size() != at(n) * at(n))
    throw std::invalid_argument("sphere_lp: r must be n*n with n >= 1");
  if (signs == sign_constraint::nonnegative && n > most_supported)
    throw std::invalid_argument("sphere_lp: at most 20 predictors with non-negative weights");
  const std::uint32_t full = (std::uint32_t{1} << n) - 1;
  const auto add = [&](std::uint32_t mask) {
    support s;
    for (int j = 0; j < n; ++j) {
      if ((mask >> j) & 1U) s.members.push_back(j);
    }
    const int m = static_cast<int>(s.members.size());
    s.chol.resize(at(m) * at(m));
    for (int i = 0; i < m; ++i) {
      for (int k = 0; k < m; ++k)
        s.chol[at(i * m + k)] = r_[at(s.members[at(i)] * n + s.members[at(k)])];
    }
    if (!cholesky(s.chol, m)) throw std::invalid_argument("sphere_lp: r is not positive definite");
    supports_.push_back(std::move(s));
  };
  if (signs == sign_constraint::any) {
    add(full);
  } else {
    // Larger supports first: their best is usually the best, which lets
    // the smaller ones be passed over (maximise).
    for (int size = n; size >= 1; --size) {
      for (std::uint32_t mask = full; mask >= 1; --mask) {
        if (std::popcount(mask) == size) add(mask);
      }
    }
  }
}

// By constraint generation: the exact maximiser under some of the
// constraints (none at first) bounds the one under all of them from above,
// so where it meets all, it is the maximiser under all; otherwise the
// constraint it misses most joins and the search is made again. Most
// constraints of a step are far from binding, and the enumeration's cost
// grows with the number of subsets of the constraints it is given.
std::optional<std::vector<double>> sphere_lp::maximise(
    std::span<const double> c, std::span<const linear_constraint> constraints) const {
  workspace ws;
  return generated(c, constraints, false, ws);
}

std::optional<std::vector<double>> sphere_lp::maximise(
    std::span<const double> c, std::span<const linear_constraint> constraints,
    workspace& ws) const {
  return generated(c, constraints, false, ws);
}

// The same generation, each search ending at the first weighting that
// meets its constraints: where one meets them all, some weighting does;
// where a search finds none, none meets the constraints it was given, a
// part of all. The objective only orders the search's candidates: one
// along no constraint's direction, as a generic objective, keeps its
// candidates off degenerate lines.
bool sphere_lp::feasible(std::span<const linear_constraint> constraints) const {
  workspace ws;
  return feasible(constraints, ws);
}

bool sphere_lp::feasible(std::span<const linear_constraint> constraints, workspace& ws) const {
  if (constraints.empty()) return true;
  std::vector<double>& ahead = ws.ahead;
  ahead.resize(at(n_));
  for (std::size_t j = 0; j < ahead.size(); ++j) ahead[j] = std::sqrt(static_cast<double>(j + 2));
  return generated(ahead, constraints, true, ws).has_value();
}

// The constraint `k` joins the generation's working set (ws.working's
// first `count`, whose vectors keep their memory from call to call).
void sphere_lp::join(const linear_constraint& k, std::size_t& count, workspace& ws) {
  if (ws.working.size() <= count) ws.working.resize(count + 1);
  ws.working[count].l.assign(k.l.begin(), k.l.end());
  ws.working[count].b = k.b;
  ++count;
}

std::optional<std::vector<double>> sphere_lp::generated(std::span<const double> c,
                                                        std::span<const linear_constraint> constraints,
                                                        bool first, workspace& ws) const {
  std::size_t count = 0;
  ws.taken.assign(constraints.size(), 0);
  while (true) {
    std::optional<std::vector<double>> w =
        search(c, std::span<const linear_constraint>(ws.working).first(count), false, first, ws);
    if (!w) return w;
    std::size_t worst = constraints.size();
    double worst_miss = 0;
    for (std::size_t k = 0; k < constraints.size(); ++k) {
      if (ws.taken[k] != 0) continue;
      double s = 0;
      for (int j = 0; j < n_; ++j) s += constraints[k].l[at(j)] * (*w)[at(j)];
      // Missed as search's check counts it.
      const double miss =
          constraints[k].b - constraint_tolerance * (1 + std::fabs(constraints[k].b)) - s;
      if (miss > worst_miss) {
        worst_miss = miss;
        worst = k;
      }
    }
    if (worst == constraints.size()) return w;
    ws.taken[worst] = 1;
    join(constraints[worst], count, ws);
  }
}

// By constraint generation too: the best lowest slack over some of the
// constraints bounds the best over all of them from above (a minimum over
// fewer is no lower), so where no other constraint's slack is below it,
// it is the best over all; otherwise the constraint of the lowest slack
// joins. Its cost then grows with the constraints that matter, not with
// all their subsets.
std::optional<std::vector<double>> sphere_lp::maximise_lowest(
    std::span<const linear_constraint> constraints) const {
  workspace ws;
  return maximise_lowest(constraints, ws);
}

std::optional<std::vector<double>> sphere_lp::maximise_lowest(
    std::span<const linear_constraint> constraints, workspace& ws) const {
  if (constraints.empty()) return std::nullopt;
  ws.ahead.assign(at(n_), 0.0);  // no objective
  std::size_t count = 0;
  join(constraints.front(), count, ws);
  ws.taken.assign(constraints.size(), 0);
  ws.taken.front() = 1;
  ws.support = 0;
  while (true) {
    const std::span<const linear_constraint> working =
        std::span<const linear_constraint>(ws.working).first(count);
    std::optional<std::vector<double>> w = search(ws.ahead, working, true, false, ws);
    if (!w) return w;
    const double reached = lowest_slack(*w, working);
    std::size_t worst = constraints.size();
    double worst_slack = reached;
    for (std::size_t k = 0; k < constraints.size(); ++k) {
      if (ws.taken[k] != 0) continue;
      double v = 0;
      for (int j = 0; j < n_; ++j) v += constraints[k].l[at(j)] * (*w)[at(j)];
      const double slack = v - constraints[k].b;
      if (slack < worst_slack - constraint_tolerance * (1 + std::fabs(constraints[k].b))) {
        worst_slack = slack;
        worst = k;
      }
    }
    if (worst == constraints.size()) return w;
    ws.taken[worst] = 1;
    join(constraints[worst], count, ws);
  }
}

double sphere_lp::lowest_slack(std::span<const double> w,
                               std::span<const linear_constraint> constraints) const {
  double low = std::numeric_limits<double>::infinity();
  for (const linear_constraint& k : constraints) {
    double s = 0;
    for (int j = 0; j < n_; ++j) s += k.l[at(j)] * w[at(j)];
    low = std::min(low, s - k.b);
  }
  return low;
}

// Both searches: with `lowest` false, the best c.w meeting every
// constraint; with `lowest` true, the best min_k (l_k.w - b_k), whose
// maximiser with the constraints S at the minimum lies in the span of
// R_PP^-1 l_{k,P} (k in S) and has l_k.w - b_k equal over S: |S| - 1
// equations in |S| unknowns, a line again.
std::optional<std::vector<double>> sphere_lp::search(std::span<const double> c,
                                                     std::span<const linear_constraint> constraints,
                                                     bool lowest, bool first,
                                                     workspace& ws) const {
  const int k_all = static_cast<int>(constraints.size());
  const int vectors = k_all + 1;
  std::optional<std::vector<double>> best;
  double best_value = -std::numeric_limits<double>::infinity();
  std::vector<double>& v = ws.v;
  std::vector<double>& solved = ws.solved;
  std::vector<double>& gram = ws.gram;
  std::vector<double>& w = ws.w;
  w.assign(at(n_), 0.0);
  std::vector<int>& index = ws.index;
  std::vector<double>& z = ws.z;
  std::vector<double>& alpha0 = ws.alpha0;
  std::vector<double>& minor = ws.minor;
  std::vector<double>& a = ws.a;
  std::vector<double>& rhs = ws.rhs;
  std::vector<std::uint32_t>& sets = ws.sets;
  std::vector<std::uint32_t>& dead = ws.dead;
  const auto on_sphere = [&](std::span<const double> x) {
    double q = 0;
    for (int i = 0; i < n_; ++i) {
      for (int j = 0; j < n_; ++j) q += x[at(i)] * r_[at(i * n_ + j)] * x[at(j)];
    }
    return std::fabs(q - 1) <= 1e-6;
  };
  const auto feasible = [&](std::span<const double> x) {
    for (const linear_constraint& k : constraints) {
      double s = 0;
      for (int j = 0; j < n_; ++j) s += k.l[at(j)] * x[at(j)];
      if (s < k.b - constraint_tolerance * (1 + std::fabs(k.b))) return false;
    }
    return true;
  };
  // Whether the best so far is proved the maximum (convex_maximum), or,
  // with `first`, is a weighting that meets the constraints at all: the
  // enumeration then ends.
  bool settled = false;
  // The support visited, and the best so far's.
  std::size_t visiting = 0;
  std::size_t best_support = supports_.size();
  // A candidate: kept where it is a weighting (on the sphere, with the
  // signs) that meets every constraint and does better. A degenerate line
  // (its quadratic without a leading term) gives points off the sphere,
  // the origin among them: none is a weighting.
  // Whether it is a weighting at all.
  const auto consider = [&](std::span<const double> x) {
    if (signs_ == sign_constraint::nonnegative &&
        std::any_of(x.begin(), x.end(), [](double y) { return y < 0; }))
      return false;
    if (!on_sphere(x)) return false;
    double value = 0;
    if (lowest) {
      value = lowest_slack(x, constraints);
    } else {
      if (!feasible(x)) return true;
      for (int j = 0; j < n_; ++j) value += c[at(j)] * x[at(j)];
    }
    if (value > best_value) {
      best_value = value;
      if (best) {
        best->assign(x.begin(), x.end());
      } else {
        best.emplace(x.begin(), x.end());
      }
      settled = settled || first;
      best_support = visiting;
    }
    return true;
  };
  // The two points where the line l_k.w = b_k (k in the set, |P| - 1 of
  // them, on the support's weights) meets the sphere: w = w0 + t d, d the
  // equations' null vector (their cofactors), w0 the point of the line
  // with d.w0 = 0.
  std::vector<double>& line_a = ws.line_a;
  std::vector<double>& line_b = ws.line_b;
  std::vector<double>& line_d = ws.line_d;
  std::vector<double>& line_minor = ws.line_minor;
  std::vector<double>& line_w = ws.line_w;
  std::vector<int>& rows = ws.rows;
  const auto line_points = [&](const support& p, std::uint32_t set) {
    const int m_p = static_cast<int>(p.members.size());
    const int eqs = m_p - 1;
    rows.clear();
    for (int k = 0; k < k_all; ++k) {
      if ((set >> k) & 1U) rows.push_back(k);
    }
    const auto entry = [&](int i, int col) {
      return constraints[at(rows[at(i)])].l[at(p.members[at(col)])];
    };
    if (!null_vector(entry, eqs, line_minor, line_d)) return;
    line_a.resize(at(m_p) * at(m_p));
    line_b.assign(at(m_p), 0.0);
    for (int i = 0; i < eqs; ++i) {
      for (int k = 0; k < m_p; ++k) line_a[at(i * m_p + k)] = entry(i, k);
      line_b[at(i)] = constraints[at(rows[at(i)])].b;
    }
    for (int k = 0; k < m_p; ++k) line_a[at(eqs * m_p + k)] = line_d[at(k)];
    if (!gauss_solve(line_a, line_b, m_p)) return;
    // (w0 + t d)' R_PP (w0 + t d) = 1.
    double q0 = 0;
    double q1 = 0;
    double q2 = 0;
    for (int i = 0; i < m_p; ++i) {
      for (int k = 0; k < m_p; ++k) {
        const double r = r_[at(p.members[at(i)] * n_ + p.members[at(k)])];
        q0 += line_b[at(i)] * r * line_b[at(k)];
        q1 += line_b[at(i)] * r * line_d[at(k)];
        q2 += line_d[at(i)] * r * line_d[at(k)];
      }
    }
    if (!(q2 > 0)) return;
    const double disc = q1 * q1 - q2 * (q0 - 1);
    if (disc < 0) return;
    const double root = std::sqrt(disc);
    for (const double t : {(-q1 + root) / q2, (-q1 - root) / q2}) {
      line_w.assign(at(n_), 0.0);
      for (int i = 0; i < m_p; ++i)
        line_w[at(p.members[at(i)])] = line_b[at(i)] + t * line_d[at(i)];
      static_cast<void>(consider(line_w));
    }
  };
  // Fewer equations where c lies in their span: c.w is the same all over
  // the set where they hold, and the forms (c's and every constraint's)
  // depend on w only through its part in V, the span of R^-1 c and the
  // R^-1 l. So the set's point nearest the origin (in R's norm), w0 =
  // R^-1 L'(L R^-1 L')^-1 b, within the sphere, carried onto it along a
  // direction R-orthogonal to V (which moves no form), is a weighting with
  // the forms of w0: the candidate. Weights of either sign only (the
  // direction has both), and only where V is not all of R^n.
  std::vector<double>& flat_a = ws.flat_a;
  std::vector<double>& flat_y = ws.flat_y;
  std::vector<double>& flat_b = ws.flat_b;
  std::vector<double>& flat_w = ws.flat_w;
  const auto flat_points = [&](const support& p, std::uint32_t set,
                               std::span<const double> outside) {
    const int m_p = static_cast<int>(p.members.size());
    rows.clear();
    for (int k = 0; k < k_all; ++k) {
      if ((set >> k) & 1U) rows.push_back(k + 1);
    }
    const int eqs = static_cast<int>(rows.size());
    flat_a.resize(at(eqs) * at(eqs));
    flat_y.resize(at(eqs));
    for (int i = 0; i < eqs; ++i) {
      for (int k = 0; k < eqs; ++k)
        flat_a[at(i * eqs + k)] = gram[at(rows[at(i)] * vectors + rows[at(k)])];
      flat_y[at(i)] = constraints[at(rows[at(i)] - 1)].b;
    }
    flat_b.assign(flat_y.begin(), flat_y.end());
    if (!gauss_solve(flat_a, flat_y, eqs)) return;
    double q = 0;
    for (int i = 0; i < eqs; ++i) q += flat_y[at(i)] * flat_b[at(i)];
    if (!(q <= 1)) return;
    const double along = std::sqrt(1 - q);
    flat_w.assign(at(n_), 0.0);
    for (int i = 0; i < m_p; ++i) {
      double x = along * outside[at(i)];
      for (int k = 0; k < eqs; ++k) x += flat_y[at(k)] * solved[at(rows[at(k)] * m_p + i)];
      flat_w[at(p.members[at(i)])] = x;
    }
    static_cast<void>(consider(flat_w));
  };
  // Whether the candidate of the span's line at t (just kept as the best)
  // is the maximum of c.w over the convex set w'Rw <= 1, l_k.w >= b_k (and
  // w >= 0), which holds every weighting of the sphere that meets the
  // constraints: then it is the maximum here too, and nothing else need
  // be visited. The convex problem's optimality conditions suffice there
  // (Boyd and Vandenberghe, Convex Optimization, 2004, 5.5.3): the point
  // is feasible, and c + sum lambda_k l_k + nu = mu R w with every
  // multiplier non-negative. On the span, R_PP w_P = sum_i alpha_i v_i
  // (v_0 = c_P, then the active l_P), so mu = 1 / alpha_0 and lambda_k =
  // alpha_k / alpha_0 for the active constraints (0 for the others), and
  // a weight held at 0 has nu_j = mu (R w)_j - c_j - sum lambda_k l_kj.
  // Where any is negative, or rounds to below 0, the enumeration goes on.
  // (On the published example's three-group fronts most calls end here,
  // the maximiser's work falling by two fifths.)
  const auto convex_maximum = [&](const support& p, double t) {
    const int m = static_cast<int>(index.size());
    const auto alpha = [&](int k) { return alpha0[at(k)] + t * z[at(k)]; };
    const double a0 = alpha(0);
    if (!(a0 > 0)) return false;
    for (int k = 1; k < m; ++k) {
      if (!(alpha(k) >= 0)) return false;
    }
    if (signs_ == sign_constraint::nonnegative && p.members.size() < at(n_)) {
      std::size_t member = 0;
      for (int j = 0; j < n_; ++j) {
        if (member < p.members.size() && p.members[member] == j) {
          ++member;
          continue;
        }
        double nu = 0;
        for (int i = 0; i < n_; ++i) nu += r_[at(j * n_ + i)] * w[at(i)];
        nu -= a0 * c[at(j)];
        for (int k = 1; k < m; ++k) nu -= alpha(k) * constraints[at(index[at(k)] - 1)].l[at(j)];
        if (!(nu >= 0)) return false;
      }
    }
    return true;
  };
  std::vector<double>& basis = ws.basis;
  std::vector<double>& direction = ws.direction;
  std::vector<double>& outside = ws.outside;
  // The support of the last search's maximiser first (the generation's
  // next search usually ends on it, and a good best so far passes over
  // more of the others), then the rest in their order.
  const std::size_t hinted = ws.support < supports_.size() ? ws.support : 0;
  for (std::size_t order = 0; order < supports_.size(); ++order) {
    if (settled) break;
    visiting = order == 0 ? hinted : (order <= hinted ? order - 1 : order);
    const support& p = supports_[visiting];
    const int m_p = static_cast<int>(p.members.size());
    v.assign(at(vectors) * at(m_p), 0);
    for (int i = 0; i < m_p; ++i) v[at(i)] = c[at(p.members[at(i)])];
    solved.assign(v.begin(), v.end());
    cholesky_solve(p.chol, m_p, std::span<double>(solved).subspan(0, at(m_p)));
    if (!lowest && best) {
      // The support's ceiling (below) from the objective alone, before the
      // constraints' work.
      double s = 0;
      for (int q = 0; q < m_p; ++q) s += v[at(q)] * solved[at(q)];
      if (std::sqrt(std::max(0.0, s)) * (1 + 1e-12) + 1e-15 < best_value) continue;
    }
    for (int i = 0; i < m_p; ++i) {
      const auto j = at(p.members[at(i)]);
      for (int k = 0; k < k_all; ++k) {
        v[at((k + 1) * m_p + i)] = constraints[at(k)].l[j];
        solved[at((k + 1) * m_p + i)] = constraints[at(k)].l[j];
      }
    }
    for (int k = 1; k < vectors; ++k)
      cholesky_solve(p.chol, m_p, std::span<double>(solved).subspan(at(k * m_p), at(m_p)));
    gram.assign(at(vectors) * at(vectors), 0);
    for (int i = 0; i < vectors; ++i) {
      for (int k = 0; k < vectors; ++k) {
        double s = 0;
        for (int q = 0; q < m_p; ++q) s += v[at(i * m_p + q)] * solved[at(k * m_p + q)];
        gram[at(i * vectors + k)] = s;
      }
    }
    // The direction for flat_points, found when first needed.
    bool outside_found = false;
    // No point of this support does better than the sphere's best without
    // constraints, sqrt(c_P' R_PP^-1 c_P) (for the lowest slack: than each
    // constraint's own best, sqrt(l_P' R_PP^-1 l_P) - b): a support that
    // cannot beat the best so far is passed over.
    double ceiling = std::sqrt(std::max(0.0, gram[0]));
    if (lowest) {
      ceiling = std::numeric_limits<double>::infinity();
      for (int k = 1; k < vectors; ++k) {
        ceiling = std::min(ceiling, std::sqrt(std::max(0.0, gram[at(k * vectors + k)])) -
                                        constraints[at(k - 1)].b);
      }
    }
    if (best && ceiling * (1 + 1e-12) + 1e-15 < best_value) continue;
    // Nor does any point of it meet a constraint whose own best there,
    // sqrt(l_P' R_PP^-1 l_P), falls short of b (by more than the
    // feasibility check's margin and rounding's).
    if (!lowest) {
      bool reachable = true;
      for (int k = 1; k < vectors && reachable; ++k) {
        const double b = constraints[at(k - 1)].b;
        const double most = std::sqrt(std::max(0.0, gram[at(k * vectors + k)]));
        reachable = most * (1 + 1e-12) + 1e-15 >= b - constraint_tolerance * (1 + std::fabs(b));
      }
      if (!reachable) continue;
    }
    // Every set of active constraints of at most |P| - 1 members.
    // The sets of each size in turn (Gosper's next set of the same size),
    // up to the most the support allows.
    const int largest = std::min(k_all, lowest ? m_p : m_p - 1);
    sets.clear();
    for (int size = lowest ? 1 : 0; size <= largest; ++size) {
      if (size == 0) {
        sets.push_back(0);
        continue;
      }
      std::uint32_t set = (std::uint32_t{1} << size) - 1;
      const std::uint32_t end = std::uint32_t{1} << k_all;
      while (set < end) {
        sets.push_back(set);
        const std::uint32_t low = set & (~set + 1);
        const std::uint32_t ripple = set + low;
        set = (((ripple ^ set) >> 2) / low) | ripple;
      }
    }
    dead.clear();
    for (const std::uint32_t s : sets) {
      if (settled) break;
      if (std::any_of(dead.begin(), dead.end(), [s](std::uint32_t d) { return (s & d) == d; }))
        continue;
      const int chosen = std::popcount(s);
      // The vectors of the span (the objective, then the active
      // constraints; or the constraints at the minimum) and the rows of the
      // equations in them.
      const int m = lowest ? chosen : chosen + 1;
      const int active = m - 1;
      if (m < 1 || m > m_p) continue;
      // The points of the span's line on the sphere; false where it gives
      // none (or its numbers fail).
      const auto from_span = [&]() -> bool {
        index.clear();
        if (!lowest) index.push_back(0);
        for (int k = 0; k < k_all; ++k) {
          if ((s >> k) & 1U) index.push_back(k + 1);
        }
        const auto g = [&](int i, int k) { return gram[at(index[at(i)] * vectors + index[at(k)])]; };
        const auto row = [&](int i, int k) {  // equation i (0-based) at column k
          return lowest ? g(i + 1, k) - g(0, k) : g(i + 1, k);
        };
        const auto rhs_of = [&](int i) {
          const double b = constraints[at(index[at(i + 1)] - 1)].b;
          return lowest ? b - constraints[at(index[0] - 1)].b : b;
        };
        // alpha = alpha0 + t z: z spans the null space of the active rows
        // (their cofactors), alpha0 solves them with alpha0 . z = 0.
        z.assign(at(m), 0.0);
        alpha0.assign(at(m), 0.0);
        if (m == 1) {
          z[0] = 1;
        } else {
          if (!null_vector(row, active, minor, z)) return false;
          a.resize(at(m) * at(m));
          rhs.assign(at(m), 0.0);
          for (int i = 0; i < active; ++i) {
            for (int k = 0; k < m; ++k) a[at(i * m + k)] = row(i, k);
            rhs[at(i)] = rhs_of(i);
          }
          for (int k = 0; k < m; ++k) a[at(active * m + k)] = z[at(k)];
          if (!gauss_solve(a, rhs, m)) return false;
          alpha0 = rhs;
        }
        // alpha' G alpha = 1 along the line.
        double q0 = 0;
        double q1 = 0;
        double q2 = 0;
        for (int i = 0; i < m; ++i) {
          for (int k = 0; k < m; ++k) {
            q0 += alpha0[at(i)] * g(i, k) * alpha0[at(k)];
            q1 += alpha0[at(i)] * g(i, k) * z[at(k)];
            q2 += z[at(i)] * g(i, k) * z[at(k)];
          }
        }
        if (!(q2 > 0)) return false;
        const double disc = q1 * q1 - q2 * (q0 - 1);
        if (disc < 0) {
          // No point of the sphere meets these equations, nor any set of
          // them with more.
          if (!lowest) dead.push_back(s);
          return false;
        }
        const double root = std::sqrt(disc);
        if (!lowest && best) {
          // The two roots are the highest and the lowest c.w on the sphere
          // where these constraints hold as equations (the support's
          // ellipsoid cut by them): more equations cut it further, so where
          // the highest cannot beat the best so far, no set with more
          // members can, and they are passed over. The margin keeps
          // rounding from deciding.
          double high = -std::numeric_limits<double>::infinity();
          for (const double t : {(-q1 + root) / q2, (-q1 - root) / q2}) {
            double value = 0;
            for (int k = 0; k < m; ++k) value += g(0, k) * (alpha0[at(k)] + t * z[at(k)]);
            high = std::max(high, value);
          }
          if (high < best_value - 1e-12 * (1 + std::fabs(best_value))) {
            dead.push_back(s);
            return true;
          }
        }
        bool met = false;
        for (const double t : {(-q1 + root) / q2, (-q1 - root) / q2}) {
          std::fill(w.begin(), w.end(), 0.0);
          for (int i = 0; i < m_p; ++i) {
            double x = 0;
            for (int k = 0; k < m; ++k)
              x += solved[at(index[at(k)] * m_p + i)] * (alpha0[at(k)] + t * z[at(k)]);
            w[at(p.members[at(i)])] = x;
          }
          const double before = best_value;
          met = consider(w) || met;
          if (!lowest && best_value > before && convex_maximum(p, t)) {
            settled = true;
            return true;
          }
        }
        return met;
      };
      // With |P| - 1 equations the line is theirs alone, whatever the
      // objective. Where c lies in the span of the active l (the sphere's
      // multiplier 0: c.w is then the same all along the line) the span
      // above is too small, or its coefficients cancel to nothing, and
      // gives no point: the line's points on the sphere are then taken from
      // the equations themselves.
      if (!from_span() && !lowest && active > 0) {
        if (active == m_p - 1) {
          line_points(p, s);
        } else if (signs_ == sign_constraint::any) {
          if (!outside_found) {
            orthogonal_direction(v, vectors, m_p, p.chol, basis, direction, outside);
            outside_found = true;
          }
          if (!outside.empty()) flat_points(p, s, outside);
        }
      }
    }
  }
  if (best_support < supports_.size()) ws.support = best_support;
  return best;
}

sphere_lp_searcher::sphere_lp_searcher(const sphere_lp& lp) : lp_(&lp) {}

}  // namespace pareto
