#include "set_cover_stress/report.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace scs = set_cover_stress;

namespace {

const std::string kBar = std::string(60, '=') + "\n";

scs::RoundResult goodRow() {
  scs::RoundResult row;
  row.round = 0;
  row.faces = 3990;
  row.edges = 13936;
  row.sizes = {61, 60, 57, 57};
  row.times_ms = {1.23, 1.4, 35.04, 3.16};
  row.covered = {true, true, true, true};
  return row;
}

std::string rowText(const scs::RoundResult& row) {
  std::ostringstream out;
  scs::printRow(out, row);
  return out.str();
}

std::string summaryText(const scs::Totals& totals) {
  std::ostringstream out;
  scs::printSummary(out, totals);
  return out.str();
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

TEST(StressReport, Banner) {
  std::ostringstream out;
  scs::printBanner(out, 50);
  EXPECT_EQ(out.str(), kBar + "  SetCoverSolver stress test  (50 rounds)\n" +
                           "  n_dirts=5000  n_trajs=400  n_curves=3  span=1-6\n" + kBar + "\n");
}

TEST(StressReport, HeaderIs104CharactersAndRule108) {
  std::ostringstream out;
  scs::printTableHeader(out);
  const std::vector<std::string> lines = linesOf(out.str());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0],
            "Round Faces   Edges   GDY       GDY+C     ILP       PROP      "
            "GDY ms      ILP ms      PROP ms     Status");
  EXPECT_EQ(lines[0].size(), 104u);
  EXPECT_EQ(lines[1], std::string(108, '-'));
  EXPECT_EQ(out.str().back(), '\n');
  EXPECT_TRUE(out.flags() & std::ios::left);
}

TEST(StressReport, RowColumnsLineUpWithHeader) {
  const std::string text = rowText(goodRow());
  EXPECT_EQ(text,
            "0     3990    13936   61        60        57        57        "
            "1.2         35.0        3.2         OK\n");
  // Each value starts where its header label starts.
  std::ostringstream header;
  scs::printTableHeader(header);
  const std::string head = linesOf(header.str())[0];
  for (const char* label : {"Faces", "Edges", "GDY+C", "PROP ", "ILP ms", "PROP ms", "Status"}) {
    const std::size_t at = head.find(label);
    ASSERT_NE(at, std::string::npos) << label;
    EXPECT_NE(text[at], ' ') << label;
    EXPECT_EQ(text[at - 1], ' ') << label;
  }
}

TEST(StressReport, TimesAreFixedWithOneDecimal) {
  scs::RoundResult row = goodRow();
  row.times_ms = {0.0, 99.0, 0.049, 12345.678};
  EXPECT_EQ(rowText(row).substr(62),
            "0.0         0.0         12345.7     OK\n");  // GREEDY+CONT has no column
  row.times_ms = {0.04, 0.0, 0.06, 100.0};
  EXPECT_EQ(rowText(row).substr(62), "0.0         0.1         100.0       OK\n");
  // A time wider than its column is printed whole and pushes Status right.
  row.times_ms = {1.0, 5.0, 1.0, 1234567890.24};
  EXPECT_EQ(rowText(row).substr(62), "1.0         1.0         1234567890.2OK\n");
}

TEST(StressReport, WideValuesPushTheRowRight) {
  scs::RoundResult row = goodRow();
  row.round = 1234567;   // width 6
  row.faces = 12345678;  // exactly width 8: no space left
  row.sizes[0] = 12345678901;
  EXPECT_EQ(rowText(row),
            "12345671234567813936   1234567890160        57        57        "
            "1.2         35.0        3.2         OK\n");
}

TEST(StressReport, Status) {
  scs::RoundResult row = goodRow();
  EXPECT_EQ(scs::statusText(row), "OK");
  row.sizes[scs::kRunProp] = 58;
  EXPECT_EQ(scs::statusText(row), "OK ILP!=PROP");
  row.covered[scs::kRunGreedyCont] = false;
  EXPECT_EQ(scs::statusText(row), "FAIL ILP!=PROP");
  row.sizes[scs::kRunProp] = 57;
  EXPECT_EQ(scs::statusText(row), "FAIL");
  // Any run's verdict fails the round; only the exact sizes are compared.
  for (int r = 0; r < scs::kRunCount; ++r) {
    scs::RoundResult one = goodRow();
    one.covered[r] = false;
    one.sizes[scs::kRunGreedy] = 99;
    EXPECT_FALSE(one.passed()) << "run " << r;
    EXPECT_FALSE(one.exactSizesDiffer()) << "run " << r;
    const std::string text = rowText(one);
    EXPECT_EQ(text.substr(text.size() - 5), "FAIL\n") << "run " << r;
  }
  row.covered[scs::kRunGreedyCont] = true;
  row.sizes[scs::kRunIlp] = 0;
  const std::string text = rowText(row);
  EXPECT_EQ(text.substr(text.size() - 14), " OK ILP!=PROP\n");
}

TEST(StressReport, TotalsCountFailuresAndMismatchesSeparately) {
  scs::Totals totals;
  scs::RoundResult row = goodRow();
  totals.add(row);
  row.covered[scs::kRunIlp] = false;
  totals.add(row);
  row.sizes[scs::kRunIlp] = 56;
  totals.add(row);
  row.covered[scs::kRunIlp] = true;
  totals.add(row);
  EXPECT_EQ(totals.rounds, 4);
  EXPECT_EQ(totals.failed, 2);
  EXPECT_EQ(totals.mismatched, 2);
  EXPECT_DOUBLE_EQ(totals.size_sum[scs::kRunGreedy], 4 * 61.0);
  EXPECT_DOUBLE_EQ(totals.size_sum[scs::kRunIlp], 2 * 57.0 + 2 * 56.0);
  EXPECT_DOUBLE_EQ(totals.time_sum[scs::kRunProp], 4 * 3.16);
  EXPECT_DOUBLE_EQ(totals.time_sum[scs::kRunGreedyCont], 4 * 1.4);
}

TEST(StressReport, SummaryAllPassed) {
  scs::Totals totals;
  totals.rounds = 50;
  totals.size_sum = {57.34 * 50, 58.0 * 50, 56.0 * 50, 56.0 * 50};
  totals.time_sum = {1.26 * 50, 0.04 * 50, 1234.5 * 50, 7.0 * 50};
  EXPECT_EQ(summaryText(totals), "\n" + kBar + "  Summary (50 rounds, all PASSED)\n" + kBar +
                                     "                  Avg Selected    Avg Time (ms)\n"
                                     "  GREEDY          57.3            1.3\n"
                                     "  GREEDY+CONT     58.0            0.0\n"
                                     "  ILP             56.0            1234.5\n"
                                     "  PROPAGATE       56.0            7.0\n"
                                     "\n  Greedy overhead: +1.3 pts avg vs optimal\n" +
                                     kBar);
}

TEST(StressReport, SummaryAfterFailuresAndZeroOverhead) {
  scs::Totals totals;
  totals.rounds = 50;
  totals.failed = 3;
  totals.size_sum = {2850, 2850, 2850, 2850};
  const std::vector<std::string> lines = linesOf(summaryText(totals));
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[2], "  Summary (50 rounds, 3 FAILED)");
  EXPECT_EQ(lines[5], "  GREEDY          57.0            0.0");
  EXPECT_EQ(lines[10], "  Greedy overhead: +0.0 pts avg vs optimal");
  // Mismatched sizes alone do not turn "all PASSED" into failures.
  totals.failed = 0;
  totals.mismatched = 50;
  EXPECT_EQ(linesOf(summaryText(totals))[2], "  Summary (50 rounds, all PASSED)");
  // Averages are taken over the rounds run.
  totals.rounds = 4;
  totals.size_sum[scs::kRunGreedy] = 10;
  totals.size_sum[scs::kRunIlp] = 9;
  EXPECT_EQ(linesOf(summaryText(totals))[2], "  Summary (4 rounds, all PASSED)");
  EXPECT_EQ(linesOf(summaryText(totals))[5], "  GREEDY          2.5             0.0");
  EXPECT_EQ(linesOf(summaryText(totals))[10], "  Greedy overhead: +0.2 pts avg vs optimal");
}

TEST(StressReport, SummaryWithoutRoundsThrows) {
  std::ostringstream out;
  try {
    scs::printSummary(out, scs::Totals{});
    FAIL() << "no exception";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "printSummary: no rounds to average (rounds = 0)");
  }
  EXPECT_EQ(out.str(), "");
}

TEST(StressReport, ExitStatus) {
  scs::Totals totals;
  totals.rounds = 50;
  EXPECT_EQ(scs::exitStatus(totals), 0);
  totals.failed = 1;
  EXPECT_EQ(scs::exitStatus(totals), 1);
  totals.failed = 0;
  totals.mismatched = 1;
  EXPECT_EQ(scs::exitStatus(totals), 1);
}
