#include "present/group_table.h"

#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string_view>

#include "present/frame.h"
#include "present/names.h"
#include "present/numbers.h"
#include "present/table.h"

namespace present {

namespace {

using fourfifths::group_outcome;
using fourfifths::group_rate;

// The numeric columns after kind, target and group, and how to read each
// from an outcome and one of its groups; passes_four_fifths is written
// apart.
struct column {
  const char* name;
  std::optional<double> (*value)(const group_outcome&, const group_rate&);
  const char* description = "";
  bool of_group = false;  // whether it differs from group to group
};

constexpr column columns[] = {
    {"cut_score",
     [](const group_outcome& o, const group_rate&) -> std::optional<double> { return o.cut_score; },
     "the cut score on the predictor composite (majority standard deviations)"},
    {"sr", [](const group_outcome& o, const group_rate&) { return o.sr; },
     "the overall selection ratio (with every group's share)"},
    {"sr_group",
     [](const group_outcome&, const group_rate& r) -> std::optional<double> { return r.sr; },
     "the group's selection rate", true},
    {"ai_vs_majority",
     [](const group_outcome&, const group_rate& r) -> std::optional<double> {
       return r.ai_vs_majority;
     },
     "the group's rate / the majority's", true},
    {"ratio_to_highest",
     [](const group_outcome&, const group_rate& r) -> std::optional<double> {
       return r.ratio_to_highest;
     },
     "the group's rate / the highest rate of any group", true},
    {"passes_four_fifths", nullptr, "every group's rate is at least 0.8 of the highest"},
    {"mean", [](const group_outcome& o, const group_rate&) { return o.mean; },
     "the mean quality of those selected (with every group's share)"},
    {"mean_group",
     [](const group_outcome&, const group_rate& r) -> std::optional<double> { return r.mean; },
     "the mean quality of the group's selected", true},
};

void append_rows(std::string& out, const group_table_entry& e, const std::string* id) {
  const group_outcome& o = e.result;
  // What every group's row repeats is written once: the id, kind and
  // target, and the values of the whole selection (a batch's rows are
  // mostly numbers, and writing a number is most of their cost).
  std::string head;
  if (id != nullptr) {
    append_csv_field(head, *id);
    head += ',';
  }
  head += name_of(e.kind);
  head += ',';
  append_number(head, o.target);
  head += ',';
  std::array<std::string, std::size(columns)> shared;
  if (o.solved()) {
    const group_rate none;
    for (std::size_t k = 0; k < std::size(columns); ++k) {
      const column& c = columns[k];
      if (c.value == nullptr) {
        shared[k] = o.passes_four_fifths() ? "true" : "false";
      } else if (!c.of_group) {
        if (const std::optional<double> v = c.value(o, none)) append_number(shared[k], *v);
      }
    }
  }
  for (const group_rate& r : o.groups) {
    out += head;
    append_csv_field(out, r.name);
    for (std::size_t k = 0; k < std::size(columns); ++k) {
      const column& c = columns[k];
      out += ',';
      if (!o.solved()) continue;  // only the target
      if (c.of_group) {
        if (const std::optional<double> v = c.value(o, r)) append_number(out, *v);
      } else {
        out += shared[k];
      }
    }
    out += ',';
    out += name_of(o.status);
    out += '\n';
  }
}

}  // namespace

group_table make_group_table(const fourfifths::group_problem& p,
                             const std::optional<std::vector<double>>& ratios) {
  const fourfifths::group_model model = fourfifths::group_model_of(p);
  group_table t;
  t.minimum = fourfifths::find_group_minimum(model);
  auto add = [&](fourfifths::entry_kind kind, double r) {
    t.entries.push_back({kind, fourfifths::group_outcome_at(model, r)});
  };
  auto add_minimum = [&] {
    if (t.minimum.found) t.entries.push_back({fourfifths::entry_kind::minimum, t.minimum.at});
  };
  if (ratios) {
    for (const double r : *ratios) add(fourfifths::entry_kind::requested, r);
    add_minimum();
    return t;
  }
  for (const double r : fourfifths::builtin_ratios) add(fourfifths::entry_kind::builtin, r);
  add_minimum();
  for (const double r : p.base().spec().requested_ratios) {
    add(fourfifths::entry_kind::requested, r);
  }
  return t;
}

fourfifths::group_problem_result as_group_problem(const fourfifths::problem& p) {
  fourfifths::group_problem_spec spec;
  spec.base = p.spec();
  fourfifths::minority_group g;
  g.name = "minority";
  g.d = spec.base.predictor_effects;
  g.d.insert(g.d.end(), spec.base.criterion_effects.begin(), spec.base.criterion_effects.end());
  if (spec.base.minority_share) {
    g.share = spec.base.minority_share;
  } else if (spec.base.majority_per_minority) {
    g.share = 1 / (1 + *spec.base.majority_per_minority);
  }
  spec.base.predictor_effects.clear();
  spec.base.criterion_effects.clear();
  spec.base.minority_share.reset();
  spec.base.majority_per_minority.reset();
  spec.groups.push_back(std::move(g));
  return fourfifths::make_group_problem(std::move(spec));
}

std::string group_csv_header(bool with_id) {
  std::string out = with_id ? "id,kind,target,group" : "kind,target,group";
  for (const column& c : columns) {
    out += ',';
    out += c.name;
  }
  return out + ",status\n";
}

void append_group_csv(std::string& out, const group_table& t, const std::string* id) {
  for (const group_table_entry& e : t.entries) append_rows(out, e, id);
}

void append_group_csv_error(std::string& out, const std::string& id, const std::string& message) {
  append_csv_field(out, id);
  out += ",,,";  // no kind, target or group
  for (std::size_t i = 0; i < std::size(columns); ++i) out += ',';
  out += ',';
  append_csv_field(out, "error: " + message);
  out += '\n';
}

frame group_table_frame(const group_table& t) {
  frame f;
  f.columns.reserve(std::size(columns) + 4);  // the references below stay valid
  for (const group_table_entry& e : t.entries) f.rows += e.result.groups.size();
  frame_column& kind = f.add("kind", column_type::text,
                             "the row: builtin, minimum (the four-fifths minimum) or requested");
  frame_column& target = f.add("target", column_type::number,
                               "the selection ratio asked for (overall, or the majority's in "
                               "majority mode)");
  frame_column& group = f.add("group", column_type::text, "the group, the majority first");
  for (const group_table_entry& e : t.entries) {
    for (const group_rate& r : e.result.groups) {
      push_text(kind, name_of(e.kind));
      push_number(target, e.result.target);
      push_text(group, r.name);
    }
  }
  for (const column& c : columns) {
    const bool verdict = c.value == nullptr;
    frame_column& out =
        f.add(c.name, verdict ? column_type::boolean : column_type::number, c.description);
    for (const group_table_entry& e : t.entries) {
      const group_outcome& o = e.result;
      for (const group_rate& r : o.groups) {
        if (verdict && o.solved()) {
          push_flag(out, o.passes_four_fifths());
        } else {
          push_optional(out, verdict || !o.solved() ? std::nullopt : c.value(o, r));
        }
      }
    }
  }
  frame_column& status =
      f.add("status", column_type::text, "solved, or why the row has no numbers");
  for (const group_table_entry& e : t.entries) {
    for (std::size_t g = 0; g < e.result.groups.size(); ++g)
      push_text(status, name_of(e.result.status));
  }
  if (t.pools) {
    std::vector<std::size_t> repeat;
    for (const group_table_entry& e : t.entries) repeat.push_back(e.result.groups.size());
    append_pool_columns(f, *t.pools, repeat);
  }
  return f;
}

void add_pool_chances(group_table& t, const fourfifths::pool_population& population,
                      const fourfifths::pool_options& o) {
  std::vector<std::optional<double>> ratios;
  for (const group_table_entry& e : t.entries) {
    ratios.push_back(e.result.solved() ? e.result.sr : std::nullopt);
  }
  t.pools = pool_chances_at(population, ratios, o);
}

std::string group_table_csv(const group_table& t) { return frame_csv(group_table_frame(t)); }

nlohmann::json group_table_document(const group_table& t, const std::string* id) {
  nlohmann::json j = nlohmann::json::object();
  if (id != nullptr) j["id"] = *id;
  j["method"] = name_of(fourfifths::method::precise);
  if (t.minimum.found) {
    j["four_fifths_minimum"] = {{"sr", t.minimum.ratio},
                                {"cut_score", t.minimum.at.cut_score},
                                {"lowest_group", t.minimum.lowest},
                                {"highest_group", t.minimum.highest}};
  } else {
    j["four_fifths_minimum"] = nullptr;
  }
  if (t.pools) j["pool"] = pool_document(*t.pools);
  j["rows"] = frame_records(group_table_frame(t));
  return j;
}

std::string group_table_json(const group_table& t) {
  return group_table_document(t, nullptr)
             .dump(2, ' ', false, nlohmann::json::error_handler_t::replace) +
         "\n";
}

void append_group_json_line(std::string& out, const group_table& t, const std::string* id) {
  out += group_table_document(t, id).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  out += '\n';
}

std::string group_table_text(const group_table& t) {
  std::string out;
  char line[512];
  constexpr const char* layout = "%-10s %8s %-12s %9s %8s %8s %8s %8s %8s %8s %8s  %s\n";
  // The pools' chances, when asked for, after the status.
  auto with_pool = [&](std::string text, const std::optional<fourfifths::pool_probabilities>* p) {
    if (!t.pools) return text;
    text.pop_back();
    // The status, the last field, padded to a column.
    const std::size_t status_size = text.size() - (text.rfind("  ") + 2);
    if (status_size < 12) text.append(12 - status_size, ' ');
    return text.append(p == nullptr ? pool_text_header() : pool_text_cells(*p)).append("\n");
  };
  std::snprintf(line, sizeof line, layout, "kind", "target", "group", "cut", "sr", "sr_group",
                "ai_maj", "to_high", "passes", "mean", "mean_grp", "status");
  out += with_pool(line, nullptr);
  auto cell = [](std::optional<double> v) {
    char text[32];
    if (!v) return std::string("-");
    std::snprintf(text, sizeof text, "%.4f", *v);
    return std::string(text);
  };
  for (std::size_t i = 0; i < t.entries.size(); ++i) {
    const group_table_entry& e = t.entries[i];
    const group_outcome& o = e.result;
    const bool ok = o.solved();
    const bool passes = o.passes_four_fifths();
    for (const group_rate& r : o.groups) {
      auto shown = [&](std::optional<double> v) { return ok ? cell(v) : std::string("-"); };
      std::snprintf(line, sizeof line, layout, std::string(name_of(e.kind)).c_str(),
                    cell(o.target).c_str(), r.name.c_str(), shown(o.cut_score).c_str(),
                    shown(o.sr).c_str(), shown(r.sr).c_str(), shown(r.ai_vs_majority).c_str(),
                    shown(r.ratio_to_highest).c_str(), ok ? (passes ? "yes" : "no") : "-",
                    shown(o.mean).c_str(), shown(r.mean).c_str(),
                    std::string(name_of(o.status)).c_str());
      out += with_pool(line, t.pools ? &t.pools->rows[i] : nullptr);
    }
  }
  if (t.minimum.found) {
    std::snprintf(line, sizeof line,
                  "four-fifths minimum selection ratio: %.4f (lowest group %s, highest %s)\n",
                  t.minimum.ratio, t.minimum.lowest.c_str(), t.minimum.highest.c_str());
  } else {
    std::snprintf(line, sizeof line, "four-fifths minimum selection ratio: none\n");
  }
  out += line;
  if (t.pools) out += pool_text_footer(*t.pools);
  return out;
}

}  // namespace present
