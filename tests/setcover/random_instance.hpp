// Seeded random set-cover instances for differential tests, benchmarks and fuzzers.
//
// An instance is drawn over abstract elements 0..U-1 and then encoded into the element type,
// so that the same pattern can be solved as int, unsigned long and std::string. The encodings
// are injective but scramble the order, and reach the awkward corners of each type: negative
// ints, values near ULONG_MAX, the empty string, prefixes and bytes above 0x7f.
#pragma once

#include <climits>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace ntu_test {

struct InstanceShape {
  int minSets = 1;  // number of entries, minSets..maxSets
  int maxSets = 12;
  int minElems = 1;  // size of the abstract pool that sets draw from, minElems..maxElems
  int maxElems = 20;
  int maxSetSize = 6;           // non-empty sets draw 1..maxSetSize elements (repeats merge)
  int maxIdGap = 4;             // consecutive ids differ by 1..maxIdGap
  double emptyShare = 0.1;      // chance that a set is empty
  double duplicateShare = 0.1;  // chance that a set copies the one before
};

using AbstractInstance = std::map<int, std::set<int>>;

inline AbstractInstance randomAbstractInstance(std::mt19937& rng, const InstanceShape& shape) {
  const auto uniform = [&rng](int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(rng);
  };
  std::bernoulli_distribution empty(shape.emptyShare);
  std::bernoulli_distribution duplicate(shape.duplicateShare);
  const int numSets = uniform(shape.minSets, shape.maxSets);
  const int universe = uniform(shape.minElems, shape.maxElems);
  AbstractInstance instance;
  int id = uniform(0, 3) == 0 ? uniform(0, 1000) : 0;
  const std::set<int>* last = nullptr;
  for (int k = 0; k < numSets; ++k) {
    std::set<int> elems;
    if (last != nullptr && duplicate(rng)) {
      elems = *last;
    } else if (!empty(rng)) {
      const int size = uniform(1, shape.maxSetSize);
      for (int i = 0; i < size; ++i) elems.insert(uniform(0, universe - 1));
    }
    last = &(instance[id] = std::move(elems));
    id += uniform(1, shape.maxIdGap);
  }
  return instance;
}

template <typename T>
T encodeElement(int k);

// Injective on 0..9999: multiplication by a unit modulo a prime, shifted to straddle zero.
template <>
inline int encodeElement<int>(int k) {
  return static_cast<int>((static_cast<long long>(k) * 7919) % 10007) - 5003;
}

// Even k low, odd k counting down from the top of the range.
template <>
inline unsigned long encodeElement<unsigned long>(int k) {
  const auto u = static_cast<unsigned long>(k);
  return k % 2 == 0 ? u * 1000003UL : ULONG_MAX - u;
}

// Bijective base 3 over the bytes 'a', 'b' and 0xfe: 0 -> "", 1 -> "a", 4 -> "aa", ...
template <>
inline std::string encodeElement<std::string>(int k) {
  static const char digits[3] = {'a', 'b', '\xfe'};
  std::string s;
  while (k > 0) {
    const int d = (k - 1) % 3;
    s.insert(s.begin(), digits[d]);
    k = (k - 1) / 3;
  }
  return s;
}

template <typename T>
std::map<int, std::set<T>> encodeInstance(const AbstractInstance& abstract) {
  std::map<int, std::set<T>> instance;
  for (const auto& [id, elems] : abstract) {
    std::set<T>& out = instance[id];
    for (int k : elems) out.insert(encodeElement<T>(k));
  }
  return instance;
}

}  // namespace ntu_test
