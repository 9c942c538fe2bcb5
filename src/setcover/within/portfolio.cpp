// The portfolio of solveWithin: reductions, greedy, interval rows, the root's LP and Lagrangian
// bound, then the local search, the Lagrangian branch-and-bound and PROPAGATE's exact search
// taking turns on one budget.
#include "setcover/within/portfolio.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <utility>

#include "setcover/glpk_trap.hpp"
#include "setcover/propagate/exact_search.hpp"
#include "setcover/within/bnb.hpp"
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

// Returns true when the exact search proved the incumbent optimal (or the local search reached
// `lower`).
bool takeTurns(const CoverModel& model, Incumbent& incumbent, BranchAndBound& search,
               Budget& budget, double lower, const PortfolioSettings& settings, Team& team) {
  LocalSearch local(model, incumbent.rule(), settings.searchSeed);
  local.offer(incumbent.cols());
  double round = settings.firstRound;
  // With workers searching locally all the time, this thread's turns go mostly to the tree.
  const double start = team.active() ? settings.minShare : settings.startShare;
  double share = settings.localSearch ? start : 0.0;
  double perMove = settings.firstWorkPerMove;  // first guesses; measured after each turn
  double perNode = static_cast<double>(model.numCols) * settings.firstWorkPerNodeColumn;
  double searchWork = 0.0;  // work of the exact search's turns
  const bool engineOn = settings.engine && model.unicost && model.numCols <= settings.engineMaxSets;
  double engineWork = 0.0;
  long long engineCap = settings.engineFirstNodes;
  for (;;) {
    if (budget.expired() || budget.nodeLimitReached()) return false;
    if (team.sync(incumbent, std::max(lower, search.lowerBound()))) {
      if (incumbent.prunes(std::max(lower, search.lowerBound()))) return true;
      if (settings.localSearch) local.offer(incumbent.cols());
    }

    std::uint64_t before = budget.work();
    bool found = false;
    if (settings.localSearch) {
      const long long moves = local.steps();
      found = local.run(countFor(round * share, perMove), budget, lower);
      if (local.steps() > moves) {
        perMove = static_cast<double>(budget.work() - before) /
                  static_cast<double>(local.steps() - moves);
      }
      if (found && incumbent.offer(local.best()) && incumbent.prunes(lower)) return true;
      if (budget.expired() || budget.nodeLimitReached()) return false;
    }

    const double held = incumbent.cost();
    before = budget.work();
    const long long nodes = budget.nodes();
    if (search.run(countFor(round * (1.0 - share), perNode))) return true;
    if (budget.nodes() > nodes) {
      perNode =
          static_cast<double>(budget.work() - before) / static_cast<double>(budget.nodes() - nodes);
    }
    if (settings.localSearch && incumbent.cost() < held) local.offer(incumbent.cols());

    // PROPAGATE's search knows no symmetry: where the tree prunes by it, the engine's turns
    // would only slow the proof (stn81: 9.5 s with them, 1 s without).
    if (engineOn && !search.symmetric() &&
        engineWork <= settings.engineShare * static_cast<double>(budget.work()) &&
        !budget.expired() && !budget.nodeLimitReached()) {
      before = budget.work();
      const long long left = budget.nodesLeft();
      const bool proved = engineAttempt(model, incumbent, budget,
                                        left >= 0 ? std::min(engineCap, left) : engineCap);
      engineWork += static_cast<double>(budget.work() - before);
      engineCap *= 2;
      if (proved) return true;
      if (settings.localSearch && incumbent.cost() < held) local.offer(incumbent.cols());
    }

    if (settings.localSearch) {
      share = found ? start : std::max(settings.minShare, share / 2);
      if (budget.hasDeadline() && (model.unicost || !settings.hopelessUnicostOnly)) {
        searchWork += static_cast<double>(budget.work() - before);
        if (hopeless(search.doneFraction(), searchWork, budget, settings)) {
          share = settings.hopelessShare;
        }
      }
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

// With a deadline, more root steps while they still raise the bound by rootExtraGain per chunk
// of rootExtraSteps, up to rootExtraShare of the time limit: on large models (a reduced
// coverage model of 49,486 rows) the default steps stop far below where the bound goes (2643
// against 2777 after 80 s), and the tree there is hopeless anyway. Without a deadline nothing
// changes, so that node-limited runs repeat.
void extendRoot(const CoverModel& model, Residual all, std::vector<double>& u,
                std::vector<double>& gamma, Incumbent& incumbent, Budget& budget,
                const PortfolioSettings& settings, SubgradientOutcome& root) {
  if (!budget.hasDeadline() || root.pruned || root.iterations == 0) return;
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
                      Progress& progress, const PortfolioSettings& settings, int threads) {
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
  std::optional<WorkerPool> pool;
  Team team;
  if (!optimal && !budget.expired() && threads > 1 && settings.localSearch) {
    shared.emplace(rule);
    shared->publish(incumbent.cols(), incumbent.cost());
    pool.emplace(rm, rule, *shared, incumbent.cols(), threads - 1, settings.searchSeed,
                 budget.deadline(), budget.stopFlag());
    budget.alsoStopOn(&pool->failed());
    team.shared = &*shared;
  }
  if (!optimal && !budget.expired()) {
    std::vector<char> rowActive(rm.numRows, 1);
    std::vector<char> colFree(rm.numCols, 1);
    const Residual all{rowActive.data(), colFree.data()};
    std::vector<double> gamma(rm.numCols, 0.0);
    std::vector<double> u = rootMultipliers(rm, all, gamma, budget, settings);
    SubgradientOutcome root =
        subgradient(rm, all, 0.0, {}, u, gamma, incumbent, settings.root, budget);
    extendRoot(rm, all, u, gamma, incumbent, budget, settings, root);
    if (root.iterations > 0) lower = std::max(lower, rule.bound(root.best));
    progress.bound(lower);
    team.sync(incumbent, lower);
    if (incumbent.prunes(root.best)) {
      optimal = true;
    } else if (!budget.expired()) {
      BranchAndBound search(rm, incumbent, budget, std::move(u), settings.bnb);
      optimal = takeTurns(rm, incumbent, search, budget, lower, settings, team);
      lower = std::max(lower, search.lowerBound());
    }
  }
  if (pool) {
    budget.alsoStopOn(nullptr);
    pool->stop();                 // joins; a worker's exception leaves here
    team.sync(incumbent, lower);  // the workers' last covers
    if (!optimal && incumbent.prunes(lower)) optimal = true;
  }

  CoreResult out;
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
