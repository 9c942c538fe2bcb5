// solveWithin with the portfolio's settings changed (internal, not installed): what the public
// calls run with the default settings, for tests and bench/within_driver.
#pragma once

#include <map>
#include <set>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "setcover/within/settings.hpp"

namespace nimbrel_tavik_util::setcover_detail {

// The map form (`costs` null: unicost); provided for T = int.
template <typename T>
SolveResult solveWithinSettings(const std::map<int, std::set<T>>& instance,
                                const std::map<int, double>* costs, const SolveLimits& limits,
                                const PortfolioSettings& settings);

SolveResult solveWithinSettings(const CoverMatrix& matrix, const SolveLimits& limits,
                                const PortfolioSettings& settings);

}  // namespace nimbrel_tavik_util::setcover_detail
