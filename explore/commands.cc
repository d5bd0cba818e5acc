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
#include "present/output.h"
#include "present/study.h"

namespace explore {

using present::check_scenario;
using present::deck_text;
using present::read_input;
using present::read_scenario;
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

// The scenario read into a study, or nothing (its faults said) when it
// cannot be read or its method cannot analyse it.
std::optional<present::study> study_of(const std::string& path, fourfifths::method m) {
  std::optional<loaded_scenario> s = load(path);
  if (!s) return std::nullopt;
  present::study st(std::move(*s));
  if (const auto fault = st.method_fault(m)) {
    complain(scenario_name(path) + ": " + fault->message);
    return std::nullopt;
  }
  return st;
}

}  // namespace

int run_table(const table_options& o) {
  const std::optional<present::study> s = study_of(o.scenario, o.method);
  if (!s) return exit_failure;
  if (o.pool) {
    if (const std::optional<fourfifths::fault> f = s->pool_fault(*o.pool)) {
      // The engine names its fields; the command line, its options.
      if (f->path == "scenario") {
        complain(scenario_name(o.scenario) + ": --applicants: " + f->message);
      } else {
        complain("--" + f->path + ": " + f->message);
      }
      return exit_failure;
    }
  }
  return deliver(o.output, s->table(o.method, o.ratios, {o.pool}).output(o.format));
}

int run_plot(const plot_options& o) {
  const std::optional<present::study> s = study_of(o.scenario, o.method);
  if (!s) return exit_failure;
  return deliver(o.output, present::render_svg(s->chart(o.method)));
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
