// What the engine uses of C++20 and the libc++ of Debian's Emscripten
// (libc++ 13) lacks: std::bit_cast, and std::to_chars for double (only the
// integer overloads are there). Included before every source of the
// WebAssembly build (web/CMakeLists.txt), so that the engine's sources
// stay as they are; a libc++ that has them (14 and later) keeps its own.
#ifndef FOURFIFTHS_WEB_COMPAT_LIBCXX_GAPS_H_
#define FOURFIFTHS_WEB_COMPAT_LIBCXX_GAPS_H_

#include <bit>
#include <charconv>
#include <type_traits>

#if defined(_LIBCPP_VERSION) && _LIBCPP_VERSION < 14000

#include "web/compat/charconv.h"

namespace std {

#if !defined(__cpp_lib_bit_cast)
template <class To, class From>
requires(sizeof(To) == sizeof(From) && is_trivially_copyable_v<To> &&
         is_trivially_copyable_v<From>) constexpr To bit_cast(const From& from) noexcept {
  return __builtin_bit_cast(To, from);
}
#endif

inline to_chars_result to_chars(char* first, char* last, double value) {
  return fourfifths::web::charconv::shortest(first, last, value);
}

// The engine asks only for fixed and scientific notation; the general and
// hexadecimal forms are not provided and give an error.
inline to_chars_result to_chars(char* first, char* last, double value, chars_format format,
                                int precision) {
  switch (format) {
    case chars_format::fixed:
      return fourfifths::web::charconv::fixed(first, last, value, precision);
    case chars_format::scientific:
      return fourfifths::web::charconv::scientific(first, last, value, precision);
    default:
      return {first, errc::invalid_argument};
  }
}

}  // namespace std

#endif

#endif  // FOURFIFTHS_WEB_COMPAT_LIBCXX_GAPS_H_
