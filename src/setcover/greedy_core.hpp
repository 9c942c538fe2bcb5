// The greedy rule on the dense numbering (internal, not installed): _solveByGreedy and
// _solveByPropagate's first incumbent share it, so that PROPAGATE numbers the instance once.
#pragma once

#include <vector>

#include "setcover/index_form.hpp"

namespace nimbrel_tavik_util::setcover_detail {

// The greedy cover of `form` (ties to the smallest id, or with `continuity` to the id nearest
// the previous choice), as ids ascending; empty when there are no elements. See greedy.cpp.
std::vector<int> greedyCover(const IndexForm& form, bool continuity);

}  // namespace nimbrel_tavik_util::setcover_detail
