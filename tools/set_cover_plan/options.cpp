#include "set_cover_plan/options.hpp"

#include <charconv>
#include <optional>
#include <stdexcept>

namespace set_cover_plan {

namespace {

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

bool endsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

Command commandOf(const std::string& word) {
  if (word == "poses") return Command::poses;
  if (word == "svg") return Command::svg;
  if (word == "progress") return Command::progress;
  throw UsageError("unknown command '" + word + "' (poses, svg or progress)");
}

}  // namespace

ParsedArgs parseArgs(const std::vector<std::string>& args) {
  ParsedArgs parsed;
  Options& o = parsed.options;
  try {
    for (const std::string& a : args) {
      if (a == "--") break;
      if (a == "--help" || a == "-h") {
        parsed.action = ParsedArgs::Action::help;
        return parsed;
      }
      if (a == "--version") {
        parsed.action = ParsedArgs::Action::version;
        return parsed;
      }
    }
    if (args.empty()) throw UsageError("no command given (poses, svg or progress)");
    o.command = commandOf(args[0]);
    std::optional<PoseFormat> format;
    bool optionsDone = false;
    bool seenMaxPoints = false;
    for (std::size_t k = 1; k < args.size(); ++k) {
      std::string name = args[k];
      if (optionsDone || name == "-" || name.size() < 2 || name[0] != '-') {
        o.files.push_back(name);
        continue;
      }
      if (name == "--") {
        optionsDone = true;
        continue;
      }
      std::optional<std::string> value;
      const std::size_t eq = name.find('=');
      if (name.compare(0, 2, "--") == 0 && eq != std::string::npos) {
        value = name.substr(eq + 1);
        name = name.substr(0, eq);
      }
      const bool takesValue =
          name == "-o" || name == "--format" || name == "--instance" || name == "--max-points";
      if (!takesValue && name != "--candidates") throw UsageError("unknown option '" + name + "'");
      if (!takesValue && value) throw UsageError(name + " takes no value");
      if (takesValue && !value) {
        if (k + 1 == args.size()) throw UsageError(name + " needs a value");
        value = args[++k];
      }
      const bool svgOnly = name == "--instance" || name == "--candidates" || name == "--max-points";
      if (svgOnly && o.command != Command::svg) throw UsageError(name + " applies to svg only");
      if (name == "--format" && o.command != Command::poses) {
        throw UsageError("--format applies to poses only");
      }
      if (name == "-o") {
        if (value->empty()) throw UsageError("-o needs a file name");
        o.output = *value;
      } else if (name == "--format") {
        if (*value == "json") {
          format = PoseFormat::json;
        } else if (*value == "yaml") {
          format = PoseFormat::yaml;
        } else {
          throw UsageError("--format takes json or yaml, got '" + *value + "'");
        }
      } else if (name == "--instance") {
        if (value->empty()) throw UsageError("--instance needs a file name");
        o.instance = *value;
      } else if (name == "--candidates") {
        o.candidates = true;
      } else {
        int n = 0;
        const char* first = value->data();
        const char* last = first + value->size();
        const auto [ptr, ec] = std::from_chars(first, last, n);
        if (ec != std::errc() || ptr != last || first == last || n < 0 || seenMaxPoints) {
          throw UsageError("--max-points takes a whole number from 0 to 2147483647, got '" +
                           *value + "'");
        }
        o.maxPoints = n;
        seenMaxPoints = true;
      }
    }
    if (o.command == Command::progress) {
      if (o.files.empty()) throw UsageError("progress needs one or more files");
    } else if (o.files.size() != 2) {
      throw UsageError(std::string(o.command == Command::svg ? "svg" : "poses") +
                       " needs two files, GEOMETRY and RESULT; got " +
                       std::to_string(o.files.size()));
    }
    o.format = format                                                      ? *format
               : endsWith(o.output, ".yaml") || endsWith(o.output, ".yml") ? PoseFormat::yaml
                                                                           : PoseFormat::json;
  } catch (const UsageError& e) {
    parsed.action = ParsedArgs::Action::usageError;
    parsed.error = e.what();
  }
  return parsed;
}

std::string helpText() {
  return R"(usage: set_cover_plan poses GEOMETRY RESULT [-o FILE] [--format json|yaml]
       set_cover_plan svg GEOMETRY RESULT [--instance FILE] [--candidates] [--max-points N] [-o FILE]
       set_cover_plan progress FILE... [-o FILE]
Turns a cover of a coverage instance back into poses, and draws plans and solves.

GEOMETRY is what set_cover_generate floor|room --geometry wrote; RESULT the cover: a document
of set_cover_solve (-o or --json) or a list of set ids ('-': standard input).

Commands:
  poses     the chosen poses as a pose document: "pose_info" holds for each its "set", "cost",
            "end_pose" (x, y, z, then the orientation quaternion qx, qy, qz, qw, which turns
            the camera's +x onto its view) and "force_vector" (the view direction), so that
            Reader::readJson / readYamlToJson load it and applyOrientationOffset moves a pose
            along its view; "plan" holds the number of poses and their total cost
  svg       the plan seen from above (SVG): walls and obstacles, the points (at most
            --max-points of the covered ones, which the picture says), each chosen pose with
            its heading and range, and with --instance the points coloured by how many chosen
            poses see them and every uncovered one ringed in red
  progress  best cover and lower bound against time (SVG) from set_cover_solve's
            --progress json lines (its standard error; other lines are skipped) and result
            documents (the end of the run)

Options:
  -o FILE           write there (replaced atomically) instead of standard output
  --format F        poses: json (default) or yaml (the default when -o ends in .yaml or .yml)
  --instance FILE   svg: the instance the geometry belongs to (any format set_cover_solve reads)
  --candidates      svg: also the poses not chosen, faint
  --max-points N    svg: covered points drawn at most (default 20000)
  -h, --help        print this help and exit
  --version         print the version and exit

Exit status: 0 written, 1 bad or mismatched input or a write error, 2 usage error.
)";
}

}  // namespace set_cover_plan
