#include "pareto/kkt_newton.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "pareto/sphere_lp.h"

namespace pareto {

namespace {

constexpr double difference_step = 1e-5;
// The longest step in y (w has w'Rw = 1).
constexpr double longest_step = 0.25;
// A step shorter than this ends the search.
constexpr double settled = 1e-13;

using rows = std::vector<std::vector<double>>;

double r_inner(std::span<const double> r, std::span<const double> x, std::span<const double> y) {
  const std::size_t n = x.size();
  double s = 0;
  for (std::size_t i = 0; i < n; ++i) {
    double row = 0;
    for (std::size_t j = 0; j < n; ++j) row += r[i * n + j] * y[j];
    s += x[i] * row;
  }
  return s;
}

void normalise(std::span<const double> r, std::vector<double>& w) {
  const double scale = 1 / std::sqrt(r_inner(r, w, w));
  for (double& x : w) x *= scale;
}

// An R-orthonormal basis of the free weights' directions R-orthogonal to
// w (w'Rw = 1), by Gram-Schmidt with a second pass.
rows tangent_basis(std::span<const double> r, const std::vector<double>& w,
                   const std::vector<bool>& free) {
  const std::size_t n = w.size();
  rows basis{w};
  for (std::size_t j = 0; j < n; ++j) {
    if (!free[j]) continue;
    std::vector<double> e(n, 0.0);
    e[j] = 1;
    for (int pass = 0; pass < 2; ++pass) {
      for (const std::vector<double>& b : basis) {
        const double along = r_inner(r, e, b);
        for (std::size_t i = 0; i < n; ++i) e[i] -= along * b[i];
      }
    }
    const double size = std::sqrt(r_inner(r, e, e));
    if (!(size > 1e-8)) continue;
    for (double& x : e) x /= size;
    basis.push_back(std::move(e));
  }
  basis.erase(basis.begin());
  return basis;
}

std::vector<double> moved(const std::vector<double>& w, const rows& basis,
                          std::span<const double> y) {
  std::vector<double> x = w;
  for (std::size_t i = 0; i < basis.size(); ++i) {
    for (std::size_t j = 0; j < x.size(); ++j) x[j] += y[i] * basis[i][j];
  }
  return x;
}

// Gradients in w carried to y.
rows projected(const rows& gw, const rows& basis) {
  rows gy(gw.size(), std::vector<double>(basis.size(), 0.0));
  for (std::size_t f = 0; f < gw.size(); ++f) {
    for (std::size_t i = 0; i < basis.size(); ++i) {
      for (std::size_t j = 0; j < gw[f].size(); ++j) gy[f][i] += gw[f][j] * basis[i][j];
    }
  }
  return gy;
}

// q and the constraints at w in y: values, gradients and Hessians (m*m
// each, by central differences of the gradients, made symmetric).
struct local_model {
  std::vector<double> values;
  rows grad;
  rows hess;
};

std::optional<local_model> model_at(const kkt_problem& p, const std::vector<double>& w,
                                    const rows& basis) {
  const std::size_t m = basis.size();
  const std::optional<values_and_gradients> here = p.derivatives(w);
  if (!here) return std::nullopt;
  local_model out{here->values, projected(here->gradients, basis),
                  rows(here->values.size(), std::vector<double>(m * m))};
  for (std::size_t i = 0; i < m; ++i) {
    std::vector<double> y(m, 0.0);
    y[i] = difference_step;
    const auto plus = p.derivatives(moved(w, basis, y));
    y[i] = -difference_step;
    const auto minus = p.derivatives(moved(w, basis, y));
    if (!plus || !minus) return std::nullopt;
    const rows up = projected(plus->gradients, basis);
    const rows down = projected(minus->gradients, basis);
    for (std::size_t f = 0; f < out.hess.size(); ++f) {
      for (std::size_t k = 0; k < m; ++k)
        out.hess[f][i * m + k] = (up[f][k] - down[f][k]) / (2 * difference_step);
    }
  }
  for (std::vector<double>& h : out.hess) {
    for (std::size_t i = 0; i < m; ++i) {
      for (std::size_t k = 0; k < i; ++k) {
        const double mean = (h[i * m + k] + h[k * m + i]) / 2;
        h[i * m + k] = mean;
        h[k * m + i] = mean;
      }
    }
  }
  return out;
}

// (JJ')^-1 times b, J the constraints' gradients (rows 1..a of grad).
std::optional<std::vector<double>> normal_solve(const rows& grad, std::size_t a,
                                                std::vector<double> b) {
  if (a == 0) return b;
  const std::size_t m = grad[0].size();
  std::vector<double> normal(a * a, 0.0);
  for (std::size_t p = 0; p < a; ++p) {
    for (std::size_t q = 0; q < a; ++q) {
      for (std::size_t i = 0; i < m; ++i) normal[p * a + q] += grad[p + 1][i] * grad[q + 1][i];
    }
  }
  if (!gauss_solve(normal, b, static_cast<int>(a))) return std::nullopt;
  return b;
}

// The multipliers that best meet grad q + J' lambda = 0, by least squares.
std::optional<std::vector<double>> first_multipliers(const rows& grad, std::size_t a) {
  std::vector<double> b(a, 0.0);
  for (std::size_t p = 0; p < a; ++p) {
    for (std::size_t i = 0; i < grad[0].size(); ++i) b[p] -= grad[p + 1][i] * grad[0][i];
  }
  return normal_solve(grad, a, std::move(b));
}

// The step dy and the new multipliers from the Newton-KKT system.
std::optional<std::pair<std::vector<double>, std::vector<double>>> kkt_step(
    const local_model& model, const std::vector<double>& lambda) {
  const std::size_t a = lambda.size();
  const std::size_t m = model.grad[0].size();
  std::vector<double> h(m * m);
  for (std::size_t i = 0; i < m * m; ++i) {
    double v = model.hess[0][i];
    for (std::size_t p = 0; p < a; ++p) v += lambda[p] * model.hess[p + 1][i];
    h[i] = v;
  }
  const double tau =
      ascent_shift(h, std::span<const std::vector<double>>(model.grad).subspan(1, a), m);
  for (std::size_t i = 0; i < m; ++i) h[i * m + i] -= tau;
  const std::size_t k = m + a;
  std::vector<double> system(k * k, 0.0);
  std::vector<double> b(k, 0.0);
  for (std::size_t i = 0; i < m; ++i) {
    for (std::size_t j = 0; j < m; ++j) system[i * k + j] = h[i * m + j];
    for (std::size_t p = 0; p < a; ++p) {
      system[i * k + m + p] = model.grad[p + 1][i];
      system[(m + p) * k + i] = model.grad[p + 1][i];
    }
    b[i] = -model.grad[0][i];
  }
  for (std::size_t p = 0; p < a; ++p) b[m + p] = -model.values[p + 1];
  if (!gauss_solve(system, b, static_cast<int>(k))) return std::nullopt;
  const auto split = b.begin() + static_cast<std::ptrdiff_t>(m);
  return std::pair{std::vector<double>(b.begin(), split), std::vector<double>(split, b.end())};
}

double violation(const std::vector<double>& values) {
  double worst = 0;
  for (std::size_t p = 1; p < values.size(); ++p) worst = std::max(worst, std::fabs(values[p]));
  return worst;
}

// The end of the step y carried back onto c = 0 (at most three
// corrections), with its values.
std::optional<std::pair<std::vector<double>, std::vector<double>>> corrected(
    const kkt_problem& p, const std::vector<double>& w, const rows& basis, const rows& grad,
    std::vector<double> y) {
  for (int fix = 0;; ++fix) {
    const std::optional<std::vector<double>> f = p.values(moved(w, basis, y));
    if (!f) return std::nullopt;
    if (p.constraints == 0 || violation(*f) < 1e-15 || fix == 3) return std::pair{y, *f};
    std::vector<double> minus_c(f->begin() + 1, f->end());
    for (double& x : minus_c) x = -x;
    const std::optional<std::vector<double>> along = normal_solve(grad, p.constraints, minus_c);
    if (!along) return std::pair{y, *f};
    for (std::size_t i = 0; i < y.size(); ++i) {
      for (std::size_t q = 0; q < p.constraints; ++q) y[i] += grad[q + 1][i] * (*along)[q];
    }
  }
}

// The share t of the step to w + B dy where a free weight first reaches 0,
// with that weight; none where all stay non-negative.
std::optional<std::pair<double, int>> sign_stop(const std::vector<double>& w,
                                                const std::vector<double>& end,
                                                const std::vector<bool>& free) {
  double t = 1;
  int stop = -1;
  for (std::size_t j = 0; j < end.size(); ++j) {
    if (free[j] && end[j] < 0) {
      const double tj = w[j] / (w[j] - end[j]);
      if (tj < t) {
        t = tj;
        stop = static_cast<int>(j);
      }
    }
  }
  if (stop < 0) return std::nullopt;
  return std::pair{t, stop};
}

}  // namespace

kkt_end kkt_newton(const kkt_problem& p, std::vector<double> w, int most_steps) {
  const std::size_t a = p.constraints;
  std::vector<double> lambda;
  for (int step = 0; step < most_steps; ++step) {
    normalise(p.r, w);
    const rows basis = tangent_basis(p.r, w, p.free);
    const std::size_t m = basis.size();
    if (m == 0 || a > m) return {};
    const std::optional<local_model> model = model_at(p, w, basis);
    if (!model) return {};
    if (lambda.size() != a) {
      const std::optional<std::vector<double>> first = first_multipliers(model->grad, a);
      if (!first) return {};
      lambda = *first;
    }
    auto next = kkt_step(*model, lambda);
    if (!next) return {};
    std::vector<double>& dy = next->first;
    lambda = std::move(next->second);
    double longest = 0;
    for (const double x : dy) longest = std::max(longest, std::fabs(x));
    if (!std::isfinite(longest)) return {};
    if (longest > longest_step) {
      for (double& x : dy) x *= longest_step / longest;
      longest = longest_step;
    }
    const double q0 = model->values[0];
    const double v0 = violation(model->values);
    bool taken = false;
    for (int half = 0; half < 40 && !taken; ++half) {
      if (p.nonnegative) {
        if (const auto stop = sign_stop(w, moved(w, basis, dy), p.free)) {
          for (double& x : dy) x *= stop->first;
          std::vector<double> end = moved(w, basis, dy);
          end[static_cast<std::size_t>(stop->second)] = 0;
          normalise(p.r, end);
          return {true, std::move(end), std::move(lambda), stop->second};
        }
      }
      if (const auto c = corrected(p, w, basis, model->grad, dy)) {
        const double q1 = c->second[0];
        const double v1 = violation(c->second);
        if (longest < 1e-10 || (q1 >= q0 && v1 <= std::max(v0, 1e-12)) || v1 <= v0 / 2) {
          w = moved(w, basis, c->first);
          taken = true;
          break;
        }
      }
      for (double& x : dy) x /= 2;
      longest /= 2;
    }
    if (!taken || longest < settled) break;
  }
  normalise(p.r, w);
  return {true, std::move(w), std::move(lambda), -1};
}

double ascent_shift(std::span<const double> h, std::span<const std::vector<double>> j,
                    std::size_t m) {
  // An orthonormal basis of the null space: the rows of j made
  // orthonormal, then the unit vectors less their parts along them.
  rows basis;
  const auto reduce = [&](std::vector<double> v) {
    for (int pass = 0; pass < 2; ++pass) {
      for (const std::vector<double>& q : basis) {
        double along = 0;
        for (std::size_t i = 0; i < m; ++i) along += v[i] * q[i];
        for (std::size_t i = 0; i < m; ++i) v[i] -= along * q[i];
      }
    }
    double size = 0;
    for (const double x : v) size += x * x;
    size = std::sqrt(size);
    if (!(size > 1e-8)) return;
    for (double& x : v) x /= size;
    basis.push_back(std::move(v));
  };
  for (const std::vector<double>& row : j) reduce(row);
  const std::size_t active = basis.size();
  for (std::size_t i = 0; i < m; ++i) {
    std::vector<double> e(m, 0.0);
    e[i] = 1;
    reduce(e);
  }
  const std::size_t r = basis.size() - active;
  if (r == 0) return 0;
  // -Z'HZ.
  std::vector<double> z(r * r, 0.0);
  double size = 0;
  for (std::size_t u = 0; u < r; ++u) {
    for (std::size_t v = 0; v < r; ++v) {
      double s = 0;
      for (std::size_t i = 0; i < m; ++i) {
        for (std::size_t k = 0; k < m; ++k)
          s += basis[active + u][i] * h[i * m + k] * basis[active + v][k];
      }
      z[u * r + v] = -s;
      size = std::max(size, std::fabs(s));
    }
  }
  const auto positive_definite = [&](double tau) {
    std::vector<double> c = z;
    for (std::size_t i = 0; i < r; ++i) c[i * r + i] += tau;
    for (std::size_t col = 0; col < r; ++col) {
      double d = c[col * r + col];
      for (std::size_t k = 0; k < col; ++k) d -= c[col * r + k] * c[col * r + k];
      if (!(d > 0)) return false;
      d = std::sqrt(d);
      c[col * r + col] = d;
      for (std::size_t i = col + 1; i < r; ++i) {
        double s = c[i * r + col];
        for (std::size_t k = 0; k < col; ++k) s -= c[i * r + k] * c[col * r + k];
        c[i * r + col] = s / d;
      }
    }
    return true;
  };
  if (positive_definite(0)) return 0;
  double tau = std::max(1e-3 * size, 1e-8);
  while (!positive_definite(tau) && tau < 1e12) tau *= 2;
  return tau;
}

}  // namespace pareto
