// The library's public calls given what they cannot use: each answers with
// a fault or a status that says so, never with numbers read from an empty
// mix or computed from a value that is not a number. The sanitizer builds
// run these too, so that no call reads what it was not given.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "fourfifths/classic.h"
#include "fourfifths/fourfifths.h"

namespace fourfifths {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

selection_model sound_model(ratio_mode mode) {
  return {.mode = mode,
          .quality = quality_basis::criterion,
          .mix = applicant_mix::from_ratio(3),
          .predictor_effect = -1,
          .validity = 0.5,
          .criterion_effect = -0.5};
}

std::vector<std::string> texts(const std::vector<fault>& faults) {
  std::vector<std::string> out;
  out.reserve(faults.size());
  for (const fault& f : faults) out.push_back(f.text());
  return out;
}

// Every value of an outcome that no call could compute is NaN.
void expect_invalid(const outcome& o) {
  EXPECT_EQ(o.status, outcome_status::invalid_argument);
  EXPECT_FALSE(o.solved());
  EXPECT_FALSE(o.passes_four_fifths());
  EXPECT_EQ(o.code, 0);
  for (const double v : {o.cut_score, o.sr_majority, o.sr_minority, o.ai_ratio, o.mean_majority,
                         o.mean_minority, o.mean_difference}) {
    EXPECT_TRUE(std::isnan(v));
  }
  EXPECT_FALSE(o.mean.has_value());
}

void expect_invalid(const four_fifths_minimum& m) {
  EXPECT_EQ(m.status, outcome_status::invalid_argument);
  EXPECT_FALSE(m.found);
}

// Each call on a model, with both methods.
void expect_every_call_refuses(const selection_model& model) {
  for (const method m : {method::classic, method::precise}) {
    SCOPED_TRACE(static_cast<int>(m));
    for (const double ratio : {0.3, 0.01, 0.99999999999})
      expect_invalid(outcome_at(model, ratio, m));
    expect_invalid(find_four_fifths_minimum(model, m));
  }
}

TEST(Arguments, AnOverallModelWithoutAMix) {
  selection_model model = sound_model(ratio_mode::overall);
  model.mix.reset();
  EXPECT_EQ(texts(check_model(model)),
            std::vector<std::string>{"mix: overall selection ratios need the applicant mix"});
  expect_every_call_refuses(model);
  // A majority-mode model needs none.
  model.mode = ratio_mode::majority;
  EXPECT_TRUE(check_model(model).empty());
  EXPECT_TRUE(outcome_at(model, 0.3, method::precise).solved());
  EXPECT_TRUE(find_four_fifths_minimum(model, method::precise).found);
}

TEST(Arguments, MixesThatAreNotShares) {
  for (const ratio_mode mode : {ratio_mode::overall, ratio_mode::majority}) {
    selection_model model = sound_model(mode);
    model.mix = applicant_mix{nan, nan};
    EXPECT_EQ(texts(check_model(model)),
              (std::vector<std::string>{"mix.majority: must be a share in [0, 1]",
                                        "mix.minority: must be a share in [0, 1]"}));
    expect_every_call_refuses(model);
    model.mix = applicant_mix{1.5, -0.5};
    EXPECT_EQ(check_model(model).size(), 2u);
    expect_every_call_refuses(model);
    model.mix = applicant_mix{inf, 0.25};
    expect_every_call_refuses(model);
    model.mix = applicant_mix{0.75, 0.75};
    EXPECT_EQ(texts(check_model(model)), std::vector<std::string>{"mix: the shares must sum to 1"});
    expect_every_call_refuses(model);
    // Shares that sum to 1 in rounding are a mix, one group absent too.
    for (const applicant_mix mix : {applicant_mix::from_minority_share(0.1),
                                    applicant_mix::from_ratio(1e300), applicant_mix{0, 1}}) {
      model.mix = mix;
      EXPECT_TRUE(check_model(model).empty());
    }
  }
}

TEST(Arguments, NumbersOfTheModelThatAreNotFinite) {
  for (const ratio_mode mode : {ratio_mode::overall, ratio_mode::majority}) {
    for (const double bad : {nan, inf, -inf}) {
      selection_model model = sound_model(mode);
      model.predictor_effect = bad;
      EXPECT_EQ(texts(check_model(model)),
                std::vector<std::string>{"predictor_effect: must be a finite number"});
      expect_every_call_refuses(model);
      model = sound_model(mode);
      model.validity = bad;
      model.criterion_effect = bad;
      EXPECT_EQ(texts(check_model(model)),
                (std::vector<std::string>{"validity: must be a finite number",
                                          "criterion_effect: must be a finite number"}));
      expect_every_call_refuses(model);
    }
  }
}

TEST(Arguments, EnumerationsOutsideTheirSets) {
  selection_model model = sound_model(ratio_mode::overall);
  model.mode = static_cast<ratio_mode>(7);
  model.quality = static_cast<quality_basis>(-1);
  EXPECT_EQ(texts(check_model(model)),
            (std::vector<std::string>{"mode: must be overall or majority",
                                      "quality: must be criterion or "
                                      "predictor"}));
  expect_every_call_refuses(model);
  const selection_model sound = sound_model(ratio_mode::overall);
  expect_invalid(outcome_at(sound, 0.3, static_cast<method>(2)));
  expect_invalid(find_four_fifths_minimum(sound, static_cast<method>(-3)));
}

TEST(Arguments, ARatioThatIsNotANumber) {
  for (const ratio_mode mode : {ratio_mode::overall, ratio_mode::majority}) {
    for (const method m : {method::classic, method::precise}) {
      expect_invalid(outcome_at(sound_model(mode), nan, m));
      // Infinite ratios are numbers outside (0, 1), as in the report.
      const outcome beyond = outcome_at(sound_model(mode), inf, m);
      EXPECT_FALSE(beyond.solved());
      EXPECT_NE(beyond.status, outcome_status::invalid_argument);
    }
  }
  // Through a problem too.
  problem_spec s;
  s.predictors = 1;
  s.quality = quality_basis::predictor;
  s.mode = ratio_mode::majority;
  s.predictor_weights = {1};
  s.correlations = {{1}};
  s.predictor_effects = {-1};
  const problem p = *make_problem(s).value;
  expect_invalid(outcome_at(p, nan, method::precise));
  const std::vector<double> ratios{0.3, nan};
  const std::vector<outcome> both = outcomes_at(p, ratios, method::classic);
  EXPECT_TRUE(both[0].solved());
  expect_invalid(both[1]);
}

TEST(Arguments, ADeckWhoseCompositeHasNoVariance) {
  // Zero weights: the classic analysis is what the classic program prints,
  // rows of NaN; the precise analysis and the calls on the model say that
  // the model cannot be used.
  const std::string deck = "1 0 1 0 0 0\n3\n0\n1\n-1\n";
  const deck_result d = read_deck(deck);
  ASSERT_TRUE(d.value.has_value()) << d.text;
  const selection_model model = model_of(*d.value);
  EXPECT_EQ(texts(check_model(model)),
            std::vector<std::string>{"predictor_effect: must be a finite number"});
  expect_every_call_refuses(model);
  const analysis_result precise = analyse(*d.value, method::precise);
  expect_invalid(precise.minimum);
  ASSERT_EQ(precise.entries.size(), builtin_ratios.size());
  for (const table_entry& e : precise.entries) expect_invalid(e.result);
  const analysis_result classic = analyse(*d.value, method::classic);
  EXPECT_TRUE(std::isnan(classic.composites.predictor_effect));
  EXPECT_EQ(classic_report(*d.value, classic), run_classic(deck).report);
  EXPECT_NE(run_classic(deck).report.find("Effect size predictor composite    nan"),
            std::string::npos);
}

}  // namespace
}  // namespace fourfifths
