// The compact form (CoverMatrix) against the map form, its argument checks, and the stopping
// rules and warm start that both forms share (status, gap, target cost, start).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "set_cover_stress/generator.hpp"
#include "setcover/corpus_reader.hpp"
#include "setcover/random_instance.hpp"

namespace {

namespace ntu = nimbrel_tavik_util;
using ntu::CoverMatrix;
using ntu::SolveLimits;
using ntu::SolveResult;
using ntu::SolveStatus;
using Instance = std::map<int, std::set<int>>;
using Costs = std::map<int, double>;
using IntSolver = ntu::SetCoverSolver<int>;

// Owning arrays behind a CoverMatrix view.
struct Matrix {
  int elements = 0;
  std::vector<std::int64_t> setStart{0};
  std::vector<int> elementIndex;
  std::vector<double> costs;

  CoverMatrix view() const {
    CoverMatrix m;
    m.elements = elements;
    m.sets = static_cast<int>(setStart.size()) - 1;
    m.setStart = setStart.data();
    m.elementIndex = elementIndex.data();
    m.costs = costs.empty() ? nullptr : costs.data();
    return m;
  }
};

// The matrix of `instance` whose column j is the set of the j-th id, with each column's
// entries shuffled and some repeated, rows numbered in ascending element order.
Matrix matrixOf(const Instance& instance, const Costs* costs, std::mt19937& rng) {
  std::map<int, int> row;
  for (const auto& entry : instance) {
    for (int e : entry.second) row.emplace(e, 0);
  }
  int next = 0;
  for (auto& entry : row) entry.second = next++;
  Matrix m;
  m.elements = next;
  for (const auto& [id, elems] : instance) {
    std::vector<int> column;
    for (int e : elems) {
      column.push_back(row[e]);
      if (rng() % 4 == 0) column.push_back(row[e]);
    }
    std::shuffle(column.begin(), column.end(), rng);
    m.elementIndex.insert(m.elementIndex.end(), column.begin(), column.end());
    m.setStart.push_back(static_cast<std::int64_t>(m.elementIndex.size()));
    if (costs != nullptr) m.costs.push_back(costs->at(id));
  }
  return m;
}

std::vector<int> idsOf(const Instance& instance, const std::vector<int>& columns) {
  std::vector<int> ids;
  for (int j : columns) ids.push_back(std::next(instance.begin(), j)->first);
  return ids;
}

bool covers(const Matrix& m, const std::vector<int>& columns) {
  std::vector<char> hit(m.elements, 0);
  for (int j : columns) {
    for (std::int64_t k = m.setStart[j]; k < m.setStart[j + 1]; ++k) hit[m.elementIndex[k]] = 1;
  }
  return std::all_of(hit.begin(), hit.end(), [](char h) { return h != 0; });
}

// Same greedy ids and same optimal costs as the map form, weighted and unicost, on random
// instances with empty and duplicate sets, shuffled and repeated entries.
TEST(CoverMatrixTest, AgreesWithTheMapForm) {
  std::mt19937 rng(2024);
  ntu_test::InstanceShape shape;
  shape.maxSets = 25;
  shape.maxElems = 35;
  for (int round = 0; round < 300; ++round) {
    const Instance instance = randomAbstractInstance(rng, shape);
    Costs costs;
    for (const auto& entry : instance) costs[entry.first] = static_cast<double>(rng() % 5);
    const bool weighted = round % 2 == 1;
    const Matrix m = matrixOf(instance, weighted ? &costs : nullptr, rng);
    const std::string where = "round " + std::to_string(round);

    EXPECT_EQ(idsOf(instance, ntu::greedyCover(m.view())), IntSolver::solve(instance, ntu::GREEDY))
        << where;
    const SolveResult compact = ntu::solveWithin(m.view());
    const SolveResult map =
        weighted ? IntSolver::solveWithin(instance, costs) : IntSolver::solveWithin(instance);
    ASSERT_TRUE(compact.optimal) << where;
    EXPECT_EQ(compact.status, SolveStatus::Optimal) << where;
    EXPECT_EQ(compact.cost, map.cost) << where;
    EXPECT_TRUE(covers(m, compact.ids)) << where;
    EXPECT_TRUE(std::is_sorted(compact.ids.begin(), compact.ids.end())) << where;
    double sum = 0.0;
    for (int j : compact.ids) {
      sum += weighted ? m.costs[j] : 1.0;
      EXPECT_GT(m.setStart[j + 1], m.setStart[j]) << where << ": empty column " << j;
    }
    EXPECT_EQ(compact.cost, sum) << where;
  }
}

// The stress family and corpus files: the same greedy ids, and solveWithin under a node limit
// gives the same answer on both forms (one model, one search).
TEST(CoverMatrixTest, AgreesWithTheMapFormOnStressAndCorpusInstances) {
  std::vector<std::pair<std::string, Instance>> cases;
  set_cover_stress::GeneratorConfig config;
  config.n_dirts = 5000;
  config.n_trajs = 400;
  cases.emplace_back("stress", set_cover_stress::generateInstance(7, config).traj_to_dirts);
  const std::string corpus = std::string(NTU_CORPORA_DIR) + "/setcover";
  if (std::filesystem::is_directory(corpus)) {
    cases.emplace_back("stn45", ntu_corpus::readSteiner(corpus + "/stn/data.45"));
    cases.emplace_back("scp41", ntu_corpus::readOrLibrary(corpus + "/orlib/scp41.txt"));
  }
  std::mt19937 rng(3);
  for (const auto& [name, instance] : cases) {
    const Matrix m = matrixOf(instance, nullptr, rng);
    EXPECT_EQ(idsOf(instance, ntu::greedyCover(m.view())), IntSolver::solve(instance, ntu::GREEDY))
        << name;
    SolveLimits limits;
    limits.nodes = 30;
    const SolveResult compact = ntu::solveWithin(m.view(), limits);
    const SolveResult map = IntSolver::solveWithin(instance, limits);
    EXPECT_EQ(compact.cost, map.cost) << name;
    EXPECT_TRUE(covers(m, compact.ids)) << name;
  }
}

template <typename Call>
std::string messageOf(Call call) {
  try {
    call();
  } catch (const std::invalid_argument& e) {
    return e.what();
  }
  return "no exception";
}

// solveWithin's message; greedyCover must give the same after its own name.
std::string messageOf(const Matrix& m) {
  const std::string solve = messageOf([&m] { ntu::solveWithin(m.view()); });
  const std::string greedy = messageOf([&m] { ntu::greedyCover(m.view()); });
  const std::size_t prefix = std::string("solveWithin(CoverMatrix): ").size();
  EXPECT_EQ(solve.substr(std::min(prefix, solve.size())),
            greedy.substr(std::min(prefix, greedy.size())));
  return solve;
}

// Each fault is named, with where it is; both entry points check alike.
TEST(CoverMatrixTest, InvalidMatricesNameTheFault) {
  Matrix good;  // S0 = {0, 1}, S1 = {}, S2 = {1, 2}
  good.elements = 3;
  good.setStart = {0, 2, 2, 4};
  good.elementIndex = {0, 1, 1, 2};
  good.costs = {1.0, 2.0, 3.0};
  EXPECT_EQ(ntu::solveWithin(good.view()).ids, (std::vector<int>{0, 2}));

  const std::string who = "solveWithin(CoverMatrix): ";
  Matrix m = good;
  m.elements = -1;
  EXPECT_EQ(messageOf(m), who + "elements is negative (-1)");
  m = good;
  m.setStart[0] = 1;
  EXPECT_EQ(messageOf(m), who + "setStart[0] is 1");
  m = good;
  m.setStart[2] = 1;
  EXPECT_EQ(messageOf(m), who + "setStart[2] = 1 is below setStart[1] = 2");
  m = good;
  m.elementIndex[3] = 3;
  EXPECT_EQ(messageOf(m), who + "elementIndex[3] = 3 (set 2) is outside [0, 3)");
  m.elementIndex[3] = -1;
  EXPECT_EQ(messageOf(m), who + "elementIndex[3] = -1 (set 2) is outside [0, 3)");
  m = good;
  m.elements = 4;
  EXPECT_EQ(messageOf(m), who + "element 3 is in no set");
  m = good;
  m.costs[1] = std::nan("");
  EXPECT_EQ(messageOf(m), who + "cost is NaN (set 1)");
  m.costs[1] = -0.5;
  EXPECT_EQ(messageOf(m), who + "cost -0.5 is negative (set 1)");
  m.costs[1] = std::numeric_limits<double>::infinity();
  EXPECT_EQ(messageOf(m), who + "cost inf is not finite (set 1)");
  m.costs = {1e308, 1e308, 0.0};
  EXPECT_EQ(messageOf(m), who + "the costs add up to more than the largest double (set 1)");

  CoverMatrix nulls = good.view();
  nulls.setStart = nullptr;
  EXPECT_THROW(ntu::solveWithin(nulls), std::invalid_argument);
  nulls = good.view();
  nulls.elementIndex = nullptr;
  EXPECT_THROW(ntu::greedyCover(nulls), std::invalid_argument);
  CoverMatrix empty;  // no rows, no columns: nothing to cover
  EXPECT_TRUE(ntu::solveWithin(empty).optimal);
  EXPECT_TRUE(ntu::greedyCover(empty).empty());

  SolveLimits badStart;
  badStart.start = {3};
  EXPECT_THROW(ntu::solveWithin(good.view(), badStart), std::invalid_argument);
  EXPECT_THROW(IntSolver::solveWithin({{1, {1}}}, badStart), std::invalid_argument);

  // The map form checks the total too.
  EXPECT_THROW(IntSolver::solveWithin({{1, {1}}, {2, {2}}}, Costs{{1, 1e308}, {2, 1e308}}),
               std::invalid_argument);
}

// A uniform random instance that no method proves in a moment.
Instance hardInstance(int sets, unsigned seed) {
  return ntu_test::uniformInstance(sets, static_cast<int>(seed));
}

// Each rule ends the call with its own status; the answer is always a sound cover.
TEST(StoppingRulesTest, StatusSaysWhichRuleEndedTheCall) {
  const Instance instance = hardInstance(150, 11);
  const auto run = [&instance](SolveLimits limits) {
    const SolveResult r = IntSolver::solveWithin(instance, limits);
    EXPECT_LE(r.lowerBound, r.cost);
    EXPECT_FALSE(r.ids.empty());
    return r;
  };
  SolveLimits limits;
  limits.seconds = 0.0;
  EXPECT_EQ(run(limits).status, SolveStatus::TimeLimit);

  limits = {};
  limits.nodes = 5;
  SolveResult r = run(limits);
  EXPECT_EQ(r.status, SolveStatus::NodeLimit);
  EXPECT_FALSE(r.optimal);

  const std::atomic<bool> stop{true};
  limits = {};
  limits.stop = &stop;
  EXPECT_EQ(run(limits).status, SolveStatus::Stopped);

  limits = {};
  limits.targetCost = 1e9;  // the first cover reaches it
  r = run(limits);
  EXPECT_EQ(r.status, SolveStatus::TargetReached);
  EXPECT_EQ(r.nodes, 0);

  limits = {};
  limits.gap = 0.5;
  r = run(limits);
  EXPECT_EQ(r.status, SolveStatus::GapReached);
  EXPECT_LE(r.cost - r.lowerBound, 0.5 * r.cost);

  limits = {};
  limits.gap = 0.01;  // met only by the proof on a small instance
  const Instance small{{1, {1, 2}}, {2, {2, 3}}, {3, {3, 1}}};
  r = IntSolver::solveWithin(small, limits);
  EXPECT_EQ(r.status, SolveStatus::Optimal);
  EXPECT_TRUE(r.optimal);

  for (double bad : {-0.1, std::nan("")}) {
    limits = {};
    limits.gap = bad;
    EXPECT_THROW(IntSolver::solveWithin(small, limits), std::invalid_argument);
  }
  limits = {};
  limits.targetCost = std::nan("");
  EXPECT_THROW(IntSolver::solveWithin(small, limits), std::invalid_argument);
  EXPECT_EQ(IntSolver::solveWithin(small, {}).cost, 2.0);  // `{}` picks the unicost call
}

// An optimal warm start is kept under a node limit of 0; a partial one is completed and the
// call still proves the optimum.
TEST(WarmStartTest, CompletedAndNeverWorsened) {
  std::mt19937 rng(99);
  ntu_test::InstanceShape shape;
  shape.maxSets = 20;
  shape.maxElems = 30;
  for (int round = 0; round < 200; ++round) {
    const Instance instance = randomAbstractInstance(rng, shape);
    Costs costs;
    for (const auto& entry : instance) costs[entry.first] = 1.0 + static_cast<double>(rng() % 9);
    const SolveResult best = IntSolver::solveWithin(instance, costs);
    ASSERT_TRUE(best.optimal);
    SolveLimits limits;
    limits.nodes = 0;
    limits.start = best.ids;
    const SolveResult now = IntSolver::solveWithin(instance, costs, limits);
    EXPECT_LE(now.cost, best.cost + 1e-9) << "round " << round;

    std::vector<int> partial;
    for (const auto& entry : instance) {
      if (rng() % 3 == 0) partial.push_back(entry.first);
    }
    limits = {};
    limits.start = partial;
    const SolveResult completed = IntSolver::solveWithin(instance, costs, limits);
    EXPECT_TRUE(completed.optimal) << "round " << round;
    EXPECT_EQ(completed.cost, best.cost) << "round " << round;
  }
}

// A stop before the model is even built still keeps a warm start that is a cover (map form:
// stopped while numbering; compact form: while building the model).
TEST(WarmStartTest, KeptWhenStoppedAtOnce) {
  const Instance instance = hardInstance(1000, 5);  // about 100,000 entries: the stop bites early
  std::mt19937 rng(5);
  const Matrix m = matrixOf(instance, nullptr, rng);
  const std::vector<int> greedy = ntu::greedyCover(m.view());
  const std::atomic<bool> stop{true};
  SolveLimits limits;
  limits.stop = &stop;
  limits.start = greedy;
  const SolveResult compact = ntu::solveWithin(m.view(), limits);
  EXPECT_EQ(compact.status, SolveStatus::Stopped);
  EXPECT_TRUE(covers(m, compact.ids));
  EXPECT_LE(compact.cost, static_cast<double>(greedy.size()));
  limits.start = idsOf(instance, greedy);
  const SolveResult map = IntSolver::solveWithin(instance, limits);
  EXPECT_LE(map.cost, static_cast<double>(greedy.size()));
  EXPECT_EQ(map.ids, idsOf(instance, compact.ids));
}

}  // namespace
