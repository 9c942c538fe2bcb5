// Smallest useful program against the installed library: solve one instance exactly and
// check the answer, so that a broken install fails loudly.
#include <nimbrel_tavik_util/set_cover.hpp>

#include <iostream>
#include <map>
#include <set>
#include <vector>

int main() {
  using nimbrel_tavik_util::SetCoverSolver;
  // 1 = {1,2,3,4}, 2 = {1,2,5}, 3 = {3,4,6}: greedy takes all three, the optimum is {2, 3}.
  const std::map<int, std::set<int>> instance{{1, {1, 2, 3, 4}}, {2, {1, 2, 5}}, {3, {3, 4, 6}}};
  const std::vector<int> exact =
      SetCoverSolver<int>::solve(instance, nimbrel_tavik_util::PROPAGATE, false);
  const std::vector<int> expected{2, 3};
  std::cout << "PROPAGATE chose " << exact.size() << " sets\n";
  return exact == expected ? 0 : 1;
}
