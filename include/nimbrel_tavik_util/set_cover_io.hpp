// Set-cover instance files: reading into an owning instance in column-compressed form (a
// CoverMatrix view, costs, set ids or names, element labels) and writing one in each format.
//
// Formats (InstanceFormat, named as set_cover_solve's --format takes them):
//   orlib    OR-Library set covering, row-wise: "m n", n costs, then per row its number of
//            columns and its 1-based columns.
//   rail     OR-Library set covering, column-wise (the crew-scheduling "rail" files): "m n", then
//            per column its cost, its number of rows and its 1-based rows.
//   steiner  Steiner triple covering: "n m" (columns first), then m rows of three columns.
//   json     {"sets": {"<id or name>": [elements]}, "costs": {...}, "elements": [...]}.
//   yaml     the same document in YAML.
//   mps      a fixed or free MPS model that is set covering (see below).
//   lp       a CPLEX LP model that is set covering.
// A model (MPS, LP) is read when it is set covering: minimise a sum of non-negative costs of its
// columns, each column binary or bounded to [0, 1] (or integer in [0, 1]), and every row
// "sum of columns >= 1" with coefficients 1 (or, the same row negated, "-sum <= -1"). Any other
// model is refused with InstanceError naming the row, column or line that breaks it.
//
// One numbering of elements and sets, used by the solvers, set_cover_solve and the Python
// module: columns are the sets in ascending id (OR-Library, rail, Steiner: ids 1..n; documents:
// their integer keys, or the keys in document order when some key is a name; models: the
// columns in the order the file first names them, named, their ids the column indices); rows
// are the elements
// in ascending order (OR-Library, rail, Steiner: rows 1..m are row indices 0..m-1; documents:
// ascending integers or strings; models: the rows in file order, named by the file).
//
// Errors: malformed input throws InstanceError, whose where() says where (a line "12", a JSON
// pointer "/sets/3/1", or empty for the whole input) and whose what() says what, on one line.
// A well-formed instance in which an element is in no set throws NoCoverError (an InstanceError
// too). Memory is checked against the input before it is allocated: the arrays of an instance
// stay within a small multiple of the input's size (16 times at most) whatever a header says.
// Gzip input (by its magic bytes) is decompressed transparently, up to
// InstanceText::kMaxDecompressedBytes.
//
// Thread safety: every function works on its arguments only; different instances may be read
// and written from several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "nimbrel_tavik_util/export.hpp"
#include "nimbrel_tavik_util/set_cover.hpp"

namespace nimbrel_tavik_util {

/// The instance formats, in the order of the format table.
enum class InstanceFormat { orlib, rail, steiner, json, yaml, mps, lp };

/// Malformed input. `where` is a line ("12") for the text formats, a JSON pointer for
/// documents, or empty when the whole input is at fault; what() is the description alone (one
/// line; bytes that are not UTF-8 and control characters written as \xNN).
class NIMBREL_TAVIK_UTIL_EXPORT InstanceError : public std::runtime_error {
 public:
  InstanceError(std::string where, const std::string& what);
  const std::string& where() const { return where_; }

 private:
  std::string where_;
};

/// An element of a well-formed instance is in no set, so no cover exists; what() names the
/// element ("row 3 is in no set").
class NIMBREL_TAVIK_UTIL_EXPORT NoCoverError : public InstanceError {
 public:
  using InstanceError::InstanceError;
};

/// An instance in column-compressed form with its labels. Plain data: copy, change and build
/// one freely (then keep the invariants below before calling matrix() or writeInstance).
struct NIMBREL_TAVIK_UTIL_EXPORT CoverInstance {
  int elements = 0;                       ///< rows 0 .. elements-1
  std::vector<std::int64_t> setStart{0};  ///< sets() + 1 offsets into elementIndex
  std::vector<int> elementIndex;          ///< rows of each set, ascending within a set, no repeats
  std::vector<double> costs;              ///< one per set (1 each when the input has none)
  bool hasCosts = false;                  ///< the input gave costs

  /// The id of each set: OR-Library/rail/Steiner column numbers 1..n, document keys; for named
  /// sets (documents, models) the column index (0, 1, ...).
  std::vector<int> setIds;
  /// Empty unless the sets have names (a document key that is not a non-negative integer
  /// without leading zeros; the columns of a model); then the name of each set as written.
  std::vector<std::string> setNames;

  /// The element of each row, for messages and reports: integer labels (OR-Library, rail and
  /// Steiner rows 1..m, document integers) or, for documents of strings and models, the names.
  std::vector<long long> elementLabels;
  std::vector<std::string> elementNames;

  int sets() const { return static_cast<int>(setStart.size()) - 1; }
  std::size_t entries() const { return elementIndex.size(); }

  /// The label of set `column` as the input wrote it: its name, or its id in decimal.
  std::string setLabel(int column) const;
  /// The label of row `row`: its integer in decimal or its name.
  std::string elementLabel(int row) const;

  /// A view for solveWithin/greedyCover; `weighted` passes the costs, else every cost is 1.
  /// Valid while this instance lives and is not changed. O(1).
  CoverMatrix matrix(bool weighted = true) const;
};

/// Called once per reading with a warning to show (one line).
using InstanceWarning = std::function<void(const std::string&)>;

/// One row of the format table.
struct InstanceFormatInfo {
  InstanceFormat format;
  const char* name;   ///< as set_cover_solve's --format and Python's format= take it
  const char* names;  ///< file names it is chosen for: patterns separated by blanks ("N" stands
                      ///< for decimal digits, a trailing .gz is ignored), or "(...)" for none
  const char* what;   ///< one line: what the format holds
};

/// Every format, in the order of InstanceFormat; `count` receives the number of rows.
NIMBREL_TAVIK_UTIL_EXPORT const InstanceFormatInfo* instanceFormatTable(std::size_t& count);
/// "orlib", "rail", "steiner", "json", "yaml", "mps" or "lp".
NIMBREL_TAVIK_UTIL_EXPORT const char* instanceFormatName(InstanceFormat format);
/// The format called `name`; nullopt when there is none.
NIMBREL_TAVIK_UTIL_EXPORT std::optional<InstanceFormat> instanceFormatFromName(
    std::string_view name);
/// The format a file name suggests by the table's patterns (a trailing ".gz" is ignored):
/// ".json", ".yaml"/".yml", ".mps", ".lp", ".rail" and "rail" followed by digits, ".stn" and
/// "data.N"; OR-Library for any other name.
NIMBREL_TAVIK_UTIL_EXPORT InstanceFormat instanceFormatFromPath(const std::string& path);
/// The format of text whose name says nothing (standard input, a stream): JSON when its first
/// non-blank character is '{'; an MPS model when its first word is NAME, ROWS or a '*' comment
/// line; an LP model when it starts with "\" or a word of an LP objective (minimize, min, ...);
/// YAML when it starts like a YAML map ('-' of "---", '#', '%', a letter or a quote); else
/// `fallback`. A byte-order mark is skipped.
NIMBREL_TAVIK_UTIL_EXPORT InstanceFormat instanceFormatFromText(std::string_view text,
                                                                InstanceFormat fallback);

/// The whole input of a file, standard input or a stream: plain files are mapped, not copied;
/// gzip (by its magic bytes, one or more members) is decompressed.
class NIMBREL_TAVIK_UTIL_EXPORT InstanceText {
 public:
  /// Reads `path`; "-" reads standard input. Throws InstanceError (empty where()) when it cannot
  /// be opened or read, is a folder, or is compressed input that cannot be decompressed or
  /// decompresses to more than kMaxDecompressedBytes (the message says "compressed input").
  explicit InstanceText(const std::string& path);
  /// Reads `in` to its end. Throws as above.
  explicit InstanceText(std::istream& in);
  ~InstanceText();
  InstanceText(const InstanceText&) = delete;
  InstanceText& operator=(const InstanceText&) = delete;

  std::string_view text() const { return text_; }
  bool compressed() const { return compressed_; }

  /// The most bytes compressed input may decompress to: 1 GiB. Beyond it the input is refused
  /// (a few kilobytes of gzip can stand for gigabytes of text); plain files have no such limit.
  static constexpr std::size_t kMaxDecompressedBytes = std::size_t{1} << 30;

  /// Decompresses gzip data (one or more members) of at most `limit` bytes once decompressed.
  /// Throws InstanceError "compressed input ...", also when it decompresses to more.
  static std::string gunzip(std::string_view data, std::size_t limit = kMaxDecompressedBytes);

 private:
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
  void finish(std::string_view raw);

  Inflated inflated_;
  void* map_ = nullptr;
  std::size_t mapSize_ = 0;
  std::string owned_;
  std::string_view text_;
  bool compressed_ = false;
};

/// The readers, one per format; each takes the whole (decompressed) text, skips a UTF-8
/// byte-order mark and throws InstanceError / NoCoverError as described at the top. O(size of
/// the text) apart from the documents' sort of their elements (O(e log e)).
///
/// readOrLibrary: a row with no column raises NoCoverError after the whole file is checked;
/// nothing may follow the last row. readRail: a row that no column holds raises NoCoverError.
/// readSteiner: every set costs 1; a column in no row is an empty set.
/// readJsonDocument: "sets" required, "costs" optional (then one finite cost >= 0 for every
/// set), "elements" optional (then the universe: every element of a set must be in it, repeats
/// are an error, and one in no set raises NoCoverError). Elements are all integers (fitting an
/// int) or all strings. A repeated key is an error naming its JSON pointer.
/// readYamlDocument: the same document; a scalar is an integer element when yaml-cpp reads it
/// as an int ("001", "0x1" and "1" are the same element, and `warn` is called once when two
/// spellings meet), a string otherwise; aliases are refused. Errors name the line.
/// readMps / readLp: set-covering models only (see the top); the objective's constant is
/// ignored; a column of the objective without rows is an empty set.
NIMBREL_TAVIK_UTIL_EXPORT CoverInstance readOrLibrary(std::string_view text);
NIMBREL_TAVIK_UTIL_EXPORT CoverInstance readRail(std::string_view text);
NIMBREL_TAVIK_UTIL_EXPORT CoverInstance readSteiner(std::string_view text);
NIMBREL_TAVIK_UTIL_EXPORT CoverInstance readJsonDocument(std::string_view text);
NIMBREL_TAVIK_UTIL_EXPORT CoverInstance readYamlDocument(std::string_view text,
                                                         const InstanceWarning& warn = {});
NIMBREL_TAVIK_UTIL_EXPORT CoverInstance readMps(std::string_view text);
NIMBREL_TAVIK_UTIL_EXPORT CoverInstance readLp(std::string_view text);

/// The reader of `format` on `text`. Throws what that reader throws.
NIMBREL_TAVIK_UTIL_EXPORT CoverInstance readInstanceText(std::string_view text,
                                                         InstanceFormat format,
                                                         const InstanceWarning& warn = {});

/// Reads the file `path` ("-": standard input; gzip transparently). The format is `format`
/// when given, else the one its name suggests (instanceFormatFromPath), and for standard input
/// the one its text suggests (instanceFormatFromText, OR-Library otherwise). Throws
/// InstanceError / NoCoverError; a file that cannot be read throws InstanceError with an empty
/// where(). The 175 MB OR-Library file scp_large reads in about a second.
NIMBREL_TAVIK_UTIL_EXPORT CoverInstance
readInstance(const std::string& path, std::optional<InstanceFormat> format = std::nullopt,
             const InstanceWarning& warn = {});

/// Reads the stream `in` to its end (gzip transparently); the format is `format` when given,
/// else detected as for standard input. Throws as readInstance(path).
NIMBREL_TAVIK_UTIL_EXPORT CoverInstance
readInstance(std::istream& in, std::optional<InstanceFormat> format = std::nullopt,
             const InstanceWarning& warn = {});

/// Writes `instance` to `out` in `format`, so that reading it back in that format gives the
/// same matrix (rows, columns, entries) and costs:
///   orlib, rail: costs as the shortest decimal text that reads back the same double; set ids,
///     set names and element labels are not kept (columns and rows are numbered 1..n, 1..m);
///   steiner: only when every set cost is 1 and every row holds exactly three sets (else
///     InstanceError);
///   json, yaml: set keys are the names or ids, elements the labels or names, "costs" when the
///     instance has costs, "elements" always (so that an element in no set stays one);
///   mps, lp: columns named by the set names (or "x<id>"), rows by the element names (or
///     "e<label>"; names are kept when every one is a valid model name, else all are numbered),
///     binary columns, rows "sum >= 1".
/// Throws InstanceError when the instance breaks its invariants or cannot be written in the
/// format, std::ios_base::failure when the stream fails. O(entries).
NIMBREL_TAVIK_UTIL_EXPORT void writeInstance(std::ostream& out, const CoverInstance& instance,
                                             InstanceFormat format);

/// Writes `instance` to the file `path` (the format by `format`, else by its name as
/// instanceFormatFromPath; gzip when the name ends in ".gz"), replacing it only once the whole
/// text is written. Throws InstanceError naming the failure.
NIMBREL_TAVIK_UTIL_EXPORT void writeInstance(const std::string& path, const CoverInstance& instance,
                                             std::optional<InstanceFormat> format = std::nullopt);

}  // namespace nimbrel_tavik_util
