#include "present/scenario.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <concepts>
#include <cstddef>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string_view>
#include <utility>

namespace present {

namespace {

using json = nlohmann::json;

// Collects the faults of a document, each with its path.
struct faults {
  std::vector<fourfifths::fault> list;
  void add(std::string path, std::string message) {
    list.push_back({std::move(path), std::move(message)});
  }
};

std::string at(const std::string& path, std::size_t i) {
  return path + "[" + std::to_string(i) + "]";
}

// Lists of keys and words, in alphabetical order (as the messages give
// them). They are plain arrays rather than sets: a batch reads a million
// documents, and the checks should cost no allocation when all is well.
using words = std::initializer_list<std::string_view>;

template <class List = words>
bool is_one_of(std::string_view text, const List& list) {
  return std::find(std::begin(list), std::end(list), text) != std::end(list);
}

template <class List = words>
std::string join(const List& list) {
  std::string out;
  for (const std::string_view w : list) (out += out.empty() ? "" : ", ") += w;
  return out;
}

// The schema's keys: of the document, and of each predictor and criterion.
constexpr std::string_view top_key_list[] = {
    "correlations",   "criteria", "groups",     "id",      "majority_per_minority",
    "minority_share", "mode",     "predictors", "quality", "requested_ratios",
    "title",          "weights"};
constexpr std::string_view variable_key_list[] = {"d", "name", "weight"};
constexpr std::string_view group_key_list[] = {"d", "name", "share"};

// Unknown keys are errors: they are usually typos.
template <class List>
void only_keys(const json& object, const std::string& path, const List& allowed, faults& f) {
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

// With `grouped`, the groups give the effect sizes and a variable has no d.
std::vector<variable> variables(const json& doc, const char* key, const char* prefix, bool weighted,
                                bool required, bool grouped, faults& f) {
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
    only_keys(item, path, variable_key_list, f);
    if (item.contains("name")) {
      if (item["name"].is_string()) {
        v.name = item["name"].get<std::string>();
      } else {
        f.add(path + ".name", "must be a string");
      }
    }
    if (grouped) {
      if (item.contains("d")) {
        f.add(path + ".d", "not allowed with \"groups\": each group gives its effect sizes");
      }
    } else if (!item.contains("d")) {
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

// The minority groups of "groups": each an object with a name, a share
// (optional) and d, one effect size per variable. The lengths and values
// are the library's to check.
std::vector<fourfifths::minority_group> groups_of(const json& list, faults& f) {
  std::vector<fourfifths::minority_group> out;
  constexpr const char* shape = "must be a list of objects with name, share and d";
  if (!list.is_array() || list.empty()) {
    f.add("groups", shape);
    return out;
  }
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string path = at("groups", i);
    const json& item = list[i];
    fourfifths::minority_group g;
    if (!item.is_object()) {
      f.add(path, "must be an object with name, share and d");
      out.push_back(std::move(g));
      continue;
    }
    only_keys(item, path, group_key_list, f);
    if (!item.contains("name")) {
      f.add(path + ".name", "required: the group's name");
    } else if (item["name"].is_string()) {
      g.name = item["name"].get<std::string>();
    } else {
      f.add(path + ".name", "must be a string");
    }
    if (item.contains("share")) g.share = number(item["share"], path + ".share", f);
    if (!item.contains("d")) {
      f.add(path + ".d", "required: the effect sizes, predictors then criteria");
    } else if (!item["d"].is_array()) {
      f.add(path + ".d", "must be a list of effect sizes, predictors then criteria");
    } else {
      const json& d = item["d"];
      for (std::size_t j = 0; j < d.size(); ++j) {
        g.d.push_back(number(d[j], at(path + ".d", j), f).value_or(0));
      }
    }
    out.push_back(std::move(g));
  }
  return out;
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

namespace {

// A scenario with groups, checked as a problem with several groups.
loaded_scenario check_group_scenario(scenario s) {
  loaded_scenario out;
  fourfifths::group_problem_result built = fourfifths::make_group_problem({s.spec, s.groups});
  auto in_document = [](const fourfifths::fault& f) {
    return fourfifths::fault{document_path(f.path), f.message};
  };
  for (const fourfifths::fault& f : built.errors) out.errors.push_back(in_document(f));
  for (const fourfifths::fault& f : built.warnings) out.warnings.push_back(in_document(f));
  if (!out.errors.empty()) {
    out.status = scenario_status::invalid;
    return out;
  }
  out.group_problem = std::move(built.value);
  out.value = std::move(s);
  return out;
}

}  // namespace

loaded_scenario check_scenario(scenario s) {
  if (!s.groups.empty()) return check_group_scenario(std::move(s));
  loaded_scenario out;
  fourfifths::problem_result built = fourfifths::make_problem(s.spec);
  // A fault of a whole list of weights concerns the weights of the list's
  // members: say so where the path names only the list.
  auto in_document = [](const fourfifths::fault& f) {
    fourfifths::fault g{document_path(f.path), f.message};
    if (f.path == "predictor_weights" || f.path == "criterion_weights") {
      g.message = "the weights " + f.message;
    }
    return g;
  };
  for (const fourfifths::fault& f : built.errors) out.errors.push_back(in_document(f));
  for (const fourfifths::fault& f : built.warnings) out.warnings.push_back(in_document(f));
  if (!out.errors.empty()) {
    out.status = scenario_status::invalid;
    return out;
  }
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

loaded_scenario read_json_scenario(std::string_view text, id_rule ids, group_rule groups) {
  loaded_scenario out;
  json doc;
  try {
    doc = json::parse(text);
  } catch (const json::exception& e) {
    // A syntax error, or a number too large for a double, for instance.
    out.errors.push_back({"", syntax_message(e)});
    out.status = scenario_status::syntax_error;
    return out;
  }
  return read_json_document(doc, ids, groups);
}

std::vector<fourfifths::fault> unknown_keys(const nlohmann::json& doc) {
  faults f;
  if (!doc.is_object()) return f.list;
  only_keys(doc, "", top_key_list, f);
  for (const char* key : {"predictors", "criteria"}) {
    const auto list = doc.find(key);
    if (list == doc.end() || !list->is_array()) continue;
    for (std::size_t i = 0; i < list->size(); ++i) {
      if ((*list)[i].is_object()) only_keys((*list)[i], at(key, i), variable_key_list, f);
    }
  }
  const auto groups = doc.find("groups");
  if (groups != doc.end() && groups->is_array()) {
    for (std::size_t i = 0; i < groups->size(); ++i) {
      if ((*groups)[i].is_object()) only_keys((*groups)[i], at("groups", i), group_key_list, f);
    }
  }
  return f.list;
}

loaded_scenario read_json_document(const nlohmann::json& doc, id_rule ids, group_rule groups) {
  loaded_scenario out;
  if (!doc.is_object()) {
    out.errors.push_back({"", "the scenario must be a JSON object"});
    out.status = scenario_status::syntax_error;
    return out;
  }
  faults f;
  only_keys(doc, "", top_key_list, f);
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
  spec.mode =
      *value_of<fourfifths::ratio_mode>(word(doc, "mode", {"majority", "overall"}, "overall", f));
  spec.regression_weights =
      word(doc, "weights", {"given", "regression"}, "given", f) == "regression";
  const bool grouped = doc.contains("groups");
  if (grouped && groups == group_rule::refused) {
    f.add("groups", "several minority groups are not analysed here: one minority group only");
  }
  const std::vector<variable> predictors =
      variables(doc, "predictors", "P", !spec.regression_weights, true, grouped, f);
  const std::vector<variable> criteria = variables(doc, "criteria", "C", true, false, grouped, f);
  const bool has_criteria = !criteria.empty();
  spec.quality = *value_of<fourfifths::quality_basis>(word(
      doc, "quality", {"criterion", "predictor"}, has_criteria ? "criterion" : "predictor", f));
  spec.predictors = static_cast<int>(predictors.size());
  spec.criteria = static_cast<int>(criteria.size());
  for (const variable& v : predictors) {
    s.predictor_names.push_back(v.name);
    if (!grouped) spec.predictor_effects.push_back(v.d);
    if (!spec.regression_weights) spec.predictor_weights.push_back(v.weight);
  }
  for (const variable& v : criteria) {
    s.criterion_names.push_back(v.name);
    if (!grouped) spec.criterion_effects.push_back(v.d);
    spec.criterion_weights.push_back(v.weight);
  }
  spec.correlations = matrix(doc, f);
  if (grouped && groups == group_rule::accepted) s.groups = groups_of(doc["groups"], f);
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
    out.status = scenario_status::invalid;
    return out;
  }
  loaded_scenario result = check_scenario(std::move(s));
  result.id = std::move(out.id);
  return result;
}

loaded_scenario read_deck_scenario(std::string_view text) {
  loaded_scenario out;
  fourfifths::deck_result d = fourfifths::read_deck(text);
  if (!d.value) {
    // The program's own lines, as they would appear.
    out.errors = std::move(d.errors);
    switch (d.status) {
      case fourfifths::deck_status::read:
      case fourfifths::deck_status::rejected:
        out.status = scenario_status::deck_rejected;
        break;
      case fourfifths::deck_status::unreadable:
        out.status = scenario_status::deck_unreadable;
        break;
      case fourfifths::deck_status::too_many_ratios:
        out.status = scenario_status::deck_too_many_ratios;
        break;
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

loaded_scenario read_scenario(std::string_view text, group_rule groups) {
  return form_of(text) == scenario_form::json ? read_json_scenario(text, id_rule::optional, groups)
                                              : read_deck_scenario(text);
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
    out += "    {\"name\": " + quoted(names[i]);
    // A scenario with groups has its effect sizes there.
    if (i < d.size()) out += ", \"d\": " + shortest(d[i]);
    if (weights != nullptr) out += ", \"weight\": " + shortest((*weights)[i]);
    out += "}";
  }
  out += names.empty() ? "],\n" : "\n  ],\n";
}

// The groups, one a line: name, share when given, effect sizes.
void groups_json(std::string& out, const std::vector<fourfifths::minority_group>& groups) {
  if (groups.empty()) return;
  out += ",\n  \"groups\": [";
  for (std::size_t i = 0; i < groups.size(); ++i) {
    const fourfifths::minority_group& g = groups[i];
    out += i == 0 ? "\n" : ",\n";
    out += "    {\"name\": " + quoted(g.name);
    if (g.share) out += ", \"share\": " + shortest(*g.share);
    out += ", \"d\": " + number_list(g.d) + "}";
  }
  out += "\n  ]";
}

}  // namespace

std::string to_json(const scenario& s) {
  const fourfifths::problem_spec& spec = s.spec;
  std::string out = "{\n";
  if (!s.title.empty()) out += "  \"title\": " + quoted(s.title) + ",\n";
  out += "  \"mode\": \"" + std::string(name_of(spec.mode)) + "\",\n";
  out += "  \"quality\": \"" + std::string(name_of(spec.quality)) + "\",\n";
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
  groups_json(out, s.groups);
  return out + "\n}\n";
}

void to_json(nlohmann::json& j, const scenario& s) {
  const fourfifths::problem_spec& spec = s.spec;
  auto variables = [](const std::vector<std::string>& names, const std::vector<double>& d,
                      const std::vector<double>* weights) {
    json list = json::array();
    for (std::size_t i = 0; i < names.size(); ++i) {
      json v = {{"name", names[i]}};
      if (i < d.size()) v["d"] = d[i];
      if (weights != nullptr) v["weight"] = (*weights)[i];
      list.push_back(std::move(v));
    }
    return list;
  };
  j = json::object();
  if (!s.title.empty()) j["title"] = s.title;
  j["mode"] = name_of(spec.mode);
  j["quality"] = name_of(spec.quality);
  if (spec.regression_weights) j["weights"] = "regression";
  j["predictors"] = variables(s.predictor_names, spec.predictor_effects,
                              spec.regression_weights ? nullptr : &spec.predictor_weights);
  j["criteria"] = variables(s.criterion_names, spec.criterion_effects, &spec.criterion_weights);
  j["correlations"] = spec.correlations;
  if (spec.minority_share) j["minority_share"] = *spec.minority_share;
  if (spec.majority_per_minority) j["majority_per_minority"] = *spec.majority_per_minority;
  if (!spec.requested_ratios.empty()) j["requested_ratios"] = spec.requested_ratios;
  if (s.groups.empty()) return;
  json groups = json::array();
  for (const fourfifths::minority_group& g : s.groups) {
    json item = {{"name", g.name}};
    if (g.share) item["share"] = *g.share;
    item["d"] = g.d;
    groups.push_back(std::move(item));
  }
  j["groups"] = std::move(groups);
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
  if (!s.groups.empty()) {
    deck.errors.push_back({"groups", "a deck holds one minority group"});
    return deck;
  }
  if (spec.requested_ratios.size() > most_requested) {
    deck.errors.push_back({"requested_ratios", "a deck holds at most 25 requested ratios"});
    return deck;
  }
  if (!overall && (spec.minority_share || spec.majority_per_minority)) {
    deck.warnings.push_back(
        {"", "the deck form has no applicant mix in majority mode: the mix is left out"});
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

}  // namespace present
