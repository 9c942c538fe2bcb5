// Pieces shared by the two YAML-to-JSON converters: the node-tree one (yamlNodeToJson) and the
// event one (readYamlToJson). Both must give the same documents and messages, so the rules they
// share live here once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include <yaml-cpp/node/type.h>

namespace nimbrel_tavik_util::detail {

inline std::string nodeTypeToString(unsigned type) {
  switch (type) {
    case YAML::NodeType::Undefined:
      return "Undefined";
    case YAML::NodeType::Null:
      return "Null";
    case YAML::NodeType::Scalar:
      return "Scalar";
    case YAML::NodeType::Sequence:
      return "Sequence";
    case YAML::NodeType::Map:
      return "Map";
    default:
      return "Unknown";
  }
}

// Bounds of one conversion (documented in reader.hpp).
constexpr std::size_t kMaxDepth = 500;
constexpr std::uint64_t kRepeatFloor = 100000;
constexpr std::uint64_t kRepeatRatio = 10;
constexpr std::size_t kScalarBytesPerUnit = 64;
// A wrapping message keeps at most this much of the message below it. Messages grow with every
// level; with long keys on each of 500 levels they would reach hundreds of megabytes.
constexpr std::size_t kMaxInnerMessage = 4096;

// The weight of a null or scalar in the expansion bound: one node per 64 bytes of text.
inline std::uint64_t leafUnits(std::size_t textBytes) {
  return 1 + textBytes / kScalarBytesPerUnit;
}

// The message of a lower level, for wrapping; the middle of a very long one is left out.
inline std::string innerText(const std::string& text) {
  if (text.size() <= kMaxInnerMessage) return text;
  const std::size_t head = kMaxInnerMessage / 4;
  const std::size_t tail = kMaxInnerMessage - head;
  return text.substr(0, head) + " [... " + std::to_string(text.size() - head - tail) +
         " bytes left out ...] " + text.substr(text.size() - tail);
}
inline std::string innerText(const std::exception& e) { return innerText(std::string(e.what())); }

// The messages of the three bounds, at the node where they are reached.
inline std::string cycleMessage(const std::string& path, const std::string& openPath) {
  return "Alias cycle at " + path + ": the node at " + openPath + " contains itself";
}
inline std::string nestingMessage(const std::string& path) {
  return "Nesting deeper than " + std::to_string(kMaxDepth) + " levels at " + path;
}
inline std::string limitMessage(const std::string& path, std::uint64_t limit) {
  return "Alias expansion limit exceeded at " + path + ": aliases repeat more than " +
         std::to_string(limit) + " nodes";
}

// True when `d` is exactly the integer `v` (a plain `d == v` would round v to double first).
inline bool doubleHoldsExactly(double d, std::int64_t v) {
  // [-2^63, 2^63) is the range in which the cast back to int64 is defined.
  if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) return false;
  const auto back = static_cast<std::int64_t>(d);
  return back == v && static_cast<double>(back) == d;
}

constexpr std::size_t kValidUtf8 = static_cast<std::size_t>(-1);

// Offset of the first byte that does not belong to a well-formed UTF-8 sequence (no overlong
// forms, no surrogates, nothing above U+10FFFF: what the JSON library's strict dump accepts),
// or kValidUtf8.
inline std::size_t invalidUtf8At(const std::string& text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned char b = bytes[i];
    if (b < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;  // allowed range of the second byte
    unsigned char high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
      length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3;
      if (b == 0xE0) low = 0xA0;   // overlong
      if (b == 0xED) high = 0x9F;  // surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4;
      if (b == 0xF0) low = 0x90;   // overlong
      if (b == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
      return i;
    }
    if (n - i < length || bytes[i + 1] < low || bytes[i + 1] > high) return i;
    for (std::size_t k = 2; k < length; ++k) {
      if (bytes[i + k] < 0x80 || bytes[i + k] > 0xBF) return i;
    }
    i += length;
  }
  return kValidUtf8;
}

// The reason given when a key or a string value is not valid UTF-8 (saving the document would
// fail on it, so readYamlToJson refuses it where it is).
inline std::string invalidUtf8Reason(std::size_t offset) {
  return "invalid UTF-8 at byte " + std::to_string(offset);
}

}  // namespace nimbrel_tavik_util::detail
