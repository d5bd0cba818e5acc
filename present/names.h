// The names of the engine's closed sets and of the output formats, as every
// face writes and reads them: in scenarios, tables, requests of the page and
// on the command line. One table per set; nothing else spells them.
#ifndef FOURFIFTHS_PRESENT_NAMES_H_
#define FOURFIFTHS_PRESENT_NAMES_H_

#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "fourfifths/analysis.h"
#include "fourfifths/pareto.h"
#include "fourfifths/problem.h"
#include "present/frame.h"

namespace present {

/// The two forms of a scenario.
enum class scenario_form { json, deck };
/// What a table or a front is written as.
enum class table_format { csv, json, text };
/// What a batch writes: a CSV table, or one JSON line per scenario.
enum class batch_format { csv, jsonl };

template <class E>
struct named {
  std::string_view name;
  E value;
};

/// The table of a set: names_of<E>::table, in the order help texts list them
/// (the default first).
template <class E>
struct names_of;

template <>
struct names_of<fourfifths::method> {
  static constexpr std::array<named<fourfifths::method>, 2> table{
      {{"precise", fourfifths::method::precise}, {"classic", fourfifths::method::classic}}};
};
template <>
struct names_of<fourfifths::ratio_mode> {
  static constexpr std::array<named<fourfifths::ratio_mode>, 2> table{
      {{"overall", fourfifths::ratio_mode::overall},
       {"majority", fourfifths::ratio_mode::majority}}};
};
template <>
struct names_of<fourfifths::quality_basis> {
  static constexpr std::array<named<fourfifths::quality_basis>, 2> table{
      {{"criterion", fourfifths::quality_basis::criterion},
       {"predictor", fourfifths::quality_basis::predictor}}};
};
template <>
struct names_of<fourfifths::pareto_objective> {
  static constexpr std::array<named<fourfifths::pareto_objective>, 2> table{
      {{"validity", fourfifths::pareto_objective::validity},
       {"mean", fourfifths::pareto_objective::mean}}};
};
template <>
struct names_of<fourfifths::weight_signs> {
  static constexpr std::array<named<fourfifths::weight_signs>, 2> table{
      {{"nonnegative", fourfifths::weight_signs::nonnegative},
       {"any", fourfifths::weight_signs::any}}};
};
template <>
struct names_of<fourfifths::entry_kind> {
  static constexpr std::array<named<fourfifths::entry_kind>, 3> table{
      {{"builtin", fourfifths::entry_kind::builtin},
       {"minimum", fourfifths::entry_kind::minimum},
       {"requested", fourfifths::entry_kind::requested}}};
};
template <>
struct names_of<fourfifths::outcome_status> {
  static constexpr std::array<named<fourfifths::outcome_status>, 5> table{
      {{"solved", fourfifths::outcome_status::solved},
       {"no_cut_score", fourfifths::outcome_status::no_cut_score},
       {"ratio_outside_0_1", fourfifths::outcome_status::quantile_fault},
       {"invalid_argument", fourfifths::outcome_status::invalid_argument},
       {"not_positive_definite", fourfifths::outcome_status::not_positive_definite}}};
};
template <>
struct names_of<scenario_form> {
  static constexpr std::array<named<scenario_form>, 2> table{
      {{"json", scenario_form::json}, {"deck", scenario_form::deck}}};
};
template <>
struct names_of<table_format> {
  static constexpr std::array<named<table_format>, 3> table{
      {{"csv", table_format::csv}, {"json", table_format::json}, {"text", table_format::text}}};
};
template <>
struct names_of<batch_format> {
  static constexpr std::array<named<batch_format>, 2> table{
      {{"csv", batch_format::csv}, {"jsonl", batch_format::jsonl}}};
};

template <>
struct names_of<column_type> {
  static constexpr std::array<named<column_type>, 4> table{{{"number", column_type::number},
                                                            {"boolean", column_type::boolean},
                                                            {"text", column_type::text},
                                                            {"integer", column_type::integer}}};
};

/// The name of a value ("precise").
template <class E>
constexpr std::string_view name_of(E value) {
  for (const named<E>& n : names_of<E>::table) {
    if (n.value == value) return n.name;
  }
  return {};
}

/// The value of a name, exactly as the table spells it; nothing for any
/// other text.
template <class E>
constexpr std::optional<E> value_of(std::string_view name) {
  for (const named<E>& n : names_of<E>::table) {
    if (n.name == name) return n.value;
  }
  return std::nullopt;
}

/// The names joined by `separator`: "precise|classic".
template <class E>
std::string names_list(std::string_view separator = "|") {
  std::string out;
  for (const named<E>& n : names_of<E>::table) {
    if (!out.empty()) out += separator;
    out += n.name;
  }
  return out;
}

/// The table as a map, for a command-line parser's checked transform.
template <class E>
std::map<std::string, E> names_map() {
  std::map<std::string, E> out;
  for (const named<E>& n : names_of<E>::table) out.emplace(std::string(n.name), n.value);
  return out;
}

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_NAMES_H_
