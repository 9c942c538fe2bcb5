// Calling GLPK safely (internal, not installed). GLPK reports a fatal error (a bad matrix, no
// memory) by calling its error hook and then aborting the process; GlpkTrap turns that into a
// jump back to the caller, who then frees the thread's environment and throws.
//
//   GlpkTrap trap;
//   if (!runWithTrap(trap)) { ... }      // where runWithTrap does:
//     if (setjmp(trap.jump) != 0) return false;  trap.install();  ...GLPK calls...
//     trap.remove();  return true;
//
// Between setjmp and remove(), the function may hold plain data only: the jump skips
// destructors.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <stdexcept>
#include <string>

namespace nimbrel_tavik_util::setcover_detail {

class Budget;

struct GlpkTrap {
  // Filled when GLPK reports a fatal error: its message, cut to fit.
  char message[512] = {};
  std::size_t messageLength = 0;
  std::jmp_buf jump;
  // When set, a call of GLPK is also left (by the same jump) once watch->limitReached(), with
  // `interrupted` set; the caller then frees the environment as after a fatal error. GLPK is
  // asked only at its progress output, every kInterruptMs: a simplex call cannot otherwise be
  // stopped, and one slice of it took over 100 ms on the larger corpus files.
  const Budget* watch = nullptr;
  bool interrupted = false;
  static constexpr int kInterruptMs = 2;

  // Routes GLPK's terminal output here (silent; the text of a fatal error is kept) and its
  // error hook to a longjmp to `jump`.
  void install();
  // Restores GLPK's default hooks.
  void remove();
  // The first line of the kept message ("glp_alloc: no memory available").
  std::string firstLine() const;
  // Whether the message says that memory ran out.
  bool outOfMemory() const;
};

// A fatal error of GLPK, after the environment was freed (failGlpk). Callers that can do
// without GLPK catch this type only, so that nothing else (a caller's exception passing
// through) is mistaken for it.
class GlpkFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Runs `calls` (GLPK calls only: plain data, no callback into user code, nothing with a
// destructor) with `trap` installed, and removes it again. Returns false when GLPK reported a
// fatal error; the caller must then free the environment (failGlpk). No hook stays installed
// outside such a call, so code between two calls (a progress callback, say) may throw or call
// GLPK itself.
template <typename Calls>
bool runTrapped(GlpkTrap& trap, Calls&& calls) {
  if (setjmp(trap.jump) != 0) return false;
  trap.install();
  calls();
  trap.remove();
  return true;
}

// Starts the thread's GLPK environment and returns glp_init_env's answer (0: created here, so
// the caller frees it when done; 1: it existed and belongs to someone else). Throws
// std::bad_alloc or std::runtime_error (naming `who`) when GLPK cannot start.
int startGlpk(const char* who);

// After a trapped fatal error: frees the environment (GLPK's documented duty) and throws
// std::bad_alloc or GlpkFailure("<who>: GLPK failed: <message>").
[[noreturn]] void failGlpk(const GlpkTrap& trap, const char* who);

}  // namespace nimbrel_tavik_util::setcover_detail
