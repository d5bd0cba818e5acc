// fourfifths-explore: tidy tables, charts, batches of scenarios and
// Pareto-optimal weights, on the fourfifths engine.
#include <CLI/CLI.hpp>
#include <cstring>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "explore/commands.h"
#include "explore/fit_cmd.h"
#include "explore/observed_cmd.h"
#include "explore/pareto_cmd.h"
#include "fourfifths/version.h"
#include "present/names.h"
#include "present/options.h"
#include "present/output.h"

namespace {

using present::scenario_form;
using present::table_format;

// --name WORD, one of the names of a closed set, as every face spells them.
template <class E>
CLI::CheckedTransformer names(E&) {
  return CLI::CheckedTransformer(present::names_map<E>(), CLI::ignore_case);
}

void add_method(CLI::App* command, fourfifths::method& m) {
  command
      ->add_option("--method", m,
                   "precise (the default): every cut score to full double precision; classic: "
                   "exactly the classic report's numbers")
      ->transform(names(m))
      ->option_text(present::names_list<fourfifths::method>());
}

// A decimal number, as every face reads one: no hexadecimal, no "inf".
const CLI::Validator decimal_number(
    [](std::string& text) -> std::string {
      if (present::parse_number(text)) return {};
      return "'" + text + "' is not a decimal number";
    },
    "NUMBER");

// A whole number in decimal digits: "010" is ten, not eight as C would read
// it; the text handed on has no leading zeros.
const CLI::Validator whole_number(
    [](std::string& text) -> std::string {
      const std::optional<long long> v = present::parse_whole(text);
      if (!v) return "'" + text + "' is not a whole number";
      text = std::to_string(*v);
      return {};
    },
    "N");

// The scenario argument of a subcommand.
void add_scenario(CLI::App* command, std::string& scenario) {
  command->add_option("SCENARIO", scenario, "the scenario, or - for standard input")->required();
}

// --ratios LIST and --grid FROM:TO:STEP, one or the other.
struct ratio_options {
  std::string list;
  std::string grid;
  CLI::Option* list_option = nullptr;
  CLI::Option* grid_option = nullptr;
};

void add_ratio_options(CLI::App* command, ratio_options& r, const std::string& list_help,
                       const std::string& grid_help) {
  r.list_option = command->add_option("--ratios", r.list, list_help)->option_text("LIST");
  r.grid_option = command->add_option("--grid", r.grid, grid_help)->option_text("FROM:TO:STEP");
  r.list_option->excludes(r.grid_option);
}

// --format of table and pareto: csv, json or text.
void add_table_format(CLI::App* command, table_format& format) {
  command->add_option("--format", format, "csv (the default), json or text")
      ->transform(names(format))
      ->option_text(present::names_list<table_format>());
}

// The ratios of --ratios or --grid, when one was given; false, said on
// standard error, when its text is not a list or a grid.
bool read_ratios(const ratio_options& r, std::optional<std::vector<double>>& ratios) {
  std::string error;
  if (r.list_option->count() > 0) {
    ratios = present::parse_ratio_list(r.list, error);
    if (!ratios) explore::complain("--ratios: " + error);
  } else if (r.grid_option->count() > 0) {
    ratios = present::parse_ratio_grid(r.grid, error);
    if (!ratios) explore::complain("--grid: " + error);
  }
  return error.empty();
}

// Help and the version go to standard output like any data: a failed write
// is a failed run.
int deliver_message(const CLI::App& app, const CLI::Error& e) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = app.exit(e, out, err);
  if (const int error = present::write_fully(1, out.str()); error != 0) {
    explore::complain(std::string("cannot write standard output: ") + std::strerror(error));
    return explore::exit_failure;
  }
  (void)present::write_fully(2, err.str());
  return status;
}

constexpr std::string_view subcommands[] = {"convert", "table",    "pareto", "plot",
                                            "batch",   "observed", "fit"};

// A comma-separated list of names ("a,b,c"); an empty text, none.
std::vector<std::string> name_list(const std::string& text) {
  std::vector<std::string> out;
  if (text.empty()) return out;
  for (std::size_t from = 0;;) {
    const std::size_t comma = text.find(',', from);
    out.push_back(text.substr(from, comma - from));
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  return out;
}

// The first argument, when it is neither an option nor a subcommand.
std::optional<std::string> unknown_subcommand(int argc, char** argv) {
  if (argc < 2) return std::nullopt;
  const std::string_view first = argv[1];
  if (first.empty() || first.front() == '-') return std::nullopt;
  for (const std::string_view known : subcommands) {
    if (first == known) return std::nullopt;
  }
  return std::string(first);
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
  add_scenario(convert_cmd, convert.scenario);
  convert_cmd->add_option("--to", convert.to, "the form to write: json or deck")
      ->required()
      ->transform(names(convert.to))
      ->option_text(present::names_list<scenario_form>() + " REQUIRED");
  convert_cmd
      ->add_option("-o,--output", convert.output, "where to write (default: standard output)")
      ->option_text("FILE");

  explore::table_options table;
  ratio_options table_ratios;
  CLI::App* table_cmd = app.add_subcommand(
      "table",
      "Outcomes at the 21 built-in selection ratios, the four-fifths minimum and the requested "
      "ratios, or at the ratios given");
  add_scenario(table_cmd, table.scenario);
  add_method(table_cmd, table.method);
  add_ratio_options(table_cmd, table_ratios, "the ratios, as a list: 0.1,0.2,0.3",
                    "the ratios, as a grid FROM:TO:STEP, for instance 0.05:0.95:0.05");
  add_table_format(table_cmd, table.format);
  table_cmd->add_option("-o,--output", table.output, "where to write (default: standard output)")
      ->option_text("FILE");
  fourfifths::pool_options pool;
  CLI::Option* applicants_opt =
      table_cmd
          ->add_option("--applicants", pool.applicants,
                       "pools of M applicants drawn from the scenario: add each row's chances "
                       "that a pool fails the four-fifths rule and that the Fisher and z tests "
                       "find a difference (exact for one minority group up to 2000 applicants "
                       "within 10 standard deviations of the majority, simulated otherwise)")
          ->transform(whole_number)
          ->check(CLI::Range(std::int64_t{1}, fourfifths::max_pool_applicants))
          ->option_text("M");
  table_cmd
      ->add_option("--replications", pool.replications,
                   "the pools simulated where the chances are not exact (default 10000)")
      ->transform(whole_number)
      ->check(CLI::Range(std::int64_t{2}, fourfifths::max_pool_scores))
      ->needs(applicants_opt)
      ->option_text("K");
  table_cmd
      ->add_option("--seed", pool.seed, "the seed of the simulated pools (default 1)")
      ->transform(whole_number)
      ->check(CLI::Range(std::uint64_t{0}, std::uint64_t{9223372036854775807U}))
      ->needs(applicants_opt)
      ->option_text("S");
  table_cmd
      ->add_option("--alpha", pool.alpha, "the level of the pools' tests (default 0.05)")
      ->check(decimal_number)
      ->check(CLI::Validator(
          [](std::string& text) {
            const double a = present::parse_number(text).value_or(0);
            return a > 0 && a < 1 ? std::string() : "must lie strictly between 0 and 1";
          },
          "", "alpha"))
      ->needs(applicants_opt)
      ->option_text("A");

  explore::pareto_command_options pareto;
  bool majority_ratio = false;
  double min_ai = 0;
  CLI::App* pareto_cmd = app.add_subcommand(
      "pareto",
      "The Pareto-optimal predictor weightings at one selection ratio: the best quality for "
      "every level of adverse impact (exit status 3: --min-ai is out of reach)");
  add_scenario(pareto_cmd, pareto.scenario);
  pareto_cmd
      ->add_option("--ratio", pareto.front.ratio,
                   "the selection ratio R: the overall one, or with --majority the majority "
                   "group's")
      ->required()
      ->check(decimal_number)
      ->check(CLI::Range(0.0, 1.0));
  pareto_cmd->add_flag("--majority", majority_ratio, "R is the majority group's selection ratio");
  pareto_cmd->add_option("--points", pareto.front.points, "points of the front (default 21)")
      ->transform(whole_number)
      ->check(CLI::Range(present::fewest_points, present::most_points));
  pareto_cmd
      ->add_option("--objective", pareto.front.objective,
                   "validity (the default): the composite's correlation with the criterion "
                   "composite; mean: the mean criterion score of those selected")
      ->transform(names(pareto.front.objective))
      ->option_text(present::names_list<fourfifths::pareto_objective>());
  pareto_cmd
      ->add_option("--weights", pareto.front.signs,
                   "nonnegative (the default) or any: the signs the weights may take")
      ->transform(names(pareto.front.signs))
      ->option_text(present::names_list<fourfifths::weight_signs>());
  CLI::Option* min_ai_opt = pareto_cmd->add_option(
      "--min-ai", min_ai,
      "only the best weighting whose impact ratio at R is at least A (for instance 0.8)");
  min_ai_opt->check(decimal_number)->option_text("A");
  present::calibration_request calibration;
  calibration.threads = explore::available_cpus();
  CLI::Option* calibration_opt =
      pareto_cmd
          ->add_option("--calibration-n", calibration.calibration_n,
                       "also what each point gives in new applicants when its weights come "
                       "from a calibration sample of N applicants: the mean and 5 % and 95 % "
                       "quantiles over --replications samples (needs every group's share)")
          ->transform(whole_number)
          ->check(CLI::Range(std::int64_t{1}, fourfifths::most_calibration_n))
          ->option_text("N");
  pareto_cmd
      ->add_option("--replications", calibration.replications,
                   "calibration samples to draw (default 1000)")
      ->transform(whole_number)
      ->check(CLI::Range(1, fourfifths::most_replications))
      ->needs(calibration_opt)
      ->option_text("K");
  pareto_cmd
      ->add_option("--seed", calibration.seed,
                   "the seed of the calibration samples (default 1); the same seed gives the "
                   "same numbers for every number of threads")
      ->transform(whole_number)
      ->needs(calibration_opt)
      ->option_text("S");
  pareto_cmd
      ->add_option("--threads", calibration.threads,
                   "worker threads for the calibration samples (default: one per CPU this "
                   "process may use)")
      ->transform(whole_number)
      ->check(CLI::Range(1U, 1024U))
      ->needs(calibration_opt)
      ->option_text("N");
  add_table_format(pareto_cmd, pareto.format);
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
  add_scenario(plot_cmd, plot.scenario);
  plot_cmd
      ->add_option("-o,--output", plot.output, "the SVG file to write, or - for standard output")
      ->required();
  add_method(plot_cmd, plot.method);

  explore::batch_options batch;
  batch.threads = explore::available_cpus();
  ratio_options batch_ratios;
  bool batch_no_header = false;
  CLI::App* batch_cmd = app.add_subcommand(
      "batch",
      "JSON Lines on standard input, one scenario with an \"id\" per line; one table on "
      "standard output, the id first, one row per scenario and ratio, in input order");
  batch_cmd->footer(
      "Blank lines are skipped. A line that cannot be analysed (not JSON, no id, a fault of "
      "the scenario, longer than 1 MiB) gives one row: its id (or \"line N\"), empty numbers "
      "and \"error: <text>\" as its status, and the run goes on. Progress (scenarios done, "
      "rate, time left) is shown on standard error when it is a terminal.\n"
      "Exit status: 0 every line was analysed; 3 some lines gave error rows; 2 the run itself "
      "failed (bad options, standard input unreadable, standard output unwritable). A closed "
      "standard output ends the run as it ends any filter (SIGPIPE).");
  batch_cmd
      ->add_option("--threads", batch.threads,
                   "worker threads (default: one per CPU this process may use)")
      ->transform(whole_number)
      ->check(CLI::Range(1U, 1024U))
      ->option_text("N");
  add_method(batch_cmd, batch.method);
  batch_cmd
      ->add_option("--format", batch.format,
                   "csv (the default): one row per scenario and ratio; jsonl: one JSON line per "
                   "scenario")
      ->transform(names(batch.format))
      ->option_text(present::names_list<present::batch_format>());
  add_ratio_options(batch_cmd, batch_ratios,
                    "every scenario at these ratios instead, as a list: 0.1,0.2,0.3",
                    "every scenario at these ratios instead, as a grid FROM:TO:STEP");
  batch_cmd->add_flag("--no-header", batch_no_header,
                      "leave out the CSV header line (for pieces of a run to be put together)");
  batch_cmd->add_flag("--groups", batch.groups,
                      "every scenario with a group column, one row per ratio and group (a "
                      "scenario of one minority group as the group \"minority\"); needed for "
                      "scenarios with \"groups\" in CSV");

  explore::observed_command_options observed;
  std::string observed_reference;
  double observed_alpha = 0.05;
  std::string observed_steps;
  CLI::App* observed_cmd = app.add_subcommand(
      "observed",
      "Observed hiring data: every group's selection rate against the reference's, the "
      "four-fifths rule, the shortfall, whether one person decides it, the z and Fisher tests, "
      "the interval of the impact ratio and, across units, Mantel-Haenszel");
  observed_cmd
      ->add_option("DATA", observed.data,
                   "CSV of counts (group,applicants,selected[,unit|,step]), of applicants one per "
                   "row (group,selected[,unit|,step]; selected 0/1 or yes/no; step the last "
                   "reached), or JSON; - for standard input")
      ->required();
  CLI::Option* reference_opt =
      observed_cmd
          ->add_option("--reference", observed_reference,
                       "the reference group (default: the highest selection rate in each unit)")
          ->option_text("GROUP");
  CLI::Option* alpha_opt =
      observed_cmd
          ->add_option("--alpha", observed_alpha,
                       "the level of the tests (default 0.05); the intervals cover 1 - A")
          ->check(decimal_number)
          ->check(CLI::Validator(
              [](std::string& text) {
                const double a = present::parse_number(text).value_or(0);
                return a > 0 && a < 1 ? std::string() : "must lie strictly between 0 and 1";
              },
              "", "alpha"))
          ->option_text("A");
  CLI::Option* steps_opt =
      observed_cmd
          ->add_option("--steps", observed_steps,
                       "the order of the steps of the process, first to last (default: the "
                       "order the data first name them)")
          ->option_text("A,B,...");
  add_table_format(observed_cmd, observed.format);
  observed_cmd
      ->add_option("--plot", observed.plot, "also draw the chart of rates and impact ratios as SVG into FILE.svg")
      ->option_text("FILE.svg");
  observed_cmd
      ->add_option("-o,--output", observed.output, "where to write (default: standard output)")
      ->option_text("FILE");

  explore::fit_command_options fit;
  std::string fit_reference;
  std::string fit_predictors;
  std::string fit_criteria;
  CLI::App* fit_cmd = app.add_subcommand(
      "fit",
      "Estimate a scenario from a validation sample: the pooled within-group correlations, "
      "each group's effect sizes against the reference group and its share, with the sample's "
      "sizes; rows missing a value are left out (listwise)");
  fit_cmd
      ->add_option("DATA", fit.data,
                   "CSV with a header, one row per person: a group column and the score "
                   "columns (blank cells missing); - for standard input")
      ->required();
  fit_cmd->add_option("--group", fit.request.group, "the column of the groups")
      ->option_text("COLUMN")
      ->required();
  CLI::Option* fit_reference_opt =
      fit_cmd
          ->add_option("--reference", fit_reference,
                       "the reference group (default: the group with the most complete rows)")
          ->option_text("NAME");
  fit_cmd->add_option("--predictors", fit_predictors, "the predictor columns, in order")
      ->option_text("A,B,...")
      ->required();
  fit_cmd
      ->add_option("--criteria", fit_criteria,
                   "the criterion columns, in order (the scenario then has regression weights "
                   "on the criteria, each weighted 1; without, each predictor is weighted 1)")
      ->option_text("X,Y,...");
  fit_cmd->add_option("-o,--output", fit.output, "where to write (default: standard output)")
      ->option_text("FILE");

  if (const std::optional<std::string> unknown = unknown_subcommand(argc, argv)) {
    std::string known;
    for (const std::string_view name : subcommands) (known += known.empty() ? "" : ", ") += name;
    explore::complain("unknown subcommand '" + *unknown + "' (the subcommands: " + known +
                      "; --help says more)");
    return explore::exit_failure;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return deliver_message(app, e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return explore::exit_failure;
  }

  if (convert_cmd->parsed()) return explore::run_convert(convert);
  if (pareto_cmd->parsed()) {
    pareto.front.mode =
        majority_ratio ? fourfifths::ratio_mode::majority : fourfifths::ratio_mode::overall;
    if (min_ai_opt->count() > 0) pareto.min_ai = min_ai;
    if (calibration_opt->count() > 0) pareto.calibration = calibration;
    return explore::run_pareto(pareto);
  }
  if (table_cmd->parsed()) {
    if (!read_ratios(table_ratios, table.ratios)) return explore::exit_failure;
    if (applicants_opt->count() > 0) table.pool = pool;
    return explore::run_table(table);
  }
  if (plot_cmd->parsed()) return explore::run_plot(plot);
  if (observed_cmd->parsed()) {
    if (reference_opt->count() > 0) observed.reference = observed_reference;
    if (alpha_opt->count() > 0) observed.alpha = observed_alpha;
    if (steps_opt->count() > 0) {
      std::vector<std::string>& order = observed.steps.emplace();
      for (std::size_t from = 0;;) {
        const std::size_t comma = observed_steps.find(',', from);
        order.push_back(observed_steps.substr(from, comma - from));
        if (comma == std::string::npos) break;
        from = comma + 1;
      }
    }
    return explore::run_observed(observed);
  }
  if (fit_cmd->parsed()) {
    if (fit_reference_opt->count() > 0) fit.request.reference = fit_reference;
    fit.request.predictors = name_list(fit_predictors);
    fit.request.criteria = name_list(fit_criteria);
    return explore::run_fit(fit);
  }
  if (batch_cmd->parsed()) {
    if (!read_ratios(batch_ratios, batch.ratios)) {
      return explore::exit_failure;
    }
    batch.header = !batch_no_header;
    if (batch.groups && batch.method != fourfifths::method::precise) {
      explore::complain(
          "batch: --groups: several minority groups are analysed by the precise "
          "method only");
      return explore::exit_failure;
    }
    return explore::run_batch_command(batch);
  }
  return explore::exit_failure;
} catch (const std::exception& e) {
  // Nothing the subcommands do throws on purpose; say what happened rather
  // than abort.
  explore::complain(std::string("internal error: ") + e.what());
  return explore::exit_failure;
}
