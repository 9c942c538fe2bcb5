// The working form of a (weighted) set-cover instance for the solvers that run within limits
// (internal, not installed), and the budget they poll.
//
// Rows are the elements, columns the candidate sets. Both directions are kept as CSR lists,
// ascending, so that a column's rows and a row's columns are contiguous. Memory O(m + n + S)
// for m rows, n columns and S nonzeros.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <vector>

namespace nimbrel_tavik_util::setcover_detail {

struct CoverModel {
  int numRows = 0;
  int numCols = 0;
  std::vector<int> colStart;  // rows of column j: colRows[colStart[j] .. colStart[j + 1])
  std::vector<int> colRows;
  std::vector<int> rowStart;  // columns of row i: rowCols[rowStart[i] .. rowStart[i + 1])
  std::vector<int> rowCols;
  std::vector<double> cost;  // per column, finite and >= 0
  bool unicost = true;       // every cost is 1
  bool integral = true;      // every cost is an integer (so is every cover's cost)

  int colSize(int j) const { return colStart[j + 1] - colStart[j]; }
  int rowSize(int i) const { return rowStart[i + 1] - rowStart[i]; }
  const int* colBegin(int j) const { return colRows.data() + colStart[j]; }
  const int* colEnd(int j) const { return colRows.data() + colStart[j + 1]; }
  const int* rowBegin(int i) const { return rowCols.data() + rowStart[i]; }
  const int* rowEnd(int i) const { return rowCols.data() + rowStart[i + 1]; }
};

// Builds the model from the columns' row lists (each ascending, rows in [0, numRows)) and
// their costs (empty: every cost 1). Fills the row lists by one counting pass. O(m + n + S).
CoverModel makeCoverModel(int numRows, std::vector<int> colStart, std::vector<int> colRows,
                          std::vector<double> cost);
// The same with the row lists given (each ascending, the transpose of the column lists).
CoverModel makeCoverModel(int numRows, std::vector<int> colStart, std::vector<int> colRows,
                          std::vector<double> cost, std::vector<int> rowStart,
                          std::vector<int> rowCols);

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
  static constexpr double kBeatSeconds = 0.5;

  using Clock = std::chrono::steady_clock;
  static constexpr std::uint64_t kPollWork = std::uint64_t{1} << 16;

  // Why the budget expired, the first reason only.
  enum class Reason { none, deadline, stopFlag, gap, target };

  Budget(double seconds, long long nodeLimit, const std::atomic<bool>* stop);

  // Ends the work for a reason of the caller's (a stopping rule met); the first reason stays.
  void finish(Reason reason) {
    if (expired_) return;
    expired_ = true;
    reason_ = reason;
  }
  Reason reason() const { return reason_; }

  // True once the deadline has passed or the stop flag is set (read now); sticky.
  bool timeUp();
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

 private:
  Clock::time_point start_;
  Clock::time_point deadline_;
  bool hasDeadline_ = false;
  long long nodeLimit_ = -1;
  long long nodes_ = 0;
  const std::atomic<bool>* stop_ = nullptr;
  std::uint64_t pending_ = 0;
  std::uint64_t total_ = 0;
  bool expired_ = false;
  Reason reason_ = Reason::none;
  Heartbeat* heartbeat_ = nullptr;
  Clock::time_point lastBeat_;
};

}  // namespace nimbrel_tavik_util::setcover_detail
