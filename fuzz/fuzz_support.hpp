// Helpers shared by the fuzz targets: quiet logging, a scratch file per process, failure
// reporting, and an outcome tally that the replay program prints.
//
// The targets are linked either with libFuzzer or with replay_main.cpp; nothing here depends on
// which.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <streambuf>
#include <string>

#include "nimbrel_tavik_util/logger.hpp"

namespace ntu_fuzz {

// Keeps the start of what was written since the last clear() and drops the rest, so that the
// log costs no system call per input while a target can still tell which error was logged.
class CaptureBuf : public std::streambuf {
 public:
  void clear() { text_.clear(); }
  const std::string& text() const { return text_; }

 protected:
  int overflow(int c) override {
    if (c != traits_type::eof() && text_.size() < kKeep) text_.push_back(static_cast<char>(c));
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    const std::size_t room = kKeep - std::min(kKeep, text_.size());
    text_.append(s, std::min(room, static_cast<std::size_t>(n)));
    return n;
  }

 private:
  static constexpr std::size_t kKeep = 512;
  std::string text_;
};

// Per-process state: the silenced streams, the scratch file and the tally.
struct Harness {
  CaptureBuf out;
  CaptureBuf err;
  std::string scratch;
  bool tallying = false;
  std::map<std::string, std::size_t> tally;
  std::streambuf* oldOut = nullptr;
  std::streambuf* oldErr = nullptr;

  Harness() {
    // Above ERROR: debug, info and warning lines are not even formatted. error ignores the
    // threshold, so the streams are redirected as well.
    nimbrel_tavik_util::Logger::setLevel(static_cast<nimbrel_tavik_util::Logger::Level>(100));
    oldOut = std::cout.rdbuf(&out);
    oldErr = std::cerr.rdbuf(&err);
    // Memory-backed when possible: ext4 writes a truncated-and-rewritten file back on close,
    // which cost more than the target itself.
    std::error_code ec;
    const std::filesystem::path shm = "/dev/shm";
    const std::filesystem::path dir =
        std::filesystem::is_directory(shm, ec) && ::access(shm.c_str(), W_OK) == 0
            ? shm
            : std::filesystem::temp_directory_path();
    scratch = (dir / ("ntu_fuzz_" + std::to_string(::getpid()) + ".input")).string();
  }
  ~Harness() {
    std::cout.rdbuf(oldOut);
    std::cerr.rdbuf(oldErr);
    std::error_code ec;
    std::filesystem::remove(scratch, ec);
  }
  Harness(const Harness&) = delete;
  Harness& operator=(const Harness&) = delete;
};

inline Harness& harness() {
  static Harness h;
  return h;
}

// Writes the input to the scratch file (binary, truncating) and returns its path.
inline const std::string& writeScratch(const std::uint8_t* data, std::size_t size) {
  Harness& h = harness();
  std::ofstream file(h.scratch, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  file.close();
  if (!file) {
    std::fprintf(stderr, "fuzz harness: cannot write %s\n", h.scratch.c_str());
    std::abort();
  }
  return h.scratch;
}

// Counts one outcome; only the replay program switches counting on.
inline void note(const std::string& outcome) {
  Harness& h = harness();
  if (h.tallying) ++h.tally[outcome];
}

// A broken property: says which, then aborts so that libFuzzer keeps the input.
[[noreturn]] inline void fail(const char* what, const std::string& detail = std::string()) {
  std::fprintf(stderr, "PROPERTY VIOLATED: %s%s%s\n", what, detail.empty() ? "" : ": ",
               detail.c_str());
  std::abort();
}

inline void check(bool ok, const char* what, const std::string& detail = std::string()) {
  if (!ok) fail(what, detail);
}

// The innermost "<what> at $..." step of a wrapped conversion message, e.g. "Failed reading
// map key" for "Failed converting key 'a' at $: Failed reading map key at $.a: bad conversion".
inline std::string innermostStep(const std::string& message) {
  std::string step = "(no path in message)";
  for (std::size_t from = 0;;) {
    const std::size_t at = message.find(" at $", from);
    if (at == std::string::npos) return step;
    const std::size_t start = message.rfind(": ", at);
    step = message.substr(start == std::string::npos || start < from ? from : start + 2,
                          at - (start == std::string::npos || start < from ? from : start + 2));
    from = at + 5;
  }
}

}  // namespace ntu_fuzz
