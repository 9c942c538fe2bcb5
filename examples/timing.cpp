// Times pieces of work with named timers and prints the statistics.
//
//   timing
//
// Exit status: 0 after the statistics; 1 with one line on standard error when a solve fails;
// 2 when given any argument.
#include <nimbrel_tavik_util/set_cover.hpp>
#include <nimbrel_tavik_util/timer.hpp>

#include <exception>
#include <iostream>
#include <map>
#include <set>
#include <stdexcept>

namespace ntu = nimbrel_tavik_util;

int main(int argc, char** /*argv*/) {
  if (argc != 1) {
    std::cerr << "usage: timing (no arguments)\n";
    return 2;
  }
  // A chain of overlapping windows: set i covers elements i .. i+4.
  std::map<int, std::set<int>> instance;
  for (int i = 0; i < 200; ++i) {
    for (int e = i; e < i + 5; ++e) instance[i].insert(e);
  }

  try {
    for (int round = 0; round < 3; ++round) {
      ntu::Timer greedy("greedy", false);  // timers with the same name feed one statistic
      greedy.start();
      const auto greedyCover = ntu::SetCoverSolver<int>::solve(instance, ntu::GREEDY, false);
      greedy.stop();

      ntu::Timer exact("propagate", true);  // verbose: prints "[propagate] 0.0012 s"
      exact.start();
      const auto exactCover = ntu::SetCoverSolver<int>::solve(instance, ntu::PROPAGATE, false);
      exact.stop();
      if (greedyCover.empty() || exactCover.empty()) throw std::runtime_error("no cover found");
    }

    ntu::Timer::printGlobalStats();
    const auto stats = ntu::Timer::getGlobalStats();
    // printGlobalStats leaves std::fixed and precision 4 set on std::cout; print the count as such.
    std::cout << "greedy runs: " << static_cast<int>(stats.at("greedy").at("count")) << "\n";
    ntu::Timer::clearGlobalStats();
  } catch (const std::exception& e) {
    std::cerr << "timing: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
