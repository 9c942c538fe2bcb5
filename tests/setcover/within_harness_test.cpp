// A differential harness for solveWithin with a fixed budget of seeded cases: random instances
// of up to 20 sets, costs from zero and denormals to 1e300, every kind of limit, warm starts,
// and callbacks that throw or call solveWithin themselves; every answer is checked against an
// exhaustive search (a cover, its cost the sum, the bound at most the optimum, `optimal` only
// when it is). Run under AddressSanitizer in CI, which also catches what a throw leaks.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "setcover/exhaustive_cover.hpp"

namespace {

namespace ntu = nimbrel_tavik_util;
using Instance = std::map<int, std::set<int>>;
using Costs = std::map<int, double>;
using Solver = ntu::SetCoverSolver<int>;

constexpr int kCases = 5000;

double drawCost(std::mt19937& rng, int regime) {
  switch (regime) {
    case 0:
      return 0.0;
    case 1:  // denormal
      return std::numeric_limits<double>::denorm_min() * static_cast<double>(1 + rng() % 7);
    case 2:  // huge, the sum still finite
      return 1e300 * static_cast<double>(1 + rng() % 7);
    case 3:  // mixed magnitudes
      return std::vector<double>{0.0, 1e-300, 1e-9, 1.0, 3.5, 1e6, 1e300}[rng() % 7];
    case 4:
      return static_cast<double>(rng() % 10);
    case 5:
      return 1.0;
    default:
      return static_cast<double>(rng() % 1000) / 7.0;
  }
}

struct Case {
  Instance instance;
  Costs costs;
  bool weighted = false;
};

Case drawCase(std::mt19937& rng) {
  Case c;
  const int sets = 1 + static_cast<int>(rng() % 20);
  const int elements = 1 + static_cast<int>(rng() % 40);
  const int regime = static_cast<int>(rng() % 7);
  c.weighted = regime != 5 || rng() % 2 == 0;
  for (int s = 0; s < sets; ++s) {
    std::set<int>& set = c.instance[static_cast<int>(rng() % 50)];
    const int size = static_cast<int>(rng() % 8);
    for (int k = 0; k < size; ++k) set.insert(static_cast<int>(rng() % elements));
  }
  for (const auto& entry : c.instance)
    c.costs[entry.first] = c.weighted ? drawCost(rng, regime) : 1.0;
  return c;
}

// The checks every answer passes.
void expectSound(const Case& c, const ntu::SolveResult& r, double optimum,
                 const std::string& where) {
  const double tol = 1e-9 * std::max(1.0, std::fabs(optimum));
  std::set<int> universe;
  for (const auto& entry : c.instance) universe.insert(entry.second.begin(), entry.second.end());
  std::set<int> covered;
  double sum = 0.0;
  for (int id : r.ids) {
    ASSERT_EQ(c.instance.count(id), 1u) << where;
    covered.insert(c.instance.at(id).begin(), c.instance.at(id).end());
    sum += c.costs.at(id);
  }
  EXPECT_EQ(covered, universe) << where;
  EXPECT_TRUE(std::is_sorted(r.ids.begin(), r.ids.end())) << where;
  EXPECT_NEAR(r.cost, sum, 1e-9 * std::max(1.0, std::fabs(sum))) << where;
  EXPECT_GE(r.cost, optimum - tol) << where;
  EXPECT_LE(r.lowerBound, optimum + tol) << where;
  EXPECT_LE(r.lowerBound, r.cost) << where;
  EXPECT_EQ(r.optimal, r.status == ntu::SolveStatus::Optimal) << where;
  if (r.optimal) {
    EXPECT_LE(r.cost, optimum + tol) << where;
  }
}

ntu::SolveResult run(const Case& c, const ntu::SolveLimits& limits) {
  return c.weighted ? Solver::solveWithin(c.instance, c.costs, limits)
                    : Solver::solveWithin(c.instance, limits);
}

TEST(WithinHarnessTest, EveryLimitAndCallbackAgainstExhaustiveSearch) {
  std::mt19937 rng(20261208);
  const std::atomic<bool> stopped{true};
  struct Thrown {};
  for (int k = 0; k < kCases; ++k) {
    const Case c = drawCase(rng);
    const double optimum = ntu_test::cheapestCoverCost(c.instance, c.costs);
    const std::string where = "case " + std::to_string(k);
    ntu::SolveLimits limits;
    int depth = 0;  // of the re-entrant callback below, which runs after the switch
    switch (k % 9) {
      case 0:
        break;
      case 1:
        limits.nodes = static_cast<long long>(rng() % 4);
        break;
      case 2:
        limits.seconds = rng() % 2 == 0 ? 0.0 : 1e-3;
        break;
      case 3:
        limits.stop = &stopped;
        break;
      case 4:
        limits.gap = 0.25;
        break;
      case 5:
        limits.targetCost = optimum * 1.5 + 1.0;
        break;
      case 6:
        for (const auto& entry : c.instance) {
          if (rng() % 2 == 0) limits.start.push_back(entry.first);
        }
        break;
      case 7: {  // throws at its first report: the call ends with that exception
        limits.onProgress = [](const ntu::SolveProgress&) { throw Thrown{}; };
        bool threw = false;
        try {
          run(c, limits);
        } catch (const Thrown&) {
          threw = true;
        }
        // A call ends without any report only when nothing needs covering.
        EXPECT_TRUE(threw || optimum == 0.0) << where;
        continue;
      }
      default: {  // calls solveWithin itself, on the same instance
        limits.onProgress = [&c, &depth, optimum, where](const ntu::SolveProgress& p) {
          EXPECT_LE(p.lowerBound, p.bestCost) << where;
          if (depth++ > 0) return;
          ntu::SolveLimits inner;
          inner.nodes = 2;
          expectSound(c, run(c, inner), optimum, where + " (inner)");
        };
        break;
      }
    }
    expectSound(c, run(c, limits), optimum, where);
  }
}

}  // namespace
