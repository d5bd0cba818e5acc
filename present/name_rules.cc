#include "present/name_rules.h"

#include <cstdio>
#include <unordered_map>
#include <unordered_set>

#include "present/json_reader.h"

namespace present {

std::optional<std::string> name_fault(std::string_view name) {
  for (std::size_t i = 0; i < name.size();) {
    const auto byte = static_cast<unsigned char>(name[i]);
    const std::string at = " (byte " + std::to_string(i + 1) + ")";
    if (byte == '\n' || byte == '\r') return "a name must not hold a line break" + at;
    if (byte < 0x20 || byte == 0x7F) {
      char code[8];
      std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(byte));
      return std::string("a name must not hold a control character (") + code + ")" + at;
    }
    if (byte < 0x80) {
      ++i;
      continue;
    }
    const std::size_t length = utf8_length(name.substr(i));
    if (length == 0) return "is not UTF-8 text" + at;
    // U+0080 to U+009F, the C1 controls, are 0xC2 0x80 to 0xC2 0x9F.
    if (byte == 0xC2 && static_cast<unsigned char>(name[i + 1]) < 0xA0) {
      return "a name must not hold a control character" + at;
    }
    i += length;
  }
  return std::nullopt;
}

namespace {

// The name as the warning compares it: ASCII letters lowered, spaces and
// tabs around it dropped. Other scripts' cases are left alone: folding
// them needs tables this check does not carry, and a false warning would
// be worse than a missed one.
std::string folded(std::string_view name) {
  const std::size_t first = name.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  name = name.substr(first, name.find_last_not_of(" \t") - first + 1);
  std::string out(name);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

}  // namespace

std::vector<std::string> look_alike_names(std::span<const std::string_view> names,
                                          std::string_view what) {
  std::vector<std::string> warnings;
  std::unordered_map<std::string, std::string_view> first;  // folded -> first spelling
  std::unordered_set<std::string> told;
  for (const std::string_view name : names) {
    if (name.empty()) continue;
    const auto [it, added] = first.try_emplace(folded(name), name);
    if (added || it->second == name) continue;
    std::string pair = std::string(it->second) + '\0' + std::string(name);
    if (!told.insert(std::move(pair)).second) continue;
    warnings.push_back(std::string(what) + " " + quoted(it->second) + " and " + quoted(name) +
                       " differ only in case or surrounding spaces: they are analysed apart");
  }
  return warnings;
}

}  // namespace present
