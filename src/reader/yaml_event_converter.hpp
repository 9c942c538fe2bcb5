// YAML -> JSON straight from yaml-cpp's parser events, the converter behind
// Reader::readYamlToJson. It gives what loading the node tree and converting it member by
// member gives (the same document, log lines and exceptions), without building the tree: the
// tree cost about eight times the finished document in memory and most of the time.
//
// What the tree made free and the events do not:
// - Aliases. A node reached through an alias is the anchored node itself, converted again: its
//   value is a copy of the anchor's, and the bounds (alias cycle, nesting, expansion) are
//   checked as if it were walked again. So every node below an anchor keeps its shape (kind,
//   weight, height, keys), and a repeat that might break a bound is walked on that shape to
//   find where. Documents without anchors keep nothing.
// - Order. Loading parsed the whole file before the first conversion line: the key listing
//   names every top-level key, and a parse error late in the file hides a conversion error
//   early in it. So conversion lines and the first conversion error are held until the parse
//   has ended; finish() then writes them and throws what the tree order would have thrown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <istream>
#include <streambuf>
#include <string>
#include <vector>

#include <yaml-cpp/eventhandler.h>
#include <yaml-cpp/mark.h>
#include <nlohmann/json.hpp>

namespace nimbrel_tavik_util::detail {

// yaml-cpp's scalar conversions (as<int>, as<int64_t>, as<double>, as<bool>) with their exact
// rules, on one stream reused for every attempt: yaml-cpp builds a std::stringstream per
// attempt, which took about a third of the conversion's time.
class ScalarReader {
 public:
  ScalarReader();
  ScalarReader(const ScalarReader&) = delete;
  ScalarReader& operator=(const ScalarReader&) = delete;

  // The number or boolean that `text` converts to (int, then int64 where a double would change
  // it, then double, then bool), or a discarded value when it is none of them.
  nlohmann::json numberOrBool(const std::string& text);

 private:
  // A read-only view of the text being converted, so no copy is made per attempt.
  class View : public std::streambuf {
   public:
    void show(const std::string& text);
  };

  template <typename T>
  bool extract(const std::string& text, T& value);
  bool decodeDouble(const std::string& text, double& value);
  bool quickAnswer(const std::string& text, nlohmann::json& value) const;

  View view_;
  std::istream stream_;
  // No integer extraction consumes a '.', unless the stream's locale groups digits with it.
  bool dotEndsIntegers_;
  // The stream reads numbers as the "C" locale does (no digit grouping, '.' as the decimal
  // point), so the common texts can be answered without it.
  bool plainNumbers_;
};

class YamlToJsonEvents final : public YAML::EventHandler {
 public:
  // `filepath` is named in pose_info errors and in the done line.
  explicit YamlToJsonEvents(std::string filepath);
  ~YamlToJsonEvents() override;
  YamlToJsonEvents(const YamlToJsonEvents&) = delete;
  YamlToJsonEvents& operator=(const YamlToJsonEvents&) = delete;

  void OnDocumentStart(const YAML::Mark& mark) override;
  void OnDocumentEnd() override;
  void OnNull(const YAML::Mark& mark, YAML::anchor_t anchor) override;
  void OnAlias(const YAML::Mark& mark, YAML::anchor_t anchor) override;
  void OnScalar(const YAML::Mark& mark, const std::string& tag, YAML::anchor_t anchor,
                const std::string& value) override;
  void OnSequenceStart(const YAML::Mark& mark, const std::string& tag, YAML::anchor_t anchor,
                       YAML::EmitterStyle::value style) override;
  void OnSequenceEnd() override;
  void OnMapStart(const YAML::Mark& mark, const std::string& tag, YAML::anchor_t anchor,
                  YAML::EmitterStyle::value style) override;
  void OnMapEnd() override;

  // The root's YAML::NodeType value (Null for a file without documents).
  unsigned rootType() const;

  // Call once the parse has ended without an error: writes the held lines, then throws the
  // held error or returns the document.
  nlohmann::json finish();

 private:
  enum class Kind : std::uint8_t { Null, Scalar, Sequence, Map };
  // How a container wraps the errors of its members: as any sequence or map; as readYamlToJson's
  // root map (not at all); as its pose_info sequence ("Failed converting pose_info[i] in ...").
  enum class Role : std::uint8_t { Plain, FileRoot, Poses };

  // The shape of a converted node below an anchor: what walking it again would count.
  struct Shape {
    bool container = false;
    bool map = false;
    std::uint32_t height = 0;  // containers on the longest way down, this one included
    std::uint64_t weight = 1;  // units of the whole subtree, repeats included (saturating)
    std::vector<const Shape*> children;
    std::vector<std::string> keys;  // maps: the key of each child
  };

  struct Anchor {
    Kind kind = Kind::Null;
    YAML::Mark mark;        // where a key error through an alias points
    std::string text;       // scalars
    bool open = false;      // a container whose end has not come yet
    std::size_t frame = 0;  // ... and its frame
    bool visited = false;   // a scalar of several units, converted as a value once
    const Shape* shape = nullptr;
    bool hasValue = false;
    nlohmann::json value;  // the converted value, copied for each alias
  };

  // An open container of the first walk.
  struct Frame {
    Kind kind = Kind::Sequence;
    Role role = Role::Plain;
    bool keyDone = false;    // maps: the current entry's key has been read
    std::size_t index = 0;   // sequences: elements before the current one
    std::string key;         // maps: the current entry's key
    nlohmann::json value;    // the array or object so far (nothing after a failure)
    Shape* shape = nullptr;  // kept when the container lies below an anchor
    YAML::anchor_t anchor = 0;
    std::size_t block = 0;  // Poses: its entry in blocks_
  };

  // A held line, or the place of a pose_info block's lines.
  struct Held {
    std::string line;
    std::size_t block;
  };
  struct Block {
    std::size_t count = 0;
    std::size_t failedAt = static_cast<std::size_t>(-1);
    bool enterFailed = false;
  };

  static unsigned typeOf(Kind kind);  // the YAML::NodeType value

  enum class Slot : std::uint8_t { Root, Element, Key, Value };
  Slot slot() const;
  void advance();
  void leaf(Kind kind, const YAML::Mark& mark, YAML::anchor_t anchor, const std::string& text);
  void open(Kind kind, const YAML::Mark& mark, YAML::anchor_t anchor);
  void close();
  Anchor& noteAnchor(YAML::anchor_t anchor, Kind kind, const YAML::Mark& mark,
                     const std::string& text);

  void readKey(const std::string& text);
  void keyNotText(const YAML::Mark& mark);
  Role beginValue(Kind kind);
  void convertLeaf(Kind kind, const std::string& text, YAML::anchor_t anchor);
  void convertAlias(Anchor& target);
  void convertPoseInfoAlias(const Anchor& target, std::size_t block);
  bool scalarValue(const std::string& text, nlohmann::json& value);
  void place(nlohmann::json&& value, const Shape* shape);
  const Shape* leafShape(std::uint64_t units);

  std::uint64_t repeatLimit() const;
  bool countRepeat(std::uint64_t units);
  bool repeatContainer(const Shape& shape);
  void walk(const Shape& shape, std::string& path, std::size_t depth, std::uint64_t limit);

  std::string pathTo(std::size_t frames) const;
  void failHere(std::string message);
  void fail(std::string message, std::size_t wrappingFrames);
  void failBadConversion(const YAML::Mark& mark);

  std::string filepath_;
  ScalarReader scalars_;
  std::vector<Frame> frames_;    // outermost first
  std::vector<Anchor> anchors_;  // by yaml-cpp's anchor number (from 1)
  std::deque<Shape> shapes_;     // owns every Shape; stable addresses
  std::size_t recording_ = 0;    // open frames that keep a shape
  nlohmann::json result_;
  bool sawRoot_ = false;
  Kind rootKind_ = Kind::Null;
  bool mapRoot_ = false;

  std::vector<std::string> listing_;  // readYamlToJson's top-level keys, all of them
  std::vector<Held> held_;
  std::vector<Block> blocks_;

  // The bounds, counted as the node-tree converter counts them.
  std::uint64_t distinct_ = 0;
  std::uint64_t repeated_ = 0;

  bool failed_ = false;
  bool errorIsBadConversion_ = false;
  YAML::Mark errorMark_;
  std::string errorMessage_;
};

// readYamlToJson's conversion read by yaml-cpp's parser (after "readYamlToJson: begin"): the
// way every file was read before libyaml, and still the way for the files libyaml cannot vouch
// for.
nlohmann::json readYamlToJsonWithYamlCpp(const std::string& filepath);

}  // namespace nimbrel_tavik_util::detail
