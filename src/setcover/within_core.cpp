// The portfolio of solveWithin: reductions, greedy, Lagrangian bound and heuristic, exact
// search, taken in turn on one budget.
#include "setcover/within_core.hpp"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <queue>
#include <stdexcept>
#include <utility>

#include "setcover/bnb.hpp"
#include "setcover/exact_search.hpp"
#include "setcover/lagrangian.hpp"
#include "setcover/local_search.hpp"
#include "setcover/lp_bound.hpp"

namespace nimbrel_tavik_util::setcover_detail {

void Progress::cover(double cost) {
  const double total = cost + offset_;
  if (!(total < best_)) return;
  best_ = total;
  lb_ = std::min(lb_, best_);
  checkRules();
  send(budget_.elapsedSeconds());
}

void Progress::bound(double lb) {
  const double total = std::min(lb + offset_, best_);
  if (total > lb_) lb_ = total;
  checkRules();
}

void Progress::checkRules() {
  if (best_ == kInfCost) return;
  if (best_ <= target_) budget_.finish(Budget::Reason::target);
  if (gap_ > 0.0 && best_ - lb_ <= gap_ * best_) budget_.finish(Budget::Reason::gap);
}

void Progress::send(double seconds) {
  if (!fn_ || best_ == kInfCost) return;
  fn_(SolveProgress{seconds, best_, lb_, budget_.nodes()});
}

double coverCost(const CoverModel& model, const std::vector<int>& cols) {
  double sum = 0.0;
  for (int j : cols) sum += model.cost[j];
  return sum;
}

bool coversAll(const CoverModel& model, const std::vector<int>& cols) {
  std::vector<char> hit(model.numRows, 0);
  for (int j : cols) {
    for (const int* r = model.colBegin(j); r != model.colEnd(j); ++r) hit[*r] = 1;
  }
  return std::all_of(hit.begin(), hit.end(), [](char h) { return h != 0; });
}

bool Incumbent::offer(const std::vector<int>& cols) {
  const double cost = coverCost(model_, cols);
  if (!rule_.better(cost, cost_)) return false;
  assert(coversAll(model_, cols));
  cost_ = cost;
  cols_ = cols;
  progress_.cover(cost);
  return true;
}

void removeRedundant(const CoverModel& model, std::vector<int>& cols) {
  std::vector<int> count(model.numRows, 0);
  for (int j : cols) {
    for (const int* r = model.colBegin(j); r != model.colEnd(j); ++r) ++count[*r];
  }
  std::sort(cols.begin(), cols.end(), [&model](int a, int b) {
    return model.cost[a] != model.cost[b] ? model.cost[a] > model.cost[b] : a > b;
  });
  std::vector<int> kept;
  kept.reserve(cols.size());
  for (int j : cols) {
    bool needed = false;
    for (const int* r = model.colBegin(j); r != model.colEnd(j) && !needed; ++r) {
      needed = count[*r] < 2;
    }
    if (needed) {
      kept.push_back(j);
    } else {
      for (const int* r = model.colBegin(j); r != model.colEnd(j); ++r) --count[*r];
    }
  }
  cols = std::move(kept);
}

std::vector<int> greedyByCost(const CoverModel& model, Budget& budget,
                              const std::vector<int>& seed) {
  const int m = model.numRows;
  const int n = model.numCols;
  std::vector<char> covered(m, 0);
  std::vector<int> mu(n);
  std::vector<int> cover;
  int open = m;
  for (int j = 0; j < n; ++j) mu[j] = model.colSize(j);
  for (int j : seed) {
    if (mu[j] < 0) continue;  // a repeat
    mu[j] = -1;
    cover.push_back(j);
    for (const int* r = model.colBegin(j); r != model.colEnd(j); ++r) {
      if (covered[*r]) continue;
      covered[*r] = 1;
      --open;
      for (const int* c = model.rowBegin(*r); c != model.rowEnd(*r); ++c) --mu[*c];
    }
  }
  using Entry = std::pair<double, int>;  // (cost per new row, column), smallest first
  std::vector<Entry> heap;
  heap.reserve(n);
  for (int j = 0; j < n; ++j) {
    if (mu[j] > 0) heap.emplace_back(model.cost[j] / mu[j], j);
  }
  std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> queue(std::greater<Entry>(),
                                                                            std::move(heap));
  while (open > 0 && !queue.empty() && !budget.expired()) {
    const auto [key, j] = queue.top();
    queue.pop();
    if (mu[j] <= 0) continue;
    const double now = model.cost[j] / mu[j];
    if (now != key) {  // stale: the ratio only rises as rows get covered
      queue.emplace(now, j);
      continue;
    }
    cover.push_back(j);
    for (const int* r = model.colBegin(j); r != model.colEnd(j); ++r) {
      if (covered[*r]) continue;
      covered[*r] = 1;
      --open;
      for (const int* c = model.rowBegin(*r); c != model.rowEnd(*r); ++c) --mu[*c];
      budget.charge(static_cast<std::uint64_t>(model.rowSize(*r)) + 1);
    }
  }
  if (open > 0) {  // out of time: the cheapest column of each row still open
    for (int i = 0; i < m; ++i) {
      if (covered[i]) continue;
      int best = -1;
      for (const int* c = model.rowBegin(i); c != model.rowEnd(i); ++c) {
        if (best < 0 || model.cost[*c] < model.cost[best]) best = *c;
      }
      cover.push_back(best);
      for (const int* r = model.colBegin(best); r != model.colEnd(best); ++r) covered[*r] = 1;
    }
  }
  removeRedundant(model, cover);
  return cover;
}

namespace {

// Working state of the reductions: which rows still need covering and which columns may still
// be used, with counts of the live entries on each side.
class Reducer {
 public:
  Reducer(const CoverModel& model, Budget& budget)
      : m_(model),
        budget_(budget),
        rowAlive_(model.numRows, 1),
        colAlive_(model.numCols, 1),
        rowLive_(model.numRows),
        colLive_(model.numCols) {
    for (int i = 0; i < model.numRows; ++i) rowLive_[i] = model.rowSize(i);
    for (int j = 0; j < model.numCols; ++j) colLive_[j] = model.colSize(j);
    cap_ = 40 * static_cast<std::uint64_t>(model.colRows.size()) + 1000000;
  }

  Reduced run();

 private:
  bool spend(std::uint64_t units) {
    work_ += units;
    budget_.charge(units);
    return work_ <= cap_ && !budget_.expired();
  }
  void take(int j) {
    fixed_.push_back(j);
    killCol(j);
    for (const int* r = m_.colBegin(j); r != m_.colEnd(j); ++r) {
      if (rowAlive_[*r]) killRow(*r);
    }
  }
  void killRow(int i) {
    rowAlive_[i] = 0;
    for (const int* c = m_.rowBegin(i); c != m_.rowEnd(i); ++c) {
      if (colAlive_[*c]) --colLive_[*c];
    }
    spend(static_cast<std::uint64_t>(m_.rowSize(i)) + 1);
  }
  void killCol(int j) {
    colAlive_[j] = 0;
    for (const int* r = m_.colBegin(j); r != m_.colEnd(j); ++r) {
      if (rowAlive_[*r]) --rowLive_[*r];
    }
    spend(static_cast<std::uint64_t>(m_.colSize(j)) + 1);
  }
  bool forceSingletons();
  bool dropCostlyColumns();
  bool dropIncludedColumns();
  bool dropIncludingRows();

  const CoverModel& m_;
  Budget& budget_;
  std::vector<char> rowAlive_;  // still to be covered and not implied by another row
  std::vector<char> colAlive_;  // still available
  std::vector<int> rowLive_;    // alive columns of each row
  std::vector<int> colLive_;    // alive rows of each column
  std::vector<int> fixed_;
  std::uint64_t work_ = 0;
  std::uint64_t cap_ = 0;
};

bool Reducer::forceSingletons() {
  bool changed = false;
  for (int i = 0; i < m_.numRows && !budget_.expired(); ++i) {
    if (!rowAlive_[i] || rowLive_[i] != 1) continue;
    for (const int* c = m_.rowBegin(i); c != m_.rowEnd(i); ++c) {
      if (colAlive_[*c]) {
        take(*c);
        changed = true;
        break;
      }
    }
  }
  return changed;
}

// A column costing more than the cheapest other columns of its rows together is in no optimal
// cover: swapping it for them is cheaper. Strictness keeps this sound when applied to all
// columns at once (a replacement is always strictly cheaper than what it replaces).
bool Reducer::dropCostlyColumns() {
  if (m_.unicost) return false;  // a column of cost 1 never costs more than one other
  std::vector<double> min1(m_.numRows, kInfCost);
  std::vector<double> min2(m_.numRows, kInfCost);
  std::vector<int> arg1(m_.numRows, -1);
  for (int i = 0; i < m_.numRows; ++i) {
    if (!rowAlive_[i]) continue;
    for (const int* c = m_.rowBegin(i); c != m_.rowEnd(i); ++c) {
      if (!colAlive_[*c]) continue;
      const double v = m_.cost[*c];
      if (v < min1[i]) {
        min2[i] = min1[i];
        min1[i] = v;
        arg1[i] = *c;
      } else if (v < min2[i]) {
        min2[i] = v;
      }
    }
    if (!spend(static_cast<std::uint64_t>(m_.rowSize(i)) + 1)) return false;
  }
  std::vector<int> drop;
  for (int j = 0; j < m_.numCols; ++j) {
    if (!colAlive_[j]) continue;
    double sum = 0.0;
    for (const int* r = m_.colBegin(j); r != m_.colEnd(j) && sum < kInfCost; ++r) {
      if (rowAlive_[*r]) sum += arg1[*r] == j ? min2[*r] : min1[*r];
    }
    if (m_.cost[j] > sum * (1.0 + 1e-12) + 1e-12) drop.push_back(j);
    if (!spend(static_cast<std::uint64_t>(m_.colSize(j)) + 1)) break;
  }
  for (int j : drop) killCol(j);
  return !drop.empty();
}

// Column j goes when an alive column k holds all its alive rows at no higher cost (on equal
// rows and cost the smaller index stays). Candidates k come from j's alive row with the fewest
// alive columns; containment is checked by binary search in k's sorted rows.
bool Reducer::dropIncludedColumns() {
  bool changed = false;
  for (int j = 0; j < m_.numCols; ++j) {
    if (!colAlive_[j] || colLive_[j] == 0) continue;
    int pivot = -1;
    for (const int* r = m_.colBegin(j); r != m_.colEnd(j); ++r) {
      if (rowAlive_[*r] && (pivot < 0 || rowLive_[*r] < rowLive_[pivot])) pivot = *r;
    }
    if (!spend(static_cast<std::uint64_t>(m_.colSize(j)) + 1)) return changed;
    for (const int* c = m_.rowBegin(pivot); c != m_.rowEnd(pivot); ++c) {
      const int k = *c;
      if (k == j || !colAlive_[k] || colLive_[k] < colLive_[j] || m_.cost[k] > m_.cost[j]) {
        continue;
      }
      if (colLive_[k] == colLive_[j] && m_.cost[k] == m_.cost[j] && k > j) continue;
      bool inside = true;
      std::uint64_t probes = 1;
      for (const int* r = m_.colBegin(j); r != m_.colEnd(j) && inside; ++r) {
        if (!rowAlive_[*r] || *r == pivot) continue;
        ++probes;
        inside = std::binary_search(m_.colBegin(k), m_.colEnd(k), *r);
      }
      if (!spend(probes * 4)) return changed;
      if (inside) {
        killCol(j);
        changed = true;
        break;
      }
    }
  }
  return changed;
}

// Row k goes when the alive columns of another alive row i are all columns of k: whatever
// covers i covers k. On equal column sets the smaller index stays.
bool Reducer::dropIncludingRows() {
  bool changed = false;
  for (int i = 0; i < m_.numRows; ++i) {
    if (!rowAlive_[i]) continue;
    int pivot = -1;
    for (const int* c = m_.rowBegin(i); c != m_.rowEnd(i); ++c) {
      if (colAlive_[*c] && (pivot < 0 || colLive_[*c] < colLive_[pivot])) pivot = *c;
    }
    if (!spend(static_cast<std::uint64_t>(m_.rowSize(i)) + 1)) return changed;
    for (const int* r = m_.colBegin(pivot); r != m_.colEnd(pivot); ++r) {
      const int k = *r;
      if (k == i || !rowAlive_[k] || rowLive_[k] < rowLive_[i]) continue;
      if (rowLive_[k] == rowLive_[i] && k < i) continue;
      bool inside = true;
      std::uint64_t probes = 1;
      for (const int* c = m_.rowBegin(i); c != m_.rowEnd(i) && inside; ++c) {
        if (!colAlive_[*c] || *c == pivot) continue;
        ++probes;
        inside = std::binary_search(m_.rowBegin(k), m_.rowEnd(k), *c);
      }
      if (!spend(probes * 4)) return changed;
      if (inside) {
        rowAlive_[k] = 0;
        for (const int* c = m_.rowBegin(k); c != m_.rowEnd(k); ++c) {
          if (colAlive_[*c]) --colLive_[*c];
        }
        changed = true;
      }
    }
  }
  return changed;
}

Reduced Reducer::run() {
  for (int j = 0; j < m_.numCols; ++j) {
    if (m_.cost[j] == 0.0 && colAlive_[j]) take(j);  // free columns are simply taken
  }
  bool changed = true;
  while (changed && spend(0)) {
    changed = forceSingletons();
    if (!spend(0)) break;
    changed = dropCostlyColumns() || changed;
    if (!spend(0)) break;
    changed = dropIncludedColumns() || changed;
    if (!spend(0)) break;
    changed = dropIncludingRows() || changed;
  }
  forceSingletons();  // cheap, and leaves no row with a single column

  Reduced out;
  out.fixedCols = fixed_;
  for (int j : fixed_) out.fixedCost += m_.cost[j];
  std::vector<int> rowMap(m_.numRows, -1);
  int rows = 0;
  for (int i = 0; i < m_.numRows; ++i) {
    if (rowAlive_[i]) rowMap[i] = rows++;
  }
  std::vector<int> colStart{0};
  std::vector<int> colRows;
  std::vector<double> cost;
  for (int j = 0; j < m_.numCols; ++j) {
    if (!colAlive_[j] || colLive_[j] == 0) continue;
    for (const int* r = m_.colBegin(j); r != m_.colEnd(j); ++r) {
      if (rowAlive_[*r]) colRows.push_back(rowMap[*r]);
    }
    colStart.push_back(static_cast<int>(colRows.size()));
    cost.push_back(m_.cost[j]);
    out.origCol.push_back(j);
  }
  out.model = makeCoverModel(rows, std::move(colStart), std::move(colRows), std::move(cost));
  return out;
}

}  // namespace

Reduced reduce(const CoverModel& model, Budget& budget) { return Reducer(model, budget).run(); }

// Rows are intervals [lo_i, hi_i] of column indices. A choice of columns covers them all when
// no row lies strictly between two consecutive chosen columns, before the first or after the
// last. best[j] = c_j + min best[k] over the chosen column k before j, where k >= the largest
// lo of the rows ending before j (none: j may be the first). Those lower limits only grow with
// j, so a monotone queue gives each minimum in amortised O(1).
bool solveIntervalRows(const CoverModel& model, std::vector<int>& cols) {
  const int m = model.numRows;
  const int n = model.numCols;
  if (m == 0) {
    cols.clear();
    return true;
  }
  std::vector<int> lo(m);
  std::vector<int> hi(m);
  for (int i = 0; i < m; ++i) {
    const int size = model.rowSize(i);
    lo[i] = *model.rowBegin(i);
    hi[i] = *(model.rowEnd(i) - 1);
    if (hi[i] - lo[i] + 1 != size) return false;
  }
  // limit[j]: the largest lo of the rows with hi < j (-1: no such row).
  std::vector<int> limit(static_cast<std::size_t>(n) + 1, -1);
  for (int i = 0; i < m; ++i) limit[hi[i] + 1] = std::max(limit[hi[i] + 1], lo[i]);
  for (int j = 1; j <= n; ++j) limit[j] = std::max(limit[j], limit[j - 1]);
  int lastLo = 0;
  for (int i = 0; i < m; ++i) lastLo = std::max(lastLo, lo[i]);

  std::vector<double> best(n, kInfCost);
  std::vector<int> from(n, -1);
  std::vector<int> window;  // candidate predecessors, best[] increasing
  std::size_t head = 0;
  for (int j = 0; j < n; ++j) {
    const int need = limit[j];
    if (need < 0) {
      best[j] = model.cost[j];
    } else {
      while (head < window.size() && window[head] < need) ++head;
      if (head < window.size()) {
        best[j] = model.cost[j] + best[window[head]];
        from[j] = window[head];
      }
    }
    if (best[j] < kInfCost) {
      while (window.size() > head && best[window.back()] >= best[j]) window.pop_back();
      window.push_back(j);
    }
  }
  // The last chosen column must be at or after the largest lo, with no row after it.
  int end = -1;
  for (int j = lastLo; j < n; ++j) {
    if (best[j] < kInfCost && (end < 0 || best[j] < best[end])) end = j;
  }
  if (end < 0) return false;
  cols.clear();
  for (int j = end; j >= 0; j = from[j]) cols.push_back(j);
  return true;
}

namespace {

// After the root, the local search and the exact search take turns on one budget until the
// exact search ends or a limit does. Turns are measured in counted work units (Budget::work),
// never in seconds, so that a run with a node limit and no time limit repeats exactly. Each
// round is kRoundGrowth times the one before, so switching costs little against the work. The
// local search gets kStartShare of a round while it finds better covers; each round without one
// halves its share, down to kMinShare, so that on instances the exact search proves quickly it
// costs a few per cent. Each side is given a count (moves, nodes) sized from the work per move
// or per node of its last turn.
constexpr double kFirstRound = 1 << 20;  // units: a few milliseconds
constexpr double kRoundGrowth = 1.5;
constexpr double kMaxRound = 1 << 28;  // about a second: the bound and the cover still move
constexpr double kStartShare = 0.5;
constexpr double kMinShare = 1.0 / 16;
constexpr std::uint64_t kSearchSeed = 0x5eed2015;

// With a deadline, the exact search gets only a small share once it is hopeless: when, at the
// pace of its turns so far (by the share of the tree done), it would need more than
// kHopelessFactor times the work that the time left allows. On the large unicost files
// (scp4x-scpnrh) its tree is far beyond any limit, and its turns only keep the local search
// from the time. The estimate is rough, so the exact search is never shut out.
constexpr double kHopelessShare = 7.0 / 8;
constexpr double kHopelessFactor = 4.0;

bool hopeless(double done, double searchWork, Budget& budget) {
  const double elapsed = budget.elapsedSeconds();
  if (elapsed <= 0.0 || searchWork <= 0.0) return false;
  const double perSecond = static_cast<double>(budget.work()) / elapsed;
  const double affordable = perSecond * budget.remainingSeconds();
  if (done <= 0.0) return searchWork >= 4 * kFirstRound;  // not one subtree of the root done
  const double needed = searchWork * (1.0 - done) / done;
  return needed > kHopelessFactor * affordable;
}

long long countFor(double work, double workPerUnit) {
  const double n = work / std::max(workPerUnit, 1.0);
  return static_cast<long long>(std::clamp(n, 1.0, 1e12));
}

// The exact search of PROPAGATE (exact_search.hpp) on a unicost model. Where the LP bound is
// weak, as on Steiner triple systems, it is far stronger than the Lagrangian branch-and-bound
// (stn45: well under a second against minutes), but it cannot stop and go on later. So it
// runs in attempts from scratch with node caps doubling from kFirstEngineNodes, taking at
// most kEngineShare of the work: the work thrown away is at most about that of the last
// attempt. Only on models of at most kEngineMaxSets columns: on the larger OR-Library files
// (1000 columns and more) it proved nothing in minutes, and the time goes to the local search.
constexpr long long kFirstEngineNodes = 1000;
constexpr double kEngineShare = 0.25;
constexpr int kEngineMaxSets = 600;

// One attempt; true when it finished, the incumbent then being optimal.
bool engineAttempt(const CoverModel& model, Incumbent& incumbent, Budget& budget,
                   long long maxNodes) {
  SearchRoot root;
  root.numElems = model.numRows;
  root.numSets = model.numCols;
  root.elemStart = model.rowStart;
  root.elemSets = model.rowCols;
  root.setStart = model.colStart;
  root.setElems = model.colRows;
  root.covered.assign(model.numRows, 0);
  root.selected.assign(model.numCols, 0);
  // Elements by ascending degree, as PROPAGATE orders them (stable: ties by index).
  root.order.resize(model.numRows);
  for (int i = 0; i < model.numRows; ++i) root.order[i] = i;
  std::stable_sort(root.order.begin(), root.order.end(),
                   [&model](int a, int b) { return model.rowSize(a) < model.rowSize(b); });
  int best = static_cast<int>(std::lround(incumbent.cost()));
  std::vector<int> path;
  SearchOptions options;
  options.budget = &budget;
  options.maxNodes = maxNodes;
  SearchStats stats;
  bool finished = true;
  try {
    if (searchFirstMinimum(root, best, path, &stats, options)) incumbent.offer(path);
  } catch (const SearchAborted&) {
    finished = false;
  }
  budget.addNodes(stats.nodes + stats.subNodes);
  return finished;
}

// Returns true when the exact search proved the incumbent optimal (or the local search reached
// `lower`).
bool takeTurns(const CoverModel& model, Incumbent& incumbent, BranchAndBound& search,
               Budget& budget, double lower) {
  LocalSearch local(model, kSearchSeed);
  local.offer(incumbent.cols());
  double round = kFirstRound;
  double share = kStartShare;
  double perMove = 64.0;  // first guesses; measured after each turn
  double perNode = static_cast<double>(model.numCols) * 4.0;
  double searchWork = 0.0;  // work of the exact search's turns
  const bool engineOn = model.unicost && model.numCols <= kEngineMaxSets;
  double engineWork = 0.0;
  long long engineCap = kFirstEngineNodes;
  for (;;) {
    if (budget.expired() || budget.nodeLimitReached()) return false;

    std::uint64_t before = budget.work();
    const long long moves = local.steps();
    bool found = local.run(countFor(round * share, perMove), budget, lower);
    if (local.steps() > moves) {
      perMove =
          static_cast<double>(budget.work() - before) / static_cast<double>(local.steps() - moves);
    }
    if (found && incumbent.offer(local.best()) && incumbent.prunes(lower)) return true;
    if (budget.expired() || budget.nodeLimitReached()) return false;

    const double held = incumbent.cost();
    before = budget.work();
    const long long nodes = budget.nodes();
    if (search.run(countFor(round * (1.0 - share), perNode))) return true;
    if (budget.nodes() > nodes) {
      perNode =
          static_cast<double>(budget.work() - before) / static_cast<double>(budget.nodes() - nodes);
    }
    if (incumbent.cost() < held) local.offer(incumbent.cols());

    if (engineOn && engineWork <= kEngineShare * static_cast<double>(budget.work()) &&
        !budget.expired() && !budget.nodeLimitReached()) {
      before = budget.work();
      const long long left = budget.nodesLeft();
      const bool proved = engineAttempt(model, incumbent, budget,
                                        left >= 0 ? std::min(engineCap, left) : engineCap);
      engineWork += static_cast<double>(budget.work() - before);
      engineCap *= 2;
      if (proved) return true;
      if (incumbent.cost() < held) local.offer(incumbent.cols());
    }

    share = found ? kStartShare : std::max(kMinShare, share / 2);
    if (budget.hasDeadline()) {
      searchWork += static_cast<double>(budget.work() - before);
      if (hopeless(search.doneFraction(), searchWork, budget)) share = kHopelessShare;
    }
    round = std::min(round * kRoundGrowth, kMaxRound);
  }
}

// Multipliers for the root: the LP relaxation's duals, when the dual simplex gives a better
// bound than the simple ones (c_j / |j|) within kLpShare of the time left.
constexpr double kLpShare = 0.3;

std::vector<double> rootMultipliers(const CoverModel& model, Residual all,
                                    std::vector<double>& gamma, Budget& budget) {
  std::vector<double> simple;
  initialMultipliers(model, all, simple);
  std::vector<double> lp;
  const double seconds = budget.hasDeadline() ? kLpShare * budget.remainingSeconds() : 0.0;
  if (budget.hasDeadline() && seconds <= 0.0) return simple;
  try {
    if (lpDuals(model, budget, seconds, lp)) return lp;
  } catch (const std::runtime_error&) {
    return simple;  // GLPK failed: the subgradient steps do without the relaxation
  }
  return lagrangeValue(model, all, lp, gamma, budget) >
                 lagrangeValue(model, all, simple, gamma, budget)
             ? lp
             : simple;
}

// The warm start in the reduced model's terms: its columns that the reductions kept, completed
// by the greedy. It may cost more than `start` itself (a dropped column's replacement), which
// is why solveModel also keeps `start`.
std::vector<int> reducedStart(const Reduced& red, int origCols, const std::vector<int>& start,
                              Budget& budget) {
  std::vector<int> toReduced(origCols, -1);
  for (int k = 0; k < red.model.numCols; ++k) toReduced[red.origCol[k]] = k;
  std::vector<int> seed;
  for (int j : start) {
    if (toReduced[j] >= 0) seed.push_back(toReduced[j]);
  }
  return greedyByCost(red.model, budget, seed);
}

}  // namespace

CoreResult solveModel(const CoverModel& model, const std::vector<int>& start, Budget& budget,
                      Progress& progress) {
  CostRule rule;
  rule.integral = model.integral;
  // The warm start completed in the whole model: never returned worse than this.
  std::vector<int> startCover;
  if (!start.empty()) startCover = greedyByCost(model, budget, start);
  const double startCost = start.empty() ? kInfCost : coverCost(model, startCover);
  if (!start.empty()) progress.cover(startCost);
  Reduced red = reduce(model, budget);
  progress.setOffset(red.fixedCost);
  const CoverModel& rm = red.model;
  Incumbent incumbent(rm, rule, progress);
  double lower = 0.0;  // proven bound on the reduced model
  bool optimal = false;

  if (rm.numRows == 0) {
    incumbent.offer({});
    optimal = true;
  } else {
    if (!start.empty()) incumbent.offer(reducedStart(red, model.numCols, startCover, budget));
    incumbent.offer(greedyByCost(rm, budget));
    std::vector<int> exact;
    if (!budget.expired() && solveIntervalRows(rm, exact)) {
      incumbent.offer(exact);
      optimal = true;
    }
  }
  if (!optimal && !budget.expired()) {
    std::vector<char> rowActive(rm.numRows, 1);
    std::vector<char> colFree(rm.numCols, 1);
    const Residual all{rowActive.data(), colFree.data()};
    std::vector<double> gamma(rm.numCols, 0.0);
    std::vector<double> u = rootMultipliers(rm, all, gamma, budget);
    SubgradientOptions options;
    options.iterations = 2000;
    options.heuristicEvery = 10;
    const SubgradientOutcome root =
        subgradient(rm, all, 0.0, {}, u, gamma, incumbent, options, budget);
    if (root.iterations > 0) lower = std::max(lower, rule.bound(root.best));
    progress.bound(lower);
    if (incumbent.prunes(root.best)) {
      optimal = true;
    } else if (!budget.expired()) {
      BranchAndBound search(rm, incumbent, budget, std::move(u));
      optimal = takeTurns(rm, incumbent, search, budget, lower);
      lower = std::max(lower, search.lowerBound());
    }
  }

  CoreResult out;
  for (int j : incumbent.cols()) out.cols.push_back(red.origCol[j]);
  out.cols.insert(out.cols.end(), red.fixedCols.begin(), red.fixedCols.end());
  out.cost = coverCost(model, out.cols);
  if (rule.better(startCost, out.cost)) {
    out.cols = std::move(startCover);
    out.cost = startCost;
  }
  if (!optimal && rule.prunes(lower + red.fixedCost, out.cost)) optimal = true;
  out.optimal = optimal;
  out.lowerBound = optimal ? out.cost : std::min(out.cost, lower + red.fixedCost);
  if (rule.integral && !optimal) out.lowerBound = std::ceil(out.lowerBound - 1e-9);
  out.lowerBound = std::max(0.0, out.lowerBound);  // no "-0" from rounding a zero bound
  return out;
}

}  // namespace nimbrel_tavik_util::setcover_detail
