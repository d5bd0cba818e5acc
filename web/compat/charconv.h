// Conversions of a double to decimal text with the results of the C++17
// std::to_chars overloads, for the WebAssembly build: the libc++ of Debian's
// Emscripten (libc++ 13) has only the integer overloads. libcxx_gaps.h
// puts these in their place there; natively they are tested against
// libstdc++'s std::to_chars (tests/web/charconv_test.cc).
#ifndef FOURFIFTHS_WEB_COMPAT_CHARCONV_H_
#define FOURFIFTHS_WEB_COMPAT_CHARCONV_H_

#include <charconv>

namespace fourfifths::web::charconv {

/// std::to_chars(first, last, value): the shortest text that reads back to
/// the same double, in fixed or scientific notation, whichever is shorter
/// (fixed on a tie); an integer in fixed notation is written whole.
std::to_chars_result shortest(char* first, char* last, double value);

/// std::to_chars(first, last, value, std::chars_format::fixed, precision):
/// as printf's %.*f, rounded exactly.
std::to_chars_result fixed(char* first, char* last, double value, int precision);

/// std::to_chars(first, last, value, std::chars_format::scientific,
/// precision): as printf's %.*e, rounded exactly.
std::to_chars_result scientific(char* first, char* last, double value, int precision);

}  // namespace fourfifths::web::charconv

#endif  // FOURFIFTHS_WEB_COMPAT_CHARCONV_H_
