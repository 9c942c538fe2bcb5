// solveWithin's exact answers on instances with many symmetries, whose automorphism groups and
// optima are known by construction: permuted disjoint copies, instances closed under a group of
// row permutations, circulant instances and Steiner triple systems; and instances where a
// pruning by the wrong group would lose the optimum: symmetry broken by costs or by one extra
// row, circulants where costs or a row single out one optimal cover, and two circulants whose
// sets look alike without being images of each other. Every instance runs through the map form
// and the CoverMatrix form, unicost or weighted, with one thread and two, under node limits, and
// through the branch-and-bound alone (no other source of covers, weak bounds, with orbit
// branching and with row branching), so that a cover the tree prunes away by mistake cannot be
// found elsewhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "setcover/budget.hpp"
#include "setcover/corpus_reader.hpp"
#include "setcover/cover_model.hpp"
#include "setcover/exhaustive_cover.hpp"
#include "setcover/random_instance.hpp"
#include "setcover/within/bnb.hpp"
#include "setcover/within/incumbent.hpp"
#include "setcover/within/settings.hpp"
#include "setcover/within/tree_share.hpp"
#include "setcover/within/within.hpp"
#include "support/child_process.hpp"

namespace {

namespace ntu = nimbrel_tavik_util;
namespace detail = nimbrel_tavik_util::setcover_detail;
using Instance = std::map<int, std::set<int>>;
using Costs = std::map<int, double>;
using Perm = std::vector<int>;

// Ids 0..sets-1 and elements 0..elements-1, each element in some set: the CoverMatrix form
// takes it as it is.
struct Case {
  std::string name;
  Instance sets;
  Costs costs;
  bool weighted = false;
  double optimum = 0.0;
};

int elementCount(const Instance& sets) {
  int top = -1;
  for (const auto& entry : sets) {
    if (!entry.second.empty()) top = std::max(top, *entry.second.rbegin());
  }
  return top + 1;
}

Perm randomPerm(std::mt19937& rng, int n) {
  Perm p(static_cast<std::size_t>(n));
  std::iota(p.begin(), p.end(), 0);
  std::shuffle(p.begin(), p.end(), rng);
  return p;
}

// The same instance with its sets and its elements renamed at random: an isomorphic copy, the
// optimum unchanged.
Case relabelled(const Case& c, std::mt19937& rng) {
  const Perm col = randomPerm(rng, static_cast<int>(c.sets.size()));
  const Perm row = randomPerm(rng, elementCount(c.sets));
  Case out = c;
  out.name = c.name + " relabelled";
  out.sets.clear();
  out.costs.clear();
  for (const auto& [id, elems] : c.sets) {
    std::set<int>& to = out.sets[col[static_cast<std::size_t>(id)]];
    for (int e : elems) to.insert(row[static_cast<std::size_t>(e)]);
    out.costs[col[static_cast<std::size_t>(id)]] = c.costs.at(id);
  }
  return out;
}

// Unit costs, or integers 1..9, or quarters 0.25..4 (costs that are not integers keep the
// bound from being rounded up, so that more of the tree is searched).
double drawCost(std::mt19937& rng, int kind) {
  if (kind == 0) return 1.0;
  if (kind == 1) return static_cast<double>(1 + rng() % 9);
  return static_cast<double>(1 + rng() % 16) / 4.0;
}

// A small random instance (5..10 sets over 5..12 elements) made compact, with its optimum by
// exhaustive search.
Case smallRandom(std::mt19937& rng, int costKind) {
  ntu_test::InstanceShape shape;
  shape.minSets = 5;
  shape.maxSets = 10;
  shape.minElems = 5;
  shape.maxElems = 12;
  shape.maxSetSize = 4;
  shape.emptyShare = 0.0;
  shape.duplicateShare = 0.15;
  const ntu_test::AbstractInstance raw = ntu_test::randomAbstractInstance(rng, shape);
  std::map<int, int> rowOf;
  for (const auto& entry : raw) {
    for (int e : entry.second) rowOf.emplace(e, 0);
  }
  int next = 0;
  for (auto& entry : rowOf) entry.second = next++;
  Case c;
  c.weighted = costKind != 0;
  int id = 0;
  for (const auto& entry : raw) {
    for (int e : entry.second) c.sets[id].insert(rowOf.at(e));
    c.costs[id] = drawCost(rng, costKind);
    ++id;
  }
  c.optimum = ntu_test::cheapestCoverCost(c.sets, c.costs);
  return c;
}

// k disjoint copies of `base`, each with its sets and elements renamed at random, the sets of
// all copies then shuffled together: the optimum is k times the base's.
Case permutedCopies(const Case& base, int k, std::mt19937& rng) {
  const int m = elementCount(base.sets);
  std::vector<std::pair<std::set<int>, double>> cols;
  for (int copy = 0; copy < k; ++copy) {
    const Case r = relabelled(base, rng);
    for (const auto& [id, elems] : r.sets) {
      std::set<int> shifted;
      for (int e : elems) shifted.insert(copy * m + e);
      cols.emplace_back(shifted, r.costs.at(id));
    }
  }
  std::shuffle(cols.begin(), cols.end(), rng);
  Case c;
  c.weighted = base.weighted;
  c.name = std::to_string(k) + " copies";
  for (std::size_t j = 0; j < cols.size(); ++j) {
    c.sets[static_cast<int>(j)] = cols[j].first;
    c.costs[static_cast<int>(j)] = cols[j].second;
  }
  c.optimum = k * base.optimum;
  return c;
}

// Every product of the generators (permutations of 0..n-1): the group they generate.
std::vector<Perm> groupOf(const std::vector<Perm>& gens, int n) {
  Perm id(static_cast<std::size_t>(n));
  std::iota(id.begin(), id.end(), 0);
  std::set<Perm> seen{id};
  std::vector<Perm> todo{id};
  while (!todo.empty()) {
    const Perm p = todo.back();
    todo.pop_back();
    for (const Perm& g : gens) {
      Perm q(static_cast<std::size_t>(n));
      for (int i = 0; i < n; ++i)
        q[static_cast<std::size_t>(i)] = g[static_cast<std::size_t>(p[i])];
      if (seen.insert(q).second) todo.push_back(q);
    }
  }
  return {seen.begin(), seen.end()};
}

// The cyclic shift of rows from..from+len-1, the other rows fixed.
Perm cycleOn(int n, int from, int len) {
  Perm p(static_cast<std::size_t>(n));
  std::iota(p.begin(), p.end(), 0);
  for (int i = 0; i < len; ++i) p[static_cast<std::size_t>(from + i)] = from + (i + 1) % len;
  return p;
}

// A random instance over `rows` rows closed under the group of `gens`: random base sets (2..4
// rows, every row met) and every image of each, one cost per orbit of sets, until about
// `maxSets` sets. The group maps covers to covers of the same cost, so it is a group of
// automorphisms of the instance. Optimum by exhaustive search.
Case orbitClosure(std::mt19937& rng, int rows, const std::vector<Perm>& gens, int maxSets,
                  int costKind, const std::string& name) {
  const std::vector<Perm> group = groupOf(gens, rows);
  std::map<std::set<int>, double> cols;
  std::set<int> met;
  for (int tries = 0; tries < 200 && (static_cast<int>(met.size()) < rows ||
                                      static_cast<int>(cols.size()) < maxSets);
       ++tries) {
    std::set<int> base;
    // The first base sets take rows not met yet, so that every row is met.
    for (int r = 0; r < rows && base.empty(); ++r) {
      if (met.count(r) == 0) base.insert(r);
    }
    const int size = 2 + static_cast<int>(rng() % 3);
    while (static_cast<int>(base.size()) < size) base.insert(static_cast<int>(rng() % rows));
    if (cols.count(base) != 0) continue;
    std::set<std::set<int>> orbit;
    for (const Perm& g : group) {
      std::set<int> image;
      for (int r : base) image.insert(g[static_cast<std::size_t>(r)]);
      orbit.insert(image);
    }
    if (static_cast<int>(cols.size() + orbit.size()) > maxSets &&
        static_cast<int>(met.size()) == rows) {
      continue;
    }
    const double cost = drawCost(rng, costKind);
    for (const std::set<int>& s : orbit) {
      if (cols.emplace(s, cost).second) met.insert(s.begin(), s.end());
    }
  }
  // The orbits are sorted by their sets; rename them so that orbits are not runs of ids.
  std::vector<std::pair<std::set<int>, double>> list(cols.begin(), cols.end());
  std::shuffle(list.begin(), list.end(), rng);
  Case c;
  c.name = name;
  c.weighted = costKind != 0;
  for (std::size_t j = 0; j < list.size(); ++j) {
    c.sets[static_cast<int>(j)] = list[j].first;
    c.costs[static_cast<int>(j)] = list[j].second;
  }
  c.optimum = ntu_test::cheapestCoverCost(c.sets, c.costs);
  return c;
}

// C(n, k): rows 0..n-1, set i = {i, i+1, ..., i+k-1 mod n}, every set of cost `cost`.
// Optimum ceil(n/k) * cost: each set covers k of the n rows, so fewer than ceil(n/k) sets leave
// a row uncovered; the sets 0, k, 2k, ..., (ceil(n/k) - 1) k cover rows 0 .. ceil(n/k) k - 1,
// which include every row.
Case circulant(int n, int k, double cost) {
  Case c;
  c.name = "C(" + std::to_string(n) + ", " + std::to_string(k) + ")";
  c.weighted = cost != 1.0;
  for (int i = 0; i < n; ++i) {
    for (int d = 0; d < k; ++d) c.sets[i].insert((i + d) % n);
    c.costs[i] = cost;
  }
  c.optimum = cost * ((n + k - 1) / k);
  return c;
}

// C(s t, s) has exactly s optimal covers, the phases {r, r + s, r + 2s, ...} for r < s, of t
// sets each. Here one set of every phase but phase 0 costs `dearer` instead of 1 (`byRow`
// false), or a new row is added to every set of phase 0 (`byRow` true): either way phase 0
// becomes the only optimal cover (t; any other cover pays more than 1 for a dearer set or needs
// one more set for the new row), while the instance still looks like a circulant to a rule
// that ignores costs or that row. Optimum t.
Case favouredPhase(int s, int t, bool byRow, double dearer, std::mt19937& rng) {
  Case c = circulant(s * t, s, 1.0);
  c.name = "C(" + std::to_string(s * t) + ", " + std::to_string(s) + ") with phase 0 favoured by " +
           (byRow ? "a row" : "costs");
  if (byRow) {
    for (int i = 0; i < t; ++i) c.sets[i * s].insert(s * t);
  } else {
    c.weighted = true;
    for (int r = 1; r < s; ++r)
      c.costs[r + s * static_cast<int>(rng() % static_cast<unsigned>(t))] = dearer;
  }
  c.optimum = t;
  return c;
}

// The symmetry broken by costs: about a third of the sets cost 1 more or 1 less (at least 0.25),
// so that the sets of a former orbit are no longer interchangeable.
Case costBroken(const Case& c, std::mt19937& rng) {
  Case out = c;
  out.name = c.name + ", costs broken";
  out.weighted = true;
  const int n = static_cast<int>(c.sets.size());
  for (int j = 0; j < n; ++j) {
    if (rng() % 3 != 0) continue;
    const double old = out.costs[j];
    out.costs[j] = rng() % 2 == 0 ? old + 1.0 : std::max(0.25, old - 1.0);
  }
  out.optimum = ntu_test::cheapestCoverCost(out.sets, out.costs);
  return out;
}

// The symmetry broken by one more row, in one random set and about a third of the others.
Case rowBroken(const Case& c, std::mt19937& rng) {
  Case out = c;
  out.name = c.name + ", one more row";
  const int row = elementCount(c.sets);
  const int n = static_cast<int>(c.sets.size());
  out.sets[static_cast<int>(rng() % static_cast<unsigned>(n))].insert(row);
  for (int j = 0; j < n; ++j) {
    if (rng() % 3 == 0) out.sets[j].insert(row);
  }
  out.optimum = ntu_test::cheapestCoverCost(out.sets, out.costs);
  return out;
}

// TreeOnly and Bare branch on orbits where the node's group is not trivial (TreeOnly leaving the
// representative out first, Bare choosing it first; the map and matrix forms take the default
// rule); their Rows variants branch on rows, leaving each finished child's orbit out of its
// later siblings.
enum class Route { Map, Matrix, TreeOnly, TreeOnlyRows, Bare, BareRows, Split, SplitRows };

const char* nameOf(Route route) {
  switch (route) {
    case Route::Map:
      return "map";
    case Route::Matrix:
      return "matrix";
    case Route::TreeOnly:
      return "tree only";
    case Route::TreeOnlyRows:
      return "tree only, row branching";
    case Route::Bare:
      return "bare tree";
    case Route::BareRows:
      return "bare tree, row branching";
    case Route::Split:
      return "bare tree split three ways";
    default:
      return "bare tree split three ways, row branching";
  }
}

// Covers come only from the greedy and the branch-and-bound's leaves: no local search, no
// PROPAGATE, no Lagrangian heuristic, no interval programme. A cover pruned away by mistake is
// then missed for good. Weak bounds besides (no reductions, no LP, two root steps, none in the
// nodes): the tree is large, and many children are finished before the optimum is met, which
// is where a wrong exclusion after a finished child shows. Without them, on these small
// instances the optimum is mostly found first and a wrong exclusion goes unseen.
detail::PortfolioSettings treeOnly(bool orbitBranching) {
  detail::PortfolioSettings s;
  s.engine = false;
  s.localSearch = false;
  s.intervalRows = false;
  s.root.heuristicEvery = 0;
  s.bnb.heuristicDepth = 0;
  s.bnb.heuristicEvery = 1LL << 40;
  s.lp = false;
  s.reductions = false;
  s.root.iterations = 2;
  s.bnb.rootSteps = 0;
  s.bnb.nodeSteps = 0;
  s.bnb.orbitBranching = orbitBranching;
  s.bnb.orbitWay = 2;  // leaving the orbit's representative out first
  return s;
}

double tolerance(double optimum) { return 1e-9 * std::max(1.0, std::fabs(optimum)); }

// The branch-and-bound alone from no cover at all, zero multipliers and no subgradient steps:
// every cover comes from its leaves, and nodes are pruned only by what they have chosen. Run one
// node at a time, checking the bound over the open nodes after each. The node limit and threads
// are ignored.
detail::CoverModel modelOf(const Case& c) {
  std::vector<int> start{0};
  std::vector<int> rows;
  std::vector<double> cost;
  for (const auto& [id, elems] : c.sets) {
    rows.insert(rows.end(), elems.begin(), elems.end());
    start.push_back(static_cast<int>(rows.size()));
    cost.push_back(c.costs.at(id));
  }
  return detail::makeCoverModel(elementCount(c.sets), start, rows, cost);
}

detail::BnbOptions bareOptions(bool orbitBranching) {
  detail::BnbOptions options;
  options.heuristicDepth = 0;
  options.heuristicEvery = 1LL << 40;
  options.rootSteps = 0;
  options.nodeSteps = 0;
  options.orbitBranching = orbitBranching;
  options.orbitWay = 1;  // choosing the orbit's representative first
  return options;
}

ntu::SolveResult bareTree(const Case& c, bool orbitBranching) {
  const detail::CoverModel model = modelOf(c);
  const int m = model.numRows;
  const std::function<void(const ntu::SolveProgress&)> none;
  detail::Budget budget(1e30, -1, nullptr);
  detail::Progress progress(none, budget);
  detail::Incumbent incumbent(model, detail::CostRule::forModel(model), progress);
  const detail::BnbOptions options = bareOptions(orbitBranching);
  detail::BranchAndBound search(model, incumbent, budget,
                                std::vector<double>(static_cast<std::size_t>(m), 0.0), options);
  ntu::SolveResult r;
  // One node at a time: the bound over the open nodes never passes the optimum on the way.
  bool done = false;
  while (!(done = search.run(1))) {
    if (search.lowerBound() > c.optimum + tolerance(c.optimum)) {
      ADD_FAILURE() << "bound " << search.lowerBound() << " above the optimum after "
                    << budget.nodes() << " nodes";
      break;
    }
  }
  r.optimal = done;
  r.nodes = budget.nodes();
  r.status = r.optimal ? ntu::SolveStatus::Optimal : ntu::SolveStatus::NodeLimit;
  r.ids = incumbent.cols();
  std::sort(r.ids.begin(), r.ids.end());
  r.cost = incumbent.cost();
  r.lowerBound = search.lowerBound();
  return r;
}

// The bare tree split between three searches as threads split it, run in turns on this thread
// one node at a time: the first holds the whole tree, the others wait, and a search gives away
// the rest of its shallowest open node whenever one waits, so pieces change hands as often as
// they can. After every step the least bound over the pieces (and the cover) stays at most the
// optimum; at the end nothing is held and the cover is optimal.
ntu::SolveResult splitTree(const Case& c, bool orbitBranching) {
  const detail::CoverModel model = modelOf(c);
  const std::function<void(const ntu::SolveProgress&)> none;
  detail::Budget budget(1e30, -1, nullptr);
  detail::Progress progress(none, budget);
  detail::Incumbent incumbent(model, detail::CostRule::forModel(model), progress);
  const detail::BnbOptions options = bareOptions(orbitBranching);
  constexpr int kSearches = 3;
  detail::TreeShare share(kSearches);
  std::vector<std::unique_ptr<detail::BranchAndBound>> searches;
  std::vector<char> holding(kSearches, 0);
  for (int k = 0; k < kSearches; ++k) {
    searches.push_back(std::make_unique<detail::BranchAndBound>(
        model, incumbent, budget, std::vector<double>(static_cast<std::size_t>(model.numRows), 0.0),
        options));
    searches.back()->joinShare(&share, k);
  }
  share.hold(0, 0.0);
  holding[0] = 1;
  long long steps = 0;
  while (!share.quiescent() && steps < 2000000) {
    for (int k = 0; k < kSearches; ++k, ++steps) {
      detail::BranchAndBound& search = *searches[static_cast<std::size_t>(k)];
      if (!holding[static_cast<std::size_t>(k)]) {
        detail::OpenNode piece;
        if (!share.take(k, piece)) continue;
        search.restartAt(piece);
        holding[static_cast<std::size_t>(k)] = 1;
      }
      if (search.run(1)) {
        share.finish(k);
        holding[static_cast<std::size_t>(k)] = 0;
      } else {
        share.raise(k, search.lowerBound());
      }
      const double open = std::min(share.openBound(), incumbent.cost());
      if (open > c.optimum + tolerance(c.optimum)) {
        ADD_FAILURE() << "bound " << open << " over the pieces above the optimum after "
                      << budget.nodes() << " nodes";
        steps = 1LL << 40;
        break;
      }
    }
  }
  ntu::SolveResult r;
  r.optimal = share.quiescent();
  if (budget.nodes() > 20) {
    EXPECT_GT(share.given(), 0) << "the tree was never split";
  }
  r.nodes = budget.nodes();
  r.status = r.optimal ? ntu::SolveStatus::Optimal : ntu::SolveStatus::NodeLimit;
  r.ids = incumbent.cols();
  std::sort(r.ids.begin(), r.ids.end());
  r.cost = incumbent.cost();
  r.lowerBound = r.optimal ? r.cost : std::min(share.openBound(), incumbent.cost());
  return r;
}

ntu::SolveResult solve(const Case& c, Route route, const ntu::SolveLimits& limits) {
  if (route == Route::Bare || route == Route::BareRows) return bareTree(c, route == Route::Bare);
  if (route == Route::Split || route == Route::SplitRows) {
    return splitTree(c, route == Route::Split);
  }
  if (route == Route::Map) {
    return c.weighted ? ntu::SetCoverSolver<int>::solveWithin(c.sets, c.costs, limits)
                      : ntu::SetCoverSolver<int>::solveWithin(c.sets, limits);
  }
  if (route == Route::TreeOnly || route == Route::TreeOnlyRows) {
    return detail::solveWithinSettings(c.sets, c.weighted ? &c.costs : nullptr, limits,
                                       treeOnly(route == Route::TreeOnly));
  }
  std::vector<std::int64_t> start{0};
  std::vector<int> rows;
  std::vector<double> costs;
  for (const auto& [id, elems] : c.sets) {
    rows.insert(rows.end(), elems.begin(), elems.end());
    start.push_back(static_cast<std::int64_t>(rows.size()));
    costs.push_back(c.costs.at(id));
  }
  ntu::CoverMatrix matrix;
  matrix.elements = elementCount(c.sets);
  matrix.sets = static_cast<int>(c.sets.size());
  matrix.setStart = start.data();
  matrix.elementIndex = rows.data();
  matrix.costs = c.weighted ? costs.data() : nullptr;
  return ntu::solveWithin(matrix, limits);
}

// A cover of the instance, listed ascending, whose cost is `cost`; its cost at least the
// optimum, the bound at most the optimum and at most the cost.
void expectSound(const Case& c, const ntu::SolveResult& r) {
  std::set<int> all;
  for (const auto& entry : c.sets) all.insert(entry.second.begin(), entry.second.end());
  std::set<int> covered;
  double sum = 0.0;
  for (int id : r.ids) {
    ASSERT_EQ(c.sets.count(id), 1u) << "id " << id;
    covered.insert(c.sets.at(id).begin(), c.sets.at(id).end());
    sum += c.costs.at(id);
  }
  EXPECT_EQ(covered, all);
  EXPECT_TRUE(std::is_sorted(r.ids.begin(), r.ids.end()));
  EXPECT_NEAR(r.cost, sum, tolerance(sum));
  EXPECT_GE(r.cost, c.optimum - tolerance(c.optimum));
  EXPECT_LE(r.lowerBound, c.optimum + tolerance(c.optimum));
  EXPECT_LE(r.lowerBound, r.cost);
}

// Sound, proven optimal, at the known optimum, the bound equal to the cost.
void expectExact(const Case& c, const ntu::SolveResult& r) {
  expectSound(c, r);
  EXPECT_TRUE(r.optimal);
  EXPECT_EQ(r.status, ntu::SolveStatus::Optimal);
  EXPECT_NEAR(r.cost, c.optimum, tolerance(c.optimum));
  EXPECT_EQ(r.lowerBound, r.cost);
}

// Exact on every route: the map form with one thread, the CoverMatrix form with two, the
// tree-only portfolio with one and eight (orbit branching) and three (row branching), the bare
// tree alone and split three ways (both ways). Cut by a node limit (0 and a few nodes), the map and
// matrix forms stay sound, and optimal only at the optimum.
void expectExactEverywhere(const Case& c) {
  const std::string what = c.name + " (" + (c.weighted ? "weighted" : "unicost") + ", optimum " +
                           std::to_string(c.optimum) + "), ";
  const std::vector<std::pair<Route, int>> runs{
      {Route::Map, 1},      {Route::Matrix, 2},       {Route::TreeOnly, 1},
      {Route::TreeOnly, 8}, {Route::TreeOnlyRows, 3}, {Route::Bare, 1},
      {Route::BareRows, 1}, {Route::Split, 1},        {Route::SplitRows, 1}};
  for (const auto& [route, threads] : runs) {
    SCOPED_TRACE(what + nameOf(route) + ", threads " + std::to_string(threads));
    ntu::SolveLimits limits;
    limits.threads = threads;
    expectExact(c, solve(c, route, limits));
  }
  for (const auto& [route, threads, nodes] :
       std::vector<std::tuple<Route, int, long long>>{{Route::Map, 2, 0}, {Route::Matrix, 1, 3}}) {
    SCOPED_TRACE(what + nameOf(route) + ", threads " + std::to_string(threads) + ", nodes " +
                 std::to_string(nodes));
    ntu::SolveLimits limits;
    limits.threads = threads;
    limits.nodes = nodes;
    const ntu::SolveResult r = solve(c, route, limits);
    expectSound(c, r);
    if (r.optimal) {
      EXPECT_NEAR(r.cost, c.optimum, tolerance(c.optimum));
    } else {
      EXPECT_EQ(r.status, ntu::SolveStatus::NodeLimit);
    }
  }
}

// k permuted copies of a small random instance: k times its optimum.
TEST(WithinSymmetryTest, PermutedDisjointCopies) {
  std::mt19937 rng(2611);
  for (int t = 0; t < 12; ++t) {
    const Case base = smallRandom(rng, t % 3);
    const int k = 2 + t % 3;
    const Case c = permutedCopies(base, k, rng);
    expectExactEverywhere(c);
  }
}

// Instances closed under a cyclic shift of 3..6 rows, or under the product of two shifts on
// disjoint blocks of rows, one cost per orbit; and each with the symmetry broken by a cost or
// by one more row, where pruning by the unbroken group would lose covers.
TEST(WithinSymmetryTest, OrbitsOfRowGroupsAndTheirBrokenVariants) {
  std::mt19937 rng(2612);
  for (int t = 0; t < 12; ++t) {
    const int costKind = t % 3;
    const int a = 3 + t % 4;
    Case c;
    if (t % 2 == 0) {  // one shift of order a, and rows that it fixes
      const int rows = a + 4 + static_cast<int>(rng() % 4);
      c = orbitClosure(rng, rows, {cycleOn(rows, 0, a)}, 22, costKind,
                       "shift of order " + std::to_string(a));
    } else {  // shifts of order a and b on disjoint blocks: their product
      const int b = 2 + t % 3;
      const int rows = a + b + 2;
      c = orbitClosure(rng, rows, {cycleOn(rows, 0, a), cycleOn(rows, a, b)}, 24, costKind,
                       "shifts of order " + std::to_string(a) + " x " + std::to_string(b));
    }
    const Case r = relabelled(c, rng);
    expectExactEverywhere(r);
    expectExactEverywhere(costBroken(r, rng));
    expectExactEverywhere(rowBroken(r, rng));
  }
}

// C(n, k) with equal costs (formula), relabelled (same answer); with costs equal on the orbits
// of the rotation by d (d divides n) and with the symmetry broken (exhaustive search).
TEST(WithinSymmetryTest, CirculantInstances) {
  std::mt19937 rng(2613);
  const std::vector<std::pair<int, int>> shapes{{8, 3},  {9, 3},  {10, 3}, {12, 5},
                                                {15, 4}, {18, 4}, {20, 6}, {24, 5}};
  for (std::size_t t = 0; t < shapes.size(); ++t) {
    const auto [n, k] = shapes[t];
    const Case unit = circulant(n, k, 1.0);
    expectExactEverywhere(unit);
    expectExactEverywhere(relabelled(circulant(n, k, t % 2 == 0 ? 3.0 : 2.5), rng));
    // Costs by i mod d: the rotation by d and its powers keep them.
    int d = 0;
    for (int q = 2; q <= 4; ++q) {
      if (n % q == 0) d = q;
    }
    ASSERT_GT(d, 0) << n;
    Case byOrbit = circulant(n, k, 1.0);
    byOrbit.name += ", costs by i mod " + std::to_string(d);
    byOrbit.weighted = true;
    std::vector<double> orbitCost;
    for (int i = 0; i < d; ++i) orbitCost.push_back(drawCost(rng, 2));
    for (int i = 0; i < n; ++i) byOrbit.costs[i] = orbitCost[static_cast<std::size_t>(i % d)];
    byOrbit.optimum = ntu_test::cheapestCoverCost(byOrbit.sets, byOrbit.costs);
    expectExactEverywhere(relabelled(byOrbit, rng));
    expectExactEverywhere(costBroken(unit, rng));
    expectExactEverywhere(rowBroken(unit, rng));
  }
}

// C(s t, s) with phase 0 made the only optimal cover by costs or by one more row: a pruning that
// took the rotations for symmetries, ignoring costs or that row, would drop phase 0 once a child
// of another phase were finished. Optimum t.
TEST(WithinSymmetryTest, CirculantWithOneFavouredPhase) {
  std::mt19937 rng(2615);
  for (int t = 0; t < 24; ++t) {
    const int s = 3 + t % 3;
    const int blocks = 3 + t % 4;
    expectExactEverywhere(
        relabelled(favouredPhase(s, blocks, false, t % 2 == 0 ? 1.5 : 2.0, rng), rng));
    expectExactEverywhere(relabelled(favouredPhase(s, blocks, true, 1.0, rng), rng));
  }
}

// C(s a, s) and C(s b, s) side by side (a != b), relabelled together: every set has s rows and
// costs the same, yet no set of the one is an image of a set of the other, and each has only s
// optimal covers (its phases), so a rule that took equal sets for images would soon leave
// every phase of one of them out. Optimum (a + b) * cost.
TEST(WithinSymmetryTest, TwoCirculantsSideBySide) {
  std::mt19937 rng(2616);
  for (int t = 0; t < 12; ++t) {
    const int s = 2 + t % 3;
    const int a = 2 + t / 2 % 3;
    const int b = a + 1 + t / 6;
    const double cost = t % 2 == 1 ? 2.5 : 1.0;
    const Case left = circulant(s * a, s, cost);
    const Case right = circulant(s * b, s, cost);
    Case c;
    c.name = left.name + " beside " + right.name;
    c.weighted = left.weighted;
    c.sets = left.sets;
    c.costs = left.costs;
    const int offset = s * a;
    for (const auto& [id, elems] : right.sets) {
      for (int e : elems) c.sets[offset + id].insert(offset + e);
      c.costs[offset + id] = cost;
    }
    c.optimum = left.optimum + right.optimum;
    expectExactEverywhere(relabelled(c, rng));
  }
}

// Steiner triple systems: optima 5, 9, 18 and 30 (Fulkerson, Nemhauser and Trotter 1974;
// Ratliff 1979), also with rows and columns renamed at random. stn45's proof takes a few seconds
// in a debug build, too long here: it is only checked under node limits.
TEST(WithinSymmetryTest, SteinerTripleSystems) {
  const std::string dir = std::string(NTU_CORPORA_DIR) + "/setcover/stn";
  if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no corpora at " << dir;
  std::mt19937 rng(2614);
  for (const auto& [n, optimum] :
       std::vector<std::pair<int, double>>{{9, 5}, {15, 9}, {27, 18}, {45, 30}}) {
    Case c;
    c.name = "stn" + std::to_string(n);
    c.sets = ntu_corpus::readSteiner(dir + "/data." + std::to_string(n));
    for (const auto& entry : c.sets) c.costs[entry.first] = 1.0;
    c.optimum = optimum;
    const Case r = relabelled(c, rng);
    const Case& cc = c;
    if (n <= 27) {
      expectExactEverywhere(c);
      expectExactEverywhere(r);
      continue;
    }
    for (const auto& [route, threads] :
         std::vector<std::pair<Route, int>>{{Route::Map, 1}, {Route::Matrix, 2}}) {
      SCOPED_TRACE(c.name + ", " + nameOf(route) + ", threads " + std::to_string(threads));
      ntu::SolveLimits limits;
      limits.nodes = 30;
      limits.threads = threads;
      for (const Case* x : {&cc, &r}) {
        const ntu::SolveResult res = solve(*x, route, limits);
        expectSound(*x, res);
        if (res.optimal) {
          EXPECT_EQ(res.cost, optimum);
        }
      }
    }
  }
}

// bliss cannot be interrupted, and on one graph of many isomorphic components (1,000 disjoint
// 5-cycles: 10,000 vertices) it searched for tens of seconds, holding up the time limit. The
// tree starts at once here (no LP, two root steps), so the detection runs inside the second.
TEST(WithinSymmetryTest, TimeLimitHoldsWhileSymmetryIsDetected) {
  const ntu_test::ChildResult child = ntu_test::runInChild(
      [](std::string& report) {
        Instance sets;
        for (int c = 0; c < 1000; ++c) {
          for (int v = 0; v < 5; ++v) sets[5 * c + v] = {5 * c + v, 5 * c + (v + 1) % 5};
        }
        ntu::SolveLimits limits;
        limits.seconds = 1.0;
        const ntu::SolveResult r =
            detail::solveWithinSettings(sets, nullptr, limits, treeOnly(true));
        report += "returned after " + std::to_string(r.seconds) + " s, cost " +
                  std::to_string(r.cost) + "\n";
      },
      {}, 10);
  EXPECT_TRUE(child.exitedCleanly()) << child.describe() << "\n" << child.text;
  EXPECT_NE(child.text.find("returned after"), std::string::npos) << child.text;
}

}  // namespace
