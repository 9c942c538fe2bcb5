// The shared vocabulary of the portfolio behind solveWithin (internal, not installed): how
// costs compare, the progress reports in the caller's terms, the best cover found so far, and
// the cost of a cover and its redundancy removal. Every phase of src/setcover/within includes
// this and the floor, and nothing of the portfolio that drives it.
#pragma once

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "setcover/budget.hpp"
#include "setcover/cover_model.hpp"

namespace nimbrel_tavik_util::setcover_detail {

constexpr double kInfCost = std::numeric_limits<double>::infinity();

// How costs compare. Integer costs compare exactly (every cover's cost is an integer, so a
// relaxation value L proves "nothing below ceil(L)"); other costs with a relative tolerance of
// 1e-9, which also absorbs the rounding of the floating-point relaxations (their error is
// orders of magnitude smaller on any instance that fits in memory).
struct CostRule {
  bool integral = true;

  static CostRule forModel(const CoverModel& model) {
    CostRule rule;
    rule.integral = model.integral;
    return rule;
  }

  // Finite for every finite v, 0 for infinities (so that anything finite beats "no cover").
  static double tol(double v) { return std::isinf(v) ? 0.0 : 1e-9 * std::max(1.0, std::fabs(v)); }
  // How much cheaper than a cover of cost b another must be to improve on it.
  double margin(double b) const { return integral ? 0.5 : tol(b); }
  // A cover of cost a improves on one of cost b.
  bool better(double a, double b) const { return a < b - margin(b); }
  // A relaxation value lb shows that no cover improves on ub.
  bool prunes(double lb, double ub) const {
    return integral ? lb > ub - 1.0 + 1e-6 : lb >= ub - tol(ub);
  }
  // The lower bound that relaxation value lb proves.
  double bound(double lb) const { return integral ? std::ceil(lb - 1e-6) : lb - tol(lb); }
};

// Progress reports in the caller's terms: costs include what the reductions fixed. Reports are
// monotone: the best cost never rises, the bound never falls and never passes the best cost.
class Progress final : public Budget::Heartbeat {
 public:
  // Keeps a reference to `fn`, which must outlive the object (a temporary would not).
  Progress(const std::function<void(const SolveProgress&)>& fn, Budget& budget)
      : fn_(fn), budget_(budget) {}
  Progress(std::function<void(const SolveProgress&)>&&, Budget&) = delete;
  // The caller's stopping rules (SolveLimits::gap and targetCost), in the caller's terms: once
  // met, the budget is finished with their reason.
  void setRules(double gap, double target) {
    gap_ = gap;
    target_ = target;
  }
  void setOffset(double offset) { offset_ = offset; }
  // How costs compare: a cover is reported only when it improves on the best by the rule's
  // margin (until this is called, by any amount).
  void setCostRule(CostRule rule) {
    rule_ = rule;
    ruled_ = true;
  }
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
  CostRule rule_;
  bool ruled_ = false;
  double best_ = kInfCost;
  double lb_ = 0.0;
};

// The best cover of the model found so far. Every phase offers its covers here.
class Incumbent {
 public:
  Incumbent(const CoverModel& model, CostRule rule, Progress& progress)
      : model_(model), rule_(rule), progress_(progress) {}
  // Takes `cols` (any order, no repeats) when it is better than the incumbent. Returns whether
  // it was taken. Throws std::logic_error when a better `cols` does not cover every row (a
  // fault of the phase that offers it).
  bool offer(const std::vector<int>& cols);
  double cost() const { return cost_; }
  const std::vector<int>& cols() const { return cols_; }
  const CostRule& rule() const { return rule_; }
  // A relaxation value that would prune against the incumbent.
  bool prunes(double lb) const { return rule_.prunes(lb, cost_); }
  // A relaxation value of the whole model: reported as the bound it proves.
  void reportBound(double lb) { progress_.bound(rule_.bound(lb)); }

 private:
  const CoverModel& model_;
  CostRule rule_;
  Progress& progress_;
  double cost_ = kInfCost;
  std::vector<int> cols_;
};

// Sum of the costs of `cols`.
double coverCost(const CoverModel& model, const std::vector<int>& cols);

// Drops columns of `cols` whose rows all stay covered without them, the most expensive first
// (ties: the later index first), so that what remains is a cover without redundant columns.
// O(S of cols + |cols| log |cols|). The order of `cols` is not kept.
void removeRedundant(const CoverModel& model, std::vector<int>& cols);

}  // namespace nimbrel_tavik_util::setcover_detail
