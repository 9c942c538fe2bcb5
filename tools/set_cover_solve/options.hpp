// Command line of set_cover_solve.
#pragma once

#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "set_cover_solve/instance_file.hpp"

namespace set_cover_solve {

enum class Method { best, greedy, greedyContinuity, ilp, propagate };

/// One row of the method table: what --method accepts, what --help, the usage errors and the
/// man page say about it, and how it runs.
struct MethodInfo {
  Method method;
  const char* name;     ///< as given to --method
  const char* summary;  ///< a few words for --help
  const char* details;  ///< one paragraph for the man page (plain text)
  bool limited;         ///< solveWithin: takes the limits, costs, threads and a warm start
  bool exact;           ///< proves its cover optimal (has a lower bound)
};

/// Every method, the default (best) first.
const std::vector<MethodInfo>& methodTable();

/// The row of `method`.
const MethodInfo& methodInfo(Method method);

/// The name of `method` as --method takes it ("best", "greedy", "greedy-continuity", ...).
const char* methodName(Method method);

/// The input formats in the order --help lists them; their names are formatName's.
const std::vector<Format>& formatList();

/// The method names, or the format names, as "a, b, c or d".
std::string methodNames();
std::string formatNames();

enum class Output { human, json, quiet };

/// Progress on standard error: auto (a live line on a terminal, else a plain line every few
/// seconds; none with --quiet), json (one object per report) or none.
enum class Progress { automatic, json, none };

struct Options {
  std::string path;              ///< the instance file; "-" for standard input
  std::optional<Format> format;  ///< --format; otherwise chosen by formatFromName
  Method method = Method::best;
  bool weighted = false;
  double timeLimit = std::numeric_limits<double>::infinity();  ///< seconds
  long long nodeLimit = -1;                                    ///< negative: none
  double gap = 0;                                              ///< relative, >= 0
  double target = -std::numeric_limits<double>::infinity();    ///< stop at a cover this cheap
  int threads = 0;                                             ///< 0: one per hardware thread
  std::string startFile;   ///< --start: a result document or a list of ids; empty: none
  std::string outputFile;  ///< -o: the JSON document also goes there; empty: none
  std::string writeFile;   ///< --write: the instance is written there (nothing is solved)
  Output output = Output::human;
  Progress progress = Progress::automatic;
  bool verbose = false;  ///< library log lines of every level on standard error

  /// The format to read `path` in: --format, else the name's (standard input: OR-Library).
  Format effectiveFormat() const;
};

/// The most threads --threads accepts.
constexpr int kMaxThreads = 1024;

/// What the command line asks for. `error` is a one-line usage error (status 2) when not empty.
struct ParsedArgs {
  enum class Action { run, help, version, usageError };
  Action action = Action::run;
  Options options;
  std::string error;
};

/// Parses the arguments after the program name. Options take their value as the next argument
/// or after '='; "--" ends the options. --help and --version win over everything after them.
ParsedArgs parseArgs(const std::vector<std::string>& args);

/// The --help text (ends with a newline).
std::string helpText();

/// The man page's description of the methods: one roff .TP paragraph per method.
std::string methodsRoff();

}  // namespace set_cover_solve
