// Two other exact ways of keeping the greedy gains, for comparison with the library's lazily
// re-checked ordered set. All three take the same set as the step-by-step greedy in every step
// (largest gain; smallest id, or with `continuity` the id nearest the previous one, the lower
// one on equal distance). Both work on the library's dense numbering and return ids ascending.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <queue>
#include <set>
#include <utility>
#include <vector>

#include "setcover/index_form.hpp"

namespace ntu_bench {

using nimbrel_tavik_util::setcover_detail::IndexForm;

using nimbrel_tavik_util::setcover_detail::elemSets;
using nimbrel_tavik_util::setcover_detail::FlatLists;

// Exact gain buckets: one ordered set keyed by (-gain, index), every gain change moves its key
// at once (O(log n) per (element, set) pair). The run of the largest gain is ordered by index.
inline std::vector<int> greedyEagerBuckets(const IndexForm& form, bool continuity) {
  const int n = form.numSets();
  const FlatLists holders = elemSets(form);
  using Key = std::pair<int, int>;
  std::set<Key> queue;
  std::vector<int> gain(n);
  for (int s = 0; s < n; ++s) {
    gain[s] = form.start[s + 1] - form.start[s];
    if (gain[s] > 0) queue.emplace(-gain[s], s);
  }
  std::vector<char> covered(form.numElems, 0);
  int uncovered = form.numElems;
  int prevId = -1;
  int prevIdx = -1;
  std::vector<int> chosen;
  while (uncovered > 0 && !queue.empty()) {
    auto best = queue.begin();
    if (continuity && prevId >= 0) {
      const int top = best->first;
      const auto above = queue.lower_bound(Key(top, prevIdx));
      const bool hasAbove = above != queue.end() && above->first == top;
      if (above != best) {
        const auto below = std::prev(above);
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
    for (int k = form.start[s]; k < form.start[s + 1]; ++k) {
      const int e = form.elems[k];
      if (covered[e]) continue;
      covered[e] = 1;
      --uncovered;
      for (int h = holders.start[e]; h < holders.start[e + 1]; ++h) {
        const int t = holders.items[h];
        if (gain[t] == 0) continue;
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

// Lazily re-checked binary heap of (stored gain, -index): counters fall freely and a popped
// entry whose stored gain is stale goes back with its current gain. With `continuity` the
// whole run of the largest gain is popped to find the nearest index, and pushed back.
inline std::vector<int> greedyLazyHeap(const IndexForm& form, bool continuity) {
  const int n = form.numSets();
  const FlatLists holders = elemSets(form);
  using Entry = std::pair<int, int>;  // (stored gain, -index): largest gain, smallest index on top
  std::priority_queue<Entry> heap;
  std::vector<int> gain(n);
  for (int s = 0; s < n; ++s) {
    gain[s] = form.start[s + 1] - form.start[s];
    if (gain[s] > 0) heap.emplace(gain[s], -s);
  }
  // Pops stale entries off the top (pushing them back with their gain) until the top is current.
  const auto settle = [&] {
    while (!heap.empty()) {
      const auto [stored, negIdx] = heap.top();
      const int s = -negIdx;
      if (gain[s] == stored) return true;
      heap.pop();
      if (gain[s] > 0) heap.emplace(gain[s], negIdx);
    }
    return false;
  };
  std::vector<char> covered(form.numElems, 0);
  int uncovered = form.numElems;
  int prevId = -1;
  int prevIdx = -1;
  std::vector<int> chosen;
  std::vector<int> run;
  while (uncovered > 0 && settle()) {
    int s = -heap.top().second;
    if (continuity && prevId >= 0) {
      const int top = heap.top().first;
      run.clear();
      while (settle() && heap.top().first == top) {  // current entries of the top gain
        run.push_back(-heap.top().second);
        heap.pop();
      }
      // Ascending indices; the nearest to prevIdx, the lower one on equal distance.
      const auto above = std::lower_bound(run.begin(), run.end(), prevIdx);
      const auto dist = [&](int t) {
        return std::llabs(static_cast<long long>(form.ids[t]) - prevId);
      };
      if (above == run.end() || (above != run.begin() && dist(*std::prev(above)) <= dist(*above))) {
        s = *std::prev(above);
      } else {
        s = *above;
      }
      for (int t : run) {
        if (t != s) heap.emplace(top, -t);
      }
    } else {
      heap.pop();
    }
    gain[s] = 0;
    chosen.push_back(form.ids[s]);
    prevId = form.ids[s];
    prevIdx = s;
    for (int k = form.start[s]; k < form.start[s + 1]; ++k) {
      const int e = form.elems[k];
      if (covered[e]) continue;
      covered[e] = 1;
      --uncovered;
      for (int h = holders.start[e]; h < holders.start[e + 1]; ++h) {
        const int t = holders.items[h];
        if (gain[t] > 0) --gain[t];
      }
    }
  }
  std::sort(chosen.begin(), chosen.end());
  return chosen;
}

}  // namespace ntu_bench
