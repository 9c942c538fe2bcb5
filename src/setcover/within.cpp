// solveWithin: checks the arguments, numbers the instance into the column/row model, runs the
// portfolio on it and maps the chosen columns back to ids.
#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "setcover/cover_model.hpp"
#include "setcover/index_form.hpp"
#include "setcover/within_core.hpp"

namespace nimbrel_tavik_util {

namespace {

[[noreturn]] void badCost(int id, const std::string& what) {
  throw std::invalid_argument("SetCoverSolver::solveWithin: " + what + " (set id " +
                              std::to_string(id) + ")");
}

std::string costText(double c) {
  std::ostringstream out;
  out << c;
  return out.str();
}

// Both maps are ordered by id, so one merge finds the smallest offending id.
template <typename T>
void checkCosts(const std::map<int, std::set<T>>& instance, const std::map<int, double>& costs) {
  auto set = instance.begin();
  auto cost = costs.begin();
  while (set != instance.end() || cost != costs.end()) {
    if (cost == costs.end() || (set != instance.end() && set->first < cost->first)) {
      badCost(set->first, "no cost given for a set of the instance");
    }
    if (set == instance.end() || cost->first < set->first) {
      badCost(cost->first, "cost given for an id that is not a set of the instance");
    }
    const double c = cost->second;
    if (std::isnan(c)) badCost(cost->first, "cost is NaN");
    if (std::isinf(c)) badCost(cost->first, "cost " + costText(c) + " is not finite");
    if (c < 0.0) badCost(cost->first, "cost " + costText(c) + " is negative");
    ++set;
    ++cost;
  }
}

// The answer when a limit ends the call before the instance is even numbered (a time limit
// too short for its size): every non-empty set, which covers everything, with no bound proven
// beyond 0.
template <typename T>
void takeEverySet(const std::map<int, std::set<T>>& instance, const std::map<int, double>* costs,
                  SolveResult& result) {
  result.ids.clear();
  result.cost = 0.0;
  for (const auto& [id, elems] : instance) {
    if (elems.empty()) continue;
    result.ids.push_back(id);
    result.cost += costs != nullptr ? costs->at(id) : 1.0;
  }
  result.lowerBound = 0.0;
  result.optimal = result.ids.empty();
}

template <typename T>
SolveResult solveWithinImpl(const std::map<int, std::set<T>>& instance,
                            const std::map<int, double>* costs, const SolveLimits& limits) {
  using setcover_detail::Budget;
  if (std::isnan(limits.seconds)) {
    throw std::invalid_argument("SetCoverSolver::solveWithin: the time limit is NaN");
  }
  if (!instance.empty() && instance.begin()->first < 0) {
    throw std::invalid_argument("SetCoverSolver::solveWithin: negative set id " +
                                std::to_string(instance.begin()->first) + " (ids must be >= 0)");
  }
  if (costs != nullptr) checkCosts(instance, *costs);

  Budget budget(limits.seconds, limits.nodes, limits.stop);
  setcover_detail::Progress progress(limits.onProgress, budget);
  budget.setHeartbeat(&progress);

  SolveResult result;
  result.optimal = true;
  {
    // Columns are the non-empty sets, in id order; empty sets can never help.
    setcover_detail::IndexForm form;
    if (!setcover_detail::buildIndexForm(
            instance, form, [&budget](std::size_t n) { return budget.charge(n + 1); })) {
      takeEverySet(instance, costs, result);
      result.nodes = budget.nodes();
      result.seconds = budget.elapsedSeconds();
      return result;
    }
    std::vector<int> colId;
    std::vector<int> colStart{0};
    std::vector<int> colRows;
    std::vector<double> colCost;
    colRows.reserve(form.elems.size());
    auto cost = costs != nullptr ? costs->begin() : std::map<int, double>::const_iterator{};
    for (int k = 0; k < form.numSets(); ++k) {
      const double c = costs != nullptr ? (cost++)->second : 1.0;  // same ids, same order
      if (form.start[k] == form.start[k + 1]) continue;
      colId.push_back(form.ids[k]);
      colRows.insert(colRows.end(), form.elems.begin() + form.start[k],
                     form.elems.begin() + form.start[k + 1]);
      colStart.push_back(static_cast<int>(colRows.size()));
      colCost.push_back(c);
    }
    budget.charge(form.elems.size());
    if (form.numElems > 0) {
      const setcover_detail::CoverModel model = setcover_detail::makeCoverModel(
          form.numElems, std::move(colStart), std::move(colRows), std::move(colCost));
      const setcover_detail::CoreResult core = setcover_detail::solveModel(model, budget, progress);
      for (int j : core.cols) result.ids.push_back(colId[j]);
      std::sort(result.ids.begin(), result.ids.end());
      result.cost = core.cost;
      result.lowerBound = core.lowerBound;
      result.optimal = core.optimal;
    }
  }
  result.nodes = budget.nodes();
  result.seconds = budget.elapsedSeconds();
  return result;
}

}  // namespace

template <typename T>
SolveResult SetCoverSolver<T>::solveWithin(const std::map<int, std::set<T>>& instance,
                                           const SolveLimits& limits) {
  return solveWithinImpl(instance, nullptr, limits);
}

template <typename T>
SolveResult SetCoverSolver<T>::solveWithin(const std::map<int, std::set<T>>& instance,
                                           const std::map<int, double>& costs,
                                           const SolveLimits& limits) {
  return solveWithinImpl(instance, &costs, limits);
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
