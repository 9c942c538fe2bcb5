// The row-weighting local search (an internal part, compiled into this test): its covers
// against an exhaustive optimum on small random instances with integer, fractional, zero and
// very unequal costs; the incremental state against a recount after every slice; determinism;
// forbidden columns; the move limit, the target and the stop flag; offered covers.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <random>
#include <stdexcept>
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

constexpr double kNoTarget = -std::numeric_limits<double>::infinity();

CoverModel modelOf(int numRows, const std::vector<std::vector<int>>& cols,
                   std::vector<double> costs = {}) {
  std::vector<int> start{0};
  std::vector<int> rows;
  for (const auto& col : cols) {
    rows.insert(rows.end(), col.begin(), col.end());
    start.push_back(static_cast<int>(rows.size()));
  }
  return makeCoverModel(numRows, std::move(start), std::move(rows), std::move(costs));
}

// Cost of `cover` summed the way the search sums it: ascending columns.
double costOf(const CoverModel& m, const std::vector<int>& cover) {
  double sum = 0.0;
  for (const int j : cover) sum += m.cost[j];
  return sum;
}

bool covers(const CoverModel& m, const std::vector<int>& cover) {
  std::vector<char> hit(m.numRows, 0);
  for (const int j : cover) {
    for (const int* it = m.colBegin(j); it != m.colEnd(j); ++it) hit[*it] = 1;
  }
  return std::all_of(hit.begin(), hit.end(), [](char h) { return h != 0; });
}

// The cheapest cover by trying every subset of columns (at most 16).
double exhaustiveOptimum(const CoverModel& m) {
  std::vector<std::uint32_t> mask(m.numCols, 0);
  for (int j = 0; j < m.numCols; ++j) {
    for (const int* it = m.colBegin(j); it != m.colEnd(j); ++it) mask[j] |= 1u << *it;
  }
  const std::uint32_t all = m.numRows == 32 ? ~0u : (1u << m.numRows) - 1;
  double best = std::numeric_limits<double>::infinity();
  for (std::uint32_t subset = 0; subset < (1u << m.numCols); ++subset) {
    std::uint32_t hit = 0;
    double cost = 0.0;
    for (int j = 0; j < m.numCols; ++j) {
      if (subset >> j & 1u) {
        hit |= mask[j];
        cost += m.cost[j];
      }
    }
    if (hit == all) best = std::min(best, cost);
  }
  return best;
}

enum class Costs { Unit, Integer, Fractional, WithZeros, Unequal };

// A random instance in which every row has a column.
CoverModel randomModel(std::mt19937& rng, int numRows, int numCols, Costs kind) {
  std::uniform_int_distribution<int> rowOf(0, numRows - 1);
  std::uniform_int_distribution<int> sizeOf(1, std::max(1, numRows / 2));
  std::vector<std::vector<int>> cols(numCols);
  for (auto& col : cols) {
    for (int k = sizeOf(rng); k > 0; --k) col.push_back(rowOf(rng));
  }
  for (int i = 0; i < numRows; ++i)
    cols[std::uniform_int_distribution<int>(0, numCols - 1)(rng)].push_back(i);
  for (auto& col : cols) {
    std::sort(col.begin(), col.end());
    col.erase(std::unique(col.begin(), col.end()), col.end());
  }
  std::vector<double> costs(numCols, 1.0);
  for (double& c : costs) {
    switch (kind) {
      case Costs::Unit:
        break;
      case Costs::Integer:
        c = std::uniform_int_distribution<int>(1, 100)(rng);
        break;
      case Costs::Fractional:
        c = std::uniform_int_distribution<int>(1, 30)(rng) * 0.1;  // 0.1 has no exact double
        break;
      case Costs::WithZeros:
        c = std::uniform_int_distribution<int>(0, 3)(rng);
        break;
      case Costs::Unequal:
        c = std::pow(10.0, std::uniform_int_distribution<int>(0, 9)(rng));
        break;
    }
  }
  return modelOf(numRows, cols, costs);
}

// Every kind of cost, 60 instances each: the best cover is a cover, costs what it claims,
// never gets worse, and reaches the exhaustive optimum; the incremental state matches a
// recount after every slice.
TEST(LocalSearchTest, ReachesTheExhaustiveOptimumWithEveryKindOfCost) {
  for (const Costs kind :
       {Costs::Unit, Costs::Integer, Costs::Fractional, Costs::WithZeros, Costs::Unequal}) {
    std::mt19937 rng(1234 + static_cast<int>(kind));
    for (int round = 0; round < 60; ++round) {
      const int numRows = std::uniform_int_distribution<int>(1, 14)(rng);
      const int numCols = std::uniform_int_distribution<int>(1, 14)(rng);
      const CoverModel m = randomModel(rng, numRows, numCols, kind);
      const double optimum = exhaustiveOptimum(m);
      LocalSearch search(m, CostRule::forModel(m), static_cast<std::uint64_t>(round));
      Budget budget(1e9, -1, nullptr);
      double last = std::numeric_limits<double>::infinity();
      for (int slice = 0; slice < 40; ++slice) {
        search.run(50, budget, kNoTarget);
        ASSERT_TRUE(search.consistent()) << "kind " << static_cast<int>(kind) << " round " << round;
        ASSERT_TRUE(search.hasCover());
        ASSERT_TRUE(covers(m, search.best()));
        ASSERT_TRUE(std::is_sorted(search.best().begin(), search.best().end()));
        ASSERT_EQ(search.bestCost(), costOf(m, search.best()));
        ASSERT_LE(search.bestCost(), last);
        last = search.bestCost();
      }
      EXPECT_NEAR(search.bestCost(), optimum, 1e-9 * std::max(1.0, optimum))
          << "kind " << static_cast<int>(kind) << " round " << round;
    }
  }
}

// Integer costs give integer totals and the target is rounded up: a bound of 4.2 on an optimum
// of 5 ends the search at 5.
TEST(LocalSearchTest, StopsAtTheRoundedUpTarget) {
  // Rows 0..4; the only covers are {0} (cost 9) and {1, 2} or {1, 3} (cost 5).
  const CoverModel m =
      modelOf(5, {{0, 1, 2, 3, 4}, {0, 1, 2}, {3, 4}, {2, 3, 4}}, {9.0, 2.0, 3.0, 3.0});
  LocalSearch search(m, CostRule::forModel(m), 7);
  Budget budget(1e9, -1, nullptr);
  search.run(1000, budget, 4.2);
  EXPECT_EQ(search.bestCost(), 5.0);
  EXPECT_LT(search.steps(), 1000);
  const long long steps = search.steps();
  EXPECT_FALSE(search.run(1000, budget, 4.2));  // already there: no move
  EXPECT_EQ(search.steps(), steps);
}

// The same calls give the same covers, also when the moves are cut into other slices.
TEST(LocalSearchTest, IsDeterministicAcrossSlices) {
  std::mt19937 rng(99);
  const CoverModel m = randomModel(rng, 120, 300, Costs::Integer);
  const auto trace = [&m](const std::vector<int>& slices) {
    LocalSearch search(m, CostRule::forModel(m), 2024);
    Budget budget(1e9, -1, nullptr);
    std::vector<double> costs;
    for (const int moves : slices) {
      search.run(moves, budget, kNoTarget);
      costs.push_back(search.bestCost());
    }
    return std::make_pair(search.best(), search.steps());
  };
  const auto whole = trace({3000});
  EXPECT_EQ(whole.second, 3000);
  EXPECT_EQ(trace({3000}), whole);
  EXPECT_EQ(trace({1, 999, 7, 1993}), whole);
  LocalSearch other(m, CostRule::forModel(m), 2025);
  Budget budget(1e9, -1, nullptr);
  other.run(3000, budget, kNoTarget);
  EXPECT_TRUE(covers(m, other.best()));
}

// A forbidden column leaves the selection and never comes back; a row left without columns
// ends the search at once.
TEST(LocalSearchTest, NeverTakesAForbiddenColumn) {
  std::mt19937 rng(5);
  for (int round = 0; round < 20; ++round) {
    const CoverModel m = randomModel(rng, 40, 60, round % 2 ? Costs::Unit : Costs::WithZeros);
    LocalSearch search(m, CostRule::forModel(m), static_cast<std::uint64_t>(round));
    Budget budget(1e9, -1, nullptr);
    search.run(100, budget, kNoTarget);
    // Forbid half of the columns of the best cover whose rows stay coverable.
    std::vector<int> forbidden;
    std::vector<int> others(m.numRows, 0);
    for (int i = 0; i < m.numRows; ++i) others[i] = m.rowSize(i);
    for (const int j : search.best()) {
      bool keepsRows = true;
      for (const int* it = m.colBegin(j); it != m.colEnd(j); ++it) keepsRows &= others[*it] > 1;
      if (!keepsRows || forbidden.size() * 2 >= search.best().size()) continue;
      for (const int* it = m.colBegin(j); it != m.colEnd(j); ++it) --others[*it];
      forbidden.push_back(j);
      search.forbid(j);
    }
    ASSERT_TRUE(search.consistent());
    const double before = search.bestCost();
    for (int slice = 0; slice < 20; ++slice) {
      if (search.run(100, budget, kNoTarget) || search.bestCost() < before) {
        for (const int j : forbidden) {
          ASSERT_FALSE(std::binary_search(search.best().begin(), search.best().end(), j));
        }
      }
      ASSERT_TRUE(search.consistent());
    }
  }
  // Row 1 has only column 1: forbidding it leaves no cheaper cover.
  const CoverModel m = modelOf(2, {{0}, {0, 1}, {0}});
  LocalSearch search(m, CostRule::forModel(m), 1);
  Budget budget(1e9, -1, nullptr);
  search.forbid(1);
  EXPECT_FALSE(search.run(100, budget, kNoTarget));
  EXPECT_EQ(search.steps(), 0);
  EXPECT_FALSE(search.hasCover());
  EXPECT_THROW(search.forbid(3), std::invalid_argument);
}

// run() makes exactly the moves asked for when nothing else stops it, and a stop flag that is
// already set ends it within one polling interval however many moves are asked for.
TEST(LocalSearchTest, KeepsToTheMoveLimitAndTheStopFlag) {
  std::mt19937 rng(17);
  const CoverModel m = randomModel(rng, 200, 400, Costs::Unit);
  LocalSearch search(m, CostRule::forModel(m), 3);
  Budget budget(1e9, -1, nullptr);
  search.run(0, budget, kNoTarget);
  EXPECT_EQ(search.steps(), 0);
  EXPECT_TRUE(search.hasCover());  // the greedy start
  for (const int moves : {1, 10, 250}) {
    const long long before = search.steps();
    search.run(moves, budget, kNoTarget);
    EXPECT_EQ(search.steps() - before, moves);
  }
  std::atomic<bool> stop{true};
  Budget stopped(1e9, -1, &stop);
  const long long before = search.steps();
  search.run(std::numeric_limits<long long>::max(), stopped, kNoTarget);
  EXPECT_TRUE(stopped.expired());
  // Every move charges at least one unit of work.
  EXPECT_LE(search.steps() - before, static_cast<long long>(Budget::kPollWork));
  EXPECT_FALSE(search.run(10, stopped, kNoTarget));
}

TEST(LocalSearchTest, AdoptsOnlyBetterOfferedCoversAndRejectsNonCovers) {
  // Rows 0..3; columns {0,1}, {2,3}, {0,1,2,3}, {1,2}; unit costs.
  const CoverModel m = modelOf(4, {{0, 1}, {2, 3}, {0, 1, 2, 3}, {1, 2}});
  LocalSearch search(m, CostRule::forModel(m), 1);
  EXPECT_TRUE(search.offer({1, 0, 1}));
  EXPECT_EQ(search.best(), (std::vector<int>{0, 1}));
  EXPECT_EQ(search.bestCost(), 2.0);
  EXPECT_FALSE(search.offer({0, 1, 3}));
  EXPECT_TRUE(search.offer({2}));
  EXPECT_EQ(search.bestCost(), 1.0);
  try {
    search.offer({0, 3});
    FAIL() << "a non-cover was accepted";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "LocalSearch::offer: row 3 is not covered");
  }
  try {
    search.offer({0, 4});
    FAIL() << "an unknown column was accepted";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "LocalSearch::offer: column 4 is outside 0..3");
  }
  // After the start, an offer moves the search to it.
  std::mt19937 rng(8);
  const CoverModel big = randomModel(rng, 60, 80, Costs::Integer);
  LocalSearch started(big, CostRule::forModel(big), 2);
  Budget budget(1e9, -1, nullptr);
  started.run(5, budget, kNoTarget);
  std::vector<int> all;
  for (int j = 0; j < big.numCols; ++j) all.push_back(j);
  EXPECT_FALSE(started.offer(all));
  started.forbid(started.best().front());
  ASSERT_TRUE(started.consistent());
}

// The Steiner triple and OR-Library files whose optima are known and quick to reach.
TEST(LocalSearchTest, ReachesKnownOptimaOnSmallCorpusFiles) {
  const std::string dir = std::string(NTU_CORPORA_DIR) + "/setcover";
  if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no corpora at " << dir;
  struct File {
    std::string path;
    bool weighted;
    double optimum;
  };
  for (const File& f : {File{"stn/data.27", false, 18}, File{"stn/data.45", false, 30},
                        File{"orlib/scpe1.txt", false, 5}, File{"orlib/scp41.txt", true, 429}}) {
    const std::string path = dir + "/" + f.path;
    const bool steiner = f.path.rfind("stn/", 0) == 0;
    const ntu_corpus::Instance inst =
        steiner ? ntu_corpus::readSteiner(path) : ntu_corpus::readOrLibrary(path);
    std::vector<std::vector<int>> cols;
    int numRows = 0;
    for (const auto& entry : inst) {
      cols.emplace_back(entry.second.begin(), entry.second.end());
      if (!entry.second.empty()) numRows = std::max(numRows, *entry.second.rbegin() + 1);
    }
    const CoverModel m = modelOf(
        numRows, cols, f.weighted ? ntu_corpus::readOrLibraryCosts(path) : std::vector<double>{});
    LocalSearch search(m, CostRule::forModel(m), 1);
    Budget budget(1e9, -1, nullptr);
    search.run(200000, budget, f.optimum);
    EXPECT_EQ(search.bestCost(), f.optimum) << f.path;
    EXPECT_TRUE(covers(m, search.best())) << f.path;
  }
}

}  // namespace
