// JSON files: read the first value of a file, save a document without ever losing the old file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "nimbrel_tavik_util/logger.hpp"
#include "nimbrel_tavik_util/reader.hpp"

namespace nimbrel_tavik_util {

namespace {

namespace fs = std::filesystem;

// Longest file name most Linux file systems take (NAME_MAX).
constexpr std::size_t kMaxNameBytes = 255;
// Same bound as the kernel's for symbolic link chains.
constexpr int kMaxLinkHops = 40;

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
    nlohmann::json document;
    in >> document;
    return document;
  } catch (const std::exception& e) {
    Logger::error(std::string("Failed to read JSON file: ") + e.what());
    return nlohmann::json::object();
  }
}

void Reader::saveJson(const nlohmann::json& data, const std::string& filepath, int indent) {
  try {
    // Serialising first means invalid UTF-8 fails before any file is touched.
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
