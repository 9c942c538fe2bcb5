// The extension module nimbrel_tavik_util._core; nimbrel_tavik_util/__init__.py re-exports it.
#include <pybind11/pybind11.h>

#include <stdexcept>
#include <string>

#include "documents.hpp"
#include "gil.hpp"
#include "instance_file.hpp"
#include "interrupt.hpp"
#include "nimbrel_tavik_util/logger.hpp"
#include "nimbrel_tavik_util/version.hpp"
#include "solve.hpp"

namespace py = pybind11;
namespace ntu = nimbrel_tavik_util;
using ntu_python::interpreterExiting;

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
  if (interpreterExiting()) {
    // Logger then writes the line to standard error itself.
    throw std::runtime_error("no interpreter");
  }
  ntu_python::GilHeld gil;
  try {
    // Lines may quote bytes of a file or a path that are not UTF-8: they arrive escaped
    // (\xff), not as a line that logging cannot take.
    py::object text = py::reinterpret_steal<py::object>(PyUnicode_DecodeUTF8(
        line.data(), static_cast<Py_ssize_t>(line.size()), "backslashreplace"));
    if (!text) throw py::error_already_set();
    const py::tuple args = py::make_tuple(pythonLevel(level), text);
    const py::object log = g_logger->attr("log");
    const py::object done =
        py::reinterpret_steal<py::object>(ntu_python::callPython(log.ptr(), args.ptr()));
    if (!done) throw py::error_already_set();
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
  ntu_python::bindInstanceFiles(m);
  ntu_python::bindDocuments(m);
  installLogging(m);
}
