// Ctrl-C during a solve: while the GIL is released, Python's own SIGINT handler only sets a flag
// that nobody reads until the solve returns. A StopScope hooks SIGINT for the length of one call
// so that the signal also sets the solver's stop flag, and still reaches Python's handler.
#pragma once

#include <atomic>
#include <csignal>

namespace ntu_python {

// On the main thread (where Python runs its signal handlers), the constructor installs a C
// handler for SIGINT that sets `stop()` and then calls the handler that was there (Python's);
// the destructor puts that handler back. Calls may nest (a progress callback that solves
// again): the outermost installs, and the signal stops every call on the stack. Elsewhere, or
// when SIGINT is ignored or left at its default, nothing is installed and `stop()` is a flag
// of this call alone.
class StopScope {
 public:
  StopScope();
  ~StopScope();
  StopScope(const StopScope&) = delete;
  StopScope& operator=(const StopScope&) = delete;

  std::atomic<bool>& stop() { return *stop_; }

 private:
  std::atomic<bool> own_{false};
  std::atomic<bool>* stop_ = &own_;
  int depth_ = -1;  // this call's slot among the nested main-thread calls, -1 for none
  bool installed_ = false;
};

// Records the main thread; called once when the module is imported.
void rememberMainThread();

}  // namespace ntu_python
