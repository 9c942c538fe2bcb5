// Entry point: dispatch, the negative-id guard, and all three methods against each other and
// against the reference on seeded random instances of every element type.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "setcover/cerr_capture.hpp"
#include "setcover/element_types.hpp"
#include "setcover/random_instance.hpp"
#include "setcover/reference_solver.hpp"

namespace {

using nimbrel_tavik_util::SetCoverSolver;
using nimbrel_tavik_util::SolveMethod;
using Ids = std::vector<int>;
using IntSolver = SetCoverSolver<int>;

const SolveMethod kOtherValues[] = {static_cast<SolveMethod>(3), static_cast<SolveMethod>(-1)};

TEST(SolveTest, EmptyInstanceForEveryMethod) {
  const ntu_test::CerrCapture cerr;
  for (int method : {0, 1, 2, 3, -1}) {
    EXPECT_TRUE(IntSolver::solve({}, static_cast<SolveMethod>(method), true).empty()) << method;
    EXPECT_TRUE(
        SetCoverSolver<std::string>::solve({{2, {}}}, static_cast<SolveMethod>(method)).empty())
        << method;
  }
  EXPECT_EQ(cerr.text(), "");
}

// 7 = {4,5}, 10 = {1,2,3}, 11 = {4,5}: continuity decides between 7 and 11.
TEST(SolveTest, DispatchesAndPassesContinuityToGreedyOnly) {
  const std::map<int, std::set<int>> instance{{7, {4, 5}}, {10, {1, 2, 3}}, {11, {4, 5}}};
  EXPECT_EQ(IntSolver::solve(instance, nimbrel_tavik_util::GREEDY, false), (Ids{7, 10}));
  EXPECT_EQ(IntSolver::solve(instance, nimbrel_tavik_util::GREEDY, true), (Ids{10, 11}));
  EXPECT_EQ(IntSolver::solve(instance, nimbrel_tavik_util::GREEDY), (Ids{7, 10}));
  for (SolveMethod other : kOtherValues) {
    EXPECT_EQ(IntSolver::solve(instance, other, false), (Ids{7, 10}));
    EXPECT_EQ(IntSolver::solve(instance, other, true), (Ids{10, 11}));
  }
  EXPECT_EQ(IntSolver::solve(instance, nimbrel_tavik_util::PROPAGATE, true), (Ids{7, 10}));

  // Where GREEDY and the exact methods differ, the dispatch shows which one ran.
  const std::map<int, std::set<int>> redundant{{1, {1, 2, 3, 4}}, {2, {1, 2, 5}}, {3, {3, 4, 6}}};
  EXPECT_EQ(IntSolver::solve(redundant, nimbrel_tavik_util::GREEDY, true), (Ids{1, 2, 3}));
  EXPECT_EQ(IntSolver::solve(redundant, nimbrel_tavik_util::ILP, true), (Ids{2, 3}));
  EXPECT_EQ(IntSolver::solve(redundant, nimbrel_tavik_util::PROPAGATE, true), (Ids{2, 3}));
}

TEST(SolveTest, SingleNonEmptySet) {
  const std::map<int, std::set<std::string>> instance{{3, {}}, {6, {"x", "y"}}, {9, {}}};
  for (int method : {0, 1, 2}) {
    EXPECT_EQ(SetCoverSolver<std::string>::solve(instance, static_cast<SolveMethod>(method)),
              (Ids{6}));
  }
}

template <typename T>
void expectNegativeIdRejected(const std::map<int, std::set<T>>& instance,
                              const std::string& message) {
  for (int method : {0, 1, 2, 3}) {
    try {
      SetCoverSolver<T>::solve(instance, static_cast<SolveMethod>(method), true);
      ADD_FAILURE() << "no exception for method " << method;
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(std::string(e.what()), message);
    }
  }
}

TEST(SolveTest, NegativeIdIsRejectedWithItsValue) {
  expectNegativeIdRejected<int>({{-1, {1}}, {2, {2}}},
                                "SetCoverSolver::solve: negative set id -1 (ids must be >= 0)");
  // The smallest id is named, whatever else is wrong.
  expectNegativeIdRejected<unsigned long>(
      {{-7, {1}}, {-2, {}}, {5, {3}}},
      "SetCoverSolver::solve: negative set id -7 (ids must be >= 0)");
  expectNegativeIdRejected<std::string>(
      {{-2147483647 - 1, {}}},
      "SetCoverSolver::solve: negative set id -2147483648 (ids must be >= 0)");
  // Id 0 is valid.
  EXPECT_EQ(IntSolver::solve({{0, {1}}}, nimbrel_tavik_util::PROPAGATE), (Ids{0}));
}

// Sorted, unique, every id a key with a non-empty set, and the union is the universe.
template <typename T>
::testing::AssertionResult isCover(const std::map<int, std::set<T>>& instance, const Ids& ids) {
  if (!std::is_sorted(ids.begin(), ids.end()) ||
      std::adjacent_find(ids.begin(), ids.end()) != ids.end()) {
    return ::testing::AssertionFailure() << "not strictly ascending";
  }
  std::set<T> universe;
  std::set<T> covered;
  for (const auto& entry : instance) universe.insert(entry.second.begin(), entry.second.end());
  for (int id : ids) {
    const auto it = instance.find(id);
    if (it == instance.end()) return ::testing::AssertionFailure() << "unknown id " << id;
    if (it->second.empty()) return ::testing::AssertionFailure() << "empty set " << id;
    covered.insert(it->second.begin(), it->second.end());
  }
  if (covered != universe) return ::testing::AssertionFailure() << "elements left uncovered";
  return ::testing::AssertionSuccess();
}

template <typename T>
class SolveRandomTest : public ::testing::Test {};
TYPED_TEST_SUITE(SolveRandomTest, ntu_test::ElementTypes, ntu_test::ElementTypeName);

TYPED_TEST(SolveRandomTest, AllMethodsAgreeWithReferenceAndEachOther) {
  using Solver = SetCoverSolver<TypeParam>;
  std::mt19937 rng(1234567);
  ntu_test::InstanceShape small;  // many degenerate cases: one set, empty sets, one element
  ntu_test::InstanceShape dense;  // elements in several sets: greedy often not minimal
  dense.minSets = 12;
  dense.maxSets = 20;
  dense.minElems = 18;
  dense.maxElems = 28;
  const ntu_test::CerrCapture cerr;
  for (int round = 0; round < 500; ++round) {
    const auto instance = ntu_test::encodeInstance<TypeParam>(
        ntu_test::randomAbstractInstance(rng, round % 3 == 0 ? small : dense));
    const Ids greedy = Solver::solve(instance, nimbrel_tavik_util::GREEDY, false);
    const Ids near = Solver::solve(instance, nimbrel_tavik_util::GREEDY, true);
    const Ids ilp = Solver::solve(instance, nimbrel_tavik_util::ILP, false);
    const Ids exact = Solver::solve(instance, nimbrel_tavik_util::PROPAGATE, false);
    ASSERT_EQ(greedy, ntu_test::referenceGreedy(instance, false)) << "round " << round;
    ASSERT_EQ(near, ntu_test::referenceGreedy(instance, true)) << "round " << round;
    ASSERT_EQ(exact, ntu_test::referencePropagate(instance)) << "round " << round;
    ASSERT_TRUE(isCover(instance, greedy)) << "round " << round;
    ASSERT_TRUE(isCover(instance, near)) << "round " << round;
    ASSERT_TRUE(isCover(instance, ilp)) << "round " << round;
    ASSERT_TRUE(isCover(instance, exact)) << "round " << round;
    ASSERT_EQ(ilp.size(), exact.size()) << "round " << round;
    ASSERT_LE(exact.size(), greedy.size()) << "round " << round;
    ASSERT_LE(exact.size(), near.size()) << "round " << round;
  }
  EXPECT_EQ(cerr.text(), "");  // GLPK never failed
}

// Encoding the same pattern in another element type keeps the greedy ids (gains do not see
// the values) and the exact size; only which minimum cover PROPAGATE returns may change.
TEST(SolveTest, ElementEncodingKeepsGreedyIdsAndExactSize) {
  std::mt19937 rng(99);
  ntu_test::InstanceShape shape;
  shape.maxElems = 28;
  const auto solveAll = [](const auto& instance) {
    using Solver = SetCoverSolver<typename std::decay_t<decltype(instance)>::mapped_type::key_type>;
    return std::make_tuple(Solver::solve(instance, nimbrel_tavik_util::GREEDY, false),
                           Solver::solve(instance, nimbrel_tavik_util::GREEDY, true),
                           Solver::solve(instance, nimbrel_tavik_util::PROPAGATE).size());
  };
  for (int round = 0; round < 200; ++round) {
    const auto abstract = ntu_test::randomAbstractInstance(rng, shape);
    const auto asInt = solveAll(ntu_test::encodeInstance<int>(abstract));
    EXPECT_EQ(solveAll(ntu_test::encodeInstance<unsigned long>(abstract)), asInt) << round;
    EXPECT_EQ(solveAll(ntu_test::encodeInstance<std::string>(abstract)), asInt) << round;
  }
}

// Encodings that keep the order of the elements keep their numbering, so every method but ILP
// gives identical ids. They reach both ways of numbering integers: a lookup table over a
// compact range (near 0, below 0, next to ULONG_MAX) and sorting when the values spread far.
TEST(SolveTest, OrderPreservingEncodingsGiveIdenticalResults) {
  std::mt19937 rng(4711);
  ntu_test::InstanceShape shape;
  shape.maxSets = 30;
  shape.maxElems = 60;
  const auto mapElems = [](const ntu_test::AbstractInstance& abstract, auto encode) {
    std::map<int, std::set<decltype(encode(0))>> out;
    for (const auto& [id, elems] : abstract) {
      auto& set = out[id];
      for (int k : elems) set.insert(encode(k));
    }
    return out;
  };
  const auto solveAll = [](const auto& instance) {
    using Solver = SetCoverSolver<typename std::decay_t<decltype(instance)>::mapped_type::key_type>;
    return std::make_tuple(Solver::solve(instance, nimbrel_tavik_util::GREEDY, false),
                           Solver::solve(instance, nimbrel_tavik_util::GREEDY, true),
                           Solver::solve(instance, nimbrel_tavik_util::PROPAGATE));
  };
  constexpr unsigned long top = std::numeric_limits<unsigned long>::max();
  for (int round = 0; round < 150; ++round) {
    const auto abstract = ntu_test::randomAbstractInstance(rng, shape);
    const auto plain = solveAll(abstract);
    EXPECT_EQ(solveAll(mapElems(abstract, [](int k) { return k - 40; })), plain) << round;
    EXPECT_EQ(solveAll(mapElems(abstract, [](int k) { return k * 30000000 - 900000000; })), plain)
        << round;
    EXPECT_EQ(solveAll(mapElems(abstract, [](int k) { return top - 100 + k; })), plain) << round;
    EXPECT_EQ(
        solveAll(mapElems(abstract, [](int k) { return static_cast<unsigned long>(k) << 40; })),
        plain)
        << round;
    EXPECT_EQ(solveAll(mapElems(abstract,
                                [](int k) {
                                  std::string s = std::to_string(k);
                                  return std::string(3 - s.size(), '0') + s;
                                })),
              plain)
        << round;
  }
}

}  // namespace
