// The outcomes of a scenario as a tidy table: one row per selection ratio,
// written as CSV, JSON or aligned text.
#ifndef FOURFIFTHS_PRESENT_TABLE_H_
#define FOURFIFTHS_PRESENT_TABLE_H_

#include <array>
#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fourfifths/analysis.h"
#include "fourfifths/problem.h"
#include "present/frame.h"
#include "present/names.h"
#include "present/numbers.h"
#include "present/pool_columns.h"

namespace present {

/// One row: which entry it is, and its outcome.
struct table_row {
  fourfifths::entry_kind kind = fourfifths::entry_kind::builtin;
  fourfifths::outcome result;
};

/// The rows of the report's table (the built-in ratios, the four-fifths
/// minimum when there is one, the requested ratios), or, when `ratios` is
/// given, one row at each of those ratios (kind "requested").
struct table {
  fourfifths::method method = fourfifths::method::precise;
  fourfifths::four_fifths_minimum minimum;
  /// The outcome at the minimum's ratio, when there is one: the minimum
  /// row's, which every format gives for the minimum (with --ratios too).
  std::optional<fourfifths::outcome> at_minimum;
  std::vector<table_row> rows;
  /// The chances of finite pools at each row, when a pool size was asked
  /// for: their columns follow the others.
  std::optional<pool_chances> pools;
};
table make_table(const fourfifths::problem& p, fourfifths::method m,
                 const std::optional<std::vector<double>>& ratios);

/// Appends a CSV field, quoted (with its quotes doubled) when it holds a
/// comma, a quote or a line break, and with a single quote before it when
/// it starts with =, +, -, @, a tab or a carriage return, which a
/// spreadsheet would run as a formula.
void append_csv_field(std::string& out, std::string_view text);

/// A number for JSON: null when there is none or it is not finite.
nlohmann::json json_number(std::optional<double> v);

/// The CSV header: the table's columns, after "id" when `with_id`.
std::string csv_header(bool with_id);
/// The table as a frame: kind, the columns of csv_header, status.
frame table_frame(const table& t);
/// The table as CSV: the header and a row per table row, with no id.
std::string table_csv(const table& t);
/// One CSV row per table row, each after the id when one is given.
void append_csv(std::string& out, const table& t, const std::string* id);

/// Adds the chances of pools of `o` drawn from the population at every
/// row's overall ratio (none where a row has none); call pool_fault first.
void add_pool_chances(table& t, const fourfifths::pool_population& population,
                      const fourfifths::pool_options& o);

/// The same, for many tables in a row (a batch's): it remembers the texts of
/// the targets it wrote, which the built-in ratios repeat in every table,
/// and writes the overall ratio, which is the target in overall mode, and
/// a requested ratio's row that a built-in one already has, by copying.
class csv_writer {
 public:
  void append(std::string& out, const table& t, const std::string* id);

 private:
  struct memo {
    std::uint64_t bits = 0;
    std::uint8_t size = 0;  // 0: empty
    char text[shortest_size] = {};
  };
  const char* target_text(double target, std::size_t& size);
  static char* number_text(char* out, double v);
  char* fields(char* line, const fourfifths::outcome& o);

  std::array<memo, 64> targets_{};
  std::vector<std::pair<std::size_t, std::size_t>> spans_;
};
/// A row of a scenario that could not be analysed: the id, empty numbers,
/// "error: <message>" as its status.
void append_csv_error(std::string& out, const std::string& id, const std::string& message);

/// The table as a JSON value: the method, the four-fifths minimum (the
/// minimum row's target, sr, sr_majority, sr_minority and cut_score) and
/// the rows, after the id when one is given.
nlohmann::json table_document(const table& t, const std::string* id = nullptr);
/// The same, found by nlohmann::json's argument-dependent lookup.
void to_json(nlohmann::json& j, const table& t);

/// The table as a JSON object (one line when `compact`).
std::string table_json(const table& t, const std::string* id, bool compact);
/// The same on one line, appended to `out`: the text of table_json(t, id,
/// true), made a row at a time.
void append_json_line(std::string& out, const table& t, const std::string* id);
/// A JSON line for a scenario that could not be analysed.
std::string error_json(const std::string& id, const std::string& message);

/// The table aligned for reading, with four decimals.
std::string table_text(const table& t);

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_TABLE_H_
