// The JSON reader against nlohmann::json, whose parser it listens to: the
// same texts accepted, with the same values, on hand-picked edge cases and
// on many thousands of mutations of a scenario, one document reused for
// them all; numbers kept as written; the library's words for a syntax
// error; and the reader's own refusals (a NUL byte, limits) with their
// places.
#include "present/json_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace present {
namespace {

using json = nlohmann::json;

// Limits no test text reaches, for the comparisons with the library.
json_limits unlimited() {
  json_limits limits;
  limits.most_items = 1 << 20;
  limits.most_values = 1 << 20;
  limits.most_depth = 1 << 20;
  return limits;
}

std::string number_bits(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "#%016llx",
                static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(v)));
  return text;
}

std::string counted(std::string_view s) { return std::to_string(s.size()) + ":" + std::string(s); }

// A value written out canonically: numbers by their bits, an object's
// members by key, the last of a repeated key (as the library keeps it).
std::string canonical(json_value v) {
  switch (v.kind()) {
    case json_kind::null:
      return "n";
    case json_kind::boolean:
      return v.truth() ? "t" : "f";
    case json_kind::number:
      return number_bits(v.number());
    case json_kind::string:
      return "s" + counted(v.string());
    case json_kind::array: {
      std::string out = "[";
      for (const json_value item : v) out += canonical(item) + ",";
      return out + "]";
    }
    case json_kind::object: {
      std::map<std::string, std::string> members;
      for (const json_value member : v) members[std::string(member.key())] = canonical(member);
      std::string out = "{";
      for (const auto& [key, value] : members) out += counted(key) + "=" + value + ",";
      return out + "}";
    }
  }
  return "?";
}

std::string canonical(const json& v) {
  switch (v.type()) {
    case json::value_t::null:
      return "n";
    case json::value_t::boolean:
      return v.get<bool>() ? "t" : "f";
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
    case json::value_t::number_float:
      return number_bits(v.get<double>());
    case json::value_t::string:
      return "s" + counted(v.get<std::string>());
    case json::value_t::array: {
      std::string out = "[";
      for (const json& item : v) out += canonical(item) + ",";
      return out + "]";
    }
    case json::value_t::object: {
      std::string out = "{";
      for (const auto& [key, value] : v.items()) out += counted(key) + "=" + canonical(value) + ",";
      return out + "}";
    }
    default:
      return "?";
  }
}

// Whether the reader and the library agree on a text: both refuse it, or
// both read it as the same value. Texts with a NUL byte are the reader's
// own business (the library stops at one).
::testing::AssertionResult agrees(const std::string& text, json_document& doc) {
  const std::optional<json_failure> failure = read_json(text, unlimited(), doc);
  const bool library_accepts = json::accept(text);
  if (failure.has_value() == library_accepts) {
    return ::testing::AssertionFailure() << (library_accepts ? "refused what the library accepts"
                                                             : "accepted what the library refuses");
  }
  if (failure) return ::testing::AssertionSuccess();
  const std::string ours = canonical(json_value(doc, 0));
  const std::string theirs = canonical(json::parse(text));
  if (ours != theirs) return ::testing::AssertionFailure() << ours << "\n  vs " << theirs;
  return ::testing::AssertionSuccess();
}

const std::string scenario_text = R"({"id": "s1", "title": "caf\u00e9 \"A\"\n", "mode": "overall",
  "predictors": [{"name": "P\u00e9", "d": -1.0312, "weight": 0.5}, {"name": "P2", "d": -4e-1, "weight": 3E+2}],
  "criteria": [{"name": "C1", "d": -0.3, "weight": 1}], "flag": true, "none": null, "no": false,
  "correlations": [[1, 0.3, 0.5], [0.3, 1, 0.4], [0.5, 0.4, 1]], "majority_per_minority": 2,
  "requested_ratios": [0.15, 0.4, -0, 18446744073709551615, 18446744073709551616, -9223372036854775809]})";

TEST(JsonReader, ReadsWhatTheLibraryReadsWithTheSameValues) {
  const char* texts[] = {
      "{}", "[]", " [ ] ", "0", "-0", "-0.0", "1e-400", "-1e-400", "4.9e-324", "2.4e-324",
      "2.5e-324", "1.7976931348623157e308", "9007199254740993", "-9223372036854775808",
      "-9223372036854775809", "18446744073709551615", "18446744073709551616",
      "123456789012345678901234567890", "1E5", "1e+5", "0.1e-0", "\"\"", "\"\\u0000\"",
      "\"\\ud83d\\ude00\"", "\"\\u00E9\\u20ac\"", "\"\\/\\b\\f\\n\\r\\t\\\\\\\"\"",
      "\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf\"", "\xEF\xBB\xBF{\"a\": 1}",
      "\xEF\xBB\xBF", "[[[[[]]]], {\"a\": {\"b\": [1, {}]}}]", "{\"a\": 1, \"a\": 2}",
      "\t\r\n {\"x\" :\t[ true , false , null ] } \n",
      // Refused by both.
      "", " ", "01", "-", "--1", "1.", ".5", "1e", "1e+", "+1", "0x10", "NaN", "Infinity", "[1,]",
      "[,1]", "{,}", "{\"a\" 1}", "{\"a\": }", "{\"a\": 1,}", "{a: 1}", "{'a': 1}", "tru", "nul",
      "truex", "[1 2]", "{} {}", "{}x", "\"\\x\"", "\"\\u12\"", "\"\\u12g4\"", "\"\\ud800\"",
      "\"\\udc00\"", "\"\\ud800\\u0041\"", "\"\\ud800x\"", "\"a\tb\"", "\"a\nb\"", "\"\x7f\"",
      "\"\xc0\x80\"", "\"\xc2\"", "\"\xe0\x80\x80\"", "\"\xe0\xa0\"", "\"\xed\xa0\x80\"",
      "\"\xf0\x80\x80\x80\"", "\"\xf4\x90\x80\x80\"", "\"\xf5\x80\x80\x80\"", "\"\xff\"",
      "\xEF\xBB", "\xEF\xBB\xBF\xEF\xBB\xBF{}", "{}\xEF\xBB\xBF", "\f{}", "\v{}", "[1e400]",
      "[-1e400]", "[123e999999999999]", "\"unterminated", "[", "{\"a\":[1,{\"b\":", "/* */{}",
      "{\"a\": 1} // x"};
  json_document doc;
  for (const std::string text : texts) EXPECT_TRUE(agrees(text, doc)) << '"' << text << '"';
  EXPECT_TRUE(agrees(scenario_text, doc));
}

// Random mutations of a scenario: bytes replaced, dropped or inserted,
// from JSON's own characters and some that break it.
TEST(JsonReader, AgreesWithTheLibraryOnMutatedScenarios) {
  const std::string alphabet =
      std::string("{}[]\":,0123456789.eE+-tfnul\\ \t\nabuD8\xc3\xa9\xff\xed") +
      std::string(1, '\x01');
  std::mt19937 random(31);
  int accepted = 0;
  json_document doc;
  for (int i = 0; i < 30000; ++i) {
    std::string text = scenario_text;
    const int changes = 1 + static_cast<int>(random() % 3);
    for (int c = 0; c < changes; ++c) {
      const std::size_t at = random() % text.size();
      const char byte = alphabet[random() % alphabet.size()];
      switch (random() % 3) {
        case 0:
          text[at] = byte;
          break;
        case 1:
          text.erase(at, 1 + random() % 3);
          break;
        default:
          text.insert(at, 1, byte);
          break;
      }
    }
    ASSERT_TRUE(agrees(text, doc)) << text;
    accepted += json::accept(text) ? 1 : 0;
  }
  // Both kinds are well represented.
  EXPECT_GT(accepted, 3000);
  EXPECT_LT(accepted, 27000);
}

TEST(JsonReader, KeepsMembersInOrderWithTheirKeysAndNumbersAsWritten) {
  json_document doc;
  ASSERT_FALSE(read_json(R"({"b": 1.50, "a": [true, "x"], "b": -0})", unlimited(), doc));
  const json_value root(doc, 0);
  ASSERT_TRUE(root.is_object());
  EXPECT_EQ(root.size(), 3U);
  std::vector<std::string> keys;
  for (const json_value member : root) keys.emplace_back(member.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"b", "a", "b"}));
  const json_value first = *root.find("b");
  EXPECT_EQ(first.number(), 1.5);
  EXPECT_EQ(first.number_text(), "1.50");
  EXPECT_EQ((*root.find("a")).size(), 2U);
  EXPECT_FALSE(root.find("c").has_value());
  // "-0" is an integer, as the library reads it: zero, not minus zero.
  auto member = root.begin();
  ++member;
  ++member;
  EXPECT_FALSE(std::signbit((*member).number()));
  EXPECT_EQ((*member).number_text(), "-0");
}

// Integers are told to the reader by value alone: their texts must still
// be the ones written.
TEST(JsonReader, KeepsEveryNumberAsWritten) {
  const std::vector<std::string> written = {"0",
                                            "-0",
                                            "7",
                                            "-7",
                                            "18446744073709551615",
                                            "-9223372036854775808",
                                            "18446744073709551616",
                                            "-9223372036854775809",
                                            "-0.0",
                                            "1E5",
                                            "1e+5",
                                            "0.10",
                                            "4.9e-324"};
  std::string text = "[";
  for (const std::string& number : written) text += (text.size() > 1 ? ", " : "") + number;
  text += "]";
  json_document doc;
  ASSERT_FALSE(read_json(text, unlimited(), doc).has_value());
  std::vector<std::string> texts;
  for (const json_value v : json_value(doc, 0)) texts.emplace_back(v.number_text());
  EXPECT_EQ(texts, written);
  std::vector<bool> integers;
  for (std::size_t i = 1; i < doc.nodes.size(); ++i) integers.push_back(doc.nodes[i].integer);
  // Written without fraction or exponent, and within 64 bits.
  EXPECT_EQ(integers, (std::vector<bool>{true, true, true, true, true, true, false, false, false,
                                         false, false, false, false}));
}

TEST(JsonReader, RefusesANulByteAndSaysWhere) {
  json_document doc;
  for (const auto& [text, line, column] : {std::tuple{std::string("{}\0garbage", 10), 1U, 3U},
                                           std::tuple{std::string("{\n  \"a\": \0}", 11), 2U, 8U},
                                           std::tuple{std::string("[1,\n\n\0", 6), 3U, 1U},
                                           // after a string that ends in an escaped backslash
                                           std::tuple{std::string("{\"a\\\\\": \0}", 10), 1U, 9U},
                                           // within a number, where the library stops
                                           std::tuple{std::string("[1.\0]", 5), 1U, 4U}}) {
    const std::optional<json_failure> f = read_json(text, unlimited(), doc);
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->why, json_failure::reason::nul_byte);
    EXPECT_EQ(f->line, line);
    EXPECT_EQ(f->column, column);
  }
  // Inside a string it is an unescaped control character, as for the
  // library, even after an escaped quote.
  for (const std::string& text : {std::string("\"a\0\"", 4), std::string("[\"a\\\"\0\"]", 8)}) {
    const std::optional<json_failure> f = read_json(text, unlimited(), doc);
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->why, json_failure::reason::syntax);
    EXPECT_NE(f->message.find("control character U+0000"), std::string::npos) << f->message;
  }
}

// A syntax error is told in the library's words, which place it themselves,
// and placed at the byte where the reading stopped.
TEST(JsonReader, ASyntaxErrorHasTheLibrarysWords) {
  json_document doc;
  for (const auto& [text, line, column] :
       {std::tuple{std::string("{\n  \"a\": tru }"), 2U, 11U},
        std::tuple{std::string("{\"a\": 1,\n}"), 2U, 1U}, std::tuple{std::string(""), 1U, 1U},
        std::tuple{std::string("[1, 2] x"), 1U, 8U},
        // cut short: just past the last byte
        std::tuple{std::string("{\"a\": [1, 2"), 1U, 12U},
        // not UTF-8: the byte at fault
        std::tuple{std::string("[\"a\xff\"]"), 1U, 4U},
        // a byte-order mark counts as the bytes it is
        std::tuple{std::string("\xEF\xBB\xBFx"), 1U, 4U}}) {
    std::string expected;
    try {
      [[maybe_unused]] const json parsed = json::parse(text);
    } catch (const json::parse_error& e) {
      expected = e.what();
      expected.erase(0, expected.find("] ") + 2);
    }
    ASSERT_FALSE(expected.empty()) << text;
    const std::optional<json_failure> f = read_json(text, unlimited(), doc);
    ASSERT_TRUE(f.has_value()) << text;
    EXPECT_EQ(f->why, json_failure::reason::syntax);
    EXPECT_EQ(f->message, expected);
    EXPECT_EQ(f->line, line) << text;
    EXPECT_EQ(f->column, column) << text;
  }
}

// A string or key longer than any buffer the parser starts with comes
// whole, escapes decoded, however long.
TEST(JsonReader, KeepsLongStringsWhole) {
  const std::string long_key(70000, 'k');
  const std::string long_string = std::string(5 << 20, 'a');
  const std::string text =
      "{\"" + long_key + "\": \"\\n" + long_string + "\\u00e9\", \"b\": \"" + long_string + "\"}";
  json_document doc;
  ASSERT_FALSE(read_json(text, json_limits{}, doc).has_value());
  const json_value root(doc, 0);
  ASSERT_EQ(root.size(), 2U);
  const json_value first = *root.begin();
  EXPECT_EQ(first.key(), long_key);
  EXPECT_EQ(first.string(), "\n" + long_string + "\xc3\xa9");
  EXPECT_EQ((*root.find("b")).string(), long_string);
}

TEST(JsonReader, ANumberBeyondTheDoublesIsPlaced) {
  json_document doc;
  const std::optional<json_failure> f = read_json("{\"a\": [1,\n  -2e400]}", unlimited(), doc);
  ASSERT_TRUE(f.has_value());
  EXPECT_EQ(f->why, json_failure::reason::overflow);
  EXPECT_EQ(f->token, "-2e400");
  EXPECT_EQ(f->line, 2U);
  EXPECT_EQ(f->column, 8U);  // its last character
}

TEST(JsonReader, StopsAtItsLimitsBeforeBuildingMore) {
  json_limits limits;
  limits.most_items = 3;
  limits.most_values = 12;
  limits.most_depth = 3;
  json_document doc;
  std::optional<json_failure> f =
      read_json(R"({"a": [1, 2, 3], "b": {"c": [1, 2, 3, 4]}})", limits, doc);
  ASSERT_TRUE(f.has_value());
  EXPECT_EQ(f->why, json_failure::reason::too_long);
  EXPECT_EQ(f->path, "b.c");
  f = read_json(R"([[1], [2, [3, 4, 5, 6]]])", limits, doc);
  ASSERT_TRUE(f.has_value());
  EXPECT_EQ(f->why, json_failure::reason::too_long);
  EXPECT_EQ(f->path, "[1][1]");
  f = read_json(R"([[1, 2, 3], [1, 2, 3], [1, 2, 3]])", limits, doc);
  ASSERT_TRUE(f.has_value());
  EXPECT_EQ(f->why, json_failure::reason::too_large);
  f = read_json(R"({"a": [[[1]]]})", limits, doc);
  ASSERT_TRUE(f.has_value());
  EXPECT_EQ(f->why, json_failure::reason::too_deep);
  EXPECT_EQ(f->path, "a[0]");
  EXPECT_FALSE(read_json(R"({"a": [[1]]})", limits, doc).has_value());
  EXPECT_LE(doc.nodes.capacity(), 64U);

  // A text nested a million deep costs no stack and little memory.
  const std::string deep = std::string(1000000, '[') + std::string(1000000, ']');
  f = read_json(deep, json_limits{}, doc);
  ASSERT_TRUE(f.has_value());
  EXPECT_EQ(f->why, json_failure::reason::too_deep);
  // The same from the library's value, in key order.
  f = read_json_value(json::parse(R"({"z": 1, "b": {"c": [1, 2, 3, 4]}})"), limits, doc);
  ASSERT_TRUE(f.has_value());
  EXPECT_EQ(f->why, json_failure::reason::too_long);
  EXPECT_EQ(f->path, "b.c");
}

TEST(JsonReader, TheLibrarysValueGivesTheSameDocument) {
  const json value = json::parse(scenario_text);
  json_document doc;
  ASSERT_FALSE(read_json_value(value, unlimited(), doc).has_value());
  EXPECT_EQ(canonical(json_value(doc, 0)), canonical(value));
  const json_value ratios = *json_value(doc, 0).find("requested_ratios");
  std::vector<std::string> texts;
  for (const json_value r : ratios) texts.emplace_back(r.number_text());
  // Numbers as the library writes them; beyond 64 bits it holds a double.
  EXPECT_EQ(texts, (std::vector<std::string>{"0.15", "0.4", "0", "18446744073709551615",
                                             "1.8446744073709552e+19", "-9.223372036854776e+18"}));
}

TEST(JsonReader, Utf8Sequences) {
  EXPECT_EQ(utf8_length("\xc3\xa9"), 2U);
  EXPECT_EQ(utf8_length("\xe2\x82\xac"), 3U);
  EXPECT_EQ(utf8_length("\xf0\x9f\x98\x80"), 4U);
  for (const char* bad : {"\xc3", "\xc0\x80", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xff", "\x80"}) {
    EXPECT_EQ(utf8_length(bad), 0U) << bad;
  }
}

}  // namespace
}  // namespace present
