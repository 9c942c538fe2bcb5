#include "set_cover_generate/instance_source.hpp"

#include <cmath>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>

namespace set_cover_generate {

Compressed transpose(const Compressed& matrix, int otherLines) {
  Compressed out;
  out.start.assign(static_cast<std::size_t>(otherLines) + 1, 0);
  for (const int i : matrix.index) ++out.start[static_cast<std::size_t>(i) + 1];
  for (int k = 0; k < otherLines; ++k) out.start[k + 1] += out.start[k];
  out.index.resize(matrix.index.size());
  std::vector<std::int64_t> next(out.start.begin(), out.start.end() - 1);
  // Lines in ascending order, so every transposed line comes out ascending.
  for (int line = 0; line < matrix.lines(); ++line) {
    for (std::int64_t e = matrix.start[line]; e < matrix.start[line + 1]; ++e) {
      out.index[static_cast<std::size_t>(next[matrix.index[e]]++)] = line;
    }
  }
  return out;
}

ColumnArrays collectColumns(const InstanceSource& source) {
  ColumnArrays out;
  out.rows = source.rows();
  std::vector<int> column;
  for (int j = 0; j < source.columns(); ++j) {
    source.column(j, column);
    out.columns.index.insert(out.columns.index.end(), column.begin(), column.end());
    out.columns.start.push_back(static_cast<std::int64_t>(out.columns.index.size()));
    if (source.hasCosts()) out.costs.push_back(source.cost(j));
  }
  return out;
}

MatrixSource::MatrixSource(int rows, Compressed columns, std::vector<double> costs)
    : rows_(rows), columns_(std::move(columns)), costs_(std::move(costs)) {
  if (rows_ < 0) throw std::invalid_argument("MatrixSource: negative row count");
  for (const int i : columns_.index) {
    if (i < 0 || i >= rows_) {
      throw std::invalid_argument("MatrixSource: row " + std::to_string(i) + " outside 0.." +
                                  std::to_string(rows_ - 1));
    }
  }
  if (!costs_.empty() && costs_.size() != static_cast<std::size_t>(columns_.lines())) {
    throw std::invalid_argument("MatrixSource: " + std::to_string(costs_.size()) + " costs for " +
                                std::to_string(columns_.lines()) + " columns");
  }
  for (const double c : costs_) {
    if (!(c > 0) || !std::isfinite(c)) {
      throw std::invalid_argument("MatrixSource: a cost is not positive and finite");
    }
  }
  rowForm_ = transpose(columns_, rows_);
  for (int i = 0; i < rows_; ++i) {
    if (rowForm_.start[i] == rowForm_.start[i + 1]) {
      throw std::invalid_argument("MatrixSource: row " + std::to_string(i) + " is in no column");
    }
  }
}

double MatrixSource::cost(int column) const {
  return costs_.empty() ? 1.0 : costs_[static_cast<std::size_t>(column)];
}

void MatrixSource::row(int row, std::vector<int>& out) const {
  out.assign(rowForm_.index.begin() + rowForm_.start[row],
             rowForm_.index.begin() + rowForm_.start[row + 1]);
}

void MatrixSource::column(int column, std::vector<int>& out) const {
  out.assign(columns_.index.begin() + columns_.start[column],
             columns_.index.begin() + columns_.start[column + 1]);
}

MatrixSource compactRows(int rows, const Compressed& columns, std::vector<double> costs) {
  std::vector<int> number(static_cast<std::size_t>(rows), -1);
  for (const int i : columns.index) number[static_cast<std::size_t>(i)] = 0;
  int next = 0;
  for (int& k : number) {
    if (k == 0) k = next++;
  }
  Compressed out = columns;
  for (int& i : out.index) i = number[static_cast<std::size_t>(i)];
  return MatrixSource(next, std::move(out), std::move(costs));
}

Compressed uniformColumns(int sets, std::uint32_t seed, double density) {
  if (sets < 0) throw std::invalid_argument("uniformColumns: negative set count");
  std::mt19937 engine(seed);
  Compressed out;
  for (int s = 0; s < sets; ++s) {
    for (int e = 0; e < 2 * sets; ++e) {
      const auto x1 = static_cast<std::uint64_t>(engine());
      const auto x2 = static_cast<std::uint64_t>(engine());
      if (static_cast<double>(x1 | (x2 << 32)) * 0x1p-64 < density) out.index.push_back(e);
    }
    out.start.push_back(static_cast<std::int64_t>(out.index.size()));
  }
  return out;
}

}  // namespace set_cover_generate
