// The chances of finite applicant pools beside a table's rows: how often a
// pool of M applicants drawn from the scenario, selected top-down at the
// row's ratio, fails the four-fifths rule or shows a significant
// difference (see fourfifths/finite_pool.h). The columns come after a
// table's own, and only when a pool size is asked for.
#ifndef FOURFIFTHS_PRESENT_POOL_COLUMNS_H_
#define FOURFIFTHS_PRESENT_POOL_COLUMNS_H_

#include <cstddef>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fourfifths/finite_pool.h"
#include "fourfifths/groups.h"
#include "fourfifths/problem.h"
#include "fourfifths/result.h"
#include "present/frame.h"

namespace present {

/// The chances at every row of a table (none for a row without a cut
/// score), with the options they were computed with.
struct pool_chances {
  fourfifths::pool_options options;
  std::vector<std::optional<fourfifths::pool_probabilities>> rows;
};

/// The population pools are drawn from: the groups' shares (the applicant
/// mix) and the composite means under the weights; none when the scenario
/// gives no shares (majority mode without a mix).
std::optional<fourfifths::pool_population> pool_population_of(const fourfifths::problem& p);
std::optional<fourfifths::pool_population> pool_population_of(const fourfifths::group_problem& p);

/// What keeps pools of these options from being drawn from the population
/// (none when nothing does), named as a face names its options:
/// "applicants", "replications", or "scenario" when it gives no shares.
std::optional<fourfifths::fault> pool_fault(
    const std::optional<fourfifths::pool_population>& population,
    const fourfifths::pool_options& o);

/// The chances at each overall ratio (none where a row has none), or the
/// engine's faults as an exception (std::invalid_argument): call
/// pool_fault first.
pool_chances pool_chances_at(const fourfifths::pool_population& population,
                             std::span<const std::optional<double>> overall_ratios,
                             const fourfifths::pool_options& o);

/// Appends the pool columns to a frame whose rows are the chances' rows,
/// each repeated `repeat[i]` times (the groups of a group table's entry;
/// empty: once each): pool_selected, p_fail_four_fifths and its standard
/// error p_fail_four_fifths_se, p_fisher, p_fisher_se, p_z, p_z_se,
/// p_group_absent, p_group_absent_se, pool_method. The standard errors
/// are empty where the chances are exact.
void append_pool_columns(frame& f, const pool_chances& c, std::span<const std::size_t> repeat = {});

/// {"applicants", "replications", "seed", "alpha"} for a table's document.
nlohmann::json pool_document(const pool_chances& c);

/// Text cells of one row: the chances with four decimals, "-" without.
std::string pool_text_header();
std::string pool_text_cells(const std::optional<fourfifths::pool_probabilities>& p);
/// The line under a text table: the pool's size and how the chances were
/// found (exactly, or from how many pools, with the largest standard error).
std::string pool_text_footer(const pool_chances& c);

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_POOL_COLUMNS_H_
