#include "nimbrel_tavik_util/logger.hpp"

#include <cstddef>
#include <iostream>

namespace nimbrel_tavik_util {

// Constant-initialised, so it holds INFO before any constructor of any library runs.
Logger::Level Logger::level_ = Logger::INFO;

void Logger::setLevel(Level level) { level_ = level; }

std::string Logger::levelToString(Level level) {
  switch (static_cast<std::int32_t>(level)) {
    case DEBUG:
      return "DEBUG";
    case INFO:
      return "INFO";
    case WARNING:
      return "WARNING";
    case ERROR:
      return "ERROR";
    default:
      return "UNKNOWN";
  }
}

namespace {
// Unformatted writes: a width left pending on the stream by the caller must not pad the
// prefix or the message, so the line is always exactly these bytes.
template <std::size_t N>
void writeLine(std::ostream& os, const char (&prefix)[N], const std::string& message) {
  os.write(prefix, static_cast<std::streamsize>(N - 1));
  os.write(message.data(), static_cast<std::streamsize>(message.size()));
  os << std::endl;
}
}  // namespace

void Logger::debug(const std::string& message) {
  if (static_cast<std::int32_t>(level_) > DEBUG) return;
  writeLine(std::cout, "[DEBUG] ", message);
}

void Logger::info(const std::string& message) {
  if (static_cast<std::int32_t>(level_) > INFO) return;
  writeLine(std::cout, "[INFO] ", message);
}

void Logger::warning(const std::string& message) {
  if (static_cast<std::int32_t>(level_) > WARNING) return;
  writeLine(std::cerr, "[WARNING] ", message);
}

void Logger::error(const std::string& message) { writeLine(std::cerr, "[ERROR] ", message); }

}  // namespace nimbrel_tavik_util
