// Document files: JSON read and save, YAML loading, YAML-to-JSON conversion.
//
// The JSON operations never throw a std::exception: they log the failure through Logger and
// return an empty object (readJson) or nothing (saveJson). The YAML operations log and rethrow
// (readYaml) or throw std::runtime_error whose message names the location path of the failing
// node in the document (the converter). Paths: the root is "$", a map member "P.key", a sequence
// element "P[i]"; keys are inserted unquoted.
//
// Log lines ("[INFO] " lines go to std::cout, "[WARNING] " and "[ERROR] " lines to std::cerr):
//
//   readJson        ERROR "Failed to open JSON file: <path>"
//                   ERROR "Failed to read JSON file: <what()>"
//   saveJson        INFO  "Saved JSON: <path>"
//                   ERROR "Failed to open file for writing: <path>"
//                   ERROR "Failed to save JSON: <what()>"
//   readYaml        INFO  "readYaml: loading <path> (<bytes> bytes)"
//                   INFO  "readYaml: loaded <path>, root type=<Null|Scalar|Sequence|Map|...>"
//                   WARNING "readYaml: YAML file is empty or invalid: <path>"
//                   ERROR "readYaml: cannot open YAML file: <path> - <what()>"
//                   ERROR "readYaml: YAML parse error: <path> - <what()>"
//                   ERROR "readYaml: unknown error for <path> - <what()>"
//                   ERROR "readYaml: non-std exception for <path>"
//   readYamlToJson  INFO  "readYamlToJson: begin <path>", the readYaml lines, then either
//                   "readYamlToJson: non-map root, converting whole document" or the key listing,
//                   one line per top-level member, pose_info progress and "readYamlToJson: done
//                   <path>".
//
// Reader holds no state: calls may run in several threads at once (on different files; saves to
// the same file are not coordinated), their lines going through Logger, which takes concurrent
// lines.
//
// This header declares only, to stay cheap to include (the whole of yaml-cpp and nlohmann/json
// cost about a second of compile time per file): include <nlohmann/json.hpp> to use the
// documents, and <yaml-cpp/yaml.h> to use the nodes (most of YAML::Node's functions are defined
// there; with this header alone a program using them compiles but does not link).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include <yaml-cpp/node/node.h>
#include <nlohmann/json_fwd.hpp>

#include "nimbrel_tavik_util/export.hpp"
#include "nimbrel_tavik_util/json_abi.hpp"

namespace nimbrel_tavik_util {

/// Static document-file operations; never instantiated, holds no state.
class NIMBREL_TAVIK_UTIL_EXPORT Reader {
 public:
  /// Reads the first JSON value of the file at `filepath`.
  ///
  /// The parser stops after the first complete value: trailing text is neither read nor checked.
  /// Comments are syntax errors. Any value is accepted at the top level (object, array, string,
  /// number, boolean, null).
  ///
  /// Returns the document, or an empty object when the file cannot be opened or parsed (so a
  /// failed read cannot be told from a file holding `{}` except by the log).
  /// Throws nothing derived from std::exception.
  /// Logs nothing on success; on failure one ERROR line:
  ///   "Failed to open JSON file: " + filepath   (missing or unreadable file)
  ///   "Failed to read JSON file: " + what()     (empty file, syntax error, invalid UTF-8,
  ///                                              number out of range, bad_alloc, ...)
  ///   "Failed to read JSON file: document nested deeper than 500 levels"
  ///                                             (arrays and objects nested more than 500
  ///                                              deep; `[[0]]` has 2 levels. Copying,
  ///                                              comparing and saving the document would
  ///                                              recurse that deep.)
  /// The depth is counted while parsing, without recursion; parsing stops at level 501.
  ///
  /// The text is read with simdjson in pieces (the root's members, the elements of arrays at the
  /// two outer levels in batches of about 256 KB), which gives the JSON library's document
  /// (value types included: a number without '-' is unsigned, a later duplicate key wins)
  /// about twice as fast in memory close to the document's own. Where that reading cannot vouch
  /// for the result (any syntax error, a "-0", a number beyond 64 bits, deep nesting), the file
  /// is read again with the JSON library's parse, which decides the document and the message.
  static nlohmann::json readJson(const std::string& filepath);

  /// Writes `data` to `filepath`, creating missing parent directories.
  ///
  /// Text: `data.dump(indent, ' ', false, strict)`, that is `indent` blanks per level when
  /// `indent` >= 0 (0: one element per line, no indentation), one line without any blank when
  /// negative; non-ASCII characters as raw UTF-8; no final newline. NaN and infinities are
  /// written as null (the Python module's save_json refuses them with ValueError instead,
  /// before writing, as json.dumps(allow_nan=False) does). Indents above 512 are laid out here, not
  /// by the JSON library's serializer, which reads past its buffer of blanks beyond 1,024; the text
  /// is the same. Its size is computed first: a text too large to hold fails as below.
  ///
  /// The document is serialised before the file system is touched. Where the text goes:
  /// - A regular file (or a missing one) is replaced atomically: the text goes to a temporary
  ///   file in the same folder, which is flushed to disk and renamed over the target, so the
  ///   target holds either the old or the new text, never a part. The temporary file is unnamed
  ///   (O_TMPFILE) while it is written and gets the name "<name>.tmp.<12 random letters and
  ///   digits>" just before the rename, so a writer killed meanwhile leaves nothing behind. File
  ///   systems without unnamed files get that name from the start; a killed writer's file then
  ///   stays, but a later save never needs its name. A replaced file keeps its permission bits;
  ///   a new file gets the permissions an ordinary std::ofstream would give (0666 less the
  ///   umask). A symbolic link is followed and the file it points to is replaced; the link
  ///   stays. A failure leaves the old file as it was and no temporary file.
  /// - /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N (or a link to one of them) are
  ///   written to the process's own descriptor N (1 for standard output): the text lands where
  ///   that descriptor's writes land (a pipe gets it; a file opened for appending gets it at its
  ///   end), and nothing is truncated or renamed. std::cout and stdout (N = 1), std::cerr,
  ///   std::clog and stderr (N = 2) are flushed first.
  /// - Any other existing target that is not a regular file (a device, a FIFO) is opened and
  ///   written directly; opening a FIFO waits for a reader.
  /// SIGPIPE is blocked for the calling thread while it writes (a SIGPIPE raised by that write is
  /// consumed before the mask is restored), so a reader that has gone is a logged failure.
  /// Needs write permission on the target's folder (and on the target, if it exists). A replaced
  /// file gets the process's owner, and hard links to the old file keep the old text.
  ///
  /// Throws nothing derived from std::exception. Logs exactly one line:
  ///   INFO  "Saved JSON: " + filepath              after all of the text was written (and
  ///                                                renamed into place)
  ///   ERROR "Failed to open file for writing: " + filepath
  ///                                                the temporary file or the target cannot be
  ///                                                opened (no permission, missing folder, ...),
  ///                                                a descriptor that is not open for writing,
  ///                                                or, before anything is created, a path whose
  ///                                                last component is empty, "." or ".." (such
  ///                                                as one ending in "/") and any other path
  ///                                                under /proc
  ///   ERROR "Failed to save JSON: " + what()       invalid UTF-8 in a string (the JSON library's
  ///                                                type_error), parent directories cannot be
  ///                                                created, a write (EPIPE included), sync,
  ///                                                close or rename fails (the reason names the
  ///                                                file, or "the temporary file for" the target,
  ///                                                and the errno text)
  ///   ERROR "Failed to save JSON: the text indented by <indent> blanks per level is too large
  ///         to hold in memory"                   (or std::bad_alloc's text) for a huge indent
  ///   ERROR "Failed to save JSON: document nested deeper than 500 levels"
  ///                                                the depth readJson accepts; dump() would
  ///                                                recurse that deep. Measured without
  ///                                                recursion before anything is touched.
  static void saveJson(const nlohmann::json& data, const std::string& filepath, int indent = 4);

  /// Loads the first document of the YAML file at `filepath` as YAML::LoadFile does.
  ///
  /// Returns the root node (a Null node for a file without documents, e.g. an empty or
  /// comment-only file).
  /// Throws, after one ERROR line, the exception that loading threw, unchanged:
  ///   YAML::BadFile          "readYaml: cannot open YAML file: <path> - <what()>"
  ///   YAML::ParserException  "readYaml: YAML parse error: <path> - <what()>"
  ///   other std::exception   "readYaml: unknown error for <path> - <what()>"  (such as the
  ///                          std::ios_base::failure of reading a folder)
  ///   anything else          "readYaml: non-std exception for <path>"
  /// Logs before that, in order:
  ///   INFO "readYaml: loading <path> (<size> bytes)"  size 0 when it cannot be determined
  ///   INFO "readYaml: loaded <path>, root type=<type name>"
  ///   WARNING "readYaml: YAML file is empty or invalid: <path>"  only for a Null root
  static YAML::Node readYaml(const std::string& filepath);

  /// Converts a YAML node tree to JSON; the root's path is "$". Logs nothing.
  ///
  /// Null -> null; Sequence -> array; Map -> object (members sorted by name; a later duplicate
  /// key replaces an earlier one; a null key becomes "null"); Scalar -> the first of these that
  /// yaml-cpp's conversions accept: `as<int>` (decimal, 0x hex, leading-0 octal, optional sign),
  /// `as<double>` (also .inf, -.inf, .nan spellings), `as<bool>` (yaml-cpp's spellings: true,
  /// yes, on, y, ... in lower, Title and UPPER case), else the text as a string. Quoting is
  /// ignored: "42" becomes 42. An integer beyond 32 bits becomes a double when the double holds
  /// it exactly (3000000000); one that fits 64 bits but would change as a double (2^53 + 1, or
  /// hex or octal text the double attempt misreads or rejects) is kept as a 64-bit integer.
  ///
  /// Throws std::runtime_error, each level wrapping the message of the level below:
  ///   "Failed converting sequence item at P[i]: ..."
  ///   "Failed reading map key at P: ..."          a key that is a sequence or map
  ///   "Failed converting key 'k' at P: ..."       P is the map's own path
  ///   "Failed to convert scalar at P: ..."
  ///   "Unsupported YAML node type at P: <type name>"  an Undefined node, such as a
  ///                                                   non-const subscript of a missing key
  /// and three bounds, at the node where they are reached (wrapped like the errors above):
  ///   "Alias cycle at P: the node at Q contains itself"
  ///       a node reached again below itself, such as `&a [*a]` or a client's
  ///       `seq.push_back(seq)`; Q is the path of its first, still open, occurrence.
  ///   "Nesting deeper than 500 levels at P"
  ///       more than 500 sequences and maps nested (yaml-cpp's parser stops near 500 itself;
  ///       chains of aliases and trees built in code can go deeper).
  ///   "Alias expansion limit exceeded at P: aliases repeat more than N nodes"
  ///       nodes converted once more because an alias reaches them again (a scalar weighing one
  ///       node per 64 bytes of text, at least one) exceed N = max(100000, 10 x the nodes
  ///       converted for the first time). A document without aliases never reaches it,
  ///       whatever its size; a 342-byte "billion laughs" file stops after 100000 repeats.
  /// and YAML::InvalidNode, unwrapped, when `node` itself is invalid. A default-constructed node
  /// converts to null. A wrapping message keeps at most 4096 bytes of the one below it: its
  /// first 1024 and last 3072, with " [... <n> bytes left out ...] " between.
  /// Complexity: linear in the nodes converted, which the bounds keep below 11 times the
  /// distinct nodes plus 100000; recursion at most 500 levels deep. Extra memory: a set of the
  /// containers and of the scalars of 64 bytes or more, and one path of the deepest node.
  static nlohmann::json yamlNodeToJson(const YAML::Node& node);

  /// Loads `filepath` as readYaml does and converts it like yamlNodeToJson, narrating progress.
  ///
  /// The document is built straight from parser events without yaml-cpp's node tree: memory
  /// stays close to the finished document's own size, and the result, the log lines and the
  /// exceptions are those of loading the tree with readYaml and converting it member by member.
  /// A parse error anywhere in the file wins over a conversion error: then only readYaml's lines
  /// are written. The events come from libyaml's parser, several times faster than yaml-cpp's,
  /// wherever the two are known to agree; a file with anything where they part ways (a libyaml
  /// error, tags, directives, scalars and flow collections over several lines, a '?' anywhere, a
  /// carriage return alone, keys that are collections, unknown aliases, nesting beyond 400 levels,
  /// UTF-16/32) is read again by yaml-cpp's parser (the parser of YAML::LoadFile), silently, so
  /// every file gives what yaml-cpp gives.
  ///
  /// A root that is not a map is converted whole after one INFO line
  /// "readYamlToJson: non-map root, converting whole document" (an empty file gives null).
  /// A map root is converted member by member; a top-level "pose_info" sequence element by
  /// element, with its index in errors. INFO lines, in order:
  ///   "readYamlToJson: begin <path>"
  ///   (the readYaml lines)
  ///   "readYamlToJson: top-level keys (<n>): [k1, k2, ...]"  "<non-string-key>" for a key that
  ///                                                          is not a scalar
  ///   per member in document order, either
  ///     "readYamlToJson: converting top-level key '<k>' of type <type name>"
  ///   or, for a "pose_info" sequence of n elements,
  ///     "readYamlToJson: converting key 'pose_info' as segmented sequence, count=<n>"
  ///     "readYamlToJson: converting pose_info progress <i>/<n>"  for i = 1, every multiple of
  ///                                                              50, and n
  ///     "readYamlToJson: key 'pose_info' converted successfully"
  ///   "readYamlToJson: done <path>"
  ///
  /// Throws what readYaml throws; yaml-cpp's YAML::TypedBadConversion<std::string> for a
  /// top-level key that is not a scalar; the converter's std::runtime_error for a failing
  /// top-level member; and std::runtime_error "Failed converting pose_info[i] in <path>: ..."
  /// for a failing pose_info element. Unlike yamlNodeToJson, keys and string values must be
  /// valid UTF-8 (a document holding other bytes could not be saved with saveJson):
  ///   "Failed reading map key at P: invalid UTF-8 at byte <offset>"   (P: the map's path)
  ///   "Failed to convert scalar at P: invalid UTF-8 at byte <offset>"
  /// wrapped like the converter's other errors. Lines written before a failure stay in the log.
  /// The bounds of yamlNodeToJson hold for the whole file: the root map (level 1) and pose_info
  /// (level 2) are open while their members convert, and repeats count across all members.
  /// Extra memory: the parser, and for nodes below an anchor a copy of their value and their
  /// shape (documents without anchors keep nothing).
  static nlohmann::json readYamlToJson(const std::string& filepath);

  /// What forEachPose calls with each pose: its index in pose_info (from 0) and the pose, which
  /// the visitor may keep (move from it). Returns true to go on, false to stop the walk.
  using PoseVisitor = std::function<bool(std::size_t index, nlohmann::json& pose)>;

  /// Walks the top-level "pose_info" of the pose log at `filepath` one pose at a time, calling
  /// `visit` with each, in memory bounded by the largest pose whatever the file's size.
  ///
  /// A path ending in ".json" (any case) is read as JSON, any other as YAML. Each pose is the
  /// value readJson or readYamlToJson gives for that element of "pose_info" (the same value
  /// types and scalar rules; YAML keys and strings must be valid UTF-8, aliases are copies of
  /// their anchors, bounded as in readYamlToJson), and the walk gives the poses of the
  /// converted document's "pose_info" for every file those read without error. It does not
  /// give their checks or log lines: it writes no lines, reads YAML with libyaml only (where
  /// readYamlToJson may also read with yaml-cpp), reads the first YAML document only, and in
  /// JSON reads the first value only, checking other top-level members with simdjson. The
  /// other top-level members are read and dropped one at a time; anchors are kept with their
  /// values until the end.
  ///
  /// Returns the number of poses handed over (the stopping one included): 0 without
  /// "pose_info" (an empty YAML file, a root that is not a map or object, no such member).
  /// Throws std::runtime_error
  ///   "forEachPose: cannot read <path>"
  ///   "forEachPose: <path>: pose_info[<i>] at line <l>: <reason>"   in pose i
  ///   "forEachPose: <path>: at line <l>: <reason>"                  elsewhere
  /// for syntax errors (libyaml's or simdjson's description), an empty JSON file, "pose_info"
  /// that is not a sequence or appears twice, keys that are not scalars, invalid UTF-8,
  /// nesting deeper than 500 levels, unknown anchors, alias cycles and repeats beyond
  /// readYamlToJson's bound. Poses handed over before an error stay handed over; an exception
  /// from `visit` ends the walk and goes through unchanged.
  /// Complexity: linear in the bytes read; stops reading when `visit` returns false.
  static std::size_t forEachPose(const std::string& filepath, const PoseVisitor& visit);

  Reader() = delete;
};

/// The poses of a pose log pulled one at a time: what Reader::forEachPose walks (the same
/// poses, rules, bounds and exceptions), for callers that cannot hand over a callback (the
/// Python iterator). Reads the file as it goes; holds it open until destroyed. Not copyable;
/// one stream is used by one thread at a time.
class NIMBREL_TAVIK_UTIL_EXPORT PoseStream {
 public:
  /// Opens `filepath` (".json" is read as JSON, any other as YAML); reads nothing yet.
  /// Throws std::runtime_error "forEachPose: cannot read <path>".
  explicit PoseStream(const std::string& filepath);
  ~PoseStream();
  PoseStream(PoseStream&&) noexcept;
  PoseStream& operator=(PoseStream&&) noexcept;
  PoseStream(const PoseStream&) = delete;
  PoseStream& operator=(const PoseStream&) = delete;

  /// Reads the next pose into `pose`. Returns false after the last one (and on every call after
  /// that). Throws what Reader::forEachPose throws; after an exception the stream is not read
  /// again. Complexity: linear in the bytes read up to the pose's end.
  bool next(nlohmann::json& pose);

  /// The index in pose_info of the pose next() read last (valid after next() returned true).
  std::size_t index() const;
  /// The poses read so far.
  std::size_t count() const;

 private:
  struct Cursor;
  std::unique_ptr<Cursor> cursor_;
};

}  // namespace nimbrel_tavik_util
