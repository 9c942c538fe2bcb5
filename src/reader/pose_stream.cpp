// Reader::forEachPose: the poses of a pose log one at a time, in memory bounded by the largest
// pose rather than the file. YAML is read with libyaml's events, JSON by a scanner that cuts the
// text into top-level members and poses, each parsed by simdjson.
#include <yaml.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <simdjson.h>
#include <nlohmann/json.hpp>

#include "nimbrel_tavik_util/reader.hpp"
#include "reader/json_reader.hpp"
#include "reader/yaml_convert_common.hpp"
#include "reader/yaml_event_converter.hpp"
#include "reader/yaml_libyaml.hpp"

namespace nimbrel_tavik_util {

namespace {

using nlohmann::json;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Names the file, the pose being read (if any) and the line in every error.
class Failure {
 public:
  explicit Failure(const std::string& filepath) : filepath_(filepath) {}

  void inPose(std::optional<std::size_t> pose) { pose_ = pose; }

  [[noreturn]] void at(std::size_t line, const std::string& reason) const {
    std::string text = "forEachPose: " + filepath_ + ": ";
    if (pose_) text += "pose_info[" + std::to_string(*pose_) + "] ";
    throw std::runtime_error(text + "at line " + std::to_string(line) + ": " + reason);
  }

 private:
  const std::string& filepath_;
  std::optional<std::size_t> pose_;
};

bool endsWithJson(const std::string& path) {
  if (path.size() < 5) return false;
  std::string tail = path.substr(path.size() - 5);
  for (char& c : tail) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return tail == ".json";
}

// --- YAML ---------------------------------------------------------------------------------------

class YamlPoses {
 public:
  YamlPoses(const std::string& filepath, std::FILE* file, const Reader::PoseVisitor& visit)
      : failure_(filepath), parser_(file), visit_(visit) {}

  std::size_t run() {
    next();                                                  // stream start
    if (next().type != YAML_DOCUMENT_START_EVENT) return 0;  // no document
    if (next().type != YAML_MAPPING_START_EVENT) return 0;   // no map, so no pose_info
    std::size_t poses = 0;
    bool sawPoses = false;
    for (;;) {
      const yaml_event_t& keyEvent = next();
      if (keyEvent.type == YAML_MAPPING_END_EVENT) break;
      const std::string key = keyText(keyEvent);
      const yaml_event_t& value = next();
      const std::size_t line = value.start_mark.line + 1;
      if (key != "pose_info") {
        json ignored;
        node(value, ignored, 1);
        continue;
      }
      if (sawPoses) failure_.at(line, "pose_info appears twice");
      sawPoses = true;
      if (value.type != YAML_SEQUENCE_START_EVENT) failure_.at(line, "pose_info is not a sequence");
      for (;;) {
        const yaml_event_t& element = next();
        if (element.type == YAML_SEQUENCE_END_EVENT) break;
        failure_.inPose(poses);
        json pose;
        node(element, pose, 2);
        if (!visit_(poses, pose)) return poses + 1;
        ++poses;
        failure_.inPose(std::nullopt);
      }
    }
    return poses;
  }

 private:
  struct Anchored {
    json value;
    std::string text;  // scalars: the text, for use as a key
    bool scalar = false;
    bool open = true;         // still being read: an alias of it is a cycle
    std::uint64_t nodes = 1;  // what a copy repeats
    std::size_t height = 0;   // containers on the longest way down
  };
  struct Size {
    std::uint64_t nodes = 1;
    std::size_t height = 0;
  };

  const yaml_event_t& next() {
    const yaml_event_t* event = parser_.next();
    if (event == nullptr) {
      const std::string problem = parser_.problem();
      failure_.at(lineOf(problem), problem);
    }
    return *event;
  }

  // libyaml's problem text ends with its line ("at line L, column C").
  static std::size_t lineOf(const std::string& problem) {
    const std::size_t at = problem.rfind("at line ");
    return at == std::string::npos ? 0 : std::stoul(problem.substr(at + 8));
  }

  std::string keyText(const yaml_event_t& event) {
    const std::size_t line = event.start_mark.line + 1;
    std::string text;
    if (event.type == YAML_SCALAR_EVENT) {
      const auto& scalar = event.data.scalar;
      text.assign(reinterpret_cast<const char*>(scalar.value), scalar.length);
      if (isNull(event)) text = "null";
      if (scalar.anchor != nullptr) {
        Anchored& anchored = anchors_[reinterpret_cast<const char*>(scalar.anchor)];
        anchored = Anchored();
        anchored.scalar = true;
        anchored.open = false;
        anchored.text = text;
        anchored.value = isNull(event) ? json(nullptr) : scalarValue(text, line);
      }
    } else if (event.type == YAML_ALIAS_EVENT) {
      const Anchored& target = anchor(event);
      if (!target.scalar) failure_.at(line, "a key is not a scalar");
      text = target.text;
    } else {
      failure_.at(line, "a key is not a scalar");
    }
    if (const std::size_t bad = detail::invalidUtf8At(text); bad != detail::kValidUtf8) {
      failure_.at(line, "key " + detail::invalidUtf8Reason(bad));
    }
    return text;
  }

  static bool isNull(const yaml_event_t& event) {
    const auto& scalar = event.data.scalar;
    if (scalar.style != YAML_PLAIN_SCALAR_STYLE) return false;
    const std::string_view word(reinterpret_cast<const char*>(scalar.value), scalar.length);
    return word.empty() || word == "~" || word == "null" || word == "Null" || word == "NULL";
  }

  json scalarValue(const std::string& text, std::size_t line) {
    json value = scalars_.numberOrBool(text);
    if (!value.is_discarded()) return value;
    if (const std::size_t bad = detail::invalidUtf8At(text); bad != detail::kValidUtf8) {
      failure_.at(line, detail::invalidUtf8Reason(bad));
    }
    return text;
  }

  Anchored& anchor(const yaml_event_t& alias) {
    const auto found = anchors_.find(reinterpret_cast<const char*>(alias.data.alias.anchor));
    const std::size_t line = alias.start_mark.line + 1;
    if (found == anchors_.end()) failure_.at(line, "alias of an unknown anchor");
    if (found->second.open) failure_.at(line, "alias of a node that contains it");
    return found->second;
  }

  // Reads the node that starts with `first` into `out`; `depth`: the containers around it.
  Size node(const yaml_event_t& first, json& out, std::size_t depth) {
    const std::size_t line = first.start_mark.line + 1;
    switch (first.type) {
      case YAML_SCALAR_EVENT: {
        ++distinct_;
        const auto& scalar = first.data.scalar;
        std::string text(reinterpret_cast<const char*>(scalar.value), scalar.length);
        out = isNull(first) ? json(nullptr) : scalarValue(text, line);
        if (scalar.anchor != nullptr) {
          Anchored& anchored = anchors_[reinterpret_cast<const char*>(scalar.anchor)];
          anchored = Anchored();
          anchored.scalar = true;
          anchored.open = false;
          anchored.text = isNull(first) ? std::string("null") : std::move(text);
          anchored.value = out;
        }
        return {};
      }
      case YAML_ALIAS_EVENT: {
        const Anchored& target = anchor(first);
        repeated_ += target.nodes;
        const std::uint64_t limit =
            std::max(detail::kRepeatFloor, detail::kRepeatRatio * distinct_);
        if (repeated_ > limit) {
          failure_.at(line, "aliases repeat more than " + std::to_string(limit) + " nodes");
        }
        if (depth + target.height > detail::kMaxDepth) {
          failure_.at(line, "nesting deeper than " + std::to_string(detail::kMaxDepth) + " levels");
        }
        out = target.value;
        return {target.nodes, target.height};
      }
      case YAML_SEQUENCE_START_EVENT:
      case YAML_MAPPING_START_EVENT: {
        if (depth == detail::kMaxDepth) {
          failure_.at(line, "nesting deeper than " + std::to_string(detail::kMaxDepth) + " levels");
        }
        ++distinct_;
        const bool map = first.type == YAML_MAPPING_START_EVENT;
        const yaml_char_t* anchorName =
            map ? first.data.mapping_start.anchor : first.data.sequence_start.anchor;
        std::string name;
        if (anchorName != nullptr) {
          name = reinterpret_cast<const char*>(anchorName);
          anchors_[name] = Anchored();  // open
        }
        Size size{1, 1};
        auto grow = [&size](const Size& child) {
          size.nodes += child.nodes;
          size.height = std::max(size.height, child.height + 1);
        };
        if (map) {
          out = json::object();
          auto& members = *out.get_ptr<json::object_t*>();
          for (;;) {
            const yaml_event_t& keyEvent = next();
            if (keyEvent.type == YAML_MAPPING_END_EVENT) break;
            const std::string key = keyText(keyEvent);
            // A later duplicate key replaces the earlier value.
            json& slot = members[key];
            grow(node(next(), slot, depth + 1));
          }
        } else {
          out = json::array();
          auto& elements = *out.get_ptr<json::array_t*>();
          for (;;) {
            const yaml_event_t& element = next();
            if (element.type == YAML_SEQUENCE_END_EVENT) break;
            elements.emplace_back();
            grow(node(element, elements.back(), depth + 1));
          }
        }
        if (!name.empty()) {
          Anchored& anchored = anchors_[name];
          anchored.value = out;
          anchored.open = false;
          anchored.nodes = size.nodes;
          anchored.height = size.height;
        }
        return size;
      }
      default:
        failure_.at(line, "unexpected YAML event");
    }
  }

  Failure failure_;
  detail::LibyamlParser parser_;
  const Reader::PoseVisitor& visit_;
  detail::ScalarReader scalars_;
  std::unordered_map<std::string, Anchored> anchors_;
  std::uint64_t distinct_ = 0;
  std::uint64_t repeated_ = 0;
};

// --- JSON ---------------------------------------------------------------------------------------

class JsonPoses {
 public:
  JsonPoses(const std::string& filepath, std::FILE* file, const Reader::PoseVisitor& visit)
      : failure_(filepath), file_(file), visit_(visit) {}

  std::size_t run() {
    skipSpace();
    // A byte order mark, which the JSON library skips too.
    if (have(3) && static_cast<unsigned char>(buffer_[pos_]) == 0xEF &&
        static_cast<unsigned char>(buffer_[pos_ + 1]) == 0xBB &&
        static_cast<unsigned char>(buffer_[pos_ + 2]) == 0xBF) {
      pos_ += 3;
      skipSpace();
    }
    if (!have(1)) failure_.at(line_, "the file holds no JSON value");
    if (buffer_[pos_] != '{') return 0;  // no object, so no pose_info
    ++pos_;
    std::size_t poses = 0;
    bool sawPoses = false;
    bool first = true;
    for (;;) {
      skipSpace();
      if (first && peek() == '}') break;
      first = false;
      const std::size_t keyLine = line_;
      if (peek() != '"') failure_.at(line_, "expected a member name");
      const std::string key = parseSpan(scanValue(), 1).get<std::string>();
      skipSpace();
      if (peek() != ':') failure_.at(line_, "expected ':' after a member name");
      ++pos_;
      skipSpace();
      if (key != "pose_info") {
        parseSpan(scanValue(), 1);
      } else {
        if (sawPoses) failure_.at(keyLine, "pose_info appears twice");
        sawPoses = true;
        if (peek() != '[') failure_.at(line_, "pose_info is not an array");
        ++pos_;
        skipSpace();
        if (peek() == ']') {
          ++pos_;
        } else {
          for (;;) {
            failure_.inPose(poses);
            skipSpace();
            json pose = parseSpan(scanValue(), 2);
            if (!visit_(poses, pose)) return poses + 1;
            ++poses;
            skipSpace();
            const char after = peek();
            if (after != ',' && after != ']')
              failure_.at(line_, "expected ',' or ']' after a pose");
            failure_.inPose(std::nullopt);
            ++pos_;
            if (after == ']') break;
          }
        }
      }
      skipSpace();
      const char after = peek();
      if (after != ',' && after != '}') failure_.at(line_, "expected ',' or '}' after a member");
      ++pos_;
      if (after == '}') break;
    }
    // Text after the first value is not read, as readJson does not read it.
    return poses;
  }

 private:
  static constexpr std::size_t kChunk = 1 << 20;

  // True when `n` bytes from pos_ are in the buffer (reading more as needed).
  bool have(std::size_t n) {
    while (end_ - pos_ < n) {
      if (eof_) return false;
      // Drop what is no longer needed (everything before keep_), then read a chunk.
      const std::size_t drop = std::min(keep_, pos_);
      buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(drop));
      end_ -= drop;
      pos_ -= drop;
      keep_ -= drop;
      buffer_.resize(end_ + kChunk + simdjson::SIMDJSON_PADDING);
      const std::size_t got = std::fread(buffer_.data() + end_, 1, kChunk, file_);
      if (got < kChunk) {
        if (std::ferror(file_)) failure_.at(line_, "cannot read the file");
        eof_ = true;
      }
      end_ += got;
    }
    return true;
  }

  char peek() {
    if (!have(1)) failure_.at(line_, "unexpected end of the file");
    return buffer_[pos_];
  }

  void skipSpace() {
    keep_ = pos_;
    while (have(1)) {
      const char c = buffer_[pos_];
      if (c == '\n') {
        ++line_;
      } else if (c != ' ' && c != '\t' && c != '\r') {
        break;
      }
      ++pos_;
    }
    keep_ = pos_;
  }

  // Finds the end of the value at pos_ (structure only: simdjson checks the rest) and leaves
  // pos_ there; returns the value's first line. The value starts at keep_.
  std::size_t scanValue() {
    keep_ = pos_;
    const std::size_t firstLine = line_;
    std::size_t depth = 0;
    bool inString = false;
    const char start = peek();
    if (start != '{' && start != '[' && start != '"') {
      // A number or a word: up to the next delimiter.
      while (have(1)) {
        const char c = buffer_[pos_];
        if (c == ',' || c == ']' || c == '}' || c == ' ' || c == '\t' || c == '\r' || c == '\n') {
          break;
        }
        ++pos_;
      }
      return firstLine;
    }
    for (;;) {
      if (!have(1)) failure_.at(firstLine, "unexpected end of the file in a value");
      const char c = buffer_[pos_++];
      if (c == '\n') ++line_;
      if (inString) {
        if (c == '\\') {
          if (!have(1)) failure_.at(firstLine, "unexpected end of the file in a string");
          if (buffer_[pos_] == '\n') ++line_;
          ++pos_;
        } else if (c == '"') {
          inString = false;
          if (depth == 0) return firstLine;
        }
      } else if (c == '"') {
        inString = true;
      } else if (c == '{' || c == '[') {
        ++depth;
      } else if ((c == '}' || c == ']') && --depth == 0) {
        return firstLine;
      }
    }
  }

  // The value scanned last (keep_ to pos_), parsed; `depth`: the containers around it.
  json parseSpan(std::size_t line, std::size_t depth) {
    have(0);
    const std::size_t length = pos_ - keep_;
    const char* const begin = buffer_.data() + keep_;
    // The buffer always holds simdjson's padding after its end.
    simdjson::dom::element element;
    json value;
    detail::FastBuilder builder;
    const bool fast = !parser_.parse(begin, length, false).get(element) &&
                      builder.build(element, value, depth) &&
                      !(builder.sawZero() &&
                        detail::FastBuilder::mayHoldNegativeZero(std::string_view(begin, length)));
    if (!fast) {
      // What simdjson refuses or reads otherwise (numbers beyond 64 bits, "-0", nesting
      // beyond its bound): the JSON library's parse, as readJson falls back to it.
      try {
        value = detail::parseJsonText(begin, begin + length, depth);
      } catch (const std::exception& e) {
        failure_.at(line, e.what());
      }
    }
    keep_ = pos_;
    return value;
  }

  Failure failure_;
  std::FILE* file_;
  const Reader::PoseVisitor& visit_;
  simdjson::dom::parser parser_;
  std::vector<char> buffer_ = std::vector<char>(simdjson::SIMDJSON_PADDING);
  std::size_t pos_ = 0;   // the next byte
  std::size_t end_ = 0;   // the end of what was read
  std::size_t keep_ = 0;  // the first byte still needed
  bool eof_ = false;
  std::size_t line_ = 1;
};

}  // namespace

std::size_t Reader::forEachPose(const std::string& filepath, const PoseVisitor& visit) {
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(filepath.c_str(), "rb"));
  // A folder opens for reading on Linux and fails on the first read.
  if (!file || std::fgetc(file.get()) == EOF) {
    if (file && !std::ferror(file.get())) {
      if (endsWithJson(filepath)) {
        throw std::runtime_error("forEachPose: " + filepath +
                                 ": at line 1: the file holds no "
                                 "JSON value");
      }
      return 0;  // an empty YAML file: no document
    }
    throw std::runtime_error("forEachPose: cannot read " + filepath);
  }
  std::rewind(file.get());
  if (endsWithJson(filepath)) return JsonPoses(filepath, file.get(), visit).run();
  return YamlPoses(filepath, file.get(), visit).run();
}

}  // namespace nimbrel_tavik_util
