// YAML files: loading with narrated progress, and conversion of node trees into JSON documents.
#include <algorithm>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "nimbrel_tavik_util/logger.hpp"
#include "nimbrel_tavik_util/reader.hpp"

namespace nimbrel_tavik_util {

namespace {

std::string nodeTypeToString(unsigned type) {
  switch (type) {
    case YAML::NodeType::Undefined:
      return "Undefined";
    case YAML::NodeType::Null:
      return "Null";
    case YAML::NodeType::Scalar:
      return "Scalar";
    case YAML::NodeType::Sequence:
      return "Sequence";
    case YAML::NodeType::Map:
      return "Map";
    default:
      return "Unknown";
  }
}

// True when `d` is exactly the integer `v` (a plain `d == v` would round v to double first).
bool doubleHoldsExactly(double d, std::int64_t v) {
  // [-2^63, 2^63) is the range in which the cast back to int64 is defined.
  if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) return false;
  const auto back = static_cast<std::int64_t>(d);
  return back == v && static_cast<double>(back) == d;
}

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
nlohmann::json convertScalar(const YAML::Node& node, const std::string& path) {
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
  try {
    return node.as<std::string>();
  } catch (const std::exception& e) {
    throw std::runtime_error("Failed to convert scalar at " + path + ": " + e.what());
  }
}

// Bounds of one conversion (documented in reader.hpp).
constexpr std::size_t kMaxDepth = 500;
constexpr std::uint64_t kRepeatFloor = 100000;
constexpr std::uint64_t kRepeatRatio = 10;
constexpr std::size_t kScalarBytesPerUnit = 64;
// A wrapping message keeps at most this much of the message below it. Messages grow with every
// level; with long keys on each of 500 levels they would reach hundreds of megabytes.
constexpr std::size_t kMaxInnerMessage = 4096;

// The message of a lower level, for wrapping; the middle of a very long one is left out.
std::string innerText(const std::exception& e) {
  std::string text = e.what();
  if (text.size() <= kMaxInnerMessage) return text;
  const std::size_t head = kMaxInnerMessage / 4;
  const std::size_t tail = kMaxInnerMessage - head;
  return text.substr(0, head) + " [... " + std::to_string(text.size() - head - tail) +
         " bytes left out ...] " + text.substr(text.size() - tail);
}

// Converts one tree, keeping what bounds the work: the containers converted so far (one met
// again was reached through an alias, and so is everything below it), the containers open on
// the way down (one met again among them contains itself), and the location path in one buffer
// that each level extends and restores, so that a deep document with long keys does not hold a
// copy of the path per level.
//
// A node is identified by the address of its scalar text, which yaml-cpp keeps once per node:
// every handle of an aliased node, or of nodes joined by assignment, yields the same address.
class Converter {
 public:
  explicit Converter(std::string path) : path_(std::move(path)) {}

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
        visitLeaf(node, 1 + node.Scalar().size() / kScalarBytesPerUnit);
        return convertScalar(node, path_);
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
          throw std::runtime_error("Alias cycle at " + path_ + ": the node at " +
                                   path_.substr(0, open.pathLength) + " contains itself");
        }
      }
    }
    count(1, repeat);
    if (open_.size() == kMaxDepth) {
      throw std::runtime_error("Nesting deeper than " + std::to_string(kMaxDepth) + " levels at " +
                               path_);
    }
    open_.push_back({id, path_.size(), base, repeat});
    if (repeat) ++repeating_;
  }

  void leave() {
    if (open_.back().repeat) --repeating_;
    path_.resize(open_.back().parentPathLength);
    open_.pop_back();
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
      throw std::runtime_error("Alias expansion limit exceeded at " + path_ +
                               ": aliases repeat more than " + std::to_string(limit) + " nodes");
    }
  }

  struct Open {
    const void* id;
    std::size_t pathLength;        // the path of the container is path_.substr(0, pathLength)
    std::size_t parentPathLength;  // what leave() restores
    bool repeat;                   // converted before: everything below it is a repeat
  };

  std::string path_;
  std::vector<Open> open_;                // containers from the outermost down to the current one
  std::unordered_set<const void*> seen_;  // containers and scalars of more than one unit
  std::size_t repeating_ = 0;             // open containers that are repeats
  std::uint64_t distinct_ = 0;            // units converted for the first time
  std::uint64_t repeated_ = 0;            // units converted again
};

}  // namespace

YAML::Node Reader::readYaml(const std::string& filepath) {
  try {
    std::uintmax_t size = 0;
    try {
      size = std::filesystem::file_size(std::filesystem::path(filepath));
    } catch (const std::exception&) {
      size = 0;  // only informative; loading reports the real problem
    }
    Logger::info("readYaml: loading " + filepath + " (" + std::to_string(size) + " bytes)");
    YAML::Node root = YAML::LoadFile(filepath);
    Logger::info("readYaml: loaded " + filepath +
                 ", root type=" + nodeTypeToString(static_cast<unsigned>(root.Type())));
    if (root.IsNull()) Logger::warning("readYaml: YAML file is empty or invalid: " + filepath);
    return root;
  } catch (const YAML::BadFile& e) {
    Logger::error("readYaml: cannot open YAML file: " + filepath + " - " + e.what());
    throw;
  } catch (const YAML::ParserException& e) {
    Logger::error("readYaml: YAML parse error: " + filepath + " - " + e.what());
    throw;
  } catch (const std::exception& e) {
    Logger::error("readYaml: unknown error for " + filepath + " - " + e.what());
    throw;
  } catch (...) {
    Logger::error("readYaml: non-std exception for " + filepath);
    throw;
  }
}

nlohmann::json Reader::yamlNodeToJson(const YAML::Node& node) {
  return Converter("$").convert(node);
}

nlohmann::json Reader::readYamlToJson(const std::string& filepath) {
  Logger::info("readYamlToJson: begin " + filepath);
  const YAML::Node root = readYaml(filepath);
  if (root.Type() != YAML::NodeType::Map) {
    Logger::info("readYamlToJson: non-map root, converting whole document");
    return Converter("$").convert(root);
  }

  std::vector<std::string> names;
  for (const auto& entry : root) {
    try {
      names.push_back(entry.first.as<std::string>());
    } catch (...) {
      names.emplace_back("<non-string-key>");
    }
  }
  std::string listing;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) listing += ", ";
    listing += names[i];
  }
  Logger::info("readYamlToJson: top-level keys (" + std::to_string(names.size()) + "): [" +
               listing + "]");

  // One converter for the whole file, so that the bounds hold for the file, not per member.
  Converter converter("$");
  converter.enter(root);
  nlohmann::json result = nlohmann::json::object();
  for (const auto& entry : root) {
    // Not guarded: a key that is not text surfaces as yaml-cpp's own conversion error.
    const std::string key = entry.first.as<std::string>();
    const YAML::Node& value = entry.second;
    if (key == "pose_info" && value.Type() == YAML::NodeType::Sequence) {
      // pose_info can hold thousands of poses: convert and report them one by one, so a
      // failure names its element and long files show progress.
      const std::size_t n = value.size();
      const std::string count = std::to_string(n);
      Logger::info("readYamlToJson: converting key 'pose_info' as segmented sequence, count=" +
                   count);
      nlohmann::json poses = nlohmann::json::array();
      converter.enter(value, ".pose_info");
      for (std::size_t i = 0; i < n; ++i) {
        if (i == 0 || (i + 1) % 50 == 0 || i + 1 == n) {
          Logger::info("readYamlToJson: converting pose_info progress " + std::to_string(i + 1) +
                       "/" + count);
        }
        const std::string index = std::to_string(i);
        try {
          const YAML::Node element = value[i];
          poses.push_back(converter.convertChild(element, "[" + index + "]"));
        } catch (const std::exception& e) {
          throw std::runtime_error("Failed converting pose_info[" + index + "] in " + filepath +
                                   ": " + innerText(e));
        }
      }
      converter.leave();
      result["pose_info"] = std::move(poses);
      Logger::info("readYamlToJson: key 'pose_info' converted successfully");
    } else {
      Logger::info("readYamlToJson: converting top-level key '" + key + "' of type " +
                   nodeTypeToString(static_cast<unsigned>(value.Type())));
      result[key] = converter.convertChild(value, "." + key);
    }
  }
  Logger::info("readYamlToJson: done " + filepath);
  return result;
}

}  // namespace nimbrel_tavik_util
