#include "recordio/diagnostics.h"

#include <cstring>

namespace recordio {

namespace {

std::string_view upto_first_of(std::string_view text, std::string_view stops) {
  return text.substr(0, text.find_first_of(stops));
}

}  // namespace

std::string_view error_text(int number) {
  switch (static_cast<io_error>(number)) {
    case io_error::end_of_file:
      return "end of file";
    case io_error::error_in_format:
      return "error in format";
    case io_error::incomprehensible_list_input:
      return "incomprehensible list input";
    case io_error::read_unexpected_character:
      return "read unexpected character";
  }
  return std::strerror(number);
}

std::string fatal_report(int number, std::string_view context) {
  std::string text;
  text.append(context).append(": ").append(error_text(number)).append("\n");
  text.append(
      "apparent state: unit 5 (unnamed)\n"
      "last format: list io\n"
      "lately reading sequential formatted external IO\n");
  return text;
}

std::string subscript_report(std::string_view name, long long offset, std::string_view label,
                             unsigned line) {
  std::string text = "Subscript out of range on file line ";
  text.append(std::to_string(line)).append(", procedure ");
  text.append(upto_first_of(label, "_ ")).append(".\n");
  text.append("Attempt to access the ").append(std::to_string(offset + 1));
  text.append("-th element of variable ").append(upto_first_of(name, " ")).append(".\n");
  return text;
}

}  // namespace recordio
