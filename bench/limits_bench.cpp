// How promptly solveWithin honours its limits, for scripts/bench/run-limits-benchmarks.sh: for
// each instance file and thread count, calls with the stop flag set from another thread at a
// few points after the start (the milliseconds from setting it to the return), and calls with a
// time limit (how far past it the call returns). Files are read with readInstance, as a user
// would.
//
//   limits_bench [--threads 1,2,8] [--stops 0.02,0.15,0.6] [--limits 0.2,1] [--weighted]
//                [--tsv PATH] FILE...
//
// Prints a Markdown table (one row per file and thread count; each cell "wall (cpu)": the
// milliseconds of wall clock from the flag or the limit to the return, and the calling thread's
// CPU milliseconds in that stretch) and the summary: runs whose stop took more than 10 ms, runs
// more than max(5 %, 50 ms) past their time limit, by either clock, the medians and the worst
// of each with where it happened. --tsv also writes one line per run:
//   file threads kind(stop|limit) point wallMs cpuMs status
// (-1: the call ended before the flag was set or before the limit).
#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "nimbrel_tavik_util/set_cover_io.hpp"

namespace {

namespace ntu = nimbrel_tavik_util;
using Clock = std::chrono::steady_clock;

std::vector<double> numbers(const std::string& list) {
  std::vector<double> out;
  std::stringstream in(list);
  std::string item;
  while (std::getline(in, item, ',')) out.push_back(std::stod(item));
  if (out.empty()) throw std::runtime_error("empty list: " + list);
  return out;
}

std::string baseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash);
  const std::size_t up = dir.find_last_of('/');
  const std::string parent = up == std::string::npos ? dir : dir.substr(up + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return parent.empty() ? name : parent + "/" + name;
}

ntu::CoverInstance load(const std::string& path) {
  // Steiner triple files carry no telling extension (data.N).
  const std::string name = path.substr(path.find_last_of('/') + 1);
  if (name.rfind("data.", 0) == 0) return ntu::readInstance(path, ntu::InstanceFormat::steiner);
  return ntu::readInstance(path);
}

double cpuMs(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

struct Late {
  double wallMs = -1.0;  // from the mark to the return; -1: the call returned first
  double cpuMs = -1.0;   // the calling thread's CPU time in that stretch
  std::string status;
};

// One call with the stop flag set `at` seconds after the start (stop) or with a time limit of
// `at` seconds (!stop). Another thread marks that moment, reading the calling thread's CPU
// clock there: on a loaded machine the wall clock also counts the waits for a core, the CPU
// clock only the work done after the mark.
Late run(const ntu::CoverMatrix& m, int threads, bool stop, double at) {
  std::atomic<bool> flag{false};
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  Clock::time_point marked{};
  double cpuAtMark = 0.0;
  clockid_t caller{};
  if (pthread_getcpuclockid(pthread_self(), &caller) != 0) {
    throw std::runtime_error("no CPU clock for the calling thread");
  }
  ntu::SolveLimits limits;
  limits.threads = threads;
  if (stop) {
    limits.stop = &flag;
  } else {
    limits.seconds = at;
  }
  const Clock::time_point began = Clock::now();
  std::thread marker([&] {
    std::unique_lock<std::mutex> lock(mutex);
    const auto when =
        began + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(at));
    if (done.wait_until(lock, when, [&] { return finished; })) return;
    cpuAtMark = cpuMs(caller);
    marked = Clock::now();
    flag.store(true);
  });
  const auto join = [&] {
    {
      const std::lock_guard<std::mutex> lock(mutex);
      finished = true;
    }
    done.notify_all();
    marker.join();
  };
  ntu::SolveResult r;
  try {
    r = ntu::solveWithin(m, limits);
  } catch (...) {
    join();
    throw;
  }
  const Clock::time_point ended = Clock::now();
  const double cpuEnd = cpuMs(CLOCK_THREAD_CPUTIME_ID);
  join();
  Late late;
  late.status = ntu::solveStatusName(r.status);
  if (marked != Clock::time_point{} && marked <= ended) {
    late.wallMs = std::chrono::duration<double, std::milli>(ended - marked).count();
    late.cpuMs = std::max(0.0, cpuEnd - cpuAtMark);
  }
  return late;
}

struct Run {
  std::string file;
  int threads;
  bool stop;
  double point;
  double lateMs;
  double cpuMs;
};

double median(std::vector<double> v) {
  if (v.empty()) return -1.0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string cell(const Late& late) {
  if (late.wallMs < 0) return "-";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.1f (%.1f)", late.wallMs, late.cpuMs);
  return buf;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    std::vector<double> threadList{1, 2, 8};
    std::vector<double> stops{0.02, 0.15, 0.6};
    std::vector<double> timeLimits{0.2, 1.0};
    bool weighted = false;
    std::string tsvPath;
    std::vector<std::string> files;
    for (int a = 1; a < argc; ++a) {
      const std::string arg = argv[a];
      const auto value = [&]() -> std::string {
        if (a + 1 >= argc) throw std::runtime_error(arg + " needs a value");
        return argv[++a];
      };
      if (arg == "--threads") {
        threadList = numbers(value());
      } else if (arg == "--stops") {
        stops = numbers(value());
      } else if (arg == "--limits") {
        timeLimits = numbers(value());
      } else if (arg == "--weighted") {
        weighted = true;
      } else if (arg == "--tsv") {
        tsvPath = value();
      } else if (!arg.empty() && arg[0] == '-') {
        throw std::runtime_error("unknown argument " + arg);
      } else {
        files.push_back(arg);
      }
    }
    if (files.empty()) throw std::runtime_error("no instance files");
    std::ofstream tsv;
    if (!tsvPath.empty()) {
      tsv.open(tsvPath);
      if (!tsv) throw std::runtime_error("cannot write " + tsvPath);
    }

    std::cout << "| file | threads |";
    for (double s : stops) std::cout << " stop at " << s * 1000 << " ms |";
    for (double s : timeLimits) std::cout << " past " << s << " s |";
    std::cout << "\n|---|---:|";
    for (std::size_t i = 0; i < stops.size() + timeLimits.size(); ++i) std::cout << "---:|";
    std::cout << "\n";

    std::vector<Run> runs;
    for (const std::string& path : files) {
      const ntu::CoverInstance inst = load(path);
      const ntu::CoverMatrix m = inst.matrix(weighted);
      const std::string name = baseName(path);
      for (double t : threadList) {
        const int threads = static_cast<int>(t);
        std::cout << "| " << name << " | " << threads << " |";
        const auto record = [&](bool stop, double point) {
          const Late late = run(m, threads, stop, point);
          runs.push_back({name, threads, stop, point, late.wallMs, late.cpuMs});
          if (tsv) {
            tsv << name << '\t' << threads << '\t' << (stop ? "stop" : "limit") << '\t' << point
                << '\t' << late.wallMs << '\t' << late.cpuMs << '\t' << late.status << '\n';
          }
          std::cout << ' ' << cell(late) << " |" << std::flush;
        };
        for (double at : stops) record(true, at);
        for (double s : timeLimits) record(false, s);
        std::cout << "\n";
      }
    }

    // Runs over the target, by the wall clock and by the calling thread's CPU time.
    const auto summary = [&](bool stop) {
      std::vector<double> wall;
      std::vector<double> cpu;
      int over = 0;
      int overCpu = 0;
      const Run* worst = nullptr;
      const Run* worstCpu = nullptr;
      for (const Run& r : runs) {
        if (r.stop != stop || r.lateMs < 0) continue;
        wall.push_back(r.lateMs);
        cpu.push_back(r.cpuMs);
        const double allowed = stop ? 10.0 : std::max(50.0, 0.05 * r.point * 1000.0);
        if (r.lateMs > allowed) ++over;
        if (r.cpuMs > allowed) ++overCpu;
        if (worst == nullptr || r.lateMs > worst->lateMs) worst = &r;
        if (worstCpu == nullptr || r.cpuMs > worstCpu->cpuMs) worstCpu = &r;
      }
      const char* what = stop ? "Stop flag" : "Time limit";
      const char* target = stop ? "10 ms" : "max(5 %, 50 ms)";
      const char* point = stop ? "flag at" : "limit";
      std::printf("- %s, wall clock: %d of %zu runs over %s; median %.1f ms", what, over,
                  wall.size(), target, median(wall));
      if (worst != nullptr) {
        std::printf(", worst %.1f ms (%s, threads %d, %s %g s)", worst->lateMs, worst->file.c_str(),
                    worst->threads, point, worst->point);
      }
      std::printf(".\n- %s, calling thread's CPU time: %d of %zu runs over %s; median %.1f ms",
                  what, overCpu, cpu.size(), target, median(cpu));
      if (worstCpu != nullptr) {
        std::printf(", worst %.1f ms (%s, threads %d, %s %g s)", worstCpu->cpuMs,
                    worstCpu->file.c_str(), worstCpu->threads, point, worstCpu->point);
      }
      std::printf(".\n");
    };
    std::cout << "\n";
    summary(true);
    summary(false);
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "limits_bench: " << e.what() << "\n";
    return 2;
  }
}
