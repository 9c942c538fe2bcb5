// The exact search of PROPAGATE below its root, on flat arrays (internal, not installed).
// How it keeps the answer of the fixed search tree: src/setcover/README.md.
#pragma once

#include <vector>

#include "setcover/cover_model.hpp"

// Consistency checks of the search state: compiled into Debug and sanitizer builds, a no-op in
// optimised builds without sanitizers (a check recomputes the state, O(m + S) per call).
#if !defined(NDEBUG) || defined(NTU_CHECK_INVARIANTS) || defined(__SANITIZE_ADDRESS__)
#define NTU_SEARCH_CHECKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(undefined_behavior_sanitizer)
#define NTU_SEARCH_CHECKS 1
#endif
#endif
#ifndef NTU_SEARCH_CHECKS
#define NTU_SEARCH_CHECKS 0
#endif

namespace nimbrel_tavik_util::setcover_detail {

inline constexpr bool kSearchChecks = NTU_SEARCH_CHECKS != 0;

// A node of the search whose forced selections are applied: every uncovered element has at
// least two sets, none of them selected. Lists are given in the order the search uses them.
struct SearchRoot {
  int numElems = 0;
  int numSets = 0;
  std::vector<int> elemStart;  // sets of element e: elemSets[elemStart[e] .. elemStart[e + 1])
  std::vector<int> elemSets;
  std::vector<int> setStart;  // elements of set s: setElems[setStart[s] .. setStart[s + 1])
  std::vector<int> setElems;
  std::vector<int> order;      // permutation of the elements: the branching order
  std::vector<char> covered;   // per element
  std::vector<char> selected;  // per set
  int numSelected = 0;
};

// The flat copy of a PropCtx-shaped state (elems[e].setIdx, sets[s].elemIdx, order, flags,
// numSelected) that the search works on. O(m + n + S).
template <typename Ctx>
SearchRoot flattenState(const Ctx& ctx) {
  SearchRoot root;
  root.numElems = static_cast<int>(ctx.elems.size());
  root.numSets = static_cast<int>(ctx.sets.size());
  root.elemStart.reserve(ctx.elems.size() + 1);
  root.elemStart.push_back(0);
  root.covered.reserve(ctx.elems.size());
  for (const auto& elem : ctx.elems) {
    root.elemSets.insert(root.elemSets.end(), elem.setIdx.begin(), elem.setIdx.end());
    root.elemStart.push_back(static_cast<int>(root.elemSets.size()));
    root.covered.push_back(elem.covered ? 1 : 0);
  }
  root.setStart.reserve(ctx.sets.size() + 1);
  root.setStart.push_back(0);
  root.selected.reserve(ctx.sets.size());
  root.setElems.reserve(root.elemSets.size());
  for (const auto& set : ctx.sets) {
    root.setElems.insert(root.setElems.end(), set.elemIdx.begin(), set.elemIdx.end());
    root.setStart.push_back(static_cast<int>(root.setElems.size()));
    root.selected.push_back(set.selected ? 1 : 0);
  }
  root.order = ctx.order;
  root.numSelected = ctx.numSelected;
  return root;
}

// Switches for tests and measurements; the defaults are what the library uses. Every
// combination returns the same answer, only the work differs.
struct SearchOptions {
  bool exactParts = true;  // solve undecided parts exactly (HittingSetSolver)
  bool targetSize = true;  // when the smallest size is known at the root, look only for it
  // Tests: recompute the whole state after the root's bounds and after every node's entry and
  // exit, throwing std::logic_error on the first disagreement (only where kSearchChecks).
  bool checkEachStep = false;
  // Limits for callers that run the search within a budget (solveWithin): `budget` is charged
  // per node of the tree and of the exact part solves, and once it expires, or once those
  // nodes together pass `maxNodes` (>= 0), the search throws SearchAborted and is discarded.
  Budget* budget = nullptr;
  long long maxNodes = -1;
};

// Thrown out of searchFirstMinimum when SearchOptions' budget or node cap ends the search.
struct SearchAborted {};

// What one search did; the tests pin these to notice lost pruning.
struct SearchStats {
  long nodes = 0;      // nodes of the fixed tree entered
  long subSolves = 0;  // exact completions computed for parts of the state
  long subNodes = 0;   // nodes of those computations
  long checks = 0;     // consistency checks run (SearchOptions::checkEachStep)
};

// Searches the tree below `root` for leaves smaller than `bestSize`. When there is one,
// returns true, sets `bestSize` to the size of the first smallest leaf and `path` to the sets
// that the leaf selects below the root, in the order of selection. Otherwise returns false
// and leaves both alone. Worst case exponential, like the tree itself.
bool searchFirstMinimum(const SearchRoot& root, int& bestSize, std::vector<int>& path,
                        SearchStats* stats = nullptr, const SearchOptions& options = {});

}  // namespace nimbrel_tavik_util::setcover_detail
