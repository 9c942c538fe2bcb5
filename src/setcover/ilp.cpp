// Exact set cover as a 0/1 integer program solved by GLPK.
#include <glpk.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "setcover/index_form.hpp"

namespace nimbrel_tavik_util {

namespace {

// GLPK answers a bad matrix with a fatal error that aborts the process, so every list is
// checked before GLPK sees it. O(entries + m).
void validate(int n, int m, const std::vector<std::vector<int>>& columns) {
  if (n < 0 || m < 0) {
    throw std::invalid_argument("solveILP: negative size (n=" + std::to_string(n) +
                                ", m=" + std::to_string(m) + ")");
  }
  if (columns.size() < static_cast<std::size_t>(n)) {
    throw std::invalid_argument("solveILP: " + std::to_string(columns.size()) +
                                " column lists for n=" + std::to_string(n) + " columns");
  }
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

struct ProbDeleter {
  void operator()(glp_prob* p) const { glp_delete_prob(p); }
};

}  // namespace

std::vector<int> solveILP(int n, int m, const std::vector<std::vector<int>>& columns) {
  validate(n, m, columns);
  if (n == 0 || m == 0) return {};

  // GLPK's 1-based triplets, column by column; entry 0 is present but never read.
  std::size_t total = 0;
  for (int j = 0; j < n; ++j) total += columns[j].size();
  if (total > static_cast<std::size_t>(INT_MAX - 1)) {
    throw std::length_error("solveILP: " + std::to_string(total) +
                            " matrix entries, more than GLPK can index");
  }
  const int ne = static_cast<int>(total);
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

  // Owned, so the problem is deleted on every path out, exceptions included.
  const std::unique_ptr<glp_prob, ProbDeleter> prob(glp_create_prob());
  glp_prob* p = prob.get();
  glp_set_obj_dir(p, GLP_MIN);

  glp_smcp smcp;
  glp_init_smcp(&smcp);
  smcp.msg_lev = GLP_MSG_OFF;
  glp_iocp iocp;
  glp_init_iocp(&iocp);
  iocp.msg_lev = GLP_MSG_OFF;  // presolve stays off: intopt starts from the simplex basis

  glp_add_cols(p, n);
  for (int j = 1; j <= n; ++j) {
    glp_set_col_kind(p, j, GLP_BV);
    glp_set_obj_coef(p, j, 1.0);
  }
  glp_add_rows(p, m);
  for (int i = 1; i <= m; ++i) glp_set_row_bnds(p, i, GLP_LO, 1.0, 0.0);
  glp_load_matrix(p, ne, ia.data(), ja.data(), ar.data());

  // A relaxation that is not solved to optimality makes intopt fail, which is reported below.
  glp_simplex(p, &smcp);
  const int ret = glp_intopt(p, &iocp);
  const int status = glp_mip_status(p);

  std::vector<int> chosen;
  if (ret == 0 && (status == GLP_OPT || status == GLP_FEAS)) {
    for (int j = 0; j < n; ++j) {
      if (glp_mip_col_val(p, j + 1) > 0.5) chosen.push_back(j);
    }
  } else {
    std::cerr << "[SetCoverSolver] GLPK ILP failed (ret=" << ret << ", status=" << status
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
