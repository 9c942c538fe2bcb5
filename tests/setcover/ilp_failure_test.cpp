// solveILP where GLPK would end the process: sizes beyond its limits and its fatal errors
// become exceptions; GLPK's per-thread environment is freed unless the caller holds objects in it.
#include <glpk.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "support/child_process.hpp"

namespace {

using nimbrel_tavik_util::solveILP;
using Lists = std::vector<std::vector<int>>;

std::string outcome(const std::function<void()>& call) {
  try {
    call();
    return "returned";
  } catch (const std::length_error& e) {
    return std::string("length_error: ") + e.what();
  } catch (const std::bad_alloc&) {
    return "bad_alloc";
  } catch (const std::exception& e) {
    return std::string("other: ") + e.what();
  }
}

// n = m columns and rows; column j covers rows j .. j + width - 1 (mod m).
Lists band(int n, int width) {
  Lists columns(static_cast<std::size_t>(n));
  for (int j = 0; j < n; ++j) {
    for (int d = 0; d < width; ++d) columns[j].push_back((j + d) % n);
  }
  return columns;
}

// glp_init_env() answers 1 when the thread already has a GLPK environment; either way the
// thread has one afterwards, which this frees again.
bool threadHasGlpkEnvironment() {
  const bool had = glp_init_env() == 1;
  glp_free_env();
  return had;
}

TEST(SolveIlpFailureTest, SizesBeyondGlpkThrowLengthErrorFirst) {
  // Both used to abort in glp_add_rows / glp_add_cols. No list is read or allocated first:
  // 100000001 lists would not even fit in memory.
  const ntu_test::ChildResult child = ntu_test::runInChild([](std::string& report) {
    report += outcome([] { solveILP(1, 100000001, {{0}}); }) + "\n";
    report += outcome([] { solveILP(100000001, 1, {}); }) + "\n";
  });
  ASSERT_TRUE(child.exitedCleanly()) << child.describe() << "\n" << child.text;
  EXPECT_EQ(child.text,
            "length_error: solveILP: m=100000001 rows, more than GLPK takes (100000000)\n"
            "length_error: solveILP: n=100000001 columns, more than GLPK takes (100000000)\n");
}

TEST(SolveIlpFailureTest, GlpkMemoryLimitBecomesBadAllocAndGlpkStillWorks) {
  // A caller's GLPK memory limit of 1 MB: GLPK's allocator fails as it would without memory.
  // Nothing may be printed (GLPK writes its error to stdout before calling the hook).
  const ntu_test::ChildResult child = ntu_test::runInChild([](std::string& report) {
    glp_mem_limit(1);
    const Lists big = band(5000, 5);
    report += outcome([&] { solveILP(5000, 5000, big); }) + "\n";
    report += threadHasGlpkEnvironment() ? "environment kept\n" : "environment freed\n";
    report += std::to_string(solveILP(2, 1, {{0}, {0}}).size()) + " column chosen afterwards\n";
  });
  ASSERT_TRUE(child.exitedCleanly()) << child.describe() << "\n" << child.text;
  EXPECT_EQ(child.text, "bad_alloc\nenvironment freed\n1 column chosen afterwards\n");
}

#if defined(__SANITIZE_ADDRESS__)
#define NTU_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define NTU_ASAN 1
#endif
#endif

#ifndef NTU_ASAN
long virtualMemoryBytes() {
  std::ifstream status("/proc/self/status");
  for (std::string key; status >> key;) {
    long kb = 0;
    if (key == "VmSize:" && status >> kb) return kb * 1024;
  }
  return -1;
}
#endif

TEST(SolveIlpFailureTest, RealOutOfMemoryInsideGlpkBecomesBadAlloc) {
#ifdef NTU_ASAN
  GTEST_SKIP() << "AddressSanitizer cannot run under an address-space limit";
#else
  // 1,000,000 entries: solveILP's own arrays take 16 MB, GLPK's matrix alone 48 MB. An address
  // space 24 MB above the current one lets the first succeed and GLPK's malloc fail
  // ("glp_alloc: no memory available", which used to abort).
  const ntu_test::ChildResult child = ntu_test::runInChild([](std::string& report) {
    const Lists columns = band(100000, 10);
    // An environment made before the call is freed only by a GLPK fatal error, so the report
    // tells GLPK's failure from one of solveILP's own allocations.
    glp_init_env();
    const long now = virtualMemoryBytes();
    rlimit limit{};
    getrlimit(RLIMIT_AS, &limit);
    const rlimit saved = limit;
    limit.rlim_cur = static_cast<rlim_t>(now + (24L << 20));
    if (now < 0 || setrlimit(RLIMIT_AS, &limit) != 0) {
      report += "cannot limit the address space\n";
      return;
    }
    report += outcome([&] { solveILP(100000, 100000, columns); }) + "\n";
    setrlimit(RLIMIT_AS, &saved);
    report += threadHasGlpkEnvironment() ? "environment kept\n" : "environment freed\n";
  });
  ASSERT_TRUE(child.exitedCleanly()) << child.describe() << "\n" << child.text;
  EXPECT_EQ(child.text, "bad_alloc\nenvironment freed\n");
#endif
}

TEST(SolveIlpFailureTest, ThreadsKeepNoGlpkEnvironmentButCallersObjectsSurvive) {
  // One thread per solve used to leave about 5 KB of GLPK environment behind per thread.
  std::atomic<int> leftBehind{0};
  std::atomic<int> wrong{0};
  auto solveOnce = [&] {
    if (solveILP(4, 4, {{0, 1}, {1, 2}, {2, 3}, {3, 0}}).size() != 2) ++wrong;
    if (threadHasGlpkEnvironment()) ++leftBehind;
  };
  for (int round = 0; round < 100; ++round) {
    std::thread a(solveOnce);
    std::thread b(solveOnce);
    a.join();
    b.join();
  }
  EXPECT_EQ(leftBehind.load(), 0);
  EXPECT_EQ(wrong.load(), 0);

  // A thread with a GLPK problem of its own: the call leaves it, and GLPK's block count,
  // exactly as they were; the count returns to zero once the caller deletes its problem.
  int blocksBefore = -1, blocksAfter = -1, blocksAtEnd = -1, rows = -1;
  std::thread([&] {
    glp_prob* own = glp_create_prob();
    glp_add_rows(own, 3);
    glp_mem_usage(&blocksBefore, nullptr, nullptr, nullptr);
    solveILP(4, 4, {{0, 1}, {1, 2}, {2, 3}, {3, 0}});
    glp_mem_usage(&blocksAfter, nullptr, nullptr, nullptr);
    rows = glp_get_num_rows(own);
    glp_delete_prob(own);
    glp_mem_usage(&blocksAtEnd, nullptr, nullptr, nullptr);
    glp_free_env();
  }).join();
  EXPECT_GT(blocksBefore, 0);
  EXPECT_EQ(blocksAfter, blocksBefore);
  EXPECT_EQ(rows, 3);
  EXPECT_EQ(blocksAtEnd, 0);
}

}  // namespace
