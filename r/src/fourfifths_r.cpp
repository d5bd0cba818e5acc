// The R face of fourfifths: scenarios read through the presentation layer
// (a path, a JSON text or an R list), the explorer's CSV tables turned into
// data frames column by column. Every check of a scenario and of the Pareto
// options, with its message, is the presentation's or the engine's; this
// file checks only what R alone can get wrong (the type of an argument, a
// ratio that is not finite) and carries values across.
// Faults come back to R as text, and R raises them (R/fourfifths.R): no R
// error is thrown through a C++ frame.
#include <Rcpp.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "fourfifths/group_pareto.h"
#include "fourfifths/pareto.h"
#include "present/arguments.h"
#include "present/fit.h"
#include "present/frame.h"
#include "present/group_table.h"
#include "present/names.h"
#include "present/options.h"
#include "present/output.h"
#include "present/pareto_output.h"
#include "present/scenario.h"
#include "present/study.h"
#include "present/table.h"

namespace {

using fourfifths::fault;
using present::loaded_scenario;

// --- R values as JSON ------------------------------------------------------

// Thrown for an R value that has no JSON form; caught at the entry points
// and handed back as a fault.
struct not_json {
  std::string message;
};

std::string utf8(SEXP charsxp) { return Rf_translateCharUTF8(charsxp); }

bool is_data_frame(SEXP x) { return Rf_inherits(x, "data.frame"); }

// Whether a vector of length 1 stands for one value: not marked I() (as
// jsonlite's auto_unbox reads it) and not a matrix.
bool scalar(SEXP x) {
  return Rf_xlength(x) == 1 && !Rf_inherits(x, "AsIs") &&
         Rf_getAttrib(x, R_DimSymbol) == R_NilValue;
}

// Entry i of an atomic vector. A missing or not-a-number double stays a
// number (NaN), so that the reader says it must be finite, rather than
// becoming null, which an optional key would take for "absent".
nlohmann::json element(SEXP x, R_xlen_t i) {
  switch (TYPEOF(x)) {
    case REALSXP:
      return REAL(x)[i];
    case INTSXP: {
      const int v = INTEGER(x)[i];
      if (v == NA_INTEGER) return std::numeric_limits<double>::quiet_NaN();
      if (Rf_isFactor(x)) {
        return utf8(STRING_ELT(Rf_getAttrib(x, R_LevelsSymbol), v - 1));
      }
      return v;
    }
    case LGLSXP: {
      const int v = LOGICAL(x)[i];
      if (v == NA_LOGICAL) return nullptr;
      return v != 0;
    }
    case STRSXP:
      if (STRING_ELT(x, i) == NA_STRING) return nullptr;
      return utf8(STRING_ELT(x, i));
    default:
      throw not_json{std::string("an R value of type '") + Rf_type2char(TYPEOF(x)) +
                     "' has no JSON form"};
  }
}

nlohmann::json to_json(SEXP x, std::size_t depth);

// A matrix as a list of its rows, the first index outermost.
nlohmann::json matrix_rows(SEXP x, SEXP dim) {
  const R_xlen_t rows = INTEGER(dim)[0];
  const R_xlen_t cols = INTEGER(dim)[1];
  nlohmann::json out = nlohmann::json::array();
  for (R_xlen_t i = 0; i < rows; ++i) {
    nlohmann::json row = nlohmann::json::array();
    for (R_xlen_t j = 0; j < cols; ++j) row.push_back(element(x, i + j * rows));
    out.push_back(std::move(row));
  }
  return out;
}

// A data frame as a list of its rows, each an object of its columns'
// values (as jsonlite writes one): predictors = data.frame(name, d).
nlohmann::json frame_rows(SEXP x, std::size_t depth) {
  const SEXP names = Rf_getAttrib(x, R_NamesSymbol);
  const R_xlen_t columns = Rf_xlength(x);
  const R_xlen_t rows = columns == 0 ? 0 : Rf_xlength(VECTOR_ELT(x, 0));
  nlohmann::json out = nlohmann::json::array();
  for (R_xlen_t i = 0; i < rows; ++i) {
    nlohmann::json row = nlohmann::json::object();
    for (R_xlen_t j = 0; j < columns; ++j) {
      const SEXP column = VECTOR_ELT(x, j);
      if (i >= Rf_xlength(column)) continue;
      row[utf8(STRING_ELT(names, j))] =
          TYPEOF(column) == VECSXP ? to_json(VECTOR_ELT(column, i), depth + 1) : element(column, i);
    }
    out.push_back(std::move(row));
  }
  return out;
}

// An R value as JSON: a named list is an object, an unnamed list or a
// vector of any other length than 1 an array, a matrix an array of its
// rows; NULL is null.
nlohmann::json to_json(SEXP x, std::size_t depth) {
  if (depth > present::scenario_limits().most_depth) {
    throw not_json{"nested more than " + std::to_string(present::scenario_limits().most_depth) +
                   " deep"};
  }
  if (x == R_NilValue) return nullptr;
  if (TYPEOF(x) == VECSXP) {
    if (is_data_frame(x)) return frame_rows(x, depth);
    const SEXP names = Rf_getAttrib(x, R_NamesSymbol);
    const R_xlen_t n = Rf_xlength(x);
    if (names == R_NilValue) {
      nlohmann::json out = nlohmann::json::array();
      for (R_xlen_t i = 0; i < n; ++i) out.push_back(to_json(VECTOR_ELT(x, i), depth + 1));
      return out;
    }
    nlohmann::json out = nlohmann::json::object();
    for (R_xlen_t i = 0; i < n; ++i) {
      // A key given twice is kept twice in R; the reader refuses it.
      const std::string key = utf8(STRING_ELT(names, i));
      if (out.contains(key)) throw not_json{key + ": key given twice"};
      out[key] = to_json(VECTOR_ELT(x, i), depth + 1);
    }
    return out;
  }
  const SEXP dim = Rf_getAttrib(x, R_DimSymbol);
  if (dim != R_NilValue && Rf_xlength(dim) == 2 && TYPEOF(x) != VECSXP) return matrix_rows(x, dim);
  if (scalar(x)) return element(x, 0);
  nlohmann::json out = nlohmann::json::array();
  const R_xlen_t n = Rf_xlength(x);
  for (R_xlen_t i = 0; i < n; ++i) out.push_back(element(x, i));
  return out;
}

// --- scenarios -------------------------------------------------------------

// A scenario given as a path, a JSON text or a deck's text (a string with a
// line break), or an R list: read and checked as the explorer reads it.
loaded_scenario load(SEXP scenario) {
  loaded_scenario s;
  s.status = present::scenario_status::invalid;
  if (TYPEOF(scenario) == VECSXP) {
    try {
      return present::read_json_document(to_json(scenario, 0), present::id_rule::optional,
                                         present::group_rule::accepted);
    } catch (const not_json& e) {
      s.errors.push_back({"scenario", e.message});
      return s;
    }
  }
  if (TYPEOF(scenario) != STRSXP || Rf_xlength(scenario) != 1 ||
      STRING_ELT(scenario, 0) == NA_STRING) {
    s.errors.push_back({"scenario", "must be a path, a JSON text or a list"});
    return s;
  }
  const std::string given = utf8(STRING_ELT(scenario, 0));
  if (present::form_of(given) == present::scenario_form::json ||
      given.find('\n') != std::string::npos) {
    return present::read_scenario(given, present::group_rule::accepted);
  }
  std::string error;
  const std::optional<std::string> text =
      present::read_input(given, error, present::most_scenario_bytes);
  if (!text) {
    s.errors.push_back({"", "cannot read " + given + ": " + error});
    return s;
  }
  return present::read_scenario(*text, present::group_rule::accepted);
}

// --- frames as data frames -----------------------------------------------------

// One column of a frame as an R vector: numbers as double (NA where
// missing), verdicts as logical (a column of missing verdicts as double NA,
// as R reads an empty column), names as character (NA where missing).
SEXP frame_vector(const present::frame_column& c, R_xlen_t n) {
  const bool all_missing = !c.missing.empty() && std::all_of(c.missing.begin(), c.missing.end(),
                                                             [](std::uint8_t m) { return m != 0; });
  if (c.type == present::column_type::text) {
    SEXP v = PROTECT(Rf_allocVector(STRSXP, n));
    for (R_xlen_t i = 0; i < n; ++i) {
      const auto k = static_cast<std::size_t>(i);
      const std::string& t = c.texts[k];
      SET_STRING_ELT(v, i,
                     c.is_missing(k)
                         ? NA_STRING
                         : Rf_mkCharLenCE(t.data(), static_cast<int>(t.size()), CE_UTF8));
    }
    UNPROTECT(1);
    return v;
  }
  if (c.type == present::column_type::boolean && !all_missing) {
    SEXP v = Rf_allocVector(LGLSXP, n);
    int* out = LOGICAL(v);
    for (R_xlen_t i = 0; i < n; ++i) {
      const auto k = static_cast<std::size_t>(i);
      out[i] = c.is_missing(k) ? NA_LOGICAL : static_cast<int>(c.numbers[k] != 0);
    }
    return v;
  }
  SEXP v = Rf_allocVector(REALSXP, n);
  double* out = REAL(v);
  for (R_xlen_t i = 0; i < n; ++i) {
    const auto k = static_cast<std::size_t>(i);
    out[i] = c.is_missing(k) ? NA_REAL : c.numbers[k];
  }
  return v;
}

// A frame as a data frame with its columns' names.
Rcpp::RObject frame_data(const present::frame& f) {
  const auto columns = static_cast<R_xlen_t>(f.columns.size());
  const auto n = static_cast<R_xlen_t>(f.rows);
  SEXP frame = PROTECT(Rf_allocVector(VECSXP, columns));
  SEXP names = PROTECT(Rf_allocVector(STRSXP, columns));
  for (R_xlen_t j = 0; j < columns; ++j) {
    const present::frame_column& c = f.columns[static_cast<std::size_t>(j)];
    SET_STRING_ELT(names, j,
                   Rf_mkCharLenCE(c.name.data(), static_cast<int>(c.name.size()), CE_UTF8));
    SET_VECTOR_ELT(frame, j, frame_vector(c, n));
  }
  Rf_setAttrib(frame, R_NamesSymbol, names);
  Rf_setAttrib(frame, R_ClassSymbol, Rf_mkString("data.frame"));
  SEXP rows = PROTECT(Rf_allocVector(INTSXP, 2));
  INTEGER(rows)[0] = NA_INTEGER;
  INTEGER(rows)[1] = -static_cast<int>(n);
  Rf_setAttrib(frame, R_RowNamesSymbol, rows);
  Rcpp::RObject held(frame);
  UNPROTECT(3);
  return held;
}

// --- answers ---------------------------------------------------------------

Rcpp::CharacterVector texts(const std::vector<fault>& faults) {
  Rcpp::CharacterVector out(faults.size());
  for (std::size_t i = 0; i < faults.size(); ++i) {
    out[static_cast<R_xlen_t>(i)] = Rcpp::String(faults[i].text(), CE_UTF8);
  }
  return out;
}

// What every entry point hands back: the value (NULL on failure), the
// errors and the warnings, for R to raise.
Rcpp::List answer(SEXP value, const std::vector<fault>& errors,
                  const std::vector<fault>& warnings) {
  return Rcpp::List::create(Rcpp::Named("value") = value, Rcpp::Named("errors") = texts(errors),
                            Rcpp::Named("warnings") = texts(warnings));
}

Rcpp::List failure(const std::vector<fault>& errors, const std::vector<fault>& warnings = {}) {
  return answer(R_NilValue, errors, warnings);
}

// The ratios asked for, as --ratios gives them: finite numbers, one or more.
std::optional<std::vector<double>> ratios_of(SEXP ratios, std::vector<fault>& errors) {
  if (ratios == R_NilValue) return std::nullopt;
  if (Rf_isFactor(ratios)) {
    // A factor's values are its levels' codes, not the numbers it shows.
    errors.push_back({"ratios", "must be numbers, not a factor"});
    return std::nullopt;
  }
  if (TYPEOF(ratios) != REALSXP && TYPEOF(ratios) != INTSXP) {
    errors.push_back({"ratios", "must be numbers"});
    return std::nullopt;
  }
  const Rcpp::NumericVector r(ratios);
  std::vector<double> list(r.begin(), r.end());
  const std::vector<fault> faults = present::check_ratios(list);
  if (!faults.empty()) {
    errors.insert(errors.end(), faults.begin(), faults.end());
    return std::nullopt;
  }
  return list;
}

// The table's inputs checked, or the faults of the scenario and the
// arguments together.
struct table_request {
  loaded_scenario scenario;
  fourfifths::method method = fourfifths::method::precise;
  std::optional<std::vector<double>> ratios;
  std::vector<fault> errors;
};

table_request table_inputs(SEXP scenario, SEXP ratios, SEXP method) {
  table_request r;
  r.scenario = load(scenario);
  r.errors = r.scenario.errors;
  r.ratios = ratios_of(ratios, r.errors);
  try {
    const std::optional<fourfifths::method> m = present::method_argument(
        to_json(method, 0), r.scenario.group_problem.has_value(), r.errors);
    if (m) r.method = *m;
  } catch (const not_json&) {
    r.errors.push_back(
        {"method", "must be one of " + present::names_list<fourfifths::method>(", ")});
  }
  return r;
}

}  // namespace

// A validation sample's columns as the presentation takes them: the group
// column (a factor, or character: R/fourfifths.R turns any other into
// character) as codes of its labels, NA as missing; scores as doubles,
// NA and NaN missing.
// [[Rcpp::export(rng = false)]]
Rcpp::List ff_fit_impl(SEXP group, SEXP scores, SEXP request, SEXP positions) {
  present::sample_columns sample;
  std::vector<int> codes(static_cast<std::size_t>(Rf_xlength(group)));
  if (Rf_isFactor(group)) {
    const SEXP levels = Rf_getAttrib(group, R_LevelsSymbol);
    for (R_xlen_t k = 0; k < Rf_xlength(levels); ++k) {
      sample.labels.push_back(utf8(STRING_ELT(levels, k)));
    }
    const int* in = INTEGER(group);
    for (std::size_t i = 0; i < codes.size(); ++i) codes[i] = in[i] == NA_INTEGER ? -1 : in[i] - 1;
  } else if (TYPEOF(group) == STRSXP) {
    std::unordered_map<std::string, int> label_of;
    for (std::size_t i = 0; i < codes.size(); ++i) {
      const SEXP label = STRING_ELT(group, static_cast<R_xlen_t>(i));
      if (label == NA_STRING) {
        codes[i] = -1;
        continue;
      }
      const auto [it, added] =
          label_of.try_emplace(utf8(label), static_cast<int>(sample.labels.size()));
      if (added) sample.labels.push_back(it->first);
      codes[i] = it->second;
    }
  } else {
    return failure({{"group", "the group column must be a factor or character"}});
  }
  sample.group = codes;
  std::vector<std::vector<double>> columns;
  for (R_xlen_t j = 0; j < Rf_xlength(scores); ++j) {
    const SEXP c = VECTOR_ELT(scores, j);
    std::vector<double>& out = columns.emplace_back(static_cast<std::size_t>(Rf_xlength(c)));
    if (TYPEOF(c) == REALSXP) {
      std::copy(REAL(c), REAL(c) + Rf_xlength(c), out.begin());
    } else if (TYPEOF(c) == INTSXP && !Rf_isFactor(c)) {
      const int* in = INTEGER(c);
      for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = in[i] == NA_INTEGER ? std::numeric_limits<double>::quiet_NaN() : in[i];
      }
    } else {
      return failure({{"", "a score column must hold numbers"}});
    }
  }
  for (const std::vector<double>& c : columns) sample.scores.emplace_back(c);
  const Rcpp::List r(request);
  present::fit_request q;
  q.group = Rcpp::as<std::string>(r["group"]);
  q.predictors = Rcpp::as<std::vector<std::string>>(r["predictors"]);
  q.criteria = Rcpp::as<std::vector<std::string>>(r["criteria"]);
  if (r["reference"] != R_NilValue) q.reference = Rcpp::as<std::string>(r["reference"]);
  sample.positions = Rcpp::as<std::vector<int>>(positions);
  const loaded_scenario s = present::fit_columns(sample, q);
  if (!s.value) return failure(s.errors, s.warnings);
  Rcpp::CharacterVector text(1);
  text[0] = Rcpp::String(present::to_json(*s.value), CE_UTF8);
  return answer(text, {}, s.warnings);
}

// [[Rcpp::export(rng = false)]]
Rcpp::List ff_table_impl(SEXP scenario, SEXP ratios, SEXP method, SEXP pool) {
  table_request r = table_inputs(scenario, ratios, method);
  // Finite pools: one value each, read as Python's are (NA a fault).
  present::table_request request;
  if (!Rf_isNull(pool)) {
    const auto value = [&](const char* name) {
      const SEXP v = Rcpp::List(pool)[name];
      if (Rf_isFactor(v) || Rf_xlength(v) != 1) return nlohmann::json::array();
      try {
        const nlohmann::json j = to_json(v, 0);
        return j.is_null() ? nlohmann::json::array() : j;
      } catch (const not_json&) {
        return nlohmann::json::array();
      }
    };
    request.pool = present::pool_arguments(value("applicants"), value("replications"),
                                           value("seed"), value("alpha"), r.errors);
  }
  if (!r.errors.empty()) return failure(r.errors, r.scenario.warnings);
  const std::vector<fault> warnings = r.scenario.warnings;
  const present::study study(std::move(r.scenario));
  if (request.pool) {
    if (std::optional<fault> f = study.pool_fault(*request.pool)) {
      return failure({std::move(*f)}, warnings);
    }
    return answer(frame_data(study.table(r.method, r.ratios, request).columns()), {}, warnings);
  }
  return answer(frame_data(study.table(r.method, r.ratios).columns()), {}, warnings);
}

// [[Rcpp::export(rng = false)]]
Rcpp::List ff_pareto_impl(SEXP scenario, SEXP options, SEXP majority) {
  loaded_scenario s = load(scenario);
  std::vector<fault> errors = s.errors;
  const bool by_majority =
      TYPEOF(majority) == LGLSXP && Rf_xlength(majority) == 1 && LOGICAL(majority)[0] == TRUE;
  if (TYPEOF(majority) != LGLSXP || Rf_xlength(majority) != 1 ||
      LOGICAL(majority)[0] == NA_LOGICAL) {
    errors.push_back({"majority", "must be TRUE or FALSE"});
  }
  fourfifths::pareto_options o;
  // Each option is one value; any other R value (a list, a function) is
  // a fault of its own argument, never its default.
  const auto option = [&](const char* name) {
    const SEXP value = Rcpp::List(options)[name];
    if (Rf_isFactor(value) || Rf_xlength(value) != 1) return nlohmann::json::array();
    try {
      return to_json(value, 0);
    } catch (const not_json&) {
      return nlohmann::json::array();
    }
  };
  const std::string ratio_name = Rcpp::as<std::string>(Rcpp::List(options)["ratio_name"]);
  const std::vector<fault> option_faults = present::pareto_arguments(
      ratio_name, option("ratio"), option("points"), option("objective"), "signs", option("signs"),
      by_majority ? fourfifths::ratio_mode::majority : fourfifths::ratio_mode::overall, o);
  errors.insert(errors.end(), option_faults.begin(), option_faults.end());
  // NULL asks for no calibration (calibration_n) or every CPU (threads);
  // NA is a fault of its argument.
  const auto or_null = [&](const char* name) {
    return Rf_isNull(Rcpp::List(options)[name]) ? nlohmann::json(nullptr) : option(name);
  };
  const auto not_na = [&](const char* name) {
    const nlohmann::json v = or_null(name);
    return v.is_null() && !Rf_isNull(Rcpp::List(options)[name]) ? nlohmann::json::array() : v;
  };
  const std::optional<present::calibration_request> calibration = present::calibration_arguments(
      not_na("calibration_n"), option("replications"), option("seed"), not_na("threads"),
      std::max(1U, std::thread::hardware_concurrency()), errors);
  if (!errors.empty()) return failure(errors, s.warnings);
  std::vector<fault> warnings = s.warnings;
  const present::study study(std::move(s));
  const present::study_front front = study.front(o, calibration);
  warnings.insert(warnings.end(), front.warnings().begin(), front.warnings().end());
  if (!front.found()) return failure(front.errors(), warnings);
  return answer(frame_data(front.columns()), {}, warnings);
}

// What the work itself costs, without R: seconds per call of reading the
// scenario and making its table (`csv` false), or of making its frame of
// columns too, over `calls` calls; for the benchmark.
// [[Rcpp::export(rng = false)]]
double ff_table_seconds(SEXP scenario, SEXP ratios, SEXP method, int calls, bool csv) {
  using clock = std::chrono::steady_clock;
  std::size_t sink = 0;
  const auto start = clock::now();
  for (int i = 0; i < calls; ++i) {
    table_request r = table_inputs(scenario, ratios, method);
    if (!r.errors.empty()) Rcpp::stop("the scenario has faults");
    const present::study study(std::move(r.scenario));
    const present::study_table t = study.table(r.method, r.ratios);
    sink += csv ? t.columns().rows : 1;
  }
  const std::chrono::duration<double> took = clock::now() - start;
  return sink == 0 ? 0 : took.count() / calls;
}

// The same for the Pareto front: finding it, or with `csv` writing it too.
// [[Rcpp::export(rng = false)]]
double ff_pareto_seconds(SEXP scenario, double ratio, int points, int calls, bool csv) {
  using clock = std::chrono::steady_clock;
  const loaded_scenario s = load(scenario);
  if (!s.problem) Rcpp::stop("the scenario has faults");
  fourfifths::pareto_options o;
  o.ratio = ratio;
  o.points = points;
  std::size_t sink = 0;
  const auto start = clock::now();
  for (int i = 0; i < calls; ++i) {
    const fourfifths::pareto_result front = fourfifths::find_pareto_front(*s.problem, o);
    if (!front.value) Rcpp::stop("no front");
    sink += csv ? present::front_frame(*s.value, *front.value).rows
                : front.value->points.size();
  }
  const std::chrono::duration<double> took = clock::now() - start;
  return sink == 0 ? 0 : took.count() / calls;
}

// Decimal texts as the doubles nearest them (NA for any other text): the
// tests read the explorer's CSV with it, since R's own reader may round a
// 17-digit decimal to a neighbour of the nearest double.
// [[Rcpp::export(rng = false)]]
Rcpp::NumericVector ff_doubles(Rcpp::CharacterVector texts) {
  Rcpp::NumericVector out(texts.size());
  for (R_xlen_t i = 0; i < texts.size(); ++i) {
    const SEXP text = STRING_ELT(texts, i);
    const std::string_view t =
        text == NA_STRING ? std::string_view() : std::string_view(CHAR(text), LENGTH(text));
    double v = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    out[i] = !t.empty() && ec == std::errc() && end == t.data() + t.size() ? v : NA_REAL;
  }
  return out;
}
