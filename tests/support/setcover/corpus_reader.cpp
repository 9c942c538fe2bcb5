// The program set_cover_solve's readers, with ids and elements shifted to start at 0.
#include "setcover/corpus_reader.hpp"

#include <stdexcept>

#include "set_cover_solve/instance_file.hpp"

namespace ntu_corpus {

namespace {

using FileInstance = set_cover_solve::Instance<int>;

template <typename Parse>
FileInstance readFile(const std::string& path, Parse parse) {
  try {
    return parse(set_cover_solve::readWholeFile(path));
  } catch (const set_cover_solve::InputError& e) {
    throw std::runtime_error(path + (e.where().empty() ? "" : ":" + e.where()) + ": " + e.what());
  }
}

Instance zeroBased(const FileInstance& file) {
  Instance inst;
  for (const auto& [id, elements] : file.sets) {
    std::set<int>& set = inst.emplace_hint(inst.end(), id - 1, std::set<int>{})->second;
    for (const int e : elements) set.emplace_hint(set.end(), e - 1);
  }
  return inst;
}

}  // namespace

Instance readOrLibrary(const std::string& path) {
  return zeroBased(readFile(path, set_cover_solve::parseOrLibrary));
}

std::vector<double> readOrLibraryCosts(const std::string& path) {
  const FileInstance file = readFile(path, set_cover_solve::parseOrLibrary);
  std::vector<double> costs;
  costs.reserve(file.costs.size());
  for (const auto& entry : file.costs) costs.push_back(entry.second);
  return costs;
}

Instance readSteiner(const std::string& path) {
  return zeroBased(readFile(path, set_cover_solve::parseSteiner));
}

}  // namespace ntu_corpus
