#include "fourfifths/finite_pool.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>

#include "numeric/portable_math.h"
#include "numeric/precise_normal.h"
#include "numeric/random_draws.h"
#include "observed/arithmetic.h"
#include "observed/hypergeometric.h"
#include "observed/two_by_two.h"

namespace fourfifths {

namespace {

using observed::int128;
namespace portable = numeric::portable;

// --- The verdicts on one pool ---------------------------------------------------

struct tally {
  std::int64_t applicants = 0;
  std::int64_t selected = 0;
};

struct verdicts {
  bool fails = false;
  bool fisher = false;
  bool z = false;
  bool absent = false;
};

// Whether group g's rate is above group h's, from the counts alone.
bool rate_above(const tally& g, const tally& h) {
  return static_cast<int128>(g.selected) * h.applicants >
         static_cast<int128>(h.selected) * g.applicants;
}

// The rule and the tests on one pool, as the header says: the groups with
// applicants against the one with the highest rate.
verdicts judge(std::span<const tally> groups, double alpha) {
  verdicts out;
  int highest = -1;
  int present = 0;
  for (int g = 0; g < static_cast<int>(groups.size()); ++g) {
    const tally& t = groups[static_cast<std::size_t>(g)];
    if (t.applicants == 0) {
      out.absent = true;
      continue;
    }
    ++present;
    if (highest < 0 || rate_above(t, groups[static_cast<std::size_t>(highest)])) highest = g;
  }
  if (present < 2) return out;
  const tally& h = groups[static_cast<std::size_t>(highest)];
  for (int g = 0; g < static_cast<int>(groups.size()); ++g) {
    const tally& t = groups[static_cast<std::size_t>(g)];
    if (g == highest || t.applicants == 0) continue;
    // The four-fifths rule in whole numbers, as observed data are judged.
    if (5 * static_cast<int128>(t.selected) * h.applicants <
        4 * static_cast<int128>(h.selected) * t.applicants) {
      out.fails = true;
    }
    const observed::z_test z = observed::pooled_z_test(t.selected, t.applicants, h.selected,
                                                       h.applicants);
    if (observed::certainly_below(z.p, z.error, alpha)) out.z = true;
    const double p = observed::fisher_two_sided(t.selected, t.applicants, h.selected,
                                                h.applicants);
    if (observed::certainly_below(
            p, observed::fisher_two_sided_error(t.applicants + h.applicants), alpha)) {
      out.fisher = true;
    }
  }
  return out;
}

std::int64_t selected_of(double ratio, std::int64_t applicants) {
  // R M rounded half up; R in [0, 1], so the product is at most M.
  return static_cast<std::int64_t>(std::floor(ratio * static_cast<double>(applicants) + 0.5));
}

// --- Binomial probabilities -----------------------------------------------------

constexpr double log_two_pi = 1.8378770664093454836;

// x log(x/m) + m - x (Loader's deviance; observed::bd0's series, with the
// logarithm of this program's own where the series does not apply).
double deviance(double x, double m) {
  if (x == 0) return m;
  const double d = x - m;
  if (std::fabs(d / (x + m)) < 1.0 / 3) return observed::bd0(x, m, d);
  return x * portable::log(x / m) - d;
}

// P(Bin(n, p) = x), q = 1 - p, in Loader's form (C. Loader, "Fast and
// accurate computation of binomial probabilities", 2000): the Stirling
// errors and the deviances of x and n - x from their means, each with a
// relative error of a few units, so that the logarithm has an absolute
// error of a few units of its own size.
double binomial_at(std::int64_t x_, std::int64_t n_, double p, double q) {
  const double n = static_cast<double>(n_);
  const double x = static_cast<double>(x_);
  if (x_ == 0) return portable::exp(n * portable::log(q));
  if (x_ == n_) return portable::exp(n * portable::log(p));
  return portable::exp(observed::stirling_error(n) - observed::stirling_error(x) -
                       observed::stirling_error(n - x) - deviance(x, n * p) -
                       deviance(n - x, n * q) -
                       0.5 * (log_two_pi + portable::log(x) + portable::log((n - x) / n)));
}

// The binomial probabilities of x = 0..n successes with chance p (q =
// 1 - p, given apart so that neither loses digits), those above `floor`:
// from the mode (binomial_at) outward by the ratios of neighbours, which
// fall away from the mode, so that the terms left out sum to less than a
// few times `floor` on each side.
struct binomial_terms {
  std::int64_t first = 0;
  std::vector<double> p;  // p[i] is P(first + i)
};

void binomial(std::int64_t n, double p, double q, double floor, binomial_terms& out) {
  out.p.clear();
  if (n == 0 || p == 0) {
    out.first = 0;
    out.p.push_back(1);
    return;
  }
  if (q == 0) {
    out.first = n;
    out.p.push_back(1);
    return;
  }
  std::int64_t mode = static_cast<std::int64_t>(std::floor((static_cast<double>(n) + 1) * p));
  mode = std::clamp<std::int64_t>(mode, 0, n);
  const double at_mode = binomial_at(mode, n, p, q);
  const double odds = p / q;
  std::vector<double> down;  // P(mode - 1), P(mode - 2), ...
  double v = at_mode;
  for (std::int64_t i = mode; i > 0; --i) {
    v *= static_cast<double>(i) / (static_cast<double>(n - i + 1) * odds);
    if (v < floor) break;
    down.push_back(v);
  }
  out.first = mode - static_cast<std::int64_t>(down.size());
  out.p.assign(down.rbegin(), down.rend());
  out.p.push_back(at_mode);
  v = at_mode;
  for (std::int64_t i = mode; i < n; ++i) {
    v *= static_cast<double>(n - i) / static_cast<double>(i + 1) * odds;
    if (v < floor) break;
    out.p.push_back(v);
  }
}

// --- The exact probabilities of two groups --------------------------------------
//
// The M scores are independent draws from the mixture of the two groups'
// normals, g = q f0 + p f1 (the majority's share q, the minority's p and
// mean d). Let T be the k-th highest score and U = G(T) the mixture's
// area above it: U has the beta density M C(M-1, k-1) u^(k-1) (1-u)^(M-k),
// which is M times a binomial probability. Given T = t the k - 1 scores
// above t are independent draws from the mixture above t, each the
// minority's with chance p S1(t) / (p S1(t) + q S0(t)) (S the groups'
// areas above t); the score at t is the minority's with chance p f1(t) /
// g(t); the M - k below are draws from the mixture below t, each the
// minority's with chance p F1 / (p F1 + q F0). So the minority's selected
// X and rejected Y are independent given t, binomial (X with one
// Bernoulli draw added), and
//
//   P(X = x, Y = y) = integral over u of the beta density times
//                     P(X = x | t(u)) P(Y = y | t(u)),
//
// summed against the verdicts on the table (x of x + y minority applicants
// selected, k - x of M - x - y majority applicants). The integral runs
// over [u_lo, u_hi], outside which the beta's mass is below 3e-20 on each
// side (Chernoff's bound, P(Bin(M, u) >= k) <= exp(-M KL(k/M || u)) below
// k/M, and its mirror), by 48 panels of the 10-point Gauss-Legendre rule.
// Measured (tests/observed/finite_pool_test, and by hand on 2,400 problems
// of 6 to 2,000 applicants, minority shares from 0.001 to 0.999, mean
// differences from -10 to 10 and ratios from 0.01 to 0.93): the
// probabilities of every table sum to 1 within 3e-14; doubling the panels
// changes no chance by more than 2e-14 (144 of those problems); they agree
// with adaptive quadrature of the textbook two-sample order-statistic
// integral (scipy) within 2e-15 for M = 6 and 9. Beyond a difference of
// 15 the groups barely overlap, the integrand's mass gathers where few
// nodes fall, and the sum drifts from 1 (by 4e-7 at 30): such pools are
// simulated (max_exact_mean_difference).

// The 10-point Gauss-Legendre rule on [-1, 1]: the positive nodes and
// their weights (numpy.polynomial.legendre.leggauss(10)).
constexpr std::array<double, 5> gl_nodes = {0.14887433898163122, 0.4333953941292472,
                                            0.6794095682990244, 0.8650633666889845,
                                            0.9739065285171717};
constexpr std::array<double, 5> gl_weights = {0.295524224714753, 0.2692667193099965,
                                              0.219086362515982, 0.14945134915058036,
                                              0.06667134430868807};
constexpr int panels = 48;
// exp(-45): the bound on the beta's mass left out on each side.
constexpr double tail_exponent = 45;
// Binomial terms below this are left out.
constexpr double term_floor = 1e-30;
// Pool outcomes less probable than this are not judged: together at most
// 1e-14 of the chances.
constexpr double judged_floor = 1e-20;

// M KL(a || u), with 0 log 0 = 0.
double kl_times(double M, double a, double u) {
  double s = 0;
  if (a > 0) s += a * portable::log(a / u);
  if (a < 1) s += (1 - a) * portable::log((1 - a) / (1 - u));
  return M * s;
}

// The u between `inner` (where M KL is 0) and `outer` at which M KL(a || u)
// reaches tail_exponent, or `outer` when it does not.
double beta_bound(double M, double a, double inner, double outer) {
  if (kl_times(M, a, outer) <= tail_exponent) return outer;
  double lo = inner;
  double hi = outer;
  for (int i = 0; i < 200; ++i) {
    const double mid = 0.5 * (lo + hi);
    if (mid == lo || mid == hi) break;
    (kl_times(M, a, mid) < tail_exponent ? lo : hi) = mid;
  }
  return hi;
}

struct mixture {
  double q = 0;  // the majority's share
  double p = 0;  // the minority's share
  double d = 0;  // the minority's mean

  double above(double t) const {
    return q * numeric::precise::upper_tail(t) + p * numeric::precise::upper_tail(t - d);
  }
  double below(double t) const {
    return q * numeric::precise::upper_tail(-t) + p * numeric::precise::upper_tail(d - t);
  }
  // The score with the area `u` of the mixture above it, or `v` below it,
  // by bisection on the area (to the last bit it can tell).
  double score_above(double u) const {
    return bisect([&](double t) { return above(t) > u; });
  }
  double score_below(double v) const {
    return bisect([&](double t) { return below(t) < v; });
  }
  // The point where `left` turns false, as t rises.
  template <class Predicate>
  double bisect(Predicate left) const {
    double lo = std::min(0.0, d) - 40;
    double hi = std::max(0.0, d) + 40;
    for (int i = 0; i < 200; ++i) {
      const double mid = 0.5 * (lo + hi);
      if (mid == lo || mid == hi) break;
      (left(mid) ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
  }
};

pool_probabilities exact_two_groups(const mixture& mix, std::int64_t M, std::int64_t k,
                                    double alpha) {
  pool_probabilities out;
  out.selected = k;
  out.method = pool_method::exact;
  const std::int64_t rest = M - k;
  const double Md = static_cast<double>(M);
  // The joint probabilities of (x, y), x in [0, k], y in [0, M - k].
  std::vector<double> joint(static_cast<std::size_t>((k + 1) * (rest + 1)), 0.0);
  auto cell = [&](std::int64_t x, std::int64_t y) -> double& {
    return joint[static_cast<std::size_t>(x * (rest + 1) + y)];
  };
  if (k == 0 || k == M) {
    // No one or everyone selected: the minority's applicants are binomial.
    binomial_terms m;
    binomial(M, mix.p, mix.q, 0, m);
    for (std::size_t i = 0; i < m.p.size(); ++i) {
      const std::int64_t n = m.first + static_cast<std::int64_t>(i);
      (k == 0 ? cell(0, n) : cell(n, 0)) += m.p[i];
    }
  } else {
    const double a_lo = static_cast<double>(k) / Md;
    // 1 - U has the beta density of M - k + 1 and k: its lower bound is
    // found alike, and kept as an area below rather than 1 - u, which would
    // round to 1.
    const double b_lo = static_cast<double>(rest + 1) / Md;
    const double u_lo = beta_bound(Md, a_lo, a_lo, 0);
    const double v_lo = beta_bound(Md, b_lo, b_lo, 0);
    // Over the score rather than u: every term is smooth in t, where near
    // u = 0 and 1 they move as sqrt(log(1/u)).
    const double t_lo = mix.score_below(v_lo);
    const double t_hi = mix.score_above(u_lo);
    const double width = (t_hi - t_lo) / panels;
    binomial_terms above, below;
    std::vector<double> ax;
    for (int panel = 0; panel < panels; ++panel) {
      const double centre = t_lo + (panel + 0.5) * width;
      for (int node = 0; node < 10; ++node) {
        const std::size_t j = static_cast<std::size_t>(node % 5);
        const double t = centre + (node < 5 ? -1 : 1) * gl_nodes[j] * 0.5 * width;
        const double w = gl_weights[j] * 0.5 * width;
        using numeric::precise::upper_tail;
        const double s1 = mix.p * upper_tail(t - mix.d);
        const double s0 = mix.q * upper_tail(t);
        const double f1 = mix.p * upper_tail(mix.d - t);
        const double f0 = mix.q * upper_tail(-t);
        const double g1 = mix.p * numeric::precise::density(t - mix.d);
        const double g0 = mix.q * numeric::precise::density(t);
        // Where an area underflows the beta density is 0 too.
        if (s1 + s0 == 0 || f1 + f0 == 0) continue;
        const double at_t = g1 / (g1 + g0);
        // The beta density of u = G(t) times dG/dt: M P(Bin(M - 1, u) =
        // k - 1) g(t), u and 1 - u each from its own areas.
        const double weight = w * Md * binomial_at(k - 1, M - 1, s1 + s0, f1 + f0) * (g1 + g0);
        if (weight == 0) continue;
        binomial(k - 1, s1 / (s1 + s0), s0 / (s1 + s0), term_floor, above);
        binomial(rest, f1 / (f1 + f0), f0 / (f1 + f0), term_floor, below);
        // X: the k - 1 above and the one at t.
        const std::int64_t x0 = above.first;
        ax.assign(above.p.size() + 1, 0.0);
        for (std::size_t i = 0; i < above.p.size(); ++i) {
          ax[i] += (1 - at_t) * above.p[i];
          ax[i + 1] += at_t * above.p[i];
        }
        for (std::size_t i = 0; i < ax.size(); ++i) {
          const double wx = weight * ax[i];
          double* row = &cell(x0 + static_cast<std::int64_t>(i), below.first);
          for (std::size_t y = 0; y < below.p.size(); ++y) row[y] += wx * below.p[y];
        }
      }
    }
  }
  observed::compensated_sum mass, fails, fisher, z, absent;
  std::array<tally, 2> groups;
  for (std::int64_t x = 0; x <= k; ++x) {
    for (std::int64_t y = 0; y <= rest; ++y) {
      const double p = cell(x, y);
      if (p == 0) continue;
      mass.add(p);
      // Fisher's test on every table of a large pool costs seconds; those
      // below judged_floor (at most a million of them) are left unjudged.
      if (p < judged_floor) continue;
      groups[0] = {M - x - y, k - x};
      groups[1] = {x + y, x};
      const verdicts v = judge(groups, alpha);
      if (v.fails) fails.add(p);
      if (v.fisher) fisher.add(p);
      if (v.z) z.add(p);
      if (v.absent) absent.add(p);
    }
  }
  out.mass = mass.value();
  out.fail_four_fifths = fails.value();
  out.fisher = fisher.value();
  out.z = z.value();
  out.group_absent = absent.value();
  return out;
}

// --- Simulation -----------------------------------------------------------------

std::vector<pool_probabilities> simulate(const pool_population& population,
                                         std::span<const double> ratios,
                                         const pool_options& o) {
  const std::size_t G = population.groups.size();
  const std::int64_t M = o.applicants;
  std::vector<double> cumulative(G);
  double sum = 0;
  for (std::size_t g = 0; g < G; ++g) cumulative[g] = sum += population.groups[g].share;
  // The ratios' selections, in increasing order, each counted once.
  std::vector<std::int64_t> ks;
  for (const double r : ratios) ks.push_back(selected_of(r, M));
  std::vector<std::int64_t> order = ks;
  std::sort(order.begin(), order.end());
  order.erase(std::unique(order.begin(), order.end()), order.end());
  std::vector<std::array<std::int64_t, 4>> hits(order.size(), {0, 0, 0, 0});

  // One stream for the whole run: every ratio is judged on the same pools.
  numeric::random_draws draws(numeric::stream_generator(o.seed, 0));
  std::vector<std::pair<double, std::uint32_t>> pool(static_cast<std::size_t>(M));
  std::vector<tally> groups(G);
  for (std::int64_t rep = 0; rep < o.replications; ++rep) {
    for (tally& t : groups) t = {};
    for (auto& [score, g] : pool) {
      const double u = draws.uniform();
      std::size_t which = 0;
      while (which + 1 < G && u >= cumulative[which]) ++which;
      g = static_cast<std::uint32_t>(which);
      score = population.groups[which].mean + draws.normal();
      ++groups[which].applicants;
    }
    // Highest first; equal scores by group, so that every standard library
    // orders the pool alike.
    std::sort(pool.begin(), pool.end(), [](const auto& a, const auto& b) {
      return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    std::size_t next = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
      for (; static_cast<std::int64_t>(next) < order[i]; ++next) {
        ++groups[pool[next].second].selected;
      }
      const verdicts v = judge(groups, o.alpha);
      hits[i][0] += v.fails;
      hits[i][1] += v.fisher;
      hits[i][2] += v.z;
      hits[i][3] += v.absent;
    }
  }
  const double K = static_cast<double>(o.replications);
  auto share_and_error = [K](std::int64_t n, double& p, std::optional<double>& se) {
    p = static_cast<double>(n) / K;
    se = std::sqrt(p * (1 - p) / K);
  };
  std::vector<pool_probabilities> out;
  for (std::size_t r = 0; r < ratios.size(); ++r) {
    pool_probabilities& o1 = out.emplace_back();
    o1.ratio = ratios[r];
    o1.selected = ks[r];
    o1.method = pool_method::simulated;
    const std::size_t i = static_cast<std::size_t>(
        std::lower_bound(order.begin(), order.end(), ks[r]) - order.begin());
    share_and_error(hits[i][0], o1.fail_four_fifths, o1.fail_four_fifths_se);
    share_and_error(hits[i][1], o1.fisher, o1.fisher_se);
    share_and_error(hits[i][2], o1.z, o1.z_se);
    share_and_error(hits[i][3], o1.group_absent, o1.group_absent_se);
  }
  return out;
}

bool simulated(const pool_population& population, const pool_options& o) {
  return population.groups.size() != 2 || o.applicants > max_exact_applicants ||
         !(std::fabs(population.groups[1].mean - population.groups[0].mean) <=
           max_exact_mean_difference);
}

}  // namespace

std::vector<fault> check_pool(const pool_population& population, const pool_options& o) {
  std::vector<fault> faults;
  if (population.groups.size() < 2) faults.push_back({"groups", "needs two groups at least"});
  double sum = 0;
  for (std::size_t g = 0; g < population.groups.size(); ++g) {
    const pool_group& x = population.groups[g];
    const std::string at = "groups[" + std::to_string(g) + "]";
    if (!(x.share > 0 && x.share < 1)) {
      faults.push_back({at + ".share", "must lie strictly between 0 and 1"});
    }
    if (!std::isfinite(x.mean)) faults.push_back({at + ".mean", "must be finite"});
    sum += x.share;
  }
  if (faults.empty() && std::fabs(sum - 1) > 1e-9) {
    faults.push_back({"groups", "the shares must sum to 1"});
  }
  if (o.applicants < 1 || o.applicants > max_pool_applicants) {
    faults.push_back({"applicants", "must lie in [1, " + std::to_string(max_pool_applicants) + "]"});
  }
  if (o.replications < 2) faults.push_back({"replications", "must be at least 2"});
  if (faults.empty() && simulated(population, o) &&
      o.replications > max_pool_scores / o.applicants) {
    faults.push_back({"replications",
                      "applicants times replications must be at most " +
                          std::to_string(max_pool_scores) + " (the scores simulated)"});
  }
  if (!(o.alpha > 0 && o.alpha < 1)) faults.push_back({"alpha", "must lie strictly between 0 and 1"});
  return faults;
}

pool_result finite_pool_at(const pool_population& population, std::span<const double> ratios,
                           const pool_options& options) {
  pool_result r;
  r.errors = check_pool(population, options);
  for (std::size_t i = 0; i < ratios.size(); ++i) {
    if (!(ratios[i] >= 0 && ratios[i] <= 1)) {
      r.errors.push_back({"ratios[" + std::to_string(i) + "]", "must lie in [0, 1]"});
    }
  }
  if (!r.errors.empty()) {
    r.status = pool_status::invalid;
    return r;
  }
  if (simulated(population, options)) {
    r.value = simulate(population, ratios, options);
    return r;
  }
  const mixture mix{population.groups[0].share, population.groups[1].share,
                    population.groups[1].mean - population.groups[0].mean};
  std::vector<pool_probabilities>& out = r.value.emplace();
  for (const double ratio : ratios) {
    out.push_back(exact_two_groups(mix, options.applicants,
                                   selected_of(ratio, options.applicants), options.alpha));
    out.back().ratio = ratio;
  }
  return r;
}

}  // namespace fourfifths
