// Times pieces of work with named timers and prints the statistics.
//
//   timing
#include <nimbrel_tavik_util/set_cover.hpp>
#include <nimbrel_tavik_util/timer.hpp>

#include <iostream>
#include <map>
#include <set>

namespace ntu = nimbrel_tavik_util;

int main() {
  // A chain of overlapping windows: set i covers elements i .. i+4.
  std::map<int, std::set<int>> instance;
  for (int i = 0; i < 200; ++i) {
    for (int e = i; e < i + 5; ++e) instance[i].insert(e);
  }

  for (int round = 0; round < 3; ++round) {
    ntu::Timer greedy("greedy", false);  // timers with the same name feed one statistic
    greedy.start();
    ntu::SetCoverSolver<int>::solve(instance, ntu::GREEDY, false);
    greedy.stop();

    ntu::Timer exact("propagate", true);  // verbose: prints "[propagate] 0.0012 s"
    exact.start();
    ntu::SetCoverSolver<int>::solve(instance, ntu::PROPAGATE, false);
    exact.stop();
  }

  ntu::Timer::printGlobalStats();
  const auto stats = ntu::Timer::getGlobalStats();
  // printGlobalStats leaves std::fixed and precision 4 set on std::cout; print the count as such.
  std::cout << "greedy runs: " << static_cast<int>(stats.at("greedy").at("count")) << "\n";
  ntu::Timer::clearGlobalStats();
  return 0;
}
