#include "set_cover_solve/output_file.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace set_cover_solve {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const std::string& what, int err) {
  throw std::runtime_error(what + ": " + std::strerror(err));
}

void writeAll(int fd, const std::string& text, const std::string& label) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("cannot write " + label, errno);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

// The file a chain of symbolic links ends at (the path itself when it is no link or the chain
// is broken: then the link is what gets replaced).
std::string finalTarget(const std::string& path) {
  std::error_code ec;
  if (!fs::is_symlink(fs::symlink_status(path, ec))) return path;
  const fs::path resolved = fs::weakly_canonical(path, ec);
  return ec ? path : resolved.string();
}

// The descriptor a path names when it is one of the process's own: /dev/stdout, /dev/stderr,
// /dev/fd/N or /proc/self/fd/N; -1 otherwise. Renaming over what such a path resolves to would
// cut the file away from the descriptor (and drop what was written through it before).
int ownDescriptor(const std::string& path) {
  if (path == "/dev/stdout") return STDOUT_FILENO;
  if (path == "/dev/stderr") return STDERR_FILENO;
  for (const std::string prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    if (path.compare(0, prefix.size(), prefix) != 0 || path.size() == prefix.size()) continue;
    int fd = 0;
    for (std::size_t i = prefix.size(); i < path.size(); ++i) {
      if (path[i] < '0' || path[i] > '9' || fd > 100000000) return -1;
      fd = fd * 10 + (path[i] - '0');
    }
    return fd;
  }
  return -1;
}

mode_t newFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

void writeFileReplacing(const std::string& path, const std::string& text) {
  const int own = ownDescriptor(path);
  if (own >= 0) {
    writeAll(own, text, path);
    return;
  }
  struct stat st {};
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) fail("cannot replace " + path, EISDIR);
  if (exists && !S_ISREG(st.st_mode)) {
    // A device or a pipe cannot be renamed over: its reader gets the text as it comes.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) fail("cannot open " + path, errno);
    try {
      writeAll(fd, text, path);
    } catch (...) {
      ::close(fd);
      throw;
    }
    if (::close(fd) != 0) fail("cannot close " + path, errno);
    return;
  }
  const std::string target = finalTarget(path);
  const fs::path targetPath(target);
  const fs::path folder = targetPath.has_parent_path() ? targetPath.parent_path() : fs::path(".");
  std::string temp = (folder / ("." + targetPath.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) fail("cannot create a temporary file in " + folder.string(), errno);
  try {
    writeAll(fd, text, temp);
    if (::fchmod(fd, exists ? (st.st_mode & 07777) : newFileMode()) != 0) {
      fail("cannot set the permissions of " + temp, errno);
    }
    // Without the sync a crash just after the rename can leave an empty file in its place.
    if (::fsync(fd) != 0) fail("cannot sync " + temp, errno);
  } catch (...) {
    ::close(fd);
    ::unlink(temp.c_str());
    throw;
  }
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    fail("cannot close " + temp, err);
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    fail("cannot rename " + temp + " to " + target, err);
  }
}

}  // namespace set_cover_solve
