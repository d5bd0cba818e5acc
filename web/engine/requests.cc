#include "web/engine/requests.h"

#include <exception>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fourfifths/analysis.h"
#include "fourfifths/classic.h"
#include "fourfifths/pareto.h"
#include "fourfifths/problem.h"
#include "present/chart.h"
#include "present/names.h"
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
    return dump({{"form", "deck"}, {"scenario", nullptr}, {"errors", faults(deck.errors)}});
  }
  return dump({{"form", "deck"}, {"scenario", json(*deck.value)}, {"errors", json::array()}});
}

namespace {

// A request's scenario read and checked as the explorer checks a JSON
// scenario: the response so far holds its errors and warnings.
struct checked_scenario {
  present::loaded_scenario loaded;
  json response;
  bool usable() const { return loaded.problem.has_value(); }
};

checked_scenario check(const json& request) {
  checked_scenario c{present::read_json_document(request["scenario"]), {}};
  c.response = {{"errors", faults(c.loaded.errors)}, {"warnings", faults(c.loaded.warnings)}};
  return c;
}

// The explorer's figures are 800 pixels wide, their panels side by side.
// On a narrow screen the page shows them one above the other, in a
// narrower picture, without the titles that the page's headings already
// give (the figure's; a lone panel's, which is the scenario's title); the
// download stays the explorer's.
present::figure for_narrow_screen(present::figure f) {
  constexpr int width = 440;
  constexpr int panel_height = 330;
  f.width = width;
  f.height = panel_height * static_cast<int>(f.panels.size());
  f.columns = 1;
  f.title.clear();
  if (f.panels.size() == 1) f.panels.front().title.clear();
  return f;
}

void add_chart(json& response, const char* key, const present::figure& f, bool narrow) {
  response[key] = present::render_svg(f);
  if (narrow) response[std::string(key) + "_screen"] = present::render_svg(for_narrow_screen(f));
}

// A request about a scenario: one that is no object with a scenario, or
// whose scenario cannot be used, is answered with its errors; otherwise
// `answer(request, problem, scenario, response)` adds to the response, which
// already holds the scenario's errors (none) and warnings.
template <class Answer>
std::string answer_request(std::string_view text, Answer answer) {
  const std::optional<json> request = parse_request(text);
  if (!request || !request->contains("scenario")) {
    return dump(request_error("the request must be an object with a scenario"));
  }
  checked_scenario c = check(*request);
  if (!c.usable()) return dump(c.response);
  try {
    answer(*request, *c.loaded.problem, *c.loaded.value, c.response);
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

}  // namespace

std::string evaluate(std::string_view text) {
  return answer_request(text, [](const json& request, const problem& p, const present::scenario& s,
                                 json& response) {
    response["json"] = present::to_json(s);
    response.update(weighting_json(p));

    std::vector<double> ratios;
    if (const auto ratio = request.find("ratio"); ratio != request.end() && ratio->is_number()) {
      ratios.push_back(ratio->get<double>());
    }
    const present::table t = present::make_table(p, method::precise, ratios);
    json table = t;
    response["four_fifths_minimum"] = std::move(table["four_fifths_minimum"]);
    response["rows"] = std::move(table["rows"]);
    response["csv"] = present::table_csv(t);

    // The explorer's plot (fourfifths-explore plot), precise method.
    add_chart(response, "ai_chart", present::plot_figure(model_of(p), method::precise, s.title),
              request.value("narrow", false));
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

std::string front(std::string_view text) {
  return answer_request(
      text, [](const json& request, const problem& p, const present::scenario& s, json& response) {
        pareto_options options;
        // A request's options are read as the explorer's command line reads
        // them; a fault of one is a fault of the front.
        const std::vector<fault> option_faults =
            present::read_pareto_options(request, s.spec.mode, options);
        response["front_errors"] = json::array();
        if (!option_faults.empty()) {
          for (const fault& f : option_faults) {
            response["front_errors"].push_back({{"path", "front"}, {"message", f.text()}});
          }
          return;
        }

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
        present::figure chart =
            present::front_figure(s, *result.value, answer ? &*answer->value : nullptr);
        response["front_chart"] = present::render_svg(chart);
        if (request.value("narrow", false)) {
          // The ratio is in the page's heading; the axis title keeps what fits.
          chart.panels.front().x.title = "Impact ratio (minority / majority)";
          response["front_chart_screen"] = present::render_svg(for_narrow_screen(chart));
        }
      });
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
