// The page's entry points into the engine, exported to JavaScript with
// embind. Each takes and gives JSON text (requests.h says what); a deck or
// a scenario file may also be passed as bytes (a Uint8Array), which embind
// hands over unchanged, so that a deck is read byte for byte as the classic
// program reads it.

#include <emscripten/bind.h>

#include <string>

#include "web/engine/requests.h"

namespace {

std::string version() { return fourfifths::web::version(); }
// embind passes std::string, not std::string_view.
std::string classic_run(const std::string& deck) { return fourfifths::web::classic_run(deck); }
std::string load(const std::string& text) { return fourfifths::web::load(text); }
std::string evaluate(const std::string& request) { return fourfifths::web::evaluate(request); }
std::string front(const std::string& request) { return fourfifths::web::front(request); }
std::string pool(const std::string& request) { return fourfifths::web::pool(request); }
std::string observed(const std::string& request) { return fourfifths::web::observed(request); }
std::string table(const std::string& scenario, const std::string& options) {
  return fourfifths::web::table(scenario, options);
}

}  // namespace

EMSCRIPTEN_BINDINGS(fourfifths_engine) {
  emscripten::function("version", &version);
  emscripten::function("classic_run", &classic_run);
  emscripten::function("load", &load);
  emscripten::function("evaluate", &evaluate);
  emscripten::function("front", &front);
  emscripten::function("pool", &pool);
  emscripten::function("observed", &observed);
  emscripten::function("table", &table);
}
