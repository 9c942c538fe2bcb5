// The report of set_cover_stress: banner, table header, one row per round, summary.
//
// clang-format off
//   ============================================================
//     SetCoverSolver stress test  (50 rounds)
//     n_dirts=5000  n_trajs=400  n_curves=3  span=1-6
//   ============================================================
//
//   Round Faces   Edges   GDY       GDY+C     ILP       PROP      GDY ms      ILP ms      PROP ms     Status
//   ------------------------------------------------------------------------------------------------------------
//   0     3990    13936   344       342       338       338       8.4         74.4        22.6        OK
//   ...
//
//   ============================================================
//     Summary (50 rounds, all PASSED)
//   ============================================================
//                     Avg Selected    Avg Time (ms)
//     GREEDY          340.5           6.2
//     GREEDY+CONT     340.3           5.9
//     ILP             333.2           66.2
//     PROPAGATE       333.2           25.5
//
//     Greedy overhead: +7.3 pts avg vs optimal
//   ============================================================
// clang-format on
//
// Columns are left-aligned and padded to fixed widths (a wider value pushes the rest of the row
// right); times are milliseconds, fixed with one decimal. After failed rounds the summary says
// "(50 rounds, <n> FAILED)". The functions below leave the stream left-adjusted, fixed-point,
// precision 1.
#pragma once

#include <array>
#include <cstddef>
#include <ostream>
#include <string>

namespace set_cover_stress {

/// Position of each solver run in the per-round arrays, in the order the runs are made.
enum Run : int { kRunGreedy = 0, kRunGreedyCont = 1, kRunIlp = 2, kRunProp = 3, kRunCount = 4 };

/// Everything a round contributes to the report.
struct RoundResult {
  int round = 0;                               ///< round number, from 0
  std::size_t faces = 0;                       ///< dirt points seen by some trajectory
  std::size_t edges = 0;                       ///< (trajectory, dirt point) pairs
  std::array<std::size_t, kRunCount> sizes{};  ///< result size per run
  std::array<double, kRunCount> times_ms{};    ///< solve time per run, milliseconds
  std::array<bool, kRunCount> covered{};       ///< coverage verdict per run

  /// True when every run's result covers the instance.
  bool passed() const;
  /// True when the two exact runs (ILP, PROPAGATE) returned different numbers of ids.
  bool exactSizesDiffer() const;
};

/// Sums over the rounds printed so far.
struct Totals {
  int rounds = 0;                            ///< rounds added
  int failed = 0;                            ///< rounds that did not pass
  int mismatched = 0;                        ///< rounds whose exact sizes differ
  std::array<double, kRunCount> size_sum{};  ///< per run, sum of result sizes
  std::array<double, kRunCount> time_sum{};  ///< per run, sum of times in ms

  /// Adds one round.
  void add(const RoundResult& row);
};

/// Writes the four banner lines and an empty line, naming `rounds` and the generator's sizes.
void printBanner(std::ostream& out, int rounds);

/// Sets `out` to left adjustment and writes the header line (104 characters) and the rule of 108
/// '-' characters, each followed by '\n'.
void printTableHeader(std::ostream& out);

/// "OK" or "FAIL", followed by " ILP!=PROP" when the exact sizes differ.
std::string statusText(const RoundResult& row);

/// Writes one table row ending in statusText(row) and '\n'; sets left, fixed, precision 1.
void printRow(std::ostream& out, const RoundResult& row);

/// Writes the summary: "all PASSED" or "<n> FAILED", average size and time per run, and the
/// average greedy overhead over ILP; averages are sums / totals.rounds. Throws
/// std::invalid_argument when totals.rounds < 1.
void printSummary(std::ostream& out, const Totals& totals);

/// Process exit status for the run: 1 when some row printed "FAIL" or " ILP!=PROP", else 0.
int exitStatus(const Totals& totals);

}  // namespace set_cover_stress
