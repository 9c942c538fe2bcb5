// Reader::forEachPose: the poses of a pose log one at a time, in memory bounded by the largest
// pose rather than the file. YAML is read with libyaml's events, JSON by a scanner that cuts the
// text into top-level members and poses, each parsed by simdjson.
#include <yaml.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
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
  explicit Failure(std::string filepath) : filepath_(std::move(filepath)) {}

  void inPose(std::optional<std::size_t> pose) { pose_ = pose; }

  [[noreturn]] void at(std::size_t line, const std::string& reason) const {
    std::string text = "forEachPose: " + filepath_ + ": ";
    if (pose_) text += "pose_info[" + std::to_string(*pose_) + "] ";
    throw std::runtime_error(text + "at line " + std::to_string(line) + ": " + reason);
  }

 private:
  std::string filepath_;
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

// The cursor behind PoseStream: the next pose, or false after the last.
class PoseCursor {
 public:
  virtual ~PoseCursor() = default;
  virtual bool next(json& pose) = 0;
};

class YamlPoses final : public PoseCursor {
 public:
  YamlPoses(const std::string& filepath, std::unique_ptr<std::FILE, FileCloser> file)
      : failure_(filepath), file_(std::move(file)), parser_(file_.get()) {}

  bool next(json& pose) override {
    for (;;) {
      switch (state_) {
        case State::Start:
          state_ = State::Done;
          event();                                                      // stream start
          if (event().type != YAML_DOCUMENT_START_EVENT) return false;  // no document
          if (event().type != YAML_MAPPING_START_EVENT) return false;   // no map, no pose_info
          state_ = State::Members;
          break;
        case State::Members: {
          const yaml_event_t& keyEvent = event();
          if (keyEvent.type == YAML_MAPPING_END_EVENT) {
            state_ = State::Done;
            return false;
          }
          const std::string key = keyText(keyEvent);
          const yaml_event_t& value = event();
          const std::size_t line = value.start_mark.line + 1;
          if (key != "pose_info") {
            json ignored;
            node(value, ignored, 1);
            break;
          }
          if (sawPoses_) failure_.at(line, "pose_info appears twice");
          sawPoses_ = true;
          if (value.type != YAML_SEQUENCE_START_EVENT) {
            failure_.at(line, "pose_info is not a sequence");
          }
          state_ = State::Poses;
          break;
        }
        case State::Poses: {
          const yaml_event_t& element = event();
          if (element.type == YAML_SEQUENCE_END_EVENT) {
            state_ = State::Members;
            break;
          }
          failure_.inPose(poses_);
          pose = json();
          node(element, pose, 2);
          failure_.inPose(std::nullopt);
          ++poses_;
          return true;
        }
        case State::Done:
          return false;
      }
    }
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

  const yaml_event_t& event() {
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
        text_.assign(reinterpret_cast<const char*>(scalar.value), scalar.length);
        const bool null = isNull(first);
        out = null ? json(nullptr) : scalarValue(text_, line);
        if (scalar.anchor != nullptr) {
          Anchored& anchored = anchors_[reinterpret_cast<const char*>(scalar.anchor)];
          anchored = Anchored();
          anchored.scalar = true;
          anchored.open = false;
          anchored.text = null ? std::string("null") : text_;
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
            const yaml_event_t& keyEvent = event();
            if (keyEvent.type == YAML_MAPPING_END_EVENT) break;
            const std::string key = keyText(keyEvent);
            // A later duplicate key replaces the earlier value.
            json& slot = members[key];
            grow(node(event(), slot, depth + 1));
          }
        } else {
          out = json::array();
          auto& elements = *out.get_ptr<json::array_t*>();
          for (;;) {
            const yaml_event_t& element = event();
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

  enum class State : std::uint8_t { Start, Members, Poses, Done };

  Failure failure_;
  std::unique_ptr<std::FILE, FileCloser> file_;
  detail::LibyamlParser parser_;
  State state_ = State::Start;
  bool sawPoses_ = false;
  std::size_t poses_ = 0;
  detail::ScalarReader scalars_;
  std::string text_;  // the scalar being read
  std::unordered_map<std::string, Anchored> anchors_;
  std::uint64_t distinct_ = 0;
  std::uint64_t repeated_ = 0;
};

// --- JSON ---------------------------------------------------------------------------------------

class JsonPoses final : public PoseCursor {
 public:
  JsonPoses(const std::string& filepath, std::unique_ptr<std::FILE, FileCloser> file)
      : failure_(filepath), file_(std::move(file)) {}

  bool next(json& pose) override {
    for (;;) {
      switch (state_) {
        case State::Start:
          state_ = State::Done;
          skipSpace();
          // A byte order mark, which the JSON library skips too.
          if (have(3) && static_cast<unsigned char>(buffer_[pos_]) == 0xEF &&
              static_cast<unsigned char>(buffer_[pos_ + 1]) == 0xBB &&
              static_cast<unsigned char>(buffer_[pos_ + 2]) == 0xBF) {
            pos_ += 3;
            skipSpace();
          }
          if (!have(1)) failure_.at(line_, "the file holds no JSON value");
          if (buffer_[pos_] != '{') return false;  // no object, so no pose_info
          ++pos_;
          skipSpace();
          if (peek() == '}') return false;
          state_ = State::Members;
          break;
        case State::Members: {
          skipSpace();
          const std::size_t keyLine = line_;
          if (peek() != '"') failure_.at(line_, "expected a member name");
          keep_ = pos_;
          scanValue();
          const std::string key = parseSpan(keep_, pos_, keyLine, 1).get<std::string>();
          skipSpace();
          if (peek() != ':') failure_.at(line_, "expected ':' after a member name");
          ++pos_;
          skipSpace();
          if (key != "pose_info") {
            const std::size_t line = line_;
            keep_ = pos_;
            scanValue();
            parseSpan(keep_, pos_, line, 1);
            state_ = State::AfterMember;
            break;
          }
          if (sawPoses_) failure_.at(keyLine, "pose_info appears twice");
          sawPoses_ = true;
          if (peek() != '[') failure_.at(line_, "pose_info is not an array");
          ++pos_;
          skipSpace();
          if (peek() == ']') {
            ++pos_;
            state_ = State::AfterMember;
          } else {
            state_ = State::Poses;
          }
          break;
        }
        case State::Poses:
          if (taken_ == batch_.size() && pending_) {
            failure_.inPose(poses_);
            failure_.at(*pending_, "expected ',' or ']' after a pose");
          }
          if (taken_ < batch_.size()) {
            take(pose);
            return true;
          }
          if (after_ == ']') {
            ++pos_;
            state_ = State::AfterMember;
            break;
          }
          if (after_ != '\0') ++pos_;  // the ',' after the last batch
          readBatch();
          break;
        case State::AfterMember: {
          skipSpace();
          const char after = peek();
          if (after != ',' && after != '}') {
            failure_.at(line_, "expected ',' or '}' after a member");
          }
          ++pos_;
          // Text after the first value is not read, as readJson does not read it.
          state_ = after == '}' ? State::Done : State::Members;
          break;
        }
        case State::Done:
          return false;
      }
    }
  }

  // The whole first JSON value of the file, as the JSON library's parse gives it, read in
  // pieces: the root's members and the elements of arrays at the two outer levels in batches,
  // so that simdjson's working memory stays small whatever the file's size. Throws
  // std::runtime_error where the text may not be read so (the library's parse then decides).
  json readDocument() {
    skipSpace();
    if (have(3) && static_cast<unsigned char>(buffer_[pos_]) == 0xEF &&
        static_cast<unsigned char>(buffer_[pos_ + 1]) == 0xBB &&
        static_cast<unsigned char>(buffer_[pos_ + 2]) == 0xBF) {
      pos_ += 3;
      skipSpace();
    }
    return readValue(0);
  }

 private:
  static constexpr std::size_t kChunk = 1 << 20;
  // Poses are parsed in batches of about this many bytes: one simdjson parse per pose cost more
  // than the pose's own reading.
  static constexpr std::size_t kBatch = 1 << 18;

  struct Span {
    std::size_t begin;  // from keep_
    std::size_t end;
    std::size_t line;
  };

  // Reads the next poses of pose_info (up to about kBatch bytes) and the character after them,
  // and parses them as one array where simdjson can.
  void readBatch(std::size_t depth = 2) {
    keep_ = pos_;
    batch_.clear();
    parsed_.clear();
    taken_ = 0;
    for (;;) {
      skipSpace(false);
      const std::size_t line = line_;
      const std::size_t begin = pos_ - keep_;
      scanValue();
      batch_.push_back({begin, pos_ - keep_, line});
      skipSpace(false);
      after_ = have(1) ? buffer_[pos_] : '\0';
      if (after_ != ',' || pos_ - keep_ >= kBatch) break;
      ++pos_;
    }
    // The poses with what lies between them (commas, white space), as one array.
    const std::size_t from = batch_.front().begin;
    const std::size_t to = batch_.back().end;
    text_.assign(1, '[');
    text_.append(buffer_.data() + keep_ + from, to - from);
    text_ += ']';
    text_.resize(text_.size() + simdjson::SIMDJSON_PADDING);
    const std::size_t length = to - from + 2;
    simdjson::dom::element element;
    detail::FastBuilder builder;
    bool fast = !parser_.parse(text_.data(), length, false).get(element) &&
                element.type() == simdjson::dom::element_type::ARRAY;
    if (fast) {
      parsed_.reserve(batch_.size());
      for (const simdjson::dom::element pose : simdjson::dom::array(element)) {
        parsed_.emplace_back();
        if (!builder.build(pose, parsed_.back(), depth)) {
          fast = false;
          break;
        }
      }
      fast = fast && parsed_.size() == batch_.size() &&
             !(builder.sawZero() &&
               detail::FastBuilder::mayHoldNegativeZero(std::string_view(text_.data(), length)));
    }
    // Otherwise the poses are parsed one by one as they are taken, to name the broken one.
    if (!fast) parsed_.clear();
  }

  // The next pose of the batch; after the last one, checks what follows it.
  void take(json& pose) {
    const Span& span = batch_[taken_];
    failure_.inPose(poses_);
    if (parsed_.empty()) {
      pose = parseSpan(keep_ + span.begin, keep_ + span.end, span.line, 2);
    } else {
      pose = std::move(parsed_[taken_]);
    }
    ++taken_;
    if (taken_ == batch_.size() && after_ != ',' && after_ != ']') {
      failure_.inPose(std::nullopt);
      // Kept for the next call: this pose is handed over first.
      if (!pending_) pending_ = line_;
    }
    failure_.inPose(std::nullopt);
    ++poses_;
  }

  json readValue(std::size_t depth) {
    const char first = peek();
    if (depth < 2 && first == '{') {
      ++pos_;
      json object = json::object();
      auto& members = *object.get_ptr<json::object_t*>();
      skipSpace();
      if (peek() == '}') {
        ++pos_;
        return object;
      }
      for (;;) {
        skipSpace();
        if (peek() != '"') failure_.at(line_, "expected a member name");
        keep_ = pos_;
        scanValue();
        std::string key = parseSpan(keep_, pos_, line_, depth + 1).get<std::string>();
        skipSpace();
        if (peek() != ':') failure_.at(line_, "expected ':'");
        ++pos_;
        skipSpace();
        // A later duplicate key replaces the earlier value.
        members[std::move(key)] = readValue(depth + 1);
        skipSpace();
        const char after = peek();
        ++pos_;
        if (after == '}') return object;
        if (after != ',') failure_.at(line_, "expected ',' or '}'");
      }
    }
    if (depth < 2 && first == '[') {
      if (depth + 1 >= detail::kMaxJsonDepth) failure_.at(line_, "too deep");
      ++pos_;
      json array = json::array();
      auto& elements = *array.get_ptr<json::array_t*>();
      skipSpace();
      if (peek() == ']') {
        ++pos_;
        return array;
      }
      for (;;) {
        readBatch(depth + 1);
        if (parsed_.empty()) failure_.at(line_, "not read in batches");
        for (json& element : parsed_) elements.push_back(std::move(element));
        if (after_ == ']') {
          ++pos_;
          return array;
        }
        if (after_ != ',') failure_.at(line_, "expected ',' or ']'");
        ++pos_;
      }
    }
    const std::size_t line = line_;
    keep_ = pos_;
    scanValue();
    return parseSpan(keep_, pos_, line, depth);
  }

  // Reads another chunk, first dropping what is no longer needed (everything before keep_).
  // False at the end of the file.
  bool fill() {
    if (eof_) return false;
    const std::size_t drop = std::min(keep_, pos_);
    if (drop > 0) {
      std::memmove(buffer_.data(), buffer_.data() + drop, end_ - drop);
      end_ -= drop;
      pos_ -= drop;
      keep_ -= drop;
    }
    buffer_.resize(end_ + kChunk + simdjson::SIMDJSON_PADDING);
    const std::size_t got = std::fread(buffer_.data() + end_, 1, kChunk, file_.get());
    if (got < kChunk) {
      if (std::ferror(file_.get())) failure_.at(line_, "cannot read the file");
      eof_ = true;
    }
    end_ += got;
    return got > 0;
  }

  // True when `n` bytes from pos_ are in the buffer.
  bool have(std::size_t n) {
    while (end_ - pos_ < n) {
      if (!fill()) return false;
    }
    return true;
  }

  char peek() {
    if (!have(1)) failure_.at(line_, "unexpected end of the file");
    return buffer_[pos_];
  }

  void skipSpace(bool release = true) {
    if (release) keep_ = pos_;
    while (have(1)) {
      const char c = buffer_[pos_];
      if (c == '\n') {
        ++line_;
      } else if (c != ' ' && c != '\t' && c != '\r') {
        break;
      }
      ++pos_;
    }
    if (release) keep_ = pos_;
  }

  // Moves pos_ past the value that starts there, by its structure only (simdjson checks the
  // rest). Everything from keep_ on stays in the buffer.
  void scanValue() {
    const std::size_t firstLine = line_;
    const std::size_t start = pos_ - keep_;
    scanStructure(firstLine);
    // Lines inside values are rare (pretty-printed poses); counted in one pass.
    line_ += static_cast<std::size_t>(
        std::count(buffer_.data() + keep_ + start, buffer_.data() + pos_, '\n'));
  }

  void scanStructure(std::size_t firstLine) {
    const char first = peek();
    if (first != '{' && first != '[' && first != '"') {
      // A number or a word: its characters only (simdjson reads a lone value up to a NUL, so
      // anything else must be left for the check of what follows).
      do {
        while (pos_ < end_) {
          const char c = buffer_[pos_];
          const bool part = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                            (c >= 'A' && c <= 'Z') || c == '-' || c == '+' || c == '.';
          if (!part) return;
          ++pos_;
        }
      } while (fill());
      return;
    }
    // Only quotes, backslashes and brackets matter; lines are counted apart (linesBefore).
    static const auto kClass = [] {
      std::array<unsigned char, 256> table{};
      table[static_cast<unsigned char>('"')] = 1;
      table[static_cast<unsigned char>('\\')] = 2;
      table[static_cast<unsigned char>('{')] = 3;
      table[static_cast<unsigned char>('[')] = 3;
      table[static_cast<unsigned char>('}')] = 4;
      table[static_cast<unsigned char>(']')] = 4;
      return table;
    }();
    std::size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    for (;;) {
      const char* const data = buffer_.data();
      const char* p = data + pos_;
      const char* const end = data + end_;
      if (escaped && p != end) {
        ++p;
        escaped = false;
      }
      while (p != end) {
        const unsigned char kind = kClass[static_cast<unsigned char>(*p++)];
        if (kind == 0) continue;
        if (inString) {
          if (kind == 2) {
            if (p == end) {
              escaped = true;
              break;
            }
            ++p;
          } else if (kind == 1) {
            inString = false;
            if (depth == 0) {
              pos_ = static_cast<std::size_t>(p - data);
              return;
            }
          }
        } else if (kind == 1) {
          inString = true;
        } else if (kind == 3) {
          ++depth;
        } else if (kind == 4 && --depth == 0) {
          pos_ = static_cast<std::size_t>(p - data);
          return;
        }
      }
      pos_ = end_;
      if (!fill()) failure_.at(firstLine, "unexpected end of the file in a value");
    }
  }

  // The value in the buffer from `begin` to `end`, parsed; `depth`: the containers around it.
  json parseSpan(std::size_t begin, std::size_t end, std::size_t line, std::size_t depth) {
    const char* const text = buffer_.data() + begin;
    const std::size_t length = end - begin;
    // The buffer always holds simdjson's padding after its end.
    simdjson::dom::element element;
    json value;
    detail::FastBuilder builder;
    const bool fast = !parser_.parse(text, length, false).get(element) &&
                      builder.build(element, value, depth) &&
                      !(builder.sawZero() &&
                        detail::FastBuilder::mayHoldNegativeZero(std::string_view(text, length)));
    if (!fast) {
      // What simdjson refuses or reads otherwise (numbers beyond 64 bits, "-0", nesting
      // beyond its bound): the JSON library's parse, as readJson falls back to it.
      try {
        value = detail::parseJsonText(text, text + length, depth);
      } catch (const std::exception& e) {
        failure_.at(line, e.what());
      }
    }
    return value;
  }

  enum class State : std::uint8_t { Start, Members, Poses, AfterMember, Done };

  Failure failure_;
  std::unique_ptr<std::FILE, FileCloser> file_;
  State state_ = State::Start;
  bool sawPoses_ = false;
  std::vector<Span> batch_;             // the poses read last, from keep_
  std::vector<json> parsed_;            // ... parsed as one array, or empty
  std::size_t taken_ = 0;               // ... of which handed over
  char after_ = '\0';                   // the character after the batch
  std::optional<std::size_t> pending_;  // the line of a broken separator after the batch
  simdjson::dom::parser parser_;
  std::vector<char> buffer_ = std::vector<char>(simdjson::SIMDJSON_PADDING);
  std::string text_;      // a batch of poses as one array
  std::size_t pos_ = 0;   // the next byte
  std::size_t end_ = 0;   // the end of what was read
  std::size_t keep_ = 0;  // the first byte still needed
  bool eof_ = false;
  std::size_t line_ = 1;
  std::size_t poses_ = 0;  // handed over so far
};

std::unique_ptr<PoseCursor> openPoses(const std::string& filepath) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(filepath.c_str(), "rb"));
  // A folder opens for reading on Linux and fails on the first read.
  if (!file) throw std::runtime_error("forEachPose: cannot read " + filepath);
  const int first = std::fgetc(file.get());
  if (first == EOF && std::ferror(file.get())) {
    throw std::runtime_error("forEachPose: cannot read " + filepath);
  }
  std::rewind(file.get());
  if (endsWithJson(filepath)) return std::make_unique<JsonPoses>(filepath, std::move(file));
  return std::make_unique<YamlPoses>(filepath, std::move(file));
}

}  // namespace

namespace detail {

bool readJsonInPieces(const std::string& filepath, json& document) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(filepath.c_str(), "rb"));
  if (!file) return false;
  try {
    document = JsonPoses(filepath, std::move(file)).readDocument();
    return true;
  } catch (const std::bad_alloc&) {
    throw;  // readJson reports it as before
  } catch (const std::exception&) {
    return false;  // the JSON library's parse decides
  }
}

}  // namespace detail

std::size_t Reader::forEachPose(const std::string& filepath, const PoseVisitor& visit) {
  PoseStream poses(filepath);
  json pose;
  while (poses.next(pose)) {
    if (!visit(poses.index(), pose)) return poses.index() + 1;
  }
  return poses.count();
}

struct PoseStream::Cursor {
  std::unique_ptr<PoseCursor> cursor;
  std::size_t count = 0;
};

PoseStream::PoseStream(const std::string& filepath) : cursor_(new Cursor{openPoses(filepath), 0}) {}
PoseStream::~PoseStream() = default;
PoseStream::PoseStream(PoseStream&&) noexcept = default;
PoseStream& PoseStream::operator=(PoseStream&&) noexcept = default;

bool PoseStream::next(nlohmann::json& pose) {
  if (!cursor_->cursor->next(pose)) return false;
  ++cursor_->count;
  return true;
}

std::size_t PoseStream::index() const { return cursor_->count - 1; }
std::size_t PoseStream::count() const { return cursor_->count; }

}  // namespace nimbrel_tavik_util
