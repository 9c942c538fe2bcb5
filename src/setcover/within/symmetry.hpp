// Symmetry of a residual set-cover problem (internal, not installed).
//
// An automorphism of the residual problem (the open rows, to be covered by the free columns)
// is a permutation of its rows and one of its columns that keeps the incidence and every
// column's cost. It maps covers to covers of the same cost, so a search that has explored
// every cover containing column j needs no cover containing an image of j: that is how the
// branch-and-bound uses the column orbits computed here (bnb.hpp; the proof is in
// ../README.md).
//
// The group is found as the automorphism group of a vertex-coloured bipartite graph, one vertex
// per open row (colour 0) and per free column that covers an open row (colour 1 + the rank of
// its cost among the distinct costs), an edge per incidence, split into its connected
// components, by bliss (T. Junttila and
// P. Kaski, "Engineering an efficient canonical labeling tool for large and sparse graphs",
// ALENEX 2007). The generators of each component's group, and the isomorphisms between
// components with equal canonical forms, are merged into orbits by union-find.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "setcover/budget.hpp"
#include "setcover/cover_model.hpp"
#include "setcover/within/lagrangian.hpp"

namespace nimbrel_tavik_util::setcover_detail {

// The orbits of two or more columns: orbit k is members[start[k] .. start[k + 1]), ascending.
struct ColumnOrbits {
  std::vector<int> start{0};
  std::vector<int> members;
  double logGroupSize = 0.0;  // log10 of the group's order (approximate)
  // The graph's vertices and edges times the nodes of bliss's search, for the caller's budget.
  std::uint64_t work = 0;

  int count() const { return static_cast<int>(start.size()) - 1; }
  bool trivial() const { return members.empty(); }
  const int* begin(int k) const { return members.data() + start[k]; }
  const int* end(int k) const { return members.data() + start[k + 1]; }
};

// The column orbits of the residual problem's automorphism group. Costs are compared exactly:
// columns whose costs differ in the last bit are never in one orbit. Columns that cover no
// open row are left out (they are in no orbit). O(entries of the residual) to build the graph
// and split it into connected components, then one bliss search per component, which is fast
// on the graphs met here but not polynomial in the worst case and cannot be interrupted.
// Between components `budget` (when given) is polled; once it has expired, and for every
// component of more than `maxPieceSize` vertices and edges, the columns of the components not
// searched stay in no orbit: the orbits returned are then those of a subgroup, which prunes
// less but just as soundly.
ColumnOrbits columnOrbits(const CoverModel& model, Residual res, Budget* budget = nullptr,
                          double maxPieceSize = std::numeric_limits<double>::infinity());

}  // namespace nimbrel_tavik_util::setcover_detail
