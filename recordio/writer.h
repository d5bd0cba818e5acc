// The formatted writer: every report line goes through a layout template of
// fixed-width fields, such as "('   Row ',I2,1X,30F5.2)".
//
// A template is parsed once into a flat list of steps (`parse_layout`), at
// compile time for the report's own templates (`layout`), and a write
// operation then runs the steps, consuming one item per data field.
#ifndef FOURFIFTHS_RECORDIO_WRITER_H_
#define FOURFIFTHS_RECORDIO_WRITER_H_

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "recordio/session.h"

namespace recordio {

/// The kinds of step a template is made of.
enum class step_kind : std::uint8_t {
  text,         ///< quoted text: `text_begin`/`text_length` in the template, quotes doubled
  move,         ///< nX: `width` = n
  slash,        ///< /: end the record
  integer,      ///< Iw, with repeat count
  fixed,        ///< Fw.d, with repeat count
  exponent,     ///< Dw.d, with repeat count
  characters,   ///< Aw (`width` 0 for a plain A), with repeat count
  group_open,   ///< r( : `repeat` = r, `partner` = index of the matching close
  group_close,  ///< )  : `partner` = index of the matching open
};

/// One step of a parsed template.
struct step {
  step_kind kind = step_kind::text;
  int repeat = 1;
  int width = 0;
  int digits = 0;
  int text_begin = 0;
  int text_length = 0;
  int partner = 0;
};

/// The most steps a template may have.
inline constexpr int max_steps = 300;

enum class layout_status : std::uint8_t { ok, error_in_format, too_complicated };

struct parse_result {
  layout_status status = layout_status::ok;
  int count = 0;      ///< steps written
  int reversion = 0;  ///< index of the step where reversion resumes
  int length = 0;     ///< characters of the template up to its closing ")"
};

/// The largest count, width or digit count a template may give.
inline constexpr int max_layout_number = 32767;

/// Parses `text` (which must begin with "(") into `steps`. Blanks outside
/// quoted text are ignored, so also inside numbers; text after the matching
/// ")" is not part of the template. Elements are separated by commas, which
/// may be left out next to a "/"; the letters may be in either case. Counts
/// and widths run from 1 to `max_layout_number`, F takes 0 or more digits
/// and D at least 1. A template that needs more steps than `steps` holds or
/// than `max_steps` is `too_complicated`. `length` is also set for a
/// template that does not parse: up to its matching ")" if it has one,
/// else the whole text. constexpr, so the report's templates are checked
/// while the program compiles.
constexpr parse_result parse_layout(std::string_view text, std::span<step> steps);

/// The parsed form in a compact notation for tests, for instance
/// "[I3][F7.3][2X]['text'][/][6(][F7.3][1X][)]".
std::string serialize(std::span<const step> steps, std::string_view text);

/// A parsed template as the writer runs it.
struct layout_view {
  std::string_view text;  ///< up to and including the closing ")"
  std::span<const step> steps;
  int reversion = 0;
};

/// Called only from a constant evaluation with a template that does not
/// parse: being not constexpr, it turns the mistake into a compile error.
void layout_error(const char* why);

/// A template parsed at compile time. Use as
///   constexpr recordio::layout banner{"('Title',/)"};
template <std::size_t N>
class layout {
 public:
  consteval layout(const char (&text)[N]) {
    std::copy(text, text + N, text_.begin());
    const parse_result r = parse_layout(std::string_view(text_.data(), N - 1), steps_);
    if (r.status != layout_status::ok) layout_error("template does not parse");
    count_ = r.count;
    reversion_ = r.reversion;
    length_ = r.length;
  }
  constexpr operator layout_view() const {
    return {std::string_view(text_.data(), static_cast<std::size_t>(length_)),
            std::span<const step>(steps_.data(), static_cast<std::size_t>(count_)), reversion_};
  }

 private:
  static constexpr std::size_t capacity = N < max_steps ? N : max_steps;
  std::array<char, N> text_{};
  std::array<step, capacity> steps_{};
  int count_ = 0;
  int reversion_ = 0;
  int length_ = 0;
};

/// Field rendering, appended to `out`. Exposed for tests.
void render_integer(std::string& out, int width, int value);
void render_fixed(std::string& out, int width, int digits, double value);
void render_exponent(std::string& out, int width, int digits, double value);
void render_characters(std::string& out, int width, std::string_view value);

/// One write operation: begin with a template, transfer items, finish.
/// Completed records go to the session's report, each with one newline.
/// An item must suit its field: an int an `I` field, a double an `F` or `D`
/// field, a string an `A` field; any other pairing is an internal fault.
class record_writer {
 public:
  record_writer(session& s, const layout_view& l);
  void put(int value);
  void put(double value);
  void put(std::string_view value);
  /// Runs the rest of the template as far as it goes without an item and
  /// ends the last record.
  void finish();

 private:
  /// Runs the template to the data field that takes the next item and
  /// returns it, or returns null when the operation takes no more items.
  const step* next_field();
  /// Runs the template without an item as far as it goes (`finish`).
  void run_out();
  /// Performs a step that is not a data field.
  void perform(const step& s);
  /// Writes quoted text, after the pending move.
  void write_text(const step& s);
  /// Makes `index` the run position; a data field there gets its full
  /// repeat count.
  void go_to(int index);
  /// Leaves the end of the template for its reversion point.
  void revert();
  void write_pending_move();
  void end_record();
  /// The item has been rendered with the field at the run position.
  void used();
  [[noreturn]] void mismatch(const step& field);

  session& session_;
  layout_view layout_;
  text_buffer& record_;  // the session's, kept for the run
  int position_ = 0;
  long long pending_move_ = 0;
  int repeats_left_ = 0;       // of the data field at `position_`
  bool item_written_ = false;  // since the operation began or the last reversion
  bool exhausted_ = false;     // a reversion found no data field: no more items
  bool finished_ = false;
  std::array<int, max_steps> group_counts_;  // repeats left of the open groups (set on opening)
  int depth_ = 0;
};

/// Writes one operation: the items in order. An item is an int, a double, a
/// string (std::string_view, or anything that converts to one, or a string
/// literal) or a std::span<const double>, whose elements count as items.
template <typename... Items>
void write(session& s, layout_view l, const Items&... items);

/// Parses a template at run time; a template that does not parse is a fatal
/// error ("startio: error in format"), one of more than 300 steps writes
/// "format too complicated:" and the template to standard error and ends
/// the run with the failure stop.
void write_runtime(session& s, std::string_view text, std::span<const double> items);

}  // namespace recordio

#include "recordio/writer_inl.h"

#endif  // FOURFIFTHS_RECORDIO_WRITER_H_
