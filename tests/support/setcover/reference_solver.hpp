// Slow, obviously correct set-cover solvers that follow the documented steps literally: the
// oracle that the library's solvers are compared with (tests, benchmarks, fuzzers).
//
// Nothing here is shared with the library. The greedy recounts every gain in every step; the
// search keeps its state by value and copies it for each branch instead of undoing changes.
#pragma once

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace ntu_test {

template <typename T>
using Instance = std::map<int, std::set<T>>;

// Greedy: take the candidate with the most uncovered elements; on equal gain the first met
// (smallest id) or, with `continuity` and from the second step on, the one strictly nearer
// to the previously taken id.
template <typename T>
std::vector<int> referenceGreedy(const Instance<T>& instance, bool continuity) {
  std::set<T> uncovered;
  for (const auto& entry : instance) uncovered.insert(entry.second.begin(), entry.second.end());
  std::vector<int> chosen;
  if (uncovered.empty()) return chosen;
  Instance<T> remaining = instance;
  int prev = -1;
  while (!uncovered.empty()) {
    int best = -1;
    if (remaining.empty()) break;
    std::uint64_t bestGain = 0;
    int bestDist = INT_MAX;
    for (const auto& [id, elems] : remaining) {
      std::uint64_t gain = 0;
      for (const T& e : elems) gain += uncovered.count(e);
      if (gain == 0) continue;
      if (gain > bestGain) {
        best = id;
        bestGain = gain;
        if (prev >= 0) bestDist = std::abs(id - prev);
      } else if (gain == bestGain && continuity && prev >= 0) {
        const int dist = std::abs(id - prev);
        if (dist < bestDist) {
          best = id;
          bestDist = dist;
        }
      }
    }
    if (best < 0) break;
    chosen.push_back(best);
    prev = best;
    for (const T& e : remaining.at(best)) uncovered.erase(e);
    remaining.erase(best);
  }
  std::sort(chosen.begin(), chosen.end());
  return chosen;
}

// The exact search over dense indices: sets numbered by ascending id, elements by ascending
// value, `order` = elements by ascending degree with ties by index.
class ReferenceSearch {
 public:
  struct State {
    std::vector<bool> covered;
    std::vector<bool> selected;
    std::vector<int> selection;  // in order of selection
  };

  // `order`, when given, replaces the degree order as the branching order.
  ReferenceSearch(std::vector<std::vector<int>> setElems, int numElems,
                  std::vector<int> order = {});

  // Runs the search from the incumbent given, with the sets of `preselected` taken first (in
  // that order; empty: from the empty selection); returns the best selection (set indices,
  // in order of selection) and counts the nodes visited.
  std::vector<int> run(std::vector<int> incumbent, const std::vector<int>& preselected = {});
  long nodes() const { return nodes_; }

 private:
  void take(State& st, int s) const;
  void node(State st);

  std::vector<std::vector<int>> setElems_;
  std::vector<std::vector<int>> elemSets_;
  std::vector<int> order_;
  std::vector<int> best_;
  long nodes_ = 0;
};

// Exact cover by the search above, started from referenceGreedy(continuity cleared).
// `nodes`, when given, receives the number of search nodes visited.
template <typename T>
std::vector<int> referencePropagate(const Instance<T>& instance, long* nodes = nullptr) {
  std::map<T, int> elemIndex;
  for (const auto& entry : instance) {
    for (const T& e : entry.second) elemIndex.emplace(e, 0);
  }
  if (elemIndex.empty()) return {};
  int next = 0;
  for (auto& entry : elemIndex) entry.second = next++;
  std::vector<int> ids;
  std::map<int, int> setIndex;
  std::vector<std::vector<int>> setElems;
  for (const auto& [id, elems] : instance) {
    setIndex[id] = static_cast<int>(ids.size());
    ids.push_back(id);
    setElems.emplace_back();
    for (const T& e : elems) setElems.back().push_back(elemIndex.at(e));
  }
  std::vector<int> incumbent;
  for (int id : referenceGreedy(instance, false)) incumbent.push_back(setIndex.at(id));

  ReferenceSearch search(std::move(setElems), next);
  std::vector<int> result;
  for (int s : search.run(incumbent)) result.push_back(ids[s]);
  if (nodes != nullptr) *nodes = search.nodes();
  std::sort(result.begin(), result.end());
  return result;
}

}  // namespace ntu_test
