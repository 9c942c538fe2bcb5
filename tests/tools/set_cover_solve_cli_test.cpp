// set_cover_solve run as a child process: every format and method with the answer parsed back
// and checked, bad input and usage errors, the time limit, SIGINT/SIGTERM, the live progress line
// on a pseudo-terminal, corpus files and the JSON/YAML fuzz corpora.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "setcover/corpus_reader.hpp"

namespace fs = std::filesystem;

namespace {

const std::string kProgram = SET_COVER_SOLVE_PROGRAM;
const fs::path kCorpora = NTU_CORPORA_DIR;

struct ChildRun {
  int status = -1;  // as waitpid reports it
  bool timedOut = false;
  std::string out;
  std::string err;
  double wallSeconds = 0;

  int exitCode() const { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }
  std::string describe() const {
    std::string s = timedOut ? "timed out, " : "";
    if (WIFEXITED(status)) s += "exit " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) s += "killed by signal " + std::to_string(WTERMSIG(status));
    return s + "\nstdout: " + out + "\nstderr: " + err;
  }
  std::vector<std::string> errLines() const {
    std::vector<std::string> lines;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

// Runs the program with `args`, standard input from `inputFile` (or /dev/null), collecting
// both output streams. `signalAfter` > 0 sends `sig` that many seconds after the start. The
// child is killed after `timeout` seconds.
ChildRun runProgram(const std::vector<std::string>& args,
                    const std::string& inputFile = "/dev/null", double signalAfter = 0,
                    int sig = SIGINT, double timeout = 60) {
  ChildRun run;
  int outPipe[2];
  int errPipe[2];
  if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) return run;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int in = ::open(inputFile.c_str(), O_RDONLY);
    if (in < 0) ::_exit(125);
    ::dup2(in, STDIN_FILENO);
    ::dup2(outPipe[1], STDOUT_FILENO);
    ::dup2(errPipe[1], STDERR_FILENO);
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(kProgram.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(kProgram.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  const auto elapsed = [&start] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&run.out, &run.err};
  int open = 2;
  bool signalled = false;
  while (open > 0) {
    if (signalAfter > 0 && !signalled && elapsed() >= signalAfter) {
      ::kill(pid, sig);
      signalled = true;
    }
    if (!run.timedOut && elapsed() >= timeout) {
      ::kill(pid, SIGKILL);
      run.timedOut = true;
    }
    if (::poll(fds, 2, 20) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      char buf[4096];
      const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<std::size_t>(n));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  ::waitpid(pid, &run.status, 0);
  run.wallSeconds = elapsed();
  return run;
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "set_cover_solve_cli.XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string write(const std::string& name, const std::string& text) const {
    const fs::path p = path_ / name;
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
  }

 private:
  fs::path path_;
};

// The Steiner triple system on 9 points: 12 rows (elements) of three columns (sets); its
// minimum cover has 5 columns.
const std::vector<std::vector<int>> kSts9 = {{2, 3, 4}, {1, 3, 5}, {1, 2, 6}, {5, 6, 7},
                                             {4, 6, 8}, {4, 5, 9}, {1, 8, 9}, {2, 7, 9},
                                             {3, 7, 8}, {1, 4, 7}, {2, 5, 8}, {3, 6, 9}};
const std::vector<int> kSts9Costs = {3, 1, 4, 1, 5, 9, 2, 6, 5};  // column costs (weighted)

std::string sts9OrLibrary() {
  std::string s = "12 9\n";
  for (const int c : kSts9Costs) s += std::to_string(c) + " ";
  s += "\n";
  for (const auto& row : kSts9) {
    s += "3 " + std::to_string(row[0]) + " " + std::to_string(row[1]) + " " +
         std::to_string(row[2]) + "\n";
  }
  return s;
}

std::string sts9Steiner() {
  std::string s = "9 12\n";
  for (const auto& row : kSts9) {
    s +=
        std::to_string(row[0]) + " " + std::to_string(row[1]) + " " + std::to_string(row[2]) + "\n";
  }
  return s;
}

// Column id -> its rows, as numbers or as the strings "r<row>".
nlohmann::json sts9Document(bool strings) {
  nlohmann::json sets = nlohmann::json::object();
  for (int c = 1; c <= 9; ++c) sets[std::to_string(c)] = nlohmann::json::array();
  for (std::size_t r = 0; r < kSts9.size(); ++r) {
    for (const int c : kSts9[r]) {
      const int row = static_cast<int>(r) + 1;
      sets[std::to_string(c)].push_back(strings ? nlohmann::json("r" + std::to_string(row))
                                                : nlohmann::json(row));
    }
  }
  nlohmann::json costs = nlohmann::json::object();
  for (int c = 1; c <= 9; ++c) costs[std::to_string(c)] = kSts9Costs[c - 1];
  return {{"sets", sets}, {"costs", costs}};
}

// The same document as YAML (block maps, flow sequences).
std::string toYaml(const nlohmann::json& doc) {
  std::string s;
  for (const auto& [member, entries] : doc.items()) {
    s += member + ":\n";
    for (const auto& [id, value] : entries.items()) s += "  \"" + id + "\": " + value.dump() + "\n";
  }
  return s;
}

// The ids cover every row of STS(9), each id once, ascending.
void expectSts9Cover(const nlohmann::json& ids, const std::string& where) {
  std::set<int> rows;
  int last = 0;
  for (const auto& id : ids) {
    const int c = id.get<int>();
    EXPECT_GT(c, last) << where;
    last = c;
    for (std::size_t r = 0; r < kSts9.size(); ++r) {
      for (const int col : kSts9[r]) {
        if (col == c) rows.insert(static_cast<int>(r));
      }
    }
  }
  EXPECT_EQ(rows.size(), kSts9.size()) << where << ": not a cover: " << ids.dump();
}

// The cheapest cover of STS(9) under kSts9Costs, by trying every subset of columns.
int sts9CheapestCover() {
  int best = 1 << 30;
  for (int mask = 0; mask < (1 << 9); ++mask) {
    bool covers = true;
    for (const auto& row : kSts9) {
      bool hit = false;
      for (const int c : row) hit = hit || ((mask >> (c - 1)) & 1) != 0;
      covers = covers && hit;
    }
    if (!covers) continue;
    int cost = 0;
    for (int c = 0; c < 9; ++c) cost += ((mask >> c) & 1) != 0 ? kSts9Costs[c] : 0;
    best = std::min(best, cost);
  }
  return best;
}

// A random OR-Library instance shaped like scp4x (2 % density), 400 rows and 1000 columns, that
// no method proves within seconds; written deterministically from a fixed seed.
std::string hardOrLibrary() {
  std::mt19937 engine(20261207u);
  const int m = 400;
  const int n = 1000;
  std::string s = std::to_string(m) + " " + std::to_string(n) + "\n";
  for (int j = 0; j < n; ++j) s += "1 ";
  s += "\n";
  for (int i = 0; i < m; ++i) {
    std::set<int> cols;
    while (cols.size() < 20) cols.insert(static_cast<int>(engine() % n) + 1);
    s += std::to_string(cols.size());
    for (const int c : cols) s += " " + std::to_string(c);
    s += "\n";
  }
  return s;
}

// Every row of `text` (OR-Library) is covered by `ids`.
void expectOrLibraryCover(const std::string& path, const nlohmann::json& ids) {
  const ntu_corpus::Instance inst = ntu_corpus::readOrLibrary(path);  // ids from 0
  std::set<int> uncovered;
  for (const auto& entry : inst) uncovered.insert(entry.second.begin(), entry.second.end());
  for (const auto& id : ids) {
    for (const int e : inst.at(id.get<int>() - 1)) uncovered.erase(e);
  }
  EXPECT_TRUE(uncovered.empty()) << uncovered.size() << " rows of " << path << " not covered";
}

nlohmann::json parseJsonOutput(const ChildRun& run) {
  const nlohmann::json j = nlohmann::json::parse(run.out, nullptr, false);
  EXPECT_FALSE(j.is_discarded()) << run.describe();
  return j;
}

// ---------------------------------------------------------------------------------------------

TEST(SetCoverSolveCli, EveryFormatAndMethodGivesACheckedCover) {
  TempDir dir;
  const std::vector<std::pair<std::string, std::string>> files = {
      {dir.write("sts9.txt", sts9OrLibrary()), "orlib"},
      {dir.write("data.9", sts9Steiner()), "steiner"},
      {dir.write("sts9.json", sts9Document(false).dump()), "json"},
      {dir.write("sts9_strings.json", sts9Document(true).dump()), "json"},
      {dir.write("sts9.yaml", toYaml(sts9Document(false))), "yaml"},
      {dir.write("sts9_strings.yml", toYaml(sts9Document(true))), "yaml"},
  };
  const std::vector<std::string> methods = {"best", "greedy", "greedy-continuity", "ilp",
                                            "propagate"};
  for (const auto& [path, format] : files) {
    for (const std::string& method : methods) {
      const std::string where = path + " --method " + method;
      const ChildRun run = runProgram({"--json", "--method", method, path});
      ASSERT_EQ(run.exitCode(), 0) << where << "\n" << run.describe();
      EXPECT_EQ(run.err, "") << where;
      const nlohmann::json j = parseJsonOutput(run);
      expectSts9Cover(j.at("ids"), where);
      EXPECT_EQ(j.at("cost").get<double>(), static_cast<double>(j.at("ids").size())) << where;
      EXPECT_EQ(j.at("method"), method) << where;
      EXPECT_EQ(j.at("instance").at("format"), format) << where;
      EXPECT_EQ(j.at("instance").at("sets"), 9) << where;
      EXPECT_EQ(j.at("instance").at("elements"), 12) << where;
      EXPECT_EQ(j.at("instance").at("entries"), 36) << where;
      const bool exact = method == "best" || method == "ilp" || method == "propagate";
      if (exact) {
        EXPECT_EQ(j.at("cost"), 5) << where;
        EXPECT_EQ(j.at("lowerBound"), 5) << where;
        EXPECT_EQ(j.at("optimal"), true) << where;
      } else {
        EXPECT_TRUE(j.at("lowerBound").is_null()) << where;
        EXPECT_EQ(j.at("optimal"), false) << where;
      }
      EXPECT_EQ(j.at("nodes").is_null(), method != "best") << where;
    }
  }
  // The human summary and the ids alone, on the same file.
  const ChildRun human = runProgram({files[0].first});
  ASSERT_EQ(human.exitCode(), 0) << human.describe();
  EXPECT_NE(human.out.find("size         5\n"), std::string::npos) << human.out;
  EXPECT_NE(human.out.find("optimal      yes\n"), std::string::npos) << human.out;
  // The library's log lines (INFO goes to standard output by default) stay on standard error.
  const ChildRun verbose = runProgram({"--verbose", "--json", files[4].first});
  ASSERT_EQ(verbose.exitCode(), 0) << verbose.describe();
  EXPECT_EQ(parseJsonOutput(verbose).at("cost"), 5);
  EXPECT_NE(verbose.err.find("[INFO] readYamlToJson: begin "), std::string::npos) << verbose.err;
  const ChildRun quiet = runProgram({"--quiet", "--method", "greedy", files[1].first});
  ASSERT_EQ(quiet.exitCode(), 0) << quiet.describe();
  EXPECT_TRUE(std::regex_match(quiet.out, std::regex("[0-9]+( [0-9]+)*\n"))) << quiet.out;
}

TEST(SetCoverSolveCli, WeightedMatchesAnExhaustiveSearchAndStdinIsRead) {
  TempDir dir;
  const int cheapest = sts9CheapestCover();
  for (const std::string& path :
       {dir.write("w.txt", sts9OrLibrary()), dir.write("w.json", sts9Document(false).dump()),
        dir.write("w.yaml", toYaml(sts9Document(true)))}) {
    const ChildRun run = runProgram({"--json", "--weighted", path});
    ASSERT_EQ(run.exitCode(), 0) << path << "\n" << run.describe();
    const nlohmann::json j = parseJsonOutput(run);
    expectSts9Cover(j.at("ids"), path);
    int sum = 0;
    for (const auto& id : j.at("ids")) sum += kSts9Costs[id.get<int>() - 1];
    EXPECT_EQ(j.at("cost"), sum) << path;
    EXPECT_EQ(j.at("cost"), cheapest) << path;
    EXPECT_EQ(j.at("optimal"), true) << path;
    EXPECT_EQ(j.at("weighted"), true) << path;
  }
  // "-": OR-Library unless --format says otherwise.
  const ChildRun orlib = runProgram({"--json", "-"}, dir.write("in.txt", sts9OrLibrary()));
  ASSERT_EQ(orlib.exitCode(), 0) << orlib.describe();
  EXPECT_EQ(parseJsonOutput(orlib).at("cost"), 5);
  const ChildRun yaml = runProgram({"--json", "--format", "yaml", "-"},
                                   dir.write("in.yaml", toYaml(sts9Document(true))));
  ASSERT_EQ(yaml.exitCode(), 0) << yaml.describe();
  EXPECT_EQ(parseJsonOutput(yaml).at("cost"), 5);
}

TEST(SetCoverSolveCli, MalformedInputGivesStatusOneAndOneLine) {
  TempDir dir;
  struct Case {
    std::string name;
    std::string text;
    std::string where;  // what follows "<file>:" on the line (an ERE)
    std::vector<std::string> extra = {};
  };
  const std::vector<Case> cases = {
      {"col.txt", "2 2\n1 1\n1 3\n1 1\n", "3: a column of row 1 is 3, outside 1..2"},
      {"short.txt", "2 2\n1 1\n1 1\n", "3: expected the column count of row 2"},
      {"word.txt", "2 x\n", "1: expected column count, found 'x'"},
      {"cost.txt", "1 1\n0\n1 1\n", "2: column cost '0' is not positive"},
      {"trail.txt", "1 1\n1\n1 1\n7\n", "4: unexpected '7' after the last row"},
      {"huge.txt", "2000000000 2000000000\n1 1\n", "2: expected column cost"},
      {"data.7", "9 3\n1 2 3\n4 5 6\n7 8 10\n", "4: a column of row 3 is 10, outside 1..9"},
      {"huge.stn", "1000000000 1000000000\n1 2 3\n", "2: expected a column of row 2"},
      {"syntax.json", "{\"sets\": {\"1\": [1,\n x]}}", "2: column 2: syntax error"},
      {"mixed.json", R"({"sets": {"1": [1, 2], "2": [3, "a"]}})",
       "/sets/2/1: expected an integer element"},
      {"id.json", R"({"sets": {"-1": [1]}})", "/sets/-1: set id '-1' is not a non-negative"},
      {"cost.json", R"({"sets": {"1": [1]}, "costs": {"2": 1}})",
       "/costs/2: cost of an id that is not a set"},
      {"nan.json", R"({"sets": {"1": [1]}, "costs": {"1": -1}})", "/costs/1: cost must be"},
      {"root.json", "[1, 2]", "/: expected an object"},
      {"syntax.yaml", "sets:\n  1: [1, 2\n  2: [3]\n", "[0-9]+: "},
      {"inf.yaml", "sets:\n  1: [1]\ncosts:\n  1: .inf\n", "/costs/1: cost must be"},
      {"elem.yml", "sets:\n  1: [1, [2]]\n", "/sets/1/1: expected an integer element"},
      {"missing.json", "", " cannot open"},
      {"stdin.json", "{\"sets\": 3}", "/sets: expected an object", {"--format", "json"}},
  };
  for (const Case& c : cases) {
    std::string path = dir.write(c.name, c.text);
    std::vector<std::string> args = c.extra;
    std::string input = "/dev/null";
    std::string shown = path;
    if (c.name == "missing.json") {
      fs::remove(path);
    } else if (c.name == "stdin.json") {
      input = path;
      path = "-";
      shown = "<stdin>";
    }
    args.push_back(path);
    const ChildRun run = runProgram(args, input, 0, SIGINT, 20);
    EXPECT_EQ(run.exitCode(), 1) << c.name << "\n" << run.describe();
    EXPECT_EQ(run.out, "") << c.name;
    const std::vector<std::string> lines = run.errLines();
    ASSERT_EQ(lines.size(), 1u) << c.name << "\n" << run.err;
    const std::string prefix = "set_cover_solve: " + shown + ":";
    ASSERT_EQ(lines[0].compare(0, prefix.size(), prefix), 0) << lines[0];
    EXPECT_TRUE(std::regex_search(lines[0].substr(prefix.size()), std::regex("^" + c.where)))
        << c.name << ": " << lines[0];
  }
}

TEST(SetCoverSolveCli, HelpVersionAndUsageErrors) {
  const ChildRun help = runProgram({"--help"});
  EXPECT_EQ(help.exitCode(), 0);
  EXPECT_EQ(help.out.compare(0, 30, "usage: set_cover_solve [option"), 0) << help.out;
  EXPECT_EQ(help.err, "");
  const ChildRun version = runProgram({"--version"});
  EXPECT_EQ(version.exitCode(), 0);
  EXPECT_TRUE(std::regex_match(version.out,
                               std::regex("set_cover_solve \\(nimbrel_tavik_util\\) [0-9.]+\n")))
      << version.out;
  const std::vector<std::vector<std::string>> usage = {
      {"--frobnicate", "x.txt"},
      {},
      {"a.txt", "b.txt"},
      {"--method", "simplex", "x.txt"},
      {"--format", "csv", "x.txt"},
      {"--time-limit", "-1", "x.txt"},
      {"--node-limit", "many", "x.txt"},
      {"--method", "greedy", "--time-limit", "1", "x.txt"},
      {"--method=ilp", "--weighted", "x.txt"},
      {"--method", "propagate", "--node-limit", "5", "x.txt"},
      {"--json", "--quiet", "x.txt"},
      {"x.txt", "--time-limit"},
  };
  for (const auto& args : usage) {
    std::string where;
    for (const auto& a : args) where += a + " ";
    const ChildRun run = runProgram(args);
    EXPECT_EQ(run.exitCode(), 2) << where << "\n" << run.describe();
    EXPECT_EQ(run.out, "") << where;
    EXPECT_EQ(run.errLines().size(), 1u) << where << "\n" << run.err;
  }
}

TEST(SetCoverSolveCli, TimeLimitIsHonouredOnAHardInstance) {
  TempDir dir;
  const std::string path = dir.write("hard.txt", hardOrLibrary());
  const ChildRun run = runProgram({"--json", "--time-limit", "1", path});
  ASSERT_EQ(run.exitCode(), 0) << run.describe();
  // Nothing else on standard error: the plain progress line comes every 5 s at most.
  EXPECT_EQ(run.err, "");
  const nlohmann::json j = parseJsonOutput(run);
  EXPECT_EQ(j.at("optimal"), false);
  EXPECT_EQ(j.at("stopped"), "time limit");
  EXPECT_LE(j.at("seconds").get<double>(), 1.5);
  EXPECT_LT(run.wallSeconds, 15.0);  // numbering and output are small beside the limit
  EXPECT_LE(j.at("lowerBound").get<double>(), j.at("cost").get<double>());
  expectOrLibraryCover(path, j.at("ids"));
}

TEST(SetCoverSolveCli, SigintAndSigtermPrintTheBestCoverNotProven) {
  TempDir dir;
  const std::string path = dir.write("hard.txt", hardOrLibrary());
  for (const int sig : {SIGINT, SIGTERM}) {
    const ChildRun run = runProgram({"--json", path}, "/dev/null", 1.5, sig, 60);
    ASSERT_FALSE(run.timedOut) << run.describe();
    ASSERT_EQ(run.exitCode(), 128 + sig) << run.describe();
    const nlohmann::json j = parseJsonOutput(run);
    EXPECT_EQ(j.at("optimal"), false);
    EXPECT_EQ(j.at("stopped"), sig == SIGINT ? "SIGINT" : "SIGTERM");
    EXPECT_LT(run.wallSeconds, 10.0);
    expectOrLibraryCover(path, j.at("ids"));
  }
}

TEST(SetCoverSolveCli, TerminalShowsALiveLineRedrawnInPlace) {
  TempDir dir;
  const std::string path = dir.write("hard.txt", hardOrLibrary());
  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) GTEST_SKIP() << "no pseudo-terminal here: " << std::strerror(errno);
  if (pid == 0) {
    ::execl(kProgram.c_str(), kProgram.c_str(), "--time-limit", "1.5", path.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  std::string text;
  char buf[4096];
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    pollfd p{master, POLLIN, 0};
    if (::poll(&p, 1, 100) > 0) {
      const ssize_t n = ::read(master, buf, sizeof buf);
      if (n <= 0) break;  // EIO once the child has closed the terminal
      text.append(buf, static_cast<std::size_t>(n));
    }
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(30)) {
      ::kill(pid, SIGKILL);
      break;
    }
  }
  ::close(master);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << text;
  // The live line: carriage return, erase to end of line, then the report.
  EXPECT_TRUE(std::regex_search(
      text, std::regex("\r\x1b\\[K[0-9.]+ s, best [0-9]+, bound [0-9]+, gap [0-9.]+ %, "
                       "[0-9]+ nodes")))
      << text;
  // Cleared before the summary.
  const std::size_t summary = text.find("method       best");
  ASSERT_NE(summary, std::string::npos) << text;
  EXPECT_EQ(text.rfind("\r\x1b[K", summary), summary - 4) << text;
}

TEST(SetCoverSolveCli, CorpusFiles) {
  const fs::path orlib = kCorpora / "setcover/orlib/scp41.txt";
  const fs::path stn = kCorpora / "setcover/stn/data.27";
  if (!fs::exists(orlib) || !fs::exists(stn)) {
    GTEST_SKIP() << "no set-cover corpus under " << kCorpora << " (set NTU_CORPORA_DIR)";
  }
  const ChildRun scp41 = runProgram({"--json", "--time-limit", "2", orlib.string()});
  ASSERT_EQ(scp41.exitCode(), 0) << scp41.describe();
  const nlohmann::json a = parseJsonOutput(scp41);
  EXPECT_EQ(a.at("instance").at("sets"), 1000);
  EXPECT_EQ(a.at("instance").at("elements"), 200);
  EXPECT_EQ(a.at("instance").at("entries"), 4009);
  EXPECT_GE(a.at("cost").get<double>(), 38);  // the best known cover
  EXPECT_LE(a.at("lowerBound").get<double>(), 38);
  expectOrLibraryCover(orlib.string(), a.at("ids"));
  const ChildRun stn27 = runProgram({"--json", stn.string()});
  ASSERT_EQ(stn27.exitCode(), 0) << stn27.describe();
  const nlohmann::json b = parseJsonOutput(stn27);
  EXPECT_EQ(b.at("instance").at("format"), "steiner");
  EXPECT_EQ(b.at("cost"), 18);  // proven optimum
  EXPECT_EQ(b.at("optimal"), true);
}

// The JSON and YAML corpora and the fuzzers' regression inputs (deep nesting, alias bombs): each
// file is read as an instance document and either solved or refused with one line, never a
// crash.
TEST(SetCoverSolveCli, FuzzCorporaNeverCrash) {
  std::vector<std::pair<fs::path, std::string>> files;
  const fs::path regressions = NTU_FUZZ_REGRESSIONS_DIR;
  for (const fs::path& folder :
       {kCorpora / "json", kCorpora / "yaml", regressions / "json", regressions / "yaml"}) {
    if (!fs::exists(folder)) continue;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
      const std::string ext = e.path().extension().string();
      if (e.is_regular_file() && (ext == ".json" || ext == ".yaml")) {
        files.emplace_back(e.path(), ext.substr(1));
      }
    }
  }
  if (files.empty()) GTEST_SKIP() << "no JSON/YAML corpus under " << kCorpora;
  int solved = 0;
  for (const auto& [path, format] : files) {
    const ChildRun run =
        runProgram({"--quiet", "--method", "greedy", "--format", format, path.string()},
                   "/dev/null", 0, SIGINT, 20);
    ASSERT_TRUE(run.exitCode() == 0 || run.exitCode() == 1) << path << "\n" << run.describe();
    if (run.exitCode() == 0) {
      ++solved;
    } else {
      EXPECT_EQ(run.errLines().size(), 1u) << path << "\n" << run.err;
    }
  }
  std::cout << files.size() << " corpus files, " << solved << " solved\n";
}

}  // namespace
