#include "explore/pareto_cmd.h"

#include <vector>

#include "explore/commands.h"
#include "present/pareto_output.h"

namespace explore {

namespace {

// Says why a search found nothing.
template <class T>
void complain_all(const fourfifths::search_result<T>& r) {
  for (const fourfifths::fault& f : r.errors) complain(f.message);
}

// The front of a scenario with several minority groups: quality against
// the lowest ratio to the highest rate over every group.
int run_group_pareto(const pareto_command_options& o, const present::loaded_scenario& s) {
  fourfifths::group_pareto_result front;
  if (!o.min_ai || !o.plot.empty()) {
    front = fourfifths::find_group_pareto_front(*s.group_problem, o.front);
    if (!front.value) {
      complain_all(front);
      return exit_failure;
    }
  }
  std::optional<fourfifths::group_min_ai_result> answer;
  if (o.min_ai) {
    answer = fourfifths::best_group_weighting_for_min_ai(*s.group_problem, o.front, *o.min_ai);
    if (!answer->value) {
      complain_all(*answer);
      return exit_failure;
    }
  }
  std::string out;
  int status = exit_success;
  if (answer) {
    if (answer->status == fourfifths::pareto_status::unreachable) {
      complain(present::group_unreachable_message(o.front, *o.min_ai, *answer));
      status = exit_partial;
    }
    out = present::group_min_ai_output(*s.value, o.front, *o.min_ai, *answer, o.format);
  } else {
    out = present::group_front_output(*s.value, *front.value, o.format);
  }
  std::vector<present::output> outputs{{o.output, out}};
  std::string chart;
  if (!o.plot.empty()) {
    chart = present::render_svg(
        present::group_front_figure(*s.value, *front.value, answer ? &*answer->value : nullptr));
    outputs.push_back({o.plot, chart});
  }
  const int written = deliver(outputs);
  return written != exit_success ? written : status;
}

}  // namespace

int run_pareto(const pareto_command_options& o) {
  const std::optional<present::loaded_scenario> s = load(o.scenario);
  if (!s) return exit_failure;
  if (s->group_problem) return run_group_pareto(o, *s);

  // The front is the answer, or with --min-ai only the chart's.
  fourfifths::pareto_result front;
  if (!o.min_ai || !o.plot.empty()) {
    front = fourfifths::find_pareto_front(*s->problem, o.front);
    if (!front.value) {
      complain_all(front);
      return exit_failure;
    }
  }
  std::optional<fourfifths::min_ai_result> answer;
  if (o.min_ai) {
    answer = fourfifths::best_weighting_for_min_ai(*s->problem, o.front, *o.min_ai);
    if (!answer->value) {
      complain_all(*answer);
      return exit_failure;
    }
  }

  std::string out;
  int status = exit_success;
  if (answer) {
    if (answer->status == fourfifths::pareto_status::unreachable) {
      complain(present::unreachable_message(o.front, *o.min_ai, *answer));
      status = exit_partial;
    }
    out = present::min_ai_output(*s->value, o.front, *o.min_ai, *answer, o.format);
  } else {
    out = present::front_output(*s->value, *front.value, o.format);
  }
  // The table and the chart are one result: both are written, or neither.
  std::vector<present::output> outputs{{o.output, out}};
  std::string chart;
  if (!o.plot.empty()) {
    chart = present::render_svg(
        present::front_figure(*s->value, *front.value, answer ? &*answer->value : nullptr));
    outputs.push_back({o.plot, chart});
  }
  const int written = deliver(outputs);
  return written != exit_success ? written : status;
}

}  // namespace explore
