// Observed hiring data as files give it: CSV of counts (group, applicants,
// selected and optionally unit or step), CSV of applicants one per row
// (group, selected as 0/1 or yes/no, optionally unit, or step: the last
// step the applicant reached, selected saying whether they passed it),
// or a JSON document (told
// apart by the content: JSON starts with "{"). Faults name their place: a
// CSV line and column ("line 4, column 3 (selected)"), a JSON path
// ("counts[2].selected"). The forms are documented in
// docs/observed.md.
#ifndef FOURFIFTHS_PRESENT_OBSERVED_INPUT_H_
#define FOURFIFTHS_PRESENT_OBSERVED_INPUT_H_

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fourfifths/observed.h"
#include "present/name_rules.h"

namespace present {

/// How observed data were written.
enum class observed_form {
  counts,      ///< CSV: one row per group (and unit) with its counts
  applicants,  ///< CSV: one row per applicant
  json,        ///< a JSON document with "counts"
};

/// Observed data read, ready for the library.
struct observed_data {
  observed_form form = observed_form::counts;
  /// One entry per group and unit (or step), in the order they first
  /// appear; for applicants with steps, per group and the last step
  /// reached (analyse counts them step by step).
  /// Each name is held once.
  fourfifths::counts_table counts;
  /// A JSON document's "reference", "alpha" and "steps" (the defaults
  /// otherwise).
  fourfifths::observed_options options;
  /// For CSV, the line each entry comes from (its first, for applicants)
  /// and the column of each field (0 where the file has none), so that
  /// the library's faults can be placed in the file.
  std::vector<int> lines;
  int group_column = 0, applicants_column = 0, selected_column = 0, unit_column = 0,
      step_column = 0;
};

/// Observed data, or every fault found.
struct loaded_observed {
  std::optional<observed_data> value;
  std::vector<fourfifths::fault> errors;
  /// What is likely a slip but is analysed as written: names that differ
  /// only in case ("Men" and "men").
  std::vector<std::string> warnings;
};

/// Reads either CSV form (by its header) or JSON (by the content).
loaded_observed read_observed(std::string_view text);

/// Reads CSV: a header line naming the columns (group, selected, and
/// applicants for counts; unit optional; any order, any case), then one row
/// per group or per applicant. Fields may be quoted as RFC 4180 has it
/// (over several lines too); lines end with CRLF, LF or CR; spaces around
/// unquoted fields are dropped; blank lines are skipped. Counts are whole
/// numbers.
loaded_observed read_observed_csv(std::string_view text);

/// Reads a JSON document: {"counts": [{"group": ..., "applicants": ...,
/// "selected": ..., "unit": ... or "step": ...}, ...], "reference": ...,
/// "alpha": ..., "steps": [...]};
/// a syntax error gives "JSON parse error at line L, column C: ...";
/// unknown keys are errors.
loaded_observed read_observed_json(std::string_view text);

/// The same on a JSON value (the page's requests): every check but the
/// syntax.
loaded_observed read_observed_document(const nlohmann::json& doc);

/// The library's analysis of the data with `options`, its faults of the
/// counts placed where the data came from (a CSV line and column).
/// Applicants with steps are first counted step by step in the order of
/// `options.steps` (by default the order the data first name them).
fourfifths::observed_result analyse(const observed_data& data,
                                    const fourfifths::observed_options& options);
/// The same handed to `sink` row by row; the faults placed, none when the
/// analysis was handed on.
std::vector<fourfifths::fault> analyse(const observed_data& data,
                                       const fourfifths::observed_options& options,
                                       fourfifths::observed_sink& sink);

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_OBSERVED_INPUT_H_
