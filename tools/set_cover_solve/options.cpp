#include "set_cover_solve/options.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace set_cover_solve {

const char* methodName(Method method) {
  switch (method) {
    case Method::greedy:
      return "greedy";
    case Method::greedyContinuity:
      return "greedy-continuity";
    case Method::ilp:
      return "ilp";
    case Method::propagate:
      return "propagate";
    case Method::best:
      break;
  }
  return "best";
}

Format Options::effectiveFormat() const {
  if (format) return *format;
  return path == "-" ? Format::orlib : formatFromName(path);
}

std::string helpText() {
  return "usage: set_cover_solve [options] FILE\n"
         "Solves the set cover instance in FILE ('-': standard input) and prints the cover.\n"
         "\n"
         "Options:\n"
         "  --format F       orlib, steiner, json or yaml (default: by the file name: .json,\n"
         "                   .yaml/.yml, data.N or .stn for Steiner triples, else orlib)\n"
         "  --method M       best (default: best cover within the limits, with a proven lower\n"
         "                   bound), greedy, greedy-continuity, ilp or propagate\n"
         "  --weighted       minimise the total cost of the sets (best only)\n"
         "  --time-limit S   stop after S seconds with the best cover found (best only)\n"
         "  --node-limit N   stop after N branch-and-bound nodes (best only)\n"
         "  --json           print one JSON object instead of the summary\n"
         "  -q, --quiet      print the chosen ids only, and no progress\n"
         "  -v, --verbose    show the library's informational log lines on standard error\n"
         "  -h, --help       print this help and exit\n"
         "  --version        print the version and exit\n"
         "\n"
         "Ctrl-C (SIGINT) or SIGTERM during --method best prints the best cover so far, marked\n"
         "not proven, and exits with 130 or 143; a second one ends the program at once.\n"
         "Exit status: 0 cover printed, 1 bad input or error, 2 usage error.\n";
}

namespace {

bool parseSeconds(const std::string& text, double& out) {
  if (text.empty()) return false;
  double v = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || ptr != text.data() + text.size() || std::isnan(v) || v < 0) {
    return false;
  }
  out = v;
  return true;
}

bool parseCount(const std::string& text, long long& out) {
  if (text.empty()) return false;
  long long v = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || ptr != text.data() + text.size() || v < 0) return false;
  out = v;
  return true;
}

}  // namespace

ParsedArgs parseArgs(const std::vector<std::string>& args) {
  ParsedArgs r;
  Options& o = r.options;
  const auto fail = [&r](const std::string& message) {
    r.action = ParsedArgs::Action::usageError;
    r.error = message;
    return r;
  };
  std::vector<std::string> files;
  bool timeGiven = false;
  bool nodesGiven = false;
  bool jsonGiven = false;
  bool quietGiven = false;
  bool optionsDone = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsDone || arg == "-" || arg.size() < 2 || arg[0] != '-') {
      files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsDone = true;
      continue;
    }
    std::string name = arg;
    std::optional<std::string> inlineValue;
    const std::size_t eq = arg.find('=');
    if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      inlineValue = arg.substr(eq + 1);
    }
    const bool takesValue = name == "--format" || name == "--method" || name == "--time-limit" ||
                            name == "--node-limit";
    if (inlineValue && !takesValue) return fail("option " + name + " takes no value");
    std::string value;
    if (takesValue) {
      if (inlineValue) {
        value = *inlineValue;
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        return fail("option " + name + " needs a value");
      }
    }
    if (name == "--help" || name == "-h") {
      r.action = ParsedArgs::Action::help;
      return r;
    }
    if (name == "--version") {
      r.action = ParsedArgs::Action::version;
      return r;
    }
    if (name == "--format") {
      if (value == "orlib") {
        o.format = Format::orlib;
      } else if (value == "steiner") {
        o.format = Format::steiner;
      } else if (value == "json") {
        o.format = Format::json;
      } else if (value == "yaml") {
        o.format = Format::yaml;
      } else {
        return fail("unknown format '" + value + "' (orlib, steiner, json or yaml)");
      }
    } else if (name == "--method") {
      if (value == "best") {
        o.method = Method::best;
      } else if (value == "greedy") {
        o.method = Method::greedy;
      } else if (value == "greedy-continuity") {
        o.method = Method::greedyContinuity;
      } else if (value == "ilp") {
        o.method = Method::ilp;
      } else if (value == "propagate") {
        o.method = Method::propagate;
      } else {
        return fail("unknown method '" + value +
                    "' (best, greedy, greedy-continuity, ilp or propagate)");
      }
    } else if (name == "--time-limit") {
      if (!parseSeconds(value, o.timeLimit)) {
        return fail("--time-limit needs a number of seconds >= 0, not '" + value + "'");
      }
      timeGiven = true;
    } else if (name == "--node-limit") {
      if (!parseCount(value, o.nodeLimit)) {
        return fail("--node-limit needs a whole number >= 0, not '" + value + "'");
      }
      nodesGiven = true;
    } else if (name == "--weighted") {
      o.weighted = true;
    } else if (name == "--json") {
      jsonGiven = true;
      o.output = Output::json;
    } else if (name == "--quiet" || name == "-q") {
      quietGiven = true;
      o.output = Output::quiet;
    } else if (name == "--verbose" || name == "-v") {
      o.verbose = true;
    } else {
      return fail("unknown option '" + arg + "'");
    }
  }
  if (files.empty()) return fail("no instance file given");
  if (files.size() > 1)
    return fail("one instance file expected, got " + std::to_string(files.size()));
  o.path = files[0];
  if (jsonGiven && quietGiven) return fail("--json and --quiet exclude each other");
  if (o.method != Method::best) {
    const char* which = o.weighted   ? "--weighted"
                        : timeGiven  ? "--time-limit"
                        : nodesGiven ? "--node-limit"
                                     : nullptr;
    if (which != nullptr) {
      return fail(std::string(which) + " needs --method best, not " + methodName(o.method));
    }
  }
  return r;
}

}  // namespace set_cover_solve
