#include "instance_file.hpp"

#include <pybind11/stl.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gil.hpp"
#include "instance.hpp"
#include "nimbrel_tavik_util/set_cover_io.hpp"

namespace ntu_python {

namespace {

namespace ntu = nimbrel_tavik_util;

[[noreturn]] void raise(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw py::error_already_set();
}

// A path as open() takes it: str, bytes or path-like, bytes kept as they are.
std::string pathOf(py::handle path) {
  const py::object fs = py::reinterpret_steal<py::object>(PyOS_FSPath(path.ptr()));
  if (!fs) throw py::error_already_set();
  PyObject* bytes = nullptr;
  if (PyUnicode_FSConverter(fs.ptr(), &bytes) == 0) throw py::error_already_set();
  const py::object owned = py::reinterpret_steal<py::object>(bytes);
  return std::string(PyBytes_AS_STRING(bytes), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes)));
}

FileInstance readInstanceFile(py::handle path, std::optional<std::string> format) {
  const std::string p = pathOf(path);
  std::optional<ntu::InstanceFormat> f;
  if (format) {
    f = ntu::instanceFormatFromName(*format);
    if (!f) {
      std::size_t n = 0;
      const ntu::InstanceFormatInfo* table = ntu::instanceFormatTable(n);
      std::string names;
      for (std::size_t i = 0; i < n; ++i) names += (i > 0 ? ", " : "") + std::string(table[i].name);
      raise(PyExc_ValueError, "format must be None or one of " + names + ", not '" + *format + "'");
    }
  }
  const std::string shown = py::str(path).cast<std::string>();
  auto instance = std::make_shared<ntu::CoverInstance>();
  ntu::InstanceFormat used = ntu::InstanceFormat::orlib;
  std::string error;
  bool fileError = false;
  withoutGil([&] {
    try {
      const ntu::InstanceText text(p);
      used = f          ? *f
             : p == "-" ? ntu::instanceFormatFromText(text.text(), ntu::InstanceFormat::orlib)
                        : ntu::instanceFormatFromPath(p);
      *instance = ntu::readInstanceText(text.text(), used);
    } catch (const ntu::NoCoverError& e) {
      error = shown + ": " + (e.where().empty() ? "" : e.where() + ": ") +
              "no cover exists: " + e.what();
    } catch (const ntu::InstanceError& e) {
      // An empty where() is the file as a whole: it could not be opened or read.
      fileError = e.where().empty() && std::string(e.what()).rfind("compressed", 0) != 0;
      error = shown + ": " + (e.where().empty() ? "" : e.where() + ": ") + e.what();
    }
  });
  if (!error.empty()) raise(fileError ? PyExc_OSError : PyExc_ValueError, error);
  return FileInstance{std::move(instance), ntu::instanceFormatName(used), shown};
}

py::list setIds(const FileInstance& f) {
  py::list out;
  const ntu::CoverInstance& c = *f.instance;
  for (int j = 0; j < c.sets(); ++j) {
    if (c.setNames.empty()) {
      out.append(py::int_(c.setIds[static_cast<std::size_t>(j)]));
    } else {
      out.append(py::str(c.setNames[static_cast<std::size_t>(j)]));
    }
  }
  return out;
}

// {set id: [element, ...]} with the ids of set_ids and the elements as the file labels them.
py::dict toDict(const FileInstance& f) {
  const ntu::CoverInstance& c = *f.instance;
  std::vector<py::object> labels;
  labels.reserve(static_cast<std::size_t>(c.elements));
  for (int row = 0; row < c.elements; ++row) {
    const auto r = static_cast<std::size_t>(row);
    if (c.elementNames.empty()) {
      labels.push_back(py::int_(r < c.elementLabels.size() ? c.elementLabels[r] : row));
    } else {
      labels.push_back(py::str(c.elementNames[r]));
    }
  }
  const py::list ids = setIds(f);
  py::dict out;
  for (int j = 0; j < c.sets(); ++j) {
    const auto begin = c.setStart[static_cast<std::size_t>(j)];
    const auto end = c.setStart[static_cast<std::size_t>(j) + 1];
    py::list members(static_cast<std::size_t>(end - begin));
    for (auto k = begin; k < end; ++k) {
      members[static_cast<std::size_t>(k - begin)] =
          labels[static_cast<std::size_t>(c.elementIndex[static_cast<std::size_t>(k)])];
    }
    out[ids[static_cast<std::size_t>(j)]] = members;
  }
  return out;
}

}  // namespace

void bindInstanceFiles(py::module_& m) {
  py::class_<FileInstance>(m, "Instance", R"doc(
An instance file read by read_instance, held in the library's column-compressed form (no
Python objects per entry). solve and solve_within take it as ``sets``.

set_ids      the id of each set, in column order: OR-Library, rail and Steiner columns 1..n,
             a document's int keys ascending, or the names of named sets (a document's keys,
             a model's columns) as str
costs        one cost per set, in column order (1.0 each when the file has none); pass it as
             solve_within's ``costs`` to minimise them
has_costs    whether the file gave costs
elements     the number of elements (rows; the library numbers them in ascending element
             order, OR-Library rows 1..m as 0..m-1)
sets         the number of sets
entries      the number of (set, element) pairs
format       the format it was read in ("orlib", "rail", "steiner", "json", "yaml", "mps", "lp")
path         the path as given
)doc")
      .def_property_readonly("set_ids", &setIds)
      .def_property_readonly("costs", [](const FileInstance& f) { return f.instance->costs; })
      .def_property_readonly("has_costs",
                             [](const FileInstance& f) { return f.instance->hasCosts; })
      .def_property_readonly("elements", [](const FileInstance& f) { return f.instance->elements; })
      .def_property_readonly("sets", [](const FileInstance& f) { return f.instance->sets(); })
      .def_property_readonly("entries", [](const FileInstance& f) { return f.instance->entries(); })
      .def_readonly("format", &FileInstance::format)
      .def_readonly("path", &FileInstance::path)
      .def("to_dict", &toDict, R"doc(
The sets as a dict {set id: [element, ...]}: ids as in ``set_ids``, elements as the file labels
them (OR-Library, rail and Steiner rows 1..m; a document's elements; a model's row names), each
list ascending in the library's row order. O(entries) Python objects: for inspection and
plotting, not needed to solve (solve and solve_within take the instance itself).
)doc")
      .def("__len__", [](const FileInstance& f) { return f.instance->sets(); })
      .def("__repr__", [](const FileInstance& f) {
        return "Instance(path=" + py::repr(py::str(f.path)).cast<std::string>() + ", format='" +
               f.format + "', sets=" + std::to_string(f.instance->sets()) +
               ", elements=" + std::to_string(f.instance->elements) +
               ", entries=" + std::to_string(f.instance->entries()) + ")";
      });

  m.def("read_instance", &readInstanceFile, py::arg("path"), py::arg("format") = py::none(), R"doc(
Read a set-cover instance file with the library's readers (those of set_cover_solve) into an
Instance that solve and solve_within take.

``path`` is str, bytes or path-like ("-": standard input); gzip-compressed files are read
transparently. ``format`` is None (by the file name, as set_cover_solve chooses: .json,
.yaml/.yml, .mps, .lp, .stn or data.N, railN or .rail, OR-Library otherwise; standard input by
its first words) or one of "orlib", "rail", "steiner", "json", "yaml", "mps", "lp".

The GIL is released while reading; the 175 MB OR-Library file reads in about the time the C++
reader takes (the instance stays in C++ arrays).

Raises OSError when the file cannot be opened or read; ValueError for an unknown format and for
malformed input (the message names the file, the line or JSON pointer, and what is wrong; an
MPS or LP model that is not set covering names the row or column that breaks it; an element in
no set says "no cover exists").
)doc");
}

}  // namespace ntu_python
