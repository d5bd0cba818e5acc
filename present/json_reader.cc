#include "present/json_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <system_error>

namespace present {

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

// The ranges of the Unicode Standard's table 3-7, which nlohmann::json
// checks too.
std::size_t utf8_length(std::string_view s) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const auto in = [&](std::size_t i, unsigned low, unsigned high) {
    return i < s.size() && byte(i) >= low && byte(i) <= high;
  };
  const unsigned first = byte(0);
  if (first >= 0xC2 && first <= 0xDF) return in(1, 0x80, 0xBF) ? 2 : 0;
  if (first >= 0xE0 && first <= 0xEF) {
    const unsigned low = first == 0xE0 ? 0xA0 : 0x80;
    const unsigned high = first == 0xED ? 0x9F : 0xBF;
    return in(1, low, high) && in(2, 0x80, 0xBF) ? 3 : 0;
  }
  if (first >= 0xF0 && first <= 0xF4) {
    const unsigned low = first == 0xF0 ? 0x90 : 0x80;
    const unsigned high = first == 0xF4 ? 0x8F : 0xBF;
    return in(1, low, high) && in(2, 0x80, 0xBF) && in(3, 0x80, 0xBF) ? 4 : 0;
  }
  return 0;
}

namespace {

void append_utf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// A double from a number's text as nlohmann::json makes it: strtod's
// correctly rounded value (std::from_chars gives the same, faster).
double float_value(std::string_view token) {
#if defined(__cpp_lib_to_chars)
  double v = 0;
  const std::from_chars_result r = std::from_chars(token.data(), token.data() + token.size(), v);
  if (r.ec == std::errc()) return v;
#endif
  // Beyond the doubles, or below their least: strtod's infinity, zero or
  // subnormal number.
  const std::string copy(token);
  return std::strtod(copy.c_str(), nullptr);
}

template <class Integer>
bool integer_value(std::string_view token, double& value) {
  Integer i = 0;
  const std::from_chars_result r = std::from_chars(token.data(), token.data() + token.size(), i);
  if (r.ec != std::errc()) return false;
  value = static_cast<double>(i);
  return true;
}

class text_reader {
 public:
  text_reader(std::string_view text, const json_limits& limits, json_document& doc)
      : text_(text), limits_(limits), doc_(doc), open_(doc.open) {}

  std::optional<json_failure> read() {
    doc_.nodes.clear();
    doc_.strings.clear();
    doc_.source = text_;
    open_.clear();
    if (text_.substr(0, 1) == "\xEF") {
      if (text_.substr(0, 3) != "\xEF\xBB\xBF") return fail(json_failure::reason::syntax);
      at_ = 3;
    }
    // Without recursion, so that no nesting can exhaust the stack: a value
    // is due, or the next member of the innermost open container.
    value_due_ = true;
    for (;;) {
      skip_space();
      if (value_due_) {
        value_due_ = false;
        if (!value()) return failure_;
        continue;
      }
      if (open_.empty()) break;
      json_node& container = doc_.nodes[open_.back()];
      const bool object = container.kind == json_kind::object;
      const char c = peek();
      if (c == ',') {
        ++at_;
        if (object && !key()) return failure_;
        value_due_ = true;
      } else if (c == (object ? '}' : ']')) {
        ++at_;
        close();
      } else {
        return fail(unexpected());
      }
    }
    if (at_ < text_.size()) return fail(unexpected());
    return std::nullopt;
  }

 private:
  char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }

  void skip_space() {
    while (at_ < text_.size() && is_space(text_[at_])) ++at_;
  }

  // What the character at hand is a fault of: a NUL byte has its own.
  json_failure::reason unexpected() const {
    return at_ < text_.size() && text_[at_] == '\0' ? json_failure::reason::nul_byte
                                                    : json_failure::reason::syntax;
  }

  std::optional<json_failure> fail(json_failure::reason why) {
    failure_ = located(why, at_);
    return failure_;
  }
  bool failed(json_failure::reason why = json_failure::reason::syntax) {
    fail(why);
    return false;
  }

  void close() {
    doc_.nodes[open_.back()].end = static_cast<std::uint32_t>(doc_.nodes.size());
    open_.pop_back();
  }

  // One value, after white space. A container is opened and its first key
  // read; read()'s loop reads its members.
  bool value() {
    const char c = peek();
    switch (c) {
      case '{':
      case '[': {
        ++at_;
        if (!add(c == '{' ? json_kind::object : json_kind::array)) return false;
        if (open_.size() >= limits_.most_depth) {
          failure_ = json_failure{json_failure::reason::too_deep};
          failure_->path = path();
          return false;
        }
        open_.push_back(static_cast<std::uint32_t>(doc_.nodes.size() - 1));
        skip_space();
        if (peek() == (c == '{' ? '}' : ']')) {
          ++at_;
          close();
          return true;
        }
        if (c == '{' && !key()) return false;
        value_due_ = true;  // the first member's value
        return true;
      }
      case '"': {
        json_text_ref text;
        if (!string(text)) return false;
        if (!add(json_kind::string)) return false;
        doc_.nodes.back().text = text;
        return true;
      }
      case 't':
        return literal("true", json_kind::boolean, true);
      case 'f':
        return literal("false", json_kind::boolean, false);
      case 'n':
        return literal("null", json_kind::null, false);
      default:
        if (c == '-' || is_digit(c)) return number();
        return failed(unexpected());
    }
  }

  // A member's key and its colon, after white space.
  bool key() {
    skip_space();
    if (peek() != '"') return failed(unexpected());
    if (!string(key_)) return false;
    skip_space();
    if (peek() != ':') return failed(unexpected());
    ++at_;
    return true;
  }

  bool literal(std::string_view word, json_kind kind, bool truth) {
    if (text_.substr(at_, word.size()) != word) return failed();
    at_ += word.size();
    if (!add(kind)) return false;
    doc_.nodes.back().truth = truth;
    return true;
  }

  bool number() {
    const std::size_t from = at_;
    const bool negative = peek() == '-';
    if (negative) ++at_;
    if (peek() == '0') {
      ++at_;
    } else if (is_digit(peek())) {
      while (is_digit(peek())) ++at_;
    } else {
      return failed();
    }
    bool integer = true;
    if (peek() == '.') {
      ++at_;
      if (!is_digit(peek())) return failed();
      while (is_digit(peek())) ++at_;
      integer = false;
    }
    if (peek() == 'e' || peek() == 'E') {
      ++at_;
      if (peek() == '+' || peek() == '-') ++at_;
      if (!is_digit(peek())) return failed();
      while (is_digit(peek())) ++at_;
      integer = false;
    }
    const std::string_view token = text_.substr(from, at_ - from);
    double v = 0;
    // As nlohmann::json reads numbers: an integer that fits 64 bits is an
    // integer, converted to a double when asked for one.
    const bool fits = integer && (negative ? integer_value<std::int64_t>(token, v)
                                           : integer_value<std::uint64_t>(token, v));
    if (!fits) v = float_value(token);
    if (!std::isfinite(v)) {
      failure_ = located(json_failure::reason::overflow, at_ - 1);
      failure_->token = token;
      return false;
    }
    if (!add(json_kind::number)) return false;
    json_node& n = doc_.nodes.back();
    n.number = v;
    n.integer = fits;
    n.text = {static_cast<std::uint32_t>(from), static_cast<std::uint32_t>(token.size()), true};
    return true;
  }

  // A string's characters: where it stands in the text, when it has no
  // escapes (its bytes are its characters), or else decoded into the
  // document's strings.
  bool string(json_text_ref& ref) {
    const std::size_t start = ++at_;       // after the opening quote
    std::size_t from = std::string::npos;  // where it starts in `strings`, once copied
    for (;;) {
      // The plain run up to the next quote, escape, control character or
      // byte of a multi-byte character.
      std::size_t run = at_;
      while (run < text_.size()) {
        const auto c = static_cast<unsigned char>(text_[run]);
        if (c == '"' || c == '\\' || c < 0x20 || c >= 0x80) break;
        ++run;
      }
      if (from != std::string::npos) doc_.strings.append(text_.data() + at_, run - at_);
      at_ = run;
      if (at_ >= text_.size()) return failed();
      const auto c = static_cast<unsigned char>(text_[at_]);
      if (c == '"') {
        ref = from == std::string::npos
                  ? json_text_ref{static_cast<std::uint32_t>(start),
                                  static_cast<std::uint32_t>(at_ - start), true}
                  : json_text_ref{static_cast<std::uint32_t>(from),
                                  static_cast<std::uint32_t>(doc_.strings.size() - from), false};
        ++at_;
        return true;
      }
      if (c < 0x20) return failed();
      if (c >= 0x80) {
        const std::size_t length = utf8_length(text_.substr(at_));
        if (length == 0) return failed();
        if (from != std::string::npos) doc_.strings.append(text_.data() + at_, length);
        at_ += length;
        continue;
      }
      if (from == std::string::npos) {
        // The first escape: what came before it is copied, and the rest
        // is decoded after it.
        from = doc_.strings.size();
        doc_.strings.append(text_.data() + start, at_ - start);
      }
      if (!escape(doc_.strings)) return failed();
    }
  }

  bool escape(std::string& out) {
    ++at_;  // the backslash
    const char c = peek();
    ++at_;
    switch (c) {
      case '"':
      case '\\':
      case '/':
        out += c;
        return true;
      case 'b':
        out += '\b';
        return true;
      case 'f':
        out += '\f';
        return true;
      case 'n':
        out += '\n';
        return true;
      case 'r':
        out += '\r';
        return true;
      case 't':
        out += '\t';
        return true;
      case 'u':
        break;
      default:
        return false;
    }
    std::uint32_t code = 0;
    if (!hex4(code)) return false;
    if (code >= 0xDC00 && code <= 0xDFFF) return false;  // a low surrogate alone
    if (code >= 0xD800 && code <= 0xDBFF) {
      std::uint32_t low = 0;
      if (text_.substr(at_, 2) != "\\u") return false;
      at_ += 2;
      if (!hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    }
    append_utf8(out, code);
    return true;
  }

  bool hex4(std::uint32_t& code) {
    if (text_.size() - at_ < 4) return false;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[at_++];
      std::uint32_t digit = 0;
      if (is_digit(c)) {
        digit = static_cast<std::uint32_t>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        digit = static_cast<std::uint32_t>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        digit = static_cast<std::uint32_t>(c - 'A' + 10);
      } else {
        return false;
      }
      code = code * 16 + digit;
    }
    return true;
  }

  // A new value, a member of the innermost open container (with the key
  // just read when that is an object), within the limits.
  bool add(json_kind kind) {
    if (!open_.empty()) {
      json_node& container = doc_.nodes[open_.back()];
      if (container.size >= limits_.most_items) {
        failure_ = json_failure{json_failure::reason::too_long};
        failure_->path = path();
        return false;
      }
      ++container.size;
    }
    if (doc_.nodes.size() >= limits_.most_values) {
      failure_ = json_failure{json_failure::reason::too_large};
      failure_->path = path();
      return false;
    }
    json_node& n = doc_.nodes.emplace_back();
    n.kind = kind;
    n.end = static_cast<std::uint32_t>(doc_.nodes.size());
    if (!open_.empty() && doc_.nodes[open_.back()].kind == json_kind::object) n.key = key_;
    return true;
  }

  // The path of the innermost open container ("predictors[3]").
  std::string path() const {
    std::string out;
    for (std::size_t i = 1; i < open_.size(); ++i) {
      const json_node& parent = doc_.nodes[open_[i - 1]];
      if (parent.kind == json_kind::object) {
        if (!out.empty()) out += '.';
        out += json_value(doc_, open_[i]).key();
      } else {
        out += '[' + std::to_string(parent.size - 1) + ']';
      }
    }
    return out;
  }

  // The line and column of the byte at `at` (the end of the text, when an
  // escape at its end has taken the reading past it).
  json_failure located(json_failure::reason why, std::size_t at) const {
    json_failure f{why};
    for (std::size_t i = 0; i < std::min(at, text_.size()); ++i) {
      if (text_[i] == '\n') {
        ++f.line;
        f.column = 0;
      } else {
        ++f.column;
      }
    }
    ++f.column;
    return f;
  }

  std::string_view text_;
  const json_limits& limits_;
  json_document& doc_;
  std::vector<std::uint32_t>& open_;  // the containers being filled
  std::size_t at_ = 0;
  bool value_due_ = false;  // a value comes next
  json_text_ref key_;       // the key of the member being read
  std::optional<json_failure> failure_;
};

// The same layout from a parsed value, depth first.
class value_reader {
 public:
  value_reader(const json_limits& limits, json_document& doc) : limits_(limits), doc_(doc) {}

  std::optional<json_failure> read(const nlohmann::json& root) {
    doc_.nodes.clear();
    doc_.strings.clear();
    doc_.source = {};
    path_.clear();
    if (!add(root, {}, 0)) return failure_;
    return std::nullopt;
  }

 private:
  bool add(const nlohmann::json& v, std::string_view key, std::size_t depth) {
    const bool container = v.is_array() || v.is_object();
    if (doc_.nodes.size() >= limits_.most_values || (container && depth >= limits_.most_depth)) {
      failure_ =
          json_failure{container && depth >= limits_.most_depth ? json_failure::reason::too_deep
                                                                : json_failure::reason::too_large};
      failure_->path = path_;
      return false;
    }
    const auto index = static_cast<std::uint32_t>(doc_.nodes.size());
    json_node n;
    n.key = kept(key);
    switch (v.type()) {
      case nlohmann::json::value_t::null:
      case nlohmann::json::value_t::discarded:
      case nlohmann::json::value_t::binary:
        break;
      case nlohmann::json::value_t::boolean:
        n.kind = json_kind::boolean;
        n.truth = v.get<bool>();
        break;
      case nlohmann::json::value_t::number_integer:
      case nlohmann::json::value_t::number_unsigned:
      case nlohmann::json::value_t::number_float: {
        n.kind = json_kind::number;
        n.number = v.get<double>();
        n.integer = !v.is_number_float();
        n.text = kept(v.dump());
        break;
      }
      case nlohmann::json::value_t::string: {
        n.kind = json_kind::string;
        n.text = kept(v.get_ref<const std::string&>());
        break;
      }
      case nlohmann::json::value_t::array:
      case nlohmann::json::value_t::object:
        n.kind = v.is_array() ? json_kind::array : json_kind::object;
        if (v.size() > limits_.most_items) {
          failure_ = json_failure{json_failure::reason::too_long};
          failure_->path = path_;
          return false;
        }
        n.size = static_cast<std::uint32_t>(v.size());
        break;
    }
    doc_.nodes.push_back(n);
    if (container) {
      const std::size_t path_size = path_.size();
      std::size_t i = 0;
      for (auto member = v.begin(); member != v.end(); ++member, ++i) {
        if (v.is_object()) {
          if (!path_.empty()) path_ += '.';
          path_ += member.key();
        } else {
          path_ += '[' + std::to_string(i) + ']';
        }
        if (!add(*member, v.is_object() ? std::string_view(member.key()) : std::string_view(),
                 depth + 1)) {
          return false;
        }
        path_.resize(path_size);
      }
    }
    doc_.nodes[index].end = static_cast<std::uint32_t>(doc_.nodes.size());
    return true;
  }

  json_text_ref kept(std::string_view text) {
    const json_text_ref ref{static_cast<std::uint32_t>(doc_.strings.size()),
                            static_cast<std::uint32_t>(text.size()), false};
    doc_.strings += text;
    return ref;
  }

  const json_limits& limits_;
  json_document& doc_;
  std::string path_;
  std::optional<json_failure> failure_;
};

}  // namespace

std::optional<json_failure> read_json(std::string_view text, const json_limits& limits,
                                      json_document& doc) {
  return text_reader(text, limits, doc).read();
}

std::optional<json_failure> read_json_value(const nlohmann::json& value, const json_limits& limits,
                                            json_document& doc) {
  return value_reader(limits, doc).read(value);
}

std::optional<json_value> json_value::find(std::string_view key) const {
  if (!is_object()) return std::nullopt;
  for (const json_value member : *this) {
    if (member.key() == key) return member;
  }
  return std::nullopt;
}

}  // namespace present
