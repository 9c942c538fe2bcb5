// The instance formats of set_cover_solve: the library's format table (set_cover_io.hpp) under
// the program's names, and the help text built from it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "nimbrel_tavik_util/set_cover_io.hpp"

namespace set_cover_solve {

using Format = nimbrel_tavik_util::InstanceFormat;
using FormatInfo = nimbrel_tavik_util::InstanceFormatInfo;

/// Every format, in the order of the table; `count` receives the number of rows.
inline const FormatInfo* formatTable(std::size_t& count) {
  return nimbrel_tavik_util::instanceFormatTable(count);
}

/// "orlib", "rail", "steiner", "json", "yaml", "mps" or "lp".
inline const char* formatName(Format format) {
  return nimbrel_tavik_util::instanceFormatName(format);
}

/// The format called `name`; false when there is none.
bool formatFromString(std::string_view name, Format& format);

/// "orlib, rail, ... or lp": the names for messages and help.
std::string formatNameList();

/// The format a file name suggests (a trailing ".gz" is ignored); OR-Library otherwise.
inline Format formatFromName(const std::string& path) {
  return nimbrel_tavik_util::instanceFormatFromPath(path);
}

/// The format of text whose name says nothing (standard input); `fallback` when nothing shows.
inline Format formatFromText(std::string_view text, Format fallback) {
  return nimbrel_tavik_util::instanceFormatFromText(text, fallback);
}

/// The help lines of the formats: "  name  names: what" per format, each ending in a newline.
std::string formatHelp();

}  // namespace set_cover_solve
