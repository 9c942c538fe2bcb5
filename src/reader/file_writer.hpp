// Writing a whole text file so that the old text is never lost to a half-written new one.
#pragma once

#include <string>

namespace nimbrel_tavik_util::file_writer {

enum class Outcome {
  kWritten,    // all of the text reached the target
  kNotOpened,  // nothing was written: the target or a temporary file beside it cannot be opened,
               // or the path is refused (a folder name, a path into /proc)
};

struct Options {
  // Writes the replacement to an unnamed O_TMPFILE first where the file system allows it. Off
  // only in tests, to exercise the named temporary file that other file systems get.
  bool unnamedTemp = true;
};

/// Writes `text` to `filepath`, creating missing parent folders.
///
/// - A path whose last component is empty, "." or ".." (it names a folder) and a path under
///   /proc other than the descriptors below are refused before anything is touched.
/// - /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N (also reached through symbolic
///   links) are written to the process's own descriptor N: the text lands where that
///   descriptor's writes land; nothing is truncated or renamed. C and C++ standard streams on
///   descriptors 1 and 2 are flushed first so that their text comes before it.
/// - A missing or regular file (symbolic links followed) is replaced by a rename, from an
///   unnamed temporary file linked in the same folder just before the rename, or from a
///   temporary file with an unpredictable name where unnamed ones are not supported. The
///   replaced file keeps its permission bits; the data is synced before the rename.
/// - Any other existing file (device, FIFO) is opened and written directly.
/// SIGPIPE is blocked for the calling thread during a direct write, so a reader that has gone
/// shows as EPIPE.
///
/// Throws std::system_error (naming the file and the errno text) when a write, sync, close,
/// link or rename fails, std::filesystem::filesystem_error when folders cannot be created,
/// std::bad_alloc. A temporary file is removed on every failure.
Outcome writeFile(const std::string& filepath, const std::string& text,
                  const Options& options = {});

}  // namespace nimbrel_tavik_util::file_writer
