#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>

#include <yaml-cpp/yaml.h>
#include <nlohmann/json.hpp>

#include "nimbrel_tavik_util/reader.hpp"
#include "reader/reader_test_support.hpp"

namespace {

using nimbrel_tavik_util::Reader;
using nlohmann::json;
using Strings = std::vector<std::string>;

class YamlReaderTest : public ntu_test::ReaderTest {
 protected:
  static json convert(const std::string& yaml) { return Reader::yamlNodeToJson(YAML::Load(yaml)); }

  // The two lines readYaml writes on standard output for a file that loads.
  Strings loadLines(const std::string& p, const std::string& type) const {
    return {"[INFO] readYaml: loading " + p + " (" + std::to_string(ntu_test::fs::file_size(p)) +
                " bytes)",
            "[INFO] readYaml: loaded " + p + ", root type=" + type};
  }

  template <typename E>
  static std::string messageOf(const std::function<void()>& call) {
    try {
      call();
    } catch (const E& e) {
      return e.what();
    }
    ADD_FAILURE() << "no exception of the expected type";
    return {};
  }
};

// The text yaml-cpp gives a key that cannot be read as a string, at the key's mark.
std::string badConversion(int line, int column) {
  return "yaml-cpp: error at line " + std::to_string(line) + ", column " + std::to_string(column) +
         ": bad conversion";
}

// --- readYaml -----------------------------------------------------------------------------------

TEST_F(YamlReaderTest, MissingFileLogsAndRethrowsBadFile) {
  const std::string p = path("missing.yaml");
  const std::string what = messageOf<YAML::BadFile>([&] { Reader::readYaml(p); });
  EXPECT_EQ(outLines(), Strings{"[INFO] readYaml: loading " + p + " (0 bytes)"});
  EXPECT_EQ(errLines(), Strings{"[ERROR] readYaml: cannot open YAML file: " + p + " - " + what});
}

TEST_F(YamlReaderTest, MalformedFileLogsAndRethrowsParserException) {
  const std::string p = write("bad.yaml", "list: [1, 2\n");
  const std::string what = messageOf<YAML::ParserException>([&] { Reader::readYaml(p); });
  EXPECT_EQ(outLines(), Strings{"[INFO] readYaml: loading " + p + " (12 bytes)"});
  EXPECT_EQ(errLines(), Strings{"[ERROR] readYaml: YAML parse error: " + p + " - " + what});
}

// A folder opens like a file and fails on the first read. (yaml-cpp's parser leaked its buffer
// when that read failed inside its constructor; valgrind and ASan runs of this test see it.)
TEST_F(YamlReaderTest, FolderIsAReadErrorAndLeaksNothing) {
  const std::string p = path("folder.yaml");
  ntu_test::fs::create_directory(p);
  for (int i = 0; i < 2; ++i) {
    clearStreams();
    const std::string what = messageOf<std::ios_base::failure>([&] {
      if (i == 0) Reader::readYaml(p);
      if (i == 1) Reader::readYamlToJson(p);
    });
    EXPECT_NE(what, "");
    EXPECT_EQ(errLines(), Strings{"[ERROR] readYaml: unknown error for " + p + " - " + what});
  }
}

TEST_F(YamlReaderTest, NullRootsWarnAndReturnNull) {
  for (const std::string text : {"", "# only\n# comments\n", "null\n", "~"}) {
    clearStreams();
    const std::string p = write("empty.yaml", text);
    EXPECT_TRUE(Reader::readYaml(p).IsNull()) << text;
    EXPECT_EQ(outLines(), loadLines(p, "Null")) << text;
    EXPECT_EQ(errLines(), Strings{"[WARNING] readYaml: YAML file is empty or invalid: " + p});
  }
}

TEST_F(YamlReaderTest, LoadLinesNameRootTypeAndExactSize) {
  const std::string p = write("map.yaml", "text: " + std::string(3000, 'x') + "\n");
  const YAML::Node root = Reader::readYaml(p);
  EXPECT_EQ(root["text"].as<std::string>().size(), 3000u);
  EXPECT_EQ(outLines(), (Strings{"[INFO] readYaml: loading " + p + " (3007 bytes)",
                                 "[INFO] readYaml: loaded " + p + ", root type=Map"}));
  EXPECT_EQ(err_.str(), "");
  clearStreams();
  Reader::readYaml(write("seq.yaml", "- 1\n"));
  Reader::readYaml(write("scalar.yaml", "word\n"));
  EXPECT_EQ(outLines()[1], "[INFO] readYaml: loaded " + path("seq.yaml") + ", root type=Sequence");
  EXPECT_EQ(outLines()[3], "[INFO] readYaml: loaded " + path("scalar.yaml") + ", root type=Scalar");
}

// --- scalars ------------------------------------------------------------------------------------

TEST_F(YamlReaderTest, ScalarsTryIntThenDoubleThenBoolThenString) {
  struct Case {
    const char* yaml;
    json expected;
    json::value_t type;
  };
  const auto i = json::value_t::number_integer;
  const auto f = json::value_t::number_float;
  const auto b = json::value_t::boolean;
  const auto s = json::value_t::string;
  const Case cases[] = {
      {"42", 42, i},
      {"-7", -7, i},
      {"+5", 5, i},
      {"0x1A", 26, i},
      {"-0x1a", -26, i},
      {"010", 8, i},
      {"'42'", 42, i},   // quoting is not consulted
      {"\"7 \"", 7, i},  // trailing white space is allowed
      {"2147483647", 2147483647, i},
      {"3000000000", 3000000000.0, f},  // misses the 32-bit attempt, exact as a double
      {"-2147483649", -2147483649.0, f},
      {"1.5", 1.5, f},
      {"1e3", 1000.0, f},
      {"08", 8.0, f},  // not octal, so not an integer; the double attempt reads it
      {"9223372036854775808", 9223372036854775808.0, f},  // beyond 64 bits
      {"true", true, b},
      {"off", false, b},
      {"abc", "abc", s},
      {"tRUE", "tRUE", s},
      {"' 7'", " 7", s},  // leading white space fails every number attempt
      {"0x", "0x", s},
      {"1_000", "1_000", s},
      {".Nan", ".Nan", s},
      {"''", "", s},
  };
  for (const auto& c : cases) {
    const json value = convert(std::string("k: ") + c.yaml).at("k");
    EXPECT_EQ(value, c.expected) << c.yaml;
    EXPECT_EQ(value.type(), c.type) << c.yaml;
  }
  for (const char* yes :
       {"y", "Y", "yes", "Yes", "YES", "true", "True", "TRUE", "on", "On", "ON"}) {
    EXPECT_EQ(convert(yes), json(true)) << yes;
  }
  for (const char* no : {"n", "N", "no", "No", "NO", "false", "False", "FALSE", "off", "OFF"}) {
    EXPECT_EQ(convert(no), json(false)) << no;
  }
  EXPECT_EQ(convert("k:\n"), json({{"k", nullptr}}));
  EXPECT_EQ(convert("k: ~\n"), json({{"k", nullptr}}));
}

TEST_F(YamlReaderTest, IntegersThatADoubleWouldChangeStay64Bit) {
  const std::vector<std::pair<std::string, std::int64_t>> kept = {
      {"9007199254740993", 9007199254740993},  // 2^53 + 1
      {"-9007199254740993", -9007199254740993},
      {"1700000000123456789", 1700000000123456789},  // a nanosecond time stamp
      {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
      {"'9007199254740993 '", 9007199254740993},
      {"0x20000000000001", 9007199254740993},
      {"0x100000000", 4294967296},    // the double attempt rejects hex
      {"0100000000000", 8589934592},  // ... and would read octal digits as decimal
      {"-0100000000000", -8589934592},
  };
  for (const auto& [yaml, expected] : kept) {
    const json value = convert("k: " + yaml).at("k");
    EXPECT_TRUE(value.is_number_integer() && !value.is_number_unsigned()) << yaml;
    EXPECT_EQ(value.get<std::int64_t>(), expected) << yaml;
  }
  // Values a double holds exactly keep the double.
  for (const auto& [yaml, expected] :
       std::vector<std::pair<std::string, double>>{{"9007199254740992", 9007199254740992.0},
                                                   {"-9223372036854775808", -9223372036854775808.0},
                                                   {"4294967296", 4294967296.0}}) {
    const json value = convert("k: " + yaml).at("k");
    EXPECT_TRUE(value.is_number_float()) << yaml;
    EXPECT_EQ(value.get<double>(), expected) << yaml;
  }
  // Text after the digits makes it no integer at all.
  EXPECT_EQ(convert("k: 9007199254740993x").at("k"), json("9007199254740993x"));
}

TEST_F(YamlReaderTest, InfinitiesAndNanConvertAndSaveAsNull) {
  const json doc = convert("[.inf, +.Inf, -.INF, .NaN, .nan]");
  ASSERT_EQ(doc.size(), 5u);
  EXPECT_EQ(doc[0].get<double>(), std::numeric_limits<double>::infinity());
  EXPECT_EQ(doc[1].get<double>(), std::numeric_limits<double>::infinity());
  EXPECT_EQ(doc[2].get<double>(), -std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::isnan(doc[3].get<double>()));
  EXPECT_TRUE(std::isnan(doc[4].get<double>()));
  Reader::saveJson(doc, path("special.json"), -1);
  EXPECT_EQ(slurp(path("special.json")), "[null,null,null,null,null]");
}

// --- structure and errors -----------------------------------------------------------------------

TEST_F(YamlReaderTest, CollectionsConvertWithSortedKeys) {
  EXPECT_EQ(convert("b: 1\na: 2\n").dump(), "{\"a\":2,\"b\":1}");
  EXPECT_EQ(convert("a: 1\na: 2\n"), json({{"a", 2}}));  // a later duplicate wins
  EXPECT_EQ(convert("~: 1\n"), json({{"null", 1}}));
  EXPECT_EQ(convert("[]"), json::array());
  EXPECT_EQ(convert("{}"), json::object());
  EXPECT_EQ(convert("- [1, {x: [true, abc]}]\n- {}\n"),
            json::parse(R"([[1, {"x": [true, "abc"]}], {}])"));
  EXPECT_EQ(Reader::yamlNodeToJson(YAML::Node()), json(nullptr));
  EXPECT_EQ(out_.str() + err_.str(), "");
}

TEST_F(YamlReaderTest, ErrorsNameTheWholePath) {
  // outer.list[1] is a map whose key is a flow sequence (line 4, column 8).
  const std::string yaml = "outer:\n  list:\n    - ok\n    - {[1, 2]: v}\n";
  EXPECT_EQ(messageOf<std::runtime_error>([&] { convert(yaml); }),
            "Failed converting key 'outer' at $: Failed converting key 'list' at $.outer: "
            "Failed converting sequence item at $.outer.list[1]: Failed reading map key at "
            "$.outer.list[1]: " +
                badConversion(4, 8));

  YAML::Node map = YAML::Load("{a: 1}");
  const YAML::Node undefinedChild = map["absent"];  // a non-const subscript makes it Undefined
  EXPECT_EQ(messageOf<std::runtime_error>([&] { Reader::yamlNodeToJson(undefinedChild); }),
            "Unsupported YAML node type at $: Undefined");
  const YAML::Node constMap = map;
  EXPECT_FALSE(
      messageOf<YAML::InvalidNode>([&] { Reader::yamlNodeToJson(constMap["zz"]); }).empty());
}

// --- readYamlToJson -----------------------------------------------------------------------------

std::string poseFile(std::size_t count) {
  std::string text = "header:\n  frame: map\n  stamp: 12\npose_info:";
  text += count == 0 ? " []\n" : "\n";
  for (std::size_t i = 0; i < count; ++i) text += "  - {x: " + std::to_string(i) + ", y: 0.5}\n";
  return text;
}

TEST_F(YamlReaderTest, PoseInfoIsConvertedInSegmentsWithProgressLines) {
  const std::string p = write("poses.yaml", poseFile(120));
  const json doc = Reader::readYamlToJson(p);
  ASSERT_EQ(doc.at("pose_info").size(), 120u);
  EXPECT_EQ(doc.at("pose_info")[119], json({{"x", 119}, {"y", 0.5}}));
  EXPECT_EQ(doc.at("header"), json({{"frame", "map"}, {"stamp", 12}}));

  Strings expected = {"[INFO] readYamlToJson: begin " + p};
  for (const auto& line : loadLines(p, "Map")) expected.push_back(line);
  const Strings rest = {
      "[INFO] readYamlToJson: top-level keys (2): [header, pose_info]",
      "[INFO] readYamlToJson: converting top-level key 'header' of type Map",
      "[INFO] readYamlToJson: converting key 'pose_info' as segmented sequence, count=120",
      "[INFO] readYamlToJson: converting pose_info progress 1/120",
      "[INFO] readYamlToJson: converting pose_info progress 50/120",
      "[INFO] readYamlToJson: converting pose_info progress 100/120",
      "[INFO] readYamlToJson: converting pose_info progress 120/120",
      "[INFO] readYamlToJson: key 'pose_info' converted successfully",
      "[INFO] readYamlToJson: done " + p};
  expected.insert(expected.end(), rest.begin(), rest.end());
  EXPECT_EQ(outLines(), expected);
  EXPECT_EQ(err_.str(), "");
}

TEST_F(YamlReaderTest, ProgressLinesForShortPoseInfo) {
  const std::vector<std::pair<std::size_t, Strings>> cases = {
      {0, {}},
      {1, {"1/1"}},
      {50, {"1/50", "50/50"}},
      {51, {"1/51", "50/51", "51/51"}},
  };
  for (const auto& [count, progress] : cases) {
    clearStreams();
    const std::string p = write("poses.yaml", poseFile(count));
    EXPECT_EQ(Reader::readYamlToJson(p).at("pose_info").size(), count);
    const Strings lines = outLines();
    ASSERT_EQ(lines.size(), 8 + progress.size()) << count;
    EXPECT_EQ(lines[5],
              "[INFO] readYamlToJson: converting key 'pose_info' as segmented "
              "sequence, count=" +
                  std::to_string(count));
    for (std::size_t k = 0; k < progress.size(); ++k) {
      EXPECT_EQ(lines[6 + k],
                "[INFO] readYamlToJson: converting pose_info progress " + progress[k]);
    }
    EXPECT_EQ(lines[6 + progress.size()],
              "[INFO] readYamlToJson: key 'pose_info' converted successfully");
  }
}

TEST_F(YamlReaderTest, PoseInfoMapIsAnOrdinaryKey) {
  const std::string p = write("map.yaml", "pose_info: {x: 1}\n");
  EXPECT_EQ(Reader::readYamlToJson(p), json({{"pose_info", {{"x", 1}}}}));
  const Strings lines = outLines();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[3], "[INFO] readYamlToJson: top-level keys (1): [pose_info]");
  EXPECT_EQ(lines[4], "[INFO] readYamlToJson: converting top-level key 'pose_info' of type Map");
}

TEST_F(YamlReaderTest, NonMapRootsAreConvertedWholeWithoutDoneLine) {
  const std::string seq = write("seq.yaml", "- 1\n- {a: x}\n");
  EXPECT_EQ(Reader::readYamlToJson(seq), json::parse(R"([1, {"a": "x"}])"));
  Strings expected = {"[INFO] readYamlToJson: begin " + seq};
  for (const auto& line : loadLines(seq, "Sequence")) expected.push_back(line);
  expected.push_back("[INFO] readYamlToJson: non-map root, converting whole document");
  EXPECT_EQ(outLines(), expected);

  clearStreams();
  const std::string empty = write("empty.yaml", "");
  EXPECT_EQ(Reader::readYamlToJson(empty), json(nullptr));
  EXPECT_EQ(outLines().back(), "[INFO] readYamlToJson: non-map root, converting whole document");
  EXPECT_EQ(outLines().size(), 4u);
  EXPECT_EQ(errLines(), Strings{"[WARNING] readYaml: YAML file is empty or invalid: " + empty});

  const std::string bad = write("bad.yaml", "- ok\n- {[1]: x}\n");
  EXPECT_EQ(messageOf<std::runtime_error>([&] { Reader::readYamlToJson(bad); }),
            "Failed converting sequence item at $[1]: Failed reading map key at $[1]: " +
                badConversion(2, 4));
}

TEST_F(YamlReaderTest, EmptyRootMapListsNoKeys) {
  const std::string p = write("empty_map.yaml", "{}\n");
  EXPECT_EQ(Reader::readYamlToJson(p), json::object());
  const Strings lines = outLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[3], "[INFO] readYamlToJson: top-level keys (0): []");
  EXPECT_EQ(lines[4], "[INFO] readYamlToJson: done " + p);
}

TEST_F(YamlReaderTest, FileErrorsCarryTheirContext) {
  // A top-level key that is not text: listed, then yaml-cpp's own exception, unwrapped.
  const std::string keyed = write("keyed.yaml", "c: 2\n[a, b]: 1\n");
  EXPECT_EQ(messageOf<YAML::BadConversion>([&] { Reader::readYamlToJson(keyed); }),
            badConversion(2, 1));
  Strings lines = outLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[3], "[INFO] readYamlToJson: top-level keys (2): [c, <non-string-key>]");
  EXPECT_EQ(lines[4], "[INFO] readYamlToJson: converting top-level key 'c' of type Scalar");

  // A pose_info element: the file and the index.
  clearStreams();
  const std::string poses = write("poses.yaml", "pose_info:\n  - {x: 1}\n  - {[1, 2]: 3}\n");
  EXPECT_EQ(messageOf<std::runtime_error>([&] { Reader::readYamlToJson(poses); }),
            "Failed converting pose_info[1] in " + poses +
                ": Failed reading map key at $.pose_info[1]: " + badConversion(3, 6));
  lines = outLines();
  ASSERT_EQ(lines.size(), 7u);  // no success line, no done line
  EXPECT_EQ(lines[6], "[INFO] readYamlToJson: converting pose_info progress 2/2");

  // Any other member: the converter's message, unwrapped at the top level.
  const std::string member = write("member.yaml", "a:\n  k: {[1]: 2}\n");
  EXPECT_EQ(
      messageOf<std::runtime_error>([&] { Reader::readYamlToJson(member); }),
      "Failed converting key 'k' at $.a: Failed reading map key at $.a.k: " + badConversion(2, 7));

  // A missing file: readYaml's lines and exception.
  clearStreams();
  const std::string missing = path("missing.yaml");
  EXPECT_THROW(Reader::readYamlToJson(missing), YAML::BadFile);
  EXPECT_EQ(outLines(), (Strings{"[INFO] readYamlToJson: begin " + missing,
                                 "[INFO] readYaml: loading " + missing + " (0 bytes)"}));
  EXPECT_EQ(errLines().size(), 1u);
}

// A document with text that is not UTF-8 could never be saved: refused where the text is.
TEST_F(YamlReaderTest, TextThatIsNotUtf8IsRefusedWithItsPath) {
  const auto refused = [&](const std::string& yaml) {
    return messageOf<std::runtime_error>([&] { Reader::readYamlToJson(write("bad.yaml", yaml)); });
  };
  EXPECT_EQ(refused("a:\n  b: [ok, \"x\xFF\"]\n"),
            "Failed converting key 'b' at $.a: Failed converting sequence item at $.a.b[1]: "
            "Failed to convert scalar at $.a.b[1]: invalid UTF-8 at byte 1");
  EXPECT_EQ(refused("a: {\"k\xC3\": 1}\n"),
            "Failed reading map key at $.a: invalid UTF-8 at byte 1");
  EXPECT_EQ(refused("\"\xFE\": 1\n"), "Failed reading map key at $: invalid UTF-8 at byte 0");
  EXPECT_EQ(refused("pose_info:\n  - {frame: \"t\xC0\x80\"}\n"),  // an overlong form
            "Failed converting pose_info[0] in " + path("bad.yaml") +
                ": Failed converting key 'frame' at $.pose_info[0]: Failed to convert scalar at "
                "$.pose_info[0].frame: invalid UTF-8 at byte 1");
  EXPECT_EQ(refused("- \"\xED\xA0\x80\"\n"),  // a surrogate
            "Failed converting sequence item at $[0]: Failed to convert scalar at $[0]: invalid "
            "UTF-8 at byte 0");
  // Every well-formed sequence length passes; the node converter keeps passing bytes through.
  EXPECT_EQ(
      Reader::readYamlToJson(write("ok.yaml", "k: \"a\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E\"\n")),
      json({{"k", "a\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E"}}));
  EXPECT_EQ(convert("k: \"\xFF\"").at("k"), json("\xFF"));
}

// --- hostile input: alias cycles, depth, alias expansion ---------------------------------------

// `levels` nested sequences with a scalar at the bottom, built through the node interface.
YAML::Node nestedSequences(std::size_t levels) {
  YAML::Node root(YAML::NodeType::Sequence);
  YAML::Node inner = root;
  for (std::size_t i = 1; i < levels; ++i) {
    YAML::Node child(YAML::NodeType::Sequence);
    inner.push_back(child);
    inner.reset(child);  // rebinds the handle; assignment would overwrite the node itself
  }
  inner.push_back(1);
  return root;
}

std::string repeated(const std::string& item, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += (i ? "," : "") + item;
  return text;
}

TEST_F(YamlReaderTest, NodeThatContainsItselfIsRefusedWhereTheCycleCloses) {
  EXPECT_EQ(messageOf<std::runtime_error>([] { convert("&a [ *a ]"); }),
            "Failed converting sequence item at $[0]: Alias cycle at $[0]: the node at $ "
            "contains itself");
  EXPECT_EQ(messageOf<std::runtime_error>([] { convert("k: &a {x: [1, *a]}"); }),
            "Failed converting key 'k' at $: Failed converting key 'x' at $.k: Failed "
            "converting sequence item at $.k.x[1]: Alias cycle at $.k.x[1]: the node at $.k "
            "contains itself");

  // Trees built by a client: a sequence holding itself, a map member joined to the map.
  YAML::Node seq = YAML::Load("[1]");
  seq.push_back(seq);
  EXPECT_EQ(messageOf<std::runtime_error>([&] { Reader::yamlNodeToJson(seq); }),
            "Failed converting sequence item at $[1]: Alias cycle at $[1]: the node at $ "
            "contains itself");
  YAML::Node map = YAML::Load("{a: {b: 1}}");
  map["a"]["up"] = map;
  EXPECT_EQ(messageOf<std::runtime_error>([&] { Reader::yamlNodeToJson(map); }),
            "Failed converting key 'a' at $: Failed converting key 'up' at $.a: Alias cycle at "
            "$.a.up: the node at $ contains itself");

  // Whole files: the root map and pose_info are open while their members convert.
  const std::string root = write("root.yaml", "&r\nok: 1\nself: *r\n");
  EXPECT_EQ(messageOf<std::runtime_error>([&] { Reader::readYamlToJson(root); }),
            "Alias cycle at $.self: the node at $ contains itself");
  const std::string poses = write("poses.yaml", "pose_info: &p\n  - {x: 1}\n  - *p\n");
  EXPECT_EQ(messageOf<std::runtime_error>([&] { Reader::readYamlToJson(poses); }),
            "Failed converting pose_info[1] in " + poses +
                ": Alias cycle at $.pose_info[1]: the node at $.pose_info contains itself");
}

TEST_F(YamlReaderTest, SharedNodesConvertOncePerReference) {
  // Not cycles: an anchor used beside itself, below a sibling, and in a later member.
  const json k = {{"k", {1, 2}}};
  EXPECT_EQ(convert("a: &x {k: [1, 2]}\nb: *x\nc: [*x, [*x]]\n"),
            json({{"a", k}, {"b", k}, {"c", {k, {k}}}}));
  const std::string p = write("shared.yaml", "base: &b [1, 2]\npose_info: [*b, *b]\nlast: *b\n");
  EXPECT_EQ(Reader::readYamlToJson(p),
            json({{"base", {1, 2}}, {"pose_info", {{1, 2}, {1, 2}}}, {"last", {1, 2}}}));
  // A pose_info that is an alias of an earlier sequence is no cycle either.
  const std::string alias = write("alias.yaml", "a: &s [{x: 1}]\npose_info: *s\n");
  EXPECT_EQ(Reader::readYamlToJson(alias)["pose_info"], json({{{"x", 1}}}));
}

TEST_F(YamlReaderTest, NestingIsBoundedAt500Levels) {
  json expected = json::array({1});
  for (int i = 1; i < 500; ++i) expected = json::array({expected});
  EXPECT_EQ(Reader::yamlNodeToJson(nestedSequences(500)), expected);

  std::string where = "$";
  for (int i = 0; i < 500; ++i) where += "[0]";
  const std::string message =
      messageOf<std::runtime_error>([] { Reader::yamlNodeToJson(nestedSequences(100000)); });
  EXPECT_EQ(message.rfind("Failed converting sequence item at $[0]: ", 0), 0u);
  const std::string tail = "Nesting deeper than 500 levels at " + where;
  ASSERT_GE(message.size(), tail.size());
  EXPECT_EQ(message.substr(message.size() - tail.size()), tail);

  // A chain of aliases goes deeper than the parser allows: here 601 levels, 3 per line.
  std::string chain = "- &a0 [x]\n";
  for (int i = 1; i <= 600; ++i) {
    chain += "- &a" + std::to_string(i) + " [*a" + std::to_string(i - 1) + "]\n";
  }
  const YAML::Node top = YAML::Load(chain)[600];
  EXPECT_NE(messageOf<std::runtime_error>([&] {
              Reader::yamlNodeToJson(top);
            }).find("Nesting deeper than 500 levels at $[0]"),
            std::string::npos);

  // The deepest document yaml-cpp parses (499 levels here) still converts from a file.
  const std::string deep =
      write("deep.yaml", "pose_info:\n  - " + std::string(497, '[') + std::string(497, ']'));
  EXPECT_EQ(Reader::readYamlToJson(deep)["pose_info"].dump(),
            "[" + std::string(497, '[') + std::string(497, ']') + "]");
}

TEST_F(YamlReaderTest, AliasExpansionIsBounded) {
  // "Billion laughs": nine levels of nine references, 9^9 leaves from 342 bytes.
  std::string laughs = "a: &a [" + repeated("\"lol\"", 9) + "]\n";
  for (char c = 'b'; c <= 'i'; ++c) {
    laughs +=
        std::string(1, c) + ": &" + c + " [" + repeated(std::string("*") + char(c - 1), 9) + "]\n";
  }
  const std::string bomb = write("laughs.yaml", laughs);
  const std::string message = messageOf<std::runtime_error>([&] { Reader::readYamlToJson(bomb); });
  EXPECT_EQ(message.rfind("Failed converting sequence item at $.f[0]: ", 0), 0u) << message;
  const std::string tail = ": aliases repeat more than 100000 nodes";
  ASSERT_GE(message.size(), tail.size());
  EXPECT_EQ(message.substr(message.size() - tail.size()), tail);
  EXPECT_NE(message.find("Alias expansion limit exceeded at $.f[0]"), std::string::npos);

  // A scalar weighs one node per 64 bytes: 64 copies of 100000 bytes weigh 64 * 1563.
  const std::string text =
      "s: &s " + std::string(100000, 'x') + "\nr: [" + repeated("*s", 200) + "]";
  EXPECT_EQ(messageOf<std::runtime_error>([&] { convert(text); }),
            "Failed converting key 'r' at $: Failed converting sequence item at $.r[63]: Alias "
            "expansion limit exceeded at $.r[63]: aliases repeat more than 100000 nodes");

  // Short scalars reached through an alias cost no more than the alias text: never refused.
  const json many = convert("s: &s x\nr: [" + repeated("*s", 120000) + "]");
  EXPECT_EQ(many["r"].size(), 120000u);
}

TEST_F(YamlReaderTest, RepetitionAllowanceGrowsWithTheDocument) {
  // 150 copies of a 1001-node sequence repeat 150150 nodes: beyond the 100000 allowed for a
  // small document, within 10 times the distinct nodes of one that has 16000 more of them.
  std::string base = "b: &b [";
  for (int i = 0; i < 1000; ++i) base += (i ? "," : "") + std::to_string(i);
  base += "]\ncopies: [" + repeated("*b", 150) + "]\n";
  EXPECT_NE(messageOf<std::runtime_error>([&] { convert(base); }).find("Alias expansion limit"),
            std::string::npos);
  std::string padded = "pad: [";
  for (int i = 0; i < 16000; ++i) padded += (i ? "," : "") + std::to_string(i);
  padded += "]\n" + base;
  const json doc = convert(padded);
  EXPECT_EQ(doc["copies"].size(), 150u);
  EXPECT_EQ(doc["copies"][149], doc["b"]);
}

TEST_F(YamlReaderTest, LargeDocumentsWithoutAliasesAreNeverRefused) {
  // 10000 poses of 14 nodes: well beyond every repetition allowance, none of it repeated.
  std::string text = "pose_info:\n";
  for (int i = 0; i < 10000; ++i) {
    text += "  - {end_pose: [" + std::to_string(i) +
            ", 1, 2, 0, 0, 0, 1], force_vector: [0, 0, 9.8], id: " + std::to_string(i) + "}\n";
  }
  const json doc = Reader::readYamlToJson(write("poses.yaml", text));
  ASSERT_EQ(doc["pose_info"].size(), 10000u);
  EXPECT_EQ(doc["pose_info"][9999]["end_pose"][0], 9999);
}

TEST_F(YamlReaderTest, VeryLongMessagesKeepTheirBothEnds) {
  // 200 levels of 300-byte keys: every level's message would repeat the path below it.
  const std::string key(300, 'k');
  std::string text;
  for (int i = 0; i < 200; ++i) text += "{" + key + std::to_string(i) + ": ";
  text += "{[a]: 1}" + std::string(200, '}');
  const std::string message = messageOf<std::runtime_error>([&] { convert(text); });
  EXPECT_EQ(message.rfind("Failed converting key '" + key + "0' at $: Failed converting key '" +
                              key + "1' at $." + key + "0: ",
                          0),
            0u);
  EXPECT_NE(message.find(" bytes left out ...] "), std::string::npos);
  const std::string innermost = key + "199: " + badConversion(1, int(text.find("[a]")) + 1);
  ASSERT_GE(message.size(), innermost.size());
  EXPECT_EQ(message.substr(message.size() - innermost.size()), innermost);
  EXPECT_LT(message.size(), 4600u);  // instead of 6 MB
}

}  // namespace
