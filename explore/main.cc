// fourfifths-explore: tidy tables, charts, batches of scenarios and
// Pareto-optimal weights, on the fourfifths engine.
#include <CLI/CLI.hpp>
#include <map>
#include <string>

#include "explore/commands.h"
#include "fourfifths/version.h"

namespace {

using explore::scenario_form;
using explore::table_format;

const std::map<std::string, fourfifths::method> methods = {
    {"precise", fourfifths::method::precise}, {"classic", fourfifths::method::classic}};

void add_method(CLI::App* command, fourfifths::method& m) {
  command
      ->add_option("--method", m,
                   "precise (the default): every cut score to full double precision; classic: "
                   "exactly the classic report's numbers")
      ->transform(CLI::CheckedTransformer(methods, CLI::ignore_case));
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "fourfifths-explore: adverse impact and the quality of those selected, as tables, "
      "charts, batches and Pareto-optimal weights.\n"
      "A SCENARIO is a JSON document or a classic deck (a file, or - for standard input).\n"
      "Exit status: 0 success; 2 bad input or a failed run; 3 as a subcommand documents.",
      "fourfifths-explore"};
  app.set_version_flag("--version",
                       std::string("fourfifths-explore ") + fourfifths::version_string);
  app.require_subcommand(1);

  explore::convert_options convert;
  CLI::App* convert_cmd =
      app.add_subcommand("convert", "Turn a scenario from one form into the other");
  convert_cmd->add_option("SCENARIO", convert.scenario, "the scenario, or - for standard input")
      ->required();
  convert_cmd->add_option("--to", convert.to, "the form to write: json or deck")
      ->required()
      ->transform(CLI::CheckedTransformer(
          std::map<std::string, scenario_form>{{"json", scenario_form::json},
                                               {"deck", scenario_form::deck}},
          CLI::ignore_case));
  convert_cmd->add_option("-o,--output", convert.output,
                          "where to write (default: standard output)");

  explore::table_options table;
  std::string ratios_text;
  std::string grid_text;
  CLI::App* table_cmd = app.add_subcommand(
      "table",
      "Outcomes at the 21 built-in selection ratios, the four-fifths minimum and the requested "
      "ratios, or at the ratios given");
  table_cmd->add_option("SCENARIO", table.scenario, "the scenario, or - for standard input")
      ->required();
  add_method(table_cmd, table.method);
  CLI::Option* ratios_opt =
      table_cmd->add_option("--ratios", ratios_text, "the ratios, as a list: 0.1,0.2,0.3");
  CLI::Option* grid_opt = table_cmd->add_option(
      "--grid", grid_text, "the ratios, as a grid FROM:TO:STEP, for instance 0.05:0.95:0.05");
  ratios_opt->excludes(grid_opt);
  table_cmd->add_option("--format", table.format, "csv (the default), json or text")
      ->transform(
          CLI::CheckedTransformer(std::map<std::string, table_format>{{"csv", table_format::csv},
                                                                      {"json", table_format::json},
                                                                      {"text", table_format::text}},
                                  CLI::ignore_case));
  table_cmd->add_option("-o,--output", table.output, "where to write (default: standard output)");

  explore::plot_options plot;
  CLI::App* plot_cmd = app.add_subcommand(
      "plot",
      "A chart of the impact ratio (with the four-fifths line and minimum), the selection rates "
      "of both groups and the mean quality of those selected, against the selection ratio, as "
      "SVG");
  plot_cmd->add_option("SCENARIO", plot.scenario, "the scenario, or - for standard input")
      ->required();
  plot_cmd
      ->add_option("-o,--output", plot.output, "the SVG file to write, or - for standard output")
      ->required();
  add_method(plot_cmd, plot.method);

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return explore::exit_failure;
  }

  if (convert_cmd->parsed()) return explore::run_convert(convert);
  if (table_cmd->parsed()) {
    std::string error;
    if (!ratios_text.empty()) {
      table.ratios = explore::parse_ratio_list(ratios_text, error);
      if (!table.ratios) {
        explore::complain("--ratios: " + error);
        return explore::exit_failure;
      }
    } else if (!grid_text.empty()) {
      table.ratios = explore::parse_ratio_grid(grid_text, error);
      if (!table.ratios) {
        explore::complain("--grid: " + error);
        return explore::exit_failure;
      }
    }
    return explore::run_table(table);
  }
  if (plot_cmd->parsed()) return explore::run_plot(plot);
  return explore::exit_failure;
}
