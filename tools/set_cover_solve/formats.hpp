// The instance formats of set_cover_solve: one table (formats.def) behind the names, the file
// name rules, the help lines and the parsers.
#pragma once

#include <string>
#include <string_view>

namespace set_cover_solve {

enum class Format {
#define NTU_SCS_FORMAT(id, name, names, what) id,
#include "set_cover_solve/formats.def"
#undef NTU_SCS_FORMAT
};

/// One row of the table.
struct FormatInfo {
  Format format;
  const char* name;   ///< as --format takes it
  const char* names;  ///< the file names it is chosen for: patterns separated by blanks
  const char* what;   ///< one line: what the format holds
};

/// Every format, in the order of formats.def; `count` receives the number of rows.
const FormatInfo* formatTable(std::size_t& count);

/// "orlib", "steiner", "json" or "yaml".
const char* formatName(Format format);

/// The format called `name`; false when there is none.
bool formatFromString(std::string_view name, Format& format);

/// "orlib, steiner, json or yaml": the names for messages and help.
std::string formatNameList();

/// The format a file name suggests by the table's patterns (a trailing ".gz" is ignored); the
/// first format without patterns (OR-Library) otherwise.
Format formatFromName(const std::string& path);

/// The format of text whose name says nothing (standard input): a document when its first
/// non-blank character is '{' (JSON) or one YAML typically starts a map with ('-' of "---",
/// or a letter or quote of a key such as sets:); else `fallback`. A byte-order mark is skipped.
Format formatFromText(std::string_view text, Format fallback);

/// The help lines of the formats: "  name  names: what" per format, each ending in a newline.
std::string formatHelp();

}  // namespace set_cover_solve
