#include "setcover/cover_matrix.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>

namespace nimbrel_tavik_util::setcover_detail {

std::string numberText(double v) {
  std::ostringstream out;
  out << v;
  return out.str();
}

std::int64_t checkMatrix(const CoverMatrix& matrix, const char* who) {
  const auto bad = [who](const std::string& what) {
    throw std::invalid_argument(std::string(who) + ": " + what);
  };
  if (matrix.elements < 0) bad("elements is negative (" + std::to_string(matrix.elements) + ")");
  if (matrix.sets < 0) bad("sets is negative (" + std::to_string(matrix.sets) + ")");
  if (matrix.sets == 0 && matrix.setStart == nullptr) {
    if (matrix.elements > 0) bad("element 0 is in no set");
    return 0;
  }
  if (matrix.setStart == nullptr) bad("setStart is null");
  if (matrix.setStart[0] != 0) bad("setStart[0] is " + std::to_string(matrix.setStart[0]));
  for (int j = 0; j < matrix.sets; ++j) {
    if (matrix.setStart[j + 1] < matrix.setStart[j]) {
      bad("setStart[" + std::to_string(j + 1) + "] = " + std::to_string(matrix.setStart[j + 1]) +
          " is below setStart[" + std::to_string(j) + "] = " + std::to_string(matrix.setStart[j]));
    }
  }
  const std::int64_t entries = matrix.setStart[matrix.sets];
  if (entries >= INT_MAX) {
    throw std::length_error(std::string(who) + ": " + std::to_string(entries) +
                            " entries, more than the " + std::to_string(INT_MAX - 1) +
                            " the solvers can index");
  }
  if (entries > 0 && matrix.elementIndex == nullptr) bad("elementIndex is null");
  std::vector<char> seen(static_cast<std::size_t>(matrix.elements), 0);
  for (int j = 0; j < matrix.sets; ++j) {
    for (std::int64_t k = matrix.setStart[j]; k < matrix.setStart[j + 1]; ++k) {
      const int e = matrix.elementIndex[k];
      if (e < 0 || e >= matrix.elements) {
        bad("elementIndex[" + std::to_string(k) + "] = " + std::to_string(e) + " (set " +
            std::to_string(j) + ") is outside [0, " + std::to_string(matrix.elements) + ")");
      }
      seen[e] = 1;
    }
  }
  if (matrix.costs != nullptr) {
    double total = 0.0;
    for (int j = 0; j < matrix.sets; ++j) {
      const double c = matrix.costs[j];
      const std::string where = " (set " + std::to_string(j) + ")";
      if (std::isnan(c)) bad("cost is NaN" + where);
      if (std::isinf(c)) bad("cost " + numberText(c) + " is not finite" + where);
      if (c < 0.0) bad("cost " + numberText(c) + " is negative" + where);
      total += c;
      if (std::isinf(total)) bad(kCostTotalText + where);
    }
  }
  const auto missing = std::find(seen.begin(), seen.end(), 0);
  if (missing != seen.end())
    bad("element " + std::to_string(missing - seen.begin()) + " is in no set");
  return entries;
}

bool buildModel(const CoverMatrix& matrix, Budget& budget, CoverModel& model,
                std::vector<int>& colId) {
  const int m = matrix.elements;
  colId.clear();
  for (int j = 0; j < matrix.sets; ++j) {
    if (matrix.setStart[j + 1] > matrix.setStart[j]) colId.push_back(j);
  }
  const int n = static_cast<int>(colId.size());
  // Rows' column lists, repeats skipped by stamping each row with the last column that held it.
  std::vector<int> stamp(static_cast<std::size_t>(m), -1);
  std::vector<int> rowStart(static_cast<std::size_t>(m) + 1, 0);
  for (int k = 0; k < n; ++k) {
    const int j = colId[k];
    for (std::int64_t p = matrix.setStart[j]; p < matrix.setStart[j + 1]; ++p) {
      const int e = matrix.elementIndex[p];
      if (stamp[e] == k) continue;
      stamp[e] = k;
      ++rowStart[e + 1];
    }
    if (budget.charge(static_cast<std::uint64_t>(matrix.setStart[j + 1] - matrix.setStart[j]))) {
      return false;
    }
  }
  for (int i = 0; i < m; ++i) rowStart[i + 1] += rowStart[i];
  std::vector<int> rowCols(static_cast<std::size_t>(rowStart[m]));
  std::vector<int> fill(rowStart.begin(), rowStart.end() - 1);
  std::fill(stamp.begin(), stamp.end(), -1);
  for (int k = 0; k < n; ++k) {
    const int j = colId[k];
    for (std::int64_t p = matrix.setStart[j]; p < matrix.setStart[j + 1]; ++p) {
      const int e = matrix.elementIndex[p];
      if (stamp[e] == k) continue;
      stamp[e] = k;
      rowCols[fill[e]++] = k;
    }
    if (budget.poll(static_cast<std::uint64_t>(matrix.setStart[j + 1] - matrix.setStart[j]))) {
      return false;
    }
  }
  std::vector<int>().swap(stamp);
  std::vector<int>().swap(fill);
  // Columns' row lists from the rows' lists: rows visited ascending give ascending lists.
  std::vector<int> colStart(static_cast<std::size_t>(n) + 1, 0);
  for (int k : rowCols) ++colStart[k + 1];
  for (int k = 0; k < n; ++k) colStart[k + 1] += colStart[k];
  std::vector<int> colRows(rowCols.size());
  std::vector<int> next(colStart.begin(), colStart.end() - 1);
  for (int i = 0; i < m; ++i) {
    for (int p = rowStart[i]; p < rowStart[i + 1]; ++p) colRows[next[rowCols[p]]++] = i;
    if (budget.poll(static_cast<std::uint64_t>(rowStart[i + 1] - rowStart[i]) + 1)) return false;
  }
  std::vector<double> cost;
  if (matrix.costs != nullptr) {
    cost.reserve(n);
    for (int j : colId) cost.push_back(matrix.costs[j]);
  }
  model = makeCoverModel(m, std::move(colStart), std::move(colRows), std::move(cost),
                         std::move(rowStart), std::move(rowCols));
  return true;
}

}  // namespace nimbrel_tavik_util::setcover_detail
