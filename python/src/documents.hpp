// Documents and poses from Python: JSON documents as dicts and lists, the readers and the pose
// functions.
#pragma once

#include <pybind11/pybind11.h>

namespace ntu_python {

namespace py = pybind11;

void bindDocuments(py::module_& m);

}  // namespace ntu_python
