// Exact set cover: the working state, its select/undo operations, forced selections and the
// branch-and-bound search.
//
// The search never copies the state: every change goes through _doSelect and is taken back
// by _undoSelect, in reverse order, from a record of exactly the flags it turned.
//
// _bbSearch follows the documented node steps, but below a node whose state is as
// _solveByPropagate builds it, it hands the rest of the tree to exact_search.cpp, which meets
// the same leaves in the same order and cuts far more of the tree with stronger (still
// sound) bounds. States built by hand in other shapes take the documented steps literally.
#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "setcover/greedy_core.hpp"
#include "setcover/index_form.hpp"
#include "setcover/propagate/exact_search.hpp"

namespace nimbrel_tavik_util {

namespace {

template <typename List>
bool strictlyAscendingBelow(const List& list, int limit) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i] < 0 || list[i] >= limit || (i > 0 && list[i - 1] >= list[i])) return false;
  }
  return true;
}

// True when the state is one the fast search can take over: lists ascending and linked both
// ways, `order` a permutation, counters matching the flags, and no uncovered element in a
// selected set (as everywhere in a search started by _solveByPropagate). O(total set size).
template <typename Ctx>
bool searchableState(const Ctx& ctx) {
  const int m = static_cast<int>(ctx.elems.size());
  const int n = static_cast<int>(ctx.sets.size());
  if (static_cast<int>(ctx.order.size()) != m) return false;
  std::vector<char> seen(m, 0);
  for (int e : ctx.order) {
    if (e < 0 || e >= m || seen[e]) return false;
    seen[e] = 1;
  }
  int uncovered = 0;
  std::vector<int> degree(m, 0);
  for (int s = 0; s < n; ++s) {
    if (!strictlyAscendingBelow(ctx.sets[s].elemIdx, m)) return false;
    for (int e : ctx.sets[s].elemIdx) ++degree[e];
  }
  for (int e = 0; e < m; ++e) {
    const auto& list = ctx.elems[e].setIdx;
    if (!strictlyAscendingBelow(list, n) || static_cast<int>(list.size()) != degree[e]) {
      return false;
    }
    if (!ctx.elems[e].covered) ++uncovered;
  }
  // Same number of links both ways, and every element's link found in its set's list.
  std::vector<std::size_t> cursor(n, 0);
  for (int e = 0; e < m; ++e) {
    for (int s : ctx.elems[e].setIdx) {
      const auto& elems = ctx.sets[s].elemIdx;
      if (cursor[s] >= elems.size() || elems[cursor[s]] != e) return false;
      ++cursor[s];
    }
  }
  int selected = 0;
  for (const auto& set : ctx.sets) selected += set.selected ? 1 : 0;
  if (uncovered != ctx.uncovered || selected != ctx.numSelected ||
      static_cast<int>(ctx.selection.size()) != ctx.numSelected) {
    return false;
  }
  for (const auto& elem : ctx.elems) {
    if (elem.covered) continue;
    for (int s : elem.setIdx) {
      if (ctx.sets[s].selected) return false;
    }
  }
  return true;
}

// The working state of `form`: nothing selected, lists linked both ways, `order` by ascending
// degree. Stable, so that elements of equal degree keep ascending index order and the result
// does not depend on the sort implementation (a counting sort: degrees are small). O(m + n + S).
template <typename Ctx>
Ctx buildState(const setcover_detail::IndexForm& form) {
  const int m = form.numElems;
  const int n = form.numSets();
  const setcover_detail::FlatLists holders = setcover_detail::elemSets(form);
  Ctx ctx;
  ctx.elems.resize(m);
  for (int e = 0; e < m; ++e) {
    ctx.elems[e].covered = false;
    ctx.elems[e].setIdx.assign(holders.items.begin() + holders.start[e],
                               holders.items.begin() + holders.start[e + 1]);
  }
  ctx.sets.resize(n);
  for (int s = 0; s < n; ++s) {
    ctx.sets[s].selected = false;
    ctx.sets[s].elemIdx = form.list(s);
  }
  ctx.uncovered = m;
  ctx.numSelected = 0;
  std::vector<int> first;  // first position of each degree
  for (int e = 0; e < m; ++e) {
    const std::size_t d = holders.start[e + 1] - holders.start[e];
    if (first.size() < d + 2) first.resize(d + 2, 0);
    ++first[d + 1];
  }
  for (std::size_t d = 1; d < first.size(); ++d) first[d] += first[d - 1];
  ctx.order.resize(m);
  for (int e = 0; e < m; ++e) ctx.order[first[holders.start[e + 1] - holders.start[e]]++] = e;
  return ctx;
}

}  // namespace

template <typename T>
std::vector<int> SetCoverSolver<T>::_solveByPropagate(const std::map<int, std::set<T>>& instance) {
  // Elements numbered in ascending order, entries in ascending id order (empty sets too).
  const setcover_detail::IndexForm form = setcover_detail::buildIndexForm(instance);
  if (form.numElems == 0) return {};

  std::unordered_map<int, int> setOfId;
  setOfId.reserve(form.ids.size());
  for (int s = 0; s < form.numSets(); ++s) setOfId.emplace(form.ids[s], s);
  PropCtx ctx = buildState<PropCtx>(form);

  // The greedy incumbent (continuity cleared), computed on the same numbering.
  const std::vector<int> greedy = setcover_detail::greedyCover(form, false);
  int bestSize = static_cast<int>(greedy.size());
  std::vector<int> bestSelection;
  bestSelection.reserve(greedy.size());
  for (int id : greedy) bestSelection.push_back(setOfId.at(id));

  _bbSearch(ctx, bestSize, bestSelection);

  std::vector<int> result;
  result.reserve(bestSelection.size());
  for (int s : bestSelection) result.push_back(form.ids[s]);
  std::sort(result.begin(), result.end());
  return result;
}

template <typename T>
typename SetCoverSolver<T>::UndoRec SetCoverSolver<T>::_doSelect(PropCtx& ctx, int setIdx) {
  UndoRec rec{setIdx, {}};
  SetRec& set = ctx.sets[setIdx];
  set.selected = true;
  ++ctx.numSelected;
  ctx.selection.push_back(setIdx);
  for (int e : set.elemIdx) {
    ElemRec& elem = ctx.elems[e];
    if (elem.covered) continue;
    elem.covered = true;
    --ctx.uncovered;
    rec.newlyCovered.push_back(e);
  }
  return rec;
}

template <typename T>
void SetCoverSolver<T>::_undoSelect(PropCtx& ctx, const UndoRec& rec) {
  for (int e : rec.newlyCovered) {
    ctx.elems[e].covered = false;
    ++ctx.uncovered;
  }
  ctx.sets[rec.setIdx].selected = false;
  --ctx.numSelected;
  ctx.selection.pop_back();  // undo runs in reverse order, so this is rec.setIdx
}

template <typename T>
void SetCoverSolver<T>::_undoPropagate(PropCtx& ctx, const std::vector<UndoRec>& recs) {
  for (auto it = recs.rbegin(); it != recs.rend(); ++it) _undoSelect(ctx, *it);
}

// One pass over `order` makes the same selections as restarting the scan after each one: a
// selection covers some elements and changes no other element's count of unselected sets, so
// every element before the current one stays covered or keeps two unselected sets.
template <typename T>
std::vector<typename SetCoverSolver<T>::UndoRec> SetCoverSolver<T>::_propagateDeg1(
    PropCtx& ctx, bool& infeasible) {
  infeasible = false;
  std::vector<UndoRec> recs;
  for (int e : ctx.order) {
    const ElemRec& elem = ctx.elems[e];
    if (elem.covered) continue;
    if (elem.setIdx.empty()) {
      infeasible = true;
      return recs;
    }
    int only = -1;
    int free = 0;
    for (int s : elem.setIdx) {
      if (ctx.sets[s].selected) continue;
      only = s;
      if (++free == 2) break;
    }
    if (free >= 2) continue;
    if (free == 0) {
      infeasible = true;
      return recs;
    }
    recs.push_back(_doSelect(ctx, only));
  }
  return recs;
}

template <typename T>
void SetCoverSolver<T>::_bbSearch(PropCtx& ctx, int& bestSize, std::vector<int>& bestSelection) {
  bool infeasible = false;
  const std::vector<UndoRec> forced = _propagateDeg1(ctx, infeasible);
  if (!infeasible) {
    if (ctx.uncovered == 0) {
      if (ctx.numSelected < bestSize) {  // strict: an equal cover never replaces the incumbent
        bestSize = ctx.numSelected;
        bestSelection = ctx.selection;
      }
    } else if (ctx.numSelected + 1 >= bestSize) {
      // no completion can be strictly smaller
    } else if (searchableState(ctx)) {
      std::vector<int> path;
      if (setcover_detail::searchFirstMinimum(setcover_detail::flattenState(ctx), bestSize, path)) {
        bestSelection = ctx.selection;
        bestSelection.insert(bestSelection.end(), path.begin(), path.end());
      }
    } else {
      // Counting bound: no unselected set covers more than maxGain of the uncovered elements.
      int maxGain = 0;
      for (const SetRec& set : ctx.sets) {
        if (set.selected) continue;
        int gain = 0;
        for (int e : set.elemIdx) gain += ctx.elems[e].covered ? 0 : 1;
        maxGain = std::max(maxGain, gain);
      }
      const bool pruned =
          maxGain > 0 && ctx.numSelected + (ctx.uncovered + maxGain - 1) / maxGain >= bestSize;
      if (!pruned) {
        // Branch on the uncovered element that the fewest sets hold.
        const auto it = std::find_if(ctx.order.begin(), ctx.order.end(),
                                     [&ctx](int e) { return !ctx.elems[e].covered; });
        if (it != ctx.order.end()) {
          for (int s : ctx.elems[*it].setIdx) {  // fixed lists: safe across the recursion
            if (ctx.sets[s].selected) continue;
            const UndoRec rec = _doSelect(ctx, s);
            _bbSearch(ctx, bestSize, bestSelection);
            _undoSelect(ctx, rec);
          }
        }
      }
    }
  }
  _undoPropagate(ctx, forced);
}

// Each source file instantiates the members it defines, for each element type (a class-wide
// explicit instantiation may appear in one file of the program only).
#define NTU_INSTANTIATE_PROPAGATE(T)                                                           \
  template std::vector<int> SetCoverSolver<T>::_solveByPropagate(                              \
      const std::map<int, std::set<T>>&);                                                      \
  template SetCoverSolver<T>::UndoRec SetCoverSolver<T>::_doSelect(PropCtx&, int);             \
  template void SetCoverSolver<T>::_undoSelect(PropCtx&, const UndoRec&);                      \
  template void SetCoverSolver<T>::_undoPropagate(PropCtx&, const std::vector<UndoRec>&);      \
  template std::vector<SetCoverSolver<T>::UndoRec> SetCoverSolver<T>::_propagateDeg1(PropCtx&, \
                                                                                     bool&);   \
  template void SetCoverSolver<T>::_bbSearch(PropCtx&, int&, std::vector<int>&);
NTU_INSTANTIATE_PROPAGATE(int)
NTU_INSTANTIATE_PROPAGATE(unsigned long)
NTU_INSTANTIATE_PROPAGATE(std::string)
#undef NTU_INSTANTIATE_PROPAGATE

}  // namespace nimbrel_tavik_util
