#include "reader/yaml_libyaml.hpp"

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <yaml-cpp/emitterstyle.h>
#include <yaml-cpp/mark.h>

namespace nimbrel_tavik_util::detail {

LibyamlParser::LibyamlParser(std::FILE* file) {
  yaml_parser_initialize(&parser_);
  yaml_parser_set_input_file(&parser_, file);
}

LibyamlParser::LibyamlParser(yaml_read_handler_t* read, void* data) {
  yaml_parser_initialize(&parser_);
  yaml_parser_set_input(&parser_, read, data);
}

LibyamlParser::~LibyamlParser() {
  if (holding_) yaml_event_delete(&event_);
  yaml_parser_delete(&parser_);
}

const yaml_event_t* LibyamlParser::next() {
  if (holding_) yaml_event_delete(&event_);
  holding_ = false;
  if (yaml_parser_parse(&parser_, &event_) == 0) return nullptr;
  holding_ = true;
  return &event_;
}

std::string LibyamlParser::problem() const {
  std::string text = parser_.problem != nullptr ? parser_.problem : "unknown problem";
  if (parser_.context != nullptr) text = std::string(parser_.context) + ": " + text;
  return text + " at line " + std::to_string(parser_.problem_mark.line + 1) + ", column " +
         std::to_string(parser_.problem_mark.column + 1);
}

bool wideEncoding(std::FILE* file) {
  unsigned char head[4] = {1, 1, 1, 1};
  const std::size_t n = std::fread(head, 1, sizeof head, file);
  std::rewind(file);
  for (std::size_t i = 0; i < n; ++i) {
    if (head[i] == 0) return true;
  }
  return n >= 2 && ((head[0] == 0xFE && head[1] == 0xFF) || (head[0] == 0xFF && head[1] == 0xFE));
}

namespace {

// libyaml's input: the file, noting whether it holds a '?', a '|' or a '>' at all (block scalars
// and their indicators in plain text are read differently), or a carriage return that does not
// end a line with a line feed (the parsers break lines differently there).
struct Input {
  std::FILE* file;
  bool unsure;  // seen either
};

bool loneCarriageReturn(const unsigned char* bytes, std::size_t size) {
  const auto* end = bytes + size;
  for (const auto* at = bytes; (at = static_cast<const unsigned char*>(std::memchr(
                                    at, '\r', static_cast<std::size_t>(end - at)))) != nullptr;
       ++at) {
    if (at + 1 == end || at[1] != '\n') return true;  // a pair split by the chunk counts too
  }
  return false;
}

int readChunk(void* data, unsigned char* buffer, std::size_t size, std::size_t* read) {
  auto* input = static_cast<Input*>(data);
  *read = std::fread(buffer, 1, size, input->file);
  if (*read < size && std::ferror(input->file)) return 0;
  if (!input->unsure &&
      (std::memchr(buffer, '?', *read) != nullptr || std::memchr(buffer, '|', *read) != nullptr ||
       std::memchr(buffer, '>', *read) != nullptr || loneCarriageReturn(buffer, *read))) {
    input->unsure = true;
  }
  return 1;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Anchor names both parsers end at the same place (yaml-cpp ends a name at a ':', libyaml does
// not).
bool plainAnchorName(const yaml_char_t* name) {
  for (const yaml_char_t* c = name; *c != 0; ++c) {
    const bool word = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') ||
                      (*c >= '0' && *c <= '9') || *c == '_' || *c == '-';
    if (!word) return false;
  }
  return true;
}

// True when the first line that is neither blank nor a comment starts with '%': a directive,
// which libyaml may skip without a trace where yaml-cpp refuses it. Rewinds the file.
bool startsWithDirective(std::FILE* file) {
  bool lineStart = true;
  bool comment = false;
  int c = 0;
  while ((c = std::fgetc(file)) != EOF) {
    if (c == '\n') {
      lineStart = true;
      comment = false;
      continue;
    }
    if (comment || c == ' ' || c == '\t' || c == '\r') continue;
    if (c == '#') {
      comment = true;
      continue;
    }
    if (c == 0xEF && lineStart) continue;  // the UTF-8 byte order mark, EF BB BF
    if ((c == 0xBB || c == 0xBF) && lineStart) continue;
    std::rewind(file);
    return c == '%';
  }
  std::rewind(file);
  return false;
}

// The plain scalars yaml-cpp reports as null.
bool nullWord(const char* text, std::size_t length) {
  const std::string_view word(text, length);
  return word.empty() || word == "~" || word == "null" || word == "Null" || word == "NULL";
}

}  // namespace

bool feedLibyamlEvents(const std::string& filepath, YAML::EventHandler& handler) {
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(filepath.c_str(), "rb"));
  if (!file || wideEncoding(file.get()) || std::ferror(file.get()) ||
      startsWithDirective(file.get())) {
    return false;
  }
  Input input{file.get(), false};
  LibyamlParser parser(&readChunk, &input);

  // Where the two parsers are known to part ways (found by running both over the YAML test
  // suite, the fuzz regressions and yaml_file_fuzzer), libyaml is not trusted with the file:
  // explicit tags (yaml-cpp refuses some that libyaml takes), scalars over several lines (their
  // folding and acceptance differ), a '?' anywhere in the file (the parsers read it differently
  // in flow collections and at the end of a file, and the events do not show where it was), a
  // carriage return without a line feed after it,
  // anchors named with other characters than letters, digits, '_' and '-', a plain scalar that
  // starts with ':' or an empty one with an anchor (libyaml ends the anchor's name early),
  // flow collections over several lines (where a key without a value ends a line, yaml-cpp
  // refuses what libyaml takes), directives, text after the end of the first document, and
  // nesting near yaml-cpp's depth bound (500 nodes).
  constexpr std::size_t kTrustedDepth = 400;

  struct Level {
    bool map;
    bool atKey;  // maps: the next node is a key
    bool flow;
    std::size_t line;  // where it starts
  };
  std::vector<Level> levels;
  // yaml-cpp numbers anchors from 1 in the order they are defined; a name defined again takes
  // a new number. The flag says the anchored node is a sequence or a map.
  std::unordered_map<std::string, std::pair<YAML::anchor_t, bool>> anchors;
  YAML::anchor_t lastAnchor = 0;
  auto atKey = [&] { return !levels.empty() && levels.back().map && levels.back().atKey; };
  auto nodeDone = [&] {
    if (!levels.empty() && levels.back().map) levels.back().atKey = !levels.back().atKey;
  };
  // The converter does not use marks, tags or styles where libyaml is trusted.
  const YAML::Mark mark;
  const std::string noTag;
  std::string text;
  bool documentEnded = false;

  for (;;) {
    const yaml_event_t* event = parser.next();
    if (event == nullptr) return false;
    if (documentEnded) {
      // yaml-cpp's HandleNextDocument reads the first document only, but refuses what cannot
      // begin another one.
      if (input.unsure) return false;
      return event->type == YAML_STREAM_END_EVENT ||
             (event->type == YAML_DOCUMENT_START_EVENT &&
              event->data.document_start.version_directive == nullptr &&
              event->data.document_start.tag_directives.start ==
                  event->data.document_start.tag_directives.end);
    }
    const yaml_char_t* anchorName = nullptr;
    const yaml_char_t* tag = nullptr;
    switch (event->type) {
      case YAML_SCALAR_EVENT:
        anchorName = event->data.scalar.anchor;
        tag = event->data.scalar.tag;
        break;
      case YAML_SEQUENCE_START_EVENT:
        anchorName = event->data.sequence_start.anchor;
        tag = event->data.sequence_start.tag;
        break;
      case YAML_MAPPING_START_EVENT:
        anchorName = event->data.mapping_start.anchor;
        tag = event->data.mapping_start.tag;
        break;
      case YAML_ALIAS_EVENT:
        anchorName = event->data.alias.anchor;
        break;
      default:
        break;
    }
    if (tag != nullptr || (anchorName != nullptr && !plainAnchorName(anchorName)) ||
        levels.size() >= kTrustedDepth) {
      return false;
    }
    YAML::anchor_t anchor = 0;
    if (anchorName != nullptr && event->type != YAML_ALIAS_EVENT) {
      anchor = ++lastAnchor;
      anchors[reinterpret_cast<const char*>(anchorName)] = {anchor,
                                                            event->type != YAML_SCALAR_EVENT};
    }
    switch (event->type) {
      case YAML_STREAM_START_EVENT:
      case YAML_NO_EVENT:
        break;
      case YAML_STREAM_END_EVENT:
        return !input.unsure;
      case YAML_DOCUMENT_START_EVENT:
        if (event->data.document_start.version_directive != nullptr ||
            event->data.document_start.tag_directives.start !=
                event->data.document_start.tag_directives.end) {
          return false;
        }
        handler.OnDocumentStart(mark);
        break;
      case YAML_DOCUMENT_END_EVENT:
        handler.OnDocumentEnd();
        documentEnded = true;
        break;
      case YAML_ALIAS_EVENT: {
        const auto found = anchors.find(reinterpret_cast<const char*>(anchorName));
        if (found == anchors.end() || (found->second.second && atKey())) return false;
        handler.OnAlias(mark, found->second.first);
        nodeDone();
        break;
      }
      case YAML_SCALAR_EVENT: {
        const auto& scalar = event->data.scalar;
        const auto* value = reinterpret_cast<const char*>(scalar.value);
        if (event->start_mark.line != event->end_mark.line) return false;
        const bool plain = scalar.style == YAML_PLAIN_SCALAR_STYLE;
        // libyaml ends an anchor's name at a ':' (or '?') that yaml-cpp keeps in it.
        if (plain && (scalar.length == 0 ? anchor != 0 : (*value == ':' || *value == '?'))) {
          return false;
        }
        if (plain && nullWord(value, scalar.length)) {
          handler.OnNull(mark, anchor);
        } else {
          text.assign(value, scalar.length);
          handler.OnScalar(mark, noTag, anchor, text);
        }
        nodeDone();
        break;
      }
      case YAML_SEQUENCE_START_EVENT:
      case YAML_MAPPING_START_EVENT: {
        if (atKey()) return false;
        const bool map = event->type == YAML_MAPPING_START_EVENT;
        const bool flow = map ? event->data.mapping_start.style == YAML_FLOW_MAPPING_STYLE
                              : event->data.sequence_start.style == YAML_FLOW_SEQUENCE_STYLE;
        if (map) {
          handler.OnMapStart(mark, noTag, anchor, YAML::EmitterStyle::Default);
        } else {
          handler.OnSequenceStart(mark, noTag, anchor, YAML::EmitterStyle::Default);
        }
        levels.push_back({map, map, flow, event->start_mark.line});
        break;
      }
      case YAML_SEQUENCE_END_EVENT:
      case YAML_MAPPING_END_EVENT:
        if (levels.back().flow && levels.back().line != event->end_mark.line) return false;
        levels.pop_back();
        if (event->type == YAML_MAPPING_END_EVENT) {
          handler.OnMapEnd();
        } else {
          handler.OnSequenceEnd();
        }
        nodeDone();
        break;
    }
  }
}

}  // namespace nimbrel_tavik_util::detail
