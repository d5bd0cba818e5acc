// Analyses share nothing: eight different problems analysed at the same
// time in eight threads, many times over, give exactly what each gives
// alone. Run under ThreadSanitizer in CI (the tsan preset).
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "fourfifths/fourfifths.h"

namespace fourfifths {
namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(std::string(FOURFIFTHS_SOURCE_DIR) + "/" + path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Both modes, both quality bases, regression weights, requested ratios,
// failed solves, no minimum, and a problem built in code.
const std::array<const char*, 7> decks = {
    "examples/overall_given_weights.deck",
    "examples/majority_criterion.deck",
    "examples/regression_weights.deck",
    "examples/requested_ratios.deck",
    "tests/golden/conformance/valid/v0037_onp27nc3.deck",
    "tests/golden/conformance/edge/dpc0_overall_ratio1.deck",
    "tests/golden/conformance/valid/v0001_mnp1nc7.deck",
};

problem_spec built_in_code() {
  problem_spec s;
  s.predictors = 3;
  s.criteria = 1;
  s.mode = ratio_mode::majority;
  s.predictor_weights = {.5, .3, .2};
  s.criterion_weights = {1};
  s.correlations = {{1, .3, .2, .5}, {.3, 1, .25, .4}, {.2, .25, 1, .3}, {.5, .4, .3, 1}};
  s.predictor_effects = {-1, -.4, -.1};
  s.criterion_effects = {-.3};
  s.minority_share = 0.2;
  s.requested_ratios = {.15, .4};
  return s;
}

// Everything an analysis computes, as bytes: equal bytes, equal results.
struct fingerprint {
  std::string report;
  std::vector<double> numbers;
  bool operator==(const fingerprint& other) const {
    return report == other.report && numbers.size() == other.numbers.size() &&
           std::memcmp(numbers.data(), other.numbers.data(), numbers.size() * sizeof(double)) == 0;
  }
};

void add(std::vector<double>& numbers, const analysis_result& a) {
  numbers.insert(numbers.end(), a.weighting.weights.begin(), a.weighting.weights.end());
  numbers.push_back(a.composites.validity);
  numbers.push_back(a.minimum.ratio);
  for (const table_entry& e : a.entries) {
    const outcome& o = e.result;
    for (double v : {o.cut_score, o.sr_majority, o.sr_minority, o.ai_ratio, o.mean_majority,
                     o.mean_minority, o.mean.value_or(-1), o.std_mean.value_or(-1)}) {
      numbers.push_back(v);
    }
  }
}

fingerprint analyse_problem(int which) {
  const problem p = which < static_cast<int>(decks.size())
                        ? *read_deck(slurp(decks[static_cast<std::size_t>(which)])).value
                        : *make_problem(built_in_code()).value;
  fingerprint f;
  const analysis_result classic = analyse(p, method::classic);
  f.report = classic_report(p, classic);
  add(f.numbers, classic);
  add(f.numbers, analyse(p, method::precise));
  return f;
}

TEST(Concurrency, EightProblemsAtOnceGiveWhatEachGivesAlone) {
  constexpr int problems = 8;
  constexpr int rounds = 100;
  std::vector<fingerprint> alone;
  alone.reserve(problems);
  for (int i = 0; i < problems; ++i) alone.push_back(analyse_problem(i));
  for (int i = 0; i < problems; ++i)
    ASSERT_FALSE(alone[static_cast<std::size_t>(i)].report.empty());

  std::atomic<int> mismatches{0};
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  threads.reserve(problems);
  for (int i = 0; i < problems; ++i) {
    threads.emplace_back([&, i] {
      // Start together, so that the analyses overlap.
      ready.fetch_add(1);
      while (ready.load() < problems) std::this_thread::yield();
      for (int round = 0; round < rounds; ++round) {
        if (!(analyse_problem(i) == alone[static_cast<std::size_t>(i)])) mismatches.fetch_add(1);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace fourfifths
