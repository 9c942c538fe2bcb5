// read_instance and its Instance: the library's instance files from Python.
#pragma once

#include <pybind11/pybind11.h>

namespace ntu_python {

namespace py = pybind11;

void bindInstanceFiles(py::module_& m);

}  // namespace ntu_python
