// The node LP: one GLPK problem kept through the branch-and-bound, re-solved per node.
#include "setcover/within/node_lp.hpp"

#include <glpk.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "setcover/within/lagrangian.hpp"

namespace nimbrel_tavik_util::setcover_detail {

namespace {

glp_prob* lp(void* p) { return static_cast<glp_prob*>(p); }

}  // namespace

NodeLp::NodeLp(const CoverModel& model, const NodeLpOptions& options)
    : m_(model), options_(options) {}

NodeLp::~NodeLp() {
  if (prob_ != nullptr) glp_delete_prob(lp(prob_));
  if (ownEnv_) glp_free_env();
}

bool NodeLp::wanted(int depth, long long node) const {
  if (options_.mode <= 0 || failed_) return false;
  if (options_.mode >= 2 || depth <= options_.depth) return true;
  if (samples_ == 0 || gain_ >= options_.minGain) return true;
  return options_.probeEvery > 0 && node % options_.probeEvery == 0;
}

void NodeLp::record(double gain) {
  // An average over about the last eight nodes that ran the LP.
  gain_ = samples_ == 0 ? gain : gain_ + (gain - gain_) / 8.0;
  ++samples_;
}

// After a fatal error GLPK's environment must be freed, and the problem died with it; the
// node LP stays off from here on.
void NodeLp::fail() {
  glp_free_env();
  prob_ = nullptr;
  ownEnv_ = false;
  failed_ = true;
}

bool NodeLp::build() {
  glp_prob* p = nullptr;
  const int n = m_.numCols;
  const int rows = m_.numRows;
  const int* start = m_.colStart.data();
  const int* index = m_.colRows.data();
  // GLPK counts entries from 1: column j's rows are ind[1..len] with ind = its start - 1, and
  // are 0-based here, so they are copied once into 1-based numbers.
  std::vector<int> ind(m_.colRows.size() + 1, 0);
  for (std::size_t k = 0; k < m_.colRows.size(); ++k) ind[k + 1] = index[k] + 1;
  std::vector<double> one(m_.colRows.size() + 1, 1.0);
  const double* cost = m_.cost.data();
  int* indData = ind.data();
  double* oneData = one.data();
  if (!runTrapped(trap_, [&] {
        p = glp_create_prob();
        glp_set_obj_dir(p, GLP_MIN);
        glp_add_cols(p, n);
        glp_add_rows(p, rows);
        for (int i = 1; i <= rows; ++i) glp_set_row_bnds(p, i, GLP_LO, 1.0, 0.0);
        for (int j = 1; j <= n; ++j) {
          glp_set_col_bnds(p, j, GLP_LO, 0.0, 0.0);
          glp_set_obj_coef(p, j, cost[j - 1]);
          glp_set_mat_col(p, j, start[j] - start[j - 1], indData + start[j - 1],
                          oneData + start[j - 1]);
        }
      })) {
    fail();
    return false;
  }
  prob_ = p;
  state_.assign(n, 0);
  want_.assign(n, 0);
  return true;
}

bool NodeLp::solve(const char* rowOpen, const char* colFree, const std::vector<int>& chosen,
                   Budget& budget, int depth, std::vector<double>& u, bool& optimal) {
  optimal = false;
  if (options_.mode <= 0 || failed_ || m_.numRows == 0) return false;
  if (m_.numRows > options_.maxRows ||
      static_cast<long long>(m_.colRows.size()) > options_.maxEntries) {
    return false;
  }
  // A progress callback may have used GLPK in between, even freed the environment (after a
  // fatal error of its own): then the problem went with it and is built again.
  const int env = glp_init_env();
  if (env != 0 && env != 1) {
    failed_ = true;  // no memory for an environment: go on without
    return false;
  }
  if (env == 0) {
    ownEnv_ = true;
    prob_ = nullptr;
  }
  if (prob_ == nullptr && !build()) return false;
  budget.charge(static_cast<std::uint64_t>(m_.colRows.size() + m_.numCols));

  // The node's decisions as column bounds; only the columns whose state changed are touched.
  const int n = m_.numCols;
  for (int j = 0; j < n; ++j) want_[j] = colFree[j] ? 0 : 2;
  for (int j : chosen) want_[j] = 1;
  glp_prob* p = lp(prob_);
  const char* want = want_.data();
  char* state = state_.data();
  if (!runTrapped(trap_, [&] {
        for (int j = 0; j < n; ++j) {
          if (want[j] == state[j]) continue;
          if (want[j] == 0) {
            glp_set_col_bnds(p, j + 1, GLP_LO, 0.0, 0.0);
          } else {
            glp_set_col_bnds(p, j + 1, GLP_FX, want[j] == 1 ? 1.0 : 0.0, 0.0);
          }
          state[j] = want[j];
        }
      })) {
    fail();
    return false;
  }
  budget.charge(static_cast<std::uint64_t>(n));

  // Fixing columns keeps the basis dual feasible; freeing them again (going up the tree) may
  // not, which GLPK's dual simplex repairs in its first phase.
  int openRows = 0;
  for (int i = 0; i < m_.numRows; ++i) openRows += rowOpen[i] ? 1 : 0;
  const long long lines = static_cast<long long>(m_.numRows) + n;
  const long long cap =
      depth == 0 ? 4 * lines
                 : std::max<long long>(50, std::llround(options_.iterationsPerRow * openRows));
  glp_smcp smcp;
  glp_init_smcp(&smcp);
  smcp.msg_lev = GLP_MSG_OFF;
  smcp.meth = GLP_DUALP;
  long long used = 0;
  bool ok = true;
  while (used < cap) {
    // Slices of a fixed count, so that a run without a deadline repeats, with the budget
    // polled between them.
    smcp.it_lim = static_cast<int>(std::min<long long>(options_.sliceIterations, cap - used));
    int ret = 0;
    int status = 0;
    int before = 0;
    int after = 0;
    if (!runTrapped(trap_, [&] {
          before = glp_get_it_cnt(p);
          ret = glp_simplex(p, &smcp);
          if (ret == GLP_EBADB || ret == GLP_ESING || ret == GLP_ECOND) {
            glp_std_basis(p);  // the next node starts from the slack basis
          }
          status = glp_get_status(p);
          after = glp_get_it_cnt(p);
        })) {
      fail();
      return false;
    }
    const long long did = std::max(1, after - before);
    used += did;
    iterations_ += did;
    budget.charge(static_cast<std::uint64_t>(
        std::llround(static_cast<double>(did) * options_.workPerIterationLine * lines)));
    if (ret == 0 && status == GLP_OPT) {
      optimal = true;
      break;
    }
    if (ret != GLP_EITLIM) {
      ok = ret == 0;  // infeasible or unbounded: the duals say nothing useful
      break;
    }
    if (budget.timeUp()) break;
  }
  if (!ok) return false;
  const char* open = rowOpen;
  double* out = u.data();
  if (!runTrapped(trap_, [&] {
        for (int i = 0; i < m_.numRows; ++i) {
          out[i] = open[i] ? std::max(0.0, glp_get_row_dual(p, i + 1)) : 0.0;
        }
      })) {
    fail();
    return false;
  }
  return true;
}

void nodeLpMultipliers(NodeLp& lp, const CoverModel& model, Residual res,
                       const std::vector<int>& chosen, double fixedCost, double cutoff, int depth,
                       Budget& budget, std::vector<double>& u, std::vector<double>& gamma) {
  std::vector<double> lpU(u.size(), 0.0);
  bool optimal = false;
  if (!lp.solve(res.rowActive, res.colFree, chosen, budget, depth, lpU, optimal)) return;
  const double before = lagrangeValue(model, res, u, gamma, budget);
  const double after = lagrangeValue(model, res, lpU, gamma, budget);
  const double gap = cutoff - fixedCost - before;
  lp.record(std::isfinite(gap) && gap > 0.0 ? (after - before) / gap : 0.0);
  // Unfinished, the LP's duals can be worse than the inherited multipliers: keep the better.
  if (after > before) u.swap(lpU);
}

}  // namespace nimbrel_tavik_util::setcover_detail
