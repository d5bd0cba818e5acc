#include "explore/pareto_cmd.h"

#include <vector>

#include "explore/commands.h"
#include "present/study.h"

namespace explore {

namespace {

// Says why a search found nothing.
void complain_all(const std::vector<fourfifths::fault>& faults) {
  for (const fourfifths::fault& f : faults) complain(f.message);
}

}  // namespace

int run_pareto(const pareto_command_options& o) {
  std::optional<present::loaded_scenario> loaded = load(o.scenario);
  if (!loaded) return exit_failure;
  const present::study s(std::move(*loaded));

  // The front is the answer, or with --min-ai only the chart's.
  std::optional<present::study_front> front;
  if (!o.min_ai || !o.plot.empty()) {
    // With --min-ai the front is only drawn: the calibration is the answer's.
    front = s.front(o.front, o.min_ai ? std::nullopt : o.calibration);
    if (!front->found()) {
      complain_all(front->errors());
      return exit_failure;
    }
  }
  std::optional<present::study_best> answer;
  if (o.min_ai) {
    answer = s.best(o.front, *o.min_ai, o.calibration);
    if (!answer->found()) {
      complain_all(answer->errors());
      return exit_failure;
    }
  }

  int status = exit_success;
  if (answer && !answer->reached()) {
    complain(answer->unreachable_message());
    status = exit_partial;
  }
  // The table and the chart are one result: both are written, or neither.
  const std::string out = answer ? answer->output(o.format) : front->output(o.format);
  std::vector<present::output> outputs{{o.output, out}};
  std::string chart;
  if (!o.plot.empty()) {
    chart = present::render_svg(front->chart(answer ? &*answer : nullptr));
    outputs.push_back({o.plot, chart});
  }
  const int written = deliver(outputs);
  return written != exit_success ? written : status;
}

}  // namespace explore
