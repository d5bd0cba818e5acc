// The free-form reader: the deck's values, separated by blanks, commas or
// line ends, with repeat counts ("3*0.5"), nulls (",,") and the slash.
//
// A read begins on a new line, fills its items in order, and ends by
// skipping the rest of its last line. Input that cannot be read is fatal:
// the four-line report on standard error and the failure stop.
#ifndef FOURFIFTHS_RECORDIO_READER_H_
#define FOURFIFTHS_RECORDIO_READER_H_

#include "recordio/session.h"

namespace recordio {

class list_reader {
 public:
  explicit list_reader(session& s);

  /// Begins a read. Fails with "read start: end of file" when the input
  /// already ended before it.
  void begin();
  /// Reads one item; a null value or an item after a slash leaves it as it is.
  void item(int& value);
  void item(double& value);
  /// Ends the read: skips the rest of the current line.
  void end();

 private:
  // (implementation state: push-back, repeat count and value, flags)
  session& session_;
};

}  // namespace recordio

#endif  // FOURFIFTHS_RECORDIO_READER_H_
