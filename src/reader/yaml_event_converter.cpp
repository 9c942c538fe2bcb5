#include "reader/yaml_event_converter.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <ios>
#include <limits>
#include <locale>
#include <stdexcept>
#include <utility>

#include <yaml-cpp/exceptions.h>
#include <yaml-cpp/node/convert.h>
#include <yaml-cpp/node/type.h>

#include "nimbrel_tavik_util/logger.hpp"
#include "reader/yaml_convert_common.hpp"

namespace nimbrel_tavik_util::detail {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
  return a > std::numeric_limits<std::uint64_t>::max() - b
             ? std::numeric_limits<std::uint64_t>::max()
             : a + b;
}

// yaml-cpp's boolean spellings: y/n, yes/no, true/false, on/off, each in lower case, UPPER case
// or Capitalised.
bool decodeBool(const std::string& text, bool& value) {
  static constexpr std::size_t kLongest = 5;  // "false"
  if (text.empty() || text.size() > kLongest) return false;
  auto lower = [](char c) { return c >= 'a' && c <= 'z'; };
  auto upper = [](char c) { return c >= 'A' && c <= 'Z'; };
  const bool allLower = std::all_of(text.begin(), text.end(), lower);
  if (!allLower) {
    const bool restLower = std::all_of(text.begin() + 1, text.end(), lower);
    const bool restUpper = std::all_of(text.begin() + 1, text.end(), upper);
    if (!upper(text[0]) || !(restLower || restUpper)) return false;
  }
  std::string folded = text;
  for (char& c : folded) {
    if (upper(c)) c = static_cast<char>(c - 'A' + 'a');
  }
  static const char* const kTrue[] = {"y", "yes", "true", "on"};
  static const char* const kFalse[] = {"n", "no", "false", "off"};
  for (std::size_t i = 0; i < 4; ++i) {
    if (folded == kTrue[i]) {
      value = true;
      return true;
    }
    if (folded == kFalse[i]) {
      value = false;
      return true;
    }
  }
  return false;
}

}  // namespace

// --- ScalarReader ------------------------------------------------------------------------------

void ScalarReader::View::show(const std::string& text) {
  // Only ever read: the stream never writes or puts back into this area.
  char* begin = const_cast<char*>(text.data());
  setg(begin, begin, begin + text.size());
}

ScalarReader::ScalarReader() : stream_(&view_) {
  // The stream takes the global locale now, as yaml-cpp's stream does per attempt.
  const auto& punctuation = std::use_facet<std::numpunct<char>>(stream_.getloc());
  dotEndsIntegers_ = punctuation.grouping().empty() || punctuation.thousands_sep() != '.';
  plainNumbers_ = punctuation.grouping().empty() && punctuation.decimal_point() == '.';
}

// yaml-cpp's ConvertStreamTo: the stream starts with no base (so 0x and leading-0 octal are
// read), skips no leading white space, and must reach the end after trailing white space.
template <typename T>
bool ScalarReader::extract(const std::string& text, T& value) {
  view_.show(text);
  stream_.clear();
  stream_.flags(std::ios_base::fmtflags());
  return (stream_ >> value) && (stream_ >> std::ws).eof();
}

bool ScalarReader::decodeDouble(const std::string& text, double& value) {
  if (extract(text, value)) return true;
  if (YAML::conversion::IsInfinity(text)) {
    value = std::numeric_limits<double>::infinity();
    return true;
  }
  if (YAML::conversion::IsNegativeInfinity(text)) {
    value = -std::numeric_limits<double>::infinity();
    return true;
  }
  if (YAML::conversion::IsNaN(text)) {
    value = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  return false;
}

// What the attempts below give for the texts of most files, without the stream (each attempt
// through it costs more than a whole libyaml event): decimal integers without a leading zero,
// decimal fractions that neither overflow nor underflow, and words that start with a letter
// (never a number, nor an infinity or NaN, which start with '.' or a sign). False leaves the
// text to the attempts.
bool ScalarReader::quickAnswer(const std::string& text, nlohmann::json& value) const {
  if (!plainNumbers_ || text.empty()) return false;
  const char* p = text.data();
  const char* const end = p + text.size();
  const char first = *p;
  if ((first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z')) {
    bool asBool = false;
    if (decodeBool(text, asBool)) {
      value = asBool;
    } else {
      value = nlohmann::json(nlohmann::json::value_t::discarded);
    }
    return true;
  }
  const bool negative = first == '-';
  if (negative) ++p;
  const char* const digits = p;
  while (p != end && *p >= '0' && *p <= '9') ++p;
  const std::size_t whole = static_cast<std::size_t>(p - digits);
  if (whole == 0) return false;
  if (p == end) {
    // An integer: leading zeros mean octal; 18 digits always fit in 64 bits.
    if ((whole > 1 && *digits == '0') || whole > 18) return false;
    std::int64_t magnitude = 0;
    for (const char* d = digits; d != end; ++d) magnitude = magnitude * 10 + (*d - '0');
    const std::int64_t asInt64 = negative ? -magnitude : magnitude;
    if (asInt64 >= std::numeric_limits<int>::min() && asInt64 <= std::numeric_limits<int>::max()) {
      value = static_cast<int>(asInt64);
      return true;
    }
    // Too wide for int: the double (correctly rounded, as the stream's is) when it is exact.
    const auto asDouble = static_cast<double>(asInt64);
    if (doubleHoldsExactly(asDouble, asInt64)) {
      value = asDouble;
    } else {
      value = asInt64;
    }
    return true;
  }
  if (*p != '.' || !dotEndsIntegers_) return false;
  ++p;
  const char* const fraction = p;
  while (p != end && *p >= '0' && *p <= '9') ++p;
  if (p == fraction) return false;
  if (p != end && (*p == 'e' || *p == 'E')) {
    ++p;
    if (p != end && (*p == '-' || *p == '+')) ++p;
    const char* const exponent = p;
    while (p != end && *p >= '0' && *p <= '9') ++p;
    if (p == exponent) return false;
  }
  if (p != end) return false;
  double asDouble = 0.0;
  const auto parsed = std::from_chars(text.data(), end, asDouble);
  if (parsed.ec != std::errc() || parsed.ptr != end) return false;
  // Underflow and zero are told apart by the digits; the stream's rules there are its own.
  if (!std::isnormal(asDouble)) return false;
  value = asDouble;
  return true;
}

// The order and the 64-bit rule of the node-tree converter (yaml_node_converter.hpp).
nlohmann::json ScalarReader::numberOrBool(const std::string& text) {
  if (nlohmann::json quick; quickAnswer(text, quick)) return quick;
  bool isInt64 = false;
  std::int64_t asInt64 = 0;
  if (!dotEndsIntegers_ || text.find('.') == std::string::npos) {
    int asInt = 0;
    if (extract(text, asInt)) return asInt;
    isInt64 = extract(text, asInt64);
  }
  double asDouble = 0.0;
  if (decodeDouble(text, asDouble) && (!isInt64 || doubleHoldsExactly(asDouble, asInt64))) {
    return asDouble;
  }
  if (isInt64) return asInt64;
  bool asBool = false;
  if (decodeBool(text, asBool)) return asBool;
  return nlohmann::json(nlohmann::json::value_t::discarded);
}

// --- YamlToJsonEvents: events ------------------------------------------------------------------

YamlToJsonEvents::YamlToJsonEvents(std::string filepath) : filepath_(std::move(filepath)) {
  frames_.reserve(16);
}

YamlToJsonEvents::~YamlToJsonEvents() = default;

void YamlToJsonEvents::OnDocumentStart(const YAML::Mark& /*mark*/) {}
void YamlToJsonEvents::OnDocumentEnd() {}

void YamlToJsonEvents::OnNull(const YAML::Mark& mark, YAML::anchor_t anchor) {
  static const std::string kNoText;
  leaf(Kind::Null, mark, anchor, kNoText);
}

void YamlToJsonEvents::OnScalar(const YAML::Mark& mark, const std::string& /*tag*/,
                                YAML::anchor_t anchor, const std::string& value) {
  // The tag is not consulted, as the node-tree converter does not consult it.
  leaf(Kind::Scalar, mark, anchor, value);
}

void YamlToJsonEvents::OnSequenceStart(const YAML::Mark& mark, const std::string& /*tag*/,
                                       YAML::anchor_t anchor, YAML::EmitterStyle::value) {
  open(Kind::Sequence, mark, anchor);
}

void YamlToJsonEvents::OnMapStart(const YAML::Mark& mark, const std::string& /*tag*/,
                                  YAML::anchor_t anchor, YAML::EmitterStyle::value) {
  open(Kind::Map, mark, anchor);
}

void YamlToJsonEvents::OnSequenceEnd() { close(); }
void YamlToJsonEvents::OnMapEnd() { close(); }

void YamlToJsonEvents::OnAlias(const YAML::Mark& /*mark*/, YAML::anchor_t anchor) {
  // yaml-cpp's parser refuses an alias whose anchor it has not seen.
  Anchor& target = anchors_.at(anchor);
  if (slot() == Slot::Key) {
    if (target.kind == Kind::Scalar) {
      readKey(target.text);
    } else if (target.kind == Kind::Null) {
      readKey("null");
    } else {
      keyNotText(target.mark);
    }
  } else if (!failed_) {
    convertAlias(target);
  }
  advance();
}

unsigned YamlToJsonEvents::rootType() const { return typeOf(rootKind_); }

unsigned YamlToJsonEvents::typeOf(Kind kind) {
  switch (kind) {
    case Kind::Scalar:
      return YAML::NodeType::Scalar;
    case Kind::Sequence:
      return YAML::NodeType::Sequence;
    case Kind::Map:
      return YAML::NodeType::Map;
    default:
      return YAML::NodeType::Null;
  }
}

// --- structure: kept after a failure too, for the key listing and pose_info's count ----------

YamlToJsonEvents::Slot YamlToJsonEvents::slot() const {
  if (frames_.empty()) return Slot::Root;
  const Frame& frame = frames_.back();
  if (frame.kind == Kind::Sequence) return Slot::Element;
  return frame.keyDone ? Slot::Value : Slot::Key;
}

// The node in the current slot is complete.
void YamlToJsonEvents::advance() {
  if (frames_.empty()) return;
  Frame& frame = frames_.back();
  if (frame.kind == Kind::Sequence) {
    ++frame.index;
  } else {
    frame.keyDone = !frame.keyDone;
  }
}

YamlToJsonEvents::Anchor& YamlToJsonEvents::noteAnchor(YAML::anchor_t anchor, Kind kind,
                                                       const YAML::Mark& mark,
                                                       const std::string& text) {
  if (anchors_.size() <= anchor) anchors_.resize(anchor + 1);
  Anchor& noted = anchors_[anchor];
  noted = Anchor();
  noted.kind = kind;
  noted.mark = mark;
  noted.text = text;
  return noted;
}

void YamlToJsonEvents::leaf(Kind kind, const YAML::Mark& mark, YAML::anchor_t anchor,
                            const std::string& text) {
  if (anchor != 0) {
    Anchor& noted = noteAnchor(anchor, kind, mark, text);
    if (!failed_) noted.shape = leafShape(kind == Kind::Null ? 1 : leafUnits(text.size()));
  }
  if (!sawRoot_) {
    sawRoot_ = true;
    rootKind_ = kind;
  }
  if (slot() == Slot::Key) {
    readKey(kind == Kind::Null ? std::string("null") : text);
  } else if (!failed_) {
    convertLeaf(kind, text, anchor);
  }
  advance();
}

void YamlToJsonEvents::open(Kind kind, const YAML::Mark& mark, YAML::anchor_t anchor) {
  if (anchor != 0) {
    Anchor& noted = noteAnchor(anchor, kind, mark, std::string());
    noted.open = true;
    noted.frame = frames_.size();
  }
  if (!sawRoot_) {
    sawRoot_ = true;
    rootKind_ = kind;
  }
  Role role = Role::Plain;
  if (slot() == Slot::Key) {
    keyNotText(mark);
  } else if (!failed_) {
    role = beginValue(kind);
    ++distinct_;
    if (frames_.size() == kMaxDepth) failHere(nestingMessage(pathTo(frames_.size())));
  }
  const bool keepShape = !failed_ && (anchor != 0 || recording_ > 0);
  frames_.emplace_back();
  Frame& frame = frames_.back();
  frame.kind = kind;
  frame.role = role;
  frame.anchor = anchor;
  if (role == Role::Poses) frame.block = blocks_.size() - 1;
  if (!failed_) {
    frame.value = kind == Kind::Map ? nlohmann::json::object() : nlohmann::json::array();
  }
  if (keepShape) {
    shapes_.emplace_back();
    frame.shape = &shapes_.back();
    frame.shape->container = true;
    frame.shape->map = kind == Kind::Map;
    ++recording_;
  }
}

void YamlToJsonEvents::close() {
  Frame frame = std::move(frames_.back());
  frames_.pop_back();
  if (frame.shape != nullptr) --recording_;
  if (frame.anchor != 0) anchors_[frame.anchor].open = false;
  if (frame.role == Role::Poses) blocks_[frame.block].count = frame.index;
  if (!failed_) {
    if (frame.role == Role::FileRoot) held_.push_back({"readYamlToJson: done " + filepath_, kNone});
    if (Shape* shape = frame.shape) {
      for (const Shape* child : shape->children) {
        shape->weight = saturatingAdd(shape->weight, child->weight);
        shape->height = std::max(shape->height, child->height + 1);
      }
      shape->height = std::max<std::uint32_t>(shape->height, 1);
    }
    if (frame.anchor != 0) {
      Anchor& anchor = anchors_[frame.anchor];
      anchor.shape = frame.shape;
      anchor.value = frame.value;
      anchor.hasValue = true;
    }
    place(std::move(frame.value), frame.shape);
  }
  advance();
}

// --- conversion ---------------------------------------------------------------------------------

// A key that is a scalar (or null, read as "null"). The tree converter reads it before the
// value; an error here is its "Failed reading map key".
void YamlToJsonEvents::readKey(const std::string& text) {
  Frame& frame = frames_.back();
  if (frame.role == Role::FileRoot) listing_.push_back(text);
  if (failed_) return;
  const std::size_t bad = invalidUtf8At(text);
  if (bad != kValidUtf8) {
    fail("Failed reading map key at " + pathTo(frames_.size() - 1) + ": " + invalidUtf8Reason(bad),
         frames_.size() - 1);
    return;
  }
  frame.key = text;
}

// A key that is a sequence or a map: yaml-cpp's as<std::string>() refuses it at its mark.
void YamlToJsonEvents::keyNotText(const YAML::Mark& mark) {
  Frame& frame = frames_.back();
  if (frame.role == Role::FileRoot) listing_.push_back("<non-string-key>");
  if (failed_) return;
  if (frame.role == Role::FileRoot) {
    failBadConversion(mark);  // readYamlToJson lets yaml-cpp's own exception through
    return;
  }
  const YAML::TypedBadConversion<std::string> refused(mark);
  fail("Failed reading map key at " + pathTo(frames_.size() - 1) + ": " + innerText(refused),
       frames_.size() - 1);
}

// A value is about to be converted in the current slot: the lines readYamlToJson writes
// before converting it, and the role a container gets there.
YamlToJsonEvents::Role YamlToJsonEvents::beginValue(Kind kind) {
  if (frames_.empty()) {
    if (kind == Kind::Map) {
      mapRoot_ = true;
      return Role::FileRoot;
    }
    held_.push_back({"readYamlToJson: non-map root, converting whole document", kNone});
    return Role::Plain;
  }
  const Frame& parent = frames_.back();
  if (parent.role != Role::FileRoot) return Role::Plain;
  if (parent.key == "pose_info" && kind == Kind::Sequence) {
    blocks_.emplace_back();
    held_.push_back({std::string(), blocks_.size() - 1});
    return Role::Poses;
  }
  held_.push_back({"readYamlToJson: converting top-level key '" + parent.key + "' of type " +
                       nodeTypeToString(typeOf(kind)),
                   kNone});
  return Role::Plain;
}

void YamlToJsonEvents::convertLeaf(Kind kind, const std::string& text, YAML::anchor_t anchor) {
  beginValue(kind);
  const std::uint64_t units = kind == Kind::Null ? 1 : leafUnits(text.size());
  distinct_ += units;
  nlohmann::json value;
  if (kind == Kind::Scalar && !scalarValue(text, value)) return;
  const Shape* shape = nullptr;
  if (anchor != 0) {
    Anchor& noted = anchors_[anchor];
    noted.visited = units > 1;
    noted.value = value;
    noted.hasValue = true;
    shape = noted.shape;
  } else if (recording_ > 0) {
    shape = leafShape(units);
  }
  place(std::move(value), shape);
}

void YamlToJsonEvents::convertAlias(Anchor& target) {
  if (!frames_.empty() && frames_.back().role == Role::FileRoot &&
      frames_.back().key == "pose_info" && target.kind == Kind::Sequence) {
    beginValue(Kind::Sequence);
    convertPoseInfoAlias(target, blocks_.size() - 1);
    return;
  }
  beginValue(target.kind);
  switch (target.kind) {
    case Kind::Null:
      ++distinct_;  // one unit: counted as new, like the tree converter's unremembered leaves
      break;
    case Kind::Scalar: {
      const std::uint64_t units = leafUnits(target.text.size());
      if (units > 1 && target.visited) {
        if (!countRepeat(units)) return;
      } else {
        distinct_ += units;
        target.visited = units > 1;
      }
      if (!target.hasValue) {
        if (!scalarValue(target.text, target.value)) return;
        target.hasValue = true;
      }
      break;
    }
    default:
      if (target.open) {
        failHere(cycleMessage(pathTo(frames_.size()), pathTo(target.frame)));
        return;
      }
      if (!repeatContainer(*target.shape)) return;
      break;
  }
  place(nlohmann::json(target.value), target.shape);
}

// pose_info given as an alias of a sequence: its lines and errors as for one written out, its
// elements repeats of the anchor's.
void YamlToJsonEvents::convertPoseInfoAlias(const Anchor& target, std::size_t block) {
  const Shape& shape = *target.shape;
  blocks_[block].count = shape.children.size();
  const std::uint64_t limit = repeatLimit();
  if (shape.weight <= limit - repeated_ && 1 + shape.height <= kMaxDepth) {
    repeated_ += shape.weight;
  } else {
    const std::string path = pathTo(frames_.size());
    if (!countRepeat(1)) {
      blocks_[block].enterFailed = true;
      return;
    }
    for (std::size_t i = 0; i < shape.children.size(); ++i) {
      std::string elementPath = path + "[" + std::to_string(i) + "]";
      try {
        walk(*shape.children[i], elementPath, 2, limit);
      } catch (const std::runtime_error& e) {
        blocks_[block].failedAt = i;
        fail("Failed converting pose_info[" + std::to_string(i) + "] in " + filepath_ + ": " +
                 innerText(e),
             0);
        return;
      }
    }
  }
  place(nlohmann::json(target.value), target.shape);
}

// A string, number or boolean; false after a failure (a string that is not valid UTF-8).
bool YamlToJsonEvents::scalarValue(const std::string& text, nlohmann::json& value) {
  value = scalars_.numberOrBool(text);
  if (!value.is_discarded()) return true;
  const std::size_t bad = invalidUtf8At(text);
  if (bad != kValidUtf8) {
    failHere("Failed to convert scalar at " + pathTo(frames_.size()) + ": " +
             invalidUtf8Reason(bad));
    return false;
  }
  value = text;
  return true;
}

void YamlToJsonEvents::place(nlohmann::json&& value, const Shape* shape) {
  if (frames_.empty()) {
    result_ = std::move(value);
    return;
  }
  Frame& frame = frames_.back();
  if (frame.shape != nullptr) {
    frame.shape->children.push_back(shape);
    if (frame.kind == Kind::Map) frame.shape->keys.push_back(frame.key);
  }
  if (frame.kind == Kind::Sequence) {
    frame.value.get_ref<nlohmann::json::array_t&>().push_back(std::move(value));
  } else {
    // A later duplicate key replaces the earlier value, as in the tree converter.
    frame.value.get_ref<nlohmann::json::object_t&>().insert_or_assign(std::move(frame.key),
                                                                      std::move(value));
  }
}

const YamlToJsonEvents::Shape* YamlToJsonEvents::leafShape(std::uint64_t units) {
  static const Shape kUnit{};
  if (units == 1) return &kUnit;
  shapes_.emplace_back();
  shapes_.back().weight = units;
  return &shapes_.back();
}

// --- the bounds ----------------------------------------------------------------------------------

std::uint64_t YamlToJsonEvents::repeatLimit() const {
  return std::max(kRepeatFloor, kRepeatRatio * distinct_);
}

// A repeated leaf or container at the current slot.
bool YamlToJsonEvents::countRepeat(std::uint64_t units) {
  repeated_ += units;
  const std::uint64_t limit = repeatLimit();
  if (repeated_ <= limit) return true;
  failHere(limitMessage(pathTo(frames_.size()), limit));
  return false;
}

// A container reached again through an alias, at the current slot. When the whole repeat fits
// the bounds it is counted at once; otherwise it is walked to find the node where the tree
// converter stops, and that node's message.
bool YamlToJsonEvents::repeatContainer(const Shape& shape) {
  const std::uint64_t limit = repeatLimit();
  if (shape.weight <= limit - repeated_ && frames_.size() + shape.height <= kMaxDepth) {
    repeated_ += shape.weight;
    return true;
  }
  std::string path = pathTo(frames_.size());
  try {
    walk(shape, path, frames_.size(), limit);
  } catch (const std::runtime_error& e) {
    failHere(e.what());
    return false;
  }
  return true;
}

// What converting a repeat does to the bounds, node by node (the limit stays fixed while only
// repeats are counted); throws the message the tree converter would throw, wrapped the same way.
void YamlToJsonEvents::walk(const Shape& shape, std::string& path, std::size_t depth,
                            std::uint64_t limit) {
  if (!shape.container) {
    repeated_ += shape.weight;
    if (repeated_ > limit) throw std::runtime_error(limitMessage(path, limit));
    return;
  }
  if (++repeated_ > limit) throw std::runtime_error(limitMessage(path, limit));
  if (depth == kMaxDepth) throw std::runtime_error(nestingMessage(path));
  for (std::size_t i = 0; i < shape.children.size(); ++i) {
    const std::size_t base = path.size();
    const std::string index = std::to_string(i);
    if (shape.map) {
      path += "." + shape.keys[i];
    } else {
      path += "[" + index + "]";
    }
    try {
      walk(*shape.children[i], path, depth + 1, limit);
    } catch (const std::runtime_error& e) {
      path.resize(base);
      if (shape.map) {
        throw std::runtime_error("Failed converting key '" + shape.keys[i] + "' at " + path + ": " +
                                 innerText(e));
      }
      throw std::runtime_error("Failed converting sequence item at " + path + "[" + index +
                               "]: " + innerText(e));
    }
    path.resize(base);
  }
}

// --- failures ------------------------------------------------------------------------------------

// The path of the node in the slot of frame `frames` - 1 (pathTo(0) is the root, "$"), that is
// the path of frame `frames` when that frame exists.
std::string YamlToJsonEvents::pathTo(std::size_t frames) const {
  std::string path = "$";
  for (std::size_t j = 0; j < frames; ++j) {
    const Frame& frame = frames_[j];
    if (frame.kind == Kind::Sequence) {
      path += "[" + std::to_string(frame.index) + "]";
    } else {
      path += "." + frame.key;
    }
  }
  return path;
}

// A failure of the node in the current slot.
void YamlToJsonEvents::failHere(std::string message) { fail(std::move(message), frames_.size()); }

// Records the first failure: `message` as the node below frame `wrappingFrames` - 1 throws it,
// wrapped by that frame and each one above, as the tree converter's levels wrap it.
void YamlToJsonEvents::fail(std::string message, std::size_t wrappingFrames) {
  std::vector<std::size_t> ends(wrappingFrames + 1);
  const std::string path = pathTo(wrappingFrames);
  // ends[j]: the length of frame j's own path within `path`.
  std::size_t length = 1;
  for (std::size_t j = 0; j < wrappingFrames; ++j) {
    ends[j] = length;
    const Frame& frame = frames_[j];
    length += frame.kind == Kind::Sequence ? std::to_string(frame.index).size() + 2
                                           : frame.key.size() + 1;
  }
  for (std::size_t j = wrappingFrames; j-- > 0;) {
    const Frame& frame = frames_[j];
    const std::string index = std::to_string(frame.index);
    switch (frame.role) {
      case Role::FileRoot:
        break;
      case Role::Poses:
        blocks_[frame.block].failedAt = frame.index;
        message = "Failed converting pose_info[" + index + "] in " + filepath_ + ": " +
                  innerText(message);
        break;
      case Role::Plain:
        if (frame.kind == Kind::Sequence) {
          message = "Failed converting sequence item at " + path.substr(0, ends[j]) + "[" + index +
                    "]: " + innerText(message);
        } else {
          message = "Failed converting key '" + frame.key + "' at " + path.substr(0, ends[j]) +
                    ": " + innerText(message);
        }
        break;
    }
  }
  errorMessage_ = std::move(message);
  failed_ = true;
  // Nothing converted is needed any more; the parse may still have far to go.
  result_ = nullptr;
  for (Frame& frame : frames_) {
    frame.value = nullptr;
    frame.shape = nullptr;
  }
  for (Anchor& anchor : anchors_) {
    anchor.value = nullptr;
    anchor.shape = nullptr;
  }
  shapes_.clear();
  recording_ = 0;
}

void YamlToJsonEvents::failBadConversion(const YAML::Mark& mark) {
  fail(std::string(), 0);
  errorIsBadConversion_ = true;
  errorMark_ = mark;
}

// --- the end
// ---------------------------------------------------------------------------------------

nlohmann::json YamlToJsonEvents::finish() {
  if (!sawRoot_) {
    held_.push_back({"readYamlToJson: non-map root, converting whole document", kNone});
  }
  if (mapRoot_) {
    std::string names;
    for (std::size_t i = 0; i < listing_.size(); ++i) {
      if (i > 0) names += ", ";
      names += listing_[i];
    }
    Logger::info("readYamlToJson: top-level keys (" + std::to_string(listing_.size()) + "): [" +
                 names + "]");
  }
  for (const Held& held : held_) {
    if (held.block == kNone) {
      Logger::info(held.line);
      continue;
    }
    const Block& block = blocks_[held.block];
    const std::string count = std::to_string(block.count);
    Logger::info("readYamlToJson: converting key 'pose_info' as segmented sequence, count=" +
                 count);
    if (block.enterFailed) break;
    const std::size_t last = block.failedAt != kNone ? block.failedAt + 1 : block.count;
    for (std::size_t i = 0; i < last; ++i) {
      if (i == 0 || (i + 1) % 50 == 0 || i + 1 == block.count) {
        Logger::info("readYamlToJson: converting pose_info progress " + std::to_string(i + 1) +
                     "/" + count);
      }
    }
    if (block.failedAt != kNone) break;
    Logger::info("readYamlToJson: key 'pose_info' converted successfully");
  }
  if (failed_) {
    if (errorIsBadConversion_) throw YAML::TypedBadConversion<std::string>(errorMark_);
    throw std::runtime_error(errorMessage_);
  }
  return std::move(result_);
}

}  // namespace nimbrel_tavik_util::detail
