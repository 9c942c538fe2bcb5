// Instance files of set_cover_solve: OR-Library set-covering files, Steiner triple covering files
// and JSON/YAML documents (the documents already parsed; the program reads them with the
// library's Reader).
//
// Every reader numbers sets and elements as the file does: OR-Library and Steiner columns are
// sets with ids 1..n, rows are elements 1..m. Malformed input throws InputError, which says
// where (a line, or a JSON pointer such as /sets/3/1) and what is wrong. Memory stays linear in
// the size of the input: counts in a header are only believed as far as the text behind them
// goes.
#pragma once

#include <cstddef>
#include <map>
#include <nlohmann/json_fwd.hpp>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

namespace set_cover_solve {

enum class Format { orlib, steiner, json, yaml };

/// "orlib", "steiner", "json" or "yaml".
const char* formatName(Format format);

/// The format a file name suggests: .json, .yaml/.yml, data.<digits> or .stn (Steiner), else
/// OR-Library.
Format formatFromName(const std::string& path);

/// Malformed input. `where` is "<line>" for the text formats, a JSON pointer for documents, or
/// empty when the whole input is at fault; what() is the description alone (one line).
class InputError : public std::runtime_error {
 public:
  InputError(std::string where, const std::string& what);
  const std::string& where() const { return where_; }

 private:
  std::string where_;
};

/// A set-cover instance as read: sets by id, and a cost per id (1 for every set when the input
/// has no costs).
template <typename T>
struct Instance {
  std::map<int, std::set<T>> sets;
  std::map<int, double> costs;
  bool hasCosts = false;
};

/// A document's elements are either all integers or all strings.
using AnyInstance = std::variant<Instance<int>, Instance<std::string>>;

/// Sizes for reports: sets (empty ones included), distinct elements, entries (sum of set sizes).
struct InstanceCounts {
  std::size_t sets = 0;
  std::size_t elements = 0;
  std::size_t entries = 0;
};
InstanceCounts countInstance(const AnyInstance& instance);

/// OR-Library text: "m n", n positive costs, then for each row its number of columns and the
/// 1-based columns. A row of no column throws NoCover (no cover exists); nothing may follow the
/// last row.
Instance<int> parseOrLibrary(std::string_view text);

/// Steiner triple covering text: "n m" (columns first), then m rows of three 1-based columns.
/// n may not exceed 3 m (a column in no row is not a triple system).
Instance<int> parseSteiner(std::string_view text);

/// A document {"sets": {"<id>": [elements...]}, "costs": {"<id>": number}} ("costs" optional,
/// but when given it names every set and no other; each cost finite and positive). Ids are
/// non-negative decimal integers without leading zeros; elements all integers (fitting an int)
/// or all strings; no other members.
AnyInstance instanceFromDocument(const nlohmann::json& document);

/// Reads a whole file into memory. Throws InputError (empty `where`) when it cannot be opened
/// or read, is a folder, or is larger than what fits in memory.
std::string readWholeFile(const std::string& path);

}  // namespace set_cover_solve
