// Levelled console logger.
//
// One line per call, no timestamps: "[DEBUG] " and "[INFO] " lines go to std::cout,
// "[WARNING] " and "[ERROR] " lines to std::cerr. A line is the prefix, the message's bytes
// unaltered (embedded newlines and NULs included), then std::endl (newline and flush).
// The threshold Logger::level_ starts at INFO; `error` ignores it.
//
// A program can route the lines elsewhere with Logger::setSink (standard error only, a file, its
// own logging framework); the threshold still applies first.
//
// Threads: the four logging functions may be called from several threads at once; so may
// setSink and resetSink, while others log. setLevel and Logger::level_ are not synchronised: set
// the threshold before other threads log. On the default streams the prefix and the message are
// two writes, so lines of concurrent calls may interleave; a sink always receives whole lines.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "nimbrel_tavik_util/export.hpp"

// The level names are common macro names (g++ -DDEBUG, <windows.h>'s ERROR): keep them out of
// the way here and give the includer its macros back at the end of the file.
#pragma push_macro("DEBUG")
#pragma push_macro("INFO")
#pragma push_macro("WARNING")
#pragma push_macro("ERROR")
#undef DEBUG
#undef INFO
#undef WARNING
#undef ERROR

namespace nimbrel_tavik_util {

/// Static-only logging facade; never instantiated.
///
/// None of the functions reports a status or throws on its own. A stream in a failed state
/// swallows the line silently; only the standard library's std::bad_cast (a stream locale
/// without a ctype facet, raised by std::endl) can escape.
class NIMBREL_TAVIK_UTIL_EXPORT Logger {
 public:
  /// Severity levels, 32-bit signed. Any 32-bit value may be stored as the threshold.
  enum Level : std::int32_t { DEBUG = 0, INFO = 1, WARNING = 2, ERROR = 3 };

  /// Receives each line that passes the threshold: its level and the message, without prefix
  /// and without newline.
  using Sink = std::function<void(Level level, const std::string& line)>;

  /// Threshold for debug/info/warning: a call prints when its level >= level_ (compared as
  /// signed 32-bit integers). Constant-initialised to INFO; there is no getter, read this
  /// member directly.
  static Level level_;

  /// Stores `level` as the threshold, without any range check (4 silences all but `error`,
  /// -1 lets everything through).
  static void setLevel(Level level);

  /// Returns "DEBUG", "INFO", "WARNING" or "ERROR" for 0..3 and "UNKNOWN" for any other value.
  static std::string levelToString(Level level);

  /// Sends every later line that passes the threshold to `sink` instead of the standard streams;
  /// an empty function restores them (as resetSink does).
  ///
  /// The sink is called on the logging thread, once per line, possibly from several threads at
  /// once when the program logs from several threads (it must then synchronise itself). If it
  /// throws, the exception is swallowed and that line is written to std::cerr in the default
  /// format ("[INFO] ..."), so the line is not lost and the caller (a reader that promises not
  /// to throw, for instance) goes on as if the line had been written.
  ///
  /// Re-entry: a line that the sink itself logs through Logger (directly or through code it
  /// calls) goes to std::cerr in the default format, whatever its level, instead of to the sink,
  /// which would otherwise call itself until the stack overflows. This holds on the sink's
  /// thread only, while the sink runs; lines of other threads still reach the sink.
  ///
  /// Safe to call while other threads log: each line goes whole to either the old or the new
  /// sink, and the old sink is destroyed once the calls already using it have returned.
  static void setSink(Sink sink);

  /// Restores the default: DEBUG and INFO lines to std::cout, WARNING and ERROR lines to
  /// std::cerr, with their prefixes. Same thread-safety as setSink.
  static void resetSink();

  /// Writes "[DEBUG] " + message + endl to std::cout when level_ <= DEBUG; else touches nothing.
  static void debug(const std::string& message);
  /// Writes "[INFO] " + message + endl to std::cout when level_ <= INFO; else touches nothing.
  static void info(const std::string& message);
  /// Writes "[WARNING] " + message + endl to std::cerr when level_ <= WARNING.
  static void warning(const std::string& message);
  /// Always writes "[ERROR] " + message + endl to std::cerr, whatever level_ holds.
  static void error(const std::string& message);

  Logger() = delete;
};

}  // namespace nimbrel_tavik_util

#pragma pop_macro("ERROR")
#pragma pop_macro("WARNING")
#pragma pop_macro("INFO")
#pragma pop_macro("DEBUG")
