// The LP relaxation of a cover model by GLPK's dual simplex (internal, not installed): its row
// duals are the best multipliers the Lagrangian bound can have, which subgradient steps alone
// approach only slowly (on scp41 they stop two units below the relaxation's value).
#pragma once

#include <vector>

#include "setcover/cover_model.hpp"

namespace nimbrel_tavik_util::setcover_detail {

// Solves min c.x, A x >= 1, x >= 0 by the dual simplex, in slices of a fixed number of
// iterations with the budget polled between them, and at most `maxSeconds` of it (<= 0: no
// such limit) and about 4 (m + n) iterations in all. On return `u` holds one multiplier per
// row, the dual values of the last basis clipped at 0: every such u gives a valid Lagrangian
// bound (lagrangeValue), the LP's value when the simplex finished. Returns whether it
// finished. Throws std::bad_alloc or std::runtime_error when GLPK fails.
bool lpDuals(const CoverModel& model, Budget& budget, double maxSeconds, std::vector<double>& u);

}  // namespace nimbrel_tavik_util::setcover_detail
