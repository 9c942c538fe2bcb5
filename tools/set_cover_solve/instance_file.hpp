// Instance files of set_cover_solve in map form, and the error type of every reader. The
// program itself reads into the compact form (compact_instance.hpp); the map form serves the
// tests' corpus readers.
//
// OR-Library and Steiner columns are sets with ids 1..n, rows are elements 1..m. Malformed
// input throws InputError, which says where (a line, or a JSON pointer such as /sets/3/1) and
// what is wrong.
#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>

#include "nimbrel_tavik_util/set_cover_io.hpp"
#include "set_cover_solve/formats.hpp"

namespace set_cover_solve {

/// Malformed input: the library's InstanceError. `where` is "<line>" for the text formats, a
/// JSON pointer for documents, or empty when the whole input is at fault; what() is the
/// description alone (one line, bytes that are not UTF-8 and control characters as \xNN).
using InputError = nimbrel_tavik_util::InstanceError;

/// A set-cover instance as read: sets by id, and a cost per id (1 for every set when the input
/// has no costs).
template <typename T>
struct Instance {
  std::map<int, std::set<T>> sets;
  std::map<int, double> costs;
  bool hasCosts = false;
};

/// Sizes for reports: sets (empty ones included), distinct elements, entries (sum of set sizes).
struct InstanceCounts {
  std::size_t sets = 0;
  std::size_t elements = 0;
  std::size_t entries = 0;
};

/// The map form of readOrLibrary / readSteiner (compact_instance.hpp): elements are the rows
/// 1..m, sets the columns 1..n (empty ones included). Throws what they throw.
Instance<int> parseOrLibrary(std::string_view text);
Instance<int> parseSteiner(std::string_view text);

/// The map form of readJsonDocument for documents of integer elements and integer ids. Throws
/// what it throws, and InputError for string elements or named sets.
Instance<int> parseJsonDocument(std::string_view text);

/// Reads a whole file into memory. Throws InputError (empty `where`) when it cannot be opened
/// or read, is a folder, or is larger than what fits in memory.
std::string readWholeFile(const std::string& path);

}  // namespace set_cover_solve
