#include "present/scenario.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <concepts>
#include <cstddef>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string_view>
#include <utility>

#include "present/name_rules.h"

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
    "calibration", "calibration_n",    "correlations", "criteria",         "groups",
    "id",          "majority_per_minority", "minority_share", "mode", "predictors",
    "quality",     "requested_ratios", "title",        "weights"};
constexpr std::string_view variable_key_list[] = {"d", "name", "weight"};
constexpr std::string_view group_key_list[] = {"d", "name", "share"};
constexpr std::string_view calibration_key_list[] = {"dropped", "groups", "missing"};
constexpr std::string_view group_size_key_list[] = {"n", "name"};

// Whether an object's keys are all known and each given once: the common
// case, checked without allocating.
template <class List>
bool all_known_once(json_value object, const List& allowed) {
  for (auto i = object.begin(); i != object.end(); ++i) {
    const std::string_view key = (*i).key();
    if (!is_one_of(key, allowed)) return false;
    for (auto j = object.begin(); j != i; ++j) {
      if ((*j).key() == key) return false;
    }
  }
  return true;
}

// Unknown keys are errors: they are usually typos. A key given twice is
// one too: which of its values was meant? Listed in the order of the keys.
template <class List>
void only_keys(json_value object, const std::string& path, const List& allowed, faults& f) {
  if (object.size() <= std::size(allowed) && all_known_once(object, allowed)) return;
  std::vector<std::string_view> keys;
  keys.reserve(object.size());
  for (const json_value member : object) keys.push_back(member.key());
  std::sort(keys.begin(), keys.end());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const std::string member_path =
        path.empty() ? std::string(keys[i]) : path + "." + std::string(keys[i]);
    if (i > 0 && keys[i] == keys[i - 1]) {
      if (i < 2 || keys[i - 2] != keys[i]) f.add(member_path, "given more than once");
    } else if (!is_one_of(keys[i], allowed)) {
      f.add(member_path, "unknown key (expected one of " + join(allowed) + ")");
    }
  }
}

// An object's members under the keys of a list, found in one pass: the
// first member of each key, and whether every key was known and given once
// (when not, only_keys says what is wrong).
template <std::size_t n>
struct members {
  std::array<std::optional<json_value>, n> of;
  bool clean = true;
};

template <std::size_t n>
members<n> members_of(json_value object, const std::string_view (&keys)[n]) {
  members<n> m;
  for (const json_value member : object) {
    const std::string_view key = member.key();
    std::size_t i = 0;
    while (i < n && keys[i] != key) ++i;
    if (i == n || m.of[i]) {
      m.clean = false;
    } else {
      m.of[i] = member;
    }
  }
  return m;
}

// The places of the keys in their lists.
enum top_key : std::size_t {
  calibration_key,
  calibration_n_key,
  correlations_key,
  criteria_key,
  groups_key,
  id_key,
  majority_per_minority_key,
  minority_share_key,
  mode_key,
  predictors_key,
  quality_key,
  requested_ratios_key,
  title_key,
  weights_key,
};
enum variable_key : std::size_t { d_key, name_key, weight_key };
enum group_key : std::size_t { group_d_key, group_name_key, share_key };
enum calibration_key : std::size_t { dropped_key, sizes_key, missing_key };
enum group_size_key : std::size_t { size_n_key, size_name_key };

// A finite number. The path is made only for a fault: `path` gives it.
template <std::invocable path_of>
std::optional<double> number(json_value value, const path_of& path, faults& f) {
  if (value.is_number() && std::isfinite(value.number())) return value.number();
  f.add(path(), "must be a finite number");
  return std::nullopt;
}

std::optional<double> number(json_value value, const std::string& path, faults& f) {
  return number(
      value, [&] { return path; }, f);
}

// A key of one of the given words; `fallback` when it is absent.
std::string_view word(const std::optional<json_value>& found, const char* key, words list,
                      std::string_view fallback, faults& f) {
  if (!found) return fallback;
  if (!found->is_string() || !is_one_of(found->string(), list)) {
    std::string quoted;
    for (const std::string_view w : list)
      ((quoted += quoted.empty() ? "\"" : " or \"") += w) += "\"";
    f.add(key, "must be " + quoted);
    return fallback;
  }
  return found->string();
}

// One variable: its name, its effect size and (unless the weights come from
// regression) its weight.
struct variable {
  std::string name;
  double d = 0;
  double weight = 0;
};

// With `grouped`, the groups give the effect sizes and a variable has no d.
std::vector<variable> variables(const std::optional<json_value>& list, const char* key,
                                const char* prefix, bool weighted, bool required, bool grouped,
                                faults& f) {
  std::vector<variable> out;
  if (!list) {
    if (required) f.add(key, "required: a list of objects with name, d and weight");
    return out;
  }
  if (!list->is_array()) {
    f.add(key, "must be a list of objects with name, d and weight");
    return out;
  }
  out.reserve(list->size());
  std::size_t i = 0;
  for (const json_value item : *list) {
    ++i;
    // The path is made only for a fault.
    auto path = [&](const char* member) { return at(key, i - 1) + member; };
    variable& v = out.emplace_back();
    if (!item.is_object()) {
      v.name = prefix + std::to_string(i);
      f.add(path(""), "must be an object with name, d and weight");
      continue;
    }
    const members m = members_of(item, variable_key_list);
    if (!m.clean) only_keys(item, path(""), variable_key_list, f);
    if (const std::optional<json_value>& name = m.of[name_key]; name && name->is_string()) {
      v.name = name->string();
    } else {
      v.name = prefix + std::to_string(i);
      if (name) f.add(path(".name"), "must be a string");
    }
    if (const std::optional<json_value>& d = m.of[d_key]; grouped) {
      if (d) f.add(path(".d"), "not allowed with \"groups\": each group gives its effect sizes");
    } else if (!d) {
      f.add(path(".d"), "required: the effect size, minority mean minus majority mean");
    } else if (const auto value = number(
                   *d, [&] { return path(".d"); }, f)) {
      v.d = *value;
    }
    const std::optional<json_value>& weight = m.of[weight_key];
    if (weighted) {
      if (!weight) {
        f.add(path(".weight"), "required (or give \"weights\": \"regression\")");
      } else if (const auto w = number(
                     *weight, [&] { return path(".weight"); }, f)) {
        v.weight = *w;
      }
    } else if (weight && std::string_view(key) == "predictors") {
      f.add(path(".weight"), "not allowed with \"weights\": \"regression\"");
    }
  }
  return out;
}

std::vector<std::vector<double>> matrix(const std::optional<json_value>& m, faults& f) {
  std::vector<std::vector<double>> rows;
  if (!m) {
    f.add("correlations", "required: the correlation matrix, predictors then criteria");
    return rows;
  }
  if (!m->is_array()) {
    f.add("correlations", "must be a list of rows");
    return rows;
  }
  rows.reserve(m->size());
  std::size_t i = 0;
  for (const json_value r : *m) {
    std::vector<double> row;
    if (!r.is_array()) {
      f.add(at("correlations", i++), "must be a list of numbers");
      rows.push_back(row);
      continue;
    }
    row.reserve(r.size());
    std::size_t j = 0;
    for (const json_value x : r) {
      row.push_back(number(
                        x, [&] { return at(at("correlations", i), j); }, f)
                        .value_or(0));
      ++j;
    }
    rows.push_back(std::move(row));
    ++i;
  }
  return rows;
}

// The minority groups of "groups": each an object with a name, a share
// (optional) and d, one effect size per variable. The lengths and values
// are the library's to check.
std::vector<fourfifths::minority_group> groups_of(json_value list, faults& f) {
  std::vector<fourfifths::minority_group> out;
  if (!list.is_array() || list.size() == 0) {
    f.add("groups", "must be a list of objects with name, share and d");
    return out;
  }
  out.reserve(list.size());
  std::size_t i = 0;
  for (const json_value item : list) {
    const std::string path = at("groups", i++);
    fourfifths::minority_group& g = out.emplace_back();
    if (!item.is_object()) {
      f.add(path, "must be an object with name, share and d");
      continue;
    }
    const members m = members_of(item, group_key_list);
    if (!m.clean) only_keys(item, path, group_key_list, f);
    if (const std::optional<json_value>& name = m.of[group_name_key]; !name) {
      f.add(path + ".name", "required: the group's name");
    } else if (name->is_string()) {
      g.name = name->string();
      if (auto fault = name_fault(g.name)) f.add(path + ".name", *fault);
    } else {
      f.add(path + ".name", "must be a string");
    }
    if (const std::optional<json_value>& share = m.of[share_key]) {
      g.share = number(*share, path + ".share", f);
    }
    if (const std::optional<json_value>& d = m.of[group_d_key]; !d) {
      f.add(path + ".d", "required: the effect sizes, predictors then criteria");
    } else if (!d->is_array()) {
      f.add(path + ".d", "must be a list of effect sizes, predictors then criteria");
    } else {
      g.d.reserve(d->size());
      std::size_t j = 0;
      for (const json_value x : *d) {
        g.d.push_back(number(
                          x, [&] { return at(path + ".d", j); }, f)
                          .value_or(0));
        ++j;
      }
    }
  }
  return out;
}

// A count of rows: a whole number from `least` up, exactly held by a double.
std::optional<std::int64_t> row_count(json_value value, const std::string& path,
                                      std::int64_t least, faults& f) {
  if (value.is_number() && value.number() == std::floor(value.number()) &&
      value.number() >= static_cast<double>(least) && value.number() <= 0x1p53) {
    return static_cast<std::int64_t>(value.number());
  }
  f.add(path, "must be a whole number of rows, at least " + std::to_string(least));
  return std::nullopt;
}

// The sample a scenario was estimated from: "calibration_n" and the
// optional "calibration" object with the missing-data rule, the rows left
// out and each group's rows.
std::optional<calibration_sample> calibration_of(const std::optional<json_value>& size,
                                                 const std::optional<json_value>& detail,
                                                 faults& f) {
  if (!size) {
    if (detail) f.add("calibration", "needs \"calibration_n\", the rows it was estimated from");
    return std::nullopt;
  }
  calibration_sample c;
  c.n = row_count(*size, "calibration_n", 1, f).value_or(0);
  if (!detail) return c;
  if (!detail->is_object()) {
    f.add("calibration", "must be an object with missing, dropped and groups");
    return c;
  }
  const members m = members_of(*detail, calibration_key_list);
  if (!m.clean) only_keys(*detail, "calibration", calibration_key_list, f);
  if (const std::optional<json_value>& missing = m.of[missing_key]) {
    if (missing->is_string() && missing->string() == "listwise") {
      c.missing = "listwise";
    } else {
      f.add("calibration.missing", "must be \"listwise\"");
    }
  }
  if (const std::optional<json_value>& dropped = m.of[dropped_key]) {
    c.dropped = row_count(*dropped, "calibration.dropped", 0, f);
  }
  const std::optional<json_value>& list = m.of[sizes_key];
  if (!list) return c;
  if (!list->is_array()) {
    f.add("calibration.groups", "must be a list of objects with name and n");
    return c;
  }
  std::int64_t total = 0;
  std::size_t i = 0;
  for (const json_value item : *list) {
    const std::string path = at("calibration.groups", i++);
    group_size& g = c.groups.emplace_back();
    if (!item.is_object()) {
      f.add(path, "must be an object with name and n");
      continue;
    }
    const members gm = members_of(item, group_size_key_list);
    if (!gm.clean) only_keys(item, path, group_size_key_list, f);
    if (const std::optional<json_value>& name = gm.of[size_name_key];
        name && name->is_string()) {
      g.name = name->string();
      if (auto fault = name_fault(g.name)) f.add(path + ".name", *fault);
    } else {
      f.add(path + ".name", name ? "must be a string" : "required: the group's name");
    }
    if (const std::optional<json_value>& n = gm.of[size_n_key]) {
      g.n = row_count(*n, path + ".n", 0, f).value_or(0);
    } else {
      f.add(path + ".n", "required: the group's complete rows");
    }
    total += g.n;
  }
  if (f.list.empty() && total != c.n) {
    f.add("calibration.groups", "the groups' rows add up to " + std::to_string(total) +
                                    ", not calibration_n (" + std::to_string(c.n) + ")");
  }
  return c;
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

// A long list of faults is cut, saying how many more there are: a document
// with a hundred thousand bad values should not give three hundred
// thousand lines of messages.
void cap(std::vector<fourfifths::fault>& list) {
  if (list.size() <= most_faults) return;
  const std::size_t more = list.size() - most_faults;
  list.resize(most_faults);
  list.push_back({"", "and " + std::to_string(more) + " more faults"});
}

// A fault of the library in the document's terms. A fault of a whole list
// of weights concerns the weights of the list's members: say so where the
// path names only the list.
fourfifths::fault in_document(const fourfifths::fault& f) {
  fourfifths::fault g{document_path(f.path), f.message};
  if (f.path == "predictor_weights" || f.path == "criterion_weights") {
    g.message = "the weights " + f.message;
  }
  return g;
}

// Takes the faults of a problem built from a scenario; whether there were
// no errors.
template <class Built>
bool take_faults(loaded_scenario& out, const Built& built) {
  for (const fourfifths::fault& f : built.errors) out.errors.push_back(in_document(f));
  for (const fourfifths::fault& f : built.warnings) out.warnings.push_back(in_document(f));
  cap(out.errors);
  cap(out.warnings);
  if (out.errors.empty()) return true;
  out.status = scenario_status::invalid;
  return false;
}

}  // namespace

loaded_scenario check_scenario(scenario s) {
  loaded_scenario out;
  if (!s.groups.empty()) {
    // Several minority groups: a problem with several groups.
    fourfifths::group_problem_result built = fourfifths::make_group_problem({s.spec, s.groups});
    if (take_faults(out, built)) {
      out.group_problem = std::move(built.value);
      out.value = std::move(s);
    }
    return out;
  }
  fourfifths::problem_result built = fourfifths::make_problem(s.spec);
  if (take_faults(out, built)) {
    out.problem = std::move(built.value);
    out.value = std::move(s);
  }
  return out;
}

namespace {

// Bytes that are not UTF-8 (a message may quote the text it could not
// read) are written as <0xFF>, so that no message puts them on a terminal.
std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const auto c = static_cast<unsigned char>(text.front());
    const std::size_t length = c < 0x80 ? 1 : utf8_length(text);
    if (length == 0) {
      static constexpr char hex[] = "0123456789ABCDEF";
      out += "<0x";
      out += hex[c >> 4];
      out += hex[c & 15];
      out += '>';
      text.remove_prefix(1);
    } else {
      out.append(text.substr(0, length));
      text.remove_prefix(length);
    }
  }
  return out;
}

// The words for a text that is not JSON: nlohmann::json's own ("parse
// error at line 3, column 5: ..."), or the reader's own refusals, placed
// the same way.
std::string syntax_message(const json_failure& failure) {
  const std::string where = "JSON parse error at line " + std::to_string(failure.line) +
                            ", column " + std::to_string(failure.column) + ": ";
  switch (failure.why) {
    case json_failure::reason::nul_byte:
      return where + "a NUL byte, which JSON text cannot hold";
    case json_failure::reason::overflow:
      return where + "number overflow parsing '" + failure.token + "'";
    default:
      return printable("JSON " + failure.message);
  }
}

// A limit of the document's size, with the path of the list it stopped in.
fourfifths::fault limit_fault(const json_failure& failure) {
  const json_limits limits = scenario_limits();
  switch (failure.why) {
    case json_failure::reason::too_long:
      return {failure.path, "more than " + std::to_string(limits.most_items) +
                                " items: no list of a scenario holds more"};
    case json_failure::reason::too_deep:
      return {failure.path, "nested more than " + std::to_string(limits.most_depth) +
                                " deep: a scenario's values lie at most 3 deep"};
    default:
      return {failure.path, "more than " + std::to_string(limits.most_values) +
                                " values: a scenario holds fewer"};
  }
}

bool is_limit(const json_failure& failure) {
  return failure.why == json_failure::reason::too_long ||
         failure.why == json_failure::reason::too_deep ||
         failure.why == json_failure::reason::too_large;
}

// Names of a list that most likely mean one name: warnings, the scenario
// is analysed as written.
std::vector<std::string> look_alike_warnings(const scenario& s) {
  std::vector<std::string> out;
  auto add = [&](const auto& list, auto name_of, std::string_view what) {
    std::vector<std::string_view> names;
    names.reserve(list.size());
    for (const auto& item : list) names.push_back(name_of(item));
    for (std::string& w : look_alike_names(names, what)) out.push_back(std::move(w));
  };
  const auto itself = [](const std::string& n) -> std::string_view { return n; };
  add(s.predictor_names, itself, "predictors");
  add(s.criterion_names, itself, "criteria");
  add(s.groups, [](const fourfifths::minority_group& g) -> std::string_view { return g.name; },
      "groups");
  return out;
}

loaded_scenario read_document(json_value doc, id_rule ids, group_rule groups) {
  loaded_scenario out;
  if (!doc.is_object()) {
    out.errors.push_back({"", "the scenario must be a JSON object"});
    out.status = scenario_status::syntax_error;
    return out;
  }
  faults f;
  const members m = members_of(doc, top_key_list);
  if (!m.clean) only_keys(doc, "", top_key_list, f);
  scenario s;
  s.form = scenario_form::json;
  if (const std::optional<json_value>& title = m.of[title_key]) {
    if (title->is_string()) {
      s.title = title->string();
    } else {
      f.add("title", "must be a string");
    }
  }
  const std::optional<json_value>& id = m.of[id_key];
  if (id) {
    // A number is kept as it is written: an id names, it does not count.
    if (id->is_string() || id->is_number()) {
      out.id = std::string(id->string());
      if (auto fault = name_fault(*out.id)) f.add("id", *fault);
    } else {
      f.add("id", "must be a string or a number");
    }
  }
  if (ids == id_rule::required) {
    if (!id) {
      f.add("id", "required: a string or a number that names the scenario");
    } else if (out.id && out.id->empty()) {
      f.add("id", "must not be empty");
    }
  }
  fourfifths::problem_spec& spec = s.spec;
  spec.mode = *value_of<fourfifths::ratio_mode>(
      word(m.of[mode_key], "mode", {"majority", "overall"}, "overall", f));
  spec.regression_weights =
      word(m.of[weights_key], "weights", {"given", "regression"}, "given", f) == "regression";
  const std::optional<json_value>& group_list = m.of[groups_key];
  const bool grouped = group_list.has_value();
  if (grouped && groups == group_rule::refused) {
    f.add("groups", "several minority groups are not analysed here: one minority group only");
  }
  std::vector<variable> predictors = variables(m.of[predictors_key], "predictors", "P",
                                               !spec.regression_weights, true, grouped, f);
  std::vector<variable> criteria =
      variables(m.of[criteria_key], "criteria", "C", true, false, grouped, f);
  const bool has_criteria = !criteria.empty();
  spec.quality = *value_of<fourfifths::quality_basis>(
      word(m.of[quality_key], "quality", {"criterion", "predictor"},
           has_criteria ? "criterion" : "predictor", f));
  spec.predictors = static_cast<int>(predictors.size());
  spec.criteria = static_cast<int>(criteria.size());
  s.predictor_names.reserve(predictors.size());
  if (!grouped) spec.predictor_effects.reserve(predictors.size());
  if (!spec.regression_weights) spec.predictor_weights.reserve(predictors.size());
  for (variable& v : predictors) {
    s.predictor_names.push_back(std::move(v.name));
    if (!grouped) spec.predictor_effects.push_back(v.d);
    if (!spec.regression_weights) spec.predictor_weights.push_back(v.weight);
  }
  s.criterion_names.reserve(criteria.size());
  if (!grouped) spec.criterion_effects.reserve(criteria.size());
  spec.criterion_weights.reserve(criteria.size());
  for (variable& v : criteria) {
    s.criterion_names.push_back(std::move(v.name));
    if (!grouped) spec.criterion_effects.push_back(v.d);
    spec.criterion_weights.push_back(v.weight);
  }
  spec.correlations = matrix(m.of[correlations_key], f);
  if (grouped && groups == group_rule::accepted) s.groups = groups_of(*group_list, f);
  if (const std::optional<json_value>& share = m.of[minority_share_key]) {
    spec.minority_share = number(*share, "minority_share", f);
  }
  if (const std::optional<json_value>& mix = m.of[majority_per_minority_key]) {
    spec.majority_per_minority = number(*mix, "majority_per_minority", f);
  }
  if (const std::optional<json_value>& r = m.of[requested_ratios_key]) {
    if (!r->is_array()) {
      f.add("requested_ratios", "must be a list of selection ratios");
    } else {
      spec.requested_ratios.reserve(r->size());
      std::size_t i = 0;
      for (const json_value ratio : *r) {
        spec.requested_ratios.push_back(number(
                                            ratio, [&] { return at("requested_ratios", i); }, f)
                                            .value_or(0));
        ++i;
      }
    }
  }
  s.calibration = calibration_of(m.of[calibration_n_key], m.of[calibration_key], f);
  if (!f.list.empty()) {
    out.errors = std::move(f.list);
    cap(out.errors);
    out.status = scenario_status::invalid;
    return out;
  }
  const std::vector<std::string> look_alikes = look_alike_warnings(s);
  loaded_scenario result = check_scenario(std::move(s));
  result.id = std::move(out.id);
  for (const std::string& w : look_alikes) result.warnings.push_back({"", w});
  return result;
}

// A text that could not be read into a document: one fault.
loaded_scenario unreadable(const json_failure& failure) {
  loaded_scenario out;
  if (is_limit(failure)) {
    out.errors.push_back(limit_fault(failure));
    out.status = scenario_status::invalid;
  } else {
    out.errors.push_back({"", syntax_message(failure)});
    out.status = scenario_status::syntax_error;
  }
  return out;
}

}  // namespace

json_limits scenario_limits() {
  json_limits limits;
  limits.most_items = most_requested_ratios;
  return limits;
}

scenario_form form_of(std::string_view text) {
  // A byte-order mark may stand before a JSON text.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  for (const char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
    return c == '{' ? scenario_form::json : scenario_form::deck;
  }
  return scenario_form::deck;
}

loaded_scenario scenario_reader::read(std::string_view text, id_rule ids, group_rule groups) {
  if (const std::optional<json_failure> failure = read_json(text, scenario_limits(), document_)) {
    return unreadable(*failure);
  }
  return read_document(json_value(document_, 0), ids, groups);
}

loaded_scenario scenario_reader::read(const nlohmann::json& doc, id_rule ids, group_rule groups) {
  if (const std::optional<json_failure> failure =
          read_json_value(doc, scenario_limits(), document_)) {
    return unreadable(*failure);
  }
  return read_document(json_value(document_, 0), ids, groups);
}

loaded_scenario read_json_scenario(std::string_view text, id_rule ids, group_rule groups) {
  return scenario_reader().read(text, ids, groups);
}

loaded_scenario read_json_document(const nlohmann::json& doc, id_rule ids, group_rule groups) {
  return scenario_reader().read(doc, ids, groups);
}

namespace {

// The keys of a document laid out flat that the schema does not have, or
// that it gives more than once.
std::vector<fourfifths::fault> key_faults(const json_document& document) {
  faults f;
  const json_value root(document, 0);
  if (!root.is_object()) return f.list;
  only_keys(root, "", top_key_list, f);
  for (const char* key : {"predictors", "criteria"}) {
    const std::optional<json_value> list = root.find(key);
    if (!list || !list->is_array()) continue;
    std::size_t i = 0;
    for (const json_value item : *list) {
      if (item.is_object()) only_keys(item, at(key, i), variable_key_list, f);
      ++i;
    }
  }
  if (const std::optional<json_value> c = root.find("calibration"); c && c->is_object()) {
    only_keys(*c, "calibration", calibration_key_list, f);
    if (const std::optional<json_value> list = c->find("groups"); list && list->is_array()) {
      std::size_t i = 0;
      for (const json_value item : *list) {
        if (item.is_object()) only_keys(item, at("calibration.groups", i), group_size_key_list, f);
        ++i;
      }
    }
  }
  if (const std::optional<json_value> list = root.find("groups"); list && list->is_array()) {
    std::size_t i = 0;
    for (const json_value item : *list) {
      if (item.is_object()) only_keys(item, at("groups", i), group_key_list, f);
      ++i;
    }
  }
  return f.list;
}

}  // namespace

std::vector<fourfifths::fault> unknown_keys(const nlohmann::json& doc) {
  json_document document;
  if (read_json_value(doc, scenario_limits(), document) || !doc.is_object()) return {};
  return key_faults(document);
}

std::vector<fourfifths::fault> unknown_keys(std::string_view text) {
  json_document document;
  if (read_json(text, scenario_limits(), document)) return {};
  return key_faults(document);
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
  // The library's warnings of a deck (a matrix that is not positive
  // definite), as a JSON scenario's are given.
  out.warnings = std::move(d.warnings);
  out.problem = std::move(d.value);
  out.value = std::move(s);
  return out;
}

loaded_scenario read_scenario(std::string_view text, group_rule groups) {
  if (text.size() > most_scenario_bytes) {
    loaded_scenario out;
    out.errors.push_back({"", "longer than " + std::to_string(most_scenario_bytes >> 20) +
                                  " MiB: no scenario is that long"});
    out.status = scenario_status::syntax_error;
    return out;
  }
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

// The sample the scenario was estimated from, each group's rows on a line.
void calibration_json(std::string& out, const std::optional<calibration_sample>& c) {
  if (!c) return;
  out += ",\n  \"calibration_n\": " + std::to_string(c->n);
  if (c->missing.empty() && !c->dropped && c->groups.empty()) return;
  out += ",\n  \"calibration\": {";
  const char* sep = "";
  if (!c->missing.empty()) {
    out += "\"missing\": " + quoted(c->missing);
    sep = ", ";
  }
  if (c->dropped) {
    (out += sep) += "\"dropped\": " + std::to_string(*c->dropped);
    sep = ", ";
  }
  if (!c->groups.empty()) {
    (out += sep) += "\"groups\": [";
    for (std::size_t i = 0; i < c->groups.size(); ++i) {
      out += i == 0 ? "\n" : ",\n";
      out += "    {\"name\": " + quoted(c->groups[i].name) +
             ", \"n\": " + std::to_string(c->groups[i].n) + "}";
    }
    out += "\n  ]";
  }
  out += "}";
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
  calibration_json(out, s.calibration);
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
  if (s.calibration) {
    j["calibration_n"] = s.calibration->n;
    json detail = *s.calibration;
    if (!detail.empty()) j["calibration"] = std::move(detail);
  }
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

void to_json(nlohmann::json& j, const calibration_sample& c) {
  j = json::object();
  if (!c.missing.empty()) j["missing"] = c.missing;
  if (c.dropped) j["dropped"] = *c.dropped;
  if (c.groups.empty()) return;
  json groups = json::array();
  for (const group_size& g : c.groups) groups.push_back({{"name", g.name}, {"n", g.n}});
  j["groups"] = std::move(groups);
}

namespace {

std::string values_line(const std::vector<double>& values) {
  std::string out;
  for (std::size_t i = 0; i < values.size(); ++i) out += (i == 0 ? "" : " ") + shortest(values[i]);
  return out;
}

// A comment's text kept on its line: a line break in a title or a name
// would start the next read, and the numbers after it would shift. Control
// characters are written as a JSON string writes them ("\n", "\u0000"),
// and a backslash doubled, so that the comment still says what was there.
std::string comment_text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F && c != '\\') {
      out += c;
      continue;
    }
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default: {
        static constexpr char hex[] = "0123456789abcdef";
        out += "\\u00";
        out += hex[byte >> 4];
        out += hex[byte & 15];
      }
    }
  }
  return out;
}

std::string names(const std::vector<std::string>& list) {
  std::string out;
  for (const std::string& n : list) out += (out.empty() ? "" : ", ") + comment_text(n);
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
  if (s.calibration) {
    deck.warnings.push_back(
        {"", "the deck form has no calibration sample: its sizes are left out"});
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
  if (!s.title.empty()) header_comment = comment_text(s.title) + ": " + header_comment;
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
    line(out, values_line(spec.correlations[i]), "correlations of " + comment_text(all[i]));
  }
  line(out, values_line(spec.predictor_effects),
       "predictor effect sizes (minority minus majority)");
  if (spec.criteria != 0) line(out, values_line(spec.criterion_effects), "criterion effect sizes");
  if (nsr > 0) line(out, values_line(spec.requested_ratios), "requested selection ratios");
  return deck;
}

}  // namespace present
