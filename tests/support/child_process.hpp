// Runs a test body in a forked child, for faults that end a process (signals, aborts, kills):
// the test then fails on the child's status instead of taking the test runner down.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <functional>
#include <iostream>
#include <string>

namespace ntu_test {

struct ChildResult {
  int status = 0;    // as waitpid reports it
  std::string text;  // what the child wrote to its stdout and stderr, then its `report`

  bool exitedCleanly() const { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }
  std::string describe() const {
    if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
    return "wait status " + std::to_string(status);
  }
};

// `body` fills `report`; the child's descriptors 1 and 2 go to the same pipe, so anything a
// library prints there shows up in `text` ahead of the report. `parentSide`, if given, runs in
// the parent while the child works (the other end of a pipe, say). The child ends after
// `seconds` at the latest (SIGALRM), so a hang fails the test instead of stalling it.
inline ChildResult runInChild(const std::function<void(std::string& report)>& body,
                              const std::function<void()>& parentSide = {}, unsigned seconds = 30) {
  ChildResult result;
  int fds[2];
  if (::pipe(fds) != 0) {
    result.status = -1;
    return result;
  }
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    ::dup2(fds[1], STDOUT_FILENO);
    ::dup2(fds[1], STDERR_FILENO);
    ::alarm(seconds);
    std::string report;
    try {
      body(report);
    } catch (const std::exception& e) {
      report += std::string("uncaught: ") + e.what() + "\n";
    }
    std::fflush(nullptr);
    const char* p = report.data();
    std::size_t left = report.size();
    while (left > 0) {
      const ssize_t n = ::write(fds[1], p, left);
      if (n <= 0) ::_exit(3);
      p += n;
      left -= static_cast<std::size_t>(n);
    }
    ::_exit(0);
  }
  ::close(fds[1]);
  if (parentSide) parentSide();
  char buf[4096];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) {
    result.text.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  ::waitpid(pid, &result.status, 0);
  return result;
}

}  // namespace ntu_test
