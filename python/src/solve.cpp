#include "solve.hpp"

#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gil.hpp"
#include "instance.hpp"
#include "interrupt.hpp"
#include "nimbrel_tavik_util/set_cover.hpp"

namespace ntu_python {

namespace {

namespace ntu = nimbrel_tavik_util;
using Clock = std::chrono::steady_clock;

[[noreturn]] void raise(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw py::error_already_set();
}

double relativeGap(double cost, double bound) { return cost > 0.0 ? (cost - bound) / cost : 0.0; }

struct Progress {
  double seconds = 0.0;
  double bestCost = 0.0;
  double lowerBound = 0.0;
  long long nodes = 0;
};

struct Result {
  py::list ids;
  double cost = 0.0;
  double lowerBound = 0.0;
  bool optimal = false;
  double gap = 0.0;
  long long nodes = 0;
  double seconds = 0.0;
  std::string stopped;
};

ntu::SolveMethod methodOf(const std::string& method) {
  if (method == "greedy") return ntu::GREEDY;
  if (method == "ilp") return ntu::ILP;
  if (method == "propagate") return ntu::PROPAGATE;
  raise(PyExc_ValueError, "method must be 'greedy', 'ilp' or 'propagate', not '" + method + "'");
}

// A matrix row in no column is an element no cover can hold; the map form would silently drop
// it from the universe, so it is refused as solve_within refuses it.
void requireRowsCovered(const Instance& in) {
  std::vector<char> seen(static_cast<std::size_t>(in.elements), 0);
  for (std::int64_t k = 0; k < in.start[in.sets()]; ++k) {
    const int r = in.rows[k];
    if (r < 0 || r >= in.elements) {
      raise(PyExc_ValueError, "sets: row " + std::to_string(r) + " is outside [0, " +
                                  std::to_string(in.elements) + ")");
    }
    seen[static_cast<std::size_t>(r)] = 1;
  }
  for (int r = 0; r < in.elements; ++r) {
    if (seen[static_cast<std::size_t>(r)] == 0) {
      raise(PyExc_ValueError, "sets: element " + std::to_string(r) + " is in no set");
    }
  }
}

py::list solve(py::handle sets, const std::string& method, bool continuity) {
  const ntu::SolveMethod m = methodOf(method);
  const Instance in = readInstance(sets);
  if (in.ids.empty()) requireRowsCovered(in);
  const std::map<int, std::set<int>> instance = in.mapForm();
  std::vector<int> ids;
  withoutGil([&] { ids = ntu::SetCoverSolver<int>::solve(instance, m, continuity); });
  // Ctrl-C during the call (which cannot be stopped) is raised now.
  if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  py::list out;
  for (const int id : ids) out.append(in.names.empty() ? py::int_(id) : in.idObject(id));
  return out;
}

// The column of a warm-start id: an int id of the instance, or a name of a named one.
int startColumn(const Instance& in, py::handle id) {
  if (!in.names.empty()) {
    for (int j = 0; j < in.sets(); ++j) {
      const int eq =
          PyObject_RichCompareBool(in.names[static_cast<std::size_t>(j)].ptr(), id.ptr(), Py_EQ);
      if (eq < 0) throw py::error_already_set();
      if (eq == 1) return j;
    }
  } else if (PyLong_Check(id.ptr()) && !PyBool_Check(id.ptr())) {
    const long long v = PyLong_AsLongLong(id.ptr());
    if (!(v == -1 && PyErr_Occurred())) {
      if (in.ids.empty()) {
        if (v >= 0 && v < in.sets()) return static_cast<int>(v);
      } else {
        const auto it = std::lower_bound(in.ids.begin(), in.ids.end(), v);
        if (it != in.ids.end() && *it == v) return static_cast<int>(it - in.ids.begin());
      }
    }
    PyErr_Clear();
  }
  raise(PyExc_ValueError, "start: " + py::repr(id).cast<std::string>() + " is not a set id");
}

double finiteNumber(py::handle value, const char* what) {
  const double v = PyFloat_AsDouble(value.ptr());
  if (v == -1.0 && PyErr_Occurred()) {
    PyErr_Clear();
    raise(PyExc_TypeError,
          std::string(what) + " must be None or a number, not " + Py_TYPE(value.ptr())->tp_name);
  }
  if (!std::isfinite(v)) {
    raise(PyExc_ValueError, std::string(what) + " must be a finite number, not " +
                                py::repr(value).cast<std::string>());
  }
  return v;
}

double secondsSince(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

py::object solveWithin(py::handle sets, py::handle costs, py::handle timeLimit,
                       py::handle nodeLimit, int threads, py::handle onProgress, py::handle gap,
                       py::handle target, py::handle start) {
  const Clock::time_point t0 = Clock::now();
  ntu::SolveLimits limits;
  double seconds = std::numeric_limits<double>::infinity();
  if (!timeLimit.is_none()) {
    seconds = PyFloat_AsDouble(timeLimit.ptr());
    if (seconds == -1.0 && PyErr_Occurred()) {
      if (PyErr_ExceptionMatches(PyExc_TypeError)) {
        PyErr_Clear();
        raise(PyExc_TypeError, "time_limit must be None or a number, not " +
                                   std::string(Py_TYPE(timeLimit.ptr())->tp_name));
      }
      if (!PyErr_ExceptionMatches(PyExc_OverflowError)) throw py::error_already_set();
      PyErr_Clear();
      raise(PyExc_ValueError, "time_limit: an int beyond the range of a float");
    }
    if (!(seconds >= 0.0)) {
      raise(PyExc_ValueError, "time_limit must be None or a number >= 0, not " +
                                  py::repr(timeLimit).cast<std::string>());
    }
  }
  if (!nodeLimit.is_none()) {
    if (PyBool_Check(nodeLimit.ptr()) || !PyIndex_Check(nodeLimit.ptr())) {
      raise(PyExc_TypeError, "node_limit must be None or an int");
    }
    const py::object value = py::reinterpret_steal<py::object>(PyNumber_Index(nodeLimit.ptr()));
    if (!value) throw py::error_already_set();
    int overflow = 0;
    limits.nodes = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (limits.nodes == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (overflow > 0) {
      raise(PyExc_ValueError, "node_limit must be None or at most 2**63 - 1, not " +
                                  py::repr(value).cast<std::string>());
    }
    if (overflow < 0 || limits.nodes < 0) {
      raise(PyExc_ValueError,
            "node_limit must be None or >= 0, not " + py::repr(value).cast<std::string>());
    }
  }
  if (!onProgress.is_none() && !PyCallable_Check(onProgress.ptr())) {
    raise(PyExc_TypeError, "on_progress must be None or callable");
  }
  limits.threads = threads;
  if (!gap.is_none()) {
    limits.gap = finiteNumber(gap, "gap");
    if (limits.gap < 0) {
      raise(PyExc_ValueError, "gap must be None or a number >= 0 (relative: 0.01 is 1 %), not " +
                                  py::repr(gap).cast<std::string>());
    }
  }
  if (!target.is_none()) limits.targetCost = finiteNumber(target, "target");

  Instance in = readInstance(sets);
  if (!costs.is_none()) readCosts(in, costs);
  if (!start.is_none()) {
    const py::object it = py::reinterpret_steal<py::object>(PyObject_GetIter(start.ptr()));
    if (!it || PyUnicode_Check(start.ptr())) {
      PyErr_Clear();
      raise(PyExc_TypeError, "start must be None or an iterable of set ids");
    }
    while (PyObject* item = PyIter_Next(it.ptr())) {
      const py::object owned = py::reinterpret_steal<py::object>(item);
      limits.start.push_back(startColumn(in, owned));
    }
    if (PyErr_Occurred()) throw py::error_already_set();
  }
  // Costs are summed in doubles; a total beyond the largest double is refused here, naming the
  // caller's set id.
  double total = 0.0;
  for (int j = 0; j < static_cast<int>(in.costs.size()); ++j) {
    total += in.costs[static_cast<std::size_t>(j)];
    if (!std::isfinite(total)) {
      raise(PyExc_ValueError,
            "costs: the costs add up to more than the largest double (1.7976931348623157e+308), "
            "at set " +
                in.label(j) + "; scale them down");
    }
  }
  if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  // The time limit counts from the call, reading the instance included.
  limits.seconds = std::max(0.0, seconds - secondsSince(t0));

  StopScope scope;
  limits.stop = &scope.stop();
  // A KeyboardInterrupt raised inside on_progress (Python runs its signal handler there) ends
  // the solve like the signal itself: the result is kept and the exception raised after.
  std::optional<py::error_already_set> interrupted;
  if (!onProgress.is_none()) {
    limits.onProgress = [&](const ntu::SolveProgress& p) {
      if (scope.stop().load(std::memory_order_relaxed)) return;
      if (interpreterExiting()) {
        scope.stop().store(true);
        return;
      }
      const GilHeld gil;
      try {
        const py::tuple args =
            py::make_tuple(Progress{p.seconds, p.bestCost, p.lowerBound, p.nodes});
        const py::object answer =
            py::reinterpret_steal<py::object>(callPython(onProgress.ptr(), args.ptr()));
        if (!answer) throw py::error_already_set();
        if (answer.ptr() == Py_False) scope.stop().store(true);
      } catch (py::error_already_set& e) {
        if (!e.matches(PyExc_KeyboardInterrupt)) throw;
        interrupted.emplace(std::move(e));
        scope.stop().store(true);
      }
    };
  }
  ntu::SolveResult r;
  withoutGil([&] { r = ntu::solveWithin(in.matrix(), limits); });
  Result result;
  for (int column : r.ids) result.ids.append(in.idObject(column));
  result.cost = r.cost;
  result.lowerBound = r.lowerBound;
  result.optimal = r.optimal;
  result.gap = relativeGap(r.cost, r.lowerBound);
  result.nodes = r.nodes;
  result.seconds = secondsSince(t0);
  // A Ctrl-C that came while solving is raised once the result is built.
  std::optional<py::error_already_set> signalled;
  if (PyErr_CheckSignals() != 0) signalled.emplace();
  const bool sigint = interrupted.has_value() ||
                      (signalled.has_value() && signalled->matches(PyExc_KeyboardInterrupt));
  // One vocabulary with the library and set_cover_solve, which also name Ctrl-C "SIGINT".
  result.stopped =
      r.status == ntu::SolveStatus::Stopped && sigint ? "SIGINT" : ntu::solveStatusName(r.status);
  py::object out = py::cast(std::move(result));
  if (interrupted) {
    interrupted->value().attr("result") = out;
    throw std::move(*interrupted);
  }
  if (signalled) {
    if (signalled->matches(PyExc_KeyboardInterrupt)) signalled->value().attr("result") = out;
    throw std::move(*signalled);
  }
  return out;
}

std::string repr(const Result& r) {
  std::string ids = "[";
  for (std::size_t i = 0; i < r.ids.size() && i < 10; ++i) {
    ids += (i > 0 ? ", " : "") + py::repr(r.ids[i]).cast<std::string>();
  }
  if (r.ids.size() > 10) ids += ", ... (" + std::to_string(r.ids.size()) + " ids)";
  ids += "]";
  return "Result(ids=" + ids + ", cost=" + py::repr(py::float_(r.cost)).cast<std::string>() +
         ", lower_bound=" + py::repr(py::float_(r.lowerBound)).cast<std::string>() +
         ", optimal=" + (r.optimal ? "True" : "False") +
         ", gap=" + py::repr(py::float_(r.gap)).cast<std::string>() +
         ", nodes=" + std::to_string(r.nodes) +
         ", seconds=" + py::repr(py::float_(r.seconds)).cast<std::string>() + ", stopped='" +
         r.stopped + "')";
}

}  // namespace

void bindSolvers(py::module_& m) {
  py::class_<Progress>(m, "Progress", R"doc(
What solve_within reports to ``on_progress`` while it runs: ``seconds`` since the solver
started, ``best_cost`` of the best cover so far (never rises), ``lower_bound`` (proven, never
falls), ``nodes`` of branch-and-bound so far and ``gap``, (best_cost - lower_bound) / best_cost.
)doc")
      .def_readonly("seconds", &Progress::seconds)
      .def_readonly("best_cost", &Progress::bestCost)
      .def_readonly("lower_bound", &Progress::lowerBound)
      .def_readonly("nodes", &Progress::nodes)
      .def_property_readonly(
          "gap", [](const Progress& p) { return relativeGap(p.bestCost, p.lowerBound); })
      .def("__repr__", [](const Progress& p) {
        return "Progress(seconds=" + py::repr(py::float_(p.seconds)).cast<std::string>() +
               ", best_cost=" + py::repr(py::float_(p.bestCost)).cast<std::string>() +
               ", lower_bound=" + py::repr(py::float_(p.lowerBound)).cast<std::string>() +
               ", nodes=" + std::to_string(p.nodes) + ")";
      });

  py::class_<Result>(m, "Result", R"doc(
The answer of solve_within.

ids          the chosen set ids, always a cover: a dict's int ids ascending, or its keys as
             given (named sets, in the dict's order); a sparse matrix's 0-based column
             indices (set_cover_solve numbers an OR-Library file's columns from 1: an
             Instance of read_instance returns those ids, or the file's set names)
cost         their total cost (their number without costs)
lower_bound  proven: no cover costs less
optimal      True exactly when cost == lower_bound was proved
gap          (cost - lower_bound) / cost, 0.0 when cost is 0
nodes        branch-and-bound nodes searched
seconds      wall-clock seconds of the whole call, reading the instance included
stopped      why the call ended, in the words set_cover_solve's JSON and the C++
             solveStatusName use: "optimal" (proved), "time_limit", "node_limit", "gap",
             "target" (reached the gap or target asked for), "stopped" (on_progress
             returned False) or "SIGINT" (Ctrl-C)
)doc")
      .def_property_readonly("ids", [](const Result& r) { return py::list(r.ids); })
      .def_readonly("cost", &Result::cost)
      .def_readonly("lower_bound", &Result::lowerBound)
      .def_readonly("optimal", &Result::optimal)
      .def_readonly("gap", &Result::gap)
      .def_readonly("nodes", &Result::nodes)
      .def_readonly("seconds", &Result::seconds)
      .def_readonly("stopped", &Result::stopped)
      .def("__repr__", &repr)
      .def(py::pickle(
          [](const Result& r) {
            return py::make_tuple(r.ids, r.cost, r.lowerBound, r.optimal, r.gap, r.nodes, r.seconds,
                                  r.stopped);
          },
          [](const py::tuple& t) {
            if (t.size() != 8) raise(PyExc_ValueError, "Result: a pickled state of 8 values");
            return Result{py::list(t[0]),      t[1].cast<double>(),     t[2].cast<double>(),
                          t[3].cast<bool>(),   t[4].cast<double>(),     t[5].cast<long long>(),
                          t[6].cast<double>(), t[7].cast<std::string>()};
          }));

  m.def("solve", &solve, py::arg("sets"), py::arg("method") = "greedy",
        py::arg("continuity") = false, R"doc(
Solve unicost set cover with one of the library's three methods; returns the chosen ids,
ascending (0-based column indices for a sparse matrix; names as given for named sets).

``sets`` is a dict of id -> iterable of elements (all int or all str), a scipy.sparse matrix
(rows = elements, columns = sets) or an Instance of read_instance. Ids are ints >= 0, or, when
some key is not an int, names (str or int keys, returned as given; the dict's order numbers
them). ``method``:
  "greedy"     Chvatal's greedy: the set with the most uncovered elements, smallest id on ties,
               or with ``continuity`` the id nearest the one taken before. Not exact.
  "ilp"        the 0/1 program through GLPK. Exact.
  "propagate"  forced selections and branch-and-bound. Exact; no limit on its work.
The answers are the C++ SetCoverSolver<T>::solve's. The GIL is released while it runs; it
cannot be stopped (a Ctrl-C is raised when it returns): use solve_within for that.

Raises ValueError for an unknown method, a negative id, a matrix row in no column or bad sparse
arrays; TypeError for other inputs or elements mixing int and str.
)doc");

  m.def(
      "hardware_threads", [] { return nimbrel_tavik_util::hardwareThreads(); },
      R"doc(
The number of hardware threads (at least 1, at most 4096): what ``threads=0`` of solve_within
stands for, as C++ hardwareThreads(). Takes no arguments, raises nothing; constant time.
)doc");

  m.def("solve_within", &solveWithin, py::arg("sets"), py::arg("costs") = py::none(), py::kw_only(),
        py::arg("time_limit") = py::none(), py::arg("node_limit") = py::none(),
        py::arg("threads") = 1, py::arg("on_progress") = py::none(), py::arg("gap") = py::none(),
        py::arg("target") = py::none(), py::arg("start") = py::none(), R"doc(
The cheapest cover found within the limits, with a proven lower bound (a Result).

``sets`` as for solve (a dict, a scipy.sparse matrix or an Instance of read_instance; for an
Instance, pass ``inst.costs`` as ``costs`` to minimise its costs). ``costs``: None (every set costs 1), a dict id -> cost covering every id,
or a sequence or NumPy array of one cost per set, in the dict's own key order or the matrix's
column order; costs are finite and >= 0. ``time_limit`` in seconds of wall clock from the call
(None: none), ``node_limit`` in branch-and-bound nodes (None: none); without limits the call
ends with a proven optimum. ``gap``: stop once (cost - lower_bound) <= gap * cost (relative,
0.01 is 1 %; stopped == "gap"); ``target``: stop at the first cover of cost <= target
(stopped == "target"); both as set_cover_solve's --gap and --target. ``start``: a warm start,
an iterable of set ids (names for named sets) of a cover or of a partial selection that the
call completes, as --start. ``threads``: threads the solver may use (default 1, the C++
default, so that a call does not take every core of the process unasked; 0: one per hardware
thread, hardware_threads(), which is set_cover_solve's default, a program run on its own).
``on_progress(progress)`` (a Progress) is called on every better cover and at least once a
second, with the GIL held; returning False stops the solve (stopped == "stopped"), an exception
raised in it ends the call and propagates.

The GIL is released while solving. Ctrl-C on the main thread stops the solve within
milliseconds and raises KeyboardInterrupt; the best cover found is not lost: it is the
exception's ``result`` attribute (a Result with stopped == "SIGINT"). A matrix is read through
its index arrays (CSR or CSC; other formats through tocsc(); stored zeros are no entries).

Raises ValueError for a negative id, a missing, unknown, NaN, infinite or negative cost, costs of
the wrong length or adding up beyond the largest float (naming the set), a negative limit, gap or
thread count, a NaN or infinite gap or target, a start id that is no set, a node_limit above 2**63 - 1, a matrix row in
no column or bad sparse arrays; TypeError for other inputs. Costs or index arrays that NumPy
cannot convert raise its TypeError or ValueError (OverflowError as ValueError), with a message
that begins with the argument ("costs: ", "sets: indices: ").
)doc");
}

}  // namespace ntu_python
