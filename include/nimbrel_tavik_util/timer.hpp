// Named wall-clock timers with process-wide statistics.
//
// Every completed measurement (start() then stop()) is appended, in seconds, to the registry
// Timer::timers_ under the timer's name, so that any number of Timer objects sharing a name
// feed one statistic. The static functions print, return or clear the registry.
//
//   Timer t("load", false);
//   t.start();
//   ...
//   t.stop();                   // records the interval under "load"
//   Timer::printGlobalStats();  // table on std::cout
//
// Durations come from std::chrono::system_clock (nanoseconds / 1e9) without any guard: if the
// system time is changed while a timer runs, the (possibly negative) interval is recorded as is.
// Nothing here is synchronised: use timers and the registry from one thread at a time.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "nimbrel_tavik_util/export.hpp"

namespace nimbrel_tavik_util {

/// A named stopwatch. Idle after construction; start() makes it running, stop() records the
/// interval and makes it idle again.
///
/// The destructor is the implicit one: destroying a running timer records nothing and prints
/// nothing, its interval is simply dropped.
class NIMBREL_TAVIK_UTIL_EXPORT Timer {
 public:
  /// Every recorded duration in seconds, by timer name, in the order of the stop() calls.
  /// An entry is created by the first stop() of its name and holds at least one value.
  /// Grows by one double per measurement until clearGlobalStats().
  static std::map<std::string, std::vector<double>> timers_;

  /// Creates an idle timer named `name` (copied). When `verbose` is true, each effective
  /// stop() prints its measurement. Does not start the timer.
  Timer(const std::string& name, bool verbose);

  /// Takes the start time and makes the timer running. A running timer is restarted and the
  /// interval so far discarded.
  void start();

  /// On a running timer: takes the end time, makes the timer idle, stores and appends the
  /// interval to timers_[name], and, if verbose, writes "[<name>] <seconds> s" plus std::endl
  /// to std::cout, the seconds in fixed notation with 4 decimals. std::fixed and precision 4
  /// stay set on std::cout afterwards.
  /// On an idle timer: changes nothing, prints nothing.
  /// Returns the last completed measurement in seconds (0.0 if there was none).
  /// Throws std::bad_alloc if the registry cannot grow (the timer is idle by then).
  double stop();

  /// Seconds since start() while running (nothing stored); otherwise the last completed
  /// measurement (0.0 if there was none).
  double getElapsed() const;

  /// Writes the registry table to std::cout: a line of 60 '=', "Global Timer Statistics", the
  /// same line, then one row per name in name order,
  ///   "<name, width 25> | n=<count, width 4> | total=<T, width 10>s | avg=<T/n, width 10>s"
  ///   " | <share of grand total in %, width 6>%"
  /// (T and T/n with 4 decimals, the share with 2; all left-aligned, longer names written
  /// whole; the share is 0.00 unless the grand total G is > 0), then "Total: <G> s" (4
  /// decimals) and the 60-'=' line. Lines end in '\n' without a flush.
  /// An empty registry prints "No timer data available" plus std::endl instead.
  /// std::left, std::fixed and precision 4 stay set on std::cout afterwards.
  /// A registry entry holding no values (only possible by editing timers_ directly) shows
  /// avg 0.0000.
  static void printGlobalStats();

  /// Returns, for every name, {"count", "total_time", "avg_time", "percentage"} with the
  /// figures of printGlobalStats, plus the entry "_total" = {"total": G}. "_total" is assigned
  /// last, so it replaces the figures of a timer that is itself named "_total".
  /// An empty registry yields only {"_total": {"total": 0.0}}. Does not change the registry.
  static std::map<std::string, std::map<std::string, double>> getGlobalStats();

  /// Erases every entry of the registry. Timer objects are not touched: a running timer stays
  /// running and its next stop() creates its entry anew.
  static void clearGlobalStats();

 private:
  std::string name_;
  bool verbose_;
  std::chrono::system_clock::time_point start_time_;
  std::chrono::system_clock::time_point end_time_;  // kept for inspection, never read
  double elapsed_;
  bool running_;
};

}  // namespace nimbrel_tavik_util
