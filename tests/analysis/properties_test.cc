// Properties every analysis must have, over the conformance decks, the
// examples and problems at the edges of the model: only the weights' ratios
// matter; the precise outcome agrees with the classic one within the
// classic method's tolerance; a solved outcome's group ratios give back its
// target; the four-fifths minimum passes its own rule; effect sizes at and
// beyond the model's range give either sound numbers or a status.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "fourfifths/fourfifths.h"

namespace fourfifths {
namespace {

const std::string source = FOURFIFTHS_SOURCE_DIR;

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct named_problem {
  std::string name;
  problem value;
};

// examples/published_four_predictors.json, which has no deck.
problem published_four_predictors() {
  problem_spec s;
  s.predictors = 4;
  s.criteria = 1;
  s.mode = ratio_mode::overall;
  s.quality = quality_basis::criterion;
  s.regression_weights = true;
  s.criterion_weights = {1};
  s.correlations = {{1, 0.24, 0, 0.19, 0.3},
                    {0.24, 1, 0.12, 0.16, 0.3},
                    {0, 0.12, 1, 0.51, 0.18},
                    {0.19, 0.16, 0.51, 1, 0.28},
                    {0.3, 0.3, 0.18, 0.28, 1}};
  s.predictor_effects = {-1, -0.23, -0.09, -0.33};
  s.criterion_effects = {-0.21};
  s.majority_per_minority = 3;
  s.requested_ratios = {0.1};
  return *make_problem(s).value;
}

// Every valid conformance deck and every example.
const std::vector<named_problem>& every_problem() {
  static const std::vector<named_problem> problems = [] {
    std::vector<std::string> paths;
    for (const auto& e :
         std::filesystem::directory_iterator(source + "/tests/golden/conformance/valid")) {
      if (e.path().extension() == ".deck") paths.push_back(e.path().string());
    }
    for (const auto& e : std::filesystem::directory_iterator(source + "/examples")) {
      if (e.path().extension() == ".deck") paths.push_back(e.path().string());
    }
    std::sort(paths.begin(), paths.end());
    std::vector<named_problem> out;
    for (const std::string& path : paths) {
      deck_result d = read_deck(slurp(path));
      if (d.value) out.push_back({path, std::move(*d.value)});
    }
    out.push_back({"published_four_predictors", published_four_predictors()});
    return out;
  }();
  return problems;
}

// --- The weights' scale ------------------------------------------------------

// Two predictors and two criteria, weights given.
problem_spec weighted(double predictor_scale, double criterion_scale) {
  problem_spec s;
  s.predictors = 2;
  s.criteria = 2;
  s.mode = ratio_mode::overall;
  s.quality = quality_basis::criterion;
  s.predictor_weights = {0.3 * predictor_scale, 1.7 * predictor_scale};
  s.criterion_weights = {1 * criterion_scale, 0.5 * criterion_scale};
  s.correlations = {{1, .3, .5, .2}, {.3, 1, .4, .1}, {.5, .4, 1, .3}, {.2, .1, .3, 1}};
  s.predictor_effects = {-1, -.5};
  s.criterion_effects = {-.5, -.2};
  s.minority_share = 0.25;
  return s;
}

struct fingerprint {
  composite_statistics composites;
  std::vector<outcome> outcomes;
  four_fifths_minimum minimum;
};

fingerprint fingerprint_of(const problem_spec& s, method m) {
  const problem_result built = make_problem(s);
  EXPECT_TRUE(built.value.has_value());
  if (!built.value) return {};
  const analysis_result a = analyse(*built.value, m);
  fingerprint f{a.composites, {}, a.minimum};
  for (const table_entry& e : a.entries) f.outcomes.push_back(e.result);
  return f;
}

void expect_close(double got, double want, double relative) {
  EXPECT_LE(std::fabs(got - want), relative * std::max(1.0, std::fabs(want)))
      << "got " << got << ", want " << want;
}

void expect_same_analysis(const fingerprint& got, const fingerprint& want, double relative) {
  expect_close(got.composites.validity, want.composites.validity, relative);
  expect_close(got.composites.predictor_effect, want.composites.predictor_effect, relative);
  expect_close(got.composites.criterion_effect, want.composites.criterion_effect, relative);
  ASSERT_EQ(got.minimum.found, want.minimum.found);
  expect_close(got.minimum.ratio, want.minimum.ratio, relative);
  ASSERT_EQ(got.outcomes.size(), want.outcomes.size());
  for (std::size_t i = 0; i < got.outcomes.size(); ++i) {
    SCOPED_TRACE(i);
    const outcome& g = got.outcomes[i];
    const outcome& w = want.outcomes[i];
    ASSERT_EQ(g.status, w.status);
    if (!w.solved()) continue;
    expect_close(g.cut_score, w.cut_score, relative);
    expect_close(g.ai_ratio, w.ai_ratio, relative);
    expect_close(*g.mean, *w.mean, relative);
    expect_close(g.mean_difference, w.mean_difference, relative);
    expect_close(*g.std_mean, *w.std_mean, relative);
  }
}

TEST(WeightScale, PowersOfTwoChangeNoBit) {
  for (const method m : {method::classic, method::precise}) {
    const fingerprint unit = fingerprint_of(weighted(1, 1), m);
    for (const int e : {-1000, -600, -300, -1, 1, 300, 600, 1000}) {
      SCOPED_TRACE(e);
      // The classic analysis forms its sums from the weights as given, as
      // the classic program does: exact while they stay in range.
      if (m == method::classic && std::abs(e) > 500) continue;
      const fingerprint scaled =
          fingerprint_of(weighted(std::ldexp(1.0, e), std::ldexp(1.0, -e / 2)), m);
      expect_same_analysis(scaled, unit, 0);
      // The variances are those of the weights as given.
      if (std::abs(e) > 500) continue;
      EXPECT_EQ(scaled.composites.predictor_variance,
                std::ldexp(unit.composites.predictor_variance, 2 * e));
    }
  }
}

TEST(WeightScale, AnyScaleFromTheSmallestToTheLargestDoubles) {
  // Decimal scales round each weight on its own: the ratios, and so the
  // results, move in the last bits only.
  for (const method m : {method::precise}) {
    const fingerprint unit = fingerprint_of(weighted(1, 1), m);
    for (int e = -300; e <= 300; e += 20) {
      SCOPED_TRACE(e);
      const double scale = std::pow(10.0, e);
      expect_same_analysis(fingerprint_of(weighted(scale, 1), m), unit, 1e-13);
      expect_same_analysis(fingerprint_of(weighted(1, scale), m), unit, 1e-13);
      expect_same_analysis(fingerprint_of(weighted(scale, 1 / scale), m), unit, 1e-13);
    }
  }
  // The regression weights depend on the criterion weights' ratios alone.
  problem_spec s = weighted(1, 1);
  s.regression_weights = true;
  s.predictor_weights.clear();
  const fingerprint unit = fingerprint_of(s, method::precise);
  for (const double scale : {1e-300, 1e-160, 1e154, 1e300}) {
    SCOPED_TRACE(scale);
    s.criterion_weights = {scale, 0.5 * scale};
    expect_same_analysis(fingerprint_of(s, method::precise), unit, 1e-13);
  }
}

// --- The precise method against the classic one -----------------------------

// The classic method solves cut scores to 1e-4 relative (and 1e-6
// absolute) and its tail areas to about 1e-9; a group ratio then moves by
// at most the density times the cut score's error.
TEST(Methods, ThePreciseOutcomeIsTheClassicOneWithinItsTolerance) {
  int compared = 0;
  for (const named_problem& p : every_problem()) {
    SCOPED_TRACE(p.name);
    const analysis_result classic = analyse(p.value, method::classic);
    const analysis_result precise = analyse(p.value, method::precise);
    ASSERT_EQ(classic.entries.size() - (classic.minimum.found ? 1 : 0),
              precise.entries.size() - (precise.minimum.found ? 1 : 0));
    for (std::size_t i = 0; i < 21; ++i) {
      const outcome& c = classic.entries[i].result;
      const outcome& q = precise.entries[i].result;
      if (!c.solved() || !q.solved()) continue;
      // The classic zero finder's error bound, twice over for its last
      // evaluation being at either end of the final bracket.
      const double dx = 2 * (1e-4 * std::fabs(q.cut_score) + 1e-6);
      EXPECT_NEAR(c.cut_score, q.cut_score, dx) << i;
      EXPECT_NEAR(c.sr_majority, q.sr_majority, 0.4 * dx + 1e-8) << i;
      EXPECT_NEAR(c.sr_minority, q.sr_minority, 0.4 * dx + 1e-8) << i;
      ++compared;
    }
  }
  EXPECT_GT(compared, 5000);
}

TEST(Methods, OneGroupHasNoImpactAndOneMean) {
  // Without a group difference the two groups are one: the impact ratio is
  // 1 and every mean is the mean of the normal above the cut score,
  // phi(x)/Q(x), here at the median (x = 0): sqrt(2/pi).
  const double half_normal_mean = 0.79788456080286535588;  // sqrt(2/pi), 20 digits
  for (const ratio_mode mode : {ratio_mode::overall, ratio_mode::majority}) {
    const selection_model model{.mode = mode,
                                .quality = quality_basis::predictor,
                                .mix = applicant_mix::from_minority_share(0.3),
                                .predictor_effect = 0};
    const outcome precise = outcome_at(model, 0.5, method::precise);
    const outcome classic = outcome_at(model, 0.5, method::classic);
    ASSERT_TRUE(precise.solved());
    EXPECT_EQ(precise.ai_ratio, 1);
    EXPECT_EQ(precise.mean_difference, 0);
    EXPECT_NEAR(precise.cut_score, 0, 1e-15);
    EXPECT_NEAR(*precise.mean, half_normal_mean, 2e-16);
    EXPECT_NEAR(precise.mean_majority, half_normal_mean, 2e-16);
    EXPECT_NEAR(classic.ai_ratio, 1, 1e-9);
    EXPECT_NEAR(*classic.mean, half_normal_mean, 1e-4);
    EXPECT_FALSE(find_four_fifths_minimum(model, method::precise).found);
  }
}

// --- Rates that give back their target ---------------------------------------

void expect_reproduces_target(const selection_model& model, const outcome& o) {
  ASSERT_TRUE(o.solved());
  const double formed = model.mode == ratio_mode::overall ? model.mix->majority * o.sr_majority +
                                                                model.mix->minority * o.sr_minority
                                                          : o.sr_majority;
  EXPECT_LE(std::fabs(formed - o.target), precise_target_tolerance * o.target)
      << "target " << o.target << ", ratios " << o.sr_majority << ", " << o.sr_minority;
  EXPECT_TRUE(std::isfinite(o.cut_score));
  EXPECT_TRUE(std::isfinite(o.mean_majority) || std::isfinite(o.mean_minority));
  if (o.mean) {
    EXPECT_TRUE(std::isfinite(*o.mean));
  }
  if (o.std_mean) {
    EXPECT_TRUE(std::isfinite(*o.std_mean));
  }
}

TEST(Rates, EverySolvedPreciseOutcomeGivesItsTargetBack) {
  for (const named_problem& p : every_problem()) {
    SCOPED_TRACE(p.name);
    const analysis_result a = analyse(p.value, method::precise);
    for (const table_entry& e : a.entries) {
      if (e.result.solved()) expect_reproduces_target(a.model, e.result);
    }
  }
  // Effect sizes across the model's range, both modes, both signs.
  for (const double d : {-60.0, -40.0, -30.0, -8.0, -1e-3, 1e-3, 8.0, 30.0, 40.0, 60.0}) {
    for (const ratio_mode mode : {ratio_mode::overall, ratio_mode::majority}) {
      SCOPED_TRACE(d);
      const selection_model model{.mode = mode,
                                  .quality = quality_basis::predictor,
                                  .mix = applicant_mix::from_ratio(3),
                                  .predictor_effect = d};
      for (const double r : {1e-300, 1e-100, 1e-5, 0.01, 0.3, 0.5, 0.9, 0.99999999999}) {
        SCOPED_TRACE(r);
        const outcome o = outcome_at(model, r, method::precise);
        if (o.solved()) {
          expect_reproduces_target(model, o);
        } else {
          // Overall ratios that no cut score reaches in doubles: the
          // minority's share alone, with a gap of 2d between the groups.
          EXPECT_EQ(mode, ratio_mode::overall);
          EXPECT_GE(std::fabs(d), 30.0);
        }
      }
    }
  }
}

// --- The four-fifths minimum ------------------------------------------------

TEST(FourFifthsMinimum, ItsEntryPassesTheRuleInEveryProblem) {
  int found = 0;
  for (const named_problem& p : every_problem()) {
    SCOPED_TRACE(p.name);
    for (const method m : {method::classic, method::precise}) {
      const analysis_result a = analyse(p.value, m);
      if (!a.minimum.found) continue;
      const auto entry = std::find_if(a.entries.begin(), a.entries.end(), [](const table_entry& e) {
        return e.kind == entry_kind::minimum;
      });
      ASSERT_NE(entry, a.entries.end());
      const outcome& o = entry->result;
      EXPECT_EQ(o.target, a.minimum.ratio);
      EXPECT_TRUE(o.passes_four_fifths()) << o.ratio_to_highest();
      if (m == method::classic) {
        // Near 0.8 on either side, as the report prints it.
        EXPECT_LE(std::fabs(o.ratio_to_highest() - 0.8), classic_minimum_allowance);
        continue;
      }
      ++found;
      // Precise: the entry is the minimum's own outcome, the lower group's
      // rate (the majority's where the minority scores higher) at or above 0.8
      // and only just, and the ratio one bit below fails the rule.
      EXPECT_GE(o.ratio_to_highest(), 0.8);
      EXPECT_EQ(o.four_fifths_allowance, 0);
      EXPECT_EQ(o.cut_score, a.minimum.cut_score);
      EXPECT_EQ(o.sr_majority, a.minimum.sr_majority);
      EXPECT_EQ(o.sr_minority, a.minimum.sr_minority);
      EXPECT_LE(o.ratio_to_highest() - 0.8, 1e-9);
      const outcome below = outcome_at(a.model, std::nextafter(a.minimum.ratio, 0.0), m);
      EXPECT_FALSE(below.passes_four_fifths()) << below.ratio_to_highest();
    }
  }
  EXPECT_GT(found, 200);
}

TEST(FourFifthsMinimum, WhereTheMajoritySelectsEveryone) {
  // A composite 40 standard deviations apart: at the minimum the whole
  // majority is selected (its ratio is 1 in doubles) and 80 % of the
  // minority, above -0.8416212335729143 minority units (the 20 % quantile,
  // mpmath): the overall ratio 3/4 + 0.8/4 = 0.95.
  const selection_model model{.mode = ratio_mode::overall,
                              .quality = quality_basis::predictor,
                              .mix = applicant_mix::from_ratio(3),
                              .predictor_effect = -40};
  const four_fifths_minimum m = find_four_fifths_minimum(model, method::precise);
  ASSERT_TRUE(m.found);
  EXPECT_NEAR(m.ratio, 0.95, 1e-15);
  EXPECT_EQ(m.sr_majority, 1);
  EXPECT_NEAR(m.cut_score, -40.841621233572914205, 1e-13);
}

// --- Effect sizes at the model's ends ---------------------------------------

TEST(ExtremeEffects, AMinorityOfWhomNoOneIsSelectedInDoubles) {
  // d = -40, overall ratio 0.3 with three majority applicants per minority
  // applicant: the minority's ratio is 1.4e-354 (mpmath), zero in doubles.
  // The overall mean is the majority's; the minority's mean is that of
  // its normal above the cut score. Values from mpmath at 40 digits.
  const selection_model model{.mode = ratio_mode::overall,
                              .quality = quality_basis::predictor,
                              .mix = applicant_mix::from_ratio(3),
                              .predictor_effect = -40};
  const outcome o = outcome_at(model, 0.3, method::precise);
  ASSERT_TRUE(o.solved());
  EXPECT_EQ(o.sr_minority, 0);
  EXPECT_NEAR(o.cut_score, 0.25334710313579979880, 1e-15);
  EXPECT_NEAR(o.mean_majority, 0.96585633374215113721, 1e-15);
  EXPECT_NEAR(o.mean_minority, 0.27815918830235437886, 1e-13);
  EXPECT_NEAR(*o.mean, 0.96585633374215113721, 1e-15);
  EXPECT_NEAR(*o.std_mean, 0.63206145126902691034, 1e-15);
  EXPECT_TRUE(std::isfinite(*o.std_mean_minority));
}

TEST(ExtremeEffects, BeyondTheDoublesAStatusNotContradictoryRatios) {
  const applicant_mix mix = applicant_mix::from_ratio(3);  // minority share 0.25
  for (const double d : {1e300, -1e300, 1e20, -1e20}) {
    SCOPED_TRACE(d);
    const selection_model model{.mode = ratio_mode::overall,
                                .quality = quality_basis::predictor,
                                .mix = mix,
                                .predictor_effect = d};
    for (const double r : {0.01, 0.2, 0.3, 0.5, 0.8, 0.9}) {
      SCOPED_TRACE(r);
      const outcome o = outcome_at(model, r, method::precise);
      // Only the ratios one group reaches alone beside all or none of the
      // other have a cut score: above the minority's share 0.25 for a
      // minority far ahead (the rest from the majority), below the
      // majority's 0.75 for a majority far ahead.
      const bool reachable = d > 0 ? r > 0.25 : r < 0.75;
      EXPECT_EQ(o.solved(), reachable);
      if (!reachable) {
        EXPECT_EQ(o.status, outcome_status::no_cut_score);
        continue;
      }
      expect_reproduces_target(model, o);
      EXPECT_EQ(d > 0 ? o.sr_minority : o.sr_majority, d > 0 ? 1 : o.sr_majority);
    }
    const outcome majority_mode = outcome_at({.mode = ratio_mode::majority,
                                              .quality = quality_basis::predictor,
                                              .mix = mix,
                                              .predictor_effect = d},
                                             0.3, method::precise);
    expect_reproduces_target({.mode = ratio_mode::majority, .mix = mix}, majority_mode);
    EXPECT_EQ(majority_mode.sr_minority, d > 0 ? 1 : 0);
  }
  // d = 1e300 at the overall ratio 0.3: the whole minority and 1/15 of the
  // majority, above 1.5010859460440247723 (mpmath).
  const outcome o = outcome_at({.mode = ratio_mode::overall,
                                .quality = quality_basis::predictor,
                                .mix = mix,
                                .predictor_effect = 1e300},
                               0.3, method::precise);
  EXPECT_NEAR(o.cut_score, 1.5010859460440247723, 1e-14);
  EXPECT_NEAR(o.ai_ratio, 15, 1e-13);
}

TEST(ExtremeEffects, RatiosBelowTheNormalDoubles) {
  for (const ratio_mode mode : {ratio_mode::overall, ratio_mode::majority}) {
    const selection_model model{.mode = mode,
                                .quality = quality_basis::predictor,
                                .mix = applicant_mix::from_ratio(3),
                                .predictor_effect = -1};
    for (const double r : {1e-320, std::nextafter(smallest_precise_ratio, 0.0)}) {
      const outcome o = outcome_at(model, r, method::precise);
      EXPECT_FALSE(o.solved());
      EXPECT_NE(o.status, outcome_status::invalid_argument);
    }
    expect_reproduces_target(model, outcome_at(model, smallest_precise_ratio, method::precise));
  }
}

}  // namespace
}  // namespace fourfifths
