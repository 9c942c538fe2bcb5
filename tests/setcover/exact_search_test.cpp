// The search behind _bbSearch (an internal part, linked from the library's objects) with each
// of its optional means switched off in turn: without exact part sizes it backtracks through
// the tree and prunes with the cheap bounds and the excluded sets alone; without the target
// size it improves the incumbent step by step. Every combination must give the reference's
// best selection, in order of selection, with the search's state consistent after every step;
// and the work on a few instances is pinned, so that a lost cut shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "setcover/corpus_reader.hpp"
#include "setcover/prop_ctx.hpp"
#include "setcover/propagate/exact_search.hpp"
#include "setcover/random_instance.hpp"
#include "setcover/reference_solver.hpp"

namespace {

using nimbrel_tavik_util::setcover_detail::flattenState;
using nimbrel_tavik_util::setcover_detail::searchFirstMinimum;
using nimbrel_tavik_util::setcover_detail::SearchOptions;
using nimbrel_tavik_util::setcover_detail::SearchRoot;
using nimbrel_tavik_util::setcover_detail::SearchStats;
using Solver = nimbrel_tavik_util::SetCoverSolver<int>;
using Ids = std::vector<int>;

struct Case {
  std::vector<std::vector<int>> sets;  // element indices, ascending
  int numElems = 0;
  std::vector<int> order;
  std::vector<int> preselected;
};

// The working state of `c` with its preselected sets taken and its forced selections applied,
// as _bbSearch hands it over; false when that already ends the search (dead end or no
// uncovered element).
bool rootOf(const Case& c, Solver::PropCtx& ctx, SearchRoot& root) {
  ctx = ntu_test::makeCtx(c.sets, c.numElems);
  ctx.order = c.order;
  for (int s : c.preselected) Solver::_doSelect(ctx, s);
  bool infeasible = false;
  Solver::_propagateDeg1(ctx, infeasible);
  if (infeasible || ctx.uncovered == 0) return false;
  root = flattenState(ctx);
  return true;
}

Case randomCase(std::mt19937& rng, int round) {
  const auto uniform = [&rng](int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(rng);
  };
  ntu_test::AbstractInstance abstract;
  if (round % 3 == 0) {
    ntu_test::InstanceShape shape;
    shape.minSets = 10;
    shape.maxSets = 24;
    shape.minElems = 10;
    shape.maxElems = 30;
    shape.maxSetSize = 5;
    abstract = ntu_test::randomAbstractInstance(rng, shape);
  } else if (round % 3 == 1) {  // two or three random pieces that share nothing
    ntu_test::InstanceShape shape;
    shape.minSets = 5;
    shape.maxSets = 10;
    shape.minElems = 5;
    shape.maxElems = 12;
    shape.maxSetSize = 4;
    shape.emptyShare = 0;
    abstract = ntu_test::disjointUnion(rng, shape);
  } else {  // runs of consecutive sets, in up to three independent groups
    const int sets = uniform(6, 30);
    const int elems = uniform(8, 60);
    const int groups = uniform(1, 3);
    abstract = ntu_test::intervalInstance(rng, sets, elems, groups, 4);
  }
  const ntu_test::DenseInstance dense = ntu_test::denseOf(abstract);
  Case c;
  c.sets = dense.sets;
  c.numElems = dense.numElems;
  c.order.resize(c.numElems);
  std::iota(c.order.begin(), c.order.end(), 0);
  if (round % 5 == 0) {
    std::shuffle(c.order.begin(), c.order.end(), rng);
  } else {
    std::stable_sort(c.order.begin(), c.order.end(), [&](int a, int b) {
      return std::count_if(
                 c.sets.begin(), c.sets.end(),
                 [a](const auto& s) { return std::binary_search(s.begin(), s.end(), a); }) <
             std::count_if(
                 c.sets.begin(), c.sets.end(),
                 [b](const auto& s) { return std::binary_search(s.begin(), s.end(), b); });
    });
  }
  if (round % 4 == 3 && !c.sets.empty()) {
    c.preselected.push_back(uniform(0, static_cast<int>(c.sets.size()) - 1));
  }
  return c;
}

// Also recomputes the search's whole state after every node's entry and exit (in builds with
// the checks compiled in).
TEST(ExactSearchTest, EveryOptionCombinationGivesTheReferenceSelection) {
  std::mt19937 rng(2718);
  int improved = 0;
  SearchStats stats;
  for (int round = 0; round < 300; ++round) {
    const Case c = randomCase(rng, round);
    Solver::PropCtx ctx;
    SearchRoot root;
    if (!rootOf(c, ctx, root)) continue;
    // A made-up incumbent, a little too large, so that improvements happen step by step.
    const int least = ctx.numSelected + 2;
    const int incumbent = std::uniform_int_distribution<int>(least, std::max(least, 16))(rng);
    ntu_test::ReferenceSearch reference(c.sets, c.numElems, c.order);
    const Ids expected = reference.run(Ids(incumbent, -3), c.preselected);
    improved += static_cast<int>(expected.size()) < incumbent ? 1 : 0;
    for (const bool exactParts : {true, false}) {
      for (const bool targetSize : {true, false}) {
        SearchOptions options;
        options.exactParts = exactParts;
        options.targetSize = targetSize;
        options.checkEachStep = true;
        int bestSize = incumbent;
        Ids path;
        Ids best(incumbent, -3);
        try {
          if (searchFirstMinimum(root, bestSize, path, &stats, options)) {
            best = ctx.selection;
            best.insert(best.end(), path.begin(), path.end());
          }
        } catch (const std::logic_error& e) {
          FAIL() << "round " << round << " exact " << exactParts << " target " << targetSize << ": "
                 << e.what();
        }
        ASSERT_EQ(best, expected) << "round " << round << " exact " << exactParts << " target "
                                  << targetSize;
        ASSERT_EQ(bestSize, static_cast<int>(expected.size())) << "round " << round;
      }
    }
  }
  EXPECT_GT(improved, 120);
  if (nimbrel_tavik_util::setcover_detail::kSearchChecks) {
    EXPECT_GE(stats.checks, 2 * stats.nodes);  // one after each entry and each exit
  } else {
    EXPECT_EQ(stats.checks, 0);
  }
}

// The work of the search, pinned: a weaker bound, or a tried set no longer excluded from the
// later branches, gives the same answers but visits more nodes (of the tree, or of the exact
// part solver). The counts are deterministic; when the search changes on purpose, put the new
// counts here. Default options, and without exact part sizes, where the counting bound and the
// exclusions carry the search. The root is the state _solveByPropagate hands over.
struct Work {
  long nodes;
  long subSolves;
  long subNodes;
};

Work searchWork(const ntu_test::AbstractInstance& instance, const SearchOptions& options,
                std::size_t expectedSize) {
  const ntu_test::DenseInstance dense = ntu_test::denseOf(instance);
  Solver::PropCtx ctx = ntu_test::makeCtx(dense.sets, dense.numElems);
  Ids best;
  for (int id : Solver::_solveByGreedy(instance, false)) {
    best.push_back(static_cast<int>(std::lower_bound(dense.ids.begin(), dense.ids.end(), id) -
                                    dense.ids.begin()));
  }
  bool infeasible = false;
  Solver::_propagateDeg1(ctx, infeasible);
  int bestSize = static_cast<int>(best.size());
  Ids path;
  SearchStats stats;
  searchFirstMinimum(flattenState(ctx), bestSize, path, &stats, options);
  EXPECT_EQ(static_cast<std::size_t>(bestSize), expectedSize);
  return Work{stats.nodes, stats.subSolves, stats.subNodes};
}

void expectWork(const char* name, const Work& got, const Work& pinned) {
  EXPECT_EQ(got.nodes, pinned.nodes) << name << ": nodes";
  EXPECT_EQ(got.subSolves, pinned.subSolves) << name << ": part solves";
  EXPECT_EQ(got.subNodes, pinned.subNodes) << name << ": part search nodes";
}

SearchOptions withoutExactParts() {
  SearchOptions options;
  options.exactParts = false;
  return options;
}

TEST(ExactSearchWorkTest, RandomAndIntervalInstances) {
  // Stress-like: 400 sets in 3 runs, 4000 elements seen by 1..6 consecutive sets; the interval
  // bounds solve every part at the root, and the walk goes straight down.
  std::mt19937 rng(7);
  const auto interval = ntu_test::intervalInstance(rng, 400, 4000, 3, 6);
  expectWork("interval", searchWork(interval, {}, 331), {12, 0, 0});
  // Uniform: 50 sets over 100 elements at density 0.05, and 60 over 120.
  const auto uniform50 = ntu_test::uniformInstance(50, 2);
  expectWork("uniform 50/2", searchWork(uniform50, {}, 28), {12, 2, 26});
  expectWork("uniform 50/2, no exact parts", searchWork(uniform50, withoutExactParts(), 28),
             {31, 0, 0});
  const auto uniform60 = ntu_test::uniformInstance(60, 2);
  expectWork("uniform 60/2", searchWork(uniform60, {}, 26), {24, 5, 111});
  expectWork("uniform 60/2, no exact parts", searchWork(uniform60, withoutExactParts(), 26),
             {240, 0, 0});
}

// stn27 without exact parts is left out: 15959 nodes, and without the exclusions 21 million.
TEST(ExactSearchWorkTest, SteinerTripleFiles) {
  const std::string dir = std::string(NTU_CORPORA_DIR) + "/setcover/stn";
  if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no corpora at " << dir;
  const auto stn15 = ntu_corpus::readSteiner(dir + "/data.15");
  expectWork("stn15", searchWork(stn15, {}, 9), {0, 1, 307});
  expectWork("stn15, no exact parts", searchWork(stn15, withoutExactParts(), 9), {311, 0, 0});
  const auto stn27 = ntu_corpus::readSteiner(dir + "/data.27");
  expectWork("stn27", searchWork(stn27, {}, 18), {21, 6, 13580});

  // solveWithin's node cap counts the tree's nodes and the part searches' together: one node
  // short of that work aborts the search, exactly that work changes nothing.
  SearchOptions capped;
  capped.maxNodes = 21 + 13580 - 1;
  EXPECT_THROW(searchWork(stn27, capped, 18), nimbrel_tavik_util::setcover_detail::SearchAborted);
  capped.maxNodes += 1;
  expectWork("stn27 capped at its work", searchWork(stn27, capped, 18), {21, 6, 13580});
}

}  // namespace
