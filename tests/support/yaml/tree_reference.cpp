#include "yaml/tree_reference.hpp"

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <yaml-cpp/yaml.h>

#include "nimbrel_tavik_util/logger.hpp"
#include "nimbrel_tavik_util/reader.hpp"
#include "reader/yaml_node_converter.hpp"

namespace ntu_test {

using nimbrel_tavik_util::Logger;
using nimbrel_tavik_util::detail::innerText;
using nimbrel_tavik_util::detail::NodeConverter;
using nimbrel_tavik_util::detail::nodeTypeToString;

nlohmann::json readYamlToJsonByTree(const std::string& filepath) {
  Logger::info("readYamlToJson: begin " + filepath);
  const YAML::Node root = nimbrel_tavik_util::Reader::readYaml(filepath);
  if (root.Type() != YAML::NodeType::Map) {
    Logger::info("readYamlToJson: non-map root, converting whole document");
    return NodeConverter("$", /*checkUtf8=*/true).convert(root);
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
  NodeConverter converter("$", /*checkUtf8=*/true);
  converter.enter(root);
  nlohmann::json result = nlohmann::json::object();
  for (const auto& entry : root) {
    // Not guarded: a key that is not text surfaces as yaml-cpp's own conversion error.
    const std::string key = entry.first.as<std::string>();
    converter.checkKey(key);
    const YAML::Node& value = entry.second;
    if (key == "pose_info" && value.Type() == YAML::NodeType::Sequence) {
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

}  // namespace ntu_test
