// A selection problem: the predictors and criteria with their weights,
// correlations and effect sizes, the applicant mix, what a selection ratio
// means and what quality is measured on. Built in code (`make_problem`,
// with every fault listed) or read from a classic deck (`read_deck`, with
// the classic program's own messages).
#ifndef FOURFIFTHS_PROBLEM_H_
#define FOURFIFTHS_PROBLEM_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fourfifths/result.h"

namespace fourfifths {

/// The most predictors, criteria and variables in all that a problem may have.
inline constexpr int max_predictors = 30;
inline constexpr int max_criteria = 10;
inline constexpr int max_variables = 30;
/// The largest effect size, in within-group standard deviations, that a
/// problem may give a predictor or criterion. Far beyond any group
/// difference met in selection, and well inside the range where both
/// groups' tail areas at the built-in ratios are normal doubles.
inline constexpr double max_effect_size = 30;

/// What a selection ratio is: the overall ratio of the whole applicant
/// pool, or the majority group's ratio.
enum class ratio_mode { overall, majority };

/// What the quality of those selected is measured on: the criterion
/// composite, or the predictor composite itself.
enum class quality_basis { criterion, predictor };

/// The numerical method of an analysis. `classic` is exactly what the
/// classic report prints: the published routines and tolerances (cut
/// scores to 1e-4 relative, tail areas to about 1e-9 in the far tails).
/// `precise` solves every cut score to full double precision and computes
/// tail areas to a few units in the last place.
enum class method { classic, precise };

/// The shares of majority and minority applicants in the pool (summing to 1).
struct applicant_mix {
  double majority = 0;  ///< pa
  double minority = 0;  ///< pmin

  /// From the number of majority applicants per minority applicant r:
  /// pa = r/(r + 1), pmin = 1 - pa, as the deck's ratio is read.
  static applicant_mix from_ratio(double majority_per_minority);
  /// From the minority share s: pmin = s, pa = 1 - s.
  static applicant_mix from_minority_share(double share);
};

/// A problem as given. Variables are ordered predictors first, then
/// criteria, in the rows and columns of `correlations`.
struct problem_spec {
  int predictors = 0;  ///< 1..30
  int criteria = 0;    ///< 0..10, predictors + criteria at most 30
  ratio_mode mode = ratio_mode::overall;
  quality_basis quality = quality_basis::criterion;
  /// true: the predictor weights are the standardized regression weights
  /// of the criterion composite on the predictors (needs a criterion), and
  /// `predictor_weights` is left empty.
  bool regression_weights = false;
  std::vector<double> predictor_weights;  ///< one per predictor
  std::vector<double> criterion_weights;  ///< one per criterion
  /// The whole correlation matrix, (predictors + criteria) rows of as many
  /// entries: symmetric, unit diagonal, entries in [-1, 1].
  std::vector<std::vector<double>> correlations;
  /// Effect sizes: the minority-group mean minus the majority-group mean,
  /// in within-group standard deviations (a group that scores lower has a
  /// negative value).
  std::vector<double> predictor_effects;
  std::vector<double> criterion_effects;
  /// The applicant mix, as the number of majority applicants per minority
  /// applicant or as the minority share; at most one of the two. Overall
  /// mode needs it; in majority mode it is optional, and adds the overall
  /// selection ratio and the overall quality to each outcome.
  std::optional<double> majority_per_minority;
  std::optional<double> minority_share;
  /// Selection ratios to report besides the built-in ones, in report order
  /// (overall or majority ratios, as `mode` says).
  std::vector<double> requested_ratios;
};

/// A problem that can be analysed: built from a spec that passed every
/// check, or read from a deck that the classic program accepts.
class problem {
 public:
  const problem_spec& spec() const { return spec_; }
  /// The applicant mix, when the problem gives one.
  std::optional<applicant_mix> mix() const { return mix_; }
  /// predictors + criteria.
  int variables() const { return spec_.predictors + spec_.criteria; }
  /// The correlation of variables i and j (0-based), as given.
  double correlation(int i, int j) const;

 private:
  friend struct problem_access;
  problem_spec spec_;
  std::optional<applicant_mix> mix_;
  std::vector<double> flat_;  // the correlations, row by row
};

/// How `make_problem` ended.
enum class problem_status {
  built,    ///< the value holds the problem (perhaps with warnings)
  invalid,  ///< the spec has faults: `errors` lists every one
};

/// The result of `make_problem`: a problem, or every fault found.
using problem_result = result<problem, problem_status>;

/// Checks the spec and builds the problem. Every fault is reported, each
/// naming its field: counts out of range, lists of the wrong length,
/// numbers that are not finite, effect sizes beyond max_effect_size,
/// correlations outside [-1, 1] or not symmetric or with a diagonal other
/// than 1, an applicant mix missing in overall mode or given twice, a share
/// outside (0, 1), a ratio that is not positive, regression weights or
/// criterion quality without a criterion, requested ratios that are not
/// finite. A correlation matrix that is not positive definite (the
/// predictor block, or else the whole matrix) is a warning on
/// "correlations": the problem is built, but a validity computed from it
/// may lie outside [-1, 1].
problem_result make_problem(problem_spec spec);

/// How reading a classic deck ended.
enum class deck_status {
  read,             ///< the value holds the problem
  rejected,         ///< the header's check failed: its messages go to the report
  unreadable,       ///< the reader failed: the four-line report on standard error
  too_many_ratios,  ///< more than 25 requested ratios: the subscript report on standard error
};

/// The result of `read_deck`: a problem, or why the deck was refused, as
/// faults (one a line of the program's text, without a path) and as the
/// classic program's own text.
struct deck_result : result<problem, deck_status> {
  /// The text the classic program prints for a refused deck, every line
  /// ending in a newline; empty when the deck was read.
  std::string text;
};

/// Reads a classic deck (free-form values, eight reads), checks its header
/// and builds the problem, exactly as the classic program does. The deck's
/// correlation matrix is taken as given, without the checks of
/// `make_problem`; one that is not positive definite is a warning, as
/// there (the classic report says nothing of it).
deck_result read_deck(std::string_view deck);

/// Whether the problem's whole correlation matrix (predictors and criteria)
/// is positive definite, as a correlation matrix of data must be: the
/// Cholesky factorisation the analysis itself uses.
bool correlations_positive_definite(const problem& p);
/// The same for the predictors' block alone, which regression weights and
/// the Pareto front need.
bool predictor_block_positive_definite(const problem& p);

}  // namespace fourfifths

#endif  // FOURFIFTHS_PROBLEM_H_
