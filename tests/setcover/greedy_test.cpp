// Greedy solver: the documented tie-breaks on small drawn instances, and id-for-id agreement
// with the step-by-step reference on seeded random instances of all three element types.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "setcover/element_types.hpp"
#include "setcover/random_instance.hpp"
#include "setcover/reference_solver.hpp"

namespace {

using nimbrel_tavik_util::SetCoverSolver;
using Ids = std::vector<int>;

// Both the library and the reference must give `expected`.
template <typename T>
void expectGreedy(const std::map<int, std::set<T>>& instance, bool continuity,
                  const Ids& expected) {
  EXPECT_EQ(SetCoverSolver<T>::_solveByGreedy(instance, continuity), expected);
  EXPECT_EQ(ntu_test::referenceGreedy(instance, continuity), expected);
}

TEST(GreedyTest, EmptyUniverseGivesEmptyResult) {
  expectGreedy<int>({}, false, {});
  expectGreedy<int>({{1, {}}, {4, {}}}, true, {});
  expectGreedy<std::string>({{0, {}}}, false, {});
}

// 1 = {1,2,3,4}, 2 = {1,2,5}, 3 = {3,4,6}: 1 first (gain 4), then 2 and 3 (gain 1 each);
// no pass removes 1, although {2,3} covers everything.
TEST(GreedyTest, KeepsRedundantFirstChoice) {
  const std::map<int, std::set<int>> instance{{1, {1, 2, 3, 4}}, {2, {1, 2, 5}}, {3, {3, 4, 6}}};
  expectGreedy(instance, false, {1, 2, 3});
  expectGreedy(instance, true, {1, 2, 3});
}

// 7 = {d,e}, 10 = {a,b,c}, 11 = {d,e}: 10 first; then 7 and 11 tie on gain 2.
TEST(GreedyTest, ContinuityPrefersNearestToPreviousId) {
  const std::map<int, std::set<std::string>> instance{
      {7, {"d", "e"}}, {10, {"a", "b", "c"}}, {11, {"d", "e"}}};
  expectGreedy(instance, false, {7, 10});
  expectGreedy(instance, true, {10, 11});
}

// 8 = {d}, 10 = {a,b}, 12 = {d}: 8 and 12 are both 2 away from 10; the smaller id wins.
TEST(GreedyTest, ContinuityEqualDistanceTakesSmallerId) {
  const std::map<int, std::set<std::string>> instance{{8, {"d"}}, {10, {"a", "b"}}, {12, {"d"}}};
  expectGreedy(instance, true, {8, 10});
  // 3 = {d}, 5 = {a,b}, 6 = {x}, 7 = {d}: 5; then 3, 6, 7 tie on gain 1 and 6 is nearest;
  // then 3 and 7 are 3 and 1 away from 6, so 7.
  const std::map<int, std::set<std::string>> wide{
      {3, {"d"}}, {5, {"a", "b"}}, {6, {"x"}}, {7, {"d"}}};
  expectGreedy(wide, true, {5, 6, 7});
  expectGreedy(wide, false, {3, 5, 6});
}

// Only the id taken in the step just before counts, not all ids taken so far.
TEST(GreedyTest, ContinuityMeasuresFromLastChoiceOnly) {
  // 1 = {a,b,c}, 3 = {f}, 10 = {d,e}, 12 = {f}: 1, then 10 (gain 2); then 3 and 12 tie. 3 is
  // as near to 1 as 12 is to 10, but only 10 counts: 7 against 2.
  const std::map<int, std::set<std::string>> instance{
      {1, {"a", "b", "c"}}, {3, {"f"}}, {10, {"d", "e"}}, {12, {"f"}}};
  expectGreedy(instance, true, {1, 10, 12});
  expectGreedy(instance, false, {1, 3, 10});
}

TEST(GreedyTest, CoveredCandidatesAreNeverTaken) {
  // 5 = {a,b,c}, 6 = {a}, 9 = {d}: 6 is nearest to 5 but has nothing left to cover.
  const std::map<int, std::set<std::string>> instance{{5, {"a", "b", "c"}}, {6, {"a"}}, {9, {"d"}}};
  expectGreedy(instance, true, {5, 9});
  // Identical sets: only the smaller id is ever taken without continuity.
  const std::map<int, std::set<int>> twins{{4, {1, 2}}, {2, {1, 2}}, {9, {3}}};
  expectGreedy(twins, false, {2, 9});
}

TEST(GreedyTest, ResultIsSortedNotInOrderOfChoice) {
  // Taken in the order 30, 2, 17.
  const std::map<int, std::set<int>> instance{{2, {4, 5}}, {17, {6}}, {30, {1, 2, 3}}};
  expectGreedy(instance, false, {2, 17, 30});
  expectGreedy(instance, true, {2, 17, 30});
}

TEST(GreedyTest, LargeIdsDoNotOverflowTheDistance) {
  // INT_MAX - 1 first (gain 2); then 0 and INT_MAX tie, 2147483646 and 1 away.
  const int big = 2147483647;
  const std::map<int, std::set<int>> instance{{0, {3}}, {big - 1, {1, 2}}, {big, {3}}};
  expectGreedy(instance, true, {big - 1, big});
  expectGreedy(instance, false, {0, big - 1});
}

template <typename T>
class GreedyRandomTest : public ::testing::Test {};
TYPED_TEST_SUITE(GreedyRandomTest, ntu_test::ElementTypes, ntu_test::ElementTypeName);

// Small and tie-heavy (many sets over few elements), so that both tie-breaks decide often;
// every tenth instance is larger, so that the gain bookkeeping runs over many steps, and every
// fiftieth crowded.
TYPED_TEST(GreedyRandomTest, MatchesReference) {
  std::mt19937 rng(20240611);
  ntu_test::InstanceShape small;
  small.maxSets = 16;
  small.maxElems = 12;
  small.maxSetSize = 4;
  ntu_test::InstanceShape large;
  large.maxSets = 120;
  large.maxElems = 150;
  large.maxSetSize = 12;
  // Many small sets over few elements: long runs of equal gain whose stored keys go stale,
  // which the lazy bookkeeping must correct next to the previous id.
  ntu_test::InstanceShape crowded;
  crowded.minSets = 80;
  crowded.maxSets = 140;
  crowded.minElems = 20;
  crowded.maxElems = 45;
  crowded.maxSetSize = 3;
  crowded.maxIdGap = 2;
  for (int round = 0; round < 700; ++round) {
    const auto& shape = round % 10 == 9 ? large : round % 50 == 8 ? crowded : small;
    const auto instance =
        ntu_test::encodeInstance<TypeParam>(ntu_test::randomAbstractInstance(rng, shape));
    for (bool continuity : {false, true}) {
      ASSERT_EQ(SetCoverSolver<TypeParam>::_solveByGreedy(instance, continuity),
                ntu_test::referenceGreedy(instance, continuity))
          << "round " << round << ", continuity " << continuity;
    }
  }
}

}  // namespace
