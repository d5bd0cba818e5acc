// Inline and constexpr parts of the formatted writer (included by writer.h).
#ifndef FOURFIFTHS_RECORDIO_WRITER_INL_H_
#define FOURFIFTHS_RECORDIO_WRITER_INL_H_

namespace recordio {

namespace detail {

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

constexpr char to_upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

/// Characters of `text` up to and including the ")" that closes its first
/// "(", quoted text skipped; the whole text when there is no such ")".
constexpr int template_length(std::string_view text) {
  int depth = 0;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\'') {
      quoted = !quoted;  // a doubled quote toggles twice
    } else if (quoted) {
      continue;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')' && depth > 0 && --depth == 0) {
      return static_cast<int>(i + 1);
    }
  }
  return static_cast<int>(text.size());
}

/// A recursive-descent parser over the template notation. Every parsing
/// function returns false once the template has failed; `status_` says why.
class layout_parser {
 public:
  constexpr layout_parser(std::string_view text, std::span<step> steps)
      : text_(text),
        steps_(steps),
        limit_(steps.size() < static_cast<std::size_t>(max_steps) ? static_cast<int>(steps.size())
                                                                  : max_steps) {}

  constexpr parse_result run() {
    if (peek() != '(') return failed();
    ++pos_;
    if (!list(0)) return failed();
    ++pos_;  // the closing ")": what follows is not part of the template
    return {layout_status::ok, count_, reversion_, static_cast<int>(pos_)};
  }

 private:
  static constexpr int no_number = -1;

  constexpr parse_result failed() const { return {status_, count_, 0, template_length(text_)}; }

  constexpr bool reject() {
    status_ = layout_status::error_in_format;
    return false;
  }

  /// The next character that is not a blank, or '\0' at the end.
  constexpr char peek() {
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
    return pos_ < text_.size() ? text_[pos_] : '\0';
  }

  /// Reads an unsigned number into `value` (`no_number` when there is none).
  constexpr bool number(int& value) {
    value = no_number;
    while (is_digit(peek())) {
      const int digit = text_[pos_++] - '0';
      value = (value == no_number ? 0 : value * 10) + digit;
      if (value > max_layout_number) return reject();
    }
    return true;
  }

  /// Reads a number that must be there and lie in [least, max_layout_number].
  constexpr bool number_from(int least, int& value) {
    if (!number(value)) return false;
    return value >= least || reject();
  }

  constexpr bool add(const step& s) {
    if (count_ >= limit_) {
      status_ = layout_status::too_complicated;
      return false;
    }
    steps_[static_cast<std::size_t>(count_++)] = s;
    return true;
  }

  /// Elements up to (not over) the ")" that ends the list.
  constexpr bool list(int depth) {
    if (peek() == ')') return true;
    for (;;) {
      const bool slash = peek() == '/';
      if (!element(depth)) return false;
      const char next = peek();
      if (next == ')') return true;
      if (next == ',') {
        ++pos_;
        if (peek() == ')') return reject();
      } else if (!slash && next != '/') {
        return reject();
      }
    }
  }

  constexpr bool element(int depth) {
    const char c = peek();
    if (c == '\'') return quoted_text();
    if (c == '/') {
      ++pos_;
      return add({.kind = step_kind::slash});
    }
    int count = no_number;
    if (!number(count)) return false;
    if (count == 0) return reject();
    const char letter = to_upper(peek());
    if (letter == 'X') {
      ++pos_;
      return count != no_number ? add({.kind = step_kind::move, .width = count}) : reject();
    }
    const int repeat = count == no_number ? 1 : count;
    if (letter == '(') return group(depth, repeat);
    return data_field(letter, repeat);
  }

  constexpr bool quoted_text() {
    const std::size_t begin = ++pos_;
    for (;;) {
      if (pos_ >= text_.size()) return reject();
      if (text_[pos_] == '\'') {
        if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '\'') {
          pos_ += 2;
          continue;
        }
        break;
      }
      ++pos_;
    }
    const auto length = static_cast<int>(pos_ - begin);
    ++pos_;
    return add(
        {.kind = step_kind::text, .text_begin = static_cast<int>(begin), .text_length = length});
  }

  constexpr bool group(int depth, int repeat) {
    ++pos_;
    const int open = count_;
    if (!add({.kind = step_kind::group_open, .repeat = repeat})) return false;
    // The last group directly inside the outer parentheses is where the
    // template starts over when it runs out with items left.
    if (depth == 0) reversion_ = open;
    if (!list(depth + 1)) return false;
    ++pos_;
    if (!add({.kind = step_kind::group_close, .partner = open})) return false;
    steps_[static_cast<std::size_t>(open)].partner = count_ - 1;
    return true;
  }

  constexpr bool data_field(char letter, int repeat) {
    step s{.repeat = repeat};
    switch (letter) {
      case 'I':
        s.kind = step_kind::integer;
        break;
      case 'F':
        s.kind = step_kind::fixed;
        break;
      case 'D':
        s.kind = step_kind::exponent;
        break;
      case 'A':
        s.kind = step_kind::characters;
        break;
      default:
        return reject();
    }
    ++pos_;
    if (s.kind == step_kind::characters) {
      if (!number(s.width)) return false;
      if (s.width == no_number)
        s.width = 0;  // the item's own length
      else if (s.width == 0)
        return reject();
      return add(s);
    }
    if (!number_from(1, s.width)) return false;
    if (s.kind == step_kind::integer) return add(s);
    if (peek() != '.') return reject();
    ++pos_;
    const int least_digits = s.kind == step_kind::exponent ? 1 : 0;
    return number_from(least_digits, s.digits) && add(s);
  }

  std::string_view text_;
  std::span<step> steps_;
  int limit_;
  std::size_t pos_ = 0;
  int count_ = 0;
  int reversion_ = 0;
  layout_status status_ = layout_status::error_in_format;
};

}  // namespace detail

constexpr parse_result parse_layout(std::string_view text, std::span<step> steps) {
  return detail::layout_parser(text, steps).run();
}

namespace detail {
inline void put_item(record_writer& w, int v) { w.put(v); }
inline void put_item(record_writer& w, double v) { w.put(v); }
inline void put_item(record_writer& w, std::string_view v) { w.put(v); }
inline void put_item(record_writer& w, const char* v) { w.put(std::string_view(v)); }
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
