// The search behind _bbSearch (an internal part, compiled into this test) with each of its
// optional means switched off in turn: without exact part sizes it backtracks through the
// tree and prunes with the cheap bounds and the excluded sets alone; without the target size
// it improves the incumbent step by step. Every combination must give the reference's best
// selection, in order of selection.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "setcover/exact_search.hpp"
#include "setcover/random_instance.hpp"
#include "setcover/reference_solver.hpp"

namespace {

using nimbrel_tavik_util::setcover_detail::SearchOptions;
using nimbrel_tavik_util::setcover_detail::SearchRoot;
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
  ctx.elems.assign(c.numElems, Solver::ElemRec{false, {}});
  ctx.sets.clear();
  for (int s = 0; s < static_cast<int>(c.sets.size()); ++s) {
    ctx.sets.push_back(Solver::SetRec{false, c.sets[s]});
    for (int e : c.sets[s]) ctx.elems[e].setIdx.push_back(s);
  }
  ctx.order = c.order;
  ctx.uncovered = c.numElems;
  ctx.numSelected = 0;
  ctx.selection.clear();
  for (int s : c.preselected) Solver::_doSelect(ctx, s);
  bool infeasible = false;
  Solver::_propagateDeg1(ctx, infeasible);
  if (infeasible || ctx.uncovered == 0) return false;
  root = SearchRoot{};
  root.numElems = c.numElems;
  root.numSets = static_cast<int>(c.sets.size());
  root.elemStart.push_back(0);
  for (const auto& elem : ctx.elems) {
    root.elemSets.insert(root.elemSets.end(), elem.setIdx.begin(), elem.setIdx.end());
    root.elemStart.push_back(static_cast<int>(root.elemSets.size()));
    root.covered.push_back(elem.covered ? 1 : 0);
  }
  root.setStart.push_back(0);
  for (const auto& set : ctx.sets) {
    root.setElems.insert(root.setElems.end(), set.elemIdx.begin(), set.elemIdx.end());
    root.setStart.push_back(static_cast<int>(root.setElems.size()));
    root.selected.push_back(set.selected ? 1 : 0);
  }
  root.order = ctx.order;
  root.numSelected = ctx.numSelected;
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
    const int pieces = uniform(2, 3);
    for (int k = 0; k < pieces; ++k) {
      for (const auto& [id, elems] : ntu_test::randomAbstractInstance(rng, shape)) {
        for (int e : elems) abstract[id * 3 + k].insert(e * 3 + k);
      }
    }
  } else {  // runs of consecutive sets, in up to three independent groups
    const int sets = uniform(6, 30);
    const int groups = uniform(1, 3);
    for (int d = uniform(8, 60); d > 0; --d) {
      const int g = uniform(0, groups - 1);
      const int first = g * sets / groups;
      const int length = (g + 1) * sets / groups - first;
      const int offset = uniform(0, length - 1);
      for (int t = 0; t < std::min(uniform(1, 4), length); ++t) {
        abstract[first + std::min(offset + t, length - 1)].insert(d);
      }
    }
  }
  Case c;
  std::map<int, int> index;
  for (const auto& entry : abstract) {
    for (int e : entry.second) index.emplace(e, 0);
  }
  for (auto& entry : index) entry.second = c.numElems++;
  for (const auto& entry : abstract) {
    c.sets.emplace_back();
    for (int e : entry.second) c.sets.back().push_back(index.at(e));
  }
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

TEST(ExactSearchTest, EveryOptionCombinationGivesTheReferenceSelection) {
  std::mt19937 rng(2718);
  int improved = 0;
  for (int round = 0; round < 300; ++round) {
    const Case c = randomCase(rng, round);
    Solver::PropCtx ctx;
    SearchRoot root;
    if (!rootOf(c, ctx, root)) continue;
    // A made-up incumbent, a little too large, so that improvements happen step by step.
    const int incumbent = std::uniform_int_distribution<int>(ctx.numSelected + 2, 16)(rng);
    ntu_test::ReferenceSearch reference(c.sets, c.numElems, c.order);
    const Ids expected = reference.run(Ids(incumbent, -3), c.preselected);
    improved += static_cast<int>(expected.size()) < incumbent ? 1 : 0;
    for (const bool exactParts : {true, false}) {
      for (const bool targetSize : {true, false}) {
        SearchOptions options;
        options.exactParts = exactParts;
        options.targetSize = targetSize;
        int bestSize = incumbent;
        Ids path;
        Ids best(incumbent, -3);
        if (nimbrel_tavik_util::setcover_detail::searchFirstMinimum(root, bestSize, path, nullptr,
                                                                    options)) {
          best = ctx.selection;
          best.insert(best.end(), path.begin(), path.end());
        }
        ASSERT_EQ(best, expected) << "round " << round << " exact " << exactParts << " target "
                                  << targetSize;
        ASSERT_EQ(bestSize, static_cast<int>(expected.size())) << "round " << round;
      }
    }
  }
  EXPECT_GT(improved, 120);
}

}  // namespace
