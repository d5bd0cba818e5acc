#include "pareto/box_qp.h"

#include <cblas.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <stdexcept>

#include "numeric/packed.h"

namespace pareto::detail {

namespace {

std::size_t at(int i) { return static_cast<std::size_t>(i); }

double element(std::span<const double> r, int n, int i, int j) { return r[at(i) * at(n) + at(j)]; }

}  // namespace

bool cholesky::factor(std::span<const double> r, int n, std::span<const int> idx) {
  order_ = static_cast<int>(idx.size());
  packed_.clear();
  packed_.reserve(idx.size() * (idx.size() + 1) / 2);
  // Upper triangle by columns, as dppfa wants it.
  for (std::size_t j = 0; j < idx.size(); ++j) {
    for (std::size_t i = 0; i <= j; ++i) packed_.push_back(element(r, n, idx[i], idx[j]));
  }
  if (order_ == 0) return true;
  int info = -1;
  numeric::dppfa(packed_, order_, info);
  return info == 0;
}

void cholesky::solve(std::span<double> b) const {
  if (order_ == 0) return;
  // A = U'U: U'y = b, then Ux = y.
  cblas_dtpsv(CblasColMajor, CblasUpper, CblasTrans, CblasNonUnit, order_, packed_.data(), b.data(),
              1);
  cblas_dtpsv(CblasColMajor, CblasUpper, CblasNoTrans, CblasNonUnit, order_, packed_.data(),
              b.data(), 1);
}

namespace {

// The state of the active-set scheme: the free set F (as positions into
// idx) and the current point z.
class box_qp {
 public:
  box_qp(std::span<const double> r, int n, std::span<const int> idx, std::span<const double> q,
         std::span<const char> bounded)
      : r_(r),
        n_(n),
        idx_(idx),
        q_(q),
        bounded_(bounded),
        z_(idx.size(), 0.0),
        free_(idx.size(), 0),
        held_(idx.size(), 0) {}

  box_qp_solution run() {
    for (std::size_t j = 0; j < idx_.size(); ++j) free_[j] = bounded_[j] == 0 ? 1 : 0;
    if (std::find(free_.begin(), free_.end(), 1) != free_.end()) {
      // Unbounded variables only: one solve, no sign to respect.
      const std::vector<double> y = solve_free();
      scatter(y);
    }
    const std::size_t limit = 50 * (idx_.size() + 1);
    for (std::size_t step = 0;; ++step) {
      if (step > limit) throw std::runtime_error("pareto: the quadratic programme did not end");
      const std::ptrdiff_t enter = entering();
      if (enter < 0) break;
      free_[static_cast<std::size_t>(enter)] = 1;
      if (!settle(static_cast<std::size_t>(enter), limit)) {
        // The entering variable would not leave its bound: hold it out.
        free_[static_cast<std::size_t>(enter)] = 0;
        held_[static_cast<std::size_t>(enter)] = 1;
      } else {
        std::fill(held_.begin(), held_.end(), 0);
      }
    }
    return {z_, free_};
  }

 private:
  // The bounded variable outside F with the largest multiplier
  // q_j - (Hz)_j above its rounding error, or -1 at the KKT point.
  std::ptrdiff_t entering() const {
    constexpr double eps = std::numeric_limits<double>::epsilon();
    std::ptrdiff_t best = -1;
    double best_mu = 0;
    for (std::size_t j = 0; j < idx_.size(); ++j) {
      if (free_[j] != 0 || held_[j] != 0) continue;
      double mu = q_[j];
      double size = std::abs(q_[j]);
      for (std::size_t i = 0; i < idx_.size(); ++i) {
        if (free_[i] == 0) continue;
        const double term = element(r_, n_, idx_[j], idx_[i]) * z_[i];
        mu -= term;
        size += std::abs(term);
      }
      if (mu > 64 * eps * size && mu > best_mu) {
        best_mu = mu;
        best = static_cast<std::ptrdiff_t>(j);
      }
    }
    return best;
  }

  // Minimises over the free set, stepping back to the first bound crossed
  // and dropping the variables that reach it, until the free minimiser is
  // feasible. False if the newly entered variable itself would go negative
  // at once (then nothing has changed).
  bool settle(std::size_t entered, std::size_t limit) {
    for (std::size_t step = 0; step <= limit; ++step) {
      const std::vector<double> y = solve_free();
      double alpha = 1;
      std::ptrdiff_t blocking = -1;
      std::size_t k = 0;
      for (std::size_t j = 0; j < idx_.size(); ++j) {
        if (free_[j] == 0) continue;
        const double yj = y[k++];
        if (bounded_[j] == 0 || yj > 0) continue;
        if (j == entered && z_[j] == 0) return false;
        const double ratio = z_[j] / (z_[j] - yj);
        if (ratio < alpha) {
          alpha = ratio;
          blocking = static_cast<std::ptrdiff_t>(j);
        }
      }
      if (blocking < 0) {
        scatter(y);
        return true;
      }
      k = 0;
      for (std::size_t j = 0; j < idx_.size(); ++j) {
        if (free_[j] == 0) continue;
        z_[j] += alpha * (y[k++] - z_[j]);
        if (bounded_[j] != 0 && (z_[j] <= 0 || static_cast<std::ptrdiff_t>(j) == blocking)) {
          z_[j] = 0;
          free_[j] = 0;
        }
      }
    }
    throw std::runtime_error("pareto: the quadratic programme did not end");
  }

  std::vector<double> solve_free() {
    members_.clear();
    std::vector<double> y;
    for (std::size_t j = 0; j < idx_.size(); ++j) {
      if (free_[j] == 0) continue;
      members_.push_back(idx_[j]);
      y.push_back(q_[j]);
    }
    if (!chol_.factor(r_, n_, members_))
      throw std::runtime_error("pareto: a principal submatrix is not positive definite");
    chol_.solve(y);
    return y;
  }

  void scatter(const std::vector<double>& y) {
    std::size_t k = 0;
    for (std::size_t j = 0; j < idx_.size(); ++j) z_[j] = free_[j] != 0 ? y[k++] : 0.0;
  }

  std::span<const double> r_;
  int n_;
  std::span<const int> idx_;
  std::span<const double> q_;
  std::span<const char> bounded_;
  std::vector<double> z_;
  std::vector<char> free_;
  std::vector<char> held_;
  std::vector<int> members_;
  cholesky chol_;
};

}  // namespace

box_qp_solution solve_box_qp(std::span<const double> r, int n, std::span<const int> idx,
                             std::span<const double> q, std::span<const char> bounded) {
  return box_qp(r, n, idx, q, bounded).run();
}

}  // namespace pareto::detail
