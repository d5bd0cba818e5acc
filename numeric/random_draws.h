// Random draws that are the same on every build: a 64-bit Mersenne Twister
// (whose output the C++ standard fixes), uniforms from its top bits, normal
// deviates by Marsaglia's polar method (Marsaglia & Bray 1964, "A
// convenient method for generating normal variables", SIAM Review 6(3),
// 260-264) and chi-square deviates by Marsaglia and Tsang's gamma method
// (2000, "A simple method for generating gamma variables", ACM TOMS 26(3),
// 363-372), both with this program's own logarithm. The standard library's
// distributions are left to each library to define, and two builds would
// draw two different samples from one seed.
#ifndef FOURFIFTHS_NUMERIC_RANDOM_DRAWS_H_
#define FOURFIFTHS_NUMERIC_RANDOM_DRAWS_H_

#include <cstdint>
#include <random>

namespace numeric {

/// The generator of stream `stream` under `seed`: the streams of one seed
/// are independent in practice (their seeds are spread by SplitMix64,
/// Steele, Lea & Flood 2014), so that replication k draws the same numbers
/// whichever thread runs it.
std::mt19937_64 stream_generator(std::uint64_t seed, std::uint64_t stream);

class random_draws {
 public:
  explicit random_draws(const std::mt19937_64& g) : g_(g) {}
  /// Uniform in (0, 1): an odd multiple of 2^-53.
  double uniform();
  /// Standard normal, two from each accepted pair of uniforms.
  double normal();
  /// Chi-square with `dof` >= 2 degrees of freedom (twice a gamma deviate
  /// of shape dof / 2 >= 1).
  double chi_square(double dof);

 private:
  double signed_uniform();  // in [-1, 1), a multiple of 2^-52
  std::mt19937_64 g_;
  double spare_ = 0;
  bool has_spare_ = false;
};

}  // namespace numeric

#endif  // FOURFIFTHS_NUMERIC_RANDOM_DRAWS_H_
