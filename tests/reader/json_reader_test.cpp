#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>

#include <nlohmann/json.hpp>

#include "nimbrel_tavik_util/reader.hpp"
#include "reader/reader_test_support.hpp"

namespace {

using nimbrel_tavik_util::Reader;
using nlohmann::json;
using ntu_test::fs::perms;
using Strings = std::vector<std::string>;

class JsonReaderTest : public ntu_test::ReaderTest {
 protected:
  // Runs `body` without root's override of file permissions (in a child that becomes
  // nobody when the tests run as root) and returns what it logged on std::cerr;
  // nullopt when privileges cannot be dropped.
  std::optional<std::string> runUnprivileged(const std::function<void()>& body) {
    if (::geteuid() != 0) {
      body();
      return err_.str();
    }
    int fds[2];
    if (::pipe(fds) != 0) return std::nullopt;
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(fds[0]);
      if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
        ::_exit(77);
      }
      body();
      const std::string text = err_.str();
      const bool ok = ::write(fds[1], text.data(), text.size()) == ssize_t(text.size());
      ::_exit(ok ? 0 : 1);
    }
    ::close(fds[1]);
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) text.append(buf, size_t(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return text;
  }

  static unsigned mode(const std::string& p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
    return st.st_mode & 07777;
  }
};

// --- readJson ---------------------------------------------------------------------------------

TEST_F(JsonReaderTest, MissingFileGivesEmptyObjectAndOneErrorLine) {
  const json doc = Reader::readJson(path("missing.json"));
  EXPECT_TRUE(doc.is_object());
  EXPECT_TRUE(doc.empty());
  EXPECT_EQ(err_.str(), "[ERROR] Failed to open JSON file: " + path("missing.json") + "\n");
  EXPECT_EQ(out_.str(), "");
}

TEST_F(JsonReaderTest, ReadsValuesWithoutLogging) {
  // The first complete value counts; whatever follows it is never examined.
  const std::vector<std::pair<std::string, json>> cases = {
      {"{}", json::object()},
      {"{\"b\": [1, 2.5, \"x\"], \"a\": {\"n\": null}}",
       {{"a", {{"n", nullptr}}}, {"b", {1, 2.5, "x"}}}},
      {"[1, 2] trailing words", {1, 2}},
      {"[1, 2][3]", {1, 2}},
      {"42", 42},
      {"\"text\"", "text"},
      {"null", nullptr},
      {"false", false},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(Reader::readJson(write("doc.json", text)), expected) << text;
  }
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(err_.str(), "");
}

TEST_F(JsonReaderTest, UnparsableFilesGiveEmptyObjectAndReadError) {
  for (const std::string text : {"", "  \n\t", "// note\n{}", "/* c */ 1", "{\"a\": }", "\xff"}) {
    clearStreams();
    const json doc = Reader::readJson(write("bad.json", text));
    EXPECT_EQ(doc, json::object()) << text;
    const Strings lines = errLines();
    ASSERT_EQ(lines.size(), 1u) << text;
    EXPECT_EQ(lines[0].rfind("[ERROR] Failed to read JSON file: [json.exception.parse_error.", 0),
              0u)
        << lines[0];
    EXPECT_EQ(lines[0].find(path("bad.json")), std::string::npos) << "no path in this message";
  }
}

TEST_F(JsonReaderTest, UnreadableFileIsAnOpenError) {
  const std::string p = write("secret.json", "{\"a\": 1}");
  ::chmod(p.c_str(), 0);
  json doc = json::array();
  const auto logged = runUnprivileged([&] { doc = Reader::readJson(p); });
  if (!logged) GTEST_SKIP() << "cannot drop root privileges here";
  EXPECT_EQ(*logged, "[ERROR] Failed to open JSON file: " + p + "\n");
}

TEST_F(JsonReaderTest, FolderIsAnOpenError) {
  ntu_test::fs::create_directory(path("folder.json"));
  EXPECT_EQ(Reader::readJson(path("folder.json")), json::object());
  EXPECT_EQ(err_.str(), "[ERROR] Failed to open JSON file: " + path("folder.json") + "\n");
}

// A sink that throws must not turn the readers' log lines into exceptions: the line goes to
// standard error and the operation goes on.
TEST_F(JsonReaderTest, ThrowingSinkBreaksNeitherReadNorSave) {
  nimbrel_tavik_util::Logger::setSink([](nimbrel_tavik_util::Logger::Level, const std::string&) {
    throw std::runtime_error("sink failed");
  });
  json read = json::array();
  json saved;
  EXPECT_NO_THROW({
    Reader::saveJson({{"a", 1}}, path("doc.json"), -1);
    saved = Reader::readJson(path("doc.json"));
    read = Reader::readJson(path("missing.json"));
  });
  nimbrel_tavik_util::Logger::resetSink();
  EXPECT_EQ(saved, json({{"a", 1}}));
  EXPECT_EQ(read, json::object());
  EXPECT_EQ(errLines(), (Strings{"[INFO] Saved JSON: " + path("doc.json"),
                                 "[ERROR] Failed to open JSON file: " + path("missing.json")}));
  EXPECT_EQ(out_.str(), "");
}

// --- nesting depth ------------------------------------------------------------------------------

const std::string kTooDeep = "document nested deeper than 500 levels";

// `levels` arrays, each holding the next, built without recursion.
json nestedArrays(std::size_t levels) {
  json doc = json::array();
  json* inner = &doc;
  for (std::size_t i = 1; i < levels; ++i) {
    inner->push_back(json::array());
    inner = &inner->back();
  }
  return doc;
}

TEST_F(JsonReaderTest, ReadAcceptsUpTo500LevelsAndRefusesDeeper) {
  auto nested = [](std::size_t levels, const std::string& open, const std::string& close) {
    std::string text;
    for (std::size_t i = 0; i < levels; ++i) text += open;
    text += "0";
    for (std::size_t i = 0; i < levels; ++i) text += close;
    return text;
  };
  EXPECT_EQ(Reader::readJson(write("a500.json", nested(500, "[", "]") + " trailing")).dump(),
            nested(500, "[", "]"));
  EXPECT_EQ(Reader::readJson(write("o500.json", nested(250, "{\"k\":[", "]}"))).dump(),
            nested(250, "{\"k\":[", "]}"));
  EXPECT_EQ(err_.str(), "");

  // Closed or not, arrays or objects: refused at the opening of level 501.
  for (const std::string& text :
       {nested(501, "[", "]"), nested(250, "{\"k\":[", "]}").insert(0, "["),
        std::string(1000000, '['), nested(100000, "[", "]")}) {
    clearStreams();
    EXPECT_EQ(Reader::readJson(write("deep.json", text)), json::object()) << text.size();
    EXPECT_EQ(err_.str(), "[ERROR] Failed to read JSON file: " + kTooDeep + "\n") << text.size();
  }
}

TEST_F(JsonReaderTest, SaveRefusesDocumentsDeeperThan500Levels) {
  const std::string p = path("deep.json");
  Reader::saveJson(nestedArrays(500), p, -1);
  EXPECT_EQ(slurp(p), std::string(500, '[') + std::string(500, ']'));
  EXPECT_EQ(Reader::readJson(p), nestedArrays(500));
  EXPECT_EQ(err_.str(), "");

  // Checked before any file is touched: the old text stays. The deepest branch counts, not the
  // first one; 100000 levels would crash dump() (and copying such a document would too, so
  // each is built in place).
  auto mixed = [](std::size_t levels) {  // depth 2 + levels
    return json{{"a", 1}, {"b", {nestedArrays(3), nestedArrays(levels), 2}}};
  };
  for (const std::size_t which : {0, 1, 2}) {
    clearStreams();
    const json doc = which == 0   ? nestedArrays(501)
                     : which == 1 ? nestedArrays(100000)
                                  : mixed(499);
    Reader::saveJson(doc, p, 2);
    EXPECT_EQ(errLines(), Strings{"[ERROR] Failed to save JSON: " + kTooDeep}) << which;
    EXPECT_EQ(out_.str(), "");
    EXPECT_EQ(slurp(p), std::string(500, '[') + std::string(500, ']'));
  }
  Reader::saveJson(mixed(498), p, -1);
  EXPECT_EQ(Reader::readJson(p), mixed(498));
}

// --- saveJson: text and folders -------------------------------------------------------------

TEST_F(JsonReaderTest, SaveWritesExactTextWithoutFinalNewline) {
  const json doc = {{"b", 1}, {"a", {true, nullptr}}};
  Reader::saveJson(doc, path("default.json"));
  Reader::saveJson(doc, path("four.json"), 4);
  Reader::saveJson(doc, path("zero.json"), 0);
  Reader::saveJson(doc, path("compact.json"), -1);
  const std::string four = "{\n    \"a\": [\n        true,\n        null\n    ],\n    \"b\": 1\n}";
  EXPECT_EQ(slurp(path("default.json")), four);
  EXPECT_EQ(slurp(path("four.json")), four);
  EXPECT_EQ(slurp(path("zero.json")), "{\n\"a\": [\ntrue,\nnull\n],\n\"b\": 1\n}");
  EXPECT_EQ(slurp(path("compact.json")), "{\"a\":[true,null],\"b\":1}");
  EXPECT_EQ(outLines(), (Strings{"[INFO] Saved JSON: " + path("default.json"),
                                 "[INFO] Saved JSON: " + path("four.json"),
                                 "[INFO] Saved JSON: " + path("zero.json"),
                                 "[INFO] Saved JSON: " + path("compact.json")}));
  EXPECT_EQ(err_.str(), "");
  EXPECT_EQ(listing(), (Strings{"compact.json", "default.json", "four.json", "zero.json"}));
}

TEST_F(JsonReaderTest, SaveRoundTripsUtf8AndReplacesOlderContent) {
  const json doc = {{"name",
                     "Gr\xC3\xBC\xC3\x9F"
                     "e \xE2\x80\x94 \xE6\x9D\xB1\xE4\xBA\xAC"}};
  const std::string p = write("utf8.json", std::string(5000, ' ') + "{\"old\": true}");
  Reader::saveJson(doc, p, -1);
  EXPECT_EQ(slurp(p),
            "{\"name\":\"Gr\xC3\xBC\xC3\x9F"
            "e \xE2\x80\x94 \xE6\x9D\xB1\xE4\xBA\xAC\"}");
  EXPECT_EQ(Reader::readJson(p), doc);
  EXPECT_EQ(err_.str(), "");
}

TEST_F(JsonReaderTest, SaveCreatesParentFolders) {
  const std::string p = path("one/two/doc.json");
  Reader::saveJson(json::array(), p);
  EXPECT_EQ(slurp(p), "[]");
  EXPECT_EQ(out_.str(), "[INFO] Saved JSON: " + p + "\n");

  // A bare file name lands in the working folder and creates nothing else.
  const auto cwd = ntu_test::fs::current_path();
  ntu_test::fs::current_path(path("one"));
  Reader::saveJson(json(7), "bare.json");
  ntu_test::fs::current_path(cwd);
  EXPECT_EQ(listing("one"), (Strings{"bare.json", "two"}));
  EXPECT_EQ(slurp(path("one/bare.json")), "7");
}

TEST_F(JsonReaderTest, SaveThroughRegularFileInParentPathFails) {
  write("plain", "x");
  Reader::saveJson(json::object(), path("plain/sub/doc.json"));
  const Strings lines = errLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("[ERROR] Failed to save JSON: filesystem error: ", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find("Not a directory"), std::string::npos) << lines[0];
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(listing(), Strings{"plain"});
  EXPECT_EQ(slurp(path("plain")), "x");
}

TEST_F(JsonReaderTest, SaveToFolderOrSymlinkLoopIsAnOpenError) {
  ntu_test::fs::create_directory(path("folder"));
  ntu_test::fs::create_symlink("loop_b", path("loop_a"));
  ntu_test::fs::create_symlink("loop_a", path("loop_b"));
  Reader::saveJson(json(1), path("folder"));
  Reader::saveJson(json(1), path("loop_a"));
  EXPECT_EQ(errLines(), (Strings{"[ERROR] Failed to open file for writing: " + path("folder"),
                                 "[ERROR] Failed to open file for writing: " + path("loop_a")}));
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(listing(), (Strings{"folder", "loop_a", "loop_b"}));
  EXPECT_TRUE(ntu_test::fs::is_empty(path("folder")));
}

// --- saveJson: the old file survives every failure ---------------------------------------------

TEST_F(JsonReaderTest, InvalidUtf8LeavesExistingFileAndCreatesNothing) {
  const std::string p = write("keep.json", "{\"old\": 1}");
  Reader::saveJson({{"bad", "\xFF"}}, p);
  Reader::saveJson({{"\xC3", 1}}, path("new/dir/doc.json"));
  const Strings lines = errLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0],
            "[ERROR] Failed to save JSON: [json.exception.type_error.316] invalid UTF-8 byte at "
            "index 0: 0xFF");
  EXPECT_EQ(lines[1].rfind("[ERROR] Failed to save JSON: [json.exception.type_error.316] ", 0), 0u);
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(slurp(p), "{\"old\": 1}");
  EXPECT_EQ(listing(), Strings{"keep.json"});  // not even the parent folders
}

TEST_F(JsonReaderTest, FailedWriteLeavesExistingFileAndNoTemporary) {
  // A file size limit makes write() fail with EFBIG part-way, like a full disk.
  const std::string p = write("keep.json", "{\"old\": 1}");
  const json big = json::array({std::string(64 * 1024, 'x')});
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 4096;
  const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  Reader::saveJson(big, p);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, oldHandler);

  const Strings lines = errLines();
  ASSERT_EQ(lines.size(), 1u);
  // Named after the temporary file, or after the target when the temporary file has no name.
  EXPECT_EQ(lines[0].rfind("[ERROR] Failed to save JSON: cannot write ", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find(path("keep.json")), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("': File too large"), std::string::npos) << lines[0];
  EXPECT_EQ(out_.str(), "") << "no success line after a failed write";
  EXPECT_EQ(slurp(p), "{\"old\": 1}");
  EXPECT_EQ(listing(), Strings{"keep.json"});
}

TEST_F(JsonReaderTest, UnwritableFolderOrReadOnlyFileIsAnOpenError) {
  ntu_test::fs::create_directory(path("ro"));
  const std::string inRo = write("ro/keep.json", "old");
  ::chmod(path("ro").c_str(), 0555);
  // A read-only file in a writable folder: a rename could replace it, but must not.
  ntu_test::fs::create_directory(path("rw"));
  ::chmod(path("rw").c_str(), 0777);
  const std::string readOnly = write("rw/locked.json", "old");
  ::chmod(readOnly.c_str(), 0444);

  const auto logged = runUnprivileged([&] {
    Reader::saveJson(json(1), inRo);
    Reader::saveJson(json(1), path("ro/new.json"));
    Reader::saveJson(json(1), readOnly);
  });
  if (!logged) GTEST_SKIP() << "cannot drop root privileges here";
  EXPECT_EQ(ntu_test::splitLines(*logged),
            (Strings{"[ERROR] Failed to open file for writing: " + inRo,
                     "[ERROR] Failed to open file for writing: " + path("ro/new.json"),
                     "[ERROR] Failed to open file for writing: " + readOnly}));
  EXPECT_EQ(slurp(inRo), "old");
  EXPECT_EQ(slurp(readOnly), "old");
  EXPECT_EQ(listing("ro"), Strings{"keep.json"});
  EXPECT_EQ(listing("rw"), Strings{"locked.json"});
}

// --- saveJson: permissions, links and special files --------------------------------------------

TEST_F(JsonReaderTest, ReplacedFileKeepsPermissionsAndNewFileFollowsUmask) {
  const std::string p = write("private.json", "old");
  ::chmod(p.c_str(), 0640);
  Reader::saveJson(json(1), p);
  EXPECT_EQ(mode(p), 0640u);

  const mode_t oldMask = ::umask(027);
  Reader::saveJson(json(2), path("fresh.json"));
  ::umask(oldMask);
  EXPECT_EQ(mode(path("fresh.json")), 0640u);
  EXPECT_EQ(slurp(path("fresh.json")), "2");
  EXPECT_EQ(listing(), (Strings{"fresh.json", "private.json"}));
}

TEST_F(JsonReaderTest, SymlinkIsFollowedAndStays) {
  // links/rel -> ../data/real.json, links/abs -> <dir>/data/real.json, links/dangling -> made.json
  ntu_test::fs::create_directories(path("links"));
  ntu_test::fs::create_directories(path("data"));
  const std::string real = write("data/real.json", "old");
  ::chmod(real.c_str(), 0600);
  ntu_test::fs::create_symlink("../data/real.json", path("links/rel"));
  ntu_test::fs::create_symlink("rel", path("links/chain"));
  ntu_test::fs::create_symlink(real, path("links/abs"));
  ntu_test::fs::create_symlink("made.json", path("links/dangling"));

  Reader::saveJson(json("via chain"), path("links/chain"));
  EXPECT_EQ(slurp(real), "\"via chain\"");
  Reader::saveJson(json("via abs"), path("links/abs"));
  EXPECT_EQ(slurp(real), "\"via abs\"");
  Reader::saveJson(json("made"), path("links/dangling"));
  EXPECT_EQ(slurp(path("links/made.json")), "\"made\"");

  for (const std::string link : {"links/rel", "links/chain", "links/abs", "links/dangling"}) {
    EXPECT_TRUE(ntu_test::fs::is_symlink(path(link))) << link;
  }
  EXPECT_EQ(mode(real), 0600u);
  EXPECT_EQ(listing("data"), Strings{"real.json"});
  EXPECT_EQ(listing("links"), (Strings{"abs", "chain", "dangling", "made.json", "rel"}));
  EXPECT_EQ(err_.str(), "");
  EXPECT_EQ(outLines().size(), 3u);
}

TEST_F(JsonReaderTest, DevicesAreWrittenThrough) {
  Reader::saveJson(json(1), "/dev/null");
  EXPECT_EQ(out_.str(), "[INFO] Saved JSON: /dev/null\n");
  EXPECT_TRUE(ntu_test::fs::is_character_file("/dev/null"));
  if (!ntu_test::fs::is_character_file("/dev/full")) GTEST_SKIP() << "no /dev/full";
  clearStreams();
  Reader::saveJson(json(1), "/dev/full");
  EXPECT_EQ(err_.str(),
            "[ERROR] Failed to save JSON: cannot write '/dev/full': No space left on device\n");
  EXPECT_EQ(out_.str(), "");
}

TEST_F(JsonReaderTest, FifoIsWrittenThroughDirectlyAlsoViaLink) {
  const std::string fifo = path("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ntu_test::fs::create_symlink("pipe", path("pipe_link"));
  // An open read end lets the writer open without blocking; the text fits the pipe buffer.
  const int readEnd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(readEnd, 0);
  Reader::saveJson({{"k", 1}}, fifo, -1);
  Reader::saveJson(json::array(), path("pipe_link"), -1);
  char buf[64] = {};
  const ssize_t n = ::read(readEnd, buf, sizeof buf);
  ::close(readEnd);
  EXPECT_EQ(std::string(buf, n > 0 ? std::size_t(n) : 0), "{\"k\":1}[]");
  EXPECT_TRUE(ntu_test::fs::is_fifo(fifo));
  EXPECT_EQ(listing(), (Strings{"pipe", "pipe_link"}));
  EXPECT_EQ(outLines(),
            (Strings{"[INFO] Saved JSON: " + fifo, "[INFO] Saved JSON: " + path("pipe_link")}));
}

TEST_F(JsonReaderTest, LongFileNameStillGetsATemporaryName) {
  const std::string name(250, 'n');
  Reader::saveJson(json(1), path(name));
  EXPECT_EQ(err_.str(), "");
  EXPECT_EQ(listing(), Strings{name});
}

}  // namespace
