#include "nimbrel_tavik_util/logger.hpp"

#include <atomic>
#include <cstddef>
#include <iostream>
#include <memory>
#include <mutex>
#include <utility>

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

// The installed sink. A logging call copies the pointer under the lock and calls the sink
// outside it, so a slow sink does not serialise other threads and a sink may replace itself;
// the copy keeps a replaced sink alive until the calls using it return. `installed` lets the
// default path skip the lock.
struct SinkSlot {
  std::mutex mutex;
  std::shared_ptr<const Logger::Sink> sink;  // guarded by mutex
  std::atomic<bool> installed{false};
};

// Never destroyed: static destructors of other libraries may still log at exit.
SinkSlot& sinkSlot() {
  static SinkSlot* const slot = new SinkSlot;
  return *slot;
}

std::shared_ptr<const Logger::Sink> currentSink() {
  SinkSlot& slot = sinkSlot();
  if (!slot.installed.load(std::memory_order_acquire)) return nullptr;
  const std::lock_guard<std::mutex> lock(slot.mutex);
  return slot.sink;
}

// Unformatted writes: a width left pending on the stream by the caller must not pad the
// prefix or the message, so the line is always exactly these bytes.
template <std::size_t N>
void writeLine(std::ostream& os, const char (&prefix)[N], const std::string& message) {
  os.write(prefix, static_cast<std::streamsize>(N - 1));
  os.write(message.data(), static_cast<std::streamsize>(message.size()));
  os << std::endl;
}

// Set while this thread runs the sink. A sink that logs through Logger would otherwise call
// itself until the stack overflows; its own lines go to standard error instead.
thread_local bool inSink = false;

class SinkCall {
 public:
  SinkCall() { inSink = true; }
  ~SinkCall() { inSink = false; }
  SinkCall(const SinkCall&) = delete;
  SinkCall& operator=(const SinkCall&) = delete;
};

template <std::size_t N>
void emit(Logger::Level level, std::ostream& os, const char (&prefix)[N],
          const std::string& message) {
  if (inSink) {
    writeLine(std::cerr, prefix, message);
    return;
  }
  if (const std::shared_ptr<const Logger::Sink> sink = currentSink()) {
    try {
      const SinkCall call;
      (*sink)(level, message);
      return;
    } catch (...) {
      // The readers promise not to throw, and the line should not vanish: standard error is
      // where a program that routes its log away from standard output still looks.
      writeLine(std::cerr, prefix, message);
      return;
    }
  }
  writeLine(os, prefix, message);
}

}  // namespace

void Logger::setSink(Sink sink) {
  std::shared_ptr<const Sink> next;
  if (sink) next = std::make_shared<const Sink>(std::move(sink));
  SinkSlot& slot = sinkSlot();
  std::shared_ptr<const Sink> previous;
  {
    const std::lock_guard<std::mutex> lock(slot.mutex);
    previous = std::move(slot.sink);
    slot.sink = std::move(next);
    slot.installed.store(slot.sink != nullptr, std::memory_order_release);
  }
  // `previous` is released here, outside the lock: its captures' destructors may log.
}

void Logger::resetSink() { setSink(Sink()); }

void Logger::debug(const std::string& message) {
  if (static_cast<std::int32_t>(level_) > DEBUG) return;
  emit(DEBUG, std::cout, "[DEBUG] ", message);
}

void Logger::info(const std::string& message) {
  if (static_cast<std::int32_t>(level_) > INFO) return;
  emit(INFO, std::cout, "[INFO] ", message);
}

void Logger::warning(const std::string& message) {
  if (static_cast<std::int32_t>(level_) > WARNING) return;
  emit(WARNING, std::cerr, "[WARNING] ", message);
}

void Logger::error(const std::string& message) { emit(ERROR, std::cerr, "[ERROR] ", message); }

}  // namespace nimbrel_tavik_util
