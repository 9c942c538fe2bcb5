// Result files of set_cover_solve (-o): a file is replaced whole or left as it was.
#pragma once

#include <string>

namespace set_cover_solve {

/// Writes `text` to `path`. A missing or regular file (symbolic links followed) is replaced by
/// renaming a temporary file written, synced and given the old file's permissions (new files:
/// 0666 less the umask) in the same folder, so a reader or a crash never sees half a file.
/// /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N are written to that descriptor of
/// the process; anything else that exists and is no regular file (a terminal, a pipe, a
/// device) is opened and written directly. Missing folders are not created.
/// Throws std::runtime_error "<what failed>: <errno text>" (the temporary file removed).
void writeFileReplacing(const std::string& path, const std::string& text);

}  // namespace set_cover_solve
