#include "documents.hpp"

#include <pybind11/stl.h>

#include <yaml-cpp/exceptions.h>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ios>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "gil.hpp"
#include "nimbrel_tavik_util/geometry.hpp"
#include "nimbrel_tavik_util/reader.hpp"

namespace ntu_python {

namespace {

namespace ntu = nimbrel_tavik_util;
using nlohmann::json;

// The depth the library's readers and saveJson accept; deeper (or cyclic) Python objects are
// refused before anything is written.
constexpr int kMaxDepth = 500;

// Messages may hold a path's or a parser's bytes that are not UTF-8: those are escaped (\xff).
[[noreturn]] void raise(PyObject* type, const std::string& message) {
  PyObject* text = PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()),
                                        "backslashreplace");
  if (text != nullptr) {
    PyErr_SetObject(type, text);
    Py_DECREF(text);
  }
  throw py::error_already_set();
}

json toJson(py::handle o, std::string& path, int depth) {
  if (depth > kMaxDepth) {
    raise(PyExc_ValueError,
          "document nested deeper than 500 levels (or containing itself) at " + path);
  }
  // Owned: converting an element may run Python code (__index__) that drops this container
  // from its parent.
  const py::object self = py::reinterpret_borrow<py::object>(o);
  PyObject* p = o.ptr();
  if (p == Py_None) return nullptr;
  if (PyBool_Check(p)) return p == Py_True;
  if (PyFloat_Check(p)) {
    // As json.dumps(allow_nan=False): JSON has no NaN or infinity, and writing null instead
    // would lose the value without a word.
    const double v = PyFloat_AS_DOUBLE(p);
    if (!std::isfinite(v)) {
      raise(PyExc_ValueError, "the float " + py::repr(o).cast<std::string>() + " at " + path +
                                  " is not a JSON number (NaN and infinities are refused)");
    }
    return v;
  }
  if (PyLong_Check(p) || (PyIndex_Check(p) && !PySequence_Check(p))) {  // NumPy integers too
    py::int_ value = py::reinterpret_steal<py::int_>(PyNumber_Index(p));
    if (!value) throw py::error_already_set();
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow == 0) return static_cast<std::int64_t>(v);
    const unsigned long long u = PyLong_AsUnsignedLongLong(value.ptr());
    if (u == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
      PyErr_Clear();
      raise(PyExc_ValueError, "the integer at " + path + " does not fit in 64 bits");
    }
    return static_cast<std::uint64_t>(u);
  }
  if (PyUnicode_Check(p)) {
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(p, &size);
    if (text == nullptr) throw py::error_already_set();
    return std::string(text, static_cast<std::size_t>(size));
  }
  if (PyDict_Check(p)) {
    json out = json::object();
    const std::size_t mark = path.size();
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(p, &pos, &key, &value)) {
      if (!PyUnicode_Check(key)) {
        raise(PyExc_TypeError,
              "the key " + py::repr(key).cast<std::string>() + " at " + path + " is not a str");
      }
      std::string name = py::reinterpret_borrow<py::str>(key);
      const py::object member = py::reinterpret_borrow<py::object>(value);
      path += "." + name;
      out[name] = toJson(member, path, depth + 1);
      path.resize(mark);
    }
    return out;
  }
  if (PyList_Check(p) || PyTuple_Check(p)) {
    json out = json::array();
    const std::size_t mark = path.size();
    const Py_ssize_t size = PySequence_Fast_GET_SIZE(p);
    for (Py_ssize_t i = 0; i < size; ++i) {
      path += "[" + std::to_string(i) + "]";
      // A reference, so that a list shrunk by its own elements' conversion stays valid.
      py::object item = py::reinterpret_borrow<py::object>(PySequence_Fast_GET_ITEM(p, i));
      out.push_back(toJson(item, path, depth + 1));
      path.resize(mark);
      if (PySequence_Fast_GET_SIZE(p) != size) {
        raise(PyExc_RuntimeError, "the list at " + path + " changed size while converted");
      }
    }
    return out;
  }
  raise(PyExc_TypeError, "the " + std::string(Py_TYPE(p)->tp_name) + " at " + path +
                             " is not a JSON value (dict, list, tuple, str, int, float, bool or "
                             "None)");
}

py::object fromJson(const json& j) {
  switch (j.type()) {
    case json::value_t::null:
      return py::none();
    case json::value_t::boolean:
      return py::bool_(j.get<bool>());
    case json::value_t::number_integer:
      return py::int_(j.get<std::int64_t>());
    case json::value_t::number_unsigned:
      return py::int_(j.get<std::uint64_t>());
    case json::value_t::number_float:
      return py::float_(j.get<double>());
    case json::value_t::string:
      return py::str(j.get_ref<const std::string&>());
    case json::value_t::array: {
      py::list out(j.size());
      std::size_t i = 0;
      for (const json& v : j) out[i++] = fromJson(v);
      return std::move(out);
    }
    case json::value_t::object: {
      py::dict out;
      for (auto it = j.begin(); it != j.end(); ++it) out[py::str(it.key())] = fromJson(it.value());
      return std::move(out);
    }
    default:  // binary values: no reader makes them
      raise(PyExc_ValueError, "binary values have no Python form");
  }
}

// A path (str, bytes or path-like) as the bytes the file system sees, as open() takes it: a str
// through the file system encoding (surrogate escapes give back bytes that are not UTF-8).
std::string pathOf(py::handle path) {
  const py::bytes encoded = py::module_::import("os").attr("fsencode")(path);
  std::string bytes = encoded;
  if (bytes.find('\0') != std::string::npos) raise(PyExc_ValueError, "embedded null byte");
  return bytes;
}

// The path as OSError shows it: a str, with surrogate escapes where it is not UTF-8.
py::object displayPath(const std::string& path) {
  return py::module_::import("os").attr("fsdecode")(py::bytes(path));
}

// The OSError (a subclass such as FileNotFoundError, chosen by errno) for a file that could not be
// read.
[[noreturn]] void raiseFileError(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  int code = EIO;
  const fs::file_status status = fs::status(path, ec);
  if (ec || !fs::exists(status)) {
    code = ENOENT;
  } else if (fs::is_directory(status)) {
    code = EISDIR;
  } else if (!std::ifstream(path)) {
    code = errno != 0 ? errno : EACCES;
  }
  py::object error =
      py::module_::import("builtins")
          .attr("OSError")(code, std::string(std::strerror(code)), displayPath(path));
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
  throw py::error_already_set();
}

py::object readJson(py::handle pathObject) {
  const std::string path = pathOf(pathObject);
  json doc;
  withoutGil([&] { doc = ntu::Reader::readJson(path); });
  return fromJson(doc);
}

void saveJson(py::handle obj, py::handle pathObject, int indent) {
  const std::string path = pathOf(pathObject);
  std::string where = "$";
  const json doc = toJson(obj, where, 1);
  withoutGil([&] { ntu::Reader::saveJson(doc, path, indent); });
}

py::object readYamlToJson(py::handle pathObject) {
  const std::string path = pathOf(pathObject);
  json doc;
  try {
    withoutGil([&] { doc = ntu::Reader::readYamlToJson(path); });
  } catch (const YAML::BadFile&) {
    raiseFileError(path);
  } catch (const std::ios_base::failure&) {  // a folder
    raiseFileError(path);
  } catch (const YAML::Exception& e) {  // parse errors and keys that are not scalars
    raise(PyExc_ValueError, path + ": " + e.what());
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::runtime_error& e) {  // the converter's errors, with the node's path
    raise(PyExc_ValueError, path + ": " + e.what());
  }
  return fromJson(doc);
}

std::array<double, 3> readVector(py::handle v, std::size_t n, const char* name,
                                 std::array<double, 4>& out) {
  if (!PySequence_Check(v.ptr()) || PyUnicode_Check(v.ptr())) {
    raise(PyExc_TypeError,
          std::string(name) + " must be a sequence of " + std::to_string(n) + " numbers");
  }
  py::sequence seq = py::reinterpret_borrow<py::sequence>(v);
  if (static_cast<std::size_t>(py::len(seq)) != n) {
    raise(PyExc_ValueError, std::string(name) + " has " + std::to_string(py::len(seq)) +
                                " values, not " + std::to_string(n));
  }
  for (std::size_t i = 0; i < n; ++i) {
    py::object item = seq[i];
    const double d = PyFloat_AsDouble(item.ptr());
    if (d == -1.0 && PyErr_Occurred()) throw py::error_already_set();
    out[i] = d;
  }
  return {out[0], out[1], out[2]};
}

py::tuple rotateByQuat(py::handle v, py::handle q) {
  std::array<double, 4> vv{};
  std::array<double, 4> qq{};
  const std::array<double, 3> vec = readVector(v, 3, "v", vv);
  readVector(q, 4, "q", qq);
  const std::array<double, 3> r = ntu::rotateByQuat(vec, qq[0], qq[1], qq[2], qq[3]);
  return py::make_tuple(r[0], r[1], r[2]);
}

// The first three elements of a pose member as the library sees them: numbers stay numbers,
// anything else becomes a value that is not one. Other members and further elements play no
// part in the library's decision, so they are neither converted nor required to be JSON.
json memberForOffset(PyObject* member) {
  if (!PyList_Check(member) && !PyTuple_Check(member)) return "not an array";
  json out = json::array();
  const Py_ssize_t size = std::min<Py_ssize_t>(PySequence_Fast_GET_SIZE(member), 3);
  for (Py_ssize_t i = 0; i < size; ++i) {
    PyObject* item = PySequence_Fast_GET_ITEM(member, i);
    if (PyFloat_Check(item)) {
      out.push_back(PyFloat_AS_DOUBLE(item));
    } else if (PyLong_Check(item) && !PyBool_Check(item)) {
      int overflow = 0;
      const long long v = PyLong_AsLongLongAndOverflow(item, &overflow);
      if (overflow == 0) {
        out.push_back(static_cast<std::int64_t>(v));
      } else {
        out.push_back(PyLong_AsDouble(item));  // beyond 64 bits: the double the JSON reader makes
        if (PyErr_Occurred()) {
          PyErr_Clear();
          out.back() = std::copysign(INFINITY, overflow);
        }
      }
    } else {
      out.push_back(nullptr);
    }
  }
  return out;
}

py::dict applyOrientationOffset(py::handle pose, double offset) {
  if (!PyDict_Check(pose.ptr())) {
    raise(PyExc_TypeError, std::string("pose must be a dict, not ") + Py_TYPE(pose.ptr())->tp_name);
  }
  py::dict out = py::reinterpret_steal<py::dict>(PyDict_Copy(pose.ptr()));
  if (!out) throw py::error_already_set();
  PyObject* endPose = PyDict_GetItemString(pose.ptr(), "end_pose");
  PyObject* force = PyDict_GetItemString(pose.ptr(), "force_vector");
  if (endPose == nullptr || force == nullptr) return out;
  json doc = json::object();
  doc["end_pose"] = memberForOffset(endPose);
  doc["force_vector"] = memberForOffset(force);
  ntu::applyOrientationOffset(doc, offset);
  // The library either leaves the document alone or stores all three values as floats.
  const json& after = doc["end_pose"];
  if (!after.is_array() || after.size() < 3 || !after[0].is_number_float() ||
      !after[1].is_number_float() || !after[2].is_number_float()) {
    return out;
  }
  py::list moved = py::reinterpret_steal<py::list>(PySequence_List(endPose));
  if (!moved) throw py::error_already_set();
  for (std::size_t i = 0; i < 3; ++i) moved[i] = py::float_(after[i].get<double>());
  out["end_pose"] = moved;
  return out;
}

// iter_poses: the poses of a pose log pulled one at a time through ntu::PoseStream, with the GIL
// released while the file is read.
class PoseIterator {
 public:
  explicit PoseIterator(std::string path) : path_(std::move(path)) {
    try {
      stream_ = std::make_unique<ntu::PoseStream>(path_);
    } catch (const std::runtime_error&) {
      raiseFileError(path_);
    }
  }

  py::tuple next() {
    if (busy_) raise(PyExc_RuntimeError, "iter_poses: the iterator is in use by another thread");
    if (!stream_) throw py::stop_iteration();
    busy_ = true;
    json pose;
    bool more = false;
    std::string error;
    bool outOfMemory = false;
    {
      // The exceptions are caught here, so that busy_ is cleared with the GIL held.
      py::gil_scoped_release release;
      try {
        more = stream_->next(pose);
      } catch (const std::bad_alloc&) {
        outOfMemory = true;
      } catch (const std::exception& e) {
        error = e.what();
      }
    }
    busy_ = false;
    if (outOfMemory) throw std::bad_alloc();
    if (!error.empty() || !more) stream_.reset();  // the file is closed at once
    if (!error.empty()) raise(PyExc_ValueError, error);
    if (!more) throw py::stop_iteration();
    return py::make_tuple(pose_++, fromJson(pose));
  }

 private:
  std::string path_;
  std::unique_ptr<ntu::PoseStream> stream_;
  std::size_t pose_ = 0;
  bool busy_ = false;  // changed with the GIL held
};

void bindPoseIterator(py::module_& m) {
  py::class_<PoseIterator>(m, "PoseIterator", "Iterator of iter_poses: (index, pose) pairs.")
      .def("__iter__", [](py::object self) { return self; })
      .def("__next__", &PoseIterator::next);
  m.def(
      "iter_poses", [](py::handle path) { return PoseIterator(pathOf(path)); }, py::arg("path"),
      R"doc(
Iterate over the poses of the pose log at ``path`` (``str`` or path-like) one at a time, as
``(index, pose)`` pairs, in memory bounded by the largest pose whatever the file's size (the C++
Reader::forEachPose and PoseStream).

A path ending in ``.json`` is read as JSON, any other as YAML. Each pose is the element of the
top-level ``pose_info`` that read_json or read_yaml_to_json would give (dict, list, str, int,
float, bool, None); no lines are logged. A file without ``pose_info`` gives no poses. Stopping
early (``break``) reads no further; the file is closed when the iterator is exhausted, fails or
is garbage collected.

Raises OSError (FileNotFoundError, IsADirectoryError, PermissionError) when the file cannot be
read, at the call; ValueError while iterating for a broken file, naming the file, the pose
(``pose_info[3]``) and the line; RuntimeError when another thread is inside the same iterator.
)doc");
}

}  // namespace

void bindDocuments(py::module_& m) {
  bindPoseIterator(m);
  m.def("read_json", &readJson, py::arg("path"), R"doc(
Read the first JSON value of the file at ``path`` (``str``, ``bytes`` or path-like, as ``open``
takes it; a NUL in it raises ValueError).

Returns the document as Python objects (dict, list, str, int, float, bool, None); objects come
with their keys sorted. A file that cannot be opened or parsed (syntax error, invalid UTF-8,
nesting deeper than 500 levels) gives an empty dict and one ERROR line on the
``nimbrel_tavik_util`` logger, as the C++ Reader::readJson does; nothing is raised. Bytes of the
file or the path that are not UTF-8 are escaped in that line (``\xff``).
)doc");
  m.def("save_json", &saveJson, py::arg("obj"), py::arg("path"), py::arg("indent") = 4, R"doc(
Write ``obj`` as JSON to ``path``, replacing the file atomically (parent folders are created).

``indent`` blanks per level, any width (negative: one line). ``path`` is a ``str``, ``bytes`` or
path-like, as ``open`` takes it: a NUL in it raises ValueError("embedded null byte"). ``obj`` is
made of dicts with str keys, lists, tuples, str, int (64 bits), finite float, bool and None.
Raises TypeError for any other object or key, ValueError for a NaN or infinite float (as
``json.dumps(allow_nan=False)``; the C++ Reader::saveJson writes them as null), an int beyond 64
bits or nesting deeper than 500 levels (a list that contains itself), before anything is written
(the message names where, such as ``$.pose[2]``). A file that
cannot be written is not raised: it is logged as an ERROR line, as the C++ Reader::saveJson does;
success logs INFO "Saved JSON: <path>".
)doc");
  m.def("read_yaml_to_json", &readYamlToJson, py::arg("path"), R"doc(
Load the YAML file at ``path`` and convert it to JSON values (dict, list, str, int, float, bool,
None), as the C++ Reader::readYamlToJson does: scalars become int, float or bool where they read as
one, else str; map members come sorted by name. Its progress lines go to the logger at INFO.

``path`` as for read_json. Raises OSError (FileNotFoundError, IsADirectoryError, PermissionError)
when the file cannot be read, and ValueError for a NUL in the path, a YAML syntax error or a node
that cannot be converted (the message names the file, the line or the node's path such as
``$.pose_info[3].end_pose``).
)doc");
  m.def("rotate_by_quat", &rotateByQuat, py::arg("v"), py::arg("q"), R"doc(
Rotate the 3-vector ``v`` by the quaternion ``q`` = (x, y, z, w), vector part first; returns a
tuple of three floats. The quaternion is used as given (not normalised). Raises ValueError when
``v`` has not 3 or ``q`` not 4 values, TypeError for values that are not numbers.
)doc");
  m.def("apply_orientation_offset", &applyOrientationOffset, py::arg("pose"), py::arg("offset"),
        R"doc(
Return a copy of ``pose`` whose ``end_pose`` is moved by ``offset`` along the unit vector of its
``force_vector`` (the first three values of each; they become floats).

The pose is returned unchanged (as a shallow copy) when a member is missing, is not a list or
tuple of at least three numbers (bool is not a number), when the force vector is shorter than
1e-9, or when a value or ``offset`` is infinite or NaN, as the C++ applyOrientationOffset leaves
its document. ``pose`` itself is never modified; a moved ``end_pose`` is a new list that keeps
the elements after the third. Raises TypeError when ``pose`` is not a dict.
)doc");
}

}  // namespace ntu_python
