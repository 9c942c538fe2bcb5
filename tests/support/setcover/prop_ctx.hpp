// Working states of the exact solver built by hand, for tests that drive its steps.
#pragma once

#include <algorithm>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"

namespace ntu_test {

// A fresh working state over sets given as element-index lists (ascending): nothing selected,
// `order` by ascending degree with ties by index (as _solveByPropagate builds it).
template <typename T = int>
typename nimbrel_tavik_util::SetCoverSolver<T>::PropCtx makeCtx(
    const std::vector<std::vector<int>>& setElems, int numElems) {
  using S = nimbrel_tavik_util::SetCoverSolver<T>;
  typename S::PropCtx ctx;
  ctx.elems.assign(numElems, typename S::ElemRec{false, {}});
  for (int s = 0; s < static_cast<int>(setElems.size()); ++s) {
    ctx.sets.push_back(typename S::SetRec{false, setElems[s]});
    for (int e : setElems[s]) ctx.elems[e].setIdx.push_back(s);
  }
  for (int e = 0; e < numElems; ++e) ctx.order.push_back(e);
  std::stable_sort(ctx.order.begin(), ctx.order.end(), [&ctx](int a, int b) {
    return ctx.elems[a].setIdx.size() < ctx.elems[b].setIdx.size();
  });
  ctx.uncovered = numElems;
  ctx.numSelected = 0;
  return ctx;
}

}  // namespace ntu_test
