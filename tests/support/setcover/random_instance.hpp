// Seeded random set-cover instances for differential tests, benchmarks and fuzzers.
//
// An instance is drawn over abstract elements 0..U-1 and then encoded into the element type,
// so that the same pattern can be solved as int, unsigned long and std::string. The encodings
// are injective but scramble the order, and reach the awkward corners of each type: negative
// ints, values near ULONG_MAX, the empty string, prefixes and bytes above 0x7f.
#pragma once

#include <map>
#include <random>
#include <set>
#include <string>
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

AbstractInstance randomAbstractInstance(std::mt19937& rng, const InstanceShape& shape);

// Like the stress instances: `sets` trajectories in `curves` consecutive runs, each of `elems`
// dirt points seen by a run of 1..maxSpan trajectories of one curve, so that every element's
// sets are consecutive ids. Ids 0..sets-1 (those that see nothing are left out).
AbstractInstance intervalInstance(std::mt19937& rng, int sets, int elems, int curves, int maxSpan);

// Two or three instances of `shape` side by side (ids and elements apart): parts that no set
// joins.
AbstractInstance disjointUnion(std::mt19937& rng, const InstanceShape& shape);

// `sets` sets over 2 * sets elements, each (set, element) pair present with probability
// `density`: set_cover_generate's uniform family (set_cover_generate::uniformColumns), drawn
// from mt19937(seed) with two 32-bit draws per pair. Ids 0..sets-1, also
// for empty sets; elements in no set are not part of the instance.
AbstractInstance uniformInstance(int sets, int seed, double density = 0.05);

// An int instance with sets numbered by ascending id and elements by ascending value, as the
// exact solver numbers them.
struct DenseInstance {
  std::vector<int> ids;                // id of each set
  std::vector<std::vector<int>> sets;  // element indices of each set, ascending
  int numElems = 0;
};
DenseInstance denseOf(const AbstractInstance& instance);

template <typename T>
T encodeElement(int k);

// Injective on 0..9999: multiplication by a unit modulo a prime, shifted to straddle zero.
template <>
int encodeElement<int>(int k);
// Even k low, odd k counting down from the top of the range.
template <>
unsigned long encodeElement<unsigned long>(int k);
// Bijective base 3 over the bytes 'a', 'b' and 0xfe: 0 -> "", 1 -> "a", 4 -> "aa", ...
template <>
std::string encodeElement<std::string>(int k);

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
