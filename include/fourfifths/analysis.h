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
};

/// Whether the cut score of an outcome was found.
enum class outcome_status {
  solved,
  /// Overall mode: no cut score gives the ratio; `code` is the zero
  /// finder's status (classic: dfzero's iflag 3, 4 or 5; precise: 4, no
  /// sign change, for a ratio outside (0, 1)).
  no_cut_score,
  /// Majority mode: the ratio lies outside (0, 1); `code` is the normal
  /// quantile's fault code (1).
  quantile_fault,
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

  bool solved() const { return status == outcome_status::solved; }
  /// The four-fifths rule: the minority's ratio is at least 0.8 times the
  /// majority's.
  bool passes_four_fifths() const { return solved() && ai_ratio >= 0.8; }
};

/// The smallest selection ratio without adverse impact under the
/// four-fifths rule: the cut score where the impact ratio is 0.8.
struct four_fifths_minimum {
  bool found = false;
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
/// The composites under the problem's weights.
composite_statistics composites_of(const problem& p);
/// The selection model of the problem under its weights.
selection_model model_of(const problem& p);

/// The outcome at one selection ratio.
outcome outcome_at(const selection_model& model, double ratio, method m = method::classic);
outcome outcome_at(const problem& p, double ratio, method m = method::classic);
/// The outcomes at a list of ratios, in order.
std::vector<outcome> outcomes_at(const problem& p, std::span<const double> ratios,
                                 method m = method::classic);

/// The four-fifths minimum.
four_fifths_minimum find_four_fifths_minimum(const selection_model& model,
                                             method m = method::classic);
four_fifths_minimum find_four_fifths_minimum(const problem& p, method m = method::classic);

/// The whole analysis at the built-in ratios, the minimum and the requested ratios.
analysis_result analyse(const problem& p, method m = method::classic);

}  // namespace fourfifths

#endif  // FOURFIFTHS_ANALYSIS_H_
