// The exact search of PROPAGATE below its root, on flat arrays (internal, not installed).
// How it keeps the answer of the fixed search tree: src/setcover/README.md.
#pragma once

#include <vector>

#include "setcover/budget.hpp"
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
// least two sets, none of them selected. Elements are the rows of `lists()`, sets its columns;
// the lists are given in the order the search uses them. They are either the root's own (a
// flattened PropCtx) or borrowed from a model that outlives the search (searchRoot), so that
// the portfolio copies nothing.
struct SearchRoot {
  Incidence own;                        // the lists, when the root owns them
  const Incidence* borrowed = nullptr;  // else the lists of a model
  std::vector<int> order;               // permutation of the elements: the branching order
  std::vector<char> covered;            // per element
  std::vector<char> selected;           // per set
  int numSelected = 0;

  const Incidence& lists() const { return borrowed != nullptr ? *borrowed : own; }
  int numElems() const { return lists().numRows; }
  int numSets() const { return lists().numCols; }
};

// The flat copy of a PropCtx-shaped state (elems[e].setIdx, sets[s].elemIdx, order, flags,
// numSelected) that the search works on. O(m + n + S).
template <typename Ctx>
SearchRoot flattenState(const Ctx& ctx) {
  SearchRoot root;
  Incidence& lists = root.own;
  lists.numRows = static_cast<int>(ctx.elems.size());
  lists.numCols = static_cast<int>(ctx.sets.size());
  lists.rowStart.reserve(ctx.elems.size() + 1);
  lists.rowStart.push_back(0);
  root.covered.reserve(ctx.elems.size());
  for (const auto& elem : ctx.elems) {
    lists.rowCols.insert(lists.rowCols.end(), elem.setIdx.begin(), elem.setIdx.end());
    lists.rowStart.push_back(static_cast<int>(lists.rowCols.size()));
    root.covered.push_back(elem.covered ? 1 : 0);
  }
  lists.colStart.reserve(ctx.sets.size() + 1);
  lists.colStart.push_back(0);
  root.selected.reserve(ctx.sets.size());
  lists.colRows.reserve(lists.rowCols.size());
  for (const auto& set : ctx.sets) {
    lists.colRows.insert(lists.colRows.end(), set.elemIdx.begin(), set.elemIdx.end());
    lists.colStart.push_back(static_cast<int>(lists.colRows.size()));
    root.selected.push_back(set.selected ? 1 : 0);
  }
  root.order = ctx.order;
  root.numSelected = ctx.numSelected;
  return root;
}

// The root of a whole model, nothing covered or selected, elements by ascending degree as
// PROPAGATE orders them (stable: ties by index). Borrows the model's lists. O(m log m + n).
SearchRoot searchRoot(const Incidence& model);

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
  // nodes together pass `maxNodes` (>= 0), the search throws SearchAborted (budget.hpp) and is
  // discarded.
  Budget* budget = nullptr;
  long long maxNodes = -1;
};

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
