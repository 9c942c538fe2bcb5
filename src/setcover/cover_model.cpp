#include "setcover/cover_model.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace nimbrel_tavik_util::setcover_detail {

CoverModel makeCoverModel(int numRows, std::vector<int> colStart, std::vector<int> colRows,
                          std::vector<double> cost, std::vector<int> rowStart,
                          std::vector<int> rowCols) {
  CoverModel m;
  m.numRows = numRows;
  m.numCols = static_cast<int>(colStart.size()) - 1;
  m.colStart = std::move(colStart);
  m.colRows = std::move(colRows);
  m.rowStart = std::move(rowStart);
  m.rowCols = std::move(rowCols);
  if (cost.empty()) cost.assign(m.numCols, 1.0);
  m.cost = std::move(cost);
  for (double c : m.cost) {
    m.unicost = m.unicost && c == 1.0;
    m.integral = m.integral && c == std::floor(c);
  }
  return m;
}

CoverModel makeCoverModel(int numRows, std::vector<int> colStart, std::vector<int> colRows,
                          std::vector<double> cost) {
  // Counting pass: columns are visited in ascending order, so each row's list comes out
  // ascending.
  const int numCols = static_cast<int>(colStart.size()) - 1;
  std::vector<int> rowStart(static_cast<std::size_t>(numRows) + 1, 0);
  for (int r : colRows) ++rowStart[r + 1];
  for (int i = 0; i < numRows; ++i) rowStart[i + 1] += rowStart[i];
  std::vector<int> rowCols(colRows.size());
  std::vector<int> next(rowStart.begin(), rowStart.end() - 1);
  for (int j = 0; j < numCols; ++j) {
    for (int k = colStart[j]; k < colStart[j + 1]; ++k) rowCols[next[colRows[k]]++] = j;
  }
  return makeCoverModel(numRows, std::move(colStart), std::move(colRows), std::move(cost),
                        std::move(rowStart), std::move(rowCols));
}

Budget::Budget(double seconds, long long nodeLimit, const std::atomic<bool>* stop)
    : start_(Clock::now()), nodeLimit_(nodeLimit), stop_(stop), lastBeat_(start_) {
  // Limits beyond a century are no limit (and would overflow the clock's duration).
  if (seconds < 3.0e9) {
    hasDeadline_ = true;
    const double clamped = seconds > 0.0 ? seconds : 0.0;
    deadline_ = start_ +
                std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(clamped));
  }
}

bool Budget::timeUp() {
  if (expired_) return true;
  if (stop_ != nullptr && stop_->load(std::memory_order_relaxed)) finish(Reason::stopFlag);
  const Clock::time_point now = Clock::now();
  if (hasDeadline_ && now >= deadline_) finish(Reason::deadline);
  if (heartbeat_ != nullptr && !expired_ &&
      now - lastBeat_ >= std::chrono::duration<double>(kBeatSeconds)) {
    lastBeat_ = now;
    heartbeat_->beat(std::chrono::duration<double>(now - start_).count());
  }
  return expired_;
}

double Budget::elapsedSeconds() const {
  return std::chrono::duration<double>(Clock::now() - start_).count();
}

double Budget::remainingSeconds() const {
  if (!hasDeadline_) return std::numeric_limits<double>::infinity();
  return std::max(0.0, std::chrono::duration<double>(deadline_ - Clock::now()).count());
}

}  // namespace nimbrel_tavik_util::setcover_detail
