// The extension module nimbrel_tavik_util._core; nimbrel_tavik_util/__init__.py re-exports it.
#include <pybind11/pybind11.h>

#include <stdexcept>
#include <string>

#include "documents.hpp"
#include "interrupt.hpp"
#include "nimbrel_tavik_util/logger.hpp"
#include "nimbrel_tavik_util/version.hpp"
#include "solve.hpp"

namespace py = pybind11;
namespace ntu = nimbrel_tavik_util;

namespace {

// The logger the library's lines go to. Never destroyed: lines may come while the interpreter
// shuts down, and the sink is reset before that (atexit).
py::object* g_logger = nullptr;

int pythonLevel(ntu::Logger::Level level) {
  switch (level) {
    case ntu::Logger::DEBUG:
      return 10;
    case ntu::Logger::INFO:
      return 20;
    case ntu::Logger::WARNING:
      return 30;
    default:
      return level < ntu::Logger::DEBUG ? 10 : 40;
  }
}

void forwardLine(ntu::Logger::Level level, const std::string& line) {
#if PY_VERSION_HEX >= 0x030D0000
  const bool finalizing = Py_IsFinalizing();
#else
  const bool finalizing = _Py_IsFinalizing();
#endif
  if (!Py_IsInitialized() || finalizing) {
    // Logger then writes the line to standard error itself.
    throw std::runtime_error("no interpreter");
  }
  py::gil_scoped_acquire gil;
  try {
    g_logger->attr("log")(pythonLevel(level), line);
  } catch (py::error_already_set& e) {
    if (e.matches(PyExc_KeyboardInterrupt)) {
      // A Ctrl-C handled inside logging: raise it again where the caller can see it.
      PyErr_SetInterrupt();
    } else {
      e.discard_as_unraisable("nimbrel_tavik_util logging");
    }
  }
}

void installLogging(py::module_& m) {
  g_logger = new py::object(py::module_::import("logging").attr("getLogger")("nimbrel_tavik_util"));
  // Python's logger configuration decides what is shown, DEBUG lines included.
  ntu::Logger::setLevel(ntu::Logger::DEBUG);
  ntu::Logger::setSink(&forwardLine);
  py::module_::import("atexit").attr("register")(
      py::cpp_function([] { ntu::Logger::resetSink(); }));
  m.attr("LOGGER_NAME") = "nimbrel_tavik_util";
}

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "Set cover solvers, JSON/YAML documents and pose geometry (C++ extension).";
  m.attr("__version__") = NIMBREL_TAVIK_UTIL_VERSION_STRING;
  ntu_python::rememberMainThread();
  ntu_python::bindSolvers(m);
  ntu_python::bindDocuments(m);
  installLogging(m);
}
