#include "web/engine/requests.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fourfifths/analysis.h"
#include "fourfifths/classic.h"
#include "fourfifths/group_pareto.h"
#include "fourfifths/groups.h"
#include "fourfifths/observed.h"
#include "fourfifths/pareto.h"
#include "fourfifths/problem.h"
#include "fourfifths/version.h"
#include "present/chart.h"
#include "present/arguments.h"
#include "present/frame.h"
#include "present/names.h"
#include "present/observed_chart.h"
#include "present/observed_input.h"
#include "present/observed_output.h"
#include "present/options.h"
#include "present/pareto_output.h"
#include "present/scenario.h"
#include "present/study.h"

namespace fourfifths::web {

namespace {

using json = nlohmann::json;

// Responses may carry names and deck text that are not valid UTF-8; such
// bytes become U+FFFD rather than ending the call.
std::string dump(const json& response) {
  return response.dump(-1, ' ', false, json::error_handler_t::replace);
}

json faults(const std::vector<fault>& list) {
  json out = json::array();
  for (const fault& f : list) out.push_back({{"path", f.path}, {"message", f.message}});
  return out;
}

json request_error(const std::string& message) {
  return {{"errors", json::array({{{"path", ""}, {"message", message}}})},
          {"warnings", json::array()}};
}

// The request as an object, or nothing when it is not one.
std::optional<json> parse_request(std::string_view text) {
  json request = json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (request.is_discarded() || !request.is_object()) return std::nullopt;
  return request;
}

json weighting_json(const problem& p) {
  const predictor_weighting w = weighting_of(p);
  const composite_statistics c = composites_of(p);
  json composites = {{"predictor_effect", c.predictor_effect}};
  if (c.has_criteria) {
    composites["validity"] = c.validity;
    composites["criterion_effect"] = c.criterion_effect;
  }
  return {{"weights", w.weights},
          {"regression", w.regression},
          {"factorisation_info", w.factorisation_info},
          {"composites", std::move(composites)}};
}

}  // namespace

std::string version() { return dump({{"version", version_string}}); }

std::string classic_run(std::string_view deck) {
  const fourfifths::classic_run run = run_classic(deck);
  return dump({{"report", run.report},
               {"diagnostics", run.diagnostics},
               {"status", static_cast<int>(run.status)}});
}

std::string load(std::string_view text) {
  if (present::form_of(text) == present::scenario_form::json) {
    // Read as every face reads a scenario: a syntax error, a NUL byte, a
    // text beyond the limits, with the same words.
    const present::loaded_scenario read = present::read_json_scenario(text);
    if (read.status == present::scenario_status::syntax_error) {
      return dump({{"form", "json"}, {"scenario", nullptr}, {"errors", faults(read.errors)}});
    }
    json document = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (!document.is_discarded()) {
      // A key the schema does not have, or one given twice, is refused here
      // as everywhere: the form would drop it, or keep one of its values.
      const std::vector<fault> unknown = present::unknown_keys(text);
      if (!unknown.empty()) {
        return dump({{"form", "json"}, {"scenario", nullptr}, {"errors", faults(unknown)}});
      }
      return dump({{"form", "json"}, {"scenario", std::move(document)}, {"errors", json::array()}});
    }
    // The explorer's own words for the syntax error.
    return dump({{"form", "json"},
                 {"scenario", nullptr},
                 {"errors", faults(present::read_json_scenario(text).errors)}});
  }
  present::loaded_scenario deck = present::read_deck_scenario(text);
  if (!deck.value) {
    // Whether the deck's reader gave up on the text (its lines are about
    // its own state, which the page puts in plain words) or the program
    // refused a deck it read.
    const bool unreadable = deck.status == present::scenario_status::deck_unreadable;
    return dump({{"form", "deck"},
                 {"scenario", nullptr},
                 {"errors", faults(deck.errors)},
                 {"unreadable", unreadable}});
  }
  return dump({{"form", "deck"}, {"scenario", json(*deck.value)}, {"errors", json::array()}});
}

namespace {

// A request's scenario read and checked as the explorer checks a JSON
// scenario: the response so far holds its errors and warnings.
struct checked_scenario {
  present::loaded_scenario loaded;
  json response;
  bool usable() const { return loaded.problem.has_value() || loaded.group_problem.has_value(); }
};

checked_scenario check(const json& request) {
  checked_scenario c{present::read_json_document(request["scenario"], present::id_rule::optional,
                                                 present::group_rule::accepted),
                     {}};
  c.response = {{"errors", faults(c.loaded.errors)}, {"warnings", faults(c.loaded.warnings)}};
  return c;
}

// The study of a scenario the request gives under `key` (its "baseline"),
// when it gives a sound one.
std::optional<present::study> other_study(const json& request, const char* key) {
  const auto b = request.find(key);
  if (b == request.end() || !b->is_object()) return std::nullopt;
  present::loaded_scenario loaded =
      present::read_json_document(*b, present::id_rule::optional, present::group_rule::accepted);
  if (!loaded.problem && !loaded.group_problem) return std::nullopt;
  return present::study(std::move(loaded));
}

// Whether a panel of the figure lists words (the groups) down its side.
bool words_down(const present::figure& f) {
  return std::any_of(f.panels.begin(), f.panels.end(),
                     [](const present::panel& p) { return !p.y.categories.empty(); });
}

// The explorer's figures are 800 pixels wide, their panels side by side.
// On screen the page shows them at the width of their box, so that their
// text keeps its size (11 pixels and more): below 600 pixels one panel
// above the other, without the titles that the page's headings already
// give (the figure's; a lone panel's, which is the scenario's title); the
// download stays the explorer's.
present::figure for_screen(present::figure f, int width) {
  constexpr int narrowest = 300;
  constexpr int widest = 1200;
  constexpr int stacked_below = 600;
  constexpr int panel_height = 330;
  width = std::clamp(width, narrowest, widest);
  f.title.clear();
  if (width < stacked_below) {
    // Stacked; a panel with words down its side (the observed chart's
    // groups) keeps at least the height it had in its row, so that they are
    // not squeezed together.
    const int columns = std::max(f.columns, 1);
    const int rows = (static_cast<int>(f.panels.size()) + columns - 1) / columns;
    const int own = words_down(f) && rows > 0 ? f.height / rows : 0;
    f.height = std::max(panel_height, own) * static_cast<int>(f.panels.size());
    f.columns = 1;
    if (f.panels.size() == 1) f.panels.front().title.clear();
  } else if (const int fit = width / 300;
             words_down(f) && f.columns > fit && !f.panels.empty()) {
    // Names down the side need room beside them: fewer columns, each
    // panel as tall as before.
    const auto rows = [&](int columns) {
      return (static_cast<int>(f.panels.size()) + columns - 1) / columns;
    };
    f.height = f.height / rows(f.columns) * rows(fit);
    f.columns = fit;
  }
  f.width = width;
  return f;
}

// The width the page asks its charts laid out at: the request's "width",
// else the narrow screen's 440 pixels when "narrow" is true, else none.
std::optional<int> screen_width(const json& request) {
  constexpr int narrow_width = 440;
  if (const auto w = request.find("width"); w != request.end() && w->is_number()) {
    const double v = w->get<double>();
    if (std::isfinite(v)) return static_cast<int>(std::clamp(v, 0.0, 10000.0));
  }
  if (request.value("narrow", false)) return narrow_width;
  return std::nullopt;
}

// The height the request asks its charts drawn at, when it gives one: the
// report's, for whom a figure as tall as the explorer's would fill half a
// printed page. Figures stacked for a narrow screen keep their own.
std::optional<int> chart_height(const json& request) {
  constexpr int lowest = 200;
  constexpr int highest = 2000;
  if (const auto h = request.find("height"); h != request.end() && h->is_number()) {
    const double v = h->get<double>();
    if (std::isfinite(v)) return static_cast<int>(std::clamp(v, double{lowest}, double{highest}));
  }
  return std::nullopt;
}

// A figure laid out as the request asks: at its width, and at its height
// when the panels stand side by side. A lone panel drawn at a height
// drops its title, the scenario's, which the report gives above it.
present::figure laid_out(present::figure f, int width, const json& request) {
  const int columns = f.columns;
  f = for_screen(std::move(f), width);
  if (const std::optional<int> height = chart_height(request); height && f.columns == columns) {
    f.height = *height;
    if (f.panels.size() == 1) f.panels.front().title.clear();
  }
  return f;
}

// Whether the request wants the explorer's own charts (for a download or
// the report) besides the screen's: not on every edit, where they would be
// drawn for nothing.
bool wants_downloads(const json& request) {
  return request.value("downloads", true) || !screen_width(request);
}

// A curve of the baseline as the page draws it into the current chart:
// dotted and labelled "baseline". In the chart across ratios each curve
// keeps its own colour (the one it has in its panel), so that a baseline of
// several groups or rates is told apart as the current curves are; the
// front's one curve is black.
present::series as_baseline(present::series line, std::optional<std::size_t> place = std::nullopt) {
  constexpr int black = 6;
  line.label = "baseline: " + line.label;
  line.colour = place ? line.colour.value_or(static_cast<int>(*place)) : black;
  line.pattern = present::dash::dotted;
  line.style = present::mark::line;
  return line;
}

// The chart of a scenario the page compares with (its baseline) drawn into
// the current one, on screen: each panel's curves again. Only figures of
// the same panels are merged.
present::figure with_baseline(present::figure f, const present::figure& baseline) {
  if (baseline.panels.size() != f.panels.size()) return f;
  for (std::size_t k = 0; k < f.panels.size(); ++k) {
    if (baseline.panels[k].title != f.panels[k].title) return f;
  }
  for (std::size_t k = 0; k < f.panels.size(); ++k) {
    const std::vector<present::series>& lines = baseline.panels[k].lines;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      f.panels[k].lines.push_back(as_baseline(lines[i], i));
    }
  }
  return f;
}

void add_chart(json& response, const char* key, const present::figure& f, const json& request,
               const std::optional<present::figure>& baseline = std::nullopt) {
  if (wants_downloads(request)) response[key] = present::render_svg(f);
  if (const std::optional<int> width = screen_width(request)) {
    const present::figure shown = baseline ? with_baseline(f, *baseline) : f;
    response[std::string(key) + "_screen"] = present::render_svg(laid_out(shown, *width, request));
  }
}

// A request about a scenario: one that is no object with a scenario, or
// whose scenario cannot be used, is answered with its errors; otherwise
// `answer(request, study, response)` adds to the response, which already
// holds the scenario's errors (none) and warnings.
template <class Answer>
std::string answer_request(std::string_view text, Answer answer) {
  const std::optional<json> request = parse_request(text);
  if (!request || !request->contains("scenario")) {
    return dump(request_error("the request must be an object with a scenario"));
  }
  checked_scenario c = check(*request);
  if (!c.usable()) return dump(c.response);
  try {
    const present::study study(std::move(c.loaded));
    answer(*request, study, c.response);
  } catch (const std::exception& e) {
    // A fault of this program, not of the input: the page must still get
    // an answer, with nothing computed, rather than keep the last one.
    json failed = request_error(std::string("internal error: ") + e.what() +
                                " (please report it, with the scenario)");
    failed["warnings"] = std::move(c.response["warnings"]);
    return dump(failed);
  }
  return dump(c.response);
}

// The ratio the page shows, when the request gives one.
std::vector<double> requested_ratio(const json& request) {
  std::vector<double> ratios;
  if (const auto ratio = request.find("ratio"); ratio != request.end() && ratio->is_number()) {
    ratios.push_back(ratio->get<double>());
  }
  return ratios;
}

// The weighting of the predictors and its composites (those of the first
// minority group), and each minority group's composite effect size.
void add_weighting(const present::study& study, json& response) {
  const present::loaded_scenario& s = study.loaded();
  const problem& first = s.problem ? *s.problem : s.group_problem->base();
  response.update(weighting_json(first));
  if (!s.group_problem) return;
  json effects = json::array();
  for (const fourfifths::group_effect& g : group_model_of(*s.group_problem).groups) {
    effects.push_back({{"name", g.name}, {"predictor_effect", g.predictor_effect}});
  }
  response["group_effects"] = std::move(effects);
}

// A table's rows under `key`, its CSV under `csv_key` and its typed columns
// under `columns_key`.
void add_table(const present::study_table& t, const char* key, const char* csv_key,
               const char* columns_key, json& response) {
  response[key] = t.document()["rows"];
  response[csv_key] = t.output(present::table_format::csv);
  response[columns_key] = present::frame_document(t.columns());
}

}  // namespace

std::string evaluate(std::string_view text) {
  return answer_request(text, [](const json& request, const present::study& study, json& response) {
    response["json"] = present::to_json(study.names());
    response["several_groups"] = study.grouped();
    add_weighting(study, response);

    const present::study_table at = study.table(method::precise, requested_ratio(request));
    response["four_fifths_minimum"] = at.document()["four_fifths_minimum"];
    add_table(at, "rows", "csv", "columns", response);
    // The rows of the explorer's table without --ratios: the built-in
    // ratios, the minimum and every requested ratio.
    add_table(study.table(method::precise, std::nullopt), "across", "across_csv", "across_columns",
              response);

    // The explorer's plot (fourfifths-explore plot), precise method.
    std::optional<present::figure> baseline;
    if (const std::optional<present::study> b = other_study(request, "baseline")) {
      baseline = b->chart(method::precise);
    }
    add_chart(response, "ai_chart", study.chart(method::precise), request, baseline);
  });
}

namespace {

// Faults of the front or of the answer to a minimum ratio, under the path
// the page shows them beside ("front" or "min_ai").
void search_faults(json& list, const char* path, const std::vector<fault>& errors) {
  for (const fault& f : errors) list.push_back({{"path", path}, {"message", f.message}});
}

// The front's options, read as the explorer's command line reads them; a
// fault of one is a fault of the front. Whether they could be read.
bool front_options(const json& request, const present::scenario& s, pareto_options& options,
                   json& response) {
  const std::vector<fault> option_faults =
      present::read_pareto_options(request, s.spec.mode, options);
  for (const fault& f : option_faults) {
    response["front_errors"].push_back({{"path", "front"}, {"message", f.text()}});
  }
  return option_faults.empty();
}

// The front of the request's "baseline" scenario at the same options, when
// it has one: the page draws it, dotted, into the current front on screen.
std::optional<present::series> baseline_front(const json& request) {
  const std::optional<present::study> b = other_study(request, "baseline");
  if (!b) return std::nullopt;
  pareto_options options;
  if (!present::read_pareto_options(request, b->names().spec.mode, options).empty()) {
    return std::nullopt;
  }
  const present::study_front front = b->front(options);
  if (!front.found()) return std::nullopt;
  const present::figure chart = front.chart(nullptr);
  if (chart.panels.empty() || chart.panels.front().lines.empty()) return std::nullopt;
  return as_baseline(chart.panels.front().lines.front());
}

// The front's chart: as a download when the request wants downloads, and
// at the screen's width (its ratio is in the page's heading, so the axis
// title drops it), with the baseline's front on screen.
void front_charts(present::figure chart, const pareto_options& options, const json& request,
                  json& response) {
  if (wants_downloads(request)) response["front_chart"] = present::render_svg(chart);
  if (const std::optional<int> width = screen_width(request)) {
    std::string& axis = chart.panels.front().x.title;
    const std::string at = " at " + present::ratio_description(options);
    if (axis.ends_with(at)) axis.resize(axis.size() - at.size());
    if (std::optional<present::series> baseline = baseline_front(request)) {
      chart.panels.front().lines.push_back(std::move(*baseline));
    }
    response["front_chart_screen"] = present::render_svg(laid_out(std::move(chart), *width, request));
  }
}

// A weighting as the page reads a point: its impact ratio is the quantity
// the front trades quality against, which over several groups is the
// lowest ratio to the highest rate.
void as_page_point(json& point) {
  if (point.contains("lowest_ratio_to_highest")) {
    point["ai_ratio"] = point["lowest_ratio_to_highest"];
  }
}

json page_front(json front) {
  for (json& point : front["points"]) as_page_point(point);
  for (const char* mark : {"unit", "regression", "given"}) {
    if (front.contains(mark)) as_page_point(front[mark]);
  }
  return front;
}

}  // namespace

std::string front(std::string_view text) {
  return answer_request(text, [](const json& request, const present::study& study, json& response) {
    response["front_errors"] = json::array();
    response["several_groups"] = study.grouped();
    pareto_options options;
    if (!front_options(request, study.names(), options, response)) return;

    // What the library says when the scenario asks no question a front can
    // answer (no criterion, no applicant mix, a ratio outside (0, 1)) is
    // about the front alone: its path is "front".
    // With "calibration_n": what each point gives in new applicants when
    // its weights come from calibration samples of that size.
    // Options left out are the explorer's defaults.
    std::vector<fault> calibration_faults;
    const present::calibration_request defaults;
    const std::optional<present::calibration_request> calibration = present::calibration_arguments(
        request.value("calibration_n", json()), request.value("replications", json(defaults.replications)),
        request.value("seed", json(defaults.seed)), json(), 1, calibration_faults);
    if (!calibration_faults.empty()) {
      for (const fault& f : calibration_faults) {
        response["front_errors"].push_back({{"path", "calibration"}, {"message", f.text()}});
      }
      return;
    }
    const present::study_front front = study.front(options, calibration);
    if (!front.found()) {
      search_faults(response["front_errors"], calibration ? "calibration" : "front",
                    front.errors());
      return;
    }
    response["front"] = page_front(front.document());
    response["csv"] = front.output(present::table_format::csv);
    response["columns"] = present::frame_document(front.columns());

    std::optional<present::study_best> best;
    if (const auto min_ai = request.find("min_ai");
        min_ai != request.end() && min_ai->is_number()) {
      best.emplace(study.best(options, min_ai->get<double>()));
      if (best->found()) {
        json answer = best->document();
        as_page_point(answer["weighting"]);
        response["min_ai"] = std::move(answer);
      } else {
        search_faults(response["front_errors"], "min_ai", best->errors());
        best.reset();
      }
    }
    front_charts(front.chart(best ? &*best : nullptr), options, request, response);
  });
}

std::string pool(std::string_view text) {
  return answer_request(text, [](const json& request, const present::study& study, json& response) {
    // Options left out are the explorer's defaults.
    std::vector<fault> pool_faults;
    const fourfifths::pool_options defaults;
    const std::optional<fourfifths::pool_options> pool = present::pool_arguments(
        request.value("applicants", json()), request.value("replications", json(defaults.replications)),
        request.value("seed", json(defaults.seed)), request.value("alpha", json(defaults.alpha)),
        pool_faults);
    if (!pool && pool_faults.empty()) {
      pool_faults.push_back({"applicants", "is missing"});
    }
    if (pool) {
      if (const std::optional<fault> refused = study.pool_fault(*pool)) {
        pool_faults.push_back(*refused);
      }
    }
    response["pool_errors"] = json::array();
    for (const fault& f : pool_faults) {
      response["pool_errors"].push_back({{"path", f.path}, {"message", f.message}});
    }
    if (!pool_faults.empty()) return;
    const present::study_table t =
        study.table(method::precise, requested_ratio(request), present::table_request{pool});
    response["pool"] = t.document()["pool"];
    add_table(t, "rows", "csv", "columns", response);
  });
}

std::string observed(std::string_view text) {
  const std::optional<json> request = parse_request(text);
  if (!request || !request->contains("data") || !(*request)["data"].is_string()) {
    return dump(request_error("the request must be an object with the data as text"));
  }
  const present::loaded_observed data =
      present::read_observed((*request)["data"].get<std::string>());
  if (!data.value) return dump({{"errors", faults(data.errors)}});
  fourfifths::observed_options options = data.value->options;
  if (const auto r = request->find("reference");
      r != request->end() && r->is_string() && !r->get<std::string>().empty()) {
    options.reference = r->get<std::string>();
  }
  if (const auto a = request->find("alpha"); a != request->end() && a->is_number()) {
    options.alpha = a->get<double>();
  }
  const fourfifths::observed_result result = present::analyse(*data.value, options);
  if (!result.value) return dump({{"errors", faults(result.errors)}});
  // The explorer's warnings: names that differ only in case, and groups
  // for which pooling the units reverses what every unit says.
  json warnings = json::array();
  for (const std::string& w : data.warnings) warnings.push_back({{"path", ""}, {"message", w}});
  for (const fourfifths::comparison& r : result.value->rows) {
    if (auto w = present::pooling_warning(r)) warnings.push_back({{"path", ""}, {"message", *w}});
  }
  json response = {{"errors", json::array()}, {"warnings", std::move(warnings)}};
  response["analysis"] = present::observed_document(*result.value);
  response["csv"] = present::observed_csv(*result.value);
  add_chart(response, "chart", present::observed_figure(*result.value), *request);
  return dump(response);
}

std::string table(std::string_view scenario, std::string_view options) {
  const std::optional<json> request = parse_request(options);
  if (!request) return dump(request_error("the options must be a JSON object"));
  present::loaded_scenario loaded = present::read_scenario(scenario, present::group_rule::accepted);
  if (!loaded.problem && !loaded.group_problem) return dump({{"errors", faults(loaded.errors)}});
  const std::string method_name = request->value("method", "precise");
  const std::optional<method> m = present::value_of<method>(method_name);
  if (!m) {
    return dump(request_error("method: must be one of " + present::names_list<method>(", ")));
  }
  const present::study study(std::move(loaded));
  if (const std::optional<fault> refused = study.method_fault(*m)) {
    return dump({{"errors", faults({*refused})}});
  }
  std::optional<std::vector<double>> ratios;
  if (const auto r = request->find("ratios"); r != request->end() && r->is_array()) {
    ratios.emplace();
    for (const json& v : *r) {
      if (!v.is_number()) return dump(request_error("ratios: must be numbers"));
      ratios->push_back(v.get<double>());
    }
  }
  const std::optional<present::table_format> format =
      present::value_of<present::table_format>(request->value("format", "json"));
  if (!format) {
    return dump(request_error("format: must be one of " +
                              present::names_list<present::table_format>(", ")));
  }
  return study.table(*m, ratios).output(*format);
}

}  // namespace fourfifths::web
