#include "setcover/within/lp_bound.hpp"

#include <glpk.h>

#include <algorithm>
#include <chrono>
#include <csetjmp>
#include <cstddef>
#include <cstdint>

#include "setcover/glpk_trap.hpp"

namespace nimbrel_tavik_util::setcover_detail {

namespace {

// Plain data only: a fatal error leaves runLp by longjmp.
struct LpRun {
  const CoverModel* model = nullptr;
  const int* ia = nullptr;
  const int* ja = nullptr;
  const double* ar = nullptr;
  int ne = 0;
  Budget* budget = nullptr;
  double maxSeconds = 0.0;
  int sliceIterations = 0;
  long long maxIterations = 0;
  double* duals = nullptr;
  bool finished = false;
  GlpkTrap trap;
};

bool runLp(LpRun& run) {
  if (setjmp(run.trap.jump) != 0) return false;
  run.trap.install();

  const CoverModel& m = *run.model;
  glp_prob* p = glp_create_prob();
  glp_set_obj_dir(p, GLP_MIN);
  glp_add_cols(p, m.numCols);
  for (int j = 1; j <= m.numCols; ++j) {
    glp_set_col_bnds(p, j, GLP_LO, 0.0, 0.0);
    glp_set_obj_coef(p, j, m.cost[j - 1]);
  }
  glp_add_rows(p, m.numRows);
  for (int i = 1; i <= m.numRows; ++i) glp_set_row_bnds(p, i, GLP_LO, 1.0, 0.0);
  glp_load_matrix(p, run.ne, run.ia, run.ja, run.ar);

  // The slack basis is dual feasible (costs are >= 0), so the dual simplex needs no first phase
  // and its duals are usable whenever it stops.
  glp_smcp smcp;
  glp_init_smcp(&smcp);
  smcp.msg_lev = GLP_MSG_OFF;
  smcp.meth = GLP_DUAL;
  smcp.it_lim = run.sliceIterations;
  const auto start = Budget::Clock::now();
  long long iterations = 0;
  for (;;) {
    const int ret = glp_simplex(p, &smcp);
    iterations += run.sliceIterations;
    if (ret == 0 && glp_get_status(p) == GLP_OPT) {
      run.finished = true;
      break;
    }
    if (ret != 0 && ret != GLP_EITLIM) break;  // numerical trouble: keep the duals so far
    run.budget->charge(static_cast<std::uint64_t>(run.sliceIterations) *
                       static_cast<std::uint64_t>(m.numRows + m.numCols));
    if (run.budget->timeUp() || iterations >= run.maxIterations) break;
    if (run.maxSeconds > 0.0 &&
        std::chrono::duration<double>(Budget::Clock::now() - start).count() >= run.maxSeconds) {
      break;
    }
  }
  for (int i = 1; i <= m.numRows; ++i) run.duals[i - 1] = std::max(0.0, glp_get_row_dual(p, i));
  glp_delete_prob(p);
  run.trap.remove();
  return true;
}

}  // namespace

bool lpDuals(const CoverModel& model, Budget& budget, double maxSeconds, std::vector<double>& u,
             const LpOptions& options) {
  u.assign(model.numRows, 0.0);
  if (model.numRows == 0) return true;
  const std::size_t total = model.colRows.size();
  if (total > options.maxEntries) return false;
  std::vector<int> ia(total + 1, 0);  // GLPK's 1-based triplets; entry 0 is never read
  std::vector<int> ja(total + 1, 0);
  std::vector<double> ar(total + 1, 1.0);
  std::size_t k = 1;
  for (int j = 0; j < model.numCols; ++j) {
    for (const int* r = model.colBegin(j); r != model.colEnd(j); ++r, ++k) {
      ia[k] = *r + 1;
      ja[k] = j + 1;
    }
  }
  const int envState = startGlpk("solveWithin");
  LpRun run;
  run.model = &model;
  run.ia = ia.data();
  run.ja = ja.data();
  run.ar = ar.data();
  run.ne = static_cast<int>(total);
  run.budget = &budget;
  run.maxSeconds = maxSeconds;
  run.sliceIterations = options.sliceIterations;
  run.maxIterations = options.iterationsPerLine * (model.numRows + model.numCols);
  run.duals = u.data();
  if (!runLp(run)) failGlpk(run.trap, "solveWithin");
  if (envState == 0) glp_free_env();
  return run.finished;
}

}  // namespace nimbrel_tavik_util::setcover_detail
