// set_cover_solve's readers against an independent model of the instance: random instances
// written in every format (with the spellings each format allows) read back to the same compact
// form; and the input errors, each where a wrong rule would let it through.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "set_cover_solve/compact_instance.hpp"
#include "set_cover_solve/formats.hpp"

namespace scs = set_cover_solve;

namespace {

// The model: set id -> rows (1-based labels), and a cost per set.
struct Model {
  int rows = 0;
  std::map<int, std::set<int>> sets;
  std::map<int, double> costs;
};

Model randomModel(std::mt19937& rng, bool everyRowCovered) {
  Model m;
  m.rows = 1 + static_cast<int>(rng() % 12);
  const int n = 1 + static_cast<int>(rng() % 9);
  for (int j = 1; j <= n; ++j) {
    std::set<int>& s = m.sets[j];
    for (int r = 1; r <= m.rows; ++r) {
      if (rng() % 3 == 0) s.insert(r);
    }
    m.costs[j] = static_cast<double>(rng() % 4);  // 0 included: free sets
  }
  if (everyRowCovered) {
    for (int r = 1; r <= m.rows; ++r) m.sets[1 + static_cast<int>(rng() % n)].insert(r);
  }
  return m;
}

std::string blank(std::mt19937& rng) {
  static const char* kBlanks[] = {" ", "\n", "  ", "\t", "\r\n", " \n "};
  return kBlanks[rng() % 6];
}

// OR-Library text with assorted blanks, '+' signs and a repeated column now and then.
std::string orLibrary(const Model& m, std::mt19937& rng) {
  std::ostringstream out;
  out << m.rows << blank(rng) << m.sets.size() << blank(rng);
  for (const auto& [id, c] : m.costs) out << (rng() % 5 == 0 ? "+" : "") << c << blank(rng);
  for (int r = 1; r <= m.rows; ++r) {
    std::vector<int> cols;
    for (const auto& [id, s] : m.sets) {
      if (s.count(r)) cols.push_back(id);
    }
    // A repeat, where the count stays within 1..n.
    if (!cols.empty() && cols.size() < m.sets.size() && rng() % 4 == 0) {
      cols.push_back(cols.front());
    }
    std::shuffle(cols.begin(), cols.end(), rng);
    out << (rng() % 5 == 0 ? "+" : "") << cols.size();
    for (const int c : cols) out << blank(rng) << c;
    out << "\n";
  }
  return out.str();
}

std::string document(const Model& m, std::mt19937& rng, bool yaml, bool universe) {
  std::vector<int> ids;
  for (const auto& entry : m.sets) ids.push_back(entry.first);
  std::shuffle(ids.begin(), ids.end(), rng);  // key order must not matter
  std::ostringstream out;
  out << (yaml ? "sets:\n" : "{\"sets\": {");
  for (std::size_t k = 0; k < ids.size(); ++k) {
    out << (yaml ? "  \"" : k ? ", \"" : "\"") << ids[k] << "\": [";
    bool first = true;
    for (const int e : m.sets.at(ids[k])) {
      out << (first ? "" : ", ") << e;
      first = false;
    }
    out << (yaml ? "]\n" : "]");
  }
  out << (yaml ? "costs:\n" : "}, \"costs\": {");
  for (std::size_t k = 0; k < ids.size(); ++k) {
    out << (yaml ? "  "
            : k  ? ", "
                 : "")
        << '"' << ids[k] << "\": " << m.costs.at(ids[k]) << (yaml ? "\n" : "");
  }
  out << (yaml ? "" : "}");
  if (universe) {
    out << (yaml ? "elements: [" : ", \"elements\": [");
    for (int r = m.rows; r >= 1; --r) out << r << (r > 1 ? ", " : "");
    out << "]" << (yaml ? "\n" : "");
  }
  out << (yaml ? "" : "}");
  return out.str();
}

// The compact form the model must read as: columns by ascending id, rows by ascending label
// among the labels present (all of 1..rows when `allRows`).
void expectSame(const scs::CompactInstance& got, const Model& m, bool allRows,
                const std::string& what) {
  std::set<int> present;
  for (const auto& entry : m.sets) present.insert(entry.second.begin(), entry.second.end());
  if (allRows) {
    for (int r = 1; r <= m.rows; ++r) present.insert(r);
  }
  const std::vector<int> labels(present.begin(), present.end());
  ASSERT_EQ(got.elements, static_cast<int>(labels.size())) << what;
  ASSERT_EQ(got.sets(), static_cast<int>(m.sets.size())) << what;
  int j = 0;
  for (const auto& [id, s] : m.sets) {
    EXPECT_EQ(got.setIds[j], id) << what;
    EXPECT_EQ(got.costs[j], m.costs.at(id)) << what;
    std::vector<int> rows;
    for (std::int64_t e = got.setStart[j]; e < got.setStart[j + 1]; ++e) {
      rows.push_back(static_cast<int>(got.elementLabels[got.elementIndex[e]]));
    }
    EXPECT_EQ(rows, std::vector<int>(s.begin(), s.end())) << what << " set " << id;
    ++j;
  }
}

std::string gzip(const std::string& text) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, text.size()) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// The InputError or NoCover message of reading `text`, as "where: what".
std::string failure(const std::string& text, scs::Format format) {
  try {
    scs::readInstanceText(text, format);
  } catch (const scs::NoCover& e) {
    return "no cover: " + e.where() + ": " + e.what();
  } catch (const scs::InputError& e) {
    return e.where() + ": " + e.what();
  }
  return "accepted";
}

}  // namespace

TEST(InstanceReader, EveryFormatReadsRandomInstancesAsTheModel) {
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    const Model m = randomModel(rng, true);
    const std::string what = "round " + std::to_string(round);
    const std::string text = orLibrary(m, rng);
    expectSame(scs::readOrLibrary(text), m, true, what + " orlib\n" + text);
    expectSame(scs::readOrLibrary(scs::InputText::gunzip(gzip(text))), m, true, what + " gz");
    expectSame(scs::readOrLibrary("\xEF\xBB\xBF" + text.substr(0, 0) + text), m, true, what);
    const bool universe = round % 2 == 0;
    expectSame(scs::readJsonDocument(document(m, rng, false, universe)), m, universe,
               what + " json\n" + document(m, rng, false, universe));
    expectSame(scs::readYamlDocument(document(m, rng, true, universe)), m, universe,
               what + " yaml\n" + document(m, rng, true, universe));
    // The map form numbers the same way.
    const scs::CompactInstance c = scs::readOrLibrary(text);
    const std::map<int, std::set<int>> map = scs::toMapForm(c);
    ASSERT_EQ(map.size(), m.sets.size());
    for (const auto& [id, s] : m.sets) {
      std::set<int> rows;
      for (const int r : map.at(id)) rows.insert(static_cast<int>(c.elementLabels[r]));
      EXPECT_EQ(rows, s) << what;
    }
  }
}

TEST(InstanceReader, SteinerRowsOfThree) {
  // Repeats inside a row count once; a column in no row is an empty set.
  const scs::CompactInstance c = scs::readSteiner("4 3\n1 2 3\n+2 2 3\n1 3 1\n");
  ASSERT_EQ(c.sets(), 4);
  ASSERT_EQ(c.elements, 3);
  const std::vector<std::int64_t> start = {0, 2, 4, 7, 7};
  const std::vector<int> rows = {0, 2, 0, 1, 0, 1, 2};
  EXPECT_EQ(c.setStart, start);
  EXPECT_EQ(c.elementIndex, rows);
  EXPECT_EQ(failure("5 1\n1 2 3\n", scs::Format::steiner),
            "1: 5 columns but only 1 rows of three: some column would be in no row");
}

TEST(InstanceReader, NoCoverIsItsOwnOutcome) {
  // A row with no column, after the whole file is checked (a typo later wins).
  EXPECT_EQ(failure("3 2\n1 1\n1 1\n0\n1 2\n", scs::Format::orlib),
            "no cover: 4: row 2 is in no set");
  EXPECT_EQ(failure("3 2\n1 1\n1 1\n0\n1 3\n", scs::Format::orlib),
            "5: a column of row 3 is 3, outside 1..2");
  // A universe member in no set; an element outside the universe; a repeated universe member.
  EXPECT_EQ(failure(R"({"elements": [3, 1, 2], "sets": {"1": [1, 2]}})", scs::Format::json),
            "no cover: /elements/0: element 3 is in no set");
  EXPECT_EQ(failure(R"({"sets": {"1": ["a"]}, "elements": ["a", "b"]})", scs::Format::json),
            "no cover: /elements/1: element 'b' is in no set");
  EXPECT_EQ(failure(R"({"sets": {"1": [1], "2": [1, 4]}, "elements": [1]})", scs::Format::json),
            "/sets/2/1: element 4 is not in \"elements\"");
  EXPECT_EQ(failure("sets: {1: [1]}\nelements: [1, 2, 1]\n", scs::Format::yaml),
            "/elements/2: repeated element 1 (each may appear once)");
  // An empty universe and no elements: the empty cover.
  EXPECT_EQ(failure(R"({"sets": {"1": []}, "elements": []})", scs::Format::json), "accepted");
}

TEST(InstanceReader, RepeatedKeysAreErrorsAtTheSecondOne) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {R"({"sets": {"1": [1, 2], "1": [3]}})", "/sets/1: repeated set '1'"},
      {R"({"sets": {"1": [1]}, "sets": {"2": [1]}})", "/sets: repeated member 'sets'"},
      {R"({"sets": {"1": [1]}, "costs": {"1": 1}, "costs": {"1": 2}})",
       "/costs: repeated member 'costs'"},
      {R"({"sets": {"1": [1]}, "costs": {"1": 1, "1": 2}})", "/costs/1: repeated cost of '1'"},
      {R"({"elements": [1], "sets": {"a/b": [1], "a/b": [1]}})", "/sets/a~1b: repeated set"},
  };
  for (const auto& [text, where] : cases) {
    EXPECT_EQ(failure(text, scs::Format::json).compare(0, where.size(), where), 0)
        << text << " -> " << failure(text, scs::Format::json);
  }
  EXPECT_EQ(failure("sets:\n  1: [1, 2]\n  1: [3]\n", scs::Format::yaml).substr(0, 25),
            "/sets/1: repeated set '1'");
}

TEST(InstanceReader, ElementsNumberedInAscendingOrderDenseOrSparse) {
  // Integers close together (a table) and far apart (a sorted search), strings: rows follow the
  // elements' order, and each set's rows ascend.
  struct Case {
    std::string text;
    std::vector<long long> labels;       // all elements, ascending
    std::vector<std::vector<int>> rows;  // rows of each set
  };
  const std::vector<Case> cases = {
      {R"({"sets": {"1": [7, 5, 6], "2": [5, 9]}})", {5, 6, 7, 9}, {{0, 1, 2}, {0, 3}}},
      {R"({"sets": {"1": [2000000000, -5, 0], "2": [-2147483648, 0]}})",
       {-2147483648LL, -5, 0, 2000000000},
       {{1, 2, 3}, {0, 2}}},
  };
  for (const Case& k : cases) {
    const scs::CompactInstance c = scs::readJsonDocument(k.text);
    EXPECT_EQ(c.elementLabels, k.labels) << k.text;
    ASSERT_EQ(c.sets(), static_cast<int>(k.rows.size()));
    for (int j = 0; j < c.sets(); ++j) {
      EXPECT_EQ(std::vector<int>(c.elementIndex.begin() + c.setStart[j],
                                 c.elementIndex.begin() + c.setStart[j + 1]),
                k.rows[j])
          << k.text << " set " << j;
    }
  }
  const scs::CompactInstance s =
      scs::readJsonDocument(R"({"sets": {"1": ["b", "a"], "2": ["c"]}})");
  EXPECT_EQ(s.elementNames, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(s.elementIndex, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(s.elementLabel(2), "c");
}

TEST(InstanceReader, NamesAndIds) {
  // All keys canonical integers: ids, columns by ascending id.
  const scs::CompactInstance ids = scs::readJsonDocument(R"({"sets": {"10": [1], "2": [2]}})");
  EXPECT_EQ(ids.setIds, (std::vector<int>{2, 10}));
  EXPECT_TRUE(ids.setNames.empty());
  EXPECT_EQ(ids.setLabel(1), "10");
  // One key that is no such integer ("01", "-1", "x"): all are names, in document order, and
  // "1" and "01" stay two sets.
  for (const std::string key : {"01", "-1", "x", "2147483648"}) {
    const scs::CompactInstance named = scs::readJsonDocument(
        R"({"sets": {"1": [1], ")" + key + R"(": [2]}, "costs": {")" + key + R"(": 3, "1": 0}})");
    EXPECT_EQ(named.setIds, (std::vector<int>{0, 1})) << key;
    EXPECT_EQ(named.setNames, (std::vector<std::string>{"1", key}));
    EXPECT_EQ(named.costs, (std::vector<double>{0, 3}));
    EXPECT_EQ(named.setLabel(1), key);
  }
  EXPECT_EQ(failure(R"({"sets": {"": [1], "a": [1]}})", scs::Format::json),
            "/sets/: a set name is empty");
}

TEST(InstanceReader, CostsAndCountsAtTheEdges) {
  // '+1' as a cost and as a count, cost 0, -0; negative and non-finite costs refused.
  EXPECT_EQ(failure("1 2\n+1 0\n+2 1 2\n", scs::Format::orlib), "accepted");
  EXPECT_EQ(scs::readOrLibrary("1 1\n-0\n1 1\n").costs, std::vector<double>{0});
  EXPECT_EQ(failure("1 1\n-1\n1 1\n", scs::Format::orlib), "2: column cost '-1' is negative");
  EXPECT_EQ(failure("1 1\ninf\n1 1\n", scs::Format::orlib),
            "2: expected column cost (a finite number), found 'inf'");
  EXPECT_EQ(failure("1 1\n+-1\n1 1\n", scs::Format::orlib),
            "2: expected column cost (a finite number), found '+-1'");
  EXPECT_EQ(failure(R"({"sets": {"1": [1]}, "costs": {"1": 0}})", scs::Format::json), "accepted");
  EXPECT_EQ(failure(R"({"sets": {"1": [1]}, "costs": {"1": -0.5}})", scs::Format::json),
            "/costs/1: cost must be finite and 0 or more");
  EXPECT_EQ(failure("sets: {1: [1]}\ncosts: {1: .inf}\n", scs::Format::yaml),
            "/costs/1: cost must be finite and 0 or more");
  // Header counts beyond what the bytes after them can hold fail before any allocation.
  EXPECT_EQ(failure("2000000000 1\n1\n1 1\n", scs::Format::orlib),
            "1: row count 2000000000 is more than the 9 bytes after it can hold");
  EXPECT_EQ(failure("1 2000000000\n1\n1 1\n", scs::Format::orlib),
            "1: column count 2000000000 is more than the 7 bytes after it can hold");
  EXPECT_EQ(failure("3 3\n1 1 1\n", scs::Format::orlib),
            "1: 3 rows and 3 columns are more than the 7 bytes after them can hold");
  EXPECT_EQ(failure("3 100000000\n1 2 3\n", scs::Format::steiner),
            "1: row count 100000000 is more than the 7 bytes after it can hold");
  // The tightest header that fits is still read to its natural end.
  EXPECT_EQ(failure("1 1\n1\n1 1", scs::Format::orlib), "accepted");
  EXPECT_EQ(failure("2 1\n1\n1 1\n0", scs::Format::orlib), "no cover: 4: row 2 is in no set");
}

TEST(InstanceReader, MessagesStayValidUtf8AndOneLine) {
  // A byte that is not UTF-8 and a line break: escaped, in JSON's parse error and in keys.
  const std::string json = failure("{\"sets\": {\"1\": [1]}, \"co\xffst\": 1}", scs::Format::json);
  EXPECT_NE(json.find("'\"co\\xff'"), std::string::npos) << json;
  EXPECT_EQ(json.find('\xff'), std::string::npos) << json;
  EXPECT_EQ(failure("sets: {1: [1]}\nco\xffst: 1\n", scs::Format::yaml),
            "/co\\xffst: unknown member 'co\\xffst' (expected \"sets\", \"costs\" and "
            "\"elements\")");
  EXPECT_EQ(failure("{\"sets\": {\"a\\nb\": 3}}", scs::Format::json),
            "/sets/a\\x0ab: expected an array of elements, found an integer");
  // Valid UTF-8 is kept as it is.
  EXPECT_EQ(failure("{\"sets\": {\"\xc3\xa9\": 3}}", scs::Format::json),
            "/sets/\xc3\xa9: expected an array of elements, found an integer");
  const std::string bad = failure("sets: {1: [\"\xfe\"], 2: 3}\n", scs::Format::yaml);
  EXPECT_EQ(bad.find('\xfe'), std::string::npos) << bad;
  // Gzip that is damaged or cut says "compressed input".
  const std::string gz = gzip("1 1\n1\n1 1\n");
  for (const std::string& broken : {gz.substr(0, gz.size() / 2), gz.substr(0, 10) + "xxxxxxxx"}) {
    try {
      scs::InputText::gunzip(broken);
      ADD_FAILURE() << "damaged gzip accepted";
    } catch (const scs::InputError& e) {
      EXPECT_EQ(std::string(e.what()).compare(0, 16, "compressed input"), 0) << e.what();
    }
  }
  // Two members, as `cat a.gz b.gz` gives.
  EXPECT_EQ(scs::InputText::gunzip(gzip("ab") + gzip("cd")), "abcd");
  // A valid instance followed by blanks that a few kilobytes of gzip stand for: refused once
  // past the limit (1 GiB for InputText; its memory had no bound), whichever member passes it.
  const std::string instance = "1 1\n1\n1 1\n";
  const std::string blanks = gzip(std::string(3 << 20, ' '));
  EXPECT_EQ(scs::InputText::gunzip(gzip(instance), instance.size()), instance);
  for (const auto& [data, limit] : std::vector<std::pair<std::string, std::size_t>>{
           {gzip(instance), instance.size() - 1},
           {gzip(instance) + blanks, 2 << 20},
           {gzip(instance) + blanks + blanks, (3 << 20) + instance.size() + 100}}) {
    try {
      scs::InputText::gunzip(data, limit);
      ADD_FAILURE() << "decompressed past the limit of " << limit;
    } catch (const scs::InputError& e) {
      EXPECT_NE(std::string(e.what()).find("decompresses to more than " + std::to_string(limit)),
                std::string::npos)
          << e.what();
    }
  }
  EXPECT_EQ(scs::InputText::kMaxDecompressedBytes, std::size_t{1} << 30);
}

TEST(InstanceReader, YamlScalarsAndDepth) {
  // "001", "0x1" and "1" are one element: a warning names two spellings, once.
  std::vector<std::string> warnings;
  const auto collect = [&warnings](const std::string& w) { warnings.push_back(w); };
  scs::CompactInstance c = scs::readYamlDocument("sets:\n  1: [\"001\", 2]\n  2: [1]\n", collect);
  EXPECT_EQ(c.elements, 2);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("'1' and '001'"), std::string::npos) << warnings[0];
  warnings.clear();
  scs::readYamlDocument("sets:\n  1: [0x1, 001, 2]\n  2: [0x1]\n", collect);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("'0x1' and '001'"), std::string::npos) << warnings[0];
  warnings.clear();
  // One spelling, however often, or plain numbers only: no warning.
  scs::readYamlDocument("sets:\n  1: [\"001\", 2]\n  2: [001]\n", collect);
  scs::readYamlDocument("sets:\n  1: [1, 2]\n  2: [\"1\"]\n", collect);
  EXPECT_TRUE(warnings.empty());
  // The same text in JSON: three elements, no warning there.
  EXPECT_EQ(scs::readJsonDocument(R"({"sets": {"1": ["001", "1"], "2": ["0x1"]}})").elements, 3);
  // Nesting: a container where an element belongs is refused there; beyond yaml-cpp's limit
  // the library's depth message comes with the line, never yaml-cpp's "bad file". The parser
  // reads on after the first broken rule, so a syntax error later in the file wins.
  const std::string nested = "sets:\n  1: " + std::string(10, '[') + std::string(10, ']') + "\n";
  EXPECT_EQ(failure(nested, scs::Format::yaml),
            "/sets/1/0: expected an integer element (all integers or all strings), found an "
            "array");
  const std::string deep = "sets:\n  1: " + std::string(600, '[') + std::string(600, ']') + "\n";
  EXPECT_EQ(failure(deep, scs::Format::yaml), "2: Nesting deeper than 500 levels");
  const std::string deepRoot = std::string(5000, '[') + std::string(5000, ']');
  EXPECT_EQ(failure(deepRoot, scs::Format::yaml), "1: Nesting deeper than 500 levels");
  // Refused before yaml-cpp scans the brackets (it would hold every one of them), on the line
  // where the 501st opens; brackets in quotes and comments are text, not nesting.
  EXPECT_EQ(failure("sets:\n  1: [1]\n  2: " + std::string(100000, '[') + "\n", scs::Format::yaml),
            "3: Nesting deeper than 500 levels");
  const std::string open600(600, '[');
  EXPECT_EQ(scs::readYamlDocument("# " + open600 + "\nsets:\n  \"" + open600 + "\": [1]\n  '" +
                                      open600 + "x': [1, 2]\n",
                                  nullptr)
                .elements,
            2);
  EXPECT_EQ(failure(deepRoot, scs::Format::json),
            "/: expected an object with a member \"sets\", found an array");
  EXPECT_EQ(failure("sets:\n  1: [1, x]\n  2: [3\n", scs::Format::yaml).substr(0, 3), "4: ");
  EXPECT_EQ(failure(R"({"sets": {"1": [1, "x"]}, "costs": 3, )", scs::Format::json).substr(0, 12),
            "1: column 39");
  EXPECT_EQ(failure("sets: &a {1: [1]}\ncosts: *a\n", scs::Format::yaml),
            "2: aliases (*name) are not supported in instance documents");
  EXPECT_EQ(failure("", scs::Format::yaml),
            "/: expected an object with a member \"sets\", found null");
  EXPECT_EQ(failure("\xEF\xBB\xBFsets: {1: [1]}\n", scs::Format::yaml), "accepted");
  EXPECT_EQ(failure("\xEF\xBB\xBF{\"sets\": {\"1\": [1]}}", scs::Format::json), "accepted");
}

TEST(InstanceReader, FormatTable) {
  EXPECT_EQ(scs::formatFromName("a/b.json"), scs::Format::json);
  EXPECT_EQ(scs::formatFromName("a/b.json.gz"), scs::Format::json);
  EXPECT_EQ(scs::formatFromName("x.yml"), scs::Format::yaml);
  EXPECT_EQ(scs::formatFromName("x.yaml.gz"), scs::Format::yaml);
  EXPECT_EQ(scs::formatFromName("dir/data.45"), scs::Format::steiner);
  EXPECT_EQ(scs::formatFromName("dir/data.45.gz"), scs::Format::steiner);
  EXPECT_EQ(scs::formatFromName("data."), scs::Format::orlib);
  EXPECT_EQ(scs::formatFromName("data.4x"), scs::Format::orlib);
  EXPECT_EQ(scs::formatFromName("stn27.stn"), scs::Format::steiner);
  EXPECT_EQ(scs::formatFromName("scp41.txt"), scs::Format::orlib);
  EXPECT_EQ(scs::formatFromName("json"), scs::Format::orlib);
  EXPECT_EQ(scs::formatFromName("rail507"), scs::Format::rail);
  EXPECT_EQ(scs::formatFromName("m.mps.gz"), scs::Format::mps);
  EXPECT_EQ(scs::formatFromName("m.lp"), scs::Format::lp);
  EXPECT_EQ(scs::formatFromText("NAME x\nROWS", scs::Format::orlib), scs::Format::mps);
  EXPECT_EQ(scs::formatFromText("\\ c\nMinimize", scs::Format::orlib), scs::Format::lp);
  EXPECT_EQ(scs::formatFromText("minimize\n", scs::Format::orlib), scs::Format::lp);
  EXPECT_EQ(scs::formatFromText(" \n{\"sets\"", scs::Format::orlib), scs::Format::json);
  EXPECT_EQ(scs::formatFromText("\xEF\xBB\xBF{", scs::Format::orlib), scs::Format::json);
  EXPECT_EQ(scs::formatFromText("\n sets:", scs::Format::orlib), scs::Format::yaml);
  EXPECT_EQ(scs::formatFromText("---\nsets:", scs::Format::orlib), scs::Format::yaml);
  EXPECT_EQ(scs::formatFromText(" 3 4\n", scs::Format::orlib), scs::Format::orlib);
  EXPECT_EQ(scs::formatFromText(" 3 4\n", scs::Format::steiner), scs::Format::steiner);
  EXPECT_EQ(scs::formatFromText("", scs::Format::orlib), scs::Format::orlib);
  // Every name of the table round-trips and the help names every one.
  std::size_t n = 0;
  const scs::FormatInfo* table = scs::formatTable(n);
  ASSERT_EQ(n, 7u);
  for (std::size_t i = 0; i < n; ++i) {
    scs::Format f;
    ASSERT_TRUE(scs::formatFromString(table[i].name, f));
    EXPECT_EQ(f, table[i].format);
    EXPECT_STREQ(scs::formatName(f), table[i].name);
    EXPECT_NE(scs::formatHelp().find(table[i].what), std::string::npos);
  }
  scs::Format f;
  EXPECT_FALSE(scs::formatFromString("xml", f));
  EXPECT_EQ(scs::formatNameList(), "orlib, rail, steiner, json, yaml, mps or lp");
}
