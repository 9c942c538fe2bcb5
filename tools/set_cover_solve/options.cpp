#include "set_cover_solve/options.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace set_cover_solve {

const std::vector<MethodInfo>& methodTable() {
  static const std::vector<MethodInfo> table = {
      {Method::best, "best", "within the limits, with a proven bound",
       "the best cover found within the limits, with a proven lower bound, by the library's "
       "portfolio of greedy, local search and branch-and-bound; without limits it runs until "
       "the cover is proven optimal. The only method that takes --weighted, the limits, "
       "--gap, --target, --threads and --start.",
       true, true},
      {Method::greedy, "greedy", "greedy heuristic, ties to the smallest id",
       "Chvatal's greedy heuristic: the set covering the most uncovered elements, ties to the "
       "smallest id. No lower bound.",
       false, false},
      {Method::greedyContinuity, "greedy-continuity", "greedy, ties to the id nearest the last",
       "Chvatal's greedy heuristic with ties to the id nearest the one taken before. No lower "
       "bound.",
       false, false},
      {Method::ilp, "ilp", "exact, GLPK's integer programming",
       "exact: GLPK's integer programming solver, run to the end (no limits).", false, true},
      {Method::propagate, "propagate", "exact, the library's branch-and-bound",
       "exact: the library's branch-and-bound, run to the end (no limits).", false, true},
  };
  return table;
}

const MethodInfo& methodInfo(Method method) {
  for (const MethodInfo& m : methodTable()) {
    if (m.method == method) return m;
  }
  return methodTable().front();
}

const char* methodName(Method method) { return methodInfo(method).name; }

const std::vector<Format>& formatList() {
  static const std::vector<Format> formats = [] {
    std::size_t n = 0;
    const FormatInfo* table = formatTable(n);
    std::vector<Format> list;
    for (std::size_t i = 0; i < n; ++i) list.push_back(table[i].format);
    return list;
  }();
  return formats;
}

namespace {

std::string orList(const std::vector<std::string>& names) {
  std::string s;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) s += i + 1 == names.size() ? " or " : ", ";
    s += names[i];
  }
  return s;
}

std::string padded(std::string s, std::size_t width) {
  if (s.size() < width) s.resize(width, ' ');
  return s;
}

// Roff text: backslashes and hyphens escaped, no line starting with a control character.
std::string roffText(const std::string& text) {
  std::string s;
  for (const char c : text) {
    if (c == '\\') {
      s += "\\e";
    } else if (c == '-') {
      s += "\\-";
    } else {
      s += c;
    }
  }
  if (!s.empty() && (s[0] == '.' || s[0] == '\'')) s.insert(0, "\\&");
  return s;
}

}  // namespace

std::string methodNames() {
  std::vector<std::string> names;
  for (const MethodInfo& m : methodTable()) names.emplace_back(m.name);
  return orList(names);
}

std::string formatNames() { return formatNameList(); }

Format Options::effectiveFormat() const {
  if (format) return *format;
  return path == "-" ? Format::orlib : formatFromName(path);
}

std::string helpText() {
  std::string methods;
  for (const MethodInfo& m : methodTable()) {
    methods += "                     " + padded(m.name, 18) + m.summary + "\n";
  }
  return "usage: set_cover_solve [options] FILE\n"
         "Solves the set cover instance in FILE ('-': standard input) and prints the cover.\n"
         "\n"
         "Options:\n"
         "  --format F       " +
         formatNames() +
         " (default: by the file name, as below; standard input\n"
         "                   by its first words: json at '{', mps at NAME, ROWS or '*', lp at\n"
         "                   '\\' or Minimize, yaml at another letter, else orlib). Files and\n"
         "                   standard input may be gzip-compressed (at most 1 GiB once\n"
         "                   decompressed).\n"
         "  --write FILE     write the instance read to FILE in the format its name says (as\n"
         "                   below; gzip when it ends in .gz), e.g. an .lp or .mps file for\n"
         "                   another solver, and exit without solving\n"
         "  --method M       one of (default: " +
         methodTable().front().name + "):\n" + methods +
         "  --weighted       minimise the total cost of the sets\n"
         "  --time-limit S   stop after S seconds with the best cover found\n"
         "  --node-limit N   stop after N branch-and-bound nodes\n"
         "  --gap G          stop once (cost - bound) <= G * cost (relative, e.g. 0.01)\n"
         "  --target C       stop at the first cover of cost <= C\n"
         "  --threads N      threads for the search (default 0: one per hardware thread, a\n"
         "                   program run on its own; the library and Python default to 1)\n"
         "  --start FILE     warm start: a result written by -o/--json, or a list of ids\n"
         "                   (the options from --weighted to here: --method best only)\n"
         "  -o FILE          also write the --json document to FILE (replaced atomically;\n"
         "                   '-': standard output; never the instance file)\n"
         "  --json           print one JSON object instead of the summary\n"
         "  -q, --quiet      print the chosen ids only, and no progress (set names with\n"
         "                   blanks, controls or the like in double quotes, JSON-escaped)\n"
         "  --progress P     auto (default: a live line on a terminal, else a line every 5 s),\n"
         "                   json (one object per report: seconds, best, bound, gap, nodes)\n"
         "                   or none; on standard error\n"
         "  -v, --verbose    show the library's informational log lines on standard error\n"
         "  -h, --help       print this help and exit\n"
         "  --version        print the version and exit\n"
         "\n"
         "Ctrl-C (SIGINT) or SIGTERM during --method best prints the best cover so far, marked\n"
         "not proven, and exits with 130 or 143; a second one ends the program at once\n"
         "(the same signal again from the same sender within a second is taken for an echo).\n"
         "\n"
         "Formats (file names they are chosen for, then what they hold):\n" +
         formatHelp() +
         "YAML scalars become elements as the library's Reader reads them: 001, 0x1, +1 and 1\n"
         "are all the element 1 (a warning says so); JSON is the exact format.\n"
         "\n"
         "Exit status: 0 cover printed, 1 bad input or error, 2 usage error, 3 no cover exists\n"
         "(an element is in no set).\n";
}

std::string methodsRoff() {
  std::string s;
  for (const MethodInfo& m : methodTable()) {
    s += ".TP\n.B " + roffText(m.name) + "\n" + roffText(m.details) + "\n";
  }
  return s;
}

namespace {

// A finite number, or out of range / trailing text / empty: false.
bool parseNumber(const std::string& text, double& out) {
  if (text.empty()) return false;
  double v = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || ptr != text.data() + text.size() || !std::isfinite(v)) return false;
  out = v;
  return true;
}

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

bool takesValue(const std::string& name) {
  static const char* const kWithValue[] = {"--format", "--method",   "--time-limit", "--node-limit",
                                           "--gap",    "--target",   "--threads",    "--start",
                                           "-o",       "--progress", "--write"};
  for (const char* option : kWithValue) {
    if (name == option) return true;
  }
  return false;
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
  // Options that only the limited method takes, in the order given.
  std::vector<std::string> limitedOnly;
  bool jsonGiven = false;
  bool quietGiven = false;
  bool progressGiven = false;
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
    const bool withValue = takesValue(name);
    if (inlineValue && !withValue) return fail("option " + name + " takes no value");
    std::string value;
    if (withValue) {
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
      o.format.reset();
      for (const Format f : formatList()) {
        if (value == formatName(f)) o.format = f;
      }
      if (!o.format) return fail("unknown format '" + value + "' (" + formatNames() + ")");
    } else if (name == "--method") {
      const MethodInfo* found = nullptr;
      for (const MethodInfo& m : methodTable()) {
        if (value == m.name) found = &m;
      }
      if (found == nullptr) return fail("unknown method '" + value + "' (" + methodNames() + ")");
      o.method = found->method;
    } else if (name == "--time-limit") {
      if (!parseSeconds(value, o.timeLimit)) {
        return fail("--time-limit needs a number of seconds >= 0, not '" + value + "'");
      }
      limitedOnly.push_back(name);
    } else if (name == "--node-limit") {
      if (!parseCount(value, o.nodeLimit)) {
        return fail("--node-limit needs a whole number >= 0, not '" + value + "'");
      }
      limitedOnly.push_back(name);
    } else if (name == "--gap") {
      if (!parseNumber(value, o.gap) || o.gap < 0) {
        return fail("--gap needs a finite number >= 0 (relative: 0.01 is 1 %), not '" + value +
                    "'");
      }
      limitedOnly.push_back(name);
    } else if (name == "--target") {
      if (!parseNumber(value, o.target)) {
        return fail("--target needs a finite number, not '" + value + "'");
      }
      limitedOnly.push_back(name);
    } else if (name == "--threads") {
      long long n = 0;
      if (!parseCount(value, n) || n > kMaxThreads) {
        return fail("--threads needs a whole number from 0 (every hardware thread) to " +
                    std::to_string(kMaxThreads) + ", not '" + value + "'");
      }
      o.threads = static_cast<int>(n);
      limitedOnly.push_back(name);
    } else if (name == "--start") {
      if (value.empty()) return fail("--start needs a file name");
      o.startFile = value;
      limitedOnly.push_back(name);
    } else if (name == "--write") {
      if (value.empty()) return fail("--write needs a file name");
      o.writeFile = value;
    } else if (name == "-o") {
      if (value.empty()) return fail("-o needs a file name");
      o.outputFile = value;
    } else if (name == "--progress") {
      if (value == "auto") {
        o.progress = Progress::automatic;
      } else if (value == "json") {
        o.progress = Progress::json;
      } else if (value == "none") {
        o.progress = Progress::none;
      } else {
        return fail("unknown progress '" + value + "' (auto, json or none)");
      }
      progressGiven = true;
    } else if (name == "--weighted") {
      o.weighted = true;
      limitedOnly.push_back(name);
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
  if (!o.writeFile.empty() && !o.outputFile.empty()) {
    return fail("--write converts the instance and solves nothing, so -o has nothing to write");
  }
  // --quiet means no progress unless asked for by name.
  if (quietGiven && !progressGiven) o.progress = Progress::none;
  const MethodInfo& method = methodInfo(o.method);
  if (!method.limited && !limitedOnly.empty()) {
    const std::string& which = limitedOnly.front();
    for (const MethodInfo& m : methodTable()) {
      if (m.limited) {
        return fail(which + " needs --method " + m.name + ", not " + method.name);
      }
    }
  }
  return r;
}

}  // namespace set_cover_solve
