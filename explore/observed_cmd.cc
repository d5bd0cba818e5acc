#include "explore/observed_cmd.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "explore/commands.h"
#include "present/observed_chart.h"
#include "present/observed_input.h"
#include "present/observed_output.h"
#include "present/output.h"

namespace explore {

int run_observed(const observed_command_options& o) {
  const std::string name = o.data == "-" ? "standard input" : o.data;
  present::loaded_observed data;
  {
    // The text goes once read: a large file's counts take less room.
    std::string error;
    const std::optional<std::string> text = present::read_input(o.data, error);
    if (!text) {
      complain("cannot read " + name + ": " + error);
      return exit_failure;
    }
    data = present::read_observed(*text);
  }
  auto complain_all = [&](const std::vector<fourfifths::fault>& faults) {
    for (const fourfifths::fault& f : faults)
      complain(std::string(name).append(": ").append(f.text()));
  };
  auto report = [](const present::output_failure& f) {
    complain("cannot write " + (f.path == "-" ? std::string("standard output") : f.path) + ": " +
             f.reason);
    return exit_failure;
  };
  if (!data.value) {
    complain_all(data.errors);
    return exit_failure;
  }
  auto warn = [&](const std::string& w) { complain(std::string(name).append(": warning: ").append(w)); };
  for (const std::string& w : data.warnings) warn(w);
  fourfifths::observed_options options = data.value->options;
  if (o.reference) options.reference = o.reference;
  if (o.alpha) options.alpha = *o.alpha;
  if (o.steps) options.steps = *o.steps;
  if (!o.plot.empty()) {
    // The chart needs the analysis whole; it goes first, as a table written
    // before a failed chart would be half the result.
    const fourfifths::observed_result result = present::analyse(*data.value, options);
    if (!result.value) {
      complain_all(result.errors);
      return exit_failure;
    }
    const int status =
        deliver(o.plot, present::render_svg(present::observed_figure(*result.value)));
    if (status != exit_success) return status;
    for (const fourfifths::comparison& r : result.value->rows) {
      if (auto w = present::pooling_warning(r)) warn(*w);
    }
    return deliver(o.output, present::observed_output(*result.value, o.format));
  }
  // The table is written as the analysis makes it: every fault of the
  // counts is found before its first row, and a file is put in place only
  // once complete.
  present::output_stream out(o.output);
  if (out.failure()) return report(*out.failure());
  const std::unique_ptr<present::observed_writer> writer = present::make_observed_writer(
      o.format, [&](std::string_view text) { return out.write(text); }, &data.value->counts);
  present::warning_sink watched(*writer);
  const std::vector<fourfifths::fault> faults = present::analyse(*data.value, options, watched);
  if (!faults.empty()) {
    complain_all(faults);
    return exit_failure;
  }
  for (const std::string& w : watched.warnings()) warn(w);
  if (!writer->finish() || out.failure()) return report(*out.failure());
  if (const auto failed = out.commit()) return report(*failed);
  return exit_success;
}

}  // namespace explore
