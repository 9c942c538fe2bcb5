// Unicost set cover.
//
// Let U be the union of the sets S_i of an instance {id_i -> S_i}. A cover is a list of ids
// whose sets together hold every element of U; a minimum cover has as few ids as possible.
//
//  * GREEDY    - Chvatal's greedy heuristic (largest number of still uncovered elements first),
//                with an optional tie-break towards the id nearest the previous choice.
//                Not exact.
//  * ILP       - the 0/1 program  min sum x_j  s.t.  sum_{j : e in S_j} x_j >= 1  for all e,
//                solved by GLPK's branch-and-cut. Exact.
//  * PROPAGATE - forced selections plus depth-first branch-and-bound, started from the greedy
//                cover. Exact; worst case exponential.
//
// Instances are std::map<int, std::set<T>> (id -> elements, ids >= 0, sets may be empty);
// results are std::vector<int> of ids, strictly ascending.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "nimbrel_tavik_util/export.hpp"

namespace nimbrel_tavik_util {

/// Solver selection for SetCoverSolver<T>::solve. Any value other than 1 and 2 means GREEDY.
enum SolveMethod : int { GREEDY = 0, ILP = 1, PROPAGATE = 2 };

/// Set-cover solvers for element type T (provided for int, unsigned long and std::string).
/// Static member functions only; no state survives a call.
template <typename T>
class SetCoverSolver {
 public:
  /// Working state of one element (indexed 0..m-1 in ascending element order).
  struct ElemRec {
    bool covered;                ///< true while some selected set holds the element
    std::vector<int> setIdx;     ///< indices of the sets holding it, ascending
  };
  /// Working state of one candidate set (indexed 0..n-1 in ascending id order).
  struct SetRec {
    bool selected;               ///< true while the set is in the partial cover
    std::vector<int> elemIdx;    ///< indices of its elements, ascending
  };
  /// Working state of one exact solve.
  struct PropCtx {
    std::vector<ElemRec> elems;  ///< one record per element index
    std::vector<SetRec> sets;    ///< one record per set index (empty sets included)
    std::vector<int> order;      ///< element indices by ascending degree (stable)
    int uncovered;               ///< number of elements not covered
    int numSelected;             ///< number of selected sets
    std::vector<int> selection;  ///< selected set indices, in order of selection
  };
  /// What one _doSelect changed, so that _undoSelect can take it back exactly.
  struct UndoRec {
    int setIdx;                     ///< the set that was selected
    std::vector<int> newlyCovered;  ///< elements that this selection turned to covered
  };

  /// Solves `instance` with `method` and returns the chosen ids in ascending order.
  ///
  /// An empty instance gives an empty result for every method. `continuity` only affects
  /// GREEDY. Throws std::invalid_argument (naming the id) when the instance has a negative id.
  static std::vector<int> solve(const std::map<int, std::set<T>>& instance, SolveMethod method,
                                bool continuity = false);

  static std::vector<int> _solveByGreedy(const std::map<int, std::set<T>>& instance,
                                         bool continuity);
  static std::vector<int> _solveByILP(const std::map<int, std::set<T>>& instance);
  static std::vector<int> _solveByPropagate(const std::map<int, std::set<T>>& instance);
  static std::vector<UndoRec> _propagateDeg1(PropCtx& ctx, bool& infeasible);
  static UndoRec _doSelect(PropCtx& ctx, int setIdx);
  static void _undoSelect(PropCtx& ctx, const UndoRec& rec);
  static void _undoPropagate(PropCtx& ctx, const std::vector<UndoRec>& recs);
  static void _bbSearch(PropCtx& ctx, int& bestSize, std::vector<int>& bestSelection);
};

extern template class NIMBREL_TAVIK_UTIL_EXPORT SetCoverSolver<int>;
extern template class NIMBREL_TAVIK_UTIL_EXPORT SetCoverSolver<unsigned long>;
extern template class NIMBREL_TAVIK_UTIL_EXPORT SetCoverSolver<std::string>;

/// Solves a covering problem in index form with GLPK: n columns, m rows, columns[j] lists the
/// 0-based rows that column j covers. Returns the chosen column indices, ascending; empty when
/// n or m is 0 or when GLPK fails (then one line goes to std::cerr).
NIMBREL_TAVIK_UTIL_EXPORT std::vector<int> solveILP(int n, int m,
                                                    const std::vector<std::vector<int>>& columns);

}  // namespace nimbrel_tavik_util
