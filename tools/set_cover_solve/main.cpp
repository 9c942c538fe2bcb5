// set_cover_solve: reads a set cover instance (OR-Library, Steiner triples, JSON or YAML), solves
// it with one of the library's methods and prints the cover. See --help and set_cover_solve(1).
//
// Exit status: 0 when a cover was printed (proven or not; 130/143 when SIGINT/SIGTERM stopped
// the search early), 1 on bad input or an error, 2 on a usage error.
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <yaml-cpp/exceptions.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>
#include <new>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "nimbrel_tavik_util/logger.hpp"
#include "nimbrel_tavik_util/reader.hpp"
#include "nimbrel_tavik_util/set_cover.hpp"
#include "nimbrel_tavik_util/version.hpp"
#include "set_cover_solve/instance_file.hpp"
#include "set_cover_solve/options.hpp"
#include "set_cover_solve/report.hpp"

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

int failInput(const std::string& file, const scs::InputError& e) {
  // Keys and file names may hold line breaks too.
  std::cerr << oneLine("set_cover_solve: " + file + (e.where().empty() ? "" : ":" + e.where()) +
                       ": " + e.what())
            << '\n';
  return 1;
}

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

template <typename T>
scs::Outcome solveInstance(const scs::Instance<T>& inst, const scs::Options& o,
                           scs::ProgressLine* progress) {
  using Solver = ntu::SetCoverSolver<T>;
  scs::Outcome out;
  out.method = o.method;
  out.weighted = o.weighted;
  if (o.method == scs::Method::best) {
    ntu::SolveLimits limits;
    limits.seconds = o.timeLimit;
    limits.nodes = o.nodeLimit;
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
    const int sig = g_signal.load();
    if (sig != 0 && !r.optimal) {
      out.stopped = sig == SIGINT ? "SIGINT" : "SIGTERM";
    } else if (!r.optimal) {
      out.stopped = o.nodeLimit >= 0 && r.nodes >= o.nodeLimit ? "node limit" : "time limit";
    }
  } else {
    const ntu::SolveMethod method = o.method == scs::Method::ilp         ? ntu::ILP
                                    : o.method == scs::Method::propagate ? ntu::PROPAGATE
                                                                         : ntu::GREEDY;
    const auto start = std::chrono::steady_clock::now();
    out.ids = Solver::solve(inst.sets, method, o.method == scs::Method::greedyContinuity);
    out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    out.cost = static_cast<double>(out.ids.size());
    if (method != ntu::GREEDY) {
      // Both are exact: the cover is a minimum one.
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
    scs::ProgressLine progress(std::cerr, ::isatty(STDERR_FILENO) == 1);
    scs::ProgressLine* shown = o.output == scs::Output::quiet ? nullptr : &progress;
    g_progress = shown;
    const scs::Outcome outcome =
        std::visit([&](const auto& inst) { return solveInstance(inst, o, shown); }, instance);
    progress.clear();
    g_progress = nullptr;
    switch (o.output) {
      case scs::Output::human:
        scs::printHuman(std::cout, outcome, info);
        break;
      case scs::Output::json:
        scs::printJson(std::cout, outcome, info);
        break;
      case scs::Output::quiet:
        scs::printQuiet(std::cout, outcome);
        break;
    }
    std::cout.flush();
    if (!std::cout) {
      std::cerr << "set_cover_solve: cannot write to standard output\n";
      return 1;
    }
    // Interrupted: the usual status of a program ended by that signal, the cover printed anyway.
    const int sig = g_signal.load();
    return sig != 0 ? 128 + sig : 0;
  } catch (const scs::InputError& e) {
    return failInput(display, e);
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
