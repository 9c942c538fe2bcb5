// Reader::readYamlToJson on arbitrary bytes.
//
// Documented outcomes: a document, yaml-cpp's exceptions (parse errors; a top-level key that is
// not text), or the converter's std::runtime_error naming the path. Anything else escapes and
// crashes the run. The whole-file path (top-level members converted one by one, "pose_info"
// element by element) must agree with the node-level converter on the same tree.
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

// NaN never compares equal, and yaml-cpp passes invalid UTF-8 through: compare the text.
std::string canonical(const nlohmann::json& doc) {
  return doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ntu_fuzz::harness();
  const std::string& path = ntu_fuzz::writeScratch(data, size);
  nlohmann::json doc;
  try {
    doc = Reader::readYamlToJson(path);
  } catch (const YAML::ParserException&) {
    ntu_fuzz::note("YAML::ParserException");
    return 0;
  } catch (const YAML::Exception& e) {
    // A top-level key that is a sequence or a map.
    ntu_fuzz::note(std::string("YAML::Exception ") + e.msg);
    return 0;
  } catch (const std::runtime_error& e) {
    const std::string message = e.what();
    ntu_fuzz::note("conversion error: " + ntu_fuzz::innermostStep(message));
    return 0;
  }
  ntu_fuzz::note(std::string("loaded ") + doc.type_name());

  // The same tree through the node-level converter gives the same document.
  const YAML::Node root = YAML::LoadFile(path);
  nlohmann::json direct;
  try {
    direct = Reader::yamlNodeToJson(root);
  } catch (const std::runtime_error& e) {
    ntu_fuzz::fail("yamlNodeToJson failed where readYamlToJson succeeded", e.what());
  }
  ntu_fuzz::check(canonical(direct) == canonical(doc), "readYamlToJson and yamlNodeToJson disagree",
                  canonical(doc).substr(0, 200));
  return 0;
}
