// The exact search of PROPAGATE below its root, on flat arrays (internal, not installed).
//
// The search tree is fixed: a node branches on the first uncovered element of `order` over
// that element's sets in list order, a leaf is a node without uncovered elements, and the
// answer is the first leaf (depth-first) of the smallest size, taken only when it is smaller
// than the incumbent. Pruning a node is sound whenever no leaf below it is smaller than the
// incumbent; this search prunes with much stronger lower bounds than the counting bound, and
// so visits far fewer nodes, but meets the leaves it does visit in the same order.
#pragma once

#include <vector>

namespace nimbrel_tavik_util::setcover_detail {

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

// Switches for tests and measurements; the defaults are what the library uses. Every
// combination returns the same answer, only the work differs.
struct SearchOptions {
  bool exactParts = true;  // solve undecided parts exactly (HittingSetSolver)
  bool targetSize = true;  // when the smallest size is known at the root, look only for it
};

struct SearchStats {
  long nodes = 0;      // nodes of the fixed tree entered
  long subSolves = 0;  // exact completions computed for parts of the state
  long subNodes = 0;   // nodes of those computations
};

// Searches the tree below `root` for leaves smaller than `bestSize`. When there is one,
// returns true, sets `bestSize` to the size of the first smallest leaf and `path` to the sets
// that the leaf selects below the root, in the order of selection. Otherwise returns false
// and leaves both alone. Worst case exponential, like the tree itself.
bool searchFirstMinimum(const SearchRoot& root, int& bestSize, std::vector<int>& path,
                        SearchStats* stats = nullptr, const SearchOptions& options = {});

}  // namespace nimbrel_tavik_util::setcover_detail
