#include "observed/two_by_two.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "numeric/precise_normal.h"
#include "observed/arithmetic.h"

namespace observed {

namespace {

// The two-sided p value of a standard normal statistic.
double two_sided(double z) noexcept {
  return std::min(1.0, 2 * numeric::precise::upper_tail(std::fabs(z)));
}

constexpr double roundoff = 0x1p-53;

// A bound on the relative error of two_sided(z) for a z within a relative
// `delta` of its true value. The p value's relative change over z's is
// z Q'(z)/Q(z) = z density(z)/Q(z), below z^2 + 1 by the bound of Mills'
// ratio Q(z) > density(z) z/(z^2 + 1); twice that covers the terms of
// second order. upper_tail is within a few units of Q (numeric/), 16
// here; doubling it is exact.
double two_sided_error(double z, double delta) noexcept {
  return 2 * (z * z + 1) * delta + 16 * roundoff;
}

// The product of two counts, to the nearest double.
double product(std::int64_t x, std::int64_t y) noexcept {
  return to_double(static_cast<int128>(x) * y);
}

}  // namespace

// The pooled z test (e.g. Fleiss, Levin and Paik, "Statistical Methods for
// Rates and Proportions", 3rd ed. (2003), 2.5), rearranged in whole
// numbers: z = (a n2 - c n1) sqrt(N / (n1 n2 s f)), s = a + c, f = N - s.
// The numerator is exact before its one rounding, so z keeps its relative
// accuracy however close the two rates are (a few units in the last place,
// where the textbook form loses the digits that p1 - p2 cancels); p is
// erfc's, with the rounding of its argument carried (numeric/). Measured
// against statsmodels 0.13 and scipy 1.10 (tests/observed).
z_test pooled_z_test(std::int64_t a, std::int64_t n1, std::int64_t c, std::int64_t n2) noexcept {
  const std::int64_t N = n1 + n2;
  const std::int64_t s = a + c;
  if (s == 0 || s == N) return {};
  const double difference = to_double(static_cast<int128>(a) * n2 - static_cast<int128>(c) * n1);
  const double variance = product(n1, n2) * product(s, N - s) / static_cast<double>(N);
  const double z = difference / std::sqrt(variance);
  // z is within 8 units of roundoff: five roundings (the difference, two
  // products, their product over N, the quotient) and the square root's
  // one, which halves the error of what it is given.
  return {z, two_sided(z), two_sided_error(z, 8 * roundoff)};
}

// D. Katz, J. Baptista, S. P. Azen and M. C. Pike, "Obtaining confidence
// intervals for the risk ratio in cohort studies", Biometrics 34 (1978)
// 469-474: log(r) +- z sqrt(1/a - 1/n1 + 1/c - 1/n2), the variance written
// (n1 - a)/(a n1) + (n2 - c)/(c n2) so that nothing cancels. A zero count
// has no log: then 0.5 is added to both selected counts and both
// applicant counts, as statsmodels' confint_proportions_2indep does with
// method "log-adjusted" (its "log" otherwise). Measured against statsmodels
// 0.13 (tests/observed).
std::optional<interval> ratio_interval(std::int64_t a, std::int64_t n1, std::int64_t c,
                                       std::int64_t n2, double z) noexcept {
  if (a == 0 && c == 0) return std::nullopt;
  double ratio = 0;
  double variance = 0;
  if (a == 0 || c == 0) {
    const double a5 = static_cast<double>(a) + 0.5;
    const double n15 = static_cast<double>(n1) + 0.5;
    const double c5 = static_cast<double>(c) + 0.5;
    const double n25 = static_cast<double>(n2) + 0.5;
    ratio = (a5 / n15) / (c5 / n25);
    variance = static_cast<double>(n1 - a) / (a5 * n15) + static_cast<double>(n2 - c) / (c5 * n25);
  } else {
    ratio = product(a, n2) / product(c, n1);
    variance =
        static_cast<double>(n1 - a) / product(a, n1) + static_cast<double>(n2 - c) / product(c, n2);
  }
  const double half_width = z * std::sqrt(variance);
  return interval{ratio * std::exp(-half_width), ratio * std::exp(half_width)};
}

// N. Mantel and W. Haenszel, "Statistical aspects of the analysis of data
// from retrospective studies of disease", JNCI 22 (1959) 719-748: the odds
// ratio sum(a d / n) / sum(b c / n), and the statistic (sum (a d - b c)/n)^2
// / sum((a + b)(c + d)(a + c)(b + d) / (n^2 (n - 1))), the deviation of each
// a from its expectation written as (a d - b c)/n so that it is exact
// before its rounding. The interval of the log odds ratio uses the
// variance of J. Robins, N. Breslow and S. Greenland, "Estimators of the
// Mantel-Haenszel variance consistent in both sparse data and large-strata
// limiting models", Biometrics 42 (1986) 311-323. The same as statsmodels'
// StratifiedTable: oddsratio_pooled, oddsratio_pooled_confint and
// test_null_odds(correction=False), whose p value 1 - cdf loses what lies
// below 1e-16; here it is erfc's. Measured against statsmodels 0.13 and
// scipy 1.10 (tests/observed).
mantel_haenszel_test mantel_haenszel(std::span<const stratum> tables, double z) noexcept {
  compensated_sum r, s, deviation, magnitude, variance, pr, ps_qr, qs;
  for (const stratum& t : tables) {
    const std::int64_t n = t.a + t.b + t.c + t.d;
    const double nd = static_cast<double>(n);
    const double rk = product(t.a, t.d) / nd;
    const double sk = product(t.b, t.c) / nd;
    const double pk = static_cast<double>(t.a + t.d) / nd;
    const double qk = static_cast<double>(t.b + t.c) / nd;
    r.add(rk);
    s.add(sk);
    const double dk =
        to_double(static_cast<int128>(t.a) * t.d - static_cast<int128>(t.b) * t.c) / nd;
    deviation.add(dk);
    magnitude.add(std::fabs(dk));
    if (n > 1) {
      variance.add(product(t.a + t.b, t.c + t.d) * product(t.a + t.c, t.b + t.d) /
                   (nd * nd * static_cast<double>(n - 1)));
    }
    pr.add(pk * rk);
    ps_qr.add(pk * sk + qk * rk);
    qs.add(qk * sk);
  }
  mantel_haenszel_test out;
  const double R = r.value();
  const double S = s.value();
  if (S > 0) {
    out.odds_ratio = R / S;
  } else if (R > 0) {
    out.odds_ratio = std::numeric_limits<double>::infinity();
  }
  if (R > 0 && S > 0) {
    const double log_variance =
        (pr.value() / (R * R) + ps_qr.value() / (R * S) + qs.value() / (S * S)) / 2;
    const double half_width = z * std::sqrt(log_variance);
    out.odds_ratio_interval =
        interval{*out.odds_ratio * std::exp(-half_width), *out.odds_ratio * std::exp(half_width)};
  }
  const double v = variance.value();
  if (v > 0) {
    const double D = deviation.value();
    const double chi = D / std::sqrt(v);
    out.statistic = chi * chi;
    out.p = two_sided(chi);
    // The error of p, through chi's. Each term of the deviation is rounded
    // twice (a relative 2u, u the unit roundoff), and the compensated sum
    // adds about u of the sum and u^2 per term of the terms' magnitudes:
    // at most 3u sum|d_k| + 2u |D| in all, which is large against |D| only
    // where the terms cancel (then chi is near 0 and p near 1). Each term
    // of the variance is rounded six times and all are positive, so the
    // sum is within 8u; the square root halves that, and the quotient
    // adds u.
    if (D != 0) {
      const double delta =
          (3 * roundoff * magnitude.value() + 2 * roundoff * std::fabs(D)) / std::fabs(D) +
          6 * roundoff;
      out.error = two_sided_error(chi, delta);
    }
  }
  return out;
}

}  // namespace observed
