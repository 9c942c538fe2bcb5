// The stress run: 50 seeded rounds, each solved four ways, checked and printed as one row.
//
// The solver is passed in so that the program binds SetCoverSolver<int>::solve while tests can
// drive the same loop with solvers of known behaviour.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <map>
#include <ostream>
#include <set>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "set_cover_stress/generator.hpp"
#include "set_cover_stress/report.hpp"

namespace set_cover_stress {

/// Rounds of a stress run.
inline constexpr int kRounds = 50;
/// Round i uses seed kFirstSeed + kSeedStep * i (7, 144, 281, ...).
inline constexpr int kFirstSeed = 7;
inline constexpr int kSeedStep = 137;

/// A set-cover solver with the signature of SetCoverSolver<int>::solve.
using SolveFn = std::function<std::vector<int>(const std::map<int, std::set<int>>&,
                                               nimbrel_tavik_util::SolveMethod, bool)>;

/// Method and continuity flag of each run, indexed by Run.
struct RunConfig {
  nimbrel_tavik_util::SolveMethod method;
  bool continuity;
};
inline constexpr std::array<RunConfig, kRunCount> kRunConfigs{{
    {nimbrel_tavik_util::GREEDY, false},
    {nimbrel_tavik_util::GREEDY, true},
    {nimbrel_tavik_util::ILP, false},
    {nimbrel_tavik_util::PROPAGATE, false},
}};

/// Seed of round `round` (from 0).
constexpr int seedOfRound(int round) { return kFirstSeed + kSeedStep * round; }

/// Number of (trajectory, dirt point) pairs of the instance. O(n_trajs).
std::size_t countEdges(const GeneratedInstance& instance);

/// Generates the instance of `round`, then for each run reads std::chrono::steady_clock, calls
/// `solve` on traj_to_dirts, reads the clock again and checks the result with coversAll.
/// Generation and checks are not timed. Exceptions from `solve` propagate.
RoundResult runRound(int round, const SolveFn& solve);

/// Prints the whole report for rounds 0..rounds-1 to `out` and returns the totals (pass them to
/// exitStatus). A failing round does not stop the run. Writes '\n', never flushes. Throws
/// std::invalid_argument when rounds < 1; exceptions from `solve` propagate.
Totals runStress(std::ostream& out, const SolveFn& solve, int rounds = kRounds);

}  // namespace set_cover_stress
