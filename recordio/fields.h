// Field rendering: one item in a field of fixed width, as the report's
// templates lay them out (Iw, Fw.d, Dw.d, Aw). A value that does not fit
// its field is a field of asterisks. Each function fills exactly `width`
// characters at `field`.
#ifndef FOURFIFTHS_RECORDIO_FIELDS_H_
#define FOURFIFTHS_RECORDIO_FIELDS_H_

#include <string>
#include <string_view>

namespace recordio {

/// Iw: the integer right-justified.
void integer_field(char* field, int width, int value);
/// Fw.d: fixed notation with `digits` decimals, as "%#.*f" rounds it; the
/// leading zero gives way in a field one column short; a value that rounds
/// to zero has no sign.
void fixed_field(char* field, int width, int digits, double value);
/// Dw.d: 0.D1...Dd and the exponent ("E+nn", or a sign and three digits
/// from 100 up), as "%#.*E" rounds it.
void exponent_field(char* field, int width, int digits, double value);
/// The width an A field takes for an item: its own, or the item's length.
int character_width(int width, std::string_view value);
/// Aw: the item right-justified, or its first `width` characters.
void character_field(char* field, int width, std::string_view value);

/// The same, appended to `out` (for tests).
void render_integer(std::string& out, int width, int value);
void render_fixed(std::string& out, int width, int digits, double value);
void render_exponent(std::string& out, int width, int digits, double value);
void render_characters(std::string& out, int width, std::string_view value);

}  // namespace recordio

#endif  // FOURFIFTHS_RECORDIO_FIELDS_H_
