// Dense numbering of a set-cover instance, shared by the three solvers (not installed).
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace nimbrel_tavik_util::setcover_detail {

// Entries in map order (ascending id), elements numbered 0..numElems-1 in ascending element
// order. Every list of element indices is ascending, because each std::set is.
struct IndexForm {
  int numElems = 0;
  std::vector<int> ids;                   // id of each entry
  std::vector<std::vector<int>> elemIdx;  // element indices of each entry
};

// Numbers the universe through a sorted vector of pointers rather than a std::map<T, int>:
// no element (string) is copied, and the lookups walk forward through one flat array.
template <typename T>
IndexForm buildIndexForm(const std::map<int, std::set<T>>& instance) {
  const std::less<T> less;
  std::size_t total = 0;
  for (const auto& entry : instance) total += entry.second.size();
  std::vector<const T*> universe;
  universe.reserve(total);
  for (const auto& entry : instance) {
    for (const T& e : entry.second) universe.push_back(&e);
  }
  const auto byValue = [&less](const T* a, const T* b) { return less(*a, *b); };
  std::sort(universe.begin(), universe.end(), byValue);
  universe.erase(std::unique(universe.begin(), universe.end(),
                             [&less](const T* a, const T* b) { return !less(*a, *b); }),
                 universe.end());

  IndexForm form;
  form.numElems = static_cast<int>(universe.size());
  form.ids.reserve(instance.size());
  form.elemIdx.reserve(instance.size());
  for (const auto& entry : instance) {
    form.ids.push_back(entry.first);
    std::vector<int> list;
    list.reserve(entry.second.size());
    auto from = universe.begin();  // the set is ascending, so each search starts after the last
    for (const T& e : entry.second) {
      from = std::lower_bound(from, universe.end(), &e, byValue);
      list.push_back(static_cast<int>(from - universe.begin()));
    }
    form.elemIdx.push_back(std::move(list));
  }
  return form;
}

}  // namespace nimbrel_tavik_util::setcover_detail
