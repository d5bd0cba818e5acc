#include "present/numbers.h"

#include <charconv>
#include <cmath>
#include <cstddef>

namespace present {

std::string shortest(double value) {
  char buffer[32];
  const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
  return {buffer, static_cast<std::size_t>(r.ptr - buffer)};
}

void append_number(std::string& out, double v) {
  if (std::isnan(v)) {
    out += "NaN";
    return;
  }
  char buffer[32];
  const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, v);
  out.append(buffer, static_cast<std::size_t>(r.ptr - buffer));
}

}  // namespace present
