// Giving the GIL up around library calls and taking it back, safely at interpreter exit.
//
// CPython 3.11 ends a thread that asks for the GIL once the interpreter has begun to finalize
// (a daemon thread still inside a call) with pthread_exit. Its forced unwind would run our
// destructors without the GIL, and it terminates the process when it meets a noexcept frame
// (a destructor that retakes the GIL, as pybind11's guards do) or a catch (...) that does not
// rethrow. Such a thread is parked instead, as newer CPython versions do themselves: it holds
// no lock then, and the process ends around it.
#pragma once

#include <Python.h>
#include <unistd.h>

#include <exception>

#ifdef __GLIBCXX__
#include <cxxabi.h>
#endif

namespace ntu_python {

[[noreturn]] inline void parkForever() {
  for (;;) ::pause();
}

inline bool interpreterExiting() {
#if PY_VERSION_HEX >= 0x030D0000
  return !Py_IsInitialized() || Py_IsFinalizing();
#else
  return !Py_IsInitialized() || _Py_IsFinalizing();
#endif
}

// Runs `f` with the GIL released; its exception, if any, is rethrown once the GIL is back.
template <typename F>
void withoutGil(F&& f) {
  PyThreadState* const state = PyEval_SaveThread();
  std::exception_ptr error;
  try {
    f();
#ifdef __GLIBCXX__
  } catch (abi::__forced_unwind&) {
    throw;
#endif
  } catch (...) {
    error = std::current_exception();
  }
#ifdef __GLIBCXX__
  try {
    PyEval_RestoreThread(state);
  } catch (abi::__forced_unwind&) {
    parkForever();
  }
#else
  PyEval_RestoreThread(state);
#endif
  if (error) std::rethrow_exception(error);
}

// PyObject_Call(callable, args), with the GIL held. Python code that runs long enough gives the
// GIL up now and then; if the interpreter begins to exit meanwhile, CPython ends this thread
// when it asks for the GIL again, deep inside the call. Between there and here no C++ object is
// unwound (which would drop references without the GIL): the thread is parked here.
inline PyObject* callPython(PyObject* callable, PyObject* args) {
#ifdef __GLIBCXX__
  try {
    return PyObject_Call(callable, args, nullptr);
  } catch (abi::__forced_unwind&) {
    parkForever();
  }
#else
  return PyObject_Call(callable, args, nullptr);
#endif
}

// Holds the GIL for a callback from inside a library call (on any thread).
class GilHeld {
 public:
  GilHeld() {
#ifdef __GLIBCXX__
    try {
      state_ = PyGILState_Ensure();
    } catch (abi::__forced_unwind&) {
      parkForever();
    }
#else
    state_ = PyGILState_Ensure();
#endif
  }
  ~GilHeld() { PyGILState_Release(state_); }
  GilHeld(const GilHeld&) = delete;
  GilHeld& operator=(const GilHeld&) = delete;

 private:
  PyGILState_STATE state_;
};

}  // namespace ntu_python
