// Command line of set_cover_generate.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "set_cover_generate/coverage.hpp"
#include "set_cover_generate/writer.hpp"

namespace set_cover_generate {

enum class Family { floor, room, stress, uniform, crew };

struct Options {
  Family family = Family::floor;
  CoverageConfig coverage;  ///< floor and room (seed is the one below)
  std::uint64_t seed = 1;
  int scale = 1;          ///< stress: sizes times k
  int sets = 100;         ///< uniform
  double density = 0.05;  ///< uniform
  int rows = 500;         ///< crew
  int columns = 50000;    ///< crew
  int maxCost = 2;        ///< crew: costs 1..maxCost (1: unicost)
  FileFormat format = FileFormat::orlib;
  std::string output = "-";  ///< "-" for standard output
  std::string geometry;      ///< floor and room: also write the geometry there; empty: none
  bool quiet = false;
};

struct ParsedArgs {
  enum class Action { run, help, usageError };
  Action action = Action::run;
  Options options;
  std::string error;  ///< one line, when action is usageError
};

/// Parses the arguments after the program name: the family first, then options taking their
/// value as the next argument or after '='. Options that do not apply to the family, values out
/// of range and repeated options are usage errors.
ParsedArgs parseArgs(const std::vector<std::string>& args);

/// The --help text (ends with a newline).
std::string helpText();

}  // namespace set_cover_generate
