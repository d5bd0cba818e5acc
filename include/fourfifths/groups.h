// Several minority groups in one applicant pool: a common within-group
// correlation matrix, and for each minority group its share of the
// applicants and its effect size on every variable (the majority's means
// are 0). The cut score comes from all groups together (overall mode) or
// from the majority's rate (majority mode); each group's rate is compared
// with the majority's (the impact ratio) and with the highest rate of any
// group (the four-fifths rule's comparison). Every value is computed by the
// precise method.
//
//   fourfifths::group_problem_spec spec;
//   spec.base = ...;  // counts, weights, correlations, mode, quality
//   spec.groups = {{"B", 0.15, {-1, -.5, -.4}}, {"H", 0.10, {-.7, -.3, -.2}}};
//   auto built = fourfifths::make_group_problem(spec);
//   fourfifths::group_outcome o = fourfifths::group_outcome_at(*built, 0.3);
//   // o.groups[0] is the majority; o.verdict().failing names who fails.
#ifndef FOURFIFTHS_GROUPS_H_
#define FOURFIFTHS_GROUPS_H_

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fourfifths/analysis.h"
#include "fourfifths/problem.h"
#include "fourfifths/result.h"

namespace fourfifths {

/// The name the outcomes give the majority group; no minority group may
/// take it.
inline constexpr std::string_view majority_group_name = "majority";

/// A minority group as given.
struct minority_group {
  std::string name;
  /// The group's share of all applicants, in (0, 1). Either every group
  /// gives one or none does; overall mode needs them, and they add the
  /// overall selection ratio and mean in majority mode. The majority's
  /// share is what the groups leave.
  std::optional<double> share;
  /// The effect sizes: the group's mean minus the majority's mean on each
  /// variable, in within-group standard deviations, predictors first, then
  /// criteria.
  std::vector<double> d;
};

/// A problem with several minority groups: `base` gives the variables,
/// weights, correlations, mode and quality basis; its effect sizes and
/// applicant mix are the groups' and are left empty.
struct group_problem_spec {
  problem_spec base;
  std::vector<minority_group> groups;  ///< at least one
};

/// A problem with several minority groups that passed every check.
class group_problem {
 public:
  /// The problem of the variables (its effect sizes those of the first group).
  const problem& base() const { return per_group_.front(); }
  std::span<const minority_group> groups() const { return groups_; }
  /// The majority's share of the applicants, when the groups give shares.
  std::optional<double> majority_share() const { return majority_share_; }
  /// The one-group problem of group g (0-based): the variables with that
  /// group's effect sizes, without an applicant mix.
  const problem& of_group(std::size_t g) const { return per_group_[g]; }

 private:
  friend result<group_problem, problem_status> make_group_problem(group_problem_spec spec);
  std::vector<minority_group> groups_;
  std::vector<problem> per_group_;
  std::optional<double> majority_share_;
};

/// The result of `make_group_problem`: a problem, or every fault found.
using group_problem_result = result<group_problem, problem_status>;

/// Checks the spec and builds the problem, every fault named by its path:
/// those of `base` as make_problem names them; "groups" when there are
/// none; "groups[i].name" empty, repeated or "majority"; "groups[i].d" of
/// the wrong length, "groups[i].d[j]" not finite or beyond
/// max_effect_size; "groups[i].share" outside (0, 1) or given by some
/// groups and not others; "groups" when the shares leave the majority none;
/// overall mode without shares; effect sizes or a mix given in `base`.
group_problem_result make_group_problem(group_problem_spec spec);

/// A group's composites: the effect sizes of the predictor and criterion
/// composites under the problem's weights.
struct group_effect {
  std::string name;
  std::optional<double> share;
  double predictor_effect = 0;  ///< delta_g
  double criterion_effect = 0;  ///< dcc_g (with criteria)
};

/// What the outcomes of a problem with several groups depend on.
struct group_model {
  ratio_mode mode = ratio_mode::overall;
  quality_basis quality = quality_basis::criterion;
  double validity = 0;  ///< rpc (used for criterion quality)
  std::optional<double> majority_share;
  std::vector<group_effect> groups;  ///< the minority groups
  /// As selection_model::possible: false when the correlations are not
  /// positive definite, and the checked calls give no numbers.
  bool possible = true;
};

/// The model of the problem under its weights (as model_of for one group).
group_model group_model_of(const group_problem& p);

/// One group's numbers at a cut score.
struct group_rate {
  std::string name;             ///< majority_group_name for the majority
  double sr = 0;                ///< the group's selection rate
  double ai_vs_majority = 0;    ///< sr / the majority's sr (the impact ratio)
  double ratio_to_highest = 0;  ///< sr / the highest sr of any group
  double mean = 0;              ///< mean quality of those selected in the group
};

/// The four-fifths rule over every group.
struct four_fifths_verdict {
  bool passes = false;               ///< every group's rate is at least 0.8 of the highest
  std::string highest;               ///< the group with the highest rate
  std::vector<std::string> failing;  ///< the groups below 0.8 of it, in the groups' order
};

/// The outcome of a selection at one selection ratio, for every group.
struct group_outcome {
  double target = 0;  ///< the ratio asked for (overall or majority, as the mode says)
  /// solved, or as for `outcome`: no_cut_score (overall) or quantile_fault
  /// (majority) with `code` 4 or 5 (1 for a majority ratio outside
  /// [smallest_precise_ratio, 1)), invalid_argument for a model with faults.
  outcome_status status = outcome_status::solved;
  int code = 0;
  double cut_score = 0;
  std::optional<double> sr;        ///< the overall ratio (with shares)
  std::optional<double> mean;      ///< the mean quality of all selected (with shares)
  std::vector<group_rate> groups;  ///< the majority first, then the minority groups

  bool solved() const { return status == outcome_status::solved; }
  /// The four-fifths rule's verdict (when unsolved: not passing, and no
  /// group named).
  four_fifths_verdict verdict() const;
  bool passes_four_fifths() const { return verdict().passes; }
};

/// The smallest selection ratio at which every group's rate is at least
/// 0.8 of the highest: decided by the groups with the lowest and the
/// highest composite means, to the last bit (the smallest ratio whose own
/// outcome passes).
struct group_minimum {
  bool found = false;
  /// solved: found; no_cut_score: every group has the same composite mean
  /// (code 4) or no ratio the method resolves passes (code 5);
  /// invalid_argument: the model has faults.
  outcome_status status = outcome_status::no_cut_score;
  int code = 0;
  double ratio = 0;     ///< overall or majority ratio, as the mode says
  std::string lowest;   ///< the group with the lowest composite mean
  std::string highest;  ///< the group with the highest composite mean
  group_outcome at;     ///< the outcome at `ratio`
};

/// The faults of a model that keep the calls below from using it, each
/// naming its field. Empty when the model can be used.
std::vector<fault> check_group_model(const group_model& model);

/// The outcome at one selection ratio (precise method).
group_outcome group_outcome_at(const group_model& model, double ratio);
group_outcome group_outcome_at(const group_problem& p, double ratio);
/// The outcomes at a list of ratios, in order.
std::vector<group_outcome> group_outcomes_at(const group_problem& p,
                                             std::span<const double> ratios);

/// The four-fifths minimum over every group.
group_minimum find_group_minimum(const group_model& model);
group_minimum find_group_minimum(const group_problem& p);

}  // namespace fourfifths

#endif  // FOURFIFTHS_GROUPS_H_
