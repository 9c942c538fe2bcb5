// The fast readers against the ways they replaced: readYamlToJson through libyaml against the
// same conversion through yaml-cpp's parser, readJson through simdjson against the JSON
// library's own parse (same documents down to the value types, same lines, same exceptions),
// and Reader::forEachPose against the converted documents' "pose_info".
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <vector>

#include <nlohmann/json.hpp>

#include "nimbrel_tavik_util/logger.hpp"
#include "nimbrel_tavik_util/reader.hpp"
#include "reader/json_reader.hpp"
#include "reader/reader_test_support.hpp"
#include "reader/yaml_event_converter.hpp"
#include "reader/yaml_libyaml.hpp"

namespace {

namespace fs = std::filesystem;
using nimbrel_tavik_util::Logger;
using nimbrel_tavik_util::Reader;
namespace detail = nimbrel_tavik_util::detail;
using nlohmann::json;

// The document with every value's type spelled out (0 and 0u, 1 and 1.0 differ).
std::string typed(const json& value) {
  switch (value.type()) {
    case json::value_t::object: {
      std::string text = "{";
      for (const auto& [key, member] : value.items())
        text += json(key).dump() + ":" + typed(member) + ",";
      return text + "}";
    }
    case json::value_t::array: {
      std::string text = "[";
      for (const json& element : value) text += typed(element) + ",";
      return text + "]";
    }
    case json::value_t::number_integer:
      return "i" + value.dump();
    case json::value_t::number_unsigned:
      return "u" + value.dump();
    case json::value_t::number_float: {
      const double d = value.get<double>();
      if (std::isnan(d)) return "fnan";
      return (std::signbit(d) ? "f-" : "f+") + json(std::fabs(d)).dump();
    }
    default:
      return value.dump(-1, ' ', false, json::error_handler_t::replace);
  }
}

struct Outcome {
  std::vector<std::string> lines;
  std::string document;
  std::string exception;
  bool operator==(const Outcome& o) const {
    return lines == o.lines && document == o.document && exception == o.exception;
  }
};

template <typename Read>
Outcome observe(Read&& read) {
  Outcome outcome;
  Logger::setSink([&](Logger::Level level, const std::string& line) {
    outcome.lines.push_back(Logger::levelToString(level) + " " + line);
  });
  try {
    outcome.document = typed(read());
  } catch (const std::exception& e) {
    outcome.exception = std::string(typeid(e).name()) + ": " + e.what();
  }
  Logger::resetSink();
  return outcome;
}

std::vector<fs::path> filesBelow(const fs::path& root) {
  std::vector<fs::path> files;
  if (!fs::is_directory(root)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  return files;
}

class FastReadersTest : public ntu_test::ReaderTest {
 protected:
  // readYamlToJson against its yaml-cpp reading; returns whether libyaml read the file.
  bool expectSameYaml(const std::string& path) {
    const Outcome expected = observe([&] { return detail::readYamlToJsonWithYamlCpp(path); });
    // The yaml-cpp reading writes "begin" in readYamlToJson, before it.
    Outcome actual = observe([&] { return Reader::readYamlToJson(path); });
    if (!actual.lines.empty()) actual.lines.erase(actual.lines.begin());
    EXPECT_EQ(actual.exception, expected.exception) << path;
    EXPECT_EQ(actual.lines, expected.lines) << path;
    EXPECT_EQ(actual.document, expected.document) << path;
    detail::YamlToJsonEvents sink(path);
    return detail::feedLibyamlEvents(path, sink);
  }

  void expectSameJson(const std::string& path) {
    const Outcome expected = observe([&] { return detail::readJsonFile(path, false); });
    const Outcome actual = observe([&] { return Reader::readJson(path); });
    EXPECT_TRUE(actual == expected) << path << "\n  fast:    " << actual.document.substr(0, 200)
                                    << (actual.lines.empty() ? "" : actual.lines[0])
                                    << "\n  library: " << expected.document.substr(0, 200)
                                    << (expected.lines.empty() ? "" : expected.lines[0]);
  }

  // The poses forEachPose hands over, each typed.
  std::vector<std::string> streamed(const std::string& path, std::size_t stopAt = SIZE_MAX) {
    std::vector<std::string> poses;
    const std::size_t count = Reader::forEachPose(path, [&](std::size_t index, json& pose) {
      EXPECT_EQ(index, poses.size());
      poses.push_back(typed(pose));
      return poses.size() != stopAt;
    });
    EXPECT_EQ(count, poses.size());
    return poses;
  }

  static std::vector<std::string> typedPoses(const json& document) {
    std::vector<std::string> poses;
    for (const json& pose : document.at("pose_info")) poses.push_back(typed(pose));
    return poses;
  }
};

TEST_F(FastReadersTest, YamlCorporaReadTheSameThroughLibyaml) {
  std::size_t files = 0;
  std::size_t byLibyaml = 0;
  for (const fs::path& root : {fs::path(NTU_CORPORA_DIR) / "yaml" / "cases",
                               fs::path(NTU_SOURCE_DIR) / "fuzz" / "regressions" / "yaml"}) {
    for (const fs::path& file : filesBelow(root)) {
      if (file.extension() != ".yaml") continue;
      ++files;
      byLibyaml += expectSameYaml(file.string()) ? 1 : 0;
    }
  }
  if (files < 100) GTEST_SKIP() << "corpus not found at " << NTU_CORPORA_DIR;
  // The suite is made of edge cases, many where the parsers part ways; still over a fifth of its
  // files go the fast way (94 of 416 when written). Pose logs all do (the test below).
  EXPECT_GE(byLibyaml * 5, files) << byLibyaml << " of " << files;
}

// Pose logs in block style with every kind of scalar the rules tell apart, each read by libyaml.
TEST_F(FastReadersTest, GeneratedPoseLogsReadTheSameAndStreamTheirPoses) {
  const std::vector<std::string> scalars = {"0",
                                            "-0",
                                            "7",
                                            "-12",
                                            "2147483647",
                                            "2147483648",
                                            "-2147483649",
                                            "1700000000123456789",
                                            "9007199254740993",
                                            "9223372036854775807",
                                            "-9223372036854775808",
                                            "9223372036854775808",
                                            "012",
                                            "08",
                                            "0x1F",
                                            "-0x1f",
                                            "+5",
                                            "1_000",
                                            "0.5",
                                            "-0.25",
                                            "0.0",
                                            "-0.0",
                                            "1.5e-07",
                                            "1.7976931348623157e308",
                                            "1e400",
                                            "2.5e-320",
                                            "1e3",
                                            ".5",
                                            "5.",
                                            ".inf",
                                            "-.Inf",
                                            ".NaN",
                                            "yes",
                                            "No",
                                            "ON",
                                            "off",
                                            "y",
                                            "N",
                                            "true",
                                            "FALSE",
                                            "True",
                                            "tRUE",
                                            "~",
                                            "null",
                                            "NULL",
                                            "",
                                            "'null'",
                                            "'42'",
                                            "\"7 \"",
                                            "tool0",
                                            "a b",
                                            "\"caf\xC3\xA9\"",
                                            "'x: y'",
                                            "\"\\t\""};
  std::string yaml = "header:\n  robot: arm\n  rate: 10\npose_info:\n";
  for (std::size_t i = 0; i < scalars.size() * 3; ++i) {
    yaml += "  - end_pose:\n      position: {x: 0." + std::to_string(i) + ", y: -1.5}\n" +
            "      orientation: [0, 0, 0.7071, 0.7071]\n    v: " + scalars[i % scalars.size()] +
            "\n    seq: " + std::to_string(i) + "\n";
  }
  yaml += "after: 1\n";
  const std::string path = write("poses.yaml", yaml);
  EXPECT_TRUE(expectSameYaml(path));
  const json document = Reader::readYamlToJson(path);
  EXPECT_EQ(streamed(path), typedPoses(document));
  EXPECT_EQ(streamed(path, 5).size(), 5u);

  // The same poses as JSON (numbers as the JSON library writes them), plus JSON's own kinds.
  json asJson = document;
  for (json& pose : asJson["pose_info"]) {
    if (pose["v"].is_number_float() && !std::isfinite(pose["v"].get<double>())) pose["v"] = "x";
  }
  std::string text = asJson.dump(1);
  text.insert(text.size() - 1,
              ",\"extra\": [-0, 0, -1, 18446744073709551615, "
              "18446744073709551616, -9223372036854775809, 1E2, 1e-400, "
              "\"\\u00e9\\ud83d\\ude00\\n\", {\"a\": 1, \"a\": 2}]");
  const std::string jsonPath = write("poses.json", text);
  expectSameJson(jsonPath);
  EXPECT_EQ(streamed(jsonPath), typedPoses(Reader::readJson(jsonPath)));
  EXPECT_EQ(streamed(jsonPath, 1).size(), 1u);
}

TEST_F(FastReadersTest, JsonCorporaReadTheSameThroughSimdjson) {
  std::size_t files = 0;
  for (const fs::path& root : {fs::path(NTU_CORPORA_DIR) / "json" / "test_parsing",
                               fs::path(NTU_SOURCE_DIR) / "fuzz" / "regressions" / "json"}) {
    for (const fs::path& file : filesBelow(root)) {
      ++files;
      expectSameJson(file.string());
    }
  }
  if (files < 100) GTEST_SKIP() << "corpus not found at " << NTU_CORPORA_DIR;
  // Numbers and trailing text the two parsers read differently.
  for (const std::string& text : std::vector<std::string>{
           "[-0]", "-0", "{\"a\": -0 }", "[0, \"-0\"]", "[1] x", "{} {}", "\xEF\xBB\xBF[1]",
           "[1e400]", "18446744073709551616", "[\"\\udc00\"]", "", " ",
           std::string(501, '[') + std::string(501, ']')}) {
    expectSameJson(write("t.json", text));
  }
}

// A broken pose is named with its index and line; the poses before it are handed over.
TEST_F(FastReadersTest, StreamNamesTheBrokenPose) {
  const std::string yaml = write("b.yaml",
                                 "pose_info:\n  - {x: 1}\n  - {x: 2}\n  - {x: [1, 2}\n"
                                 "  - {x: 4}\n");
  std::size_t seen = 0;
  try {
    Reader::forEachPose(yaml, [&](std::size_t, json&) { return ++seen > 0; });
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("pose_info[2] at line 4"), std::string::npos) << e.what();
  }
  EXPECT_EQ(seen, 2u);
  const std::string jsonFile =
      write("b.json", "{\"pose_info\": [\n{\"x\": 1},\n{\"x\": 2},\n{\"x\": tru},\n{\"x\": 4}]}");
  seen = 0;
  try {
    Reader::forEachPose(jsonFile, [&](std::size_t, json&) { return ++seen > 0; });
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("pose_info[2] at line 4"), std::string::npos) << e.what();
  }
  EXPECT_EQ(seen, 2u);
  const std::string bad = write("c.yaml", "pose_info:\n  - x: 1\n  - \"\xFF\": 2\n");
  EXPECT_THROW(Reader::forEachPose(bad, [](std::size_t, json&) { return true; }),
               std::runtime_error);
  EXPECT_THROW(Reader::forEachPose(path("missing.json"), [](std::size_t, json&) { return true; }),
               std::runtime_error);
}

}  // namespace
