#include "nimbrel_tavik_util/timer.hpp"

#include <cstddef>
#include <cstdint>
#include <iomanip>
#include <iostream>

namespace nimbrel_tavik_util {

std::map<std::string, std::vector<double>> Timer::timers_;

namespace {

using Clock = std::chrono::system_clock;

double secondsBetween(Clock::time_point from, Clock::time_point to) {
  const std::int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(to - from).count();
  return static_cast<double>(ns) / 1e9;
}

// One running sum over every duration, entries in key order, durations in stored order; the
// table and the returned figures must agree to the last bit, so both use this.
double grandTotal() {
  double total = 0.0;
  for (const auto& entry : Timer::timers_) {
    for (double d : entry.second) total += d;
  }
  return total;
}

struct Figures {
  std::size_t count;
  double total;
  double average;
  double percentage;
};

Figures figuresOf(const std::vector<double>& durations, double grand) {
  Figures f{durations.size(), 0.0, 0.0, 0.0};
  for (double d : durations) f.total += d;
  // Entries made by stop() are never empty; one inserted by hand must not print "nan".
  if (f.count > 0) f.average = f.total / static_cast<double>(f.count);
  if (grand > 0) f.percentage = f.total / grand * 100;
  return f;
}

const char* const kRule = "============================================================\n";

}  // namespace

Timer::Timer(const std::string& name, bool verbose)
    : name_(name), verbose_(verbose), start_time_(), end_time_(), elapsed_(0.0), running_(false) {}

void Timer::start() {
  start_time_ = Clock::now();
  running_ = true;
}

double Timer::stop() {
  if (!running_) return elapsed_;
  end_time_ = Clock::now();
  running_ = false;
  elapsed_ = secondsBetween(start_time_, end_time_);
  timers_[name_].push_back(elapsed_);
  if (verbose_) {
    std::cout << "[" << name_ << "] " << std::fixed << std::setprecision(4) << elapsed_ << " s"
              << std::endl;
  }
  return elapsed_;
}

double Timer::getElapsed() const {
  if (running_) return secondsBetween(start_time_, Clock::now());
  return elapsed_;
}

void Timer::printGlobalStats() {
  std::ostream& out = std::cout;
  if (timers_.empty()) {
    out << "No timer data available" << std::endl;
    return;
  }
  const double grand = grandTotal();
  out << kRule << "Global Timer Statistics\n" << kRule;
  for (const auto& entry : timers_) {
    const Figures f = figuresOf(entry.second, grand);
    out << std::left << std::setw(25) << entry.first << " | n=" << std::setw(4) << f.count
        << " | total=" << std::fixed << std::setprecision(4) << std::setw(10) << f.total << "s"
        << " | avg=" << std::setw(10) << f.average << "s"
        << " | " << std::setprecision(2) << std::setw(6) << f.percentage << "%\n";
  }
  out << "Total: " << std::fixed << std::setprecision(4) << grand << " s\n" << kRule;
}

std::map<std::string, std::map<std::string, double>> Timer::getGlobalStats() {
  std::map<std::string, std::map<std::string, double>> stats;
  const double grand = grandTotal();
  for (const auto& entry : timers_) {
    const Figures f = figuresOf(entry.second, grand);
    stats[entry.first] = {{"count", static_cast<double>(f.count)},
                          {"total_time", f.total},
                          {"avg_time", f.average},
                          {"percentage", f.percentage}};
  }
  stats["_total"] = {{"total", grand}};
  return stats;
}

void Timer::clearGlobalStats() { timers_.clear(); }

}  // namespace nimbrel_tavik_util
