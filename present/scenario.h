// Scenarios: a problem with names, read from a JSON document or a classic
// deck (told apart by the content: JSON starts with "{"), and written as
// either. The JSON schema is documented in docs/explorer.md ("Scenarios").
#ifndef FOURFIFTHS_PRESENT_SCENARIO_H_
#define FOURFIFTHS_PRESENT_SCENARIO_H_

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fourfifths/groups.h"
#include "fourfifths/problem.h"
#include "present/json_reader.h"
#include "present/names.h"
#include "present/numbers.h"

namespace present {

/// The size of one group in a calibration sample.
struct group_size {
  std::string name;
  std::int64_t n = 0;
};

/// The validation sample a scenario was estimated from (what `fit` writes):
/// optional, read and written back, and used by no analysis.
struct calibration_sample {
  std::int64_t n = 0;  ///< the complete rows ("calibration_n")
  /// How rows with a missing value were treated ("listwise": left out whole).
  std::string missing;
  std::optional<std::int64_t> dropped;  ///< the rows left out for a missing value
  /// Each group's complete rows, the reference group first.
  std::vector<group_size> groups;
};

/// A problem with the names of its variables.
struct scenario {
  std::string title;                         ///< optional
  std::vector<std::string> predictor_names;  ///< one per predictor
  std::vector<std::string> criterion_names;  ///< one per criterion
  fourfifths::problem_spec spec;
  scenario_form form = scenario_form::json;  ///< the form it was read in
  /// Several minority groups ("groups"), each with its share and its
  /// effect sizes; the spec then holds no effect sizes and no mix. Empty
  /// for a scenario of one minority group (the variables' "d").
  std::vector<fourfifths::minority_group> groups;
  /// The sample it was estimated from, when it says so.
  std::optional<calibration_sample> calibration;
};

/// How reading a scenario ended.
enum class scenario_status {
  read,                  ///< `value` and `problem` hold the scenario (perhaps with warnings)
  syntax_error,          ///< not JSON, or not an object: one fault without a path
  invalid,               ///< faults of the schema or of the problem, each with its path
  deck_rejected,         ///< a deck whose header fails its check: the program's lines
  deck_unreadable,       ///< a deck the reader cannot read: the program's lines
  deck_too_many_ratios,  ///< a deck with more than 25 requested ratios
};

/// A scenario read and checked, ready to analyse; or every fault found.
/// Every face reads scenarios through this, with the same messages.
struct loaded_scenario {
  std::optional<scenario> value;
  /// The problem of a scenario of one minority group.
  std::optional<fourfifths::problem> problem;
  /// The problem of a scenario with "groups" (then `problem` is empty).
  std::optional<fourfifths::group_problem> group_problem;
  scenario_status status = scenario_status::read;
  /// Each with its path in the JSON form ("predictors[2].d"); a syntax
  /// error or a deck's own line has none.
  std::vector<fourfifths::fault> errors;
  std::vector<fourfifths::fault> warnings;
  /// The JSON document's "id" as text (a string as it is, a number in
  /// shortest form), read even when the scenario has errors, so that a
  /// batch can name the scenario it could not analyse.
  std::optional<std::string> id;
};

/// The most requested ratios a JSON scenario may hold (a deck holds 25).
inline constexpr std::size_t most_requested_ratios = 1000;

/// The longest text of a scenario, JSON or deck (a valid one is far
/// shorter): read_scenario refuses a longer one, and a face that reads a
/// file need read no more than one byte past it.
inline constexpr std::size_t most_scenario_bytes = std::size_t{16} << 20;

/// The most faults a reading lists; a last one says how many more there are.
inline constexpr std::size_t most_faults = 20;

/// The bounds of a JSON scenario's document, checked as it is read, before
/// any of its lists is built: no list longer than `most_requested_ratios`,
/// at most 8192 values in all, nested at most 64 deep. A scenario's memory
/// is bounded by them, whatever the size of its text.
json_limits scenario_limits();

/// The form of a text: JSON when its first character other than white
/// space (after a UTF-8 byte-order mark, if any) is "{", otherwise a deck.
scenario_form form_of(std::string_view text);

/// Whether a JSON scenario must name itself with an "id" (a batch line must).
enum class id_rule { optional, required };

/// Whether a face takes scenarios with several minority groups ("groups"):
/// one that does not is given a fault on "groups" rather than a scenario
/// without a one-group problem.
enum class group_rule { refused, accepted };

/// Reads a JSON scenario: a syntax error gives "line L, column C: ..." (a
/// NUL byte and a number beyond the doubles too); each fault of the schema
/// and of the problem names its path ("predictors[2].d: must be a finite
/// number"); unknown keys and keys given twice are errors. With
/// `id_rule::required`, a missing or empty id is a fault too. At most
/// `most_faults` faults are listed.
loaded_scenario read_json_scenario(std::string_view text, id_rule ids = id_rule::optional,
                                   group_rule groups = group_rule::refused);

/// The same, keeping the memory of its document from one reading to the
/// next (a batch's worker reads a million lines with one).
class scenario_reader {
 public:
  loaded_scenario read(std::string_view text, id_rule ids = id_rule::optional,
                       group_rule groups = group_rule::refused);
  loaded_scenario read(const nlohmann::json& doc, id_rule ids = id_rule::optional,
                       group_rule groups = group_rule::refused);

 private:
  json_document document_;
};

/// The same on a JSON value (the page's requests): every check but the
/// syntax.
loaded_scenario read_json_document(const nlohmann::json& doc, id_rule ids = id_rule::optional,
                                   group_rule groups = group_rule::refused);

/// The keys of a JSON document that the schema does not have, each a fault
/// with its path ("predictors[1].wieght"), as reading the document reports
/// them. A face that takes a document apart itself (the page's form) asks
/// this first, so that no face drops a key that every other refuses.
std::vector<fourfifths::fault> unknown_keys(const nlohmann::json& doc);
/// The same on a JSON text, where a key given twice is a fault too (a
/// parsed value has kept only its last); nothing for a text that is not
/// JSON (reading it says why).
std::vector<fourfifths::fault> unknown_keys(std::string_view text);

/// Reads a classic deck as the classic program does; its failures give the
/// program's own messages. The variables are named P1.., C1...
loaded_scenario read_deck_scenario(std::string_view text);

/// Either, by the content; a text longer than `most_scenario_bytes` is
/// refused before either reads it.
loaded_scenario read_scenario(std::string_view text, group_rule groups = group_rule::refused);

/// Checks a scenario as a JSON scenario is checked (a deck's problem is
/// taken as the deck gives it, without these checks), each fault with the
/// path it would have in the JSON form. A scenario with groups gives a
/// `group_problem`.
loaded_scenario check_scenario(scenario s);

/// The JSON form: an object with the schema's keys, numbers in shortest
/// round-trip form, ending with a newline.
std::string to_json(const scenario& s);

/// The JSON form as a value, with the same keys and numbers (found by
/// nlohmann::json's argument-dependent lookup: `nlohmann::json j = s;`).
void to_json(nlohmann::json& j, const scenario& s);
/// The "calibration" object of the JSON form (without "calibration_n").
void to_json(nlohmann::json& j, const calibration_sample& c);

/// The deck form of a scenario, or why it has none.
struct deck_text {
  std::string text;                         ///< empty when `errors` is not
  std::vector<fourfifths::fault> errors;    ///< what a deck cannot hold at all
  std::vector<fourfifths::fault> warnings;  ///< what the deck leaves out
};

/// The deck form, one read a line with a comment after its values. A deck
/// holds at most 25 requested ratios, no applicant mix in majority mode,
/// one minority group and no calibration sample.
deck_text to_deck(const scenario& s);

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_SCENARIO_H_
