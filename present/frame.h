// What every verb of the presentation layer hands to a face: a frame of
// typed columns (a schema of names, types and meanings, and the values as
// arrays), which a language turns into its own vectors without text, and
// which one writer per format turns into text.
#ifndef FOURFIFTHS_PRESENT_FRAME_H_
#define FOURFIFTHS_PRESENT_FRAME_H_

#include <cstddef>
#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace present {

enum class column_type {
  number,   ///< a double; a field may be empty (missing)
  boolean,  ///< true or false; a field may be empty
  text,     ///< a name; a field may be empty (missing), which CSV cannot tell from ""
  integer,  ///< a whole number of at most 53 bits (held as a double); a field may be empty
};

/// One column: its name, type, unit and meaning, and its values.
struct frame_column {
  std::string name;
  column_type type = column_type::number;
  /// What its numbers count or measure (unit_of its name); empty for names.
  std::string_view unit;
  std::string_view description;
  /// number and integer: the values (NaN where missing). boolean: 0 or 1.
  std::vector<double> numbers;
  /// 1 where the field is missing; empty when none is.
  std::vector<std::uint8_t> missing;
  /// text: the values.
  std::vector<std::string> texts;

  bool is_missing(std::size_t row) const { return !missing.empty() && missing[row] != 0; }
};

/// The unit of a column by its name, the same in every frame: "proportion"
/// (a share selected, a selection ratio), "ratio" (one rate over another,
/// an odds ratio), "SD" (majority standard deviations; "SD of all
/// applicants" for the std_ means), "correlation", "count", "probability",
/// "statistic" (z, chi-square), "weight"; empty for names and verdicts.
std::string_view unit_of(std::string_view column);

/// A table of typed columns, each of `rows` values.
struct frame {
  std::vector<frame_column> columns;
  std::size_t rows = 0;

  /// Adds an empty column with room for `rows` values. A reference to an
  /// earlier column stays valid only while `columns` has the room reserved.
  frame_column& add(std::string name, column_type type, std::string_view description);
};

/// Appends a value to a column: a number, a missing field, a verdict, a name.
void push_number(frame_column& c, double v);
void push_missing(frame_column& c);
void push_optional(frame_column& c, const std::optional<double>& v);
void push_flag(frame_column& c, bool v);
void push_text(frame_column& c, std::string_view v);

/// Frames of the same columns one after another, as one frame whose first
/// column, "id", names the part each row came from: the rows of parts[k]
/// under ids[k]. An empty list gives the id column alone.
frame stack_frames(std::span<const frame> parts, std::span<const std::string> ids);

/// The frame as CSV: a header of the columns' names, then a row per row;
/// numbers in shortest round-trip form (NaN as "NaN"), a missing field
/// empty, booleans "true" or "false", names quoted where they must be.
std::string frame_csv(const frame& f);
/// The rows alone, appended to `out`.
void append_frame_csv_rows(std::string& out, const frame& f);

/// The frame as JSON, column by column, for a reader that builds typed
/// vectors: {"names": [...], "types": [...], "columns": [[...], ...]}, the
/// types named as names_of<column_type> names them, each column an array
/// of its values: numbers (null where missing and where the number is not
/// finite, which JSON cannot write), whole numbers, true or false (null
/// where missing), names.
nlohmann::json frame_document(const frame& f);

/// One row of the frame as a JSON object keyed by the columns' names, its
/// values as frame_document writes them; and every row so, in an array.
nlohmann::json frame_record(const frame& f, std::size_t row);
nlohmann::json frame_records(const frame& f);

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_FRAME_H_
