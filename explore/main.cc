// fourfifths-explore: tidy tables, charts, batches of scenarios and
// Pareto-optimal weights, on the fourfifths engine.
#include <CLI/CLI.hpp>
#include <map>
#include <string>

#include "explore/commands.h"
#include "explore/pareto_cmd.h"
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
      ->transform(CLI::CheckedTransformer(methods, CLI::ignore_case))
      ->option_text("precise|classic");
}

}  // namespace

int main(int argc, char** argv) try {
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
          CLI::ignore_case))
      ->option_text("json|deck REQUIRED");
  convert_cmd
      ->add_option("-o,--output", convert.output, "where to write (default: standard output)")
      ->option_text("FILE");

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
      table_cmd->add_option("--ratios", ratios_text, "the ratios, as a list: 0.1,0.2,0.3")
          ->option_text("LIST");
  CLI::Option* grid_opt =
      table_cmd
          ->add_option("--grid", grid_text,
                       "the ratios, as a grid FROM:TO:STEP, for instance 0.05:0.95:0.05")
          ->option_text("FROM:TO:STEP");
  ratios_opt->excludes(grid_opt);
  table_cmd->add_option("--format", table.format, "csv (the default), json or text")
      ->transform(
          CLI::CheckedTransformer(std::map<std::string, table_format>{{"csv", table_format::csv},
                                                                      {"json", table_format::json},
                                                                      {"text", table_format::text}},
                                  CLI::ignore_case))
      ->option_text("csv|json|text");
  table_cmd->add_option("-o,--output", table.output, "where to write (default: standard output)")
      ->option_text("FILE");

  explore::pareto_command_options pareto;
  bool majority_ratio = false;
  double min_ai = 0;
  CLI::App* pareto_cmd = app.add_subcommand(
      "pareto",
      "The Pareto-optimal predictor weightings at one selection ratio: the best quality for "
      "every level of adverse impact (exit status 3: --min-ai is out of reach)");
  pareto_cmd->add_option("SCENARIO", pareto.scenario, "the scenario, or - for standard input")
      ->required();
  pareto_cmd
      ->add_option("--ratio", pareto.front.ratio,
                   "the selection ratio R: the overall one, or with --majority the majority "
                   "group's")
      ->required()
      ->check(CLI::Range(0.0, 1.0));
  pareto_cmd->add_flag("--majority", majority_ratio, "R is the majority group's selection ratio");
  pareto_cmd->add_option("--points", pareto.front.points, "points of the front (default 21)")
      ->check(CLI::Range(2, 10000));
  pareto_cmd
      ->add_option("--objective", pareto.front.objective,
                   "validity (the default): the composite's correlation with the criterion "
                   "composite; mean: the mean criterion score of those selected")
      ->transform(CLI::CheckedTransformer(
          std::map<std::string, fourfifths::pareto_objective>{
              {"validity", fourfifths::pareto_objective::validity},
              {"mean", fourfifths::pareto_objective::mean}},
          CLI::ignore_case))
      ->option_text("validity|mean");
  pareto_cmd
      ->add_option("--weights", pareto.front.signs,
                   "nonnegative (the default) or any: the signs the weights may take")
      ->transform(CLI::CheckedTransformer(
          std::map<std::string, fourfifths::weight_signs>{
              {"nonnegative", fourfifths::weight_signs::nonnegative},
              {"any", fourfifths::weight_signs::any}},
          CLI::ignore_case))
      ->option_text("nonnegative|any");
  CLI::Option* min_ai_opt = pareto_cmd->add_option(
      "--min-ai", min_ai,
      "only the best weighting whose impact ratio at R is at least A (for instance 0.8)");
  min_ai_opt->option_text("A");
  pareto_cmd->add_option("--format", pareto.format, "csv (the default), json or text")
      ->transform(
          CLI::CheckedTransformer(std::map<std::string, table_format>{{"csv", table_format::csv},
                                                                      {"json", table_format::json},
                                                                      {"text", table_format::text}},
                                  CLI::ignore_case))
      ->option_text("csv|json|text");
  pareto_cmd->add_option("--plot", pareto.plot, "also draw the front as SVG into FILE.svg")
      ->option_text("FILE.svg");
  pareto_cmd->add_option("-o,--output", pareto.output, "where to write (default: standard output)")
      ->option_text("FILE");

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
  if (pareto_cmd->parsed()) {
    pareto.front.mode =
        majority_ratio ? fourfifths::ratio_mode::majority : fourfifths::ratio_mode::overall;
    if (min_ai_opt->count() > 0) pareto.min_ai = min_ai;
    return explore::run_pareto(pareto);
  }
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
} catch (const std::exception& e) {
  // Nothing the subcommands do throws on purpose; say what happened rather
  // than abort.
  explore::complain(std::string("internal error: ") + e.what());
  return explore::exit_failure;
}
