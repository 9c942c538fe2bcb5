#include "nimbrel_tavik_util/logger.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "diagnostics/stream_capture.hpp"
#include "support/child_process.hpp"

namespace ntu = nimbrel_tavik_util;
using ntu::Logger;
using ntu_test::StreamCapture;

static_assert(std::is_same_v<std::underlying_type_t<Logger::Level>, std::int32_t>);
static_assert(sizeof(Logger::level_) == 4);

namespace {

// Every test restores the threshold it found, so the tests also pass when run in one process.
class LoggerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    Logger::resetSink();
    Logger::level_ = saved_;
  }

  // Calls all four functions with "m" and returns what reached each stream.
  struct Output {
    std::string out;
    std::string err;
  };
  static Output logAll() {
    StreamCapture out(std::cout);
    StreamCapture err(std::cerr);
    Logger::debug("m");
    Logger::info("m");
    Logger::warning("m");
    Logger::error("m");
    return {out.text(), err.text()};
  }

 private:
  Logger::Level saved_ = Logger::level_;
};

TEST_F(LoggerTest, StartsAtInfo) { EXPECT_EQ(Logger::level_, Logger::INFO); }

TEST_F(LoggerTest, EachLevelWritesItsPrefixToItsStream) {
  Logger::setLevel(Logger::DEBUG);
  struct Case {
    void (*log)(const std::string&);
    bool toCerr;
    const char* line;
  };
  const Case cases[] = {
      {Logger::debug, false, "[DEBUG] hello world\n"},
      {Logger::info, false, "[INFO] hello world\n"},
      {Logger::warning, true, "[WARNING] hello world\n"},
      {Logger::error, true, "[ERROR] hello world\n"},
  };
  for (const Case& c : cases) {
    StreamCapture out(std::cout);
    StreamCapture err(std::cerr);
    c.log("hello world");
    EXPECT_EQ(c.toCerr ? err.text() : out.text(), c.line);
    EXPECT_EQ(c.toCerr ? out.text() : err.text(), "") << c.line;
    // std::cerr is unit-buffered and flushes more often; either way the whole line is out.
    EXPECT_EQ((c.toCerr ? err : out).flushedText(), c.line) << "line not flushed";
  }
}

// Threshold L lets through every call of level >= L; error always passes.
TEST_F(LoggerTest, ThresholdFiltersDebugInfoWarning) {
  struct Case {
    std::int32_t level;
    const char* out;
    const char* err;
  };
  const Case cases[] = {
      {-1, "[DEBUG] m\n[INFO] m\n", "[WARNING] m\n[ERROR] m\n"},
      {0, "[DEBUG] m\n[INFO] m\n", "[WARNING] m\n[ERROR] m\n"},
      {1, "[INFO] m\n", "[WARNING] m\n[ERROR] m\n"},
      {2, "", "[WARNING] m\n[ERROR] m\n"},
      {3, "", "[ERROR] m\n"},
      {4, "", "[ERROR] m\n"},
      {INT32_MAX, "", "[ERROR] m\n"},
      {INT32_MIN, "[DEBUG] m\n[INFO] m\n", "[WARNING] m\n[ERROR] m\n"},
  };
  for (const Case& c : cases) {
    Logger::setLevel(static_cast<Logger::Level>(c.level));
    EXPECT_EQ(static_cast<std::int32_t>(Logger::level_), c.level) << "stored unchanged";
    const Output got = logAll();
    EXPECT_EQ(got.out, c.out) << "level " << c.level;
    EXPECT_EQ(got.err, c.err) << "level " << c.level;
  }
}

TEST_F(LoggerTest, ThresholdIsReadDirectlyFromLevelMember) {
  Logger::level_ = Logger::ERROR;
  EXPECT_EQ(logAll().out, "");
  Logger::level_ = Logger::DEBUG;
  EXPECT_EQ(logAll().out, "[DEBUG] m\n[INFO] m\n");
}

TEST_F(LoggerTest, LevelToString) {
  EXPECT_EQ(Logger::levelToString(Logger::DEBUG), "DEBUG");
  EXPECT_EQ(Logger::levelToString(Logger::INFO), "INFO");
  EXPECT_EQ(Logger::levelToString(Logger::WARNING), "WARNING");
  EXPECT_EQ(Logger::levelToString(Logger::ERROR), "ERROR");
  EXPECT_EQ(Logger::levelToString(static_cast<Logger::Level>(4)), "UNKNOWN");
  EXPECT_EQ(Logger::levelToString(static_cast<Logger::Level>(-1)), "UNKNOWN");
  // Independent of the threshold.
  Logger::setLevel(static_cast<Logger::Level>(4));
  EXPECT_EQ(Logger::levelToString(Logger::WARNING), "WARNING");
}

TEST_F(LoggerTest, EmptyMessageKeepsPrefixBlank) {
  StreamCapture err(std::cerr);
  Logger::warning("");
  EXPECT_EQ(err.text(), "[WARNING] \n");
}

TEST_F(LoggerTest, MessageBytesAreWrittenUnaltered) {
  const std::string message("a\nb\0c  \t", 8);
  StreamCapture out(std::cout);
  Logger::info(message);
  EXPECT_EQ(out.text(), "[INFO] " + message + "\n");
}

// A width the caller left pending on the stream must not pad the line.
TEST_F(LoggerTest, PendingWidthDoesNotPadTheLine) {
  StreamCapture err(std::cerr);
  std::cerr.width(30);
  Logger::error("x");
  std::cerr.width(0);
  EXPECT_EQ(err.text(), "[ERROR] x\n");
}

TEST_F(LoggerTest, FailedStreamSwallowsTheLineSilently) {
  StreamCapture err(std::cerr);
  std::cerr.setstate(std::ios::badbit);
  EXPECT_NO_THROW(Logger::error("lost"));
  std::cerr.clear();
  EXPECT_EQ(err.text(), "");
}

// --- sinks ------------------------------------------------------------------------------------

using Lines = std::vector<std::pair<Logger::Level, std::string>>;

TEST_F(LoggerTest, SinkReceivesLinesThatPassTheThresholdAndResetRestoresStreams) {
  Lines lines;
  Logger::setSink(
      [&](Logger::Level level, const std::string& line) { lines.emplace_back(level, line); });
  Logger::setLevel(Logger::INFO);
  const Output routed = logAll();
  EXPECT_EQ(routed.out + routed.err, "") << "nothing reaches the streams while a sink is set";
  EXPECT_EQ(lines, (Lines{{Logger::INFO, "m"}, {Logger::WARNING, "m"}, {Logger::ERROR, "m"}}));

  // error ignores the threshold for a sink too; the message arrives without prefix or newline.
  lines.clear();
  Logger::setLevel(static_cast<Logger::Level>(4));
  Logger::warning("hidden");
  Logger::error(std::string("a\nb\0", 4));
  EXPECT_EQ(lines, (Lines{{Logger::ERROR, std::string("a\nb\0", 4)}}));

  Logger::setLevel(Logger::DEBUG);
  Logger::resetSink();
  const Output restored = logAll();
  EXPECT_EQ(restored.out, "[DEBUG] m\n[INFO] m\n");
  EXPECT_EQ(restored.err, "[WARNING] m\n[ERROR] m\n");

  // An empty function restores the streams as well.
  lines.clear();
  Logger::setSink(
      [&](Logger::Level level, const std::string& line) { lines.emplace_back(level, line); });
  Logger::setSink(Logger::Sink());
  EXPECT_EQ(logAll().out, "[DEBUG] m\n[INFO] m\n");
  EXPECT_TRUE(lines.empty());
}

TEST_F(LoggerTest, ThrowingSinkLineGoesToStandardErrorAndNothingEscapes) {
  int calls = 0;
  Logger::setSink([&](Logger::Level, const std::string&) {
    ++calls;
    throw std::runtime_error("sink is gone");
  });
  StreamCapture out(std::cout);
  StreamCapture err(std::cerr);
  EXPECT_NO_THROW(Logger::info("kept"));
  EXPECT_NO_THROW(Logger::error("also kept"));
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(out.text(), "");
  EXPECT_EQ(err.text(), "[INFO] kept\n[ERROR] also kept\n");
}

// A sink that logs through Logger: its own lines go to standard error in the default format
// instead of calling the sink again (which recursed until the stack overflowed, so this runs in
// a child). Only the sink's own thread is redirected, and only while the sink runs, also when
// it leaves by an exception.
TEST_F(LoggerTest, SinkLoggingThroughLoggerWritesToStandardErrorInsteadOfRecursing) {
  const ntu_test::ChildResult child = ntu_test::runInChild([](std::string& report) {
    std::vector<std::string> lines;
    Logger::setLevel(Logger::INFO);
    Logger::setSink([&](Logger::Level, const std::string& line) {
      lines.push_back(line);
      if (line != "outer") return;
      Logger::info("inner");
      Logger::debug("below the threshold");
      std::thread([] { Logger::warning("other thread"); }).join();
    });
    Logger::warning("outer");
    Logger::info("after");

    Logger::setSink([](Logger::Level, const std::string&) {
      Logger::info("inside");
      throw std::runtime_error("gone");
    });
    Logger::error("thrown");
    Logger::setSink([&](Logger::Level, const std::string& line) { lines.push_back(line); });
    Logger::info("sink again");
    Logger::resetSink();
    for (const std::string& line : lines) report += "sink: " + line + "\n";
  });
  ASSERT_TRUE(child.exitedCleanly()) << child.describe() << "\n" << child.text;
  EXPECT_EQ(child.text,
            "[INFO] inner\n"
            "[INFO] inside\n"
            "[ERROR] thrown\n"
            "sink: outer\nsink: other thread\nsink: after\nsink: sink again\n");
}

// Threads log while another one swaps sinks: every line arrives exactly once, at one of them.
TEST_F(LoggerTest, SinkCanBeReplacedWhileOtherThreadsLog) {
  constexpr int kThreads = 3;
  constexpr int kLinesPerThread = 2000;
  std::atomic<int> first{0};
  std::atomic<int> second{0};
  const Logger::Sink countFirst = [&](Logger::Level, const std::string&) { ++first; };
  const Logger::Sink countSecond = [&](Logger::Level, const std::string&) { ++second; };
  Logger::setSink(countFirst);
  std::atomic<bool> stop{false};
  std::thread swapper([&] {
    for (bool flip = false; !stop.load(); flip = !flip)
      Logger::setSink(flip ? countFirst : countSecond);
  });
  std::vector<std::thread> loggers;
  for (int t = 0; t < kThreads; ++t) {
    loggers.emplace_back([] {
      for (int i = 0; i < kLinesPerThread; ++i) Logger::warning("w");
    });
  }
  for (std::thread& thread : loggers) thread.join();
  stop = true;
  swapper.join();
  EXPECT_EQ(first + second, kThreads * kLinesPerThread);
}

}  // namespace
