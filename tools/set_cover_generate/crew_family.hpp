// The crew family of set_cover_generate: the shape of crew-scheduling and most MIPLIB covering
// models, few rows and many short columns.
#pragma once

#include <cstdint>

#include "set_cover_generate/instance_source.hpp"

namespace set_cover_generate {

/// `columns` columns over `rows` rows (trips in time order). A column (a pairing) holds 2 to 12
/// rows drawn from a window of three times that many consecutive rows, so that columns overlap
/// as pairings of nearby trips do; one column in ten repeats an earlier one's rows (with a cost
/// drawn anew). Costs are drawn from 1..maxCost (maxCost 1: every column costs 1, no costs are
/// written). Rows that no column holds are left out (compactRows). Throws std::invalid_argument
/// when rows < 12, columns < 1 or maxCost < 1. O(columns) draws and memory.
MatrixSource crewSource(std::uint64_t seed, int rows, int columns, int maxCost);

}  // namespace set_cover_generate
