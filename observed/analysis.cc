// The library's entry point for observed counts: the checks, the units and
// groups in the data's order, and every group's comparison with the
// reference in each unit and, with several units, in all of them together;
// or, for the steps of one process, in each step and in the bottom line.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "fourfifths/observed.h"
#include "numeric/precise_normal.h"
#include "observed/arithmetic.h"
#include "observed/hypergeometric.h"
#include "observed/two_by_two.h"

namespace fourfifths {

namespace {

using observed::int128;
using observed::to_double;

// One group's counts in one unit (or in all units together).
struct cell {
  int group = 0;            // index into the group names
  std::uint32_t entry = 0;  // the entry of the counts it comes from (where it has one)
  std::int64_t applicants = 0;
  std::int64_t selected = 0;
};

// Whether x's rate is above y's, exactly (both have applicants).
bool higher(const cell& x, const cell& y) {
  return static_cast<int128>(x.selected) * y.applicants >
         static_cast<int128>(y.selected) * x.applicants;
}

// The reference with one selection fewer.
cell ref_less_one(const cell& ref) { return {ref.group, ref.entry, ref.applicants, ref.selected - 1}; }

// The four-fifths rule: a/n1 >= 4/5 of c/n2, exactly.
bool passes(std::int64_t a, std::int64_t n1, std::int64_t c, std::int64_t n2) {
  return 5 * static_cast<int128>(a) * n2 >= 4 * static_cast<int128>(c) * n1;
}

// The selections the group lacks: the least k >= 0 with (a + k)/n1 >=
// 4/5 c/n2, that is k >= (4 c n1 - 5 a n2) / (5 n2).
std::int64_t shortfall(std::int64_t a, std::int64_t n1, std::int64_t c, std::int64_t n2) {
  const int128 lack = 4 * static_cast<int128>(c) * n1 - 5 * static_cast<int128>(a) * n2;
  if (lack <= 0) return 0;
  const int128 per = 5 * static_cast<int128>(n2);
  return static_cast<std::int64_t>((lack + per - 1) / per);
}

// What the unit's comparisons need besides the cells: the reference and,
// for the one-person test, the three highest rates.
struct unit_view {
  std::span<const cell> cells;
  int reference = -1;                      // index into cells, or -1
  bool named = false;                      // the reference was named (its rate is not the highest)
  std::array<int, 3> highest{-1, -1, -1};  // indices into cells, highest rate first
  std::int64_t applicants = 0, selected = 0;
};

unit_view view_of(std::span<const cell> cells, int named_group) {
  unit_view u;
  u.cells = cells;
  u.named = named_group >= 0;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const cell& c = cells[i];
    u.applicants += c.applicants;
    u.selected += c.selected;
    if (c.applicants == 0) continue;
    if (c.group == named_group) u.reference = static_cast<int>(i);
    // Insert into the top three; an equal rate stays behind the earlier.
    int k = static_cast<int>(i);
    for (int& slot : u.highest) {
      if (slot < 0) {
        slot = k;
        break;
      }
      if (higher(cells[static_cast<std::size_t>(k)], cells[static_cast<std::size_t>(slot)])) {
        std::swap(slot, k);
      }
    }
  }
  if (!u.named) u.reference = u.highest[0];
  return u;
}

// Whether moving one selection between group g and the reference reverses
// g's verdict: to g when it fails, from g when it passes. When the
// reference is the highest rate, the highest rate after the move is taken
// (the reference's, g's, or the best of the others). The move exists
// whenever g fails (its rate is then below the reference's, so it has
// someone unselected and the reference someone selected); when g passes,
// it needs a selection of g's and an applicant of the reference's left.
bool one_person_flips(const unit_view& u, int g, bool verdict) {
  const cell& group = u.cells[static_cast<std::size_t>(g)];
  const cell& ref = u.cells[static_cast<std::size_t>(u.reference)];
  const int step = verdict ? -1 : 1;
  const std::int64_t a = group.selected + step;
  const std::int64_t c = ref.selected - step;
  cell top{ref.group, ref.entry, ref.applicants, c};
  if (!u.named) {
    const cell moved{group.group, group.entry, group.applicants, a};
    if (higher(moved, top)) top = moved;
    for (const int k : u.highest) {
      if (k < 0 || k == g || k == u.reference) continue;
      if (higher(u.cells[static_cast<std::size_t>(k)], top))
        top = u.cells[static_cast<std::size_t>(k)];
      break;
    }
  }
  return passes(a, group.applicants, top.selected, top.applicants) != verdict;
}

// Why the flip's move does not exist, if it does not (see one_person_flips).
one_person_note no_flip(const cell& group, const cell& ref, bool verdict) {
  if (!verdict) return one_person_note::none;
  if (group.selected == 0) return one_person_note::group_selected_no_one;
  if (ref.selected == ref.applicants) return one_person_note::reference_selected_everyone;
  return one_person_note::none;
}

// The one-person rule of the Questions and Answers on the Uniform
// Guidelines (no. 21): adverse impact is not taken as shown where "the
// selection of one different person for one job" would give the group a
// rate no longer below the other's. We read one different person for one
// job as one job going to the group instead of to the reference: one more
// of the group selected and one fewer of the reference, the numbers of
// applicants and of jobs unchanged, the two groups alone compared. Where
// the rates would become equal there is no adverse impact left either, so
// equal counts as reversed. Asked only where the group's rate is below the
// reference's, where the move always exists: a < n1 and c > 0.
std::optional<bool> one_person_reverses(const cell& group, const cell& ref) {
  if (!higher(ref, group)) return std::nullopt;
  return !higher(ref_less_one(ref), cell{group.group, group.entry, group.applicants, group.selected + 1});
}

// The comparison of cell g of a unit with the unit's reference.
comparison compare(const unit_view& u, int g, double alpha, double z_level) {
  const cell& x = u.cells[static_cast<std::size_t>(g)];
  comparison out;
  out.applicants = x.applicants;
  out.selected = x.selected;
  if (x.applicants == 0) {
    out.status = comparison_status::no_applicants;
    return out;
  }
  const std::int64_t a = x.selected;
  const std::int64_t n1 = x.applicants;
  out.rate = static_cast<double>(a) / static_cast<double>(n1);
  // The unit's overall rate times the group's applicants, less its
  // selections: (n1 S - a N) / N from exact whole numbers.
  out.shortfall_pool =
      to_double(static_cast<int128>(n1) * u.selected - static_cast<int128>(a) * u.applicants) /
      static_cast<double>(u.applicants);
  if (u.reference < 0) {
    out.status = comparison_status::no_reference;
    return out;
  }
  if (g == u.reference) {
    out.status = comparison_status::reference;
    out.impact_ratio = 1;
    out.passes_four_fifths = true;
    out.shortfall_four_fifths = 0;
    return out;
  }
  const cell& ref = u.cells[static_cast<std::size_t>(u.reference)];
  const std::int64_t c = ref.selected;
  const std::int64_t n2 = ref.applicants;
  if (a == 0 && c == 0) {
    // Neither selected anyone: the ratio is 0/0, so the rule has nothing
    // to judge (0 >= 0.8 * 0 would call it met, which says nothing about
    // how the group fares), nothing is short of it, and no selection can
    // move between the two.
    out.note = one_person_note::group_selected_no_one;
  } else {
    const bool verdict = passes(a, n1, c, n2);
    out.passes_four_fifths = verdict;
    out.shortfall_four_fifths = shortfall(a, n1, c, n2);
    out.note = no_flip(x, ref, verdict);
    if (out.note == one_person_note::none) out.one_person_flip = one_person_flips(u, g, verdict);
  }
  out.one_person_reversal = one_person_reverses(x, ref);
  if (!out.one_person_reversal && out.note == one_person_note::none) {
    out.note = one_person_note::rate_not_lower;
  }
  if (c > 0) {
    out.impact_ratio =
        to_double(static_cast<int128>(a) * n2) / to_double(static_cast<int128>(c) * n1);
  } else if (a > 0) {
    out.impact_ratio = std::numeric_limits<double>::infinity();
  }
  const observed::z_test z = observed::pooled_z_test(a, n1, c, n2);
  out.z = z.z;
  out.p_z = z.p;
  out.p_fisher = observed::fisher_two_sided(a, n1, c, n2);
  if (const auto ci = observed::ratio_interval(a, n1, c, n2, z_level)) {
    out.ci_low = ci->low;
    out.ci_high = ci->high;
  }
  // Significant only when certainly below alpha: a p value equal to it
  // (1/20 against 0.05) is not, nor one within its error bound of it.
  out.significant_z = observed::certainly_below(z.p, z.error, alpha);
  out.significant_fisher = observed::certainly_below(
      *out.p_fisher, observed::fisher_two_sided_error(n1 + n2), alpha);
  if (a == 0 && c == 0) {
    out.status = comparison_status::no_selections;
  } else if (a == n1 && c == n2) {
    out.status = comparison_status::all_selected;
  } else if (c == 0) {
    out.status = comparison_status::reference_rate_zero;
  } else if (a == 0) {
    out.status = comparison_status::group_rate_zero;
  }
  return out;
}

// The rows of one unit, in its cells' order, each handed to `emit`; false
// when it stops.
template <class Emit>
bool compare_unit(std::span<const cell> cells, int named_group, const std::string& unit,
                  const name_table& groups, double alpha, double z_level, Emit&& emit) {
  const unit_view u = view_of(cells, named_group);
  const std::string* reference = nullptr;
  if (u.reference >= 0) {
    reference =
        &groups[static_cast<std::uint32_t>(cells[static_cast<std::size_t>(u.reference)].group)];
  } else if (named_group >= 0) {
    reference = &groups[static_cast<std::uint32_t>(named_group)];
  }
  for (std::size_t i = 0; i < cells.size(); ++i) {
    comparison row = compare(u, static_cast<int>(i), alpha, z_level);
    row.unit = unit;
    row.group = groups[static_cast<std::uint32_t>(cells[i].group)];
    if (reference) row.reference = *reference;
    if (!emit(std::move(row))) return false;
  }
  return true;
}

// The rows of all units together. The reference is chosen by the groups'
// totals; every other group is compared with it over the units where both
// have applicants, the group's counts and the reference's pooled over those
// units alone, and across them by Mantel-Haenszel. A group that never
// meets the reference keeps its totals and is not compared.
std::vector<comparison> pool_units(std::span<const cell> cells, std::span<const std::size_t> first,
                                   int named, const name_table& groups, double alpha,
                                   double z_level) {
  std::vector<comparison> rows;
  const std::size_t group_count = groups.size();
  const std::size_t unit_count = first.size() - 1;
  std::vector<cell> totals(group_count);
  for (std::size_t g = 0; g < group_count; ++g) totals[g].group = static_cast<int>(g);
  for (const cell& c : cells) {
    totals[static_cast<std::size_t>(c.group)].applicants += c.applicants;
    totals[static_cast<std::size_t>(c.group)].selected += c.selected;
  }
  rows.reserve(group_count);
  compare_unit(totals, named, "", groups, alpha, z_level, [&](comparison&& r) {
    rows.push_back(std::move(r));
    return true;
  });
  const unit_view all = view_of(totals, named);
  if (all.reference < 0) return rows;
  const int reference = all.reference;  // the group's index: totals are in group order
  // Each group's and the reference's counts in the units they share, and
  // those units' tables.
  std::vector<cell> mine(totals), theirs(group_count);
  for (cell& c : mine) c.applicants = c.selected = 0;
  std::vector<std::vector<observed::stratum>> tables(group_count);
  std::vector<int> lower(group_count, 0);  // shared units where the group's rate is below
  // The units each group shares with the reference, counted first so that
  // each list of tables is made at its size.
  auto shared = [&](auto&& each) {
    for (std::size_t u = 0; u < unit_count; ++u) {
      const std::span<const cell> unit_cells = cells.subspan(first[u], first[u + 1] - first[u]);
      const auto ref = std::find_if(unit_cells.begin(), unit_cells.end(),
                                    [&](const cell& c) { return c.group == reference; });
      if (ref == unit_cells.end() || ref->applicants == 0) continue;
      for (const cell& c : unit_cells) {
        if (c.group != reference && c.applicants != 0) each(c, *ref);
      }
    }
  };
  {
    std::vector<std::size_t> sizes(group_count, 0);
    shared([&](const cell& c, const cell&) { ++sizes[static_cast<std::size_t>(c.group)]; });
    for (std::size_t g = 0; g < group_count; ++g) tables[g].reserve(sizes[g]);
  }
  shared([&](const cell& c, const cell& ref) {
    const auto g = static_cast<std::size_t>(c.group);
    mine[g].applicants += c.applicants;
    mine[g].selected += c.selected;
    theirs[g].group = reference;
    theirs[g].applicants += ref.applicants;
    theirs[g].selected += ref.selected;
    tables[g].push_back(
        {c.selected, c.applicants - c.selected, ref.selected, ref.applicants - ref.selected});
    if (higher(ref, c)) ++lower[g];
  });
  for (std::size_t g = 0; g < group_count; ++g) {
    comparison& row = rows[g];
    if (static_cast<int>(g) == reference || row.status == comparison_status::no_applicants) {
      continue;
    }
    mantel_haenszel m;
    if (tables[g].empty()) {
      comparison alone;
      alone.unit = row.unit;
      alone.group = row.group;
      alone.reference = row.reference;
      alone.applicants = row.applicants;
      alone.selected = row.selected;
      alone.rate = row.rate;
      alone.shortfall_pool = row.shortfall_pool;
      alone.status = comparison_status::no_shared_unit;
      m.status = mh_status::no_shared_unit;
      alone.across_units = m;
      row = std::move(alone);
      continue;
    }
    // The pair alone, the reference fixed, the pool's rate that of all.
    const std::array<cell, 2> pair = {mine[g], theirs[g]};
    unit_view u;
    u.cells = pair;
    u.reference = 1;
    u.named = true;
    u.applicants = all.applicants;
    u.selected = all.selected;
    comparison compared = compare(u, 0, alpha, z_level);
    compared.unit = row.unit;
    compared.group = row.group;
    compared.reference = row.reference;
    const observed::mantel_haenszel_test mh = observed::mantel_haenszel(tables[g], z_level);
    m.units = static_cast<int>(tables[g].size());
    m.odds_ratio = mh.odds_ratio;
    if (mh.odds_ratio_interval) {
      m.ci_low = mh.odds_ratio_interval->low;
      m.ci_high = mh.odds_ratio_interval->high;
    }
    m.statistic = mh.statistic;
    if (mh.statistic) {
      m.p = mh.p;
      m.significant = observed::certainly_below(mh.p, mh.error, alpha);
    } else {
      m.status = mh_status::no_variation;
    }
    m.units_lower = lower[g];
    const bool pooled_lower = higher(theirs[g], mine[g]);
    m.pooling_reverses = m.units >= 2 && (pooled_lower ? lower[g] == 0 : lower[g] == m.units);
    compared.across_units = m;
    row = std::move(compared);
  }
  return rows;
}

// The steps of one process: every group at every step (zero counts where
// the data give none), each step compared as a unit is, and with two steps
// or more the bottom line, each group's applicants at the first step
// against its selected at the last. `first` bounds each step's cells (in
// the groups' order), and each cell names its entry in the counts.
// The chain is checked first: no one reaches a step without passing the
// one before, so a group's applicants at a step are at most its selected
// at the step before (fewer when some who passed withdrew).
// The chain's faults go to `errors`; without any, `start` is called and
// the rows go to `emit`.
template <class Start, class Emit>
void analyse_steps(std::span<const cell> cells, std::span<const std::size_t> first, int named,
                   const std::vector<std::string>& steps, const name_table& groups, double alpha,
                   double z_level, std::vector<fault>& errors, Start&& start, Emit&& emit) {
  constexpr std::size_t none = static_cast<std::size_t>(-1);
  const std::size_t step_count = steps.size();
  const std::size_t group_count = groups.size();
  std::vector<cell> grid(step_count * group_count);
  std::vector<std::size_t> entry(grid.size(), none);
  for (std::size_t s = 0; s < step_count; ++s) {
    for (std::size_t g = 0; g < group_count; ++g) grid[s * group_count + g].group = static_cast<int>(g);
    for (std::size_t k = first[s]; k < first[s + 1]; ++k) {
      const std::size_t at = s * group_count + static_cast<std::size_t>(cells[k].group);
      grid[at] = cells[k];
      entry[at] = cells[k].entry;
    }
  }
  for (std::size_t s = 1; s < step_count; ++s) {
    for (std::size_t g = 0; g < group_count; ++g) {
      const cell& here = grid[s * group_count + g];
      const cell& before = grid[(s - 1) * group_count + g];
      if (here.applicants <= before.selected) continue;
      const std::size_t was = entry[(s - 1) * group_count + g];
      errors.push_back(
          {"counts[" + std::to_string(entry[s * group_count + g]) + "].applicants",
           std::to_string(here.applicants) + " of \"" + groups[static_cast<std::uint32_t>(g)] + "\" reached step \"" +
               steps[s] + "\", more than the " + std::to_string(before.selected) +
               " selected at step \"" + steps[s - 1] + "\"" +
               (was == none ? std::string(" (none given there)")
                            : " (counts[" + std::to_string(was) + "])")});
    }
  }
  if (!errors.empty() || !start()) return;
  for (std::size_t s = 0; s < step_count; ++s) {
    const bool going =
        compare_unit(std::span<const cell>(grid).subspan(s * group_count, group_count), named, "",
                     groups, alpha, z_level, [&](comparison&& row) {
                       row.step = steps[s];
                       return emit(std::move(row));
                     });
    if (!going) return;
  }
  if (step_count < 2) return;
  std::vector<cell> bottom(group_count);
  for (std::size_t g = 0; g < group_count; ++g) {
    bottom[g] = {static_cast<int>(g), 0, grid[g].applicants,
                 grid[(step_count - 1) * group_count + g].selected};
  }
  compare_unit(bottom, named, "", groups, alpha, z_level, emit);
}

std::string at(std::size_t i, std::string_view field) {
  return "counts[" + std::to_string(i) + "]." + std::string(field);
}

// The faults of one entry's counts.
void check_entry(const counts_table& counts, std::size_t i, std::vector<fault>& errors) {
  const counts_table::entry& e = counts.entries()[i];
  if (counts.groups()[e.group].empty()) errors.push_back({at(i, "group"), "is missing"});
  bool counts_ok = true;
  for (const auto& [name, value] :
       {std::pair<std::string_view, std::int64_t>{"applicants", e.applicants},
        std::pair<std::string_view, std::int64_t>{"selected", e.selected}}) {
    if (value < 0) {
      errors.push_back({at(i, name), "must not be negative"});
      counts_ok = false;
    } else if (value > max_count) {
      errors.push_back({at(i, name), "must be at most " + std::to_string(max_count)});
      counts_ok = false;
    }
  }
  if (counts_ok && e.selected > e.applicants) {
    errors.push_back({at(i, "selected"), "more selected (" + std::to_string(e.selected) +
                                             ") than applicants (" + std::to_string(e.applicants) +
                                             ")"});
  }
}

std::string quoted(const std::string& name) { return "\"" + name + "\""; }

std::string too_many_steps(std::size_t steps, std::size_t groups) {
  return std::to_string(steps) + " steps of " + std::to_string(groups) +
         " groups: more than the " + std::to_string(max_step_rows) +
         " rows of an analysis of steps, one for every group at every step";
}

}  // namespace

std::uint32_t name_table::intern(std::string_view name) {
  if (const auto it = index_.find(name); it != index_.end()) return it->second;
  const auto number = static_cast<std::uint32_t>(names_.size());
  names_.emplace_back(name);
  index_.emplace(names_.back(), number);
  return number;
}

std::optional<std::uint32_t> name_table::find(std::string_view name) const {
  const auto it = index_.find(name);
  if (it == index_.end()) return std::nullopt;
  return it->second;
}

std::size_t counts_table::add(std::string_view group, std::int64_t applicants,
                              std::int64_t selected, std::string_view unit, std::string_view step) {
  entries_.push_back(
      {groups_.intern(group), units_.intern(unit), steps_.intern(step), applicants, selected});
  return entries_.size() - 1;
}

void counts_table::add_to(std::size_t index, std::int64_t applicants, std::int64_t selected) {
  entries_[index].applicants += applicants;
  entries_[index].selected += selected;
}

group_counts counts_table::operator[](std::size_t i) const {
  const entry& e = entries_[i];
  return {groups_[e.group], e.applicants, e.selected, units_[e.unit], steps_[e.step]};
}

std::vector<fault> analyse_observed(const counts_table& counts, const observed_options& options,
                                    observed_sink& sink) {
  std::vector<fault> errors;
  if (!(options.alpha > 0 && options.alpha < 1)) {
    errors.push_back({"alpha", "must lie strictly between 0 and 1"});
  }
  if (counts.empty()) errors.push_back({"counts", "no groups"});
  const name_table& groups = counts.groups();
  const auto named_any = [](const name_table& t) {
    return t.size() > 1 || (t.size() == 1 && !t[0].empty());
  };
  const bool with_units = named_any(counts.units());
  const bool with_steps = !options.steps.empty() || named_any(counts.steps());
  if (with_units && with_steps) {
    errors.push_back({"counts",
                      "units and steps are not analysed together: give the steps of one "
                      "process, or analyse each unit's steps apart"});
    return errors;
  }
  // The places the cells are gathered by: the units or, with steps, the
  // steps, those given in the options first in their order. `place_of`
  // takes an entry's unit or step number to its place.
  name_table steps;
  std::vector<std::uint32_t> place_of;
  if (with_steps) {
    for (const std::string& step : options.steps) {
      if (step.empty()) {
        errors.push_back({"steps", "a step has no name"});
      } else if (steps.find(step)) {
        errors.push_back({"steps", quoted(step) + " is given twice"});
      }
      steps.intern(step);
    }
    for (const std::string& step : counts.steps().names()) place_of.push_back(steps.intern(step));
  }
  const name_table& places = with_steps ? steps : counts.units();
  const std::size_t listed = options.steps.size();
  std::vector<bool> told(counts.steps().size(), false);
  const std::span<const counts_table::entry> entries = counts.entries();
  const auto place = [&](const counts_table::entry& e) {
    return with_steps ? place_of[e.step] : e.unit;
  };
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const counts_table::entry& e = entries[i];
    check_entry(counts, i, errors);
    if (with_units && counts.units()[e.unit].empty()) {
      errors.push_back({at(i, "unit"), "is missing"});
    }
    const std::string& step = counts.steps()[e.step];
    if (with_steps && step.empty()) errors.push_back({at(i, "step"), "is missing"});
    if (listed > 0 && place(e) >= listed && !step.empty() && !told[e.step]) {
      told[e.step] = true;
      std::string names;
      for (const std::string& s : options.steps) names += (names.empty() ? "" : ", ") + s;
      errors.push_back(
          {at(i, "step"), quoted(step) + " is not among the steps given (" + names + ")"});
    }
  }
  int named = -1;
  if (options.reference) {
    if (const auto found = groups.find(*options.reference)) {
      named = static_cast<int>(*found);
    } else {
      errors.push_back({"reference", "no group " + quoted(*options.reference) + " in the counts"});
    }
  }
  if (!errors.empty()) return errors;

  // The cells place by place, each place's in the groups' order.
  const std::size_t unit_count = places.size();
  const std::size_t group_count = groups.size();
  std::vector<std::size_t> first(unit_count + 1, 0);
  for (const counts_table::entry& e : entries) ++first[std::size_t{place(e)} + 1];
  for (std::size_t u = 0; u < unit_count; ++u) first[u + 1] += first[u];
  std::vector<cell> cells(entries.size());
  {
    std::vector<std::size_t> next(first.begin(), first.end() - 1);
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const std::size_t k = next[place(entries[i])]++;
      cells[k] = {static_cast<int>(entries[i].group), static_cast<std::uint32_t>(i),
                  entries[i].applicants, entries[i].selected};
    }
  }
  std::vector<int128> unit_applicants(unit_count, 0);
  // Each place's cells in the groups' order (buffers reused place to place).
  std::vector<std::size_t> order;
  std::vector<cell> sorted;
  for (std::size_t u = 0; u < unit_count; ++u) {
    const auto begin = cells.begin() + static_cast<std::ptrdiff_t>(first[u]);
    order.clear();
    for (std::size_t k = first[u]; k < first[u + 1]; ++k) order.push_back(k);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t x, std::size_t y) { return cells[x].group < cells[y].group; });
    sorted.clear();
    for (const std::size_t k : order) {
      if (!sorted.empty() && sorted.back().group == cells[k].group) {
        const std::string& g = groups[static_cast<std::uint32_t>(cells[k].group)];
        errors.push_back({at(cells[k].entry, "group"),
                          quoted(g) + " is given twice" +
                              (with_steps   ? " at step " + quoted(places.names()[u])
                               : with_units ? " in unit " + quoted(places.names()[u])
                                            : "") +
                              " (first as counts[" + std::to_string(sorted.back().entry) + "])"});
        continue;
      }
      sorted.push_back(cells[k]);
      unit_applicants[u] += cells[k].applicants;
    }
    std::copy(sorted.begin(), sorted.end(), begin);
  }
  for (std::size_t u = 0; u < unit_count; ++u) {
    if (unit_applicants[u] > max_count) {
      errors.push_back({"counts", "the applicants of " +
                                      (with_steps   ? "step " + quoted(places.names()[u])
                                       : with_units ? "unit " + quoted(places.names()[u])
                                                    : std::string("all groups")) +
                                      " together exceed " + std::to_string(max_count)});
    }
  }
  if (!errors.empty()) return errors;
  int128 all_applicants = 0;
  for (const int128 n : unit_applicants) all_applicants += n;
  if (!with_steps && unit_count > 1 && all_applicants > max_count) {
    errors.push_back(
        {"counts", "the applicants of all units together exceed " + std::to_string(max_count)});
    return errors;
  }
  unit_applicants = {};

  const double z_level = numeric::precise::upper_quantile(options.alpha / 2);
  auto emit = [&](comparison&& row) { return sink.row(row); };
  if (with_steps) {
    if (static_cast<int128>(unit_count) * static_cast<int128>(group_count) > max_step_rows) {
      errors.push_back({"counts", too_many_steps(unit_count, group_count)});
      return errors;
    }
    observed_options ordered = options;
    ordered.steps = places.names();
    analyse_steps(
        cells, first, named, places.names(), groups, options.alpha, z_level, errors,
        [&] { return sink.start(ordered, {}, places.names()); }, emit);
    return errors;
  }
  if (!sink.start(options,
                  with_units ? std::span<const std::string>(places.names())
                             : std::span<const std::string>(),
                  {})) {
    return errors;
  }
  for (std::size_t u = 0; u < unit_count; ++u) {
    const std::span<const cell> unit_cells(cells.data() + first[u], first[u + 1] - first[u]);
    if (!compare_unit(unit_cells, named, places.names()[u], groups, options.alpha, z_level, emit)) {
      return errors;
    }
  }
  if (unit_count > 1) {
    for (comparison& row : pool_units(cells, first, named, groups, options.alpha, z_level)) {
      if (!emit(std::move(row))) break;
    }
  }
  return errors;
}

namespace {

// Every row kept: the analysis whole.
class collector final : public observed_sink {
 public:
  explicit collector(std::size_t rows) { analysis_.rows.reserve(rows); }
  bool start(const observed_options& options, std::span<const std::string> units,
             std::span<const std::string> steps) override {
    analysis_.options = options;
    analysis_.units.assign(units.begin(), units.end());
    analysis_.steps.assign(steps.begin(), steps.end());
    return true;
  }
  bool row(const comparison& row) override {
    analysis_.rows.push_back(row);
    return true;
  }
  observed_analysis take() { return std::move(analysis_); }

 private:
  observed_analysis analysis_;
};

}  // namespace

observed_result analyse_observed(const counts_table& counts, const observed_options& options) {
  observed_result out;
  const std::size_t places = std::max(counts.units().size(), counts.steps().size());
  collector rows(counts.size() + (places > 1 ? counts.groups().size() : 0));
  out.errors = analyse_observed(counts, options, rows);
  if (!out.errors.empty()) {
    out.status = observed_status::invalid;
    return out;
  }
  out.value = rows.take();
  return out;
}

observed_result analyse_observed(std::span<const group_counts> counts,
                                 const observed_options& options) {
  counts_table table;
  table.reserve(counts.size());
  for (const group_counts& e : counts) {
    table.add(e.group, e.applicants, e.selected, e.unit, e.step);
  }
  return analyse_observed(table, options);
}

}  // namespace fourfifths
