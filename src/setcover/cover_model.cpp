#include "setcover/cover_model.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace nimbrel_tavik_util::setcover_detail {

CoverModel makeCoverModel(int numRows, std::vector<int> colStart, std::vector<int> colRows,
                          std::vector<double> cost, std::vector<int> rowStart,
                          std::vector<int> rowCols) {
  CoverModel m;
  m.numRows = numRows;
  m.numCols = static_cast<int>(colStart.size()) - 1;
  m.colStart = std::move(colStart);
  m.colRows = std::move(colRows);
  m.rowStart = std::move(rowStart);
  m.rowCols = std::move(rowCols);
  if (cost.empty()) cost.assign(m.numCols, 1.0);
  m.cost = std::move(cost);
  for (double c : m.cost) {
    m.unicost = m.unicost && c == 1.0;
    m.integral = m.integral && c == std::floor(c);
  }
  return m;
}

CoverModel makeCoverModel(int numRows, std::vector<int> colStart, std::vector<int> colRows,
                          std::vector<double> cost) {
  // Counting pass: columns are visited in ascending order, so each row's list comes out
  // ascending.
  const int numCols = static_cast<int>(colStart.size()) - 1;
  std::vector<int> rowStart(static_cast<std::size_t>(numRows) + 1, 0);
  for (int r : colRows) ++rowStart[r + 1];
  for (int i = 0; i < numRows; ++i) rowStart[i + 1] += rowStart[i];
  std::vector<int> rowCols(colRows.size());
  std::vector<int> next(rowStart.begin(), rowStart.end() - 1);
  for (int j = 0; j < numCols; ++j) {
    for (int k = colStart[j]; k < colStart[j + 1]; ++k) rowCols[next[colRows[k]]++] = j;
  }
  return makeCoverModel(numRows, std::move(colStart), std::move(colRows), std::move(cost),
                        std::move(rowStart), std::move(rowCols));
}

bool coversAll(const Incidence& model, const std::vector<int>& cols) {
  std::vector<char> hit(model.numRows, 0);
  for (int j : cols) {
    for (const int* r = model.colBegin(j); r != model.colEnd(j); ++r) hit[*r] = 1;
  }
  return std::all_of(hit.begin(), hit.end(), [](char h) { return h != 0; });
}

}  // namespace nimbrel_tavik_util::setcover_detail
