// The portfolio behind solveWithin on the column/row model (internal, not installed): cost
// comparisons with their tolerance, the incumbent and its progress reports, the reductions,
// the greedy and redundancy removal by cost, and the driver that runs the phases in turn.
#pragma once

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "setcover/cover_model.hpp"

namespace nimbrel_tavik_util::setcover_detail {

constexpr double kInfCost = std::numeric_limits<double>::infinity();

// How costs compare. Integer costs compare exactly (every cover's cost is an integer, so a
// relaxation value L proves "nothing below ceil(L)"); other costs with a relative tolerance of
// 1e-9, which also absorbs the rounding of the floating-point relaxations (their error is
// orders of magnitude smaller on any instance that fits in memory).
struct CostRule {
  bool integral = true;

  // Finite for every finite v, 0 for infinities (so that anything finite beats "no cover").
  static double tol(double v) { return std::isinf(v) ? 0.0 : 1e-9 * std::max(1.0, std::fabs(v)); }
  // A cover of cost a improves on one of cost b.
  bool better(double a, double b) const { return integral ? a < b - 0.5 : a < b - tol(b); }
  // A relaxation value lb shows that no cover improves on ub.
  bool prunes(double lb, double ub) const {
    return integral ? lb > ub - 1.0 + 1e-6 : lb >= ub - tol(ub);
  }
  // The lower bound that relaxation value lb proves.
  double bound(double lb) const { return integral ? std::ceil(lb - 1e-6) : lb - tol(lb); }
};

// Progress reports in the caller's terms: costs include what the reductions fixed. Reports are
// monotone: the best cost never rises, the bound never falls.
class Progress final : public Budget::Heartbeat {
 public:
  Progress(const std::function<void(const SolveProgress&)>& fn, Budget& budget)
      : fn_(fn), budget_(budget) {}
  // The caller's stopping rules (SolveLimits::gap and targetCost), in the caller's terms: once
  // met, the budget is finished with their reason.
  void setRules(double gap, double target) {
    gap_ = gap;
    target_ = target;
  }
  void setOffset(double offset) { offset_ = offset; }
  double offset() const { return offset_; }
  // A better cover of the model (cost without the offset).
  void cover(double cost);
  // A proven bound on the model (without the offset).
  void bound(double lb);
  double bestTotal() const { return best_; }
  double boundTotal() const { return lb_; }
  void beat(double seconds) override { send(seconds); }

 private:
  void send(double seconds);
  void checkRules();

  const std::function<void(const SolveProgress&)>& fn_;
  Budget& budget_;
  double gap_ = 0.0;
  double target_ = -kInfCost;
  double offset_ = 0.0;
  double best_ = kInfCost;
  double lb_ = 0.0;
};

// The best cover of the model found so far. Every phase offers its covers here.
class Incumbent {
 public:
  Incumbent(const CoverModel& model, CostRule rule, Progress& progress)
      : model_(model), rule_(rule), progress_(progress) {}
  // Takes `cols` (any order, no repeats, must cover every row) when it is better than the
  // incumbent. Returns whether it was taken.
  bool offer(const std::vector<int>& cols);
  double cost() const { return cost_; }
  const std::vector<int>& cols() const { return cols_; }
  const CostRule& rule() const { return rule_; }
  // A relaxation value that would prune against the incumbent.
  bool prunes(double lb) const { return rule_.prunes(lb, cost_); }

 private:
  const CoverModel& model_;
  CostRule rule_;
  Progress& progress_;
  double cost_ = kInfCost;
  std::vector<int> cols_;
};

// Sum of the costs of `cols`.
double coverCost(const CoverModel& model, const std::vector<int>& cols);

// Whether `cols` covers every row of the model. O(S of cols + m).
bool coversAll(const CoverModel& model, const std::vector<int>& cols);

// Drops columns of `cols` whose rows all stay covered without them, the most expensive first
// (ties: the later index first), so that what remains is a cover without redundant columns.
// O(S of cols + |cols| log |cols|). The order of `cols` is not kept.
void removeRedundant(const CoverModel& model, std::vector<int>& cols);

// Chvatal's greedy (Chvatal 1979): the columns of `seed` first (repeats allowed), then
// repeatedly the column of least cost per newly covered row, ties to the smaller index, then
// removeRedundant. Polls the budget; when it runs out, each row still uncovered gets its
// cheapest column, so the answer is always a cover. O(S log n) with a lazily corrected heap.
std::vector<int> greedyByCost(const CoverModel& model, Budget& budget,
                              const std::vector<int>& seed = {});

// The result of the reductions: a smaller model whose optimal covers, with `fixedCols` added,
// are optimal covers of the original model.
struct Reduced {
  CoverModel model;
  std::vector<int> origCol;    // column of the reduced model -> column of the original
  std::vector<int> fixedCols;  // original columns in every cover returned
  double fixedCost = 0.0;
};

// Reductions, repeated while they change something and the work allowance lasts:
//  * columns of cost 0 are taken;
//  * a row with a single column forces it;
//  * a row whose columns include all columns of another row is dropped (covering the other
//    covers it);
//  * a column whose rows lie in another column's rows at no higher cost is dropped, and one
//    that costs more than the cheapest other columns of its rows together (Beasley 1987);
//  * columns left without rows are dropped.
// The work is capped by counted units (never by the clock, so that a run with a node limit is
// repeatable): about 40 S plus a constant. Polls the budget.
Reduced reduce(const CoverModel& model, Budget& budget);

// Exact optimum when every row's columns are consecutive indices (interval rows, such as
// trajectories in runs along a curve): a point cover of intervals by a dynamic programme over
// the columns in O(m + n + S). Returns false, leaving `cols` alone, for other models.
bool solveIntervalRows(const CoverModel& model, std::vector<int>& cols);

// Checks every field of `matrix` in one pass over its arrays and throws std::invalid_argument
// (std::length_error beyond INT_MAX - 1 entries), the message starting with `who` and naming
// the first fault. Returns the number of entries. O(elements + sets + entries).
std::int64_t checkMatrix(const CoverMatrix& matrix, const char* who);

// The whole portfolio on `model` (columns with at least one row, every row coverable).
struct CoreResult {
  std::vector<int> cols;  // a cover, columns of `model`
  double cost = 0.0;
  double lowerBound = 0.0;
  bool optimal = false;
};
// `start`: columns of a warm start (any order, repeats allowed; empty: none), completed to a
// cover; the result never costs more than that cover.
CoreResult solveModel(const CoverModel& model, const std::vector<int>& start, Budget& budget,
                      Progress& progress);

}  // namespace nimbrel_tavik_util::setcover_detail
