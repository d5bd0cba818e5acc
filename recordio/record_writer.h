// Record writing: one write operation runs a parsed template (layout.h),
// renders one item per data field (fields.h) and appends the complete
// records, each ending with a newline, to the text it was given.
#ifndef FOURFIFTHS_RECORDIO_RECORD_WRITER_H_
#define FOURFIFTHS_RECORDIO_RECORD_WRITER_H_

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "recordio/layout.h"

namespace recordio {

/// One write operation: begin with a template, transfer items, finish.
/// An item must suit its field: an int an `I` field, a double an `F` or `D`
/// field, a string an `A` field; any other pairing is a programming fault
/// (std::logic_error).
class record_writer {
 public:
  record_writer(std::string& out, const layout_view& l);
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
  /// Room for a field of `width` columns at the end of the record.
  char* extend(int width);
  /// The item has been rendered with the field at the run position.
  void used();
  [[noreturn]] void mismatch(const step& field);

  std::string& out_;
  layout_view layout_;
  int position_ = 0;
  long long pending_move_ = 0;
  int repeats_left_ = 0;       // of the data field at `position_`
  bool item_written_ = false;  // since the operation began or the last reversion
  bool exhausted_ = false;     // a reversion found no data field: no more items
  bool finished_ = false;
  std::array<int, max_steps> group_counts_;  // repeats left of the open groups (set on opening)
  int depth_ = 0;
};

namespace detail {
inline void put_item(record_writer& w, int v) { w.put(v); }
inline void put_item(record_writer& w, double v) { w.put(v); }
inline void put_item(record_writer& w, std::string_view v) { w.put(v); }
inline void put_item(record_writer& w, const char* v) { w.put(std::string_view(v)); }
inline void put_item(record_writer& w, std::span<const double> v) {
  for (double x : v) w.put(x);
}
}  // namespace detail

/// Writes one operation to `out`: the items in order. An item is an int, a
/// double, a string (std::string_view, or anything that converts to one, or
/// a string literal) or a std::span<const double>, whose elements count as
/// items.
template <typename... Items>
void write(std::string& out, layout_view l, const Items&... items) {
  record_writer w(out, l);
  (detail::put_item(w, items), ...);
  w.finish();
}

}  // namespace recordio

#endif  // FOURFIFTHS_RECORDIO_RECORD_WRITER_H_
