// The LP relaxation of a cover model by GLPK's dual simplex (internal, not installed): its row
// duals are the best multipliers the Lagrangian bound can have, which subgradient steps alone
// approach only slowly (on scp41 they stop two units below the relaxation's value).
#pragma once

#include <cstddef>
#include <vector>

#include "setcover/budget.hpp"
#include "setcover/cover_model.hpp"

namespace nimbrel_tavik_util::setcover_detail {

struct LpOptions {
  // Iterations per slice: small enough that the budget (a stop flag, a deadline) is polled
  // every few milliseconds on the largest corpus files, large enough that refactoring the
  // basis at each restart stays a small part of the work. A count rather than a time, so that
  // a run without a deadline repeats exactly.
  int sliceIterations = 50;
  // GLPK ends the process beyond 500,000,000 entries (NNZ_MAX); far below that, the simplex
  // would not finish in any useful time, and the subgradient steps do without it.
  std::size_t maxEntries = 50000000;
  // The dual simplex's iterations grow with the rows, and each one with the basis: on a
  // reduced coverage instance of 49,486 rows and 1.36 million entries it had not finished after
  // 860 s, while the corpus files (at most 1000 rows) finish in seconds. Above this many rows
  // the subgradient steps do without the LP.
  int maxRows = 20000;
  // At most this many iterations per row and column in all.
  long long iterationsPerLine = 4;
};

// Solves min c.x, A x >= 1, x >= 0 by the dual simplex, in slices of options.sliceIterations
// with the budget polled between them, and at most `maxSeconds` of it (<= 0: no such limit).
// Inside a slice, a stop flag or the deadline is noticed within a few milliseconds when the
// thread had no GLPK environment before (the one made here is then given up, and `u` holds the
// duals of the last whole slice); in a caller's environment the slice runs out.
// On return `u` holds one multiplier per row, the dual values of the last basis clipped at 0:
// every such u gives a valid Lagrangian bound (lagrangeValue), the LP's value when the simplex
// finished. Returns whether it finished. Throws std::bad_alloc or GlpkFailure when GLPK fails,
// and whatever the budget's heartbeat (the caller's progress callback) throws; no GLPK hook is
// installed while that runs, and the problem and any environment made here are freed.
bool lpDuals(const CoverModel& model, Budget& budget, double maxSeconds, std::vector<double>& u,
             const LpOptions& options = {});

}  // namespace nimbrel_tavik_util::setcover_detail
