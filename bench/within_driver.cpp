// One solveWithin run on one instance, for scripts/bench/run-within-benchmarks.sh; also writes the
// instance as an LP file so that glpsol and cbc can be run on exactly the same instance.
//
//   within_driver (--file PATH | --uniform N SEED | --stress K | --scattered N SEED) [--weighted]
//                 [--seconds S] [--nodes N] [--threads K] [--stop-after S] [--wall]
//                 [--set NAME=VALUE]... [--write-lp PATH] [--symmetry]
//
// --set changes one of the portfolio's settings (src/setcover/within/settings.hpp; a switch
// takes 0 or 1), so that a phase can be measured alone or a number tried without recompiling;
// --set help lists the names.
// --file reads OR-Library files (costs used with --weighted) and Steiner triple files (name
// data.N); --uniform draws N sets over 2N elements, each pair with probability 0.05 (the
// benchmarks' family, set_cover_generate's uniform family); --stress K is set_cover_stress's
// instance of seed 7 scaled by K; --scattered N SEED draws N sets of 10 elements each out of
// 1.5 N integers scattered below 10^9 (numbering them is part of the work).
// --threads K is SolveLimits::threads. --stop-after S sets the stop flag from another thread
// S seconds after the call starts. --wall adds two columns: the call's wall-clock seconds
// measured around it, and the milliseconds from the stop flag (or the time limit) to the
// return (-1 when neither was given or the call ended before).
// --symmetry times the symmetry detection of the branch-and-bound's root instead of solving:
// the model reduced as solveWithin reduces it, then its column orbits (src/setcover/within/
// symmetry.hpp), and prints
//   name weighted rows cols entries reducedRows reducedCols orbits orbitColumns log10Group ms
//   work
// (ms: the median of five detections; work: the units charged to the budget for one).
// Otherwise prints one tab-separated line:
//   name weighted limit cost lowerBound optimal nodes seconds peakRssKiB covers
// (covers: 1 when the returned ids cover every element and their costs add up to `cost`).
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "nimbrel_tavik_util/set_cover_io.hpp"
#include "set_cover_stress/generator.hpp"
#include "setcover/corpus_reader.hpp"
#include "setcover/cover_matrix.hpp"
#include "setcover/random_instance.hpp"
#include "setcover/within/presolve.hpp"
#include "setcover/within/settings.hpp"
#include "setcover/within/symmetry.hpp"
#include "setcover/within/within.hpp"

namespace {

using Instance = std::map<int, std::set<int>>;

struct Problem {
  std::string name;
  Instance sets;
  std::map<int, double> costs;  // every id, 1 unless read from a file
};

// The corpus readers of the tests (set_cover_solve's, ids from 0).
Problem readFile(const std::string& path) {
  Problem p;
  p.name = path.substr(path.find_last_of('/') + 1);
  if (p.name.rfind("data.", 0) == 0) {
    p.name = "stn" + p.name.substr(5);
    p.sets = ntu_corpus::readSteiner(path);
    for (const auto& entry : p.sets) p.costs.emplace(entry.first, 1.0);
  } else {
    if (p.name.size() > 4 && p.name.substr(p.name.size() - 4) == ".txt") {
      p.name.resize(p.name.size() - 4);
    }
    p.sets = ntu_corpus::readOrLibrary(path);
    const std::vector<double> costs = ntu_corpus::readOrLibraryCosts(path);
    for (std::size_t j = 0; j < costs.size(); ++j) p.costs[static_cast<int>(j)] = costs[j];
  }
  return p;
}

Problem uniform(int sets, int seed) {
  Problem p;
  p.name = "uniform" + std::to_string(sets) + "_" + std::to_string(seed);
  p.sets = ntu_test::uniformInstance(sets, seed);
  for (const auto& entry : p.sets) p.costs[entry.first] = 1.0;
  return p;
}

Problem stress(int k) {
  set_cover_stress::GeneratorConfig config;
  config.n_dirts *= k;
  config.n_trajs *= k;
  Problem p;
  p.name = "stress_x" + std::to_string(k);
  p.sets = set_cover_stress::generateInstance(7, config).traj_to_dirts;
  for (const auto& entry : p.sets) p.costs[entry.first] = 1.0;
  return p;
}

Problem scattered(int sets, int seed) {
  Problem p;
  p.name = "scattered" + std::to_string(sets) + "_" + std::to_string(seed);
  std::mt19937_64 engine(static_cast<std::uint64_t>(seed));
  std::uniform_int_distribution<int> value(0, 999999999);
  std::vector<int> pool(static_cast<std::size_t>(sets) + sets / 2);
  for (int& e : pool) e = value(engine);
  std::uniform_int_distribution<std::size_t> pick(0, pool.size() - 1);
  for (int s = 0; s < sets; ++s) {
    for (int k = 0; k < 10; ++k) p.sets[s].insert(pool[pick(engine)]);
    p.costs[s] = 1.0;
  }
  return p;
}

// CPLEX LP format, read by glpsol --lp and cbc alike: the library's writer, columns x<id>.
void writeLp(const Problem& p, bool weighted, const std::string& path) {
  nimbrel_tavik_util::CoverInstance inst;
  std::vector<int> elements;
  for (const auto& [id, elems] : p.sets)
    elements.insert(elements.end(), elems.begin(), elems.end());
  std::sort(elements.begin(), elements.end());
  elements.erase(std::unique(elements.begin(), elements.end()), elements.end());
  inst.elements = static_cast<int>(elements.size());
  inst.elementLabels.assign(elements.begin(), elements.end());
  for (const auto& [id, elems] : p.sets) {
    for (const int e : elems) {
      inst.elementIndex.push_back(static_cast<int>(
          std::lower_bound(elements.begin(), elements.end(), e) - elements.begin()));
    }
    inst.setStart.push_back(static_cast<std::int64_t>(inst.elementIndex.size()));
    inst.setIds.push_back(id);
    inst.costs.push_back(weighted ? p.costs.at(id) : 1.0);
  }
  inst.hasCosts = weighted;
  nimbrel_tavik_util::writeInstance(path, inst, nimbrel_tavik_util::InstanceFormat::lp);
}

// The root's symmetry detection on the reduced model, timed (see --symmetry above).
int symmetryReport(const Problem& p, bool weighted) {
  namespace d = nimbrel_tavik_util::setcover_detail;
  std::map<int, int> row;
  for (const auto& entry : p.sets) {
    for (int e : entry.second) row.emplace(e, 0);
  }
  int next = 0;
  for (auto& entry : row) entry.second = next++;
  std::vector<std::int64_t> start{0};
  std::vector<int> index;
  std::vector<double> costs;
  for (const auto& entry : p.sets) {
    for (int e : entry.second) index.push_back(row.at(e));
    start.push_back(static_cast<std::int64_t>(index.size()));
    costs.push_back(weighted ? p.costs.at(entry.first) : 1.0);
  }
  nimbrel_tavik_util::CoverMatrix matrix;
  matrix.elements = next;
  matrix.sets = static_cast<int>(p.sets.size());
  matrix.setStart = start.data();
  matrix.elementIndex = index.data();
  matrix.costs = costs.data();
  d::Budget budget(1e18, -1, nullptr);
  d::CoverModel model;
  std::vector<int> colId;
  d::buildModel(matrix, budget, model, colId);
  const d::Reduced red = d::reduce(model, budget);
  const d::CoverModel& rm = red.of(model);
  std::vector<char> rows(static_cast<std::size_t>(rm.numRows), 1);
  std::vector<char> cols(static_cast<std::size_t>(rm.numCols), 1);
  std::vector<double> ms;
  d::ColumnOrbits orbits;
  for (int k = 0; k < 5; ++k) {
    const auto began = std::chrono::steady_clock::now();
    orbits = d::columnOrbits(rm, d::Residual{rows.data(), cols.data()});
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began)
                     .count());
  }
  std::sort(ms.begin(), ms.end());
  std::printf("%s\t%d\t%d\t%d\t%zu\t%d\t%d\t%d\t%zu\t%.1f\t%.3f\t%llu\n", p.name.c_str(),
              weighted ? 1 : 0, model.numRows, model.numCols, model.colRows.size(), rm.numRows,
              rm.numCols, orbits.count(), orbits.members.size(), orbits.logGroupSize, ms[2],
              static_cast<unsigned long long>(orbits.work));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    Problem p;
    bool weighted = false;
    nimbrel_tavik_util::SolveLimits limits;
    nimbrel_tavik_util::setcover_detail::PortfolioSettings settings;
    std::string lpPath;
    bool symmetryOnly = false;
    bool have = false;
    bool wall = false;
    double stopAfter = -1.0;
    for (int a = 1; a < argc; ++a) {
      const std::string arg = argv[a];
      const auto value = [&](const char* what) -> std::string {
        if (a + 1 >= argc) throw std::runtime_error(arg + " needs " + what);
        return argv[++a];
      };
      if (arg == "--file") {
        p = readFile(value("a path"));
        have = true;
      } else if (arg == "--uniform") {
        const int n = std::stoi(value("a size"));
        p = uniform(n, std::stoi(value("a seed")));
        have = true;
      } else if (arg == "--stress") {
        p = stress(std::stoi(value("a factor")));
        have = true;
      } else if (arg == "--scattered") {
        const int n = std::stoi(value("a size"));
        p = scattered(n, std::stoi(value("a seed")));
        have = true;
      } else if (arg == "--threads") {
        limits.threads = std::stoi(value("a count"));
      } else if (arg == "--stop-after") {
        stopAfter = std::stod(value("seconds"));
      } else if (arg == "--wall") {
        wall = true;
      } else if (arg == "--weighted") {
        weighted = true;
      } else if (arg == "--seconds") {
        limits.seconds = std::stod(value("seconds"));
      } else if (arg == "--nodes") {
        limits.nodes = std::stoll(value("a count"));
      } else if (arg == "--set") {
        const std::string set = value("NAME=VALUE");
        const std::size_t eq = set.find('=');
        if (set == "help") {
          for (const std::string& name : nimbrel_tavik_util::setcover_detail::settingNames()) {
            std::cout << name << "\n";
          }
          return 0;
        }
        if (eq == std::string::npos ||
            !nimbrel_tavik_util::setcover_detail::setSetting(settings, set.substr(0, eq),
                                                             std::stod(set.substr(eq + 1)))) {
          throw std::runtime_error("unknown setting " + set + " (--set help lists them)");
        }
      } else if (arg == "--symmetry") {
        symmetryOnly = true;
      } else if (arg == "--write-lp") {
        lpPath = value("a path");
      } else {
        throw std::runtime_error("unknown argument " + arg);
      }
    }
    if (!have) throw std::runtime_error("no instance (--file, --uniform or --stress)");
    if (symmetryOnly) return symmetryReport(p, weighted);
    if (!lpPath.empty()) {
      writeLp(p, weighted, lpPath);
      return 0;
    }
    std::atomic<bool> stop{false};
    std::atomic<bool> finished{false};
    using Clock = std::chrono::steady_clock;
    Clock::time_point flagged{};
    std::thread stopper;
    if (stopAfter >= 0.0) {
      limits.stop = &stop;
      stopper = std::thread([&] {
        const Clock::time_point at = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                        std::chrono::duration<double>(stopAfter));
        while (!finished.load() && Clock::now() < at) {
          std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        flagged = Clock::now();
        stop = true;
      });
    }
    const Clock::time_point began = Clock::now();
    nimbrel_tavik_util::SolveResult r;
    try {
      r = nimbrel_tavik_util::setcover_detail::solveWithinSettings(
          p.sets, weighted ? &p.costs : nullptr, limits, settings);
    } catch (...) {
      finished = true;
      if (stopper.joinable()) stopper.join();
      throw;
    }
    const Clock::time_point ended = Clock::now();
    finished = true;
    if (stopper.joinable()) stopper.join();
    // From the flag, or the time limit, to the return; -1 when the call ended before either.
    double lateMs = -1.0;
    if (stopAfter >= 0.0 && flagged <= ended && flagged != Clock::time_point{}) {
      lateMs = std::chrono::duration<double, std::milli>(ended - flagged).count();
    } else if (stopAfter < 0.0 && limits.seconds < 1e9) {
      const double over = std::chrono::duration<double>(ended - began).count() - limits.seconds;
      if (over >= 0.0) lateMs = over * 1000.0;
    }
    std::set<int> covered;
    double sum = 0.0;
    for (int id : r.ids) {
      covered.insert(p.sets.at(id).begin(), p.sets.at(id).end());
      sum += weighted ? p.costs.at(id) : 1.0;
    }
    std::set<int> universe;
    for (const auto& entry : p.sets) universe.insert(entry.second.begin(), entry.second.end());
    const bool ok = covered == universe && std::fabs(sum - r.cost) <= 1e-9 * (1.0 + sum);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%s\t%d\t%g\t%.10g\t%.10g\t%d\t%lld\t%.3f\t%ld\t%d", p.name.c_str(),
                weighted ? 1 : 0, limits.seconds, r.cost, r.lowerBound, r.optimal ? 1 : 0, r.nodes,
                r.seconds, usage.ru_maxrss, ok ? 1 : 0);
    if (wall) {
      std::printf("\t%.4f\t%.2f", std::chrono::duration<double>(ended - began).count(), lateMs);
    }
    std::printf("\n");
    return ok ? 0 : 3;
  } catch (const std::exception& e) {
    std::cerr << "within_driver: " << e.what() << "\n";
    return 2;
  }
}
