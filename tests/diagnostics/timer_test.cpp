#include "nimbrel_tavik_util/timer.hpp"

#include <gtest/gtest.h>

#include <iostream>
#include <regex>
#include <sstream>
#include <string>

#include "diagnostics/stream_capture.hpp"

namespace ntu = nimbrel_tavik_util;
using ntu::Timer;
using ntu_test::StreamCapture;

namespace {

const std::string kRule(60, '=');
const std::string kHeader = kRule + "\nGlobal Timer Statistics\n" + kRule + "\n";

// Clears the registry around each test and restores the std::cout settings that the timer
// functions deliberately leave behind.
class TimerTest : public ::testing::Test {
 protected:
  void SetUp() override { Timer::clearGlobalStats(); }
  void TearDown() override {
    Timer::clearGlobalStats();
    std::cout.flags(flags_);
    std::cout.precision(precision_);
  }

  static std::string printed() {
    StreamCapture out(std::cout);
    Timer::printGlobalStats();
    return out.text();
  }

 private:
  std::ios::fmtflags flags_ = std::cout.flags();
  std::streamsize precision_ = std::cout.precision();
};

TEST_F(TimerTest, StopWithoutStartRecordsNothing) {
  Timer t("never", true);
  StreamCapture out(std::cout);
  EXPECT_EQ(t.getElapsed(), 0.0);
  EXPECT_EQ(t.stop(), 0.0);
  EXPECT_EQ(out.text(), "") << "an idle stop prints nothing, even when verbose";
  EXPECT_TRUE(Timer::timers_.empty());
}

TEST_F(TimerTest, EmptyRegistryPrintsOneFlushedLine) {
  StreamCapture out(std::cout);
  Timer::printGlobalStats();
  EXPECT_EQ(out.text(), "No timer data available\n");
  EXPECT_EQ(out.flushes(), 1);
}

TEST_F(TimerTest, StopRecordsOnceAndSecondStopRepeatsTheValue) {
  Timer t("work", false);
  t.start();
  EXPECT_GE(t.getElapsed(), 0.0);
  EXPECT_TRUE(Timer::timers_.empty()) << "getElapsed on a running timer stores nothing";
  const double first = t.stop();
  ASSERT_EQ(Timer::timers_.count("work"), 1u);
  ASSERT_EQ(Timer::timers_["work"].size(), 1u);
  EXPECT_EQ(Timer::timers_["work"][0], first);
  EXPECT_EQ(t.getElapsed(), first);
  EXPECT_EQ(t.stop(), first);
  EXPECT_EQ(Timer::timers_["work"].size(), 1u) << "second stop must add nothing";
}

TEST_F(TimerTest, TimersSharingANameFeedOneEntryInStopOrder) {
  Timer a("shared", false);
  Timer b("shared", false);
  a.start();
  b.start();
  const double fromB = b.stop();
  const double fromA = a.stop();
  ASSERT_EQ(Timer::timers_.size(), 1u);
  EXPECT_EQ(Timer::timers_["shared"], (std::vector<double>{fromB, fromA}));
  EXPECT_EQ(Timer::getGlobalStats()["shared"]["count"], 2.0);
}

TEST_F(TimerTest, VerboseStopPrintsOneFlushedLine) {
  Timer t("io", true);
  StreamCapture out(std::cout);
  t.start();
  const double seconds = t.stop();
  std::ostringstream expected;
  expected << "[io] " << std::fixed;
  expected.precision(4);
  expected << seconds << " s\n";
  EXPECT_EQ(out.text(), expected.str());
  EXPECT_TRUE(std::regex_match(out.text(), std::regex(R"(\[io\] -?\d+\.\d{4} s\n)"))) << out.text();
  EXPECT_EQ(out.flushes(), 1);
  // The settings stay on std::cout.
  EXPECT_EQ(std::cout.flags() & std::ios::floatfield, std::ios::fixed);
  EXPECT_EQ(std::cout.precision(), 4);
}

TEST_F(TimerTest, DestroyingARunningTimerRecordsNothing) {
  {
    Timer t("dropped", true);
    t.start();
  }
  EXPECT_TRUE(Timer::timers_.empty());
}

//  alpha = {0.5, 1.5}, beta = {1.0}, and a 34-character name = {1.0}; G = 4.
TEST_F(TimerTest, TableLayout) {
  Timer::timers_["beta"] = {1.0};
  Timer::timers_["alpha"] = {0.5, 1.5};
  Timer::timers_["a_name_longer_than_25_chars"] = {1.0};
  const std::string expected = kHeader +
                               "a_name_longer_than_25_chars | n=1    | total=1.0000    s"
                               " | avg=1.0000    s | 25.00 %\n"
                               "alpha                     | n=2    | total=2.0000    s"
                               " | avg=1.0000    s | 50.00 %\n"
                               "beta                      | n=1    | total=1.0000    s"
                               " | avg=1.0000    s | 25.00 %\n"
                               "Total: 4.0000 s\n" +
                               kRule + "\n";
  StreamCapture out(std::cout);
  Timer::printGlobalStats();
  EXPECT_EQ(out.text(), expected);
  EXPECT_EQ(out.flushes(), 0) << "the table ends in plain newlines";
  EXPECT_TRUE(std::cout.flags() & std::ios::left);
  EXPECT_EQ(std::cout.flags() & std::ios::floatfield, std::ios::fixed);
  EXPECT_EQ(std::cout.precision(), 4);
}

// Rounding of the figures, wide values overflowing their widths, and the name order.
TEST_F(TimerTest, TableRoundsAndWidensFigures) {
  Timer::timers_["b"] = {2.0};
  Timer::timers_["B"] = {1.0};
  Timer::timers_["c"] = {12345.678912, 0.00004};
  // G = 12348.678952; shares 0.0081 %, 0.0162 %, 99.9757 %.
  EXPECT_EQ(printed(), kHeader +
                           "B                         | n=1    | total=1.0000    s"
                           " | avg=1.0000    s | 0.01  %\n"
                           "b                         | n=1    | total=2.0000    s"
                           " | avg=2.0000    s | 0.02  %\n"
                           "c                         | n=2    | total=12345.6790s"
                           " | avg=6172.8395 s | 99.98 %\n"
                           "Total: 12348.6790 s\n" +
                           kRule + "\n");
}

TEST_F(TimerTest, ZeroOrNegativeGrandTotalGivesZeroPercent) {
  Timer::timers_["zero"] = {0.0, 0.0};
  EXPECT_EQ(printed(), kHeader +
                           "zero                      | n=2    | total=0.0000    s"
                           " | avg=0.0000    s | 0.00  %\n"
                           "Total: 0.0000 s\n" +
                           kRule + "\n");
  // A clock set back while timing can record a negative interval.
  Timer::timers_["zero"] = {-1.0};
  EXPECT_EQ(printed(), kHeader +
                           "zero                      | n=1    | total=-1.0000   s"
                           " | avg=-1.0000   s | 0.00  %\n"
                           "Total: -1.0000 s\n" +
                           kRule + "\n");
  EXPECT_EQ(Timer::getGlobalStats()["zero"]["percentage"], 0.0);
}

TEST_F(TimerTest, EntryWithoutValuesShowsZeroAverage) {
  Timer::timers_["empty"];
  EXPECT_EQ(printed(), kHeader +
                           "empty                     | n=0    | total=0.0000    s"
                           " | avg=0.0000    s | 0.00  %\n"
                           "Total: 0.0000 s\n" +
                           kRule + "\n");
  EXPECT_EQ(Timer::getGlobalStats()["empty"]["avg_time"], 0.0);
}

TEST_F(TimerTest, GlobalStatsFigures) {
  Timer::timers_["x"] = {1.0};
  Timer::timers_["y"] = {1.0, 2.0};
  const auto stats = Timer::getGlobalStats();
  using Inner = std::map<std::string, double>;
  const std::map<std::string, Inner> expected = {
      {"_total", Inner{{"total", 4.0}}},
      {"x", Inner{{"avg_time", 1.0}, {"count", 1.0}, {"percentage", 25.0}, {"total_time", 1.0}}},
      {"y", Inner{{"avg_time", 1.5}, {"count", 2.0}, {"percentage", 75.0}, {"total_time", 3.0}}},
  };
  EXPECT_EQ(stats, expected);
  EXPECT_EQ(Timer::timers_.size(), 2u) << "the registry is not changed";
}

TEST_F(TimerTest, GlobalStatsOfEmptyRegistry) {
  const auto stats = Timer::getGlobalStats();
  ASSERT_EQ(stats.size(), 1u);
  EXPECT_EQ(stats.at("_total"), (std::map<std::string, double>{{"total", 0.0}}));
}

// "_total" sorts after upper-case and before lower-case names.
TEST_F(TimerTest, TimerNamedTotalIsARowButLosesItsFiguresInStats) {
  Timer::timers_["_total"] = {1.0};
  Timer::timers_["Upper"] = {1.0};
  Timer::timers_["lower"] = {2.0};
  EXPECT_EQ(printed(), kHeader +
                           "Upper                     | n=1    | total=1.0000    s"
                           " | avg=1.0000    s | 25.00 %\n"
                           "_total                    | n=1    | total=1.0000    s"
                           " | avg=1.0000    s | 25.00 %\n"
                           "lower                     | n=1    | total=2.0000    s"
                           " | avg=2.0000    s | 50.00 %\n"
                           "Total: 4.0000 s\n" +
                           kRule + "\n");
  const auto stats = Timer::getGlobalStats();
  std::string keys;
  for (const auto& entry : stats) keys += entry.first + ",";
  EXPECT_EQ(keys, "Upper,_total,lower,");
  EXPECT_EQ(stats.at("_total"), (std::map<std::string, double>{{"total", 4.0}}));
}

TEST_F(TimerTest, ClearEmptiesRegistryButLeavesRunningTimers) {
  Timer t("kept", false);
  t.start();
  Timer::timers_["old"] = {1.0};
  Timer::clearGlobalStats();
  EXPECT_TRUE(Timer::timers_.empty());
  EXPECT_EQ(printed(), "No timer data available\n");
  EXPECT_EQ(Timer::getGlobalStats().size(), 1u);
  const double seconds = t.stop();
  EXPECT_EQ(Timer::timers_, (std::map<std::string, std::vector<double>>{{"kept", {seconds}}}));
}

}  // namespace
