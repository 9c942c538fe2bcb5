// The shared incumbent and the local-search workers of a multi-thread solveWithin call.
#include "setcover/within/workers.hpp"

#include <algorithm>
#include <string>
#include <system_error>
#include <utility>

#include "nimbrel_tavik_util/logger.hpp"

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
                       Budget::Deadline deadline, const std::atomic<bool>* callerStop)
    : model_(model), rule_(rule), shared_(shared), start_(start) {
  threads_.reserve(static_cast<std::size_t>(std::max(count, 0)));
  try {
    for (int k = 0; k < count; ++k) {
      // Seeds far apart in a 64-bit odd-constant sequence, so that no two walks repeat.
      const std::uint64_t own = seed + 0x9e3779b97f4a7c15ULL * static_cast<std::uint64_t>(k + 1);
      threads_.emplace_back([this, own, deadline, callerStop] { work(own, deadline, callerStop); });
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

void WorkerPool::work(std::uint64_t seed, Budget::Deadline deadline,
                      const std::atomic<bool>* callerStop) {
  try {
    Budget budget(deadline, -1, callerStop);
    budget.alsoStopOn(&stop_);
    LocalSearch local(model_, rule_, seed);
    local.offer(start_);
    std::uint64_t seen = 0;
    std::vector<int> cols;
    double cost = kInfCost;
    // Turns of about kTurnWork units (a few milliseconds), so that a better cover found
    // elsewhere arrives soon; the first guess of the work per move is refined after each turn.
    constexpr double kTurnWork = 1 << 20;
    double perMove = 64.0;
    while (!budget.timeUp()) {
      if (shared_.fetch(seen, cols, cost) && local.improves(cost)) local.offer(cols);
      const double lower = shared_.bound();
      if (local.hasCover() && rule_.prunes(lower, local.bestCost())) return;
      const long long moves = local.steps();
      const std::uint64_t before = budget.work();
      const long long steps =
          static_cast<long long>(std::clamp(kTurnWork / std::max(perMove, 1.0), 1.0, 1e9));
      if (local.run(steps, budget, lower)) shared_.publish(local.best(), local.bestCost());
      if (local.steps() == moves) {
        // No move was possible: no cheaper cover exists unless the budget ended the turn.
        if (!budget.expired()) return;
      } else {
        perMove = static_cast<double>(budget.work() - before) /
                  static_cast<double>(local.steps() - moves);
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
