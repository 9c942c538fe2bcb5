// The library's instance files: every format written and read back gives the same matrix and
// costs (random instances, with names, costs and gzip), and models that are not set covering
// are refused naming what breaks them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "nimbrel_tavik_util/set_cover_io.hpp"

namespace ntu = nimbrel_tavik_util;
using ntu::InstanceFormat;

namespace {

// A random instance in which every row is in some set. `named`: set names and string elements
// (ascending, so that every format keeps the row order); `steiner`: every row in exactly three
// sets, unit costs.
ntu::CoverInstance randomInstance(std::mt19937& rng, bool named, bool steiner) {
  std::uniform_int_distribution<int> sizes(1, 12);
  const int m = sizes(rng) + 2;
  const int n = steiner ? m + 1 : sizes(rng) + 1;
  std::vector<std::vector<int>> columns(static_cast<std::size_t>(n));
  for (int i = 0; i < m; ++i) {
    std::vector<int> pick(static_cast<std::size_t>(n));
    for (int j = 0; j < n; ++j) pick[static_cast<std::size_t>(j)] = j;
    std::shuffle(pick.begin(), pick.end(), rng);
    const int k = steiner ? 3 : std::uniform_int_distribution<int>(1, std::min(n, 4))(rng);
    for (int t = 0; t < k; ++t) columns[static_cast<std::size_t>(pick[t])].push_back(i);
  }
  ntu::CoverInstance inst;
  inst.elements = m;
  inst.hasCosts = !steiner;
  for (int j = 0; j < n; ++j) {
    auto& c = columns[static_cast<std::size_t>(j)];
    std::sort(c.begin(), c.end());
    inst.elementIndex.insert(inst.elementIndex.end(), c.begin(), c.end());
    inst.setStart.push_back(static_cast<std::int64_t>(inst.elementIndex.size()));
    // Costs that need all 17 digits, whole ones and 0.
    const int kind = std::uniform_int_distribution<int>(0, 3)(rng);
    inst.costs.push_back(steiner     ? 1.0
                         : kind == 0 ? 0.0
                         : kind == 1 ? std::uniform_int_distribution<int>(1, 99)(rng)
                                     : std::uniform_real_distribution<double>(0, 1e6)(rng) / 3);
    inst.setIds.push_back(named ? j : j + 1);
    if (named)
      inst.setNames.push_back("set_" + std::string(1, static_cast<char>('a' + j % 26)) +
                              std::to_string(j));
  }
  for (int i = 0; i < m; ++i) {
    if (named) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "pt%03d", i);
      inst.elementNames.push_back(buf);
    } else {
      inst.elementLabels.push_back(i + 1);
    }
  }
  return inst;
}

void expectSameMatrix(const ntu::CoverInstance& a, const ntu::CoverInstance& b,
                      const std::string& what) {
  EXPECT_EQ(a.elements, b.elements) << what;
  EXPECT_EQ(a.setStart, b.setStart) << what;
  EXPECT_EQ(a.elementIndex, b.elementIndex) << what;
  EXPECT_EQ(a.costs, b.costs) << what;  // exact: costs are written to read back the same
}

}  // namespace

TEST(InstanceIo, EveryFormatRoundTrips) {
  std::mt19937 rng(36);
  const auto dir =
      std::filesystem::temp_directory_path() / ("instance_io_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  for (int round = 0; round < 60; ++round) {
    const bool named = round % 3 == 1;
    const bool steiner = round % 3 == 2;
    const ntu::CoverInstance inst = randomInstance(rng, named, steiner);
    std::size_t count = 0;
    const ntu::InstanceFormatInfo* table = ntu::instanceFormatTable(count);
    for (std::size_t f = 0; f < count; ++f) {
      const InstanceFormat format = table[f].format;
      if (format == InstanceFormat::steiner && !steiner) continue;
      const std::string what = std::string(table[f].name) + " round " + std::to_string(round);
      // Through a stream, the format detected from the text where the text shows it.
      std::stringstream text;
      ntu::writeInstance(text, inst, format);
      const ntu::CoverInstance back = ntu::readInstanceText(text.str(), format);
      expectSameMatrix(inst, back, what);
      const bool keepsNames = format == InstanceFormat::json || format == InstanceFormat::yaml ||
                              format == InstanceFormat::mps || format == InstanceFormat::lp;
      if (named && keepsNames) {
        EXPECT_EQ(back.setNames, inst.setNames) << what;
        EXPECT_EQ(back.elementNames, inst.elementNames) << what;
      }
      if (!named && (format == InstanceFormat::json || format == InstanceFormat::yaml)) {
        EXPECT_EQ(back.setIds, inst.setIds) << what;
        EXPECT_EQ(back.elementLabels, inst.elementLabels) << what;
      }
      // Through a gzip file whose name gives the format.
      if (round % 10 == 0) {
        const std::string ext = format == InstanceFormat::rail      ? ".rail"
                                : format == InstanceFormat::steiner ? ".stn"
                                : format == InstanceFormat::orlib
                                    ? ".txt"
                                    : "." + std::string(table[f].name);
        const std::string path = (dir / ("i" + ext + ".gz")).string();
        ntu::writeInstance(path, inst);
        expectSameMatrix(inst, ntu::readInstance(path), what + " gz");
      }
    }
  }
  std::filesystem::remove_all(dir);
}

TEST(InstanceIo, ModelsThatAreNotSetCoveringAreRefused) {
  struct Case {
    InstanceFormat format;
    const char* text;
    const char* names;  // what the message must name
  };
  const std::string mpsHead = "NAME t\nROWS\n N obj\n G r1\n";
  const Case cases[] = {
      {InstanceFormat::lp, "min\n obj: x + y\nst\n r1: x + 2 y >= 1\nbinary\n x y\nend\n",
       "row 'r1' is not a set-covering row"},
      {InstanceFormat::lp, "min\n obj: x + y\nst\n r1: x + y >= 2\nbinary\n x y\nend\n",
       "right-hand side is 2"},
      {InstanceFormat::lp, "min\n obj: x + y\nst\n r1: x + y = 1\nbinary\n x y\nend\n",
       "it is an equation"},
      {InstanceFormat::lp, "min\n obj: x + y\nst\n r1: x + y >= 1\nend\n",
       "column 'x' has bounds [0, inf]"},
      {InstanceFormat::lp, "max\n obj: x\nst\n r1: x >= 1\nbinary\n x\nend\n", "maximised"},
      {InstanceFormat::lp, "min\n obj: - x\nst\n r1: x >= 1\nbinary\n x\nend\n",
       "cost of column 'x'"},
      {InstanceFormat::mps,
       "NAME t\nROWS\n N obj\n E r1\nCOLUMNS\n x obj 1 r1 1\nRHS\n rhs r1 1\nBOUNDS\n BV b x\n"
       "ENDATA\n",
       "it is an equation"},
      {InstanceFormat::mps,
       "NAME t\nROWS\n N obj\n G r1\nCOLUMNS\n x obj 1 r1 1\nRHS\n rhs r1 1\nRANGES\n rng r1 2\n"
       "ENDATA\n",
       "range"},
      {InstanceFormat::mps,
       "NAME t\nROWS\n N obj\n L r1\nCOLUMNS\n x obj 1 r1 -1\nRHS\n rhs r1 1\nBOUNDS\n UP b x 1\n"
       "ENDATA\n",
       "right-hand side is 1"},
      {InstanceFormat::mps,
       "NAME t\nROWS\n N obj\n G r1\nCOLUMNS\n x obj 1 r1 1\nRHS\n rhs r1 1\nENDATA\n",
       "column 'x' has bounds [0, inf]"},
  };
  for (const Case& c : cases) {
    try {
      ntu::readInstanceText(c.text, c.format);
      ADD_FAILURE() << "read: " << c.text;
    } catch (const ntu::NoCoverError& e) {
      ADD_FAILURE() << "no cover instead of a refusal: " << e.what();
    } catch (const ntu::InstanceError& e) {
      EXPECT_NE(std::string(e.what()).find(c.names), std::string::npos)
          << e.what() << "\n  for: " << c.text;
      EXPECT_FALSE(e.where().empty()) << e.what();
    }
  }
  // The negated form, free MPS without an RHS name, an integer marker without bounds, and the
  // LP bounds forms are all set covering.
  const ntu::CoverInstance neg = ntu::readInstanceText(
      "NAME\nROWS\n N obj\n L r1\n G r2\nCOLUMNS\n M1 'MARKER' 'INTORG'\n x obj 2 r1 -1\n"
      " x r2 1\n y obj 3 r1 -1\n M2 'MARKER' 'INTEND'\nRHS\n r1 -1 r2 1\nENDATA\n",
      InstanceFormat::mps);
  EXPECT_EQ(neg.elements, 2);
  EXPECT_EQ(neg.costs, (std::vector<double>{2, 3}));
  EXPECT_EQ(neg.elementIndex, (std::vector<int>{0, 1, 0}));
  const ntu::CoverInstance lp = ntu::readInstanceText(
      "\\ c\nMinimize\n 2 a + 3 b + 4\nSubject To\n -a - b <= -1\n c1: b >= 1\nBounds\n"
      " 0 <= a <= 1\n b <= 1\nEnd\n",
      InstanceFormat::lp);
  EXPECT_EQ(lp.setNames, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(lp.elementNames, (std::vector<std::string>{"R1", "c1"}));
  EXPECT_EQ(lp.setStart, (std::vector<std::int64_t>{0, 1, 3}));
  // A row no column holds: no cover, naming it.
  try {
    ntu::readInstanceText("min\n obj: x\nst\n r1: x >= 1\n r2: 0 x >= 1\nbinary\n x\nend\n",
                          InstanceFormat::lp);
    ADD_FAILURE() << "a row in no set was read";
  } catch (const ntu::NoCoverError& e) {
    EXPECT_NE(std::string(e.what()).find("'r2' is in no set"), std::string::npos) << e.what();
  }
}
