// Several minority groups in one applicant pool, by the precise method: the
// cut score from the mixture of every group (overall mode) or from the
// majority's rate, each group's rate and quality, and the four-fifths rule
// over every group. With one group below the majority every value is the
// one-group precise method's, to the bit: the same sums in the same order,
// the same brackets and first guesses.
#include "fourfifths/groups.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "analysis/composite.h"
#include "analysis/precise_search.h"
#include "analysis/problem_access.h"
#include "numeric/portable_math.h"
#include "numeric/precise_normal.h"

namespace fourfifths {

namespace {

namespace portable = numeric::portable;
namespace precise = numeric::precise;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double four_fifths = 0.8;
// Cut scores beyond 40 standard deviations from a group's mean select none
// or all of it to the last bit (the one-group method's bound).
constexpr double precise_bound = 40;

std::string indexed(const std::string& path, std::size_t i) {
  return path + "[" + std::to_string(i) + "]";
}

bool counts_in_range(const problem_spec& s) {
  return s.predictors >= 1 && s.predictors <= max_predictors && s.criteria >= 0 &&
         s.criteria <= max_criteria && s.predictors + s.criteria <= max_variables;
}

// The faults of the groups themselves; `nv` is the number of variables
// when the counts are in range (else the lengths are not checked).
void check_groups(const group_problem_spec& spec, std::optional<std::size_t> nv,
                  std::vector<fault>& errors) {
  const std::vector<minority_group>& groups = spec.groups;
  if (groups.empty()) errors.push_back({"groups", "must list at least one minority group"});
  std::set<std::string> names;
  std::size_t with_share = 0;
  for (std::size_t i = 0; i < groups.size(); ++i) {
    const minority_group& g = groups[i];
    const std::string path = indexed("groups", i);
    if (g.name.empty()) {
      errors.push_back({path + ".name", "must not be empty"});
    } else if (g.name == majority_group_name) {
      errors.push_back({path + ".name", "is the majority's name: choose another"});
    } else if (!names.insert(g.name).second) {
      errors.push_back({path + ".name", "repeats the name of an earlier group"});
    }
    if (nv && g.d.size() != *nv) {
      errors.push_back({path + ".d", "must hold " + std::to_string(*nv) +
                                         " effect sizes, one per variable (predictors, then "
                                         "criteria)"});
    } else {
      for (std::size_t j = 0; j < g.d.size(); ++j) {
        if (!std::isfinite(g.d[j])) {
          errors.push_back({indexed(path + ".d", j), "must be a finite number"});
        } else if (std::fabs(g.d[j]) > max_effect_size) {
          errors.push_back(
              {indexed(path + ".d", j), "must lie between -30 and 30 (standard deviations)"});
        }
      }
    }
    if (g.share) {
      ++with_share;
      if (!(*g.share > 0 && *g.share < 1)) {
        errors.push_back({path + ".share", "must lie strictly between 0 and 1"});
      }
    }
  }
  if (with_share != 0 && with_share != groups.size()) {
    for (std::size_t i = 0; i < groups.size(); ++i) {
      if (!groups[i].share) {
        errors.push_back({indexed("groups", i) + ".share",
                          "required: every group gives its share, or none does"});
      }
    }
  }
  if (with_share == 0 && !groups.empty() && spec.base.mode == ratio_mode::overall) {
    errors.push_back({"groups", "overall selection ratios need every group's share"});
  }
}

// What `base` must leave to the groups.
void check_base_leaves_groups(const problem_spec& b, std::vector<fault>& errors) {
  if (!b.predictor_effects.empty()) {
    errors.push_back({"predictor_effects", "the groups give the effect sizes: leave it empty"});
  }
  if (!b.criterion_effects.empty()) {
    errors.push_back({"criterion_effects", "the groups give the effect sizes: leave it empty"});
  }
  if (b.majority_per_minority) {
    errors.push_back({"majority_per_minority", "the groups' shares give the applicant mix"});
  }
  if (b.minority_share) {
    errors.push_back({"minority_share", "the groups' shares give the applicant mix"});
  }
}

// The majority's share when every group gives a valid share.
std::optional<double> majority_share_of(const std::vector<minority_group>& groups) {
  double sum = 0;
  for (const minority_group& g : groups) {
    if (!g.share || !(*g.share > 0 && *g.share < 1)) return std::nullopt;
    sum += *g.share;
  }
  return 1 - sum;
}

// The mean quality above the cut score of a group at z standard deviations
// above its own mean, scaled by `slope`: the density over the rate where
// the rate is a normal double, the tail's own mean where it is not (as
// the one-group precise method).
double tail_mean(double z, double rate, double slope) {
  if (rate >= std::numeric_limits<double>::min()) return (precise::density(z) * slope) / rate;
  return precise::upper_tail_mean(z) * slope;
}
double tail_mean(double z, double rate) {
  if (rate >= std::numeric_limits<double>::min()) return precise::density(z) / rate;
  return precise::upper_tail_mean(z);
}

// The overall ratio at cut score x less the target: the majority first,
// then each group, in order (one group: the one-group method's sum).
struct overall_ratio {
  const group_model& model;
  double target;
  double operator()(double x) const {
    double s = *model.majority_share * precise::upper_tail(x);
    for (const group_effect& g : model.groups) {
      s = s + *g.share * precise::upper_tail(x - g.predictor_effect);
    }
    return s - target;
  }
  double slope(double x) const {
    double s = *model.majority_share * precise::density(x);
    for (const group_effect& g : model.groups) {
      s = s + *g.share * precise::density(x - g.predictor_effect);
    }
    return -s;
  }
  // The ratio less the target, its slope and its curvature at x in one
  // pass (d/dz phi(z) = -z phi(z)), for Halley's method.
  struct terms {
    double value, slope, curvature;
  };
  terms at(double x) const {
    double q = *model.majority_share * precise::upper_tail(x);
    const double phi = *model.majority_share * precise::density(x);
    double d1 = -phi;
    double d2 = x * phi;
    for (const group_effect& g : model.groups) {
      const double z = x - g.predictor_effect;
      const double p = *g.share * precise::density(z);
      q = q + *g.share * precise::upper_tail(z);
      d1 = d1 - p;
      d2 = d2 + z * p;
    }
    return {q - target, d1, d2};
  }
};

// The distance from x to the next double away from zero.
double ulp(double x) {
  return std::nextafter(std::fabs(x), std::numeric_limits<double>::infinity()) - std::fabs(x);
}

// The root of the overall ratio in (lo, hi), where it falls from above to
// below the target, for several groups: Halley's method (E. Halley, 1694;
// the iteration x - f / (f' - f f'' / (2 f')), as in Press, Teukolsky,
// Vetterling & Flannery, Numerical Recipes, 3rd ed., 2007, section 9.4),
// cubically convergent, each step kept inside the bracket that the signs
// maintain and a bisection wherever it would leave it; it ends as
// decreasing_root does, when a step no longer moves x or the bracket holds
// no double between its ends. The value and its two derivatives share
// each group's tail area and density, so a step costs little more than
// Newton's, and from the moment-matched first guess two or three steps
// reach the last bit where Newton's method takes five to seven (measured
// by bench/analysis_bench: about 2.4 times fewer instructions for four
// groups). Against the 50-digit outcomes of tests/analysis/data/groups the
// cut scores agree to 1e-15 as before.
double halley_root(const overall_ratio& g, double lo, double hi, double x) {
  for (int step = 0; step < 200; ++step) {
    const overall_ratio::terms t = g.at(x);
    if (t.value == 0) return x;
    if (t.value > 0) {
      lo = x;
    } else {
      hi = x;
    }
    if (std::nextafter(lo, hi) >= hi) return std::fabs(g(lo)) < std::fabs(g(hi)) ? lo : hi;
    const double newton = t.value / t.slope;
    double next = x - newton / (1 - newton * t.curvature / (2 * t.slope));
    // A step of a few units in the last place: the ratio is at the level of
    // its own rounding, and further steps only move x back and forth (a
    // step that rounds to no step at all lands on an end of the bracket,
    // and must not be taken for one that leaves it).
    if (step < 50 && std::fabs(next - x) <= 16 * ulp(x)) return next;
    if (step >= 50 || !(next > lo && next < hi)) next = lo + (hi - lo) / 2;
    if (next == x) return x;
    x = next;
  }
  return x;
}

// A first guess at the overall cut score. With one group, the majority
// group's cut score, as the one-group method starts (so that its numbers
// are that method's to the bit). With several, the cut score of a normal
// distribution with the applicants' mean and variance (the mixture's
// moments: mean sum p_h m_h, variance 1 + sum p_h m_h^2 - mean^2), which
// lies closer to the root where the groups' means spread.
double first_guess(const group_model& model, double target) {
  const double z = precise::upper_quantile(target);
  if (model.groups.size() < 2) return z;
  double mean = 0;
  double square = 0;
  for (const group_effect& g : model.groups) {
    mean = mean + *g.share * g.predictor_effect;
    square = square + *g.share * (g.predictor_effect * g.predictor_effect);
  }
  return mean + std::sqrt(1 + square - mean * mean) * z;
}

// The overall mode's cut score, or NaN. Each group's tail area changes
// only within 40 of its own mean: the windows around the means, merged
// where they meet, are where the overall ratio changes, and it is constant
// between them. The first window whose upper end is at or below the
// target holds the root, so no bracket is wider than 80 plus the spread of
// the means within one window.
double overall_cut_score(const group_model& model, double target) {
  const overall_ratio g{model, target};
  double low = 0;
  double high = 0;
  for (const group_effect& e : model.groups) {
    low = std::min(low, e.predictor_effect);
    high = std::max(high, e.predictor_effect);
  }
  if (model.groups.size() >= 2 && high - low <= 2 * precise_bound) {
    // One window (the usual case, found without building the list). Every
    // group's tail area is 1 at its lower end and 0 at its upper end to the
    // last bit (each lies 40 or more from every mean), so the ends' values
    // are the shares' sum less the target, and minus the target.
    const double lo = low - precise_bound;
    const double hi = high + precise_bound;
    double all = *model.majority_share;
    for (const group_effect& e : model.groups) all = all + *e.share;
    if (!(all - target > 0)) return nan;
    return halley_root(g, lo, hi, std::clamp(first_guess(model, target), lo, hi));
  }
  std::vector<double> means{0};
  for (const group_effect& e : model.groups) means.push_back(e.predictor_effect);
  std::sort(means.begin(), means.end());
  struct window {
    double lo;
    double hi;
  };
  std::vector<window> windows;
  for (const double m : means) {
    if (!windows.empty() && m - precise_bound <= windows.back().hi) {
      windows.back().hi = m + precise_bound;
    } else {
      windows.push_back({m - precise_bound, m + precise_bound});
    }
  }
  auto chosen =
      std::find_if(windows.begin(), windows.end(), [&](const window& w) { return g(w.hi) <= 0; });
  if (chosen == windows.end()) return nan;
  const double lo = chosen->lo;
  const double hi = chosen->hi;
  if (!(g(lo) > 0 && g(hi) <= 0)) return nan;
  const double guess = std::clamp(first_guess(model, target), lo, hi);
  if (model.groups.size() >= 2) return halley_root(g, lo, hi, guess);
  return analysis::decreasing_root([&](double x) { return g(x); },
                                   [&](double x) { return g.slope(x); }, lo, hi, guess);
}

group_outcome failed(const group_model& model, double target, outcome_status status, int code) {
  group_outcome out;
  out.target = target;
  out.status = status;
  out.code = code;
  out.cut_score = nan;
  out.groups.push_back({std::string(majority_group_name), nan, nan, nan, nan});
  for (const group_effect& g : model.groups) out.groups.push_back({g.name, nan, nan, nan, nan});
  return out;
}

bool share_value(double v) { return std::isfinite(v) && v >= 0 && v <= 1; }

// The outcome of a model that passed check_group_model.
// What an outcome holds: everything, or only what the rule's verdict needs
// (the rates; the means are left NaN), as the four-fifths minimum's search
// asks at each ratio it tries.
enum class detail { full, rates };

group_outcome unchecked_outcome(const group_model& model, double target,
                                detail wanted = detail::full) {
  const bool overall = model.mode == ratio_mode::overall;
  const outcome_status no_cut =
      overall ? outcome_status::no_cut_score : outcome_status::quantile_fault;
  if (!(target >= smallest_precise_ratio && target < 1)) {
    return failed(model, target, no_cut, overall ? 4 : 1);
  }
  const double x = overall ? overall_cut_score(model, target) : precise::upper_quantile(target);
  if (std::isnan(x)) return failed(model, target, no_cut, overall ? 4 : 1);

  group_outcome out;
  out.target = target;
  out.code = overall ? 1 : 0;
  out.cut_score = x;
  const bool on_criterion = model.quality == quality_basis::criterion;
  const bool means = wanted == detail::full;
  const double rpc = model.validity;
  const double sra = precise::upper_tail(x);
  out.groups.reserve(model.groups.size() + 1);
  out.groups.push_back(
      {std::string(majority_group_name), sra, 1, 0,
       !means ? nan : (on_criterion ? tail_mean(x, sra, rpc) : tail_mean(x, sra))});
  for (const group_effect& g : model.groups) {
    const double z = x - g.predictor_effect;
    const double sr = precise::upper_tail(z);
    const double mean = !means         ? nan
                        : on_criterion ? tail_mean(z, sr, rpc) + g.criterion_effect
                                       : tail_mean(z, sr) + g.predictor_effect;
    out.groups.push_back({g.name, sr, sr / sra, 0, mean});
  }
  double highest = 0;
  for (const group_rate& r : out.groups) highest = std::max(highest, r.sr);
  for (group_rate& r : out.groups) r.ratio_to_highest = r.sr / highest;
  // The majority's own impact ratio is 1, or NaN where no one of it is
  // selected, as any group's.
  out.groups.front().ai_vs_majority = sra / sra;

  if (!model.majority_share) {
    // Where a group's mean is so far from the majority's that the cut score
    // and the cut score less it cannot both be held to the digits the
    // ratios need, the majority's rate misses the target.
    if (std::fabs(sra - target) > precise_target_tolerance * target) {
      return failed(model, target, no_cut, 5);
    }
    return out;
  }
  // The overall ratio the groups' rates form, the majority first.
  double formed = *model.majority_share * sra;
  for (std::size_t i = 0; i < model.groups.size(); ++i) {
    formed = formed + *model.groups[i].share * out.groups[i + 1].sr;
  }
  const double reproduced = overall ? formed : sra;
  if (std::fabs(reproduced - target) > precise_target_tolerance * target) {
    return failed(model, target, no_cut, 5);
  }
  // The overall mean divides by the overall ratio held for the entry (the
  // target in overall mode), as the one-group method does.
  const double sr = overall ? target : formed;
  double weighted = *model.majority_share * sra * out.groups.front().mean;
  for (std::size_t i = 0; i < model.groups.size(); ++i) {
    const group_rate& r = out.groups[i + 1];
    weighted = weighted + *model.groups[i].share * r.sr * r.mean;
  }
  out.sr = sr;
  out.mean = weighted / sr;
  return out;
}

}  // namespace

four_fifths_verdict group_outcome::verdict() const {
  four_fifths_verdict v;
  if (!solved() || groups.empty()) return v;
  std::size_t top = 0;
  for (std::size_t i = 1; i < groups.size(); ++i) {
    if (groups[i].sr > groups[top].sr) top = i;
  }
  v.highest = groups[top].name;
  for (const group_rate& r : groups) {
    if (!(r.ratio_to_highest >= four_fifths)) v.failing.push_back(r.name);
  }
  v.passes = v.failing.empty();
  return v;
}

group_problem_result make_group_problem(group_problem_spec spec) {
  group_problem_result out;
  const problem_spec& b = spec.base;
  std::vector<fault> errors;
  check_base_leaves_groups(b, errors);
  const bool counted = counts_in_range(b);
  const auto np = static_cast<std::size_t>(counted ? b.predictors : 0);
  const auto nc = static_cast<std::size_t>(counted ? b.criteria : 0);

  // The variables are checked as one group's problem with no difference
  // and no mix, in majority mode (the mix is the groups' to give).
  problem_spec variables = b;
  variables.predictor_effects.assign(np, 0.0);
  variables.criterion_effects.assign(nc, 0.0);
  variables.majority_per_minority.reset();
  variables.minority_share.reset();
  variables.mode = ratio_mode::majority;
  problem_result built = make_problem(variables);
  out.errors = std::move(built.errors);
  out.warnings = std::move(built.warnings);
  out.errors.insert(out.errors.end(), errors.begin(), errors.end());
  check_groups(spec, counted ? std::optional<std::size_t>(np + nc) : std::nullopt, out.errors);
  const std::optional<double> majority = majority_share_of(spec.groups);
  if (majority && !(*majority > 0)) {
    out.errors.push_back({"groups",
                          "the shares must leave the majority a share: they sum to 1 "
                          "or more"});
  }
  if (!out.errors.empty() || !built.value) {
    out.status = problem_status::invalid;
    return out;
  }
  group_problem p;
  p.per_group_.reserve(spec.groups.size());
  for (const minority_group& g : spec.groups) {
    problem_spec s = built.value->spec();
    s.mode = b.mode;
    const auto split = g.d.begin() + static_cast<std::ptrdiff_t>(np);
    s.predictor_effects.assign(g.d.begin(), split);
    s.criterion_effects.assign(split, g.d.end());
    p.per_group_.push_back(problem_access::make(std::move(s), std::nullopt));
  }
  p.groups_ = std::move(spec.groups);
  p.majority_share_ = majority;
  out.value = std::move(p);
  return out;
}

group_model group_model_of(const group_problem& p) {
  group_model m;
  const problem_spec& s = p.base().spec();
  m.mode = s.mode;
  m.quality = s.quality;
  m.majority_share = p.majority_share();
  m.possible = correlations_positive_definite(p.base());
  // One weighting for every group: the weights do not depend on the groups.
  const predictor_weighting w = weighting_of(p.base());
  for (std::size_t g = 0; g < p.groups().size(); ++g) {
    const composite_statistics c =
        analysis::composite_statistics(p.of_group(g), w.weights, analysis::weight_scale::unit);
    m.validity = c.validity;
    m.groups.push_back(
        {p.groups()[g].name, p.groups()[g].share, c.predictor_effect, c.criterion_effect});
  }
  return m;
}

std::vector<fault> check_group_model(const group_model& model) {
  std::vector<fault> faults;
  if (model.mode != ratio_mode::overall && model.mode != ratio_mode::majority) {
    faults.push_back({"mode", "must be overall or majority"});
  }
  if (model.quality != quality_basis::criterion && model.quality != quality_basis::predictor) {
    faults.push_back({"quality", "must be criterion or predictor"});
  }
  if (model.groups.empty()) faults.push_back({"groups", "must hold at least one group"});
  if (!std::isfinite(model.validity)) faults.push_back({"validity", "must be finite"});
  double sum = 0;
  bool shares_usable = true;
  if (model.majority_share) {
    if (!share_value(*model.majority_share)) {
      faults.push_back({"majority_share", "must be a share in [0, 1]"});
      shares_usable = false;
    } else {
      sum += *model.majority_share;
    }
  } else if (model.mode == ratio_mode::overall) {
    faults.push_back({"majority_share", "overall mode needs the applicant mix"});
  }
  for (std::size_t i = 0; i < model.groups.size(); ++i) {
    const group_effect& g = model.groups[i];
    // The path is made only for a fault: every outcome checks its model.
    auto path = [i](const char* member) { return indexed("groups", i) + member; };
    if (!std::isfinite(g.predictor_effect)) {
      faults.push_back({path(".predictor_effect"), "must be finite"});
    }
    if (!std::isfinite(g.criterion_effect)) {
      faults.push_back({path(".criterion_effect"), "must be finite"});
    }
    if (g.share.has_value() != model.majority_share.has_value()) {
      faults.push_back({path(".share"), "every group and the majority give a share, or none"});
      shares_usable = false;
    } else if (g.share && !share_value(*g.share)) {
      faults.push_back({path(".share"), "must be a share in [0, 1]"});
      shares_usable = false;
    } else if (g.share) {
      sum += *g.share;
    }
  }
  constexpr double sum_tolerance = 1e-12;
  if (model.majority_share && shares_usable && !(std::fabs(sum - 1) <= sum_tolerance)) {
    faults.push_back({"groups", "the shares must sum to 1"});
  }
  return faults;
}

group_outcome group_outcome_at(const group_model& model, double ratio) {
  if (std::isnan(ratio) || !check_group_model(model).empty()) {
    return failed(model, ratio, outcome_status::invalid_argument, 0);
  }
  if (!model.possible) return failed(model, ratio, outcome_status::not_positive_definite, 0);
  return unchecked_outcome(model, ratio);
}

group_outcome group_outcome_at(const group_problem& p, double ratio) {
  return group_outcome_at(group_model_of(p), ratio);
}

std::vector<group_outcome> group_outcomes_at(const group_problem& p,
                                             std::span<const double> ratios) {
  const group_model model = group_model_of(p);
  std::vector<group_outcome> out;
  out.reserve(ratios.size());
  for (const double r : ratios) out.push_back(group_outcome_at(model, r));
  return out;
}

group_minimum find_group_minimum(const group_model& model) {
  group_minimum result;
  if (!check_group_model(model).empty()) {
    result.status = outcome_status::invalid_argument;
    return result;
  }
  if (!model.possible) {
    result.status = outcome_status::not_positive_definite;
    return result;
  }
  // The groups with the lowest and the highest composite means (the first
  // of equals), the majority's mean 0 among them: every other group's rate
  // lies between theirs at every cut score.
  std::string lowest(majority_group_name);
  std::string highest(majority_group_name);
  double low = 0;
  double high = 0;
  for (const group_effect& g : model.groups) {
    if (g.predictor_effect < low) {
      low = g.predictor_effect;
      lowest = g.name;
    }
    if (g.predictor_effect > high) {
      high = g.predictor_effect;
      highest = g.name;
    }
  }
  result.lowest = lowest;
  result.highest = highest;
  result.code = 4;  // every rate is the highest at every cut score
  if (!(low < high)) return result;
  // On the scale of the highest group, y = x - high, the lowest group lies
  // d below: the one-group rule's equation, Q(y - d) = 0.8 Q(y), whose log
  // form falls as y rises (the normal hazard rate rises).
  const double d = low - high;
  const double log_four_fifths = portable::log(four_fifths);
  auto g = [&](double y) {
    return portable::log(precise::upper_tail(y - d)) - portable::log(precise::upper_tail(y)) -
           log_four_fifths;
  };
  auto dg = [&](double y) {
    return precise::density(y) / precise::upper_tail(y) -
           precise::density(y - d) / precise::upper_tail(y - d);
  };
  // As in the one-group search: the root's lower group lies above -0.85 of
  // its own mean, and up to 37 the tail areas are normal doubles.
  const double lo = d - 1;
  const double hi = std::min(37.0, d + 37);
  if (!(g(lo) > 0 && g(hi) < 0)) return result;
  const double y = analysis::decreasing_root(g, dg, lo, hi, std::clamp(0.0, lo, hi));
  const double x = y + high;
  double start = precise::upper_tail(x);
  if (model.mode == ratio_mode::overall) {
    start = *model.majority_share * start;
    for (const group_effect& e : model.groups) {
      start = start + *e.share * precise::upper_tail(x - e.predictor_effect);
    }
  }
  // The ratio of the root, rounded, may fall on either side of the rule:
  // the minimum is the first ratio whose own outcome passes.
  const std::optional<double> ratio = analysis::smallest_passing_ratio(start, [&](double r) {
    return unchecked_outcome(model, r, detail::rates).passes_four_fifths();
  });
  if (!ratio) {
    result.code = 5;
    return result;
  }
  result.found = true;
  result.status = outcome_status::solved;
  result.code = 1;
  result.ratio = *ratio;
  result.at = unchecked_outcome(model, *ratio);
  return result;
}

group_minimum find_group_minimum(const group_problem& p) {
  return find_group_minimum(group_model_of(p));
}

}  // namespace fourfifths
