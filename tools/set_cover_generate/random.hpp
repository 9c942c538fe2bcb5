// The random draws of set_cover_generate. Instances must be the same bytes for a seed with any
// standard library, so the engine is std::mt19937_64 (fully fixed by the C++ standard) and the
// distributions are written out here: std::uniform_*_distribution reduce engine draws differently
// from one implementation to the next.
#pragma once

#include <cstdint>
#include <random>

namespace set_cover_generate {

/// SplitMix64's finaliser: spreads a seed and a stream number over the engine's 64-bit seed, so
/// that nearby seeds and streams give unrelated sequences.
inline std::uint64_t mixSeed(std::uint64_t seed, std::uint64_t stream) {
  std::uint64_t z = seed + 0x9e3779b97f4a7c15ULL * (stream + 1);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

/// One independent stream of draws. Each stage of a generator (walls, poses, points) has its own
/// stream, so the poses of a seed do not change when only the number of points does.
class Random {
 public:
  Random(std::uint64_t seed, std::uint64_t stream) : engine_(mixSeed(seed, stream)) {}

  /// Uniform in [0, 1): the top 53 bits of one draw.
  double uniform01() { return static_cast<double>(engine_() >> 11) * 0x1p-53; }

  /// Uniform in [lo, hi).
  double uniform(double lo, double hi) { return lo + (hi - lo) * uniform01(); }

  /// Uniform integer in [0, n) for n >= 1, without modulo bias: draws below 2^64 mod n are
  /// drawn again.
  std::uint64_t below(std::uint64_t n) {
    const std::uint64_t threshold = (0 - n) % n;
    std::uint64_t x = engine_();
    while (x < threshold) x = engine_();
    return x % n;
  }

 private:
  std::mt19937_64 engine_;
};

}  // namespace set_cover_generate
