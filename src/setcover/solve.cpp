// Entry point of the set-cover solvers: the negative-id guard and the method dispatch.
#include <stdexcept>
#include <string>

#include "nimbrel_tavik_util/set_cover.hpp"

namespace nimbrel_tavik_util {

const char* solveStatusName(SolveStatus status) {
  switch (status) {
    case SolveStatus::Optimal:
      return "optimal";
    case SolveStatus::TimeLimit:
      return "time_limit";
    case SolveStatus::NodeLimit:
      return "node_limit";
    case SolveStatus::Stopped:
      return "stopped";
    case SolveStatus::GapReached:
      return "gap";
    case SolveStatus::TargetReached:
      return "target";
  }
  return "stopped";
}

template <typename T>
std::vector<int> SetCoverSolver<T>::solve(const std::map<int, std::set<T>>& instance,
                                          SolveMethod method, bool continuity) {
  if (instance.empty()) return {};
  // -1 is the solvers' "no set" mark; the map is ordered, so its first key is the smallest.
  const int firstId = instance.begin()->first;
  if (firstId < 0) {
    throw std::invalid_argument("SetCoverSolver::solve: negative set id " +
                                std::to_string(firstId) + " (ids must be >= 0)");
  }
  switch (static_cast<int>(method)) {
    case ILP:
      return _solveByILP(instance);
    case PROPAGATE:
      return _solveByPropagate(instance);
    default:
      return _solveByGreedy(instance, continuity);
  }
}

// Each source file instantiates the members it defines, for each element type.
template std::vector<int> SetCoverSolver<int>::solve(const std::map<int, std::set<int>>&,
                                                     SolveMethod, bool);
template std::vector<int> SetCoverSolver<unsigned long>::solve(
    const std::map<int, std::set<unsigned long>>&, SolveMethod, bool);
template std::vector<int> SetCoverSolver<std::string>::solve(
    const std::map<int, std::set<std::string>>&, SolveMethod, bool);

}  // namespace nimbrel_tavik_util
