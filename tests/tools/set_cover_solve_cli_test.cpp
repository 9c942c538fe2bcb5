// set_cover_solve run as a child process: every format and method with the answer parsed back
// and checked, bad input and usage errors, the time limit, SIGINT/SIGTERM, the live progress line
// on a pseudo-terminal, corpus files and the JSON/YAML fuzz corpora; the method table against
// --help and the man page, the exit statuses against the man page, result files (-o), warm
// starts (--start), the stopping rules (--gap, --target), --threads and --progress json.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
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
#include <thread>
#include <vector>

#include "set_cover_solve/options.hpp"
#include "set_cover_solve/text_quote.hpp"
#include "setcover/corpus_reader.hpp"

namespace fs = std::filesystem;
namespace scs = set_cover_solve;

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

// What a test does around a child beyond the plain run: `inChild` runs after the fork, before
// the program starts; `watch` after every read of the child's output (and every 20 ms).
struct ChildHooks {
  std::function<void()> inChild;
  std::function<void(pid_t, const ChildRun&)> watch;
};

// Runs the program with `args`, standard input from `inputFile` (or /dev/null), collecting
// both output streams. `signalAfter` > 0 sends `sig` that many seconds after the start. The
// child is killed after `timeout` seconds.
ChildRun runProgram(const std::vector<std::string>& args,
                    const std::string& inputFile = "/dev/null", double signalAfter = 0,
                    int sig = SIGINT, double timeout = 60, const ChildHooks& hooks = {}) {
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
    if (hooks.inChild) hooks.inChild();
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
    if (hooks.watch) hooks.watch(pid, run);
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

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
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
  for (const auto& [path, format] : files) {
    for (const scs::MethodInfo& info : scs::methodTable()) {
      const std::string method = info.name;
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
      if (info.exact) {
        EXPECT_EQ(j.at("cost"), 5) << where;
        EXPECT_EQ(j.at("lowerBound"), 5) << where;
        EXPECT_EQ(j.at("optimal"), true) << where;
      } else {
        EXPECT_TRUE(j.at("lowerBound").is_null()) << where;
        EXPECT_EQ(j.at("optimal"), false) << where;
      }
      EXPECT_EQ(j.at("nodes").is_null(), !info.limited) << where;
    }
  }
  // The human summary and the ids alone, on the same file.
  const ChildRun human = runProgram({files[0].first});
  ASSERT_EQ(human.exitCode(), 0) << human.describe();
  EXPECT_NE(human.out.find("size         5\n"), std::string::npos) << human.out;
  EXPECT_NE(human.out.find("optimal      yes\n"), std::string::npos) << human.out;
  // The library's log lines (INFO goes to standard output by default) stay on standard error,
  // and so does the read time.
  const ChildRun verbose = runProgram({"--verbose", "--json", files[4].first});
  ASSERT_EQ(verbose.exitCode(), 0) << verbose.describe();
  EXPECT_EQ(parseJsonOutput(verbose).at("cost"), 5);
  EXPECT_NE(verbose.err.find(": read in "), std::string::npos) << verbose.err;
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
      {"cost.txt", "1 1\n-1\n1 1\n", "2: column cost '-1' is negative"},
      {"trail.txt", "1 1\n1\n1 1\n7\n", "4: unexpected '7' after the last row"},
      {"huge.txt", "2000000000 2000000000\n1 1\n", "1: row count 2000000000 is more than"},
      {"data.7", "9 3\n1 2 3\n4 5 6\n7 8 10\n", "4: a column of row 3 is 10, outside 1..9"},
      {"huge.stn", "1000000000 1000000000\n1 2 3\n", "1: row count 1000000000 is more than"},
      {"syntax.json", "{\"sets\": {\"1\": [1,\n x]}}", "2: column 2: syntax error"},
      {"mixed.json", R"({"sets": {"1": [1, 2], "2": [3, "a"]}})",
       "/sets/2/1: expected an integer element"},
      {"id.json", R"({"sets": {"": [1], "a": [2]}})", "/sets/: a set name is empty"},
      {"twice.json", R"({"sets": {"1": [1, 2], "1": [3]}})", "/sets/1: repeated set '1'"},
      {"twice.yaml", "sets:\n  1: [1]\nsets:\n  2: [1]\n", "/sets: repeated member 'sets'"},
      {"bad.gz", "\x1f\x8b\x08\x00garbage", " compressed input cannot be read"},
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

// Input beyond the plain files: no cover (status 3), gzip, standard input told apart by its
// first character, a byte-order mark, free sets, and the read time in the report.
TEST(SetCoverSolveCli, InputFormsAndNoCover) {
  TempDir dir;
  // An element in no set: its own outcome, one line, status 3, in every format.
  const std::vector<std::pair<std::string, std::string>> noCover = {
      {"empty_row.txt", "3 2\n1 1\n1 1\n0\n1 2\n"},
      {"universe.json", R"({"sets": {"1": [1]}, "elements": [1, 2]})"},
      {"universe.yaml", "sets: {1: [1]}\nelements: [1, 2]\n"},
  };
  for (const auto& [name, text] : noCover) {
    const ChildRun run = runProgram({dir.write(name, text)});
    EXPECT_EQ(run.exitCode(), 3) << name << "\n" << run.describe();
    EXPECT_EQ(run.out, "");
    ASSERT_EQ(run.errLines().size(), 1u) << run.err;
    EXPECT_TRUE(std::regex_search(run.err, std::regex(": no cover exists: (row|element) 2 is in "
                                                      "no set\n$")))
        << run.err;
  }
  // The same instance in every input form gives the same cover of STS(9).
  const std::string gzDoc = dir.write("sts9.json", sts9Document(false).dump());
  const std::string gzText = dir.write("sts9.txt", "\xEF\xBB\xBF" + sts9OrLibrary());
  ASSERT_EQ(std::system(("gzip -kf " + gzDoc + " " + gzText).c_str()), 0);
  struct Form {
    std::vector<std::string> args;
    std::string input;
    std::string format;
  };
  const std::vector<Form> forms = {
      {{gzText}, "/dev/null", "orlib"},
      {{gzText + ".gz"}, "/dev/null", "orlib"},
      {{gzDoc + ".gz"}, "/dev/null", "json"},
      {{"-"}, gzText + ".gz", "orlib"},
      {{"-"}, gzDoc + ".gz", "json"},
      {{"-"}, gzDoc, "json"},
      {{"-"}, dir.write("in.yaml", "\n# a comment\n" + toYaml(sts9Document(true))), "yaml"},
      {{"--format", "json", "-"}, gzDoc + ".gz", "json"},
  };
  for (const Form& f : forms) {
    std::vector<std::string> args = {"--json", "--weighted"};
    args.insert(args.end(), f.args.begin(), f.args.end());
    const ChildRun run = runProgram(args, f.input);
    ASSERT_EQ(run.exitCode(), 0) << f.input << "\n" << run.describe();
    const nlohmann::json j = parseJsonOutput(run);
    expectSts9Cover(j.at("ids"), f.input);
    EXPECT_EQ(j.at("instance").at("format"), f.format) << f.input;
    EXPECT_EQ(j.at("instance").at("entries"), 36) << f.input;
    EXPECT_GE(j.at("readSeconds").get<double>(), 0.0);
    EXPECT_LT(j.at("readSeconds").get<double>(), 30.0);
  }
  // Free sets: cost 0 and '+1' as a cost.
  const ChildRun free =
      runProgram({"--json", "--weighted", dir.write("free.txt", "2 3\n0 +1 5\n1 1\n2 2 3\n")});
  ASSERT_EQ(free.exitCode(), 0) << free.describe();
  EXPECT_EQ(parseJsonOutput(free).at("cost"), 1);
  EXPECT_EQ(parseJsonOutput(free).at("ids"), nlohmann::json::parse("[1, 2]"));
  // examples/data/instance.json is this program's format too.
  const ChildRun example =
      runProgram({"--quiet", std::string(NTU_EXAMPLES_DATA_DIR) + "/instance.json"});
  EXPECT_EQ(example.exitCode(), 0) << example.describe();
  EXPECT_EQ(example.out, "2 3\n");
  // Named sets come back by name, in every output and through a result file as a start.
  const std::string named =
      dir.write("named.json", R"({"sets": {"north": [1, 2], "south": [3], "x1": [1]}})");
  const std::string result = (fs::path(named).parent_path() / "named_result.json").string();
  const ChildRun byName = runProgram({"--json", "-o", result, named});
  ASSERT_EQ(byName.exitCode(), 0) << byName.describe();
  EXPECT_EQ(parseJsonOutput(byName).at("ids"), nlohmann::json::parse(R"(["north", "south"])"));
  EXPECT_EQ(runProgram({"--quiet", named}).out, "north south\n");
  const ChildRun human = runProgram({named});
  EXPECT_NE(human.out.find("\nids          north south\n"), std::string::npos) << human.out;
  const ChildRun started = runProgram({"--quiet", "--start", result, named});
  EXPECT_EQ(started.exitCode(), 0) << started.describe();
  EXPECT_EQ(started.out, "north south\n");
  // YAML spellings of one element: a warning line, the cover still printed.
  const ChildRun yaml =
      runProgram({"--quiet", dir.write("spell.yaml", "sets:\n  1: [\"001\", 2]\n  2: [1]\n")});
  EXPECT_EQ(yaml.exitCode(), 0) << yaml.describe();
  EXPECT_EQ(yaml.out, "1\n");
  ASSERT_EQ(yaml.errLines().size(), 1u) << yaml.err;
  EXPECT_NE(yaml.err.find("warning: YAML scalars '1' and '001' are both the element 1"),
            std::string::npos)
      << yaml.err;
}

TEST(SetCoverSolveCli, WriteConvertsAndModelsThatAreNotSetCoveringAreRefused) {
  TempDir dir;
  const std::string source = dir.write("w.txt", "3 4\n2 1 1 3\n2 1 2\n2 2 3\n2 3 4\n");
  const std::string expected = runProgram({"--quiet", "--weighted", source}).out;
  ASSERT_EQ(expected, "2 3\n");
  // Every format the program reads, written and solved again: the same cover.
  for (const char* name : {"w.rail", "w.json", "w.yaml", "w.mps", "w.lp.gz", "w.orlib.txt"}) {
    const std::string path = (fs::path(source).parent_path() / name).string();
    const ChildRun write = runProgram({"--write", path, source});
    ASSERT_EQ(write.exitCode(), 0) << name << "\n" << write.describe();
    EXPECT_EQ(write.out, "");
    const ChildRun again = runProgram({"--quiet", "--weighted", path});
    EXPECT_EQ(again.out, name[2] == 'm' || name[2] == 'l' ? "x2 x3\n" : expected) << name;
  }
  // Steiner text has no costs: refused naming the set, status 1, nothing written.
  const std::string stn = (fs::path(source).parent_path() / "w.stn").string();
  const ChildRun steiner = runProgram({"--write", stn, source});
  EXPECT_EQ(steiner.exitCode(), 1);
  EXPECT_NE(steiner.err.find("--write " + stn + ": Steiner text has no costs"), std::string::npos)
      << steiner.err;
  EXPECT_FALSE(fs::exists(stn));
  // A model that is not set covering: status 1, one line naming the row.
  const ChildRun lp =
      runProgram({dir.write("eq.lp", "min\n obj: x + y\nst\n c7: x + y = 1\nbinary\n x y\nend\n")});
  EXPECT_EQ(lp.exitCode(), 1) << lp.describe();
  ASSERT_EQ(lp.errLines().size(), 1u) << lp.err;
  EXPECT_NE(lp.err.find("eq.lp:4: row 'c7' is not a set-covering row"), std::string::npos)
      << lp.err;
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
      {"--gap", "-0.1", "x.txt"},
      {"--gap", "nan", "x.txt"},
      {"--gap", "1e999", "x.txt"},
      {"--target", "inf", "x.txt"},
      {"--target", "5x", "x.txt"},
      {"--threads", "-1", "x.txt"},
      {"--threads", "1025", "x.txt"},
      {"--threads", "two", "x.txt"},
      {"--progress", "xml", "x.txt"},
      {"--start=", "x.txt"},
      {"-o", "", "x.txt"},
      {"x.txt", "-o"},
      {"--method", "greedy", "--gap", "0.1", "x.txt"},
      {"--method", "ilp", "--target", "3", "x.txt"},
      {"--method", "propagate", "--threads", "2", "x.txt"},
      {"--method", "greedy-continuity", "--start", "s.txt", "x.txt"},
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
  EXPECT_EQ(j.at("stopped"), "time_limit");
  EXPECT_LE(j.at("seconds").get<double>(), 1.5);
  EXPECT_LT(run.wallSeconds, 15.0);  // numbering and output are small beside the limit
  EXPECT_LE(j.at("lowerBound").get<double>(), j.at("cost").get<double>());
  expectOrLibraryCover(path, j.at("ids"));
}

TEST(SetCoverSolveCli, SigintAndSigtermPrintTheBestCoverNotProven) {
  TempDir dir;
  const std::string path = dir.write("hard.txt", hardOrLibrary());
  const std::string saved = dir.write("saved.json", "");
  for (const int sig : {SIGINT, SIGTERM}) {
    const ChildRun run = runProgram({"--json", "-o", saved, path}, "/dev/null", 1.5, sig, 60);
    ASSERT_FALSE(run.timedOut) << run.describe();
    ASSERT_EQ(run.exitCode(), 128 + sig) << run.describe();
    EXPECT_EQ(readText(saved), run.out);  // the result file is written as well
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

// ---------------------------------------------------------------------------------------------
// The method table, the exit statuses and the man page.

// Roff reduced to its words: font changes dropped, escaped hyphens plain.
std::string roffPlain(std::string text) {
  text = std::regex_replace(text, std::regex(R"(\\f[BIRP])"), "");
  text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
  text = std::regex_replace(text, std::regex(R"(\\\(mu)"), "x");
  return text;
}

// The EXIT STATUS section of the man page: each status with the plain text of its paragraph.
std::map<int, std::string> manExitStatuses() {
  std::istringstream page(readText(SET_COVER_SOLVE_MANPAGE));
  std::map<int, std::string> statuses;
  std::vector<int> current;
  bool inSection = false;
  bool afterTp = false;
  for (std::string line; std::getline(page, line);) {
    if (line.compare(0, 4, ".SH ") == 0) {
      inSection = line == ".SH EXIT STATUS";
      continue;
    }
    if (!inSection) continue;
    if (line == ".TP") {
      afterTp = true;
      current.clear();
      continue;
    }
    if (afterTp) {
      afterTp = false;
      static const std::regex kNumber("[0-9]+");
      for (std::sregex_iterator it(line.begin(), line.end(), kNumber), end; it != end; ++it) {
        current.push_back(std::stoi(it->str()));
        statuses[current.back()];
      }
      continue;
    }
    for (const int status : current) statuses[status] += roffPlain(line) + " ";
  }
  return statuses;
}

TEST(SetCoverSolveCli, MethodTableDrivesParsingHelpErrorsAndTheManPage) {
  const std::string help = runProgram({"--help"}).out;
  const std::string page = readText(SET_COVER_SOLVE_MANPAGE);
  ASSERT_FALSE(page.empty()) << "no man page at " << SET_COVER_SOLVE_MANPAGE;
  EXPECT_NE(page.find(scs::methodsRoff()), std::string::npos) << page;
  EXPECT_EQ(page.find(".\\\" METHODS"), std::string::npos) << "marker left in the page";
  const ChildRun unknown = runProgram({"--method", "simplex", "x.txt"});
  const ChildRun unknownFormat = runProgram({"--format", "csv", "x.txt"});
  TempDir dir;
  const std::string path = dir.write("sts9.txt", sts9OrLibrary());
  const std::string start = dir.write("start.txt", "1 2\n");
  for (const scs::MethodInfo& m : scs::methodTable()) {
    const std::string name = m.name;
    EXPECT_TRUE(std::regex_search(help, std::regex("\n +" + name + " +" + m.summary + "\n")))
        << name << "\n"
        << help;
    EXPECT_NE(unknown.err.find(name), std::string::npos) << name << ": " << unknown.err;
    EXPECT_NE(page.find(".B " + std::regex_replace(name, std::regex("-"), "\\-") + "\n"),
              std::string::npos)
        << name;
    // The options of the limited method are refused by the others, by name.
    for (const std::vector<std::string>& extra : {std::vector<std::string>{"--gap", "0.5"},
                                                  {"--target", "9"},
                                                  {"--threads", "1"},
                                                  {"--start", start},
                                                  {"--weighted"},
                                                  {"--time-limit", "9"}}) {
      std::vector<std::string> args = {"--quiet", "--method", name};
      args.insert(args.end(), extra.begin(), extra.end());
      args.push_back(path);
      const ChildRun run = runProgram(args);
      EXPECT_EQ(run.exitCode(), m.limited ? 0 : 2) << name << " " << extra[0] << run.describe();
      if (!m.limited) {
        EXPECT_NE(run.err.find(extra[0] + " needs --method best, not " + name), std::string::npos)
            << run.err;
      }
    }
  }
  for (const std::string format : {"orlib", "steiner", "json", "yaml"}) {
    EXPECT_NE(unknownFormat.err.find(format), std::string::npos) << unknownFormat.err;
    EXPECT_NE(help.find(format), std::string::npos) << format;
  }
}

// Each outcome's exit status, and the man page's EXIT STATUS section puts the outcome under that
// status and under no other; --help's summary line lists the status.
TEST(SetCoverSolveCli, ExitStatusesAreTheOnesTheManPageGives) {
  const std::map<int, std::string> man = manExitStatuses();
  ASSERT_FALSE(man.empty()) << "no EXIT STATUS section in " << SET_COVER_SOLVE_MANPAGE;
  const std::string help = runProgram({"--help"}).out;
  const std::size_t helpStatuses = help.find("Exit status:");
  ASSERT_NE(helpStatuses, std::string::npos) << help;
  TempDir dir;
  const std::string good = dir.write("sts9.txt", sts9OrLibrary());
  struct Case {
    std::string what;  // words of the man page's paragraph for that status
    std::vector<std::string> args;
    int status;
    std::string line;  // an ERE the one line on standard error matches ("" when none)
  };
  const std::string missing = (fs::path(dir.write("x", "")).parent_path() / "gone.txt").string();
  const std::string noRow = dir.write("norow.txt", "3 2\n1 1\n1 1\n0\n1 2\n");
  const std::string huge = dir.write("huge.txt", "2 2\n1e308 1e308\n1 1\n1 2\n");
  const std::string badStart = dir.write("start.txt", "1 2 77\n");
  const std::vector<Case> cases = {
      {"A cover was printed", {good}, 0, ""},
      {"missing", {missing}, 1, "gone.txt: cannot open"},
      {"no instance file named", {"--json"}, 2, "no instance file given"},
      {"unknown option", {"--frobnicate", good}, 2, "unknown option"},
      {"no cover exists", {noRow}, 3, "norow.txt:4: no cover exists: row 2 is in no set$"},
      {"the costs add up to more than the largest double",
       {"--weighted", huge},
       1,
       "huge.txt: the costs add up to more than the largest double"},
      {"--start file", {"--start", badStart, good}, 1, "start.txt:1: 77 is not a set of"},
      {"-o cannot write",
       {"-o", (fs::path(missing) / "out.json").string(), good},
       1,
       "-o .*gone.txt/out.json: cannot write: no folder .*gone.txt$"},
      {"the instance file itself", {"-o", good, good}, 2, "-o .*sts9.txt is the instance file"},
  };
  for (const Case& c : cases) {
    const ChildRun run = runProgram(c.args);
    EXPECT_EQ(run.exitCode(), c.status) << c.what << "\n" << run.describe();
    ASSERT_EQ(man.count(c.status), 1u) << "status " << c.status << " is not in the man page";
    EXPECT_NE(man.at(c.status).find(c.what), std::string::npos)
        << "status " << c.status << " does not say '" << c.what << "': " << man.at(c.status);
    for (const auto& [status, text] : man) {
      if (status != c.status) {
        EXPECT_EQ(text.find(c.what), std::string::npos)
            << "'" << c.what << "' is under status " << status << " too";
      }
    }
    EXPECT_NE(help.find(std::to_string(c.status) + " ", helpStatuses), std::string::npos)
        << c.status;
    if (c.line.empty()) {
      EXPECT_EQ(run.err, "") << c.what;
    } else {
      const std::vector<std::string> lines = run.errLines();
      ASSERT_EQ(lines.size(), 1u) << c.what << "\n" << run.err;
      EXPECT_TRUE(std::regex_search(lines[0], std::regex(c.line))) << lines[0];
      EXPECT_EQ(lines[0].find("inf"), std::string::npos) << lines[0];
      EXPECT_EQ(lines[0].find("nan"), std::string::npos) << lines[0];
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Result files, warm starts, stopping rules, threads and JSON progress.

std::vector<std::string> folderEntries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(SetCoverSolveCli, ResultFileIsTheJsonDocumentReplacedWhole) {
  TempDir dir;
  const std::string instance = dir.write("sts9.txt", sts9OrLibrary());
  const fs::path out = fs::path(instance).parent_path() / "results" / "r.json";
  fs::create_directories(out.parent_path());

  // Beside --json: the same text; beside the summary: the document all the same.
  const ChildRun json = runProgram({"--json", "-o", out.string(), instance});
  ASSERT_EQ(json.exitCode(), 0) << json.describe();
  EXPECT_EQ(readText(out.string()), json.out);
  const ChildRun human = runProgram({"-o", out.string(), "--method", "greedy", instance});
  ASSERT_EQ(human.exitCode(), 0) << human.describe();
  EXPECT_EQ(human.out.compare(0, 13, "method       "), 0) << human.out;
  const nlohmann::json written = nlohmann::json::parse(readText(out.string()));
  EXPECT_EQ(written.at("method"), "greedy");
  expectSts9Cover(written.at("ids"), "-o after greedy");

  // An existing file is replaced, not rewritten in place: a hard link to it keeps the old
  // text, the permissions stay, and no temporary file is left in the folder.
  const fs::path oldLink = out.parent_path() / "old-link";
  fs::create_hard_link(out, oldLink);
  fs::permissions(out, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const std::string before = readText(out.string());
  const ChildRun again = runProgram({"--quiet", "-o", out.string(), instance});
  ASSERT_EQ(again.exitCode(), 0) << again.describe();
  EXPECT_EQ(readText(oldLink.string()), before);
  EXPECT_EQ(nlohmann::json::parse(readText(out.string())).at("method"), "best");
  EXPECT_EQ(fs::status(out).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(folderEntries(out.parent_path()), (std::vector<std::string>{"old-link", "r.json"}));

  // A symbolic link is followed: the file it names is replaced and the link stays a link.
  const fs::path link = out.parent_path() / "latest.json";
  fs::create_symlink("r.json", link);
  const ChildRun viaLink =
      runProgram({"--quiet", "--method", "propagate", "-o", link.string(), instance});
  ASSERT_EQ(viaLink.exitCode(), 0) << viaLink.describe();
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(nlohmann::json::parse(readText(out.string())).at("method"), "propagate");

  // The process's own standard output is written through, not renamed over: with standard
  // output a regular file, the ids line before the document stays.
  const std::string both = (out.parent_path() / "both.txt").string();
  ASSERT_EQ(std::system(
                (kProgram + " --quiet -o /dev/stdout '" + instance + "' > '" + both + "'").c_str()),
            0);
  const std::string bothText = readText(both);
  const std::size_t newline = bothText.find('\n');
  ASSERT_NE(newline, std::string::npos) << bothText;
  EXPECT_TRUE(std::regex_match(bothText.substr(0, newline + 1), std::regex("[0-9]+( [0-9]+)*\n")))
      << bothText;
  EXPECT_EQ(nlohmann::json::parse(bothText.substr(newline + 1)).at("cost"), 5) << bothText;
  fs::remove(both);

  // A run that fails leaves the file as it was; one whose file cannot be written still prints.
  const std::string kept = readText(out.string());
  const ChildRun bad = runProgram({"-o", out.string(), dir.write("bad.txt", "1 1\nx\n")});
  EXPECT_EQ(bad.exitCode(), 1) << bad.describe();
  EXPECT_EQ(readText(out.string()), kept);
  const ChildRun folder = runProgram({"--quiet", "-o", out.parent_path().string(), instance});
  EXPECT_EQ(folder.exitCode(), 1) << folder.describe();
  EXPECT_TRUE(std::regex_match(folder.out, std::regex("[0-9]+( [0-9]+)*\n"))) << folder.out;
  EXPECT_EQ(folder.errLines().size(), 1u) << folder.err;
}

TEST(SetCoverSolveCli, WarmStartFromAResultFileOrAListOfIds) {
  TempDir dir;
  // Weighted (costs 1..50): a limit of 0 gives the greedy cover, which a second's search beats
  // here (with unit costs it already has the size a second finds).
  std::string text = hardOrLibrary();
  {
    std::mt19937 engine(7);
    const std::size_t first = text.find('\n') + 1;
    std::string costs;
    for (int j = 0; j < 1000; ++j) costs += std::to_string(1 + engine() % 50) + " ";
    text.replace(first, text.find('\n', first) - first, costs);
  }
  const std::string path = dir.write("hard.txt", text);
  const std::string result = dir.write("first.json", "");
  const ChildRun first = runProgram(
      {"--quiet", "--weighted", "--threads", "1", "--time-limit", "1", "-o", result, path});
  ASSERT_EQ(first.exitCode(), 0) << first.describe();
  const nlohmann::json firstDoc = nlohmann::json::parse(readText(result));
  const double firstCost = firstDoc.at("cost").get<double>();
  // A limit of 0 without a start gives the greedy cover, a poorer one, so the start shows.
  const ChildRun cold =
      runProgram({"--json", "--weighted", "--threads", "1", "--time-limit", "0", path});
  ASSERT_EQ(cold.exitCode(), 0) << cold.describe();
  ASSERT_GT(parseJsonOutput(cold).at("cost").get<double>(), firstCost);

  std::string list;
  for (const auto& id : firstDoc.at("ids")) list += std::to_string(id.get<int>()) + "\n  ";
  const std::vector<std::string> starts = {result, dir.write("list.txt", list),
                                           dir.write("array.json", firstDoc.at("ids").dump())};
  for (const std::string& start : starts) {
    const ChildRun warm = runProgram(
        {"--json", "--weighted", "--threads", "1", "--time-limit", "0", "--start", start, path});
    ASSERT_EQ(warm.exitCode(), 0) << start << "\n" << warm.describe();
    const nlohmann::json j = parseJsonOutput(warm);
    EXPECT_LE(j.at("cost").get<double>(), firstCost) << start;
    expectOrLibraryCover(path, j.at("ids"));
  }
  // A partial selection is completed into a cover.
  const ChildRun partial =
      runProgram({"--json", "--node-limit", "0", "--start", dir.write("few.txt", "5 7 5"), path});
  ASSERT_EQ(partial.exitCode(), 0) << partial.describe();
  expectOrLibraryCover(path, parseJsonOutput(partial).at("ids"));

  struct Bad {
    std::string name;
    std::string text;
    std::string where;  // what follows "--start <file>:" (an ERE)
  };
  const std::vector<Bad> bad = {
      {"out.txt", "3 1001\n", "1: 1001 is not a set of the instance"},
      {"zero.txt", "\n\n0\n", "3: 0 is not a set of the instance"},
      {"word.txt", "3\n4 x5\n", "2: expected a set id"},
      {"neg.txt", "-3", "1: expected a set id"},
      {"noids.json", R"({"cost": 3})", "/: no \"ids\" member"},
      {"float.json", R"({"ids": [1, 2.5]})", "/ids/1: expected a set id"},
      {"name.json", R"({"ids": [1, "frog"]})", "/ids/1: 'frog' is not a set of the instance"},
      {"syntax.json", R"({"ids": [1, )", " not a JSON result"},
      {"absent.txt", "", " cannot open"},
  };
  for (const Bad& b : bad) {
    std::string start = dir.write(b.name, b.text);
    if (b.name == "absent.txt") fs::remove(start);
    const ChildRun run = runProgram({"--start", start, "--time-limit", "5", path});
    EXPECT_EQ(run.exitCode(), 1) << b.name << "\n" << run.describe();
    EXPECT_EQ(run.out, "") << b.name;
    const std::vector<std::string> lines = run.errLines();
    ASSERT_EQ(lines.size(), 1u) << b.name << "\n" << run.err;
    const std::string prefix = "set_cover_solve: --start " + start + ":";
    ASSERT_EQ(lines[0].compare(0, prefix.size(), prefix), 0) << lines[0];
    EXPECT_TRUE(std::regex_search(lines[0].substr(prefix.size()), std::regex("^" + b.where)))
        << b.name << ": " << lines[0];
  }
}

TEST(SetCoverSolveCli, StoppingRulesThreadsAndJsonProgress) {
  TempDir dir;
  const std::string path = dir.write("hard.txt", hardOrLibrary());
  const auto expectGapField = [](const nlohmann::json& j) {
    const double cost = j.at("cost").get<double>();
    const double bound = j.at("lowerBound").get<double>();
    EXPECT_NEAR(j.at("gap").get<double>(), cost > 0 ? (cost - bound) / cost : 0.0, 1e-12)
        << j.dump();
  };
  // Each rule ends the run and is named; the limit behind it keeps a fault from hanging.
  struct Rule {
    std::vector<std::string> args;
    std::string stopped;
  };
  const std::vector<Rule> rules = {
      {{"--gap", "0.6"}, "gap"},
      {{"--target", "1000"}, "target"},
      {{"--node-limit", "0"}, "node_limit"},
      {{"--time-limit", "0.5"}, "time_limit"},
  };
  for (const Rule& rule : rules) {
    std::vector<std::string> args = {"--json", "--threads", "1"};
    args.insert(args.end(), rule.args.begin(), rule.args.end());
    if (rule.stopped != "time_limit") args.insert(args.end(), {"--time-limit", "30"});
    args.push_back(path);
    const ChildRun run = runProgram(args);
    ASSERT_EQ(run.exitCode(), 0) << rule.stopped << "\n" << run.describe();
    const nlohmann::json j = parseJsonOutput(run);
    EXPECT_EQ(j.at("stopped"), rule.stopped) << j.dump();
    EXPECT_EQ(j.at("optimal"), false);
    expectGapField(j);
    if (rule.stopped == "gap") {
      EXPECT_LE(j.at("gap").get<double>(), 0.6);
    }
    if (rule.stopped == "target") {
      EXPECT_LE(j.at("cost").get<double>(), 1000);
    }
    expectOrLibraryCover(path, j.at("ids"));
  }
  // A proven run names no rule; its gap is 0. The other methods run on one thread.
  const std::string small = dir.write("sts9.txt", sts9OrLibrary());
  const nlohmann::json proven = parseJsonOutput(runProgram({"--json", "--gap", "0.01", small}));
  EXPECT_TRUE(proven.at("stopped").is_null()) << proven.dump();
  EXPECT_EQ(proven.at("gap"), 0);
  EXPECT_EQ(proven.at("threads").get<unsigned>(),
            std::max(1u, std::thread::hardware_concurrency()));
  EXPECT_EQ(parseJsonOutput(runProgram({"--json", "--threads", "3", small})).at("threads"), 3);
  EXPECT_EQ(parseJsonOutput(runProgram({"--json", "--threads", "0", small})).at("threads"),
            proven.at("threads"));
  const nlohmann::json greedy = parseJsonOutput(runProgram({"--json", "--method=greedy", small}));
  EXPECT_EQ(greedy.at("threads"), 1);
  EXPECT_TRUE(greedy.at("gap").is_null());

  // --progress json: one object per line, every report, consistent with the result.
  for (const std::string output : {"--json", "--quiet"}) {
    const ChildRun run =
        runProgram({output, "--progress", "json", "--threads", "1", "--time-limit", "1.2", path});
    ASSERT_EQ(run.exitCode(), 0) << run.describe();
    const std::vector<std::string> lines = run.errLines();
    ASSERT_GE(lines.size(), 2u) << run.err;  // the first cover and at least one a second
    double best = 1e300;
    double bound = -1;
    double seconds = -1;
    for (const std::string& line : lines) {
      const nlohmann::ordered_json p = nlohmann::ordered_json::parse(line, nullptr, false);
      ASSERT_TRUE(p.is_object()) << line;
      std::vector<std::string> keys;
      for (const auto& item : p.items()) keys.push_back(item.key());
      EXPECT_EQ(keys, (std::vector<std::string>{"seconds", "best", "bound", "gap", "nodes"}))
          << line;
      EXPECT_LE(p.at("best").get<double>(), best) << line;
      EXPECT_GE(p.at("bound").get<double>(), bound) << line;
      EXPECT_GE(p.at("seconds").get<double>(), seconds) << line;
      best = p.at("best").get<double>();
      bound = p.at("bound").get<double>();
      seconds = p.at("seconds").get<double>();
      EXPECT_NEAR(p.at("gap").get<double>(), (best - bound) / best, 1e-12) << line;
      EXPECT_GE(p.at("nodes").get<long long>(), 0) << line;
    }
    if (output == "--json") {
      const nlohmann::json j = parseJsonOutput(run);
      EXPECT_LE(j.at("cost").get<double>(), best);
      EXPECT_GE(j.at("lowerBound").get<double>(), bound);
    } else {
      EXPECT_TRUE(std::regex_match(run.out, std::regex("[0-9]+( [0-9]+)*\n"))) << run.out;
    }
  }
  // --quiet alone shows no progress; --progress none hides it from the other outputs too.
  const ChildRun none =
      runProgram({"--json", "--progress", "none", "--threads", "1", "--time-limit", "5.5", path});
  EXPECT_EQ(none.exitCode(), 0);
  EXPECT_EQ(none.err, "");
}

// GNU timeout signals the program and then its process group: one request, two signals. Both
// come while the search runs (after its first progress report), the second after a pause of
// 0 to 8 ms so that the handler has mostly taken the first; each run must still print its
// cover and end by the first signal's status.
TEST(SetCoverSolveCli, AStopSignalEchoedToTheGroupStillPrintsTheCover) {
  TempDir dir;
  const std::string path = dir.write("hard.txt", hardOrLibrary());
  for (int k = 0; k < 40; ++k) {
    bool sent = false;
    ChildHooks hooks;
    hooks.inChild = [] { ::setpgid(0, 0); };
    hooks.watch = [&sent, k](pid_t pid, const ChildRun& run) {
      if (sent || run.err.find('\n') == std::string::npos) return;
      ::setpgid(pid, pid);  // so that -pid is the child's group whichever ran first
      ::kill(pid, SIGTERM);
      std::this_thread::sleep_for(std::chrono::milliseconds(2 * (k % 5)));
      ::kill(-pid, SIGTERM);
      sent = true;
    };
    const ChildRun run = runProgram({"-q", "--threads", "1", "--progress", "json", path},
                                    "/dev/null", 0, SIGINT, 30, hooks);
    ASSERT_EQ(run.exitCode(), 128 + SIGTERM) << "run " << k << ": " << run.describe();
    ASSERT_TRUE(std::regex_match(run.out, std::regex("[0-9]+( [0-9]+)*\n"))) << run.out;
  }
}

// After the search a signal has its default effect: SIGTERM while -o waits for a FIFO nobody
// opens ends the program.
TEST(SetCoverSolveCli, SigtermWhileTheOutputBlocksEndsTheProgram) {
  TempDir dir;
  const std::string path = dir.write("hard.txt", hardOrLibrary());
  const std::string fifo = (fs::path(path).parent_path() / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
  ChildHooks hooks;
  bool sent = false;
  // Standard output comes before -o: the ids line means the search is over.
  hooks.watch = [&sent](pid_t pid, const ChildRun& run) {
    if (!sent && run.out.find('\n') != std::string::npos) sent = ::kill(pid, SIGTERM) == 0;
  };
  const ChildRun run = runProgram({"-q", "--threads", "1", "--time-limit", "0.2", "-o", fifo, path},
                                  "/dev/null", 0, SIGINT, 10, hooks);
  EXPECT_TRUE(sent) << run.describe();
  EXPECT_FALSE(run.timedOut) << run.describe();
  EXPECT_TRUE(WIFSIGNALED(run.status) && WTERMSIG(run.status) == SIGTERM) << run.describe();
}

// Set names that would read as something else on a line of ids are quoted; the line reads back
// (as --start reads it) to exactly the names of the --json document.
TEST(SetCoverSolveCli, QuietAndSummaryQuoteNamesThatWouldBeAmbiguous) {
  TempDir dir;
  const nlohmann::json doc = {{"sets",
                               {{"a\nb", {1}},
                                {"x y", {2}},
                                {"\x1b[31m", {3}},
                                {"\"q", {4}},
                                {"tab\there", {5}},
                                {"plain\\", {6}},
                                {"\xc2\xa0", {7}},
                                {"\xe2\x80\xae", {8}}}}};
  const std::string path = dir.write("named.json", doc.dump());
  const ChildRun json = runProgram({"--json", path});
  ASSERT_EQ(json.exitCode(), 0) << json.describe();
  std::vector<std::string> names = parseJsonOutput(json).at("ids").get<std::vector<std::string>>();
  std::sort(names.begin(), names.end());
  ASSERT_EQ(names.size(), 8u);
  const ChildRun quiet = runProgram({"-q", path});
  const ChildRun human = runProgram({path});
  ASSERT_EQ(human.exitCode(), 0) << human.describe();
  const std::size_t idsAt = human.out.find("\nids          ");
  ASSERT_NE(idsAt, std::string::npos) << human.out;
  for (const std::string& line : {quiet.out, human.out.substr(idsAt + 14)}) {
    ASSERT_EQ(line.find('\n'), line.size() - 1) << line;
    for (const char c : line.substr(0, line.size() - 1)) {
      EXPECT_TRUE(c == ' ' || (c > 0x20 && c != 0x7f)) << line;
    }
    std::vector<std::string> read;
    for (std::size_t pos = 0; pos + 1 < line.size();) {
      const std::optional<std::string> name = scs::readName(line, pos);
      ASSERT_TRUE(name) << line;
      read.push_back(*name);
      ASSERT_TRUE(line[pos] == ' ' || line[pos] == '\n') << line;
      ++pos;
    }
    std::sort(read.begin(), read.end());
    EXPECT_EQ(read, names) << line;
  }
  EXPECT_EQ(scs::nameText("plain\\"), "plain\\");
  // The line is a warm start.
  const ChildRun warm = runProgram(
      {"--json", "--node-limit", "0", "--start", dir.write("quiet.txt", quiet.out), path});
  EXPECT_EQ(warm.exitCode(), 0) << warm.describe();
}

// A kill while -o writes leaves no temporary file: SIGXFSZ (a file size limit of 16 bytes)
// ends the program in the middle of the write, every time.
TEST(SetCoverSolveCli, KilledWhileWritingTheResultFileLeavesNothingBehind) {
  TempDir dir;
  const std::string instance = dir.write("sts9.txt", sts9OrLibrary());
  const std::string out = dir.write("r.json", "old");
  ChildHooks hooks;
  hooks.inChild = [] {
    const rlimit small{16, 16};
    ::setrlimit(RLIMIT_FSIZE, &small);
  };
  const ChildRun run =
      runProgram({"--quiet", "-o", out, instance}, "/dev/null", 0, SIGINT, 60, hooks);
  ASSERT_TRUE(WIFSIGNALED(run.status) && WTERMSIG(run.status) == SIGXFSZ) << run.describe();
  EXPECT_EQ(folderEntries(fs::path(out).parent_path()),
            (std::vector<std::string>{"r.json", "sts9.txt"}));
  EXPECT_EQ(readText(out), "old");
}

// -o never replaces the instance; "-o -" is standard output; a list given to --start names the
// sets of a named instance before it numbers them.
TEST(SetCoverSolveCli, ResultFileArgumentsAndStartNames) {
  TempDir dir;
  const std::string instance = dir.write("sts9.txt", sts9OrLibrary());
  const std::string alias = (fs::path(instance).parent_path() / "alias.txt").string();
  fs::create_symlink(instance, alias);
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"-o", instance, instance}, {"-o", alias, instance}}) {
    const ChildRun run = runProgram(args);
    EXPECT_EQ(run.exitCode(), 2) << run.describe();
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.errLines().size(), 1u) << run.err;
  }
  const ChildRun fromStdin = runProgram({"-o", instance, "-"}, instance);
  EXPECT_EQ(fromStdin.exitCode(), 2) << fromStdin.describe();
  EXPECT_EQ(readText(instance), sts9OrLibrary());

  const ChildRun dash = runProgram({"-q", "-o", "-", instance});
  ASSERT_EQ(dash.exitCode(), 0) << dash.describe();
  const std::size_t newline = dash.out.find('\n');
  ASSERT_NE(newline, std::string::npos) << dash.out;
  EXPECT_EQ(nlohmann::json::parse(dash.out.substr(newline + 1)).at("cost"), 5) << dash.out;
  EXPECT_FALSE(fs::exists("-"));

  // Three sets numbered 0 to 2: "5" can only be the name.
  const std::string named =
      dir.write("named.json", R"({"sets": {"5": [1, 2], "x": [1], "y": [2]}})");
  const ChildRun start =
      runProgram({"--json", "--time-limit", "0", "--start", dir.write("start.txt", "5\n"), named});
  ASSERT_EQ(start.exitCode(), 0) << start.describe();
  EXPECT_EQ(parseJsonOutput(start).at("ids"), nlohmann::json::array({"5"}));
}

}  // namespace
