// The arguments of the packages' calls (Python's and R's), checked here once
// so that both say the same words of the same value. A binding hands each
// argument over as the JSON value it stands for (null for Python's None and
// R's NA or NULL, an array for anything that is not one value), under the
// name its language gives the argument, and raises the faults in its own
// way. Nothing here falls back to a default: an argument is always given.
#ifndef FOURFIFTHS_PRESENT_ARGUMENTS_H_
#define FOURFIFTHS_PRESENT_ARGUMENTS_H_

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fourfifths/analysis.h"
#include "fourfifths/finite_pool.h"
#include "fourfifths/pareto.h"
#include "fourfifths/result.h"
#include "present/calibration_output.h"

namespace present {

/// The ratios of a table, at each of which it has a row ("ratios"): one or
/// more, at most `most_ratios` (as many as the explorer's --ratios takes),
/// each a finite number. A ratio that is not finite is named by its place
/// in words, counted from one ("the 2nd ratio"), which reads alike whatever
/// a language counts its indices from; at most `most_faults` are named.
std::vector<fourfifths::fault> check_ratios(std::span<const double> ratios);

/// A number (a selection ratio, a least impact ratio): any number, NaN
/// included, since its range is the library's to check with its own words.
/// Nothing, and a fault naming `name`, for anything else.
std::optional<double> number_argument(std::string_view name, const nlohmann::json& value,
                                      std::vector<fourfifths::fault>& faults);

/// The points of a front: a whole number, given as an integer or as a
/// number without a fraction (R's 21 is a double). One beyond the range of
/// an int is given as 0: the library says what the range is.
std::optional<int> points_argument(std::string_view name, const nlohmann::json& value,
                                   std::vector<fourfifths::fault>& faults);

/// A name of one of the engine's closed sets, as names.h spells it
/// (fourfifths::method, pareto_objective, weight_signs).
template <class E>
std::optional<E> name_argument(std::string_view name, const nlohmann::json& value,
                               std::vector<fourfifths::fault>& faults);

/// Whether several groups (`several_groups`) can be analysed by method `m`:
/// nothing, or the fault that says they are analysed by the precise method
/// only. Every face asks here.
std::optional<fourfifths::fault> method_fault(fourfifths::method m, bool several_groups);

/// The method of a table or an outcome ("method"): a scenario with several
/// minority groups is analysed by the precise method only.
std::optional<fourfifths::method> method_argument(const nlohmann::json& value, bool several_groups,
                                                  std::vector<fourfifths::fault>& faults);

/// The options of a front as a package's call gives them, every one given:
/// the ratio (under `ratio_name`, "sr" in R's argument form), the points,
/// the objective and the signs of the weights (under `signs_name`:
/// Python's "weights", R's "signs"). The ranges are the library's to check.
std::vector<fourfifths::fault> pareto_arguments(
    std::string_view ratio_name, const nlohmann::json& ratio, const nlohmann::json& points,
    const nlohmann::json& objective, std::string_view signs_name, const nlohmann::json& signs,
    fourfifths::ratio_mode mode, fourfifths::pareto_options& out);

/// A calibration as a package's call gives it: none where `calibration_n`
/// is null; otherwise the size, the replications and the seed, each a
/// whole number (the seed at least 0), and `threads` (null: `cpus`). The
/// ranges of the size and the replications are the library's to check.
std::optional<calibration_request> calibration_arguments(const nlohmann::json& calibration_n,
                                                         const nlohmann::json& replications,
                                                         const nlohmann::json& seed,
                                                         const nlohmann::json& threads,
                                                         unsigned cpus,
                                                         std::vector<fourfifths::fault>& faults);

/// Finite pools as a package's call gives them: none where `applicants` is
/// null; otherwise the pool's size, the replications and the seed, each a
/// whole number (the seed at least 0), and the tests' level `alpha`, a
/// number. The ranges are the library's to check (study::pool_fault).
std::optional<fourfifths::pool_options> pool_arguments(const nlohmann::json& applicants,
                                                       const nlohmann::json& replications,
                                                       const nlohmann::json& seed,
                                                       const nlohmann::json& alpha,
                                                       std::vector<fourfifths::fault>& faults);

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_ARGUMENTS_H_
