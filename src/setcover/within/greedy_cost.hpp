// The greedy rules of the portfolio (internal, not installed): one lazily corrected selection
// loop with the score as a parameter, used by Chvatal's greedy below, by the Lagrangian
// heuristic and by the local search's first cover.
#pragma once

#include <cstddef>
#include <functional>
#include <queue>
#include <utility>
#include <vector>

#include "setcover/budget.hpp"
#include "setcover/cover_model.hpp"

namespace nimbrel_tavik_util::setcover_detail {

// Lazy greedy selection (Minoux 1978, "accelerated greedy"): repeatedly takes the candidate of
// least score, ties to the smaller index, until `done()`. Valid when a candidate's score never
// falls while others are taken: a popped entry whose score is still current is then the least
// of all, and a stale one goes back with its current score. `initial` holds (score, candidate)
// for every candidate to consider; `alive(j)` false drops j for good; `score(j)` is j's current
// score; `take(j)` takes it. O((n + k) log n) for n candidates and k stale entries.
template <typename Done, typename Alive, typename Score, typename Take>
void lazyGreedy(std::vector<std::pair<double, int>> initial, Done done, Alive alive, Score score,
                Take take) {
  using Entry = std::pair<double, int>;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> queue(std::greater<Entry>(),
                                                                            std::move(initial));
  while (!queue.empty() && !done()) {
    const Entry top = queue.top();
    queue.pop();
    const int j = top.second;
    if (!alive(j)) continue;
    const double now = score(j);
    if (now != top.first) {
      queue.emplace(now, j);
      continue;
    }
    take(j);
  }
}

// Models of at most this many nonzeros get their greedy cover whole even when the budget has
// run out: a stop set before the call then returns the greedy cover (scpnrh1: 36 sets, not its
// 10,000) in 8.5 ms for 499,163 nonzeros, 3.5 ms for scpnrg1's 199,471 (Release, 2 cores under
// a load of 8), within the stop latency documented at SolveLimits::stop.
constexpr std::size_t kGreedyFinishEntries = std::size_t{1} << 20;

// Chvatal's greedy (Chvatal 1979): the columns of `seed` first (repeats allowed), then
// repeatedly the column of least cost per newly covered row, ties to the smaller index, then
// removeRedundant. Polls the budget on models of more than kGreedyFinishEntries nonzeros; when
// it runs out there, each row still uncovered gets its cheapest column, so the answer is always
// a cover. O(S log n).
std::vector<int> greedyByCost(const CoverModel& model, Budget& budget,
                              const std::vector<int>& seed = {});

}  // namespace nimbrel_tavik_util::setcover_detail
