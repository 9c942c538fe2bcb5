// JSON files: read the first value of a file, save a document without ever losing the old file.
#include <algorithm>
#include <cstddef>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "nimbrel_tavik_util/logger.hpp"
#include "nimbrel_tavik_util/reader.hpp"
#include "reader/file_writer.hpp"

namespace nimbrel_tavik_util {

namespace {

// Deepest nesting that readJson accepts and saveJson writes. The JSON library parses any depth
// without recursion, but copying, comparing and dumping a document recurse once per level, and
// a few tens of thousands of levels exhaust the stack.
constexpr std::size_t kMaxJsonDepth = 500;

std::string tooDeep() {
  return "document nested deeper than " + std::to_string(kMaxJsonDepth) + " levels";
}

// Builds the document from the parser's events with the library's own builder, exactly as the
// stream operator does, and stops at the array or object that opens level kMaxJsonDepth + 1.
class DepthLimitedBuilder {
 public:
  using json = nlohmann::json;

  explicit DepthLimitedBuilder(json& result) : dom_(result, true) {}

  bool null() { return dom_.null(); }
  bool boolean(bool value) { return dom_.boolean(value); }
  bool number_integer(json::number_integer_t value) { return dom_.number_integer(value); }
  bool number_unsigned(json::number_unsigned_t value) { return dom_.number_unsigned(value); }
  bool number_float(json::number_float_t value, const json::string_t& text) {
    return dom_.number_float(value, text);
  }
  bool string(json::string_t& value) { return dom_.string(value); }
  bool binary(json::binary_t& value) { return dom_.binary(value); }
  bool start_object(std::size_t elements) {
    open();
    return dom_.start_object(elements);
  }
  bool key(json::string_t& value) { return dom_.key(value); }
  bool end_object() {
    --depth_;
    return dom_.end_object();
  }
  bool start_array(std::size_t elements) {
    open();
    return dom_.start_array(elements);
  }
  bool end_array() {
    --depth_;
    return dom_.end_array();
  }
  // Throws the library's parse_error, as the stream operator does.
  template <typename Exception>
  bool parse_error(std::size_t position, const std::string& token, const Exception& error) {
    return dom_.parse_error(position, token, error);
  }

 private:
  void open() {
    if (++depth_ > kMaxJsonDepth) throw std::runtime_error(tooDeep());
  }

  nlohmann::detail::json_sax_dom_parser<json> dom_;
  std::size_t depth_ = 0;
};

// Nesting depth of `data` (0 for a scalar, 1 for an array of scalars), measured without
// recursion; stops counting once it exceeds `limit`.
std::size_t depthOf(const nlohmann::json& data, std::size_t limit) {
  std::vector<std::pair<const nlohmann::json*, std::size_t>> pending;
  if (data.is_structured()) pending.emplace_back(&data, 1);
  std::size_t deepest = 0;
  while (!pending.empty() && deepest <= limit) {
    const auto [value, depth] = pending.back();
    pending.pop_back();
    deepest = std::max(deepest, depth);
    for (const nlohmann::json& child : *value) {
      if (child.is_structured()) pending.emplace_back(&child, depth + 1);
    }
  }
  return deepest;
}

}  // namespace

nlohmann::json Reader::readJson(const std::string& filepath) {
  try {
    std::ifstream in(filepath);
    if (!in.is_open()) {
      Logger::error("Failed to open JSON file: " + filepath);
      return nlohmann::json::object();
    }
    // The stream operator's parse (first value only, trailing text unread, no comments), with
    // a bound on the nesting.
    nlohmann::json document;
    DepthLimitedBuilder builder(document);
    nlohmann::json::sax_parse(in, &builder, nlohmann::json::input_format_t::json,
                              /*strict=*/false, /*ignore_comments=*/false);
    return document;
  } catch (const std::exception& e) {
    Logger::error(std::string("Failed to read JSON file: ") + e.what());
    return nlohmann::json::object();
  }
}

void Reader::saveJson(const nlohmann::json& data, const std::string& filepath, int indent) {
  try {
    // Serialising first means invalid UTF-8 fails before any file is touched. dump() recurses
    // once per level, so the depth is checked first.
    if (depthOf(data, kMaxJsonDepth) > kMaxJsonDepth) throw std::runtime_error(tooDeep());
    const std::string text = data.dump(indent, ' ', false, nlohmann::json::error_handler_t::strict);

    if (file_writer::writeFile(filepath, text) != file_writer::Outcome::kWritten) {
      Logger::error("Failed to open file for writing: " + filepath);
      return;
    }
    Logger::info("Saved JSON: " + filepath);
  } catch (const std::exception& e) {
    Logger::error(std::string("Failed to save JSON: ") + e.what());
  }
}

}  // namespace nimbrel_tavik_util
