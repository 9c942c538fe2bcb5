// Smallest useful program against the installed library: solve one instance exactly and
// convert one YAML node, checking both answers so that a broken install fails loudly.
#include <nimbrel_tavik_util/reader.hpp>
#include <nimbrel_tavik_util/set_cover.hpp>

#include <iostream>
#include <map>
#include <set>
#include <vector>

#include <yaml-cpp/yaml.h>
#include <nlohmann/json.hpp>

int main() {
  using nimbrel_tavik_util::SetCoverSolver;
  // 1 = {1,2,3,4}, 2 = {1,2,5}, 3 = {3,4,6}: greedy takes all three, the optimum is {2, 3}.
  const std::map<int, std::set<int>> instance{{1, {1, 2, 3, 4}}, {2, {1, 2, 5}}, {3, {3, 4, 6}}};
  const std::vector<int> exact =
      SetCoverSolver<int>::solve(instance, nimbrel_tavik_util::PROPAGATE, false);
  const std::vector<int> expected{2, 3};
  std::cout << "PROPAGATE chose " << exact.size() << " sets\n";
  // The document family pulls in yaml-cpp and nlohmann/json through the package's dependencies.
  const nlohmann::json doc = nimbrel_tavik_util::Reader::yamlNodeToJson(YAML::Load("{a: [1, 2]}"));
  std::cout << "converted " << doc.dump() << "\n";
  return exact == expected && doc == nlohmann::json::parse(R"({"a":[1,2]})") ? 0 : 1;
}
