#include "set_cover_generate/writer.hpp"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace set_cover_generate {

namespace {

// A megabyte of text at a time: the large instances are hundreds of megabytes, and stdio's
// formatting would dominate the run.
class Output {
 public:
  explicit Output(std::FILE* file) : file_(file), buffer_(1 << 20) {}
  ~Output() = default;
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void text(const char* s, std::size_t n) {
    if (used_ + n > buffer_.size()) flush();
    if (n > buffer_.size()) {
      put(s, n);
      return;
    }
    std::memcpy(buffer_.data() + used_, s, n);
    used_ += n;
  }
  void text(const char* s) { text(s, std::strlen(s)); }
  void character(char c) { text(&c, 1); }

  void integer(long long v) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, v);
    text(digits, static_cast<std::size_t>(result.ptr - digits));
  }

  void cost(double v) {
    char digits[400];
    const auto result =
        std::to_chars(digits, digits + sizeof digits, v, std::chars_format::fixed, 2);
    text(digits, static_cast<std::size_t>(result.ptr - digits));
  }

  void flush() {
    put(buffer_.data(), used_);
    used_ = 0;
  }

  std::int64_t bytes() const { return written_ + static_cast<std::int64_t>(used_); }

 private:
  void put(const char* s, std::size_t n) {
    if (n == 0) return;
    if (std::fwrite(s, 1, n, file_) != n) {
      throw std::runtime_error(std::string("cannot write: ") + std::strerror(errno));
    }
    written_ += static_cast<std::int64_t>(n);
  }

  std::FILE* file_;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
  std::int64_t written_ = 0;
};

void costOf(Output& out, const InstanceSource& source, int column) {
  if (source.hasCosts()) {
    out.cost(source.cost(column));
  } else {
    out.character('1');
  }
}

}  // namespace

WriteCounts writeInstance(const InstanceSource& source, FileFormat format, std::FILE* file) {
  Output out(file);
  WriteCounts counts;
  std::vector<int> line;
  const int n = source.columns();
  if (format == FileFormat::orlib) {
    out.integer(source.rows());
    out.character(' ');
    out.integer(n);
    out.character('\n');
    // Twelve costs a line, as the OR-Library files have them.
    for (int j = 0; j < n; ++j) {
      costOf(out, source, j);
      out.character(j % 12 == 11 || j + 1 == n ? '\n' : ' ');
    }
    for (int i = 0; i < source.rows(); ++i) {
      source.row(i, line);
      counts.entries += static_cast<std::int64_t>(line.size());
      out.integer(static_cast<long long>(line.size()));
      out.character('\n');
      for (std::size_t k = 0; k < line.size(); ++k) {
        if (k > 0) out.character(' ');
        out.integer(line[k] + 1LL);
      }
      out.character('\n');
    }
  } else {
    out.text("{\"sets\": {");
    for (int j = 0; j < n; ++j) {
      source.column(j, line);
      counts.entries += static_cast<std::int64_t>(line.size());
      out.text(j == 0 ? "\n\"" : ",\n\"");
      out.integer(j + 1LL);
      out.text("\": [");
      for (std::size_t k = 0; k < line.size(); ++k) {
        if (k > 0) out.character(',');
        out.integer(line[k] + 1LL);
      }
      out.character(']');
    }
    out.text("\n}");
    if (source.hasCosts()) {
      out.text(",\n\"costs\": {");
      for (int j = 0; j < n; ++j) {
        out.text(j == 0 ? "\n\"" : ",\n\"");
        out.integer(j + 1LL);
        out.text("\": ");
        costOf(out, source, j);
      }
      out.text("\n}");
    }
    out.text("}\n");
  }
  out.flush();
  if (std::fflush(file) != 0) {
    throw std::runtime_error(std::string("cannot write: ") + std::strerror(errno));
  }
  counts.bytes = out.bytes();
  return counts;
}

}  // namespace set_cover_generate
