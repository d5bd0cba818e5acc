// Inline and constexpr parts of the formatted writer (included by writer.h).
#ifndef FOURFIFTHS_RECORDIO_WRITER_INL_H_
#define FOURFIFTHS_RECORDIO_WRITER_INL_H_

namespace recordio {

constexpr parse_result parse_layout(std::string_view text, std::span<step> steps) {
  (void)steps;
  return {layout_status::ok, 0, 0, static_cast<int>(text.size())};
}

namespace detail {
inline void put_item(record_writer& w, int v) { w.put(v); }
inline void put_item(record_writer& w, double v) { w.put(v); }
inline void put_item(record_writer& w, std::string_view v) { w.put(v); }
inline void put_item(record_writer& w, std::span<const double> v) {
  for (double x : v) w.put(x);
}
}  // namespace detail

template <typename... Items>
void write(session& s, layout_view l, const Items&... items) {
  record_writer w(s, l);
  (detail::put_item(w, items), ...);
  w.finish();
}

}  // namespace recordio

#endif  // FOURFIFTHS_RECORDIO_WRITER_INL_H_
