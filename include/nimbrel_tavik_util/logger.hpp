// Levelled console logger.
//
// One line per call, no timestamps: "[DEBUG] ", "[INFO] " go to standard output,
// "[WARNING] ", "[ERROR] " to standard error; each line ends with std::endl (newline + flush).
// The threshold Logger::level_ starts at INFO. `error` ignores the threshold.
//
// Not synchronised: use from one thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include "nimbrel_tavik_util/export.hpp"

namespace nimbrel_tavik_util {

/// Static-only logging facade; never instantiated.
class NIMBREL_TAVIK_UTIL_EXPORT Logger {
 public:
  /// Severity levels. Any 32-bit value may be stored as the threshold.
  enum Level : std::int32_t { DEBUG = 0, INFO = 1, WARNING = 2, ERROR = 3 };

  /// Threshold for debug/info/warning: a call prints when its level >= level_.
  /// Statically initialised to INFO; there is no getter, read this member directly.
  static Level level_;

  /// Stores `level` as the threshold, without any range check (4 silences all but `error`,
  /// -1 lets everything through).
  static void setLevel(Level level);

  /// "DEBUG", "INFO", "WARNING" or "ERROR" for 0..3; "UNKNOWN" for any other value.
  static std::string levelToString(Level level);

  /// Writes "[DEBUG] " + message + endl to std::cout when level_ <= DEBUG.
  static void debug(const std::string& message);
  /// Writes "[INFO] " + message + endl to std::cout when level_ <= INFO.
  static void info(const std::string& message);
  /// Writes "[WARNING] " + message + endl to std::cerr when level_ <= WARNING.
  static void warning(const std::string& message);
  /// Always writes "[ERROR] " + message + endl to std::cerr, whatever the threshold.
  static void error(const std::string& message);

  Logger() = delete;
};

}  // namespace nimbrel_tavik_util
