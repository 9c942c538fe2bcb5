#include "setcover/reference_solver.hpp"

#include <algorithm>
#include <utility>

namespace ntu_test {

ReferenceSearch::ReferenceSearch(std::vector<std::vector<int>> setElems, int numElems,
                                 std::vector<int> order)
    : setElems_(std::move(setElems)), elemSets_(numElems), order_(std::move(order)) {
  for (int s = 0; s < static_cast<int>(setElems_.size()); ++s) {
    for (int e : setElems_[s]) elemSets_[e].push_back(s);
  }
  if (!order_.empty()) return;
  std::size_t maxDegree = 0;
  for (const auto& sets : elemSets_) maxDegree = std::max(maxDegree, sets.size());
  for (std::size_t d = 0; d <= maxDegree; ++d) {
    for (int e = 0; e < numElems; ++e) {
      if (elemSets_[e].size() == d) order_.push_back(e);
    }
  }
}

std::vector<int> ReferenceSearch::run(std::vector<int> incumbent,
                                      const std::vector<int>& preselected) {
  best_ = std::move(incumbent);
  nodes_ = 0;
  State root{
      std::vector<bool>(elemSets_.size(), false), std::vector<bool>(setElems_.size(), false), {}};
  for (int s : preselected) take(root, s);
  node(root);
  return best_;
}

void ReferenceSearch::take(State& st, int s) const {
  st.selected[s] = true;
  st.selection.push_back(s);
  for (int e : setElems_[s]) st.covered[e] = true;
}

void ReferenceSearch::node(State st) {
  ++nodes_;
  // Forced selections: an uncovered element with one unselected set; rescan after each.
  for (bool again = true; again;) {
    again = false;
    for (int e : order_) {
      if (st.covered[e]) continue;
      std::vector<int> free;
      for (int s : elemSets_[e]) {
        if (!st.selected[s]) free.push_back(s);
      }
      if (free.empty()) return;  // dead end
      if (free.size() == 1) {
        take(st, free[0]);
        again = true;
        break;
      }
    }
  }
  const int uncovered = static_cast<int>(std::count(st.covered.begin(), st.covered.end(), false));
  const int numSelected = static_cast<int>(st.selection.size());
  const int bestSize = static_cast<int>(best_.size());
  if (uncovered == 0) {
    if (numSelected < bestSize) best_ = st.selection;
    return;
  }
  if (numSelected + 1 >= bestSize) return;
  int maxGain = 0;
  for (int s = 0; s < static_cast<int>(setElems_.size()); ++s) {
    if (st.selected[s]) continue;
    int gain = 0;
    for (int e : setElems_[s]) gain += st.covered[e] ? 0 : 1;
    maxGain = std::max(maxGain, gain);
  }
  if (maxGain > 0 && numSelected + (uncovered + maxGain - 1) / maxGain >= bestSize) return;
  for (int e : order_) {
    if (st.covered[e]) continue;
    for (int s : elemSets_[e]) {
      if (st.selected[s]) continue;
      State child = st;
      take(child, s);
      node(child);
    }
    return;  // branch on the first uncovered element only
  }
}

}  // namespace ntu_test
