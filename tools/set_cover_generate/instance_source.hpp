// A generated set-cover instance as set_cover_generate writes it: rows (elements) 0..rows-1,
// columns (sets) 0..columns-1, each row covered by at least one column. The large families
// compute a row or a column on demand instead of holding the matrix, so that an instance of tens
// of millions of entries is written in one pass with little memory.
#pragma once

#include <cstdint>
#include <vector>

namespace set_cover_generate {

class InstanceSource {
 public:
  virtual ~InstanceSource() = default;
  virtual int rows() const = 0;
  virtual int columns() const = 0;
  /// False when every column costs 1.
  virtual bool hasCosts() const = 0;
  /// The cost of `column` (positive and finite; 1 without costs).
  virtual double cost(int column) const = 0;
  /// Replaces `out` with the columns covering `row`, ascending.
  virtual void row(int row, std::vector<int>& out) const = 0;
  /// Replaces `out` with the rows `column` covers, ascending.
  virtual void column(int column, std::vector<int>& out) const = 0;
};

/// A 0/1 matrix compressed by one dimension: the indices of line k are
/// index[start[k] .. start[k+1]-1], ascending.
struct Compressed {
  std::vector<std::int64_t> start{0};
  std::vector<int> index;
  int lines() const { return static_cast<int>(start.size()) - 1; }
};

/// The same matrix compressed by the other dimension (`otherLines` lines). O(entries).
Compressed transpose(const Compressed& matrix, int otherLines);

/// The columns of `source`, one after the other (each ascending), with the costs (empty when the
/// source has none): the arrays of a column-compressed matrix. O(entries) time and memory.
struct ColumnArrays {
  int rows = 0;
  Compressed columns;
  std::vector<double> costs;
};
ColumnArrays collectColumns(const InstanceSource& source);

/// An instance held in memory, for the small families. Builds the row form once. Throws
/// std::invalid_argument when an index is outside 0..rows-1, a row is in no column, or the
/// costs are not one positive finite number per column (or none).
class MatrixSource : public InstanceSource {
 public:
  MatrixSource(int rows, Compressed columns, std::vector<double> costs = {});
  int rows() const override { return rows_; }
  int columns() const override { return columns_.lines(); }
  bool hasCosts() const override { return !costs_.empty(); }
  double cost(int column) const override;
  void row(int row, std::vector<int>& out) const override;
  void column(int column, std::vector<int>& out) const override;

 private:
  int rows_;
  Compressed columns_;
  Compressed rowForm_;
  std::vector<double> costs_;
};

/// The columns over rows 0..rows-1 with the rows that no column holds left out and the others
/// numbered 0.. in ascending order. Throws as MatrixSource does.
MatrixSource compactRows(int rows, const Compressed& columns, std::vector<double> costs = {});

/// The uniform random family of the benchmarks: `sets` sets over 2 * sets elements, each (set,
/// element) pair present with probability `density`, drawn from std::mt19937(seed) with two
/// 32-bit draws per pair in set-major order. Columns hold element indices 0..2*sets-1,
/// ascending; sets may be empty and elements may be in no set. O(sets^2).
Compressed uniformColumns(int sets, std::uint32_t seed, double density = 0.05);

}  // namespace set_cover_generate
