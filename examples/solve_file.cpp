// Solves a set-cover instance stored as JSON with every method and prints the covers.
//
//   solve_file instance.json
//
// The file is set_cover_solve's instance document: "sets" maps set ids (non-negative decimal
// integers, as strings) to the elements of that set (integers); "costs" and "elements" (the
// universe) may be there too (this example ignores the costs):
//   {"sets": {"1": [1, 2, 3, 4], "2": [1, 2, 5], "3": [3, 4, 6]}}
//
// Exit status: 0 with one line per method; 1 with one line on standard error when the file
// cannot be read, is not such an object, or a solver gives no cover; 2 on wrong arguments.
#include <nimbrel_tavik_util/set_cover.hpp>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

namespace ntu = nimbrel_tavik_util;

namespace {

// Input that is not an instance; main prints what() as the one line.
struct BadInput : std::runtime_error {
  using std::runtime_error::runtime_error;
};

nlohmann::json readDocument(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) throw BadInput("cannot read " + path + ": a folder");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw BadInput("cannot open " + path + ": " + std::strerror(errno));
  try {
    return nlohmann::json::parse(in);
  } catch (const nlohmann::json::exception& e) {
    throw BadInput(path + ": " + e.what());
  }
}

int parseId(const std::string& key) {
  int id = -1;
  const char* end = key.data() + key.size();
  const auto [stop, ec] = std::from_chars(key.data(), end, id);
  if (key.empty() || ec != std::errc() || stop != end || id < 0) {
    throw BadInput("set id \"" + key + "\" is not an integer from 0 to 2147483647");
  }
  return id;
}

// The library provides int, unsigned long and std::string elements. JSON integers are 64-bit,
// so they are kept as unsigned long; a negative one becomes its two's-complement value, and
// distinct elements stay distinct, which is all a cover depends on.
unsigned long element(const nlohmann::json& e, const std::string& where) {
  if (e.is_number_unsigned()) return e.get<unsigned long>();
  if (e.is_number_integer()) return static_cast<unsigned long>(e.get<std::int64_t>());
  throw BadInput(where + ": element " + e.dump() + " is not an integer");
}

std::map<int, std::set<unsigned long>> toInstance(const nlohmann::json& doc,
                                                  const std::string& path) {
  if (!doc.is_object() || !doc.contains("sets") || !doc.at("sets").is_object()) {
    throw BadInput(path + ": expected an object {\"sets\": {set id: [elements]}}");
  }
  for (const auto& member : doc.items()) {
    if (member.key() != "sets" && member.key() != "costs" && member.key() != "elements") {
      throw BadInput(path + ": unknown member \"" + member.key() + "\"");
    }
  }
  std::map<int, std::set<unsigned long>> instance;
  for (const auto& [key, elements] : doc.at("sets").items()) {
    const int id = parseId(key);
    if (!elements.is_array()) throw BadInput("set \"" + key + "\": expected an array of elements");
    std::set<unsigned long>& set = instance[id];
    for (const nlohmann::json& e : elements) set.insert(element(e, "set \"" + key + "\""));
  }
  // A universe: every element of it must be in some set, or there is no cover.
  if (doc.contains("elements")) {
    if (!doc.at("elements").is_array()) throw BadInput(path + ": \"elements\" is not an array");
    std::set<unsigned long> covered;
    for (const auto& entry : instance) covered.insert(entry.second.begin(), entry.second.end());
    for (const nlohmann::json& e : doc.at("elements")) {
      if (covered.count(element(e, "elements")) == 0) {
        throw BadInput("no cover exists: element " + e.dump() + " is in no set");
      }
    }
  }
  return instance;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: solve_file instance.json\n";
    return 2;
  }
  const std::string path = argv[1];
  std::map<int, std::set<unsigned long>> instance;
  try {
    instance = toInstance(readDocument(path), path);
  } catch (const std::exception& e) {
    std::cerr << "solve_file: " << e.what() << "\n";
    return 1;
  }
  bool anyElement = false;
  for (const auto& entry : instance) anyElement = anyElement || !entry.second.empty();

  const std::pair<const char*, ntu::SolveMethod> methods[] = {
      {"GREEDY", ntu::GREEDY}, {"ILP", ntu::ILP}, {"PROPAGATE", ntu::PROPAGATE}};
  for (const auto& [name, method] : methods) {
    std::vector<int> cover;
    try {
      cover = ntu::SetCoverSolver<unsigned long>::solve(instance, method, false);
    } catch (const std::exception& e) {  // out of memory, mostly
      std::cerr << "solve_file: " << name << " failed: " << e.what() << "\n";
      return 1;
    }
    // ILP returns no ids when GLPK fails (it has written why on standard error).
    if (cover.empty() && anyElement) {
      std::cerr << "solve_file: " << name << " found no cover\n";
      return 1;
    }
    std::cout << name << ": " << cover.size() << " sets [";
    for (std::size_t i = 0; i < cover.size(); ++i) std::cout << (i ? ", " : "") << cover[i];
    std::cout << "]\n";
  }
  return 0;
}
