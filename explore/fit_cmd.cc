#include "explore/fit_cmd.h"

#include <optional>
#include <string>

#include "explore/commands.h"
#include "present/output.h"
#include "present/scenario.h"

namespace explore {

int run_fit(const fit_command_options& o) {
  const std::string name = o.data == "-" ? "standard input" : o.data;
  present::loaded_scenario fitted;
  {
    // The text goes once read: the sample's columns take less room.
    std::string error;
    const std::optional<std::string> text = present::read_input(o.data, error);
    if (!text) {
      complain("cannot read " + name + ": " + error);
      return exit_failure;
    }
    fitted = present::fit_csv(*text, o.request);
  }
  for (const fourfifths::fault& w : fitted.warnings)
    complain(std::string(name).append(": warning: ").append(w.text()));
  if (!fitted.value) {
    for (const fourfifths::fault& e : fitted.errors)
      complain(std::string(name).append(": ").append(e.text()));
    return exit_failure;
  }
  return deliver(o.output, present::to_json(*fitted.value));
}

}  // namespace explore
