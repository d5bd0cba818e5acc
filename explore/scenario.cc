#include "explore/scenario.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <concepts>
#include <cstddef>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string_view>
#include <utility>

namespace explore {

namespace {

using json = nlohmann::json;

// Collects the faults of a document, each with its path.
struct faults {
  std::vector<std::string> list;
  void add(const std::string& path, const std::string& message) {
    list.push_back(path + ": " + message);
  }
};

std::string at(const std::string& path, std::size_t i) {
  return path + "[" + std::to_string(i) + "]";
}

// Lists of keys and words, in alphabetical order (as the messages give
// them). They are plain arrays rather than sets: a batch reads a million
// documents, and the checks should cost no allocation when all is well.
using words = std::initializer_list<std::string_view>;

bool is_one_of(std::string_view text, words list) {
  return std::find(list.begin(), list.end(), text) != list.end();
}

std::string join(words list) {
  std::string out;
  for (const std::string_view w : list) (out += out.empty() ? "" : ", ") += w;
  return out;
}

// Unknown keys are errors: they are usually typos.
void only_keys(const json& object, const std::string& path, words allowed, faults& f) {
  for (const auto& item : object.items()) {
    if (!is_one_of(item.key(), allowed)) {
      f.add(path.empty() ? item.key() : path + "." + item.key(),
            "unknown key (expected one of " + join(allowed) + ")");
    }
  }
}

// A finite number. The path is made only for a fault: `path` gives it.
template <std::invocable path_of>
std::optional<double> number(const json& value, const path_of& path, faults& f) {
  if (value.is_number()) {
    const double v = value.get<double>();
    if (std::isfinite(v)) return v;
  }
  f.add(path(), "must be a finite number");
  return std::nullopt;
}

std::optional<double> number(const json& value, const std::string& path, faults& f) {
  return number(
      value, [&] { return path; }, f);
}

// A key of one of the given words; `fallback` when it is absent.
std::string word(const json& object, const char* key, words list, const std::string& fallback,
                 faults& f) {
  const auto found = object.find(key);
  if (found == object.end()) return fallback;
  const std::string* value = found->is_string() ? found->get_ptr<const std::string*>() : nullptr;
  if (value == nullptr || !is_one_of(*value, list)) {
    std::string quoted;
    for (const std::string_view w : list)
      ((quoted += quoted.empty() ? "\"" : " or \"") += w) += "\"";
    f.add(key, "must be " + quoted);
    return fallback;
  }
  return *value;
}

// One variable: its name, its effect size and (unless the weights come from
// regression) its weight.
struct variable {
  std::string name;
  double d = 0;
  double weight = 0;
};

std::vector<variable> variables(const json& doc, const char* key, const char* prefix, bool weighted,
                                bool required, faults& f) {
  std::vector<variable> out;
  if (!doc.contains(key)) {
    if (required) f.add(key, "required: a list of objects with name, d and weight");
    return out;
  }
  const json& list = doc[key];
  if (!list.is_array()) {
    f.add(key, "must be a list of objects with name, d and weight");
    return out;
  }
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string path = at(key, i);
    const json& item = list[i];
    variable v;
    v.name = prefix + std::to_string(i + 1);
    if (!item.is_object()) {
      f.add(path, "must be an object with name, d and weight");
      out.push_back(v);
      continue;
    }
    only_keys(item, path, {"d", "name", "weight"}, f);
    if (item.contains("name")) {
      if (item["name"].is_string()) {
        v.name = item["name"].get<std::string>();
      } else {
        f.add(path + ".name", "must be a string");
      }
    }
    if (!item.contains("d")) {
      f.add(path + ".d", "required: the effect size, minority mean minus majority mean");
    } else if (const auto d = number(
                   item["d"], [&] { return path + ".d"; }, f)) {
      v.d = *d;
    }
    if (weighted) {
      if (!item.contains("weight")) {
        f.add(path + ".weight", "required (or give \"weights\": \"regression\")");
      } else if (const auto w = number(
                     item["weight"], [&] { return path + ".weight"; }, f)) {
        v.weight = *w;
      }
    } else if (item.contains("weight") && std::string(key) == "predictors") {
      f.add(path + ".weight", "not allowed with \"weights\": \"regression\"");
    }
    out.push_back(v);
  }
  return out;
}

std::vector<std::vector<double>> matrix(const json& doc, faults& f) {
  std::vector<std::vector<double>> rows;
  if (!doc.contains("correlations")) {
    f.add("correlations", "required: the correlation matrix, predictors then criteria");
    return rows;
  }
  const json& m = doc["correlations"];
  if (!m.is_array()) {
    f.add("correlations", "must be a list of rows");
    return rows;
  }
  for (std::size_t i = 0; i < m.size(); ++i) {
    std::vector<double> row;
    if (!m[i].is_array()) {
      f.add(at("correlations", i), "must be a list of numbers");
      rows.push_back(row);
      continue;
    }
    row.reserve(m[i].size());
    for (std::size_t j = 0; j < m[i].size(); ++j) {
      row.push_back(number(
                        m[i][j], [&] { return at(at("correlations", i), j); }, f)
                        .value_or(0));
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

// The library names fields after the problem; the document after its keys.
std::string document_path(const std::string& field) {
  struct rename {
    const char* library;
    const char* list;
    const char* member;
  };
  static constexpr rename renames[] = {
      {"predictor_weights[", "predictors[", ".weight"},
      {"predictor_effects[", "predictors[", ".d"},
      {"criterion_weights[", "criteria[", ".weight"},
      {"criterion_effects[", "criteria[", ".d"},
  };
  for (const rename& r : renames) {
    const std::string prefix = r.library;
    if (field.rfind(prefix, 0) == 0) {
      return r.list + field.substr(prefix.size()) + r.member;
    }
  }
  if (field == "predictor_weights") return "predictors";
  if (field == "criterion_weights") return "criteria";
  if (field == "regression_weights") return "weights";
  return field;
}

}  // namespace

loaded_scenario check_scenario(scenario s) {
  loaded_scenario out;
  fourfifths::problem_result built = fourfifths::make_problem(s.spec);
  // A fault of a whole list of weights concerns the weights of the list's
  // members: say so where the path names only the list.
  auto text = [](const fourfifths::fault& f) {
    std::string path = document_path(f.field);
    if (f.field == "predictor_weights" || f.field == "criterion_weights") {
      return path + ": the weights " + f.message;
    }
    return path + ": " + f.message;
  };
  for (const fourfifths::fault& f : built.errors) out.errors.push_back(text(f));
  for (const fourfifths::fault& f : built.warnings) out.warnings.push_back(text(f));
  if (!out.errors.empty()) return out;
  out.problem = std::move(built.value);
  out.value = std::move(s);
  return out;
}

namespace {

// "[json.exception.parse_error.101] parse error at line 3, column 5: ..."
// without the library's bracketed tag.
std::string syntax_message(const json::exception& e) {
  std::string what = e.what();
  const std::size_t tag = what.find("] ");
  if (tag != std::string::npos) what = what.substr(tag + 2);
  return "JSON " + what;
}

}  // namespace

scenario_form form_of(std::string_view text) {
  for (const char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
    return c == '{' ? scenario_form::json : scenario_form::deck;
  }
  return scenario_form::deck;
}

loaded_scenario read_json_scenario(std::string_view text, id_rule ids) {
  loaded_scenario out;
  json doc;
  try {
    doc = json::parse(text);
  } catch (const json::exception& e) {
    // A syntax error, or a number too large for a double, for instance.
    out.errors.push_back(syntax_message(e));
    return out;
  }
  if (!doc.is_object()) {
    out.errors.emplace_back("the scenario must be a JSON object");
    return out;
  }
  faults f;
  only_keys(doc, "",
            {"correlations", "criteria", "id", "majority_per_minority", "minority_share", "mode",
             "predictors", "quality", "requested_ratios", "title", "weights"},
            f);
  scenario s;
  s.form = scenario_form::json;
  if (doc.contains("title")) {
    if (doc["title"].is_string()) {
      s.title = doc["title"].get<std::string>();
    } else {
      f.add("title", "must be a string");
    }
  }
  if (doc.contains("id")) {
    const json& id = doc["id"];
    if (id.is_string()) {
      out.id = id.get<std::string>();
    } else if (id.is_number_integer()) {
      out.id = id.dump();
    } else if (id.is_number()) {
      out.id = shortest(id.get<double>());
    } else {
      f.add("id", "must be a string or a number");
    }
  }
  if (ids == id_rule::required) {
    if (!doc.contains("id")) {
      f.add("id", "required: a string or a number that names the scenario");
    } else if (out.id && out.id->empty()) {
      f.add("id", "must not be empty");
    }
  }
  fourfifths::problem_spec& spec = s.spec;
  spec.mode = word(doc, "mode", {"majority", "overall"}, "overall", f) == "overall"
                  ? fourfifths::ratio_mode::overall
                  : fourfifths::ratio_mode::majority;
  spec.regression_weights =
      word(doc, "weights", {"given", "regression"}, "given", f) == "regression";
  const std::vector<variable> predictors =
      variables(doc, "predictors", "P", !spec.regression_weights, true, f);
  const std::vector<variable> criteria = variables(doc, "criteria", "C", true, false, f);
  const bool has_criteria = !criteria.empty();
  spec.quality = word(doc, "quality", {"criterion", "predictor"},
                      has_criteria ? "criterion" : "predictor", f) == "criterion"
                     ? fourfifths::quality_basis::criterion
                     : fourfifths::quality_basis::predictor;
  spec.predictors = static_cast<int>(predictors.size());
  spec.criteria = static_cast<int>(criteria.size());
  for (const variable& v : predictors) {
    s.predictor_names.push_back(v.name);
    spec.predictor_effects.push_back(v.d);
    if (!spec.regression_weights) spec.predictor_weights.push_back(v.weight);
  }
  for (const variable& v : criteria) {
    s.criterion_names.push_back(v.name);
    spec.criterion_effects.push_back(v.d);
    spec.criterion_weights.push_back(v.weight);
  }
  spec.correlations = matrix(doc, f);
  if (doc.contains("minority_share")) {
    spec.minority_share = number(doc["minority_share"], "minority_share", f);
  }
  if (doc.contains("majority_per_minority")) {
    spec.majority_per_minority = number(doc["majority_per_minority"], "majority_per_minority", f);
  }
  if (doc.contains("requested_ratios")) {
    const json& r = doc["requested_ratios"];
    if (!r.is_array()) {
      f.add("requested_ratios", "must be a list of selection ratios");
    } else {
      for (std::size_t i = 0; i < r.size(); ++i) {
        spec.requested_ratios.push_back(number(r[i], at("requested_ratios", i), f).value_or(0));
      }
    }
  }
  if (!f.list.empty()) {
    out.errors = std::move(f.list);
    return out;
  }
  loaded_scenario result = check_scenario(std::move(s));
  result.id = std::move(out.id);
  return result;
}

loaded_scenario read_deck_scenario(std::string_view text) {
  loaded_scenario out;
  fourfifths::deck_result d = fourfifths::read_deck(text);
  if (d.error) {
    // The program's own lines, as they would appear.
    std::string_view rest = d.error->text;
    while (!rest.empty()) {
      const std::size_t end = rest.find('\n');
      out.errors.emplace_back(rest.substr(0, end));
      rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    return out;
  }
  scenario s;
  s.form = scenario_form::deck;
  s.spec = d.value->spec();
  for (int i = 1; i <= s.spec.predictors; ++i) s.predictor_names.push_back("P" + std::to_string(i));
  for (int k = 1; k <= s.spec.criteria; ++k) s.criterion_names.push_back("C" + std::to_string(k));
  out.problem = std::move(d.value);
  out.value = std::move(s);
  return out;
}

loaded_scenario read_scenario(std::string_view text) {
  return form_of(text) == scenario_form::json ? read_json_scenario(text) : read_deck_scenario(text);
}

std::string shortest(double value) {
  char buffer[32];
  const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
  return {buffer, static_cast<std::size_t>(r.ptr - buffer)};
}

namespace {

std::string quoted(const std::string& text) { return json(text).dump(); }

std::string number_list(const std::vector<double>& values) {
  std::string out = "[";
  for (std::size_t i = 0; i < values.size(); ++i) out += (i == 0 ? "" : ", ") + shortest(values[i]);
  return out + "]";
}

void variables_json(std::string& out, const char* key, const std::vector<std::string>& names,
                    const std::vector<double>& d, const std::vector<double>* weights) {
  out += "  \"";
  out += key;
  out += "\": [";
  for (std::size_t i = 0; i < names.size(); ++i) {
    out += i == 0 ? "\n" : ",\n";
    out += "    {\"name\": " + quoted(names[i]) + ", \"d\": " + shortest(d[i]);
    if (weights != nullptr) out += ", \"weight\": " + shortest((*weights)[i]);
    out += "}";
  }
  out += names.empty() ? "],\n" : "\n  ],\n";
}

}  // namespace

std::string to_json(const scenario& s) {
  const fourfifths::problem_spec& spec = s.spec;
  std::string out = "{\n";
  if (!s.title.empty()) out += "  \"title\": " + quoted(s.title) + ",\n";
  out += std::string("  \"mode\": \"") +
         (spec.mode == fourfifths::ratio_mode::overall ? "overall" : "majority") + "\",\n";
  out += std::string("  \"quality\": \"") +
         (spec.quality == fourfifths::quality_basis::criterion ? "criterion" : "predictor") +
         "\",\n";
  if (spec.regression_weights) out += "  \"weights\": \"regression\",\n";
  variables_json(out, "predictors", s.predictor_names, spec.predictor_effects,
                 spec.regression_weights ? nullptr : &spec.predictor_weights);
  variables_json(out, "criteria", s.criterion_names, spec.criterion_effects,
                 &spec.criterion_weights);
  out += "  \"correlations\": [";
  for (std::size_t i = 0; i < spec.correlations.size(); ++i) {
    out += (i == 0 ? "\n    " : ",\n    ") + number_list(spec.correlations[i]);
  }
  out += "\n  ]";
  if (spec.minority_share) out += ",\n  \"minority_share\": " + shortest(*spec.minority_share);
  if (spec.majority_per_minority) {
    out += ",\n  \"majority_per_minority\": " + shortest(*spec.majority_per_minority);
  }
  if (!spec.requested_ratios.empty()) {
    out += ",\n  \"requested_ratios\": " + number_list(spec.requested_ratios);
  }
  return out + "\n}\n";
}

namespace {

std::string values_line(const std::vector<double>& values) {
  std::string out;
  for (std::size_t i = 0; i < values.size(); ++i) out += (i == 0 ? "" : " ") + shortest(values[i]);
  return out;
}

std::string names(const std::vector<std::string>& list) {
  std::string out;
  for (const std::string& n : list) out += (out.empty() ? "" : ", ") + n;
  return out;
}

// A deck line: the values of one read, then, after them, a comment that the
// read never looks at.
void line(std::string& out, const std::string& values, const std::string& comment) {
  out += values;
  if (!comment.empty()) out += "    " + comment;
  out += '\n';
}

}  // namespace

deck_text to_deck(const scenario& s) {
  const fourfifths::problem_spec& spec = s.spec;
  deck_text deck;
  const bool overall = spec.mode == fourfifths::ratio_mode::overall;
  constexpr std::size_t most_requested = 25;
  if (spec.requested_ratios.size() > most_requested) {
    deck.errors.emplace_back("requested_ratios: a deck holds at most 25 requested ratios");
    return deck;
  }
  if (!overall && (spec.minority_share || spec.majority_per_minority)) {
    deck.warnings.emplace_back(
        "the deck form has no applicant mix in majority mode: the mix is left out");
  }
  std::string& out = deck.text;
  const int nsr = static_cast<int>(spec.requested_ratios.size());
  std::string header_comment =
      "predictors, criteria, overall ratios (1) or majority ratios (0), regression weights, "
      "quality on the criterion composite, requested ratios";
  if (!s.title.empty()) header_comment = s.title + ": " + header_comment;
  line(out,
       std::to_string(spec.predictors) + " " + std::to_string(spec.criteria) + " " +
           (overall ? "1" : "0") + " " + (spec.regression_weights ? "1" : "0") + " " +
           (spec.quality == fourfifths::quality_basis::criterion ? "1" : "0") + " " +
           std::to_string(nsr),
       header_comment);
  if (overall) {
    const double ratio = spec.majority_per_minority
                             ? *spec.majority_per_minority
                             : (1 - *spec.minority_share) / *spec.minority_share;
    line(out, shortest(ratio), "majority applicants per minority applicant");
  }
  if (!spec.regression_weights) {
    line(out, values_line(spec.predictor_weights),
         "predictor weights: " + names(s.predictor_names));
  }
  if (spec.criteria != 0) {
    line(out, values_line(spec.criterion_weights),
         "criterion weights: " + names(s.criterion_names));
  }
  std::vector<std::string> all = s.predictor_names;
  all.insert(all.end(), s.criterion_names.begin(), s.criterion_names.end());
  for (std::size_t i = 0; i < spec.correlations.size(); ++i) {
    line(out, values_line(spec.correlations[i]), "correlations of " + all[i]);
  }
  line(out, values_line(spec.predictor_effects),
       "predictor effect sizes (minority minus majority)");
  if (spec.criteria != 0) line(out, values_line(spec.criterion_effects), "criterion effect sizes");
  if (nsr > 0) line(out, values_line(spec.requested_ratios), "requested selection ratios");
  return deck;
}

}  // namespace explore
