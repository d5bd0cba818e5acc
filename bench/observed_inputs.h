// Observed data of a million rows, the same on every run: the counts form
// (250,000 units of four groups; applicants from 1 to 5,000 spread evenly
// on a log scale, rates from 2% to 60%) and the applicants form (one row
// per person, in 50 units of four groups, three in ten selected). The
// benchmarks make them in memory; tests/explore/make_observed writes them
// to a file for the explorer's memory test.
#ifndef FOURFIFTHS_BENCH_OBSERVED_INPUTS_H_
#define FOURFIFTHS_BENCH_OBSERVED_INPUTS_H_

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

namespace observed_inputs {

inline constexpr std::size_t units = 250000;
inline constexpr std::size_t groups_per_unit = 4;
inline constexpr std::size_t applicants = 1000000;
inline constexpr const char* group_names[groups_per_unit] = {"men", "women", "older", "younger"};

// unit,group,applicants,selected: units x groups_per_unit rows.
inline std::string counts_csv() {
  std::mt19937_64 random(20261208);
  std::uniform_real_distribution<double> unit_interval(0, 1);
  std::string out = "unit,group,applicants,selected\n";
  out.reserve(32 * units * groups_per_unit);
  for (std::size_t u = 0; u < units; ++u) {
    const double base = 0.02 + 0.58 * unit_interval(random);
    for (const char* name : group_names) {
      const auto n = static_cast<std::int64_t>(std::exp(std::log(5000.0) * unit_interval(random))) + 1;
      const double rate = std::min(1.0, base * (0.5 + unit_interval(random)));
      const auto selected = static_cast<std::int64_t>(std::floor(rate * static_cast<double>(n)));
      out.append("j").append(std::to_string(u)).append(",").append(name).append(",");
      out.append(std::to_string(n)).append(",").append(std::to_string(selected)).append("\n");
    }
  }
  return out;
}

// unit,group,selected: one row per applicant.
inline std::string applicants_csv() {
  std::mt19937_64 random(20261209);
  std::uniform_real_distribution<double> unit_interval(0, 1);
  std::string out = "unit,group,selected\n";
  out.reserve(16 * applicants);
  for (std::size_t i = 0; i < applicants; ++i) {
    out.append("j").append(std::to_string(i % 50)).append(",");
    out.append(group_names[(i / 50) % groups_per_unit]);
    out.append(unit_interval(random) < 0.3 ? ",1\n" : ",0\n");
  }
  return out;
}

}  // namespace observed_inputs

#endif  // FOURFIFTHS_BENCH_OBSERVED_INPUTS_H_
