// JSON files: read the first value of a file, save a document without ever losing the old file.
#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

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

// Builds the document from the parser's events as the stream operator does (a later duplicate
// key replaces an earlier value; the parse error is thrown as the library's own exception), and
// stops at the array or object that opens level kMaxJsonDepth + 1. Uses only the JSON library's
// public SAX interface.
class DepthLimitedBuilder {
 public:
  using json = nlohmann::json;

  explicit DepthLimitedBuilder(json& result) : root_(result) {}

  bool null() { return put(nullptr); }
  bool boolean(bool value) { return put(value); }
  bool number_integer(json::number_integer_t value) { return put(value); }
  bool number_unsigned(json::number_unsigned_t value) { return put(value); }
  bool number_float(json::number_float_t value, const json::string_t& /*text*/) {
    return put(value);
  }
  bool string(json::string_t& value) { return put(std::move(value)); }
  bool binary(json::binary_t& value) { return put(json(std::move(value))); }
  bool start_object(std::size_t /*elements*/) { return open(json::object()); }
  bool key(json::string_t& name) {
    // The member is created now and filled by the value that follows.
    member_ = &(*open_.back()->get_ptr<json::object_t*>())[name];
    return true;
  }
  bool end_object() { return close(); }
  bool start_array(std::size_t /*elements*/) { return open(json::array()); }
  bool end_array() { return close(); }
  template <typename Exception>
  bool parse_error(std::size_t /*position*/, const std::string& /*token*/, const Exception& error) {
    throw error;
  }

 private:
  // Stores a value where the parser is: the root, the next array element or the member named
  // by the last key. Returns where it went. Containers are only ever extended at the innermost
  // open one, so the addresses kept in open_ stay valid.
  json* place(json&& value) {
    if (open_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    json& parent = *open_.back();
    if (parent.is_array()) {
      auto& elements = *parent.get_ptr<json::array_t*>();
      elements.push_back(std::move(value));
      return &elements.back();
    }
    *member_ = std::move(value);
    return member_;
  }
  bool put(json&& value) {
    place(std::move(value));
    return true;
  }
  bool open(json&& container) {
    if (open_.size() == kMaxJsonDepth) throw std::runtime_error(tooDeep());
    open_.push_back(place(std::move(container)));
    return true;
  }
  bool close() {
    open_.pop_back();
    return true;
  }

  json& root_;
  std::vector<json*> open_;  // the arrays and objects not yet closed, outermost first
  json* member_ = nullptr;   // the member named by the last key
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

// The JSON library's serializer (3.11.2) keeps its indentation in a string of 512 blanks that
// it doubles at most once per level, so an indent above 1,024 copies bytes from beyond that
// string. Larger indents are made from the text of indent 1 instead.
constexpr int kLibraryIndent = 512;

// `text` (dumped with indent 1) as dump(indent) writes it. A line of that text begins with one
// blank per level and nothing else ever follows a line break with a blank: strings cannot hold
// a raw line break, which the serializer escapes. The size is known before anything is
// allocated, so a text too large for memory fails as std::length_error or std::bad_alloc.
std::string widenIndent(const std::string& text, int indent) {
  const std::size_t factor = static_cast<std::size_t>(indent) - 1;
  std::size_t blanks = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n') continue;
    while (i + 1 < text.size() && text[i + 1] == ' ') {
      ++blanks;
      ++i;
    }
  }
  std::string out;
  const std::size_t room = out.max_size() - text.size();
  if (factor != 0 && blanks > room / factor) {
    throw std::length_error("the text indented by " + std::to_string(indent) +
                            " blanks per level is too large to hold in memory");
  }
  out.reserve(text.size() + blanks * factor);
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t lineEnd = text.find('\n', i);
    if (lineEnd == std::string::npos) {
      out.append(text, i, std::string::npos);
      break;
    }
    out.append(text, i, lineEnd + 1 - i);
    i = lineEnd + 1;
    std::size_t level = 0;
    while (i < text.size() && text[i] == ' ') {
      ++level;
      ++i;
    }
    out.append(level * static_cast<std::size_t>(indent), ' ');
  }
  return out;
}

}  // namespace

nlohmann::json Reader::readJson(const std::string& filepath) {
  try {
    std::ifstream in(filepath);
    // A folder opens like a file on Linux and fails only on the first read.
    std::error_code ec;
    if (!in.is_open() || std::filesystem::is_directory(filepath, ec)) {
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
    const bool wide = indent > kLibraryIndent;
    std::string text =
        data.dump(wide ? 1 : indent, ' ', false, nlohmann::json::error_handler_t::strict);
    if (wide) text = widenIndent(text, indent);

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
