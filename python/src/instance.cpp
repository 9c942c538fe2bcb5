#include "instance.hpp"

#include <pybind11/numpy.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace ntu_python {

namespace {

[[noreturn]] void raise(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw py::error_already_set();
}

std::string typeName(PyObject* o) { return Py_TYPE(o)->tp_name; }

std::string reprOf(PyObject* o) {
  py::object r = py::reinterpret_steal<py::object>(PyObject_Repr(o));
  if (!r) {
    PyErr_Clear();
    return "<" + typeName(o) + ">";
  }
  std::string s = py::str(r);
  return s.size() > 60 ? s.substr(0, 57) + "..." : s;
}

// A Python int (or an object with __index__, such as a NumPy integer) as a 64-bit integer;
// bool is refused, as in JSON documents it is not a number.
bool asInteger(PyObject* o, long long& value, bool& overflow) {
  overflow = false;
  if (PyBool_Check(o)) return false;
  if (PyLong_Check(o)) {
    int over = 0;
    value = PyLong_AsLongLongAndOverflow(o, &over);
    overflow = over != 0;
    return true;
  }
  if (!PyIndex_Check(o) || PySequence_Check(o)) return false;  // NumPy integers, not arrays
  py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(o));
  if (!index) throw py::error_already_set();
  int over = 0;
  value = PyLong_AsLongLongAndOverflow(index.ptr(), &over);
  overflow = over != 0;
  return true;
}

// Ctrl-C while a large dict is read: Python's handler has only set a flag, so look at it now
// and then (a few microseconds of work apart).
constexpr std::size_t kSignalCheckEvery = 1 << 16;

void checkSignals() {
  if (PyErr_CheckSignals() != 0) throw py::error_already_set();
}

// Numbers elements 0..m-1 in ascending order of their values. Integers of a range not much
// wider than their count (the usual 0..m-1 or 1..m) go through a table, others through a sort.
int numberIntegers(const std::vector<long long>& values, std::vector<int>& rows) {
  rows.resize(values.size());
  if (values.empty()) return 0;
  const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
  const long long low = *lo;
  const unsigned long long span =
      static_cast<unsigned long long>(*hi) - static_cast<unsigned long long>(low);
  if (span < 4ULL * values.size() + 4096) {
    std::vector<int> slot(static_cast<std::size_t>(span) + 1, 0);
    for (long long v : values) slot[static_cast<unsigned long long>(v) - low] = 1;
    int next = 0;
    for (int& s : slot) s = s != 0 ? next++ : -1;
    for (std::size_t k = 0; k < values.size(); ++k) {
      rows[k] = slot[static_cast<unsigned long long>(values[k]) - low];
    }
    return next;
  }
  std::vector<long long> sorted(values);
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  if (sorted.size() >= static_cast<std::size_t>(INT_MAX)) {
    raise(PyExc_ValueError, "sets: more than 2147483646 distinct elements");
  }
  for (std::size_t k = 0; k < values.size(); ++k) {
    rows[k] = static_cast<int>(std::lower_bound(sorted.begin(), sorted.end(), values[k]) -
                               sorted.begin());
  }
  return static_cast<int>(sorted.size());
}

// Strings in ascending order of their UTF-8 bytes, which is std::string's order and the order
// of their code points.
int numberStrings(const std::vector<std::string_view>& values, std::vector<int>& rows) {
  rows.resize(values.size());
  std::unordered_map<std::string_view, int> seen;
  std::vector<std::string_view> distinct;
  for (std::size_t k = 0; k < values.size(); ++k) {
    const auto [it, inserted] = seen.emplace(values[k], static_cast<int>(distinct.size()));
    if (inserted) distinct.push_back(values[k]);
    rows[k] = it->second;
  }
  std::vector<int> order(distinct.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::sort(order.begin(), order.end(), [&](int a, int b) { return distinct[a] < distinct[b]; });
  std::vector<int> rank(distinct.size());
  for (std::size_t i = 0; i < order.size(); ++i) rank[order[i]] = static_cast<int>(i);
  for (int& r : rows) r = rank[r];
  return static_cast<int>(distinct.size());
}

// The elements of all sets, column after column, as integers or as strings.
class ElementReader {
 public:
  enum Kind { kNone, kInt, kStr };

  ~ElementReader() {
    for (PyObject* o : strings_) Py_DECREF(o);
  }

  void add(PyObject* element, const std::string& id) {
    if (PyUnicode_Check(element)) {
      expect(kStr, element, id);
      Py_ssize_t size = 0;
      const char* text = PyUnicode_AsUTF8AndSize(element, &size);
      if (text == nullptr) throw py::error_already_set();  // lone surrogates
      Py_INCREF(element);  // keeps `text` alive while the view is used
      strings_.push_back(element);
      strs_.emplace_back(text, static_cast<std::size_t>(size));
    } else {
      long long value = 0;
      bool overflow = false;
      if (!asInteger(element, value, overflow)) {
        raise(PyExc_TypeError, "sets: set " + id + ": element " + reprOf(element) + " of type " +
                                   typeName(element) + " is neither an int nor a str");
      }
      if (overflow) {
        raise(PyExc_ValueError,
              "sets: set " + id + ": element " + reprOf(element) + " does not fit in 64 bits");
      }
      expect(kInt, element, id);
      ints_.push_back(value);
    }
    if (++count_ % kSignalCheckEvery == 0) checkSignals();
  }

  std::size_t count() const { return count_; }

  int number(std::vector<int>& rows) const {
    return kind_ == kStr ? numberStrings(strs_, rows) : numberIntegers(ints_, rows);
  }

 private:
  void expect(Kind kind, PyObject* element, const std::string& id) {
    if (kind_ == kNone) kind_ = kind;
    if (kind_ != kind) {
      raise(PyExc_TypeError, "sets: set " + id + ": element " + reprOf(element) + " is " +
                                 (kind == kStr ? "a str" : "an int") +
                                 " but earlier elements are " + (kind == kStr ? "ints" : "strs"));
    }
  }

  Kind kind_ = kNone;
  std::size_t count_ = 0;
  std::vector<long long> ints_;
  std::vector<std::string_view> strs_;
  std::vector<PyObject*> strings_;
};

Instance readDict(PyObject* dict) {
  // Reading runs Python code (a set given as a generator, an element's __index__, signal
  // handlers) that may change the dict and its lists. Every object is owned while it is used,
  // and the dict's items are taken before any such code runs.
  struct Key {
    long long id;
    py::object key;
    py::object value;
    int order;
  };
  std::vector<Key> keys;
  keys.reserve(static_cast<std::size_t>(PyDict_Size(dict)));
  Py_ssize_t pos = 0;
  PyObject* key = nullptr;
  PyObject* value = nullptr;
  while (PyDict_Next(dict, &pos, &key, &value)) {
    keys.push_back({0, py::reinterpret_borrow<py::object>(key),
                    py::reinterpret_borrow<py::object>(value), static_cast<int>(keys.size())});
  }
  // A key that is not an int (a str, say) makes every key a name: columns in the dict's order,
  // ids returned as given, as instance documents with named sets are read.
  bool named = false;
  for (const Key& entry : keys) {
    long long id = 0;
    bool overflow = false;
    if (!asInteger(entry.key.ptr(), id, overflow)) named = true;
  }
  long long smallest = 0;
  for (Key& entry : keys) {
    bool overflow = false;
    PyObject* const k = entry.key.ptr();
    if (named) {
      if (PyUnicode_Check(k) == 0 && PyLong_Check(k) == 0) {
        raise(PyExc_TypeError, "sets: set id " + reprOf(k) + " of type " + typeName(k) +
                                   " is neither an int nor a str");
      }
      entry.id = entry.order;
      continue;
    }
    asInteger(k, entry.id, overflow);
    if (overflow || entry.id > INT_MAX) {
      raise(PyExc_ValueError, "sets: set id " + reprOf(k) + " is larger than 2147483647");
    }
    smallest = std::min(smallest, entry.id);
  }
  if (smallest < 0) {
    raise(PyExc_ValueError,
          "sets: negative set id " + std::to_string(smallest) + " (ids must be >= 0)");
  }
  if (!named) {
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) { return a.id < b.id; });
  }

  Instance in;
  const std::size_t n = keys.size();
  in.numSets = static_cast<int>(n);
  in.ids.resize(n);
  in.keyObjects.resize(n);
  in.dictOrder.resize(n);
  in.ownStart.reserve(n + 1);
  in.ownStart.push_back(0);
  ElementReader elements;
  for (std::size_t k = 0; k < n; ++k) {
    const Key& entry = keys[k];
    in.ids[k] = static_cast<int>(entry.id);
    in.keyObjects[k] = entry.key;
    in.dictOrder[static_cast<std::size_t>(entry.order)] = static_cast<int>(k);
    if (named) in.names.push_back(entry.key);
    const std::string who = named ? reprOf(entry.key.ptr()) : std::to_string(entry.id);
    PyObject* set = entry.value.ptr();
    if (PyUnicode_Check(set) || PyBytes_Check(set)) {
      raise(PyExc_TypeError,
            "sets: set " + who + " is a " + typeName(set) + ", not a collection of elements");
    }
    if (PyList_Check(set) || PyTuple_Check(set)) {
      // The size is read again after each element: its __index__ may have shortened the list.
      // An exact int or str runs no Python code before add() is done with it; anything else
      // (a NumPy integer, an int subclass with its own __repr__) is owned meanwhile.
      for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(set); ++i) {
        PyObject* const item = PySequence_Fast_GET_ITEM(set, i);
        if (PyLong_CheckExact(item) || PyUnicode_CheckExact(item)) {
          elements.add(item, who);
        } else {
          const py::object owned = py::reinterpret_borrow<py::object>(item);
          elements.add(item, who);
        }
      }
    } else {
      py::object it = py::reinterpret_steal<py::object>(PyObject_GetIter(set));
      if (!it) {
        PyErr_Clear();
        raise(PyExc_TypeError,
              "sets: set " + who + " is a " + typeName(set) + ", not a collection of elements");
      }
      while (PyObject* item = PyIter_Next(it.ptr())) {
        py::object owned = py::reinterpret_steal<py::object>(item);
        elements.add(item, who);
      }
      if (PyErr_Occurred()) throw py::error_already_set();
    }
    in.ownStart.push_back(static_cast<std::int64_t>(elements.count()));
  }
  in.elements = elements.number(in.ownRows);
  in.start = in.ownStart.data();
  in.rows = in.ownRows.data();
  return in;
}

template <typename T>
using Array = py::array_t<T, py::array::c_style | py::array::forcecast>;

// NumPy's conversion of `o`; its refusal (a str that is no number, a complex, an int beyond a
// double) is raised as the TypeError or ValueError it is, named after `what`.
template <typename T>
Array<T> asArray(py::handle o, const std::string& what) {
  try {
    return Array<T>(py::reinterpret_borrow<py::object>(o));
  } catch (py::error_already_set& e) {
    const bool type = e.matches(PyExc_TypeError);
    if (!type && !e.matches(PyExc_ValueError) && !e.matches(PyExc_OverflowError)) throw;
    raise(
        type ? PyExc_TypeError : PyExc_ValueError,
        what + ": not numbers NumPy can convert (" + py::str(e.value()).cast<std::string>() + ")");
  }
}

// A 1-D integer array of a sparse matrix (indptr, indices), read in place when it is what scipy
// makes (contiguous int32 or int64), else converted to int64 by NumPy. Going through the buffer
// protocol keeps a small matrix's call at a few microseconds: a NumPy conversion costs more than
// the solve of ten sets.
struct IntView {
  const void* data = nullptr;
  py::ssize_t size = 0;
  int bytes = 8;
  py::object owner;  // keeps `data` alive

  long long operator[](std::int64_t k) const {
    return bytes == 4 ? static_cast<const std::int32_t*>(data)[k]
                      : static_cast<const std::int64_t*>(data)[k];
  }
};

IntView intView(const py::object& matrix, const char* name) {
  py::object array = matrix.attr(name);
  IntView view;
  if (PyObject_CheckBuffer(array.ptr())) {
    const py::buffer_info info = py::reinterpret_borrow<py::buffer>(array).request();
    const char f = info.format.empty() ? '\0' : info.format.back();
    if (info.ndim == 1 && (f == 'i' || f == 'l' || f == 'q') &&
        (info.itemsize == 4 || info.itemsize == 8) &&
        (info.size <= 1 || info.strides[0] == info.itemsize)) {
      view.data = info.ptr;
      view.size = info.size;
      view.bytes = static_cast<int>(info.itemsize);
      view.owner = array;
      return view;
    }
  }
  Array<std::int64_t> converted = asArray<std::int64_t>(array, std::string("sets: ") + name);
  if (converted.ndim() != 1) raise(PyExc_ValueError, std::string("sets: ") + name + " is not 1-D");
  view.data = converted.data();
  view.size = converted.size();
  view.owner = converted;
  return view;
}

template <typename T>
bool anyZero(const void* data, py::ssize_t n) {
  const T* v = static_cast<const T*>(data);
  return std::find(v, v + n, T(0)) != v + n;
}

// Whether the stored values hold a 0 (which is no entry); read in place for the usual types.
bool hasStoredZero(const py::object& matrix) {
  py::object data = matrix.attr("data");
  if (PyObject_CheckBuffer(data.ptr())) {
    const py::buffer_info info = py::reinterpret_borrow<py::buffer>(data).request();
    const char f = info.format.empty() ? '\0' : info.format.back();
    if (info.ndim == 1 && (info.size <= 1 || info.strides[0] == info.itemsize)) {
      const py::ssize_t n = info.size;
      if (f == 'd' && info.itemsize == 8) return anyZero<double>(info.ptr, n);
      if (f == 'f' && info.itemsize == 4) return anyZero<float>(info.ptr, n);
      if (std::string("?bBhHiIlLqQ").find(f) != std::string::npos) {
        switch (info.itemsize) {  // integers and bool: 0 exactly when every byte is 0
          case 1:
            return anyZero<std::uint8_t>(info.ptr, n);
          case 2:
            return anyZero<std::uint16_t>(info.ptr, n);
          case 4:
            return anyZero<std::uint32_t>(info.ptr, n);
          case 8:
            return anyZero<std::uint64_t>(info.ptr, n);
          default:
            break;
        }
      }
    }
  }
  return !data.attr("all")().cast<bool>();
}

Instance readSparse(py::object matrix) {
  std::string format = py::str(matrix.attr("format"));
  if (format != "csr" && format != "csc") {
    matrix = matrix.attr("tocsc")();
    format = "csc";
  }
  const py::tuple shape = matrix.attr("shape");
  if (shape.size() != 2) raise(PyExc_ValueError, "sets: the sparse matrix is not 2-D");
  const long long numRows = shape[0].cast<long long>();
  const long long numCols = shape[1].cast<long long>();
  if (numRows >= INT_MAX || numCols >= INT_MAX) {
    raise(PyExc_ValueError, "sets: a " + std::to_string(numRows) + " x " + std::to_string(numCols) +
                                " matrix has more rows or columns than the solvers can index");
  }
  // A stored 0 is no entry: drop such values, as scipy itself does, on a copy (as bool, which
  // eliminate_zeros takes whatever the values' type: it refuses float16, for one).
  if (hasStoredZero(matrix)) {
    matrix = matrix.attr("astype")(py::bool_().get_type());
    matrix.attr("eliminate_zeros")();
  }
  const bool csc = format == "csc";
  const long long outer = csc ? numCols : numRows;  // the dimension indptr runs over
  const long long inner = csc ? numRows : numCols;

  Instance in;
  in.elements = static_cast<int>(numRows);
  in.numSets = static_cast<int>(numCols);
  const IntView ptr = intView(matrix, "indptr");
  const IntView indices = intView(matrix, "indices");
  if (ptr.size != outer + 1) {
    raise(PyExc_ValueError, "sets: indptr has " + std::to_string(ptr.size) + " values for " +
                                std::to_string(outer) + " " + (csc ? "columns" : "rows"));
  }
  if (ptr[0] != 0) raise(PyExc_ValueError, "sets: indptr[0] is " + std::to_string(ptr[0]));
  for (long long i = 0; i < outer; ++i) {
    if (ptr[i + 1] < ptr[i]) {
      raise(PyExc_ValueError, "sets: indptr[" + std::to_string(i + 1) +
                                  "] = " + std::to_string(ptr[i + 1]) + " is below indptr[" +
                                  std::to_string(i) + "] = " + std::to_string(ptr[i]));
    }
  }
  const std::int64_t entries = ptr[outer];
  if (entries > indices.size) {
    raise(PyExc_ValueError, "sets: indptr ends at " + std::to_string(entries) + " but only " +
                                std::to_string(indices.size) + " indices are stored");
  }
  const auto index = [&](std::int64_t k) -> long long {
    const long long v = indices[k];
    if (v < 0 || v >= inner) {
      raise(PyExc_ValueError, "sets: indices[" + std::to_string(k) + "] = " + std::to_string(v) +
                                  " is outside [0, " + std::to_string(inner) + ")");
    }
    return v;
  };
  if (csc) {
    // Columns are the sets already: borrow what has the right type, convert the rest.
    if (ptr.bytes == 8) {
      in.start = static_cast<const std::int64_t*>(ptr.data);
    } else {
      in.ownStart.resize(static_cast<std::size_t>(outer) + 1);
      for (long long i = 0; i <= outer; ++i) in.ownStart[i] = ptr[i];
      in.start = in.ownStart.data();
    }
    if (indices.bytes == 4) {
      in.rows = static_cast<const int*>(indices.data);  // the solver checks the range
    } else {
      in.ownRows.resize(static_cast<std::size_t>(entries));
      for (std::int64_t k = 0; k < entries; ++k) in.ownRows[k] = static_cast<int>(index(k));
      in.rows = in.ownRows.data();
    }
    in.keep = py::make_tuple(matrix, ptr.owner, indices.owner);
    return in;
  }
  // CSR: rows hold the sets of each element; one counting pass turns them into columns.
  in.ownStart.assign(static_cast<std::size_t>(numCols) + 1, 0);
  for (std::int64_t k = 0; k < entries; ++k) ++in.ownStart[index(k) + 1];
  for (long long j = 0; j < numCols; ++j) in.ownStart[j + 1] += in.ownStart[j];
  in.ownRows.resize(static_cast<std::size_t>(entries));
  std::vector<std::int64_t> fill(in.ownStart.begin(), in.ownStart.end() - 1);
  for (long long r = 0; r < numRows; ++r) {
    for (std::int64_t k = ptr[r]; k < ptr[r + 1]; ++k) {
      in.ownRows[fill[indices[k]]++] = static_cast<int>(r);
    }
  }
  in.start = in.ownStart.data();
  in.rows = in.ownRows.data();
  return in;
}

bool isSparse(py::handle o) {
  return py::hasattr(o, "tocsc") && py::hasattr(o, "format") && py::hasattr(o, "shape");
}

double checkedCost(PyObject* value, const Instance& in, int column) {
  const double c = PyFloat_AsDouble(value);
  if (c == -1.0 && PyErr_Occurred()) {
    if (PyErr_ExceptionMatches(PyExc_OverflowError)) {
      PyErr_Clear();
      raise(PyExc_ValueError, "costs: the cost of set " + in.label(column) + " (" + reprOf(value) +
                                  ") is beyond the range of a float");
    }
    if (!PyErr_ExceptionMatches(PyExc_TypeError)) throw py::error_already_set();
    PyErr_Clear();
    raise(PyExc_TypeError, "costs: the cost of set " + in.label(column) + " (" + reprOf(value) +
                               ") is not a number");
  }
  return c;
}

}  // namespace

nimbrel_tavik_util::CoverMatrix Instance::matrix() const {
  nimbrel_tavik_util::CoverMatrix m;
  m.elements = elements;
  m.sets = sets();
  m.setStart = start;
  m.elementIndex = rows;
  m.costs = costs.empty() ? nullptr : costs.data();
  return m;
}

std::map<int, std::set<int>> Instance::mapForm() const {
  std::map<int, std::set<int>> out;
  const int n = sets();
  for (int j = 0; j < n; ++j)
    out.emplace_hint(out.end(), idOf(j), std::set<int>(rows + start[j], rows + start[j + 1]));
  return out;
}

py::object Instance::idObject(int column) const {
  if (!names.empty()) return names[static_cast<std::size_t>(column)];
  return py::int_(idOf(column));
}

std::string Instance::label(int column) const {
  if (file && !file->setNames.empty()) {
    return reprOf(py::str(file->setNames[static_cast<std::size_t>(column)]).ptr());
  }
  if (!names.empty()) return reprOf(names[static_cast<std::size_t>(column)].ptr());
  return std::to_string(idOf(column));
}

Instance readInstance(py::handle sets) {
  if (PyDict_Check(sets.ptr())) return readDict(sets.ptr());
  if (py::isinstance<FileInstance>(sets)) {
    const FileInstance& f = sets.cast<const FileInstance&>();
    Instance in;
    in.file = f.instance;
    in.keep = py::reinterpret_borrow<py::object>(sets);
    in.elements = f.instance->elements;
    in.numSets = f.instance->sets();
    in.start = f.instance->setStart.data();
    in.rows = f.instance->elementIndex.data();
    if (f.instance->setNames.empty()) {
      in.ids = f.instance->setIds;
    } else {
      in.names.reserve(f.instance->setNames.size());
      for (const std::string& n : f.instance->setNames) in.names.push_back(py::str(n));
    }
    return in;
  }
  if (isSparse(sets)) {
    return readSparse(py::reinterpret_borrow<py::object>(sets));
  }
  raise(PyExc_TypeError,
        "sets must be a dict of id -> elements, a scipy.sparse matrix or an Instance, not " +
            typeName(sets.ptr()));
}

void readCosts(Instance& in, py::handle costs) {
  const int n = in.sets();
  in.costs.assign(static_cast<std::size_t>(n), 0.0);
  if (PyDict_Check(costs.ptr())) {
    for (int j = 0; j < n; ++j) {
      py::object key = in.keyObjects.empty() ? py::object(py::int_(j))
                                             : in.keyObjects[static_cast<std::size_t>(j)];
      PyObject* found = PyDict_GetItemWithError(costs.ptr(), key.ptr());
      if (found == nullptr) {
        if (PyErr_Occurred()) throw py::error_already_set();
        raise(PyExc_ValueError, "costs: no cost for set " + in.label(j));
      }
      // Owned: its __float__ may remove it from the dict.
      const py::object value = py::reinterpret_borrow<py::object>(found);
      in.costs[j] = checkedCost(value.ptr(), in, j);
    }
    if (PyDict_Size(costs.ptr()) != n) {
      Py_ssize_t pos = 0;
      PyObject* key = nullptr;
      PyObject* value = nullptr;
      std::vector<py::object> ids;
      while (PyDict_Next(costs.ptr(), &pos, &key, &value)) {
        ids.push_back(py::reinterpret_borrow<py::object>(key));
      }
      for (const py::object& owned : ids) {
        key = owned.ptr();
        bool known = false;
        long long id = 0;
        bool overflow = false;
        if (!in.names.empty()) {
          known = false;  // every name was looked up above; this key is another
        } else if (asInteger(key, id, overflow) && !overflow && id >= 0 && id <= INT_MAX) {
          if (in.ids.empty()) {
            known = id < n;
          } else {
            known = std::binary_search(in.ids.begin(), in.ids.end(), static_cast<int>(id));
          }
        }
        if (!known) raise(PyExc_ValueError, "costs: " + reprOf(key) + " is not a set id");
      }
    }
  } else {
    const Array<double> values = asArray<double>(costs, "costs");
    if (values.ndim() != 1 || values.size() != n) {
      raise(PyExc_ValueError, "costs: " + std::to_string(values.size()) + " values in " +
                                  std::to_string(values.ndim()) + " dimension(s) for " +
                                  std::to_string(n) + " sets");
    }
    for (int i = 0; i < n; ++i) {
      const int column = in.dictOrder.empty() ? i : in.dictOrder[static_cast<std::size_t>(i)];
      in.costs[column] = values.data()[i];
    }
  }
  for (int j = 0; j < n; ++j) {
    const double c = in.costs[j];
    if (!std::isfinite(c) || c < 0.0) {
      raise(PyExc_ValueError, "costs: the cost of set " + in.label(j) + " is " +
                                  py::str(py::float_(c)).cast<std::string>() +
                                  " (costs must be finite and >= 0)");
    }
  }
}

}  // namespace ntu_python
