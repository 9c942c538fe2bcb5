// Reader::readYamlToJson on arbitrary bytes, checked against the node-tree reference.
//
// Documented outcomes: a document, yaml-cpp's exceptions (parse errors; a top-level key that is
// not text), or the converter's std::runtime_error naming the path. Anything else escapes and
// crashes the run. readYamlToJson converts straight from the parser's events; on every input it
// must give what loading the node tree and converting it member by member gives: the same
// document, the same log lines in the same order, the same exception type and message.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <vector>

#include <yaml-cpp/yaml.h>
#include <nlohmann/json.hpp>

#include "fuzz_support.hpp"
#include "nimbrel_tavik_util/logger.hpp"
#include "nimbrel_tavik_util/reader.hpp"
#include "yaml/tree_reference.hpp"

namespace {

using nimbrel_tavik_util::Logger;
using nimbrel_tavik_util::Reader;

struct Outcome {
  std::vector<std::string> lines;
  std::string document;   // NaN never compares equal: compare the text
  std::string exception;  // dynamic type and what()
  std::string note;       // for the tally
};

Outcome observe(nlohmann::json (*convert)(const std::string&), const std::string& path) {
  Outcome outcome;
  // The harness keeps the threshold above ERROR so that the other targets format no lines.
  const Logger::Level quiet = Logger::level_;
  Logger::setLevel(Logger::INFO);
  Logger::setSink([&](Logger::Level level, const std::string& line) {
    outcome.lines.push_back(Logger::levelToString(level) + " " + line);
  });
  try {
    const nlohmann::json doc = convert(path);
    outcome.document = doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    outcome.note = std::string("loaded ") + doc.type_name();
  } catch (const YAML::ParserException& e) {
    outcome.exception = std::string(typeid(e).name()) + ": " + e.what();
    outcome.note = "YAML::ParserException";
  } catch (const YAML::Exception& e) {
    // A top-level key that is a sequence or a map.
    outcome.exception = std::string(typeid(e).name()) + ": " + e.what();
    outcome.note = "YAML::Exception " + e.msg;
  } catch (const std::runtime_error& e) {
    outcome.exception = std::string(typeid(e).name()) + ": " + e.what();
    outcome.note = "conversion error: " + ntu_fuzz::innermostStep(e.what());
  }
  Logger::resetSink();
  Logger::setLevel(quiet);
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ntu_fuzz::harness();
  const std::string& path = ntu_fuzz::writeScratch(data, size);
  const Outcome events = observe(&Reader::readYamlToJson, path);
  const Outcome tree = observe(&ntu_test::readYamlToJsonByTree, path);
  ntu_fuzz::note(events.note);
  ntu_fuzz::check(
      events.exception == tree.exception, "the exceptions differ",
      "events: " + events.exception.substr(0, 300) + "\ntree:   " + tree.exception.substr(0, 300));
  ntu_fuzz::check(events.lines == tree.lines, "the log lines differ");
  ntu_fuzz::check(events.document == tree.document, "the documents differ",
                  events.document.substr(0, 200));
  return 0;
}
