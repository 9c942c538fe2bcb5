// Python set-cover instances in the library's column form: a dict of id -> elements, or a
// scipy.sparse matrix (rows = elements, columns = sets), and the costs beside them.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"

namespace ntu_python {

namespace py = pybind11;

// An instance as CoverMatrix arrays. Columns are the dict's ids ascending (empty sets
// included) or the matrix's columns; rows are the elements numbered in ascending element
// order (ints by value, strs by code point), so a dict gives exactly the matrix the
// library's map form numbers itself.
struct Instance {
  int elements = 0;
  std::vector<int> ids;  // id of each column; empty: ids are the column indices (sparse input)
  // Either owned here or borrowed from the caller's arrays (`keep` holds them).
  std::vector<std::int64_t> ownStart;
  std::vector<int> ownRows;
  const std::int64_t* start = nullptr;
  const int* rows = nullptr;
  py::object keep;
  std::vector<py::object> keyObjects;  // the dict's keys, by column, for cost look-ups
  std::vector<int> dictOrder;          // column of the i-th key in the dict's own order
  std::vector<double> costs;           // one per column when the call has costs

  int numSets = 0;
  int sets() const { return numSets; }
  int idOf(int column) const { return ids.empty() ? column : ids[column]; }
  nimbrel_tavik_util::CoverMatrix matrix() const;
  // {id -> set of element numbers}: the map form of SetCoverSolver<int>, whose answers depend
  // on the elements' order only.
  std::map<int, std::set<int>> mapForm() const;
};

// Reads `sets` (dict or scipy.sparse). Raises TypeError for other types and elements that are
// neither int nor str (or a mix), ValueError for negative or too large ids, wrong shapes and
// bad sparse arrays (a row in no column, indices out of range).
Instance readInstance(py::handle sets);

// Fills `instance.costs` from a dict (id -> cost, every id exactly once) or a sequence or
// NumPy array aligned with the columns (a dict's own key order). ValueError names the first id
// with a missing, NaN, infinite or negative cost, an unknown id, or a wrong length.
void readCosts(Instance& instance, py::handle costs);

}  // namespace ntu_python
