// Warm starts of set_cover_solve (--start): the ids of a result document or a plain list.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "set_cover_solve/instance_file.hpp"

namespace set_cover_solve {

/// One entry of a warm start as the file gives it.
struct StartEntry {
  std::optional<int> id;  ///< a non-negative integer id
  std::string name;       ///< otherwise the text, to be looked up among the set names
  std::string where;      ///< "<line>" in a list, a JSON pointer in a document
};

/// Reads a warm start. Text whose first non-blank character is '{' is a JSON object whose
/// "ids" member (the document --json and -o write) lists the ids; '[' starts a JSON array of
/// them; anything else is a list of ids separated by blanks and line breaks. Ids are
/// non-negative integers (fitting an int) or, in JSON, strings (set names). An empty list is
/// an empty start.
/// Throws InputError (where: a line or a JSON pointer) for malformed text, a missing "ids",
/// an id that is negative, fractional, too large or of another JSON type.
std::vector<StartEntry> parseStart(std::string_view text);

/// The ids of `entries` among the instance's: an entry with an id must be a set of it; a name
/// is looked up in `names` (name -> id), and failing that read as a decimal id. Throws
/// InputError (the entry's where) naming an entry that is no set of the instance.
template <typename T>
std::vector<int> startIds(const std::vector<StartEntry>& entries,
                          const std::map<int, std::set<T>>& sets,
                          const std::map<std::string, int>& names);

}  // namespace set_cover_solve
