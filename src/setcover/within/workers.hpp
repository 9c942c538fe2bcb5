// The threads of solveWithin with SolveLimits::threads != 1 (internal, not installed): the
// best cover and the bound shared between the calling thread's portfolio and its workers, and
// the pool of local-search workers that run beside it.
//
// The sharing follows the parallel portfolios of mixed-integer programming and SAT: each
// thread runs a complete search of its own, and the only state they share is the incumbent
// (read at turn boundaries, written on improvement) and the global bound (Y. Shinano,
// T. Achterberg, T. Berthold, S. Heinz, T. Koch, M. Winkler, "Solving open MIP instances with
// ParaSCIP on supercomputers using up to 80,000 cores", IPDPS 2016, and the racing of
// FiberSCIP; Y. Hamadi, S. Jabbour, L. Sais, "ManySAT: a parallel SAT solver", JSAT 6 (2009)
// 245-262). The workers differ by seed, as the independent multi-walk local searches of
// A. Arbelaez, P. Codognet, "From sequential to parallel local search for SAT" (EvoCOP 2013),
// and cooperate as the variants measured there do: a walk that fell behind takes the best
// cover known.
//
// Only the calling thread ever talks to Progress (and so to the caller's onProgress): the
// workers publish into SharedBest and the calling thread imports from it.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "setcover/budget.hpp"
#include "setcover/cover_model.hpp"
#include "setcover/within/bnb.hpp"
#include "setcover/within/core_heuristic.hpp"
#include "setcover/within/incumbent.hpp"
#include "setcover/within/tree_share.hpp"

namespace nimbrel_tavik_util::setcover_detail {

// The best cover known to any thread and the best bound proven by any. Every member may be
// called from any thread.
class SharedBest {
 public:
  explicit SharedBest(CostRule rule) : rule_(rule) {}
  // Takes `cols` (a cover of cost `cost`, checked by whoever imports it) when it improves on
  // the held one by the cost rule. Returns whether it was taken. O(|cols|) under the lock.
  bool publish(const std::vector<int>& cols, double cost);
  // When the held cover changed since version `seen`: copies it into `cols` and `cost`,
  // updates `seen` and returns true.
  bool fetch(std::uint64_t& seen, std::vector<int>& cols, double& cost) const;
  double cost() const { return cost_.load(std::memory_order_acquire); }
  // A proven lower bound on the model (without any offset); the held one only rises.
  void raiseBound(double lb);
  double bound() const { return bound_.load(std::memory_order_acquire); }

 private:
  CostRule rule_;
  mutable std::mutex mutex_;
  std::vector<int> cols_;
  std::uint64_t version_ = 0;
  std::atomic<double> cost_{kInfCost};
  std::atomic<double> bound_{0.0};
};

// `count` workers on their own threads, started at construction from `start` (a cover of
// `model`), each with its own seed. With a TreeShare, a worker searches the pieces of the tree
// the other threads give away (slot k + 1 for worker k), each on its own BranchAndBound with
// `bnb` (built at its first piece); while it has none, and always without a share, it runs
// short turns of the row-weighting local search (unless `localSearch` is false: it then waits
// for a piece). Each ends when its budget ends (the caller's `deadline`, however late the thread
// starts, the caller's stop flag, or stop()); at every turn boundary it imports the shared
// cover when it is better than its own and publishes its own when better; a piece's covers are
// published before the piece is marked finished. With `roles.core`, the heuristic time is shared
// between the local search and a core heuristic of the worker's own. A thread the system refuses to
// create (EAGAIN: out of threads or address space) is done without: the pool goes on with those
// that started, maybe none, and logs one warning. Memory O(count * (m + n)), and a GLPK problem of
// the model per tree worker.
struct WorkerRoles {
  bool localSearch = true;
  TreeShare* tree = nullptr;
  const BnbOptions* bnb = nullptr;
  // Where the model's shape gives the core heuristic turns: a core heuristic of the worker's
  // own (another seed) beside its local search, the two sharing the worker's heuristic time by
  // which of them improves the shared cover.
  const CoreOptions* core = nullptr;
};

class WorkerPool {
 public:
  WorkerPool(const CoverModel& model, CostRule rule, SharedBest& shared,
             const std::vector<int>& start, int count, std::uint64_t seed,
             Budget::Deadline deadline, const std::atomic<bool>* callerStop,
             WorkerRoles roles = {});
  // Stops and joins every worker; exceptions of the workers are dropped (the caller is already
  // leaving by an exception of its own, or called stop()).
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Stops and joins every worker, then rethrows the first exception a worker threw.
  void stop();
  // Set once a worker has thrown: the calling thread's budget watches it (Budget::alsoStopOn)
  // so that the call ends soon and stop() carries the exception out.
  const std::atomic<bool>& failed() const { return failed_; }
  int size() const { return static_cast<int>(threads_.size()); }

 private:
  void work(int slot, std::uint64_t seed, Budget::Deadline deadline,
            const std::atomic<bool>* callerStop);
  void join();

  const CoverModel& model_;
  CostRule rule_;
  SharedBest& shared_;
  const std::vector<int> start_;
  const WorkerRoles roles_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> failed_{false};
  std::mutex errorMutex_;
  std::exception_ptr error_;
  std::vector<std::thread> threads_;
};

// The threads a SolveLimits::threads value asks for: itself when positive, else one per
// hardware thread (1 when the count is unknown); at most maxThreads(), with one warning logged
// when that cuts a request.
int threadCount(int requested);
// kThreadsPerHardwareThread per hardware thread, at least kMinThreadCap: more threads only
// take turns on the same cores (10,000 asked for once took 45 s to end a 1 s call).
constexpr int kThreadsPerHardwareThread = 4;
constexpr int kMinThreadCap = 8;
int maxThreads();

}  // namespace nimbrel_tavik_util::setcover_detail
