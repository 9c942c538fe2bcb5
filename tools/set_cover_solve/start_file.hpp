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
  std::optional<int> id;  ///< a JSON number: a non-negative integer id
  std::string name;       ///< otherwise the text, looked up among the set names, then as an id
  bool word = false;      ///< a word of a plain list (else a JSON string)
  std::string where;      ///< "<line>" in a list, a JSON pointer in a document
};

/// Reads a warm start. Text whose first non-blank character is '{' is a JSON object whose
/// "ids" member (the document --json and -o write) lists the ids; '[' starts a JSON array of
/// them; anything else is a list of ids or set names separated by blanks and line breaks, a
/// name with blanks in double quotes as --quiet prints it (readName). JSON ids are
/// non-negative integers (fitting an int) or strings (set names). An empty list is an empty
/// start.
/// Throws InputError (where: a line or a JSON pointer) for malformed text, a missing "ids",
/// a JSON id that is negative, fractional, too large or of another JSON type, a quoted name
/// that is not closed.
std::vector<StartEntry> parseStart(std::string_view text);

/// The ids of `entries` among the instance's: a JSON number must be a set of it; a name or a
/// word of a list is looked up in `names` (name -> id) first, and failing that read as a
/// decimal id. Throws InputError (the entry's where) naming an entry that is no set of the
/// instance (for a word of a list on an instance without names that is no decimal id:
/// "expected a set id").
template <typename T>
std::vector<int> startIds(const std::vector<StartEntry>& entries,
                          const std::map<int, std::set<T>>& sets,
                          const std::map<std::string, int>& names);

}  // namespace set_cover_solve
