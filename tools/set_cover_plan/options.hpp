// Command line of set_cover_plan.
#pragma once

#include <string>
#include <vector>

namespace set_cover_plan {

enum class Command { poses, svg, progress };
enum class PoseFormat { json, yaml };

struct Options {
  Command command = Command::poses;
  std::vector<std::string> files;  ///< poses, svg: GEOMETRY RESULT; progress: one or more
  std::string output;              ///< -o; empty: standard output
  PoseFormat format = PoseFormat::json;
  std::string instance;  ///< svg --instance; empty: none
  bool candidates = false;
  int maxPoints = 20000;
};

struct ParsedArgs {
  enum class Action { run, help, version, usageError };
  Action action = Action::run;
  Options options;
  std::string error;  ///< one line, when action is usageError
};

/// Parses the arguments after the program name: the command first, then files and options
/// (values as the next argument or after '='). Options that do not apply to the command, a
/// wrong number of files and values out of range are usage errors. --format defaults to yaml
/// when -o names a .yaml or .yml file.
ParsedArgs parseArgs(const std::vector<std::string>& args);

/// The --help text (ends with a newline).
std::string helpText();

}  // namespace set_cover_plan
