// Smallest useful program against the installed library: solve one instance exactly and
// convert one YAML node, checking both answers so that a broken install fails loudly.
// The package tests also build it as C++20, statically and from the Debian packages.
#include <nimbrel_tavik_util/reader.hpp>
#include <nimbrel_tavik_util/set_cover.hpp>
#include <nimbrel_tavik_util/version.hpp>

#include <cstring>
#include <iostream>
#include <map>
#include <set>
#include <vector>

#include <yaml-cpp/yaml.h>
#include <nlohmann/json.hpp>

#if __cplusplus >= 202002L
#include <span>
#endif

// The consumer's own standard must hold: the package asks for C++17 at least, never at most.
#ifdef CONSUMER_CXX_STANDARD
static_assert(__cplusplus / 100 >= 2000 + CONSUMER_CXX_STANDARD,
              "the package lowered the consumer's C++ standard");
#endif

int main() {
  using nimbrel_tavik_util::SetCoverSolver;
  // 1 = {1,2,3,4}, 2 = {1,2,5}, 3 = {3,4,6}: greedy takes all three, the optimum is {2, 3}.
  const std::map<int, std::set<int>> instance{{1, {1, 2, 3, 4}}, {2, {1, 2, 5}}, {3, {3, 4, 6}}};
  const std::vector<int> exact =
      SetCoverSolver<int>::solve(instance, nimbrel_tavik_util::PROPAGATE, false);
  const std::vector<int> expected{2, 3};
#if __cplusplus >= 202002L
  const std::span<const int> chosen(exact);
  std::cout << "PROPAGATE chose " << chosen.size() << " sets (C++20)\n";
#else
  std::cout << "PROPAGATE chose " << exact.size() << " sets\n";
#endif
  // The document family pulls in yaml-cpp and nlohmann/json through the package's dependencies.
  const nlohmann::json doc = nimbrel_tavik_util::Reader::yamlNodeToJson(YAML::Load("{a: [1, 2]}"));
  std::cout << "converted " << doc.dump() << "\n";
  std::cout << "nimbrel_tavik_util " << NIMBREL_TAVIK_UTIL_VERSION_STRING << "\n";
#ifdef CONSUMER_EXPECTED_VERSION
  // version.hpp must agree with the version of the package that was found.
  if (std::strcmp(NIMBREL_TAVIK_UTIL_VERSION_STRING, CONSUMER_EXPECTED_VERSION) != 0) return 1;
#endif
  return exact == expected && doc == nlohmann::json::parse(R"({"a":[1,2]})") ? 0 : 1;
}
