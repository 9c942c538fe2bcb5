#include "setcover/random_instance.hpp"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <utility>

#include "set_cover_generate/instance_source.hpp"

namespace ntu_test {

namespace {

int uniformInt(std::mt19937& rng, int lo, int hi) {
  return std::uniform_int_distribution<int>(lo, hi)(rng);
}

}  // namespace

AbstractInstance randomAbstractInstance(std::mt19937& rng, const InstanceShape& shape) {
  std::bernoulli_distribution empty(shape.emptyShare);
  std::bernoulli_distribution duplicate(shape.duplicateShare);
  const int numSets = uniformInt(rng, shape.minSets, shape.maxSets);
  const int universe = uniformInt(rng, shape.minElems, shape.maxElems);
  AbstractInstance instance;
  int id = uniformInt(rng, 0, 3) == 0 ? uniformInt(rng, 0, 1000) : 0;
  const std::set<int>* last = nullptr;
  for (int k = 0; k < numSets; ++k) {
    std::set<int> elems;
    if (last != nullptr && duplicate(rng)) {
      elems = *last;
    } else if (!empty(rng)) {
      const int size = uniformInt(rng, 1, shape.maxSetSize);
      for (int i = 0; i < size; ++i) elems.insert(uniformInt(rng, 0, universe - 1));
    }
    last = &(instance[id] = std::move(elems));
    id += uniformInt(rng, 1, shape.maxIdGap);
  }
  return instance;
}

AbstractInstance intervalInstance(std::mt19937& rng, int sets, int elems, int curves, int maxSpan) {
  AbstractInstance instance;
  for (int d = 0; d < elems; ++d) {
    const int c = uniformInt(rng, 0, curves - 1);
    const int first = c * sets / curves;
    const int length = (c + 1) * sets / curves - first;
    const int span = uniformInt(rng, 1, maxSpan);
    const int offset = uniformInt(rng, 0, length - 1);
    for (int t = 0; t < std::min(span, length); ++t) {
      instance[first + std::min(offset + t, length - 1)].insert(d);
    }
  }
  return instance;
}

AbstractInstance disjointUnion(std::mt19937& rng, const InstanceShape& shape) {
  AbstractInstance instance;
  const int pieces = uniformInt(rng, 2, 3);
  for (int k = 0; k < pieces; ++k) {
    for (const auto& [id, elems] : randomAbstractInstance(rng, shape)) {
      std::set<int>& out = instance[id * 3 + k];
      for (int e : elems) out.insert(e * 3 + k);
    }
  }
  return instance;
}

AbstractInstance uniformInstance(int sets, int seed, double density) {
  const set_cover_generate::Compressed columns =
      set_cover_generate::uniformColumns(sets, static_cast<std::uint32_t>(seed), density);
  AbstractInstance instance;
  for (int s = 0; s < sets; ++s) {
    instance[s].insert(columns.index.begin() + columns.start[s],
                       columns.index.begin() + columns.start[s + 1]);
  }
  return instance;
}

DenseInstance denseOf(const AbstractInstance& instance) {
  std::map<int, int> index;
  for (const auto& entry : instance) {
    for (int e : entry.second) index.emplace(e, 0);
  }
  DenseInstance d;
  for (auto& entry : index) entry.second = d.numElems++;
  for (const auto& [id, elems] : instance) {
    d.ids.push_back(id);
    d.sets.emplace_back();
    for (int e : elems) d.sets.back().push_back(index.at(e));
  }
  return d;
}

template <>
int encodeElement<int>(int k) {
  return static_cast<int>((static_cast<long long>(k) * 7919) % 10007) - 5003;
}

template <>
unsigned long encodeElement<unsigned long>(int k) {
  const auto u = static_cast<unsigned long>(k);
  return k % 2 == 0 ? u * 1000003UL : ULONG_MAX - u;
}

template <>
std::string encodeElement<std::string>(int k) {
  static const char digits[3] = {'a', 'b', '\xfe'};
  std::string s;
  while (k > 0) {
    const int d = (k - 1) % 3;
    s.insert(s.begin(), digits[d]);
    k = (k - 1) / 3;
  }
  return s;
}

}  // namespace ntu_test
