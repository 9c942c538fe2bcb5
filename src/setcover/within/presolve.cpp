#include "setcover/within/presolve.hpp"

#include <algorithm>
#include <limits>
#include <utility>

#include "setcover/within/incumbent.hpp"

namespace nimbrel_tavik_util::setcover_detail {

namespace {

// Working state of the reductions: which rows still need covering and which columns may still
// be used, with counts of the live entries on each side.
class Reducer {
 public:
  // `allowance`: the work this round may spend (the rest of reduce()'s allowance).
  Reducer(const CoverModel& model, Budget& budget, const ReduceOptions& options,
          std::uint64_t allowance)
      : m_(model),
        options_(options),
        budget_(budget),
        rowAlive_(model.numRows, 1),
        colAlive_(model.numCols, 1),
        rowLive_(model.numRows),
        colLive_(model.numCols),
        cap_(allowance) {
    for (int i = 0; i < model.numRows; ++i) rowLive_[i] = model.rowSize(i);
    for (int j = 0; j < model.numCols; ++j) colLive_[j] = model.colSize(j);
  }

  // One round of every rule (free columns first when `takeFree`), then the singleton rows.
  // Sets `changed`; returns the smaller model, or an identity result (no copy) when nothing
  // changed.
  Reduced round(bool takeFree, bool& changed);
  std::uint64_t work() const { return work_; }

 private:
  bool spend(std::uint64_t units) {
    work_ += units;
    budget_.charge(units);
    return work_ <= cap_ && !budget_.expired();
  }
  void take(int j) {
    fixed_.push_back(j);
    killCol(j);
    for (const int* r = m_.colBegin(j); r != m_.colEnd(j); ++r) {
      if (rowAlive_[*r]) killRow(*r);
    }
  }
  void killRow(int i) {
    rowAlive_[i] = 0;
    for (const int* c = m_.rowBegin(i); c != m_.rowEnd(i); ++c) {
      if (colAlive_[*c]) --colLive_[*c];
    }
    spend(static_cast<std::uint64_t>(m_.rowSize(i)) + 1);
  }
  void killCol(int j) {
    colAlive_[j] = 0;
    for (const int* r = m_.colBegin(j); r != m_.colEnd(j); ++r) {
      if (rowAlive_[*r]) --rowLive_[*r];
    }
    spend(static_cast<std::uint64_t>(m_.colSize(j)) + 1);
  }
  bool forceSingletons();
  bool dropCostlyColumns();
  bool dropIncludedColumns();
  bool dropIncludingRows();

  const CoverModel& m_;
  const ReduceOptions options_;
  Budget& budget_;
  std::vector<char> rowAlive_;  // still to be covered and not implied by another row
  std::vector<char> colAlive_;  // still available
  std::vector<int> rowLive_;    // alive columns of each row
  std::vector<int> colLive_;    // alive rows of each column
  std::vector<int> fixed_;
  std::uint64_t work_ = 0;
  std::uint64_t cap_;
};

bool Reducer::forceSingletons() {
  bool changed = false;
  for (int i = 0; i < m_.numRows && !budget_.expired(); ++i) {
    if (!rowAlive_[i] || rowLive_[i] != 1) continue;
    for (const int* c = m_.rowBegin(i); c != m_.rowEnd(i); ++c) {
      if (colAlive_[*c]) {
        take(*c);
        changed = true;
        break;
      }
    }
  }
  return changed;
}

// A column costing more than the cheapest other columns of its rows together is in no optimal
// cover: swapping it for them is cheaper. Strictness keeps this sound when applied to all
// columns at once (a replacement is always strictly cheaper than what it replaces).
bool Reducer::dropCostlyColumns() {
  if (m_.unicost) return false;  // a column of cost 1 never costs more than one other
  std::vector<double> min1(m_.numRows, kInfCost);
  std::vector<double> min2(m_.numRows, kInfCost);
  std::vector<int> arg1(m_.numRows, -1);
  for (int i = 0; i < m_.numRows; ++i) {
    if (!rowAlive_[i]) continue;
    for (const int* c = m_.rowBegin(i); c != m_.rowEnd(i); ++c) {
      if (!colAlive_[*c]) continue;
      const double v = m_.cost[*c];
      if (v < min1[i]) {
        min2[i] = min1[i];
        min1[i] = v;
        arg1[i] = *c;
      } else if (v < min2[i]) {
        min2[i] = v;
      }
    }
    if (!spend(static_cast<std::uint64_t>(m_.rowSize(i)) + 1)) return false;
  }
  std::vector<int> drop;
  for (int j = 0; j < m_.numCols; ++j) {
    if (!colAlive_[j]) continue;
    double sum = 0.0;
    for (const int* r = m_.colBegin(j); r != m_.colEnd(j) && sum < kInfCost; ++r) {
      if (rowAlive_[*r]) sum += arg1[*r] == j ? min2[*r] : min1[*r];
    }
    if (m_.cost[j] > sum * (1.0 + 1e-12) + 1e-12) drop.push_back(j);
    if (!spend(static_cast<std::uint64_t>(m_.colSize(j)) + 1)) break;
  }
  for (int j : drop) killCol(j);
  return !drop.empty();
}

// Column j goes when an alive column k holds all its alive rows at no higher cost (on equal
// rows and cost the smaller index stays). Candidates k come from j's alive row with the fewest
// alive columns; containment is checked by binary search in k's sorted rows.
bool Reducer::dropIncludedColumns() {
  bool changed = false;
  for (int j = 0; j < m_.numCols; ++j) {
    if (!colAlive_[j] || colLive_[j] == 0) continue;
    int pivot = -1;
    for (const int* r = m_.colBegin(j); r != m_.colEnd(j); ++r) {
      if (rowAlive_[*r] && (pivot < 0 || rowLive_[*r] < rowLive_[pivot])) pivot = *r;
    }
    if (!spend(static_cast<std::uint64_t>(m_.colSize(j)) + 1)) return changed;
    for (const int* c = m_.rowBegin(pivot); c != m_.rowEnd(pivot); ++c) {
      const int k = *c;
      if (k == j || !colAlive_[k] || colLive_[k] < colLive_[j] || m_.cost[k] > m_.cost[j]) {
        continue;
      }
      if (colLive_[k] == colLive_[j] && m_.cost[k] == m_.cost[j] && k > j) continue;
      bool inside = true;
      std::uint64_t probes = 1;
      for (const int* r = m_.colBegin(j); r != m_.colEnd(j) && inside; ++r) {
        if (!rowAlive_[*r] || *r == pivot) continue;
        ++probes;
        inside = std::binary_search(m_.colBegin(k), m_.colEnd(k), *r);
      }
      if (!spend(probes * 4)) return changed;
      if (inside) {
        killCol(j);
        changed = true;
        break;
      }
    }
  }
  return changed;
}

// Row k goes when the alive columns of another alive row i are all columns of k: whatever
// covers i covers k. On equal column sets the smaller index stays.
// A 64-bit signature of each alive row's alive columns (one bit per column, by a hash of its
// index) rules out most candidates in one test: a row whose signature has a bit that k's
// lacks holds a column that k does not. On the coverage instances (about 45 columns a row)
// it cut this rule's time several fold; on the corpus files it changes nothing.
bool Reducer::dropIncludingRows() {
  bool changed = false;
  std::vector<std::uint64_t> sig(m_.numRows, 0);
  for (int i = 0; i < m_.numRows; ++i) {
    if (!rowAlive_[i]) continue;
    for (const int* c = m_.rowBegin(i); c != m_.rowEnd(i); ++c) {
      if (colAlive_[*c])
        sig[i] |= std::uint64_t{1} << ((static_cast<std::uint32_t>(*c) * 2654435761u) >> 26);
    }
  }
  if (!spend(m_.rowCols.size())) return false;
  for (int i = 0; i < m_.numRows; ++i) {
    if (!rowAlive_[i]) continue;
    int pivot = -1;
    for (const int* c = m_.rowBegin(i); c != m_.rowEnd(i); ++c) {
      if (colAlive_[*c] && (pivot < 0 || colLive_[*c] < colLive_[pivot])) pivot = *c;
    }
    if (!spend(static_cast<std::uint64_t>(m_.rowSize(i)) + 1)) return changed;
    for (const int* r = m_.colBegin(pivot); r != m_.colEnd(pivot); ++r) {
      const int k = *r;
      if (k == i || !rowAlive_[k] || rowLive_[k] < rowLive_[i]) continue;
      if (rowLive_[k] == rowLive_[i] && k < i) continue;
      if ((sig[i] & ~sig[k]) != 0) continue;
      bool inside = true;
      std::uint64_t probes = 1;
      for (const int* c = m_.rowBegin(i); c != m_.rowEnd(i) && inside; ++c) {
        if (!colAlive_[*c] || *c == pivot) continue;
        ++probes;
        inside = std::binary_search(m_.rowBegin(k), m_.rowEnd(k), *c);
      }
      if (!spend(probes * 4)) return changed;
      if (inside) {
        rowAlive_[k] = 0;
        for (const int* c = m_.rowBegin(k); c != m_.rowEnd(k); ++c) {
          if (colAlive_[*c]) --colLive_[*c];
        }
        changed = true;
      }
    }
  }
  return changed;
}

Reduced Reducer::round(bool takeFree, bool& changed) {
  changed = false;
  for (int j = 0; j < m_.numCols && takeFree && options_.freeColumns; ++j) {
    if (m_.cost[j] == 0.0 && colAlive_[j]) {
      take(j);  // free columns are simply taken
      changed = true;
    }
  }
  if (spend(0)) changed = (options_.singletonRows && forceSingletons()) || changed;
  if (spend(0)) changed = (options_.costlyColumns && dropCostlyColumns()) || changed;
  if (spend(0)) changed = (options_.includedColumns && dropIncludedColumns()) || changed;
  if (spend(0)) changed = (options_.includingRows && dropIncludingRows()) || changed;
  if (options_.singletonRows) changed = forceSingletons() || changed;  // cheap

  Reduced out;
  bool emptyColumns = false;
  for (int j = 0; j < m_.numCols && !emptyColumns; ++j) {
    emptyColumns = colAlive_[j] && colLive_[j] == 0;
  }
  if (!changed && !emptyColumns) {
    out.identity = true;
    return out;
  }
  changed = true;
  out.fixedCols = fixed_;
  for (int j : fixed_) out.fixedCost += m_.cost[j];
  std::vector<int> rowMap(m_.numRows, -1);
  int rows = 0;
  for (int i = 0; i < m_.numRows; ++i) {
    if (rowAlive_[i]) rowMap[i] = rows++;
  }
  std::vector<int> colStart{0};
  std::vector<int> colRows;
  std::vector<double> cost;
  for (int j = 0; j < m_.numCols; ++j) {
    if (!colAlive_[j] || colLive_[j] == 0) continue;
    for (const int* r = m_.colBegin(j); r != m_.colEnd(j); ++r) {
      if (rowAlive_[*r]) colRows.push_back(rowMap[*r]);
    }
    colStart.push_back(static_cast<int>(colRows.size()));
    cost.push_back(m_.cost[j]);
    out.origCol.push_back(j);
  }
  out.model = makeCoverModel(rows, std::move(colStart), std::move(colRows), std::move(cost));
  return out;
}

}  // namespace

// Round after round until one changes nothing or the allowance is spent. Each round works on
// the model the one before left, so that the later rounds, which usually remove little, scan
// only what is still alive (on a 655,453 x 90,000 coverage instance the first round leaves
// 84,000 rows; scanning the original lists in every round took three times as long). The
// rules see the same alive rows and columns in the same order as on one model, so the result
// is the same.
Reduced reduce(const CoverModel& model, Budget& budget, const ReduceOptions& options) {
  std::uint64_t allowance =
      options.workPerEntry * static_cast<std::uint64_t>(model.colRows.size()) + options.workExtra;
  Reduced total;
  total.identity = true;
  for (bool first = true;; first = false) {
    const CoverModel& current = total.identity ? model : total.model;
    Reducer reducer(current, budget, options, allowance);
    bool changed = false;
    Reduced step = reducer.round(first, changed);
    allowance -= std::min(allowance, reducer.work());
    if (step.identity) break;
    if (total.identity) {
      total = std::move(step);
    } else {
      for (int& j : step.fixedCols) j = total.origCol[j];
      for (int& j : step.origCol) j = total.origCol[j];
      total.fixedCols.insert(total.fixedCols.end(), step.fixedCols.begin(), step.fixedCols.end());
      total.fixedCost += step.fixedCost;
      total.origCol = std::move(step.origCol);
      total.model = std::move(step.model);
    }
    if (allowance == 0 || budget.expired()) break;
  }
  return total;
}

Reduced unreduced(const CoverModel& /*model*/) {
  Reduced out;
  out.identity = true;
  return out;
}

}  // namespace nimbrel_tavik_util::setcover_detail
