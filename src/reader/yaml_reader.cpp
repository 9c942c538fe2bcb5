// YAML files: loading with narrated progress, and conversion of node trees into JSON documents.
#include <cstdint>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
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

// Each level wraps the message of the level below, so one message lists the whole path.
nlohmann::json convertYamlNode(const YAML::Node& node, const std::string& path) {
  const YAML::NodeType::value type = node.Type();
  switch (type) {
    case YAML::NodeType::Null:
      return nullptr;
    case YAML::NodeType::Scalar:
      return convertScalar(node, path);
    case YAML::NodeType::Sequence: {
      nlohmann::json array = nlohmann::json::array();
      // size() is re-read on every round, as the loop bound.
      for (std::size_t i = 0; i < node.size(); ++i) {
        try {
          const YAML::Node child = node[i];
          array.push_back(convertYamlNode(child, path + "[" + std::to_string(i) + "]"));
        } catch (const std::exception& e) {
          throw std::runtime_error("Failed converting sequence item at " + path + "[" +
                                   std::to_string(i) + "]: " + e.what());
        }
      }
      return array;
    }
    case YAML::NodeType::Map: {
      nlohmann::json object = nlohmann::json::object();
      for (const auto& entry : node) {
        std::string key;
        try {
          key = entry.first.as<std::string>();
        } catch (const std::exception& e) {
          throw std::runtime_error("Failed reading map key at " + path + ": " + e.what());
        }
        try {
          object[key] = convertYamlNode(entry.second, path + "." + key);
        } catch (const std::exception& e) {
          throw std::runtime_error("Failed converting key '" + key + "' at " + path + ": " +
                                   e.what());
        }
      }
      return object;
    }
    default:
      throw std::runtime_error("Unsupported YAML node type at " + path + ": " +
                               nodeTypeToString(static_cast<unsigned>(type)));
  }
}

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

nlohmann::json Reader::yamlNodeToJson(const YAML::Node& node) { return convertYamlNode(node, "$"); }

nlohmann::json Reader::readYamlToJson(const std::string& filepath) {
  Logger::info("readYamlToJson: begin " + filepath);
  const YAML::Node root = readYaml(filepath);
  if (root.Type() != YAML::NodeType::Map) {
    Logger::info("readYamlToJson: non-map root, converting whole document");
    return convertYamlNode(root, "$");
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
      for (std::size_t i = 0; i < n; ++i) {
        if (i == 0 || (i + 1) % 50 == 0 || i + 1 == n) {
          Logger::info("readYamlToJson: converting pose_info progress " + std::to_string(i + 1) +
                       "/" + count);
        }
        const std::string index = std::to_string(i);
        try {
          const YAML::Node element = value[i];
          poses.push_back(convertYamlNode(element, "$.pose_info[" + index + "]"));
        } catch (const std::exception& e) {
          throw std::runtime_error("Failed converting pose_info[" + index + "] in " + filepath +
                                   ": " + e.what());
        }
      }
      result["pose_info"] = std::move(poses);
      Logger::info("readYamlToJson: key 'pose_info' converted successfully");
    } else {
      Logger::info("readYamlToJson: converting top-level key '" + key + "' of type " +
                   nodeTypeToString(static_cast<unsigned>(value.Type())));
      result[key] = convertYamlNode(value, "$." + key);
    }
  }
  Logger::info("readYamlToJson: done " + filepath);
  return result;
}

}  // namespace nimbrel_tavik_util
