// The node-tree way of converting a YAML file, kept as the reference for Reader::readYamlToJson,
// which converts straight from the parser's events: YAML::LoadFile through Reader::readYaml,
// then the node-tree converter member by member. It writes the same log lines through Logger
// and throws the same exceptions as readYamlToJson must.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace ntu_test {

nlohmann::json readYamlToJsonByTree(const std::string& filepath);

}  // namespace ntu_test
