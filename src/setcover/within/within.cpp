// solveWithin, the entry of the portfolio: checks the arguments, turns the instance into the
// column/row model, runs the portfolio on it and maps the chosen columns back to ids. The map
// form is numbered into the compact form (CoverMatrix) first, so both forms share one path
// from there on.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "setcover/budget.hpp"
#include "setcover/cover_matrix.hpp"
#include "setcover/cover_model.hpp"
#include "setcover/index_form.hpp"
#include "setcover/within/greedy_cost.hpp"
#include "setcover/within/incumbent.hpp"
#include "setcover/within/portfolio.hpp"
#include "setcover/within/within.hpp"
#include "setcover/within/workers.hpp"

namespace nimbrel_tavik_util {

namespace {

using setcover_detail::Budget;
using setcover_detail::checkMatrix;
using setcover_detail::kCostTotalText;
using setcover_detail::numberText;
using setcover_detail::PortfolioSettings;

[[noreturn]] void badCost(int id, const std::string& what) {
  throw std::invalid_argument("SetCoverSolver::solveWithin: " + what + " (set id " +
                              std::to_string(id) + ")");
}

// Both maps are ordered by id, so one merge finds the smallest offending id.
template <typename T>
void checkCosts(const std::map<int, std::set<T>>& instance, const std::map<int, double>& costs) {
  auto set = instance.begin();
  auto cost = costs.begin();
  double total = 0.0;
  while (set != instance.end() || cost != costs.end()) {
    if (cost == costs.end() || (set != instance.end() && set->first < cost->first)) {
      badCost(set->first, "no cost given for a set of the instance");
    }
    if (set == instance.end() || cost->first < set->first) {
      badCost(cost->first, "cost given for an id that is not a set of the instance");
    }
    const double c = cost->second;
    if (std::isnan(c)) badCost(cost->first, "cost is NaN");
    if (std::isinf(c)) badCost(cost->first, "cost " + numberText(c) + " is not finite");
    if (c < 0.0) badCost(cost->first, "cost " + numberText(c) + " is negative");
    total += c;
    if (std::isinf(total)) badCost(cost->first, kCostTotalText);
    ++set;
    ++cost;
  }
}

void checkLimits(const SolveLimits& limits, const char* who) {
  const auto bad = [who](const std::string& what) {
    throw std::invalid_argument(std::string(who) + ": " + what);
  };
  if (std::isnan(limits.seconds)) bad("the time limit is NaN");
  if (std::isnan(limits.gap) || limits.gap < 0.0) {
    bad("the gap " + numberText(limits.gap) + " is not a number >= 0");
  }
  if (std::isnan(limits.targetCost)) bad("the target cost is NaN");
  if (limits.threads < 0)
    bad("the thread count " + std::to_string(limits.threads) + " is negative");
}

SolveStatus statusOf(const SolveResult& result, const Budget& budget) {
  if (result.optimal) return SolveStatus::Optimal;
  switch (budget.reason()) {
    case Budget::Reason::deadline:
      return SolveStatus::TimeLimit;
    case Budget::Reason::stopFlag:
      return SolveStatus::Stopped;
    case Budget::Reason::gap:
      return SolveStatus::GapReached;
    case Budget::Reason::target:
      return SolveStatus::TargetReached;
    case Budget::Reason::none:
      break;
  }
  // The portfolio ends unproven only when a limit ends it; the node limit is the one left.
  return SolveStatus::NodeLimit;
}

// The answer when a limit ends the call before the model is built: every non-empty column,
// which covers everything, with no bound proven beyond 0.
void takeEveryColumn(const CoverMatrix& matrix, SolveResult& result) {
  result.ids.clear();
  result.cost = 0.0;
  for (int j = 0; j < matrix.sets; ++j) {
    if (matrix.setStart[j + 1] == matrix.setStart[j]) continue;
    result.ids.push_back(j);
    result.cost += matrix.costs != nullptr ? matrix.costs[j] : 1.0;
  }
  result.lowerBound = 0.0;
  result.optimal = result.ids.empty();
}

// The answer when a limit ends the call before the model is built: the greedy cover when the
// instance is small enough that it takes less than the stop latency allowed (it is built
// again, unpolled), else every non-empty column. No bound beyond 0.
void takeQuickCover(const CoverMatrix& matrix, SolveResult& result) {
  if (static_cast<std::size_t>(matrix.setStart[matrix.sets]) >
      setcover_detail::kGreedyFinishEntries) {
    takeEveryColumn(matrix, result);
    return;
  }
  Budget unlimited(std::numeric_limits<double>::infinity(), -1, nullptr);
  setcover_detail::CoverModel model;
  std::vector<int> colId;
  setcover_detail::buildModel(matrix, unlimited, model, colId);
  result.ids.clear();
  for (int k : setcover_detail::greedyByCost(model, unlimited)) result.ids.push_back(colId[k]);
  std::sort(result.ids.begin(), result.ids.end());
  result.cost = 0.0;
  for (int j : result.ids) result.cost += matrix.costs != nullptr ? matrix.costs[j] : 1.0;
  result.lowerBound = 0.0;
  result.optimal = result.ids.empty();
}

// The warm start made a cover without the model, in O(entries): its columns, then each column
// that holds a row still uncovered. Ascending, no repeats. Empty when there is no start.
std::vector<int> completeStart(const CoverMatrix& matrix, const std::vector<int>& start) {
  if (start.empty()) return {};
  std::vector<char> taken(static_cast<std::size_t>(matrix.sets), 0);
  std::vector<char> covered(static_cast<std::size_t>(matrix.elements), 0);
  for (int j : start) {
    taken[j] = 1;
    for (std::int64_t k = matrix.setStart[j]; k < matrix.setStart[j + 1]; ++k) {
      covered[matrix.elementIndex[k]] = 1;
    }
  }
  std::vector<int> cols;
  for (int j = 0; j < matrix.sets; ++j) {
    bool needed = taken[j] != 0;
    for (std::int64_t k = matrix.setStart[j]; k < matrix.setStart[j + 1] && !needed; ++k) {
      needed = covered[matrix.elementIndex[k]] == 0;
    }
    if (!needed || matrix.setStart[j + 1] == matrix.setStart[j]) continue;
    cols.push_back(j);
    for (std::int64_t k = matrix.setStart[j]; k < matrix.setStart[j + 1]; ++k) {
      covered[matrix.elementIndex[k]] = 1;
    }
  }
  return cols;
}

double columnsCost(const CoverMatrix& matrix, const std::vector<int>& cols) {
  double sum = 0.0;
  for (int j : cols) sum += matrix.costs != nullptr ? matrix.costs[j] : 1.0;
  return sum;
}

SolveResult solveModelOf(const CoverMatrix& matrix, const std::vector<int>& start, Budget& budget,
                         setcover_detail::Progress& progress, const PortfolioSettings& settings,
                         int threads) {
  SolveResult result;
  setcover_detail::CoverModel model;
  std::vector<int> colId;
  if (!setcover_detail::buildModel(matrix, budget, model, colId)) {
    takeQuickCover(matrix, result);
    return result;
  }
  result.optimal = true;
  if (model.numRows > 0) {
    std::vector<int> toModel(static_cast<std::size_t>(matrix.sets), -1);
    for (int k = 0; k < model.numCols; ++k) toModel[colId[k]] = k;
    std::vector<int> startCols;
    for (int j : start) {
      if (toModel[j] >= 0) startCols.push_back(toModel[j]);  // empty columns help nothing
    }
    std::vector<int>().swap(toModel);
    const setcover_detail::CoreResult core =
        setcover_detail::solveModel(model, startCols, budget, progress, settings, threads);
    for (int k : core.cols) result.ids.push_back(colId[k]);
    std::sort(result.ids.begin(), result.ids.end());
    result.cost = core.cost;
    result.lowerBound = core.lowerBound;
    result.optimal = core.optimal;
  }
  return result;
}

// The shared path: `matrix` checked, `start` column indices of it. Returns matrix columns, and
// never a cover costlier than the completed warm start, whichever limit ends the call.
SolveResult solveMatrix(const CoverMatrix& matrix, const std::vector<int>& start, Budget& budget,
                        setcover_detail::Progress& progress, const PortfolioSettings& settings,
                        int threads) {
  std::vector<int> startCols = completeStart(matrix, start);
  SolveResult result = solveModelOf(matrix, start, budget, progress, settings, threads);
  const double startCost = columnsCost(matrix, startCols);
  if (!start.empty() && startCost < result.cost) {
    result.ids = std::move(startCols);
    result.cost = startCost;
    result.lowerBound = std::min(result.lowerBound, startCost);
    result.optimal = result.optimal || result.lowerBound >= startCost;
  }
  return result;
}

void finishResult(SolveResult& result, const Budget& budget) {
  result.nodes = budget.nodes();
  result.seconds = budget.elapsedSeconds();
  result.status = statusOf(result, budget);
}

}  // namespace

namespace setcover_detail {

template <typename T>
SolveResult solveWithinSettings(const std::map<int, std::set<T>>& instance,
                                const std::map<int, double>* costs, const SolveLimits& limits,
                                const PortfolioSettings& settings) {
  checkLimits(limits, "SetCoverSolver::solveWithin");
  if (!instance.empty() && instance.begin()->first < 0) {
    throw std::invalid_argument("SetCoverSolver::solveWithin: negative set id " +
                                std::to_string(instance.begin()->first) + " (ids must be >= 0)");
  }
  if (costs != nullptr) checkCosts(instance, *costs);
  for (int id : limits.start) {
    if (instance.count(id) == 0) {
      throw std::invalid_argument("SetCoverSolver::solveWithin: warm-start id " +
                                  std::to_string(id) + " is not a set of the instance");
    }
  }

  Budget budget(limits.seconds, limits.nodes, limits.stop);
  setcover_detail::Progress progress(limits.onProgress, budget);
  progress.setRules(limits.gap, limits.targetCost);
  budget.setHeartbeat(&progress);
  budget.setBeatSeconds(settings.heartbeatSeconds);

  SolveResult result;
  setcover_detail::IndexForm form;
  bool numbered = setcover_detail::buildIndexForm(instance, form, [&budget](std::size_t n) {
    // Polls without counting work: counted work decides the turns, and it stays what it was.
    return n == setcover_detail::index_form_impl::kPollOnly ? budget.timeUp()
                                                            : budget.charge(n + 1);
  });
  std::size_t entries = 0;
  for (const auto& set : instance) entries += set.second.size();
  if (!numbered && (!limits.start.empty() || entries <= setcover_detail::kGreedyFinishEntries)) {
    // The warm start can be kept only once elements are numbered, and a small instance's
    // greedy cover takes less than the stop latency: finish that unpolled.
    form = setcover_detail::IndexForm{};
    numbered = setcover_detail::buildIndexForm(instance, form, [](std::size_t) { return false; });
  }
  // The entries of the index form are the matrix's columns; only the offsets need widening.
  std::vector<std::int64_t> setStart(form.start.begin(), form.start.end());
  std::vector<double> matrixCosts;
  if (costs != nullptr) {
    matrixCosts.reserve(costs->size());
    for (const auto& entry : *costs) matrixCosts.push_back(entry.second);  // same ids, order
  }
  CoverMatrix matrix;
  matrix.elements = form.numElems;
  matrix.sets = form.numSets();
  matrix.setStart = setStart.data();
  matrix.elementIndex = form.elems.data();
  matrix.costs = costs != nullptr ? matrixCosts.data() : nullptr;
  if (!numbered) {
    takeEveryColumn(matrix, result);
  } else {
    std::vector<int> start;
    for (int id : limits.start) {
      start.push_back(static_cast<int>(std::lower_bound(form.ids.begin(), form.ids.end(), id) -
                                       form.ids.begin()));
    }
    result = solveMatrix(matrix, start, budget, progress, settings,
                         setcover_detail::threadCount(limits.threads));
  }
  for (int& id : result.ids) id = form.ids[id];  // ascending indices give ascending ids
  finishResult(result, budget);
  return result;
}

SolveResult solveWithinSettings(const CoverMatrix& matrix, const SolveLimits& limits,
                                const PortfolioSettings& settings) {
  const char* const who = "solveWithin(CoverMatrix)";
  checkLimits(limits, who);
  checkMatrix(matrix, who);
  for (int j : limits.start) {
    if (j < 0 || j >= matrix.sets) {
      throw std::invalid_argument(std::string(who) + ": warm-start column " + std::to_string(j) +
                                  " is outside [0, " + std::to_string(matrix.sets) + ")");
    }
  }
  Budget budget(limits.seconds, limits.nodes, limits.stop);
  setcover_detail::Progress progress(limits.onProgress, budget);
  progress.setRules(limits.gap, limits.targetCost);
  budget.setHeartbeat(&progress);
  budget.setBeatSeconds(settings.heartbeatSeconds);
  SolveResult result = solveMatrix(matrix, limits.start, budget, progress, settings,
                                   setcover_detail::threadCount(limits.threads));
  finishResult(result, budget);
  return result;
}

template SolveResult solveWithinSettings(const std::map<int, std::set<int>>&,
                                         const std::map<int, double>*, const SolveLimits&,
                                         const PortfolioSettings&);

}  // namespace setcover_detail

int hardwareThreads() noexcept {
  const unsigned hw = std::thread::hardware_concurrency();
  return hw == 0 ? 1 : static_cast<int>(std::min(hw, 4096U));
}

int resolveThreads(int requested) {
  if (requested < 0) {
    throw std::invalid_argument("resolveThreads: the thread count " + std::to_string(requested) +
                                " is negative");
  }
  return requested == 0 ? hardwareThreads() : requested;
}

SolveResult solveWithin(const CoverMatrix& matrix, const SolveLimits& limits) {
  return setcover_detail::solveWithinSettings(matrix, limits, PortfolioSettings{});
}

template <typename T>
SolveResult SetCoverSolver<T>::solveWithin(const std::map<int, std::set<T>>& instance,
                                           const SolveLimits& limits) {
  return setcover_detail::solveWithinSettings(instance, nullptr, limits, PortfolioSettings{});
}

template <typename T>
SolveResult SetCoverSolver<T>::solveWithin(const std::map<int, std::set<T>>& instance,
                                           const std::map<int, double>& costs,
                                           const SolveLimits& limits) {
  return setcover_detail::solveWithinSettings(instance, &costs, limits, PortfolioSettings{});
}

#define NTU_WITHIN_INSTANTIATE(T)                                                        \
  template SolveResult SetCoverSolver<T>::solveWithin(const std::map<int, std::set<T>>&, \
                                                      const SolveLimits&);               \
  template SolveResult SetCoverSolver<T>::solveWithin(                                   \
      const std::map<int, std::set<T>>&, const std::map<int, double>&, const SolveLimits&);
NTU_WITHIN_INSTANTIATE(int)
NTU_WITHIN_INSTANTIATE(unsigned long)
NTU_WITHIN_INSTANTIATE(std::string)
#undef NTU_WITHIN_INSTANTIATE

}  // namespace nimbrel_tavik_util
