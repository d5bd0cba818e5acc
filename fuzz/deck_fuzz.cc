// libFuzzer target: arbitrary bytes as a deck, through the reader, the
// check, the computations and the writer, in-process. Every end of the run
// comes back as a status; a crash or a sanitizer report is a finding.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "analysis/classic_run.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view deck(reinterpret_cast<const char*>(data), size);
  const analysis::run_result r = analysis::run_classic(deck);
  if (r.status != 0 && r.status != 2) __builtin_trap();
  return 0;
}
