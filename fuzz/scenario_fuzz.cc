// libFuzzer target: arbitrary bytes through the explorer's two new doors
// for untrusted input, in-process: the scenario readers (JSON and deck,
// whatever the content looks like) and a batch's handling of its input,
// cut into chunks of lines as a run cuts it and each line handled as a
// run handles it; and the JSON reader against nlohmann::json, which must
// accept the same texts with the same values. A crash, a sanitizer report,
// an exception that escapes or a broken invariant is a finding.
#include <cstddef>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "explore/batch.h"
#include "present/json_reader.h"
#include "present/scenario.h"

namespace {

// The same text read by the JSON reader and by nlohmann::json: both refuse
// it, or both give the same values, member for member. A NUL byte outside
// a string is the reader's own refusal (the library stops at one), and so
// are the limits.
std::string canonical(present::json_value v) {
  switch (v.kind()) {
    case present::json_kind::null:
      return "n";
    case present::json_kind::boolean:
      return v.truth() ? "t" : "f";
    case present::json_kind::number: {
      const double x = v.number();
      return "#" + std::string(reinterpret_cast<const char*>(&x), sizeof x);
    }
    case present::json_kind::string:
      return "s" + std::to_string(v.string().size()) + ":" + std::string(v.string());
    case present::json_kind::array: {
      std::string out = "[";
      for (const present::json_value item : v) out += canonical(item) + ",";
      return out + "]";
    }
    case present::json_kind::object: {
      std::map<std::string, std::string> members;  // the last of a key, as the library keeps
      for (const present::json_value m : v) members[std::string(m.key())] = canonical(m);
      std::string out = "{";
      for (const auto& [key, value] : members) {
        out.append(std::to_string(key.size())).append(":").append(key).append("=");
        out.append(value).append(",");
      }
      return out + "}";
    }
  }
  return "?";
}

std::string canonical(const nlohmann::json& v) {
  switch (v.type()) {
    case nlohmann::json::value_t::null:
      return "n";
    case nlohmann::json::value_t::boolean:
      return v.get<bool>() ? "t" : "f";
    case nlohmann::json::value_t::string: {
      const auto& s = v.get_ref<const std::string&>();
      return "s" + std::to_string(s.size()) + ":" + s;
    }
    case nlohmann::json::value_t::array: {
      std::string out = "[";
      for (const nlohmann::json& item : v) out += canonical(item) + ",";
      return out + "]";
    }
    case nlohmann::json::value_t::object: {
      std::string out = "{";
      for (const auto& [key, value] : v.items()) {
        out += std::to_string(key.size()) + ":" + key + "=" + canonical(value) + ",";
      }
      return out + "}";
    }
    default: {
      const double x = v.get<double>();
      return "#" + std::string(reinterpret_cast<const char*>(&x), sizeof x);
    }
  }
}

void check_json_reader(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) return;
  // Deep nesting is left out: the comparison's own recursion would need
  // the stack that the reader does without.
  present::json_limits limits;
  limits.most_items = limits.most_values = std::size_t{1} << 30;
  limits.most_depth = 200;
  present::json_document doc;
  const std::optional<present::json_failure> failure = present::read_json(text, limits, doc);
  if (failure && failure->why == present::json_failure::reason::too_deep) return;
  const bool theirs = nlohmann::json::accept(text);
  if (failure.has_value() == theirs) __builtin_trap();
  if (!failure &&
      canonical(present::json_value(doc, 0)) != canonical(nlohmann::json::parse(text))) {
    __builtin_trap();
  }
}

// A reader's result is a scenario exactly when there is no error; the JSON
// form of a scenario reads back as the same scenario.
void check_scenario(const present::loaded_scenario& s) {
  if (s.errors.empty() != s.problem.has_value()) __builtin_trap();
  if (s.problem.has_value() != s.value.has_value()) __builtin_trap();
  if (!s.value) return;
  const std::string json = present::to_json(*s.value);
  const present::loaded_scenario again = present::read_json_scenario(json);
  // A deck's problem may fail the JSON form's checks (it is taken as the
  // deck gives it); a JSON scenario's may not.
  if (s.value->form == present::scenario_form::json && !again.value) __builtin_trap();
  if (again.value && present::to_json(*again.value) != json) __builtin_trap();
}

void check_batch(std::string_view input, std::uint8_t choice) {
  explore::batch_options o;
  o.format = (choice & 1) != 0 ? explore::batch_format::jsonl : explore::batch_format::csv;
  o.method = (choice & 2) != 0 ? fourfifths::method::classic : fourfifths::method::precise;
  if ((choice & 4) != 0) o.ratios = std::vector<double>{0.05, 0.5, 1.5};
  // Small limits, so that chunks close and lines run over in small inputs.
  o.limits.chunk_lines = 1 + choice % 3;
  o.limits.chunk_bytes = 64 + choice;
  o.limits.max_line_bytes = 256 + 8 * choice;
  const std::size_t block = 1 + (choice >> 3);

  explore::line_splitter splitter(o.limits);
  std::vector<explore::batch_chunk> chunks;
  for (std::size_t at = 0; at < input.size(); at += block) {
    splitter.feed(input.substr(at, block), (choice & 8) != 0, chunks);
  }
  if (std::optional<explore::batch_chunk> last = splitter.finish()) {
    chunks.push_back(std::move(*last));
  }
  std::uint64_t bytes = 0;
  std::uint64_t next_line = 1;
  for (const explore::batch_chunk& chunk : chunks) {
    if (chunk.first_line != next_line || chunk.text.empty() || chunk.text.back() != '\n') {
      __builtin_trap();
    }
    std::string out;
    const explore::batch_counts counts = explore::batch_chunk_rows(chunk, o, out);
    if (counts.faults != 0) __builtin_trap();
    // Every line that is not blank gives output, ending in a newline.
    if ((counts.analysed + counts.failed == 0) != out.empty()) __builtin_trap();
    if (!out.empty() && out.back() != '\n') __builtin_trap();
    for (const char c : chunk.text) next_line += c == '\n' ? 1 : 0;
    bytes += chunk.input_bytes;
  }
  if (bytes != input.size()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  check_json_reader(text);
  check_scenario(present::read_scenario(text));
  check_scenario(present::form_of(text) == present::scenario_form::json
                     ? present::read_deck_scenario(text)
                     : present::read_json_scenario(text, present::id_rule::required));
  // The batch's settings come from the input's length and last byte, so
  // that the seeds (whole scenarios and batches) stay what they are.
  if (size > 0) check_batch(text, static_cast<std::uint8_t>(data[size - 1] + size));
  return 0;
}
