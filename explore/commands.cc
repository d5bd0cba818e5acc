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

#include "explore/io.h"
#include "explore/plot.h"

namespace explore {

void complain(std::string_view text) {
  std::string line = "fourfifths-explore: ";
  line += text;
  line += '\n';
  (void)write_fully(2, line);
}

std::optional<loaded_scenario> load(const std::string& path) {
  std::string error;
  const std::optional<std::string> text = read_input(path, error);
  const std::string name = path == "-" ? "standard input" : path;
  if (!text) {
    complain("cannot read " + name + ": " + error);
    return std::nullopt;
  }
  loaded_scenario s = read_scenario(*text);
  for (const std::string& w : s.warnings)
    complain(std::string(name).append(": warning: ").append(w));
  if (!s.errors.empty()) {
    for (const std::string& e : s.errors) complain(std::string(name).append(": ").append(e));
    return std::nullopt;
  }
  return s;
}

int deliver(const std::string& path, std::string_view text) {
  std::string error;
  if (write_output(path, text, error)) return exit_success;
  complain("cannot write " + (path == "-" ? std::string("standard output") : path) + ": " + error);
  return exit_failure;
}

int run_convert(const convert_options& o) {
  const std::optional<loaded_scenario> s = load(o.scenario);
  if (!s) return exit_failure;
  if (o.to == scenario_form::json) {
    // A deck's problem is taken as the deck gives it; a JSON scenario must
    // pass every check, so the JSON written must too.
    const loaded_scenario checked = check_scenario(*s->value);
    if (!checked.errors.empty()) {
      const std::string name = o.scenario == "-" ? "standard input" : o.scenario;
      complain(name + ": the deck's problem is not a valid JSON scenario:");
      for (const std::string& e : checked.errors)
        complain(std::string(name).append(": ").append(e));
      return exit_failure;
    }
    return deliver(o.output, to_json(*s->value));
  }
  const deck_text deck = to_deck(*s->value);
  for (const std::string& w : deck.warnings) complain("warning: " + w);
  if (!deck.errors.empty()) {
    for (const std::string& e : deck.errors) complain(e);
    return exit_failure;
  }
  return deliver(o.output, deck.text);
}

int run_table(const table_options& o) {
  const std::optional<loaded_scenario> s = load(o.scenario);
  if (!s) return exit_failure;
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

namespace {

std::optional<double> parse_number(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  double v = 0;
  const char* end = text.data() + text.size();
  const std::from_chars_result r = std::from_chars(text.data(), end, v);
  if (text.empty() || r.ec != std::errc() || r.ptr != end || !std::isfinite(v)) return std::nullopt;
  return v;
}

// The largest number of ratios a list or grid may give.
constexpr std::size_t most_ratios = 100000;

}  // namespace

std::optional<std::vector<double>> parse_ratio_list(std::string_view text, std::string& error) {
  std::vector<double> ratios;
  for (;;) {
    const std::size_t comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    const std::optional<double> v = parse_number(item);
    if (!v) {
      error = "'" + std::string(item) + "' is not a number";
      return std::nullopt;
    }
    ratios.push_back(*v);
    if (ratios.size() > most_ratios) {
      error = "more than " + std::to_string(most_ratios) + " ratios";
      return std::nullopt;
    }
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return ratios;
}

std::optional<std::vector<double>> parse_ratio_grid(std::string_view text, std::string& error) {
  const std::size_t first = text.find(':');
  const std::size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
  if (second == std::string_view::npos) {
    error = "'" + std::string(text) + "' is not FROM:TO:STEP";
    return std::nullopt;
  }
  const std::optional<double> from = parse_number(text.substr(0, first));
  const std::optional<double> to = parse_number(text.substr(first + 1, second - first - 1));
  const std::optional<double> step = parse_number(text.substr(second + 1));
  if (!from || !to || !step) {
    error = "'" + std::string(text) + "' is not FROM:TO:STEP with three numbers";
    return std::nullopt;
  }
  if (!(*step > 0) || *to < *from) {
    error = "the grid needs FROM <= TO and a positive STEP";
    return std::nullopt;
  }
  // from + k*step, each formed afresh, up to TO (with room for the rounding
  // of the last step).
  const double count = std::floor((*to - *from) / *step * (1 + 1e-12) + 1e-9) + 1;
  if (count > static_cast<double>(most_ratios)) {
    error = "the grid has more than " + std::to_string(most_ratios) + " ratios";
    return std::nullopt;
  }
  // Each point to 15 significant digits, so that 0.05 + 18 * 0.05 is 0.95
  // and not the double above it.
  std::vector<double> ratios;
  for (std::size_t k = 0; k < static_cast<std::size_t>(count); ++k) {
    char text15[32];
    std::snprintf(text15, sizeof text15, "%.15g", *from + static_cast<double>(k) * *step);
    ratios.push_back(std::strtod(text15, nullptr));
  }
  return ratios;
}

}  // namespace explore
