#include "explore/commands.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "present/arguments.h"
#include "present/group_table.h"
#include "present/output.h"
#include "present/plot.h"

namespace explore {

using present::check_scenario;
using present::deck_text;
using present::make_table;
using present::plot_svg;
using present::read_input;
using present::read_scenario;
using present::table;
using present::table_csv;
using present::table_json;
using present::table_text;
using present::to_deck;
using present::to_json;
using present::write_fully;

void complain(std::string_view text) {
  std::string line = "fourfifths-explore: ";
  line += text;
  line += '\n';
  (void)write_fully(2, line);
}

namespace {

// How messages name a scenario.
std::string scenario_name(const std::string& path) { return path == "-" ? "standard input" : path; }

}  // namespace

std::optional<loaded_scenario> load(const std::string& path) {
  std::string error;
  // No scenario is longer than the reader takes: /dev/zero ends there.
  const std::optional<std::string> text = read_input(path, error, present::most_scenario_bytes);
  const std::string name = scenario_name(path);
  if (!text) {
    complain("cannot read " + name + ": " + error);
    return std::nullopt;
  }
  loaded_scenario s = read_scenario(*text, present::group_rule::accepted);
  for (const fourfifths::fault& w : s.warnings)
    complain(std::string(name).append(": warning: ").append(w.text()));
  if (!s.errors.empty()) {
    for (const fourfifths::fault& e : s.errors)
      complain(std::string(name).append(": ").append(e.text()));
    return std::nullopt;
  }
  return s;
}

int deliver(std::span<const present::output> outputs) {
  const std::optional<present::output_failure> failed = present::write_outputs(outputs);
  if (!failed) return exit_success;
  complain("cannot write " + (failed->path == "-" ? std::string("standard output") : failed->path) +
           ": " + failed->reason);
  return exit_failure;
}

int deliver(const std::string& path, std::string_view text) {
  const present::output one{path, text};
  return deliver(std::span<const present::output>(&one, 1));
}

int run_convert(const convert_options& o) {
  const std::optional<loaded_scenario> s = load(o.scenario);
  if (!s) return exit_failure;
  const std::string name = o.scenario == "-" ? "standard input" : o.scenario;
  if (o.to == scenario_form::json) {
    // A deck's problem is taken as the deck gives it; a JSON scenario must
    // pass every check, so the JSON written must too.
    const loaded_scenario checked = check_scenario(*s->value);
    if (!checked.errors.empty()) {
      complain(name + ": the deck's problem is not a valid JSON scenario:");
      for (const fourfifths::fault& e : checked.errors)
        complain(std::string(name).append(": ").append(e.text()));
      return exit_failure;
    }
    return deliver(o.output, to_json(*s->value));
  }
  const deck_text deck = to_deck(*s->value);
  // Every message names the scenario it concerns, as load's do.
  for (const fourfifths::fault& w : deck.warnings) complain(name + ": warning: " + w.text());
  if (!deck.errors.empty()) {
    for (const fourfifths::fault& e : deck.errors) complain(name + ": " + e.text());
    return exit_failure;
  }
  return deliver(o.output, deck.text);
}

namespace {

// The table of a scenario with several minority groups: every value by the
// precise method.
int run_group_table(const table_options& o, const loaded_scenario& s) {
  if (const auto fault = present::method_fault(o.method, true)) {
    complain(scenario_name(o.scenario) + ": " + fault->message);
    return exit_failure;
  }
  const present::group_table t = present::make_group_table(*s.group_problem, o.ratios);
  switch (o.format) {
    case table_format::csv:
      return deliver(o.output, present::group_table_csv(t));
    case table_format::json:
      return deliver(o.output, present::group_table_json(t));
    case table_format::text:
      return deliver(o.output, present::group_table_text(t));
  }
  return exit_failure;
}

}  // namespace

bool one_group(const loaded_scenario& s, const std::string& path, std::string_view command) {
  if (s.problem) return true;
  complain(scenario_name(path) + ": " + std::string(command) +
           " takes one minority group so far; several groups (\"groups\") have a table");
  return false;
}

int run_table(const table_options& o) {
  const std::optional<loaded_scenario> s = load(o.scenario);
  if (!s) return exit_failure;
  if (s->group_problem) return run_group_table(o, *s);
  const table t = make_table(*s->problem, o.method, o.ratios);
  switch (o.format) {
    case table_format::csv:
      return deliver(o.output, table_csv(t));
    case table_format::json:
      return deliver(o.output, table_json(t, nullptr, false));
    case table_format::text:
      return deliver(o.output, table_text(t));
  }
  return exit_failure;
}

int run_plot(const plot_options& o) {
  const std::optional<loaded_scenario> s = load(o.scenario);
  if (!s) return exit_failure;
  if (s->group_problem) {
    if (const auto fault = present::method_fault(o.method, true)) {
      complain(scenario_name(o.scenario) + ": " + fault->message);
      return exit_failure;
    }
    return deliver(o.output, plot_svg(*s->value, *s->group_problem));
  }
  return deliver(o.output, plot_svg(*s->value, *s->problem, o.method));
}

int run_batch_command(const batch_options& o) {
  // The progress line is for a person watching standard error; where the
  // rows go to the same terminal it would be mixed into them.
  const bool watched = ::isatty(2) == 1 && ::isatty(1) != 1;
  const batch_result r = run_batch(0, 1, o, watched ? 2 : -1);
  if (r.write_error != 0) {
    complain(std::string("cannot write standard output: ") + std::strerror(r.write_error));
    return exit_failure;
  }
  if (r.read_error != 0) {
    complain(std::string("cannot read standard input: ") + std::strerror(r.read_error));
    return exit_failure;
  }
  const auto lines = [](std::uint64_t n) {
    return std::to_string(n) + (n == 1 ? " line" : " lines");
  };
  if (r.counts.faults != 0) {
    complain(lines(r.counts.faults) +
             " met an internal fault (their rows say which); please report it");
  }
  if (r.counts.failed == 0) return exit_success;
  complain(std::to_string(r.counts.failed) + " of " + lines(r.counts.analysed + r.counts.failed) +
           " could not be analysed; their rows say why");
  return exit_partial;
}

unsigned available_cpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
    return static_cast<unsigned>(CPU_COUNT(&set));
  }
  return std::max(1U, std::thread::hardware_concurrency());
}

}  // namespace explore
