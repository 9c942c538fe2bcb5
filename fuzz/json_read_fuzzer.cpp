// Reader::readJson on arbitrary bytes.
//
// readJson must never let an exception out: it returns the document or, after one error line,
// an empty object. Whatever it returns must serialise (the first thing saveJson does) and read
// back equal.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "fuzz_support.hpp"
#include "nimbrel_tavik_util/reader.hpp"

namespace {

// The bracketed id of a JSON library error ("[json.exception.parse_error.101]"), else the line.
std::string errorKind(const std::string& reason) {
  const std::size_t close = reason.find(']');
  if (reason.rfind("[json.exception.", 0) == 0 && close != std::string::npos) {
    return reason.substr(0, close + 1);
  }
  return reason.substr(0, reason.find('\n'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ntu_fuzz::Harness& h = ntu_fuzz::harness();
  const std::string& path = ntu_fuzz::writeScratch(data, size);
  h.err.clear();
  const nlohmann::json doc = nimbrel_tavik_util::Reader::readJson(path);
  const std::string& log = h.err.text();

  if (!log.empty()) {
    static const std::string kPrefix = "[ERROR] Failed to read JSON file: ";
    ntu_fuzz::check(log.rfind(kPrefix, 0) == 0,
                    "readJson logged something other than a read failure", log);
    ntu_fuzz::check(doc == nlohmann::json::object(), "failed read did not give an empty object",
                    doc.type_name());
    ntu_fuzz::note("read failure " + errorKind(log.substr(kPrefix.size())));
    return 0;
  }
  ntu_fuzz::note(std::string("loaded ") + doc.type_name());

  // Nothing deeper than the documented 500 levels gets through (dump() below would recurse).
  std::size_t deepest = 0;
  std::vector<std::pair<const nlohmann::json*, std::size_t>> pending{{&doc, 0}};
  while (!pending.empty()) {
    const auto [value, depth] = pending.back();
    pending.pop_back();
    if (!value->is_structured()) continue;
    deepest = std::max(deepest, depth + 1);
    for (const nlohmann::json& child : *value) pending.emplace_back(&child, depth + 1);
  }
  ntu_fuzz::check(deepest <= 500, "readJson returned a document deeper than 500 levels",
                  std::to_string(deepest));

  // Parsed strings are valid UTF-8, so the strict serialiser must accept the document.
  const std::string text = doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
  const nlohmann::json again = nlohmann::json::parse(text);
  ntu_fuzz::check(again == doc, "document does not read back equal", text.substr(0, 200));
  return 0;
}
