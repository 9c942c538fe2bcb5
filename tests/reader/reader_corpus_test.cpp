// The readers against the shared corpora: JSONTestSuite for readJson, yaml-test-suite for the
// YAML loader and converter, each compared with what the corpus recorded for the libraries.
#include <fstream>
#include <map>
#include <set>

#include <yaml-cpp/yaml.h>
#include <nlohmann/json.hpp>

#include "nimbrel_tavik_util/reader.hpp"
#include "reader/reader_test_support.hpp"

namespace {

using nimbrel_tavik_util::Reader;
using nlohmann::json;

const ntu_test::fs::path kCorpora = NTU_CORPORA_DIR;

// Rows of a tab-separated table with a header line, as column name -> value.
std::vector<std::map<std::string, std::string>> readTable(const ntu_test::fs::path& file) {
  std::vector<std::map<std::string, std::string>> rows;
  std::ifstream in(file);
  std::string line;
  std::vector<std::string> header;
  auto split = [](const std::string& s) {
    std::vector<std::string> cells;
    std::size_t start = 0;
    for (std::size_t tab; (tab = s.find('\t', start)) != std::string::npos; start = tab + 1) {
      cells.push_back(s.substr(start, tab - start));
    }
    cells.push_back(s.substr(start));
    return cells;
  };
  if (std::getline(in, line)) header = split(line);
  while (std::getline(in, line)) {
    const auto cells = split(line);
    std::map<std::string, std::string> row;
    for (std::size_t i = 0; i < header.size() && i < cells.size(); ++i) row[header[i]] = cells[i];
    rows.push_back(row);
  }
  return rows;
}

class ReaderCorpusTest : public ntu_test::ReaderTest {};

TEST_F(ReaderCorpusTest, JsonTestSuiteOutcomesMatchStreamParsing) {
  const auto table = kCorpora / "json" / "observed_nlohmann-3.11.2.tsv";
  if (!ntu_test::fs::exists(table)) GTEST_SKIP() << "corpus not found at " << kCorpora;
  const auto rows = readTable(table);
  ASSERT_GT(rows.size(), 300u);
  // Unclosed nesting, refused for its depth before the parser reaches the end of the input.
  const std::set<std::string> tooDeep = {"n_structure_100000_opening_arrays.json",
                                         "n_structure_open_array_object.json"};
  for (const auto& row : rows) {
    clearStreams();
    const std::string file = (kCorpora / "json" / "test_parsing" / row.at("file")).string();
    const std::string outcome = row.at("stream_operator>>");
    Reader::readJson(file);
    const std::string err = err_.str();
    if (tooDeep.count(row.at("file")) != 0) {
      EXPECT_EQ(outcome, "rejected/parse_error") << row.at("file");
      EXPECT_EQ(err, "[ERROR] Failed to read JSON file: document nested deeper than 500 levels\n");
    } else if (outcome == "accepted") {
      EXPECT_EQ(err, "") << row.at("file");
    } else {
      const std::string id = outcome == "rejected/out_of_range" ? "out_of_range" : "parse_error";
      EXPECT_EQ(err.rfind("[ERROR] Failed to read JSON file: [json.exception." + id, 0), 0u)
          << row.at("file") << ": " << err;
    }
  }
}

TEST_F(ReaderCorpusTest, YamlTestSuiteConvertsLikeTheSuiteExpects) {
  const auto table = kCorpora / "yaml" / "observed_yaml-cpp-0.7.0.tsv";
  if (!ntu_test::fs::exists(table)) GTEST_SKIP() << "corpus not found at " << kCorpora;
  const auto rows = readTable(table);
  ASSERT_GT(rows.size(), 400u);
  std::size_t compared = 0;
  for (const auto& row : rows) {
    const auto folder = kCorpora / "yaml" / "cases" / row.at("path");
    const std::string input = (folder / "in.yaml").string();
    const std::string rule = row.at("project_rule_vs_in_json");
    if (row.at("yaml_cpp_LoadFile") == "parser_exception") {
      EXPECT_THROW(Reader::readYaml(input), YAML::ParserException) << row.at("path");
      continue;
    }
    const YAML::Node root = Reader::readYaml(input);
    json converted;
    try {
      converted = Reader::yamlNodeToJson(root);
    } catch (const std::runtime_error&) {
      // Complex keys and the like: JSON cannot hold them, and the suite gives no JSON.
      EXPECT_EQ(rule, "no_in_json") << row.at("path");
      continue;
    }
    if (rule == "json_equal" || rule == "json_equal_but_number_type_differs") {
      std::ifstream expectedIn(folder / "in.json");
      json expected;
      expectedIn >> expected;
      EXPECT_EQ(converted, expected) << row.at("path");
      ++compared;
    } else if (rule == "in_json_empty(no document)") {
      EXPECT_TRUE(converted.is_null()) << row.at("path");
    }
  }
  EXPECT_EQ(compared, 252u);
}

}  // namespace
