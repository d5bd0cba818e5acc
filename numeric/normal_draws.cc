#include "numeric/normal_draws.h"

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

double normal_draws::uniform() {
  // 53 random bits as a multiple of 2^-52 in [-1, 1), exactly.
  const auto bits = static_cast<std::int64_t>((*g_)() >> 11);
  return static_cast<double>(bits - (std::int64_t{1} << 52)) * 0x1p-52;
}

double normal_draws::operator()() {
  if (has_spare_) {
    has_spare_ = false;
    return spare_;
  }
  double u = 0, v = 0, s = 0;
  do {
    u = uniform();
    v = uniform();
    s = u * u + v * v;
  } while (s >= 1.0 || s == 0.0);
  const double f = std::sqrt(-2.0 * portable::log(s) / s);
  spare_ = v * f;
  has_spare_ = true;
  return u * f;
}

}  // namespace numeric
