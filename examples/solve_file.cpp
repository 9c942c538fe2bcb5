// Solves a set-cover instance stored as JSON with every method and prints the covers.
//
//   solve_file instance.json
//
// The file is an object from set id (a decimal string) to the elements of that set:
//   {"1": [1, 2, 3, 4], "2": [1, 2, 5], "3": [3, 4, 6]}
#include <nimbrel_tavik_util/reader.hpp>
#include <nimbrel_tavik_util/set_cover.hpp>

#include <iostream>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace ntu = nimbrel_tavik_util;

static std::map<int, std::set<long>> toInstance(const nlohmann::json& doc) {
  if (!doc.is_object()) throw std::runtime_error("expected an object of id -> [elements]");
  std::map<int, std::set<long>> instance;
  for (const auto& [key, elements] : doc.items()) {
    std::size_t used = 0;
    const int id = std::stoi(key, &used);
    if (used != key.size()) throw std::runtime_error("set id '" + key + "' is not a number");
    instance[id] = elements.get<std::set<long>>();
  }
  return instance;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: " << argv[0] << " instance.json\n";
    return 2;
  }
  // readJson logs and returns an empty object when the file is missing or malformed.
  const nlohmann::json doc = ntu::Reader::readJson(argv[1]);
  std::map<int, std::set<long>> instance;
  try {
    instance = toInstance(doc);
  } catch (const std::exception& e) {
    std::cerr << argv[1] << ": " << e.what() << "\n";
    return 1;
  }

  // The library is instantiated for int, unsigned long and std::string elements.
  std::map<int, std::set<unsigned long>> unsignedInstance;
  for (const auto& [id, elements] : instance) {
    for (long e : elements) unsignedInstance[id].insert(static_cast<unsigned long>(e));
  }
  const std::pair<const char*, ntu::SolveMethod> methods[] = {
      {"GREEDY", ntu::GREEDY}, {"ILP", ntu::ILP}, {"PROPAGATE", ntu::PROPAGATE}};
  for (const auto& [name, method] : methods) {
    const std::vector<int> cover =
        ntu::SetCoverSolver<unsigned long>::solve(unsignedInstance, method, false);
    std::cout << name << ": " << cover.size() << " sets [";
    for (std::size_t i = 0; i < cover.size(); ++i) std::cout << (i ? ", " : "") << cover[i];
    std::cout << "]\n";
  }
  return 0;
}
