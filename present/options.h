// Options as every face takes them: numbers and lists of ratios from text,
// and the Pareto options from a request, checked once with the same words.
#ifndef FOURFIFTHS_PRESENT_OPTIONS_H_
#define FOURFIFTHS_PRESENT_OPTIONS_H_

#include <cstddef>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fourfifths/pareto.h"
#include "fourfifths/problem.h"

namespace present {

/// The most ratios a list or grid may give.
inline constexpr std::size_t most_ratios = 100000;
/// The fewest and most points of a front.
inline constexpr int fewest_points = fourfifths::fewest_front_points;
inline constexpr int most_points = fourfifths::most_front_points;

/// Whether the text, exactly, is a decimal number: a sign, digits with at
/// most one point (at least one digit), and an exponent with digits.
bool decimal(std::string_view text);

/// A finite decimal number, blanks around it allowed ("0.25", "1e-3");
/// nothing for anything else (hexadecimal, "inf", "nan", trailing text).
std::optional<double> parse_number(std::string_view text);

/// A whole number in decimal digits, blanks around it allowed ("10",
/// "010" is ten); nothing for anything else or beyond the range of long long.
std::optional<long long> parse_whole(std::string_view text);

/// The ratios of "0.1,0.2" (--ratios); an error message when the text is
/// not such a list.
std::optional<std::vector<double>> parse_ratio_list(std::string_view text, std::string& error);
/// The ratios of "0.05:0.95:0.05" (--grid), each point to 15 significant
/// digits.
std::optional<std::vector<double>> parse_ratio_grid(std::string_view text, std::string& error);

/// Pareto options from a request of the page: "ratio" (a number),
/// "points" (a whole number), "objective" and "signs" (their names);
/// absent keys keep their defaults. `mode` is the scenario's. Faults name
/// the key; the ranges (a ratio in (0, 1), 2 to 10000 points) are checked
/// by the library's search, which says what is out of range.
std::vector<fourfifths::fault> read_pareto_options(const nlohmann::json& request,
                                                   fourfifths::ratio_mode mode,
                                                   fourfifths::pareto_options& out);

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_OPTIONS_H_
