// libFuzzer target: arbitrary bytes as a deck, through the reader, the
// check, the computations and the writer, in-process. Every end of the run
// comes back as a status; a crash or a sanitizer report is a finding.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fourfifths/classic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view deck(reinterpret_cast<const char*>(data), size);
  const fourfifths::classic_run r = fourfifths::run_classic(deck);
  if (r.status != fourfifths::run_status::normal && r.status != fourfifths::run_status::failure)
    __builtin_trap();
  return 0;
}
