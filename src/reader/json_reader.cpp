// JSON files: read the first value of a file, save a document without ever losing the old file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "nimbrel_tavik_util/logger.hpp"
#include "nimbrel_tavik_util/reader.hpp"

namespace nimbrel_tavik_util {

namespace {

namespace fs = std::filesystem;

// Longest file name most Linux file systems take (NAME_MAX).
constexpr std::size_t kMaxNameBytes = 255;
// Same bound as the kernel's for symbolic link chains.
constexpr int kMaxLinkHops = 40;

// Deepest nesting that readJson accepts and saveJson writes. The JSON library parses any depth
// without recursion, but copying, comparing and dumping a document recurse once per level, and
// a few tens of thousands of levels exhaust the stack.
constexpr std::size_t kMaxJsonDepth = 500;

std::string tooDeep() {
  return "document nested deeper than " + std::to_string(kMaxJsonDepth) + " levels";
}

// Builds the document from the parser's events with the library's own builder, exactly as the
// stream operator does, and stops at the array or object that opens level kMaxJsonDepth + 1.
class DepthLimitedBuilder {
 public:
  using json = nlohmann::json;

  explicit DepthLimitedBuilder(json& result) : dom_(result, true) {}

  bool null() { return dom_.null(); }
  bool boolean(bool value) { return dom_.boolean(value); }
  bool number_integer(json::number_integer_t value) { return dom_.number_integer(value); }
  bool number_unsigned(json::number_unsigned_t value) { return dom_.number_unsigned(value); }
  bool number_float(json::number_float_t value, const json::string_t& text) {
    return dom_.number_float(value, text);
  }
  bool string(json::string_t& value) { return dom_.string(value); }
  bool binary(json::binary_t& value) { return dom_.binary(value); }
  bool start_object(std::size_t elements) {
    open();
    return dom_.start_object(elements);
  }
  bool key(json::string_t& value) { return dom_.key(value); }
  bool end_object() {
    --depth_;
    return dom_.end_object();
  }
  bool start_array(std::size_t elements) {
    open();
    return dom_.start_array(elements);
  }
  bool end_array() {
    --depth_;
    return dom_.end_array();
  }
  // Throws the library's parse_error, as the stream operator does.
  template <typename Exception>
  bool parse_error(std::size_t position, const std::string& token, const Exception& error) {
    return dom_.parse_error(position, token, error);
  }

 private:
  void open() {
    if (++depth_ > kMaxJsonDepth) throw std::runtime_error(tooDeep());
  }

  nlohmann::detail::json_sax_dom_parser<json> dom_;
  std::size_t depth_ = 0;
};

// Nesting depth of `data` (0 for a scalar, 1 for an array of scalars), measured without
// recursion; stops counting once it exceeds `limit`.
std::size_t depthOf(const nlohmann::json& data, std::size_t limit) {
  std::vector<std::pair<const nlohmann::json*, std::size_t>> pending;
  if (data.is_structured()) pending.emplace_back(&data, 1);
  std::size_t deepest = 0;
  while (!pending.empty() && deepest <= limit) {
    const auto [value, depth] = pending.back();
    pending.pop_back();
    deepest = std::max(deepest, depth);
    for (const nlohmann::json& child : *value) {
      if (child.is_structured()) pending.emplace_back(&child, depth + 1);
    }
  }
  return deepest;
}

[[noreturn]] void throwErrno(int err, const std::string& what) {
  throw std::system_error(err, std::generic_category(), what);
}

// Owns a descriptor; closing is explicit where its result matters.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // close() reports delayed write errors (NFS, quotas), so its result is checked.
  void close(const std::string& name) {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) throwErrno(errno, "cannot close '" + name + "'");
  }

 private:
  int fd_;
};

// A temporary file that is removed unless it was renamed into place.
class TempFile {
 public:
  TempFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    if (!committed_) ::unlink(path_.c_str());
  }
  Fd& fd() { return fd_; }
  const std::string& path() const { return path_; }
  void commit() { committed_ = true; }

 private:
  Fd fd_;
  std::string path_;
  bool committed_ = false;
};

void writeAll(int fd, const std::string& text, const std::string& name) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      throwErrno(errno, "cannot write '" + name + "'");
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

enum class Target { kAbsent, kRegular, kOther, kUnknown };

struct Resolved {
  Target kind;
  std::string path;  // the file a symbolic link chain ends at, or the path itself
  struct stat st;    // valid for kRegular
};

// Follows symbolic links so that the replacement lands on the file they point to while the
// links themselves stay. kUnknown: the target's state cannot be determined (a link loop, a
// folder we may not search); such a target is reported as not openable and left alone.
Resolved resolveTarget(const std::string& filepath) {
  Resolved r{Target::kUnknown, filepath, {}};
  for (int hops = 0;; ++hops) {
    if (::lstat(r.path.c_str(), &r.st) != 0) {
      r.kind = (errno == ENOENT) ? Target::kAbsent : Target::kUnknown;
      return r;
    }
    if (!S_ISLNK(r.st.st_mode)) break;
    if (hops == kMaxLinkHops) return r;
    std::error_code ec;
    const fs::path link = fs::read_symlink(r.path, ec);
    if (ec) return r;
    r.path = link.is_absolute() ? link.string() : (fs::path(r.path).parent_path() / link).string();
  }
  r.kind = S_ISREG(r.st.st_mode) ? Target::kRegular : Target::kOther;
  return r;
}

// Direct write, for devices and FIFOs, which cannot be replaced by a rename.
// Returns false when the target cannot be opened.
bool writeThrough(const std::string& filepath, const std::string& text) {
  Fd fd(::open(filepath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (fd.get() < 0) return false;
  writeAll(fd.get(), text, filepath);
  fd.close(filepath);
  return true;
}

// Creates the temporary file exclusively, so that a stale or foreign file of that name (or a
// symbolic link planted there) is never written through. Mode 0666 lets the umask and default
// ACLs apply as they would to a file created by std::ofstream.
int createTemp(const fs::path& dir, const std::string& name, std::string& tempPath) {
  std::string stem = name;
  const std::string pid = std::to_string(::getpid());
  for (unsigned n = 0; n < 100; ++n) {
    const std::string suffix = ".tmp." + pid + "." + std::to_string(n);
    if (stem.size() + suffix.size() > kMaxNameBytes) stem.resize(kMaxNameBytes - suffix.size());
    tempPath = (dir / (stem + suffix)).string();
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// Returns false when the temporary file cannot be created (or the target may not be written).
bool replaceAtomically(const Resolved& target, const std::string& text) {
  const fs::path real(target.path);
  const std::string name = real.filename().string();
  if (target.kind == Target::kRegular &&
      ::faccessat(AT_FDCWD, target.path.c_str(), W_OK, AT_EACCESS) != 0) {
    return false;  // a read-only file stays read-only, as it would for a direct write
  }
  std::string tempPath;
  const int raw = createTemp(real.parent_path(), name, tempPath);
  if (raw < 0) return false;
  TempFile temp(raw, tempPath);

  writeAll(temp.fd().get(), text, tempPath);
  if (target.kind == Target::kRegular &&
      ::fchmod(temp.fd().get(), target.st.st_mode & 07777) != 0) {
    throwErrno(errno, "cannot copy the permissions of '" + target.path + "'");
  }
  // Without this a crash after the rename can leave an empty file on some file systems.
  if (::fsync(temp.fd().get()) != 0 && errno != EINVAL) {
    throwErrno(errno, "cannot sync '" + tempPath + "'");
  }
  temp.fd().close(tempPath);
  if (::rename(tempPath.c_str(), target.path.c_str()) != 0) {
    throwErrno(errno, "cannot rename '" + tempPath + "' to '" + target.path + "'");
  }
  temp.commit();
  return true;
}

}  // namespace

nlohmann::json Reader::readJson(const std::string& filepath) {
  try {
    std::ifstream in(filepath);
    if (!in.is_open()) {
      Logger::error("Failed to open JSON file: " + filepath);
      return nlohmann::json::object();
    }
    // The stream operator's parse (first value only, trailing text unread, no comments), with
    // a bound on the nesting.
    nlohmann::json document;
    DepthLimitedBuilder builder(document);
    nlohmann::json::sax_parse(in, &builder, nlohmann::json::input_format_t::json,
                              /*strict=*/false, /*ignore_comments=*/false);
    return document;
  } catch (const std::exception& e) {
    Logger::error(std::string("Failed to read JSON file: ") + e.what());
    return nlohmann::json::object();
  }
}

void Reader::saveJson(const nlohmann::json& data, const std::string& filepath, int indent) {
  try {
    // Serialising first means invalid UTF-8 fails before any file is touched. dump() recurses
    // once per level, so the depth is checked first.
    if (depthOf(data, kMaxJsonDepth) > kMaxJsonDepth) throw std::runtime_error(tooDeep());
    const std::string text = data.dump(indent, ' ', false, nlohmann::json::error_handler_t::strict);

    const fs::path path(filepath);
    if (path.has_parent_path()) fs::create_directories(path.parent_path());

    const Resolved target = resolveTarget(filepath);
    const std::string name = fs::path(target.path).filename().string();
    bool opened = false;
    if (target.kind == Target::kOther) {
      opened = writeThrough(filepath, text);
    } else if (target.kind != Target::kUnknown && !name.empty() && name != "." && name != "..") {
      opened = replaceAtomically(target, text);
    }
    if (!opened) {
      Logger::error("Failed to open file for writing: " + filepath);
      return;
    }
    Logger::info("Saved JSON: " + filepath);
  } catch (const std::exception& e) {
    Logger::error(std::string("Failed to save JSON: ") + e.what());
  }
}

}  // namespace nimbrel_tavik_util
