// Interval rows (internal, not installed): an exact optimum in linear time when every row's
// columns are consecutive indices.
#pragma once

#include <vector>

#include "setcover/cover_model.hpp"

namespace nimbrel_tavik_util::setcover_detail {

// Exact optimum when every row's columns are consecutive indices (interval rows, such as
// trajectories in runs along a curve): a point cover of intervals by a dynamic programme over
// the columns in O(m + n + S). Returns false, leaving `cols` alone, for other models.
bool solveIntervalRows(const CoverModel& model, std::vector<int>& cols);

}  // namespace nimbrel_tavik_util::setcover_detail
