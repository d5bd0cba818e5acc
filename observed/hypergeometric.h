// The hypergeometric distribution of a 2x2 table with fixed margins, and
// Fisher's exact test on it.
//
// Of N applicants, K in the group and N - K in the reference, n were
// selected; under the hypothesis of no difference the number y of the
// group's among them has probability C(K, y) C(N - K, n - y) / C(N, n).
#ifndef FOURFIFTHS_OBSERVED_HYPERGEOMETRIC_H_
#define FOURFIFTHS_OBSERVED_HYPERGEOMETRIC_H_

#include <cstdint>

namespace observed {

/// Loader's deviance term bd0(x, m) = x log(x/m) + m - x >= 0, given
/// d = x - m computed without cancellation.
double bd0(double x, double m, double d) noexcept;

/// log(n!) - log(sqrt(2 pi n) (n/e)^n), the error of Stirling's formula,
/// for a whole number n >= 0 (0 for n = 0).
double stirling_error(double n) noexcept;

/// A hypergeometric distribution: K of N in the group, n drawn.
class hypergeometric {
 public:
  /// Needs 0 <= K <= N, 0 <= n <= N, N <= 2^53 - 1.
  hypergeometric(std::int64_t K, std::int64_t n, std::int64_t N) noexcept;

  std::int64_t lowest() const noexcept { return lo_; }   ///< max(0, n - (N - K))
  std::int64_t highest() const noexcept { return hi_; }  ///< min(K, n)
  std::int64_t mode() const noexcept { return mode_; }

  /// log P(y) for y in [lowest, highest].
  double log_pmf(std::int64_t y) const noexcept;
  /// P(y + 1) / P(y) for y in [lowest, highest).
  double ratio_up(std::int64_t y) const noexcept;
  /// P(y + step) / P(y), step 1 or -1, both in the support.
  double ratio(std::int64_t y, int step) const noexcept;
  /// The sum of P over y = from, from + step, ... to the end of the support
  /// (step is 1 or -1, away from the mode), given `first` = P(from).
  double tail(std::int64_t from, int step, double first) const noexcept;

 private:
  std::int64_t K_, n_, N_, lo_, hi_, mode_;
  double log_total_;  // log of the denominator's term, C(N, n) in Loader's form
};

/// Tables of at most this many applicants are tested in whole numbers.
inline constexpr std::int64_t exact_fisher_limit = 100;

/// Fisher's two-sided p value in exact arithmetic, for a table of N <=
/// exact_fisher_limit applicants, K of them in the group and n selected, a
/// of the group's: the tables no more probable than the observed one
/// (compared exactly), their probability correctly rounded when the
/// fraction in lowest terms has a numerator and denominator below 2^53.
double exact_fisher(std::int64_t a, std::int64_t K, std::int64_t n, std::int64_t N) noexcept;

/// Fisher's exact test of a group with `a` selected of `n1` applicants
/// against a reference with `c` of `n2`: the two-sided p value, the sum of
/// the probabilities of every table with the same margins that is no more
/// probable than the one observed (to a relative 1e-7, which counts
/// theoretically equal probabilities as equal despite rounding; exactly,
/// by exact_fisher, for tables of up to exact_fisher_limit applicants). 1
/// when a margin is empty.
double fisher_two_sided(std::int64_t a, std::int64_t n1, std::int64_t c, std::int64_t n2) noexcept;

/// A bound on the relative error of fisher_two_sided's p value for a table
/// of N applicants, for deciding it against a level (certainly_below).
///
/// Up to exact_fisher_limit applicants the p value is a fraction of whole
/// numbers rounded at most three times (numerator, denominator, quotient):
/// 2^-51 bounds that. Above, every term is exp of a log-probability whose
/// absolute error is a few units of its size (at most 745 before the term
/// underflows), so a few times 745 * 2^-53 < 1e-12 relative; the ratios
/// between anchors add at most 64 roundings of a few units each, the
/// compensated sum one rounding and the cut tail 2^-60 of the sum. That is
/// about 2e-12 at worst, and 2e-13 is the most measured against exact
/// arithmetic (tests/observed); 1e-9 leaves a margin of five hundredfold.
/// Which counts enter the sum is decided with the tolerance of 1e-7 that
/// fisher_two_sided describes: that is part of what the p value is (as
/// in R's fisher.test), not an error of computing it.
constexpr double fisher_two_sided_error(std::int64_t N) noexcept {
  return N <= exact_fisher_limit ? 0x1p-51 : 1e-9;
}

}  // namespace observed

#endif  // FOURFIFTHS_OBSERVED_HYPERGEOMETRIC_H_
