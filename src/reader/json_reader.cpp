// JSON files: read the first value of a file, save a document without ever losing the old file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include <simdjson.h>
#include <nlohmann/json.hpp>

#include "nimbrel_tavik_util/logger.hpp"
#include "nimbrel_tavik_util/reader.hpp"
#include "reader/file_writer.hpp"
#include "reader/json_reader.hpp"

namespace nimbrel_tavik_util {

namespace {

using detail::kMaxJsonDepth;

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

  // `limit`: the levels that may open (fewer than kMaxJsonDepth for a value inside others).
  explicit DepthLimitedBuilder(json& result, std::size_t limit = kMaxJsonDepth)
      : root_(result), limit_(limit) {}

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
    if (open_.size() == limit_) throw std::runtime_error(tooDeep());
    open_.push_back(place(std::move(container)));
    return true;
  }
  bool close() {
    open_.pop_back();
    return true;
  }

  json& root_;
  std::size_t limit_;
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
  return detail::readJsonFile(filepath, /*fast=*/true);
}

namespace detail {

bool FastBuilder::build(simdjson::dom::element element, json& out, std::size_t depth) {
  switch (element.type()) {
    case simdjson::dom::element_type::ARRAY: {
      if (depth == kMaxJsonDepth) return false;
      out = json::array();
      auto& elements = *out.get_ptr<json::array_t*>();
      const simdjson::dom::array array(element);
      elements.reserve(array.size());
      for (const simdjson::dom::element child : array) {
        elements.emplace_back();
        if (!build(child, elements.back(), depth + 1)) return false;
      }
      return true;
    }
    case simdjson::dom::element_type::OBJECT: {
      if (depth == kMaxJsonDepth) return false;
      out = json::object();
      auto& members = *out.get_ptr<json::object_t*>();
      for (const simdjson::dom::key_value_pair member : simdjson::dom::object(element)) {
        // A later duplicate key replaces the earlier value (build overwrites it). Keys often
        // come in order, which the hint makes cheap.
        const auto slot = members.emplace_hint(members.end(), std::string(member.key), json());
        if (!build(member.value, slot->second, depth + 1)) return false;
      }
      return true;
    }
    case simdjson::dom::element_type::INT64: {
      const std::int64_t value = element.get_int64().value_unsafe();
      // The JSON library reads a literal without '-' as unsigned, one with '-' as signed;
      // only 0 does not say which ("0" or "-0").
      if (value < 0) {
        out = value;
      } else {
        out = static_cast<json::number_unsigned_t>(value);
        sawZero_ = sawZero_ || value == 0;
      }
      return true;
    }
    case simdjson::dom::element_type::UINT64:
      out = element.get_uint64().value_unsafe();
      return true;
    case simdjson::dom::element_type::DOUBLE:
      // Both parsers round the text to the nearest double.
      out = element.get_double().value_unsafe();
      return true;
    case simdjson::dom::element_type::STRING:
      out = std::string(element.get_string().value_unsafe());
      return true;
    case simdjson::dom::element_type::BOOL:
      out = element.get_bool().value_unsafe();
      return true;
    case simdjson::dom::element_type::NULL_VALUE:
      out = nullptr;
      return true;
  }
  return false;
}

// True when `text` may hold the number "-0" (signed zero for the JSON library, which simdjson
// reads as 0): a "-0" not followed by a digit, '.', 'e' or 'E'. Strings are not told apart.
bool FastBuilder::mayHoldNegativeZero(std::string_view text) {
  for (std::size_t at = text.find("-0"); at != std::string_view::npos;
       at = text.find("-0", at + 2)) {
    const char next = at + 2 < text.size() ? text[at + 2] : ' ';
    if (!((next >= '0' && next <= '9') || next == '.' || next == 'e' || next == 'E')) return true;
  }
  return false;
}

nlohmann::json parseJsonText(const char* begin, const char* end, std::size_t depth) {
  nlohmann::json document;
  DepthLimitedBuilder builder(document, kMaxJsonDepth - std::min(depth, kMaxJsonDepth));
  nlohmann::json::sax_parse(begin, end, &builder, nlohmann::json::input_format_t::json,
                            /*strict=*/true, /*ignore_comments=*/false);
  return document;
}

nlohmann::json readJsonFile(const std::string& filepath, bool fast) {
  try {
    std::ifstream in(filepath);
    // A folder opens like a file on Linux and fails only on the first read.
    std::error_code ec;
    if (!in.is_open() || std::filesystem::is_directory(filepath, ec)) {
      Logger::error("Failed to open JSON file: " + filepath);
      return nlohmann::json::object();
    }
    nlohmann::json document;
    if (fast && readJsonInPieces(filepath, document)) return document;
    // The stream operator's parse (first value only, trailing text unread, no comments), with
    // a bound on the nesting.
    document = nullptr;
    DepthLimitedBuilder builder(document);
    nlohmann::json::sax_parse(in, &builder, nlohmann::json::input_format_t::json,
                              /*strict=*/false, /*ignore_comments=*/false);
    return document;
  } catch (const std::exception& e) {
    Logger::error(std::string("Failed to read JSON file: ") + e.what());
    return nlohmann::json::object();
  }
}

}  // namespace detail

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
