// The set-cover solvers on small instances decoded from the input bytes.
//
// Properties: every method returns a cover (ids ascending, no duplicates, keys of non-empty
// sets, union = universe); PROPAGATE and ILP agree on the size, and neither is larger than
// either greedy cover; greedy and PROPAGATE equal the step-by-step reference solvers exactly;
// a negative id is refused with std::invalid_argument by every method.
//
// Input layout (missing bytes read as 0):
//   byte 0   bits 0-1: element type (0, 3: int, 1: unsigned long, 2: std::string)
//            bit 2:    make the smallest id negative
//   byte 1   first id, 0..255
//   then, per set, 3 bytes: id gap (1 + b % 8), then a 16-bit element mask (elements 0..15);
//   at most 14 sets.
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "nimbrel_tavik_util/set_cover.hpp"
#include "setcover/random_instance.hpp"
#include "setcover/reference_solver.hpp"

namespace {

using nimbrel_tavik_util::SetCoverSolver;
using nimbrel_tavik_util::SolveMethod;

constexpr std::size_t kMaxSets = 14;
constexpr int kElements = 16;

struct Decoded {
  int type = 0;
  bool negative = false;
  ntu_test::AbstractInstance instance;
};

Decoded decode(const std::uint8_t* data, std::size_t size) {
  auto at = [&](std::size_t i) -> unsigned { return i < size ? data[i] : 0u; };
  Decoded d;
  d.type = static_cast<int>(at(0) & 3u);
  d.negative = (at(0) & 4u) != 0;
  int id = static_cast<int>(at(1));
  for (std::size_t k = 0; k < kMaxSets && 2 + 3 * k < size; ++k) {
    const std::size_t base = 2 + 3 * k;
    if (k > 0) id += 1 + static_cast<int>(at(base) % 8);
    const unsigned mask = at(base + 1) | (at(base + 2) << 8);
    std::set<int>& elems = d.instance[id];
    for (int e = 0; e < kElements; ++e) {
      if ((mask >> e) & 1u) elems.insert(e);
    }
  }
  return d;
}

std::string show(const std::vector<int>& ids) {
  std::string s = "[";
  for (std::size_t i = 0; i < ids.size(); ++i) s += (i ? " " : "") + std::to_string(ids[i]);
  return s + "]";
}

template <typename T>
void checkCover(const std::map<int, std::set<T>>& instance, const std::vector<int>& ids,
                const char* method) {
  std::set<T> universe;
  for (const auto& entry : instance) universe.insert(entry.second.begin(), entry.second.end());
  std::set<T> covered;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    ntu_fuzz::check(i == 0 || ids[i - 1] < ids[i], "result not strictly ascending", method);
    const auto it = instance.find(ids[i]);
    ntu_fuzz::check(it != instance.end(), "result holds an id that is not in the instance", method);
    ntu_fuzz::check(!it->second.empty(), "result holds an empty set", method);
    covered.insert(it->second.begin(), it->second.end());
  }
  ntu_fuzz::check(covered == universe, "result is not a cover", method);
}

template <typename T>
void run(const ntu_test::AbstractInstance& abstract) {
  using Solver = SetCoverSolver<T>;
  const auto instance = ntu_test::encodeInstance<T>(abstract);

  const auto greedy = Solver::solve(instance, SolveMethod::GREEDY, false);
  const auto nearest = Solver::solve(instance, SolveMethod::GREEDY, true);
  const auto ilp = Solver::solve(instance, SolveMethod::ILP, false);
  const auto exact = Solver::solve(instance, SolveMethod::PROPAGATE, false);
  const auto other = Solver::solve(instance, static_cast<SolveMethod>(3), true);
  checkCover(instance, greedy, "GREEDY");
  checkCover(instance, nearest, "GREEDY with continuity");
  checkCover(instance, ilp, "ILP");
  checkCover(instance, exact, "PROPAGATE");

  ntu_fuzz::check(greedy == ntu_test::referenceGreedy(instance, false),
                  "GREEDY differs from the reference", show(greedy));
  ntu_fuzz::check(nearest == ntu_test::referenceGreedy(instance, true),
                  "GREEDY with continuity differs from the reference", show(nearest));
  ntu_fuzz::check(other == nearest, "method 3 is not GREEDY", show(other));
  ntu_fuzz::check(exact == ntu_test::referencePropagate(instance),
                  "PROPAGATE differs from the reference", show(exact));
  ntu_fuzz::check(exact.size() == ilp.size(), "PROPAGATE and ILP differ in size",
                  show(exact) + " vs " + show(ilp));
  ntu_fuzz::check(exact.size() <= greedy.size() && exact.size() <= nearest.size(),
                  "an exact cover is larger than a greedy one", show(exact));
  ntu_fuzz::note(std::string("solved, ") + std::to_string(exact.size()) + " sets");
}

template <typename T>
void runNegative(ntu_test::AbstractInstance abstract) {
  if (abstract.empty()) return;
  auto first = abstract.extract(abstract.begin());
  first.key() = -1 - first.key();
  abstract.insert(std::move(first));
  const auto instance = ntu_test::encodeInstance<T>(abstract);
  for (int method : {0, 1, 2}) {
    try {
      SetCoverSolver<T>::solve(instance, static_cast<SolveMethod>(method), false);
    } catch (const std::invalid_argument&) {
      continue;
    }
    ntu_fuzz::fail("a negative id was accepted", std::to_string(method));
  }
  ntu_fuzz::note("negative id refused");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ntu_fuzz::harness();
  const Decoded d = decode(data, size);
  switch (d.type) {
    case 1:
      d.negative ? runNegative<unsigned long>(d.instance) : run<unsigned long>(d.instance);
      break;
    case 2:
      d.negative ? runNegative<std::string>(d.instance) : run<std::string>(d.instance);
      break;
    default:
      d.negative ? runNegative<int>(d.instance) : run<int>(d.instance);
      break;
  }
  return 0;
}
