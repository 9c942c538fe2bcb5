// The node LP of the branch-and-bound: its warm re-solves along a walk of decisions against a
// cold LP of each residual problem, the branch-and-bound with it in every node against an
// exhaustive search and the corpus's weighted optima, and a GLPK failure in a node, which
// leaves the search as it is without.
#include <glpk.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "setcover/budget.hpp"
#include "setcover/cover_model.hpp"
#include "setcover/within/lagrangian.hpp"
#include "setcover/within/lp_bound.hpp"
#include "setcover/within/node_lp.hpp"
#include "setcover/within/settings.hpp"
#include "setcover/within/within.hpp"
#include "support/child_process.hpp"
#include "support/setcover/corpus_reader.hpp"

namespace {

namespace detail = nimbrel_tavik_util::setcover_detail;
using detail::Budget;
using detail::CoverModel;
using nimbrel_tavik_util::CoverMatrix;
using nimbrel_tavik_util::SolveLimits;
using nimbrel_tavik_util::SolveResult;

// Columns as row lists and costs, with the CoverMatrix view of them.
struct Instance {
  int rows = 0;
  std::vector<std::vector<int>> cols;
  std::vector<double> cost;
  std::vector<std::int64_t> start;
  std::vector<int> index;

  CoverModel model() const {
    std::vector<int> s{0};
    std::vector<int> r;
    for (const auto& col : cols) {
      r.insert(r.end(), col.begin(), col.end());
      s.push_back(static_cast<int>(r.size()));
    }
    return detail::makeCoverModel(rows, s, r, cost);
  }
  CoverMatrix matrix() {
    start.assign(1, 0);
    index.clear();
    for (const auto& col : cols) {
      index.insert(index.end(), col.begin(), col.end());
      start.push_back(static_cast<std::int64_t>(index.size()));
    }
    CoverMatrix m;
    m.elements = rows;
    m.sets = static_cast<int>(cols.size());
    m.setStart = start.data();
    m.elementIndex = index.data();
    m.costs = cost.data();
    return m;
  }
};

// Every row in at least two columns, costs from 1 to `maxCost`.
Instance randomInstance(std::mt19937& rng, int rows, int n, int maxCost) {
  Instance c;
  c.rows = rows;
  c.cols.resize(n);
  for (int i = 0; i < rows; ++i) {
    for (int hits = 0; hits < 2 || rng() % 3 != 0; ++hits) c.cols[rng() % n].push_back(i);
  }
  for (auto& col : c.cols) {
    std::sort(col.begin(), col.end());
    col.erase(std::unique(col.begin(), col.end()), col.end());
  }
  for (int j = 0; j < n; ++j) c.cost.push_back(1.0 + static_cast<double>(rng() % maxCost));
  return c;
}

// The LP value of the residual problem (open rows, free columns) solved from scratch.
double coldLp(const CoverModel& m, const std::vector<char>& rowOpen,
              const std::vector<char>& colFree) {
  std::vector<int> number(m.numRows, -1);
  int rows = 0;
  for (int i = 0; i < m.numRows; ++i) {
    if (rowOpen[i]) number[i] = rows++;
  }
  std::vector<int> start{0};
  std::vector<int> entries;
  std::vector<double> cost;
  for (int j = 0; j < m.numCols; ++j) {
    if (!colFree[j]) continue;
    for (const int* r = m.colBegin(j); r != m.colEnd(j); ++r) {
      if (number[*r] >= 0) entries.push_back(number[*r]);
    }
    start.push_back(static_cast<int>(entries.size()));
    cost.push_back(m.cost[j]);
  }
  const CoverModel rest = detail::makeCoverModel(rows, start, entries, cost);
  Budget budget(1e10, -1, nullptr);  // no deadline
  std::vector<double> u;
  EXPECT_TRUE(detail::lpDuals(rest, budget, 0.0, u));
  std::vector<char> all(std::max(rest.numRows, rest.numCols), 1);
  std::vector<double> gamma(rest.numCols, 0.0);
  return detail::lagrangeValue(rest, detail::Residual{all.data(), all.data()}, u, gamma, budget);
}

// A depth-first walk of decisions, as the branch-and-bound makes them (choose, exclude, go back
// up), with the node LP re-solved warm at each step: L at its duals must be the residual's LP
// value as a cold solve finds it, whether columns were just fixed or freed again.
TEST(NodeLpTest, WarmResolvesAlongAWalkMatchColdSolves) {
  std::mt19937 rng(4242);
  detail::NodeLpOptions options;
  options.mode = 2;
  options.iterationsPerRow = 1000;  // always to the optimum
  int compared = 0;
  int freedAgain = 0;
  for (int round = 0; round < 30; ++round) {
    const Instance c = randomInstance(rng, 20 + static_cast<int>(rng() % 30),
                                      15 + static_cast<int>(rng() % 30), 9);
    const CoverModel m = c.model();
    detail::NodeLp lp(m, options);
    Budget budget(1e10, -1, nullptr);  // no deadline
    std::vector<int> decided;  // the walk's stack of decisions: col + 1 chosen, -(col + 1) out
    for (int step = 0; step < 40; ++step) {
      const bool up = !decided.empty() && (rng() % 3 == 0 || decided.size() > 8);
      if (up) {
        decided.pop_back();
        ++freedAgain;
      } else {
        const int j = static_cast<int>(rng() % m.numCols);
        bool known = false;
        for (int d : decided) known = known || std::abs(d) - 1 == j;
        if (known) continue;
        decided.push_back(rng() % 2 == 0 ? j + 1 : -(j + 1));
      }
      std::vector<char> colFree(m.numCols, 1);
      std::vector<char> rowOpen(m.numRows, 1);
      std::vector<int> chosen;
      double fixedCost = 0.0;
      for (int d : decided) {
        const int j = std::abs(d) - 1;
        colFree[j] = 0;
        if (d > 0) {
          chosen.push_back(j);
          fixedCost += m.cost[j];
          for (const int* r = m.colBegin(j); r != m.colEnd(j); ++r) rowOpen[*r] = 0;
        }
      }
      bool coverable = true;  // the walk never enters a node with an open row and no column
      for (int i = 0; i < m.numRows && coverable; ++i) {
        if (!rowOpen[i]) continue;
        bool any = false;
        for (const int* k = m.rowBegin(i); k != m.rowEnd(i); ++k) any = any || colFree[*k];
        coverable = any;
      }
      if (!coverable) {
        decided.pop_back();
        continue;
      }
      std::vector<double> u(m.numRows, -1.0);
      bool optimal = false;
      ASSERT_TRUE(lp.solve(rowOpen.data(), colFree.data(), chosen, budget, decided.empty() ? 0 : 1,
                           u, optimal));
      EXPECT_TRUE(optimal);
      for (int i = 0; i < m.numRows; ++i) {
        EXPECT_GE(u[i], 0.0);
        if (!rowOpen[i]) {
          EXPECT_EQ(u[i], 0.0);
        }
      }
      std::vector<double> gamma(m.numCols, 0.0);
      const detail::Residual res{rowOpen.data(), colFree.data()};
      const double warm = detail::lagrangeValue(m, res, u, gamma, budget);
      const double cold = coldLp(m, rowOpen, colFree);
      EXPECT_NEAR(warm, cold, 1e-6 * (1.0 + std::fabs(cold)))
          << "round " << round << " step " << step << " fixed cost " << fixedCost;
      ++compared;
    }
    EXPECT_GT(lp.iterations(), 0);
  }
  EXPECT_GE(compared, 500);
  EXPECT_GE(freedAgain, 100);
}

// The settings of BranchAndBoundTest in portfolio_test: the tree alone, a short root.
detail::PortfolioSettings treeAlone(int lpMode) {
  detail::PortfolioSettings settings;
  for (const char* off : {"localSearch", "engine", "lp", "reductions", "intervalRows"}) {
    detail::setSetting(settings, off, 0);
  }
  detail::setSetting(settings, "root.iterations", 30);
  detail::setSetting(settings, "bnb.lp.mode", lpMode);
  return settings;
}

// The cheapest cover by a depth-first search over the columns of the first uncovered row.
double exhaustive(const CoverModel& m) {
  std::vector<std::uint64_t> mask(m.numCols, 0);
  for (int j = 0; j < m.numCols; ++j) {
    for (const int* r = m.colBegin(j); r != m.colEnd(j); ++r) mask[j] |= std::uint64_t{1} << *r;
  }
  const std::uint64_t all = m.numRows == 64 ? ~0ull : (std::uint64_t{1} << m.numRows) - 1;
  double best = std::numeric_limits<double>::infinity();
  std::vector<char> used(m.numCols, 0);
  const auto search = [&](const auto& self, std::uint64_t hit, double cost) -> void {
    if (cost >= best) return;
    if (hit == all) {
      best = cost;
      return;
    }
    int row = 0;
    while (hit >> row & 1u) ++row;
    for (int j = 0; j < m.numCols; ++j) {
      if (!used[j] && (mask[j] >> row & 1u)) {
        used[j] = 1;
        self(self, hit | mask[j], cost + m.cost[j]);
        used[j] = 0;
      }
    }
  };
  search(search, 0, 0.0);
  return best;
}

// With the node LP in every node: the optimum of the exhaustive search, answers that repeat
// when cut short, and a bound after the first node that holds and is never below the bound
// without it: the first node's LP starts from scratch and finishes, and L at its duals is the
// best Lagrangian bound there is, so it is above the subgradient's on some instances (duals
// that do not reach the node show as no instance where it is).
TEST(NodeLpTest, EveryNodeProvesTheExhaustiveOptimumAndTheFirstNodeReachesTheLp) {
  std::mt19937 rng(2718);
  const detail::PortfolioSettings with = treeAlone(2);
  const detail::PortfolioSettings without = treeAlone(0);
  int branched = 0;
  int higher = 0;
  for (int round = 0; round < 80; ++round) {
    Instance c = randomInstance(rng, 40 + static_cast<int>(rng() % 24),
                                26 + static_cast<int>(rng() % 12), 9);
    const CoverModel m = c.model();
    const CoverMatrix matrix = c.matrix();
    const double optimum = exhaustive(m);
    const std::string where = "round " + std::to_string(round);
    const SolveResult r = detail::solveWithinSettings(matrix, SolveLimits{}, with);
    EXPECT_TRUE(r.optimal) << where;
    EXPECT_DOUBLE_EQ(r.cost, optimum) << where;
    EXPECT_TRUE(detail::coversAll(m, r.ids)) << where;
    branched += r.nodes > 3 ? 1 : 0;
    for (long long cut : {1LL, 3LL}) {
      SolveLimits limits;
      limits.nodes = cut;
      const SolveResult a = detail::solveWithinSettings(matrix, limits, with);
      const SolveResult b = detail::solveWithinSettings(matrix, limits, with);
      EXPECT_LE(a.lowerBound, optimum + 1e-9) << where;
      EXPECT_EQ(a.ids, b.ids) << where;
      EXPECT_EQ(a.lowerBound, b.lowerBound) << where;
      EXPECT_EQ(a.nodes, b.nodes) << where;
      if (cut == 1) {
        const SolveResult plain = detail::solveWithinSettings(matrix, limits, without);
        EXPECT_GE(a.lowerBound, plain.lowerBound) << where;
        higher += a.lowerBound > plain.lowerBound ? 1 : 0;
      }
    }
  }
  EXPECT_GE(branched, 12);  // the instances do reach the tree
  EXPECT_GE(higher, 6);
}

// GLPK runs out of memory building the node LP (a caller's memory limit of 1 MB on the
// thread's environment): the search goes on without it, exactly as with the node LP off, and
// GLPK works for the caller afterwards.
TEST(NodeLpTest, GlpkFailureInANodeFallsBackToTheLagrangianNode) {
  const ntu_test::ChildResult child = ntu_test::runInChild([](std::string& report) {
    // 3000 columns of 10 rows: GLPK's copy of the matrix alone takes more than 1 MB.
    std::mt19937 rng(5);
    Instance c = randomInstance(rng, 300, 3000, 50);
    for (auto& col : c.cols) {
      for (int k = 0; k < 10; ++k) col.push_back(static_cast<int>(rng() % 300));
      std::sort(col.begin(), col.end());
      col.erase(std::unique(col.begin(), col.end()), col.end());
    }
    const CoverMatrix matrix = c.matrix();
    SolveLimits limits;
    limits.nodes = 30;
    const SolveResult off = detail::solveWithinSettings(matrix, limits, treeAlone(0));
    glp_mem_limit(1);
    const SolveResult failing = detail::solveWithinSettings(matrix, limits, treeAlone(2));
    const bool same = failing.ids == off.ids && failing.lowerBound == off.lowerBound &&
                      failing.nodes == off.nodes && failing.cost == off.cost;
    report += same ? "same answer\n" : "different answer\n";
    report += glp_init_env() == 0 ? "environment freed\n" : "environment kept\n";
    glp_prob* p = glp_create_prob();
    glp_add_rows(p, 1);
    report += std::to_string(glp_get_num_rows(p)) + " row afterwards\n";
    glp_delete_prob(p);
    glp_free_env();
    // Without the limit the node LP runs and changes the route: the check above can fail.
    const SolveResult running = detail::solveWithinSettings(matrix, limits, treeAlone(2));
    report += running.lowerBound != off.lowerBound || running.ids != off.ids ? "lp used\n"
                                                                             : "lp unused\n";
  });
  ASSERT_TRUE(child.exitedCleanly()) << child.describe() << "\n" << child.text;
  EXPECT_EQ(child.text, "same answer\nenvironment freed\n1 row afterwards\nlp used\n");
}

// Weighted OR-Library files with the node LP in every node: the proven optima of the corpus's
// table, reached and proven.
TEST(NodeLpCorpusTest, WeightedOptimaAreProvenWithTheLpInEveryNode) {
  const std::string corpus = std::string(NTU_CORPORA_DIR) + "/setcover";
  if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "no corpora at " << corpus;
  std::map<std::string, double> known;
  std::ifstream table(corpus + "/weighted_values.tsv");
  std::string file;
  std::string value;
  std::string proven;
  while (table >> file >> value >> proven) {
    if (proven == "yes") known[file] = std::stod(value);
  }
  ASSERT_FALSE(known.empty()) << "no proven optima in " << corpus << "/weighted_values.tsv";
  detail::PortfolioSettings settings;
  detail::setSetting(settings, "bnb.lp.mode", 2);
  for (const char* name : {"scp41", "scp51", "scp61", "scpa1", "scpb1", "scpc1"}) {
    const std::string path = "orlib/" + std::string(name) + ".txt";
    ASSERT_EQ(known.count(path), 1u) << path;
    const auto sets = ntu_corpus::readOrLibrary(corpus + "/" + path);
    const std::vector<double> cost = ntu_corpus::readOrLibraryCosts(corpus + "/" + path);
    std::map<int, double> costs;
    for (std::size_t j = 0; j < cost.size(); ++j) costs[static_cast<int>(j)] = cost[j];
    const SolveResult r = detail::solveWithinSettings(sets, &costs, SolveLimits{}, settings);
    EXPECT_TRUE(r.optimal) << name;
    EXPECT_EQ(r.cost, known[path]) << name;
    double sum = 0.0;
    for (int id : r.ids) sum += costs.at(id);
    EXPECT_EQ(sum, r.cost) << name;
  }
}

}  // namespace
