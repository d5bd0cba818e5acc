#include "web/engine/requests.h"

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/classic_run.h"
#include "explore/scenario.h"
#include "explore/table.h"
#include "fourfifths/analysis.h"
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
  const int n = p.variables();
  std::vector<double> packed;
  packed.reserve(static_cast<std::size_t>(n) * (n + 1) / 2);
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i <= j; ++i) packed.push_back(p.correlation(i, j));
  }
  int info = 0;
  numeric::dppfa(packed, n, info);
  return info == 0;
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

std::string evaluate(std::string_view text) {
  const std::optional<json> request = parse_request(text);
  if (!request || !request->contains("scenario")) {
    return dump(request_error("the request must be an object with a scenario"));
  }
  const explore::loaded_scenario loaded =
      explore::read_json_scenario((*request)["scenario"].dump());
  json response = {{"errors", faults(loaded.errors)}, {"warnings", faults(loaded.warnings)}};
  if (!loaded.problem) return dump(response);
  const problem& p = *loaded.problem;

  if (response["warnings"].empty() && !whole_matrix_positive_definite(p)) {
    response["warnings"].push_back(
        {{"path", "correlations"},
         {"message",
          "the matrix with the criteria is not positive definite (not a possible correlation "
          "matrix)"}});
  }
  response["json"] = explore::to_json(*loaded.value);
  response.update(weighting_json(p));

  std::vector<double> ratios;
  if (const auto ratio = request->find("ratio"); ratio != request->end() && ratio->is_number()) {
    ratios.push_back(ratio->get<double>());
  }
  const explore::table t = explore::make_table(p, method::precise, ratios);
  json table = json::parse(explore::table_json(t, nullptr, /*compact=*/true));
  response["four_fifths_minimum"] = std::move(table["four_fifths_minimum"]);
  response["rows"] = std::move(table["rows"]);
  std::string csv = explore::csv_header(false);
  explore::append_csv(csv, t, nullptr);
  response["csv"] = std::move(csv);
  return dump(response);
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
    std::string csv = explore::csv_header(false);
    explore::append_csv(csv, t, nullptr);
    return csv;
  }
  return explore::table_json(t, nullptr, true);
}

}  // namespace fourfifths::web
