// Monte Carlo cross-validation of a front's weights.
//
// A calibration sample of normal scores is summed up, exactly, by its
// groups' means and its pooled within-group scatter, which are independent:
// the means are normal, mean_g + L z / sqrt(n_g), and the scatter is
// Wishart with N - G degrees of freedom, drawn by Bartlett's decomposition
// (Bartlett 1933; Anderson 2003, An Introduction to Multivariate
// Statistical Analysis, 3rd ed., Theorem 7.2.1 and Corollary 7.2.1) as
// L A A' L', A lower triangular with A_ii^2 chi-square with N - G - i + 1
// degrees of freedom and standard normal A_ij below the diagonal, where
// L L' is the population's correlation matrix. Each replication then costs
// the same for any N. The estimates formed from these moments are those
// estimate_population forms from the rows (tests/pareto check the spread
// against draws of whole samples).
#include "fourfifths/cross_validation.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <thread>
#include <utility>

#include "fourfifths/estimate.h"
#include "numeric/packed.h"
#include "numeric/random_draws.h"

namespace fourfifths {

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// The population as given, with its groups' effect sizes kept apart.
group_problem_spec spec_of(const group_problem& p) {
  group_problem_spec spec;
  spec.base = p.base().spec();
  spec.base.predictor_effects.clear();
  spec.base.criterion_effects.clear();
  spec.base.minority_share.reset();
  spec.base.majority_per_minority.reset();
  spec.groups.assign(p.groups().begin(), p.groups().end());
  return spec;
}

// The lower triangle L of the correlation matrix R = L L', row by row, or
// nothing when R is not positive definite.
std::optional<std::vector<double>> cholesky_lower(const problem_spec& s) {
  const int v = s.predictors + s.criteria;
  std::vector<double> packed;
  for (int j = 0; j < v; ++j) {
    for (int i = 0; i <= j; ++i) {
      packed.push_back(s.correlations[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)]);
    }
  }
  int info = 0;
  numeric::dppfa(packed, v, info);
  if (info != 0) return std::nullopt;
  // dppfa leaves R = U'U with U upper, column by column: L = U'.
  const auto n = static_cast<std::size_t>(v);
  std::vector<double> lower(n * n, 0.0);
  for (std::size_t j = 0; j < n; ++j) {
    for (std::size_t i = 0; i <= j; ++i) lower[j * n + i] = packed[j * (j + 1) / 2 + i];
  }
  return lower;
}

// What one replication's weighting at one level gives in the population.
struct evaluated {
  double validity = nan;
  double mean = nan;
  double lowest_ratio = nan;
  bool reached = true;
};

class replicator {
 public:
  replicator(const group_problem& population, const pareto_options& options,
             std::span<const double> levels, const calibration_options& c,
             std::vector<double> lower)
      : population_(spec_of(population)),
        options_(options),
        levels_(levels.begin(), levels.end()),
        calibration_(c),
        counts_(calibration_counts(population, c.calibration_n)),
        lower_(std::move(lower)),
        v_(static_cast<std::size_t>(population_.base.predictors + population_.base.criteria)) {
    population_.base.mode = options.mode;
    // The samples' fronts ignore the weights; the population's evaluations
    // set them.
    population_.base.regression_weights = false;
    population_.base.predictor_weights.assign(
        static_cast<std::size_t>(population_.base.predictors), 1.0);
  }

  const std::vector<std::int64_t>& counts() const { return counts_; }

  // The weightings of replication k at every level, evaluated; empty when
  // the sample allowed no front.
  std::vector<evaluated> run(std::uint64_t k) const {
    numeric::random_draws draws(numeric::stream_generator(calibration_.seed, k));
    const std::optional<group_problem> sample = draw_sample(draws);
    if (!sample) return {};
    const group_levels_result found = best_group_weightings_at_levels(*sample, options_, levels_);
    if (!found.value) return {};
    std::vector<evaluated> out;
    out.reserve(levels_.size());
    for (std::size_t l = 0; l < levels_.size(); ++l) {
      const group_weighting_outcome& w = (*found.value)[l];
      evaluated e = evaluate(w.weights);
      e.reached = !(levels_[l] > 0) || w.lowest_ratio_to_highest >= levels_[l];
      out.push_back(e);
    }
    return out;
  }

 private:
  // A sample's estimates as a problem, or nothing when they allow none.
  std::optional<group_problem> draw_sample(numeric::random_draws& draws) const {
    const std::size_t v = v_;
    const std::size_t groups = counts_.size();
    std::vector<double> z(v);
    std::vector<std::vector<double>> means(groups, std::vector<double>(v));
    for (std::size_t g = 0; g < groups; ++g) {
      for (double& x : z) x = draws.normal();
      const double scale = 1.0 / std::sqrt(static_cast<double>(counts_[g]));
      for (std::size_t j = 0; j < v; ++j) {
        double s = 0;
        for (std::size_t i = 0; i <= j; ++i) s += lower_[j * v + i] * z[i];
        const double mu = g == 0 ? 0.0 : population_.groups[g - 1].d[j];
        means[g][j] = mu + s * scale;
      }
    }
    // Bartlett's A, then B = L A and the scatter B B'.
    std::int64_t rows = 0;
    for (const std::int64_t c : counts_) rows += c;
    const double dof = static_cast<double>(rows - static_cast<std::int64_t>(groups));
    std::vector<double> a(v * v, 0.0);
    for (std::size_t i = 0; i < v; ++i) {
      a[i * v + i] = std::sqrt(draws.chi_square(dof - static_cast<double>(i)));
      for (std::size_t j = 0; j < i; ++j) a[i * v + j] = draws.normal();
    }
    std::vector<double> b(v * v, 0.0);
    for (std::size_t i = 0; i < v; ++i) {
      for (std::size_t j = 0; j <= i; ++j) {
        double s = 0;
        for (std::size_t m = j; m <= i; ++m) s += lower_[i * v + m] * a[m * v + j];
        b[i * v + j] = s;
      }
    }
    std::vector<double> scatter(v * v, 0.0);
    for (std::size_t i = 0; i < v; ++i) {
      for (std::size_t j = 0; j <= i; ++j) {
        double s = 0;
        for (std::size_t m = 0; m <= j; ++m) s += b[i * v + m] * b[j * v + m];
        scatter[i * v + j] = s;
      }
    }
    const estimate_result e = estimate_from_moments(std::move(means), counts_, scatter);
    if (!e.value) return std::nullopt;
    group_problem_spec spec = population_;
    spec.base.correlations = e.value->correlations;
    for (std::size_t g = 0; g + 1 < groups; ++g) spec.groups[g].d = e.value->effects[g];
    group_problem_result built = make_group_problem(std::move(spec));
    if (!built.value || !built.warnings.empty()) return std::nullopt;
    return std::move(*built.value);
  }

  // The weighting's outcome in the population.
  evaluated evaluate(const std::vector<double>& weights) const {
    group_problem_spec spec = population_;
    spec.base.predictor_weights = weights;
    const group_problem_result built = make_group_problem(std::move(spec));
    if (!built.value) return {};
    const group_model model = group_model_of(*built.value);
    const group_outcome o = group_outcome_at(model, options_.ratio);
    if (!o.solved()) return {};
    evaluated e;
    e.validity = model.validity;
    e.mean = o.mean.value_or(nan);
    e.lowest_ratio = 1.0;
    for (const group_rate& g : o.groups) e.lowest_ratio = std::min(e.lowest_ratio, g.ratio_to_highest);
    return e;
  }

  group_problem_spec population_;
  pareto_options options_;
  std::vector<double> levels_;
  calibration_options calibration_;
  std::vector<std::int64_t> counts_;
  std::vector<double> lower_;
  std::size_t v_;
};

// Type 7 quantile of sorted values.
double quantile(const std::vector<double>& sorted, double p) {
  const double h = (static_cast<double>(sorted.size()) - 1) * p;
  const auto lo = static_cast<std::size_t>(std::floor(h));
  const std::size_t hi = std::min(lo + 1, sorted.size() - 1);
  return sorted[lo] + (h - static_cast<double>(lo)) * (sorted[hi] - sorted[lo]);
}

spread spread_of(std::vector<double> x) {
  spread s;
  const auto n = static_cast<double>(x.size());
  double sum = 0;
  for (const double v : x) sum += v;
  s.mean = sum / n;
  double squares = 0;
  for (const double v : x) squares += (v - s.mean) * (v - s.mean);
  s.standard_error = x.size() > 1 ? std::sqrt(squares / (n - 1) / n) : nan;
  std::sort(x.begin(), x.end());
  s.q05 = quantile(x, 0.05);
  s.q95 = quantile(x, 0.95);
  return s;
}

std::vector<fault> check_calibration(const group_problem& p, const calibration_options& c) {
  std::vector<fault> errors;
  if (c.calibration_n < 1 || c.calibration_n > most_calibration_n) {
    errors.push_back({"calibration_n", "must lie between 1 and " +
                                           std::to_string(most_calibration_n)});
  }
  if (c.replications < 1 || c.replications > most_replications) {
    errors.push_back({"replications",
                      "must lie between 1 and " + std::to_string(most_replications)});
  }
  if (c.threads < 1) errors.push_back({"threads", "must be at least 1"});
  if (!p.majority_share()) {
    errors.push_back({"groups", "a calibration sample needs every group's share of applicants"});
  }
  if (!errors.empty()) return errors;
  const std::vector<std::int64_t> counts = calibration_counts(p, c.calibration_n);
  std::int64_t fewest = counts.front();
  for (const std::int64_t n : counts) fewest = std::min(fewest, n);
  const problem_spec& s = p.base().spec();
  const std::int64_t variables = s.predictors + s.criteria;
  const auto groups = static_cast<std::int64_t>(counts.size());
  if (fewest < 2) {
    errors.push_back({"calibration_n", "a sample of " + std::to_string(c.calibration_n) +
                                           " gives a group fewer than 2 applicants"});
  } else if (c.calibration_n - groups < variables + 1) {
    errors.push_back({"calibration_n", "a sample needs at least " +
                                           std::to_string(variables + 1 + groups) +
                                           " applicants to estimate " +
                                           std::to_string(variables) + " variables' correlations"});
  }
  return errors;
}

}  // namespace

std::vector<std::int64_t> calibration_counts(const group_problem& population, std::int64_t n) {
  std::vector<double> shares{population.majority_share().value_or(nan)};
  for (const minority_group& g : population.groups()) shares.push_back(g.share.value_or(nan));
  std::vector<std::int64_t> counts(shares.size());
  std::vector<std::pair<double, std::size_t>> remainders;
  std::int64_t given = 0;
  for (std::size_t g = 0; g < shares.size(); ++g) {
    const double exact = shares[g] * static_cast<double>(n);
    counts[g] = static_cast<std::int64_t>(std::floor(exact));
    given += counts[g];
    remainders.emplace_back(exact - std::floor(exact), g);
  }
  std::stable_sort(remainders.begin(), remainders.end(),
                   [](const auto& x, const auto& y) { return x.first > y.first; });
  for (std::size_t i = 0; given < n && i < remainders.size(); ++i, ++given) {
    ++counts[remainders[i].second];
  }
  return counts;
}

namespace {

// The replications' evaluations at `levels`, or why there are none (in
// `result`).
template <class R>
std::optional<std::pair<std::vector<std::vector<evaluated>>, std::vector<std::int64_t>>> replicate(
    const group_problem& population, const pareto_options& options,
    std::span<const double> levels, const calibration_options& calibration, R& result) {
  result.status = pareto_status::bad_options;
  result.errors = check_calibration(population, calibration);
  for (std::size_t i = 0; i < levels.size(); ++i) {
    if (!std::isfinite(levels[i])) {
      result.errors.push_back({"levels[" + std::to_string(i) + "]", "must be a finite number"});
    }
  }
  if (!result.errors.empty()) return std::nullopt;
  // The options' own faults, as a front would give them.
  const group_min_ai_result first = best_group_weighting_for_min_ai(population, options, 0);
  if (!first.value) {
    result.status = first.status;
    result.errors = first.errors;
    return std::nullopt;
  }
  std::optional<std::vector<double>> lower = cholesky_lower(population.base().spec());
  if (!lower) {
    result.status = pareto_status::not_positive_definite;
    result.errors.push_back({"correlations",
                             "calibration samples need a positive definite correlation matrix "
                             "of predictors and criteria"});
    return std::nullopt;
  }
  const replicator r(population, options, levels, calibration, std::move(*lower));
  const auto k = static_cast<std::size_t>(calibration.replications);
  std::vector<std::vector<evaluated>> runs(k);
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i = next++; i < k; i = next++) runs[i] = r.run(calibration.first_replication + i);
  };
  // std::thread, not std::jthread: the page's libc++ 13 has no jthread.
  std::vector<std::thread> workers;
  const unsigned extra = std::min<unsigned>(calibration.threads, static_cast<unsigned>(k)) - 1;
  const auto join = [&] {
    for (std::thread& t : workers) t.join();
  };
  try {
    for (unsigned t = 0; t < extra; ++t) workers.emplace_back(work);
    work();
  } catch (...) {
    join();
    throw;
  }
  join();
  if (std::all_of(runs.begin(), runs.end(), [](const auto& run) { return run.empty(); })) {
    result.status = pareto_status::not_positive_definite;
    result.errors.push_back({"calibration_n", "no calibration sample allowed a front"});
    return std::nullopt;
  }
  result.errors.clear();
  return std::pair{std::move(runs), r.counts()};
}

// Level l over the replications that allowed a front; below_level the
// share below `floor`.
cross_validated_point summarised(const std::vector<std::vector<evaluated>>& runs, std::size_t l,
                                 double level, double floor) {
  std::vector<double> validity, mean, lowest;
  cross_validated_point point;
  point.level = level;
  int below = 0;
  bool means = true;
  for (const std::vector<evaluated>& run : runs) {
    if (run.empty()) continue;
    const evaluated& e = run[l];
    validity.push_back(e.validity);
    mean.push_back(e.mean);
    means = means && std::isfinite(e.mean);
    lowest.push_back(e.lowest_ratio);
    if (!(e.lowest_ratio >= floor)) ++below;
    if (!e.reached) ++point.unreachable;
  }
  point.below_level = below / static_cast<double>(lowest.size());
  point.validity = spread_of(std::move(validity));
  if (means) point.mean = spread_of(std::move(mean));
  point.lowest_ratio = spread_of(std::move(lowest));
  return point;
}

int failures(const std::vector<std::vector<evaluated>>& runs) {
  return static_cast<int>(
      std::count_if(runs.begin(), runs.end(), [](const auto& run) { return run.empty(); }));
}

}  // namespace

cross_validation_result cross_validate(const group_problem& population,
                                       const pareto_options& options,
                                       std::span<const double> levels,
                                       const calibration_options& calibration) {
  cross_validation_result result;
  const auto done = replicate(population, options, levels, calibration, result);
  if (!done) return result;
  const auto& [runs, counts] = *done;
  cross_validation cv;
  cv.counts = counts;
  cv.failed = failures(runs);
  cv.replications = calibration.replications - cv.failed;
  if (calibration.keep_draws) {
    for (std::size_t i = 0; i < runs.size(); ++i) {
      for (std::size_t l = 0; l < levels.size(); ++l) {
        cross_validation_draw d{.replication = calibration.first_replication + i, .level = l};
        if (runs[i].empty()) {
          d.validity = d.mean = d.lowest_ratio = nan;
        } else {
          d.validity = runs[i][l].validity;
          d.mean = runs[i][l].mean;
          d.lowest_ratio = runs[i][l].lowest_ratio;
          d.reached = runs[i][l].reached;
        }
        cv.draws.push_back(d);
      }
    }
  }
  for (std::size_t l = 0; l < levels.size(); ++l) {
    cv.points.push_back(summarised(runs, l, levels[l], levels[l]));
  }
  result.status = pareto_status::found;
  result.message = std::to_string(cv.replications) + " calibration samples of " +
                   std::to_string(calibration.calibration_n);
  result.value = std::move(cv);
  return result;
}

robust_result choose_robust_level(const group_problem& population, const pareto_options& options,
                                  double min_ai, const calibration_options& calibration) {
  robust_result result;
  if (!std::isfinite(min_ai) || min_ai <= 0 || min_ai > 1) {
    result.status = pareto_status::bad_options;
    result.errors.push_back({"min_ai", "must lie in (0, 1]"});
    return result;
  }
  // The levels from min_ai to the highest the population reaches.
  pareto_options ends = options;
  ends.points = 2;
  const group_pareto_result front = find_group_pareto_front(population, ends);
  if (!front.value) {
    result.status = front.status;
    result.errors = front.errors;
    return result;
  }
  const double highest = front.value->points.back().lowest_ratio_to_highest;
  std::vector<double> levels{min_ai};
  if (highest > min_ai) {
    for (int j = 1; j < robust_levels; ++j)
      levels.push_back(min_ai + (highest - min_ai) * j / (robust_levels - 1));
  }
  const auto done = replicate(population, options, levels, calibration, result);
  if (!done) return result;
  const auto& [runs, counts] = *done;
  robust_level r;
  r.min_ai = min_ai;
  r.counts = counts;
  r.failed = failures(runs);
  r.replications = calibration.replications - r.failed;
  r.as_asked = summarised(runs, 0, min_ai, min_ai);
  // Of the levels whose 5 % quantile reaches min_ai, the one of highest
  // expected quality; where none does, the one of highest 5 % quantile.
  const bool validity = options.objective == pareto_objective::validity;
  std::optional<cross_validated_point> best, highest_q05;
  for (std::size_t l = 0; l < levels.size(); ++l) {
    const cross_validated_point p = summarised(runs, l, levels[l], min_ai);
    const auto quality = [&](const cross_validated_point& x) {
      return validity ? x.validity.mean : x.mean ? x.mean->mean : x.validity.mean;
    };
    if (p.lowest_ratio.q05 >= min_ai && (!best || quality(p) > quality(*best))) best = p;
    if (!highest_q05 || p.lowest_ratio.q05 > highest_q05->lowest_ratio.q05) highest_q05 = p;
  }
  r.found = best.has_value();
  r.chosen = best ? *best : *highest_q05;
  result.status = r.found ? pareto_status::found : pareto_status::unreachable;
  result.message = r.found ? "the level to ask for" : "no level keeps 95 % of samples at min_ai";
  result.value = std::move(r);
  return result;
}

}  // namespace fourfifths
