// solve and solve_within: the set-cover solvers from Python.
#pragma once

#include <pybind11/pybind11.h>

namespace ntu_python {

namespace py = pybind11;

void bindSolvers(py::module_& m);

}  // namespace ntu_python
