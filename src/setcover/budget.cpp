#include "setcover/budget.hpp"

#include <algorithm>
#include <limits>

namespace nimbrel_tavik_util::setcover_detail {

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

Budget::Budget(Deadline deadline, long long nodeLimit, const std::atomic<bool>* stop)
    : start_(Clock::now()),
      deadline_(deadline.at),
      hasDeadline_(deadline.set),
      nodeLimit_(nodeLimit),
      stop_(stop),
      lastBeat_(start_) {}

bool Budget::timeUp() {
  if (expired_) return true;
  if (stop_ != nullptr && stop_->load(std::memory_order_relaxed)) finish(Reason::stopFlag);
  if (also_ != nullptr && also_->load(std::memory_order_acquire)) finish(Reason::stopFlag);
  const Clock::time_point now = Clock::now();
  if (hasDeadline_ && now >= deadline_) finish(Reason::deadline);
  if (heartbeat_ != nullptr && !expired_ &&
      now - lastBeat_ >= std::chrono::duration<double>(beatSeconds_)) {
    lastBeat_ = now;
    heartbeat_->beat(std::chrono::duration<double>(now - start_).count());
  }
  return expired_;
}

bool Budget::limitReached() const {
  if (expired_) return true;
  if (stop_ != nullptr && stop_->load(std::memory_order_relaxed)) return true;
  if (also_ != nullptr && also_->load(std::memory_order_acquire)) return true;
  return hasDeadline_ && Clock::now() >= deadline_;
}

double Budget::elapsedSeconds() const {
  return std::chrono::duration<double>(Clock::now() - start_).count();
}

double Budget::remainingSeconds() const {
  if (!hasDeadline_) return std::numeric_limits<double>::infinity();
  return std::max(0.0, std::chrono::duration<double>(deadline_ - Clock::now()).count());
}

}  // namespace nimbrel_tavik_util::setcover_detail
