// What a run that cannot go on says on standard error: the four-line report
// of a fatal input/output error, and the two-line report of a subscript
// outside an array's bounds. The texts are built here; the program decides
// where they go.
#ifndef FOURFIFTHS_RECORDIO_DIAGNOSTICS_H_
#define FOURFIFTHS_RECORDIO_DIAGNOSTICS_H_

#include <exception>
#include <string>
#include <string_view>

namespace recordio {

/// Error numbers of the fatal input/output report. Values 0..99 are the
/// operating system's errno values.
enum class io_error : int {
  end_of_file = -1,
  error_in_format = 100,
  incomprehensible_list_input = 112,
  read_unexpected_character = 115,
};

/// The text of an error number: one of `io_error`, or an errno value.
std::string_view error_text(int number);

/// The four lines of a fatal input/output error while the deck is read: the
/// context and the error's text, then the deck's unit (5), its list-directed
/// format and the direction, reading.
std::string fatal_report(int number, std::string_view context);

/// The two lines of a subscript outside an array's bounds. `name` is the
/// variable as printed (up to its first blank), `offset` the zero-based
/// element offset, `label` the routine label (up to its first underscore
/// or blank), `line` the source line of the access.
std::string subscript_report(std::string_view name, long long offset, std::string_view label,
                             unsigned line);

/// A checked array accessed outside its bounds: a programming fault, carried
/// to the top of the run with its report.
class subscript_fault : public std::exception {
 public:
  explicit subscript_fault(std::string report) : report_(std::move(report)) {}
  const char* what() const noexcept override { return report_.c_str(); }
  const std::string& report() const { return report_; }

 private:
  std::string report_;
};

}  // namespace recordio

#endif  // FOURFIFTHS_RECORDIO_DIAGNOSTICS_H_
