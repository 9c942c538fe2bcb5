// Output of set_cover_solve: the summary (human, JSON or ids only) on standard output and the
// progress line on standard error.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "set_cover_solve/instance_file.hpp"
#include "set_cover_solve/options.hpp"

namespace set_cover_solve {

/// What a solve gave, whichever method ran.
struct Outcome {
  std::vector<int> ids;  ///< ascending
  /// The names of the sets in `ids`, in the same order, when the instance names its sets
  /// (printed instead of the ids, as strings in JSON); empty otherwise.
  std::vector<std::string> names;
  double cost = 0;                   ///< number of ids, or their total cost when weighted
  std::optional<double> lowerBound;  ///< none for the heuristics
  bool optimal = false;              ///< proven
  double seconds = 0;
  std::optional<long long> nodes;  ///< branch-and-bound nodes (best only)
  Method method = Method::best;
  bool weighted = false;
  int threads = 1;  ///< threads the search was allowed (0 already replaced by the count)
  /// The rule that ended a run without a proof: "time_limit", "node_limit", "gap", "target",
  /// "SIGINT", "SIGTERM"; "" when the run ended by itself.
  std::string stopped;
};

/// The instance as the reports describe it.
struct InstanceInfo {
  std::string file;
  Format format = Format::orlib;
  InstanceCounts counts;
  double readSeconds = 0;  ///< reading and checking the input, before solving
};

/// (cost - bound) / cost in percent; 0 for a cost of 0; none without a bound.
std::optional<double> gapPercent(double cost, std::optional<double> lowerBound);

/// (cost - bound) / cost, the relative gap that --gap takes; 0 for a cost of 0; none without a
/// bound.
std::optional<double> relativeGap(double cost, std::optional<double> lowerBound);

/// An integer when `v` is one (below 2^53), else up to 10 significant digits.
std::string formatNumber(double v);

/// The summary: method, instance, size or cost, lower bound, gap, optimal, seconds, nodes, ids
/// (set names as nameText prints them).
void printHuman(std::ostream& out, const Outcome& outcome, const InstanceInfo& instance);

/// One JSON object on one line, with its newline: ids, cost, lowerBound, gap (relative),
/// optimal, seconds, nodes, method, weighted, threads, stopped, readSeconds, instance {file,
/// format, sets, elements, entries}. The document --json prints and -o writes; --start reads its
/// ids.
std::string resultJson(const Outcome& outcome, const InstanceInfo& instance);

/// The ids (or the set names, as nameText prints them) alone, separated by blanks, on one line.
void printQuiet(std::ostream& out, const Outcome& outcome);

/// One progress report of the solver.
struct ProgressSnapshot {
  double seconds = 0;
  double best = 0;
  double bound = 0;
  long long nodes = 0;
};

/// Progress on standard error. On a terminal one line is redrawn in place (carriage return and
/// erase to end of line, at most ten times a second) and cleared by clear(); elsewhere a plain
/// line is written at most once every `plainEvery` seconds of solve time; in JSON mode every
/// report is one line, {"seconds", "best", "bound", "gap", "nodes"} (gap relative).
class ProgressLine {
 public:
  enum class Mode { terminal, plain, json };
  ProgressLine(std::ostream& err, Mode mode, double plainEvery = 5.0);
  void update(const ProgressSnapshot& p);
  /// Clears the live line, if one is shown (before anything else goes to the terminal).
  void clear();

  /// The text of one report: elapsed, best, bound, gap, nodes.
  static std::string describe(const ProgressSnapshot& p);
  /// The JSON object of one report, without a newline.
  static std::string describeJson(const ProgressSnapshot& p);

 private:
  std::ostream& err_;
  Mode mode_;
  double plainEvery_;
  double lastPlain_ = 0;
  double lastDraw_ = 0;
  bool shown_ = false;
};

}  // namespace set_cover_solve
