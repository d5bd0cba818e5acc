// The library's entry points: problems built in code or read from a deck,
// and their analyses, as values.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "analysis/classic_deck.h"
#include "analysis/classic_report.h"
#include "analysis/composite.h"
#include "analysis/problem_access.h"
#include "analysis/selection.h"
#include "fourfifths/analysis.h"
#include "fourfifths/problem.h"
#include "numeric/packed.h"
#include "recordio/deck_input.h"

namespace fourfifths {

applicant_mix applicant_mix::from_ratio(double majority_per_minority) {
  applicant_mix mix;
  mix.majority = majority_per_minority / (majority_per_minority + 1);
  mix.minority = 1 - mix.majority;
  return mix;
}

applicant_mix applicant_mix::from_minority_share(double share) {
  applicant_mix mix;
  mix.minority = share;
  mix.majority = 1 - share;
  return mix;
}

std::string fault::text() const { return path.empty() ? message : path + ": " + message; }

bool correlations_positive_definite(const problem& p) {
  return numeric::positive_definite(p.variables(),
                                    [&](int i, int j) { return p.correlation(i, j); });
}

bool predictor_block_positive_definite(const problem& p) {
  return numeric::positive_definite(p.spec().predictors,
                                    [&](int i, int j) { return p.correlation(j, i); });
}

double problem::correlation(int i, int j) const {
  return flat_[static_cast<std::size_t>(i) * static_cast<std::size_t>(variables()) +
               static_cast<std::size_t>(j)];
}

namespace {

constexpr const char* predictor_block_warning =
    "the predictor block is not positive definite (not a possible correlation matrix)";
constexpr const char* whole_matrix_warning =
    "the matrix with the criteria is not positive definite (not a possible correlation "
    "matrix): the validity and the quality of those selected may lie outside their ranges";

// Collects the faults of a spec, each naming its field.
class checker {
 public:
  void add(std::string field, std::string message) {
    errors.push_back({std::move(field), std::move(message)});
  }

  // A list that must hold `count` finite numbers.
  void finite_list(const std::string& field, const std::vector<double>& values, std::size_t count,
                   const char* one_per) {
    if (values.size() != count) {
      add(field, "must have " + std::to_string(count) + (count == 1 ? " entry" : " entries") +
                     ", one per " + one_per);
      return;
    }
    finite_entries(field, values);
  }

  void finite_entries(const std::string& field, const std::vector<double>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (!std::isfinite(values[i])) add(indexed(field, i), "must be a finite number");
    }
  }

  static std::string indexed(const std::string& field, std::size_t i) {
    return field + "[" + std::to_string(i) + "]";
  }

  std::vector<fault> errors;
};

bool all_zero(const std::vector<double>& values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return v == 0; });
}

// Whether the predictor block, read as regression weights read it, is
// positive definite.
bool spec_predictor_block_positive_definite(const problem_spec& spec) {
  return numeric::positive_definite(spec.predictors,
                                    [&](int i, int j) { return spec.correlations[j][i]; });
}

void check_counts(const problem_spec& s, checker& c) {
  const bool predictors_in_range = s.predictors >= 1 && s.predictors <= max_predictors;
  if (!predictors_in_range) {
    c.add("predictors", "must lie between 1 and " + std::to_string(max_predictors));
  }
  if (s.criteria < 0 || s.criteria > max_criteria) {
    c.add("criteria", "must lie between 0 and " + std::to_string(max_criteria));
  } else if (predictors_in_range && s.predictors + s.criteria > max_variables) {
    // Both counts are in range here, so their sum is too.
    c.add("criteria", "predictors and criteria together must be at most " +
                          std::to_string(max_variables) + ", not " +
                          std::to_string(s.predictors + s.criteria));
  }
  if (s.regression_weights && s.criteria < 1) {
    c.add("regression_weights", "regression weights need at least one criterion");
  }
  if (s.quality == quality_basis::criterion && s.criteria < 1) {
    c.add("quality", "quality on the criterion composite needs at least one criterion");
  }
}

void check_weights(const problem_spec& s, checker& c) {
  const auto np = static_cast<std::size_t>(s.predictors);
  const auto nc = static_cast<std::size_t>(s.criteria);
  if (s.regression_weights) {
    if (!s.predictor_weights.empty()) {
      c.add("predictor_weights", "must be empty when the weights come from regression");
    }
  } else {
    const std::size_t before = c.errors.size();
    c.finite_list("predictor_weights", s.predictor_weights, np, "predictor");
    if (c.errors.size() == before && all_zero(s.predictor_weights)) {
      c.add("predictor_weights", "must not all be zero");
    }
  }
  const std::size_t before = c.errors.size();
  c.finite_list("criterion_weights", s.criterion_weights, nc, "criterion");
  if (nc > 0 && c.errors.size() == before && all_zero(s.criterion_weights)) {
    c.add("criterion_weights", "must not all be zero");
  }
}

// Returns whether the matrix has the right shape, so that its entries can
// be read.
bool check_correlations(const problem_spec& s, checker& c) {
  const auto nv = static_cast<std::size_t>(s.predictors) + static_cast<std::size_t>(s.criteria);
  const std::vector<std::vector<double>>& r = s.correlations;
  if (r.size() != nv) {
    c.add("correlations",
          "must have " + std::to_string(nv) + " rows, one per predictor and criterion");
    return false;
  }
  bool shaped = true;
  for (std::size_t i = 0; i < nv; ++i) {
    if (r[i].size() != nv) {
      c.add(checker::indexed("correlations", i), "must have " + std::to_string(nv) + " entries");
      shaped = false;
    }
  }
  if (!shaped) return false;
  bool entries_ok = true;
  for (std::size_t i = 0; i < nv; ++i) {
    for (std::size_t j = 0; j < nv; ++j) {
      const std::string field = checker::indexed(checker::indexed("correlations", i), j);
      const double v = r[i][j];
      if (!std::isfinite(v)) {
        c.add(field, "must be a finite number");
        entries_ok = false;
      } else if (i == j && v != 1) {
        c.add(field, "must be 1 (a variable correlates 1 with itself)");
        entries_ok = false;
      } else if (v < -1 || v > 1) {
        c.add(field, "must lie in [-1, 1]");
        entries_ok = false;
      }
    }
  }
  for (std::size_t i = 0; i < nv; ++i) {
    for (std::size_t j = i + 1; j < nv; ++j) {
      if (std::isfinite(r[i][j]) && std::isfinite(r[j][i]) && r[i][j] != r[j][i]) {
        c.add("correlations",
              "not symmetric at [" + std::to_string(i) + "][" + std::to_string(j) + "]");
        entries_ok = false;
      }
    }
  }
  return entries_ok;
}

void check_mix(const problem_spec& s, checker& c) {
  if (s.majority_per_minority && s.minority_share) {
    c.add("minority_share", "give either majority_per_minority or minority_share, not both");
  }
  if (s.majority_per_minority &&
      !(std::isfinite(*s.majority_per_minority) && *s.majority_per_minority > 0)) {
    c.add("majority_per_minority", "must be a positive finite number");
  }
  if (s.minority_share && !(*s.minority_share > 0 && *s.minority_share < 1)) {
    c.add("minority_share", "must lie strictly between 0 and 1");
  }
  if (s.mode == ratio_mode::overall && !s.majority_per_minority && !s.minority_share) {
    c.add("minority_share",
          "overall selection ratios need the applicant mix: give minority_share or "
          "majority_per_minority");
  }
}

// Effect sizes no larger than the largest a problem may give.
void check_effect_sizes(const std::string& field, const std::vector<double>& values, checker& c) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (std::isfinite(values[i]) && std::fabs(values[i]) > max_effect_size) {
      c.add(checker::indexed(field, i), "must lie between -30 and 30 (standard deviations)");
    }
  }
}

// The composite variance under the given weights, scaled as the analysis
// scales them (only its sign is asked: weights of any size have one).
double predictor_variance(const problem_spec& s) {
  const std::vector<double> w =
      analysis::scaled_weights(s.predictor_weights, analysis::weight_scale::unit);
  return analysis::composite_variance(
      w, [&](std::size_t i, std::size_t j) { return s.correlations[i][j]; });
}

// Whether the whole matrix as given is positive definite (rows read as the
// predictor block is read).
bool spec_positive_definite(const problem_spec& spec) {
  return numeric::positive_definite(spec.predictors + spec.criteria,
                                    [&](int i, int j) { return spec.correlations[j][i]; });
}

analysis_result analyse_weighted(const problem& p, predictor_weighting w, method m,
                                 analysis::weight_scale scale) {
  analysis_result a;
  a.used = m;
  a.composites = analysis::composite_statistics(p, w.weights, scale);
  a.weighting = std::move(w);
  a.model = {.mode = p.spec().mode,
             .quality = p.spec().quality,
             .mix = p.mix(),
             .predictor_effect = a.composites.predictor_effect,
             .validity = a.composites.validity,
             .criterion_effect = a.composites.criterion_effect};
  return a;
}

}  // namespace

problem_result make_problem(problem_spec spec) {
  checker c;
  check_counts(spec, c);
  if (!c.errors.empty()) return {.value = {}, .errors = std::move(c.errors), .warnings = {}};

  check_weights(spec, c);
  const bool matrix_readable = check_correlations(spec, c);
  c.finite_list("predictor_effects", spec.predictor_effects,
                static_cast<std::size_t>(spec.predictors), "predictor");
  c.finite_list("criterion_effects", spec.criterion_effects,
                static_cast<std::size_t>(spec.criteria), "criterion");
  check_effect_sizes("predictor_effects", spec.predictor_effects, c);
  check_effect_sizes("criterion_effects", spec.criterion_effects, c);
  check_mix(spec, c);
  c.finite_entries("requested_ratios", spec.requested_ratios);

  problem_result result;
  if (c.errors.empty() && !spec.regression_weights && !(predictor_variance(spec) > 0)) {
    c.add("predictor_weights", "make a composite without variance under these correlations");
  }
  if (matrix_readable && !spec_predictor_block_positive_definite(spec)) {
    result.warnings.push_back({"correlations", predictor_block_warning});
  } else if (matrix_readable && !spec_positive_definite(spec)) {
    result.warnings.push_back({"correlations", whole_matrix_warning});
  }
  if (!c.errors.empty()) {
    result.errors = std::move(c.errors);
    result.status = problem_status::invalid;
    return result;
  }
  std::optional<applicant_mix> mix;
  if (spec.majority_per_minority) mix = applicant_mix::from_ratio(*spec.majority_per_minority);
  if (spec.minority_share) mix = applicant_mix::from_minority_share(*spec.minority_share);
  result.value = problem_access::make(std::move(spec), mix);
  return result;
}

deck_result read_deck(std::string_view deck) {
  recordio::deck_input in(deck);
  deck_result read = analysis::read_classic_deck(in);
  if (read.value) {
    if (!predictor_block_positive_definite(*read.value)) {
      read.warnings.push_back({"correlations", predictor_block_warning});
    } else if (!correlations_positive_definite(*read.value)) {
      read.warnings.push_back({"correlations", whole_matrix_warning});
    }
  }
  return read;
}

predictor_weighting weighting_of(const problem& p) {
  return analysis::weighting(p, analysis::weight_scale::unit);
}

composite_statistics composites_of(const problem& p) {
  return analysis::composite_statistics(p, weighting_of(p).weights, analysis::weight_scale::unit);
}

selection_model model_of(const problem& p) {
  selection_model model =
      analyse_weighted(p, weighting_of(p), method::classic, analysis::weight_scale::unit).model;
  model.possible = correlations_positive_definite(p);
  return model;
}

namespace {

bool known(method m) { return m == method::classic || m == method::precise; }
bool known(four_fifths_comparison who) {
  return who == four_fifths_comparison::to_highest ||
         who == four_fifths_comparison::minority_to_majority;
}

bool share(double v) { return std::isfinite(v) && v >= 0 && v <= 1; }

// The calls on a model that has passed check_model.
outcome unchecked_outcome(const selection_model& model, double ratio, method m) {
  return m == method::classic ? analysis::selout(model, ratio)
                              : analysis::selout_precise(model, ratio);
}

four_fifths_minimum unchecked_minimum(const selection_model& model, method m,
                                      four_fifths_comparison who) {
  return m == method::classic ? analysis::srmax_search(model, who)
                              : analysis::srmax_search_precise(model, who);
}

bool usable(const selection_model& model, method m) {
  return known(m) && check_model(model).empty();
}

// Why the checked calls give no numbers for a model: none (nullopt), or
// the status they give instead.
// A matrix that is not positive definite comes first: the faults of its
// model (a composite without variance, say) are its consequences.
std::optional<outcome_status> refusal(const selection_model& model, method m) {
  if (known(m) && !model.possible) return outcome_status::not_positive_definite;
  if (!usable(model, m)) return outcome_status::invalid_argument;
  return std::nullopt;
}

outcome refused_outcome(double ratio, outcome_status why) {
  return why == outcome_status::not_positive_definite ? analysis::impossible_outcome(ratio)
                                                      : analysis::invalid_outcome(ratio);
}

// The entries of an analysis whose model is set: each by the method's own
// routines, without checks (the classic report's are whatever its deck
// gives), or, for a model refused, each with the refusal's status.
void add_entries(const problem& p, analysis_result& a, method m,
                 std::optional<outcome_status> refused, four_fifths_comparison who) {
  const std::vector<double>& requested = p.spec().requested_ratios;
  a.entries.reserve(builtin_ratios.size() + 1 + requested.size());
  auto at = [&](double r) {
    return refused ? refused_outcome(r, *refused) : unchecked_outcome(a.model, r, m);
  };
  if (refused) {
    a.minimum.status = *refused;
  } else {
    a.minimum = unchecked_minimum(a.model, m, who);
  }
  int index = 0;
  for (const double r : builtin_ratios) a.entries.push_back({entry_kind::builtin, ++index, at(r)});
  // Without a minimum there is no entry for it: the report has said why.
  ++index;
  if (a.minimum.found) {
    table_entry e{entry_kind::minimum, index, at(a.minimum.ratio)};
    if (m == method::classic) e.result.four_fifths_allowance = classic_minimum_allowance;
    a.entries.push_back(e);
  }
  // A requested ratio that is also a built-in one has that entry's outcome
  // (an outcome depends on the ratio alone): it is not solved again.
  for (const double r : requested) {
    const auto same = std::find_if(builtin_ratios.begin(), builtin_ratios.end(), [&](double b) {
      return std::bit_cast<std::uint64_t>(b) == std::bit_cast<std::uint64_t>(r);
    });
    const auto builtin = static_cast<std::size_t>(same - builtin_ratios.begin());
    a.entries.push_back({entry_kind::requested, ++index,
                         same != builtin_ratios.end() ? a.entries[builtin].result : at(r)});
  }
}

}  // namespace

std::vector<fault> check_model(const selection_model& model) {
  std::vector<fault> faults;
  if (model.mode != ratio_mode::overall && model.mode != ratio_mode::majority) {
    faults.push_back({"mode", "must be overall or majority"});
  }
  if (model.quality != quality_basis::criterion && model.quality != quality_basis::predictor) {
    faults.push_back({"quality", "must be criterion or predictor"});
  }
  if (model.mix) {
    const applicant_mix& mix = *model.mix;
    if (!share(mix.majority)) faults.push_back({"mix.majority", "must be a share in [0, 1]"});
    if (!share(mix.minority)) faults.push_back({"mix.minority", "must be a share in [0, 1]"});
    constexpr double sum_tolerance = 1e-12;
    if (share(mix.majority) && share(mix.minority) &&
        !(std::fabs(mix.majority + mix.minority - 1) <= sum_tolerance)) {
      faults.push_back({"mix", "the shares must sum to 1"});
    }
  } else if (model.mode == ratio_mode::overall) {
    faults.push_back({"mix", "overall selection ratios need the applicant mix"});
  }
  const std::pair<const char*, double> numbers[] = {{"predictor_effect", model.predictor_effect},
                                                    {"validity", model.validity},
                                                    {"criterion_effect", model.criterion_effect}};
  for (const auto& [field, value] : numbers) {
    if (!std::isfinite(value)) faults.push_back({field, "must be a finite number"});
  }
  return faults;
}

outcome outcome_at(const selection_model& model, double ratio, method m) {
  if (std::isnan(ratio)) return analysis::invalid_outcome(ratio);
  if (const auto why = refusal(model, m)) return refused_outcome(ratio, *why);
  return unchecked_outcome(model, ratio, m);
}

outcome outcome_at(const problem& p, double ratio, method m) {
  return outcome_at(model_of(p), ratio, m);
}

std::vector<outcome> outcomes_at(const problem& p, std::span<const double> ratios, method m) {
  const selection_model model = model_of(p);
  std::vector<outcome> out;
  out.reserve(ratios.size());
  for (const double r : ratios) out.push_back(outcome_at(model, r, m));
  return out;
}

four_fifths_minimum find_four_fifths_minimum(const selection_model& model, method m,
                                             four_fifths_comparison who) {
  const std::optional<outcome_status> why =
      known(who) ? refusal(model, m) : outcome_status::invalid_argument;
  if (why) {
    four_fifths_minimum none;
    none.status = *why;
    return none;
  }
  return unchecked_minimum(model, m, who);
}

four_fifths_minimum find_four_fifths_minimum(const problem& p, method m,
                                             four_fifths_comparison who) {
  return find_four_fifths_minimum(model_of(p), m, who);
}

analysis_result analyse(const problem& p, method m) {
  const bool possible = correlations_positive_definite(p);
  if (m == method::classic && possible)
    return analysis::classic_analysis(p, four_fifths_comparison::to_highest);
  analysis_result a = analyse_weighted(p, weighting_of(p), m, analysis::weight_scale::unit);
  a.model.possible = possible;
  add_entries(p, a, m, refusal(a.model, m), four_fifths_comparison::to_highest);
  return a;
}

}  // namespace fourfifths

namespace analysis {

fourfifths::analysis_result classic_analysis(const fourfifths::problem& p,
                                             fourfifths::four_fifths_comparison who) {
  using fourfifths::method;
  fourfifths::analysis_result a =
      fourfifths::analyse_weighted(p, weighting(p), method::classic, weight_scale::as_given);
  fourfifths::add_entries(p, a, method::classic, std::nullopt, who);
  return a;
}

}  // namespace analysis
