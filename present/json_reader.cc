#include "present/json_reader.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <nlohmann/json.hpp>
#include <string>

namespace present {

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

using json = nlohmann::json;

// The id of nlohmann::json's refusal of a number beyond the doubles
// ("number overflow parsing '1e400'").
constexpr int number_overflow_id = 406;

// Whether the end of `read` lies inside a string, for a text that
// nlohmann::json has read this far without fault.
bool ends_in_string(std::string_view read) {
  bool inside = false;
  for (std::size_t i = 0; i < read.size(); ++i) {
    if (read[i] == '"') {
      inside = !inside;
    } else if (inside && read[i] == '\\') {
      ++i;  // the escaped character, which may be a quote
    }
  }
  return inside;
}

// Fills a document from the events of nlohmann::json's own parser, so that
// it accepts what the library accepts, with the library's values. The
// parser does not recurse (it keeps a bit a level of nesting), and a
// container's start is checked against the limits before the parser goes
// into it.
class event_reader {
 public:
  event_reader(std::string_view text, const json_limits& limits, json_document& doc)
      : text_(text), limits_(limits), doc_(doc), open_(doc.open) {}

  std::optional<json_failure> read() {
    doc_.nodes.clear();
    doc_.strings.clear();
    // What is kept of the text is never longer than the text (escapes
    // decoded are shorter): one allocation, untouched beyond what is used.
    doc_.strings.reserve(text_.size());
    open_.clear();
    if (!json::sax_parse(text_, this)) {
      // Each event that stops the parser says why; this is for one that
      // would not.
      if (!failure_) {
        failure_ = placed(json_failure::reason::syntax, 0);
        failure_->message = "not JSON";
      }
      return failure_;
    }
    // The library takes a NUL byte for the end of the text, and may have
    // stopped at one: a text is whole only without one.
    if (const std::size_t nul = text_.find('\0'); nul != std::string_view::npos) {
      return placed(json_failure::reason::nul_byte, nul);
    }
    return std::nullopt;
  }

  // The parser's events.

  bool null() { return add(json_kind::null); }

  bool boolean(bool value) {
    if (!add(json_kind::boolean)) return false;
    doc_.nodes.back().truth = value;
    return true;
  }

  // A number written with a minus sign and neither fraction nor exponent:
  // its text is its digits (JSON has no leading zeros), or "-0".
  bool number_integer(json::number_integer_t value) {
    return value == 0 ? integer("-0", 0) : integer(digits(value), static_cast<double>(value));
  }

  // One written without a minus sign, fraction or exponent.
  bool number_unsigned(json::number_unsigned_t value) {
    return integer(digits(value), static_cast<double>(value));
  }

  // Any other, or an integer beyond 64 bits. The library refuses one beyond
  // the doubles before it comes here.
  bool number_float(json::number_float_t value, const json::string_t& text) {
    if (!add(json_kind::number)) return false;
    json_node& n = doc_.nodes.back();
    n.number = value;
    n.text = kept(text);
    return true;
  }

  bool string(json::string_t& value) {
    if (!add(json_kind::string)) return false;
    doc_.nodes.back().text = kept(value);
    return true;
  }

  // Only the binary formats have these: never called for a text.
  bool binary(json::binary_t& /*value*/) { return false; }

  bool start_object(std::size_t /*size*/) { return open(json_kind::object); }

  // The key of the member whose value comes next. A key given twice is kept
  // twice, in its place, for the scenario's checks to name.
  bool key(json::string_t& key) {
    key_ = kept(key);
    return true;
  }

  bool end_object() { return close(); }
  bool start_array(std::size_t /*size*/) { return open(json_kind::array); }
  bool end_array() { return close(); }

  // `position` counts the bytes read, the one at fault last.
  bool parse_error(std::size_t position, const std::string& token, const json::exception& e) {
    const std::size_t at = position == 0 ? 0 : position - 1;
    if (e.id == number_overflow_id) {
      failure_ = placed(json_failure::reason::overflow, at);
      failure_->token = token;
    } else if (at < text_.size() && text_[at] == '\0' && !ends_in_string(text_.substr(0, at))) {
      // Inside a string it is a control character, which the library names.
      failure_ = placed(json_failure::reason::nul_byte, at);
    } else {
      failure_ = placed(json_failure::reason::syntax, at);
      std::string what = e.what();
      // Without the library's bracketed tag: "parse error at line 1, ...".
      const std::size_t tag = what.find("] ");
      failure_->message = tag == std::string::npos ? std::move(what) : what.substr(tag + 2);
    }
    return false;
  }

 private:
  template <class Integer>
  static std::string digits(Integer value) {
    std::array<char, 24> text{};
    const auto r = std::to_chars(text.data(), text.data() + text.size(), value);
    return {text.data(), r.ptr};
  }

  bool integer(std::string_view text, double value) {
    if (!add(json_kind::number)) return false;
    json_node& n = doc_.nodes.back();
    n.number = value;
    n.integer = true;
    n.text = kept(text);
    return true;
  }

  bool open(json_kind kind) {
    if (!add(kind)) return false;
    if (open_.size() >= limits_.most_depth) return refused(json_failure::reason::too_deep);
    open_.push_back(static_cast<std::uint32_t>(doc_.nodes.size() - 1));
    return true;
  }

  bool close() {
    doc_.nodes[open_.back()].end = static_cast<std::uint32_t>(doc_.nodes.size());
    open_.pop_back();
    return true;
  }

  // A new value, a member of the innermost open container (with the key
  // just read when that is an object), within the limits.
  bool add(json_kind kind) {
    if (!open_.empty()) {
      json_node& container = doc_.nodes[open_.back()];
      if (container.size >= limits_.most_items) return refused(json_failure::reason::too_long);
      ++container.size;
    }
    if (doc_.nodes.size() >= limits_.most_values) {
      return refused(json_failure::reason::too_large);
    }
    json_node& n = doc_.nodes.emplace_back();
    n.kind = kind;
    n.end = static_cast<std::uint32_t>(doc_.nodes.size());
    if (!open_.empty() && doc_.nodes[open_.back()].kind == json_kind::object) n.key = key_;
    return true;
  }

  // A limit reached, in the innermost open container.
  bool refused(json_failure::reason why) {
    failure_ = json_failure{why};
    failure_->path = path();
    return false;
  }

  json_text_ref kept(std::string_view text) {
    const json_text_ref ref{static_cast<std::uint32_t>(doc_.strings.size()),
                            static_cast<std::uint32_t>(text.size())};
    doc_.strings += text;
    return ref;
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

  // A fault at the byte `at`, with its line and column (those of the end of
  // the text when the library read past it).
  json_failure placed(json_failure::reason why, std::size_t at) const {
    json_failure f{why};
    const std::string_view before = text_.substr(0, at);
    const std::size_t line_start = before.rfind('\n');
    f.line = 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
    f.column = 1 + before.size() - (line_start == std::string_view::npos ? 0 : line_start + 1);
    return f;
  }

  std::string_view text_;
  const json_limits& limits_;
  json_document& doc_;
  std::vector<std::uint32_t>& open_;  // the containers being filled
  json_text_ref key_;                 // the key of the member being read
  std::optional<json_failure> failure_;
};

// The same layout from a parsed value, depth first.
class value_reader {
 public:
  value_reader(const json_limits& limits, json_document& doc) : limits_(limits), doc_(doc) {}

  std::optional<json_failure> read(const nlohmann::json& root) {
    doc_.nodes.clear();
    doc_.strings.clear();
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
                            static_cast<std::uint32_t>(text.size())};
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
  return event_reader(text, limits, doc).read();
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
