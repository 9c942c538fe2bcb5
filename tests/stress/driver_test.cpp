#include "set_cover_stress/driver.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

namespace scs = set_cover_stress;
namespace ntu = nimbrel_tavik_util;

namespace {

using Instance = std::map<int, std::set<int>>;

// Every trajectory of the instance: always a cover, never a minimum one.
std::vector<int> allIds(const Instance& instance) {
  std::vector<int> ids;
  for (const auto& entry : instance) ids.push_back(entry.first);
  return ids;
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Blanks the three time columns of a table row.
std::string withoutTimes(std::string row) { return row.replace(62, 36, 36, '#'); }

}  // namespace

TEST(StressDriver, SeedsAndEdges) {
  EXPECT_EQ(scs::seedOfRound(0), 7);
  EXPECT_EQ(scs::seedOfRound(1), 144);
  EXPECT_EQ(scs::seedOfRound(2), 281);
  EXPECT_EQ(scs::seedOfRound(49), 7 + 137 * 49);
  scs::GeneratedInstance inst;
  inst.traj_to_dirts = {{0, {1, 2, 3}}, {5, {3}}, {9, {}}};
  EXPECT_EQ(scs::countEdges(inst), 4u);
  EXPECT_EQ(scs::countEdges(scs::generateInstance(7)), 13936u);
}

TEST(StressDriver, RoundCallsTheFourRunsInOrderOnTheTrajectoryMap) {
  const scs::GeneratedInstance expected = scs::generateInstance(scs::seedOfRound(3));
  std::vector<std::tuple<ntu::SolveMethod, bool>> calls;
  const scs::RoundResult row =
      scs::runRound(3, [&](const Instance& instance, ntu::SolveMethod method, bool continuity) {
        EXPECT_EQ(instance, expected.traj_to_dirts);
        calls.emplace_back(method, continuity);
        // Distinct sizes per run show which result lands in which column.
        std::vector<int> ids = allIds(instance);
        ids.resize(ids.size() - calls.size());
        return ids;
      });
  EXPECT_EQ(
      calls,
      (std::vector<std::tuple<ntu::SolveMethod, bool>>{
          {ntu::GREEDY, false}, {ntu::GREEDY, true}, {ntu::ILP, false}, {ntu::PROPAGATE, false}}));
  const std::size_t n = expected.traj_to_dirts.size();
  EXPECT_EQ(row.round, 3);
  EXPECT_EQ(row.faces, expected.dirt_to_trajs.size());
  EXPECT_EQ(row.edges, scs::countEdges(expected));
  EXPECT_EQ(row.sizes, (std::array<std::size_t, 4>{n - 1, n - 2, n - 3, n - 4}));
  for (int r = 0; r < scs::kRunCount; ++r) {
    EXPECT_GE(row.times_ms[r], 0.0);
    // Dropping the last trajectories leaves their lonely dirt points uncovered.
    EXPECT_FALSE(row.covered[r]) << "run " << r;
  }
}

TEST(StressDriver, FullRunWithCoveringSolverPasses) {
  const auto solve = [](const Instance& instance, ntu::SolveMethod, bool) {
    return allIds(instance);
  };
  std::ostringstream first;
  const scs::Totals totals = scs::runStress(first, solve);
  EXPECT_EQ(totals.rounds, 50);
  EXPECT_EQ(totals.failed, 0);
  EXPECT_EQ(scs::exitStatus(totals), 0);

  const std::vector<std::string> lines = linesOf(first.str());
  // banner 4 + empty + header + rule + 50 rows + summary 12
  ASSERT_EQ(lines.size(), 69u);
  EXPECT_EQ(lines[1], "  SetCoverSolver stress test  (50 rounds)");
  EXPECT_EQ(lines[5].size(), 104u);
  const scs::GeneratedInstance seven = scs::generateInstance(7);
  const std::string n = std::to_string(seven.traj_to_dirts.size());
  EXPECT_EQ(withoutTimes(lines[7]),
            "0     3990    13936   " + n + std::string(10 - n.size(), ' ') + n +
                std::string(10 - n.size(), ' ') + n + std::string(10 - n.size(), ' ') + n +
                std::string(10 - n.size(), ' ') + std::string(36, '#') + "OK");
  for (int i = 0; i < 50; ++i) {
    const std::string& row = lines[7 + i];
    EXPECT_EQ(row.substr(0, 6), std::to_string(i) + std::string(6 - std::to_string(i).size(), ' '));
    EXPECT_EQ(row.substr(98), "OK") << row;
  }
  EXPECT_EQ(lines[56].substr(0, 22), "49    3958    13562   ");  // seed 6720
  EXPECT_EQ(lines[59], "  Summary (50 rounds, all PASSED)");
  EXPECT_EQ(lines[67], "  Greedy overhead: +0.0 pts avg vs optimal");

  // Another run prints the same rows apart from the times.
  std::ostringstream second;
  scs::runStress(second, solve, 3);
  const std::vector<std::string> again = linesOf(second.str());
  ASSERT_EQ(again.size(), 4u + 1 + 2 + 3 + 12);
  for (std::size_t i = 7; i < 10; ++i) EXPECT_EQ(withoutTimes(again[i]), withoutTimes(lines[i]));
}

TEST(StressDriver, FailuresAndMismatchesAreReportedAndSetTheExitStatus) {
  // ILP fails (empty answer) in rounds 1 and 3; PROPAGATE pads its cover with -1 in round 2.
  int round = -1;
  const auto solve = [&round](const Instance& instance, ntu::SolveMethod method, bool continuity) {
    if (method == ntu::GREEDY && !continuity) ++round;
    std::vector<int> ids = allIds(instance);
    if (method == ntu::ILP && (round == 1 || round == 3)) ids.clear();
    if (method == ntu::PROPAGATE && round == 2) ids.insert(ids.begin(), -1);
    return ids;
  };
  std::ostringstream out;
  const scs::Totals totals = scs::runStress(out, solve, 5);
  EXPECT_EQ(totals.failed, 2);
  EXPECT_EQ(totals.mismatched, 3);
  EXPECT_EQ(scs::exitStatus(totals), 1);
  const std::vector<std::string> lines = linesOf(out.str());
  ASSERT_EQ(lines.size(), 4u + 1 + 2 + 5 + 12);
  EXPECT_EQ(lines[1], "  SetCoverSolver stress test  (5 rounds)");
  const std::vector<std::string> statuses = {"OK", "FAIL ILP!=PROP", "OK ILP!=PROP",
                                             "FAIL ILP!=PROP", "OK"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(lines[7 + i].substr(98), statuses[i]) << "round " << i;
  EXPECT_EQ(lines[14], "  Summary (5 rounds, 2 FAILED)");
}

TEST(StressDriver, OnlyMismatchStillExitsWithOne) {
  const auto solve = [](const Instance& instance, ntu::SolveMethod method, bool) {
    std::vector<int> ids = allIds(instance);
    if (method == ntu::ILP) ids.push_back(400);  // covers, but one id longer
    return ids;
  };
  std::ostringstream out;
  const scs::Totals totals = scs::runStress(out, solve, 2);
  EXPECT_EQ(totals.failed, 0);
  EXPECT_EQ(scs::exitStatus(totals), 1);
  EXPECT_NE(out.str().find("  Summary (2 rounds, all PASSED)\n"), std::string::npos);
}

TEST(StressDriver, BadRoundsAndSolverExceptions) {
  std::ostringstream out;
  const auto solve = [](const Instance& instance, ntu::SolveMethod, bool) {
    return allIds(instance);
  };
  try {
    scs::runStress(out, solve, 0);
    FAIL() << "no exception";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "runStress: rounds must be >= 1, got 0");
  }
  EXPECT_EQ(out.str(), "");
  const auto throwing = [](const Instance&, ntu::SolveMethod, bool) -> std::vector<int> {
    throw std::runtime_error("solver broke");
  };
  EXPECT_THROW(scs::runStress(out, throwing), std::runtime_error);
}
