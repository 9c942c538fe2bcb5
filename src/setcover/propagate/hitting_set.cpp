// Minimum hitting set by depth-first branch-and-bound over bitsets.
//
// Node: the rows not yet hit, and the points excluded by earlier siblings. Rows with no point
// left end the branch, rows with one point force it. Bounds: rows that pairwise share no
// available point each need their own point (taken greedily, fewest points first), and a
// Lagrangian bound. Branch: on a row with the fewest available points, over its points by
// falling row count; every point tried is excluded from the siblings after it, so no hitting
// set is visited twice. Memory O(R W + P): a node's open rows are a prefix of one array.
#include "setcover/propagate/hitting_set.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <utility>

namespace nimbrel_tavik_util::setcover_detail {

namespace {

int popcount(std::uint64_t w) { return __builtin_popcountll(w); }

// Thresholds. Figures: medians of set_cover_bench (Release, 2 shared and busy cores, one run
// per variant with only the constant changed); "u100" is BM_PropagateUniform/100/1..20 added
// up, "stn45" BM_PropagateCorpus/stn45, "scpe" BM_PropagateCorpus/scpe1..5 added up. With
// everything as here, two runs gave u100 835 and 903 ms, stn45 294 and 305 ms, scpe 629 and
// 694 ms: differences under about 10 % are noise.

// Superset rows are dropped only up to this many rows: the test compares every pair of rows,
// O(R^2 W), and would cost seconds on a part of many thousand rows before the search starts.
// The hand-overs of the benchmarks have at most 330 rows (stn45), so it always runs there, and
// pays: without it u100 864 ms, stn45 399 ms, scpe 869 ms.
constexpr std::size_t kMaxRowsForSupersetTest = 3000;
// Dominated points are dropped only up to this many points and this much work (P^2 R / 64
// word operations), for the same reason. The benchmarks' hand-overs have at most 500 points
// (scpe), so it always runs there; without it u100 902 ms, stn45 385 ms, scpe 940 ms.
constexpr int kMaxPointsForDominance = 1024;
constexpr long long kMaxDominanceWork = 50000000LL;
// Subgradient steps of the Lagrangian bound at a solve's first node; later nodes take one step
// from the multipliers the node before left. Not sensitive: 50, 200 and 400 steps gave u100
// 842, 835 and 854 ms and stn45 297, 294 and 296 ms.
constexpr int kRootLagrangeIters = 200;
// Step length factor per subgradient step: 0.8 gave stn45 346 ms, 0.95 gave u100 955 ms.
constexpr double kLagrangeStepDecay = 0.9;
// The Lagrangian bound runs at every node while at least one call in kLagrangeMinHitShare
// prunes, and otherwise only on every kLagrangeProbeEvery-th node, to notice when it starts to
// pay deeper down. Where it seldom prunes more than the packing (the Steiner files), skipping
// it saves its O(R W) per node: run at every node, stn45 took 450 ms; probing every 64th
// node, u100 1010 ms and BM_PropagateCorpus/stn27 10.9 ms (6.5 ms here); a share of one in
// three changed nothing beyond noise (u100 874 ms).
constexpr long kLagrangeMinHitShare = 10;
constexpr long kLagrangeProbeEvery = 16;
// Rounding slack of the Lagrangian value, which is a sum of doubles.
constexpr double kLagrangeSlack = 1e-6;

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

// ---------------------------------------------------------------------------------------------
// Reductions. Rows that contain another row are hit whenever that one is, and a point whose
// rows all lie in another point's rows can be swapped for it in any hitting set; both go.
// Neither changes the smallest size, and every hitting set of the reduced rows hits all rows.

void HittingSetSolver::reduce() {
  dropSupersetRows();
  if (dropDominatedPoints()) dropSupersetRows();
}

// Keeps, smallest first, the rows that contain no kept row.
void HittingSetSolver::dropSupersetRows() {
  if (rows_.size() > kMaxRowsForSupersetTest) return;
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
    const bool dominated = std::any_of(kept.begin(), kept.end(), [&](int a) {
      const Word* ma = maskOf(a);
      for (int w = 0; w < words_; ++w) {
        if ((ma[w] & ~mb[w]) != 0) return false;
      }
      return true;
    });
    if (!dominated) kept.push_back(b);
  }
  rows_ = std::move(kept);
}

// Removes from every row the points whose rows lie in another point's rows (of two equal
// points, the later goes). Returns whether any went.
bool HittingSetSolver::dropDominatedPoints() {
  const int numRows = static_cast<int>(rows_.size());
  const int rowWords = (numRows + 63) / 64;
  if (numPoints_ > kMaxPointsForDominance ||
      static_cast<long long>(numPoints_) * numPoints_ * rowWords > kMaxDominanceWork) {
    return false;
  }
  // The rows of each point, as bit masks over rows_.
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
  if (!any) return false;
  for (int r : rows_) {
    Word* mask = masks_.data() + static_cast<std::size_t>(r) * words_;
    for (int p = 0; p < numPoints_; ++p) {
      if (drop[p]) mask[p >> 6] &= ~(Word{1} << (p & 63));
    }
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// The search.

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
  lagrangeIters_ = kRootLagrangeIters;
  search(static_cast<int>(rows_.size()), 0);
  if (bestSize_ >= cutoff) return cutoff;
  witness = best_;
  return bestSize_;
}

int HittingSetSolver::available(int row) const {
  const Word* mask = maskOf(row);
  int pc = 0;
  for (int w = 0; w < words_; ++w) pc += popcount(mask[w] & ~excluded_[w]);
  return pc;
}

// Pushes the available points of each of the node's `count` open rows on popcounts_ and sets
// `minRow` to a row with the fewest (the first). False, with nothing pushed, when a row has
// none left.
bool HittingSetSolver::countAvailable(int count, int& minRow) {
  const std::size_t at = popcounts_.size();
  int minPc = INT_MAX;
  for (int i = 0; i < count; ++i) {
    const int pc = available(work_[i]);
    if (pc == 0) {
      popcounts_.resize(at);
      return false;
    }
    popcounts_.push_back(pc);
    if (pc < minPc) {
      minPc = pc;
      minRow = work_[i];
    }
  }
  return true;
}

// Rows pairwise without a common available point, taken fewest points first (from the counts
// on top of popcounts_); stops once chosen + bound reaches bestSize_.
int HittingSetSolver::packingBound(int count, int chosen) const {
  const int* pcs = popcounts_.data() + popcounts_.size() - count;
  const auto [lo, hi] = std::minmax_element(pcs, pcs + count);
  std::vector<Word> used(words_, 0);
  int bound = 0;
  for (int level = *lo; level <= *hi && chosen + bound < bestSize_; ++level) {
    for (int i = 0; i < count; ++i) {
      if (pcs[i] != level) continue;
      const Word* mask = maskOf(work_[i]);
      bool free = true;
      for (int w = 0; w < words_ && free; ++w) free = (mask[w] & ~excluded_[w] & used[w]) == 0;
      if (!free) continue;
      ++bound;
      for (int w = 0; w < words_; ++w) used[w] |= mask[w] & ~excluded_[w];
    }
  }
  return bound;
}

bool HittingSetSolver::lagrangeWorthTrying() const {
  return lagrangeIters_ > 1 || lagrangeHits_ * kLagrangeMinHitShare >= lagrangeCalls_ ||
         nodes_ % kLagrangeProbeEvery == 0;
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
    if (best > target - 1 + kLagrangeSlack) break;  // already enough to prune
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
    step *= kLagrangeStepDecay;
  }
  return best;
}

// The available points of `row` as (-open rows they hit, point), sorted: most rows first.
std::vector<std::pair<int, int>> HittingSetSolver::branchPoints(int row, int count) const {
  std::vector<std::pair<int, int>> points;
  const Word* mask = maskOf(row);
  for (int w = 0; w < words_; ++w) {
    for (Word bits = mask[w] & ~excluded_[w]; bits != 0; bits &= bits - 1) {
      const int p = w * 64 + __builtin_ctzll(bits);
      int hits = 0;
      for (int i = 0; i < count; ++i) hits += hasPoint(maskOf(work_[i]), p) ? 1 : 0;
      points.emplace_back(-hits, p);
    }
  }
  std::sort(points.begin(), points.end());
  return points;
}

// Takes each point in turn, excluding it from the siblings after it, and lifts the exclusions
// again at the end. Returns true when the search is to stop (first found).
bool HittingSetSolver::branch(const std::vector<std::pair<int, int>>& points, int count,
                              int chosen) {
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

// One node: `count` open rows (the prefix of work_), `chosen` points taken. Returns true when
// the search is to stop.
bool HittingSetSolver::search(int count, int chosen) {
  ++nodes_;
  if ((maxNodes_ >= 0 && nodes_ > maxNodes_) ||
      (budget_ != nullptr && budget_->charge(static_cast<std::uint64_t>(count) * words_ + 1))) {
    throw SearchAborted{};
  }
  if (count == 0) {
    if (chosen >= bestSize_) return false;
    bestSize_ = chosen;
    best_ = chosen_;
    return firstFound_;
  }
  if (chosen + 1 >= bestSize_) return false;
  int minRow = -1;
  if (!countAvailable(count, minRow)) return false;
  const int bound = packingBound(count, chosen);
  popcounts_.resize(popcounts_.size() - count);
  if (chosen + bound >= bestSize_) return false;
  if (lagrangeWorthTrying()) {
    const double lag = lagrangeBound(count, bestSize_ - chosen, lagrangeIters_);
    lagrangeIters_ = 1;
    ++lagrangeCalls_;
    if (chosen + static_cast<int>(std::ceil(lag - kLagrangeSlack)) >= bestSize_) {
      ++lagrangeHits_;
      return false;
    }
  }
  return branch(branchPoints(minRow, count), count, chosen);
}

}  // namespace nimbrel_tavik_util::setcover_detail
