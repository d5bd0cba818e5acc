#include "present/pool_columns.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "fourfifths/analysis.h"

namespace present {

namespace {

using fourfifths::pool_probabilities;

std::string fixed4(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", v);
  return text;
}

}  // namespace

std::optional<fourfifths::pool_population> pool_population_of(const fourfifths::problem& p) {
  const fourfifths::selection_model m = fourfifths::model_of(p);
  if (!m.mix) return std::nullopt;
  return fourfifths::pool_population{
      {{"majority", m.mix->majority, 0}, {"minority", m.mix->minority, m.predictor_effect}}};
}

std::optional<fourfifths::pool_population> pool_population_of(
    const fourfifths::group_problem& p) {
  const fourfifths::group_model m = fourfifths::group_model_of(p);
  if (!m.majority_share) return std::nullopt;
  fourfifths::pool_population out;
  out.groups.push_back({std::string(fourfifths::majority_group_name), *m.majority_share, 0});
  for (const fourfifths::group_effect& g : m.groups) {
    if (!g.share) return std::nullopt;
    out.groups.push_back({g.name, *g.share, g.predictor_effect});
  }
  return out;
}

std::optional<fourfifths::fault> pool_fault(
    const std::optional<fourfifths::pool_population>& population,
    const fourfifths::pool_options& o) {
  if (!population) {
    return fourfifths::fault{
        "scenario",
        "a pool is drawn by the groups' shares of the applicants, which the scenario does not give"};
  }
  std::vector<fourfifths::fault> faults = fourfifths::check_pool(*population, o);
  if (faults.empty()) return std::nullopt;
  return faults.front();
}

pool_chances pool_chances_at(const fourfifths::pool_population& population,
                             std::span<const std::optional<double>> overall_ratios,
                             const fourfifths::pool_options& o) {
  std::vector<double> ratios;
  for (const std::optional<double>& r : overall_ratios) {
    if (r) ratios.push_back(*r);
  }
  const fourfifths::pool_result r = fourfifths::finite_pool_at(population, ratios, o);
  if (!r) throw std::invalid_argument("pools: " + r.errors.front().text());
  pool_chances out;
  out.options = o;
  std::size_t next = 0;
  for (const std::optional<double>& ratio : overall_ratios) {
    if (ratio) {
      out.rows.emplace_back((*r)[next++]);
    } else {
      out.rows.emplace_back();
    }
  }
  return out;
}

void append_pool_columns(frame& f, const pool_chances& c, std::span<const std::size_t> repeat) {
  struct chance {
    const char* name;
    double pool_probabilities::*value;
    std::optional<double> pool_probabilities::*error;
    const char* description;
    const char* error_description;
  };
  static constexpr chance chances[] = {
      {"p_fail_four_fifths", &pool_probabilities::fail_four_fifths,
       &pool_probabilities::fail_four_fifths_se,
       "the chance that a pool fails the four-fifths rule (some group below 0.8 of the highest "
       "rate)",
       "the Monte Carlo standard error of p_fail_four_fifths (empty: exact)"},
      {"p_fisher", &pool_probabilities::fisher, &pool_probabilities::fisher_se,
       "the chance that Fisher's exact test finds a difference at the level alpha",
       "the Monte Carlo standard error of p_fisher (empty: exact)"},
      {"p_z", &pool_probabilities::z, &pool_probabilities::z_se,
       "the chance that the pooled z test finds a difference at the level alpha",
       "the Monte Carlo standard error of p_z (empty: exact)"},
      {"p_group_absent", &pool_probabilities::group_absent,
       &pool_probabilities::group_absent_se,
       "the chance that a group has no applicants in a pool (it is then left out of the "
       "comparison)",
       "the Monte Carlo standard error of p_group_absent (empty: exact)"},
  };
  auto times = [&](std::size_t i) { return repeat.empty() ? std::size_t{1} : repeat[i]; };
  const std::size_t before = f.columns.size();
  f.columns.reserve(before + 2 + 2 * std::size(chances));  // the references below stay valid
  frame_column& selected =
      f.add("pool_selected", column_type::integer,
            "round(R M): the applicants selected from a pool of M at the row's overall ratio R");
  for (std::size_t i = 0; i < c.rows.size(); ++i) {
    for (std::size_t n = 0; n < times(i); ++n) {
      push_optional(selected, c.rows[i] ? std::optional<double>(static_cast<double>(
                                              c.rows[i]->selected))
                                        : std::nullopt);
    }
  }
  for (const chance& ch : chances) {
    frame_column& value = f.add(ch.name, column_type::number, ch.description);
    for (std::size_t i = 0; i < c.rows.size(); ++i) {
      for (std::size_t n = 0; n < times(i); ++n) {
        push_optional(value, c.rows[i] ? std::optional<double>((*c.rows[i]).*ch.value)
                                       : std::nullopt);
      }
    }
    frame_column& error =
        f.add(std::string(ch.name) + "_se", column_type::number, ch.error_description);
    for (std::size_t i = 0; i < c.rows.size(); ++i) {
      for (std::size_t n = 0; n < times(i); ++n) {
        push_optional(error, c.rows[i] ? (*c.rows[i]).*ch.error : std::nullopt);
      }
    }
  }
  frame_column& method = f.add("pool_method", column_type::text,
                               "exact, or simulated (from --replications pools)");
  for (std::size_t i = 0; i < c.rows.size(); ++i) {
    for (std::size_t n = 0; n < times(i); ++n) {
      if (!c.rows[i]) {
        push_missing(method);
      } else {
        push_text(method,
                  c.rows[i]->method == fourfifths::pool_method::exact ? "exact" : "simulated");
      }
    }
  }
}

nlohmann::json pool_document(const pool_chances& c) {
  const bool simulated = std::any_of(c.rows.begin(), c.rows.end(), [](const auto& r) {
    return r && r->method == fourfifths::pool_method::simulated;
  });
  nlohmann::json j = {{"applicants", c.options.applicants}, {"alpha", c.options.alpha}};
  if (simulated) {
    j["replications"] = c.options.replications;
    j["seed"] = c.options.seed;
  }
  return j;
}

std::string pool_text_header() { return "  p_fail p_fisher      p_z p_absent"; }

std::string pool_text_cells(const std::optional<pool_probabilities>& p) {
  std::string out;
  for (const double v : {p ? p->fail_four_fifths : 0, p ? p->fisher : 0, p ? p->z : 0,
                         p ? p->group_absent : 0}) {
    const std::string cell = p ? fixed4(v) : std::string("-");
    out.append(out.empty() ? 2 : 1, ' ').append(std::string(8 - std::min<std::size_t>(8, cell.size()), ' ')).append(cell);
  }
  return out;
}

std::string pool_text_footer(const pool_chances& c) {
  std::string out =
      "pools of " + std::to_string(c.options.applicants) + " applicants: ";
  double worst = -1;
  for (const auto& r : c.rows) {
    if (!r || r->method != fourfifths::pool_method::simulated) continue;
    for (const auto& se : {r->fail_four_fifths_se, r->fisher_se, r->z_se, r->group_absent_se}) {
      worst = std::max(worst, se.value_or(0));
    }
  }
  if (worst < 0) return out + "exact chances\n";
  return out + "simulated, " + std::to_string(c.options.replications) + " pools (seed " +
         std::to_string(c.options.seed) + "), standard errors at most " + fixed4(worst) + "\n";
}

}  // namespace present
