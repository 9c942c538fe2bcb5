// Runs the row-weighting local search alone on corpus files, one file after the other, and
// prints one tab-separated line per file:
//
//   file  rows  cols  best_known  start  found  gap_percent  seconds_to_best  moves  moves_per_s
//
// `start` is the greedy cover the search begins from, `found` the best cover after the time
// limit, `seconds_to_best` when `found` was first reached. Times are CPU seconds of the process
// (reading the file excluded). A file stops early once it reaches
// its best known value. scripts/bench/run-local-search-bench.sh turns the lines into
// docs/performance-local-search.md.
//
//   local_search_corpus [--seconds S] [--moves N] [--weighted] [--seed N] PATH=BEST_KNOWN...
//
// --moves caps the moves per file as well (a limit independent of the machine's load).
// PATH is an OR-Library file (orlib/scp*.txt) or a Steiner triple file (stn/data.N). Without
// --weighted every cost is 1.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <limits>
#include <string>
#include <vector>

#include "setcover/corpus_reader.hpp"
#include "setcover/cover_model.hpp"
#include "setcover/within/local_search.hpp"

namespace {

using nimbrel_tavik_util::setcover_detail::Budget;
using nimbrel_tavik_util::setcover_detail::CostRule;
using nimbrel_tavik_util::setcover_detail::CoverModel;
using nimbrel_tavik_util::setcover_detail::LocalSearch;
using nimbrel_tavik_util::setcover_detail::makeCoverModel;

CoverModel loadModel(const std::string& path, bool weighted) {
  const bool steiner = path.find("data.") != std::string::npos;
  const ntu_corpus::Instance inst =
      steiner ? ntu_corpus::readSteiner(path) : ntu_corpus::readOrLibrary(path);
  std::vector<int> colStart{0};
  std::vector<int> colRows;
  int numRows = 0;
  for (const auto& entry : inst) {
    for (const int r : entry.second) {
      colRows.push_back(r);
      if (r + 1 > numRows) numRows = r + 1;
    }
    colStart.push_back(static_cast<int>(colRows.size()));
  }
  std::vector<double> costs;
  if (weighted && !steiner) costs = ntu_corpus::readOrLibraryCosts(path);
  return makeCoverModel(numRows, std::move(colStart), std::move(colRows), std::move(costs));
}

int usage() {
  std::fprintf(stderr,
               "usage: local_search_corpus [--seconds S] [--moves N] [--weighted] [--seed N] "
               "PATH=BEST_KNOWN...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 1.0;
  long long moves = -1;
  bool weighted = false;
  std::uint64_t seed = 1;
  std::vector<std::string> files;
  for (int a = 1; a < argc; ++a) {
    const std::string arg = argv[a];
    if (arg == "--seconds" && a + 1 < argc) {
      seconds = std::atof(argv[++a]);
    } else if (arg == "--moves" && a + 1 < argc) {
      moves = std::atoll(argv[++a]);
    } else if (arg == "--weighted") {
      weighted = true;
    } else if (arg == "--seed" && a + 1 < argc) {
      seed = std::strtoull(argv[++a], nullptr, 10);
    } else if (arg.rfind("--", 0) == 0) {
      return usage();
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty()) return usage();
  for (const std::string& entry : files) {
    const std::size_t eq = entry.rfind('=');
    const std::string path = entry.substr(0, eq);
    const double bestKnown = eq == std::string::npos ? -std::numeric_limits<double>::infinity()
                                                     : std::atof(entry.c_str() + eq + 1);
    try {
      const CoverModel model = loadModel(path, weighted);
      // Limits and times are CPU seconds of this process, so that the figures mean the same on
      // a shared machine as on a quiet one; the budget only carries the run() calls.
      const std::clock_t begin = std::clock();
      const auto cpuSeconds = [begin] {
        return static_cast<double>(std::clock() - begin) / CLOCKS_PER_SEC;
      };
      Budget budget(1e9, -1, nullptr);
      LocalSearch search(model, CostRule::forModel(model), seed);
      search.run(0, budget, bestKnown);
      const double start = search.bestCost();
      double found = start;
      double toBest = cpuSeconds();
      // Short slices, so that the time of the last improvement is known to well under 10 ms.
      constexpr long long kSlice = 256;
      while (cpuSeconds() < seconds && found > bestKnown && (moves < 0 || search.steps() < moves)) {
        const long long slice = moves < 0 ? kSlice : std::min(kSlice, moves - search.steps());
        if (search.run(slice, budget, bestKnown)) {
          found = search.bestCost();
          toBest = cpuSeconds();
        }
      }
      const double elapsed = std::max(cpuSeconds(), 1e-6);
      const double gap = bestKnown > 0 ? 100.0 * (found - bestKnown) / bestKnown : 0.0;
      std::printf("%s\t%d\t%d\t%.10g\t%.10g\t%.10g\t%.3f\t%.3f\t%lld\t%.0f\n", path.c_str(),
                  model.numRows, model.numCols, bestKnown, start, found, gap, toBest,
                  search.steps(), static_cast<double>(search.steps()) / elapsed);
      std::fflush(stdout);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "local_search_corpus: %s\n", e.what());
      return 1;
    }
  }
  return 0;
}
