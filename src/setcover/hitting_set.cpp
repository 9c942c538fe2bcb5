// Minimum hitting set by depth-first branch-and-bound over bitsets.
//
// Node: the rows not yet hit, and the points excluded by earlier siblings. Rows with no point
// left end the branch, rows with one point force it. Bounds: rows that pairwise share no
// available point each need their own point (taken greedily, fewest points first), and a
// Lagrangian bound. Branch: on a row with the fewest available points, over its points by
// falling row count; every point tried is excluded from the siblings after it, so no hitting
// set is visited twice. Memory O(R W + P): a node's open rows are a prefix of one array.
#include "setcover/hitting_set.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <utility>

namespace nimbrel_tavik_util::setcover_detail {

namespace {

int popcount(std::uint64_t w) { return __builtin_popcountll(w); }

}  // namespace

HittingSetSolver::HittingSetSolver(int numPoints, const std::vector<int>& rowStart,
                                   const std::vector<int>& rowPoints)
    : numPoints_(numPoints), words_(std::max(1, (numPoints + 63) / 64)) {
  const int numRows = static_cast<int>(rowStart.size()) - 1;
  masks_.assign(static_cast<std::size_t>(std::max(numRows, 0)) * words_, 0);
  for (int r = 0; r < numRows; ++r) {
    if (rowStart[r] == rowStart[r + 1]) infeasible_ = true;
    Word* mask = masks_.data() + static_cast<std::size_t>(r) * words_;
    for (int k = rowStart[r]; k < rowStart[r + 1]; ++k) {
      const int p = rowPoints[k];
      mask[p >> 6] |= Word{1} << (p & 63);
    }
    rows_.push_back(r);
  }
  excluded_.assign(words_, 0);
  if (!infeasible_) reduce();
}

// Rows that contain another row are hit whenever that one is, and a point whose rows all lie
// in another point's rows can be swapped for it in any hitting set; both go. Neither changes
// the smallest size, and every hitting set of the reduced rows hits all rows.
void HittingSetSolver::reduce() {
  const auto dropSupersetRows = [this] {
    if (rows_.size() > 3000) return;
    std::vector<std::pair<int, int>> bySize;  // (points, row)
    for (int r : rows_) {
      int pc = 0;
      for (int w = 0; w < words_; ++w) pc += popcount(maskOf(r)[w]);
      bySize.emplace_back(pc, r);
    }
    std::sort(bySize.begin(), bySize.end());
    std::vector<int> kept;
    for (const auto& [pc, b] : bySize) {
      const Word* mb = maskOf(b);
      bool dominated = false;
      for (int a : kept) {
        const Word* ma = maskOf(a);
        bool subset = true;
        for (int w = 0; w < words_ && subset; ++w) subset = (ma[w] & ~mb[w]) == 0;
        if (subset) {
          dominated = true;
          break;
        }
      }
      if (!dominated) kept.push_back(b);
    }
    rows_ = std::move(kept);
  };
  dropSupersetRows();

  const int numRows = static_cast<int>(rows_.size());
  const int rowWords = (numRows + 63) / 64;
  if (numPoints_ > 1024 ||
      static_cast<long long>(numPoints_) * numPoints_ * rowWords > 50000000LL) {
    return;
  }
  std::vector<Word> cols(static_cast<std::size_t>(numPoints_) * rowWords, 0);
  std::vector<char> used(numPoints_, 0);
  for (int i = 0; i < numRows; ++i) {
    const Word* mask = maskOf(rows_[i]);
    for (int p = 0; p < numPoints_; ++p) {
      if (hasPoint(mask, p)) {
        cols[static_cast<std::size_t>(p) * rowWords + (i >> 6)] |= Word{1} << (i & 63);
        used[p] = 1;
      }
    }
  }
  std::vector<char> drop(numPoints_, 0);
  bool any = false;
  for (int p = 0; p < numPoints_; ++p) {
    if (!used[p]) continue;
    const Word* cp = cols.data() + static_cast<std::size_t>(p) * rowWords;
    for (int q = 0; q < numPoints_ && !drop[p]; ++q) {
      if (q == p || !used[q]) continue;
      const Word* cq = cols.data() + static_cast<std::size_t>(q) * rowWords;
      bool subset = true;
      bool equal = true;
      for (int w = 0; w < rowWords && subset; ++w) {
        subset = (cp[w] & ~cq[w]) == 0;
        equal = equal && cp[w] == cq[w];
      }
      if (subset && (!equal || q < p)) drop[p] = 1;
    }
    any = any || drop[p];
  }
  if (!any) return;
  for (int r : rows_) {
    Word* mask = masks_.data() + static_cast<std::size_t>(r) * words_;
    for (int p = 0; p < numPoints_; ++p) {
      if (drop[p]) mask[p >> 6] &= ~(Word{1} << (p & 63));
    }
  }
  dropSupersetRows();
}

int HittingSetSolver::solve(int cutoff, bool firstFound, std::vector<int>& witness) {
  if (infeasible_) return cutoff;
  bestSize_ = cutoff;
  firstFound_ = firstFound;
  best_.clear();
  chosen_.clear();
  work_.assign(rows_.begin(), rows_.end());
  std::fill(excluded_.begin(), excluded_.end(), 0);
  mult_.assign(masks_.size() / words_, 0.0);
  reduced_.assign(static_cast<std::size_t>(words_) * 64, 0.0);
  violation_.assign(rows_.size(), 0);
  lagrangeIters_ = 200;
  search(static_cast<int>(rows_.size()), 0);
  if (bestSize_ >= cutoff) return cutoff;
  witness = best_;
  return bestSize_;
}

// Lagrangian relaxation of the open rows: for multipliers u >= 0,
//   L(u) = sum_r u_r + sum_p min(0, 1 - sum_{r open, p in r} u_r)
// is at most the size of any hitting set of those rows with the available points. A few
// subgradient steps towards `target` (an upper bound) raise it; the multipliers stay for the
// next node, whose rows are a subset.
double HittingSetSolver::lagrangeBound(int count, int target, int iters) {
  double best = 0.0;
  double step = 1.0;
  for (int it = 0; it < iters; ++it) {
    std::fill(reduced_.begin(), reduced_.end(), 1.0);
    double sumU = 0.0;
    for (int i = 0; i < count; ++i) {
      const int r = work_[i];
      const double u = mult_[r];
      if (u == 0.0) continue;
      sumU += u;
      const Word* mask = maskOf(r);
      for (int w = 0; w < words_; ++w) {
        for (Word bits = mask[w] & ~excluded_[w]; bits != 0; bits &= bits - 1) {
          reduced_[w * 64 + __builtin_ctzll(bits)] -= u;
        }
      }
    }
    double value = sumU;
    for (int w = 0; w < words_; ++w) {
      for (Word bits = ~excluded_[w]; bits != 0; bits &= bits - 1) {
        const int p = w * 64 + __builtin_ctzll(bits);
        if (p >= numPoints_) break;
        if (reduced_[p] < 0.0) value += reduced_[p];
      }
    }
    best = std::max(best, value);
    if (best > target - 1 + 1e-6) break;  // already enough to prune
    double norm = 0.0;
    for (int i = 0; i < count; ++i) {
      const int r = work_[i];
      const Word* mask = maskOf(r);
      int taken = 0;
      for (int w = 0; w < words_; ++w) {
        for (Word bits = mask[w] & ~excluded_[w]; bits != 0; bits &= bits - 1) {
          taken += reduced_[w * 64 + __builtin_ctzll(bits)] < 0.0 ? 1 : 0;
        }
      }
      violation_[i] = 1 - taken;
      norm += static_cast<double>(violation_[i]) * violation_[i];
    }
    if (norm == 0.0) break;  // the relaxed solution covers every row exactly once: optimal
    const double t = step * (target - value) / norm;
    for (int i = 0; i < count; ++i) {
      double& u = mult_[work_[i]];
      u = std::max(0.0, u + t * violation_[i]);
    }
    step *= 0.9;
  }
  return best;
}

bool HittingSetSolver::search(int count, int chosen) {
  ++nodes_;
  if (count == 0) {
    if (chosen >= bestSize_) return false;
    bestSize_ = chosen;
    best_ = chosen_;
    return firstFound_;
  }
  if (chosen + 1 >= bestSize_) return false;

  // Available points per row; the row with the fewest is branched on.
  const int pcAt = static_cast<int>(popcounts_.size());
  popcounts_.resize(pcAt + count);
  int minPc = INT_MAX;
  int maxPc = 0;
  int minRow = -1;
  for (int i = 0; i < count; ++i) {
    const Word* mask = maskOf(work_[i]);
    int pc = 0;
    for (int w = 0; w < words_; ++w) pc += popcount(mask[w] & ~excluded_[w]);
    if (pc == 0) {
      popcounts_.resize(pcAt);
      return false;
    }
    popcounts_[pcAt + i] = pc;
    if (pc < minPc) {
      minPc = pc;
      minRow = work_[i];
    }
    maxPc = std::max(maxPc, pc);
  }

  // Rows pairwise without a common available point, fewest points first.
  int bound = 0;
  {
    std::vector<Word> used(words_, 0);
    for (int level = minPc; level <= maxPc && chosen + bound < bestSize_; ++level) {
      for (int i = 0; i < count; ++i) {
        if (popcounts_[pcAt + i] != level) continue;
        const Word* mask = maskOf(work_[i]);
        bool free = true;
        for (int w = 0; w < words_ && free; ++w) free = (mask[w] & ~excluded_[w] & used[w]) == 0;
        if (!free) continue;
        ++bound;
        for (int w = 0; w < words_; ++w) used[w] |= mask[w] & ~excluded_[w];
      }
    }
  }
  popcounts_.resize(pcAt);
  if (chosen + bound >= bestSize_) return false;
  // The Lagrangian bound (200 subgradient steps at the root, then one per node from the
  // multipliers the node before left) is strong on random-like rows. Where it seldom prunes
  // more than the packing (designs, for one), it runs only on every 16th node, to notice when
  // that changes deeper down.
  if (lagrangeIters_ > 1 || lagrangeHits_ * 10 >= lagrangeCalls_ || nodes_ % 16 == 0) {
    const double lag = lagrangeBound(count, bestSize_ - chosen, lagrangeIters_);
    lagrangeIters_ = 1;
    ++lagrangeCalls_;
    if (chosen + static_cast<int>(std::ceil(lag - 1e-6)) >= bestSize_) {
      ++lagrangeHits_;
      return false;
    }
  }

  // Points of the branching row, the ones in most open rows first.
  std::vector<std::pair<int, int>> points;  // (-rows hit, point)
  const Word* branchMask = maskOf(minRow);
  for (int w = 0; w < words_; ++w) {
    for (Word bits = branchMask[w] & ~excluded_[w]; bits != 0; bits &= bits - 1) {
      const int p = w * 64 + __builtin_ctzll(bits);
      int hits = 0;
      for (int i = 0; i < count; ++i) hits += hasPoint(maskOf(work_[i]), p) ? 1 : 0;
      points.emplace_back(-hits, p);
    }
  }
  std::sort(points.begin(), points.end());

  bool stop = false;
  std::size_t tried = 0;
  for (; tried < points.size(); ++tried) {
    const int p = points[tried].second;
    // The rows that p leaves open go to the front; the child works on them in place and
    // leaves this node's rows behind, in some order.
    const auto open = std::partition(work_.begin(), work_.begin() + count,
                                     [this, p](int r) { return !hasPoint(maskOf(r), p); });
    chosen_.push_back(p);
    stop = search(static_cast<int>(open - work_.begin()), chosen + 1);
    chosen_.pop_back();
    excluded_[p >> 6] |= Word{1} << (p & 63);
    if (stop || chosen + 1 >= bestSize_) {
      ++tried;
      break;
    }
  }
  for (std::size_t k = 0; k < tried; ++k) {
    const int p = points[k].second;
    excluded_[p >> 6] &= ~(Word{1} << (p & 63));
  }
  return stop;
}

}  // namespace nimbrel_tavik_util::setcover_detail
