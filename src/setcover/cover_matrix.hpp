// Checking a caller's CoverMatrix and turning it into the working model (internal, not
// installed): shared by greedyCover and solveWithin, and by the map form after numbering.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "setcover/budget.hpp"
#include "setcover/cover_model.hpp"

namespace nimbrel_tavik_util::setcover_detail {

// Every cover costs at most the sum of all costs, so a finite sum keeps every sum of costs the
// solvers form finite; a larger one is refused with this text.
inline constexpr const char* kCostTotalText = "the costs add up to more than the largest double";

// `v` as operator<< writes it, for messages.
std::string numberText(double v);

// Checks every field of `matrix` in one pass over its arrays and throws std::invalid_argument
// (std::length_error beyond INT_MAX - 1 entries), the message starting with `who` and naming
// the first fault. Returns the number of entries. O(elements + sets + entries).
std::int64_t checkMatrix(const CoverMatrix& matrix, const char* who);

// The model of a checked matrix: its non-empty columns in index order (colId: model column ->
// matrix column), repeats within a column dropped, both directions ascending. Two counting
// passes (rows from columns, then columns from rows) sort every list in O(m + n + S) without
// a comparison sort. Charges the budget S units (one per entry) and polls it; returns false,
// the model unusable, when it expires.
bool buildModel(const CoverMatrix& matrix, Budget& budget, CoverModel& model,
                std::vector<int>& colId);

}  // namespace nimbrel_tavik_util::setcover_detail
