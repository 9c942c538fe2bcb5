// The exact hitting-set search that the exact solver uses for its bounds (an internal part,
// linked from the library's objects): smallest sizes against brute force, the cutoff and
// first-found contracts, and masks of several words.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "setcover/propagate/hitting_set.hpp"

namespace {

using nimbrel_tavik_util::setcover_detail::HittingSetSolver;
using Rows = std::vector<std::vector<int>>;

struct Csr {
  std::vector<int> start{0};
  std::vector<int> points;
  explicit Csr(const Rows& rows) {
    for (const auto& row : rows) {
      points.insert(points.end(), row.begin(), row.end());
      start.push_back(static_cast<int>(points.size()));
    }
  }
};

bool hitsAll(const Rows& rows, const std::vector<int>& chosen) {
  const std::set<int> taken(chosen.begin(), chosen.end());
  if (taken.size() != chosen.size()) return false;  // no point twice
  for (const auto& row : rows) {
    if (std::none_of(row.begin(), row.end(), [&taken](int p) { return taken.count(p) > 0; })) {
      return false;
    }
  }
  return true;
}

// Smallest hitting set by trying every subset of the points; numPoints + 1 when none.
int bruteForce(int numPoints, const Rows& rows) {
  int best = numPoints + 1;
  for (unsigned mask = 0; mask < (1U << numPoints); ++mask) {
    const int size = __builtin_popcount(mask);
    if (size >= best) continue;
    bool all = true;
    for (const auto& row : rows) {
      all = all && std::any_of(row.begin(), row.end(), [mask](int p) { return (mask >> p) & 1U; });
    }
    if (all) best = size;
  }
  return best;
}

TEST(HittingSetTest, SmallestSizeAndCutoffsMatchBruteForce) {
  std::mt19937 rng(5150);
  int infeasible = 0;
  for (int round = 0; round < 400; ++round) {
    const int numPoints = std::uniform_int_distribution<int>(1, 13)(rng);
    const int numRows = std::uniform_int_distribution<int>(0, 22)(rng);
    Rows rows(numRows);
    for (auto& row : rows) {
      // Rows of 0..5 points, repeats merged; now and then one without points (infeasible).
      std::set<int> points;
      const int size = std::uniform_int_distribution<int>(round % 50 == 0 ? 0 : 1, 5)(rng);
      for (int k = 0; k < size; ++k) {
        points.insert(std::uniform_int_distribution<int>(0, numPoints - 1)(rng));
      }
      row.assign(points.begin(), points.end());
    }
    const int expected = bruteForce(numPoints, rows);
    const Csr csr(rows);
    HittingSetSolver solver(numPoints, csr.start, csr.points);
    std::vector<int> witness{-1};
    const int cutoff = numPoints + 1;
    ASSERT_EQ(solver.solve(cutoff, false, witness), expected) << "round " << round;
    if (expected > numPoints) {
      ++infeasible;
      EXPECT_EQ(witness, std::vector<int>{-1}) << "round " << round;  // untouched
      continue;
    }
    EXPECT_TRUE(hitsAll(rows, witness)) << "round " << round;
    EXPECT_EQ(static_cast<int>(witness.size()), expected) << "round " << round;

    // Nothing below the smallest size: the cutoff comes back and the witness stays.
    std::vector<int> none{-2};
    EXPECT_EQ(solver.solve(expected, false, none), expected) << "round " << round;
    EXPECT_EQ(none, std::vector<int>{-2}) << "round " << round;
    // First found below a loose cutoff: some hitting set below it, not necessarily smallest.
    std::vector<int> any;
    const int found = solver.solve(cutoff, true, any);
    EXPECT_GE(found, expected) << "round " << round;
    EXPECT_LT(found, cutoff) << "round " << round;
    EXPECT_EQ(static_cast<int>(any.size()), found) << "round " << round;
    EXPECT_TRUE(hitsAll(rows, any)) << "round " << round;
  }
  EXPECT_GT(infeasible, 3);
}

// 50 disjoint rows {i, i+50, i+100} (150 points, three words per mask) plus rows that contain
// one of them (they drop out) and duplicates: 50 points are needed, one per disjoint row.
// With the points 0..49 removed from their rows, the rest are still disjoint pairs.
TEST(HittingSetTest, WideMasksAndReducedRows) {
  Rows rows;
  for (int i = 0; i < 50; ++i) {
    rows.push_back({i, i + 50, i + 100});
    rows.push_back({i, i + 50, i + 100});
    rows.push_back({i, (i + 1) % 50, i + 50, i + 100, 149 - i});
  }
  const Csr csr(rows);
  HittingSetSolver solver(150, csr.start, csr.points);
  std::vector<int> witness;
  EXPECT_EQ(solver.solve(151, false, witness), 50);
  EXPECT_TRUE(hitsAll(rows, witness));
  std::vector<int> none;
  EXPECT_EQ(solver.solve(50, false, none), 50);
  EXPECT_TRUE(none.empty());

  // A 70-point cycle of pairs {i, i+1 mod 70} needs 35 points, a 71-point one 36.
  for (int n : {70, 71}) {
    Rows cycle;
    for (int i = 0; i < n; ++i) cycle.push_back({i, (i + 1) % n});
    const Csr c(cycle);
    HittingSetSolver s(n, c.start, c.points);
    std::vector<int> w;
    EXPECT_EQ(s.solve(n + 1, false, w), (n + 1) / 2) << n;
    EXPECT_TRUE(hitsAll(cycle, w)) << n;
  }
}

TEST(HittingSetTest, NoRowsNeedNoPointsAndEmptyRowIsInfeasible) {
  HittingSetSolver empty(4, {0}, {});
  std::vector<int> witness{7};
  EXPECT_EQ(empty.solve(5, false, witness), 0);
  EXPECT_TRUE(witness.empty());
  // A cutoff of 0 asks for fewer than no points: nothing to find.
  std::vector<int> kept{3};
  EXPECT_EQ(empty.solve(0, false, kept), 0);
  EXPECT_EQ(kept, std::vector<int>{3});

  HittingSetSolver blocked(3, {0, 2, 2}, {0, 1});  // the second row has no point
  std::vector<int> untouched{9};
  EXPECT_EQ(blocked.solve(4, false, untouched), 4);
  EXPECT_EQ(untouched, std::vector<int>{9});
}

}  // namespace
