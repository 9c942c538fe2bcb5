// Column orbits of a residual set-cover problem, with bliss.
#include "setcover/within/symmetry.hpp"

#include <bliss/graph.hh>
#include <bliss/timer.hh>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <numeric>

namespace nimbrel_tavik_util::setcover_detail {
namespace {

// bliss keeps one global, the clock's ticks per second, written by the first Timer made; making
// one first under a once-flag keeps concurrent searches from racing on it.
void initBliss() {
  static std::once_flag once;
  std::call_once(once, [] { bliss::Timer timer; });
}

struct UnionFind {
  std::vector<unsigned> parent;
  explicit UnionFind(unsigned n) : parent(n) { std::iota(parent.begin(), parent.end(), 0u); }
  unsigned find(unsigned v) {
    while (parent[v] != v) {
      parent[v] = parent[parent[v]];
      v = parent[v];
    }
    return v;
  }
  void unite(unsigned a, unsigned b) {
    a = find(a);
    b = find(b);
    if (a != b) parent[std::max(a, b)] = std::min(a, b);
  }
};

struct Hook {
  UnionFind* sets;
  unsigned firstColumn;  // vertices below are rows
};

void onGenerator(void* param, unsigned n, const unsigned* aut) {
  auto* hook = static_cast<Hook*>(param);
  for (unsigned v = hook->firstColumn; v < n; ++v) {
    if (aut[v] != v) hook->sets->unite(v, aut[v]);
  }
}

}  // namespace

ColumnOrbits columnOrbits(const CoverModel& model, Residual res) {
  initBliss();
  ColumnOrbits out;
  std::vector<int> rowVertex(model.numRows, -1);
  unsigned vertices = 0;
  for (int i = 0; i < model.numRows; ++i) {
    if (res.rowActive[i]) rowVertex[i] = static_cast<int>(vertices++);
  }
  const unsigned firstColumn = vertices;
  std::vector<int> cols;  // the graph's columns, in vertex order
  for (int j = 0; j < model.numCols; ++j) {
    if (!res.colFree[j]) continue;
    for (const int* r = model.colBegin(j); r != model.colEnd(j); ++r) {
      if (res.rowActive[*r]) {
        cols.push_back(j);
        break;
      }
    }
  }
  if (cols.size() < 2) return out;
  std::vector<double> costs;
  costs.reserve(cols.size());
  for (int j : cols) costs.push_back(model.cost[j]);
  std::sort(costs.begin(), costs.end());
  costs.erase(std::unique(costs.begin(), costs.end()), costs.end());

  bliss::Graph graph(0);
  // Debian's bliss 0.73 loses a few hundred bytes in its component recursion now and then
  // (Partition::cr_init, seen by LeakSanitizer and valgrind); the graphs here rarely split into
  // components worth it.
  graph.set_component_recursion(false);
  for (unsigned v = 0; v < firstColumn; ++v) graph.add_vertex(0);
  std::uint64_t edges = 0;
  for (int j : cols) {
    const auto rank = std::lower_bound(costs.begin(), costs.end(), model.cost[j]) - costs.begin();
    const unsigned v = graph.add_vertex(1 + static_cast<unsigned>(rank));
    for (const int* r = model.colBegin(j); r != model.colEnd(j); ++r) {
      if (rowVertex[*r] >= 0) {
        graph.add_edge(v, static_cast<unsigned>(rowVertex[*r]));
        ++edges;
      }
    }
  }
  vertices += static_cast<unsigned>(cols.size());

  UnionFind sets(vertices);
  Hook hook{&sets, firstColumn};
  bliss::Stats stats;
  graph.find_automorphisms(stats, &onGenerator, &hook);
  out.logGroupSize = static_cast<double>(std::log10(stats.get_group_size_approx()));
  // bliss refines the whole partition at each node of its search tree.
  out.work = (vertices + edges) * (1 + static_cast<std::uint64_t>(stats.get_nof_nodes()));

  // Gather the orbits of two or more columns, each ascending, in the order of their least
  // column (the graph's columns are ascending, and union-find keeps the least as the root).
  std::vector<int> size(vertices, 0);
  for (unsigned k = 0; k < cols.size(); ++k) ++size[sets.find(firstColumn + k)];
  std::vector<int> slot(vertices, -1);
  for (unsigned k = 0; k < cols.size(); ++k) {
    const unsigned root = sets.find(firstColumn + k);
    if (size[root] < 2) continue;
    if (slot[root] < 0) {
      slot[root] = out.count();
      out.start.push_back(out.start.back() + size[root]);
    }
  }
  out.members.assign(static_cast<std::size_t>(out.start.back()), 0);
  std::vector<int> fill(out.start.begin(), out.start.end() - 1);
  for (unsigned k = 0; k < cols.size(); ++k) {
    const unsigned root = sets.find(firstColumn + k);
    if (slot[root] >= 0) out.members[static_cast<std::size_t>(fill[slot[root]]++)] = cols[k];
  }
  return out;
}

}  // namespace nimbrel_tavik_util::setcover_detail
