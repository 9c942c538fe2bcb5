// The portfolio behind solveWithin (internal, not installed): the order of the phases on one
// model and the rule by which the local search, the branch-and-bound and PROPAGATE's exact
// search take turns. How it fits together: src/setcover/within/README.md.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "setcover/budget.hpp"
#include "setcover/cover_model.hpp"
#include "setcover/within/incumbent.hpp"
#include "setcover/within/settings.hpp"
#include "setcover/within/technique.hpp"

namespace nimbrel_tavik_util::setcover_detail {

// What each technique of the turns did (empty when no turns were taken).
struct TechniqueReport {
  std::string name;
  TechniqueStats stats;
};

// The whole portfolio on `model` (columns with at least one row, every row coverable).
struct CoreResult {
  std::vector<int> cols;  // a cover, columns of `model`
  double cost = 0.0;
  double lowerBound = 0.0;
  bool optimal = false;
  std::vector<TechniqueReport> techniques;
};

// Builds a technique for the turns in place of the core heuristic (tests plant one here): on
// the reduced model, with the portfolio's incumbent and budget. Gets the core's share.
using TechniqueHook =
    std::function<std::unique_ptr<Technique>(const CoverModel&, Incumbent&, Budget&)>;

// One attempt of PROPAGATE's exact search on a unicost model, from the whole model down,
// looking for a cover smaller than the incumbent and offering it; at most `maxNodes` nodes (and
// its parts' nodes), charged to the budget. Returns true when it finished, the incumbent then
// being optimal.
bool engineAttempt(const CoverModel& model, Incumbent& incumbent, Budget& budget,
                   long long maxNodes);

// `start`: columns of a warm start (any order, repeats allowed; empty: none), completed to a
// cover; the result never costs more than that cover. Progress reports and the caller's
// stopping rules go through `progress`; every phase polls `budget`. `threads` (>= 1): with
// more than 1, threads - 1 local-search workers run beside this thread (workers.hpp), which
// alone reports through `progress`; all are joined before the function returns or throws.
CoreResult solveModel(const CoverModel& model, const std::vector<int>& start, Budget& budget,
                      Progress& progress, const PortfolioSettings& settings = {}, int threads = 1,
                      const TechniqueHook& hook = {});

}  // namespace nimbrel_tavik_util::setcover_detail
