#include "numeric/random_draws.h"

#include <cmath>

#include "numeric/portable_math.h"

namespace numeric {

namespace {

std::uint64_t splitmix64(std::uint64_t x) {
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

}  // namespace

std::mt19937_64 stream_generator(std::uint64_t seed, std::uint64_t stream) {
  return std::mt19937_64(splitmix64(splitmix64(seed) ^ splitmix64(~stream)));
}

double random_draws::uniform() {
  const std::uint64_t odd = ((g_() >> 12) << 1) | 1;  // below 2^53: exact
  return static_cast<double>(odd) * 0x1p-53;
}

double random_draws::signed_uniform() {
  const auto bits = static_cast<std::int64_t>(g_() >> 11);
  return static_cast<double>(bits - (std::int64_t{1} << 52)) * 0x1p-52;
}

double random_draws::normal() {
  if (has_spare_) {
    has_spare_ = false;
    return spare_;
  }
  double u = 0, v = 0, s = 0;
  do {
    u = signed_uniform();
    v = signed_uniform();
    s = u * u + v * v;
  } while (s >= 1.0 || s == 0.0);
  const double f = std::sqrt(-2.0 * portable::log(s) / s);
  spare_ = v * f;
  has_spare_ = true;
  return u * f;
}

double random_draws::chi_square(double dof) {
  // Marsaglia and Tsang's method for a gamma deviate of shape a >= 1, their
  // steps in their order: d = a - 1/3, c = 1/sqrt(9d); draw x normal until
  // v = (1 + cx)^3 > 0; accept dv on the squeeze or on the log test.
  const double a = dof / 2;
  const double d = a - 1.0 / 3.0;
  const double c = 1.0 / std::sqrt(9.0 * d);
  for (;;) {
    double x = 0, v = 0;
    do {
      x = normal();
      v = 1.0 + c * x;
    } while (v <= 0.0);
    v = v * v * v;
    const double u = uniform();
    const double x2 = x * x;
    if (u < 1.0 - 0.0331 * x2 * x2) return 2.0 * d * v;
    if (portable::log(u) < 0.5 * x2 + d * (1.0 - v + portable::log(v))) return 2.0 * d * v;
  }
}

}  // namespace numeric
