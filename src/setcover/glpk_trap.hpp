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
#include <string>

namespace nimbrel_tavik_util::setcover_detail {

struct GlpkTrap {
  // Filled when GLPK reports a fatal error: its message, cut to fit.
  char message[512] = {};
  std::size_t messageLength = 0;
  std::jmp_buf jump;

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

// Starts the thread's GLPK environment and returns glp_init_env's answer (0: created here, so
// the caller frees it when done; 1: it existed and belongs to someone else). Throws
// std::bad_alloc or std::runtime_error (naming `who`) when GLPK cannot start.
int startGlpk(const char* who);

// After a trapped fatal error: frees the environment (GLPK's documented duty) and throws
// std::bad_alloc or std::runtime_error("<who>: GLPK failed: <message>").
[[noreturn]] void failGlpk(const GlpkTrap& trap, const char* who);

}  // namespace nimbrel_tavik_util::setcover_detail
