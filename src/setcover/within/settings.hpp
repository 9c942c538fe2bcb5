// Every number and switch of the portfolio in one place (internal, not installed). The
// defaults are what solveWithin uses; tests and bench/within_driver change them one by one
// (setSetting), so that each path can be reached and measured alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "setcover/budget.hpp"
#include "setcover/within/bnb.hpp"
#include "setcover/within/core_heuristic.hpp"
#include "setcover/within/lagrangian.hpp"
#include "setcover/within/lp_bound.hpp"
#include "setcover/within/presolve.hpp"

namespace nimbrel_tavik_util::setcover_detail {

struct PortfolioSettings {
  // Phases that can be switched off; the answers stay sound, only the route changes.
  bool reductions = true;    // presolve.hpp
  bool intervalRows = true;  // interval_rows.hpp: the exact programme when rows are intervals
  bool lp = true;            // the LP relaxation's duals at the root
  bool localSearch = true;   // the row-weighting local search's turns
  bool engine = true;        // PROPAGATE's exact search's turns (unicost models)
  bool core = true;          // the core heuristic's turns (models of many columns per row)
  // With threads > 1, the branch-and-bound's tree split between the threads (tree_share.hpp).
  // Off: the workers run the local search only and the tree stays on the calling thread.
  bool splitTree = true;

  ReduceOptions reduce;
  // Models with at least this many nonzeros get a greedy cover before the reductions (which
  // take seconds there: 6 CPU s on 29.7 million), so that the first cover and bound come early.
  std::size_t earlyGreedyEntries = 4000000;
  LpOptions lpOptions;
  // The LP gets at most this share of the time left (with a deadline).
  double lpShare = 0.3;
  // The root's subgradient steps, with the Lagrangian heuristic every tenth.
  SubgradientOptions root = rootSubgradient();
  // With a deadline, more root steps in chunks while each raises the bound by rootExtraGain
  // (relative), within rootExtraShare of the time limit (portfolio.cpp, extendRoot).
  int rootExtraSteps = 250;
  double rootExtraGain = 1e-3;
  double rootExtraShare = 0.4;
  BnbOptions bnb;

  // After the root, the local search and the exact search take turns on one budget until the
  // exact search ends or a limit does. Turns are measured in counted work units
  // (Budget::work), never in seconds, so that a run with a node limit and no time limit
  // repeats exactly. Each round is roundGrowth times the one before, so switching costs little
  // against the work. The local search gets startShare of a round while it finds better
  // covers; each round without one halves its share, down to minShare, so that on instances
  // the exact search proves quickly it costs a few per cent. Each side is given a count
  // (moves, nodes) sized from the work per move or per node of its last turn; the first guesses
  // are firstWorkPerMove and firstWorkPerNodeColumn times the columns.
  double firstRound = 1 << 20;  // units: a few milliseconds
  double roundGrowth = 1.5;
  double maxRound = 1 << 28;  // about a second: the bound and the cover still move
  double startShare = 0.5;
  double minShare = 1.0 / 16;
  double firstWorkPerMove = 64.0;
  double firstWorkPerNodeColumn = 4.0;
  std::uint64_t searchSeed = 0x5eed2015;

  // With a deadline, the exact search gets only a small share once it is hopeless: when, at
  // the pace of its turns so far (by the share of the tree done), it would need more than
  // hopelessFactor times the work that the time left allows, or when it has spent
  // hopelessRounds first rounds without finishing one subtree of the root. On the large
  // unicost files (scp4x-scpnrh) its tree is far beyond any limit, and its turns only keep the
  // local search from the time. The estimate is rough, so the exact search is never shut out.
  double hopelessShare = 7.0 / 8;
  double hopelessFactor = 4.0;
  double hopelessRounds = 4.0;
  // Only on unicost models: on weighted ones the Lagrangian tree does finish, and the rule
  // gave its time to the local search (weighted scpb2, scpc2, scpc3 with a 60 s limit: proved
  // in 4.3 and 4.9 CPU s and not at all, against 1.3, 1.0 and 2.3 without the rule; the bound
  // of scpnrh1 and scpnrh2 at 10 s fell from 47 and 46 to 45, their covers stayed).
  bool hopelessUnicostOnly = true;

  // PROPAGATE's exact search on a unicost model. Where the LP bound is weak, as on Steiner
  // triple systems, it is far stronger than the Lagrangian branch-and-bound (stn45: well under
  // a second against minutes), but it cannot stop and go on later. So it runs in attempts from
  // scratch with node caps doubling from engineFirstNodes, taking at most engineShare of the
  // work: the work thrown away is at most about that of the last attempt. Only on models of at
  // most engineMaxSets columns: on the larger OR-Library files (1000 columns and more) it
  // proved nothing in minutes, and the time goes to the local search.
  long long engineFirstNodes = 1000;
  double engineShare = 0.25;
  int engineMaxSets = 600;

  // The core heuristic (core_heuristic.hpp) takes turns on models with at least
  // coreColumnsPerRow columns per row (after the reductions): crew-scheduling and most MIPLIB
  // covering models, the OR-Library's scp4x-scpnrh. Coverage models, whose rows outnumber the
  // columns, keep the turns without it. It starts with coreStartShare of each round; a turn
  // that makes the incumbent cheaper doubles its share (up to coreMaxShare), one that does not
  // halves it (down to coreMinShare), so the local search and the tree get the time back where
  // the core has nothing more to give.
  double coreColumnsPerRow = 2.0;
  double coreStartShare = 0.5;
  double coreMinShare = 1.0 / 16;
  double coreMaxShare = 0.75;
  // Where the core heuristic takes turns and there is a deadline, the root's subgradient steps
  // over every column stop at coreRootShare of the time limit (checked every coreRootChunk
  // steps), and no extra ones follow (rootExtraShare): the core's own steps go on from there at
  // a fraction of the cost. A crew-shaped model of 500 rows and 50,000 columns spent all of 10 s
  // in the root before (cover 66; 55-56 with the turns), weighted scpnrf3 at 2 s gave 16 against
  // 14. Without a deadline nothing changes, so node-limited runs repeat.
  double coreRootShare = 0.2;
  int coreRootChunk = 100;
  CoreOptions coreOptions;

  // The least time between two progress reports without a better cover (tests set 0).
  double heartbeatSeconds = Budget::kBeatSeconds;

  static SubgradientOptions rootSubgradient() {
    SubgradientOptions options;
    options.iterations = 2000;
    options.heuristicEvery = 10;
    options.reportBound = true;
    return options;
  }
};

// Sets the setting called `name` (as in the struct: "lpShare", "reductions", "bnb.nodeSteps",
// "root.iterations", ...; switches take 0 or 1) to `value`. Returns false for an unknown name.
bool setSetting(PortfolioSettings& settings, const std::string& name, double value);

// Every name setSetting knows, in the struct's order.
std::vector<std::string> settingNames();

}  // namespace nimbrel_tavik_util::setcover_detail
