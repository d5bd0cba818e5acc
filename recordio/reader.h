// The free-form reader: the deck's values, separated by blanks, commas or
// line ends, with repeat counts ("3*0.5"), nulls (",,") and the slash.
//
// A read begins on a new line, fills its items in order, and ends by
// skipping the rest of its last line. Input that cannot be read is fatal:
// the reader stops, and `fault` says why, with the context and the error
// number of the four-line report.
#ifndef FOURFIFTHS_RECORDIO_READER_H_
#define FOURFIFTHS_RECORDIO_READER_H_

#include <optional>
#include <string>
#include <string_view>

#include "recordio/deck_input.h"
#include "recordio/diagnostics.h"

namespace recordio {

/// Why the deck could not be read: the first line of the report is
/// "context: text of number".
struct read_fault {
  int number = 0;            ///< an `io_error` or an errno value
  std::string_view context;  ///< "list in", "read start", "invalid number", ...

  /// The four lines of the report.
  std::string report() const;
};

/// One reader serves the whole run: it remembers between reads whether the
/// input has ended. Every call returns false once the deck has failed; the
/// failure is then `fault()`, and later calls do nothing.
class list_reader {
 public:
  explicit list_reader(deck_input& in) : in_(in) {}

  /// Begins a read. Fails with "read start: end of file" when the input
  /// already ended before it.
  bool begin();
  /// Reads one item; a null value or an item after a slash leaves it as it is.
  /// An integer item takes the value truncated toward zero; one outside the
  /// 32-bit range fails with "integer overflow".
  bool item(int& value);
  bool item(double& value);
  /// Ends the read: skips the rest of the current line.
  bool end();

  const std::optional<read_fault>& fault() const { return fault_; }

 private:
  enum class item_kind { integer, real };

  // The mantissa of a number as it is scanned: the sign, the significant
  // digits kept (at most forty), and the power of ten they are scaled by.
  struct mantissa {
    bool has_sign = false;
    bool negative = false;
    bool seen_digit = false;  // any digit, leading zeros included
    std::string digits;       // significant digits only
    long long scale = 0;
  };

  // The value an item takes: a number, or nothing (a null, or after the
  // slash), or a failure.
  struct item_value {
    bool ok = true;
    bool present = false;
    double value = 0;
  };

  bool fail(io_error number, std::string_view context);
  bool fail(int number, std::string_view context);

  // Characters.
  int get();
  void unget(int c);
  int next_from_deck();
  int deck_byte();

  // The steps of one item.
  item_value next_value(item_kind kind);
  bool find_value(bool& found);
  bool read_value(item_kind kind);
  mantissa scan_mantissa(int& c);
  void scan_fraction(mantissa& m, int& c);
  bool scan_exponent_part(item_kind kind, const mantissa& m, int& c, long long& exponent);
  bool scan_exponent(int& c, long long& exponent);
  bool repeat_count(const mantissa& m, long long& count);
  static double to_double(mantissa m, long long exponent);
  void after_value();

  deck_input& in_;
  std::optional<read_fault> fault_;
  int pushed_back_ = none;  // the reader's one character of push-back, or `none`
  int held_ = none;         // the deck byte read ahead after a carriage return, or `none`
  bool deck_done_ = false;  // the deck has delivered its end; it is not asked again

  long long copies_left_ = 0;  // copies of the value in hand still to serve
  double value_ = 0;
  bool value_is_null_ = false;
  bool terminated_ = false;  // a slash was met in this read
  bool at_end_ = false;      // the end of the input was met

  // An empty push-back slot (distinct from the deck's eof and read_error).
  static constexpr int none = -3;
};

}  // namespace recordio

#endif  // FOURFIFTHS_RECORDIO_READER_H_
