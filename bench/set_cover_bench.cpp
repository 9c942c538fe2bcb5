// Benchmarks of the set-cover solvers, each beside the step-by-step reference of the tests
// where that finishes in reasonable time.
//
// Families: the stress instances scaled by k (n_dirts and n_trajs both times k, seed 7), seeded
// uniform random instances (n sets over 2n elements, each pair present with probability 0.05),
// and the benchmark files of NTU_CORPORA_DIR/setcover (skipped, with a message, when absent).
// Before timing, a fast solver's answer is compared with the reference (or, where that does not
// finish, with the exact size); a difference makes the benchmark fail with an error instead of
// reporting a time.
//
// Counters: cover size, instance size (sets, elements, nonzeros), the peak of heap memory
// allocated through operator new during one solve (this program replaces the global operator
// new, which the library's containers use; GLPK's own allocations are not counted), and the
// process's peak resident set before and after solving.
#include <benchmark/benchmark.h>
#include <glpk.h>
#include <malloc.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <ostream>
#include <set>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include "greedy_variants.hpp"
#include "nimbrel_tavik_util/set_cover.hpp"
#include "set_cover_stress/driver.hpp"
#include "set_cover_stress/generator.hpp"
#include "setcover/corpus_reader.hpp"
#include "setcover/index_form.hpp"
#include "setcover/random_instance.hpp"
#include "setcover/reference_solver.hpp"

// Heap accounting: bytes currently allocated through operator new, and the highest value
// since the last reset. Single-threaded, like the benchmarks.
namespace heap {
std::size_t current = 0;
std::size_t peak = 0;
void resetPeak() { peak = current; }
}  // namespace heap

void* operator new(std::size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  heap::current += malloc_usable_size(p);
  heap::peak = std::max(heap::peak, heap::current);
  return p;
}
// g++ sees free() on memory from operator new; here that is the point.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  heap::current -= malloc_usable_size(p);
  std::free(p);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace {

using nimbrel_tavik_util::SetCoverSolver;
using nimbrel_tavik_util::SolveMethod;
using Instance = std::map<int, std::set<int>>;
using Solver = SetCoverSolver<int>;

// ---------------------------------------------------------------------------------------------
// Instances, built once per process.

const Instance& stressInstance(int k) {
  static std::map<int, Instance> cache;
  auto it = cache.find(k);
  if (it == cache.end()) {
    set_cover_stress::GeneratorConfig config;
    config.n_dirts *= k;
    config.n_trajs *= k;
    it = cache.emplace(k, set_cover_stress::generateInstance(7, config).traj_to_dirts).first;
  }
  return it->second;
}

// n sets over 2n elements, each (set, element) pair with probability 0.05 (the generator of
// the tests). Elements in no set are not part of the instance.
const Instance& uniformInstance(int sets, int seed) {
  static std::map<std::pair<int, int>, Instance> cache;
  const auto key = std::make_pair(sets, seed);
  auto it = cache.find(key);
  if (it == cache.end()) it = cache.emplace(key, ntu_test::uniformInstance(sets, seed)).first;
  return it->second;
}

std::string corporaDir() { return std::string(NTU_CORPORA_DIR) + "/setcover"; }

struct CorpusFile {
  std::string name;  // stn27, scpe1, ...
  std::string path;
  bool steiner;
  int optimum;  // known optimal unicost value, 0 when not known
};

// The files the exact methods finish on (and their optima, from the corpus README), then a few
// larger ones for the greedy only.
const std::vector<CorpusFile>& exactCorpus() {
  static const std::vector<CorpusFile> files = [] {
    std::vector<CorpusFile> list;
    for (const auto& [n, opt] :
         std::vector<std::pair<int, int>>{{9, 5}, {15, 9}, {27, 18}, {45, 30}}) {
      list.push_back(
          {"stn" + std::to_string(n), corporaDir() + "/stn/data." + std::to_string(n), true, opt});
    }
    for (int i = 1; i <= 5; ++i) {
      list.push_back({"scpe" + std::to_string(i),
                      corporaDir() + "/orlib/scpe" + std::to_string(i) + ".txt", false, 5});
    }
    return list;
  }();
  return files;
}

const std::vector<CorpusFile>& greedyOnlyCorpus() {
  static const std::vector<CorpusFile> files = {
      {"stn81", corporaDir() + "/stn/data.81", true, 61},
      {"stn243", corporaDir() + "/stn/data.243", true, 198},
      {"scp41", corporaDir() + "/orlib/scp41.txt", false, 0},
      {"scpa1", corporaDir() + "/orlib/scpa1.txt", false, 0},
      {"scpclr13", corporaDir() + "/orlib/scpclr13.txt", false, 0},
      {"scpcyc11", corporaDir() + "/orlib/scpcyc11.txt", false, 0},
  };
  return files;
}

const Instance& corpusInstance(const CorpusFile& file) {
  static std::map<std::string, Instance> cache;
  auto it = cache.find(file.path);
  if (it == cache.end()) {
    it = cache
             .emplace(file.path, file.steiner ? ntu_corpus::readSteiner(file.path)
                                              : ntu_corpus::readOrLibrary(file.path))
             .first;
  }
  return it->second;
}

// ---------------------------------------------------------------------------------------------
// Helpers.

void describe(benchmark::State& state, const Instance& instance, std::size_t coverSize) {
  std::set<int> universe;
  double nonzeros = 0;
  for (const auto& entry : instance) {
    universe.insert(entry.second.begin(), entry.second.end());
    nonzeros += static_cast<double>(entry.second.size());
  }
  state.counters["sets"] = static_cast<double>(instance.size());
  state.counters["elems"] = static_cast<double>(universe.size());
  state.counters["nnz"] = nonzeros;
  state.counters["cover"] = static_cast<double>(coverSize);
}

double peakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kB on Linux
}

bool isCover(const Instance& instance, const std::vector<int>& ids) {
  std::set<int> universe;
  for (const auto& entry : instance) universe.insert(entry.second.begin(), entry.second.end());
  std::set<int> covered;
  for (int id : ids) {
    const auto it = instance.find(id);
    if (it == instance.end()) return false;
    covered.insert(it->second.begin(), it->second.end());
  }
  return covered == universe;
}

using SolveFn = std::function<std::vector<int>(const Instance&)>;

// Times `solve` on `instance`. `expected`, when given, is checked before timing.
void runSolver(benchmark::State& state, const Instance& instance, const SolveFn& solve,
               const std::function<std::string(const std::vector<int>&)>& check = nullptr) {
  const double rssBefore = peakRssMb();
  const std::size_t heapBefore = heap::current;
  heap::resetPeak();
  std::vector<int> result = solve(instance);
  const double heapPeakMb = static_cast<double>(heap::peak - heapBefore) / (1024.0 * 1024.0);
  if (check) {
    const std::string problem = check(result);
    if (!problem.empty()) {
      state.SkipWithError(problem.c_str());
      return;
    }
  }
  for (auto _ : state) {
    result = solve(instance);
    benchmark::DoNotOptimize(result.data());
  }
  describe(state, instance, result.size());
  state.counters["heap_peak_mb"] = heapPeakMb;
  state.counters["rss_before_mb"] = rssBefore;
  state.counters["rss_peak_mb"] = peakRssMb();
}

std::function<std::string(const std::vector<int>&)> equals(std::vector<int> expected,
                                                           const char* what) {
  return [expected = std::move(expected), what](const std::vector<int>& got) {
    return got == expected ? std::string() : std::string("differs from ") + what;
  };
}

std::function<std::string(const std::vector<int>&)> coverOfSize(const Instance& instance,
                                                                std::size_t size) {
  return [&instance, size](const std::vector<int>& got) {
    if (!isCover(instance, got)) return std::string("not a cover");
    if (size != 0 && got.size() != size) {
      return "size " + std::to_string(got.size()) + ", expected " + std::to_string(size);
    }
    return std::string();
  };
}

SolveFn method(SolveMethod m, bool continuity = false) {
  return
      [m, continuity](const Instance& instance) { return Solver::solve(instance, m, continuity); };
}

std::vector<int> referenceGreedy(const Instance& instance, bool continuity) {
  return ntu_test::referenceGreedy(instance, continuity);
}

std::vector<int> referencePropagate(const Instance& instance) {
  return ntu_test::referencePropagate(instance);
}

// ---------------------------------------------------------------------------------------------
// Stress family.

void BM_GreedyStress(benchmark::State& state) {
  const Instance& instance = stressInstance(static_cast<int>(state.range(0)));
  runSolver(state, instance, method(nimbrel_tavik_util::GREEDY));
}

void BM_GreedyContinuityStress(benchmark::State& state) {
  const Instance& instance = stressInstance(static_cast<int>(state.range(0)));
  runSolver(state, instance, method(nimbrel_tavik_util::GREEDY, true));
}

template <std::vector<int> (*Variant)(const ntu_bench::IndexForm&, bool)>
void greedyVariant(benchmark::State& state, bool continuity) {
  const Instance& instance = stressInstance(static_cast<int>(state.range(0)));
  runSolver(
      state, instance,
      [continuity](const Instance& in) {
        return Variant(nimbrel_tavik_util::setcover_detail::buildIndexForm(in), continuity);
      },
      equals(Solver::solve(instance, nimbrel_tavik_util::GREEDY, continuity), "the library"));
}
void BM_GreedyEagerBucketsStress(benchmark::State& state) {
  greedyVariant<ntu_bench::greedyEagerBuckets>(state, false);
}
void BM_GreedyEagerBucketsContinuityStress(benchmark::State& state) {
  greedyVariant<ntu_bench::greedyEagerBuckets>(state, true);
}
void BM_GreedyLazyHeapStress(benchmark::State& state) {
  greedyVariant<ntu_bench::greedyLazyHeap>(state, false);
}
void BM_GreedyLazyHeapContinuityStress(benchmark::State& state) {
  greedyVariant<ntu_bench::greedyLazyHeap>(state, true);
}

void BM_GreedyReferenceStress(benchmark::State& state) {
  const Instance& instance = stressInstance(static_cast<int>(state.range(0)));
  runSolver(
      state, instance, [](const Instance& in) { return referenceGreedy(in, false); },
      equals(Solver::solve(instance, nimbrel_tavik_util::GREEDY, false), "the library"));
}

void BM_GreedyReferenceContinuityStress(benchmark::State& state) {
  const Instance& instance = stressInstance(static_cast<int>(state.range(0)));
  runSolver(
      state, instance, [](const Instance& in) { return referenceGreedy(in, true); },
      equals(Solver::solve(instance, nimbrel_tavik_util::GREEDY, true), "the library"));
}

void BM_PropagateStress(benchmark::State& state) {
  const int k = static_cast<int>(state.range(0));
  const Instance& instance = stressInstance(k);
  runSolver(state, instance, method(nimbrel_tavik_util::PROPAGATE),
            k == 1 ? equals(referencePropagate(instance), "the reference search")
                   : coverOfSize(instance, 0));
}

void BM_PropagateReferenceStress(benchmark::State& state) {
  const Instance& instance = stressInstance(static_cast<int>(state.range(0)));
  runSolver(state, instance, referencePropagate);
}

void BM_IlpStress(benchmark::State& state) {
  const Instance& instance = stressInstance(static_cast<int>(state.range(0)));
  runSolver(state, instance, method(nimbrel_tavik_util::ILP),
            coverOfSize(instance, Solver::solve(instance, nimbrel_tavik_util::PROPAGATE).size()));
}

// The model as _solveByILP builds it (numbering, column lists, GLPK problem), without solving.
struct GlpkProblem {
  glp_prob* p = nullptr;
  explicit GlpkProblem(const Instance& instance) {
    const auto form = nimbrel_tavik_util::setcover_detail::buildIndexForm(instance);
    std::vector<std::vector<int>> columns;
    for (int s = 0; s < form.numSets(); ++s) {
      if (form.start[s] != form.start[s + 1]) columns.push_back(form.list(s));
    }
    const int n = static_cast<int>(columns.size());
    std::vector<int> ia{0};
    std::vector<int> ja{0};
    std::vector<double> ar{0.0};
    for (int j = 0; j < n; ++j) {
      for (int row : columns[j]) {
        ia.push_back(row + 1);
        ja.push_back(j + 1);
        ar.push_back(1.0);
      }
    }
    p = glp_create_prob();
    glp_set_obj_dir(p, GLP_MIN);
    glp_add_cols(p, n);
    for (int j = 1; j <= n; ++j) {
      glp_set_col_kind(p, j, GLP_BV);
      glp_set_obj_coef(p, j, 1.0);
    }
    glp_add_rows(p, form.numElems);
    for (int i = 1; i <= form.numElems; ++i) glp_set_row_bnds(p, i, GLP_LO, 1.0, 0.0);
    glp_load_matrix(p, static_cast<int>(ia.size()) - 1, ia.data(), ja.data(), ar.data());
  }
  ~GlpkProblem() { glp_delete_prob(p); }
  GlpkProblem(const GlpkProblem&) = delete;
  GlpkProblem& operator=(const GlpkProblem&) = delete;
};

void BM_IlpModelStress(benchmark::State& state) {
  const Instance& instance = stressInstance(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto problem = std::make_unique<GlpkProblem>(instance);
    benchmark::DoNotOptimize(problem->p);
    state.PauseTiming();  // deleting the problem is not part of building it
    problem.reset();
    state.ResumeTiming();
  }
  describe(state, instance, 0);
}

// GLPK's own work on that model: simplex, then branch-and-cut, with messages off.
void BM_IlpGlpkStress(benchmark::State& state) {
  const Instance& instance = stressInstance(static_cast<int>(state.range(0)));
  double objective = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto problem = std::make_unique<GlpkProblem>(instance);
    glp_smcp smcp;
    glp_init_smcp(&smcp);
    smcp.msg_lev = GLP_MSG_OFF;
    glp_iocp iocp;
    glp_init_iocp(&iocp);
    iocp.msg_lev = GLP_MSG_OFF;
    state.ResumeTiming();
    glp_simplex(problem->p, &smcp);
    glp_intopt(problem->p, &iocp);
    objective = glp_mip_obj_val(problem->p);
    state.PauseTiming();
    problem.reset();
    state.ResumeTiming();
  }
  describe(state, instance, static_cast<std::size_t>(objective));
}

// The whole set_cover_stress run (50 rounds, all methods, checks, report to nowhere).
void BM_StressProgram(benchmark::State& state) {
  struct NullBuf : std::streambuf {
    int overflow(int c) override { return c; }
  } nullBuf;
  std::ostream out(&nullBuf);
  for (auto _ : state) {
    const auto totals = set_cover_stress::runStress(
        out, [](const Instance& instance, SolveMethod m, bool continuity) {
          return Solver::solve(instance, m, continuity);
        });
    benchmark::DoNotOptimize(&totals);
  }
}

// The same loop with a solver that returns every id at once: what generation, coverage checks
// and the report cost without any solving.
void BM_StressProgramWithoutSolving(benchmark::State& state) {
  struct NullBuf : std::streambuf {
    int overflow(int c) override { return c; }
  } nullBuf;
  std::ostream out(&nullBuf);
  for (auto _ : state) {
    const auto totals =
        set_cover_stress::runStress(out, [](const Instance& instance, SolveMethod, bool) {
          std::vector<int> ids;
          ids.reserve(instance.size());
          for (const auto& entry : instance) ids.push_back(entry.first);
          return ids;
        });
    benchmark::DoNotOptimize(&totals);
  }
}

// ---------------------------------------------------------------------------------------------
// Uniform random family: range(0) sets, range(1) seed.

void BM_GreedyUniform(benchmark::State& state) {
  runSolver(state,
            uniformInstance(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))),
            method(nimbrel_tavik_util::GREEDY));
}

void BM_PropagateUniform(benchmark::State& state) {
  const Instance& instance =
      uniformInstance(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  runSolver(state, instance, method(nimbrel_tavik_util::PROPAGATE),
            state.range(0) <= 50
                ? equals(referencePropagate(instance), "the reference search")
                : coverOfSize(instance, Solver::solve(instance, nimbrel_tavik_util::ILP).size()));
}

void BM_PropagateReferenceUniform(benchmark::State& state) {
  runSolver(state,
            uniformInstance(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))),
            referencePropagate);
}

void BM_IlpUniform(benchmark::State& state) {
  runSolver(state,
            uniformInstance(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))),
            method(nimbrel_tavik_util::ILP));
}

// ---------------------------------------------------------------------------------------------

// Registration. Repetitions: 5 where one run takes well under a second, 3 up to a few
// seconds, 1 for the step-by-step references that take tens of seconds (their single run is
// the median). Medians of the repetitions are what the report quotes.

using Fn = void (*)(benchmark::State&);

benchmark::internal::Benchmark* add(const std::string& name, Fn fn, int repetitions) {
  auto* b = benchmark::RegisterBenchmark(name.c_str(), fn);
  b->Unit(benchmark::kMillisecond)->Repetitions(repetitions)->ReportAggregatesOnly(true);
  if (repetitions == 1) b->Iterations(1);
  return b;
}

void addArgs(const std::string& name, Fn fn, int repetitions, std::initializer_list<int> args) {
  auto* b = add(name, fn, repetitions);
  for (int a : args) b->Arg(a);
}

void registerStress() {
  addArgs("BM_GreedyStress", BM_GreedyStress, 5, {1, 2, 5, 10, 100});
  addArgs("BM_GreedyContinuityStress", BM_GreedyContinuityStress, 5, {1, 2, 5, 10, 100});
  addArgs("BM_GreedyEagerBucketsStress", BM_GreedyEagerBucketsStress, 5, {1, 2, 5, 10, 100});
  addArgs("BM_GreedyEagerBucketsContinuityStress", BM_GreedyEagerBucketsContinuityStress, 5,
          {1, 10, 100});
  addArgs("BM_GreedyLazyHeapStress", BM_GreedyLazyHeapStress, 5, {1, 2, 5, 10, 100});
  addArgs("BM_GreedyLazyHeapContinuityStress", BM_GreedyLazyHeapContinuityStress, 5, {1, 10, 100});
  addArgs("BM_GreedyReferenceStress", BM_GreedyReferenceStress, 5, {1, 2});
  addArgs("BM_GreedyReferenceStress", BM_GreedyReferenceStress, 1, {5, 10});
  addArgs("BM_GreedyReferenceContinuityStress", BM_GreedyReferenceContinuityStress, 5, {1});
  addArgs("BM_PropagateStress", BM_PropagateStress, 5, {1, 2, 5, 10, 100});
  addArgs("BM_PropagateReferenceStress", BM_PropagateReferenceStress, 5, {1});
  addArgs("BM_IlpStress", BM_IlpStress, 5, {1, 2});
  addArgs("BM_IlpStress", BM_IlpStress, 3, {5, 10});
  addArgs("BM_IlpModelStress", BM_IlpModelStress, 5, {1, 2, 5, 10});
  addArgs("BM_IlpGlpkStress", BM_IlpGlpkStress, 5, {1, 2});
  addArgs("BM_IlpGlpkStress", BM_IlpGlpkStress, 3, {5, 10});
  add("BM_StressProgram", BM_StressProgram, 3)->Iterations(1)->UseRealTime();
  add("BM_StressProgramWithoutSolving", BM_StressProgramWithoutSolving, 3)
      ->Iterations(1)
      ->UseRealTime();
}

void registerUniform() {
  // Size sweep with the reference where it finishes, then 20 seeds of 100 sets x 200 elements.
  for (int sets : {20, 30, 40, 50}) {
    for (int seed : {1, 2, 3}) {
      add("BM_GreedyUniform", BM_GreedyUniform, 5)->Args({sets, seed});
      add("BM_PropagateUniform", BM_PropagateUniform, 5)->Args({sets, seed});
      add("BM_PropagateReferenceUniform", BM_PropagateReferenceUniform, sets <= 40 ? 5 : 1)
          ->Args({sets, seed});
      add("BM_IlpUniform", BM_IlpUniform, 5)->Args({sets, seed});
    }
  }
  for (int sets : {60, 80}) {
    for (int seed : {1, 2, 3}) {
      add("BM_GreedyUniform", BM_GreedyUniform, 5)->Args({sets, seed});
      add("BM_PropagateUniform", BM_PropagateUniform, 5)->Args({sets, seed});
      add("BM_IlpUniform", BM_IlpUniform, 5)->Args({sets, seed});
    }
  }
  for (int seed = 1; seed <= 20; ++seed) {
    add("BM_GreedyUniform", BM_GreedyUniform, 5)->Args({100, seed});
    add("BM_PropagateUniform", BM_PropagateUniform, 5)->Args({100, seed});
    add("BM_IlpUniform", BM_IlpUniform, 3)->Args({100, seed});
  }
}

// Corpus files: registered one by one, so that each shows up under its own name.
void registerCorpus() {
  if (!std::filesystem::is_directory(corporaDir())) {
    static const std::string message =
        "corpora not found at " + corporaDir() + " (set NTU_CORPORA_DIR); corpus runs skipped";
    benchmark::RegisterBenchmark("BM_Corpus/absent", [](benchmark::State& state) {
      state.SkipWithError(message.c_str());
      for (auto _ : state) {
      }
    });
    return;
  }
  for (const CorpusFile& file : exactCorpus()) {
    // Long GLPK runs (stn45: tens of seconds) get 3 repetitions, the rest 5.
    const int ilpReps = file.name == "stn45" ? 3 : 5;
    const auto reg = [&file](const std::string& kind, int reps, auto body) {
      auto* b = benchmark::RegisterBenchmark(
          ("BM_" + kind + "Corpus/" + file.name).c_str(),
          [&file, body](benchmark::State& state) { body(state, file); });
      b->Unit(benchmark::kMillisecond)->Repetitions(reps)->ReportAggregatesOnly(true);
      if (reps == 1) b->Iterations(1);
    };
    reg("Greedy", 5, [](benchmark::State& state, const CorpusFile& f) {
      runSolver(state, corpusInstance(f), method(nimbrel_tavik_util::GREEDY));
    });
    reg("Propagate", 5, [](benchmark::State& state, const CorpusFile& f) {
      const Instance& instance = corpusInstance(f);
      runSolver(state, instance, method(nimbrel_tavik_util::PROPAGATE),
                f.name == "stn9" || f.name == "stn15"
                    ? equals(referencePropagate(instance), "the reference search")
                    : coverOfSize(instance, static_cast<std::size_t>(f.optimum)));
    });
    reg("Ilp", ilpReps, [](benchmark::State& state, const CorpusFile& f) {
      const Instance& instance = corpusInstance(f);
      runSolver(state, instance, method(nimbrel_tavik_util::ILP),
                coverOfSize(instance, static_cast<std::size_t>(f.optimum)));
    });
    // The reference search: stn27 takes about half a minute, one run; stn45 and the scpe
    // files do not finish in minutes.
    if (file.name == "stn9" || file.name == "stn15" || file.name == "stn27") {
      reg("PropagateReference", file.name == "stn27" ? 1 : 5,
          [](benchmark::State& state, const CorpusFile& f) {
            runSolver(state, corpusInstance(f), referencePropagate);
          });
    }
  }
  for (const CorpusFile& file : greedyOnlyCorpus()) {
    auto* b = benchmark::RegisterBenchmark(
        ("BM_GreedyCorpus/" + file.name).c_str(), [&file](benchmark::State& state) {
          runSolver(state, corpusInstance(file), method(nimbrel_tavik_util::GREEDY));
        });
    b->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
  }
}

}  // namespace

int main(int argc, char** argv) {
  registerStress();
  registerUniform();
  registerCorpus();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
