#include "fourfifths/estimate.h"

#include <cmath>
#include <cstddef>
#include <string>

namespace fourfifths {

namespace {

std::vector<fault> check_sample(std::span<const double> values, std::span<const int> group,
                                int groups, int variables) {
  std::vector<fault> errors;
  if (groups < 1) errors.push_back({"groups", "there must be at least one group"});
  if (variables < 1) errors.push_back({"variables", "there must be at least one variable"});
  if (!errors.empty()) return errors;
  const auto v = static_cast<std::size_t>(variables);
  if (values.size() != group.size() * v) {
    errors.push_back({"values", "must hold " + std::to_string(variables) +
                                    " values for each of the " + std::to_string(group.size()) +
                                    " rows"});
    return errors;
  }
  for (std::size_t i = 0; i < group.size() && errors.size() < 20; ++i) {
    if (group[i] < 0 || group[i] >= groups) {
      errors.push_back({"group[" + std::to_string(i) + "]",
                        "must lie in 0.." + std::to_string(groups - 1)});
    }
    for (std::size_t j = 0; j < v; ++j) {
      if (!std::isfinite(values[i * v + j])) {
        errors.push_back({"values[" + std::to_string(i) + "][" + std::to_string(j) + "]",
                          "must be a finite number"});
      }
    }
  }
  if (errors.empty() && group.size() < static_cast<std::size_t>(groups) + 2) {
    errors.push_back({"values", "needs at least " + std::to_string(groups + 2) +
                                    " rows: the groups' means take " + std::to_string(groups) +
                                    " and a correlation 2 more"});
  }
  return errors;
}

}  // namespace

estimate_result estimate_population(std::span<const double> values, std::span<const int> group,
                                    int groups, int variables) {
  estimate_result result;
  result.status = estimate_status::invalid;
  result.errors = check_sample(values, group, groups, variables);
  if (!result.errors.empty()) return result;
  const auto v = static_cast<std::size_t>(variables);
  const auto g = static_cast<std::size_t>(groups);
  population_estimate e;
  e.counts.assign(g, 0);
  e.means.assign(g, std::vector<double>(v, 0.0));
  for (std::size_t i = 0; i < group.size(); ++i) {
    const auto k = static_cast<std::size_t>(group[i]);
    ++e.counts[k];
    for (std::size_t j = 0; j < v; ++j) e.means[k][j] += values[i * v + j];
  }
  for (std::size_t k = 0; k < g; ++k) {
    if (e.counts[k] == 0) {
      result.errors.push_back({"group", "group " + std::to_string(k) + " has no rows"});
      continue;
    }
    for (double& m : e.means[k]) m /= static_cast<double>(e.counts[k]);
  }
  if (!result.errors.empty()) return result;

  // The pooled scatter of the deviations from each group's own means.
  std::vector<double> scatter(v * v, 0.0);
  std::vector<double> dev(v);
  for (std::size_t i = 0; i < group.size(); ++i) {
    const std::vector<double>& m = e.means[static_cast<std::size_t>(group[i])];
    for (std::size_t j = 0; j < v; ++j) dev[j] = values[i * v + j] - m[j];
    for (std::size_t j = 0; j < v; ++j) {
      for (std::size_t k = 0; k <= j; ++k) scatter[j * v + k] += dev[j] * dev[k];
    }
  }
  return estimate_from_moments(std::move(e.means), std::move(e.counts), scatter);
}

estimate_result estimate_from_moments(std::vector<std::vector<double>> means,
                                      std::vector<std::int64_t> counts,
                                      std::span<const double> scatter) {
  estimate_result result;
  result.status = estimate_status::invalid;
  population_estimate e;
  e.means = std::move(means);
  e.counts = std::move(counts);
  const std::size_t g = e.counts.size();
  const std::size_t v = e.means.empty() ? 0 : e.means.front().size();
  std::int64_t rows = 0;
  for (const std::int64_t c : e.counts) rows += c;
  const double dof = static_cast<double>(rows - static_cast<std::int64_t>(g));
  e.standard_deviations.resize(v);
  for (std::size_t j = 0; j < v; ++j) {
    e.standard_deviations[j] = std::sqrt(scatter[j * v + j] / dof);
    if (!(e.standard_deviations[j] > 0)) {
      result.errors.push_back({"variables[" + std::to_string(j) + "]",
                               "does not vary within the groups"});
    }
  }
  if (!result.errors.empty()) return result;
  e.correlations.assign(v, std::vector<double>(v, 1.0));
  for (std::size_t j = 0; j < v; ++j) {
    for (std::size_t k = 0; k < j; ++k) {
      const double r =
          scatter[j * v + k] / std::sqrt(scatter[j * v + j]) / std::sqrt(scatter[k * v + k]);
      // Rounding may carry a correlation of collinear columns past 1.
      e.correlations[j][k] = e.correlations[k][j] = std::fmax(-1.0, std::fmin(1.0, r));
    }
  }
  for (std::size_t k = 1; k < g; ++k) {
    std::vector<double> d(v);
    for (std::size_t j = 0; j < v; ++j) {
      d[j] = (e.means[k][j] - e.means[0][j]) / e.standard_deviations[j];
    }
    e.effects.push_back(std::move(d));
  }
  result.status = estimate_status::estimated;
  result.value = std::move(e);
  return result;
}

}  // namespace fourfifths
