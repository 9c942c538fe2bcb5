#include "set_cover_stress/driver.hpp"

#include <chrono>
#include <stdexcept>
#include <string>

namespace set_cover_stress {

std::size_t countEdges(const GeneratedInstance& instance) {
  std::size_t edges = 0;
  for (const auto& entry : instance.traj_to_dirts) edges += entry.second.size();
  return edges;
}

RoundResult runRound(int round, const SolveFn& solve) {
  const GeneratedInstance instance = generateInstance(seedOfRound(round));
  RoundResult row;
  row.round = round;
  row.faces = instance.dirt_to_trajs.size();
  row.edges = countEdges(instance);
  for (int r = 0; r < kRunCount; ++r) {
    const auto start = std::chrono::steady_clock::now();
    const std::vector<int> result =
        solve(instance.traj_to_dirts, kRunConfigs[r].method, kRunConfigs[r].continuity);
    const auto stop = std::chrono::steady_clock::now();
    row.times_ms[r] =
        static_cast<double>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(stop - start).count()) /
        1e6;
    row.sizes[r] = result.size();
    row.covered[r] = coversAll(instance, result);
  }
  return row;
}

Totals runStress(std::ostream& out, const SolveFn& solve, int rounds) {
  if (rounds < 1) {
    throw std::invalid_argument("runStress: rounds must be >= 1, got " + std::to_string(rounds));
  }
  printBanner(out, rounds);
  printTableHeader(out);
  Totals totals;
  for (int i = 0; i < rounds; ++i) {
    const RoundResult row = runRound(i, solve);
    totals.add(row);
    printRow(out, row);
  }
  printSummary(out, totals);
  return totals;
}

}  // namespace set_cover_stress
