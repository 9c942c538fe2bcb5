// Exact set cover: the working state, its select/undo operations, forced selections and the
// branch-and-bound search.
//
// The search never copies the state: every change goes through _doSelect and is taken back
// by _undoSelect, in reverse order, from a record of exactly the flags it turned.
#include <algorithm>
#include <numeric>
#include <string>
#include <unordered_map>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "setcover/index_form.hpp"

namespace nimbrel_tavik_util {

template <typename T>
std::vector<int> SetCoverSolver<T>::_solveByPropagate(const std::map<int, std::set<T>>& instance) {
  // Elements numbered in ascending order, entries in ascending id order (empty sets too).
  setcover_detail::IndexForm form = setcover_detail::buildIndexForm(instance);
  const int m = form.numElems;
  if (m == 0) return {};
  const int n = static_cast<int>(form.ids.size());

  std::unordered_map<int, int> setOfId;
  setOfId.reserve(form.ids.size());
  for (int s = 0; s < n; ++s) setOfId.emplace(form.ids[s], s);

  PropCtx ctx;
  ctx.elems.assign(m, ElemRec{false, {}});
  ctx.sets.resize(n);
  for (int s = 0; s < n; ++s) {
    ctx.sets[s].selected = false;
    ctx.sets[s].elemIdx = std::move(form.elemIdx[s]);                    // ascending
    for (int e : ctx.sets[s].elemIdx) ctx.elems[e].setIdx.push_back(s);  // ascending in s
  }
  ctx.uncovered = m;
  ctx.numSelected = 0;

  // Stable, so that elements of equal degree keep ascending index order and the result does
  // not depend on the sort implementation.
  ctx.order.resize(m);
  std::iota(ctx.order.begin(), ctx.order.end(), 0);
  std::stable_sort(ctx.order.begin(), ctx.order.end(), [&ctx](int a, int b) {
    return ctx.elems[a].setIdx.size() < ctx.elems[b].setIdx.size();
  });

  const std::vector<int> greedy = _solveByGreedy(instance, false);
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

template <typename T>
std::vector<typename SetCoverSolver<T>::UndoRec> SetCoverSolver<T>::_propagateDeg1(
    PropCtx& ctx, bool& infeasible) {
  infeasible = false;
  std::vector<UndoRec> recs;
  bool restart = true;
  while (restart) {
    restart = false;
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
      restart = true;  // scan again from the start of `order`
      break;
    }
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
    } else if (ctx.numSelected + 1 < bestSize) {  // else no completion can be strictly smaller
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

template class SetCoverSolver<int>;
template class SetCoverSolver<unsigned long>;
template class SetCoverSolver<std::string>;

}  // namespace nimbrel_tavik_util
