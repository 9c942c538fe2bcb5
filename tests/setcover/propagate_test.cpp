// Exact solver: select/undo bookkeeping, forced selections, the search's pruning and branching
// on small hand-built states, and agreement with the reference search on random instances.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "setcover/corpus_reader.hpp"
#include "setcover/element_types.hpp"
#include "setcover/prop_ctx.hpp"
#include "setcover/random_instance.hpp"
#include "setcover/reference_solver.hpp"

namespace {

using nimbrel_tavik_util::SetCoverSolver;
using Ids = std::vector<int>;
using Solver = SetCoverSolver<int>;
using Ctx = Solver::PropCtx;

using ntu_test::makeCtx;

// Whole-state comparison, so that "restored" means every field.
template <typename C>
void expectSameState(const C& a, const C& b) {
  ASSERT_EQ(a.elems.size(), b.elems.size());
  for (std::size_t e = 0; e < a.elems.size(); ++e) {
    EXPECT_EQ(a.elems[e].covered, b.elems[e].covered) << "element " << e;
    EXPECT_EQ(a.elems[e].setIdx, b.elems[e].setIdx) << "element " << e;
  }
  ASSERT_EQ(a.sets.size(), b.sets.size());
  for (std::size_t s = 0; s < a.sets.size(); ++s) {
    EXPECT_EQ(a.sets[s].selected, b.sets[s].selected) << "set " << s;
    EXPECT_EQ(a.sets[s].elemIdx, b.sets[s].elemIdx) << "set " << s;
  }
  EXPECT_EQ(a.order, b.order);
  EXPECT_EQ(a.uncovered, b.uncovered);
  EXPECT_EQ(a.numSelected, b.numSelected);
  EXPECT_EQ(a.selection, b.selection);
}

// S0 = {0,1}, S1 = {1,2}, S2 = {0,1,2}
TEST(PropagateStepTest, SelectCoversOnlyNewElementsAndUndoRestores) {
  Ctx ctx = makeCtx({{0, 1}, {1, 2}, {0, 1, 2}}, 3);
  const Ctx fresh = ctx;

  const Solver::UndoRec r0 = Solver::_doSelect(ctx, 0);
  EXPECT_EQ(r0.setIdx, 0);
  EXPECT_EQ(r0.newlyCovered, (Ids{0, 1}));
  const Solver::UndoRec r1 = Solver::_doSelect(ctx, 1);
  EXPECT_EQ(r1.newlyCovered, (Ids{2}));  // 1 was covered by S0 already
  EXPECT_EQ(ctx.uncovered, 0);
  EXPECT_EQ(ctx.numSelected, 2);
  EXPECT_EQ(ctx.selection, (Ids{0, 1}));

  // S2 adds nothing: only its flag and the selection stack change, and only they go back.
  const Solver::UndoRec r2 = Solver::_doSelect(ctx, 2);
  EXPECT_TRUE(r2.newlyCovered.empty());
  EXPECT_EQ(ctx.uncovered, 0);
  EXPECT_TRUE(ctx.sets[2].selected);
  Solver::_undoSelect(ctx, r2);
  EXPECT_FALSE(ctx.sets[2].selected);
  EXPECT_EQ(ctx.selection, (Ids{0, 1}));
  EXPECT_EQ(ctx.uncovered, 0);

  Solver::_undoSelect(ctx, r1);
  EXPECT_FALSE(ctx.elems[2].covered);
  EXPECT_TRUE(ctx.elems[1].covered);  // still S0's
  EXPECT_EQ(ctx.uncovered, 1);
  Solver::_undoPropagate(ctx, {r0});
  expectSameState(ctx, fresh);
}

// S0 = {0,1}, S1 = {1,2}, S2 = {2,3}, S3 = {3,4}, S4 = {4}, S5 = {}
TEST(PropagateStepTest, ForcedSelectionsAreExactlyTheSoleHolders) {
  // Element 0 lies only in S0, every other element in two sets: only S0 is forced.
  Ctx ctx = makeCtx({{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4}, {}}, 5);
  const Ctx fresh = ctx;
  bool infeasible = true;
  const auto recs = Solver::_propagateDeg1(ctx, infeasible);
  EXPECT_FALSE(infeasible);
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].setIdx, 0);
  EXPECT_EQ(ctx.uncovered, 3);
  Solver::_undoPropagate(ctx, recs);
  expectSameState(ctx, fresh);

  // Every element in exactly one set: every non-empty set is forced, in the order in which
  // `order` meets its elements (element 0 of S1 comes before element 2 of S0).
  Ctx single = makeCtx({{2}, {0, 1}, {}, {3}}, 4);
  const auto all = Solver::_propagateDeg1(single, infeasible);
  EXPECT_FALSE(infeasible);
  EXPECT_EQ(single.selection, (Ids{1, 0, 3}));
  EXPECT_EQ(all.size(), 3u);
  EXPECT_EQ(single.uncovered, 0);
}

TEST(PropagateStepTest, DeadEndsKeepEarlierForcedSelections) {
  // Element 1 lies in no set. With `order` put by hand as [0, 1], S0 is forced first and
  // stays selected in the returned list when element 1 turns out to be hopeless.
  Ctx ctx = makeCtx({{0}}, 2);
  ctx.order = {0, 1};
  bool infeasible = false;
  const auto recs = Solver::_propagateDeg1(ctx, infeasible);
  EXPECT_TRUE(infeasible);
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_TRUE(ctx.sets[0].selected);
  Solver::_undoPropagate(ctx, recs);
  EXPECT_EQ(ctx.numSelected, 0);

  // An uncovered element all of whose sets are selected (a state the search never makes).
  Ctx odd = makeCtx({{0}, {0}}, 1);
  odd.sets[0].selected = odd.sets[1].selected = true;
  EXPECT_TRUE(Solver::_propagateDeg1(odd, infeasible).empty());
  EXPECT_TRUE(infeasible);
}

// The counting bound: S0 = {0} is selected, elements 1..5 are uncovered and every other set
// holds two of them: S1 = {1,2}, S2 = {3,4}, S3 = {1,5}, S4 = {2,3}, S5 = {4,5}.
// Bound = 1 + ceil(5 / 2) = 4.
TEST(BbSearchTest, CountingBoundIsNonStrict) {
  Ctx ctx = makeCtx({{0}, {1, 2}, {3, 4}, {1, 5}, {2, 3}, {4, 5}}, 6);
  const auto pre = Solver::_doSelect(ctx, 0);
  const Ctx before = ctx;

  int bestSize = 4;
  Ids best{42};
  Solver::_bbSearch(ctx, bestSize, best);
  EXPECT_EQ(bestSize, 4);  // abandoned at the bound
  EXPECT_EQ(best, (Ids{42}));
  expectSameState(ctx, before);

  // With 5 it branches: on element 1 over S1, then element 3 over S2, then element 5 over
  // S3, which completes a cover of 4 sets in selection order.
  bestSize = 5;
  Solver::_bbSearch(ctx, bestSize, best);
  EXPECT_EQ(bestSize, 4);
  EXPECT_EQ(best, (Ids{0, 1, 2, 3}));
  expectSameState(ctx, before);
  Solver::_undoSelect(ctx, pre);

  // Pruning at an equal bound changes no result, only the work, so the node counts of the
  // reference show it: from scratch, element 0 forces S0 and the root meets the same bound.
  ntu_test::ReferenceSearch ref({{0}, {1, 2}, {3, 4}, {1, 5}, {2, 3}, {4, 5}}, 6);
  EXPECT_EQ(ref.run({7, 7, 7, 7}), (Ids{7, 7, 7, 7}));
  EXPECT_EQ(ref.nodes(), 1);
  EXPECT_EQ(ref.run({7, 7, 7, 7, 7}), (Ids{0, 1, 2, 3}));
  EXPECT_GT(ref.nodes(), 1);
}

// 2 = {2}, 3 = {3,4}, 4 = {1}, 7 = {1,4}, 9 = {2,3}: every element in two sets. Greedy gives
// [2,3,4]. Root (bound 2 < 3) branches on element 1 over 4 and 7; under 4 the bound is
// 1 + 2 = 3 and it stops; under 7 it branches on element 2 over 2 (stopped by the
// one-more-set test) and 9, which completes {7, 9}. Five nodes.
TEST(BbSearchTest, BranchingImprovesOnGreedy) {
  const std::map<int, std::set<int>> instance{
      {2, {2}}, {3, {3, 4}}, {4, {1}}, {7, {1, 4}}, {9, {2, 3}}};
  EXPECT_EQ(Solver::_solveByGreedy(instance, false), (Ids{2, 3, 4}));
  EXPECT_EQ(Solver::_solveByPropagate(instance), (Ids{7, 9}));
  long nodes = 0;
  EXPECT_EQ(ntu_test::referencePropagate(instance, &nodes), (Ids{7, 9}));
  EXPECT_EQ(nodes, 5);
}

TEST(BbSearchTest, MinimalGreedyCoverIsKeptAndRootIsPruned) {
  // 1 = {a,b}, 2 = {b,c}, 3 = {c,d}, 4 = {d,a}: greedy [1,3]; root bound 0 + 4/2 = 2 >= 2.
  const std::map<int, std::set<std::string>> square{
      {1, {"a", "b"}}, {2, {"b", "c"}}, {3, {"c", "d"}}, {4, {"a", "d"}}};
  EXPECT_EQ(SetCoverSolver<std::string>::_solveByPropagate(square), (Ids{1, 3}));
  long nodes = 0;
  EXPECT_EQ(ntu_test::referencePropagate(square, &nodes), (Ids{1, 3}));
  EXPECT_EQ(nodes, 1);

  // Every element in exactly one set: solved at the root by forced selections alone.
  const std::map<int, std::set<int>> disjoint{{0, {5}}, {3, {6, 7}}, {4, {}}, {8, {1}}};
  EXPECT_EQ(Solver::_solveByPropagate(disjoint), (Ids{0, 3, 8}));
  EXPECT_EQ(ntu_test::referencePropagate(disjoint, &nodes), (Ids{0, 3, 8}));
  EXPECT_EQ(nodes, 1);
}

TEST(BbSearchTest, FirstMinimumCoverInSearchOrderWins) {
  // 1 = {1,2,3,4}, 2 = {1,2,5}, 3 = {3,4,6}: greedy [1,2,3]; 6 forces 3, and 2 completes.
  const std::map<int, std::set<int>> instance{{1, {1, 2, 3, 4}}, {2, {1, 2, 5}}, {3, {3, 4, 6}}};
  EXPECT_EQ(Solver::_solveByGreedy(instance, false), (Ids{1, 2, 3}));
  EXPECT_EQ(Solver::_solveByPropagate(instance), (Ids{2, 3}));

  // With 4 = {1,2,5} added, {3,4} is as small as {2,3}, which the search completes first;
  // an equal cover never replaces the incumbent.
  std::map<int, std::set<int>> twins = instance;
  twins[4] = {1, 2, 5};
  EXPECT_EQ(Solver::_solveByPropagate(twins), (Ids{2, 3}));
  EXPECT_EQ(ntu_test::referencePropagate(twins), (Ids{2, 3}));
}

TEST(BbSearchTest, EmptySetsAndEmptyUniverse) {
  EXPECT_TRUE(Solver::_solveByPropagate({}).empty());
  EXPECT_TRUE(Solver::_solveByPropagate({{1, {}}, {2, {}}}).empty());
  // The empty sets 5 and 6 get records but never enter the result.
  const std::map<int, std::set<int>> gaps{{1, {1}}, {5, {}}, {6, {}}, {9, {2}}};
  EXPECT_EQ(Solver::_solveByPropagate(gaps), (Ids{1, 9}));
}

// Index form of an instance for hand-driving _bbSearch: sets by ascending id, elements by
// ascending value.
template <typename T>
typename SetCoverSolver<T>::PropCtx ctxOf(const std::map<int, std::set<T>>& instance,
                                          std::vector<int>* ids) {
  std::map<T, int> index;
  for (const auto& entry : instance) {
    for (const T& e : entry.second) index.emplace(e, 0);
  }
  int next = 0;
  for (auto& entry : index) entry.second = next++;
  std::vector<std::vector<int>> sets;
  for (const auto& [id, elems] : instance) {
    ids->push_back(id);
    sets.emplace_back();
    for (const T& e : elems) sets.back().push_back(index.at(e));
  }
  return makeCtx<T>(sets, next);
}

template <typename T>
class PropagateRandomTest : public ::testing::Test {};
TYPED_TEST_SUITE(PropagateRandomTest, ntu_test::ElementTypes, ntu_test::ElementTypeName);

// Two shapes in turn: dense (elements in several sets, so the search branches; about half of
// these have a greedy cover that is not minimal) and wide (mostly more than 16 elements, so
// ties in `order` are common and their order decides the answer).
TYPED_TEST(PropagateRandomTest, MatchesReferenceSearchAndRestoresState) {
  std::mt19937 rng(4242);
  ntu_test::InstanceShape dense;
  dense.minSets = 10;
  dense.maxSets = 18;
  dense.minElems = 8;
  dense.maxElems = 20;
  ntu_test::InstanceShape wide = dense;
  wide.minSets = 12;
  wide.maxSets = 20;
  wide.minElems = 18;
  wide.maxElems = 28;
  for (int round = 0; round < 600; ++round) {
    const auto instance = ntu_test::encodeInstance<TypeParam>(
        ntu_test::randomAbstractInstance(rng, round % 2 == 0 ? dense : wide));
    const Ids exact = SetCoverSolver<TypeParam>::_solveByPropagate(instance);
    ASSERT_EQ(exact, ntu_test::referencePropagate(instance)) << "round " << round;

    // The search alone, from the greedy incumbent, leaves the state exactly as built.
    Ids ids;
    auto ctx = ctxOf(instance, &ids);
    if (ctx.elems.empty()) continue;
    const auto fresh = ctx;
    const Ids greedy = SetCoverSolver<TypeParam>::_solveByGreedy(instance, false);
    Ids best;
    for (int id : greedy) {
      best.push_back(static_cast<int>(std::lower_bound(ids.begin(), ids.end(), id) - ids.begin()));
    }
    int bestSize = static_cast<int>(best.size());
    SetCoverSolver<TypeParam>::_bbSearch(ctx, bestSize, best);
    expectSameState(ctx, fresh);
    EXPECT_EQ(bestSize, static_cast<int>(exact.size())) << "round " << round;
  }
}

// Like the stress instances: every element's sets are consecutive ids, in 1..3 curves.
ntu_test::AbstractInstance intervalInstance(std::mt19937& rng) {
  const int sets = std::uniform_int_distribution<int>(6, 60)(rng);
  const int elems = std::uniform_int_distribution<int>(10, 150)(rng);
  const int curves = std::uniform_int_distribution<int>(1, 3)(rng);
  return ntu_test::intervalInstance(rng, sets, elems, curves, 5);
}

// Larger than the random instances above, in three shapes: dense random ones (the search
// branches thousands of times), interval ones (solved by the consecutive-run bounds), and
// disjoint unions (several parts at once).
TEST(PropagateLargerTest, MatchesReferenceSearch) {
  std::mt19937 rng(77);
  ntu_test::InstanceShape dense;
  dense.minSets = 45;
  dense.maxSets = 60;
  dense.minElems = 60;
  dense.maxElems = 100;
  dense.maxSetSize = 8;
  ntu_test::InstanceShape piece;
  piece.minSets = 10;
  piece.maxSets = 16;
  piece.minElems = 10;
  piece.maxElems = 18;
  piece.maxSetSize = 5;
  long branched = 0;
  for (int round = 0; round < 90; ++round) {
    const ntu_test::AbstractInstance instance =
        round % 3 == 0   ? ntu_test::randomAbstractInstance(rng, dense)
        : round % 3 == 1 ? intervalInstance(rng)
                         : ntu_test::disjointUnion(rng, piece);
    long nodes = 0;
    ASSERT_EQ(Solver::_solveByPropagate(instance), ntu_test::referencePropagate(instance, &nodes))
        << "round " << round;
    branched += nodes > 1 ? 1 : 0;
  }
  EXPECT_GT(branched, 45);  // most of them need a real search, not just the root bound
}

// The search from states other than the fresh one: a random branching order and a few sets
// selected beforehand, from a made-up incumbent. The best selection (set indices in order of
// selection) must be the reference's, and the state must come back exactly.
TEST(PropagateLargerTest, SearchFromSelectedStateWithOwnOrderMatchesReference) {
  std::mt19937 rng(99);
  ntu_test::InstanceShape shape;
  shape.minSets = 12;
  shape.maxSets = 26;
  shape.minElems = 12;
  shape.maxElems = 36;
  shape.maxSetSize = 5;
  int improved = 0;
  for (int round = 0; round < 120; ++round) {
    const ntu_test::DenseInstance d =
        ntu_test::denseOf(ntu_test::randomAbstractInstance(rng, shape));
    if (d.numElems == 0) continue;
    Ctx ctx = makeCtx(d.sets, d.numElems);
    std::shuffle(ctx.order.begin(), ctx.order.end(), rng);
    std::vector<int> preselected;
    const int picks = std::uniform_int_distribution<int>(0, 2)(rng);
    for (int k = 0; k < picks; ++k) {
      const int s = std::uniform_int_distribution<int>(0, static_cast<int>(d.sets.size()) - 1)(rng);
      if (ctx.sets[s].selected) continue;
      Solver::_doSelect(ctx, s);  // records not kept: the state is the test's starting point
      preselected.push_back(s);
    }
    const Ctx before = ctx;
    const int incumbentSize = std::uniform_int_distribution<int>(2, 12)(rng);
    Ids best(incumbentSize, -7);
    int bestSize = incumbentSize;
    Solver::_bbSearch(ctx, bestSize, best);
    expectSameState(ctx, before);

    ntu_test::ReferenceSearch reference(d.sets, d.numElems, before.order);
    const Ids expected = reference.run(Ids(incumbentSize, -7), preselected);
    ASSERT_EQ(best, expected) << "round " << round;
    EXPECT_EQ(bestSize, static_cast<int>(expected.size())) << "round " << round;
    improved += bestSize < incumbentSize ? 1 : 0;
  }
  EXPECT_GT(improved, 30);
}

// A state the search itself never makes: S0 is selected but its elements are not covered.
// _bbSearch then takes the documented steps one by one. S0 = {0,1}, S1 = {0,2}, S2 = {1,2},
// S3 = {1,3}, S4 = {2,3}; order by degree: 0 and 3 (two sets), then 1 and 2.
// Element 0 forces S1 (its only unselected set), covering 0 and 2; the counting bound is
// 2 + ceil(2 / 2) = 3 < 10; branching on element 3: S3 completes [S0, S1, S3]; under S4 the
// one-more-set test stops (3 + 1 >= 3).
TEST(PropagateLargerTest, StateOutsideTheSearchShapeTakesTheDocumentedSteps) {
  Ctx ctx = makeCtx({{0, 1}, {0, 2}, {1, 2}, {1, 3}, {2, 3}}, 4);
  ctx.sets[0].selected = true;
  ctx.numSelected = 1;
  ctx.selection = {0};
  const Ctx before = ctx;
  int bestSize = 10;
  Ids best{99};
  Solver::_bbSearch(ctx, bestSize, best);
  EXPECT_EQ(bestSize, 3);
  EXPECT_EQ(best, (Ids{0, 1, 3}));
  expectSameState(ctx, before);
}

// The Steiner triple files: stn9 and stn15 against the reference search, stn27 (whose
// reference search takes half a minute) against its known optimum and the ILP.
TEST(PropagateCorpusTest, SteinerTripleFiles) {
  const std::string dir = std::string(NTU_CORPORA_DIR) + "/setcover/stn";
  if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no corpora at " << dir;
  for (const auto& [n, optimum] : std::vector<std::pair<int, std::size_t>>{{9, 5}, {15, 9}}) {
    const auto instance = ntu_corpus::readSteiner(dir + "/data." + std::to_string(n));
    const Ids exact = Solver::_solveByPropagate(instance);
    EXPECT_EQ(exact, ntu_test::referencePropagate(instance)) << "stn" << n;
    EXPECT_EQ(exact.size(), optimum) << "stn" << n;
  }
  const auto stn27 = ntu_corpus::readSteiner(dir + "/data.27");
  const Ids exact = Solver::_solveByPropagate(stn27);
  EXPECT_EQ(exact.size(), 18u);
  EXPECT_EQ(Solver::_solveByILP(stn27).size(), 18u);
  std::set<int> covered;
  for (int id : exact) covered.insert(stn27.at(id).begin(), stn27.at(id).end());
  EXPECT_EQ(covered.size(), 117u);  // every triple
  EXPECT_LT(exact.size(), Solver::_solveByGreedy(stn27, false).size());
}

}  // namespace
