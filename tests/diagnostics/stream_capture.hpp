// Redirects a standard stream into a string for the lifetime of the object.
#pragma once

#include <ostream>
#include <sstream>
#include <string>

namespace ntu_test {

// A string buffer that also records flushes, so tests can tell std::endl from '\n'.
class CountingBuf : public std::stringbuf {
 public:
  int syncs = 0;
  std::string flushedText;  // everything written up to the last flush

 protected:
  int sync() override {
    ++syncs;
    flushedText = str();
    return std::stringbuf::sync();
  }
};

class StreamCapture {
 public:
  explicit StreamCapture(std::ostream& stream) : stream_(stream), old_(stream.rdbuf(&buf_)) {}
  ~StreamCapture() { stream_.rdbuf(old_); }
  StreamCapture(const StreamCapture&) = delete;
  StreamCapture& operator=(const StreamCapture&) = delete;

  std::string text() const { return buf_.str(); }
  int flushes() const { return buf_.syncs; }
  std::string flushedText() const { return buf_.flushedText; }

 private:
  std::ostream& stream_;
  CountingBuf buf_;
  std::streambuf* old_;
};

}  // namespace ntu_test
