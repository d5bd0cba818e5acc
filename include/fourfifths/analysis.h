// What a selection does: the composites, the outcome of a selection at a
// given selection ratio, the four-fifths minimum, and the whole table of
// the classic report, as values.
#ifndef FOURFIFTHS_ANALYSIS_H_
#define FOURFIFTHS_ANALYSIS_H_

#include <array>
#include <optional>
#include <span>
#include <vector>

#include "fourfifths/problem.h"

namespace fourfifths {

/// The built-in selection ratios of the report's table. The last is just
/// below 1, where the cut score is still finite; the report shows it as 1.000.
inline constexpr std::array<double, 21> builtin_ratios = {
    0.01, 0.05, 0.10, 0.15, 0.20, 0.25, 0.30, 0.35, 0.40, 0.45,         0.50,
    0.55, 0.60, 0.65, 0.70, 0.75, 0.80, 0.85, 0.90, 0.95, 0.99999999999};

/// The predictor weights an analysis uses.
struct predictor_weighting {
  std::vector<double> weights;
  bool regression = false;  ///< computed by regression
  /// For regression weights: 0, or the order of the first leading minor of
  /// the predictor block that is not positive definite (the weights are
  /// then those of the partial factorisation, as the report prints them).
  int factorisation_info = 0;
};

/// The composites' statistics. The report's symbols in brackets.
struct composite_statistics {
  double predictor_variance = 0;  ///< [vp]
  double criterion_variance = 0;  ///< [vc] (with criteria)
  double covariance = 0;          ///< [cpc] of the two composites (with criteria)
  double validity = 0;            ///< [rpc] correlation of the two composites (with criteria)
  double predictor_effect = 0;    ///< [dpc] effect size of the predictor composite
  double criterion_effect = 0;    ///< [dcc] effect size of the criterion composite (with criteria)
  bool has_criteria = false;
};

/// What the outcome of a selection depends on: the composites at the level
/// of their effect sizes and correlation, the mode, the quality basis and
/// the applicant mix. Analyses of many weightings start here.
struct selection_model {
  ratio_mode mode = ratio_mode::overall;
  quality_basis quality = quality_basis::criterion;
  std::optional<applicant_mix> mix;
  double predictor_effect = 0;  ///< [dpc]
  double validity = 0;          ///< [rpc] (used for criterion quality)
  double criterion_effect = 0;  ///< [dcc] (used for criterion quality)
  /// False when the correlations the model was made from are not positive
  /// definite: its numbers are those of no population, and the checked
  /// calls give `outcome_status::not_positive_definite` instead of them.
  bool possible = true;
};

/// The smallest selection ratio the precise method resolves: the smallest
/// normal double. Below it the tail areas are subnormal, with fewer digits
/// than the method promises.
inline constexpr double smallest_precise_ratio = 0x1p-1022;

/// The relative error within which the group ratios of a precise outcome
/// reproduce its target (the overall ratio as the mix forms it, or the
/// majority ratio). A cut score whose ratios miss it by more (effect sizes
/// so large that a cut score and the cut score less the effect size cannot
/// both be held in a double) is no cut score.
inline constexpr double precise_target_tolerance = 1e-12;

/// Whether the cut score of an outcome was found.
enum class outcome_status {
  solved,
  /// Overall mode: no cut score gives the ratio; `code` is the zero
  /// finder's status (classic: dfzero's iflag 3, 4 or 5; precise: 4, no
  /// sign change, for a ratio outside [smallest_precise_ratio, 1); 5, the
  /// cut score found does not give the ratio to precise_target_tolerance).
  no_cut_score,
  /// Majority mode: the ratio lies outside (0, 1); `code` is the normal
  /// quantile's fault code (1; precise: also for a ratio below
  /// smallest_precise_ratio, and 5 as for no_cut_score).
  quantile_fault,
  /// The call was given what it cannot use: a selection model with faults
  /// (`check_model` names them), a ratio that is not a number, or a method
  /// outside its set. No value is computed; `code` is 0.
  invalid_argument,
  /// The correlations are not positive definite (not a possible correlation
  /// matrix): whatever the formulas gave, an impact ratio of millions or a
  /// validity above 1, would describe no population. No value is given;
  /// `code` is 0.
  not_positive_definite,
};

/// The outcome of a selection at one selection ratio. Quality values and
/// the cut score are on the majority group's scale (mean 0, standard
/// deviation 1 on each composite); the `std_` values are standardized over
/// the pooled applicants. Overall values need the applicant mix.
struct outcome {
  double target = 0;  ///< the ratio asked for (overall or majority, as the mode says)
  outcome_status status = outcome_status::solved;
  int code = 0;  ///< classic solved: dfzero's iflag (1 or 2); see outcome_status
  double cut_score = 0;
  std::optional<double> sr;  ///< overall ratio [SR]: the target in overall mode
  /// Selection ratios of each group [SRA, SRI]. When no cut score was found
  /// (classic overall mode), those of the zero finder's last evaluation.
  double sr_majority = 0;
  double sr_minority = 0;
  double ai_ratio = 0;                        ///< [AI] sr_minority / sr_majority
  std::optional<double> mean;                 ///< [M] average quality of all selected
  double mean_majority = 0;                   ///< [MA]
  double mean_minority = 0;                   ///< [MI]
  double mean_difference = 0;                 ///< [DIF] MA - MI
  std::optional<double> std_mean;             ///< [SM]
  std::optional<double> std_mean_majority;    ///< [SMA]
  std::optional<double> std_mean_minority;    ///< [SMI]
  std::optional<double> std_mean_difference;  ///< [SDIF] SMA - SMI
  /// Classic overall mode, no cut score: the zero finder's final ends.
  double search_low = 0;
  double search_high = 0;

  /// How far below 0.8 the impact ratio may lie with the rule still
  /// holding: 0, except in the classic method's entry for the four-fifths
  /// minimum (classic_minimum_allowance).
  double four_fifths_allowance = 0;

  bool solved() const { return status == outcome_status::solved; }
  /// The lower group's rate over the higher's: the impact ratio while the
  /// minority is selected less often, its inverse once it is selected more
  /// (NaN without a cut score).
  double ratio_to_highest() const {
    return sr_minority <= sr_majority ? ai_ratio : sr_majority / sr_minority;
  }
  /// The four-fifths rule, which protects every group, the majority
  /// included: the lower group's rate is at least 0.8 times the higher's
  /// (less the allowance). While the minority is selected less often this
  /// is its impact ratio against 0.8.
  bool passes_four_fifths() const {
    return solved() && ratio_to_highest() >= 0.8 - four_fifths_allowance;
  }
};

/// The classic method places the four-fifths minimum only to its zero
/// finder's tolerance (cut scores to 1e-4 relative), and solves its entry's
/// cut score again from the ratio: the impact ratio of that entry lies near
/// 0.8 on either side (at most 2.9e-4 away over the conformance decks and
/// the examples). The classic report prints it as 0.800; the entry's verdict
/// allows the same half unit of the third decimal. The precise method needs
/// no allowance: its minimum is the smallest ratio whose own outcome passes.
inline constexpr double classic_minimum_allowance = 5e-4;

/// Whom the four-fifths minimum protects.
enum class four_fifths_comparison {
  /// Every group against the highest rate, as the rule reads: the
  /// minority's rate against the majority's while it is lower, the
  /// majority's against the minority's once the minority scores higher.
  to_highest,
  /// The minority's rate against the majority's alone, as the classic
  /// report reads it: a minority that scores higher has no minimum.
  minority_to_majority,
};

/// The smallest selection ratio without adverse impact under the
/// four-fifths rule: the cut score where the lower group's rate is 0.8 of
/// the higher's. The
/// precise method gives the smallest ratio (to the last bit) whose outcome
/// (`outcome_at` with the same model) passes the rule, and the cut score
/// and group ratios of that outcome.
struct four_fifths_minimum {
  bool found = false;  ///< status == solved
  /// solved: found; no_cut_score: the impact ratio does not reach 0.8 in
  /// the range searched (`code` says how); invalid_argument: the model has
  /// faults (`check_model`), or the method is outside its set.
  outcome_status status = outcome_status::no_cut_score;
  int code = 0;          ///< the search's status (dfzero's iflag; 1 or 2 when found)
  double ratio = 0;      ///< [srmax] overall or majority ratio, as the mode says
  double cut_score = 0;  ///< classic: the zero finder's b
  double sr_majority = 0;
  double sr_minority = 0;
};

enum class entry_kind { builtin, minimum, requested };

/// One entry of the table: the built-in ratios, the minimum, the requested ratios.
struct table_entry {
  entry_kind kind = entry_kind::builtin;
  int index = 0;  ///< 1-based position in the report's order (the minimum is 22)
  outcome result;
};

/// Everything the classic report shows, computed.
struct analysis_result {
  method used = method::classic;
  predictor_weighting weighting;
  composite_statistics composites;
  selection_model model;
  four_fifths_minimum minimum;
  /// The built-in ratios, the minimum when found, the requested ratios.
  std::vector<table_entry> entries;
};

/// The predictor weights: the given ones, or the regression weights.
predictor_weighting weighting_of(const problem& p);
/// The composites under the problem's weights. Only the weights' ratios
/// matter: each weight vector is first scaled by the power of two that
/// brings its largest entry into [1, 2), which is exact, so that weights of
/// any size from the smallest to the largest doubles give the same
/// composites (the classic analysis forms its sums from the weights as
/// given, the same doubles wherever those sums neither overflow nor
/// underflow).
composite_statistics composites_of(const problem& p);
/// The selection model of the problem under its weights, from composites_of.
selection_model model_of(const problem& p);

/// The faults of a selection model that keep the calls below from using
/// it, each naming its field: a mode or quality basis outside its set;
/// overall mode without an applicant mix; shares of the mix that are not
/// finite, lie outside [0, 1] or do not sum to 1 (within 1e-12); an effect
/// size or validity that is not finite. Empty when the model can be used.
std::vector<fault> check_model(const selection_model& model);

/// The outcome at one selection ratio. A model with faults, a ratio that
/// is not a number or a method outside its set give an outcome of status
/// invalid_argument.
outcome outcome_at(const selection_model& model, double ratio, method m = method::classic);
outcome outcome_at(const problem& p, double ratio, method m = method::classic);
/// The outcomes at a list of ratios, in order.
std::vector<outcome> outcomes_at(const problem& p, std::span<const double> ratios,
                                 method m = method::classic);

/// The four-fifths minimum (status invalid_argument for a model with
/// faults or a method outside its set), every group against the highest
/// rate unless `who` says otherwise.
four_fifths_minimum find_four_fifths_minimum(
    const selection_model& model, method m = method::classic,
    four_fifths_comparison who = four_fifths_comparison::to_highest);
four_fifths_minimum find_four_fifths_minimum(
    const problem& p, method m = method::classic,
    four_fifths_comparison who = four_fifths_comparison::to_highest);

/// The whole analysis at the built-in ratios, the minimum and the requested
/// ratios. With method::classic it is the classic program's analysis, the
/// one its report prints: the composites' sums formed from the weights as
/// given, and every entry by the classic routines, whatever the problem
/// holds (a deck's weights without variance give rows of NaN, as the report
/// prints them). Any other method starts from model_of; a model with faults
/// gives every entry the status invalid_argument, and no minimum. The
/// minimum is the rule's, every group against the highest rate; the
/// classic report's (classic_report in report.h) compares the minority
/// with the majority alone, and so has none where the minority scores
/// higher.
analysis_result analyse(const problem& p, method m = method::classic);

}  // namespace fourfifths

#endif  // FOURFIFTHS_ANALYSIS_H_
