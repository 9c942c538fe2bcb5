// set_cover_solve: reads a set cover instance (OR-Library, Steiner triples, JSON or YAML), solves
// it with one of the library's methods and prints the cover. See --help and set_cover_solve(1).
//
// Exit status: 0 when a cover was printed (proven or not; 130/143 when SIGINT/SIGTERM stopped
// the search early), 1 on bad input or an error, 2 on a usage error, 3 when no cover exists.
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <yaml-cpp/exceptions.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <map>
#include <new>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "nimbrel_tavik_util/logger.hpp"
#include "nimbrel_tavik_util/reader.hpp"
#include "nimbrel_tavik_util/set_cover.hpp"
#include "nimbrel_tavik_util/version.hpp"
#include "set_cover_solve/instance_file.hpp"
#include "set_cover_solve/no_cover.hpp"
#include "set_cover_solve/options.hpp"
#include "set_cover_solve/output_file.hpp"
#include "set_cover_solve/report.hpp"
#include "set_cover_solve/start_file.hpp"

namespace ntu = nimbrel_tavik_util;
namespace scs = set_cover_solve;

namespace {

// Written by the signal handler, which may touch nothing but lock-free atomics.
std::atomic<int> g_signal{0};
std::atomic<bool> g_stop{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the signal handler needs lock-free atomics");

// The live progress line, cleared before a log line goes to the terminal.
scs::ProgressLine* g_progress = nullptr;

extern "C" void onStopSignal(int sig) {
  if (g_signal.load(std::memory_order_relaxed) != 0) {
    // A second signal: the user wants out now. Default action once the handler returns.
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    ::sigemptyset(&dfl.sa_mask);
    ::sigaction(sig, &dfl, nullptr);
    ::raise(sig);
    return;
  }
  g_signal.store(sig, std::memory_order_relaxed);
  g_stop.store(true, std::memory_order_relaxed);
}

void catchStopSignals() {
  struct sigaction sa {};
  sa.sa_handler = onStopSignal;
  ::sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGTERM, &sa, nullptr);
}

// One line whatever the message holds.
std::string oneLine(std::string s) {
  for (char& c : s) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return s;
}

int failInput(const std::string& file, const scs::InputError& e, const std::string& lead = "") {
  // Keys and file names may hold line breaks too.
  std::cerr << oneLine("set_cover_solve: " + file + (e.where().empty() ? "" : ":" + e.where()) +
                       ": " + lead + e.what())
            << '\n';
  return 1;
}

// The instance file's errors name the instance; those of the --start file name that file.
struct StartFileError {
  scs::InputError error;
};

// --verbose: the library's lines of every level are shown.
bool g_verbose = false;

void printLogLine(ntu::Logger::Level level, const std::string& line) {
  if (g_progress != nullptr) g_progress->clear();
  std::cerr << "set_cover_solve: [" << ntu::Logger::levelToString(level) << "] " << oneLine(line)
            << '\n';
}

void installLogSink() { ntu::Logger::setSink(printLogLine); }

// Reader reports failures through the log: collect the error lines while it reads, which become
// the one line of the failure. Other lines are shown only with --verbose, so that bad input
// gives exactly one line by default.
struct CapturedLog {
  std::vector<std::string> errors;
  CapturedLog() {
    ntu::Logger::setSink([this](ntu::Logger::Level level, const std::string& line) {
      if (level >= ntu::Logger::ERROR) {
        errors.push_back(line);
      } else if (g_verbose) {
        printLogLine(level, line);
      }
    });
  }
  ~CapturedLog() { installLogSink(); }
  CapturedLog(const CapturedLog&) = delete;
  CapturedLog& operator=(const CapturedLog&) = delete;
};

// A readable file, or InputError with the reason.
void checkReadable(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    throw scs::InputError("", "is a folder, not a file");
  }
  std::ifstream probe(path);
  if (!probe) throw scs::InputError("", std::string("cannot open: ") + std::strerror(errno));
}

nlohmann::json readDocument(const std::string& path, scs::Format format) {
  checkReadable(path);
  CapturedLog log;
  if (format == scs::Format::json) {
    nlohmann::json doc = ntu::Reader::readJson(path);
    if (!log.errors.empty()) {
      static const std::regex kAt("at line ([0-9]+), column ([0-9]+): (.*)");
      static const std::string kPrefix = "Failed to read JSON file: ";
      std::string message = log.errors.front();
      if (message.compare(0, kPrefix.size(), kPrefix) == 0) message.erase(0, kPrefix.size());
      std::smatch m;
      if (std::regex_search(message, m, kAt)) {
        throw scs::InputError(m[1].str(), "column " + m[2].str() + ": " + m[3].str());
      }
      throw scs::InputError("", message);
    }
    return doc;
  }
  try {
    return ntu::Reader::readYamlToJson(path);
  } catch (const YAML::ParserException& e) {
    throw scs::InputError(std::to_string(e.mark.line + 1), e.msg);
  } catch (const YAML::BadFile&) {
    throw scs::InputError("", "cannot open");
  } catch (const YAML::Exception& e) {
    if (e.mark.is_null()) throw scs::InputError("", e.msg);
    throw scs::InputError(std::to_string(e.mark.line + 1), e.msg);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    throw scs::InputError("", e.what());
  }
}

// Standard input copied to a temporary file, for the readers that take a path; removed again.
class StdinCopy {
 public:
  StdinCopy() {
    const char* dir = std::getenv("TMPDIR");
    path_ = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/set_cover_solve.XXXXXX";
    const int fd = ::mkstemp(path_.data());
    if (fd < 0) {
      throw scs::InputError("",
                            std::string("cannot create a temporary file: ") + std::strerror(errno));
    }
    std::ofstream out(path_, std::ios::binary);
    ::close(fd);
    out << std::cin.rdbuf();
    out.close();
    if (!out) {
      ::unlink(path_.c_str());
      throw scs::InputError("", "cannot copy standard input to a temporary file");
    }
  }
  ~StdinCopy() { ::unlink(path_.c_str()); }
  StdinCopy(const StdinCopy&) = delete;
  StdinCopy& operator=(const StdinCopy&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

scs::AnyInstance readInstance(const scs::Options& o) {
  const scs::Format format = o.effectiveFormat();
  if (format == scs::Format::json || format == scs::Format::yaml) {
    if (o.path == "-") {
      const StdinCopy copy;
      return scs::instanceFromDocument(readDocument(copy.path(), format));
    }
    return scs::instanceFromDocument(readDocument(o.path, format));
  }
  std::string text;
  if (o.path == "-") {
    text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    if (std::cin.bad()) throw scs::InputError("", "cannot read standard input");
  } else {
    text = scs::readWholeFile(o.path);
  }
  return format == scs::Format::steiner ? scs::parseSteiner(text) : scs::parseOrLibrary(text);
}

template <typename T>
bool covers(const std::map<int, std::set<T>>& sets, const std::vector<int>& ids) {
  std::set<T> universe;
  for (const auto& entry : sets) universe.insert(entry.second.begin(), entry.second.end());
  for (const int id : ids) {
    const auto it = sets.find(id);
    if (it == sets.end()) return false;
    for (const T& e : it->second) universe.erase(e);
  }
  return universe.empty();
}

// Costs are summed in doubles: a total beyond the largest double would make every cost and gap
// meaningless (inf, NaN), so such an instance is refused before the search.
template <typename T>
void checkCostTotal(const scs::Instance<T>& inst) {
  double total = 0;
  for (const auto& entry : inst.costs) {
    total += entry.second;
    if (!std::isfinite(total)) {
      throw scs::InputError("", "the costs add up to more than the largest double (" +
                                    scs::formatNumber(std::numeric_limits<double>::max()) +
                                    "), at set " + std::to_string(entry.first) +
                                    "; scale them down");
    }
  }
}

// What ended a run that is not proven optimal, in the words of the output.
std::string stoppedBy(ntu::SolveStatus status) {
  switch (status) {
    case ntu::SolveStatus::TimeLimit:
      return "time limit";
    case ntu::SolveStatus::NodeLimit:
      return "node limit";
    case ntu::SolveStatus::GapReached:
      return "gap";
    case ntu::SolveStatus::TargetReached:
      return "target";
    case ntu::SolveStatus::Stopped:
      // The stop flag is set only by the signal handler.
      return g_signal.load() == SIGTERM ? "SIGTERM" : "SIGINT";
    case ntu::SolveStatus::Optimal:
      break;
  }
  return "";
}

template <typename T>
std::vector<int> readStart(const std::string& file, const scs::Instance<T>& inst) {
  try {
    checkReadable(file);
    // Set names, once the readers keep them, map through here; until then ids only.
    const std::map<std::string, int> names;
    return scs::startIds(scs::parseStart(scs::readWholeFile(file)), inst.sets, names);
  } catch (const scs::InputError& e) {
    throw StartFileError{e};
  }
}

template <typename T>
scs::Outcome solveInstance(const scs::Instance<T>& inst, const scs::Options& o,
                           scs::ProgressLine* progress) {
  using Solver = ntu::SetCoverSolver<T>;
  scs::Outcome out;
  out.method = o.method;
  out.weighted = o.weighted;
  if (scs::methodInfo(o.method).limited) {
    if (o.weighted) checkCostTotal(inst);
    ntu::SolveLimits limits;
    limits.seconds = o.timeLimit;
    limits.nodes = o.nodeLimit;
    limits.gap = o.gap;
    limits.targetCost = o.target;
    // 0 would mean the same to the library; the count is resolved here to be reported.
    const unsigned hardware = std::thread::hardware_concurrency();
    limits.threads = o.threads != 0 ? o.threads : static_cast<int>(hardware > 0 ? hardware : 1);
    if (!o.startFile.empty()) limits.start = readStart(o.startFile, inst);
    limits.stop = &g_stop;
    if (progress != nullptr) {
      limits.onProgress = [progress](const ntu::SolveProgress& p) {
        progress->update({p.seconds, p.bestCost, p.lowerBound, p.nodes});
      };
    }
    catchStopSignals();
    const ntu::SolveResult r = o.weighted ? Solver::solveWithin(inst.sets, inst.costs, limits)
                                          : Solver::solveWithin(inst.sets, limits);
    out.ids = r.ids;
    out.cost = r.cost;
    out.lowerBound = r.lowerBound;
    out.optimal = r.optimal;
    out.seconds = r.seconds;
    out.nodes = r.nodes;
    out.threads = limits.threads;
    out.stopped = r.optimal ? "" : stoppedBy(r.status);
  } else {
    const ntu::SolveMethod method = o.method == scs::Method::ilp         ? ntu::ILP
                                    : o.method == scs::Method::propagate ? ntu::PROPAGATE
                                                                         : ntu::GREEDY;
    const auto start = std::chrono::steady_clock::now();
    out.ids = Solver::solve(inst.sets, method, o.method == scs::Method::greedyContinuity);
    out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    out.cost = static_cast<double>(out.ids.size());
    if (scs::methodInfo(o.method).exact) {
      // The cover is a minimum one.
      out.lowerBound = out.cost;
      out.optimal = true;
    }
  }
  if (!covers(inst.sets, out.ids)) {
    throw std::runtime_error(std::string("the ") + scs::methodName(o.method) +
                             " method returned no cover of every element");
  }
  return out;
}

// -o: the result document, written whole or not at all. Failing, it says so in one line and
// gives status 1; the result on standard output stands.
bool writeResultFile(const std::string& path, const std::string& document) {
  try {
    scs::writeFileReplacing(path, document);
    return true;
  } catch (const std::exception& e) {
    std::cerr << oneLine("set_cover_solve: -o " + path + ": " + e.what()) << '\n';
    return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const scs::ParsedArgs parsed = scs::parseArgs(std::vector<std::string>(argv + 1, argv + argc));
  switch (parsed.action) {
    case scs::ParsedArgs::Action::help:
      std::cout << scs::helpText();
      return 0;
    case scs::ParsedArgs::Action::version:
      std::cout << "set_cover_solve (nimbrel_tavik_util) " NIMBREL_TAVIK_UTIL_VERSION_STRING "\n";
      return 0;
    case scs::ParsedArgs::Action::usageError:
      std::cerr << "set_cover_solve: " << parsed.error << " (see set_cover_solve --help)\n";
      return 2;
    case scs::ParsedArgs::Action::run:
      break;
  }
  const scs::Options& o = parsed.options;
  const std::string display = o.path == "-" ? "<stdin>" : o.path;

  g_verbose = o.verbose;
  ntu::Logger::setLevel(o.verbose ? ntu::Logger::DEBUG : ntu::Logger::WARNING);
  installLogSink();

  try {
    const scs::AnyInstance instance = readInstance(o);
    const scs::InstanceInfo info{display, o.effectiveFormat(), scs::countInstance(instance)};
    const scs::ProgressLine::Mode mode =
        o.progress == scs::Progress::json ? scs::ProgressLine::Mode::json
        : ::isatty(STDERR_FILENO) == 1    ? scs::ProgressLine::Mode::terminal
                                          : scs::ProgressLine::Mode::plain;
    scs::ProgressLine progress(std::cerr, mode);
    scs::ProgressLine* shown = o.progress == scs::Progress::none ? nullptr : &progress;
    g_progress = shown;
    const scs::Outcome outcome =
        std::visit([&](const auto& inst) { return solveInstance(inst, o, shown); }, instance);
    progress.clear();
    g_progress = nullptr;
    const std::string document = scs::resultJson(outcome, info);
    switch (o.output) {
      case scs::Output::human:
        scs::printHuman(std::cout, outcome, info);
        break;
      case scs::Output::json:
        std::cout << document;
        break;
      case scs::Output::quiet:
        scs::printQuiet(std::cout, outcome);
        break;
    }
    std::cout.flush();
    // Standard output first: a result file that cannot be written loses nothing printed.
    const bool written = o.outputFile.empty() || writeResultFile(o.outputFile, document);
    if (!std::cout) {
      std::cerr << "set_cover_solve: cannot write to standard output\n";
      return 1;
    }
    if (!written) return 1;
    // Interrupted: the usual status of a program ended by that signal, the cover printed anyway.
    const int sig = g_signal.load();
    return sig != 0 ? 128 + sig : 0;
  } catch (const scs::NoCover& e) {
    failInput(display, e, "no cover exists: ");
    return 3;
  } catch (const scs::InputError& e) {
    return failInput(display, e);
  } catch (const StartFileError& e) {
    return failInput("--start " + o.startFile, e.error);
  } catch (const std::bad_alloc&) {
    if (g_progress != nullptr) g_progress->clear();
    std::cerr << oneLine("set_cover_solve: " + display + ": out of memory") << '\n';
    return 1;
  } catch (const std::exception& e) {
    if (g_progress != nullptr) g_progress->clear();
    std::cerr << oneLine("set_cover_solve: " + display + ": " + e.what()) << '\n';
    return 1;
  }
}
