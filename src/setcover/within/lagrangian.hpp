// Lagrangian relaxation of set cover (internal, not installed).
//
// Relaxing the covering rows with multipliers u >= 0 gives, for every u,
//   L(u) = sum_i u_i + sum_j min(0, g_j),   g_j = c_j - sum_{i in j} u_i  (reduced cost),
// a lower bound on every cover's cost; its maximum over u is the LP relaxation's value.
// The bound is raised by subgradient steps (Held, Wolfe & Crowder 1974), with Beasley's
// step rules (Beasley 1990, "A Lagrangian heuristic for set-covering problems") and the step
// size control of Caprara, Fischetti & Toth 1999 ("A heuristic method for the set covering
// problem"): halve the step factor when the bound swings by more than 1 % over 20 steps,
// raise it by half when it swings by less than 0.1 %.
//
// All functions work on a residual problem: the rows with rowActive[i] != 0, to be covered by
// the columns with colFree[j] != 0 (other rows are covered already, other columns decided).
#pragma once

#include <vector>

#include "setcover/budget.hpp"
#include "setcover/cover_model.hpp"
#include "setcover/within/incumbent.hpp"

namespace nimbrel_tavik_util::setcover_detail {

struct Residual {
  const char* rowActive;
  const char* colFree;
};

// L(u) on the residual, with the reduced cost of every free column in gamma (others untouched).
double lagrangeValue(const CoverModel& model, Residual res, const std::vector<double>& u,
                     std::vector<double>& gamma, Budget& budget);

// The step control. The swing thresholds (5 % and 0.1 %) and the deflection share (0.7) were
// chosen on uniform150_1 and scpnre1 (bench/within_driver): the root bound rose from 22.7 to
// 26.0 and from 7.85 to 8.14 (LP 27.1 and 8.18) against Caprara, Fischetti & Toth's 1 %
// without deflection.
struct SubgradientOptions {
  int iterations = 100;     // at most this many steps
  double lambda = 0.1;      // initial step factor
  double minLambda = 1e-4;  // stop once the factor falls below this
  int heuristicEvery = 0;   // run the Lagrangian heuristic every this many steps (0: never)
  int window = 20;          // steps over which the bound's swing is measured
  double swingHigh = 0.05;  // a larger swing halves the step factor
  double swingLow = 0.001;  // a smaller one raises it by half
  // Deflection (Camerini, Fratta & Maffioli 1975): the step follows the subgradient plus this
  // share of the previous direction, which damps the zigzag of plain steps.
  double deflection = 0.7;
  // The residual is the whole model and nothing is chosen: every better value is a proven
  // bound of the model, reported to the incumbent's progress as it is found (the root's steps
  // take seconds on large models).
  bool reportBound = false;
};

struct SubgradientOutcome {
  double best = 0.0;  // largest L(u) seen, plus `fixedCost`
  int iterations = 0;
  bool pruned = false;  // best pruned against the incumbent
  double lambda = 0.0;  // step factor at the end
};

// Subgradient steps from u (kept in `u`; on return u holds the multipliers of the best bound
// and gamma their reduced costs). `fixedCost` is the cost of the columns already chosen; the
// bound and the incumbent compare with L + fixedCost. Covers found on the way (the relaxed
// solution when it is one, and the heuristic's) are completed with `chosen` and offered to
// the incumbent. Stops early when the bound prunes the incumbent.
SubgradientOutcome subgradient(const CoverModel& model, Residual res, double fixedCost,
                               const std::vector<int>& chosen, std::vector<double>& u,
                               std::vector<double>& gamma, Incumbent& incumbent,
                               const SubgradientOptions& options, Budget& budget);

// The Lagrangian heuristic of Caprara, Fischetti & Toth 1999: greedy over the free columns by
// the score g_j / mu_j when g_j > 0 and g_j * mu_j otherwise (mu_j: rows the column would
// newly cover), so that columns of negative reduced cost come first; then `chosen` is added,
// redundant columns are removed by cost, and the cover is offered. Returns false when some
// active row has no free column. O(S log n).
bool lagrangeHeuristic(const CoverModel& model, Residual res, const std::vector<double>& gamma,
                       const std::vector<int>& chosen, Incumbent& incumbent, Budget& budget);

// Initial multipliers (Caprara, Fischetti & Toth 1999): u_i = min over the free columns j of
// row i of c_j / |j|.
void initialMultipliers(const CoverModel& model, Residual res, std::vector<double>& u);

// L(u) at the initial multipliers of the whole model: a proven bound in two passes over the
// nonzeros, for a first report before anything slower runs. Polls the budget without counting
// the work (it decides nothing). O(S).
double quickBound(const CoverModel& model, Budget& budget);

}  // namespace nimbrel_tavik_util::setcover_detail
