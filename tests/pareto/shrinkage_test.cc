// The published shrinkage of a front (include/fourfifths/shrinkage.h):
// Claudy-Browne's R²_B against the publication's package
// (data/shrinkage/claudy_browne.csv), the published example's shrunken
// validities and group correlations at N = 40, 100, 1000
// (data/shrinkage/shrinkage_example.csv), its impact ratios against the
// exact normal model in 50-digit arithmetic (data/shrinkage/exact_ratios.csv,
// from make_exact_ratios.py), the reductions on a front of the library's
// own, and the faults. The data's README says where the tables come from.
#include "fourfifths/shrinkage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "fourfifths/analysis.h"
#include "fourfifths/pareto.h"
#include "fourfifths/problem.h"

namespace {

using namespace fourfifths;

const std::string data = FOURFIFTHS_SOURCE_DIR "/tests/pareto/data/shrinkage";
// The tables give 15 significant digits of values below 1 (R²_B, the
// correlations, the places w): an absolute 1e-12 is their own precision
// with room for the last bits of a different order of operations.
constexpr double tolerance = 1e-12;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double share = 1.0 / 6;  // the example's minority share
constexpr double example_ratio = 0.15;

using row = std::map<std::string, double>;

// A table of numbers with a header of (perhaps quoted) names.
std::vector<row> read_csv(const std::string& name) {
  std::ifstream in(data + "/" + name);
  EXPECT_TRUE(in) << "cannot read " << data << "/" << name;
  auto cells = [](const std::string& line) {
    std::vector<std::string> out;
    std::stringstream s(line);
    std::string cell;
    while (std::getline(s, cell, ',')) {
      cell.erase(std::remove(cell.begin(), cell.end(), '"'), cell.end());
      out.push_back(cell);
    }
    return out;
  };
  std::string line;
  std::getline(in, line);
  const std::vector<std::string> names = cells(line);
  std::vector<row> rows;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    const std::vector<std::string> values = cells(line);
    EXPECT_EQ(values.size(), names.size()) << line;
    row r;
    for (std::size_t i = 0; i < names.size() && i < values.size(); ++i)
      r[names[i]] = std::strtod(values[i].c_str(), nullptr);
    rows.push_back(r);
  }
  return rows;
}

// The example's rows at one calibration size, in its order (the impact
// end first).
std::vector<row> example_at(double n) {
  std::vector<row> out;
  for (const row& r : read_csv("shrinkage_example.csv")) {
    if (r.at("calibration_n") == n) out.push_back(r);
  }
  EXPECT_EQ(out.size(), 21u);
  return out;
}

std::vector<double> weights_of(const row& r) {
  return {r.at("w1"), r.at("w2"), r.at("w3"), r.at("w4"), r.at("w5")};
}

// The composite effect (minority minus majority) of a group correlation with
// a dummy 1 for the majority, as the example's source converts it:
// d = r / sqrt((1 - r²) s (1 - s)) is the majority's lead.
double effect_of(double r) { return -r / std::sqrt((1 - r * r) * share * (1 - share)); }

// A problem that holds the example's applicant mix; the shrinkage of a given
// front uses nothing else of it.
problem example_mix_problem(ratio_mode mode = ratio_mode::overall, bool with_mix = true) {
  problem_spec s;
  s.predictors = 1;
  s.criteria = 1;
  s.mode = mode;
  s.predictor_weights = {1};
  s.criterion_weights = {1};
  s.correlations = {{1, 0.3}, {0.3, 1}};
  s.predictor_effects = {-0.5};
  s.criterion_effects = {-0.2};
  if (with_mix) s.minority_share = share;
  problem_result built = make_problem(s);
  EXPECT_TRUE(built.ok());
  return *built.value;
}

// The example at one calibration size as a front of this library: the
// validity end first, the composite effect from the calibration group
// correlation.
pareto_front example_front(double n) {
  pareto_front f;
  f.options.ratio = example_ratio;
  f.options.mode = ratio_mode::overall;
  std::vector<row> rows = example_at(n);
  std::reverse(rows.begin(), rows.end());
  for (const row& r : rows) {
    weighting_outcome w;
    w.weights = weights_of(r);
    w.validity = r.at("Rperf_cal");
    w.composite_d = effect_of(r.at("Rrace_cal"));
    f.points.push_back(w);
  }
  return f;
}

// The four-predictor example of the 2007 literature, the library's own front.
problem four_predictors() {
  problem_spec s;
  s.predictors = 4;
  s.criteria = 1;
  s.predictor_weights = {1, 1, 1, 1};
  s.criterion_weights = {1};
  s.correlations = {{1, 0.24, 0, 0.19, 0.3},
                    {0.24, 1, 0.12, 0.16, 0.3},
                    {0, 0.12, 1, 0.51, 0.18},
                    {0.19, 0.16, 0.51, 1, 0.28},
                    {0.3, 0.3, 0.18, 0.28, 1}};
  s.predictor_effects = {-1, -0.23, -0.09, -0.33};
  s.criterion_effects = {-0.21};
  s.majority_per_minority = 3;
  problem_result built = make_problem(s);
  EXPECT_TRUE(built.ok());
  return *built.value;
}

pareto_front four_predictor_front(pareto_options o = {}) {
  const pareto_result r = find_pareto_front(four_predictors(), o);
  EXPECT_TRUE(r.ok()) << r.message;
  return *r.value;
}

std::string figure(double x) {
  std::ostringstream s;
  s << x;
  return s.str();
}

bool names(const std::vector<fault>& faults, const std::string& path) {
  return std::any_of(faults.begin(), faults.end(),
                     [&](const fault& f) { return f.path.starts_with(path); });
}

// --- Claudy-Browne ----------------------------------------------------------

TEST(shrinkage_claudy_browne, ReproducesThePublishedPackage) {
  const std::vector<row> rows = read_csv("claudy_browne.csv");
  ASSERT_EQ(rows.size(), 96u);
  double largest = 0;
  for (const row& r : rows) {
    const double got = claudy_browne(r.at("R2"), r.at("N"), r.at("p"));
    EXPECT_NEAR(got, r.at("R2_CB"), tolerance)
        << "N " << r.at("N") << " p " << r.at("p") << " R2 " << r.at("R2");
    largest = std::max(largest, std::fabs(got - r.at("R2_CB")));
  }
  RecordProperty("largest_absolute_difference", figure(largest));
}

TEST(shrinkage_claudy_browne, OutsideItsDomainIsNotANumber) {
  // n must exceed 2p + 3; the table's first excluded case is N 20, p 10.
  EXPECT_TRUE(std::isnan(claudy_browne(0.3, 20, 10)));
  EXPECT_TRUE(std::isnan(claudy_browne(0.3, 13, 5)));     // n = 2p + 3
  EXPECT_FALSE(std::isnan(claudy_browne(0.3, 13.5, 5)));  // just inside
  EXPECT_TRUE(std::isnan(claudy_browne(-0.01, 100, 2)));
  EXPECT_TRUE(std::isnan(claudy_browne(1.01, 100, 2)));
  EXPECT_TRUE(std::isnan(claudy_browne(0.3, 100, 0.5)));
  EXPECT_TRUE(std::isnan(claudy_browne(0.3, 100, 0)));
  EXPECT_TRUE(std::isnan(claudy_browne(nan, 100, 2)));
  EXPECT_TRUE(std::isnan(claudy_browne(0.3, nan, 2)));
  EXPECT_TRUE(std::isnan(claudy_browne(0.3, 100, nan)));
  EXPECT_TRUE(std::isnan(claudy_browne(0.3, std::numeric_limits<double>::infinity(), 2)));
  // The ends of [0, 1] are in it: a perfect fit stays perfect.
  EXPECT_NEAR(claudy_browne(1, 100, 3), 1, 1e-15);
  EXPECT_EQ(claudy_browne(0, 100, 3), 0);
}

TEST(shrinkage_claudy_browne, LargeSamplesShrinkNothing) {
  for (const double r2 : {0.01, 0.09, 0.3, 0.6, 0.95}) {
    for (const double p : {1.0, 2.7, 5.0}) {
      EXPECT_NEAR(claudy_browne(r2, 1e12, p), r2, 1e-9) << r2 << " " << p;
      // and shrink it less as the sample grows
      EXPECT_LE(std::fabs(claudy_browne(r2, 1e4, p) - r2),
                std::fabs(claudy_browne(r2, 200, p) - r2) + 1e-15);
    }
  }
}

// --- The published example ----------------------------------------------------

TEST(shrinkage_example, ReproducesThePublishedPackage) {
  double largest[4] = {0, 0, 0, 0};
  for (const double n : {40.0, 100.0, 1000.0}) {
    const std::vector<row> rows = example_at(n);
    shrinkage_input in;
    for (const row& r : rows) {
      in.validities.push_back(r.at("Rperf_cal"));
      in.group_correlations.push_back(r.at("Rrace_cal"));
    }
    // The example lists the impact end first and the validity end last.
    in.impact_end = 0;
    in.validity_end = rows.size() - 1;
    ASSERT_EQ(*std::max_element(in.validities.begin(), in.validities.end()), in.validities.back());
    in.validity_end_predictors = count_nonzero_weights(weights_of(rows.back()));
    in.impact_end_predictors = count_nonzero_weights(weights_of(rows.front()));
    EXPECT_EQ(in.validity_end_predictors, 4);
    EXPECT_EQ(in.impact_end_predictors, 1);
    in.calibration_n = n;
    const shrinkage_result got = shrink_correlations(in);
    ASSERT_TRUE(got.ok()) << got.errors.front().text();
    EXPECT_EQ(got.status, shrinkage_status::shrunk);
    ASSERT_EQ(got->size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const shrunken_correlations& s = (*got)[i];
      const row& r = rows[i];
      SCOPED_TRACE("N " + std::to_string(n) + " point " + std::to_string(i + 1));
      EXPECT_NEAR(s.validity, r.at("Rperf_adj"), tolerance);
      EXPECT_NEAR(s.group_correlation, r.at("Rrace_adj"), tolerance);
      EXPECT_NEAR(s.w_perf, r.at("w_perf"), tolerance);
      EXPECT_NEAR(s.w_race, r.at("w_race"), tolerance);
      const double d[4] = {s.validity - r.at("Rperf_adj"), s.group_correlation - r.at("Rrace_adj"),
                           s.w_perf - r.at("w_perf"), s.w_race - r.at("w_race")};
      for (int k = 0; k < 4; ++k) largest[k] = std::max(largest[k], std::fabs(d[k]));
    }
  }
  RecordProperty("largest_Rperf_adj", figure(largest[0]));
  RecordProperty("largest_Rrace_adj", figure(largest[1]));
  RecordProperty("largest_w_perf", figure(largest[2]));
  RecordProperty("largest_w_race", figure(largest[3]));
}

// The example as a front of this library (validity end first, composite
// effects): the same shrunken correlations, and the impact ratios of the
// exact normal model at the overall ratio 0.15, within 1e-12 relative of
// the 50-digit ones.
TEST(shrinkage_example, AsALibraryFrontGivesTheExactImpactRatios) {
  const problem p = example_mix_problem();
  std::map<std::pair<double, double>, row> exact;
  for (const row& r : read_csv("exact_ratios.csv"))
    exact[{r.at("calibration_n"), r.at("point")}] = r;
  ASSERT_EQ(exact.size(), 63u);
  for (const double n : {40.0, 100.0, 1000.0}) {
    const std::vector<row> rows = example_at(n);
    const shrunken_front_result got = shrink_front(p, example_front(n), n);
    ASSERT_TRUE(got.ok()) << got.errors.front().text();
    ASSERT_EQ(got->size(), rows.size());
    for (std::size_t k = 0; k < rows.size(); ++k) {
      const shrunken_weighting& s = (*got)[k];
      const row& r = rows[rows.size() - 1 - k];
      const row& e = exact.at({n, r.at("point")});
      SCOPED_TRACE("N " + std::to_string(n) + " point " + std::to_string(r.at("point")));
      EXPECT_NEAR(s.validity, r.at("Rperf_adj"), tolerance);
      EXPECT_NEAR(s.group_correlation, r.at("Rrace_adj"), tolerance);
      EXPECT_NEAR(s.w_perf, r.at("w_perf"), tolerance);
      EXPECT_NEAR(s.w_race, r.at("w_race"), tolerance);
      EXPECT_NEAR(s.composite_d, e.at("d_adj"), tolerance);
      ASSERT_TRUE(s.solved);
      EXPECT_NEAR(s.ai_ratio, e.at("ai_adj"), tolerance * e.at("ai_adj"));
      EXPECT_NEAR(s.ratio_to_highest, e.at("to_highest_adj"), tolerance * e.at("to_highest_adj"));
    }
  }
}

// The package converts with a closed form of the normal tail: its ratios
// lie within 0.3 % of the exact ones on the example (docs/fronts.md gives
// the figures; make_exact_ratios.py prints them).
TEST(shrinkage_example, ThePackagesClosedFormIsNearTheExactRatio) {
  std::map<std::pair<double, double>, row> exact;
  for (const row& r : read_csv("exact_ratios.csv"))
    exact[{r.at("calibration_n"), r.at("point")}] = r;
  double largest = 0;
  for (const row& r : read_csv("shrinkage_example.csv")) {
    const row& e = exact.at({r.at("calibration_n"), r.at("point")});
    for (const char* which : {"cal", "adj"}) {
      const double a = e.at(std::string("ai_") + which);
      largest = std::max(largest, std::fabs(r.at(std::string("AIratio_") + which) - a) / a);
    }
  }
  EXPECT_GT(largest, 1e-3);  // a difference, not a copy
  EXPECT_LT(largest, 2e-3);
}

// --- Reductions on a front of the library's own -----------------------------

TEST(shrinkage_front, LargeCalibrationSamplesGiveTheFrontBack) {
  const problem p = four_predictors();
  const pareto_front f = four_predictor_front();
  ASSERT_GE(f.points.size(), 3u);
  const shrunken_front_result got = shrink_front(p, f, 1e13);
  ASSERT_TRUE(got.ok());
  ASSERT_EQ(got->size(), f.points.size());
  for (std::size_t i = 0; i < f.points.size(); ++i) {
    const shrunken_weighting& s = (*got)[i];
    const weighting_outcome& w = f.points[i];
    EXPECT_NEAR(s.validity, w.validity, 1e-9) << i;
    EXPECT_NEAR(s.composite_d, w.composite_d, 1e-9) << i;
    EXPECT_NEAR(s.ai_ratio, w.ai_ratio, 1e-9) << i;
    EXPECT_NEAR(s.ratio_to_highest, w.ratio_to_highest, 1e-9) << i;
  }
}

TEST(shrinkage_front, OnlyTheEndsAreShrunkByTheFormula) {
  const problem p = four_predictors();
  const pareto_front f = four_predictor_front();
  const std::size_t last = f.points.size() - 1;
  for (const double n : {30.0, 60.0, 500.0}) {
    const shrunken_front_result got = shrink_front(p, f, n);
    ASSERT_TRUE(got.ok()) << got.errors.front().text();
    const std::vector<shrunken_weighting>& s = *got;
    SCOPED_TRACE(n);
    // The validity end keeps its group correlation, so its effect and
    // impact ratio (sign conventions and all) are the front's own; the
    // impact end keeps its validity.
    EXPECT_NEAR(s[0].composite_d, f.points[0].composite_d, 1e-12);
    EXPECT_NEAR(s[0].ai_ratio, f.points[0].ai_ratio, 1e-12);
    EXPECT_NEAR(s[0].ratio_to_highest, f.points[0].ratio_to_highest, 1e-12);
    EXPECT_EQ(s[last].validity, f.points[last].validity);
    EXPECT_EQ(s[0].w_perf, 0);
    EXPECT_EQ(s[last].w_race, 0);
    // The validity end's validity shrinks by Claudy-Browne with its
    // predictors (all four carry weight there).
    const int p0 = count_nonzero_weights(f.points[0].weights);
    EXPECT_EQ(p0, 4);
    const double v0 = f.points[0].validity;
    EXPECT_NEAR(s[0].validity, std::sqrt(claudy_browne(v0 * v0, n, p0)), 1e-15);
    EXPECT_LT(s[0].validity, v0);
    // The impact end's group correlation shrinks with its own predictors,
    // fewer than 3 taken as p + 70/(N + p).
    const int pl = count_nonzero_weights(f.points[last].weights);
    const double spread = 0.25 * 0.75;
    const double dl = f.points[last].composite_d;
    const double rl = -dl * std::sqrt(spread / (1 + dl * dl * spread));
    const double pe = pl < 3 ? pl + 70 / (n + pl) : pl;
    const double shrunk_rl = rl - (std::sqrt(claudy_browne(rl * rl, n, pe)) - std::fabs(rl));
    EXPECT_NEAR(s[last].group_correlation, shrunk_rl, 1e-15);
    // Between the ends every point moves in proportion to its place.
    for (std::size_t i = 1; i < last; ++i) {
      const double place = (f.points[i].validity - v0) / (f.points[last].validity - v0);
      EXPECT_NEAR(s[i].w_perf, place, 1e-12);
      EXPECT_NEAR(s[i].validity, s[0].validity + place * (s[last].validity - s[0].validity), 1e-12);
      EXPECT_GT(s[i].w_perf, 0);
      EXPECT_LT(s[i].w_perf, 1);
      EXPECT_GT(s[i].w_race, 0);
      EXPECT_LT(s[i].w_race, 1);
    }
  }
}

TEST(shrinkage_front, TheEndsPredictorsDecideTheirShrinkage) {
  // Three non-zero weights are taken as they are; two as 2 + 70/(N + 2).
  shrinkage_input in;
  in.validities = {0.5, 0.3};
  in.group_correlations = {0.2, 0.05};
  in.validity_end = 0;
  in.impact_end = 1;
  in.calibration_n = 50;
  for (const int k : {1, 2, 3, 4}) {
    in.validity_end_predictors = k;
    in.impact_end_predictors = k;
    const shrinkage_result got = shrink_correlations(in);
    ASSERT_TRUE(got.ok());
    const double p = k < 3 ? k + 70 / (50.0 + k) : k;
    EXPECT_EQ((*got)[0].validity, std::sqrt(claudy_browne(0.25, 50, p))) << k;
    EXPECT_EQ((*got)[1].group_correlation,
              0.05 - (std::sqrt(claudy_browne(0.05 * 0.05, 50, p)) - 0.05))
        << k;
  }
}

TEST(shrinkage_front, AOnePointFrontShrinksBoth) {
  shrinkage_input in;
  in.validities = {-0.4};
  in.group_correlations = {-0.3};
  in.validity_end_predictors = 3;
  in.impact_end_predictors = 3;
  in.calibration_n = 80;
  const shrinkage_result got = shrink_correlations(in);
  ASSERT_TRUE(got.ok());
  EXPECT_EQ((*got)[0].w_perf, 0);
  EXPECT_EQ((*got)[0].w_race, 0);
  // A negative validity keeps its sign; the group correlation's distance
  // from its sign is kept.
  EXPECT_EQ((*got)[0].validity, -std::sqrt(claudy_browne(0.16, 80, 3)));
  EXPECT_EQ((*got)[0].group_correlation, -std::sqrt(claudy_browne(0.09, 80, 3)));
}

// --- Faults -------------------------------------------------------------------

TEST(shrinkage_faults, EachFieldIsNamed) {
  shrinkage_input good;
  good.validities = {0.5, 0.4, 0.3};
  good.group_correlations = {0.2, 0.1, 0.0};
  good.validity_end = 0;
  good.impact_end = 2;
  good.validity_end_predictors = 2;
  good.impact_end_predictors = 1;
  good.calibration_n = 100;
  ASSERT_TRUE(shrink_correlations(good).ok());
  auto refused = [](const shrinkage_input& in, const std::string& path) {
    const shrinkage_result r = shrink_correlations(in);
    EXPECT_FALSE(r.ok()) << path;
    EXPECT_EQ(r.status, shrinkage_status::bad_input) << path;
    EXPECT_TRUE(names(r.errors, path)) << path;
  };
  shrinkage_input in = good;
  in.validities = {};
  in.group_correlations = {};
  refused(in, "validities");
  in = good;
  in.group_correlations.pop_back();
  refused(in, "group_correlations");
  in = good;
  in.validities[1] = 1.5;
  refused(in, "validities[1]");
  in = good;
  in.group_correlations[2] = nan;
  refused(in, "group_correlations[2]");
  in = good;
  in.validity_end = 3;
  refused(in, "validity_end");
  in = good;
  in.impact_end = 7;
  refused(in, "impact_end");
  in = good;
  in.validity_end_predictors = 0;
  refused(in, "validity_end_predictors");
  in = good;
  in.impact_end_predictors = -1;
  refused(in, "impact_end_predictors");
  in = good;
  in.calibration_n = nan;
  refused(in, "calibration_n");
  // Two predictors at the validity end count as 2 + 70/(N + 2): N = 10
  // is below 2p + 3.
  in = good;
  in.calibration_n = 10;
  refused(in, "calibration_n");
  in = good;
  in.validities = {0.5, 0.4, 0.5};
  refused(in, "validities");
  in = good;
  in.group_correlations = {0.1, 0.0, 0.1};
  refused(in, "group_correlations");
}

TEST(shrinkage_faults, AFrontNeedsTheMixAValidityObjectiveAndASample) {
  const pareto_front example = example_front(40);
  {
    pareto_front f = example;
    f.options.mode = ratio_mode::majority;
    const shrunken_front_result r =
        shrink_front(example_mix_problem(ratio_mode::majority, false), f, 40);
    EXPECT_EQ(r.status, shrinkage_status::needs_mix);
    EXPECT_FALSE(r.ok());
    EXPECT_FALSE(r.errors.empty());
  }
  {
    pareto_front f = example;
    f.options.objective = pareto_objective::mean;
    const shrunken_front_result r = shrink_front(example_mix_problem(), f, 40);
    EXPECT_EQ(r.status, shrinkage_status::not_validity);
    EXPECT_TRUE(names(r.errors, "objective"));
  }
  {
    const shrunken_front_result r = shrink_front(example_mix_problem(), pareto_front{}, 40);
    EXPECT_EQ(r.status, shrinkage_status::bad_input);
  }
  {
    // One predictor at the impact end: 1 + 70/(N + 1) predictors, so N = 8
    // is too small.
    const shrunken_front_result r = shrink_front(example_mix_problem(), example, 8);
    EXPECT_EQ(r.status, shrinkage_status::bad_input);
    EXPECT_TRUE(names(r.errors, "calibration_n"));
  }
}

TEST(shrinkage_faults, ACorrelationBeyondOneHasNoEffectSize) {
  // A large positive group correlation at the impact end grows beyond 1 at
  // a small N: no effect size, no ratio, and the point says so.
  pareto_front f;
  f.options.ratio = 0.2;
  weighting_outcome a, b;
  a.weights = {1, 1, 1};
  a.validity = 0.6;
  a.composite_d = effect_of(0.8);
  b.weights = {0, 0, 1};
  b.validity = 0.2;
  b.composite_d = effect_of(0.7);
  f.points = {a, b};
  const shrunken_front_result r = shrink_front(example_mix_problem(), f, 15);
  ASSERT_TRUE(r.ok()) << r.errors.front().text();
  EXPECT_GT(r->back().group_correlation, 1);
  EXPECT_TRUE(std::isnan(r->back().composite_d));
  EXPECT_FALSE(r->back().solved);
  EXPECT_TRUE(std::isnan(r->back().ai_ratio));
  EXPECT_TRUE(std::isnan(r->back().ratio_to_highest));
  EXPECT_TRUE(r->front().solved);
}

TEST(shrinkage_weights, SmallRemaindersAreZeros) {
  EXPECT_EQ(count_nonzero_weights(std::vector<double>{0.5, 1e-12, 0.5}), 2);
  EXPECT_EQ(count_nonzero_weights(std::vector<double>{0.5, 1e-8, 0.5}), 3);
  EXPECT_EQ(count_nonzero_weights(std::vector<double>{-0.3, 1.3, 0}), 2);
  // relative to the largest, whatever the weights' scale
  EXPECT_EQ(count_nonzero_weights(std::vector<double>{2e-10, 1e-10}), 2);
  EXPECT_EQ(count_nonzero_weights(std::vector<double>{1e12, 1}), 1);
  EXPECT_EQ(count_nonzero_weights(std::vector<double>{0, 0}), 0);
  EXPECT_EQ(count_nonzero_weights(std::vector<double>{}), 0);
}

}  // namespace
