#include "observed/hypergeometric.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

#include "observed/arithmetic.h"

namespace observed {

namespace {

constexpr double log_two_pi = 1.8378770664093454836;  // log(2 pi)

// stirling_error(n) for n = 0..15, from log(n!) in 40-digit arithmetic
// (mpmath), rounded to the nearest double.
constexpr std::array<double, 16> small_stirling_errors = {
    0.0,
    0.08106146679532726,
    0.0413406959554093,
    0.02767792568499834,
    0.020790672103765093,
    0.016644691189821193,
    0.013876128823070748,
    0.01189670994589177,
    0.010411265261972096,
    0.009255462182712733,
    0.00833056343336287,
    0.007573675487951841,
    0.00694284010720953,
    0.006408994188004207,
    0.0059513701127588475,
    0.005554733551962801,
};

// 1/3, 1/5, ..., 1/41: the series of bd0 needs at most 17 of them (for
// |v| < 1/3, (1/9)^17 < 2^-53), and a product is cheaper than a quotient.
constexpr std::array<double, 20> make_odd_reciprocals() {
  std::array<double, 20> r{};
  for (std::size_t j = 0; j < r.size(); ++j) r[j] = 1.0 / static_cast<double>(2 * j + 3);
  return r;
}
constexpr std::array<double, 20> odd_reciprocals = make_odd_reciprocals();

// The coefficients of the asymptotic series of the Stirling error,
// 1/12, 1/360, 1/1260, 1/1680, 1/1188 (B_2k / (2k (2k - 1))).
constexpr double s0 = 1.0 / 12;
constexpr double s1 = 1.0 / 360;
constexpr double s2 = 1.0 / 1260;
constexpr double s3 = 1.0 / 1680;
constexpr double s4 = 1.0 / 1188;

// log of C(m, x) p^x q^(m - x), p = n/N and q = 1 - p, in Loader's form:
// the Stirling errors, the deviances of x and m - x from their means m p
// and m q, and the square-root factor. The deviations x - m p =
// (x N - m n)/N and (m - x) - m q = -(x - m p) are formed from exact
// integers, so that the deviances carry no cancellation: each term has a
// relative error of a few units, and their sum, the log of a probability,
// an absolute error of a few units of its own size. The square-root factor
// takes log((m - x)/m) from the exact m - x: log1p(-x/m), as R's dbinom has
// it, loses the digits of 1 - x/m when x is near m.
double log_binomial(std::int64_t x, std::int64_t m, std::int64_t n, std::int64_t N) noexcept {
  if (m == 0) return 0;
  const double total = static_cast<double>(N);
  const double d =
      to_double(static_cast<int128>(x) * N - static_cast<int128>(m) * n) / total;  // x - m p
  const double mp = to_double(static_cast<int128>(m) * n) / total;
  const double mq = to_double(static_cast<int128>(m) * (N - n)) / total;
  const double xd = static_cast<double>(x);
  const double rest = static_cast<double>(m - x);
  if (x == 0) return -mp - bd0(rest, mq, -d);  // q^m; bd0(0, m p) = m p
  if (x == m) return -bd0(xd, mp, d) - mq;     // p^m
  const double md = static_cast<double>(m);
  return stirling_error(md) - stirling_error(xd) - stirling_error(rest) - bd0(xd, mp, d) -
         bd0(rest, mq, -d) - 0.5 * (log_two_pi + std::log(xd) + std::log(rest / md));
}

// The first y from `from` towards `to` (inclusive; to is reached by steps
// of `step`, 1 or -1) at which `holds` is true, where it is false up to
// some point and true from there on, and true at `to`. Gallops from
// `guess` and then halves the bracket: a good guess costs few calls.
template <class Predicate>
std::int64_t first_holding(std::int64_t from, std::int64_t to, int step, std::int64_t guess,
                           Predicate holds) {
  // In the coordinate t = (y - from) * step the range is [0, span].
  const std::int64_t span = (to - from) * step;
  auto at = [&](std::int64_t t) { return from + t * step; };
  std::int64_t g = std::clamp<std::int64_t>((guess - from) * step, 0, span);
  std::int64_t fails = -1;  // the largest t known false
  std::int64_t passes = span;
  if (holds(at(g))) {
    passes = g;
    for (std::int64_t jump = 1; passes > 0; jump *= 2) {
      const std::int64_t t = std::max<std::int64_t>(0, passes - jump);
      if (!holds(at(t))) {
        fails = t;
        break;
      }
      passes = t;
    }
  } else {
    fails = g;
    for (std::int64_t jump = 1; fails < span; jump *= 2) {
      const std::int64_t t = std::min(span, fails + jump);
      if (t == span || holds(at(t))) {
        passes = t;
        break;
      }
      fails = t;
    }
  }
  while (passes - fails > 1) {
    const std::int64_t mid = fails + (passes - fails) / 2;
    if (holds(at(mid))) {
      passes = mid;
    } else {
      fails = mid;
    }
  }
  return at(passes);
}

}  // namespace

// C. Loader, "Fast and accurate computation of binomial probabilities"
// (2000): x log(x/m) + m - x, by the series in v = (x - m)/(x + m),
// 2x (v^2/(1 + v) + v^3/3 + v^5/5 + ...) written as (x - m) v + 2x (v^3/3 +
// ...), where |v| < 1/3 (at most 17 terms), and directly outside, where
// the two terms differ by a factor of at least 3.6 and little is lost.
// Measured: within 4 units in the last place of 50-digit values.
double bd0(double x, double m, double d) noexcept {
  if (x == 0) return m;
  const double v = d / (x + m);
  if (std::fabs(v) < 1.0 / 3) {
    double s = d * v;
    double term = 2 * x * v;
    const double v2 = v * v;
    for (const double reciprocal : odd_reciprocals) {
      term *= v2;
      const double next = s + term * reciprocal;
      if (next == s) break;
      s = next;
    }
    return s;
  }
  return x * std::log(x / m) - d;
}

// Below 16 from the table; above, the asymptotic series, truncated where
// its next term is below 1e-16 in absolute value (Loader, as above).
double stirling_error(double n) noexcept {
  if (n < 16) return small_stirling_errors[static_cast<std::size_t>(n)];
  const double nn = n * n;
  if (n > 500) return (s0 - s1 / nn) / n;
  if (n > 80) return (s0 - (s1 - s2 / nn) / nn) / n;
  if (n > 35) return (s0 - (s1 - (s2 - s3 / nn) / nn) / nn) / n;
  return (s0 - (s1 - (s2 - (s3 - s4 / nn) / nn) / nn) / nn) / n;
}

hypergeometric::hypergeometric(std::int64_t K, std::int64_t n, std::int64_t N) noexcept
    : K_(K),
      n_(n),
      N_(N),
      lo_(std::max<std::int64_t>(0, n - (N - K))),
      hi_(std::min(K, n)),
      mode_(static_cast<std::int64_t>(static_cast<int128>(n + 1) * (K + 1) / (N + 2))),
      log_total_(log_binomial(n, N, n, N)) {}

// log C(K, y) + log C(N - K, n - y) - log C(N, n) as three binomial terms
// with the same p = n/N (R's dhyper does the same): the powers of p and q
// cancel, and the deviances of the third are zero.
double hypergeometric::log_pmf(std::int64_t y) const noexcept {
  return log_binomial(y, K_, n_, N_) + log_binomial(n_ - y, N_ - K_, n_, N_) - log_total_;
}

double hypergeometric::ratio_up(std::int64_t y) const noexcept {
  return static_cast<double>(K_ - y) * static_cast<double>(n_ - y) /
         (static_cast<double>(y + 1) * static_cast<double>(N_ - K_ - n_ + y + 1));
}

double hypergeometric::ratio(std::int64_t y, int step) const noexcept {
  if (step > 0) return ratio_up(y);
  return static_cast<double>(y) * static_cast<double>(N_ - K_ - n_ + y) /
         (static_cast<double>(K_ - y + 1) * static_cast<double>(n_ - y + 1));
}

// The terms by their ratios, anchored afresh every 64 steps so that the
// ratios' roundings (a unit or two each) cannot pile up beyond about 1e-14;
// stopped when the rest, bounded by a geometric series (the ratios fall
// away from the mode), is below 2^-60 of the sum.
double hypergeometric::tail(std::int64_t from, int step, double first) const noexcept {
  double term = first;
  if (term == 0) return 0;
  compensated_sum sum;
  sum.add(term);
  std::int64_t y = from;
  for (int k = 1; step > 0 ? y < hi_ : y > lo_; ++k) {
    const double r = ratio(y, step);
    y += step;
    term = k % 64 == 0 ? std::exp(log_pmf(y)) : term * r;
    if (term == 0) break;
    sum.add(term);
    if (r < 1 && term * r <= (1 - r) * sum.value() * 0x1p-60) break;
  }
  return sum.value();
}

namespace {

// Where a run of counts, falling in probability from `begin` (at or next
// to the mode) by steps of `step`, to `end`, first holds a probability of
// at most `limit` times the observed one's, found by walking with the
// terms' ratios from `from`, whose probability is `relative` times the
// observed one's. Nothing when the walk would be long (then a search by
// logarithms is cheaper and safer); `end` + `step` when no count of the
// run is that improbable.
struct walked {
  std::int64_t at;
  double relative;  // P(at) / P(observed)
};

std::optional<walked> walk(const hypergeometric& h, std::int64_t begin, std::int64_t end, int step,
                           std::int64_t from, double relative, double limit) {
  constexpr int longest = 64;
  std::int64_t y = from;
  if (relative <= limit) {
    // Towards the mode while the next is as improbable.
    for (int k = 0; y != begin; ++k) {
      if (k == longest) return std::nullopt;
      const double r = relative * h.ratio(y, -step);
      if (r > limit) break;
      relative = r;
      y -= step;
    }
    return walked{y, relative};
  }
  // Away from the mode until improbable enough.
  for (int k = 0; relative > limit; ++k) {
    if (y == end) return walked{end + step, 0};
    if (k == longest) return std::nullopt;
    relative *= h.ratio(y, step);
    y += step;
  }
  return walked{y, relative};
}

// C(m, k) in whole numbers, for m <= exact_fisher_limit: each step's
// partial product is C(m - k + i, i), so every division is exact, and the
// largest intermediate, C(100, 50) * 100, is below 2^103.
int128 choose(std::int64_t m, std::int64_t k) noexcept {
  int128 r = 1;
  for (std::int64_t i = 1; i <= k; ++i) r = r * (m - k + i) / i;
  return r;
}

int128 gcd(int128 x, int128 y) noexcept {
  while (y != 0) x = std::exchange(y, x % y);
  return x;
}

}  // namespace

// Every table's weight C(K, y) C(N - K, n - y) is a whole number below
// C(N, n) <= C(100, 50) < 2^97, and the next from the last by the ratio of
// the terms, exactly (the product before the division is below 2^111).
// Ties are decided by comparing whole numbers, so a table exactly as
// probable as the observed one always counts, with no tolerance, and the p
// value is the fraction in lowest terms rounded to a double: 1/20 is
// 0.05, the same double as an alpha of 0.05, and is not below it.
double exact_fisher(std::int64_t a, std::int64_t K, std::int64_t n, std::int64_t N) noexcept {
  const std::int64_t lo = std::max<std::int64_t>(0, n - (N - K));
  const std::int64_t hi = std::min(K, n);
  std::array<int128, exact_fisher_limit + 1> weight{};
  weight[0] = choose(K, lo) * choose(N - K, n - lo);
  for (std::int64_t y = lo; y < hi; ++y) {
    const auto k = static_cast<std::size_t>(y - lo);
    const int128 below = static_cast<int128>(y + 1) * (N - K - n + y + 1);
    weight[k + 1] = weight[k] * (K - y) * (n - y) / below;
  }
  const int128 observed = weight[static_cast<std::size_t>(a - lo)];
  int128 total = 0, tail = 0;
  for (std::size_t k = 0; k <= static_cast<std::size_t>(hi - lo); ++k) {
    total += weight[k];
    if (weight[k] <= observed) tail += weight[k];
  }
  const int128 common = gcd(tail, total);
  return to_double(tail / common) / to_double(total / common);
}

// The two-sided p value as scipy.stats.fisher_exact and R's fisher.test
// define it: the probabilities no greater than the observed one's, with a
// relative tolerance of 1e-7 (R's; scipy 1.10 uses 1e-14, too tight for
// probabilities that are equal in theory but computed along different
// paths). The distribution is unimodal: the tail beyond the observed
// count on its side, and on the other side of the mode the tail from the
// first count as improbable. That count is found from the mirror image
// of the observed count about the mean, by the terms' ratios (one
// logarithm), or where that would take long by halving with logarithms.
// Each tail is summed from its largest term outwards. Measured against
// 40-digit and exact rational arithmetic over 1,600 random tables with up
// to 10^8 applicants (tests/observed): within 2e-13 relative, p values
// down to 1e-300.
double fisher_two_sided(std::int64_t a, std::int64_t n1, std::int64_t c, std::int64_t n2) noexcept {
  const std::int64_t N = n1 + n2;
  const std::int64_t n = a + c;
  if (n1 == 0 || n2 == 0 || n == 0 || n == N) return 1;
  if (N <= exact_fisher_limit) return exact_fisher(a, n1, n, N);
  const hypergeometric h(n1, n, N);
  const std::int64_t m = h.mode();
  if (a == m) return 1;
  constexpr double tolerance = 1e-7;
  const double limit = 1 + tolerance;
  const double observed = h.log_pmf(a);
  const double cut = observed + std::log1p(tolerance);
  auto improbable = [&](std::int64_t y) { return h.log_pmf(y) <= cut; };

  // The observed side, from the mode out: a itself and, rarely, counts
  // nearer the mode that are as improbable. If the mode is, so is every
  // count.
  const int away = a < m ? -1 : 1;
  const std::int64_t side_end = away < 0 ? h.lowest() : h.highest();
  std::int64_t near = a;
  double first = std::exp(observed);
  if (const auto w = walk(h, m, side_end, away, a, 1, limit)) {
    near = w->at;
    first *= w->relative;
  } else {
    if (improbable(m)) return 1;
    near = first_holding(m, a, away, a, improbable);
    first = std::exp(h.log_pmf(near));
  }
  if (near == m) return 1;
  double p = h.tail(near, away, first);

  // The other side, if it has counts.
  const std::int64_t far_end = away < 0 ? h.highest() : h.lowest();
  if (far_end == m) return std::min(1.0, p);
  const std::int64_t begin = m - away;
  const double mean = to_double(static_cast<int128>(n1) * n) / static_cast<double>(N);
  std::int64_t guess = std::llround(2 * mean - static_cast<double>(a));
  guess = away < 0 ? std::clamp(guess, begin, far_end) : std::clamp(guess, far_end, begin);
  const double log_guess = h.log_pmf(guess);
  std::optional<walked> w;
  if (std::fabs(log_guess - observed) < 30) {
    w = walk(h, begin, far_end, -away, guess, std::exp(log_guess - observed), limit);
  }
  if (w) {
    if (w->at != far_end - away) p += h.tail(w->at, -away, std::exp(observed) * w->relative);
  } else if (improbable(far_end)) {
    const std::int64_t from = first_holding(begin, far_end, -away, guess, improbable);
    p += h.tail(from, -away, std::exp(h.log_pmf(from)));
  }
  return std::min(1.0, p);
}

}  // namespace observed
