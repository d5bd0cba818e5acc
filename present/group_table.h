// The outcomes of a scenario with several minority groups as a tidy table:
// one row per selection ratio and group, the majority first, written as
// CSV, JSON or aligned text. The four-fifths minimum is the rows of kind
// "minimum".
#ifndef FOURFIFTHS_PRESENT_GROUP_TABLE_H_
#define FOURFIFTHS_PRESENT_GROUP_TABLE_H_

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "fourfifths/analysis.h"
#include "fourfifths/groups.h"
#include "present/frame.h"
#include "present/pool_columns.h"

namespace present {

/// One selection: which entry it is, and every group's outcome.
struct group_table_entry {
  fourfifths::entry_kind kind = fourfifths::entry_kind::builtin;
  fourfifths::group_outcome result;
};

/// The entries of the report's order (the built-in ratios, the four-fifths
/// minimum when there is one, the scenario's requested ratios), or, when
/// `ratios` is given, one entry at each of those ratios (kind "requested")
/// and then the minimum.
struct group_table {
  fourfifths::group_minimum minimum;
  std::vector<group_table_entry> entries;
  /// The chances of finite pools at each entry, when a pool size was asked
  /// for: their columns follow the others, the same in every group's row.
  std::optional<pool_chances> pools;
};
group_table make_group_table(const fourfifths::group_problem& p,
                             const std::optional<std::vector<double>>& ratios);

/// Adds the chances of pools of `o` drawn from the population at every
/// entry's overall ratio (none where an entry has none); call pool_fault
/// first.
void add_pool_chances(group_table& t, const fourfifths::pool_population& population,
                      const fourfifths::pool_options& o);

/// The problem of a scenario of one minority group as a problem with one
/// group, named "minority", with the scenario's share (when it gives the
/// mix): so that a batch can give every scenario the same columns.
fourfifths::group_problem_result as_group_problem(const fourfifths::problem& p);

/// The CSV header of the table, after "id" when `with_id`.
std::string group_csv_header(bool with_id);
/// One CSV row per entry and group, each after the id when one is given.
void append_group_csv(std::string& out, const group_table& t, const std::string* id);
/// A CSV row of the group table's columns for a scenario that could not be
/// analysed: the id, empty values and "error: <message>" as its status.
void append_group_csv_error(std::string& out, const std::string& id, const std::string& message);
/// The table as one JSON line (the text of group_table_json without its
/// layout), after the id when one is given, appended to `out`.
void append_group_json_line(std::string& out, const group_table& t, const std::string* id);

/// The table as CSV: kind, target, group, cut_score, sr (overall), sr_group,
/// ai_vs_majority, ratio_to_highest, passes_four_fifths (of the whole
/// selection), mean (overall), mean_group, status; a row per entry and group.
std::string group_table_csv(const group_table& t);
/// The table as a frame, the columns of group_table_csv.
frame group_table_frame(const group_table& t);
/// The table as a JSON value: the method, the minimum and the rows, after
/// the id when one is given.
nlohmann::json group_table_document(const group_table& t, const std::string* id = nullptr);
/// The same as text, laid out for reading.
std::string group_table_json(const group_table& t);
/// The table aligned for reading, with four decimals.
std::string group_table_text(const group_table& t);

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_GROUP_TABLE_H_
