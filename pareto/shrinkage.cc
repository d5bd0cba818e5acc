// The published shrinkage of a Pareto front (include/fourfifths/shrinkage.h).
//
// Sources:
// - Claudy, J. G. (1978). Multiple regression and validity estimation in one
//   sample. Applied Psychological Measurement 2(4), 595-607: R²_C, the
//   population squared multiple correlation estimated from a sample's.
// - Browne, M. W. (1975). Predictive validity of a linear regression
//   equation. British Journal of Mathematical and Statistical Psychology
//   28(1), 79-87: the squared cross-validity R²_B from estimates of ρ² and
//   ρ⁴.
// - Song, Q. C., Tang, C., Newman, D. A. & Wee, S. (2023). Adverse impact
//   reduction and job performance optimization via Pareto-optimal
//   weighting: a shrinkage formula and regularization technique using
//   machine learning. Journal of Applied Psychology 108(9), 1461-1485: the
//   two ends of a front shrunk by R²_B (Claudy's estimate in Browne's
//   formula), p + 70/(N + p) predictors at an end with fewer than 3, and
//   the points between moved linearly.
//
// The formulas are evaluated in the order the publication's own package
// writes them, so that its tables are met to the last bits: against
// ../shared/shrinkage (tests/pareto/data/shrinkage) the largest
// difference is a few units in the last place (tests/pareto/shrinkage_test.cc).
#include "fourfifths/shrinkage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <utility>

#include "fourfifths/analysis.h"

namespace fourfifths {

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// The fewest non-zero weights at an end that the formula takes as they are;
// below, p + 70/(N + p).
constexpr int fewest_plain_predictors = 3;

// The relative size below which a weight counts as zero.
constexpr double zero_weight = 1e-9;

// The predictors the formula takes for an end with `count` non-zero weights.
double effective_predictors(int count, double n) {
  const double p = count;
  return count < fewest_plain_predictors ? p + 70 / (n + p) : p;
}

// The shrunken group correlation of the impact end: its distance from the
// sign kept, r - (√R²_B - |r|).
double shrunken_group_end(double r, double r2_b) { return r - (std::sqrt(r2_b) - std::fabs(r)); }

bool is_correlation(double r) { return std::isfinite(r) && r >= -1 && r <= 1; }

std::string index_path(const char* list, std::size_t i) {
  return std::string(list) + "[" + std::to_string(i) + "]";
}

}  // namespace

double claudy_browne(double r2, double n, double p) {
  if (!std::isfinite(r2) || !std::isfinite(n) || !std::isfinite(p)) return nan;
  if (r2 < 0 || r2 > 1 || p < 1 || !(n > 2 * p + 3)) return nan;
  // Claudy's estimate of ρ², at least 0.
  double r2_c = 1 - ((n - 4) / (n - p - 1) * (1 - r2)) * (1 + 2 * (1 - r2) / (n - p + 1));
  if (r2_c < 0) r2_c = 0;
  // Browne's estimate of ρ⁴ from it, at least 0.
  double rho4 = r2_c * r2_c - (2 * p * ((1 - r2_c) * (1 - r2_c)) / ((n - 1) * (n - p + 1)));
  if (rho4 < 0) rho4 = 0;
  return ((n - p - 3) * rho4 + r2_c) / ((n - 2 * p - 2) * r2_c + p);
}

int count_nonzero_weights(std::span<const double> weights) {
  double largest = 0;
  for (const double w : weights) largest = std::max(largest, std::fabs(w));
  if (!(largest > 0)) return 0;
  return static_cast<int>(std::count_if(weights.begin(), weights.end(), [&](double w) {
    return std::fabs(w) > zero_weight * largest;
  }));
}

shrinkage_result shrink_correlations(const shrinkage_input& in) {
  shrinkage_result out;
  auto refuse = [&](std::string path, std::string message) {
    out.errors.push_back({std::move(path), std::move(message)});
  };
  const std::size_t points = in.validities.size();
  if (points == 0) refuse("validities", "a front has at least one point");
  if (in.group_correlations.size() != points)
    refuse("group_correlations", "must have one entry a point, as validities");
  for (std::size_t i = 0; i < points; ++i) {
    if (!is_correlation(in.validities[i]))
      refuse(index_path("validities", i), "must be a number in [-1, 1]");
  }
  for (std::size_t i = 0; i < in.group_correlations.size(); ++i) {
    if (!is_correlation(in.group_correlations[i]))
      refuse(index_path("group_correlations", i), "must be a number in [-1, 1]");
  }
  if (in.validity_end >= points) refuse("validity_end", "must name a point of the front");
  if (in.impact_end >= points) refuse("impact_end", "must name a point of the front");
  if (in.validity_end_predictors < 1)
    refuse("validity_end_predictors", "the validity end has at least one non-zero weight");
  if (in.impact_end_predictors < 1)
    refuse("impact_end_predictors", "the impact end has at least one non-zero weight");
  if (!std::isfinite(in.calibration_n)) refuse("calibration_n", "must be a finite number");
  if (!out.errors.empty() || in.group_correlations.size() != points) {
    out.status = shrinkage_status::bad_input;
    return out;
  }

  const double n = in.calibration_n;
  const std::vector<double>& v = in.validities;
  const std::vector<double>& g = in.group_correlations;
  const std::size_t vend = in.validity_end;
  const std::size_t iend = in.impact_end;
  const double p_perf = effective_predictors(in.validity_end_predictors, n);
  const double p_race = effective_predictors(in.impact_end_predictors, n);

  // The ends, shrunk: the validity end's validity, the impact end's group
  // correlation.
  const double perf_r2 = claudy_browne(v[vend] * v[vend], n, p_perf);
  const double race_r2 = claudy_browne(g[iend] * g[iend], n, p_race);
  const struct {
    double r2, p;
    int count;
    const char* name;
  } ends[] = {{perf_r2, p_perf, in.validity_end_predictors, "validity"},
              {race_r2, p_race, in.impact_end_predictors, "impact"}};
  for (const auto& end : ends) {
    if (std::isnan(end.r2)) {
      char m[160];
      std::snprintf(m, sizeof m, "must exceed 2p + 3 = %.4g, with p = %.4g for the %s end's %d %s",
                    2 * end.p + 3, end.p, end.name, end.count,
                    end.count == 1 ? "non-zero weight" : "non-zero weights");
      refuse("calibration_n", m);
    }
  }
  if (vend != iend) {
    if (v[vend] == v[iend]) refuse("validities", "the two ends have the same validity");
    if (g[vend] == g[iend])
      refuse("group_correlations", "the two ends have the same group correlation");
  }
  if (!out.errors.empty()) {
    out.status = shrinkage_status::bad_input;
    return out;
  }
  const double perf_end = std::copysign(std::sqrt(perf_r2), v[vend]);
  const double race_end = shrunken_group_end(g[iend], race_r2);

  std::vector<shrunken_correlations> shrunk(points);
  for (std::size_t i = 0; i < points; ++i) {
    shrunken_correlations& s = shrunk[i];
    s.w_perf = vend == iend ? 0 : (v[i] - v[vend]) / (v[iend] - v[vend]);
    s.w_race = vend == iend ? 0 : (g[i] - g[iend]) / (g[vend] - g[iend]);
    s.validity = (s.w_perf * (v[iend] - perf_end)) + perf_end;
    s.group_correlation = (s.w_race * (g[vend] - race_end)) + race_end;
  }
  out.value = std::move(shrunk);
  out.status = shrinkage_status::shrunk;
  return out;
}

shrunken_front_result shrink_front(const problem& p, const pareto_front& front,
                                   double calibration_n) {
  shrunken_front_result out;
  if (!p.mix()) {
    out.status = shrinkage_status::needs_mix;
    out.errors.push_back({"",
                          "the group correlation needs the applicant mix (minority_share or "
                          "majority_per_minority)"});
    return out;
  }
  if (front.options.objective != pareto_objective::validity) {
    out.status = shrinkage_status::not_validity;
    out.errors.push_back({"objective", "the published shrinkage is that of a front of validity"});
    return out;
  }
  const double share = p.mix()->minority;
  const double spread = share * (1 - share);
  shrinkage_input in;
  in.calibration_n = calibration_n;
  for (const weighting_outcome& w : front.points) {
    in.validities.push_back(w.validity);
    // Dummy 1 for the majority: the correlation falls as the minority's
    // composite mean (composite_d) rises.
    const double d = w.composite_d;
    in.group_correlations.push_back(-d * std::sqrt(spread) / std::sqrt(1 + d * d * spread));
  }
  if (!front.points.empty()) {
    in.validity_end = 0;
    in.impact_end = front.points.size() - 1;
    in.validity_end_predictors = count_nonzero_weights(front.points.front().weights);
    in.impact_end_predictors = count_nonzero_weights(front.points.back().weights);
  }
  shrinkage_result shrunk = shrink_correlations(in);
  out.status = shrunk.status;
  out.errors = std::move(shrunk.errors);
  if (!shrunk) return out;

  std::vector<shrunken_weighting> points;
  points.reserve(shrunk->size());
  for (const shrunken_correlations& s : *shrunk) {
    shrunken_weighting w;
    w.validity = s.validity;
    w.group_correlation = s.group_correlation;
    w.w_perf = s.w_perf;
    w.w_race = s.w_race;
    const double r = s.group_correlation;
    w.composite_d = std::fabs(r) < 1 ? -r / std::sqrt((1 - r * r) * spread) : nan;
    const selection_model model{.mode = front.options.mode,
                                .quality = quality_basis::predictor,
                                .mix = p.mix(),
                                .predictor_effect = w.composite_d,
                                .validity = 0,
                                .criterion_effect = 0};
    if (std::isfinite(w.composite_d)) {
      const outcome o = outcome_at(model, front.options.ratio, method::precise);
      w.solved = o.solved();
      w.ai_ratio = w.solved ? o.ai_ratio : nan;
      w.ratio_to_highest = w.solved ? o.ratio_to_highest() : nan;
    } else {
      w.solved = false;
      w.ai_ratio = nan;
      w.ratio_to_highest = nan;
    }
    points.push_back(w);
  }
  out.value = std::move(points);
  return out;
}

}  // namespace fourfifths
