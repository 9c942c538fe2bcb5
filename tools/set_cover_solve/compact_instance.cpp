#include "set_cover_solve/compact_instance.hpp"

namespace set_cover_solve {

std::map<int, std::set<int>> toMapForm(const CompactInstance& instance) {
  std::map<int, std::set<int>> sets;
  for (int j = 0; j < instance.sets(); ++j) {
    std::set<int>& s = sets[instance.setIds[static_cast<std::size_t>(j)]];
    for (std::int64_t e = instance.setStart[j]; e < instance.setStart[j + 1]; ++e) {
      s.insert(s.end(), instance.elementIndex[static_cast<std::size_t>(e)]);
    }
  }
  return sets;
}

InstanceCounts countInstance(const CompactInstance& instance) {
  InstanceCounts c;
  c.sets = static_cast<std::size_t>(instance.sets());
  c.elements = static_cast<std::size_t>(instance.elements);
  c.entries = instance.entries();
  return c;
}

}  // namespace set_cover_solve
