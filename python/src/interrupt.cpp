#include "interrupt.hpp"

#include <Python.h>
#include <pythread.h>

#include <cerrno>

namespace ntu_python {

namespace {

// Stop flags of the nested main-thread calls. Static, so that a handler still running on another
// thread while a call ends never touches freed memory.
constexpr int kMaxDepth = 32;
std::atomic<bool> g_stop[kMaxDepth];
std::atomic<int> g_depth{0};
struct sigaction g_previous;  // the handler our hook replaced, written before it is installed
unsigned long g_mainThread = 0;

extern "C" void onSigint(int sig, siginfo_t* info, void* context) {
  const int saved = errno;
  const int depth = g_depth.load();
  for (int i = 0; i < depth && i < kMaxDepth; ++i) g_stop[i].store(true);
  if ((g_previous.sa_flags & SA_SIGINFO) != 0) {
    g_previous.sa_sigaction(sig, info, context);
  } else if (g_previous.sa_handler != SIG_IGN && g_previous.sa_handler != SIG_DFL) {
    g_previous.sa_handler(sig);
  }
  errno = saved;
}

bool isHandler(const struct sigaction& action) {
  if ((action.sa_flags & SA_SIGINFO) != 0) return action.sa_sigaction != nullptr;
  return action.sa_handler != SIG_IGN && action.sa_handler != SIG_DFL;
}

}  // namespace

void rememberMainThread() {
  // threading.main_thread() is right even when the import happens on another thread.
  PyObject* threading = PyImport_ImportModule("threading");
  if (threading == nullptr) return;
  PyObject* main = PyObject_CallMethod(threading, "main_thread", nullptr);
  PyObject* ident = main != nullptr ? PyObject_GetAttrString(main, "ident") : nullptr;
  if (ident != nullptr) g_mainThread = PyLong_AsUnsignedLong(ident);
  Py_XDECREF(ident);
  Py_XDECREF(main);
  Py_DECREF(threading);
  PyErr_Clear();
}

StopScope::StopScope() {
  if (PyThread_get_thread_ident() != g_mainThread) return;
  const int depth = g_depth.load();
  if (depth >= kMaxDepth) return;
  if (depth == 0) {
    struct sigaction current;
    if (sigaction(SIGINT, nullptr, &current) != 0 || !isHandler(current)) return;
    g_previous = current;
    struct sigaction hook = {};
    hook.sa_sigaction = onSigint;
    hook.sa_flags = SA_SIGINFO | (current.sa_flags & SA_ONSTACK);
    sigemptyset(&hook.sa_mask);
    if (sigaction(SIGINT, &hook, nullptr) != 0) return;
    installed_ = true;
  }
  depth_ = depth;
  stop_ = &g_stop[depth];
  stop_->store(false);
  g_depth.store(depth + 1);
}

StopScope::~StopScope() {
  if (depth_ < 0) return;
  if (installed_) sigaction(SIGINT, &g_previous, nullptr);
  g_depth.store(depth_);
}

}  // namespace ntu_python
