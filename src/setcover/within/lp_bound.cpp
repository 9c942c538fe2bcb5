#include "setcover/within/lp_bound.hpp"

#include <glpk.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "setcover/glpk_trap.hpp"

namespace nimbrel_tavik_util::setcover_detail {

namespace {

const char* const kWho = "solveWithin";

// The thread's GLPK environment, freed at the end when it was made here (also when an
// exception passes); after a fatal error failGlpk has freed it already.
class Environment {
 public:
  Environment() : created_(startGlpk(kWho) == 0) {}
  ~Environment() {
    if (created_) glp_free_env();
  }
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;
  [[noreturn]] void fail(const GlpkTrap& trap) {
    created_ = false;
    failGlpk(trap, kWho);
  }
  bool created() const { return created_; }
  // After a call left by the trap's watch: the environment (made here) goes with its state.
  void abandon() {
    created_ = false;
    glp_free_env();
  }

 private:
  bool created_;
};

// The problem object, deleted before its environment.
class Problem {
 public:
  Problem() = default;
  ~Problem() {
    if (p_ != nullptr) glp_delete_prob(p_);
  }
  Problem(const Problem&) = delete;
  Problem& operator=(const Problem&) = delete;
  glp_prob*& get() { return p_; }
  // After a fatal error the object died with the environment.
  void forget() { p_ = nullptr; }

 private:
  glp_prob* p_ = nullptr;
};

}  // namespace

bool lpDuals(const CoverModel& model, Budget& budget, double maxSeconds, std::vector<double>& u,
             const LpOptions& options) {
  u.assign(model.numRows, 0.0);
  if (model.numRows == 0) return true;
  const std::size_t total = model.colRows.size();
  if (total > options.maxEntries || model.numRows > options.maxRows) return false;
  std::vector<int> ia(total + 1, 0);  // GLPK's 1-based triplets; entry 0 is never read
  std::vector<double> ar(total + 1, 1.0);
  std::size_t k = 1;
  for (int j = 0; j < model.numCols; ++j) {
    for (const int* r = model.colBegin(j); r != model.colEnd(j); ++r, ++k) ia[k] = *r + 1;
  }

  // GLPK runs only inside runTrapped, with plain data; the budget is charged between its
  // calls, where the progress callback may run, throw, or call GLPK itself.
  Environment environment;
  Problem problem;
  GlpkTrap trap;
  glp_prob*& p = problem.get();
  const bool loaded = runTrapped(trap, [&] {
    p = glp_create_prob();
    glp_set_obj_dir(p, GLP_MIN);
    glp_add_cols(p, model.numCols);
    for (int j = 1; j <= model.numCols; ++j) {
      glp_set_col_bnds(p, j, GLP_LO, 0.0, 0.0);
      glp_set_obj_coef(p, j, model.cost[j - 1]);
    }
    glp_add_rows(p, model.numRows);
    for (int i = 1; i <= model.numRows; ++i) glp_set_row_bnds(p, i, GLP_LO, 1.0, 0.0);
  });
  if (!loaded) {
    problem.forget();
    environment.fail(trap);
  }
  // The matrix column by column, in slices of about kLoadSlice entries with the budget asked
  // between them: loading all at once took about 80 ms on scpnrh1, unpolled. Each column's
  // entries are prepended to its rows' lists in the order glp_load_matrix would take them
  // from these triplets, so the problem GLPK sees is the same.
  constexpr std::size_t kLoadSlice = std::size_t{1} << 16;
  int col = 0;
  while (col < model.numCols) {
    int until = col;
    std::size_t entries = 0;
    while (until < model.numCols && entries < kLoadSlice) entries += model.colSize(until++);
    if (!runTrapped(trap, [&] {
          for (int j = col; j < until; ++j) {
            // ind[1..len] and val[1..len], as GLPK counts: entries colStart[j] + 1 onwards.
            const std::size_t at = static_cast<std::size_t>(model.colStart[j]);
            glp_set_mat_col(p, j + 1, model.colSize(j), ia.data() + at, ar.data() + at);
          }
        })) {
      problem.forget();
      environment.fail(trap);
    }
    col = until;
    if (col < model.numCols && budget.timeUp()) return false;  // u stays 0: no bound from here
  }

  // The slack basis is dual feasible (costs are >= 0), so the dual simplex needs no first phase
  // and its duals are usable whenever it stops.
  glp_smcp smcp;
  glp_init_smcp(&smcp);
  smcp.msg_lev = GLP_MSG_OFF;
  smcp.meth = GLP_DUAL;
  // A slice cannot be stopped from outside, and untimed slices keep a fixed count (below), so
  // GLPK is watched from within: its progress output, every few milliseconds, asks the budget,
  // and a stop or the deadline leaves the slice at once with the duals of the slice before.
  // The output has no bearing on GLPK's path. Only an environment made here can be given up.
  if (environment.created()) {
    smcp.msg_lev = GLP_MSG_ON;
    smcp.out_frq = GlpkTrap::kInterruptMs;
    trap.watch = &budget;
  }
  // With a deadline (where nothing repeats anyway) the slices are sized so that each takes
  // about kSliceSeconds (2 iterations at least): 50 iterations took 45 ms on scpnrg5 (1000
  // rows; a restart refactors the basis), far past the stop flag's 10 ms. Without one the count
  // stays fixed, since the slices' restarts shape GLPK's path and so the duals, and node-limited
  // runs repeat also with a stop flag given (the Python module and the CLI always give one).
  constexpr double kSliceSeconds = 0.004;
  const bool timed = budget.hasDeadline();
  int slice = timed ? std::min(options.sliceIterations, 4) : options.sliceIterations;
  const auto readDuals = [&] {
    if (!runTrapped(trap, [&] {
          for (int i = 1; i <= model.numRows; ++i) {
            u[i - 1] = std::max(0.0, glp_get_row_dual(p, i));
          }
        })) {
      problem.forget();
      if (!trap.interrupted) environment.fail(trap);
      environment.abandon();
      return false;
    }
    return true;
  };
  const auto start = Budget::Clock::now();
  const long long maxIterations = options.iterationsPerLine * (model.numRows + model.numCols);
  long long iterations = 0;
  bool finished = false;
  for (;;) {
    int ret = 0;
    int status = 0;
    const int used = slice;
    smcp.it_lim = used;
    const auto sliceStart = Budget::Clock::now();
    if (!runTrapped(trap, [&] {
          ret = glp_simplex(p, &smcp);
          status = glp_get_status(p);
        })) {
      problem.forget();
      if (!trap.interrupted) environment.fail(trap);
      environment.abandon();
      return false;  // u: the duals of the last whole slice
    }
    iterations += used;
    if (timed) {
      const double took = std::chrono::duration<double>(Budget::Clock::now() - sliceStart).count();
      const double scaled = took > 0.0 ? used * kSliceSeconds / took : 2.0 * used;
      slice = static_cast<int>(
          std::clamp(scaled, 2.0, static_cast<double>(std::max(2, options.sliceIterations))));
    }
    if (ret == 0 && status == GLP_OPT) {
      finished = true;
      break;
    }
    if (ret != 0 && ret != GLP_EITLIM) break;  // numerical trouble: keep the duals so far
    if (trap.watch != nullptr && !readDuals()) return false;
    budget.charge(static_cast<std::uint64_t>(used) *
                  static_cast<std::uint64_t>(model.numRows + model.numCols));
    if (budget.timeUp() || iterations >= maxIterations) break;
    if (maxSeconds > 0.0 &&
        std::chrono::duration<double>(Budget::Clock::now() - start).count() >= maxSeconds) {
      break;
    }
  }
  return readDuals() && finished;
}

}  // namespace nimbrel_tavik_util::setcover_detail
