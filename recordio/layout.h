// Layout templates: the notation of every report line, such as
// "('   Row ',I2,1X,30F5.2)". A template is parsed into a flat list of steps
// (`parse_layout`), at compile time for the report's own templates
// (`layout`), and a write operation (record_writer.h) then runs the steps.
#ifndef FOURFIFTHS_RECORDIO_LAYOUT_H_
#define FOURFIFTHS_RECORDIO_LAYOUT_H_

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

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

}  // namespace recordio

#endif  // FOURFIFTHS_RECORDIO_LAYOUT_H_
