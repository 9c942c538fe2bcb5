// A progress callback that runs while solveWithin's root LP is in GLPK's hands: it may throw
// (the exception leaves the call, nothing of GLPK stays behind, GLPK keeps working for the
// caller) and may call solveWithin itself. Heartbeats come at every reading of the clock here,
// so the callback runs between the simplex's slices.
#include <glpk.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "setcover/cover_model.hpp"
#include "setcover/within/lp_bound.hpp"
#include "setcover/within/settings.hpp"
#include "setcover/within/within.hpp"
#include "support/child_process.hpp"

namespace {

namespace ntu = nimbrel_tavik_util;
namespace detail = ntu::setcover_detail;

// glp_init_env() answers 1 when the thread already has a GLPK environment; either way the
// thread has one afterwards, which this frees again.
bool threadHasGlpkEnvironment() {
  const bool had = glp_init_env() == 1;
  glp_free_env();
  return had;
}

// The LP of this instance takes many slices of the dual simplex.
struct Instance {
  std::vector<std::int64_t> start{0};
  std::vector<int> rows;
  ntu::CoverMatrix matrix;
  explicit Instance(int elements = 300, int sets = 2000) {
    std::mt19937 rng(77);
    std::vector<char> covered(elements, 0);
    for (int j = 0; j < sets; ++j) {
      for (int i = 0; i < elements; ++i) {
        if (rng() % 50 == 0 || (j == sets - 1 && covered[i] == 0)) {
          rows.push_back(i);
          covered[i] = 1;
        }
      }
      start.push_back(static_cast<std::int64_t>(rows.size()));
    }
    matrix.elements = elements;
    matrix.sets = sets;
    matrix.setStart = start.data();
    matrix.elementIndex = rows.data();
  }
};

detail::PortfolioSettings lpFirst() {
  detail::PortfolioSettings settings;
  settings.heartbeatSeconds = 0.0;
  return settings;
}

// The root only: no search after it.
ntu::SolveLimits rootOnly() {
  ntu::SolveLimits limits;
  limits.nodes = 0;
  return limits;
}

// An exception of the caller's, derived from std::runtime_error as GLPK's failures are.
struct Cancelled : std::runtime_error {
  Cancelled() : std::runtime_error("cancelled by the caller") {}
};

// The callback throws only while GLPK's environment exists, i.e. inside the LP (the thread
// has none before the call, and the call frees its own).
template <typename E>
void throwInsideLp(int& thrown) {
  if (glp_init_env() == 1) {
    ++thrown;
    throw E();
  }
  glp_free_env();
}

TEST(LpCallbackTest, ExceptionsLeaveTheCallAndNothingOfGlpkStays) {
  ASSERT_FALSE(threadHasGlpkEnvironment());
  const Instance instance;
  int thrown = 0;
  ntu::SolveLimits limits = rootOnly();
  limits.onProgress = [&thrown](const ntu::SolveProgress&) { throwInsideLp<Cancelled>(thrown); };
  // Derived from std::runtime_error: not to be taken for a GLPK failure and swallowed; the
  // first throw ends the call.
  EXPECT_THROW(detail::solveWithinSettings(instance.matrix, limits, lpFirst()), Cancelled);
  EXPECT_EQ(thrown, 1);
  EXPECT_FALSE(threadHasGlpkEnvironment());

  struct Plain {};
  thrown = 0;
  limits.onProgress = [&thrown](const ntu::SolveProgress&) { throwInsideLp<Plain>(thrown); };
  EXPECT_THROW(detail::solveWithinSettings(instance.matrix, limits, lpFirst()), Plain);
  EXPECT_EQ(thrown, 1);
  EXPECT_FALSE(threadHasGlpkEnvironment());
}

// After such an exception the thread's GLPK hooks are GLPK's own again: the caller's fatal
// error ends with GLPK's message and abort, not with a jump into a frame that is gone.
TEST(LpCallbackTest, CallersOwnGlpkErrorStillAbortsCleanlyAfterwards) {
  const ntu_test::ChildResult child = ntu_test::runInChild([](std::string& report) {
    const Instance instance;
    int thrown = 0;
    ntu::SolveLimits limits = rootOnly();
    limits.onProgress = [&thrown](const ntu::SolveProgress&) { throwInsideLp<Cancelled>(thrown); };
    try {
      detail::solveWithinSettings(instance.matrix, limits, lpFirst());
    } catch (const Cancelled&) {
      report += "cancelled\n";
    }
    std::fflush(nullptr);
    glp_prob* p = glp_create_prob();
    glp_add_rows(p, -1);  // a fatal error of GLPK's: it prints and aborts
    report += "not reached\n";
  });
  ASSERT_TRUE(WIFSIGNALED(child.status)) << child.describe() << "\n" << child.text;
  EXPECT_EQ(WTERMSIG(child.status), SIGABRT) << child.text;
  EXPECT_NE(child.text.find("glp_add_rows"), std::string::npos) << child.text;
}

// A solveWithin inside the callback, during the outer LP, leaves the outer call working.
TEST(LpCallbackTest, NestedCallDuringTheLpLeavesTheOuterCallIntact) {
  const Instance outer;
  const Instance inner(60, 200);
  int nested = 0;
  ntu::SolveLimits limits = rootOnly();
  limits.onProgress = [&](const ntu::SolveProgress&) {
    if (nested == 3) return;
    if (glp_init_env() != 1) {
      glp_free_env();  // not inside the LP: the environment was made just now
      return;
    }
    ++nested;
    const ntu::SolveResult r = detail::solveWithinSettings(inner.matrix, rootOnly(), lpFirst());
    EXPECT_LE(r.lowerBound, r.cost);
  };
  const ntu::SolveResult r = detail::solveWithinSettings(outer.matrix, limits, lpFirst());
  EXPECT_EQ(nested, 3);
  EXPECT_FALSE(r.ids.empty());
  EXPECT_GT(r.lowerBound, 1.0);  // the LP's duals reached the bound
  EXPECT_FALSE(threadHasGlpkEnvironment());
}

// A stop flag set while GLPK is inside one long slice of the root LP leaves that slice (GLPK
// asks for the limits at its progress output), frees the call's GLPK environment and leaves
// GLPK usable; a caller's own environment is never given up, so there the slice runs out.
TEST(LpCallbackTest, StopFlagLeavesALongSliceAndOnlyTheCallsOwnEnvironment) {
  const Instance big(350, 3000);
  std::vector<int> start(big.start.begin(), big.start.end());
  const detail::CoverModel model = detail::makeCoverModel(350, start, big.rows, {});
  detail::LpOptions oneSlice;
  oneSlice.sliceIterations = 1 << 30;  // the whole LP in one call of GLPK
  std::vector<double> u;
  const auto seconds = [](auto since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
  };
  const auto began = std::chrono::steady_clock::now();
  detail::Budget unlimited(1e10, -1, nullptr);
  ASSERT_TRUE(detail::lpDuals(model, unlimited, 0.0, u, oneSlice));
  const double whole = seconds(began);
  if (whole < 0.2) GTEST_SKIP() << "the LP takes " << whole << " s, too quick to stop inside";
  const std::vector<double> full = u;

  // Returns whether lpDuals finished and its seconds; the flag is set 10 % into the LP.
  const auto stopped = [&]() {
    std::atomic<bool> stop{false};
    detail::Budget budget(1e10, -1, &stop);
    std::thread stopper([&] {
      std::this_thread::sleep_for(std::chrono::duration<double>(whole / 10));
      stop = true;
    });
    const auto at = std::chrono::steady_clock::now();
    const bool finished = detail::lpDuals(model, budget, 0.0, u, oneSlice);
    const double took = seconds(at);
    stopper.join();
    return std::make_pair(finished, took);
  };
  // Generous: the point is leaving the slice, not the milliseconds (the benchmark measures those).
  const auto [finished, took] = stopped();
  EXPECT_FALSE(finished);
  EXPECT_LT(took, whole / 2);
  EXPECT_EQ(u, std::vector<double>(350, 0.0));  // no whole slice: no duals
  EXPECT_FALSE(threadHasGlpkEnvironment());
  ASSERT_TRUE(detail::lpDuals(model, unlimited, 0.0, u, oneSlice));  // GLPK works on
  EXPECT_EQ(u, full);

  ASSERT_EQ(glp_init_env(), 0);  // the caller's own environment, kept through the call
  glp_prob* mine = glp_create_prob();
  EXPECT_TRUE(stopped().first);
  EXPECT_EQ(glp_init_env(), 1);
  glp_delete_prob(mine);
  glp_free_env();
}

}  // namespace
