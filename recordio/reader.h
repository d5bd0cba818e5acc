// The free-form reader: the deck's values, separated by blanks, commas or
// line ends, with repeat counts ("3*0.5"), nulls (",,") and the slash.
//
// A read begins on a new line, fills its items in order, and ends by
// skipping the rest of its last line. Input that cannot be read is fatal:
// the four-line report on standard error and the failure stop.
#ifndef FOURFIFTHS_RECORDIO_READER_H_
#define FOURFIFTHS_RECORDIO_READER_H_

#include <optional>
#include <string>

#include "recordio/session.h"

namespace recordio {

/// One reader serves the whole run: it remembers between reads whether the
/// input has ended.
class list_reader {
 public:
  explicit list_reader(session& s);

  /// Begins a read. Fails with "read start: end of file" when the input
  /// already ended before it.
  void begin();
  /// Reads one item; a null value or an item after a slash leaves it as it is.
  /// An integer item takes the value truncated toward zero; one outside the
  /// 32-bit range fails with "integer overflow".
  void item(int& value);
  void item(double& value);
  /// Ends the read: skips the rest of the current line.
  void end();

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

  // Characters.
  int get();
  void unget(int c);
  int next_from_deck();
  int deck_byte();

  // The steps of one item.
  std::optional<double> next_value(item_kind kind);
  bool find_value();
  void read_value(item_kind kind);
  mantissa scan_mantissa(int& c);
  void scan_fraction(mantissa& m, int& c);
  long long scan_exponent_part(item_kind kind, const mantissa& m, int& c);
  long long scan_exponent(int& c);
  long long repeat_count(const mantissa& m);
  static double to_double(mantissa m, long long exponent);
  void after_value();
  int to_integer(double v);

  session& session_;
  int pushed_back_;         // the reader's one character of push-back, or `none`
  int held_;                // the deck byte read ahead after a carriage return, or `none`
  bool deck_done_ = false;  // the deck has delivered its end; it is not asked again

  long long copies_left_ = 0;  // copies of the value in hand still to serve
  double value_ = 0;
  bool value_is_null_ = false;
  bool terminated_ = false;  // a slash was met in this read
  bool at_end_ = false;      // the end of the input was met
};

}  // namespace recordio

#endif  // FOURFIFTHS_RECORDIO_READER_H_
