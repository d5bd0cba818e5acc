// JSON documents as the scenario reader sees them: a flat list of values in
// document order, each object's members in the order written, duplicates
// kept (so that they can be refused). Filled from JSON text by
// nlohmann::json's own parser, through its events, so that exactly the
// texts it accepts are read, with its values, bounded by limits checked as
// the events come; or from an nlohmann::json value (the page's requests).
// One validation reads both (scenario.cc).
#ifndef FOURFIFTHS_PRESENT_JSON_READER_H_
#define FOURFIFTHS_PRESENT_JSON_READER_H_

#include <cstddef>
#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace present {

/// What a JSON value is.
enum class json_kind : std::uint8_t { null, boolean, number, string, array, object };

/// Where a piece of text lies in the document's own strings.
struct json_text_ref {
  std::uint32_t at = 0;
  std::uint32_t size = 0;
};

/// One value: a container is followed by its members (each with its key
/// when the container is an object), then by the values after it.
struct json_node {
  json_kind kind = json_kind::null;
  bool truth = false;      ///< a boolean's value
  bool integer = false;    ///< a number written without fraction or exponent
  std::uint32_t end = 0;   ///< the index just past this value and its members
  std::uint32_t size = 0;  ///< an array's items or an object's members
  json_text_ref key;       ///< a member's key
  json_text_ref text;      ///< a string's value, or a number as written
  /// A number's value, as nlohmann::json gives it as a double: an integer
  /// that fits 64 bits is converted from the integer ("-0" is 0).
  double number = 0;
};

/// Bounds on a document, so that its memory is bounded by them and not by
/// the text's size.
struct json_limits {
  std::size_t most_items = 1000;   ///< in any one array or object
  std::size_t most_values = 8192;  ///< in the whole document
  std::size_t most_depth = 64;     ///< arrays and objects, one inside the other
};

/// A document read: `nodes[0]` is the root. Its memory is kept from one
/// reading to the next.
struct json_document {
  std::vector<json_node> nodes;
  std::string strings;              ///< keys, strings (decoded) and numbers as written
  std::vector<std::uint32_t> open;  ///< the reader's own: the containers being read
};

/// Why a text could not be read.
struct json_failure {
  enum class reason : std::uint8_t {
    syntax,     ///< not JSON: nlohmann::json says what is wrong (`message`)
    nul_byte,   ///< a NUL byte outside a string
    overflow,   ///< a number beyond the doubles
    too_long,   ///< a list or object beyond `most_items`
    too_large,  ///< more values than `most_values`
    too_deep,   ///< containers nested beyond `most_depth`
  };
  json_failure() = default;
  explicit json_failure(reason r) : why(r) {}
  reason why = reason::syntax;
  std::size_t line = 1;    ///< 1-based
  std::size_t column = 0;  ///< bytes into the line, 1-based
  std::string token;       ///< the number that overflows
  std::string path;        ///< the container at fault ("predictors")
  /// nlohmann::json's words for a syntax fault, its own line and column
  /// among them: "parse error at line 2, column 1: syntax error while
  /// parsing value - ...".
  std::string message;
};

/// Reads a whole JSON text (after an optional UTF-8 byte-order mark) into
/// `doc`, or says why it cannot.
std::optional<json_failure> read_json(std::string_view text, const json_limits& limits,
                                      json_document& doc);

/// The same from a parsed value; its objects' members come in key order.
std::optional<json_failure> read_json_value(const nlohmann::json& value, const json_limits& limits,
                                            json_document& doc);

/// The length of the well-formed UTF-8 sequence at the start of `text`
/// (its first byte at least 0x80), or 0 when there is none.
std::size_t utf8_length(std::string_view text);

/// A value of a document: a light handle for reading it.
class json_value {
 public:
  json_value(const json_document& doc, std::uint32_t index) : doc_(&doc), index_(index) {}

  json_kind kind() const { return node().kind; }
  bool is_object() const { return kind() == json_kind::object; }
  bool is_array() const { return kind() == json_kind::array; }
  bool is_string() const { return kind() == json_kind::string; }
  bool is_number() const { return kind() == json_kind::number; }

  bool truth() const { return node().truth; }
  /// Items of an array, members of an object.
  std::size_t size() const { return node().size; }
  /// The first member with this key.
  std::optional<json_value> find(std::string_view key) const;
  /// The member's key (empty for a value that is not a member of an object).
  std::string_view key() const { return text(node().key); }
  std::string_view string() const { return text(node().text); }
  double number() const { return node().number; }
  /// A number as it is written in the text.
  std::string_view number_text() const { return string(); }

  /// The members or items, in order.
  class iterator {
   public:
    iterator(const json_document& doc, std::uint32_t index) : doc_(&doc), index_(index) {}
    json_value operator*() const { return {*doc_, index_}; }
    iterator& operator++() {
      index_ = doc_->nodes[index_].end;
      return *this;
    }
    bool operator==(const iterator& other) const { return index_ == other.index_; }

   private:
    const json_document* doc_;
    std::uint32_t index_;
  };
  iterator begin() const { return {*doc_, index_ + 1}; }
  iterator end() const { return {*doc_, node().end}; }

 private:
  const json_node& node() const { return doc_->nodes[index_]; }
  std::string_view text(const json_text_ref& ref) const {
    return std::string_view(doc_->strings).substr(ref.at, ref.size);
  }

  const json_document* doc_;
  std::uint32_t index_;
};

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_JSON_READER_H_
