#include "setcover/cover_model.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace nimbrel_tavik_util::setcover_detail {

CoverModel makeCoverModel(int numRows, std::vector<int> colStart, std::vector<int> colRows,
                          std::vector<double> cost) {
  CoverModel m;
  m.numRows = numRows;
  m.numCols = static_cast<int>(colStart.size()) - 1;
  m.colStart = std::move(colStart);
  m.colRows = std::move(colRows);
  if (cost.empty()) cost.assign(m.numCols, 1.0);
  m.cost = std::move(cost);
  for (double c : m.cost) {
    m.unicost = m.unicost && c == 1.0;
    m.integral = m.integral && c == std::floor(c);
  }
  // Counting pass: columns are visited in ascending order, so each row's list comes out
  // ascending.
  m.rowStart.assign(static_cast<std::size_t>(numRows) + 1, 0);
  for (int r : m.colRows) ++m.rowStart[r + 1];
  for (int i = 0; i < numRows; ++i) m.rowStart[i + 1] += m.rowStart[i];
  m.rowCols.resize(m.colRows.size());
  std::vector<int> next(m.rowStart.begin(), m.rowStart.end() - 1);
  for (int j = 0; j < m.numCols; ++j) {
    for (int k = m.colStart[j]; k < m.colStart[j + 1]; ++k) m.rowCols[next[m.colRows[k]]++] = j;
  }
  return m;
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
  if (stop_ != nullptr && stop_->load(std::memory_order_relaxed)) expired_ = true;
  const Clock::time_point now = Clock::now();
  if (hasDeadline_ && now >= deadline_) expired_ = true;
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
