// saveJson against hostile targets: the process's own descriptors, /proc, folder names, readers
// that quit, writers that are killed, and temporary files left by earlier runs.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>

#include <nlohmann/json.hpp>

#include "nimbrel_tavik_util/reader.hpp"
#include "reader/file_writer.hpp"
#include "reader/reader_test_support.hpp"
#include "support/child_process.hpp"

namespace {

using nimbrel_tavik_util::Reader;
using nimbrel_tavik_util::file_writer::Options;
using nimbrel_tavik_util::file_writer::Outcome;
using nimbrel_tavik_util::file_writer::writeFile;
using nlohmann::json;
using Strings = std::vector<std::string>;

class SaveJsonTest : public ntu_test::ReaderTest {
 protected:
  static ino_t inodeOf(const std::string& p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
    return st.st_ino;
  }
  static unsigned mode(const std::string& p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
    return st.st_mode & 07777;
  }
  std::string openFailure(const std::string& p) const {
    return "[ERROR] Failed to open file for writing: " + p;
  }
  // Larger than a pipe's buffer and than the file size limit used below.
  static json big() { return json::array({std::string(1 << 20, 'x')}); }
};

// Makes `fd` the standard descriptor `target` (1 or 2) while in scope.
class Redirect {
 public:
  Redirect(int fd, int target) : target_(target), saved_(::dup(target)) {
    std::fflush(nullptr);
    ::dup2(fd, target);
  }
  ~Redirect() {
    std::fflush(nullptr);
    ::dup2(saved_, target_);
    ::close(saved_);
  }

 private:
  int target_;
  int saved_;
};

// --- the process's own descriptors -------------------------------------------------------------

TEST_F(SaveJsonTest, OwnDescriptorsAreWrittenThroughNeverReplaced) {
  // As `program >> log.txt`: the text is appended where the descriptor writes, the log file
  // keeps its inode and its old lines.
  const std::string log = write("log.txt", "important old log\n");
  const ino_t inode = inodeOf(log);
  const int fd = ::open(log.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const std::string n = std::to_string(fd);
  ntu_test::fs::create_symlink("/dev/fd/" + n, path("link_to_fd"));

  const Strings targets = {"/dev/fd/" + n, "/proc/self/fd/" + n, path("link_to_fd")};
  for (const std::string& target : targets) Reader::saveJson({{"via", target}}, target, -1);
  {
    const Redirect toLog(fd, STDOUT_FILENO);
    ASSERT_EQ(::write(STDOUT_FILENO, "line before\n", 12), 12);
    Reader::saveJson({{"a", 1}}, "/dev/stdout", -1);
    ASSERT_EQ(::write(STDOUT_FILENO, "\nline after\n", 12), 12);
  }
  {
    const Redirect toLog(fd, STDERR_FILENO);
    Reader::saveJson(json::array({2}), "/dev/stderr", -1);
  }
  ::close(fd);

  EXPECT_EQ(slurp(log), "important old log\n{\"via\":\"/dev/fd/" + n +
                            "\"}{\"via\":\"/proc/self/fd/" + n + "\"}{\"via\":\"" +
                            path("link_to_fd") + "\"}line before\n{\"a\":1}\nline after\n[2]");
  EXPECT_EQ(inodeOf(log), inode);
  EXPECT_EQ(listing(), (Strings{"link_to_fd", "log.txt"}));
  EXPECT_EQ(err_.str(), "");
  EXPECT_EQ(outLines(),
            (Strings{"[INFO] Saved JSON: " + targets[0], "[INFO] Saved JSON: " + targets[1],
                     "[INFO] Saved JSON: " + targets[2], "[INFO] Saved JSON: /dev/stdout",
                     "[INFO] Saved JSON: /dev/stderr"}));

  // A pipe behind the descriptor gets the text (it used to be an open failure).
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  Reader::saveJson({{"k", true}}, "/dev/fd/" + std::to_string(fds[1]), -1);
  ::close(fds[1]);
  EXPECT_EQ(slurp("/dev/fd/" + std::to_string(fds[0])), "{\"k\":true}");
  ::close(fds[0]);
}

TEST_F(SaveJsonTest, OtherProcPathsAndUnusableDescriptorsAreOpenFailures) {
  const std::string kept = write("kept.json", "old");
  const int readOnly = ::open(kept.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(readOnly, 0);
  const int closed = 1000;
  ASSERT_EQ(::fcntl(closed, F_GETFD), -1) << "descriptor 1000 is open";
  ntu_test::fs::create_symlink("/proc/self/comm", path("to_proc"));

  const Strings refused = {"/proc/self/status",
                           "/proc/self/fd/x",
                           "/proc/no_such_folder/doc.json",  // used to try creating it
                           "/proc/self/fd/" + std::to_string(readOnly),
                           "/dev/fd/" + std::to_string(closed),
                           path("to_proc")};
  Strings expected;
  for (const std::string& p : refused) {
    Reader::saveJson(json(1), p);
    expected.push_back(openFailure(p));
  }
  ::close(readOnly);
  EXPECT_EQ(errLines(), expected);
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(slurp(kept), "old");  // the file behind the read-only descriptor used to be replaced
  EXPECT_EQ(listing(), (Strings{"kept.json", "to_proc"}));
}

// --- folder names --------------------------------------------------------------------------------

TEST_F(SaveJsonTest, PathsNamingAFolderAreRefusedBeforeAnythingIsCreated) {
  ntu_test::fs::create_directory(path("existing"));
  const Strings folders = {path("new/dir/"), path("new2/."), path("new3/.."), path("existing/"),
                           path("existing/.")};
  Strings expected;
  for (const std::string& p : folders) {
    Reader::saveJson(json(1), p);
    expected.push_back(openFailure(p));
  }
  EXPECT_EQ(errLines(), expected);
  EXPECT_EQ(listing(), Strings{"existing"});  // "new/dir/" used to create new/dir first
  EXPECT_TRUE(ntu_test::fs::is_empty(path("existing")));
}

// --- readers that quit ---------------------------------------------------------------------------

TEST_F(SaveJsonTest, ReaderThatQuitsIsALoggedFailureNotASignal) {
  const std::string fifo = path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Opened here so that the writer does not wait; closed after the first bytes arrive, while
  // the writer is blocked on a full pipe.
  const int readEnd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(readEnd, 0);
  auto signalState = [](std::string& report) {
    sigset_t mask, pending;
    ::pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    ::sigpending(&pending);
    report += sigismember(&mask, SIGPIPE) ? "blocked" : "unblocked";
    report += sigismember(&pending, SIGPIPE) ? ", pending\n" : ", not pending\n";
  };

  const ntu_test::ChildResult child = ntu_test::runInChild(
      [&](std::string& report) {
        ::close(readEnd);
        Reader::saveJson(big(), fifo, -1);
        int fds[2];
        if (::pipe(fds) != 0) return;
        ::close(fds[0]);
        const std::string noReader = "/dev/fd/" + std::to_string(fds[1]);
        Reader::saveJson(json(1), noReader);
        report += noReader + "\n" + err_.str() + out_.str();
        signalState(report);

        // A SIGPIPE the caller already has pending under its own mask stays for the caller.
        sigset_t pipeOnly;
        sigemptyset(&pipeOnly);
        sigaddset(&pipeOnly, SIGPIPE);
        ::pthread_sigmask(SIG_BLOCK, &pipeOnly, nullptr);
        ::raise(SIGPIPE);
        Reader::saveJson(json(1), noReader);
        signalState(report);
      },
      [&] {
        pollfd ready{readEnd, POLLIN, 0};
        char bytes[10];
        if (::poll(&ready, 1, 30000) == 1) (void)!::read(readEnd, bytes, sizeof bytes);
        ::close(readEnd);
      });
  ASSERT_TRUE(child.exitedCleanly()) << child.describe() << "\n" << child.text;
  const std::string noReader = child.text.substr(0, child.text.find('\n'));
  const std::string broken = "[ERROR] Failed to save JSON: cannot write '";
  EXPECT_EQ(child.text, noReader + "\n" + broken + fifo + "': Broken pipe\n" + broken + noReader +
                            "': Broken pipe\nunblocked, not pending\nblocked, pending\n");
}

// --- temporary files -----------------------------------------------------------------------------

TEST_F(SaveJsonTest, WriterKilledMidWriteLeavesNothingBehind) {
  // The file size limit's SIGXFSZ kills the writer part-way through its temporary file.
  const std::string p = write("keep.json", "{\"old\": 1}");
  auto killedWriter = [&](const std::function<void()>& save) {
    return ntu_test::runInChild([&](std::string& report) {
      const rlimit noCore{0, 0};
      const rlimit small{64 * 1024, 64 * 1024};
      ::setrlimit(RLIMIT_CORE, &noCore);
      ::signal(SIGXFSZ, SIG_DFL);
      ::setrlimit(RLIMIT_FSIZE, &small);
      save();
      report += "not killed\n";
    });
  };
  const ntu_test::ChildResult unnamed = killedWriter([&] { Reader::saveJson(big(), p, -1); });
  ASSERT_TRUE(WIFSIGNALED(unnamed.status) && WTERMSIG(unnamed.status) == SIGXFSZ)
      << unnamed.describe() << "\n"
      << unnamed.text;
  EXPECT_EQ(listing(), Strings{"keep.json"});
  EXPECT_EQ(slurp(p), "{\"old\": 1}");

  // Where the file system has no unnamed files, the killed writer's file stays under a random
  // name; it is not in the way of the next save.
  Options named;
  named.unnamedTemp = false;
  const ntu_test::ChildResult withName = killedWriter([&] { writeFile(p, big().dump(), named); });
  ASSERT_TRUE(WIFSIGNALED(withName.status)) << withName.describe();
  const Strings left = listing();
  ASSERT_EQ(left.size(), 2u);
  EXPECT_TRUE(std::regex_match(left[1], std::regex(R"(keep\.json\.tmp\.[A-Za-z0-9]{12})")))
      << left[1];
  EXPECT_EQ(writeFile(p, "[1]", named), Outcome::kWritten);
  EXPECT_EQ(slurp(p), "[1]");
  EXPECT_EQ(listing(), left);
}

TEST_F(SaveJsonTest, LeftoversOfEarlierRunsNeverBlockASave) {
  // Names that depended only on the process id and a counter 0..99: a process restarted under
  // the same id (PID 1 in a container) found all of them taken and could never save again.
  const std::string p = write("doc.json", "old");
  for (int n = 0; n < 100; ++n) {
    write("doc.json.tmp." + std::to_string(::getpid()) + "." + std::to_string(n), "left");
  }
  Reader::saveJson(json(1), p);
  EXPECT_EQ(slurp(p), "1");
  EXPECT_EQ(err_.str(), "");
  Options named;
  named.unnamedTemp = false;
  EXPECT_EQ(writeFile(p, "2", named), Outcome::kWritten);
  EXPECT_EQ(slurp(p), "2");
  EXPECT_EQ(listing().size(), 101u);
}

TEST_F(SaveJsonTest, NamedTemporaryFilesKeepPermissionsLinksAndRefusals) {
  // The fallback for file systems without O_TMPFILE, held to the same promises.
  Options named;
  named.unnamedTemp = false;
  const std::string priv = write("private.json", "old");
  ::chmod(priv.c_str(), 0640);
  ntu_test::fs::create_symlink("private.json", path("link"));
  EXPECT_EQ(writeFile(path("link"), "new", named), Outcome::kWritten);
  EXPECT_EQ(slurp(priv), "new");
  EXPECT_EQ(mode(priv), 0640u);
  EXPECT_TRUE(ntu_test::fs::is_symlink(path("link")));

  const mode_t oldMask = ::umask(027);
  EXPECT_EQ(writeFile(path("sub/fresh.json"), "x", named), Outcome::kWritten);
  ::umask(oldMask);
  EXPECT_EQ(mode(path("sub/fresh.json")), 0640u);
  EXPECT_EQ(writeFile(path("sub/"), "x", named), Outcome::kNotOpened);
  EXPECT_EQ(listing(), (Strings{"link", "private.json", "sub"}));
  EXPECT_EQ(listing("sub"), Strings{"fresh.json"});
}

TEST_F(SaveJsonTest, IndentsBeyondTheSerializersBufferAreWrittenAsAsked) {
  // Blanks after an escaped line break inside a string are text, not indentation.
  const json doc = json::parse(R"({"a": [1, {"b": [], "c": {"d": " \n  x"}}], "e": {}})");
  for (const int indent : {513, 1100, 70000}) {
    Reader::saveJson(doc, path("wide.json"), indent);
    const std::string text = slurp(path("wide.json"));
    // Each line's leading blanks, a whole number of levels, brought back to 4 per level: the
    // library's own dump(4).
    std::string narrowed;
    std::size_t i = 0;
    while (i < text.size()) {
      const bool lineStart = i == 0 || text[i - 1] == '\n';
      std::size_t blanks = 0;
      while (lineStart && i + blanks < text.size() && text[i + blanks] == ' ') ++blanks;
      ASSERT_EQ(blanks % static_cast<std::size_t>(indent), 0u) << "indent " << indent;
      narrowed.append(blanks / static_cast<std::size_t>(indent) * 4, ' ');
      i += blanks;
      if (i < text.size()) narrowed += text[i++];
    }
    EXPECT_EQ(narrowed, doc.dump(4)) << "indent " << indent;
  }
  Reader::saveJson(json::array({1}), path("one.json"), 2000);
  EXPECT_EQ(slurp(path("one.json")), "[\n" + std::string(2000, ' ') + "1\n]");
  EXPECT_EQ(errLines(), Strings{});
}

}  // namespace
