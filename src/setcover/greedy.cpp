// Greedy set cover with exact gain bookkeeping.
//
// Gains only fall, so instead of recounting every candidate in every step, all candidates
// with a positive gain sit in one ordered set keyed by (-gain, index): its first entry is the
// largest gain with the smallest id, and the candidates of one gain form a run ordered by id,
// in which the nearest neighbours of the previous id are found with one lower_bound. Covering
// an element lowers the gain of each other set holding it by one (a node moved, not
// reallocated), so a whole run costs O(S log n) for total set size S and n sets.
#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "setcover/index_form.hpp"

namespace nimbrel_tavik_util {

template <typename T>
std::vector<int> SetCoverSolver<T>::_solveByGreedy(const std::map<int, std::set<T>>& instance,
                                                   bool continuity) {
  const setcover_detail::IndexForm form = setcover_detail::buildIndexForm(instance);
  const int m = form.numElems;
  if (m == 0) return {};
  const int n = static_cast<int>(form.ids.size());

  // Sets holding each element, as one flat array (CSR): holders[start[e] .. start[e+1]).
  std::vector<int> start(static_cast<std::size_t>(m) + 1, 0);
  for (const auto& list : form.elemIdx) {
    for (int e : list) ++start[e + 1];
  }
  for (int e = 0; e < m; ++e) start[e + 1] += start[e];
  std::vector<int> holders(static_cast<std::size_t>(start[m]));
  {
    std::vector<int> fill(start.begin(), start.end() - 1);
    for (int s = 0; s < n; ++s) {
      for (int e : form.elemIdx[s]) holders[fill[e]++] = s;
    }
  }

  // Set indices ascend with the ids, so ordering by index is ordering by id.
  using Key = std::pair<int, int>;  // (-gain, set index)
  std::set<Key> queue;
  std::vector<int> gain(n);
  for (int s = 0; s < n; ++s) {
    gain[s] = static_cast<int>(form.elemIdx[s].size());
    if (gain[s] > 0) queue.emplace(-gain[s], s);
  }

  std::vector<char> covered(m, 0);
  int uncovered = m;
  int prevId = -1;  // id taken in the step before; -1 before the first step
  int prevIdx = -1;
  std::vector<int> chosen;
  while (uncovered > 0 && !queue.empty()) {
    auto best = queue.begin();  // largest gain, smallest id
    if (continuity && prevId >= 0) {
      // Nearest id to the previous one among the largest gain; ties to the smaller id.
      const int topGain = best->first;
      auto above = queue.lower_bound(Key(topGain, prevIdx));
      const bool hasAbove = above != queue.end() && above->first == topGain;
      if (above != best) {
        const auto below = std::prev(above);  // same gain: `best` is the run's first entry
        const auto dist = [&](int s) {
          return std::llabs(static_cast<long long>(form.ids[s]) - prevId);
        };
        best = (!hasAbove || dist(below->second) <= dist(above->second)) ? below : above;
      } else {
        best = above;
      }
    }
    const int s = best->second;
    queue.erase(best);
    gain[s] = 0;
    chosen.push_back(form.ids[s]);
    prevId = form.ids[s];
    prevIdx = s;

    for (int e : form.elemIdx[s]) {
      if (covered[e]) continue;
      covered[e] = 1;
      --uncovered;
      for (int k = start[e]; k < start[e + 1]; ++k) {
        const int t = holders[k];
        if (gain[t] == 0) continue;  // taken, or nothing left to gain
        auto node = queue.extract(Key(-gain[t], t));
        if (--gain[t] > 0) {
          node.value().first = -gain[t];
          queue.insert(std::move(node));
        }
      }
    }
  }
  std::sort(chosen.begin(), chosen.end());
  return chosen;
}

template class SetCoverSolver<int>;
template class SetCoverSolver<unsigned long>;
template class SetCoverSolver<std::string>;

}  // namespace nimbrel_tavik_util
