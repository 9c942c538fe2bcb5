// Greedy set cover with lazily re-checked gains.
//
// Gains only fall. All candidates sit in one ordered set keyed by (-gain, index), where the
// stored gain may be stale (too high): covering an element just lowers the counters of the
// sets holding it, and a stored key is corrected only when it reaches the front. Once the
// front entry is current, every set of that largest gain is in the front run (its key cannot
// be lower than its gain, nor higher than the front), so the run's first current entry is the
// smallest id of the largest gain, as the step-by-step rule takes it; with `continuity`, the
// nearest current entries below and above the previous index (one lower_bound, stale ones
// corrected on the way) give the nearest id. Each correction lowers a stored gain, so there
// are at most S of them for total set size S: O(S + k log n) tree work for k corrections and
// choices, O(S) counter updates.
#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "setcover/greedy_core.hpp"
#include "setcover/index_form.hpp"

namespace nimbrel_tavik_util {

namespace setcover_detail {

std::vector<int> greedyCover(const IndexForm& form, bool continuity) {
  const int m = form.numElems;
  const int n = form.numSets();
  if (m == 0) return {};

  // Sets holding each element, as one flat array (CSR): holders[start[e] .. start[e+1]).
  std::vector<int> start(static_cast<std::size_t>(m) + 1, 0);
  for (int e : form.elems) ++start[e + 1];
  for (int e = 0; e < m; ++e) start[e + 1] += start[e];
  std::vector<int> holders(static_cast<std::size_t>(start[m]));
  {
    std::vector<int> fill(start.begin(), start.end() - 1);
    for (int s = 0; s < n; ++s) {
      for (int k = form.start[s]; k < form.start[s + 1]; ++k) holders[fill[form.elems[k]]++] = s;
    }
  }

  // Set indices ascend with the ids, so ordering by index is ordering by id.
  using Key = std::pair<int, int>;  // (-stored gain, set index)
  std::set<Key> queue;
  std::vector<int> gain(n);    // current number of uncovered elements; 0 once taken
  std::vector<int> stored(n);  // gain in the set's key; >= gain
  for (int s = 0; s < n; ++s) {
    gain[s] = stored[s] = form.start[s + 1] - form.start[s];
    if (gain[s] > 0) queue.emplace(-gain[s], s);
  }
  // Corrects a stale key (moving it behind its run, or dropping it at gain 0). Returns
  // whether `it` was current.
  const auto current = [&](std::set<Key>::iterator it) {
    const int s = it->second;
    if (gain[s] == stored[s]) return true;
    auto node = queue.extract(it);
    stored[s] = gain[s];
    if (gain[s] > 0) {
      node.value().first = -gain[s];
      queue.insert(std::move(node));
    }
    return false;
  };

  std::vector<char> covered(m, 0);
  int uncovered = m;
  int prevId = -1;  // id taken in the step before; -1 before the first step
  int prevIdx = -1;
  std::vector<int> chosen;
  while (uncovered > 0) {
    while (!queue.empty() && !current(queue.begin())) {
    }
    if (queue.empty()) break;
    auto best = queue.begin();  // largest gain, smallest id
    if (continuity && prevId >= 0) {
      // Nearest id to the previous one among the largest gain; ties to the smaller id. The
      // run's entries next to prevIdx are corrected until both neighbours are current; the
      // front entry is current, so an entry before `above` lies in the run.
      const int top = best->first;
      auto above = queue.end();
      auto below = queue.end();
      bool hasAbove = false;
      bool hasBelow = false;
      for (;;) {
        above = queue.lower_bound(Key(top, prevIdx));
        hasAbove = above != queue.end() && above->first == top;
        if (hasAbove && !current(above)) continue;
        hasBelow = above != queue.begin();
        if (hasBelow) {
          below = std::prev(above);
          if (!current(below)) continue;
        }
        break;
      }
      const auto dist = [&](int s) {
        return std::llabs(static_cast<long long>(form.ids[s]) - prevId);
      };
      if (hasBelow && (!hasAbove || dist(below->second) <= dist(above->second))) {
        best = below;
      } else {
        best = above;
      }
    }
    const int s = best->second;
    queue.erase(best);
    gain[s] = 0;
    stored[s] = 0;
    chosen.push_back(form.ids[s]);
    prevId = form.ids[s];
    prevIdx = s;

    for (int k = form.start[s]; k < form.start[s + 1]; ++k) {
      const int e = form.elems[k];
      if (covered[e]) continue;
      covered[e] = 1;
      --uncovered;
      for (int h = start[e]; h < start[e + 1]; ++h) {
        const int t = holders[h];
        if (gain[t] > 0) --gain[t];  // the key catches up when it reaches the front
      }
    }
  }
  std::sort(chosen.begin(), chosen.end());
  return chosen;
}

}  // namespace setcover_detail

template <typename T>
std::vector<int> SetCoverSolver<T>::_solveByGreedy(const std::map<int, std::set<T>>& instance,
                                                   bool continuity) {
  const setcover_detail::IndexForm form = setcover_detail::buildIndexForm(instance);
  if (form.numElems == 0) return {};
  return setcover_detail::greedyCover(form, continuity);
}

// Each source file instantiates the members it defines, for each element type.
template std::vector<int> SetCoverSolver<int>::_solveByGreedy(const std::map<int, std::set<int>>&,
                                                              bool);
template std::vector<int> SetCoverSolver<unsigned long>::_solveByGreedy(
    const std::map<int, std::set<unsigned long>>&, bool);
template std::vector<int> SetCoverSolver<std::string>::_solveByGreedy(
    const std::map<int, std::set<std::string>>&, bool);

}  // namespace nimbrel_tavik_util
