// YAML::Load on arbitrary bytes, then Reader::yamlNodeToJson on the tree, and on two trees a
// client could build from it: the root shared twice, and the root made to contain itself.
//
// Documented outcomes: yaml-cpp's parse errors, the converter's std::runtime_error naming the
// path, or a document. Anything else escapes and crashes the run.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include <yaml-cpp/yaml.h>
#include <nlohmann/json.hpp>

#include "fuzz_support.hpp"
#include "nimbrel_tavik_util/reader.hpp"

namespace {

using nimbrel_tavik_util::Reader;

std::string canonical(const nlohmann::json& doc) {
  return doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// A sequence holding `root` twice: the same node reached along two paths must convert to two
// equal copies (or hit the documented expansion bound, never anything else).
void checkShared(const YAML::Node& root, const nlohmann::json& doc) {
  YAML::Node pair(YAML::NodeType::Sequence);
  pair.push_back(root);
  pair.push_back(root);
  nlohmann::json both;
  try {
    both = Reader::yamlNodeToJson(pair);
  } catch (const std::runtime_error& e) {
    const std::string message = e.what();
    ntu_fuzz::check(message.find("expansion") != std::string::npos,
                    "a shared root failed for another reason than the expansion bound", message);
    return;
  }
  ntu_fuzz::check(canonical(both) == canonical(nlohmann::json::array({doc, doc})),
                  "a shared root does not convert to two equal copies");
}

// A copy of the root that contains itself must be refused with a message naming the cycle.
void checkCycle(const YAML::Node& root) {
  YAML::Node loop = YAML::Clone(root);
  if (loop.IsSequence()) {
    loop.push_back(loop);
  } else if (loop.IsMap()) {
    loop["\x01self"] = loop;
  } else {
    return;
  }
  try {
    Reader::yamlNodeToJson(loop);
  } catch (const std::runtime_error& e) {
    const std::string message = e.what();
    ntu_fuzz::check(message.find("cycle") != std::string::npos,
                    "a node containing itself failed without naming the cycle", message);
    return;
  }
  ntu_fuzz::fail("a node containing itself converted");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ntu_fuzz::harness();
  YAML::Node root;
  try {
    root = YAML::Load(std::string(reinterpret_cast<const char*>(data), size));
  } catch (const YAML::ParserException&) {
    ntu_fuzz::note("YAML::ParserException");
    return 0;
  }
  nlohmann::json doc;
  try {
    doc = Reader::yamlNodeToJson(root);
  } catch (const std::runtime_error& e) {
    ntu_fuzz::note("conversion error: " + ntu_fuzz::innermostStep(e.what()));
    return 0;
  }
  ntu_fuzz::note(std::string("loaded ") + doc.type_name());
  checkShared(root, doc);
  checkCycle(root);
  return 0;
}
