// The LP relaxation of a branch-and-bound node, re-solved by GLPK's dual simplex from the basis
// of the node before (internal, not installed).
//
// For set cover the Lagrangian dual equals the LP relaxation, and L(u) at the LP's optimal row
// duals is the LP's value; a node's dozen warm subgradient steps stay below it. One GLPK
// problem of the whole model stays alive through the search: a node's decisions become column
// bounds (chosen: fixed at 1, excluded: fixed at 0), which keep the last basis dual feasible,
// so the dual simplex starts where the node before ended (the walk is depth first, so that is
// near). Its duals on the open rows are then the node's multipliers.
#pragma once

#include <vector>

#include "setcover/budget.hpp"
#include "setcover/cover_model.hpp"
#include "setcover/glpk_trap.hpp"
#include "setcover/within/lagrangian.hpp"

namespace nimbrel_tavik_util::setcover_detail {

struct NodeLpOptions {
  // 0: never; 1: in the nodes the rule below picks; 2: in every node (tests). Off by default:
  // on weighted scpb2, scpc2 and scpc3 the LP's iterations (40-80 us each through GLPK, about
  // 60 per node) cost more than the nodes they save (a node without them takes about 0.2 ms),
  // with every node or only the first levels.
  int mode = 0;
  // The rule (mode 1): every node down to this depth, and below it while L at the LP's duals
  // has beaten L at the inherited multipliers by at least `minGain` of the gap to the
  // incumbent, on average over the last nodes that ran it; otherwise one node in `probeEvery`
  // still runs it, so that the average can recover.
  int depth = 6;
  double minGain = 0.05;
  long long probeEvery = 16;
  // Dual simplex iterations per node, at most this many per open row (and at least 50).
  double iterationsPerRow = 0.5;
  // Iterations per call of the simplex, with the budget polled between calls. A count rather
  // than a time, so that a run without a deadline repeats exactly.
  int sliceIterations = 100;
  // Work units charged per iteration and per row plus column of the model, so that the turn
  // rule sees what the LP costs: on the reduced scpc2 (about 1000 rows plus columns) an
  // iteration took 40-60 us, and the rest of the search 18 ns per work unit.
  double workPerIterationLine = 3.5;
  // Models beyond these sizes do without (the root LP's limits).
  int maxRows = 20000;
  long long maxEntries = 50000000;
};

class NodeLp {
 public:
  NodeLp(const CoverModel& model, const NodeLpOptions& options);
  ~NodeLp();
  NodeLp(const NodeLp&) = delete;
  NodeLp& operator=(const NodeLp&) = delete;

  // Re-solves the LP of the node where `colFree[j]` marks the undecided columns and `chosen`
  // lists the chosen ones; every other column is excluded. On success writes the row duals
  // (clipped at 0, 0 on the rows `rowOpen` marks covered) into `u` and returns true; `optimal`
  // tells whether the simplex finished (otherwise the duals of the last basis, still a valid
  // multiplier vector). Returns false and leaves `u` alone when the LP is switched off for the
  // model (too large), GLPK failed before (the node LP stays off from then on), or GLPK fails
  // now: the environment is then freed as after any fatal error of GLPK, and the node goes on
  // with its own multipliers. Charges the budget for the iterations. Throws whatever the
  // budget's heartbeat throws (no GLPK hook is installed while it runs).
  // At depth 0 the simplex may take 4 (m + n) iterations (it starts from the slack basis),
  // elsewhere options.iterationsPerRow per open row.
  bool solve(const char* rowOpen, const char* colFree, const std::vector<int>& chosen,
             Budget& budget, int depth, std::vector<double>& u, bool& optimal);

  // Whether the rule of options.mode picks the node at `depth`, the `node`-th entered.
  bool wanted(int depth, long long node) const;
  // The gain of a node that ran the LP, for the rule's average.
  void record(double gain);

  bool failed() const { return failed_; }
  long long iterations() const { return iterations_; }

 private:
  bool build();
  void fail();

  const CoverModel& m_;
  const NodeLpOptions options_;
  void* prob_ = nullptr;  // glp_prob*, kept opaque so that this header needs no glpk.h
  bool ownEnv_ = false;   // the environment was made here and is freed in the destructor
  bool failed_ = false;
  std::vector<char> state_;  // per column as GLPK has it: 0 free, 1 fixed at 1, 2 fixed at 0
  std::vector<char> want_;
  long long iterations_ = 0;
  double gain_ = 0.0;
  long long samples_ = 0;
  GlpkTrap trap_;
};

// The node LP's part of a node: solves the LP of the residual `res` (the columns `chosen` cost
// `fixedCost`; `cutoff` is the incumbent's cost) and replaces `u` by its duals when they give
// the larger L(u); records the gain (L at the duals minus L at u, relative to the gap left) for
// the rule. `gamma` is scratch for the reduced costs. Leaves u alone when lp.solve fails.
// O(iterations + S).
void nodeLpMultipliers(NodeLp& lp, const CoverModel& model, Residual res,
                       const std::vector<int>& chosen, double fixedCost, double cutoff, int depth,
                       Budget& budget, std::vector<double>& u, std::vector<double>& gamma);

}  // namespace nimbrel_tavik_util::setcover_detail
