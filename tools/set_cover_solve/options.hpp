// Command line of set_cover_solve.
#pragma once

#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "set_cover_solve/instance_file.hpp"

namespace set_cover_solve {

enum class Method { best, greedy, greedyContinuity, ilp, propagate };

/// "best", "greedy", "greedy-continuity", "ilp" or "propagate".
const char* methodName(Method method);

enum class Output { human, json, quiet };

struct Options {
  std::string path;              ///< the instance file; "-" for standard input
  std::optional<Format> format;  ///< --format; otherwise chosen by formatFromName
  Method method = Method::best;
  bool weighted = false;
  double timeLimit = std::numeric_limits<double>::infinity();  ///< seconds
  long long nodeLimit = -1;                                    ///< negative: none
  Output output = Output::human;
  bool verbose = false;  ///< library log lines of every level on standard error

  /// The format to read `path` in: --format, else the name's (standard input: OR-Library).
  Format effectiveFormat() const;
};

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

}  // namespace set_cover_solve
