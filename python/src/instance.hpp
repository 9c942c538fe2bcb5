// Python set-cover instances in the library's column form: a dict of id -> elements, or a
// scipy.sparse matrix (rows = elements, columns = sets), and the costs beside them.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "nimbrel_tavik_util/set_cover_io.hpp"

namespace ntu_python {

namespace py = pybind11;

// An instance file read by read_instance: the library's instance, shared with the Instance
// objects Python holds, and the format it was read in.
struct FileInstance {
  std::shared_ptr<const nimbrel_tavik_util::CoverInstance> instance;
  std::string format;
  std::string path;
};

// An instance as CoverMatrix arrays. Columns are the dict's ids ascending (empty sets
// included), the dict's keys in its own order when some key is not an int (named sets), the
// matrix's columns, or an instance file's columns (read_instance: the library's numbering);
// rows are the elements numbered in ascending element order (ints by value, strs by code
// point), so a dict gives exactly the matrix the library's map form numbers itself.
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
  // Named sets (a dict with a key that is not an int, a file's named sets): the id of each
  // column as the caller gave it, returned as is; `ids` are then the column indices.
  std::vector<py::object> names;
  std::shared_ptr<const nimbrel_tavik_util::CoverInstance> file;  // read_instance's, if any

  int numSets = 0;
  int sets() const { return numSets; }
  int idOf(int column) const { return ids.empty() ? column : ids[column]; }
  // The id of `column` as the caller gave it (an int, or the name), and as messages show it.
  py::object idObject(int column) const;
  std::string label(int column) const;
  nimbrel_tavik_util::CoverMatrix matrix() const;
  // {id -> set of element numbers}: the map form of SetCoverSolver<int>, whose answers depend
  // on the elements' order only.
  std::map<int, std::set<int>> mapForm() const;
};

// Reads `sets` (dict, scipy.sparse or an Instance of read_instance). Raises TypeError for other
// types and elements that are neither int nor str (or a mix), ValueError for negative or too large
// ids, wrong shapes and bad sparse arrays (a row in no column, indices out of range).
Instance readInstance(py::handle sets);

// Fills `instance.costs` from a dict (id -> cost, every id exactly once) or a sequence or
// NumPy array aligned with the columns (a dict's own key order). ValueError names the first id
// with a missing, NaN, infinite or negative cost, an unknown id, or a wrong length.
void readCosts(Instance& instance, py::handle costs);

}  // namespace ntu_python
