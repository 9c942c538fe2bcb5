// Exact minimum hitting set by bitset branch-and-bound (internal, not installed).
//
// A set-cover instance read sideways: the points are the candidate sets, each row lists the
// sets holding one element, and a hitting set (points meeting every row) is a cover. The exact
// search of the library uses this to compute the smallest completion of a part of its working
// state, which it needs only as a number (a lower bound) or as proof that a completion exists;
// so this search is free to branch, order and reduce in whatever way is fastest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "setcover/budget.hpp"

namespace nimbrel_tavik_util::setcover_detail {

class HittingSetSolver {
 public:
  /// Rows in CSR form: row r holds the points rowPoints[rowStart[r] .. rowStart[r + 1]), each
  /// in [0, numPoints). A row without points makes the problem infeasible. Memory O(R W + P)
  /// words, W = ceil(P / 64); time O(R^2 W + P^2 R / 64) for the reductions, which are skipped
  /// on large inputs.
  HittingSetSolver(int numPoints, const std::vector<int>& rowStart,
                   const std::vector<int>& rowPoints);

  /// Searches for hitting sets of fewer than `cutoff` points. Returns the size of the smallest
  /// one and stores its points in `witness`; with `firstFound`, returns the first one found
  /// instead (any size below `cutoff`). Returns `cutoff`, witness untouched, when none exists.
  int solve(int cutoff, bool firstFound, std::vector<int>& witness);

  /// Search nodes visited by the calls so far.
  long nodes() const { return nodes_; }

  /// Limits for solve(): charges `budget` (may be null) per node and throws SearchAborted
  /// (exact_search.hpp) once it expires or once more than `maxNodes` (>= 0) nodes were visited.
  void setLimits(Budget* budget, long long maxNodes) {
    budget_ = budget;
    maxNodes_ = maxNodes;
  }

 private:
  using Word = std::uint64_t;

  // Reductions.
  void reduce();
  void dropSupersetRows();
  bool dropDominatedPoints();
  // One node and its steps.
  bool search(int count, int chosen);
  bool countAvailable(int count, int& minRow);
  int packingBound(int count, int chosen) const;
  bool lagrangeWorthTrying() const;
  double lagrangeBound(int count, int target, int iters);
  std::vector<std::pair<int, int>> branchPoints(int row, int count) const;
  bool branch(const std::vector<std::pair<int, int>>& points, int count, int chosen);

  bool hasPoint(const Word* mask, int p) const { return ((mask[p >> 6] >> (p & 63)) & 1U) != 0; }
  const Word* maskOf(int row) const {
    return masks_.data() + static_cast<std::size_t>(row) * words_;
  }
  int available(int row) const;

  // The problem, fixed after the reductions.
  int numPoints_ = 0;
  int words_ = 0;            // words per mask: ceil(numPoints_ / 64), at least 1
  bool infeasible_ = false;  // some row has no point
  std::vector<Word> masks_;  // per row (original numbering): its points. R * words_ words
  std::vector<int> rows_;    // rows still in play after the reductions, no row in another

  // State of one solve; every node leaves it as it found it, except the carried multipliers.
  std::vector<Word> excluded_;   // points tried by earlier siblings on the path. words_ words
  std::vector<int> work_;        // rows_ permuted; a node's rows not yet hit are its prefix
  std::vector<int> popcounts_;   // stack of per-node scratch: available points per open row
  std::vector<int> chosen_;      // points taken on the current path (size = node depth)
  std::vector<int> best_;        // best hitting set found in this solve (size bestSize_)
  std::vector<double> mult_;     // Lagrange multiplier per row, carried from node to node
  std::vector<double> reduced_;  // scratch: reduced cost per point. words_ * 64 doubles
  std::vector<int> violation_;   // scratch: subgradient per open row
  int lagrangeIters_ = 1;        // subgradient steps at the next bound (many at the root only)
  long lagrangeCalls_ = 0;       // Lagrangian bounds computed since construction
  long lagrangeHits_ = 0;        // ... and how many of them pruned
  int bestSize_ = 0;             // size of best_, or the cutoff while none is found
  bool firstFound_ = false;      // stop at the first hitting set below the cutoff
  long nodes_ = 0;               // nodes of all solves so far
  Budget* budget_ = nullptr;
  long long maxNodes_ = -1;
};

}  // namespace nimbrel_tavik_util::setcover_detail
