// The rules every name a user gives (groups, units, predictors, criteria,
// scenario ids) meets in every form the project reads: text that a
// terminal, a CSV file or a page can hold as it is, and a warning where two
// names most likely mean one.
#ifndef FOURFIFTHS_PRESENT_NAME_RULES_H_
#define FOURFIFTHS_PRESENT_NAME_RULES_H_

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace present {

/// What is wrong with a name as data give it, or nothing: bytes that are
/// not UTF-8, a line break or another control character (C0, DEL or C1),
/// which would colour a terminal or break a line of a table. The message
/// names the byte.
std::optional<std::string> name_fault(std::string_view name);

/// Pairs of names that differ only in the case of their ASCII letters or
/// in spaces around them ("Men", "men "): most likely one name to whoever
/// wrote them, two to the analysis. One warning for each such pair, the
/// first of each spelling, in the order met: `what` (e.g. "groups") and the
/// two names in quotes, "differ only in case or surrounding spaces: they are
/// analysed apart". Empty names are skipped.
std::vector<std::string> look_alike_names(std::span<const std::string_view> names,
                                          std::string_view what);

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_NAME_RULES_H_
