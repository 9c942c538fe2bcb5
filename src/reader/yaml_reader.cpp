// YAML files: loading with narrated progress, conversion of node trees into JSON documents, and
// conversion of whole files straight from the parser's events.
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

#include <yaml-cpp/exceptions.h>
#include <yaml-cpp/node/parse.h>
#include <yaml-cpp/parser.h>

#include "nimbrel_tavik_util/logger.hpp"
#include "nimbrel_tavik_util/reader.hpp"
#include "reader/yaml_event_converter.hpp"
#include "reader/yaml_libyaml.hpp"
#include "reader/yaml_node_converter.hpp"

namespace nimbrel_tavik_util {

namespace {

// readYaml's narration around `load`, which parses the file and returns the root's node type:
// the size before, the type and an empty-document warning after, and one error line for any
// exception, which is rethrown unchanged.
template <typename Load>
void narrateLoad(const std::string& filepath, Load&& load) {
  try {
    std::uintmax_t size = 0;
    try {
      size = std::filesystem::file_size(std::filesystem::path(filepath));
    } catch (const std::exception&) {
      size = 0;  // only informative; loading reports the real problem
    }
    Logger::info("readYaml: loading " + filepath + " (" + std::to_string(size) + " bytes)");
    const unsigned type = load();
    Logger::info("readYaml: loaded " + filepath + ", root type=" + detail::nodeTypeToString(type));
    if (type == YAML::NodeType::Null) {
      Logger::warning("readYaml: YAML file is empty or invalid: " + filepath);
    }
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

// Opens `filepath` as YAML::LoadFile does (BadFile when it cannot be opened), then reads the
// first bytes: a read error (the path is a folder) throws here, with the exception yaml-cpp's
// parser would throw, instead of inside the parser's constructor, which then leaks its buffer.
void openYaml(const std::string& filepath, std::ifstream& in) {
  in.open(filepath);
  if (!in) throw YAML::BadFile(filepath);
  in.rdbuf()->sgetc();
}

}  // namespace

YAML::Node Reader::readYaml(const std::string& filepath) {
  YAML::Node root;
  narrateLoad(filepath, [&] {
    // YAML::LoadFile's steps.
    std::ifstream in;
    openYaml(filepath, in);
    root = YAML::Load(in);
    return static_cast<unsigned>(root.Type());
  });
  return root;
}

nlohmann::json Reader::yamlNodeToJson(const YAML::Node& node) {
  return detail::NodeConverter("$", /*checkUtf8=*/false).convert(node);
}

nlohmann::json Reader::readYamlToJson(const std::string& filepath) {
  Logger::info("readYamlToJson: begin " + filepath);
  {
    // libyaml first: the converter holds every line and error until finish(), so a reading
    // libyaml cannot vouch for leaves no trace, and yaml-cpp reads the file again below.
    detail::YamlToJsonEvents events(filepath);
    if (detail::feedLibyamlEvents(filepath, events)) {
      narrateLoad(filepath, [&] { return events.rootType(); });
      return events.finish();
    }
  }
  return detail::readYamlToJsonWithYamlCpp(filepath);
}

namespace detail {

nlohmann::json readYamlToJsonWithYamlCpp(const std::string& filepath) {
  detail::YamlToJsonEvents events(filepath);
  narrateLoad(filepath, [&] {
    // The steps of YAML::LoadFile, with the converter in place of yaml-cpp's tree builder: the
    // same file opening, the same parser, the first document only.
    std::ifstream in;
    openYaml(filepath, in);
    YAML::Parser parser(in);
    parser.HandleNextDocument(events);
    return events.rootType();
  });
  return events.finish();
}

}  // namespace detail

}  // namespace nimbrel_tavik_util
