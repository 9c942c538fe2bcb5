#include "setcover/within/incumbent.hpp"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace nimbrel_tavik_util::setcover_detail {

void Progress::cover(double cost) {
  const double total = cost + offset_;
  // Covers cheaper by no more than the cost tolerance are not news: the same cover summed in
  // another order (the fixed part added last, a worker's cover) differs in the last bits near
  // 1e300, and taking it could put the best cost under the bound already reported, which must
  // not fall.
  if (!(total < best_ - (ruled_ ? rule_.margin(best_) : 0.0))) return;
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

bool Incumbent::offer(const std::vector<int>& cols) {
  const double cost = coverCost(model_, cols);
  if (!rule_.better(cost, cost_)) return false;
  // Checked in every build: it runs only on improvements, and a phase's fault must not turn
  // into a wrong answer.
  if (!coversAll(model_, cols)) {
    throw std::logic_error("solveWithin: internal fault: a phase offered a non-cover");
  }
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

}  // namespace nimbrel_tavik_util::setcover_detail
