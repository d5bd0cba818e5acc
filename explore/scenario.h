// Scenarios: a problem with names, read from a JSON document or a classic
// deck (told apart by the content: JSON starts with "{"), and written as
// either. The JSON schema is documented in the README ("Scenarios").
#ifndef FOURFIFTHS_EXPLORE_SCENARIO_H_
#define FOURFIFTHS_EXPLORE_SCENARIO_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fourfifths/problem.h"

namespace explore {

/// The two forms of a scenario.
enum class scenario_form { json, deck };

/// A problem with the names of its variables.
struct scenario {
  std::string title;                         ///< optional
  std::vector<std::string> predictor_names;  ///< one per predictor
  std::vector<std::string> criterion_names;  ///< one per criterion
  fourfifths::problem_spec spec;
  scenario_form form = scenario_form::json;  ///< the form it was read in
};

/// A scenario read and checked, ready to analyse; or every error found.
struct loaded_scenario {
  std::optional<scenario> value;
  std::optional<fourfifths::problem> problem;
  std::vector<std::string> errors;    ///< "path: message", or the deck's own messages
  std::vector<std::string> warnings;  ///< "path: message"
  /// The JSON document's "id" as text (a string as it is, a number in
  /// shortest form), read even when the scenario has errors, so that a
  /// batch can name the scenario it could not analyse.
  std::optional<std::string> id;
};

/// The form of a text: JSON when its first character other than white
/// space is "{", otherwise a deck.
scenario_form form_of(std::string_view text);

/// Whether a JSON scenario must name itself with an "id" (a batch line must).
enum class id_rule { optional, required };

/// Reads a JSON scenario: a syntax error gives "line L, column C: ..."; each
/// fault of the schema and of the problem names its path
/// ("predictors[2].d: must be a finite number"); unknown keys are errors.
/// With `id_rule::required`, a missing or empty id is a fault too.
loaded_scenario read_json_scenario(std::string_view text, id_rule ids = id_rule::optional);

/// Reads a classic deck as the classic program does; its failures give the
/// program's own messages. The variables are named P1.., C1...
loaded_scenario read_deck_scenario(std::string_view text);

/// Either, by the content.
loaded_scenario read_scenario(std::string_view text);

/// Checks a scenario as a JSON scenario is checked (a deck's problem is
/// taken as the deck gives it, without these checks), each fault with the
/// path it would have in the JSON form.
loaded_scenario check_scenario(scenario s);

/// The JSON form: an object with the schema's keys, numbers in shortest
/// round-trip form, ending with a newline.
std::string to_json(const scenario& s);

/// The deck form of a scenario, or why it has none.
struct deck_text {
  std::string text;                   ///< empty when `errors` is not
  std::vector<std::string> errors;    ///< what a deck cannot hold at all
  std::vector<std::string> warnings;  ///< what the deck leaves out
};

/// The deck form, one read a line with a comment after its values. A deck
/// holds at most 25 requested ratios, and no applicant mix in majority mode.
deck_text to_deck(const scenario& s);

/// A double in shortest round-trip form ("0.1", "1e-07", "-0").
std::string shortest(double value);

}  // namespace explore

#endif  // FOURFIFTHS_EXPLORE_SCENARIO_H_
