#include "web/engine/requests.h"

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/classic_run.h"
#include "explore/chart.h"
#include "explore/pareto_output.h"
#include "explore/plot.h"
#include "explore/scenario.h"
#include "explore/table.h"
#include "fourfifths/analysis.h"
#include "fourfifths/pareto.h"
#include "fourfifths/problem.h"
#include "numeric/packed.h"

namespace fourfifths::web {

namespace {

using json = nlohmann::json;

// Responses may carry names and deck text that are not valid UTF-8; such
// bytes become U+FFFD rather than ending the call.
std::string dump(const json& response) {
  return response.dump(-1, ' ', false, json::error_handler_t::replace);
}

bool path_character(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '.' || c == '[' || c == ']';
}

// The explorer writes a fault as "path: message"
// ("predictors[2].d: must be a finite number"). A line without such a path
// (a JSON syntax error, a deck's own message) gets the empty path.
json fault(const std::string& line) {
  const std::size_t colon = line.find(": ");
  bool has_path = colon != std::string::npos && colon > 0;
  for (std::size_t i = 0; has_path && i < colon; ++i) has_path = path_character(line[i]);
  if (!has_path) return {{"path", ""}, {"message", line}};
  return {{"path", line.substr(0, colon)}, {"message", line.substr(colon + 2)}};
}

json faults(const std::vector<std::string>& lines) {
  json list = json::array();
  for (const std::string& line : lines) list.push_back(fault(line));
  return list;
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

// The engine warns of a predictor block that is not positive definite; a
// block that is, beside criteria whose correlations no data could give,
// makes the whole matrix fail the same test. The test is the engine's own
// Cholesky factorisation of the packed matrix.
bool whole_matrix_positive_definite(const problem& p) {
  return numeric::positive_definite(p.variables(),
                                    [&](int i, int j) { return p.correlation(i, j); });
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
  const analysis::run_result run = analysis::run_classic(deck);
  return dump({{"report", run.report}, {"diagnostics", run.diagnostics}, {"status", run.status}});
}

std::string load(std::string_view text) {
  if (explore::form_of(text) == explore::scenario_form::json) {
    json document = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (!document.is_discarded()) {
      return dump({{"form", "json"}, {"scenario", std::move(document)}, {"errors", json::array()}});
    }
    // The explorer's own words for the syntax error.
    return dump({{"form", "json"},
                 {"scenario", nullptr},
                 {"errors", faults(explore::read_json_scenario(text).errors)}});
  }
  explore::loaded_scenario deck = explore::read_deck_scenario(text);
  if (!deck.value) {
    return dump({{"form", "deck"}, {"scenario", nullptr}, {"errors", faults(deck.errors)}});
  }
  return dump({{"form", "deck"},
               {"scenario", json::parse(explore::to_json(*deck.value))},
               {"errors", json::array()}});
}

namespace {

// A request's scenario read and checked as the explorer checks a JSON
// scenario: the response so far holds its errors and warnings.
struct checked_scenario {
  explore::loaded_scenario loaded;
  json response;
  bool usable() const { return loaded.problem.has_value(); }
};

checked_scenario check(const json& request) {
  checked_scenario c{explore::read_json_scenario(request["scenario"].dump()), {}};
  c.response = {{"errors", faults(c.loaded.errors)}, {"warnings", faults(c.loaded.warnings)}};
  if (c.usable() && c.response["warnings"].empty() &&
      !whole_matrix_positive_definite(*c.loaded.problem)) {
    c.response["warnings"].push_back(
        {{"path", "correlations"},
         {"message",
          "the matrix with the criteria is not positive definite (not a possible correlation "
          "matrix)"}});
  }
  return c;
}

// The explorer's figures are 800 pixels wide, their panels side by side.
// On a narrow screen the page shows them one above the other, in a
// narrower picture, without the titles that the page's headings already
// give (the figure's; a lone panel's, which is the scenario's title); the
// download stays the explorer's.
explore::figure for_narrow_screen(explore::figure f) {
  constexpr int width = 440;
  constexpr int panel_height = 330;
  f.width = width;
  f.height = panel_height * static_cast<int>(f.panels.size());
  f.columns = 1;
  f.title.clear();
  if (f.panels.size() == 1) f.panels.front().title.clear();
  return f;
}

void add_chart(json& response, const char* key, const explore::figure& f, bool narrow) {
  response[key] = explore::render_svg(f);
  if (narrow) response[std::string(key) + "_screen"] = explore::render_svg(for_narrow_screen(f));
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
  if (c.usable()) answer(*request, *c.loaded.problem, *c.loaded.value, c.response);
  return dump(c.response);
}

}  // namespace

std::string evaluate(std::string_view text) {
  return answer_request(text, [](const json& request, const problem& p, const explore::scenario& s,
                                 json& response) {
    response["json"] = explore::to_json(s);
    response.update(weighting_json(p));

    std::vector<double> ratios;
    if (const auto ratio = request.find("ratio"); ratio != request.end() && ratio->is_number()) {
      ratios.push_back(ratio->get<double>());
    }
    const explore::table t = explore::make_table(p, method::precise, ratios);
    json table = json::parse(explore::table_json(t, nullptr, /*compact=*/true));
    response["four_fifths_minimum"] = std::move(table["four_fifths_minimum"]);
    response["rows"] = std::move(table["rows"]);
    response["csv"] = explore::table_csv(t);

    // The explorer's plot (fourfifths-explore plot), precise method.
    add_chart(response, "ai_chart", explore::plot_figure(model_of(p), method::precise, s.title),
              request.value("narrow", false));
  });
}

std::string front(std::string_view text) {
  return answer_request(text, [](const json& request, const problem& p, const explore::scenario& s,
                                 json& response) {
    pareto_options options;
    options.mode = s.spec.mode;
    options.ratio = request.value("ratio", options.ratio);
    options.points = request.value("points", options.points);
    options.objective = request.value("objective", "validity") == "mean"
                            ? pareto_objective::mean
                            : pareto_objective::validity;
    options.signs = request.value("signs", "nonnegative") == "any" ? weight_signs::any
                                                                   : weight_signs::nonnegative;

    // What the library says when the scenario asks no question a front can
    // answer (no criterion, no applicant mix, a ratio outside (0, 1)) is
    // about the front alone: its path is "front".
    const pareto_result result = find_pareto_front(p, options);
    if (!result.front) {
      response["front_errors"] = json::array({{{"path", "front"}, {"message", result.error}}});
      return;
    }
    response["front_errors"] = json::array();
    response["front"] = json::parse(explore::front_json(s, *result.front));
    response["csv"] = explore::front_csv(result.front->points, s.spec.predictors);

    std::optional<min_ai_result> answer;
    if (const auto min_ai = request.find("min_ai");
        min_ai != request.end() && min_ai->is_number()) {
      answer = best_weighting_for_min_ai(p, options, min_ai->get<double>());
      if (answer->error.empty()) {
        response["min_ai"] = json::parse(explore::min_ai_json(s, min_ai->get<double>(), *answer));
      } else {
        response["front_errors"].push_back({{"path", "min_ai"}, {"message", answer->error}});
        answer.reset();
      }
    }
    explore::figure chart =
        explore::front_figure(s, *result.front, answer ? &*answer->best : nullptr);
    response["front_chart"] = explore::render_svg(chart);
    if (request.value("narrow", false)) {
      // The ratio is in the page's heading; the axis title keeps what fits.
      chart.panels.front().x.title = "Impact ratio (minority / majority)";
      response["front_chart_screen"] = explore::render_svg(for_narrow_screen(chart));
    }
  });
}

std::string table(std::string_view scenario, std::string_view options) {
  const std::optional<json> request = parse_request(options);
  if (!request) return dump(request_error("the options must be a JSON object"));
  const explore::loaded_scenario loaded = explore::read_scenario(scenario);
  if (!loaded.problem) return dump({{"errors", faults(loaded.errors)}});
  const method m =
      request->value("method", "precise") == "classic" ? method::classic : method::precise;
  std::optional<std::vector<double>> ratios;
  if (const auto r = request->find("ratios"); r != request->end() && r->is_array()) {
    ratios.emplace();
    for (const json& v : *r) ratios->push_back(v.is_number() ? v.get<double>() : 0.0);
  }
  const explore::table t = explore::make_table(*loaded.problem, m, ratios);
  if (request->value("format", "json") == "csv") {
    return explore::table_csv(t);
  }
  return explore::table_json(t, nullptr, true);
}

}  // namespace fourfifths::web
