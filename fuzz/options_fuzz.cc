// libFuzzer target: arbitrary text through the option readers that every
// face shares (the command line's numbers, whole numbers, lists and grids
// of ratios; a request's Pareto options). A crash, a sanitizer report, an
// exception that escapes or a broken invariant is a finding.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "present/numbers.h"
#include "present/options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // A number read is finite, and its shortest form reads back as itself.
  if (const std::optional<double> v = present::parse_number(text)) {
    if (!std::isfinite(*v)) __builtin_trap();
    if (present::parse_number(present::shortest(*v)) != *v) __builtin_trap();
  }
  if (const std::optional<long long> v = present::parse_whole(text)) {
    if (*v < 0 || present::parse_whole(std::to_string(*v)) != *v) __builtin_trap();
  }

  // A list or grid is never empty, never longer than the limit, and every
  // ratio in it is finite; a refusal always says why.
  std::string error;
  for (const auto& ratios :
       {present::parse_ratio_list(text, error), present::parse_ratio_grid(text, error)}) {
    if (!ratios) {
      if (error.empty()) __builtin_trap();
      continue;
    }
    if (ratios->empty() || ratios->size() > present::most_ratios) __builtin_trap();
    for (const double r : *ratios) {
      if (!std::isfinite(r)) __builtin_trap();
    }
  }

  // A request's options: faults name their key, and nothing throws.
  const nlohmann::json request = nlohmann::json::parse(text, nullptr, false);
  if (request.is_object()) {
    fourfifths::pareto_options o;
    for (const fourfifths::fault& f :
         present::read_pareto_options(request, fourfifths::ratio_mode::overall, o)) {
      if (f.path.empty() || f.message.empty()) __builtin_trap();
    }
  }
  return 0;
}
