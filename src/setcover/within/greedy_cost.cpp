#include "setcover/within/greedy_cost.hpp"

#include <cstdint>

#include "setcover/within/incumbent.hpp"

namespace nimbrel_tavik_util::setcover_detail {

std::vector<int> greedyByCost(const CoverModel& model, Budget& budget,
                              const std::vector<int>& seed) {
  const int m = model.numRows;
  const int n = model.numCols;
  std::vector<char> covered(m, 0);
  std::vector<int> mu(n);  // rows each column would newly cover; < 0 once taken
  std::vector<int> cover;
  int open = m;
  const auto take = [&](int j) {
    cover.push_back(j);
    for (const int* r = model.colBegin(j); r != model.colEnd(j); ++r) {
      if (covered[*r]) continue;
      covered[*r] = 1;
      --open;
      for (const int* c = model.rowBegin(*r); c != model.rowEnd(*r); ++c) --mu[*c];
      budget.charge(static_cast<std::uint64_t>(model.rowSize(*r)) + 1);
    }
  };
  for (int j = 0; j < n; ++j) mu[j] = model.colSize(j);
  for (int j : seed) {
    if (mu[j] < 0) continue;  // a repeat
    mu[j] = -1;               // taken even when it covers nothing new
    take(j);
  }
  std::vector<std::pair<double, int>> initial;
  initial.reserve(n);
  for (int j = 0; j < n; ++j) {
    if (mu[j] > 0) initial.emplace_back(model.cost[j] / mu[j], j);
  }
  const bool finish = model.colRows.size() <= kGreedyFinishEntries;
  // The ratio only rises as rows get covered.
  lazyGreedy(
      std::move(initial), [&] { return open == 0 || (!finish && budget.expired()); },
      [&](int j) { return mu[j] > 0; }, [&](int j) { return model.cost[j] / mu[j]; }, take);
  if (open > 0) {  // out of time: the cheapest column of each row still open
    for (int i = 0; i < m; ++i) {
      if (covered[i]) continue;
      int best = -1;
      for (const int* c = model.rowBegin(i); c != model.rowEnd(i); ++c) {
        if (best < 0 || model.cost[*c] < model.cost[best]) best = *c;
      }
      cover.push_back(best);
      for (const int* r = model.colBegin(best); r != model.colEnd(best); ++r) covered[*r] = 1;
    }
  }
  removeRedundant(model, cover);
  return cover;
}

}  // namespace nimbrel_tavik_util::setcover_detail
