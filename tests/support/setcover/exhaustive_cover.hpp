// The cheapest cover of a small instance by exhaustive search: the oracle that solveWithin's
// answers are compared with when no formula gives the optimum.
#pragma once

#include <map>
#include <set>

namespace ntu_test {

// The least total cost of a cover of every element of `instance` (elements 0..63; any number
// of sets, though the time grows exponentially with them), with `costs` giving every id's cost
// (finite, >= 0). 0 when nothing needs covering. A depth-first search on the lowest uncovered
// element, pruned by the cheapest cost per element. Throws std::invalid_argument for an element
// outside 0..63 or an id without a cost.
double cheapestCoverCost(const std::map<int, std::set<int>>& instance,
                         const std::map<int, double>& costs);

}  // namespace ntu_test
