// The records of a CSV text (RFC 4180), after a UTF-8 byte-order mark:
// fields apart by commas, records by line ends (CRLF, LF or a lone CR, as
// old spreadsheets on the Mac write them); a quoted field may hold commas,
// doubled quotes and line ends. Spaces around an unquoted field are
// dropped, and a blank line is no record. Each record is numbered by its
// first line. Every reader of CSV files (observed counts, validation
// samples) takes its records from here.
#ifndef FOURFIFTHS_PRESENT_CSV_RECORDS_H_
#define FOURFIFTHS_PRESENT_CSV_RECORDS_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace present {

class csv_records {
 public:
  explicit csv_records(std::string_view text);

  /// The next record into `fields` (reused, so that a long file allocates
  /// little) and the line it starts on into `line`; false at the end. A
  /// fault of its syntax goes into `fault` ("column 3: ..."), the rest of
  /// its line then skipped, and the call returns true.
  bool next(std::vector<std::string>& fields, int& line, std::optional<std::string>& fault);

 private:
  bool at_line_end() const;
  void skip_line_end();
  void skip_blanks();
  void skip_rest_of_line();
  bool read(std::vector<std::string>& fields, std::optional<std::string>& fault);

  std::string_view text_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_CSV_RECORDS_H_
