#include "explore/observed_cmd.h"

#include "explore/commands.h"
#include "present/observed_chart.h"
#include "present/observed_input.h"
#include "present/observed_output.h"
#include "present/output.h"

namespace explore {

int run_observed(const observed_command_options& o) {
  const std::string name = o.data == "-" ? "standard input" : o.data;
  std::string error;
  const std::optional<std::string> text = present::read_input(o.data, error);
  if (!text) {
    complain("cannot read " + name + ": " + error);
    return exit_failure;
  }
  const present::loaded_observed data = present::read_observed(*text);
  auto complain_all = [&](const std::vector<fourfifths::fault>& faults) {
    for (const fourfifths::fault& f : faults)
      complain(std::string(name).append(": ").append(f.text()));
  };
  if (!data.value) {
    complain_all(data.errors);
    return exit_failure;
  }
  for (const std::string& w : data.warnings)
    complain(std::string(name).append(": warning: ").append(w));
  fourfifths::observed_options options = data.value->options;
  if (o.reference) options.reference = o.reference;
  if (o.alpha) options.alpha = *o.alpha;
  if (o.steps) options.steps = *o.steps;
  const fourfifths::observed_result result = present::analyse(*data.value, options);
  if (!result.value) {
    complain_all(result.errors);
    return exit_failure;
  }
  // The chart first: a table written before a failed chart would be half
  // the result.
  if (!o.plot.empty()) {
    const int status =
        deliver(o.plot, present::render_svg(present::observed_figure(*result.value)));
    if (status != exit_success) return status;
  }
  return deliver(o.output, present::observed_output(*result.value, o.format));
}

}  // namespace explore
