// Finite pools: the exact chances against the textbook order-statistic
// integral (scipy) on tiny pools, against 10^6 pools simulated by numpy on
// larger ones (tests/observed/data/make_finite_pools.py made the file),
// their total mass, the ends of the ratios, the simulation against the
// exact chances, and the faults of the input.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fourfifths/finite_pool.h"

namespace {

using fourfifths::finite_pool_at;
using fourfifths::pool_method;
using fourfifths::pool_options;
using fourfifths::pool_population;
using fourfifths::pool_probabilities;

pool_population two_groups(double share, double d) {
  return {{{"majority", 1 - share, 0}, {"minority", share, d}}};
}

pool_probabilities one(const pool_population& pop, double ratio, const pool_options& o) {
  const double ratios[] = {ratio};
  const fourfifths::pool_result r = finite_pool_at(pop, ratios, o);
  EXPECT_TRUE(r.ok()) << (r.errors.empty() ? "" : r.errors.front().text());
  return r.ok() ? r->front() : pool_probabilities{};
}

struct reference_row {
  std::string kind;
  std::int64_t M = 0, k = 0;
  double share = 0, d = 0, ratio = 0;
  double p[4] = {};   // fail, fisher, z, absent
  double se[4] = {};  // simulated
  std::string where() const {
    std::ostringstream s;
    s << kind << " M=" << M << " share=" << share << " d=" << d << " R=" << ratio;
    return s.str();
  }
};

std::vector<reference_row> reference_rows() {
  std::ifstream in(std::string(FOURFIFTHS_SOURCE_DIR) + "/tests/observed/data/finite_pools.csv");
  std::vector<reference_row> rows;
  std::string line;
  bool header = true;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (header) {
      header = false;
      continue;
    }
    std::vector<std::string> f(1);
    for (const char ch : line) {
      if (ch == ',') {
        f.emplace_back();
      } else {
        f.back() += ch;
      }
    }
    reference_row r;
    r.kind = f[0];
    r.M = std::stoll(f[1]);
    r.share = std::strtod(f[2].c_str(), nullptr);
    r.d = std::strtod(f[3].c_str(), nullptr);
    r.ratio = std::strtod(f[4].c_str(), nullptr);
    r.k = std::stoll(f[5]);
    for (int i = 0; i < 4; ++i) {
      r.p[i] = std::strtod(f[6 + static_cast<std::size_t>(i)].c_str(), nullptr);
      r.se[i] = std::strtod(f[10 + static_cast<std::size_t>(i)].c_str(), nullptr);
    }
    rows.push_back(r);
  }
  return rows;
}

double chance(const pool_probabilities& p, int i) {
  switch (i) {
    case 0:
      return p.fail_four_fifths;
    case 1:
      return p.fisher;
    case 2:
      return p.z;
    default:
      return p.group_absent;
  }
}

constexpr const char* chance_names[] = {"fail", "fisher", "z", "absent"};

TEST(FinitePoolReference, ExactMatchesTheOrderStatisticIntegralOnTinyPools) {
  int seen = 0;
  double worst = 0;
  for (const reference_row& r : reference_rows()) {
    if (r.kind != "integral") continue;
    ++seen;
    SCOPED_TRACE(r.where());
    const pool_probabilities got = one(two_groups(r.share, r.d), r.ratio, {.applicants = r.M});
    EXPECT_EQ(got.method, pool_method::exact);
    EXPECT_EQ(got.selected, r.k);
    for (int i = 0; i < 4; ++i) {
      EXPECT_NEAR(chance(got, i), r.p[i], 1e-10) << chance_names[i];
      worst = std::max(worst, std::fabs(chance(got, i) - r.p[i]));
    }
  }
  EXPECT_EQ(seen, 20);
  std::printf("largest difference from the integral: %.3g\n", worst);
}

TEST(FinitePoolReference, ExactWithinThreeStandardErrorsOfAMillionSimulatedPools) {
  int seen = 0;
  double worst = 0;
  for (const reference_row& r : reference_rows()) {
    if (r.kind != "simulated") continue;
    ++seen;
    SCOPED_TRACE(r.where());
    const pool_probabilities got = one(two_groups(r.share, r.d), r.ratio, {.applicants = r.M});
    EXPECT_EQ(got.method, pool_method::exact);
    EXPECT_EQ(got.selected, r.k);
    for (int i = 0; i < 4; ++i) {
      // A chance the simulation never or always met: within 3 pools in 10^6.
      const double allowed = 3 * std::max(r.se[i], 1e-6);
      EXPECT_NEAR(chance(got, i), r.p[i], allowed) << chance_names[i];
      worst = std::max(worst, std::fabs(chance(got, i) - r.p[i]) / (allowed / 3));
    }
  }
  EXPECT_EQ(seen, 10);
  std::printf("largest difference from the simulation: %.2f standard errors\n", worst);
}

TEST(FinitePoolExact, EveryOutcomeSumsToOne) {
  for (const std::int64_t M : {2, 7, 20, 200, 2000}) {
    for (const auto& [share, d] : {std::pair{0.3, -1.0}, {0.5, 0.4}, {0.001, -2.5}, {0.9, 3.0}}) {
      for (const double ratio : {0.01, 0.2, 0.5, 0.93}) {
        SCOPED_TRACE(testing::Message() << "M=" << M << " share=" << share << " d=" << d
                                        << " R=" << ratio);
        const pool_probabilities got = one(two_groups(share, d), ratio, {.applicants = M});
        ASSERT_TRUE(got.mass.has_value());
        EXPECT_NEAR(*got.mass, 1, 1e-12);
        EXPECT_FALSE(got.fail_four_fifths_se.has_value());
        // A group is absent with the binomial's chances at its ends.
        EXPECT_NEAR(got.group_absent,
                    std::pow(share, static_cast<double>(M)) +
                        std::pow(1 - share, static_cast<double>(M)),
                    1e-12);
      }
    }
  }
}

TEST(FinitePoolExact, GroupsFarApartAreSimulated) {
  // Up to 10 standard deviations apart, exact; beyond, the groups barely
  // overlap and the pools are simulated.
  EXPECT_EQ(one(two_groups(0.3, -10), 0.5, {.applicants = 400}).method, pool_method::exact);
  const pool_probabilities far =
      one(two_groups(0.3, 12), 0.5, {.applicants = 400, .replications = 200});
  EXPECT_EQ(far.method, pool_method::simulated);
  // The minority's 120 or so all come first; the majority's rate is below
  // 0.8 of theirs (1) in every pool.
  EXPECT_EQ(far.fail_four_fifths, 1);
}

TEST(FinitePoolExact, NoOneOrEveryoneSelectedNeitherFailsNorDiffers) {
  const pool_population pop = two_groups(0.3, -1);
  // 0.04 of 12 rounds to 0; 0.97 of 12 to 12; 1 applicant selects all or none.
  for (const auto& [M, ratio] : {std::pair<std::int64_t, double>{12, 0.04}, {12, 0.97},
                                 {1, 0.3}, {1, 0.7}}) {
    SCOPED_TRACE(testing::Message() << "M=" << M << " R=" << ratio);
    const pool_probabilities got = one(pop, ratio, {.applicants = M});
    EXPECT_EQ(got.fail_four_fifths, 0);
    EXPECT_EQ(got.fisher, 0);
    EXPECT_EQ(got.z, 0);
    EXPECT_NEAR(got.group_absent,
                std::pow(0.3, static_cast<double>(M)) + std::pow(0.7, static_cast<double>(M)),
                1e-15);
  }
  // Half of 5 is rounded up.
  EXPECT_EQ(one(pop, 0.5, {.applicants = 5}).selected, 3);
}

TEST(FinitePoolSimulation, AgreesWithTheExactChances) {
  // The simulation and the exact computation are different methods: 20000
  // pools within 4 standard errors, both signs of the effect.
  for (const double d : {-0.8, 0.6}) {
    const pool_population pop = two_groups(0.3, d);
    const pool_probabilities exact = one(pop, 0.3, {.applicants = 60});
    fourfifths::pool_population three = pop;
    // A third group with a vanishing share simulates the same population
    // (it is almost never drawn) and sends it down the simulation.
    three.groups[0].share -= 1e-12;
    three.groups.push_back({"none", 1e-12, 0});
    const pool_probabilities sim =
        one(three, 0.3, {.applicants = 60, .replications = 20000, .seed = 7});
    ASSERT_EQ(sim.method, pool_method::simulated);
    ASSERT_TRUE(sim.fail_four_fifths_se && sim.fisher_se && sim.z_se);
    SCOPED_TRACE(testing::Message() << "d=" << d);
    EXPECT_NEAR(sim.fail_four_fifths, exact.fail_four_fifths, 4 * *sim.fail_four_fifths_se);
    EXPECT_NEAR(sim.fisher, exact.fisher, 4 * *sim.fisher_se);
    EXPECT_NEAR(sim.z, exact.z, 4 * *sim.z_se);
    // The third group is absent from every pool.
    EXPECT_EQ(sim.group_absent, 1);
  }
}

TEST(FinitePoolSimulation, TheSeedDecidesThePools) {
  const pool_population pop{{{"majority", 0.6, 0}, {"B", 0.25, -1}, {"H", 0.15, -0.5}}};
  const double ratios[] = {0.1, 0.5};
  const pool_options o{.applicants = 80, .replications = 500, .seed = 3};
  const auto a = finite_pool_at(pop, ratios, o);
  const auto b = finite_pool_at(pop, ratios, o);
  pool_options other = o;
  other.seed = 4;
  const auto c = finite_pool_at(pop, ratios, other);
  ASSERT_TRUE(a.ok() && b.ok() && c.ok());
  bool differs = false;
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ((*a)[i].fail_four_fifths, (*b)[i].fail_four_fifths);
    EXPECT_EQ((*a)[i].z, (*b)[i].z);
    differs = differs || (*a)[i].z != (*c)[i].z ||
              (*a)[i].fail_four_fifths != (*c)[i].fail_four_fifths;
    EXPECT_EQ((*a)[i].selected, i == 0 ? 8 : 40);
    EXPECT_NEAR(*(*a)[i].z_se,
                std::sqrt((*a)[i].z * (1 - (*a)[i].z) / 500), 1e-15);
  }
  EXPECT_TRUE(differs);
}

TEST(FinitePoolFaults, EachNamesItsField) {
  const pool_population pop = two_groups(0.3, -1);
  const double ratios[] = {0.5};
  auto first_path = [&](const pool_population& p, const pool_options& o,
                        std::span<const double> r) {
    const auto got = finite_pool_at(p, r, o);
    EXPECT_EQ(got.status, fourfifths::pool_status::invalid);
    return got.errors.empty() ? std::string("(none)") : got.errors.front().path;
  };
  EXPECT_EQ(first_path(pop, {.applicants = 0}, ratios), "applicants");
  EXPECT_EQ(first_path(pop, {.applicants = fourfifths::max_pool_applicants + 1}, ratios),
            "applicants");
  EXPECT_EQ(first_path(pop, {.applicants = 10, .replications = 1}, ratios), "replications");
  EXPECT_EQ(first_path(pop, {.applicants = 10, .alpha = 1}, ratios), "alpha");
  // Exact pools ignore the replications; simulated ones are bounded.
  EXPECT_TRUE(finite_pool_at(pop, ratios, {.applicants = 2000, .replications = 1'000'000}).ok());
  EXPECT_EQ(first_path(pop, {.applicants = 2001, .replications = 1'000'000}, ratios),
            "replications");
  const double nan_ratio[] = {std::nan("")};
  EXPECT_EQ(first_path(pop, {.applicants = 10}, nan_ratio), "ratios[0]");
  const double above[] = {0.5, 1.5};
  EXPECT_EQ(first_path(pop, {.applicants = 10}, above), "ratios[1]");
  EXPECT_EQ(first_path({{{"majority", 1, 0}}}, {.applicants = 10}, ratios), "groups");
  EXPECT_EQ(first_path({{{"majority", 0.7, 0}, {"minority", 0, -1}}}, {.applicants = 10}, ratios),
            "groups[1].share");
  EXPECT_EQ(first_path(two_groups(0.3, INFINITY), {.applicants = 10}, ratios), "groups[1].mean");
  EXPECT_EQ(first_path({{{"majority", 0.5, 0}, {"minority", 0.4, 0}}}, {.applicants = 10},
                       ratios),
            "groups");
}

}  // namespace
