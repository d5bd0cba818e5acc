// Draws from the standard normal distribution that are the same on every
// build: a 64-bit Mersenne Twister (whose output the C++ standard fixes),
// uniforms from its top 53 bits, and Marsaglia's polar method (Marsaglia &
// Bray 1964, "A convenient method for generating normal variables", SIAM
// Review 6(3), 260-264) with this program's own logarithm. The standard
// library's std::normal_distribution is left to each library to define,
// and two builds would draw two different samples from one seed.
#ifndef FOURFIFTHS_NUMERIC_NORMAL_DRAWS_H_
#define FOURFIFTHS_NUMERIC_NORMAL_DRAWS_H_

#include <cstdint>
#include <random>

namespace numeric {

/// The generator of a stream `stream` under `seed`: streams of one seed are
/// independent in practice (their seeds are spread by SplitMix64, Steele,
/// Lea & Flood 2014), so that replication k draws the same numbers whichever
/// thread runs it.
std::mt19937_64 stream_generator(std::uint64_t seed, std::uint64_t stream);

/// Standard normal deviates, two from each accepted pair of uniforms.
class normal_draws {
 public:
  explicit normal_draws(std::mt19937_64& g) : g_(&g) {}
  double operator()();

 private:
  double uniform();  // in [-1, 1), with 53 bits
  std::mt19937_64* g_;
  double spare_ = 0;
  bool has_spare_ = false;
};

}  // namespace numeric

#endif  // FOURFIFTHS_NUMERIC_NORMAL_DRAWS_H_
