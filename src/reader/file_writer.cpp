// Whole-file writes: replace by rename, write devices and own descriptors through.
#include "reader/file_writer.hpp"

#include <fcntl.h>
#include <linux/magic.h>
#include <poll.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

namespace nimbrel_tavik_util::file_writer {

namespace {

namespace fs = std::filesystem;

// Longest file name most Linux file systems take (NAME_MAX).
constexpr std::size_t kMaxNameBytes = 255;
// Same bound as the kernel's for symbolic link chains.
constexpr int kMaxLinkHops = 40;
// Random characters in a temporary name: 62^12 names, so a clash with leftovers of killed
// writers is practically impossible and a few retries always suffice.
constexpr std::size_t kRandomChars = 12;
constexpr int kNameAttempts = 100;

[[noreturn]] void throwErrno(int err, const std::string& what) {
  throw std::system_error(err, std::generic_category(), what);
}

std::string quoted(const std::string& path) { return "'" + path + "'"; }

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
  void close(const std::string& label) {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) throwErrno(errno, "cannot close " + label);
  }

 private:
  int fd_;
};

// A name in the folder that is removed unless it was renamed into place.
class LinkedName {
 public:
  LinkedName() = default;
  LinkedName(const LinkedName&) = delete;
  LinkedName& operator=(const LinkedName&) = delete;
  ~LinkedName() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  void set(std::string path) { path_ = std::move(path); }
  const std::string& path() const { return path_; }
  void release() { path_.clear(); }

 private:
  std::string path_;
};

// Blocks SIGPIPE for this thread while a pipe or socket is written, so that a reader that has
// gone shows as EPIPE instead of ending the process. A SIGPIPE raised meanwhile is consumed
// before the mask is restored; one that was pending before is left for the caller.
class SigpipeBlock {
 public:
  SigpipeBlock() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    blocked_ = ::pthread_sigmask(SIG_BLOCK, &pipe_, &old_) == 0;
    sigset_t pending;
    wasPending_ = ::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
  }
  SigpipeBlock(const SigpipeBlock&) = delete;
  SigpipeBlock& operator=(const SigpipeBlock&) = delete;
  ~SigpipeBlock() {
    if (!blocked_) return;
    sigset_t pending;
    if (!wasPending_ && ::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
      const timespec zero{0, 0};
      while (::sigtimedwait(&pipe_, nullptr, &zero) < 0 && errno == EINTR) {
      }
    }
    ::pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }

 private:
  sigset_t pipe_;
  sigset_t old_;
  bool blocked_ = false;
  bool wasPending_ = false;
};

void writeAll(int fd, const std::string& text, const std::string& label) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {  // a non-blocking pipe or terminal
        pollfd ready{fd, POLLOUT, 0};
        if (::poll(&ready, 1, -1) >= 0 || errno == EINTR) continue;
      }
      throwErrno(errno, "cannot write " + label);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

// N when `text` is a descriptor number that fits an int.
std::optional<int> descriptorNumber(const std::string& text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  long long value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > INT_MAX) return std::nullopt;
  return static_cast<int>(value);
}

// The last component names a folder ("dir/", "dir/.", ".."): never a file to replace.
bool namesFolder(const fs::path& path) {
  const fs::path name = path.filename();
  return name.empty() || name == "." || name == "..";
}

enum class Kind { kAbsent, kRegular, kOther, kDescriptor, kRefused };

struct Target {
  Kind kind = Kind::kRefused;
  std::string path;     // the file a symbolic link chain ends at, or the path itself
  struct stat st {};    // valid for kRegular
  int descriptor = -1;  // valid for kDescriptor
};

// Recognises the spellings of the process's own descriptors and refuses the rest of /proc,
// by the text of the path alone. Paths with ".." are left to the checks on the real folder.
std::optional<Target> byName(const std::string& path) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(path, ec);
  if (ec) return std::nullopt;
  const fs::path normal = absolute.lexically_normal();
  auto it = normal.begin();
  if (it == normal.end() || ++it == normal.end()) return std::nullopt;
  const std::string top = it->string();
  bool dotDot = false;
  for (const fs::path& part : absolute) dotDot = dotDot || part == "..";

  if (!dotDot) {
    const std::string text = normal.string();
    std::optional<int> fd;
    if (text == "/dev/stdout") fd = 1;
    if (text == "/dev/stderr") fd = 2;
    const std::string parent = normal.parent_path().string();
    if (parent == "/dev/fd" || parent == "/proc/self/fd") {
      fd = descriptorNumber(normal.filename().string());
    }
    if (fd) {
      Target t;
      t.kind = Kind::kDescriptor;
      t.path = path;
      t.descriptor = *fd;
      return t;
    }
  }
  if (top == "proc") {
    Target t;
    t.path = path;
    return t;  // kRefused
  }
  return std::nullopt;
}

// What a folder on procfs means for a file in it: the own descriptor N, or a refusal.
// Catches /dev/fd/N, /dev/stdout and links into /proc however they are spelt.
std::optional<Target> byFolder(const fs::path& path) {
  fs::path dir = path.parent_path();
  if (dir.empty()) dir = ".";
  struct statfs fsInfo {};
  if (::statfs(dir.c_str(), &fsInfo) != 0 || fsInfo.f_type != PROC_SUPER_MAGIC) {
    return std::nullopt;
  }
  Target t;
  t.path = path.string();
  char* real = ::realpath(dir.c_str(), nullptr);
  if (real != nullptr) {
    const bool ownFds = std::string(real) == "/proc/" + std::to_string(::getpid()) + "/fd";
    std::free(real);
    const std::optional<int> fd = descriptorNumber(path.filename().string());
    if (ownFds && fd) {
      t.kind = Kind::kDescriptor;
      t.descriptor = *fd;
    }
  }
  return t;
}

// Follows symbolic links so that the replacement lands on the file they point to while the
// links themselves stay. kRefused also covers a target whose state cannot be determined (a
// link loop, a folder we may not search); such a target is reported as not openable.
Target resolve(const std::string& filepath) {
  Target r;
  r.path = filepath;
  for (int hops = 0;; ++hops) {
    if (std::optional<Target> own = byName(r.path)) return *own;
    if (std::optional<Target> proc = byFolder(r.path)) return *proc;
    if (::lstat(r.path.c_str(), &r.st) != 0) {
      r.kind = (errno == ENOENT) ? Kind::kAbsent : Kind::kRefused;
      return r;
    }
    if (!S_ISLNK(r.st.st_mode)) break;
    if (hops == kMaxLinkHops) return r;
    std::error_code ec;
    const fs::path link = fs::read_symlink(r.path, ec);
    if (ec) return r;
    r.path = link.is_absolute() ? link.string() : (fs::path(r.path).parent_path() / link).string();
  }
  r.kind = S_ISREG(r.st.st_mode) ? Kind::kRegular : Kind::kOther;
  return r;
}

// Writes at the descriptor's own offset (or its end, when opened for appending). Returns false
// when the descriptor is not open for writing.
bool writeDescriptor(int fd, const std::string& text, const std::string& filepath) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || (flags & O_PATH) != 0 || (flags & O_ACCMODE) == O_RDONLY) return false;
  if (fd == STDOUT_FILENO) {
    std::cout.flush();
    std::fflush(stdout);
  } else if (fd == STDERR_FILENO) {
    std::cerr.flush();
    std::clog.flush();
    std::fflush(stderr);
  }
  const SigpipeBlock noSigpipe;
  writeAll(fd, text, quoted(filepath));
  return true;
}

// Direct write, for devices and FIFOs, which cannot be replaced by a rename.
// Returns false when the target cannot be opened.
bool writeThrough(const std::string& filepath, const std::string& text) {
  Fd fd(::open(filepath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (fd.get() < 0) return false;
  {
    const SigpipeBlock noSigpipe;
    writeAll(fd.get(), text, quoted(filepath));
  }
  fd.close(quoted(filepath));
  return true;
}

std::uint64_t splitmix(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// "<dir>/<name>.tmp.<12 random letters and digits>", within NAME_MAX.
std::string tempName(const fs::path& dir, const std::string& name) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[kRandomChars];
  if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
    // No kernel randomness yet (early boot): a per-thread sequence seeded from the clock still
    // gives names that differ between runs and processes.
    thread_local std::uint64_t state =
        static_cast<std::uint64_t>(
            std::chrono::high_resolution_clock::now().time_since_epoch().count()) ^
        (static_cast<std::uint64_t>(::getpid()) << 32) ^ reinterpret_cast<std::uintptr_t>(&bytes);
    for (unsigned char& b : bytes) b = static_cast<unsigned char>(splitmix(state));
  }
  std::string suffix = ".tmp.";
  for (const unsigned char b : bytes) suffix += kAlphabet[b % (sizeof kAlphabet - 1)];
  std::string stem = name;
  if (stem.size() + suffix.size() > kMaxNameBytes) stem.resize(kMaxNameBytes - suffix.size());
  return (dir / (stem + suffix)).string();
}

// Gives the unnamed file `fd` a fresh name in `dir`. Returns 0 or the errno of the failure.
// AT_EMPTY_PATH needs CAP_DAC_READ_SEARCH; the /proc link works for everybody where /proc is
// mounted.
int linkUnnamed(int fd, const fs::path& dir, const std::string& name, LinkedName& linked) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string candidate = tempName(dir, name);
    if (::linkat(fd, "", AT_FDCWD, candidate.c_str(), AT_EMPTY_PATH) == 0 ||
        (errno != EEXIST &&
         ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0)) {
      linked.set(candidate);
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

// Creates a temporary file exclusively, so that a stale or foreign file of that name (or a
// symbolic link planted there) is never written through. Mode 0666 lets the umask and default
// ACLs apply as they would to a file created by std::ofstream.
int createNamed(const fs::path& dir, const std::string& name, LinkedName& linked) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string candidate = tempName(dir, name);
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) linked.set(candidate);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// Text, permissions and a sync: without the sync a crash after the rename can leave an empty
// file on some file systems.
void fill(Fd& fd, const Target& target, const std::string& text, const std::string& label) {
  writeAll(fd.get(), text, label);
  if (target.kind == Kind::kRegular && ::fchmod(fd.get(), target.st.st_mode & 07777) != 0) {
    throwErrno(errno, "cannot copy the permissions of " + quoted(target.path));
  }
  if (::fsync(fd.get()) != 0 && errno != EINVAL) throwErrno(errno, "cannot sync " + label);
}

void renameInto(LinkedName& temp, const std::string& target) {
  if (::rename(temp.path().c_str(), target.c_str()) != 0) {
    throwErrno(errno, "cannot rename " + quoted(temp.path()) + " to " + quoted(target));
  }
  temp.release();
}

// Returns false when no temporary file can be created (or the target may not be written).
bool replace(const Target& target, const std::string& text, const Options& options) {
  if (target.kind == Kind::kRegular &&
      ::faccessat(AT_FDCWD, target.path.c_str(), W_OK, AT_EACCESS) != 0) {
    return false;  // a read-only file stays read-only, as it would for a direct write
  }
  const fs::path real(target.path);
  const std::string name = real.filename().string();
  const fs::path dir = real.parent_path();
  const fs::path folder = dir.empty() ? fs::path(".") : dir;

  // Unnamed first: a writer killed before the link leaves nothing behind.
  if (options.unnamedTemp) {
    Fd fd(::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    const bool unsupported = fd.get() < 0 && (errno == EOPNOTSUPP || errno == EISDIR ||
                                              errno == EINVAL || errno == ENOSYS);
    if (fd.get() < 0 && !unsupported) return false;
    if (fd.get() >= 0) {
      const std::string label = "the temporary file for " + quoted(target.path);
      fill(fd, target, text, label);
      LinkedName linked;
      // Linking fails where neither way is open (no /proc and no privilege): write a named
      // file instead.
      if (linkUnnamed(fd.get(), dir, name, linked) == 0) {
        fd.close(label);
        renameInto(linked, target.path);
        return true;
      }
    }
  }

  LinkedName temp;
  const int raw = createNamed(dir, name, temp);
  if (raw < 0) return false;
  Fd fd(raw);
  const std::string label = quoted(temp.path());
  fill(fd, target, text, label);
  fd.close(label);
  renameInto(temp, target.path);
  return true;
}

}  // namespace

Outcome writeFile(const std::string& filepath, const std::string& text, const Options& options) {
  const fs::path path(filepath);
  // Refused before anything is created: such a path can only name a folder.
  if (namesFolder(path)) return Outcome::kNotOpened;
  std::optional<Target> target = byName(filepath);
  if (!target) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    target = resolve(filepath);
  }
  bool written = false;
  switch (target->kind) {
    case Kind::kDescriptor:
      written = writeDescriptor(target->descriptor, text, filepath);
      break;
    case Kind::kOther:
      written = writeThrough(filepath, text);
      break;
    case Kind::kAbsent:
    case Kind::kRegular:
      written = !namesFolder(fs::path(target->path)) && replace(*target, text, options);
      break;
    case Kind::kRefused:
      break;
  }
  return written ? Outcome::kWritten : Outcome::kNotOpened;
}

}  // namespace nimbrel_tavik_util::file_writer
