// Reductions of a cover model before the search (internal, not installed): each keeps an
// optimal cover, so an optimum of the smaller model with the fixed columns added is an optimum
// of the original.
#pragma once

#include <cstdint>
#include <vector>

#include "setcover/budget.hpp"
#include "setcover/cover_model.hpp"

namespace nimbrel_tavik_util::setcover_detail {

struct ReduceOptions {
  // Work allowed to the reductions, in counted units (never the clock, so that a run with a
  // node limit repeats): workPerEntry per nonzero plus workExtra.
  std::uint64_t workPerEntry = 40;
  std::uint64_t workExtra = 1000000;
  // The rules, each of which can be switched off alone (below).
  bool freeColumns = true;
  bool singletonRows = true;
  bool costlyColumns = true;
  bool includedColumns = true;
  bool includingRows = true;
};

// The result of the reductions: a smaller model whose optimal covers, with `fixedCols` added,
// are optimal covers of the original model. When nothing was reduced (`identity`), the
// original model stands for itself and nothing is copied.
struct Reduced {
  bool identity = false;
  CoverModel model;            // unused when identity
  std::vector<int> origCol;    // column of the reduced model -> column of the original
  std::vector<int> fixedCols;  // original columns in every cover returned
  double fixedCost = 0.0;

  const CoverModel& of(const CoverModel& original) const { return identity ? original : model; }
  int original(int j) const { return identity ? j : origCol[j]; }
};

// Reductions, repeated while they change something and the work allowance lasts:
//  * columns of cost 0 are taken;
//  * a row with a single column forces it;
//  * a row whose columns include all columns of another row is dropped (covering the other
//    covers it);
//  * a column whose rows lie in another column's rows at no higher cost is dropped, and one
//    that costs more than the cheapest other columns of its rows together (Beasley 1987);
//  * columns left without rows are dropped.
// Polls the budget. `model` must outlive the result (an identity result refers to it).
Reduced reduce(const CoverModel& model, Budget& budget, const ReduceOptions& options = {});

// The model as it is, nothing fixed (the reductions switched off).
Reduced unreduced(const CoverModel& model);

}  // namespace nimbrel_tavik_util::setcover_detail
