// The shared incumbent and the local-search workers of a multi-thread solveWithin call.
#include "setcover/within/workers.hpp"

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "nimbrel_tavik_util/logger.hpp"

#include "setcover/within/core_heuristic.hpp"
#include "setcover/within/local_search.hpp"

namespace nimbrel_tavik_util::setcover_detail {

bool SharedBest::publish(const std::vector<int>& cols, double cost) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!rule_.better(cost, cost_.load(std::memory_order_relaxed))) return false;
  cols_ = cols;
  ++version_;
  cost_.store(cost, std::memory_order_release);
  return true;
}

bool SharedBest::fetch(std::uint64_t& seen, std::vector<int>& cols, double& cost) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (version_ == seen) return false;
  seen = version_;
  cols = cols_;
  cost = cost_.load(std::memory_order_relaxed);
  return true;
}

void SharedBest::raiseBound(double lb) {
  double held = bound_.load(std::memory_order_relaxed);
  while (lb > held && !bound_.compare_exchange_weak(held, lb, std::memory_order_acq_rel)) {
  }
}

WorkerPool::WorkerPool(const CoverModel& model, CostRule rule, SharedBest& shared,
                       const std::vector<int>& start, int count, std::uint64_t seed,
                       Budget::Deadline deadline, const std::atomic<bool>* callerStop,
                       WorkerRoles roles)
    : model_(model), rule_(rule), shared_(shared), start_(start), roles_(roles) {
  threads_.reserve(static_cast<std::size_t>(std::max(count, 0)));
  try {
    for (int k = 0; k < count; ++k) {
      // Seeds far apart in a 64-bit odd-constant sequence, so that no two walks repeat.
      const std::uint64_t own = seed + 0x9e3779b97f4a7c15ULL * static_cast<std::uint64_t>(k + 1);
      threads_.emplace_back(
          [this, k, own, deadline, callerStop] { work(k + 1, own, deadline, callerStop); });
    }
  } catch (const std::system_error& e) {
    // The threads that started search on; the calling thread always does.
    Logger::warning("solveWithin: " + std::to_string(count - size()) + " of " +
                    std::to_string(count) + " worker threads could not be started (" + e.what() +
                    "); the call goes on with the other " + std::to_string(size()) +
                    " and the calling thread");
  } catch (...) {
    join();  // a thread that could not start: the ones that did end before the error leaves
    throw;
  }
}

WorkerPool::~WorkerPool() { join(); }

void WorkerPool::join() {
  stop_.store(true, std::memory_order_release);
  for (std::thread& t : threads_) {
    if (t.joinable()) t.join();
  }
}

void WorkerPool::stop() {
  join();
  if (error_) std::rethrow_exception(error_);
}

void WorkerPool::work(int slot, std::uint64_t seed, Budget::Deadline deadline,
                      const std::atomic<bool>* callerStop) {
  try {
    Budget budget(deadline, -1, callerStop);
    budget.alsoStopOn(&stop_);
    // The worker's own incumbent (its reports go nowhere: only the calling thread reports),
    // which its tree prunes with; it follows the shared one at every turn boundary.
    static const std::function<void(const SolveProgress&)> silent;
    Progress progress(silent, budget);
    progress.setCostRule(rule_);
    Incumbent incumbent(model_, rule_, progress);
    incumbent.offer(start_);
    std::optional<LocalSearch> local;
    if (roles_.localSearch) {
      local.emplace(model_, rule_, seed);
      local->offer(start_);
    }
    // The core heuristic beside the local search where the model's shape gives it turns, with
    // shares of the heuristics' work that follow which of them improves the shared cover, as
    // the calling thread's turn rule does.
    std::unique_ptr<CoreHeuristic> core;
    if (roles_.core != nullptr) {
      core = std::make_unique<CoreHeuristic>(model_, incumbent, budget, *roles_.core,
                                             seed ^ 0x2545f4914f6cdd1dULL);
    }
    double coreShare = local ? 0.5 : 1.0;
    double coreWork = 0.0;
    double localWork = 0.0;
    std::optional<BranchAndBound> tree;
    bool holding = false;
    OpenNode piece;
    std::uint64_t seen = 0;
    std::vector<int> cols;
    double cost = kInfCost;
    // Turns of about kTurnWork units (a few milliseconds), so that a better cover found
    // elsewhere arrives soon and a waiting thread gets a piece soon; the first guesses of the
    // work per move and per node are refined after each turn.
    constexpr double kTurnWork = 1 << 20;
    double perMove = 64.0;
    double perNode = 64.0 * static_cast<double>(model_.numCols);
    const auto publish = [&] {
      if (local && local->hasCover()) incumbent.offer(local->best());
      return shared_.publish(incumbent.cols(), incumbent.cost());
    };
    while (!budget.timeUp()) {
      if (shared_.fetch(seen, cols, cost)) {
        if (rule_.better(cost, incumbent.cost())) incumbent.offer(cols);
        if (local && local->improves(cost)) local->offer(cols);
        if (core) core->adopt(cols);
      }
      const double lower = shared_.bound();
      if (rule_.prunes(lower, incumbent.cost())) {
        // The shared bound proves the cover optimal: what this thread holds of the tree is done.
        if (holding) roles_.tree->finish(slot);
        return;
      }
      const bool treePays = roles_.tree != nullptr && (!roles_.tree->hopeless() || !local);
      if (treePays && !holding && roles_.tree->take(slot, piece)) {
        if (!tree) {
          tree.emplace(model_, incumbent, budget, piece.u, *roles_.bnb);
          tree->joinShare(roles_.tree, slot);
        }
        tree->restartAt(piece);
        holding = true;
      }
      if (holding && treePays) {
        const std::uint64_t before = budget.work();
        const long long nodes = budget.nodes();
        const bool done = tree->run(
            static_cast<long long>(std::clamp(kTurnWork / std::max(perNode, 1.0), 1.0, 1e9)));
        if (budget.nodes() > nodes) {
          perNode = static_cast<double>(budget.work() - before) /
                    static_cast<double>(budget.nodes() - nodes);
          roles_.tree->countNodes(budget.nodes() - nodes);
        }
        publish();
        if (done) {
          roles_.tree->finish(slot);
          holding = false;
        } else {
          roles_.tree->raise(slot, tree->lowerBound());
        }
        continue;
      }
      if (core && (!local || coreWork <= coreShare * (coreWork + localWork))) {
        const std::uint64_t before = budget.work();
        core->turn(kTurnWork, lower);
        coreWork += static_cast<double>(budget.work() - before);
        const bool improved = publish();
        if (core->settled()) {
          coreShare =
              improved ? std::min(0.875, coreShare + 0.125) : std::max(0.125, coreShare - 0.03125);
        }
        continue;
      }
      if (!local) {
        roles_.tree->waitForPiece(std::chrono::microseconds(2000));
        continue;
      }
      if (local->hasCover() && rule_.prunes(lower, local->bestCost())) return;
      const long long moves = local->steps();
      const std::uint64_t before = budget.work();
      const long long steps =
          static_cast<long long>(std::clamp(kTurnWork / std::max(perMove, 1.0), 1.0, 1e9));
      if (local->run(steps, budget, lower) && publish() && core) {
        coreShare = std::max(0.125, coreShare - 0.125);
      }
      localWork += static_cast<double>(budget.work() - before);
      if (local->steps() == moves) {
        // No move was possible: no cheaper cover exists unless the budget ended the turn.
        if (!budget.expired()) {
          if (roles_.tree == nullptr) return;
          local.reset();  // the tree's pieces are all that is left to do
        }
      } else {
        perMove = static_cast<double>(budget.work() - before) /
                  static_cast<double>(local->steps() - moves);
      }
    }
  } catch (...) {
    const std::lock_guard<std::mutex> lock(errorMutex_);
    if (!error_) error_ = std::current_exception();
    failed_.store(true, std::memory_order_release);
  }
}

int maxThreads() {
  const unsigned hw = std::thread::hardware_concurrency();
  return std::max(kMinThreadCap, static_cast<int>(std::min(hw, 1024U)) * kThreadsPerHardwareThread);
}

int threadCount(int requested) {
  if (requested <= 0) return hardwareThreads();
  const int cap = maxThreads();
  if (requested <= cap) return requested;
  Logger::warning("solveWithin: " + std::to_string(requested) + " threads asked for; using " +
                  std::to_string(cap) + " (" + std::to_string(kThreadsPerHardwareThread) +
                  " per hardware thread, at least " + std::to_string(kMinThreadCap) + ")");
  return cap;
}

}  // namespace nimbrel_tavik_util::setcover_detail
