// The statistics of a group against a reference from their counts: the
// two-proportion z test, the interval of the ratio of their rates, and the
// Mantel-Haenszel analysis of several such tables.
#ifndef FOURFIFTHS_OBSERVED_TWO_BY_TWO_H_
#define FOURFIFTHS_OBSERVED_TWO_BY_TWO_H_

#include <cstdint>
#include <optional>
#include <span>

namespace observed {

/// The z test of a selected of n1 against c of n2 (both n1 and n2 > 0).
struct z_test {
  std::optional<double> z;  ///< none when no one or everyone was selected
  double p = 1;             ///< two-sided; 1 without z
  /// A bound on the relative error of p (see pooled_z_test), for deciding
  /// it against a level (certainly_below).
  double error = 0x1p-52;
};

/// The pooled two-proportion z test: z = (a/n1 - c/n2) / sqrt(P (1 - P)
/// (1/n1 + 1/n2)), P = (a + c)/(n1 + n2).
z_test pooled_z_test(std::int64_t a, std::int64_t n1, std::int64_t c, std::int64_t n2) noexcept;

struct interval {
  double low = 0, high = 0;
};

/// The interval of (a/n1)/(c/n2) by the log method (Katz et al.), with
/// `z` the normal quantile of its level; when a or c is 0, with 0.5 added
/// to both selected counts and both applicant counts first. None when a
/// and c are both 0.
std::optional<interval> ratio_interval(std::int64_t a, std::int64_t n1, std::int64_t c,
                                       std::int64_t n2, double z) noexcept;

/// One unit's table: the group's selected `a` and rejected `b`, the
/// reference's selected `c` and rejected `d`; a + b > 0 and c + d > 0.
struct stratum {
  std::int64_t a = 0, b = 0, c = 0, d = 0;
};

struct mantel_haenszel_test {
  std::optional<double> odds_ratio;  ///< none when 0/0
  std::optional<interval> odds_ratio_interval;
  std::optional<double> statistic;  ///< none when no table varies
  double p = 1;
  /// A bound on the relative error of p (see mantel_haenszel), for
  /// deciding it against a level (certainly_below).
  double error = 0x1p-52;
};

/// The Mantel-Haenszel common odds ratio with its interval at normal
/// quantile `z`, and the Cochran-Mantel-Haenszel statistic without
/// continuity correction.
mantel_haenszel_test mantel_haenszel(std::span<const stratum> tables, double z) noexcept;

}  // namespace observed

#endif  // FOURFIFTHS_OBSERVED_TWO_BY_TWO_H_
