#include "set_cover_stress/generator.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace set_cover_stress {

int uniformInt(std::mt19937& engine, int a, int b) {
  if (a > b) {
    throw std::invalid_argument("uniformInt: empty range [" + std::to_string(a) + ", " +
                                std::to_string(b) + "]");
  }
  const std::uint64_t range =
      static_cast<std::uint64_t>(static_cast<std::int64_t>(b) - static_cast<std::int64_t>(a)) + 1;
  const std::uint32_t first = static_cast<std::uint32_t>(engine());
  if (range > UINT32_MAX) {
    // [INT_MIN, INT_MAX]: every 32-bit draw is a value.
    return static_cast<int>(static_cast<std::int64_t>(a) + first);
  }
  // Lemire, "Fast random integer generation in an interval" (2019): the high half of draw * range
  // is the value; a draw whose low half falls below 2^32 mod range is rejected, so that every
  // value is hit by the same number of draws. The modulo is only needed in that rare case.
  std::uint64_t product = std::uint64_t{first} * range;
  std::uint32_t low = static_cast<std::uint32_t>(product);
  if (low < range) {
    const std::uint32_t threshold = static_cast<std::uint32_t>((std::uint64_t{1} << 32) % range);
    while (low < threshold) {
      product = std::uint64_t{static_cast<std::uint32_t>(engine())} * range;
      low = static_cast<std::uint32_t>(product);
    }
  }
  return static_cast<int>(static_cast<std::int64_t>(a) + static_cast<std::int64_t>(product >> 32));
}

double uniformReal01FromDraws(std::uint32_t x1, std::uint32_t x2) {
  // The exact 64-bit sum converted once is the correctly rounded x1 + x2 * 2^32, i.e. what
  // summing the two draws in double gives; scaling by 2^-64 is exact.
  const double u = static_cast<double>(std::uint64_t{x1} | (std::uint64_t{x2} << 32)) * 0x1p-64;
  return u < 1.0 ? u : std::nextafter(1.0, 0.0);
}

double uniformReal01(std::mt19937& engine) {
  const auto x1 = static_cast<std::uint32_t>(engine());
  const auto x2 = static_cast<std::uint32_t>(engine());
  return uniformReal01FromDraws(x1, x2);
}

GeneratedInstance generateInstance(int seed) { return generateInstance(seed, GeneratorConfig{}); }

GeneratedInstance generateInstance(int seed, const GeneratorConfig& config) {
  if (config.n_dirts < 0) {
    throw std::invalid_argument("generateInstance: n_dirts must be >= 0, got " +
                                std::to_string(config.n_dirts));
  }
  if (config.n_trajs < kCurves) {
    throw std::invalid_argument("generateInstance: n_trajs must be >= " + std::to_string(kCurves) +
                                ", got " + std::to_string(config.n_trajs));
  }

  // std::mt19937's seed type is unsigned; a negative seed is taken modulo 2^32.
  std::mt19937 engine(static_cast<std::uint32_t>(seed));
  GeneratedInstance inst;
  inst.n_dirts = config.n_dirts;
  inst.n_trajs = config.n_trajs;
  inst.n_curves = kCurves;
  const int perCurve = config.n_trajs / kCurves;
  for (int c = 0; c < kCurves; ++c) {
    const int first = c * perCurve;
    inst.curves.emplace_back(first, c + 1 == kCurves ? config.n_trajs : first + perCurve);
  }

  for (int d = 0; d < config.n_dirts; ++d) {
    if (uniformReal01(engine) < kSkipBelow) continue;
    const auto [first, end] = inst.curves[uniformInt(engine, 0, kCurves - 1)];
    const int length = end - first;
    const int span = uniformInt(engine, kMinSpan, kMaxSpan);
    const int offset = uniformInt(engine, 0, length - 1);
    // Positions past the curve's end fall onto its last trajectory, so a run near the end holds
    // fewer distinct trajectories (at least one).
    std::set<int> trajs;
    for (int t = 0; t < std::min(span, length); ++t) {
      trajs.insert(first + std::min(offset + t, length - 1));
    }
    for (const int t : trajs) inst.traj_to_dirts[t].insert(d);
    inst.dirt_to_trajs.emplace(d, std::move(trajs));
  }
  return inst;
}

bool coversAll(const GeneratedInstance& instance, const std::vector<int>& result) {
  if (result.empty()) return instance.dirt_to_trajs.empty();
  // A sorted vector instead of a std::set: the same answer, without a node per dirt point.
  std::vector<int> covered;
  for (const int id : result) {
    const auto it = instance.traj_to_dirts.find(id);
    if (it != instance.traj_to_dirts.end()) {
      covered.insert(covered.end(), it->second.begin(), it->second.end());
    }
  }
  std::sort(covered.begin(), covered.end());
  // Both sequences ascend: one merge walk finds the first dirt point left uncovered.
  auto next = covered.begin();
  for (const auto& entry : instance.dirt_to_trajs) {
    next = std::lower_bound(next, covered.end(), entry.first);
    if (next == covered.end() || *next != entry.first) return false;
  }
  return true;
}

}  // namespace set_cover_stress
