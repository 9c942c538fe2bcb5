#include "setcover/exhaustive_cover.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace ntu_test {

double cheapestCoverCost(const std::map<int, std::set<int>>& instance,
                         const std::map<int, double>& costs) {
  std::vector<std::uint64_t> mask;
  std::vector<double> cost;
  std::uint64_t all = 0;
  for (const auto& [id, elems] : instance) {
    std::uint64_t m = 0;
    for (int e : elems) {
      if (e < 0 || e > 63) {
        throw std::invalid_argument("cheapestCoverCost: element " + std::to_string(e) + " of set " +
                                    std::to_string(id) + " is outside 0..63");
      }
      m |= std::uint64_t{1} << e;
    }
    const auto c = costs.find(id);
    if (c == costs.end()) {
      throw std::invalid_argument("cheapestCoverCost: no cost for set " + std::to_string(id));
    }
    all |= m;
    mask.push_back(m);
    cost.push_back(c->second);
  }
  if (all == 0) return 0.0;
  // Per element, a lower bound on what covering it costs. Rounding may lift cost / size above
  // the true share: the bound is shrunk by far more than that, and not used at all when the
  // share is subnormal (whose rounding is coarse).
  double cheapest = std::numeric_limits<double>::infinity();
  for (std::size_t s = 0; s < mask.size(); ++s) {
    const int size = __builtin_popcountll(mask[s]);
    if (size > 0) cheapest = std::min(cheapest, cost[s] / size);
  }
  if (!(cheapest >= std::numeric_limits<double>::min())) cheapest = 0.0;
  cheapest *= 1.0 - 1e-12;
  double best = std::numeric_limits<double>::infinity();
  const auto walk = [&](const auto& self, std::uint64_t covered, double spent) -> void {
    const std::uint64_t rest = all & ~covered;
    if (spent + cheapest * __builtin_popcountll(rest) >= best) return;
    if (rest == 0) {
      best = spent;
      return;
    }
    const std::uint64_t first = rest & (~rest + 1);
    for (std::size_t s = 0; s < mask.size(); ++s) {
      if (mask[s] & first) self(self, covered | mask[s], spent + cost[s]);
    }
  };
  walk(walk, 0, 0.0);
  return best;
}

}  // namespace ntu_test
