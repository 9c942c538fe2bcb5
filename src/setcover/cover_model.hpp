// The working form of a (weighted) set-cover instance for the exact search and the solvers that
// run within limits (internal, not installed). Memory O(m + n + S) for m rows, n columns and S
// nonzeros.
#pragma once

#include <vector>

namespace nimbrel_tavik_util::setcover_detail {

// A 0/1 matrix kept both ways. Rows are the elements, columns the candidate sets; a column's
// rows and a row's columns are contiguous and ascending. Memory: two ints per nonzero plus
// one per row and per column.
struct Incidence {
  int numRows = 0;
  int numCols = 0;
  std::vector<int> colStart;  // rows of column j: colRows[colStart[j] .. colStart[j + 1])
  std::vector<int> colRows;
  std::vector<int> rowStart;  // columns of row i: rowCols[rowStart[i] .. rowStart[i + 1])
  std::vector<int> rowCols;

  int colSize(int j) const { return colStart[j + 1] - colStart[j]; }
  int rowSize(int i) const { return rowStart[i + 1] - rowStart[i]; }
  const int* colBegin(int j) const { return colRows.data() + colStart[j]; }
  const int* colEnd(int j) const { return colRows.data() + colStart[j + 1]; }
  const int* rowBegin(int i) const { return rowCols.data() + rowStart[i]; }
  const int* rowEnd(int i) const { return rowCols.data() + rowStart[i + 1]; }
};

// A (weighted) set-cover instance: the incidence and a cost per column.
struct CoverModel : Incidence {
  std::vector<double> cost;  // per column, finite and >= 0
  bool unicost = true;       // every cost is 1
  bool integral = true;      // every cost is an integer (so is every cover's cost)
};

// Builds the model from the columns' row lists (each ascending, rows in [0, numRows)) and
// their costs (empty: every cost 1). Fills the row lists by one counting pass. O(m + n + S).
CoverModel makeCoverModel(int numRows, std::vector<int> colStart, std::vector<int> colRows,
                          std::vector<double> cost);
// The same with the row lists given (each ascending, the transpose of the column lists).
CoverModel makeCoverModel(int numRows, std::vector<int> colStart, std::vector<int> colRows,
                          std::vector<double> cost, std::vector<int> rowStart,
                          std::vector<int> rowCols);

// Whether `cols` covers every row of the model. O(S of cols + m).
bool coversAll(const Incidence& model, const std::vector<int>& cols);

}  // namespace nimbrel_tavik_util::setcover_detail
