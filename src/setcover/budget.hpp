// The limits of one solve (internal, not installed): a wall-clock deadline, a caller's stop
// flag, a node limit and the caller's stopping rules, polled by every phase; and the exception
// that abandons a search which cannot pause.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>

namespace nimbrel_tavik_util::setcover_detail {

// Limits of one solve: a wall-clock deadline on the steady clock, a caller's stop flag and a
// node limit. Work is charged in rough units of one nonzero touched; the clock and the flag are
// read only once per kPollWork units, so that polling costs well under 1 % of the work while
// the deadline still holds to a fraction of a millisecond.
class Budget {
 public:
  // Called when the clock is read and at least kBeatSeconds have passed since the last call
  // (the progress report's "at least once a second"). May throw; the exception leaves charge().
  class Heartbeat {
   public:
    virtual void beat(double seconds) = 0;

   protected:
    ~Heartbeat() = default;
  };
  static constexpr double kBeatSeconds = 0.5;  // the default of setBeatSeconds

  using Clock = std::chrono::steady_clock;
  static constexpr std::uint64_t kPollWork = std::uint64_t{1} << 16;

  // Why the budget expired, the first reason only.
  enum class Reason { none, deadline, stopFlag, gap, target };

  Budget(double seconds, long long nodeLimit, const std::atomic<bool>* stop);

  // A point in time every thread of one call holds, whenever it starts.
  struct Deadline {
    bool set = false;
    Clock::time_point at;
  };
  // A budget whose deadline is `deadline` itself (not counted from now): a worker thread's,
  // from its caller's deadline().
  Budget(Deadline deadline, long long nodeLimit, const std::atomic<bool>* stop);
  Deadline deadline() const { return Deadline{hasDeadline_, deadline_}; }

  // Ends the work for a reason of the caller's (a stopping rule met); the first reason stays.
  void finish(Reason reason) {
    if (expired_) return;
    expired_ = true;
    reason_ = reason;
  }
  Reason reason() const { return reason_; }

  // True once the deadline has passed or the stop flag is set (read now); sticky.
  bool timeUp();
  // Whether timeUp() would now answer true, without its effects (no heartbeat, nothing
  // recorded): safe to ask from inside a library that must not run the caller's code.
  bool limitReached() const;
  // Charges `work` units; reads the clock and the flag when enough work has gathered since the
  // last reading. Returns timeUp()'s last answer.
  bool charge(std::uint64_t work) {
    total_ += work;
    return poll(work);
  }
  // Polls as charge() does without counting the work in work(): for passes whose work must
  // not shift the shares measured in work units.
  bool poll(std::uint64_t work) {
    pending_ += work;
    if (pending_ >= kPollWork) {
      pending_ = 0;
      return timeUp();
    }
    return expired_;
  }
  // Counts search nodes against the node limit (a negative limit means none).
  void addNodes(long long n) { nodes_ += n; }
  long long nodes() const { return nodes_; }
  // Work charged since construction: a count, not a time, so that shares of work measured
  // with it repeat exactly from run to run.
  std::uint64_t work() const { return total_; }
  bool nodeLimitReached() const { return nodeLimit_ >= 0 && nodes_ >= nodeLimit_; }
  // Nodes left before the node limit (-1: no limit).
  long long nodesLeft() const { return nodeLimit_ < 0 ? -1 : std::max(0LL, nodeLimit_ - nodes_); }
  bool hasDeadline() const { return hasDeadline_; }
  bool expired() const { return expired_; }
  double elapsedSeconds() const;
  // Seconds left before the deadline (0 once passed; +infinity without a deadline).
  double remainingSeconds() const;
  Clock::time_point start() const { return start_; }
  void setHeartbeat(Heartbeat* heartbeat) { heartbeat_ = heartbeat; }
  // A second flag that ends the work as the caller's stop flag does (reason stopFlag): the
  // pool's stop for a worker, a worker's failure for the calling thread. Read where the
  // caller's flag is.
  void alsoStopOn(const std::atomic<bool>* flag) { also_ = flag; }
  const std::atomic<bool>* stopFlag() const { return stop_; }
  // The least time between two heartbeats (tests set 0: a beat at every reading of the clock).
  void setBeatSeconds(double seconds) { beatSeconds_ = seconds; }

 private:
  Clock::time_point start_;
  Clock::time_point deadline_;
  bool hasDeadline_ = false;
  long long nodeLimit_ = -1;
  long long nodes_ = 0;
  const std::atomic<bool>* stop_ = nullptr;
  const std::atomic<bool>* also_ = nullptr;
  std::uint64_t pending_ = 0;
  std::uint64_t total_ = 0;
  bool expired_ = false;
  Reason reason_ = Reason::none;
  Heartbeat* heartbeat_ = nullptr;
  double beatSeconds_ = kBeatSeconds;
  Clock::time_point lastBeat_;
};

// Thrown out of a search that cannot stop and go on later (PROPAGATE's exact search, the
// hitting-set solver) when its Budget or node cap ends it; the search is then discarded.
struct SearchAborted {};

}  // namespace nimbrel_tavik_util::setcover_detail
