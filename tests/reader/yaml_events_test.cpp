// Reader::readYamlToJson, which converts straight from parser events (libyaml's, or yaml-cpp's
// where libyaml cannot vouch for a file), against the node-tree reference (load the whole tree,
// then convert it member by member): the same document, the same log lines in the same order,
// the same exception type and message, file by file. Files: the YAML test suite, the fuzz
// regressions, and generated ones (pose files with anchors, aliases, odd scalars, keys that are
// not text, a failure at every pose_info position, and seeded random documents full of anchors
// and aliases).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <typeinfo>
#include <vector>

#include <nlohmann/json.hpp>

#include "nimbrel_tavik_util/logger.hpp"
#include "nimbrel_tavik_util/reader.hpp"
#include "reader/reader_test_support.hpp"
#include "yaml/tree_reference.hpp"

namespace {

namespace fs = std::filesystem;
using nimbrel_tavik_util::Logger;
using nimbrel_tavik_util::Reader;
using nlohmann::json;

// Everything a caller can observe of one call.
struct Outcome {
  std::vector<std::string> lines;  // "<level> <message>"
  std::string document;            // compact text (NaN shows as null); empty after an exception
  std::string exception;           // dynamic type and what()
};

using Convert = json (*)(const std::string&);

Outcome observe(Convert convert, const std::string& path) {
  Outcome outcome;
  Logger::setSink([&](Logger::Level level, const std::string& line) {
    outcome.lines.push_back(Logger::levelToString(level) + " " + line);
  });
  try {
    // The replace handler only keeps the comparison going should invalid UTF-8 get through.
    outcome.document = convert(path).dump(-1, ' ', false, json::error_handler_t::replace);
  } catch (const std::exception& e) {
    outcome.exception = std::string(typeid(e).name()) + ": " + e.what();
  }
  Logger::resetSink();
  return outcome;
}

class YamlEventsTest : public ntu_test::ReaderTest {
 protected:
  // Compares the two conversions of `path`; returns the event path's outcome.
  Outcome expectSame(const std::string& path, const std::string& label) {
    const Outcome expected = observe(&ntu_test::readYamlToJsonByTree, path);
    const Outcome actual = observe(&Reader::readYamlToJson, path);
    EXPECT_EQ(actual.exception, expected.exception) << label;
    EXPECT_EQ(actual.lines, expected.lines) << label;
    EXPECT_TRUE(actual.document == expected.document)
        << label << "\n  events: " << actual.document.substr(0, 300)
        << "\n  tree:   " << expected.document.substr(0, 300);
    ++compared_;
    return actual;
  }

  Outcome expectSameText(const std::string& yaml, const std::string& label) {
    return expectSame(write("doc.yaml", yaml), label + "\n--- file ---\n" + yaml.substr(0, 2000));
  }

  std::size_t compared_ = 0;
};

std::vector<fs::path> filesBelow(const fs::path& root, const std::string& name) {
  std::vector<fs::path> files;
  if (!fs::is_directory(root)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file() && (name.empty() || entry.path().filename() == name)) {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST_F(YamlEventsTest, YamlTestSuite) {
  const auto files = filesBelow(fs::path(NTU_CORPORA_DIR) / "yaml" / "cases", "in.yaml");
  if (files.empty()) GTEST_SKIP() << "corpus not found at " << NTU_CORPORA_DIR;
  for (const auto& file : files) expectSame(file.string(), file.string());
  EXPECT_EQ(compared_, 402u);
}

TEST_F(YamlEventsTest, FuzzRegressionsAndUnreadablePaths) {
  const auto files = filesBelow(fs::path(NTU_SOURCE_DIR) / "fuzz" / "regressions" / "yaml", "");
  ASSERT_GE(files.size(), 11u);
  for (const auto& file : files) expectSame(file.string(), file.string());
  // No file, and a folder (it opens like a file and fails on the first read).
  EXPECT_NE(expectSame(path("missing.yaml"), "missing").exception, "");
  fs::create_directory(path("folder.yaml"));
  EXPECT_NE(expectSame(path("folder.yaml"), "folder").exception, "");
}

// --- pose files ---------------------------------------------------------------------------------

std::string pose(std::size_t i, const std::string& extra = "") {
  const std::string n = std::to_string(i);
  return "  - end_pose: {position: {x: 0." + n + ", y: -1.5, z: " + n +
         "}, orientation: [0, 0, 0.7071, 0.7071]}\n"
         "    force_vector: [0.1, -0.2, 9.81]\n"
         "    stamp: 17000000001234" +
         n + "\n    frame: tool0\n" + extra;
}

std::string poseFile(std::size_t count, const std::string& header = "header: {robot: r1}\n") {
  std::string text = header + "pose_info:\n";
  for (std::size_t i = 0; i < count; ++i) text += pose(i);
  return text;
}

TEST_F(YamlEventsTest, PoseFilesWithAnchorsAliasesAndOddScalars) {
  expectSameText(poseFile(0), "no poses");
  expectSameText(poseFile(1), "one pose");
  expectSameText(poseFile(120), "120 poses");
  expectSameText("pose_info: {a: 1, b: [1, 2]}\nrest: x\n", "pose_info as a map");
  expectSameText("pose_info: ~\npose_info: [1]\npose_info: [2, 3]\n", "pose_info three times");
  expectSameText(
      "header: &h {frame: map, ids: [1, 2]}\npose_info:\n  - {h: *h, k: 1}\n"
      "  - {h: *h, s: &s " +
          std::string(100, 'l') + "}\n  - [*s, *s, *h]\nlast: *h\n",
      "aliases inside pose_info");
  expectSameText("base: &b\n" + poseFile(3, "") + "copy: *b\n", "pose_info shared by alias");
  expectSameText("seq: &p [{x: 1}, {x: 2}]\npose_info: *p\n", "pose_info as an alias");
  expectSameText("s: &p [[*q]]\n", "alias to an unknown anchor (a parse error)");
  expectSameText("k: &k key\n*k : 1\n? *k\n: 2\n&n ~: 3\nv: *n\n", "alias keys");
  expectSameText("&r\nok: 1\nself: *r\n", "the root contains itself");
  // Scalars as yaml-cpp converts them: hex, octal, special floats, quoted numbers, 64 bits.
  expectSameText(
      "s: [0x1A, -0x1a, 010, 08, 0o17, 1_000, .inf, -.Inf, +.INF, .NaN, .nan, .Nan, '42', \"7 \","
      " ' 7', 3000000000, 9007199254740993, -9223372036854775808, 9223372036854775808,"
      " 0x20000000000001, 0100000000000, 1e3, 1E400, 1e-400, -0, -0.0, .5, 5., +5, 1.5e-310,"
      " yes, No, ON, oFF, Y, n, true, TRUE, True, tRUE, '', ~, null, Null, NULL, 'null']\n",
      "odd scalars");
  // Keys that are not text, at the top level and below; tags are not consulted.
  expectSameText("c: 2\n[a, b]: 1\nlater: 3\n", "sequence as a top-level key");
  expectSameText("c: 2\n? {a: 1}\n: 1\n", "map as a top-level key");
  expectSameText("a: {k: {[1]: 2}}\n", "sequence as a key below");
  expectSameText("a: &a [1]\nb: {*a : 2}\n", "alias of a sequence as a key below");
  expectSameText("t: !!str 42\nu: !custom [1]\nv: !!null ''\n", "tags");
  // Nesting beyond the bound only through aliases: a deep anchor used deep down, and a chain
  // of 505 aliases in a document large enough for its repeats.
  const std::string deep = std::string(300, '[') + std::string(300, ']');
  const std::string deepDown =
      "a: &d " + deep + "\nb: " + std::string(250, '[') + "*d " + std::string(250, ']') + "\n";
  EXPECT_NE(expectSameText(deepDown, "deep anchor used deep down")
                .exception.find("Nesting deeper than 500 levels at $.b[0]"),
            std::string::npos);
  std::string chain = "pad: [1";
  for (int i = 0; i < 20000; ++i) chain += ", 1";
  chain += "]\nc0: &c0 [x]\n";
  for (int i = 1; i <= 505; ++i) {
    chain += "c" + std::to_string(i) + ": &c" + std::to_string(i) + " [*c" + std::to_string(i - 1) +
             "]\n";
  }
  EXPECT_NE(expectSameText(chain, "alias chain beyond the nesting bound")
                .exception.find("Nesting deeper than 500 levels at $.c499[0]"),
            std::string::npos);
}

// A pose_info of 120 elements whose element k cannot be converted, for every k and several
// kinds of failure, also followed by a parse error (which wins: the conversion's lines and its
// error are never shown).
TEST_F(YamlEventsTest, FailureAtEveryPoseInfoPosition) {
  const std::vector<std::string> failures = {
      "    bad: {[1, 2]: 3}\n",        // a key that is not text
      "    bad: {\"\xC3\x28\": 1}\n",  // a key that is not UTF-8
      "    bad: \"\xFF\"\n",           // a value that is not UTF-8
      "    bad: [*p]\n",               // pose_info (anchored) contains itself
      "    bad: " + std::string(501, '[') + std::string(501, ']') + "\n",  // too deep to parse
  };
  for (std::size_t k = 0; k < 120; ++k) {
    const std::string& failure = failures[k % failures.size()];
    std::string text = "header: {robot: r1}\npose_info: &p\n";
    for (std::size_t i = 0; i < 120; ++i) {
      text += "  - x: " + std::to_string(i) + "\n    frame: tool0\n" + (i == k ? failure : "");
    }
    text += "after: 1\n";
    const Outcome outcome = expectSameText(text, "failure at " + std::to_string(k));
    EXPECT_NE(outcome.exception, "") << k;
    if (k % 7 == 0) expectSameText(text + "broken: [1, 2\n", "and a parse error at the end");
  }
}

// --- random documents ---------------------------------------------------------------------------

// Seeded YAML documents in flow style below a block map, made to hit every rule at once:
// anchors on every kind of node, aliases to closed anchors (repeats) and to open ones (cycles),
// aliases as keys, long scalars, duplicate keys, odd scalars, keys that are not text, bytes that
// are not UTF-8, pose_info as a sequence or something else, and chains of aliases that reach the
// expansion and nesting bounds.
class RandomYaml {
 public:
  explicit RandomYaml(std::uint32_t seed) : rng_(seed) {}

  std::string document() {
    if (pick(10) == 0) return value(0);  // a root that is not a map
    std::string text;
    if (pick(20) == 0) text += laughs();
    if (pick(30) == 0) text += chain();
    const int members = 1 + pick(6);
    for (int m = 0; m < members; ++m) {
      if (pick(25) == 0) {
        text += "? " + value(2);
        text += "\n: " + value(1) + "\n";
        continue;
      }
      std::string key = pick(3) == 0 ? "pose_info" : topKey();
      if (key.front() != '*' && pick(6) == 0) {
        const std::string name = newAnchor();
        key = "&" + name + " " + key;
        closed_.push_back(name);  // a scalar key is complete at once
      }
      text += key + (key.front() == '*' ? " : " : ": ");
      text += value(1) + "\n";
    }
    return text;
  }

 private:
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  std::string newAnchor() { return "a" + std::to_string(next_++); }
  std::string closedAlias() { return "*" + closed_[pick(int(closed_.size()))] + " "; }

  std::string topKey() {
    if (!closed_.empty() && pick(8) == 0) return closedAlias();
    static const char* const kKeys[] = {"a", "b", "pose_info", "header", "~", "'1'"};
    return kKeys[pick(6)];
  }

  std::string scalar() {
    static const char* const kScalars[] = {"1",
                                           "-7",
                                           "0x1F",
                                           "010",
                                           "1.5",
                                           "1e3",
                                           ".inf",
                                           ".NaN",
                                           "yes",
                                           "Off",
                                           "abc",
                                           "''",
                                           "~",
                                           "'2'",
                                           "null",
                                           "3000000000",
                                           "9007199254740993",
                                           "\"x y\"",
                                           "tRUE",
                                           "08"};
    switch (pick(12)) {
      case 0:
        return "'" + std::string(64 + pick(100), 'w') + "'";  // several units
      case 1:
        return pick(10) == 0 ? "\"\xE2\x82\"" : "\"\xE2\x82\xAC\"";  // cut or whole UTF-8
      default:
        return kScalars[pick(20)];
    }
  }

  std::string key(int depth) {
    switch (pick(30)) {
      case 0:
        return value(depth);  // maybe not text
      case 1:
        return closed_.empty() ? "k" : closedAlias();
      case 2:
        return pick(4) == 0 ? "\"\xFE\"" : "\"\xC3\xA9\"";
      default:
        return std::string(1, char('a' + pick(4)));
    }
  }

  std::string value(int depth) {
    const int choice = depth > 5 ? pick(3) : pick(9);
    // Aliases carry no anchor; one to an open anchor makes a cycle.
    if (choice == 2 && !closed_.empty()) return closedAlias();
    if (choice == 3 && !open_.empty() && pick(4) == 0) {
      return "*" + open_[pick(int(open_.size()))] + " ";
    }
    const std::string name = pick(4) == 0 ? newAnchor() : std::string();
    if (!name.empty()) open_.push_back(name);
    std::string text;
    if (choice < 2) {
      text = scalar();
    } else if (choice % 2 == 0) {
      text = "[";
      const int n = pick(5);
      for (int i = 0; i < n; ++i) {
        if (i > 0) text += ", ";
        text += value(depth + 1);
      }
      text += "]";
    } else {
      text = "{";
      const int n = pick(5);
      for (int i = 0; i < n; ++i) {
        if (i > 0) text += ", ";
        text += key(depth + 1);
        text += ": ";
        text += value(depth + 1);
      }
      text += "}";
    }
    if (name.empty()) return text;
    open_.pop_back();
    closed_.push_back(name);
    return "&" + name + " " + text;
  }

  // "Billion laughs" of random size, sometimes within the bound, sometimes beyond it.
  std::string laughs() {
    const int fanout = 2 + pick(7);
    const int levels = 2 + pick(5);
    std::string text = "l0: &l0 [x]\n";
    for (int level = 1; level <= levels; ++level) {
      text += "l" + std::to_string(level) + ": &l" + std::to_string(level) + " [";
      for (int i = 0; i < fanout; ++i) text += (i ? ", *l" : "*l") + std::to_string(level - 1);
      text += "]\n";
    }
    closed_.push_back("l" + std::to_string(levels));
    return text;
  }

  // Aliases nested one level deeper each: repeats that grow with the square of the length.
  std::string chain() {
    const int length = 20 + pick(280);
    std::string text = "c0: &c0 [x]\n";
    for (int i = 1; i <= length; ++i) {
      text += "c" + std::to_string(i) + ": &c" + std::to_string(i) + " [*c" +
              std::to_string(i - 1) + "]\n";
    }
    closed_.push_back("c" + std::to_string(length));
    return text;
  }

  std::mt19937 rng_;
  int next_ = 0;
  std::vector<std::string> open_;
  std::vector<std::string> closed_;
};

TEST_F(YamlEventsTest, RandomDocumentsWithAnchorsAndAliases) {
  std::size_t failures = 0;
  for (std::uint32_t seed = 1; seed <= 300; ++seed) {
    RandomYaml random(seed);
    const Outcome outcome = expectSameText(random.document(), "seed " + std::to_string(seed));
    failures += outcome.exception.empty() ? 0 : 1;
    if (HasFailure()) break;
  }
  // Both outcomes are common, so both paths of every rule are exercised.
  EXPECT_GT(failures, 60u);
  EXPECT_LT(failures, 240u);
}

// Scalars made of the characters the number, infinity and boolean rules care about, each
// compared as the two conversions read it.
TEST_F(YamlEventsTest, RandomScalarTexts) {
  std::mt19937 rng(7);
  const std::string alphabet = "0123456789+-.xXeEaAfFnNiIoOyYsStTrRuUlL_ \t";
  std::string text = "s:\n";
  for (int i = 0; i < 3000; ++i) {
    const int length = std::uniform_int_distribution<int>(0, 8)(rng);
    std::string scalar;
    for (int c = 0; c < length; ++c) {
      scalar += alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(rng)];
    }
    text += "  - \"" + scalar + "\"\n";
  }
  const Outcome outcome = expectSameText(text, "random scalars");
  EXPECT_EQ(outcome.exception, "");
}

}  // namespace
