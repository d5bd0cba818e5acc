// The statistics against independent implementations: scipy and
// statsmodels from Debian, and exact rational arithmetic where those lose
// digits (tests/observed/data/make_expectations.py made the files, and says
// which value comes from where). Every value to 1e-12 relative; p values
// below 1e-300 only need to be below 1e-300 too. The largest differences
// are printed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "fourfifths/observed.h"
#include "numeric/precise_normal.h"
#include "observed/hypergeometric.h"
#include "observed/two_by_two.h"

namespace {

constexpr double tolerance = 1e-12;
constexpr double smallest_p = 1e-300;

std::vector<std::vector<std::string>> read_rows(const std::string& name) {
  std::ifstream in(std::string(FOURFIFTHS_SOURCE_DIR) + "/tests/observed/data/" + name);
  std::vector<std::vector<std::string>> rows;
  std::string line;
  bool header = true;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (header) {
      header = false;
      continue;
    }
    std::vector<std::string> fields(1);
    for (const char ch : line) {
      if (ch == ',') {
        fields.emplace_back();
      } else {
        fields.back() += ch;
      }
    }
    rows.push_back(fields);
  }
  return rows;
}

// A number as the file writes it (shortest round trip; subnormals too,
// which std::stod refuses).
double number(const std::string& field) { return std::strtod(field.c_str(), nullptr); }

std::optional<double> value(const std::string& field) {
  if (field.empty()) return std::nullopt;
  return number(field);
}

std::int64_t count(const std::string& field) { return std::stoll(field); }

// The largest relative difference of each quantity, printed at the end.
class worst_differences {
 public:
  void note(const std::string& what, double got, double want, const std::string& where) {
    const double d = want == 0 ? std::fabs(got) : std::fabs(got - want) / std::fabs(want);
    auto& [worst, at] = table_[what];
    if (d > worst || at.empty()) {
      worst = d;
      at = where;
    }
  }
  void print(const char* title) const {
    std::printf("%s\n", title);
    for (const auto& [what, entry] : table_) {
      std::printf("  %-22s %.3g  (%s)\n", what.c_str(), entry.first, entry.second.c_str());
    }
  }

 private:
  std::map<std::string, std::pair<double, std::string>> table_;
};

// One value against exact arithmetic, to the tolerance (a p value below
// 1e-300 only needs to be below 1e-300 too), and against the library that
// computes it, whose own value must be the same quantity (within 1e-6 of
// the exact one) and, where it is accurate (within 1e-13), within the
// tolerance of ours.
struct checker {
  worst_differences exact, library, accurate_library;

  void check(const std::string& what, std::optional<double> ours, std::optional<double> lib,
             std::optional<double> precise, const std::string& where, bool p_value = false) {
    ASSERT_EQ(ours.has_value(), precise.has_value()) << what << " at " << where;
    if (!precise) return;
    if (p_value && *precise < smallest_p) {
      EXPECT_LT(*ours, smallest_p) << what << " at " << where;
      return;
    }
    exact.note(what, *ours, *precise, where);
    EXPECT_LE(std::fabs(*ours - *precise), tolerance * std::fabs(*precise))
        << what << " at " << where << ": " << *ours << " against " << *precise;
    if (!lib) return;
    library.note(what, *ours, *lib, where);
    const double lib_error = std::fabs(*lib - *precise);
    EXPECT_LE(lib_error, 1e-6 * std::fabs(*precise)) << what << " (library) at " << where;
    if (lib_error <= 1e-13 * std::fabs(*precise)) {
      accurate_library.note(what, *ours, *lib, where);
      EXPECT_LE(std::fabs(*ours - *lib), tolerance * std::fabs(*lib))
          << what << " at " << where << ": " << *ours << " against the library's " << *lib;
    }
  }

  void print(const char* title) const {
    exact.print((std::string(title) + ", against exact arithmetic:").c_str());
    library.print((std::string(title) + ", against scipy and statsmodels:").c_str());
    accurate_library.print(
        (std::string(title) + ", against scipy and statsmodels where within 1e-13 of exact:")
            .c_str());
  }
};

TEST(AgainstScipy, PairsOfGroups) {
  const auto rows = read_rows("pairs.csv");
  ASSERT_GE(rows.size(), 1000U);
  checker w;
  for (const auto& r : rows) {
    ASSERT_EQ(r.size(), 16U);
    const std::int64_t a = count(r[0]), n1 = count(r[1]), c = count(r[2]), n2 = count(r[3]);
    const double alpha = number(r[4]);
    const std::string where = r[0] + "/" + r[1] + " vs " + r[2] + "/" + r[3];

    // Through the library's entry point: the second group is the reference.
    const std::vector<fourfifths::group_counts> counts = {{"g", n1, a}, {"ref", n2, c}};
    const fourfifths::observed_result result =
        fourfifths::analyse_observed(counts, {.reference = "ref", .alpha = alpha});
    ASSERT_TRUE(result.ok()) << where;
    const fourfifths::comparison& row = result->rows[0];
    if (c > 0) w.check("impact ratio", row.impact_ratio, std::nullopt, value(r[5]), where);
    w.check("z", row.z, value(r[6]), value(r[7]), where);
    if (row.z) {
      w.check("p of z", row.p_z, value(r[8]), value(r[9]), where, true);
    } else {
      EXPECT_EQ(row.p_z, 1.0) << where;
    }
    w.check("p of Fisher", row.p_fisher, value(r[10]), value(r[11]), where, true);
    w.check("interval low", row.ci_low, value(r[12]), value(r[13]), where);
    w.check("interval high", row.ci_high, value(r[14]), value(r[15]), where);
  }
  w.print("Largest relative differences, pairs of groups");
}

// Strata "a b c d;a b c d;...".
std::vector<observed::stratum> strata_of(const std::string& text) {
  std::vector<observed::stratum> out;
  std::stringstream s(text);
  std::string table;
  while (std::getline(s, table, ';')) {
    std::stringstream t(table);
    observed::stratum st;
    t >> st.a >> st.b >> st.c >> st.d;
    out.push_back(st);
  }
  return out;
}

TEST(AgainstStatsmodels, MantelHaenszel) {
  const auto rows = read_rows("strata.csv");
  ASSERT_GE(rows.size(), 300U);
  checker w;
  for (const auto& r : rows) {
    ASSERT_EQ(r.size(), 13U);
    const double alpha = number(r[0]);
    const std::vector<observed::stratum> tables = strata_of(r[1]);
    const std::string where = r[1].substr(0, 60);

    // Through the entry point: one unit per table, two groups in each.
    std::vector<fourfifths::group_counts> counts;
    for (std::size_t k = 0; k < tables.size(); ++k) {
      const observed::stratum& t = tables[k];
      const std::string unit = "u" + std::to_string(k);
      counts.push_back({"g", t.a + t.b, t.a, unit});
      counts.push_back({"ref", t.c + t.d, t.c, unit});
    }
    const fourfifths::observed_result result =
        fourfifths::analyse_observed(counts, {.reference = "ref", .alpha = alpha});
    ASSERT_TRUE(result.ok()) << where;
    const fourfifths::comparison& pooled = result->rows[2 * tables.size()];
    ASSERT_TRUE(pooled.unit.empty());
    ASSERT_TRUE(pooled.across_units.has_value()) << where;
    const fourfifths::mantel_haenszel& mh = *pooled.across_units;
    EXPECT_EQ(mh.units, static_cast<int>(tables.size()));

    const auto odds = value(r[3]);
    if (odds && *odds > 0) {
      w.check("odds ratio", mh.odds_ratio, value(r[2]), odds, where);
      w.check("odds ratio low", mh.ci_low, value(r[4]), value(r[5]), where);
      w.check("odds ratio high", mh.ci_high, value(r[6]), value(r[7]), where);
    }
    w.check("statistic", mh.statistic, value(r[8]), value(r[9]), where);
    if (value(r[12])) {
      w.check("p", mh.p, value(r[11]), value(r[12]), where, true);
    } else {
      // No table varies: no test, so no p value.
      EXPECT_FALSE(mh.p) << where;
      EXPECT_EQ(mh.status, fourfifths::mh_status::no_variation) << where;
    }
  }
  w.print("Largest relative differences, Mantel-Haenszel");
}

}  // namespace

namespace {

// Significance at the level itself (tests/observed/data/make_thresholds.py): a p
// value equal to alpha, or as near it as its computation can tell, is not
// below it; a relative 1e-8 either side decides.
TEST(Thresholds, APValueAtTheLevelIsNotBelowIt) {
  const auto rows = read_rows("thresholds.csv");
  ASSERT_GE(rows.size(), 300U);
  for (const auto& r : rows) {
    ASSERT_EQ(r.size(), 7U);
    const std::int64_t a = count(r[1]), n1 = count(r[2]), c = count(r[3]), n2 = count(r[4]);
    const double alpha = number(r[5]);
    const bool expected = r[6] == "1";
    const std::vector<fourfifths::group_counts> counts = {{"g", n1, a}, {"ref", n2, c}};
    const fourfifths::observed_result result =
        fourfifths::analyse_observed(counts, {.reference = "ref", .alpha = alpha});
    ASSERT_TRUE(result.ok());
    const fourfifths::comparison& row = result->rows[0];
    const std::string where = r[0] + " " + r[1] + "/" + r[2] + " vs " + r[3] + "/" + r[4] +
                              " at alpha " + r[5];
    if (r[0] == "fisher") {
      EXPECT_EQ(row.significant_fisher, expected) << where << ": p " << *row.p_fisher;
    } else {
      EXPECT_EQ(row.significant_z, expected) << where << ": p " << *row.p_z;
    }
  }
}

}  // namespace

namespace {

// The same for the Mantel-Haenszel test of sets of units.
TEST(Thresholds, MantelHaenszelAtTheLevelIsNotBelowIt) {
  const auto rows = read_rows("thresholds_mh.csv");
  ASSERT_GE(rows.size(), 150U);
  for (const auto& r : rows) {
    ASSERT_EQ(r.size(), 3U);
    const std::vector<observed::stratum> tables = strata_of(r[0]);
    std::vector<fourfifths::group_counts> counts;
    for (std::size_t k = 0; k < tables.size(); ++k) {
      const observed::stratum& t = tables[k];
      const std::string unit = "u" + std::to_string(k);
      counts.push_back({"g", t.a + t.b, t.a, unit});
      counts.push_back({"ref", t.c + t.d, t.c, unit});
    }
    const fourfifths::observed_result result =
        fourfifths::analyse_observed(counts, {.reference = "ref", .alpha = number(r[1])});
    ASSERT_TRUE(result.ok());
    const fourfifths::comparison& pooled = result->rows[2 * tables.size()];
    ASSERT_TRUE(pooled.across_units.has_value());
    EXPECT_EQ(pooled.across_units->significant, r[2] == "1")
        << r[0].substr(0, 60) << " at alpha " << r[1] << ": p " << *pooled.across_units->p;
  }
}

}  // namespace
