// The portfolio of solveWithin: reductions, greedy, interval rows, the root's LP and Lagrangian
// bound, then the local search, the Lagrangian branch-and-bound and PROPAGATE's exact search
// taking turns on one budget.
#include "setcover/within/portfolio.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>

#include "setcover/glpk_trap.hpp"
#include "setcover/propagate/exact_search.hpp"
#include "setcover/within/bnb.hpp"
#include "setcover/within/core_heuristic.hpp"
#include "setcover/within/greedy_cost.hpp"
#include "setcover/within/interval_rows.hpp"
#include "setcover/within/lagrangian.hpp"
#include "setcover/within/local_search.hpp"
#include "setcover/within/lp_bound.hpp"
#include "setcover/within/presolve.hpp"
#include "setcover/within/workers.hpp"

namespace nimbrel_tavik_util::setcover_detail {

namespace {

bool hopeless(double done, double searchWork, Budget& budget, const PortfolioSettings& settings) {
  const double elapsed = budget.elapsedSeconds();
  if (elapsed <= 0.0 || searchWork <= 0.0) return false;
  const double perSecond = static_cast<double>(budget.work()) / elapsed;
  const double affordable = perSecond * budget.remainingSeconds();
  if (done <= 0.0) return searchWork >= settings.hopelessRounds * settings.firstRound;
  const double needed = searchWork * (1.0 - done) / done;
  return needed > settings.hopelessFactor * affordable;
}

long long countFor(double work, double workPerUnit) {
  const double n = work / std::max(workPerUnit, 1.0);
  return static_cast<long long>(std::clamp(n, 1.0, 1e12));
}

}  // namespace

bool engineAttempt(const CoverModel& model, Incumbent& incumbent, Budget& budget,
                   long long maxNodes) {
  const SearchRoot root = searchRoot(model);
  int best = static_cast<int>(std::lround(incumbent.cost()));
  std::vector<int> path;
  SearchOptions options;
  options.budget = &budget;
  options.maxNodes = maxNodes;
  SearchStats stats;
  bool finished = true;
  try {
    if (searchFirstMinimum(root, best, path, &stats, options)) incumbent.offer(path);
  } catch (const SearchAborted&) {
    finished = false;
  }
  budget.addNodes(stats.nodes + stats.subNodes);
  return finished;
}

namespace {

// The calling thread's side of a multi-thread call: the shared cover and bound, and the
// workers. Null members with threads = 1, where nothing below changes.
struct Team {
  SharedBest* shared = nullptr;
  TreeShare* tree = nullptr;  // the tree's pieces, when it is split between the threads
  std::uint64_t seen = 0;
  std::vector<int> cols;

  bool active() const { return shared != nullptr; }
  // At a turn boundary: takes the workers' best cover when better (Incumbent checks that it
  // covers, and reports it from this thread), offers ours, and shares the bound. Returns
  // whether the incumbent improved.
  bool sync(Incumbent& incumbent, double lower) {
    if (shared == nullptr) return false;
    double cost = kInfCost;
    const bool taken = shared->fetch(seen, cols, cost) && incumbent.offer(cols);
    shared->publish(incumbent.cols(), incumbent.cost());
    shared->raiseBound(lower);
    return taken;
  }
};

// The techniques of the turns behind the one interface (technique.hpp). Each turns the work
// it is given into a count of its own steps (moves, nodes) from its work per step in its last
// turn.
class LocalTechnique final : public Technique {
 public:
  LocalTechnique(const CoverModel& model, Incumbent& incumbent, Budget& budget,
                 const PortfolioSettings& settings)
      : Technique(incumbent, budget),
        local_(model, incumbent.rule(), settings.searchSeed),
        perMove_(settings.firstWorkPerMove) {
    local_.offer(incumbent.cols());
  }
  const char* name() const override { return "local"; }
  void adopt(const std::vector<int>& cover) override { local_.offer(cover); }

 protected:
  TurnOutcome play(double work, double target) override {
    TurnOutcome out;
    const std::uint64_t before = budget_.work();
    const long long moves = local_.steps();
    out.found = local_.run(countFor(work, perMove_), budget_, target);
    if (local_.steps() > moves) {
      perMove_ = static_cast<double>(budget_.work() - before) /
                 static_cast<double>(local_.steps() - moves);
    }
    out.proved = out.found && incumbent_.offer(local_.best()) && incumbent_.prunes(target);
    return out;
  }

 private:
  LocalSearch local_;
  double perMove_;  // first guess; measured after each turn
};

// With threads > 1 and a TreeShare, the calling thread's tree is one slot (0) of the split:
// its turns search the piece it holds, which starts as the whole tree, take a piece another
// thread gave once it is exhausted, and wait a moment for one when there is none. Proved once
// no piece is held or waiting anywhere; its bound is then the least over every piece.
class TreeTechnique final : public Technique {
 public:
  TreeTechnique(BranchAndBound& search, const CoverModel& model, Incumbent& incumbent,
                Budget& budget, const PortfolioSettings& settings, TreeShare* share,
                SharedBest* shared)
      : Technique(incumbent, budget),
        search_(search),
        share_(share),
        shared_(shared),
        perNode_(static_cast<double>(model.numCols) * settings.firstWorkPerNodeColumn) {
    if (share_ != nullptr) search_.joinShare(share_, 0);
  }
  const char* name() const override { return "tree"; }
  double lowerBound() const override { return share_ == nullptr ? search_.lowerBound() : bound_; }
  double doneFraction() const { return search_.doneFraction(); }
  bool symmetric() const { return search_.symmetric(); }

 protected:
  TurnOutcome play(double work, double target) override {
    TurnOutcome out;
    if (share_ != nullptr) {
      budget_.addNodes(share_->drainNodes());
      // A bound proven elsewhere (the root, another technique, the pieces) may settle it: the
      // threads holding pieces then stop without finishing them.
      importShared();
      if (incumbent_.prunes(std::max(target, bound_))) {
        out.proved = true;
        return out;
      }
    }
    if (share_ != nullptr && !holding_) {
      OpenNode piece;
      if (share_->take(0, piece)) {
        search_.restartAt(piece);
        holding_ = true;
      } else {
        // Nothing to search here for now: wait briefly for a piece (the holders give one at
        // their next node), well within the stop flag's reaction time; not while the tree
        // looks hopeless, when the other techniques' turns are worth more than its pieces.
        if (!share_->hopeless() && !share_->quiescent()) {
          share_->waitForPiece(std::chrono::microseconds(1000));
        }
        out.proved = share_->quiescent() && importShared();
        raiseBound();
        return out;
      }
    }
    const std::uint64_t before = budget_.work();
    const long long nodes = budget_.nodes();
    const bool done = search_.run(countFor(work, perNode_));
    if (!done && budget_.nodes() > nodes) {
      perNode_ = static_cast<double>(budget_.work() - before) /
                 static_cast<double>(budget_.nodes() - nodes);
    }
    if (share_ == nullptr) {
      out.proved = done;
      return out;
    }
    // Covers are published before the piece is marked finished, so that the bound taken
    // below never passes a cover only this thread knows.
    shared_->publish(incumbent_.cols(), incumbent_.cost());
    if (done) {
      share_->finish(0);
      holding_ = false;
      out.proved = share_->quiescent() && importShared();
    } else {
      share_->raise(0, search_.lowerBound());
    }
    raiseBound();
    return out;
  }

 private:
  // Takes the best cover any thread published when it is better. Returns true, for use where
  // the tree is exhausted everywhere and that cover is therefore optimal.
  bool importShared() {
    double cost = kInfCost;
    if (shared_->fetch(seen_, cols_, cost) && incumbent_.rule().better(cost, incumbent_.cost())) {
      incumbent_.offer(cols_);
    }
    return true;
  }
  // The least bound over the pieces held or waiting, read before the shared cover's cost: a
  // piece is marked finished only after its covers were published.
  void raiseBound() {
    const double open = share_->openBound();
    const double best = std::min(shared_->cost(), incumbent_.cost());
    const double lb = std::min(open, best);
    if (lb == kInfCost) return;
    const double proven = incumbent_.rule().bound(lb);
    if (proven > bound_) {
      bound_ = proven;
      incumbent_.reportBound(lb);
    }
  }

  BranchAndBound& search_;
  TreeShare* share_;
  SharedBest* shared_;
  bool holding_ = true;  // the whole tree, to begin with
  std::uint64_t seen_ = 0;
  std::vector<int> cols_;
  double bound_ = 0.0;
  double perNode_;
};

// PROPAGATE's search cannot pause: each turn is an attempt from scratch with a node cap that
// doubles from turn to turn; the work it is given is not used (the turn rule caps its share).
class EngineTechnique final : public Technique {
 public:
  EngineTechnique(const CoverModel& model, Incumbent& incumbent, Budget& budget,
                  const PortfolioSettings& settings)
      : Technique(incumbent, budget), model_(model), cap_(settings.engineFirstNodes) {}
  const char* name() const override { return "engine"; }

 protected:
  TurnOutcome play(double /*work*/, double /*target*/) override {
    TurnOutcome out;
    const long long left = budget_.nodesLeft();
    out.proved =
        engineAttempt(model_, incumbent_, budget_, left >= 0 ? std::min(cap_, left) : cap_);
    cap_ *= 2;
    return out;
  }

 private:
  const CoverModel& model_;
  long long cap_;
};

// Whether the core heuristic gets turns on `model`: with many columns per row, where the
// local search's moves over every column grow slow and a small core carries the covers; on
// coverage models (fewer columns than rows) the turns stay as they were without it.
bool coreFits(const CoverModel& model, const PortfolioSettings& settings) {
  return settings.core && model.numRows > 0 &&
         static_cast<double>(model.numCols) >=
             settings.coreColumnsPerRow * static_cast<double>(model.numRows);
}

// The shares of a round by technique name. "local" is the local search's share of what the
// core leaves, "core" the core heuristic's share of the whole round, the tree takes the rest;
// the engine's turns are capped by its share of all work done.
struct Shares {
  double local = 0.0;
  double core = 0.0;
  double engine = 0.0;
};

// Returns true when the exact search proved the incumbent optimal (or a technique reached
// `lower`). `lower`: the root's bound, raised by the techniques' bounds (the tree's only on
// return: the tree itself prunes with it) as they prove them.
bool takeTurns(const CoverModel& model, Incumbent& incumbent, BranchAndBound& search,
               Budget& budget, double& lower, const PortfolioSettings& settings, Team& team,
               const std::vector<double>& rootU, const TechniqueHook& hook,
               std::vector<TechniqueReport>& reports) {
  std::optional<LocalTechnique> local;
  if (settings.localSearch) local.emplace(model, incumbent, budget, settings);
  TreeTechnique tree(search, model, incumbent, budget, settings, team.tree, team.shared);
  std::optional<EngineTechnique> engine;
  if (settings.engine && model.unicost && model.numCols <= settings.engineMaxSets) {
    engine.emplace(model, incumbent, budget, settings);
  }
  std::unique_ptr<Technique> core;
  if (coreFits(model, settings)) {
    auto heuristic = std::make_unique<CoreHeuristic>(model, incumbent, budget, settings.coreOptions,
                                                     settings.searchSeed);
    heuristic->startFrom(rootU);
    core = std::move(heuristic);
  }
  if (hook) core = hook(model, incumbent, budget);  // tests plant a technique of their own here
  std::vector<Technique*> all{&tree};
  if (local) all.push_back(&*local);
  if (engine) all.push_back(&*engine);
  if (core) all.push_back(core.get());
  const auto report = [&all, &reports] {
    reports.clear();
    for (const Technique* t : all) reports.push_back({t->name(), t->stats()});
  };
  // After a turn that made the incumbent cheaper, the others may go on from it.
  const auto spread = [&all, &incumbent](const Technique& from, double held) {
    if (!incumbent.rule().better(incumbent.cost(), held)) return;
    for (Technique* t : all) {
      if (t != &from) t->adopt(incumbent.cols());
    }
  };
  // A bound proven by a technique other than the tree raises `lower`.
  const auto raise = [&all, &tree, &lower] {
    for (const Technique* t : all) {
      if (t != &tree) lower = std::max(lower, t->lowerBound());
    }
  };

  double round = settings.firstRound;
  // With workers searching locally all the time, this thread's turns go mostly to the tree;
  // where the workers search the tree's pieces instead, its turns go as with one thread.
  const double start =
      team.active() && team.tree == nullptr ? settings.minShare : settings.startShare;
  Shares shares;
  shares.local = local ? start : 0.0;
  shares.core = core ? settings.coreStartShare : 0.0;
  shares.engine = settings.engineShare;
  double searchWork = 0.0;  // work of the exact search's turns
  const auto finish = [&](bool proved) {
    report();
    lower = std::max(lower, tree.lowerBound());
    return proved;
  };
  for (;;) {
    if (budget.expired() || budget.nodeLimitReached()) return finish(false);
    if (team.sync(incumbent, std::max(lower, tree.lowerBound()))) {
      if (incumbent.prunes(std::max(lower, tree.lowerBound()))) return finish(true);
      if (local) local->adopt(incumbent.cols());
    }

    const double rest = 1.0 - shares.core;
    bool found = false;
    if (local) {
      const double held = incumbent.cost();
      const TurnOutcome out = local->turn(round * rest * shares.local, lower);
      if (out.proved) return finish(true);
      found = out.found;
      spread(*local, held);
      if (budget.expired() || budget.nodeLimitReached()) return finish(false);
    }

    bool coreImproved = false;
    if (core) {
      const double held = incumbent.cost();
      const TurnOutcome out = core->turn(round * shares.core, lower);
      raise();
      coreImproved = incumbent.rule().better(incumbent.cost(), held);
      if (out.proved || incumbent.prunes(lower)) return finish(true);
      spread(*core, held);
      if (budget.expired() || budget.nodeLimitReached()) return finish(false);
    }

    double held = incumbent.cost();
    std::uint64_t before = budget.work();
    if (tree.turn(round * rest * (1.0 - shares.local), lower).proved) return finish(true);
    spread(tree, held);

    // PROPAGATE's search knows no symmetry: where the tree prunes by it, the engine's turns
    // would only slow the proof (stn81: 9.5 s with them, 1 s without).
    if (engine && !tree.symmetric() &&
        static_cast<double>(engine->stats().work) <=
            shares.engine * static_cast<double>(budget.work()) &&
        !budget.expired() && !budget.nodeLimitReached()) {
      held = incumbent.cost();
      before = budget.work();
      if (engine->turn(0.0, lower).proved) return finish(true);
      spread(*engine, held);
    }

    if (local) {
      shares.local = found ? start : std::max(settings.minShare, shares.local / 2);
      if (budget.hasDeadline() && (model.unicost || !settings.hopelessUnicostOnly)) {
        searchWork += static_cast<double>(budget.work() - before);
        const bool lost = hopeless(tree.doneFraction(), searchWork, budget, settings);
        if (lost) shares.local = settings.hopelessShare;
        if (team.tree != nullptr) team.tree->setHopeless(lost);
      }
    }
    // The core heuristic's share follows its results: doubled after a turn that made the
    // incumbent cheaper, halved after one that did not.
    if (core && core->settled()) {
      shares.core = coreImproved ? std::min(settings.coreMaxShare, shares.core * 2)
                                 : std::max(settings.coreMinShare, shares.core / 2);
    }
    round = std::min(round * settings.roundGrowth, settings.maxRound);
  }
}

// Multipliers for the root: the LP relaxation's duals, when the dual simplex gives a better
// bound than the simple ones (c_j / |j|) within settings.lpShare of the time left.
std::vector<double> rootMultipliers(const CoverModel& model, Residual all,
                                    std::vector<double>& gamma, Budget& budget,
                                    const PortfolioSettings& settings) {
  std::vector<double> simple;
  initialMultipliers(model, all, simple);
  if (!settings.lp) return simple;
  std::vector<double> lp;
  const double seconds = budget.hasDeadline() ? settings.lpShare * budget.remainingSeconds() : 0.0;
  if (budget.hasDeadline() && seconds <= 0.0) return simple;
  try {
    if (lpDuals(model, budget, seconds, lp, settings.lpOptions)) return lp;
  } catch (const GlpkFailure&) {
    return simple;  // GLPK failed: the subgradient steps do without the relaxation
  }
  return lagrangeValue(model, all, lp, gamma, budget) >
                 lagrangeValue(model, all, simple, gamma, budget)
             ? lp
             : simple;
}

// The root's subgradient steps. Where the core heuristic takes turns and there is a deadline,
// they stop at coreRootShare of the time limit (checked between chunks of coreRootChunk steps):
// on models with many nonzeros the 2000 steps over every column take seconds that the core's
// own steps, on a few columns per row, do better with (weighted scpnrf3 at 2 s: 16 with them,
// 14 with 200). Without a deadline the steps are those of every model, so runs repeat.
SubgradientOutcome rootSteps(const CoverModel& model, Residual all, std::vector<double>& u,
                             std::vector<double>& gamma, Incumbent& incumbent, Budget& budget,
                             const PortfolioSettings& settings) {
  if (!coreFits(model, settings) || !budget.hasDeadline()) {
    return subgradient(model, all, 0.0, {}, u, gamma, incumbent, settings.root, budget);
  }
  const double limit = budget.elapsedSeconds() + budget.remainingSeconds();
  SubgradientOptions chunk = settings.root;
  SubgradientOutcome root;
  root.best = -kInfCost;
  while (root.iterations < settings.root.iterations && !budget.expired() &&
         budget.elapsedSeconds() < settings.coreRootShare * limit) {
    chunk.iterations = std::min(settings.coreRootChunk, settings.root.iterations - root.iterations);
    const SubgradientOutcome step =
        subgradient(model, all, 0.0, {}, u, gamma, incumbent, chunk, budget);
    if (step.iterations == 0) break;
    root.iterations += step.iterations;
    root.best = std::max(root.best, step.best);
    root.lambda = chunk.lambda = step.lambda;
    root.pruned = step.pruned;
    if (root.pruned || step.lambda < settings.root.minLambda) break;
  }
  if (root.iterations == 0) root.best = 0.0;
  return root;
}

// With a deadline, more root steps while they still raise the bound by rootExtraGain per chunk
// of rootExtraSteps, up to rootExtraShare of the time limit: on large models (a reduced
// coverage model of 49,486 rows) the default steps stop far below where the bound goes (2643
// against 2777 after 80 s), and the tree there is hopeless anyway. Without a deadline nothing
// changes, so that node-limited runs repeat.
void extendRoot(const CoverModel& model, Residual all, std::vector<double>& u,
                std::vector<double>& gamma, Incumbent& incumbent, Budget& budget,
                const PortfolioSettings& settings, SubgradientOutcome& root) {
  if (!budget.hasDeadline() || root.pruned || root.iterations == 0) return;
  // Where the core heuristic takes turns, its own steps on the core go on from here, at a
  // fraction of the cost of steps over every column (rootSteps).
  if (coreFits(model, settings)) return;
  const double limit = budget.elapsedSeconds() + budget.remainingSeconds();
  SubgradientOptions more = settings.root;
  more.iterations = settings.rootExtraSteps;
  more.minLambda = 0.0;  // the gain decides when to stop
  while (!budget.expired() && budget.elapsedSeconds() < settings.rootExtraShare * limit) {
    more.lambda = root.lambda;
    const double before = root.best;
    const SubgradientOutcome step =
        subgradient(model, all, 0.0, {}, u, gamma, incumbent, more, budget);
    if (step.iterations == 0) break;
    root.best = std::max(root.best, step.best);
    root.lambda = step.lambda;
    root.pruned = step.pruned;
    if (root.pruned || root.best - before < settings.rootExtraGain * std::fabs(root.best)) break;
  }
}

// The warm start in the reduced model's terms: its columns that the reductions kept, completed
// by the greedy. It may cost more than `start` itself (a dropped column's replacement), which
// is why solveModel also keeps `start`.
std::vector<int> reducedStart(const Reduced& red, const CoverModel& model,
                              const std::vector<int>& start, Budget& budget) {
  if (red.identity) return start;  // already a cover of this model
  std::vector<int> toReduced(model.numCols, -1);
  for (int k = 0; k < red.model.numCols; ++k) toReduced[red.origCol[k]] = k;
  std::vector<int> seed;
  for (int j : start) {
    if (toReduced[j] >= 0) seed.push_back(toReduced[j]);
  }
  return greedyByCost(red.model, budget, seed);
}

}  // namespace

CoreResult solveModel(const CoverModel& model, const std::vector<int>& start, Budget& budget,
                      Progress& progress, const PortfolioSettings& settings, int threads,
                      const TechniqueHook& hook) {
  CoreResult out;
  CostRule rule;
  rule.integral = model.integral;
  progress.setCostRule(rule);
  // The warm start completed in the whole model: never returned worse than this. On models
  // whose reductions take seconds, the greedy cover of the whole model takes its place, so
  // that a cover (and with it the first bound below) is reported early.
  const bool early = !start.empty() || model.colRows.size() >= settings.earlyGreedyEntries;
  std::vector<int> startCover;
  if (early) startCover = greedyByCost(model, budget, start);
  const double startCost = early ? coverCost(model, startCover) : kInfCost;
  if (early) progress.cover(startCost);
  progress.bound(rule.bound(quickBound(model, budget)));
  Reduced red = settings.reductions ? reduce(model, budget, settings.reduce) : unreduced(model);
  progress.setOffset(red.fixedCost);
  const CoverModel& rm = red.of(model);
  Incumbent incumbent(rm, rule, progress);
  double lower = 0.0;  // proven bound on the reduced model
  bool optimal = false;

  if (rm.numRows == 0) {
    incumbent.offer({});
    optimal = true;
  } else {
    if (early) incumbent.offer(reducedStart(red, model, startCover, budget));
    incumbent.offer(greedyByCost(rm, budget));
    std::vector<int> exact;
    if (settings.intervalRows && !budget.expired() && solveIntervalRows(rm, exact)) {
      incumbent.offer(exact);
      optimal = true;
    }
  }
  // With threads > 1, the workers start here, from the greedy cover, and search beside the
  // root bound and the turns below; the pool's destructor joins them on every way out.
  std::optional<SharedBest> shared;
  std::optional<TreeShare> tree;
  std::optional<WorkerPool> pool;
  Team team;
  if (!optimal && !budget.expired() && threads > 1 &&
      (settings.localSearch || settings.splitTree)) {
    shared.emplace(rule);
    shared->publish(incumbent.cols(), incumbent.cost());
    WorkerRoles roles;
    roles.localSearch = settings.localSearch;
    if (coreFits(rm, settings)) roles.core = &settings.coreOptions;
    if (settings.splitTree) {
      tree.emplace(threads);
      tree->hold(0, 0.0);  // the calling thread holds the whole tree until it gives pieces away
      roles.tree = &*tree;
      roles.bnb = &settings.bnb;
      team.tree = &*tree;
    }
    pool.emplace(rm, rule, *shared, incumbent.cols(), threads - 1, settings.searchSeed,
                 budget.deadline(), budget.stopFlag(), roles);
    budget.alsoStopOn(&pool->failed());
    team.shared = &*shared;
  }
  if (!optimal && !budget.expired()) {
    std::vector<char> rowActive(rm.numRows, 1);
    std::vector<char> colFree(rm.numCols, 1);
    const Residual all{rowActive.data(), colFree.data()};
    std::vector<double> gamma(rm.numCols, 0.0);
    std::vector<double> u = rootMultipliers(rm, all, gamma, budget, settings);
    SubgradientOutcome root = rootSteps(rm, all, u, gamma, incumbent, budget, settings);
    extendRoot(rm, all, u, gamma, incumbent, budget, settings, root);
    if (root.iterations > 0) lower = std::max(lower, rule.bound(root.best));
    progress.bound(lower);
    team.sync(incumbent, lower);
    if (incumbent.prunes(root.best)) {
      optimal = true;
    } else if (!budget.expired()) {
      const std::vector<double> rootU = coreFits(rm, settings) ? u : std::vector<double>{};
      BranchAndBound search(rm, incumbent, budget, std::move(u), settings.bnb);
      optimal = takeTurns(rm, incumbent, search, budget, lower, settings, team, rootU, hook,
                          out.techniques);
    }
  }
  if (pool) {
    budget.alsoStopOn(nullptr);
    pool->stop();                 // joins; a worker's exception leaves here
    team.sync(incumbent, lower);  // the workers' last covers
    if (!optimal && incumbent.prunes(lower)) optimal = true;
  }

  for (int j : incumbent.cols()) out.cols.push_back(red.original(j));
  out.cols.insert(out.cols.end(), red.fixedCols.begin(), red.fixedCols.end());
  out.cost = coverCost(model, out.cols);
  if (rule.better(startCost, out.cost)) {
    out.cols = std::move(startCover);
    out.cost = startCost;
  }
  // Every bound proven on the way, in the caller's terms (the first came before the reductions).
  const double proven = std::max(lower + red.fixedCost, progress.boundTotal());
  if (!optimal && rule.prunes(proven, out.cost)) optimal = true;
  out.optimal = optimal;
  out.lowerBound = optimal ? out.cost : std::min(out.cost, proven);
  if (rule.integral && !optimal) out.lowerBound = std::ceil(out.lowerBound - 1e-9);
  out.lowerBound = std::max(0.0, out.lowerBound);  // no "-0" from rounding a zero bound
  return out;
}

}  // namespace nimbrel_tavik_util::setcover_detail
