#include "set_cover_solve/instance_file.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

#include "set_cover_solve/compact_instance.hpp"
#include "set_cover_solve/text_quote.hpp"

namespace set_cover_solve {

namespace {

Instance<int> toInstance(const CompactInstance& c) {
  Instance<int> inst;
  inst.hasCosts = c.hasCosts;
  for (int j = 0; j < c.sets(); ++j) {
    const int id = c.setIds[static_cast<std::size_t>(j)];
    std::set<int>& s = inst.sets[id];
    for (std::int64_t e = c.setStart[j]; e < c.setStart[j + 1]; ++e) {
      const int row = c.elementIndex[static_cast<std::size_t>(e)];
      s.insert(s.end(), static_cast<int>(c.elementLabels[static_cast<std::size_t>(row)]));
    }
    inst.costs[id] = c.costs[static_cast<std::size_t>(j)];
  }
  return inst;
}

}  // namespace

Instance<int> parseOrLibrary(std::string_view text) { return toInstance(readOrLibrary(text)); }

Instance<int> parseSteiner(std::string_view text) { return toInstance(readSteiner(text)); }

Instance<int> parseJsonDocument(std::string_view text) {
  const CompactInstance c = readJsonDocument(text);
  if (!c.elementNames.empty() || !c.setNames.empty()) {
    throw InputError("/sets", "a map form of ints needs integer ids and elements");
  }
  return toInstance(c);
}

std::string readWholeFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    throw InputError("", "is a folder, not a file");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError("", std::string("cannot open: ") + std::strerror(errno));
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw InputError("", "cannot read the file");
  return text.str();
}

}  // namespace set_cover_solve
