// Set cover at scale from data in memory, one measurement per run (peak memory is the
// process's), driven by scripts/bench/run-scale-benchmarks.sh. Prints one JSON object.
//
//   compact_vs_map greedy --family stress --scale K --seed S [--repeats R]
//   compact_vs_map greedy --family floor --points N --poses N --range M --seed S [--repeats R]
//       The map form (SetCoverSolver<int>::solve GREEDY, and solveWithin until it holds a cover
//       as good as GREEDY's) against the compact form (greedyCover, solveWithin on a
//       CoverMatrix): seconds from the instance in memory to the first cover (median of R),
//       and whether the greedy ids agree.
//   compact_vs_map within --family floor ... --seconds T
//       solveWithin(CoverMatrix) with a time limit: cost, bound, gap, when the first bound
//       came, wall seconds and peak RSS (VmHWM).
//   compact_vs_map lp --family floor ... --lp FILE
//       Writes the instance as a CPLEX LP file (binary columns) for glpsol and cbc.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "nimbrel_tavik_util/set_cover_io.hpp"
#include "set_cover_generate/coverage.hpp"
#include "set_cover_generate/instance_source.hpp"
#include "set_cover_stress/generator.hpp"

namespace ntu = nimbrel_tavik_util;
namespace scg = set_cover_generate;

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Peak resident set of this process in MB (VmHWM of /proc/self/status), or -1.
double peakMegabytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.compare(0, 6, "VmHWM:") == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return -1;
}

struct Args {
  std::string mode, family = "floor", lp;
  int points = 65000, poses = 9000, scale = 100, repeats = 3;
  double range = 6, seconds = 10;
  std::uint64_t seed = 1;
};

Args parse(int argc, char** argv) {
  if (argc < 2)
    throw std::invalid_argument("usage: compact_vs_map greedy|within|lp [--option v]...");
  Args a;
  a.mode = argv[1];
  for (int k = 2; k + 1 < argc; k += 2) {
    const std::string name = argv[k], value = argv[k + 1];
    if (name == "--family") {
      a.family = value;
    } else if (name == "--points") {
      a.points = std::stoi(value);
    } else if (name == "--poses") {
      a.poses = std::stoi(value);
    } else if (name == "--range") {
      a.range = std::stod(value);
    } else if (name == "--seed") {
      a.seed = std::stoull(value);
    } else if (name == "--scale") {
      a.scale = std::stoi(value);
    } else if (name == "--repeats") {
      a.repeats = std::stoi(value);
    } else if (name == "--seconds") {
      a.seconds = std::stod(value);
    } else if (name == "--lp") {
      a.lp = value;
    } else {
      throw std::invalid_argument("unknown option " + name);
    }
  }
  return a;
}

// The instance as the arrays of a column-compressed matrix (unicost).
scg::ColumnArrays instanceOf(const Args& a) {
  if (a.family == "stress") {
    set_cover_stress::GeneratorConfig config;
    config.n_dirts = set_cover_stress::kDefaultDirts * a.scale;
    config.n_trajs = set_cover_stress::kDefaultTrajs * a.scale;
    const auto inst = set_cover_stress::generateInstance(static_cast<int>(a.seed), config);
    scg::Compressed columns;
    for (int t = 0; t < inst.n_trajs; ++t) {
      const auto it = inst.traj_to_dirts.find(t);
      if (it != inst.traj_to_dirts.end()) {
        columns.index.insert(columns.index.end(), it->second.begin(), it->second.end());
      }
      columns.start.push_back(static_cast<std::int64_t>(columns.index.size()));
    }
    return scg::collectColumns(scg::compactRows(inst.n_dirts, columns));
  }
  scg::CoverageConfig c;
  c.space = a.family == "room" ? scg::Space::room : scg::Space::floor;
  c.points = a.points;
  c.poses = a.poses;
  c.range = a.range;
  c.seed = a.seed;
  return scg::collectColumns(scg::CoverageInstance(c));
}

ntu::CoverMatrix matrixOf(const scg::ColumnArrays& arrays) {
  ntu::CoverMatrix m;
  m.elements = arrays.rows;
  m.sets = arrays.columns.lines();
  m.setStart = arrays.columns.start.data();
  m.elementIndex = arrays.columns.index.data();
  return m;
}

template <typename F>
double medianSeconds(int repeats, F&& f) {
  std::vector<double> times;
  for (int r = 0; r < repeats; ++r) {
    const auto start = Clock::now();
    f();
    times.push_back(since(start));
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void header(const Args& a, const scg::ColumnArrays& arrays, double generateSeconds) {
  std::printf(
      "{\"mode\": \"%s\", \"family\": \"%s\", \"seed\": %llu, \"rows\": %d, \"columns\": %d, "
      "\"entries\": %zu, \"generateSeconds\": %.3f",
      a.mode.c_str(), a.family.c_str(), static_cast<unsigned long long>(a.seed), arrays.rows,
      arrays.columns.lines(), arrays.columns.index.size(), generateSeconds);
}

int greedy(const Args& a) {
  const auto startGenerate = Clock::now();
  const scg::ColumnArrays arrays = instanceOf(a);
  const double generateSeconds = since(startGenerate);
  const ntu::CoverMatrix matrix = matrixOf(arrays);
  std::map<int, std::set<int>> map;
  for (int j = 0; j < matrix.sets; ++j) {
    if (matrix.setStart[j] == matrix.setStart[j + 1]) continue;
    map[j].insert(matrix.elementIndex + matrix.setStart[j],
                  matrix.elementIndex + matrix.setStart[j + 1]);
  }
  std::vector<int> mapIds, compactIds;
  ntu::SolveResult mapFirst, compactFirst;
  const double mapGreedy =
      medianSeconds(a.repeats, [&] { mapIds = ntu::SetCoverSolver<int>::solve(map, ntu::GREEDY); });
  const double compactGreedy =
      medianSeconds(a.repeats, [&] { compactIds = ntu::greedyCover(matrix); });
  // solveWithin ends as soon as it holds a cover as good as GREEDY's: its first real cover.
  ntu::SolveLimits first;
  first.targetCost = static_cast<double>(compactIds.size());
  first.seconds = 600;
  const double mapWithin = medianSeconds(
      a.repeats, [&] { mapFirst = ntu::SetCoverSolver<int>::solveWithin(map, first); });
  const double compactWithin =
      medianSeconds(a.repeats, [&] { compactFirst = ntu::solveWithin(matrix, first); });
  header(a, arrays, generateSeconds);
  std::printf(
      ", \"repeats\": %d, \"mapGreedySeconds\": %.4f, \"compactGreedySeconds\": %.4f, "
      "\"greedyRatio\": %.2f, \"sameGreedyIds\": %s, \"greedySize\": %zu, "
      "\"mapWithinFirstSeconds\": %.4f, \"compactWithinFirstSeconds\": %.4f, "
      "\"withinRatio\": %.2f, \"mapWithinCost\": %.0f, \"compactWithinCost\": %.0f}\n",
      a.repeats, mapGreedy, compactGreedy, mapGreedy / compactGreedy,
      mapIds == compactIds ? "true" : "false", compactIds.size(), mapWithin, compactWithin,
      mapWithin / compactWithin, mapFirst.cost, compactFirst.cost);
  return mapIds == compactIds ? 0 : 1;
}

int within(const Args& a) {
  const auto startGenerate = Clock::now();
  scg::ColumnArrays arrays = instanceOf(a);
  const double generateSeconds = since(startGenerate);
  const double peakBefore = peakMegabytes();
  const ntu::CoverMatrix matrix = matrixOf(arrays);
  const double arrayMegabytes =
      (arrays.columns.index.size() * sizeof(int) + arrays.columns.start.size() * 8) / 1048576.0;
  double firstBoundSeconds = -1, firstBound = 0;
  ntu::SolveLimits limits;
  limits.seconds = a.seconds;
  limits.onProgress = [&](const ntu::SolveProgress& p) {
    if (firstBoundSeconds < 0 && p.lowerBound > 0) {
      firstBoundSeconds = p.seconds;
      firstBound = p.lowerBound;
    }
  };
  const auto start = Clock::now();
  const ntu::SolveResult r = ntu::solveWithin(matrix, limits);
  const double wall = since(start);
  header(a, arrays, generateSeconds);
  std::printf(
      ", \"limitSeconds\": %.1f, \"cost\": %.0f, \"lowerBound\": %.3f, \"gapPercent\": %.3f, "
      "\"firstBoundSeconds\": %.3f, \"firstBound\": %.3f, \"wallSeconds\": %.3f, "
      "\"peakMegabytes\": %.1f, \"peakBeforeSolveMegabytes\": %.1f, "
      "\"arrayMegabytes\": %.1f, \"optimal\": %s}\n",
      a.seconds, r.cost, r.lowerBound, r.cost > 0 ? 100 * (r.cost - r.lowerBound) / r.cost : 0,
      firstBoundSeconds, firstBound, wall, peakMegabytes(), peakBefore, arrayMegabytes,
      r.optimal ? "true" : "false");
  return 0;
}

int writeLp(const Args& a) {
  const scg::ColumnArrays arrays = instanceOf(a);
  // The library's LP writer, unicost: columns x1..xn, rows e1..em.
  nimbrel_tavik_util::CoverInstance inst;
  inst.elements = arrays.rows;
  inst.setStart = arrays.columns.start;
  inst.elementIndex = arrays.columns.index;
  inst.costs.assign(static_cast<std::size_t>(arrays.columns.lines()), 1.0);
  for (int j = 0; j < arrays.columns.lines(); ++j) inst.setIds.push_back(j + 1);
  for (int i = 0; i < arrays.rows; ++i) inst.elementLabels.push_back(i + 1);
  nimbrel_tavik_util::writeInstance(a.lp, inst, nimbrel_tavik_util::InstanceFormat::lp);
  header(a, arrays, 0);
  std::printf(", \"lp\": \"%s\"}\n", a.lp.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Args a = parse(argc, argv);
    if (a.mode == "greedy") return greedy(a);
    if (a.mode == "within") return within(a);
    if (a.mode == "lp") return writeLp(a);
    throw std::invalid_argument("unknown mode " + a.mode);
  } catch (const std::exception& e) {
    std::cerr << "compact_vs_map: " << e.what() << '\n';
    return 2;
  }
}
