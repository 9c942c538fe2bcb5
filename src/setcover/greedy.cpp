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
#include "setcover/cover_matrix.hpp"
#include "setcover/greedy_core.hpp"
#include "setcover/index_form.hpp"

namespace nimbrel_tavik_util {

namespace setcover_detail {

namespace {

// The candidates in one ordered set keyed by (-stored gain, set index). A stored gain may be
// stale (too high, never too low); a key is corrected only when it is looked at.
class LazyGainQueue {
 public:
  using Key = std::pair<int, int>;  // (-stored gain, set index)
  using Iter = std::set<Key>::iterator;

  explicit LazyGainQueue(const IndexForm& form) : gain_(form.numSets()), stored_(form.numSets()) {
    for (int s = 0; s < form.numSets(); ++s) {
      gain_[s] = stored_[s] = form.start[s + 1] - form.start[s];
      if (gain_[s] > 0) queue_.emplace(-gain_[s], s);
    }
  }

  // Corrects the front until it is current. False when no candidate with a gain is left.
  bool settleFront() {
    while (!queue_.empty() && !current(queue_.begin())) {
    }
    return !queue_.empty();
  }
  // After settleFront: the largest gain, smallest index.
  Iter front() const { return queue_.begin(); }

  // After settleFront: among the sets of the largest gain, the one whose id is nearest
  // `prevId` (the smaller id on equal distance). The run's entries next to prevIdx are
  // corrected until both neighbours are current; the front entry is current, so an entry
  // before `above` lies in the run.
  Iter nearestInFrontRun(int prevIdx, int prevId, const std::vector<int>& ids) {
    const int top = queue_.begin()->first;
    Iter above;
    Iter below;
    bool hasAbove = false;
    bool hasBelow = false;
    for (;;) {
      above = queue_.lower_bound(Key(top, prevIdx));
      hasAbove = above != queue_.end() && above->first == top;
      if (hasAbove && !current(above)) continue;
      hasBelow = above != queue_.begin();
      if (hasBelow) {
        below = std::prev(above);
        if (!current(below)) continue;
      }
      break;
    }
    const auto dist = [&](int s) { return std::llabs(static_cast<long long>(ids[s]) - prevId); };
    return hasBelow && (!hasAbove || dist(below->second) <= dist(above->second)) ? below : above;
  }

  // Takes the candidate at `it` out for good.
  int take(Iter it) {
    const int s = it->second;
    queue_.erase(it);
    gain_[s] = 0;
    stored_[s] = 0;
    return s;
  }
  // One element of set t got covered; its key catches up when it reaches the front.
  void lower(int t) {
    if (gain_[t] > 0) --gain_[t];
  }

 private:
  // Corrects a stale key (moving it behind its run, or dropping it at gain 0). Returns whether
  // `it` was current.
  bool current(Iter it) {
    const int s = it->second;
    if (gain_[s] == stored_[s]) return true;
    auto node = queue_.extract(it);
    stored_[s] = gain_[s];
    if (gain_[s] > 0) {
      node.value().first = -gain_[s];
      queue_.insert(std::move(node));
    }
    return false;
  }

  std::set<Key> queue_;
  std::vector<int> gain_;    // current number of uncovered elements; 0 once taken
  std::vector<int> stored_;  // gain in the set's key; >= gain_
};

}  // namespace

std::vector<int> greedyCover(const IndexForm& form, bool continuity) {
  const int m = form.numElems;
  if (m == 0) return {};
  const FlatLists holders = elemSets(form);
  LazyGainQueue queue(form);
  std::vector<char> covered(m, 0);
  int uncovered = m;
  int prevId = -1;  // id taken in the step before; -1 before the first step
  int prevIdx = -1;
  std::vector<int> chosen;
  while (uncovered > 0 && queue.settleFront()) {
    // Set indices ascend with the ids, so the smallest index is the smallest id.
    const int s =
        queue.take(continuity && prevId >= 0 ? queue.nearestInFrontRun(prevIdx, prevId, form.ids)
                                             : queue.front());
    chosen.push_back(form.ids[s]);
    prevId = form.ids[s];
    prevIdx = s;
    for (int k = form.start[s]; k < form.start[s + 1]; ++k) {
      const int e = form.elems[k];
      if (covered[e]) continue;
      covered[e] = 1;
      --uncovered;
      for (int h = holders.start[e]; h < holders.start[e + 1]; ++h) queue.lower(holders.items[h]);
    }
  }
  std::sort(chosen.begin(), chosen.end());
  return chosen;
}

}  // namespace setcover_detail

std::vector<int> greedyCover(const CoverMatrix& matrix) {
  const std::int64_t entries = setcover_detail::checkMatrix(matrix, "greedyCover(CoverMatrix)");
  setcover_detail::IndexForm form;
  form.numElems = matrix.elements;
  form.ids.resize(static_cast<std::size_t>(matrix.sets));
  form.start.reserve(static_cast<std::size_t>(matrix.sets) + 1);
  form.start.push_back(0);
  form.elems.reserve(static_cast<std::size_t>(entries));
  // Repeats within a column are dropped by stamping each element with the last column.
  std::vector<int> stamp(static_cast<std::size_t>(matrix.elements), -1);
  for (int j = 0; j < matrix.sets; ++j) {
    form.ids[j] = j;
    for (std::int64_t k = matrix.setStart[j]; k < matrix.setStart[j + 1]; ++k) {
      const int e = matrix.elementIndex[k];
      if (stamp[e] == j) continue;
      stamp[e] = j;
      form.elems.push_back(e);
    }
    form.start.push_back(static_cast<int>(form.elems.size()));
  }
  if (form.numElems == 0) return {};
  return setcover_detail::greedyCover(form, false);
}

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
