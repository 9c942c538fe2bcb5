// ILP solver: solveILP's argument checks and failure line, and the id mapping of _solveByILP.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "setcover/cerr_capture.hpp"

namespace {

using nimbrel_tavik_util::SetCoverSolver;
using nimbrel_tavik_util::solveILP;
using Ids = std::vector<int>;
using Lists = std::vector<std::vector<int>>;

void expectInvalid(int n, int m, const Lists& columns, const std::string& message) {
  try {
    solveILP(n, m, columns);
    ADD_FAILURE() << "no exception, expected: " << message;
  } catch (const std::invalid_argument& e) {
    EXPECT_EQ(std::string(e.what()), message);
  }
}

TEST(SolveIlpTest, RejectsBadArgumentsBeforeCallingGlpk) {
  expectInvalid(-1, 2, {}, "solveILP: negative size (n=-1, m=2)");
  expectInvalid(1, -2, {{}}, "solveILP: negative size (n=1, m=-2)");
  expectInvalid(3, 2, {{0}, {1}}, "solveILP: 2 column lists for n=3 columns");
  expectInvalid(2, 3, {{0, 1}, {2, 3}}, "solveILP: column 1 lists row 3 outside [0, 3)");
  expectInvalid(2, 3, {{0, -1}, {}}, "solveILP: column 0 lists row -1 outside [0, 3)");
  expectInvalid(1, 0, {{0}}, "solveILP: column 0 lists row 0 outside [0, 0)");
  expectInvalid(2, 3, {{0, 2}, {1, 2, 1}}, "solveILP: column 1 lists row 1 twice");
  // The same row in two different columns is the normal case, not a repeat.
  EXPECT_EQ(solveILP(2, 1, {{0}, {0}}).size(), 1u);
}

TEST(SolveIlpTest, EmptyProblemsAndExtraLists) {
  const ntu_test::CerrCapture cerr;
  EXPECT_TRUE(solveILP(0, 3, {}).empty());
  EXPECT_TRUE(solveILP(3, 0, {{}, {}, {}}).empty());
  // Lists past the first n are not read.
  EXPECT_EQ(solveILP(1, 1, {{0}, {7, 7}}), (Ids{0}));
  EXPECT_EQ(cerr.text(), "");
}

TEST(SolveIlpTest, ReturnsMinimumColumnsAscending) {
  // Column 0 covers all three rows, so it alone is optimal.
  EXPECT_EQ(solveILP(4, 3, {{1}, {0, 1, 2}, {2}, {0}}), (Ids{1}));
  // A 4-cycle of rows: two opposite columns, either pair.
  const Ids pair = solveILP(4, 4, {{0, 1}, {1, 2}, {2, 3}, {3, 0}});
  EXPECT_TRUE(pair == (Ids{0, 2}) || pair == (Ids{1, 3})) << ::testing::PrintToString(pair);
  // Unordered lists are fine as long as no row repeats.
  EXPECT_EQ(solveILP(3, 3, {{2, 0}, {1}, {0}}), (Ids{0, 1}));
}

TEST(SolveIlpTest, InfeasibleModelWritesTheFailureLine) {
  // Row 1 is in no column: the relaxation has no optimal basis, so glp_intopt gives
  // GLP_EROOT (12) and the MIP status stays GLP_UNDEF (1).
  const ntu_test::CerrCapture cerr;
  EXPECT_TRUE(solveILP(1, 2, {{0}}).empty());
  EXPECT_EQ(cerr.text(),
            "[SetCoverSolver] GLPK ILP failed (ret=12, status=1), falling back to empty result\n");
}

// GLPK prints through C stdio; catch it at the file descriptor.
TEST(SolveIlpTest, GlpkPrintsNothing) {
  std::fflush(stdout);
  std::FILE* sink = std::tmpfile();
  ASSERT_NE(sink, nullptr);
  const int saved = dup(STDOUT_FILENO);
  ASSERT_GE(saved, 0);
  dup2(fileno(sink), STDOUT_FILENO);
  {
    const ntu_test::CerrCapture cerr;  // the failure line is expected there, not on stdout
    solveILP(4, 4, {{0, 1}, {1, 2}, {2, 3}, {3, 0}});
    solveILP(1, 2, {{0}});
  }
  std::fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  std::fseek(sink, 0, SEEK_END);
  EXPECT_EQ(std::ftell(sink), 0L);
  std::fclose(sink);
}

TEST(SolveByIlpTest, EmptyUniverseNeedsNoGlpk) {
  const ntu_test::CerrCapture cerr;
  EXPECT_TRUE(SetCoverSolver<int>::_solveByILP({}).empty());
  EXPECT_TRUE(SetCoverSolver<std::string>::_solveByILP({{4, {}}, {9, {}}}).empty());
  EXPECT_EQ(cerr.text(), "");
}

TEST(SolveByIlpTest, MapsColumnsBackToIds) {
  // 3 = {1,2}, 10 = {3}, 100 = {}, 250 = {4,5}: all three non-empty sets are needed; the
  // empty 100 gets no column, so column 2 is id 250.
  const std::map<int, std::set<int>> gaps{{3, {1, 2}}, {10, {3}}, {100, {}}, {250, {4, 5}}};
  EXPECT_EQ(SetCoverSolver<int>::_solveByILP(gaps), (Ids{3, 10, 250}));

  const std::map<int, std::set<std::string>> one{{1, {"a"}}, {2, {"a", "b", "c"}}, {3, {"c"}}};
  EXPECT_EQ(SetCoverSolver<std::string>::_solveByILP(one), (Ids{2}));

  const std::map<int, std::set<unsigned long>> twins{{5, {1, 2}}, {8, {1, 2}}};
  const Ids pick = SetCoverSolver<unsigned long>::_solveByILP(twins);
  EXPECT_TRUE(pick == (Ids{5}) || pick == (Ids{8})) << ::testing::PrintToString(pick);

  // 1 = {1,2,3,4}, 2 = {1,2,5}, 3 = {3,4,6}: the only minimum cover.
  EXPECT_EQ(SetCoverSolver<int>::_solveByILP({{1, {1, 2, 3, 4}}, {2, {1, 2, 5}}, {3, {3, 4, 6}}}),
            (Ids{2, 3}));
}

}  // namespace
