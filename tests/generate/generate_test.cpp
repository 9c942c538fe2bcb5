// set_cover_generate: the same bytes for a seed, the sizes asked for, the visibility of the
// coverage families against a brute-force reference, the row form (OR-Library) and the column
// form (JSON) read back by set_cover_solve's readers as the same instance, and the program's
// exit statuses.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "set_cover_generate/coverage.hpp"
#include "set_cover_generate/crew_family.hpp"
#include "set_cover_generate/instance_source.hpp"
#include "set_cover_generate/options.hpp"
#include "set_cover_generate/stress_family.hpp"
#include "set_cover_generate/writer.hpp"
#include "set_cover_solve/instance_file.hpp"
#include "set_cover_stress/generator.hpp"

namespace scg = set_cover_generate;
namespace scs = set_cover_solve;

namespace {

std::string written(const scg::InstanceSource& source, scg::FileFormat format) {
  char* data = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&data, &size);
  if (out == nullptr) throw std::runtime_error("open_memstream failed");
  const scg::WriteCounts counts = scg::writeInstance(source, format, out);
  std::fclose(out);
  std::string text(data, size);
  std::free(data);
  EXPECT_EQ(counts.bytes, static_cast<std::int64_t>(text.size()));
  return text;
}

scg::CoverageConfig smallFloor(std::uint64_t seed) {
  scg::CoverageConfig c;
  c.points = 1500;
  c.poses = 220;
  c.seed = seed;
  c.roomSize = 7;
  c.fov = 150;
  c.costs = scg::CostKind::time;
  return c;
}

scg::CoverageConfig smallRoom(std::uint64_t seed) {
  scg::CoverageConfig c;
  c.space = scg::Space::room;
  c.points = 1500;
  c.poses = 250;
  c.seed = seed;
  c.fov = 100;
  c.costs = scg::CostKind::distance;
  return c;
}

// Both files of one instance, read back: the same sets and costs, every row covered, the sizes
// asked for, and the entries the writer counted.
void expectRoundTrip(const scg::InstanceSource& source) {
  const std::string orlib = written(source, scg::FileFormat::orlib);
  const std::string json = written(source, scg::FileFormat::json);
  const scs::Instance<int> fromRows = scs::parseOrLibrary(orlib);
  const scs::Instance<int> fromColumns = scs::parseJsonDocument(json);
  ASSERT_EQ(fromRows.sets.size(), static_cast<std::size_t>(source.columns()));
  EXPECT_EQ(fromRows.sets, fromColumns.sets) << "rows and columns disagree";
  EXPECT_EQ(fromRows.costs, fromColumns.costs);
  EXPECT_EQ(fromColumns.hasCosts, source.hasCosts());
  std::set<int> rows;
  std::size_t entries = 0;
  for (const auto& [id, set] : fromRows.sets) {
    rows.insert(set.begin(), set.end());
    entries += set.size();
  }
  EXPECT_EQ(rows.size(), static_cast<std::size_t>(source.rows())) << "a row is in no column";
  if (!rows.empty()) {
    EXPECT_EQ(*rows.begin(), 1);
    EXPECT_EQ(*rows.rbegin(), source.rows());
  }
  std::vector<int> line;
  std::size_t fromSource = 0;
  for (int j = 0; j < source.columns(); ++j) {
    source.column(j, line);
    fromSource += line.size();
  }
  EXPECT_EQ(entries, fromSource);
  for (int j = 0; j < source.columns(); ++j) {
    EXPECT_EQ(fromRows.costs.at(j + 1), std::round(source.cost(j) * 100) / 100);
  }
}

TEST(SetCoverGenerate, CoverageFilesRoundTripThroughTheReaders) {
  for (const std::uint64_t seed : {1u, 2u}) {
    SCOPED_TRACE(seed);
    const scg::CoverageInstance floor(smallFloor(seed));
    EXPECT_EQ(floor.rows(), 1500);
    EXPECT_EQ(floor.columns(), 220);
    expectRoundTrip(floor);
    const scg::CoverageInstance room(smallRoom(seed));
    EXPECT_EQ(room.rows(), 1500);
    EXPECT_EQ(room.columns(), 250);
    expectRoundTrip(room);
  }
  scg::CoverageConfig unit = smallFloor(3);
  unit.costs = scg::CostKind::unit;
  const scg::CoverageInstance unitFloor(unit);
  EXPECT_FALSE(unitFloor.hasCosts());
  expectRoundTrip(unitFloor);
}

TEST(SetCoverGenerate, SameSeedSameBytesOtherSeedOtherInstance) {
  for (const auto& make : {smallFloor, smallRoom}) {
    const std::string a = written(scg::CoverageInstance(make(5)), scg::FileFormat::orlib);
    const std::string b = written(scg::CoverageInstance(make(5)), scg::FileFormat::orlib);
    const std::string c = written(scg::CoverageInstance(make(6)), scg::FileFormat::orlib);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
  }
  // Poses draw from their own stream: on the same floor, more points leave the poses (and their
  // costs) as they were.
  scg::CoverageConfig fixed = smallFloor(5);
  fixed.width = 21;
  fixed.depth = 17;
  scg::CoverageConfig more = fixed;
  more.points = 2000;
  const scg::CoverageInstance base(fixed), bigger(more);
  for (int j = 0; j < base.columns(); ++j) {
    EXPECT_EQ(base.posePosition(j), bigger.posePosition(j));
    EXPECT_EQ(base.cost(j), bigger.cost(j));
  }
}

// One room (no walls) and a full view: a pose sees exactly the points within range. Then the
// same with walls whose doors are shut (width 0): only points of the pose's own room.
TEST(SetCoverGenerate, FloorVisibilityMatchesBruteForce) {
  for (const double door : {-1.0, 0.0}) {
    scg::CoverageConfig c;
    c.points = 800;
    c.poses = 400;
    c.width = 20;
    c.depth = 14;
    c.range = 4.5;
    c.seed = 11;
    c.roomSize = door < 0 ? 100 : 6;
    c.doorWidth = door < 0 ? 1.2 : 0;
    const scg::CoverageInstance inst(c);
    std::vector<int> column;
    int seen = 0;
    for (int j = 0; j < inst.columns(); ++j) {
      inst.column(j, column);
      const std::set<int> got(column.begin(), column.end());
      const auto q = inst.posePosition(j);
      for (int i = 0; i < inst.rows(); ++i) {
        const auto p = inst.pointPosition(i);
        const double d = std::hypot(p[0] - q[0], p[1] - q[1]);
        if (std::abs(d - c.range) < 1e-9) continue;
        const bool sameRoom = std::floor(p[0] / c.roomSize) == std::floor(q[0] / c.roomSize) &&
                              std::floor(p[1] / c.roomSize) == std::floor(q[1] / c.roomSize);
        const bool expected = d < c.range && (door < 0 || sameRoom);
        ASSERT_EQ(got.count(i) == 1, expected) << "pose " << j << " point " << i;
        seen += expected;
      }
    }
    EXPECT_GT(seen, 0);
  }
}

// A viewing cone in a room without obstacles: a pose sees a point within range and half the
// field of view whose face looks towards it.
TEST(SetCoverGenerate, RoomVisibilityMatchesBruteForce) {
  scg::CoverageConfig c;
  c.space = scg::Space::room;
  c.points = 700;
  c.poses = 300;
  c.obstacles = 0;
  c.range = 5;
  c.fov = 80;
  c.seed = 4;
  const scg::CoverageInstance inst(c);
  const auto& size = inst.config();
  const double cosHalf = std::cos(40 * M_PI / 180);
  std::vector<int> column;
  for (int j = 0; j < inst.columns(); ++j) {
    inst.column(j, column);
    const std::set<int> got(column.begin(), column.end());
    const auto q = inst.posePosition(j);
    const auto dir = inst.poseDirection(j);
    for (int i = 0; i < inst.rows(); ++i) {
      const auto p = inst.pointPosition(i);
      const double d[3] = {p[0] - q[0], p[1] - q[1], p[2] - q[2]};
      const double dist = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
      const double along = (d[0] * dir[0] + d[1] * dir[1] + d[2] * dir[2]) / dist;
      if (std::abs(dist - c.range) < 1e-9 || std::abs(along - cosHalf) < 1e-9) continue;
      // Every point lies on one of the room's six faces, which all look inwards.
      const bool facing = !(p[0] == 0 && q[0] <= 0) && !(p[1] == 0 && q[1] <= 0) &&
                          !(p[2] == 0 && q[2] <= 0) && !(p[0] == size.width && q[0] >= p[0]) &&
                          !(p[1] == size.depth && q[1] >= p[1]) &&
                          !(p[2] == size.height && q[2] >= p[2]);
      const bool expected = dist < c.range && along > cosHalf && facing;
      ASSERT_EQ(got.count(i) == 1, expected) << "pose " << j << " point " << i;
    }
  }
}

// Obstacles in a room: the same test against every box, segment by segment (slab method), from
// the point lifted off its face by 1e-7 m to the pose.
TEST(SetCoverGenerate, RoomObstaclesMatchBruteForce) {
  scg::CoverageConfig c;
  c.space = scg::Space::room;
  c.points = 900;
  c.poses = 200;
  c.width = 24;
  c.depth = 9;
  c.obstacles = 30;
  c.range = 3.5;
  c.seed = 21;
  const scg::CoverageInstance inst(c);
  const auto boxes = inst.obstacles();
  ASSERT_EQ(boxes.size(), 30u);
  const auto meets = [](const std::array<double, 6>& b, const double s[3], const double q[3]) {
    double t0 = 0, t1 = 1;
    for (int a = 0; a < 3; ++a) {
      const double d = q[a] - s[a];
      if (d == 0) {
        if (s[a] < b[a] || s[a] > b[a + 3]) return false;
        continue;
      }
      const double ta = (b[a] - s[a]) / d, tb = (b[a + 3] - s[a]) / d;
      t0 = std::max(t0, std::min(ta, tb));
      t1 = std::min(t1, std::max(ta, tb));
      if (t0 > t1) return false;
    }
    return true;
  };
  std::vector<int> column;
  int hidden = 0, seen = 0;
  for (int j = 0; j < inst.columns(); ++j) {
    inst.column(j, column);
    const std::set<int> got(column.begin(), column.end());
    const auto q = inst.posePosition(j);
    for (int i = 0; i < inst.rows(); ++i) {
      const auto p = inst.pointPosition(i);
      const auto n = inst.pointNormal(i);
      const double d[3] = {p[0] - q[0], p[1] - q[1], p[2] - q[2]};
      const double dist = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
      if (std::abs(dist - c.range) < 1e-9) continue;
      if (dist >= c.range || d[0] * n[0] + d[1] * n[1] + d[2] * n[2] >= 0) {
        EXPECT_EQ(got.count(i), 0u) << "pose " << j << " point " << i;
        continue;
      }
      const double s[3] = {p[0] + n[0] * 1e-7, p[1] + n[1] * 1e-7, p[2] + n[2] * 1e-7};
      bool blocked = false;
      for (const auto& b : boxes) blocked = blocked || meets(b, s, q.data());
      ASSERT_EQ(got.count(i) == 1, !blocked) << "pose " << j << " point " << i;
      ++(blocked ? hidden : seen);
    }
  }
  EXPECT_GT(hidden, 0);
  EXPECT_GT(seen, 0);
}

// Distance: through the doors, never shorter than the straight line, and the straight line
// inside the base's room. Time: that trip at 0.5 m/s, the turn and the 2 s of the view.
TEST(SetCoverGenerate, CostsFollowTheTrip) {
  scg::CoverageConfig c = smallFloor(8);
  c.costs = scg::CostKind::distance;
  const scg::CoverageInstance distance(c);
  c.costs = scg::CostKind::time;
  const scg::CoverageInstance time(c);
  const auto& size = distance.config();
  const double base[2] = {std::min(size.roomSize, size.width) / 2,
                          std::min(size.roomSize, size.depth) / 2};
  int inBaseRoom = 0;
  for (int j = 0; j < distance.columns(); ++j) {
    const auto q = distance.posePosition(j);
    const double straight = std::hypot(q[0] - base[0], q[1] - base[1]);
    const double rounded = std::max(0.01, std::round(straight * 100) / 100);
    EXPECT_GE(distance.cost(j), rounded - 1e-9) << j;
    if (q[0] < size.roomSize && q[1] < size.roomSize) {
      ++inBaseRoom;
      EXPECT_DOUBLE_EQ(distance.cost(j), rounded) << j;
    }
    // Time: the trip at 0.5 m/s plus 2 s, plus the turn (at most 4 s).
    EXPECT_GE(time.cost(j), 2 * distance.cost(j) + 2 - 0.02) << j;
    EXPECT_LE(time.cost(j), 2 * distance.cost(j) + 6 + 0.02) << j;
  }
  EXPECT_GT(inBaseRoom, 0);
}

TEST(SetCoverGenerate, BadConfigsAndSparsePosesAreReported) {
  scg::CoverageConfig c;
  c.range = 0;
  EXPECT_THROW(scg::CoverageInstance{c}, std::invalid_argument);
  c = scg::CoverageConfig{};
  c.fov = 361;
  EXPECT_THROW(scg::CoverageInstance{c}, std::invalid_argument);
  c = scg::CoverageConfig{};
  c.roomSize = 1e-4;
  EXPECT_THROW(scg::CoverageInstance{c}, std::invalid_argument);
  // One pose that sees 1 cm cannot cover 100 points spread over 25 square metres.
  c = scg::CoverageConfig{};
  c.points = 100;
  c.poses = 1;
  c.range = 0.01;
  EXPECT_THROW(scg::CoverageInstance{c}, std::runtime_error);
  // A full disk does not fit a write.
  std::FILE* full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  EXPECT_THROW(
      scg::writeInstance(scg::CoverageInstance(smallFloor(1)), scg::FileFormat::orlib, full),
      std::runtime_error);
  std::fclose(full);
}

// The stress family is set_cover_stress's instance renumbered; the uniform family is the one
// the tests and benchmarks draw (ntu_test::uniformInstance).
TEST(SetCoverGenerate, StressAndUniformFamilies) {
  for (const int k : {1, 3}) {
    const scg::MatrixSource stress = scg::stressSource(7, k);
    set_cover_stress::GeneratorConfig config;
    config.n_dirts = 5000 * k;
    config.n_trajs = 400 * k;
    const auto reference = set_cover_stress::generateInstance(7, config);
    ASSERT_EQ(stress.columns(), reference.n_trajs);
    ASSERT_EQ(stress.rows(), static_cast<int>(reference.dirt_to_trajs.size()));
    std::vector<int> dirtOfRow;
    for (const auto& entry : reference.dirt_to_trajs) dirtOfRow.push_back(entry.first);
    std::vector<int> column;
    for (int t = 0; t < stress.columns(); ++t) {
      stress.column(t, column);
      std::set<int> dirts;
      for (const int row : column) dirts.insert(dirtOfRow[row]);
      const auto it = reference.traj_to_dirts.find(t);
      EXPECT_EQ(dirts, it == reference.traj_to_dirts.end() ? std::set<int>{} : it->second);
    }
    expectRoundTrip(stress);
  }
  // The uniform instances of the benchmarks before the family moved here: entry count and a
  // hash of the (set, element) pairs in order, from the draws of std::mt19937.
  for (const auto& [sets, seed, entries, hash] :
       {std::tuple{40, 3u, 141LL, 539491991LL}, std::tuple{100, 7u, 988LL, 60716635LL}}) {
    const scg::Compressed uniform = scg::uniformColumns(sets, seed);
    ASSERT_EQ(uniform.lines(), sets);
    long long h = 0;
    for (int s = 0; s < sets; ++s) {
      for (auto e = uniform.start[s]; e < uniform.start[s + 1]; ++e) {
        h = (h * 1000003 + s * 1000 + uniform.index[e]) % 1000000007;
      }
    }
    EXPECT_EQ(static_cast<long long>(uniform.index.size()), entries);
    EXPECT_EQ(h, hash);
  }
  const scg::Compressed uniform = scg::uniformColumns(40, 3);
  expectRoundTrip(scg::compactRows(80, uniform));
  EXPECT_THROW(scg::MatrixSource(2, scg::Compressed{{0, 1}, {0}}), std::invalid_argument)
      << "row 1 is in no column";
}

TEST(SetCoverGenerate, ArgumentsParse) {
  const auto parse = [](std::vector<std::string> args) { return scg::parseArgs(args); };
  const scg::ParsedArgs ok = parse({"room", "--points=300", "--poses", "40", "--costs", "time",
                                    "--height", "2.5", "--seed", "9", "--format", "json"});
  ASSERT_EQ(ok.action, scg::ParsedArgs::Action::run) << ok.error;
  EXPECT_EQ(ok.options.coverage.space, scg::Space::room);
  EXPECT_EQ(ok.options.coverage.points, 300);
  EXPECT_EQ(ok.options.coverage.poses, 40);
  EXPECT_EQ(ok.options.coverage.costs, scg::CostKind::time);
  EXPECT_EQ(ok.options.coverage.height, 2.5);
  EXPECT_EQ(ok.options.coverage.seed, 9u);
  EXPECT_EQ(ok.options.format, scg::FileFormat::json);
  EXPECT_EQ(parse({"stress", "--help"}).action, scg::ParsedArgs::Action::help);
  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{},
                                             {"maze"},
                                             {"floor", "--points"},
                                             {"floor", "--points", "0"},
                                             {"floor", "--points", "12x"},
                                             {"floor", "--range", "-1"},
                                             {"floor", "--fov", "nan"},
                                             {"floor", "--seed", "-1"},
                                             {"floor", "--height", "3"},
                                             {"room", "--door", "1"},
                                             {"stress", "--points", "5"},
                                             {"uniform", "--density", "0"},
                                             {"floor", "--seed", "1", "--seed", "2"},
                                             {"floor", "--format", "xml"},
                                             {"floor", "--bogus"}}) {
    const scg::ParsedArgs parsed = parse(bad);
    EXPECT_EQ(parsed.action, scg::ParsedArgs::Action::usageError) << testing::PrintToString(bad);
    EXPECT_EQ(parsed.error.find('\n'), std::string::npos);
    EXPECT_FALSE(parsed.error.empty());
  }
}

// Sizes whose rooms, boxes or cells do not fit an int (or mean nothing) are usage errors naming
// the argument, with its value as given; the UBSan build sees no conversion overflow in them.
TEST(SetCoverGenerate, HugeAndTinySizesAreUsageErrorsNamingTheArgument) {
  for (const auto& [args, named] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"room", "--height", "1e300", "--points", "100", "--poses", "10"}, "--height"},
           {{"floor", "--width", "1e300"}, "--width"},
           {{"floor", "--depth", "1e-300"}, "depth"},
           {{"floor", "--width", "1e4", "--room-size", "1e-6"}, "--room-size"},
           {{"room", "--width", "1e6", "--depth", "1e6"}, "--obstacles"},
           {{"floor", "--fov", "360.0000001"}, "--fov must be in (0, 360], got 360.0000001"}}) {
    const scg::ParsedArgs parsed = scg::parseArgs(args);
    EXPECT_EQ(parsed.action, scg::ParsedArgs::Action::usageError) << testing::PrintToString(args);
    EXPECT_NE(parsed.error.find(named), std::string::npos) << parsed.error;
  }
  // A range far below the space's size: the grid of cells is capped before any conversion.
  scg::CoverageConfig c;
  c.points = 10;
  c.poses = 5;
  c.range = 1e-300;
  c.maxDrawsPerPoint = 2;
  EXPECT_THROW(scg::CoverageInstance{c}, std::runtime_error);
}

#ifdef SET_COVER_GENERATE_PROGRAM
struct ProgramRun {
  int status = -1;
  std::string err;
};

ProgramRun runProgram(const std::string& args, const std::string& outFile) {
  const std::string errFile = outFile + ".err";
  const std::string command =
      std::string(SET_COVER_GENERATE_PROGRAM) + " " + args + " >" + outFile + " 2>" + errFile;
  ProgramRun run;
  const int raw = std::system(command.c_str());
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  std::FILE* f = std::fopen(errFile.c_str(), "r");
  if (f != nullptr) {
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) run.err.append(buf, n);
    std::fclose(f);
  }
  std::remove(errFile.c_str());
  return run;
}

TEST(SetCoverGenerateProgram, WritesWhatTheLibraryWritesAndFailsWithOneLine) {
  const std::string out = testing::TempDir() + "set_cover_generate_test.out";
  const ProgramRun ok = runProgram(
      "floor --points 1500 --poses 220 --room-size 7 --fov 150 --costs time "
      "--seed 4",
      out);
  ASSERT_EQ(ok.status, 0) << ok.err;
  EXPECT_NE(ok.err.find("1500 rows, 220 columns"), std::string::npos) << ok.err;
  std::string text;
  if (std::FILE* f = std::fopen(out.c_str(), "rb")) {
    char buf[65536];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
    std::fclose(f);
  }
  EXPECT_EQ(text, written(scg::CoverageInstance(smallFloor(4)), scg::FileFormat::orlib));

  for (const char* bad : {"", "floor --points 0", "floor --fov 400", "room --door 1",
                          "uniform --sets", "floor --output"}) {
    const ProgramRun run = runProgram(bad, out);
    EXPECT_EQ(run.status, 2) << bad;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << bad << ": " << run.err;
    EXPECT_EQ(run.err.rfind("set_cover_generate: ", 0), 0u) << run.err;
  }
  for (const char* fails :
       {"floor --points 100 --poses 1 --range 0.01", "uniform --output /nonexistent-folder/x.txt",
        "uniform --output /dev/full"}) {
    const ProgramRun run = runProgram(fails, out);
    EXPECT_EQ(run.status, 1) << fails;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << fails << ": " << run.err;
  }
  struct stat st {};
  EXPECT_EQ(::stat("/dev/full", &st), 0) << "a device written in vain is left in place";
  std::remove(out.c_str());
}
#endif

}  // namespace

// The crew family: short columns of nearby rows, repeats, costs 1..K (none written for K = 1),
// the same bytes for a seed, and the options that select it.
TEST(SetCoverGenerate, CrewFamily) {
  const scg::MatrixSource crew = scg::crewSource(5, 300, 4000, 2);
  ASSERT_EQ(crew.columns(), 4000);
  EXPECT_LE(crew.rows(), 300);
  std::set<std::vector<int>> distinct;
  std::vector<int> column;
  for (int j = 0; j < crew.columns(); ++j) {
    crew.column(j, column);
    ASSERT_GE(column.size(), 2u);
    ASSERT_LE(column.size(), 12u);
    EXPECT_LT(column.back() - column.front(), 3 * static_cast<int>(column.size()));
    EXPECT_TRUE(crew.cost(j) == 1.0 || crew.cost(j) == 2.0);
    distinct.insert(column);
  }
  EXPECT_LT(distinct.size(), 3800u);  // about one column in ten repeats another
  expectRoundTrip(crew);
  EXPECT_FALSE(scg::crewSource(5, 300, 400, 1).hasCosts());
  const scg::MatrixSource again = scg::crewSource(5, 300, 4000, 2);
  std::vector<int> other;
  for (int j = 0; j < crew.columns(); ++j) {
    crew.column(j, column);
    again.column(j, other);
    ASSERT_EQ(column, other);
  }
  const scg::ParsedArgs ok =
      scg::parseArgs({"crew", "--rows", "100", "--columns=900", "--max-cost", "1"});
  ASSERT_EQ(ok.action, scg::ParsedArgs::Action::run) << ok.error;
  EXPECT_EQ(ok.options.family, scg::Family::crew);
  EXPECT_EQ(ok.options.rows, 100);
  EXPECT_EQ(ok.options.columns, 900);
  EXPECT_EQ(ok.options.maxCost, 1);
  EXPECT_EQ(scg::parseArgs({"crew", "--rows", "11"}).action, scg::ParsedArgs::Action::usageError);
  EXPECT_EQ(scg::parseArgs({"uniform", "--rows", "100"}).action,
            scg::ParsedArgs::Action::usageError);
}
