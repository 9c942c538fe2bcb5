// The core heuristic: pricing, subgradient steps on the core, greedy covers, column fixing and
// the refinement (core_heuristic.hpp).
#include "setcover/within/core_heuristic.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "setcover/within/greedy_cost.hpp"
#include "setcover/within/lagrangian.hpp"

namespace nimbrel_tavik_util::setcover_detail {

namespace {

// The pricing interval (in steps) after a pricing that found the core's L(u) `gap` above the
// whole model's, relative to the incumbent: the closer the core, the rarer the pricing.
int nextPricing(int every, double gap) {
  if (gap <= 1e-6) return std::min(10 * every, 1000);
  if (gap <= 0.02) return std::min(5 * every, 1000);
  if (gap <= 0.2) return std::min(2 * every, 1000);
  return 10;
}

}  // namespace

CoreHeuristic::CoreHeuristic(const CoverModel& model, Incumbent& incumbent, Budget& budget,
                             const CoreOptions& options, std::uint64_t seed)
    : Technique(incumbent, budget),
      model_(model),
      options_(options),
      rng_(seed | 1),
      rowLeft_(static_cast<std::size_t>(model.numRows), 1),
      rowsLeft_(model.numRows),
      isFixed_(static_cast<std::size_t>(model.numCols), 0),
      step_(static_cast<std::size_t>(model.numRows), 0.0),
      dir_(static_cast<std::size_t>(model.numRows), 0.0),
      scratch_(static_cast<std::size_t>(model.numCols), 0.0),
      refineShare_(options.refineStart) {
  std::vector<char> freeCols(static_cast<std::size_t>(model.numCols), 1);
  initialMultipliers(model, Residual{rowLeft_.data(), freeCols.data()}, u_);
  rootU_ = u_;
}

void CoreHeuristic::startFrom(const std::vector<double>& u) {
  if (u.size() != u_.size() || stage_ != Stage::start || !fixed_.empty()) return;
  u_ = u;
  rootU_ = u;
}

TurnOutcome CoreHeuristic::play(double work, double target) {
  TurnOutcome out;
  const double held = incumbent_.cost();
  const std::uint64_t stopAt = budget_.work() + static_cast<std::uint64_t>(std::max(1.0, work));
  while (budget_.work() < stopAt && !budget_.expired() && !incumbent_.prunes(target)) step();
  out.found = incumbent_.rule().better(incumbent_.cost(), held);
  out.proved = incumbent_.prunes(std::max(target, bound_));
  return out;
}

void CoreHeuristic::step() {
  switch (stage_) {
    case Stage::start:
      startPass();
      return;
    case Stage::ascent: {
      const double value = coreValue() + fixedCost_;
      if (value > bestValue_) {
        bestValue_ = value;
        bestU_ = u_;
      }
      if (incumbent_.prunes(bestValue_) && !fixed_.empty()) {
        refine();  // what is fixed cannot lead to a cheaper cover
        return;
      }
      subgradientStep(value);
      if (stage_ != Stage::ascent) return;
      ++steps_;
      if (++sincePricing_ >= pricingEvery_) price();
      bool done = steps_ >= (fixed_.empty() ? options_.maxSteps : options_.passSteps);
      if (steps_ % std::max(1, options_.checkEvery) == 0) {
        done = done || bestValue_ - checkValue_ < options_.minGain * std::fabs(bestValue_);
        checkValue_ = bestValue_;
      }
      if (done) {
        stage_ = Stage::heuristic;
        steps_ = 0;
        u_ = bestU_;
        lambda_ = 0.1;
        price();
      }
      return;
    }
    case Stage::heuristic: {
      const double value = coreValue() + fixedCost_;
      if (value > bestValue_) {
        bestValue_ = value;
        bestU_ = u_;
      }
      greedy(true);
      subgradientStep(value);
      if (stage_ != Stage::heuristic) return;
      if (++sincePricing_ >= pricingEvery_) price();
      if (++steps_ >= (fixed_.empty() ? options_.heuristicSteps : options_.passHeuristicSteps)) {
        endPass();
      }
      return;
    }
  }
}

void CoreHeuristic::startPass() {
  if (rowsLeft_ == 0) {  // the fixed columns cover everything
    offer(fixed_);
    refine();
    return;
  }
  steps_ = 0;
  sincePricing_ = 0;
  pricingEvery_ = 10;
  lambda_ = 0.1;
  bestValue_ = -kInfCost;
  checkValue_ = -kInfCost;
  windowMax_ = -kInfCost;
  windowMin_ = kInfCost;
  for (int i = 0; i < model_.numRows; ++i) {
    if (!rowLeft_[i]) u_[i] = 0.0;
  }
  std::fill(dir_.begin(), dir_.end(), 0.0);
  bestU_ = u_;
  price();
  stage_ = Stage::ascent;
}

void CoreHeuristic::fixRows(const std::vector<int>& cols) {
  for (int j : cols) {
    if (isFixed_[j]) continue;
    isFixed_[j] = 1;
    fixed_.push_back(j);
    fixedCost_ += model_.cost[j];
    for (const int* r = model_.colBegin(j); r != model_.colEnd(j); ++r) {
      if (rowLeft_[*r]) {
        rowLeft_[*r] = 0;
        --rowsLeft_;
      }
    }
    budget_.charge(static_cast<std::uint64_t>(model_.colSize(j)) + 1);
  }
}

void CoreHeuristic::price() {
  const int m = model_.numRows;
  const int n = model_.numCols;
  sincePricing_ = 0;
  // The old core's L(u) against the whole model's at the same u: how stale the core had grown,
  // which sets when to price next.
  const double stale = core_.empty() ? kInfCost : coreValue() + fixedCost_;
  double whole = fixedCost_;
  for (int i = 0; i < m; ++i) {
    if (rowLeft_[i]) whole += u_[i];
  }
  // Reduced costs over the rows left; a column that covers none of them has no use here.
  std::vector<std::pair<double, int>> cheap;
  for (int j = 0; j < n; ++j) {
    double g = model_.cost[j];
    bool useful = false;
    for (const int* r = model_.colBegin(j); r != model_.colEnd(j); ++r) {
      if (!rowLeft_[*r]) continue;
      g -= u_[*r];
      useful = true;
    }
    useful = useful && !isFixed_[j];
    scratch_[j] = useful ? g : kInfCost;
    if (useful && g < 0.0) whole += g;
    if (useful && g < options_.gammaLimit) cheap.emplace_back(g, j);
  }
  budget_.charge(model_.colRows.size() + static_cast<std::uint64_t>(n + m));
  if (fixed_.empty() && whole > bound_) {  // L(u) of the whole model: a proven bound
    bound_ = whole;
    incumbent_.reportBound(whole);
  }
  // The core: the least columns overall, and each row's least.
  std::vector<char> in(static_cast<std::size_t>(n), 0);
  const std::size_t global =
      static_cast<std::size_t>(std::max(1.0, options_.globalColumns * rowsLeft_));
  if (cheap.size() > global) {
    std::nth_element(cheap.begin(), cheap.begin() + static_cast<std::ptrdiff_t>(global),
                     cheap.end());
    cheap.resize(global);
  }
  for (const auto& entry : cheap) in[entry.second] = 1;
  std::vector<std::pair<double, int>> row;
  const std::size_t per = static_cast<std::size_t>(std::max(1, options_.rowColumns));
  for (int i = 0; i < m; ++i) {
    if (!rowLeft_[i]) continue;
    row.clear();
    for (const int* c = model_.rowBegin(i); c != model_.rowEnd(i); ++c) {
      if (!isFixed_[*c]) row.emplace_back(scratch_[*c], *c);
    }
    if (row.size() > per) {
      std::nth_element(row.begin(), row.begin() + static_cast<std::ptrdiff_t>(per), row.end());
      row.resize(per);
    }
    for (const auto& entry : row) in[entry.second] = 1;
  }
  budget_.charge(model_.rowCols.size());
  core_.clear();
  for (int j = 0; j < n; ++j) {
    if (in[j]) core_.push_back(j);
  }
  // Rows left -> core columns.
  coreStart_.assign(static_cast<std::size_t>(m) + 1, 0);
  for (int j : core_) {
    for (const int* r = model_.colBegin(j); r != model_.colEnd(j); ++r) {
      if (rowLeft_[*r]) ++coreStart_[*r + 1];
    }
  }
  for (int i = 0; i < m; ++i) coreStart_[i + 1] += coreStart_[i];
  coreCols_.assign(static_cast<std::size_t>(coreStart_[m]), 0);
  std::vector<int> fill(coreStart_.begin(), coreStart_.end() - 1);
  for (int k = 0; k < static_cast<int>(core_.size()); ++k) {
    const int j = core_[k];
    for (const int* r = model_.colBegin(j); r != model_.colEnd(j); ++r) {
      if (rowLeft_[*r]) coreCols_[fill[*r]++] = k;
    }
  }
  gamma_.assign(core_.size(), 0.0);
  budget_.charge(2 * coreCols_.size() + core_.size() + 1);
  const double scale = std::max(1.0, std::fabs(incumbent_.cost()));
  pricingEvery_ = nextPricing(pricingEvery_, (stale - whole) / scale);
}

double CoreHeuristic::coreValue() {
  double value = 0.0;
  for (int i = 0; i < model_.numRows; ++i) {
    if (rowLeft_[i]) value += u_[i];
  }
  std::uint64_t touched = static_cast<std::uint64_t>(model_.numRows);
  for (std::size_t k = 0; k < core_.size(); ++k) {
    const int j = core_[k];
    double g = model_.cost[j];
    for (const int* r = model_.colBegin(j); r != model_.colEnd(j); ++r) {
      if (rowLeft_[*r]) g -= u_[*r];
    }
    gamma_[k] = g;
    if (g < 0.0) value += g;
    touched += static_cast<std::uint64_t>(model_.colSize(j)) + 1;
  }
  budget_.charge(touched);
  return value;
}

void CoreHeuristic::subgradientStep(double value) {
  const int m = model_.numRows;
  for (int i = 0; i < m; ++i) step_[i] = rowLeft_[i] ? 1.0 : 0.0;
  std::uint64_t touched = static_cast<std::uint64_t>(m);
  for (std::size_t k = 0; k < core_.size(); ++k) {
    if (gamma_[k] >= 0.0) continue;
    const int j = core_[k];
    for (const int* r = model_.colBegin(j); r != model_.colEnd(j); ++r) step_[*r] -= 1.0;
    touched += static_cast<std::uint64_t>(model_.colSize(j));
  }
  double norm = 0.0;
  for (int i = 0; i < m; ++i) {
    if (!rowLeft_[i]) continue;
    if (u_[i] <= 0.0 && step_[i] < 0.0) step_[i] = 0.0;  // u_i stays at 0 anyway
    norm += step_[i] * step_[i];
  }
  budget_.charge(touched);
  if (norm > 0.0 && options_.deflection > 0.0) {
    // Along the subgradient plus a share of the previous direction (as the root's steps):
    // damps the zigzag of plain steps.
    double deflected = 0.0;
    for (int i = 0; i < m; ++i) {
      if (!rowLeft_[i]) continue;
      dir_[i] = step_[i] + options_.deflection * dir_[i];
      if (u_[i] <= 0.0 && dir_[i] < 0.0) dir_[i] = 0.0;
      deflected += dir_[i] * dir_[i];
    }
    if (deflected > 0.0) {
      step_ = dir_;
      norm = deflected;
    }
  }
  if (norm == 0.0) {
    // The columns of negative reduced cost cover every row left: with the fixed ones, a cover
    // whose cost is the core's L(u). No step leads anywhere from here.
    std::vector<int> cover = fixed_;
    for (std::size_t k = 0; k < core_.size(); ++k) {
      if (gamma_[k] < 0.0) cover.push_back(core_[k]);
    }
    offer(std::move(cover));
    if (stage_ == Stage::ascent) {
      stage_ = Stage::heuristic;
      steps_ = 0;
      u_ = bestU_;
      price();
    } else {
      endPass();
    }
    return;
  }
  const double ub = incumbent_.cost();
  const double room = std::max(ub - value, 1e-3 * std::max(1.0, std::fabs(ub)));
  const double t = lambda_ * room / norm;
  for (int i = 0; i < m; ++i) {
    if (rowLeft_[i] && step_[i] != 0.0) u_[i] = std::max(0.0, u_[i] + t * step_[i]);
  }
  // The step factor by the swing of L(u) over 20 steps: halved above swingHigh, raised by half
  // below 0.1 %.
  windowMax_ = std::max(windowMax_, value);
  windowMin_ = std::min(windowMin_, value);
  if ((steps_ + 1) % 20 == 0) {
    const double swing = (windowMax_ - windowMin_) / std::max(1e-9, std::fabs(windowMax_));
    if (swing > options_.swingHigh) {
      lambda_ /= 2.0;
    } else if (swing < 0.001) {
      lambda_ *= 1.5;
    }
    windowMax_ = -kInfCost;
    windowMin_ = kInfCost;
  }
}

std::vector<int> CoreHeuristic::greedy(bool give) {
  const int m = model_.numRows;
  const int size = static_cast<int>(core_.size());
  std::vector<char> covered(rowLeft_.size());
  int open = 0;
  for (int i = 0; i < m; ++i) {
    covered[i] = rowLeft_[i] ? 0 : 1;
    open += rowLeft_[i] ? 1 : 0;
  }
  // Reduced costs and counts over the rows still uncovered: both only rise and fall as rows
  // get covered, so the score only rises and the lazy loop applies.
  std::vector<double> g(gamma_);
  std::vector<int> mu(static_cast<std::size_t>(size), 0);
  std::vector<std::pair<double, int>> initial;
  const auto score = [&g, &mu](int k) { return g[k] > 0.0 ? g[k] / mu[k] : g[k] * mu[k]; };
  std::uint64_t touched = static_cast<std::uint64_t>(m);
  for (int k = 0; k < size; ++k) {
    const int j = core_[k];
    for (const int* r = model_.colBegin(j); r != model_.colEnd(j); ++r)
      mu[k] += covered[*r] ? 0 : 1;
    touched += static_cast<std::uint64_t>(model_.colSize(j));
    if (mu[k] > 0) initial.emplace_back(score(k), k);
  }
  std::vector<int> order;
  lazyGreedy(
      std::move(initial), [&open] { return open == 0; }, [&mu](int k) { return mu[k] > 0; }, score,
      [&](int k) {
        const int j = core_[k];
        order.push_back(j);
        for (const int* r = model_.colBegin(j); r != model_.colEnd(j); ++r) {
          if (covered[*r]) continue;
          covered[*r] = 1;
          --open;
          for (int p = coreStart_[*r]; p < coreStart_[*r + 1]; ++p) {
            --mu[coreCols_[p]];
            g[coreCols_[p]] += u_[*r];
          }
          touched += static_cast<std::uint64_t>(coreStart_[*r + 1] - coreStart_[*r]) + 1;
        }
      });
  budget_.charge(touched + 2 * order.size());
  if (open > 0) return {};  // cannot happen: every row left has its core columns
  if (give) {
    std::vector<int> cover = fixed_;
    cover.insert(cover.end(), order.begin(), order.end());
    offer(std::move(cover));
  }
  return order;
}

void CoreHeuristic::offer(std::vector<int> cover) {
  removeRedundant(model_, cover);
  ++covers_;
  budget_.charge(cover.size() + 1);
  incumbent_.offer(cover);
  lastCover_ = std::move(cover);
}

void CoreHeuristic::endPass() {
  ++passes_;
  if (!fixed_.empty() && incumbent_.prunes(bestValue_)) {
    refine();
    return;
  }
  u_ = bestU_;
  coreValue();
  const std::vector<int> order = greedy(true);
  if (fixed_.empty()) rootU_ = bestU_;
  if (order.empty()) {  // nothing to fix from: start the refinement over
    refine();
    return;
  }
  const std::size_t count = static_cast<std::size_t>(
      std::max(1.0, std::floor(static_cast<double>(rowsLeft_) / options_.fixDivisor)));
  fixRows(std::vector<int>(
      order.begin(), order.begin() + static_cast<std::ptrdiff_t>(std::min(count, order.size()))));
  stage_ = Stage::start;
}

void CoreHeuristic::refine() {
  const int m = model_.numRows;
  std::fill(rowLeft_.begin(), rowLeft_.end(), 1);
  rowsLeft_ = m;
  for (int j : fixed_) isFixed_[j] = 0;
  fixed_.clear();
  fixedCost_ = 0.0;
  u_ = rootU_;
  stage_ = Stage::start;
  if (refineShare_ >= 1.0) {
    // A whole refinement done: start over from nothing fixed, with the multipliers shaken when
    // it found nothing better, so the passes do not repeat.
    refineShare_ = options_.refineStart;
    if (!incumbent_.rule().better(incumbent_.cost(), passStartCost_)) {
      for (double& v : u_) {
        rng_ ^= rng_ << 13;
        rng_ ^= rng_ >> 7;
        rng_ ^= rng_ << 17;
        v *= 0.9 + 0.2 * static_cast<double>(rng_ >> 11) / 9007199254740992.0;
      }
    }
    passStartCost_ = incumbent_.cost();
    return;
  }
  // The columns of the best cover by how cheap they are at the multipliers and how little they
  // overlap (a row covered k times charges each of its columns u_i (k - 1) / k).
  const std::vector<int>& best = incumbent_.cols();
  std::vector<int> times(static_cast<std::size_t>(m), 0);
  for (int j : best) {
    for (const int* r = model_.colBegin(j); r != model_.colEnd(j); ++r) ++times[*r];
  }
  std::vector<std::pair<double, int>> delta;
  for (int j : best) {
    double g = model_.cost[j];
    double overlap = 0.0;
    for (const int* r = model_.colBegin(j); r != model_.colEnd(j); ++r) {
      g -= rootU_[*r];
      overlap += rootU_[*r] * (times[*r] - 1) / times[*r];
    }
    delta.emplace_back(std::max(g, 0.0) + overlap, j);
    budget_.charge(2 * static_cast<std::uint64_t>(model_.colSize(j)) + 1);
  }
  std::sort(delta.begin(), delta.end());
  const double want = refineShare_ * m;
  for (const auto& entry : delta) {
    if (m - rowsLeft_ >= want) break;
    fixRows({entry.second});
  }
  refineShare_ *= options_.refineGrowth;
}

}  // namespace nimbrel_tavik_util::setcover_detail
