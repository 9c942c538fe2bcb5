// The open pieces of a tree split between threads.
#include "setcover/within/tree_share.hpp"

#include <algorithm>
#include <utility>

namespace nimbrel_tavik_util::setcover_detail {

TreeShare::TreeShare(int slots)
    : bound_(static_cast<std::size_t>(slots), kInfCost),
      holds_(static_cast<std::size_t>(slots), 0),
      waiting_(static_cast<std::size_t>(slots), 0) {}

void TreeShare::hold(int slot, double bound) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto k = static_cast<std::size_t>(slot);
  if (!holds_[k]) ++holding_;
  holds_[k] = 1;
  bound_[k] = bound;
}

void TreeShare::give(OpenNode node) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(node));
    ++given_;
    queued_.store(static_cast<int>(queue_.size()), std::memory_order_relaxed);
  }
  ready_.notify_one();
}

bool TreeShare::take(int slot, OpenNode& node) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto k = static_cast<std::size_t>(slot);
  if (queue_.empty()) {
    if (!waiting_[k]) {
      waiting_[k] = 1;
      hungry_.fetch_add(1, std::memory_order_relaxed);
    }
    return false;
  }
  node = std::move(queue_.front());
  queue_.pop_front();
  queued_.store(static_cast<int>(queue_.size()), std::memory_order_relaxed);
  if (waiting_[k]) {
    waiting_[k] = 0;
    hungry_.fetch_sub(1, std::memory_order_relaxed);
  }
  if (!holds_[k]) ++holding_;
  holds_[k] = 1;
  bound_[k] = node.bound;
  return true;
}

void TreeShare::waitForPiece(std::chrono::microseconds wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  ready_.wait_for(lock, wait, [this] { return !queue_.empty() || holding_ == 0; });
}

void TreeShare::raise(int slot, double bound) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto k = static_cast<std::size_t>(slot);
  if (holds_[k]) bound_[k] = std::max(bound_[k], bound);
}

void TreeShare::finish(int slot) {
  bool done = false;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto k = static_cast<std::size_t>(slot);
    if (holds_[k]) {
      holds_[k] = 0;
      bound_[k] = kInfCost;
      done = --holding_ == 0 && queue_.empty();
    }
  }
  if (done) ready_.notify_all();  // the waiting threads learn that the tree is exhausted
}

bool TreeShare::quiescent() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return holding_ == 0 && queue_.empty();
}

double TreeShare::openBound() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  double open = kInfCost;
  for (double b : bound_) open = std::min(open, b);
  for (const OpenNode& node : queue_) open = std::min(open, node.bound);
  return open;
}

long long TreeShare::given() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return given_;
}

}  // namespace nimbrel_tavik_util::setcover_detail
