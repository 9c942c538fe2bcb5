// Levelled console logger.
//
// One line per call, no timestamps: "[DEBUG] " and "[INFO] " lines go to std::cout,
// "[WARNING] " and "[ERROR] " lines to std::cerr. A line is the prefix, the message's bytes
// unaltered (embedded newlines and NULs included), then std::endl (newline and flush).
// The threshold Logger::level_ starts at INFO; `error` ignores it.
//
// Not synchronised: use from one thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include "nimbrel_tavik_util/export.hpp"

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

  /// Threshold for debug/info/warning: a call prints when its level >= level_ (compared as
  /// signed 32-bit integers). Constant-initialised to INFO; there is no getter, read this
  /// member directly.
  static Level level_;

  /// Stores `level` as the threshold, without any range check (4 silences all but `error`,
  /// -1 lets everything through).
  static void setLevel(Level level);

  /// Returns "DEBUG", "INFO", "WARNING" or "ERROR" for 0..3 and "UNKNOWN" for any other value.
  static std::string levelToString(Level level);

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
