// Exact set cover as a 0/1 integer program solved by GLPK.
#include <glpk.h>

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "setcover/glpk_trap.hpp"
#include "setcover/index_form.hpp"

namespace nimbrel_tavik_util {

namespace {

// GLPK's own bounds (M_MAX, N_MAX, NNZ_MAX); beyond them it ends the process.
constexpr int kGlpkMaxRows = 100000000;
constexpr int kGlpkMaxColumns = 100000000;
constexpr std::size_t kGlpkMaxEntries = 500000000;

// Sizes before anything is allocated, so that absurd sizes cost nothing.
void checkSizes(int n, int m, std::size_t lists) {
  if (n < 0 || m < 0) {
    throw std::invalid_argument("solveILP: negative size (n=" + std::to_string(n) +
                                ", m=" + std::to_string(m) + ")");
  }
  if (n > kGlpkMaxColumns) {
    throw std::length_error("solveILP: n=" + std::to_string(n) +
                            " columns, more than GLPK takes (" + std::to_string(kGlpkMaxColumns) +
                            ")");
  }
  if (m > kGlpkMaxRows) {
    throw std::length_error("solveILP: m=" + std::to_string(m) + " rows, more than GLPK takes (" +
                            std::to_string(kGlpkMaxRows) + ")");
  }
  if (lists < static_cast<std::size_t>(n)) {
    throw std::invalid_argument("solveILP: " + std::to_string(lists) +
                                " column lists for n=" + std::to_string(n) + " columns");
  }
}

// GLPK answers a bad matrix with a fatal error, so every list is checked before GLPK sees it.
// O(entries + m).
void validate(int n, int m, const std::vector<std::vector<int>>& columns) {
  std::vector<int> lastColumn(static_cast<std::size_t>(m), -1);  // column that last listed a row
  for (int j = 0; j < n; ++j) {
    for (int row : columns[j]) {
      if (row < 0 || row >= m) {
        throw std::invalid_argument("solveILP: column " + std::to_string(j) + " lists row " +
                                    std::to_string(row) + " outside [0, " + std::to_string(m) +
                                    ")");
      }
      if (lastColumn[row] == j) {
        throw std::invalid_argument("solveILP: column " + std::to_string(j) + " lists row " +
                                    std::to_string(row) + " twice");
      }
      lastColumn[row] = j;
    }
  }
}

// The model in GLPK's terms, and what comes back. Plain data only: a fatal error in GLPK
// leaves by longjmp, which must not skip a destructor.
struct GlpkRun {
  int n = 0;
  int m = 0;
  int ne = 0;
  const int* ia = nullptr;
  const int* ja = nullptr;
  const double* ar = nullptr;
  unsigned char* chosen = nullptr;  // n flags, set for the columns at 1 in the MIP solution
  int ret = 0;
  int status = 0;
  setcover_detail::GlpkTrap trap;
};

// All GLPK calls of one solve. Returns false after a fatal error, when the thread's GLPK
// environment must be freed before GLPK is used again.
bool runGlpk(GlpkRun& run) {
  if (setjmp(run.trap.jump) != 0) return false;
  run.trap.install();

  glp_prob* p = glp_create_prob();
  glp_set_obj_dir(p, GLP_MIN);
  glp_smcp smcp;
  glp_init_smcp(&smcp);
  smcp.msg_lev = GLP_MSG_OFF;
  glp_iocp iocp;
  glp_init_iocp(&iocp);
  iocp.msg_lev = GLP_MSG_OFF;  // presolve stays off: intopt starts from the simplex basis

  glp_add_cols(p, run.n);
  for (int j = 1; j <= run.n; ++j) {
    glp_set_col_kind(p, j, GLP_BV);
    glp_set_obj_coef(p, j, 1.0);
  }
  glp_add_rows(p, run.m);
  for (int i = 1; i <= run.m; ++i) glp_set_row_bnds(p, i, GLP_LO, 1.0, 0.0);
  glp_load_matrix(p, run.ne, run.ia, run.ja, run.ar);

  // A relaxation that is not solved to optimality makes intopt fail, which is reported below.
  glp_simplex(p, &smcp);
  run.ret = glp_intopt(p, &iocp);
  run.status = glp_mip_status(p);
  if (run.ret == 0 && (run.status == GLP_OPT || run.status == GLP_FEAS)) {
    for (int j = 0; j < run.n; ++j) run.chosen[j] = glp_mip_col_val(p, j + 1) > 0.5;
  }
  glp_delete_prob(p);
  run.trap.remove();
  return true;
}

}  // namespace

std::vector<int> solveILP(int n, int m, const std::vector<std::vector<int>>& columns) {
  checkSizes(n, m, columns.size());
  validate(n, m, columns);
  if (n == 0 || m == 0) return {};

  // GLPK's 1-based triplets, column by column; entry 0 is present but never read.
  std::size_t total = 0;
  for (int j = 0; j < n; ++j) total += columns[j].size();
  if (total > kGlpkMaxEntries) {
    throw std::length_error("solveILP: " + std::to_string(total) +
                            " matrix entries, more than GLPK takes (" +
                            std::to_string(kGlpkMaxEntries) + ")");
  }
  std::vector<int> ia(total + 1, 0);
  std::vector<int> ja(total + 1, 0);
  std::vector<double> ar(total + 1, 0.0);
  int k = 1;
  for (int j = 0; j < n; ++j) {
    for (int row : columns[j]) {
      ia[k] = row + 1;
      ja[k] = j + 1;
      ar[k] = 1.0;
      ++k;
    }
  }
  std::vector<unsigned char> chosenFlags(static_cast<std::size_t>(n), 0);

  // GLPK keeps one environment per thread. One made here is freed again at the end, so a
  // thread that only solves through this function keeps nothing; one that existed before
  // belongs to the caller, whose problem objects live in it.
  const int envState = setcover_detail::startGlpk("solveILP");
  GlpkRun run;
  run.n = n;
  run.m = m;
  run.ne = static_cast<int>(total);
  run.ia = ia.data();
  run.ja = ja.data();
  run.ar = ar.data();
  run.chosen = chosenFlags.data();
  if (!runGlpk(run)) setcover_detail::failGlpk(run.trap, "solveILP");
  if (envState == 0) glp_free_env();

  std::vector<int> chosen;
  if (run.ret == 0 && (run.status == GLP_OPT || run.status == GLP_FEAS)) {
    for (int j = 0; j < n; ++j) {
      if (chosenFlags[j] != 0) chosen.push_back(j);
    }
  } else {
    std::cerr << "[SetCoverSolver] GLPK ILP failed (ret=" << run.ret << ", status=" << run.status
              << "), falling back to empty result\n";
  }
  return chosen;
}

template <typename T>
std::vector<int> SetCoverSolver<T>::_solveByILP(const std::map<int, std::set<T>>& instance) {
  // Rows: elements in ascending order. Columns: non-empty sets in ascending id order.
  const setcover_detail::IndexForm form = setcover_detail::buildIndexForm(instance);
  if (form.numElems == 0) return {};
  std::vector<int> columnIds;
  std::vector<std::vector<int>> columns;
  for (int s = 0; s < form.numSets(); ++s) {
    if (form.start[s] == form.start[s + 1]) continue;
    columnIds.push_back(form.ids[s]);
    columns.push_back(form.list(s));
  }
  const std::vector<int> picked =
      solveILP(static_cast<int>(columns.size()), form.numElems, columns);
  std::vector<int> result;
  result.reserve(picked.size());
  for (int j : picked) result.push_back(columnIds[j]);
  std::sort(result.begin(), result.end());
  return result;
}

// Each source file instantiates the members it defines, for each element type.
template std::vector<int> SetCoverSolver<int>::_solveByILP(const std::map<int, std::set<int>>&);
template std::vector<int> SetCoverSolver<unsigned long>::_solveByILP(
    const std::map<int, std::set<unsigned long>>&);
template std::vector<int> SetCoverSolver<std::string>::_solveByILP(
    const std::map<int, std::set<std::string>>&);

}  // namespace nimbrel_tavik_util
