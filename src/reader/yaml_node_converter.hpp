// YAML node tree -> JSON, the converter behind Reader::yamlNodeToJson. The test support's
// node-tree readYamlToJson uses it too, as the reference for the event converter.
#pragma once

#include <algorithm>
#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

// All of yaml-cpp's node headers: the tree's inline and template functions (detail/impl.h among
// them) must be seen to be linked.
#include <yaml-cpp/yaml.h>
#include <nlohmann/json.hpp>

#include "reader/yaml_convert_common.hpp"

namespace nimbrel_tavik_util::detail {

// One conversion attempt; anything it throws only means that it failed.
template <typename T>
bool decodes(const YAML::Node& node, T& value) {
  try {
    return YAML::convert<T>::decode(node, value);
  } catch (...) {
    return false;
  }
}

// Integers that miss the 32-bit attempt would otherwise become doubles, which changes values
// above 2^53 (nanosecond stamps, ids) and misreads octal text as decimal ("0100000000000" would
// be 1e11, not 2^33). yaml-cpp's 64-bit conversion applies the same base rules as the 32-bit
// one (decimal, 0x hex, leading-0 octal, optional sign, only trailing white space), so the
// scalar is an integer exactly when that conversion accepts it. The double is kept when it is
// exactly that integer.
//
// The attempts call yaml-cpp's decode(), which is what as<>() runs before it throws on failure:
// same results, without three exceptions per text scalar (they made a text-heavy document
// several times slower to convert). The caller has checked that the node is a valid scalar.
inline nlohmann::json convertScalarNode(const YAML::Node& node, const std::string& path,
                                        bool checkUtf8) {
  int asInt = 0;
  if (decodes(node, asInt)) return asInt;
  std::int64_t asInt64 = 0;
  const bool isInt64 = decodes(node, asInt64);
  double asDouble = 0.0;
  if (decodes(node, asDouble) && (!isInt64 || doubleHoldsExactly(asDouble, asInt64))) {
    return asDouble;
  }
  if (isInt64) return asInt64;
  bool asBool = false;
  if (decodes(node, asBool)) return asBool;
  std::string text;
  try {
    text = node.as<std::string>();
  } catch (const std::exception& e) {
    throw std::runtime_error("Failed to convert scalar at " + path + ": " + e.what());
  }
  const std::size_t bad = checkUtf8 ? invalidUtf8At(text) : kValidUtf8;
  if (bad != kValidUtf8) {
    throw std::runtime_error("Failed to convert scalar at " + path + ": " + invalidUtf8Reason(bad));
  }
  return text;
}

// Converts one tree, keeping what bounds the work: the containers converted so far (one met
// again was reached through an alias, and so is everything below it), the containers open on
// the way down (one met again among them contains itself), and the location path in one buffer
// that each level extends and restores, so that a deep document with long keys does not hold a
// copy of the path per level.
//
// A node is identified by the address of its scalar text, which yaml-cpp keeps once per node:
// every handle of an aliased node, or of nodes joined by assignment, yields the same address.
//
// `checkUtf8`: keys and string values must be valid UTF-8 (readYamlToJson's rule).
class NodeConverter {
 public:
  NodeConverter(std::string path, bool checkUtf8) : path_(std::move(path)), checkUtf8_(checkUtf8) {}

  // Converts `node` at the current path with `suffix` appended; the path is restored, also
  // when an exception passes.
  nlohmann::json convertChild(const YAML::Node& node, const std::string& suffix) {
    const std::size_t base = path_.size();
    path_ += suffix;
    try {
      nlohmann::json result = convert(node);
      path_.resize(base);
      return result;
    } catch (...) {
      path_.resize(base);
      throw;
    }
  }

  nlohmann::json convert(const YAML::Node& node) {
    const YAML::NodeType::value type = node.Type();
    switch (type) {
      case YAML::NodeType::Null:
        visitLeaf(node, 1);
        return nullptr;
      case YAML::NodeType::Scalar:
        visitLeaf(node, leafUnits(node.Scalar().size()));
        return convertScalarNode(node, path_, checkUtf8_);
      case YAML::NodeType::Sequence: {
        enter(node);
        nlohmann::json array = convertSequence(node);
        leave();
        return array;
      }
      case YAML::NodeType::Map: {
        enter(node);
        nlohmann::json object = convertMap(node);
        leave();
        return object;
      }
      default:
        throw std::runtime_error("Unsupported YAML node type at " + path_ + ": " +
                                 nodeTypeToString(static_cast<unsigned>(type)));
    }
  }

  // Opens container `node` at the current path with `suffix` appended. The caller converts its
  // members (readYamlToJson does so for the root map and for pose_info), then calls leave(),
  // which restores the path.
  void enter(const YAML::Node& node, const std::string& suffix = std::string()) {
    const std::size_t base = path_.size();
    path_ += suffix;
    const void* id = identity(node);
    const bool repeat = repeating_ > 0 || !seen_.insert(id).second;
    // Only where a repeat begins: below it, everything was converted once already, and a path
    // back to an open container would have been found then.
    if (repeat && repeating_ == 0) {
      for (const Open& open : open_) {
        if (open.id == id) {
          throw std::runtime_error(cycleMessage(path_, path_.substr(0, open.pathLength)));
        }
      }
    }
    count(1, repeat);
    if (open_.size() == kMaxDepth) {
      throw std::runtime_error(nestingMessage(path_));
    }
    open_.push_back({id, path_.size(), base, repeat});
    if (repeat) ++repeating_;
  }

  void leave() {
    if (open_.back().repeat) --repeating_;
    path_.resize(open_.back().parentPathLength);
    open_.pop_back();
  }

  // With checkUtf8, throws "Failed reading map key at P: invalid UTF-8 ..." (P: the current
  // path, that of the map) for a key that is not valid UTF-8.
  void checkKey(const std::string& key) const {
    const std::size_t bad = checkUtf8_ ? invalidUtf8At(key) : kValidUtf8;
    if (bad != kValidUtf8) {
      throw std::runtime_error("Failed reading map key at " + path_ + ": " +
                               invalidUtf8Reason(bad));
    }
  }

 private:
  static const void* identity(const YAML::Node& node) { return &node.Scalar(); }

  nlohmann::json convertSequence(const YAML::Node& node) {
    nlohmann::json array = nlohmann::json::array();
    // size() is re-read on every round, as the loop bound.
    for (std::size_t i = 0; i < node.size(); ++i) {
      const std::string index = "[" + std::to_string(i) + "]";
      try {
        const YAML::Node child = node[i];
        array.push_back(convertChild(child, index));
      } catch (const std::exception& e) {
        throw std::runtime_error("Failed converting sequence item at " + path_ + index + ": " +
                                 innerText(e));
      }
    }
    return array;
  }

  nlohmann::json convertMap(const YAML::Node& node) {
    nlohmann::json object = nlohmann::json::object();
    for (const auto& entry : node) {
      std::string key;
      try {
        key = entry.first.as<std::string>();
      } catch (const std::exception& e) {
        throw std::runtime_error("Failed reading map key at " + path_ + ": " + innerText(e));
      }
      checkKey(key);
      try {
        object[key] = convertChild(entry.second, "." + key);
      } catch (const std::exception& e) {
        throw std::runtime_error("Failed converting key '" + key + "' at " + path_ + ": " +
                                 innerText(e));
      }
    }
    return object;
  }

  // Counts a null or scalar. One that weighs a single unit is not remembered: reached directly
  // through an alias it counts as new, which costs no more than the alias's own text, and inside
  // a repeated container it counts as a repeat anyway. Remembering only containers and long
  // scalars keeps the set small for plain documents (a pose is one map, two sequences and
  // eleven short scalars).
  void visitLeaf(const YAML::Node& node, std::uint64_t units) {
    const bool repeat = repeating_ > 0 || (units > 1 && !seen_.insert(identity(node)).second);
    count(units, repeat);
  }

  // Nodes converted again may weigh no more than the larger of kRepeatFloor and kRepeatRatio
  // times the nodes converted for the first time.
  void count(std::uint64_t units, bool repeat) {
    if (!repeat) {
      distinct_ += units;
      return;
    }
    repeated_ += units;
    const std::uint64_t limit = std::max(kRepeatFloor, kRepeatRatio * distinct_);
    if (repeated_ > limit) {
      throw std::runtime_error(limitMessage(path_, limit));
    }
  }

  struct Open {
    const void* id;
    std::size_t pathLength;        // the path of the container is path_.substr(0, pathLength)
    std::size_t parentPathLength;  // what leave() restores
    bool repeat;                   // converted before: everything below it is a repeat
  };

  std::string path_;
  bool checkUtf8_;
  std::vector<Open> open_;                // containers from the outermost down to the current one
  std::unordered_set<const void*> seen_;  // containers and scalars of more than one unit
  std::size_t repeating_ = 0;             // open containers that are repeats
  std::uint64_t distinct_ = 0;            // units converted for the first time
  std::uint64_t repeated_ = 0;            // units converted again
};

}  // namespace nimbrel_tavik_util::detail
