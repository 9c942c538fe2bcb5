// A row-weighting local search for (weighted) set cover on a CoverModel (internal, not
// installed): the heuristic half of solving within limits, run in short slices between the
// slices of an exact search.
//
// The search follows RWLS, the row weighting local search of C. Gao, X. Yao, T. Weise and
// J. Li, "An efficient local search heuristic with row weighting for the unicost set covering
// problem", European Journal of Operational Research 246(3) (2015) 750-761. It keeps a
// selection cheaper than the best cover known and, in each move, takes out the selected column
// that loses the least row weight and puts in the best column for a random uncovered row; every
// row still uncovered after the move gains one unit of weight, so that rows the search keeps
// failing to cover pull harder. Two rules stop it from cycling: the two columns added last may
// not be taken out, and a column taken out may come back only after one of its rows has gone
// between covered and uncovered (the configuration checking on rows of Y. Wang, D. Ouyang,
// L. Zhang and M. Yin, "A novel local search for unicost set covering problem using hyperedge
// configuration checking and weight diversity", Science China Information Sciences 60 (2017)
// 062103). Ties go to the column that moved longest ago.
//
// With costs, columns are ranked by weight per unit of cost, as the weighted vertex cover
// searches grown out of the same scheme do, and a move puts in columns for uncovered rows for
// as long as the selection stays cheaper than the best cover, so the selection's cost rather
// than its size is held below the best cover's. With unit costs this is exactly one column out
// and one in. Columns of cost 0 are taken once and kept; a column whose cost alone reaches the
// best cover's is never taken.
#pragma once

#include <cstdint>
#include <vector>

#include "setcover/budget.hpp"
#include "setcover/cover_model.hpp"
#include "setcover/within/incumbent.hpp"

namespace nimbrel_tavik_util::setcover_detail {

class LocalSearch {
 public:
  // Keeps a reference to `model`, which must outlive the search. Costs compare by `rule`, the
  // portfolio's. `seed` fixes every random choice: the same calls in the same order give the
  // same covers. Memory O(m + n) besides the model.
  LocalSearch(const CoverModel& model, CostRule rule, std::uint64_t seed);

  // Offers a cover found elsewhere (column indices, any order, duplicates allowed). When it
  // costs less than the best cover held (see improves()), it becomes the best cover and the
  // search continues from it (without its forbidden columns), keeping its row weights; returns
  // whether it was adopted. Throws std::invalid_argument, naming the column or row, when a
  // column is out of range or a row is left uncovered. O(m + size of the cover's columns),
  // plus O(S) when adopted after the search has started.
  bool offer(const std::vector<int>& cover);

  // Declares that no cover cheaper than the best one known uses `column` (reduced-cost
  // fixing): the search drops it from its selection and never takes it again. The best cover
  // held is kept as it is. Throws std::invalid_argument when `column` is out of range.
  void forbid(int column);

  // Makes at most `steps` moves and returns early when `budget` expires (polled through
  // charge(), so within Budget::kPollWork units of work) or when the best cover costs at most
  // `target`, a proven lower bound (rounded up first when every cost is an integer). The first
  // call starts from the best offered cover, or else builds one by the greedy rule (cost per
  // newly covered row); that is not counted as a move. Returns true when the best cover
  // improved during the call. Returns false at once when no cheaper cover can exist: a row
  // whose columns are all forbidden or cost at least as much as the best cover. An exception
  // from the budget (its heartbeat) leaves between two moves, with the search consistent.
  bool run(long long steps, Budget& budget, double target);

  // The best cover known, as column indices ascending; empty when none is known yet.
  const std::vector<int>& best() const { return best_; }
  // Its cost, summed in ascending column order (exact when every cost is an integer);
  // +infinity when no cover is known.
  double bestCost() const { return bestCost_; }
  bool hasCover() const { return haveBest_; }
  // Moves made since construction.
  long long steps() const { return steps_; }

  // True when `cost` improves on the best cover by the cost rule. Always true while no cover
  // is known.
  bool improves(double cost) const { return rule_.better(cost, bestCost_); }

  // Recomputes every incremental field from scratch and compares (for tests); O(n + S).
  bool consistent() const;

 private:
  // Row weights rise by one per move while a row is uncovered. Rather than touching every
  // column of every uncovered row in every move, an uncovered row keeps the weight it had when
  // it lost its cover and the clock of that moment, and a column out of the selection keeps
  // the sum of (weight - clock) over its uncovered rows and their number: its score is that
  // sum plus the clock times that number. Raising the weights is then one increment of the
  // clock; on the dense files (scpnrf: 1000 columns a row) it was most of a move's work.
  struct Column {
    std::int64_t score = 0;  // in: minus the weight of the rows that only it covers; out: the
                             // sum of (weight - clock) over its uncovered rows (see scoreOf)
    std::int64_t stamp = 0;  // number of the last move (flip) that put it in or took it out
    double cost = 0.0;
    int uncovered = 0;  // out: its uncovered rows
    int heapPos = -1;   // index in heap_, -1 when not there
    bool in = false;    // in the selection
    bool fresh = true;  // a row of it went between covered and uncovered since it left
    bool forbidden = false;
  };
  struct Row {
    std::int64_t weight = 1;  // covered: its weight; uncovered: its weight at clock `since`
    std::int64_t since = 0;   // uncovered: the clock when it lost its cover
    int count = 0;            // selected columns covering the row
    int xorCols = 0;          // xor of those columns: the only one when count is 1
    int uncoveredPos = -1;    // index in uncovered_, -1 when covered
    int allowed = 0;          // columns of the row not forbidden
  };

  std::int64_t scoreOf(int j) const {
    const Column& c = cols_[j];
    return c.in ? c.score : c.score + clock_ * c.uncovered;
  }
  std::int64_t weightOf(int i) const {
    const Row& r = rows_[i];
    return r.uncoveredPos >= 0 ? r.weight + (clock_ - r.since) : r.weight;
  }
  bool removeBetter(int a, int b) const;
  bool mayAdd(int j) const;
  void heapUp(int pos);
  void heapDown(int pos);
  void heapPush(int j);
  void heapErase(int j);
  void heapFix(int j);
  int removalCandidate() const;

  void addColumn(int j);
  void removeColumn(int j);
  void start();
  void greedyFill();
  void resetTo(const std::vector<int>& cover);
  void recordBest();
  int pickAdd(int row, double room, bool& any) const;
  void raiseWeights();
  void step();
  bool targetReached(double target) const;
  // Below this, a column's cost leaves room for a cheaper cover than the best (+inf: none yet).
  double costLimit() const;
  std::uint64_t nextRandom();

  const CoverModel& model_;
  CostRule rule_;
  std::uint64_t rng_;
  std::vector<Column> cols_;
  std::vector<Row> rows_;
  std::vector<int> uncovered_;  // rows with count 0
  std::vector<int> heap_;       // selected columns of positive cost, best to take out on top
  int deadRows_ = 0;            // rows whose every column is forbidden
  double minCost_ = 0.0;        // below the smallest positive cost: less room fits nothing
  double cost_ = 0.0;           // cost of the selection, kept incrementally
  int tabu_[2] = {-1, -1};      // the two columns added last
  std::int64_t flips_ = 0;      // columns put in or taken out so far
  std::int64_t clock_ = 0;      // moves that raised the weights of the uncovered rows
  long long steps_ = 0;
  std::uint64_t work_ = 0;  // nonzeros touched since the budget was last charged
  bool started_ = false;
  bool stuck_ = false;  // some row has no allowed column cheaper than the best cover

  std::vector<int> best_;
  double bestCost_;
  bool haveBest_ = false;
};

}  // namespace nimbrel_tavik_util::setcover_detail
