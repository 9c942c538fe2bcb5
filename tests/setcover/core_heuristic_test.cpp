// The core heuristic and the technique seam of solveWithin's turns, against the exhaustive
// search of tests/support: the heuristic's covers and fixings step by step, its repeatability,
// and the portfolio with every technique (a planted one too) on many-column instances.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "setcover/budget.hpp"
#include "setcover/cover_model.hpp"
#include "setcover/exhaustive_cover.hpp"
#include "setcover/within/core_heuristic.hpp"
#include "setcover/within/greedy_cost.hpp"
#include "setcover/within/incumbent.hpp"
#include "setcover/within/portfolio.hpp"
#include "setcover/within/settings.hpp"
#include "setcover/within/technique.hpp"

namespace {

namespace detail = nimbrel_tavik_util::setcover_detail;
using detail::Budget;
using detail::CoverModel;

constexpr double kNone = 1e18;
const std::function<void(const nimbrel_tavik_util::SolveProgress&)> kNoReports;

// The shape the core heuristic serves: few rows, many short columns (2 to 6 rows), costs 1-2
// (some columns repeated) or all 1 (none repeated: the tree's symmetry would keep PROPAGATE's
// search from its turns).
struct Instance {
  CoverModel model;
  double optimum = 0.0;
};

Instance manyColumns(std::mt19937& rng, bool unicost) {
  const int rows = 6 + static_cast<int>(rng() % 18);
  const int cols = rows * (3 + static_cast<int>(rng() % 4));
  std::vector<std::vector<int>> lists;
  std::vector<double> cost;
  std::vector<char> hit(static_cast<std::size_t>(rows), 0);
  for (int j = 0; j < cols; ++j) {
    if (!unicost && j > 0 && rng() % 8 == 0) {  // a repeated column
      lists.push_back(lists[rng() % lists.size()]);
    } else {
      std::set<int> col;
      const int size = 2 + static_cast<int>(rng() % 5);
      while (static_cast<int>(col.size()) < std::min(size, rows)) {
        col.insert(static_cast<int>(rng() % rows));
      }
      lists.emplace_back(col.begin(), col.end());
    }
    cost.push_back(unicost ? 1.0 : 1.0 + static_cast<double>(rng() % 2));
    for (int r : lists.back()) hit[r] = 1;
  }
  for (int r = 0; r < rows; ++r) {
    if (!hit[r]) lists[rng() % lists.size()].push_back(r);
  }
  std::vector<int> start{0};
  std::vector<int> flat;
  std::map<int, std::set<int>> sets;
  std::map<int, double> costs;
  for (std::size_t j = 0; j < lists.size(); ++j) {
    std::sort(lists[j].begin(), lists[j].end());
    flat.insert(flat.end(), lists[j].begin(), lists[j].end());
    start.push_back(static_cast<int>(flat.size()));
    sets[static_cast<int>(j)] = std::set<int>(lists[j].begin(), lists[j].end());
    costs[static_cast<int>(j)] = cost[j];
  }
  Instance out;
  out.model = detail::makeCoverModel(rows, start, flat, cost);
  out.optimum = ntu_test::cheapestCoverCost(sets, costs);
  return out;
}

std::vector<int> everyColumn(const CoverModel& m) {
  std::vector<int> all(static_cast<std::size_t>(m.numCols));
  std::iota(all.begin(), all.end(), 0);
  return all;
}

// Step by step from the costliest cover (so that its covers improve and the incumbent checks
// each of them): every fixing leaves each row coverable, covers never cost less than the
// optimum, and most instances reach it. Two runs of the same work end the same.
TEST(CoreHeuristicTest, CoversFixingsAndRepeatsAgainstExhaustiveSearch) {
  std::mt19937 rng(3401);
  int reached = 0;
  const int rounds = 30;
  for (int round = 0; round < rounds; ++round) {
    const Instance inst = manyColumns(rng, round % 2 == 0);
    const CoverModel& m = inst.model;
    std::vector<double> ends;
    std::vector<std::vector<int>> covers;
    for (int run = 0; run < 2; ++run) {
      Budget budget(kNone, -1, nullptr);
      detail::Progress progress(kNoReports, budget);
      detail::Incumbent incumbent(m, detail::CostRule::forModel(m), progress);
      incumbent.offer(everyColumn(m));
      detail::CoreOptions options;
      options.maxSteps = 200;
      options.heuristicSteps = 20;
      options.passHeuristicSteps = 10;
      options.passSteps = 30;
      detail::CoreHeuristic core(m, incumbent, budget, options, 7);
      const std::string where = "round " + std::to_string(round) + " run " + std::to_string(run);
      for (int turn = 0; turn < 1500; ++turn) {
        core.turn(1.0, 0.0);  // one step a turn
        // Every cover it builds (fixed columns and a greedy cover of the rows they leave) is
        // one: a fixing that marked a row covered without covering it shows here.
        ASSERT_TRUE(core.lastCover().empty() || detail::coversAll(m, core.lastCover())) << where;
        ASSERT_GE(incumbent.cost(), inst.optimum - 1e-9) << where;
        ASSERT_LE(core.lowerBound(), inst.optimum + 1e-6) << where;
      }
      EXPECT_GT(core.covers(), 0) << where;
      EXPECT_TRUE(detail::coversAll(m, incumbent.cols())) << where;
      ends.push_back(incumbent.cost());
      covers.push_back(incumbent.cols());
      if (run == 0 && incumbent.cost() <= inst.optimum + 1e-9) ++reached;
    }
    EXPECT_EQ(ends[0], ends[1]) << "round " << round;
    EXPECT_EQ(covers[0], covers[1]) << "round " << round;
  }
  EXPECT_GE(reached, rounds * 8 / 10);  // a heuristic: most, not all
}

// A technique planted in the core's place, honest or with one fault.
enum class Fault { none, nonCover, highBound };

class Planted final : public detail::Technique {
 public:
  Planted(const CoverModel& m, detail::Incumbent& incumbent, Budget& budget, Fault fault,
          double optimum)
      : Technique(incumbent, budget), m_(m), fault_(fault), optimum_(optimum) {}
  const char* name() const override { return "planted"; }
  double lowerBound() const override { return fault_ == Fault::highBound ? optimum_ + 1 : 0.0; }

 protected:
  detail::TurnOutcome play(double, double) override {
    std::vector<int> cover = detail::greedyByCost(m_, budget_);
    if (fault_ == Fault::nonCover) {
      // The cheapest columns only, rows left open: cheaper than any cover.
      cover.assign(1, 0);
    }
    budget_.charge(1);
    incumbent_.offer(cover);
    return {};
  }

 private:
  const CoverModel& m_;
  Fault fault_;
  double optimum_;
};

// The portfolio on `inst` with every technique given turns (the core on every shape, or a
// planted technique in its place); returns what went wrong, empty when nothing did.
std::string checkPortfolio(const Instance& inst, const detail::TechniqueHook& hook,
                           std::set<std::string>& played, bool local = true) {
  const CoverModel& m = inst.model;
  detail::PortfolioSettings settings;
  settings.localSearch = local;  // off: the planted technique plays before a cover is optimal
  settings.coreColumnsPerRow = 0.0;
  settings.reductions = false;  // keep the rows and columns for the turns
  settings.root.iterations = 5;
  settings.lp = false;
  settings.firstRound = 1 << 12;
  Budget budget(kNone, -1, nullptr);
  detail::Progress progress(kNoReports, budget);
  detail::CoreResult r;
  try {
    r = detail::solveModel(m, {}, budget, progress, settings, 1, hook);
  } catch (const std::exception& e) {
    return std::string("threw: ") + e.what();
  }
  for (const auto& t : r.techniques) {
    if (t.stats.calls > 0) played.insert(t.name);
  }
  if (!detail::coversAll(m, r.cols)) return "not a cover";
  if (!r.optimal) return "not proved";
  if (r.cost > inst.optimum + 1e-9) return "cost " + std::to_string(r.cost) + " above the optimum";
  if (r.lowerBound > inst.optimum + 1e-9) return "bound above the optimum";
  return {};
}

// Every technique behind the seam, each through it, proves the exhaustive optimum with the
// others; a planted technique that offers a non-cover or proves a bound above the optimum is
// caught by the same check.
TEST(TechniqueSeamTest, EveryTechniqueWithTheOthersProvesTheExhaustiveOptimum) {
  std::mt19937 rng(3402);
  std::set<std::string> played;
  int nonCoverCaught = 0;
  int highBoundCaught = 0;
  for (int round = 0; round < 40; ++round) {
    const Instance inst = manyColumns(rng, round % 2 == 0);
    const std::string where = "round " + std::to_string(round);
    EXPECT_EQ(checkPortfolio(inst, {}, played), "") << where;
    const auto plant = [&inst](Fault fault) -> detail::TechniqueHook {
      return [fault, &inst](const CoverModel& m, detail::Incumbent& incumbent, Budget& budget) {
        return std::make_unique<Planted>(m, incumbent, budget, fault, inst.optimum);
      };
    };
    std::set<std::string> plantedPlayed;
    EXPECT_EQ(checkPortfolio(inst, plant(Fault::none), plantedPlayed), "") << where;
    played.insert(plantedPlayed.begin(), plantedPlayed.end());
    nonCoverCaught +=
        checkPortfolio(inst, plant(Fault::nonCover), plantedPlayed, false).empty() ? 0 : 1;
    highBoundCaught +=
        checkPortfolio(inst, plant(Fault::highBound), plantedPlayed, false).empty() ? 0 : 1;
  }
  for (const char* name : {"local", "tree", "engine", "core", "planted"}) {
    EXPECT_EQ(played.count(name), 1u) << name << " never had a turn";
  }
  EXPECT_GT(nonCoverCaught, 10);
  EXPECT_GT(highBoundCaught, 5);
}

}  // namespace
