// Instances read straight into the library's compact form (CoverMatrix): one offset per set,
// one 4-byte row index per entry, a cost per set, and the labels that map rows and columns back
// to the file's elements and sets. No per-entry allocation on the way: a 175 MB OR-Library file
// of 29.7 million entries is read in about a second.
//
// Numbering: columns are sets in ascending id (OR-Library and Steiner: ids 1..n; documents:
// their integer keys, or, when some key is a name, the keys in document order). Rows are the
// elements in ascending order (OR-Library and Steiner: rows 1..m), so that the map form of the
// same instance numbers everything the same way and every solver gives the same answer.
//
// Errors: malformed input throws InputError (instance_file.hpp) saying where and what; a
// well-formed instance in which an element of the universe is in no set throws NoCover
// (no_cover.hpp, an InputError too: where the element is, "row 3 is in no set"). Memory is checked
// against the input before it is allocated: a header's counts are believed only as far as the text
// can hold them, so the arrays stay within a small multiple of the input's size whatever the input
// says.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "nimbrel_tavik_util/set_cover.hpp"
#include "set_cover_solve/formats.hpp"
#include "set_cover_solve/instance_file.hpp"
#include "set_cover_solve/no_cover.hpp"

namespace set_cover_solve {

/// An instance in column-compressed form with its labels.
struct CompactInstance {
  int elements = 0;                       ///< rows 0 .. elements-1
  std::vector<std::int64_t> setStart{0};  ///< sets() + 1 offsets into elementIndex
  std::vector<int> elementIndex;          ///< rows of each set, ascending within a set, no repeats
  std::vector<double> costs;              ///< one per set (1 each when the input has none)
  bool hasCosts = false;                  ///< the input gave costs

  /// The id of each set: OR-Library/Steiner column numbers, document keys; for named sets the
  /// column index (0, 1, ...).
  std::vector<int> setIds;
  /// Empty unless the document names its sets (some key is not a non-negative integer without
  /// leading zeros); then the key of each set as written, for printing the ids back.
  std::vector<std::string> setNames;

  /// The elements of the rows, for messages and reports: integer labels (OR-Library and Steiner
  /// rows 1..m, document integers) or, for documents of strings, the strings.
  std::vector<long long> elementLabels;
  std::vector<std::string> elementNames;

  int sets() const { return static_cast<int>(setStart.size()) - 1; }
  std::size_t entries() const { return elementIndex.size(); }

  /// The label of set `column` as the input wrote it: its name, or its id in decimal.
  std::string setLabel(int column) const;
  /// The label of row `row`: its integer in decimal or its string.
  std::string elementLabel(int row) const;

  /// A view for solveWithin/greedyCover; `weighted` passes the costs, else unicost. Valid while
  /// this instance lives and is not changed.
  nimbrel_tavik_util::CoverMatrix matrix(bool weighted) const;
};

/// `text` without a leading UTF-8 byte-order mark. Every reader below skips one.
std::string_view withoutBom(std::string_view text);

/// Called once per reading with a warning to show (one line, no program name).
using WarningSink = std::function<void(const std::string&)>;

/// OR-Library text: "m n", n costs (finite, >= 0, an optional '+'), then for each row its number
/// of columns and the 1-based columns. A row with no column raises NoCover after the whole
/// file has been checked. Nothing may follow the last row.
CompactInstance readOrLibrary(std::string_view text);

/// Steiner triple covering text: "n m" (columns first), then m rows of three 1-based columns.
/// Every set costs 1; a column in no row is an empty set.
CompactInstance readSteiner(std::string_view text);

/// A JSON document {"sets": {"<key>": [elements...]}, "costs": {"<key>": number}, "elements":
/// [elements...]}: "sets" required, "costs" optional (then one finite cost >= 0 for every set),
/// "elements" optional (then the universe: every element of a set must be in it, repeats are an
/// error, and one in no set raises NoCover). Keys are ids when every key is a non-negative
/// decimal integer without leading zeros (fitting an int), else names. Elements are all integers
/// (fitting an int) or all strings. A repeated key anywhere is an error naming the JSON pointer
/// of the second one. Nesting is bounded by the document's shape, so deep input fails at its
/// first level too many.
CompactInstance readJsonDocument(std::string_view text);

/// The same document in YAML, read with yaml-cpp's parser. A scalar becomes an integer element
/// when yaml-cpp reads it as an int (so "001", "0x1", "+1" and "1" are the same element; JSON is
/// the exact format) and a string element otherwise; booleans, other numbers and nulls are
/// errors. When two different scalar texts map to the same element, `warn` is called once.
/// Aliases are not supported (an error naming the line). Errors name the line (1-based).
CompactInstance readYamlDocument(std::string_view text, const WarningSink& warn = {});

/// Dispatches on `format` by the format table.
CompactInstance readInstanceText(std::string_view text, Format format,
                                 const WarningSink& warn = {});

/// The map form of `instance` with rows as elements: for the solvers that take maps. Same ids,
/// and rows numbered in the same order as the elements they stand for.
std::map<int, std::set<int>> toMapForm(const CompactInstance& instance);

/// Sizes for reports.
InstanceCounts countInstance(const CompactInstance& instance);

/// The whole input, from a file (mapped), standard input, or gzip (either, by its magic bytes).
class InputText {
 public:
  /// Reads `path`; "-" reads standard input. Throws InputError (empty `where`) when it cannot be
  /// opened or read, is a folder, or is compressed input that cannot be decompressed or
  /// decompresses to more than kMaxDecompressedBytes (the message says "compressed input").
  explicit InputText(const std::string& path);
  ~InputText();
  InputText(const InputText&) = delete;
  InputText& operator=(const InputText&) = delete;

  std::string_view text() const { return text_; }
  bool compressed() const { return compressed_; }

  /// The most bytes compressed input may decompress to: 1 GiB. Beyond it the input is refused
  /// (a few kilobytes of gzip can stand for gigabytes of text); plain files are mapped, not
  /// read into memory, and have no such limit.
  static constexpr std::size_t kMaxDecompressedBytes = std::size_t{1} << 30;

  /// Decompresses gzip data (one or more members) of at most `limit` bytes once decompressed.
  /// Throws InputError "compressed input ...", also when it decompresses to more than `limit`.
  static std::string gunzip(std::string_view data, std::size_t limit = kMaxDecompressedBytes);

 private:
  // Decompressed input in an anonymous mapping (only the pages written are used).
  struct Inflated {
    void* map = nullptr;
    std::size_t capacity = 0;
    std::size_t size = 0;
    Inflated() = default;
    Inflated(const Inflated&) = delete;
    Inflated& operator=(const Inflated&) = delete;
    ~Inflated();
  };
  static void inflateInto(std::string_view data, std::size_t limit, Inflated& out);

  Inflated inflated_;
  void* map_ = nullptr;
  std::size_t mapSize_ = 0;
  std::string owned_;
  std::string_view text_;
  bool compressed_ = false;
};

}  // namespace set_cover_solve
