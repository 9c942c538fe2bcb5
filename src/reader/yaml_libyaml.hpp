// libyaml's parser (C) behind the YAML readers that need speed: it reads a pose log about six
// times faster than yaml-cpp's parser. yaml-cpp stays the authority on what a file means; libyaml
// is only trusted where the two are known to agree.
#pragma once

#include <yaml.h>

#include <cstdio>
#include <string>

#include <yaml-cpp/eventhandler.h>

namespace nimbrel_tavik_util::detail {

// A libyaml parser over one open file, event by event.
class LibyamlParser {
 public:
  // Does not take `file`; it must outlive the parser.
  explicit LibyamlParser(std::FILE* file);
  // Reads through `read` (libyaml's read handler), passing it `data`.
  LibyamlParser(yaml_read_handler_t* read, void* data);
  ~LibyamlParser();
  LibyamlParser(const LibyamlParser&) = delete;
  LibyamlParser& operator=(const LibyamlParser&) = delete;

  // The next event, valid until the next call; nullptr after a parse error (see problem()).
  const yaml_event_t* next();
  // libyaml's description of the parse error, with its 1-based line and column.
  std::string problem() const;

 private:
  yaml_parser_t parser_;
  yaml_event_t event_;
  bool holding_ = false;
};

// True when the first bytes of `file` say UTF-16 or UTF-32 (yaml-cpp reads those, libyaml only
// some): such files are left to yaml-cpp. Rewinds the file.
bool wideEncoding(std::FILE* file);

// Feeds `handler` the events of the first document of `filepath` as yaml-cpp's parser would
// send them (the same anchors numbers, null and scalar events), reading with libyaml. Returns
// false when libyaml cannot vouch for yaml-cpp's reading of the file: a parse error, an alias of
// an unknown anchor, a key that is a sequence or a map, a plain null word with a tag, a wide
// encoding, or a file that cannot be read. The handler has then seen an unfinished stream, and
// the caller starts again with yaml-cpp.
bool feedLibyamlEvents(const std::string& filepath, YAML::EventHandler& handler);

}  // namespace nimbrel_tavik_util::detail
