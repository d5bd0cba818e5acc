#include "web/engine/requests.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
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
#include "present/chart.h"
#include "present/group_table.h"
#include "present/names.h"
#include "present/observed_input.h"
#include "present/observed_output.h"
#include "present/options.h"
#include "present/pareto_output.h"
#include "present/plot.h"
#include "present/scenario.h"
#include "present/table.h"

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
    f.height = panel_height * static_cast<int>(f.panels.size());
    f.columns = 1;
    if (f.panels.size() == 1) f.panels.front().title.clear();
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

// Whether the request wants the explorer's own charts (for a download or
// the report) besides the screen's: not on every edit, where they would be
// drawn for nothing.
bool wants_downloads(const json& request) {
  return request.value("downloads", true) || !screen_width(request);
}

// The chart of a scenario the page compares with (its baseline) drawn into
// the current one, on screen: each panel's curves again, grey and dotted,
// labelled "baseline". Only figures of the same panels are merged.
present::figure with_baseline(present::figure f, const present::figure& baseline) {
  if (baseline.panels.size() != f.panels.size()) return f;
  constexpr int black = 6;
  for (std::size_t k = 0; k < f.panels.size(); ++k) {
    if (baseline.panels[k].title != f.panels[k].title) return f;
  }
  for (std::size_t k = 0; k < f.panels.size(); ++k) {
    for (const present::series& line : baseline.panels[k].lines) {
      present::series copy = line;
      copy.label = "baseline: " + line.label;
      copy.colour = black;
      copy.pattern = present::dash::dotted;
      copy.style = present::mark::line;
      f.panels[k].lines.push_back(std::move(copy));
    }
  }
  return f;
}

void add_chart(json& response, const char* key, const present::figure& f, const json& request,
               const std::optional<present::figure>& baseline = std::nullopt) {
  if (wants_downloads(request)) response[key] = present::render_svg(f);
  if (const std::optional<int> width = screen_width(request)) {
    const present::figure shown = baseline ? with_baseline(f, *baseline) : f;
    response[std::string(key) + "_screen"] = present::render_svg(for_screen(shown, *width));
  }
}

// A request about a scenario: one that is no object with a scenario, or
// whose scenario cannot be used, is answered with its errors; otherwise
// `answer(request, loaded, response)` adds to the response, which already
// holds the scenario's errors (none) and warnings. `loaded` holds the
// problem of one minority group or of several.
template <class Answer>
std::string answer_request(std::string_view text, Answer answer) {
  const std::optional<json> request = parse_request(text);
  if (!request || !request->contains("scenario")) {
    return dump(request_error("the request must be an object with a scenario"));
  }
  checked_scenario c = check(*request);
  if (!c.usable()) return dump(c.response);
  try {
    answer(*request, c.loaded, c.response);
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

// The selection ratios the group chart is drawn at: two hundredths apart,
// with the ends closer in, where the rates change fastest. (Each is a
// solve over every group, on every edit: fifty-odd keep the curves smooth
// at the chart's size.)
std::vector<double> chart_ratios() {
  std::vector<double> r = {0.001, 0.002, 0.005, 0.01};
  constexpr int fiftieths = 50;
  for (int k = 1; k < fiftieths; ++k) r.push_back(k / static_cast<double>(fiftieths));
  r.insert(r.end(), {0.99, 0.995, 0.998, 0.999});
  return r;
}

// What happens to every group across selection ratios: each group's
// selection rate, and its rate as a share of the highest group's with the
// four-fifths line and the minimum, in the explorer's chart style.
present::figure group_figure(const group_problem& gp, const present::group_table& t,
                             const std::string& title) {
  const fourfifths::group_model model = group_model_of(gp);
  const std::vector<double> ratios = chart_ratios();
  std::vector<fourfifths::group_outcome> outcomes;
  outcomes.reserve(ratios.size());
  for (const double r : ratios) outcomes.push_back(group_outcome_at(model, r));
  const std::size_t groups = gp.groups().size() + 1;
  const bool majority_mode = gp.base().spec().mode == ratio_mode::majority;
  const std::string x_title =
      majority_mode ? "Selection ratio (majority group)" : "Selection ratio (all applicants)";
  present::panel rates{.title = "Selection rates",
                       .x = {.title = x_title, .min = 0, .max = 1},
                       .y = {.title = "Share of the group selected", .min = 0, .max = 1}};
  present::panel highest{.title = "Rate as a share of the highest group's",
                         .x = {.title = x_title, .min = 0, .max = 1},
                         .y = {.title = "Ratio to the highest rate", .min = 0, .max = 1}};
  for (std::size_t g = 0; g < groups; ++g) {
    present::series rate{.label =
                             g == 0 ? std::string(majority_group_name) : gp.groups()[g - 1].name};
    present::series share = rate;
    for (std::size_t k = 0; k < ratios.size(); ++k) {
      const fourfifths::group_outcome& o = outcomes[k];
      const double nan = std::numeric_limits<double>::quiet_NaN();
      const bool ok = o.solved() && o.groups.size() == groups;
      rate.x.push_back(ratios[k]);
      rate.y.push_back(ok ? o.groups[g].sr : nan);
      share.x.push_back(ratios[k]);
      share.y.push_back(ok ? o.groups[g].ratio_to_highest : nan);
    }
    rates.lines.push_back(std::move(rate));
    highest.lines.push_back(std::move(share));
  }
  highest.references.push_back({.value = 0.8, .label = "four fifths"});
  if (t.minimum.found) {
    constexpr double decimals = 1000;
    const std::string at = std::to_string(std::round(t.minimum.ratio * decimals) / decimals);
    highest.markers.push_back(
        {.x = t.minimum.ratio, .y = 0.8, .label = "minimum " + at.substr(0, at.find('.') + 4)});
    for (present::panel* p : {&rates, &highest}) {
      p->references.push_back({.dir = present::reference_line::orientation::vertical,
                               .value = t.minimum.ratio,
                               .label = ""});
    }
  } else {
    highest.note = "no four-fifths minimum";
  }
  return present::figure{.width = 800,
                         .height = 500,
                         .title = title.empty() ? "Several minority groups" : title,
                         .columns = 2,
                         .panels = {std::move(rates), std::move(highest)}};
}

// The figure of the request's "baseline" scenario, when it gives a sound
// one: what the page draws beside the current curves.
std::optional<present::figure> baseline_figure(const json& request) {
  const auto b = request.find("baseline");
  if (b == request.end() || !b->is_object()) return std::nullopt;
  const present::loaded_scenario loaded =
      present::read_json_document(*b, present::id_rule::optional, present::group_rule::accepted);
  if (loaded.problem) return present::plot_figure(model_of(*loaded.problem), method::precise);
  if (loaded.group_problem) {
    const present::group_table t =
        present::make_group_table(*loaded.group_problem, std::vector<double>{});
    return group_figure(*loaded.group_problem, t, "");
  }
  return std::nullopt;
}

// The answer for a scenario with several minority groups: the groups'
// table at the ratio and across the ratios (built-in, the minimum, the
// requested), each group's composite effect size, and the group chart.
void evaluate_groups(const json& request, const present::loaded_scenario& loaded, json& response) {
  const present::scenario& s = *loaded.value;
  const group_problem& gp = *loaded.group_problem;
  response["json"] = present::to_json(s);
  response["several_groups"] = true;
  response.update(weighting_json(gp.base()));
  json effects = json::array();
  for (const fourfifths::group_effect& g : group_model_of(gp).groups) {
    effects.push_back({{"name", g.name}, {"predictor_effect", g.predictor_effect}});
  }
  response["group_effects"] = std::move(effects);

  const std::vector<double> ratios = requested_ratio(request);
  const present::group_table at = present::make_group_table(gp, ratios);
  json at_json = json::parse(present::group_table_json(at));
  response["group_minimum"] = std::move(at_json["four_fifths_minimum"]);
  response["group_rows"] = std::move(at_json["rows"]);

  const present::group_table across = present::make_group_table(gp, std::nullopt);
  response["across"] = json::parse(present::group_table_json(across))["rows"];
  response["across_csv"] = present::group_table_csv(across);
  response["csv"] = present::group_table_csv(at);
  add_chart(response, "ai_chart", group_figure(gp, across, s.title), request,
            baseline_figure(request));
}

}  // namespace

std::string evaluate(std::string_view text) {
  return answer_request(
      text, [](const json& request, const present::loaded_scenario& loaded, json& response) {
        if (loaded.group_problem) {
          evaluate_groups(request, loaded, response);
          return;
        }
        const problem& p = *loaded.problem;
        const present::scenario& s = *loaded.value;
        response["json"] = present::to_json(s);
        response.update(weighting_json(p));

        const present::table t = present::make_table(p, method::precise, requested_ratio(request));
        json table = t;
        response["four_fifths_minimum"] = std::move(table["four_fifths_minimum"]);
        response["rows"] = std::move(table["rows"]);
        response["csv"] = present::table_csv(t);

        // The rows of the explorer's table without --ratios: the built-in
        // ratios, the minimum and every requested ratio.
        const present::table across = present::make_table(p, method::precise, std::nullopt);
        response["across"] = json(across)["rows"];
        response["across_csv"] = present::table_csv(across);

        // The explorer's plot (fourfifths-explore plot), precise method.
        add_chart(response, "ai_chart", present::plot_figure(model_of(p), method::precise, s.title),
                  request, baseline_figure(request));
      });
}

namespace {

// Faults of the front or of the answer to a minimum ratio, under the path
// the page shows them beside ("front" or "min_ai").
template <class T>
void search_faults(json& list, const char* path, const search_result<T>& r) {
  for (const fault& f : r.errors) list.push_back({{"path", path}, {"message", f.message}});
}

}  // namespace

namespace {

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
  const auto b = request.find("baseline");
  if (b == request.end() || !b->is_object()) return std::nullopt;
  const present::loaded_scenario loaded =
      present::read_json_document(*b, present::id_rule::optional, present::group_rule::accepted);
  if (!loaded.value) return std::nullopt;
  pareto_options options;
  if (!present::read_pareto_options(request, loaded.value->spec.mode, options).empty()) {
    return std::nullopt;
  }
  std::optional<present::figure> chart;
  if (loaded.problem) {
    const pareto_result r = find_pareto_front(*loaded.problem, options);
    if (r.value) chart = present::front_figure(*loaded.value, *r.value, nullptr);
  } else if (loaded.group_problem) {
    const group_pareto_result r = find_group_pareto_front(*loaded.group_problem, options);
    if (r.value) chart = present::group_front_figure(*loaded.value, *r.value, nullptr);
  }
  if (!chart || chart->panels.empty() || chart->panels.front().lines.empty()) return std::nullopt;
  present::series line = chart->panels.front().lines.front();
  line.label = "baseline: " + line.label;
  line.colour = 6;  // black, as the baseline's other curves
  line.pattern = present::dash::dotted;
  line.style = present::mark::line;
  return line;
}

// The front's chart: as a download when the request wants downloads, and
// at the screen's width (its ratio is in the page's heading, so the axis
// title keeps only what fits), with the baseline's front on screen.
void front_charts(present::figure chart, const json& request, const char* axis_title,
                  json& response) {
  if (wants_downloads(request)) response["front_chart"] = present::render_svg(chart);
  if (const std::optional<int> width = screen_width(request)) {
    chart.panels.front().x.title = axis_title;
    if (std::optional<present::series> baseline = baseline_front(request)) {
      chart.panels.front().lines.push_back(std::move(*baseline));
    }
    response["front_chart_screen"] = present::render_svg(for_screen(chart, *width));
  }
}

// A weighting of the front of several groups as the page reads a point: its
// impact ratio is the lowest ratio to the highest rate, the quantity the
// front trades validity against.
void as_page_point(json& point) { point["ai_ratio"] = point["lowest_ratio_to_highest"]; }

// The front of several groups: quality against the lowest ratio to the
// highest rate over every group, with the explorer's CSV and chart, and the
// best weighting under which every group reaches a minimum ratio.
void group_front(const json& request, const present::loaded_scenario& loaded, json& response) {
  response["several_groups"] = true;
  const group_problem& gp = *loaded.group_problem;
  const present::scenario& s = *loaded.value;
  pareto_options options;
  if (!front_options(request, s, options, response)) return;
  const group_pareto_result result = find_group_pareto_front(gp, options);
  if (!result.value) {
    search_faults(response["front_errors"], "front", result);
    return;
  }
  json front = present::group_front_document(s, *result.value);
  for (json& point : front["points"]) as_page_point(point);
  for (const char* mark : {"unit", "regression", "given"}) {
    if (front.contains(mark)) as_page_point(front[mark]);
  }
  response["front"] = std::move(front);
  response["csv"] = present::group_front_output(s, *result.value, present::table_format::csv);

  std::optional<group_min_ai_result> answer;
  if (const auto min_ai = request.find("min_ai"); min_ai != request.end() && min_ai->is_number()) {
    answer = best_group_weighting_for_min_ai(gp, options, min_ai->get<double>());
    if (answer->value) {
      // The answer laid out as a point of the front.
      group_pareto_front one = *result.value;
      one.points = {*answer->value};
      json weighting = present::group_front_document(s, one)["points"][0];
      as_page_point(weighting);
      response["min_ai"] = {{"min_ai", min_ai->get<double>()},
                            {"reached", answer->status == pareto_status::found},
                            {"weighting", std::move(weighting)}};
    } else {
      search_faults(response["front_errors"], "min_ai", *answer);
      answer.reset();
    }
  }
  front_charts(present::group_front_figure(s, *result.value, answer ? &*answer->value : nullptr),
               request, "Lowest ratio to the highest rate", response);
}

}  // namespace

std::string front(std::string_view text) {
  return answer_request(
      text, [](const json& request, const present::loaded_scenario& loaded, json& response) {
        response["front_errors"] = json::array();
        if (!loaded.problem) {
          group_front(request, loaded, response);
          return;
        }
        const problem& p = *loaded.problem;
        const present::scenario& s = *loaded.value;
        pareto_options options;
        if (!front_options(request, s, options, response)) return;

        // What the library says when the scenario asks no question a front can
        // answer (no criterion, no applicant mix, a ratio outside (0, 1)) is
        // about the front alone: its path is "front".
        const pareto_result result = find_pareto_front(p, options);
        if (!result.value) {
          search_faults(response["front_errors"], "front", result);
          return;
        }
        response["front"] = present::front_document(s, *result.value);
        response["csv"] = present::front_csv(result.value->points, s.spec.predictors);

        std::optional<min_ai_result> answer;
        if (const auto min_ai = request.find("min_ai");
            min_ai != request.end() && min_ai->is_number()) {
          answer = best_weighting_for_min_ai(p, options, min_ai->get<double>());
          if (answer->value) {
            response["min_ai"] = present::min_ai_document(s, min_ai->get<double>(), *answer);
          } else {
            search_faults(response["front_errors"], "min_ai", *answer);
            answer.reset();
          }
        }
        front_charts(present::front_figure(s, *result.value, answer ? &*answer->value : nullptr),
                     request, "Impact ratio (minority / majority)", response);
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
  json response = {{"errors", json::array()}};
  response["analysis"] = present::observed_document(*result.value);
  response["csv"] = present::observed_csv(*result.value);
  add_chart(response, "chart", present::observed_figure(*result.value), *request);
  return dump(response);
}

std::string table(std::string_view scenario, std::string_view options) {
  const std::optional<json> request = parse_request(options);
  if (!request) return dump(request_error("the options must be a JSON object"));
  const present::loaded_scenario loaded = present::read_scenario(scenario);
  if (!loaded.problem) return dump({{"errors", faults(loaded.errors)}});
  const std::string method_name = request->value("method", "precise");
  const std::optional<method> m = present::value_of<method>(method_name);
  if (!m) {
    return dump(request_error("method: must be one of " + present::names_list<method>(", ")));
  }
  std::optional<std::vector<double>> ratios;
  if (const auto r = request->find("ratios"); r != request->end() && r->is_array()) {
    ratios.emplace();
    for (const json& v : *r) {
      if (!v.is_number()) return dump(request_error("ratios: must be numbers"));
      ratios->push_back(v.get<double>());
    }
  }
  const present::table t = present::make_table(*loaded.problem, *m, ratios);
  const std::optional<present::table_format> format =
      present::value_of<present::table_format>(request->value("format", "json"));
  if (format == present::table_format::csv) return present::table_csv(t);
  if (format == present::table_format::json) return present::table_json(t, nullptr, true);
  return dump(request_error("format: must be json or csv"));
}

}  // namespace fourfifths::web
