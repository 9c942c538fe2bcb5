// The branch-and-bound's tree split between the threads of one solveWithin call (internal, not
// installed): the open subtrees handed from a busy thread to an idle one, and the bound of
// every part of the tree not yet finished.
//
// Work stealing, receiver-initiated: a thread without a subtree says so (take() fails), and a
// thread searching one gives away, at its next node, the rest of its shallowest open node (the
// children it has not entered yet), which is the largest piece it holds (R. D. Blumofe,
// C. E. Leiserson, "Scheduling multithreaded computations by work stealing", JACM 46 (1999)
// 720-748, where idle workers take the oldest frames of a busy one; the subtree transfer of
// parallel MIP and constraint solvers, e.g. L. Michel, A. See, P. Van Hentenryck, "Transparent
// parallelization of constraint programming", INFORMS J. Computing 21 (2009) 363-382). A piece
// is described by its decisions (columns chosen and left out), so the receiver rebuilds it on
// its own residual state. ../README.md and within/README.md say why orbital branching and
// reduced-cost fixing stay sound.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <vector>

#include "setcover/within/incumbent.hpp"

namespace nimbrel_tavik_util::setcover_detail {

// A node of the tree as its decisions: every cover of the model that contains `chosen` and
// none of `excluded` and is not dominated by symmetry belongs to it. `bound`: a proven lower
// bound on its covers. `u`: multipliers to start its subgradient steps from. `symmetric`:
// whether the giver still computes groups below it.
struct OpenNode {
  std::vector<int> chosen;
  std::vector<int> excluded;
  double bound = 0.0;
  std::vector<double> u;
  bool symmetric = false;
};

// The open pieces of one tree and which thread holds which. Slot k is thread k's (0: the
// calling thread). Every member may be called from any thread.
class TreeShare {
 public:
  explicit TreeShare(int slots);

  // A slot starts holding a piece of proven bound `bound` (the calling thread: the whole tree).
  void hold(int slot, double bound);
  // Whether a thread waits for a piece that nobody has given yet: givers check it at every
  // node (two relaxed atomic loads).
  bool wanted() const {
    return hungry_.load(std::memory_order_relaxed) > queued_.load(std::memory_order_relaxed);
  }
  // Adds a piece given away by a thread.
  void give(OpenNode node);
  // Takes the oldest piece into `node` for `slot` and returns true; else marks the slot as
  // waiting and returns false. O(|node|).
  bool take(int slot, OpenNode& node);
  // Waits up to `wait` for a piece to be given (or until quiescent()).
  void waitForPiece(std::chrono::microseconds wait);
  // The slot's piece is proven to have the bound `bound` (only rises).
  void raise(int slot, double bound);
  // The slot's piece is finished: its covers were published before this call.
  void finish(int slot);
  // No piece is held or waiting: the tree is exhausted.
  bool quiescent() const;
  // The least bound over every piece held or waiting (+infinity: none).
  double openBound() const;
  // Pieces given away so far (a statistic).
  long long given() const;
  // Whether the tree looks hopeless within the time limit at its pace so far (the calling
  // thread's turn rule judges it): the workers then spend their time on their heuristic and
  // leave their pieces held (and counted in the bound) until it looks otherwise.
  void setHopeless(bool hopeless) { hopeless_.store(hopeless, std::memory_order_relaxed); }
  bool hopeless() const { return hopeless_.load(std::memory_order_relaxed); }
  // Nodes searched by the workers, counted by them and drained by the calling thread into its
  // budget, so that a node limit and the result's node count take in every thread's.
  void countNodes(long long n) { nodes_.fetch_add(n, std::memory_order_relaxed); }
  long long drainNodes() { return nodes_.exchange(0, std::memory_order_relaxed); }

 private:
  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<OpenNode> queue_;
  std::vector<double> bound_;  // per slot, +infinity when it holds nothing
  std::vector<char> holds_;
  std::vector<char> waiting_;
  int holding_ = 0;
  long long given_ = 0;
  std::atomic<int> hungry_{0};
  std::atomic<int> queued_{0};
  std::atomic<long long> nodes_{0};
  std::atomic<bool> hopeless_{false};
};

}  // namespace nimbrel_tavik_util::setcover_detail
