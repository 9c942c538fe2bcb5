// set_cover_solve: reads a set cover instance (OR-Library, Steiner triples, JSON or YAML), solves
// it with one of the library's methods and prints the cover. See --help and set_cover_solve(1).
//
// Exit status: 0 when a cover was printed (proven or not; 130/143 when SIGINT/SIGTERM stopped
// the search early), 1 on bad input or an error, 2 on a usage error, 3 when no cover exists.
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <map>
#include <new>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "nimbrel_tavik_util/logger.hpp"
#include "nimbrel_tavik_util/set_cover.hpp"
#include "nimbrel_tavik_util/version.hpp"
#include "reader/file_writer.hpp"
#include "set_cover_solve/compact_instance.hpp"
#include "set_cover_solve/no_cover.hpp"
#include "set_cover_solve/options.hpp"
#include "set_cover_solve/report.hpp"
#include "set_cover_solve/start_file.hpp"

namespace ntu = nimbrel_tavik_util;
namespace scs = set_cover_solve;
namespace fs = std::filesystem;

namespace {

// Written by the signal handler, which may touch nothing but lock-free atomics.
std::atomic<int> g_signal{0};
std::atomic<bool> g_stop{false};
// When the signal that stopped the search came (CLOCK_MONOTONIC nanoseconds) and from whom.
std::atomic<long long> g_signalAt{0};
std::atomic<int> g_signalFrom{0};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free &&
                  std::atomic<long long>::is_always_lock_free,
              "the signal handler needs lock-free atomics");

// GNU timeout sends its signal to the program and then to the program's process group, and a
// shell may do the same: one request that arrives twice. A repeat of the same signal from the
// same sender within this time is taken for that echo, not for a second request.
constexpr long long kEchoNanoseconds = 1000000000;

long long monotonicNanoseconds() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);  // async-signal-safe
  return static_cast<long long>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The default action of `sig`, at once: the handler returns with the signal blocked, so it is
// delivered, now with its default effect, as soon as the handler is left.
void endBySignal(int sig) {
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  ::sigemptyset(&dfl.sa_mask);
  ::sigaction(sig, &dfl, nullptr);
  ::raise(sig);
}

extern "C" void onStopSignal(int sig, siginfo_t* info, void*) {
  const int from = info != nullptr && info->si_code <= 0 ? static_cast<int>(info->si_pid) : 0;
  const long long now = monotonicNanoseconds();
  const int first = g_signal.load(std::memory_order_relaxed);
  if (first == 0) {
    g_signalFrom.store(from, std::memory_order_relaxed);
    g_signalAt.store(now, std::memory_order_relaxed);
    g_signal.store(sig, std::memory_order_relaxed);
    g_stop.store(true, std::memory_order_relaxed);
    return;
  }
  if (sig == first && from == g_signalFrom.load(std::memory_order_relaxed) &&
      now - g_signalAt.load(std::memory_order_relaxed) < kEchoNanoseconds) {
    return;  // the same request again
  }
  // A second request: the user wants out now.
  endBySignal(sig);
}

void catchStopSignals() {
  struct sigaction sa {};
  sa.sa_sigaction = onStopSignal;
  ::sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART | SA_SIGINFO;
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGTERM, &sa, nullptr);
}

// Once the search is over a signal has its default effect again: writing the output may block
// (a FIFO nobody opens, a full pipe), and SIGTERM must still end the program then. Only when a
// signal stopped the search, or came while it ended, does the handler stay, to swallow that
// signal's echo; it gives every other signal the default effect. The search's threads have
// ended, so blocking the signals here holds them back from the whole process.
void releaseStopSignals() {
  sigset_t stops;
  sigset_t old;
  ::sigemptyset(&stops);
  ::sigaddset(&stops, SIGINT);
  ::sigaddset(&stops, SIGTERM);
  ::sigprocmask(SIG_BLOCK, &stops, &old);
  sigset_t pending;
  ::sigemptyset(&pending);
  ::sigpending(&pending);
  if (g_signal.load() == 0 && ::sigismember(&pending, SIGINT) == 0 &&
      ::sigismember(&pending, SIGTERM) == 0) {
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    ::sigemptyset(&dfl.sa_mask);
    ::sigaction(SIGINT, &dfl, nullptr);
    ::sigaction(SIGTERM, &dfl, nullptr);
  }
  ::sigprocmask(SIG_SETMASK, &old, nullptr);
}

// The live progress line, cleared before a log line goes to the terminal.
scs::ProgressLine* g_progress = nullptr;

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

// A readable file, or InputError with the reason.
void checkReadable(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    throw scs::InputError("", "is a folder, not a file");
  }
  std::ifstream probe(path);
  if (!probe) throw scs::InputError("", std::string("cannot open: ") + std::strerror(errno));
}

// The instance in compact form, the format it was read in, and the seconds reading took.
struct ReadInstance {
  scs::CompactInstance instance;
  scs::Format format = scs::Format::orlib;
  double seconds = 0;
};

ReadInstance readInstance(const scs::Options& o, const std::string& display) {
  const auto start = std::chrono::steady_clock::now();
  ReadInstance r;
  const scs::InputText input(o.path);
  r.format = o.format        ? *o.format
             : o.path == "-" ? scs::formatFromText(input.text(), scs::Format::orlib)
                             : o.effectiveFormat();
  r.instance = scs::readInstanceText(input.text(), r.format, [&display](const std::string& w) {
    std::cerr << oneLine("set_cover_solve: " + display + ": warning: " + w) << '\n';
  });
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return r;
}

// True when the columns cover every row.
bool covers(const scs::CompactInstance& inst, const std::vector<int>& columns) {
  std::vector<char> covered(static_cast<std::size_t>(inst.elements), 0);
  int left = inst.elements;
  for (const int j : columns) {
    if (j < 0 || j >= inst.sets()) return false;
    for (std::int64_t e = inst.setStart[j]; e < inst.setStart[j + 1]; ++e) {
      char& c = covered[static_cast<std::size_t>(inst.elementIndex[static_cast<std::size_t>(e)])];
      left -= c == 0;
      c = 1;
    }
  }
  return left == 0;
}

// The column of each id (ids ascend with the columns); -1 for an id that is no set.
std::vector<int> columnsOf(const scs::CompactInstance& inst, const std::vector<int>& ids) {
  std::vector<int> columns;
  columns.reserve(ids.size());
  for (const int id : ids) {
    const auto it = std::lower_bound(inst.setIds.begin(), inst.setIds.end(), id);
    columns.push_back(
        it != inst.setIds.end() && *it == id ? static_cast<int>(it - inst.setIds.begin()) : -1);
  }
  return columns;
}

// Costs are summed in doubles: a total beyond the largest double would make every cost and gap
// meaningless (inf, NaN), so such an instance is refused before the search.
void checkCostTotal(const scs::CompactInstance& inst) {
  double total = 0;
  for (int j = 0; j < inst.sets(); ++j) {
    total += inst.costs[static_cast<std::size_t>(j)];
    if (!std::isfinite(total)) {
      throw scs::InputError("", "the costs add up to more than the largest double (" +
                                    scs::formatNumber(std::numeric_limits<double>::max()) +
                                    "), at set " + inst.setLabel(j) + "; scale them down");
    }
  }
}

// What ended a run that is not proven optimal, in the library's words (solveStatusName), or the
// signal that set the stop flag.
std::string stoppedBy(ntu::SolveStatus status) {
  if (status == ntu::SolveStatus::Optimal) return "";
  // The stop flag is set only by the signal handler.
  if (status == ntu::SolveStatus::Stopped) return g_signal.load() == SIGTERM ? "SIGTERM" : "SIGINT";
  return ntu::solveStatusName(status);
}

std::vector<int> readStart(const std::string& file, const scs::CompactInstance& inst) {
  try {
    checkReadable(file);
    std::map<int, std::set<int>> sets;
    std::map<std::string, int> names;
    for (int j = 0; j < inst.sets(); ++j) {
      sets.emplace_hint(sets.end(), inst.setIds[static_cast<std::size_t>(j)], std::set<int>{});
      if (!inst.setNames.empty()) names[inst.setNames[static_cast<std::size_t>(j)]] = j;
    }
    return scs::startIds(scs::parseStart(scs::readWholeFile(file)), sets, names);
  } catch (const scs::InputError& e) {
    throw StartFileError{e};
  }
}

scs::Outcome solveInstance(const scs::CompactInstance& inst, const scs::Options& o,
                           scs::ProgressLine* progress) {
  scs::Outcome out;
  std::vector<int> columns;
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
    limits.threads = ntu::resolveThreads(o.threads);
    if (!o.startFile.empty()) limits.start = columnsOf(inst, readStart(o.startFile, inst));
    limits.stop = &g_stop;
    if (progress != nullptr) {
      limits.onProgress = [progress](const ntu::SolveProgress& p) {
        progress->update({p.seconds, p.bestCost, p.lowerBound, p.nodes});
      };
    }
    catchStopSignals();
    // The compact form straight from the reader: column indices come back.
    const ntu::SolveResult r = ntu::solveWithin(inst.matrix(o.weighted), limits);
    releaseStopSignals();
    columns = r.ids;
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
    // The map-based methods number the same way: rows ascend as the elements do.
    const std::map<int, std::set<int>> sets = scs::toMapForm(inst);
    const auto start = std::chrono::steady_clock::now();
    const std::vector<int> ids =
        ntu::SetCoverSolver<int>::solve(sets, method, o.method == scs::Method::greedyContinuity);
    out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    out.cost = static_cast<double>(ids.size());
    columns = columnsOf(inst, ids);
    if (scs::methodInfo(o.method).exact) {
      // The cover is a minimum one.
      out.lowerBound = out.cost;
      out.optimal = true;
    }
  }
  if (!covers(inst, columns)) {
    throw std::runtime_error(std::string("the ") + scs::methodName(o.method) +
                             " method returned no cover of every element");
  }
  for (const int j : columns) {
    out.ids.push_back(inst.setIds[static_cast<std::size_t>(j)]);
    if (!inst.setNames.empty()) out.names.push_back(inst.setNames[static_cast<std::size_t>(j)]);
  }
  return out;
}

// -o: the result document, written whole or not at all (the library's writer: an unnamed
// temporary file linked in at the last moment, so a kill leaves nothing behind). "-" is
// standard output. Failing, it says so in one line and gives status 1; the result on standard
// output stands.
bool writeResultFile(const std::string& path, const std::string& document) {
  const std::string target = path == "-" ? "/dev/stdout" : path;
  const auto fail = [&path](const std::string& why) {
    std::cerr << oneLine("set_cover_solve: -o " + path + ": " + why) << '\n';
    return false;
  };
  try {
    // The writer would create missing folders; a mistyped folder is better reported.
    const fs::path parent = fs::path(target).parent_path();
    std::error_code ec;
    if (!parent.empty() && !fs::is_directory(parent, ec)) {
      return fail("cannot write: no folder " + parent.string());
    }
    if (fs::is_directory(target, ec)) return fail("cannot write: is a folder");
    errno = 0;
    if (ntu::file_writer::writeFile(target, document) != ntu::file_writer::Outcome::kWritten) {
      const int err = errno;
      return fail(std::string("cannot open for writing") +
                  (err != 0 ? std::string(": ") + std::strerror(err) : std::string()));
    }
    return true;
  } catch (const std::exception& e) {
    return fail(e.what());
  }
}

// True when writing `output` would replace the instance being read: the same file, however it
// is named (standard input included).
bool isTheInstance(const std::string& output, const std::string& input) {
  if (output == "-") return false;
  struct stat out {};
  struct stat in {};
  if (::stat(output.c_str(), &out) != 0 || !S_ISREG(out.st_mode)) return false;
  const int got = input == "-" ? ::fstat(STDIN_FILENO, &in) : ::stat(input.c_str(), &in);
  return got == 0 && out.st_dev == in.st_dev && out.st_ino == in.st_ino;
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
  if (!o.writeFile.empty() && isTheInstance(o.writeFile, o.path)) {
    std::cerr << oneLine("set_cover_solve: --write " + o.writeFile + " is the instance file " +
                         display + "; it would be replaced")
              << '\n';
    return 2;
  }
  if (!o.outputFile.empty() && isTheInstance(o.outputFile, o.path)) {
    std::cerr << oneLine("set_cover_solve: -o " + o.outputFile + " is the instance file " +
                         display + "; it would be replaced (see set_cover_solve --help)")
              << '\n';
    return 2;
  }

  g_verbose = o.verbose;
  ntu::Logger::setLevel(o.verbose ? ntu::Logger::DEBUG : ntu::Logger::WARNING);
  installLogSink();

  try {
    const ReadInstance read = readInstance(o, display);
    const scs::CompactInstance& instance = read.instance;
    scs::InstanceInfo info{display, read.format, scs::countInstance(instance)};
    info.readSeconds = read.seconds;
    if (!o.writeFile.empty()) {
      try {
        ntu::writeInstance(o.writeFile, instance);
      } catch (const scs::InputError& e) {
        std::cerr << oneLine("set_cover_solve: --write " + o.writeFile + ": " + e.what()) << '\n';
        return 1;
      }
      return 0;
    }
    if (o.verbose) {
      std::cerr << oneLine("set_cover_solve: " + display + ": read in " +
                           std::to_string(read.seconds) + " s")
                << '\n';
    }
    const scs::ProgressLine::Mode mode =
        o.progress == scs::Progress::json ? scs::ProgressLine::Mode::json
        : ::isatty(STDERR_FILENO) == 1    ? scs::ProgressLine::Mode::terminal
                                          : scs::ProgressLine::Mode::plain;
    scs::ProgressLine progress(std::cerr, mode);
    scs::ProgressLine* shown = o.progress == scs::Progress::none ? nullptr : &progress;
    g_progress = shown;
    const scs::Outcome outcome = solveInstance(instance, o, shown);
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
