#include "setcover/within/interval_rows.hpp"

#include <algorithm>
#include <cstddef>
#include <limits>

#include "setcover/within/incumbent.hpp"

namespace nimbrel_tavik_util::setcover_detail {

// Rows are intervals [lo_i, hi_i] of column indices. A choice of columns covers them all when
// no row lies strictly between two consecutive chosen columns, before the first or after the
// last. best[j] = c_j + min best[k] over the chosen column k before j, where k >= the largest
// lo of the rows ending before j (none: j may be the first). Those lower limits only grow with
// j, so a monotone queue gives each minimum in amortised O(1).
bool solveIntervalRows(const CoverModel& model, std::vector<int>& cols) {
  const int m = model.numRows;
  const int n = model.numCols;
  if (m == 0) {
    cols.clear();
    return true;
  }
  std::vector<int> lo(m);
  std::vector<int> hi(m);
  for (int i = 0; i < m; ++i) {
    const int size = model.rowSize(i);
    lo[i] = *model.rowBegin(i);
    hi[i] = *(model.rowEnd(i) - 1);
    if (hi[i] - lo[i] + 1 != size) return false;
  }
  // limit[j]: the largest lo of the rows with hi < j (-1: no such row).
  std::vector<int> limit(static_cast<std::size_t>(n) + 1, -1);
  for (int i = 0; i < m; ++i) limit[hi[i] + 1] = std::max(limit[hi[i] + 1], lo[i]);
  for (int j = 1; j <= n; ++j) limit[j] = std::max(limit[j], limit[j - 1]);
  int lastLo = 0;
  for (int i = 0; i < m; ++i) lastLo = std::max(lastLo, lo[i]);

  std::vector<double> best(n, kInfCost);
  std::vector<int> from(n, -1);
  std::vector<int> window;  // candidate predecessors, best[] increasing
  std::size_t head = 0;
  for (int j = 0; j < n; ++j) {
    const int need = limit[j];
    if (need < 0) {
      best[j] = model.cost[j];
    } else {
      while (head < window.size() && window[head] < need) ++head;
      if (head < window.size()) {
        best[j] = model.cost[j] + best[window[head]];
        from[j] = window[head];
      }
    }
    if (best[j] < kInfCost) {
      while (window.size() > head && best[window.back()] >= best[j]) window.pop_back();
      window.push_back(j);
    }
  }
  // The last chosen column must be at or after the largest lo, with no row after it.
  int end = -1;
  for (int j = lastLo; j < n; ++j) {
    if (best[j] < kInfCost && (end < 0 || best[j] < best[end])) end = j;
  }
  if (end < 0) return false;
  cols.clear();
  for (int j = end; j >= 0; j = from[j]) cols.push_back(j);
  return true;
}

}  // namespace nimbrel_tavik_util::setcover_detail
