#include "setcover/within/local_search.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

#include "setcover/within/greedy_cost.hpp"

namespace nimbrel_tavik_util::setcover_detail {

namespace {
constexpr double kInfinity = std::numeric_limits<double>::infinity();
}  // namespace

LocalSearch::LocalSearch(const CoverModel& model, CostRule rule, std::uint64_t seed)
    : model_(model),
      rule_(rule),
      rng_(seed),
      cols_(model.numCols),
      rows_(model.numRows),
      bestCost_(kInfinity) {
  double smallest = kInfinity;
  for (int j = 0; j < model.numCols; ++j) {
    cols_[j].cost = model.cost[j];
    if (model.cost[j] > 0.0) smallest = std::min(smallest, model.cost[j]);
  }
  // Room at most this fits no column of positive cost (fits means cost < room).
  minCost_ = smallest == kInfinity ? 0.0 : smallest;
  for (int i = 0; i < model.numRows; ++i) {
    rows_[i].allowed = model.rowSize(i);
    if (rows_[i].allowed == 0) ++deadRows_;
  }
}

double LocalSearch::costLimit() const {
  return haveBest_ ? bestCost_ - rule_.margin(bestCost_) : kInfinity;
}

bool LocalSearch::targetReached(double target) const {
  return haveBest_ && !std::isnan(target) && rule_.prunes(target, bestCost_);
}

std::uint64_t LocalSearch::nextRandom() {
  // splitmix64: tiny state, fast, and the same sequence on every platform.
  std::uint64_t z = (rng_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// ---------------------------------------------------------------------------------------------
// Ranking. Taking out: the largest score per unit of cost (selected columns score <= 0, so the
// least weight lost per unit of cost saved), then the dearer, then the one in longest. Putting
// in: the largest score per unit of cost, then the one out longest. Stamps are unique, so
// every order is total and the search does not depend on how a scan meets the columns.

bool LocalSearch::removeBetter(int a, int b) const {
  const Column& x = cols_[a];
  const Column& y = cols_[b];
  if (model_.unicost) return x.score != y.score ? x.score > y.score : x.stamp < y.stamp;
  const double lhs = static_cast<double>(x.score) * y.cost;
  const double rhs = static_cast<double>(y.score) * x.cost;
  if (lhs != rhs) return lhs > rhs;
  if (x.cost != y.cost) return x.cost > y.cost;
  return x.stamp < y.stamp;
}

namespace {
// A candidate for putting in, copied out of its column so that a scan compares locals.
struct Pick {
  int col = -1;
  std::int64_t score = 0;
  double cost = 0.0;
  std::int64_t stamp = 0;
};

bool pickBetter(const Pick& x, const Pick& y, bool unicost) {
  if (unicost) return x.score != y.score ? x.score > y.score : x.stamp < y.stamp;
  const double lhs = static_cast<double>(x.score) * y.cost;
  const double rhs = static_cast<double>(y.score) * x.cost;
  if (lhs != rhs) return lhs > rhs;
  return x.stamp < y.stamp;
}
}  // namespace

// Configuration checking on rows: a column taken out may come back once one of its rows has
// gone between covered and uncovered since. On 28 runs over 14 files (800,000 moves each) this
// reached the best known value 14 times, against 12 for the looser rule of RWLS (back once any
// column sharing a row with it has moved), and it costs no scan of the column's rows.
bool LocalSearch::mayAdd(int j) const { return cols_[j].fresh && j != tabu_[0] && j != tabu_[1]; }

// ---------------------------------------------------------------------------------------------
// The removal heap: selected columns of positive cost. A selected column's score changes only
// when one of its rows goes between one and two covering columns, so a move repairs few
// entries, each in O(log |selection|).

void LocalSearch::heapUp(int pos) {
  const int j = heap_[pos];
  while (pos > 0) {
    const int parent = (pos - 1) / 2;
    if (!removeBetter(j, heap_[parent])) break;
    heap_[pos] = heap_[parent];
    cols_[heap_[pos]].heapPos = pos;
    pos = parent;
  }
  heap_[pos] = j;
  cols_[j].heapPos = pos;
}

void LocalSearch::heapDown(int pos) {
  const int j = heap_[pos];
  const int size = static_cast<int>(heap_.size());
  while (true) {
    int child = 2 * pos + 1;
    if (child >= size) break;
    if (child + 1 < size && removeBetter(heap_[child + 1], heap_[child])) ++child;
    if (!removeBetter(heap_[child], j)) break;
    heap_[pos] = heap_[child];
    cols_[heap_[pos]].heapPos = pos;
    pos = child;
  }
  heap_[pos] = j;
  cols_[j].heapPos = pos;
}

void LocalSearch::heapFix(int j) {
  const int pos = cols_[j].heapPos;
  if (pos < 0) return;
  if (pos > 0 && removeBetter(j, heap_[(pos - 1) / 2])) {
    heapUp(pos);
  } else {
    heapDown(pos);
  }
}

void LocalSearch::heapPush(int j) {
  heap_.push_back(j);
  heapUp(static_cast<int>(heap_.size()) - 1);
}

void LocalSearch::heapErase(int j) {
  const int pos = cols_[j].heapPos;
  const int last = heap_.back();
  heap_.pop_back();
  cols_[j].heapPos = -1;
  if (pos < static_cast<int>(heap_.size())) {
    heap_[pos] = last;
    cols_[last].heapPos = pos;
    heapFix(last);
  }
}

// The best column to take out that was not among the two added last: the root, or found by
// descending past at most two tabu entries (the heap order makes this a search over a handful
// of nodes).
int LocalSearch::removalCandidate() const {
  const int size = static_cast<int>(heap_.size());
  int open[5];
  int numOpen = 0;
  if (size > 0) open[numOpen++] = 0;
  while (numOpen > 0) {
    int pick = 0;
    for (int k = 1; k < numOpen; ++k) {
      if (removeBetter(heap_[open[k]], heap_[open[pick]])) pick = k;
    }
    const int pos = open[pick];
    open[pick] = open[--numOpen];
    const int j = heap_[pos];
    if (j != tabu_[0] && j != tabu_[1]) return j;
    if (2 * pos + 1 < size) open[numOpen++] = 2 * pos + 1;
    if (2 * pos + 2 < size) open[numOpen++] = 2 * pos + 2;
  }
  return -1;
}

// ---------------------------------------------------------------------------------------------
// Moves. Each touches the column's rows, and every column of a row that goes between covered
// and uncovered: O(|column| + sum of those rows' sizes).

void LocalSearch::addColumn(int j) {
  Column& c = cols_[j];
  c.in = true;
  c.stamp = ++flips_;
  cost_ += c.cost;
  std::int64_t newScore = 0;
  for (const int* it = model_.colBegin(j); it != model_.colEnd(j); ++it) {
    Row& row = rows_[*it];
    const int previous = row.xorCols;
    row.xorCols ^= j;
    if (row.count++ == 0) {
      // The row's weight stops rising: it leaves the out columns' sums.
      const std::int64_t part = row.weight - row.since;
      row.weight += clock_ - row.since;
      newScore -= row.weight;
      const int last = uncovered_.back();
      uncovered_[row.uncoveredPos] = last;
      rows_[last].uncoveredPos = row.uncoveredPos;
      uncovered_.pop_back();
      row.uncoveredPos = -1;
      for (const int* k = model_.rowBegin(*it); k != model_.rowEnd(*it); ++k) {
        Column& other = cols_[*k];
        other.score -= part;
        --other.uncovered;
        other.fresh = true;
      }
      work_ += static_cast<std::uint64_t>(model_.rowSize(*it));
    } else if (row.count == 2) {
      cols_[previous].score += row.weight;
      heapFix(previous);
    }
  }
  work_ += static_cast<std::uint64_t>(model_.colSize(j));
  c.score = newScore;
  c.uncovered = 0;
  if (c.cost > 0.0) heapPush(j);
}

void LocalSearch::removeColumn(int j) {
  Column& c = cols_[j];
  c.in = false;
  c.fresh = false;
  c.stamp = ++flips_;
  cost_ -= c.cost;
  if (c.heapPos >= 0) heapErase(j);
  std::int64_t newScore = 0;
  int newUncovered = 0;
  for (const int* it = model_.colBegin(j); it != model_.colEnd(j); ++it) {
    Row& row = rows_[*it];
    row.xorCols ^= j;
    if (--row.count == 0) {
      // The row's weight starts rising from here: it joins the out columns' sums.
      row.since = clock_;
      const std::int64_t part = row.weight - row.since;
      newScore += part;
      ++newUncovered;
      row.uncoveredPos = static_cast<int>(uncovered_.size());
      uncovered_.push_back(*it);
      for (const int* k = model_.rowBegin(*it); k != model_.rowEnd(*it); ++k) {
        Column& other = cols_[*k];
        other.score += part;
        ++other.uncovered;
        other.fresh = true;
      }
      work_ += static_cast<std::uint64_t>(model_.rowSize(*it));
    } else if (row.count == 1) {
      cols_[row.xorCols].score -= row.weight;
      heapFix(row.xorCols);
    }
  }
  work_ += static_cast<std::uint64_t>(model_.colSize(j));
  c.score = newScore;  // the loop above also counted these rows into j's own fields
  c.uncovered = newUncovered;
  c.fresh = false;
}

void LocalSearch::raiseWeights() {
  // Every uncovered row gains one (see Column). No selected column covers them, so the heap is
  // unchanged.
  ++clock_;
}

int LocalSearch::pickAdd(int row, double room, bool& any) const {
  // A column costing at least the best cover's can be in no cheaper one.
  const double limit = costLimit();
  Pick best;
  Pick fallback;  // used only when configuration checking blocks every candidate
  for (const int* k = model_.rowBegin(row); k != model_.rowEnd(row); ++k) {
    const Column& c = cols_[*k];
    if (c.forbidden || c.cost >= limit) continue;
    any = true;
    if (c.cost >= room) continue;
    const Pick pick{*k, c.score + clock_ * c.uncovered, c.cost, c.stamp};
    Pick& slot = mayAdd(*k) ? best : fallback;
    if (slot.col < 0 || pickBetter(pick, slot, model_.unicost)) slot = pick;
  }
  return best.col >= 0 ? best.col : fallback.col;
}

void LocalSearch::recordBest() {
  double sum = 0.0;
  for (int j = 0; j < model_.numCols; ++j) {
    if (cols_[j].in) sum += cols_[j].cost;
  }
  cost_ = sum;  // drops the rounding that the incremental sum gathered
  if (!improves(sum)) return;
  best_.clear();
  for (int j = 0; j < model_.numCols; ++j) {
    if (cols_[j].in) best_.push_back(j);
  }
  bestCost_ = sum;
  haveBest_ = true;
}

// ---------------------------------------------------------------------------------------------
// Starting points.

void LocalSearch::start() {
  started_ = true;
  for (int i = 0; i < model_.numRows; ++i) {
    rows_[i].uncoveredPos = static_cast<int>(uncovered_.size());
    uncovered_.push_back(i);
  }
  for (int j = 0; j < model_.numCols; ++j) {
    cols_[j].score = model_.colSize(j);  // every row uncovered, of weight 1 at clock 0
    cols_[j].uncovered = model_.colSize(j);
  }
  // Free columns never hurt: take them once and keep them.
  for (int j = 0; j < model_.numCols; ++j) {
    if (cols_[j].cost == 0.0 && !cols_[j].forbidden && model_.colSize(j) > 0) addColumn(j);
  }
  if (haveBest_) {
    resetTo(best_);
  } else {
    greedyFill();
  }
  if (uncovered_.empty() && improves(cost_)) recordBest();
}

void LocalSearch::greedyFill() {
  // Chvatal's rule, the most row weight per unit of cost first (as the least negated ratio); a
  // column's ratio only falls as rows get covered.
  const auto score = [this](int j) { return -static_cast<double>(scoreOf(j)) / cols_[j].cost; };
  std::vector<std::pair<double, int>> initial;
  for (int j = 0; j < model_.numCols; ++j) {
    if (!cols_[j].in && !cols_[j].forbidden && scoreOf(j) > 0) initial.emplace_back(score(j), j);
  }
  lazyGreedy(
      std::move(initial), [this] { return uncovered_.empty(); },
      [this](int j) { return scoreOf(j) > 0; }, score, [this](int j) { addColumn(j); });
  for (Column& c : cols_) c.fresh = true;
}

void LocalSearch::resetTo(const std::vector<int>& cover) {
  const std::vector<int> drop = heap_;
  for (const int j : drop) removeColumn(j);
  for (const int j : cover) {
    if (!cols_[j].in && !cols_[j].forbidden) addColumn(j);
  }
  for (Column& c : cols_) c.fresh = true;
  tabu_[0] = tabu_[1] = -1;
}

// ---------------------------------------------------------------------------------------------
// The search.

void LocalSearch::step() {
  ++steps_;
  if (uncovered_.empty()) {
    // A cover, already recorded: drop the column that loses least (a redundant one when there
    // is one) to look for a cheaper cover.
    if (heap_.empty()) {
      stuck_ = true;  // only free columns left: nothing is cheaper
      return;
    }
    removeColumn(heap_[0]);
    if (uncovered_.empty() && improves(cost_)) recordBest();
    return;
  }
  // When only the columns added last are left, one of them goes: standing still would repeat
  // the same move forever.
  const int out = removalCandidate();
  if (out >= 0) {
    removeColumn(out);
  } else if (!heap_.empty()) {
    removeColumn(heap_[0]);
  }
  const double limit = costLimit();
  while (!uncovered_.empty()) {
    const double room = limit - cost_;
    if (room <= minCost_) break;
    const std::uint64_t draw = nextRandom() >> 32;
    const int row = uncovered_[(draw * uncovered_.size()) >> 32];
    bool any = false;
    const int in = pickAdd(row, room, any);
    if (!any) {
      stuck_ = true;
      return;
    }
    if (in < 0) break;
    addColumn(in);
    tabu_[1] = tabu_[0];
    tabu_[0] = in;
  }
  raiseWeights();
  if (uncovered_.empty() && improves(cost_)) recordBest();
}

bool LocalSearch::run(long long steps, Budget& budget, double target) {
  const bool had = haveBest_;
  const double before = bestCost_;
  const auto improved = [&] { return haveBest_ && (!had || bestCost_ < before); };
  if (deadRows_ > 0 || budget.expired()) return false;
  if (!started_) {
    start();
    budget.charge(work_);
    work_ = 0;
  }
  for (long long s = 0; s < steps; ++s) {
    if (stuck_ || targetReached(target)) break;
    step();
    const bool expired = budget.charge(work_ + 1);
    work_ = 0;
    if (expired) break;
  }
  return improved();
}

// ---------------------------------------------------------------------------------------------
// The caller's input.

bool LocalSearch::offer(const std::vector<int>& cover) {
  std::vector<int> sorted = cover;
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  std::vector<char> covered(model_.numRows, 0);
  double sum = 0.0;
  for (const int j : sorted) {
    if (j < 0 || j >= model_.numCols) {
      throw std::invalid_argument("LocalSearch::offer: column " + std::to_string(j) +
                                  " is outside 0.." + std::to_string(model_.numCols - 1));
    }
    sum += cols_[j].cost;
    for (const int* it = model_.colBegin(j); it != model_.colEnd(j); ++it) covered[*it] = 1;
  }
  for (int i = 0; i < model_.numRows; ++i) {
    if (!covered[i]) {
      throw std::invalid_argument("LocalSearch::offer: row " + std::to_string(i) +
                                  " is not covered");
    }
  }
  if (!improves(sum)) return false;
  best_ = std::move(sorted);
  bestCost_ = sum;
  haveBest_ = true;
  if (started_) resetTo(best_);
  return true;
}

void LocalSearch::forbid(int column) {
  if (column < 0 || column >= model_.numCols) {
    throw std::invalid_argument("LocalSearch::forbid: column " + std::to_string(column) +
                                " is outside 0.." + std::to_string(model_.numCols - 1));
  }
  Column& c = cols_[column];
  if (c.forbidden) return;
  c.forbidden = true;
  for (const int* it = model_.colBegin(column); it != model_.colEnd(column); ++it) {
    if (--rows_[*it].allowed == 0) ++deadRows_;
  }
  if (c.in) removeColumn(column);
}

// ---------------------------------------------------------------------------------------------

bool LocalSearch::consistent() const {
  const int m = model_.numRows;
  const int n = model_.numCols;
  std::vector<int> count(m, 0);
  std::vector<int> xors(m, 0);
  double cost = 0.0;
  for (int j = 0; j < n; ++j) {
    if (!cols_[j].in) continue;
    if (cols_[j].forbidden) return false;
    cost += cols_[j].cost;
    for (const int* it = model_.colBegin(j); it != model_.colEnd(j); ++it) {
      ++count[*it];
      xors[*it] ^= j;
    }
  }
  int dead = 0;
  std::size_t uncovered = 0;
  for (int i = 0; i < m; ++i) {
    const Row& row = rows_[i];
    if (row.count != count[i] || row.xorCols != xors[i]) return false;
    if ((count[i] == 0) != (row.uncoveredPos >= 0)) return false;
    if (row.uncoveredPos >= 0 && uncovered_[row.uncoveredPos] != i) return false;
    int allowed = 0;
    for (const int* k = model_.rowBegin(i); k != model_.rowEnd(i); ++k) {
      allowed += cols_[*k].forbidden ? 0 : 1;
    }
    if (allowed != row.allowed) return false;
    dead += allowed == 0 ? 1 : 0;
    uncovered += count[i] == 0 ? 1 : 0;
  }
  if (dead != deadRows_) return false;
  if (!started_) return true;
  if (uncovered != uncovered_.size()) return false;
  if (std::fabs(cost - cost_) > 1e-6 * std::max(1.0, std::fabs(cost))) return false;
  for (int j = 0; j < n; ++j) {
    const Column& c = cols_[j];
    std::int64_t score = 0;
    int uncoveredRows = 0;
    for (const int* it = model_.colBegin(j); it != model_.colEnd(j); ++it) {
      if (c.in && count[*it] == 1) score -= weightOf(*it);
      if (!c.in && count[*it] == 0) {
        score += weightOf(*it);
        ++uncoveredRows;
      }
    }
    if (score != scoreOf(j) || (!c.in && uncoveredRows != c.uncovered)) return false;
    const bool inHeap = c.in && c.cost > 0.0;
    if (inHeap != (c.heapPos >= 0)) return false;
    if (inHeap && heap_[c.heapPos] != j) return false;
  }
  for (std::size_t pos = 1; pos < heap_.size(); ++pos) {
    if (removeBetter(heap_[pos], heap_[(pos - 1) / 2])) return false;
  }
  return true;
}

}  // namespace nimbrel_tavik_util::setcover_detail
