// readJson's two parses, reachable by the tests and benchmarks that compare them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <simdjson.h>
#include <nlohmann/json.hpp>

namespace nimbrel_tavik_util::detail {

// Deepest nesting that readJson accepts and saveJson writes. The JSON library parses any depth
// without recursion, but copying, comparing and dumping a document recurse once per level, and
// a few tens of thousands of levels exhaust the stack.
constexpr std::size_t kMaxJsonDepth = 500;

// Builds from simdjson's parse the document the JSON library's parse builds from the same text:
// the same value types (a literal without '-' is unsigned), a later duplicate key replacing the
// earlier value.
class FastBuilder {
 public:
  using json = nlohmann::json;

  // `depth`: the arrays and objects around `element`. False when `element` nests deeper than
  // kMaxJsonDepth (out is then unfinished).
  bool build(simdjson::dom::element element, json& out, std::size_t depth);

  // A 0 was read: simdjson reads "-0" as 0 too, which the JSON library keeps signed, so the
  // text must be checked with mayHoldNegativeZero.
  bool sawZero() const { return sawZero_; }

  // True when `text` may hold the number "-0": a "-0" not followed by a digit, '.', 'e' or 'E'
  // (strings are not told apart).
  static bool mayHoldNegativeZero(std::string_view text);

 private:
  bool sawZero_ = false;
};

// The JSON library's parse of one whole value (nothing but white space after it) that lies
// inside `depth` arrays and objects, with readJson's nesting bound. Throws the library's
// parse_error, or std::runtime_error for the nesting.
nlohmann::json parseJsonText(const char* begin, const char* end, std::size_t depth);

// readJson's document read in pieces by the pose stream's scanner and simdjson (root members and
// the elements of outer arrays in batches), in little more memory than the document. False
// where the text may not be read so: any syntax error, "-0", nesting beyond 500 levels, or a
// number simdjson refuses; the JSON library's parse then reads the file.
bool readJsonInPieces(const std::string& filepath, nlohmann::json& document);

// Reader::readJson with `fast`; without it, the JSON library's own parse only (the way every
// file was read before simdjson, and the way for the files simdjson cannot vouch for).
nlohmann::json readJsonFile(const std::string& filepath, bool fast);

}  // namespace nimbrel_tavik_util::detail
