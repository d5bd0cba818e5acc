// Adverse impact in observed hiring data: from the counts of applicants and
// of those selected in each group, optionally in several units (jobs, steps,
// years), every group's selection rate against a reference group's, the
// four-fifths rule with the statistics practitioners put beside it, and
// across units the Mantel-Haenszel common odds ratio. Or the steps of one
// selection process (a screen, a test, an interview): each step among those
// who reached it, and the bottom line, the whole process from the first
// step to the last.
//
//   std::vector<fourfifths::group_counts> counts = {
//       {.group = "men", .applicants = 80, .selected = 48},
//       {.group = "women", .applicants = 60, .selected = 24}};
//   fourfifths::observed_result r = fourfifths::analyse_observed(counts);
//   // r->rows[1].impact_ratio == 2/3, r->rows[1].passes_four_fifths == false,
//   // r->rows[1].p_fisher, ...
//
// Counts are whole numbers of people; everything the rule decides (who is
// the reference, the verdict, the shortfall, the one-person test) is decided
// in exact integer arithmetic.
#ifndef FOURFIFTHS_OBSERVED_H_
#define FOURFIFTHS_OBSERVED_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "fourfifths/result.h"

namespace fourfifths {

/// The counts of one group in one unit.
struct group_counts {
  std::string group{};
  std::int64_t applicants = 0;
  std::int64_t selected = 0;
  std::string unit{};  ///< empty when the data have no units
  /// The step of one selection process: `applicants` reached it and
  /// `selected` passed it. Empty when the data have no steps; steps and
  /// units are not given together.
  std::string step{};
};

/// Names each held once, numbered in the order they first come.
class name_table {
 public:
  /// The number of `name`, given it now if it is new.
  std::uint32_t intern(std::string_view name);
  /// The number of `name`, or none.
  std::optional<std::uint32_t> find(std::string_view name) const;
  const std::vector<std::string>& names() const { return names_; }
  const std::string& operator[](std::uint32_t i) const { return names_[i]; }
  std::size_t size() const { return names_.size(); }

 private:
  struct hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::vector<std::string> names_;
  std::unordered_map<std::string, std::uint32_t, hash, std::equal_to<>> index_;
};

/// Counts with each name held once, as a reader of a large file builds
/// them: an entry per group and unit (or step), in the data's order, naming
/// its group, unit and step by number (the unit or step "" when the data
/// have none).
class counts_table {
 public:
  struct entry {
    std::uint32_t group = 0, unit = 0, step = 0;
    std::int64_t applicants = 0, selected = 0;
  };
  /// Appends an entry; returns its index.
  std::size_t add(std::string_view group, std::int64_t applicants, std::int64_t selected,
                  std::string_view unit = {}, std::string_view step = {});
  /// Makes room for `entries` entries.
  void reserve(std::size_t entries) { entries_.reserve(entries); }
  /// Adds counts to the entry at `index`.
  void add_to(std::size_t index, std::int64_t applicants, std::int64_t selected);

  std::span<const entry> entries() const { return entries_; }
  const name_table& groups() const { return groups_; }
  const name_table& units() const { return units_; }
  const name_table& steps() const { return steps_; }
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  /// Entry `i` with its names spelt out.
  group_counts operator[](std::size_t i) const;

 private:
  name_table groups_, units_, steps_;
  std::vector<entry> entries_;
};

/// The largest count accepted: 2^53 - 1, the largest whole number that a
/// double (and a JSON reader in a browser) holds exactly.
inline constexpr std::int64_t max_count = (std::int64_t{1} << 53) - 1;

/// The most rows an analysis of steps has, one for every group at every
/// step: a process has a few steps, and data that would make more (a
/// million steps of a million groups) are refused rather than laid out.
inline constexpr std::int64_t max_step_rows = std::int64_t{1} << 24;

struct observed_options {
  /// The reference group, by name; by default, in each unit, the group with
  /// the highest selection rate (the first in the data's order among equals).
  std::optional<std::string> reference{};
  /// The level of the tests: a p value below it is significant, and the
  /// intervals cover 1 - alpha. Strictly between 0 and 1.
  double alpha = 0.05;
  /// The order of the steps, first to last; by default the order in which
  /// the data first name them. When given, it names every step of the data
  /// once (and may name steps the data lack: no one reached them).
  std::vector<std::string> steps{};
};

/// What a row's comparison with the reference is, and why some of its
/// values are missing or special.
enum class comparison_status {
  compared,             ///< every value is given
  reference,            ///< the reference group's own row: ratio 1, no tests
  no_applicants,        ///< the group has no applicants: no rate, nothing to compare
  no_reference,         ///< the named reference has no applicants in this unit
  no_selections,        ///< neither the group nor the reference selected anyone:
                        ///< the ratio is 0/0 (none), so the rule is not judged (no
                        ///< verdict, no shortfall, no one-person answer), p values 1,
                        ///< no z and no interval
  all_selected,         ///< both selected every applicant: ratio 1, the rule holds,
                        ///< p values 1, no z, the interval [1, 1]
  reference_rate_zero,  ///< the reference selected no one, the group someone:
                        ///< ratio infinite, the rule holds; the interval adds 0.5
  group_rate_zero,      ///< the group selected no one, the reference someone:
                        ///< ratio 0; the interval adds 0.5
  no_shared_unit,       ///< all units together: the group has applicants only in
                        ///< units where the reference has none, so nothing is
                        ///< compared (its counts and rate are its own)
};

/// Why a one-person answer of a compared row is missing.
enum class one_person_note {
  none,                         ///< both answers are given
  group_selected_no_one,        ///< the group passes but has no selection to give up
  reference_selected_everyone,  ///< the group passes but the reference has no one left to select
  rate_not_lower,               ///< the group's rate is not below the reference's: no
                                ///< adverse impact for one person to reverse
};

/// Whether the Mantel-Haenszel test was made.
enum class mh_status {
  tested,          ///< the statistic and its p value are given
  no_shared_unit,  ///< no unit has applicants of both the group and the reference
  no_variation,    ///< in every shared unit everyone or no one was selected:
                   ///< the statistic has no variance
};

/// The Mantel-Haenszel analysis of one group against the reference across
/// the units where both have applicants.
struct mantel_haenszel {
  mh_status status = mh_status::tested;
  int units = 0;  ///< the units that entered
  /// The common odds ratio (the group's odds of selection over the
  /// reference's): none when it is 0/0, infinite when no unit has a
  /// selected reference applicant against a rejected group applicant.
  std::optional<double> odds_ratio{};
  /// Its 1 - alpha interval (Robins, Breslow and Greenland's variance), when
  /// the ratio is finite and positive.
  std::optional<double> ci_low{}, ci_high{};
  /// The Cochran-Mantel-Haenszel statistic without continuity correction
  /// (chi-square, one degree of freedom); none when no unit varies.
  std::optional<double> statistic{};
  std::optional<double> p{};  ///< its p value; none when there is no statistic
  /// Whether p is certainly below alpha, as for the other tests; none
  /// when there is no statistic.
  std::optional<bool> significant{};
  /// Of the units that entered, those where the group's rate is below the
  /// reference's (exactly, from the counts).
  int units_lower = 0;
  /// The units pooled say the opposite of every unit alone: the pooled
  /// rate is below the reference's though in no unit is the group's, or
  /// not below though in every unit it is (Simpson's paradox; two units at
  /// least). The units' own comparison, Mantel-Haenszel, is the one to read.
  bool pooling_reverses = false;
};

/// One group in one unit (or, with several units, in all of them together)
/// against the reference.
struct comparison {
  std::string unit{};  ///< empty in the rows of all units together
  std::string step{};  ///< empty in the rows of the bottom line
  std::string group{};
  std::int64_t applicants = 0;
  std::int64_t selected = 0;
  std::string reference{};  ///< the reference group; empty when the unit has none
  std::optional<double> rate{};
  std::optional<double> impact_ratio{};  ///< the group's rate over the reference's
  std::optional<bool> passes_four_fifths{};
  /// The selections the group lacks to reach four fifths of the reference's
  /// rate (0 when it does).
  std::optional<std::int64_t> shortfall_four_fifths{};
  /// The selections it would have at the unit's overall rate, less those it
  /// has: positive when it has fewer.
  std::optional<double> shortfall_pool{};
  /// Whether moving one selection between the group and the reference (to
  /// the group when it fails, from it when it passes) reverses the
  /// four-fifths verdict, with the reference's rate taken anew when the
  /// reference is the highest rate (in a unit). None when no such move
  /// exists (`note` says why).
  std::optional<bool> one_person_flip{};
  /// The one-person rule of the agencies' Questions and Answers on the
  /// Uniform Guidelines: whether one more of the group selected and one
  /// fewer of the reference (one job given to a different person) would
  /// leave the group's rate no longer below the reference's. Asked only
  /// where the group's rate is below the reference's (otherwise none, and
  /// `note` says so); then the move always exists.
  std::optional<bool> one_person_reversal{};
  one_person_note note = one_person_note::none;
  /// The two-proportion z test with a pooled standard error: z (negative
  /// when the group's rate is lower) and the two-sided p value.
  std::optional<double> z{}, p_z{};
  std::optional<double> p_fisher{};  ///< Fisher's exact test, two-sided
  /// The 1 - alpha interval of the impact ratio (log method).
  std::optional<double> ci_low{}, ci_high{};
  /// Whether the p value is certainly below alpha: one equal to alpha
  /// (Fisher's 1/20 against 0.05), or nearer it than the p value's own
  /// error bound, is not significant.
  std::optional<bool> significant_z{}, significant_fisher{};
  /// Across units, in the rows of all units together: over the units where
  /// both the group and the reference have applicants, which are also the
  /// units whose counts the row pools.
  std::optional<mantel_haenszel> across_units{};
  comparison_status status = comparison_status::compared;
};

struct observed_analysis {
  observed_options options{};
  /// The units in the order they first appear; none when the data have none.
  std::vector<std::string> units{};
  /// Each unit's groups in the order they first appear in the data, unit by
  /// unit; then, with two units or more, every group in all units together
  /// (unit empty), with `across_units`. There the reference is chosen by
  /// the groups' totals, and each other group's counts are those of the
  /// units where it meets the reference, compared with the reference's in
  /// the same units: a group is never held against selections made where
  /// it did not apply.
  ///
  /// With steps, each step's groups (every group of the data, in the order
  /// they first appear; zero counts where a group did not reach the step),
  /// step by step; then, with two steps or more, every group's bottom line
  /// (step empty): its applicants at the first step against those selected
  /// at the last, its reference chosen among the bottom lines.
  std::vector<comparison> rows{};
  /// The steps in order, first to last; none when the data have none.
  std::vector<std::string> steps{};
};

enum class observed_status {
  analysed,
  invalid,  ///< faults of the counts or the options, each with its path ("counts[3].selected")
};

using observed_result = result<observed_analysis, observed_status>;

/// What takes an analysis row by row as it is made, so that a table of
/// any length need not be held whole.
class observed_sink {
 public:
  virtual ~observed_sink() = default;
  /// Before the first row: the options of the analysis (with steps, their
  /// order in `options.steps`), its units and its steps (none when the data
  /// have none). False stops the analysis.
  virtual bool start(const observed_options& options, std::span<const std::string> units,
                     std::span<const std::string> steps) = 0;
  /// Each row in the order of `observed_analysis::rows`: unit by unit, then
  /// the rows of all units together. False stops the analysis.
  virtual bool row(const comparison& row) = 0;
};

/// Checks the counts and the options in full and, only when they have no
/// fault, hands the analysis to `sink`; returns the faults (the same as
/// analyse_observed's), none when the analysis was handed on. Memory beside
/// the counts is a few words per entry: no row is kept.
std::vector<fault> analyse_observed(const counts_table& counts, const observed_options& options,
                                    observed_sink& sink);

/// The analysis of the counts: their faults (a negative count, more
/// selected than applicants, a count above `max_count`, a missing group, a
/// group given twice in a unit, a reference that is not in the data, an
/// alpha outside (0, 1); with steps, units as well, a step missing from
/// `options.steps` or named there twice, more applicants at a step than
/// the group had selected at the step before, and more than max_step_rows
/// steps times groups), or every group's comparison.
observed_result analyse_observed(std::span<const group_counts> counts,
                                 const observed_options& options = {});
/// The same of counts whose names are held once.
observed_result analyse_observed(const counts_table& counts, const observed_options& options = {});

}  // namespace fourfifths

#endif  // FOURFIFTHS_OBSERVED_H_
